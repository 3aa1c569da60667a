// Saving surfaces, volumes and textures: every file format read back through the library's readers (exactly where
// the format is lossless, within a stated tolerance where it is not or where the pixels are converted), DDS with
// every level, face and slice and its header fields, palettes, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ImageReader.h"
#include "SurfaceLoad.h"
#include "TextureDeviceFixture.h"
#include "platform/FaultInjection.h"

namespace texture_test {
namespace {

namespace fs = std::filesystem;

std::vector<BYTE> BufferBytes(ID3DXBuffer* buffer) {
    const BYTE* p = static_cast<const BYTE*>(buffer->GetBufferPointer());
    std::vector<BYTE> bytes(p, p + buffer->GetBufferSize());
    buffer->Release();
    return bytes;
}

// A decoded record's top image (or one slice of it) as four floats a pixel.
std::vector<Float4> DecodedFloats(const DecodedImage& image, UINT slice = 0) {
    MemoryImage out(D3DFMT_A32B32G32R32F, image.width, image.height);
    ImageDesc source;
    source.memory = const_cast<BYTE*>(image.pixels);
    source.format = image.format;
    source.rowPitch = image.rowPitch;
    source.slicePitch = image.slicePitch;
    source.box = {0, 0, image.width, image.height, slice, slice + 1};
    source.palette = image.palette;
    source.rowsUpward = image.rowsUpward;
    EXPECT_EQ(BlitImage(out.Desc(), source, D3DX_FILTER_NONE), S_OK);
    std::vector<Float4> floats(static_cast<std::size_t>(image.width) * image.height);
    std::memcpy(floats.data(), out.bytes.data(), floats.size() * sizeof(Float4));
    return floats;
}

std::vector<Float4> MemoryFloats(MemoryImage& image) {
    MemoryImage out(D3DFMT_A32B32G32R32F, image.width, image.height);
    EXPECT_EQ(Blit(out, image, D3DX_FILTER_NONE), S_OK);
    std::vector<Float4> floats(static_cast<std::size_t>(image.width) * image.height);
    std::memcpy(floats.data(), out.bytes.data(), floats.size() * sizeof(Float4));
    return floats;
}

// Largest difference over the channels in `mask` (bit 0 red ... bit 3 alpha).
float MaxDifference(const std::vector<Float4>& a, const std::vector<Float4>& b, unsigned mask) {
    EXPECT_EQ(a.size(), b.size());
    float worst = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const float d[4] = {a[i].r - b[i].r, a[i].g - b[i].g, a[i].b - b[i].b, a[i].a - b[i].a};
        for (int c = 0; c < 4; ++c)
            if (mask & (1u << c)) worst = std::max(worst, std::fabs(d[c]));
    }
    return worst;
}

class SaveTexture : public TextureDevice {
protected:
    // A managed 2D texture of `format` whose levels hold `fill`'s bytes (or seeded random bytes), rows packed.
    IDirect3DTexture9* MakeTexture(D3DFORMAT format, UINT w, UINT h, UINT levels, std::uint32_t seed) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(w, h, levels, 0, format, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
        if (texture == nullptr) return nullptr;
        for (UINT i = 0; i < texture->GetLevelCount(); ++i) {
            IDirect3DSurface9* surface = nullptr;
            texture->GetSurfaceLevel(i, &surface);
            FillSurface(surface, seed + i);
            surface->Release();
        }
        return texture;
    }
    static void FillSurface(IDirect3DSurface9* surface, std::uint32_t seed) {
        D3DSURFACE_DESC desc;
        surface->GetDesc(&desc);
        std::size_t rowBytes;
        UINT rows;
        StoredSize(desc.Format, desc.Width, desc.Height, rowBytes, rows);
        std::vector<BYTE> bytes(rowBytes * rows);
        FillRandom(bytes, seed);
        if (desc.Format == D3DFMT_A32B32G32R32F) {
            // Random bytes would make NaNs: values 0 ... 4 with some tiny ones.
            for (std::size_t i = 0; i < bytes.size(); i += 4) {
                const float v = bytes[i] / 64.0f + (bytes[i + 1] & 1 ? 0.0f : 1e-3f);
                std::memcpy(&bytes[i], &v, 4);
            }
        }
        SurfaceLock lock(surface, nullptr, 0);
        ASSERT_EQ(lock.Result(), S_OK);
        for (UINT y = 0; y < rows; ++y)
            std::memcpy(lock.Bits() + static_cast<std::ptrdiff_t>(y) * lock.Pitch(), &bytes[y * rowBytes], rowBytes);
    }
    static std::vector<BYTE> SurfaceBytes(IDirect3DSurface9* surface) {
        D3DSURFACE_DESC desc;
        surface->GetDesc(&desc);
        std::size_t rowBytes;
        UINT rows;
        StoredSize(desc.Format, desc.Width, desc.Height, rowBytes, rows);
        std::vector<BYTE> bytes(rowBytes * rows);
        SurfaceLock lock(surface, nullptr, D3DLOCK_READONLY);
        for (UINT y = 0; y < rows; ++y)
            std::memcpy(&bytes[y * rowBytes], lock.Bits() + static_cast<std::ptrdiff_t>(y) * lock.Pitch(), rowBytes);
        return bytes;
    }
    static MemoryImage LevelImage(IDirect3DTexture9* texture, UINT level, const PALETTEENTRY* palette = nullptr) {
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(level, &desc);
        MemoryImage image(desc.Format, desc.Width, desc.Height);
        IDirect3DSurface9* surface = nullptr;
        texture->GetSurfaceLevel(level, &surface);
        const std::vector<BYTE> bytes = SurfaceBytes(surface);
        surface->Release();
        std::copy(bytes.begin(), bytes.end(), image.bytes.begin());
        image.palette = palette;
        return image;
    }
    std::vector<BYTE> Save(IDirect3DBaseTexture9* texture, D3DXIMAGE_FILEFORMAT format,
                           const PALETTEENTRY* palette = nullptr) {
        ID3DXBuffer* buffer = nullptr;
        EXPECT_EQ(D3DXSaveTextureToFileInMemory(&buffer, format, texture, palette), S_OK);
        return buffer != nullptr ? BufferBytes(buffer) : std::vector<BYTE>{};
    }
};

PALETTEENTRY* TestPalette() {
    static PALETTEENTRY palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<BYTE>(i * 7), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 13), 255};
    return palette;
}

TEST_F(SaveTexture, EveryFileFormatReadsBackAsSaved) {
    constexpr unsigned kRgb = 7, kRgba = 15;
    struct Case {
        D3DFORMAT source;
        D3DXIMAGE_FILEFORMAT file;
        D3DFORMAT readAs;  // what our reader makes of the file
        unsigned channels;
        float tolerance;  // 0: exact
    } const kCases[] = {
        {D3DFMT_A8R8G8B8, D3DXIFF_BMP, D3DFMT_A8R8G8B8, kRgba, 0},
        {D3DFMT_A8R8G8B8, D3DXIFF_DIB, D3DFMT_A8R8G8B8, kRgba, 0},
        {D3DFMT_X8R8G8B8, D3DXIFF_BMP, D3DFMT_R8G8B8, kRgb, 0},
        {D3DFMT_A8R8G8B8, D3DXIFF_TGA, D3DFMT_A8R8G8B8, kRgba, 0},
        {D3DFMT_R5G6B5, D3DXIFF_TGA, D3DFMT_R8G8B8, kRgb, 0.5f / 255},
        {D3DFMT_L8, D3DXIFF_TGA, D3DFMT_L8, kRgb, 0},
        {D3DFMT_A8R8G8B8, D3DXIFF_PNG, D3DFMT_A8R8G8B8, kRgba, 0},
        {D3DFMT_X8R8G8B8, D3DXIFF_PNG, D3DFMT_X8R8G8B8, kRgb, 0},
        {D3DFMT_A16B16G16R16, D3DXIFF_PNG, D3DFMT_A16B16G16R16, kRgba, 0},
        {D3DFMT_G16R16, D3DXIFF_PNG, D3DFMT_A16B16G16R16, kRgb, 0},
        {D3DFMT_L8, D3DXIFF_PNG, D3DFMT_L8, kRgb, 0},
        {D3DFMT_L16, D3DXIFF_PNG, D3DFMT_L16, kRgb, 0},
        {D3DFMT_A8L8, D3DXIFF_PNG, D3DFMT_A8L8, kRgba, 0},
        {D3DFMT_DXT1, D3DXIFF_PNG, D3DFMT_A8R8G8B8, kRgba, 0.51f / 255},  // blends rounded to bytes
        {D3DFMT_A4R4G4B4, D3DXIFF_PNG, D3DFMT_A8R8G8B8, kRgba, 0},
        {D3DFMT_X8R8G8B8, D3DXIFF_PPM, D3DFMT_X8R8G8B8, kRgb, 0},
        {D3DFMT_A32B32G32R32F, D3DXIFF_PFM, D3DFMT_A32B32G32R32F, kRgb, 0},
        {D3DFMT_A8R8G8B8, D3DXIFF_PFM, D3DFMT_A32B32G32R32F, kRgb, 0},
        // RGBE keeps 8 bits of mantissa for the largest channel: the smaller ones lose up to 1/256 of it.
        {D3DFMT_A32B32G32R32F, D3DXIFF_HDR, D3DFMT_A32B32G32R32F, kRgb, 4.0f / 256},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "format " << c.source << " file " << c.file);
        // Block formats need sizes in whole blocks; 13 x 9 pads bitmap rows.
        const UINT w = IsBlockFormat(c.source) ? 12 : 13, h = IsBlockFormat(c.source) ? 8 : 9;
        IDirect3DTexture9* texture = MakeTexture(c.source, w, h, 1, 7);
        ASSERT_NE(texture, nullptr);
        const std::vector<BYTE> file = Save(texture, c.file);
        DecodedImage decoded;
        D3DXIMAGE_INFO info;
        ASSERT_EQ(ReadImage(decoded, file.data(), static_cast<UINT>(file.size()), &info, true), S_OK);
        EXPECT_EQ(info.ImageFileFormat, c.file);
        EXPECT_EQ(info.Width, w);
        EXPECT_EQ(info.Height, h);
        EXPECT_EQ(PublicFormat(decoded.format), c.readAs);
        MemoryImage source = LevelImage(texture, 0);
        EXPECT_LE(MaxDifference(DecodedFloats(decoded), MemoryFloats(source), c.channels), c.tolerance);
        texture->Release();
    }
}

TEST_F(SaveTexture, JpegKeepsASmoothImageWithinTolerance) {
    for (const D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_L8}) {
        SCOPED_TRACE(format);
        IDirect3DTexture9* texture = MakeTexture(format, 32, 24, 1, 1);
        MemoryImage smooth(D3DFMT_A8R8G8B8, 32, 24);
        for (UINT y = 0; y < 24; ++y)
            for (UINT x = 0; x < 32; ++x) smooth.SetPixel32(x, y, 0xFF000000u | (x * 8) << 16 | (y * 10) << 8 | 128);
        IDirect3DSurface9* surface = nullptr;
        texture->GetSurfaceLevel(0, &surface);
        ASSERT_EQ(LoadSurfaceFromImage(surface, nullptr, nullptr, smooth.Desc(), D3DX_FILTER_NONE), S_OK);
        surface->Release();
        const std::vector<BYTE> file = Save(texture, D3DXIFF_JPG);
        DecodedImage decoded;
        ASSERT_EQ(ReadImage(decoded, file.data(), static_cast<UINT>(file.size()), nullptr, true), S_OK);
        EXPECT_EQ(decoded.format, format == D3DFMT_L8 ? D3DFMT_L8 : D3DFMT_X8R8G8B8);
        MemoryImage source = LevelImage(texture, 0);
        // Quality 90 with halved chroma on a gradient: within 10 of 255 everywhere.
        EXPECT_LE(MaxDifference(DecodedFloats(decoded), MemoryFloats(source), 7), 10.0f / 255);
        texture->Release();
    }
}

TEST_F(SaveTexture, PalettesAreKeptWhereTheFormatHasThem) {
    PALETTEENTRY* palette = TestPalette();
    palette[3].peFlags = 0;  // one transparent entry: PNG, TGA and DDS keep it, BMP cannot
    // Palettised textures are not offered by the device profiles; a system-memory surface is.
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(11, 5, D3DFMT_P8, D3DPOOL_SYSTEMMEM, &surface, nullptr), S_OK);
    FillSurface(surface, 3);
    const std::vector<BYTE> indices = SurfaceBytes(surface);
    for (const D3DXIMAGE_FILEFORMAT file : {D3DXIFF_BMP, D3DXIFF_PNG, D3DXIFF_TGA, D3DXIFF_DDS}) {
        SCOPED_TRACE(file);
        ID3DXBuffer* buffer = nullptr;
        ASSERT_EQ(D3DXSaveSurfaceToFileInMemory(&buffer, file, surface, palette, nullptr), S_OK);
        const std::vector<BYTE> bytes = BufferBytes(buffer);
        DecodedImage decoded;
        ASSERT_EQ(ReadImage(decoded, bytes.data(), static_cast<UINT>(bytes.size()), nullptr, true), S_OK);
        ASSERT_EQ(decoded.format, D3DFMT_P8);
        ASSERT_NE(decoded.palette, nullptr);
        for (int i = 0; i < 256; ++i) {
            const BYTE alpha = file == D3DXIFF_BMP ? 255 : palette[i].peFlags;
            EXPECT_EQ(decoded.palette[i].peRed, palette[i].peRed) << i;
            EXPECT_EQ(decoded.palette[i].peGreen, palette[i].peGreen) << i;
            EXPECT_EQ(decoded.palette[i].peBlue, palette[i].peBlue) << i;
            EXPECT_EQ(decoded.palette[i].peFlags, alpha) << i;
        }
        for (UINT y = 0; y < 5; ++y) {
            const BYTE* row =
                decoded.pixels + (decoded.rowsUpward ? -1 : 1) * static_cast<std::ptrdiff_t>(y) * decoded.rowPitch;
            EXPECT_EQ(std::memcmp(row, indices.data() + y * 11, 11), 0) << y;
        }
    }
    // Without a palette the indices stand for opaque white, as they convert.
    ID3DXBuffer* buffer = nullptr;
    ASSERT_EQ(D3DXSaveSurfaceToFileInMemory(&buffer, D3DXIFF_PPM, surface, nullptr, nullptr), S_OK);
    const std::vector<BYTE> ppm = BufferBytes(buffer);
    EXPECT_TRUE(std::all_of(ppm.end() - 11 * 5 * 3, ppm.end(), [](BYTE b) { return b == 255; }));
    surface->Release();
    palette[3].peFlags = 255;
}

// Render targets cannot be locked; saving reads them through a system-memory copy, the back buffer included.
TEST_F(SaveTexture, RenderTargetsAndTheBackBufferSaveWhatWasDrawn) {
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(6, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr), S_OK);
    const RECT right = {3, 0, 6, 4};
    ASSERT_EQ(device->ColorFill(target, nullptr, D3DCOLOR_ARGB(255, 10, 200, 30)), S_OK);
    ASSERT_EQ(device->ColorFill(target, &right, D3DCOLOR_ARGB(255, 250, 5, 90)), S_OK);
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer), S_OK);
    ASSERT_EQ(device->ColorFill(backBuffer, nullptr, D3DCOLOR_ARGB(255, 70, 80, 160)), S_OK);

    struct Case {
        IDirect3DSurface9* surface;
        const RECT* rect;
        UINT width;
        BYTE red, green, blue;  // the saved image's first pixel
    };
    const RECT rightHalf = {3, 1, 6, 3};
    for (const Case& c : {Case{target, nullptr, 6, 10, 200, 30}, Case{target, &rightHalf, 3, 250, 5, 90},
                          Case{backBuffer, nullptr, 64, 70, 80, 160}}) {
        ID3DXBuffer* buffer = nullptr;
        ASSERT_EQ(D3DXSaveSurfaceToFileInMemory(&buffer, D3DXIFF_BMP, c.surface, nullptr, c.rect), S_OK);
        const std::vector<BYTE> bytes = BufferBytes(buffer);
        DecodedImage decoded;
        ASSERT_EQ(ReadImage(decoded, bytes.data(), static_cast<UINT>(bytes.size()), nullptr, true), S_OK);
        ASSERT_EQ(decoded.width, c.width);
        MemoryImage pixels(D3DFMT_A8R8G8B8, decoded.width, decoded.height);
        ImageDesc source;
        source.memory = const_cast<BYTE*>(decoded.pixels);
        source.format = decoded.format;
        source.rowPitch = decoded.rowPitch;
        source.box = {0, 0, decoded.width, decoded.height, 0, 1};
        source.rowsUpward = decoded.rowsUpward;
        ASSERT_EQ(BlitImage(pixels.Desc(), source, D3DX_FILTER_NONE), S_OK);
        const D3DCOLOR first = *reinterpret_cast<const D3DCOLOR*>(pixels.bytes.data());
        EXPECT_EQ(first & 0xFFFFFF, static_cast<D3DCOLOR>(c.red << 16 | c.green << 8 | c.blue)) << c.width;
        if (c.surface == target && c.rect == nullptr) {
            const D3DCOLOR last = *reinterpret_cast<const D3DCOLOR*>(pixels.bytes.data() + 5 * 4);
            EXPECT_EQ(last & 0xFFFFFF, 0xFA055Au);
        }
    }
    // Nothing else is left behind: the copies the save made are gone (the fixture counts live resources).
    backBuffer->Release();
    target->Release();
}

TEST_F(SaveTexture, DdsKeepsEveryLevelOfTheTexture) {
    for (const D3DFORMAT format :
         {D3DFMT_A8R8G8B8, D3DFMT_DXT1, D3DFMT_DXT5, D3DFMT_A16B16G16R16F, D3DFMT_YUY2, D3DFMT_V8U8, D3DFMT_L8}) {
        SCOPED_TRACE(format);
        IDirect3DTexture9* texture = MakeTexture(format, 20, 12, 0, 11);
        ASSERT_NE(texture, nullptr);
        const std::vector<BYTE> bytes = Save(texture, D3DXIFF_DDS);
        DecodedImage decoded;
        ASSERT_EQ(ReadImage(decoded, bytes.data(), static_cast<UINT>(bytes.size()), nullptr, true), S_OK);
        EXPECT_EQ(decoded.format, format);
        EXPECT_EQ(decoded.resourceType, D3DRTYPE_TEXTURE);
        const DecodedImage* level = &decoded;
        for (UINT i = 0; i < texture->GetLevelCount(); ++i, level = level->smallerLevel) {
            ASSERT_NE(level, nullptr) << i;
            IDirect3DSurface9* surface = nullptr;
            texture->GetSurfaceLevel(i, &surface);
            const std::vector<BYTE> stored = SurfaceBytes(surface);
            surface->Release();
            ASSERT_EQ(static_cast<std::size_t>(level->slicePitch), stored.size()) << i;
            EXPECT_EQ(std::memcmp(level->pixels, stored.data(), stored.size()), 0) << i;
        }
        EXPECT_EQ(level, nullptr);
        texture->Release();
    }
}

std::uint32_t Field(const std::vector<BYTE>& file, std::size_t offset) { return ReadLe32(file.data() + offset); }

// The header fields of the public DDS documentation, by byte offset in the file (after the magic number).
struct HeaderField {
    const char* name;
    std::size_t offset;
    std::uint32_t cube, volume;  // expected in the cube and in the volume file below
};
const HeaderField kHeaderFields[] = {
    {"dwSize", 4, 124, 124},
    // CAPS | HEIGHT | WIDTH | PIXELFORMAT | MIPMAPCOUNT, with LINEARSIZE (DXT1) or PITCH and DEPTH (volume).
    {"dwFlags", 8, 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000 | 0x80000, 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000 | 0x8 | 0x800000},
    {"dwHeight", 12, 8, 4},
    {"dwWidth", 16, 8, 6},
    // DXT1 linear size of the top level: 2 x 2 blocks of 8 bytes; the volume's pitch: 6 pixels of 4 bytes.
    {"dwPitchOrLinearSize", 20, 32, 24},
    {"dwDepth", 24, 0, 5},
    {"dwMipMapCount", 28, 4, 3},
    {"ddspf.dwSize", 76, 32, 32},
    {"ddspf.dwFlags", 80, 0x4, 0x41},  // FOURCC; RGB | ALPHAPIXELS
    {"ddspf.dwFourCC", 84, 0x31545844, 0},
    {"ddspf.dwRGBBitCount", 88, 0, 32},
    {"ddspf.dwRBitMask", 92, 0, 0xFF0000},
    {"ddspf.dwGBitMask", 96, 0, 0xFF00},
    {"ddspf.dwBBitMask", 100, 0, 0xFF},
    {"ddspf.dwABitMask", 104, 0, 0xFF000000},
    {"dwCaps", 108, 0x1000 | 0x8 | 0x400000, 0x1000 | 0x8 | 0x400000},  // TEXTURE | COMPLEX | MIPMAP
    {"dwCaps2", 112, 0x200 | 0xFC00, 0x200000},                         // CUBEMAP and all six faces; VOLUME
    {"dwCaps3", 116, 0, 0},
    {"dwCaps4", 120, 0, 0},
};

TEST_F(SaveTexture, CubeDdsKeepsEveryFaceAndLevelWithTheDocumentedHeader) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(8, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &cube, nullptr), S_OK);
    std::vector<std::vector<BYTE>> stored;
    for (UINT face = 0; face < 6; ++face) {
        for (UINT i = 0; i < cube->GetLevelCount(); ++i) {
            IDirect3DSurface9* surface = nullptr;
            cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), i, &surface);
            FillSurface(surface, face * 10 + i);
            stored.push_back(SurfaceBytes(surface));
            surface->Release();
        }
    }
    const std::vector<BYTE> file = Save(cube, D3DXIFF_DDS);
    for (const HeaderField& f : kHeaderFields) EXPECT_EQ(Field(file, f.offset), f.cube) << f.name;
    DecodedImage decoded;
    ASSERT_EQ(ReadImage(decoded, file.data(), static_cast<UINT>(file.size()), nullptr, true), S_OK);
    EXPECT_EQ(decoded.resourceType, D3DRTYPE_CUBETEXTURE);
    std::size_t index = 0, bytes = 128;
    for (const DecodedImage* face = &decoded; face != nullptr; face = face->siblingFace) {
        for (const DecodedImage* level = face; level != nullptr; level = level->smallerLevel, ++index) {
            ASSERT_LT(index, stored.size());
            ASSERT_EQ(level->slicePitch, stored[index].size());
            EXPECT_EQ(std::memcmp(level->pixels, stored[index].data(), stored[index].size()), 0) << index;
            bytes += stored[index].size();
        }
    }
    EXPECT_EQ(index, 6u * 4);
    EXPECT_EQ(file.size(), bytes);
    cube->Release();
}

TEST_F(SaveTexture, VolumeDdsKeepsEverySliceOfEveryLevelWithTheDocumentedHeader) {
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device->CreateVolumeTexture(6, 4, 5, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr), S_OK);
    std::vector<BYTE> stored;
    for (UINT i = 0; i < volume->GetLevelCount(); ++i) {
        D3DVOLUME_DESC desc;
        volume->GetLevelDesc(i, &desc);
        D3DLOCKED_BOX box;
        ASSERT_EQ(volume->LockBox(i, &box, nullptr, 0), S_OK);
        for (UINT z = 0; z < desc.Depth; ++z) {
            for (UINT y = 0; y < desc.Height; ++y) {
                BYTE* row = static_cast<BYTE*>(box.pBits) + z * box.SlicePitch + y * box.RowPitch;
                for (UINT x = 0; x < desc.Width * 4; ++x) row[x] = static_cast<BYTE>(i * 61 + z * 29 + y * 7 + x);
                stored.insert(stored.end(), row, row + desc.Width * 4);
            }
        }
        volume->UnlockBox(i);
    }
    const std::vector<BYTE> file = Save(volume, D3DXIFF_DDS);
    for (const HeaderField& f : kHeaderFields) EXPECT_EQ(Field(file, f.offset), f.volume) << f.name;
    ASSERT_EQ(file.size(), 128 + stored.size());
    EXPECT_EQ(std::memcmp(file.data() + 128, stored.data(), stored.size()), 0);
    DecodedImage decoded;
    ASSERT_EQ(ReadImage(decoded, file.data(), static_cast<UINT>(file.size()), nullptr, true), S_OK);
    EXPECT_EQ(decoded.resourceType, D3DRTYPE_VOLUMETEXTURE);
    EXPECT_EQ(decoded.depth, 5u);
    ASSERT_NE(decoded.smallerLevel, nullptr);
    ASSERT_NE(decoded.smallerLevel->smallerLevel, nullptr);
    EXPECT_EQ(decoded.smallerLevel->smallerLevel->depth, 1u);

    // A 2D file of a volume holds its first slice.
    const std::vector<BYTE> png = Save(volume, D3DXIFF_PNG);
    DecodedImage first;
    ASSERT_EQ(ReadImage(first, png.data(), static_cast<UINT>(png.size()), nullptr, true), S_OK);
    EXPECT_EQ(MaxDifference(DecodedFloats(first), DecodedFloats(decoded, 0), 15), 0.0f);
    volume->Release();
}

TEST_F(SaveTexture, SurfaceRectangleAndVolumeBoxAreWhatIsSaved) {
    IDirect3DTexture9* texture = MakeTexture(D3DFMT_A8R8G8B8, 16, 12, 1, 5);
    IDirect3DSurface9* surface = nullptr;
    texture->GetSurfaceLevel(0, &surface);
    const RECT rect = {3, 2, 10, 11};
    ID3DXBuffer* buffer = nullptr;
    ASSERT_EQ(D3DXSaveSurfaceToFileInMemory(&buffer, D3DXIFF_TGA, surface, nullptr, &rect), S_OK);
    const std::vector<BYTE> file = BufferBytes(buffer);
    DecodedImage decoded;
    ASSERT_EQ(ReadImage(decoded, file.data(), static_cast<UINT>(file.size()), nullptr, true), S_OK);
    ASSERT_EQ(decoded.width, 7u);
    ASSERT_EQ(decoded.height, 9u);
    const MemoryImage source = LevelImage(texture, 0);
    for (UINT y = 0; y < 9; ++y)
        EXPECT_EQ(
            std::memcmp(decoded.pixels + y * decoded.rowPitch, source.bytes.data() + (y + 2) * source.pitch + 12, 28),
            0);
    surface->Release();
    texture->Release();

    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device->CreateVolumeTexture(8, 8, 4, 1, 0, D3DFMT_L8, D3DPOOL_MANAGED, &volume, nullptr), S_OK);
    D3DLOCKED_BOX locked;
    volume->LockBox(0, &locked, nullptr, 0);
    for (UINT z = 0; z < 4; ++z)
        for (UINT y = 0; y < 8; ++y)
            for (UINT x = 0; x < 8; ++x)
                static_cast<BYTE*>(locked.pBits)[z * locked.SlicePitch + y * locked.RowPitch + x] =
                    static_cast<BYTE>(z * 64 + y * 8 + x);
    volume->UnlockBox(0);
    IDirect3DVolume9* level = nullptr;
    volume->GetVolumeLevel(0, &level);
    const D3DBOX box = {1, 2, 5, 7, 1, 3};
    ASSERT_EQ(D3DXSaveVolumeToFileInMemory(&buffer, D3DXIFF_DDS, level, nullptr, &box), S_OK);
    const std::vector<BYTE> dds = BufferBytes(buffer);
    ASSERT_EQ(dds.size(), 128u + 4 * 5 * 2);
    EXPECT_EQ(Field(dds, 24), 2u);  // depth
    for (UINT z = 0; z < 2; ++z)
        for (UINT y = 0; y < 5; ++y)
            for (UINT x = 0; x < 4; ++x) EXPECT_EQ(dds[128 + (z * 5 + y) * 4 + x], (z + 1) * 64 + (y + 2) * 8 + x + 1);
    // The 2D formats hold the box's first slice.
    ASSERT_EQ(D3DXSaveVolumeToFileInMemory(&buffer, D3DXIFF_PNG, level, nullptr, &box), S_OK);
    const std::vector<BYTE> png = BufferBytes(buffer);
    DecodedImage slice;
    ASSERT_EQ(ReadImage(slice, png.data(), static_cast<UINT>(png.size()), nullptr, true), S_OK);
    ASSERT_EQ(slice.format, D3DFMT_L8);
    EXPECT_EQ(slice.pixels[0], 64 + 16 + 1);
    EXPECT_EQ(slice.pixels[4 * 4 + 3], 64 + 6 * 8 + 4);
    level->Release();
    volume->Release();
}

TEST_F(SaveTexture, RefusesBadArgumentsAndFormatsThatCannotHoldTheSource) {
    IDirect3DTexture9* texture = MakeTexture(D3DFMT_A8R8G8B8, 8, 8, 1, 1);
    IDirect3DTexture9* dxt = MakeTexture(D3DFMT_DXT1, 8, 8, 1, 1);
    IDirect3DSurface9* surface = nullptr;
    IDirect3DSurface9* dxtSurface = nullptr;
    texture->GetSurfaceLevel(0, &surface);
    dxt->GetSurfaceLevel(0, &dxtSurface);
    ID3DXBuffer* buffer = reinterpret_cast<ID3DXBuffer*>(0x1);
    const auto unknown = static_cast<D3DXIMAGE_FILEFORMAT>(D3DXIFF_PFM + 1);
    EXPECT_EQ(D3DXSaveTextureToFileInMemory(nullptr, D3DXIFF_PNG, texture, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveTextureToFileInMemory(&buffer, D3DXIFF_PNG, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveTextureToFileInMemory(&buffer, unknown, texture, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveTextureToFileInMemory(&buffer, D3DXIFF_FORCE_DWORD, texture, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveTextureToFileA(nullptr, D3DXIFF_PNG, texture, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveSurfaceToFileInMemory(&buffer, D3DXIFF_PNG, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveVolumeToFileInMemory(&buffer, D3DXIFF_DDS, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveSurfaceToFileA(nullptr, D3DXIFF_PNG, surface, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveVolumeToFileA(nullptr, D3DXIFF_DDS, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);

    const RECT kBadRects[] = {{-1, 0, 4, 4}, {0, 0, 9, 4}, {0, 0, 4, 9}, {4, 0, 4, 4}, {5, 5, 3, 6}};
    for (const RECT& r : kBadRects)
        EXPECT_EQ(D3DXSaveSurfaceToFileInMemory(&buffer, D3DXIFF_BMP, surface, nullptr, &r), D3DERR_INVALIDCALL);
    // Blocks are copied whole: a rectangle must cover whole blocks.
    const RECT halfBlock = {2, 0, 8, 8}, wholeBlocks = {4, 4, 8, 8};
    EXPECT_EQ(D3DXSaveSurfaceToFileInMemory(&buffer, D3DXIFF_DDS, dxtSurface, nullptr, &halfBlock), D3DERR_INVALIDCALL);
    ASSERT_EQ(D3DXSaveSurfaceToFileInMemory(&buffer, D3DXIFF_DDS, dxtSurface, nullptr, &wholeBlocks), S_OK);
    EXPECT_EQ(buffer->GetBufferSize(), 128u + 8);
    buffer->Release();
    buffer = reinterpret_cast<ID3DXBuffer*>(0x1);
    EXPECT_EQ(buffer, reinterpret_cast<ID3DXBuffer*>(0x1));  // failures hand nothing out

    // A format no codec converts cannot go into a 2D file; a DDS file has no record for a depth format.
    IDirect3DSurface9* depth = nullptr;
    if (SUCCEEDED(device->CreateOffscreenPlainSurface(4, 4, D3DFMT_D24S8, D3DPOOL_SYSTEMMEM, &depth, nullptr))) {
        EXPECT_EQ(D3DXSaveSurfaceToFileInMemory(&buffer, D3DXIFF_PNG, depth, nullptr, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(D3DXSaveSurfaceToFileInMemory(&buffer, D3DXIFF_DDS, depth, nullptr, nullptr), D3DERR_INVALIDCALL);
        depth->Release();
    }
    const D3DBOX kBadBoxes[] = {{0, 0, 9, 4, 0, 1}, {0, 0, 4, 4, 0, 5}, {0, 0, 4, 4, 2, 2}, {3, 0, 2, 4, 0, 1}};
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device->CreateVolumeTexture(8, 8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr), S_OK);
    IDirect3DVolume9* level = nullptr;
    volume->GetVolumeLevel(0, &level);
    for (const D3DBOX& b : kBadBoxes)
        EXPECT_EQ(D3DXSaveVolumeToFileInMemory(&buffer, D3DXIFF_DDS, level, nullptr, &b), D3DERR_INVALIDCALL);
    level->Release();
    volume->Release();
    dxtSurface->Release();
    surface->Release();
    dxt->Release();
    texture->Release();
}

class SaveToFile : public SaveTexture {
protected:
    void SetUp() override {
        SaveTexture::SetUp();
        char pattern[] = "/tmp/tarn-save-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        tarn::platform::ClearFaults();
        fs::remove_all(dir_);
        SaveTexture::TearDown();
    }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir_;
};

TEST_F(SaveToFile, FileHoldsWhatTheBufferHoldsAndReplacesTheOldOne) {
    IDirect3DTexture9* texture = MakeTexture(D3DFMT_A8R8G8B8, 8, 4, 0, 2);
    std::ofstream(Path("out.dds")) << "old contents";
    ASSERT_EQ(D3DXSaveTextureToFileA(Path("out.dds").c_str(), D3DXIFF_DDS, texture, nullptr), S_OK);
    const std::vector<BYTE> expected = Save(texture, D3DXIFF_DDS);
    EXPECT_EQ(Contents(Path("out.dds")), std::string(expected.begin(), expected.end()));
    IDirect3DSurface9* surface = nullptr;
    texture->GetSurfaceLevel(1, &surface);
    ASSERT_EQ(D3DXSaveSurfaceToFileA(Path("level1.png").c_str(), D3DXIFF_PNG, surface, nullptr, nullptr), S_OK);
    surface->Release();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"level1.png", "out.dds"}));
    texture->Release();
}

TEST_F(SaveToFile, FailedSaveLeavesTheTargetAndNoTemporaryFile) {
    IDirect3DTexture9* texture = MakeTexture(D3DFMT_A8R8G8B8, 8, 4, 1, 2);
    std::ofstream(Path("keep.bmp")) << "old contents";
    fs::create_directory(dir_ / "folder");
    struct Case {
        const char* fault;  // platform call made to fail, or null
        const char* target;
    } const kCases[] = {
        {"WriteFile", "keep.bmp"},                                      // a full disk
        {"FlushFileBuffers", "keep.bmp"},                               // an error reported only at the flush
        {"MoveFileExA", "keep.bmp"},      {"CreateFileA", "keep.bmp"},  // an unwritable folder
        {nullptr, "missing/new.bmp"},     {nullptr, "folder"},          // a directory is never replaced
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.fault ? c.fault : c.target);
        if (c.fault != nullptr) tarn::platform::InjectFault(c.fault, ERROR_DISK_FULL, 1);
        EXPECT_EQ(D3DXSaveTextureToFileA(Path(c.target).c_str(), D3DXIFF_BMP, texture, nullptr), D3DERR_INVALIDCALL);
        tarn::platform::ClearFaults();
        EXPECT_EQ(Contents(Path("keep.bmp")), "old contents");
        EXPECT_EQ(Entries(), (std::vector<std::string>{"folder", "keep.bmp"}));
        EXPECT_TRUE(fs::is_empty(dir_ / "folder"));
    }
    texture->Release();
}

TEST(Buffer, HoldsZeroedBytesAndCountsReferences) {
    ID3DXBuffer* buffer = nullptr;
    EXPECT_EQ(D3DXCreateBuffer(16, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(D3DXCreateBuffer(37, &buffer), S_OK);
    ASSERT_EQ(buffer->GetBufferSize(), 37u);
    const BYTE* bytes = static_cast<const BYTE*>(buffer->GetBufferPointer());
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(std::all_of(bytes, bytes + 37, [](BYTE b) { return b == 0; }));

    void* object = nullptr;
    ASSERT_EQ(buffer->QueryInterface(IID_ID3DXBuffer, &object), S_OK);
    EXPECT_EQ(object, buffer);
    ASSERT_EQ(buffer->QueryInterface(IID_IUnknown, &object), S_OK);
    EXPECT_EQ(object, static_cast<IUnknown*>(buffer));
    EXPECT_EQ(buffer->QueryInterface(IID_IDirect3DDevice9, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(buffer->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(buffer->AddRef(), 4u);
    EXPECT_EQ(buffer->Release(), 3u);
    EXPECT_EQ(buffer->Release(), 2u);
    EXPECT_EQ(buffer->Release(), 1u);
    EXPECT_EQ(buffer->Release(), 0u);

    ASSERT_EQ(D3DXCreateBuffer(0, &buffer), S_OK);
    EXPECT_EQ(buffer->GetBufferSize(), 0u);
    EXPECT_NE(buffer->GetBufferPointer(), nullptr);
    buffer->Release();
}

}  // namespace
}  // namespace texture_test
