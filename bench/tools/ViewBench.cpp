// Frame cost of tarn-view on the OpenGL backend, headless, with the frame gate always open (the counter advances
// 1/60 s per read): a generated terrain of about a million triangles (8 meshes of 65,025 vertices) framed whole,
// with the water effects off (arg 0) and on (arg 1), and the demo's sea floor beside it. Reports per frame the
// median and 95th percentile of wall time, the frames per second the median allows, and the processor time of the
// whole process (all rasteriser threads). Each frame ends with a readback of the back buffer, so that its time is
// its own and not partly the next one's; the readback alone is reported too.
// Run: view_bench [--benchmark_filter=...]; the sea floor is read from the build's data folder.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Application.h"
#include "platform/d3d9/Backend.h"
#include "platform/MessageBoxHook.h"
#include "platform/Runner.h"
#include "platform/RunnerControl.h"
#include "render/Renderer.h"
#include "scene/Scene.h"
#include "tests/tools/view/ViewerTestScenes.h"
#include "tools/view/ViewerApp.h"
#include "ApplicationStart.h"

namespace {

double Now(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5))];
}

const std::string& LargeScenePath() {
    static const std::string path = [] {
        char dir[] = "/tmp/view-bench-XXXXXX";
        const std::string file = std::string(mkdtemp(dir) ? dir : "/tmp") + "/LargeTerrain.TRS";
        if (!tarn::trs::WriteTrsFile(tarn::viewtest::LargeTerrainScene(), file))
            std::fprintf(stderr, "view_bench: cannot write %s\n", file.c_str());
        return file;
    }();
    return path;
}

// The viewer started as WinMain starts it, on the OpenGL backend without a window on screen.
struct Viewer {
    tarn::view::ViewerApp* app = nullptr;
    bool started = false;
    IDirect3DSurface9* backBuffer = nullptr;
    IDirect3DSurface9* copy = nullptr;

    Viewer(const std::string& scene, bool water) {
        tarn::platform::Runner().headless = true;
        tarn::platform::Runner().clockStep = 1.0 / 60.0;
        tarn::d3d9::SetBackend(tarn::d3d9::BackendKind::Gl);
        tarn::platform::SetMessageBoxHook([](HWND, const char* text, const char*, UINT) {
            std::fprintf(stderr, "view_bench: %s\n", text);
            return IDOK;
        });
        tarn::view::ViewerOptions options;
        options.scenePath = scene;
        options.water = water;
        app = new tarn::view::ViewerApp(options, std::string(VIEW_RUNTIME_DIR) + "/");
        tarn::app::CreateApplicationWindow(*app, GetModuleHandleA(nullptr));
        started = tarn::app::StartApplication(*app);
    }
    ~Viewer() {
        if (copy) copy->Release();
        if (backBuffer) backBuffer->Release();
        app->Shutdown();
        DestroyWindow(app->GetWindow());
        delete app;
        tarn::app::UnregisterEngineWindowClass(GetModuleHandleA(nullptr));
        tarn::platform::ResetPresentedFrames();
    }
    IDirect3DDevice9* device() const { return GetRenderer()->GetDevice(); }

    // Calls Frame until one frame was presented (float rounding can leave the clock a hair short of 1/60 s).
    void drawOneFrame() {
        const long before = tarn::platform::PresentedFrames(app->GetWindow());
        for (int tries = 0; tries < 4 && tarn::platform::PresentedFrames(app->GetWindow()) == before; ++tries)
            app->Frame();
    }
    // Waits until the rasteriser has finished the presented frame.
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
};

std::size_t Triangles(const CTRScene& scene) {
    std::size_t total = 0;
    for (const CTRMeshNode* node : scene.getMeshNodes())
        total += static_cast<std::size_t>(scene.getIndexBuffers()[node->indexBufferIndex]->triangleCount);
    return total;
}

void MeasureFrames(benchmark::State& state, const std::string& scene) {
    Viewer viewer(scene, state.range(0) != 0);
    if (!viewer.started) {
        state.SkipWithError("the viewer did not start");
        return;
    }
    for (int i = 0; i < 10; ++i) viewer.drawOneFrame();  // warm up: programs generated, buffers uploaded
    viewer.finish();
    std::vector<double> wall, cpu;
    double readback = 0;
    for (auto _ : state) {
        const double w0 = Now(CLOCK_MONOTONIC), c0 = Now(CLOCK_PROCESS_CPUTIME_ID);
        viewer.drawOneFrame();
        viewer.finish();
        wall.push_back(Now(CLOCK_MONOTONIC) - w0);
        cpu.push_back(Now(CLOCK_PROCESS_CPUTIME_ID) - c0);
        const double r0 = Now(CLOCK_MONOTONIC);
        viewer.finish();  // nothing new to wait for: the readback's own cost, included in each frame above
        readback += Now(CLOCK_MONOTONIC) - r0;
    }
    double cpuSum = 0;
    for (double c : cpu) cpuSum += c;
    const double median = Percentile(wall, 0.5);
    state.counters["median_ms"] = median * 1e3;
    state.counters["p95_ms"] = Percentile(wall, 0.95) * 1e3;
    state.counters["fps"] = median > 0 ? 1.0 / median : 0;
    state.counters["cpu_ms"] = cpuSum / cpu.size() * 1e3;
    state.counters["readback_ms"] = readback / wall.size() * 1e3;
    state.counters["triangles"] = static_cast<double>(Triangles(*viewer.app->GetScene()));
}

void BM_ViewLargeTerrain(benchmark::State& state) { MeasureFrames(state, LargeScenePath()); }
void BM_ViewSeaFloor(benchmark::State& state) {
    MeasureFrames(state, std::string(VIEW_RUNTIME_DIR) + "/SeaSimpleMap.TRS");
}

}  // namespace

BENCHMARK(BM_ViewLargeTerrain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(60);
BENCHMARK(BM_ViewSeaFloor)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(120);

BENCHMARK_MAIN();
