// Real models nobody here made: files of Debian's assimp-testmodels imported by the whole tool (the parser in its
// child process included) and the written scenes loaded by the engine's own loader on the null device. The
// expected values come from the model files themselves, worked out by hand (noted at each).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "tests/tools/import/ImportTestSupport.h"
#include "texture/D3DXTexture.h"
#include "tools/import/ChildProcess.h"

using namespace tarn::import;
using namespace tarn::import::test;

namespace {

class TestModels : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTestModels()) GTEST_SKIP() << "assimp-testmodels is not installed";
    }
    // Imports kModels + `file` into the temporary folder; the scene is then `loaded`.
    RunResult Import(const std::string& file, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{kModels + file, "-o", dir.path(), "--max-memory", "1024", "--max-time", "10"};
        args.insert(args.end(), extra.begin(), extra.end());
        RunResult r = RunTool(args);
        std::string stem = std::filesystem::path(file).stem();
        if (r.status == 0) loaded = std::make_unique<LoadedScene>(dir.path(), stem + ".TRS");
        return r;
    }
    void ExpectBounds(Vec3d lo, Vec3d hi, double tolerance = 1e-5) {
        Vec3d a, b;
        loaded->bounds(&a, &b);
        EXPECT_NEAR(a.x, lo.x, tolerance);
        EXPECT_NEAR(a.y, lo.y, tolerance);
        EXPECT_NEAR(a.z, lo.z, tolerance);
        EXPECT_NEAR(b.x, hi.x, tolerance);
        EXPECT_NEAR(b.y, hi.y, tolerance);
        EXPECT_NEAR(b.z, hi.z, tolerance);
    }
    D3DXIMAGE_INFO TextureInfo(std::size_t index) {
        D3DXIMAGE_INFO info{};
        const CTRTextureList* list = loaded->scene->getTextureList();
        EXPECT_EQ(D3DXGetImageInfoFromFileA(list->entries.at(index)->path, &info), D3D_OK);
        return info;
    }
    CTRNode* Dummy(const std::string& name) {
        for (CTRNode* n : loaded->scene->getDummyNodes()) {
            if (NodeName(*n) == name) return n;
        }
        return nullptr;
    }
    TempDir dir;
    std::unique_ptr<LoadedScene> loaded;
};

// glTF 2.0 BoxTextured in its three forms: accessors give 24 vertices and 36 indices within +-0.5 on every axis,
// the material's base colour texture is CesiumLogoFlat.png (211 x 211, no alpha), no base colour factor.
TEST_F(TestModels, Gltf2BoxTexturedExternalBinaryAndEmbedded) {
    struct Case {
        const char* file;
        const char* texture;
    } const kCases[] = {{"glTF2/BoxTextured-glTF/BoxTextured.gltf", "BoxTextured_CesiumLogoFlat.dds"},
                        {"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", "BoxTextured_image0.dds"},
                        {"glTF2/BoxTextured-glTF-Embedded/BoxTextured.gltf", "BoxTextured_image0.dds"}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.file);
        const RunResult r = Import(c.file);
        ASSERT_EQ(r.status, 0) << r.text();
        EXPECT_EQ(r.warnings(), 0u) << r.text();
        ASSERT_TRUE(loaded->ok) << loaded->scene->getLoadError();
        EXPECT_EQ(loaded->triangles(), 12u);
        EXPECT_EQ(loaded->scene->getVertexBuffers()[0]->vertexCount, 24);
        ExpectBounds({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5});
        ASSERT_EQ(loaded->scene->getTextureList()->entries.size(), 1u);
        EXPECT_EQ(std::filesystem::path(loaded->scene->getTextureList()->entries[0]->path).filename(), c.texture);
        EXPECT_NE(loaded->scene->getTextureList()->entries[0]->texture, nullptr);
        const D3DXIMAGE_INFO info = TextureInfo(0);
        EXPECT_EQ(info.Format, D3DFMT_DXT1);
        EXPECT_EQ(info.Width, 256u);  // 211 rounded up to a power of two
        EXPECT_EQ(info.MipLevels, 9u);
        const D3DMATERIAL9& m = loaded->scene->getMaterials()[0]->material;
        EXPECT_EQ(m.Diffuse.r, 1);
        EXPECT_EQ(m.Diffuse.a, 1);
        const CTRMeshNode* mesh = loaded->scene->getMeshNodes()[0];
        EXPECT_EQ(mesh->alphaBlendEnable, 0);
        EXPECT_EQ(mesh->cullMode, 3);
        // No camera or light in the file: one of each, the camera looking at the box's centre.
        ASSERT_EQ(loaded->scene->getCameras().size(), 1u);
        EXPECT_NEAR(loaded->scene->getCameras()[0]->lookAt.x, 0, 1e-6);
        EXPECT_EQ(loaded->scene->getLights().size(), 1u);
        loaded.reset();
        for (const std::string& f : dir.files()) std::filesystem::remove(dir.file(f));
    }
}

// Cameras.gltf: camera 0 perspective (yfov 0.7, aspect 1, znear 0.01, zfar 100) on a node translated (0.5, 0.5, 3)
// looking down -z; camera 1 orthographic. The square (0..1 in x and y) is turned by the quaternion
// (-0.383, 0, 0, 0.92375), -45 degrees about x and not quite of unit length; its matrix as given takes y to
// 0..1 - 2 x^2 = 0.706622 and z to 0..-2 x w = -0.707592 (0..0.707592 mirrored).
TEST_F(TestModels, Gltf2CamerasKeepTheirFieldOfViewAndPlanes) {
    const RunResult r = Import("glTF2/cameras/Cameras.gltf");
    ASSERT_EQ(r.status, 0) << r.text();
    EXPECT_TRUE(r.saysWarning("camera 'nodes[2]': orthographic projection written as a perspective one"));
    ASSERT_TRUE(loaded->ok);
    ASSERT_EQ(loaded->scene->getCameras().size(), 2u);
    const CTRCamera& cam = *loaded->scene->getCameras()[0];
    EXPECT_FLOAT_EQ(cam.fieldOfView, 0.7f);
    EXPECT_FLOAT_EQ(cam.nearPlane, 0.01f);
    EXPECT_FLOAT_EQ(cam.farPlane, 100);
    EXPECT_FLOAT_EQ(cam.eye.x, 0.5f);
    EXPECT_FLOAT_EQ(cam.eye.y, 0.5f);
    EXPECT_FLOAT_EQ(cam.eye.z, -3);
    EXPECT_FLOAT_EQ(cam.lookAt.z, -2);  // towards the square, +z in the engine's frame
    EXPECT_EQ(loaded->triangles(), 2u);
    ExpectBounds({0, 0, 0}, {1, 0.706622, 0.707592}, 1e-5);
}

// lights.dae (COLLADA, Z up): Lamp a point light at (0, 1, 1) with attenuation 1, 0, 0.00111109; Sun directional
// pointing down -z of its Z-up node; Spot with falloff_angle 45; Hemi is ambient, which Direct3D has no light
// for; Area the parser itself makes a point light. Z up becomes y up in the parser, (0, 1, 1) becomes (0, 1, -1),
// mirrored (0, 1, 1).
TEST_F(TestModels, ColladaLights) {
    const RunResult r = Import("Collada/lights.dae");
    ASSERT_EQ(r.status, 0) << r.text();
    EXPECT_TRUE(r.saysWarning("light 'Hemi': ambient light dropped"));
    ASSERT_TRUE(loaded->ok);
    const auto& lights = loaded->scene->getLights();
    ASSERT_EQ(lights.size(), 4u);
    const D3DLIGHT9& lamp = lights[0]->light;
    EXPECT_EQ(NodeName(*lights[0]), "Lamp");
    EXPECT_EQ(lamp.Type, D3DLIGHT_POINT);
    EXPECT_NEAR(lamp.Position.x, 0, 1e-6);
    EXPECT_NEAR(lamp.Position.y, 1, 1e-6);
    EXPECT_NEAR(lamp.Position.z, 1, 1e-6);
    EXPECT_FLOAT_EQ(lamp.Attenuation0, 1);
    EXPECT_FLOAT_EQ(lamp.Attenuation2, 0.00111109f);
    EXPECT_NEAR(lamp.Range, std::sqrt(255 / 0.00111109), 1e-2);  // where 1 + 0.00111109 d^2 reaches 256
    EXPECT_EQ(lamp.Diffuse.r, 1);
    const D3DLIGHT9& sun = lights[1]->light;
    EXPECT_EQ(sun.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_NEAR(sun.Direction.y, -1, 1e-6);
    // The engine's update aims a directional light against its node's third row: the same way.
    lights[1]->update(0);
    EXPECT_NEAR(lights[1]->light.Direction.y, -1, 1e-6);
    const D3DLIGHT9& spot = lights[2]->light;
    EXPECT_EQ(spot.Type, D3DLIGHT_SPOT);
    EXPECT_NEAR(spot.Theta, 45 * 3.14159265 / 180, 1e-6);
    EXPECT_LE(spot.Theta, spot.Phi);
    EXPECT_NEAR(spot.Direction.y, -1, 1e-6);
    EXPECT_EQ(NodeName(*lights[3]), "Area");
    EXPECT_EQ(lights[3]->light.Type, D3DLIGHT_POINT);
}

// box_nested_animation.dae: bone "Armature_Bone" under "Armature" (translated 1, -1, 0), Z up. Its 40 keys run
// from 0.0416666 s to 1.666667 s; the first key's matrix translates (1, -1, 0), the last (2, -1, 0), both without
// rotation. World at the start (2, -2, 0) Z-up = (2, 0, 2) y-up = (2, 0, -2) mirrored; at the end (3, 0, -2). The
// Z-up to y-up turn is -90 degrees about x: quaternion (-0.7071, 0, 0, 0.7071), mirrored (0.7071, 0, 0, 0.7071).
TEST_F(TestModels, ColladaAnimationKeysInSeconds) {
    const RunResult r = Import("Collada/box_nested_animation.dae");
    ASSERT_EQ(r.status, 0) << r.text();
    EXPECT_TRUE(r.saysWarning("mesh 'Cube-mesh' (node 'Cube'): skin of 1 bone dropped"));
    ASSERT_TRUE(loaded->ok);
    const CTRNode* bone = Dummy("Armature_Bone");
    ASSERT_NE(bone, nullptr);
    ASSERT_NE(bone->animation, nullptr);
    const CTRAnimation& a = *bone->animation;
    EXPECT_NEAR(a.length, 1.666667, 1e-5);
    EXPECT_GE(a.positionKeyCount, 41);  // the file's 40 key times, time 0 and the grid between
    EXPECT_EQ(a.positionKeyCount, a.rotationKeyCount);
    EXPECT_EQ(a.positionKeyCount, a.scaleKeyCount);
    const CTRPositionKey& first = a.positionKeys[0];
    const CTRPositionKey& last = a.positionKeys[a.positionKeyCount - 1];
    EXPECT_EQ(first.time, 0);
    EXPECT_NEAR(first.x, 2, 1e-5);
    EXPECT_NEAR(first.y, 0, 1e-5);
    EXPECT_NEAR(first.z, -2, 1e-5);
    EXPECT_NEAR(last.x, 3, 1e-5);
    EXPECT_NEAR(last.z, -2, 1e-5);
    const CTRRotationKey& q = a.rotationKeys[0];
    EXPECT_NEAR(std::fabs(q.x), std::sqrt(0.5), 1e-5);
    EXPECT_NEAR(q.x * q.w, 0.5, 1e-5);  // same sign: (0.7071, 0, 0, 0.7071) or its negative
    EXPECT_NEAR(a.scaleKeys[0].x, 1, 1e-5);
    EXPECT_EQ(loaded->triangles(), 12u);
}

// RotatingCube.3DS: 182 rotation keys over frames 0 to 181; 3DS gives no frame rate, so 25 a second: 7.24 s.
TEST_F(TestModels, ThreeDsAnimationAtTwentyFiveFramesASecond) {
    const RunResult r = Import("3DS/RotatingCube.3DS");
    ASSERT_EQ(r.status, 0) << r.text();
    ASSERT_TRUE(loaded->ok);
    const CTRMeshNode* box = loaded->scene->getMeshNodes().at(0);
    EXPECT_EQ(NodeName(*box), "Box01");
    ASSERT_NE(box->animation, nullptr);
    EXPECT_NEAR(box->animation->length, 7.24, 1e-5);
    EXPECT_GE(box->animation->rotationKeyCount, 182);
    EXPECT_EQ(loaded->triangles(), 12u);
}

// spider.obj with spider.mtl: 1368 faces, five materials with a map_Kd each (".\SpiderTex.jpg" and so on), plus
// the parser's default; HLeibTex has Kd 0.690196 0.639216 0.615686.
TEST_F(TestModels, ObjWithMtlMaterialsAndTextures) {
    const RunResult r = Import("OBJ/spider.obj");
    ASSERT_EQ(r.status, 0) << r.text();
    ASSERT_TRUE(loaded->ok);
    EXPECT_EQ(loaded->triangles(), 1368u);
    EXPECT_EQ(loaded->scene->getMaterials().size(), 6u);
    bool sawBody = false;
    for (const CTRMeshNode* m : loaded->scene->getMeshNodes()) {
        const D3DMATERIAL9& mat = loaded->scene->getMaterials().at(m->materialIndex)->material;
        ASSERT_GE(m->textureIndex, 0);
        const std::string texture = loaded->scene->getTextureList()->entries.at(m->textureIndex)->path;
        if (std::filesystem::path(texture).filename() == "spider_SpiderTex.dds") {
            sawBody = true;
            EXPECT_FLOAT_EQ(mat.Diffuse.r, 0.690196f);
            EXPECT_FLOAT_EQ(mat.Diffuse.g, 0.639216f);
        }
        EXPECT_NE(loaded->scene->getTextureList()->entries.at(m->textureIndex)->texture, nullptr) << texture;
    }
    EXPECT_TRUE(sawBody);
    for (std::size_t i = 0; i < loaded->scene->getTextureList()->entries.size(); ++i)
        EXPECT_EQ(TextureInfo(i).Format, D3DFMT_DXT1);
}

// box.obj: eight corners at +-0.5, six quads, no normals (made here, one per face).
TEST_F(TestModels, ObjWithoutNormals) {
    const RunResult r = Import("OBJ/box.obj");
    ASSERT_EQ(r.status, 0) << r.text();
    ASSERT_TRUE(loaded->ok);
    EXPECT_EQ(loaded->triangles(), 12u);
    ExpectBounds({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5});
    const auto v = loaded->vertices(0);
    EXPECT_EQ(v.size(), 24u);
    for (const auto& x : v) {
        EXPECT_NEAR(std::fabs(x.nx) + std::fabs(x.ny) + std::fabs(x.nz), 1, 1e-5);  // along an axis
    }
}

// triangle.stl: one facet, normal (0, 0, 1), corners (1, 1, 0), (-1, 1, 0), (0, -1, 0); with --up z the model's z
// is the engine's y.
TEST_F(TestModels, StlAndTheUpAxis) {
    RunResult r = Import("STL/triangle.stl");
    ASSERT_EQ(r.status, 0) << r.text();
    ASSERT_TRUE(loaded->ok);
    EXPECT_EQ(loaded->triangles(), 1u);
    ExpectBounds({-1, -1, 0}, {1, 1, 0});
    EXPECT_NEAR(loaded->vertices(0)[0].nz, -1, 1e-6);
    loaded.reset();
    r = Import("STL/triangle.stl", {"--up", "z", "--scale", "2"});
    ASSERT_EQ(r.status, 0) << r.text();
    ExpectBounds({-2, 0, -2}, {2, 0, 2});
    EXPECT_NEAR(loaded->vertices(0)[0].ny, 1, 1e-6);
}

// cube.ply: corners 0 and 1 on every axis, six quads, no normals.
TEST_F(TestModels, Ply) {
    const RunResult r = Import("PLY/cube.ply");
    ASSERT_EQ(r.status, 0) << r.text();
    ASSERT_TRUE(loaded->ok);
    EXPECT_EQ(loaded->triangles(), 12u);
    ExpectBounds({0, 0, -1}, {1, 1, 0});
}

// duck.dae (COLLADA, centimetres): one polylist of 2144 polygons whose vcounts make 4212 triangles, texture
// duckCM.tga; camera yfov 37.8492 degrees, znear 1 and zfar 10000 centimetres (0.01 and 100 metres).
TEST_F(TestModels, ColladaDuck) {
    const RunResult r = Import("Collada/duck.dae");
    ASSERT_EQ(r.status, 0) << r.text();
    ASSERT_TRUE(loaded->ok);
    EXPECT_EQ(loaded->triangles(), 4212u);
    EXPECT_EQ(std::filesystem::path(loaded->scene->getTextureList()->entries.at(0)->path).filename(),
              "duck_duckCM.dds");
    EXPECT_EQ(TextureInfo(0).Format, D3DFMT_DXT1);
    const CTRCamera& cam = *loaded->scene->getCameras().at(0);
    EXPECT_NEAR(cam.fieldOfView, 37.8492 * 3.14159265358979 / 180, 1e-5);
    EXPECT_NEAR(cam.nearPlane, 0.01, 1e-7);
    EXPECT_NEAR(cam.farPlane, 100, 1e-4);
}

// anim_test.x (DirectX, text): a cylinder of 840 triangles skinned to 4 bones, animation "cylinder_test" of 24
// ticks at 24 a second.
TEST_F(TestModels, DirectXSkinDroppedAnimationKept) {
    const RunResult r = Import("X/anim_test.x");
    ASSERT_EQ(r.status, 0) << r.text();
    EXPECT_TRUE(r.saysWarning("mesh 'pCylinder1' (node 'pCylinder1'): skin of 4 bones dropped"));
    ASSERT_TRUE(loaded->ok);
    EXPECT_EQ(loaded->triangles(), 840u);
    const CTRNode* joint = Dummy("joint1");
    ASSERT_NE(joint, nullptr);
    ASSERT_NE(joint->animation, nullptr);
    EXPECT_FLOAT_EQ(joint->animation->length, 1);
}

// box.fbx: a 200-unit cube with one vertex colour set.
TEST_F(TestModels, FbxVertexColoursDropped) {
    const RunResult r = Import("FBX/box.fbx");
    ASSERT_EQ(r.status, 0) << r.text();
    EXPECT_TRUE(r.saysWarning("mesh 'mesh_id43' (node 'root'): 1 vertex colour set dropped"));
    ASSERT_TRUE(loaded->ok);
    EXPECT_EQ(loaded->triangles(), 12u);
}

// AnimatedMorphCube.gltf: two morph targets driven by a weights channel; simple_skin.gltf: two joints.
TEST_F(TestModels, Gltf2MorphTargetsAndSkinsAreNamedWhenDropped) {
    RunResult r = Import("glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf");
    ASSERT_EQ(r.status, 0) << r.text();
    EXPECT_TRUE(r.saysWarning("mesh 'Cube' (node 'AnimatedMorphCube'): 2 morph targets dropped"));
    EXPECT_TRUE(r.saysWarning("animation 'Square': 1 vertex or morph channels dropped"));
    loaded.reset();
    r = Import("glTF2/simple_skin/simple_skin.gltf");
    ASSERT_EQ(r.status, 0) << r.text();
    EXPECT_TRUE(r.saysWarning("skin of 2 bones dropped"));
    // The joint's rotation animation runs 5.5 s.
    const CTRNode* joint = Dummy("nodes[2]");
    ASSERT_NE(joint, nullptr);
    ASSERT_NE(joint->animation, nullptr);
    EXPECT_FLOAT_EQ(joint->animation->length, 5.5f);
}

// boxTexcoords.gltf: two texture-coordinate sets.
TEST_F(TestModels, SecondTextureCoordinateSetDropped) {
    const RunResult r = Import("glTF2/BoxTexcoords-glTF/boxTexcoords.gltf");
    ASSERT_EQ(r.status, 0) << r.text();
    EXPECT_TRUE(r.saysWarning("mesh 'Cube' (node 'Cube'): 1 texture-coordinate set after the first dropped"));
}

// Broken files: one line naming the file and the parser's reason, exit status 1, nothing written.
TEST_F(TestModels, BrokenFilesAreRefusedInOneLineAndNothingIsWritten) {
    struct Case {
        const char* file;
        const char* says;
    } const kCases[] = {
        {"invalid/empty.obj", "OBJ-file is too small."},
        {"invalid/malformed.obj", "OBJ: Invalid face index."},
        {"invalid/empty.3ds", "StreamReader: File is empty"},
        {"glTF2/RecursiveNodes/RecursiveNodes.gltf", "recursive reference"},
        {"glTF2/wrongTypes/badArray.gltf", "was not of type \"array\""},
        {"FBX/transparentTest.fbx", "FBX-Tokenize"},
        {"glTF2/glTF-Asset-Generator/LICENSE", "No suitable reader found"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.file);
        const RunResult r = Import(c.file);
        EXPECT_EQ(r.status, 1);
        ASSERT_EQ(r.lines.size(), 1u) << r.text();
        EXPECT_EQ(r.lines[0].rfind("tarn-import: " + kModels + c.file + ": ", 0), 0u) << r.lines[0];
        EXPECT_NE(r.lines[0].find(c.says), std::string::npos) << r.lines[0];
        EXPECT_TRUE(dir.files().empty());
    }
}

// OutOfMemory.off declares more vertices than any memory holds: the parser's limit stops it.
TEST_F(TestModels, AFileThatExhaustsTheParserIsRefused) {
    if (!ChildMemoryLimitApplies()) GTEST_SKIP() << "no address-space limit under this sanitizer";
    const RunResult r = Import("invalid/OutOfMemory.off");
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.lines.size(), 1u) << r.text();
    EXPECT_NE(r.lines[0].find("the parser ran out of memory (limit 1024 MB)"), std::string::npos) << r.lines[0];
    EXPECT_TRUE(dir.files().empty());
}

TEST_F(TestModels, KeepImagesCopiesTheModelsImages) {
    const RunResult r = Import("OBJ/spider.obj", {"--keep-images"});
    ASSERT_EQ(r.status, 0) << r.text();
    ASSERT_TRUE(loaded->ok);
    const std::vector<std::string> files = dir.files();
    EXPECT_NE(std::find(files.begin(), files.end(), "spider_SpiderTex.jpg"), files.end());
    EXPECT_EQ(std::filesystem::file_size(dir.file("spider_SpiderTex.jpg")),
              std::filesystem::file_size(kModels + "OBJ/SpiderTex.jpg"));
    for (const auto* e : loaded->scene->getTextureList()->entries) EXPECT_NE(e->texture, nullptr) << e->path;
}

}  // namespace
