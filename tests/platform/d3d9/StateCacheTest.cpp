// StateCacheTest.cpp: headless drawing on llvmpipe, 64 x 64 frames compared with values computed from the documented
// fixed-function formulas. The GL backend's state cache and uploads: the same pictures with the cache off, no
// redundant GL calls, only changed data sent again.
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

// The same frame with the backend's state cache off (every state applied on every draw) looks the same and
// costs more GL state calls.
TEST_F(DrawTest, StateCacheOffDrawsTheSamePicture) {
    const StateCacheOn cacheOn;
    IDirect3DTexture9* t = MakeTexture(2, 2, {0xffff0000, 0x8000ff00, 0xff0000ff, 0x40ffffff});
    IDirect3DSurface9 *depth = nullptr, *stencil = nullptr, *second = nullptr;
    ASSERT_EQ(
        device->CreateRenderTarget(kSize, kSize, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &second, nullptr),
        D3D_OK);
    ASSERT_EQ(device->GetDepthStencilSurface(&depth), D3D_OK);
    ASSERT_EQ(
        device->CreateDepthStencilSurface(kSize, kSize, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE, &stencil, nullptr),
        D3D_OK);
    // Positions in stream 0, colours in stream 2, and a blended draw (two world matrices, one weight).
    const float positions[4][4] = {{30, 2, 0.5f, 1}, {62, 2, 0.5f, 1}, {30, 30, 0.5f, 1}, {62, 30, 0.5f, 1}};
    const D3DCOLOR colours[4] = {0xff00ffff, 0xffff00ff, 0x80ffff00, 0xff808080};
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
                                          {2, 0, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    IDirect3DVertexBuffer9 *positionBuffer = nullptr, *colourBuffer = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(sizeof positions, 0, 0, D3DPOOL_MANAGED, &positionBuffer, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateVertexBuffer(sizeof colours, 0, 0, D3DPOOL_MANAGED, &colourBuffer, nullptr), D3D_OK);
    void* data = nullptr;
    positionBuffer->Lock(0, 0, &data, 0);
    std::memcpy(data, positions, sizeof positions);
    positionBuffer->Unlock();
    colourBuffer->Lock(0, 0, &data, 0);
    std::memcpy(data, colours, sizeof colours);
    colourBuffer->Unlock();
    struct Blended {
        float x, y, z, weight;
    };
    const Blended blended[3] = {{-0.9f, -0.9f, 0.5f, 0.25f}, {0.0f, -0.2f, 0.5f, 1.0f}, {-0.9f, -0.2f, 0.5f, 0.75f}};
    D3DMATRIX shifted{};
    shifted._11 = shifted._22 = shifted._33 = shifted._44 = 1.0f;
    shifted._41 = 0.3f;
    auto frame = [&] {
        Clear(0xff202020);
        SetOrthoIdentity();
        device->SetTexture(0, t);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetRenderState(D3DRS_WRAP0, D3DWRAP_U);
        TexturedRect(0.75f, 0, 1.25f, 2);
        device->SetRenderState(D3DRS_WRAP0, 0);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetTexture(0, nullptr);
        Rect(10, 10, 50, 40, 0x80ffff00);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        device->SetTexture(0, t);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC);
        device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 4);
        LitQuad(0.9f);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        // Points with sprites, sRGB reads and writes, and two-sided stencil.
        device->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
        device->SetRenderState(D3DRS_POINTSIZE, FloatBits(12.0f));
        device->SetSamplerState(0, D3DSAMP_SRGBTEXTURE, TRUE);
        device->SetRenderState(D3DRS_SRGBWRITEENABLE, TRUE);
        device->SetDepthStencilSurface(stencil);
        device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 3);
        device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
        device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, TRUE);
        device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
        device->SetRenderState(D3DRS_STENCILREF, 3);
        device->SetRenderState(D3DRS_CCW_STENCILFUNC, D3DCMP_NEVER);
        const RhwTex points[2] = {{20, 44, 0.5f, 1, 0, 0}, {44, 44, 0.5f, 1, 0, 0}};
        device->SetFVF(kRhwTex);
        device->DrawPrimitiveUP(D3DPT_POINTLIST, 2, points, sizeof(RhwTex));
        device->SetRenderState(D3DRS_STENCILENABLE, FALSE);
        device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, FALSE);
        device->SetDepthStencilSurface(depth);
        device->SetRenderState(D3DRS_SRGBWRITEENABLE, FALSE);
        device->SetSamplerState(0, D3DSAMP_SRGBTEXTURE, FALSE);
        device->SetRenderState(D3DRS_POINTSPRITEENABLE, FALSE);
        // A second render target: cleared with the first, not drawn into.
        device->SetRenderTarget(1, second);
        const D3DRECT corner{0, 0, 8, 8};
        device->Clear(1, &corner, D3DCLEAR_TARGET, 0xff4080c0, 1.0f, 0);
        Rect(4, 4, 12, 12, 0xffc08040);
        device->SetRenderTarget(1, nullptr);
        device->SetTexture(0, nullptr);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        device->SetVertexDeclaration(declaration);
        device->SetStreamSource(0, positionBuffer, 0, 16);
        device->SetStreamSource(2, colourBuffer, 0, 4);
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        device->SetTransform(D3DTS_WORLDMATRIX(1), &shifted);
        device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetFVF(D3DFVF_XYZB1);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, blended, sizeof(Blended)), D3D_OK);
        device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        auto pixels = ReadTarget();
        const auto more = ReadSurface(second);
        pixels.insert(pixels.end(), more.begin(), more.end());
        return pixels;
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
    depth->Release();
    stencil->Release();
    second->Release();
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetStreamSource(2, nullptr, 0, 0);
    declaration->Release();
    positionBuffer->Release();
    colourBuffer->Release();
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

// After the first upload, only the levels and byte ranges written since are sent to GL again.
TEST_F(DrawTest, OnlyChangedDataIsUploadedAgain) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(4 * sizeof(RhwTex), 0, kRhwTex, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    void* data = nullptr;
    vb->Lock(0, 0, &data, 0);
    const RhwTex v[4] = {
        {0, 0, 0.5f, 1, 0, 0}, {64, 0, 0.5f, 1, 1, 0}, {0, 64, 0.5f, 1, 0, 1}, {64, 64, 0.5f, 1, 1, 1}};
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

// Draws from the same buffer go on reading what the stream state says: another offset into it, and the stream
// again after a user-pointer draw in between.
TEST_F(DrawTest, StreamDrawsFollowTheStreamOffsetAndUserPointerDraws) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(8 * sizeof(RhwColor), 0, kRhwColor, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    const RhwColor quads[8] = {{0, 0, 0.5f, 1, 0xffff0000},   {32, 0, 0.5f, 1, 0xffff0000},  // left, red
                               {0, 64, 0.5f, 1, 0xffff0000},  {32, 64, 0.5f, 1, 0xffff0000},
                               {32, 0, 0.5f, 1, 0xff0000ff},  {64, 0, 0.5f, 1, 0xff0000ff},  // right, blue
                               {32, 64, 0.5f, 1, 0xff0000ff}, {64, 64, 0.5f, 1, 0xff0000ff}};
    std::memcpy(data, quads, sizeof quads);
    vb->Unlock();
    device->SetFVF(kRhwColor);
    Clear(0xff000000);
    device->SetStreamSource(0, vb, 0, sizeof(RhwColor));
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    device->SetStreamSource(0, vb, 4 * sizeof(RhwColor), sizeof(RhwColor));
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    std::vector<std::uint32_t> pixels = ReadTarget();
    ExpectPixel(pixels, 16, 32, 0xffff0000);
    ExpectPixel(pixels, 48, 32, 0xff0000ff);

    Clear(0xff000000);
    Rect(32, 0, 64, 64, 0xff00ff00);  // user pointers, which leave stream 0 unset as documented
    device->SetStreamSource(0, vb, 0, sizeof(RhwColor));
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    pixels = ReadTarget();
    ExpectPixel(pixels, 16, 32, 0xffff0000);
    ExpectPixel(pixels, 48, 32, 0xff00ff00);
    device->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
}

}  // namespace
}  // namespace tarn::d3d9::test
