// Loading volumes from memory and from other volumes: the surface loaders' rules with a third axis. The transfer
// core already reads and writes boxes with depth, so a volume is one more lock around the same BlitImage.
#include <cstring>
#include <memory>
#include <new>

#include "texture/D3DXTexture.h"
#include "BlitImage.h"
#include "LoadCommon.h"
#include "SurfaceLoad.h"

namespace tarn::texture {

namespace {

bool ValidBox(const D3DBOX& b, UINT width, UINT height, UINT depth) {
    return b.Left <= b.Right && b.Top <= b.Bottom && b.Front <= b.Back && b.Right <= width && b.Bottom <= height &&
           b.Back <= depth;
}

}  // namespace

HRESULT LoadVolumeFromImage(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette, const D3DBOX* destBox,
                            const ImageDesc& source, DWORD filter, DWORD lockFlags) {
    if (destVolume == nullptr) return D3DERR_INVALIDCALL;
    D3DVOLUME_DESC desc = {};
    HRESULT hr = destVolume->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    const D3DBOX whole = {0, 0, desc.Width, desc.Height, 0, desc.Depth};
    const D3DBOX target = destBox != nullptr ? *destBox : whole;
    if (!ValidBox(target, desc.Width, desc.Height, desc.Depth)) return D3DERR_INVALIDCALL;
    if (filter == D3DX_DEFAULT) filter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;

    VolumeLock lock(destVolume, destBox != nullptr ? &target : nullptr, lockFlags);
    if (FAILED(lock.Result())) return lock.Result();

    ImageDesc dest;
    dest.memory = lock.Bits();
    dest.format = desc.Format;
    dest.rowPitch = static_cast<UINT>(lock.RowPitch());
    dest.slicePitch = static_cast<UINT>(lock.SlicePitch());
    dest.box = {0, 0, target.Right - target.Left, target.Bottom - target.Top, 0, target.Back - target.Front};
    dest.palette = destPalette;
    return BlitImage(dest, source, filter);
}

}  // namespace tarn::texture

using namespace tarn::texture;

HRESULT D3DXLoadVolumeFromMemory(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette, const D3DBOX* destBox,
                                 const void* srcMemory, D3DFORMAT srcFormat, UINT srcRowPitch, UINT srcSlicePitch,
                                 const PALETTEENTRY* srcPalette, const D3DBOX* srcBox, DWORD filter,
                                 D3DCOLOR colorKey) {
    if (destVolume == nullptr || srcMemory == nullptr || srcBox == nullptr) return D3DERR_INVALIDCALL;
    if (srcBox->Right < srcBox->Left || srcBox->Bottom < srcBox->Top || srcBox->Back < srcBox->Front) {
        return D3DERR_INVALIDCALL;
    }
    ImageDesc source;
    source.memory = static_cast<BYTE*>(const_cast<void*>(srcMemory));
    source.format = srcFormat;
    source.rowPitch = srcRowPitch;
    source.slicePitch = srcSlicePitch;
    source.box = {srcBox->Left, srcBox->Top, srcBox->Right, srcBox->Bottom, srcBox->Front, srcBox->Back};
    source.palette = srcPalette;
    source.colorKey = colorKey;
    return LoadVolumeFromImage(destVolume, destPalette, destBox, source, filter);
}

// Direct3D 9 has no device call that copies part of one volume into another (UpdateTexture moves whole
// textures), so unlike surfaces every volume transfer goes through a lock: a destination in D3DPOOL_DEFAULT
// without D3DUSAGE_DYNAMIC therefore fails with the lock's result.
HRESULT D3DXLoadVolumeFromVolume(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette, const D3DBOX* destBox,
                                 IDirect3DVolume9* srcVolume, const PALETTEENTRY* srcPalette, const D3DBOX* srcBox,
                                 DWORD filter, D3DCOLOR colorKey) {
    if (destVolume == nullptr || srcVolume == nullptr) return D3DERR_INVALIDCALL;
    D3DVOLUME_DESC destDesc = {}, srcDesc = {};
    HRESULT hr = destVolume->GetDesc(&destDesc);
    if (FAILED(hr)) return hr;
    hr = srcVolume->GetDesc(&srcDesc);
    if (FAILED(hr)) return hr;
    const D3DBOX srcWhole = {0, 0, srcDesc.Width, srcDesc.Height, 0, srcDesc.Depth};
    const D3DBOX destWhole = {0, 0, destDesc.Width, destDesc.Height, 0, destDesc.Depth};
    const D3DBOX from = srcBox != nullptr ? *srcBox : srcWhole;
    const D3DBOX to = destBox != nullptr ? *destBox : destWhole;
    if (!ValidBox(from, srcDesc.Width, srcDesc.Height, srcDesc.Depth) ||
        !ValidBox(to, destDesc.Width, destDesc.Height, destDesc.Depth)) {
        return D3DERR_INVALIDCALL;
    }

    const UINT width = from.Right - from.Left, height = from.Bottom - from.Top, depth = from.Back - from.Front;
    std::size_t rowBytes = 0;
    UINT rows = 0;
    StoredSize(srcDesc.Format, width, height, rowBytes, rows);
    const D3DBOX local = {0, 0, width, height, 0, depth};
    std::unique_ptr<BYTE[]> copy;
    {
        VolumeLock lock(srcVolume, &from, D3DLOCK_READONLY);
        if (FAILED(lock.Result())) return lock.Result();
        if (srcVolume == destVolume) {
            // Reading and writing one volume: read from a copy of the source box, made while locked.
            copy.reset(new (std::nothrow) BYTE[rowBytes * rows * depth + 1]);
            if (!copy) return E_OUTOFMEMORY;
            for (UINT z = 0; z < depth; ++z) {
                const BYTE* slice = lock.Bits() + static_cast<std::ptrdiff_t>(z) * lock.SlicePitch();
                for (UINT y = 0; y < rows; ++y) {
                    std::memcpy(copy.get() + (static_cast<std::size_t>(z) * rows + y) * rowBytes,
                                slice + static_cast<std::ptrdiff_t>(y) * lock.RowPitch(), rowBytes);
                }
            }
        } else {
            hr = D3DXLoadVolumeFromMemory(destVolume, destPalette, destBox, lock.Bits(), srcDesc.Format,
                                          static_cast<UINT>(lock.RowPitch()), static_cast<UINT>(lock.SlicePitch()),
                                          srcPalette, &local, filter, colorKey);
        }
    }
    if (copy) {
        hr = D3DXLoadVolumeFromMemory(destVolume, destPalette, destBox, copy.get(), srcDesc.Format,
                                      static_cast<UINT>(rowBytes), static_cast<UINT>(rowBytes * rows), srcPalette,
                                      &local, filter, colorKey);
    }
    return DeviceLostAfterRead(hr, srcVolume, srcDesc.Pool, destDesc.Pool);
}
