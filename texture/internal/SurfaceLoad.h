// Loading a surface or a volume from an image described as an ImageDesc (which, unlike a plain pointer and pitch,
// can say that rows are stored bottom row first). The public D3DXLoadSurfaceFromMemory and
// D3DXLoadVolumeFromMemory are these with a top-down image.
#pragma once

#include <cstddef>

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

// Stored bytes of a w x h rectangle of `format`: the length of one stored row (of pixels, 4 x 4 blocks or pixel
// pairs) and how many stored rows there are.
void StoredSize(D3DFORMAT format, UINT w, UINT h, std::size_t& rowBytes, UINT& rows);

// Palettes that hold the same 256 entries (or are both null, or the same pointer).
bool SamePalettes(const PALETTEENTRY* a, const PALETTEENTRY* b);

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

// Locks a volume (or a box of it) for the lifetime of the object and unlocks on every path.
class VolumeLock {
public:
    VolumeLock(IDirect3DVolume9* volume, const D3DBOX* box, DWORD flags) : volume_(volume) {
        result_ = volume->LockBox(&locked_, box, flags);
    }
    ~VolumeLock() {
        if (SUCCEEDED(result_)) volume_->UnlockBox();
    }
    VolumeLock(const VolumeLock&) = delete;
    VolumeLock& operator=(const VolumeLock&) = delete;
    HRESULT Result() const { return result_; }
    BYTE* Bits() const { return static_cast<BYTE*>(locked_.pBits); }
    INT RowPitch() const { return locked_.RowPitch; }
    INT SlicePitch() const { return locked_.SlicePitch; }

private:
    IDirect3DVolume9* volume_;
    D3DLOCKED_BOX locked_ = {};
    HRESULT result_;
};

}  // namespace tarn::texture
