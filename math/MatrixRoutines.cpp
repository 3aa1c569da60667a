// Reference matrix routines and the plain view and projection builders.
#include <cmath>

#include "ReferenceRoutines.h"
#include "platform/d3d9/D3D9.h"

using namespace tarn::math::detail;

namespace {

void SetIdentity(D3DXMATRIX* o) { D3DXMatrixIdentity(o); }

// Cofactors by complementary 2x2 minors: A from columns 0-1, B from columns 2-3, one per pair of rows.
// Returns the determinant (expansion along column 0); cof[i][j] is the signed minor of element (i, j).
double Cofactors(const D3DXMATRIX* pm, double cof[4][4]) {
    double a[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) a[r][c] = pm->m[r][c];
    double A[4][4], B[4][4];
    for (int p = 0; p < 4; ++p)
        for (int q = 0; q < 4; ++q) {
            A[p][q] = a[p][0] * a[q][1] - a[q][0] * a[p][1];
            B[p][q] = a[p][2] * a[q][3] - a[q][2] * a[p][3];
        }
    for (int i = 0; i < 4; ++i) {
        int rows[3], k = 0;
        for (int r = 0; r < 4; ++r)
            if (r != i) rows[k++] = r;
        const int r0 = rows[0], r1 = rows[1], r2 = rows[2];
        for (int j = 0; j < 4; ++j) {
            double minor;
            if (j < 2) {
                const int o = 1 - j;  // remaining column of the pair 0-1, expanded first
                minor = a[r0][o] * B[r1][r2] - a[r1][o] * B[r0][r2] + a[r2][o] * B[r0][r1];
            } else {
                const int o = 5 - j;  // remaining column of the pair 2-3, expanded last
                minor = a[r0][o] * A[r1][r2] - a[r1][o] * A[r0][r2] + a[r2][o] * A[r0][r1];
            }
            cof[i][j] = ((i + j) & 1) ? -minor : minor;
        }
    }
    return a[0][0] * cof[0][0] + a[1][0] * cof[1][0] + a[2][0] * cof[2][0] + a[3][0] * cof[3][0];
}

void Product(float out[4][4], const D3DXMATRIX* a, const D3DXMATRIX* b) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k) s += static_cast<double>(a->m[i][k]) * b->m[k][j];
            out[i][j] = static_cast<float>(s);
        }
}

}  // namespace

D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                                      const D3DXVECTOR3* up) {
    D3DXVECTOR3 z(at->x - eye->x, at->y - eye->y, at->z - eye->z);
    D3DXVec3Normalize(&z, &z);
    D3DXVECTOR3 x(static_cast<float>(static_cast<double>(up->y) * z.z - static_cast<double>(up->z) * z.y),
                  static_cast<float>(static_cast<double>(up->z) * z.x - static_cast<double>(up->x) * z.z),
                  static_cast<float>(static_cast<double>(up->x) * z.y - static_cast<double>(up->y) * z.x));
    D3DXVec3Normalize(&x, &x);
    D3DXVECTOR3 y(static_cast<float>(static_cast<double>(z.y) * x.z - static_cast<double>(z.z) * x.y),
                  static_cast<float>(static_cast<double>(z.z) * x.x - static_cast<double>(z.x) * x.z),
                  static_cast<float>(static_cast<double>(z.x) * x.y - static_cast<double>(z.y) * x.x));
    auto dot = [eye](const D3DXVECTOR3& v) {
        return static_cast<double>(v.x) * eye->x + static_cast<double>(v.y) * eye->y +
               static_cast<double>(v.z) * eye->z;
    };
    out->_11 = x.x; out->_12 = y.x; out->_13 = z.x; out->_14 = 0.0f;
    out->_21 = x.y; out->_22 = y.y; out->_23 = z.y; out->_24 = 0.0f;
    out->_31 = x.z; out->_32 = y.z; out->_33 = z.z; out->_34 = 0.0f;
    out->_41 = static_cast<float>(-dot(x));
    out->_42 = static_cast<float>(-dot(y));
    out->_43 = static_cast<float>(-dot(z));
    out->_44 = 1.0f;
    return out;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf) {
    const float h = fovy * 0.5f;
    const float s = std::sin(h), c = std::cos(h);
    const double yScale = static_cast<double>(c) / s;
    const double xScale = yScale / aspect;
    const double q = static_cast<double>(zf) / (static_cast<double>(zf) - zn);
    for (auto& row : out->m)
        for (float& v : row) v = 0.0f;
    out->_11 = static_cast<float>(xScale);
    out->_22 = static_cast<float>(yScale);
    out->_33 = static_cast<float>(q);
    out->_34 = 1.0f;
    out->_43 = static_cast<float>(-zn * q);
    return out;
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                              FLOAT zf) {
    SetIdentity(out);
    out->_11 = 2.0f / (r - l);
    out->_22 = 2.0f / (t - b);
    out->_33 = 1.0f / (zf - zn);
    out->_41 = (l + r) / (l - r);
    out->_42 = (t + b) / (b - t);
    out->_43 = zn / (zn - zf);
    return out;
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf) {
    return D3DXMatrixOrthoOffCenterLH(out, -w * 0.5f, w * 0.5f, -h * 0.5f, h * 0.5f, zn, zf);
}

namespace tarn::math::reference {

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* o, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    if (o == a || o == b) {
        float t[4][4];
        Product(t, a, b);
        std::memcpy(o->m, t, sizeof t);
    } else {
        Product(o->m, a, b);
    }
    return o;
}

D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* o, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    float t[4][4];
    Product(t, a, b);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) o->m[i][j] = t[j][i];
    return o;
}

FLOAT D3DXMatrixDeterminant(const D3DXMATRIX* m) {
    double cof[4][4];
    return static_cast<float>(Cofactors(m, cof));
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* o, FLOAT* pDeterminant, const D3DXMATRIX* m) {
    double cof[4][4];
    const double det = Cofactors(m, cof);
    if (pDeterminant) *pDeterminant = static_cast<float>(det);
    if (det == 0.0) return nullptr;
    const float inv = static_cast<float>(1.0 / det);
    if (!std::isfinite(static_cast<double>(inv))) return nullptr;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) o->m[i][j] = static_cast<float>(cof[j][i] * inv);
    return o;
}

HRESULT D3DXMatrixDecompose(D3DXVECTOR3* outScale, D3DXQUATERNION* outRotation, D3DXVECTOR3* outTranslation,
                            const D3DXMATRIX* m) {
    constexpr float kShortAxis = 0.0001f;
    outTranslation->x = m->_41;
    outTranslation->y = m->_42;
    outTranslation->z = m->_43;

    // Each row's length is its scale; a row too short to give a direction is replaced by its own unit axis.
    // The rows are then normalised, and the result is a rotation only when the determinant of that basis is 1
    // within the tolerance: a mirrored basis (determinant -1), a sheared one, or one whose replaced axis lies
    // in the plane of the others is refused.
    const D3DXVECTOR3 unit[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    float scale[3];
    D3DXMATRIX basis;
    SetIdentity(&basis);
    for (int i = 0; i < 3; ++i) {
        D3DXVECTOR3 axis(m->m[i][0], m->m[i][1], m->m[i][2]);
        scale[i] = static_cast<float>(std::sqrt(static_cast<double>(axis.x) * axis.x +
                                                static_cast<double>(axis.y) * axis.y +
                                                static_cast<double>(axis.z) * axis.z));
        if (scale[i] < kShortAxis) axis = unit[i];
        ::D3DXVec3Normalize(&axis, &axis);
        basis.m[i][0] = axis.x;
        basis.m[i][1] = axis.y;
        basis.m[i][2] = axis.z;
    }
    const float det = ::D3DXMatrixDeterminant(&basis);
    const float off = det - 1.0f;
    if (off * off > 0.0001f) return D3DERR_INVALIDCALL;
    outScale->x = scale[0];
    outScale->y = scale[1];
    outScale->z = scale[2];
    ::D3DXQuaternionRotationMatrix(outRotation, &basis);
    return S_OK;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* o, FLOAT x, FLOAT y, FLOAT z) {
    SetIdentity(o);
    o->_41 = x;
    o->_42 = y;
    o->_43 = z;
    return o;
}

D3DXMATRIX* D3DXMatrixShadow(D3DXMATRIX* o, const D3DXVECTOR4* light, const D3DXPLANE* plane) {
    D3DXPLANE p;
    ::D3DXPlaneNormalize(&p, plane);
    const double pv[4] = {p.a, p.b, p.c, p.d};
    const double lv[4] = {light->x, light->y, light->z, light->w};
    const double d = pv[0] * lv[0] + pv[1] * lv[1] + pv[2] * lv[2] + pv[3] * lv[3];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) o->m[i][j] = static_cast<float>((i == j ? d : 0.0) - pv[i] * lv[j]);
    return o;
}

D3DXMATRIX* D3DXMatrixReflect(D3DXMATRIX* o, const D3DXPLANE* plane) {
    D3DXPLANE p;
    ::D3DXPlaneNormalize(&p, plane);
    const double pv[4] = {p.a, p.b, p.c, p.d};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) o->m[i][j] = static_cast<float>((i == j ? 1.0 : 0.0) - 2.0 * pv[i] * pv[j]);
        o->m[i][3] = 0.0f;
        o->m[3][i] = static_cast<float>(-2.0 * pv[3] * pv[i]);
    }
    o->_44 = 1.0f;
    return o;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* o, FLOAT angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    SetIdentity(o);
    o->_22 = c; o->_23 = s;
    o->_32 = -s; o->_33 = c;
    return o;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* o, FLOAT angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    SetIdentity(o);
    o->_11 = c; o->_13 = -s;
    o->_31 = s; o->_33 = c;
    return o;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* o, FLOAT angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    SetIdentity(o);
    o->_11 = c; o->_12 = s;
    o->_21 = -s; o->_22 = c;
    return o;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* o, FLOAT sx, FLOAT sy, FLOAT sz) {
    for (auto& row : o->m)
        for (float& v : row) v = 0.0f;
    o->_11 = sx; o->_22 = sy; o->_33 = sz; o->_44 = 1.0f;
    return o;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* o, const D3DXMATRIX* m) {
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j) {
            const float t = m->m[i][j];
            o->m[i][j] = m->m[j][i];
            o->m[j][i] = t;
        }
    if (o != m)
        for (int i = 0; i < 4; ++i) o->m[i][i] = m->m[i][i];
    return o;
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* o, const D3DXQUATERNION* q) {
    const double x = q->x, y = q->y, z = q->z, w = q->w;
    o->_11 = static_cast<float>(1.0 - 2.0 * y * y - 2.0 * z * z);
    o->_12 = static_cast<float>(2.0 * x * y + 2.0 * z * w);
    o->_13 = static_cast<float>(2.0 * x * z - 2.0 * y * w);
    o->_14 = 0.0f;
    o->_21 = static_cast<float>(2.0 * x * y - 2.0 * z * w);
    o->_22 = static_cast<float>(1.0 - 2.0 * x * x - 2.0 * z * z);
    o->_23 = static_cast<float>(2.0 * y * z + 2.0 * x * w);
    o->_24 = 0.0f;
    o->_31 = static_cast<float>(2.0 * x * z + 2.0 * y * w);
    o->_32 = static_cast<float>(2.0 * y * z - 2.0 * x * w);
    o->_33 = static_cast<float>(1.0 - 2.0 * x * x - 2.0 * y * y);
    o->_34 = 0.0f;
    o->_41 = o->_42 = o->_43 = 0.0f;
    o->_44 = 1.0f;
    return o;
}

D3DXMATRIX* D3DXMatrixTransformation(D3DXMATRIX* o, const D3DXVECTOR3* sc, const D3DXQUATERNION* sr,
                                     const D3DXVECTOR3* s, const D3DXVECTOR3* rc, const D3DXQUATERNION* r,
                                     const D3DXVECTOR3* t) {
    D3DXMATRIX result, step;
    SetIdentity(&result);
    if (sc) result._41 = -sc->x, result._42 = -sc->y, result._43 = -sc->z;
    D3DXMATRIX scaleRotation;
    if (sr) {
        ::D3DXMatrixRotationQuaternion(&scaleRotation, sr);
        ::D3DXMatrixTranspose(&step, &scaleRotation);
        ::D3DXMatrixMultiply(&result, &result, &step);
    }
    if (s) {
        ::D3DXMatrixScaling(&step, s->x, s->y, s->z);
        ::D3DXMatrixMultiply(&result, &result, &step);
    }
    if (sr) ::D3DXMatrixMultiply(&result, &result, &scaleRotation);
    if (sc) result._41 += sc->x, result._42 += sc->y, result._43 += sc->z;
    if (r) {
        if (rc) result._41 -= rc->x, result._42 -= rc->y, result._43 -= rc->z;
        ::D3DXMatrixRotationQuaternion(&step, r);
        ::D3DXMatrixMultiply(&result, &result, &step);
        if (rc) result._41 += rc->x, result._42 += rc->y, result._43 += rc->z;
    }
    if (t) result._41 += t->x, result._42 += t->y, result._43 += t->z;
    *o = result;
    return o;
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* o, FLOAT yaw, FLOAT pitch, FLOAT roll) {
    D3DXQUATERNION q;
    ::D3DXQuaternionRotationYawPitchRoll(&q, yaw, pitch, roll);
    return ::D3DXMatrixRotationQuaternion(o, &q);
}

D3DXMATRIX* D3DXMatrixAffineTransformation(D3DXMATRIX* o, FLOAT scaling, const D3DXVECTOR3* rc,
                                           const D3DXQUATERNION* r, const D3DXVECTOR3* t) {
    D3DXMATRIX result;
    ::D3DXMatrixScaling(&result, scaling, scaling, scaling);
    if (r) {
        D3DXMATRIX rotation;
        ::D3DXMatrixRotationQuaternion(&rotation, r);
        if (rc) result._41 -= rc->x, result._42 -= rc->y, result._43 -= rc->z;
        ::D3DXMatrixMultiply(&result, &result, &rotation);
        if (rc) result._41 += rc->x, result._42 += rc->y, result._43 += rc->z;
    }
    if (t) result._41 += t->x, result._42 += t->y, result._43 += t->z;
    *o = result;
    return o;
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* o, const D3DXVECTOR3* v, FLOAT angle) {
    D3DXVECTOR3 n;
    ::D3DXVec3Normalize(&n, v);
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    const double x = n.x, y = n.y, z = n.z;
    o->_11 = static_cast<float>(t * x * x + c);
    o->_12 = static_cast<float>(t * x * y + s * z);
    o->_13 = static_cast<float>(t * x * z - s * y);
    o->_14 = 0.0f;
    o->_21 = static_cast<float>(t * x * y - s * z);
    o->_22 = static_cast<float>(t * y * y + c);
    o->_23 = static_cast<float>(t * y * z + s * x);
    o->_24 = 0.0f;
    o->_31 = static_cast<float>(t * x * z + s * y);
    o->_32 = static_cast<float>(t * y * z - s * x);
    o->_33 = static_cast<float>(t * z * z + c);
    o->_34 = 0.0f;
    o->_41 = o->_42 = o->_43 = 0.0f;
    o->_44 = 1.0f;
    return o;
}

D3DXMATRIX* D3DXMatrixTransformation2D(D3DXMATRIX* o, const D3DXVECTOR2* sc, FLOAT sr, const D3DXVECTOR2* s,
                                       const D3DXVECTOR2* rc, FLOAT r, const D3DXVECTOR2* t) {
    D3DXMATRIX result, step;
    SetIdentity(&result);
    if (sc) result._41 = -sc->x, result._42 = -sc->y;
    D3DXMATRIX scaleRotation;
    ::D3DXMatrixRotationZ(&scaleRotation, sr);
    ::D3DXMatrixTranspose(&step, &scaleRotation);
    ::D3DXMatrixMultiply(&result, &result, &step);
    if (s) {
        ::D3DXMatrixScaling(&step, s->x, s->y, 1.0f);
        ::D3DXMatrixMultiply(&result, &result, &step);
    }
    ::D3DXMatrixMultiply(&result, &result, &scaleRotation);
    if (sc) result._41 += sc->x, result._42 += sc->y;
    if (rc) result._41 -= rc->x, result._42 -= rc->y;
    ::D3DXMatrixRotationZ(&step, r);
    ::D3DXMatrixMultiply(&result, &result, &step);
    if (rc) result._41 += rc->x, result._42 += rc->y;
    if (t) result._41 += t->x, result._42 += t->y;
    *o = result;
    return o;
}

D3DXMATRIX* D3DXMatrixAffineTransformation2D(D3DXMATRIX* o, FLOAT s, const D3DXVECTOR2* rc, FLOAT r,
                                             const D3DXVECTOR2* t) {
    D3DXMATRIX result, rotation;
    ::D3DXMatrixScaling(&result, s, s, 1.0f);
    ::D3DXMatrixRotationZ(&rotation, r);
    if (rc) result._41 -= rc->x, result._42 -= rc->y;
    ::D3DXMatrixMultiply(&result, &result, &rotation);
    if (rc) result._41 += rc->x, result._42 += rc->y;
    if (t) result._41 += t->x, result._42 += t->y;
    *o = result;
    return o;
}

}  // namespace tarn::math::reference
