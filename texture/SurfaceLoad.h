// Loading a surface from an image described as an ImageDesc (which, unlike a plain pointer and pitch, can say
// that rows are stored bottom row first). The public D3DXLoadSurfaceFromMemory is this with a top-down image.
#pragma once

#include "texture/PixelCodec.h"

// Locks `destRect` (the whole surface when null) and transfers `source.box` of `source` into it with `filter`
// (D3DX_DEFAULT: triangle with dither). D3DERR_INVALIDCALL for a null surface or a rectangle outside it.
HRESULT LoadSurfaceFromImage(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette, const RECT* destRect,
                             const ImageDesc& source, DWORD filter);
