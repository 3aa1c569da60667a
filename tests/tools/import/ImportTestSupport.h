// What tarn-import's tests share: temporary folders, small model records made by hand, the whole run of the tool
// in process with its lines captured, and the written scene loaded by the engine's own loader on the null
// device.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "scene/Scene.h"
#include "tools/import/Conversion.h"
#include "tools/import/Import.h"
#include "tools/import/Model.h"
#include "tools/trsinfo/NullSceneDevice.h"

namespace tarn::import::test {

// Debian's assimp-testmodels; tests that need it skip where it is not installed.
inline const std::string kModels = "/usr/share/assimp/models/";
inline bool HaveTestModels() { return std::filesystem::is_directory(kModels); }

// A new empty folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir() {
        std::string pattern = ::testing::TempDir() + "import-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // The names of the files in the folder, sorted.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(path_, ec)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_;
};

// The tool's run in process: its exit status and the lines it wrote.
struct RunResult {
    int status = -1;
    std::vector<std::string> lines;
    std::string text() const {
        std::string all;
        for (const std::string& l : lines) all += l + "\n";
        return all;
    }
    std::size_t warnings() const {
        std::size_t n = 0;
        for (const std::string& l : lines) n += l.find(": warning: ") != std::string::npos;
        return n;
    }
    bool saysWarning(const std::string& part) const {
        for (const std::string& l : lines) {
            if (l.find(": warning: ") != std::string::npos && l.find(part) != std::string::npos) return true;
        }
        return false;
    }
};

inline RunResult RunTool(const std::vector<std::string>& args) {
    RunResult r;
    const ParseResult parsed = ParseArguments(args);
    if (!parsed.ok) {
        r.status = 2;
        r.lines.push_back(parsed.error);
        return r;
    }
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* err = ::open_memstream(&buffer, &size);
    r.status = Run(parsed.options, err);
    std::fclose(err);
    std::istringstream in(std::string(buffer, size));
    std::free(buffer);
    for (std::string line; std::getline(in, line);) r.lines.push_back(line);
    return r;
}

// A scene file loaded by CTRScene::load on a null device (installed as the scene's device while it lives).
struct LoadedScene {
    NullSceneDevice device;
    std::unique_ptr<CTRScene> scene = std::make_unique<CTRScene>();
    bool ok = false;

    explicit LoadedScene(const std::string& dir, const std::string& file) {
        const std::string prefix = dir + "/";
        ok = device.device() != nullptr && scene->load(prefix.c_str(), file.c_str());
    }
    ~LoadedScene() { scene.reset(); }

    // Vertex `i` of vertex buffer `b`, read back from the Direct3D buffer.
    std::vector<trs::TrsVertex> vertices(std::size_t b) const {
        std::vector<trs::TrsVertex> out;
        const CTRVertexBuffer* vb = scene->getVertexBuffers().at(b);
        void* data = nullptr;
        if (FAILED(vb->buffer->Lock(0, 0, &data, D3DLOCK_READONLY))) return out;
        const auto* v = static_cast<const trs::TrsVertex*>(data);
        out.assign(v, v + vb->vertexCount);
        vb->buffer->Unlock();
        return out;
    }
    std::size_t triangles() const {
        std::size_t n = 0;
        for (const CTRMeshNode* m : scene->getMeshNodes())
            n += scene->getIndexBuffers().at(m->indexBufferIndex)->triangleCount;
        return n;
    }
    // The scene's world-space box: every vertex of every mesh node through its node's matrix.
    void bounds(Vec3d* lo, Vec3d* hi) const {
        *lo = {1e300, 1e300, 1e300};
        *hi = {-1e300, -1e300, -1e300};
        for (const CTRMeshNode* m : scene->getMeshNodes()) {
            const D3DXMATRIX& w = m->matrix;
            for (const trs::TrsVertex& v : vertices(m->vertexBufferIndex)) {
                const Vec3d p{v.x * w._11 + v.y * w._21 + v.z * w._31 + w._41,
                              v.x * w._12 + v.y * w._22 + v.z * w._32 + w._42,
                              v.x * w._13 + v.y * w._23 + v.z * w._33 + w._43};
                *lo = {std::min(lo->x, p.x), std::min(lo->y, p.y), std::min(lo->z, p.z)};
                *hi = {std::max(hi->x, p.x), std::max(hi->y, p.y), std::max(hi->z, p.z)};
            }
        }
    }
};

inline std::string NodeName(const CTRNode& node) {
    return std::string(node.name, strnlen(node.name, sizeof node.name));
}

// ---- Hand-made records

// A unit square in the model's x-y plane facing +z (counter-clockwise seen from there), two triangles, with
// normals and texture coordinates.
inline ModelMesh Square(const std::string& name = "square", std::int32_t material = -1) {
    ModelMesh m;
    m.name = name;
    m.material = material;
    m.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    m.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    m.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    m.indices = {0, 1, 2, 0, 2, 3};
    return m;
}

inline ModelMatrix Translation(float x, float y, float z) {
    ModelMatrix m = ModelIdentity();
    m[3] = x, m[7] = y, m[11] = z;
    return m;
}

inline ModelMatrix Scale(float s) {
    ModelMatrix m = ModelIdentity();
    m[0] = m[5] = m[10] = s;
    return m;
}

// A model of one node (the root) holding the given meshes.
inline Model OneNodeModel(std::vector<ModelMesh> meshes, std::vector<ModelMaterial> materials = {}) {
    Model model;
    model.meshes = std::move(meshes);
    model.materials = std::move(materials);
    ModelNode root;
    root.name = "root";
    for (std::size_t i = 0; i < model.meshes.size(); ++i) root.meshes.push_back(static_cast<std::uint32_t>(i));
    model.nodes.push_back(std::move(root));
    return model;
}

// The conversion with every texture job failed (no image conversion at all).
inline Converted ConvertOnly(const Model& model, const ConvertOptions& options = {}) {
    const TexturePlan plan = PlanTextures(model, options);
    return ConvertModel(model, options, plan, std::vector<TextureResult>(plan.jobs.size()));
}

// The conversion with the textures converted on a null device (images resolved against `modelDir`).
inline Converted ConvertWithTextures(const Model& model, const ConvertOptions& options = {},
                                     const std::string& modelDir = ".", std::vector<TextureResult>* results = nullptr,
                                     TexturePlan* plan = nullptr) {
    TexturePlan p = PlanTextures(model, options);
    std::vector<TextureResult> r = ConvertTextures(p, model, modelDir, options.keepImages, 1);
    Converted c = ConvertModel(model, options, p, r);
    if (results) *results = std::move(r);
    if (plan) *plan = std::move(p);
    return c;
}

inline bool Near(float a, double b, double tolerance = 1e-5) { return std::fabs(a - b) <= tolerance; }

}  // namespace tarn::import::test
