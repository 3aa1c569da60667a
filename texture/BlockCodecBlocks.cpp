#include "BlockCodecBlocks.h"

#include <algorithm>
#include <array>
#include <cmath>
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

// ---- Encoding ----

inline float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : (v == v ? v : 0.0f)); }

struct Vec3 {
    float x, y, z;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline int Quantise(float v, int max) {
    return static_cast<int>(std::lround(static_cast<double>(Clamp01(v)) * max));
}
inline std::uint16_t Pack565(Vec3 c) {
    return static_cast<std::uint16_t>((Quantise(c.x, 31) << 11) | (Quantise(c.y, 63) << 5) | Quantise(c.z, 31));
}

struct ColourChoice {
    std::uint16_t c0 = 0, c1 = 0;
    std::uint8_t index[16] = {};
    float error = INFINITY;
};

// Assigns each pixel the nearest palette entry of a block with endpoints (c0, c1) decoded exactly as the decoder
// does, honouring the mode those endpoints select. `opaque[i]` false forces index 3 (transparent).
// Opaque pixels never take the transparent black fourth entry of the three-colour mode.
ColourChoice Evaluate(std::uint16_t c0, std::uint16_t c1, const Vec3* px, const bool* opaque) {
    std::uint8_t raw[8] = {static_cast<std::uint8_t>(c0), static_cast<std::uint8_t>(c0 >> 8),
                           static_cast<std::uint8_t>(c1), static_cast<std::uint8_t>(c1 >> 8)};
    Rgba pal[4];
    ColourPalette(raw, pal);
    const bool threeColour = c0 <= c1;
    const int entries = threeColour ? 3 : 4;
    ColourChoice out;
    out.c0 = c0;
    out.c1 = c1;
    out.error = 0.0f;
    for (int i = 0; i < 16; ++i) {
        if (!opaque[i]) {
            out.index[i] = 3;
            continue;
        }
        float best = INFINITY;
        int bestIndex = 0;
        for (int k = 0; k < entries; ++k) {
            const Vec3 d = Vec3{pal[k].r, pal[k].g, pal[k].b} - px[i];
            const float e = Dot(d, d);
            if (e < best) {
                best = e;
                bestIndex = k;
            }
        }
        out.index[i] = static_cast<std::uint8_t>(bestIndex);
        out.error += best;
    }
    return out;
}

// Fits endpoints in one mode: principal axis, then least-squares refinement of the endpoints against the chosen
// indices, re-evaluated on the quantised endpoints each round. Returns the best block seen.
ColourChoice FitMode(const Vec3* px, const bool* opaque, bool threeColour) {
    Vec3 mean{0, 0, 0};
    int count = 0;
    for (int i = 0; i < 16; ++i)
        if (opaque[i]) {
            mean = mean + px[i];
            ++count;
        }
    ColourChoice best;
    if (count == 0) return best;
    mean = mean * (1.0f / static_cast<float>(count));
    float cov[6] = {};
    for (int i = 0; i < 16; ++i) {
        if (!opaque[i]) continue;
        const Vec3 d = px[i] - mean;
        cov[0] += d.x * d.x;
        cov[1] += d.x * d.y;
        cov[2] += d.x * d.z;
        cov[3] += d.y * d.y;
        cov[4] += d.y * d.z;
        cov[5] += d.z * d.z;
    }
    // Power iteration for the principal axis, starting from the spread of the extremes.
    Vec3 axis{1.0f, 1.0f, 1.0f};
    for (int it = 0; it < 8; ++it) {
        const Vec3 next{cov[0] * axis.x + cov[1] * axis.y + cov[2] * axis.z,
                        cov[1] * axis.x + cov[3] * axis.y + cov[4] * axis.z,
                        cov[2] * axis.x + cov[4] * axis.y + cov[5] * axis.z};
        const float len = std::sqrt(Dot(next, next));
        if (!(len > 1e-12f)) break;
        axis = next * (1.0f / len);
    }
    float lo = INFINITY, hi = -INFINITY;
    for (int i = 0; i < 16; ++i) {
        if (!opaque[i]) continue;
        const float t = Dot(px[i] - mean, axis);
        lo = std::min(lo, t);
        hi = std::max(hi, t);
    }
    Vec3 e0 = mean + axis * hi, e1 = mean + axis * lo;

    // Fraction of the way from colour 0 to colour 1 for each index of the mode.
    static const float kFour[4] = {0.0f, 1.0f, 1.0f / 3.0f, 2.0f / 3.0f};
    static const float kThree[4] = {0.0f, 1.0f, 0.5f, 0.0f};
    for (int round = 0; round < 4; ++round) {
        std::uint16_t q0 = Pack565(e0), q1 = Pack565(e1);
        // Order the endpoints as the mode demands; indices follow the swap through Evaluate.
        if (threeColour ? q0 > q1 : q0 < q1) std::swap(q0, q1);
        if (!threeColour && q0 == q1) {
            // Equal endpoints decode in three-colour mode; nudge one to keep four colours where possible.
            if (q0 < 0xFFFF) ++q0; else --q1;
        }
        ColourChoice c = Evaluate(q0, q1, px, opaque);
        const bool improved = c.error < best.error;
        if (improved) best = c;
        if (!improved && round > 0) break;
        // Least squares for the endpoints given these indices.
        const float* frac = threeColour ? kThree : kFour;
        float A = 0, B = 0, C = 0;
        Vec3 X{0, 0, 0}, Y{0, 0, 0};
        for (int i = 0; i < 16; ++i) {
            if (!opaque[i] || (threeColour && c.index[i] == 3)) continue;
            const float t = frac[c.index[i]], s = 1.0f - t;
            A += s * s;
            B += s * t;
            C += t * t;
            X = X + px[i] * s;
            Y = Y + px[i] * t;
        }
        const float det = A * C - B * B;
        if (std::fabs(det) < 1e-8f) break;
        const float inv = 1.0f / det;
        e0 = (X * C - Y * B) * inv;
        e1 = (Y * A - X * B) * inv;
    }
    return best;
}

// Best single-colour endpoints: for each 8-bit channel value, the endpoint pair whose one-third point (four-colour
// mode, index 2) decodes closest to it.
struct SingleColourTables {
    std::uint8_t five[256][2];
    std::uint8_t six[256][2];
    static void Build(std::uint8_t (*table)[2], int max) {
        for (int v = 0; v < 256; ++v) {
            const float target = static_cast<float>(v) / 255.0f;
            float best = INFINITY;
            for (int a = 0; a <= max; ++a)
                for (int b = 0; b <= max; ++b) {
                    const float fa = static_cast<float>(a) / static_cast<float>(max);
                    const float fb = static_cast<float>(b) / static_cast<float>(max);
                    const float e = std::fabs(fa + (fb - fa) * 0.33333334f - target);
                    if (e < best) {
                        best = e;
                        table[v][0] = static_cast<std::uint8_t>(a);
                        table[v][1] = static_cast<std::uint8_t>(b);
                    }
                }
        }
    }
    SingleColourTables() {
        Build(five, 31);
        Build(six, 63);
    }
};

ColourChoice FitSingleColour(Vec3 colour, const Vec3* px, const bool* opaque) {
    static const SingleColourTables tables;
    const int r = Quantise(colour.x, 255), g = Quantise(colour.y, 255), b = Quantise(colour.z, 255);
    std::uint16_t q0 = static_cast<std::uint16_t>((tables.five[r][0] << 11) | (tables.six[g][0] << 5) | tables.five[b][0]);
    std::uint16_t q1 = static_cast<std::uint16_t>((tables.five[r][1] << 11) | (tables.six[g][1] << 5) | tables.five[b][1]);
    if (q0 < q1) std::swap(q0, q1);  // index 3 then names the same point from the other end
    return Evaluate(q0, q1, px, opaque);
}

// Writes a colour block. `dxt1`: the block of a DXT1 image, which may use the three-colour mode, and stores
// pixels with alpha below one half transparent; otherwise the block of DXT2-DXT5, in four-colour mode only.
void EncodeColour(std::uint8_t* block, const float* pixels, bool dxt1) {
    Vec3 px[16];
    bool opaque[16];
    bool anyTransparent = false, uniform = true;
    for (int i = 0; i < 16; ++i) {
        const float* p = pixels + i * 4;
        px[i] = {Clamp01(p[0]), Clamp01(p[1]), Clamp01(p[2])};
        opaque[i] = !dxt1 || Clamp01(p[3]) >= 0.5f;
        anyTransparent |= !opaque[i];
    }
    int first = -1;
    for (int i = 0; i < 16; ++i) {
        if (!opaque[i]) continue;
        if (first < 0) first = i;
        else if (px[i].x != px[first].x || px[i].y != px[first].y || px[i].z != px[first].z) uniform = false;
    }

    ColourChoice best;
    if (first < 0) {
        best = Evaluate(0, 0, px, opaque);  // all transparent: three-colour mode, every index 3
    } else if (!dxt1) {
        // Graphics hardware decodes the colour blocks of DXT2-DXT5 in four-colour mode whatever the order of the
        // endpoints, so those blocks keep colour 0 > colour 1, or equal colours with no pixel on index 3: then
        // both decodings agree.
        best = uniform ? FitSingleColour(px[first], px, opaque) : FitMode(px, opaque, false);
    } else if (!anyTransparent) {
        best = uniform ? FitSingleColour(px[first], px, opaque) : FitMode(px, opaque, false);
        if (best.error > 0.0f) {
            ColourChoice three = FitMode(px, opaque, true);
            if (three.error < best.error) best = three;
        }
    } else {
        best = FitMode(px, opaque, true);
    }
    std::uint32_t bits = 0;
    for (int i = 15; i >= 0; --i) bits = (bits << 2) | best.index[i];
    block[0] = static_cast<std::uint8_t>(best.c0);
    block[1] = static_cast<std::uint8_t>(best.c0 >> 8);
    block[2] = static_cast<std::uint8_t>(best.c1);
    block[3] = static_cast<std::uint8_t>(best.c1 >> 8);
    block[4] = static_cast<std::uint8_t>(bits);
    block[5] = static_cast<std::uint8_t>(bits >> 8);
    block[6] = static_cast<std::uint8_t>(bits >> 16);
    block[7] = static_cast<std::uint8_t>(bits >> 24);
}

void EncodeExplicitAlpha(std::uint8_t* block, const float* pixels) {
    for (int i = 0; i < 8; ++i) {
        const int lo = Quantise(pixels[(2 * i) * 4 + 3], 15);
        const int hi = Quantise(pixels[(2 * i + 1) * 4 + 3], 15);
        block[i] = static_cast<std::uint8_t>(lo | (hi << 4));
    }
}

struct AlphaChoice {
    std::uint8_t a0 = 0, a1 = 0;
    std::uint8_t index[16] = {};
    float error = INFINITY;
};

AlphaChoice EvaluateAlpha(std::uint8_t a0, std::uint8_t a1, const float* alpha) {
    float pal[8];
    AlphaPalette(a0, a1, pal);
    AlphaChoice out;
    out.a0 = a0;
    out.a1 = a1;
    out.error = 0.0f;
    for (int i = 0; i < 16; ++i) {
        float best = INFINITY;
        int bestIndex = 0;
        for (int k = 0; k < 8; ++k) {
            const float e = (pal[k] - alpha[i]) * (pal[k] - alpha[i]);
            if (e < best) {
                best = e;
                bestIndex = k;
            }
        }
        out.index[i] = static_cast<std::uint8_t>(bestIndex);
        out.error += best;
    }
    return out;
}

// Tries the eight-value mode on the range of the block and the six-value mode (with exact 0 and 1) on the range of
// the values strictly inside, each refined by widening or narrowing the endpoints one step; keeps the least error.
void EncodeInterpolatedAlpha(std::uint8_t* block, const float* pixels) {
    float alpha[16];
    int lo = 255, hi = 0, innerLo = 255, innerHi = 0;
    for (int i = 0; i < 16; ++i) {
        alpha[i] = Clamp01(pixels[i * 4 + 3]);
        const int q = Quantise(alpha[i], 255);
        lo = std::min(lo, q);
        hi = std::max(hi, q);
        if (q != 0 && q != 255) {
            innerLo = std::min(innerLo, q);
            innerHi = std::max(innerHi, q);
        }
    }
    AlphaChoice best;
    auto consider = [&](int a0, int a1) {
        if (a0 < 0 || a0 > 255 || a1 < 0 || a1 > 255) return;
        AlphaChoice c = EvaluateAlpha(static_cast<std::uint8_t>(a0), static_cast<std::uint8_t>(a1), alpha);
        if (c.error < best.error) best = c;
    };
    // Eight-value mode needs alpha 0 > alpha 1; with equal ends every pixel takes index 0 of either mode.
    for (int d0 = -1; d0 <= 1; ++d0)
        for (int d1 = -1; d1 <= 1; ++d1)
            if (hi + d0 > lo + d1) consider(hi + d0, lo + d1);
    if (hi == lo) consider(hi, lo);
    if (innerLo <= innerHi) {
        for (int d0 = -1; d0 <= 1; ++d0)
            for (int d1 = -1; d1 <= 1; ++d1)
                if (innerLo + d0 <= innerHi + d1) consider(innerLo + d0, innerHi + d1);
    } else {
        consider(0, 255);  // only 0 and 1 in the block: six-value mode names both exactly
    }
    std::uint64_t bits = 0;
    for (int i = 15; i >= 0; --i) bits = (bits << 3) | best.index[i];
    block[0] = best.a0;
    block[1] = best.a1;
    for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

void Premultiply(const float* pixels, float* out) {
    for (int i = 0; i < 16; ++i) {
        const float a = Clamp01(pixels[i * 4 + 3]);
        for (int c = 0; c < 3; ++c) out[i * 4 + c] = Clamp01(pixels[i * 4 + c]) * a;
        out[i * 4 + 3] = a;
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

// The four colours of a colour block as words, then the 16 pixels.
inline void ColourWords(const std::uint8_t* block, std::uint32_t out[16]) {
    const std::uint16_t c0 = Load16(block), c1 = Load16(block + 2);
    const unsigned r0 = c0 >> 11, g0 = (c0 >> 5) & 63, b0 = c0 & 31;
    const unsigned r1 = c1 >> 11, g1 = (c1 >> 5) & 63, b1 = c1 & 31;
    auto word = [](unsigned r, unsigned g, unsigned b) { return 0xFF000000u | (r << 16) | (g << 8) | b; };
    std::uint32_t words[4];
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
    // The exact interpolants n / 7 and n / 5 are never halves (an even numerator over an odd denominator), so
    // integer rounding gives the float path's bytes.
    const unsigned a0 = block[0], a1 = block[1];
    std::uint32_t alpha[8] = {a0, a1};
    if (a0 > a1) {
        for (unsigned i = 1; i <= 6; ++i) alpha[i + 1] = (2 * ((7 - i) * a0 + i * a1) + 7) / 14;
    } else {
        for (unsigned i = 1; i <= 4; ++i) alpha[i + 1] = (2 * ((5 - i) * a0 + i * a1) + 5) / 10;
        alpha[6] = 0;
        alpha[7] = 255;
    }
    std::uint64_t bits = AlphaIndexBits(block + 2);
    for (int i = 0; i < 16; ++i, bits >>= 3) out[i] = (out[i] & 0x00FFFFFFu) | (alpha[bits & 7] << 24);
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

void EncodeDxt1(std::uint8_t* block, const float* pixels) { EncodeColour(block, pixels, true); }

void EncodeDxt3(std::uint8_t* block, const float* pixels) {
    EncodeExplicitAlpha(block, pixels);
    EncodeColour(block + 8, pixels, false);
}

void EncodeDxt5(std::uint8_t* block, const float* pixels) {
    EncodeInterpolatedAlpha(block, pixels);
    EncodeColour(block + 8, pixels, false);
}

void EncodeDxt2(std::uint8_t* block, const float* pixels) {
    float pre[64];
    Premultiply(pixels, pre);
    EncodeDxt3(block, pre);
}

void EncodeDxt4(std::uint8_t* block, const float* pixels) {
    float pre[64];
    Premultiply(pixels, pre);
    EncodeDxt5(block, pre);
}

}  // namespace tarn::texture::blocks
