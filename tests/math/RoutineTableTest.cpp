// The routine table: every selection path with injected processor answers and registry switches, first-call
// entries, the reference reset, every variant set against the reference routines, and the 1/sqrt table.
#include <cstdlib>
#include <initializer_list>
#include <utility>
#include <functional>
#include <vector>

#include "math/RoutineTableTesting.h"
#include "tests/math/MathTestUtil.h"

using namespace mathtest;
using namespace tarn::math;

namespace {

bool SameTable(const MathRoutineTable& a, const MathRoutineTable& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Registry switches come from TARN_REG_<name>; each test sets what it needs and clears the rest.
void SetSwitch(const char* name, const char* value) {
    const std::string var = std::string("TARN_REG_") + name;
    if (value) setenv(var.c_str(), value, 1);
    else unsetenv(var.c_str());
}

class Selection : public ::testing::Test {
  protected:
    void SetUp() override { Clear(); }
    void TearDown() override {
        Clear();
        ResetMathRoutines();
    }
    static void Clear() {
        SetSwitch("DisablePSGP", nullptr);
        SetSwitch("DisableD3DXPSGP", nullptr);
        SetMathProcessorFakes({});
        ResetMathRoutines();
    }
};

const DWORD kAmdFeatures = kCpuIdRan | kCpuStandardLeaves | kCpuExtendedLeaves | kCpuMmx | kCpu3DNow;

TEST_F(Selection, EveryPath) {
    if (!MathHasSimdSets()) GTEST_SKIP() << "this build has the reference and baseline sets only";
    using Installer = void (*)(MathRoutineTable&);
    // One processor per row.
    // clang-format off
    struct Case {
        const char* name;
        const char* disablePsgp;
        const char* disableD3dxPsgp;
        MathProcessorFakes cpu;
        int expectedSet;
        std::vector<Installer> installed;  // after reference + baseline
    } cases[] = {
        {"SSE2 processor", nullptr, nullptr, ProcessorFakes(false, 0, kSimdSse | kSimdSse2, true), kMathSetSse2,
         {InstallSse2Set}},
        {"SSE without SSE2", nullptr, nullptr, ProcessorFakes(false, 0, kSimdSse, true), kMathSetSse, {InstallSseSet}},
        {"no SIMD", nullptr, nullptr, ProcessorFakes(false, 0, 0, false), kMathSetReference, {}},
        {"3DNow! with SSE2 takes the AMD path", nullptr, nullptr,
         ProcessorFakes(true, kAmdFeatures | kCpuSse, kSimdSse | kSimdSse2, true), kMathSetAmd,
         {Install3DNowSet, InstallAmdSseArraySet}},
        {"Athlon", nullptr, nullptr,
         ProcessorFakes(true, kAmdFeatures | kCpu3DNowExt | kCpuAmdMmxExt, 0, false), kMathSetAmd,
         {Install3DNowSet, InstallAthlonSet}},
        {"Athlon with SSE", nullptr, nullptr,
         ProcessorFakes(true, kAmdFeatures | kCpu3DNowExt | kCpuAmdMmxExt | kCpuSse, kSimdSse, true), kMathSetAmd,
         {Install3DNowSet, InstallAthlonSet, InstallAmdSseArraySet}},
        {"3DNow! reported without MMX: SSE arrays only", nullptr, nullptr,
         ProcessorFakes(true, kCpuIdRan | kCpu3DNow | kCpuSse, kSimdSse2, true), kMathSetAmd, {InstallAmdSseArraySet}},
        {"3DNow! reported, no flags at all", nullptr, nullptr, ProcessorFakes(true, 0, kSimdSse2, true), kMathSetAmd, {}},
        {"DisableD3DXPSGP=1 on a 3DNow! and SSE2 processor", nullptr, "1",
         ProcessorFakes(true, kAmdFeatures | kCpuSse, kSimdSse2, true), kMathSetReference, {}},
        {"DisablePSGP=1 alone", "1", nullptr, ProcessorFakes(false, 0, kSimdSse2, true), kMathSetReference, {}},
        {"DisableD3DXPSGP=0 overrides DisablePSGP=1", "1", "0", ProcessorFakes(false, 0, kSimdSse2, true), kMathSetSse2,
         {InstallSse2Set}},
        {"level 2 keeps SSE2 but not 3DNow!", nullptr, "2", ProcessorFakes(true, kAmdFeatures | kCpuSse, kSimdSse2, true),
         kMathSetSse2, {InstallSse2Set}},
        {"level 2 without SSE2 keeps SSE", "2", nullptr, ProcessorFakes(true, kAmdFeatures, kSimdSse, true), kMathSetSse,
         {InstallSseSet}},
        {"level 3 acts like 0", nullptr, "3", ProcessorFakes(true, kAmdFeatures, kSimdSse2, true), kMathSetAmd,
         {Install3DNowSet}},
        {"DisableD3DXPSGP as a string counts as absent", "1", "off", ProcessorFakes(false, 0, kSimdSse2, true),
         kMathSetReference, {}},
        {"DisablePSGP as a string counts as absent", "yes", nullptr, ProcessorFakes(false, 0, kSimdSse2, true),
         kMathSetSse2, {InstallSse2Set}},
        {"hexadecimal DWORD", "0x1", nullptr, ProcessorFakes(false, 0, kSimdSse2, true), kMathSetReference, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Clear();
        SetSwitch("DisablePSGP", c.disablePsgp);
        SetSwitch("DisableD3DXPSGP", c.disableD3dxPsgp);
        SetMathProcessorFakes(c.cpu);
        EXPECT_EQ(InitMathRoutines(TRUE), c.expectedSet);
        EXPECT_EQ(mathRoutineSet, c.expectedSet);
        MathRoutineTable expected = MathReferenceSet();
        InstallBaselineSet(expected);
        for (Installer install : c.installed) install(expected);
        EXPECT_TRUE(SameTable(g_mathRoutines, expected));
    }
}

TEST_F(Selection, QuaternionInverseIsTheSseVariantOnlyWithoutSse2) {
    if (!MathHasSimdSets()) GTEST_SKIP();
    SetMathProcessorFakes(ProcessorFakes(false, 0, kSimdSse, true));
    InitMathRoutines(TRUE);
    EXPECT_NE(g_mathRoutines.D3DXQuaternionInverse, MathReferenceSet().D3DXQuaternionInverse);
    ResetMathRoutines();
    SetMathProcessorFakes(ProcessorFakes(false, 0, kSimdSse | kSimdSse2, true));
    InitMathRoutines(TRUE);
    EXPECT_EQ(g_mathRoutines.D3DXQuaternionInverse, MathReferenceSet().D3DXQuaternionInverse);
}

TEST_F(Selection, FirstCallSelectsOnceAndForwardsTheCall) {
    EXPECT_EQ(mathRoutineSet, kMathSetNone);
    const D3DXMATRIX m(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 2, 3, 1);
    EXPECT_EQ(D3DXMatrixDeterminant(&m), 24.0f);  // through the first-call entry
    const int chosen = mathRoutineSet;
    EXPECT_NE(chosen, kMathSetNone);
    // Every slot now holds a routine of the chosen set, not a first-call entry.
    MathRoutineTable expected = MathReferenceSet();
    InstallBaselineSet(expected);
    if (chosen == kMathSetSse2) InstallSse2Set(expected);
    if (chosen == kMathSetSse) InstallSseSet(expected);
    if (chosen != kMathSetAmd) {
        EXPECT_TRUE(SameTable(g_mathRoutines, expected));
    }
    // A later selection request changes nothing.
    g_mathRoutines.D3DXMatrixDeterminant = MathReferenceSet().D3DXMatrixDeterminant;
    EXPECT_EQ(InitMathRoutines(TRUE), chosen);
    EXPECT_EQ(g_mathRoutines.D3DXMatrixDeterminant, MathReferenceSet().D3DXMatrixDeterminant);
}

TEST_F(Selection, FirstCallEntryOfAVoidRoutineAndOfAnOutputRoutine) {
    D3DXQUATERNION q(0, 0, 0, -1);
    D3DXVECTOR3 axis(9, 9, 9);
    float angle = 0;
    D3DXQuaternionToAxisAngle(&q, &axis, &angle);
    EXPECT_NE(mathRoutineSet, kMathSetNone);
    EXPECT_EQ(axis, D3DXVECTOR3(0, 0, 0));
    EXPECT_NEAR(angle, 2 * D3DX_PI, 1e-6);
    ResetMathRoutines();
    D3DXVECTOR3 v(3, 0, 4), out;
    EXPECT_EQ(D3DXVec3Normalize(&out, &v), &out);
    EXPECT_NEAR(out.x, 0.6f, 1e-6);
}

TEST_F(Selection, DisabledTableUsesReferenceUntilEnabledAgain) {
    EXPECT_EQ(InitMathRoutines(FALSE), kMathSetNone);
    EXPECT_EQ(mathRoutineSet, kMathSetNone);
    EXPECT_TRUE(SameTable(g_mathRoutines, MathReferenceSet()));
    // Squared length 1 + 5e-6: the reference routine scales, the baseline one (within 1e-5) would copy.
    const D3DXVECTOR3 v(std::sqrt(1.000005f), 0, 0);
    D3DXVECTOR3 out;
    D3DXVec3Normalize(&out, &v);
    EXPECT_NE(FloatBits(out.x), FloatBits(v.x));
    EXPECT_EQ(mathRoutineSet, kMathSetNone);  // no first-call entry left to select
    SetMathProcessorFakes(ProcessorFakes(false, 0, 0, false));
    EXPECT_EQ(InitMathRoutines(TRUE), kMathSetReference);
    D3DXVec3Normalize(&out, &v);
    EXPECT_EQ(FloatBits(out.x), FloatBits(v.x));
}

TEST(ProcessorQueries, RealProcessorAnswersConsistently) {
    SetMathProcessorFakes({});
    const DWORD features = QueryProcessorFeatures(), simd = QuerySimdSupport();
    if (!MathHasSimdSets()) {
        EXPECT_EQ(simd, 0u);
        return;
    }
    EXPECT_EQ(features & (kCpuIdRan | kCpuStandardLeaves), kCpuIdRan | kCpuStandardLeaves);
    // Every x86-64 processor has MMX, SSE and SSE2 and extended leaves.
    EXPECT_TRUE(features & kCpuMmx);
    EXPECT_TRUE(features & kCpuSse);
    EXPECT_TRUE(features & kCpuExtendedLeaves);
    EXPECT_EQ(simd, kSimdSse | kSimdSse2);
    // Bits of leaves that exist only past the extended maximum follow the extended flag.
    if (!(features & kCpuExtendedLeaves)) {
        EXPECT_EQ(features & (kCpu3DNow | kCpu3DNowExt | kCpuAmdMmxExt), 0u);
    }
}

// Which slots each installer fills, read as 74 untyped pointers.
std::vector<bool> Differs(const MathRoutineTable& a, const MathRoutineTable& b) {
    void* pa[kMathRoutineSlots];
    void* pb[kMathRoutineSlots];
    std::memcpy(pa, &a, sizeof a);
    std::memcpy(pb, &b, sizeof b);
    std::vector<bool> d(kMathRoutineSlots);
    for (int i = 0; i < kMathRoutineSlots; ++i) d[i] = pa[i] != pb[i];
    return d;
}
std::vector<bool> SlotList(std::initializer_list<std::pair<int, int>> ranges) {
    std::vector<bool> s(kMathRoutineSlots);
    for (auto [first, last] : ranges)
        for (int i = first; i <= last; ++i) s[i] = true;
    return s;
}

TEST(Installers, FillExactlyTheirSlots) {
    const MathRoutineTable reference = MathReferenceSet();
    MathRoutineTable baseline = reference;
    InstallBaselineSet(baseline);
    EXPECT_EQ(Differs(baseline, reference), SlotList({{0, 7}, {35, 35}}));
    if (!MathHasSimdSets()) return;
    MathRoutineTable sse = baseline, sse2 = baseline, arrays = baseline;
    InstallSseSet(sse);
    InstallSse2Set(sse2);
    InstallAmdSseArraySet(arrays);
    const auto sseSlots = SlotList({{0, 11}, {14, 14}, {17, 23}, {25, 26}, {28, 29}, {35, 35}, {45, 45}, {48, 55},
                                    {59, 66}, {69, 69}, {71, 71}});
    EXPECT_EQ(Differs(sse, baseline), sseSlots);
    auto sse2Slots = sseSlots;
    sse2Slots[45] = false;  // the SSE2 set keeps the reference quaternion inverse
    EXPECT_EQ(Differs(sse2, baseline), sse2Slots);
    // The SSE2 set has its own routines in these slots and shares the SSE ones elsewhere.
    EXPECT_EQ(Differs(sse2, sse), SlotList({{7, 7}, {14, 14}, {17, 17}, {22, 22}, {25, 26}, {28, 29}, {45, 45},
                                           {59, 66}, {69, 69}}));
    EXPECT_EQ(Differs(arrays, baseline), SlotList({{60, 66}, {69, 69}}));
    // Slots 12, 67, 68, 70, 72 and 73 are never replaced.
    MathRoutineTable everything = baseline;
    for (auto install : {InstallSseSet, InstallSse2Set, Install3DNowSet, InstallAthlonSet, InstallAmdSseArraySet})
        install(everything);
    for (int slot : {12, 67, 68, 70, 72, 73}) EXPECT_FALSE(Differs(everything, reference)[slot]) << slot;
}

// ---- Every variant set against the reference routines on seeded random data ----

struct Check {
    const char* name;
    int count;
    double tol;
    std::function<void(const MathRoutineTable&, Random&, float*)> run;  // writes `count` floats
};

std::vector<Check> Checks() {
    auto q = [](Random& r) { return r.UnitQuaternion(); };
    return {
        {"Vec2Transform", 4, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec2(); auto m = r.Matrix(); t.D3DXVec2Transform((D3DXVECTOR4*)o, &v, &m); }},
        {"Vec3Transform", 4, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec3(); auto m = r.Matrix(); t.D3DXVec3Transform((D3DXVECTOR4*)o, &v, &m); }},
        {"Vec4Transform", 4, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec4(); auto m = r.Matrix(); t.D3DXVec4Transform((D3DXVECTOR4*)o, &v, &m); }},
        {"PlaneTransform", 4, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec4(); auto m = r.Matrix(); t.D3DXPlaneTransform((D3DXPLANE*)o, (D3DXPLANE*)&v, &m); }},
        {"Vec2TransformNormal", 2, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec2(); auto m = r.Matrix(); t.D3DXVec2TransformNormal((D3DXVECTOR2*)o, &v, &m); }},
        {"Vec3TransformNormal", 3, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec3(); auto m = r.Matrix(); t.D3DXVec3TransformNormal((D3DXVECTOR3*)o, &v, &m); }},
        {"Vec2TransformCoord", 2, 1e-5, [](auto& t, auto& r, float* o) { auto v = r.Vec2(); auto m = r.Affine(); m._44 = 2; t.D3DXVec2TransformCoord((D3DXVECTOR2*)o, &v, &m); }},
        {"Vec3TransformCoord", 3, 1e-5, [](auto& t, auto& r, float* o) { auto v = r.Vec3(); auto m = r.Affine(); m._44 = 2; t.D3DXVec3TransformCoord((D3DXVECTOR3*)o, &v, &m); }},
        {"MultiplyTranspose", 16, 1e-5, [](auto& t, auto& r, float* o) { auto a = r.Matrix(), b = r.Matrix(); t.D3DXMatrixMultiplyTranspose((D3DXMATRIX*)o, &a, &b); }},
        {"Vec2Normalize", 2, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec2(); t.D3DXVec2Normalize((D3DXVECTOR2*)o, &v); }},
        {"Vec3Normalize", 3, 2e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec3(); t.D3DXVec3Normalize((D3DXVECTOR3*)o, &v); }},
        {"Vec4Normalize", 4, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec4(); t.D3DXVec4Normalize((D3DXVECTOR4*)o, &v); }},
        {"QuaternionNormalize", 4, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec4(); t.D3DXQuaternionNormalize((D3DXQUATERNION*)o, (D3DXQUATERNION*)&v); }},
        {"PlaneNormalize", 4, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec4(); t.D3DXPlaneNormalize((D3DXPLANE*)o, (D3DXPLANE*)&v); }},
        {"Determinant", 1, 1e-5, [](auto& t, auto& r, float* o) { auto m = r.Matrix(); *o = t.D3DXMatrixDeterminant(&m); }},
        {"Inverse", 17, 2e-5, [](auto& t, auto& r, float* o) { auto m = r.Affine(); t.D3DXMatrixInverse((D3DXMATRIX*)o, o + 16, &m); }},
        {"PlaneFromPointNormal", 4, 1e-6, [](auto& t, auto& r, float* o) { auto p = r.Vec3(), n = r.Vec3(); t.D3DXPlaneFromPointNormal((D3DXPLANE*)o, &p, &n); }},
        {"PlaneFromPoints", 4, 1e-5, [](auto& t, auto& r, float* o) { auto a = r.Vec3(), b = r.Vec3(), c = r.Vec3(); t.D3DXPlaneFromPoints((D3DXPLANE*)o, &a, &b, &c); }},
        {"PlaneIntersectLine", 3, 1e-4, [](auto& t, auto& r, float* o) { auto p = r.Vec4(); auto a = r.Vec3(), b = r.Vec3(); if (!t.D3DXPlaneIntersectLine((D3DXVECTOR3*)o, (D3DXPLANE*)&p, &a, &b)) o[0] = o[1] = o[2] = 0; }},
        {"Vec4Cross", 4, 1e-5, [](auto& t, auto& r, float* o) { auto a = r.Vec4(), b = r.Vec4(), c = r.Vec4(); t.D3DXVec4Cross((D3DXVECTOR4*)o, &a, &b, &c); }},
        {"Vec2Hermite", 2, 1e-5, [](auto& t, auto& r, float* o) { auto a = r.Vec2(), b = r.Vec2(), c = r.Vec2(), d = r.Vec2(); t.D3DXVec2Hermite((D3DXVECTOR2*)o, &a, &b, &c, &d, r.Uniform(0, 1)); }},
        {"Vec3Hermite", 3, 1e-5, [](auto& t, auto& r, float* o) { auto a = r.Vec3(), b = r.Vec3(), c = r.Vec3(), d = r.Vec3(); t.D3DXVec3Hermite((D3DXVECTOR3*)o, &a, &b, &c, &d, r.Uniform(0, 1)); }},
        {"Vec4Hermite", 4, 1e-5, [](auto& t, auto& r, float* o) { auto a = r.Vec4(), b = r.Vec4(), c = r.Vec4(), d = r.Vec4(); t.D3DXVec4Hermite((D3DXVECTOR4*)o, &a, &b, &c, &d, r.Uniform(0, 1)); }},
        {"Vec2CatmullRom", 2, 1e-5, [](auto& t, auto& r, float* o) { auto a = r.Vec2(), b = r.Vec2(), c = r.Vec2(), d = r.Vec2(); t.D3DXVec2CatmullRom((D3DXVECTOR2*)o, &a, &b, &c, &d, r.Uniform(0, 1)); }},
        {"Vec3CatmullRom", 3, 1e-5, [](auto& t, auto& r, float* o) { auto a = r.Vec3(), b = r.Vec3(), c = r.Vec3(), d = r.Vec3(); t.D3DXVec3CatmullRom((D3DXVECTOR3*)o, &a, &b, &c, &d, r.Uniform(0, 1)); }},
        {"Vec4CatmullRom", 4, 1e-5, [](auto& t, auto& r, float* o) { auto a = r.Vec4(), b = r.Vec4(), c = r.Vec4(), d = r.Vec4(); t.D3DXVec4CatmullRom((D3DXVECTOR4*)o, &a, &b, &c, &d, r.Uniform(0, 1)); }},
        {"Vec2BaryCentric", 2, 1e-5, [](auto& t, auto& r, float* o) { auto a = r.Vec2(), b = r.Vec2(), c = r.Vec2(); t.D3DXVec2BaryCentric((D3DXVECTOR2*)o, &a, &b, &c, r.Uniform(0, 1), r.Uniform(0, 1)); }},
        {"Vec3BaryCentric", 3, 1e-5, [](auto& t, auto& r, float* o) { auto a = r.Vec3(), b = r.Vec3(), c = r.Vec3(); t.D3DXVec3BaryCentric((D3DXVECTOR3*)o, &a, &b, &c, r.Uniform(0, 1), r.Uniform(0, 1)); }},
        {"Vec4BaryCentric", 4, 1e-5, [](auto& t, auto& r, float* o) { auto a = r.Vec4(), b = r.Vec4(), c = r.Vec4(); t.D3DXVec4BaryCentric((D3DXVECTOR4*)o, &a, &b, &c, r.Uniform(0, 1), r.Uniform(0, 1)); }},
        {"QuaternionMultiply", 4, 1e-6, [q](auto& t, auto& r, float* o) { auto a = q(r), b = q(r); t.D3DXQuaternionMultiply((D3DXQUATERNION*)o, &a, &b); }},
        {"QuaternionRotationMatrix", 4, 2e-6, [q](auto& t, auto& r, float* o) { auto a = q(r); if (a.w < 0) a = -a; D3DXMATRIX m; MathReferenceSet().D3DXMatrixRotationQuaternion(&m, &a); t.D3DXQuaternionRotationMatrix((D3DXQUATERNION*)o, &m); }},
        {"QuaternionRotationYawPitchRoll", 4, 1e-6, [](auto& t, auto& r, float* o) { t.D3DXQuaternionRotationYawPitchRoll((D3DXQUATERNION*)o, r.Uniform(-3, 3), r.Uniform(-3, 3), r.Uniform(-3, 3)); }},
        {"QuaternionRotationAxis", 4, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec3(); t.D3DXQuaternionRotationAxis((D3DXQUATERNION*)o, &v, r.Uniform(-3, 3)); }},
        {"QuaternionInverse", 4, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec4(); t.D3DXQuaternionInverse((D3DXQUATERNION*)o, (D3DXQUATERNION*)&v); }},
        {"QuaternionSlerp", 4, 1e-5, [q](auto& t, auto& r, float* o) { auto a = q(r), b = q(r); t.D3DXQuaternionSlerp((D3DXQUATERNION*)o, &a, &b, r.Uniform(0, 1)); }},
        {"QuaternionLn", 4, 1e-5, [q](auto& t, auto& r, float* o) { auto a = q(r); t.D3DXQuaternionLn((D3DXQUATERNION*)o, &a); }},
        {"QuaternionExp", 4, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec4(); t.D3DXQuaternionExp((D3DXQUATERNION*)o, (D3DXQUATERNION*)&v); }},
        {"QuaternionBaryCentric", 4, 1e-5, [q](auto& t, auto& r, float* o) { auto a = q(r), b = q(r), c = q(r); t.D3DXQuaternionBaryCentric((D3DXQUATERNION*)o, &a, &b, &c, r.Uniform(0.1f, 0.5f), r.Uniform(0.1f, 0.5f)); }},
        {"MatrixTranslation", 16, 0, [](auto& t, auto& r, float* o) { t.D3DXMatrixTranslation((D3DXMATRIX*)o, r.Uniform(-9, 9), r.Uniform(-9, 9), r.Uniform(-9, 9)); }},
        {"MatrixScaling", 16, 0, [](auto& t, auto& r, float* o) { t.D3DXMatrixScaling((D3DXMATRIX*)o, r.Uniform(-9, 9), r.Uniform(-9, 9), r.Uniform(-9, 9)); }},
        {"MatrixRotationX", 16, 1e-7, [](auto& t, auto& r, float* o) { t.D3DXMatrixRotationX((D3DXMATRIX*)o, r.Uniform(-9, 9)); }},
        {"MatrixRotationY", 16, 1e-7, [](auto& t, auto& r, float* o) { t.D3DXMatrixRotationY((D3DXMATRIX*)o, r.Uniform(-9, 9)); }},
        {"MatrixRotationZ", 16, 1e-7, [](auto& t, auto& r, float* o) { t.D3DXMatrixRotationZ((D3DXMATRIX*)o, r.Uniform(-9, 9)); }},
        {"MatrixRotationAxis", 16, 1e-6, [](auto& t, auto& r, float* o) { auto v = r.Vec3(); t.D3DXMatrixRotationAxis((D3DXMATRIX*)o, &v, r.Uniform(-3, 3)); }},
        {"MatrixRotationQuaternion", 16, 1e-6, [q](auto& t, auto& r, float* o) { auto a = q(r); t.D3DXMatrixRotationQuaternion((D3DXMATRIX*)o, &a); }},
        {"MatrixRotationYawPitchRoll", 16, 1e-6, [](auto& t, auto& r, float* o) { t.D3DXMatrixRotationYawPitchRoll((D3DXMATRIX*)o, r.Uniform(-3, 3), r.Uniform(-3, 3), r.Uniform(-3, 3)); }},
        {"MatrixTranspose", 16, 0, [](auto& t, auto& r, float* o) { auto m = r.Matrix(); t.D3DXMatrixTranspose((D3DXMATRIX*)o, &m); }},
        {"MatrixShadow", 16, 1e-5, [](auto& t, auto& r, float* o) { auto l = r.Vec4(), p = r.Vec4(); t.D3DXMatrixShadow((D3DXMATRIX*)o, &l, (D3DXPLANE*)&p); }},
        {"MatrixReflect", 16, 1e-5, [](auto& t, auto& r, float* o) { auto p = r.Vec4(); t.D3DXMatrixReflect((D3DXMATRIX*)o, (D3DXPLANE*)&p); }},
        {"CurvedTriangle", 30, 1e-5, [](auto& t, auto& r, float* o) { D3DXVECTOR3 p[3] = {r.Vec3(), r.Vec3(), r.Vec3()}, n[3]; for (auto& x : n) { x = r.Vec3(); D3DXVec3Normalize(&x, &x); } t.MathCurvedTriangleControlPoints((D3DXVECTOR3*)o, p, n); }},
        {"BlendVertices", 9, 1e-5, [](auto& t, auto& r, float* o) { D3DXVECTOR3 v[3] = {r.Vec3(), r.Vec3(), r.Vec3()}; D3DXMATRIX pal[3] = {r.Affine(), r.Affine(), r.Affine()}; float w[6]; for (float& x : w) x = r.Uniform(0, 1); const BYTE idx[6] = {0, 1, 2, 1, 0, 2}; t.MathBlendVertices((D3DXVECTOR3*)o, v, w, idx, 2, pal, 3); }},
    };
}

TEST(VariantSets, AgreeWithReferenceOnRandomData) {
    const auto sets = AllSets();
    for (const Check& c : Checks()) {
        for (const auto& set : sets) {
            SCOPED_TRACE(std::string(c.name) + " " + set.name);
            Random a(77), b(77);
            for (int i = 0; i < 201; ++i) {
                float want[32], got[32];
                c.run(sets[0].table, a, want);
                c.run(set.table, b, got);
                for (int k = 0; k < c.count; ++k) ASSERT_TRUE(Near(got[k], want[k], c.tol)) << "case " << i << " at " << k;
            }
        }
    }
}

// Where the sets are told to differ from the reference, they do.
TEST(VariantSets, DocumentedDegenerateCases) {
    const auto sets = AllSets();
    auto find = [&](const char* name) -> const MathRoutineTable* {
        for (const auto& s : sets)
            if (s.name == name) return &s.table;
        return nullptr;
    };
    const D3DXVECTOR3 small(1e-8f, 0, 0), tinyNonZero(1e-20f, 0, 0), zero(0, 0, 0);
    D3DXVECTOR3 out;
    // Reference: 1e-16 is not tiny, so it normalises; 1e-40 is.
    find("reference")->D3DXVec3Normalize(&out, &small);
    EXPECT_NEAR(out.x, 1.0f, 1e-6);
    // Baseline: only an exact zero gives zero.
    find("baseline")->D3DXVec3Normalize(&out, &tinyNonZero);
    EXPECT_NE(out.x, 0.0f);
    find("baseline")->D3DXVec3Normalize(&out, &zero);
    EXPECT_EQ(out, zero);
    if (!MathHasSimdSets()) return;
    for (const char* name : {"sse", "sse2"}) {
        SCOPED_TRACE(name);
        // Below 2^-46 the SSE normalisations give zero; four-component ones have no zero test at all.
        find(name)->D3DXVec3Normalize(&out, &small);
        EXPECT_EQ(out, zero);
        D3DXPLANE p(1e-8f, 0, 0, 5), po;
        find(name)->D3DXPlaneNormalize(&po, &p);
        EXPECT_EQ(po, D3DXPLANE(0, 0, 0, 0));
        D3DXVECTOR4 z4(0, 0, 0, 0), o4;
        find(name)->D3DXVec4Normalize(&o4, &z4);
        EXPECT_TRUE(std::isnan(o4.x));
        // NaN determinant: null without storing it.
        D3DXMATRIX nan(static_cast<const float*>(D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1)));
        nan._11 = NAN;
        float det = 5;
        D3DXMATRIX inv;
        EXPECT_EQ(find(name)->D3DXMatrixInverse(&inv, &det, &nan), nullptr);
        EXPECT_EQ(det, 5.0f);
    }
    for (const char* name : {"3dnow", "athlon"}) {
        SCOPED_TRACE(name);
        // Zero only at or below 2^-126; no near-1 copy (the refined reciprocal square root rescales).
        find(name)->D3DXVec3Normalize(&out, &small);
        EXPECT_NEAR(out.x, 1.0f, 1e-6);
        find(name)->D3DXVec3Normalize(&out, &tinyNonZero);
        EXPECT_EQ(out, zero);
        D3DXVECTOR2 z2(0, 0), o2(1, 1);
        find(name)->D3DXVec2Normalize(&o2, &z2);
        EXPECT_EQ(o2, z2);
    }
}

// ---- The piecewise-linear 1/sqrt of the baseline normalisation ----

TEST(ApproxReciprocalSqrt, TableEntriesAtTheirSegments) {
    struct Case {
        float x, slope, intercept;
    } cases[] = {
        {0.5f, -1.41009521484375f, 2.1192612648010254f},                    // entry 0, m = 0.5
        {1.0f, -0.49853515625f, 1.49853515625f},                            // entry 256, m = 1
        {BitsFloat(0x3FFFFFFF), -0.177032470703125f, 1.0611717700958252f},  // entry 511, m just below 2
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ApproxReciprocalSqrt(c.x), double(c.x) * c.slope + c.intercept) << c.x;
    }
    // The scale is a power of two: 4x gives half the result.
    EXPECT_EQ(ApproxReciprocalSqrt(4.0f), 0.5f);
    EXPECT_EQ(ApproxReciprocalSqrt(0.25f * 0.5f), 2 * ApproxReciprocalSqrt(0.5f));
}

TEST(ApproxReciprocalSqrt, ErrorBoundsOverEveryMantissaOfTwoExponents) {
    double worstHigh = 0, worstLow = 0;
    for (std::uint32_t exponent : {126u, 127u}) {
        for (std::uint32_t mantissa = 0; mantissa < (1u << 23); ++mantissa) {
            const float x = BitsFloat((exponent << 23) | mantissa);
            const double rel = ApproxReciprocalSqrt(x) * std::sqrt(double(x)) - 1.0;
            worstHigh = std::max(worstHigh, rel);
            worstLow = std::min(worstLow, rel);
        }
    }
    EXPECT_LE(worstHigh, 1.5e-6);
    EXPECT_GE(worstLow, -1.3e-7);
    EXPECT_GT(worstHigh, 1e-6);  // a linear fit of 1/sqrt on these segments cannot do much better
}

}  // namespace
