// libFuzzer target: the save path. From the front of the input: the kind of resource (2D texture, cube texture,
// volume texture, system-memory surface), its format, sizes and level count, whether a palette is given, a source
// rectangle or box (which may lie outside the resource), and the file format; the rest of the input fills every
// level. The resource is saved to a buffer in the chosen file format (or in every one), each through the entry
// point of its kind, and every file that comes back must read back through ReadImage with the size saved.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"
#include "FormatTable.h"
#include "FuzzSupport.h"
#include "ImageReader.h"

using namespace tarn::texture;

namespace {

IDirect3DDevice9* Device() {
    static IDirect3DDevice9* device = tarn::d3d9::CreateNullDevice(16, 16);
    return device;
}

const D3DFORMAT kFormats[] = {
    D3DFMT_A8R8G8B8,
    D3DFMT_X8R8G8B8,
    D3DFMT_R8G8B8,
    D3DFMT_R5G6B5,
    D3DFMT_A1R5G5B5,
    D3DFMT_A4R4G4B4,
    D3DFMT_L8,
    D3DFMT_A8L8,
    D3DFMT_L16,
    D3DFMT_A8,
    D3DFMT_P8,
    D3DFMT_A8P8,
    D3DFMT_V8U8,
    D3DFMT_Q8W8V8U8,
    D3DFMT_G16R16,
    D3DFMT_A16B16G16R16,
    D3DFMT_A2R10G10B10,
    D3DFMT_A2B10G10R10,
    D3DFMT_R16F,
    D3DFMT_G16R16F,
    D3DFMT_A16B16G16R16F,
    D3DFMT_R32F,
    D3DFMT_A32B32G32R32F,
    D3DFMT_DXT1,
    D3DFMT_DXT3,
    D3DFMT_DXT5,
    D3DFMT_YUY2,
    D3DFMT_UYVY,
    D3DFMT_D16_LOCKABLE,
};
const UINT kEdges[] = {1, 2, 3, 4, 5, 8, 13, 16, 33};

// Fills `size` bytes of every stored row of a locked level from the input (zeros once it runs out).
void FillRows(BYTE* bits, INT pitch, INT slicePitch, std::size_t rowBytes, UINT rows, UINT depth, const BYTE*& data,
              std::size_t& left) {
    for (UINT z = 0; z < depth; ++z) {
        for (UINT y = 0; y < rows; ++y) {
            BYTE* row = bits + static_cast<std::ptrdiff_t>(z) * slicePitch + static_cast<std::ptrdiff_t>(y) * pitch;
            const std::size_t n = left < rowBytes ? left : rowBytes;
            std::memcpy(row, data, n);
            std::memset(row + n, 0, rowBytes - n);
            data += n;
            left -= n;
        }
    }
}

void FillSurface(IDirect3DSurface9* surface, const BYTE*& data, std::size_t& left) {
    D3DSURFACE_DESC desc;
    surface->GetDesc(&desc);
    std::size_t rowBytes;
    UINT rows;
    StoredRows(desc.Format, desc.Width, desc.Height, rowBytes, rows);
    D3DLOCKED_RECT locked;
    if (FAILED(surface->LockRect(&locked, nullptr, 0))) return;
    FillRows(static_cast<BYTE*>(locked.pBits), locked.Pitch, 0, rowBytes, rows, 1, data, left);
    surface->UnlockRect();
}

// The file must read back with the size saved.
void CheckReadBack(ID3DXBuffer* buffer, UINT width, UINT height) {
    DecodedImage image;
    D3DXIMAGE_INFO info;
    const HRESULT hr = ReadImage(image, buffer->GetBufferPointer(), buffer->GetBufferSize(), &info, true);
    if (FAILED(hr) || info.Width != width || info.Height != height) std::abort();
    buffer->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    IDirect3DDevice9* device = Device();
    if (device == nullptr) return 0;
    Choices c(input, size);
    const UINT kind = c.Below(4);
    const D3DFORMAT format = c.Pick(kFormats);
    const UINT width = c.Pick(kEdges), height = kind == 1 ? width : c.Pick(kEdges), depth = c.Below(5) + 1;
    const UINT levels = c.Below(4);
    const bool withPalette = c.Below(2) != 0;
    const bool withArea = c.Below(2) != 0;
    const UINT left = c.Below(40), top = c.Below(40), right = c.Below(40), bottom = c.Below(40), front = c.Below(6),
               back = c.Below(7);
    const UINT fileChoice = c.Below(D3DXIFF_PFM + 2);  // one more: every file format
    PALETTEENTRY palette[256];
    for (PALETTEENTRY& e : palette) e = {c.Byte(), c.Byte(), c.Byte(), c.Byte()};
    const BYTE* data = input + c.Used();
    std::size_t rest = size - c.Used();

    IDirect3DBaseTexture9* texture = nullptr;
    IDirect3DSurface9* surface = nullptr;
    IDirect3DVolume9* volume = nullptr;
    UINT savedWidth = width, savedHeight = height;
    RECT rect = {static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right), static_cast<LONG>(bottom)};
    D3DBOX box = {left, top, right, bottom, front, back};
    if (kind == 0 || kind == 1) {
        HRESULT hr;
        if (kind == 0) {
            IDirect3DTexture9* t = nullptr;
            hr = device->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, &t, nullptr);
            texture = t;
        } else {
            IDirect3DCubeTexture9* t = nullptr;
            hr = device->CreateCubeTexture(width, levels, 0, format, D3DPOOL_MANAGED, &t, nullptr);
            texture = t;
        }
        if (FAILED(hr)) return 0;
        for (UINT face = 0; face < (kind == 1 ? 6u : 1u); ++face) {
            for (UINT i = 0; i < texture->GetLevelCount(); ++i) {
                IDirect3DSurface9* s = nullptr;
                if (kind == 0)
                    static_cast<IDirect3DTexture9*>(texture)->GetSurfaceLevel(i, &s);
                else
                    static_cast<IDirect3DCubeTexture9*>(texture)->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face),
                                                                                    i, &s);
                FillSurface(s, data, rest);
                s->Release();
            }
        }
    } else if (kind == 2) {
        IDirect3DVolumeTexture9* t = nullptr;
        if (FAILED(device->CreateVolumeTexture(width, height, depth, levels, 0, format, D3DPOOL_MANAGED, &t, nullptr)))
            return 0;
        texture = t;
        for (UINT i = 0; i < t->GetLevelCount(); ++i) {
            D3DVOLUME_DESC desc;
            t->GetLevelDesc(i, &desc);
            std::size_t rowBytes;
            UINT rows;
            StoredRows(desc.Format, desc.Width, desc.Height, rowBytes, rows);
            D3DLOCKED_BOX locked;
            if (FAILED(t->LockBox(i, &locked, nullptr, 0))) continue;
            FillRows(static_cast<BYTE*>(locked.pBits), locked.RowPitch, locked.SlicePitch, rowBytes, rows, desc.Depth,
                     data, rest);
            t->UnlockBox(i);
        }
        t->GetVolumeLevel(0, &volume);
        if (withArea) {
            savedWidth = right - left;
            savedHeight = bottom - top;
        }
    } else {
        if (FAILED(device->CreateOffscreenPlainSurface(width, height, format, D3DPOOL_SYSTEMMEM, &surface, nullptr)))
            return 0;
        FillSurface(surface, data, rest);
        if (withArea) {
            savedWidth = right - left;
            savedHeight = bottom - top;
        }
    }

    const PALETTEENTRY* paletteArg = withPalette ? palette : nullptr;
    for (UINT file = 0; file <= D3DXIFF_PFM; ++file) {
        if (fileChoice <= D3DXIFF_PFM && file != fileChoice) continue;
        const auto fileFormat = static_cast<D3DXIMAGE_FILEFORMAT>(file);
        ID3DXBuffer* buffer = nullptr;
        HRESULT hr;
        if (surface != nullptr) {
            hr = D3DXSaveSurfaceToFileInMemory(&buffer, fileFormat, surface, paletteArg, withArea ? &rect : nullptr);
        } else if (volume != nullptr && withArea) {
            hr = D3DXSaveVolumeToFileInMemory(&buffer, fileFormat, volume, paletteArg, &box);
        } else {
            hr = D3DXSaveTextureToFileInMemory(&buffer, fileFormat, texture, paletteArg);
        }
        // A refusal hands nothing out; a success must read back.
        if (FAILED(hr)) {
            if (buffer != nullptr) std::abort();
            continue;
        }
        CheckReadBack(buffer, savedWidth, savedHeight);
    }
    if (volume != nullptr) volume->Release();
    if (surface != nullptr) surface->Release();
    if (texture != nullptr) texture->Release();
    return 0;
}
