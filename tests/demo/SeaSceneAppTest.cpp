// CSeaSceneApp in process, on the null drawing backend: creation, Escape, start-up failure and teardown, and the
// frame clocks (camera orbit, caustic images, wave phase) driven by a scripted performance counter.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "app/Application.h"
#include "demo/SeaSceneApp.h"
#include "platform/d3d9/Backend.h"
#include "platform/FaultInjection.h"
#include "platform/MessageBoxHook.h"
#include "platform/Runner.h"
#include "platform/RunnerControl.h"
#include "platform/TestHooks.h"
#include "render/Renderer.h"
#include "scene/Scene.h"
#include "ApplicationStart.h"
#include "water/ColorFilter.h"
#include "water/ImageWave.h"
#include "RecordingDirect3D.h"
#include "water/WaterImage.h"

namespace {

const std::string kRuntime = SEASCENE_RUNTIME_DIR;

// Starts the demo the way the entry point does, in `directory`, and tears it down at the end.
class AppHarness {
public:
    explicit AppHarness(const std::string& directory) {
        tarn::platform::Runner().headless = true;
        tarn::d3d9::SetBackend(tarn::d3d9::BackendKind::Null);
        tarn::platform::SetMessageBoxHook([this](HWND, const char* text, const char*, UINT) {
            boxes.push_back(text);
            return IDOK;
        });
        char here[4096];
        previous = getcwd(here, sizeof here) ? here : ".";
        if (chdir(directory.c_str()) != 0) ADD_FAILURE() << "cannot enter " << directory;
        app = static_cast<CSeaSceneApp*>(CreateApplication());
        tarn::app::CreateApplicationWindow(*app, GetModuleHandleA(nullptr));
    }
    bool Start() {
        return tarn::app::StartApplication(*app, [this] {
            baseline = tarn::d3d9::LiveResourceCount(GetRenderer()->GetDevice());  // the device's own surfaces
        });
    }

    // Shutdown, then what is still alive beyond the device's own surfaces once the device lets go of what is
    // bound to it: everything the demo made must be gone before the renderer is.
    std::size_t ShutdownAndCountLive() {
        app->Shutdown();
        if (!GetRenderer()) return 0;
        IDirect3DDevice9* device = GetRenderer()->GetDevice();
        device->SetTexture(0, nullptr);
        device->SetTexture(1, nullptr);
        device->SetStreamSource(0, nullptr, 0, 0);
        device->SetIndices(nullptr);
        const std::size_t live = tarn::d3d9::LiveResourceCount(device) - baseline;
        if (live) std::fprintf(stderr, "%s", tarn::d3d9::DescribeLiveResources(GetRenderer()->GetDevice()).c_str());
        return live;
    }

    ~AppHarness() {
        app->Shutdown();
        if (app->GetWindow()) DestroyWindow(app->GetWindow());
        delete app;
        tarn::app::UnregisterEngineWindowClass(GetModuleHandleA(nullptr));
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        tarn::platform::SetCounterScript({});
        tarn::platform::SetMessageBoxHook({});
        tarn::d3d9::ResetBackend();
        if (chdir(previous.c_str()) != 0) ADD_FAILURE() << "cannot return to " << previous;
    }

    CSeaSceneApp* app = nullptr;
    std::vector<std::string> boxes;

private:
    std::size_t baseline = 0;
    std::string previous;
};

// Counter readings (nanoseconds; the scripted counter runs at 1e9 ticks per second) for the timer's construction,
// its first update and then one update per entry of `frameTimes` (seconds since the first update).
std::vector<std::int64_t> CounterAt(const std::vector<double>& frameTimes) {
    std::vector<std::int64_t> values = {1000, 2000, 2000};
    // The first update reads twice; the clock starts at its second reading.
    for (double t : frameTimes) values.push_back(2000 + static_cast<std::int64_t>(std::llround(t * 1e9)));
    return values;
}

TEST(SeaSceneAppTest, OrbitCirclesTheOriginAtHalfARadianPerSecond) {
    struct Case {
        double time;
        float x, z;
    } const kCases[] = {{0.0, 0, 200}, {std::numbers::pi, 200, 0}, {2 * std::numbers::pi, 0, -200},
                        {3 * std::numbers::pi, -200, 0}, {4 * std::numbers::pi, 0, 200}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.time);
        const D3DXVECTOR3 eye = CSeaSceneApp::OrbitEye(static_cast<float>(c.time));
        EXPECT_NEAR(eye.x, c.x, 1e-3f);
        EXPECT_EQ(eye.y, 80.0f);
        EXPECT_NEAR(eye.z, c.z, 1e-3f);
    }
}

TEST(SeaSceneAppTest, EscapeClosesOnReleaseOnly) {
    AppHarness harness(kRuntime);
    CSeaSceneApp& app = *harness.app;
    EXPECT_STREQ(app.GetTitle(), "Tarn Engine 1.0v");
    EXPECT_EQ(app.GetWidth(), 800);
    EXPECT_EQ(app.GetHeight(), 600);
    EXPECT_FALSE(app.IsFullScreen());
    EXPECT_EQ(app.GetScene(), nullptr);

    EXPECT_FALSE(app.MsgProc(WM_KEYDOWN, VK_ESCAPE, 0));
    EXPECT_FALSE(app.MsgProc(WM_KEYUP, 'A', 0));
    MSG msg;
    bool quit = false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) quit = quit || msg.message == WM_QUIT;
    EXPECT_FALSE(quit) << "pressing Escape, or releasing another key, changes nothing";

    EXPECT_TRUE(app.MsgProc(WM_KEYUP, VK_ESCAPE, 0));
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) quit = true;
        DispatchMessageA(&msg);
    }
    EXPECT_TRUE(quit) << "releasing Escape destroys the window, whose WM_DESTROY posts WM_QUIT";
    app.SetWindow(nullptr);  // already destroyed
}

TEST(SeaSceneAppTest, ShutdownWithNothingCreatedDoesNothing) {
    AppHarness harness(kRuntime);
    harness.app->Shutdown();
    harness.app->Shutdown();
    EXPECT_EQ(harness.app->GetWaterImage(), nullptr);
}

TEST(SeaSceneAppTest, MissingCausticFrameFailsAfterTheOtherStepsAndShutdownReleasesAll) {
    const std::string dir = testing::TempDir() + "seascene-missing-frame";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/Water");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kRuntime)) {
        if (!entry.is_regular_file() || entry.path().filename() == "caust7.tga") continue;
        std::filesystem::create_symlink(entry.path(),
                                        dir + "/" + std::filesystem::relative(entry.path(), kRuntime).string());
    }
    {
        AppHarness harness(dir);
        EXPECT_FALSE(harness.Start());
        const std::vector<std::string> expected = {"CTRWaterImage 생성 실패", "Initialize() Fail!\n"};
        EXPECT_EQ(harness.boxes, expected);
        CSeaSceneApp& app = *harness.app;
        EXPECT_NE(app.GetScene(), nullptr);
        EXPECT_NE(app.GetCamera(), nullptr);
        EXPECT_NE(app.GetColorFilter(), nullptr);
        EXPECT_NE(app.GetImageWave(), nullptr);
        ASSERT_NE(app.GetWaterImage(), nullptr);
        EXPECT_NE(app.GetWaterImage()->GetFrame(6), nullptr);
        EXPECT_EQ(app.GetWaterImage()->GetFrame(7), nullptr);
        EXPECT_EQ(harness.ShutdownAndCountLive(), 0u);
        EXPECT_EQ(app.GetScene(), nullptr);
        EXPECT_EQ(app.GetWaterImage(), nullptr);
    }
    std::filesystem::remove_all(dir);
}

tarn::test::RecordingDirect3D* gRecording = nullptr;
IDirect3D9* CreateRecording(UINT) {
    return gRecording;
}

// Start-up failures in process, the device behind a recorder: each shows its own boxes, leaves exactly what
// was made before it for Shutdown, and Shutdown releases all of that. A renderer that cannot be made leaves
// the application with all five of its fields null.
TEST(SeaSceneAppTest, StartupFailuresLeaveWhatWasMadeAndShutdownReleasesIt) {
    struct Case {
        const char* what;
        const char* faultBeforeRenderer;    // a Direct3D call made to fail while the renderer is created
        const char* faultBeforeInitialize;  // one made to fail once the renderer exists
        bool refuseRenderTargets;           // the device refuses render-target textures
        std::vector<std::string> boxes;
        bool made[5];  // scene, camera, colour filter, image wave, caustics projector
    } const kCases[] = {
        {"renderer cannot create its device",
         "CreateDevice",
         nullptr,
         false,
         {"CreateDevice() Init Fail", "Renderer Initialize() Fail!"},
         {false, false, false, false, false}},
        {"display mode cannot be read",
         nullptr,
         "GetAdapterDisplayMode",
         false,
         {"Initialize() Fail!\n"},
         {true, true, true, false, false}},
        {"image wave cannot make its render target",
         nullptr,
         nullptr,
         true,
         {"ImageWave 생성 실패", "Initialize() Fail!\n"},
         {true, true, true, true, false}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        IDirect3D9* real = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(real, nullptr);
        tarn::test::RecordingDirect3D recording(real);
        gRecording = &recording;
        const auto previousCreate = tarn::render::SetDirect3DCreateFunction(CreateRecording);
        {
            AppHarness harness(kRuntime);
            CSeaSceneApp& app = *harness.app;
            if (c.faultBeforeRenderer)
                tarn::platform::InjectFault(c.faultBeforeRenderer, D3DERR_NOTAVAILABLE);
            const bool renderer = app.CreateRenderer();
            EXPECT_EQ(renderer, c.faultBeforeRenderer == nullptr);
            std::size_t baseline = 0;
            if (renderer) {
                baseline = tarn::d3d9::LiveResourceCount(recording.innerDevice);
                recording.recorder->failRenderTargetTextures = c.refuseRenderTargets;
                if (c.faultBeforeInitialize) tarn::platform::InjectFault(c.faultBeforeInitialize, E_FAIL);
                EXPECT_FALSE(app.CreateFrameRate());
            }
            tarn::platform::ClearFaults();
            EXPECT_EQ(harness.boxes, c.boxes);
            const bool made[5] = {app.GetScene() != nullptr, app.GetCamera() != nullptr,
                                  app.GetColorFilter() != nullptr, app.GetImageWave() != nullptr,
                                  app.GetWaterImage() != nullptr};
            for (int i = 0; i < 5; ++i) EXPECT_EQ(made[i], c.made[i]) << "field " << i;
            app.Shutdown();
            for (const void* field :
                 {static_cast<const void*>(app.GetScene()), static_cast<const void*>(app.GetCamera()),
                  static_cast<const void*>(app.GetColorFilter()),
                  static_cast<const void*>(app.GetImageWave()),
                  static_cast<const void*>(app.GetWaterImage())})
                EXPECT_EQ(field, nullptr);
            if (renderer) {
                IDirect3DDevice9* inner = recording.innerDevice;
                inner->SetTexture(0, nullptr);
                inner->SetTexture(1, nullptr);
                inner->SetStreamSource(0, nullptr, 0, 0);
                inner->SetIndices(nullptr);
                EXPECT_EQ(tarn::d3d9::LiveResourceCount(inner), baseline)
                    << tarn::d3d9::DescribeLiveResources(inner);
            }
        }
        if (recording.innerDevice) {
            EXPECT_EQ(recording.innerDevice->Release(), 0u);
        }
        delete recording.recorder;
        real->Release();
        tarn::render::SetDirect3DCreateFunction(previousCreate);
        gRecording = nullptr;
    }
}

// Frames come only once 1/60 s of clock has gone by since the last accepted one: before that nothing is drawn
// and nothing is presented.
TEST(SeaSceneAppTest, NothingIsPresentedBeforeASixtiethOfASecond) {
    AppHarness harness(kRuntime);
    // The first update starts the clock; then 1/100 s, 1/60 s less a microsecond, and just over 1/60 s.
    tarn::platform::SetCounterScript(CounterAt({0.01, 1.0 / 60.0 - 1e-6, 1.0 / 60.0 + 1e-6}));
    ASSERT_TRUE(harness.Start()) << (harness.boxes.empty() ? "" : harness.boxes[0]);
    tarn::platform::ResetPresentedFrames();
    HWND window = harness.app->GetWindow();
    const std::vector<long> expected = {0, 0, 0, 1};
    for (long presented : expected) {
        harness.app->Frame();
        EXPECT_EQ(tarn::platform::PresentedFrames(window), presented);
    }
    EXPECT_EQ(harness.ShutdownAndCountLive(), 0u);
}

// The capture keeps the previous render target only between BeginCapture and EndCapture: a capture whose
// SetRenderTarget fails (here: the wave's surface is already released) lets the saved target go at once.
TEST(SeaSceneAppTest, CaptureHoldsThePreviousTargetOnlyWhileItLasts) {
    AppHarness harness(kRuntime);
    ASSERT_TRUE(harness.Start());
    IDirect3DDevice9* device = GetRenderer()->GetDevice();
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_TRUE(SUCCEEDED(device->GetRenderTarget(0, &backBuffer)));
    auto references = [&] {
        backBuffer->AddRef();
        return backBuffer->Release();
    };
    const ULONG before = references();

    ImageWave wave;
    ASSERT_TRUE(wave.Create(D3DFMT_X8R8G8B8, device, 64, 64));
    EXPECT_TRUE(wave.BeginCapture());
    EXPECT_TRUE(wave.HoldsSavedTarget());
    EXPECT_EQ(references(), before) << "the capture's reference replaces the one the device held as its target";
    EXPECT_TRUE(wave.EndCapture());
    EXPECT_FALSE(wave.HoldsSavedTarget());
    EXPECT_EQ(references(), before);

    wave.Release();  // no surface left to capture into: SetRenderTarget(0, null) fails after GetRenderTarget worked
    EXPECT_FALSE(wave.BeginCapture());
    EXPECT_FALSE(wave.HoldsSavedTarget());
    EXPECT_EQ(references(), before) << "the saved target was not released";
    backBuffer->Release();
}

// Frames whose clock readings are just over 1/60 s apart are all accepted with that elapsed time: the caustic
// image changes every third frame, the wave phase advances 0.02 per frame, the eye follows the frame time.
TEST(SeaSceneAppTest, FramesDriveTheCausticImageTheWaveAndTheCamera) {
    AppHarness harness(kRuntime);
    const double step = 1.0 / 60.0 + 1e-6;
    std::vector<double> times;
    for (int k = 1; k <= 30; ++k) times.push_back(k * step);
    times.push_back(std::numbers::pi);
    tarn::platform::SetCounterScript(CounterAt(times));
    ASSERT_TRUE(harness.Start()) << (harness.boxes.empty() ? "" : harness.boxes[0]);
    CSeaSceneApp& app = *harness.app;
    causticClock = 0.0f;
    wavePhase = 0.0f;

    app.Frame();  // the timer's first update never accepts a frame: nothing is drawn
    EXPECT_EQ(causticClock, 0.0f);
    EXPECT_EQ(wavePhase, 0.0f);

    // The caustic image each frame leaves bound to stage 1 (End keeps it there), by its frame number.
    IDirect3DDevice9* device = GetRenderer()->GetDevice();
    auto boundImage = [&] {
        IDirect3DBaseTexture9* bound = nullptr;
        if (FAILED(device->GetTexture(1, &bound)) || !bound) return -1;
        bound->Release();
        for (int i = 0; i < CTRWaterImage::kFrames; ++i)
            if (app.GetWaterImage()->GetFrame(i) == bound) return i;
        return -2;
    };
    std::vector<int> images;
    for (int k = 1; k <= 30; ++k) {
        app.Frame();
        images.push_back(boundImage());
        EXPECT_NEAR(wavePhase, 0.02f * k, 1e-5f);
        const D3DXVECTOR3 eye = CSeaSceneApp::OrbitEye(static_cast<float>(k * step));
        EXPECT_NEAR(app.GetCamera()->eye.x, eye.x, 1e-3f);
        EXPECT_NEAR(app.GetCamera()->eye.z, eye.z, 1e-3f);
    }
    for (int k = 1; k <= 30; ++k) EXPECT_EQ(images[k - 1], k / 3) << "frame " << k;

    // One long frame up to t = pi: a quarter turn from (0, 80, 200) to (200, 80, 0), looking at (0, 1, 0).
    app.Frame();
    const CTRCamera& camera = *app.GetCamera();
    EXPECT_NEAR(camera.eye.x, 200.0f, 1e-3f);
    EXPECT_EQ(camera.eye.y, 80.0f);
    EXPECT_NEAR(camera.eye.z, 0.0f, 1e-3f);
    D3DXMATRIX view;
    const D3DXVECTOR3 eye(200.0f, 80.0f, 0.0f), at(0.0f, 1.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(camera.getViewMatrix().m[r][c], view.m[r][c], 1e-4f) << r << c;

    EXPECT_EQ(harness.ShutdownAndCountLive(), 0u);
}

}  // namespace
