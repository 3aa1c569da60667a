// LightingTest.cpp: headless drawing on llvmpipe, 64 x 64 frames compared with values computed from the documented
// fixed-function formulas. Lighting: light types, attenuation, material sources and specular highlights.
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
        {"point, quadratic attenuation", D3DLIGHT_POINT, 100, 0.5f, 0, 0.25f, 0, 0, 0, cosine / (0.5 + 0.25 * d * d)},
        {"point, out of range", D3DLIGHT_POINT, static_cast<float>(d) - 0.1f, 1, 0, 0, 0, 0, 0, 0.0},
        {"spot, inside the cone", D3DLIGHT_SPOT, 100, 1, 0, 0, static_cast<float>(100 * pi / 180),
         static_cast<float>(120 * pi / 180), 1, cosine},
        {"spot, outside", D3DLIGHT_SPOT, 100, 1, 0, 0, static_cast<float>(20 * pi / 180),
         static_cast<float>(60 * pi / 180), 1, 0.0},
        {"spot, penumbra", D3DLIGHT_SPOT, 100, 1, 0, 0, static_cast<float>(60 * pi / 180),
         static_cast<float>(120 * pi / 180), 2,
         cosine *
             std::pow((spotRho - std::cos(60 * pi / 180)) / (std::cos(30 * pi / 180) - std::cos(60 * pi / 180)), 2.0)},
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
    const Vertex v[4] = {{-1, 1, 0.5f, 0, 0, -1, vd, vs},
                         {1, 1, 0.5f, 0, 0, -1, vd, vs},
                         {-1, -1, 0.5f, 0, 0, -1, vd, vs},
                         {1, -1, 0.5f, 0, 0, -1, vd, vs}};
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

}  // namespace
}  // namespace tarn::d3d9::test
