// What the viewer frames: the box of a loaded scene (vertices read back and placed by each node's matrix, its
// animation's path, billboards as spheres, hidden nodes left out), and the distance that fits it into a view.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "scene/Scene.h"
#include "tests/tools/view/ViewerTestScenes.h"
#include "tools/trsinfo/NullSceneDevice.h"
#include "tools/view/SceneBounds.h"

namespace {

using namespace tarn::viewtest;
using tarn::view::BoundsOf;
using tarn::view::FramingDistance;
using tarn::view::SceneBox;

bool Load(CTRScene& scene, const tarn::trs::TrsScene& description) {
    const std::string path = testing::TempDir() + "bounds_" + std::to_string(::getpid()) + ".TRS";
    if (!tarn::trs::WriteTrsFile(description, path)) return false;
    const std::size_t slash = path.rfind('/');
    const bool ok = scene.load(path.substr(0, slash + 1).c_str(), path.substr(slash + 1).c_str());
    std::remove(path.c_str());
    return ok;
}

void ExpectBox(const SceneBox& box, D3DXVECTOR3 minimum, D3DXVECTOR3 maximum) {
    ASSERT_FALSE(box.empty);
    EXPECT_NEAR(box.minimum.x, minimum.x, 1e-3f);
    EXPECT_NEAR(box.minimum.y, minimum.y, 1e-3f);
    EXPECT_NEAR(box.minimum.z, minimum.z, 1e-3f);
    EXPECT_NEAR(box.maximum.x, maximum.x, 1e-3f);
    EXPECT_NEAR(box.maximum.y, maximum.y, 1e-3f);
    EXPECT_NEAR(box.maximum.z, maximum.z, 1e-3f);
}

TEST(SceneBoundsTest, TheBoxHoldsEveryDrawnVertexWhereItsNodePutsIt) {
    NullSceneDevice device;
    CTRScene scene;
    ASSERT_TRUE(Load(scene, TwoCameraScene())) << scene.getLoadError();
    // The plate spans the scene; the red box (moved by its matrix) and the slider's path lie inside it.
    ExpectBox(BoundsOf(scene), D3DXVECTOR3(-8, -0.25f, -8), D3DXVECTOR3(8, 2, 8));

    scene.getMeshNode(0)->hidden = 1;  // without the plate: the red box and the slider's whole path
    ExpectBox(BoundsOf(scene), D3DXVECTOR3(-4.75f, 0, -3.75f), D3DXVECTOR3(4.75f, 2, 3));
}

TEST(SceneBoundsTest, AnAnimationCountsWhereverItGoesAndABillboardAsASphere) {
    tarn::trs::TrsScene description;
    AddBox(description, 0, 0, 0, 1, 1, 1);
    tarn::trs::TrsMeshNode mover = MeshOfLastBuffers(description, "Mover", -1);
    mover.positionKeys = {{0, 0, 0, 0}, {1, 10, 0, 0}};  // to x = 10 and beyond the last key back to 0
    description.meshes.push_back(mover);
    tarn::trs::TrsMeshNode post = MeshOfLastBuffers(description, "Post", -1, tarn::trs::TrsTranslation(0, 0, -20));
    post.billboard = 3;
    description.meshes.push_back(post);
    NullSceneDevice device;
    CTRScene scene;
    ASSERT_TRUE(Load(scene, description)) << scene.getLoadError();
    const float reach = std::sqrt(3.0f);  // a corner of the unit box, whichever way it turns
    ExpectBox(BoundsOf(scene), D3DXVECTOR3(-reach, -reach, -20 - reach), D3DXVECTOR3(10.999f, reach, 1));
}

TEST(SceneBoundsTest, NothingDrawnIsAnEmptyBox) {
    tarn::trs::TrsScene description;
    AddBox(description, 0, 0, 0, 1, 1, 1);
    NullSceneDevice device;
    CTRScene scene;
    ASSERT_TRUE(Load(scene, description)) << scene.getLoadError();
    const SceneBox box = BoundsOf(scene);
    EXPECT_TRUE(box.empty);
    EXPECT_GT(box.Radius(), 0.0f);
}

// At the framing distance a sphere just fits: its silhouette's half-angle is the smaller half field of view.
TEST(SceneBoundsTest, TheFramingDistanceFitsTheSphereOnBothAxes) {
    struct Case {
        float fov, aspect;
    } const kCases[] = {{0.785398185f, 4.0f / 3.0f}, {0.785398185f, 0.5f}, {1.2f, 1.0f}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.aspect);
        const float d = FramingDistance(5, c.fov, c.aspect);
        const float silhouette = std::asin(5 / d);
        const float horizontal = std::atan(std::tan(c.fov / 2) * c.aspect);
        EXPECT_NEAR(silhouette, std::min(c.fov / 2, horizontal), 1e-5f);
    }
}

}  // namespace
