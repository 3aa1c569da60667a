// Reference quaternion routines: products, rotations, interpolation and the logarithm/exponential pair.
#include <cmath>

#include "ReferenceRoutines.h"

using namespace tarn::math::detail;

namespace {

double Dot4(const D3DXQUATERNION& a, const D3DXQUATERNION& b) {
    return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y + static_cast<double>(a.z) * b.z +
           static_cast<double>(a.w) * b.w;
}

double DistanceSq(const D3DXQUATERNION& a, const D3DXQUATERNION& b) {
    const double dx = static_cast<double>(a.x) - b.x, dy = static_cast<double>(a.y) - b.y,
                 dz = static_cast<double>(a.z) - b.z, dw = static_cast<double>(a.w) - b.w;
    return dx * dx + dy * dy + dz * dz + dw * dw;
}

// Hamilton product a*b (b applied first), written in terms of the library's multiply, which takes them reversed.
D3DXQUATERNION Hamilton(const D3DXQUATERNION& a, const D3DXQUATERNION& b) {
    D3DXQUATERNION r;
    ::D3DXQuaternionMultiply(&r, &b, &a);
    return r;
}

}  // namespace

namespace tarn::math::reference {

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* o, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2) {
    const double ax = q1->x, ay = q1->y, az = q1->z, aw = q1->w;
    const double bx = q2->x, by = q2->y, bz = q2->z, bw = q2->w;
    const D3DXQUATERNION r(static_cast<float>(bw * ax + bx * aw + by * az - bz * ay),
                           static_cast<float>(bw * ay - bx * az + by * aw + bz * ax),
                           static_cast<float>(bw * az + bx * ay - by * ax + bz * aw),
                           static_cast<float>(bw * aw - bx * ax - by * ay - bz * az));
    *o = r;
    return o;
}

void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, FLOAT* angle) {
    if (axis) *axis = D3DXVECTOR3(q->x, q->y, q->z);
    if (angle) *angle = static_cast<float>(2.0 * std::acos(static_cast<double>(q->w)));
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* o, const D3DXMATRIX* pm) {
    double m[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i][j] = pm->m[i][j];
    const double t = m[0][0] + m[1][1] + m[2][2];
    double q[4];  // x, y, z, w
    if (t > 0.0) {
        const double w = std::sqrt(t + 1.0) / 2.0;
        q[3] = w;
        q[0] = (m[1][2] - m[2][1]) * 0.25 / w;
        q[1] = (m[2][0] - m[0][2]) * 0.25 / w;
        q[2] = (m[0][1] - m[1][0]) * 0.25 / w;
    } else {
        const double d[3] = {m[0][0] - m[1][1] - m[2][2], m[1][1] - m[0][0] - m[2][2], m[2][2] - (m[1][1] + m[0][0])};
        int i = d[0] >= d[1] ? 0 : 1;
        if (d[2] > d[i]) i = 2;
        const int j = (i + 1) % 3, k = (j + 1) % 3;
        const double s = std::sqrt(d[i] + 1.0) / 2.0;
        q[i] = s;
        q[j] = (m[i][j] + m[j][i]) * 0.25 / s;
        q[k] = (m[i][k] + m[k][i]) * 0.25 / s;
        q[3] = (m[j][k] - m[k][j]) * 0.25 / s;
    }
    *o = D3DXQUATERNION(float(q[0]), float(q[1]), float(q[2]), float(q[3]));
    return o;
}

D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* o, FLOAT yaw, FLOAT pitch, FLOAT roll) {
    const double hy = yaw * 0.5, hp = pitch * 0.5, hr = roll * 0.5;
    const double cy = std::cos(hy), sy = std::sin(hy), cp = std::cos(hp), sp = std::sin(hp), cr = std::cos(hr),
                 sr = std::sin(hr);
    *o = D3DXQUATERNION(static_cast<float>(cy * sp * cr + sy * cp * sr), static_cast<float>(sy * cp * cr - cy * sp * sr),
                        static_cast<float>(cy * cp * sr - sy * sp * cr), static_cast<float>(cy * cp * cr + sy * sp * sr));
    return o;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* o, const D3DXVECTOR3* v, FLOAT angle) {
    D3DXVECTOR3 n;
    ::D3DXVec3Normalize(&n, v);
    const double h = angle * 0.5, s = std::sin(h);
    *o = D3DXQUATERNION(static_cast<float>(n.x * s), static_cast<float>(n.y * s), static_cast<float>(n.z * s),
                        static_cast<float>(std::cos(h)));
    return o;
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* o, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2, FLOAT t) {
    const D3DXQUATERNION a = *q1, b = *q2;
    const double c = Dot4(a, b);
    const double sign = c >= 0.0 ? 1.0 : -1.0;
    const double u = sign * c;
    double k1, k2;
    if (1.0 - u > kFloatEpsilon) {
        const double theta = std::atan2(std::sqrt(1.0 - u * u), u);
        const double invSin = static_cast<float>(1.0 / std::sin(theta));
        k1 = std::sin((1.0 - t) * theta) * invSin;
        k2 = std::sin(t * theta) * invSin;
    } else {
        k1 = 1.0 - t;
        k2 = t;
    }
    k2 *= sign;
    *o = D3DXQUATERNION(static_cast<float>(k1 * a.x + k2 * b.x), static_cast<float>(k1 * a.y + k2 * b.y),
                        static_cast<float>(k1 * a.z + k2 * b.z), static_cast<float>(k1 * a.w + k2 * b.w));
    return o;
}

D3DXQUATERNION* D3DXQuaternionBaryCentric(D3DXQUATERNION* o, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2,
                                          const D3DXQUATERNION* q3, FLOAT f, FLOAT g) {
    const float fg = f + g;
    if (NearlyEqual(fg, 0.0)) {
        *o = *q1;
        return o;
    }
    D3DXQUATERNION a, b;
    ::D3DXQuaternionSlerp(&a, q1, q2, fg);
    ::D3DXQuaternionSlerp(&b, q1, q3, fg);
    return ::D3DXQuaternionSlerp(o, &a, &b, g / fg);
}

D3DXQUATERNION* D3DXQuaternionSquad(D3DXQUATERNION* o, const D3DXQUATERNION* q1, const D3DXQUATERNION* a,
                                    const D3DXQUATERNION* b, const D3DXQUATERNION* c, FLOAT t) {
    D3DXQUATERNION outer, inner;
    ::D3DXQuaternionSlerp(&outer, q1, c, t);
    ::D3DXQuaternionSlerp(&inner, a, b, t);
    return ::D3DXQuaternionSlerp(o, &outer, &inner, 2.0f * t * (1.0f - t));
}

D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* o, const D3DXQUATERNION* q) {
    const double n = Dot4(*q, *q);
    if (!(n > 1.0842021724855044e-19)) {
        *o = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 0.0f);
        return o;
    }
    D3DXQUATERNION r(-q->x, -q->y, -q->z, q->w);
    const float nf = static_cast<float>(n);
    if (!NearlyEqual(nf, 1.0)) {
        const double inv = 1.0 / nf;
        r = D3DXQUATERNION(float(r.x * inv), float(r.y * inv), float(r.z * inv), float(r.w * inv));
    }
    *o = r;
    return o;
}

void D3DXQuaternionSquadSetup(D3DXQUATERNION* outA, D3DXQUATERNION* outB, D3DXQUATERNION* outC,
                              const D3DXQUATERNION* pq0, const D3DXQUATERNION* pq1, const D3DXQUATERNION* pq2,
                              const D3DXQUATERNION* pq3) {
    const D3DXQUATERNION q1 = *pq1;
    // Pick the sign of each neighbour that keeps it on q1's side of the sphere.
    auto near = [](const D3DXQUATERNION& q, const D3DXQUATERNION& to) {
        return DistanceSq(q, to) > DistanceSq(-q, to) ? -q : q;
    };
    const D3DXQUATERNION q0 = near(*pq0, q1), q2 = near(*pq2, q1);
    const D3DXQUATERNION q3 = near(*pq3, q2);

    // a_i = q_i exp(-(ln(q_i^-1 q_(i+1)) + ln(q_i^-1 q_(i-1))) / 4)
    auto control = [](const D3DXQUATERNION& prev, const D3DXQUATERNION& cur, const D3DXQUATERNION& next) {
        D3DXQUATERNION inv, l1, l2;
        ::D3DXQuaternionInverse(&inv, &cur);
        const D3DXQUATERNION toNext = Hamilton(inv, next), toPrev = Hamilton(inv, prev);
        ::D3DXQuaternionLn(&l1, &toNext);
        ::D3DXQuaternionLn(&l2, &toPrev);
        D3DXQUATERNION sum((l1.x + l2.x) * -0.25f, (l1.y + l2.y) * -0.25f, (l1.z + l2.z) * -0.25f,
                           (l1.w + l2.w) * -0.25f);
        D3DXQUATERNION e;
        ::D3DXQuaternionExp(&e, &sum);
        return Hamilton(cur, e);
    };
    const D3DXQUATERNION a = control(q0, q1, q2), b = control(q1, q2, q3);
    *outA = a;
    *outB = b;
    *outC = q2;
}

D3DXQUATERNION* D3DXQuaternionLn(D3DXQUATERNION* o, const D3DXQUATERNION* q) {
    D3DXQUATERNION r(q->x, q->y, q->z, 0.0f);
    if (q->w < 1.0f) {
        const double theta = std::acos(static_cast<double>(q->w));
        const float s = static_cast<float>(std::sin(theta));
        if (!NearlyEqual(s, 0.0)) {
            const double k = theta / s;
            r.x = static_cast<float>(q->x * k);
            r.y = static_cast<float>(q->y * k);
            r.z = static_cast<float>(q->z * k);
        }
    }
    *o = r;
    return o;
}

D3DXQUATERNION* D3DXQuaternionExp(D3DXQUATERNION* o, const D3DXQUATERNION* q) {
    const float theta = static_cast<float>(std::sqrt(static_cast<double>(q->x) * q->x +
                                                     static_cast<double>(q->y) * q->y +
                                                     static_cast<double>(q->z) * q->z));
    const float s = static_cast<float>(std::sin(static_cast<double>(theta)));
    D3DXQUATERNION r(q->x, q->y, q->z, static_cast<float>(std::cos(static_cast<double>(theta))));
    if (!NearlyEqual(s, 0.0)) {
        const double k = static_cast<double>(s) / theta;
        r.x = static_cast<float>(q->x * k);
        r.y = static_cast<float>(q->y * k);
        r.z = static_cast<float>(q->z * k);
    }
    *o = r;
    return o;
}

}  // namespace tarn::math::reference
