// Format layouts and the reference pixel codec. Plain formats are described channel by channel (bit offset,
// width, numeric type) so that one decoder and one encoder serve all of them; packed pairs and palettes are the
// only special cases.
#include "Formats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tarn::d3d9 {
namespace {

// Channel numeric types: 0 absent, 'u' unsigned normalised, 's' signed normalised, 'f' float (16 or 32 bits).
struct Channel {
    std::uint8_t shift;
    std::uint8_t bits;
    char type;
};

enum Flags : std::uint8_t {
    kNone = 0,
    kLuminance = 1,  // the red channel holds luminance, copied to green and blue
    kAlphaOnly = 2,  // colour reads 0 (A8)
    kComputeZ = 4,   // blue = sqrt(1 - r^2 - g^2) (CxV8U8)
};

struct FormatEntry {
    FormatLayout layout;
    Channel r, g, b, a;
    std::uint8_t flags;
};

constexpr Channel _ = {0, 0, 0};
constexpr Channel U(int shift, int bits) { return {std::uint8_t(shift), std::uint8_t(bits), 'u'}; }
constexpr Channel S(int shift, int bits) { return {std::uint8_t(shift), std::uint8_t(bits), 's'}; }
constexpr Channel F(int shift, int bits) { return {std::uint8_t(shift), std::uint8_t(bits), 'f'}; }

using K = FormatKind;
using T = TexelStorage;
using RT = TargetStorage;

// clang-format off
const FormatEntry kFormats[] = {
    // format
    //                           +-- bytes per block
    //                           |  +-- block width, height
    //                           |  |     +-- kind
    //                           |  |     |              +-- name (without D3DFMT_)
    //                           |  |     |              |                +-- texel storage
    //                           |  |     |              |                |                 +-- render-target storage (None: not a target)
    //                           |  |     |              |                |                 |            +-- depth bits, stencil bits
    //                           |  |     |              |                |                 |            |     +-- offered: kSampled, kDepthSurface (as a depth-stencil surface), kBasicRgb (by rgb-only)
    //                           |  |     |              |                |                 |            |     |                          red        green      blue       alpha      flags
    {{D3DFMT_R8G8B8,             3, 1, 1, K::Colour,     "R8G8B8",        T::Bgr8,          RT::None,    0, 0, kSampled                }, U(16, 8),  U(8, 8),   U(0, 8),   _,         kNone},
    {{D3DFMT_A8R8G8B8,           4, 1, 1, K::Colour,     "A8R8G8B8",      T::Bgra8,         RT::Own,     0, 0, kSampled|kBasicRgb      }, U(16, 8),  U(8, 8),   U(0, 8),   U(24, 8),  kNone},
    {{D3DFMT_X8R8G8B8,           4, 1, 1, K::Colour,     "X8R8G8B8",      T::Bgrx8,         RT::Own,     0, 0, kSampled|kBasicRgb      }, U(16, 8),  U(8, 8),   U(0, 8),   _,         kNone},
    {{D3DFMT_R5G6B5,             2, 1, 1, K::Colour,     "R5G6B5",        T::Rgb565,        RT::Opaque8, 0, 0, kSampled|kBasicRgb      }, U(11, 5),  U(5, 6),   U(0, 5),   _,         kNone},
    {{D3DFMT_X1R5G5B5,           2, 1, 1, K::Colour,     "X1R5G5B5",      T::Xrgb1555,      RT::Opaque8, 0, 0, kSampled|kBasicRgb      }, U(10, 5),  U(5, 5),   U(0, 5),   _,         kNone},
    {{D3DFMT_A1R5G5B5,           2, 1, 1, K::Colour,     "A1R5G5B5",      T::Argb1555,      RT::Rgba8,   0, 0, kSampled|kBasicRgb      }, U(10, 5),  U(5, 5),   U(0, 5),   U(15, 1),  kNone},
    {{D3DFMT_A4R4G4B4,           2, 1, 1, K::Colour,     "A4R4G4B4",      T::Argb4444,      RT::Rgba8,   0, 0, kSampled|kBasicRgb      }, U(8, 4),   U(4, 4),   U(0, 4),   U(12, 4),  kNone},
    {{D3DFMT_R3G3B2,             1, 1, 1, K::Colour,     "R3G3B2",        T::Decode8,       RT::None,    0, 0, kSampled                }, U(5, 3),   U(2, 3),   U(0, 2),   _,         kNone},
    {{D3DFMT_A8,                 1, 1, 1, K::Colour,     "A8",            T::A8,            RT::None,    0, 0, kSampled                }, _,         _,         _,         U(0, 8),   kAlphaOnly},
    {{D3DFMT_A8R3G3B2,           2, 1, 1, K::Colour,     "A8R3G3B2",      T::Decode8,       RT::None,    0, 0, kSampled                }, U(5, 3),   U(2, 3),   U(0, 2),   U(8, 8),   kNone},
    {{D3DFMT_X4R4G4B4,           2, 1, 1, K::Colour,     "X4R4G4B4",      T::Xrgb4444,      RT::None,    0, 0, kSampled|kBasicRgb      }, U(8, 4),   U(4, 4),   U(0, 4),   _,         kNone},
    {{D3DFMT_A2B10G10R10,        4, 1, 1, K::Colour,     "A2B10G10R10",   T::Abgr2101010,   RT::None,    0, 0, kSampled                }, U(0, 10),  U(10, 10), U(20, 10), U(30, 2),  kNone},
    {{D3DFMT_A8B8G8R8,           4, 1, 1, K::Colour,     "A8B8G8R8",      T::Rgba8,         RT::Own,     0, 0, kSampled                }, U(0, 8),   U(8, 8),   U(16, 8),  U(24, 8),  kNone},
    {{D3DFMT_X8B8G8R8,           4, 1, 1, K::Colour,     "X8B8G8R8",      T::Rgbx8,         RT::Own,     0, 0, kSampled                }, U(0, 8),   U(8, 8),   U(16, 8),  _,         kNone},
    {{D3DFMT_G16R16,             4, 1, 1, K::Colour,     "G16R16",        T::Rg16,          RT::None,    0, 0, kSampled                }, U(0, 16),  U(16, 16), _,         _,         kNone},
    {{D3DFMT_A2R10G10B10,        4, 1, 1, K::Colour,     "A2R10G10B10",   T::Argb2101010,   RT::None,    0, 0, kSampled                }, U(20, 10), U(10, 10), U(0, 10),  U(30, 2),  kNone},
    {{D3DFMT_A16B16G16R16,       8, 1, 1, K::Colour,     "A16B16G16R16",  T::Rgba16,        RT::None,    0, 0, kSampled                }, U(0, 16),  U(16, 16), U(32, 16), U(48, 16), kNone},
    {{D3DFMT_A8P8,               2, 1, 1, K::Palettised, "A8P8",          T::Decode8,       RT::None,    0, 0, 0                       }, _,         _,         _,         U(8, 8),   kNone},
    {{D3DFMT_P8,                 1, 1, 1, K::Palettised, "P8",            T::Decode8,       RT::None,    0, 0, 0                       }, _,         _,         _,         _,         kNone},
    {{D3DFMT_L8,                 1, 1, 1, K::Luminance,  "L8",            T::L8,            RT::None,    0, 0, kSampled                }, U(0, 8),   _,         _,         _,         kLuminance},
    {{D3DFMT_A8L8,               2, 1, 1, K::Luminance,  "A8L8",          T::A8L8,          RT::None,    0, 0, kSampled                }, U(0, 8),   _,         _,         U(8, 8),   kLuminance},
    {{D3DFMT_A4L4,               1, 1, 1, K::Luminance,  "A4L4",          T::Decode8,       RT::None,    0, 0, kSampled                }, U(0, 4),   _,         _,         U(4, 4),   kLuminance},
    {{D3DFMT_L16,                2, 1, 1, K::Luminance,  "L16",           T::L16,           RT::None,    0, 0, kSampled                }, U(0, 16),  _,         _,         _,         kLuminance},
    {{D3DFMT_V8U8,               2, 1, 1, K::Signed,     "V8U8",          T::Rg8Snorm,      RT::None,    0, 0, kSampled                }, S(0, 8),   S(8, 8),   _,         _,         kNone},
    {{D3DFMT_L6V5U5,             2, 1, 1, K::Signed,     "L6V5U5",        T::DecodeFloat,   RT::None,    0, 0, kSampled                }, S(0, 5),   S(5, 5),   U(10, 6),  _,         kNone},
    {{D3DFMT_X8L8V8U8,           4, 1, 1, K::Signed,     "X8L8V8U8",      T::DecodeFloat,   RT::None,    0, 0, kSampled                }, S(0, 8),   S(8, 8),   U(16, 8),  _,         kNone},
    {{D3DFMT_Q8W8V8U8,           4, 1, 1, K::Signed,     "Q8W8V8U8",      T::Rgba8Snorm,    RT::None,    0, 0, kSampled                }, S(0, 8),   S(8, 8),   S(16, 8),  S(24, 8),  kNone},
    {{D3DFMT_V16U16,             4, 1, 1, K::Signed,     "V16U16",        T::Rg16Snorm,     RT::None,    0, 0, kSampled                }, S(0, 16),  S(16, 16), _,         _,         kNone},
    {{D3DFMT_A2W10V10U10,        4, 1, 1, K::Signed,     "A2W10V10U10",   T::DecodeFloat,   RT::None,    0, 0, kSampled                }, S(0, 10),  S(10, 10), S(20, 10), U(30, 2),  kNone},
    {{D3DFMT_Q16W16V16U16,       8, 1, 1, K::Signed,     "Q16W16V16U16",  T::Rgba16Snorm,   RT::None,    0, 0, kSampled                }, S(0, 16),  S(16, 16), S(32, 16), S(48, 16), kNone},
    {{D3DFMT_CxV8U8,             2, 1, 1, K::Signed,     "CxV8U8",        T::DecodeFloat,   RT::None,    0, 0, kSampled                }, S(0, 8),   S(8, 8),   _,         _,         kComputeZ},
    {{D3DFMT_R16F,               2, 1, 1, K::Colour,     "R16F",          T::R16F,          RT::None,    0, 0, kSampled                }, F(0, 16),  _,         _,         _,         kNone},
    {{D3DFMT_G16R16F,            4, 1, 1, K::Colour,     "G16R16F",       T::Rg16F,         RT::None,    0, 0, kSampled                }, F(0, 16),  F(16, 16), _,         _,         kNone},
    {{D3DFMT_A16B16G16R16F,      8, 1, 1, K::Colour,     "A16B16G16R16F", T::Rgba16F,       RT::Own,     0, 0, kSampled                }, F(0, 16),  F(16, 16), F(32, 16), F(48, 16), kNone},
    {{D3DFMT_R32F,               4, 1, 1, K::Colour,     "R32F",          T::R32F,          RT::None,    0, 0, kSampled                }, F(0, 32),  _,         _,         _,         kNone},
    {{D3DFMT_G32R32F,            8, 1, 1, K::Colour,     "G32R32F",       T::Rg32F,         RT::None,    0, 0, kSampled                }, F(0, 32),  F(32, 32), _,         _,         kNone},
    {{D3DFMT_A32B32G32R32F,     16, 1, 1, K::Colour,     "A32B32G32R32F", T::Rgba32F,       RT::Own,     0, 0, kSampled                }, F(0, 32),  F(32, 32), F(64, 32), F(96, 32), kNone},
    {{D3DFMT_UYVY,               4, 2, 1, K::Pair,       "UYVY",          T::Decode8,       RT::None,    0, 0, kSampled                }, _,         _,         _,         _,         kNone},
    {{D3DFMT_YUY2,               4, 2, 1, K::Pair,       "YUY2",          T::Decode8,       RT::None,    0, 0, kSampled                }, _,         _,         _,         _,         kNone},
    {{D3DFMT_R8G8_B8G8,          4, 2, 1, K::Pair,       "R8G8_B8G8",     T::Decode8,       RT::None,    0, 0, kSampled                }, _,         _,         _,         _,         kNone},
    {{D3DFMT_G8R8_G8B8,          4, 2, 1, K::Pair,       "G8R8_G8B8",     T::Decode8,       RT::None,    0, 0, kSampled                }, _,         _,         _,         _,         kNone},
    {{D3DFMT_DXT1,               8, 4, 4, K::Compressed, "DXT1",          T::Dxt1,          RT::None,    0, 0, kSampled                }, _,         _,         _,         _,         kNone},
    {{D3DFMT_DXT2,              16, 4, 4, K::Compressed, "DXT2",          T::Dxt3,          RT::None,    0, 0, kSampled                }, _,         _,         _,         _,         kNone},
    {{D3DFMT_DXT3,              16, 4, 4, K::Compressed, "DXT3",          T::Dxt3,          RT::None,    0, 0, kSampled                }, _,         _,         _,         _,         kNone},
    {{D3DFMT_DXT4,              16, 4, 4, K::Compressed, "DXT4",          T::Dxt5,          RT::None,    0, 0, kSampled                }, _,         _,         _,         _,         kNone},
    {{D3DFMT_DXT5,              16, 4, 4, K::Compressed, "DXT5",          T::Dxt5,          RT::None,    0, 0, kSampled                }, _,         _,         _,         _,         kNone},
    {{D3DFMT_D16_LOCKABLE,       2, 1, 1, K::Depth,      "D16_LOCKABLE",  T::Decode8,       RT::None,   16, 0, kDepthSurface           }, _,         _,         _,         _,         kNone},
    {{D3DFMT_D32,                4, 1, 1, K::Depth,      "D32",           T::Decode8,       RT::None,   32, 0, kDepthSurface           }, _,         _,         _,         _,         kNone},
    {{D3DFMT_D15S1,              2, 1, 1, K::Depth,      "D15S1",         T::Decode8,       RT::None,   15, 1, 0                       }, _,         _,         _,         _,         kNone},
    {{D3DFMT_D24S8,              4, 1, 1, K::Depth,      "D24S8",         T::Decode8,       RT::None,   24, 8, kDepthSurface           }, _,         _,         _,         _,         kNone},
    {{D3DFMT_D24X8,              4, 1, 1, K::Depth,      "D24X8",         T::Decode8,       RT::None,   24, 0, kDepthSurface           }, _,         _,         _,         _,         kNone},
    {{D3DFMT_D24X4S4,            4, 1, 1, K::Depth,      "D24X4S4",       T::Decode8,       RT::None,   24, 4, 0                       }, _,         _,         _,         _,         kNone},
    {{D3DFMT_D16,                2, 1, 1, K::Depth,      "D16",           T::Decode8,       RT::None,   16, 0, kDepthSurface           }, _,         _,         _,         _,         kNone},
    {{D3DFMT_D32F_LOCKABLE,      4, 1, 1, K::Depth,      "D32F_LOCKABLE", T::Decode8,       RT::None,   32, 0, 0                       }, _,         _,         _,         _,         kNone},
    {{D3DFMT_D24FS8,             4, 1, 1, K::Depth,      "D24FS8",        T::Decode8,       RT::None,   24, 8, 0                       }, _,         _,         _,         _,         kNone},
    {{D3DFMT_D32_LOCKABLE,       4, 1, 1, K::Depth,      "D32_LOCKABLE",  T::Decode8,       RT::None,   32, 0, 0                       }, _,         _,         _,         _,         kNone},
    {{D3DFMT_S8_LOCKABLE,        1, 1, 1, K::Depth,      "S8_LOCKABLE",   T::Decode8,       RT::None,    0, 8, 0                       }, _,         _,         _,         _,         kNone},
    {{D3DFMT_VERTEXDATA,         1, 1, 1, K::Buffer,     "VERTEXDATA",    T::Decode8,       RT::None,    0, 0, 0                       }, _,         _,         _,         _,         kNone},
    {{D3DFMT_INDEX16,            2, 1, 1, K::Buffer,     "INDEX16",       T::Decode8,       RT::None,    0, 0, 0                       }, _,         _,         _,         _,         kNone},
    {{D3DFMT_INDEX32,            4, 1, 1, K::Buffer,     "INDEX32",       T::Decode8,       RT::None,    0, 0, 0                       }, _,         _,         _,         _,         kNone},
};
// clang-format on

const FormatEntry* FindEntry(D3DFORMAT format) {
    for (const FormatEntry& entry : kFormats) {
        if (entry.layout.format == format) return &entry;
    }
    return nullptr;
}

std::uint64_t ReadBits(const std::uint8_t* block, int shift, int bits) {
    // Up to 32 bits starting at any bit offset; read five bytes to cover the worst alignment.
    const int first = shift / 8;
    std::uint64_t word = 0;
    const int bytes = (shift % 8 + bits + 7) / 8;
    for (int i = 0; i < bytes; ++i) word |= static_cast<std::uint64_t>(block[first + i]) << (8 * i);
    word >>= shift % 8;
    return bits >= 64 ? word : word & ((std::uint64_t{1} << bits) - 1);
}

void WriteBits(std::uint8_t* block, int shift, int bits, std::uint64_t value) {
    for (int i = 0; i < bits; ++i) {
        const int bit = shift + i;
        const std::uint8_t mask = static_cast<std::uint8_t>(1u << (bit % 8));
        if ((value >> i) & 1) {
            block[bit / 8] |= mask;
        } else {
            block[bit / 8] &= static_cast<std::uint8_t>(~mask);
        }
    }
}

}  // namespace

float HalfToFloat(std::uint16_t h) {
    const std::uint32_t sign = (h >> 15) & 1, exponent = (h >> 10) & 0x1f, mantissa = h & 0x3ff;
    float value;
    if (exponent == 0) {
        value = std::ldexp(static_cast<float>(mantissa), -24);
    } else if (exponent == 31) {
        value = mantissa ? NAN : INFINITY;
    } else {
        value = std::ldexp(static_cast<float>(mantissa | 0x400), static_cast<int>(exponent) - 25);
    }
    return sign ? -value : value;
}

std::uint16_t FloatToHalf(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    const std::uint32_t sign = (bits >> 16) & 0x8000;
    const std::uint32_t absBits = bits & 0x7fffffff;
    if (absBits >= 0x7f800000) return static_cast<std::uint16_t>(sign | 0x7c00 | (absBits > 0x7f800000 ? 0x200 : 0));
    if (absBits >= 0x477ff000) return static_cast<std::uint16_t>(sign | 0x7c00);  // overflow to infinity
    if (absBits < 0x38800000) {                                                  // subnormal or zero
        const float magnitude = std::fabs(f);
        return static_cast<std::uint16_t>(sign | static_cast<std::uint32_t>(std::nearbyint(magnitude * 16777216.0f)));
    }
    // Round to nearest even.
    const std::uint32_t rounded = absBits + 0xfff + ((absBits >> 13) & 1);
    return static_cast<std::uint16_t>(sign | ((rounded - 0x38000000) >> 13));
}

namespace {

float DecodeChannel(const std::uint8_t* block, const Channel& c) {
    const std::uint64_t raw = ReadBits(block, c.shift, c.bits);
    switch (c.type) {
    case 'u':
        return static_cast<float>(raw) / static_cast<float>((std::uint64_t{1} << c.bits) - 1);
    case 's': {
        const std::int64_t signBit = std::int64_t{1} << (c.bits - 1);
        const std::int64_t value = static_cast<std::int64_t>(raw) - ((static_cast<std::int64_t>(raw) & signBit) << 1);
        return std::max(-1.0f, static_cast<float>(value) / static_cast<float>(signBit - 1));
    }
    case 'f':
        if (c.bits == 16) return HalfToFloat(static_cast<std::uint16_t>(raw));
        {
            const std::uint32_t word = static_cast<std::uint32_t>(raw);
            float f;
            std::memcpy(&f, &word, 4);
            return f;
        }
    default:
        return 1.0f;
    }
}

void EncodeChannel(std::uint8_t* block, const Channel& c, float value) {
    std::uint64_t raw = 0;
    switch (c.type) {
    case 'u': {
        const double max = static_cast<double>((std::uint64_t{1} << c.bits) - 1);
        const double v = std::isnan(value) ? 0.0 : std::clamp(static_cast<double>(value), 0.0, 1.0);
        raw = static_cast<std::uint64_t>(std::floor(v * max + 0.5));
        break;
    }
    case 's': {
        const double max = static_cast<double>((std::int64_t{1} << (c.bits - 1)) - 1);
        const double v = std::isnan(value) ? 0.0 : std::clamp(static_cast<double>(value), -1.0, 1.0);
        const std::int64_t s = static_cast<std::int64_t>(std::floor(v * max + 0.5));
        raw = static_cast<std::uint64_t>(s) & ((std::uint64_t{1} << c.bits) - 1);
        break;
    }
    case 'f':
        if (c.bits == 16) {
            raw = FloatToHalf(value);
        } else {
            std::uint32_t word;
            std::memcpy(&word, &value, 4);
            raw = word;
        }
        break;
    default:
        return;
    }
    WriteBits(block, c.shift, c.bits, raw);
}

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// ITU-R BT.601 studio-range YCbCr to RGB, as video overlays convert it.
void YuvToRgb(int y, int u, int v, float* rgba) {
    const float c = 1.164383f * static_cast<float>(y - 16);
    const float d = static_cast<float>(u - 128), e = static_cast<float>(v - 128);
    rgba[0] = Clamp01((c + 1.596027f * e) / 255.0f);
    rgba[1] = Clamp01((c - 0.391762f * d - 0.812968f * e) / 255.0f);
    rgba[2] = Clamp01((c + 2.017232f * d) / 255.0f);
    rgba[3] = 1.0f;
}

void DecodePairRow(D3DFORMAT format, const std::uint8_t* src, UINT width, float* rgba) {
    for (UINT x = 0; x < width; ++x) {
        const std::uint8_t* p = src + (x / 2) * 4;
        const bool second = (x & 1) != 0;
        float* out = rgba + 4 * x;
        switch (format) {
        case D3DFMT_YUY2:  // Y0 U Y1 V
            YuvToRgb(p[second ? 2 : 0], p[1], p[3], out);
            break;
        case D3DFMT_UYVY:  // U Y0 V Y1
            YuvToRgb(p[second ? 3 : 1], p[0], p[2], out);
            break;
        case D3DFMT_R8G8_B8G8:  // G0 R G1 B
            out[0] = p[1] / 255.0f, out[1] = p[second ? 2 : 0] / 255.0f, out[2] = p[3] / 255.0f, out[3] = 1.0f;
            break;
        default:  // G8R8_G8B8: R G0 B G1
            out[0] = p[0] / 255.0f, out[1] = p[second ? 3 : 1] / 255.0f, out[2] = p[2] / 255.0f, out[3] = 1.0f;
            break;
        }
    }
}

}  // namespace

const FormatLayout* FindLayout(D3DFORMAT format) {
    const FormatEntry* entry = FindEntry(format);
    return entry ? &entry->layout : nullptr;
}

const char* FormatName(D3DFORMAT format) {
    if (const FormatLayout* layout = FindLayout(format)) return layout->name;
    static thread_local char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(format));
    return buffer;
}

bool IsCompressed(D3DFORMAT format) {
    const FormatLayout* layout = FindLayout(format);
    return layout && layout->kind == FormatKind::Compressed;
}

bool HasAlphaChannel(D3DFORMAT format) {
    const FormatEntry* entry = FindEntry(format);
    return entry && entry->a.bits != 0;
}

bool IsDepthFormat(D3DFORMAT format) {
    const FormatLayout* layout = FindLayout(format);
    return layout && layout->kind == FormatKind::Depth;
}

UINT RowPitch(const FormatLayout& layout, UINT width) {
    const std::uint64_t blocks = (static_cast<std::uint64_t>(width) + layout.blockWidth - 1) / layout.blockWidth;
    return static_cast<UINT>((blocks * layout.bytesPerBlock + 3) & ~std::uint64_t{3});
}

UINT BlockRows(const FormatLayout& layout, UINT height) {
    return (height + layout.blockHeight - 1) / layout.blockHeight;
}

std::size_t LevelBytes(const FormatLayout& layout, UINT width, UINT height) {
    return static_cast<std::size_t>(RowPitch(layout, width)) * BlockRows(layout, height);
}

std::uint64_t LevelBytes64(const FormatLayout& layout, UINT width, UINT height) {
    const std::uint64_t blocks = (static_cast<std::uint64_t>(width) + layout.blockWidth - 1) / layout.blockWidth;
    const std::uint64_t pitch = (blocks * layout.bytesPerBlock + 3) & ~std::uint64_t{3};
    const std::uint64_t rows = (static_cast<std::uint64_t>(height) + layout.blockHeight - 1) / layout.blockHeight;
    // Saturates instead of wrapping (2^32 x 2^32 pixels of 16 bytes would wrap to 0).
    if (pitch != 0 && rows > UINT64_MAX / pitch) return UINT64_MAX;
    return pitch * rows;
}

bool CanDecode(D3DFORMAT format) {
    const FormatLayout* layout = FindLayout(format);
    return layout && layout->kind != FormatKind::Compressed && layout->kind != FormatKind::Depth &&
           layout->kind != FormatKind::Buffer;
}

bool CanEncode(D3DFORMAT format) {
    const FormatLayout* layout = FindLayout(format);
    return layout && CanDecode(format) && layout->kind != FormatKind::Pair &&
           layout->kind != FormatKind::Palettised;
}

void DecodeRow(D3DFORMAT format, const std::uint8_t* src, UINT width, float* rgba, const PALETTEENTRY* palette) {
    const FormatEntry* entry = FindEntry(format);
    if (!entry || !CanDecode(format)) {
        std::fill(rgba, rgba + 4 * static_cast<std::size_t>(width), 0.0f);
        return;
    }
    const FormatLayout& layout = entry->layout;
    if (layout.kind == FormatKind::Pair) {
        DecodePairRow(format, src, width, rgba);
        return;
    }
    for (UINT x = 0; x < width; ++x) {
        const std::uint8_t* block = src + static_cast<std::size_t>(x) * layout.bytesPerBlock;
        float* out = rgba + 4 * static_cast<std::size_t>(x);
        if (layout.kind == FormatKind::Palettised) {
            const PALETTEENTRY e = palette ? palette[block[0]] : PALETTEENTRY{0, 0, 0, 0xff};
            out[0] = e.peRed / 255.0f, out[1] = e.peGreen / 255.0f, out[2] = e.peBlue / 255.0f;
            out[3] = format == D3DFMT_A8P8 ? block[1] / 255.0f : e.peFlags / 255.0f;
            continue;
        }
        out[0] = DecodeChannel(block, entry->r);
        out[1] = DecodeChannel(block, entry->g);
        out[2] = DecodeChannel(block, entry->b);
        out[3] = DecodeChannel(block, entry->a);
        if (entry->flags & kLuminance) out[1] = out[2] = out[0];
        if (entry->flags & kAlphaOnly) out[0] = out[1] = out[2] = 0.0f;
        if (entry->flags & kComputeZ) out[2] = std::sqrt(std::max(0.0f, 1.0f - out[0] * out[0] - out[1] * out[1]));
    }
}

void EncodeRow(D3DFORMAT format, const float* rgba, UINT width, std::uint8_t* dst) {
    const FormatEntry* entry = FindEntry(format);
    if (!entry || !CanEncode(format)) return;
    const FormatLayout& layout = entry->layout;
    for (UINT x = 0; x < width; ++x) {
        std::uint8_t* block = dst + static_cast<std::size_t>(x) * layout.bytesPerBlock;
        const float* in = rgba + 4 * static_cast<std::size_t>(x);
        std::memset(block, 0, layout.bytesPerBlock);
        float r = in[0];
        if (entry->flags & kLuminance) r = 0.2125f * in[0] + 0.7154f * in[1] + 0.0721f * in[2];
        EncodeChannel(block, entry->r, r);
        EncodeChannel(block, entry->g, in[1]);
        EncodeChannel(block, entry->b, in[2]);
        EncodeChannel(block, entry->a, in[3]);
        // Padding bits of X formats read as set, as most drivers write them.
        if (format == D3DFMT_X8R8G8B8 || format == D3DFMT_X8B8G8R8) block[3] = 0xff;
        if (format == D3DFMT_X1R5G5B5) block[1] |= 0x80;
        if (format == D3DFMT_X4R4G4B4) block[1] |= 0xf0;
    }
}

}  // namespace tarn::d3d9
