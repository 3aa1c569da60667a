// One whole frame of the demo as the device sees it: the order of the two passes, and the scene never drawing from
// the wave grid's buffers, in its vertex format, or from the texture it is drawing into. The demo runs in process
// on the null backend behind a recording device.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/Application.h"
#include "demo/SeaSceneApp.h"
#include "platform/d3d9/Backend.h"
#include "platform/MessageBoxHook.h"
#include "platform/Runner.h"
#include "platform/TestHooks.h"
#include "render/Renderer.h"
#include "scene/Scene.h"
#include "tools/trs/TrsWriter.h"
#include "ApplicationStart.h"
#include "tests/scene/CallRecordingDevice.h"
#include "water/ImageWave.h"
#include "RecordingDirect3D.h"

namespace fs = std::filesystem;
using tarn::test::CallRecordingDevice;
using tarn::test::RecordingDirect3D;

namespace {

const std::string kRuntime = SEASCENE_RUNTIME_DIR;

RecordingDirect3D* gRecording = nullptr;
IDirect3D9* CreateRecording(UINT) { return gRecording; }

// A scene whose first and last mesh nodes share vertex buffer, index buffer and texture: at the start of every
// frame after the first, the scene's cache believes the first node's bindings are already in place.
void WriteSharedBindingScene(const std::string& path) {
    tarn::trs::TrsScene scene;
    scene.textures = {"sand.bmp", "rock.jpg"};
    scene.materials.resize(1);
    for (int b = 0; b < 2; ++b) {
        const float z = 10.0f * b;
        scene.vertexBuffers.push_back({{{-50, 0, z, 0, 1, 0, 0, 0},
                                        {50, 0, z, 0, 1, 0, 1, 0},
                                        {-50, 0, z + 50, 0, 1, 0, 0, 1},
                                        {50, 0, z + 50, 0, 1, 0, 1, 1}}});
        scene.indexBuffers.push_back({{0, 2, 1, 1, 2, 3}});
    }
    const int layout[3][2] = {{0, 0}, {1, 1}, {0, 0}};  // buffers, texture
    for (const auto& l : layout) {
        tarn::trs::TrsMeshNode node;
        node.name = "Quad";
        node.vertexBuffer = node.indexBuffer = l[0];
        node.texture = l[1];
        node.material = 0;
        scene.meshes.push_back(node);
    }
    tarn::trs::TrsCamera camera;
    camera.eye = {0, 80, 200};
    camera.lookAt = {0, 1, 0};
    camera.nearPlane = 2;
    scene.cameras = {camera};
    ASSERT_TRUE(tarn::trs::WriteTrsFile(scene, path));
}

struct Bound {
    std::string vb, ib, texture0, fvf;
};

TEST(FrameCallsTest, SceneDrawsWithItsOwnBindingsAndThePassesComeInOrder) {
    const std::string dir = testing::TempDir() + "seascene-frame-calls";
    fs::remove_all(dir);
    fs::create_directories(dir + "/Water");
    for (const char* file : {"sand.bmp", "rock.jpg"}) fs::create_symlink(kRuntime + "/" + file, dir + "/" + file);
    for (int i = 0; i < 32; ++i) {
        const std::string name = "/Water/caust" + std::to_string(i) + ".tga";
        fs::create_symlink(kRuntime + name, dir + name);
    }
    WriteSharedBindingScene(dir + "/SeaSimpleMap.TRS");

    tarn::platform::Runner().headless = true;
    tarn::d3d9::SetBackend(tarn::d3d9::BackendKind::Null);
    std::vector<std::string> boxes;
    tarn::platform::SetMessageBoxHook([&](HWND, const char* text, const char*, UINT) {
        boxes.push_back(text);
        return IDOK;
    });
    IDirect3D9* real = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(real, nullptr);
    RecordingDirect3D recording(real);
    gRecording = &recording;
    const auto previousCreate = tarn::render::SetDirect3DCreateFunction(CreateRecording);
    const double step = 1.0 / 60.0 + 1e-6;
    tarn::platform::SetCounterScript({1000, 2000, 2000, 2000 + std::int64_t(step * 1e9), 2000 + std::int64_t(2 * step * 1e9)});
    char here[4096];
    const std::string previousDir = getcwd(here, sizeof here) ? here : ".";
    ASSERT_EQ(chdir(dir.c_str()), 0);

    CSeaSceneApp* app = static_cast<CSeaSceneApp*>(CreateApplication());
    tarn::app::CreateApplicationWindow(*app, GetModuleHandleA(nullptr));
    const bool started = tarn::app::StartApplication(*app);
    EXPECT_TRUE(started) << (boxes.empty() ? "" : boxes[0]);
    if (started) {
        CallRecordingDevice& device = *recording.recorder;
        const CTRScene& scene = *app->GetScene();
        for (std::size_t i = 0; i < scene.getVertexBuffers().size(); ++i) {
            device.name(scene.getVertexBuffers()[i]->buffer, "scene-vb" + std::to_string(i));
            device.name(scene.getIndexBuffers()[i]->buffer, "scene-ib" + std::to_string(i));
        }
        for (std::size_t i = 0; i < scene.getTextureList()->entries.size(); ++i)
            device.name(scene.getTextureList()->entries[i]->texture, "scene-tex" + std::to_string(i));
        const ImageWave& wave = *app->GetImageWave();
        device.name(wave.GetVertexBuffer(), "wave-vb");
        device.name(wave.GetIndexBuffer(), "wave-ib");
        device.name(wave.GetTexture(), "wave-texture");
        device.name(wave.GetSurface(), "wave-surface");

        app->Frame();  // the timer's first update: no frame
        app->Frame();  // frame 1
        device.clear();
        app->Frame();  // frame 2: the scene's cache is warm, the wave grid's bindings are on the device

        // Every scene draw (between the caustics' Begin and End) uses the scene's own buffers, format and textures.
        Bound bound{"wave-vb", "wave-ib", "wave-texture", "260"};  // what frame 1's wave grid left bound
        bool inScene = false;
        int sceneDraws = 0;
        for (const std::string& call : device.calls) {
            auto argument = [&](int n) {
                std::size_t start = call.find('(') + 1;
                for (int i = 0; i < n; ++i) start = call.find(',', start) + 1;
                return call.substr(start, call.find_first_of(",)", start) - start);
            };
            if (call.rfind("SetStreamSource(0,", 0) == 0) bound.vb = argument(1);
            if (call.rfind("SetIndices(", 0) == 0) bound.ib = argument(0);
            if (call.rfind("SetTexture(0,", 0) == 0) bound.texture0 = argument(1);
            if (call.rfind("SetFVF(", 0) == 0) bound.fvf = argument(0);
            if (call == "SetRenderState(20,6)") inScene = true;   // Begin: INVSRCALPHA
            if (call == "SetRenderState(19,2)") inScene = false;  // End: source blend ONE
            if (inScene && call.rfind("DrawIndexedPrimitive(", 0) == 0) {
                ++sceneDraws;
                SCOPED_TRACE(call);
                EXPECT_EQ(bound.vb.rfind("scene-vb", 0), 0u) << bound.vb;
                EXPECT_EQ(bound.ib.rfind("scene-ib", 0), 0u) << bound.ib;
                EXPECT_NE(bound.texture0, "wave-texture");
                EXPECT_EQ(bound.fvf, "274");
            }
        }
        EXPECT_EQ(sceneDraws, 3);

        // The frame's order: capture, clear, caustics, scene, tint, back to the back buffer, clear, grid, present.
        const std::vector<std::string> milestones = {
            "GetRenderTarget(0,ptr)",          "SetRenderTarget(0,wave-surface)",
            "Clear(0,null,3,16512,1.000000,0)", "BeginScene()",
            "SetTransform(17,ptr)",            "SetRenderState(20,6)",
            "DrawIndexedPrimitive(4,0,0,4,0,2)", "SetRenderState(19,2)",
            "SetTextureStageState(1,1,1)",     "DrawPrimitiveUP(5,2,ptr,20)",
            "SetRenderState(27,0)",            "EndScene()",
            "SetRenderTarget(0,ptr)",          "Clear(0,null,3,16512,1.000000,0)",
            "BeginScene()",                    "SetTexture(0,wave-texture)",
            "DrawIndexedPrimitive(4,0,0,100,0,162)", "EndScene()",
            "Present(null,null,null,null)"};
        std::size_t at = 0;
        for (const std::string& milestone : milestones) {
            while (at < device.calls.size() && device.calls[at] != milestone) ++at;
            ASSERT_LT(at, device.calls.size()) << "missing or out of order: " << milestone;
            ++at;
        }
    }

    app->Shutdown();
    DestroyWindow(app->GetWindow());
    delete app;  // the renderer lets go of the recorder and of our Direct3D object, neither of which it owns here
    tarn::app::UnregisterEngineWindowClass(GetModuleHandleA(nullptr));
    if (recording.innerDevice) {
        EXPECT_EQ(recording.innerDevice->Release(), 0u);
    }
    delete recording.recorder;
    real->Release();
    tarn::render::SetDirect3DCreateFunction(previousCreate);
    tarn::platform::SetCounterScript({});
    tarn::platform::SetMessageBoxHook({});
    tarn::d3d9::ResetBackend();
    EXPECT_EQ(chdir(previousDir.c_str()), 0);
    fs::remove_all(dir);
}

}  // namespace
