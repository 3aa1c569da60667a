// The colour encoder's routines for AVX: each block's 16 pixels in two 256-bit registers of eight, so that the
// per-pixel arithmetic takes half the instructions of the four-wide sets. Every sum is still taken in the
// reference's order: lane j of four accumulates pixels j, j + 4, j + 8 and j + 12 in turn, which are lane j of
// the low and the high half of the first register and then of the second; the four lanes are then summed as
// (0 + 1) + (2 + 3). The results are the reference's to the bit.
#include "BlockRoutinesAvx.h"

#if defined(__x86_64__) && !defined(TARN_TEXTURE_REFERENCE_ONLY)

#include <immintrin.h>

#include <cmath>
#include <cstdint>

#include "BlockGather.h"

#define TARN_AVX __attribute__((target("avx")))
#define TARN_AVX_INLINE __attribute__((target("avx"), always_inline)) inline

namespace tarn::texture::blocks {

namespace {

// Pixels 0-7 and 8-15 of one value, summed into four lanes in the reference's order (from 0, as the reference
// starts its lanes, so that a sum of negative zeros is a positive zero there too), then the lanes summed.
TARN_AVX_INLINE float PixelSum(__m256 low, __m256 high) {
    __m128 s = _mm_add_ps(_mm_setzero_ps(), _mm256_castps256_ps128(low));
    s = _mm_add_ps(s, _mm256_extractf128_ps(low, 1));
    s = _mm_add_ps(s, _mm256_castps256_ps128(high));
    s = _mm_add_ps(s, _mm256_extractf128_ps(high, 1));
    alignas(16) float lane[4];
    _mm_store_ps(lane, s);
    return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

TARN_AVX_INLINE __m256 Square(__m256 v) { return _mm256_mul_ps(v, v); }

}  // namespace

// As the SSE2 gather, four pixels at a time, but each channel stored eight floats at once: the routines below load
// eight at once, and a load that spans two earlier stores cannot take their data on its way to memory.
TARN_AVX void GatherColoursAvx(const float* pixels, bool dxt1, ColourPoints& p, std::uint8_t alpha[16]) {
    __m128 channel[4][4];
    GatherGroups(pixels, dxt1, channel, alpha);
    float* out[4] = {p.r, p.g, p.b, p.w};
    for (int c = 0; c < 4; ++c)
        for (int h = 0; h < 2; ++h)
            _mm256_store_ps(out[c] + 8 * h, _mm256_set_m128(channel[2 * h + 1][c], channel[2 * h][c]));
}

TARN_AVX float ColourMomentsAvx(const ColourPoints& p, float mean[3], float cov[6]) {
    __m256 w[2], r[2], g[2], b[2];
    for (int h = 0; h < 2; ++h)
        w[h] = _mm256_load_ps(p.w + 8 * h), r[h] = _mm256_load_ps(p.r + 8 * h), g[h] = _mm256_load_ps(p.g + 8 * h),
        b[h] = _mm256_load_ps(p.b + 8 * h);
    const float count = PixelSum(w[0], w[1]);
    const float inv = count > 0 ? 1.0f / count : 0.0f;
    mean[0] = PixelSum(_mm256_mul_ps(w[0], r[0]), _mm256_mul_ps(w[1], r[1])) * inv;
    mean[1] = PixelSum(_mm256_mul_ps(w[0], g[0]), _mm256_mul_ps(w[1], g[1])) * inv;
    mean[2] = PixelSum(_mm256_mul_ps(w[0], b[0]), _mm256_mul_ps(w[1], b[1])) * inv;
    const __m256 mr = _mm256_set1_ps(mean[0]), mg = _mm256_set1_ps(mean[1]), mb = _mm256_set1_ps(mean[2]);
    __m256 c[6][2];
    for (int h = 0; h < 2; ++h) {
        const __m256 dr = _mm256_sub_ps(r[h], mr), dg = _mm256_sub_ps(g[h], mg), db = _mm256_sub_ps(b[h], mb);
        const __m256 wr = _mm256_mul_ps(w[h], dr), wg = _mm256_mul_ps(w[h], dg), wb = _mm256_mul_ps(w[h], db);
        c[0][h] = _mm256_mul_ps(wr, dr), c[1][h] = _mm256_mul_ps(wr, dg), c[2][h] = _mm256_mul_ps(wr, db);
        c[3][h] = _mm256_mul_ps(wg, dg), c[4][h] = _mm256_mul_ps(wg, db), c[5][h] = _mm256_mul_ps(wb, db);
    }
    for (int k = 0; k < 6; ++k) cov[k] = PixelSum(c[k][0], c[k][1]);
    return count;
}

TARN_AVX void AxisRangeAvx(const ColourPoints& p, const float mean[3], const float axis[3], float& lo, float& hi) {
    const __m256 inf = _mm256_set1_ps(INFINITY), ninf = _mm256_set1_ps(-INFINITY), zero = _mm256_setzero_ps();
    __m128 l = _mm_set1_ps(INFINITY), u = _mm_set1_ps(-INFINITY);
    for (int h = 0; h < 2; ++h) {
        const __m256 x =
            _mm256_mul_ps(_mm256_sub_ps(_mm256_load_ps(p.r + 8 * h), _mm256_set1_ps(mean[0])), _mm256_set1_ps(axis[0]));
        const __m256 y =
            _mm256_mul_ps(_mm256_sub_ps(_mm256_load_ps(p.g + 8 * h), _mm256_set1_ps(mean[1])), _mm256_set1_ps(axis[1]));
        const __m256 z =
            _mm256_mul_ps(_mm256_sub_ps(_mm256_load_ps(p.b + 8 * h), _mm256_set1_ps(mean[2])), _mm256_set1_ps(axis[2]));
        const __m256 t = _mm256_add_ps(_mm256_add_ps(x, y), z);
        const __m256 counts = _mm256_cmp_ps(_mm256_load_ps(p.w + 8 * h), zero, _CMP_NEQ_UQ);
        const __m256 tl = _mm256_blendv_ps(inf, t, counts), th = _mm256_blendv_ps(ninf, t, counts);
        // Four pixels at a time in the reference's order; the new value first, so that a NaN keeps the old.
        l = _mm_min_ps(_mm256_castps256_ps128(tl), l), l = _mm_min_ps(_mm256_extractf128_ps(tl, 1), l);
        u = _mm_max_ps(_mm256_castps256_ps128(th), u), u = _mm_max_ps(_mm256_extractf128_ps(th, 1), u);
    }
    alignas(16) float lo4[4], hi4[4];
    _mm_store_ps(lo4, l);
    _mm_store_ps(hi4, u);
    LaneRange(lo4, hi4, lo, hi);
}

TARN_AVX void EndpointSumsAvx(const ColourPoints& p, const std::uint8_t index[16], const float share[4],
                              float sums[9]) {
    __m256 acc[9][2];
    for (int h = 0; h < 2; ++h) {
        const std::uint8_t* q = index + 8 * h;
        const __m256 w = _mm256_load_ps(p.w + 8 * h);
        const __m256 s = _mm256_mul_ps(_mm256_setr_ps(share[q[0]], share[q[1]], share[q[2]], share[q[3]], share[q[4]],
                                                      share[q[5]], share[q[6]], share[q[7]]),
                                       w);
        const __m256 t = _mm256_sub_ps(w, s);
        const __m256 r = _mm256_load_ps(p.r + 8 * h), g = _mm256_load_ps(p.g + 8 * h), b = _mm256_load_ps(p.b + 8 * h);
        acc[0][h] = _mm256_mul_ps(s, s), acc[1][h] = _mm256_mul_ps(s, t), acc[2][h] = _mm256_mul_ps(t, t);
        acc[3][h] = _mm256_mul_ps(s, r), acc[4][h] = _mm256_mul_ps(s, g), acc[5][h] = _mm256_mul_ps(s, b);
        acc[6][h] = _mm256_mul_ps(t, r), acc[7][h] = _mm256_mul_ps(t, g), acc[8][h] = _mm256_mul_ps(t, b);
    }
    for (int k = 0; k < 9; ++k) sums[k] = PixelSum(acc[k][0], acc[k][1]);
}

TARN_AVX float NearestColoursAvx(const ColourPoints& p, const ColourPalette4& pal, std::uint8_t index[16]) {
    __m256 pr[4], pg[4], pb[4], kk[4];
    for (int k = 0; k < 4; ++k)
        pr[k] = _mm256_set1_ps(pal.r[k]), pg[k] = _mm256_set1_ps(pal.g[k]), pb[k] = _mm256_set1_ps(pal.b[k]),
        kk[k] = _mm256_castsi256_ps(_mm256_set1_epi32(k));
    __m256 error[2];
    for (int h = 0; h < 2; ++h) {
        const __m256 r = _mm256_load_ps(p.r + 8 * h), g = _mm256_load_ps(p.g + 8 * h), b = _mm256_load_ps(p.b + 8 * h);
        __m256 best = _mm256_setzero_ps(), bestIndex = _mm256_setzero_ps();  // the index's bits, as 32-bit lanes
        for (int k = 0; k < 4; ++k) {
            const __m256 d =
                _mm256_add_ps(_mm256_add_ps(Square(_mm256_sub_ps(r, pr[k])), Square(_mm256_sub_ps(g, pg[k]))),
                              Square(_mm256_sub_ps(b, pb[k])));
            if (k == 0) {
                best = d;
                continue;
            }
            const __m256 less = _mm256_cmp_ps(d, best, _CMP_LT_OQ);
            best = _mm256_min_ps(d, best);  // d where d < best, else best: the lowest index among equals
            bestIndex = _mm256_or_ps(_mm256_andnot_ps(less, bestIndex), _mm256_and_ps(less, kk[k]));
        }
        error[h] = _mm256_mul_ps(best, _mm256_load_ps(p.w + 8 * h));
        const __m256i bits = _mm256_castps_si256(bestIndex);
        const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(bits), _mm256_extractf128_si256(bits, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(index + 8 * h), _mm_packus_epi16(words, words));
    }
    return PixelSum(error[0], error[1]);
}

TARN_AVX void ChannelErrorsAvx(const ColourPoints& p, const ColourPalette4& pal, int channel, const float (*values)[4],
                               int count, float* errors) {
    const float *x, *o1, *o2, *p1, *p2;
    SplitChannels(p, pal, channel, x, o1, o2, p1, p2);
    __m256 other[2][4], xs[2], ws[2];
    for (int h = 0; h < 2; ++h) {
        const __m256 a = _mm256_load_ps(o1 + 8 * h), b = _mm256_load_ps(o2 + 8 * h);
        for (int k = 0; k < 4; ++k)
            other[h][k] = _mm256_add_ps(Square(_mm256_sub_ps(a, _mm256_set1_ps(p1[k]))),
                                        Square(_mm256_sub_ps(b, _mm256_set1_ps(p2[k]))));
        xs[h] = _mm256_load_ps(x + 8 * h), ws[h] = _mm256_load_ps(p.w + 8 * h);
    }
    for (int n = 0; n < count; ++n) {
        const __m256 v[4] = {_mm256_set1_ps(values[n][0]), _mm256_set1_ps(values[n][1]), _mm256_set1_ps(values[n][2]),
                             _mm256_set1_ps(values[n][3])};
        __m256 error[2];
        for (int h = 0; h < 2; ++h) {
            __m256 best = _mm256_setzero_ps();
            for (int k = 0; k < 4; ++k) {
                const __m256 d = _mm256_add_ps(other[h][k], Square(_mm256_sub_ps(xs[h], v[k])));
                best = k == 0 ? d : _mm256_min_ps(d, best);  // d where d < best, else best
            }
            error[h] = _mm256_mul_ps(best, ws[h]);
        }
        errors[n] = PixelSum(error[0], error[1]);
    }
}

}  // namespace tarn::texture::blocks

#endif
