// TextureStageTest.cpp: headless drawing on llvmpipe, 64 x 64 frames compared with values computed from the
// documented fixed-function formulas. Texture stages: sampling and addressing, stage operations and arguments,
// missing textures, every format through the sampler, texture transforms and coordinate generation.
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
        {D3DTEXF_POINT, D3DTADDRESS_WRAP, 1, 0, 0, 0xffff0000},  // texel (0,0) exactly at the edge
        {D3DTEXF_POINT, D3DTADDRESS_WRAP, 1, 31, 31, 0xffff0000},
        {D3DTEXF_POINT, D3DTADDRESS_WRAP, 1, 32, 0, 0xff00ff00},
        {D3DTEXF_POINT, D3DTADDRESS_WRAP, 1, 0, 32, 0xff0000ff},
        {D3DTEXF_POINT, D3DTADDRESS_WRAP, 2, 16, 0, 0xff00ff00},    // u = 0.5: second texel
        {D3DTEXF_POINT, D3DTADDRESS_WRAP, 2, 32, 0, 0xffff0000},    // u = 1.0 wraps to the first
        {D3DTEXF_POINT, D3DTADDRESS_CLAMP, 2, 48, 0, 0xff00ff00},   // u = 1.5 clamps to the last
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
            ASSERT_EQ(device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                            &targetTexture, nullptr),
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
            ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 100, 162, indices.data(), D3DFMT_INDEX16,
                                                     grid.data(), sizeof(RhwTex)),
                      D3D_OK);
            const auto p = ReadTarget();
            ASSERT_EQ(p.size(), texels.size());
            int wrong = 0, wrongInColumn0 = 0;
            for (std::size_t i = 0; i < p.size(); ++i) {
                if ((p[i] & 0xffffff) == (texels[i] & 0xffffff)) continue;
                wrongInColumn0 += i % width == 0 ? 1 : 0;
                if (wrong++ < 4 || (i % width == 0 && wrongInColumn0 <= 4)) {
                    ADD_FAILURE() << "pixel (" << i % width << ", " << i / width << ") shows " << describe(p[i]);
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
        {"arg1 missing, unread, then stage 1", D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR, false, D3DTOP_MODULATE,
         D3DTA_CURRENT, D3DTA_DIFFUSE, Rgb(0x30 * 0x80 / 65025.0, 0xa0 * 0x40 / 65025.0, 0xc0 * 0x20 / 65025.0)},
        // Any other read of a missing texture is opaque black.
        {"arg2 missing", D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TEXTURE, false, D3DTOP_DISABLE, 0, 0, 0xff000000},
        {"add black", D3DTOP_ADD, D3DTA_DIFFUSE, D3DTA_TEXTURE, false, D3DTOP_DISABLE, 0, 0, diffuse},
        // Stage 1 reading its missing texture as arg1 ends the cascade after stage 0.
        {"stage 1 missing", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_MODULATE, D3DTA_TEXTURE,
         D3DTA_CURRENT, 0xff004000},
        {"stage 0 and 1 present", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, true, D3DTOP_MODULATE, D3DTA_CURRENT,
         D3DTA_DIFFUSE, 0xff004000},
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
        D3DFMT_R8G8B8,       D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8,      D3DFMT_R5G6B5,
        D3DFMT_X1R5G5B5,     D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,      D3DFMT_R3G3B2,
        D3DFMT_A8,           D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4,      D3DFMT_A2B10G10R10,
        D3DFMT_A8B8G8R8,     D3DFMT_X8B8G8R8, D3DFMT_G16R16,        D3DFMT_A2R10G10B10,
        D3DFMT_A16B16G16R16, D3DFMT_L8,       D3DFMT_A8L8,          D3DFMT_A4L4,
        D3DFMT_L16,          D3DFMT_V8U8,     D3DFMT_L6V5U5,        D3DFMT_X8L8V8U8,
        D3DFMT_Q8W8V8U8,     D3DFMT_V16U16,   D3DFMT_A2W10V10U10,   D3DFMT_Q16W16V16U16,
        D3DFMT_CxV8U8,       D3DFMT_UYVY,     D3DFMT_R8G8_B8G8,     D3DFMT_YUY2,
        D3DFMT_G8R8_G8B8,    D3DFMT_R16F,     D3DFMT_G16R16F,       D3DFMT_A16B16G16R16F,
        D3DFMT_R32F,         D3DFMT_G32R32F,  D3DFMT_A32B32G32R32F,
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
    Lit v[4] = {{-1, 1, 0.5f, 0, 0, -1, 0, 0},
                {1, 1, 0.5f, 0, 0, -1, 1, 0},
                {-1, -1, 0.5f, 0, 0, -1, 0, 1},
                {1, -1, 0.5f, 0, 0, -1, 1, 1}};
    device->SetFVF(kLit);
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Lit)), D3D_OK);
    p = ReadTarget();
    ExpectPixel(p, 8, 8, 0xff00ff00, 0);   // u 0.125 + 0.5 -> green
    ExpectPixel(p, 40, 8, 0xffff0000, 0);  // u 0.625 + 0.5 wraps -> red
    device->SetTexture(0, nullptr);
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
    m._11 = 0.5f;  // u' = 0.5 x + 0.5
    m._41 = 0.5f;
    m._22 = -0.5f;  // v' = -0.5 y + 0.5
    m._42 = 0.5f;
    m._34 = 2.0f;  // q = 2 z
    device->SetTransform(D3DTS_TEXTURE0, &m);
    const float z = 0.25f;
    Clear(0xff000000);
    LitQuad(z);
    auto p = ReadTarget();
    auto texel = [&](int px, int py) {
        const double x = px / 32.0 - 1.0, y = 1.0 - py / 32.0;
        const double u = (0.5 * x + 0.5) / (2 * z), v = (-0.5 * y + 0.5) / (2 * z);
        const int tx = std::min(1, static_cast<int>(std::floor(u * 2))),
                  ty = std::min(1, static_cast<int>(std::floor(v * 2)));
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

// SRGBTEXTURE decodes texels from sRGB as the stage reads them: 128 reads as 55 and 188 as 128, alpha as
// stored. Written back through SRGBWRITEENABLE the decoded 128 comes out as 128 again. Sampler 1's state
// leaves stage 0 alone.
TEST_F(DrawTest, SrgbTextureDecodesTexelsToLinear) {
    IDirect3DTexture9* t = MakeTexture(2, 1, {0x80808080, 0x80bcbcbc});
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    struct Case {
        DWORD sampler0, sampler1, write;
        std::uint32_t left, right;
    } cases[] = {
        {FALSE, FALSE, FALSE, 0xff808080, 0xffbcbcbc},
        {TRUE, FALSE, FALSE, 0xff373737, 0xff808080},
        {FALSE, TRUE, FALSE, 0xff808080, 0xffbcbcbc},
        {TRUE, FALSE, TRUE, 0xff808080, 0xffbcbcbc},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sampler0 << c.sampler1 << c.write);
        device->SetSamplerState(0, D3DSAMP_SRGBTEXTURE, c.sampler0);
        device->SetSamplerState(1, D3DSAMP_SRGBTEXTURE, c.sampler1);
        device->SetRenderState(D3DRS_SRGBWRITEENABLE, c.write);
        Clear(0xff000000);
        TexturedRect(0, 0, 1, 1);
        const auto p = ReadTarget();
        ExpectPixel(p, 10, 10, c.left, 1);
        ExpectPixel(p, 50, 10, c.right, 1);
    }
    device->SetRenderState(D3DRS_SRGBWRITEENABLE, FALSE);
    device->SetTexture(0, nullptr);
}

// SetLOD makes a managed texture's level n the most detailed one drawn, with or without a mip filter;
// MAXMIPLEVEL does the same from the sampler, and the less detailed of the two wins. A 4 x 4 texture drawn
// magnified reads level 0 unless told otherwise; each level has a colour of its own.
TEST_F(DrawTest, SetLodAndMaxMipLevelChooseTheMostDetailedLevel) {
    const std::uint32_t colours[3] = {0xffff0000, 0xff00ff00, 0xff0000ff};
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    for (UINT level = 0; level < 3; ++level) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(t->LockRect(level, &locked, nullptr, 0), D3D_OK);
        const UINT size = 4 >> level;
        for (UINT y = 0; y < size; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch);
            std::fill(row, row + size, colours[level]);
        }
        t->UnlockRect(level);
    }
    textures_.push_back(t);
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    struct Case {
        DWORD lod, maxMipLevel, mipFilter;
        DWORD lodAfter;  // what GetLOD answers
        int level;       // the level drawn
    } cases[] = {
        {0, 0, D3DTEXF_POINT, 0, 0}, {1, 0, D3DTEXF_POINT, 1, 1}, {1, 0, D3DTEXF_NONE, 1, 1},
        {7, 0, D3DTEXF_POINT, 2, 2}, {1, 2, D3DTEXF_POINT, 1, 2}, {2, 1, D3DTEXF_LINEAR, 2, 2},
        {0, 1, D3DTEXF_NONE, 0, 1},  {0, 0, D3DTEXF_NONE, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "lod " << c.lod << " max mip level " << c.maxMipLevel);
        t->SetLOD(c.lod);
        EXPECT_EQ(t->GetLOD(), c.lodAfter);
        device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, c.maxMipLevel);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, c.mipFilter);
        Clear(0xff000000);
        TexturedRect(0, 0, 1, 1);
        ExpectPixel(ReadTarget(), 20, 20, colours[c.level], 0);
    }
    // Only managed textures have a level of detail.
    IDirect3DTexture9* video = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 3, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &video, nullptr), D3D_OK);
    EXPECT_EQ(video->SetLOD(2), 0u);
    EXPECT_EQ(video->GetLOD(), 0u);
    video->Release();
    device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 0);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetTexture(0, nullptr);
}

// Anisotropic filtering, where the driver has it: a texture of horizontal stripes two texels high, drawn four
// texels to a pixel across and a quarter of a texel down, stays striped (the footprint is long in u only),
// where isotropic filtering takes the level whose stripes have averaged to grey. MAXANISOTROPY 1 filters
// isotropically. Without the driver's extension the capabilities claim no anisotropic filter.
TEST_F(DrawTest, AnisotropicFilteringKeepsDetailAcrossAnObliqueFootprint) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    constexpr DWORD kAnisotropic = D3DPTFILTERCAPS_MINFANISOTROPIC | D3DPTFILTERCAPS_MAGFANISOTROPIC;
    if (caps.MaxAnisotropy <= 1) {
        EXPECT_EQ(caps.TextureFilterCaps & kAnisotropic, 0u);
        GTEST_SKIP() << "the driver has no anisotropic filtering";
    }
    EXPECT_EQ(caps.TextureFilterCaps & kAnisotropic, kAnisotropic);
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(64, 64, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    for (UINT level = 0; level < t->GetLevelCount(); ++level) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(t->LockRect(level, &locked, nullptr, 0), D3D_OK);
        const UINT size = 64 >> level;
        for (UINT y = 0; y < size; ++y) {
            // Level 0: rows in pairs; level 1: rows alternate; below that the stripes have averaged out.
            const std::uint32_t c = level == 0   ? ((y / 2) % 2 ? 0xff000000 : 0xffffffff)
                                    : level == 1 ? (y % 2 ? 0xff000000 : 0xffffffff)
                                                 : 0xff808080;
            auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch);
            std::fill(row, row + size, c);
        }
        t->UnlockRect(level);
    }
    textures_.push_back(t);
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    struct Case {
        DWORD filter, anisotropy;
        bool striped;
    } cases[] = {{D3DTEXF_LINEAR, 16, false}, {D3DTEXF_ANISOTROPIC, 1, false}, {D3DTEXF_ANISOTROPIC, 16, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "filter " << c.filter << " anisotropy " << c.anisotropy);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, c.filter);
        device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, c.anisotropy);
        Clear(0xff000000);
        TexturedRect(0, 0, 4, 0.25f);
        const auto p = ReadTarget();
        int lowest = 255, highest = 0;
        for (int y = 8; y < 56; ++y) {
            const int g = Channel(p[static_cast<std::size_t>(y) * kSize + 32], 8);
            lowest = std::min(lowest, g), highest = std::max(highest, g);
        }
        if (c.striped) {
            EXPECT_GT(highest - lowest, 160) << lowest << " to " << highest;
        } else {
            EXPECT_LT(highest - lowest, 80) << lowest << " to " << highest;
        }
    }
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 1);
    device->SetTexture(0, nullptr);
}

// WRAPn wraps coordinate set n cylindrically: between vertices a wrapped coordinate goes the shorter way round.
// Across the target u runs from 0.875 (white texel) to 0.125 (red): directly it passes through blue and green,
// wrapped through 1.0 it stays in white and red. Stages take the wrap of the set they name (TEXCOORDINDEX), and
// WRAP_V leaves u alone. Triangles, lines and fill modes all wrap.
TEST_F(DrawTest, WrapTakesTheShorterWayBetweenVertices) {
    IDirect3DTexture9* t = MakeTexture(4, 1, {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff});
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    struct Vertex {
        float x, y, z, rhw;
        float u0, v0, u1, v1;
    };
    const Vertex quad[4] = {{0, 0, 0.5f, 1, 0.875f, 0, 0.875f, 0},
                            {64, 0, 0.5f, 1, 0.125f, 0, 0.125f, 0},
                            {0, 64, 0.5f, 1, 0.875f, 0, 0.875f, 0},
                            {64, 64, 0.5f, 1, 0.125f, 0, 0.125f, 0}};
    const Vertex line[2] = {{0, 40, 0.5f, 1, 0.875f, 0, 0.875f, 0}, {64, 40, 0.5f, 1, 0.125f, 0, 0.125f, 0}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX2);
    const D3DCOLOR kBlue = 0xff0000ff, kGreen = 0xff00ff00, kWhite = 0xffffffff, kRed = 0xffff0000;
    struct Case {
        const char* name;
        DWORD wrap0, wrap1, coordinateSet;
        D3DCOLOR quarter, threeQuarters;  // at x = 16 and x = 48
    } cases[] = {
        {"no wrap", 0, 0, 0, kBlue, kGreen},
        {"wrap u", D3DWRAP_U, 0, 0, kWhite, kRed},
        {"wrap v only", D3DWRAP_V, 0, 0, kBlue, kGreen},
        {"wrap of another set", D3DWRAP_U, 0, 1, kBlue, kGreen},
        {"wrap of the named set", 0, D3DWRAPCOORD_0 | D3DWRAPCOORD_3, 1, kWhite, kRed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->SetRenderState(D3DRS_WRAP0, c.wrap0);
        device->SetRenderState(D3DRS_WRAP1, c.wrap1);
        device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, c.coordinateSet);
        Clear(0xff000000);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
        auto p = ReadTarget();
        ExpectPixel(p, 16, 10, c.quarter, 0);
        ExpectPixel(p, 48, 10, c.threeQuarters, 0);
        Clear(0xff000000);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(Vertex)), D3D_OK);
        p = ReadTarget();
        ExpectPixel(p, 16, 40, c.quarter, 0);
        ExpectPixel(p, 48, 40, c.threeQuarters, 0);
    }
    device->SetRenderState(D3DRS_WRAP0, 0);
    device->SetRenderState(D3DRS_WRAP1, 0);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    device->SetTexture(0, nullptr);
}

// Bump mapping: a BUMPENVMAP stage moves the next stage's coordinates by its matrix times the map's (du, dv),
// u += M00 du + M10 dv and v += M01 du + M11 dv, and passes the current colour on; BUMPENVMAPLUMINANCE also
// scales the next stage's texel by clamp(L * LSCALE + LOFFSET, 0, 1). The next stage's 4 x 4 texture tells
// column by red and row by green; at pixel (4, 4) u = v = 1/16, and (du, dv) = (0.25, 0.5) with the matrix
// (1, -1; 0.5, 0.5) moves u by 0.5 (column 2) and v by nothing (row 0). The transposed matrix would give
// column 3, row 1.
TEST_F(DrawTest, BumpEnvironmentMappingPerturbsTheNextStage) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_NE(caps.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAP, 0u);
    EXPECT_NE(caps.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAPLUMINANCE, 0u);
    std::vector<std::uint32_t> texels;
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x) texels.push_back(0xff0000ffu | (x * 80) << 16 | (y * 80) << 8);
    IDirect3DTexture9* environment = MakeTexture(4, 4, texels);
    auto bumpMap = [&](D3DFORMAT format, std::uint32_t texel) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(1, 1, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
        std::memcpy(locked.pBits, &texel, format == D3DFMT_V8U8 ? 2 : 4);
        t->UnlockRect(0);
        return t;
    };
    IDirect3DTexture9* v8u8 = bumpMap(D3DFMT_V8U8, 0x4020);              // du 32/127, dv 64/127
    IDirect3DTexture9* x8l8v8u8 = bumpMap(D3DFMT_X8L8V8U8, 0x00804020);  // and L 128/255
    const float matrix[4] = {1.0f, -1.0f, 0.5f, 0.5f};                   // M00, M01, M10, M11
    for (int i = 0; i < 4; ++i) {
        device->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(D3DTSS_BUMPENVMAT00 + i),
                                     FloatBits(matrix[i]));
    }
    device->SetTextureStageState(0, D3DTSS_BUMPENVLSCALE, FloatBits(1.5f));
    device->SetTextureStageState(0, D3DTSS_BUMPENVLOFFSET, FloatBits(-0.25f));
    device->SetTexture(1, environment);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    const double luminance = 128 / 255.0 * 1.5 - 0.25;
    struct Case {
        const char* name;
        DWORD op;
        IDirect3DTexture9* map;
        std::uint32_t expected;
    } cases[] = {
        {"no bump", D3DTOP_SELECTARG2, v8u8, 0xff0000ff},
        {"bump", D3DTOP_BUMPENVMAP, v8u8, 0xffa000ff},
        {"bump with luminance", D3DTOP_BUMPENVMAPLUMINANCE, x8l8v8u8, Rgb(160 / 255.0 * luminance, 0, luminance)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->SetTexture(0, c.map);
        device->SetTextureStageState(0, D3DTSS_COLOROP, c.op);
        Clear(0xff000000);
        TexturedRect(0, 0, 1, 1);
        ExpectPixel(ReadTarget(), 4, 4, c.expected, 2);
    }
    // The bump stage hands the current colour on: with no stage after it the diffuse colour is drawn.
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    Rect(0, 0, 64, 64, 0xff336699);
    ExpectPixel(ReadTarget(), 30, 30, 0xff336699, 1);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    v8u8->Release();
    x8l8v8u8->Release();
}

// ValidateDevice answers the documented code for the first state the capabilities exclude, and one pass
// otherwise; anisotropic filtering is valid exactly where the capabilities claim it (not on the null backend).
void ExpectValidation(IDirect3DDevice9* device) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    const bool anisotropic = (caps.TextureFilterCaps & D3DPTFILTERCAPS_MINFANISOTROPIC) != 0;
    IDirect3DTexture9 *t = nullptr, *half = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A16B16G16R16F, D3DPOOL_MANAGED, &half, nullptr), D3D_OK);
    IDirect3DSurface9 *floatTarget = nullptr, *back = nullptr;
    ASSERT_EQ(
        device->CreateRenderTarget(8, 8, D3DFMT_A16B16G16R16F, D3DMULTISAMPLE_NONE, 0, FALSE, &floatTarget, nullptr),
        D3D_OK);
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    struct Setting {
        enum Kind { Stage, Sampler, Render, Texture, Target } kind;
        DWORD index, state, value;
    };
    struct Case {
        const char* name;
        std::vector<Setting> settings;
        HRESULT expected;
    } cases[] = {
        {"defaults", {}, D3D_OK},
        {"bump mapping", {{Setting::Stage, 0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP}}, D3D_OK},
        {"premodulate", {{Setting::Stage, 0, D3DTSS_COLOROP, D3DTOP_PREMODULATE}}, D3DERR_UNSUPPORTEDCOLOROPERATION},
        {"no such operation", {{Setting::Stage, 0, D3DTSS_COLOROP, 27}}, D3DERR_UNSUPPORTEDCOLOROPERATION},
        {"premodulate in a later stage",
         {{Setting::Stage, 1, D3DTSS_COLOROP, D3DTOP_MODULATE},
          {Setting::Stage, 2, D3DTSS_COLOROP, D3DTOP_PREMODULATE}},
         D3DERR_UNSUPPORTEDCOLOROPERATION},
        {"after a disabled stage",
         {{Setting::Stage, 1, D3DTSS_COLOROP, D3DTOP_DISABLE}, {Setting::Stage, 2, D3DTSS_COLOROP, D3DTOP_PREMODULATE}},
         D3D_OK},
        {"bump mapping for alpha",
         {{Setting::Stage, 0, D3DTSS_ALPHAOP, D3DTOP_BUMPENVMAP}},
         D3DERR_UNSUPPORTEDALPHAOPERATION},
        {"colour argument", {{Setting::Stage, 0, D3DTSS_COLORARG2, 7}}, D3DERR_UNSUPPORTEDCOLORARG},
        {"unread colour argument",
         {{Setting::Stage, 0, D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {Setting::Stage, 0, D3DTSS_COLORARG2, 7}},
         D3D_OK},
        {"constant argument", {{Setting::Stage, 0, D3DTSS_COLORARG2, D3DTA_CONSTANT | D3DTA_COMPLEMENT}}, D3D_OK},
        {"alpha argument", {{Setting::Stage, 0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE | 0x40}}, D3DERR_UNSUPPORTEDALPHAARG},
        {"result argument", {{Setting::Stage, 0, D3DTSS_RESULTARG, D3DTA_TEXTURE}}, D3DERR_UNSUPPORTEDCOLORARG},
        {"anisotropic",
         {{Setting::Texture, 0, 0, 0}, {Setting::Sampler, 0, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC}},
         anisotropic ? D3D_OK : D3DERR_UNSUPPORTEDTEXTUREFILTER},
        {"pyramidal",
         {{Setting::Texture, 0, 0, 0}, {Setting::Sampler, 0, D3DSAMP_MAGFILTER, D3DTEXF_PYRAMIDALQUAD}},
         D3DERR_UNSUPPORTEDTEXTUREFILTER},
        {"anisotropic mip filter",
         {{Setting::Texture, 0, 0, 0}, {Setting::Sampler, 0, D3DSAMP_MIPFILTER, D3DTEXF_ANISOTROPIC}},
         D3DERR_UNSUPPORTEDTEXTUREFILTER},
        {"filters of a stage without texture",
         {{Setting::Sampler, 0, D3DSAMP_MAGFILTER, D3DTEXF_GAUSSIANQUAD}},
         D3D_OK},
        {"sRGB texture", {{Setting::Texture, 0, 0, 0}, {Setting::Sampler, 0, D3DSAMP_SRGBTEXTURE, TRUE}}, D3D_OK},
        {"sRGB float texture",
         {{Setting::Texture, 0, 0, 1}, {Setting::Sampler, 0, D3DSAMP_SRGBTEXTURE, TRUE}},
         D3DERR_WRONGTEXTUREFORMAT},
        {"sRGB write", {{Setting::Render, 0, D3DRS_SRGBWRITEENABLE, TRUE}}, D3D_OK},
        {"sRGB write to a float target",
         {{Setting::Target, 0, 0, 0}, {Setting::Render, 0, D3DRS_SRGBWRITEENABLE, TRUE}},
         D3DERR_CONFLICTINGRENDERSTATE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IDirect3DStateBlock9* saved = nullptr;
        ASSERT_EQ(device->CreateStateBlock(D3DSBT_ALL, &saved), D3D_OK);
        for (const Setting& s : c.settings) {
            switch (s.kind) {
            case Setting::Stage:
                device->SetTextureStageState(s.index, static_cast<D3DTEXTURESTAGESTATETYPE>(s.state), s.value);
                break;
            case Setting::Sampler:
                device->SetSamplerState(s.index, static_cast<D3DSAMPLERSTATETYPE>(s.state), s.value);
                break;
            case Setting::Render:
                device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(s.state), s.value);
                break;
            case Setting::Texture:
                device->SetTexture(s.index, s.value ? half : t);
                break;
            case Setting::Target:
                device->SetRenderTarget(0, floatTarget);
                break;
            }
        }
        DWORD passes = 0;
        EXPECT_EQ(device->ValidateDevice(&passes), c.expected);
        if (c.expected == D3D_OK) {
            EXPECT_EQ(passes, 1u);
        }
        ASSERT_EQ(saved->Apply(), D3D_OK);
        saved->Release();
        device->SetRenderTarget(0, back);
    }
    EXPECT_EQ(device->ValidateDevice(nullptr), D3DERR_INVALIDCALL);
    device->SetTexture(0, nullptr);
    back->Release();
    floatTarget->Release();
    half->Release();
    t->Release();
}

TEST_F(DeviceTest, ValidateDeviceAnswersWhatTheCapabilitiesExclude) { ExpectValidation(device); }
TEST_F(GlDeviceTest, ValidateDeviceAnswersWhatTheCapabilitiesExclude) { ExpectValidation(device); }

// A D3DTA_CONSTANT argument reads the stage's own D3DTSS_CONSTANT (PERSTAGECONSTANT).
TEST_F(DrawTest, PerStageConstantArgument) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_NE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_PERSTAGECONSTANT, 0u);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_CONSTANT);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_CONSTANT, 0xff8040c0);
    device->SetTextureStageState(1, D3DTSS_CONSTANT, 0xff00ff00);
    Clear(0xff000000);
    Rect(0, 0, 64, 64, 0xff80ff80);
    ExpectPixel(ReadTarget(), 30, 30, Rgb(0x80 / 255.0 * 0x80 / 255.0, 0x40 / 255.0, 0xc0 / 255.0 * 0x80 / 255.0), 1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
}

// Sphere-map coordinates (TCI_SPHEREMAP) from the camera-space reflection vector R, m = 2 |R - (0, 0, 1)|,
// u = R.x / m + 0.5, v = 0.5 - R.y / m: for a viewer looking along +z that is (N.x / 2 + 0.5, 0.5 - N.y / 2)
// of the unit normal. Texture columns show in red, rows in green; GL's sphere map (m from R + (0, 0, 1)) would
// give column 3 in the second case.
TEST_F(DrawTest, SphereMapCoordinatesFollowTheReflection) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_NE(caps.VertexProcessingCaps & D3DVTXPCAPS_TEXGEN_SPHEREMAP, 0u);
    SetOrthoIdentity();
    std::vector<std::uint32_t> texels;
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x) texels.push_back(0xff000000u | (x * 80) << 16 | (y * 80) << 8);
    device->SetTexture(0, MakeTexture(4, 4, texels));
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_SPHEREMAP);
    device->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    struct Case {
        float nx, ny;
        UINT column, row;
    } cases[] = {{0.28f, 0.6f, 2, 0}, {0.28f, -0.1f, 2, 2}, {-0.6f, -0.6f, 0, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nx << ", " << c.ny);
        const float nz = -std::sqrt(1.0f - c.nx * c.nx - c.ny * c.ny);
        const Lit v[4] = {{-1, 1, 0.5f, c.nx, c.ny, nz, 0, 0},
                          {1, 1, 0.5f, c.nx, c.ny, nz, 0, 0},
                          {-1, -1, 0.5f, c.nx, c.ny, nz, 0, 0},
                          {1, -1, 0.5f, c.nx, c.ny, nz, 0, 0}};
        Clear(0xff000000);
        device->SetFVF(kLit);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Lit)), D3D_OK);
        ExpectPixel(ReadTarget(), 30, 30, 0xff000000u | (c.column * 80) << 16 | (c.row * 80) << 8, 0);
    }
    device->SetRenderState(D3DRS_LOCALVIEWER, TRUE);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    device->SetTexture(0, nullptr);
}

}  // namespace
}  // namespace tarn::d3d9::test
