// libFuzzer target: the calls that take an image file from memory into what the caller holds. The header-only
// description must agree with the full read wherever both succeed; the file's top level is loaded into a 2D
// surface and into a volume (with a source rectangle or box taken from the input's last bytes), and a texture is
// created with the documented defaults, all on the null device.
#include <cstdint>
#include <cstring>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static IDirect3DDevice9* const device = tarn::d3d9::CreateNullDevice(16, 16);
    if (device == nullptr || size == 0 || size > 0xFFFFFFFFu) return 0;
    const UINT bytes = static_cast<UINT>(size);

    D3DXIMAGE_INFO header = {}, full = {};
    const HRESULT described = D3DXGetImageInfoFromFileInMemory(data, bytes, &header);

    IDirect3DTexture9* target = nullptr;
    if (SUCCEEDED(device->CreateTexture(8, 4, 1, 0, (size & 1) ? D3DFMT_DXT1 : D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                        &target, nullptr))) {
        IDirect3DSurface9* surface = nullptr;
        if (SUCCEEDED(target->GetSurfaceLevel(0, &surface))) {
            const RECT part = {data[size - 1] % 3, 0, 2 + data[size - 1] % 5, 1};
            const HRESULT loaded =
                D3DXLoadSurfaceFromFileInMemory(surface, nullptr, nullptr, data, bytes, (size & 2) ? &part : nullptr,
                                                D3DX_DEFAULT, (size & 4) ? 0xFF000000u : 0, &full);
            // A file that the full read takes is described alike by its header alone.
            if (SUCCEEDED(loaded) && (FAILED(described) || std::memcmp(&header, &full, sizeof(full)) != 0))
                __builtin_trap();
            surface->Release();
        }
        target->Release();
    }

    IDirect3DVolumeTexture9* volume = nullptr;
    if (SUCCEEDED(device->CreateVolumeTexture(4, 2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr))) {
        IDirect3DVolume9* level = nullptr;
        if (SUCCEEDED(volume->GetVolumeLevel(0, &level))) {
            const D3DBOX box = {0, 0, 1, 1, 0, 1u + data[0] % 2};
            D3DXLoadVolumeFromFileInMemory(level, nullptr, nullptr, data, bytes, (size & 8) ? &box : nullptr,
                                           D3DX_FILTER_POINT, 0, nullptr);
            level->Release();
        }
        volume->Release();
    }

    IDirect3DTexture9* texture = nullptr;
    if (SUCCEEDED(D3DXCreateTextureFromFileInMemory(device, data, bytes, &texture))) texture->Release();
    return 0;
}
