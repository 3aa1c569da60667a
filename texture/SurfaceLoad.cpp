// Loading surfaces from memory and from other surfaces.
#include <cstring>
#include <memory>
#include <new>

#include "math/D3DXMath.h"
#include "texture/D3DXTexture.h"
#include "BlitImage.h"
#include "LoadCommon.h"
#include "SurfaceLoad.h"

namespace tarn::texture {

namespace {

bool ValidRect(const RECT& r, UINT width, UINT height) {
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom &&
           static_cast<UINT>(r.right) <= width && static_cast<UINT>(r.bottom) <= height;
}

}  // namespace

HRESULT LoadSurfaceFromImage(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette, const RECT* destRect,
                             const ImageDesc& source, DWORD filter, DWORD lockFlags) {
    if (destSurface == nullptr) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc = {};
    HRESULT hr = destSurface->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    const RECT whole = {0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    const RECT target = destRect != nullptr ? *destRect : whole;
    if (!ValidRect(target, desc.Width, desc.Height)) return D3DERR_INVALIDCALL;
    if (filter == D3DX_DEFAULT) filter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;

    SurfaceLock lock(destSurface, destRect != nullptr ? &target : nullptr, lockFlags);
    if (FAILED(lock.Result())) return lock.Result();

    ImageDesc dest;
    dest.memory = lock.Bits();
    dest.format = desc.Format;
    dest.rowPitch = static_cast<UINT>(lock.Pitch());
    dest.slicePitch = 0;
    dest.box = {0, 0, static_cast<UINT>(target.right - target.left), static_cast<UINT>(target.bottom - target.top), 0, 1};
    dest.palette = destPalette;
    return BlitImage(dest, source, filter);
}

}  // namespace tarn::texture

using namespace tarn::texture;

HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                  const RECT* destRect, const void* srcMemory, D3DFORMAT srcFormat, UINT srcPitch,
                                  const PALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter,
                                  D3DCOLOR colorKey) {
    if (destSurface == nullptr || srcMemory == nullptr || srcRect == nullptr) return D3DERR_INVALIDCALL;
    if (srcRect->left < 0 || srcRect->top < 0 || srcRect->right < srcRect->left || srcRect->bottom < srcRect->top) {
        return D3DERR_INVALIDCALL;
    }
    ImageDesc source;
    source.memory = static_cast<BYTE*>(const_cast<void*>(srcMemory));
    source.format = srcFormat;
    source.rowPitch = srcPitch;
    source.slicePitch = 0;
    source.box = {static_cast<UINT>(srcRect->left), static_cast<UINT>(srcRect->top), static_cast<UINT>(srcRect->right),
                  static_cast<UINT>(srcRect->bottom), 0, 1};
    source.palette = srcPalette;
    source.colorKey = colorKey;
    return LoadSurfaceFromImage(destSurface, destPalette, destRect, source, filter);
}

HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                   const RECT* destRect, IDirect3DSurface9* srcSurface,
                                   const PALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter,
                                   D3DCOLOR colorKey) {
    if (destSurface == nullptr || srcSurface == nullptr) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC destDesc = {}, srcDesc = {};
    HRESULT hr = destSurface->GetDesc(&destDesc);
    if (FAILED(hr)) return hr;
    hr = srcSurface->GetDesc(&srcDesc);
    if (FAILED(hr)) return hr;
    const RECT srcWhole = {0, 0, static_cast<LONG>(srcDesc.Width), static_cast<LONG>(srcDesc.Height)};
    const RECT destWhole = {0, 0, static_cast<LONG>(destDesc.Width), static_cast<LONG>(destDesc.Height)};
    const RECT from = srcRect != nullptr ? *srcRect : srcWhole;
    const RECT to = destRect != nullptr ? *destRect : destWhole;
    if (!ValidRect(from, srcDesc.Width, srcDesc.Height) || !ValidRect(to, destDesc.Width, destDesc.Height)) {
        return D3DERR_INVALIDCALL;
    }

    // Let the device copy between its own memory when nothing needs converting or filtering.
    if ((filter & 0xFFFF) != D3DX_FILTER_BOX && colorKey == 0 && SamePalettes(destPalette, srcPalette) &&
        from.right - from.left == to.right - to.left && from.bottom - from.top == to.bottom - to.top &&
        destDesc.Pool == D3DPOOL_DEFAULT &&
        (srcDesc.Pool == D3DPOOL_DEFAULT || srcDesc.Pool == D3DPOOL_SYSTEMMEM)) {
        IDirect3DDevice9* device = nullptr;
        if (SUCCEEDED(destSurface->GetDevice(&device)) && device != nullptr) {
            MuteDebugOutput(TRUE);
            HRESULT copied;
            if (srcDesc.Pool == D3DPOOL_DEFAULT) {
                copied = device->StretchRect(srcSurface, &from, destSurface, &to, D3DTEXF_NONE);
            } else {
                const POINT topLeft = {to.left, to.top};
                copied = device->UpdateSurface(srcSurface, &from, destSurface, &topLeft);
            }
            MuteDebugOutput(FALSE);
            device->Release();
            if (SUCCEEDED(copied)) return S_OK;
        }
    }

    std::size_t rowBytes = 0;
    UINT rows = 0;
    StoredSize(srcDesc.Format, static_cast<UINT>(from.right - from.left), static_cast<UINT>(from.bottom - from.top),
               rowBytes, rows);
    const RECT local = {0, 0, from.right - from.left, from.bottom - from.top};
    std::unique_ptr<BYTE[]> copy;
    {
        SurfaceLock lock(srcSurface, &from, D3DLOCK_READONLY);
        if (FAILED(lock.Result())) return lock.Result();
        if (srcSurface == destSurface) {
            // Reading and writing one surface: read from a copy of the source rectangle, made while locked.
            copy.reset(new (std::nothrow) BYTE[rowBytes * rows + 1]);
            if (!copy) return E_OUTOFMEMORY;
            for (UINT y = 0; y < rows; ++y) {
                std::memcpy(copy.get() + y * rowBytes, lock.Bits() + static_cast<std::ptrdiff_t>(y) * lock.Pitch(),
                            rowBytes);
            }
        } else {
            hr = D3DXLoadSurfaceFromMemory(destSurface, destPalette, destRect, lock.Bits(), srcDesc.Format,
                                           static_cast<UINT>(lock.Pitch()), srcPalette, &local, filter, colorKey);
        }
    }
    if (copy) {
        hr = D3DXLoadSurfaceFromMemory(destSurface, destPalette, destRect, copy.get(), srcDesc.Format,
                                       static_cast<UINT>(rowBytes), srcPalette, &local, filter, colorKey);
    }
    return DeviceLostAfterRead(hr, srcSurface, srcDesc.Pool, destDesc.Pool);
}
