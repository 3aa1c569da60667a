#include <gtest/gtest.h>

#include <cmath>

#include "scene/Animation.h"
#include "tests/tools/import/ImportTestSupport.h"

using namespace tarn::import;
using namespace tarn::import::test;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A model of three nodes: root, a child translated (1, 2, 3) holding the square, its child (0, 0, 1) further.
Model Chain() {
    Model m = OneNodeModel({Square()});
    m.nodes[0].meshes.clear();
    ModelNode a;
    a.name = "a", a.parent = 0, a.transform = Translation(1, 2, 3), a.meshes = {0};
    ModelNode b;
    b.name = "b", b.parent = 1, b.transform = Translation(0, 0, 1);
    m.nodes.push_back(a);
    m.nodes.push_back(b);
    return m;
}

// An animation moving node `node` from (0, 0, 0) at tick 0 to (2, 0, 0) at tick 50, 25 ticks a second (2 s).
ModelAnimation Slide(std::int32_t node) {
    ModelAnimation a;
    a.name = "slide", a.duration = 50, a.ticksPerSecond = 25;
    ModelChannel c;
    c.node = node;
    c.positions = {{0, {0, 0, 0}}, {50, {2, 0, 0}}};
    c.rotations = {{0, {0, 0, 0, 1}}};
    c.scales = {{0, {1, 1, 1}}};
    a.channels.push_back(c);
    return a;
}

// The engine's own evaluation of a record's keys at `time`.
D3DXMATRIX Evaluate(const tarn::trs::TrsNode& node, float time) {
    CTRAnimation a;
    a.positionKeyCount = static_cast<std::int32_t>(node.positionKeys.size());
    a.rotationKeyCount = static_cast<std::int32_t>(node.rotationKeys.size());
    a.scaleKeyCount = static_cast<std::int32_t>(node.scaleKeys.size());
    a.positionKeys.reset(new CTRPositionKey[a.positionKeyCount]);
    a.rotationKeys.reset(new CTRRotationKey[a.rotationKeyCount]);
    a.scaleKeys.reset(new CTRScaleKey[a.scaleKeyCount]);
    for (int i = 0; i < a.positionKeyCount; ++i) {
        const auto& k = node.positionKeys[i];
        a.positionKeys[i] = {k.time, k.x, k.y, k.z};
    }
    for (int i = 0; i < a.rotationKeyCount; ++i) {
        const auto& k = node.rotationKeys[i];
        a.rotationKeys[i] = {k.time, k.x, k.y, k.z, k.w};
    }
    for (int i = 0; i < a.scaleKeyCount; ++i) {
        const auto& k = node.scaleKeys[i];
        a.scaleKeys[i] = {k.time, k.x, k.y, k.z};
    }
    a.length = node.positionKeys.empty() ? 0 : node.positionKeys.back().time;
    D3DXMATRIX m;
    a.evaluate(time, &m);
    return m;
}

TEST(ImportNodes, HierarchyIsFlattenedIntoWorldMatricesInTheEngineFrame) {
    const Converted c = ConvertOnly(Chain());
    ASSERT_EQ(c.scene.meshes.size(), 1u);
    const auto& mesh = c.scene.meshes[0];
    EXPECT_EQ(mesh.name, "a");
    EXPECT_EQ(mesh.matrix[12], 1);
    EXPECT_EQ(mesh.matrix[13], 2);
    EXPECT_EQ(mesh.matrix[14], -3);
    // Root and b are dummies; b sits at (1, 2, 3) + (0, 0, 1), z mirrored.
    ASSERT_EQ(c.scene.dummies.size(), 2u);
    EXPECT_EQ(c.scene.dummies[0].name, "root");
    EXPECT_EQ(c.scene.dummies[1].name, "b");
    EXPECT_EQ(c.scene.dummies[1].matrix[14], -4);
}

TEST(ImportNodes, LinksNameTheParentsRecordInFileOrder) {
    Model m = Chain();
    m.meshes.push_back(Square("second"));
    m.nodes[1].meshes = {0, 1};  // node a holds two meshes
    const Converted c = ConvertOnly(m);
    // File order: mesh a (0), mesh a~2 (1), the light (2), the camera (3), dummy root (4), dummy b (5).
    ASSERT_EQ(c.scene.meshes.size(), 2u);
    EXPECT_EQ(c.scene.meshes[1].name, "a~2");
    EXPECT_EQ(c.scene.meshes[0].link1, 4);   // parent root's record
    EXPECT_EQ(c.scene.meshes[0].link2, -1);  // a's first record
    EXPECT_EQ(c.scene.meshes[1].link1, 4);
    EXPECT_EQ(c.scene.meshes[1].link2, 0);  // a's second record points at its first
    EXPECT_EQ(c.scene.dummies[0].link1, -1);
    EXPECT_EQ(c.scene.dummies[1].link1, 0);  // b's parent is a
    // The light and camera the conversion made belong to no node.
    EXPECT_EQ(c.scene.lights[0].link1, -1);
    EXPECT_EQ(c.scene.cameras[0].link1, -1);
}

TEST(ImportNodes, ScaleAppliesAtTheRootAndGoesIntoTheVertices) {
    ConvertOptions o;
    o.scale = 10;
    const Converted c = ConvertOnly(Chain(), o);
    const auto& mesh = c.scene.meshes[0];
    EXPECT_EQ(mesh.matrix[12], 10);
    EXPECT_EQ(mesh.matrix[14], -30);
    EXPECT_EQ(mesh.matrix[0], 1);  // the node keeps a rigid transform
    const auto& v = c.scene.vertexBuffers[mesh.vertexBuffer].vertices;
    EXPECT_EQ(v[2].x, 10);
    EXPECT_EQ(v[2].y, 10);
    EXPECT_NEAR(v[2].nz, -1, 1e-6);  // unit normals for the engine's lighting
}

TEST(ImportNodes, InstancesShareTheirBuffersWhenTheirStretchAgrees) {
    Model m = Chain();
    m.nodes[2].meshes = {0};  // b shows the same square
    ModelNode big;
    big.name = "big", big.parent = 0, big.transform = Scale(2), big.meshes = {0};
    m.nodes.push_back(big);
    const Converted c = ConvertOnly(m);
    ASSERT_EQ(c.scene.meshes.size(), 3u);
    EXPECT_EQ(c.scene.meshes[0].vertexBuffer, c.scene.meshes[1].vertexBuffer);
    EXPECT_NE(c.scene.meshes[0].vertexBuffer, c.scene.meshes[2].vertexBuffer);
    EXPECT_EQ(c.scene.vertexBuffers.size(), 2u);
}

TEST(ImportNodes, NamesFitTheFieldAndStayUnique) {
    NameTable names;
    EXPECT_EQ(names.Fit("short", "x"), "short");
    EXPECT_EQ(names.Fit("short", "x"), "short~2");
    EXPECT_EQ(names.Fit("short", "x"), "short~3");
    EXPECT_EQ(names.Fit("a_very_long_node_name_indeed", "x"), "a_very_long_node_na");  // 19 bytes
    EXPECT_EQ(names.Fit("a_very_long_node_name_indeed", "x"), "a_very_long_node_~2");
    EXPECT_EQ(names.Fit("", "mesh"), "mesh");
    EXPECT_EQ(names.Fit("tab\there", "x"), "tab_here");
    // 18 ASCII bytes and a two-byte character: the character does not fit and is not cut in half.
    EXPECT_EQ(names.Fit("abcdefghijklmnopqr\xc3\xa9", "x"), "abcdefghijklmnopqr");
    for (int i = 0; i < 30; ++i) EXPECT_LE(names.Fit("abcdefghijklmnopqrstuvwxyz", "x").size(), 19u);
}

TEST(ImportNodes, AnimationBecomesKeysInSecondsOnEveryMovingNode) {
    Model m = Chain();
    m.animations.push_back(Slide(1));
    const Converted c = ConvertOnly(m);
    const auto& mesh = c.scene.meshes[0];
    // 2 s at 30 keys a second, both ends included: 61 keys in each list, on the same times.
    ASSERT_EQ(mesh.positionKeys.size(), 61u);
    ASSERT_EQ(mesh.rotationKeys.size(), 61u);
    ASSERT_EQ(mesh.scaleKeys.size(), 61u);
    EXPECT_EQ(mesh.positionKeys.front().time, 0);
    EXPECT_FLOAT_EQ(mesh.positionKeys.back().time, 2);
    EXPECT_FLOAT_EQ(mesh.positionKeys[30].time, 1);
    EXPECT_NEAR(mesh.positionKeys[30].x, 1, 1e-5);  // the channel replaces a's translation
    EXPECT_NEAR(mesh.positionKeys[30].z, 0, 1e-6);
    // The child b moves with it, at (x, 0, -1) in the engine's frame.
    const auto& b = c.scene.dummies[1];
    ASSERT_EQ(b.positionKeys.size(), 61u);
    EXPECT_NEAR(b.positionKeys[45].x, 1.5, 1e-5);
    EXPECT_NEAR(b.positionKeys[45].z, -1, 1e-6);
    // The root does not move.
    EXPECT_TRUE(c.scene.dummies[0].positionKeys.empty());
    // The engine's evaluation between keys agrees.
    const D3DXMATRIX at = Evaluate(mesh, 0.5f);
    EXPECT_NEAR(at._41, 0.5, 1e-5);
    EXPECT_NEAR(at._11, 1, 1e-6);
    // The record's own matrix is the pose at time 0.
    EXPECT_NEAR(mesh.matrix[12], 0, 1e-6);
}

TEST(ImportNodes, RotationKeysAreTheEngineFramesQuaternions) {
    Model m = Chain();
    ModelAnimation a = Slide(1);
    // A quarter turn about +y in the model's frame at the end.
    const float s = std::sin(kPi / 4), co = std::cos(kPi / 4);
    a.channels[0].rotations = {{0, {0, 0, 0, 1}}, {50, {0, s, 0, co}}};
    m.animations.push_back(a);
    const Converted c = ConvertOnly(m);
    const auto& k = c.scene.meshes[0].rotationKeys.back();
    // Mirroring z turns the rotation's sense about y: (x, y, z, w) becomes (-x, -y, z, w).
    EXPECT_NEAR(k.x, 0, 1e-6);
    EXPECT_NEAR(k.y, -s, 1e-5);
    EXPECT_NEAR(k.w, co, 1e-5);
    // Evaluated by the engine just before the end: model +x goes to model -z, which is the engine's +z.
    const D3DXMATRIX end = Evaluate(c.scene.meshes[0], 1.9999f);
    EXPECT_NEAR(end._11, 0, 1e-3);
    EXPECT_NEAR(end._13, 1, 1e-3);
}

TEST(ImportNodes, ModelKeyTimesAreKeptAndStepsGetAKeyJustBefore) {
    Model m = Chain();
    ModelAnimation a = Slide(1);
    a.channels[0].positions = {
        {0, {0, 0, 0}, Interpolation::Step}, {10, {1, 0, 0}, Interpolation::Step}, {50, {2, 0, 0}}};
    m.animations.push_back(a);
    ConvertOptions o;
    o.sampleRate = 0;  // the model's own times only
    const Converted c = ConvertOnly(m, o);
    const auto& keys = c.scene.meshes[0].positionKeys;
    // 0, just before 0.4 s, 0.4 s, just before 2 s, 2 s.
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys[0].x, 0);
    EXPECT_LT(keys[1].time, 0.4f);
    EXPECT_EQ(keys[1].x, 0);  // still the held value
    EXPECT_FLOAT_EQ(keys[2].time, 0.4f);
    EXPECT_EQ(keys[2].x, 1);
    EXPECT_EQ(keys[3].x, 1);
    EXPECT_EQ(keys[4].x, 2);
}

TEST(ImportNodes, WithoutTicksPerSecondTwentyFiveAreAssumed) {
    Model m = Chain();
    ModelAnimation a = Slide(1);
    a.ticksPerSecond = 0;
    m.animations.push_back(a);
    const Converted c = ConvertOnly(m);
    EXPECT_FLOAT_EQ(c.scene.meshes[0].positionKeys.back().time, 2);
}

TEST(ImportNodes, AnimationWithoutLengthIsAPose) {
    Model m = Chain();
    ModelAnimation a = Slide(1);
    a.duration = 0;
    a.channels[0].positions = {{0, {5, 0, 0}}};
    m.animations.push_back(a);
    const Converted c = ConvertOnly(m);
    EXPECT_TRUE(c.scene.meshes[0].positionKeys.empty());
    EXPECT_EQ(c.scene.meshes[0].matrix[12], 5);
}

TEST(ImportNodes, LongAnimationsAreSampledWithinTheKeyLimit) {
    Model m = Chain();
    ModelAnimation a = Slide(1);
    a.duration = 25 * 3600;  // an hour
    a.channels[0].positions[1].time = a.duration;
    m.animations.push_back(a);
    ConvertOptions o;
    o.maxKeys = 1000;
    const Converted c = ConvertOnly(m, o);
    EXPECT_EQ(c.scene.meshes[0].positionKeys.size(), 1000u);
    EXPECT_FLOAT_EQ(c.scene.meshes[0].positionKeys.back().time, 3600);
}

TEST(ImportNodes, OtherAnimationsAreDroppedWithAWarningEach) {
    Model m = Chain();
    m.animations = {Slide(1), Slide(2), Slide(2)};
    m.animations[1].name = "walk";
    m.animations[2].name = "";
    m.animations[0].meshChannels = 2;
    const Converted c = ConvertOnly(m);
    auto has = [&](const std::string& text) {
        return std::find(c.warnings.begin(), c.warnings.end(), text) != c.warnings.end();
    };
    EXPECT_TRUE(has("animation 'walk' dropped (the format holds one animation per node; --animation 1 picks it)"));
    EXPECT_TRUE(has("animation 2 dropped (the format holds one animation per node; --animation 2 picks it)"));
    EXPECT_TRUE(has("animation 'slide': 2 vertex or morph channels dropped (the format moves whole nodes)"));

    ConvertOptions second;
    second.animation = 1;
    const Converted c2 = ConvertOnly(m, second);
    EXPECT_TRUE(c2.scene.meshes[0].positionKeys.empty());  // walk moves b, not a
    EXPECT_EQ(c2.scene.dummies[1].positionKeys.size(), 61u);
    second.animation = 7;
    const Converted c7 = ConvertOnly(m, second);
    EXPECT_NE(
        std::find(c7.warnings.begin(), c7.warnings.end(), "--animation 7: the model has 3 animations; none is written"),
        c7.warnings.end());
}

TEST(ImportNodes, ScaleWithRotationIsFlaggedAsApproximate) {
    Model m = Chain();
    ModelAnimation a = Slide(1);
    const float s = std::sin(0.3f), co = std::cos(0.3f);
    a.channels[0].rotations = {{0, {0, 0, 0, 1}}, {50, {0, s, 0, co}}};
    a.channels[0].scales = {{0, {1, 1, 1}}, {50, {2, 2, 2}}};
    m.animations.push_back(a);
    const Converted c = ConvertOnly(m);
    EXPECT_NE(std::find(c.warnings.begin(), c.warnings.end(),
                        "node 'a': scale keys with rotation are approximate (the engine scales the diagonal of the "
                        "rotated matrix)"),
              c.warnings.end());
    EXPECT_NEAR(c.scene.meshes[0].scaleKeys.back().x, 2, 1e-4);
}

TEST(ImportNodes, NonFiniteTransformsBecomeTheIdentity) {
    Model m = Chain();
    m.nodes[1].transform[3] = std::nanf("");
    const Converted c = ConvertOnly(m);
    EXPECT_EQ(c.scene.meshes[0].matrix[12], 0);
    EXPECT_NE(
        std::find(c.warnings.begin(), c.warnings.end(), "node 'a': its transform is not finite; the identity is used"),
        c.warnings.end());
}

TEST(ImportNodes, AModelWithoutNodesShowsItsMeshesAtTheOrigin) {
    Model m;
    m.meshes.push_back(Square());
    const Converted c = ConvertOnly(m);
    ASSERT_EQ(c.scene.meshes.size(), 1u);
    EXPECT_EQ(c.scene.meshes[0].name, "Root");
    EXPECT_EQ(c.triangles, 2u);
}

}  // namespace
