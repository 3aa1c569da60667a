// The performance counter: real clock monotonic at 1e9 ticks per second, exact steps under --clock-step, and
// scripted values for the frame timer's tests.
#include <gtest/gtest.h>

#include "platform/Runner.h"
#include "platform/TestHooks.h"
#include "platform/win32/Win32.h"

namespace {

LONGLONG Read() {
    LARGE_INTEGER v{};
    EXPECT_TRUE(QueryPerformanceCounter(&v));
    return v.QuadPart;
}

class TimeTest : public ::testing::Test {
protected:
    void TearDown() override {
        tarn::platform::Runner().clockStep = 0.0;
        tarn::platform::SetCounterScript({});
    }
};

TEST_F(TimeTest, RealCounterIsMonotonicAtOneGigahertz) {
    LARGE_INTEGER f{};
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 1000000000);
    LONGLONG a = Read();
    Sleep(2);
    LONGLONG b = Read();
    EXPECT_GE(b - a, 2000000);  // at least the 2 ms slept
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
}

TEST_F(TimeTest, ClockStepAdvancesEachReadByExactlyTheRoundedStep) {
    tarn::platform::SetCounterScript({});  // restarts the step count
    tarn::platform::Runner().clockStep = 1.0 / 60.0;
    LONGLONG first = Read();
    LONGLONG second = Read();
    LONGLONG third = Read();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second - first, 16666667);
    EXPECT_EQ(third - second, 16666667);  // the same step every time, no drift from rounding
    tarn::platform::Runner().clockStep = 0.5;
    EXPECT_EQ(Read(), 3 * 500000000LL);
}

// The millisecond clocks share one read count under --clock-step, truncated from the exact nanosecond steps (no
// drift), and reading them leaves the performance counter's sequence alone.
TEST_F(TimeTest, MillisecondClocksStepOnTheirOwnReadsUnderClockStep) {
    tarn::platform::SetCounterScript({});  // restarts both step counts
    tarn::platform::Runner().clockStep = 1.0 / 60.0;
    EXPECT_EQ(timeGetTime(), 0u);
    EXPECT_EQ(timeGetTime(), 16u);
    EXPECT_EQ(GetTickCount(), 33u);
    EXPECT_EQ(timeGetTime(), 50u);
    EXPECT_EQ(Read(), 0) << "the counter has its own reads";
    for (int i = 0; i < 56; ++i) timeGetTime();
    EXPECT_EQ(timeGetTime(), 1000u) << "60 reads are exactly one second";
    EXPECT_EQ(Read(), 16666667);

    tarn::platform::Runner().clockStep = 0.0;
    const DWORD a = timeGetTime();
    Sleep(3);
    const DWORD b = GetTickCount();
    EXPECT_GE(b - a, 3u);
    EXPECT_LT(b - a, 1000u);
}

TEST_F(TimeTest, ScriptedValuesComeInOrderThenTheLastOneRepeats) {
    tarn::platform::Runner().clockStep = 0.25;  // a script wins over the step
    tarn::platform::SetCounterScript({1000, 2000, 1500, 9000000000LL});
    EXPECT_EQ(Read(), 1000);
    EXPECT_EQ(Read(), 2000);
    EXPECT_EQ(Read(), 1500);  // backwards
    EXPECT_EQ(Read(), 9000000000LL);
    EXPECT_EQ(Read(), 9000000000LL);  // stalled
}

}  // namespace
