// Built against the math library compiled without its processor-specific sets: whatever the processor
// reports, the selection stops at the reference and baseline routines and reports set 0.
#include <gtest/gtest.h>

#include <cstring>

#include "math/RoutineTableTesting.h"

using namespace tarn::math;

TEST(ReferenceOnlyBuild, EveryProcessorGetsTheReferenceAndBaselineSets) {
    ASSERT_FALSE(MathHasSimdSets());
    MathRoutineTable expected = MathReferenceSet();
    InstallBaselineSet(expected);
    const DWORD amd = kCpuIdRan | kCpuStandardLeaves | kCpuExtendedLeaves | kCpuMmx | kCpuSse | kCpu3DNow |
                      kCpu3DNowExt | kCpuAmdMmxExt;
    struct Case {
        const char* what;
        MathProcessorFakes processor;
    } const cases[] = {
        {"SSE2", ProcessorFakes(false, 0, kSimdSse | kSimdSse2, true)},
        {"SSE only", ProcessorFakes(false, 0, kSimdSse, true)},
        {"3DNow! with SSE", ProcessorFakes(true, amd, kSimdSse | kSimdSse2, true)},
        {"nothing", ProcessorFakes(false, 0, 0, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetMathProcessorFakes(c.processor);
        ResetMathRoutines();
        EXPECT_EQ(InitMathRoutines(TRUE), kMathSetReference);
        EXPECT_EQ(mathRoutineSet, kMathSetReference);
        EXPECT_EQ(std::memcmp(&g_mathRoutines, &expected, sizeof expected), 0);
    }
    SetMathProcessorFakes({});
    ResetMathRoutines();
}
