// The gather of a block's pixels that the SSE2 and AVX routine sets share (x86-64 only).
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace tarn::texture::blocks {

// The 16 pixels (four floats each, row by row) in four groups of four, each channel of a group in one register
// (`channel[group][r, g, b, weight]`): clamped to 0..1 (NaN to 0) and scaled to 0..255, the weight 1, or with
// `dxt1` 0 where the scaled alpha is below 127.5; `alpha` receives the scaled alphas rounded to bytes.
__attribute__((always_inline)) inline void GatherGroups(const float* pixels, bool dxt1, __m128 channel[4][4],
                                                        std::uint8_t alpha[16]) {
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), scale = _mm_set1_ps(255.0f);
    const __m128 half = _mm_set1_ps(127.5f), weight = dxt1 ? zero : one, round = _mm_set1_ps(0.5f);
    __m128i a[4];
    for (int g = 0; g < 4; ++g) {
        __m128 v[4];
        for (int k = 0; k < 4; ++k) {
            // max(x, 0) gives 0 for NaN, as the second operand wins when either is NaN.
            const __m128 x = _mm_loadu_ps(pixels + 16 * g + 4 * k);
            v[k] = _mm_mul_ps(_mm_min_ps(_mm_max_ps(x, zero), one), scale);
        }
        _MM_TRANSPOSE4_PS(v[0], v[1], v[2], v[3]);
        channel[g][0] = v[0], channel[g][1] = v[1], channel[g][2] = v[2];
        channel[g][3] = _mm_or_ps(weight, _mm_and_ps(_mm_cmpge_ps(v[3], half), one));
        a[g] = _mm_cvttps_epi32(_mm_add_ps(v[3], round));
    }
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a[0], a[1]), _mm_packs_epi32(a[2], a[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(alpha), bytes);
}

}  // namespace tarn::texture::blocks
