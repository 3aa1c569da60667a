// The baseline set, installed by every selection: transforms and products in extended precision, written so that
// out may alias an input without a full temporary, and a normalisation scaled by a table-driven 1/sqrt.
#include <cmath>

#include "ReferenceRoutines.h"

using namespace tarn::math::detail;

namespace tarn::math {
namespace {

using Ext = long double;

// Piecewise-linear 1/sqrt(m) for m in [0.5, 2): 256 segments of 1/512 below 1, 256 of 1/256 above. The slope is
// the secant slope between the float values of 1/sqrt at the segment's ends, cut to 16 significant bits (low 8
// fraction bits cleared); the line passes through the segment's left end. 1/sqrt is convex, so the line lies
// just above it over the segment, and the cut slope dips it slightly below near the right end.
struct RsqrtTable {
    float slope[512];
    float intercept[512];
    RsqrtTable() {
        for (int i = 0; i < 512; ++i) {
            const double m0 = i < 256 ? 0.5 + i / 512.0 : 1.0 + (i - 256) / 256.0;
            const double width = i < 256 ? 1.0 / 512.0 : 1.0 / 256.0;
            const float f0 = static_cast<float>(1.0 / std::sqrt(m0));
            const float f1 = static_cast<float>(1.0 / std::sqrt(m0 + width));
            const float secant = (f1 - f0) / static_cast<float>(width);
            const float s = BitsFloat(FloatBits(secant) & 0xFFFFFF00u);
            slope[i] = s;
            intercept[i] = static_cast<float>(static_cast<double>(f0) - static_cast<double>(s) * m0);
        }
    }
};

const RsqrtTable& Table() {
    static const RsqrtTable table;
    return table;
}

D3DXVECTOR4* Vec2Transform(D3DXVECTOR4* o, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    const Ext x = v->x, y = v->y;
    const float r0 = float(x * m->_11 + y * m->_21 + m->_41), r1 = float(x * m->_12 + y * m->_22 + m->_42),
                r2 = float(x * m->_13 + y * m->_23 + m->_43), r3 = float(x * m->_14 + y * m->_24 + m->_44);
    o->x = r0; o->y = r1; o->z = r2; o->w = r3;
    return o;
}

D3DXVECTOR4* Vec3Transform(D3DXVECTOR4* o, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    const Ext x = v->x, y = v->y, z = v->z;
    const float r0 = float(x * m->_11 + y * m->_21 + z * m->_31 + m->_41),
                r1 = float(x * m->_12 + y * m->_22 + z * m->_32 + m->_42),
                r2 = float(x * m->_13 + y * m->_23 + z * m->_33 + m->_43),
                r3 = float(x * m->_14 + y * m->_24 + z * m->_34 + m->_44);
    o->x = r0; o->y = r1; o->z = r2; o->w = r3;
    return o;
}

void Row4(float* o, const float* v, const D3DXMATRIX* m) {
    const Ext x = v[0], y = v[1], z = v[2], w = v[3];
    const float r0 = float(x * m->_11 + y * m->_21 + z * m->_31 + w * m->_41),
                r1 = float(x * m->_12 + y * m->_22 + z * m->_32 + w * m->_42),
                r2 = float(x * m->_13 + y * m->_23 + z * m->_33 + w * m->_43),
                r3 = float(x * m->_14 + y * m->_24 + z * m->_34 + w * m->_44);
    o[0] = r0; o[1] = r1; o[2] = r2; o[3] = r3;
}

// Slots 2 and 35 share this routine.
D3DXVECTOR4* Vec4Transform(D3DXVECTOR4* o, const D3DXVECTOR4* v, const D3DXMATRIX* m) {
    Row4(&o->x, &v->x, m);
    return o;
}
D3DXPLANE* PlaneTransform(D3DXPLANE* o, const D3DXPLANE* p, const D3DXMATRIX* m) {
    Row4(&o->a, &p->a, m);
    return o;
}

inline float Dot(const D3DXMATRIX* a, int i, const D3DXMATRIX* b, int j) {
    return float(Ext(a->m[i][0]) * b->m[0][j] + Ext(a->m[i][1]) * b->m[1][j] + Ext(a->m[i][2]) * b->m[2][j] +
                 Ext(a->m[i][3]) * b->m[3][j]);
}

// Row by row when out is m1 (each row of m1 is consumed before it is overwritten), column by column when out is
// m2, through a copy of m2 when out is both.
D3DXMATRIX* MatrixMultiply(D3DXMATRIX* o, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    D3DXMATRIX copy;
    if (o == b && o != a) {
        for (int j = 0; j < 4; ++j) {
            const float c0 = Dot(a, 0, b, j), c1 = Dot(a, 1, b, j), c2 = Dot(a, 2, b, j), c3 = Dot(a, 3, b, j);
            o->m[0][j] = c0; o->m[1][j] = c1; o->m[2][j] = c2; o->m[3][j] = c3;
        }
        return o;
    }
    if (o == b) {
        copy = *b;
        b = &copy;
    }
    for (int i = 0; i < 4; ++i) {
        const float r0 = Dot(a, i, b, 0), r1 = Dot(a, i, b, 1), r2 = Dot(a, i, b, 2), r3 = Dot(a, i, b, 3);
        o->m[i][0] = r0; o->m[i][1] = r1; o->m[i][2] = r2; o->m[i][3] = r3;
    }
    return o;
}

D3DXMATRIX* MatrixMultiplyTranspose(D3DXMATRIX* o, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    float t[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) t[j][i] = Dot(a, i, b, j);
    std::memcpy(o->m, t, sizeof t);
    return o;
}

D3DXVECTOR2* Vec2TransformNormal(D3DXVECTOR2* o, const D3DXVECTOR2* v, const D3DXMATRIX* m) {
    const Ext x = v->x, y = v->y;
    const float r0 = float(x * m->_11 + y * m->_21), r1 = float(x * m->_12 + y * m->_22);
    o->x = r0; o->y = r1;
    return o;
}

D3DXVECTOR3* Vec3TransformNormal(D3DXVECTOR3* o, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    const Ext x = v->x, y = v->y, z = v->z;
    const float r0 = float(x * m->_11 + y * m->_21 + z * m->_31), r1 = float(x * m->_12 + y * m->_22 + z * m->_32),
                r2 = float(x * m->_13 + y * m->_23 + z * m->_33);
    o->x = r0; o->y = r1; o->z = r2;
    return o;
}

// Only an exact zero gives the zero vector; within 1e-5 of unit length the vector is copied.
D3DXVECTOR3* Vec3Normalize(D3DXVECTOR3* o, const D3DXVECTOR3* v) {
    const float x = v->x, y = v->y, z = v->z;
    const float n = float(Ext(x) * x + Ext(y) * y + Ext(z) * z);
    if (FloatBits(n) == 0) {
        o->x = o->y = o->z = 0.0f;
    } else if ((FloatBits(n - 1.0f) & 0x7FFFFFFFu) > FloatBits(1e-5f)) {
        const Ext r = ApproxReciprocalSqrt(n);
        o->x = float(x * r); o->y = float(y * r); o->z = float(z * r);
    } else if (o != v) {
        *o = *v;
    }
    return o;
}

}  // namespace

double ApproxReciprocalSqrt(float x) {
    const std::uint32_t b = FloatBits(x);
    const std::uint32_t i = (b >> 15) & 0x1FFu;
    const float m = BitsFloat((b & 0x00FFFFFFu) | 0x3F000000u);
    const float scale = BitsFloat(((0xBEFFFFFFu - b) >> 1) & 0xFF800000u);
    const RsqrtTable& t = Table();
    // The line is evaluated and scaled without rounding to float (the scale is a power of two).
    return (static_cast<double>(m) * t.slope[i] + t.intercept[i]) * scale;
}

void InstallBaselineSet(MathRoutineTable& t) {
    Table();
    t.D3DXVec2Transform = Vec2Transform;
    t.D3DXVec3Transform = Vec3Transform;
    t.D3DXVec4Transform = Vec4Transform;
    t.D3DXMatrixMultiply = MatrixMultiply;
    t.D3DXMatrixMultiplyTranspose = MatrixMultiplyTranspose;
    t.D3DXVec2TransformNormal = Vec2TransformNormal;
    t.D3DXVec3TransformNormal = Vec3TransformNormal;
    t.D3DXVec3Normalize = Vec3Normalize;
    t.D3DXPlaneTransform = PlaneTransform;
}

}  // namespace tarn::math
