// The fixture of the tests that create textures: a null Direct3D device under a chosen capability profile,
// checked on tear-down for resources left alive.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"

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

}  // namespace texture_test
