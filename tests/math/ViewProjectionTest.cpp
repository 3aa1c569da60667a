// View and projection builders of both hands, and the Fresnel term, against their documented formulas with values
// where a wrong sign, a swapped bound or a lost hand shows.
#include <array>
#include <cmath>

#include "platform/d3d9/D3D9.h"
#include "tests/math/MathTestUtil.h"

using namespace mathtest;

namespace {

using M = std::array<double, 16>;

void ExpectMatrix(const D3DXMATRIX& m, const M& expected, double tolerance) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(static_cast<const float*>(m)[i], expected[i], tolerance * (1 + std::fabs(expected[i]))) << i;
}

// The point (x, y, z) through m, as depth z'/w'.
double Depth(const D3DXMATRIX& m, double x, double y, double z) {
    const double zc = x * m._13 + y * m._23 + z * m._33 + m._43;
    const double w = x * m._14 + y * m._24 + z * m._34 + m._44;
    return zc / w;
}

}  // namespace

// The documented view matrix: z = normal(at - eye), x = normal(up x z), y = z x x; the rows hold the axes as
// columns, and the last row is (-x.eye, -y.eye, -z.eye, 1). An eye off every axis makes each translation term count.
TEST(LookAt, MatchesTheDocumentedFormula) {
    struct Case {
        const char* name;
        D3DXVECTOR3 eye, at, up;
    } const cases[] = {
        {"on the view axis", {0, 0, -5}, {0, 0, 0}, {0, 1, 0}},
        {"off every axis", {3, -2, 7}, {-1, 4, 0.5f}, {0, 1, 0}},
        {"tilted up vector", {-6, 5, -4}, {2, 1, 3}, {0.3f, 1, -0.2f}},
    };
    using V = std::array<double, 3>;
    auto sub = [](V a, V b) { return V{a[0] - b[0], a[1] - b[1], a[2] - b[2]}; };
    auto cross = [](V a, V b) {
        return V{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    };
    auto dot = [](V a, V b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    auto normal = [&](V a) {
        const double n = std::sqrt(dot(a, a));
        return V{a[0] / n, a[1] / n, a[2] / n};
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const V eye{c.eye.x, c.eye.y, c.eye.z}, at{c.at.x, c.at.y, c.at.z}, up{c.up.x, c.up.y, c.up.z};
        const V z = normal(sub(at, eye)), x = normal(cross(up, z)), y = cross(z, x);
        float expected[16];
        for (int i = 0; i < 3; ++i) {
            expected[i * 4 + 0] = float(x[i]);
            expected[i * 4 + 1] = float(y[i]);
            expected[i * 4 + 2] = float(z[i]);
            expected[i * 4 + 3] = 0;
        }
        expected[12] = float(-dot(x, eye));
        expected[13] = float(-dot(y, eye));
        expected[14] = float(-dot(z, eye));
        expected[15] = 1;
        D3DXMATRIX m;
        EXPECT_EQ(D3DXMatrixLookAtLH(&m, &c.eye, &c.at, &c.up), &m);
        // Within the dispatched normalisation's accuracy (the baseline one is good to 1.5e-6), relative to the
        // eye's distance for the translation.
        EXPECT_TRUE(NearAll<12>(m, expected, 2e-6));
        EXPECT_TRUE(NearAll<4>(&m._41, &expected[12], 2e-5));
    }
}

TEST(LookAt, DegenerateAxesGiveZerosNotNaN) {
    D3DXVECTOR3 eye(1, 2, 3), up(0, 1, 0), above(1, 7, 3);
    D3DXMATRIX same, parallel;
    D3DXMatrixLookAtLH(&same, &eye, &eye, &up);
    D3DXMatrixLookAtLH(&parallel, &eye, &above, &up);
    for (int i = 0; i < 16; ++i) {
        EXPECT_FALSE(std::isnan(static_cast<const float*>(same)[i])) << i;
        EXPECT_FALSE(std::isnan(static_cast<const float*>(parallel)[i])) << i;
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(same.m[r][c], 0.0f) << r << c;
    EXPECT_EQ(same._44, 1.0f);
    // Looking straight up: the x axis (up x z) vanishes, z stays (0, 1, 0).
    EXPECT_EQ(parallel._11, 0.0f);
    EXPECT_NEAR(parallel._23, 1.0f, 2e-6);
}

TEST(Perspective, QuarterTurnFieldOfView) {
    D3DXMATRIX m;
    D3DXMatrixPerspectiveFovLH(&m, D3DX_PI / 2, 1, 1, 2);
    const D3DXMATRIX expected(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 1, 0, 0, -2, 0);
    EXPECT_TRUE(NearAll<16>(m, expected, 1e-6));
    EXPECT_EQ(m._33, 2.0f);
    EXPECT_EQ(m._43, -2.0f);
    EXPECT_EQ(m._44, 0.0f);
}

// The right-handed view: z = normal(eye - at), so the view looks down -z; the other axes and the translation
// follow as for the left hand. The same eyes off every axis.
TEST(LookAt, RightHandedLooksDownMinusZ) {
    const D3DXVECTOR3 eye(3, -2, 7), at(-1, 4, 0.5f), up(0.3f, 1, -0.2f);
    using V = std::array<double, 3>;
    auto cross = [](V a, V b) {
        return V{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    };
    auto dot = [](V a, V b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    auto normal = [&](V a) {
        const double n = std::sqrt(dot(a, a));
        return V{a[0] / n, a[1] / n, a[2] / n};
    };
    const V e{eye.x, eye.y, eye.z};
    const V z = normal(V{eye.x - at.x, eye.y - at.y, eye.z - at.z}), x = normal(cross(V{up.x, up.y, up.z}, z)),
            y = cross(z, x);
    const M expected{x[0], y[0], z[0], 0, x[1],       y[1],       z[1],       0,
                     x[2], y[2], z[2], 0, -dot(x, e), -dot(y, e), -dot(z, e), 1};
    D3DXMATRIX m;
    EXPECT_EQ(D3DXMatrixLookAtRH(&m, &eye, &at, &up), &m);
    ExpectMatrix(m, expected, 2e-6);
    // The point looked at lies straight ahead, on -z.
    D3DXVECTOR3 seen;
    D3DXVec3TransformCoord(&seen, &at, &m);
    EXPECT_NEAR(seen.x, 0, 1e-5);
    EXPECT_NEAR(seen.y, 0, 1e-5);
    EXPECT_LT(seen.z, 0);
}

// Every projection against its documented matrix, with an off-centre window, a near plane away from 0 and a
// field of view that is not a quarter turn; and, for each, the near plane at depth 0 and the far plane at depth
// 1 on the hand's own view direction (+z for the left hand, -z for the right).
TEST(Projection, EveryBuilderMatchesItsDocumentedMatrix) {
    const double w = 3, h = 2, zn = 0.5, zf = 40, l = -1.5, r = 2.5, b = -0.75, t = 1.25, fov = 1.1, aspect = 1.6;
    const double yS = 1 / std::tan(fov / 2), xS = yS / aspect;
    struct Case {
        const char* name;
        D3DXMATRIX* (*build)(D3DXMATRIX*);
        M expected;
        double hand;  // +1: looks down +z, -1: down -z
    } const cases[] = {
        {"PerspectiveLH",
         [](D3DXMATRIX* m) { return D3DXMatrixPerspectiveLH(m, 3, 2, 0.5f, 40); },
         {2 * zn / w, 0, 0, 0, 0, 2 * zn / h, 0, 0, 0, 0, zf / (zf - zn), 1, 0, 0, zn * zf / (zn - zf), 0},
         1},
        {"PerspectiveRH",
         [](D3DXMATRIX* m) { return D3DXMatrixPerspectiveRH(m, 3, 2, 0.5f, 40); },
         {2 * zn / w, 0, 0, 0, 0, 2 * zn / h, 0, 0, 0, 0, zf / (zn - zf), -1, 0, 0, zn * zf / (zn - zf), 0},
         -1},
        {"PerspectiveFovLH",
         [](D3DXMATRIX* m) { return D3DXMatrixPerspectiveFovLH(m, 1.1f, 1.6f, 0.5f, 40); },
         {xS, 0, 0, 0, 0, yS, 0, 0, 0, 0, zf / (zf - zn), 1, 0, 0, -zn * zf / (zf - zn), 0},
         1},
        {"PerspectiveFovRH",
         [](D3DXMATRIX* m) { return D3DXMatrixPerspectiveFovRH(m, 1.1f, 1.6f, 0.5f, 40); },
         {xS, 0, 0, 0, 0, yS, 0, 0, 0, 0, zf / (zn - zf), -1, 0, 0, zn * zf / (zn - zf), 0},
         -1},
        {"PerspectiveOffCenterLH",
         [](D3DXMATRIX* m) { return D3DXMatrixPerspectiveOffCenterLH(m, -1.5f, 2.5f, -0.75f, 1.25f, 0.5f, 40); },
         {2 * zn / (r - l), 0, 0, 0, 0, 2 * zn / (t - b), 0, 0, (l + r) / (l - r), (t + b) / (b - t), zf / (zf - zn), 1,
          0, 0, zn * zf / (zn - zf), 0},
         1},
        {"PerspectiveOffCenterRH",
         [](D3DXMATRIX* m) { return D3DXMatrixPerspectiveOffCenterRH(m, -1.5f, 2.5f, -0.75f, 1.25f, 0.5f, 40); },
         {2 * zn / (r - l), 0, 0, 0, 0, 2 * zn / (t - b), 0, 0, (l + r) / (r - l), (t + b) / (t - b), zf / (zn - zf),
          -1, 0, 0, zn * zf / (zn - zf), 0},
         -1},
        {"OrthoLH",
         [](D3DXMATRIX* m) { return D3DXMatrixOrthoLH(m, 3, 2, 0.5f, 40); },
         {2 / w, 0, 0, 0, 0, 2 / h, 0, 0, 0, 0, 1 / (zf - zn), 0, 0, 0, zn / (zn - zf), 1},
         1},
        {"OrthoRH",
         [](D3DXMATRIX* m) { return D3DXMatrixOrthoRH(m, 3, 2, 0.5f, 40); },
         {2 / w, 0, 0, 0, 0, 2 / h, 0, 0, 0, 0, 1 / (zn - zf), 0, 0, 0, zn / (zn - zf), 1},
         -1},
        {"OrthoOffCenterLH",
         [](D3DXMATRIX* m) { return D3DXMatrixOrthoOffCenterLH(m, -1.5f, 2.5f, -0.75f, 1.25f, 0.5f, 40); },
         {2 / (r - l), 0, 0, 0, 0, 2 / (t - b), 0, 0, 0, 0, 1 / (zf - zn), 0, (l + r) / (l - r), (t + b) / (b - t),
          zn / (zn - zf), 1},
         1},
        {"OrthoOffCenterRH",
         [](D3DXMATRIX* m) { return D3DXMatrixOrthoOffCenterRH(m, -1.5f, 2.5f, -0.75f, 1.25f, 0.5f, 40); },
         {2 / (r - l), 0, 0, 0, 0, 2 / (t - b), 0, 0, 0, 0, 1 / (zn - zf), 0, (l + r) / (l - r), (t + b) / (b - t),
          zn / (zn - zf), 1},
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DXMATRIX m;
        EXPECT_EQ(c.build(&m), &m);
        ExpectMatrix(m, c.expected, 1e-6);
        EXPECT_NEAR(Depth(m, 0.3, -0.2, c.hand * zn), 0, 1e-6);
        EXPECT_NEAR(Depth(m, 0.3, -0.2, c.hand * zf), 1, 1e-5);
    }
    // The off-centre window's corners reach the edges of clip space: left-bottom to (-1, -1), right-top to (1, 1).
    D3DXMATRIX m;
    D3DXMatrixPerspectiveOffCenterRH(&m, -1.5f, 2.5f, -0.75f, 1.25f, 0.5f, 40);
    D3DXVECTOR3 corner(-1.5f, -0.75f, -0.5f), projected;
    D3DXVec3TransformCoord(&projected, &corner, &m);
    EXPECT_NEAR(projected.x, -1, 1e-6);
    EXPECT_NEAR(projected.y, -1, 1e-6);
    D3DXMatrixOrthoOffCenterLH(&m, -1.5f, 2.5f, -0.75f, 1.25f, 0.5f, 40);
    corner = D3DXVECTOR3(2.5f, 1.25f, 0.5f);
    D3DXVec3TransformCoord(&projected, &corner, &m);
    EXPECT_NEAR(projected.x, 1, 1e-6);
    EXPECT_NEAR(projected.y, 1, 1e-6);
}

// 0.5 (g - c)^2 / (g + c)^2 (1 + (c (g + c) - 1)^2 / (c (g - c) + 1)^2), g = sqrt(n^2 + c^2 - 1); at normal
// incidence that is ((n - 1) / (n + 1))^2, and at grazing incidence everything is reflected.
TEST(FresnelTerm, MatchesTheDocumentedFormula) {
    struct Case {
        float cosTheta, n;
    } const cases[] = {{1, 1.5f}, {0.8f, 1.33f}, {0.3f, 2.4f}, {0.05f, 1.5f}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.cosTheta);
        const double c = k.cosTheta, n = k.n, g = std::sqrt(n * n + c * c - 1);
        const double a = c * (g + c) - 1, d = c * (g - c) + 1;
        const double expected = 0.5 * (g - c) * (g - c) / ((g + c) * (g + c)) * (1 + a * a / (d * d));
        EXPECT_NEAR(D3DXFresnelTerm(k.cosTheta, k.n), expected, 1e-6);
    }
    EXPECT_NEAR(D3DXFresnelTerm(1, 1.5f), 0.04, 1e-6);
    EXPECT_NEAR(D3DXFresnelTerm(0, 1.5f), 1, 1e-6);
}
