// What the surface and volume loaders, the mip-chain filter and texture creation share: the stored size of a
// rectangle, palette comparison, locks that unlock on every path, and the device-lost check after reading from
// default-pool memory.
#pragma once

#include <cstddef>

#include "platform/d3d9/D3D9.h"

namespace tarn::texture {

// Stored bytes of a w x h rectangle of `format`: the length of one stored row (of pixels, 4 x 4 blocks or pixel
// pairs) and how many stored rows there are.
void StoredSize(D3DFORMAT format, UINT w, UINT h, std::size_t& rowBytes, UINT& rows);

// Palettes that hold the same 256 entries (or are both null, or the same pointer).
bool SamePalettes(const PALETTEENTRY* a, const PALETTEENTRY* b);

// A read from a D3DPOOL_DEFAULT surface or volume into another pool fails with D3DERR_DEVICELOST while the device
// that owns the source is lost: `hr` when it succeeded and the device is fine (or cannot be asked), else that.
template <typename Source>
HRESULT DeviceLostAfterRead(HRESULT hr, Source* source, D3DPOOL sourcePool, D3DPOOL destPool) {
    if (FAILED(hr) || sourcePool != D3DPOOL_DEFAULT || destPool == D3DPOOL_DEFAULT) return hr;
    IDirect3DDevice9* device = nullptr;
    if (SUCCEEDED(source->GetDevice(&device)) && device != nullptr) {
        if (device->TestCooperativeLevel() != 0) hr = D3DERR_DEVICELOST;
        device->Release();
    }
    return hr;
}

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
