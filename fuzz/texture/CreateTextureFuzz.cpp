// libFuzzer target: the whole loading sequence on the null device, with defaults and with a colour key, into a
// managed texture with its full mip chain, at power-of-two sizes or at the image's own size.
#include <cstdint>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static IDirect3DDevice9* const device = tarn::d3d9::CreateNullDevice(16, 16);
    // Images of any declared size go through: the library's own limits bound them.
    if (device == nullptr || size == 0 || size > 0xFFFFFFFFu) return 0;

    const D3DCOLOR key = (size & 1) ? 0xFF000000u | data[size / 2] : 0;
    const UINT edge = (size & 4) ? D3DX_DEFAULT_NONPOW2 : D3DX_DEFAULT;
    IDirect3DTexture9* texture = nullptr;
    PALETTEENTRY palette[256];
    if (SUCCEEDED(D3DXCreateTextureFromFileInMemoryEx(device, data, static_cast<UINT>(size), edge, edge,
                                                      D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                      D3DX_DEFAULT, D3DX_DEFAULT, key, nullptr,
                                                      (size & 2) ? palette : nullptr, &texture))) {
        texture->Release();
    }
    return 0;
}
