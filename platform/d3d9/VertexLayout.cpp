// Vertex layouts: the documented checks of a vertex declaration, the inputs of the fixed-function pipeline it
// feeds, and the mapping between flexible vertex formats and declarations (position, blend weights and indices,
// normal, point size, diffuse, specular, then the texture coordinate sets, all in stream 0 one after another).
#include "VertexLayout.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Formats.h"

namespace tarn::d3d9 {
namespace {

// Bytes and components of each D3DDECLTYPE, FLOAT1 to FLOAT16_4.
struct DeclTypeInfo {
    UINT bytes;
    int components;
};
constexpr DeclTypeInfo kDeclTypes[] = {
    {4, 1},   // D3DDECLTYPE_FLOAT1
    {8, 2},   // D3DDECLTYPE_FLOAT2
    {12, 3},  // D3DDECLTYPE_FLOAT3
    {16, 4},  // D3DDECLTYPE_FLOAT4
    {4, 4},   // D3DDECLTYPE_D3DCOLOR
    {4, 4},   // D3DDECLTYPE_UBYTE4
    {4, 2},   // D3DDECLTYPE_SHORT2
    {8, 4},   // D3DDECLTYPE_SHORT4
    {4, 4},   // D3DDECLTYPE_UBYTE4N
    {4, 2},   // D3DDECLTYPE_SHORT2N
    {8, 4},   // D3DDECLTYPE_SHORT4N
    {4, 2},   // D3DDECLTYPE_USHORT2N
    {8, 4},   // D3DDECLTYPE_USHORT4N
    {4, 3},   // D3DDECLTYPE_UDEC3
    {4, 3},   // D3DDECLTYPE_DEC3N
    {4, 2},   // D3DDECLTYPE_FLOAT16_2
    {8, 4},   // D3DDECLTYPE_FLOAT16_4
};
static_assert(std::size(kDeclTypes) == D3DDECLTYPE_UNUSED);

bool IsEnd(const D3DVERTEXELEMENT9& e) { return e.Stream == 0xff && e.Type == D3DDECLTYPE_UNUSED; }

D3DVERTEXELEMENT9 Element(WORD offset, BYTE type, BYTE usage, BYTE index) {
    return D3DVERTEXELEMENT9{0, offset, type, D3DDECLMETHOD_DEFAULT, usage, index};
}

// The input of the fixed-function pipeline an element feeds, or kVertexInputs for one it does not read.
int InputOf(const D3DVERTEXELEMENT9& e) {
    switch (e.Usage) {
    case D3DDECLUSAGE_POSITION:
    case D3DDECLUSAGE_POSITIONT:
        return e.UsageIndex == 0 ? kInputPosition : kVertexInputs;
    case D3DDECLUSAGE_NORMAL:
        return e.UsageIndex == 0 ? kInputNormal : kVertexInputs;
    case D3DDECLUSAGE_COLOR:
        return e.UsageIndex < 2 ? kInputDiffuse + e.UsageIndex : kVertexInputs;
    case D3DDECLUSAGE_TEXCOORD:
        return e.UsageIndex < 8 ? kInputTexCoord0 + e.UsageIndex : kVertexInputs;
    case D3DDECLUSAGE_BLENDWEIGHT:
        return e.UsageIndex == 0 ? kInputBlendWeight : kVertexInputs;
    case D3DDECLUSAGE_BLENDINDICES:
        return e.UsageIndex == 0 ? kInputBlendIndices : kVertexInputs;
    case D3DDECLUSAGE_PSIZE:
        return e.UsageIndex == 0 ? kInputPointSize : kVertexInputs;
    default:
        return kVertexInputs;
    }
}

}  // namespace

void DecodeElement(unsigned type, const std::uint8_t* bytes, float out[4]) {
    out[0] = out[1] = out[2] = 0.0f;
    out[3] = 1.0f;
    auto load = [&](auto sample, int count, auto convert) {
        for (int i = 0; i < count; ++i) {
            decltype(sample) v;
            std::memcpy(&v, bytes + i * sizeof v, sizeof v);
            out[i] = convert(v);
        }
    };
    auto asFloat = [](auto v) { return static_cast<float>(v); };
    auto signedNorm = [](std::int16_t v) { return std::max(static_cast<float>(v) / 32767.0f, -1.0f); };
    auto unsignedNorm = [](std::uint16_t v) { return static_cast<float>(v) / 65535.0f; };
    std::uint32_t packed = 0;
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        load(float{}, static_cast<int>(type) + 1, asFloat);
        break;
    case D3DDECLTYPE_D3DCOLOR:  // bytes B, G, R, A
        for (int i = 0; i < 4; ++i) out[i] = bytes[i == 3 ? 3 : 2 - i] / 255.0f;
        break;
    case D3DDECLTYPE_UBYTE4:
        load(std::uint8_t{}, 4, asFloat);
        break;
    case D3DDECLTYPE_UBYTE4N:
        load(std::uint8_t{}, 4, [](std::uint8_t v) { return v / 255.0f; });
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
        load(std::int16_t{}, type == D3DDECLTYPE_SHORT2 ? 2 : 4, asFloat);
        break;
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N:
        load(std::int16_t{}, type == D3DDECLTYPE_SHORT2N ? 2 : 4, signedNorm);
        break;
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N:
        load(std::uint16_t{}, type == D3DDECLTYPE_USHORT2N ? 2 : 4, unsignedNorm);
        break;
    case D3DDECLTYPE_UDEC3:
    case D3DDECLTYPE_DEC3N:
        std::memcpy(&packed, bytes, 4);
        for (int i = 0; i < 3; ++i) {
            const std::uint32_t field = (packed >> (10 * i)) & 0x3ff;
            out[i] = type == D3DDECLTYPE_UDEC3
                         ? static_cast<float>(field)
                         : std::max(static_cast<float>(static_cast<int>(field << 22) >> 22) / 511.0f, -1.0f);
        }
        break;
    case D3DDECLTYPE_FLOAT16_2:
    case D3DDECLTYPE_FLOAT16_4:
        load(std::uint16_t{}, type == D3DDECLTYPE_FLOAT16_2 ? 2 : 4, [](std::uint16_t v) { return HalfToFloat(v); });
        break;
    default:
        break;
    }
}

void EncodeElement(unsigned type, const float in[4], std::uint8_t* bytes) {
    auto store = [&](auto sample, int count, auto convert) {
        for (int i = 0; i < count; ++i) {
            const decltype(sample) v = convert(in[i]);
            std::memcpy(bytes + i * sizeof v, &v, sizeof v);
        }
    };
    auto clampRound = [](float v, float low, float high) {
        return std::nearbyint(std::clamp(std::isnan(v) ? 0.0f : v, low, high));
    };
    auto byteNorm = [&](float v) { return static_cast<std::uint8_t>(clampRound(v * 255.0f, 0, 255)); };
    std::uint32_t packed = 0;
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        store(float{}, static_cast<int>(type) + 1, [](float v) { return v; });
        break;
    case D3DDECLTYPE_D3DCOLOR:
        for (int i = 0; i < 4; ++i) bytes[i == 3 ? 3 : 2 - i] = byteNorm(in[i]);
        break;
    case D3DDECLTYPE_UBYTE4:
        store(std::uint8_t{}, 4, [&](float v) { return static_cast<std::uint8_t>(clampRound(v, 0, 255)); });
        break;
    case D3DDECLTYPE_UBYTE4N:
        store(std::uint8_t{}, 4, byteNorm);
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
        store(std::int16_t{}, type == D3DDECLTYPE_SHORT2 ? 2 : 4,
              [&](float v) { return static_cast<std::int16_t>(clampRound(v, -32768, 32767)); });
        break;
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N:
        store(std::int16_t{}, type == D3DDECLTYPE_SHORT2N ? 2 : 4,
              [&](float v) { return static_cast<std::int16_t>(clampRound(v * 32767.0f, -32767, 32767)); });
        break;
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N:
        store(std::uint16_t{}, type == D3DDECLTYPE_USHORT2N ? 2 : 4,
              [&](float v) { return static_cast<std::uint16_t>(clampRound(v * 65535.0f, 0, 65535)); });
        break;
    case D3DDECLTYPE_UDEC3:
    case D3DDECLTYPE_DEC3N:
        for (int i = 0; i < 3; ++i) {
            const float v =
                type == D3DDECLTYPE_UDEC3 ? clampRound(in[i], 0, 1023) : clampRound(in[i] * 511.0f, -511, 511);
            packed |= (static_cast<std::uint32_t>(static_cast<std::int32_t>(v)) & 0x3ff) << (10 * i);
        }
        std::memcpy(bytes, &packed, 4);
        break;
    case D3DDECLTYPE_FLOAT16_2:
    case D3DDECLTYPE_FLOAT16_4:
        store(std::uint16_t{}, type == D3DDECLTYPE_FLOAT16_2 ? 2 : 4, [](float v) { return FloatToHalf(v); });
        break;
    default:
        break;
    }
}

UINT DeclTypeSize(unsigned type) { return type < D3DDECLTYPE_UNUSED ? kDeclTypes[type].bytes : 0; }
int DeclTypeComponents(unsigned type) { return type < D3DDECLTYPE_UNUSED ? kDeclTypes[type].components : 0; }

namespace {

// The types a generated normal's source data may have: those a position is given in.
bool GeneratedNormalType(unsigned type) {
    return type == D3DDECLTYPE_FLOAT3 || type == D3DDECLTYPE_FLOAT4 || type == D3DDECLTYPE_D3DCOLOR ||
           type == D3DDECLTYPE_UBYTE4 || type == D3DDECLTYPE_SHORT4;
}

}  // namespace

HRESULT CheckDeclaration(const D3DVERTEXELEMENT9* elements, UINT* count) {
    if (!elements) return D3DERR_INVALIDCALL;
    UINT n = 0;
    while (!IsEnd(elements[n])) {
        if (n == MAXD3DDECLLENGTH) return D3DERR_INVALIDCALL;
        const D3DVERTEXELEMENT9& e = elements[n];
        if (e.Stream >= kStreams || e.Offset % 4 != 0) return D3DERR_INVALIDCALL;
        if (e.Type >= D3DDECLTYPE_UNUSED || e.Usage > MAXD3DDECLUSAGE || e.UsageIndex > MAXD3DDECLUSAGEINDEX) {
            return D3DERR_INVALIDCALL;
        }
        // Of the tessellator's methods the patches compute the normal (CROSSUV), from data of a type a position
        // can have; the tangents, parametric coordinates and displacement look-ups are not offered.
        if (e.Method == D3DDECLMETHOD_CROSSUV) {
            if (e.Usage != D3DDECLUSAGE_NORMAL || !GeneratedNormalType(e.Type)) return D3DERR_INVALIDCALL;
        } else if (e.Method != D3DDECLMETHOD_DEFAULT) {
            return D3DERR_INVALIDCALL;
        }
        if (e.Usage == D3DDECLUSAGE_POSITIONT && e.Type != D3DDECLTYPE_FLOAT4) return D3DERR_INVALIDCALL;
        // Streams increase, and offsets within a stream; a generated element names data another element holds,
        // so its offset is not in that order.
        if (n > 0 && e.Stream < elements[n - 1].Stream) return D3DERR_INVALIDCALL;
        if (e.Method == D3DDECLMETHOD_DEFAULT) {
            for (UINT k = n; k-- > 0;) {
                const D3DVERTEXELEMENT9& previous = elements[k];
                if (previous.Method != D3DDECLMETHOD_DEFAULT) continue;
                if (e.Stream == previous.Stream && e.Offset < previous.Offset) return D3DERR_INVALIDCALL;
                break;
            }
        }
        for (UINT k = 0; k < n; ++k) {
            if (elements[k].Usage == e.Usage && elements[k].UsageIndex == e.UsageIndex) return D3DERR_INVALIDCALL;
        }
        ++n;
    }
    *count = n;
    return D3D_OK;
}

VertexLayout LayoutOfElements(const D3DVERTEXELEMENT9* elements, UINT count) {
    VertexLayout layout;
    for (UINT k = 0; k < count; ++k) {
        const D3DVERTEXELEMENT9& e = elements[k];
        const int input = e.Method == D3DDECLMETHOD_CROSSUV ? kVertexInputs : InputOf(e);
        if (e.Method == D3DDECLMETHOD_CROSSUV && e.UsageIndex == 0) {
            layout.generatedNormal = InputElement{e.Type, static_cast<std::uint8_t>(e.Stream), e.Offset};
        }
        if (input == kVertexInputs || layout.inputs[input].type != D3DDECLTYPE_UNUSED) continue;
        layout.inputs[input] = InputElement{e.Type, static_cast<std::uint8_t>(e.Stream), e.Offset};
        if (input == kInputPosition) layout.transformed = e.Usage == D3DDECLUSAGE_POSITIONT;
        layout.streams |= static_cast<std::uint16_t>(1u << e.Stream);
        UINT& extent = layout.extent[e.Stream];
        extent = std::max(extent, static_cast<UINT>(e.Offset) + DeclTypeSize(e.Type));
    }
    return layout;
}

namespace {

// The elements of `fvf`; with `strict` false, XYZB5 without a packed last beta keeps its first four weights (the
// pipeline blends with at most three) where a declaration cannot describe it at all.
bool FvfElements(DWORD fvf, bool strict, std::vector<D3DVERTEXELEMENT9>* out) {
    out->clear();
    if (fvf & (D3DFVF_RESERVED0 | 0x2000)) return false;
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > 8) return false;
    WORD offset = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE index) {
        out->push_back(Element(offset, type, usage, index));
        offset = static_cast<WORD>(offset + DeclTypeSize(type));
    };
    const DWORD lastBeta = fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR);
    if (position == D3DFVF_XYZ) {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
    } else if (position == D3DFVF_XYZW) {
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0);
    } else if (position == D3DFVF_XYZRHW) {
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
    } else if (position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB5) {
        // XYZB1..XYZB5 carry one to five 4-byte betas after the position; with a LASTBETA flag the last one is
        // the packed blend indices.
        if (lastBeta == (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR)) return false;
        const UINT betas = (position - D3DFVF_XYZRHW) / 2;
        const UINT weights = lastBeta ? betas - 1 : betas;
        if (weights > 4 && strict) return false;
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        if (weights > 0)
            add(static_cast<BYTE>(D3DDECLTYPE_FLOAT1 + std::min(weights, 4u) - 1), D3DDECLUSAGE_BLENDWEIGHT, 0);
        if (weights > 4) offset = static_cast<WORD>(offset + 4);
        if (lastBeta) {
            add(lastBeta == D3DFVF_LASTBETA_UBYTE4 ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR,
                D3DDECLUSAGE_BLENDINDICES, 0);
        }
    } else {
        return false;
    }
    if (lastBeta && (position < D3DFVF_XYZB1 || position > D3DFVF_XYZB5)) return false;
    if (fvf & D3DFVF_NORMAL) add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    if (fvf & D3DFVF_PSIZE) add(D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    if (fvf & D3DFVF_DIFFUSE) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    if (fvf & D3DFVF_SPECULAR) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    for (UINT i = 0; i < texCount; ++i) {
        // D3DFVF_TEXTUREFORMAT1..4 are 3, 0, 1, 2: floats minus one, modulo 4.
        static const BYTE kTypes[4] = {D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4, D3DDECLTYPE_FLOAT1};
        add(kTypes[(fvf >> (16 + 2 * i)) & 3], D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(i));
    }
    out->push_back(D3DDECL_END());
    return true;
}

}  // namespace

bool ElementsOfFvf(DWORD fvf, std::vector<D3DVERTEXELEMENT9>* elements) { return FvfElements(fvf, true, elements); }

DWORD FvfOfElements(const D3DVERTEXELEMENT9* elements, UINT count) {
    // Build the one format these elements could be, then require that its elements are these, exactly.
    DWORD fvf = 0, position = 0;
    UINT weights = 0, texCount = 0;
    BYTE indices = D3DDECLTYPE_UNUSED;
    DWORD texFormats = 0;
    for (UINT k = 0; k < count; ++k) {
        const D3DVERTEXELEMENT9& e = elements[k];
        switch (e.Usage) {
        case D3DDECLUSAGE_POSITION:
            position = e.Type == D3DDECLTYPE_FLOAT4 ? D3DFVF_XYZW : D3DFVF_XYZ;
            break;
        case D3DDECLUSAGE_POSITIONT:
            position = D3DFVF_XYZRHW;
            break;
        case D3DDECLUSAGE_BLENDWEIGHT:
            weights = e.Type <= D3DDECLTYPE_FLOAT4 ? e.Type - D3DDECLTYPE_FLOAT1 + 1u : 5u;
            break;
        case D3DDECLUSAGE_BLENDINDICES:
            indices = e.Type;
            break;
        case D3DDECLUSAGE_NORMAL:
            fvf |= D3DFVF_NORMAL;
            break;
        case D3DDECLUSAGE_PSIZE:
            fvf |= D3DFVF_PSIZE;
            break;
        case D3DDECLUSAGE_COLOR:
            fvf |= e.UsageIndex == 0 ? D3DFVF_DIFFUSE : D3DFVF_SPECULAR;
            break;
        case D3DDECLUSAGE_TEXCOORD: {
            if (e.UsageIndex >= 8 || e.Type > D3DDECLTYPE_FLOAT4) return 0;
            static const DWORD kFormats[4] = {D3DFVF_TEXTUREFORMAT1, D3DFVF_TEXTUREFORMAT2, D3DFVF_TEXTUREFORMAT3,
                                              D3DFVF_TEXTUREFORMAT4};
            texFormats |= kFormats[e.Type] << (16 + 2 * e.UsageIndex);
            texCount = std::max<UINT>(texCount, e.UsageIndex + 1u);
            break;
        }
        default:
            return 0;
        }
    }
    if (weights || indices != D3DDECLTYPE_UNUSED) {
        if (position != D3DFVF_XYZ) return 0;
        const UINT betas = weights + (indices != D3DDECLTYPE_UNUSED ? 1 : 0);
        if (betas > 5) return 0;
        position = D3DFVF_XYZRHW + 2 * betas;
        if (indices == D3DDECLTYPE_UBYTE4) fvf |= D3DFVF_LASTBETA_UBYTE4;
        if (indices == D3DDECLTYPE_D3DCOLOR) fvf |= D3DFVF_LASTBETA_D3DCOLOR;
    }
    if (!position) return 0;
    fvf |= position | texCount << D3DFVF_TEXCOUNT_SHIFT | texFormats;
    std::vector<D3DVERTEXELEMENT9> expected;
    if (!FvfElements(fvf, true, &expected) || expected.size() != count + 1) return 0;
    for (UINT k = 0; k < count; ++k) {
        const D3DVERTEXELEMENT9 &a = elements[k], &b = expected[k];
        if (a.Stream != b.Stream || a.Offset != b.Offset || a.Type != b.Type || a.Method != b.Method ||
            a.Usage != b.Usage || a.UsageIndex != b.UsageIndex) {
            return 0;
        }
    }
    return fvf;
}

VertexLayout LayoutOfFvf(DWORD fvf) {
    std::vector<D3DVERTEXELEMENT9> elements;
    if (!FvfElements(fvf, false, &elements)) return VertexLayout{};
    return LayoutOfElements(elements.data(), static_cast<UINT>(elements.size() - 1));
}

}  // namespace tarn::d3d9
