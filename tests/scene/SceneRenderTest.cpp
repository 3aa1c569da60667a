#include "SceneTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace tarn::test;
using namespace tarn::trs;
using Calls = std::vector<std::string>;

namespace {

// Two vertex buffers (3 and 4 vertices), two index buffers (1 and 2 triangles), two materials and three texture
// names that do not exist (entries without texture). Mesh nodes are added per test.
class SceneRender : public SceneFixture {
protected:
    TrsScene base() {
        TrsScene d;
        d.textures = {"t0.tga", "t1.tga", "t2.tga"};
        d.materials = {TrsMaterial{}, TrsMaterial{}};
        d.vertexBuffers = {TriangleVertices(3), TriangleVertices(4)};
        d.indexBuffers = {TriangleIndices(1), TriangleIndices(2)};
        return d;
    }
    // Loads the scene and names its buffers in the log: vb0, vb1, ib0, ib1.
    void load(const TrsScene& d) {
        testing::internal::CaptureStderr();  // the "File Not Found!" boxes
        scene = std::make_unique<CTRScene>();  // every load starts from a new scene and a new cache
        ASSERT_TRUE(LoadScene(*scene, d)) << scene->getLoadError();
        testing::internal::GetCapturedStderr();
        for (std::size_t i = 0; i < scene->getVertexBuffers().size(); ++i)
            device.name(scene->getVertexBuffers()[i]->buffer, "vb" + std::to_string(i));
        for (std::size_t i = 0; i < scene->getIndexBuffers().size(); ++i)
            device.name(scene->getIndexBuffers()[i]->buffer, "ib" + std::to_string(i));
        device.clear();
    }
    static TrsMeshNode node(std::int32_t vb, std::int32_t ib, std::int32_t material, std::int32_t texture) {
        TrsMeshNode n;
        n.vertexBuffer = vb;
        n.indexBuffer = ib;
        n.material = material;
        n.texture = texture;
        return n;
    }
    // Draws mesh node `index` alone through the scene's cache and returns its calls.
    Calls draw(std::size_t index) {
        device.clear();
        scene->drawMesh(*scene->getMeshNode(index));
        return device.calls;
    }

    std::unique_ptr<CTRScene> scene;
};

const Calls kAllSixStates = {"SetRenderState(7,1)",  "SetRenderState(14,1)", "SetRenderState(27,0)",
                             "SetRenderState(19,2)", "SetRenderState(20,1)", "SetRenderState(22,3)"};

Calls Join(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace

TEST_F(SceneRender, FirstNodeSendsEverythingAndAnIdenticalNodeOnlyTransformAndDraw) {
    TrsScene d = base();
    d.meshes = {node(1, 1, 0, 2), node(1, 1, 0, 2)};
    load(d);
    scene->render();
    const Calls first = Join({{"SetStreamSource(0,vb1,0,32)", "SetFVF(274)", "SetIndices(ib1)",
                               "SetTexture(0,null)", "SetMaterial(ptr)"},
                              kAllSixStates,
                              {"SetTransform(256,ptr)", "DrawIndexedPrimitive(4,0,0,4,0,2)"}});
    const Calls second = {"SetTransform(256,ptr)", "DrawIndexedPrimitive(4,0,0,4,0,2)"};
    EXPECT_EQ(device.calls, Join({first, second}));

    // The cache outlives the frame: the next frame repeats only transforms and draws.
    device.clear();
    scene->render();
    EXPECT_EQ(device.calls, Join({second, second}));
}

// Forgetting the cache makes the next node send everything again, as the first node of a new scene does.
TEST_F(SceneRender, AForgottenCacheSendsEverythingAgain) {
    TrsScene d = base();
    d.meshes = {node(1, 1, 0, 2)};
    load(d);
    const Calls first = draw(0);
    EXPECT_EQ(draw(0), (Calls{"SetTransform(256,ptr)", "DrawIndexedPrimitive(4,0,0,4,0,2)"}));
    scene->forgetDrawState();
    EXPECT_EQ(draw(0), first);
}

TEST_F(SceneRender, EnablesCompareAsTruthValuesAndBlendsAsNumbers) {
    struct Case {
        const char* what;
        std::uint8_t before, after;  // zEnable, then srcBlend, for two consecutive nodes
        Calls zCalls, blendCalls;    // what the second node sends for each
    } cases[] = {
        {"2 after 2 sends again", 2, 2, {"SetRenderState(7,2)"}, {}},
        {"1 after 2 sends nothing", 2, 1, {}, {"SetRenderState(19,1)"}},
        {"0 after 1 sends", 1, 0, {"SetRenderState(7,0)"}, {"SetRenderState(19,0)"}},
        {"5 after 5: blend unchanged, enable 5 sends", 5, 5, {"SetRenderState(7,5)"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrsScene d = base();
        TrsMeshNode a = node(0, 0, -1, -1), b = a;
        a.zEnable = c.before;
        a.srcBlend = c.before;
        b.zEnable = c.after;
        b.srcBlend = c.after;
        d.meshes = {a, b};
        load(d);
        draw(0);
        const Calls calls = draw(1);
        EXPECT_EQ(calls, Join({c.zCalls, c.blendCalls, {"SetTransform(256,ptr)", "DrawIndexedPrimitive(4,0,0,3,0,1)"}}));
    }
}

TEST_F(SceneRender, TextureIndexMinusOneKeepsAndBelowMinusOneBindsNothing) {
    TrsScene d = base();
    d.meshes = {node(0, 0, -1, 1), node(0, 0, -1, -1), node(0, 0, -1, -7), node(0, 0, -1, 1), node(0, 0, -1, -7)};
    load(d);
    EXPECT_EQ(device.callsStartingWith("SetTexture").size(), 0u);
    const Calls tail = {"SetTransform(256,ptr)", "DrawIndexedPrimitive(4,0,0,3,0,1)"};
    EXPECT_EQ(draw(0), Join({{"SetStreamSource(0,vb0,0,32)", "SetFVF(274)", "SetIndices(ib0)", "SetTexture(0,null)"},
                             kAllSixStates, tail}));
    EXPECT_EQ(draw(1), tail) << "-1 draws with the texture already bound";
    EXPECT_EQ(draw(2), tail) << "-7 binds nothing";
    EXPECT_EQ(draw(3), Join({{"SetTexture(0,null)"}, tail})) << "-7 was remembered, so 1 is bound again";
    EXPECT_EQ(draw(4), tail);
    EXPECT_EQ(draw(4), tail);
}

TEST_F(SceneRender, OutOfRangeIndicesStopAtTheirStep) {
    struct Case {
        const char* what;
        TrsMeshNode n;
        Calls calls;
    } cases[] = {
        {"vertex buffer == count", node(2, 0, 0, 0), {}},
        {"vertex buffer negative", node(-1, 0, 0, 0), {}},
        {"index buffer out of range", node(1, 2, 0, 0), {"SetStreamSource(0,vb1,0,32)", "SetFVF(274)"}},
        {"texture == entry count", node(1, 1, 0, 3),
         {"SetStreamSource(0,vb1,0,32)", "SetFVF(274)", "SetIndices(ib1)"}},
        {"material out of range", node(1, 1, 2, 0),
         {"SetStreamSource(0,vb1,0,32)", "SetFVF(274)", "SetIndices(ib1)", "SetTexture(0,null)"}},
        {"material below -1", node(1, 1, -2, 0),
         {"SetStreamSource(0,vb1,0,32)", "SetFVF(274)", "SetIndices(ib1)", "SetTexture(0,null)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrsScene d = base();
        d.meshes = {c.n, node(1, 1, 1, 1)};
        load(d);
        EXPECT_EQ(draw(0), c.calls);
        // The next node finds the cache as the stopped node left it.
        const Calls next = draw(1);
        EXPECT_EQ(next.back(), "DrawIndexedPrimitive(4,0,0,4,0,2)");
        EXPECT_EQ(std::count(next.begin(), next.end(), "SetIndices(ib1)"), c.calls.size() < 3 ? 1 : 0);
    }
}

TEST_F(SceneRender, BillboardsTakeTheCameraRotationAndKeepTheirTranslation) {
    TrsScene d = base();
    for (std::uint8_t mode : {0, 1, 2, 3, 9}) {
        TrsMeshNode n = node(0, 0, -1, -1);
        n.matrix = TrsTranslation(5, 0, 0);
        n.matrix[0] = n.matrix[5] = n.matrix[10] = 2;  // scale 2
        n.billboard = mode;
        d.meshes.push_back(n);
    }
    load(d);
    CTRCamera* camera = scene->getCamera(0);
    camera->setLookAt(TRVec3Set(3, 4, -5), TRVec3Set(0, 0, 0), TRVec3Set(0, 1, 0));
    device.clear();
    scene->render();
    ASSERT_EQ(device.transforms.size(), 5u);
    const D3DXMATRIX* expected[5] = {nullptr, &camera->yawMatrix, &camera->rollMatrix, &camera->facingMatrix,
                                     nullptr};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const D3DMATRIX& w = device.transforms[i];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(w.m[r][c], expected[i] ? expected[i]->m[r][c] : (r == c ? 2.0f : 0.0f));
        EXPECT_EQ(w._41, 5.0f);
        EXPECT_EQ(w._42, 0.0f);
        EXPECT_EQ(w._44, 1.0f);
    }
    // Mode 3 carries the camera-facing rotation: the transposed view rotation, with no scale.
    const D3DXMATRIX& view = camera->getViewMatrix();
    EXPECT_FLOAT_EQ(device.transforms[3]._12, view._21);
    const float rowLength = std::sqrt(device.transforms[3]._11 * device.transforms[3]._11 +
                                      device.transforms[3]._12 * device.transforms[3]._12 +
                                      device.transforms[3]._13 * device.transforms[3]._13);
    EXPECT_NEAR(rowLength, 1.0f, 1e-6);
}

TEST_F(SceneRender, HiddenNodesCostNothingAndFormatResetSendsOnce) {
    TrsScene d = base();
    d.meshes = {node(0, 0, -1, -1), node(1, 0, -1, -1), node(0, 0, -1, -1)};
    load(d);
    scene->getMeshNode(1)->hidden = 1;
    scene->render();
    device.clear();
    EXPECT_TRUE(draw(1).empty());

    scene->getMeshNode(1)->hidden = 0;
    scene->setCurrentFVF(-1);
    device.clear();
    scene->render();
    EXPECT_EQ(device.callsStartingWith("SetStreamSource"),
              (Calls{"SetStreamSource(0,vb1,0,32)", "SetStreamSource(0,vb0,0,32)"}));
    EXPECT_EQ(device.callsStartingWith("SetFVF"), (Calls{"SetFVF(274)"}));
    EXPECT_EQ(scene->getCurrentFVF(), 274);
}

TEST_F(SceneRender, LightingIsNotTouchedByTheDraw) {
    TrsScene d = base();
    d.lights = {TrsLight{}};
    d.meshes = {node(0, 0, 0, 0)};
    load(d);
    scene->render();
    for (const std::string& c : device.calls) EXPECT_EQ(c.find("SetRenderState(137"), std::string::npos);
    EXPECT_TRUE(device.callsStartingWith("SetLight").empty());
}
