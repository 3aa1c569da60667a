// The main loop calls PeekMessageA on every pass and the frame timer reads the performance counter as often:
// both must cost little next to a frame. Baselines: the raw monotonic clock, and the fault check every
// injectable call makes with nothing armed.
#include <benchmark/benchmark.h>
#include <time.h>

#include "platform/FaultInjection.h"
#include "platform/Runner.h"
#include "platform/win32/Win32.h"

namespace {

void BM_PeekMessageEmptyQueueHeadless(benchmark::State& state) {
    tarn::platform::Runner().headless = true;
    MSG msg{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    }
}
BENCHMARK(BM_PeekMessageEmptyQueueHeadless);

void BM_PostThenPeekOneMessage(benchmark::State& state) {
    tarn::platform::Runner().headless = true;
    MSG msg{};
    for (auto _ : state) {
        PostMessageA(nullptr, WM_USER, 0, 0);
        benchmark::DoNotOptimize(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    }
}
BENCHMARK(BM_PostThenPeekOneMessage);

void BM_QueryPerformanceCounter(benchmark::State& state) {
    LARGE_INTEGER value{};
    for (auto _ : state) {
        QueryPerformanceCounter(&value);
        benchmark::DoNotOptimize(value.QuadPart);
    }
}
BENCHMARK(BM_QueryPerformanceCounter);

void BM_ClockGettimeBaseline(benchmark::State& state) {
    timespec ts{};
    for (auto _ : state) {
        clock_gettime(CLOCK_MONOTONIC, &ts);
        benchmark::DoNotOptimize(ts.tv_nsec);
    }
}
BENCHMARK(BM_ClockGettimeBaseline);

void BM_FaultCheckNothingArmed(benchmark::State& state) {
    tarn::platform::ClearFaults();
    std::uint32_t code = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tarn::platform::TakeFault("CreateDevice", &code));
    }
}
BENCHMARK(BM_FaultCheckNothingArmed);

}  // namespace
