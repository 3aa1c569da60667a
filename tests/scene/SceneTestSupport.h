// Shared by the scene tests: writes a described scene to a temporary file and loads it with a recording device
// installed as the scene's device.
#pragma once

#include "scene/Scene.h"
#include "scene/SceneDevice.h"
#include "tools/trs/TrsWriter.h"
#include "CallRecordingDevice.h"
#include "TransformHelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace tarn::test {

// A unique file path under the test's temporary directory.
inline std::string TempPath(const std::string& stem) {
    static const unsigned run = std::random_device{}();
    static int counter = 0;
    return ::testing::TempDir() + "scene_" + std::to_string(run) + "_" + std::to_string(counter++) + "_" + stem;
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    if (size) {
        ASSERT_EQ(std::fwrite(bytes.data(), 1, size, f), size);
    }
    std::fclose(f);
}

// Loads `bytes` (cut to `size`) through a file in `directory` named `name`.
inline bool LoadBytes(CTRScene& scene, const std::vector<std::uint8_t>& bytes, std::size_t size,
                      const std::string& name = "scene.TRS") {
    const std::string path = TempPath(name);
    WriteBytes(path, bytes, size);
    const std::size_t slash = path.rfind('/');
    const bool ok = scene.load(path.substr(0, slash + 1).c_str(), path.substr(slash + 1).c_str());
    std::remove(path.c_str());
    return ok;
}

inline bool LoadScene(CTRScene& scene, const trs::TrsScene& description) {
    const auto bytes = trs::WriteTrs(description);
    return LoadBytes(scene, bytes, bytes.size());
}

// Installs a recording device (without an inner device: fake buffers, no textures) for the test's lifetime.
class SceneFixture : public ::testing::Test {
protected:
    void SetUp() override { SetSceneDevice(&device, 800, 600); }
    void TearDown() override { SetSceneDevice(nullptr, 0, 0); }
    CallRecordingDevice device;
};

// One triangle's worth of vertices and indices.
inline trs::TrsVertexBuffer TriangleVertices(int count = 3) {
    trs::TrsVertexBuffer vb;
    for (int i = 0; i < count; ++i) vb.vertices.push_back({float(i), 0, 0, 0, 1, 0, 0, 0});
    return vb;
}
inline trs::TrsIndexBuffer TriangleIndices(int triangles = 1) {
    trs::TrsIndexBuffer ib;
    for (int t = 0; t < triangles; ++t)
        for (std::uint16_t i : {0, 1, 2}) ib.indices.push_back(i);
    return ib;
}

}  // namespace tarn::test
