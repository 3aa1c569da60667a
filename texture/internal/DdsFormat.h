// The DDS pixel-format record (the 32 bytes at offset 76 of a DDS header) for every format Direct3D 9 can hold:
// one table that the reader matches and the writer copies, so that every file written reads back as its format.
#pragma once

#include <cstdint>

#include "platform/d3d9/D3D9.h"

namespace tarn::texture {

// Pixel-format flags.
enum : std::uint32_t {
    kDdsAlphaPixels = 0x1,
    kDdsAlphaOnly = 0x2,
    kDdsFourCC = 0x4,
    kDdsPalette8 = 0x20,
    kDdsRgb = 0x40,
    kDdsZBuffer = 0x400,
    kDdsStencil = 0x4000,
    kDdsLuminance = 0x20000,
    kDdsBumpLuminance = 0x40000,
    kDdsBumpDuDv = 0x80000,
};

struct DdsPixelFormat {
    D3DFORMAT format;
    std::uint32_t flags, fourCC, bits, red, green, blue, alpha;
};

// The format a stored pixel-format record describes; D3DFMT_UNKNOWN when none matches.
D3DFORMAT DdsFormatFromRecord(const BYTE* record);

// The record that describes `format`; null for formats a DDS file cannot name.
const DdsPixelFormat* DdsRecordOfFormat(D3DFORMAT format);

}  // namespace tarn::texture
