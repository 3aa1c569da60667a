// Textures, cube textures and volume textures from image files on the null Direct3D device: sizes, levels and
// formats completed from the file and fitted to the capability profile, every face, slice and level filled from
// what the file stores, levels the file lacks, palettes and colour keys, the default pool, and files that fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"
#include "ImageReader.h"
#include "TextureDeviceFixture.h"
#include "TextureTestSupport.h"

using namespace tarn::texture;
using texture_test::Blit;
using texture_test::Bytes;
using texture_test::CubeDdsHeader;
using texture_test::CubeVolumeTexture;
using texture_test::DdsA8R8G8B8;
using texture_test::DdsHeader;
using texture_test::FaceBytes;
using texture_test::FillRandom;
using texture_test::ImageOf;
using texture_test::kDdsAllFaces;
using texture_test::kDdsDepthFlag;
using texture_test::MakeDds;
using texture_test::MakeTga;
using texture_test::MemoryImage;
using texture_test::PalettedTga;
using texture_test::RandomBytes;
using texture_test::TextureDevice;
using texture_test::Tga32;
using texture_test::Tga32Bytes;
using texture_test::TgaSpec;
using texture_test::VolumeBytes;
using texture_test::VolumeDdsHeader;

namespace {

// The caustic-frame case: a 100 x 60 file on a device that demands powers of two.
TEST_F(TextureDevice, DefaultsOnAPowerOfTwoDevice) {
    UseProfile("pow2");
    std::vector<BYTE> pixels;
    const std::vector<BYTE> file = Tga32(100, 60, 7, &pixels);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(file, &texture), S_OK);
    ASSERT_EQ(texture->GetLevelCount(), 8u);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 128u);
    EXPECT_EQ(desc.Height, 64u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);

    // Level 0: triangle with dither from the image; each further level: the box of the level above.
    MemoryImage source(D3DFMT_A8R8G8B8, 100, 60), level(D3DFMT_A8R8G8B8, 128, 64);
    std::copy(pixels.begin(), pixels.end(), source.bytes.begin());
    ASSERT_EQ(Blit(level, source, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER), S_OK);
    EXPECT_EQ(LevelBytes(texture, 0, 4), level.Pixels());
    for (UINT i = 1; i < 8; ++i) {
        MemoryImage next(D3DFMT_A8R8G8B8, std::max(level.width / 2, 1u), std::max(level.height / 2, 1u));
        ASSERT_EQ(Blit(next, level, D3DX_FILTER_BOX), S_OK);
        EXPECT_EQ(LevelBytes(texture, i, 4), next.Pixels()) << "level " << i;
        level = next;
    }
    texture->Release();
}

// Images that go unchanged into level 0 have level 1 made band by band as level 0 is written: several bands
// and a short last one (rows of 4 KiB, 200 rows), both row orders and a 16-bit format give the same chain as
// copying level 0 and box-filtering each level from the one above.
TEST_F(TextureDevice, ChainsOfImagesLoadedUnchanged) {
    constexpr UINT kWidth = 1024, kHeight = 200;
    struct Case {
        BYTE pixelBits, descriptor;
        D3DFORMAT format;
    } cases[] = {
        {32, 0x20, D3DFMT_A8R8G8B8},
        {32, 0x00, D3DFMT_A8R8G8B8},
        {16, 0x00, D3DFMT_A1R5G5B5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.pixelBits) << " bits, descriptor " << int(c.descriptor));
        const UINT bytesPerPixel = c.pixelBits / 8;
        MemoryImage level(c.format, kWidth, kHeight);
        FillRandom(level.bytes, c.pixelBits + c.descriptor);
        std::vector<BYTE> stored;  // rows in file order
        for (UINT i = 0; i < kHeight; ++i) {
            const BYTE* row = level.Row(c.descriptor & 0x20 ? i : kHeight - 1 - i);
            stored.insert(stored.end(), row, row + kWidth * bytesPerPixel);
        }
        TgaSpec s;
        s.width = kWidth;
        s.height = kHeight;
        s.pixelBits = c.pixelBits;
        s.descriptor = c.descriptor;
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(Load(MakeTga(s, {}, stored), &texture, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2), S_OK);
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(0, &desc);
        ASSERT_EQ(desc.Format, c.format);
        ASSERT_EQ(texture->GetLevelCount(), 11u);
        EXPECT_EQ(LevelBytes(texture, 0, bytesPerPixel), level.Pixels());
        for (UINT i = 1; i < texture->GetLevelCount(); ++i) {
            MemoryImage next(c.format, std::max(level.width / 2, 1u), std::max(level.height / 2, 1u));
            ASSERT_EQ(Blit(next, level, D3DX_FILTER_BOX), S_OK);
            EXPECT_EQ(LevelBytes(texture, i, bytesPerPixel), next.Pixels()) << "level " << i;
            level = next;
        }
        texture->Release();
    }
}

TEST_F(TextureDevice, OrientationsLoadTheSameTexture) {
    // 3 x 2 pixels, 24-bit, stored top-down, bottom-up (read in place, upwards) and run-length bottom-up.
    const std::vector<BYTE> top = {1, 2, 3, 4, 5, 6, 7, 8, 9}, bottom = {10, 11, 12, 13, 14, 15, 16, 17, 18};
    TgaSpec s;
    s.width = 3;
    s.height = 2;
    s.pixelBits = 24;
    std::vector<BYTE> topDown = top, bottomUp = bottom, runLength = {0x02};
    topDown.insert(topDown.end(), bottom.begin(), bottom.end());
    bottomUp.insert(bottomUp.end(), top.begin(), top.end());
    runLength.insert(runLength.end(), bottom.begin(), bottom.end());
    runLength.push_back(0x02);
    runLength.insert(runLength.end(), top.begin(), top.end());
    std::vector<std::vector<BYTE>> levels;
    for (auto [type, descriptor, data] :
         {std::tuple{BYTE(2), BYTE(0x20), topDown}, std::tuple{BYTE(2), BYTE(0), bottomUp},
          std::tuple{BYTE(10), BYTE(0), runLength}}) {
        s.imageType = type;
        s.descriptor = descriptor;
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(Load(MakeTga(s, {}, data), &texture, 16, 16), S_OK);
        levels.push_back(LevelBytes(texture, 0, 4));
        levels.push_back(LevelBytes(texture, 4, 4));
        texture->Release();
    }
    EXPECT_EQ(levels[0], levels[2]);
    EXPECT_EQ(levels[0], levels[4]);
    EXPECT_EQ(levels[1], levels[3]);
    EXPECT_EQ(levels[1], levels[5]);
}

TEST_F(TextureDevice, NonPowerOfTwoRequests) {
    UseProfile("pow2-conditional");
    const std::vector<BYTE> file = Tga32(100, 60, 3);
    struct Case {
        UINT levels;
        UINT width, height, levelCount;
    } cases[] = {{1, 100, 60, 1}, {D3DX_DEFAULT, 128, 64, 8}};
    for (const Case& c : cases) {
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(Load(file, &texture, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, c.levels), S_OK);
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, c.width);
        EXPECT_EQ(desc.Height, c.height);
        EXPECT_EQ(texture->GetLevelCount(), c.levelCount);
        texture->Release();
    }
}

TEST_F(TextureDevice, FromFileThatTheDeviceCannotHonour) {
    UseProfile("max256");
    const std::vector<BYTE> file = Tga32(300, 20, 5);
    IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(0x1);
    EXPECT_EQ(Load(file, &texture, D3DX_FROM_FILE, D3DX_DEFAULT_NONPOW2, 1), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(texture, reinterpret_cast<IDirect3DTexture9*>(0x1));  // not written
    texture = nullptr;
    ASSERT_EQ(Load(file, &texture, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1), S_OK);  // shrunk is fine
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 256u);
    texture->Release();
    // Levels from the file: one.
    ASSERT_EQ(Load(Tga32(16, 16, 1), &texture, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_FROM_FILE), S_OK);
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    texture->Release();
}

TEST_F(TextureDevice, PalettesThatNeedNoPalette) {
    std::vector<BYTE> grey, cube;
    static const BYTE kThree[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    static const BYTE kTwo[4] = {0, 85, 170, 255};
    for (int i = 0; i < 256; ++i) {
        grey.insert(grey.end(), {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i)});
        cube.insert(cube.end(), {kTwo[i & 3], kThree[(i >> 2) & 7], kThree[i >> 5]});  // B, G, R
    }
    struct Case {
        const char* what;
        std::vector<BYTE> map;
        D3DFORMAT wanted;
    } cases[] = {{"grey ramp", grey, D3DFMT_L8}, {"3-3-2 cube", cube, D3DFMT_R3G3B2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(Load(PalettedTga(c.map), &texture, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1), S_OK);
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Format, FindBestFormat(device, 0, D3DRTYPE_TEXTURE, LookUpFormatDesc(c.wanted)));
        texture->Release();
    }
    // Another palette without a palette buffer: 32-bit colour; asked for from the file: refused.
    std::vector<BYTE> other(grey);
    other[0] = 9;
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(PalettedTga(other), &texture, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1), S_OK);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    texture->Release();
    // Passed as a constant: a D3DFORMAT variable holding FROM_FILE is outside the enumeration's declared range.
    const std::vector<BYTE> file = PalettedTga(other);
    EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(
                  device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
                  D3DFMT_FROM_FILE, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
}

TEST_F(TextureDevice, ColourKeyOnTwentyFourBitChoosesAlpha) {
    TgaSpec s;
    s.width = 2;
    s.height = 1;
    s.pixelBits = 24;
    const std::vector<BYTE> file = MakeTga(s, {}, {0x00, 0xFF, 0x00, 0x10, 0x20, 0x30});  // green, then other
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(file, &texture, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                   0xFF00FF00),
              S_OK);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(LevelBytes(texture, 0, 4), (std::vector<BYTE>{0, 0, 0, 0, 0x10, 0x20, 0x30, 0xFF}));
    texture->Release();
    // Without the key the 24-bit image becomes X8R8G8B8.
    ASSERT_EQ(Load(file, &texture, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1), S_OK);
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    texture->Release();
}

TEST_F(TextureDevice, DefaultPoolIsFilledThroughSystemMemory) {
    std::vector<BYTE> pixels;
    const std::vector<BYTE> file = Tga32(8, 8, 9, &pixels);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(file, &texture, D3DX_DEFAULT, D3DX_DEFAULT, 1, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT), S_OK);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(tarn::d3d9::LiveResourceCount(device), 1u);  // the staging copy is gone
    texture->Release();
    // A dynamic texture is written directly, and can be read back.
    ASSERT_EQ(
        Load(file, &texture, D3DX_DEFAULT, D3DX_DEFAULT, 1, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, 0, D3DUSAGE_DYNAMIC),
        S_OK);
    EXPECT_EQ(LevelBytes(texture, 0, 4), pixels);
    texture->Release();
}

TEST_F(TextureDevice, FilesThatCannotBeLoaded) {
    const std::string empty = testing::TempDir() + "tarn-empty.tga";
    std::fclose(std::fopen(empty.c_str(), "wb"));
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileA(device, empty.c_str(), &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileA(device, (testing::TempDir() + "tarn-missing.tga").c_str(), &texture),
              D3DXERR_INVALIDDATA);
    const std::vector<BYTE> junk(5, 0x33);
    EXPECT_EQ(Load(junk, &texture), D3DXERR_INVALIDDATA);
    EXPECT_EQ(texture, nullptr);
    std::remove(empty.c_str());

    const std::string real = testing::TempDir() + "tarn-real.tga";
    const std::vector<BYTE> file = Tga32(4, 4, 2);
    std::FILE* f = std::fopen(real.c_str(), "wb");
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    ASSERT_EQ(D3DXCreateTextureFromFileA(device, real.c_str(), &texture), S_OK);
    EXPECT_EQ(texture->GetLevelCount(), 3u);
    texture->Release();
    std::remove(real.c_str());
}

// Cube files of six faces, each with its stored chain, read back face by face and level by level.
TEST_F(CubeVolumeTexture, CubeMapsLoadEveryFaceAndLevelAsStored) {
    struct Case {
        const char* what;
        DdsHeader header;
        std::vector<std::size_t> levelBytes;  // of one face
    } cases[] = {
        {"A8R8G8B8 4 x 4, three levels", DdsA8R8G8B8(4, 4), {64, 16, 4}},
        {"DXT1 8 x 8, four levels", DdsHeader{8, 8, 0, 0}, {32, 8, 8, 8}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.header.caps2 = kDdsAllFaces;
        c.header.mips = static_cast<std::uint32_t>(c.levelBytes.size());
        std::size_t faceBytes = 0;
        for (std::size_t n : c.levelBytes) faceBytes += n;
        const Bytes data = RandomBytes(6 * faceBytes, 3);
        IDirect3DCubeTexture9* cube = nullptr;
        D3DXIMAGE_INFO info = {};
        const Bytes file = MakeDds(c.header, data);
        ASSERT_EQ(D3DXCreateCubeTextureFromFileInMemoryEx(
                      device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT, D3DX_FROM_FILE, 0,
                      D3DFMT_FROM_FILE, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info, nullptr, &cube),
                  S_OK);
        EXPECT_EQ(info.ResourceType, D3DRTYPE_CUBETEXTURE);
        EXPECT_EQ(cube->GetType(), D3DRTYPE_CUBETEXTURE);
        ASSERT_EQ(cube->GetLevelCount(), c.levelBytes.size());
        D3DSURFACE_DESC desc = {};
        cube->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, c.header.width);
        EXPECT_EQ(desc.Format, c.header.fourCC != 0 ? static_cast<D3DFORMAT>(c.header.fourCC) : D3DFMT_A8R8G8B8);
        std::size_t at = 0;
        for (UINT face = 0; face < 6; ++face) {
            for (UINT level = 0; level < c.levelBytes.size(); ++level) {
                const Bytes stored(data.begin() + static_cast<std::ptrdiff_t>(at),
                                   data.begin() + static_cast<std::ptrdiff_t>(at + c.levelBytes[level]));
                EXPECT_EQ(FaceBytes(cube, face, level), stored) << "face " << face << ", level " << level;
                at += c.levelBytes[level];
            }
        }
        cube->Release();
    }
}

TEST_F(CubeVolumeTexture, VolumesLoadEverySliceAndLevelAsStored) {
    DdsHeader argb = DdsA8R8G8B8(4, 4);
    argb.depth = 4;
    DdsHeader l8 = DdsA8R8G8B8(8, 4);
    l8.depth = 2;
    l8.pfFlags = 0x20000, l8.bits = 8, l8.masks[0] = 0xFF, l8.masks[1] = l8.masks[2] = l8.masks[3] = 0;
    struct Case {
        const char* what;
        DdsHeader header;
        D3DFORMAT format;
        std::vector<std::size_t> levelBytes;
    } cases[] = {
        {"A8R8G8B8 4 x 4 x 4", argb, D3DFMT_A8R8G8B8, {256, 32, 4}},
        {"L8 8 x 4 x 2", l8, D3DFMT_L8, {64, 8, 2, 1}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.header.headerFlags |= kDdsDepthFlag;
        c.header.mips = static_cast<std::uint32_t>(c.levelBytes.size());
        std::size_t total = 0;
        for (std::size_t n : c.levelBytes) total += n;
        const Bytes data = RandomBytes(total, 4);
        IDirect3DVolumeTexture9* volume = nullptr;
        D3DXIMAGE_INFO info = {};
        ASSERT_EQ(LoadVolume(MakeDds(c.header, data), &volume, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_FROM_FILE, D3DX_DEFAULT,
                             D3DPOOL_MANAGED, 0, &info),
                  S_OK);
        EXPECT_EQ(info.Depth, c.header.depth);
        EXPECT_EQ(volume->GetType(), D3DRTYPE_VOLUMETEXTURE);
        ASSERT_EQ(volume->GetLevelCount(), c.levelBytes.size());
        D3DVOLUME_DESC desc = {};
        volume->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Format, c.format);
        EXPECT_EQ(desc.Depth, c.header.depth);
        std::size_t at = 0;
        for (UINT level = 0; level < c.levelBytes.size(); ++level) {
            const Bytes stored(data.begin() + static_cast<std::ptrdiff_t>(at),
                               data.begin() + static_cast<std::ptrdiff_t>(at + c.levelBytes[level]));
            EXPECT_EQ(VolumeBytes(volume, level), stored) << "level " << level;
            at += c.levelBytes[level];
        }
        volume->Release();
    }
}

// The device keeps no block-compressed volumes in managed memory: a DXT1 volume file is decoded slice by slice into
// the closest plain format, and D3DX_FROM_FILE for the format is refused rather than changed.
TEST_F(CubeVolumeTexture, BlockCompressedVolumesAreDecoded) {
    DdsHeader header;  // DXT1 4 x 4
    header.headerFlags |= kDdsDepthFlag;
    header.depth = 2;
    const Bytes blocks = RandomBytes(2 * 8, 15);
    const Bytes file = MakeDds(header, blocks);
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(LoadVolume(file, &volume, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 1), S_OK);
    D3DVOLUME_DESC desc = {};
    volume->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Depth, 2u);
    ImageDesc source;
    source.memory = const_cast<BYTE*>(blocks.data());
    source.format = D3DFMT_DXT1;
    source.rowPitch = 8;
    source.slicePitch = 8;
    source.box = {0, 0, 4, 4, 0, 2};
    // The load's default filter dithers; its volume dither pattern runs on with the slice.
    MemoryImage expected(D3DFMT_A8R8G8B8, 4, 4, 2);
    ASSERT_EQ(BlitImage(expected.Desc(), source, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER), S_OK);
    EXPECT_EQ(VolumeBytes(volume, 0), expected.Pixels());
    // Without dither, each slice holds exactly its own block decoded.
    MemoryImage plain(D3DFMT_A8R8G8B8, 4, 4, 2);
    ASSERT_EQ(BlitImage(plain.Desc(), source, D3DX_FILTER_NONE), S_OK);
    const Bytes planes = plain.Pixels();
    for (UINT z = 0; z < 2; ++z) {
        MemoryImage slice(D3DFMT_A8R8G8B8, 4, 4);
        ImageDesc one = source;
        one.box.front = z, one.box.back = z + 1;
        ASSERT_EQ(BlitImage(slice.Desc(), one, D3DX_FILTER_NONE), S_OK);
        EXPECT_EQ(slice.Pixels(), Bytes(planes.begin() + z * 64, planes.begin() + (z + 1) * 64)) << "slice " << z;
    }
    volume->Release();
    EXPECT_EQ(D3DXCreateVolumeTextureFromFileInMemoryEx(
                  device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                  D3DFMT_FROM_FILE, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &volume),
              D3DERR_NOTAVAILABLE);
}

// Levels beyond the file's: filtered from each face's own levels (box chain), or, with a mip filter that does not
// chain, loaded again from each face's smallest stored level with the level filter. Cube filters never wrap.
TEST_F(CubeVolumeTexture, CubeLevelsBeyondTheFileAreMadeFromEachFace) {
    struct Case {
        const char* what;
        DWORD filter, mipFilter;
        DWORD expectedFilter;  // how level n is made from level n - 1 (box) or from level 0
        bool chain;
    } cases[] = {
        {"box chain", D3DX_DEFAULT, D3DX_DEFAULT, D3DX_FILTER_BOX, true},
        {"reloaded from the file", D3DX_FILTER_TRIANGLE, D3DX_FILTER_LINEAR, D3DX_FILTER_TRIANGLE | D3DX_FILTER_MIRROR,
         false},
    };
    const DdsHeader header = CubeDdsHeader(4, 4);
    const Bytes data = RandomBytes(6 * 64, 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IDirect3DCubeTexture9* cube = nullptr;
        ASSERT_EQ(LoadCube(MakeDds(header, data), &cube, D3DX_DEFAULT, D3DX_DEFAULT, D3DPOOL_MANAGED, 0, c.filter,
                           c.mipFilter),
                  S_OK);
        ASSERT_EQ(cube->GetLevelCount(), 3u);
        for (UINT face = 0; face < 6; ++face) {
            const Bytes level0(data.begin() + face * 64, data.begin() + (face + 1) * 64);
            MemoryImage above = ImageOf(D3DFMT_A8R8G8B8, 4, 4, 1, level0);
            MemoryImage first = above;
            EXPECT_EQ(FaceBytes(cube, face, 0), level0) << "face " << face;
            for (UINT level = 1; level < 3; ++level) {
                MemoryImage expected(D3DFMT_A8R8G8B8, 4 >> level, 4 >> level);
                ASSERT_EQ(Blit(expected, c.chain ? above : first, c.expectedFilter), S_OK);
                EXPECT_EQ(FaceBytes(cube, face, level), expected.Pixels()) << "face " << face << ", level " << level;
                above = expected;
            }
        }
        cube->Release();
    }
}

TEST_F(CubeVolumeTexture, FilesWithoutSixFacesAreNotCubeMaps) {
    DdsHeader flat = DdsA8R8G8B8(4, 4);
    const DdsHeader volume = VolumeDdsHeader(4, 4, 2);
    DdsHeader fiveFaces = CubeDdsHeader(4, 4);
    fiveFaces.caps2 = 0x200 | 0x7C00;
    struct Case {
        const char* what;
        Bytes file;
        HRESULT result;
    } cases[] = {
        {"2D DDS", MakeDds(flat, RandomBytes(64, 1)), E_FAIL},
        {"volume DDS", MakeDds(volume, RandomBytes(128, 1)), E_FAIL},
        {"TGA", Tga32Bytes(4, 4, RandomBytes(64, 1)), E_FAIL},
        // The reader itself refuses a cube map with some faces missing: no reader accepts the file.
        {"five faces", MakeDds(fiveFaces, RandomBytes(6 * 64, 1)), D3DXERR_INVALIDDATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IDirect3DCubeTexture9* cube = nullptr;
        EXPECT_EQ(LoadCube(c.file, &cube), c.result);
        EXPECT_EQ(cube, nullptr);
    }
}

// Any 2D image is a volume of depth 1; a volume file loaded as a 2D texture gives its first slice.
TEST_F(CubeVolumeTexture, TwoDimensionalImagesAndVolumesCrossOver) {
    const Bytes pixels = RandomBytes(8 * 4 * 4, 6);
    IDirect3DVolumeTexture9* volume = nullptr;
    D3DXIMAGE_INFO info = {};
    ASSERT_EQ(LoadVolume(Tga32Bytes(8, 4, pixels), &volume, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_FROM_FILE, 1,
                         D3DPOOL_MANAGED, 0, &info),
              S_OK);
    EXPECT_EQ(info.Depth, 1u);
    D3DVOLUME_DESC desc = {};
    volume->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 8u);
    EXPECT_EQ(desc.Height, 4u);
    EXPECT_EQ(desc.Depth, 1u);
    EXPECT_EQ(VolumeBytes(volume, 0), pixels);
    volume->Release();

    const DdsHeader header = VolumeDdsHeader(4, 4, 3);
    const Bytes slices = RandomBytes(3 * 64, 7);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(MakeDds(header, slices), &texture, D3DX_DEFAULT, D3DX_DEFAULT, 1), S_OK);
    EXPECT_EQ(LevelBytes(texture, 0, 4), Bytes(slices.begin(), slices.begin() + 64));
    texture->Release();
}

// The by-name entry points map the file and run the same sequence; a missing file is invalid data.
TEST_F(CubeVolumeTexture, FilesOpenedByName) {
    const DdsHeader cubeSpec = CubeDdsHeader(2, 2);
    const Bytes faces = RandomBytes(6 * 16, 16);
    const DdsHeader volumeSpec = VolumeDdsHeader(2, 2, 2);
    const Bytes slices = RandomBytes(2 * 16, 17);
    const std::string cubePath = testing::TempDir() + "tarn-cube.dds";
    const std::string volumePath = testing::TempDir() + "tarn-volume.dds";
    for (const auto& [path, file] :
         {std::pair{cubePath, MakeDds(cubeSpec, faces)}, std::pair{volumePath, MakeDds(volumeSpec, slices)}}) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), f), file.size());
        std::fclose(f);
    }

    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTextureFromFileA(device, cubePath.c_str(), &cube), S_OK);
    EXPECT_EQ(cube->GetLevelCount(), 2u);  // the stored level and a filtered 1 x 1
    EXPECT_EQ(FaceBytes(cube, 3, 0), Bytes(faces.begin() + 3 * 16, faces.begin() + 4 * 16));
    cube->Release();
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(D3DXCreateVolumeTextureFromFileExA(device, volumePath.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                                 1, 0, D3DFMT_UNKNOWN, D3DPOOL_SYSTEMMEM, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                 nullptr, nullptr, &volume),
              S_OK);
    EXPECT_EQ(VolumeBytes(volume, 0), slices);
    volume->Release();
    ASSERT_EQ(D3DXCreateVolumeTextureFromFileA(device, volumePath.c_str(), &volume), S_OK);
    volume->Release();
    ASSERT_EQ(D3DXCreateCubeTextureFromFileExA(device, cubePath.c_str(), D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN,
                                               D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &cube),
              S_OK);
    cube->Release();

    std::remove(cubePath.c_str());
    std::remove(volumePath.c_str());
    cube = nullptr;
    volume = nullptr;
    EXPECT_EQ(D3DXCreateCubeTextureFromFileA(device, cubePath.c_str(), &cube), D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXCreateVolumeTextureFromFileA(device, volumePath.c_str(), &volume), D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXCreateCubeTextureFromFileA(device, nullptr, &cube), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateVolumeTextureFromFileA(device, volumePath.c_str(), nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(cube, nullptr);
    EXPECT_EQ(volume, nullptr);
}

// D3DX_FROM_FILE asks for the file's value exactly: a device that would change it refuses the load.
TEST_F(CubeVolumeTexture, FromFileValuesAreKeptOrRefused) {
    const DdsHeader cubeSpec = CubeDdsHeader(6, 6);
    const Bytes cubeFile = MakeDds(cubeSpec, RandomBytes(6 * 144, 8));
    DdsHeader volumeSpec = VolumeDdsHeader(4, 4, 3);
    volumeSpec.mips = 2;
    const Bytes volumeFile = MakeDds(volumeSpec, RandomBytes(4 * 4 * 3 * 4 + 2 * 2 * 1 * 4, 9));
    struct Case {
        const char* profile;
        bool cube;
        UINT size, depth, levels;
        HRESULT result;
        UINT outSize, outDepth, outLevels;
    } cases[] = {
        {"default", true, D3DX_FROM_FILE, 1, 1, S_OK, 6, 1, 1},
        {"pow2", true, D3DX_FROM_FILE, 1, 1, D3DERR_NOTAVAILABLE, 0, 0, 0},
        {"pow2", true, D3DX_DEFAULT, 1, 1, S_OK, 8, 1, 1},
        {"default", false, D3DX_DEFAULT, D3DX_FROM_FILE, D3DX_FROM_FILE, S_OK, 4, 3, 2},
        {"pow2", false, D3DX_DEFAULT, D3DX_FROM_FILE, D3DX_FROM_FILE, D3DERR_NOTAVAILABLE, 0, 0, 0},
        {"pow2", false, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_FROM_FILE, S_OK, 4, 4, 2},
        {"default", false, D3DX_DEFAULT, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT, S_OK, 4, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.profile << (c.cube ? " cube" : " volume") << ", case depth " << c.depth
                                        << " levels " << c.levels);
        UseProfile(c.profile);
        if (c.cube) {
            IDirect3DCubeTexture9* cube = nullptr;
            ASSERT_EQ(LoadCube(cubeFile, &cube, c.size, c.levels), c.result);
            if (FAILED(c.result)) continue;
            D3DSURFACE_DESC desc = {};
            cube->GetLevelDesc(0, &desc);
            EXPECT_EQ(desc.Width, c.outSize);
            EXPECT_EQ(cube->GetLevelCount(), c.outLevels);
            cube->Release();
        } else {
            IDirect3DVolumeTexture9* volume = nullptr;
            ASSERT_EQ(LoadVolume(volumeFile, &volume, c.size, c.size, c.depth, c.levels), c.result);
            if (FAILED(c.result)) continue;
            D3DVOLUME_DESC desc = {};
            volume->GetLevelDesc(0, &desc);
            EXPECT_EQ(desc.Width, c.outSize);
            EXPECT_EQ(desc.Depth, c.outDepth);
            EXPECT_EQ(volume->GetLevelCount(), c.outLevels);
            volume->Release();
        }
    }

    // Faces that are not square cannot be kept as they are: one edge serves both sides.
    UseProfile("default");
    const DdsHeader oblong = CubeDdsHeader(4, 2);
    const Bytes oblongFile = MakeDds(oblong, RandomBytes(6 * 32, 18));
    IDirect3DCubeTexture9* cube = nullptr;
    EXPECT_EQ(LoadCube(oblongFile, &cube, D3DX_FROM_FILE, 1), D3DERR_NOTAVAILABLE);
    ASSERT_EQ(LoadCube(oblongFile, &cube, D3DX_DEFAULT_NONPOW2, 1), S_OK);
    D3DSURFACE_DESC desc = {};
    cube->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 4u);
    EXPECT_EQ(desc.Height, 4u);
    cube->Release();
}

// D3DPOOL_DEFAULT without D3DUSAGE_DYNAMIC is filled in a system-memory copy handed over with UpdateTexture; a
// dynamic texture is filled directly and can be read back.
TEST_F(CubeVolumeTexture, DefaultPoolGoesThroughSystemMemory) {
    const DdsHeader cubeSpec = CubeDdsHeader(4, 4);
    const Bytes faces = RandomBytes(6 * 64, 10);
    const DdsHeader volumeSpec = VolumeDdsHeader(4, 4, 2);
    const Bytes slices = RandomBytes(2 * 64, 11);
    for (DWORD usage : {0u, static_cast<DWORD>(D3DUSAGE_DYNAMIC)}) {
        SCOPED_TRACE(usage ? "dynamic" : "static");
        IDirect3DCubeTexture9* cube = nullptr;
        ASSERT_EQ(LoadCube(MakeDds(cubeSpec, faces), &cube, D3DX_DEFAULT, 1, D3DPOOL_DEFAULT, usage), S_OK);
        IDirect3DVolumeTexture9* volume = nullptr;
        ASSERT_EQ(LoadVolume(MakeDds(volumeSpec, slices), &volume, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 1,
                             D3DPOOL_DEFAULT, usage),
                  S_OK);
        EXPECT_EQ(tarn::d3d9::LiveResourceCount(device), 2u);  // no staging copy left behind
        D3DSURFACE_DESC faceDesc = {};
        cube->GetLevelDesc(0, &faceDesc);
        D3DVOLUME_DESC volumeDesc = {};
        volume->GetLevelDesc(0, &volumeDesc);
        EXPECT_EQ(faceDesc.Pool, D3DPOOL_DEFAULT);
        EXPECT_EQ(volumeDesc.Pool, D3DPOOL_DEFAULT);
        if (usage != 0) {
            EXPECT_EQ(FaceBytes(cube, 5, 0), Bytes(faces.begin() + 5 * 64, faces.end()));
            EXPECT_EQ(VolumeBytes(volume, 0), slices);
        }
        cube->Release();
        volume->Release();
    }
}

}  // namespace
