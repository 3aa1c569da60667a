#include "TransformHelpers.h"

#include <cmath>

namespace {

// pi/2 as the scene's angle code rounds it: to single precision.
constexpr float kHalfPi = 1.57079601f;

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    TRMatrixIdentity(&m);
    return m;
}

}  // namespace

void TRMatrixIdentity(D3DXMATRIX* m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m->m[r][c] = r == c ? 1.0f : 0.0f;
}

void TRMatrixSetTranslation(D3DXMATRIX* m, const D3DXVECTOR3& v) {
    m->_41 = v.x;
    m->_42 = v.y;
    m->_43 = v.z;
}

D3DXMATRIX TRMatrixFacing(const D3DXMATRIX& v) {
    D3DXMATRIX m = Identity();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m.m[r][c] = v.m[c][r];
    return m;
}

// The yaw and roll angles are worked out in double precision; only the stored entries are rounded to float.
D3DXMATRIX TRMatrixYaw(const D3DXMATRIX& v) {
    D3DXMATRIX m = Identity();
    const double x = v._13;
    const double z = v._33;
    if (x == 0.0) return m;
    const double a = std::atan(z / x);
    const double theta = x > 0.0 ? kHalfPi - a : -a - kHalfPi;
    const auto c = static_cast<float>(std::cos(theta));
    const auto s = static_cast<float>(std::sin(theta));
    m._11 = c;
    m._13 = -s;
    m._31 = s;
    m._33 = c;
    return m;
}

D3DXMATRIX TRMatrixRoll(const D3DXMATRIX& v) {
    D3DXMATRIX m = Identity();
    const double x = v._13;
    const double y = v._23;
    // A zero x divides to an infinity and atan gives +-pi/2; 0/0 gives NaN, which the caller receives as is.
    const double a = std::atan(y / x);
    const double phi = x > 0.0 ? a + kHalfPi : a - kHalfPi;
    const auto c = static_cast<float>(std::cos(phi));
    const auto s = static_cast<float>(std::sin(phi));
    m._11 = c;
    m._12 = s;
    m._21 = -s;
    m._22 = c;
    return m;
}

D3DXMATRIX TRMatrixInverse(const D3DXMATRIX& m) {
    D3DXMATRIX out = m;
    D3DXMatrixInverse(&out, nullptr, &m);
    return out;
}

D3DXVECTOR3 TRVec3Set(float x, float y, float z) {
    D3DXVECTOR3 v;
    v.x = x;
    v.y = y;
    v.z = z;
    return v;
}

D3DXVECTOR3 TRVec3Add(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return TRVec3Set(a.x + b.x, a.y + b.y, a.z + b.z); }

D3DXVECTOR3 TRVec3Subtract(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return TRVec3Set(a.x - b.x, a.y - b.y, a.z - b.z);
}

D3DXVECTOR3 TRVec3Scale(const D3DXVECTOR3& v, float s) { return TRVec3Set(v.x * s, v.y * s, v.z * s); }

void TRQuaternionToRotation(const D3DXQUATERNION& q, D3DXMATRIX* m) {
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    m->_11 = 1.0f - 2.0f * (y * y + z * z);
    m->_12 = 2.0f * (x * y + w * z);
    m->_13 = 2.0f * (x * z - w * y);
    m->_21 = 2.0f * (x * y - w * z);
    m->_22 = 1.0f - 2.0f * (x * x + z * z);
    m->_23 = 2.0f * (y * z + w * x);
    m->_31 = 2.0f * (x * z + w * y);
    m->_32 = 2.0f * (y * z - w * x);
    m->_33 = 1.0f - 2.0f * (x * x + y * y);
}

// Worked in double precision, rounded to float at three points only: the dot product, the angle and the
// reciprocal of its sine. The blend factors and the result components stay double until they are stored.
D3DXQUATERNION TRQuaternionSlerp(const D3DXQUATERNION& q0, const D3DXQUATERNION& q1, float t) {
    auto d = static_cast<float>(double{q0.x} * q1.x + double{q0.y} * q1.y + double{q0.z} * q1.z +
                                double{q0.w} * q1.w);
    double sign = 1.0;
    if (d < 0.0f) {
        d = -d;
        sign = -1.0;  // the shorter arc runs to -q1
    }
    double s0, s1;
    if (1.0 - static_cast<double>(d) > static_cast<double>(0.01f)) {
        const auto omega = static_cast<float>(std::acos(static_cast<double>(d)));
        const auto k = static_cast<float>(1.0 / std::sin(static_cast<double>(omega)));
        s0 = std::sin((1.0 - t) * omega) * k;
        s1 = std::sin(t * static_cast<double>(omega)) * k;
    } else {
        s0 = 1.0 - t;
        s1 = t;
    }
    s1 *= sign;
    D3DXQUATERNION r;
    r.x = static_cast<float>(s0 * q0.x + s1 * q1.x);
    r.y = static_cast<float>(s0 * q0.y + s1 * q1.y);
    r.z = static_cast<float>(s0 * q0.z + s1 * q1.z);
    r.w = static_cast<float>(s0 * q0.w + s1 * q1.w);
    return r;
}
