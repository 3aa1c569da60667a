// The extension library's vertex-format helpers: flexible vertex formats and vertex declarations converted into
// each other, and their sizes. A declaration here is an array of D3DVERTEXELEMENT9 ended by D3DDECL_END().
#pragma once

#include "platform/d3d9/D3D9.h"

// Elements a declaration of a flexible vertex format can take, D3DDECL_END() included.
#define MAX_FVF_DECL_SIZE (MAXD3DDECLLENGTH + 1)

// Writes the declaration of `fvf` (stream 0, the format's order and offsets, D3DDECL_END() last).
// D3DERR_INVALIDCALL for a null array or a format that is not valid or has no declaration (XYZB5 with five
// weights, more than eight coordinate sets, reserved bits).
HRESULT WINAPI D3DXDeclaratorFromFVF(DWORD fvf, D3DVERTEXELEMENT9 declarator[MAX_FVF_DECL_SIZE]);
// The flexible vertex format that is exactly this declaration; D3DERR_INVALIDCALL (and *fvf 0) when there is
// none or an argument is null.
HRESULT WINAPI D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* declarator, DWORD* fvf);
// Bytes of one vertex of `fvf`.
UINT WINAPI D3DXGetFVFVertexSize(DWORD fvf);
// Bytes of one vertex of `stream` in the declaration: the end of its last element (0 for a null declaration).
UINT WINAPI D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* declaration, DWORD stream);
// Elements before D3DDECL_END() (0 for a null declaration).
UINT WINAPI D3DXGetDeclLength(const D3DVERTEXELEMENT9* declaration);
