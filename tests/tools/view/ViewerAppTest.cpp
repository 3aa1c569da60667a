// The viewer application in process, started as the engine's WinMain starts it, with the documented window
// messages posted to its window: where the framed view and the scene's cameras put the camera, which way the mouse
// moves it (judged by the view and projection matrices), the keys, the animation clock, the water effects, and a
// resize of the window (SetWindowPos) through the device's reset to a screenshot of the new size. The null backend
// unless the test draws; the performance counter steps 1/30 s per read, so every frame is accepted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Application.h"
#include "platform/d3d9/Backend.h"
#include "platform/MessageBoxHook.h"
#include "platform/Runner.h"
#include "platform/RunnerControl.h"
#include "render/Renderer.h"
#include "scene/Scene.h"
#include "tests/demo/ProgramRunner.h"
#include "tests/tools/view/ViewerTestScenes.h"
#include "tools/view/ViewerApp.h"
#include "water/ImageWave.h"
#include "ApplicationStart.h"

namespace {

using tarn::view::OrbitCamera;
using tarn::view::ViewerApp;
using tarn::view::ViewerOptions;

const std::string kRuntime = VIEW_RUNTIME_DIR;

// The small scene, written once per test program.
const std::string& TwoCameraScenePath() {
    static const std::string path = [] {
        const std::string dir = tarn::demotest::MakeTempDirectory();
        const std::string file = dir + "/TwoCameras.TRS";
        if (!tarn::trs::WriteTrsFile(tarn::viewtest::TwoCameraScene(), file)) ADD_FAILURE() << "cannot write " << file;
        return file;
    }();
    return path;
}

ViewerOptions SceneOptions(const std::string& path = TwoCameraScenePath()) {
    ViewerOptions options;
    options.scenePath = path;
    return options;
}

// One at a time: the engine keeps one application and one renderer per process, so a second viewer started while
// another lives would take over its messages and orphan its renderer.
class Viewer {
public:
    explicit Viewer(ViewerOptions options, tarn::d3d9::BackendKind backend = tarn::d3d9::BackendKind::Null,
                    std::string waterDirectory = kRuntime + "/") {
        EXPECT_EQ(GetRenderer(), nullptr) << "another viewer is still running";
        tarn::platform::Runner() = {};
        tarn::platform::Runner().headless = true;
        tarn::platform::Runner().clockStep = 1.0 / 30.0;
        tarn::platform::ResetPresentedFrames();
        tarn::d3d9::SetBackend(backend);
        tarn::platform::SetMessageBoxHook([this](HWND, const char* text, const char*, UINT) {
            boxes.push_back(text);
            return IDOK;
        });
        app = new ViewerApp(std::move(options), std::move(waterDirectory));
        tarn::app::CreateApplicationWindow(*app, GetModuleHandleA(nullptr));
        started = tarn::app::StartApplication(*app);
        if (started) ShowWindow(app->GetWindow(), SW_SHOWDEFAULT);
        Pump();
    }
    ~Viewer() {
        app->Shutdown();
        if (IsWindow(app->GetWindow())) DestroyWindow(app->GetWindow());
        delete app;
        tarn::app::UnregisterEngineWindowClass(GetModuleHandleA(nullptr));
        Pump();
        tarn::platform::SetMessageBoxHook({});
        tarn::d3d9::ResetBackend();
        tarn::platform::ResetPresentedFrames();
        tarn::platform::Runner() = {};
    }
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    HWND window() const { return app->GetWindow(); }
    // Dispatches what is waiting, as the message loop does, without drawing.
    std::vector<UINT> Pump() {
        std::vector<UINT> seen;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            seen.push_back(msg.message);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return seen;
    }
    void Post(UINT message, WPARAM wParam, LPARAM lParam = 0) {
        ASSERT_TRUE(PostMessageA(window(), message, wParam, lParam));
        Pump();
    }
    void Mouse(UINT message, WORD keys, int x, int y) { Post(message, keys, MAKELPARAM(x, y)); }
    // Draws `count` frames (each accepted by the frame gate, each presented).
    void Frames(int count) {
        for (int i = 0; i < count; ++i) {
            const long before = tarn::platform::PresentedFrames(window());
            for (int tries = 0; tries < 4 && tarn::platform::PresentedFrames(window()) == before; ++tries) app->Frame();
            ASSERT_EQ(tarn::platform::PresentedFrames(window()), before + 1) << "frame " << i << " was not presented";
        }
    }
    // Where a point lands on a client area of `width` x `height`: pixel x, pixel y, depth.
    D3DXVECTOR3 OnScreen(const D3DXVECTOR3& point, int width = 800, int height = 600) const {
        D3DXMATRIX view = app->ViewMatrix(), projection = app->ProjectionMatrix(), both;
        D3DXMatrixMultiply(&both, &view, &projection);
        D3DXVECTOR3 ndc;
        D3DXVec3TransformCoord(&ndc, &point, &both);
        return D3DXVECTOR3((ndc.x + 1) * width / 2, (1 - ndc.y) * height / 2, ndc.z);
    }

    ViewerApp* app = nullptr;
    bool started = false;
    std::vector<std::string> boxes;
};

D3DXVECTOR3 Right(const D3DXMATRIX& view) { return D3DXVECTOR3(view._11, view._21, view._31); }
float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float tolerance = 1e-4f) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i / 4][i % 4], b.m[i / 4][i % 4], tolerance) << "element " << i;
}

// The eight corners of the scene's box all land in the picture, and the box fills a good part of it.
void ExpectFramed(const Viewer& viewer, int width, int height) {
    const tarn::view::SceneBox& box = viewer.app->GetBounds();
    ASSERT_FALSE(box.empty);
    float left = 1e9f, right = -1e9f, top = 1e9f, bottom = -1e9f;
    for (int corner = 0; corner < 8; ++corner) {
        const D3DXVECTOR3 p((corner & 1) ? box.maximum.x : box.minimum.x, (corner & 2) ? box.maximum.y : box.minimum.y,
                            (corner & 4) ? box.maximum.z : box.minimum.z);
        const D3DXVECTOR3 s = viewer.OnScreen(p, width, height);
        EXPECT_GE(s.x, 0);
        EXPECT_LE(s.x, width);
        EXPECT_GE(s.y, 0);
        EXPECT_LE(s.y, height);
        EXPECT_GE(s.z, 0);
        EXPECT_LE(s.z, 1);
        left = std::min(left, s.x), right = std::max(right, s.x), top = std::min(top, s.y),
        bottom = std::max(bottom, s.y);
    }
    EXPECT_GT(std::max((right - left) / width, (bottom - top) / height), 0.6f) << "the scene is lost in the picture";
}

TEST(ViewerAppTest, StartsInAResizableWindowFramingTheWholeScene) {
    Viewer viewer(SceneOptions());
    ASSERT_TRUE(viewer.started) << (viewer.boxes.empty() ? "" : viewer.boxes[0]);
    EXPECT_NE(GetWindowLongA(viewer.window(), GWL_STYLE) & WS_THICKFRAME, 0);
    RECT client{};
    ASSERT_TRUE(GetClientRect(viewer.window(), &client));
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    EXPECT_EQ(viewer.app->GetBackBufferWidth(), 800u);
    char title[128] = {};
    GetWindowTextA(viewer.window(), title, sizeof title);
    EXPECT_STREQ(title, "TwoCameras.TRS - Tarn Viewer");
    EXPECT_EQ(viewer.app->GetView(), -1);
    ExpectFramed(viewer, 800, 600);
    // The framed view looks at the box's centre.
    const D3DXVECTOR3 centre = viewer.OnScreen(viewer.app->GetBounds().Centre());
    EXPECT_NEAR(centre.x, 400, 0.01f);
    EXPECT_NEAR(centre.y, 300, 0.01f);
    viewer.Frames(2);
}

TEST(ViewerAppTest, TheCameraKeyGoesThroughTheScenesCamerasAndBack) {
    {
        Viewer viewer(SceneOptions());
        ASSERT_TRUE(viewer.started);
        const auto cameraView = [](D3DXVECTOR3 eye, D3DXVECTOR3 at) {
            const D3DXVECTOR3 up(0, 1, 0);
            D3DXMATRIX view;
            D3DXMatrixLookAtLH(&view, &eye, &at, &up);
            return view;
        };
        const auto projection = [](float fov, float nearPlane, float farPlane) {
            D3DXMATRIX p;
            D3DXMatrixPerspectiveFovLH(&p, fov, 800.0f / 600.0f, nearPlane, farPlane);
            return p;
        };
        viewer.Post(WM_KEYDOWN, 'C');
        EXPECT_EQ(viewer.app->GetView(), 0);
        ExpectMatrixNear(viewer.app->ViewMatrix(), cameraView({0, 9, -16}, {0, 0, 0}));
        ExpectMatrixNear(viewer.app->ProjectionMatrix(), projection(0.785398185f, 1, 100));
        viewer.Frames(1);

        viewer.Post(WM_KEYDOWN, 'C', 1 << 30);  // held: auto-repeat switches nothing
        EXPECT_EQ(viewer.app->GetView(), 0);
        viewer.Post(WM_KEYUP, 'C');
        viewer.Post(WM_KEYDOWN, 'C');
        EXPECT_EQ(viewer.app->GetView(), 1);
        ExpectMatrixNear(viewer.app->ViewMatrix(), cameraView({10, 3, 1}, {0, 1, 0}));
        ExpectMatrixNear(viewer.app->ProjectionMatrix(), projection(0.9f, 0.5f, 60));
        viewer.Frames(1);
        // What the frame sent is what the viewer computed.
        ExpectMatrixNear(viewer.app->GetScene()->getCamera(0)->getViewMatrix(), viewer.app->ViewMatrix());

        viewer.Post(WM_KEYDOWN, 'C');
        EXPECT_EQ(viewer.app->GetView(), -1);
        ExpectFramed(viewer, 800, 600);
        viewer.Post(WM_KEYDOWN, 'C');
        viewer.Post(WM_KEYDOWN, 'F');
        EXPECT_EQ(viewer.app->GetView(), -1);
    }

    ViewerOptions second = SceneOptions();
    second.camera = 1;
    Viewer fromSecond(second);
    ASSERT_TRUE(fromSecond.started);
    EXPECT_EQ(fromSecond.app->GetView(), 1);
}

// A left drag turns the picture with the mouse (the eye goes round to the camera's left for a drag to the right,
// and up for a drag down), with the mouse captured while a button is down; a right or middle drag moves the point
// under the cursor with it; the wheel zooms in forward and out back. A move without a button changes nothing.
TEST(ViewerAppTest, TheMouseOrbitsPansAndZoomsTheCamera) {
    Viewer viewer(SceneOptions());
    ASSERT_TRUE(viewer.started);
    ViewerApp& app = *viewer.app;

    const D3DXMATRIX start = app.ViewMatrix();
    viewer.Mouse(WM_MOUSEMOVE, 0, 100, 100);
    viewer.Mouse(WM_MOUSEMOVE, 0, 300, 200);
    ExpectMatrixNear(app.ViewMatrix(), start, 0);

    const D3DXVECTOR3 eye0 = app.GetCamera().Eye(), target0 = app.GetCamera().Target();
    const float distance0 = app.GetCamera().Distance();
    viewer.Mouse(WM_LBUTTONDOWN, MK_LBUTTON, 400, 300);
    EXPECT_EQ(GetCapture(), viewer.window());
    viewer.Mouse(WM_MOUSEMOVE, MK_LBUTTON, 430, 300);
    viewer.Mouse(WM_MOUSEMOVE, MK_LBUTTON, 460, 300);
    viewer.Mouse(WM_LBUTTONUP, 0, 460, 300);
    EXPECT_EQ(GetCapture(), nullptr);
    const D3DXVECTOR3 orbited = app.GetCamera().Eye() - eye0;
    EXPECT_LT(Dot(orbited, Right(start)), -0.5f * distance0 * 60 * OrbitCamera::kRadiansPerPixel);
    EXPECT_NEAR(orbited.y, 0, 1e-3f);
    EXPECT_NEAR(app.GetCamera().Distance(), distance0, 1e-3f);
    EXPECT_NEAR(app.GetCamera().Target().x, target0.x, 1e-5f);
    EXPECT_NEAR(app.GetCamera().Target().z, target0.z, 1e-5f);
    viewer.Frames(1);

    const float height0 = app.GetCamera().Eye().y;
    viewer.Mouse(WM_LBUTTONDOWN, MK_LBUTTON, 400, 300);
    viewer.Mouse(WM_MOUSEMOVE, MK_LBUTTON, 400, 340);
    viewer.Mouse(WM_LBUTTONUP, 0, 400, 340);
    EXPECT_GT(app.GetCamera().Eye().y, height0 + 0.1f) << "a drag down raises the eye";

    for (const auto& [down, keys, up] :
         {std::tuple{WM_RBUTTONDOWN, MK_RBUTTON, WM_RBUTTONUP}, std::tuple{WM_MBUTTONDOWN, MK_MBUTTON, WM_MBUTTONUP}}) {
        SCOPED_TRACE(down);
        const D3DXVECTOR3 target = app.GetCamera().Target();
        const D3DXVECTOR3 back = app.GetCamera().Eye() - target;
        viewer.Mouse(down, keys, 200, 200);
        viewer.Mouse(WM_MOUSEMOVE, keys, 230, 215);
        viewer.Mouse(WM_MOUSEMOVE, keys, 260, 230);
        viewer.Mouse(up, 0, 260, 230);
        const D3DXVECTOR3 s = viewer.OnScreen(target);
        EXPECT_NEAR(s.x, 400 + 60, 0.1f);
        EXPECT_NEAR(s.y, 300 + 30, 0.1f);
        const D3DXVECTOR3 backAfter = app.GetCamera().Eye() - app.GetCamera().Target();
        EXPECT_NEAR(backAfter.x, back.x, 1e-3f);
        EXPECT_NEAR(backAfter.y, back.y, 1e-3f);
        EXPECT_NEAR(backAfter.z, back.z, 1e-3f);
    }

    const float distance = app.GetCamera().Distance();
    const D3DXVECTOR3 target = app.GetCamera().Target();
    viewer.Post(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(400, 300));
    EXPECT_NEAR(app.GetCamera().Distance(), distance * OrbitCamera::kZoomPerNotch, 1e-4f * distance);
    viewer.Post(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-2 * WHEEL_DELTA)), MAKELPARAM(400, 300));
    EXPECT_NEAR(app.GetCamera().Distance(), distance / OrbitCamera::kZoomPerNotch, 1e-4f * distance);
    EXPECT_NEAR(app.GetCamera().Target().x, target.x, 1e-5f);
    // Zoomed in, the eye is nearer the target along the same line of sight.
    const D3DXVECTOR3 s = viewer.OnScreen(target);
    EXPECT_NEAR(s.x, 400, 0.05f);
    EXPECT_NEAR(s.y, 300, 0.05f);
    viewer.Frames(1);
}

TEST(ViewerAppTest, SpacePausesAndPlaysTheAnimation) {
    {
        Viewer viewer(SceneOptions());
        ASSERT_TRUE(viewer.started);
        ViewerApp& app = *viewer.app;
        const CTRMeshNode& slider = *app.GetScene()->getMeshNode(2);
        EXPECT_TRUE(app.IsPlaying());
        viewer.Frames(6);
        const float playedTo = app.GetAnimationTime();
        EXPECT_GT(playedTo, 5.0f / 30.0f);
        // The slider's keys go from x = -4 at 0 s to x = 4 at 2 s.
        EXPECT_NEAR(slider.matrix._41, -4 + 8 * playedTo / 2, 1e-3f);

        viewer.Post(WM_KEYDOWN, VK_SPACE);
        EXPECT_FALSE(app.IsPlaying());
        const D3DXMATRIX held = slider.matrix;
        viewer.Frames(6);
        EXPECT_EQ(app.GetAnimationTime(), playedTo);
        ExpectMatrixNear(slider.matrix, held, 0);

        viewer.Post(WM_KEYUP, VK_SPACE);
        viewer.Post(WM_KEYDOWN, VK_SPACE);
        EXPECT_TRUE(app.IsPlaying());
        viewer.Frames(3);
        EXPECT_GT(app.GetAnimationTime(), playedTo);
        EXPECT_GT(slider.matrix._41, held._41);
    }

    ViewerOptions paused = SceneOptions();
    paused.paused = true;
    Viewer still(paused);
    ASSERT_TRUE(still.started);
    still.Frames(4);
    EXPECT_EQ(still.app->GetAnimationTime(), 0.0f);
    EXPECT_EQ(still.app->GetScene()->getMeshNode(2)->matrix._43, -3.0f);  // the file's matrix
    EXPECT_EQ(still.app->GetScene()->getMeshNode(2)->matrix._41, 0.0f);
}

TEST(ViewerAppTest, TheWaterKeyLaysTheDemosEffectsOverTheScene) {
    {
        Viewer viewer(SceneOptions());
        ASSERT_TRUE(viewer.started);
        ASSERT_TRUE(viewer.app->IsWaterAvailable()) << "caustic frames in " << kRuntime;
        EXPECT_FALSE(viewer.app->IsWaterOn());
        viewer.Frames(2);
        const float phase = wavePhase;
        viewer.Post(WM_KEYDOWN, 'W');
        EXPECT_TRUE(viewer.app->IsWaterOn());
        viewer.Frames(3);
        EXPECT_NE(wavePhase, phase) << "the ripple drew";
        viewer.Post(WM_KEYUP, 'W');
        viewer.Post(WM_KEYDOWN, 'W');
        EXPECT_FALSE(viewer.app->IsWaterOn());
        const float after = wavePhase;
        viewer.Frames(2);
        EXPECT_EQ(wavePhase, after);
    }

    // Without the caustic frames the viewer shows the scene alone and says why.
    testing::internal::CaptureStderr();
    Viewer dry(SceneOptions(), tarn::d3d9::BackendKind::Null, "/nonexistent/");
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(dry.started);
    EXPECT_FALSE(dry.app->IsWaterAvailable());
    EXPECT_NE(said.find("/nonexistent/Water/caust0.tga"), std::string::npos) << said;
    testing::internal::CaptureStderr();
    dry.Post(WM_KEYDOWN, 'W');
    EXPECT_NE(testing::internal::GetCapturedStderr().find("not available"), std::string::npos);
    EXPECT_FALSE(dry.app->IsWaterOn());
    dry.Frames(2);
}

TEST(ViewerAppTest, EscapeOrClosingTheWindowQuits) {
    for (UINT how : {static_cast<UINT>(WM_KEYUP), static_cast<UINT>(WM_CLOSE)}) {
        SCOPED_TRACE(how);
        Viewer viewer(SceneOptions());
        ASSERT_TRUE(viewer.started);
        ASSERT_TRUE(PostMessageA(viewer.window(), how, how == WM_KEYUP ? VK_ESCAPE : 0, 0));
        const std::vector<UINT> seen = viewer.Pump();
        EXPECT_FALSE(IsWindow(viewer.window()));
        EXPECT_EQ(seen.back(), static_cast<UINT>(WM_QUIT));
    }
}

TEST(ViewerAppTest, AMissingSceneOrCameraStopsTheStart) {
    {
        Viewer viewer(SceneOptions("/nonexistent/scene.TRS"));
        EXPECT_FALSE(viewer.started);
        ASSERT_FALSE(viewer.boxes.empty());
        EXPECT_NE(viewer.boxes[0].find("/nonexistent/scene.TRS"), std::string::npos) << viewer.boxes[0];
    }
    ViewerOptions options = SceneOptions();
    options.camera = 2;
    Viewer viewer(options);
    EXPECT_FALSE(viewer.started);
    ASSERT_FALSE(viewer.boxes.empty());
    EXPECT_NE(viewer.boxes[0].find("there is no camera 2"), std::string::npos) << viewer.boxes[0];
}

// A resize of the window (SetWindowPos, as the window manager's drag arrives too) reaches the viewer as WM_SIZE;
// its next frame resets the device to the new client size, and the screenshot has that size. The projection
// always takes the window's shape, and the framed view (F) fits the scene into it.
TEST(ViewerAppTest, AResizedWindowGetsABackBufferOfItsNewSize) {
    Viewer viewer(SceneOptions(), tarn::d3d9::BackendKind::Gl);
    ASSERT_TRUE(viewer.started) << (viewer.boxes.empty() ? "" : viewer.boxes[0]);
    const std::string dir = tarn::demotest::MakeTempDirectory();
    tarn::platform::Runner().screenshotPath = dir + "/resized.png";
    viewer.Frames(2);

    RECT frame{0, 0, 480, 640};
    ASSERT_TRUE(AdjustWindowRect(&frame, static_cast<DWORD>(GetWindowLongA(viewer.window(), GWL_STYLE)), FALSE));
    ASSERT_TRUE(SetWindowPos(viewer.window(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    viewer.Pump();
    const D3DXMATRIX projection = viewer.app->ProjectionMatrix();
    EXPECT_NEAR(projection._22 / projection._11, 480.0f / 640.0f, 1e-5f) << "aspect = width / height";
    viewer.Post(WM_KEYDOWN, 'F');
    ExpectFramed(viewer, 480, 640);
    viewer.Frames(3);
    ASSERT_TRUE(tarn::platform::SaveFinalScreenshot());
    tarn::demotest::RgbaImage shot;
    ASSERT_TRUE(tarn::demotest::ReadPng(dir + "/resized.png", &shot));
    tarn::demotest::RemoveTree(dir);

    ASSERT_TRUE(SUCCEEDED(viewer.app->GetLastResetResult()))
        << std::hex << "Reset answered 0x" << viewer.app->GetLastResetResult();
    EXPECT_EQ(viewer.app->GetBackBufferWidth(), 480u);
    EXPECT_EQ(viewer.app->GetBackBufferHeight(), 640u);
    EXPECT_EQ(shot.width, 480);
    EXPECT_EQ(shot.height, 640);
    // The scene is there, inside a border of the background colour.
    int scene = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const std::uint8_t* p = shot.at(x, y);
            const bool background = std::abs(p[0] - 0x30) + std::abs(p[1] - 0x38) + std::abs(p[2] - 0x40) <= 3;
            if (x == 0 || y == 0 || x == shot.width - 1 || y == shot.height - 1)
                EXPECT_TRUE(background) << x << "," << y;
            else
                scene += background ? 0 : 1;
        }
    EXPECT_GT(scene, shot.width * shot.height / 8);
}

}  // namespace
