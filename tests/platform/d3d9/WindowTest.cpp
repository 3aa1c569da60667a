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

}  // namespace
