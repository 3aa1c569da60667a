// Loading a surface from an image described as an ImageDesc (which, unlike a plain pointer and pitch, can say
// that rows are stored bottom row first). The public D3DXLoadSurfaceFromMemory is this with a top-down image.
#pragma once

#include "texture/PixelCodec.h"

namespace tarn::texture {

// Locks `destRect` (the whole surface when null) with `lockFlags` and transfers `source.box` of `source` into it
// with `filter` (D3DX_DEFAULT: triangle with dither). D3DERR_INVALIDCALL for a null surface or a rectangle outside
// it. D3DLOCK_DISCARD suits only a surface whose old contents do not matter even if the transfer fails.
HRESULT LoadSurfaceFromImage(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette, const RECT* destRect,
                             const ImageDesc& source, DWORD filter, DWORD lockFlags = 0);

// Locks a surface (or a rectangle of it) for the lifetime of the object and unlocks on every path.
class SurfaceLock {
public:
    SurfaceLock(IDirect3DSurface9* surface, const RECT* rect, DWORD flags) : surface_(surface) {
        result_ = surface->LockRect(&locked_, rect, flags);
    }
    ~SurfaceLock() {
        if (SUCCEEDED(result_)) surface_->UnlockRect();
    }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;
    HRESULT Result() const { return result_; }
    BYTE* Bits() const { return static_cast<BYTE*>(locked_.pBits); }
    INT Pitch() const { return locked_.Pitch; }

private:
    IDirect3DSurface9* surface_;
    D3DLOCKED_RECT locked_ = {};
    HRESULT result_;
};

}  // namespace tarn::texture
