// Headless drawing on llvmpipe: 64 x 64 frames whose pixels are compared with values computed from the documented
// fixed-function formulas (texture stages, lighting, fog, blending, rasterisation rules).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include <random>

#include "Formats.h"
#include "GlTextures.h"
#include "platform/Bits.h"
#include "D3D9TestSupport.h"

namespace tarn::d3d9::test {
namespace {

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

int Channel(std::uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xff); }
std::uint32_t Rgb(double r, double g, double b) {
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
        const RhwColor v[4] = {{x0, y0, z, rhw, color}, {x1, y0, z, rhw, color}, {x0, y1, z, rhw, color},
                               {x1, y1, z, rhw, color}};
        device->SetFVF(kRhwColor);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwColor)), D3D_OK);
    }

    void TexturedRect(float u0, float v0, float u1, float v1) {
        const float s = static_cast<float>(kSize);
        const RhwTex v[4] = {{0, 0, 0.5f, 1, u0, v0}, {s, 0, 0.5f, 1, u1, v0}, {0, s, 0.5f, 1, u0, v1},
                             {s, s, 0.5f, 1, u1, v1}};
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

    void ExpectPixel(const std::vector<std::uint32_t>& pixels, int x, int y, std::uint32_t expected, int tolerance = 2) {
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

    // A quad covering the whole target at camera depth z (identity transforms), normal towards the camera.
    void LitQuad(float z) {
        const Lit v[4] = {{-1, 1, z, 0, 0, -1, 0, 0}, {1, 1, z, 0, 0, -1, 1, 0}, {-1, -1, z, 0, 0, -1, 0, 1},
                          {1, -1, z, 0, 0, -1, 1, 1}};
        device->SetFVF(kLit);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Lit)), D3D_OK);
    }

    std::vector<IDirect3DTexture9*> textures_;
};

// Pixel centres lie on integer coordinates: a rectangle from 0 to 32 covers exactly pixels 0..31, in rows and
// columns, and row 0 is the top of the target.
TEST_F(DrawTest, PreTransformedRectanglesCoverWholePixelsFromTheTop) {
    Clear(0xff000000);
    Rect(0, 0, 32, 16, 0xffff0000);
    auto p = ReadTarget();
    ExpectPixel(p, 0, 0, 0xffff0000, 0);
    ExpectPixel(p, 31, 15, 0xffff0000, 0);
    ExpectPixel(p, 32, 15, 0xff000000, 0);
    ExpectPixel(p, 31, 16, 0xff000000, 0);
}

// rhw of 0 (or negative, or not finite) counts as 1; the positions are the same.
TEST_F(DrawTest, RhwZeroDrawsLikeRhwOne) {
    for (float rhw : {1.0f, 0.0f, -2.0f, INFINITY}) {
        SCOPED_TRACE(rhw);
        Clear(0xff000000);
        Rect(8, 8, 24, 24, 0xff00ff00, 0.5f, rhw);
        auto p = ReadTarget();
        ExpectPixel(p, 8, 8, 0xff00ff00, 0);
        ExpectPixel(p, 23, 23, 0xff00ff00, 0);
        ExpectPixel(p, 24, 24, 0xff000000, 0);
    }
}

TEST_F(DrawTest, ClearHonoursRectanglesAndViewport) {
    Clear(0xff000000);
    const D3DRECT r{4, 4, 8, 8};
    ASSERT_EQ(device->Clear(1, &r, D3DCLEAR_TARGET, 0xff0000ff, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);  // D16 has no stencil
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.5f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    D3DVIEWPORT9 vp{32, 32, 16, 16, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xffffffff, 1.0f, 0), D3D_OK);
    auto p = ReadTarget();
    ExpectPixel(p, 4, 4, 0xff0000ff, 0);
    ExpectPixel(p, 8, 8, 0xff000000, 0);
    ExpectPixel(p, 32, 32, 0xffffffff, 0);
    ExpectPixel(p, 47, 47, 0xffffffff, 0);
    ExpectPixel(p, 48, 48, 0xff000000, 0);
    ExpectPixel(p, 31, 31, 0xff000000, 0);
}

// With the scissor test on, Clear touches only pixels inside the scissor rectangle (and its own rectangles).
TEST_F(DrawTest, ClearStaysInsideTheScissorRectangle) {
    Clear(0xff000000);
    const RECT scissor{8, 8, 24, 40};
    ASSERT_EQ(device->SetScissorRect(&scissor), D3D_OK);
    device->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xffff0000, 1.0f, 0), D3D_OK);
    const D3DRECT r{16, 0, 64, 64};
    ASSERT_EQ(device->Clear(1, &r, D3DCLEAR_TARGET, 0xff00ff00, 1.0f, 0), D3D_OK);
    auto p = ReadTarget();
    ExpectPixel(p, 8, 8, 0xffff0000, 0);
    ExpectPixel(p, 15, 39, 0xffff0000, 0);
    ExpectPixel(p, 16, 8, 0xff00ff00, 0);
    ExpectPixel(p, 23, 39, 0xff00ff00, 0);
    for (auto [x, y] : {std::pair{7, 8}, {8, 7}, {24, 20}, {20, 40}, {40, 40}, {63, 63}}) {
        ExpectPixel(p, x, y, 0xff000000, 0);
    }
    // Switched off, the scissor rectangle no longer limits Clear.
    device->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff0000ff, 1.0f, 0), D3D_OK);
    ExpectPixel(ReadTarget(), 63, 63, 0xff0000ff, 0);
}

// The classic full-screen copy: a quad from -0.5 to size - 0.5 puts texel centres on pixel centres, so bilinear
// filtering reproduces the texture exactly, in rows and columns.
TEST_F(DrawTest, HalfPixelShiftedCopyIsExact) {
    std::vector<std::uint32_t> texels(kSize * kSize);
    for (UINT i = 0; i < texels.size(); ++i) texels[i] = 0xff000000u | ((i * 2654435761u) & 0xffffff);
    IDirect3DTexture9* t = MakeTexture(kSize, kSize, texels);
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    const float e = kSize - 0.5f;
    const RhwTex v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0, 0}, {e, -0.5f, 0.5f, 1, 1, 0}, {-0.5f, e, 0.5f, 1, 0, 1},
                         {e, e, 0.5f, 1, 1, 1}};
    device->SetFVF(kRhwTex);
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwTex)), D3D_OK);
    auto p = ReadTarget();
    for (int y : {0, 1, 31, 62, 63}) {
        for (int x : {0, 1, 32, 62, 63}) ExpectPixel(p, x, y, texels[static_cast<std::size_t>(y) * kSize + x], 1);
    }
    device->SetTexture(0, nullptr);
}

// Transformed vertices land in the viewport: a quad over clip space -1..1 fills exactly the viewport's pixels.
TEST_F(DrawTest, TransformedQuadFillsTheViewport) {
    SetOrthoIdentity();
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xff00ff00);
    Clear(0xff000000);
    D3DVIEWPORT9 vp{16, 8, 32, 40, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    LitQuad(0.5f);
    auto p = ReadTarget();
    ExpectPixel(p, 16, 8, 0xff00ff00, 0);
    ExpectPixel(p, 47, 47, 0xff00ff00, 0);
    ExpectPixel(p, 15, 8, 0xff000000, 0);
    ExpectPixel(p, 16, 7, 0xff000000, 0);
    ExpectPixel(p, 48, 47, 0xff000000, 0);
    ExpectPixel(p, 47, 48, 0xff000000, 0);
}

TEST_F(DrawTest, PointAndLinearSamplingWithWrapAndClamp) {
    // 2 x 2: red, green / blue, white.
    IDirect3DTexture9* t = MakeTexture(2, 2, {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff});
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    struct Case {
        DWORD filter, address;
        float u1;
        int x, y;
        std::uint32_t expected;
    } cases[] = {
        {D3DTEXF_POINT, D3DTADDRESS_WRAP, 1, 0, 0, 0xffff0000},   // texel (0,0) exactly at the edge
        {D3DTEXF_POINT, D3DTADDRESS_WRAP, 1, 31, 31, 0xffff0000},
        {D3DTEXF_POINT, D3DTADDRESS_WRAP, 1, 32, 0, 0xff00ff00},
        {D3DTEXF_POINT, D3DTADDRESS_WRAP, 1, 0, 32, 0xff0000ff},
        {D3DTEXF_POINT, D3DTADDRESS_WRAP, 2, 16, 0, 0xff00ff00},  // u = 0.5: second texel
        {D3DTEXF_POINT, D3DTADDRESS_WRAP, 2, 32, 0, 0xffff0000},  // u = 1.0 wraps to the first
        {D3DTEXF_POINT, D3DTADDRESS_CLAMP, 2, 48, 0, 0xff00ff00}, // u = 1.5 clamps to the last
        {D3DTEXF_POINT, D3DTADDRESS_MIRROR, 2, 56, 0, 0xffff0000},  // u = 1.75 mirrors to 0.25
        {D3DTEXF_POINT, D3DTADDRESS_BORDER, 2, 48, 0, 0xffffff00},  // outside: the border colour
        // Linear: texel space x = u * 2 - 0.5; at pixel 16 (u = 0.25) exactly texel 0, at 32 halfway.
        {D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, 1, 16, 16, 0xffff0000},
        {D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, 1, 32, 16, Rgb(0.5, 0.5, 0)},
        {D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, 1, 0, 16, 0xffff0000},
        {D3DTEXF_LINEAR, D3DTADDRESS_WRAP, 1, 0, 16, Rgb(0.5, 0.5, 0)},  // wraps to the green texel
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "filter " << c.filter << " address " << c.address << " at " << c.x);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, c.filter);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, c.filter);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, c.address);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, c.address);
        device->SetSamplerState(0, D3DSAMP_BORDERCOLOR, 0xffffff00);
        Clear(0xff000000);
        TexturedRect(0, 0, c.u1, c.u1);
        ExpectPixel(ReadTarget(), c.x, c.y, c.expected, 2);
    }
    device->SetTexture(0, nullptr);
}

// Every sampler state hashes alike here, so the backend can tell states apart only by comparing them.
class CollidingSamplerHashTest : public DrawTest {
protected:
    void SetUp() override {
        previous_ = SetSamplerHash([](const SamplerKey&) -> std::size_t { return 7; });
        DrawTest::SetUp();
    }
    void TearDown() override {
        DrawTest::TearDown();
        SetSamplerHash(previous_);
    }

private:
    SamplerHashFn previous_ = nullptr;
};

TEST_F(CollidingSamplerHashTest, DifferentStatesNeverShareASampler) {
    // 2 x 2: red, green / blue, white; u = 1.0 at pixel 32 wraps to red and clamps to green.
    IDirect3DTexture9* t = MakeTexture(2, 2, {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff});
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    for (DWORD address : {D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP, D3DTADDRESS_WRAP}) {
        SCOPED_TRACE(testing::Message() << "address " << address);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, address);
        Clear(0xff000000);
        TexturedRect(0, 0, 2, 2);
        ExpectPixel(ReadTarget(), 32, 0, address == D3DTADDRESS_WRAP ? 0xffff0000 : 0xff00ff00, 2);
    }
    device->SetTexture(0, nullptr);
}

// A picture drawn through a grid of pre-transformed vertices whose texture coordinates follow their
// positions (u = x / width, as the demo's wave pass does) samples, with point filtering, exactly the texel
// under each pixel. Every pixel centre then lies on a texel edge, and the column at u = 0 must not wrap to
// the last texel.
TEST_F(DrawTest, PointSamplingAtTexelEdgesTakesTheTexelTheCoordinateNames) {
    // Each texel holds its own position: red = x & 0xff, green = x >> 8 | (y >> 8) << 4, blue = y & 0xff.
    auto texelAt = [](UINT x, UINT y) {
        return 0xff000000u | (x & 0xff) << 16 | (x >> 8 | (y >> 8) << 4) << 8 | (y & 0xff);
    };
    auto describe = [](std::uint32_t c) {
        const UINT x = ((c >> 16) & 0xff) | ((c >> 8) & 0xf) << 8, y = (c & 0xff) | ((c >> 12) & 0xf) << 8;
        return testing::Message() << "texel (" << x << ", " << y << ")";
    };
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    // The demo's size (the picture and the back buffer 800 x 600) and the fixture's 64 x 64.
    for (const auto& [width, height] : {std::pair<UINT, UINT>{800, 600}, {kSize, kSize}}) {
        std::vector<std::uint32_t> texels(static_cast<std::size_t>(width) * height);
        for (UINT y = 0; y < height; ++y) {
            for (UINT x = 0; x < width; ++x) texels[static_cast<std::size_t>(y) * width + x] = texelAt(x, y);
        }
        IDirect3DTexture9* t = MakeTexture(width, height, texels);
        IDirect3DTexture9* targetTexture = nullptr;
        IDirect3DSurface9* target = back;
        IDirect3DSurface9* depth = nullptr;
        if (width != kSize) {
            ASSERT_EQ(device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                            D3DPOOL_DEFAULT, &targetTexture, nullptr),
                      D3D_OK);
            targetTexture->GetSurfaceLevel(0, &target);
            ASSERT_EQ(device->SetRenderTarget(0, target), D3D_OK);
            device->GetDepthStencilSurface(&depth);
            device->SetDepthStencilSurface(nullptr);
        }
        device->SetTexture(0, t);
        for (DWORD address : {D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP}) {
            SCOPED_TRACE(testing::Message() << width << " x " << height << ", address mode " << address);
            device->SetSamplerState(0, D3DSAMP_ADDRESSU, address);
            device->SetSamplerState(0, D3DSAMP_ADDRESSV, address);
            // 10 x 10 vertices, 9 x 9 cells, with the demo's arithmetic (k = 1/9 in float, rhw 0).
            const float k = 1.0f / 9.0f, w = static_cast<float>(width), h = static_cast<float>(height);
            std::vector<RhwTex> grid;
            for (int i = 0; i < 10; ++i) {
                for (int j = 0; j < 10; ++j) grid.push_back({j * (w * k), i * (h * k), 0, 0, j * k, i * k});
            }
            std::vector<std::uint16_t> indices;
            for (int a = 0; a < 9; ++a) {
                for (int b = 0; b < 9; ++b) {
                    const int base = a + 10 * b;
                    for (int o : {0, 1, 10, 10, 1, 11}) {
                        indices.push_back(static_cast<std::uint16_t>(base + o));
                    }
                }
            }
            device->SetFVF(kRhwTex);
            device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0);
            ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 100, 162, indices.data(),
                                                     D3DFMT_INDEX16, grid.data(), sizeof(RhwTex)),
                      D3D_OK);
            const auto p = ReadTarget();
            ASSERT_EQ(p.size(), texels.size());
            int wrong = 0, wrongInColumn0 = 0;
            for (std::size_t i = 0; i < p.size(); ++i) {
                if ((p[i] & 0xffffff) == (texels[i] & 0xffffff)) continue;
                wrongInColumn0 += i % width == 0 ? 1 : 0;
                if (wrong++ < 4 || (i % width == 0 && wrongInColumn0 <= 4)) {
                    ADD_FAILURE() << "pixel (" << i % width << ", " << i / width << ") shows "
                                  << describe(p[i]);
                }
            }
            EXPECT_EQ(wrong, 0);
            EXPECT_EQ(wrongInColumn0, 0);
        }
        device->SetTexture(0, nullptr);
        if (targetTexture) {
            ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
            device->SetDepthStencilSurface(depth);
            if (depth) depth->Release();
            target->Release();
            targetTexture->Release();
        }
    }
    back->Release();
}

// Colour operations with diffuse (0.8, 0.4, 0.2, alpha 0.6) as arg1 and texture factor (0.5, 0.25, 1.0, alpha
// 0.5) as arg2, in 8-bit steps.
TEST_F(DrawTest, TextureStageOperationsFollowTheirFormulas) {
    const D3DCOLOR diffuse = D3DCOLOR_ARGB(153, 204, 102, 51);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, D3DCOLOR_ARGB(128, 128, 64, 255));
    const double fa = 128 / 255.0, dr = 204 / 255.0, dg = 102 / 255.0, db = 51 / 255.0, da = 153 / 255.0;
    const double fr = 128 / 255.0, fg = 64 / 255.0, fb = 1.0;
    struct Case {
        const char* name;
        DWORD op, arg1, arg2, arg0;
        double r, g, b;
    } cases[] = {
        {"SELECTARG1", D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, dr, dg, db},
        {"SELECTARG2", D3DTOP_SELECTARG2, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, fr, fg, fb},
        {"MODULATE", D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, dr * fr, dg * fg, db * fb},
        {"MODULATE2X", D3DTOP_MODULATE2X, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, 2 * dr * fr, 2 * dg * fg, 2 * db * fb},
        {"MODULATE4X", D3DTOP_MODULATE4X, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, 4 * dr * fr, 4 * dg * fg, 4 * db * fb},
        {"ADD", D3DTOP_ADD, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, dr + fr, dg + fg, db + fb},
        {"ADDSIGNED", D3DTOP_ADDSIGNED, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, dr + fr - .5, dg + fg - .5, db + fb - .5},
        {"ADDSIGNED2X", D3DTOP_ADDSIGNED2X, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, 2 * (dr + fr - .5), 2 * (dg + fg - .5),
         2 * (db + fb - .5)},
        {"SUBTRACT", D3DTOP_SUBTRACT, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, dr - fr, dg - fg, db - fb},
        {"ADDSMOOTH", D3DTOP_ADDSMOOTH, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, dr + fr - dr * fr, dg + fg - dg * fg,
         db + fb - db * fb},
        {"BLENDDIFFUSEALPHA", D3DTOP_BLENDDIFFUSEALPHA, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, dr * da + fr * (1 - da),
         dg * da + fg * (1 - da), db * da + fb * (1 - da)},
        {"BLENDFACTORALPHA", D3DTOP_BLENDFACTORALPHA, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, dr * fa + fr * (1 - fa),
         dg * fa + fg * (1 - fa), db * fa + fb * (1 - fa)},
        {"MODULATEALPHA_ADDCOLOR", D3DTOP_MODULATEALPHA_ADDCOLOR, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0, dr + da * fr,
         dg + da * fg, db + da * fb},
        {"MODULATEINVALPHA_ADDCOLOR", D3DTOP_MODULATEINVALPHA_ADDCOLOR, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0,
         dr + (1 - da) * fr, dg + (1 - da) * fg, db + (1 - da) * fb},
        {"MULTIPLYADD", D3DTOP_MULTIPLYADD, D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTA_DIFFUSE, dr + dr * fr, dg + dg * fg,
         db + db * fb},
        {"LERP", D3DTOP_LERP, D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE,
         fa * dr + (1 - fa) * fr, fa * dg + (1 - fa) * fg, fa * db + (1 - fa) * fb},
        {"DOTPRODUCT3", D3DTOP_DOTPRODUCT3, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0,
         4 * ((dr - .5) * (fr - .5) + (dg - .5) * (fg - .5) + (db - .5) * (fb - .5)),
         4 * ((dr - .5) * (fr - .5) + (dg - .5) * (fg - .5) + (db - .5) * (fb - .5)),
         4 * ((dr - .5) * (fr - .5) + (dg - .5) * (fg - .5) + (db - .5) * (fb - .5))},
        // Argument modifiers.
        {"COMPLEMENT", D3DTOP_SELECTARG1, D3DTA_DIFFUSE | D3DTA_COMPLEMENT, 0, 0, 1 - dr, 1 - dg, 1 - db},
        {"ALPHAREPLICATE", D3DTOP_SELECTARG1, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE, 0, 0, da, da, da},
        {"both modifiers", D3DTOP_SELECTARG1, D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE | D3DTA_COMPLEMENT, 0, 0, 1 - fa,
         1 - fa, 1 - fa},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->SetTextureStageState(0, D3DTSS_COLOROP, c.op);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, c.arg1);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, c.arg2);
        device->SetTextureStageState(0, D3DTSS_COLORARG0, c.arg0);
        Clear(0xff000000);
        Rect(0, 0, 64, 64, diffuse);
        ExpectPixel(ReadTarget(), 20, 20, Rgb(c.r, c.g, c.b), 2);
    }
}

// RESULTARG TEMP keeps a stage's result aside; a later stage reads it back with D3DTA_TEMP.
TEST_F(DrawTest, TempRegisterCarriesAStageResult) {
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xff204060);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_ADD);
    device->SetTextureStageState(2, D3DTSS_COLORARG1, D3DTA_CURRENT);
    device->SetTextureStageState(2, D3DTSS_COLORARG2, D3DTA_TEMP);
    Clear(0xff000000);
    Rect(0, 0, 64, 64, 0xff101010);
    ExpectPixel(ReadTarget(), 20, 20, 0xff305070, 1);
}

// Alpha operations show through blending: the stage's alpha decides how much of the quad covers white.
TEST_F(DrawTest, AlphaStageFeedsBlending) {
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, D3DCOLOR_ARGB(64, 0, 0, 0));
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    struct Case {
        DWORD op, arg1, arg2;
        double alpha;
    } cases[] = {
        {D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TFACTOR, 192 / 255.0},
        {D3DTOP_SELECTARG2, D3DTA_DIFFUSE, D3DTA_TFACTOR, 64 / 255.0},
        {D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR, 192 / 255.0 * 64 / 255.0},
        {D3DTOP_DISABLE, D3DTA_DIFFUSE, D3DTA_TFACTOR, 192 / 255.0},  // alpha passes through from diffuse
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, c.op);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, c.arg1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG2, c.arg2);
        Clear(0xffffffff);
        Rect(0, 0, 64, 64, D3DCOLOR_ARGB(192, 0, 0, 0));
        const double white = 1 - c.alpha;
        ExpectPixel(ReadTarget(), 10, 10, Rgb(white, white, white), 2);
    }
}

TEST_F(DrawTest, MissingTextureCases) {
    IDirect3DTexture9* t = MakeTexture(1, 1, {0xff00ff00});
    const D3DCOLOR diffuse = 0xff804020;
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xff30a0c0);
    struct Case {
        const char* name;
        DWORD op0, arg01, arg02;
        bool texture0;
        DWORD op1, arg11, arg12;
        std::uint32_t expected;
    } cases[] = {
        // COLORARG1 = TEXTURE with no texture: the stage is skipped, diffuse comes through.
        {"arg1 missing", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, false, D3DTOP_DISABLE, 0, 0, diffuse},
        // ... but only for operations that read argument 1: SELECTARG2 runs and shows the texture factor.
        {"arg1 missing, unread", D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR, false, D3DTOP_DISABLE, 0, 0,
         0xff30a0c0},
        {"arg1 missing, unread, then stage 1", D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR, false,
         D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_DIFFUSE, Rgb(0x30 * 0x80 / 65025.0, 0xa0 * 0x40 / 65025.0,
                                                            0xc0 * 0x20 / 65025.0)},
        // Any other read of a missing texture is opaque black.
        {"arg2 missing", D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TEXTURE, false, D3DTOP_DISABLE, 0, 0, 0xff000000},
        {"add black", D3DTOP_ADD, D3DTA_DIFFUSE, D3DTA_TEXTURE, false, D3DTOP_DISABLE, 0, 0, diffuse},
        // Stage 1 reading its missing texture as arg1 ends the cascade after stage 0.
        {"stage 1 missing", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_MODULATE, D3DTA_TEXTURE,
         D3DTA_CURRENT, 0xff004000},
        {"stage 0 and 1 present", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_MODULATE,
         D3DTA_CURRENT, D3DTA_DIFFUSE, 0xff004000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->SetTexture(0, c.texture0 ? t : nullptr);
        device->SetTextureStageState(0, D3DTSS_COLOROP, c.op0);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, c.arg01);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, c.arg02);
        device->SetTextureStageState(1, D3DTSS_COLOROP, c.op1);
        device->SetTextureStageState(1, D3DTSS_COLORARG1, c.arg11);
        device->SetTextureStageState(1, D3DTSS_COLORARG2, c.arg12);
        Clear(0xff0000ff);
        Rect(0, 0, 64, 64, diffuse);
        ExpectPixel(ReadTarget(), 5, 5, c.expected, 1);
    }
    device->SetTexture(0, nullptr);
}

// Two stages whose textures are both uploaded by the same draw: each unit keeps its own texture.
TEST_F(DrawTest, TwoStagesModulateTheirOwnTextures) {
    IDirect3DTexture9* first = MakeTexture(1, 1, {0xffff8040});
    IDirect3DTexture9* second = MakeTexture(1, 1, {0xff80ffff});
    device->SetTexture(0, first);
    device->SetTexture(1, second);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    Clear(0xff000000);
    TexturedRect(0, 0, 1, 1);
    ExpectPixel(ReadTarget(), 20, 20, Rgb(128 / 255.0, 128 / 255.0, 64 / 255.0), 1);
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
}

// Every format the adapter offers for sampling uploads to what the reference codec decodes: a 4 x 4 texture of
// seeded bytes drawn with point sampling into an A8R8G8B8 target, each texel compared with DecodeRow (clamped
// to the target's 0..1). Block-compressed formats are checked with solid blocks.
TEST_F(DrawTest, EveryTextureFormatSamplesLikeTheCodec) {
    const D3DFORMAT formats[] = {
        D3DFMT_R8G8B8,   D3DFMT_A8R8G8B8,     D3DFMT_X8R8G8B8,     D3DFMT_R5G6B5,       D3DFMT_X1R5G5B5,
        D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,     D3DFMT_R3G3B2,       D3DFMT_A8,           D3DFMT_A8R3G3B2,
        D3DFMT_X4R4G4B4, D3DFMT_A2B10G10R10,  D3DFMT_A8B8G8R8,     D3DFMT_X8B8G8R8,     D3DFMT_G16R16,
        D3DFMT_A2R10G10B10, D3DFMT_A16B16G16R16, D3DFMT_L8,        D3DFMT_A8L8,         D3DFMT_A4L4,
        D3DFMT_L16,      D3DFMT_V8U8,         D3DFMT_L6V5U5,       D3DFMT_X8L8V8U8,     D3DFMT_Q8W8V8U8,
        D3DFMT_V16U16,   D3DFMT_A2W10V10U10,  D3DFMT_Q16W16V16U16, D3DFMT_CxV8U8,       D3DFMT_UYVY,
        D3DFMT_R8G8_B8G8, D3DFMT_YUY2,        D3DFMT_G8R8_G8B8,    D3DFMT_R16F,         D3DFMT_G16R16F,
        D3DFMT_A16B16G16R16F, D3DFMT_R32F,    D3DFMT_G32R32F,      D3DFMT_A32B32G32R32F,
    };
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(device->CreateTexture(kSize, kSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target,
                                    nullptr),
              D3D_OK);
    IDirect3DSurface9* level = nullptr;
    IDirect3DSurface9* back = nullptr;
    target->GetSurfaceLevel(0, &level);
    device->GetRenderTarget(0, &back);
    device->SetRenderTarget(0, level);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    std::mt19937 random(11);
    auto isFloat = [](D3DFORMAT f) {
        return f == D3DFMT_R16F || f == D3DFMT_G16R16F || f == D3DFMT_A16B16G16R16F || f == D3DFMT_R32F ||
               f == D3DFMT_G32R32F || f == D3DFMT_A32B32G32R32F;
    };
    for (D3DFORMAT format : formats) {
        SCOPED_TRACE(FormatName(format));
        ASSERT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, format), D3D_OK);
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
        std::vector<float> expected(4 * 4 * 4);
        for (int y = 0; y < 4; ++y) {
            auto* row = static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch;
            for (int i = 0; i < locked.Pitch; ++i) row[i] = static_cast<std::uint8_t>(random());
            if (isFloat(format)) {
                for (int i = 1; i < locked.Pitch; i += 2) row[i] &= 0x3b;  // finite values below 1
            }
            DecodeRow(format, row, 4, &expected[static_cast<std::size_t>(y) * 16]);
        }
        t->UnlockRect(0);
        device->SetTexture(0, t);
        Clear(0xff000000);
        TexturedRect(0, 0, 1, 1);
        auto pixels = ReadTarget();
        for (int ty = 0; ty < 4; ++ty) {
            for (int tx = 0; tx < 4; ++tx) {
                const std::uint32_t got = pixels[static_cast<std::size_t>(ty * 16 + 8) * kSize + tx * 16 + 8];
                const float* e = &expected[static_cast<std::size_t>(ty * 4 + tx) * 4];
                const int shifts[4] = {16, 8, 0, 24};
                for (int c = 0; c < 4; ++c) {
                    const int want = static_cast<int>(std::lround(std::clamp(e[c], 0.0f, 1.0f) * 255.0f));
                    EXPECT_NEAR(Channel(got, shifts[c]), want, 2)
                        << "texel " << tx << "," << ty << " channel " << c << " value " << e[c];
                }
            }
        }
        device->SetTexture(0, nullptr);
        t->Release();
    }
    // Solid compressed blocks: colour 0 = colour 1 = pure red (R5G6B5 0xf800), all indices 0, alpha 0xff.
    struct Block {
        D3DFORMAT format;
        std::vector<std::uint8_t> bytes;
    } blocks[] = {
        {D3DFMT_DXT1, {0x00, 0xf8, 0x00, 0xf8, 0, 0, 0, 0}},
        {D3DFMT_DXT3, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0xf8, 0x00, 0xf8, 0, 0, 0, 0}},
        {D3DFMT_DXT5, {0xff, 0xff, 0, 0, 0, 0, 0, 0, 0x00, 0xf8, 0x00, 0xf8, 0, 0, 0, 0}},
    };
    for (const Block& b : blocks) {
        SCOPED_TRACE(FormatName(b.format));
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, b.format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
        std::memcpy(locked.pBits, b.bytes.data(), b.bytes.size());
        t->UnlockRect(0);
        device->SetTexture(0, t);
        Clear(0xff000000);
        TexturedRect(0, 0, 1, 1);
        ExpectPixel(ReadTarget(), 30, 30, 0xffff0000, 1);
        device->SetTexture(0, nullptr);
        t->Release();
    }
    device->SetRenderTarget(0, back);
    back->Release();
    level->Release();
    target->Release();
}

// The alpha test compares the 8-bit alpha with ALPHAREF; failing pixels are not written.
TEST_F(DrawTest, AlphaTestFunctions) {
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHAREF, 128);
    struct Case {
        DWORD func;
        bool at127, at128, at129;
    } cases[] = {
        {D3DCMP_NEVER, false, false, false},  {D3DCMP_LESS, true, false, false},
        {D3DCMP_EQUAL, false, true, false},   {D3DCMP_LESSEQUAL, true, true, false},
        {D3DCMP_GREATER, false, false, true}, {D3DCMP_NOTEQUAL, true, false, true},
        {D3DCMP_GREATEREQUAL, false, true, true}, {D3DCMP_ALWAYS, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.func);
        device->SetRenderState(D3DRS_ALPHAFUNC, c.func);
        Clear(0xff000000);
        Rect(0, 0, 16, 64, D3DCOLOR_ARGB(127, 255, 255, 255));
        Rect(16, 0, 32, 64, D3DCOLOR_ARGB(128, 255, 255, 255));
        Rect(32, 0, 48, 64, D3DCOLOR_ARGB(129, 255, 255, 255));
        auto p = ReadTarget();
        ExpectPixel(p, 8, 8, c.at127 ? 0xffffffff : 0xff000000, 0);
        ExpectPixel(p, 24, 8, c.at128 ? 0xffffffff : 0xff000000, 0);
        ExpectPixel(p, 40, 8, c.at129 ? 0xffffffff : 0xff000000, 0);
    }
}

TEST_F(DrawTest, BlendFactorPairs) {
    // Destination (0.2, 0.4, 0.8); source colour (0.6, 0.4, 0.2) with alpha 0.25.
    const double dst[3] = {0.2, 0.4, 0.8}, src[3] = {0.6, 0.4, 0.2}, a = 64 / 255.0;
    const D3DCOLOR clear = Rgb(dst[0], dst[1], dst[2]);
    const D3DCOLOR source = (64u << 24) | (Rgb(src[0], src[1], src[2]) & 0xffffff);
    auto q = [](double v) { return std::lround(v * 255) / 255.0; };
    struct Case {
        DWORD s, d;
    } cases[] = {{D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA}, {D3DBLEND_SRCALPHA, D3DBLEND_ONE},
                 {D3DBLEND_ONE, D3DBLEND_ZERO},           {D3DBLEND_ONE, D3DBLEND_ONE},
                 {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR},      {D3DBLEND_DESTCOLOR, D3DBLEND_ZERO},
                 {D3DBLEND_INVDESTCOLOR, D3DBLEND_ONE}};
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.s << "/" << c.d);
        device->SetRenderState(D3DRS_SRCBLEND, c.s);
        device->SetRenderState(D3DRS_DESTBLEND, c.d);
        Clear(clear);
        Rect(0, 0, 64, 64, source);
        double out[3];
        for (int i = 0; i < 3; ++i) {
            const double sv = q(src[i]), dv = q(dst[i]);
            auto factor = [&](DWORD f, bool isSource) {
                switch (f) {
                case D3DBLEND_ZERO: return 0.0;
                case D3DBLEND_ONE: return 1.0;
                case D3DBLEND_SRCALPHA: return a;
                case D3DBLEND_INVSRCALPHA: return 1 - a;
                case D3DBLEND_SRCCOLOR: return sv;
                case D3DBLEND_DESTCOLOR: return dv;
                case D3DBLEND_INVDESTCOLOR: return 1 - dv;
                default: return isSource ? 1.0 : 0.0;
                }
            };
            out[i] = sv * factor(c.s, true) + dv * factor(c.d, false);
        }
        ExpectPixel(ReadTarget(), 30, 30, Rgb(out[0], out[1], out[2]), 2);
    }
}

// Render targets without alpha read as alpha 1 in blending, whatever alpha their storage last received (a
// clear colour's alpha here). A8R8G8B8 keeps and reads its alpha.
TEST_F(DrawTest, DestinationAlphaOfTargetsWithoutAlphaIsOne) {
    const D3DCOLOR clear = D3DCOLOR_ARGB(0x40, 0x80, 0x80, 0x80);
    const double ad = 0x40 / 255.0, grey = 0x80 / 255.0;
    struct Case {
        D3DFORMAT format;  // D3DFMT_UNKNOWN: the X8R8G8B8 back buffer
        bool alpha;
    } cases[] = {{D3DFMT_UNKNOWN, false},
                 {D3DFMT_R5G6B5, false},
                 {D3DFMT_X1R5G5B5, false},
                 {D3DFMT_X8R8G8B8, false},
                 {D3DFMT_A8R8G8B8, true}};
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format == D3DFMT_UNKNOWN ? "back buffer" : FormatName(c.format));
        IDirect3DTexture9* texture = nullptr;
        IDirect3DSurface9* target = back;
        if (c.format != D3DFMT_UNKNOWN) {
            ASSERT_EQ(device->CreateTexture(kSize, kSize, 1, D3DUSAGE_RENDERTARGET, c.format, D3DPOOL_DEFAULT,
                                            &texture, nullptr),
                      D3D_OK);
            texture->GetSurfaceLevel(0, &target);
        }
        ASSERT_EQ(device->SetRenderTarget(0, target), D3D_OK);
        // Left half: white x destination alpha; right half: destination x (1 - destination alpha).
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_DESTALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
        Rect(0, 0, 32, 64, 0xffffffff);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVDESTALPHA);
        Rect(32, 0, 64, 64, 0xffffffff);
        const double left = c.alpha ? ad : 1.0, right = c.alpha ? grey * (1 - ad) : 0.0;
        // 16-bit targets hold 5 or 6 bits per channel: allow their step.
        const int tolerance = c.format == D3DFMT_R5G6B5 || c.format == D3DFMT_X1R5G5B5 ? 9 : 2;
        ExpectPixel(ReadTarget(), 10, 10, Rgb(left, left, left), tolerance);
        ExpectPixel(ReadTarget(), 50, 10, Rgb(right, right, right), tolerance);
        ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
        if (texture) {
            target->Release();
            texture->Release();
        }
    }
    back->Release();
}

TEST_F(DrawTest, DepthTestWriteAndCulling) {
    struct Case {
        const char* name;
        DWORD zenable, zwrite, zfunc;
        float nearZ, farZ;  // drawn first far (red) then near (green)
        std::uint32_t expected;
    } cases[] = {
        {"less-equal", D3DZB_TRUE, TRUE, D3DCMP_LESSEQUAL, 0.2f, 0.8f, 0xff00ff00},
        {"greater than the cleared 1.0", D3DZB_TRUE, TRUE, D3DCMP_GREATER, 0.2f, 0.8f, 0xff000000},
        {"always, last wins", D3DZB_TRUE, TRUE, D3DCMP_ALWAYS, 0.8f, 0.2f, 0xff00ff00},
        {"no write", D3DZB_TRUE, FALSE, D3DCMP_LESSEQUAL, 0.2f, 0.8f, 0xff00ff00},
        {"no test", D3DZB_FALSE, TRUE, D3DCMP_GREATER, 0.2f, 0.8f, 0xff00ff00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->SetRenderState(D3DRS_ZENABLE, c.zenable);
        device->SetRenderState(D3DRS_ZWRITEENABLE, c.zwrite);
        device->SetRenderState(D3DRS_ZFUNC, c.zfunc);
        Clear(0xff000000);
        Rect(0, 0, 64, 64, 0xffff0000, c.farZ);
        Rect(0, 0, 64, 64, 0xff00ff00, c.nearZ);
        ExpectPixel(ReadTarget(), 30, 30, c.expected, 0);
    }
    // Pre-transformed z is final: a viewport depth range does not move it; transformed depth is mapped into it.
    {
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
        D3DVIEWPORT9 vp{0, 0, kSize, kSize, 0.5f, 1.0f};
        device->SetViewport(&vp);
        Clear(0xff000000);
        vp.MinZ = 0.0f;
        device->SetViewport(&vp);
        Rect(0, 0, 64, 64, 0xff00ff00, 0.6f);
        vp.MinZ = 0.5f;
        device->SetViewport(&vp);
        Rect(0, 0, 64, 64, 0xffff0000, 0.55f);  // in front of 0.6 as given (0.775 if the range applied)
        ExpectPixel(ReadTarget(), 30, 30, 0xffff0000, 0);
        vp.MinZ = 0.0f;
        device->SetViewport(&vp);
    }
    // Without depth writes, a later farther quad still passes LESSEQUAL against the cleared 1.0.
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    Clear(0xff000000);
    Rect(0, 0, 64, 64, 0xff00ff00, 0.2f);
    Rect(0, 0, 64, 64, 0xffff0000, 0.8f);
    ExpectPixel(ReadTarget(), 30, 30, 0xffff0000, 0);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);

    // Screen-space clockwise triangles are front faces; CCW culling removes counter-clockwise ones.
    const RhwColor clockwise[3] = {{0, 0, 0.5f, 1, 0xffffffff}, {64, 0, 0.5f, 1, 0xffffffff},
                                   {0, 64, 0.5f, 1, 0xffffffff}};
    const RhwColor counter[3] = {clockwise[0], clockwise[2], clockwise[1]};
    struct CullCase {
        DWORD cull;
        bool cwVisible, ccwVisible;
    } cullCases[] = {{D3DCULL_CCW, true, false}, {D3DCULL_CW, false, true}, {D3DCULL_NONE, true, true}};
    device->SetFVF(kRhwColor);
    for (const CullCase& c : cullCases) {
        SCOPED_TRACE(c.cull);
        device->SetRenderState(D3DRS_CULLMODE, c.cull);
        for (bool cw : {true, false}) {
            Clear(0xff000000);
            device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw ? clockwise : counter, sizeof(RhwColor));
            const bool visible = cw ? c.cwVisible : c.ccwVisible;
            ExpectPixel(ReadTarget(), 10, 10, visible ? 0xffffffff : 0xff000000, 0);
        }
    }
}

// DEPTHBIAS is in depth units (0..1), so the same bias is a number of steps of whichever depth buffer is
// bound: a quad drawn `behind` steps behind another comes in front with a bias of -10 steps when behind is 5,
// not 20.
// SLOPESCALEDEPTHBIAS scales the quad's largest depth slope per pixel.
TEST_F(DrawTest, DepthBiasCountsStepsOfTheBoundDepthBuffer) {
    IDirect3DSurface9* d24 = nullptr;
    ASSERT_EQ(device->CreateDepthStencilSurface(kSize, kSize, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                &d24, nullptr),
              D3D_OK);
    IDirect3DSurface9* d16 = nullptr;
    ASSERT_EQ(device->GetDepthStencilSurface(&d16), D3D_OK);
    struct Case {
        IDirect3DSurface9* depth;
        double step;
        double behind, bias;  // in steps
        bool visible;
    } cases[] = {
        {d16, 1 / 65535.0, 5, 10, true},           {d16, 1 / 65535.0, 20, 10, false},
        {d24, 1 / 16777215.0, 5, 10, true},        {d24, 1 / 16777215.0, 20, 10, false},
        {d16, 1 / 65535.0, 0, 10.0 / 256, false},  // a tenth of a D24 step's worth of D16: no effect
    };
    const float z = 0.25f;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.depth == d16 ? "D16" : "D24S8") << " behind " << c.behind
                                        << " bias " << c.bias);
        ASSERT_EQ(device->SetDepthStencilSurface(c.depth), D3D_OK);
        device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
        device->SetRenderState(D3DRS_DEPTHBIAS, 0);
        Clear(0xff000000);
        Rect(0, 0, 64, 64, 0xffff0000, z);
        device->SetRenderState(D3DRS_DEPTHBIAS, FloatBits(static_cast<float>(-c.bias * c.step)));
        Rect(0, 0, 64, 64, 0xff00ff00, static_cast<float>(z + c.behind * c.step));
        ExpectPixel(ReadTarget(), 30, 30, c.visible ? 0xff00ff00 : 0xffff0000, 0);
    }
    device->SetRenderState(D3DRS_DEPTHBIAS, 0);
    // A quad whose depth rises 0.4 across 64 pixels: slope 0.00625 per pixel. Drawn again 0.003 further away,
    // a slope scale of -1 (offset -0.00625) brings it in front; -0.25 (offset -0.0016) does not.
    ASSERT_EQ(device->SetDepthStencilSurface(d16), D3D_OK);
    auto sloped = [&](float shift, D3DCOLOR color) {
        const RhwColor v[4] = {{0, 0, 0.2f + shift, 1, color}, {64, 0, 0.6f + shift, 1, color},
                               {0, 64, 0.2f + shift, 1, color}, {64, 64, 0.6f + shift, 1, color}};
        device->SetFVF(kRhwColor);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwColor)), D3D_OK);
    };
    for (float scale : {-1.0f, -0.25f}) {
        SCOPED_TRACE(scale);
        device->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, 0);
        Clear(0xff000000);
        sloped(0.0f, 0xffff0000);
        device->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, FloatBits(scale));
        sloped(0.003f, 0xff00ff00);
        ExpectPixel(ReadTarget(), 30, 30, scale == -1.0f ? 0xff00ff00 : 0xffff0000, 0);
    }
    device->SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, 0);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    d24->Release();
    d16->Release();
}

// Lighting of a quad at camera depth 0.5 whose four corners see the light alike, so Gouraud shading is flat.
TEST_F(DrawTest, LightingCases) {
    SetOrthoIdentity();
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    D3DMATERIAL9 material{};
    material.Diffuse = {0.5f, 0.5f, 0.5f, 1.0f};
    material.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Emissive = {0.0f, 0.0f, 0.1f, 0.0f};
    device->SetMaterial(&material);
    device->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_XRGB(0, 51, 0));  // 0.2 green everywhere
    const double ambientG = 0.2, emissiveB = 0.1;

    // Corner (1, 1, 0.5) seen from a light at (0, 0, -1): distance and cosines shared by all corners.
    const double d = std::sqrt(1 + 1 + 1.5 * 1.5);
    const double cosine = 1.5 / d;  // N . L with N = (0, 0, -1)
    const double spotRho = cosine;  // the spot points along +z
    const double pi = 3.14159265358979;
    struct Case {
        const char* name;
        D3DLIGHTTYPE type;
        float range, a0, a1, a2, theta, phi, falloff;
        double intensity;  // light diffuse 1.0 times this, times the material's 0.5
    } cases[] = {
        {"directional", D3DLIGHT_DIRECTIONAL, 0, 1, 0, 0, 0, 0, 0, 1.0},
        {"point, constant", D3DLIGHT_POINT, 100, 1, 0, 0, 0, 0, 0, cosine},
        {"point, linear attenuation", D3DLIGHT_POINT, 100, 0, 1, 0, 0, 0, 0, cosine / d},
        {"point, quadratic attenuation", D3DLIGHT_POINT, 100, 0.5f, 0, 0.25f, 0, 0, 0,
         cosine / (0.5 + 0.25 * d * d)},
        {"point, out of range", D3DLIGHT_POINT, static_cast<float>(d) - 0.1f, 1, 0, 0, 0, 0, 0, 0.0},
        {"spot, inside the cone", D3DLIGHT_SPOT, 100, 1, 0, 0, static_cast<float>(100 * pi / 180),
         static_cast<float>(120 * pi / 180), 1, cosine},
        {"spot, outside", D3DLIGHT_SPOT, 100, 1, 0, 0, static_cast<float>(20 * pi / 180),
         static_cast<float>(60 * pi / 180), 1, 0.0},
        {"spot, penumbra", D3DLIGHT_SPOT, 100, 1, 0, 0, static_cast<float>(60 * pi / 180),
         static_cast<float>(120 * pi / 180), 2,
         cosine * std::pow((spotRho - std::cos(60 * pi / 180)) / (std::cos(30 * pi / 180) - std::cos(60 * pi / 180)),
                           2.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DLIGHT9 light{};
        light.Type = c.type;
        light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
        light.Position = {0.0f, 0.0f, -1.0f};
        light.Direction = {0.0f, 0.0f, 1.0f};
        light.Range = c.range;
        light.Attenuation0 = c.a0;
        light.Attenuation1 = c.a1;
        light.Attenuation2 = c.a2;
        light.Theta = c.theta;
        light.Phi = c.phi;
        light.Falloff = c.falloff;
        ASSERT_EQ(device->SetLight(0, &light), D3D_OK);
        ASSERT_EQ(device->LightEnable(0, TRUE), D3D_OK);
        Clear(0xff000000);
        LitQuad(0.5f);
        const double v = 0.5 * c.intensity;
        ExpectPixel(ReadTarget(), 1, 1, Rgb(v, v + ambientG, v + emissiveB), 2);
    }
    device->LightEnable(0, FALSE);
}

// Every member of the XYZ / XYZRHW x NORMAL x DIFFUSE x SPECULAR x TEX0..2 family: the attributes are found at
// their offsets. Stage 0 modulates a 2 x 1 texture (red | green) read through the last coordinate set with the
// diffuse colour; the specular colour is added.
TEST_F(DrawTest, FlexibleVertexFormatFamily) {
    SetOrthoIdentity();
    IDirect3DTexture9* t = MakeTexture(2, 1, {0xffff0000, 0xff00ff00});
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    const D3DCOLOR diffuse = 0xff80c0ff, specular = 0xff200000;
    for (DWORD position : {static_cast<DWORD>(D3DFVF_XYZ), static_cast<DWORD>(D3DFVF_XYZRHW)}) {
        for (DWORD extras = 0; extras < 8; ++extras) {
            for (DWORD texCount = 0; texCount <= 2; ++texCount) {
                const bool normal = extras & 1, hasDiffuse = extras & 2, hasSpecular = extras & 4;
                const DWORD fvf = position | (normal ? D3DFVF_NORMAL : 0) | (hasDiffuse ? D3DFVF_DIFFUSE : 0) |
                                  (hasSpecular ? D3DFVF_SPECULAR : 0) | (texCount << D3DFVF_TEXCOUNT_SHIFT);
                SCOPED_TRACE(testing::Message() << "fvf 0x" << std::hex << fvf);
                device->SetTexture(0, texCount ? t : nullptr);
                device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, texCount ? texCount - 1 : 0);
                // Four corners of the whole target.
                std::vector<std::uint8_t> bytes;
                auto put = [&](const void* p, std::size_t n) {
                    bytes.insert(bytes.end(), static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + n);
                };
                const float corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
                for (const auto& c : corners) {
                    if (position == D3DFVF_XYZ) {
                        const float xyz[3] = {c[0] * 2 - 1, 1 - c[1] * 2, 0.5f};
                        put(xyz, 12);
                    } else {
                        const float xyzw[4] = {c[0] * 64, c[1] * 64, 0.5f, 1.0f};
                        put(xyzw, 16);
                    }
                    const float n[3] = {0, 0, -1};
                    if (normal) put(n, 12);
                    if (hasDiffuse) put(&diffuse, 4);
                    if (hasSpecular) put(&specular, 4);
                    for (DWORD set = 0; set < texCount; ++set) {
                        // Only the last set points at the green texel; earlier ones at red.
                        const float uv[2] = {set + 1 == texCount ? 0.75f : 0.25f, 0.5f};
                        put(uv, 8);
                    }
                }
                device->SetFVF(fvf);
                Clear(0xff000000);
                ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, bytes.data(),
                                                  static_cast<UINT>(bytes.size() / 4)),
                          D3D_OK);
                // Without a texture, stage 0 (arg1 = texture) is skipped and the diffuse colour shows.
                const double r = (texCount ? 0.0 : (hasDiffuse ? 0x80 / 255.0 : 1.0)) + (hasSpecular ? 0x20 / 255.0 : 0);
                const double g = texCount ? (hasDiffuse ? 0xc0 / 255.0 : 1.0) : (hasDiffuse ? 0xc0 / 255.0 : 1.0);
                const double b = texCount ? 0.0 : (hasDiffuse ? 1.0 : 1.0);
                ExpectPixel(ReadTarget(), 20, 20, Rgb(r, g, b), 2);
            }
        }
    }
    device->SetTexture(0, nullptr);
}

// Positions with one to five blend weights (the last one may be packed indices): the diffuse colour and the
// texture coordinates follow the weights. Vertex blending is off, so the weights themselves change nothing.
TEST_F(DrawTest, BlendWeightPositionsPlaceTheFollowingAttributes) {
    SetOrthoIdentity();
    IDirect3DTexture9* t = MakeTexture(2, 1, {0xffff0000, 0xff00ff00});
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    const D3DCOLOR diffuse = 0xff80c0ff;
    struct Case {
        DWORD position;
        int weights;
    } cases[] = {{D3DFVF_XYZB1, 1}, {D3DFVF_XYZB2, 2}, {D3DFVF_XYZB3, 3},
                 {D3DFVF_XYZB4, 4}, {D3DFVF_XYZB5, 5}, {D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4, 2}};
    for (const Case& c : cases) {
        const DWORD fvf = c.position | D3DFVF_DIFFUSE | D3DFVF_TEX1;
        SCOPED_TRACE(testing::Message() << "fvf 0x" << std::hex << fvf);
        std::vector<std::uint8_t> bytes;
        auto put = [&](const void* p, std::size_t n) {
            const auto* from = static_cast<const std::uint8_t*>(p);
            bytes.insert(bytes.end(), from, from + n);
        };
        const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
        for (const auto& corner : corners) {
            const float xyz[3] = {corner[0], corner[1], 0.5f};
            put(xyz, 12);
            const float weight = 0.25f;
            for (int w = 0; w < c.weights; ++w) put(&weight, 4);
            put(&diffuse, 4);
            const float uv[2] = {0.75f, 0.5f};  // the green texel
            put(uv, 8);
        }
        ASSERT_EQ(bytes.size() % 4, 0u);
        ASSERT_EQ(device->SetFVF(fvf), D3D_OK);
        Clear(0xff000000);
        const UINT stride = static_cast<UINT>(bytes.size() / 4);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, bytes.data(), stride), D3D_OK);
        ExpectPixel(ReadTarget(), 20, 20, 0xff00c000, 1);
    }
    device->SetTexture(0, nullptr);
}

// Material sources: with COLORVERTEX the diffuse reflectance comes from the vertex colour (COLOR1) or the
// specular colour (COLOR2); without the colour in the vertex, or with COLORVERTEX off, from the material.
TEST_F(DrawTest, MaterialSourcesAndSpecular) {
    SetOrthoIdentity();
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    D3DMATERIAL9 material{};
    material.Diffuse = {0.25f, 0.25f, 0.25f, 1.0f};
    material.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Power = 8.0f;
    device->SetMaterial(&material);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    light.Specular = {0.5f, 0.0f, 0.0f, 1.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    struct Vertex {
        float x, y, z, nx, ny, nz;
        D3DCOLOR diffuse, specular;
    };
    const D3DCOLOR vd = 0xff808080, vs = 0xffffffff;
    const Vertex v[4] = {{-1, 1, 0.5f, 0, 0, -1, vd, vs}, {1, 1, 0.5f, 0, 0, -1, vd, vs},
                         {-1, -1, 0.5f, 0, 0, -1, vd, vs}, {1, -1, 0.5f, 0, 0, -1, vd, vs}};
    struct Case {
        const char* name;
        DWORD colorVertex, source, specularEnable;
        double diffuse, specularRed;
    } cases[] = {
        {"vertex colour 1", TRUE, D3DMCS_COLOR1, FALSE, 128 / 255.0, 0},
        {"vertex colour 2", TRUE, D3DMCS_COLOR2, FALSE, 1.0, 0},
        {"material", TRUE, D3DMCS_MATERIAL, FALSE, 0.25, 0},
        {"colour vertex off", FALSE, D3DMCS_COLOR1, FALSE, 0.25, 0},
    };
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->SetRenderState(D3DRS_COLORVERTEX, c.colorVertex);
        device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, c.source);
        device->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
        device->SetRenderState(D3DRS_SPECULARENABLE, c.specularEnable);
        Clear(0xff000000);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
        ExpectPixel(ReadTarget(), 32, 32, Rgb(c.diffuse + c.specularRed, c.diffuse, c.diffuse), 2);
    }
    // Specular with the local viewer: at the centre pixel the half vector is the normal, so (N.H)^p = 1 and the
    // light's specular red is added in full; near the corner it falls off with the power.
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
    // Per-vertex: every corner sees the eye at (-+1, -+1, -0.5) from it; H = normalize(normalize(-P) + L).
    const double len = std::sqrt(1 + 1 + 0.25);
    const double hx = -1 / len, hz = -0.5 / len - 1;  // toEye + L, L = (0, 0, -1)
    const double hl = std::sqrt(2 * hx * hx + hz * hz);
    const double ndoth = -hz / hl;
    const double highlight = 0.5 * std::pow(ndoth, 8.0);
    ExpectPixel(ReadTarget(), 32, 32, Rgb(0.25 + highlight, 0.25, 0.25), 2);
    device->LightEnable(0, FALSE);
}

// Vertex fog (table mode NONE) is computed per vertex from the eye depth; with the quad at one depth it is flat.
TEST_F(DrawTest, VertexFogLinear) {
    SetOrthoIdentity();
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, 0x00ff0000);
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    // A start away from 0, so that the range (end - start) is not the end itself nor end + start.
    device->SetRenderState(D3DRS_FOGSTART, FloatBits(0.25f));
    device->SetRenderState(D3DRS_FOGEND, FloatBits(1.75f));
    Clear(0xff000000);
    LitQuad(0.5f);  // f = (1.75 - 0.5) / (1.75 - 0.25) = 5/6
    const double f = 1.25 / 1.5;
    ExpectPixel(ReadTarget(), 32, 32, Rgb(1.0, f, f), 2);
}

// A 2D texture transform takes its translation from the third row (the coordinates enter as (u, v, 1, 0)).
TEST_F(DrawTest, TwoDimensionalTextureTransform) {
    IDirect3DTexture9* t = MakeTexture(2, 1, {0xffff0000, 0xff00ff00});
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    m._31 = 0.5f;  // shift u by half the texture
    device->SetTransform(D3DTS_TEXTURE0, &m);
    SetOrthoIdentity();
    device->SetTransform(D3DTS_TEXTURE0, &m);
    Clear(0xff000000);
    TexturedRect(0, 0, 1, 1);
    auto p = ReadTarget();
    ExpectPixel(p, 8, 8, 0xffff0000, 0);  // pre-transformed vertices ignore the texture transform
    Lit v[4] = {{-1, 1, 0.5f, 0, 0, -1, 0, 0}, {1, 1, 0.5f, 0, 0, -1, 1, 0}, {-1, -1, 0.5f, 0, 0, -1, 0, 1},
                {1, -1, 0.5f, 0, 0, -1, 1, 1}};
    device->SetFVF(kLit);
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Lit)), D3D_OK);
    p = ReadTarget();
    ExpectPixel(p, 8, 8, 0xff00ff00, 0);   // u 0.125 + 0.5 -> green
    ExpectPixel(p, 40, 8, 0xffff0000, 0);  // u 0.625 + 0.5 wraps -> red
    device->SetTexture(0, nullptr);
}

// Strips and fans from a vertex buffer with DrawPrimitive.
TEST_F(DrawTest, StripAndFanFromBuffers) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(6 * sizeof(RhwColor), D3DUSAGE_WRITEONLY, kRhwColor, D3DPOOL_DEFAULT, &vb,
                                         nullptr),
              D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
    // Vertex 0 is padding; a fan around the centre of the left half from vertex 1.
    const RhwColor v[6] = {{0, 0, 0.5f, 1, 0},
                           {16, 32, 0.5f, 1, 0xff00ffff},
                           {0, 0, 0.5f, 1, 0xff00ffff},
                           {32, 0, 0.5f, 1, 0xff00ffff},
                           {32, 64, 0.5f, 1, 0xff00ffff},
                           {0, 64, 0.5f, 1, 0xff00ffff}};
    std::memcpy(data, v, sizeof v);
    vb->Unlock();
    device->SetStreamSource(0, vb, 0, sizeof(RhwColor));
    device->SetFVF(kRhwColor);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, 1, 3), D3D_OK);
    auto p = ReadTarget();
    ExpectPixel(p, 16, 5, 0xff00ffff, 0);   // top triangle
    ExpectPixel(p, 28, 32, 0xff00ffff, 0);  // right triangle
    ExpectPixel(p, 16, 60, 0xff00ffff, 0);  // bottom triangle
    ExpectPixel(p, 3, 32, 0xff000000, 0);   // the left wedge was not part of the fan
    ExpectPixel(p, 48, 32, 0xff000000, 0);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, 3, 3), D3DERR_INVALIDCALL);  // past the buffer
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 2, 2), D3D_OK);  // 32,0 / 32,64 / 0,64 and 0,0 / 32,0 / 32,64
    p = ReadTarget();
    ExpectPixel(p, 20, 40, 0xff00ffff, 0);
    device->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
}

// The same frame with the backend's state cache off (every state applied on every draw) looks the same and
// costs more GL state calls.
TEST_F(DrawTest, StateCacheOffDrawsTheSamePicture) {
    const StateCacheOn cacheOn;
    IDirect3DTexture9* t = MakeTexture(2, 2, {0xffff0000, 0x8000ff00, 0xff0000ff, 0x40ffffff});
    auto frame = [&] {
        Clear(0xff202020);
        SetOrthoIdentity();
        device->SetTexture(0, t);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        TexturedRect(0, 0, 2, 2);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetTexture(0, nullptr);
        Rect(10, 10, 50, 40, 0x80ffff00);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        device->SetTexture(0, t);
        LitQuad(0.9f);
        return ReadTarget();
    };
    frame();  // first use: programs, samplers and the shadow's first values
    std::size_t start = GlStateCalls(device);
    const auto cached = frame();
    const std::size_t cachedCalls = GlStateCalls(device) - start;
    SetStateCacheEnabled(false);
    start = GlStateCalls(device);
    const auto uncached = frame();
    const std::size_t uncachedCalls = GlStateCalls(device) - start;
    SetStateCacheEnabled(true);
    EXPECT_EQ(cached, uncached);
    EXPECT_GT(cachedCalls, 0u);
    EXPECT_LT(cachedCalls * 2, uncachedCalls) << cachedCalls << " calls cached, " << uncachedCalls << " not";
    device->SetTexture(0, nullptr);
}

// The backend's shadow of GL state: a draw that changes nothing sends no GL state call, a state change sends only
// the calls whose values differ from what GL holds, and a clear disturbs nothing that the next draw must resend.
TEST_F(DrawTest, RedundantStateIsNotSentToGl) {
    const StateCacheOn cacheOn;
    Clear(0xff000000);
    Rect(0, 0, 8, 8, 0xffff0000);
    auto callsFor = [&](auto&& step) {
        const std::size_t start = GlStateCalls(device);
        step();
        return GlStateCalls(device) - start;
    };
    const auto draw = [&] { Rect(0, 0, 8, 8, 0xffff0000); };
    EXPECT_EQ(callsFor(draw), 0u);
    struct Step {
        D3DRENDERSTATETYPE state;
        DWORD value;
        std::size_t calls;  // GL state calls of the draw after the change
        const char* what;
    };
    const Step steps[] = {
        {D3DRS_CULLMODE, D3DCULL_CW, 1, "culling the other face: the face"},
        {D3DRS_CULLMODE, D3DCULL_NONE, 1, "culling off: the enable"},
        {D3DRS_CULLMODE, D3DCULL_CW, 1, "culling on again: the enable (GL still holds the face)"},
        {D3DRS_CULLMODE, D3DCULL_NONE, 1, "culling off again"},
        {D3DRS_ALPHABLENDENABLE, TRUE, 4, "first blend: enable, factors, equations, constant colour"},
        {D3DRS_ALPHABLENDENABLE, FALSE, 1, "blend off: the enable"},
        {D3DRS_ALPHABLENDENABLE, TRUE, 1, "blend on again: the enable"},
        {D3DRS_ALPHABLENDENABLE, FALSE, 1, "blend off again"},
        {D3DRS_ZWRITEENABLE, FALSE, 1, "depth writes off: the mask"},
        {D3DRS_ZWRITEENABLE, TRUE, 1, "depth writes on: the mask"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        device->SetRenderState(step.state, step.value);
        EXPECT_EQ(callsFor(draw), step.calls);
    }
    // A clear sets its colour and masks as GL already holds them after the draws above, and the draw after it
    // finds GL as it wants it.
    EXPECT_EQ(callsFor([&] { Clear(0xff000000); }), 0u);
    EXPECT_EQ(callsFor(draw), 0u);
}

TEST_F(DrawTest, TableFogAtStartMiddleAndEnd) {
    SetOrthoIdentity();
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, 0x000000ff);
    // The quad sits at eye depth 0.5; white without vertex colours.
    struct Case {
        DWORD mode;
        float start, end, density;
        double f;  // share of the object colour
    } cases[] = {
        {D3DFOG_LINEAR, 0.5f, 1.5f, 0, 1.0},  {D3DFOG_LINEAR, 0.0f, 1.0f, 0, 0.5},
        {D3DFOG_LINEAR, -1.0f, 0.5f, 0, 0.0}, {D3DFOG_EXP, 0, 0, 2.0f, std::exp(-1.0)},
        {D3DFOG_EXP, 0, 0, 0.0f, 1.0},        {D3DFOG_EXP2, 0, 0, 2.0f, std::exp(-1.0)},
        {D3DFOG_EXP2, 0, 0, 4.0f, std::exp(-4.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.start << ".." << c.end << " density " << c.density);
        device->SetRenderState(D3DRS_FOGTABLEMODE, c.mode);
        device->SetRenderState(D3DRS_FOGSTART, FloatBits(c.start));
        device->SetRenderState(D3DRS_FOGEND, FloatBits(c.end));
        device->SetRenderState(D3DRS_FOGDENSITY, FloatBits(c.density));
        Clear(0xff000000);
        LitQuad(0.5f);
        ExpectPixel(ReadTarget(), 32, 32, Rgb(c.f, c.f, c.f + (1 - c.f)), 2);
    }
    // Pre-transformed vertices are never fogged.
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGSTART, FloatBits(0.0f));
    device->SetRenderState(D3DRS_FOGEND, FloatBits(0.0001f));
    Clear(0xff000000);
    Rect(0, 0, 64, 64, 0xffffffff);
    ExpectPixel(ReadTarget(), 32, 32, 0xffffffff, 0);
}

// Table fog goes by w under a perspective projection and by the device depth (0..1) under an affine one.
TEST_F(DrawTest, TableFogIsWBasedForPerspectiveAndZBasedForAffineProjections) {
    SetOrthoIdentity();
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, 0x000000ff);
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    // Near 1, far 3: eye depth 2 has w = 2 and device depth (1.5 * 2 - 1.5) / 2 = 0.75.
    D3DMATRIX perspective{};
    perspective._11 = perspective._22 = 1.0f;
    perspective._33 = 1.5f;
    perspective._34 = 1.0f;
    perspective._43 = -1.5f;
    D3DMATRIX affine{};  // eye depth 2 has device depth 0.25 * 2 - 0.25 = 0.25
    affine._11 = affine._22 = affine._44 = 1.0f;
    affine._33 = 0.25f;
    affine._43 = -0.25f;
    struct Case {
        const char* name;
        const D3DMATRIX* projection;
        float start, end;
        double f;
    } cases[] = {
        {"perspective: w = 2", &perspective, 0.0f, 4.0f, 0.5},
        {"perspective: w = 2, other range", &perspective, 1.0f, 5.0f, 0.75},
        {"affine: z = 0.25", &affine, 0.0f, 1.0f, 0.75},
        {"affine: z = 0.25, other range", &affine, 0.0f, 0.5f, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->SetTransform(D3DTS_PROJECTION, c.projection);
        device->SetRenderState(D3DRS_FOGSTART, FloatBits(c.start));
        device->SetRenderState(D3DRS_FOGEND, FloatBits(c.end));
        Clear(0xff000000);
        LitQuad(2.0f);
        ExpectPixel(ReadTarget(), 32, 32, Rgb(c.f, c.f, c.f + (1 - c.f)), 2);
    }
}

// User clip planes are given in world space and keep what lies where ax + by + cz + d >= 0. The view moves
// the picture half a screen-width left (in clip units), so the plane x >= 0 of the world cuts at pixel 16,
// not 32.
TEST_F(DrawTest, UserClipPlanesCutInWorldSpace) {
    SetOrthoIdentity();
    D3DMATRIX view{};
    view._11 = view._22 = view._33 = view._44 = 1.0f;
    view._41 = -0.5f;
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xff00ff00);
    const float keepRight[4] = {1, 0, 0, 0}, keepBottom[4] = {0, -1, 0, 0};
    ASSERT_EQ(device->SetClipPlane(0, keepRight), D3D_OK);
    ASSERT_EQ(device->SetClipPlane(3, keepBottom), D3D_OK);
    struct Case {
        DWORD enable;
        int left, top;  // first drawn column and row; the quad itself spans columns 0..47
    } cases[] = {{0, 0, 0},
                 {D3DCLIPPLANE0, 16, 0},
                 {D3DCLIPPLANE3, 0, 32},
                 {D3DCLIPPLANE0 | D3DCLIPPLANE3, 16, 32},
                 {D3DCLIPPLANE1, 0, 0}};  // plane 1 was never set: all zero, keeps everything
    for (const Case& c : cases) {
        SCOPED_TRACE(c.enable);
        device->SetRenderState(D3DRS_CLIPPLANEENABLE, c.enable);
        Clear(0xff000000);
        LitQuad(0.5f);
        auto p = ReadTarget();
        ExpectPixel(p, c.left, c.top, 0xff00ff00, 0);
        ExpectPixel(p, 47, 63, 0xff00ff00, 0);
        ExpectPixel(p, 48, 63, 0xff000000, 0);
        if (c.left > 0) ExpectPixel(p, c.left - 1, 63, 0xff000000, 0);
        if (c.top > 0) ExpectPixel(p, 47, c.top - 1, 0xff000000, 0);
    }
    // Pre-transformed vertices have no world position and are not clipped.
    device->SetRenderState(D3DRS_CLIPPLANEENABLE, D3DCLIPPLANE0);
    Clear(0xff000000);
    Rect(0, 0, 8, 8, 0xffffffff);
    ExpectPixel(ReadTarget(), 0, 0, 0xff00ff00, 0);
    device->SetRenderState(D3DRS_CLIPPLANEENABLE, 0);
}

// Camera-space positions through a texture matrix with a projective fourth row: u = (0.5 x + 0.5) / (2 z).
TEST_F(DrawTest, CameraSpacePositionThroughProjectedTextureTransform) {
    SetOrthoIdentity();
    IDirect3DTexture9* t = MakeTexture(2, 2, {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff});
    device->SetTexture(0, t);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT4 | D3DTTFF_PROJECTED);
    D3DMATRIX m{};
    m._11 = 0.5f;   // u' = 0.5 x + 0.5
    m._41 = 0.5f;
    m._22 = -0.5f;  // v' = -0.5 y + 0.5
    m._42 = 0.5f;
    m._34 = 2.0f;   // q = 2 z
    device->SetTransform(D3DTS_TEXTURE0, &m);
    const float z = 0.25f;
    Clear(0xff000000);
    LitQuad(z);
    auto p = ReadTarget();
    auto texel = [&](int px, int py) {
        const double x = px / 32.0 - 1.0, y = 1.0 - py / 32.0;
        const double u = (0.5 * x + 0.5) / (2 * z), v = (-0.5 * y + 0.5) / (2 * z);
        const int tx = std::min(1, static_cast<int>(std::floor(u * 2))), ty = std::min(1, static_cast<int>(std::floor(v * 2)));
        const std::uint32_t colours[4] = {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff};
        return colours[ty * 2 + tx];
    };
    for (int px : {4, 12, 20, 40, 60}) {
        for (int py : {4, 12, 20, 40}) {
            SCOPED_TRACE(testing::Message() << px << ", " << py);
            ExpectPixel(p, px, py, texel(px, py), 0);
        }
    }
    device->SetTexture(0, nullptr);
}

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

// After the first upload, only the levels and byte ranges written since are sent to GL again.
TEST_F(DrawTest, OnlyChangedDataIsUploadedAgain) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(4 * sizeof(RhwTex), 0, kRhwTex, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    void* data = nullptr;
    vb->Lock(0, 0, &data, 0);
    const RhwTex v[4] = {{0, 0, 0.5f, 1, 0, 0}, {64, 0, 0.5f, 1, 1, 0}, {0, 64, 0.5f, 1, 0, 1}, {64, 64, 0.5f, 1, 1, 1}};
    std::memcpy(data, v, sizeof v);
    vb->Unlock();
    device->SetTexture(0, t);
    device->SetStreamSource(0, vb, 0, sizeof(RhwTex));
    device->SetFVF(kRhwTex);
    auto draw = [&] { ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK); };
    const UploadStats start = Uploads(device);
    draw();
    UploadStats now = Uploads(device);
    EXPECT_EQ(now.textureLevels - start.textureLevels, 4u);
    EXPECT_EQ(now.bufferBytes - start.bufferBytes, sizeof v);
    draw();
    EXPECT_EQ(Uploads(device).textureLevels, now.textureLevels);
    EXPECT_EQ(Uploads(device).bufferBytes, now.bufferBytes);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(t->LockRect(2, &locked, nullptr, 0), D3D_OK);
    t->UnlockRect(2);
    ASSERT_EQ(t->LockRect(1, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    t->UnlockRect(1);
    ASSERT_EQ(vb->Lock(sizeof(RhwTex), sizeof(RhwTex), &data, 0), D3D_OK);
    vb->Unlock();
    draw();
    EXPECT_EQ(Uploads(device).textureLevels - now.textureLevels, 1u);  // level 2 only
    EXPECT_EQ(Uploads(device).bufferBytes - now.bufferBytes, sizeof(RhwTex));
    device->SetTexture(0, nullptr);
    device->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
    t->Release();
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

// Indexed draws from buffers with the engine's mesh vertex format, and program reuse across equal states.
TEST_F(DrawTest, IndexedBuffersAndProgramCache) {
    SetOrthoIdentity();
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xff336699);
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(4 * sizeof(Lit), 0, kLit, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateIndexBuffer(6 * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr),
              D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    const Lit v[4] = {{-1, 1, 0.5f, 0, 0, -1, 0, 0}, {0, 1, 0.5f, 0, 0, -1, 1, 0}, {-1, 0, 0.5f, 0, 0, -1, 0, 1},
                      {0, 0, 0.5f, 0, 0, -1, 1, 1}};
    std::memcpy(data, v, sizeof v);
    vb->Unlock();
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    const WORD indices[6] = {0, 1, 2, 2, 1, 3};
    std::memcpy(data, indices, sizeof indices);
    ib->Unlock();
    device->SetStreamSource(0, vb, 0, sizeof(Lit));
    device->SetIndices(ib);
    device->SetFVF(kLit);
    Clear(0xff000000);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    const std::size_t programs = GeneratedProgramCount(device);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(GeneratedProgramCount(device), programs);
    auto p = ReadTarget();
    ExpectPixel(p, 10, 10, 0xff336699, 0);  // top-left quarter
    ExpectPixel(p, 40, 40, 0xff000000, 0);
    // A buffer changed after a draw is uploaded again.
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    Lit moved[4];
    std::memcpy(moved, v, sizeof v);
    for (Lit& m : moved) m.x += 1.0f, m.y -= 1.0f;
    std::memcpy(data, moved, sizeof moved);
    vb->Unlock();
    Clear(0xff000000);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    p = ReadTarget();
    ExpectPixel(p, 10, 10, 0xff000000, 0);
    ExpectPixel(p, 40, 40, 0xff336699, 0);
    // Out-of-range draws are refused.
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 5, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 2, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 0x55555556), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(static_cast<D3DPRIMITIVETYPE>(9), 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, 0x80000000u), D3DERR_INVALIDCALL);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    vb->Release();
    ib->Release();
}

}  // namespace
}  // namespace tarn::d3d9::test
