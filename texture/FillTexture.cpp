// Procedural fills: the caller's function gives the colour of every texel of every level, from the texel's centre
// and size, and each level's codec encodes the result. Rows are produced a band at a time, so a fill needs memory
// for a band of four-float pixels, not for a whole level.
#include <algorithm>
#include <memory>

#include "texture/D3DXTexture.h"
#include "FloatRows.h"
#include "LoadCommon.h"

namespace tarn::texture {

namespace {

// Rows per band: a multiple of 4 so that block formats take whole blocks.
constexpr UINT kBandPixels = 64 * 1024;

UINT BandRows(UINT width) { return std::max<UINT>(4, (kBandPixels / std::max<UINT>(width, 1)) & ~3u); }

// Fills slice by slice and band by band: `texel(x, y, z, out)` gives one pixel.
template <typename Texel>
HRESULT FillLocked(BYTE* bits, UINT rowPitch, UINT slicePitch, D3DFORMAT format, UINT width, UINT height, UINT depth,
                   Texel texel) {
    ImageDesc level;
    level.memory = bits;
    level.format = format;
    level.rowPitch = rowPitch;
    level.slicePitch = slicePitch;
    level.box = {0, 0, width, height, 0, depth};
    const UINT bandRows = std::min(height, BandRows(width));
    std::unique_ptr<Float4[]> band = AllocateBuffer<Float4>(std::size_t{width} * bandRows, "D3DXFillTexture");
    if (!band) return E_OUTOFMEMORY;
    for (UINT z = 0; z < depth; ++z) {
        for (UINT top = 0; top < height; top += bandRows) {
            const UINT rows = std::min(bandRows, height - top);
            for (UINT y = 0; y < rows; ++y)
                for (UINT x = 0; x < width; ++x) texel(x, top + y, z, band[std::size_t{y} * width + x]);
            const HRESULT hr = WriteFloatRows(level, top, rows, z, band.get());
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

Float4 ToFloat4(const D3DXVECTOR4& v) { return {v.x, v.y, v.z, v.w}; }

// Fills one surface with a 2D function evaluated at texel centres across the surface (0..1).
HRESULT FillSurface(IDirect3DSurface9* surface, const D3DSURFACE_DESC& desc,
                    void (*texel)(UINT x, UINT y, const D3DSURFACE_DESC& desc, Float4& out, void* context),
                    void* context) {
    if (!HasPixelCodec(desc.Format)) return D3DERR_INVALIDCALL;
    SurfaceLock lock(surface, nullptr, 0);
    if (FAILED(lock.Result())) return lock.Result();
    return FillLocked(lock.Bits(), static_cast<UINT>(lock.Pitch()), 0, desc.Format, desc.Width, desc.Height, 1,
                      [&](UINT x, UINT y, UINT, Float4& out) { texel(x, y, desc, out, context); });
}

struct Fill2D {
    LPD3DXFILL2D function;
    void* data;
};

struct FillCube {
    LPD3DXFILL3D function;
    void* data;
    D3DCUBEMAP_FACES face;
};

// The direction through the centre of texel (x, y) of a cube face, on the cube of edge 2 (the face's own axis is
// +-1), with the face's right and down axes as its texels run.
D3DXVECTOR3 CubeDirection(D3DCUBEMAP_FACES face, float s, float t) {
    switch (face) {
    case D3DCUBEMAP_FACE_POSITIVE_X:
        return {1, -t, -s};
    case D3DCUBEMAP_FACE_NEGATIVE_X:
        return {-1, -t, s};
    case D3DCUBEMAP_FACE_POSITIVE_Y:
        return {s, 1, t};
    case D3DCUBEMAP_FACE_NEGATIVE_Y:
        return {s, -1, -t};
    case D3DCUBEMAP_FACE_POSITIVE_Z:
        return {s, -t, 1};
    default:
        return {-s, -t, -1};
    }
}

// A texel of a cube face spans 2 / edge along the two axes of its face and nothing along the face's own axis.
D3DXVECTOR3 CubeTexelSize(D3DCUBEMAP_FACES face, UINT edge) {
    const float step = 2.0f / static_cast<float>(edge);
    switch (face) {
    case D3DCUBEMAP_FACE_POSITIVE_X:
    case D3DCUBEMAP_FACE_NEGATIVE_X:
        return {0, step, step};
    case D3DCUBEMAP_FACE_POSITIVE_Y:
    case D3DCUBEMAP_FACE_NEGATIVE_Y:
        return {step, 0, step};
    default:
        return {step, step, 0};
    }
}

}  // namespace

}  // namespace tarn::texture

using namespace tarn::texture;

HRESULT D3DXFillTexture(IDirect3DTexture9* texture, LPD3DXFILL2D function, void* data) {
    if (texture == nullptr || function == nullptr) return D3DERR_INVALIDCALL;
    Fill2D fill = {function, data};
    const UINT levels = texture->GetLevelCount();
    for (UINT level = 0; level < levels; ++level) {
        D3DSURFACE_DESC desc = {};
        HRESULT hr = texture->GetLevelDesc(level, &desc);
        if (FAILED(hr)) return hr;
        IDirect3DSurface9* surface = nullptr;
        hr = texture->GetSurfaceLevel(level, &surface);
        if (FAILED(hr)) return hr;
        hr = FillSurface(
            surface, desc,
            [](UINT x, UINT y, const D3DSURFACE_DESC& d, Float4& out, void* context) {
                const Fill2D& f = *static_cast<const Fill2D*>(context);
                const D3DXVECTOR2 size(1.0f / static_cast<float>(d.Width), 1.0f / static_cast<float>(d.Height));
                const D3DXVECTOR2 coord((static_cast<float>(x) + 0.5f) * size.x,
                                        (static_cast<float>(y) + 0.5f) * size.y);
                D3DXVECTOR4 value(0, 0, 0, 0);
                f.function(&value, &coord, &size, f.data);
                out = ToFloat4(value);
            },
            &fill);
        surface->Release();
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT D3DXFillCubeTexture(IDirect3DCubeTexture9* cubeTexture, LPD3DXFILL3D function, void* data) {
    if (cubeTexture == nullptr || function == nullptr) return D3DERR_INVALIDCALL;
    const UINT levels = cubeTexture->GetLevelCount();
    for (UINT face = 0; face < 6; ++face) {
        FillCube fill = {function, data, static_cast<D3DCUBEMAP_FACES>(face)};
        for (UINT level = 0; level < levels; ++level) {
            D3DSURFACE_DESC desc = {};
            HRESULT hr = cubeTexture->GetLevelDesc(level, &desc);
            if (FAILED(hr)) return hr;
            IDirect3DSurface9* surface = nullptr;
            hr = cubeTexture->GetCubeMapSurface(fill.face, level, &surface);
            if (FAILED(hr)) return hr;
            hr = FillSurface(
                surface, desc,
                [](UINT x, UINT y, const D3DSURFACE_DESC& d, Float4& out, void* context) {
                    const FillCube& f = *static_cast<const FillCube*>(context);
                    const float edge = static_cast<float>(d.Width);
                    const float s = (static_cast<float>(x) + 0.5f) * 2.0f / edge - 1.0f;
                    const float t = (static_cast<float>(y) + 0.5f) * 2.0f / edge - 1.0f;
                    const D3DXVECTOR3 coord = CubeDirection(f.face, s, t);
                    const D3DXVECTOR3 size = CubeTexelSize(f.face, d.Width);
                    D3DXVECTOR4 value(0, 0, 0, 0);
                    f.function(&value, &coord, &size, f.data);
                    out = ToFloat4(value);
                },
                &fill);
            surface->Release();
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

HRESULT D3DXFillVolumeTexture(IDirect3DVolumeTexture9* volumeTexture, LPD3DXFILL3D function, void* data) {
    if (volumeTexture == nullptr || function == nullptr) return D3DERR_INVALIDCALL;
    const UINT levels = volumeTexture->GetLevelCount();
    for (UINT level = 0; level < levels; ++level) {
        D3DVOLUME_DESC desc = {};
        HRESULT hr = volumeTexture->GetLevelDesc(level, &desc);
        if (FAILED(hr)) return hr;
        if (!HasPixelCodec(desc.Format)) return D3DERR_INVALIDCALL;
        IDirect3DVolume9* volume = nullptr;
        hr = volumeTexture->GetVolumeLevel(level, &volume);
        if (FAILED(hr)) return hr;
        {
            VolumeLock lock(volume, nullptr, 0);
            hr = lock.Result();
            if (SUCCEEDED(hr)) {
                const D3DXVECTOR3 size(1.0f / static_cast<float>(desc.Width), 1.0f / static_cast<float>(desc.Height),
                                       1.0f / static_cast<float>(desc.Depth));
                hr = FillLocked(lock.Bits(), static_cast<UINT>(lock.RowPitch()), static_cast<UINT>(lock.SlicePitch()),
                                desc.Format, desc.Width, desc.Height, desc.Depth,
                                [&](UINT x, UINT y, UINT z, Float4& out) {
                                    const D3DXVECTOR3 coord((static_cast<float>(x) + 0.5f) * size.x,
                                                            (static_cast<float>(y) + 0.5f) * size.y,
                                                            (static_cast<float>(z) + 0.5f) * size.z);
                                    D3DXVECTOR4 value(0, 0, 0, 0);
                                    function(&value, &coord, &size, data);
                                    out = ToFloat4(value);
                                });
            }
        }
        volume->Release();
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}
