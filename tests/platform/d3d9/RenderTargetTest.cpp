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

}  // namespace
}  // namespace tarn::d3d9::test
