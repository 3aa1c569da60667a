#include "BlockCodecBlocks.h"

#include <cstring>

namespace tarn::texture::blocks {
namespace {

struct Rgba {
    float r, g, b, a;
};

// Channel expansions, exactly i / max as the format defines them.
struct ExpandTables {
    float five[32];
    float six[64];
    float four[16];
    float eight[256];
    ExpandTables() {
        for (int i = 0; i < 32; ++i) five[i] = static_cast<float>(i) / 31.0f;
        for (int i = 0; i < 64; ++i) six[i] = static_cast<float>(i) / 63.0f;
        for (int i = 0; i < 16; ++i) four[i] = static_cast<float>(i) / 15.0f;
        for (int i = 0; i < 256; ++i) eight[i] = static_cast<float>(i) / 255.0f;
    }
};
const ExpandTables kExpand;

inline std::uint16_t Load16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t Load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline Rgba Expand565(std::uint16_t c) {
    return {kExpand.five[c >> 11], kExpand.six[(c >> 5) & 63], kExpand.five[c & 31], 1.0f};
}

inline Rgba Lerp(const Rgba& p, const Rgba& q, float t) {
    return {p.r + (q.r - p.r) * t, p.g + (q.g - p.g) * t, p.b + (q.b - p.b) * t, p.a + (q.a - p.a) * t};
}

// The four colours a colour block can name; colour 0 <= colour 1 gives the three-colour mode.
inline void ColourPalette(const std::uint8_t* block, Rgba pal[4]) {
    const std::uint16_t c0 = Load16(block), c1 = Load16(block + 2);
    pal[0] = Expand565(c0);
    pal[1] = Expand565(c1);
    if (c0 > c1) {
        pal[2] = Lerp(pal[0], pal[1], 0.33333334f);
        pal[3] = Lerp(pal[0], pal[1], 0.6666667f);
    } else {
        pal[2] = Lerp(pal[0], pal[1], 0.5f);
        pal[3] = {0.0f, 0.0f, 0.0f, 0.0f};
    }
}

inline void DecodeColour(const std::uint8_t* block, float* out, std::size_t stride) {
    Rgba pal[4];
    ColourPalette(block, pal);
    std::uint32_t indices = Load32(block + 4);
    for (int y = 0; y < 4; ++y) {
        float* row = out + y * stride;
        for (int x = 0; x < 4; ++x, indices >>= 2) std::memcpy(row + x * 4, &pal[indices & 3], sizeof(Rgba));
    }
}

// The eight alphas of an interpolated-alpha block.
inline void AlphaPalette(std::uint8_t a0, std::uint8_t a1, float pal[8]) {
    const float f0 = kExpand.eight[a0], f1 = kExpand.eight[a1];
    pal[0] = f0;
    pal[1] = f1;
    if (a0 > a1) {
        for (int i = 1; i <= 6; ++i) pal[i + 1] = (static_cast<float>(7 - i) * f0 + static_cast<float>(i) * f1) / 7.0f;
    } else {
        for (int i = 1; i <= 4; ++i) pal[i + 1] = (static_cast<float>(5 - i) * f0 + static_cast<float>(i) * f1) / 5.0f;
        pal[6] = 0.0f;
        pal[7] = 1.0f;
    }
}

inline std::uint64_t AlphaIndexBits(const std::uint8_t* p) {
    std::uint64_t bits = 0;
    for (int i = 5; i >= 0; --i) bits = (bits << 8) | p[i];
    return bits;
}

// Premultiplied colour divided back by alpha; a channel above its alpha saturates.
void Unpremultiply(float* out, std::size_t stride) {
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            float* p = out + y * stride + x * 4;
            const float a = p[3];
            if (a == 0.0f) {
                p[0] = p[1] = p[2] = 0.0f;
            } else if (a < 1.0f) {
                for (int c = 0; c < 3; ++c) p[c] = p[c] > a ? 1.0f : p[c] / a;
            }
        }
    }
}

}  // namespace

void DecodeDxt1(const std::uint8_t* block, float* out, std::size_t stride) { DecodeColour(block, out, stride); }

void DecodeDxt3(const std::uint8_t* block, float* out, std::size_t stride) {
    DecodeColour(block + 8, out, stride);
    for (int i = 0; i < 16; ++i) {
        const int nibble = (block[i >> 1] >> ((i & 1) * 4)) & 15;
        out[(i >> 2) * stride + (i & 3) * 4 + 3] = kExpand.four[nibble];
    }
}

void DecodeDxt2(const std::uint8_t* block, float* out, std::size_t stride) {
    DecodeDxt3(block, out, stride);
    Unpremultiply(out, stride);
}

void DecodeDxt5(const std::uint8_t* block, float* out, std::size_t stride) {
    DecodeColour(block + 8, out, stride);
    float pal[8];
    AlphaPalette(block[0], block[1], pal);
    std::uint64_t bits = AlphaIndexBits(block + 2);
    for (int i = 0; i < 16; ++i, bits >>= 3) out[(i >> 2) * stride + (i & 3) * 4 + 3] = pal[bits & 7];
}

void DecodeDxt4(const std::uint8_t* block, float* out, std::size_t stride) {
    DecodeDxt5(block, out, stride);
    Unpremultiply(out, stride);
}

namespace {

inline std::uint32_t ToByte(float v) {
    float scaled = v * 255.0f + 0.5f;
    scaled = scaled > 0.0f ? scaled : 0.0f;  // also turns NaN into 0
    scaled = scaled < 255.0f ? scaled : 255.0f;
    return static_cast<std::uint32_t>(scaled);
}

inline std::uint32_t ToWord(const Rgba& c) {
    return ToByte(c.b) | (ToByte(c.g) << 8) | (ToByte(c.r) << 16) | (ToByte(c.a) << 24);
}

inline std::uint32_t RgbWord(float r, float g, float b) { return ToByte(b) | (ToByte(g) << 8) | (ToByte(r) << 16); }

// Integer forms of the rounded decode. For the endpoints and the one- and two-thirds points the exact value
// 255 (2a + b) / (3 max) is never an odd multiple of one half (the numerator is even, the denominator odd), so it
// lies at least 1 / (6 max) from a rounding boundary, far beyond the float path's error: rounding the exact value
// gives the float path's byte. The midpoint of the three-colour mode can land on a half and keeps the float path.
struct ByteTables {
    std::uint8_t five[32], six[64];
    std::uint8_t fiveThirds[94], sixThirds[190];  // indexed by 2a + b (one third) or a + 2b (two thirds)
    ByteTables() {
        for (int a = 0; a < 32; ++a) five[a] = static_cast<std::uint8_t>((510 * a + 31) / 62);
        for (int a = 0; a < 64; ++a) six[a] = static_cast<std::uint8_t>((510 * a + 63) / 126);
        for (int n = 0; n < 94; ++n) fiveThirds[n] = static_cast<std::uint8_t>((510 * n + 93) / 186);
        for (int n = 0; n < 190; ++n) sixThirds[n] = static_cast<std::uint8_t>((510 * n + 189) / 378);
    }
};
const ByteTables kBytes;

}  // namespace

void ColourPaletteWords(const std::uint8_t* block, std::uint32_t words[4]) {
    const std::uint16_t c0 = Load16(block), c1 = Load16(block + 2);
    const unsigned r0 = c0 >> 11, g0 = (c0 >> 5) & 63, b0 = c0 & 31;
    const unsigned r1 = c1 >> 11, g1 = (c1 >> 5) & 63, b1 = c1 & 31;
    auto word = [](unsigned r, unsigned g, unsigned b) { return 0xFF000000u | (r << 16) | (g << 8) | b; };
    words[0] = word(kBytes.five[r0], kBytes.six[g0], kBytes.five[b0]);
    words[1] = word(kBytes.five[r1], kBytes.six[g1], kBytes.five[b1]);
    if (c0 > c1) {
        words[2] = word(kBytes.fiveThirds[2 * r0 + r1], kBytes.sixThirds[2 * g0 + g1], kBytes.fiveThirds[2 * b0 + b1]);
        words[3] = word(kBytes.fiveThirds[r0 + 2 * r1], kBytes.sixThirds[g0 + 2 * g1], kBytes.fiveThirds[b0 + 2 * b1]);
    } else {
        const float fr0 = kExpand.five[r0], fg0 = kExpand.six[g0], fb0 = kExpand.five[b0];
        words[2] = RgbWord(fr0 + (kExpand.five[r1] - fr0) * 0.5f, fg0 + (kExpand.six[g1] - fg0) * 0.5f,
                           fb0 + (kExpand.five[b1] - fb0) * 0.5f) |
                   0xFF000000u;
        words[3] = 0;
    }
}

void AlphaPaletteBytes(const std::uint8_t* block, std::uint8_t alpha[8]) {
    // The exact interpolants n / 7 and n / 5 are never halves (an even numerator over an odd denominator), so
    // integer rounding gives the float path's bytes.
    const unsigned a0 = block[0], a1 = block[1];
    alpha[0] = static_cast<std::uint8_t>(a0);
    alpha[1] = static_cast<std::uint8_t>(a1);
    if (a0 > a1) {
        for (unsigned i = 1; i <= 6; ++i)
            alpha[i + 1] = static_cast<std::uint8_t>((2 * ((7 - i) * a0 + i * a1) + 7) / 14);
    } else {
        for (unsigned i = 1; i <= 4; ++i)
            alpha[i + 1] = static_cast<std::uint8_t>((2 * ((5 - i) * a0 + i * a1) + 5) / 10);
        alpha[6] = 0;
        alpha[7] = 255;
    }
}

namespace {

// The four colours of a colour block as words, then the 16 pixels.
inline void ColourWords(const std::uint8_t* block, std::uint32_t out[16]) {
    std::uint32_t words[4];
    ColourPaletteWords(block, words);
    std::uint32_t indices = Load32(block + 4);
    for (int i = 0; i < 16; ++i, indices >>= 2) out[i] = words[indices & 3];
}

void FloatsToWords(const float* px, std::uint32_t out[16]) {
    for (int i = 0; i < 16; ++i) out[i] = ToWord({px[i * 4], px[i * 4 + 1], px[i * 4 + 2], px[i * 4 + 3]});
}

}  // namespace

void DecodeDxt1Argb8(const std::uint8_t* block, std::uint32_t out[16]) { ColourWords(block, out); }

void DecodeDxt3Argb8(const std::uint8_t* block, std::uint32_t out[16]) {
    ColourWords(block + 8, out);
    for (int i = 0; i < 16; ++i) {
        const int nibble = (block[i >> 1] >> ((i & 1) * 4)) & 15;
        out[i] = (out[i] & 0x00FFFFFFu) | (ToByte(kExpand.four[nibble]) << 24);
    }
}

void DecodeDxt5Argb8(const std::uint8_t* block, std::uint32_t out[16]) {
    ColourWords(block + 8, out);
    std::uint8_t alpha[8];
    AlphaPaletteBytes(block, alpha);
    std::uint64_t bits = AlphaIndexBits(block + 2);
    for (int i = 0; i < 16; ++i, bits >>= 3) out[i] = (out[i] & 0x00FFFFFFu) | (std::uint32_t{alpha[bits & 7]} << 24);
}

// The premultiplied formats divide per pixel, so they go through the float decode.
void DecodeDxt2Argb8(const std::uint8_t* block, std::uint32_t out[16]) {
    float px[64];
    DecodeDxt2(block, px, 16);
    FloatsToWords(px, out);
}

void DecodeDxt4Argb8(const std::uint8_t* block, std::uint32_t out[16]) {
    float px[64];
    DecodeDxt4(block, px, 16);
    FloatsToWords(px, out);
}

}  // namespace tarn::texture::blocks
