// Swap chains on both backends: the implicit chain's calls and reference counts, the front buffer as the
// display's picture, additional chains presenting into windows of their own, and the gamma ramp.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <filesystem>
#include <cstring>
#include <vector>

#include "D3D9TestSupport.h"
#include "platform/Runner.h"
#include "platform/RunnerControl.h"
#include "platform/win32/Win32.h"

namespace tarn::d3d9::test {
namespace {

class SwapChainsTest : public DeviceTest, public ::testing::WithParamInterface<BackendKind> {
protected:
    BackendKind Backend() const override { return GetParam(); }

    HWND MakeWindow(int x, int y, int width, int height) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "swap chain test";
        RegisterClassExA(&wc);  // a second registration of the class fails harmlessly
        HWND window = CreateWindowExA(0, "swap chain test", "chain", WS_POPUP, x, y, width, height, nullptr, nullptr,
                                      nullptr, nullptr);
        windows_.push_back(window);
        return window;
    }
    void TearDown() override {
        DeviceTest::TearDown();
        for (HWND w : windows_) DestroyWindow(w);
    }

    // A system-memory A8R8G8B8 surface of the desktop's size, for GetFrontBufferData.
    IDirect3DSurface9* DesktopSurface() {
        D3DDISPLAYMODE mode{};
        d3d->GetAdapterDisplayMode(0, &mode);
        IDirect3DSurface9* s = nullptr;
        device->CreateOffscreenPlainSurface(mode.Width, mode.Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &s, nullptr);
        return s;
    }
    static std::uint32_t PixelAt(IDirect3DSurface9* s, int x, int y) {
        D3DLOCKED_RECT locked{};
        s->LockRect(&locked, nullptr, D3DLOCK_READONLY);
        std::uint32_t p = 0;
        std::memcpy(&p, static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
        s->UnlockRect();
        return p;
    }

    std::vector<HWND> windows_;
};

std::string BackendName(const ::testing::TestParamInfo<BackendKind>& info) {
    return info.param == BackendKind::Gl ? "Gl" : "Null";
}

TEST_P(SwapChainsTest, ImplicitChainAnswersForTheDevice) {
    EXPECT_EQ(device->GetNumberOfSwapChains(), 1u);
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(device->GetSwapChain(0, &chain), D3D_OK);
    ASSERT_NE(chain, nullptr);
    IDirect3DSwapChain9* again = nullptr;
    ASSERT_EQ(device->GetSwapChain(0, &again), D3D_OK);
    EXPECT_EQ(again, chain);
    again->Release();
    IDirect3DSwapChain9* none = reinterpret_cast<IDirect3DSwapChain9*>(1);
    EXPECT_EQ(device->GetSwapChain(1, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(device->GetSwapChain(0, nullptr), D3DERR_INVALIDCALL);

    // The chain holds the device while the caller holds the chain.
    EXPECT_EQ(device->AddRef(), 3u);
    device->Release();

    IDirect3DDevice9* owner = nullptr;
    ASSERT_EQ(chain->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device);
    owner->Release();
    IUnknown* unknown = nullptr;
    ASSERT_EQ(chain->QueryInterface(IID_IDirect3DSwapChain9, reinterpret_cast<void**>(&unknown)), S_OK);
    unknown->Release();

    IDirect3DSurface9* fromChain = nullptr;
    IDirect3DSurface9* fromDevice = nullptr;
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &fromChain), D3D_OK);
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &fromDevice), D3D_OK);
    EXPECT_EQ(fromChain, fromDevice);
    fromChain->Release();
    fromDevice->Release();
    EXPECT_EQ(chain->GetBackBuffer(1, D3DBACKBUFFER_TYPE_MONO, &fromChain), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetBackBuffer(1, 0, D3DBACKBUFFER_TYPE_MONO, &fromChain), D3DERR_INVALIDCALL);

    D3DPRESENT_PARAMETERS pp{};
    ASSERT_EQ(chain->GetPresentParameters(&pp), D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, kSize);
    EXPECT_EQ(pp.Windowed, TRUE);
    D3DDISPLAYMODE mode{}, desktop{};
    ASSERT_EQ(chain->GetDisplayMode(&mode), D3D_OK);
    d3d->GetAdapterDisplayMode(0, &desktop);
    EXPECT_EQ(mode.Width, desktop.Width);
    EXPECT_EQ(mode.Height, desktop.Height);
    EXPECT_EQ(device->GetDisplayMode(1, &mode), D3DERR_INVALIDCALL);
    D3DRASTER_STATUS raster{TRUE, 7};
    ASSERT_EQ(chain->GetRasterStatus(&raster), D3D_OK);
    EXPECT_EQ(raster.ScanLine, 0u);
    EXPECT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr, 0), D3D_OK);
    const RECT part{0, 0, 8, 8};
    EXPECT_EQ(chain->Present(&part, nullptr, nullptr, nullptr, 0), D3DERR_INVALIDCALL);  // rectangles need COPY
    EXPECT_EQ(chain->Release(), 0u);
}

// The front buffer holds what was presented last, not what was drawn since, at the window's place on a surface of
// the display's size; the rest of the desktop reads opaque black.
TEST_P(SwapChainsTest, FrontBufferIsThePresentedPictureOnTheDesktop) {
    // ColorFill writes the null backend's memory too.
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(device->ColorFill(back, nullptr, 0x80336699), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(device->ColorFill(back, nullptr, 0xffff0000), D3D_OK);
    back->Release();
    IDirect3DSurface9* shot = DesktopSurface();
    ASSERT_NE(shot, nullptr);
    ASSERT_EQ(device->GetFrontBufferData(0, shot), D3D_OK);
    EXPECT_EQ(PixelAt(shot, 0, 0), 0xff336699u);  // the device window is the desktop: its client area is at 0, 0
    EXPECT_EQ(PixelAt(shot, kSize - 1, kSize - 1), 0xff336699u);
    EXPECT_EQ(PixelAt(shot, kSize, 0), 0xff000000u);
    EXPECT_EQ(PixelAt(shot, 0, kSize), 0xff000000u);

    IDirect3DSurface9* small = nullptr;
    IDirect3DSurface9* wrongFormat = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(kSize, kSize, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &small, nullptr),
              D3D_OK);
    D3DSURFACE_DESC desc{};
    shot->GetDesc(&desc);
    ASSERT_EQ(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                  &wrongFormat, nullptr),
              D3D_OK);
    EXPECT_EQ(device->GetFrontBufferData(0, small), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetFrontBufferData(0, wrongFormat), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetFrontBufferData(1, shot), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetFrontBufferData(0, nullptr), D3DERR_INVALIDCALL);
    small->Release();
    wrongFormat->Release();
    shot->Release();
}

// An additional chain draws into its own back buffer and presents into its own window, as Present with a window
// override does into another; it counts as a live object and holds Reset back until it is released.
TEST_P(SwapChainsTest, AdditionalChainPresentsIntoItsWindow) {
    HWND own = MakeWindow(100, 50, 32, 16);
    HWND other = MakeWindow(0, 0, 20, 20);
    D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(0, 0);
    pp.hDeviceWindow = own;
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(device->CreateAdditionalSwapChain(&pp, &chain), D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 32u);  // a zero size took the window's client area
    EXPECT_EQ(pp.BackBufferHeight, 16u);
    EXPECT_EQ(device->GetNumberOfSwapChains(), 2u);
    IDirect3DSwapChain9* second = nullptr;
    ASSERT_EQ(device->GetSwapChain(1, &second), D3D_OK);
    EXPECT_EQ(second, chain);
    second->Release();
    EXPECT_EQ(LiveResourceCount(device), 1u);

    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 32u);
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);  // a chain's back buffer is a render target
    ASSERT_EQ(device->ColorFill(back, nullptr, 0xff00ff00), D3D_OK);
    IDirect3DSurface9* deviceBack = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &deviceBack);
    device->SetRenderTarget(0, deviceBack);
    deviceBack->Release();
    back->Release();

    const long ownFrames = tarn::platform::PresentedFrames(own);
    const long otherFrames = tarn::platform::PresentedFrames(other);
    ASSERT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr, 0), D3D_OK);
    EXPECT_EQ(tarn::platform::PresentedFrames(own), ownFrames + 1);
    ASSERT_EQ(device->Present(nullptr, nullptr, other, nullptr), D3D_OK);
    EXPECT_EQ(tarn::platform::PresentedFrames(other), otherFrames + 1);

    IDirect3DSurface9* shot = DesktopSurface();
    ASSERT_EQ(chain->GetFrontBufferData(shot), D3D_OK);
    EXPECT_EQ(PixelAt(shot, 100, 50), 0xff00ff00u);
    EXPECT_EQ(PixelAt(shot, 131, 65), 0xff00ff00u);
    EXPECT_EQ(PixelAt(shot, 99, 50), 0xff000000u);
    EXPECT_EQ(PixelAt(shot, 132, 50), 0xff000000u);
    shot->Release();

    D3DPRESENT_PARAMETERS reset = DefaultPresentParameters(kSize, kSize, D3DFMT_D16);
    EXPECT_EQ(device->Reset(&reset), D3DERR_INVALIDCALL);
    EXPECT_EQ(chain->Release(), 0u);
    EXPECT_EQ(device->GetNumberOfSwapChains(), 1u);
    EXPECT_EQ(device->Reset(&reset), D3D_OK);

    pp.Windowed = FALSE;
    EXPECT_EQ(device->CreateAdditionalSwapChain(&pp, &chain), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateAdditionalSwapChain(nullptr, &chain), D3DERR_INVALIDCALL);
}

// The ramp reads back as set for every chain; out-of-range chains are ignored.
TEST_P(SwapChainsTest, GammaRampReadsBackAsSet) {
    D3DGAMMARAMP ramp{}, read{};
    device->GetGammaRamp(0, &read);
    EXPECT_EQ(read.red[255], 65535);
    EXPECT_EQ(read.green[1], 257);
    for (int i = 0; i < 256; ++i) {
        ramp.red[i] = static_cast<WORD>((255 - i) * 257);
        ramp.green[i] = static_cast<WORD>(i * 128);
        ramp.blue[i] = 0;
    }
    device->SetGammaRamp(0, D3DSGR_NO_CALIBRATION, &ramp);
    device->SetGammaRamp(5, D3DSGR_NO_CALIBRATION, &ramp);
    device->GetGammaRamp(0, &read);
    EXPECT_EQ(std::memcmp(&read, &ramp, sizeof ramp), 0);
}

// What the runner sees of a frame (the --screenshot picture) passes through the ramp when the chain is full
// screen, and not when it is windowed.
TEST_P(SwapChainsTest, FullScreenFramesPassThroughTheRamp) {
    D3DCAPS9 caps{};
    device->GetDeviceCaps(&caps);
    EXPECT_NE(caps.Caps2 & D3DCAPS2_FULLSCREENGAMMA, 0u);
    HWND window = MakeWindow(0, 0, 100, 100);
    D3DGAMMARAMP ramp{};
    for (int i = 0; i < 256; ++i) {
        ramp.red[i] = static_cast<WORD>((255 - i) * 257);
        ramp.green[i] = static_cast<WORD>(i * 128);
        ramp.blue[i] = 0;
    }
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("tarn-gamma-" + std::to_string(static_cast<int>(GetParam())) + ".png"))
                                 .string();
    tarn::platform::RunnerOptions saved = tarn::platform::Runner();
    struct Case {
        BOOL windowed;
        std::uint8_t r, g, b;
    } cases[] = {{FALSE, 204, 51, 0}, {TRUE, 0x33, 0x66, 0x99}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windowed ? "windowed" : "full screen");
        D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(640, 480);
        pp.Windowed = c.windowed;
        pp.hDeviceWindow = window;
        IDirect3DDevice9* own = nullptr;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &own), D3D_OK);
        own->SetGammaRamp(0, D3DSGR_NO_CALIBRATION, &ramp);
        IDirect3DSurface9* back = nullptr;
        own->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        ASSERT_EQ(own->ColorFill(back, nullptr, 0xff336699), D3D_OK);
        back->Release();
        tarn::platform::ResetPresentedFrames();
        tarn::platform::Runner().screenshotPath = path;
        tarn::platform::Runner().frames = -1;
        ASSERT_EQ(own->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        ASSERT_TRUE(tarn::platform::SaveFinalScreenshot());
        tarn::platform::Runner() = saved;
        EXPECT_EQ(own->Release(), 0u);
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0);
        image.format = PNG_FORMAT_RGBA;
        std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
        ASSERT_NE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr), 0);
        ASSERT_EQ(image.width, 640u);
        EXPECT_EQ(rgba[0], c.r);
        EXPECT_EQ(rgba[1], c.g);
        EXPECT_EQ(rgba[2], c.b);
        std::filesystem::remove(path);
    }
    tarn::platform::ResetPresentedFrames();
}

INSTANTIATE_TEST_SUITE_P(Backends, SwapChainsTest, ::testing::Values(BackendKind::Null, BackendKind::Gl), BackendName);

}  // namespace
}  // namespace tarn::d3d9::test
