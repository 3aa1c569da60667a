// FogTest.cpp: headless drawing on llvmpipe, 64 x 64 frames compared with values computed from the documented fixed-
// function formulas. Fog: vertex and table fog, linear and exponential, by w or by depth.
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
        {D3DFOG_LINEAR, 0.5f, 1.5f, 0, 1.0},
        {D3DFOG_LINEAR, 0.0f, 1.0f, 0, 0.5},
        {D3DFOG_LINEAR, -1.0f, 0.5f, 0, 0.0},
        {D3DFOG_EXP, 0, 0, 2.0f, std::exp(-1.0)},
        {D3DFOG_EXP, 0, 0, 0.0f, 1.0},
        {D3DFOG_EXP2, 0, 0, 2.0f, std::exp(-1.0)},
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

}  // namespace
}  // namespace tarn::d3d9::test
