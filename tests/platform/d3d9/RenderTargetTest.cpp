// RenderTargetTest.cpp: headless drawing on llvmpipe, 64 x 64 frames compared with values computed from the
// documented fixed-function formulas. Render targets and copies: drawing into a texture and sampling it, lockable
// targets, system-memory updates reaching the sampler.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <random>
#include <vector>

#include "platform/Bits.h"
#include "DrawTestSupport.h"
#include "Formats.h"
#include "GlTextures.h"

namespace tarn::d3d9::test {
namespace {

TEST_F(DrawTest, RenderToTextureThenSampleIt) {
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(device->CreateTexture(kSize, kSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target,
                                    nullptr),
              D3D_OK);
    IDirect3DSurface9* level = nullptr;
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    Clear(0xffff0000);
    Rect(0, 0, 64, 16, 0xff00ff00);  // the top quarter green
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    Clear(0xff000000);
    device->SetTexture(0, target);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    TexturedRect(0, 0, 1, 1);
    auto p = ReadTarget();
    ExpectPixel(p, 10, 5, 0xff00ff00, 0);
    ExpectPixel(p, 10, 15, 0xff00ff00, 0);
    ExpectPixel(p, 10, 16, 0xffff0000, 0);
    ExpectPixel(p, 50, 60, 0xffff0000, 0);
    device->SetTexture(0, nullptr);
    level->Release();
    back->Release();
    target->Release();
}

// A lockable 16-bit render target: GPU fills read back through a lock, CPU writes reach the GPU copy.
TEST_F(DrawTest, LockableRenderTargetRoundTrips) {
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE, 0, TRUE, &target, nullptr), D3D_OK);
    ASSERT_EQ(device->ColorFill(target, nullptr, 0xffff0000), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(target->LockRect(&locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(*static_cast<WORD*>(locked.pBits), 0xf800);
    *static_cast<WORD*>(locked.pBits) = 0x07e0;  // pixel (0, 0) green
    ASSERT_EQ(target->UnlockRect(), D3D_OK);
    IDirect3DSurface9* back = nullptr;
    device->GetRenderTarget(0, &back);
    Clear(0xff000000);
    const RECT to{0, 0, 16, 16};
    ASSERT_EQ(device->StretchRect(target, nullptr, back, &to, D3DTEXF_POINT), D3D_OK);
    auto p = ReadTarget();
    ExpectPixel(p, 0, 0, 0xff00ff00, 0);
    ExpectPixel(p, 1, 1, 0xff00ff00, 0);
    ExpectPixel(p, 2, 0, 0xffff0000, 0);
    ExpectPixel(p, 15, 15, 0xffff0000, 0);
    ExpectPixel(p, 16, 16, 0xff000000, 0);
    back->Release();
    target->Release();
}

TEST_F(DrawTest, UpdateTextureFromSystemMemoryReachesTheSampler) {
    IDirect3DTexture9* staging = nullptr;
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &staging, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3D_OK);
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    for (std::uint32_t colour : {0xff123456u, 0xffabcdefu}) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(staging->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 4; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch);
            for (int x = 0; x < 4; ++x) row[x] = colour;
        }
        staging->UnlockRect(0);
        ASSERT_EQ(device->UpdateTexture(staging, texture), D3D_OK);
        Clear(0xff000000);
        TexturedRect(0, 0, 1, 1);
        ExpectPixel(ReadTarget(), 40, 40, colour, 0);
    }
    device->SetTexture(0, nullptr);
    staging->Release();
    texture->Release();
}

// Render targets 1 to 3: of the first one's size, in formats of their own, set and read back by index. The
// calls answer alike on both backends.
void ExpectMoreTargetsSetAndRead(IDirect3DDevice9* device) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.NumSimultaneousRTs, 4u);
    EXPECT_NE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS, 0u);
    EXPECT_EQ(caps.PrimitiveMiscCaps & D3DPMISCCAPS_INDEPENDENTWRITEMASKS, 0u);
    IDirect3DSurface9 *wide = nullptr, *small = nullptr, *plain = nullptr, *got = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(64, 64, D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE, 0, FALSE, &wide, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateRenderTarget(32, 32, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &small, nullptr),
              D3D_OK);
    ASSERT_EQ(device->CreateOffscreenPlainSurface(64, 64, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &plain, nullptr), D3D_OK);
    EXPECT_EQ(device->GetRenderTarget(1, &got), D3DERR_NOTFOUND);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(device->GetRenderTarget(4, &got), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(4, wide), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(1, small), D3DERR_INVALIDCALL);  // another size
    EXPECT_EQ(device->SetRenderTarget(1, plain), D3DERR_INVALIDCALL);  // not a render target
    EXPECT_EQ(device->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->SetRenderTarget(3, wide), D3D_OK);
    EXPECT_EQ(device->SetRenderTarget(2, wide), D3DERR_INVALIDCALL);  // bound as another target
    EXPECT_EQ(device->SetRenderTarget(0, wide), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->GetRenderTarget(3, &got), D3D_OK);
    EXPECT_EQ(got, wide);
    got->Release();
    EXPECT_EQ(device->SetRenderTarget(3, nullptr), D3D_OK);
    EXPECT_EQ(device->GetRenderTarget(3, &got), D3DERR_NOTFOUND);
    wide->Release();
    small->Release();
    plain->Release();
}

TEST_F(DeviceTest, MoreRenderTargetsAreSetAndReadByIndex) { ExpectMoreTargetsSetAndRead(device); }
TEST_F(GlDeviceTest, MoreRenderTargetsAreSetAndReadByIndex) { ExpectMoreTargetsSetAndRead(device); }

// Clear clears every bound render target; the fixed-function pipeline writes render target 0 only, so a draw
// leaves targets 1 to 3 as they were. A target that is unset again is no longer cleared, and a texture that is
// one of the targets reads as nothing.
TEST_F(DrawTest, ClearReachesEveryTargetAndDrawingTheFirst) {
    IDirect3DTexture9* second = nullptr;
    ASSERT_EQ(
        device->CreateTexture(kSize, kSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &second, nullptr),
        D3D_OK);
    IDirect3DSurface9 *secondLevel = nullptr, *fourth = nullptr;
    ASSERT_EQ(second->GetSurfaceLevel(0, &secondLevel), D3D_OK);
    ASSERT_EQ(
        device->CreateRenderTarget(kSize, kSize, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &fourth, nullptr),
        D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(1, secondLevel), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(3, fourth), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xff0000ff, 1.0f, 0);
    Rect(0, 0, 32, 64, 0xffff0000);
    ExpectPixel(ReadTarget(), 10, 10, 0xffff0000, 0);
    ExpectPixel(ReadTarget(), 50, 10, 0xff0000ff, 0);
    ExpectPixel(ReadSurface(secondLevel), 10, 10, 0xff0000ff, 0);
    ExpectPixel(ReadSurface(fourth), 10, 10, 0xff0000ff, 0);
    // A texture bound as target 1 samples as nothing while it is one.
    device->SetTexture(0, second);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    TexturedRect(0, 0, 1, 1);
    ExpectPixel(ReadTarget(), 50, 10, 0xff000000, 0);
    device->SetTexture(0, nullptr);
    ASSERT_EQ(device->SetRenderTarget(3, nullptr), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xff00ff00, 1.0f, 0);
    ExpectPixel(ReadSurface(secondLevel), 10, 10, 0xff00ff00, 0);
    ExpectPixel(ReadSurface(fourth), 10, 10, 0xff0000ff, 0);
    ASSERT_EQ(device->SetRenderTarget(1, nullptr), D3D_OK);
    secondLevel->Release();
    second->Release();
    fourth->Release();
}

}  // namespace
}  // namespace tarn::d3d9::test
