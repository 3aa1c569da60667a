// What a draw reads from its vertex streams: for each input of the fixed-function pipeline, the element that
// feeds it (stream, offset, D3DDECLTYPE), made from a vertex declaration or a flexible vertex format; the
// checks CreateVertexDeclaration makes; and the conversions between declarations and flexible vertex formats.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/d3d9/D3D9.h"

namespace tarn::d3d9 {

constexpr int kStreams = 16;
constexpr UINT kMaxStreamStride = 255;  // bytes between vertices of one stream

// The inputs the fixed-function pipeline reads, numbered as the generated programs' attribute locations.
enum VertexInput : std::uint8_t {
    kInputPosition = 0,  // POSITION 0, or POSITIONT 0 for pre-transformed vertices
    kInputNormal = 1,
    kInputDiffuse = 2,    // COLOR 0
    kInputSpecular = 3,   // COLOR 1
    kInputTexCoord0 = 4,  // TEXCOORD 0 to 7 at 4 to 11
    kInputBlendWeight = 12,
    kInputBlendIndices = 13,
    kInputPointSize = 14,
    kVertexInputs = 15,
};

// One input's source: `type` is a D3DDECLTYPE, or D3DDECLTYPE_UNUSED when the vertex has no such input.
struct InputElement {
    std::uint8_t type = D3DDECLTYPE_UNUSED;
    std::uint8_t stream = 0;
    WORD offset = 0;
    bool operator==(const InputElement&) const = default;
};

struct VertexLayout {
    std::array<InputElement, kVertexInputs> inputs{};
    bool transformed = false;             // the position is POSITIONT (XYZRHW): screen space, not transformed
    std::uint16_t streams = 0;            // bit s: the layout reads stream s
    std::array<UINT, kStreams> extent{};  // bytes from a vertex's start to the end of its last element, per stream
    // A NORMAL element of method CROSSUV: the data (normally the position's) whose partial derivatives over a
    // patch give the tessellated vertices their normals (Patches.cpp). Other draws take no normal from it.
    InputElement generatedNormal{};

    bool Has(VertexInput input) const { return inputs[input].type != D3DDECLTYPE_UNUSED; }
    bool operator==(const VertexLayout&) const = default;
};

// An element of D3DDECLTYPE `type` as the pipeline reads it, by the documented conversions (missing components
// read 0, 0 and 1), and four values written as one (rounded, and clamped to what the type holds).
void DecodeElement(unsigned type, const std::uint8_t* bytes, float out[4]);
void EncodeElement(unsigned type, const float in[4], std::uint8_t* bytes);

// Bytes and components of a D3DDECLTYPE (0 for UNUSED or an unknown value).
UINT DeclTypeSize(unsigned type);
int DeclTypeComponents(unsigned type);

// The checks of CreateVertexDeclaration: D3DDECL_END within MAXD3DDECLLENGTH elements, streams below kStreams
// in increasing order and offsets (multiples of 4) increasing within a stream, known types, methods and usages,
// each usage and index once, POSITIONT as FLOAT4, and no method but DEFAULT except the patch tessellator's
// generated normal (CROSSUV on NORMAL, of a type a position can have, at any offset since it holds no bytes of
// its own). D3D_OK with the elements before the end in *count, else D3DERR_INVALIDCALL.
HRESULT CheckDeclaration(const D3DVERTEXELEMENT9* elements, UINT* count);
// The layout of `count` checked elements.
VertexLayout LayoutOfElements(const D3DVERTEXELEMENT9* elements, UINT count);
// The elements of a flexible vertex format in its documented order, D3DDECL_END() last; false when the format
// is not valid (no position, more than 8 coordinate sets, reserved bits, XYZB5 without a packed last beta).
bool ElementsOfFvf(DWORD fvf, std::vector<D3DVERTEXELEMENT9>* elements);
// The flexible vertex format whose elements these are, exactly (stream 0, its order, offsets and types);
// 0 when there is none.
DWORD FvfOfElements(const D3DVERTEXELEMENT9* elements, UINT count);
// The layout a flexible vertex format draws with (the empty layout for a format that is not valid).
VertexLayout LayoutOfFvf(DWORD fvf);

}  // namespace tarn::d3d9
