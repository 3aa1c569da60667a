// Small helpers shared by the texture tests: images in memory described for BlitImage, Targa files built
// byte by byte, and a seeded byte generator.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "texture/BlitImage.h"
#include "texture/FormatTable.h"
#include "texture/PixelCodec.h"

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
        : format(f), width(w), height(h), depth(d), pitch(w * (LookUpFormatDesc(f).bits / 8)),
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

}  // namespace texture_test
