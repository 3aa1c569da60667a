// The picture an imported model makes, drawn by the engine's scene (loaded from the written file, unchanged) on
// the OpenGL backend headless: not mirrored, front faces kept and back faces culled, as the model's own
// right-handed, counter-clockwise frame says.
#include <gtest/gtest.h>

#include "platform/d3d9/Backend.h"
#include "scene/SceneDevice.h"
#include "tests/platform/d3d9/D3D9TestDevice.h"
#include "tests/tools/import/ImportTestSupport.h"

using namespace tarn::import;
using namespace tarn::import::test;

namespace {

constexpr UINT kSize = 64;

// A triangle of the model's frame, counter-clockwise (a front face) seen from +z unless `back`.
ModelMesh Tri(const std::string& name, std::int32_t material, Vec3 a, Vec3 b, Vec3 c, bool back = false) {
    ModelMesh m;
    m.name = name;
    m.material = material;
    m.positions = {a, b, c};
    m.normals.assign(3, Vec3{0, 0, back ? -1.0f : 1.0f});
    m.indices = back ? std::vector<std::uint32_t>{0, 2, 1} : std::vector<std::uint32_t>{0, 1, 2};
    return m;
}

ModelMaterial Glowing(float r, float g, float b, bool twoSided = false) {
    ModelMaterial m;
    m.hasDiffuse = true;
    m.diffuse = {0, 0, 0, 1};
    m.hasAmbient = true;
    m.ambient = {0, 0, 0, 1};
    m.emissive = {r, g, b, 1};
    m.twoSided = twoSided;
    return m;
}

// Red on the right (+x), green at the top (+y), a blue back face on the left, a white double-sided back face at
// the bottom; a camera on +z looking down -z, as a right-handed model places its viewer.
Model Scene() {
    Model m;
    m.materials = {Glowing(1, 0, 0), Glowing(0, 1, 0), Glowing(0, 0, 1), Glowing(1, 1, 1, true)};
    m.meshes = {Tri("right", 0, {0.6f, -0.4f, 0}, {1.8f, -0.4f, 0}, {1.8f, 0.4f, 0}),
                Tri("top", 1, {-0.4f, 0.6f, 0}, {0.4f, 0.6f, 0}, {0.4f, 1.8f, 0}),
                Tri("left", 2, {-1.8f, -0.4f, 0}, {-0.6f, -0.4f, 0}, {-0.6f, 0.4f, 0}, true),
                Tri("bottom", 3, {-0.4f, -1.8f, 0}, {0.4f, -1.8f, 0}, {0.4f, -0.6f, 0}, true)};
    ModelNode root;
    root.name = "root";
    root.meshes = {0, 1, 2, 3};
    ModelNode eye;
    eye.name = "eye", eye.parent = 0, eye.transform = Translation(0, 0, 3);
    m.nodes = {root, eye};
    ModelCamera cam;
    cam.name = "eye", cam.node = 1, cam.horizontalFov = 1.2f, cam.aspect = 1, cam.nearPlane = 0.1f, cam.farPlane = 10;
    m.cameras = {cam};
    return m;
}

std::uint32_t Pixel(const std::vector<std::uint32_t>& pixels, int x, int y) { return pixels[y * kSize + x] & 0xFFFFFF; }

class ImportRender : public ::testing::Test {
protected:
    void SetUp() override {
        tarn::d3d9::SetBackend(tarn::d3d9::BackendKind::Gl);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        device = tarn::d3d9::test::CreateTestDevice(d3d, kSize, kSize, D3DFMT_D16);
        if (!device) GTEST_SKIP() << "no OpenGL device here";
        SetSceneDevice(device, kSize, kSize);
    }
    void TearDown() override {
        SetSceneDevice(nullptr, 0, 0);
        if (device) device->Release();
        if (d3d) d3d->Release();
        tarn::d3d9::ResetBackend();
    }
    // Draws the scene file once and reads the frame back, row 0 at the top, as 0x00RRGGBB.
    std::vector<std::uint32_t> Draw(const std::string& dir, const std::string& file) {
        std::vector<std::uint32_t> pixels;
        {
            CTRScene scene;
            EXPECT_TRUE(scene.load((dir + "/").c_str(), file.c_str())) << scene.getLoadError();
            device->BeginScene();
            device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
            scene.render();
            device->EndScene();
            IDirect3DSurface9 *target = nullptr, *copy = nullptr;
            device->GetRenderTarget(0, &target);
            device->CreateOffscreenPlainSurface(kSize, kSize, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr);
            if (target && copy && SUCCEEDED(device->GetRenderTargetData(target, copy))) {
                D3DLOCKED_RECT locked{};
                copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
                for (UINT y = 0; y < kSize; ++y) {
                    const auto* row = reinterpret_cast<const std::uint32_t*>(
                        static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch);
                    pixels.insert(pixels.end(), row, row + kSize);
                }
                copy->UnlockRect();
            }
            if (copy) copy->Release();
            if (target) target->Release();
        }
        return pixels;
    }
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
};

TEST_F(ImportRender, ThePictureIsNotMirroredAndBackFacesAreCulled) {
    TempDir dir;
    ConvertOptions o;
    o.name = "faces";
    std::vector<TextureResult> results;
    TexturePlan plan;
    const Converted c = ConvertWithTextures(Scene(), o, dir.path(), &results, &plan);
    std::vector<std::uint8_t> bytes = tarn::trs::WriteTrs(c.scene);
    std::vector<OutputFile> files;
    for (std::int32_t job : c.textureJobs) files.push_back({plan.jobs[job].output, &results[job].bytes});
    files.push_back({"faces.TRS", &bytes});
    std::string why;
    ASSERT_TRUE(WriteOutput(dir.path(), files, &why)) << why;

    const std::vector<std::uint32_t> px = Draw(dir.path(), "faces.TRS");
    ASSERT_EQ(px.size(), kSize * kSize);
    // The camera's field of view is 1.2 rad across 64 pixels at a distance of 3: a pixel is 0.064 units, and
    // pixel 32 lies at 0. Red on the right at x = 1.6 (column 56), green at the top at y = 1 (row 16), the blue
    // back face on the left at x = -0.9 (column 18), the white one below at (0.3, -1) (column 36, row 47).
    EXPECT_EQ(Pixel(px, 56, 32), 0xFF0000u) << "red on the right";
    EXPECT_EQ(Pixel(px, 35, 16), 0x00FF00u) << "green at the top";
    EXPECT_EQ(Pixel(px, 18, 32), 0x000000u) << "the blue back face culled";
    EXPECT_EQ(Pixel(px, 36, 47), 0xFFFFFFu) << "the double-sided back face drawn";
    EXPECT_EQ(Pixel(px, 7, 32), 0x000000u) << "nothing where a mirrored red would be";
    EXPECT_EQ(Pixel(px, 2, 2), 0x000000u);
}

}  // namespace
