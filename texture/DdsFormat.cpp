// The DDS pixel-format records, shared by the reader and the writer.
#include "DdsFormat.h"

#include "ImageReader.h"

namespace tarn::texture {

namespace {

// Searched in order; the first match wins.
//  format                      flags     code                    bits  red         green       blue        alpha
const DdsPixelFormat kPixelFormats[] = {
    {D3DFMT_R8G8B8, 0x40, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {D3DFMT_A8R8G8B8, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {D3DFMT_X8R8G8B8, 0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {D3DFMT_R5G6B5, 0x40, 0, 16, 0xF800, 0x7E0, 0x1F, 0},
    {D3DFMT_X1R5G5B5, 0x40, 0, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {D3DFMT_A1R5G5B5, 0x41, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {D3DFMT_A4R4G4B4, 0x41, 0, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {D3DFMT_R3G3B2, 0x40, 0, 8, 0xE0, 0x1C, 0x3, 0},
    {D3DFMT_A8, 0x2, 0, 8, 0, 0, 0, 0xFF},
    {D3DFMT_A8R3G3B2, 0x41, 0, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {D3DFMT_X4R4G4B4, 0x40, 0, 16, 0xF00, 0xF0, 0xF, 0},
    {D3DFMT_A2B10G10R10, 0x41, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
    {D3DFMT_A8B8G8R8, 0x41, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {D3DFMT_X8B8G8R8, 0x40, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {D3DFMT_G16R16, 0x40, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0},
    {D3DFMT_A2R10G10B10, 0x41, 0, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {D3DFMT_A8P8, 0x21, 0, 16, 0, 0, 0, 0xFF00},
    {D3DFMT_P8, 0x20, 0, 8, 0, 0, 0, 0},
    {D3DFMT_L8, 0x20000, 0, 8, 0xFF, 0, 0, 0},
    {D3DFMT_A8L8, 0x20001, 0, 16, 0xFF, 0, 0, 0xFF00},
    {D3DFMT_A4L4, 0x20001, 0, 8, 0xF, 0, 0, 0xF0},
    {D3DFMT_L16, 0x20000, 0, 16, 0xFFFF, 0, 0, 0},
    {D3DFMT_V8U8, 0x80000, 0, 16, 0xFF, 0xFF00, 0, 0},
    {D3DFMT_L6V5U5, 0x40000, 0, 16, 0x1F, 0x3E0, 0xFC00, 0},
    {D3DFMT_X8L8V8U8, 0x40000, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {D3DFMT_Q8W8V8U8, 0x80000, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {D3DFMT_V16U16, 0x80000, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0},
    {D3DFMT_A2W10V10U10, 0x80001, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
    {D3DFMT_UYVY, 0x4, D3DFMT_UYVY, 0, 0, 0, 0, 0},
    {D3DFMT_R8G8_B8G8, 0x4, D3DFMT_R8G8_B8G8, 0, 0, 0, 0, 0},
    {D3DFMT_YUY2, 0x4, D3DFMT_YUY2, 0, 0, 0, 0, 0},
    {D3DFMT_G8R8_G8B8, 0x4, D3DFMT_G8R8_G8B8, 0, 0, 0, 0, 0},
    {D3DFMT_DXT1, 0x4, D3DFMT_DXT1, 0, 0, 0, 0, 0},
    {D3DFMT_DXT2, 0x4, D3DFMT_DXT2, 0, 0, 0, 0, 0},
    {D3DFMT_DXT3, 0x4, D3DFMT_DXT3, 0, 0, 0, 0, 0},
    {D3DFMT_DXT4, 0x4, D3DFMT_DXT4, 0, 0, 0, 0, 0},
    {D3DFMT_DXT5, 0x4, D3DFMT_DXT5, 0, 0, 0, 0, 0},
    {D3DFMT_D16_LOCKABLE, 0x400, 0, 16, 0, 0xFFFF, 0, 0},
    {D3DFMT_D32F_LOCKABLE, 0x4, D3DFMT_D32F_LOCKABLE, 0, 0, 0, 0, 0},
    {D3DFMT_A16B16G16R16, 0x4, D3DFMT_A16B16G16R16, 0, 0, 0, 0, 0},
    {D3DFMT_Q16W16V16U16, 0x4, D3DFMT_Q16W16V16U16, 0, 0, 0, 0, 0},
    {D3DFMT_R16F, 0x4, D3DFMT_R16F, 0, 0, 0, 0, 0},
    {D3DFMT_G16R16F, 0x4, D3DFMT_G16R16F, 0, 0, 0, 0, 0},
    {D3DFMT_A16B16G16R16F, 0x4, D3DFMT_A16B16G16R16F, 0, 0, 0, 0, 0},
    {D3DFMT_R32F, 0x4, D3DFMT_R32F, 0, 0, 0, 0, 0},
    {D3DFMT_G32R32F, 0x4, D3DFMT_G32R32F, 0, 0, 0, 0, 0},
    {D3DFMT_A32B32G32R32F, 0x4, D3DFMT_A32B32G32R32F, 0, 0, 0, 0, 0},
    {D3DFMT_CxV8U8, 0x4, D3DFMT_CxV8U8, 0, 0, 0, 0, 0},
};

}  // namespace

D3DFORMAT DdsFormatFromRecord(const BYTE* pf) {
    if (ReadLe32(pf) != 32) return D3DFMT_UNKNOWN;
    std::uint32_t flags = ReadLe32(pf + 4);
    if (flags & kDdsFourCC) flags = kDdsFourCC;
    const std::uint32_t fourCC = ReadLe32(pf + 8), bits = ReadLe32(pf + 12);
    const std::uint32_t red = ReadLe32(pf + 16), green = ReadLe32(pf + 20), blue = ReadLe32(pf + 24),
                        alpha = ReadLe32(pf + 28);
    for (const DdsPixelFormat& e : kPixelFormats) {
        if (e.flags != flags) continue;
        if ((flags & kDdsFourCC) && e.fourCC != fourCC) continue;
        if ((flags &
             (kDdsAlphaOnly | kDdsPalette8 | kDdsRgb | kDdsZBuffer | kDdsStencil | kDdsBumpLuminance | kDdsBumpDuDv)) &&
            e.bits != bits)
            continue;
        if ((flags & (kDdsRgb | kDdsStencil | kDdsLuminance | kDdsBumpLuminance | kDdsBumpDuDv)) && e.red != red)
            continue;
        if ((flags & (kDdsRgb | kDdsZBuffer | kDdsStencil | kDdsBumpLuminance | kDdsBumpDuDv)) && e.green != green)
            continue;
        if ((flags & (kDdsRgb | kDdsStencil | kDdsBumpLuminance | kDdsBumpDuDv)) && e.blue != blue) continue;
        if ((flags & (kDdsAlphaPixels | kDdsAlphaOnly | kDdsBumpDuDv)) && e.alpha != alpha) continue;
        return e.format;
    }
    return D3DFMT_UNKNOWN;
}

const DdsPixelFormat* DdsRecordOfFormat(D3DFORMAT format) {
    for (const DdsPixelFormat& e : kPixelFormats)
        if (e.format == format) return &e;
    return nullptr;
}

}  // namespace tarn::texture
