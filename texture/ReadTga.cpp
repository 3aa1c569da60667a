// Targa reader: colour-mapped, true-colour and grey images, plain or run-length encoded. Targa pixels already
// have the memory layout of the Direct3D formats they map to, so pixels move as opaque byte groups. A plain
// left-to-right file is used where it lies, without a copy (read upwards when stored bottom row first).
#include <algorithm>
#include <cstring>

#include "ImageReader.h"
#include "ResourceLimits.h"

namespace tarn::texture {

namespace {

constexpr UINT kHeaderSize = 18;

// Widens a 5-bit channel to 8 bits so that 31 becomes 255.
BYTE Widen5(UINT c) { return static_cast<BYTE>((c << 3) | (c >> 2)); }

// Whether any of the first `pixels` stored 16-bit pixels has its alpha bit set, walking the stored data (plain or
// run-length packets) without decoding it, so that a header-only read decides the format as a full read does.
// Data that ends early is walked as far as it goes.
bool AnyAlphaBit(const BYTE* in, const BYTE* end, std::uint64_t pixels, bool runLength) {
    if (!runLength) {
        const std::uint64_t stored = static_cast<std::uint64_t>(end - in) / 2;
        for (std::uint64_t i = 0; i < pixels && i < stored; ++i)
            if (in[2 * i + 1] & 0x80) return true;
        return false;
    }
    while (pixels > 0 && in < end) {
        const BYTE header = *in++;
        const std::uint64_t count = std::min<std::uint64_t>((header & 0x7Fu) + 1u, pixels);
        const std::uint64_t stored = (header & 0x80) ? 1 : count;
        for (std::uint64_t i = 0; i < stored && end - in >= 2; ++i, in += 2)
            if (in[1] & 0x80) return true;
        pixels -= count;
    }
    return false;
}

}  // namespace

HRESULT ReadTga(DecodedImage& image, const BYTE* data, UINT size) {
    if (data == nullptr || size < kHeaderSize) return E_FAIL;
    const UINT idLength = data[0];
    const UINT mapType = data[1];
    const UINT imageType = data[2];
    const UINT mapFirst = ReadLe16(data + 3);
    const UINT mapLength = ReadLe16(data + 5);
    const UINT mapEntryBits = data[7];
    const UINT width = ReadLe16(data + 12);
    const UINT height = ReadLe16(data + 14);
    const UINT pixelBits = data[16];
    const UINT descriptor = data[17];

    if (mapType > 1 || (imageType & 0xF4) != 0 || width == 0 || height == 0) return E_FAIL;
    if (mapType == 1 && mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24 && mapEntryBits != 32) {
        return RejectImage("TGA: unsupported colour-map entry size");
    }

    D3DFORMAT format = D3DFMT_UNKNOWN;
    switch (imageType & 3) {
        case 1:
            if (mapType == 1 && pixelBits == 8) format = D3DFMT_P8;
            break;
        case 2:
            if (pixelBits == 15) format = D3DFMT_X1R5G5B5;
            else if (pixelBits == 16) format = D3DFMT_A1R5G5B5;
            else if (pixelBits == 24) format = D3DFMT_R8G8B8;
            else if (pixelBits == 32) format = D3DFMT_A8R8G8B8;
            break;
        case 3:
            if (pixelBits == 8) format = D3DFMT_L8;
            break;
        default:
            break;
    }
    if (format == D3DFMT_UNKNOWN) return RejectImage("TGA: unsupported image type and pixel depth");
    if (const HRESULT hr = CheckImageLimits("TGA", width, height); FAILED(hr)) return hr;

    const UINT bytesPerPixel = (pixelBits + 7) / 8;
    const UINT mapEntryBytes = (mapEntryBits + 7) / 8;
    std::uint64_t offset = kHeaderSize;
    if (size - offset < idLength) return RejectImage("TGA: image ID past end of data");
    offset += idLength;
    const std::uint64_t mapBytes = std::uint64_t(mapLength) * mapEntryBytes;
    if (size - offset < mapBytes) return RejectImage("TGA: colour map past end of data");
    const BYTE* map = data + offset;
    offset += mapBytes;
    const BYTE* pixels = data + offset;
    std::uint64_t remaining = size - offset;

    if (image.wantPixels && format == D3DFMT_P8) {
        if (mapFirst + mapLength > 256) return RejectImage("TGA: colour map does not fit 256 entries");
        PALETTEENTRY* palette = image.AllocatePalette();
        if (palette == nullptr) return E_OUTOFMEMORY;
        bool anyAlpha = false;
        for (UINT i = 0; i < mapLength; ++i) {
            const BYTE* e = map + std::size_t(i) * mapEntryBytes;
            PALETTEENTRY& out = palette[mapFirst + i];
            if (mapEntryBits >= 24) {
                out = {e[2], e[1], e[0], static_cast<BYTE>(mapEntryBits == 32 ? e[3] : 255)};
            } else {
                const UINT v = ReadLe16(e);
                const BYTE alpha = (mapEntryBits == 15 || (v & 0x8000)) ? 255 : 0;
                out = {Widen5((v >> 10) & 31), Widen5((v >> 5) & 31), Widen5(v & 31), alpha};
            }
            anyAlpha |= out.peFlags != 0;
        }
        // A map whose alpha is zero throughout carries no alpha at all: take it as opaque.
        if (!anyAlpha) {
            for (UINT i = 0; i < mapLength; ++i) palette[mapFirst + i].peFlags = 255;
        }
    }

    const std::uint64_t rowBytes64 = std::uint64_t(width) * bytesPerPixel;
    const std::uint64_t imageBytes = rowBytes64 * height;
    if (imageBytes > 0xFFFFFFFFull) return RejectImage("TGA: image too large");
    const bool runLength = (imageType & 8) != 0;
    // Sixteen-bit pixels carry alpha only where some pixel sets its bit; otherwise the image is opaque.
    if (format == D3DFMT_A1R5G5B5 && !AnyAlphaBit(pixels, pixels + remaining, std::uint64_t(width) * height, runLength))
        format = D3DFMT_X1R5G5B5;
    FillLevelZeroHeader(image, format, width, height, static_cast<UINT>(rowBytes64));
    if (!image.wantPixels) return S_OK;

    const bool topDown = (descriptor & 0x20) != 0;
    const bool rightToLeft = (descriptor & 0x10) != 0;
    const std::size_t rowBytes = static_cast<std::size_t>(rowBytes64);

    if (!runLength && !rightToLeft) {
        // Plain rows are used where they lie; bottom-up files are read upwards from their last stored row.
        if (remaining < imageBytes) return RejectImage("TGA: pixel data past end of data");
        image.pixels = topDown ? pixels : pixels + (static_cast<std::size_t>(height) - 1) * rowBytes;
        image.ownsPixels = false;
        image.rowsUpward = !topDown;
    } else {
        if (!runLength && remaining < imageBytes) return RejectImage("TGA: pixel data past end of data");
        // A packet of 1 + bytes-per-pixel bytes yields at most 128 pixels: refuse sizes the data cannot fill
        // before allocating for them.
        if (runLength && std::uint64_t(width) * height > (remaining / (1u + bytesPerPixel) + 1) * 128) {
            return RejectImage("TGA: run-length data too short for the image size");
        }
        BYTE* out = image.AllocatePixels(imageBytes);
        if (out == nullptr) return E_OUTOFMEMORY;
        const BYTE* in = pixels;
        const BYTE* end = pixels + remaining;
        // The pixels of file row `fileRow`, which go to column x, or width - 1 - x when stored right to left.
        auto rowStart = [&](UINT fileRow) { return out + std::size_t(topDown ? fileRow : height - 1 - fileRow) * rowBytes; };
        auto target = [&](BYTE* row, UINT x) {
            return row + std::size_t(rightToLeft ? width - 1 - x : x) * bytesPerPixel;
        };
        if (!runLength) {
            for (UINT fileRow = 0; fileRow < height; ++fileRow) {
                BYTE* row = rowStart(fileRow);
                for (UINT x = 0; x < width; ++x, in += bytesPerPixel) std::memcpy(target(row, x), in, bytesPerPixel);
            }
        } else {
            // Packets should end with their row, but older writers let them run on into the next one: a packet
            // simply continues there. One that would run past the last pixel of the image is damaged.
            UINT fileRow = 0, x = 0;
            BYTE* row = rowStart(0);
            while (fileRow < height) {
                if (in >= end) return RejectImage("TGA: run-length packet past end of data");
                const BYTE header = *in++;
                UINT count = (header & 0x7F) + 1u;
                const bool run = (header & 0x80) != 0;
                if (std::uint64_t(end - in) < std::uint64_t(run ? 1 : count) * bytesPerPixel)
                    return RejectImage("TGA: run-length packet past end of data");
                if (std::uint64_t(height - fileRow) * width - x < count)
                    return RejectImage("TGA: run-length packet past the end of the image");
                while (count > 0) {
                    const UINT n = count < width - x ? count : width - x;  // the part that fits this row
                    if (run) {
                        for (UINT i = 0; i < n; ++i) std::memcpy(target(row, x + i), in, bytesPerPixel);
                    } else if (!rightToLeft) {
                        std::memcpy(target(row, x), in, std::size_t(n) * bytesPerPixel);
                        in += std::size_t(n) * bytesPerPixel;
                    } else {
                        for (UINT i = 0; i < n; ++i, in += bytesPerPixel)
                            std::memcpy(target(row, x + i), in, bytesPerPixel);
                    }
                    count -= n;
                    x += n;
                    if (x == width && ++fileRow < height) {
                        x = 0;
                        row = rowStart(fileRow);
                    }
                }
                if (run) in += bytesPerPixel;
            }
        }
    }

    return S_OK;
}

}  // namespace tarn::texture
