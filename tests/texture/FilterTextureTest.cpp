// D3DXFilterTexture on 2D, cube and volume textures: the chains it builds, cube faces filtered apart, and its
// argument checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "texture/D3DXTexture.h"
#include "TextureDeviceFixture.h"
#include "TextureTestSupport.h"

using namespace tarn::texture;
using texture_test::Blit;
using texture_test::Bytes;
using texture_test::CubeVolumeTexture;
using texture_test::FaceBytes;
using texture_test::FillRandom;
using texture_test::ImageOf;
using texture_test::MemoryImage;
using texture_test::RandomBytes;
using texture_test::TextureDevice;
using texture_test::VolumeBytes;

namespace {

TEST_F(TextureDevice, FilterTexture) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTexture(device, 256, 256, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), S_OK);
    ASSERT_EQ(texture->GetLevelCount(), 9u);
    // Levels 0 and 1 hold unrelated noise, and the chain is built from level 1: level 0 and level 1 stay as they
    // are, and level 2 is the box of level 1, not of level 0.
    std::vector<std::vector<BYTE>> written;
    for (UINT level = 0; level < 2; ++level) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), S_OK);
        const UINT size = 256 >> level;
        std::vector<BYTE> random(size * 4);
        for (UINT y = 0; y < size; ++y) {
            FillRandom(random, level * 1000 + y);
            std::copy(random.begin(), random.end(), static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
        }
        texture->UnlockRect(level);
        written.push_back(LevelBytes(texture, level, 4));
    }
    ASSERT_EQ(D3DXFilterTexture(texture, nullptr, 1, D3DX_DEFAULT), S_OK);
    EXPECT_EQ(LevelBytes(texture, 0, 4), written[0]);
    EXPECT_EQ(LevelBytes(texture, 1, 4), written[1]);
    MemoryImage one(D3DFMT_A8R8G8B8, 128, 128), two(D3DFMT_A8R8G8B8, 64, 64);
    std::copy(written[1].begin(), written[1].end(), one.bytes.begin());
    ASSERT_EQ(Blit(two, one, D3DX_FILTER_BOX), S_OK);
    EXPECT_EQ(LevelBytes(texture, 2, 4), two.Pixels());
    const std::vector<BYTE> seven = LevelBytes(texture, 7, 4), eight = LevelBytes(texture, 8, 4);
    ASSERT_EQ(seven.size(), 16u);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(eight[c], (seven[c] + seven[4 + c] + seven[8 + c] + seven[12 + c] + 2) / 4) << "channel " << c;
    }
    EXPECT_EQ(D3DXFilterTexture(texture, nullptr, 9, D3DX_FILTER_BOX), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXFilterTexture(nullptr, nullptr, 0, D3DX_FILTER_BOX), D3DERR_INVALIDCALL);
    texture->Release();

    ASSERT_EQ(D3DXCreateTexture(device, 8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), S_OK);
    EXPECT_EQ(D3DXFilterTexture(texture, nullptr, 0, D3DX_FILTER_BOX), S_OK);
    texture->Release();
}

// A face whose right-hand column is white: filtering a cube face must not wrap it into the left-hand column, as
// the same data in a 2D texture does.
TEST_F(CubeVolumeTexture, FilterTextureKeepsCubeFaceEdgesApart) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), S_OK);
    IDirect3DTexture9* flat = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &flat, nullptr), S_OK);
    // A white right-hand column on black; each face also has a blue of its own, so that a face filtered from
    // another shows.
    auto fill = [](D3DLOCKED_RECT& locked, BYTE blue) {
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 4; ++x) {
                const std::uint32_t v = (x == 3 ? 0xFFFFFF00u : 0xFF000000u) | blue;
                std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + 4 * x, &v, 4);
            }
    };
    auto faceBlue = [](UINT face) { return static_cast<BYTE>(0x10 + 0x20 * face); };
    D3DLOCKED_RECT locked;
    for (UINT face = 0; face < 6; ++face) {
        ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, 0), S_OK);
        fill(locked, faceBlue(face));
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
    }
    ASSERT_EQ(flat->LockRect(0, &locked, nullptr, 0), S_OK);
    fill(locked, 0xFF);
    flat->UnlockRect(0);

    ASSERT_EQ(D3DXFilterTexture(cube, nullptr, 0, D3DX_FILTER_TRIANGLE), S_OK);
    ASSERT_EQ(D3DXFilterTexture(flat, nullptr, 0, D3DX_FILTER_TRIANGLE), S_OK);
    const Bytes wrapped = LevelBytes(flat, 1, 4);
    EXPECT_NE(wrapped[2], 0) << "the 2D texture wraps the white column round";
    for (UINT face = 0; face < 6; ++face) {
        const Bytes level1 = FaceBytes(cube, face, 1);
        ASSERT_EQ(level1.size(), 16u);
        for (UINT y = 0; y < 2; ++y) {
            EXPECT_EQ(level1[y * 8 + 2], 0) << "face " << face << ", row " << y << ": left column";
            EXPECT_GT(level1[y * 8 + 4 + 2], 0x40) << "face " << face << ", row " << y << ": right column";
            EXPECT_EQ(level1[y * 8], faceBlue(face)) << "face " << face << ", row " << y << ": blue";
            EXPECT_EQ(level1[y * 8 + 4], faceBlue(face)) << "face " << face << ", row " << y << ": blue";
        }
    }
    EXPECT_EQ(D3DXFilterTexture(cube, nullptr, 2, D3DX_FILTER_BOX), D3DERR_INVALIDCALL);
    flat->Release();
    cube->Release();
}

// BOX on a volume is the exact 2 x 2 x 2 mean, each level made from the one above; D3DX_DEFAULT picks it only
// when depth is a power of two too.
TEST_F(CubeVolumeTexture, FilterTextureOnVolumes) {
    IDirect3DVolumeTexture9* volume = EmptyVolume(8, 4, 8, D3DPOOL_MANAGED, 0, 4);
    ASSERT_NE(volume, nullptr);
    const Bytes level0 = RandomBytes(8 * 4 * 8 * 4, 12);
    D3DLOCKED_BOX locked;
    ASSERT_EQ(volume->LockBox(0, &locked, nullptr, 0), S_OK);
    for (UINT z = 0; z < 8; ++z)
        for (UINT y = 0; y < 4; ++y)
            std::memcpy(static_cast<BYTE*>(locked.pBits) + z * locked.SlicePitch + y * locked.RowPitch,
                        level0.data() + (z * 4 + y) * 32, 32);
    volume->UnlockBox(0);

    for (DWORD filter : {static_cast<DWORD>(D3DX_FILTER_BOX), D3DX_DEFAULT}) {
        SCOPED_TRACE(filter == D3DX_DEFAULT ? "default" : "box");
        ASSERT_EQ(D3DXFilterTexture(volume, nullptr, 0, filter), S_OK);
        Bytes above = level0;
        UINT w = 8, h = 4, d = 8;
        for (UINT level = 1; level < 4; ++level) {
            // The plain mean of each 2 x 2 x 2 block (a 1-high source counts its row twice).
            const UINT nw = w / 2, nh = std::max(h / 2, 1u), nd = d / 2;
            Bytes expected(static_cast<std::size_t>(nw) * nh * nd * 4);
            for (UINT z = 0; z < nd; ++z)
                for (UINT y = 0; y < nh; ++y)
                    for (UINT x = 0; x < nw; ++x)
                        for (UINT ch = 0; ch < 4; ++ch) {
                            UINT sum = 4;
                            for (UINT k = 0; k < 8; ++k) {
                                const UINT sx = 2 * x + (k & 1), sy = h == 1 ? 0 : 2 * y + ((k >> 1) & 1),
                                           sz = 2 * z + (k >> 2);
                                sum += above[((sz * h + sy) * w + sx) * 4 + ch];
                            }
                            expected[((z * nh + y) * nw + x) * 4 + ch] = static_cast<BYTE>(sum >> 3);
                        }
            EXPECT_EQ(VolumeBytes(volume, level), expected) << "level " << level;
            above = expected;
            w = nw, h = nh, d = nd;
        }
    }
    volume->Release();

    // Depth 3 is not a power of two: the default is the triangle filter with dither.
    volume = EmptyVolume(4, 4, 3, D3DPOOL_MANAGED, 0, 2);
    ASSERT_NE(volume, nullptr);
    const Bytes odd = RandomBytes(4 * 4 * 3 * 4, 13);
    ASSERT_EQ(volume->LockBox(0, &locked, nullptr, 0), S_OK);
    for (UINT z = 0; z < 3; ++z)
        for (UINT y = 0; y < 4; ++y)
            std::memcpy(static_cast<BYTE*>(locked.pBits) + z * locked.SlicePitch + y * locked.RowPitch,
                        odd.data() + (z * 4 + y) * 16, 16);
    volume->UnlockBox(0);
    ASSERT_EQ(D3DXFilterTexture(volume, nullptr, D3DX_DEFAULT, D3DX_DEFAULT), S_OK);
    MemoryImage source = ImageOf(D3DFMT_A8R8G8B8, 4, 4, 3, odd);
    MemoryImage expected(D3DFMT_A8R8G8B8, 2, 2, 1);
    ASSERT_EQ(Blit(expected, source, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER), S_OK);
    EXPECT_EQ(VolumeBytes(volume, 1), expected.Pixels());
    EXPECT_EQ(D3DXFilterTexture(volume, nullptr, 2, D3DX_FILTER_BOX), D3DERR_INVALIDCALL);
    volume->Release();
}

}  // namespace
