// Packed single-precision building blocks shared by the SSE, SSE2 and AMD sets (x86 builds only).
#pragma once

#if (defined(__x86_64__) || defined(__i386__)) && !defined(TARN_MATH_REFERENCE_ONLY)
#define TARN_MATH_SIMD 1
#include <immintrin.h>

#include <cstring>

#include "math/D3DXMath.h"

namespace tarn::math::simd {

// The loads and stores take any byte address: array elements sit at whatever stride the caller gives, which
// need not be a multiple of 4. The 64-bit integer and unaligned loads and stores have no alignment
// requirement, and the single third float goes through memcpy (the same one instruction) rather than a float
// pointer.
inline __m128 Load2(const void* p) {
    return _mm_castsi128_ps(_mm_loadl_epi64(static_cast<const __m128i*>(p)));
}
inline __m128 Load3(const void* p) {
    float z;
    std::memcpy(&z, static_cast<const unsigned char*>(p) + 8, sizeof z);
    return _mm_movelh_ps(Load2(p), _mm_set_ss(z));
}
inline __m128 Load4(const void* p) { return _mm_loadu_ps(static_cast<const float*>(p)); }
inline void Store2(void* p, __m128 v) { _mm_storel_epi64(static_cast<__m128i*>(p), _mm_castps_si128(v)); }
inline void Store3(void* p, __m128 v) {
    Store2(p, v);
    const float z = _mm_cvtss_f32(_mm_movehl_ps(v, v));
    std::memcpy(static_cast<unsigned char*>(p) + 8, &z, sizeof z);
}
inline void Store4(void* p, __m128 v) { _mm_storeu_ps(static_cast<float*>(p), v); }

template <int i>
inline __m128 Splat(__m128 v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(i, i, i, i));
}

struct Rows {
    __m128 r0, r1, r2, r3;
    explicit Rows(const D3DXMATRIX* m)
        : r0(Load4(&m->_11)), r1(Load4(&m->_21)), r2(Load4(&m->_31)), r3(Load4(&m->_41)) {}
};

// x*r0 + y*r1 + z*r2 + w*r3 with each of x, y, z, w given as a broadcast.
inline __m128 Combine(__m128 x, __m128 y, __m128 z, __m128 w, const Rows& m) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, m.r0), _mm_mul_ps(y, m.r1)),
                      _mm_add_ps(_mm_mul_ps(z, m.r2), _mm_mul_ps(w, m.r3)));
}
inline __m128 Point3(__m128 v, const Rows& m) {  // (x, y, z, 1) * m
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(Splat<0>(v), m.r0), _mm_mul_ps(Splat<1>(v), m.r1)),
                      _mm_add_ps(_mm_mul_ps(Splat<2>(v), m.r2), m.r3));
}
inline __m128 Point2(__m128 v, const Rows& m) {  // (x, y, 0, 1) * m
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(Splat<0>(v), m.r0), _mm_mul_ps(Splat<1>(v), m.r1)), m.r3);
}
inline __m128 Normal3(__m128 v, const Rows& m) {  // (x, y, z, 0) * m
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(Splat<0>(v), m.r0), _mm_mul_ps(Splat<1>(v), m.r1)),
                      _mm_mul_ps(Splat<2>(v), m.r2));
}
inline __m128 Normal2(__m128 v, const Rows& m) {  // (x, y, 0, 0) * m
    return _mm_add_ps(_mm_mul_ps(Splat<0>(v), m.r0), _mm_mul_ps(Splat<1>(v), m.r1));
}
inline __m128 Vector4(__m128 v, const Rows& m) {
    return Combine(Splat<0>(v), Splat<1>(v), Splat<2>(v), Splat<3>(v), m);
}

// Approximate reciprocal refined by one Newton step: 2 r0 - w r0^2.
inline __m128 ReciprocalNewton(__m128 w) {
    const __m128 r0 = _mm_rcp_ps(w);
    return _mm_sub_ps(_mm_add_ps(r0, r0), _mm_mul_ps(w, _mm_mul_ps(r0, r0)));
}
// Approximate reciprocal square root refined by one Newton step: (3 - r n r) (r / 2).
inline __m128 ReciprocalSqrtNewton(__m128 n) {
    const __m128 r = _mm_rsqrt_ps(n);
    return _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(3.0f), _mm_mul_ps(_mm_mul_ps(r, n), r)),
                      _mm_mul_ps(r, _mm_set1_ps(0.5f)));
}

// Sum of the four lanes, broadcast.
inline __m128 HorizontalSum(__m128 v) {
    const __m128 s = _mm_add_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_add_ps(s, _mm_shuffle_ps(s, s, _MM_SHUFFLE(1, 0, 3, 2)));
}
inline __m128 Dot3(__m128 a, __m128 b) {
    const __m128 p = _mm_mul_ps(a, b);
    return _mm_add_ps(_mm_add_ps(Splat<0>(p), Splat<1>(p)), Splat<2>(p));
}
inline __m128 Dot4(__m128 a, __m128 b) { return HorizontalSum(_mm_mul_ps(a, b)); }
inline __m128 Cross3(__m128 a, __m128 b) {
    const __m128 a1 = _mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 0, 2, 1)), b1 = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 0, 2, 1));
    const __m128 c = _mm_sub_ps(_mm_mul_ps(a, b1), _mm_mul_ps(a1, b));
    return _mm_shuffle_ps(c, c, _MM_SHUFFLE(3, 0, 2, 1));
}

// Four consecutive (x, y, z) triples (48 bytes) to and from the three registers X, Y, Z of their components.
inline void LoadPacked3x4(const float* p, __m128& x, __m128& y, __m128& z) {
    const __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + 4), c = _mm_loadu_ps(p + 8);  // x0y0z0x1 y1z1x2y2 z2x3y3z3
    const __m128 u = _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 1, 3, 2));                          // x2 y2 x3 y3
    x = _mm_shuffle_ps(a, u, _MM_SHUFFLE(2, 0, 3, 0));
    const __m128 v = _mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 2, 1));                          // y0 z0 y1 y1
    y = _mm_shuffle_ps(v, u, _MM_SHUFFLE(3, 1, 2, 0));
    const __m128 w1 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 1, 2, 2));                         // z0 z0 z1 z1
    const __m128 w2 = _mm_shuffle_ps(c, c, _MM_SHUFFLE(3, 3, 3, 0));                         // z2 z3 z3 z3
    z = _mm_shuffle_ps(w1, w2, _MM_SHUFFLE(1, 0, 2, 0));
}
inline void StorePacked3x4(float* p, __m128 x, __m128 y, __m128 z) {
    const __m128 xy01 = _mm_unpacklo_ps(x, y), xy23 = _mm_unpackhi_ps(x, y);  // x0y0x1y1, x2y2x3y3
    const __m128 t = _mm_shuffle_ps(z, xy01, _MM_SHUFFLE(2, 2, 0, 0));         // z0 z0 x1 x1
    const __m128 s = _mm_shuffle_ps(xy01, z, _MM_SHUFFLE(1, 1, 3, 3));         // y1 y1 z1 z1
    const __m128 w = _mm_shuffle_ps(z, xy23, _MM_SHUFFLE(2, 2, 2, 2));         // z2 z2 x3 x3
    const __m128 v = _mm_shuffle_ps(xy23, z, _MM_SHUFFLE(3, 3, 3, 3));         // y3 y3 z3 z3
    _mm_storeu_ps(p, _mm_shuffle_ps(xy01, t, _MM_SHUFFLE(2, 0, 1, 0)));
    _mm_storeu_ps(p + 4, _mm_shuffle_ps(s, xy23, _MM_SHUFFLE(1, 0, 2, 0)));
    _mm_storeu_ps(p + 8, _mm_shuffle_ps(w, v, _MM_SHUFFLE(2, 0, 2, 0)));
}

inline const float* At(const void* base, unsigned stride, unsigned i) {
    return reinterpret_cast<const float*>(static_cast<const unsigned char*>(base) + static_cast<std::size_t>(stride) * i);
}
inline float* At(void* base, unsigned stride, unsigned i) {
    return reinterpret_cast<float*>(static_cast<unsigned char*>(base) + static_cast<std::size_t>(stride) * i);
}

#define LANES(a, b, c, d) _MM_SHUFFLE(d, c, b, a)
template <int imm>
inline __m128 Lanes(__m128 v) {
    return _mm_shuffle_ps(v, v, imm);
}

// Minors of pairs of lanes: x[P] y[Q] - x[Q] y[P], lane by lane.
template <int P, int Q>
inline __m128 PairMinors(__m128 x, __m128 y) {
    return _mm_sub_ps(_mm_mul_ps(Lanes<P>(x), Lanes<Q>(y)),
                      _mm_mul_ps(Lanes<Q>(x), Lanes<P>(y)));
}

// For every lane i, the signed 3x3 minor built from column c and the pair minors of the three lanes other than i.
struct PairSet {
    __m128 v1, v2, v3;
    PairSet(__m128 x, __m128 y)
        : v1(PairMinors<LANES(2, 2, 1, 1), LANES(3, 3, 3, 2)>(x, y)),
          v2(PairMinors<LANES(1, 0, 0, 0), LANES(3, 3, 3, 2)>(x, y)),
          v3(PairMinors<LANES(1, 0, 0, 0), LANES(2, 2, 1, 1)>(x, y)) {}
};
inline __m128 Minor(__m128 c, const PairSet& p) {
    const __m128 k1 = Lanes<LANES(1, 0, 0, 0)>(c), k2 = Lanes<LANES(2, 2, 1, 1)>(c),
                 k3 = Lanes<LANES(3, 3, 3, 2)>(c);
    return _mm_add_ps(_mm_sub_ps(_mm_mul_ps(k1, p.v1), _mm_mul_ps(k2, p.v2)), _mm_mul_ps(k3, p.v3));
}

// Cofactor columns by complementary 2x2 minors (columns 0-1 and 2-3); cof[j] holds cofactor (i, j) in lane i,
// which is also row j of the adjugate. Returns the determinant in every lane.
inline __m128 Cofactors(const D3DXMATRIX* m, __m128 cof[4]) {
    __m128 c0 = Load4(&m->_11), c1 = Load4(&m->_21), c2 = Load4(&m->_31), c3 = Load4(&m->_41);
    _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
    const PairSet low(c0, c1), high(c2, c3);
    const __m128 even = _mm_setr_ps(1, -1, 1, -1), odd = _mm_setr_ps(-1, 1, -1, 1);
    cof[0] = _mm_mul_ps(Minor(c1, high), even);
    cof[1] = _mm_mul_ps(Minor(c0, high), odd);
    cof[2] = _mm_mul_ps(Minor(c3, low), even);
    cof[3] = _mm_mul_ps(Minor(c2, low), odd);
    return Dot4(c0, cof[0]);
}

}  // namespace tarn::math::simd

#endif
