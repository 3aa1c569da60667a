// Writes the seed corpus of tools_ImportFuzz (fuzz/tools/corpus-import): model records made by hand (every
// record kind, every material path, an animation with steps, a mesh past 65,535 vertices is left out for size)
// and, where Debian's assimp-testmodels is installed, the records of a few of its small files as the parser
// step reads them. make_import_corpus DIR; the folder is made when missing.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/import/AssimpReader.h"
#include "tools/import/ModelCodec.h"

using namespace tarn::import;

namespace {

ModelMesh Square(std::int32_t material, bool normals) {
    ModelMesh m;
    m.name = "square";
    m.material = material;
    m.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    if (normals) m.normals.assign(4, Vec3{0, 0, 1});
    m.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    m.indices = {0, 1, 2, 0, 2, 3};
    return m;
}

Model Everything() {
    Model m;
    m.meshes = {Square(0, true), Square(1, false), Square(-1, true)};
    m.meshes[1].points = 2, m.meshes[1].bones = 3, m.meshes[1].colourSets = 1, m.meshes[1].extraUvSets = 1;
    ModelMaterial wood;
    wood.name = "wood";
    wood.hasDiffuse = true, wood.diffuse = {0.8f, 0.6f, 0.4f, 1};
    wood.textures = {{TextureKind::BaseColour, "wood.png"},
                     {TextureKind::Normals, "bump.png"},
                     {TextureKind::MetalRoughness, "*0", 0}};
    ModelMaterial glass;
    glass.name = "glass", glass.opacity = 0.3f, glass.twoSided = true, glass.alphaMode = AlphaMode::Mask;
    glass.textures = {{TextureKind::Diffuse, "*0", 0, 1}};
    m.materials = {wood, glass};
    ModelTexture png;
    png.formatHint = "png", png.width = 4, png.bytes = {0x89, 'P', 'N', 'G'};
    m.textures = {png};
    ModelNode root, arm, hand;
    root.name = "root", root.meshes = {0};
    arm.name = "arm", arm.parent = 0, arm.transform[3] = 2, arm.meshes = {1, 2};
    hand.name = "hand", hand.parent = 1, hand.transform[0] = 2;
    m.nodes = {root, arm, hand};
    ModelCamera cam;
    cam.name = "cam", cam.node = 2, cam.horizontalFov = 1, cam.aspect = 1.5f;
    m.cameras = {cam};
    ModelLight sun, lamp, spot, fill;
    sun.kind = LightKind::Directional, sun.node = 0;
    lamp.kind = LightKind::Point, lamp.node = 2, lamp.attenuation2 = 0.1f;
    spot.kind = LightKind::Spot, spot.innerCone = 0.4f, spot.outerCone = 0.8f;
    fill.kind = LightKind::Ambient;
    m.lights = {sun, lamp, spot, fill};
    ModelAnimation a;
    a.name = "wave", a.duration = 20, a.ticksPerSecond = 10;
    ModelChannel c;
    c.node = 1;
    c.positions = {{0, {0, 0, 0}, Interpolation::Step}, {10, {1, 0, 0}}, {20, {0, 0, 0}}};
    c.rotations = {{0, {0, 0, 0, 1}}, {20, {0, 0.7071f, 0, 0.7071f}}};
    c.scales = {{5, {1, 1, 1}}, {15, {2, 1, 1}}};
    a.channels = {c};
    ModelAnimation b = a;
    b.name = "other";
    m.animations = {a, b};
    return m;
}

bool Write(const std::filesystem::path& path, const Model& model) {
    std::vector<std::uint8_t> bytes;
    EncodeModel(model, bytes);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_import_corpus DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    bool ok = Write(dir / "everything", Everything());
    ok = Write(dir / "empty", Model{}) && ok;
    Model one;
    one.meshes = {Square(-1, false)};
    ok = Write(dir / "mesh_without_nodes", one) && ok;

    const std::string models = "/usr/share/assimp/models/";
    for (const char* file :
         {"glTF2/cameras/Cameras.gltf", "glTF2/BoxTextured-glTF/BoxTextured.gltf", "Collada/lights.dae",
          "Collada/box_nested_animation.dae", "STL/triangle.stl", "PLY/cube.ply", "OBJ/box.obj", "X/anim_test.x"}) {
        if (!std::filesystem::exists(models + file)) continue;
        Model m;
        std::string why;
        if (!ReadModelFile(models + file, m, &why)) {
            std::fprintf(stderr, "make_import_corpus: %s: %s\n", file, why.c_str());
            ok = false;
            continue;
        }
        std::string name = file;
        for (char& c : name) c = c == '/' || c == '.' ? '_' : c;
        ok = Write(dir / name, m) && ok;
    }
    return ok ? 0 : 1;
}
