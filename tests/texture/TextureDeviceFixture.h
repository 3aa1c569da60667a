// The fixtures of the tests that create and fill textures: a null Direct3D device under a chosen capability
// profile, checked on tear-down for resources left alive, with loaders for 2D, cube and volume files, and the
// small files and read-backs those tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"
#include "LoadCommon.h"
#include "TextureTestSupport.h"

namespace texture_test {

class TextureDevice : public testing::Test {
protected:
    void UseProfile(const char* profile) {
        TearDownDevice();
        ASSERT_TRUE(tarn::d3d9::SetProfile(profile));
        device = tarn::d3d9::CreateNullDevice(64, 64);
        ASSERT_NE(device, nullptr);
    }
    void SetUp() override { UseProfile("default"); }
    void TearDown() override { TearDownDevice(); }
    void TearDownDevice() {
        if (device != nullptr) {
            EXPECT_EQ(tarn::d3d9::LiveResourceCount(device), 0u) << tarn::d3d9::DescribeLiveResources(device);
            device->Release();
            device = nullptr;
        }
        tarn::d3d9::SetProfile(nullptr);
        tarn::d3d9::ResetBackend();
    }

    HRESULT Load(const std::vector<BYTE>& file, IDirect3DTexture9** texture, UINT width = D3DX_DEFAULT,
                 UINT height = D3DX_DEFAULT, UINT levels = D3DX_DEFAULT, D3DFORMAT format = D3DFMT_UNKNOWN,
                 D3DPOOL pool = D3DPOOL_MANAGED, D3DCOLOR key = 0, DWORD usage = 0, PALETTEENTRY* palette = nullptr) {
        return D3DXCreateTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()), width, height,
                                                   levels, usage, format, pool, D3DX_DEFAULT, D3DX_DEFAULT, key,
                                                   nullptr, palette, texture);
    }

    // The bytes of one level, rows packed.
    static std::vector<BYTE> LevelBytes(IDirect3DTexture9* texture, UINT level, UINT bytesPerPixel) {
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked;
        std::vector<BYTE> bytes;
        if (FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) return bytes;
        for (UINT y = 0; y < desc.Height; ++y) {
            const BYTE* row = static_cast<const BYTE*>(locked.pBits) + static_cast<std::ptrdiff_t>(y) * locked.Pitch;
            bytes.insert(bytes.end(), row, row + desc.Width * bytesPerPixel);
        }
        texture->UnlockRect(level);
        return bytes;
    }

    IDirect3DDevice9* device = nullptr;
};

inline std::vector<BYTE> Tga32(UINT w, UINT h, std::uint32_t seed, std::vector<BYTE>* pixels = nullptr) {
    TgaSpec s;
    s.width = static_cast<std::uint16_t>(w);
    s.height = static_cast<std::uint16_t>(h);
    std::vector<BYTE> data(static_cast<std::size_t>(w) * h * 4);
    FillRandom(data, seed);
    if (pixels != nullptr) *pixels = data;
    return MakeTga(s, {}, data);
}

inline std::vector<BYTE> PalettedTga(const std::vector<BYTE>& map) {
    TgaSpec s;
    s.mapType = 1;
    s.imageType = 1;
    s.pixelBits = 8;
    s.mapEntryBits = 24;
    s.mapLength = 256;
    s.width = 4;
    s.height = 1;
    return MakeTga(s, map, {0, 1, 2, 255});
}

using Bytes = std::vector<BYTE>;

inline Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
    Bytes b(n);
    FillRandom(b, seed);
    return b;
}

// Stored bytes of a locked w x h (x d) region, rows and slices packed.
inline Bytes Packed(const void* bits, INT rowPitch, INT slicePitch, D3DFORMAT format, UINT w, UINT h, UINT d) {
    std::size_t rowBytes = 0;
    UINT rows = 0;
    StoredSize(format, w, h, rowBytes, rows);
    Bytes out;
    for (UINT z = 0; z < d; ++z) {
        for (UINT y = 0; y < rows; ++y) {
            const BYTE* row = static_cast<const BYTE*>(bits) + static_cast<std::ptrdiff_t>(z) * slicePitch +
                              static_cast<std::ptrdiff_t>(y) * rowPitch;
            out.insert(out.end(), row, row + rowBytes);
        }
    }
    return out;
}

inline Bytes FaceBytes(IDirect3DCubeTexture9* cube, UINT face, UINT level) {
    D3DSURFACE_DESC desc = {};
    cube->GetLevelDesc(level, &desc);
    D3DLOCKED_RECT locked = {};
    const auto f = static_cast<D3DCUBEMAP_FACES>(face);
    if (FAILED(cube->LockRect(f, level, &locked, nullptr, D3DLOCK_READONLY))) return {};
    Bytes out = Packed(locked.pBits, locked.Pitch, 0, desc.Format, desc.Width, desc.Height, 1);
    cube->UnlockRect(f, level);
    return out;
}

inline Bytes VolumeBytes(IDirect3DVolumeTexture9* volume, UINT level) {
    D3DVOLUME_DESC desc = {};
    volume->GetLevelDesc(level, &desc);
    D3DLOCKED_BOX locked = {};
    if (FAILED(volume->LockBox(level, &locked, nullptr, D3DLOCK_READONLY))) return {};
    Bytes out =
        Packed(locked.pBits, locked.RowPitch, locked.SlicePitch, desc.Format, desc.Width, desc.Height, desc.Depth);
    volume->UnlockBox(level);
    return out;
}

// A MemoryImage holding `bytes` (packed rows and slices of `format`).
inline MemoryImage ImageOf(D3DFORMAT format, UINT w, UINT h, UINT d, const Bytes& bytes) {
    MemoryImage image(format, w, h, d);
    std::copy(bytes.begin(), bytes.end(), image.bytes.begin());
    return image;
}

inline Bytes Tga32Bytes(UINT w, UINT h, const Bytes& bgra) {
    TgaSpec s;
    s.width = static_cast<std::uint16_t>(w);
    s.height = static_cast<std::uint16_t>(h);
    return MakeTga(s, {}, bgra);
}

// A8R8G8B8 DDS headers of a cube map of six w x h faces and of a w x h x d volume.
inline DdsHeader CubeDdsHeader(UINT w, UINT h) {
    DdsHeader d = DdsA8R8G8B8(w, h);
    d.caps2 = kDdsAllFaces;
    return d;
}
inline DdsHeader VolumeDdsHeader(UINT w, UINT h, UINT depth) {
    DdsHeader d = DdsA8R8G8B8(w, h);
    d.headerFlags |= kDdsDepthFlag;
    d.depth = depth;
    return d;
}

class CubeVolumeTexture : public TextureDevice {
protected:
    HRESULT LoadCube(const Bytes& file, IDirect3DCubeTexture9** cube, UINT size = D3DX_DEFAULT,
                     UINT levels = D3DX_DEFAULT, D3DPOOL pool = D3DPOOL_MANAGED, DWORD usage = 0,
                     DWORD filter = D3DX_DEFAULT, DWORD mipFilter = D3DX_DEFAULT) {
        return D3DXCreateCubeTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()), size,
                                                       levels, usage, D3DFMT_UNKNOWN, pool, filter, mipFilter, 0,
                                                       nullptr, nullptr, cube);
    }
    HRESULT LoadVolume(const Bytes& file, IDirect3DVolumeTexture9** volume, UINT width = D3DX_DEFAULT,
                       UINT height = D3DX_DEFAULT, UINT depth = D3DX_DEFAULT, UINT levels = D3DX_DEFAULT,
                       D3DPOOL pool = D3DPOOL_MANAGED, DWORD usage = 0, D3DXIMAGE_INFO* info = nullptr) {
        return D3DXCreateVolumeTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()), width,
                                                         height, depth, levels, usage, D3DFMT_UNKNOWN, pool,
                                                         D3DX_DEFAULT, D3DX_DEFAULT, 0, info, nullptr, volume);
    }
    // An empty A8R8G8B8 volume texture of one level in `pool`.
    IDirect3DVolumeTexture9* EmptyVolume(UINT w, UINT h, UINT d, D3DPOOL pool = D3DPOOL_MANAGED, DWORD usage = 0,
                                         UINT levels = 1) {
        IDirect3DVolumeTexture9* volume = nullptr;
        EXPECT_EQ(device->CreateVolumeTexture(w, h, d, levels, usage, D3DFMT_A8R8G8B8, pool, &volume, nullptr), S_OK);
        return volume;
    }
};

}  // namespace texture_test
