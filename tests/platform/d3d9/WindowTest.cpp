// A device on an engine window with an SDL window (SDL's off-screen driver, so no display is needed): the GL
// context lives on the window, the back buffer takes the window's size, Present shows and reports each frame.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>

#include "PresentPath.h"
#include "platform/Runner.h"
#include "platform/d3d9/Backend.h"
#include "platform/d3d9/D3D9.h"
#include "platform/win32/Win32.h"
#include "D3D9TestDevice.h"

namespace {

TEST(WindowTest, DeviceOnAnSdlWindowPresentsWhatWasDrawn) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    tarn::platform::Runner().headless = false;
    tarn::d3d9::SetBackend(tarn::d3d9::BackendKind::Gl);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "d3d9 window test";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    HWND window = CreateWindowExA(0, "d3d9 window test", "Tarn Engine 1.0v", WS_POPUP, 0, 0, 96, 48,
                                  GetDesktopWindow(), nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(tarn::platform::SdlWindowOf(window), nullptr) << "no SDL window behind the engine window";

    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS pp = tarn::d3d9::test::DefaultPresentParameters(0, 0, D3DFMT_D16);
    pp.hDeviceWindow = window;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_PUREDEVICE | D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                &pp, &device),
              D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 96u);  // a zero size takes the window's client area
    EXPECT_EQ(pp.BackBufferHeight, 48u);

    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xff336699, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(tarn::d3d9::TakeGlErrors(device), 0u);

    IDirect3DSurface9* back = nullptr;
    IDirect3DSurface9* copy = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(device->CreateOffscreenPlainSurface(96, 48, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
    ASSERT_EQ(device->GetRenderTargetData(back, copy), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<const std::uint32_t*>(locked.pBits)[95], 0xff336699u);
    copy->UnlockRect();
    copy->Release();
    back->Release();
    EXPECT_EQ(tarn::d3d9::LiveResourceCount(device), 0u) << tarn::d3d9::DescribeLiveResources(device);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    DestroyWindow(window);
    tarn::d3d9::ResetBackend();
}

// Full screen on an SDL window: the window covers the display, the frame goes to it through the gamma ramp, and
// the pass leaves the backend's state as the next draw expects (its pixels are right, and GL saw no error).
TEST(WindowTest, FullScreenPresentsThroughTheGammaRamp) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    tarn::platform::Runner().headless = false;
    tarn::d3d9::SetBackend(tarn::d3d9::BackendKind::Gl);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "d3d9 full screen test";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "d3d9 full screen test", "full screen", WS_POPUP, 0, 0, 64, 64, GetDesktopWindow(),
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(tarn::platform::SdlWindowOf(window), nullptr);
    ShowWindow(window, SW_SHOW);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    D3DPRESENT_PARAMETERS pp = tarn::d3d9::test::DefaultPresentParameters(mode.Width, mode.Height);
    pp.Windowed = FALSE;
    pp.hDeviceWindow = window;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device), D3D_OK);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, static_cast<LONG>(mode.Width));
    D3DGAMMARAMP ramp{};
    for (int i = 0; i < 256; ++i) ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>((255 - i) * 257);
    device->SetGammaRamp(0, D3DSGR_NO_CALIBRATION, &ramp);
    for (int frame = 0; frame < 2; ++frame) {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff102030, 1.0f, 0), D3D_OK);
        struct Vertex {
            float x, y, z, rhw;
            D3DCOLOR color;
        } quad[4] = {
            {0, 0, 0, 1, 0xff00ff00}, {8, 0, 0, 1, 0xff00ff00}, {0, 8, 0, 1, 0xff00ff00}, {8, 8, 0, 1, 0xff00ff00}};
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
        ASSERT_EQ(device->EndScene(), D3D_OK);
        IDirect3DSurface9* back = nullptr;
        IDirect3DSurface9* copy = nullptr;
        ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        ASSERT_EQ(device->CreateOffscreenPlainSurface(mode.Width, mode.Height, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                      &copy, nullptr),
                  D3D_OK);
        ASSERT_EQ(device->GetRenderTargetData(back, copy), D3D_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(static_cast<const std::uint32_t*>(locked.pBits)[4], 0xff00ff00u) << "frame " << frame;
        EXPECT_EQ(static_cast<const std::uint32_t*>(locked.pBits)[20], 0xff102030u) << "frame " << frame;
        copy->UnlockRect();
        copy->Release();
        back->Release();
        EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(tarn::d3d9::TakeGlErrors(device), 0u);
    }
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    DestroyWindow(window);
    tarn::d3d9::ResetBackend();
}

}  // namespace
