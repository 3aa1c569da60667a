// Writes the seed corpus of the scene-load fuzz target into the directory given: small valid scenes of both
// versions covering every section and node kind, keys and user data, plus cut and damaged variants.
#include "tools/trs/TrsWriter.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace tarn::trs;

namespace {

bool Write(const std::string& directory, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = directory + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

TrsScene Full(std::int32_t version) {
    TrsScene d;
    d.version = version;
    d.textures = {"missing.tga", "C:/missing.tga", "missing.tga"};
    d.materials.resize(2);
    TrsVertexBuffer vb;
    for (int i = 0; i < 4; ++i) vb.vertices.push_back({float(i), 0, float(i & 1), 0, 1, 0, 0, 0});
    d.vertexBuffers = {vb, vb};
    d.indexBuffers = {TrsIndexBuffer{{0, 1, 2, 2, 1, 3}}};
    TrsMeshNode mesh;
    mesh.name = "Mesh";
    mesh.userData = {1, 2, 3};
    mesh.positionKeys = {{0, 0, 0, 0}, {1, 1, 2, 3}};
    mesh.rotationKeys = {{0, 0, 0, 0, 1}, {1, 0, 0.7071f, 0, 0.7071f}};
    mesh.scaleKeys = {{0, 1, 1, 1}, {1, 2, 2, 2}};
    mesh.material = 0;
    mesh.texture = 1;
    TrsMeshNode billboard = mesh;
    billboard.billboard = 3;
    billboard.texture = -1;
    billboard.vertexBuffer = 1;
    billboard.zEnable = 2;
    TrsMeshNode broken;
    broken.vertexBuffer = 5;
    broken.material = 9;
    d.meshes = {mesh, billboard, broken};
    TrsLight point;
    point.type = 1;
    point.positionKeys = {{0, 0, 0, 0}, {2, 0, 5, 0}};
    d.lights = {TrsLight{}, point};
    TrsCamera camera;
    camera.eye = {0, 50, -100};
    d.cameras = {camera};
    TrsNode dummy;
    dummy.name = "Dummy";
    dummy.userData = {9};
    dummy.rotationKeys = {{0, 0, 0, 0, 1}, {3, 0, 0, 1, 0}};
    d.dummies = {dummy};
    return d;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_scene_corpus DIRECTORY\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    bool ok = true;
    ok &= Write(dir, "empty36.TRS", WriteTrs(TrsScene{}));
    for (std::int32_t version : {10, 11}) {
        const auto bytes = WriteTrs(Full(version));
        const std::string v = std::to_string(version);
        ok &= Write(dir, "full_v" + v + ".TRS", bytes);
        ok &= Write(dir, "cut_half_v" + v + ".TRS", {bytes.begin(), bytes.begin() + bytes.size() / 2});
        auto negative = bytes;
        negative[8] = negative[9] = negative[10] = negative[11] = 0xff;  // material count -1
        ok &= Write(dir, "negative_count_v" + v + ".TRS", negative);
    }
    TrsScene badLight;
    badLight.lights.resize(1);
    badLight.lights[0].type = INT32_MIN;
    ok &= Write(dir, "negative_light_type.TRS", WriteTrs(badLight));
    TrsScene cameras;
    cameras.cameras.resize(2);
    cameras.cameras[0].farPlane = 500;
    cameras.cameras[0].nearPlane = 2;
    ok &= Write(dir, "two_cameras.TRS", WriteTrs(cameras));
    if (!ok) std::fprintf(stderr, "make_scene_corpus: cannot write into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
