// The polling loop's pacer (see IdleWait.h) and the switch tests and benchmarks use to compare with spinning.
#include "IdleWait.h"

#include <time.h>

#include <algorithm>

#include "platform/Runner.h"
#include "platform/TestHooks.h"
#include "Win32Internal.h"

namespace tarn::platform::detail {
namespace {

std::atomic<bool> g_waitingOn{true};

}  // namespace

void IdlePacer::Presented(std::int64_t now) {
    std::int64_t open = openCandidate_.exchange(0, std::memory_order_relaxed);
    armed_.store(false, std::memory_order_relaxed);
    // Without a counter read since the last empty queue (a Present outside the gate) the present's own time
    // stands in for the opening.
    if (open <= 0 || open > now) {
        open = now;
    }
    std::lock_guard lock(mutex_);
    if (lastOpen_ != 0 && open > lastOpen_) {
        gaps_[gapNext_] = open - lastOpen_;
        gapNext_ = (gapNext_ + 1) % kGapsKept;
        gapCount_ = std::min(gapCount_ + 1, kGapsKept);
    }
    lastOpen_ = open;
    ++presents_;
}

std::int64_t IdlePacer::WaitNanoseconds(std::int64_t now) {
    std::lock_guard lock(mutex_);
    bool presentedSince = presents_ != presentsSeen_;
    presentsSeen_ = presents_;
    if (presentedSince || gapCount_ < kGapsNeeded) {
        return 0;
    }
    // The shortest recent gap is the gate's interval plus the least lateness seen; a longer one (a slow frame, a
    // late wake-up) would move the wait past the due time.
    std::int64_t interval = *std::min_element(gaps_, gaps_ + gapCount_);
    if (interval < kShortestGap) {
        return 0;
    }
    std::int64_t wakeUp = lastOpen_ + interval - kMargin;
    if (now >= wakeUp) {
        return 0;
    }
    return std::min(wakeUp - now, kMaxWait);
}

IdlePacer& Pacer() {
    static IdlePacer pacer;
    return pacer;
}

bool IdleWaitingAllowed() {
    return g_waitingOn.load(std::memory_order_relaxed) && CounterFollowsClock();
}

std::int64_t MonotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void SleepNanoseconds(std::int64_t nanoseconds) {
    timespec ts{static_cast<time_t>(nanoseconds / 1000000000), static_cast<long>(nanoseconds % 1000000000)};
    nanosleep(&ts, nullptr);  // an interrupted wait simply ends early
}

}  // namespace tarn::platform::detail

namespace tarn::platform {

bool SetIdleWaiting(bool on) { return detail::g_waitingOn.exchange(on); }

}  // namespace tarn::platform
