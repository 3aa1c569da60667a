// The polling loop's pacer: when PeekMessageA may sleep, learnt from when frames open and are presented. Times are
// nanoseconds, fed in by hand, so every case is exact.
#include <gtest/gtest.h>

#include <cstdint>

#include "IdleWait.h"

namespace {

using tarn::platform::detail::IdlePacer;

constexpr std::int64_t kMs = 1000000;
constexpr std::int64_t kInterval = 16666667;  // the 60 fps gate
constexpr std::int64_t kStart = 1000 * kMs;

// One pass of a gated loop that draws: an empty queue, the gate's counter read at `open`, drawing for `draw` ns,
// then the present.
void Frame(IdlePacer& pacer, std::int64_t open, std::int64_t draw) {
    pacer.QueueEmpty();
    pacer.CounterRead(open);
    pacer.CounterRead(open + draw / 2);  // a read while drawing does not move the opening
    pacer.Presented(open + draw);
}

TEST(IdleWaitTest, SleepsUntilShortlyBeforeTheNextFrameIsDueAtMostOneMillisecondAtATime) {
    IdlePacer pacer;
    const std::int64_t draw = 3 * kMs;
    for (int i = 0; i < 4; ++i) Frame(pacer, kStart + i * kInterval, draw);
    const std::int64_t open = kStart + 3 * kInterval;
    const std::int64_t wakeUp = open + kInterval - IdlePacer::kMargin;  // due time less the margin

    EXPECT_EQ(pacer.WaitNanoseconds(open + draw), 0) << "the pass right after a Present never waits";
    struct Case {
        std::int64_t now;
        std::int64_t wait;
    } cases[] = {
        {open + draw + kMs, IdlePacer::kMaxWait},  // far from due: the longest wait
        {wakeUp - kMs / 4, kMs / 4},               // close to due: only up to the wake-up
        {wakeUp, 0},                               // within the margin: spin
        {open + kInterval + kMs, 0},               // due or late: never wait
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now - open);
        EXPECT_EQ(pacer.WaitNanoseconds(c.now), c.wait);
    }
}

TEST(IdleWaitTest, LearnsTheIntervalFromFrameOpeningsAndNeedsThreeGaps) {
    struct Case {
        const char* what;
        std::int64_t gaps[4];
        int frames;
        std::int64_t expectedInterval;  // 0: no waiting
    } cases[] = {
        {"two gaps are too few", {kInterval, kInterval}, 3, 0},
        {"the shortest gap is the interval", {20 * kMs, kInterval, 25 * kMs, 18 * kMs}, 5, kInterval},
        {"a loop presenting every pass never waits", {kMs, kMs, kMs, kMs}, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IdlePacer pacer;
        std::int64_t open = kStart;
        Frame(pacer, open, kMs / 2);
        for (int i = 0; i + 1 < c.frames; ++i) {
            open += c.gaps[i];
            Frame(pacer, open, kMs / 2);
        }
        pacer.WaitNanoseconds(open);  // the pass right after the present
        const std::int64_t probe = open + kMs / 2 + 1;
        const std::int64_t wait = pacer.WaitNanoseconds(probe);
        if (c.expectedInterval == 0) {
            EXPECT_EQ(wait, 0);
        } else {
            // Probe one wait before the wake-up that the expected interval gives.
            const std::int64_t wakeUp = open + c.expectedInterval - IdlePacer::kMargin;
            EXPECT_EQ(pacer.WaitNanoseconds(wakeUp - kMs / 8), kMs / 8);
            EXPECT_EQ(wait, IdlePacer::kMaxWait);
        }
    }
}

// The frame opens at the gate's counter read, not at the present: a long draw must not push the wake-up past the
// due time (that would delay every frame by the drawing time).
TEST(IdleWaitTest, TheOpeningIsTheFirstCounterReadAfterAnEmptyQueue) {
    IdlePacer pacer;
    const std::int64_t draw = 10 * kMs;
    for (int i = 0; i < 4; ++i) Frame(pacer, kStart + i * kInterval, draw);
    const std::int64_t open = kStart + 3 * kInterval;
    pacer.WaitNanoseconds(open + draw);
    // 6.67 ms after the present the next frame is due: the wake-up lies 0.4 ms before that.
    const std::int64_t wakeUp = open + kInterval - IdlePacer::kMargin;
    EXPECT_EQ(pacer.WaitNanoseconds(wakeUp - kMs / 2), kMs / 2);
    EXPECT_EQ(pacer.WaitNanoseconds(open + draw + kInterval - kMs), 0);
}

}  // namespace
