#include "scene/Animation.h"
#include "scene/Light.h"
#include "scene/MeshNode.h"
#include "SceneReader.h"
#include "SceneTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tarn::test;
using namespace tarn::trs;

namespace {

// Reads one node header written by the writer back through the engine's reader.
std::unique_ptr<CTRNode> ReadNode(const TrsNode& description) {
    TrsByteSink sink;
    WriteTrsNodeHeader(sink, description);
    const std::string path = TempPath("node.bin");
    WriteBytes(path, sink.data(), sink.size());
    CTRSceneReader reader;
    EXPECT_TRUE(reader.open(path.c_str()));
    auto node = std::make_unique<CTRNode>();
    EXPECT_TRUE(node->read(reader));
    EXPECT_EQ(reader.remaining(), 0u);
    std::remove(path.c_str());
    return node;
}

void ExpectMatrix(const D3DXMATRIX& m, std::initializer_list<float> expected) {
    auto it = expected.begin();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c, ++it) EXPECT_NEAR(m.m[r][c], *it, 1e-6) << "_" << r + 1 << c + 1;
}

}  // namespace

TEST(Animation, LengthComesFromTheFirstListWithANonZeroLastTime) {
    struct Case {
        const char* what;
        std::vector<TrsPositionKey> pos;
        std::vector<TrsRotationKey> rot;
        std::vector<TrsScaleKey> scale;
        float length;
    } cases[] = {
        {"rotation keys only", {}, {{0, 0, 0, 0, 1}, {4, 0, 0, 0, 1}}, {}, 4},
        {"position wins", {{0, 0, 0, 0}, {2, 0, 0, 0}}, {{0, 0, 0, 0, 1}, {5, 0, 0, 0, 1}}, {{0, 1, 1, 1}, {9, 1, 1, 1}}, 2},
        {"position ending at 0 leaves it to rotation", {{0, 0, 0, 0}}, {{0, 0, 0, 0, 1}, {5, 0, 0, 0, 1}}, {}, 5},
        {"scale last", {}, {}, {{1, 1, 1, 1}, {3, 2, 2, 2}}, 3},
        {"all end at 0", {{0, 0, 0, 0}}, {{0, 0, 0, 0, 1}}, {{0, 1, 1, 1}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrsNode d;
        d.positionKeys = c.pos;
        d.rotationKeys = c.rot;
        d.scaleKeys = c.scale;
        const auto node = ReadNode(d);
        ASSERT_NE(node->animation, nullptr);
        EXPECT_EQ(node->animation->length, c.length);
        EXPECT_EQ(node->animation->positionKeyCount, int(c.pos.size()));
        EXPECT_EQ(node->animation->rotationKeyCount, int(c.rot.size()));
        EXPECT_EQ(node->animation->scaleKeyCount, int(c.scale.size()));
        EXPECT_EQ(node->animation->positionKeys != nullptr, !c.pos.empty());
    }
}

TEST(Animation, NoKeysNoAnimationAndHeaderFieldsKept) {
    TrsNode d;
    d.name = "Dummy01";
    d.link1 = 3;
    d.matrix = TrsTranslation(1, 2, 3);
    const auto node = ReadNode(d);
    EXPECT_EQ(node->animation, nullptr);
    EXPECT_EQ(node->userData, nullptr);  // zero-length user data reads nothing
    EXPECT_STREQ(node->name, "Dummy01");
    EXPECT_EQ(node->link1, 3);
    EXPECT_EQ(node->link2, -1);
    EXPECT_EQ(node->matrix._42, 2.0f);

    d.userData = {9, 8, 7};
    const auto withData = ReadNode(d);
    ASSERT_NE(withData->userData, nullptr);
    EXPECT_EQ(withData->userData[2], 7);
    const D3DXMATRIX before = withData->matrix;
    withData->update(1.0f);  // no animation: the matrix stays
    EXPECT_EQ(std::memcmp(&before, &withData->matrix, sizeof before), 0);
}

TEST(Animation, PositionEvaluationAtBeforeAfterAndBeyondTheKeys) {
    TrsNode d;
    d.positionKeys = {{0, 0, 0, 0}, {2, 2, 0, 0}};
    const auto node = ReadNode(d);
    struct Case {
        float t;
        float x;
    } cases[] = {
        {1, 1},     // inside
        {0, 0},     // at the first key: segment applies with f = 0
        {0.5f, 0.5f},
        {2, 0},     // the length: no segment holds, translation 0
        {3, 1},     // wraps to 1
        {5, 1},     // wraps twice
        {-1, 0},    // before the keys, not wrapped
        {1e30f, NAN},  // wraps far off; no overflow, translation whatever the float wrap gives
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        D3DXMATRIX m;
        node->animation->evaluate(c.t, &m);
        if (!std::isnan(c.x)) {
            ExpectMatrix(m, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, c.x, 0, 0, 1});
        } else {
            EXPECT_EQ(m._11, 1.0f);
        }
    }
}

TEST(Animation, SingleKeysGiveIdentity) {
    TrsNode d;
    d.positionKeys = {{1, 5, 5, 5}};
    d.rotationKeys = {{1, 0, 0, 1, 0}};
    d.scaleKeys = {{1, 3, 3, 3}};
    const auto node = ReadNode(d);
    for (float t : {0.0f, 1.0f, 2.0f}) {
        node->matrix._41 = 99;
        node->update(t);
        ExpectMatrix(node->matrix, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    }
}

// Scale and position keys whose x, y and z all differ, so that each component must follow its own key's.
TEST(Animation, ScaleMultipliesOnlyTheDiagonalOfTheRotation) {
    const float h = std::sqrt(0.5f);
    struct Case {
        const char* what;
        TrsRotationKey from, to;
        std::initializer_list<float> expected;
    } const cases[] = {
        // At t = 1 the scale is halfway from (1, 2, 3) to (3, 6, 11): (2, 4, 7); the position halfway from
        // (1, 2, 3) to (3, -2, 9): (2, 0, 6).
        {"no rotation", {0, 0, 0, 0, 1}, {2, 0, 0, 0, 1}, {2, 0, 0, 0, 0, 4, 0, 0, 0, 0, 7, 0, 2, 0, 6, 1}},
        // Rotation rows (0,1,0), (-1,0,0), (0,0,1): the diagonal times the scale (still 0 on _11 and _22).
        {"90 degrees about z throughout",
         {0, 0, 0, h, h},
         {2, 0, 0, h, h},
         {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 7, 0, 2, 0, 6, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrsNode d;
        d.rotationKeys = {c.from, c.to};
        d.scaleKeys = {{0, 1, 2, 3}, {2, 3, 6, 11}};
        d.positionKeys = {{0, 1, 2, 3}, {2, 3, -2, 9}};
        const auto node = ReadNode(d);
        D3DXMATRIX m;
        node->animation->evaluate(1.0f, &m);
        ExpectMatrix(m, c.expected);
    }
}

TEST_F(SceneFixture, NodeUpdatesMoveBoundsAndLights) {
    TrsScene d;
    TrsMeshNode mesh;
    mesh.boundCentre = {1, 1, 1};
    mesh.matrix = TrsTranslation(10, 0, 0);
    mesh.positionKeys = {{0, 0, 0, 0}, {2, 2, 0, 0}};
    d.meshes = {mesh};
    TrsLight directional, spot, point;
    directional.type = 3;
    directional.matrix = TrsIdentity();  // third row (0, 0, 1)
    spot.type = 2;
    spot.position = {7, 8, 9};
    spot.direction = {0, -1, 0};
    spot.matrix = TrsTranslation(1, 2, 3);
    point.type = 1;
    point.matrix = TrsTranslation(4, 5, 6);
    d.lights = {directional, spot, point};

    CTRScene scene;
    ASSERT_TRUE(LoadScene(scene, d));
    CTRMeshNode* node = scene.getMeshNode(0);
    EXPECT_EQ(node->worldBoundCentre[0], 11.0f);
    node->update(1.0f);
    EXPECT_EQ(node->matrix._41, 1.0f);
    EXPECT_EQ(node->worldBoundCentre[0], 2.0f);
    EXPECT_EQ(node->worldBoundCentre[1], 1.0f);

    device.clear();
    for (CTRLight* light : scene.getLights()) light->update(0.0f);
    const auto& lights = scene.getLights();
    EXPECT_EQ(lights[0]->light.Direction.z, -1.0f);
    EXPECT_EQ(lights[0]->light.Direction.x, -0.0f);
    EXPECT_EQ(lights[1]->light.Position.x, 7.0f);
    EXPECT_EQ(lights[1]->light.Direction.y, -1.0f);
    EXPECT_EQ(lights[2]->light.Position.y, 5.0f);
    EXPECT_EQ(device.callsStartingWith("SetLight("),
              (std::vector<std::string>{"SetLight(0,ptr)", "SetLight(1,ptr)", "SetLight(2,ptr)"}));

    scene.enableLights(false);
    device.clear();
    lights[0]->update(0.0f);
    EXPECT_TRUE(device.calls.empty()) << "a disabled light is not sent";
}
