// Memory layout of every D3DFORMAT the layer stores (bytes per block, block size, kind), with its render-target,
// depth and stencil facts and what the adapter offers it for, and the pixel codec that turns a row of any colour,
// luminance, signed or packed-pair format into floats and back. Unknown formats have no layout (FindLayout
// returns null) and are refused by resource creation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/d3d9/D3D9.h"

namespace tarn::d3d9 {

enum class FormatKind : std::uint8_t { Colour, Palettised, Luminance, Signed, Depth, Compressed, Pair, Buffer };

// How the drawing backend stores a format's texels when it samples them. The backend keeps one record per value
// (its GPU format, channel order and swizzle); formats it has no match for are decoded by the codec below.
// clang-format off
enum class TexelStorage : std::uint8_t {
    Decode8,      // decoded to 8-bit RGBA (R3G3B2, A4L4, packed pairs, palettes, ...)
    DecodeFloat,  // decoded to float RGBA (signed formats with an unsigned channel)
    Bgra8, Bgrx8, Bgr8, Rgb565, Xrgb1555, Argb1555, Argb4444, Xrgb4444, Rgba8, Rgbx8, Abgr2101010, Argb2101010,
    Rg16, Rgba16, L8, A8L8, L16, A8, Rg8Snorm, Rgba8Snorm, Rg16Snorm, Rgba16Snorm, R16F, Rg16F, Rgba16F, R32F,
    Rg32F, Rgba32F, Dxt1, Dxt3, Dxt5,
    Count
};
// clang-format on

// How the drawing backend stores a render target of a format: in the format's own texel storage, or as 8-bit
// RGBA that its memory converts to and from (with alpha reading 1 for formats without alpha).
enum class TargetStorage : std::uint8_t {
    None,     // not a render-target format
    Own,      // the texel storage of the format itself
    Rgba8,    // 8-bit RGBA
    Opaque8,  // 8-bit RGBA whose alpha reads 1
};

// What the adapter offers a format for (FormatLayout::offers).
enum FormatOffer : std::uint8_t {
    kSampled = 1,       // textures the sampler reads (block formats only where the backend has S3TC)
    kDepthSurface = 2,  // depth-stencil surfaces
    kBasicRgb = 4,      // one of the 32- and 16-bit RGB formats that the rgb-only profile keeps
};

struct FormatLayout {
    D3DFORMAT format;
    std::uint8_t bytesPerBlock;  // bytes of one block (one pixel for plain formats)
    std::uint8_t blockWidth;     // pixels across a block: 4 for DXT, 2 for the packed-pair formats, else 1
    std::uint8_t blockHeight;    // pixel rows of a block: 4 for DXT, else 1
    FormatKind kind;
    const char* name;          // without the D3DFMT_ prefix
    TexelStorage storage;      // how the drawing backend stores and samples it
    TargetStorage target;      // how the drawing backend stores it as a render target
    std::uint8_t depthBits;    // bits of depth (depth formats; 0 otherwise)
    std::uint8_t stencilBits;  // bits of stencil (0 without a stencil)
    std::uint8_t offers;       // FormatOffer bits
};

const FormatLayout* FindLayout(D3DFORMAT format);
const char* FormatName(D3DFORMAT format);  // "A8R8G8B8", or the number for unknown formats (static buffer)

bool IsCompressed(D3DFORMAT format);
bool IsDepthFormat(D3DFORMAT format);
// True when the format stores an alpha channel (A8R8G8B8, A1R5G5B5, ...); false for X8R8G8B8, R5G6B5 and
// the like.
bool HasAlphaChannel(D3DFORMAT format);

// Bytes of one row of blocks (rounded up to 4 bytes), and the number of block rows of a level.
UINT RowPitch(const FormatLayout& layout, UINT width);
UINT BlockRows(const FormatLayout& layout, UINT height);
std::size_t LevelBytes(const FormatLayout& layout, UINT width, UINT height);
// The same in 64 bits, saturating at UINT64_MAX, for checking a request before anything is allocated.
std::uint64_t LevelBytes64(const FormatLayout& layout, UINT width, UINT height);

// Pixel codec for every non-compressed, non-depth format. Channels are r, g, b, a in [0,1] (signed formats in
// [-1,1]; missing colour channels read 1, missing alpha reads 1, as the sampler sees them). Packed-pair formats
// (YUY2, UYVY, R8G8_B8G8, G8R8_G8B8) decode to RGB; `width` is in pixels and may be odd. Palettised formats use
// `palette` (256 entries) and encode to the nearest entry is not supported (false).
bool CanDecode(D3DFORMAT format);
bool CanEncode(D3DFORMAT format);
void DecodeRow(D3DFORMAT format, const std::uint8_t* src, UINT width, float* rgba,
               const PALETTEENTRY* palette = nullptr);
void EncodeRow(D3DFORMAT format, const float* rgba, UINT width, std::uint8_t* dst);

// 16-bit floats (sign, 5 exponent bits, 10 fraction bits), to float and back (rounded to nearest even).
float HalfToFloat(std::uint16_t h);
std::uint16_t FloatToHalf(float f);

}  // namespace tarn::d3d9
