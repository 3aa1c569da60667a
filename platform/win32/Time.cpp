// The performance counter: nanoseconds of the monotonic clock (frequency 1e9). With --clock-step S every read
// advances the counter by exactly round(S * 1e9) ticks, starting at 0, so runs are reproducible; a test script of
// values overrides both. The millisecond clocks (GetTickCount, timeGetTime) follow the same clock and step, on a
// read count of their own, so reading them never moves the performance counter.
#include <time.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/Runner.h"
#include "platform/TestHooks.h"
#include "IdleWait.h"
#include "Win32Internal.h"
#include "platform/win32/Win32.h"

namespace {

constexpr std::int64_t kFrequency = 1000000000;

std::mutex& ScriptMutex() {
    static std::mutex mutex;
    return mutex;
}
std::vector<std::int64_t>& Script() {
    static std::vector<std::int64_t> script;
    return script;
}
std::size_t g_scriptNext = 0;
std::atomic<bool> g_scripted{false};
std::atomic<std::int64_t> g_stepReads{0};
std::atomic<std::int64_t> g_millisecondReads{0};  // reads of GetTickCount and timeGetTime under --clock-step

std::int64_t MonotonicNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * kFrequency + ts.tv_nsec;
}

// The millisecond clock after `reads` reads under --clock-step: the step's nanoseconds times the reads, as the
// performance counter counts them, in whole milliseconds (a step of 1/60 s reads 0, 16, 33, 50 ... without drift).
DWORD StepMilliseconds(std::int64_t reads) {
    const auto ticks =
        static_cast<std::int64_t>(std::llround(tarn::platform::Runner().clockStep * static_cast<double>(kFrequency)));
    return static_cast<DWORD>(reads * ticks / 1000000);
}

}  // namespace

namespace tarn::platform::detail {

DWORD MillisecondsNow() {
    if (Runner().clockStep > 0.0) {
        return StepMilliseconds(g_millisecondReads.load());
    }
    return static_cast<DWORD>(MonotonicNanoseconds() / 1000000);
}

bool CounterFollowsClock() { return !g_scripted.load() && Runner().clockStep <= 0.0; }

}  // namespace tarn::platform::detail

namespace tarn::platform {

void SetCounterScript(std::vector<std::int64_t> values) {
    std::lock_guard lock(ScriptMutex());
    Script() = std::move(values);
    g_scriptNext = 0;
    g_scripted.store(!Script().empty());
    g_stepReads.store(0);
    g_millisecondReads.store(0);
}

}  // namespace tarn::platform

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (count == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (tarn::platform::detail::FailsNow("QueryPerformanceCounter")) {
        return FALSE;
    }
    if (g_scripted.load()) {
        std::lock_guard lock(ScriptMutex());
        const auto& script = Script();
        if (!script.empty()) {
            std::size_t index = g_scriptNext < script.size() ? g_scriptNext++ : script.size() - 1;
            count->QuadPart = script[index];
            return TRUE;
        }
    }
    double step = tarn::platform::Runner().clockStep;
    if (step > 0.0) {
        auto ticks = static_cast<std::int64_t>(std::llround(step * static_cast<double>(kFrequency)));
        count->QuadPart = g_stepReads.fetch_add(1) * ticks;
        return TRUE;
    }
    count->QuadPart = MonotonicNanoseconds();
    tarn::platform::detail::Pacer().CounterRead(count->QuadPart);  // may be the read that opens a frame
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (frequency == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    frequency->QuadPart = kFrequency;
    return TRUE;
}

namespace {

// A read of the millisecond clock: under --clock-step the value before the read, then the clock moves on a step.
DWORD ReadMilliseconds() {
    if (tarn::platform::Runner().clockStep > 0.0) {
        return StepMilliseconds(g_millisecondReads.fetch_add(1));
    }
    return tarn::platform::detail::MillisecondsNow();
}

}  // namespace

DWORD GetTickCount() { return ReadMilliseconds(); }

DWORD timeGetTime() { return ReadMilliseconds(); }

void Sleep(DWORD milliseconds) {
    timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}
