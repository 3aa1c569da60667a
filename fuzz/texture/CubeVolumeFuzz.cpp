// libFuzzer target: cube and volume textures from files in memory, and volume loading from memory, on the null
// device. The first byte chooses the entry point and the next ones the request, each from a small table:
//  - D3DXCreateCubeTextureFromFileInMemoryEx or D3DXCreateVolumeTextureFromFileInMemoryEx: capability profile,
//    sizes, levels, usage, format, pool, filters, colour key, palette buffer; the rest of the input is the file.
//    A texture that comes back is filtered again with D3DXFilterTexture and every level of it is locked.
//  - D3DXLoadVolumeFromMemory: a destination volume texture (format, pool, size, level) and box, a source in memory
//    (format, size, pitches) and box, filter and colour key; the rest of the input is the source's bytes. The
//    source memory is allocated to exactly what its pitches describe, so that a read outside it is caught, and a
//    whole-pixel destination must be unchanged outside its box.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"
#include "FormatTable.h"
#include "FuzzSupport.h"

using namespace tarn::texture;

namespace {

// Capability profiles, each with its own device: the limits and power-of-two rules of the requirement checks.
const char* const kProfiles[] = {"default", "pow2", "pow2-conditional", "square", "max256", "rgb-only", "no-volume"};

IDirect3DDevice9* DeviceFor(std::uint32_t profile) {
    static IDirect3DDevice9* devices[std::size(kProfiles)] = {};
    if (devices[profile] == nullptr && tarn::d3d9::SetProfile(kProfiles[profile])) {
        devices[profile] = tarn::d3d9::CreateNullDevice(16, 16);
        tarn::d3d9::SetProfile(nullptr);
    }
    return devices[profile];
}

const UINT kEdges[] = {D3DX_DEFAULT, D3DX_DEFAULT_NONPOW2, D3DX_FROM_FILE, 0, 1, 3, 8, 17, 64, 300};
// Depths stay small: a 300 x 300 x 300 request is 27 M voxels of honest work, too slow for a fuzzing run.
const UINT kDepths[] = {D3DX_DEFAULT, D3DX_DEFAULT_NONPOW2, D3DX_FROM_FILE, 0, 1, 3, 8, 17};
const UINT kLevels[] = {D3DX_DEFAULT, D3DX_FROM_FILE, 0, 1, 2, 3, 9, 40};
const DWORD kUsages[] = {0, 0, D3DUSAGE_DYNAMIC, D3DUSAGE_RENDERTARGET, 0x80000000u};
const D3DFORMAT kFormats[] = {D3DFMT_UNKNOWN,       D3DFMT_FROM_FILE, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,
                              D3DFMT_DXT1,          D3DFMT_DXT5,      D3DFMT_L8,       D3DFMT_A8L8,     D3DFMT_P8,
                              D3DFMT_A16B16G16R16F, D3DFMT_R32F,      D3DFMT_V8U8,     D3DFMT_YUY2};
const D3DPOOL kPools[] = {D3DPOOL_MANAGED, D3DPOOL_SCRATCH, D3DPOOL_SYSTEMMEM, D3DPOOL_DEFAULT,
                          static_cast<D3DPOOL>(7)};
const DWORD kFilters[] = {D3DX_DEFAULT,
                          D3DX_FILTER_NONE,
                          D3DX_FILTER_POINT,
                          D3DX_FILTER_LINEAR,
                          D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER,
                          D3DX_FILTER_BOX,
                          D3DX_FILTER_BOX | D3DX_FILTER_MIRROR,
                          D3DX_FILTER_POINT | D3DX_FILTER_MIRROR_W | D3DX_FILTER_SRGB,
                          D3DX_FILTER_LINEAR | D3DX_FILTER_DITHER_DIFFUSION,
                          0,
                          7};

// Locks every level (of every face) for reading, as a caller reading the texture back would.
void ReadBack(IDirect3DBaseTexture9* base, bool cube) {
    const DWORD levels = base->GetLevelCount();
    for (DWORD level = 0; level < levels; ++level) {
        if (cube) {
            auto* texture = static_cast<IDirect3DCubeTexture9*>(base);
            for (int face = 0; face < 6; ++face) {
                D3DLOCKED_RECT locked;
                const auto f = static_cast<D3DCUBEMAP_FACES>(face);
                if (SUCCEEDED(texture->LockRect(f, level, &locked, nullptr, D3DLOCK_READONLY))) {
                    texture->UnlockRect(f, level);
                }
            }
        } else {
            auto* texture = static_cast<IDirect3DVolumeTexture9*>(base);
            D3DLOCKED_BOX locked;
            if (SUCCEEDED(texture->LockBox(level, &locked, nullptr, D3DLOCK_READONLY))) texture->UnlockBox(level);
        }
    }
}

void CreateFromFile(Choices& c, bool cube, const std::uint8_t* data, std::size_t size) {
    IDirect3DDevice9* device = DeviceFor(c.Below(std::size(kProfiles)));
    const UINT width = c.Pick(kEdges), height = c.Pick(kEdges), depth = c.Pick(kDepths);
    const UINT levels = c.Pick(kLevels);
    const DWORD usage = c.Pick(kUsages);
    const D3DFORMAT format = c.Pick(kFormats);
    const D3DPOOL pool = c.Pick(kPools);
    const DWORD filter = c.Pick(kFilters), mipFilter = c.Pick(kFilters), refilter = c.Pick(kFilters);
    const std::uint8_t flags = c.Byte(), keyGreen = c.Byte(), keyBlue = c.Byte();
    const D3DCOLOR key = (flags & 1) ? 0xFF000000u | (static_cast<D3DCOLOR>(keyGreen) << 8) | keyBlue : 0;
    PALETTEENTRY palette[256];
    D3DXIMAGE_INFO info;
    if (device == nullptr) return;
    const std::uint8_t* file = data + c.Used();
    const UINT fileSize = static_cast<UINT>(size - c.Used());

    IDirect3DBaseTexture9* texture = nullptr;
    HRESULT hr;
    if (cube) {
        IDirect3DCubeTexture9* made = nullptr;
        hr = D3DXCreateCubeTextureFromFileInMemoryEx(device, file, fileSize, width, levels, usage, format, pool, filter,
                                                     mipFilter, key, (flags & 2) ? &info : nullptr,
                                                     (flags & 4) ? palette : nullptr, &made);
        texture = made;
    } else {
        IDirect3DVolumeTexture9* made = nullptr;
        hr = D3DXCreateVolumeTextureFromFileInMemoryEx(
            device, file, fileSize, width, height, depth, levels, usage, format, pool, filter, mipFilter, key,
            (flags & 2) ? &info : nullptr, (flags & 4) ? palette : nullptr, &made);
        texture = made;
    }
    if (FAILED(hr)) {
        if (texture != nullptr) std::abort();  // a failure hands nothing out
        return;
    }
    if (texture == nullptr) std::abort();
    if (flags & 8) D3DXFilterTexture(texture, (flags & 4) ? palette : nullptr, (flags >> 4) & 3, refilter);
    ReadBack(texture, cube);
    texture->Release();
}

// A box within a width x height x depth image or, now and then when `misuse`, past its edge, inverted or empty.
// (A source in memory has no size the library could check a box against: its box always lies inside.)
D3DBOX BoxIn(Choices& c, UINT width, UINT height, UINT depth, bool misuse) {
    const std::uint8_t shape = c.Byte();
    D3DBOX box;
    box.Left = c.Below(width);
    box.Top = c.Below(height);
    box.Front = c.Below(depth);
    box.Right = box.Left + 1 + c.Below(width - box.Left);
    box.Bottom = box.Top + 1 + c.Below(height - box.Top);
    box.Back = box.Front + 1 + c.Below(depth - box.Front);
    if (misuse && shape == 0xFF) box.Right = width + 1;           // past the right edge
    if (misuse && shape == 0xFE) std::swap(box.Front, box.Back);  // inverted
    if (misuse && shape == 0xFD) box.Bottom = box.Top;            // empty
    return box;
}

const D3DFORMAT kVolumeFormats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A4R4G4B4,
                                    D3DFMT_L8,       D3DFMT_A8L8,     D3DFMT_V8U8,   D3DFMT_A16B16G16R16F,
                                    D3DFMT_R32F,     D3DFMT_DXT1,     D3DFMT_DXT3,   D3DFMT_P8};
const D3DFORMAT kSourceFormats[] = {
    D3DFMT_A8R8G8B8, D3DFMT_R8G8B8,  D3DFMT_R5G6B5,        D3DFMT_A1R5G5B5, D3DFMT_L8,   D3DFMT_A8,
    D3DFMT_P8,       D3DFMT_A8P8,    D3DFMT_DXT1,          D3DFMT_DXT5,     D3DFMT_YUY2, D3DFMT_UYVY,
    D3DFMT_L16,      D3DFMT_G16R16F, D3DFMT_A32B32G32R32F, D3DFMT_Q8W8V8U8};

void LoadVolume(Choices& c, const std::uint8_t* data, std::size_t size) {
    IDirect3DDevice9* device = DeviceFor(0);
    const D3DFORMAT destFormat = c.Pick(kVolumeFormats);
    const D3DPOOL pool = c.Byte() & 1 ? D3DPOOL_SCRATCH : D3DPOOL_SYSTEMMEM;
    const UINT width = 1 + c.Below(20), height = 1 + c.Below(20), depth = 1 + c.Below(6);
    const UINT levels = 1 + c.Below(3);
    if (device == nullptr) return;
    IDirect3DVolumeTexture9* texture = nullptr;
    if (FAILED(device->CreateVolumeTexture(width, height, depth, levels, 0, destFormat, pool, &texture, nullptr)))
        return;
    const UINT level = c.Below(texture->GetLevelCount());
    IDirect3DVolume9* volume = nullptr;
    D3DVOLUME_DESC desc = {};
    if (FAILED(texture->GetVolumeLevel(level, &volume)) || FAILED(volume->GetDesc(&desc))) {
        if (volume != nullptr) volume->Release();
        texture->Release();
        return;
    }
    const bool wholeDest = (c.Byte() & 3) == 0;
    const D3DBOX destBox = BoxIn(c, desc.Width, desc.Height, desc.Depth, true);

    const D3DFORMAT sourceFormat = c.Pick(kSourceFormats);
    const UINT sw = 1 + c.Below(24), sh = 1 + c.Below(24), sd = 1 + c.Below(5);
    const D3DBOX sourceBox = BoxIn(c, sw, sh, sd, false);
    std::size_t rowBytes = 0;
    UINT rows = 0;
    StoredRows(sourceFormat, sw, sh, rowBytes, rows);
    const std::size_t rowPitch = rowBytes + c.Below(9), slicePitch = rowPitch * rows + c.Below(9);
    const DWORD filter = c.Pick(kFilters);
    const std::uint8_t keyed = c.Byte(), keyBlue = c.Byte();
    const D3DCOLOR key = (keyed & 1) ? 0xFF000000u | keyBlue : 0;
    PALETTEENTRY palettes[2][256];
    for (int p = 0; p < 2; ++p) {
        std::uint32_t state = 0x9E3779B9u * (1 + p);
        for (PALETTEENTRY& e : palettes[p]) {
            state = state * 1664525u + 1013904223u;
            std::memcpy(&e, &state, 4);
        }
    }
    const std::uint8_t palettesUsed = c.Byte();

    // The source holds exactly sd slices; the rest of the input fills it, repeated.
    std::vector<BYTE> source(slicePitch * sd);
    const std::size_t rest = size - c.Used();
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = rest == 0 ? static_cast<BYTE>(i * 31) : data[c.Used() + i % rest];
    }

    // The destination starts from a pattern, to see what the load changed.
    std::vector<BYTE> before;
    D3DLOCKED_BOX locked;
    const bool plain = !IsBlockFormat(desc.Format) && !IsPackedPairFormat(desc.Format);
    const std::size_t bpp = LookUpFormatDesc(desc.Format).bits / 8;
    if (plain && SUCCEEDED(volume->LockBox(&locked, nullptr, 0))) {
        for (UINT z = 0; z < desc.Depth; ++z) {
            for (UINT y = 0; y < desc.Height; ++y) {
                BYTE* row = static_cast<BYTE*>(locked.pBits) + z * locked.SlicePitch + y * locked.RowPitch;
                for (std::size_t x = 0; x < desc.Width * bpp; ++x) row[x] = static_cast<BYTE>(0xA5 ^ (x + y + z));
                before.insert(before.end(), row, row + desc.Width * bpp);
            }
        }
        volume->UnlockBox();
    }

    const HRESULT hr = D3DXLoadVolumeFromMemory(volume, (palettesUsed & 1) ? palettes[0] : nullptr,
                                                wholeDest ? nullptr : &destBox, source.data(), sourceFormat,
                                                static_cast<UINT>(rowPitch), static_cast<UINT>(slicePitch),
                                                (palettesUsed & 2) ? palettes[1] : nullptr, &sourceBox, filter, key);

    // A whole-pixel destination changes inside its box only, and not at all when the load fails.
    if (!before.empty() && SUCCEEDED(volume->LockBox(&locked, nullptr, D3DLOCK_READONLY))) {
        std::size_t at = 0;
        for (UINT z = 0; z < desc.Depth; ++z) {
            for (UINT y = 0; y < desc.Height; ++y) {
                const BYTE* row = static_cast<const BYTE*>(locked.pBits) + z * locked.SlicePitch + y * locked.RowPitch;
                for (UINT x = 0; x < desc.Width; ++x, at += bpp) {
                    const bool inside =
                        SUCCEEDED(hr) && (wholeDest || (x >= destBox.Left && x < destBox.Right && y >= destBox.Top &&
                                                        y < destBox.Bottom && z >= destBox.Front && z < destBox.Back));
                    if (!inside && std::memcmp(row + x * bpp, &before[at], bpp) != 0) std::abort();
                }
            }
        }
        volume->UnlockBox();
    }
    volume->Release();
    texture->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 0xFFFFFFFFu) return 0;
    Choices c(data, size);
    switch (c.Below(3)) {
    case 0:
        CreateFromFile(c, true, data, size);
        break;
    case 1:
        CreateFromFile(c, false, data, size);
        break;
    default:
        LoadVolume(c, data, size);
        break;
    }
    return 0;
}
