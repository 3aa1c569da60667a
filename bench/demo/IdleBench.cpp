// What the demo costs while it waits for its 60 fps gate: the real message loop and the real CSeaSceneApp on the
// null backend (no drawing), so that what remains is the loop itself. Reports per presented frame the processor
// time of the whole process and the wall time, and the gaps between presents (median and 99th percentile), once
// with PeekMessageA sleeping between frames (the platform's default) and once with it spinning, in the same run.
// Run from the program's working directory (the generated data), or give -C DIR.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/MessageLoop.h"
#include "platform/MessageBoxHook.h"
#include "platform/Runner.h"
#include "platform/RunnerControl.h"
#include "platform/TestHooks.h"
#include "platform/d3d9/Backend.h"

namespace {

const char kClass[] = "TARN Engine 1.0";
constexpr int kWarmUpFrames = 30;     // the pacer learns the interval; textures and programs settle
constexpr int kMeasuredFrames = 120;  // two seconds at 60 fps

double Now(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t i = std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5));
    return values[i];
}

// Arg 1: PeekMessageA may sleep between frames; arg 0: it spins, as before the platform learnt to wait.
void BM_IdleLoopNull(benchmark::State& state) {
    const bool waiting = state.range(0) != 0;
    const bool previous = tarn::platform::SetIdleWaiting(waiting);
    tarn::platform::Runner().headless = true;
    tarn::platform::Runner().clockStep = 0.0;  // the real clock: the gate waits as it does for a person
    tarn::platform::Runner().frames = kWarmUpFrames + kMeasuredFrames;
    tarn::d3d9::SetBackend(tarn::d3d9::BackendKind::Null);
    tarn::platform::SetMessageBoxHook([](HWND, const char* text, const char*, UINT) {
        std::fprintf(stderr, "seascene_idle_bench: %s\n", text);
        return IDOK;
    });
    for (auto _ : state) {
        tarn::platform::ResetPresentedFrames();
        CTRApplication* app = CreateApplication();
        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_CLASSDC;
        windowClass.lpfnWndProc = WndProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClass;
        RegisterClassExA(&windowClass);
        app->SetWindow(CreateWindowExA(0, kClass, app->GetTitle(), WS_POPUP, 0, 0, app->GetWidth(), app->GetHeight(),
                                       GetDesktopWindow(), nullptr, GetModuleHandleA(nullptr), nullptr));
        HWND window = app->GetWindow();
        if (!app->CreateRenderer() || !app->CreateFrameRate()) {
            state.SkipWithError("the demo did not start (run from the directory holding SeaSimpleMap.TRS)");
            app->Shutdown();
            delete app;
            UnregisterClassA(kClass, GetModuleHandleA(nullptr));
            break;
        }
        ShowWindow(window, SW_SHOWDEFAULT);

        // The engine's loop, pass by pass, noting when each frame was presented. --frames closes the window after
        // the last one, which ends the loop.
        std::vector<double> presents;
        double cpuStart = 0, wallStart = 0;
        long seen = 0;
        MSG msg;
        std::memset(&msg, 0, sizeof msg);
        while (msg.message != WM_QUIT) {
            tarn::app::RunMessageLoopPass(*app, msg);
            const long count = tarn::platform::PresentedFrames(window);
            if (count == seen) continue;
            seen = count;
            const double wall = Now(CLOCK_MONOTONIC);
            presents.push_back(wall);
            if (count == kWarmUpFrames) {
                cpuStart = Now(CLOCK_PROCESS_CPUTIME_ID);
                wallStart = wall;
            }
        }
        const double cpuEnd = Now(CLOCK_PROCESS_CPUTIME_ID);
        const double wallEnd = presents.empty() ? wallStart : presents.back();
        app->Shutdown();
        delete app;
        UnregisterClassA(kClass, GetModuleHandleA(nullptr));

        std::vector<double> gaps;
        for (std::size_t i = kWarmUpFrames; i < presents.size(); ++i) gaps.push_back(presents[i] - presents[i - 1]);
        const double frames = static_cast<double>(gaps.size());
        if (frames == 0) {
            state.SkipWithError("no frame was presented");
            break;
        }
        state.counters["cpu_per_frame_ms"] = (cpuEnd - cpuStart) / frames * 1e3;
        state.counters["wall_per_frame_ms"] = (wallEnd - wallStart) / frames * 1e3;
        state.counters["median_gap_ms"] = Percentile(gaps, 0.5) * 1e3;
        state.counters["p99_gap_ms"] = Percentile(gaps, 0.99) * 1e3;
        state.counters["max_gap_ms"] = Percentile(gaps, 1.0) * 1e3;
    }
    tarn::platform::Runner().frames = -1;
    tarn::platform::SetMessageBoxHook({});
    tarn::d3d9::ResetBackend();
    tarn::platform::SetIdleWaiting(previous);
}
BENCHMARK(BM_IdleLoopNull)->ArgName("waiting")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

// Google Benchmark's own main, after moving into the data directory given by -C (default: the build's run
// directory).
int main(int argc, char** argv) {
    std::string dir = SEASCENE_RUNTIME_DIR;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::string(argv[i]) == "-C" && i + 1 < argc) {
            dir = argv[++i];
            continue;
        }
        rest.push_back(argv[i]);
    }
    if (chdir(dir.c_str()) != 0) {
        std::fprintf(stderr, "seascene_idle_bench: cannot enter %s\n", dir.c_str());
        return 1;
    }
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
