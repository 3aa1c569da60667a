// DrawGeometryTest.cpp: headless drawing on llvmpipe, 64 x 64 frames compared with values computed from the
// documented fixed-function formulas. Rasterisation rules, clears, vertex formats, primitives from buffers and user
// clip planes.
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
    const RhwTex v[4] = {
        {-0.5f, -0.5f, 0.5f, 1, 0, 0}, {e, -0.5f, 0.5f, 1, 1, 0}, {-0.5f, e, 0.5f, 1, 0, 1}, {e, e, 0.5f, 1, 1, 1}};
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
                    bytes.insert(bytes.end(), static_cast<const std::uint8_t*>(p),
                                 static_cast<const std::uint8_t*>(p) + n);
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
                ASSERT_EQ(
                    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, bytes.data(), static_cast<UINT>(bytes.size() / 4)),
                    D3D_OK);
                // Without a texture, stage 0 (arg1 = texture) is skipped and the diffuse colour shows.
                const double r =
                    (texCount ? 0.0 : (hasDiffuse ? 0x80 / 255.0 : 1.0)) + (hasSpecular ? 0x20 / 255.0 : 0);
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

// Strips and fans from a vertex buffer with DrawPrimitive.
TEST_F(DrawTest, StripAndFanFromBuffers) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(
        device->CreateVertexBuffer(6 * sizeof(RhwColor), D3DUSAGE_WRITEONLY, kRhwColor, D3DPOOL_DEFAULT, &vb, nullptr),
        D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
    // Vertex 0 is padding; a fan around the centre of the left half from vertex 1.
    const RhwColor v[6] = {{0, 0, 0.5f, 1, 0},           {16, 32, 0.5f, 1, 0xff00ffff}, {0, 0, 0.5f, 1, 0xff00ffff},
                           {32, 0, 0.5f, 1, 0xff00ffff}, {32, 64, 0.5f, 1, 0xff00ffff}, {0, 64, 0.5f, 1, 0xff00ffff}};
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
    const Lit v[4] = {{-1, 1, 0.5f, 0, 0, -1, 0, 0},
                      {0, 1, 0.5f, 0, 0, -1, 1, 0},
                      {-1, 0, 0.5f, 0, 0, -1, 0, 1},
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

// Lit pixels of row y and column x of a frame (points drawn white on black).
int LitInRow(const std::vector<std::uint32_t>& p, int y) {
    int n = 0;
    for (int x = 0; x < 64; ++x) n += (p[static_cast<std::size_t>(y) * 64 + x] & 0xff) > 0x80 ? 1 : 0;
    return n;
}
int LitInColumn(const std::vector<std::uint32_t>& p, int x) {
    int n = 0;
    for (int y = 0; y < 64; ++y) n += (p[static_cast<std::size_t>(y) * 64 + x] & 0xff) > 0x80 ? 1 : 0;
    return n;
}

// Point size: POINTSIZE as pixels, or scaled by distance as documented,
// viewport height * size * sqrt(1 / (A + B De + C De^2)) with De the camera-space distance, then clamped to
// POINTSIZE_MIN and POINTSIZE_MAX. The point sits at camera (3, 0, 4), De = 5 (its z is 4), in a 64 x 40
// viewport; A, B and C all count, so using z, the viewport width or no square root gives another size.
TEST_F(DrawTest, PointSizeScalesWithCameraDistance) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    ASSERT_GE(caps.MaxPointSize, 32.0f);
    EXPECT_NE(caps.FVFCaps & D3DFVFCAPS_PSIZE, 0u);
    D3DMATRIX identity{}, projection{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    projection._11 = projection._22 = 0.5f;  // x / z and y / z halved: the point lands at x = 44, y = 20
    projection._33 = 0.1f;
    projection._34 = 1.0f;
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    D3DVIEWPORT9 vp{0, 0, 64, 40, 0.0f, 1.0f};
    device->SetViewport(&vp);
    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
    } point{3.0f, 0.0f, 4.0f, 0xffffffff};
    const double scaled = 40 * 0.5 * std::sqrt(1 / (0.1 + 0.1 * 5 + 0.06 * 25));  // 13.8
    struct Case {
        const char* name;
        BOOL scale;
        float size, minimum, maximum;
        double expected;
    } cases[] = {
        {"pixels", FALSE, 6.0f, 1.0f, 64.0f, 6.0},
        {"scaled", TRUE, 0.5f, 1.0f, 64.0f, scaled},
        {"scaled, raised to the minimum", TRUE, 0.5f, 18.0f, 64.0f, 18.0},
        {"scaled, cut to the maximum", TRUE, 0.5f, 1.0f, 9.0f, 9.0},
    };
    device->SetRenderState(D3DRS_POINTSCALE_A, FloatBits(0.1f));
    device->SetRenderState(D3DRS_POINTSCALE_B, FloatBits(0.1f));
    device->SetRenderState(D3DRS_POINTSCALE_C, FloatBits(0.06f));
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->SetRenderState(D3DRS_POINTSCALEENABLE, c.scale);
        device->SetRenderState(D3DRS_POINTSIZE, FloatBits(c.size));
        device->SetRenderState(D3DRS_POINTSIZE_MIN, FloatBits(c.minimum));
        device->SetRenderState(D3DRS_POINTSIZE_MAX, FloatBits(c.maximum));
        Clear(0xff000000);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof point), D3D_OK);
        const auto p = ReadTarget();
        EXPECT_NEAR(LitInRow(p, 20), c.expected, 1.0);
        EXPECT_NEAR(LitInColumn(p, 44), c.expected, 1.0);
    }
    device->SetRenderState(D3DRS_POINTSCALEENABLE, FALSE);
    device->SetRenderState(D3DRS_POINTSIZE, FloatBits(1.0f));
    device->SetRenderState(D3DRS_POINTSIZE_MIN, FloatBits(1.0f));
    device->SetRenderState(D3DRS_POINTSIZE_MAX, FloatBits(64.0f));
}

// A vertex's own size (D3DFVF_PSIZE) stands in for POINTSIZE; pre-transformed points are not scaled. The
// sizes are read from the vertices, the colours after them.
TEST_F(DrawTest, PerVertexPointSizeOfPreTransformedPoints) {
    struct Vertex {
        float x, y, z, rhw, size;
        D3DCOLOR color;
    } points[2] = {{16, 16, 0.5f, 1, 10.0f, 0xffffffff}, {48, 48, 0.5f, 1, 4.0f, 0xffffffff}};
    device->SetRenderState(D3DRS_POINTSIZE, FloatBits(20.0f));
    device->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_PSIZE | D3DFVF_DIFFUSE);
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_POINTLIST, 2, points, sizeof(Vertex)), D3D_OK);
    auto p = ReadTarget();
    EXPECT_NEAR(LitInRow(p, 16), 10, 1);
    EXPECT_NEAR(LitInColumn(p, 16), 10, 1);
    EXPECT_NEAR(LitInRow(p, 48), 4, 1);
    // Without a size of their own they take POINTSIZE, and triangles are not affected by it.
    device->SetRenderState(D3DRS_POINTSCALEENABLE, FALSE);
    device->SetRenderState(D3DRS_POINTSIZE, FloatBits(1.0f));
}

// POINTSPRITEENABLE spreads the texture across each point: u from 0 to 1 left to right, v top to bottom.
// Without it every pixel of the point takes the vertex's coordinates.
TEST_F(DrawTest, PointSpritesSpanTheWholeTexture) {
    IDirect3DTexture9* t = MakeTexture(2, 2, {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff});
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    struct Vertex {
        float x, y, z, rhw;
        float u, v;
    } point{32, 32, 0.5f, 1, 0.75f, 0.25f};
    device->SetFVF(kRhwTex);
    device->SetRenderState(D3DRS_POINTSIZE, FloatBits(16.0f));
    for (BOOL sprite : {TRUE, FALSE}) {
        SCOPED_TRACE(sprite);
        device->SetRenderState(D3DRS_POINTSPRITEENABLE, sprite);
        Clear(0xff000000);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof point), D3D_OK);
        const auto p = ReadTarget();
        ExpectPixel(p, 27, 27, sprite ? 0xffff0000 : 0xff00ff00, 0);
        ExpectPixel(p, 36, 27, 0xff00ff00, 0);
        ExpectPixel(p, 27, 36, sprite ? 0xff0000ff : 0xff00ff00, 0);
        ExpectPixel(p, 36, 36, sprite ? 0xffffffff : 0xff00ff00, 0);
        ExpectPixel(p, 20, 32, 0xff000000, 0);
        ExpectPixel(p, 43, 32, 0xff000000, 0);
    }
    // Triangles drawn with sprites on read their own coordinates.
    TexturedRect(0, 0, 1, 1);
    ExpectPixel(ReadTarget(), 10, 50, 0xff0000ff, 0);
    device->SetRenderState(D3DRS_POINTSPRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_POINTSIZE, FloatBits(1.0f));
    device->SetTexture(0, nullptr);
}

// In the point fill mode a triangle's vertices are drawn as points of POINTSIZE.
TEST_F(DrawTest, PointFillModeDrawsVerticesWithThePointSize) {
    const RhwColor triangle[3] = {
        {16, 16, 0.5f, 1, 0xffffffff}, {48, 16, 0.5f, 1, 0xffffffff}, {16, 48, 0.5f, 1, 0xffffffff}};
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_POINT);
    device->SetRenderState(D3DRS_POINTSIZE, FloatBits(6.0f));
    device->SetFVF(kRhwColor);
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(RhwColor)), D3D_OK);
    const auto p = ReadTarget();
    EXPECT_NEAR(LitInRow(p, 16), 12, 1);
    EXPECT_NEAR(LitInColumn(p, 16), 12, 1);
    EXPECT_EQ(LitInRow(p, 30), 0);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->SetRenderState(D3DRS_POINTSIZE, FloatBits(1.0f));
}

}  // namespace
}  // namespace tarn::d3d9::test
