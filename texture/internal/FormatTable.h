// The table of pixel formats known to the library, and the rules that fit a texture request to a device:
// closest supported format, sizes and mip-level count. The table is constant; nothing is kept between calls.
#pragma once

#include <array>

#include "platform/d3d9/D3D9.h"
#include "texture/D3DXTexture.h"

namespace tarn::texture {

class PixelCodec;

// Which formats may stand in for which when a request is fitted to a device (see FormatDistance).
enum class FormatFamily : BYTE { Colour = 0, Palettised = 1, Luminance = 2, Signed = 3, Depth = 4 };

// What a codec's four floats mean, for converting between formats of different categories.
enum class CodecCategory : int { None = 0, Unsigned = 1, Signed3 = 2, Signed4 = 3, Float = 4 };

// Makes a new, uninitialised codec for a format of the table; null when out of memory.
using CodecFactory = PixelCodec* (*)(D3DFORMAT format);

// Where one channel sits in a little-endian packed pixel. An absent channel decodes to its fill value; an
// encode-only channel (the X of X8R8G8B8) decodes as absent but receives alpha when written.
enum class ChannelKind : BYTE { Absent = 0, Unsigned = 1, Signed = 2, EncodeOnly = 3 };
struct PackedChannel {
    BYTE shift;  // bit position of the lowest bit
    BYTE bits;   // width in bits
    ChannelKind kind;
};

// How a format of packed integer channels lays out its pixel; `bytes` is 0 for every other format. A luminance
// layout keeps L in the red slot and decodes it into red, green and blue alike.
struct PackedLayout {
    CodecCategory category;
    BYTE bytes;                 // bytes per pixel
    PackedChannel channel[4];   // red (or L, or U), green (V), blue (W), alpha (Q, or the L of mixed formats)
    std::array<float, 4> fill;  // what absent channels decode to
    bool luminance;
};

// One pixel format: what the closest-format search compares, and how its pixels are converted.
struct FormatDesc {
    D3DFORMAT format;     // D3DFORMAT value or four-character code; 0 in the default record
    FormatFamily family;  // which families may stand in for which (see FormatDistance)
    UINT bits;            // bits per pixel (block formats: bits per pixel of the decoded block, 16)
    // Channel widths in bits, compared slot by slot: extra (mixed-signed luminance, 2-bit alpha of
    // A2W10V10U10, lockable mark); alpha or Q; red, luminance or W; green, luminance, V or stencil;
    // blue, luminance, U or depth.
    BYTE widths[5];
    bool eligible;        // may be chosen as a substitute; otherwise only ever used when asked for by name
    CodecFactory codec;   // makes the format's pixel codec; null when the library cannot convert it
    PackedLayout packed;  // the packed-integer layout the packed codec follows
};

// The descriptor of `format`, or the default record (code 0, colour, 32 bits, 0-8-8-8-8) when unknown.
const FormatDesc& LookUpFormatDesc(D3DFORMAT format);

// The whole table in search order, for tests that walk it.
const FormatDesc* FormatTableBegin();
const FormatDesc* FormatTableEnd();

// Cost of standing `candidate` in for `wanted`; kFormatsIncompatible when it may not. Lower is closer:
// fewer missing channels, then less lost precision, then fewer unwanted channels, then less surplus.
inline constexpr DWORD kFormatsIncompatible = 0xFFFFFFFFu;
DWORD FormatDistance(const FormatDesc& wanted, const FormatDesc& candidate);

// The closest format to `wanted` that `device` supports for `usage` and `type` (every eligible one when
// `device` is null); the wanted format itself when supported. 0 when none qualifies.
D3DFORMAT FindBestFormat(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE type, const FormatDesc& wanted);

// Fits a request to the device: format, sizes, levels. Null pointers mean "not given" and are not written.
// D3DERR_INVALIDCALL for a null device, unknown usage bits or pool; D3DERR_NOTAVAILABLE when no format fits.
HRESULT CheckResourceRequirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth, UINT* mipLevels,
                                  DWORD usage, D3DFORMAT* format, D3DPOOL pool, D3DRESOURCETYPE type);

// Small facts shared by the loaders and codecs.
bool IsBlockFormat(D3DFORMAT format);       // DXT1 ... DXT5
bool IsPackedPairFormat(D3DFORMAT format);  // UYVY, YUY2, R8G8_B8G8, G8R8_G8B8
UINT BitLength(UINT n);                     // number of binary digits: 0 -> 0, 1 -> 1, 256 -> 9

}  // namespace tarn::texture
