// Asking a file what it holds (header only, the same answer texture creation gives) and loading a file's top level
// into existing surfaces and volumes, with rectangles and boxes on both sides.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ImageReader.h"
#include "TextureDeviceFixture.h"

using namespace texture_test;

namespace {

// A Targa of 16-bit pixels, none or one of them with its alpha bit set, plain or run-length coded.
Bytes Tga16(bool anyAlpha, bool runLength) {
    TgaSpec s;
    s.width = 3;
    s.height = 2;
    s.pixelBits = 16;
    s.imageType = runLength ? 10 : 2;
    const BYTE high = anyAlpha ? 0x80 : 0x00;
    if (runLength) return MakeTga(s, {}, {0x84, 0x1F, 0x00, 0x00, 0x00, high});  // a run of 5, one raw pixel
    return MakeTga(s, {}, {0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00, high});
}

// A file of the running test's own: ctest runs the cases of this file in parallel processes.
std::string WriteTemporary(const Bytes& bytes) {
    const std::string name = testing::TempDir() + "image_file_load_" +
                             testing::UnitTest::GetInstance()->current_test_info()->name() + ".tga";
    FILE* f = std::fopen(name.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return name;
}

}  // namespace

// The header-only answer is what texture creation reports for the same file, field for field.
TEST_F(TextureDevice, ImageInfoIsWhatCreationReports) {
    DdsHeader extra;  // 4 x 4 DXT1 declaring 5 levels: three make the chain, two more 1 x 1 blocks
    extra.mips = 5;
    struct Case {
        const char* name;
        Bytes file;
        D3DXIMAGE_INFO expected;
    } const cases[] = {
        {"32-bit Targa", Tga32(5, 3, 1), {5, 3, 1, 1, D3DFMT_A8R8G8B8, D3DRTYPE_TEXTURE, D3DXIFF_TGA}},
        {"16-bit Targa, opaque", Tga16(false, false), {3, 2, 1, 1, D3DFMT_X1R5G5B5, D3DRTYPE_TEXTURE, D3DXIFF_TGA}},
        {"16-bit Targa, one alpha bit",
         Tga16(true, false),
         {3, 2, 1, 1, D3DFMT_A1R5G5B5, D3DRTYPE_TEXTURE, D3DXIFF_TGA}},
        {"16-bit run-length Targa, opaque",
         Tga16(false, true),
         {3, 2, 1, 1, D3DFMT_X1R5G5B5, D3DRTYPE_TEXTURE, D3DXIFF_TGA}},
        {"16-bit run-length Targa, alpha in the raw packet",
         Tga16(true, true),
         {3, 2, 1, 1, D3DFMT_A1R5G5B5, D3DRTYPE_TEXTURE, D3DXIFF_TGA}},
        {"DDS volume",
         MakeDds(VolumeDdsHeader(2, 4, 3), Bytes(2 * 4 * 3 * 4)),
         {2, 4, 3, 1, D3DFMT_A8R8G8B8, D3DRTYPE_VOLUMETEXTURE, D3DXIFF_DDS}},
        {"DDS cube",
         MakeDds(CubeDdsHeader(2, 2), Bytes(6 * 16)),
         {2, 2, 1, 1, D3DFMT_A8R8G8B8, D3DRTYPE_CUBETEXTURE, D3DXIFF_DDS}},
        {"DDS declaring levels past the chain",
         MakeDds(extra, Bytes(5 * 8)),
         {4, 4, 1, 5, D3DFMT_DXT1, D3DRTYPE_TEXTURE, D3DXIFF_DDS}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D3DXIMAGE_INFO info = {};
        ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(c.file.data(), static_cast<UINT>(c.file.size()), &info), S_OK);
        EXPECT_EQ(std::memcmp(&info, &c.expected, sizeof(info)), 0)
            << info.Width << " x " << info.Height << " x " << info.Depth << ", " << info.MipLevels << " levels, format "
            << std::hex << info.Format << std::dec << ", type " << info.ResourceType;
        // A full read, as creation makes it, answers the same.
        DecodedImage image;
        D3DXIMAGE_INFO full = {};
        ASSERT_EQ(ReadImage(image, c.file.data(), static_cast<UINT>(c.file.size()), &full, true), S_OK);
        EXPECT_EQ(std::memcmp(&info, &full, sizeof(info)), 0);
    }
    // Through a file, and in creation's own srcInfo.
    const Bytes tga = Tga16(false, true);
    D3DXIMAGE_INFO fromFile = {}, created = {};
    ASSERT_EQ(D3DXGetImageInfoFromFileA(WriteTemporary(tga).c_str(), &fromFile), S_OK);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, tga.data(), static_cast<UINT>(tga.size()), D3DX_DEFAULT,
                                                  D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                  D3DX_DEFAULT, D3DX_DEFAULT, 0, &created, nullptr, &texture),
              S_OK);
    texture->Release();
    EXPECT_EQ(std::memcmp(&fromFile, &created, sizeof(created)), 0);
    EXPECT_EQ(fromFile.Format, D3DFMT_X1R5G5B5);
}

TEST(ImageInfo, RefusalsAndHeadersOfHugeImages) {
    D3DXIMAGE_INFO info = {};
    const BYTE junk[] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(nullptr, 8, &info), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(junk, 0, &info), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(junk, 8, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(junk, 8, &info), D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXGetImageInfoFromFileA(nullptr, &info), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXGetImageInfoFromFileA("/nonexistent/image.tga", &info), D3DXERR_INVALIDDATA);
    // A run-length Targa header declaring 16384 x 16384 with no data: described, nothing decoded.
    TgaSpec s;
    s.imageType = 10;
    s.width = s.height = 16384;
    const Bytes header = MakeTga(s, {}, {});
    ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(header.data(), static_cast<UINT>(header.size()), &info), S_OK);
    EXPECT_EQ(info.Width, 16384u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
}

// The default creation call: sizes rounded up to powers of two, the whole chain, the file's format, managed.
TEST_F(TextureDevice, CreateFromMemoryTakesTheDocumentedDefaults) {
    const Bytes file = Tga32(5, 3, 2);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, file.data(), static_cast<UINT>(file.size()), &texture), S_OK);
    D3DSURFACE_DESC desc = {};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 8u);
    EXPECT_EQ(desc.Height, 4u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(texture->GetLevelCount(), 4u);
    texture->Release();
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, file.data(), 0, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(nullptr, file.data(), 8, &texture), D3DERR_INVALIDCALL);
}

// D3DX_FROM_FILE asks for the levels the file declares; past the full chain no texture can have them.
TEST_F(TextureDevice, LevelsFromAFileThatDeclaresMoreThanTheChain) {
    DdsHeader d;
    d.mips = 5;
    const Bytes file = MakeDds(d, Bytes(5 * 8));
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(Load(file, &texture, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_FROM_FILE), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(texture, nullptr);
    ASSERT_EQ(Load(file, &texture, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT), S_OK);
    EXPECT_EQ(texture->GetLevelCount(), 3u);
    texture->Release();
    d.mips = 3;  // exactly the chain
    ASSERT_EQ(Load(MakeDds(d, Bytes(3 * 8)), &texture, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_FROM_FILE), S_OK);
    EXPECT_EQ(texture->GetLevelCount(), 3u);
    texture->Release();
}

// A source rectangle of the file into a destination rectangle of the surface, unchanged (no filter); the rest of
// the surface keeps its bytes. Rectangles outside either side are refused.
TEST_F(TextureDevice, LoadSurfaceFromFileRectangles) {
    Bytes pixels;
    const Bytes file = Tga32(5, 3, 3, &pixels);  // top row first
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), S_OK);
    const RECT from = {1, 1, 4, 3}, to = {4, 2, 7, 4};
    D3DXIMAGE_INFO info = {};
    ASSERT_EQ(D3DXLoadSurfaceFromFileInMemory(surface, nullptr, &to, file.data(), static_cast<UINT>(file.size()), &from,
                                              D3DX_FILTER_NONE, 0, &info),
              S_OK);
    EXPECT_EQ(info.Width, 5u);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_TGA);
    const Bytes level = LevelBytes(texture, 0, 4);
    for (UINT y = 0; y < 4; ++y) {
        for (UINT x = 0; x < 8; ++x) {
            const bool inside = x >= 4 && x < 7 && y >= 2;
            for (UINT c = 0; c < 4; ++c) {
                const BYTE expected = inside ? pixels[((y - 2 + 1) * 5 + (x - 4 + 1)) * 4 + c] : 0;
                ASSERT_EQ(level[(y * 8 + x) * 4 + c], expected) << x << ", " << y;
            }
        }
    }
    // The whole image stretched over the whole surface through a file on disk.
    ASSERT_EQ(D3DXLoadSurfaceFromFileA(surface, nullptr, nullptr, WriteTemporary(file).c_str(), nullptr, D3DX_DEFAULT,
                                       0, nullptr),
              S_OK);
    const RECT outside = {3, 0, 6, 2};
    EXPECT_EQ(D3DXLoadSurfaceFromFileInMemory(surface, nullptr, nullptr, file.data(), static_cast<UINT>(file.size()),
                                              &outside, D3DX_FILTER_NONE, 0, nullptr),
              D3DERR_INVALIDCALL);
    const RECT pastSurface = {6, 0, 9, 2};
    EXPECT_EQ(D3DXLoadSurfaceFromFileInMemory(surface, nullptr, &pastSurface, file.data(),
                                              static_cast<UINT>(file.size()), &from, D3DX_FILTER_NONE, 0, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(
        D3DXLoadSurfaceFromFileInMemory(surface, nullptr, nullptr, file.data(), 10, nullptr, D3DX_DEFAULT, 0, nullptr),
        D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXLoadSurfaceFromFileInMemory(nullptr, nullptr, nullptr, file.data(), static_cast<UINT>(file.size()),
                                              nullptr, D3DX_DEFAULT, 0, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadSurfaceFromFileA(surface, nullptr, nullptr, nullptr, nullptr, D3DX_DEFAULT, 0, nullptr),
              D3DERR_INVALIDCALL);
    surface->Release();
    texture->Release();
}

// The colour key of the file's pixels becomes transparent black; a cube file loads its first face into a surface.
TEST_F(TextureDevice, LoadSurfaceFromFileKeysAndTakesTheFirstFace) {
    Bytes faces(6 * 2 * 2 * 4);
    for (std::size_t i = 0; i < faces.size(); ++i) faces[i] = static_cast<BYTE>(i / 16 + 1);  // face f: bytes f + 1
    faces[0] = faces[1] = faces[2] = faces[3] = 0xFF;                                         // texel 0: white
    const Bytes file = MakeDds(CubeDdsHeader(2, 2), faces);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), S_OK);
    ASSERT_EQ(D3DXLoadSurfaceFromFileInMemory(surface, nullptr, nullptr, file.data(), static_cast<UINT>(file.size()),
                                              nullptr, D3DX_FILTER_NONE, 0xFFFFFFFF, nullptr),
              S_OK);
    const Bytes level = LevelBytes(texture, 0, 4);
    EXPECT_EQ(Bytes(level.begin(), level.begin() + 4), Bytes(4, 0));
    EXPECT_EQ(Bytes(level.begin() + 4, level.end()), Bytes(12, 1));
    surface->Release();
    texture->Release();
}

// A box of a volume file into a box of a volume; a 2D file is a volume of one slice.
TEST_F(CubeVolumeTexture, LoadVolumeFromFileBoxes) {
    Bytes data(3 * 4 * 2 * 4);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i);
    const Bytes file = MakeDds(VolumeDdsHeader(3, 2, 4), data);  // 3 x 2 x 4
    IDirect3DVolumeTexture9* texture = EmptyVolume(2, 1, 2);
    IDirect3DVolume9* volume = nullptr;
    ASSERT_EQ(texture->GetVolumeLevel(0, &volume), S_OK);
    const D3DBOX from = {1, 1, 3, 2, 2, 4};
    D3DXIMAGE_INFO info = {};
    ASSERT_EQ(D3DXLoadVolumeFromFileInMemory(volume, nullptr, nullptr, file.data(), static_cast<UINT>(file.size()),
                                             &from, D3DX_FILTER_NONE, 0, &info),
              S_OK);
    EXPECT_EQ(info.Depth, 4u);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_VOLUMETEXTURE);
    D3DLOCKED_BOX locked = {};
    ASSERT_EQ(volume->LockBox(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    for (UINT z = 0; z < 2; ++z) {
        for (UINT x = 0; x < 2; ++x) {
            const BYTE* p = static_cast<const BYTE*>(locked.pBits) + z * locked.SlicePitch + x * 4;
            const std::size_t at = (((z + 2) * 2 + 1) * 3 + (x + 1)) * 4;
            EXPECT_EQ(Bytes(p, p + 4), Bytes(data.begin() + at, data.begin() + at + 4)) << x << ", " << z;
        }
    }
    volume->UnlockBox();
    const D3DBOX deep = {0, 0, 1, 1, 3, 5};
    EXPECT_EQ(D3DXLoadVolumeFromFileInMemory(volume, nullptr, nullptr, file.data(), static_cast<UINT>(file.size()),
                                             &deep, D3DX_FILTER_NONE, 0, nullptr),
              D3DERR_INVALIDCALL);
    // One slice of a Targa into the second slice.
    Bytes pixels;
    const Bytes tga = Tga32(2, 1, 4, &pixels);
    const D3DBOX second = {0, 0, 2, 1, 1, 2};
    ASSERT_EQ(D3DXLoadVolumeFromFileInMemory(volume, nullptr, &second, tga.data(), static_cast<UINT>(tga.size()),
                                             nullptr, D3DX_FILTER_NONE, 0, nullptr),
              S_OK);
    ASSERT_EQ(volume->LockBox(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    const BYTE* slice = static_cast<const BYTE*>(locked.pBits) + locked.SlicePitch;
    EXPECT_EQ(Bytes(slice, slice + 8), pixels);
    volume->UnlockBox();
    EXPECT_EQ(D3DXLoadVolumeFromFileA(volume, nullptr, nullptr, WriteTemporary(tga).c_str(), nullptr, D3DX_DEFAULT, 0,
                                      nullptr),
              S_OK);
    EXPECT_EQ(D3DXLoadVolumeFromFileInMemory(nullptr, nullptr, nullptr, tga.data(), static_cast<UINT>(tga.size()),
                                             nullptr, D3DX_DEFAULT, 0, nullptr),
              D3DERR_INVALIDCALL);
    volume->Release();
    texture->Release();
}
