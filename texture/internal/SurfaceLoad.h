// Loading a surface or a volume from an image described as an ImageDesc (which, unlike a plain pointer and pitch,
// can say that rows are stored bottom row first). The public D3DXLoadSurfaceFromMemory and
// D3DXLoadVolumeFromMemory are these with a top-down image; LoadSurfaceFromImage is defined in SurfaceLoad.cpp,
// LoadVolumeFromImage in VolumeLoad.cpp, and neither unit calls the other.
#pragma once

#include "PixelCodec.h"

namespace tarn::texture {

// Locks `destRect` (the whole surface when null) with `lockFlags` and transfers `source.box` of `source` into it
// with `filter` (D3DX_DEFAULT: triangle with dither). D3DERR_INVALIDCALL for a null surface or a rectangle outside
// it. D3DLOCK_DISCARD suits only a surface whose old contents do not matter even if the transfer fails.
HRESULT LoadSurfaceFromImage(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette, const RECT* destRect,
                             const ImageDesc& source, DWORD filter, DWORD lockFlags = 0);

// Locks `destBox` of a volume (the whole volume when null) with `lockFlags` and transfers `source.box` of `source`
// into it with `filter` (D3DX_DEFAULT: triangle with dither). D3DERR_INVALIDCALL for a null volume or a box outside
// it. D3DLOCK_DISCARD as for surfaces.
HRESULT LoadVolumeFromImage(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette, const D3DBOX* destBox,
                            const ImageDesc& source, DWORD filter, DWORD lockFlags = 0);

}  // namespace tarn::texture
