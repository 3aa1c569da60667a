// Loading surfaces from memory and from other surfaces, and building mip chains from a texture's own levels.
#include <cstring>
#include <memory>
#include <new>

#include "math/D3DXMath.h"
#include "platform/Bits.h"
#include "texture/D3DXTexture.h"
#include "BlitImage.h"
#include "FormatTable.h"
#include "SurfaceLoad.h"

namespace tarn::texture {

namespace {

bool ValidRect(const RECT& r, UINT width, UINT height) {
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom &&
           static_cast<UINT>(r.right) <= width && static_cast<UINT>(r.bottom) <= height;
}

}  // namespace

bool SamePalettes(const PALETTEENTRY* a, const PALETTEENTRY* b) {
    if (a == b) return true;
    if (a == nullptr || b == nullptr) return false;
    return std::memcmp(a, b, 256 * sizeof(PALETTEENTRY)) == 0;
}

void StoredSize(D3DFORMAT format, UINT w, UINT h, std::size_t& rowBytes, UINT& rows) {
    if (IsBlockFormat(format)) {
        rowBytes = static_cast<std::size_t>((w + 3) / 4) * (format == D3DFMT_DXT1 ? 8 : 16);
        rows = (h + 3) / 4;
    } else if (IsPackedPairFormat(format)) {
        rowBytes = static_cast<std::size_t>((w + 1) / 2) * 4;
        rows = h;
    } else {
        rowBytes = static_cast<std::size_t>(w) * (LookUpFormatDesc(format).bits / 8);
        rows = h;
    }
}

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
    if (SUCCEEDED(hr) && srcDesc.Pool == D3DPOOL_DEFAULT && destDesc.Pool != D3DPOOL_DEFAULT) {
        IDirect3DDevice9* device = nullptr;
        if (SUCCEEDED(srcSurface->GetDevice(&device)) && device != nullptr) {
            if (device->TestCooperativeLevel() != 0) hr = D3DERR_DEVICELOST;
            device->Release();
        }
    }
    return hr;
}

namespace {

// Fills levels srcLevel + 1 ... levels - 1 of one face (or of a volume texture's chain) through `getLevel`
// (surface or volume of a level) and `load` (level from level). POINT and BOX chain each finished level into the
// source of the next; other filters make every level from srcLevel.
template <typename Level, typename GetLevel, typename Load>
HRESULT FilterLevels(UINT srcLevel, UINT levels, bool chain, GetLevel getLevel, Load load) {
    Level* source = nullptr;
    HRESULT hr = getLevel(srcLevel, &source);
    if (FAILED(hr)) return hr;
    for (UINT level = srcLevel + 1; level < levels; ++level) {
        Level* target = nullptr;
        hr = getLevel(level, &target);
        if (FAILED(hr)) break;
        hr = load(target, source);
        if (FAILED(hr)) {
            target->Release();
            break;
        }
        if (chain) {
            source->Release();
            source = target;
        } else {
            target->Release();
        }
    }
    source->Release();
    return FAILED(hr) ? hr : S_OK;
}

}  // namespace

HRESULT D3DXFilterTexture(IDirect3DBaseTexture9* baseTexture, const PALETTEENTRY* palette, UINT srcLevel,
                          DWORD filter) {
    if (baseTexture == nullptr) return D3DERR_INVALIDCALL;
    const D3DRESOURCETYPE type = baseTexture->GetType();
    if (type != D3DRTYPE_TEXTURE && type != D3DRTYPE_VOLUMETEXTURE && type != D3DRTYPE_CUBETEXTURE) {
        return D3DERR_INVALIDCALL;
    }
    // Each interface pointer is formed only for the type the texture has.
    auto* texture = type == D3DRTYPE_TEXTURE ? static_cast<IDirect3DTexture9*>(baseTexture) : nullptr;
    auto* cube = type == D3DRTYPE_CUBETEXTURE ? static_cast<IDirect3DCubeTexture9*>(baseTexture) : nullptr;
    auto* volume = type == D3DRTYPE_VOLUMETEXTURE ? static_cast<IDirect3DVolumeTexture9*>(baseTexture) : nullptr;

    if (filter == D3DX_DEFAULT) {
        HRESULT hr;
        bool pow2;
        if (type == D3DRTYPE_VOLUMETEXTURE) {
            D3DVOLUME_DESC desc = {};
            hr = volume->GetLevelDesc(0, &desc);
            pow2 = tarn::IsPowerOfTwo(desc.Width) && tarn::IsPowerOfTwo(desc.Height) && tarn::IsPowerOfTwo(desc.Depth);
        } else {
            D3DSURFACE_DESC desc = {};
            hr = type == D3DRTYPE_CUBETEXTURE ? cube->GetLevelDesc(0, &desc) : texture->GetLevelDesc(0, &desc);
            pow2 = tarn::IsPowerOfTwo(desc.Width) && tarn::IsPowerOfTwo(desc.Height);
        }
        if (FAILED(hr)) return hr;
        filter = pow2 ? D3DX_FILTER_BOX : (D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER);
    }
    // A cube face's edge texels border another face, not the opposite edge of their own face: never wrap.
    if (type == D3DRTYPE_CUBETEXTURE) filter |= D3DX_FILTER_MIRROR;
    if (filter & D3DX_FILTER_SRGB_OUT) {
        filter |= D3DX_FILTER_SRGB;
    } else {
        filter &= ~static_cast<DWORD>(D3DX_FILTER_SRGB);
    }
    if (srcLevel == D3DX_DEFAULT) srcLevel = 0;
    const UINT levels = baseTexture->GetLevelCount();
    if (srcLevel >= levels) return D3DERR_INVALIDCALL;

    const UINT kind = filter & 0xFFFF;
    const bool chain = kind == D3DX_FILTER_POINT || kind == D3DX_FILTER_BOX;
    if (type == D3DRTYPE_VOLUMETEXTURE) {
        return FilterLevels<IDirect3DVolume9>(
            srcLevel, levels, chain, [&](UINT level, IDirect3DVolume9** v) { return volume->GetVolumeLevel(level, v); },
            [&](IDirect3DVolume9* to, IDirect3DVolume9* from) {
                return D3DXLoadVolumeFromVolume(to, palette, nullptr, from, palette, nullptr, filter, 0);
            });
    }
    auto load = [&](IDirect3DSurface9* to, IDirect3DSurface9* from) {
        return D3DXLoadSurfaceFromSurface(to, palette, nullptr, from, palette, nullptr, filter, 0);
    };
    if (type == D3DRTYPE_TEXTURE) {
        return FilterLevels<IDirect3DSurface9>(
            srcLevel, levels, chain,
            [&](UINT level, IDirect3DSurface9** s) { return texture->GetSurfaceLevel(level, s); }, load);
    }
    for (int face = D3DCUBEMAP_FACE_POSITIVE_X; face <= D3DCUBEMAP_FACE_NEGATIVE_Z; ++face) {
        const HRESULT hr = FilterLevels<IDirect3DSurface9>(
            srcLevel, levels, chain,
            [&](UINT level, IDirect3DSurface9** s) {
                return cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, s);
            },
            load);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}
