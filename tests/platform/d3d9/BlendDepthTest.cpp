// BlendDepthTest.cpp: headless drawing on llvmpipe, 64 x 64 frames compared with values computed from the documented
// fixed-function formulas. Alpha test, blending (with targets without alpha), depth test, depth writes, culling and
// depth bias.
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
        {D3DCMP_NEVER, false, false, false},      {D3DCMP_LESS, true, false, false},
        {D3DCMP_EQUAL, false, true, false},       {D3DCMP_LESSEQUAL, true, true, false},
        {D3DCMP_GREATER, false, false, true},     {D3DCMP_NOTEQUAL, true, false, true},
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
    } cases[] = {{D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
                 {D3DBLEND_SRCALPHA, D3DBLEND_ONE},
                 {D3DBLEND_ONE, D3DBLEND_ZERO},
                 {D3DBLEND_ONE, D3DBLEND_ONE},
                 {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR},
                 {D3DBLEND_DESTCOLOR, D3DBLEND_ZERO},
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
                case D3DBLEND_ZERO:
                    return 0.0;
                case D3DBLEND_ONE:
                    return 1.0;
                case D3DBLEND_SRCALPHA:
                    return a;
                case D3DBLEND_INVSRCALPHA:
                    return 1 - a;
                case D3DBLEND_SRCCOLOR:
                    return sv;
                case D3DBLEND_DESTCOLOR:
                    return dv;
                case D3DBLEND_INVDESTCOLOR:
                    return 1 - dv;
                default:
                    return isSource ? 1.0 : 0.0;
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
            ASSERT_EQ(device->CreateTexture(kSize, kSize, 1, D3DUSAGE_RENDERTARGET, c.format, D3DPOOL_DEFAULT, &texture,
                                            nullptr),
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
    const RhwColor clockwise[3] = {
        {0, 0, 0.5f, 1, 0xffffffff}, {64, 0, 0.5f, 1, 0xffffffff}, {0, 64, 0.5f, 1, 0xffffffff}};
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

// Two-sided stencil: counter-clockwise triangles take the CCW function and operations, clockwise ones the usual
// set; with the mode off both take the usual set. Left half clockwise, right half counter-clockwise, stencil
// cleared to 5 and read back by drawing where it equals 6 (green) and 4 (blue).
TEST_F(DrawTest, TwoSidedStencilTakesTheCcwSetForCounterClockwiseFaces) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_NE(caps.StencilCaps & D3DSTENCILCAPS_TWOSIDED, 0u);
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(
        device->CreateDepthStencilSurface(kSize, kSize, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE, &depth, nullptr),
        D3D_OK);
    ASSERT_EQ(device->SetDepthStencilSurface(depth), D3D_OK);
    const D3DCOLOR kGreen = 0xff00ff00, kBlue = 0xff0000ff, kBlack = 0xff000000;
    struct Case {
        const char* name;
        BOOL twoSided;
        DWORD ccwFunc, ccwFail, ccwPass;
        D3DCOLOR left, right;
    } cases[] = {
        {"ccw decrements", TRUE, D3DCMP_ALWAYS, D3DSTENCILOP_KEEP, D3DSTENCILOP_DECRSAT, kGreen, kBlue},
        {"ccw function fails", TRUE, D3DCMP_NEVER, D3DSTENCILOP_DECR, D3DSTENCILOP_INCRSAT, kGreen, kBlue},
        {"ccw keeps", TRUE, D3DCMP_ALWAYS, D3DSTENCILOP_DECR, D3DSTENCILOP_KEEP, kGreen, kBlack},
        {"one-sided", FALSE, D3DCMP_ALWAYS, D3DSTENCILOP_KEEP, D3DSTENCILOP_DECRSAT, kGreen, kGreen},
    };
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    const RhwColor ccw[4] = {
        {32, 0, 0.5f, 1, kBlack}, {32, 64, 0.5f, 1, kBlack}, {64, 0, 0.5f, 1, kBlack}, {64, 64, 0.5f, 1, kBlack}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_STENCIL, kBlack, 1.0f, 5);
        device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, c.twoSided);
        device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
        device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCRSAT);
        device->SetRenderState(D3DRS_CCW_STENCILFUNC, c.ccwFunc);
        device->SetRenderState(D3DRS_CCW_STENCILFAIL, c.ccwFail);
        device->SetRenderState(D3DRS_CCW_STENCILPASS, c.ccwPass);
        device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
        Rect(0, 0, 32, 64, kBlack);  // clockwise
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, ccw, sizeof(RhwColor)), D3D_OK);
        device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xf);
        device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, FALSE);
        device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
        device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
        device->SetRenderState(D3DRS_STENCILREF, 6);
        Rect(0, 0, 64, 64, kGreen);
        device->SetRenderState(D3DRS_STENCILREF, 4);
        Rect(0, 0, 64, 64, kBlue);
        const auto p = ReadTarget();
        ExpectPixel(p, 16, 32, c.left, 0);
        ExpectPixel(p, 48, 32, c.right, 0);
    }
    device->SetRenderState(D3DRS_STENCILENABLE, FALSE);
    device->SetDepthStencilSurface(nullptr);
    depth->Release();
}

// SRGBWRITEENABLE encodes the colour as sRGB before blending (the device does not claim POSTBLENDSRGBCONVERT):
// 0.5 becomes 188 and 0.25 137; added onto 64 with ONE/ONE blending, 137 + 64 = 201, where a conversion after
// the blend would give 255 * srgb(0.25 + linear(64 / 255)) = 167.
TEST_F(DrawTest, SrgbWriteEncodesBeforeBlending) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.PrimitiveMiscCaps & D3DPMISCCAPS_POSTBLENDSRGBCONVERT, 0u);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_SRGBWRITEENABLE, TRUE);
    Clear(0xff404040);
    Rect(0, 0, 32, 64, 0xff804000);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    Rect(32, 0, 64, 64, 0xff400000);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_SRGBWRITEENABLE, FALSE);
    Rect(0, 32, 64, 64, 0xff804000);  // off again: written as given
    const auto p = ReadTarget();
    ExpectPixel(p, 16, 16, 0xffbc8900, 1);
    ExpectPixel(p, 48, 16, 0xffc94040, 1);
    ExpectPixel(p, 16, 48, 0xff804000, 0);
}

// DEPTHBIAS is in depth units (0..1), so the same bias is a number of steps of whichever depth buffer is
// bound: a quad drawn `behind` steps behind another comes in front with a bias of -10 steps when behind is 5,
// not 20.
// SLOPESCALEDEPTHBIAS scales the quad's largest depth slope per pixel.
TEST_F(DrawTest, DepthBiasCountsStepsOfTheBoundDepthBuffer) {
    IDirect3DSurface9* d24 = nullptr;
    ASSERT_EQ(
        device->CreateDepthStencilSurface(kSize, kSize, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE, &d24, nullptr),
        D3D_OK);
    IDirect3DSurface9* d16 = nullptr;
    ASSERT_EQ(device->GetDepthStencilSurface(&d16), D3D_OK);
    struct Case {
        IDirect3DSurface9* depth;
        double step;
        double behind, bias;  // in steps
        bool visible;
    } cases[] = {
        {d16, 1 / 65535.0, 5, 10, true},          {d16, 1 / 65535.0, 20, 10, false},
        {d24, 1 / 16777215.0, 5, 10, true},       {d24, 1 / 16777215.0, 20, 10, false},
        {d16, 1 / 65535.0, 0, 10.0 / 256, false},  // a tenth of a D24 step's worth of D16: no effect
    };
    const float z = 0.25f;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.depth == d16 ? "D16" : "D24S8") << " behind " << c.behind << " bias "
                                        << c.bias);
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
        const RhwColor v[4] = {{0, 0, 0.2f + shift, 1, color},
                               {64, 0, 0.6f + shift, 1, color},
                               {0, 64, 0.2f + shift, 1, color},
                               {64, 64, 0.6f + shift, 1, color}};
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

}  // namespace
}  // namespace tarn::d3d9::test
