// Saving surfaces, volumes and textures as image files: the resource is locked, what is saved is copied out
// (every face and level for DDS, the top level of the first face otherwise), the writer of the file format makes
// the file's bytes, and they go to a buffer or replace the file through a temporary file.
#include <cstring>
#include <new>
#include <vector>

#include "FormatTable.h"
#include "ImageWriter.h"
#include "LoadCommon.h"
#include "ReplaceFile.h"

namespace tarn::texture {

namespace {

// What a palettised format decodes to when no palette is given: opaque white, as the pixel codecs take it.
const PALETTEENTRY* WhitePalette() {
    static const auto* palette = [] {
        static PALETTEENTRY entries[256];
        std::memset(entries, 0xFF, sizeof entries);
        return entries;
    }();
    return palette;
}

// A rectangle of a block or pixel-pair format must cover whole blocks (or pairs), or end at the image's edge.
bool CoversWholeGroups(D3DFORMAT format, UINT left, UINT top, UINT right, UINT bottom, UINT width, UINT height) {
    const UINT gw = IsBlockFormat(format) ? 4 : IsPackedPairFormat(format) ? 2 : 1;
    const UINT gh = IsBlockFormat(format) ? 4 : 1;
    return left % gw == 0 && top % gh == 0 && (right % gw == 0 || right == width) &&
           (bottom % gh == 0 || bottom == height);
}

// Copies `rows` stored rows of `rowBytes` from each of `depth` slices into a new level record.
void CopyLevel(SavedLevel& level, const BYTE* bits, std::size_t rowBytes, UINT rows, INT rowPitch, INT slicePitch) {
    level.rowPitch = static_cast<UINT>(rowBytes);
    level.slicePitch = static_cast<UINT>(rowBytes * rows);
    level.bytes.resize(static_cast<std::size_t>(level.slicePitch) * level.depth);
    BYTE* to = level.bytes.data();
    for (UINT z = 0; z < level.depth; ++z) {
        for (UINT y = 0; y < rows; ++y, to += rowBytes) {
            std::memcpy(to,
                        bits + static_cast<std::ptrdiff_t>(z) * slicePitch + static_cast<std::ptrdiff_t>(y) * rowPitch,
                        rowBytes);
        }
    }
}

// A render target (the back buffer included) cannot be locked: its pixels are read through a system-memory copy
// made with GetRenderTargetData, after resolving a multisampled one into a plain render target, as the
// documentation prescribes for reading back rendered images. `copy` receives a surface the caller releases.
HRESULT ReadableRenderTargetCopy(IDirect3DSurface9* surface, const D3DSURFACE_DESC& desc, IDirect3DSurface9** copy) {
    IDirect3DDevice9* device = nullptr;
    if (const HRESULT hr = surface->GetDevice(&device); FAILED(hr)) return hr;
    IDirect3DSurface9* resolved = nullptr;
    HRESULT hr = D3D_OK;
    if (desc.MultiSampleType != D3DMULTISAMPLE_NONE) {
        hr = device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, FALSE, &resolved,
                                        nullptr);
        if (SUCCEEDED(hr)) hr = device->StretchRect(surface, nullptr, resolved, nullptr, D3DTEXF_NONE);
    }
    if (SUCCEEDED(hr))
        hr =
            device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, copy, nullptr);
    if (SUCCEEDED(hr)) {
        hr = device->GetRenderTargetData(resolved != nullptr ? resolved : surface, *copy);
        if (FAILED(hr)) {
            (*copy)->Release();
            *copy = nullptr;
        }
    }
    if (resolved != nullptr) resolved->Release();
    device->Release();
    return hr;
}

HRESULT CaptureSurface(IDirect3DSurface9* surface, const RECT* rect, SavedImage& image) {
    D3DSURFACE_DESC desc;
    if (const HRESULT hr = surface->GetDesc(&desc); FAILED(hr)) return hr;
    if (desc.Pool == D3DPOOL_DEFAULT && (desc.Usage & D3DUSAGE_RENDERTARGET) != 0) {
        IDirect3DSurface9* copy = nullptr;
        if (const HRESULT hr = ReadableRenderTargetCopy(surface, desc, &copy); FAILED(hr)) return hr;
        const HRESULT hr = CaptureSurface(copy, rect, image);
        copy->Release();
        return hr;
    }
    RECT r = {0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    if (rect != nullptr) {
        r = *rect;
        if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom ||
            static_cast<UINT>(r.right) > desc.Width || static_cast<UINT>(r.bottom) > desc.Height)
            return D3DERR_INVALIDCALL;
        if (!CoversWholeGroups(desc.Format, r.left, r.top, r.right, r.bottom, desc.Width, desc.Height))
            return D3DERR_INVALIDCALL;
    }
    if (image.levels.empty()) image.format = desc.Format;
    if (desc.Format != image.format) return D3DERR_INVALIDCALL;
    SurfaceLock lock(surface, rect != nullptr ? &r : nullptr, D3DLOCK_READONLY);
    if (FAILED(lock.Result())) return lock.Result();
    SavedLevel& level = image.levels.emplace_back();
    level.width = static_cast<UINT>(r.right - r.left);
    level.height = static_cast<UINT>(r.bottom - r.top);
    std::size_t rowBytes;
    UINT rows;
    StoredSize(desc.Format, level.width, level.height, rowBytes, rows);
    CopyLevel(level, lock.Bits(), rowBytes, rows, lock.Pitch(), 0);
    return D3D_OK;
}

HRESULT CaptureVolume(IDirect3DVolume9* volume, const D3DBOX* box, SavedImage& image, bool firstSliceOnly) {
    D3DVOLUME_DESC desc;
    if (const HRESULT hr = volume->GetDesc(&desc); FAILED(hr)) return hr;
    D3DBOX b = {0, 0, desc.Width, desc.Height, 0, desc.Depth};
    if (box != nullptr) {
        b = *box;
        if (b.Left >= b.Right || b.Top >= b.Bottom || b.Front >= b.Back || b.Right > desc.Width ||
            b.Bottom > desc.Height || b.Back > desc.Depth)
            return D3DERR_INVALIDCALL;
        if (!CoversWholeGroups(desc.Format, b.Left, b.Top, b.Right, b.Bottom, desc.Width, desc.Height))
            return D3DERR_INVALIDCALL;
    }
    if (firstSliceOnly) b.Back = b.Front + 1;
    if (image.levels.empty()) image.format = desc.Format;
    if (desc.Format != image.format) return D3DERR_INVALIDCALL;
    VolumeLock lock(volume, &b, D3DLOCK_READONLY);
    if (FAILED(lock.Result())) return lock.Result();
    SavedLevel& level = image.levels.emplace_back();
    level.width = b.Right - b.Left;
    level.height = b.Bottom - b.Top;
    level.depth = b.Back - b.Front;
    std::size_t rowBytes;
    UINT rows;
    StoredSize(desc.Format, level.width, level.height, rowBytes, rows);
    CopyLevel(level, lock.Bits(), rowBytes, rows, lock.RowPitch(), lock.SlicePitch());
    return D3D_OK;
}

HRESULT CaptureTexture(IDirect3DBaseTexture9* texture, bool allLevels, SavedImage& image) {
    const D3DRESOURCETYPE type = texture->GetType();
    const UINT levels = allLevels ? texture->GetLevelCount() : 1;
    image.type = type;
    image.levelCount = levels;
    image.faces = type == D3DRTYPE_CUBETEXTURE && allLevels ? 6 : 1;
    for (UINT face = 0; face < image.faces; ++face) {
        for (UINT i = 0; i < levels; ++i) {
            HRESULT hr = D3DERR_INVALIDCALL;
            if (type == D3DRTYPE_VOLUMETEXTURE) {
                IDirect3DVolume9* volume = nullptr;
                hr = static_cast<IDirect3DVolumeTexture9*>(texture)->GetVolumeLevel(i, &volume);
                if (SUCCEEDED(hr)) {
                    hr = CaptureVolume(volume, nullptr, image, !allLevels);
                    volume->Release();
                }
            } else if (type == D3DRTYPE_TEXTURE || type == D3DRTYPE_CUBETEXTURE) {
                IDirect3DSurface9* surface = nullptr;
                hr = type == D3DRTYPE_TEXTURE ? static_cast<IDirect3DTexture9*>(texture)->GetSurfaceLevel(i, &surface)
                                              : static_cast<IDirect3DCubeTexture9*>(texture)->GetCubeMapSurface(
                                                    static_cast<D3DCUBEMAP_FACES>(face), i, &surface);
                if (SUCCEEDED(hr)) {
                    hr = CaptureSurface(surface, nullptr, image);
                    surface->Release();
                }
            }
            if (FAILED(hr)) return hr;
        }
    }
    return D3D_OK;
}

// The writer's bytes for what `capture` copies out of the resource; `capture` is told whether every face and
// level is wanted (DDS only).
template <typename Capture>
HRESULT Encode(D3DXIMAGE_FILEFORMAT format, const PALETTEENTRY* palette, Capture capture, std::vector<BYTE>& out) {
    const ImageWriterFn write = FindImageWriter(format);
    if (write == nullptr) return D3DERR_INVALIDCALL;
    try {
        SavedImage image;
        if (const HRESULT hr = capture(image, format == D3DXIFF_DDS); FAILED(hr)) return hr;
        if (image.format == D3DFMT_P8 || image.format == D3DFMT_A8P8)
            image.palette = palette != nullptr ? palette : WhitePalette();
        return write(image, out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ToBuffer(HRESULT hr, const std::vector<BYTE>& bytes, ID3DXBuffer** destBuffer) {
    if (FAILED(hr)) return hr;
    if (bytes.size() > 0xFFFFFFFFu) return D3DERR_INVALIDCALL;
    ID3DXBuffer* buffer = nullptr;
    if (const HRESULT made = D3DXCreateBuffer(static_cast<DWORD>(bytes.size()), &buffer); FAILED(made)) return made;
    if (!bytes.empty()) std::memcpy(buffer->GetBufferPointer(), bytes.data(), bytes.size());
    *destBuffer = buffer;
    return D3D_OK;
}

HRESULT ToFile(HRESULT hr, const std::vector<BYTE>& bytes, const char* destFile) {
    if (FAILED(hr)) return hr;
    return ReplaceFileContents(destFile, bytes.data(), bytes.size());
}

HRESULT EncodeSurface(D3DXIMAGE_FILEFORMAT format, IDirect3DSurface9* surface, const PALETTEENTRY* palette,
                      const RECT* rect, std::vector<BYTE>& out) {
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    return Encode(
        format, palette, [&](SavedImage& image, bool) { return CaptureSurface(surface, rect, image); }, out);
}

HRESULT EncodeVolume(D3DXIMAGE_FILEFORMAT format, IDirect3DVolume9* volume, const PALETTEENTRY* palette,
                     const D3DBOX* box, std::vector<BYTE>& out) {
    if (volume == nullptr) return D3DERR_INVALIDCALL;
    return Encode(
        format, palette,
        [&](SavedImage& image, bool dds) {
            image.type = dds ? D3DRTYPE_VOLUMETEXTURE : D3DRTYPE_TEXTURE;
            return CaptureVolume(volume, box, image, !dds);
        },
        out);
}

HRESULT EncodeTexture(D3DXIMAGE_FILEFORMAT format, IDirect3DBaseTexture9* texture, const PALETTEENTRY* palette,
                      std::vector<BYTE>& out) {
    if (texture == nullptr) return D3DERR_INVALIDCALL;
    return Encode(
        format, palette,
        [&](SavedImage& image, bool dds) {
            const HRESULT hr = CaptureTexture(texture, dds, image);
            // A 2D file of a cube or volume holds one 2D image.
            if (!dds) image.type = D3DRTYPE_TEXTURE;
            return hr;
        },
        out);
}

}  // namespace

}  // namespace tarn::texture

using namespace tarn::texture;

HRESULT D3DXSaveSurfaceToFileA(const char* destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DSurface9* srcSurface,
                               const PALETTEENTRY* srcPalette, const RECT* srcRect) {
    if (destFile == nullptr) return D3DERR_INVALIDCALL;
    std::vector<BYTE> bytes;
    return ToFile(EncodeSurface(destFormat, srcSurface, srcPalette, srcRect, bytes), bytes, destFile);
}

HRESULT D3DXSaveSurfaceToFileInMemory(ID3DXBuffer** destBuffer, D3DXIMAGE_FILEFORMAT destFormat,
                                      IDirect3DSurface9* srcSurface, const PALETTEENTRY* srcPalette,
                                      const RECT* srcRect) {
    if (destBuffer == nullptr) return D3DERR_INVALIDCALL;
    std::vector<BYTE> bytes;
    return ToBuffer(EncodeSurface(destFormat, srcSurface, srcPalette, srcRect, bytes), bytes, destBuffer);
}

HRESULT D3DXSaveVolumeToFileA(const char* destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DVolume9* srcVolume,
                              const PALETTEENTRY* srcPalette, const D3DBOX* srcBox) {
    if (destFile == nullptr) return D3DERR_INVALIDCALL;
    std::vector<BYTE> bytes;
    return ToFile(EncodeVolume(destFormat, srcVolume, srcPalette, srcBox, bytes), bytes, destFile);
}

HRESULT D3DXSaveVolumeToFileInMemory(ID3DXBuffer** destBuffer, D3DXIMAGE_FILEFORMAT destFormat,
                                     IDirect3DVolume9* srcVolume, const PALETTEENTRY* srcPalette,
                                     const D3DBOX* srcBox) {
    if (destBuffer == nullptr) return D3DERR_INVALIDCALL;
    std::vector<BYTE> bytes;
    return ToBuffer(EncodeVolume(destFormat, srcVolume, srcPalette, srcBox, bytes), bytes, destBuffer);
}

HRESULT D3DXSaveTextureToFileA(const char* destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DBaseTexture9* srcTexture,
                               const PALETTEENTRY* srcPalette) {
    if (destFile == nullptr) return D3DERR_INVALIDCALL;
    std::vector<BYTE> bytes;
    return ToFile(EncodeTexture(destFormat, srcTexture, srcPalette, bytes), bytes, destFile);
}

HRESULT D3DXSaveTextureToFileInMemory(ID3DXBuffer** destBuffer, D3DXIMAGE_FILEFORMAT destFormat,
                                      IDirect3DBaseTexture9* srcTexture, const PALETTEENTRY* srcPalette) {
    if (destBuffer == nullptr) return D3DERR_INVALIDCALL;
    std::vector<BYTE> bytes;
    return ToBuffer(EncodeTexture(destFormat, srcTexture, srcPalette, bytes), bytes, destBuffer);
}
