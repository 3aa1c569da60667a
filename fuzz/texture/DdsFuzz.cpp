// libFuzzer target: DDS files with several sub-images (cube faces, volume slices, mip levels) through texture
// creation on the null device. The first bytes choose a pixel format, the shape (2D, cube or volume), the sizes,
// the stored level count and how the texture is asked for: as a 2D texture (half the inputs), a cube texture or a
// volume texture, whatever the file's shape. A valid header is built from them and the rest of the input follows it
// as the file's data, often too short for what the header declares.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"

namespace {

// DDS pixel-format records: flags, four-character code, bits and the red, green, blue and alpha masks.
struct DdsPixelFormat {
    std::uint32_t flags, fourCC, bits, red, green, blue, alpha;
};

constexpr std::uint32_t FourCC(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(a) | (static_cast<std::uint32_t>(b) << 8) |
           (static_cast<std::uint32_t>(c) << 16) | (static_cast<std::uint32_t>(d) << 24);
}

const DdsPixelFormat kFormats[] = {
    {0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},  // A8R8G8B8
    {0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0},           // X8R8G8B8
    {0x40, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0},           // R8G8B8
    {0x40, 0, 16, 0xF800, 0x7E0, 0x1F, 0},              // R5G6B5
    {0x41, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},         // A1R5G5B5
    {0x2, 0, 8, 0, 0, 0, 0xFF},                         // A8
    {0x20000, 0, 8, 0xFF, 0, 0, 0},                     // L8
    {0x20001, 0, 16, 0xFF, 0, 0, 0xFF00},               // A8L8
    {0x20, 0, 8, 0, 0, 0, 0},                           // P8
    {0x80000, 0, 16, 0xFF, 0xFF00, 0, 0},               // V8U8
    {0x4, FourCC('D', 'X', 'T', '1'), 0, 0, 0, 0, 0},
    {0x4, FourCC('D', 'X', 'T', '2'), 0, 0, 0, 0, 0},
    {0x4, FourCC('D', 'X', 'T', '3'), 0, 0, 0, 0, 0},
    {0x4, FourCC('D', 'X', 'T', '4'), 0, 0, 0, 0, 0},
    {0x4, FourCC('D', 'X', 'T', '5'), 0, 0, 0, 0, 0},
    {0x4, FourCC('Y', 'U', 'Y', '2'), 0, 0, 0, 0, 0},
    {0x4, FourCC('U', 'Y', 'V', 'Y'), 0, 0, 0, 0, 0},
    {0x4, 111, 0, 0, 0, 0, 0},                          // R16F
    {0x4, 113, 0, 0, 0, 0, 0},                          // A16B16G16R16F
    {0x4, 116, 0, 0, 0, 0, 0},                          // A32B32G32R32F
    {0x4, 36, 0, 0, 0, 0, 0},                           // A16B16G16R16
};

// Formats a caller may ask for instead of the file's.
const D3DFORMAT kRequested[] = {D3DFMT_UNKNOWN, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_DXT1,
                                D3DFMT_DXT5,    D3DFMT_L8,       D3DFMT_A16B16G16R16F, D3DFMT_P8};

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static IDirect3DDevice9* const device = tarn::d3d9::CreateNullDevice(16, 16);
    constexpr std::size_t kChoices = 8;
    if (device == nullptr || size < kChoices) return 0;
    const DdsPixelFormat& pf = kFormats[data[0] % std::size(kFormats)];
    const std::uint8_t shape = data[1] % 3;  // 2D, cube map, volume
    const std::uint32_t width = 1 + data[2] % 48, height = 1 + data[3] % 48, depth = 1 + data[4] % 6;
    const std::uint32_t levels = data[5] % 8;  // 0 and 1 both mean one level
    const std::uint8_t ask = data[6], more = data[7];

    std::vector<std::uint8_t> file(128, 0);
    std::memcpy(file.data(), "DDS ", 4);
    Put32(file, 4, 124);
    Put32(file, 8, 0x1007 | (levels > 1 ? 0x20000 : 0) | (shape == 2 ? 0x800000 : 0));
    Put32(file, 12, height);
    Put32(file, 16, width);
    Put32(file, 24, shape == 2 ? depth : 0);
    Put32(file, 28, levels);
    Put32(file, 76, 32);
    Put32(file, 80, pf.flags);
    Put32(file, 84, pf.fourCC);
    Put32(file, 88, pf.bits);
    Put32(file, 92, pf.red);
    Put32(file, 96, pf.green);
    Put32(file, 100, pf.blue);
    Put32(file, 104, pf.alpha);
    Put32(file, 108, 0x1000 | (levels > 1 ? 0x400008 : 0) | (shape != 0 ? 0x8 : 0));
    // Cube maps: all six faces, or now and then only some of them (a file the reader must refuse).
    Put32(file, 112, shape == 1 ? (0x200 | ((more & 0x80) ? 0x3C00 : 0xFC00)) : (shape == 2 ? 0x200000 : 0));
    file.insert(file.end(), data + kChoices, data + size);

    // How the texture is asked for: sizes from the file or rounded, the level count, the format, the filters,
    // a colour key and a palette buffer.
    const UINT edge = (ask & 3) == 0 ? D3DX_DEFAULT : (ask & 3) == 1 ? D3DX_DEFAULT_NONPOW2
                                                   : (ask & 3) == 2 ? D3DX_FROM_FILE : 1 + (more & 31);
    const UINT levelsAsked = ((ask >> 2) & 3) == 0 ? D3DX_DEFAULT : ((ask >> 2) & 3) == 1 ? D3DX_FROM_FILE
                                                                                          : (ask >> 2) & 3;
    const D3DFORMAT format = kRequested[(ask >> 4) & 7];
    const DWORD filter = (more & 1) ? D3DX_DEFAULT : D3DX_FILTER_POINT | D3DX_FILTER_DITHER;
    const DWORD mipFilter = (more & 2) ? D3DX_DEFAULT : D3DX_FILTER_TRIANGLE;
    const D3DCOLOR key = (more & 4) ? 0xFF000000u | (static_cast<D3DCOLOR>(more) << 8) : 0;
    PALETTEENTRY palette[256];
    D3DXIMAGE_INFO info;
    const D3DPOOL pool = (ask & 0x80) ? D3DPOOL_SCRATCH : D3DPOOL_MANAGED;
    const UINT fileSize = static_cast<UINT>(file.size());
    IDirect3DBaseTexture9* texture = nullptr;
    HRESULT hr;
    switch ((more >> 5) & 3) {
    case 2: {
        IDirect3DCubeTexture9* cube = nullptr;
        hr = D3DXCreateCubeTextureFromFileInMemoryEx(device, file.data(), fileSize, edge, levelsAsked, 0, format, pool,
                                                     filter, mipFilter, key, &info, (more & 8) ? palette : nullptr,
                                                     &cube);
        texture = cube;
        break;
    }
    case 3: {
        IDirect3DVolumeTexture9* volume = nullptr;
        hr = D3DXCreateVolumeTextureFromFileInMemoryEx(device, file.data(), fileSize, edge, edge, edge, levelsAsked, 0,
                                                       format, pool, filter, mipFilter, key, &info,
                                                       (more & 8) ? palette : nullptr, &volume);
        texture = volume;
        break;
    }
    default: {
        IDirect3DTexture9* plain = nullptr;
        hr =
            D3DXCreateTextureFromFileInMemoryEx(device, file.data(), fileSize, edge, edge, levelsAsked, 0, format, pool,
                                                filter, mipFilter, key, &info, (more & 8) ? palette : nullptr, &plain);
        texture = plain;
        break;
    }
    }
    if (SUCCEEDED(hr) != (texture != nullptr)) std::abort();  // a texture exactly when the call succeeds
    if (texture != nullptr) texture->Release();
    return 0;
}
