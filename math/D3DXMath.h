// The extension library's math: vector, quaternion, plane, colour and matrix types and routines under their D3DX
// names. Routines write through their first (output) pointer and return it; D3DXMatrixInverse and
// D3DXPlaneIntersectLine return null (output untouched) when there is no result. Not thread-safe on first use.
#pragma once

#include <cstddef>
#include <type_traits>

#include "platform/d3d9/D3D9Types.h"
#include "platform/win32/Win32.h"

#define D3DX_PI (3.14159265358979323846f)
#define D3DX_1BYPI (1.0f / D3DX_PI)
#define D3DXToRadian(degree) ((degree) * (D3DX_PI / 180.0f))
#define D3DXToDegree(radian) ((radian) * (180.0f / D3DX_PI))

#define D3DX_16F_DIG 3
#define D3DX_16F_EPSILON 4.8875809e-4f
#define D3DX_16F_MANT_DIG 11
#define D3DX_16F_MAX 6.550400e+004
#define D3DX_16F_MAX_10_EXP 4
#define D3DX_16F_MAX_EXP 15
#define D3DX_16F_MIN 6.1035156e-5f
#define D3DX_16F_MIN_10_EXP (-4)
#define D3DX_16F_MIN_EXP (-14)
#define D3DX_16F_RADIX 2
#define D3DX_16F_ROUNDS 1

struct D3DXFLOAT16;
struct D3DXVECTOR2;
struct D3DXVECTOR3;
struct D3DXVECTOR4;
struct D3DXMATRIX;
struct D3DXQUATERNION;
struct D3DXPLANE;
struct D3DXCOLOR;

// 16-bit float: sign bit 15, exponent bits 10-14 (bias 15), fraction bits 0-9; no infinity or NaN.
D3DXFLOAT16* WINAPI D3DXFloat32To16Array(D3DXFLOAT16* pOut, const FLOAT* pIn, UINT n);
FLOAT* WINAPI D3DXFloat16To32Array(FLOAT* pOut, const D3DXFLOAT16* pIn, UINT n);

struct D3DXFLOAT16 {
    WORD value;

    D3DXFLOAT16() = default;
    D3DXFLOAT16(FLOAT f) { D3DXFloat32To16Array(this, &f, 1); }
    D3DXFLOAT16(const D3DXFLOAT16& h) = default;
    D3DXFLOAT16& operator=(const D3DXFLOAT16& h) = default;
    operator FLOAT() const {
        FLOAT f;
        D3DXFloat16To32Array(&f, this, 1);
        return f;
    }
    bool operator==(const D3DXFLOAT16& h) const { return value == h.value; }
    bool operator!=(const D3DXFLOAT16& h) const { return value != h.value; }
};

struct D3DXVECTOR2 {
    FLOAT x, y;

    D3DXVECTOR2() = default;
    D3DXVECTOR2(FLOAT vx, FLOAT vy) : x(vx), y(vy) {}
    explicit D3DXVECTOR2(const FLOAT* p) : x(p[0]), y(p[1]) {}
    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }
    D3DXVECTOR2& operator+=(const D3DXVECTOR2& v) { x += v.x; y += v.y; return *this; }
    D3DXVECTOR2& operator-=(const D3DXVECTOR2& v) { x -= v.x; y -= v.y; return *this; }
    D3DXVECTOR2& operator*=(FLOAT f) { x *= f; y *= f; return *this; }
    D3DXVECTOR2& operator/=(FLOAT f) { FLOAT r = 1.0f / f; x *= r; y *= r; return *this; }
    D3DXVECTOR2 operator+() const { return *this; }
    D3DXVECTOR2 operator-() const { return {-x, -y}; }
    D3DXVECTOR2 operator+(const D3DXVECTOR2& v) const { return {x + v.x, y + v.y}; }
    D3DXVECTOR2 operator-(const D3DXVECTOR2& v) const { return {x - v.x, y - v.y}; }
    D3DXVECTOR2 operator*(FLOAT f) const { return {x * f, y * f}; }
    D3DXVECTOR2 operator/(FLOAT f) const { FLOAT r = 1.0f / f; return {x * r, y * r}; }
    friend D3DXVECTOR2 operator*(FLOAT f, const D3DXVECTOR2& v) { return {f * v.x, f * v.y}; }
    bool operator==(const D3DXVECTOR2& v) const { return x == v.x && y == v.y; }
    bool operator!=(const D3DXVECTOR2& v) const { return !(*this == v); }
};

struct D3DXVECTOR3 : public D3DVECTOR {
    D3DXVECTOR3() = default;
    D3DXVECTOR3(FLOAT vx, FLOAT vy, FLOAT vz) : D3DVECTOR{vx, vy, vz} {}
    D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}
    explicit D3DXVECTOR3(const FLOAT* p) : D3DVECTOR{p[0], p[1], p[2]} {}
    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }
    D3DXVECTOR3& operator+=(const D3DXVECTOR3& v) { x += v.x; y += v.y; z += v.z; return *this; }
    D3DXVECTOR3& operator-=(const D3DXVECTOR3& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
    D3DXVECTOR3& operator*=(FLOAT f) { x *= f; y *= f; z *= f; return *this; }
    D3DXVECTOR3& operator/=(FLOAT f) { FLOAT r = 1.0f / f; x *= r; y *= r; z *= r; return *this; }
    D3DXVECTOR3 operator+() const { return *this; }
    D3DXVECTOR3 operator-() const { return {-x, -y, -z}; }
    D3DXVECTOR3 operator+(const D3DXVECTOR3& v) const { return {x + v.x, y + v.y, z + v.z}; }
    D3DXVECTOR3 operator-(const D3DXVECTOR3& v) const { return {x - v.x, y - v.y, z - v.z}; }
    D3DXVECTOR3 operator*(FLOAT f) const { return {x * f, y * f, z * f}; }
    D3DXVECTOR3 operator/(FLOAT f) const { FLOAT r = 1.0f / f; return {x * r, y * r, z * r}; }
    friend D3DXVECTOR3 operator*(FLOAT f, const D3DXVECTOR3& v) { return {f * v.x, f * v.y, f * v.z}; }
    bool operator==(const D3DXVECTOR3& v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const D3DXVECTOR3& v) const { return !(*this == v); }
};

struct D3DXVECTOR4 {
    FLOAT x, y, z, w;

    D3DXVECTOR4() = default;
    D3DXVECTOR4(FLOAT vx, FLOAT vy, FLOAT vz, FLOAT vw) : x(vx), y(vy), z(vz), w(vw) {}
    D3DXVECTOR4(const D3DVECTOR& v, FLOAT vw) : x(v.x), y(v.y), z(v.z), w(vw) {}
    explicit D3DXVECTOR4(const FLOAT* p) : x(p[0]), y(p[1]), z(p[2]), w(p[3]) {}
    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }
    D3DXVECTOR4& operator+=(const D3DXVECTOR4& v) { x += v.x; y += v.y; z += v.z; w += v.w; return *this; }
    D3DXVECTOR4& operator-=(const D3DXVECTOR4& v) { x -= v.x; y -= v.y; z -= v.z; w -= v.w; return *this; }
    D3DXVECTOR4& operator*=(FLOAT f) { x *= f; y *= f; z *= f; w *= f; return *this; }
    D3DXVECTOR4& operator/=(FLOAT f) { FLOAT r = 1.0f / f; x *= r; y *= r; z *= r; w *= r; return *this; }
    D3DXVECTOR4 operator+() const { return *this; }
    D3DXVECTOR4 operator-() const { return {-x, -y, -z, -w}; }
    D3DXVECTOR4 operator+(const D3DXVECTOR4& v) const { return {x + v.x, y + v.y, z + v.z, w + v.w}; }
    D3DXVECTOR4 operator-(const D3DXVECTOR4& v) const { return {x - v.x, y - v.y, z - v.z, w - v.w}; }
    D3DXVECTOR4 operator*(FLOAT f) const { return {x * f, y * f, z * f, w * f}; }
    D3DXVECTOR4 operator/(FLOAT f) const { FLOAT r = 1.0f / f; return {x * r, y * r, z * r, w * r}; }
    friend D3DXVECTOR4 operator*(FLOAT f, const D3DXVECTOR4& v) { return {f * v.x, f * v.y, f * v.z, f * v.w}; }
    bool operator==(const D3DXVECTOR4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
    bool operator!=(const D3DXVECTOR4& v) const { return !(*this == v); }
};

D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2);

struct D3DXMATRIX : public D3DMATRIX {
    D3DXMATRIX() = default;
    D3DXMATRIX(const D3DMATRIX& mat) : D3DMATRIX(mat) {}
    explicit D3DXMATRIX(const FLOAT* p) {
        for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = p[i];
    }
    D3DXMATRIX(FLOAT f11, FLOAT f12, FLOAT f13, FLOAT f14, FLOAT f21, FLOAT f22, FLOAT f23, FLOAT f24, FLOAT f31,
               FLOAT f32, FLOAT f33, FLOAT f34, FLOAT f41, FLOAT f42, FLOAT f43, FLOAT f44) {
        _11 = f11; _12 = f12; _13 = f13; _14 = f14;
        _21 = f21; _22 = f22; _23 = f23; _24 = f24;
        _31 = f31; _32 = f32; _33 = f33; _34 = f34;
        _41 = f41; _42 = f42; _43 = f43; _44 = f44;
    }
    FLOAT& operator()(UINT row, UINT col) { return m[row][col]; }
    FLOAT operator()(UINT row, UINT col) const { return m[row][col]; }
    operator FLOAT*() { return &_11; }
    operator const FLOAT*() const { return &_11; }
    D3DXMATRIX& operator*=(const D3DXMATRIX& b) { D3DXMatrixMultiply(this, this, &b); return *this; }
    D3DXMATRIX& operator+=(const D3DXMATRIX& b) {
        for (int i = 0; i < 16; ++i) (&_11)[i] += (&b._11)[i];
        return *this;
    }
    D3DXMATRIX& operator-=(const D3DXMATRIX& b) {
        for (int i = 0; i < 16; ++i) (&_11)[i] -= (&b._11)[i];
        return *this;
    }
    D3DXMATRIX& operator*=(FLOAT f) {
        for (int i = 0; i < 16; ++i) (&_11)[i] *= f;
        return *this;
    }
    D3DXMATRIX& operator/=(FLOAT f) { return *this *= 1.0f / f; }
    D3DXMATRIX operator+() const { return *this; }
    D3DXMATRIX operator-() const { D3DXMATRIX r = *this; r *= -1.0f; return r; }
    D3DXMATRIX operator*(const D3DXMATRIX& b) const { D3DXMATRIX r; D3DXMatrixMultiply(&r, this, &b); return r; }
    D3DXMATRIX operator+(const D3DXMATRIX& b) const { D3DXMATRIX r = *this; r += b; return r; }
    D3DXMATRIX operator-(const D3DXMATRIX& b) const { D3DXMATRIX r = *this; r -= b; return r; }
    D3DXMATRIX operator*(FLOAT f) const { D3DXMATRIX r = *this; r *= f; return r; }
    D3DXMATRIX operator/(FLOAT f) const { D3DXMATRIX r = *this; r /= f; return r; }
    friend D3DXMATRIX operator*(FLOAT f, const D3DXMATRIX& a) { return a * f; }
    bool operator==(const D3DXMATRIX& b) const {
        for (int i = 0; i < 16; ++i)
            if ((&_11)[i] != (&b._11)[i]) return false;
        return true;
    }
    bool operator!=(const D3DXMATRIX& b) const { return !(*this == b); }
};

D3DXQUATERNION* WINAPI D3DXQuaternionMultiply(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                             const D3DXQUATERNION* pQ2);

// x, y, z the vector part, w the scalar part.
struct D3DXQUATERNION {
    FLOAT x, y, z, w;

    D3DXQUATERNION() = default;
    D3DXQUATERNION(FLOAT qx, FLOAT qy, FLOAT qz, FLOAT qw) : x(qx), y(qy), z(qz), w(qw) {}
    explicit D3DXQUATERNION(const FLOAT* p) : x(p[0]), y(p[1]), z(p[2]), w(p[3]) {}
    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }
    D3DXQUATERNION& operator+=(const D3DXQUATERNION& q) { x += q.x; y += q.y; z += q.z; w += q.w; return *this; }
    D3DXQUATERNION& operator-=(const D3DXQUATERNION& q) { x -= q.x; y -= q.y; z -= q.z; w -= q.w; return *this; }
    D3DXQUATERNION& operator*=(const D3DXQUATERNION& q) { D3DXQuaternionMultiply(this, this, &q); return *this; }
    D3DXQUATERNION& operator*=(FLOAT f) { x *= f; y *= f; z *= f; w *= f; return *this; }
    D3DXQUATERNION& operator/=(FLOAT f) { FLOAT r = 1.0f / f; return *this *= r; }
    D3DXQUATERNION operator+() const { return *this; }
    D3DXQUATERNION operator-() const { return {-x, -y, -z, -w}; }
    D3DXQUATERNION operator+(const D3DXQUATERNION& q) const { return {x + q.x, y + q.y, z + q.z, w + q.w}; }
    D3DXQUATERNION operator-(const D3DXQUATERNION& q) const { return {x - q.x, y - q.y, z - q.z, w - q.w}; }
    D3DXQUATERNION operator*(const D3DXQUATERNION& q) const {
        D3DXQUATERNION r;
        D3DXQuaternionMultiply(&r, this, &q);
        return r;
    }
    D3DXQUATERNION operator*(FLOAT f) const { return {x * f, y * f, z * f, w * f}; }
    D3DXQUATERNION operator/(FLOAT f) const { FLOAT r = 1.0f / f; return {x * r, y * r, z * r, w * r}; }
    friend D3DXQUATERNION operator*(FLOAT f, const D3DXQUATERNION& q) { return q * f; }
    bool operator==(const D3DXQUATERNION& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
    bool operator!=(const D3DXQUATERNION& q) const { return !(*this == q); }
};

// The plane a*x + b*y + c*z + d = 0; (a, b, c) is its normal.
struct D3DXPLANE {
    FLOAT a, b, c, d;

    D3DXPLANE() = default;
    D3DXPLANE(FLOAT pa, FLOAT pb, FLOAT pc, FLOAT pd) : a(pa), b(pb), c(pc), d(pd) {}
    explicit D3DXPLANE(const FLOAT* p) : a(p[0]), b(p[1]), c(p[2]), d(p[3]) {}
    operator FLOAT*() { return &a; }
    operator const FLOAT*() const { return &a; }
    D3DXPLANE& operator*=(FLOAT f) { a *= f; b *= f; c *= f; d *= f; return *this; }
    D3DXPLANE& operator/=(FLOAT f) { FLOAT r = 1.0f / f; return *this *= r; }
    D3DXPLANE operator+() const { return *this; }
    D3DXPLANE operator-() const { return {-a, -b, -c, -d}; }
    D3DXPLANE operator*(FLOAT f) const { return {a * f, b * f, c * f, d * f}; }
    D3DXPLANE operator/(FLOAT f) const { FLOAT r = 1.0f / f; return {a * r, b * r, c * r, d * r}; }
    friend D3DXPLANE operator*(FLOAT f, const D3DXPLANE& p) { return p * f; }
    bool operator==(const D3DXPLANE& p) const { return a == p.a && b == p.b && c == p.c && d == p.d; }
    bool operator!=(const D3DXPLANE& p) const { return !(*this == p); }
};

// Four float channels; conversions to and from a packed A8R8G8B8 D3DCOLOR clamp to [0, 1] and round.
struct D3DXCOLOR {
    FLOAT r, g, b, a;

    D3DXCOLOR() = default;
    D3DXCOLOR(DWORD argb)
        : r(static_cast<FLOAT>((argb >> 16) & 0xff) * (1.0f / 255.0f)),
          g(static_cast<FLOAT>((argb >> 8) & 0xff) * (1.0f / 255.0f)),
          b(static_cast<FLOAT>(argb & 0xff) * (1.0f / 255.0f)),
          a(static_cast<FLOAT>((argb >> 24) & 0xff) * (1.0f / 255.0f)) {}
    D3DXCOLOR(FLOAT cr, FLOAT cg, FLOAT cb, FLOAT ca) : r(cr), g(cg), b(cb), a(ca) {}
    explicit D3DXCOLOR(const FLOAT* p) : r(p[0]), g(p[1]), b(p[2]), a(p[3]) {}
    D3DXCOLOR(const D3DCOLORVALUE& c) : r(c.r), g(c.g), b(c.b), a(c.a) {}
    operator DWORD() const {
        auto channel = [](FLOAT v) -> DWORD {
            return v >= 1.0f ? 0xffu : v <= 0.0f ? 0u : static_cast<DWORD>(v * 255.0f + 0.5f);
        };
        return (channel(a) << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
    }
    operator FLOAT*() { return &r; }
    operator const FLOAT*() const { return &r; }
    operator D3DCOLORVALUE() const { return {r, g, b, a}; }
    D3DXCOLOR& operator+=(const D3DXCOLOR& c) { r += c.r; g += c.g; b += c.b; a += c.a; return *this; }
    D3DXCOLOR& operator-=(const D3DXCOLOR& c) { r -= c.r; g -= c.g; b -= c.b; a -= c.a; return *this; }
    D3DXCOLOR& operator*=(FLOAT f) { r *= f; g *= f; b *= f; a *= f; return *this; }
    D3DXCOLOR& operator/=(FLOAT f) { FLOAT q = 1.0f / f; return *this *= q; }
    D3DXCOLOR operator+() const { return *this; }
    D3DXCOLOR operator-() const { return {-r, -g, -b, -a}; }
    D3DXCOLOR operator+(const D3DXCOLOR& c) const { return {r + c.r, g + c.g, b + c.b, a + c.a}; }
    D3DXCOLOR operator-(const D3DXCOLOR& c) const { return {r - c.r, g - c.g, b - c.b, a - c.a}; }
    D3DXCOLOR operator*(FLOAT f) const { return {r * f, g * f, b * f, a * f}; }
    D3DXCOLOR operator/(FLOAT f) const { FLOAT q = 1.0f / f; return {r * q, g * q, b * q, a * q}; }
    friend D3DXCOLOR operator*(FLOAT f, const D3DXCOLOR& c) { return c * f; }
    bool operator==(const D3DXCOLOR& c) const { return r == c.r && g == c.g && b == c.b && a == c.a; }
    bool operator!=(const D3DXCOLOR& c) const { return !(*this == c); }
};

static_assert(sizeof(D3DXFLOAT16) == 2 && offsetof(D3DXFLOAT16, value) == 0);
static_assert(sizeof(D3DXVECTOR2) == 8 && offsetof(D3DXVECTOR2, y) == 4);
static_assert(sizeof(D3DXVECTOR3) == 12 && offsetof(D3DXVECTOR3, z) == 8);
static_assert(sizeof(D3DXVECTOR4) == 16 && offsetof(D3DXVECTOR4, w) == 12);
static_assert(sizeof(D3DXQUATERNION) == 16 && offsetof(D3DXQUATERNION, w) == 12);
static_assert(sizeof(D3DXPLANE) == 16 && offsetof(D3DXPLANE, d) == 12);
static_assert(sizeof(D3DXCOLOR) == 16 && offsetof(D3DXCOLOR, a) == 12);
static_assert(sizeof(D3DXMATRIX) == 64 && offsetof(D3DXMATRIX, _44) == 60);
static_assert(std::is_standard_layout_v<D3DXFLOAT16> && std::is_standard_layout_v<D3DXVECTOR2> &&
              std::is_standard_layout_v<D3DXVECTOR3> && std::is_standard_layout_v<D3DXVECTOR4> &&
              std::is_standard_layout_v<D3DXQUATERNION> && std::is_standard_layout_v<D3DXPLANE> &&
              std::is_standard_layout_v<D3DXCOLOR> && std::is_standard_layout_v<D3DXMATRIX>);
static_assert(std::is_trivially_copyable_v<D3DXVECTOR3> && std::is_trivially_copyable_v<D3DXMATRIX> &&
              std::is_trivially_copyable_v<D3DXQUATERNION> && std::is_trivially_copyable_v<D3DXFLOAT16>);

// ---- Inline helpers (no table slot) ----

inline FLOAT D3DXVec2Length(const D3DXVECTOR2* v) { return __builtin_sqrtf(v->x * v->x + v->y * v->y); }
inline FLOAT D3DXVec2LengthSq(const D3DXVECTOR2* v) { return v->x * v->x + v->y * v->y; }
inline FLOAT D3DXVec2Dot(const D3DXVECTOR2* a, const D3DXVECTOR2* b) { return a->x * b->x + a->y * b->y; }
// The z component of the 3D cross product of (a, 0) and (b, 0).
inline FLOAT D3DXVec2CCW(const D3DXVECTOR2* a, const D3DXVECTOR2* b) { return a->x * b->y - a->y * b->x; }
inline D3DXVECTOR2* D3DXVec2Add(D3DXVECTOR2* o, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    o->x = a->x + b->x; o->y = a->y + b->y; return o;
}
inline D3DXVECTOR2* D3DXVec2Subtract(D3DXVECTOR2* o, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    o->x = a->x - b->x; o->y = a->y - b->y; return o;
}
inline D3DXVECTOR2* D3DXVec2Minimize(D3DXVECTOR2* o, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    o->x = a->x < b->x ? a->x : b->x; o->y = a->y < b->y ? a->y : b->y; return o;
}
inline D3DXVECTOR2* D3DXVec2Maximize(D3DXVECTOR2* o, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
    o->x = a->x > b->x ? a->x : b->x; o->y = a->y > b->y ? a->y : b->y; return o;
}
inline D3DXVECTOR2* D3DXVec2Scale(D3DXVECTOR2* o, const D3DXVECTOR2* v, FLOAT s) {
    o->x = v->x * s; o->y = v->y * s; return o;
}
inline D3DXVECTOR2* D3DXVec2Lerp(D3DXVECTOR2* o, const D3DXVECTOR2* a, const D3DXVECTOR2* b, FLOAT s) {
    o->x = a->x + s * (b->x - a->x); o->y = a->y + s * (b->y - a->y); return o;
}

inline FLOAT D3DXVec3Length(const D3DXVECTOR3* v) { return __builtin_sqrtf(v->x * v->x + v->y * v->y + v->z * v->z); }
inline FLOAT D3DXVec3LengthSq(const D3DXVECTOR3* v) { return v->x * v->x + v->y * v->y + v->z * v->z; }
inline FLOAT D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z;
}
// o may be a or b.
inline D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* o, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    D3DXVECTOR3 r(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
    *o = r;
    return o;
}
inline D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* o, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    o->x = a->x + b->x; o->y = a->y + b->y; o->z = a->z + b->z; return o;
}
inline D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* o, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    o->x = a->x - b->x; o->y = a->y - b->y; o->z = a->z - b->z; return o;
}
inline D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* o, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    o->x = a->x < b->x ? a->x : b->x; o->y = a->y < b->y ? a->y : b->y; o->z = a->z < b->z ? a->z : b->z;
    return o;
}
inline D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* o, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    o->x = a->x > b->x ? a->x : b->x; o->y = a->y > b->y ? a->y : b->y; o->z = a->z > b->z ? a->z : b->z;
    return o;
}
inline D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* o, const D3DXVECTOR3* v, FLOAT s) {
    o->x = v->x * s; o->y = v->y * s; o->z = v->z * s; return o;
}
inline D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* o, const D3DXVECTOR3* a, const D3DXVECTOR3* b, FLOAT s) {
    o->x = a->x + s * (b->x - a->x); o->y = a->y + s * (b->y - a->y); o->z = a->z + s * (b->z - a->z);
    return o;
}

inline FLOAT D3DXVec4Length(const D3DXVECTOR4* v) {
    return __builtin_sqrtf(v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w);
}
inline FLOAT D3DXVec4LengthSq(const D3DXVECTOR4* v) { return v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w; }
inline FLOAT D3DXVec4Dot(const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
inline D3DXVECTOR4* D3DXVec4Add(D3DXVECTOR4* o, const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
    o->x = a->x + b->x; o->y = a->y + b->y; o->z = a->z + b->z; o->w = a->w + b->w; return o;
}
inline D3DXVECTOR4* D3DXVec4Subtract(D3DXVECTOR4* o, const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
    o->x = a->x - b->x; o->y = a->y - b->y; o->z = a->z - b->z; o->w = a->w - b->w; return o;
}
inline D3DXVECTOR4* D3DXVec4Minimize(D3DXVECTOR4* o, const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
    o->x = a->x < b->x ? a->x : b->x;
    o->y = a->y < b->y ? a->y : b->y;
    o->z = a->z < b->z ? a->z : b->z;
    o->w = a->w < b->w ? a->w : b->w;
    return o;
}
inline D3DXVECTOR4* D3DXVec4Maximize(D3DXVECTOR4* o, const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
    o->x = a->x > b->x ? a->x : b->x;
    o->y = a->y > b->y ? a->y : b->y;
    o->z = a->z > b->z ? a->z : b->z;
    o->w = a->w > b->w ? a->w : b->w;
    return o;
}
inline D3DXVECTOR4* D3DXVec4Scale(D3DXVECTOR4* o, const D3DXVECTOR4* v, FLOAT s) {
    o->x = v->x * s; o->y = v->y * s; o->z = v->z * s; o->w = v->w * s; return o;
}
inline D3DXVECTOR4* D3DXVec4Lerp(D3DXVECTOR4* o, const D3DXVECTOR4* a, const D3DXVECTOR4* b, FLOAT s) {
    o->x = a->x + s * (b->x - a->x); o->y = a->y + s * (b->y - a->y);
    o->z = a->z + s * (b->z - a->z); o->w = a->w + s * (b->w - a->w);
    return o;
}

inline D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* o) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) o->m[r][c] = r == c ? 1.0f : 0.0f;
    return o;
}
inline BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* a) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (a->m[r][c] != (r == c ? 1.0f : 0.0f)) return FALSE;
    return TRUE;
}

inline FLOAT D3DXQuaternionLength(const D3DXQUATERNION* q) {
    return __builtin_sqrtf(q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w);
}
inline FLOAT D3DXQuaternionLengthSq(const D3DXQUATERNION* q) {
    return q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w;
}
inline FLOAT D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
inline D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* o) {
    o->x = o->y = o->z = 0.0f; o->w = 1.0f; return o;
}
inline BOOL D3DXQuaternionIsIdentity(const D3DXQUATERNION* q) {
    return q->x == 0.0f && q->y == 0.0f && q->z == 0.0f && q->w == 1.0f;
}
inline D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* o, const D3DXQUATERNION* q) {
    o->x = -q->x; o->y = -q->y; o->z = -q->z; o->w = q->w; return o;
}

inline FLOAT D3DXPlaneDot(const D3DXPLANE* p, const D3DXVECTOR4* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d * v->w;
}
inline FLOAT D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d;
}
inline FLOAT D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z;
}
inline D3DXPLANE* D3DXPlaneScale(D3DXPLANE* o, const D3DXPLANE* p, FLOAT s) {
    o->a = p->a * s; o->b = p->b * s; o->c = p->c * s; o->d = p->d * s; return o;
}

inline D3DXCOLOR* D3DXColorNegative(D3DXCOLOR* o, const D3DXCOLOR* c) {
    o->r = 1.0f - c->r; o->g = 1.0f - c->g; o->b = 1.0f - c->b; o->a = c->a; return o;
}
inline D3DXCOLOR* D3DXColorAdd(D3DXCOLOR* o, const D3DXCOLOR* a, const D3DXCOLOR* b) {
    o->r = a->r + b->r; o->g = a->g + b->g; o->b = a->b + b->b; o->a = a->a + b->a; return o;
}
inline D3DXCOLOR* D3DXColorSubtract(D3DXCOLOR* o, const D3DXCOLOR* a, const D3DXCOLOR* b) {
    o->r = a->r - b->r; o->g = a->g - b->g; o->b = a->b - b->b; o->a = a->a - b->a; return o;
}
inline D3DXCOLOR* D3DXColorScale(D3DXCOLOR* o, const D3DXCOLOR* c, FLOAT s) {
    o->r = c->r * s; o->g = c->g * s; o->b = c->b * s; o->a = c->a * s; return o;
}
inline D3DXCOLOR* D3DXColorModulate(D3DXCOLOR* o, const D3DXCOLOR* a, const D3DXCOLOR* b) {
    o->r = a->r * b->r; o->g = a->g * b->g; o->b = a->b * b->b; o->a = a->a * b->a; return o;
}
inline D3DXCOLOR* D3DXColorLerp(D3DXCOLOR* o, const D3DXCOLOR* a, const D3DXCOLOR* b, FLOAT s) {
    o->r = a->r + s * (b->r - a->r); o->g = a->g + s * (b->g - a->g);
    o->b = a->b + s * (b->b - a->b); o->a = a->a + s * (b->a - a->a);
    return o;
}

// Contrast about mid grey: each of r, g, b becomes 0.5 + c (x - 0.5); alpha is kept.
inline D3DXCOLOR* D3DXColorAdjustContrast(D3DXCOLOR* o, const D3DXCOLOR* col, FLOAT c) {
    o->r = 0.5f + c * (col->r - 0.5f);
    o->g = 0.5f + c * (col->g - 0.5f);
    o->b = 0.5f + c * (col->b - 0.5f);
    o->a = col->a;
    return o;
}
// Saturation about the colour's grey (0.2125 r + 0.7154 g + 0.0721 b): each of r, g, b becomes
// grey + s (x - grey); alpha is kept. s = 0 gives the grey, s = 1 the colour, s > 1 more saturation.
inline D3DXCOLOR* D3DXColorAdjustSaturation(D3DXCOLOR* o, const D3DXCOLOR* col, FLOAT s) {
    const FLOAT grey = col->r * 0.2125f + col->g * 0.7154f + col->b * 0.0721f;
    o->r = grey + s * (col->r - grey);
    o->g = grey + s * (col->g - grey);
    o->b = grey + s * (col->b - grey);
    o->a = col->a;
    return o;
}

// ---- Plain routines (outside the routine table) ----

// View matrices looking from eye towards at, left- and right-handed (the right-handed view looks down -z); a zero
// axis (eye == at, up parallel to the view) gives zero terms.
D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye, const D3DXVECTOR3* pAt,
                                      const D3DXVECTOR3* pUp);
D3DXMATRIX* WINAPI D3DXMatrixLookAtRH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye, const D3DXVECTOR3* pAt,
                                      const D3DXVECTOR3* pUp);
// Perspective projections to depth 0..1 at the near and far planes: by the view volume's width and height at the
// near plane, by the vertical field of view (radians) and aspect (width / height), or by the near plane's
// left, right, bottom and top. No argument is checked: a degenerate volume gives the formula's infinities.
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveLH(D3DXMATRIX* pOut, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveRH(D3DXMATRIX* pOut, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf);
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovRH(D3DXMATRIX* pOut, FLOAT fovy, FLOAT aspect, FLOAT zn, FLOAT zf);
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* pOut, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                                    FLOAT zf);
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX* pOut, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                                    FLOAT zf);
// Orthographic projections (depth 0..1), centred or by the volume's left, right, bottom and top.
D3DXMATRIX* WINAPI D3DXMatrixOrthoLH(D3DXMATRIX* pOut, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX* WINAPI D3DXMatrixOrthoRH(D3DXMATRIX* pOut, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf);
D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* pOut, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn,
                                              FLOAT zf);
D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* pOut, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf);

// The Fresnel reflectance of unpolarised light at an interface: cosTheta is the cosine of the angle between the
// light and the normal, refractionIndex the ratio of the indices. With g = sqrt(n^2 + c^2 - 1):
// 0.5 (g - c)^2 / (g + c)^2 (1 + (c (g + c) - 1)^2 / (c (g - c) + 1)^2).
FLOAT WINAPI D3DXFresnelTerm(FLOAT cosTheta, FLOAT refractionIndex);

// ---- Matrix stacks ----

// A stack of matrices for walking a hierarchy. It starts with one identity matrix; Push copies the top, Pop removes
// it (the last matrix cannot be popped: D3DERR_INVALIDCALL). The plain forms multiply the top on the right (top *
// M: M applies after what the top already does), the Local forms on the left (M * top: M applies first, in the
// top's local frame). A null argument is D3DERR_INVALIDCALL; E_OUTOFMEMORY when a push cannot grow the stack.
inline constexpr GUID IID_ID3DXMatrixStack = {
    0xc7885ba7, 0xf990, 0x4fe7, {0x92, 0x2d, 0x85, 0x15, 0xe4, 0x77, 0xdd, 0x85}};
struct ID3DXMatrixStack : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Pop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Push() = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadIdentity() = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadMatrix(const D3DXMATRIX* pM) = 0;
    virtual HRESULT STDMETHODCALLTYPE MultMatrix(const D3DXMATRIX* pM) = 0;
    virtual HRESULT STDMETHODCALLTYPE MultMatrixLocal(const D3DXMATRIX* pM) = 0;
    virtual HRESULT STDMETHODCALLTYPE RotateAxis(const D3DXVECTOR3* pV, FLOAT angle) = 0;
    virtual HRESULT STDMETHODCALLTYPE RotateAxisLocal(const D3DXVECTOR3* pV, FLOAT angle) = 0;
    virtual HRESULT STDMETHODCALLTYPE RotateYawPitchRoll(FLOAT yaw, FLOAT pitch, FLOAT roll) = 0;
    virtual HRESULT STDMETHODCALLTYPE RotateYawPitchRollLocal(FLOAT yaw, FLOAT pitch, FLOAT roll) = 0;
    virtual HRESULT STDMETHODCALLTYPE Scale(FLOAT x, FLOAT y, FLOAT z) = 0;
    virtual HRESULT STDMETHODCALLTYPE ScaleLocal(FLOAT x, FLOAT y, FLOAT z) = 0;
    virtual HRESULT STDMETHODCALLTYPE Translate(FLOAT x, FLOAT y, FLOAT z) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateLocal(FLOAT x, FLOAT y, FLOAT z) = 0;
    // The top matrix, valid until the next Push, Pop or Release.
    virtual D3DXMATRIX* STDMETHODCALLTYPE GetTop() = 0;

protected:
    ~ID3DXMatrixStack() = default;
};
using LPD3DXMATRIXSTACK = ID3DXMatrixStack*;
// flags is unused (pass 0). The new stack has one reference.
HRESULT WINAPI D3DXCreateMatrixStack(DWORD flags, ID3DXMatrixStack** ppStack);

// ---- Dispatched routines (one table slot each, chosen for the processor on first use) ----

D3DXVECTOR4* WINAPI D3DXVec2Transform(D3DXVECTOR4* pOut, const D3DXVECTOR2* pV, const D3DXMATRIX* pM);
D3DXVECTOR4* WINAPI D3DXVec3Transform(D3DXVECTOR4* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM);
D3DXVECTOR4* WINAPI D3DXVec4Transform(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV, const D3DXMATRIX* pM);
D3DXMATRIX* WINAPI D3DXMatrixMultiplyTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2);
D3DXVECTOR2* WINAPI D3DXVec2TransformNormal(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV, const D3DXMATRIX* pM);
D3DXVECTOR3* WINAPI D3DXVec3TransformNormal(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM);
D3DXVECTOR3* WINAPI D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV);
D3DXVECTOR4* WINAPI D3DXVec4Normalize(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV);
D3DXVECTOR2* WINAPI D3DXVec2TransformCoord(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV, const D3DXMATRIX* pM);
D3DXVECTOR3* WINAPI D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM);
FLOAT WINAPI D3DXMatrixDeterminant(const D3DXMATRIX* pM);
// Returns S_OK, or D3DERR_INVALIDCALL when the matrix has no scale-rotation-translation form.
HRESULT WINAPI D3DXMatrixDecompose(D3DXVECTOR3* pOutScale, D3DXQUATERNION* pOutRotation,
                                   D3DXVECTOR3* pOutTranslation, const D3DXMATRIX* pM);
D3DXPLANE* WINAPI D3DXPlaneFromPointNormal(D3DXPLANE* pOut, const D3DXVECTOR3* pPoint, const D3DXVECTOR3* pNormal);
D3DXPLANE* WINAPI D3DXPlaneFromPoints(D3DXPLANE* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2,
                                      const D3DXVECTOR3* pV3);
// Null matrices count as identity; without a viewport the result stays in projection space.
D3DXVECTOR3* WINAPI D3DXVec3Project(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DVIEWPORT9* pViewport,
                                   const D3DXMATRIX* pProjection, const D3DXMATRIX* pView, const D3DXMATRIX* pWorld);
// Returns null (out untouched) when World*View*Projection cannot be inverted.
D3DXVECTOR3* WINAPI D3DXVec3Unproject(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DVIEWPORT9* pViewport,
                                     const D3DXMATRIX* pProjection, const D3DXMATRIX* pView,
                                     const D3DXMATRIX* pWorld);
D3DXVECTOR4* WINAPI D3DXVec4Cross(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1, const D3DXVECTOR4* pV2,
                                  const D3DXVECTOR4* pV3);
D3DXVECTOR2* WINAPI D3DXVec2Hermite(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1, const D3DXVECTOR2* pT1,
                                    const D3DXVECTOR2* pV2, const D3DXVECTOR2* pT2, FLOAT s);
// Returns null (out untouched, determinant still stored when pDeterminant is given) for a singular matrix.
D3DXMATRIX* WINAPI D3DXMatrixInverse(D3DXMATRIX* pOut, FLOAT* pDeterminant, const D3DXMATRIX* pM);
D3DXQUATERNION* WINAPI D3DXQuaternionNormalize(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
D3DXPLANE* WINAPI D3DXPlaneNormalize(D3DXPLANE* pOut, const D3DXPLANE* pP);
// Returns null (out untouched) when the line is parallel to the plane.
D3DXVECTOR3* WINAPI D3DXPlaneIntersectLine(D3DXVECTOR3* pOut, const D3DXPLANE* pP, const D3DXVECTOR3* pV1,
                                          const D3DXVECTOR3* pV2);
void WINAPI D3DXQuaternionToAxisAngle(const D3DXQUATERNION* pQ, D3DXVECTOR3* pAxis, FLOAT* pAngle);
D3DXQUATERNION* WINAPI D3DXQuaternionRotationMatrix(D3DXQUATERNION* pOut, const D3DXMATRIX* pM);
D3DXQUATERNION* WINAPI D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* pOut, FLOAT yaw, FLOAT pitch, FLOAT roll);
D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* pOut, FLOAT x, FLOAT y, FLOAT z);
D3DXMATRIX* WINAPI D3DXMatrixShadow(D3DXMATRIX* pOut, const D3DXVECTOR4* pLight, const D3DXPLANE* pPlane);
D3DXMATRIX* WINAPI D3DXMatrixReflect(D3DXMATRIX* pOut, const D3DXPLANE* pPlane);
D3DXQUATERNION* WINAPI D3DXQuaternionRotationAxis(D3DXQUATERNION* pOut, const D3DXVECTOR3* pV, FLOAT angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* pOut, FLOAT angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationY(D3DXMATRIX* pOut, FLOAT angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* pOut, FLOAT angle);
D3DXMATRIX* WINAPI D3DXMatrixScaling(D3DXMATRIX* pOut, FLOAT sx, FLOAT sy, FLOAT sz);
D3DXPLANE* WINAPI D3DXPlaneTransform(D3DXPLANE* pOut, const D3DXPLANE* pP, const D3DXMATRIX* pM);
D3DXQUATERNION* WINAPI D3DXQuaternionSlerp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                          const D3DXQUATERNION* pQ2, FLOAT t);
D3DXQUATERNION* WINAPI D3DXQuaternionBaryCentric(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                                const D3DXQUATERNION* pQ2, const D3DXQUATERNION* pQ3, FLOAT f,
                                                FLOAT g);
D3DXMATRIX* WINAPI D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM);
D3DXMATRIX* WINAPI D3DXMatrixRotationQuaternion(D3DXMATRIX* pOut, const D3DXQUATERNION* pQ);
// Msc^-1 * Msr^-1 * Ms * Msr * Msc * Mrc^-1 * Mr * Mrc * Mt; every pointer may be null.
D3DXMATRIX* WINAPI D3DXMatrixTransformation(D3DXMATRIX* pOut, const D3DXVECTOR3* pScalingCenter,
                                           const D3DXQUATERNION* pScalingRotation, const D3DXVECTOR3* pScaling,
                                           const D3DXVECTOR3* pRotationCenter, const D3DXQUATERNION* pRotation,
                                           const D3DXVECTOR3* pTranslation);
D3DXMATRIX* WINAPI D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* pOut, FLOAT yaw, FLOAT pitch, FLOAT roll);
D3DXMATRIX* WINAPI D3DXMatrixAffineTransformation(D3DXMATRIX* pOut, FLOAT scaling, const D3DXVECTOR3* pRotationCenter,
                                                 const D3DXQUATERNION* pRotation, const D3DXVECTOR3* pTranslation);
D3DXMATRIX* WINAPI D3DXMatrixRotationAxis(D3DXMATRIX* pOut, const D3DXVECTOR3* pV, FLOAT angle);
D3DXQUATERNION* WINAPI D3DXQuaternionSquad(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1, const D3DXQUATERNION* pA,
                                          const D3DXQUATERNION* pB, const D3DXQUATERNION* pC, FLOAT t);
D3DXQUATERNION* WINAPI D3DXQuaternionInverse(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
void WINAPI D3DXQuaternionSquadSetup(D3DXQUATERNION* pAOut, D3DXQUATERNION* pBOut, D3DXQUATERNION* pCOut,
                                     const D3DXQUATERNION* pQ0, const D3DXQUATERNION* pQ1, const D3DXQUATERNION* pQ2,
                                     const D3DXQUATERNION* pQ3);
D3DXVECTOR2* WINAPI D3DXVec2Normalize(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV);
D3DXVECTOR2* WINAPI D3DXVec2CatmullRom(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV0, const D3DXVECTOR2* pV1,
                                       const D3DXVECTOR2* pV2, const D3DXVECTOR2* pV3, FLOAT s);
D3DXVECTOR2* WINAPI D3DXVec2BaryCentric(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1, const D3DXVECTOR2* pV2,
                                        const D3DXVECTOR2* pV3, FLOAT f, FLOAT g);
D3DXVECTOR3* WINAPI D3DXVec3Hermite(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pT1,
                                    const D3DXVECTOR3* pV2, const D3DXVECTOR3* pT2, FLOAT s);
D3DXVECTOR3* WINAPI D3DXVec3CatmullRom(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV0, const D3DXVECTOR3* pV1,
                                       const D3DXVECTOR3* pV2, const D3DXVECTOR3* pV3, FLOAT s);
D3DXVECTOR3* WINAPI D3DXVec3BaryCentric(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2,
                                        const D3DXVECTOR3* pV3, FLOAT f, FLOAT g);
D3DXVECTOR4* WINAPI D3DXVec4Hermite(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1, const D3DXVECTOR4* pT1,
                                    const D3DXVECTOR4* pV2, const D3DXVECTOR4* pT2, FLOAT s);
D3DXVECTOR4* WINAPI D3DXVec4CatmullRom(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV0, const D3DXVECTOR4* pV1,
                                       const D3DXVECTOR4* pV2, const D3DXVECTOR4* pV3, FLOAT s);
D3DXVECTOR4* WINAPI D3DXVec4BaryCentric(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1, const D3DXVECTOR4* pV2,
                                        const D3DXVECTOR4* pV3, FLOAT f, FLOAT g);
D3DXQUATERNION* WINAPI D3DXQuaternionLn(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
D3DXQUATERNION* WINAPI D3DXQuaternionExp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);

// Array transforms: n elements; element i sits stride * i bytes after the pointer. Out may be in with equal strides.
D3DXVECTOR4* WINAPI D3DXVec2TransformArray(D3DXVECTOR4* pOut, UINT OutStride, const D3DXVECTOR2* pV, UINT VStride,
                                           const D3DXMATRIX* pM, UINT n);
D3DXVECTOR2* WINAPI D3DXVec2TransformCoordArray(D3DXVECTOR2* pOut, UINT OutStride, const D3DXVECTOR2* pV,
                                                UINT VStride, const D3DXMATRIX* pM, UINT n);
D3DXVECTOR2* WINAPI D3DXVec2TransformNormalArray(D3DXVECTOR2* pOut, UINT OutStride, const D3DXVECTOR2* pV,
                                                 UINT VStride, const D3DXMATRIX* pM, UINT n);
D3DXVECTOR4* WINAPI D3DXVec3TransformArray(D3DXVECTOR4* pOut, UINT OutStride, const D3DXVECTOR3* pV, UINT VStride,
                                           const D3DXMATRIX* pM, UINT n);
D3DXVECTOR3* WINAPI D3DXVec3TransformCoordArray(D3DXVECTOR3* pOut, UINT OutStride, const D3DXVECTOR3* pV,
                                                UINT VStride, const D3DXMATRIX* pM, UINT n);
D3DXVECTOR3* WINAPI D3DXVec3TransformNormalArray(D3DXVECTOR3* pOut, UINT OutStride, const D3DXVECTOR3* pV,
                                                 UINT VStride, const D3DXMATRIX* pM, UINT n);
D3DXVECTOR4* WINAPI D3DXVec4TransformArray(D3DXVECTOR4* pOut, UINT OutStride, const D3DXVECTOR4* pV, UINT VStride,
                                           const D3DXMATRIX* pM, UINT n);
D3DXPLANE* WINAPI D3DXPlaneTransformArray(D3DXPLANE* pOut, UINT OutStride, const D3DXPLANE* pP, UINT PStride,
                                          const D3DXMATRIX* pM, UINT n);
D3DXVECTOR3* WINAPI D3DXVec3ProjectArray(D3DXVECTOR3* pOut, UINT OutStride, const D3DXVECTOR3* pV, UINT VStride,
                                         const D3DVIEWPORT9* pViewport, const D3DXMATRIX* pProjection,
                                         const D3DXMATRIX* pView, const D3DXMATRIX* pWorld, UINT n);
// Returns null (out untouched) when World*View*Projection cannot be inverted.
D3DXVECTOR3* WINAPI D3DXVec3UnprojectArray(D3DXVECTOR3* pOut, UINT OutStride, const D3DXVECTOR3* pV, UINT VStride,
                                           const D3DVIEWPORT9* pViewport, const D3DXMATRIX* pProjection,
                                           const D3DXMATRIX* pView, const D3DXMATRIX* pWorld, UINT n);

D3DXMATRIX* WINAPI D3DXMatrixTransformation2D(D3DXMATRIX* pOut, const D3DXVECTOR2* pScalingCenter,
                                             FLOAT ScalingRotation, const D3DXVECTOR2* pScaling,
                                             const D3DXVECTOR2* pRotationCenter, FLOAT Rotation,
                                             const D3DXVECTOR2* pTranslation);
D3DXMATRIX* WINAPI D3DXMatrixAffineTransformation2D(D3DXMATRIX* pOut, FLOAT Scaling, const D3DXVECTOR2* pRotationCenter,
                                                   FLOAT Rotation, const D3DXVECTOR2* pTranslation);

// ---- Library services used by texture loading ----

// Silences (TRUE) or restores (FALSE) the Direct3D runtime's debug output, unless "D3DXDoNotMute" is set.
void MuteDebugOutput(BOOL mute);
// 1 when MMX code paths may be used: the processor has MMX and no "DisableMMX" switch has ever been seen.
int UseMmx();
