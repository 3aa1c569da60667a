// Multisampling: what the adapter offers on each backend, multisampled back buffers and render targets resolved by
// StretchRect and Present (a triangle's slanted edge gets blended pixels only with more than one sample),
// D3DRS_MULTISAMPLEANTIALIAS, and the documented refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "D3D9TestSupport.h"

namespace tarn::d3d9::test {
namespace {

constexpr UINT kEdge = 16;

class MultisampleTest : public DeviceTest, public ::testing::WithParamInterface<BackendKind> {
protected:
    BackendKind Backend() const override { return GetParam(); }

    bool Offered(D3DMULTISAMPLE_TYPE type, D3DFORMAT format = D3DFMT_X8R8G8B8, DWORD* levels = nullptr) {
        return d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, format, TRUE, type, levels) == D3D_OK;
    }

    // White triangle on black with one slanted edge, drawn into the current target (kEdge x kEdge).
    void DrawTriangle() {
        struct Vertex {
            float x, y, z, rhw;
            D3DCOLOR color;
        } tri[3] = {{0, 0, 0.5f, 1, 0xffffffff}, {kEdge, 0, 0.5f, 1, 0xffffffff}, {0, 11, 0.5f, 1, 0xffffffff}};
        IDirect3DSurface9* depth = nullptr;
        const bool hasDepth = SUCCEEDED(device->GetDepthStencilSurface(&depth));
        if (depth) depth->Release();
        device->Clear(0, nullptr, D3DCLEAR_TARGET | (hasDepth ? D3DCLEAR_ZBUFFER : 0), 0xff000000, 1.0f, 0);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(Vertex)), D3D_OK);
        ASSERT_EQ(device->EndScene(), D3D_OK);
    }

    // Resolves `source` into a one-sample render target with StretchRect and counts the pixels whose green is
    // neither black nor white (-1 when a step fails).
    int BlendedPixels(IDirect3DSurface9* source) {
        IDirect3DSurface9* resolved = nullptr;
        if (FAILED(device->CreateRenderTarget(kEdge, kEdge, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &resolved,
                                              nullptr))) {
            return -1;
        }
        int blended = -1;
        if (SUCCEEDED(device->StretchRect(source, nullptr, resolved, nullptr, D3DTEXF_NONE))) {
            const std::vector<std::uint32_t> pixels = ReadSurface(resolved);
            blended = 0;
            int white = 0;
            for (std::uint32_t p : pixels) {
                const int g = static_cast<int>((p >> 8) & 0xff);
                if (g > 8 && g < 247) ++blended;
                if (g >= 247) ++white;
            }
            EXPECT_GT(white, 20) << "the triangle was not drawn";
        }
        resolved->Release();
        return blended;
    }
};

TEST_P(MultisampleTest, AdapterOffersWhatTheBackendDraws) {
    DWORD levels = 0;
    EXPECT_TRUE(Offered(D3DMULTISAMPLE_NONE, D3DFMT_X8R8G8B8, &levels));
    EXPECT_EQ(levels, 1u);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_NONE, &levels),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE,
                                              static_cast<D3DMULTISAMPLE_TYPE>(17), &levels),
              D3DERR_INVALIDCALL);
    D3DCAPS9 caps{};
    device->GetDeviceCaps(&caps);
    if (GetParam() == BackendKind::Null) {
        // Nothing is drawn, so nothing is multisampled.
        for (int n = 1; n <= 16; ++n) EXPECT_FALSE(Offered(static_cast<D3DMULTISAMPLE_TYPE>(n))) << n;
        EXPECT_EQ(caps.RasterCaps & D3DPRASTERCAPS_MULTISAMPLE_TOGGLE, 0u);
        IDirect3DSurface9* s = nullptr;
        EXPECT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, 0, FALSE, &s, nullptr),
                  D3DERR_INVALIDCALL);
        return;
    }
    // Mesa's software rasteriser draws 4 samples; every count offered makes surfaces that resolve to blended
    // edges, with as many non-maskable quality levels as counts.
    ASSERT_TRUE(Offered(D3DMULTISAMPLE_4_SAMPLES, D3DFMT_X8R8G8B8, &levels));
    EXPECT_EQ(levels, 1u);
    EXPECT_TRUE(Offered(D3DMULTISAMPLE_4_SAMPLES, D3DFMT_D24S8));
    EXPECT_NE(caps.RasterCaps & D3DPRASTERCAPS_MULTISAMPLE_TOGGLE, 0u);
    EXPECT_FALSE(Offered(D3DMULTISAMPLE_4_SAMPLES, D3DFMT_A16B16G16R16F));  // float targets are not multisampled
    DWORD counts = 0;
    for (int n = 2; n <= 16; ++n) {
        const auto type = static_cast<D3DMULTISAMPLE_TYPE>(n);
        const bool offered = Offered(type);
        counts += offered ? 1 : 0;
        IDirect3DSurface9* target = nullptr;
        const HRESULT made =
            device->CreateRenderTarget(kEdge, kEdge, D3DFMT_X8R8G8B8, type, 0, FALSE, &target, nullptr);
        EXPECT_EQ(made, offered ? D3D_OK : D3DERR_INVALIDCALL) << n;
        if (!target) continue;
        IDirect3DSurface9* back = nullptr;
        device->GetRenderTarget(0, &back);
        device->SetRenderTarget(0, target);
        IDirect3DSurface9* depth = nullptr;
        device->GetDepthStencilSurface(&depth);
        device->SetDepthStencilSurface(nullptr);
        DrawTriangle();
        EXPECT_GT(BlendedPixels(target), 0) << n << " samples";
        device->SetRenderTarget(0, back);
        device->SetDepthStencilSurface(depth);
        depth->Release();
        back->Release();
        target->Release();
    }
    ASSERT_TRUE(Offered(D3DMULTISAMPLE_NONMASKABLE, D3DFMT_X8R8G8B8, &levels));
    EXPECT_EQ(levels, counts);
}

// A multisampled back buffer: StretchRect resolves it, Present resolves it into the front buffer, and with
// D3DRS_MULTISAMPLEANTIALIAS off every pixel is whole again. One sample never blends.
TEST_P(MultisampleTest, BackBufferResolvesWithBlendedEdges) {
    if (GetParam() == BackendKind::Null) GTEST_SKIP() << "the null backend offers no multisampling";
    struct Case {
        D3DMULTISAMPLE_TYPE type;
        BOOL antialias;
        bool blended;
    } cases[] = {
        {D3DMULTISAMPLE_NONE, TRUE, false},
        {D3DMULTISAMPLE_4_SAMPLES, TRUE, true},
        {D3DMULTISAMPLE_4_SAMPLES, FALSE, false},
        {D3DMULTISAMPLE_NONMASKABLE, TRUE, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type) * 10 + c.antialias);
        D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(kEdge, kEdge, D3DFMT_D24S8);
        pp.MultiSampleType = c.type;
        ASSERT_EQ(device->Reset(&pp), D3D_OK);
        IDirect3DSurface9* back = nullptr;
        ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        D3DSURFACE_DESC desc{};
        back->GetDesc(&desc);
        EXPECT_EQ(desc.MultiSampleType, c.type);
        device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, c.antialias);
        DrawTriangle();
        EXPECT_EQ(BlendedPixels(back) > 0, c.blended);

        // Present resolves what the front buffer keeps.
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        D3DDISPLAYMODE mode{};
        d3d->GetAdapterDisplayMode(0, &mode);
        IDirect3DSurface9* shot = nullptr;
        ASSERT_EQ(device->CreateOffscreenPlainSurface(mode.Width, mode.Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                      &shot, nullptr),
                  D3D_OK);
        ASSERT_EQ(device->GetFrontBufferData(0, shot), D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(shot->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        int blended = 0;
        for (UINT y = 0; y < kEdge; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(locked.pBits) +
                                                                     y * locked.Pitch);
            for (UINT x = 0; x < kEdge; ++x) {
                const int g = static_cast<int>((row[x] >> 8) & 0xff);
                if (g > 8 && g < 247) ++blended;
            }
        }
        shot->UnlockRect();
        shot->Release();
        EXPECT_EQ(blended > 0, c.blended);
        back->Release();
    }
}

TEST_P(MultisampleTest, DocumentedRefusals) {
    // The swap effect must be DISCARD, and the back buffer not lockable (both backends refuse before asking
    // whether the type is offered).
    for (D3DSWAPEFFECT effect : {D3DSWAPEFFECT_FLIP, D3DSWAPEFFECT_COPY}) {
        D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(kEdge, kEdge);
        pp.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
        pp.SwapEffect = effect;
        EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    }
    D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(kEdge, kEdge);
    pp.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    pp = DefaultPresentParameters(kEdge, kEdge);
    pp.MultiSampleQuality = 1;  // no quality levels without multisampling
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    pp = DefaultPresentParameters(kSize, kSize, D3DFMT_D16);
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    IDirect3DSurface9* s = nullptr;
    EXPECT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 1, FALSE, &s, nullptr),
              D3DERR_INVALIDCALL);
    if (GetParam() == BackendKind::Null) return;

    EXPECT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, 0, TRUE, &s, nullptr),
              D3DERR_INVALIDCALL);  // a lockable target has one sample
    EXPECT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, 1, FALSE, &s, nullptr),
              D3DERR_INVALIDCALL);  // beyond the type's quality levels
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(
        device->CreateRenderTarget(kEdge, kEdge, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, 0, FALSE, &target, nullptr),
        D3D_OK);
    D3DSURFACE_DESC desc{};
    target->GetDesc(&desc);
    EXPECT_EQ(desc.MultiSampleType, D3DMULTISAMPLE_4_SAMPLES);
    EXPECT_EQ(desc.MultiSampleQuality, 0u);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(target->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
    IDirect3DSurface9* copy = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(kEdge, kEdge, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr),
              D3D_OK);
    EXPECT_EQ(device->GetRenderTargetData(target, copy), D3DERR_INVALIDCALL);  // resolve with StretchRect first
    IDirect3DSurface9* other = nullptr;
    ASSERT_EQ(
        device->CreateRenderTarget(kEdge, kEdge, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_4_SAMPLES, 0, FALSE, &other, nullptr),
        D3D_OK);
    EXPECT_EQ(device->StretchRect(target, nullptr, other, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    // A depth buffer of another multisample type cannot be drawn with the target.
    IDirect3DSurface9* back = nullptr;
    device->GetRenderTarget(0, &back);
    ASSERT_EQ(device->SetRenderTarget(0, target), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device->CreateDepthStencilSurface(kEdge, kEdge, D3DFMT_D24S8, D3DMULTISAMPLE_4_SAMPLES, 0, FALSE, &depth,
                                                nullptr),
              D3D_OK);
    IDirect3DSurface9* autoDepth = nullptr;
    device->GetDepthStencilSurface(&autoDepth);
    ASSERT_EQ(device->SetDepthStencilSurface(depth), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
    device->SetRenderTarget(0, back);
    device->SetDepthStencilSurface(autoDepth);
    autoDepth->Release();
    depth->Release();
    back->Release();
    other->Release();
    copy->Release();
    target->Release();
}

INSTANTIATE_TEST_SUITE_P(Backends, MultisampleTest, ::testing::Values(BackendKind::Null, BackendKind::Gl),
                         [](const ::testing::TestParamInfo<BackendKind>& info) {
                             return std::string(info.param == BackendKind::Gl ? "Gl" : "Null");
                         });

}  // namespace
}  // namespace tarn::d3d9::test
