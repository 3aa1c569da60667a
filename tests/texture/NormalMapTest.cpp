// Normal maps from an asymmetric height field: central differences that wrap or mirror at the edges, the chosen
// channel, the amplitude and the sign, encoded as the destination format holds values.
#include <gtest/gtest.h>

#include <cmath>

#include "TextureDeviceFixture.h"

using namespace texture_test;

namespace {

constexpr UINT kWidth = 5, kHeight = 3;

// Red: x^2 + 3y, green: 2y - x, blue: x * y, alpha: y^2 - x.
Float4 HeightTexel(UINT x, UINT y) {
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    return {fx * fx + 3 * fy, 2 * fy - fx, fx * fy, fy * fy - fx};
}

class NormalMap : public TextureDevice {
protected:
    void SetUp() override {
        TextureDevice::SetUp();
        ASSERT_EQ(
            device->CreateTexture(kWidth, kHeight, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &heights, nullptr),
            S_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(heights->LockRect(0, &locked, nullptr, 0), S_OK);
        for (UINT y = 0; y < kHeight; ++y)
            for (UINT x = 0; x < kWidth; ++x) {
                const Float4 v = HeightTexel(x, y);
                std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * 16, &v, 16);
            }
        heights->UnlockRect(0);
    }
    void TearDown() override {
        if (heights != nullptr) heights->Release();
        TextureDevice::TearDown();
    }
    IDirect3DTexture9* Target(D3DFORMAT format, UINT w = kWidth, UINT h = kHeight) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(w, h, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
        return texture;
    }
    IDirect3DTexture9* heights = nullptr;
};

Float4 Normal(float dx, float dy, float amplitude) {
    const float nx = -amplitude * dx, ny = -amplitude * dy;
    const float length = std::sqrt(nx * nx + ny * ny + 1);
    return {nx / length, ny / length, 1 / length, 1};
}

}  // namespace

// Hand-worked texels of the red field x^2 + 3y. At (0, 0) the left neighbour wraps to x = 4 (height 16) or mirrors
// to the texel itself (0); the right one is x = 1 (1). Down is y = 1 (3); up wraps to y = 2 (6) or mirrors (0).
// At (4, 2) the right neighbour wraps to x = 0 (6) or mirrors (22), left is 15; down wraps to y = 0 (16), up is 19.
TEST_F(NormalMap, SlopesWrapOrMirrorAtTheEdges) {
    struct Case {
        const char* name;
        DWORD flags;
        float amplitude;
        UINT x, y;
        Float4 expected;
    } const cases[] = {
        {"wrapped corner", 0, 1, 0, 0, Normal((1 - 16) / 2.0f, (3 - 6) / 2.0f, 1)},
        {"mirrored in u", D3DX_NORMALMAP_MIRROR_U, 1, 0, 0, Normal((1 - 0) / 2.0f, (3 - 6) / 2.0f, 1)},
        {"mirrored in v", D3DX_NORMALMAP_MIRROR_V, 1, 0, 0, Normal((1 - 16) / 2.0f, (3 - 0) / 2.0f, 1)},
        {"mirrored both ways", D3DX_NORMALMAP_MIRROR, 1, 0, 0, Normal(0.5f, 1.5f, 1)},
        {"inner texel", 0, 1, 2, 1, Normal((12 - 4) / 2.0f, (10 - 4) / 2.0f, 1)},
        {"amplitude", 0, 0.25f, 2, 1, Normal(4, 3, 0.25f)},
        {"inverted sign", D3DX_NORMALMAP_INVERTSIGN, 0.25f, 2, 1, Normal(4, 3, -0.25f)},
        {"right edge wraps to x = 0", 0, 1, 4, 2, Normal((6 - 15) / 2.0f, (16 - 19) / 2.0f, 1)},
        {"right edge mirrored", D3DX_NORMALMAP_MIRROR_U, 1, 4, 2, Normal((22 - 15) / 2.0f, (16 - 19) / 2.0f, 1)},
    };
    IDirect3DTexture9* target = Target(D3DFMT_A32B32G32R32F);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(D3DXComputeNormalMap(target, heights, nullptr, c.flags, D3DX_CHANNEL_RED, c.amplitude), S_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(target->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        Float4 got;
        std::memcpy(&got, static_cast<const BYTE*>(locked.pBits) + c.y * locked.Pitch + c.x * 16, 16);
        target->UnlockRect(0);
        EXPECT_NEAR(got.r, c.expected.r, 1e-6f);
        EXPECT_NEAR(got.g, c.expected.g, 1e-6f);
        EXPECT_NEAR(got.b, c.expected.b, 1e-6f);
        EXPECT_EQ(got.a, 1.0f);
    }
    target->Release();
}

// Each channel gives its own field; at the inner texel (2, 1) the slopes are (right - left) / 2, (down - up) / 2.
TEST_F(NormalMap, ChannelSelection) {
    const auto slope = [](int c) {
        auto h = [c](UINT x, UINT y) {
            const Float4 v = HeightTexel(x, y);
            const float channels[5] = {v.r, v.g, v.b, v.a, 0.2125f * v.r + 0.7154f * v.g + 0.0721f * v.b};
            return channels[c];
        };
        return std::pair<float, float>{(h(3, 1) - h(1, 1)) / 2, (h(2, 2) - h(2, 0)) / 2};
    };
    const DWORD channels[5] = {D3DX_CHANNEL_RED, D3DX_CHANNEL_GREEN, D3DX_CHANNEL_BLUE, D3DX_CHANNEL_ALPHA,
                               D3DX_CHANNEL_LUMINANCE};
    IDirect3DTexture9* target = Target(D3DFMT_A32B32G32R32F);
    for (int c = 0; c < 5; ++c) {
        SCOPED_TRACE(c);
        ASSERT_EQ(D3DXComputeNormalMap(target, heights, nullptr, 0, channels[c], 1), S_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(target->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        Float4 got;
        std::memcpy(&got, static_cast<const BYTE*>(locked.pBits) + locked.Pitch + 2 * 16, 16);
        target->UnlockRect(0);
        const auto [dx, dy] = slope(c);
        const Float4 expected = Normal(dx, dy, 1);
        EXPECT_NEAR(got.r, expected.r, 1e-5f);
        EXPECT_NEAR(got.g, expected.g, 1e-5f);
        EXPECT_NEAR(got.b, expected.b, 1e-5f);
    }
    target->Release();
}

// Unsigned formats hold n * 0.5 + 0.5, signed ones n itself: a slope of (4, 3) at amplitude 0.25 gives
// n = (-1, -0.75, 1) / 1.6008 at the inner texel.
TEST_F(NormalMap, EncodedAsTheFormatHoldsValues) {
    const Float4 n = Normal(4, 3, 0.25f);
    struct Case {
        D3DFORMAT format;
        float scale, bias;
    } const cases[] = {{D3DFMT_A8R8G8B8, 0.5f, 0.5f}, {D3DFMT_Q8W8V8U8, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.format);
        IDirect3DTexture9* target = Target(c.format);
        ASSERT_EQ(D3DXComputeNormalMap(target, heights, nullptr, 0, D3DX_CHANNEL_RED, 0.25f), S_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(target->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        ImageDesc stored;
        stored.memory = static_cast<BYTE*>(locked.pBits);
        stored.format = c.format;
        stored.rowPitch = static_cast<UINT>(locked.Pitch);
        stored.box = {0, 0, kWidth, kHeight, 0, 1};
        MemoryImage back(D3DFMT_A32B32G32R32F, kWidth, kHeight);
        ASSERT_EQ(BlitImage(back.Desc(), stored, D3DX_FILTER_NONE), S_OK);
        target->UnlockRect(0);
        const Float4 got = back.PixelF(2, 1);
        EXPECT_NEAR(got.r, n.r * c.scale + c.bias, 1.0f / 127);
        EXPECT_NEAR(got.g, n.g * c.scale + c.bias, 1.0f / 127);
        EXPECT_NEAR(got.b, n.b * c.scale + c.bias, 1.0f / 127);
        target->Release();
    }
}

TEST_F(NormalMap, Refusals) {
    IDirect3DTexture9* target = Target(D3DFMT_A8R8G8B8);
    EXPECT_EQ(D3DXComputeNormalMap(nullptr, heights, nullptr, 0, D3DX_CHANNEL_RED, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXComputeNormalMap(target, nullptr, nullptr, 0, D3DX_CHANNEL_RED, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXComputeNormalMap(target, heights, nullptr, 0, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXComputeNormalMap(target, heights, nullptr, 0, 1u << 7, 1), D3DERR_INVALIDCALL);
    // The occlusion term is not computed, and the flag is refused rather than ignored.
    EXPECT_EQ(D3DXComputeNormalMap(target, heights, nullptr, D3DX_NORMALMAP_COMPUTE_OCCLUSION, D3DX_CHANNEL_RED, 1),
              D3DERR_INVALIDCALL);
    target->Release();
}
