// The frame gate against a scripted performance counter (1e9 ticks per second): the constructor reads the
// counter once, the first Update twice, every later Update once.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/TestHooks.h"
#include "render/FrameRate.h"

namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kSecond = 1'000'000'000;

class FrameRateTest : public ::testing::Test {
protected:
    ~FrameRateTest() override { tarn::platform::SetCounterScript({}); }

    // Script: construction at 0, the first Update at `first`, then one reading per later Update.
    static void Script(std::int64_t first, const std::vector<std::int64_t>& later) {
        std::vector<std::int64_t> values = {0, first, first};
        values.insert(values.end(), later.begin(), later.end());
        tarn::platform::SetCounterScript(values);
    }
};

TEST_F(FrameRateTest, CallsOneMillisecondApartAcceptNoFrame) {
    Script(kMs, {2 * kMs, 3 * kMs});
    CTRFrameRate frameRate;
    EXPECT_FALSE(frameRate.Update());
    EXPECT_FALSE(frameRate.Update());
    EXPECT_FALSE(frameRate.Update());
    EXPECT_EQ(frameRate.GetFrameTime(), 0.0f);
    EXPECT_EQ(frameRate.GetElapsedTime(), 0.0f);
}

TEST_F(FrameRateTest, ThirtiethSecondStepsAcceptEveryCallAfterTheFirst) {
    // The first Update comes 5 s after construction: loading time is not frame time.
    const std::int64_t step = kSecond / 30;
    std::vector<std::int64_t> later;
    for (int i = 1; i <= 8; ++i) later.push_back(5 * kSecond + i * step);
    Script(5 * kSecond, later);

    CTRFrameRate frameRate;
    EXPECT_FALSE(frameRate.Update());
    for (int i = 1; i <= 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(frameRate.Update());
        EXPECT_NEAR(frameRate.GetElapsedTime(), 1.0 / 30.0, 1e-5);
        EXPECT_NEAR(frameRate.GetFrameTime(), i / 30.0, 1e-5);
    }
}

TEST_F(FrameRateTest, BackwardsCounterCountsNothingAndTheNextCallMeasuresFromTheSmallerReading) {
    Script(10 * kMs, {5 * kMs, 25 * kMs});
    CTRFrameRate frameRate;
    EXPECT_FALSE(frameRate.Update());
    EXPECT_FALSE(frameRate.Update());  // went back 5 ms: contributes 0
    // 20 ms from the smaller reading (measuring from 10 ms would give 15 ms, under 1/60 s).
    EXPECT_TRUE(frameRate.Update());
    EXPECT_NEAR(frameRate.GetElapsedTime(), 0.020, 1e-6);
    EXPECT_NEAR(frameRate.GetFrameTime(), 0.020, 1e-6);
}

TEST_F(FrameRateTest, StallIsNotClampedAndTheNextFrameNeedsAFullInterval) {
    const std::int64_t start = kMs;
    const std::int64_t afterFirstFrame = start + 20 * kMs;
    const std::int64_t afterStall = afterFirstFrame + 2 * kSecond;
    Script(start, {afterFirstFrame, afterStall, afterStall + 10 * kMs, afterStall + 17 * kMs});

    CTRFrameRate frameRate;
    EXPECT_FALSE(frameRate.Update());
    ASSERT_TRUE(frameRate.Update());
    EXPECT_NEAR(frameRate.GetElapsedTime(), 0.020, 1e-6);  // the first frame: elapsed equals frameTime
    EXPECT_EQ(frameRate.GetElapsedTime(), frameRate.GetFrameTime());

    ASSERT_TRUE(frameRate.Update());
    EXPECT_NEAR(frameRate.GetElapsedTime(), 2.0, 1e-5);
    EXPECT_NEAR(frameRate.GetFrameTime(), 2.020, 1e-5);

    EXPECT_FALSE(frameRate.Update());  // 10 ms after the stall's frame
    EXPECT_TRUE(frameRate.Update());   // 17 ms after it
    EXPECT_NEAR(frameRate.GetElapsedTime(), 0.017, 1e-4);
}

TEST_F(FrameRateTest, MissedIntervalsAreNotCaughtUp) {
    // 100 ms pass between two calls: one frame is accepted, not six, and the next is due 1/60 s later.
    Script(kMs, {kMs + 100 * kMs, kMs + 105 * kMs, kMs + 117 * kMs});
    CTRFrameRate frameRate;
    EXPECT_FALSE(frameRate.Update());
    EXPECT_TRUE(frameRate.Update());
    EXPECT_FALSE(frameRate.Update());
    EXPECT_TRUE(frameRate.Update());
    EXPECT_NEAR(frameRate.GetElapsedTime(), 0.017, 1e-4);
}

}  // namespace
