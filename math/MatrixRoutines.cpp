// Reference matrix routines: products, determinant and inverse, decomposition and the transform builders.
#include <cmath>
#include <utility>

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

    // Each row's length is its scale. A row too short to give a direction (under 0.0001) is rebuilt from the
    // others so that the basis stays a rotation: one short row is the cross product of the other two in the cyclic
    // order of a rotation (row i = row i+1 x row i+2); of two short rows, the longer is taken as the unit axis least
    // aligned with the long row, made perpendicular to it, and the shorter is then their cross product; with every
    // row short the basis is the identity. The rows are normalised, and the result is a rotation only when the
    // determinant of that basis is 1 within the tolerance: a mirrored or sheared basis is refused.
    const D3DXVECTOR3 unit[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    float scale[3];
    D3DXVECTOR3 row[3];
    for (int i = 0; i < 3; ++i) {
        row[i] = D3DXVECTOR3(m->m[i][0], m->m[i][1], m->m[i][2]);
        scale[i] = static_cast<float>(std::sqrt(static_cast<double>(row[i].x) * row[i].x +
                                                static_cast<double>(row[i].y) * row[i].y +
                                                static_cast<double>(row[i].z) * row[i].z));
    }
    // Rows ranked by length, longest first (the earlier row first among equals).
    int rank[3] = {0, 1, 2};
    for (int i = 0; i < 3; ++i)
        for (int j = i + 1; j < 3; ++j)
            if (scale[rank[j]] > scale[rank[i]]) std::swap(rank[i], rank[j]);
    auto cross = [](const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
        return D3DXVECTOR3(static_cast<float>(static_cast<double>(a.y) * b.z - static_cast<double>(a.z) * b.y),
                           static_cast<float>(static_cast<double>(a.z) * b.x - static_cast<double>(a.x) * b.z),
                           static_cast<float>(static_cast<double>(a.x) * b.y - static_cast<double>(a.y) * b.x));
    };
    auto completeCyclic = [&](int i) {
        row[i] = cross(row[(i + 1) % 3], row[(i + 2) % 3]);
        ::D3DXVec3Normalize(&row[i], &row[i]);
    };
    const int longest = rank[0], middle = rank[1], shortest = rank[2];
    if (scale[longest] < kShortAxis) {
        for (int i = 0; i < 3; ++i) row[i] = unit[i];
    } else {
        ::D3DXVec3Normalize(&row[longest], &row[longest]);
        if (scale[middle] < kShortAxis) {
            const D3DXVECTOR3& a = row[longest];
            const float ax = std::fabs(a.x), ay = std::fabs(a.y), az = std::fabs(a.z);
            D3DXVECTOR3 b = ax <= ay && ax <= az ? unit[0] : (ay <= az ? unit[1] : unit[2]);
            const double along =
                static_cast<double>(b.x) * a.x + static_cast<double>(b.y) * a.y + static_cast<double>(b.z) * a.z;
            b = D3DXVECTOR3(static_cast<float>(b.x - along * a.x), static_cast<float>(b.y - along * a.y),
                            static_cast<float>(b.z - along * a.z));
            ::D3DXVec3Normalize(&row[middle], &b);
        } else {
            ::D3DXVec3Normalize(&row[middle], &row[middle]);
        }
        if (scale[shortest] < kShortAxis)
            completeCyclic(shortest);
        else
            ::D3DXVec3Normalize(&row[shortest], &row[shortest]);
    }
    D3DXMATRIX basis;
    SetIdentity(&basis);
    for (int i = 0; i < 3; ++i) {
        basis.m[i][0] = row[i].x;
        basis.m[i][1] = row[i].y;
        basis.m[i][2] = row[i].z;
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
