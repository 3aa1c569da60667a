// Matrix, vector, quaternion and plane routines: the degenerate cases of the reference routines, the aliasing
// rules of every set, and an independent check against double-precision formulas written here.
#include <array>
#include <cmath>

#include "RoutineTable.h"
#include "platform/d3d9/D3D9.h"
#include "tests/math/MathTestUtil.h"

using namespace mathtest;
using namespace tarn::math;

namespace {

const MathRoutineTable& Ref() { return MathReferenceSet(); }

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    return *D3DXMatrixIdentity(&m);
}

TEST(Normalize, ReferenceDegenerateCases) {
    struct Case {
        const char* name;
        D3DXVECTOR3 v;
        enum { Copy, Zero, Scale } expect;
    } cases[] = {
        {"zero", {0, 0, 0}, Case::Zero},
        {"tiny squared length", {1e-20f, 0, 0}, Case::Zero},
        {"squared length rounds to 1", {1.0f, 1e-4f, 0}, Case::Copy},
        {"within 2^-23 of 1", {0.99999994f, 0, 0}, Case::Copy},
        {"ordinary", {3, 4, 12}, Case::Scale},
        {"just outside the near-1 band", {1.0001f, 0, 0}, Case::Scale},
        {"NaN squared length", {NAN, 0, 0}, Case::Zero},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DXVECTOR3 out(7, 7, 7);
        EXPECT_EQ(Ref().D3DXVec3Normalize(&out, &c.v), &out);
        if (c.expect == Case::Copy) {
            EXPECT_TRUE(SameBits<3>(out, c.v));
        } else if (c.expect == Case::Zero) {
            EXPECT_EQ(out, D3DXVECTOR3(0, 0, 0));
        } else {
            const double len = std::sqrt(double(c.v.x) * c.v.x + double(c.v.y) * c.v.y + double(c.v.z) * c.v.z);
            EXPECT_TRUE(Near(out.x, c.v.x / len, 1e-7));
            EXPECT_TRUE(Near(out.y, c.v.y / len, 1e-7));
            EXPECT_TRUE(Near(out.z, c.v.z / len, 1e-7));
        }
        D3DXVECTOR3 inPlace = c.v;
        Ref().D3DXVec3Normalize(&inPlace, &inPlace);
        EXPECT_TRUE(SameBits<3>(inPlace, out));
    }
}

TEST(Normalize, PlaneMeasuresNormalAndScalesAllFour) {
    D3DXPLANE p(0, 3, 4, 10), out;
    Ref().D3DXPlaneNormalize(&out, &p);
    EXPECT_TRUE(NearAll<4>(out, D3DXPLANE(0, 0.6f, 0.8f, 2), 1e-7));
    D3DXPLANE flat(0, 0, 0, 5);
    Ref().D3DXPlaneNormalize(&out, &flat);
    EXPECT_EQ(out, D3DXPLANE(0, 0, 0, 0));
}

TEST(Multiply, EverySetAllowsOutputToAliasInputs) {
    Random rnd(11);
    const D3DXMATRIX a = rnd.Matrix(), b = rnd.Matrix();
    for (const auto& set : AllSets()) {
        SCOPED_TRACE(set.name);
        D3DXMATRIX separate, outIsA = a, outIsB = b, both = a, square;
        set.table.D3DXMatrixMultiply(&separate, &a, &b);
        set.table.D3DXMatrixMultiply(&outIsA, &outIsA, &b);
        set.table.D3DXMatrixMultiply(&outIsB, &a, &outIsB);
        set.table.D3DXMatrixMultiply(&square, &a, &a);
        EXPECT_EQ(set.table.D3DXMatrixMultiply(&both, &both, &both), &both);
        EXPECT_TRUE(SameBits<16>(outIsA, separate));
        EXPECT_TRUE(SameBits<16>(outIsB, separate));
        EXPECT_TRUE(SameBits<16>(both, square));
        D3DXMATRIX t1, t2 = a;
        set.table.D3DXMatrixMultiplyTranspose(&t1, &a, &b);
        set.table.D3DXMatrixMultiplyTranspose(&t2, &t2, &b);
        EXPECT_TRUE(SameBits<16>(t1, t2));
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) EXPECT_EQ(t1.m[i][j], separate.m[j][i]);
    }
}

TEST(Inverse, SingularMatrixLeavesOutputAndReportsDeterminant) {
    // A zero row and a dependent row: both give an exact zero determinant in any summation order.
    const D3DXMATRIX zeroRow(1, 2, 3, 4, 0, 0, 0, 0, 5, 6, 7, 8, 9, 1, 2, 3);
    const D3DXMATRIX dependent(1, 2, 3, 4, 2, 4, 6, 8, 5, 6, 7, 8, 9, 1, 2, 3);
    for (const auto& set : AllSets()) {
        for (const D3DXMATRIX* m : {&zeroRow, &dependent}) {
            SCOPED_TRACE(set.name);
            D3DXMATRIX out(static_cast<const float*>(Identity()));
            out._12 = 42;
            const D3DXMATRIX before = out;
            float det = 99;
            EXPECT_EQ(set.table.D3DXMatrixInverse(&out, &det, m), nullptr);
            EXPECT_TRUE(SameBits<16>(out, before));
            // The SSE sets reject a zero determinant before storing it; the others store it first.
            const bool stores = set.name != "sse" && set.name != "sse2";
            EXPECT_EQ(det, stores ? 0.0f : 99.0f);
            EXPECT_EQ(set.table.D3DXMatrixInverse(&out, nullptr, m), nullptr);
        }
    }
}

TEST(Inverse, InPlaceEqualsSeparateAndInverts) {
    Random rnd(12);
    const D3DXMATRIX m = rnd.Affine();
    for (const auto& set : AllSets()) {
        SCOPED_TRACE(set.name);
        D3DXMATRIX separate, inPlace = m, product;
        float det1 = 0, det2 = 0;
        ASSERT_EQ(set.table.D3DXMatrixInverse(&separate, &det1, &m), &separate);
        ASSERT_EQ(set.table.D3DXMatrixInverse(&inPlace, &det2, &inPlace), &inPlace);
        EXPECT_TRUE(SameBits<16>(inPlace, separate));
        EXPECT_EQ(det1, det2);
        EXPECT_TRUE(Near(det1, set.table.D3DXMatrixDeterminant(&m), 1e-6));
        Ref().D3DXMatrixMultiply(&product, &m, &separate);
        EXPECT_TRUE(NearAll<16>(product, Identity(), 2e-5));
    }
}

TEST(Inverse, ReferenceRejectsReciprocalOverflow) {
    // det = 2^-130 is not zero, but its reciprocal overflows a float.
    const float s = std::ldexp(1.0f, -65);
    D3DXMATRIX m;
    Ref().D3DXMatrixScaling(&m, s, s, 1);
    D3DXMATRIX out = Identity();
    float det = 0;
    EXPECT_EQ(Ref().D3DXMatrixInverse(&out, &det, &m), nullptr);
    EXPECT_EQ(det, std::ldexp(1.0f, -130));
    EXPECT_TRUE(SameBits<16>(out, Identity()));
}

TEST(Slerp, WithItselfAndItsNegationReturnsTheFirst) {
    const D3DXQUATERNION q(0.18257418f, 0.36514837f, 0.54772256f, 0.73029674f);
    const D3DXQUATERNION negated = -q;
    for (float t : {0.0f, 0.25f, 0.5f, 0.9f, 1.0f}) {
        SCOPED_TRACE(t);
        D3DXQUATERNION a, b;
        Ref().D3DXQuaternionSlerp(&a, &q, &q, t);
        Ref().D3DXQuaternionSlerp(&b, &q, &negated, t);
        EXPECT_TRUE(NearAll<4>(a, q, 1e-7));
        EXPECT_TRUE(NearAll<4>(b, q, 1e-7));
    }
}

TEST(TransformCoord, AffineMatrixDividesNothing) {
    Random rnd(13);
    const D3DXMATRIX m = rnd.Affine();
    for (int i = 0; i < 50; ++i) {
        const D3DXVECTOR3 v = rnd.Vec3();
        D3DXVECTOR3 coord, inPlace = v;
        D3DXVECTOR4 full;
        Ref().D3DXVec3TransformCoord(&coord, &v, &m);
        Ref().D3DXVec3TransformCoord(&inPlace, &inPlace, &m);
        Ref().D3DXVec3Transform(&full, &v, &m);
        EXPECT_EQ(full.w, 1.0f);
        EXPECT_TRUE(SameBits<3>(coord, full));
        EXPECT_TRUE(SameBits<3>(inPlace, coord));
    }
    // A projective w is divided out.
    D3DXMATRIX p = Identity();
    p._44 = 2;
    D3DXVECTOR3 v(2, 4, 6), out;
    Ref().D3DXVec3TransformCoord(&out, &v, &p);
    EXPECT_EQ(out, D3DXVECTOR3(1, 2, 3));
}

TEST(Quaternion, InverseOfZeroAndOfGeneral) {
    D3DXQUATERNION zero(0, 0, 0, 0), out(1, 1, 1, 1);
    Ref().D3DXQuaternionInverse(&out, &zero);
    EXPECT_EQ(out, D3DXQUATERNION(0, 0, 0, 0));
    const D3DXQUATERNION q(1, 2, 3, 4);
    Ref().D3DXQuaternionInverse(&out, &q);
    EXPECT_TRUE(NearAll<4>(out, D3DXQUATERNION(-1 / 30.f, -2 / 30.f, -3 / 30.f, 4 / 30.f), 1e-7));
}

TEST(Quaternion, RotationMatrixTakesEveryBranch) {
    struct Case {
        const char* name;
        D3DXVECTOR3 axis;
        float angle;
    } cases[] = {
        {"positive trace", {1, 2, 3}, 0.7f},
        {"half turn about x", {1, 0, 0}, D3DX_PI},
        {"half turn about y", {0, 1, 0}, D3DX_PI},
        {"half turn about z", {0, 0, 1}, D3DX_PI},
        {"large turn about a diagonal", {1, 1, 0.2f}, 3.0f},
    };
    for (const auto& set : AllSets()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(set.name + " " + c.name);
            D3DXQUATERNION q, back;
            Ref().D3DXQuaternionRotationAxis(&q, &c.axis, c.angle);
            D3DXMATRIX m;
            Ref().D3DXMatrixRotationQuaternion(&m, &q);
            set.table.D3DXQuaternionRotationMatrix(&back, &m);
            if (D3DXQuaternionDot(&back, &q) < 0) back = -back;
            EXPECT_TRUE(NearAll<4>(back, q, 2e-6));
        }
    }
}

TEST(Quaternion, LnAndExpAreInverse) {
    Random rnd(14);
    for (int i = 0; i < 100; ++i) {
        D3DXQUATERNION q = rnd.UnitQuaternion(), l, e;
        Ref().D3DXQuaternionLn(&l, &q);
        EXPECT_EQ(l.w, 0.0f);
        Ref().D3DXQuaternionExp(&e, &l);
        if (q.w < 0) q = -q, e = e.w < 0 ? -e : e;
        EXPECT_TRUE(NearAll<4>(e, q, 1e-5)) << i;
    }
    D3DXQUATERNION identity(0, 0, 0, 1), l;
    Ref().D3DXQuaternionLn(&l, &identity);
    EXPECT_EQ(l, D3DXQUATERNION(0, 0, 0, 0));
}

TEST(Quaternion, SquadPassesThroughItsKeys) {
    Random rnd(15);
    const D3DXQUATERNION q0 = rnd.UnitQuaternion(), q1 = rnd.UnitQuaternion(), q2 = rnd.UnitQuaternion(),
                         q3 = rnd.UnitQuaternion();
    D3DXQUATERNION a, b, c, at0, at1;
    Ref().D3DXQuaternionSquadSetup(&a, &b, &c, &q0, &q1, &q2, &q3);
    // c is q2 on q1's side of the sphere.
    EXPECT_TRUE(NearAll<4>(c, D3DXQuaternionDot(&q1, &q2) >= 0 ? q2 : -q2, 0));
    Ref().D3DXQuaternionSquad(&at0, &q1, &a, &b, &c, 0);
    Ref().D3DXQuaternionSquad(&at1, &q1, &a, &b, &c, 1);
    EXPECT_TRUE(NearAll<4>(at0, q1, 1e-6));
    EXPECT_TRUE(NearAll<4>(at1, c, 1e-6));
}

TEST(Plane, IntersectLineParallelLeavesOutput) {
    const D3DXPLANE floor(0, 1, 0, -2);
    D3DXVECTOR3 a(0, 0, 0), b(1, 0, 1), up(0, 5, 0), out(9, 9, 9);
    EXPECT_EQ(Ref().D3DXPlaneIntersectLine(&out, &floor, &a, &b), nullptr);
    EXPECT_EQ(out, D3DXVECTOR3(9, 9, 9));
    EXPECT_EQ(Ref().D3DXPlaneIntersectLine(&out, &floor, &a, &up), &out);
    EXPECT_EQ(out, D3DXVECTOR3(0, 2, 0));
}

TEST(Plane, FromPointsAndReflection) {
    D3DXVECTOR3 a(0, 3, 0), b(0, 3, 1), c(1, 3, 0);
    D3DXPLANE p;
    Ref().D3DXPlaneFromPoints(&p, &a, &b, &c);
    EXPECT_TRUE(NearAll<4>(p, D3DXPLANE(0, 1, 0, -3), 1e-7));
    D3DXMATRIX r;
    Ref().D3DXMatrixReflect(&r, &p);
    D3DXVECTOR3 v(1, 5, 2), mirrored;
    Ref().D3DXVec3TransformCoord(&mirrored, &v, &r);
    EXPECT_TRUE(NearAll<3>(mirrored, D3DXVECTOR3(1, 1, 2), 1e-6));
    // A shadow on that plane from a directional light lands every point on it.
    D3DXVECTOR4 light(0.3f, 1, 0.2f, 0);
    D3DXMATRIX s;
    Ref().D3DXMatrixShadow(&s, &light, &p);
    D3DXVECTOR3 shadow;
    Ref().D3DXVec3TransformCoord(&shadow, &v, &s);
    EXPECT_TRUE(Near(shadow.y, 3, 1e-6));
}

TEST(Decompose, RecoversScaleRotationTranslationAndRejectsShear) {
    Random rnd(16);
    for (int i = 0; i < 20; ++i) {
        D3DXVECTOR3 scale(rnd.Uniform(0.5f, 2), rnd.Uniform(0.5f, 2), rnd.Uniform(0.5f, 2)), move = rnd.Vec3();
        const D3DXQUATERNION q = rnd.UnitQuaternion();
        D3DXMATRIX m;
        Ref().D3DXMatrixTransformation(&m, nullptr, nullptr, &scale, nullptr, &q, &move);
        D3DXVECTOR3 s, t;
        D3DXQUATERNION r;
        ASSERT_EQ(Ref().D3DXMatrixDecompose(&s, &r, &t, &m), S_OK);
        EXPECT_TRUE(NearAll<3>(s, scale, 1e-5));
        EXPECT_TRUE(NearAll<3>(t, move, 0));
        if (D3DXQuaternionDot(&r, &q) < 0) r = -r;
        EXPECT_TRUE(NearAll<4>(r, q, 1e-5));
    }
    D3DXMATRIX shear = Identity();
    shear._21 = 1;
    D3DXVECTOR3 s, t;
    D3DXQUATERNION r;
    EXPECT_EQ(Ref().D3DXMatrixDecompose(&s, &r, &t, &shear), D3DERR_INVALIDCALL);
    // A zero axis is replaced by a unit axis, so a flattening scale still decomposes.
    D3DXMATRIX flat;
    Ref().D3DXMatrixScaling(&flat, 2, 0, 3);
    ASSERT_EQ(Ref().D3DXMatrixDecompose(&s, &r, &t, &flat), S_OK);
    EXPECT_TRUE(NearAll<3>(s, D3DXVECTOR3(2, 0, 3), 1e-7));
    EXPECT_TRUE(NearAll<4>(r, D3DXQUATERNION(0, 0, 0, 1), 1e-7));
}

// Short rows are rebuilt from the others so that a collapsed scale still decomposes into a rotation, and only a
// basis whose determinant is 1 within (det - 1)^2 <= 0.0001 is a rotation: mirrored and sheared bases fail.
TEST(Decompose, ShortAxesAndMirroredBases) {
    const float c = std::cos(0.5f), s = std::sin(0.5f);
    auto rows = [](D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 d) {
        D3DXMATRIX m = Identity();
        const D3DXVECTOR3 r[3] = {a, b, d};
        for (int i = 0; i < 3; ++i) m.m[i][0] = r[i].x, m.m[i][1] = r[i].y, m.m[i][2] = r[i].z;
        m._41 = 5, m._42 = 6, m._43 = 7;
        return m;
    };
    const D3DXVECTOR3 zero(0, 0, 0);
    struct Case {
        const char* what;
        D3DXMATRIX m;
        HRESULT result;
        D3DXVECTOR3 scale;
        D3DXQUATERNION rotation;  // for S_OK
    } const cases[] = {
        {"x row zero, rows y and z turned about x",
         rows(zero, {0, 2 * c, 2 * s}, {0, -3 * s, 3 * c}),
         S_OK,
         {0, 2, 3},
         {std::sin(0.25f), 0, 0, std::cos(0.25f)}},
        {"y row zero, unit y completes the basis", rows({2, 0, 0}, zero, {0, 0, 3}), S_OK, {2, 0, 3}, {0, 0, 0, 1}},
        {"every row zero", rows(zero, zero, zero), S_OK, {0, 0, 0}, {0, 0, 0, 1}},
        {"y row zero, x row along unit y: the rebuilt y completes a quarter turn about z",
         rows({0, 1, 0}, zero, {0, 0, 1}),
         S_OK,
         {1, 0, 1},
         {0, 0, std::sqrt(0.5f), std::sqrt(0.5f)}},
        {"z row shorter than 0.0001 in a basis turned about y: rebuilt as x cross y",
         rows({c, 0, s}, {0, 1, 0}, {-0.00005f * s, 0, 0.00005f * c}),
         S_OK,
         {1, 1, 0.00005f},
         {0, -std::sin(0.25f), 0, std::cos(0.25f)}},
        {"scale (0, 1, 1) after an eighth turn about z",
         rows(zero, {-std::sqrt(0.5f), std::sqrt(0.5f), 0}, {0, 0, 1}),
         S_OK,
         {0, 1, 1},
         {0, 0, std::sin(D3DX_PI / 8), std::cos(D3DX_PI / 8)}},
        {"sheared y row", rows({1, 0, 0}, {0.5f, 1, 0}, {0, 0, 1}), D3DERR_INVALIDCALL, {}, {}},
        {"mirrored x", rows({-2, 0, 0}, {0, 1, 0}, {0, 0, 1}), D3DERR_INVALIDCALL, {}, {}},
        {"mirrored rotation", rows({c, s, 0}, {-s, c, 0}, {0, 0, -1}), D3DERR_INVALIDCALL, {}, {}},
    };
    for (const auto& set : AllSets()) {
        for (const Case& k : cases) {
            SCOPED_TRACE(std::string(set.name) + ": " + k.what);
            D3DXVECTOR3 scale, move;
            D3DXQUATERNION r;
            const HRESULT result = set.table.D3DXMatrixDecompose(&scale, &r, &move, &k.m);
            EXPECT_EQ(result, k.result);
            EXPECT_TRUE(NearAll<3>(move, D3DXVECTOR3(5, 6, 7), 0));
            if (result != S_OK || k.result != S_OK) continue;
            EXPECT_TRUE(NearAll<3>(scale, k.scale, 1e-6));
            if (D3DXQuaternionDot(&r, &k.rotation) < 0) r = -r;
            EXPECT_TRUE(NearAll<4>(r, k.rotation, 1e-5));
        }
    }
}

// Two short rows: the one long row keeps its direction, and the rebuilt rows complete it to a rotation.
TEST(Decompose, TwoShortRowsKeepTheLongRowsDirection) {
    const float c = std::cos(0.5f), s = std::sin(0.5f);
    D3DXMATRIX m = Identity();
    m._11 = m._22 = 0;
    m._32 = -3 * s, m._33 = 3 * c;  // z row: 3 (0, -sin, cos), the z axis turned about x
    for (const auto& set : AllSets()) {
        SCOPED_TRACE(set.name);
        D3DXVECTOR3 scale, move;
        D3DXQUATERNION r;
        ASSERT_EQ(set.table.D3DXMatrixDecompose(&scale, &r, &move, &m), S_OK);
        EXPECT_TRUE(NearAll<3>(scale, D3DXVECTOR3(0, 0, 3), 1e-6));
        D3DXMATRIX rotation;
        D3DXMatrixRotationQuaternion(&rotation, &r);
        EXPECT_NEAR(rotation._31, 0, 1e-5);
        EXPECT_NEAR(rotation._32, -s, 1e-5);
        EXPECT_NEAR(rotation._33, c, 1e-5);
        EXPECT_NEAR(D3DXMatrixDeterminant(&rotation), 1, 1e-5);
    }
}

TEST(Transformation, CompositionMatchesItsPieces) {
    Random rnd(17);
    const D3DXVECTOR3 sc = rnd.Vec3(), s(1.5f, 0.5f, 2), rc = rnd.Vec3(), t = rnd.Vec3();
    const D3DXQUATERNION sr = rnd.UnitQuaternion(), r = rnd.UnitQuaternion();
    D3DXMATRIX msc, msr, msrT, ms, mrc, mr, mt, mscInv, mrcInv;
    D3DXMatrixTranslation(&msc, sc.x, sc.y, sc.z);
    D3DXMatrixTranslation(&mscInv, -sc.x, -sc.y, -sc.z);
    D3DXMatrixRotationQuaternion(&msr, &sr);
    D3DXMatrixTranspose(&msrT, &msr);
    D3DXMatrixScaling(&ms, s.x, s.y, s.z);
    D3DXMatrixTranslation(&mrc, rc.x, rc.y, rc.z);
    D3DXMatrixTranslation(&mrcInv, -rc.x, -rc.y, -rc.z);
    D3DXMatrixRotationQuaternion(&mr, &r);
    D3DXMatrixTranslation(&mt, t.x, t.y, t.z);
    const D3DXMATRIX expected = mscInv * msrT * ms * msr * msc * mrcInv * mr * mrc * mt;
    for (const auto& set : AllSets()) {
        SCOPED_TRACE(set.name);
        D3DXMATRIX m;
        set.table.D3DXMatrixTransformation(&m, &sc, &sr, &s, &rc, &r, &t);
        EXPECT_TRUE(NearAll<16>(m, expected, 2e-5));
        D3DXMATRIX affine, affineExpected;
        const D3DXVECTOR3 two(2, 2, 2);
        set.table.D3DXMatrixAffineTransformation(&affine, 2, &rc, &r, &t);
        Ref().D3DXMatrixTransformation(&affineExpected, nullptr, nullptr, &two, &rc, &r, &t);
        EXPECT_TRUE(NearAll<16>(affine, affineExpected, 2e-5));
    }
    // The 2D forms rotate about z.
    D3DXVECTOR2 centre(1, 1), shift(3, 0);
    D3DXMATRIX m2;
    Ref().D3DXMatrixAffineTransformation2D(&m2, 1, &centre, D3DX_PI / 2, &shift);
    D3DXVECTOR2 p(2, 1), q;
    Ref().D3DXVec2TransformCoord(&q, &p, &m2);
    EXPECT_TRUE(NearAll<2>(q, D3DXVECTOR2(4, 2), 1e-6));
    Ref().D3DXMatrixTransformation2D(&m2, nullptr, 0, nullptr, &centre, D3DX_PI / 2, &shift);
    Ref().D3DXVec2TransformCoord(&q, &p, &m2);
    EXPECT_TRUE(NearAll<2>(q, D3DXVECTOR2(4, 2), 1e-6));
}

TEST(Projection, UnprojectUndoesProjectAndRejectsSingularMatrix) {
    D3DXMATRIX proj, view, world;
    D3DXVECTOR3 eye(3, 4, -10), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixPerspectiveFovLH(&proj, D3DX_PI / 3, 4.0f / 3, 1, 100);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixRotationY(&world, 0.4f);
    const D3DVIEWPORT9 vp = {10, 20, 800, 600, 0, 1};
    const D3DXVECTOR3 v(1, -2, 3);
    for (const auto& set : AllSets()) {
        SCOPED_TRACE(set.name);
        D3DXVECTOR3 screen, back;
        set.table.D3DXVec3Project(&screen, &v, &vp, &proj, &view, &world);
        EXPECT_GT(screen.x, 10);
        EXPECT_LT(screen.x, 810);
        EXPECT_GT(screen.z, 0);
        EXPECT_LT(screen.z, 1);
        ASSERT_EQ(set.table.D3DXVec3Unproject(&back, &screen, &vp, &proj, &view, &world), &back);
        EXPECT_TRUE(NearAll<3>(back, v, 2e-3));
    }
    // Centre of the viewport with identity matrices.
    D3DXVECTOR3 origin(0, 0, 0.5f), screen;
    Ref().D3DXVec3Project(&screen, &origin, &vp, nullptr, nullptr, nullptr);
    EXPECT_TRUE(NearAll<3>(screen, D3DXVECTOR3(410, 320, 0.5f), 1e-7));
    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1, 1, 0);
    D3DXVECTOR3 out(5, 5, 5);
    EXPECT_EQ(Ref().D3DXVec3Unproject(&out, &screen, &vp, &flat, nullptr, nullptr), nullptr);
    EXPECT_EQ(out, D3DXVECTOR3(5, 5, 5));
}

TEST(Matrix, TransposeInPlaceAndBuilders) {
    Random rnd(18);
    const D3DXMATRIX m = rnd.Matrix();
    D3DXMATRIX t = m, u;
    Ref().D3DXMatrixTranspose(&t, &t);
    Ref().D3DXMatrixTranspose(&u, &m);
    EXPECT_TRUE(SameBits<16>(t, u));
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(t.m[i][j], m.m[j][i]);
    // Rotations turn the documented way: x about z goes to y.
    D3DXMATRIX rz, ry, rx, axis;
    Ref().D3DXMatrixRotationZ(&rz, D3DX_PI / 2);
    Ref().D3DXMatrixRotationY(&ry, D3DX_PI / 2);
    Ref().D3DXMatrixRotationX(&rx, D3DX_PI / 2);
    D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0), z(0, 0, 1), r;
    Ref().D3DXVec3TransformNormal(&r, &x, &rz);
    EXPECT_TRUE(NearAll<3>(r, y, 1e-7));
    Ref().D3DXVec3TransformNormal(&r, &z, &ry);
    EXPECT_TRUE(NearAll<3>(r, x, 1e-7));
    Ref().D3DXVec3TransformNormal(&r, &y, &rx);
    EXPECT_TRUE(NearAll<3>(r, z, 1e-7));
    D3DXVECTOR3 zAxis(0, 0, 7);
    Ref().D3DXMatrixRotationAxis(&axis, &zAxis, D3DX_PI / 2);
    EXPECT_TRUE(NearAll<16>(axis, rz, 1e-6));
    D3DXMATRIX ypr, composed = rz * rx * ry;
    Ref().D3DXMatrixRotationYawPitchRoll(&ypr, D3DX_PI / 2, D3DX_PI / 2, D3DX_PI / 2);
    EXPECT_TRUE(NearAll<16>(ypr, composed, 1e-6));
}

TEST(Splines, EndpointsAndBarycentricCorners) {
    Random rnd(19);
    const D3DXVECTOR4 p0 = rnd.Vec4(), p1 = rnd.Vec4(), p2 = rnd.Vec4(), p3 = rnd.Vec4();
    for (const auto& set : AllSets()) {
        SCOPED_TRACE(set.name);
        D3DXVECTOR4 o;
        set.table.D3DXVec4Hermite(&o, &p0, &p1, &p2, &p3, 0);
        EXPECT_TRUE(NearAll<4>(o, p0, 1e-6));
        set.table.D3DXVec4Hermite(&o, &p0, &p1, &p2, &p3, 1);
        EXPECT_TRUE(NearAll<4>(o, p2, 1e-6));
        set.table.D3DXVec4CatmullRom(&o, &p0, &p1, &p2, &p3, 0);
        EXPECT_TRUE(NearAll<4>(o, p1, 1e-6));
        set.table.D3DXVec4CatmullRom(&o, &p0, &p1, &p2, &p3, 1);
        EXPECT_TRUE(NearAll<4>(o, p2, 1e-6));
        set.table.D3DXVec4BaryCentric(&o, &p0, &p1, &p2, 0, 1);
        EXPECT_TRUE(NearAll<4>(o, p2, 1e-6));
        D3DXVECTOR4 cross;
        set.table.D3DXVec4Cross(&cross, &p0, &p1, &p2);
        // The four-dimensional cross product is orthogonal to all three inputs.
        for (const D3DXVECTOR4* p : {&p0, &p1, &p2}) EXPECT_TRUE(Near(D3DXVec4Dot(&cross, p), 0, 1e-4));
    }
}

// ---- Independent check: the dispatched routines against double-precision formulas written here ----

void MultiplyDouble(double out[4][4], const D3DXMATRIX& a, const D3DXMATRIX& b) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            out[i][j] = 0;
            for (int k = 0; k < 4; ++k) out[i][j] += double(a.m[i][k]) * b.m[k][j];
        }
}

// Gauss-Jordan with partial pivoting.
bool InvertDouble(double inv[4][4], const D3DXMATRIX& m) {
    double a[4][8];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 8; ++j) a[i][j] = j < 4 ? m.m[i][j] : (j - 4 == i);
    for (int c = 0; c < 4; ++c) {
        int p = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
        if (a[p][c] == 0) return false;
        for (int j = 0; j < 8; ++j) std::swap(a[c][j], a[p][j]);
        const double d = a[c][c];
        for (int j = 0; j < 8; ++j) a[c][j] /= d;
        for (int r = 0; r < 4; ++r)
            if (r != c) {
                const double f = a[r][c];
                for (int j = 0; j < 8; ++j) a[r][j] -= f * a[c][j];
            }
    }
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) inv[i][j] = a[i][j + 4];
    return true;
}

TEST(IndependentCheck, DispatchedRoutinesAgreeWithDoublePrecision) {
    Random rnd(2024);
    for (int n = 0; n < 3000; ++n) {
        SCOPED_TRACE(n);
        const D3DXMATRIX a = rnd.Matrix(), b = rnd.Matrix(), affine = rnd.Affine();
        // Product.
        D3DXMATRIX prod;
        double expect[4][4];
        D3DXMatrixMultiply(&prod, &a, &b);
        MultiplyDouble(expect, a, b);
        for (int i = 0; i < 16; ++i) ASSERT_TRUE(Near(prod.m[i / 4][i % 4], expect[i / 4][i % 4], 1e-5));
        // Inverse of a well-conditioned matrix.
        D3DXMATRIX inv;
        double inverse[4][4];
        ASSERT_TRUE(InvertDouble(inverse, affine));
        ASSERT_NE(D3DXMatrixInverse(&inv, nullptr, &affine), nullptr);
        for (int i = 0; i < 16; ++i) ASSERT_TRUE(Near(inv.m[i / 4][i % 4], inverse[i / 4][i % 4], 2e-5));
        // Coordinate transform with a projective matrix.
        const D3DXVECTOR3 v = rnd.Vec3();
        D3DXMATRIX proj = affine;
        proj._14 = 0.1f, proj._24 = -0.05f, proj._34 = 0.02f, proj._44 = 3;
        double h[4];
        for (int j = 0; j < 4; ++j) h[j] = v.x * double(proj.m[0][j]) + v.y * double(proj.m[1][j]) + v.z * double(proj.m[2][j]) + proj.m[3][j];
        D3DXVECTOR3 c;
        D3DXVec3TransformCoord(&c, &v, &proj);
        for (int j = 0; j < 3; ++j) ASSERT_TRUE(Near(c[j], h[j] / h[3], 2e-5));
        // Normalisation.
        D3DXVECTOR3 unit;
        D3DXVec3Normalize(&unit, &v);
        const double len = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
        for (int j = 0; j < 3; ++j) ASSERT_TRUE(Near(unit[j], v[j] / len, 2e-6));
        // Quaternion to matrix, product and slerp.
        const D3DXQUATERNION q = rnd.UnitQuaternion(), r = rnd.UnitQuaternion();
        D3DXMATRIX rot;
        D3DXMatrixRotationQuaternion(&rot, &q);
        const double x = q.x, y = q.y, z = q.z, w = q.w;
        const double rm[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w)},
                                 {2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w)},
                                 {2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)}};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) ASSERT_TRUE(Near(rot.m[i][j], rm[i][j], 1e-6));
        D3DXQUATERNION qr;
        D3DXQuaternionMultiply(&qr, &q, &r);
        // Hamilton product r * q: rotation q first, then r.
        const double hx = r.w * x + r.x * w + r.y * z - r.z * y, hy = r.w * y - r.x * z + r.y * w + r.z * x,
                     hz = r.w * z + r.x * y - r.y * x + r.z * w, hw = r.w * w - r.x * x - r.y * y - r.z * z;
        ASSERT_TRUE(NearAll<4>(qr, D3DXQUATERNION(float(hx), float(hy), float(hz), float(hw)), 1e-6));
        const float t = rnd.Uniform(0, 1);
        D3DXQUATERNION s;
        D3DXQuaternionSlerp(&s, &q, &r, t);
        double dot = x * r.x + y * r.y + z * r.z + w * r.w, sign = dot < 0 ? -1 : 1;
        dot *= sign;
        double k1 = 1 - t, k2 = t;
        if (dot < 0.9999) {
            const double theta = std::acos(dot);
            k1 = std::sin((1 - t) * theta) / std::sin(theta);
            k2 = std::sin(t * theta) / std::sin(theta);
        }
        const double sq[4] = {k1 * x + sign * k2 * r.x, k1 * y + sign * k2 * r.y, k1 * z + sign * k2 * r.z,
                              k1 * w + sign * k2 * r.w};
        for (int j = 0; j < 4; ++j) ASSERT_TRUE(Near(s[j], sq[j], 2e-5));
    }
}

}  // namespace
