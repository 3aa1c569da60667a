// Costs of the main loop's per-pass work: the frame gate's Update and one loop pass with an empty queue.
#include <benchmark/benchmark.h>

#include <cstring>

#include "app/Application.h"
#include "app/MessageLoop.h"
#include "render/FrameRate.h"

namespace {

void BM_FrameRateUpdate(benchmark::State& state) {
    CTRFrameRate frameRate;
    for (auto _ : state) benchmark::DoNotOptimize(frameRate.Update());
}
BENCHMARK(BM_FrameRateUpdate);

// An application whose Frame is the demo's gate alone: what every idle pass of the loop costs before drawing.
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

// The same pass with a Frame that does nothing: the queue check alone.
void BM_MessageLoopPassEmptyQueueNoFrameWork(benchmark::State& state) {
    struct IdleApplication : CTRApplication {
        IdleApplication() : CTRApplication("bench", 800, 600, false) {}
        void Frame() override {}
    } app;
    MSG msg;
    std::memset(&msg, 0, sizeof(msg));
    for (auto _ : state) tarn::app::RunMessageLoopPass(app, msg);
}
BENCHMARK(BM_MessageLoopPassEmptyQueueNoFrameWork);

}  // namespace

BENCHMARK_MAIN();
