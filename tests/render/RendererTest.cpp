// The renderer's device creation against a recording Direct3D double.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/d3d9/Backend.h"
#include "platform/FaultInjection.h"
#include "render/Renderer.h"
#include "tests/app/AppTestSupport.h"

namespace {

using tarn::test::BoxRecorder;
using tarn::test::CallLog;
using tarn::test::Direct3DOverride;
using tarn::test::ScriptedDirect3D;

HWND FakeWindow() {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x1234));
}

TEST(RendererTest, CreatesTheDeviceWithTheEnginesChoices) {
    CallLog log;
    ScriptedDirect3D direct3D(log);
    direct3D.displayMode = {1280, 1024, 75, D3DFMT_R5G6B5};  // the desktop's format becomes the back buffer's
    Direct3DOverride use(&direct3D);
    BoxRecorder boxes;

    CTRRenderer* renderer = new CTRRenderer;
    EXPECT_EQ(GetRenderer(), renderer);
    ASSERT_TRUE(renderer->Initialize(800, 600, false, FakeWindow()));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(log, (CallLog{"GetDeviceCaps(0,1)", "GetAdapterDisplayMode(0)", "CreateDevice"}));

    EXPECT_EQ(renderer->GetD3D(), &direct3D);
    EXPECT_EQ(renderer->GetDevice(), &direct3D.device);
    EXPECT_EQ(renderer->GetWidth(), 800u);
    EXPECT_EQ(renderer->GetHeight(), 600u);
    EXPECT_EQ(direct3D.createAdapter, static_cast<UINT>(D3DADAPTER_DEFAULT));
    EXPECT_EQ(direct3D.createType, D3DDEVTYPE_HAL);
    EXPECT_EQ(direct3D.createFocus, FakeWindow());

    const D3DPRESENT_PARAMETERS& p = direct3D.createParams;
    EXPECT_EQ(p.BackBufferWidth, 800u);
    EXPECT_EQ(p.BackBufferHeight, 600u);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(p.BackBufferCount, 1u);
    EXPECT_EQ(p.MultiSampleType, static_cast<D3DMULTISAMPLE_TYPE>(0));
    EXPECT_EQ(p.MultiSampleQuality, 0u);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(p.hDeviceWindow, FakeWindow());
    EXPECT_EQ(p.Windowed, TRUE);
    EXPECT_EQ(p.EnableAutoDepthStencil, TRUE);
    EXPECT_EQ(p.AutoDepthStencilFormat, D3DFMT_D16);
    EXPECT_EQ(p.Flags, 0u);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 0u);
    EXPECT_EQ(p.PresentationInterval, static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE));

    // Teardown releases the device, then the Direct3D object, and the renderer is gone.
    log.clear();
    delete renderer;
    EXPECT_EQ(log, (CallLog{"device.Release", "d3d.Release"}));
    EXPECT_EQ(GetRenderer(), nullptr);
}

TEST(RendererTest, FullScreenAsksForAFullScreenBackBuffer) {
    CallLog log;
    ScriptedDirect3D direct3D(log);
    Direct3DOverride use(&direct3D);
    CTRRenderer renderer;
    ASSERT_TRUE(renderer.Initialize(640, 480, true, FakeWindow()));
    EXPECT_EQ(direct3D.createParams.Windowed, FALSE);
    EXPECT_TRUE(renderer.IsFullScreen());
}

TEST(RendererTest, VertexProcessingFollowsTheVertexShaderVersion) {
    struct Case {
        DWORD version;
        DWORD flags;
    };
    const Case cases[] = {
        {0xFFFE0100, D3DCREATE_PUREDEVICE | D3DCREATE_HARDWARE_VERTEXPROCESSING},  // 1.0 exactly: 0x50
        {0xFFFE0101, 0x50},
        {0xFFFE0300, 0x50},
        {0xFFFFFFFF, 0x50},
        {0xFFFE00FF, D3DCREATE_PUREDEVICE | D3DCREATE_SOFTWARE_VERTEXPROCESSING},  // below 1.0: 0x30
        {0x00000100, 0x30},
        {0, 0x30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.version);
        CallLog log;
        ScriptedDirect3D direct3D(log);
        direct3D.vertexShaderVersion = c.version;
        Direct3DOverride use(&direct3D);
        CTRRenderer renderer;
        ASSERT_TRUE(renderer.Initialize(800, 600, false, FakeWindow()));
        EXPECT_EQ(direct3D.createFlags, c.flags);
    }
}

TEST(RendererTest, EachFailingStepShowsItsTextAndKeepsWhatItCreated) {
    struct Case {
        const char* text;
        bool haveDirect3D;
        HRESULT caps, mode, create;
    };
    const Case cases[] = {
        {"Direct3DCreate9() Init Fail", false, S_OK, S_OK, S_OK},
        {"GetDeviceCaps() Init Fail", true, D3DERR_NOTAVAILABLE, S_OK, S_OK},
        {"GetAdapterDisplayMode() Init Fail", true, S_OK, D3DERR_INVALIDCALL, S_OK},
        {"CreateDevice() Init Fail", true, S_OK, S_OK, E_OUTOFMEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CallLog log;
        ScriptedDirect3D direct3D(log);
        direct3D.capsResult = c.caps;
        direct3D.displayModeResult = c.mode;
        direct3D.createDeviceResult = c.create;
        Direct3DOverride use(c.haveDirect3D ? &direct3D : nullptr);
        BoxRecorder boxes;
        {
            CTRRenderer renderer;
            EXPECT_FALSE(renderer.Initialize(800, 600, false, FakeWindow()));
            EXPECT_EQ(boxes.Texts(), std::vector<std::string>{c.text});
            EXPECT_EQ(boxes.boxes[0].caption, "Error");
            EXPECT_EQ(renderer.GetD3D(), c.haveDirect3D ? &direct3D : nullptr);
            EXPECT_EQ(renderer.GetDevice(), nullptr);
            log.clear();
        }
        // Only what was created is released.
        EXPECT_EQ(log, c.haveDirect3D ? CallLog{"d3d.Release"} : CallLog{});
    }
}

}  // namespace

// The same paths through the platform's own Direct3D layer (null drawing backend) and its fault injection.
namespace {

class RendererOnPlatformTest : public ::testing::Test {
protected:
    RendererOnPlatformTest() { tarn::d3d9::SetBackend(tarn::d3d9::BackendKind::Null); }
    ~RendererOnPlatformTest() override {
        tarn::platform::ClearFaults();
        tarn::d3d9::ResetBackend();
    }
};

TEST_F(RendererOnPlatformTest, WindowedBackBufferHasTheWindowSizeAndTheDesktopFormat) {
    BoxRecorder boxes;
    CTRRenderer renderer;
    ASSERT_TRUE(renderer.Initialize(800, 600, false, GetDesktopWindow()));
    EXPECT_TRUE(boxes.boxes.empty());

    D3DDISPLAYMODE desktop = {};
    ASSERT_TRUE(SUCCEEDED(renderer.GetD3D()->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop)));
    const D3DPRESENT_PARAMETERS& p = renderer.GetPresentParameters();
    EXPECT_EQ(p.BackBufferWidth, 800u);
    EXPECT_EQ(p.BackBufferHeight, 600u);
    EXPECT_EQ(p.BackBufferFormat, desktop.Format);

    D3DDEVICE_CREATION_PARAMETERS created = {};
    ASSERT_TRUE(SUCCEEDED(renderer.GetDevice()->GetCreationParameters(&created)));
    EXPECT_EQ(created.BehaviorFlags & D3DCREATE_PUREDEVICE, static_cast<DWORD>(D3DCREATE_PUREDEVICE));
    const DWORD processing = static_cast<DWORD>(renderer.GetCaps().VertexShaderVersion) >= D3DVS_VERSION(1, 0)
                                 ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                                 : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    EXPECT_EQ(created.BehaviorFlags & 0xE0u, processing);  // exactly one kind of vertex processing
}

// Without a window (a failed CreateWindowExA) the device cannot be created: the renderer reports it instead
// of running a program that can never show a frame.
TEST_F(RendererOnPlatformTest, NoWindowFailsDeviceCreationWithItsText) {
    BoxRecorder boxes;
    {
        CTRRenderer renderer;
        EXPECT_FALSE(renderer.Initialize(800, 600, false, nullptr));
        EXPECT_EQ(renderer.GetDevice(), nullptr);
    }
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"CreateDevice() Init Fail"});
}

TEST_F(RendererOnPlatformTest, InjectedFailureOfEachStepShowsItsText) {
    struct Case {
        const char* call;
        std::uint32_t code;
        const char* text;
    };
    const Case cases[] = {
        {"Direct3DCreate9", 0, "Direct3DCreate9() Init Fail"},
        {"GetDeviceCaps", static_cast<std::uint32_t>(D3DERR_NOTAVAILABLE), "GetDeviceCaps() Init Fail"},
        {"GetAdapterDisplayMode", static_cast<std::uint32_t>(D3DERR_INVALIDCALL),
         "GetAdapterDisplayMode() Init Fail"},
        {"CreateDevice", static_cast<std::uint32_t>(D3DERR_NOTAVAILABLE), "CreateDevice() Init Fail"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        BoxRecorder boxes;
        tarn::platform::InjectFault(c.call, c.code, 1);
        {
            CTRRenderer renderer;
            EXPECT_FALSE(renderer.Initialize(800, 600, false, nullptr));
            EXPECT_EQ(renderer.GetDevice(), nullptr);
        }
        tarn::platform::ClearFaults();
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{c.text});
    }
}

}  // namespace
