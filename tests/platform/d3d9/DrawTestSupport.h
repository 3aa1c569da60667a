// The drawing tests' fixture: a GL device inside a scene with lighting off, vertex layouts for pre-transformed
// and lit vertices, and helpers that draw rectangles and quads, make textures and compare pixels.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "D3D9TestSupport.h"

namespace tarn::d3d9::test {

struct RhwColor {
    float x, y, z, rhw;
    D3DCOLOR color;
};
constexpr DWORD kRhwColor = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

struct RhwTex {
    float x, y, z, rhw;
    float u, v;
};
constexpr DWORD kRhwTex = D3DFVF_XYZRHW | D3DFVF_TEX1;

struct Lit {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
constexpr DWORD kLit = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

inline int Channel(std::uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xff); }
inline std::uint32_t Rgb(double r, double g, double b) {
    auto q = [](double v) { return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
    return 0xff000000u | q(r) << 16 | q(g) << 8 | q(b);
}

class DrawTest : public GlDeviceTest {
protected:
    void SetUp() override {
        GlDeviceTest::SetUp();
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
    }

    void TearDown() override {
        if (device) device->EndScene();
        for (IDirect3DTexture9* t : textures_) t->Release();
        GlDeviceTest::TearDown();
    }

    void Clear(D3DCOLOR color) { device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0); }

    void Rect(float x0, float y0, float x1, float y1, D3DCOLOR color, float z = 0.5f, float rhw = 1.0f) {
        const RhwColor v[4] = {
            {x0, y0, z, rhw, color}, {x1, y0, z, rhw, color}, {x0, y1, z, rhw, color}, {x1, y1, z, rhw, color}};
        device->SetFVF(kRhwColor);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwColor)), D3D_OK);
    }

    void TexturedRect(float u0, float v0, float u1, float v1) {
        const float s = static_cast<float>(kSize);
        const RhwTex v[4] = {
            {0, 0, 0.5f, 1, u0, v0}, {s, 0, 0.5f, 1, u1, v0}, {0, s, 0.5f, 1, u0, v1}, {s, s, 0.5f, 1, u1, v1}};
        device->SetFVF(kRhwTex);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwTex)), D3D_OK);
    }

    // A managed A8R8G8B8 texture from rows of 0xAARRGGBB texels.
    IDirect3DTexture9* MakeTexture(UINT width, UINT height, const std::vector<std::uint32_t>& texels) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < height; ++y) {
            std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch, &texels[y * width], width * 4);
        }
        t->UnlockRect(0);
        textures_.push_back(t);
        return t;
    }

    void ExpectPixel(const std::vector<std::uint32_t>& pixels, int x, int y, std::uint32_t expected,
                     int tolerance = 2) {
        ASSERT_EQ(pixels.size(), kSize * kSize);
        const std::uint32_t got = pixels[static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x)];
        for (int shift : {16, 8, 0}) {
            EXPECT_NEAR(Channel(got, shift), Channel(expected, shift), tolerance)
                << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", expected " << expected;
        }
    }

    void SetOrthoIdentity() {
        D3DMATRIX identity{};
        identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
        device->SetTransform(D3DTS_WORLD, &identity);
        device->SetTransform(D3DTS_VIEW, &identity);
        device->SetTransform(D3DTS_PROJECTION, &identity);
    }

    // Lighting on with a white diffuse material and light 0 a white directional light shining along `direction`.
    void WhiteDirectionalLight(D3DVECTOR direction) {
        device->SetRenderState(D3DRS_LIGHTING, TRUE);
        D3DMATERIAL9 material{};
        material.Diffuse = {1, 1, 1, 1};
        device->SetMaterial(&material);
        D3DLIGHT9 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1, 1, 1, 1};
        light.Direction = direction;
        device->SetLight(0, &light);
        device->LightEnable(0, TRUE);
    }

    // A quad covering the whole target at camera depth z (identity transforms), normal towards the camera.
    void LitQuad(float z) {
        const Lit v[4] = {{-1, 1, z, 0, 0, -1, 0, 0},
                          {1, 1, z, 0, 0, -1, 1, 0},
                          {-1, -1, z, 0, 0, -1, 0, 1},
                          {1, -1, z, 0, 0, -1, 1, 1}};
        device->SetFVF(kLit);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Lit)), D3D_OK);
    }

    std::vector<IDirect3DTexture9*> textures_;
};

}  // namespace tarn::d3d9::test
