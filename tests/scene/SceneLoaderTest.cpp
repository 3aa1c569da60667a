#include "tools/trsinfo/NullSceneDevice.h"
#include "SceneTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

using namespace tarn::test;
using namespace tarn::trs;
using ::testing::HasSubstr;

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A scene touching every section and every node feature, without textures (which need image files).
TrsScene EverySection(std::int32_t version = 11) {
    TrsScene d;
    d.version = version;
    d.materials = {TrsMaterial{}, TrsMaterial{}};
    d.vertexBuffers = {TriangleVertices(3), TriangleVertices(4)};
    d.indexBuffers = {TriangleIndices(1), TriangleIndices(2)};
    TrsMeshNode mesh;
    mesh.name = "Mesh";
    mesh.userData = {1, 2, 3, 4, 5};
    mesh.positionKeys = {{0, 0, 0, 0}, {1, 1, 0, 0}};
    mesh.rotationKeys = {{0, 0, 0, 0, 1}};
    mesh.scaleKeys = {{0, 1, 1, 1}, {1, 2, 2, 2}};
    mesh.material = 1;
    d.meshes = {mesh, TrsMeshNode{}};
    d.lights = {TrsLight{}};
    TrsCamera camera;
    camera.userData = {42};
    d.cameras = {camera};
    TrsNode dummy;
    dummy.rotationKeys = {{0, 0, 0, 0, 1}, {3, 0, 0, 0, 1}};
    d.dummies = {dummy};
    return d;
}

}  // namespace

TEST_F(SceneFixture, SmallestFileHasOnlyTheDefaultCamera) {
    TrsScene d;
    const auto bytes = WriteTrs(d);
    ASSERT_EQ(bytes.size(), 36u);
    CTRScene scene;
    ASSERT_TRUE(LoadBytes(scene, bytes, bytes.size()));
    EXPECT_STREQ(scene.getLoadError(), "");
    EXPECT_TRUE(scene.getMeshNodes().empty() && scene.getVertexBuffers().empty() &&
                scene.getIndexBuffers().empty() && scene.getMaterials().empty() && scene.getLights().empty() &&
                scene.getDummyNodes().empty());
    ASSERT_NE(scene.getTextureList(), nullptr);
    EXPECT_TRUE(scene.getTextureList()->entries.empty());
    ASSERT_EQ(scene.getCameras().size(), 1u);
    EXPECT_STREQ(scene.getCamera(0)->name, "NoneCamera");
    EXPECT_TRUE(device.callsStartingWith("SetRenderState").empty()) << "no lights: lighting untouched";

    // The default camera's projection and view are set during the load, projection first.
    ASSERT_EQ(device.calls, (std::vector<std::string>{"SetTransform(3,ptr)", "SetTransform(2,ptr)"}));
    const D3DMATRIX& proj = device.transforms[0];
    const float yScale = 1.0f / std::tan(0.785398185f / 2);
    EXPECT_FLOAT_EQ(proj._22, yScale);
    EXPECT_FLOAT_EQ(proj._11, yScale / (800.0f / 600.0f));
    EXPECT_FLOAT_EQ(proj._33, 1000.0f / 999.0f);
    EXPECT_FLOAT_EQ(proj._43, -1000.0f / 999.0f);
    EXPECT_EQ(proj._34, 1.0f);
    // From (1, 0, 0) towards the origin, up y: the origin lies one unit ahead.
    const D3DMATRIX& view = device.transforms[1];
    const float expected[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR((&view._11)[i], expected[i], 1e-6) << i;
}

TEST_F(SceneFixture, CameraRecordKeepsFarBeforeNear) {
    TrsScene d;
    TrsCamera camera;
    camera.fieldOfView = 1.0f;
    camera.farPlane = 500;
    camera.nearPlane = 2;
    camera.eye = {0, 0, -10};
    d.cameras = {camera, TrsCamera{}};
    CTRScene scene;
    ASSERT_TRUE(LoadScene(scene, d));
    ASSERT_EQ(scene.getCameras().size(), 2u);
    EXPECT_EQ(scene.getCamera(0)->farPlane, 500.0f);
    EXPECT_EQ(scene.getCamera(0)->nearPlane, 2.0f);
    EXPECT_FLOAT_EQ(scene.getCamera(0)->getProjectionMatrix()._33, 500.0f / 498.0f);
    ASSERT_EQ(device.transforms.size(), 2u) << "only camera 0 is applied";
    EXPECT_FLOAT_EQ(device.transforms[0]._33, 500.0f / 498.0f);
    EXPECT_FLOAT_EQ(device.transforms[1]._43, 10.0f);

    // setLookAt sends the view only and leaves the projection as it was.
    device.clear();
    const D3DXMATRIX projection = scene.getCamera(0)->getProjectionMatrix();
    scene.getCamera(0)->setLookAt(TRVec3Set(0, 0, -5), TRVec3Set(0, 0, 0), TRVec3Set(0, 1, 0));
    EXPECT_EQ(device.calls, (std::vector<std::string>{"SetTransform(2,ptr)"}));
    EXPECT_EQ(std::memcmp(&projection, &scene.getCamera(0)->getProjectionMatrix(), sizeof projection), 0);
    EXPECT_FLOAT_EQ(scene.getCamera(0)->getWorldMatrix()._43, -5.0f);
    EXPECT_EQ(scene.getCamera(0)->yawMatrix._11, 1.0f) << "looking along +z: yaw is the identity";
}

TEST_F(SceneFixture, RenderStateBytesOnlyAboveVersion10) {
    TrsMeshNode mesh;
    mesh.zEnable = 0;
    mesh.zWriteEnable = 0;
    mesh.alphaBlendEnable = 1;
    mesh.srcBlend = 5;
    mesh.destBlend = 6;
    mesh.billboard = 3;
    mesh.cullMode = 1;
    mesh.boundCentre = {4, 5, 6};
    mesh.boundRadius = 7;
    mesh.matrix = TrsTranslation(1, 0, 0);
    mesh.vertexBuffer = 8;
    mesh.texture = -1;
    struct Case {
        std::int32_t version;
        std::uint8_t states[7];
    } cases[] = {{10, {1, 1, 0, 2, 1, 0, 3}}, {-5, {1, 1, 0, 2, 1, 0, 3}}, {11, {0, 0, 1, 5, 6, 3, 1}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        TrsScene d;
        d.version = c.version;
        d.meshes = {mesh};
        d.dummies = {TrsNode{}};  // reading on past the node proves its length was right
        CTRScene scene;
        ASSERT_TRUE(LoadScene(scene, d)) << scene.getLoadError();
        EXPECT_EQ(g_TRSFileVersion, c.version);
        const CTRMeshNode& n = *scene.getMeshNode(0);
        const std::uint8_t got[7] = {n.zEnable,   n.zWriteEnable, n.alphaBlendEnable, n.srcBlend,
                                     n.destBlend, n.billboard,    n.cullMode};
        EXPECT_EQ(std::memcmp(got, c.states, 7), 0);
        EXPECT_EQ(n.boundCentre[2], 6.0f);
        EXPECT_EQ(n.boundRadius, 7.0f);
        EXPECT_EQ(n.worldBoundCentre[0], 5.0f);
        EXPECT_EQ(n.vertexBufferIndex, 8);
        EXPECT_EQ(n.hidden, 0);
        EXPECT_EQ(scene.getDummyNodes().size(), 1u);
    }
}

TEST_F(SceneFixture, LightsTurnLightingOnAndEnableEachIndex) {
    TrsScene d;
    d.lights = {TrsLight{}, TrsLight{}, TrsLight{}};
    CTRScene scene;
    ASSERT_TRUE(LoadScene(scene, d));
    const std::vector<std::string> expected = {
        "SetRenderState(137,1)", "SetLight(0,ptr)", "LightEnable(0,1)", "SetLight(1,ptr)", "LightEnable(1,1)",
        "SetLight(2,ptr)",       "LightEnable(2,1)", "SetTransform(3,ptr)", "SetTransform(2,ptr)"};
    EXPECT_EQ(device.calls, expected);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(scene.getLights()[i]->lightIndex, i);
        EXPECT_EQ(scene.getLights()[i]->enabled, 1);
    }
}

TEST_F(SceneFixture, ResourcesAreUploadedOnceIntoManagedBuffers) {
    TrsScene d;
    d.vertexBuffers = {TriangleVertices(3)};
    d.indexBuffers = {TriangleIndices(2)};
    d.indexBuffers[0].indices[4] = 0xBEEF;
    CTRScene scene;
    ASSERT_TRUE(LoadScene(scene, d));
    EXPECT_EQ(device.calls[0], "CreateVertexBuffer(96,0,274,1)");
    EXPECT_EQ(device.calls[1], "CreateIndexBuffer(12,0,101,1)");
    const auto* vb = static_cast<FakeVertexBuffer*>(scene.getVertexBuffers()[0]->buffer);
    const auto* ib = static_cast<FakeIndexBuffer*>(scene.getIndexBuffers()[0]->buffer);
    EXPECT_EQ(std::memcmp(vb->bytes(), d.vertexBuffers[0].vertices.data(), 96), 0);
    EXPECT_EQ(ib->bytes()[8], 0xEF);
    EXPECT_EQ(scene.getVertexBuffers()[0]->vertexCount, 3);
    EXPECT_EQ(scene.getVertexBuffers()[0]->vertexFormat, 274);
    EXPECT_EQ(scene.getIndexBuffers()[0]->triangleCount, 2);
    EXPECT_EQ(device.liveBuffers, 2);
}

TEST_F(SceneFixture, TexturePathsAndMissingFiles) {
    // No image exists under these names: every occurrence is reported and gets an entry without texture.
    TrsScene d;
    d.textures = {"C:/art/rock.tga", "sand.tga", "sand.tga", "x"};
    const auto bytes = WriteTrs(d);
    const std::string path = TempPath("tex.TRS");
    WriteBytes(path, bytes, bytes.size());
    const std::size_t slash = path.rfind('/');
    const std::string dir = path.substr(0, slash + 1), file = path.substr(slash + 1);

    testing::internal::CaptureStderr();
    CTRScene scene;
    const bool loaded = scene.load(dir.c_str(), file.c_str());
    const std::string boxes = testing::internal::GetCapturedStderr();
    std::remove(path.c_str());
    ASSERT_TRUE(loaded) << scene.getLoadError();

    const auto& entries = scene.getTextureList()->entries;
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_STREQ(entries[0]->path, "C:/art/rock.tga");  // a drive letter: unchanged
    EXPECT_EQ(std::string(entries[1]->path), dir + "sand.tga");
    EXPECT_EQ(std::string(entries[3]->path), dir + "x");
    for (const CTRTextureEntry* e : entries) EXPECT_EQ(e->texture, nullptr);
    EXPECT_EQ(Count(boxes, "File Not Found!"), 4u) << boxes;
    EXPECT_EQ(Count(boxes, dir + "sand.tga File Not Found!"), 2u) << "a missing file is tried and reported twice";
    EXPECT_THAT(boxes, HasSubstr("C:/art/rock.tga File Not Found!"));
}

TEST_F(SceneFixture, DirectoryIsPrefixedVerbatim) {
    // A "directory" without a trailing separator is a plain prefix, for the scene file and its textures alike.
    TrsScene d;
    d.textures = {"name.tga"};
    const auto bytes = WriteTrs(d);
    const std::string path = TempPath("join.TRS");
    WriteBytes(path, bytes, bytes.size());
    const std::size_t cut = path.rfind('_');
    const std::string prefix = path.substr(0, cut + 1);
    CTRScene scene;
    testing::internal::CaptureStderr();
    const bool loaded = scene.load(prefix.c_str(), "join.TRS");
    testing::internal::GetCapturedStderr();
    std::remove(path.c_str());
    ASSERT_TRUE(loaded) << scene.getLoadError();
    EXPECT_EQ(std::string(scene.getTextureList()->entries[0]->path), prefix + "name.tga");
}

TEST_F(SceneFixture, SecondLoadIsRefusedBeforeReading) {
    CTRScene scene;
    ASSERT_TRUE(LoadScene(scene, EverySection()));
    const CTRTextureList* list = scene.getTextureList();
    const std::size_t meshes = scene.getMeshNodes().size();
    device.clear();
    EXPECT_FALSE(LoadScene(scene, EverySection()));
    EXPECT_STREQ(scene.getLoadError(), "the scene is already loaded");
    EXPECT_TRUE(device.calls.empty());
    EXPECT_EQ(scene.getTextureList(), list);
    EXPECT_EQ(scene.getMeshNodes().size(), meshes);
    EXPECT_EQ(scene.getMaterials().size(), 2u);
}

TEST_F(SceneFixture, UnopenableFileLeavesAnEmptyTextureList) {
    CTRScene scene;
    EXPECT_FALSE(scene.load("/nonexistent-dir/", "none.TRS"));
    ASSERT_NE(scene.getTextureList(), nullptr);
    EXPECT_TRUE(scene.getTextureList()->entries.empty());
    EXPECT_TRUE(scene.getCameras().empty());
    EXPECT_TRUE(device.calls.empty());
    // Nothing was loaded, so a later load may still fill it.
    EXPECT_TRUE(LoadScene(scene, TrsScene{}));
    scene.render();
}

TEST_F(SceneFixture, BadInputFailsCleanly) {
    // Each case builds a file by hand after the given prefix of sections.
    auto header = [](std::int32_t version = 11) {
        TrsByteSink s;
        s.i32(version);
        return s;
    };
    auto emptyUntilVertexBuffers = [&] {
        TrsByteSink s = header();
        s.i32(0);  // textures
        s.i32(0);  // materials
        return s;
    };
    auto emptyUntilMeshes = [&] {
        TrsByteSink s = emptyUntilVertexBuffers();
        s.i32(0);
        s.i32(0);
        return s;
    };
    TrsNode plain;
    struct Case {
        const char* what;
        TrsByteSink file;
        const char* directory;
        const char* error;
    };
    std::vector<Case> cases;
    {
        TrsByteSink s = emptyUntilVertexBuffers();
        s.i32(1);
        s.i32(-3);  // vertex count
        cases.push_back({"negative vertex count", s, nullptr, "vertex buffer 0"});
    }
    {
        TrsByteSink s = emptyUntilVertexBuffers();
        s.i32(1);
        s.i32(0x7fffffff);  // far more vertices than bytes
        s.bytes(std::vector<std::uint8_t>(64).data(), 64);
        cases.push_back({"vertex count past the end", s, nullptr, "vertex buffer 0"});
    }
    {
        TrsByteSink s = emptyUntilVertexBuffers();
        s.i32(0);
        s.i32(1);
        s.i32(-1);  // triangle count
        cases.push_back({"negative triangle count", s, nullptr, "index buffer 0"});
    }
    {
        TrsByteSink s = header();
        s.i32(2000000000);  // texture count whose names cannot fit
        cases.push_back({"texture count past the end", s, nullptr, "texture section"});
    }
    {
        TrsByteSink s = emptyUntilMeshes();
        s.i32(1);
        TrsByteSink node;
        WriteTrsNodeHeader(node, plain);
        std::int32_t negative = -1;
        std::memcpy(node.data().data() + 92, &negative, 4);  // nUser
        s.bytes(node.data().data(), node.size());
        s.bytes(std::vector<std::uint8_t>(64).data(), 64);
        cases.push_back({"negative user-data length", s, nullptr, "mesh node 0"});
    }
    {
        TrsByteSink s = emptyUntilMeshes();
        s.i32(0);  // meshes
        s.i32(1);  // lights
        TrsByteSink node;
        WriteTrsNodeHeader(node, plain);
        std::int32_t huge = 1 << 28;
        std::memcpy(node.data().data() + 100, &huge, 4);  // nRot
        s.bytes(node.data().data(), node.size());
        s.bytes(std::vector<std::uint8_t>(200).data(), 200);
        cases.push_back({"key count past the end", s, nullptr, "light 0"});
    }
    {
        TrsByteSink s = emptyUntilMeshes();
        s.i32(0);
        s.i32(0);
        s.i32(1);  // cameras
        TrsByteSink node;
        WriteTrsNodeHeader(node, plain);
        std::int32_t negative = -2;
        std::memcpy(node.data().data() + 104, &negative, 4);  // nScale
        s.bytes(node.data().data(), node.size());
        s.bytes(std::vector<std::uint8_t>(48).data(), 48);
        cases.push_back({"negative scale key count", s, nullptr, "camera 0"});
    }
    {
        TrsByteSink s = header();
        s.i32(1);
        s.fixedString(std::string(256, 'n'), 256, false);
        cases.push_back({"texture name without terminator", s, nullptr, "longer than its field"});
    }
    {
        TrsByteSink s = header();
        s.i32(1);
        s.fixedString(std::string(255, 'n'), 256);
        cases.push_back({"texture path past 259 characters", s, nullptr, "path longer than 259"});
    }
    {
        cases.push_back({"scene path past 255 characters", header(), "x", "path longer than 255"});
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        CTRScene scene;
        bool loaded;
        if (c.directory) {
            const std::string longDirectory = TempPath("") + std::string(250, 'd') + "/";
            loaded = scene.load(longDirectory.c_str(), "a.TRS");
        } else {
            testing::internal::CaptureStderr();
            loaded = LoadBytes(scene, c.file.data(), c.file.size());
            testing::internal::GetCapturedStderr();
        }
        EXPECT_FALSE(loaded);
        EXPECT_THAT(scene.getLoadError(), HasSubstr(c.error));
        scene.render();
    }
    EXPECT_EQ(device.liveBuffers, 0);
}

TEST_F(SceneFixture, NegativeSectionCountsAreEmptyLists) {
    TrsByteSink s;
    s.i32(11);
    for (int i = 0; i < 8; ++i) s.i32(-1 - i);
    CTRScene scene;
    ASSERT_TRUE(LoadBytes(scene, s.data(), s.size())) << scene.getLoadError();
    EXPECT_EQ(scene.getCameras().size(), 1u);
    EXPECT_TRUE(scene.getLights().empty());
    // A light count that is not zero turns lighting on even when, being negative, it means no lights.
    EXPECT_EQ(device.callsStartingWith("SetRenderState"), std::vector<std::string>{"SetRenderState(137,1)"});
    EXPECT_TRUE(device.callsStartingWith("LightEnable").empty());
}

TEST_F(SceneFixture, LightTypesGoToTheDeviceUnchanged) {
    TrsScene d;
    for (std::int32_t type : {-7, INT32_MIN, 0, 4, 2}) {
        TrsLight light;
        light.type = type;
        d.lights.push_back(light);
    }
    CTRScene scene;
    ASSERT_TRUE(LoadScene(scene, d)) << scene.getLoadError();
    ASSERT_EQ(scene.getLights().size(), d.lights.size());
    for (std::size_t i = 0; i < d.lights.size(); ++i) {
        EXPECT_EQ(static_cast<std::int32_t>(scene.getLights()[i]->light.Type), d.lights[i].type);
        EXPECT_EQ(scene.getLights()[i]->light.Range, 1000.0f);
    }
    EXPECT_EQ(device.callsStartingWith("LightEnable").size(), d.lights.size());
}

// Every count the reader takes from the file is checked against the bytes that follow it before anything is
// allocated for it: one more record than the rest of the file can hold fails with the count named as the
// cause.
TEST_F(SceneFixture, EveryCountIsBoundedByTheRestOfTheFile) {
    TrsByteSink s;
    std::map<std::string, std::size_t> at;  // offset of each count in the file
    s.i32(11);
    at["texture"] = s.size();
    s.i32(0);
    at["material"] = s.size();
    s.i32(1);
    WriteTrsMaterial(s, TrsMaterial{});
    at["vertex-buffer"] = s.size();
    s.i32(1);
    at["vertex count"] = s.size();
    WriteTrsVertexBuffer(s, TriangleVertices(3));
    at["index-buffer"] = s.size();
    s.i32(1);
    at["triangle count"] = s.size();
    WriteTrsIndexBuffer(s, TriangleIndices(1));
    at["mesh-node"] = s.size();
    s.i32(1);
    const std::size_t node = s.size();
    at["user-data length"] = node + 92;
    at["position keys"] = node + 96;
    at["rotation keys"] = node + 100;
    at["scale keys"] = node + 104;
    WriteTrsMeshNode(s, TrsMeshNode{}, 11);
    at["light"] = s.size();
    s.i32(1);
    WriteTrsLight(s, TrsLight{});
    at["camera"] = s.size();
    s.i32(1);
    WriteTrsCamera(s, TrsCamera{});
    at["dummy"] = s.size();
    s.i32(1);
    WriteTrsNodeHeader(s, TrsNode{});
    {
        CTRScene whole;
        ASSERT_TRUE(LoadBytes(whole, s.data(), s.size())) << whole.getLoadError();
    }

    struct Case {
        const char* count;
        std::size_t recordSize;  // the least one record (or key, or byte) of that count takes
        const char* error;
    } const cases[] = {
        {"texture", 256, "texture section"},
        {"material", 68, "material section"},
        {"vertex-buffer", 4, "vertex-buffer section"},
        {"vertex count", 32, "vertex buffer 0"},
        {"index-buffer", 4, "index-buffer section"},
        {"triangle count", 6, "index buffer 0"},
        {"mesh-node", 108 + 39, "mesh-node section"},
        {"user-data length", 1, "mesh node 0"},
        {"position keys", 16, "mesh node 0"},
        {"rotation keys", 20, "mesh node 0"},
        {"scale keys", 16, "mesh node 0"},
        {"light", 108 + 104, "light section"},
        {"camera", 108 + 48, "camera section"},
        {"dummy", 108, "dummy section"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        std::vector<std::uint8_t> bytes = s.data();
        const std::size_t offset = at.at(c.count);
        const std::size_t rest = bytes.size() - offset - 4;
        const auto tooMany = static_cast<std::int32_t>(rest / c.recordSize + 1);
        std::memcpy(bytes.data() + offset, &tooMany, 4);
        CTRScene scene;
        EXPECT_FALSE(LoadBytes(scene, bytes, bytes.size()));
        EXPECT_THAT(scene.getLoadError(), HasSubstr(c.error));
        EXPECT_THAT(scene.getLoadError(), HasSubstr("larger than the rest of the file"));
        scene.render();
    }
    EXPECT_EQ(device.liveBuffers, 0);
}

TEST_F(SceneFixture, DeviceFailureFailsTheLoadWithoutLeaks) {
    TrsScene indexOnly;
    indexOnly.materials = {TrsMaterial{}};
    indexOnly.indexBuffers = {TriangleIndices(1)};
    struct Case {
        const char* what;
        bool CallRecordingDevice::*failure;
        TrsScene scene;
        const char* error;
    } const cases[] = {
        {"vertex creation", &CallRecordingDevice::failVertexBufferCreation, EverySection(),
         "vertex buffer 0 at byte 152: the device could not create the vertex buffer"},
        {"vertex lock", &CallRecordingDevice::failBufferLock, EverySection(),
         "vertex buffer 0 at byte 152: the device could not lock the vertex buffer"},
        {"index creation", &CallRecordingDevice::failIndexBufferCreation, EverySection(),
         "index buffer 0 at byte 388: the device could not create the index buffer"},
        {"index lock", &CallRecordingDevice::failBufferLock, indexOnly,
         "index buffer 0 at byte 88: the device could not lock the index buffer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        device.*c.failure = true;
        {
            CTRScene scene;
            EXPECT_FALSE(LoadScene(scene, c.scene));
            EXPECT_STREQ(scene.getLoadError(), c.error);
            EXPECT_EQ(scene.getMaterials().size(), c.scene.materials.size()) << "what was read stays";
            scene.render();
            // What the failed load kept is refused as such, not as a loaded scene.
            device.*c.failure = false;
            EXPECT_FALSE(LoadScene(scene, c.scene));
            EXPECT_STREQ(scene.getLoadError(), "the scene holds what an earlier failed load read");
        }
        EXPECT_EQ(device.liveBuffers, 0);
    }
}

TEST_F(SceneFixture, TruncationAtEveryByteFailsCleanly) {
    for (std::int32_t version : {10, 11}) {
        const auto bytes = WriteTrs(EverySection(version));
        {
            CTRScene whole;
            ASSERT_TRUE(LoadBytes(whole, bytes, bytes.size())) << whole.getLoadError();
            EXPECT_EQ(whole.getDummyNodes().size(), 1u);
            ASSERT_NE(whole.getDummyNodes()[0]->animation, nullptr);
            EXPECT_EQ(whole.getDummyNodes()[0]->animation->length, 3.0f);
            EXPECT_EQ(whole.getCamera(0)->userData[0], 42);
        }
        device.recording = false;
        for (std::size_t size = 0; size < bytes.size(); ++size) {
            CTRScene scene;
            ASSERT_FALSE(LoadBytes(scene, bytes, size)) << "cut at " << size;
            ASSERT_STRNE(scene.getLoadError(), "") << "cut at " << size;
            scene.render();
            scene.setCurrentFVF(-1);
            scene.render();
        }
        device.recording = true;
        EXPECT_EQ(device.liveBuffers, 0) << "version " << version;
    }
}

TEST(SceneTextures, SharedTextureHoldsOneReferencePerEntry) {
    NullSceneDevice nullDevice;
    ASSERT_NE(nullDevice.device(), nullptr);
    // A 2 x 2 top-left-origin 32-bit TGA.
    TrsByteSink tga;
    const std::uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0x28};
    tga.bytes(header, sizeof header);
    for (int i = 0; i < 4; ++i) tga.i32(static_cast<std::int32_t>(0xff102030u + i));
    const std::string scenePath = TempPath("shared.TRS");
    const std::size_t slash = scenePath.rfind('/');
    const std::string dir = scenePath.substr(0, slash + 1);
    const std::string imageName = "shared_" + scenePath.substr(slash + 1) + ".tga";
    WriteBytes(dir + imageName, tga.data(), tga.size());

    TrsScene d;
    d.textures = {imageName, "missing_" + imageName, imageName};
    const auto bytes = WriteTrs(d);
    WriteBytes(scenePath, bytes, bytes.size());
    {
        CTRScene scene;
        testing::internal::CaptureStderr();
        const bool loaded = scene.load(dir.c_str(), scenePath.substr(slash + 1).c_str());
        const std::string boxes = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(loaded) << scene.getLoadError();
        EXPECT_EQ(Count(boxes, "File Not Found!"), 1u) << boxes;
        const auto& entries = scene.getTextureList()->entries;
        ASSERT_EQ(entries.size(), 3u);
        ASSERT_NE(entries[0]->texture, nullptr);
        EXPECT_EQ(entries[1]->texture, nullptr);
        EXPECT_EQ(entries[2]->texture, entries[0]->texture);
        EXPECT_EQ(entries[0]->texture->AddRef(), 3u) << "one reference per entry";
        entries[0]->texture->Release();
        EXPECT_EQ(entries[0]->texture->GetLevelCount(), 2u) << "a full mip chain";
    }
    EXPECT_EQ(tarn::d3d9::LiveResourceCount(nullDevice.device()), 0u);
    std::remove(scenePath.c_str());
    std::remove((dir + imageName).c_str());
}
