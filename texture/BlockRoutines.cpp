// The block codec's routine sets and the choice among them: the reference (plain C++), SSE2 (x86-64's baseline:
// the colour encoder's sums, nearest-colour search and one-channel candidate errors, the nearest-alpha search),
// SSSE3 (adds block decoding: the colour palettes of four blocks at once, the alpha palette and indices in
// registers, rows by byte shuffles) and AVX (the colour encoder's routines eight pixels a register, in
// BlockRoutinesAvx.cpp; the rest in the three-operand encoding). AVX2 adds the two-colour fit in 256-bit
// registers (BlockTwoColourFit.cpp) and DXT5 rows two blocks a register. Chosen once, at first use.
#include "BlockRoutines.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "BlockCodecBlocks.h"
#include "BlockRoutinesAvx.h"
#include "BlockTwoColourFit.h"

#if defined(__x86_64__) && !defined(TARN_TEXTURE_REFERENCE_ONLY)
#include <emmintrin.h>
#include <immintrin.h>
#include <tmmintrin.h>

#include "BlockGather.h"
#define TARN_TEXTURE_X86 1
#endif

namespace tarn::texture::blocks {

namespace {

inline float LaneSum(const float v[4]) { return (v[0] + v[1]) + (v[2] + v[3]); }

void GatherColoursReference(const float* pixels, bool dxt1, ColourPoints& p, std::uint8_t alpha[16]) {
    for (int i = 0; i < 16; ++i) {
        float c[4];
        for (int k = 0; k < 4; ++k) {
            const float v = pixels[4 * i + k] > 0.0f ? pixels[4 * i + k] : 0.0f;
            c[k] = (v < 1.0f ? v : 1.0f) * 255.0f;
        }
        p.r[i] = c[0], p.g[i] = c[1], p.b[i] = c[2];
        p.w[i] = !dxt1 || c[3] >= 127.5f ? 1.0f : 0.0f;
        alpha[i] = static_cast<std::uint8_t>(static_cast<int>(c[3] + 0.5f));
    }
}

float ColourMomentsReference(const ColourPoints& p, float mean[3], float cov[6]) {
    float n4[4] = {}, r4[4] = {}, g4[4] = {}, b4[4] = {};
    for (int i = 0; i < 16; i += 4)
        for (int l = 0; l < 4; ++l) {
            const float w = p.w[i + l];
            n4[l] += w, r4[l] += w * p.r[i + l], g4[l] += w * p.g[i + l], b4[l] += w * p.b[i + l];
        }
    const float n = LaneSum(n4);
    const float inv = n > 0 ? 1.0f / n : 0.0f;
    mean[0] = LaneSum(r4) * inv, mean[1] = LaneSum(g4) * inv, mean[2] = LaneSum(b4) * inv;
    float c4[6][4] = {};
    for (int i = 0; i < 16; i += 4)
        for (int l = 0; l < 4; ++l) {
            const float w = p.w[i + l];
            const float dr = p.r[i + l] - mean[0], dg = p.g[i + l] - mean[1], db = p.b[i + l] - mean[2];
            const float wr = w * dr, wg = w * dg, wb = w * db;
            c4[0][l] += wr * dr, c4[1][l] += wr * dg, c4[2][l] += wr * db;
            c4[3][l] += wg * dg, c4[4][l] += wg * db, c4[5][l] += wb * db;
        }
    for (int k = 0; k < 6; ++k) cov[k] = LaneSum(c4[k]);
    return n;
}

void AxisRangeReference(const ColourPoints& p, const float mean[3], const float axis[3], float& lo, float& hi) {
    float lo4[4] = {INFINITY, INFINITY, INFINITY, INFINITY}, hi4[4] = {-INFINITY, -INFINITY, -INFINITY, -INFINITY};
    for (int i = 0; i < 16; i += 4)
        for (int l = 0; l < 4; ++l) {
            const float t = ((p.r[i + l] - mean[0]) * axis[0] + (p.g[i + l] - mean[1]) * axis[1]) +
                            (p.b[i + l] - mean[2]) * axis[2];
            const bool counts = p.w[i + l] != 0.0f;
            const float tl = counts ? t : INFINITY, th = counts ? t : -INFINITY;
            lo4[l] = tl < lo4[l] ? tl : lo4[l];
            hi4[l] = th > hi4[l] ? th : hi4[l];
        }
    LaneRange(lo4, hi4, lo, hi);
}

void EndpointSumsReference(const ColourPoints& p, const std::uint8_t index[16], const float share[4], float sums[9]) {
    float acc[9][4] = {};
    for (int i = 0; i < 16; i += 4)
        for (int l = 0; l < 4; ++l) {
            const float w = p.w[i + l];
            const float s = share[index[i + l]] * w, t = w - s;
            acc[0][l] += s * s, acc[1][l] += s * t, acc[2][l] += t * t;
            acc[3][l] += s * p.r[i + l], acc[4][l] += s * p.g[i + l], acc[5][l] += s * p.b[i + l];
            acc[6][l] += t * p.r[i + l], acc[7][l] += t * p.g[i + l], acc[8][l] += t * p.b[i + l];
        }
    for (int k = 0; k < 9; ++k) sums[k] = LaneSum(acc[k]);
}

float NearestColoursReference(const ColourPoints& p, const ColourPalette4& pal, std::uint8_t index[16]) {
    float lane[4] = {0, 0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        float best = 0;
        int bestIndex = 0;
        for (int k = 0; k < 4; ++k) {
            const float dr = p.r[i] - pal.r[k], dg = p.g[i] - pal.g[k], db = p.b[i] - pal.b[k];
            const float d = (dr * dr + dg * dg) + db * db;
            if (k == 0 || d < best) best = d, bestIndex = k;
        }
        index[i] = static_cast<std::uint8_t>(bestIndex);
        lane[i & 3] += best * p.w[i];
    }
    return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

void ChannelErrorsReference(const ColourPoints& p, const ColourPalette4& pal, int channel, const float (*values)[4],
                            int count, float* errors) {
    const float *x, *o1, *o2, *p1, *p2;
    SplitChannels(p, pal, channel, x, o1, o2, p1, p2);
    float other[16][4];
    for (int i = 0; i < 16; ++i)
        for (int k = 0; k < 4; ++k) {
            const float d1 = o1[i] - p1[k], d2 = o2[i] - p2[k];
            other[i][k] = d1 * d1 + d2 * d2;
        }
    for (int n = 0; n < count; ++n) {
        float lane[4] = {0, 0, 0, 0};
        for (int i = 0; i < 16; ++i) {
            float best = 0;
            for (int k = 0; k < 4; ++k) {
                const float dx = x[i] - values[n][k];
                const float d = other[i][k] + dx * dx;
                best = k == 0 || d < best ? d : best;
            }
            lane[i & 3] += best * p.w[i];
        }
        errors[n] = (lane[0] + lane[1]) + (lane[2] + lane[3]);
    }
}

int NearestAlphasReference(const std::uint8_t alpha[16], const std::uint16_t twice[8], std::uint8_t index[16]) {
    int sum = 0;
    for (int i = 0; i < 16; ++i) {
        int best = 1 << 20, bestIndex = 0;
        for (int k = 0; k < 8; ++k) {
            const int d = std::abs(2 * alpha[i] - twice[k]);
            if (d < best) best = d, bestIndex = k;
        }
        index[i] = static_cast<std::uint8_t>(bestIndex);
        sum += best * best;
    }
    return sum;
}

void ExplicitAlphaReference(const float* pixels, const float* offsets, std::uint8_t block[8]) {
    std::uint8_t q[16];
    for (int i = 0; i < 16; ++i) {
        float v = pixels[4 * i + 3] * 15.0f;
        v = v > 0.0f ? v : 0.0f;
        v = v < 15.0f ? v : 15.0f;
        v += offsets != nullptr ? offsets[i] : 0.5f;
        q[i] = static_cast<std::uint8_t>(static_cast<int>(v < 15.0f ? v : 15.0f));
    }
    for (int i = 0; i < 8; ++i) block[i] = static_cast<std::uint8_t>(q[2 * i] | (q[2 * i + 1] << 4));
}

void DecodeColourRowReference(const std::uint8_t* source, std::size_t blockStride, std::size_t blocks,
                              std::uint8_t* dest, std::size_t destPitch) {
    std::uint32_t words[16];
    for (std::size_t b = 0; b < blocks; ++b, source += blockStride, dest += 16) {
        DecodeDxt1Argb8(source, words);
        for (int r = 0; r < 4; ++r) std::memcpy(dest + r * destPitch, words + 4 * r, 16);
    }
}

void DecodeDxt5RowReference(const std::uint8_t* source, std::size_t blocks, std::uint8_t* dest, std::size_t destPitch) {
    std::uint32_t words[16];
    for (std::size_t b = 0; b < blocks; ++b, source += 16, dest += 16) {
        DecodeDxt5Argb8(source, words);
        for (int r = 0; r < 4; ++r) std::memcpy(dest + r * destPitch, words + 4 * r, 16);
    }
}

void DecodeDxt3RowReference(const std::uint8_t* source, std::size_t blocks, std::uint8_t* dest, std::size_t destPitch) {
    std::uint32_t words[16];
    for (std::size_t b = 0; b < blocks; ++b, source += 16, dest += 16) {
        DecodeDxt3Argb8(source, words);
        for (int r = 0; r < 4; ++r) std::memcpy(dest + r * destPitch, words + 4 * r, 16);
    }
}

constexpr BlockRoutineTable kReference = {GatherColoursReference,   ColourMomentsReference,  AxisRangeReference,
                                          EndpointSumsReference,    NearestColoursReference, ChannelErrorsReference,
                                          NearestAlphasReference,   ExplicitAlphaReference,  FitTwoColoursReference,
                                          DecodeColourRowReference, DecodeDxt5RowReference,  DecodeDxt3RowReference};

#if TARN_TEXTURE_X86

#define TARN_ALWAYS_INLINE __attribute__((always_inline)) inline

TARN_ALWAYS_INLINE float LaneSum(__m128 v) {
    alignas(16) float lane[4];
    _mm_store_ps(lane, v);
    return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

TARN_ALWAYS_INLINE void GatherColoursSimd(const float* pixels, bool dxt1, ColourPoints& p, std::uint8_t alpha[16]) {
    __m128 channel[4][4];
    GatherGroups(pixels, dxt1, channel, alpha);
    float* out[4] = {p.r, p.g, p.b, p.w};
    for (int c = 0; c < 4; ++c)
        for (int g = 0; g < 4; ++g) _mm_store_ps(out[c] + 4 * g, channel[g][c]);
}

TARN_ALWAYS_INLINE float ColourMomentsSimd(const ColourPoints& p, float mean[3], float cov[6]) {
    __m128 n = _mm_setzero_ps(), r = n, gr = n, b = n;
    for (int g = 0; g < 4; ++g) {
        const __m128 w = _mm_load_ps(p.w + 4 * g);
        n = _mm_add_ps(n, w);
        r = _mm_add_ps(r, _mm_mul_ps(w, _mm_load_ps(p.r + 4 * g)));
        gr = _mm_add_ps(gr, _mm_mul_ps(w, _mm_load_ps(p.g + 4 * g)));
        b = _mm_add_ps(b, _mm_mul_ps(w, _mm_load_ps(p.b + 4 * g)));
    }
    const float count = LaneSum(n);
    const float inv = count > 0 ? 1.0f / count : 0.0f;
    mean[0] = LaneSum(r) * inv, mean[1] = LaneSum(gr) * inv, mean[2] = LaneSum(b) * inv;
    const __m128 mr = _mm_set1_ps(mean[0]), mg = _mm_set1_ps(mean[1]), mb = _mm_set1_ps(mean[2]);
    __m128 c[6];
    for (auto& v : c) v = _mm_setzero_ps();
    for (int g = 0; g < 4; ++g) {
        const __m128 w = _mm_load_ps(p.w + 4 * g);
        const __m128 dr = _mm_sub_ps(_mm_load_ps(p.r + 4 * g), mr), dg = _mm_sub_ps(_mm_load_ps(p.g + 4 * g), mg);
        const __m128 db = _mm_sub_ps(_mm_load_ps(p.b + 4 * g), mb);
        const __m128 wr = _mm_mul_ps(w, dr), wg = _mm_mul_ps(w, dg), wb = _mm_mul_ps(w, db);
        c[0] = _mm_add_ps(c[0], _mm_mul_ps(wr, dr)), c[1] = _mm_add_ps(c[1], _mm_mul_ps(wr, dg));
        c[2] = _mm_add_ps(c[2], _mm_mul_ps(wr, db)), c[3] = _mm_add_ps(c[3], _mm_mul_ps(wg, dg));
        c[4] = _mm_add_ps(c[4], _mm_mul_ps(wg, db)), c[5] = _mm_add_ps(c[5], _mm_mul_ps(wb, db));
    }
    for (int k = 0; k < 6; ++k) cov[k] = LaneSum(c[k]);
    return count;
}

TARN_ALWAYS_INLINE void AxisRangeSimd(const ColourPoints& p, const float mean[3], const float axis[3], float& lo,
                                      float& hi) {
    const __m128 inf = _mm_set1_ps(INFINITY), ninf = _mm_set1_ps(-INFINITY), zero = _mm_setzero_ps();
    __m128 l = inf, h = ninf;
    for (int g = 0; g < 4; ++g) {
        const __m128 x = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(p.r + 4 * g), _mm_set1_ps(mean[0])), _mm_set1_ps(axis[0]));
        const __m128 y = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(p.g + 4 * g), _mm_set1_ps(mean[1])), _mm_set1_ps(axis[1]));
        const __m128 z = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(p.b + 4 * g), _mm_set1_ps(mean[2])), _mm_set1_ps(axis[2]));
        const __m128 t = _mm_add_ps(_mm_add_ps(x, y), z);
        const __m128 counts = _mm_cmpneq_ps(_mm_load_ps(p.w + 4 * g), zero);
        const __m128 tl = _mm_or_ps(_mm_and_ps(counts, t), _mm_andnot_ps(counts, inf));
        const __m128 th = _mm_or_ps(_mm_and_ps(counts, t), _mm_andnot_ps(counts, ninf));
        l = _mm_min_ps(tl, l);  // tl < l ? tl : l
        h = _mm_max_ps(th, h);  // th > h ? th : h
    }
    alignas(16) float lo4[4], hi4[4];
    _mm_store_ps(lo4, l);
    _mm_store_ps(hi4, h);
    LaneRange(lo4, hi4, lo, hi);
}

TARN_ALWAYS_INLINE void EndpointSumsSimd(const ColourPoints& p, const std::uint8_t index[16], const float share[4],
                                         float sums[9]) {
    __m128 acc[9];
    for (auto& v : acc) v = _mm_setzero_ps();
    for (int g = 0; g < 4; ++g) {
        const std::uint8_t* q = index + 4 * g;
        const __m128 w = _mm_load_ps(p.w + 4 * g);
        const __m128 s = _mm_mul_ps(_mm_setr_ps(share[q[0]], share[q[1]], share[q[2]], share[q[3]]), w);
        const __m128 t = _mm_sub_ps(w, s);
        const __m128 r = _mm_load_ps(p.r + 4 * g), gr = _mm_load_ps(p.g + 4 * g), b = _mm_load_ps(p.b + 4 * g);
        acc[0] = _mm_add_ps(acc[0], _mm_mul_ps(s, s)), acc[1] = _mm_add_ps(acc[1], _mm_mul_ps(s, t));
        acc[2] = _mm_add_ps(acc[2], _mm_mul_ps(t, t));
        acc[3] = _mm_add_ps(acc[3], _mm_mul_ps(s, r)), acc[4] = _mm_add_ps(acc[4], _mm_mul_ps(s, gr));
        acc[5] = _mm_add_ps(acc[5], _mm_mul_ps(s, b));
        acc[6] = _mm_add_ps(acc[6], _mm_mul_ps(t, r)), acc[7] = _mm_add_ps(acc[7], _mm_mul_ps(t, gr));
        acc[8] = _mm_add_ps(acc[8], _mm_mul_ps(t, b));
    }
    for (int k = 0; k < 9; ++k) sums[k] = LaneSum(acc[k]);
}

TARN_ALWAYS_INLINE float NearestColoursSimd(const ColourPoints& p, const ColourPalette4& pal, std::uint8_t index[16]) {
    // The palette broadcast once, outside the loop over groups of four pixels.
    __m128 pr[4], pg[4], pb[4];
    __m128i kk[4];
    for (int k = 0; k < 4; ++k)
        pr[k] = _mm_set1_ps(pal.r[k]), pg[k] = _mm_set1_ps(pal.g[k]), pb[k] = _mm_set1_ps(pal.b[k]),
        kk[k] = _mm_set1_epi32(k);
    __m128 acc = _mm_setzero_ps();
    for (int g = 0; g < 4; ++g) {
        const __m128 r = _mm_load_ps(p.r + 4 * g), gr = _mm_load_ps(p.g + 4 * g), b = _mm_load_ps(p.b + 4 * g);
        __m128 best = _mm_setzero_ps();
        __m128i bestIndex = _mm_setzero_si128();
        for (int k = 0; k < 4; ++k) {
            const __m128 dr = _mm_sub_ps(r, pr[k]), dg = _mm_sub_ps(gr, pg[k]), db = _mm_sub_ps(b, pb[k]);
            const __m128 d = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dr, dr), _mm_mul_ps(dg, dg)), _mm_mul_ps(db, db));
            if (k == 0) {
                best = d;
                continue;
            }
            const __m128i less = _mm_castps_si128(_mm_cmplt_ps(d, best));
            best = _mm_min_ps(d, best);  // d where d < best, else best: the lowest index among equals
            bestIndex = _mm_or_si128(_mm_andnot_si128(less, bestIndex), _mm_and_si128(less, kk[k]));
        }
        acc = _mm_add_ps(acc, _mm_mul_ps(best, _mm_load_ps(p.w + 4 * g)));
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(bestIndex, bestIndex), _mm_setzero_si128());
        const int four = _mm_cvtsi128_si32(packed);
        std::memcpy(index + 4 * g, &four, 4);
    }
    alignas(16) float lane[4];
    _mm_store_ps(lane, acc);
    return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

TARN_ALWAYS_INLINE void ChannelErrorsSimd(const ColourPoints& p, const ColourPalette4& pal, int channel,
                                          const float (*values)[4], int count, float* errors) {
    const float *x, *o1, *o2, *p1, *p2;
    SplitChannels(p, pal, channel, x, o1, o2, p1, p2);
    __m128 other[4][4];
    for (int g = 0; g < 4; ++g) {
        const __m128 a = _mm_load_ps(o1 + 4 * g), b = _mm_load_ps(o2 + 4 * g);
        for (int k = 0; k < 4; ++k) {
            const __m128 d1 = _mm_sub_ps(a, _mm_set1_ps(p1[k])), d2 = _mm_sub_ps(b, _mm_set1_ps(p2[k]));
            other[g][k] = _mm_add_ps(_mm_mul_ps(d1, d1), _mm_mul_ps(d2, d2));
        }
    }
    const __m128 xs[4] = {_mm_load_ps(x), _mm_load_ps(x + 4), _mm_load_ps(x + 8), _mm_load_ps(x + 12)};
    const __m128 ws[4] = {_mm_load_ps(p.w), _mm_load_ps(p.w + 4), _mm_load_ps(p.w + 8), _mm_load_ps(p.w + 12)};
    for (int n = 0; n < count; ++n) {
        const __m128 v[4] = {_mm_set1_ps(values[n][0]), _mm_set1_ps(values[n][1]), _mm_set1_ps(values[n][2]),
                             _mm_set1_ps(values[n][3])};
        __m128 acc = _mm_setzero_ps();
        for (int g = 0; g < 4; ++g) {
            __m128 best = _mm_setzero_ps();
            for (int k = 0; k < 4; ++k) {
                const __m128 dx = _mm_sub_ps(xs[g], v[k]);
                const __m128 d = _mm_add_ps(other[g][k], _mm_mul_ps(dx, dx));
                best = k == 0 ? d : _mm_min_ps(d, best);  // d where d < best, else best
            }
            acc = _mm_add_ps(acc, _mm_mul_ps(best, ws[g]));
        }
        errors[n] = LaneSum(acc);
    }
}

// The 16 alphas doubled in two registers of 16-bit lanes: absolute differences, the running least and its
// index by compares, and the squares summed by multiply-add.
TARN_ALWAYS_INLINE int NearestAlphasSimd(const std::uint8_t alpha[16], const std::uint16_t twice[8],
                                         std::uint8_t index[16]) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha));
    const __m128i zero = _mm_setzero_si128();
    __m128i a[2] = {_mm_unpacklo_epi8(bytes, zero), _mm_unpackhi_epi8(bytes, zero)};
    a[0] = _mm_add_epi16(a[0], a[0]), a[1] = _mm_add_epi16(a[1], a[1]);
    __m128i best[2] = {_mm_set1_epi16(0x7FFF), _mm_set1_epi16(0x7FFF)}, bestIndex[2] = {zero, zero};
    for (int k = 0; k < 8; ++k) {
        const __m128i p = _mm_set1_epi16(static_cast<short>(twice[k])), kk = _mm_set1_epi16(static_cast<short>(k));
        for (int h = 0; h < 2; ++h) {
            const __m128i diff = _mm_sub_epi16(a[h], p);
            const __m128i d = _mm_max_epi16(diff, _mm_sub_epi16(zero, diff));
            const __m128i less = _mm_cmplt_epi16(d, best[h]);
            best[h] = _mm_min_epi16(d, best[h]);
            bestIndex[h] = _mm_or_si128(_mm_andnot_si128(less, bestIndex[h]), _mm_and_si128(less, kk));
        }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(index), _mm_packus_epi16(bestIndex[0], bestIndex[1]));
    __m128i sum = _mm_add_epi32(_mm_madd_epi16(best[0], best[0]), _mm_madd_epi16(best[1], best[1]));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(sum);
}

// Four pixels' alphas at a time, picked out of their pixels by two shuffles, scaled, clamped, offset and
// truncated; the 4-bit values packed two a byte in 16-bit lanes (the second's in the high nibble).
TARN_ALWAYS_INLINE void ExplicitAlphaSimd(const float* pixels, const float* offsets, std::uint8_t block[8]) {
    const __m128 zero = _mm_setzero_ps(), fifteen = _mm_set1_ps(15.0f), half = _mm_set1_ps(0.5f);
    __m128i q[4];
    for (int g = 0; g < 4; ++g) {
        const float* px = pixels + 16 * g;
        // (a0, a0, a1, a1) and (a2, a2, a3, a3), then (a0, a1, a2, a3).
        const __m128 low = _mm_shuffle_ps(_mm_loadu_ps(px), _mm_loadu_ps(px + 4), _MM_SHUFFLE(3, 3, 3, 3));
        const __m128 high = _mm_shuffle_ps(_mm_loadu_ps(px + 8), _mm_loadu_ps(px + 12), _MM_SHUFFLE(3, 3, 3, 3));
        const __m128 a = _mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0));
        // max(x, 0) gives 0 for NaN, as the second operand wins when either is NaN.
        __m128 v = _mm_min_ps(_mm_max_ps(_mm_mul_ps(a, fifteen), zero), fifteen);
        v = _mm_add_ps(v, offsets != nullptr ? _mm_loadu_ps(offsets + 4 * g) : half);
        q[g] = _mm_cvttps_epi32(_mm_min_ps(v, fifteen));
    }
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3]));
    const __m128i pairs = _mm_or_si128(_mm_and_si128(bytes, _mm_set1_epi16(0x000F)),
                                       _mm_and_si128(_mm_srli_epi16(bytes, 4), _mm_set1_epi16(0x00F0)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(block), _mm_packus_epi16(pairs, pairs));
}

// The SSSE3 decoders' parts are always inlined, so that the AVX set's copies of the decoders (the same code,
// encoded with three-operand instructions) compile them for AVX as well.
#define TARN_SSSE3_INLINE __attribute__((target("ssse3"), always_inline)) inline

// Byte-shuffle masks that pick the 4-byte palette words named by one row's four 2-bit indices.
struct RowMasks {
    alignas(16) std::uint8_t mask[256][16];
    RowMasks() {
        for (int v = 0; v < 256; ++v)
            for (int x = 0; x < 4; ++x)
                for (int c = 0; c < 4; ++c)
                    mask[v][4 * x + c] = static_cast<std::uint8_t>(4 * ((v >> (2 * x)) & 3) + c);
    }
};
const RowMasks kRowMasks;

// One block's four rows from its palette words: each row's index byte picks the shuffle mask of its four pixels.
// With `alpha` (each pixel's alpha in its top byte, the rest 0), each row's alpha bytes replace the palette's.
TARN_SSSE3_INLINE void StoreColourRows(__m128i palette, const std::uint8_t* indices, std::uint8_t* dest,
                                       std::size_t destPitch, const __m128i* alpha) {
    if (alpha != nullptr) palette = _mm_and_si128(palette, _mm_set1_epi32(0x00FFFFFF));
    for (int r = 0; r < 4; ++r) {
        const __m128i mask = _mm_load_si128(reinterpret_cast<const __m128i*>(kRowMasks.mask[indices[r]]));
        __m128i row = _mm_shuffle_epi8(palette, mask);
        if (alpha != nullptr) row = _mm_or_si128(row, alpha[r]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + r * destPitch), row);
    }
}

TARN_SSSE3_INLINE __m128i ScalarPalette(const std::uint8_t* block) {
    alignas(16) std::uint32_t words[4];
    ColourPaletteWords(block, words);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(words));
}

// Swaps the two 16-bit halves of each 32-bit lane.
TARN_ALWAYS_INLINE __m128i SwapPairs(__m128i v) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1)), _MM_SHUFFLE(2, 3, 0, 1));
}

// n * 255 / 31 and n * 255 / 63 rounded, for the 5-bit endpoints and the thirds (n = 2a + b up to 93 and 189):
// floor((170 n + 31) / 62) and floor((170 n + 63) / 126) from the exact products (x * 0x421) >> 16 and
// (x * 0x1041) >> 19, which match both divisions over their whole ranges; `k` is 510 for endpoints, 170 for
// thirds.
//
// The multipliers `k` pass through an empty asm statement, so that the compiler keeps the one multiply rather
// than expanding it into shifts and adds (three operations for one).
TARN_ALWAYS_INLINE __m128i Opaque(__m128i v) {
    asm("" : "+x"(v));
    return v;
}
TARN_ALWAYS_INLINE __m128i FiveToByte(__m128i n, short k) {
    return _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(n, Opaque(_mm_set1_epi16(k))), _mm_set1_epi16(31)),
                           _mm_set1_epi16(0x421));
}
TARN_ALWAYS_INLINE __m128i SixToByte(__m128i n, short k) {
    const __m128i x = _mm_add_epi16(_mm_mullo_epi16(n, Opaque(_mm_set1_epi16(k))), _mm_set1_epi16(63));
    return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(0x1041)), 3);
}

// The four-colour palettes of four colour blocks whose endpoint words (colour 0 | colour 1 << 16) fill the
// 32-bit lanes of `ends`, as the words ColourPaletteWords gives. Returns a bit per block in the three-colour
// mode, whose palette the caller takes from ColourPaletteWords instead.
TARN_SSSE3_INLINE int FourColourPalettes(__m128i ends, __m128i palette[4]) {
    const __m128i r = _mm_srli_epi16(ends, 11), g = _mm_and_si128(_mm_srli_epi16(ends, 5), _mm_set1_epi16(63));
    const __m128i b = _mm_and_si128(ends, _mm_set1_epi16(31));
    // Entries 0 and 1 in the even and odd 16-bit lanes; entries 2 and 3 from 2 c0 + c1 and 2 c1 + c0.
    const __m128i r3 = _mm_add_epi16(_mm_add_epi16(r, r), SwapPairs(r));
    const __m128i g3 = _mm_add_epi16(_mm_add_epi16(g, g), SwapPairs(g));
    const __m128i b3 = _mm_add_epi16(_mm_add_epi16(b, b), SwapPairs(b));
    const __m128i opaque = _mm_set1_epi16(static_cast<short>(0xFF00));
    const __m128i eLo = _mm_or_si128(_mm_slli_epi16(SixToByte(g, 510), 8), FiveToByte(b, 510));
    const __m128i eHi = _mm_or_si128(FiveToByte(r, 510), opaque);
    const __m128i tLo = _mm_or_si128(_mm_slli_epi16(SixToByte(g3, 170), 8), FiveToByte(b3, 170));
    const __m128i tHi = _mm_or_si128(FiveToByte(r3, 170), opaque);
    const __m128i e01 = _mm_unpacklo_epi16(eLo, eHi), e23 = _mm_unpackhi_epi16(eLo, eHi);
    const __m128i t01 = _mm_unpacklo_epi16(tLo, tHi), t23 = _mm_unpackhi_epi16(tLo, tHi);
    palette[0] = _mm_unpacklo_epi64(e01, t01), palette[1] = _mm_unpackhi_epi64(e01, t01);
    palette[2] = _mm_unpacklo_epi64(e23, t23), palette[3] = _mm_unpackhi_epi64(e23, t23);
    const __m128i four = _mm_cmpgt_epi32(_mm_and_si128(ends, _mm_set1_epi32(0xFFFF)), _mm_srli_epi32(ends, 16));
    return ~_mm_movemask_ps(_mm_castsi128_ps(four)) & 15;
}

TARN_ALWAYS_INLINE std::uint32_t Load32At(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

struct NoAlpha {
    const __m128i* operator()(const std::uint8_t*, __m128i*) const { return nullptr; }
};

// Four blocks at a time: the palettes in SIMD, then each block's rows.
template <typename Alpha>
TARN_SSSE3_INLINE void DecodeColourBlocks(const std::uint8_t* source, std::size_t blockStride, std::size_t blocks,
                                          std::uint8_t* dest, std::size_t destPitch, Alpha alpha) {
    std::size_t b = 0;
    for (; b + 4 <= blocks; b += 4, source += 4 * blockStride, dest += 64) {
        // Gathered register by register: a gather through memory stalls on the store.
        auto end = [&](int k) { return _mm_cvtsi32_si128(static_cast<int>(Load32At(source + k * blockStride))); };
        const __m128i ends = _mm_unpacklo_epi64(_mm_unpacklo_epi32(end(0), end(1)), _mm_unpacklo_epi32(end(2), end(3)));
        __m128i palette[4];
        if (const int three = FourColourPalettes(ends, palette))
            for (int k = 0; k < 4; ++k)
                if (three & (1 << k)) palette[k] = ScalarPalette(source + k * blockStride);
        for (int k = 0; k < 4; ++k) {
            const std::uint8_t* block = source + k * blockStride;
            __m128i rows[4];
            StoreColourRows(palette[k], block + 4, dest + 16 * k, destPitch, alpha(block, rows));
        }
    }
    for (; b < blocks; ++b, source += blockStride, dest += 16) {
        __m128i rows[4];
        StoreColourRows(ScalarPalette(source), source + 4, dest, destPitch, alpha(source, rows));
    }
}

__attribute__((target("ssse3"))) void DecodeColourRowSsse3(const std::uint8_t* source, std::size_t blockStride,
                                                           std::size_t blocks, std::uint8_t* dest,
                                                           std::size_t destPitch) {
    DecodeColourBlocks(source, blockStride, blocks, dest, destPitch, NoAlpha{});
}

// The eight alphas of an interpolated-alpha block, as AlphaPaletteBytes gives them, in the low 8 bytes: the
// mode's doubled weighted sums 2 ((7 - i) a0 + i a1) or 2 ((5 - i) a0 + i a1) by one byte multiply-add over the
// pair (a0, a1), rounded and divided by 14 or 10 as (x * 0x124A) >> 16 or (x * 0x199A) >> 16 (exact over the
// numerators' ranges, up to 3577 and 2557), with 0 and 255 in the six-value mode's last entries. The mode
// (a0 > a1) is taken from the bytes and picks its constants from a table, so that only one mode is computed.
struct AlphaModeConstants {
    alignas(16) std::int8_t weights[16];
    alignas(16) std::int16_t round[8], divide[8], fixed[8];
};
alignas(16) constexpr AlphaModeConstants kAlphaModes[2] = {
    {{10, 0, 0, 10, 8, 2, 6, 4, 4, 6, 2, 8, 0, 0, 0, 0},
     {5, 5, 5, 5, 5, 5, 5, 5},
     {0x199A, 0x199A, 0x199A, 0x199A, 0x199A, 0x199A, 0x199A, 0x199A},
     {0, 0, 0, 0, 0, 0, 0, 255}},
    {{14, 0, 0, 14, 12, 2, 10, 4, 8, 6, 6, 8, 4, 10, 2, 12},
     {7, 7, 7, 7, 7, 7, 7, 7},
     {0x124A, 0x124A, 0x124A, 0x124A, 0x124A, 0x124A, 0x124A, 0x124A},
     {0, 0, 0, 0, 0, 0, 0, 0}},
};

TARN_SSSE3_INLINE __m128i AlphaPaletteBytesSimd(__m128i block, const std::uint8_t* bytes) {
    const AlphaModeConstants& mode = kAlphaModes[bytes[0] > bytes[1]];
    auto load = [](const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); };
    const __m128i pairs = _mm_shuffle_epi8(block, _mm_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1));
    const __m128i sums = _mm_add_epi16(_mm_maddubs_epi16(pairs, load(mode.weights)), load(mode.round));
    const __m128i alpha = _mm_or_si128(_mm_mulhi_epu16(sums, load(mode.divide)), load(mode.fixed));
    return _mm_packus_epi16(alpha, alpha);
}

// The alpha rows of the DXT5 block whose colour block is at `colour`, each alpha in its pixel's top byte.
struct Dxt5Alpha {
    TARN_SSSE3_INLINE const __m128i* operator()(const std::uint8_t* colour, __m128i* rows) const {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(colour - 8));
        const __m128i palette = AlphaPaletteBytesSimd(block, colour - 8);
        // Each 3-bit index from the 16 bits that hold it: pixel i's lane reads bytes 2 + 3 i / 8 and the next,
        // and a multiply by 1 << (13 - 3 i % 8) moves its bits to the top three, which the shift by 13 brings
        // down. The lanes hold the pixels column by column (0, 4, 8, 12, 1, 5, ...), so that after the palette
        // lookup each 32-bit lane holds one column's alphas, row r in byte r, and each row's alphas reach
        // their pixels' top bytes by shifts alone.
        const __m128i g0 = _mm_shuffle_epi8(block, _mm_setr_epi8(2, 3, 3, 4, 5, 6, 6, 7, 2, 3, 3, 4, 5, 6, 6, 7));
        const __m128i g1 = _mm_shuffle_epi8(block, _mm_setr_epi8(2, 3, 4, 5, 5, 6, 7, 8, 3, 4, 4, 5, 6, 7, 7, 8));
        const __m128i i0 =
            _mm_srli_epi16(_mm_mullo_epi16(g0, _mm_setr_epi16(8192, 512, 8192, 512, 1024, 64, 1024, 64)), 13);
        const __m128i i1 =
            _mm_srli_epi16(_mm_mullo_epi16(g1, _mm_setr_epi16(128, 2048, 128, 2048, 4096, 256, 4096, 256)), 13);
        const __m128i columns = _mm_shuffle_epi8(palette, _mm_packus_epi16(i0, i1));
        rows[0] = _mm_slli_epi32(columns, 24);
        rows[1] = _mm_slli_epi32(_mm_srli_epi32(columns, 8), 24);
        rows[2] = _mm_slli_epi32(_mm_srli_epi32(columns, 16), 24);
        rows[3] = _mm_and_si128(columns, _mm_set1_epi32(static_cast<int>(0xFF000000u)));
        return rows;
    }
};

// Per row r: the shifts that bring pixel (x, r)'s colour index to the bottom of its lane (for two blocks, one
// in each 128-bit half), and the byte shuffles that move row r's alphas to their pixels' top bytes, the other
// bytes 0, from the two layouts the alphas come in: by column (column x's lane holds its rows in bytes 0-3) and
// by pixel (pixel i in byte i).
struct PairRowConstants {
    alignas(32) std::int32_t shifts[4][8];
    alignas(32) std::int8_t byColumn[4][32];
    alignas(32) std::int8_t byPixel[4][32];
};
constexpr PairRowConstants MakePairRows() {
    PairRowConstants rows{};
    for (int r = 0; r < 4; ++r) {
        for (int i = 0; i < 8; ++i) rows.shifts[r][i] = 2 * (4 * r + i % 4);
        for (int i = 0; i < 32; ++i) {
            const int x = i % 16 / 4;
            rows.byColumn[r][i] = static_cast<std::int8_t>(i % 4 == 3 ? 4 * x + r : -128);
            rows.byPixel[r][i] = static_cast<std::int8_t>(i % 4 == 3 ? 4 * r + x : -128);
        }
    }
    return rows;
}
alignas(32) constexpr PairRowConstants kPairRows = MakePairRows();

// n * 255 / 15 = 17 n for each 4-bit alpha n, as a byte shuffle's table.
alignas(16) constexpr std::uint8_t kFourBitAlphas[16] = {0,   17,  34,  51,  68,  85,  102, 119,
                                                         136, 153, 170, 187, 204, 221, 238, 255};

// The alphas of the DXT3 block whose first eight bytes are those of `bytes`, in pixel order: the nibbles of each
// byte, low first, to their bytes.
TARN_SSSE3_INLINE __m128i ExplicitAlphas(__m128i bytes) {
    const __m128i low = _mm_set1_epi8(15);
    const __m128i nibbles = _mm_unpacklo_epi8(_mm_and_si128(bytes, low), _mm_and_si128(_mm_srli_epi16(bytes, 4), low));
    return _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(kFourBitAlphas)), nibbles);
}

// The alpha rows of the DXT3 block whose colour block is at `colour`, each alpha in its pixel's top byte.
struct Dxt3Alpha {
    TARN_SSSE3_INLINE const __m128i* operator()(const std::uint8_t* colour, __m128i* rows) const {
        const __m128i alphas = ExplicitAlphas(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(colour - 8)));
        for (int r = 0; r < 4; ++r)
            rows[r] = _mm_shuffle_epi8(alphas, _mm_load_si128(reinterpret_cast<const __m128i*>(kPairRows.byPixel[r])));
        return rows;
    }
};

__attribute__((target("ssse3"))) void DecodeDxt3RowSsse3(const std::uint8_t* source, std::size_t blocks,
                                                         std::uint8_t* dest, std::size_t destPitch) {
    DecodeColourBlocks(source + 8, 16, blocks, dest, destPitch, Dxt3Alpha{});
}

__attribute__((target("ssse3"))) void DecodeDxt5RowSsse3(const std::uint8_t* source, std::size_t blocks,
                                                         std::uint8_t* dest, std::size_t destPitch) {
    DecodeColourBlocks(source + 8, 16, blocks, dest, destPitch, Dxt5Alpha{});
}

// AVX2: DXT1, DXT3 and DXT5 rows two blocks a register, one block in each 128-bit half (every step but the
// gather works within its half). The colour palettes of eight blocks at once, as FourColourPalettes makes four;
// each row's colours picked by a lane permute whose selectors are the index word shifted, as only each lane's
// low two bits select; the alphas as Dxt3Alpha and Dxt5Alpha make them, DXT5's with the modes' constants of both
// blocks in one table entry.
#define TARN_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

TARN_AVX2_INLINE __m256i Load256(const void* p) { return _mm256_load_si256(static_cast<const __m256i*>(p)); }

// kAlphaModes for a pair of blocks: entry m holds the first block's mode (m & 1) in its low half and the
// second's (m >> 1) in its high half.
struct AlphaPairConstants {
    alignas(32) std::int8_t weights[32];
    alignas(32) std::int16_t round[16], divide[16], fixed[16];
};
constexpr AlphaPairConstants AlphaPair(int m) {
    AlphaPairConstants pair{};
    for (int h = 0; h < 2; ++h) {
        const AlphaModeConstants& mode = kAlphaModes[(m >> h) & 1];
        for (int i = 0; i < 16; ++i) pair.weights[16 * h + i] = mode.weights[i];
        for (int i = 0; i < 8; ++i) {
            pair.round[8 * h + i] = mode.round[i];
            pair.divide[8 * h + i] = mode.divide[i];
            pair.fixed[8 * h + i] = mode.fixed[i];
        }
    }
    return pair;
}
alignas(32) constexpr AlphaPairConstants kAlphaPairs[4] = {AlphaPair(0), AlphaPair(1), AlphaPair(2), AlphaPair(3)};

// The alphas of the DXT5 blocks held in `blocks`, in the column layout, as Dxt5Alpha makes them; `modes` has
// bit 0 set where the first block has a0 > a1 and bit 1 where the second has.
TARN_AVX2_INLINE __m256i InterpolatedAlphaPair(__m256i blocks, unsigned modes) {
    const AlphaPairConstants& mode = kAlphaPairs[modes];
    const __m256i pairs = _mm256_shuffle_epi8(
        blocks, _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1)));
    const __m256i sums = _mm256_add_epi16(_mm256_maddubs_epi16(pairs, Load256(mode.weights)), Load256(mode.round));
    const __m256i alpha = _mm256_or_si256(_mm256_mulhi_epu16(sums, Load256(mode.divide)), Load256(mode.fixed));
    const __m256i alphas = _mm256_packus_epi16(alpha, alpha);
    const __m256i g0 = _mm256_shuffle_epi8(
        blocks, _mm256_broadcastsi128_si256(_mm_setr_epi8(2, 3, 3, 4, 5, 6, 6, 7, 2, 3, 3, 4, 5, 6, 6, 7)));
    const __m256i g1 = _mm256_shuffle_epi8(
        blocks, _mm256_broadcastsi128_si256(_mm_setr_epi8(2, 3, 4, 5, 5, 6, 7, 8, 3, 4, 4, 5, 6, 7, 7, 8)));
    const __m256i i0 = _mm256_srli_epi16(
        _mm256_mullo_epi16(g0, _mm256_broadcastsi128_si256(_mm_setr_epi16(8192, 512, 8192, 512, 1024, 64, 1024, 64))),
        13);
    const __m256i i1 = _mm256_srli_epi16(
        _mm256_mullo_epi16(g1, _mm256_broadcastsi128_si256(_mm_setr_epi16(128, 2048, 128, 2048, 4096, 256, 4096, 256))),
        13);
    return _mm256_shuffle_epi8(alphas, _mm256_packus_epi16(i0, i1));
}

// The alphas of the DXT3 blocks held in `blocks`, in pixel order, as ExplicitAlphas makes them.
TARN_AVX2_INLINE __m256i ExplicitAlphaPair(__m256i blocks) {
    const __m256i low = _mm256_set1_epi8(15);
    const __m256i nibbles =
        _mm256_unpacklo_epi8(_mm256_and_si256(blocks, low), _mm256_and_si256(_mm256_srli_epi16(blocks, 4), low));
    return _mm256_shuffle_epi8(
        _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kFourBitAlphas))), nibbles);
}

// Each block's colour index word, in every lane of its half.
TARN_AVX2_INLINE __m256i IndexWords(__m256i blocks) { return _mm256_shuffle_epi32(blocks, _MM_SHUFFLE(3, 3, 3, 3)); }

// Row r's colours of a pair of blocks whose palettes are `palettes` and whose index words fill the 32-bit lanes
// of `indices`.
TARN_AVX2_INLINE __m256i RowColours(__m256i palettes, __m256i indices, int r) {
    const __m256i select = _mm256_srlv_epi32(indices, Load256(kPairRows.shifts[r]));
    return _mm256_castps_si256(_mm256_permutevar_ps(_mm256_castsi256_ps(palettes), select));
}

// The four rows of a pair of blocks, as RowColours gives their colours (alpha bytes 0), with their alphas
// `alphas`, laid out as `alphaRows` takes them.
TARN_AVX2_INLINE void StorePairRows(__m256i palettes, __m256i indices, __m256i alphas,
                                    const std::int8_t (&alphaRows)[4][32], std::uint8_t* dest, std::size_t destPitch) {
    for (int r = 0; r < 4; ++r) {
        const __m256i row =
            _mm256_or_si256(RowColours(palettes, indices, r), _mm256_shuffle_epi8(alphas, Load256(alphaRows[r])));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest + r * destPitch), row);
    }
}

TARN_AVX2_INLINE __m256i Opaque(__m256i v) {
    asm("" : "+x"(v));
    return v;
}
// One byte shuffle, where the 128-bit SwapPairs takes two.
TARN_AVX2_INLINE __m256i SwapPairs256(__m256i v) {
    return _mm256_shuffle_epi8(
        v, _mm256_broadcastsi128_si256(_mm_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13)));
}
TARN_AVX2_INLINE __m256i FiveToByte256(__m256i n, short k) {
    return _mm256_mulhi_epu16(
        _mm256_add_epi16(_mm256_mullo_epi16(n, Opaque(_mm256_set1_epi16(k))), _mm256_set1_epi16(31)),
        _mm256_set1_epi16(0x421));
}
TARN_AVX2_INLINE __m256i SixToByte256(__m256i n, short k) {
    const __m256i x = _mm256_add_epi16(_mm256_mullo_epi16(n, Opaque(_mm256_set1_epi16(k))), _mm256_set1_epi16(63));
    return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(0x1041)), 3);
}

// FourColourPalettes for eight blocks, with alpha bytes `alpha` (0xFF or 0): palette[k] holds the palette of
// the block in lane k of the low half of `ends` in its low half, and that of the block in lane k of the high half
// in its high half. Returns a bit per lane (low half first) whose block is in the three-colour mode.
TARN_AVX2_INLINE int EightColourPalettes(__m256i ends, std::uint8_t alpha, __m256i palette[4]) {
    const __m256i r = _mm256_srli_epi16(ends, 11);
    const __m256i g = _mm256_and_si256(_mm256_srli_epi16(ends, 5), _mm256_set1_epi16(63));
    const __m256i b = _mm256_and_si256(ends, _mm256_set1_epi16(31));
    const __m256i r3 = _mm256_add_epi16(_mm256_add_epi16(r, r), SwapPairs256(r));
    const __m256i g3 = _mm256_add_epi16(_mm256_add_epi16(g, g), SwapPairs256(g));
    const __m256i b3 = _mm256_add_epi16(_mm256_add_epi16(b, b), SwapPairs256(b));
    const __m256i eLo = _mm256_or_si256(_mm256_slli_epi16(SixToByte256(g, 510), 8), FiveToByte256(b, 510));
    const __m256i alphas = _mm256_set1_epi16(static_cast<short>(alpha << 8));
    const __m256i eHi = _mm256_or_si256(FiveToByte256(r, 510), alphas);
    const __m256i tLo = _mm256_or_si256(_mm256_slli_epi16(SixToByte256(g3, 170), 8), FiveToByte256(b3, 170));
    const __m256i tHi = _mm256_or_si256(FiveToByte256(r3, 170), alphas);
    const __m256i e01 = _mm256_unpacklo_epi16(eLo, eHi), e23 = _mm256_unpackhi_epi16(eLo, eHi);
    const __m256i t01 = _mm256_unpacklo_epi16(tLo, tHi), t23 = _mm256_unpackhi_epi16(tLo, tHi);
    palette[0] = _mm256_unpacklo_epi64(e01, t01), palette[1] = _mm256_unpackhi_epi64(e01, t01);
    palette[2] = _mm256_unpacklo_epi64(e23, t23), palette[3] = _mm256_unpackhi_epi64(e23, t23);
    const __m256i four =
        _mm256_cmpgt_epi32(_mm256_and_si256(ends, _mm256_set1_epi32(0xFFFF)), _mm256_srli_epi32(ends, 16));
    return ~_mm256_movemask_ps(_mm256_castsi256_ps(four)) & 255;
}

// For the decoders below, whose eight blocks lie `stride` bytes apart from `first` (pairs of neighbours in the
// palette registers): replaces the palette of each block EightColourPalettes found in the three-colour mode with
// ScalarPalette's, its words masked by `mask`.
TARN_AVX2_INLINE void ThreeColourPalettes(int three, const std::uint8_t* first, std::size_t stride, std::uint32_t mask,
                                          __m256i palettes[4]) {
    for (int k = 0; k < 8; ++k)
        if (three & (1 << k)) {
            const int block = k < 4 ? 2 * k : 2 * (k - 4) + 1;  // lane k holds block 2k, lane 4 + k block 2k + 1
            const __m128i scalar =
                _mm_and_si128(ScalarPalette(first + stride * block), _mm_set1_epi32(static_cast<int>(mask)));
            __m256i& p = palettes[block / 2];
            p = block % 2 ? _mm256_inserti128_si256(p, scalar, 1) : _mm256_inserti128_si256(p, scalar, 0);
        }
}

// DXT5 (`interpolated`) or DXT3 rows, eight blocks at a time.
template <bool interpolated>
TARN_AVX2_INLINE void DecodeAlphaBlockRows(const std::uint8_t* source, std::size_t blocks, std::uint8_t* dest,
                                           std::size_t destPitch) {
    std::size_t b = 0;
    for (; b + 8 <= blocks; b += 8, source += 128, dest += 128) {
        // Pairs (0, 1), (2, 3), (4, 5), (6, 7); interleaved, the words of blocks 0, 2, 4, 6 fill the low halves and
        // those of 1, 3, 5, 7 the high, so that the palettes come out a pair in each register.
        const __m256i* in = reinterpret_cast<const __m256i*>(source);
        const __m256i p0 = _mm256_loadu_si256(in), p1 = _mm256_loadu_si256(in + 1);
        const __m256i p2 = _mm256_loadu_si256(in + 2), p3 = _mm256_loadu_si256(in + 3);
        const __m256i ends = _mm256_unpacklo_epi64(_mm256_unpackhi_epi32(p0, p1), _mm256_unpackhi_epi32(p2, p3));
        __m256i palettes[4];
        if (const int three = EightColourPalettes(ends, 0, palettes)) [[unlikely]]
            ThreeColourPalettes(three, source + 8, 16, 0x00FFFFFF, palettes);
        __m256i alphas[4];
        if constexpr (interpolated) {
            // The alpha modes (a0 > a1) of the eight blocks, in the lanes of `ends`.
            const __m256i a = _mm256_unpacklo_epi64(_mm256_unpacklo_epi32(p0, p1), _mm256_unpacklo_epi32(p2, p3));
            const __m256i byte = _mm256_set1_epi32(0xFF);
            const __m256i eight =
                _mm256_cmpgt_epi32(_mm256_and_si256(a, byte), _mm256_and_si256(_mm256_srli_epi32(a, 8), byte));
            const unsigned modes = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(eight)));
            auto pairModes = [modes](int k) {
                const unsigned m = (modes >> k) & 0x11;
                return (m | (m >> 3)) & 3;
            };
            alphas[0] = InterpolatedAlphaPair(p0, pairModes(0)), alphas[1] = InterpolatedAlphaPair(p1, pairModes(1));
            alphas[2] = InterpolatedAlphaPair(p2, pairModes(2)), alphas[3] = InterpolatedAlphaPair(p3, pairModes(3));
        } else {
            alphas[0] = ExplicitAlphaPair(p0), alphas[1] = ExplicitAlphaPair(p1);
            alphas[2] = ExplicitAlphaPair(p2), alphas[3] = ExplicitAlphaPair(p3);
        }
        const auto& alphaRows = interpolated ? kPairRows.byColumn : kPairRows.byPixel;
        StorePairRows(palettes[0], IndexWords(p0), alphas[0], alphaRows, dest, destPitch);
        StorePairRows(palettes[1], IndexWords(p1), alphas[1], alphaRows, dest + 32, destPitch);
        StorePairRows(palettes[2], IndexWords(p2), alphas[2], alphaRows, dest + 64, destPitch);
        StorePairRows(palettes[3], IndexWords(p3), alphas[3], alphaRows, dest + 96, destPitch);
    }
    // The last few blocks as the SSSE3 decoders take them.
    using Alpha = std::conditional_t<interpolated, Dxt5Alpha, Dxt3Alpha>;
    DecodeColourBlocks(source + 8, 16, blocks - b, dest, destPitch, Alpha{});
}

__attribute__((target("avx2"))) void DecodeDxt5RowAvx2(const std::uint8_t* source, std::size_t blocks,
                                                       std::uint8_t* dest, std::size_t destPitch) {
    DecodeAlphaBlockRows<true>(source, blocks, dest, destPitch);
}

__attribute__((target("avx2"))) void DecodeDxt3RowAvx2(const std::uint8_t* source, std::size_t blocks,
                                                       std::uint8_t* dest, std::size_t destPitch) {
    DecodeAlphaBlockRows<false>(source, blocks, dest, destPitch);
}

// The four rows of a pair of DXT1 blocks, as RowColours gives them.
TARN_AVX2_INLINE void StoreColourPair(__m256i palettes, __m256i indices, std::uint8_t* dest, std::size_t destPitch) {
    for (int r = 0; r < 4; ++r)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest + r * destPitch), RowColours(palettes, indices, r));
}

// AVX2: packed DXT1 rows (8-byte blocks) as the DXT5 rows, eight blocks at a time; other strides as the SSSE3
// decoder takes them.
__attribute__((target("avx2"))) void DecodeColourRowAvx2(const std::uint8_t* source, std::size_t blockStride,
                                                         std::size_t blocks, std::uint8_t* dest,
                                                         std::size_t destPitch) {
    std::size_t b = 0;
    if (blockStride == 8)
        for (; b + 8 <= blocks; b += 8, source += 64, dest += 128) {
            // Each register's four blocks to endpoints then indices, the even blocks' in the low half and the odd
            // blocks' in the high; then the endpoints of blocks 0, 2, 4, 6 and of 1, 3, 5, 7, and so the indices.
            const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
            const __m256i* in = reinterpret_cast<const __m256i*>(source);
            const __m256i q0 = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(in), order);
            const __m256i q1 = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(in + 1), order);
            const __m256i ends = _mm256_unpacklo_epi64(q0, q1), indices = _mm256_unpackhi_epi64(q0, q1);
            __m256i palettes[4];
            if (const int three = EightColourPalettes(ends, 0xFF, palettes)) [[unlikely]]
                ThreeColourPalettes(three, source, 8, 0xFFFFFFFF, palettes);
            StoreColourPair(palettes[0], _mm256_shuffle_epi32(indices, _MM_SHUFFLE(0, 0, 0, 0)), dest, destPitch);
            StoreColourPair(palettes[1], _mm256_shuffle_epi32(indices, _MM_SHUFFLE(1, 1, 1, 1)), dest + 32, destPitch);
            StoreColourPair(palettes[2], _mm256_shuffle_epi32(indices, _MM_SHUFFLE(2, 2, 2, 2)), dest + 64, destPitch);
            StoreColourPair(palettes[3], _mm256_shuffle_epi32(indices, _MM_SHUFFLE(3, 3, 3, 3)), dest + 96, destPitch);
        }
    DecodeColourBlocks(source, blockStride, blocks - b, dest, destPitch, NoAlpha{});
}

// The SSE2 routines, and for AVX the alpha routines and the decoders in their three-operand encoding
// (which spares register copies; the results are the same to the bit). The AVX set's colour routines work on
// eight pixels a register (BlockRoutinesAvx.cpp).
void GatherColoursSse2(const float* pixels, bool dxt1, ColourPoints& p, std::uint8_t alpha[16]) {
    GatherColoursSimd(pixels, dxt1, p, alpha);
}

float ColourMomentsSse2(const ColourPoints& p, float mean[3], float cov[6]) { return ColourMomentsSimd(p, mean, cov); }

void AxisRangeSse2(const ColourPoints& p, const float mean[3], const float axis[3], float& lo, float& hi) {
    AxisRangeSimd(p, mean, axis, lo, hi);
}

void EndpointSumsSse2(const ColourPoints& p, const std::uint8_t index[16], const float share[4], float sums[9]) {
    EndpointSumsSimd(p, index, share, sums);
}

float NearestColoursSse2(const ColourPoints& p, const ColourPalette4& pal, std::uint8_t index[16]) {
    return NearestColoursSimd(p, pal, index);
}

void ChannelErrorsSse2(const ColourPoints& p, const ColourPalette4& pal, int channel, const float (*values)[4],
                       int count, float* errors) {
    ChannelErrorsSimd(p, pal, channel, values, count, errors);
}

int NearestAlphasSse2(const std::uint8_t alpha[16], const std::uint16_t twice[8], std::uint8_t index[16]) {
    return NearestAlphasSimd(alpha, twice, index);
}
__attribute__((target("avx"))) int NearestAlphasAvx(const std::uint8_t alpha[16], const std::uint16_t twice[8],
                                                    std::uint8_t index[16]) {
    return NearestAlphasSimd(alpha, twice, index);
}

void ExplicitAlphaSse2(const float* pixels, const float* offsets, std::uint8_t block[8]) {
    ExplicitAlphaSimd(pixels, offsets, block);
}
__attribute__((target("avx"))) void ExplicitAlphaAvx(const float* pixels, const float* offsets, std::uint8_t block[8]) {
    ExplicitAlphaSimd(pixels, offsets, block);
}

__attribute__((target("avx"))) void DecodeColourRowAvx(const std::uint8_t* source, std::size_t blockStride,
                                                       std::size_t blocks, std::uint8_t* dest, std::size_t destPitch) {
    DecodeColourBlocks(source, blockStride, blocks, dest, destPitch, NoAlpha{});
}

__attribute__((target("avx"))) void DecodeDxt5RowAvx(const std::uint8_t* source, std::size_t blocks, std::uint8_t* dest,
                                                     std::size_t destPitch) {
    DecodeColourBlocks(source + 8, 16, blocks, dest, destPitch, Dxt5Alpha{});
}

__attribute__((target("avx"))) void DecodeDxt3RowAvx(const std::uint8_t* source, std::size_t blocks, std::uint8_t* dest,
                                                     std::size_t destPitch) {
    DecodeColourBlocks(source + 8, 16, blocks, dest, destPitch, Dxt3Alpha{});
}

constexpr BlockRoutineTable kSse2 = {GatherColoursSse2,        ColourMomentsSse2,      AxisRangeSse2,
                                     EndpointSumsSse2,         NearestColoursSse2,     ChannelErrorsSse2,
                                     NearestAlphasSse2,        ExplicitAlphaSse2,      FitTwoColoursReference,
                                     DecodeColourRowReference, DecodeDxt5RowReference, DecodeDxt3RowReference};
constexpr BlockRoutineTable kSsse3 = {GatherColoursSse2,    ColourMomentsSse2,  AxisRangeSse2,
                                      EndpointSumsSse2,     NearestColoursSse2, ChannelErrorsSse2,
                                      NearestAlphasSse2,    ExplicitAlphaSse2,  FitTwoColoursReference,
                                      DecodeColourRowSsse3, DecodeDxt5RowSsse3, DecodeDxt3RowSsse3};
constexpr BlockRoutineTable kAvx = {GatherColoursAvx,       ColourMomentsAvx,   AxisRangeAvx,     EndpointSumsAvx,
                                    NearestColoursAvx,      ChannelErrorsAvx,   NearestAlphasAvx, ExplicitAlphaAvx,
                                    FitTwoColoursReference, DecodeColourRowAvx, DecodeDxt5RowAvx, DecodeDxt3RowAvx};
constexpr BlockRoutineTable kAvx2 = {GatherColoursAvx,  ColourMomentsAvx,    AxisRangeAvx,      EndpointSumsAvx,
                                     NearestColoursAvx, ChannelErrorsAvx,    NearestAlphasAvx,  ExplicitAlphaAvx,
                                     FitTwoColoursAvx2, DecodeColourRowAvx2, DecodeDxt5RowAvx2, DecodeDxt3RowAvx2};

bool HasSsse3() { return __builtin_cpu_supports("ssse3"); }
bool HasAvx() { return __builtin_cpu_supports("avx"); }  // which also checks that the system saves the registers
bool HasAvx2() { return HasAvx() && __builtin_cpu_supports("avx2"); }

#endif

const BlockRoutineTable& Select() {
    const char* force = std::getenv("TARN_TEXTURE_REFERENCE");
    if (force != nullptr && std::strcmp(force, "1") == 0) return kReference;
    if (const BlockRoutineTable* t = BlockAvx2Set()) return *t;
    if (const BlockRoutineTable* t = BlockAvxSet()) return *t;
    if (const BlockRoutineTable* t = BlockSsse3Set()) return *t;
    if (const BlockRoutineTable* t = BlockSse2Set()) return *t;
    return kReference;
}

}  // namespace

const BlockRoutineTable& BlockRoutines() {
    static const BlockRoutineTable& table = Select();
    return table;
}

const BlockRoutineTable& BlockReferenceSet() { return kReference; }

const BlockRoutineTable* BlockSse2Set() {
#if TARN_TEXTURE_X86
    return &kSse2;
#else
    return nullptr;
#endif
}

const BlockRoutineTable* BlockSsse3Set() {
#if TARN_TEXTURE_X86
    return HasSsse3() ? &kSsse3 : nullptr;
#else
    return nullptr;
#endif
}

const BlockRoutineTable* BlockAvxSet() {
#if TARN_TEXTURE_X86
    return HasAvx() ? &kAvx : nullptr;
#else
    return nullptr;
#endif
}

const BlockRoutineTable* BlockAvx2Set() {
#if TARN_TEXTURE_X86
    return HasAvx2() ? &kAvx2 : nullptr;
#else
    return nullptr;
#endif
}

}  // namespace tarn::texture::blocks
