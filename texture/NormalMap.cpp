// Normal maps from height fields. The source's level 0 is decoded (and resampled to the destination's size) into
// four floats per texel; the height of a texel is the chosen channel, or the mean of the chosen channels. The
// normal at a texel is normalize(-amplitude * dh/dx, -amplitude * dh/dy, 1), the slopes taken as central
// differences over the neighbours (x and y growing right and down, as the texels run), which wrap around the
// edges unless the mirror flags reflect them. Formats with signed or float channels receive the normal as it is,
// unsigned formats n * 0.5 + 0.5; alpha is 1.
#include <cmath>
#include <memory>

#include "texture/D3DXTexture.h"
#include "FloatRows.h"
#include "LoadCommon.h"

namespace tarn::texture {

namespace {

// Formats whose channels hold values below zero: the normal goes in unchanged.
bool HoldsNegativeValues(D3DFORMAT format) {
    if (LookUpFormatDesc(format).family == FormatFamily::Signed) return true;
    static const D3DFORMAT kFloatFormats[] = {D3DFMT_R16F, D3DFMT_G16R16F, D3DFMT_A16B16G16R16F,
                                              D3DFMT_R32F, D3DFMT_G32R32F, D3DFMT_A32B32G32R32F};
    for (D3DFORMAT f : kFloatFormats)
        if (f == format) return true;
    return false;
}

// The neighbour of texel i at distance one (step -1 or +1) along an axis of n texels: wrapped, or reflected about
// the edge (the texel beyond the edge is the edge texel itself, as mirror addressing samples it).
UINT Neighbour(UINT i, int step, UINT n, bool mirror) {
    if (step < 0 && i == 0) return mirror ? 0 : n - 1;
    if (step > 0 && i + 1 == n) return mirror ? n - 1 : 0;
    return step < 0 ? i - 1 : i + 1;
}

constexpr DWORD kAllChannels =
    D3DX_CHANNEL_RED | D3DX_CHANNEL_GREEN | D3DX_CHANNEL_BLUE | D3DX_CHANNEL_ALPHA | D3DX_CHANNEL_LUMINANCE;

float Height(const Float4& p, DWORD channel) {
    float sum = 0;
    int count = 0;
    if (channel & D3DX_CHANNEL_RED) sum += p.r, ++count;
    if (channel & D3DX_CHANNEL_GREEN) sum += p.g, ++count;
    if (channel & D3DX_CHANNEL_BLUE) sum += p.b, ++count;
    if (channel & D3DX_CHANNEL_ALPHA) sum += p.a, ++count;
    if (channel & D3DX_CHANNEL_LUMINANCE) sum += 0.2125f * p.r + 0.7154f * p.g + 0.0721f * p.b, ++count;
    return sum / static_cast<float>(count);
}

}  // namespace

}  // namespace tarn::texture

using namespace tarn::texture;

HRESULT D3DXComputeNormalMap(IDirect3DTexture9* texture, IDirect3DTexture9* srcTexture, const PALETTEENTRY* srcPalette,
                             DWORD flags, DWORD channel, FLOAT amplitude) {
    if (texture == nullptr || srcTexture == nullptr || texture == srcTexture) return D3DERR_INVALIDCALL;
    if (channel == 0 || (channel & ~kAllChannels) != 0) return D3DERR_INVALIDCALL;
    constexpr DWORD kKnownFlags = D3DX_NORMALMAP_MIRROR | D3DX_NORMALMAP_INVERTSIGN | D3DX_NORMALMAP_COMPUTE_OCCLUSION;
    if ((flags & ~kKnownFlags) != 0) return D3DERR_INVALIDCALL;
    // The occlusion term is not computed: a map without it would be a wrong answer, so the flag is refused.
    if (flags & D3DX_NORMALMAP_COMPUTE_OCCLUSION) return D3DERR_INVALIDCALL;

    D3DSURFACE_DESC destDesc = {}, srcDesc = {};
    HRESULT hr = texture->GetLevelDesc(0, &destDesc);
    if (SUCCEEDED(hr)) hr = srcTexture->GetLevelDesc(0, &srcDesc);
    if (FAILED(hr)) return hr;
    if (!HasPixelCodec(destDesc.Format) || !HasPixelCodec(srcDesc.Format)) return D3DERR_INVALIDCALL;
    const UINT width = destDesc.Width, height = destDesc.Height;
    const bool mirrorU = (flags & D3DX_NORMALMAP_MIRROR_U) != 0, mirrorV = (flags & D3DX_NORMALMAP_MIRROR_V) != 0;

    // The height field at the destination's size, resampled with the same edge rule as the slopes.
    const std::size_t count = std::size_t{width} * height;
    std::unique_ptr<Float4[]> texels = AllocateBuffer<Float4>(count, "D3DXComputeNormalMap");
    std::unique_ptr<float[]> heights = AllocateBuffer<float>(count, "D3DXComputeNormalMap");
    if (!texels || !heights) return E_OUTOFMEMORY;
    {
        IDirect3DSurface9* source = nullptr;
        hr = srcTexture->GetSurfaceLevel(0, &source);
        if (FAILED(hr)) return hr;
        {
            SurfaceLock lock(source, nullptr, D3DLOCK_READONLY);
            hr = lock.Result();
            if (SUCCEEDED(hr)) {
                ImageDesc from;
                from.memory = lock.Bits();
                from.format = srcDesc.Format;
                from.rowPitch = static_cast<UINT>(lock.Pitch());
                from.box = {0, 0, srcDesc.Width, srcDesc.Height, 0, 1};
                from.palette = srcPalette;
                ImageDesc to;
                to.memory = reinterpret_cast<BYTE*>(texels.get());
                to.format = D3DFMT_A32B32G32R32F;
                to.rowPitch = width * static_cast<UINT>(sizeof(Float4));
                to.box = {0, 0, width, height, 0, 1};
                const DWORD filter =
                    (srcDesc.Width == width && srcDesc.Height == height ? D3DX_FILTER_NONE : D3DX_FILTER_TRIANGLE) |
                    (mirrorU ? D3DX_FILTER_MIRROR_U : 0) | (mirrorV ? D3DX_FILTER_MIRROR_V : 0);
                hr = BlitImage(to, from, filter);
            }
        }
        source->Release();
        if (FAILED(hr)) return hr;
    }
    for (std::size_t i = 0; i < count; ++i) heights[i] = Height(texels[i], channel);

    const float sign = (flags & D3DX_NORMALMAP_INVERTSIGN) ? -1.0f : 1.0f;
    const bool asIs = HoldsNegativeValues(destDesc.Format);
    const float scale = asIs ? 1.0f : 0.5f, bias = asIs ? 0.0f : 0.5f;
    for (UINT y = 0; y < height; ++y) {
        const float* row = heights.get() + std::size_t{y} * width;
        const float* up = heights.get() + std::size_t{Neighbour(y, -1, height, mirrorV)} * width;
        const float* down = heights.get() + std::size_t{Neighbour(y, 1, height, mirrorV)} * width;
        for (UINT x = 0; x < width; ++x) {
            const float dx = (row[Neighbour(x, 1, width, mirrorU)] - row[Neighbour(x, -1, width, mirrorU)]) * 0.5f;
            const float dy = (down[x] - up[x]) * 0.5f;
            float nx = -sign * amplitude * dx, ny = -sign * amplitude * dy, nz = 1.0f;
            const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
            nx /= length, ny /= length, nz /= length;
            texels[std::size_t{y} * width + x] = {nx * scale + bias, ny * scale + bias, nz * scale + bias, 1.0f};
        }
    }

    IDirect3DSurface9* dest = nullptr;
    hr = texture->GetSurfaceLevel(0, &dest);
    if (FAILED(hr)) return hr;
    {
        SurfaceLock lock(dest, nullptr, 0);
        hr = lock.Result();
        if (SUCCEEDED(hr)) {
            ImageDesc level;
            level.memory = lock.Bits();
            level.format = destDesc.Format;
            level.rowPitch = static_cast<UINT>(lock.Pitch());
            level.box = {0, 0, width, height, 0, 1};
            hr = WriteFloatRows(level, 0, height, 0, texels.get());
        }
    }
    dest->Release();
    return hr;
}
