// The application object, the window procedure and the entry point, run with headless windows and a recording
// Direct3D double in place of the device.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/Application.h"
#include "platform/Runner.h"
#include "render/FrameRate.h"
#include "render/Renderer.h"
#include "report/ErrorBox.h"
#include "ApplicationStart.h"
#include "AppTestSupport.h"
#include "MessageLoop.h"

using tarn::test::BoxRecorder;
using tarn::test::CallLog;
using tarn::test::Direct3DOverride;
using tarn::test::ScriptedDirect3D;

namespace {

std::function<CTRApplication*()> g_makeApplication;

}  // namespace

// The entry point's factory: whatever the running test installed.
CTRApplication* CreateApplication() {
    return g_makeApplication ? g_makeApplication() : nullptr;
}

namespace {

// Logs what the engine asks of it; Frame and Initialize run scripts of the test's choosing.
class ScriptedApp : public CTRApplication {
public:
    explicit ScriptedApp(CallLog& log, const char* title = "Tarn Engine 1.0v")
        : CTRApplication(title, 800, 600, false), log(log) {}
    ~ScriptedApp() override { log.push_back("~ScriptedApp"); }

    bool Initialize() override {
        log.push_back("Initialize");
        return onInitialize ? onInitialize(*this) : true;
    }
    void Frame() override {
        log.push_back("Frame");
        if (onFrame) onFrame(*this, ++frames);
    }
    void Shutdown() override {
        log.push_back(std::string("Shutdown visible=") + (IsWindowVisible(window) ? "1" : "0") +
                      " exists=" + (IsWindow(window) ? "1" : "0"));
        CTRApplication::Shutdown();
    }
    void OnSize() override { log.push_back("OnSize"); }
    bool MsgProc(UINT message, WPARAM, LPARAM) override {
        if (message >= WM_USER) log.push_back("Msg " + std::to_string(message - WM_USER));
        return handled.count(message) != 0;
    }

    std::function<bool(ScriptedApp&)> onInitialize;
    std::function<void(ScriptedApp&, int frame)> onFrame;
    std::set<UINT> handled;
    int frames = 0;
    CallLog& log;
};

class ApplicationTest : public ::testing::Test {
protected:
    ApplicationTest() : direct3D(log), use(&direct3D) {
        tarn::platform::Runner().headless = true;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    ~ApplicationTest() override { g_makeApplication = nullptr; }

    // Runs the entry point with a ScriptedApp that `configure` prepares; returns WinMain's result.
    int RunWinMain(const std::function<void(ScriptedApp&)>& configure) {
        g_makeApplication = [this, configure]() -> CTRApplication* {
            auto* app = new ScriptedApp(log);
            configure(*app);
            return app;
        };
        return WinMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);
    }

    // The engine window for `app`, made as the entry point makes it.
    static HWND MakeWindow(CTRApplication& app) {
        return tarn::app::CreateApplicationWindow(app, GetModuleHandleA(nullptr));
    }

    CallLog log;
    ScriptedDirect3D direct3D;
    Direct3DOverride use;
    BoxRecorder boxes;
};

TEST_F(ApplicationTest, TitleIsKeptUpTo51CharactersAndCutBeyond) {
    const std::string title51(51, 't');
    for (const std::string& given :
         {std::string(), std::string("Tarn Engine 1.0v"), title51, title51 + "X", std::string(300, 'u')}) {
        SCOPED_TRACE(given.size());
        ScriptedApp app(log, given.c_str());
        EXPECT_EQ(std::string(app.GetTitle()), given.substr(0, 51));
        EXPECT_EQ(GetApplication(), &app);
    }
    EXPECT_EQ(GetApplication(), nullptr);  // a deleted application is no longer current
}

TEST_F(ApplicationTest, BaseFrameClearsToGreyAndPresents) {
    struct Case {
        HRESULT beginScene;
        CallLog expected;
    };
    const Case cases[] = {
        {S_OK, {"Clear(0,null,3,0xFFC8C8C8,1,0)", "BeginScene", "EndScene", "Present(null,null,null,null)"}},
        {D3DERR_INVALIDCALL,
         {"Clear(0,null,3,0xFFC8C8C8,1,0)", "BeginScene", "Present(null,null,null,null)"}},
    };
    for (const Case& c : cases) {
        CTRApplication app("grey", 800, 600, false);
        ASSERT_TRUE(app.CreateRenderer());
        direct3D.device.beginSceneResult = c.beginScene;
        log.clear();
        app.Frame();
        EXPECT_EQ(log, c.expected);
        app.Shutdown();
        EXPECT_EQ(GetRenderer(), nullptr);
    }
}

TEST_F(ApplicationTest, ShutdownAndDestructorCopeWithMembersNeverCreated) {
    {
        CTRApplication app("empty", 800, 600, false);
        app.Shutdown();
        app.Shutdown();
    }
    EXPECT_EQ(GetRenderer(), nullptr);
    EXPECT_TRUE(log.empty());
}

TEST_F(ApplicationTest, WindowProcedureRoutesMessages) {
    ScriptedApp app(log);
    app.handled = {WM_USER + 7, WM_CLOSE};
    const HWND window = MakeWindow(app);
    ASSERT_NE(window, nullptr);
    log.clear();

    // WM_SIZE reaches OnSize and the default procedure, never MsgProc, even when MsgProc would claim it.
    app.handled.insert(WM_SIZE);
    EXPECT_EQ(SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(64, 64)), 0);
    EXPECT_EQ(log, CallLog{"OnSize"});

    // A handled message returns 1; an unhandled one gets the default procedure's 0.
    log.clear();
    EXPECT_EQ(SendMessageA(window, WM_USER + 7, 0, 0), 1);
    EXPECT_EQ(SendMessageA(window, WM_USER + 8, 0, 0), 0);
    EXPECT_EQ(log, (CallLog{"Msg 7", "Msg 8"}));

    // A handled WM_CLOSE skips the default processing, which would destroy the window.
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 1);
    EXPECT_TRUE(IsWindow(window));

    // Unhandled, the default procedure destroys it and WM_DESTROY posts WM_QUIT.
    app.handled.clear();
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 0u);
    tarn::app::UnregisterEngineWindowClass(GetModuleHandleA(nullptr));
}

TEST_F(ApplicationTest, MessagesGoBeforeFramesAndQuitEndsTheLoopWithoutAnotherFrame) {
    const int result = RunWinMain([](ScriptedApp& app) {
        app.onInitialize = [](ScriptedApp& a) {
            for (UINT i = 1; i <= 3; ++i) PostMessageA(a.GetWindow(), WM_USER + i, 0, 0);
            return true;
        };
        app.onFrame = [](ScriptedApp& a, int frame) {
            if (frame == 1) {
                PostMessageA(a.GetWindow(), WM_USER + 4, 0, 0);
                PostMessageA(a.GetWindow(), WM_USER + 5, 0, 0);
            } else if (frame == 2) {
                DestroyWindow(a.GetWindow());  // WM_DESTROY posts WM_QUIT
            }
        };
    });
    EXPECT_EQ(result, 0);
    // WM_SIZE sent during window creation already reaches the application.
    EXPECT_EQ(log, (CallLog{"OnSize", "GetDeviceCaps(0,1)", "GetAdapterDisplayMode(0)", "CreateDevice",
                            "Initialize", "Msg 1", "Msg 2", "Msg 3", "Frame", "Msg 4", "Msg 5", "Frame",
                            "Shutdown visible=0 exists=0", "device.Release", "d3d.Release", "~ScriptedApp"}));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(GetRenderer(), nullptr);
}

TEST_F(ApplicationTest, WindowIsShownOnlyAfterAStartUpThatSucceeded) {
    bool visibleAtInitialize = true;
    bool visibleAtFrame = false;
    const int result = RunWinMain([&](ScriptedApp& app) {
        app.onInitialize = [&](ScriptedApp& a) {
            visibleAtInitialize = IsWindowVisible(a.GetWindow());
            EXPECT_NE(a.GetFrameRate(), nullptr);  // the timer exists before the application's content
            return true;
        };
        app.onFrame = [&](ScriptedApp& a, int) {
            visibleAtFrame = IsWindowVisible(a.GetWindow());
            PostQuitMessage(0);
        };
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(visibleAtInitialize);
    EXPECT_TRUE(visibleAtFrame);
}

TEST_F(ApplicationTest, RendererFailureShowsTwoBoxesLeavesTheWindowHiddenAndShutsDown) {
    struct Case {
        const char* detail;
        bool haveDirect3D;
        HRESULT caps, mode, create;
    };
    const Case cases[] = {
        {"Direct3DCreate9() Init Fail", false, S_OK, S_OK, S_OK},
        {"GetDeviceCaps() Init Fail", true, E_FAIL, S_OK, S_OK},
        {"GetAdapterDisplayMode() Init Fail", true, S_OK, E_FAIL, S_OK},
        {"CreateDevice() Init Fail", true, S_OK, S_OK, D3DERR_NOTAVAILABLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.detail);
        log.clear();
        boxes.boxes.clear();
        direct3D.capsResult = c.caps;
        direct3D.displayModeResult = c.mode;
        direct3D.createDeviceResult = c.create;
        Direct3DOverride failing(c.haveDirect3D ? &direct3D : nullptr);

        EXPECT_EQ(RunWinMain([](ScriptedApp&) {}), 1);
        EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{c.detail, "Renderer Initialize() Fail!"}));
        // Initialize never ran; Shutdown did, with the window created but never shown.
        EXPECT_EQ(std::count(log.begin(), log.end(), "Initialize"), 0);
        EXPECT_EQ(std::count(log.begin(), log.end(), "Frame"), 0);
        EXPECT_EQ(std::count(log.begin(), log.end(), "Shutdown visible=0 exists=1"), 1);
        EXPECT_EQ(log.back(), "~ScriptedApp");
        EXPECT_EQ(GetRenderer(), nullptr);
    }
}

TEST_F(ApplicationTest, InitializeFailureShowsTheGenericTextAfterTheApplicationsOwn) {
    const int result = RunWinMain([](ScriptedApp& app) {
        app.onInitialize = [](ScriptedApp&) {
            ErrorBox("Camera missing");
            return false;
        };
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Camera missing", "Initialize() Fail!\n"}));
    EXPECT_EQ(std::count(log.begin(), log.end(), "Frame"), 0);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Shutdown visible=0 exists=1"), 1);
    // The device was made, so teardown releases it and then the Direct3D object.
    const auto device = std::find(log.begin(), log.end(), "device.Release");
    ASSERT_NE(device, log.end());
    EXPECT_EQ(*(device + 1), "d3d.Release");
}

TEST_F(ApplicationTest, NoApplicationMeansExitStatusOneAndNothingElse) {
    g_makeApplication = [] { return static_cast<CTRApplication*>(nullptr); };
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT), 1);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ApplicationTest, LoopPassDispatchesOneWaitingMessageOrRunsOneFrame) {
    ScriptedApp app(log);
    const HWND window = MakeWindow(app);
    log.clear();
    PostMessageA(window, WM_USER + 1, 0, 0);
    MSG msg = {};
    tarn::app::RunMessageLoopPass(app, msg);
    tarn::app::RunMessageLoopPass(app, msg);
    EXPECT_EQ(log, (CallLog{"Msg 1", "Frame"}));
    DestroyWindow(window);
    tarn::app::RunMessageLoopPass(app, msg);  // WM_QUIT from WM_DESTROY: removed, no frame
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(log, (CallLog{"Msg 1", "Frame"}));
    tarn::app::UnregisterEngineWindowClass(GetModuleHandleA(nullptr));
}

}  // namespace
