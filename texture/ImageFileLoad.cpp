// Image files asked what they hold, and loaded into existing surfaces and volumes. Each call reads the file with
// ReadImage (the header alone for the info calls) and hands the top level of the first face to the surface or
// volume loader; a 2D surface takes the first slice of a volume file.
#include "texture/D3DXTexture.h"
#include "ImageReader.h"
#include "MappedFile.h"
#include "SurfaceLoad.h"

namespace tarn::texture {

namespace {

// The file's top level as a transfer source: `box` (already checked against it) of its first face, with the
// file's palette and the caller's colour key.
ImageDesc TopLevel(const DecodedImage& image, const ImageBox& box, D3DCOLOR colorKey) {
    ImageDesc source;
    source.memory = const_cast<BYTE*>(image.pixels);
    source.format = image.format;
    source.rowPitch = image.rowPitch;
    source.slicePitch = image.slicePitch;
    source.box = box;
    source.palette = image.palette;
    source.colorKey = colorKey;
    source.rowsUpward = image.rowsUpward;
    return source;
}

// Reads the whole image and reports it through `srcInfo` when given.
HRESULT ReadWhole(DecodedImage& image, const void* data, UINT size, D3DXIMAGE_INFO* srcInfo) {
    D3DXIMAGE_INFO info = {};
    const HRESULT hr = ReadImage(image, data, size, &info, true);
    if (FAILED(hr)) return hr;
    if (image.pixels == nullptr) return D3DXERR_INVALIDDATA;
    if (srcInfo != nullptr) *srcInfo = info;
    return S_OK;
}

// Runs `load` on the bytes of `srcFile`, mapped for the duration of the call.
template <typename Load>
HRESULT WithFile(const char* srcFile, Load load) {
    if (srcFile == nullptr) return D3DERR_INVALIDCALL;
    MappedFile file;
    const HRESULT hr = file.Open(srcFile);
    if (FAILED(hr)) return hr;
    return load(file.Data(), file.Size());
}

}  // namespace

}  // namespace tarn::texture

using namespace tarn::texture;

HRESULT D3DXGetImageInfoFromFileInMemory(const void* srcData, UINT srcDataSize, D3DXIMAGE_INFO* srcInfo) {
    if (srcData == nullptr || srcDataSize == 0 || srcInfo == nullptr) return D3DERR_INVALIDCALL;
    DecodedImage image;
    D3DXIMAGE_INFO info = {};
    const HRESULT hr = ReadImage(image, srcData, srcDataSize, &info, false);
    if (SUCCEEDED(hr)) *srcInfo = info;
    return hr;
}

HRESULT D3DXGetImageInfoFromFileA(const char* srcFile, D3DXIMAGE_INFO* srcInfo) {
    if (srcInfo == nullptr) return D3DERR_INVALIDCALL;
    return WithFile(srcFile,
                    [&](const BYTE* data, UINT size) { return D3DXGetImageInfoFromFileInMemory(data, size, srcInfo); });
}

HRESULT D3DXLoadSurfaceFromFileInMemory(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                        const RECT* destRect, const void* srcData, UINT srcDataSize,
                                        const RECT* srcRect, DWORD filter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo) {
    if (destSurface == nullptr || srcData == nullptr || srcDataSize == 0) return D3DERR_INVALIDCALL;
    DecodedImage image;
    const HRESULT hr = ReadWhole(image, srcData, srcDataSize, srcInfo);
    if (FAILED(hr)) return hr;
    ImageBox box = {0, 0, image.width, image.height, 0, 1};
    if (srcRect != nullptr) {
        const RECT& r = *srcRect;
        if (r.left < 0 || r.top < 0 || r.right < r.left || r.bottom < r.top ||
            static_cast<UINT>(r.right) > image.width || static_cast<UINT>(r.bottom) > image.height) {
            return D3DERR_INVALIDCALL;
        }
        box = {static_cast<UINT>(r.left),
               static_cast<UINT>(r.top),
               static_cast<UINT>(r.right),
               static_cast<UINT>(r.bottom),
               0,
               1};
    }
    return LoadSurfaceFromImage(destSurface, destPalette, destRect, TopLevel(image, box, colorKey), filter);
}

HRESULT D3DXLoadSurfaceFromFileA(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette, const RECT* destRect,
                                 const char* srcFile, const RECT* srcRect, DWORD filter, D3DCOLOR colorKey,
                                 D3DXIMAGE_INFO* srcInfo) {
    if (destSurface == nullptr) return D3DERR_INVALIDCALL;
    return WithFile(srcFile, [&](const BYTE* data, UINT size) {
        return D3DXLoadSurfaceFromFileInMemory(destSurface, destPalette, destRect, data, size, srcRect, filter,
                                               colorKey, srcInfo);
    });
}

HRESULT D3DXLoadVolumeFromFileInMemory(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette,
                                       const D3DBOX* destBox, const void* srcData, UINT srcDataSize,
                                       const D3DBOX* srcBox, DWORD filter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo) {
    if (destVolume == nullptr || srcData == nullptr || srcDataSize == 0) return D3DERR_INVALIDCALL;
    DecodedImage image;
    const HRESULT hr = ReadWhole(image, srcData, srcDataSize, srcInfo);
    if (FAILED(hr)) return hr;
    ImageBox box = {0, 0, image.width, image.height, 0, image.depth};
    if (srcBox != nullptr) {
        const D3DBOX& b = *srcBox;
        if (b.Left > b.Right || b.Top > b.Bottom || b.Front > b.Back || b.Right > image.width ||
            b.Bottom > image.height || b.Back > image.depth) {
            return D3DERR_INVALIDCALL;
        }
        box = {b.Left, b.Top, b.Right, b.Bottom, b.Front, b.Back};
    }
    return LoadVolumeFromImage(destVolume, destPalette, destBox, TopLevel(image, box, colorKey), filter);
}

HRESULT D3DXLoadVolumeFromFileA(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette, const D3DBOX* destBox,
                                const char* srcFile, const D3DBOX* srcBox, DWORD filter, D3DCOLOR colorKey,
                                D3DXIMAGE_INFO* srcInfo) {
    if (destVolume == nullptr) return D3DERR_INVALIDCALL;
    return WithFile(srcFile, [&](const BYTE* data, UINT size) {
        return D3DXLoadVolumeFromFileInMemory(destVolume, destPalette, destBox, data, size, srcBox, filter, colorKey,
                                              srcInfo);
    });
}
