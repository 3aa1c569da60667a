// VertexDeclaratorTest.cpp: flexible vertex formats and declarations converted into each other, their sizes, and
// the same declarations as the Direct3D device gives for a format it is set to.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "math/D3DXMesh.h"
#include "platform/d3d9/Backend.h"

namespace {

D3DVERTEXELEMENT9 El(WORD stream, WORD offset, BYTE type, BYTE usage, BYTE index = 0) {
    return D3DVERTEXELEMENT9{stream, offset, type, D3DDECLMETHOD_DEFAULT, usage, index};
}

bool Same(const D3DVERTEXELEMENT9& a, const D3DVERTEXELEMENT9& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Formats with a declaration, each with its vertex size.
struct FormatCase {
    DWORD fvf;
    UINT size;
};
constexpr FormatCase kFormats[] = {
    {D3DFVF_XYZ, 12},
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR, 24},
    {D3DFVF_XYZW | D3DFVF_NORMAL, 28},
    {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_TEX2, 44},
    {D3DFVF_XYZB1, 16},
    {D3DFVF_XYZB4 | D3DFVF_NORMAL, 40},
    {D3DFVF_XYZB1 | D3DFVF_LASTBETA_UBYTE4, 16},
    {D3DFVF_XYZB3 | D3DFVF_LASTBETA_D3DCOLOR | D3DFVF_DIFFUSE, 28},
    {D3DFVF_XYZB5 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_TEX1, 40},
    {static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_TEX8 | D3DFVF_TEXCOORDSIZE1(0) | D3DFVF_TEXCOORDSIZE3(2) |
                        D3DFVF_TEXCOORDSIZE4(7)),
     12 + 4 + 8 + 12 + 4 * 8 + 16},
};

TEST(VertexDeclaratorTest, FormatsRoundTripWithTheirSizes) {
    for (const FormatCase& c : kFormats) {
        SCOPED_TRACE(testing::Message() << "fvf 0x" << std::hex << c.fvf);
        D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
        ASSERT_EQ(D3DXDeclaratorFromFVF(c.fvf, declaration), D3D_OK);
        DWORD fvf = 0;
        ASSERT_EQ(D3DXFVFFromDeclarator(declaration, &fvf), D3D_OK);
        EXPECT_EQ(fvf, c.fvf);
        EXPECT_EQ(D3DXGetFVFVertexSize(c.fvf), c.size);
        EXPECT_EQ(D3DXGetDeclVertexSize(declaration, 0), c.size);
        EXPECT_EQ(D3DXGetDeclVertexSize(declaration, 1), 0u);
    }
}

// The documented layout: blend weights after the position, packed indices as the last beta, then normal,
// point size, colours and coordinate sets, each set as wide as its format says.
TEST(VertexDeclaratorTest, DeclarationOfAFormat) {
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(D3DXDeclaratorFromFVF(D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_NORMAL | D3DFVF_DIFFUSE |
                                        D3DFVF_SPECULAR | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(1),
                                    declaration),
              D3D_OK);
    const D3DVERTEXELEMENT9 expected[] = {El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION),
                                          El(0, 12, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_BLENDWEIGHT),
                                          El(0, 20, D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES),
                                          El(0, 24, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL),
                                          El(0, 36, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0),
                                          El(0, 40, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1),
                                          El(0, 44, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0),
                                          El(0, 52, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TEXCOORD, 1),
                                          D3DDECL_END()};
    ASSERT_EQ(D3DXGetDeclLength(declaration), 8u);
    for (UINT i = 0; i < 9; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(Same(declaration[i], expected[i]));
    }
}

TEST(VertexDeclaratorTest, FormatsWithoutADeclarationAreRefused) {
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
    for (DWORD fvf : {DWORD{0}, DWORD{D3DFVF_NORMAL}, DWORD{D3DFVF_XYZB5}, DWORD{D3DFVF_XYZ | 0x900},
                      DWORD{D3DFVF_XYZ | D3DFVF_LASTBETA_UBYTE4},
                      DWORD{D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR},
                      DWORD{D3DFVF_XYZ | D3DFVF_RESERVED0}}) {
        SCOPED_TRACE(fvf);
        EXPECT_EQ(D3DXDeclaratorFromFVF(fvf, declaration), D3DERR_INVALIDCALL);
    }
    EXPECT_EQ(D3DXDeclaratorFromFVF(D3DFVF_XYZ, nullptr), D3DERR_INVALIDCALL);
}

// A declaration has a format only when it is one exactly: stream 0, the format's order, offsets and types.
TEST(VertexDeclaratorTest, DeclarationsWithoutAFormatAreRefused) {
    const D3DVERTEXELEMENT9 position = El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION);
    const std::vector<std::vector<D3DVERTEXELEMENT9>> declarations = {
        {position, El(1, 0, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), D3DDECL_END()},   // two streams
        {position, El(0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), D3DDECL_END()},  // a gap
        {El(0, 0, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR), El(0, 4, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION),
         D3DDECL_END()},                                                                     // out of order
        {position, El(0, 12, D3DDECLTYPE_SHORT2, D3DDECLUSAGE_TEXCOORD), D3DDECL_END()},     // not a float set
        {position, El(0, 12, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1), D3DDECL_END()},  // set 0 missing
        {position, El(0, 12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TANGENT), D3DDECL_END()},
        {El(0, 0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT), El(0, 16, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_BLENDWEIGHT),
         D3DDECL_END()},                                                     // weights need an untransformed position
        {El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL), D3DDECL_END()},  // no position
    };
    for (std::size_t i = 0; i < declarations.size(); ++i) {
        SCOPED_TRACE(i);
        DWORD fvf = 1;
        EXPECT_EQ(D3DXFVFFromDeclarator(declarations[i].data(), &fvf), D3DERR_INVALIDCALL);
        EXPECT_EQ(fvf, 0u);
    }
    DWORD fvf = 0;
    EXPECT_EQ(D3DXFVFFromDeclarator(nullptr, &fvf), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXFVFFromDeclarator(declarations[0].data(), nullptr), D3DERR_INVALIDCALL);
    // Sizes per stream: the end of the stream's last element.
    EXPECT_EQ(D3DXGetDeclVertexSize(declarations[0].data(), 0), 12u);
    EXPECT_EQ(D3DXGetDeclVertexSize(declarations[0].data(), 1), 4u);
    EXPECT_EQ(D3DXGetDeclVertexSize(declarations[1].data(), 0), 20u);
    EXPECT_EQ(D3DXGetDeclLength(declarations[0].data()), 2u);
    EXPECT_EQ(D3DXGetDeclLength(nullptr), 0u);
}

// The device, set to a format, gives the same declaration for it as the library does.
TEST(VertexDeclaratorTest, TheDeviceDeclaresFormatsAlike) {
    IDirect3DDevice9* device = tarn::d3d9::CreateNullDevice(16, 16);
    ASSERT_NE(device, nullptr);
    for (const FormatCase& c : kFormats) {
        SCOPED_TRACE(testing::Message() << "fvf 0x" << std::hex << c.fvf);
        D3DVERTEXELEMENT9 library[MAX_FVF_DECL_SIZE];
        ASSERT_EQ(D3DXDeclaratorFromFVF(c.fvf, library), D3D_OK);
        ASSERT_EQ(device->SetFVF(c.fvf), D3D_OK);
        IDirect3DVertexDeclaration9* declaration = nullptr;
        ASSERT_EQ(device->GetVertexDeclaration(&declaration), D3D_OK);
        ASSERT_NE(declaration, nullptr);
        D3DVERTEXELEMENT9 elements[MAX_FVF_DECL_SIZE];
        UINT count = 0;
        declaration->GetDeclaration(nullptr, &count);
        ASSERT_EQ(count, D3DXGetDeclLength(library) + 1);
        declaration->GetDeclaration(elements, &count);
        for (UINT i = 0; i < count; ++i) EXPECT_TRUE(Same(elements[i], library[i])) << i;
        // And back: the declaration set gives the format again.
        ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
        DWORD fvf = 0;
        device->GetFVF(&fvf);
        EXPECT_EQ(fvf, c.fvf);
        device->SetVertexDeclaration(nullptr);
        declaration->Release();
    }
    EXPECT_EQ(device->Release(), 0u);
}

}  // namespace
