// D3DXLoadVolumeFromMemory and D3DXLoadVolumeFromVolume: conversion and scaling between boxes, argument checks,
// and volumes copied from other volumes and onto themselves.
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
using texture_test::ImageOf;
using texture_test::MemoryImage;
using texture_test::RandomBytes;
using texture_test::VolumeBytes;

namespace {

TEST_F(CubeVolumeTexture, LoadVolumeFromMemoryConvertsScalesAndKeepsToItsBoxes) {
    PALETTEENTRY palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = {static_cast<BYTE>(i), 0, static_cast<BYTE>(255 - i), 255};
    const std::uint16_t r5g6b5[8] = {0xF800, 0x07E0, 0x001F, 0xFFFF, 0, 0xF800, 0x07E0, 0x001F};
    const BYTE indices[8] = {0, 255, 1, 2, 3, 4, 5, 6};
    const std::uint32_t keyed[8] = {0xFF00FF00, 0xFF102030, 0xFF00FF00, 0xFF405060,
                                    0xFF708090, 0xFF00FF00, 0xFFA0B0C0, 0xFFD0E0F0};
    const std::uint32_t column[2] = {0xFF0000FF, 0xFFFF0000};  // 1 x 1 x 2
    const D3DBOX whole = {0, 0, 2, 2, 0, 2};
    const D3DBOX single = {0, 0, 1, 1, 0, 2};
    const D3DBOX inner = {1, 1, 3, 3, 1, 3};
    // One voxel at (1, 1, 1) of the 2 x 2 x 2 source: a source that ignored any of its box's origins would read
    // another colour.
    const D3DBOX lastVoxel = {1, 1, 2, 2, 1, 2};
    const D3DBOX oneVoxel = {2, 1, 3, 2, 3, 4};
    struct Case {
        const char* what;
        const void* source;
        D3DFORMAT format;
        UINT rowPitch, slicePitch;
        const D3DBOX* srcBox;
        const D3DBOX* destBox;
        DWORD filter;
        D3DCOLOR key;
        // voxel (x, y, z) of the 4 x 4 x 4 destination -> expected; everything else keeps 0x11111111
        std::vector<std::pair<std::array<UINT, 3>, std::uint32_t>> expected;
    } cases[] = {
        {"R5G6B5 into a sub-box",
         r5g6b5,
         D3DFMT_R5G6B5,
         4,
         8,
         &whole,
         &inner,
         D3DX_FILTER_NONE,
         0,
         {{{1, 1, 1}, 0xFFFF0000}, {{2, 1, 1}, 0xFF00FF00}, {{1, 2, 1}, 0xFF0000FF}, {{2, 2, 2}, 0xFF0000FF}}},
        {"R5G6B5 from a box away from the origin",
         r5g6b5,
         D3DFMT_R5G6B5,
         4,
         8,
         &lastVoxel,
         &oneVoxel,
         D3DX_FILTER_NONE,
         0,
         {{{2, 1, 3}, 0xFF0000FF}}},
        {"P8 through its palette",
         indices,
         D3DFMT_P8,
         2,
         4,
         &whole,
         &inner,
         D3DX_FILTER_NONE,
         0,
         {{{1, 1, 1}, 0xFF0000FF}, {{2, 1, 1}, 0xFFFF0000}, {{1, 2, 1}, 0xFF0100FE}}},
        {"colour key",
         keyed,
         D3DFMT_A8R8G8B8,
         8,
         16,
         &whole,
         &inner,
         D3DX_FILTER_NONE,
         0xFF00FF00,
         {{{1, 1, 1}, 0}, {{2, 1, 1}, 0xFF102030}, {{1, 1, 2}, 0xFF708090}, {{2, 1, 2}, 0}}},
        {"point scaling along depth",
         column,
         D3DFMT_A8R8G8B8,
         4,
         4,
         &single,
         nullptr,
         D3DX_FILTER_POINT,
         0,
         {{{0, 0, 0}, 0xFF0000FF}, {{3, 3, 1}, 0xFF0000FF}, {{0, 0, 2}, 0xFFFF0000}, {{3, 3, 3}, 0xFFFF0000}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IDirect3DVolumeTexture9* texture = EmptyVolume(4, 4, 4);
        IDirect3DVolume9* volume = nullptr;
        ASSERT_EQ(texture->GetVolumeLevel(0, &volume), S_OK);
        D3DLOCKED_BOX locked;
        ASSERT_EQ(volume->LockBox(&locked, nullptr, 0), S_OK);
        for (UINT z = 0; z < 4; ++z)
            for (UINT y = 0; y < 4; ++y)
                std::memset(static_cast<BYTE*>(locked.pBits) + z * locked.SlicePitch + y * locked.RowPitch, 0x11, 16);
        volume->UnlockBox();
        ASSERT_EQ(D3DXLoadVolumeFromMemory(volume, nullptr, c.destBox, c.source, c.format, c.rowPitch, c.slicePitch,
                                           c.format == D3DFMT_P8 ? palette : nullptr, c.srcBox, c.filter, c.key),
                  S_OK);
        const Bytes after = VolumeBytes(texture, 0);
        for (UINT z = 0; z < 4; ++z)
            for (UINT y = 0; y < 4; ++y)
                for (UINT x = 0; x < 4; ++x) {
                    std::uint32_t want = 0x11111111;
                    const bool inDest =
                        c.destBox == nullptr || (x >= c.destBox->Left && x < c.destBox->Right && y >= c.destBox->Top &&
                                                 y < c.destBox->Bottom && z >= c.destBox->Front && z < c.destBox->Back);
                    bool listed = false;
                    for (const auto& [at, value] : c.expected) {
                        if (at[0] == x && at[1] == y && at[2] == z) want = value, listed = true;
                    }
                    std::uint32_t got;
                    std::memcpy(&got, after.data() + ((z * 4 + y) * 4 + x) * 4, 4);
                    if (listed || !inDest) {
                        EXPECT_EQ(got, want) << x << "," << y << "," << z;
                    }
                }
        volume->Release();
        texture->Release();
    }
}

TEST_F(CubeVolumeTexture, LoadVolumeChecksItsArguments) {
    IDirect3DVolumeTexture9* texture = EmptyVolume(4, 4, 4);
    IDirect3DVolume9* volume = nullptr;
    ASSERT_EQ(texture->GetVolumeLevel(0, &volume), S_OK);
    const std::uint32_t pixels[8] = {};
    const D3DBOX box = {0, 0, 2, 2, 0, 2};
    const D3DBOX inverted = {0, 0, 2, 2, 2, 0};
    const D3DBOX outside = {0, 0, 2, 2, 3, 5};
    struct Case {
        const char* what;
        IDirect3DVolume9* dest;
        const D3DBOX* destBox;
        const void* source;
        const D3DBOX* srcBox;
        DWORD filter;
        HRESULT result;
    } cases[] = {
        {"no destination", nullptr, nullptr, pixels, &box, D3DX_FILTER_NONE, D3DERR_INVALIDCALL},
        {"no source", volume, nullptr, nullptr, &box, D3DX_FILTER_NONE, D3DERR_INVALIDCALL},
        {"no source box", volume, nullptr, pixels, nullptr, D3DX_FILTER_NONE, D3DERR_INVALIDCALL},
        {"inverted source box", volume, nullptr, pixels, &inverted, D3DX_FILTER_NONE, D3DERR_INVALIDCALL},
        {"destination box past the back", volume, &outside, pixels, &box, D3DX_FILTER_NONE, D3DERR_INVALIDCALL},
        {"filter kind 0", volume, nullptr, pixels, &box, 0, D3DERR_INVALIDCALL},
        {"default filter", volume, nullptr, pixels, &box, D3DX_DEFAULT, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(D3DXLoadVolumeFromMemory(c.dest, nullptr, c.destBox, c.source, D3DFMT_A8R8G8B8, 8, 16, nullptr,
                                           c.srcBox, c.filter, 0),
                  c.result);
    }
    EXPECT_EQ(D3DXLoadVolumeFromVolume(nullptr, nullptr, nullptr, volume, nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadVolumeFromVolume(volume, nullptr, nullptr, volume, nullptr, &outside, D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);

    // A video-memory volume that is not dynamic cannot be locked, and there is no device copy into part of one.
    IDirect3DVolumeTexture9* video = EmptyVolume(4, 4, 4, D3DPOOL_DEFAULT);
    IDirect3DVolume9* videoLevel = nullptr;
    ASSERT_EQ(video->GetVolumeLevel(0, &videoLevel), S_OK);
    EXPECT_EQ(D3DXLoadVolumeFromMemory(videoLevel, nullptr, nullptr, pixels, D3DFMT_A8R8G8B8, 8, 16, nullptr, &box,
                                       D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadVolumeFromVolume(videoLevel, nullptr, nullptr, volume, nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    videoLevel->Release();
    video->Release();
    volume->Release();
    texture->Release();
}

// Between volumes with boxes and filters, and within one volume where source and destination overlap: the
// source is read as it was before the call.
TEST_F(CubeVolumeTexture, LoadVolumeFromVolume) {
    IDirect3DVolumeTexture9* texture = EmptyVolume(4, 4, 4);
    IDirect3DVolumeTexture9* small = EmptyVolume(2, 2, 2, D3DPOOL_SYSTEMMEM);
    IDirect3DVolume9 *big = nullptr, *half = nullptr;
    ASSERT_EQ(texture->GetVolumeLevel(0, &big), S_OK);
    ASSERT_EQ(small->GetVolumeLevel(0, &half), S_OK);
    const Bytes voxels = RandomBytes(4 * 4 * 4 * 4, 14);
    const D3DBOX all = {0, 0, 4, 4, 0, 4};
    ASSERT_EQ(D3DXLoadVolumeFromMemory(big, nullptr, nullptr, voxels.data(), D3DFMT_A8R8G8B8, 16, 64, nullptr, &all,
                                       D3DX_FILTER_NONE, 0),
              S_OK);
    ASSERT_EQ(VolumeBytes(texture, 0), voxels);

    ASSERT_EQ(D3DXLoadVolumeFromVolume(half, nullptr, nullptr, big, nullptr, nullptr, D3DX_FILTER_BOX, 0), S_OK);
    MemoryImage source = ImageOf(D3DFMT_A8R8G8B8, 4, 4, 4, voxels), boxed(D3DFMT_A8R8G8B8, 2, 2, 2);
    ASSERT_EQ(Blit(boxed, source, D3DX_FILTER_BOX), S_OK);
    EXPECT_EQ(VolumeBytes(small, 0), boxed.Pixels());

    // Slices 1-2 onto slices 2-3 of the same volume, one row down and one column left: the boxes overlap in
    // slice 2, and the source box starts away from the volume's origin on every axis.
    const D3DBOX from = {1, 1, 4, 3, 1, 3}, to = {0, 2, 3, 4, 2, 4};
    ASSERT_EQ(D3DXLoadVolumeFromVolume(big, nullptr, &to, big, nullptr, &from, D3DX_FILTER_NONE, 0), S_OK);
    Bytes shifted = voxels;
    for (UINT z = 0; z < 2; ++z)
        for (UINT y = 0; y < 2; ++y)
            for (UINT x = 0; x < 3; ++x) {
                const auto voxel = [](UINT vx, UINT vy, UINT vz) { return ((vz * 4 + vy) * 4 + vx) * 4; };
                std::memcpy(&shifted[voxel(to.Left + x, to.Top + y, to.Front + z)],
                            &voxels[voxel(from.Left + x, from.Top + y, from.Front + z)], 4);
            }
    EXPECT_EQ(VolumeBytes(texture, 0), shifted);

    half->Release();
    big->Release();
    small->Release();
    texture->Release();
}

}  // namespace
