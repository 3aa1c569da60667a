// libFuzzer target: tarn-import's own part, from the model record the parser's child process sends (ModelCodec.h)
// to the scene file's bytes. The input is a record; the last byte also says which texture jobs "converted" and
// which came out translucent, so that every material path runs without decoding images (the texture library
// has fuzz targets of its own). A record that decodes must encode to the same bytes, and the scene made from it
// must hold only what the engine can draw: every index in range, at most 65,535 vertices a buffer, finite
// numbers, names that fit, keys in ascending time. Anything else stops the run.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tools/import/Import.h"
#include "tools/import/ModelCodec.h"

using namespace tarn::import;

namespace {

// Stops the run naming the property that failed.
#define Require(condition)                                                                          \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "ImportFuzz: %s does not hold (line %d)\n", #condition, __LINE__); \
            std::abort();                                                                           \
        }                                                                                           \
    } while (0)

void RequireFinite(const float* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) Require(std::isfinite(values[i]));
}

void CheckNode(const tarn::trs::TrsNode& n, std::int32_t records) {
    Require(n.name.size() <= 19);
    Require(n.link1 >= -1 && n.link1 < records);
    Require(n.link2 >= -1 && n.link2 < records);
    RequireFinite(n.matrix.data(), 16);
    Require(n.positionKeys.size() == n.rotationKeys.size() && n.rotationKeys.size() == n.scaleKeys.size());
    for (std::size_t i = 0; i < n.positionKeys.size(); ++i) {
        RequireFinite(&n.positionKeys[i].time, 4);
        RequireFinite(&n.rotationKeys[i].time, 5);
        RequireFinite(&n.scaleKeys[i].time, 4);
        Require(n.rotationKeys[i].time == n.positionKeys[i].time && n.scaleKeys[i].time == n.positionKeys[i].time);
        if (i > 0) Require(n.positionKeys[i].time > n.positionKeys[i - 1].time);
    }
    Require(n.positionKeys.empty() || n.positionKeys.front().time == 0);
}

void CheckScene(const Converted& c) {
    const tarn::trs::TrsScene& s = c.scene;
    const auto records =
        static_cast<std::int32_t>(s.meshes.size() + s.lights.size() + s.cameras.size() + s.dummies.size());
    Require(s.vertexBuffers.size() == s.indexBuffers.size());
    for (const std::string& t : s.textures) Require(!t.empty() && t.size() <= 255 && t.find('/') == std::string::npos);
    for (const auto& m : s.materials) {
        RequireFinite(m.diffuse.data(), 4);
        RequireFinite(&m.power, 1);
    }
    for (const auto& vb : s.vertexBuffers) {
        Require(!vb.vertices.empty() && vb.vertices.size() <= 65535);
        for (const auto& v : vb.vertices) RequireFinite(&v.x, 8);
    }
    for (const auto& m : s.meshes) {
        CheckNode(m, records);
        Require(m.vertexBuffer >= 0 && static_cast<std::size_t>(m.vertexBuffer) < s.vertexBuffers.size());
        Require(m.indexBuffer >= 0 && static_cast<std::size_t>(m.indexBuffer) < s.indexBuffers.size());
        Require(m.material >= 0 && static_cast<std::size_t>(m.material) < s.materials.size());
        Require(m.texture >= -1 && m.texture < static_cast<std::int32_t>(s.textures.size()));
        const auto& ib = s.indexBuffers[m.indexBuffer].indices;
        Require(!ib.empty() && ib.size() % 3 == 0);
        for (std::uint16_t i : ib) Require(i < s.vertexBuffers[m.vertexBuffer].vertices.size());
        Require(std::isfinite(m.boundRadius) && m.boundRadius >= 0);
    }
    for (const auto& l : s.lights) {
        CheckNode(l, records);
        Require(l.type >= 1 && l.type <= 3);
        Require(std::isfinite(l.range) && l.range > 0);
        Require(l.theta >= 0 && l.theta <= l.phi && l.phi <= 3.1416f);
    }
    Require(!s.lights.empty() && !s.cameras.empty());
    for (const auto& cam : s.cameras) {
        CheckNode(cam, records);
        RequireFinite(cam.eye.data(), 3);
        RequireFinite(cam.lookAt.data(), 3);
        Require(cam.fieldOfView > 0 && cam.fieldOfView < 3.1416f);
        Require(cam.nearPlane > 0 && cam.nearPlane < cam.farPlane && std::isfinite(cam.farPlane));
    }
    for (const auto& d : s.dummies) CheckNode(d, records);
    Require(c.textureJobs.size() == s.textures.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Model model;
    if (!DecodeModel(data, size, model, nullptr)) return 0;
    std::vector<std::uint8_t> again;
    EncodeModel(model, again);
    Require(again.size() == size && std::equal(again.begin(), again.end(), data));

    ConvertOptions options;
    options.maxKeys = 256;  // a long animation over many nodes is the same work, sampled more sparsely
    options.up = size % 2 ? UpAxis::Z : UpAxis::Y;
    const TexturePlan plan = PlanTextures(model, options);
    const std::uint8_t pick = data[size - 1];
    std::vector<TextureResult> results(plan.jobs.size());
    for (std::size_t i = 0; i < results.size(); ++i) {
        results[i].ok = ((pick >> (i % 8)) & 1) != 0 || plan.jobs[i].source == TextureJob::Source::Solid;
        results[i].translucent = ((pick >> ((i + 3) % 8)) & 1) != 0;
    }
    const Converted converted = ConvertModel(model, options, plan, results);
    CheckScene(converted);
    const std::vector<std::uint8_t> bytes = tarn::trs::WriteTrs(converted.scene);
    Require(bytes.size() >= 36);
    return 0;
}
