// Windows bitmaps: "BM" files (ReadBmp) and packed device-independent bitmaps without the file header (ReadDib).
// Palettised images become D3DFMT_P8 with a 256-entry palette, direct-colour images the Direct3D format whose bit
// layout matches, unusual bit masks four-float pixels. Uncompressed top-down images are used in place.
#include <cstdint>
#include <cstring>

#include "ImageReader.h"
#include "ResourceLimits.h"

namespace tarn::texture {

namespace {

constexpr std::uint32_t kCoreHeader = 12;
constexpr std::uint32_t kInfoHeader = 40;

enum Compression : std::uint32_t { kNone = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

struct MaskFormat {
    std::uint32_t bits, red, green, blue, alpha;
    D3DFORMAT format;
};

// Bit-field layouts that some Direct3D format holds as it is.
const MaskFormat kMaskFormats[] = {
    {16, 0xE0, 0x1C, 0x3, 0xFF00, D3DFMT_A8R3G3B2},
    {16, 0xF00, 0xF0, 0xF, 0xF000, D3DFMT_A4R4G4B4},
    {16, 0xF00, 0xF0, 0xF, 0, D3DFMT_X4R4G4B4},
    {16, 0xF800, 0x7E0, 0x1F, 0, D3DFMT_R5G6B5},
    {16, 0x7C00, 0x3E0, 0x1F, 0, D3DFMT_X1R5G5B5},
    {16, 0x7C00, 0x3E0, 0x1F, 0x8000, D3DFMT_A1R5G5B5},
    {16, 0xFF, 0xFF, 0xFF, 0xFF00, D3DFMT_A8L8},
    {16, 0xFFFF, 0xFFFF, 0xFFFF, 0, D3DFMT_L16},
    {24, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_R8G8B8},
    {32, 0xFFFF, 0xFFFF0000, 0, 0, D3DFMT_G16R16},
    {32, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_X8R8G8B8},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, D3DFMT_A8R8G8B8},
    {32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, D3DFMT_A2R10G10B10},
    {32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, D3DFMT_A8B8G8R8},
    {32, 0xFF, 0xFF00, 0xFF0000, 0, D3DFMT_X8B8G8R8},
    {32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, D3DFMT_A2B10G10R10},
};

struct Header {
    std::uint32_t headerSize = 0;
    std::int64_t width = 0, height = 0;  // height negative: rows stored top first
    std::uint32_t planes = 0, bits = 0, compression = 0, coloursUsed = 0;
    std::uint32_t masks[4] = {};  // red, green, blue, alpha
};

// How the pixels are laid out in the output.
enum class Layout {
    Palette,      // 1-, 4- or 8-bit indices, one byte each
    Copy,         // rows as stored
    ShiftedXRGB,  // masks FF000000/FF0000/FF00: each pixel one byte later, i.e. the value shifted down by 8
    Generic,      // arbitrary masks into four floats
};

// Generic mask decoding: each channel is (pixel >> shift) & (mask >> shift), scaled to 0..1.
struct Channel {
    std::uint32_t shift = 0, mask = 0;
    float scale = 0.0f, constant = 1.0f;
};

Channel MakeChannel(std::uint32_t mask) {
    Channel c;
    if (mask == 0) return c;
    while (((mask >> c.shift) & 1u) == 0) ++c.shift;
    c.mask = mask >> c.shift;
    c.scale = 1.0f / static_cast<float>(c.mask);
    return c;
}

inline float ChannelValue(const Channel& c, std::uint32_t pixel) {
    return c.mask ? static_cast<float>((pixel >> c.shift) & c.mask) * c.scale : c.constant;
}

inline BYTE* OutputRow(BYTE* pixels, std::uint32_t pitch, std::uint32_t height, bool bottomUp, std::uint64_t fileRow) {
    const std::uint64_t row = bottomUp ? height - 1 - fileRow : fileRow;
    return pixels + row * pitch;
}

// Run-length decoding of 8- or 4-bit indices into one byte per pixel. Runs and literals must stay inside the
// stored row they start on, padding included (`stridePixels`: some writers run a row's last run into its padding),
// and inside the data; pixels past the width are dropped. A move may go anywhere: only a later write is checked.
// A move past the last row ends the image.
HRESULT DecodeRle(const BYTE* src, std::uint64_t size, bool nibbles, BYTE* pixels, std::uint32_t pitch,
                  std::uint32_t width, std::uint32_t height, std::uint64_t stridePixels, bool bottomUp) {
    std::uint64_t pos = 0, x = 0, y = 0;
    auto put = [&](BYTE v) {
        if (x < width) OutputRow(pixels, pitch, height, bottomUp, y)[x] = v;
        ++x;
    };
    while (y < height) {
        if (size - pos < 2) return RejectImage("BMP: run-length data ends before the image");
        const BYTE n = src[pos], v = src[pos + 1];
        pos += 2;
        if (n > 0) {
            if (x + n > stridePixels) return RejectImage("BMP: run-length run past the end of a row");
            for (unsigned i = 0; i < n; ++i) put(nibbles ? static_cast<BYTE>((i & 1) ? (v & 15) : (v >> 4)) : v);
        } else if (v == 0) {
            x = 0;
            ++y;
        } else if (v == 1) {
            break;
        } else if (v == 2) {
            if (size - pos < 2) return RejectImage("BMP: run-length move past end of data");
            x += src[pos];
            y += src[pos + 1];
            pos += 2;
        } else {
            const std::uint64_t bytes = nibbles ? (v + 1u) / 2u : v;
            const std::uint64_t padded = (bytes + 1) & ~std::uint64_t{1};
            if (size - pos < bytes) return RejectImage("BMP: run-length literal past end of data");
            if (x + v > stridePixels) return RejectImage("BMP: run-length literal past the end of a row");
            for (unsigned i = 0; i < v; ++i) {
                const BYTE b = src[pos + (nibbles ? i / 2 : i)];
                put(nibbles ? static_cast<BYTE>((i & 1) ? (b & 15) : (b >> 4)) : b);
            }
            pos += padded <= size - pos ? padded : size - pos;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT ReadDib(DecodedImage& image, const BYTE* data, UINT size) {
    if (size <= 3) return E_FAIL;
    Header h;
    h.headerSize = ReadLe32(data);
    if (h.headerSize > size) return E_FAIL;
    if (h.headerSize == kCoreHeader) {
        h.width = ReadLe16(data + 4);
        h.height = ReadLe16(data + 6);
        h.planes = ReadLe16(data + 8);
        h.bits = ReadLe16(data + 10);
    } else if (h.headerSize >= kInfoHeader) {
        h.width = static_cast<std::int32_t>(ReadLe32(data + 4));
        h.height = static_cast<std::int32_t>(ReadLe32(data + 8));
        h.planes = ReadLe16(data + 12);
        h.bits = ReadLe16(data + 14);
        h.compression = ReadLe32(data + 16);
        h.coloursUsed = ReadLe32(data + 32);
        if (h.headerSize >= 52)
            for (int i = 0; i < 3; ++i) h.masks[i] = ReadLe32(data + 40 + 4 * i);
        if (h.headerSize >= 56) h.masks[3] = ReadLe32(data + 52);
    } else {
        return E_FAIL;
    }

    const std::uint64_t entrySize = h.headerSize == kCoreHeader ? 3 : 4;
    std::uint64_t colours = h.coloursUsed;
    if (colours == 0 && h.bits <= 8) colours = std::uint64_t{1} << h.bits;
    const std::uint64_t pixelOffset = h.headerSize + colours * entrySize;
    if (size < pixelOffset) return RejectImage("BMP: colour table past end of data");
    if (h.planes != 1) return RejectImage("BMP: plane count is not 1");
    if (h.width <= 0 || h.height == 0) return RejectImage("BMP: empty image");
    if (const HRESULT hr = CheckImageLimits("BMP", static_cast<std::uint64_t>(h.width),
                                            static_cast<std::uint64_t>(h.height < 0 ? -h.height : h.height));
        FAILED(hr))
        return hr;
    // End-of-line, end-of-bitmap and move escapes let a few bytes of run-length data stand for any size.
    if (h.compression == kRle8 || h.compression == kRle4) {
        const std::uint64_t pixels = static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(
                                                                                h.height < 0 ? -h.height : h.height);
        if (const HRESULT hr = CheckPixelsPerByte("BMP", pixels, size, 1); FAILED(hr)) return hr;
    }

    // Format choice.
    D3DFORMAT format = D3DFMT_UNKNOWN;
    Layout layout = Layout::Copy;
    if (h.compression <= kRle4) {
        switch (h.bits) {
            case 1: case 4: case 8: format = D3DFMT_P8; layout = Layout::Palette; break;
            case 16: format = D3DFMT_X1R5G5B5; break;
            case 24: format = D3DFMT_R8G8B8; break;
            case 32: format = D3DFMT_X8R8G8B8; break;
            default: return RejectImage("BMP: unsupported bit count");
        }
        // Run-length coding exists for 8-bit (RLE8) and 4-bit (RLE4) indices only.
        if ((h.compression == kRle8 && h.bits != 8) || (h.compression == kRle4 && h.bits != 4))
            return RejectImage("BMP: run-length coding does not match the bit count");
    } else if (h.compression == kBitFields) {
        if (h.headerSize < 52) return RejectImage("BMP: bit fields without masks in the header");
        if (h.bits != 16 && h.bits != 24 && h.bits != 32)
            return RejectImage("BMP: unsupported bit count for bit fields");
        layout = Layout::Generic;
        for (const MaskFormat& m : kMaskFormats)
            if (m.bits == h.bits && m.red == h.masks[0] && m.green == h.masks[1] && m.blue == h.masks[2] &&
                m.alpha == h.masks[3]) {
                format = m.format;
                layout = Layout::Copy;
            }
        if (layout == Layout::Generic && h.bits == 32 && h.masks[0] == 0xFF000000 && h.masks[1] == 0xFF0000 &&
            h.masks[2] == 0xFF00 && h.masks[3] == 0) {
            format = D3DFMT_X8R8G8B8;
            layout = Layout::ShiftedXRGB;
        }
        if (layout == Layout::Generic) format = D3DFMT_A32B32G32R32F;
    } else {
        return RejectImage("BMP: unsupported compression");
    }

    const bool bottomUp = h.height > 0;
    const std::uint64_t width = static_cast<std::uint64_t>(h.width);
    const std::uint64_t height = static_cast<std::uint64_t>(bottomUp ? h.height : -h.height);
    std::uint64_t srcRowBytes;
    if (h.bits == 1) srcRowBytes = (width + 7) / 8;
    else if (h.bits == 4) srcRowBytes = (width + 1) / 2;
    else srcRowBytes = width * h.bits / 8;
    const std::uint64_t srcStride = (srcRowBytes + 3) & ~std::uint64_t{3};
    std::uint64_t outRowBytes = srcRowBytes;
    if (h.bits == 1 || h.bits == 4) outRowBytes = width;
    else if (layout == Layout::Generic) outRowBytes = width * 16;
    const std::uint64_t outPitch = (outRowBytes + 3) & ~std::uint64_t{3};
    if (outPitch > 0xFFFFFFFFu || height > 0x7FFFFFFFu) return RejectImage("BMP: image too large");

    const bool compressed = h.compression == kRle8 || h.compression == kRle4;
    const BYTE* src = data + pixelOffset;
    const std::uint64_t srcSize = size - pixelOffset;
    if (!compressed && srcSize < (height - 1) * srcStride + srcRowBytes)
        return RejectImage("BMP: pixel data past end of data");

    // A 32-bit image with anything in its fourth bytes has alpha.
    if (format == D3DFMT_X8R8G8B8 && h.compression == kNone) {
        bool alpha = false;
        for (std::uint64_t y = 0; y < height && !alpha; ++y) {
            const BYTE* row = src + y * srcStride;
            for (std::uint64_t x = 0; x < width; ++x)
                if (row[x * 4 + 3] != 0) {
                    alpha = true;
                    break;
                }
        }
        if (alpha) format = D3DFMT_A8R8G8B8;
    }

    FillLevelZeroHeader(image, format, static_cast<UINT>(width), static_cast<UINT>(height),
                        static_cast<UINT>(outPitch));
    if (!image.wantPixels) return S_OK;

    if (format == D3DFMT_P8) {
        PALETTEENTRY* palette = image.AllocatePalette();
        if (!palette) return E_OUTOFMEMORY;
        const std::uint64_t stored = colours < 256 ? colours : 256;  // entries past 256 are never written
        for (std::uint64_t i = 0; i < stored; ++i) {
            const BYTE* e = data + h.headerSize + i * entrySize;
            palette[i] = {e[2], e[1], e[0], 255};
        }
    }

    if (!compressed && !bottomUp && h.bits >= 8 && layout == Layout::Copy) {
        image.pixels = src;  // already top row first in the output layout
        return S_OK;
    }

    // Run-length images may leave pixels unwritten, and rows may end in padding: both read as zero. The zeroed
    // buffer costs memory only where rows are written, so a run-length file that ends early, or skips most of
    // the image, costs what it holds rather than what it declares.
    BYTE* out = image.AllocatePixels(outPitch * height, compressed || outPitch != outRowBytes);
    if (!out) return E_OUTOFMEMORY;
    const std::uint32_t pitch = static_cast<std::uint32_t>(outPitch);
    if (compressed) {
        const std::uint64_t stridePixels = h.compression == kRle4 ? srcStride * 2 : srcStride;
        return DecodeRle(src, srcSize, h.compression == kRle4, out, pitch, static_cast<std::uint32_t>(width),
                         static_cast<std::uint32_t>(height), stridePixels, bottomUp);
    }

    Channel channels[4];
    if (layout == Layout::Generic) {
        for (int i = 0; i < 4; ++i) channels[i] = MakeChannel(h.masks[i]);
        if (!h.masks[0] && !h.masks[1] && !h.masks[2])
            channels[0].constant = channels[1].constant = channels[2].constant = 0.0f;
    }
    const std::uint32_t bytesPerPixel = h.bits / 8;
    for (std::uint64_t y = 0; y < height; ++y) {
        const BYTE* s = src + y * srcStride;
        BYTE* d = OutputRow(out, pitch, static_cast<std::uint32_t>(height), bottomUp, y);
        switch (layout) {
            case Layout::Palette:
                if (h.bits == 8) {
                    std::memcpy(d, s, width);
                } else if (h.bits == 4) {
                    for (std::uint64_t x = 0; x < width; ++x)
                        d[x] = static_cast<BYTE>((x & 1) ? (s[x / 2] & 15) : (s[x / 2] >> 4));
                } else {
                    for (std::uint64_t x = 0; x < width; ++x) d[x] = (s[x / 8] >> (7 - (x & 7))) & 1;
                }
                break;
            case Layout::Copy:
                std::memcpy(d, s, srcRowBytes);
                break;
            case Layout::ShiftedXRGB:
                for (std::uint64_t x = 0; x < width; ++x) {
                    const std::uint32_t v = ReadLe32(s + x * 4) >> 8;
                    std::memcpy(d + x * 4, &v, 4);
                }
                break;
            case Layout::Generic:
                for (std::uint64_t x = 0; x < width; ++x) {
                    const BYTE* p = s + x * bytesPerPixel;
                    std::uint32_t v = bytesPerPixel == 2 ? ReadLe16(p)
                                      : bytesPerPixel == 3 ? static_cast<std::uint32_t>(ReadLe16(p)) | (p[2] << 16)
                                                           : ReadLe32(p);
                    const float f[4] = {ChannelValue(channels[0], v), ChannelValue(channels[1], v),
                                        ChannelValue(channels[2], v), ChannelValue(channels[3], v)};
                    std::memcpy(d + x * 16, f, 16);
                }
                break;
        }
    }
    return S_OK;
}

HRESULT ReadBmp(DecodedImage& image, const BYTE* data, UINT size) {
    if (size < 14 || data[0] != 'B' || data[1] != 'M') return E_FAIL;
    if (ReadLe32(data + 2) > size) return E_FAIL;
    return ReadDib(image, data + 14, size - 14);
}

}  // namespace tarn::texture
