// View matrices, perspective and orthographic projections of both hands: the plain builders outside the routine
// table. Left-handed views look down +z, right-handed ones down -z; every projection maps the near plane to depth 0
// and the far plane to depth 1. Terms are formed in double precision and rounded once.
#include <cmath>

#include "math/D3DXMath.h"

namespace {

void SetZero(D3DXMATRIX* o) {
    for (auto& row : o->m)
        for (float& v : row) v = 0.0f;
}

// The view whose z axis is `forward` (normalised here; a zero axis stays zero): x = normal(up x z),
// y = z x x, and the eye moved to the origin.
D3DXMATRIX* View(D3DXMATRIX* out, const D3DXVECTOR3* eye, D3DXVECTOR3 z, const D3DXVECTOR3* up) {
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
    out->_11 = x.x;
    out->_12 = y.x;
    out->_13 = z.x;
    out->_14 = 0.0f;
    out->_21 = x.y;
    out->_22 = y.y;
    out->_23 = z.y;
    out->_24 = 0.0f;
    out->_31 = x.z;
    out->_32 = y.z;
    out->_33 = z.z;
    out->_34 = 0.0f;
    out->_41 = static_cast<float>(-dot(x));
    out->_42 = static_cast<float>(-dot(y));
    out->_43 = static_cast<float>(-dot(z));
    out->_44 = 1.0f;
    return out;
}

// The perspective projection of the near-plane window [l, r] x [b, t]. `hand` is +1 for left-handed (the view
// looks down +z, w = z) and -1 for right-handed (w = -z).
D3DXMATRIX* Perspective(D3DXMATRIX* out, double l, double r, double b, double t, double zn, double zf, double hand) {
    SetZero(out);
    out->_11 = static_cast<float>(2.0 * zn / (r - l));
    out->_22 = static_cast<float>(2.0 * zn / (t - b));
    out->_31 = static_cast<float>(hand * (l + r) / (l - r));
    out->_32 = static_cast<float>(hand * (t + b) / (b - t));
    out->_33 = static_cast<float>(hand * zf / (zf - zn));
    out->_34 = static_cast<float>(hand);
    out->_43 = static_cast<float>(zn * zf / (zn - zf));
    return out;
}

// The orthographic projection of the box [l, r] x [b, t] x [zn, zf] (z negated for the right hand).
D3DXMATRIX* Ortho(D3DXMATRIX* out, double l, double r, double b, double t, double zn, double zf, double hand) {
    SetZero(out);
    out->_11 = static_cast<float>(2.0 / (r - l));
    out->_22 = static_cast<float>(2.0 / (t - b));
    out->_33 = static_cast<float>(hand / (zf - zn));
    out->_41 = static_cast<float>((l + r) / (l - r));
    out->_42 = static_cast<float>((t + b) / (b - t));
    out->_43 = static_cast<float>(zn / (zn - zf));
    out->_44 = 1.0f;
    return out;
}

// By the field of view: yScale = cot(fovy / 2), xScale = yScale / aspect, with the half-angle's sine and cosine
// taken in single precision as the engine's projection always has.
D3DXMATRIX* PerspectiveFov(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf, double hand) {
    const float half = fovy * 0.5f;
    const float s = std::sin(half), c = std::cos(half);
    const double yScale = static_cast<double>(c) / s;
    const double xScale = yScale / aspect;
    const double q = static_cast<double>(zf) / (static_cast<double>(zf) - zn);
    SetZero(out);
    out->_11 = static_cast<float>(xScale);
    out->_22 = static_cast<float>(yScale);
    out->_33 = static_cast<float>(hand * q);
    out->_34 = static_cast<float>(hand);
    out->_43 = static_cast<float>(-zn * q);
    return out;
}

}  // namespace

D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                                      const D3DXVECTOR3* up) {
    return View(out, eye, D3DXVECTOR3(at->x - eye->x, at->y - eye->y, at->z - eye->z), up);
}

D3DXMATRIX* WINAPI D3DXMatrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                                      const D3DXVECTOR3* up) {
    return View(out, eye, D3DXVECTOR3(eye->x - at->x, eye->y - at->y, eye->z - at->z), up);
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf) {
    return Perspective(out, -0.5 * w, 0.5 * w, -0.5 * h, 0.5 * h, zn, zf, 1.0);
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveRH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf) {
    return Perspective(out, -0.5 * w, 0.5 * w, -0.5 * h, 0.5 * h, zn, zf, -1.0);
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                                    FLOAT zf) {
    return Perspective(out, l, r, b, t, zn, zf, 1.0);
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                                    FLOAT zf) {
    return Perspective(out, l, r, b, t, zn, zf, -1.0);
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf) {
    return PerspectiveFov(out, fovy, aspect, zn, zf, 1.0);
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovRH(D3DXMATRIX* out, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf) {
    return PerspectiveFov(out, fovy, aspect, zn, zf, -1.0);
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoLH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf) {
    return Ortho(out, -0.5 * w, 0.5 * w, -0.5 * h, 0.5 * h, zn, zf, 1.0);
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoRH(D3DXMATRIX* out, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf) {
    return Ortho(out, -0.5 * w, 0.5 * w, -0.5 * h, 0.5 * h, zn, zf, -1.0);
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf) {
    return Ortho(out, l, r, b, t, zn, zf, 1.0);
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* out, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf) {
    return Ortho(out, l, r, b, t, zn, zf, -1.0);
}

FLOAT WINAPI D3DXFresnelTerm(FLOAT cosTheta, FLOAT refractionIndex) {
    const double c = cosTheta, n = refractionIndex;
    const double g = std::sqrt(n * n + c * c - 1.0);
    const double sum = g + c, difference = g - c;
    const double a = c * sum - 1.0, b = c * difference + 1.0;
    return static_cast<float>(0.5 * (difference * difference) / (sum * sum) * (1.0 + (a * a) / (b * b)));
}
