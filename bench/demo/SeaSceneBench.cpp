// Frame cost of the sea-scene demo on the OpenGL backend, headless, with the frame gate always open (the
// counter advances 1/60 s per read). Reports per frame: median and 95th percentile of wall time, CPU time of the
// whole process (all rasteriser threads), and, in a second run with a readback after each part, the share of
// the scene pass, the tint, the wave pass and the present. A plain clear-and-present frame is the baseline.
// Beside it, what the demo's loop costs while it waits for the gate (null backend, real clock).
// Run from the program's working directory (the generated data): seascene_bench --benchmark_... or -C DIR.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Application.h"
#include "demo/SeaSceneApp.h"
#include "platform/d3d9/Backend.h"
#include "platform/MessageBoxHook.h"
#include "platform/Runner.h"
#include "platform/RunnerControl.h"
#include "platform/TestHooks.h"
#include "render/FrameRate.h"
#include "render/Renderer.h"
#include "scene/Scene.h"
#include "ApplicationStart.h"
#include "water/ColorFilter.h"
#include "water/ImageWave.h"
#include "MessageLoop.h"
#include "water/WaterImage.h"

namespace {

double Now(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t i = std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5));
    return values[i];
}

// The demo started as the entry point starts it, on the OpenGL backend without a window on screen.
struct Demo {
    CSeaSceneApp* app = nullptr;
    bool started = false;

    // By default the OpenGL backend with the gate always open (the counter advances 1/60 s per read).
    explicit Demo(tarn::d3d9::BackendKind backend = tarn::d3d9::BackendKind::Gl, double clockStep = 1.0 / 60.0) {
        tarn::platform::Runner().headless = true;
        tarn::platform::Runner().clockStep = clockStep;
        tarn::d3d9::SetBackend(backend);
        tarn::platform::SetMessageBoxHook([](HWND, const char* text, const char*, UINT) {
            std::fprintf(stderr, "seascene_bench: %s\n", text);
            return IDOK;
        });
        app = static_cast<CSeaSceneApp*>(CreateApplication());
        tarn::app::CreateApplicationWindow(*app, GetModuleHandleA(nullptr));
        started = tarn::app::StartApplication(*app);
    }
    ~Demo() {
        if (copy) copy->Release();
        if (backBuffer) backBuffer->Release();
        app->Shutdown();
        DestroyWindow(app->GetWindow());
        delete app;
        tarn::app::UnregisterEngineWindowClass(GetModuleHandleA(nullptr));
    }
    IDirect3DDevice9* device() const { return GetRenderer()->GetDevice(); }

    // Calls Frame until it has drawn one (the gate may refuse a call when float rounding puts the clock a hair
    // short of 1/60 s).
    void drawOneFrame() {
        const float phase = wavePhase;
        for (int tries = 0; tries < 4 && wavePhase == phase; ++tries) app->Frame();
    }

    // Waits until the rasteriser has finished the presented frame (a readback of the back buffer), so that each
    // frame's time is its own and not partly the next one's.
    void finish() {
        if (!backBuffer) {
            device()->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
            D3DSURFACE_DESC desc;
            if (backBuffer && SUCCEEDED(backBuffer->GetDesc(&desc)))
                device()->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                      nullptr);
        }
        if (backBuffer && copy) device()->GetRenderTargetData(backBuffer, copy);
    }
    IDirect3DSurface9* backBuffer = nullptr;
    IDirect3DSurface9* copy = nullptr;
};

std::size_t SceneTriangles(const CTRScene& scene) {
    std::size_t total = 0;
    for (const CTRMeshNode* node : scene.getMeshNodes()) {
        const auto& buffers = scene.getIndexBuffers();
        if (node->indexBufferIndex >= 0 && static_cast<std::size_t>(node->indexBufferIndex) < buffers.size())
            total += static_cast<std::size_t>(buffers[static_cast<std::size_t>(node->indexBufferIndex)]->triangleCount);
    }
    return total;
}

void BM_SeaSceneFrame(benchmark::State& state) {
    Demo demo;
    if (!demo.started) {
        state.SkipWithError("the demo did not start (run from the directory holding SeaSimpleMap.TRS)");
        return;
    }
    for (int i = 0; i < 30; ++i) demo.drawOneFrame();  // warm up: programs generated, textures uploaded
    demo.finish();
    std::vector<double> wall, cpu;
    double readback = 0;
    for (auto _ : state) {
        const double w0 = Now(CLOCK_MONOTONIC), c0 = Now(CLOCK_PROCESS_CPUTIME_ID);
        demo.drawOneFrame();
        demo.finish();
        wall.push_back(Now(CLOCK_MONOTONIC) - w0);
        cpu.push_back(Now(CLOCK_PROCESS_CPUTIME_ID) - c0);
        const double r0 = Now(CLOCK_MONOTONIC);
        demo.finish();  // nothing new to wait for: the readback's own cost, included in each frame above
        readback += Now(CLOCK_MONOTONIC) - r0;
    }
    state.counters["readback_ms"] = readback / wall.size() * 1e3;
    double cpuSum = 0;
    for (double c : cpu) cpuSum += c;
    state.counters["median_ms"] = Percentile(wall, 0.5) * 1e3;
    state.counters["p95_ms"] = Percentile(wall, 0.95) * 1e3;
    state.counters["cpu_ms"] = cpuSum / cpu.size() * 1e3;
    state.counters["triangles"] = static_cast<double>(SceneTriangles(*demo.app->GetScene()));
}

// The frame of CSeaSceneApp::Frame split into its parts, each followed by a readback of the surface it drew into,
// so that the time of a part includes its rasterisation. The readback's own cost (measured alone) is subtracted.
void BM_SeaScenePassShares(benchmark::State& state) {
    Demo demo;
    if (!demo.started) {
        state.SkipWithError("the demo did not start (run from the directory holding SeaSimpleMap.TRS)");
        return;
    }
    IDirect3DDevice9* device = demo.device();
    ImageWave& wave = *demo.app->GetImageWave();
    CTRScene& scene = *demo.app->GetScene();
    CTRCamera& camera = *demo.app->GetCamera();
    D3DSURFACE_DESC desc;
    wave.GetSurface()->GetDesc(&desc);
    IDirect3DSurface9* copy = nullptr;
    IDirect3DSurface9* backBuffer = nullptr;
    device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr);
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    if (!copy || !backBuffer) {
        state.SkipWithError("cannot read the render targets back");
        if (copy) copy->Release();
        if (backBuffer) backBuffer->Release();
        return;
    }
    auto sync = [&](IDirect3DSurface9* target) { device->GetRenderTargetData(target, copy); };
    for (int i = 0; i < 30; ++i) demo.drawOneFrame();

    double scenePass = 0, tint = 0, wavePass = 0, present = 0, readback = 0;
    float frameTime = 0.0f;
    for (auto _ : state) {
        frameTime += 1.0f / 60.0f;
        const D3DXVECTOR3 eye = CSeaSceneApp::OrbitEye(frameTime), at(0, 1, 0), up(0, 1, 0);
        double t0 = Now(CLOCK_MONOTONIC);
        sync(wave.GetSurface());
        double t1 = Now(CLOCK_MONOTONIC);
        readback += t1 - t0;

        camera.setLookAt(eye, at, up);
        wave.BeginCapture();
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00004080, 1.0f, 0);
        device->BeginScene();
        D3DXMATRIX world;
        D3DXMatrixInverse(&world, nullptr, &camera.getViewMatrix());
        demo.app->GetWaterImage()->Begin(1.0f / 60.0f, &camera.getProjectionMatrix(), &world);
        scene.setCurrentFVF(-1);
        scene.render();
        demo.app->GetWaterImage()->End();
        sync(wave.GetSurface());
        double t2 = Now(CLOCK_MONOTONIC);
        scenePass += t2 - t1;

        demo.app->GetColorFilter()->Render();
        device->EndScene();
        wave.EndCapture();
        sync(wave.GetSurface());
        double t3 = Now(CLOCK_MONOTONIC);
        tint += t3 - t2;

        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00004080, 1.0f, 0);
        device->BeginScene();
        wave.Render();
        device->EndScene();
        sync(backBuffer);
        double t4 = Now(CLOCK_MONOTONIC);
        wavePass += t4 - t3;

        device->Present(nullptr, nullptr, nullptr, nullptr);
        present += Now(CLOCK_MONOTONIC) - t4;
    }
    copy->Release();
    backBuffer->Release();
    const double n = static_cast<double>(state.iterations());
    const double sync1 = readback / n;
    const double parts[4] = {std::max(0.0, scenePass / n - sync1), std::max(0.0, tint / n - sync1),
                             std::max(0.0, wavePass / n - sync1), present / n};
    const double total = parts[0] + parts[1] + parts[2] + parts[3];
    state.counters["scene_ms"] = parts[0] * 1e3;
    state.counters["tint_ms"] = parts[1] * 1e3;
    state.counters["wave_ms"] = parts[2] * 1e3;
    state.counters["present_ms"] = parts[3] * 1e3;
    state.counters["readback_ms"] = sync1 * 1e3;
    state.counters["scene_share"] = parts[0] / total;
    state.counters["tint_share"] = parts[1] / total;
    state.counters["wave_share"] = parts[2] / total;
    state.counters["present_share"] = parts[3] / total;
}

// Baseline: the same device clearing the back buffer and presenting, nothing drawn.
void BM_ClearAndPresent(benchmark::State& state) {
    Demo demo;
    if (!demo.started) {
        state.SkipWithError("the demo did not start");
        return;
    }
    IDirect3DDevice9* device = demo.device();
    std::vector<double> wall;
    for (auto _ : state) {
        const double w0 = Now(CLOCK_MONOTONIC);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00004080, 1.0f, 0);
        device->BeginScene();
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        wall.push_back(Now(CLOCK_MONOTONIC) - w0);
    }
    state.counters["median_ms"] = Percentile(wall, 0.5) * 1e3;
    state.counters["p95_ms"] = Percentile(wall, 0.95) * 1e3;
}

// What the demo costs while it waits for its 60 fps gate: the engine's message loop and the real CSeaSceneApp on
// the null backend (no drawing) with the real clock, so that what remains is the loop itself. Reports per
// presented frame the processor time of the whole process and the wall time, and the gaps between presents
// (median, 99th percentile, largest). Arg 1: PeekMessageA may sleep between frames (the platform's default);
// arg 0: it spins, as before the platform learnt to wait. Run alone with --benchmark_filter=IdleLoop.
void BM_IdleLoopNull(benchmark::State& state) {
    constexpr long kWarmUpFrames = 30;     // the pacer learns the interval; textures and programs settle
    constexpr long kMeasuredFrames = 120;  // two seconds at 60 fps
    const bool previous = tarn::platform::SetIdleWaiting(state.range(0) != 0);
    tarn::platform::Runner().frames = kWarmUpFrames + kMeasuredFrames;  // then WM_CLOSE ends the loop
    for (auto _ : state) {
        tarn::platform::ResetPresentedFrames();
        Demo demo(tarn::d3d9::BackendKind::Null, 0.0);
        if (!demo.started) {
            state.SkipWithError("the demo did not start (run from the directory holding SeaSimpleMap.TRS)");
            break;
        }
        const HWND window = demo.app->GetWindow();
        ShowWindow(window, SW_SHOWDEFAULT);
        // The engine's loop, pass by pass, noting when each frame was presented.
        std::vector<double> presents;
        double cpuStart = 0, wallStart = 0;
        long seen = 0;
        MSG msg;
        std::memset(&msg, 0, sizeof msg);
        while (msg.message != WM_QUIT) {
            tarn::app::RunMessageLoopPass(*demo.app, msg);
            const long count = tarn::platform::PresentedFrames(window);
            if (count == seen) continue;
            seen = count;
            presents.push_back(Now(CLOCK_MONOTONIC));
            if (count == kWarmUpFrames) {
                cpuStart = Now(CLOCK_PROCESS_CPUTIME_ID);
                wallStart = presents.back();
            }
        }
        const double cpuEnd = Now(CLOCK_PROCESS_CPUTIME_ID);
        std::vector<double> gaps;
        for (std::size_t i = kWarmUpFrames; i < presents.size(); ++i) gaps.push_back(presents[i] - presents[i - 1]);
        if (gaps.empty()) {
            state.SkipWithError("the warm-up frames were never all presented");
            break;
        }
        const double frames = static_cast<double>(gaps.size());
        state.counters["cpu_per_frame_ms"] = (cpuEnd - cpuStart) / frames * 1e3;
        state.counters["wall_per_frame_ms"] = (presents.back() - wallStart) / frames * 1e3;
        state.counters["median_gap_ms"] = Percentile(gaps, 0.5) * 1e3;
        state.counters["p99_gap_ms"] = Percentile(gaps, 0.99) * 1e3;
        state.counters["max_gap_ms"] = Percentile(gaps, 1.0) * 1e3;
    }
    tarn::platform::Runner().frames = -1;
    tarn::platform::SetIdleWaiting(previous);
}

BENCHMARK(BM_ClearAndPresent)->Iterations(300)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SeaSceneFrame)->Iterations(600)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SeaScenePassShares)->Iterations(300)->Unit(benchmark::kMillisecond)->UseRealTime();
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
        std::fprintf(stderr, "seascene_bench: cannot enter %s\n", dir.c_str());
        return 1;
    }
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
