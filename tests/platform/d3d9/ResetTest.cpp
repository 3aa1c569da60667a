// Reset and the lost-device protocol, on both backends: what Reset refuses while default-pool resources live,
// what it rebuilds and sets back to its default, and the states a window's resizing, minimising and losing the
// foreground put the device in.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "D3D9TestSupport.h"
#include "platform/win32/Win32.h"

namespace tarn::d3d9::test {
namespace {

class ResetTest : public DeviceTest, public ::testing::WithParamInterface<BackendKind> {
protected:
    BackendKind Backend() const override { return GetParam(); }

    D3DPRESENT_PARAMETERS Parameters(UINT width, UINT height) {
        return DefaultPresentParameters(width, height, D3DFMT_D16);
    }
};

std::string BackendName(const ::testing::TestParamInfo<BackendKind>& info) {
    return info.param == BackendKind::Gl ? "Gl" : "Null";
}

// Every kind of default-pool resource the caller can hold blocks Reset until it is released; resources of the
// other pools do not, and neither does a default-pool texture that only the device's state still holds.
TEST_P(ResetTest, RefusedWhileDefaultPoolResourcesLive) {
    struct Case {
        const char* what;
        std::function<IUnknown*(IDirect3DDevice9*)> make;
    };
    const Case cases[] = {
        {"render target",
         [](IDirect3DDevice9* d) {
             IDirect3DSurface9* s = nullptr;
             d->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &s, nullptr);
             return static_cast<IUnknown*>(s);
         }},
        {"depth surface",
         [](IDirect3DDevice9* d) {
             IDirect3DSurface9* s = nullptr;
             d->CreateDepthStencilSurface(16, 16, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE, &s, nullptr);
             return static_cast<IUnknown*>(s);
         }},
        {"default texture",
         [](IDirect3DDevice9* d) {
             IDirect3DTexture9* t = nullptr;
             d->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &t, nullptr);
             return static_cast<IUnknown*>(t);
         }},
        {"default vertex buffer",
         [](IDirect3DDevice9* d) {
             IDirect3DVertexBuffer9* b = nullptr;
             d->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &b, nullptr);
             return static_cast<IUnknown*>(b);
         }},
        {"default index buffer",
         [](IDirect3DDevice9* d) {
             IDirect3DIndexBuffer9* b = nullptr;
             d->CreateIndexBuffer(64, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &b, nullptr);
             return static_cast<IUnknown*>(b);
         }},
        {"held back buffer",
         [](IDirect3DDevice9* d) {
             IDirect3DSurface9* s = nullptr;
             d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &s);
             return static_cast<IUnknown*>(s);
         }},
        {"held depth buffer",
         [](IDirect3DDevice9* d) {
             IDirect3DSurface9* s = nullptr;
             d->GetDepthStencilSurface(&s);
             return static_cast<IUnknown*>(s);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IUnknown* held = c.make(device);
        ASSERT_NE(held, nullptr);
        D3DPRESENT_PARAMETERS pp = Parameters(kSize, kSize);
        EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
        held->Release();
        EXPECT_EQ(device->Reset(&pp), D3D_OK);
        EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    }

    IDirect3DTexture9* managed = nullptr;
    IDirect3DSurface9* plain = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, nullptr), D3D_OK);
    IDirect3DTexture9* bound = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &bound, nullptr), D3D_OK);
    ASSERT_EQ(device->SetTexture(0, bound), D3D_OK);
    bound->Release();  // only the device holds it now; Reset releases it with the other state
    D3DPRESENT_PARAMETERS pp = Parameters(kSize, kSize);
    EXPECT_EQ(device->Reset(&pp), D3D_OK);
    IDirect3DBaseTexture9* after = reinterpret_cast<IDirect3DBaseTexture9*>(1);
    EXPECT_EQ(device->GetTexture(0, &after), D3D_OK);
    EXPECT_EQ(after, nullptr);
    managed->Release();
    plain->Release();
    EXPECT_EQ(device->Reset(nullptr), D3DERR_INVALIDCALL);
}

// Reset to a new size: the back buffer and depth buffer take it, the viewport covers it, every state set before
// reads back as its default, and the parameters come back completed.
TEST_P(ResetTest, RebuildsTheBackBufferAndSetsStatesToTheirDefaults) {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetSamplerState(3, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    D3DMATRIX world{};
    world._11 = 2.0f;
    device->SetTransform(D3DTS_WORLD, &world);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_POINT;
    light.Range = 10.0f;
    device->SetLight(2, &light);
    device->LightEnable(2, TRUE);
    D3DMATERIAL9 material{};
    material.Power = 7.0f;
    device->SetMaterial(&material);
    const float plane[4] = {1, 0, 0, 1};
    device->SetClipPlane(0, plane);
    device->SetFVF(D3DFVF_XYZ);
    const D3DVIEWPORT9 small{1, 2, 3, 4, 0.0f, 1.0f};
    device->SetViewport(&small);

    D3DPRESENT_PARAMETERS pp = Parameters(40, 24);
    pp.BackBufferFormat = D3DFMT_UNKNOWN;
    pp.BackBufferCount = 0;
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(pp.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(pp.BackBufferCount, 1u);

    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 40u);
    EXPECT_EQ(desc.Height, 24u);
    back->Release();
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device->GetDepthStencilSurface(&depth), D3D_OK);
    depth->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 40u);
    EXPECT_EQ(desc.Format, D3DFMT_D16);
    depth->Release();

    D3DVIEWPORT9 vp{};
    device->GetViewport(&vp);
    EXPECT_EQ(vp.X, 0u);
    EXPECT_EQ(vp.Width, 40u);
    EXPECT_EQ(vp.Height, 24u);
    DWORD value = 0;
    device->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_CCW));
    device->GetRenderState(D3DRS_ZENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DZB_TRUE));  // with an automatic depth buffer
    device->GetSamplerState(3, D3DSAMP_MAGFILTER, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_POINT));
    device->GetTextureStageState(1, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTOP_DISABLE));
    D3DMATRIX m{};
    device->GetTransform(D3DTS_WORLD, &m);
    EXPECT_EQ(m._11, 1.0f);
    D3DLIGHT9 got{};
    EXPECT_EQ(device->GetLight(2, &got), D3DERR_INVALIDCALL);  // no light is set any more
    device->GetMaterial(&material);
    EXPECT_EQ(material.Power, 0.0f);
    float read[4] = {9, 9, 9, 9};
    device->GetClipPlane(0, read);
    EXPECT_EQ(read[0], 0.0f);
    EXPECT_EQ(read[3], 0.0f);
    device->GetFVF(&value);
    EXPECT_EQ(value, 0u);

    // Without a depth buffer, depth testing is off by default.
    pp = Parameters(40, 24);
    pp.EnableAutoDepthStencil = FALSE;
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    device->GetRenderState(D3DRS_ZENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DZB_FALSE));
    IDirect3DSurface9* none = reinterpret_cast<IDirect3DSurface9*>(1);
    EXPECT_EQ(device->GetDepthStencilSurface(&none), D3DERR_NOTFOUND);
    // Parameters CreateDevice refuses are refused here too, and leave the device to be reset again.
    pp.SwapEffect = static_cast<D3DSWAPEFFECT>(9);
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    pp = Parameters(kSize, kSize);
    EXPECT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
}

INSTANTIATE_TEST_SUITE_P(Backends, ResetTest, ::testing::Values(BackendKind::Null, BackendKind::Gl), BackendName);

// A draw after Reset lands in the new back buffer, at the new size.
using ResetDrawTest = GlDeviceTest;

TEST_F(ResetDrawTest, DrawAfterResetLandsInTheNewBackBuffer) {
    D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(48, 20, D3DFMT_D16);
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    struct Vertex {
        float x, y, z, rhw;
        D3DCOLOR color;
    };
    // The right half of the new back buffer, which lies outside the old one's width-to-height shape.
    const Vertex quad[4] = {{24, 0, 0.5f, 1, 0xff00ff00},
                            {48, 0, 0.5f, 1, 0xff00ff00},
                            {24, 20, 0.5f, 1, 0xff00ff00},
                            {48, 20, 0.5f, 1, 0xff00ff00}};
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xff0000ff, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    const std::vector<std::uint32_t> pixels = ReadTarget();
    ASSERT_EQ(pixels.size(), 48u * 20u);
    EXPECT_EQ(pixels[5 * 48 + 10], 0xff0000ffu);
    EXPECT_EQ(pixels[5 * 48 + 30], 0xff00ff00u);
    EXPECT_EQ(pixels[19 * 48 + 47], 0xff00ff00u);
}

// Devices on a window of their own (a record without an SDL window here): what resizing, minimising and losing
// the foreground do to the device, and how Reset brings it back.
class LostDeviceTest : public ::testing::TestWithParam<BackendKind> {
protected:
    void SetUp() override {
        SetBackend(GetParam());
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "lost device test";
        RegisterClassExA(&wc);  // a second registration of the class fails harmlessly
        window = CreateWindowExA(0, "lost device test", "lost", WS_OVERLAPPEDWINDOW, 10, 10, 200, 150, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOW);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
    }
    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d) {
            EXPECT_EQ(d3d->Release(), 0u);
        }
        DestroyWindow(window);
        ResetBackend();
    }
    HRESULT Create(D3DPRESENT_PARAMETERS pp) {
        pp.hDeviceWindow = window;
        return d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device);
    }
    UINT BackBufferWidth() {
        IDirect3DSurface9* back = nullptr;
        device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        D3DSURFACE_DESC desc{};
        back->GetDesc(&desc);
        back->Release();
        return desc.Width;
    }
    HRESULT Draw() {
        struct Vertex {
            float x, y, z, rhw;
            D3DCOLOR color;
        } tri[3] = {{0, 0, 0, 1, 0}, {10, 0, 0, 1, 0}, {0, 10, 0, 1, 0}};
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        if (FAILED(device->BeginScene())) return E_FAIL;
        const HRESULT clear = device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        const HRESULT draw = device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(Vertex));
        device->EndScene();
        return FAILED(clear) ? clear : draw;
    }

    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
};

// Resizing a windowed device's window loses the device at once resettable; Reset with a zero size takes the new
// client area. Minimising loses it until the window is restored.
TEST_P(LostDeviceTest, WindowedResizeAndMinimise) {
    RECT client{};
    GetClientRect(window, &client);
    const UINT width = static_cast<UINT>(client.right), height = static_cast<UINT>(client.bottom);
    ASSERT_EQ(Create(DefaultPresentParameters(0, 0)), D3D_OK);
    EXPECT_EQ(BackBufferWidth(), width);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    RECT frame{};
    GetWindowRect(window, &frame);
    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + 60, frame.bottom - frame.top + 20,
                             SWP_NOMOVE | SWP_NOZORDER));
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(Draw(), D3D_OK);  // drawing succeeds and does nothing while lost
    D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(0, 0);
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, width + 60);
    EXPECT_EQ(pp.BackBufferHeight, height + 20);
    EXPECT_EQ(BackBufferWidth(), width + 60);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    ShowWindow(window, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(window));
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    pp = DefaultPresentParameters(0, 0);
    EXPECT_EQ(device->Reset(&pp), D3DERR_DEVICELOST);  // it cannot be reset while minimised
    EXPECT_EQ(Draw(), D3D_OK);
    ShowWindow(window, SW_RESTORE);
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);  // lost stays lost until Reset
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(BackBufferWidth(), width + 60);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
}

// A full-screen device covers the display with its window, and is lost while another window is in front; going
// windowed again gives the window its place back.
TEST_P(LostDeviceTest, FullScreenLosesTheDeviceWithTheForeground) {
    const D3DDISPLAYMODE display = [this] {
        D3DDISPLAYMODE mode{};
        d3d->GetAdapterDisplayMode(0, &mode);
        return mode;
    }();
    D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(display.Width, display.Height);
    pp.Windowed = FALSE;
    pp.FullScreen_RefreshRateInHz = display.RefreshRate;
    RECT before{};
    GetWindowRect(window, &before);
    ASSERT_EQ(Create(pp), D3D_OK);
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(client.right, static_cast<LONG>(display.Width));
    EXPECT_EQ(client.bottom, static_cast<LONG>(display.Height));
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    HWND other = CreateWindowExA(0, "lost device test", "other", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    ShowWindow(other, SW_SHOW);  // in front now
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Reset(&pp), D3DERR_DEVICELOST);
    ShowWindow(window, SW_SHOW);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    D3DPRESENT_PARAMETERS windowed = DefaultPresentParameters(64, 48);
    windowed.hDeviceWindow = window;
    ASSERT_EQ(device->Reset(&windowed), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    RECT after{};
    GetWindowRect(window, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
    DestroyWindow(other);
}

INSTANTIATE_TEST_SUITE_P(Backends, LostDeviceTest, ::testing::Values(BackendKind::Null, BackendKind::Gl), BackendName);

}  // namespace
}  // namespace tarn::d3d9::test
