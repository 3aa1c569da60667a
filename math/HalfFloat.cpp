// 16-bit float conversion. The format has no infinity or NaN: exponent 31 is an ordinary binade, overflow
// saturates to +-131008, and rounding is to nearest with ties to even. Packed kernels compute the same bits.
#include "HalfFloatKernels.h"
#include "ReferenceRoutines.h"

#if (defined(__x86_64__) || defined(__i386__)) && !defined(TARN_MATH_REFERENCE_ONLY)
#include <immintrin.h>
#define TARN_MATH_X86 1
#endif

namespace tarn::math::detail {

std::uint16_t HalfFromFloatBits(std::uint32_t b) {
    const std::uint32_t a = b & 0x7FFFFFFFu;
    const std::uint32_t s = (b >> 16) & 0x8000u;
    if (a > 0x47FFEFFFu) return static_cast<std::uint16_t>(s | 0x7FFFu);
    if (a > 0x387FFFFFu) {
        const std::uint32_t r = a - 0x38000000u + 0xFFFu + ((a >> 13) & 1u);
        return static_cast<std::uint16_t>((r >> 13) | s);
    }
    const std::uint32_t k = 113u - (a >> 23);
    std::uint32_t r = k >= 32u ? 0u : ((a & 0x7FFFFFu) | 0x800000u) >> k;
    r = r + 0xFFFu + ((r >> 13) & 1u);
    return static_cast<std::uint16_t>((r >> 13) | s);
}

std::uint32_t FloatBitsFromHalf(std::uint16_t h) {
    const std::uint32_t s = (h >> 15) & 1u, f = h & 0x3FFu, e = (h >> 10) & 0x1Fu;
    if (e != 0) return (s << 31) | ((e + 112u) << 23) | (f << 13);
    if (f == 0) return s << 31;
    std::uint32_t c = 0, m = f;
    while (!(m & 0x400u)) {
        m <<= 1;
        ++c;
    }
    return (s << 31) | ((113u - c) << 23) | ((m & 0x3FFu) << 13);
}

#if TARN_MATH_X86

// Float to half, four lanes. Below 2^-14 the formula shifts the 24-bit significand right by 113 - exponent,
// which is exactly floor(|x| * 2^37): the product is a power-of-two scaling and the truncating conversion floors.
static inline __m128i FloatToHalf4(__m128 x) {
    const __m128i b = _mm_castps_si128(x);
    const __m128i a = _mm_and_si128(b, _mm_set1_epi32(0x7FFFFFFF));
    const __m128i lsbMask = _mm_set1_epi32(1), round = _mm_set1_epi32(0xFFF);
    __m128i rn = _mm_add_epi32(_mm_sub_epi32(a, _mm_set1_epi32(0x38000000)), round);
    rn = _mm_srli_epi32(_mm_add_epi32(rn, _mm_and_si128(_mm_srli_epi32(a, 13), lsbMask)), 13);
    __m128i rd = _mm_cvttps_epi32(_mm_mul_ps(_mm_castsi128_ps(a), _mm_set1_ps(137438953472.0f)));
    rd = _mm_add_epi32(_mm_add_epi32(rd, round), _mm_and_si128(_mm_srli_epi32(rd, 13), lsbMask));
    rd = _mm_srli_epi32(rd, 13);
    const __m128i isNormal = _mm_cmpgt_epi32(a, _mm_set1_epi32(0x387FFFFF));
    const __m128i isSaturated = _mm_cmpgt_epi32(a, _mm_set1_epi32(0x47FFEFFF));
    __m128i r = _mm_or_si128(_mm_and_si128(isNormal, rn), _mm_andnot_si128(isNormal, rd));
    r = _mm_or_si128(_mm_andnot_si128(isSaturated, r), _mm_and_si128(isSaturated, _mm_set1_epi32(0x7FFF)));
    return r;  // magnitude codes 0..0x7FFF; the sign joins after packing
}

static inline __m128i HalfToFloat4(__m128i h) {
    const __m128i s = _mm_slli_epi32(_mm_and_si128(h, _mm_set1_epi32(0x8000)), 16);
    const __m128i mag = _mm_and_si128(h, _mm_set1_epi32(0x7FFF));
    const __m128i normal = _mm_add_epi32(_mm_slli_epi32(mag, 13), _mm_set1_epi32(112 << 23));
    // Exponent 0: f * 2^-24 is exact in float and gives +0 for f = 0.
    const __m128i denormal = _mm_castps_si128(_mm_mul_ps(_mm_cvtepi32_ps(mag), _mm_set1_ps(5.9604644775390625e-8f)));
    const __m128i isDenormal = _mm_cmplt_epi32(mag, _mm_set1_epi32(0x400));
    return _mm_or_si128(s, _mm_or_si128(_mm_and_si128(isDenormal, denormal), _mm_andnot_si128(isDenormal, normal)));
}

static std::size_t FloatToHalfBlocksSse2(std::uint16_t* out, const float* in, std::size_t n) {
    const std::size_t blocks = n & ~static_cast<std::size_t>(7);
    for (std::size_t i = 0; i < blocks; i += 8) {
        const __m128 x0 = _mm_loadu_ps(in + i), x1 = _mm_loadu_ps(in + i + 4);
        const __m128i mag = _mm_packs_epi32(FloatToHalf4(x0), FloatToHalf4(x1));
        const __m128i sign = _mm_packs_epi32(_mm_srai_epi32(_mm_castps_si128(x0), 16),
                                             _mm_srai_epi32(_mm_castps_si128(x1), 16));
        const __m128i r = _mm_or_si128(mag, _mm_and_si128(sign, _mm_set1_epi16(static_cast<short>(0x8000))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), r);
    }
    return blocks;
}

std::size_t HalfToFloatBlocksSse2(float* out, const std::uint16_t* in, std::size_t n) {
    const std::size_t blocks = n & ~static_cast<std::size_t>(7);
    const __m128i zero = _mm_setzero_si128();
    for (std::size_t i = 0; i < blocks; i += 8) {
        const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), HalfToFloat4(_mm_unpacklo_epi16(h, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), HalfToFloat4(_mm_unpackhi_epi16(h, zero)));
    }
    return blocks;
}

void FloatToHalf4Elements(std::uint16_t* out, const float* in) {
    const __m128 x = _mm_loadu_ps(in);
    const __m128i sign = _mm_and_si128(_mm_srli_epi32(_mm_castps_si128(x), 16), _mm_set1_epi32(0x8000));
    alignas(16) std::uint32_t r[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(r), _mm_or_si128(FloatToHalf4(x), sign));
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint16_t>(r[i]);
}

void HalfToFloat4Elements(float* out, const std::uint16_t* in) {
    const __m128i h = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), HalfToFloat4(_mm_unpacklo_epi16(h, _mm_setzero_si128())));
}

#define TARN_AVX2 __attribute__((target("avx2")))

// The wide kernels fold both ranges into one rounding step: below 2^-14 the value to round is floor(|x| * 2^37),
// above it the rebiased bits a - 0x38000000 (bit 13 is the same in both forms). Results above 0x7FFF are
// exactly the magnitudes from 131040 up, so an unsigned minimum saturates them.
TARN_AVX2 static inline __m256i FloatToHalf8(__m256 x) {
    const __m256i b = _mm256_castps_si256(x);
    const __m256i a = _mm256_and_si256(b, _mm256_set1_epi32(0x7FFFFFFF));
    const __m256i tn = _mm256_sub_epi32(a, _mm256_set1_epi32(0x38000000));
    const __m256i td = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_castsi256_ps(a), _mm256_set1_ps(137438953472.0f)));
    const __m256i isDenormal = _mm256_cmpgt_epi32(_mm256_set1_epi32(0x38800000), a);
    const __m256i t = _mm256_blendv_epi8(tn, td, isDenormal);
    __m256i r = _mm256_add_epi32(_mm256_add_epi32(t, _mm256_set1_epi32(0xFFF)),
                                 _mm256_and_si256(_mm256_srli_epi32(t, 13), _mm256_set1_epi32(1)));
    r = _mm256_min_epu32(_mm256_srli_epi32(r, 13), _mm256_set1_epi32(0x7FFF));
    return _mm256_or_si256(r, _mm256_and_si256(_mm256_srli_epi32(b, 16), _mm256_set1_epi32(0x8000)));
}

constexpr std::size_t kStreamingThreshold = 1 << 18;  // elements; well past the second-level cache

#define TARN_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl")))

// GCC 12's AVX-512 headers trip -Wmaybe-uninitialized on their own placeholder operands.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

TARN_AVX512 static inline __m512i FloatToHalf16(__m512i b) {
    const __m512i a = _mm512_and_si512(b, _mm512_set1_epi32(0x7FFFFFFF));
    const __m512i tn = _mm512_sub_epi32(a, _mm512_set1_epi32(0x38000000));
    const __m512i td = _mm512_cvttps_epi32(_mm512_mul_ps(_mm512_castsi512_ps(a), _mm512_set1_ps(137438953472.0f)));
    const __m512i t = _mm512_mask_blend_epi32(_mm512_cmplt_epi32_mask(a, _mm512_set1_epi32(0x38800000)), tn, td);
    __m512i r = _mm512_add_epi32(_mm512_add_epi32(t, _mm512_set1_epi32(0xFFF)),
                                 _mm512_and_si512(_mm512_srli_epi32(t, 13), _mm512_set1_epi32(1)));
    r = _mm512_min_epu32(_mm512_srli_epi32(r, 13), _mm512_set1_epi32(0x7FFF));
    return _mm512_or_si512(r, _mm512_and_si512(_mm512_srli_epi32(b, 16), _mm512_set1_epi32(0x8000)));
}

// 32 elements per step: two sets of codes packed (exactly: they fit 16 bits) and put back in order.
TARN_AVX512 static std::size_t FloatToHalfBlocksAvx512(std::uint16_t* out, const float* in, std::size_t n) {
    const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    std::size_t i = 0;
    if (n >= kStreamingThreshold && (reinterpret_cast<std::uintptr_t>(out) & 1) == 0) {
        // Large arrays: bring the output to a cache-line boundary, then write around the caches, which saves
        // reading every output line before it is overwritten.
        for (; (reinterpret_cast<std::uintptr_t>(out + i) & 63) != 0; ++i) out[i] = HalfFromFloatBits(FloatBits(in[i]));
        for (; i + 32 <= n; i += 32) {
            const __m512i lo = FloatToHalf16(_mm512_loadu_si512(in + i));
            const __m512i hi = FloatToHalf16(_mm512_loadu_si512(in + i + 16));
            _mm512_stream_si512(reinterpret_cast<__m512i*>(out + i), _mm512_permutexvar_epi64(order, _mm512_packus_epi32(lo, hi)));
        }
        _mm_sfence();
    }
    for (; i + 32 <= n; i += 32) {
        const __m512i lo = FloatToHalf16(_mm512_loadu_si512(in + i));
        const __m512i hi = FloatToHalf16(_mm512_loadu_si512(in + i + 16));
        _mm512_storeu_si512(out + i, _mm512_permutexvar_epi64(order, _mm512_packus_epi32(lo, hi)));
    }
    for (; i + 16 <= n; i += 16)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm512_cvtepi32_epi16(FloatToHalf16(_mm512_loadu_si512(in + i))));
    return i;
}
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

TARN_AVX2 static std::size_t FloatToHalfBlocksAvx2(std::uint16_t* out, const float* in, std::size_t n) {
    const std::size_t blocks = n & ~static_cast<std::size_t>(15);
    for (std::size_t i = 0; i < blocks; i += 16) {
        const __m256i lo = FloatToHalf8(_mm256_loadu_ps(in + i));
        const __m256i hi = FloatToHalf8(_mm256_loadu_ps(in + i + 8));
        // Codes are at most 0xFFFF, so the unsigned pack is exact; it interleaves 128-bit lanes.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(lo, hi), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), packed);
    }
    return blocks;
}

TARN_AVX2 static std::size_t HalfToFloatBlocksAvx2(float* out, const std::uint16_t* in, std::size_t n) {
    const std::size_t blocks = n & ~static_cast<std::size_t>(7);
    for (std::size_t i = 0; i < blocks; i += 8) {
        const __m256i h = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)));
        const __m256i s = _mm256_slli_epi32(_mm256_and_si256(h, _mm256_set1_epi32(0x8000)), 16);
        const __m256i mag = _mm256_and_si256(h, _mm256_set1_epi32(0x7FFF));
        const __m256i normal = _mm256_add_epi32(_mm256_slli_epi32(mag, 13), _mm256_set1_epi32(112 << 23));
        const __m256i denormal =
            _mm256_castps_si256(_mm256_mul_ps(_mm256_cvtepi32_ps(mag), _mm256_set1_ps(5.9604644775390625e-8f)));
        const __m256i isNormal = _mm256_cmpgt_epi32(mag, _mm256_set1_epi32(0x3FF));
        const __m256i r = _mm256_or_si256(s, _mm256_blendv_epi8(denormal, normal, isNormal));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), r);
    }
    return blocks;
}

static bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
static bool HasAvx512() {
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vl");
    return has;
}

std::size_t FloatToHalfBlocks(std::uint16_t* out, const float* in, std::size_t n) {
    if (HasAvx512()) return FloatToHalfBlocksAvx512(out, in, n);
    return HasAvx2() ? FloatToHalfBlocksAvx2(out, in, n) : FloatToHalfBlocksSse2(out, in, n);
}

std::size_t HalfToFloatBlocks(float* out, const std::uint16_t* in, std::size_t n) {
    return HasAvx2() ? HalfToFloatBlocksAvx2(out, in, n) : HalfToFloatBlocksSse2(out, in, n);
}

std::size_t FloatToHalfBlocksWith(HalfKernel kernel, std::uint16_t* out, const float* in, std::size_t n) {
    switch (kernel) {
    case HalfKernel::Sse2: return FloatToHalfBlocksSse2(out, in, n);
    case HalfKernel::Avx2: return HasAvx2() ? FloatToHalfBlocksAvx2(out, in, n) : 0;
    case HalfKernel::Avx512: return HasAvx512() ? FloatToHalfBlocksAvx512(out, in, n) : 0;
    }
    return 0;
}

std::size_t HalfToFloatBlocksWith(HalfKernel kernel, float* out, const std::uint16_t* in, std::size_t n) {
    switch (kernel) {
    case HalfKernel::Sse2: return HalfToFloatBlocksSse2(out, in, n);
    case HalfKernel::Avx2: return HasAvx2() ? HalfToFloatBlocksAvx2(out, in, n) : 0;
    case HalfKernel::Avx512: return 0;
    }
    return 0;
}

#else

std::size_t FloatToHalfBlocks(std::uint16_t*, const float*, std::size_t) { return 0; }
std::size_t HalfToFloatBlocks(float*, const std::uint16_t*, std::size_t) { return 0; }
std::size_t FloatToHalfBlocksWith(HalfKernel, std::uint16_t*, const float*, std::size_t) { return 0; }
std::size_t HalfToFloatBlocksWith(HalfKernel, float*, const std::uint16_t*, std::size_t) { return 0; }
std::size_t HalfToFloatBlocksSse2(float*, const std::uint16_t*, std::size_t) { return 0; }
void FloatToHalf4Elements(std::uint16_t* out, const float* in) {
    for (int i = 0; i < 4; ++i) out[i] = HalfFromFloatBits(FloatBits(in[i]));
}
void HalfToFloat4Elements(float* out, const std::uint16_t* in) {
    for (int i = 0; i < 4; ++i) out[i] = BitsFloat(FloatBitsFromHalf(in[i]));
}

#endif

}  // namespace tarn::math::detail

namespace tarn::math::reference {

using namespace tarn::math::detail;

D3DXFLOAT16* D3DXFloat32To16Array(D3DXFLOAT16* o, const FLOAT* in, UINT n) {
    auto* out = reinterpret_cast<std::uint16_t*>(o);
    std::size_t i = FloatToHalfBlocks(out, in, n);
    for (; i < n; ++i) out[i] = HalfFromFloatBits(FloatBits(in[i]));
    return o;
}

FLOAT* D3DXFloat16To32Array(FLOAT* o, const D3DXFLOAT16* in, UINT n) {
    const auto* h = reinterpret_cast<const std::uint16_t*>(in);
    std::size_t i = HalfToFloatBlocks(o, h, n);
    for (; i < n; ++i) o[i] = BitsFloat(FloatBitsFromHalf(h[i]));
    return o;
}

}  // namespace tarn::math::reference
