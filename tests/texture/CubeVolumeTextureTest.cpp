// Cube and volume textures on the null Direct3D device: requirements under the capability profiles, loading DDS
// cube maps and volumes (and 2D files as volumes), D3DXFilterTexture on both, and loading volumes from memory and
// from other volumes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "texture/D3DXTexture.h"
#include "LoadCommon.h"
#include "SurfaceLoad.h"
#include "TextureDeviceFixture.h"
#include "TextureTestSupport.h"

using namespace tarn::texture;
using texture_test::Blit;
using texture_test::DdsA8R8G8B8;
using texture_test::DdsHeader;
using texture_test::FillRandom;
using texture_test::kDdsAllFaces;
using texture_test::kDdsDepthFlag;
using texture_test::MakeDds;
using texture_test::MakeTga;
using texture_test::MemoryImage;
using texture_test::TgaSpec;

namespace {

using Bytes = std::vector<BYTE>;

Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
    Bytes b(n);
    FillRandom(b, seed);
    return b;
}

// Stored bytes of a locked w x h (x d) region, rows and slices packed.
Bytes Packed(const void* bits, INT rowPitch, INT slicePitch, D3DFORMAT format, UINT w, UINT h, UINT d) {
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

Bytes FaceBytes(IDirect3DCubeTexture9* cube, UINT face, UINT level) {
    D3DSURFACE_DESC desc = {};
    cube->GetLevelDesc(level, &desc);
    D3DLOCKED_RECT locked = {};
    const auto f = static_cast<D3DCUBEMAP_FACES>(face);
    if (FAILED(cube->LockRect(f, level, &locked, nullptr, D3DLOCK_READONLY))) return {};
    Bytes out = Packed(locked.pBits, locked.Pitch, 0, desc.Format, desc.Width, desc.Height, 1);
    cube->UnlockRect(f, level);
    return out;
}

Bytes VolumeBytes(IDirect3DVolumeTexture9* volume, UINT level) {
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
MemoryImage ImageOf(D3DFORMAT format, UINT w, UINT h, UINT d, const Bytes& bytes) {
    MemoryImage image(format, w, h, d);
    std::copy(bytes.begin(), bytes.end(), image.bytes.begin());
    return image;
}

Bytes Tga32Bytes(UINT w, UINT h, const Bytes& bgra) {
    TgaSpec s;
    s.width = static_cast<std::uint16_t>(w);
    s.height = static_cast<std::uint16_t>(h);
    return MakeTga(s, {}, bgra);
}

// A8R8G8B8 DDS headers of a cube map of six w x h faces and of a w x h x d volume.
DdsHeader CubeDdsHeader(UINT w, UINT h) {
    DdsHeader d = DdsA8R8G8B8(w, h);
    d.caps2 = kDdsAllFaces;
    return d;
}
DdsHeader VolumeDdsHeader(UINT w, UINT h, UINT depth) {
    DdsHeader d = DdsA8R8G8B8(w, h);
    d.headerFlags |= kDdsDepthFlag;
    d.depth = depth;
    return d;
}

class CubeVolumeTexture : public texture_test::TextureDevice {
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

// ---- Requirements ----

TEST_F(CubeVolumeTexture, RequirementsFollowTheProfile) {
    struct Case {
        const char* profile;
        bool volume;
        UINT width, height, depth, levels;
        D3DFORMAT format;
        HRESULT result;
        UINT outWidth, outHeight, outDepth, outLevels;
        D3DFORMAT outFormat;
    } cases[] = {
        {"default", false, 100, 100, 1, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 100, 100, 1, 7, D3DFMT_A8R8G8B8},
        {"pow2", false, 100, 100, 1, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 128, 128, 1, 8, D3DFMT_A8R8G8B8},
        {"pow2-conditional", false, 100, 100, 1, 1, D3DFMT_A8R8G8B8, S_OK, 100, 100, 1, 1, D3DFMT_A8R8G8B8},
        {"pow2-conditional", false, 100, 100, 1, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 128, 128, 1, 8, D3DFMT_A8R8G8B8},
        {"default", false, 1, 1, 1, 1, D3DFMT_DXT1, S_OK, 4, 4, 1, 1, D3DFMT_DXT1},
        {"max256", false, 1000, 1000, 1, 1, D3DFMT_A8R8G8B8, S_OK, 256, 256, 1, 1, D3DFMT_A8R8G8B8},
        {"no-volume", false, 64, 64, 1, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 64, 64, 1, 7, D3DFMT_A8R8G8B8},
        {"default", true, 100, 60, 30, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 100, 60, 30, 7, D3DFMT_A8R8G8B8},
        {"pow2", true, 100, 60, 30, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 128, 64, 32, 8, D3DFMT_A8R8G8B8},
        {"pow2", true, 16, 16, 3, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 16, 16, 4, 5, D3DFMT_A8R8G8B8},
        {"pow2-conditional", true, 100, 60, 30, 1, D3DFMT_A8R8G8B8, S_OK, 100, 60, 30, 1, D3DFMT_A8R8G8B8},
        // Each extent is limited to MaxVolumeExtent on its own; a depth of 0 counts as 1.
        {"max256", true, 1000, 10, 300, 1, D3DFMT_A8R8G8B8, S_OK, 256, 10, 256, 1, D3DFMT_A8R8G8B8},
        {"default", true, 8, 8, 0, D3DX_DEFAULT, D3DFMT_A8R8G8B8, S_OK, 8, 8, 1, 4, D3DFMT_A8R8G8B8},
        // Volumes of block formats are not offered for sampling: the closest plain format stands in.
        {"default", true, 8, 8, 8, 1, D3DFMT_DXT1, S_OK, 8, 8, 8, 1, D3DFMT_A8R8G8B8},
        {"no-volume", true, 8, 8, 8, 1, D3DFMT_A8R8G8B8, D3DERR_NOTAVAILABLE, 8, 8, 8, 1, D3DFMT_A8R8G8B8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.profile << (c.volume ? " volume " : " cube ") << c.width << " x "
                                        << c.height << " x " << c.depth);
        UseProfile(c.profile);
        UINT w = c.width, h = c.height, d = c.depth, levels = c.levels;
        D3DFORMAT format = c.format;
        const HRESULT hr =
            c.volume ? D3DXCheckVolumeTextureRequirements(device, &w, &h, &d, &levels, 0, &format, D3DPOOL_MANAGED)
                     : D3DXCheckCubeTextureRequirements(device, &w, &levels, 0, &format, D3DPOOL_MANAGED);
        ASSERT_EQ(hr, c.result);
        EXPECT_EQ(w, c.outWidth);
        if (c.volume) {
            EXPECT_EQ(h, c.outHeight);
            EXPECT_EQ(d, c.outDepth);
        }
        EXPECT_EQ(levels, c.outLevels);
        EXPECT_EQ(format, c.outFormat);
    }
}

TEST_F(CubeVolumeTexture, RequirementsWithNothingGiven) {
    EXPECT_EQ(D3DXCheckCubeTextureRequirements(device, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(
        D3DXCheckVolumeTextureRequirements(device, nullptr, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED),
        S_OK);
    UINT size = D3DX_DEFAULT, levels = D3DX_DEFAULT;
    ASSERT_EQ(D3DXCheckCubeTextureRequirements(device, &size, &levels, 0, nullptr, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(size, 256u);
    EXPECT_EQ(levels, 9u);
    EXPECT_EQ(D3DXCheckCubeTextureRequirements(nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(
        D3DXCheckVolumeTextureRequirements(device, nullptr, nullptr, nullptr, nullptr, 0x4, nullptr, D3DPOOL_MANAGED),
        D3DERR_INVALIDCALL);
}

TEST_F(CubeVolumeTexture, CreateFitsTheRequestToTheDevice) {
    UseProfile("pow2");
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTexture(device, 100, D3DX_DEFAULT, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube), S_OK);
    D3DSURFACE_DESC face = {};
    cube->GetLevelDesc(0, &face);
    EXPECT_EQ(face.Width, 128u);
    EXPECT_EQ(face.Height, 128u);
    EXPECT_EQ(cube->GetLevelCount(), 8u);
    cube->Release();

    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(
        D3DXCreateVolumeTexture(device, 100, 60, 30, 2, D3DX_DEFAULT, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &volume),
        S_OK);
    D3DVOLUME_DESC desc = {};
    volume->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 128u);
    EXPECT_EQ(desc.Height, 64u);
    EXPECT_EQ(desc.Depth, 32u);
    EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
    EXPECT_EQ(volume->GetLevelCount(), 2u);
    volume->Release();

    EXPECT_EQ(D3DXCreateCubeTexture(device, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr), D3DERR_INVALIDCALL);
    UseProfile("no-volume");
    EXPECT_EQ(D3DXCreateVolumeTexture(device, 8, 8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume),
              D3DERR_NOTAVAILABLE);
}

// ---- Loading from files ----

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

// ---- D3DXFilterTexture ----

// A face whose right-hand column is white: filtering a cube face must not wrap it into the left-hand column, as
// the same data in a 2D texture does.
TEST_F(CubeVolumeTexture, FilterTextureKeepsCubeFaceEdgesApart) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), S_OK);
    IDirect3DTexture9* flat = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &flat, nullptr), S_OK);
    auto fill = [](D3DLOCKED_RECT& locked) {
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 4; ++x) {
                const std::uint32_t v = x == 3 ? 0xFFFFFFFFu : 0xFF000000u;
                std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + 4 * x, &v, 4);
            }
    };
    D3DLOCKED_RECT locked;
    for (UINT face = 0; face < 6; ++face) {
        ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, 0), S_OK);
        fill(locked);
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
    }
    ASSERT_EQ(flat->LockRect(0, &locked, nullptr, 0), S_OK);
    fill(locked);
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

// ---- D3DXLoadVolumeFromMemory and D3DXLoadVolumeFromVolume ----

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

    // Slices 0-2 onto slices 1-3 of the same volume.
    const D3DBOX from = {0, 0, 4, 4, 0, 3}, to = {0, 0, 4, 4, 1, 4};
    ASSERT_EQ(D3DXLoadVolumeFromVolume(big, nullptr, &to, big, nullptr, &from, D3DX_FILTER_NONE, 0), S_OK);
    Bytes shifted = voxels;
    std::copy(voxels.begin(), voxels.begin() + 3 * 64, shifted.begin() + 64);
    EXPECT_EQ(VolumeBytes(texture, 0), shifted);

    half->Release();
    big->Release();
    small->Release();
    texture->Release();
}

}  // namespace
