// The SSE and SSE2 sets: packed single-precision versions of the table routines. Differences from the reference
// routines are deliberate: normalisations have no near-1 copy (vectors and planes are zeroed below 2^-46, four-
// component ones not at all), reciprocals and reciprocal square roots are approximations refined by one Newton
// step, coordinate transforms always divide, and the inverse rejects a zero or NaN determinant before storing it.
#include <type_traits>

#include "HalfFloatKernels.h"
#include "ReferenceRoutines.h"
#include "SseHelpers.h"

#if TARN_MATH_SIMD

using namespace tarn::math::simd;

namespace tarn::math {
namespace {

// A shuffle of one register; the SSE2 routines use the integer form, which needs no copy of the source.
template <bool kSse2, int imm>
inline __m128 Shuf(__m128 v) {
    if constexpr (kSse2) return _mm_castsi128_ps(_mm_shuffle_epi32(_mm_castps_si128(v), imm));
    else return _mm_shuffle_ps(v, v, imm);
}



inline __m128 Signs(float a, float b, float c, float d) { return _mm_setr_ps(a, b, c, d); }

const float kNormalizeFloor = 1.4210855e-14f;  // 2^-46

// ---- Single-vector transforms ----

D3DXVECTOR4* Vec2Transform(D3DXVECTOR4* o, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    Store4(o, Point2(Load2(v), Rows(m)));
    return o;
}
D3DXVECTOR4* Vec3Transform(D3DXVECTOR4* o, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    Store4(o, Point3(Load3(v), Rows(m)));
    return o;
}
// Slots 2 and 35 share this body.
inline void Transform4(void* o, const void* v, const D3DXMATRIX* m) { Store4(o, Vector4(Load4(v), Rows(m))); }
D3DXVECTOR4* Vec4Transform(D3DXVECTOR4* o, const D3DXVECTOR4* v, const D3DXMATRIX* m) {
    Transform4(o, v, m);
    return o;
}
D3DXPLANE* PlaneTransform(D3DXPLANE* o, const D3DXPLANE* p, const D3DXMATRIX* m) {
    Transform4(o, p, m);
    return o;
}
D3DXVECTOR2* Vec2TransformNormal(D3DXVECTOR2* o, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    Store2(o, Normal2(Load2(v), Rows(m)));
    return o;
}
D3DXVECTOR3* Vec3TransformNormal(D3DXVECTOR3* o, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    Store3(o, Normal3(Load3(v), Rows(m)));
    return o;
}
D3DXVECTOR2* Vec2TransformCoord(D3DXVECTOR2* o, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    const __m128 r = Point2(Load2(v), Rows(m));
    Store2(o, _mm_mul_ps(r, ReciprocalNewton(Splat<3>(r))));
    return o;
}
D3DXVECTOR3* Vec3TransformCoord(D3DXVECTOR3* o, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    const __m128 r = Point3(Load3(v), Rows(m));
    Store3(o, _mm_mul_ps(r, ReciprocalNewton(Splat<3>(r))));
    return o;
}

// ---- Matrices ----

D3DXMATRIX* MatrixMultiply(D3DXMATRIX* o, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    const Rows A(a), B(b);
    const __m128 r0 = Vector4(A.r0, B), r1 = Vector4(A.r1, B), r2 = Vector4(A.r2, B), r3 = Vector4(A.r3, B);
    Store4(&o->_11, r0);
    Store4(&o->_21, r1);
    Store4(&o->_31, r2);
    Store4(&o->_41, r3);
    return o;
}

D3DXMATRIX* MatrixMultiplyTranspose(D3DXMATRIX* o, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    const Rows A(a), B(b);
    __m128 r0 = Vector4(A.r0, B), r1 = Vector4(A.r1, B), r2 = Vector4(A.r2, B), r3 = Vector4(A.r3, B);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    Store4(&o->_11, r0);
    Store4(&o->_21, r1);
    Store4(&o->_31, r2);
    Store4(&o->_41, r3);
    return o;
}

FLOAT MatrixDeterminant(const D3DXMATRIX* m) {
    __m128 cof[4];
    return _mm_cvtss_f32(Cofactors(m, cof));
}

D3DXMATRIX* MatrixInverse(D3DXMATRIX* o, FLOAT* pDeterminant, const D3DXMATRIX* m) {
    __m128 cof[4];
    const __m128 det = Cofactors(m, cof);
    const float d = _mm_cvtss_f32(det);
    if (d == 0.0f || d != d) return nullptr;
    if (pDeterminant) *pDeterminant = d;
    const __m128 inv = ReciprocalNewton(det);
    Store4(&o->_11, _mm_mul_ps(cof[0], inv));
    Store4(&o->_21, _mm_mul_ps(cof[1], inv));
    Store4(&o->_31, _mm_mul_ps(cof[2], inv));
    Store4(&o->_41, _mm_mul_ps(cof[3], inv));
    return o;
}

// ---- Normalisation ----

// x, y, z scaled by the refined 1/sqrt of their squared length; zero below 2^-46. Lane 3 follows the scale.
inline __m128 Normalize3(__m128 v) {
    const __m128 n = Dot3(v, v);
    if (_mm_cvtss_f32(n) < kNormalizeFloor) return _mm_setzero_ps();
    return _mm_mul_ps(v, ReciprocalSqrtNewton(n));
}

template <bool kSse2>
D3DXVECTOR3* Vec3Normalize(D3DXVECTOR3* o, const D3DXVECTOR3* v) {
    Store3(o, Normalize3(Load3(v)));
    return o;
}

// No zero test: a zero vector gives NaN components.
inline void Normalize4(void* o, const void* v) {
    const __m128 x = Load4(v);
    Store4(o, _mm_mul_ps(x, ReciprocalSqrtNewton(Dot4(x, x))));
}
D3DXVECTOR4* Vec4Normalize(D3DXVECTOR4* o, const D3DXVECTOR4* v) {
    Normalize4(o, v);
    return o;
}
D3DXQUATERNION* QuaternionNormalize(D3DXQUATERNION* o, const D3DXQUATERNION* q) {
    Normalize4(o, q);
    return o;
}

inline __m128 NormalizePlane(__m128 p) { return Normalize3(p); }

template <bool kSse2>
D3DXPLANE* PlaneNormalize(D3DXPLANE* o, const D3DXPLANE* p) {
    Store4(o, NormalizePlane(Load4(p)));
    return o;
}

// ---- Planes ----

template <bool kSse2>
D3DXPLANE* PlaneFromPoints(D3DXPLANE* o, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c) {
    const __m128 p = Load3(a);
    const __m128 n = Normalize3(Cross3(_mm_sub_ps(Load3(b), p), _mm_sub_ps(Load3(c), p)));
    const __m128 d = _mm_sub_ps(_mm_setzero_ps(), Dot3(n, p));
    // (nx, ny, nz, -n.p)
    const __m128 hi = _mm_shuffle_ps(n, d, _MM_SHUFFLE(0, 0, 2, 2));
    Store4(o, _mm_shuffle_ps(n, hi, _MM_SHUFFLE(2, 0, 1, 0)));
    return o;
}

D3DXVECTOR3* PlaneIntersectLine(D3DXVECTOR3* o, const D3DXPLANE* pl, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    const __m128 n = Load3(pl), p1 = Load3(a), p2 = Load3(b);
    const float n1 = _mm_cvtss_f32(Dot3(n, p1)), n2 = _mm_cvtss_f32(Dot3(n, p2));
    const float denom = n1 - n2;
    if (denom == 0.0f) return nullptr;
    const float t = (n1 + pl->d) / denom;
    if (!std::isfinite(t)) return nullptr;
    Store3(o, _mm_add_ps(p1, _mm_mul_ps(_mm_set1_ps(t), _mm_sub_ps(p2, p1))));
    return o;
}

template <bool kSse2>
D3DXMATRIX* MatrixShadow(D3DXMATRIX* o, const D3DXVECTOR4* light, const D3DXPLANE* plane) {
    const __m128 p = NormalizePlane(Load4(plane)), l = Load4(light);
    const __m128 d = Dot4(p, l);
    const __m128 negL = _mm_sub_ps(_mm_setzero_ps(), l);
    const __m128 diag[4] = {_mm_setr_ps(1, 0, 0, 0), _mm_setr_ps(0, 1, 0, 0), _mm_setr_ps(0, 0, 1, 0),
                            _mm_setr_ps(0, 0, 0, 1)};
    Store4(&o->_11, _mm_add_ps(_mm_mul_ps(d, diag[0]), _mm_mul_ps(Shuf<kSse2, 0x00>(p), negL)));
    Store4(&o->_21, _mm_add_ps(_mm_mul_ps(d, diag[1]), _mm_mul_ps(Shuf<kSse2, 0x55>(p), negL)));
    Store4(&o->_31, _mm_add_ps(_mm_mul_ps(d, diag[2]), _mm_mul_ps(Shuf<kSse2, 0xAA>(p), negL)));
    Store4(&o->_41, _mm_add_ps(_mm_mul_ps(d, diag[3]), _mm_mul_ps(Shuf<kSse2, 0xFF>(p), negL)));
    return o;
}

template <bool kSse2>
D3DXMATRIX* MatrixReflect(D3DXMATRIX* o, const D3DXPLANE* plane) {
    const __m128 p = NormalizePlane(Load4(plane));
    const __m128 n2 = _mm_mul_ps(_mm_and_ps(p, _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0))), _mm_set1_ps(-2.0f));
    Store4(&o->_11, _mm_add_ps(_mm_setr_ps(1, 0, 0, 0), _mm_mul_ps(Shuf<kSse2, 0x00>(p), n2)));
    Store4(&o->_21, _mm_add_ps(_mm_setr_ps(0, 1, 0, 0), _mm_mul_ps(Shuf<kSse2, 0x55>(p), n2)));
    Store4(&o->_31, _mm_add_ps(_mm_setr_ps(0, 0, 1, 0), _mm_mul_ps(Shuf<kSse2, 0xAA>(p), n2)));
    Store4(&o->_41, _mm_add_ps(_mm_setr_ps(0, 0, 0, 1), _mm_mul_ps(Shuf<kSse2, 0xFF>(p), n2)));
    return o;
}

// ---- Four-dimensional cross product, splines ----

template <bool kSse2>
D3DXVECTOR4* Vec4Cross(D3DXVECTOR4* o, const D3DXVECTOR4* pu, const D3DXVECTOR4* pv, const D3DXVECTOR4* pw) {
    const __m128 u = Load4(pu), v = Load4(pv), w = Load4(pw);
    const PairSet pairs(v, w);
    Store4(o, _mm_mul_ps(Minor(u, pairs), Signs(1, -1, 1, -1)));
    return o;
}

struct HermiteWeights {
    __m128 h1, h2, h3, h4;
    explicit HermiteWeights(float s) {
        const float s2 = s * s, s3 = s2 * s;
        h1 = _mm_set1_ps(2 * s3 - 3 * s2 + 1);
        h2 = _mm_set1_ps(s3 - 2 * s2 + s);
        h3 = _mm_set1_ps(-2 * s3 + 3 * s2);
        h4 = _mm_set1_ps(s3 - s2);
    }
    __m128 Apply(__m128 a, __m128 b, __m128 c, __m128 d) const {
        return _mm_add_ps(_mm_add_ps(_mm_mul_ps(h1, a), _mm_mul_ps(h2, b)),
                          _mm_add_ps(_mm_mul_ps(h3, c), _mm_mul_ps(h4, d)));
    }
};
struct CatmullRomWeights : HermiteWeights {
    explicit CatmullRomWeights(float s) : HermiteWeights(0.0f) {
        const float s2 = s * s, s3 = s2 * s;
        h1 = _mm_set1_ps(0.5f * (-s3 + 2 * s2 - s));
        h2 = _mm_set1_ps(0.5f * (3 * s3 - 5 * s2 + 2));
        h3 = _mm_set1_ps(0.5f * (-3 * s3 + 4 * s2 + s));
        h4 = _mm_set1_ps(0.5f * (s3 - s2));
    }
};
inline __m128 Bary(__m128 a, __m128 b, __m128 c, float f, float g) {
    return _mm_add_ps(a, _mm_add_ps(_mm_mul_ps(_mm_set1_ps(f), _mm_sub_ps(b, a)),
                                    _mm_mul_ps(_mm_set1_ps(g), _mm_sub_ps(c, a))));
}

D3DXVECTOR2* Vec2Hermite(D3DXVECTOR2* o, const D3DXVECTOR2* a, const D3DXVECTOR2* ta, const D3DXVECTOR2* b,
                         const D3DXVECTOR2* tb, FLOAT s) {
    Store2(o, HermiteWeights(s).Apply(Load2(a), Load2(ta), Load2(b), Load2(tb)));
    return o;
}
D3DXVECTOR3* Vec3Hermite(D3DXVECTOR3* o, const D3DXVECTOR3* a, const D3DXVECTOR3* ta, const D3DXVECTOR3* b,
                         const D3DXVECTOR3* tb, FLOAT s) {
    Store3(o, HermiteWeights(s).Apply(Load3(a), Load3(ta), Load3(b), Load3(tb)));
    return o;
}
D3DXVECTOR4* Vec4Hermite(D3DXVECTOR4* o, const D3DXVECTOR4* a, const D3DXVECTOR4* ta, const D3DXVECTOR4* b,
                         const D3DXVECTOR4* tb, FLOAT s) {
    Store4(o, HermiteWeights(s).Apply(Load4(a), Load4(ta), Load4(b), Load4(tb)));
    return o;
}
D3DXVECTOR2* Vec2CatmullRom(D3DXVECTOR2* o, const D3DXVECTOR2* a, const D3DXVECTOR2* b, const D3DXVECTOR2* c,
                            const D3DXVECTOR2* d, FLOAT s) {
    Store2(o, CatmullRomWeights(s).Apply(Load2(a), Load2(b), Load2(c), Load2(d)));
    return o;
}
D3DXVECTOR3* Vec3CatmullRom(D3DXVECTOR3* o, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c,
                            const D3DXVECTOR3* d, FLOAT s) {
    Store3(o, CatmullRomWeights(s).Apply(Load3(a), Load3(b), Load3(c), Load3(d)));
    return o;
}
D3DXVECTOR4* Vec4CatmullRom(D3DXVECTOR4* o, const D3DXVECTOR4* a, const D3DXVECTOR4* b, const D3DXVECTOR4* c,
                            const D3DXVECTOR4* d, FLOAT s) {
    Store4(o, CatmullRomWeights(s).Apply(Load4(a), Load4(b), Load4(c), Load4(d)));
    return o;
}
D3DXVECTOR2* Vec2BaryCentric(D3DXVECTOR2* o, const D3DXVECTOR2* a, const D3DXVECTOR2* b, const D3DXVECTOR2* c, FLOAT f,
                             FLOAT g) {
    Store2(o, Bary(Load2(a), Load2(b), Load2(c), f, g));
    return o;
}
D3DXVECTOR3* Vec3BaryCentric(D3DXVECTOR3* o, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c, FLOAT f,
                             FLOAT g) {
    Store3(o, Bary(Load3(a), Load3(b), Load3(c), f, g));
    return o;
}
D3DXVECTOR4* Vec4BaryCentric(D3DXVECTOR4* o, const D3DXVECTOR4* a, const D3DXVECTOR4* b, const D3DXVECTOR4* c, FLOAT f,
                             FLOAT g) {
    Store4(o, Bary(Load4(a), Load4(b), Load4(c), f, g));
    return o;
}

// ---- Quaternions ----

D3DXQUATERNION* QuaternionMultiply(D3DXQUATERNION* o, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2) {
    const __m128 a = Load4(q1), b = Load4(q2);
    __m128 r = _mm_mul_ps(Splat<3>(b), a);
    r = _mm_add_ps(r, _mm_mul_ps(_mm_mul_ps(Splat<0>(b), Shuf<false, LANES(3, 2, 1, 0)>(a)), Signs(1, -1, 1, -1)));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_mul_ps(Splat<1>(b), Shuf<false, LANES(2, 3, 0, 1)>(a)), Signs(1, 1, -1, -1)));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_mul_ps(Splat<2>(b), Shuf<false, LANES(1, 0, 3, 2)>(a)), Signs(-1, 1, 1, -1)));
    Store4(o, r);
    return o;
}

template <bool kSse2>
D3DXQUATERNION* QuaternionRotationMatrix(D3DXQUATERNION* o, const D3DXMATRIX* pm) {
    const float m[3][3] = {{pm->_11, pm->_12, pm->_13}, {pm->_21, pm->_22, pm->_23}, {pm->_31, pm->_32, pm->_33}};
    const float t = m[0][0] + m[1][1] + m[2][2];
    float q[4];
    auto halfRoot = [](float x) { return _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(x))) * 0.5f; };
    if (t > 0.0f) {
        const float w = halfRoot(t + 1.0f), k = 0.25f / w;
        q[0] = (m[1][2] - m[2][1]) * k;
        q[1] = (m[2][0] - m[0][2]) * k;
        q[2] = (m[0][1] - m[1][0]) * k;
        q[3] = w;
    } else {
        const float d[3] = {m[0][0] - m[1][1] - m[2][2], m[1][1] - m[0][0] - m[2][2], m[2][2] - (m[1][1] + m[0][0])};
        int i = d[0] >= d[1] ? 0 : 1;
        if (d[2] > d[i]) i = 2;
        const int j = (i + 1) % 3, k = (j + 1) % 3;
        const float s = halfRoot(d[i] + 1.0f), r = 0.25f / s;
        q[i] = s;
        q[j] = (m[i][j] + m[j][i]) * r;
        q[k] = (m[i][k] + m[k][i]) * r;
        q[3] = (m[j][k] - m[k][j]) * r;
    }
    Store4(o, _mm_loadu_ps(q));
    return o;
}

template <bool kSse2>
D3DXQUATERNION* QuaternionRotationYawPitchRoll(D3DXQUATERNION* o, FLOAT yaw, FLOAT pitch, FLOAT roll) {
    const float cy = std::cos(yaw * 0.5f), sy = std::sin(yaw * 0.5f), cp = std::cos(pitch * 0.5f),
                sp = std::sin(pitch * 0.5f), cr = std::cos(roll * 0.5f), sr = std::sin(roll * 0.5f);
    const __m128 a = _mm_mul_ps(_mm_mul_ps(_mm_setr_ps(cy, sy, cy, cy), _mm_setr_ps(sp, cp, cp, cp)),
                                _mm_setr_ps(cr, cr, sr, cr));
    const __m128 b = _mm_mul_ps(_mm_mul_ps(_mm_setr_ps(sy, cy, sy, sy), _mm_setr_ps(cp, sp, sp, sp)),
                                _mm_setr_ps(sr, sr, cr, sr));
    Store4(o, _mm_add_ps(a, _mm_mul_ps(b, Signs(1, -1, -1, 1))));
    return o;
}

// The SSE set's inverse keeps the reference thresholds; only its reciprocal is computed in single precision.
D3DXQUATERNION* QuaternionInverse(D3DXQUATERNION* o, const D3DXQUATERNION* pq) {
    const __m128 q = Load4(pq);
    const float n = _mm_cvtss_f32(Dot4(q, q));
    if (!(n > 1.0842022e-19f)) {
        Store4(o, _mm_setzero_ps());
        return o;
    }
    __m128 r = _mm_mul_ps(q, Signs(-1, -1, -1, 1));
    if (!detail::NearlyEqual(n, 1.0)) r = _mm_div_ps(r, _mm_set1_ps(n));
    Store4(o, r);
    return o;
}

// ---- Curved triangle control points ----

D3DXVECTOR3* CurvedTriangleControlPoints(D3DXVECTOR3* o, const D3DXVECTOR3* p, const D3DXVECTOR3* n) {
    const __m128 P[3] = {Load3(&p[0]), Load3(&p[1]), Load3(&p[2])};
    const __m128 N[3] = {Load3(&n[0]), Load3(&n[1]), Load3(&n[2])};
    const __m128 third = _mm_set1_ps(1.0f / 3.0f), two = _mm_set1_ps(2.0f);
    static const int kEdges[6][2] = {{0, 1}, {1, 0}, {1, 2}, {2, 1}, {2, 0}, {0, 2}};
    __m128 e[6], sumE = _mm_setzero_ps();
    for (int k = 0; k < 6; ++k) {
        const int i = kEdges[k][0], j = kEdges[k][1];
        const __m128 w = Dot3(_mm_sub_ps(P[j], P[i]), N[i]);
        e[k] = _mm_mul_ps(_mm_sub_ps(_mm_add_ps(_mm_mul_ps(two, P[i]), P[j]), _mm_mul_ps(w, N[i])), third);
        sumE = _mm_add_ps(sumE, e[k]);
    }
    const __m128 E = _mm_mul_ps(sumE, _mm_set1_ps(1.0f / 6.0f));
    const __m128 V = _mm_mul_ps(_mm_add_ps(_mm_add_ps(P[0], P[1]), P[2]), third);
    const __m128 centre = _mm_add_ps(E, _mm_mul_ps(_mm_sub_ps(E, V), _mm_set1_ps(0.5f)));
    for (int i = 0; i < 3; ++i) Store3(&o[i], P[i]);
    for (int k = 0; k < 6; ++k) Store3(&o[3 + k], e[k]);
    Store3(&o[9], centre);
    return o;
}

// ---- Half floats ----

// The tail element formula of the packed path: (f + 1024 when e > 0) * 2^(max(e, 1) - 25), signed.
inline float HalfToFloatTail(std::uint16_t h) {
    const int e = (h >> 10) & 0x1F, f = h & 0x3FF;
    const float v = std::ldexp(static_cast<float>(e > 0 ? f + 1024 : f), (e > 1 ? e : 1) - 25);
    return (h & 0x8000) ? -v : v;
}

template <bool kSse2>
FLOAT* Float16To32Array(FLOAT* o, const D3DXFLOAT16* in, UINT n) {
    const auto* h = reinterpret_cast<const std::uint16_t*>(in);
    // The SSE2 set takes the widest kernel the processor runs; both convert whole blocks of eight.
    std::size_t i = kSse2 ? detail::HalfToFloatBlocks(o, h, n) : detail::HalfToFloatBlocksSse2(o, h, n);
    for (; i < n; ++i) o[i] = HalfToFloatTail(h[i]);
    return o;
}

// ---- Array transforms: groups of four above 12 elements, the single-vector routine for the rest ----

enum class Form { Point, Normal, Vector, Coord };

template <int inDim, int outDim, Form form, auto Single>
void* GroupedTransform(void* out, UINT os, const void* in, UINT vs, const D3DXMATRIX* m, UINT n) {
    using OutT = std::remove_pointer_t<decltype(Single(nullptr, nullptr, m))>;
    const UINT grouped = n > 12 ? n - n % 4 : 0;
    if (grouped) {
        __m128 b[4][4];  // b[k][j]: m[k][j] in every lane
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 4; ++j) b[k][j] = _mm_set1_ps(m->m[k][j]);
        const int computed = form == Form::Coord ? 4 : outDim;
        // Tightly packed triples move as three full registers instead of four partial ones and a transpose.
        const bool packedIn = inDim == 3 && vs == 3 * sizeof(float);
        const bool packedOut = outDim == 3 && os == 3 * sizeof(float);
        for (UINT i = 0; i < grouped; i += 4) {
            __m128 v[4];
            if (packedIn) {
                LoadPacked3x4(At(in, vs, i), v[0], v[1], v[2]);
            } else {
                for (int k = 0; k < 4; ++k) {
                    const float* src = At(in, vs, i + k);
                    v[k] = inDim == 2 ? Load2(src) : inDim == 3 ? Load3(src) : Load4(src);
                }
                _MM_TRANSPOSE4_PS(v[0], v[1], v[2], v[3]);  // v[c]: component c of the four elements
            }
            __m128 r[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
            for (int j = 0; j < computed; ++j) {
                __m128 acc = _mm_add_ps(_mm_mul_ps(v[0], b[0][j]), _mm_mul_ps(v[1], b[1][j]));
                if (inDim >= 3) acc = _mm_add_ps(acc, _mm_mul_ps(v[2], b[2][j]));
                if (inDim == 4) acc = _mm_add_ps(acc, _mm_mul_ps(v[3], b[3][j]));
                else if (form != Form::Normal) acc = _mm_add_ps(acc, b[3][j]);
                r[j] = acc;
            }
            if (form == Form::Coord) {
                const __m128 inv = ReciprocalNewton(r[3]);
                for (int j = 0; j < outDim; ++j) r[j] = _mm_mul_ps(r[j], inv);
            }
            if (packedOut) {
                StorePacked3x4(At(out, os, i), r[0], r[1], r[2]);
                continue;
            }
            _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
            for (int k = 0; k < 4; ++k) {
                float* dst = At(out, os, i + k);
                if (outDim == 2) Store2(dst, r[k]);
                else if (outDim == 3) Store3(dst, r[k]);
                else Store4(dst, r[k]);
            }
        }
    }
    // The rest one at a time, copied in and out so that the single-vector routine never sees an address that
    // is no place for a float.
    using InT =
        std::conditional_t<inDim == 2, D3DXVECTOR2, std::conditional_t<inDim == 3, D3DXVECTOR3, D3DXVECTOR4>>;
    for (UINT i = grouped; i < n; ++i) {
        InT v;
        OutT r;
        std::memcpy(&v, At(in, vs, i), sizeof v);
        Single(&r, &v, m);
        std::memcpy(At(out, os, i), &r, sizeof r);
    }
    return out;
}

// Adapters that give each single-vector routine an untyped input for the loop above.
#define TARN_SINGLE(name, OutT, InT, body)                                             \
    inline OutT* name(OutT* o, const void* v, const D3DXMATRIX* m) {                    \
        return body(o, static_cast<const InT*>(v), m);                                 \
    }
TARN_SINGLE(OneVec2Transform, D3DXVECTOR4, D3DXVECTOR2, Vec2Transform)
TARN_SINGLE(OneVec2Coord, D3DXVECTOR2, D3DXVECTOR2, Vec2TransformCoord)
TARN_SINGLE(OneVec2Normal, D3DXVECTOR2, D3DXVECTOR2, Vec2TransformNormal)
TARN_SINGLE(OneVec3Transform, D3DXVECTOR4, D3DXVECTOR3, Vec3Transform)
TARN_SINGLE(OneVec3Coord, D3DXVECTOR3, D3DXVECTOR3, Vec3TransformCoord)
TARN_SINGLE(OneVec3Normal, D3DXVECTOR3, D3DXVECTOR3, Vec3TransformNormal)
TARN_SINGLE(OneVec4Transform, D3DXVECTOR4, D3DXVECTOR4, Vec4Transform)
#undef TARN_SINGLE

template <bool kSse2>
D3DXVECTOR4* Vec2TransformArray(D3DXVECTOR4* o, UINT os, const D3DXVECTOR2* v, UINT vs, const D3DXMATRIX* m, UINT n) {
    return static_cast<D3DXVECTOR4*>(GroupedTransform<2, 4, Form::Point, OneVec2Transform>(o, os, v, vs, m, n));
}
template <bool kSse2>
D3DXVECTOR2* Vec2TransformCoordArray(D3DXVECTOR2* o, UINT os, const D3DXVECTOR2* v, UINT vs, const D3DXMATRIX* m,
                                     UINT n) {
    return static_cast<D3DXVECTOR2*>(GroupedTransform<2, 2, Form::Coord, OneVec2Coord>(o, os, v, vs, m, n));
}
template <bool kSse2>
D3DXVECTOR2* Vec2TransformNormalArray(D3DXVECTOR2* o, UINT os, const D3DXVECTOR2* v, UINT vs, const D3DXMATRIX* m,
                                      UINT n) {
    return static_cast<D3DXVECTOR2*>(GroupedTransform<2, 2, Form::Normal, OneVec2Normal>(o, os, v, vs, m, n));
}
template <bool kSse2>
D3DXVECTOR4* Vec3TransformArray(D3DXVECTOR4* o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DXMATRIX* m, UINT n) {
    return static_cast<D3DXVECTOR4*>(GroupedTransform<3, 4, Form::Point, OneVec3Transform>(o, os, v, vs, m, n));
}
template <bool kSse2>
D3DXVECTOR3* Vec3TransformCoordArray(D3DXVECTOR3* o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DXMATRIX* m,
                                     UINT n) {
    return static_cast<D3DXVECTOR3*>(GroupedTransform<3, 3, Form::Coord, OneVec3Coord>(o, os, v, vs, m, n));
}
template <bool kSse2>
D3DXVECTOR3* Vec3TransformNormalArray(D3DXVECTOR3* o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DXMATRIX* m,
                                      UINT n) {
    return static_cast<D3DXVECTOR3*>(GroupedTransform<3, 3, Form::Normal, OneVec3Normal>(o, os, v, vs, m, n));
}
// Slots 66 and 69 share this body.
template <bool kSse2>
void* Transform4Array(void* o, UINT os, const void* v, UINT vs, const D3DXMATRIX* m, UINT n) {
    return GroupedTransform<4, 4, Form::Vector, OneVec4Transform>(o, os, v, vs, m, n);
}
template <bool kSse2>
D3DXVECTOR4* Vec4TransformArray(D3DXVECTOR4* o, UINT os, const D3DXVECTOR4* v, UINT vs, const D3DXMATRIX* m, UINT n) {
    return static_cast<D3DXVECTOR4*>(Transform4Array<kSse2>(o, os, v, vs, m, n));
}
template <bool kSse2>
D3DXPLANE* PlaneTransformArray(D3DXPLANE* o, UINT os, const D3DXPLANE* v, UINT vs, const D3DXMATRIX* m, UINT n) {
    return static_cast<D3DXPLANE*>(Transform4Array<kSse2>(o, os, v, vs, m, n));
}

// The slots both sets fill with the same routines.
void InstallShared(MathRoutineTable& t) {
    t.D3DXVec2Transform = Vec2Transform;
    t.D3DXVec3Transform = Vec3Transform;
    t.D3DXVec4Transform = Vec4Transform;
    t.D3DXMatrixMultiply = MatrixMultiply;
    t.D3DXMatrixMultiplyTranspose = MatrixMultiplyTranspose;
    t.D3DXVec2TransformNormal = Vec2TransformNormal;
    t.D3DXVec3TransformNormal = Vec3TransformNormal;
    t.D3DXVec4Normalize = Vec4Normalize;
    t.D3DXVec2TransformCoord = Vec2TransformCoord;
    t.D3DXVec3TransformCoord = Vec3TransformCoord;
    t.D3DXMatrixDeterminant = MatrixDeterminant;
    t.D3DXVec2Hermite = Vec2Hermite;
    t.D3DXMatrixInverse = MatrixInverse;
    t.D3DXQuaternionMultiply = QuaternionMultiply;
    t.D3DXQuaternionNormalize = QuaternionNormalize;
    t.D3DXPlaneIntersectLine = PlaneIntersectLine;
    t.D3DXPlaneTransform = PlaneTransform;
    t.D3DXVec2CatmullRom = Vec2CatmullRom;
    t.D3DXVec2BaryCentric = Vec2BaryCentric;
    t.D3DXVec3Hermite = Vec3Hermite;
    t.D3DXVec3CatmullRom = Vec3CatmullRom;
    t.D3DXVec3BaryCentric = Vec3BaryCentric;
    t.D3DXVec4Hermite = Vec4Hermite;
    t.D3DXVec4CatmullRom = Vec4CatmullRom;
    t.D3DXVec4BaryCentric = Vec4BaryCentric;
    t.MathCurvedTriangleControlPoints = CurvedTriangleControlPoints;
}

template <bool kSse2>
void InstallOwn(MathRoutineTable& t) {
    t.D3DXVec3Normalize = Vec3Normalize<kSse2>;
    t.D3DXPlaneFromPoints = PlaneFromPoints<kSse2>;
    t.D3DXVec4Cross = Vec4Cross<kSse2>;
    t.D3DXPlaneNormalize = PlaneNormalize<kSse2>;
    t.D3DXQuaternionRotationMatrix = QuaternionRotationMatrix<kSse2>;
    t.D3DXQuaternionRotationYawPitchRoll = QuaternionRotationYawPitchRoll<kSse2>;
    t.D3DXMatrixShadow = MatrixShadow<kSse2>;
    t.D3DXMatrixReflect = MatrixReflect<kSse2>;
    t.D3DXFloat16To32Array = Float16To32Array<kSse2>;
    t.D3DXVec2TransformArray = Vec2TransformArray<kSse2>;
    t.D3DXVec2TransformCoordArray = Vec2TransformCoordArray<kSse2>;
    t.D3DXVec2TransformNormalArray = Vec2TransformNormalArray<kSse2>;
    t.D3DXVec3TransformArray = Vec3TransformArray<kSse2>;
    t.D3DXVec3TransformCoordArray = Vec3TransformCoordArray<kSse2>;
    t.D3DXVec3TransformNormalArray = Vec3TransformNormalArray<kSse2>;
    t.D3DXVec4TransformArray = Vec4TransformArray<kSse2>;
    t.D3DXPlaneTransformArray = PlaneTransformArray<kSse2>;
}

}  // namespace

void InstallSseSet(MathRoutineTable& t) {
    InstallShared(t);
    InstallOwn<false>(t);
    t.D3DXQuaternionInverse = QuaternionInverse;
}

void InstallSse2Set(MathRoutineTable& t) {
    InstallShared(t);
    InstallOwn<true>(t);
}

bool MathHasSimdSets() { return true; }

}  // namespace tarn::math

#else

namespace tarn::math {

void InstallSseSet(MathRoutineTable&) {}
void InstallSse2Set(MathRoutineTable&) {}
bool MathHasSimdSets() { return false; }

}  // namespace tarn::math

#endif
