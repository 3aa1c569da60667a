// D3DXLoadSurfaceFromMemory and D3DXLoadSurfaceFromSurface: rectangles checked against the surface, and a surface
// copied onto itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "texture/D3DXTexture.h"
#include "TextureDeviceFixture.h"

using namespace tarn::texture;
using texture_test::TextureDevice;

namespace {

TEST_F(TextureDevice, LoadSurfaceChecksItsRectangles) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTexture(device, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), S_OK);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), S_OK);
    const std::uint32_t pixels[4] = {1, 2, 3, 4};
    const RECT source = {0, 0, 2, 2};
    const RECT outside = {2, 2, 5, 4};
    const RECT inverted = {2, 0, 1, 4};
    EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface, nullptr, &outside, pixels, D3DFMT_A8R8G8B8, 8, nullptr, &source,
                                        D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface, nullptr, &inverted, pixels, D3DFMT_A8R8G8B8, 8, nullptr, &source,
                                        D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface, nullptr, nullptr, pixels, D3DFMT_A8R8G8B8, 8, nullptr, nullptr,
                                        D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    const RECT corner = {2, 2, 4, 4};
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(surface, nullptr, &corner, pixels, D3DFMT_A8R8G8B8, 8, nullptr, &source,
                                        D3DX_FILTER_NONE, 0),
              S_OK);
    const std::vector<BYTE> bytes = LevelBytes(texture, 0, 4);
    EXPECT_EQ(bytes[(2 * 4 + 2) * 4], 1);
    EXPECT_EQ(bytes[(3 * 4 + 3) * 4], 4);
    // A surface copied onto itself, shifted by the rectangles, reads from a copy.
    const RECT from = {2, 2, 4, 4}, to = {0, 0, 2, 2};
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(surface, nullptr, &to, surface, nullptr, &from, D3DX_FILTER_NONE, 0), S_OK);
    EXPECT_EQ(LevelBytes(texture, 0, 4)[0], 1);
    surface->Release();
    texture->Release();
}

}  // namespace
