// VertexDeclarationTest.cpp: vertex declarations and streams. On the null backend: what CreateVertexDeclaration
// refuses, the objects' answers, the format and declaration replacing each other, streams and their frequencies,
// and the draws refused for what the streams lack. Headless on llvmpipe: declarations over two streams drawing
// what the equivalent format draws, every declaration type converted as documented, and vertex blending.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "DrawTestSupport.h"
#include "VertexLayout.h"

namespace tarn::d3d9::test {
namespace {

constexpr D3DVERTEXELEMENT9 kEnd = D3DDECL_END();

D3DVERTEXELEMENT9 El(WORD stream, WORD offset, BYTE type, BYTE usage, BYTE index = 0,
                     BYTE method = D3DDECLMETHOD_DEFAULT) {
    return D3DVERTEXELEMENT9{stream, offset, type, method, usage, index};
}

using VertexDeclarationTest = DeviceTest;

TEST_F(VertexDeclarationTest, CreateRefusesWhatTheDocumentationRefuses) {
    const D3DVERTEXELEMENT9 position = El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION);
    struct Case {
        const char* what;
        std::vector<D3DVERTEXELEMENT9> elements;
        HRESULT expected;
    } cases[] = {
        {"position and a colour from stream 1",
         {position, El(1, 0, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), kEnd},
         D3D_OK},
        {"only the end", {kEnd}, D3D_OK},
        {"stream 15", {El(15, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), kEnd}, D3D_OK},
        {"stream 16", {El(16, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), kEnd}, D3DERR_INVALIDCALL},
        {"offset not a multiple of 4",
         {position, El(0, 14, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD), kEnd},
         D3DERR_INVALIDCALL},
        {"offsets decreasing in a stream",
         {El(0, 12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL),
          kEnd},
         D3DERR_INVALIDCALL},
        {"streams decreasing",
         {El(1, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL), kEnd},
         D3DERR_INVALIDCALL},
        {"a usage and index twice",
         {position, El(0, 12, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1),
          El(0, 20, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1), kEnd},
         D3DERR_INVALIDCALL},
        {"the same usage at two indices",
         {position, El(0, 12, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0),
          El(0, 20, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1), kEnd},
         D3D_OK},
        {"type UNUSED in an element",
         {position, El(0, 12, D3DDECLTYPE_UNUSED, D3DDECLUSAGE_NORMAL), kEnd},
         D3DERR_INVALIDCALL},
        {"unknown type", {position, El(0, 12, 18, D3DDECLUSAGE_NORMAL), kEnd}, D3DERR_INVALIDCALL},
        {"unknown usage", {position, El(0, 12, D3DDECLTYPE_FLOAT3, 14), kEnd}, D3DERR_INVALIDCALL},
        {"usage index 16",
         {position, El(0, 12, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 16), kEnd},
         D3DERR_INVALIDCALL},
        {"a tessellator method the patches do not compute",
         {position, El(0, 12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TANGENT, 0, D3DDECLMETHOD_PARTIALU), kEnd},
         D3DERR_INVALIDCALL},
        {"a normal generated from the position's data",
         {position, El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0, D3DDECLMETHOD_CROSSUV),
          El(0, 12, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD), kEnd},
         D3D_OK},
        {"a generated normal beside a given one",
         {position, El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0, D3DDECLMETHOD_CROSSUV),
          El(0, 12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL), kEnd},
         D3DERR_INVALIDCALL},
        {"CROSSUV on a texture coordinate",
         {position, El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TEXCOORD, 0, D3DDECLMETHOD_CROSSUV), kEnd},
         D3DERR_INVALIDCALL},
        {"a generated normal from FLOAT2 data",
         {position, El(0, 0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_NORMAL, 0, D3DDECLMETHOD_CROSSUV), kEnd},
         D3DERR_INVALIDCALL},
        {"POSITIONT not FLOAT4", {El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITIONT), kEnd}, D3DERR_INVALIDCALL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IDirect3DVertexDeclaration9* declaration = reinterpret_cast<IDirect3DVertexDeclaration9*>(1);
        EXPECT_EQ(device->CreateVertexDeclaration(c.elements.data(), &declaration), c.expected);
        EXPECT_EQ(declaration != nullptr, c.expected == D3D_OK);
        if (declaration) declaration->Release();
    }
    // More than MAXD3DDECLLENGTH elements before the end.
    std::vector<D3DVERTEXELEMENT9> tooMany;
    for (WORD i = 0; i <= MAXD3DDECLLENGTH; ++i) tooMany.push_back(El(0, static_cast<WORD>(4 * i), 0, 0, 0));
    tooMany.push_back(kEnd);
    IDirect3DVertexDeclaration9* declaration = nullptr;
    EXPECT_EQ(device->CreateVertexDeclaration(tooMany.data(), &declaration), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexDeclaration(nullptr, &declaration), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexDeclaration(cases[0].elements.data(), nullptr), D3DERR_INVALIDCALL);
}

TEST_F(VertexDeclarationTest, ObjectAnswersItsElementsAndDevice) {
    const D3DVERTEXELEMENT9 elements[] = {El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION),
                                          El(3, 8, D3DDECLTYPE_SHORT2N, D3DDECLUSAGE_TEXCOORD, 2), kEnd};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    UINT count = 0;
    EXPECT_EQ(declaration->GetDeclaration(nullptr, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(declaration->GetDeclaration(nullptr, &count), D3D_OK);
    EXPECT_EQ(count, 3u);  // the end included
    D3DVERTEXELEMENT9 copy[3] = {};
    ASSERT_EQ(declaration->GetDeclaration(copy, &count), D3D_OK);
    EXPECT_EQ(std::memcmp(copy, elements, sizeof elements), 0);
    IDirect3DDevice9* owner = nullptr;
    ASSERT_EQ(declaration->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device);
    EXPECT_EQ(owner->Release(), 1u);  // the declaration does not hold its device
    IUnknown* unknown = nullptr;
    ASSERT_EQ(declaration->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(LiveResourceCount(device), 1u);
    EXPECT_NE(DescribeLiveResources(device).find("vertex declaration"), std::string::npos);
    EXPECT_EQ(declaration->Release(), 0u);
}

// Setting a format replaces the declaration and the other way round. After SetFVF the device gives a new
// declaration of that format; after SetVertexDeclaration, GetFVF answers the format the declaration is exactly,
// or 0.
TEST_F(VertexDeclarationTest, FormatAndDeclarationReplaceEachOther) {
    const D3DVERTEXELEMENT9 asFormat[] = {El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION),
                                          El(0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR),
                                          El(0, 16, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD), kEnd};
    const D3DVERTEXELEMENT9 twoStreams[] = {El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION),
                                            El(1, 0, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), kEnd};
    IDirect3DVertexDeclaration9 *format = nullptr, *streams = nullptr, *got = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(asFormat, &format), D3D_OK);
    ASSERT_EQ(device->CreateVertexDeclaration(twoStreams, &streams), D3D_OK);
    DWORD fvf = 1;
    ASSERT_EQ(device->GetVertexDeclaration(&got), D3D_OK);
    EXPECT_EQ(got, nullptr);
    ASSERT_EQ(device->SetVertexDeclaration(format), D3D_OK);
    device->GetFVF(&fvf);
    EXPECT_EQ(fvf, static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1));
    ASSERT_EQ(device->GetVertexDeclaration(&got), D3D_OK);
    EXPECT_EQ(got, format);
    got->Release();
    ASSERT_EQ(device->SetVertexDeclaration(streams), D3D_OK);
    device->GetFVF(&fvf);
    EXPECT_EQ(fvf, 0u);
    ASSERT_EQ(device->SetFVF(D3DFVF_XYZRHW | D3DFVF_SPECULAR), D3D_OK);
    ASSERT_EQ(device->GetVertexDeclaration(&got), D3D_OK);
    ASSERT_NE(got, nullptr);
    EXPECT_NE(got, streams);
    D3DVERTEXELEMENT9 elements[3] = {};
    UINT count = 3;
    ASSERT_EQ(got->GetDeclaration(elements, &count), D3D_OK);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(elements[0].Usage, D3DDECLUSAGE_POSITIONT);
    EXPECT_EQ(elements[1].Usage, D3DDECLUSAGE_COLOR);
    EXPECT_EQ(elements[1].UsageIndex, 1);
    EXPECT_EQ(elements[1].Offset, 16);
    got->Release();
    ASSERT_EQ(device->SetVertexDeclaration(nullptr), D3D_OK);
    device->GetFVF(&fvf);
    EXPECT_EQ(fvf, 0u);
    // A declaration of another device is refused.
    IDirect3DDevice9* other = CreateTestDevice(d3d, 8, 8);
    ASSERT_NE(other, nullptr);
    IDirect3DVertexDeclaration9* foreign = nullptr;
    ASSERT_EQ(other->CreateVertexDeclaration(twoStreams, &foreign), D3D_OK);
    EXPECT_EQ(device->SetVertexDeclaration(foreign), D3DERR_INVALIDCALL);
    foreign->Release();
    other->Release();
    format->Release();
    streams->Release();
}

// A declaration leaked past its device no longer reaches it.
TEST_F(VertexDeclarationTest, LeakedDeclarationOutlivesItsDevice) {
    IDirect3DDevice9* other = CreateTestDevice(d3d, 8, 8);
    ASSERT_NE(other, nullptr);
    const D3DVERTEXELEMENT9 elements[] = {El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), kEnd};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(other->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    ASSERT_EQ(other->SetVertexDeclaration(declaration), D3D_OK);
    DebugSetMute(TRUE);  // the leak report
    EXPECT_EQ(other->Release(), 0u);
    DebugSetMute(FALSE);
    IDirect3DDevice9* owner = reinterpret_cast<IDirect3DDevice9*>(1);
    EXPECT_EQ(declaration->GetDevice(&owner), D3DERR_INVALIDCALL);
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(declaration->Release(), 0u);
}

TEST_F(VertexDeclarationTest, StreamsAndFrequencies) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(device->SetStreamSource(15, vb, 8, 12), D3D_OK);
    EXPECT_EQ(device->SetStreamSource(16, vb, 0, 12), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetStreamSource(3, vb, 64, 12), D3DERR_INVALIDCALL);  // offset past the end
    IDirect3DVertexBuffer9* got = nullptr;
    UINT offset = 0, stride = 0;
    ASSERT_EQ(device->GetStreamSource(15, &got, &offset, &stride), D3D_OK);
    EXPECT_EQ(got, vb);
    EXPECT_EQ(offset, 8u);
    EXPECT_EQ(stride, 12u);
    got->Release();
    EXPECT_EQ(device->GetStreamSource(16, &got, &offset, &stride), D3DERR_INVALIDCALL);
    struct Case {
        UINT stream, setting;
        HRESULT expected;
    } cases[] = {
        {0, D3DSTREAMSOURCE_INDEXEDDATA | 10u, D3D_OK},
        {1, D3DSTREAMSOURCE_INSTANCEDATA | 1u, D3D_OK},
        {7, 3u, D3D_OK},
        {0, D3DSTREAMSOURCE_INSTANCEDATA | 1u, D3DERR_INVALIDCALL},  // stream 0 never holds instance data
        {2, D3DSTREAMSOURCE_INDEXEDDATA | D3DSTREAMSOURCE_INSTANCEDATA | 1u, D3DERR_INVALIDCALL},
        {16, 1u, D3DERR_INVALIDCALL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream);
        SCOPED_TRACE(c.setting);
        EXPECT_EQ(device->SetStreamSourceFreq(c.stream, c.setting), c.expected);
        if (c.expected != D3D_OK || c.stream >= 16) continue;
        UINT setting = 0;
        ASSERT_EQ(device->GetStreamSourceFreq(c.stream, &setting), D3D_OK);
        EXPECT_EQ(setting, c.setting);
    }
    UINT setting = 0;
    EXPECT_EQ(device->GetStreamSourceFreq(4, &setting), D3D_OK);
    EXPECT_EQ(setting, 1u);  // the default
    EXPECT_EQ(device->GetStreamSourceFreq(16, &setting), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetStreamSourceFreq(0, nullptr), D3DERR_INVALIDCALL);
    device->SetStreamSource(15, nullptr, 0, 0);
    vb->Release();
}

// A draw needs every stream the declaration reads, with room for every vertex it reads; user-pointer draws feed
// stream 0 only.
TEST_F(VertexDeclarationTest, DrawsNeedTheStreamsTheDeclarationReads) {
    const D3DVERTEXELEMENT9 elements[] = {El(0, 0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT),
                                          El(2, 4, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), kEnd};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    IDirect3DVertexBuffer9 *positions = nullptr, *colours = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(3 * 16, 0, 0, D3DPOOL_MANAGED, &positions, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateVertexBuffer(3 * 8, 0, 0, D3DPOOL_MANAGED, &colours, nullptr), D3D_OK);
    ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    ASSERT_EQ(device->SetStreamSource(0, positions, 0, 16), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);  // stream 2 is empty
    ASSERT_EQ(device->SetStreamSource(2, colours, 0, 8), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    // The colour of vertex 2 ends at 2 * 8 + 4 + 4 = 24 bytes: it fits; one vertex further does not.
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->SetStreamSource(2, colours, 4, 8), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    // Stride 0: every vertex reads the same colour.
    ASSERT_EQ(device->SetStreamSource(2, colours, 0, 0), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    const float vertices[3][4] = {};
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 16), D3DERR_INVALIDCALL);
    device->EndScene();
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetStreamSource(2, nullptr, 0, 0);
    device->SetVertexDeclaration(nullptr);
    positions->Release();
    colours->Release();
    declaration->Release();
}

// Both backends report 16 streams, every declaration type, three blend weights (four matrices) and no tweening.
void ExpectVertexCaps(IDirect3DDevice9* device) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.MaxStreams, 16u);
    EXPECT_EQ(caps.MaxStreamStride, 255u);
    EXPECT_EQ(caps.DeclTypes,
              static_cast<DWORD>(D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N |
                                 D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N | D3DDTCAPS_UDEC3 | D3DDTCAPS_DEC3N |
                                 D3DDTCAPS_FLOAT16_2 | D3DDTCAPS_FLOAT16_4));
    EXPECT_EQ(caps.MaxVertexBlendMatrices, 4u);
    EXPECT_GE(caps.MaxVertexBlendMatrixIndex, 37u);
    EXPECT_LE(caps.MaxVertexBlendMatrixIndex, 255u);
    EXPECT_EQ(caps.VertexProcessingCaps & D3DVTXPCAPS_TWEENING, 0u);
}

TEST_F(VertexDeclarationTest, CapabilitiesOfTheNullBackend) { ExpectVertexCaps(device); }

class DeclarationDrawTest : public DrawTest {
protected:
    IDirect3DVertexDeclaration9* Declaration(const std::vector<D3DVERTEXELEMENT9>& elements) {
        IDirect3DVertexDeclaration9* declaration = nullptr;
        EXPECT_EQ(device->CreateVertexDeclaration(elements.data(), &declaration), D3D_OK);
        declarations_.push_back(declaration);
        return declaration;
    }
    IDirect3DVertexBuffer9* Buffer(const void* data, UINT bytes) {
        IDirect3DVertexBuffer9* vb = nullptr;
        EXPECT_EQ(device->CreateVertexBuffer(bytes, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
        void* p = nullptr;
        vb->Lock(0, 0, &p, 0);
        std::memcpy(p, data, bytes);
        vb->Unlock();
        buffers_.push_back(vb);
        return vb;
    }
    void TearDown() override {
        if (device) {
            for (UINT s = 0; s < 16; ++s) device->SetStreamSource(s, nullptr, 0, 0);
            device->SetVertexDeclaration(nullptr);
        }
        for (IUnknown* u : declarations_) u->Release();
        for (IUnknown* u : buffers_) u->Release();
        DrawTest::TearDown();
    }
    std::vector<IDirect3DVertexDeclaration9*> declarations_;
    std::vector<IDirect3DVertexBuffer9*> buffers_;
};

// Positions in stream 0 and colours in stream 3 (at an offset, with a stride of their own) draw the pixels the
// same vertices draw through the equivalent format.
TEST_F(DeclarationDrawTest, TwoStreamsDrawWhatTheFormatDraws) {
    const float positions[4][4] = {{8, 4, 0.5f, 1}, {56, 12, 0.5f, 1}, {4, 60, 0.5f, 1}, {50, 50, 0.5f, 1}};
    const D3DCOLOR colours[4] = {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff};
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    RhwColor interleaved[4];
    for (int i = 0; i < 4; ++i) {
        interleaved[i] = {positions[i][0], positions[i][1], positions[i][2], positions[i][3], colours[i]};
    }
    Clear(0xff000000);
    device->SetFVF(kRhwColor);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, interleaved, sizeof(RhwColor)), D3D_OK);
    const auto expected = ReadTarget();

    // Colours every 8 bytes from byte 4, in stream 3.
    std::uint32_t spread[9] = {};
    for (int i = 0; i < 4; ++i) spread[1 + 2 * i] = colours[i];
    device->SetVertexDeclaration(Declaration({El(0, 0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT),
                                              El(3, 0, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), kEnd}));
    device->SetStreamSource(0, Buffer(positions, sizeof positions), 0, 16);
    device->SetStreamSource(3, Buffer(spread, sizeof spread), 4, 8);
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    const auto drawn = ReadTarget();
    ASSERT_EQ(drawn.size(), expected.size());
    EXPECT_EQ(drawn, expected);
    ExpectPixel(drawn, 30, 30, expected[30 * kSize + 30], 0);
    EXPECT_NE(expected[30 * kSize + 30], 0xff000000u);
}

// Little-endian bytes of 16-bit and 32-bit values.
template <typename T>
std::vector<std::uint8_t> Bytes(std::initializer_list<T> values) {
    std::vector<std::uint8_t> out(values.size() * sizeof(T));
    std::memcpy(out.data(), values.begin(), out.size());
    return out;
}

// Each declaration type as the position of a rectangle (identity transforms; a world scale brings integer
// types into view): the rectangle's edges show the values the documented conversion gives, x from the first
// component and y from the second, so that a wrong scale, sign, swizzle or bit layout moves an edge.
TEST_F(DeclarationDrawTest, EveryTypeConvertsAsDocumented) {
    struct Case {
        const char* what;
        BYTE type;
        // The element's bytes at the rectangle's two corners, and the documented (x, y) of each.
        std::vector<std::uint8_t> low, high;
        float x0, y0, x1, y1;
        float scale = 1.0f;  // world scale of x and y
    };
    auto udec3 = [](std::uint32_t x, std::uint32_t y) { return Bytes<std::uint32_t>({x | y << 10 | 5u << 20}); };
    auto dec3n = [](int x, int y) {
        return Bytes<std::uint32_t>(
            {(static_cast<std::uint32_t>(x) & 0x3ff) | (static_cast<std::uint32_t>(y) & 0x3ff) << 10});
    };
    const Case cases[] = {
        {"FLOAT2", D3DDECLTYPE_FLOAT2, Bytes<float>({-0.7f, -0.3f}), Bytes<float>({0.4f, 0.9f}), -0.7f, -0.3f, 0.4f,
         0.9f},
        {"FLOAT3", D3DDECLTYPE_FLOAT3, Bytes<float>({-0.2f, -0.8f, 0.5f}), Bytes<float>({0.7f, 0.1f, 0.5f}), -0.2f,
         -0.8f, 0.7f, 0.1f},
        // Red is the third byte, green the second.
        {"D3DCOLOR", D3DDECLTYPE_D3DCOLOR, Bytes<std::uint32_t>({0x00221440u}), Bytes<std::uint32_t>({0x00e0b0c0u}),
         0x22 / 255.0f, 0x14 / 255.0f, 0xe0 / 255.0f, 0xb0 / 255.0f},
        // Not normalised: the world scale of 1 / 255 brings them into view.
        {"UBYTE4", D3DDECLTYPE_UBYTE4, Bytes<std::uint8_t>({10, 20, 0, 0}), Bytes<std::uint8_t>({200, 120, 0, 0}), 10,
         20, 200, 120, 1 / 255.0f},
        {"SHORT2", D3DDECLTYPE_SHORT2, Bytes<std::int16_t>({-300, -150}), Bytes<std::int16_t>({200, 700}), -300, -150,
         200, 700, 1 / 1000.0f},
        {"SHORT4", D3DDECLTYPE_SHORT4, Bytes<std::int16_t>({-600, 100, 0, 1}), Bytes<std::int16_t>({300, 800, 0, 1}),
         -600, 100, 300, 800, 1 / 1000.0f},
        // First byte x, second y.
        {"UBYTE4N", D3DDECLTYPE_UBYTE4N, Bytes<std::uint8_t>({0x44, 0x24, 0, 0}),
         Bytes<std::uint8_t>({0xc0, 0xe2, 0, 0}), 0x44 / 255.0f, 0x24 / 255.0f, 0xc0 / 255.0f, 0xe2 / 255.0f},
        // -32768 is -1, as -32767 is.
        {"SHORT2N", D3DDECLTYPE_SHORT2N, Bytes<std::int16_t>({-32768, -9830}), Bytes<std::int16_t>({13107, 26214}),
         -1.0f, -9830 / 32767.0f, 13107 / 32767.0f, 26214 / 32767.0f, 0.8f},
        {"SHORT4N", D3DDECLTYPE_SHORT4N, Bytes<std::int16_t>({-19660, -32767, 0, 32767}),
         Bytes<std::int16_t>({6553, 13107, 0, 32767}), -19660 / 32767.0f, -1.0f, 6553 / 32767.0f, 13107 / 32767.0f},
        {"USHORT2N", D3DDECLTYPE_USHORT2N, Bytes<std::uint16_t>({6553, 13107}), Bytes<std::uint16_t>({45874, 58981}),
         6553 / 65535.0f, 13107 / 65535.0f, 45874 / 65535.0f, 58981 / 65535.0f},
        {"USHORT4N", D3DDECLTYPE_USHORT4N, Bytes<std::uint16_t>({19660, 3276, 0, 0}),
         Bytes<std::uint16_t>({39321, 52428, 0, 0}), 19660 / 65535.0f, 3276 / 65535.0f, 39321 / 65535.0f,
         52428 / 65535.0f},
        // x in bits 0-9, y in bits 10-19 (z, here 5, in bits 20-29, and a w of 1 whatever bits 30-31 hold).
        {"UDEC3", D3DDECLTYPE_UDEC3, udec3(100, 300), udec3(900, 700), 100, 300, 900, 700, 1 / 1000.0f},
        {"DEC3N", D3DDECLTYPE_DEC3N, dec3n(-400, -100), dec3n(200, 450), -400 / 511.0f, -100 / 511.0f, 200 / 511.0f,
         450 / 511.0f},
        // Halves: sign, 5 exponent bits (bias 15), 10 fraction bits.
        {"FLOAT16_2", D3DDECLTYPE_FLOAT16_2, Bytes<std::uint16_t>({0xb8cd, 0xb4cd}),
         Bytes<std::uint16_t>({0x3666, 0x3a66}), -0.60009765625f, -0.300048828125f, 0.39990234375f, 0.7998046875f},
        {"FLOAT16_4", D3DDECLTYPE_FLOAT16_4, Bytes<std::uint16_t>({0x3266, 0xb666, 0, 0x3c00}),
         Bytes<std::uint16_t>({0x3b66, 0x38cd, 0, 0x3c00}), 0.199951171875f, -0.39990234375f, 0.9248046875f,
         0.60009765625f},
    };
    SetOrthoIdentity();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xffffffff);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const UINT size = static_cast<UINT>(c.low.size());
        // Corners low-low, high-low, low-high, high-high: x taken from one corner's bytes, the rest from the
        // other's.
        std::vector<std::uint8_t> vertices;
        auto corner = [&](bool highX, bool highY) {
            std::vector<std::uint8_t> v = highY ? c.high : c.low;
            const std::vector<std::uint8_t>& xs = highX ? c.high : c.low;
            if (c.type == D3DDECLTYPE_UDEC3 || c.type == D3DDECLTYPE_DEC3N) {
                std::uint32_t a, b;
                std::memcpy(&a, v.data(), 4);
                std::memcpy(&b, xs.data(), 4);
                a = (a & ~0x3ffu) | (b & 0x3ffu);
                std::memcpy(v.data(), &a, 4);
            } else if (c.type == D3DDECLTYPE_D3DCOLOR) {
                v[2] = xs[2];  // red
            } else {
                const std::size_t component = size / static_cast<std::size_t>(DeclTypeComponents(c.type));
                std::copy(xs.begin(), xs.begin() + static_cast<std::ptrdiff_t>(component), v.begin());
            }
            vertices.insert(vertices.end(), v.begin(), v.end());
        };
        corner(false, false), corner(true, false), corner(false, true), corner(true, true);
        device->SetVertexDeclaration(Declaration({El(0, 0, c.type, D3DDECLUSAGE_POSITION), kEnd}));
        device->SetStreamSource(0, Buffer(vertices.data(), static_cast<UINT>(vertices.size())), 0, size);
        D3DMATRIX world{};
        world._11 = world._22 = world._33 = c.scale;
        world._44 = 1.0f;
        device->SetTransform(D3DTS_WORLD, &world);
        Clear(0xff000000);
        ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        const auto p = ReadTarget();
        // Pixel centres lie on integers: columns from (x + 1) / 2 * 64, rows from (1 - y) / 2 * 64.
        const float left = (c.x0 * c.scale + 1) * 32, right = (c.x1 * c.scale + 1) * 32;
        const float top = (1 - c.y1 * c.scale) * 32, bottom = (1 - c.y0 * c.scale) * 32;
        const int first = static_cast<int>(std::ceil(left)), last = static_cast<int>(std::ceil(right)) - 1;
        const int firstRow = static_cast<int>(std::ceil(top)), lastRow = static_cast<int>(std::ceil(bottom)) - 1;
        const int midX = (first + last) / 2, midY = (firstRow + lastRow) / 2;
        ExpectPixel(p, first, midY, 0xffffffff, 0);
        ExpectPixel(p, last, midY, 0xffffffff, 0);
        ExpectPixel(p, midX, firstRow, 0xffffffff, 0);
        ExpectPixel(p, midX, lastRow, 0xffffffff, 0);
        if (first > 0) ExpectPixel(p, first - 1, midY, 0xff000000, 0);
        if (last < 63) ExpectPixel(p, last + 1, midY, 0xff000000, 0);
        if (firstRow > 0) ExpectPixel(p, midX, firstRow - 1, 0xff000000, 0);
        if (lastRow < 63) ExpectPixel(p, midX, lastRow + 1, 0xff000000, 0);
    }
    SetOrthoIdentity();
}

// FLOAT1 and the other types' missing components: y and z read 0, w reads 1 (here: a colour's green, blue and
// alpha); UBYTE4 is not normalised (1 reads as 1, not 1 / 255).
TEST_F(DeclarationDrawTest, MissingComponentsReadAsZeroAndOne) {
    struct Case {
        const char* what;
        BYTE type;
        std::vector<std::uint8_t> bytes;
        std::uint32_t expected;
    } cases[] = {
        {"FLOAT1", D3DDECLTYPE_FLOAT1, Bytes<float>({0.5f}), Rgb(0.5, 0, 0)},
        {"FLOAT2", D3DDECLTYPE_FLOAT2, Bytes<float>({0.25f, 0.75f}), Rgb(0.25, 0.75, 0)},
        {"UBYTE4", D3DDECLTYPE_UBYTE4, Bytes<std::uint8_t>({1, 0, 1, 1}), Rgb(1, 0, 1)},
        {"SHORT2N", D3DDECLTYPE_SHORT2N, Bytes<std::int16_t>({16384, 8192}), Rgb(16384 / 32767.0, 8192 / 32767.0, 0)},
    };
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const UINT size = static_cast<UINT>(c.bytes.size());
        std::vector<std::uint8_t> colours;
        for (int i = 0; i < 4; ++i) colours.insert(colours.end(), c.bytes.begin(), c.bytes.end());
        const float positions[4][4] = {{0, 0, 0.5f, 1}, {64, 0, 0.5f, 1}, {0, 64, 0.5f, 1}, {64, 64, 0.5f, 1}};
        device->SetVertexDeclaration(Declaration(
            {El(0, 0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT), El(1, 0, c.type, D3DDECLUSAGE_COLOR), kEnd}));
        device->SetStreamSource(0, Buffer(positions, sizeof positions), 0, 16);
        device->SetStreamSource(1, Buffer(colours.data(), static_cast<UINT>(colours.size())), 0, size);
        Clear(0xff000000);
        ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        // Alpha 1: the colour replaces the black, unblended.
        ExpectPixel(ReadTarget(), 32, 32, c.expected, 1);
    }
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}

D3DMATRIX Translation(float x, float y) {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    m._41 = x, m._42 = y;
    return m;
}

// Two matrices at weights 0.25 and 0.75: world 0 moves x by -0.4 and world 1 by +0.4, so a rectangle from
// x = -0.2 to 0.2 lands between 0 and 0.4 (0.25 * -0.4 + 0.75 * 0.4 = 0.2). The same from a format's weight
// and from a declaration's, and through indexed world matrices chosen by UBYTE4 or D3DCOLOR indices.
TEST_F(DeclarationDrawTest, BlendingTwoMatricesByWeight) {
    SetOrthoIdentity();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xffffffff);
    const D3DMATRIX left = Translation(-0.4f, 0), right = Translation(0.4f, 0), far = Translation(5, 5);
    struct Vertex {
        float x, y, z, weight;
        std::uint32_t indices;
    };
    struct Case {
        const char* what;
        DWORD fvf;  // 0: the declaration
        std::vector<D3DVERTEXELEMENT9> elements;
        bool indexed;
        std::uint32_t indices;  // of the two matrices: world 5 and 9 hold what worlds 0 and 1 hold otherwise
    } cases[] = {
        {"format XYZB1", D3DFVF_XYZB1, {}, false, 0},
        {"declaration",
         0,
         {El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), El(0, 12, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_BLENDWEIGHT),
          kEnd},
         false,
         0},
        {"format XYZB2 with UBYTE4 indices", D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4, {}, true, 5u | 9u << 8},
        // D3DCOLOR indices: the first is red (the third byte), the second green.
        {"declaration with D3DCOLOR indices",
         0,
         {El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), El(0, 12, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_BLENDWEIGHT),
          El(0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_BLENDINDICES), kEnd},
         true,
         5u << 16 | 9u << 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        device->SetTransform(D3DTS_WORLDMATRIX(0), c.indexed ? &far : &left);
        device->SetTransform(D3DTS_WORLDMATRIX(1), c.indexed ? &far : &right);
        device->SetTransform(D3DTS_WORLDMATRIX(5), &left);
        device->SetTransform(D3DTS_WORLDMATRIX(9), &right);
        device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
        device->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, c.indexed);
        const Vertex v[4] = {{-0.2f, -0.5f, 0.5f, 0.25f, c.indices},
                             {0.2f, -0.5f, 0.5f, 0.25f, c.indices},
                             {-0.2f, 0.5f, 0.5f, 0.25f, c.indices},
                             {0.2f, 0.5f, 0.5f, 0.25f, c.indices}};
        if (c.fvf) {
            device->SetFVF(c.fvf);
        } else {
            device->SetVertexDeclaration(Declaration(c.elements));
        }
        Clear(0xff000000);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
        auto p = ReadTarget();
        // x from 0 to 0.4: columns 32 to 44 (44.8 is the edge).
        ExpectPixel(p, 32, 32, 0xffffffff, 0);
        ExpectPixel(p, 44, 32, 0xffffffff, 0);
        ExpectPixel(p, 31, 32, 0xff000000, 0);
        ExpectPixel(p, 45, 32, 0xff000000, 0);
    }
    // User clip planes cut blended vertices in world space: with the view moving x by 0.1 the rectangle lies
    // from 0.1 to 0.5 on screen (from column 35.2), and the plane x <= 0.3 of the world cuts it at 0.4 (column
    // 44.8).
    const D3DMATRIX view = Translation(0.1f, 0);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_WORLDMATRIX(0), &left);
    device->SetTransform(D3DTS_WORLDMATRIX(1), &right);
    device->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE);
    const float plane[4] = {-1, 0, 0, 0.3f};
    device->SetClipPlane(0, plane);
    device->SetRenderState(D3DRS_CLIPPLANEENABLE, D3DCLIPPLANE0);
    device->SetFVF(D3DFVF_XYZB1);
    struct Weighted {
        float x, y, z, weight;
    };
    const Weighted w[4] = {
        {-0.2f, -0.5f, 0.5f, 0.25f}, {0.2f, -0.5f, 0.5f, 0.25f}, {-0.2f, 0.5f, 0.5f, 0.25f}, {0.2f, 0.5f, 0.5f, 0.25f}};
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, w, sizeof(Weighted)), D3D_OK);
    auto p = ReadTarget();
    ExpectPixel(p, 36, 32, 0xffffffff, 0);
    ExpectPixel(p, 44, 32, 0xffffffff, 0);
    ExpectPixel(p, 35, 32, 0xff000000, 0);
    ExpectPixel(p, 45, 32, 0xff000000, 0);
    device->SetRenderState(D3DRS_CLIPPLANEENABLE, 0);
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    SetOrthoIdentity();
}

TEST_F(DeclarationDrawTest, CapabilitiesOfTheGlBackend) { ExpectVertexCaps(device); }

// The last index the capabilities offer reaches its world matrix (weight 1: VERTEXBLEND 0WEIGHTS).
TEST_F(DeclarationDrawTest, IndexedBlendingReachesTheLastIndex) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    const DWORD last = caps.MaxVertexBlendMatrixIndex;
    SetOrthoIdentity();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xffffffff);
    const D3DMATRIX away = Translation(5, 5), there = Translation(0.5f, 0.5f);
    device->SetTransform(D3DTS_WORLDMATRIX(0), &away);
    device->SetTransform(D3DTS_WORLDMATRIX(static_cast<int>(last)), &there);
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_0WEIGHTS);
    device->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, TRUE);
    struct Vertex {
        float x, y, z;
        std::uint32_t indices;
    };
    const Vertex v[4] = {
        {-0.2f, -0.2f, 0.5f, last}, {0.2f, -0.2f, 0.5f, last}, {-0.2f, 0.2f, 0.5f, last}, {0.2f, 0.2f, 0.5f, last}};
    device->SetFVF(D3DFVF_XYZB1 | D3DFVF_LASTBETA_UBYTE4);
    Clear(0xff000000);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
    auto p = ReadTarget();
    ExpectPixel(p, 48, 16, 0xffffffff, 0);  // (0.5, 0.5)
    ExpectPixel(p, 32, 32, 0xff000000, 0);
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    device->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE);
    SetOrthoIdentity();
}

// Normals blend too, through each world matrix: world 1 turns the normal (1, 0, 0) to (0, 1, 0), so at
// weights 0.25 and 0.75 it is (0.25, 0.75, 0) and a light shining down -y lights it by 0.75, or by
// 0.75 / |N| = 0.949 with NORMALIZENORMALS.
TEST_F(DeclarationDrawTest, BlendingNormals) {
    SetOrthoIdentity();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    WhiteDirectionalLight({0, -1, 0});
    D3DMATRIX turn{};  // 90 degrees about z: x to y
    turn._12 = 1, turn._21 = -1, turn._33 = turn._44 = 1;
    device->SetTransform(D3DTS_WORLDMATRIX(1), &turn);
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    device->SetFVF(D3DFVF_XYZB1 | D3DFVF_NORMAL);
    struct Vertex {
        float x, y, z, weight, nx, ny, nz;
    };
    const Vertex v[4] = {{-0.5f, -0.5f, 0.5f, 0.25f, 1, 0, 0},
                         {0.5f, -0.5f, 0.5f, 0.25f, 1, 0, 0},
                         {-0.5f, 0.5f, 0.5f, 0.25f, 1, 0, 0},
                         {0.5f, 0.5f, 0.5f, 0.25f, 1, 0, 0}};
    for (bool normalize : {false, true}) {
        SCOPED_TRACE(normalize);
        device->SetRenderState(D3DRS_NORMALIZENORMALS, normalize);
        Clear(0xff000000);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
        const double lit = normalize ? 0.75 / std::sqrt(0.25 * 0.25 + 0.75 * 0.75) : 0.75;
        ExpectPixel(ReadTarget(), 32, 32, Rgb(lit, lit, lit), 1);
    }
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, FALSE);
    device->LightEnable(0, FALSE);
    SetOrthoIdentity();
}

}  // namespace
}  // namespace tarn::d3d9::test
