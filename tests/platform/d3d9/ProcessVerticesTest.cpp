// ProcessVerticesTest.cpp: the fixed-function vertex pipeline on the processor. On the null backend: screen
// positions from the documented transform and viewport formulas, what is copied and what D3DPV_DONOTCOPYDATA
// leaves, outputs described by a declaration, and what is refused. Headless on llvmpipe: the processed vertices,
// drawn as pre-transformed ones, give the picture the source vertices draw through the pipeline.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "DrawTestSupport.h"

namespace tarn::d3d9::test {
namespace {

struct Source {
    float x, y, z, nx, ny, nz;
    D3DCOLOR diffuse;
    float u, v;
};
constexpr DWORD kSource = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Screen {
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
    float u, v;
};
constexpr DWORD kScreen = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// A vertex buffer holding `bytes`.
IDirect3DVertexBuffer9* Filled(IDirect3DDevice9* device, const void* bytes, UINT size, DWORD fvf) {
    IDirect3DVertexBuffer9* vb = nullptr;
    EXPECT_EQ(device->CreateVertexBuffer(size, 0, fvf, D3DPOOL_SYSTEMMEM, &vb, nullptr), D3D_OK);
    void* p = nullptr;
    vb->Lock(0, 0, &p, 0);
    std::memcpy(p, bytes, size);
    vb->Unlock();
    return vb;
}

template <typename T>
std::vector<T> Contents(IDirect3DVertexBuffer9* vb, UINT count) {
    std::vector<T> out(count);
    void* p = nullptr;
    vb->Lock(0, 0, &p, D3DLOCK_READONLY);
    std::memcpy(out.data(), p, count * sizeof(T));
    vb->Unlock();
    return out;
}

using ProcessVerticesTest = DeviceTest;

// Screen x = X + (1 + x / w) * Width / 2, y = Y + (1 - y / w) * Height / 2, z = MinZ + z / w * (MaxZ - MinZ),
// rhw = 1 / w; lighting off, the colours and coordinates are copied, or left with DONOTCOPYDATA.
TEST_F(ProcessVerticesTest, TransformsToTheViewportAndCopies) {
    const Source source[2] = {{0.5f, -0.25f, 2.0f, 0, 0, -1, 0xff102030, 0.25f, 0.75f},
                              {-1.0f, 1.0f, 4.0f, 0, 0, -1, 0x80405060, 0.5f, 1.0f}};
    IDirect3DVertexBuffer9* in = Filled(device, source, sizeof source, kSource);
    const Screen sentinel[3] = {{9, 9, 9, 9, 0x11111111, 0x22222222, 9, 9},
                                {9, 9, 9, 9, 0x11111111, 0x22222222, 9, 9},
                                {9, 9, 9, 9, 0x11111111, 0x22222222, 9, 9}};
    IDirect3DVertexBuffer9* out = Filled(device, sentinel, sizeof sentinel, kScreen);
    // Projection with w = z (a perspective divide), world moving x by 0.5, viewport 40 x 20 at (8, 4), z 0.2..0.6.
    D3DMATRIX world = Identity(), projection = Identity();
    world._41 = 0.5f;
    projection._34 = 1.0f, projection._44 = 0.0f;
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    const D3DVIEWPORT9 viewport{8, 4, 40, 20, 0.2f, 0.6f};
    device->SetViewport(&viewport);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetFVF(kSource);
    device->SetStreamSource(0, in, 0, sizeof(Source));
    ASSERT_EQ(device->ProcessVertices(0, 1, 2, out, nullptr, 0), D3D_OK);
    auto got = Contents<Screen>(out, 3);
    EXPECT_EQ(got[0].x, 9.0f);  // index 0 untouched
    // Vertex 0: world (1, -0.25, 2), w = 2.
    EXPECT_FLOAT_EQ(got[1].x, 8 + (1 + 1.0f / 2) * 20);
    EXPECT_FLOAT_EQ(got[1].y, 4 + (1 + 0.25f / 2) * 10);
    EXPECT_FLOAT_EQ(got[1].z, 0.2f + 1.0f * 0.4f);
    EXPECT_FLOAT_EQ(got[1].rhw, 0.5f);
    EXPECT_EQ(got[1].diffuse, 0xff102030u);
    EXPECT_EQ(got[1].specular, 0u);  // the source has none: black
    EXPECT_EQ(got[1].u, 0.25f);
    EXPECT_EQ(got[1].v, 0.75f);
    // Vertex 1: world (-0.5, 1, 4), w = 4.
    EXPECT_FLOAT_EQ(got[2].x, 8 + (1 - 0.5f / 4) * 20);
    EXPECT_FLOAT_EQ(got[2].y, 4 + (1 - 1.0f / 4) * 10);
    EXPECT_FLOAT_EQ(got[2].rhw, 0.25f);
    EXPECT_EQ(got[2].diffuse, 0x80405060u);

    // Without copying, only the position is written.
    void* p = nullptr;
    out->Lock(0, 0, &p, 0);
    std::memcpy(p, sentinel, sizeof sentinel);
    out->Unlock();
    ASSERT_EQ(device->ProcessVertices(1, 0, 1, out, nullptr, D3DPV_DONOTCOPYDATA), D3D_OK);
    got = Contents<Screen>(out, 3);
    EXPECT_FLOAT_EQ(got[0].rhw, 0.25f);
    EXPECT_EQ(got[0].diffuse, 0x11111111u);
    EXPECT_EQ(got[0].specular, 0x22222222u);
    EXPECT_EQ(got[0].u, 9.0f);
    device->SetStreamSource(0, nullptr, 0, 0);
    in->Release();
    out->Release();
}

// An output declaration picks the outputs and their types; the destination's own format is then not used.
TEST_F(ProcessVerticesTest, OutputsDescribedByADeclaration) {
    const Source source[1] = {{0, 0, 0.5f, 0, 0, -1, 0xff804020, 0.5f, -0.25f}};
    IDirect3DVertexBuffer9* in = Filled(device, source, sizeof source, kSource);
    IDirect3DVertexBuffer9* out = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_SYSTEMMEM, &out, nullptr), D3D_OK);
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
                                          {0, 16, D3DDECLTYPE_SHORT2N, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          {0, 20, D3DDECLTYPE_UBYTE4N, 0, D3DDECLUSAGE_COLOR, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetFVF(kSource);
    device->SetStreamSource(0, in, 0, sizeof(Source));
    // The destination has no format: the declaration is needed.
    EXPECT_EQ(device->ProcessVertices(0, 0, 1, out, nullptr, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->ProcessVertices(0, 0, 1, out, declaration, 0), D3D_OK);
    struct Out {
        float x, y, z, rhw;
        std::int16_t u, v;
        std::uint8_t r, g, b, a;
    };
    const auto got = Contents<Out>(out, 1);
    EXPECT_FLOAT_EQ(got[0].x, 32.0f);  // the middle of the 64 x 64 viewport
    EXPECT_FLOAT_EQ(got[0].y, 32.0f);
    EXPECT_EQ(got[0].u, 16384);  // 0.5 * 32767, rounded
    EXPECT_EQ(got[0].v, -8192);
    EXPECT_EQ(got[0].r, 0x80);  // UBYTE4N keeps the order red, green, blue, alpha
    EXPECT_EQ(got[0].g, 0x40);
    EXPECT_EQ(got[0].b, 0x20);
    EXPECT_EQ(got[0].a, 0xff);
    device->SetStreamSource(0, nullptr, 0, 0);
    declaration->Release();
    in->Release();
    out->Release();
}

TEST_F(ProcessVerticesTest, RefusesWhatItCannotProcess) {
    const Source source[2] = {};
    IDirect3DVertexBuffer9* in = Filled(device, source, sizeof source, kSource);
    IDirect3DVertexBuffer9* out = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(2 * sizeof(Screen), 0, kScreen, D3DPOOL_SYSTEMMEM, &out, nullptr), D3D_OK);
    IDirect3DVertexBuffer9* untransformedOut = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(64, 0, kSource, D3DPOOL_SYSTEMMEM, &untransformedOut, nullptr), D3D_OK);
    device->SetFVF(kSource);
    EXPECT_EQ(device->ProcessVertices(0, 0, 2, out, nullptr, 0), D3DERR_INVALIDCALL);  // no stream 0
    device->SetStreamSource(0, in, 0, sizeof(Source));
    EXPECT_EQ(device->ProcessVertices(0, 0, 2, out, nullptr, 0), D3D_OK);
    EXPECT_EQ(device->ProcessVertices(0, 0, 2, nullptr, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->ProcessVertices(1, 0, 2, out, nullptr, 0), D3DERR_INVALIDCALL);  // past the source
    EXPECT_EQ(device->ProcessVertices(0, 1, 2, out, nullptr, 0), D3DERR_INVALIDCALL);  // past the destination
    EXPECT_EQ(device->ProcessVertices(0, 0, 2, out, nullptr, 4), D3DERR_INVALIDCALL);  // an unknown flag
    EXPECT_EQ(device->ProcessVertices(0, 0, 2, untransformedOut, nullptr, 0), D3DERR_INVALIDCALL);
    // Pre-transformed vertices have no processing to go through.
    device->SetFVF(kScreen);
    device->SetStreamSource(0, out, 0, sizeof(Screen));
    EXPECT_EQ(device->ProcessVertices(0, 0, 1, out, nullptr, 0), D3DERR_INVALIDCALL);
    device->SetStreamSource(0, nullptr, 0, 0);
    in->Release();
    out->Release();
    untransformedOut->Release();
}

class ProcessVerticesDrawTest : public DrawTest {};

// A lit, perspective, blended mesh: drawn through the pipeline, and processed then drawn as screen-space
// vertices with lighting off, the two pictures agree.
TEST_F(ProcessVerticesDrawTest, ProcessedVerticesDrawWhatThePipelineDraws) {
    struct Blended {
        float x, y, z, weight, nx, ny, nz;
        D3DCOLOR diffuse;
    };
    constexpr DWORD kBlended = D3DFVF_XYZB1 | D3DFVF_NORMAL | D3DFVF_DIFFUSE;
    std::vector<Blended> mesh;
    for (int i = 0; i < 4; ++i) {
        const float x = (i & 1) ? 1.0f : -1.0f, y = (i & 2) ? -1.0f : 1.0f;
        mesh.push_back({x, y, 0, i * 0.3f, x * 0.5f, y * 0.5f, -1, 0xff40c080});
    }
    IDirect3DVertexBuffer9* in = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(4 * sizeof(Blended), 0, kBlended, D3DPOOL_MANAGED, &in, nullptr), D3D_OK);
    void* p = nullptr;
    in->Lock(0, 0, &p, 0);
    std::memcpy(p, mesh.data(), 4 * sizeof(Blended));
    in->Unlock();
    IDirect3DVertexBuffer9* out = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(4 * sizeof(Screen), 0, kScreen, D3DPOOL_MANAGED, &out, nullptr), D3D_OK);

    D3DMATRIX world0 = Identity(), world1 = Identity(), view = Identity(), projection{};
    world1._41 = 0.4f, world1._11 = 0.7f;
    view._43 = 3.0f;
    projection._11 = projection._22 = 1.5f;
    projection._33 = 1.0f, projection._34 = 1.0f, projection._43 = -1.0f;
    device->SetTransform(D3DTS_WORLDMATRIX(0), &world0);
    device->SetTransform(D3DTS_WORLDMATRIX(1), &world1);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, 0xff202020);
    D3DMATERIAL9 material{};
    material.Diffuse = {1, 1, 1, 1};
    material.Ambient = {1, 1, 1, 1};
    material.Specular = {0.5f, 0.5f, 0.5f, 1};
    material.Power = 8;
    device->SetMaterial(&material);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = {0.9f, 0.7f, 0.5f, 1};
    light.Specular = {1, 1, 1, 1};
    light.Position = {0.5f, 0.5f, -2.0f};
    light.Range = 100;
    light.Attenuation0 = 0.5f;
    light.Attenuation1 = 0.2f;
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetFVF(kBlended);
    device->SetStreamSource(0, in, 0, sizeof(Blended));
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    const auto drawn = ReadTarget();
    ASSERT_EQ(device->ProcessVertices(0, 0, 4, out, nullptr, 0), D3D_OK);

    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    device->SetFVF(kScreen);
    device->SetStreamSource(0, out, 0, sizeof(Screen));
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    const auto processed = ReadTarget();
    ASSERT_EQ(drawn.size(), processed.size());
    int lit = 0, edges = 0;
    for (int y = 0; y < static_cast<int>(kSize); y += 3) {
        for (int x = 0; x < static_cast<int>(kSize); x += 3) {
            const std::uint32_t a = drawn[static_cast<std::size_t>(y) * kSize + x];
            const std::uint32_t b = processed[static_cast<std::size_t>(y) * kSize + x];
            lit += a != 0xff000000u;
            // Edge pixels may round either way between the two paths; colours agree within 2.
            if ((a == 0xff000000u) != (b == 0xff000000u)) {
                ++edges;
                continue;
            }
            ExpectPixel(processed, x, y, a, 2);
        }
    }
    EXPECT_GT(lit, 50);
    EXPECT_LT(edges, 8);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, FALSE);
    device->LightEnable(0, FALSE);
    in->Release();
    out->Release();
}

}  // namespace
}  // namespace tarn::d3d9::test
