// How long an application's polling loop may sleep inside PeekMessageA. The engine's loop calls Frame whenever
// the queue is empty, and Frame's gate lets one frame through per interval; between frames the loop would spin on
// the performance counter. The pacer learns the gate's interval from when frames open (the first counter read
// after an empty-queue PeekMessageA, in a pass that then presents) and lets PeekMessageA sleep, at most 1 ms at a
// time, until shortly before the next frame is due. Frames are never delayed by a wait: the loop spins through the
// last `kMargin` before the due time, and a pass right after a Present never waits.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tarn::platform::detail {

class IdlePacer {
public:
    static constexpr std::int64_t kMaxWait = 1000000;     // ns: PeekMessageA returns within about 1 ms
    static constexpr std::int64_t kMargin = 400000;       // ns spun before a frame is due, for late wake-ups
    static constexpr std::int64_t kShortestGap = 2000000;  // ns: a loop presenting faster than this never waits
    static constexpr int kGapsKept = 16;                   // the interval is the shortest of the last 16 gaps
    static constexpr int kGapsNeeded = 3;                  // no waiting before three gaps were seen

    // A performance-counter read at `now` (ns on the monotonic clock).
    void CounterRead(std::int64_t now) {
        if (armed_.load(std::memory_order_relaxed) && armed_.exchange(false, std::memory_order_relaxed)) {
            openCandidate_.store(now, std::memory_order_relaxed);
        }
    }
    // PeekMessageA found the queue empty: the next counter read may be the one that opens a frame.
    void QueueEmpty() {
        openCandidate_.store(0, std::memory_order_relaxed);
        armed_.store(true, std::memory_order_relaxed);
    }
    // A frame was presented at `now`.
    void Presented(std::int64_t now);
    // How long an empty-queue PeekMessageA may sleep at `now` (0: return at once). Each call also notes that the
    // loop has seen the presents so far.
    std::int64_t WaitNanoseconds(std::int64_t now);

private:
    std::mutex mutex_;
    std::atomic<bool> armed_{false};
    std::atomic<std::int64_t> openCandidate_{0};
    std::int64_t lastOpen_ = 0;
    std::int64_t gaps_[kGapsKept] = {};
    int gapCount_ = 0;
    int gapNext_ = 0;
    std::uint64_t presents_ = 0;
    std::uint64_t presentsSeen_ = 0;
};

// The process's pacer, fed by QueryPerformanceCounter, PeekMessageA and the Direct3D layer's presents.
IdlePacer& Pacer();

// False while tests or benchmarks switched waiting off, or while the performance counter does not follow the real
// clock (--clock-step, a test script): the counter reads are then what moves the loop on, and a wait gains nothing.
bool IdleWaitingAllowed();

// Nanoseconds on the monotonic clock.
std::int64_t MonotonicNow();

// Sleeps `nanoseconds` (a PeekMessageA with nothing to do).
void SleepNanoseconds(std::int64_t nanoseconds);

}  // namespace tarn::platform::detail
