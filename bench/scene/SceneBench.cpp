// Scene benchmarks.
// LoadScene against ReadFileBytes: a generated scene of about 1M triangles (1,024 mesh nodes over 16 vertex
// buffers of 65,536 vertices and 64 index buffers of 16,384 triangles) loaded with the null device, and the same
// file's bytes read into memory, in the same run; LoadSceneLeanDevice is the load without the device's buffer
// set-up. DrawScene: 2,000 mesh nodes drawn through the draw-state cache
// with a counting device; the counter calls_per_node is what the cache sends per node.
#include "scene/Scene.h"
#include "tools/trs/TrsWriter.h"
#include "tools/trsinfo/NullSceneDevice.h"
#include "tests/scene/CallRecordingDevice.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace tarn::trs;

namespace {

const std::string kDirectory = "./";
const std::string kLargeScene = "bench_scene_1m.TRS";

TrsScene LargeScene() {
    TrsScene d;
    d.materials.resize(8);
    for (int b = 0; b < 16; ++b) {
        TrsVertexBuffer vb;
        vb.vertices.resize(65536);
        for (std::size_t i = 0; i < vb.vertices.size(); ++i)
            vb.vertices[i] = {float(i % 256), float(b), float(i / 256), 0, 1, 0, float(i % 256) / 255, 0};
        d.vertexBuffers.push_back(std::move(vb));
    }
    for (int b = 0; b < 64; ++b) {
        TrsIndexBuffer ib;
        ib.indices.resize(3 * 16384);
        for (std::size_t i = 0; i < ib.indices.size(); ++i) ib.indices[i] = static_cast<std::uint16_t>((i * 7 + b) % 65536);
        d.indexBuffers.push_back(std::move(ib));
    }
    for (int n = 0; n < 1024; ++n) {
        TrsMeshNode m;
        m.name = "Mesh" + std::to_string(n);
        m.vertexBuffer = n % 16;
        m.indexBuffer = n % 64;
        m.material = n % 8;
        m.matrix = TrsTranslation(float(n), 0, 0);
        if (n % 4 == 0) m.positionKeys = {{0, 0, 0, 0}, {10, float(n), 0, 0}};
        m.userData.assign(16, static_cast<std::uint8_t>(n));
        d.meshes.push_back(std::move(m));
    }
    d.lights.resize(2);
    d.cameras.resize(1);
    d.dummies.resize(16);
    return d;
}

// Writes the large scene once per process.
std::size_t EnsureLargeScene() {
    static std::size_t size = 0;
    if (size == 0) {
        std::string error;
        const TrsScene scene = LargeScene();
        if (!WriteTrsFile(scene, kDirectory + kLargeScene, &error)) std::fprintf(stderr, "%s\n", error.c_str());
        size = WriteTrs(scene).size();
    }
    return size;
}

void ReadFileBytes(benchmark::State& state) {
    const std::size_t size = EnsureLargeScene();
    // The cheapest plain read: into one buffer whose pages are already mapped, so only the copy from the page
    // cache is timed (a fresh 38 MB block each time would add page faults that the loader's reused heap avoids).
    std::vector<std::uint8_t> bytes(size);
    for (auto _ : state) {
        std::FILE* f = std::fopen((kDirectory + kLargeScene).c_str(), "rb");
        const std::size_t got = std::fread(bytes.data(), 1, size, f);
        std::fclose(f);
        if (got != size) state.SkipWithError("short read");
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void LoadScene(benchmark::State& state) {
    const std::size_t size = EnsureLargeScene();
    NullSceneDevice device;
    if (!device.device()) {
        state.SkipWithError("no null device");
        return;
    }
    std::size_t triangles = 0;
    for (auto _ : state) {
        CTRScene scene;
        if (!scene.load(kDirectory.c_str(), kLargeScene.c_str())) state.SkipWithError(scene.getLoadError());
        triangles = 0;
        for (const CTRIndexBuffer* b : scene.getIndexBuffers()) triangles += static_cast<std::size_t>(b->triangleCount);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["triangles"] = static_cast<double>(triangles);
}

// The same load on the recording double with logging off: its buffers are plain uninitialised memory, so this is
// the loader's own cost without the null device's work at buffer creation.
void LoadSceneLeanDevice(benchmark::State& state) {
    EnsureLargeScene();
    tarn::test::CallRecordingDevice device;
    device.recording = false;
    SetSceneDevice(&device, 800, 600);
    for (auto _ : state) {
        CTRScene scene;
        if (!scene.load(kDirectory.c_str(), kLargeScene.c_str())) state.SkipWithError(scene.getLoadError());
    }
    SetSceneDevice(nullptr, 0, 0);
}

// 2,000 nodes in runs that share state, as an exported scene tends to be: buffers change every 50 nodes,
// materials every 100, textures every 250, and every tenth node blends.
void DrawScene(benchmark::State& state) {
    TrsScene d;
    d.textures = {"bench_missing0.tga", "bench_missing1.tga", "bench_missing2.tga", "bench_missing3.tga"};
    d.materials.resize(4);
    for (int b = 0; b < 8; ++b) {
        TrsVertexBuffer vb;
        vb.vertices.resize(3);
        d.vertexBuffers.push_back(vb);
        TrsIndexBuffer ib;
        ib.indices = {0, 1, 2};
        d.indexBuffers.push_back(ib);
    }
    for (int n = 0; n < 2000; ++n) {
        TrsMeshNode m;
        m.vertexBuffer = m.indexBuffer = (n / 50) % 8;
        m.material = (n / 100) % 4;
        m.texture = (n / 250) % 4;
        m.alphaBlendEnable = n % 10 == 0;
        m.destBlend = n % 10 == 0 ? 6 : 1;
        d.meshes.push_back(m);
    }
    if (!WriteTrsFile(d, "bench_scene_2000.TRS")) {
        state.SkipWithError("cannot write the scene");
        return;
    }
    tarn::test::CallRecordingDevice device;
    device.recording = false;
    SetSceneDevice(&device, 800, 600);
    {
        CTRScene scene;
        if (!scene.load("./", "bench_scene_2000.TRS")) state.SkipWithError(scene.getLoadError());
        device.callCount = 0;
        for (auto _ : state) {
            scene.setCurrentFVF(-1);
            scene.render();
        }
        state.counters["calls_per_node"] =
            static_cast<double>(device.callCount) / static_cast<double>(state.iterations() * 2000);
        state.counters["nodes"] = benchmark::Counter(static_cast<double>(state.iterations() * 2000),
                                                     benchmark::Counter::kIsRate);
    }
    SetSceneDevice(nullptr, 0, 0);
    std::remove("bench_scene_2000.TRS");
}

}  // namespace

BENCHMARK(ReadFileBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadScene)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadSceneLeanDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(DrawScene)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
