// Requirements, empty textures, loading from files and mip chains on the null Direct3D device, under the
// capability profiles that the cases need.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"
#include "ImageReader.h"
#include "TextureDeviceFixture.h"
#include "TextureTestSupport.h"

using namespace tarn::texture;
using texture_test::Blit;
using texture_test::FillRandom;
using texture_test::MakeTga;
using texture_test::MemoryImage;
using texture_test::TgaSpec;

namespace {

using texture_test::TextureDevice;

std::vector<BYTE> Tga32(UINT w, UINT h, std::uint32_t seed, std::vector<BYTE>* pixels = nullptr) {
    TgaSpec s;
    s.width = static_cast<std::uint16_t>(w);
    s.height = static_cast<std::uint16_t>(h);
    std::vector<BYTE> data(static_cast<std::size_t>(w) * h * 4);
    FillRandom(data, seed);
    if (pixels != nullptr) *pixels = data;
    return MakeTga(s, {}, data);
}

std::vector<BYTE> PalettedTga(const std::vector<BYTE>& map) {
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

TEST_F(TextureDevice, CheckTextureRequirements) {
    EXPECT_EQ(D3DXCheckTextureRequirements(device, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED), S_OK);
    UINT w = D3DX_DEFAULT, h = D3DX_DEFAULT, levels = D3DX_DEFAULT;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    ASSERT_EQ(D3DXCheckTextureRequirements(device, &w, &h, &levels, 0, &format, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(w, 256u);
    EXPECT_EQ(h, 256u);
    EXPECT_EQ(levels, 9u);
    EXPECT_EQ(format, D3DFMT_A8R8G8B8);

    w = h = 1;
    levels = 1;
    format = D3DFMT_DXT1;
    ASSERT_EQ(D3DXCheckTextureRequirements(device, &w, &h, &levels, 0, &format, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(format, D3DFMT_DXT1);
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(h, 4u);

    w = 5;
    h = D3DX_DEFAULT;  // only one given: the other copies it
    ASSERT_EQ(D3DXCheckTextureRequirements(device, &w, &h, nullptr, 0, nullptr, D3DPOOL_SCRATCH), S_OK);
    EXPECT_EQ(h, 5u);

    EXPECT_EQ(D3DXCheckTextureRequirements(nullptr, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCheckTextureRequirements(device, nullptr, nullptr, nullptr, 0x4, nullptr, D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCheckTextureRequirements(device, nullptr, nullptr, nullptr, 0, nullptr, static_cast<D3DPOOL>(4)),
              D3DERR_INVALIDCALL);

    UseProfile("rgb-only");
    format = D3DFMT_V8U8;
    EXPECT_EQ(D3DXCheckTextureRequirements(device, nullptr, nullptr, nullptr, 0, &format, D3DPOOL_MANAGED),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(format, D3DFMT_V8U8);  // nothing written on failure
}

TEST_F(TextureDevice, RenderTargetSizesFollowThePowerOfTwoCaps) {
    struct Case {
        const char* profile;
        UINT width, height;
    } cases[] = {{"pow2-conditional", 800, 600}, {"pow2", 1024, 1024}, {"default", 800, 600}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        UseProfile(c.profile);
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(D3DXCreateTexture(device, 800, 600, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                    &texture),
                  S_OK);
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, c.width);
        EXPECT_EQ(desc.Height, c.height);
        EXPECT_EQ(texture->GetLevelCount(), 1u);
        texture->Release();
    }
    EXPECT_EQ(D3DXCreateTexture(device, 8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr), D3DERR_INVALIDCALL);
}

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
    for (auto [type, descriptor, data] : {std::tuple{BYTE(2), BYTE(0x20), topDown}, std::tuple{BYTE(2), BYTE(0), bottomUp},
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
    EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()),
                                                  D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0, D3DFMT_FROM_FILE,
                                                  D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr,
                                                  &texture),
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
    ASSERT_EQ(Load(file, &texture, D3DX_DEFAULT, D3DX_DEFAULT, 1, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, 0,
                   D3DUSAGE_DYNAMIC),
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

TEST_F(TextureDevice, FilterTexture) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTexture(device, 256, 256, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), S_OK);
    ASSERT_EQ(texture->GetLevelCount(), 9u);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), S_OK);
    std::vector<BYTE> random(256 * 4);
    for (UINT y = 0; y < 256; ++y) {
        FillRandom(random, y);
        std::copy(random.begin(), random.end(), static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
    }
    texture->UnlockRect(0);
    ASSERT_EQ(D3DXFilterTexture(texture, nullptr, 0, D3DX_DEFAULT), S_OK);
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

TEST_F(TextureDevice, LoadSurfaceChecksItsRectangles) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTexture(device, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), S_OK);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), S_OK);
    const std::uint32_t pixels[4] = {1, 2, 3, 4};
    const RECT source = {0, 0, 2, 2};
    const RECT outside = {2, 2, 5, 4};
    const RECT inverted = {2, 0, 1, 4};
    EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface, nullptr, &outside, pixels, D3DFMT_A8R8G8B8, 8, nullptr, &source,
                                        D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface, nullptr, &inverted, pixels, D3DFMT_A8R8G8B8, 8, nullptr, &source,
                                        D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadSurfaceFromMemory(surface, nullptr, nullptr, pixels, D3DFMT_A8R8G8B8, 8, nullptr, nullptr,
                                        D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    const RECT corner = {2, 2, 4, 4};
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(surface, nullptr, &corner, pixels, D3DFMT_A8R8G8B8, 8, nullptr, &source,
                                        D3DX_FILTER_NONE, 0),
              S_OK);
    const std::vector<BYTE> bytes = LevelBytes(texture, 0, 4);
    EXPECT_EQ(bytes[(2 * 4 + 2) * 4], 1);
    EXPECT_EQ(bytes[(3 * 4 + 3) * 4], 4);
    // A surface copied onto itself, shifted by the rectangles, reads from a copy.
    const RECT from = {2, 2, 4, 4}, to = {0, 0, 2, 2};
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(surface, nullptr, &to, surface, nullptr, &from, D3DX_FILTER_NONE, 0), S_OK);
    EXPECT_EQ(LevelBytes(texture, 0, 4)[0], 1);
    surface->Release();
    texture->Release();
}

}  // namespace
