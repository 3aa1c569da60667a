// The conversion's arithmetic, in double precision: 3 x 3 and 4 x 4 matrices in the engine's convention (row
// vectors, v' = v M, translation in the fourth row), the change from the parser's right-handed frame to the
// engine's left-handed one, polar decomposition and quaternions. Every routine accepts any input, NaN included,
// and returns finite results where its contract says so.
#pragma once

#include <array>

#include "tools/import/Model.h"

namespace tarn::import {

struct Vec3d {
    double x = 0, y = 0, z = 0;
};
Vec3d operator+(Vec3d a, Vec3d b);
Vec3d operator-(Vec3d a, Vec3d b);
Vec3d operator*(Vec3d a, double s);
double Dot(Vec3d a, Vec3d b);
Vec3d Cross(Vec3d a, Vec3d b);
double Length(Vec3d a);
// `a` scaled to length 1; `fallback` when `a` is zero or not finite.
Vec3d Normalised(Vec3d a, Vec3d fallback);
bool Finite(Vec3d a);

// Row-major, m[row][column]; rows are the images of the basis vectors.
struct Mat3 {
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};
Mat3 operator*(const Mat3& a, const Mat3& b);
Vec3d operator*(Vec3d v, const Mat3& m);  // row vector times matrix
double Determinant(const Mat3& a);
Mat3 Transposed(const Mat3& a);
// The inverse; false (and the identity) when `a` is singular or not finite.
bool Inverse(const Mat3& a, Mat3* out);
Mat3 Scaling(double s);

// Rows 0-2 the linear part, row 3 the translation; the fourth column is (0, 0, 0, 1).
struct Affine {
    Mat3 linear;
    Vec3d translation;
};
Affine operator*(const Affine& a, const Affine& b);  // first a, then b
Vec3d TransformPoint(Vec3d p, const Affine& a);
bool Finite(const Affine& a);
// As the .TRS file stores it: 16 floats, _11 ... _44.
std::array<float, 16> ToTrsMatrix(const Affine& a);

// The frame change: the model's up axis to the engine's y, and the right-handed frame to the left-handed one by
// mirroring the z axis (y up) or exchanging y and z (z up). Both are reflections and their own inverses.
enum class UpAxis { Y, Z };
Vec3d FrameChange(Vec3d v, UpAxis up);
Vec3d FromModel(Vec3 v, UpAxis up);  // FrameChange of a model vector; non-finite components become 0
// A model transform (column vectors) in the engine's frame and convention: (C M C) transposed.
Affine FromModel(const ModelMatrix& m, UpAxis up);

// A = P Q with P symmetric (the stretch, a reflection included when det A < 0) and Q a rotation. False when A is
// singular or not finite; P is then A and Q the identity.
bool PolarDecompose(const Mat3& a, Mat3* stretch, Mat3* rotation);

struct Quatd {
    double x = 0, y = 0, z = 0, w = 1;
};
// The rotation of a proper orthonormal matrix, in the engine's quaternion convention (D3DXMatrixRotationQuaternion
// gives back the matrix).
Quatd QuatFromRotation(const Mat3& r);
Mat3 RotationFromQuat(Quatd q);           // normalises q; identity for a zero or non-finite q
Quatd Slerp(Quatd a, Quatd b, double f);  // the shorter way round

// A frame whose third row is `forward` (unit) and whose second row is as close to `up` as it can be; rows 0-2
// orthonormal and right-handed in the sense that row0 x row1 = row2 (a rotation), translation `origin`.
Affine LookFrame(Vec3d origin, Vec3d forward, Vec3d up);

}  // namespace tarn::import
