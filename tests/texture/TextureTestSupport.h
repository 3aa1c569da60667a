// Small helpers shared by the texture tests: images in memory described for BlitImage, Targa files built
// byte by byte, and a seeded byte generator.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "BlitImage.h"
#include "FormatTable.h"
#include "PixelCodec.h"

namespace texture_test {

using namespace tarn::texture;

// An image held in a byte vector: width x height (x depth) pixels of `format`, rows and slices packed.
struct MemoryImage {
    D3DFORMAT format;
    UINT width, height, depth;
    UINT pitch;
    std::vector<BYTE> bytes;
    const PALETTEENTRY* palette = nullptr;
    D3DCOLOR colorKey = 0;

    MemoryImage(D3DFORMAT f, UINT w, UINT h, UINT d = 1)
        : format(f),
          width(w),
          height(h),
          depth(d),
          pitch(w * (LookUpFormatDesc(f).bits / 8)),
          bytes(static_cast<std::size_t>(pitch) * h * d + 16, 0) {}

    ImageDesc Desc() {
        ImageDesc d;
        d.memory = bytes.data();
        d.format = format;
        d.rowPitch = pitch;
        d.slicePitch = pitch * height;
        d.box = {0, 0, width, height, 0, depth};
        d.palette = palette;
        d.colorKey = colorKey;
        return d;
    }
    BYTE* Row(UINT y, UINT z = 0) { return bytes.data() + (static_cast<std::size_t>(z) * height + y) * pitch; }
    std::uint32_t Pixel32(UINT x, UINT y, UINT z = 0) const {
        std::uint32_t v;
        std::memcpy(&v, bytes.data() + (static_cast<std::size_t>(z) * height + y) * pitch + 4 * x, 4);
        return v;
    }
    void SetPixel32(UINT x, UINT y, std::uint32_t v) { SetPixel32(x, y, 0, v); }
    void SetPixel32(UINT x, UINT y, UINT z, std::uint32_t v) {
        std::memcpy(bytes.data() + (static_cast<std::size_t>(z) * height + y) * pitch + 4 * x, &v, 4);
    }
    std::uint16_t Pixel16(UINT x, UINT y) const {
        std::uint16_t v;
        std::memcpy(&v, bytes.data() + static_cast<std::size_t>(y) * pitch + 2 * x, 2);
        return v;
    }
    Float4 PixelF(UINT x, UINT y, UINT z = 0) const {
        Float4 v;
        std::memcpy(&v, bytes.data() + (static_cast<std::size_t>(z) * height + y) * pitch + 16 * x, 16);
        return v;
    }
    void SetPixelF(UINT x, UINT y, Float4 v) { SetPixelF(x, y, 0, v); }
    void SetPixelF(UINT x, UINT y, UINT z, Float4 v) {
        std::memcpy(bytes.data() + (static_cast<std::size_t>(z) * height + y) * pitch + 16 * x, &v, 16);
    }
    // Only the image bytes, without the guard tail.
    std::vector<BYTE> Pixels() const {
        return std::vector<BYTE>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(pitch) * height * depth);
    }
};

inline HRESULT Blit(MemoryImage& dest, MemoryImage& source, DWORD filter) {
    return BlitImage(dest.Desc(), source.Desc(), filter);
}

inline void FillRandom(std::vector<BYTE>& bytes, std::uint32_t seed) {
    std::mt19937 rng(seed);
    for (BYTE& b : bytes) b = static_cast<BYTE>(rng());
}

// A Targa file: 18-byte header, optional colour map, then `pixels` as stored.
struct TgaSpec {
    BYTE idLength = 0, mapType = 0, imageType = 2;
    std::uint16_t mapFirst = 0, mapLength = 0;
    BYTE mapEntryBits = 0;
    std::uint16_t width = 1, height = 1;
    BYTE pixelBits = 32, descriptor = 0x20;
};

inline std::vector<BYTE> MakeTga(const TgaSpec& s, const std::vector<BYTE>& map, const std::vector<BYTE>& pixels) {
    const BYTE header[18] = {s.idLength, s.mapType, s.imageType,
                             static_cast<BYTE>(s.mapFirst), static_cast<BYTE>(s.mapFirst >> 8),
                             static_cast<BYTE>(s.mapLength), static_cast<BYTE>(s.mapLength >> 8), s.mapEntryBits,
                             0, 0, 0, 0,
                             static_cast<BYTE>(s.width), static_cast<BYTE>(s.width >> 8),
                             static_cast<BYTE>(s.height), static_cast<BYTE>(s.height >> 8), s.pixelBits,
                             s.descriptor};
    std::vector<BYTE> file;
    file.reserve(18 + s.idLength + map.size() + pixels.size());
    for (BYTE b : header) file.push_back(b);
    for (UINT i = 0; i < s.idLength; ++i) file.push_back('i');
    for (BYTE b : map) file.push_back(b);
    for (BYTE b : pixels) file.push_back(b);
    return file;
}

// A DDS file: the 128-byte header with these fields, then the stored data. The defaults describe a 4 x 4 DXT1
// image of one level.
struct DdsHeader {
    std::uint32_t width = 4, height = 4, depth = 0, mips = 0;
    std::uint32_t headerFlags = 0x1007;  // with 0x800000 (kDdsDepthFlag) a volume
    std::uint32_t pfFlags = 0x4, fourCC = D3DFMT_DXT1, bits = 0;
    std::uint32_t masks[4] = {};  // red, green, blue, alpha
    std::uint32_t caps2 = 0;      // kDdsAllFaces for a cube map
    std::uint32_t pfSize = 32;
};
inline constexpr std::uint32_t kDdsDepthFlag = 0x800000;
inline constexpr std::uint32_t kDdsAllFaces = 0x200 | 0xFC00;

// The pixel-format fields of a DDS file that holds D3DFMT_A8R8G8B8.
inline DdsHeader DdsA8R8G8B8(std::uint32_t width, std::uint32_t height) {
    DdsHeader d;
    d.width = width;
    d.height = height;
    d.pfFlags = 0x41, d.fourCC = 0, d.bits = 32;
    d.masks[0] = 0xFF0000, d.masks[1] = 0xFF00, d.masks[2] = 0xFF, d.masks[3] = 0xFF000000;
    return d;
}

inline std::vector<BYTE> MakeDds(const DdsHeader& d, const std::vector<BYTE>& data) {
    std::vector<BYTE> b(128 + data.size(), 0);
    auto put = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
    };
    std::memcpy(b.data(), "DDS ", 4);
    put(4, 124);
    put(8, d.headerFlags);
    put(12, d.height);
    put(16, d.width);
    put(24, d.depth);
    put(28, d.mips);
    put(76, d.pfSize);
    put(80, d.pfFlags);
    put(84, d.fourCC);
    put(88, d.bits);
    for (int i = 0; i < 4; ++i) put(92 + 4 * i, d.masks[i]);
    put(108, 0x1000);
    put(112, d.caps2);
    std::copy(data.begin(), data.end(), b.begin() + 128);
    return b;
}

}  // namespace texture_test
