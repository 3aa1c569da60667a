// The GL backend's translation tables. Texture storage is one record per texel storage of the format table;
// the Direct3D enums index small tables (values outside them take the documented fallback).
#include "GlFormats.h"

#include <cmath>
#include <cstring>

namespace tarn::d3d9 {
namespace {

constexpr GLint R = GL_RED, G = GL_GREEN, B = GL_BLUE, A = GL_ALPHA, ONE = GL_ONE, ZERO = GL_ZERO;
constexpr std::array<GLint, 4> kRGBA{R, G, B, A}, kRGB1{R, G, B, ONE}, kRG11{R, G, ONE, ONE};
constexpr std::array<GLint, 4> kR111{R, ONE, ONE, ONE};

// clang-format off
const GlFormat kTextureFormats[] = {
    //  internal                           upload format, type                   swizzle           compressed  convert
    {GL_RGBA8,    GL_RGBA, GL_UNSIGNED_BYTE,                {R, G, B, A},        false, Convert::ToRgba8},   // Decode8
    {GL_RGBA16F,  GL_RGBA, GL_FLOAT,                        kRGBA,               false, Convert::ToRgba32F}, // DecodeFloat
    {GL_RGBA8,    GL_BGRA, GL_UNSIGNED_BYTE,                kRGBA,               false, Convert::None},      // Bgra8
    {GL_RGBA8,    GL_BGRA, GL_UNSIGNED_BYTE,                kRGB1,               false, Convert::None},      // Bgrx8
    {GL_RGB8,     GL_BGR,  GL_UNSIGNED_BYTE,                kRGB1,               false, Convert::None},      // Bgr8
    {GL_RGB565,   GL_RGB,  GL_UNSIGNED_SHORT_5_6_5,         kRGB1,               false, Convert::None},      // Rgb565
    {GL_RGB5_A1,  GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV,   kRGB1,               false, Convert::None},      // Xrgb1555
    {GL_RGB5_A1,  GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV,   kRGBA,               false, Convert::None},      // Argb1555
    {GL_RGBA4,    GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV,   kRGBA,               false, Convert::None},      // Argb4444
    {GL_RGBA4,    GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV,   kRGB1,               false, Convert::None},      // Xrgb4444
    {GL_RGBA8,    GL_RGBA, GL_UNSIGNED_BYTE,                kRGBA,               false, Convert::None},      // Rgba8
    {GL_RGBA8,    GL_RGBA, GL_UNSIGNED_BYTE,                kRGB1,               false, Convert::None},      // Rgbx8
    {GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV,  kRGBA,               false, Convert::None},      // Abgr2101010
    {GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV,  kRGBA,               false, Convert::None},      // Argb2101010
    {GL_RG16,     GL_RG,   GL_UNSIGNED_SHORT,               kRG11,               false, Convert::None},      // Rg16
    {GL_RGBA16,   GL_RGBA, GL_UNSIGNED_SHORT,               kRGBA,               false, Convert::None},      // Rgba16
    {GL_R8,       GL_RED,  GL_UNSIGNED_BYTE,                {R, R, R, ONE},      false, Convert::None},      // L8
    {GL_RG8,      GL_RG,   GL_UNSIGNED_BYTE,                {R, R, R, G},        false, Convert::None},      // A8L8
    {GL_R16,      GL_RED,  GL_UNSIGNED_SHORT,               {R, R, R, ONE},      false, Convert::None},      // L16
    {GL_R8,       GL_RED,  GL_UNSIGNED_BYTE,                {ZERO, ZERO, ZERO, R}, false, Convert::None},    // A8
    {GL_RG8_SNORM, GL_RG,  GL_BYTE,                         kRG11,               false, Convert::None},      // Rg8Snorm
    {GL_RGBA8_SNORM, GL_RGBA, GL_BYTE,                      kRGBA,               false, Convert::None},      // Rgba8Snorm
    {GL_RG16_SNORM, GL_RG, GL_SHORT,                        kRG11,               false, Convert::None},      // Rg16Snorm
    {GL_RGBA16_SNORM, GL_RGBA, GL_SHORT,                    kRGBA,               false, Convert::None},      // Rgba16Snorm
    {GL_R16F,     GL_RED,  GL_HALF_FLOAT,                   kR111,               false, Convert::None},      // R16F
    {GL_RG16F,    GL_RG,   GL_HALF_FLOAT,                   kRG11,               false, Convert::None},      // Rg16F
    {GL_RGBA16F,  GL_RGBA, GL_HALF_FLOAT,                   kRGBA,               false, Convert::None},      // Rgba16F
    {GL_R32F,     GL_RED,  GL_FLOAT,                        kR111,               false, Convert::None},      // R32F
    {GL_RG32F,    GL_RG,   GL_FLOAT,                        kRG11,               false, Convert::None},      // Rg32F
    {GL_RGBA32F,  GL_RGBA, GL_FLOAT,                        kRGBA,               false, Convert::None},      // Rgba32F
    {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0,                kRGBA,               true,  Convert::None},      // Dxt1
    {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0,                kRGBA,               true,  Convert::None},      // Dxt3
    {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0,                kRGBA,               true,  Convert::None},      // Dxt5
};
// clang-format on
static_assert(std::size(kTextureFormats) == static_cast<std::size_t>(TexelStorage::Count),
              "one GL record per texel storage");

// clang-format off
// Indexed by D3DBLEND (1 ZERO .. 15 INVBLENDFACTOR); SRCALPHASAT, the two BOTH* values and the target-alpha
// rules are handled in code.
const GLenum kBlendFactors[] = {
    GL_ONE,                 // (0: not a blend value)
    GL_ZERO,                // ZERO
    GL_ONE,                 // ONE
    GL_SRC_COLOR,           // SRCCOLOR
    GL_ONE_MINUS_SRC_COLOR, // INVSRCCOLOR
    GL_SRC_ALPHA,           // SRCALPHA
    GL_ONE_MINUS_SRC_ALPHA, // INVSRCALPHA
    GL_DST_ALPHA,           // DESTALPHA
    GL_ONE_MINUS_DST_ALPHA, // INVDESTALPHA
    GL_DST_COLOR,           // DESTCOLOR
    GL_ONE_MINUS_DST_COLOR, // INVDESTCOLOR
    GL_SRC_ALPHA_SATURATE,  // SRCALPHASAT
    GL_ONE,                 // BOTHSRCALPHA (resolved before lookup)
    GL_ONE,                 // BOTHINVSRCALPHA (resolved before lookup)
    GL_CONSTANT_COLOR,      // BLENDFACTOR
    GL_ONE_MINUS_CONSTANT_COLOR, // INVBLENDFACTOR
};
// Indexed by D3DBLENDOP (1 ADD .. 5 MAX).
const GLenum kBlendEquations[] = {GL_FUNC_ADD, GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT, GL_MIN, GL_MAX};
// Indexed by D3DCMPFUNC (1 NEVER .. 8 ALWAYS).
const GLenum kCompareFuncs[] = {GL_ALWAYS, GL_NEVER,    GL_LESS,   GL_EQUAL, GL_LEQUAL,
                                GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
// Indexed by D3DSTENCILOP (1 KEEP .. 8 DECR).
const GLenum kStencilOps[] = {GL_KEEP,   GL_KEEP, GL_ZERO,      GL_REPLACE,
                              GL_INCR,   GL_DECR, GL_INVERT,    GL_INCR_WRAP, GL_DECR_WRAP};
// Indexed by D3DTEXTUREADDRESS (1 WRAP .. 5 MIRRORONCE).
const GLenum kAddressModes[] = {GL_REPEAT, GL_REPEAT, GL_MIRRORED_REPEAT, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_BORDER,
                                GL_MIRROR_CLAMP_TO_EDGE};
// Indexed by D3DPRIMITIVETYPE (1 POINTLIST .. 6 TRIANGLEFAN).
const GLenum kPrimitiveModes[] = {GL_TRIANGLES, GL_POINTS,         GL_LINES,       GL_LINE_STRIP,
                                  GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};
// clang-format on

template <std::size_t N>
GLenum Lookup(const GLenum (&table)[N], DWORD value, GLenum fallback) {
    return value < N ? table[value] : fallback;
}

}  // namespace

const GlFormat& TextureFormat(D3DFORMAT format) {
    const FormatLayout* layout = FindLayout(format);
    const TexelStorage storage = layout ? layout->storage : TexelStorage::Decode8;
    return kTextureFormats[static_cast<std::size_t>(storage)];
}

GlFormat RenderTargetFormat(D3DFORMAT format) {
    const FormatLayout* layout = FindLayout(format);
    const TargetStorage target = layout ? layout->target : TargetStorage::None;
    if (target == TargetStorage::Own) return TextureFormat(format);
    const bool opaque = target == TargetStorage::Opaque8;
    return {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, opaque ? kRGB1 : kRGBA, false, Convert::ToRgba8};
}

GLenum BlendFactor(DWORD blend, bool alphaSlot, bool targetAlpha) {
    if (!targetAlpha) {
        if (blend == D3DBLEND_DESTALPHA) return GL_ONE;
        if (blend == D3DBLEND_INVDESTALPHA) return GL_ZERO;
        if (blend == D3DBLEND_SRCALPHASAT) return alphaSlot ? GL_ONE : GL_ZERO;  // min(As, 1 - 1)
    }
    if (blend == D3DBLEND_SRCALPHASAT && alphaSlot) return GL_ONE;
    return Lookup(kBlendFactors, blend, GL_ONE);
}

GLenum BlendEquation(DWORD op) { return Lookup(kBlendEquations, op, GL_FUNC_ADD); }
GLenum CompareFunc(DWORD func) { return Lookup(kCompareFuncs, func, GL_ALWAYS); }
GLenum StencilOp(DWORD op) { return Lookup(kStencilOps, op, GL_KEEP); }
GLenum AddressMode(DWORD mode) { return Lookup(kAddressModes, mode, GL_REPEAT); }
GLenum PrimitiveMode(D3DPRIMITIVETYPE type) { return Lookup(kPrimitiveModes, static_cast<DWORD>(type), GL_TRIANGLES); }

bool HasStencil(D3DFORMAT format) {
    const FormatLayout* layout = FindLayout(format);
    return layout && layout->depthBits > 0 && layout->stencilBits > 0;
}

// Depth without stencil keeps its own precision; with stencil (or of another size) it is 24 bits beside 8 of
// stencil.
GLenum DepthInternalFormat(D3DFORMAT format) {
    const FormatLayout* layout = FindLayout(format);
    const int bits = layout && !HasStencil(format) ? layout->depthBits : 0;
    return bits == 16   ? GL_DEPTH_COMPONENT16
           : bits == 24 ? GL_DEPTH_COMPONENT24
           : bits == 32 ? GL_DEPTH_COMPONENT32
                        : GL_DEPTH24_STENCIL8;
}

double DepthStep(D3DFORMAT format) {
    const GLenum stored = DepthInternalFormat(format);
    const int bits = stored == GL_DEPTH_COMPONENT16 ? 16 : stored == GL_DEPTH_COMPONENT32 ? 32 : 24;
    return 1.0 / (std::ldexp(1.0, bits) - 1.0);
}

float AsFloat(DWORD bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

void ColorToFloats(D3DCOLOR c, float* out) {
    out[0] = ((c >> 16) & 0xff) / 255.0f;
    out[1] = ((c >> 8) & 0xff) / 255.0f;
    out[2] = (c & 0xff) / 255.0f;
    out[3] = ((c >> 24) & 0xff) / 255.0f;
}

}  // namespace tarn::d3d9
