// tarn-import's speed beside the parser's own, in the same run, on a model of about a million triangles: a binary
// PLY grid of 708 x 708 quads (502,681 vertices, 1,002,528 triangles) written here, with normals and texture
// coordinates (Grid) and without normals (GridNoNormals, so that ours makes them).
//   ParserRead:   Assimp's ReadFile with the tool's post-processing steps (what the child process spends)
//   OurPart:      everything after it, textures apart: the scene copied into the model record, the record
//                 encoded and decoded (the pipe's format), the conversion (frame change, normals where missing,
//                 16-bit parts, nodes, camera and light) and the .TRS file written
//   WholeImport:  the tool's Run in process: the child process, the pipe, our part and the white texture
// The figure that matters is OurPart over ParserRead (the goal: at most 1.5).
#include <benchmark/benchmark.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/import/AssimpReader.h"
#include "tools/import/Import.h"
#include "tools/import/ModelCodec.h"

using namespace tarn::import;

namespace {

constexpr int kQuads = 708;

std::string Folder() {
    static const std::string dir = [] {
        const std::filesystem::path p = std::filesystem::temp_directory_path() / "tarn_import_bench";
        std::filesystem::create_directories(p);
        return p.string();
    }();
    return dir;
}

// A gently waved grid, so that normals and the frame change do real work.
std::string GridFile(bool normals) {
    const std::string path = Folder() + (normals ? "/grid.ply" : "/grid_no_normals.ply");
    if (std::filesystem::exists(path)) return path;
    const int n = kQuads + 1;
    std::ofstream out(path, std::ios::binary);
    out << "ply\nformat binary_little_endian 1.0\nelement vertex " << n * n
        << "\nproperty float x\nproperty float y\nproperty float z\n";
    if (normals) out << "property float nx\nproperty float ny\nproperty float nz\n";
    out << "property float s\nproperty float t\nelement face " << kQuads * kQuads * 2
        << "\nproperty list uchar int vertex_indices\nend_header\n";
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const float h = 0.05f * std::sin(x * 0.1f) * std::cos(y * 0.1f);
            std::vector<float> v{float(x) / kQuads, float(y) / kQuads, h};
            if (normals) v.insert(v.end(), {0, 0, 1});
            v.insert(v.end(), {float(x) / kQuads, float(y) / kQuads});
            out.write(reinterpret_cast<const char*>(v.data()), static_cast<std::streamsize>(v.size() * 4));
        }
    }
    for (int y = 0; y < kQuads; ++y) {
        for (int x = 0; x < kQuads; ++x) {
            const int a = y * n + x, b = a + 1, c = a + n, d = c + 1;
            const int tris[2][3] = {{a, b, d}, {a, d, c}};
            for (const auto& tri : tris) {
                const unsigned char three = 3;
                out.write(reinterpret_cast<const char*>(&three), 1);
                out.write(reinterpret_cast<const char*>(tri), 12);
            }
        }
    }
    return path;
}

void ParserRead(benchmark::State& state, bool normals) {
    const std::string path = GridFile(normals);
    for (auto _ : state) {
        Assimp::Importer importer;
        ConfigureImporter(importer);
        const aiScene* scene = importer.ReadFile(path, ParserSteps());
        if (!scene) state.SkipWithError(importer.GetErrorString());
        benchmark::DoNotOptimize(scene);
    }
}

void OurPart(benchmark::State& state, bool normals) {
    const std::string path = GridFile(normals);
    Assimp::Importer importer;
    ConfigureImporter(importer);
    const aiScene* scene = importer.ReadFile(path, ParserSteps());
    if (!scene) {
        state.SkipWithError(importer.GetErrorString());
        return;
    }
    const std::string out = Folder() + "/out";
    std::size_t triangles = 0;
    for (auto _ : state) {
        Model sent;
        ModelFromScene(*scene, sent);
        std::vector<std::uint8_t> pipe;
        EncodeModel(sent, pipe);
        Model model;
        std::string why;
        if (!DecodeModel(pipe.data(), pipe.size(), model, &why)) state.SkipWithError(why.c_str());
        ConvertOptions options;
        options.name = "grid";
        const TexturePlan plan = PlanTextures(model, options);
        const Converted converted = ConvertModel(model, options, plan, std::vector<TextureResult>(plan.jobs.size()));
        const std::vector<std::uint8_t> bytes = tarn::trs::WriteTrs(converted.scene);
        if (!WriteOutput(out, {{"grid.TRS", &bytes}}, &why)) state.SkipWithError(why.c_str());
        triangles = converted.triangles;
    }
    state.counters["triangles"] = static_cast<double>(triangles);
}

void WholeImport(benchmark::State& state, bool normals) {
    const std::string path = GridFile(normals);
    Options options;
    options.model = path;
    options.outputDir = Folder() + "/whole";
    for (auto _ : state) {
        if (Run(options, stderr) != 0) state.SkipWithError("the import failed");
    }
}

BENCHMARK_CAPTURE(ParserRead, Grid, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(OurPart, Grid, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ParserRead, GridNoNormals, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(OurPart, GridNoNormals, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(WholeImport, Grid, true)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
