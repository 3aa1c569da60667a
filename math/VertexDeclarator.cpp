// Flexible vertex formats and vertex declarations. A format lays out, in stream 0 one after another: the position
// (XYZ, XYZW, XYZRHW, or XYZ with one to five betas: blend weights, the last of which may be packed blend
// indices), the normal, the point size, the diffuse and specular colours, then up to eight texture coordinate
// sets of one to four floats.
#include "math/D3DXMesh.h"

#include <algorithm>
#include <iterator>

namespace {

bool IsEnd(const D3DVERTEXELEMENT9& e) { return e.Stream == 0xff && e.Type == D3DDECLTYPE_UNUSED; }

// Bytes of each D3DDECLTYPE, FLOAT1 to FLOAT16_4.
constexpr UINT kTypeBytes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};
static_assert(std::size(kTypeBytes) == D3DDECLTYPE_UNUSED);

UINT TypeBytes(BYTE type) { return type < D3DDECLTYPE_UNUSED ? kTypeBytes[type] : 0; }

// The elements of `fvf`, end included, into `out`; their count (end included), or 0 when it has none.
UINT FvfDeclaration(DWORD fvf, D3DVERTEXELEMENT9* out) {
    if (fvf & (D3DFVF_RESERVED0 | 0x2000)) return 0;
    const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > 8) return 0;
    UINT n = 0;
    WORD offset = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE index) {
        out[n++] = D3DVERTEXELEMENT9{0, offset, type, D3DDECLMETHOD_DEFAULT, usage, index};
        offset = static_cast<WORD>(offset + TypeBytes(type));
    };
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    const DWORD lastBeta = fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR);
    const bool betas = position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB5;
    if (lastBeta && (!betas || lastBeta == (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR))) return 0;
    if (position == D3DFVF_XYZRHW) {
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
    } else if (position == D3DFVF_XYZW) {
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0);
    } else if (position == D3DFVF_XYZ || betas) {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        // XYZB1..XYZB5 step by 2 from XYZRHW + 2.
        const UINT count = betas ? (position - D3DFVF_XYZRHW) / 2 : 0;
        const UINT weights = lastBeta ? count - 1 : count;
        if (weights > 4) return 0;
        if (weights) add(static_cast<BYTE>(D3DDECLTYPE_FLOAT1 + weights - 1), D3DDECLUSAGE_BLENDWEIGHT, 0);
        if (lastBeta == D3DFVF_LASTBETA_UBYTE4) add(D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES, 0);
        if (lastBeta == D3DFVF_LASTBETA_D3DCOLOR) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_BLENDINDICES, 0);
    } else {
        return 0;
    }
    if (fvf & D3DFVF_NORMAL) add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    if (fvf & D3DFVF_PSIZE) add(D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    if (fvf & D3DFVF_DIFFUSE) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    if (fvf & D3DFVF_SPECULAR) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    for (UINT i = 0; i < texCount; ++i) {
        // D3DFVF_TEXTUREFORMAT1..4 are 3, 0, 1, 2.
        const DWORD format = (fvf >> (16 + 2 * i)) & 3;
        add(static_cast<BYTE>(D3DDECLTYPE_FLOAT1 + (format + 1) % 4), D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(i));
    }
    out[n++] = D3DDECL_END();
    return n;
}

}  // namespace

HRESULT WINAPI D3DXDeclaratorFromFVF(DWORD fvf, D3DVERTEXELEMENT9 declarator[MAX_FVF_DECL_SIZE]) {
    if (!declarator) return D3DERR_INVALIDCALL;
    D3DVERTEXELEMENT9 elements[MAX_FVF_DECL_SIZE];
    const UINT n = FvfDeclaration(fvf, elements);
    if (n == 0) return D3DERR_INVALIDCALL;
    std::copy(elements, elements + n, declarator);
    return D3D_OK;
}

HRESULT WINAPI D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* declarator, DWORD* fvf) {
    if (!declarator || !fvf) return D3DERR_INVALIDCALL;
    *fvf = 0;
    const UINT length = D3DXGetDeclLength(declarator);
    if (length > MAXD3DDECLLENGTH) return D3DERR_INVALIDCALL;
    // The one format these elements could be; then its elements must be these, exactly.
    DWORD candidate = 0, position = 0;
    UINT weights = 0, texCount = 0;
    BYTE indices = D3DDECLTYPE_UNUSED;
    for (UINT k = 0; k < length; ++k) {
        const D3DVERTEXELEMENT9& e = declarator[k];
        if (e.Usage == D3DDECLUSAGE_POSITION) {
            position = e.Type == D3DDECLTYPE_FLOAT4 ? D3DFVF_XYZW : D3DFVF_XYZ;
        } else if (e.Usage == D3DDECLUSAGE_POSITIONT) {
            position = D3DFVF_XYZRHW;
        } else if (e.Usage == D3DDECLUSAGE_BLENDWEIGHT && e.Type <= D3DDECLTYPE_FLOAT4) {
            weights = e.Type - D3DDECLTYPE_FLOAT1 + 1u;
        } else if (e.Usage == D3DDECLUSAGE_BLENDINDICES) {
            indices = e.Type;
        } else if (e.Usage == D3DDECLUSAGE_NORMAL) {
            candidate |= D3DFVF_NORMAL;
        } else if (e.Usage == D3DDECLUSAGE_PSIZE) {
            candidate |= D3DFVF_PSIZE;
        } else if (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex < 2) {
            candidate |= e.UsageIndex == 0 ? D3DFVF_DIFFUSE : D3DFVF_SPECULAR;
        } else if (e.Usage == D3DDECLUSAGE_TEXCOORD && e.UsageIndex < 8 && e.Type <= D3DDECLTYPE_FLOAT4) {
            candidate |= static_cast<DWORD>((e.Type + 3) % 4) << (16 + 2 * e.UsageIndex);
            texCount = std::max<UINT>(texCount, e.UsageIndex + 1u);
        } else {
            return D3DERR_INVALIDCALL;
        }
    }
    if (weights || indices == D3DDECLTYPE_UBYTE4 || indices == D3DDECLTYPE_D3DCOLOR) {
        if (position != D3DFVF_XYZ) return D3DERR_INVALIDCALL;
        const bool packed = indices != D3DDECLTYPE_UNUSED;
        position = D3DFVF_XYZRHW + 2 * (weights + (packed ? 1 : 0));
        candidate |= indices == D3DDECLTYPE_UBYTE4 ? D3DFVF_LASTBETA_UBYTE4 : 0;
        candidate |= indices == D3DDECLTYPE_D3DCOLOR ? D3DFVF_LASTBETA_D3DCOLOR : 0;
    }
    candidate |= position | texCount << D3DFVF_TEXCOUNT_SHIFT;
    D3DVERTEXELEMENT9 expected[MAX_FVF_DECL_SIZE];
    const UINT n = position ? FvfDeclaration(candidate, expected) : 0;
    if (n != length + 1) return D3DERR_INVALIDCALL;
    for (UINT k = 0; k < length; ++k) {
        const D3DVERTEXELEMENT9 &a = declarator[k], &b = expected[k];
        if (a.Stream != b.Stream || a.Offset != b.Offset || a.Type != b.Type || a.Method != b.Method ||
            a.Usage != b.Usage || a.UsageIndex != b.UsageIndex) {
            return D3DERR_INVALIDCALL;
        }
    }
    *fvf = candidate;
    return D3D_OK;
}

UINT WINAPI D3DXGetFVFVertexSize(DWORD fvf) {
    static const UINT kPositionBytes[8] = {0, 12, 16, 16, 20, 24, 28, 32};  // by (position & 0xe) / 2
    UINT size = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZW ? 16 : kPositionBytes[(fvf & 0xe) / 2];
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & D3DFVF_PSIZE) size += 4;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    if (fvf & D3DFVF_SPECULAR) size += 4;
    const UINT texCount = std::min<UINT>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT, 8);
    for (UINT i = 0; i < texCount; ++i) size += 4 * ((((fvf >> (16 + 2 * i)) & 3) + 1) % 4 + 1);
    return size;
}

UINT WINAPI D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* declaration, DWORD stream) {
    if (!declaration) return 0;
    UINT size = 0;
    for (const D3DVERTEXELEMENT9* e = declaration; !IsEnd(*e); ++e) {
        if (e->Stream == stream) size = std::max(size, static_cast<UINT>(e->Offset) + TypeBytes(e->Type));
    }
    return size;
}

UINT WINAPI D3DXGetDeclLength(const D3DVERTEXELEMENT9* declaration) {
    if (!declaration) return 0;
    UINT n = 0;
    while (!IsEnd(declaration[n])) ++n;
    return n;
}
