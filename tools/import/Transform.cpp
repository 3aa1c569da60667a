// The conversion's matrix and quaternion arithmetic (Transform.h), in double precision so that a chain of
// node transforms loses nothing a float would keep.
#include "tools/import/Transform.h"

#include <algorithm>
#include <cmath>

namespace tarn::import {

Vec3d operator+(Vec3d a, Vec3d b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3d operator-(Vec3d a, Vec3d b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3d operator*(Vec3d a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(Vec3d a, Vec3d b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3d Cross(Vec3d a, Vec3d b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Length(Vec3d a) { return std::sqrt(Dot(a, a)); }
bool Finite(Vec3d a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

Vec3d Normalised(Vec3d a, Vec3d fallback) {
    const double n = Length(a);
    if (!(n > 1e-300) || !std::isfinite(n)) return fallback;
    return a * (1 / n);
}

Mat3 operator*(const Mat3& a, const Mat3& b) {
    Mat3 r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    }
    return r;
}

Vec3d operator*(Vec3d v, const Mat3& m) {
    return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0], v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
            v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]};
}

double Determinant(const Mat3& a) {
    const auto& m = a.m;
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Mat3 Transposed(const Mat3& a) {
    Mat3 r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) r.m[i][j] = a.m[j][i];
    }
    return r;
}

bool Inverse(const Mat3& a, Mat3* out) {
    const double det = Determinant(a);
    *out = Mat3{};
    if (!std::isfinite(det) || std::fabs(det) < 1e-300) return false;
    const auto& m = a.m;
    const double k = 1 / det;
    Mat3 r;
    r.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * k;
    r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * k;
    r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * k;
    r.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * k;
    r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * k;
    r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * k;
    r.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * k;
    r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * k;
    r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * k;
    for (const auto& row : r.m) {
        for (double v : row) {
            if (!std::isfinite(v)) return false;
        }
    }
    *out = r;
    return true;
}

Mat3 Scaling(double s) {
    Mat3 r;
    r.m[0][0] = r.m[1][1] = r.m[2][2] = s;
    return r;
}

Affine operator*(const Affine& a, const Affine& b) {
    return {a.linear * b.linear, a.translation * b.linear + b.translation};
}

Vec3d TransformPoint(Vec3d p, const Affine& a) { return p * a.linear + a.translation; }

bool Finite(const Affine& a) {
    for (const auto& row : a.linear.m) {
        for (double v : row) {
            if (!std::isfinite(v)) return false;
        }
    }
    return Finite(a.translation);
}

std::array<float, 16> ToTrsMatrix(const Affine& a) {
    // Values past float's range become its largest, so that no file carries an infinity we made.
    auto f = [](double v) {
        if (!std::isfinite(v)) return 0.0f;
        return static_cast<float>(std::clamp(v, -3.4e38, 3.4e38));
    };
    const auto& m = a.linear.m;
    const Vec3d& t = a.translation;
    return {f(m[0][0]), f(m[0][1]), f(m[0][2]), 0, f(m[1][0]), f(m[1][1]), f(m[1][2]), 0,
            f(m[2][0]), f(m[2][1]), f(m[2][2]), 0, f(t.x),     f(t.y),     f(t.z),     1};
}

Vec3d FrameChange(Vec3d v, UpAxis up) { return up == UpAxis::Y ? Vec3d{v.x, v.y, -v.z} : Vec3d{v.x, v.z, v.y}; }

Vec3d FromModel(Vec3 v, UpAxis up) {
    auto f = [](float x) { return std::isfinite(x) ? static_cast<double>(x) : 0.0; };
    return FrameChange({f(v.x), f(v.y), f(v.z)}, up);
}

Affine FromModel(const ModelMatrix& m, UpAxis up) {
    // Column-vector M: its columns are the images of the basis vectors and its last column the translation. In
    // the engine's frame the image of basis vector i is C (M (C e_i)); as a row vector that is row i.
    Affine r;
    auto column = [&](int j) { return Vec3d{m[0 + j], m[4 + j], m[8 + j]}; };
    const Vec3d image[3] = {column(0), column(1), column(2)};
    for (int i = 0; i < 3; ++i) {
        // C e_i is e_i (x), -e_z or e_y/e_z exchanged: pick the column and its sign.
        const Vec3d e = FrameChange({i == 0 ? 1.0 : 0, i == 1 ? 1.0 : 0, i == 2 ? 1.0 : 0}, up);
        const Vec3d mapped = image[0] * e.x + image[1] * e.y + image[2] * e.z;
        const Vec3d row = FrameChange(mapped, up);
        r.linear.m[i][0] = row.x, r.linear.m[i][1] = row.y, r.linear.m[i][2] = row.z;
    }
    r.translation = FrameChange(column(3), up);
    return r;
}

bool PolarDecompose(const Mat3& a, Mat3* stretch, Mat3* rotation) {
    // Higham's iteration Q <- (Q + Q^-T) / 2 converges to the orthogonal factor in a handful of steps.
    Mat3 q = a;
    const double det = Determinant(a);
    if (!std::isfinite(det) || std::fabs(det) < 1e-30) {
        *stretch = a;
        *rotation = Mat3{};
        return false;
    }
    for (int i = 0; i < 64; ++i) {
        Mat3 inv;
        if (!Inverse(q, &inv)) {
            *stretch = a;
            *rotation = Mat3{};
            return false;
        }
        const Mat3 invT = Transposed(inv);
        Mat3 next;
        double change = 0;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                next.m[r][c] = 0.5 * (q.m[r][c] + invT.m[r][c]);
                change = std::max(change, std::fabs(next.m[r][c] - q.m[r][c]));
            }
        }
        q = next;
        if (change < 1e-14) break;
    }
    // A reflection goes with the stretch, so that the rotation is proper.
    if (Determinant(q) < 0) {
        for (auto& row : q.m) {
            for (double& v : row) v = -v;
        }
    }
    // Row vectors: A = P Q, so P = A Q^T.
    *rotation = q;
    *stretch = a * Transposed(q);
    return true;
}

Quatd QuatFromRotation(const Mat3& r) {
    // The inverse of RotationFromQuat (the D3DX layout: _12 = 2(xy + zw)).
    const auto& m = r.m;
    const double trace = m[0][0] + m[1][1] + m[2][2];
    Quatd q;
    if (trace > 0) {
        const double s = std::sqrt(trace + 1) * 2;
        q = {(m[1][2] - m[2][1]) / s, (m[2][0] - m[0][2]) / s, (m[0][1] - m[1][0]) / s, 0.25 * s};
    } else if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
        const double s = std::sqrt(1 + m[0][0] - m[1][1] - m[2][2]) * 2;
        q = {0.25 * s, (m[0][1] + m[1][0]) / s, (m[2][0] + m[0][2]) / s, (m[1][2] - m[2][1]) / s};
    } else if (m[1][1] > m[2][2]) {
        const double s = std::sqrt(1 + m[1][1] - m[0][0] - m[2][2]) * 2;
        q = {(m[0][1] + m[1][0]) / s, 0.25 * s, (m[1][2] + m[2][1]) / s, (m[2][0] - m[0][2]) / s};
    } else {
        const double s = std::sqrt(1 + m[2][2] - m[0][0] - m[1][1]) * 2;
        q = {(m[2][0] + m[0][2]) / s, (m[1][2] + m[2][1]) / s, 0.25 * s, (m[0][1] - m[1][0]) / s};
    }
    const double n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(n > 0) || !std::isfinite(n)) return {};
    return {q.x / n, q.y / n, q.z / n, q.w / n};
}

Mat3 RotationFromQuat(Quatd q) {
    const double n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(n > 1e-300) || !std::isfinite(n)) return {};
    const double x = q.x / n, y = q.y / n, z = q.z / n, w = q.w / n;
    Mat3 r;
    r.m[0][0] = 1 - 2 * (y * y + z * z), r.m[0][1] = 2 * (x * y + z * w), r.m[0][2] = 2 * (x * z - y * w);
    r.m[1][0] = 2 * (x * y - z * w), r.m[1][1] = 1 - 2 * (x * x + z * z), r.m[1][2] = 2 * (y * z + x * w);
    r.m[2][0] = 2 * (x * z + y * w), r.m[2][1] = 2 * (y * z - x * w), r.m[2][2] = 1 - 2 * (x * x + y * y);
    return r;
}

Quatd Slerp(Quatd a, Quatd b, double f) {
    double d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
    if (d < 0) b = {-b.x, -b.y, -b.z, -b.w}, d = -d;
    double ka = 1 - f, kb = f;
    if (d < 0.9995) {
        const double angle = std::acos(std::min(d, 1.0));
        const double s = std::sin(angle);
        ka = std::sin((1 - f) * angle) / s;
        kb = std::sin(f * angle) / s;
    }
    Quatd q{a.x * ka + b.x * kb, a.y * ka + b.y * kb, a.z * ka + b.z * kb, a.w * ka + b.w * kb};
    const double n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(n > 1e-300) || !std::isfinite(n)) return a;
    return {q.x / n, q.y / n, q.z / n, q.w / n};
}

Affine LookFrame(Vec3d origin, Vec3d forward, Vec3d up) {
    const Vec3d z = Normalised(forward, {0, 0, 1});
    Vec3d x = Cross(Normalised(up, {0, 1, 0}), z);
    if (Length(x) < 1e-6) x = Cross(std::fabs(z.y) < 0.9 ? Vec3d{0, 1, 0} : Vec3d{1, 0, 0}, z);
    x = Normalised(x, {1, 0, 0});
    const Vec3d y = Cross(z, x);
    Affine a;
    a.linear.m[0][0] = x.x, a.linear.m[0][1] = x.y, a.linear.m[0][2] = x.z;
    a.linear.m[1][0] = y.x, a.linear.m[1][1] = y.y, a.linear.m[1][2] = y.z;
    a.linear.m[2][0] = z.x, a.linear.m[2][1] = z.y, a.linear.m[2][2] = z.z;
    a.translation = Finite(origin) ? origin : Vec3d{};
    return a;
}

}  // namespace tarn::import
