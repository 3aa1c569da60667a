// The plain Direct3D 9 value types that the math library builds on; the full interface set is in D3D9.h.
#pragma once

#include "platform/win32/Win32.h"

using D3DCOLOR = DWORD;
#define D3DCOLOR_ARGB(a, r, g, b)                                                                   \
    (static_cast<D3DCOLOR>(((static_cast<DWORD>(a) & 0xff) << 24) | ((static_cast<DWORD>(r) & 0xff) << 16) | \
                           ((static_cast<DWORD>(g) & 0xff) << 8) | (static_cast<DWORD>(b) & 0xff)))
#define D3DCOLOR_RGBA(r, g, b, a) D3DCOLOR_ARGB(a, r, g, b)
#define D3DCOLOR_XRGB(r, g, b) D3DCOLOR_ARGB(0xff, r, g, b)

struct D3DVECTOR {
    float x, y, z;
};

struct D3DCOLORVALUE {
    float r, g, b, a;
};

struct D3DRECT {
    LONG x1, y1, x2, y2;
};

// Row-major, row vectors multiplied from the left; translation in _41 _42 _43.
struct D3DMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
};

struct D3DVIEWPORT9 {
    DWORD X, Y;
    DWORD Width, Height;
    float MinZ, MaxZ;
};

static_assert(sizeof(D3DVECTOR) == 12 && sizeof(D3DCOLORVALUE) == 16 && sizeof(D3DMATRIX) == 64 &&
              sizeof(D3DVIEWPORT9) == 24);
