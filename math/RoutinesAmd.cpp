// The AMD sets: the 3DNow! set, its Athlon overrides and the AMD SSE array transforms. Processors with 3DNow! are
// gone, so these reproduce that path's numerical behaviour with SSE: reciprocals and reciprocal square roots are
// approximations refined by one Newton-Raphson step (the 3DNow! two-instruction refinement), normalisations zero
// below 2^-126 and never copy near-unit vectors, the inverse has no finiteness test, and arrays go four at a time.
#include <cmath>

#include "HalfFloatKernels.h"
#include "ReferenceRoutines.h"
#include "SseHelpers.h"

#if TARN_MATH_SIMD

using namespace tarn::math::simd;
using namespace tarn::math::detail;

namespace tarn::math {
namespace {

const float kTiny = 1.17549435e-38f;  // 2^-126

// ---- Normalisations: zero when n <= 2^-126 (or NaN), else scaled by the refined 1/sqrt ----

template <int measured>
inline __m128 NormalizeAmd(__m128 v) {
    const __m128 sq = _mm_mul_ps(v, v);
    __m128 n = _mm_add_ss(sq, Splat<1>(sq));
    if (measured >= 3) n = _mm_add_ss(n, Splat<2>(sq));
    if (measured == 4) n = _mm_add_ss(n, Splat<3>(sq));
    const float nf = _mm_cvtss_f32(n);
    if (!(nf > kTiny)) return _mm_setzero_ps();
    return _mm_mul_ps(v, Splat<0>(ReciprocalSqrtNewton(n)));
}

D3DXVECTOR2* Vec2Normalize(D3DXVECTOR2* o, const D3DXVECTOR2* v) {
    Store2(o, NormalizeAmd<2>(Load2(v)));
    return o;
}
D3DXVECTOR3* Vec3Normalize(D3DXVECTOR3* o, const D3DXVECTOR3* v) {
    Store3(o, NormalizeAmd<3>(Load3(v)));
    return o;
}
D3DXVECTOR4* Vec4Normalize(D3DXVECTOR4* o, const D3DXVECTOR4* v) {
    Store4(o, NormalizeAmd<4>(Load4(v)));
    return o;
}
D3DXQUATERNION* QuaternionNormalize(D3DXQUATERNION* o, const D3DXQUATERNION* q) {
    Store4(o, NormalizeAmd<4>(Load4(q)));
    return o;
}
D3DXPLANE* PlaneNormalize(D3DXPLANE* o, const D3DXPLANE* p) {
    Store4(o, NormalizeAmd<3>(Load4(p)));
    return o;
}

// ---- Coordinate transforms: the near-1 test of the reference, a refined reciprocal otherwise ----

inline __m128 DivideUnlessUnit(__m128 r) {
    const float w = _mm_cvtss_f32(Splat<3>(r));
    if (NearlyEqual(w, 1.0)) return r;
    return _mm_mul_ps(r, ReciprocalNewton(Splat<3>(r)));
}
D3DXVECTOR2* Vec2TransformCoord(D3DXVECTOR2* o, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    Store2(o, DivideUnlessUnit(Point2(Load2(v), Rows(m))));
    return o;
}
D3DXVECTOR3* Vec3TransformCoord(D3DXVECTOR3* o, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    Store3(o, DivideUnlessUnit(Point3(Load3(v), Rows(m))));
    return o;
}

// ---- Inverse: determinant stored first, refined reciprocal, no finiteness test ----

D3DXMATRIX* MatrixInverse(D3DXMATRIX* o, FLOAT* pDeterminant, const D3DXMATRIX* m) {
    __m128 cof[4];
    const __m128 det = Cofactors(m, cof);
    const float d = _mm_cvtss_f32(det);
    if (pDeterminant) *pDeterminant = d;
    if (d == 0.0f) return nullptr;
    const __m128 inv = ReciprocalNewton(det);
    for (int i = 0; i < 4; ++i) Store4(o->m[i], _mm_mul_ps(cof[i], inv));
    return o;
}

// ---- Planes built on the AMD normalisation ----

D3DXPLANE* PlaneFromPointNormal(D3DXPLANE* o, const D3DXVECTOR3* point, const D3DXVECTOR3* normal) {
    const __m128 n = Load3(normal);
    const float d = -_mm_cvtss_f32(Dot3(n, Load3(point)));
    Store4(o, _mm_setr_ps(normal->x, normal->y, normal->z, d));
    return o;
}

D3DXPLANE* PlaneFromPoints(D3DXPLANE* o, const D3DXVECTOR3* a, const D3DXVECTOR3* b, const D3DXVECTOR3* c) {
    const __m128 p = Load3(a);
    const __m128 n = NormalizeAmd<3>(Cross3(_mm_sub_ps(Load3(b), p), _mm_sub_ps(Load3(c), p)));
    alignas(16) float f[4];
    _mm_store_ps(f, n);
    f[3] = -_mm_cvtss_f32(Dot3(n, p));
    Store4(o, _mm_load_ps(f));
    return o;
}

D3DXMATRIX* MatrixShadow(D3DXMATRIX* o, const D3DXVECTOR4* light, const D3DXPLANE* plane) {
    const __m128 p = NormalizeAmd<3>(Load4(plane)), l = Load4(light);
    const __m128 d = Dot4(p, l), negL = _mm_sub_ps(_mm_setzero_ps(), l);
    alignas(16) float pv[4];
    _mm_store_ps(pv, p);
    for (int i = 0; i < 4; ++i) {
        alignas(16) float unit[4] = {0, 0, 0, 0};
        unit[i] = 1.0f;
        Store4(o->m[i], _mm_add_ps(_mm_mul_ps(d, _mm_load_ps(unit)), _mm_mul_ps(_mm_set1_ps(pv[i]), negL)));
    }
    return o;
}

D3DXMATRIX* MatrixReflect(D3DXMATRIX* o, const D3DXPLANE* plane) {
    const __m128 p = NormalizeAmd<3>(Load4(plane));
    const __m128 n2 = _mm_mul_ps(_mm_and_ps(p, _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0))), _mm_set1_ps(-2.0f));
    alignas(16) float pv[4];
    _mm_store_ps(pv, p);
    for (int i = 0; i < 4; ++i) {
        alignas(16) float unit[4] = {0, 0, 0, 0};
        unit[i] = 1.0f;
        Store4(o->m[i], _mm_add_ps(_mm_load_ps(unit), _mm_mul_ps(_mm_set1_ps(pv[i]), n2)));
    }
    return o;
}

// ---- Matrix builders in single precision ----

inline void StoreRows(D3DXMATRIX* o, __m128 r0, __m128 r1, __m128 r2, __m128 r3) {
    Store4(o->m[0], r0);
    Store4(o->m[1], r1);
    Store4(o->m[2], r2);
    Store4(o->m[3], r3);
}

D3DXMATRIX* MatrixTranslation(D3DXMATRIX* o, FLOAT x, FLOAT y, FLOAT z) {
    StoreRows(o, _mm_setr_ps(1, 0, 0, 0), _mm_setr_ps(0, 1, 0, 0), _mm_setr_ps(0, 0, 1, 0), _mm_setr_ps(x, y, z, 1));
    return o;
}
D3DXMATRIX* MatrixScaling(D3DXMATRIX* o, FLOAT x, FLOAT y, FLOAT z) {
    StoreRows(o, _mm_setr_ps(x, 0, 0, 0), _mm_setr_ps(0, y, 0, 0), _mm_setr_ps(0, 0, z, 0), _mm_setr_ps(0, 0, 0, 1));
    return o;
}
D3DXMATRIX* MatrixRotationX(D3DXMATRIX* o, FLOAT a) {
    const float c = std::cos(a), s = std::sin(a);
    StoreRows(o, _mm_setr_ps(1, 0, 0, 0), _mm_setr_ps(0, c, s, 0), _mm_setr_ps(0, -s, c, 0), _mm_setr_ps(0, 0, 0, 1));
    return o;
}
D3DXMATRIX* MatrixRotationY(D3DXMATRIX* o, FLOAT a) {
    const float c = std::cos(a), s = std::sin(a);
    StoreRows(o, _mm_setr_ps(c, 0, -s, 0), _mm_setr_ps(0, 1, 0, 0), _mm_setr_ps(s, 0, c, 0), _mm_setr_ps(0, 0, 0, 1));
    return o;
}
D3DXMATRIX* MatrixRotationZ(D3DXMATRIX* o, FLOAT a) {
    const float c = std::cos(a), s = std::sin(a);
    StoreRows(o, _mm_setr_ps(c, s, 0, 0), _mm_setr_ps(-s, c, 0, 0), _mm_setr_ps(0, 0, 1, 0), _mm_setr_ps(0, 0, 0, 1));
    return o;
}
D3DXMATRIX* MatrixTranspose(D3DXMATRIX* o, const D3DXMATRIX* m) {
    __m128 r0 = Load4(m->m[0]), r1 = Load4(m->m[1]), r2 = Load4(m->m[2]), r3 = Load4(m->m[3]);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    StoreRows(o, r0, r1, r2, r3);
    return o;
}

D3DXMATRIX* MatrixRotationQuaternion(D3DXMATRIX* o, const D3DXQUATERNION* q) {
    const float x = q->x, y = q->y, z = q->z, w = q->w;
    const float x2 = x + x, y2 = y + y, z2 = z + z;
    StoreRows(o, _mm_setr_ps(1 - y * y2 - z * z2, x * y2 + z * (w + w), x * z2 - y2 * w, 0),
              _mm_setr_ps(x * y2 - z2 * w, 1 - x * x2 - z * z2, y * z2 + x2 * w, 0),
              _mm_setr_ps(x * z2 + y2 * w, y * z2 - x2 * w, 1 - x * x2 - y * y2, 0), _mm_setr_ps(0, 0, 0, 1));
    return o;
}

// The Athlon form of the same matrix: products of the packed (x, y, z) with each doubled component.
D3DXMATRIX* MatrixRotationQuaternionAthlon(D3DXMATRIX* o, const D3DXQUATERNION* pq) {
    const __m128 q = Load4(pq), q2 = _mm_add_ps(q, q);
    const __m128 xx = _mm_mul_ps(q, Splat<0>(q2)), yy = _mm_mul_ps(q, Splat<1>(q2)), zz = _mm_mul_ps(q, Splat<2>(q2));
    alignas(16) float a[4], b[4], c[4];
    _mm_store_ps(a, xx);  // 2xx 2xy 2xz 2xw
    _mm_store_ps(b, yy);  // 2xy 2yy 2yz 2yw
    _mm_store_ps(c, zz);  // 2xz 2yz 2zz 2zw
    StoreRows(o, _mm_setr_ps(1 - b[1] - c[2], a[1] + c[3], a[2] - b[3], 0),
              _mm_setr_ps(a[1] - c[3], 1 - a[0] - c[2], b[2] + a[3], 0),
              _mm_setr_ps(a[2] + b[3], b[2] - a[3], 1 - a[0] - b[1], 0), _mm_setr_ps(0, 0, 0, 1));
    return o;
}

D3DXMATRIX* MatrixRotationAxis(D3DXMATRIX* o, const D3DXVECTOR3* v, FLOAT angle) {
    const __m128 n = NormalizeAmd<3>(Load3(v));
    alignas(16) float f[4];
    _mm_store_ps(f, n);
    const float x = f[0], y = f[1], z = f[2], c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    StoreRows(o, _mm_setr_ps(t * x * x + c, t * x * y + s * z, t * x * z - s * y, 0),
              _mm_setr_ps(t * x * y - s * z, t * y * y + c, t * y * z + s * x, 0),
              _mm_setr_ps(t * x * z + s * y, t * y * z - s * x, t * z * z + c, 0), _mm_setr_ps(0, 0, 0, 1));
    return o;
}

D3DXMATRIX* MatrixRotationYawPitchRoll(D3DXMATRIX* o, FLOAT yaw, FLOAT pitch, FLOAT roll) {
    D3DXQUATERNION q;
    ::D3DXQuaternionRotationYawPitchRoll(&q, yaw, pitch, roll);
    return MatrixRotationQuaternion(o, &q);
}

// ---- Quaternions in single precision ----

D3DXQUATERNION* QuaternionRotationAxis(D3DXQUATERNION* o, const D3DXVECTOR3* v, FLOAT angle) {
    const float h = angle * 0.5f, s = std::sin(h);
    const __m128 n = _mm_mul_ps(NormalizeAmd<3>(Load3(v)), _mm_set1_ps(s));
    alignas(16) float f[4];
    _mm_store_ps(f, n);
    f[3] = std::cos(h);
    Store4(o, _mm_load_ps(f));
    return o;
}

void QuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, FLOAT* angle) {
    if (axis) Store3(axis, Load3(q));
    if (angle) *angle = 2.0f * std::acos(q->w);
}

D3DXQUATERNION* QuaternionSlerp(D3DXQUATERNION* o, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2, FLOAT t) {
    const __m128 a = Load4(q1), b = Load4(q2);
    const float c = _mm_cvtss_f32(Dot4(a, b));
    const float sign = c >= 0.0f ? 1.0f : -1.0f, u = sign * c;
    float k1, k2;
    if (1.0f - u > 1.1920929e-07f) {
        const float theta = std::atan2(std::sqrt(1.0f - u * u), u);
        const float invSin = _mm_cvtss_f32(ReciprocalNewton(_mm_set_ss(std::sin(theta))));
        k1 = std::sin((1.0f - t) * theta) * invSin;
        k2 = std::sin(t * theta) * invSin;
    } else {
        k1 = 1.0f - t;
        k2 = t;
    }
    Store4(o, _mm_add_ps(_mm_mul_ps(_mm_set1_ps(k1), a), _mm_mul_ps(_mm_set1_ps(sign * k2), b)));
    return o;
}

D3DXQUATERNION* QuaternionLn(D3DXQUATERNION* o, const D3DXQUATERNION* q) {
    __m128 r = _mm_and_ps(Load4(q), _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0)));
    if (q->w < 1.0f) {
        const float theta = std::acos(q->w), s = std::sin(theta);
        if (!NearlyEqual(s, 0.0)) r = _mm_mul_ps(r, _mm_set1_ps(theta / s));
    }
    Store4(o, r);
    return o;
}

D3DXQUATERNION* QuaternionExp(D3DXQUATERNION* o, const D3DXQUATERNION* q) {
    const __m128 v = Load3(q);
    const float theta = _mm_cvtss_f32(_mm_sqrt_ss(Dot3(v, v)));
    const float s = std::sin(theta);
    alignas(16) float f[4];
    _mm_store_ps(f, NearlyEqual(s, 0.0) ? v : _mm_mul_ps(v, _mm_set1_ps(s / theta)));
    f[3] = std::cos(theta);
    Store4(o, _mm_load_ps(f));
    return o;
}

// ---- Projection ----

D3DXVECTOR3* Vec3Project(D3DXVECTOR3* o, const D3DXVECTOR3* v, const D3DVIEWPORT9* vp, const D3DXMATRIX* projection,
                         const D3DXMATRIX* view, const D3DXMATRIX* world) {
    const D3DXMATRIX m = Combined(projection, view, world);
    D3DXVECTOR3 p;
    Vec3TransformCoord(&p, v, &m);
    if (vp) {
        const __m128 half = _mm_setr_ps(vp->Width * 0.5f, vp->Height * -0.5f, vp->MaxZ - vp->MinZ, 0);
        const __m128 bias = _mm_setr_ps(1.0f, -1.0f, 0.0f, 0.0f);
        const __m128 origin = _mm_setr_ps(static_cast<float>(vp->X), static_cast<float>(vp->Y), vp->MinZ, 0);
        Store3(&p, _mm_add_ps(origin, _mm_mul_ps(_mm_add_ps(Load3(&p), bias), half)));
    }
    *o = p;
    return o;
}

// The Athlon unprojection: the combined matrix inverted by the AMD inverse; null when it is singular.
D3DXVECTOR3* Vec3UnprojectAthlon(D3DXVECTOR3* o, const D3DXVECTOR3* v, const D3DVIEWPORT9* vp,
                                 const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world) {
    D3DXMATRIX m = Combined(projection, view, world);
    if (!MatrixInverse(&m, nullptr, &m)) return nullptr;
    D3DXVECTOR3 p = *v;
    if (vp) {
        const __m128 scale = _mm_setr_ps(2.0f / vp->Width, -2.0f / vp->Height, 1.0f / (vp->MaxZ - vp->MinZ), 0);
        const __m128 origin = _mm_setr_ps(static_cast<float>(vp->X), static_cast<float>(vp->Y), vp->MinZ, 0);
        Store3(&p, _mm_add_ps(_mm_mul_ps(_mm_sub_ps(Load3(v), origin), scale), _mm_setr_ps(-1.0f, 1.0f, 0, 0)));
    }
    return Vec3TransformCoord(o, &p, &m);
}

// The Athlon transformation composition: the reference composition with the Athlon rotation matrix builder.
D3DXMATRIX* MatrixTransformationAthlon(D3DXMATRIX* o, const D3DXVECTOR3* sc, const D3DXQUATERNION* sr,
                                       const D3DXVECTOR3* s, const D3DXVECTOR3* rc, const D3DXQUATERNION* r,
                                       const D3DXVECTOR3* t) {
    D3DXMATRIX result, step, scaleRotation;
    MatrixTranslation(&result, sc ? -sc->x : 0.0f, sc ? -sc->y : 0.0f, sc ? -sc->z : 0.0f);
    if (sr) {
        MatrixRotationQuaternionAthlon(&scaleRotation, sr);
        MatrixTranspose(&step, &scaleRotation);
        ::D3DXMatrixMultiply(&result, &result, &step);
    }
    if (s) {
        MatrixScaling(&step, s->x, s->y, s->z);
        ::D3DXMatrixMultiply(&result, &result, &step);
    }
    if (sr) ::D3DXMatrixMultiply(&result, &result, &scaleRotation);
    __m128 row3 = Load4(result.m[3]);
    if (sc) row3 = _mm_add_ps(row3, Load3(sc));
    if (r) {
        if (rc) row3 = _mm_sub_ps(row3, Load3(rc));
        Store4(result.m[3], row3);
        MatrixRotationQuaternionAthlon(&step, r);
        ::D3DXMatrixMultiply(&result, &result, &step);
        row3 = Load4(result.m[3]);
        if (rc) row3 = _mm_add_ps(row3, Load3(rc));
    }
    if (t) row3 = _mm_add_ps(row3, Load3(t));
    Store4(result.m[3], row3);
    *o = result;
    return o;
}

// ---- Half floats: the reference below four elements, otherwise groups of four; a last partial group is
// taken as the last four elements, converting up to three of them twice with the same result ----

D3DXFLOAT16* Float32To16Array(D3DXFLOAT16* o, const FLOAT* in, UINT n) {
    if (n < 4) return reference::D3DXFloat32To16Array(o, in, n);
    auto* out = reinterpret_cast<std::uint16_t*>(o);
    for (UINT i = 0; i < n; i += 4) {
        const UINT at = i + 4 <= n ? i : n - 4;
        FloatToHalf4Elements(out + at, in + at);
    }
    return o;
}

FLOAT* Float16To32Array(FLOAT* o, const D3DXFLOAT16* in, UINT n) {
    if (n < 4) return reference::D3DXFloat16To32Array(o, in, n);
    const auto* h = reinterpret_cast<const std::uint16_t*>(in);
    for (UINT i = 0; i < n; i += 4) {
        const UINT at = i + 4 <= n ? i : n - 4;
        HalfToFloat4Elements(o + at, h + at);
    }
    return o;
}

// ---- AMD SSE array transforms ----

// One element per step with the four rows held in registers. The count is taken as signed: one past INT_MAX
// (a negative count handed over as unsigned) does no work instead of running over the arrays.
template <int inDim>
void* OneByOne(void* out, UINT os, const void* in, UINT vs, const D3DXMATRIX* m, UINT n) {
    const Rows rows(m);
    const auto count = static_cast<std::int32_t>(n);
    for (std::int32_t i = 0; i < count; ++i) {
        const float* src = At(in, vs, i);
        const __m128 r = inDim == 3 ? Point3(Load3(src), rows) : Vector4(Load4(src), rows);
        Store4(At(out, os, i), r);
    }
    return out;
}

D3DXVECTOR4* Vec3TransformArray(D3DXVECTOR4* o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DXMATRIX* m, UINT n) {
    return static_cast<D3DXVECTOR4*>(OneByOne<3>(o, os, v, vs, m, n));
}
D3DXVECTOR4* Vec4TransformArray(D3DXVECTOR4* o, UINT os, const D3DXVECTOR4* v, UINT vs, const D3DXMATRIX* m, UINT n) {
    return static_cast<D3DXVECTOR4*>(OneByOne<4>(o, os, v, vs, m, n));
}
D3DXPLANE* PlaneTransformArray(D3DXPLANE* o, UINT os, const D3DXPLANE* v, UINT vs, const D3DXMATRIX* m, UINT n) {
    return static_cast<D3DXPLANE*>(OneByOne<4>(o, os, v, vs, m, n));
}

enum class Form { Point, Normal, Coord };

// The per-element formula of the grouped path; coordinate forms always divide.
template <int inDim, int outDim, Form form>
inline void Element(float* dst, const float* src, const Rows& rows) {
    const __m128 v = inDim == 2 ? Load2(src) : Load3(src);
    __m128 r;
    if (form == Form::Normal) r = inDim == 2 ? Normal2(v, rows) : Normal3(v, rows);
    else r = inDim == 2 ? Point2(v, rows) : Point3(v, rows);
    if (form == Form::Coord) r = _mm_mul_ps(r, ReciprocalNewton(Splat<3>(r)));
    if (outDim == 2) Store2(dst, r);
    else if (outDim == 3) Store3(dst, r);
    else Store4(dst, r);
}

// Four elements per step; below four elements, and for the one to three left after the groups, one at a time
// (finishing the tail singly keeps in-place arrays from being transformed twice).
template <int inDim, int outDim, Form form>
void* Grouped(void* out, UINT os, const void* in, UINT vs, const D3DXMATRIX* m, UINT n) {
    const Rows rows(m);
    UINT i = 0;
    if (n >= 4) {
        for (; i + 4 <= n; i += 4) {
            __m128 v[4];
            for (int k = 0; k < 4; ++k) v[k] = inDim == 2 ? Load2(At(in, vs, i + k)) : Load3(At(in, vs, i + k));
            __m128 r[4];
            for (int k = 0; k < 4; ++k) {
                if (form == Form::Normal) r[k] = inDim == 2 ? Normal2(v[k], rows) : Normal3(v[k], rows);
                else r[k] = inDim == 2 ? Point2(v[k], rows) : Point3(v[k], rows);
                if (form == Form::Coord) r[k] = _mm_mul_ps(r[k], ReciprocalNewton(Splat<3>(r[k])));
            }
            for (int k = 0; k < 4; ++k) {
                float* dst = At(out, os, i + k);
                if (outDim == 2) Store2(dst, r[k]);
                else if (outDim == 3) Store3(dst, r[k]);
                else Store4(dst, r[k]);
            }
        }
    } else if (inDim == 3 && form == Form::Coord) {
        // Short coordinate arrays go through the single-vector 3DNow! routine.
        for (; i < n; ++i) {
            D3DXVECTOR3 v, r;
            std::memcpy(&v, At(in, vs, i), sizeof v);
            Vec3TransformCoord(&r, &v, m);
            std::memcpy(At(out, os, i), &r, sizeof r);
        }
        return out;
    }
    for (; i < n; ++i) Element<inDim, outDim, form>(At(out, os, i), At(in, vs, i), rows);
    return out;
}

D3DXVECTOR4* Vec2TransformArray(D3DXVECTOR4* o, UINT os, const D3DXVECTOR2* v, UINT vs, const D3DXMATRIX* m, UINT n) {
    return static_cast<D3DXVECTOR4*>(Grouped<2, 4, Form::Point>(o, os, v, vs, m, n));
}
D3DXVECTOR2* Vec2TransformCoordArray(D3DXVECTOR2* o, UINT os, const D3DXVECTOR2* v, UINT vs, const D3DXMATRIX* m,
                                     UINT n) {
    return static_cast<D3DXVECTOR2*>(Grouped<2, 2, Form::Coord>(o, os, v, vs, m, n));
}
D3DXVECTOR2* Vec2TransformNormalArray(D3DXVECTOR2* o, UINT os, const D3DXVECTOR2* v, UINT vs, const D3DXMATRIX* m,
                                      UINT n) {
    return static_cast<D3DXVECTOR2*>(Grouped<2, 2, Form::Normal>(o, os, v, vs, m, n));
}
D3DXVECTOR3* Vec3TransformCoordArray(D3DXVECTOR3* o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DXMATRIX* m,
                                     UINT n) {
    return static_cast<D3DXVECTOR3*>(Grouped<3, 3, Form::Coord>(o, os, v, vs, m, n));
}
D3DXVECTOR3* Vec3TransformNormalArray(D3DXVECTOR3* o, UINT os, const D3DXVECTOR3* v, UINT vs, const D3DXMATRIX* m,
                                      UINT n) {
    return static_cast<D3DXVECTOR3*>(Grouped<3, 3, Form::Normal>(o, os, v, vs, m, n));
}

}  // namespace

void Install3DNowSet(MathRoutineTable& t) {
    // The packed transforms, products, splines and quaternion routines compute the reference formulas with the
    // reference degenerate cases, so the 3DNow! set shares them with the SSE set.
    MathRoutineTable sse = MathReferenceSet();
    InstallSseSet(sse);
    t.D3DXVec2Transform = sse.D3DXVec2Transform;
    t.D3DXVec3Transform = sse.D3DXVec3Transform;
    t.D3DXVec4Transform = sse.D3DXVec4Transform;
    t.D3DXMatrixMultiply = sse.D3DXMatrixMultiply;
    t.D3DXMatrixMultiplyTranspose = sse.D3DXMatrixMultiplyTranspose;
    t.D3DXVec2TransformNormal = sse.D3DXVec2TransformNormal;
    t.D3DXVec3TransformNormal = sse.D3DXVec3TransformNormal;
    t.D3DXVec3Normalize = Vec3Normalize;
    t.D3DXVec4Normalize = Vec4Normalize;
    t.D3DXVec2TransformCoord = Vec2TransformCoord;
    t.D3DXVec3TransformCoord = Vec3TransformCoord;
    t.D3DXMatrixDeterminant = sse.D3DXMatrixDeterminant;
    t.D3DXPlaneFromPointNormal = PlaneFromPointNormal;
    t.D3DXPlaneFromPoints = PlaneFromPoints;
    t.D3DXVec3Project = Vec3Project;
    // Slot 16 keeps the reference composition until the Athlon overrides replace it; its pieces dispatch here.
    t.D3DXVec3Unproject = reference::D3DXVec3Unproject;
    t.D3DXVec4Cross = sse.D3DXVec4Cross;
    t.D3DXVec2Hermite = sse.D3DXVec2Hermite;
    t.D3DXMatrixInverse = MatrixInverse;
    t.D3DXQuaternionMultiply = sse.D3DXQuaternionMultiply;
    t.D3DXQuaternionNormalize = QuaternionNormalize;
    t.D3DXPlaneNormalize = PlaneNormalize;
    t.D3DXPlaneIntersectLine = sse.D3DXPlaneIntersectLine;
    t.D3DXQuaternionToAxisAngle = QuaternionToAxisAngle;
    t.D3DXQuaternionRotationMatrix = sse.D3DXQuaternionRotationMatrix;
    t.D3DXQuaternionRotationYawPitchRoll = sse.D3DXQuaternionRotationYawPitchRoll;
    t.D3DXMatrixTranslation = MatrixTranslation;
    t.D3DXMatrixShadow = MatrixShadow;
    t.D3DXMatrixReflect = MatrixReflect;
    t.D3DXQuaternionRotationAxis = QuaternionRotationAxis;
    t.D3DXMatrixRotationX = MatrixRotationX;
    t.D3DXMatrixRotationY = MatrixRotationY;
    t.D3DXMatrixRotationZ = MatrixRotationZ;
    t.D3DXMatrixScaling = MatrixScaling;
    t.D3DXPlaneTransform = sse.D3DXPlaneTransform;
    t.D3DXQuaternionSlerp = QuaternionSlerp;
    // Compositions of dispatched routines: the reference compositions, whose pieces reach the AMD routines.
    t.D3DXQuaternionBaryCentric = reference::D3DXQuaternionBaryCentric;
    t.D3DXMatrixTranspose = MatrixTranspose;
    t.D3DXMatrixRotationQuaternion = MatrixRotationQuaternion;
    t.D3DXMatrixTransformation = reference::D3DXMatrixTransformation;
    t.D3DXMatrixRotationYawPitchRoll = MatrixRotationYawPitchRoll;
    t.D3DXMatrixAffineTransformation = reference::D3DXMatrixAffineTransformation;
    t.D3DXMatrixRotationAxis = MatrixRotationAxis;
    t.D3DXQuaternionSquad = reference::D3DXQuaternionSquad;
    t.D3DXQuaternionInverse = sse.D3DXQuaternionInverse;
    t.D3DXQuaternionSquadSetup = reference::D3DXQuaternionSquadSetup;
    t.D3DXVec2Normalize = Vec2Normalize;
    t.D3DXVec2CatmullRom = sse.D3DXVec2CatmullRom;
    t.D3DXVec2BaryCentric = sse.D3DXVec2BaryCentric;
    t.D3DXVec3Hermite = sse.D3DXVec3Hermite;
    t.D3DXVec3CatmullRom = sse.D3DXVec3CatmullRom;
    t.D3DXVec3BaryCentric = sse.D3DXVec3BaryCentric;
    t.D3DXVec4Hermite = sse.D3DXVec4Hermite;
    t.D3DXVec4CatmullRom = sse.D3DXVec4CatmullRom;
    t.D3DXVec4BaryCentric = sse.D3DXVec4BaryCentric;
    t.D3DXQuaternionLn = QuaternionLn;
    t.D3DXQuaternionExp = QuaternionExp;
    t.D3DXFloat32To16Array = Float32To16Array;
    t.D3DXFloat16To32Array = Float16To32Array;
}

void InstallAthlonSet(MathRoutineTable& t) {
    t.D3DXVec3Unproject = Vec3UnprojectAthlon;
    t.D3DXMatrixInverse = MatrixInverse;
    MathRoutineTable sse = MathReferenceSet();
    InstallSse2Set(sse);
    t.D3DXQuaternionRotationMatrix = sse.D3DXQuaternionRotationMatrix;
    t.D3DXMatrixRotationQuaternion = MatrixRotationQuaternionAthlon;
    t.D3DXMatrixTransformation = MatrixTransformationAthlon;
}

void InstallAmdSseArraySet(MathRoutineTable& t) {
    t.D3DXVec2TransformArray = Vec2TransformArray;
    t.D3DXVec2TransformCoordArray = Vec2TransformCoordArray;
    t.D3DXVec2TransformNormalArray = Vec2TransformNormalArray;
    t.D3DXVec3TransformArray = Vec3TransformArray;
    t.D3DXVec3TransformCoordArray = Vec3TransformCoordArray;
    t.D3DXVec3TransformNormalArray = Vec3TransformNormalArray;
    t.D3DXVec4TransformArray = Vec4TransformArray;
    t.D3DXPlaneTransformArray = PlaneTransformArray;
}

}  // namespace tarn::math

#else

namespace tarn::math {

void Install3DNowSet(MathRoutineTable&) {}
void InstallAthlonSet(MathRoutineTable&) {}
void InstallAmdSseArraySet(MathRoutineTable&) {}

}  // namespace tarn::math

#endif
