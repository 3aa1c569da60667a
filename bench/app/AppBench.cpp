// Costs of the main loop's per-pass work, each beside its floor measured in the same run: the frame gate's
// Update against one raw performance-counter read, and one loop pass with an empty queue against PeekMessageA
// alone.
#include <benchmark/benchmark.h>

#include <cstring>

#include "app/Application.h"
#include "platform/Runner.h"
#include "render/FrameRate.h"
#include "MessageLoop.h"

namespace {

void BM_QueryPerformanceCounter(benchmark::State& state) {
    LARGE_INTEGER counter;
    for (auto _ : state) {
        QueryPerformanceCounter(&counter);
        benchmark::DoNotOptimize(counter.QuadPart);
    }
}
BENCHMARK(BM_QueryPerformanceCounter);

void BM_FrameRateUpdate(benchmark::State& state) {
    CTRFrameRate frameRate;
    for (auto _ : state) benchmark::DoNotOptimize(frameRate.Update());
}
BENCHMARK(BM_FrameRateUpdate);

void BM_PeekMessageEmptyQueue(benchmark::State& state) {
    MSG msg;
    std::memset(&msg, 0, sizeof(msg));
    for (auto _ : state) benchmark::DoNotOptimize(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}
BENCHMARK(BM_PeekMessageEmptyQueue);

// An application whose Frame is the frame gate alone: what an idle pass of the demo's loop costs before
// drawing.
class GatedApplication : public CTRApplication {
public:
    GatedApplication() : CTRApplication("bench", 800, 600, false) {}
    void Frame() override { benchmark::DoNotOptimize(gate.Update()); }
    CTRFrameRate gate;
};

void BM_MessageLoopPassEmptyQueue(benchmark::State& state) {
    GatedApplication app;
    MSG msg;
    std::memset(&msg, 0, sizeof(msg));
    for (auto _ : state) tarn::app::RunMessageLoopPass(app, msg);
}
BENCHMARK(BM_MessageLoopPassEmptyQueue);

}  // namespace

int main(int argc, char** argv) {
    tarn::platform::Runner().headless = true;  // no display needed: the queue is the platform's own
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
