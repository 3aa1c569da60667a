// Reference vector and plane routines: transforms, normalisation, splines, projection and the mesh helpers.
#include <cmath>

#include "ReferenceRoutines.h"

using namespace tarn::math::detail;

namespace {

// (v0, v1, v2, v3) * m in double precision.
inline void Row4(double out[4], double v0, double v1, double v2, double v3, const D3DXMATRIX* m) {
    for (int j = 0; j < 4; ++j) out[j] = v0 * m->m[0][j] + v1 * m->m[1][j] + v2 * m->m[2][j] + v3 * m->m[3][j];
}

// The normalisation pattern shared by every reference normaliser: n from `measured` components, near-1 copy,
// tiny gives zero, otherwise scale all `count` components by 1/sqrt(n).
template <int measured, int count, typename T>
void Normalize(T* outStruct, const T* inStruct) {
    static_assert(sizeof(T) == count * sizeof(float));
    float* out = reinterpret_cast<float*>(outStruct);
    const float* v = reinterpret_cast<const float*>(inStruct);
    double sum = 0.0;
    for (int i = 0; i < measured; ++i) sum += static_cast<double>(v[i]) * v[i];
    const float n = static_cast<float>(sum);
    if (NearlyEqual(n, 1.0)) {
        if (out != v)
            for (int i = 0; i < count; ++i) out[i] = v[i];
        return;
    }
    float t[count];
    if (IsTiny(n)) {
        for (float& c : t) c = 0.0f;
    } else {
        const double r = 1.0 / std::sqrt(static_cast<double>(n));
        for (int i = 0; i < count; ++i) t[i] = static_cast<float>(v[i] * r);
    }
    for (int i = 0; i < count; ++i) out[i] = t[i];
}

inline float Blend3(double w0, double a, double w1, double b, double w2, double c) {
    return static_cast<float>(w0 * a + w1 * b + w2 * c);
}
inline float Blend4(double w0, double a, double w1, double b, double w2, double c, double w3, double d) {
    return static_cast<float>(w0 * a + w1 * b + w2 * c + w3 * d);
}

struct Hermite {
    double h1, h2, h3, h4;
    explicit Hermite(double s) {
        const double s2 = s * s, s3 = s2 * s;
        h1 = 2 * s3 - 3 * s2 + 1;
        h2 = s3 - 2 * s2 + s;
        h3 = -2 * s3 + 3 * s2;
        h4 = s3 - s2;
    }
};
struct CatmullRom {
    double k0, k1, k2, k3;
    explicit CatmullRom(double s) {
        const double s2 = s * s, s3 = s2 * s;
        k0 = 0.5 * (-s3 + 2 * s2 - s);
        k1 = 0.5 * (3 * s3 - 5 * s2 + 2);
        k2 = 0.5 * (-3 * s3 + 4 * s2 + s);
        k3 = 0.5 * (s3 - s2);
    }
};

void ToViewport(D3DXVECTOR3* p, const D3DVIEWPORT9* vp) {
    const double x = vp->X + (1.0 + p->x) * static_cast<double>(vp->Width) * 0.5;
    const double y = vp->Y + (1.0 - p->y) * static_cast<double>(vp->Height) * 0.5;
    const double z = vp->MinZ + static_cast<double>(p->z) * (static_cast<double>(vp->MaxZ) - vp->MinZ);
    p->x = static_cast<float>(x);
    p->y = static_cast<float>(y);
    p->z = static_cast<float>(z);
}

D3DXVECTOR3 FromViewport(const D3DXVECTOR3* v, const D3DVIEWPORT9* vp) {
    return D3DXVECTOR3(static_cast<float>(2.0 * (v->x - static_cast<double>(vp->X)) / vp->Width - 1.0),
                       static_cast<float>(-(2.0 * (v->y - static_cast<double>(vp->Y)) / vp->Height - 1.0)),
                       static_cast<float>((v->z - static_cast<double>(vp->MinZ)) /
                                          (static_cast<double>(vp->MaxZ) - vp->MinZ)));
}

}  // namespace

namespace tarn::math::detail {

D3DXMATRIX Combined(const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world) {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    if (world) m = *world;
    if (view) ::D3DXMatrixMultiply(&m, &m, view);
    if (projection) ::D3DXMatrixMultiply(&m, &m, projection);
    return m;
}

}  // namespace tarn::math::detail

namespace tarn::math::reference {

D3DXVECTOR4* D3DXVec2Transform(D3DXVECTOR4* o, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    double r[4];
    Row4(r, v->x, v->y, 0.0, 1.0, m);
    *o = D3DXVECTOR4(float(r[0]), float(r[1]), float(r[2]), float(r[3]));
    return o;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* o, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    double r[4];
    Row4(r, v->x, v->y, v->z, 1.0, m);
    *o = D3DXVECTOR4(float(r[0]), float(r[1]), float(r[2]), float(r[3]));
    return o;
}

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* o, const D3DXVECTOR4* v, const D3DXMATRIX* m) {
    double r[4];
    Row4(r, v->x, v->y, v->z, v->w, m);
    *o = D3DXVECTOR4(float(r[0]), float(r[1]), float(r[2]), float(r[3]));
    return o;
}

D3DXPLANE* D3DXPlaneTransform(D3DXPLANE* o, const D3DXPLANE* p, const D3DXMATRIX* m) {
    double r[4];
    Row4(r, p->a, p->b, p->c, p->d, m);
    *o = D3DXPLANE(float(r[0]), float(r[1]), float(r[2]), float(r[3]));
    return o;
}

D3DXVECTOR2* D3DXVec2TransformNormal(D3DXVECTOR2* o, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    double r[4];
    Row4(r, v->x, v->y, 0.0, 0.0, m);
    *o = D3DXVECTOR2(float(r[0]), float(r[1]));
    return o;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* o, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    double r[4];
    Row4(r, v->x, v->y, v->z, 0.0, m);
    *o = D3DXVECTOR3(float(r[0]), float(r[1]), float(r[2]));
    return o;
}

D3DXVECTOR2* D3DXVec2TransformCoord(D3DXVECTOR2* o, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    double r[4];
    Row4(r, v->x, v->y, 0.0, 1.0, m);
    const float w = static_cast<float>(r[3]);
    if (!NearlyEqual(w, 1.0)) {
        const double inv = 1.0 / w;
        r[0] = static_cast<float>(r[0]) * inv;
        r[1] = static_cast<float>(r[1]) * inv;
    }
    *o = D3DXVECTOR2(float(r[0]), float(r[1]));
    return o;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* o, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    double r[4];
    Row4(r, v->x, v->y, v->z, 1.0, m);
    const float w = static_cast<float>(r[3]);
    if (!NearlyEqual(w, 1.0)) {
        const double inv = 1.0 / w;
        for (int i = 0; i < 3; ++i) r[i] = static_cast<float>(r[i]) * inv;
    }
    *o = D3DXVECTOR3(float(r[0]), float(r[1]), float(r[2]));
    return o;
}

D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* o, const D3DXVECTOR2* v) {
    Normalize<2, 2>(o, v);
    return o;
}
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* o, const D3DXVECTOR3* v) {
    Normalize<3, 3>(o, v);
    return o;
}
D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* o, const D3DXVECTOR4* v) {
    Normalize<4, 4>(o, v);
    return o;
}
D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* o, const D3DXQUATERNION* q) {
    Normalize<4, 4>(o, q);
    return o;
}
D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* o, const D3DXPLANE* p) {
    Normalize<3, 4>(o, p);
    return o;
}

D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* o, const D3DXVECTOR3* point, const D3DXVECTOR3* normal) {
    const double d = static_cast<double>(normal->x) * point->x + static_cast<double>(normal->y) * point->y +
                     static_cast<double>(normal->z) * point->z;
    *o = D3DXPLANE(normal->x, normal->y, normal->z, static_cast<float>(-d));
    return o;
}

D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* o, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2, const D3DXVECTOR3* p3) {
    const D3DXVECTOR3 e1 = *p2 - *p1, e2 = *p3 - *p1;
    D3DXVECTOR3 n(static_cast<float>(static_cast<double>(e1.y) * e2.z - static_cast<double>(e1.z) * e2.y),
                  static_cast<float>(static_cast<double>(e1.z) * e2.x - static_cast<double>(e1.x) * e2.z),
                  static_cast<float>(static_cast<double>(e1.x) * e2.y - static_cast<double>(e1.y) * e2.x));
    const D3DXVECTOR3 point = *p1;
    ::D3DXVec3Normalize(&n, &n);
    return tarn::math::reference::D3DXPlaneFromPointNormal(o, &point, &n);
}

D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* o, const D3DXPLANE* p, const D3DXVECTOR3* v1,
                                    const D3DXVECTOR3* v2) {
    const double n1 = static_cast<double>(p->a) * v1->x + static_cast<double>(p->b) * v1->y +
                      static_cast<double>(p->c) * v1->z;
    const double n2 = static_cast<double>(p->a) * v2->x + static_cast<double>(p->b) * v2->y +
                      static_cast<double>(p->c) * v2->z;
    const double denom = n1 - n2;
    if (denom == 0.0) return nullptr;
    const float t = static_cast<float>((n1 + p->d) / denom);
    if (!std::isfinite(t)) return nullptr;
    const D3DXVECTOR3 a = *v1, b = *v2;
    o->x = static_cast<float>(a.x + static_cast<double>(t) * (static_cast<double>(b.x) - a.x));
    o->y = static_cast<float>(a.y + static_cast<double>(t) * (static_cast<double>(b.y) - a.y));
    o->z = static_cast<float>(a.z + static_cast<double>(t) * (static_cast<double>(b.z) - a.z));
    return o;
}

D3DXVECTOR3* D3DXVec3Project(D3DXVECTOR3* o, const D3DXVECTOR3* v, const D3DVIEWPORT9* vp,
                             const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world) {
    const D3DXMATRIX m = Combined(projection, view, world);
    D3DXVECTOR3 p;
    ::D3DXVec3TransformCoord(&p, v, &m);
    if (vp) ToViewport(&p, vp);
    *o = p;
    return o;
}

D3DXVECTOR3* D3DXVec3Unproject(D3DXVECTOR3* o, const D3DXVECTOR3* v, const D3DVIEWPORT9* vp,
                               const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world) {
    D3DXMATRIX m = Combined(projection, view, world);
    // A singular combined matrix has no unprojection: report it instead of transforming by the forward matrix.
    if (!::D3DXMatrixInverse(&m, nullptr, &m)) return nullptr;
    const D3DXVECTOR3 p = vp ? FromViewport(v, vp) : *v;
    return ::D3DXVec3TransformCoord(o, &p, &m);
}

D3DXVECTOR4* D3DXVec4Cross(D3DXVECTOR4* o, const D3DXVECTOR4* u, const D3DXVECTOR4* v, const D3DXVECTOR4* w) {
    const double a = static_cast<double>(v->x) * w->y - static_cast<double>(v->y) * w->x;
    const double b = static_cast<double>(v->x) * w->z - static_cast<double>(v->z) * w->x;
    const double c = static_cast<double>(v->x) * w->w - static_cast<double>(v->w) * w->x;
    const double d = static_cast<double>(v->y) * w->z - static_cast<double>(v->z) * w->y;
    const double e = static_cast<double>(v->y) * w->w - static_cast<double>(v->w) * w->y;
    const double f = static_cast<double>(v->z) * w->w - static_cast<double>(v->w) * w->z;
    const D3DXVECTOR4 r(static_cast<float>(f * u->y - e * u->z + d * u->w),
                        static_cast<float>(-(f * u->x - c * u->z + b * u->w)),
                        static_cast<float>(e * u->x - c * u->y + a * u->w),
                        static_cast<float>(-(d * u->x - b * u->y + a * u->z)));
    *o = r;
    return o;
}

D3DXVECTOR2* D3DXVec2Hermite(D3DXVECTOR2* o, const D3DXVECTOR2* p1, const D3DXVECTOR2* t1, const D3DXVECTOR2* p2,
                             const D3DXVECTOR2* t2, FLOAT s) {
    const Hermite h(s);
    *o = D3DXVECTOR2(Blend4(h.h1, p1->x, h.h2, t1->x, h.h3, p2->x, h.h4, t2->x),
                     Blend4(h.h1, p1->y, h.h2, t1->y, h.h3, p2->y, h.h4, t2->y));
    return o;
}
D3DXVECTOR3* D3DXVec3Hermite(D3DXVECTOR3* o, const D3DXVECTOR3* p1, const D3DXVECTOR3* t1, const D3DXVECTOR3* p2,
                             const D3DXVECTOR3* t2, FLOAT s) {
    const Hermite h(s);
    *o = D3DXVECTOR3(Blend4(h.h1, p1->x, h.h2, t1->x, h.h3, p2->x, h.h4, t2->x),
                     Blend4(h.h1, p1->y, h.h2, t1->y, h.h3, p2->y, h.h4, t2->y),
                     Blend4(h.h1, p1->z, h.h2, t1->z, h.h3, p2->z, h.h4, t2->z));
    return o;
}
D3DXVECTOR4* D3DXVec4Hermite(D3DXVECTOR4* o, const D3DXVECTOR4* p1, const D3DXVECTOR4* t1, const D3DXVECTOR4* p2,
                             const D3DXVECTOR4* t2, FLOAT s) {
    const Hermite h(s);
    *o = D3DXVECTOR4(Blend4(h.h1, p1->x, h.h2, t1->x, h.h3, p2->x, h.h4, t2->x),
                     Blend4(h.h1, p1->y, h.h2, t1->y, h.h3, p2->y, h.h4, t2->y),
                     Blend4(h.h1, p1->z, h.h2, t1->z, h.h3, p2->z, h.h4, t2->z),
                     Blend4(h.h1, p1->w, h.h2, t1->w, h.h3, p2->w, h.h4, t2->w));
    return o;
}

D3DXVECTOR2* D3DXVec2CatmullRom(D3DXVECTOR2* o, const D3DXVECTOR2* p0, const D3DXVECTOR2* p1, const D3DXVECTOR2* p2,
                                const D3DXVECTOR2* p3, FLOAT s) {
    const CatmullRom k(s);
    *o = D3DXVECTOR2(Blend4(k.k0, p0->x, k.k1, p1->x, k.k2, p2->x, k.k3, p3->x),
                     Blend4(k.k0, p0->y, k.k1, p1->y, k.k2, p2->y, k.k3, p3->y));
    return o;
}
D3DXVECTOR3* D3DXVec3CatmullRom(D3DXVECTOR3* o, const D3DXVECTOR3* p0, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2,
                                const D3DXVECTOR3* p3, FLOAT s) {
    const CatmullRom k(s);
    *o = D3DXVECTOR3(Blend4(k.k0, p0->x, k.k1, p1->x, k.k2, p2->x, k.k3, p3->x),
                     Blend4(k.k0, p0->y, k.k1, p1->y, k.k2, p2->y, k.k3, p3->y),
                     Blend4(k.k0, p0->z, k.k1, p1->z, k.k2, p2->z, k.k3, p3->z));
    return o;
}
D3DXVECTOR4* D3DXVec4CatmullRom(D3DXVECTOR4* o, const D3DXVECTOR4* p0, const D3DXVECTOR4* p1, const D3DXVECTOR4* p2,
                                const D3DXVECTOR4* p3, FLOAT s) {
    const CatmullRom k(s);
    *o = D3DXVECTOR4(Blend4(k.k0, p0->x, k.k1, p1->x, k.k2, p2->x, k.k3, p3->x),
                     Blend4(k.k0, p0->y, k.k1, p1->y, k.k2, p2->y, k.k3, p3->y),
                     Blend4(k.k0, p0->z, k.k1, p1->z, k.k2, p2->z, k.k3, p3->z),
                     Blend4(k.k0, p0->w, k.k1, p1->w, k.k2, p2->w, k.k3, p3->w));
    return o;
}

// p1 + f (p2 - p1) + g (p3 - p1) = (1 - f - g) p1 + f p2 + g p3.
D3DXVECTOR2* D3DXVec2BaryCentric(D3DXVECTOR2* o, const D3DXVECTOR2* p1, const D3DXVECTOR2* p2,
                                 const D3DXVECTOR2* p3, FLOAT f, FLOAT g) {
    const double e = 1.0 - f - static_cast<double>(g);
    *o = D3DXVECTOR2(Blend3(e, p1->x, f, p2->x, g, p3->x), Blend3(e, p1->y, f, p2->y, g, p3->y));
    return o;
}
D3DXVECTOR3* D3DXVec3BaryCentric(D3DXVECTOR3* o, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2,
                                 const D3DXVECTOR3* p3, FLOAT f, FLOAT g) {
    const double e = 1.0 - f - static_cast<double>(g);
    *o = D3DXVECTOR3(Blend3(e, p1->x, f, p2->x, g, p3->x), Blend3(e, p1->y, f, p2->y, g, p3->y),
                     Blend3(e, p1->z, f, p2->z, g, p3->z));
    return o;
}
D3DXVECTOR4* D3DXVec4BaryCentric(D3DXVECTOR4* o, const D3DXVECTOR4* p1, const D3DXVECTOR4* p2,
                                 const D3DXVECTOR4* p3, FLOAT f, FLOAT g) {
    const double e = 1.0 - f - static_cast<double>(g);
    *o = D3DXVECTOR4(Blend3(e, p1->x, f, p2->x, g, p3->x), Blend3(e, p1->y, f, p2->y, g, p3->y),
                     Blend3(e, p1->z, f, p2->z, g, p3->z), Blend3(e, p1->w, f, p2->w, g, p3->w));
    return o;
}

D3DXVECTOR3* MathBlendVertices(D3DXVECTOR3* o, const D3DXVECTOR3* v, const FLOAT* weights, const BYTE* indices,
                               UINT influences, const D3DXMATRIX* palette, UINT n) {
    for (UINT i = 0; i < n; ++i) {
        const double x = v[i].x, y = v[i].y, z = v[i].z;
        double acc[3] = {0.0, 0.0, 0.0};
        for (UINT k = 0; k < influences; ++k) {
            const double w = weights[static_cast<std::size_t>(i) * influences + k];
            const D3DXMATRIX* m = &palette[indices[static_cast<std::size_t>(i) * influences + k]];
            for (int j = 0; j < 3; ++j) acc[j] += w * (x * m->m[0][j] + y * m->m[1][j] + z * m->m[2][j] + m->m[3][j]);
        }
        o[i] = D3DXVECTOR3(float(acc[0]), float(acc[1]), float(acc[2]));
    }
    return o;
}

D3DXVECTOR3* MathCurvedTriangleControlPoints(D3DXVECTOR3* o, const D3DXVECTOR3* p, const D3DXVECTOR3* n) {
    // Edge point near corner i towards corner j: (2 Pi + Pj - ((Pj - Pi) . Ni) Ni) / 3.
    auto edge = [p, n](int i, int j, double out[3]) {
        const double pi[3] = {p[i].x, p[i].y, p[i].z}, pj[3] = {p[j].x, p[j].y, p[j].z};
        const double ni[3] = {n[i].x, n[i].y, n[i].z};
        const double w = (pj[0] - pi[0]) * ni[0] + (pj[1] - pi[1]) * ni[1] + (pj[2] - pi[2]) * ni[2];
        for (int k = 0; k < 3; ++k) out[k] = (2.0 * pi[k] + pj[k] - w * ni[k]) / 3.0;
    };
    static const int kEdges[6][2] = {{0, 1}, {1, 0}, {1, 2}, {2, 1}, {2, 0}, {0, 2}};
    double e[6][3], sumE[3] = {0, 0, 0}, sumV[3] = {0, 0, 0};
    for (int k = 0; k < 6; ++k) {
        edge(kEdges[k][0], kEdges[k][1], e[k]);
        for (int c = 0; c < 3; ++c) sumE[c] += e[k][c];
    }
    for (int i = 0; i < 3; ++i) sumV[0] += p[i].x, sumV[1] += p[i].y, sumV[2] += p[i].z;
    double centre[3];
    for (int c = 0; c < 3; ++c) {
        const double E = sumE[c] / 6.0, V = sumV[c] / 3.0;
        centre[c] = E + (E - V) * 0.5;
    }
    D3DXVECTOR3 r[10];
    for (int i = 0; i < 3; ++i) r[i] = p[i];
    for (int k = 0; k < 6; ++k) r[3 + k] = D3DXVECTOR3(float(e[k][0]), float(e[k][1]), float(e[k][2]));
    r[9] = D3DXVECTOR3(float(centre[0]), float(centre[1]), float(centre[2]));
    for (int i = 0; i < 10; ++i) o[i] = r[i];
    return o;
}

}  // namespace tarn::math::reference
