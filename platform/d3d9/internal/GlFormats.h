// Translation tables of the GL backend: how each texel storage of the format table becomes a GL texture, and how
// Direct3D's blend, compare, stencil, addressing and primitive values become GL enums.
#pragma once

#include <array>
#include <cstdint>

#include "Formats.h"
#include "GlApi.h"

namespace tarn::d3d9 {

// Memory that GL cannot take as it is goes through the codec first.
enum class Convert : std::uint8_t { None, ToRgba8, ToRgba32F };

struct GlFormat {
    GLenum internal;               // internal format (a compressed one for DXT)
    GLenum format, type;           // upload format and type when `convert` is None
    std::array<GLint, 4> swizzle;  // GL_TEXTURE_SWIZZLE_RGBA: what the sampler reads for r, g, b, a
    bool compressed;
    Convert convert;
};

// What memory of a storage is sent to GL as: its own layout, or the codec's 8-bit or float RGBA.
inline GLenum UploadFormat(const GlFormat& f) { return f.convert == Convert::None ? f.format : GL_RGBA; }
inline GLenum UploadType(const GlFormat& f) {
    return f.convert == Convert::ToRgba32F ? GL_FLOAT : f.convert == Convert::ToRgba8 ? GL_UNSIGNED_BYTE : f.type;
}

// The GL storage of a sampled texture of `format` (formats without a layout decode to 8-bit RGBA).
const GlFormat& TextureFormat(D3DFORMAT format);
// Render targets keep 8-bit or float RGBA storage whatever their Direct3D format; 16-bit formats convert when
// their memory is uploaded (UpdateSurface into a render target, unlocking a lockable one).
GlFormat RenderTargetFormat(D3DFORMAT format);

// `targetAlpha` is false for render targets without an alpha channel (X8R8G8B8, R5G6B5, X1R5G5B5, ...): their
// storage keeps whatever alpha was last written, but Direct3D reads their alpha as 1. `alphaSlot` picks the
// alpha factor's meaning of SRCALPHASAT.
GLenum BlendFactor(DWORD blend, bool alphaSlot, bool targetAlpha);
GLenum BlendEquation(DWORD op);
GLenum CompareFunc(DWORD func);
GLenum StencilOp(DWORD op);
GLenum AddressMode(DWORD mode);
GLenum PrimitiveMode(D3DPRIMITIVETYPE type);

// Depth buffers keep their Direct3D precision (a 16-bit buffer is also cheaper to test on a software
// rasteriser); only formats with stencil bits get a stencil buffer.
bool HasStencil(D3DFORMAT format);
GLenum DepthInternalFormat(D3DFORMAT format);
// One step of the depth buffer as stored: 1 / (2^bits - 1).
double DepthStep(D3DFORMAT format);

float AsFloat(DWORD bits);
// A D3DCOLOR (ARGB) as r, g, b, a floats in [0, 1].
void ColorToFloats(D3DCOLOR color, float* rgba);

}  // namespace tarn::d3d9
