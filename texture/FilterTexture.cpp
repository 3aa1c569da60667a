// D3DXFilterTexture: every level below a source level rebuilt from the levels above, for 2D textures, each face of
// a cube texture, and volume textures (through the volume loader, in three dimensions).
#include "platform/Bits.h"
#include "texture/D3DXTexture.h"

namespace tarn::texture {

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

}  // namespace tarn::texture

using namespace tarn::texture;

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
