#include <gtest/gtest.h>

#include <cstring>

#include "tests/tools/import/ImportTestSupport.h"
#include "tools/import/ModelCodec.h"

using namespace tarn::import;
using namespace tarn::import::test;

namespace {

// Every kind of record, every field away from its default.
Model RichModel() {
    Model m;
    ModelMesh mesh = Square("mesh", 0);
    mesh.points = 1, mesh.lines = 2, mesh.polygons = 3, mesh.extraUvSets = 4, mesh.colourSets = 5, mesh.bones = 6;
    mesh.morphTargets = 7;
    m.meshes.push_back(mesh);
    ModelMesh bare;
    bare.positions = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    bare.indices = {2, 1, 0};
    m.meshes.push_back(bare);

    ModelMaterial mat;
    mat.name = "paint";
    mat.hasDiffuse = true, mat.diffuse = {0.1f, 0.2f, 0.3f, 0.4f};
    mat.hasAmbient = true, mat.ambient = {0.5f, 0.6f, 0.7f, 0.8f};
    mat.hasSpecular = true, mat.specular = {0.9f, 1, 0.25f, 1};
    mat.specularStrength = 2, mat.shininess = 40, mat.emissive = {0.01f, 0.02f, 0.03f, 1};
    mat.opacity = 0.75f, mat.alphaMode = AlphaMode::Mask, mat.additive = true, mat.twoSided = true;
    mat.textures = {{TextureKind::BaseColour, "base.png", -1, 0}, {TextureKind::Normals, "*0", 0, 1}};
    m.materials.push_back(mat);

    ModelTexture png;
    png.name = "embedded.png", png.formatHint = "png", png.width = 5, png.bytes = {1, 2, 3, 4, 5};
    m.textures.push_back(png);
    ModelTexture raw;
    raw.width = 1, raw.height = 2, raw.bytes = {9, 8, 7, 6, 5, 4, 3, 2};
    m.textures.push_back(raw);

    ModelNode root;
    root.name = "root", root.meshes = {0, 1, 0};
    m.nodes.push_back(root);
    ModelNode child;
    child.name = "child", child.parent = 0, child.transform = Translation(1, 2, 3);
    m.nodes.push_back(child);

    ModelCamera cam;
    cam.name = "cam", cam.node = 1, cam.position = {1, 2, 3}, cam.lookAt = {0, 0, 1}, cam.up = {1, 0, 0};
    cam.horizontalFov = 1.5f, cam.aspect = 2, cam.nearPlane = 0.5f, cam.farPlane = 50, cam.orthographicWidth = 3;
    m.cameras.push_back(cam);
    ModelLight light;
    light.name = "sun", light.node = -1, light.kind = LightKind::Spot, light.position = {1, 1, 1};
    light.direction = {0, -1, 0}, light.diffuse = {1, 0.5f, 0.25f, 1}, light.specular = {0.5f, 0.5f, 0.5f, 1};
    light.ambient = {0.1f, 0.1f, 0.1f, 1}, light.attenuation0 = 2, light.attenuation1 = 3, light.attenuation2 = 4;
    light.innerCone = 0.5f, light.outerCone = 1;
    m.lights.push_back(light);

    ModelAnimation anim;
    anim.name = "wave", anim.duration = 48, anim.ticksPerSecond = 24, anim.meshChannels = 2;
    ModelChannel ch;
    ch.node = 1;
    ch.positions = {{0, {0, 0, 0}, Interpolation::Linear}, {48, {1, 0, 0}, Interpolation::Step}};
    ch.rotations = {{12, {0, 0, 0, 1}, Interpolation::Spherical}};
    ch.scales = {{24, {2, 2, 2}, Interpolation::CubicSpline}};
    anim.channels.push_back(ch);
    m.animations.push_back(anim);
    return m;
}

std::vector<std::uint8_t> Encoded(const Model& m) {
    std::vector<std::uint8_t> bytes;
    EncodeModel(m, bytes);
    return bytes;
}

TEST(ModelCodec, RoundTripKeepsEveryField) {
    const Model in = RichModel();
    const std::vector<std::uint8_t> bytes = Encoded(in);
    Model out;
    std::string why;
    ASSERT_TRUE(DecodeModel(bytes.data(), bytes.size(), out, &why)) << why;
    // Encoding what was decoded gives the same bytes: nothing was lost or changed.
    EXPECT_EQ(Encoded(out), bytes);
    EXPECT_EQ(out.meshes[0].name, "mesh");
    EXPECT_EQ(out.meshes[0].morphTargets, 7u);
    EXPECT_EQ(out.meshes[1].indices, (std::vector<std::uint32_t>{2, 1, 0}));
    EXPECT_EQ(out.materials[0].alphaMode, AlphaMode::Mask);
    EXPECT_EQ(out.materials[0].textures[1].kind, TextureKind::Normals);
    EXPECT_EQ(out.materials[0].textures[1].uvSet, 1u);
    EXPECT_EQ(out.textures[1].bytes.size(), 8u);
    EXPECT_EQ(out.nodes[1].transform[7], 2.0f);
    EXPECT_EQ(out.cameras[0].orthographicWidth, 3.0f);
    EXPECT_EQ(out.lights[0].kind, LightKind::Spot);
    EXPECT_EQ(out.animations[0].channels[0].positions[1].interpolation, Interpolation::Step);
    EXPECT_EQ(out.animations[0].ticksPerSecond, 24);
}

TEST(ModelCodec, EveryShorterPrefixAndAnyTrailingByteIsRefused) {
    const std::vector<std::uint8_t> bytes = Encoded(RichModel());
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        Model out;
        std::string why;
        ASSERT_FALSE(DecodeModel(bytes.data(), size, out, &why)) << size;
        EXPECT_FALSE(why.empty());
    }
    std::vector<std::uint8_t> longer = bytes;
    longer.push_back(0);
    Model out;
    std::string why;
    EXPECT_FALSE(DecodeModel(longer.data(), longer.size(), out, &why));
    EXPECT_NE(why.find("bytes after the record"), std::string::npos) << why;
}

TEST(ModelCodec, IndicesOutOfRangeAreRefusedWithTheirPlace) {
    struct Case {
        const char* says;
        void (*damage)(Model&);
    } const kCases[] = {
        {"index 4 past its vertices", [](Model& m) { m.meshes[0].indices[2] = 4; }},
        {"not whole triangles", [](Model& m) { m.meshes[0].indices.pop_back(); }},
        {"normals do not match", [](Model& m) { m.meshes[0].normals.pop_back(); }},
        {"texture coordinates do not match", [](Model& m) { m.meshes[0].uvs.push_back({}); }},
        {"names material 1", [](Model& m) { m.meshes[0].material = 1; }},
        {"names embedded image 2", [](Model& m) { m.materials[0].textures[1].embedded = 2; }},
        {"texels do not match", [](Model& m) { m.textures[1].bytes.pop_back(); }},
        {"node 1 has parent 1", [](Model& m) { m.nodes[1].parent = 1; }},
        {"node 0 has parent 1", [](Model& m) { m.nodes[0].parent = 1; }},
        {"names mesh 2", [](Model& m) { m.nodes[0].meshes.push_back(2); }},
        {"camera 0 names a node", [](Model& m) { m.cameras[0].node = 2; }},
        {"light 0 names a node", [](Model& m) { m.lights[0].node = -2; }},
        {"moves node 2", [](Model& m) { m.animations[0].channels[0].node = 2; }},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.says);
        Model m = RichModel();
        c.damage(m);
        const std::vector<std::uint8_t> bytes = Encoded(m);
        Model out;
        std::string why;
        EXPECT_FALSE(DecodeModel(bytes.data(), bytes.size(), out, &why));
        EXPECT_NE(why.find(c.says), std::string::npos) << why;
        EXPECT_FALSE(CheckModel(m, nullptr));
    }
}

TEST(ModelCodec, CountsLargerThanTheBytesAreRefusedBeforeAllocating) {
    std::vector<std::uint8_t> bytes = Encoded(Model{});
    // The mesh count follows the magic and the version: claim four billion meshes.
    const std::uint32_t many = 0xFFFFFFFFu;
    std::memcpy(bytes.data() + 8, &many, 4);
    Model out;
    std::string why;
    EXPECT_FALSE(DecodeModel(bytes.data(), bytes.size(), out, &why));
    EXPECT_NE(why.find("more meshes than the record holds"), std::string::npos) << why;
}

TEST(ModelCodec, WrongMagicOrVersionIsRefused) {
    std::vector<std::uint8_t> bytes = Encoded(Model{});
    std::vector<std::uint8_t> magic = bytes;
    magic[0] = 'X';
    Model out;
    std::string why;
    EXPECT_FALSE(DecodeModel(magic.data(), magic.size(), out, &why));
    EXPECT_NE(why.find("not a model record"), std::string::npos);
    bytes[4] = 99;
    EXPECT_FALSE(DecodeModel(bytes.data(), bytes.size(), out, &why));
    EXPECT_NE(why.find("version 99"), std::string::npos);
}

TEST(ModelCodec, UnknownEnumValuesAreRefused) {
    Model m;
    m.lights.push_back({});
    std::vector<std::uint8_t> bytes = Encoded(m);
    // The light kind is the byte after the light's name (empty) and node: magic 4, version 4, five empty counts
    // 20, the light count 4, the name's length 4, the node 4.
    bytes[4 + 4 + 20 + 4 + 4 + 4] = 200;
    Model out;
    std::string why;
    EXPECT_FALSE(DecodeModel(bytes.data(), bytes.size(), out, &why));
    EXPECT_NE(why.find("unknown light kind 200"), std::string::npos) << why;
    // A flag is 0 or 1, so that what decodes encodes to the same bytes.
    Model flagged;
    flagged.materials.push_back({});
    std::vector<std::uint8_t> f = Encoded(flagged);
    f[4 + 4 + 4 + 4 + 4] = 2;  // hasDiffuse, after the material count and its empty name
    EXPECT_FALSE(DecodeModel(f.data(), f.size(), out, &why));
    EXPECT_NE(why.find("a flag of 2"), std::string::npos) << why;
}

}  // namespace
