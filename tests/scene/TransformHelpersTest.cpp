#include "TransformHelpers.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float kHalfPi = 1.57079601f;

D3DXMATRIX ViewWithDirection(float x, float y, float z) {
    D3DXMATRIX v;
    TRMatrixIdentity(&v);
    v._13 = x;
    v._23 = y;
    v._33 = z;
    return v;
}

void ExpectIdentityOutside3x3(const D3DXMATRIX& m) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m.m[i][3], 0.0f);
        EXPECT_EQ(m.m[3][i], 0.0f);
    }
    EXPECT_EQ(m._44, 1.0f);
}

D3DXQUATERNION Quat(float x, float y, float z, float w) {
    D3DXQUATERNION q;
    q.x = x, q.y = y, q.z = z, q.w = w;
    return q;
}

}  // namespace

TEST(TransformHelpers, YawFollowsTheViewHeading) {
    struct Case {
        float x, z;
        float angle;  // expected theta; NAN = identity
    } cases[] = {
        {1, 0, kHalfPi},                                  // looking along +x
        {-1, 0, -kHalfPi},                                // along -x
        {0, 1, NAN},                                      // along +z: identity
        {0, -1, NAN},                                     // along -z: identity
        {1, 1, kHalfPi - std::atan(1.0f)},                // 45 degrees between +x and +z
        {-1, 1, -std::atan(-1.0f) - kHalfPi},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "x " << c.x << " z " << c.z);
        const D3DXMATRIX m = TRMatrixYaw(ViewWithDirection(c.x, 0, c.z));
        const float cs = std::isnan(c.angle) ? 1.0f : std::cos(c.angle);
        const float sn = std::isnan(c.angle) ? 0.0f : std::sin(c.angle);
        EXPECT_FLOAT_EQ(m._11, cs);
        EXPECT_FLOAT_EQ(m._13, -sn);
        EXPECT_FLOAT_EQ(m._31, sn);
        EXPECT_FLOAT_EQ(m._33, cs);
        EXPECT_EQ(m._22, 1.0f);
        EXPECT_EQ(m._12, 0.0f);
        ExpectIdentityOutside3x3(m);
    }
}

TEST(TransformHelpers, RollRotatesAboutZ) {
    struct Case {
        float x, y;
        double angle;  // the angle is worked in double; pi/2 is the float value
    } cases[] = {
        {1, 0, kHalfPi},    // atan(0) + pi/2
        {-1, 0, -kHalfPi},  // x <= 0 subtracts
        {1, 1, std::atan(1.0) + kHalfPi},
        {0, 1, std::atan(double(INFINITY)) - kHalfPi},  // zero x: infinite quotient, x <= 0 branch
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "x " << c.x << " y " << c.y);
        const D3DXMATRIX m = TRMatrixRoll(ViewWithDirection(c.x, c.y, 0));
        EXPECT_FLOAT_EQ(m._11, float(std::cos(c.angle)));
        EXPECT_FLOAT_EQ(m._12, float(std::sin(c.angle)));
        EXPECT_FLOAT_EQ(m._21, -float(std::sin(c.angle)));
        EXPECT_FLOAT_EQ(m._22, float(std::cos(c.angle)));
        EXPECT_EQ(m._33, 1.0f);
        ExpectIdentityOutside3x3(m);
    }
}

TEST(TransformHelpers, FacingIsTheTransposedViewRotationWithoutTranslation) {
    D3DXMATRIX v;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) v.m[r][c] = float(10 * r + c + 1);
    const D3DXMATRIX f = TRMatrixFacing(v);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(f.m[r][c], v.m[c][r]);
    ExpectIdentityOutside3x3(f);
}

TEST(TransformHelpers, TranslationAndInverse) {
    D3DXMATRIX m;
    TRMatrixIdentity(&m);
    m._11 = 2;
    TRMatrixSetTranslation(&m, TRVec3Set(1, 2, 3));
    EXPECT_EQ(m._11, 2.0f);
    EXPECT_EQ(m._43, 3.0f);
    const D3DXMATRIX inv = TRMatrixInverse(m);
    EXPECT_FLOAT_EQ(inv._11, 0.5f);
    EXPECT_FLOAT_EQ(inv._41, -0.5f);
    EXPECT_FLOAT_EQ(inv._42, -2.0f);
    EXPECT_FLOAT_EQ(inv._43, -3.0f);

    const D3DXVECTOR3 a = TRVec3Set(1, 2, 3), b = TRVec3Set(4, 6, 8);
    const D3DXVECTOR3 r = TRVec3Scale(TRVec3Subtract(TRVec3Add(a, b), a), 0.5f);
    EXPECT_EQ(r.x, 2.0f);
    EXPECT_EQ(r.y, 3.0f);
    EXPECT_EQ(r.z, 4.0f);
}

TEST(TransformHelpers, QuaternionToRotationWritesOnlyThe3x3) {
    D3DXMATRIX m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] = 7.0f;
    TRQuaternionToRotation(Quat(0, 0, 0, 1), &m);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(m.m[r][c], (r == 3 || c == 3) ? 7.0f : (r == c ? 1.0f : 0.0f));

    // 90 degrees about z turns x into y for row vectors: first row (0, 1, 0).
    const float h = std::sqrt(0.5f);
    TRQuaternionToRotation(Quat(0, 0, h, h), &m);
    EXPECT_NEAR(m._11, 0, 1e-6);
    EXPECT_NEAR(m._12, 1, 1e-6);
    EXPECT_NEAR(m._21, -1, 1e-6);
    EXPECT_NEAR(m._33, 1, 1e-6);
}

TEST(TransformHelpers, Slerp) {
    const float h = std::sqrt(0.5f);
    const D3DXQUATERNION q = Quat(0.1f, 0.7f, 0.1f, std::sqrt(1 - 0.51f));
    const D3DXQUATERNION minusQ = Quat(-q.x, -q.y, -q.z, -q.w);
    const float s45 = std::sin(0.3926991f), c45 = std::cos(0.3926991f);
    struct Case {
        const char* what;
        D3DXQUATERNION a, b;
        float t;
        D3DXQUATERNION expected;
    } cases[] = {
        {"itself at 0", q, q, 0.0f, q},
        {"itself at 0.37", q, q, 0.37f, q},
        {"itself at 1", q, q, 1.0f, q},
        {"q to -q takes the negated path", q, minusQ, 0.6f, q},
        {"identity to 90 about y, halfway", Quat(0, 0, 0, 1), Quat(0, h, 0, h), 0.5f, Quat(0, s45, 0, c45)},
        {"identity to 90 about y, end", Quat(0, 0, 0, 1), Quat(0, h, 0, h), 1.0f, Quat(0, h, 0, h)},
        {"shorter arc to a negated target", Quat(0, 0, 0, 1), Quat(0, -h, 0, -h), 0.5f, Quat(0, s45, 0, c45)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const D3DXQUATERNION r = TRQuaternionSlerp(c.a, c.b, c.t);
        EXPECT_NEAR(r.x, c.expected.x, 1e-6);
        EXPECT_NEAR(r.y, c.expected.y, 1e-6);
        EXPECT_NEAR(r.z, c.expected.z, 1e-6);
        EXPECT_NEAR(r.w, c.expected.w, 1e-6);
    }
}

namespace {

// Seeded unit quaternions and angles; float components as the scene file stores them.
struct Lcg {
    std::uint64_t state;
    float Uniform(float lo, float hi) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return lo + (hi - lo) * static_cast<float>((state >> 40) / double(1ull << 24));
    }
};

D3DXQUATERNION RandomUnit(Lcg& rnd) {
    long double x = rnd.Uniform(-1, 1), y = rnd.Uniform(-1, 1), z = rnd.Uniform(-1, 1),
                w = rnd.Uniform(-1, 1);
    const long double n = std::sqrt(x * x + y * y + z * z + w * w);
    return Quat(float(x / n), float(y / n), float(z / n), float(w / n));
}

// The interpolation worked with more precision than the routine has, rounded to float only where the routine
// must round: the dot product, the angle, the reciprocal of its sine and the stored components.
D3DXQUATERNION SlerpRoundedAtTheNamedPoints(const D3DXQUATERNION& a, const D3DXQUATERNION& b, float t) {
    using L = long double;
    float d = float(L(a.x) * b.x + L(a.y) * b.y + L(a.z) * b.z + L(a.w) * b.w);
    L sign = 1;
    if (d < 0) d = -d, sign = -1;
    L s0 = 1 - L(t), s1 = t;
    if (1.0 - double(d) > double(0.01f)) {
        const float omega = float(std::acos(L(d)));
        const float k = float(1 / std::sin(L(omega)));
        s0 = std::sin((1 - L(t)) * omega) * k;
        s1 = std::sin(L(t) * omega) * k;
    }
    s1 *= sign;
    return Quat(float(s0 * a.x + s1 * b.x), float(s0 * a.y + s1 * b.y), float(s0 * a.z + s1 * b.z),
                float(s0 * a.w + s1 * b.w));
}

}  // namespace

// Single-precision trigonometry in place of the double-precision steps changes the last bits of about one
// interpolation in five; rounding only at the named points agrees with a more precise computation almost
// always and within one unit in the last place otherwise.
TEST(TransformHelpers, SlerpRoundsToFloatOnlyAtItsNamedPoints) {
    Lcg rnd{7};
    int exact = 0, total = 0;
    for (int i = 0; i < 2000; ++i) {
        const D3DXQUATERNION a = RandomUnit(rnd), b = RandomUnit(rnd);
        const float t = rnd.Uniform(0, 1);
        const D3DXQUATERNION r = TRQuaternionSlerp(a, b, t), e = SlerpRoundedAtTheNamedPoints(a, b, t);
        const float got[4] = {r.x, r.y, r.z, r.w}, want[4] = {e.x, e.y, e.z, e.w};
        for (int c = 0; c < 4; ++c, ++total) {
            exact += got[c] == want[c];
            ASSERT_LE(std::fabs(got[c] - want[c]),
                      std::nextafter(std::fabs(want[c]), 2.0f) - std::fabs(want[c]))
                << i << " " << c;
        }
    }
    EXPECT_GE(exact, total * 99 / 100) << exact << " of " << total;
}

TEST(TransformHelpers, YawAndRollAnglesAreWorkedInDoublePrecision) {
    using L = long double;
    Lcg rnd{11};
    int exact = 0, total = 0;
    for (int i = 0; i < 2000; ++i) {
        const float x = rnd.Uniform(-1, 1), y = rnd.Uniform(-1, 1), z = rnd.Uniform(-1, 1);
        const D3DXMATRIX v = ViewWithDirection(x, y, z);
        const L a = std::atan(L(z) / x);
        const L theta = x > 0 ? L(kHalfPi) - a : -a - L(kHalfPi);
        const L b = std::atan(L(y) / x);
        const L phi = x > 0 ? b + L(kHalfPi) : b - L(kHalfPi);
        const D3DXMATRIX yaw = TRMatrixYaw(v), roll = TRMatrixRoll(v);
        const float got[4] = {yaw._11, yaw._31, roll._11, roll._12};
        const float want[4] = {float(std::cos(theta)), float(std::sin(theta)), float(std::cos(phi)),
                               float(std::sin(phi))};
        for (int c = 0; c < 4; ++c, ++total) exact += got[c] == want[c];
    }
    EXPECT_GE(exact, total * 99 / 100) << exact << " of " << total;
}
