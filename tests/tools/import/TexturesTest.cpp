#include <gtest/gtest.h>

#include <fstream>

#include "platform/d3d9/Backend.h"
#include "tests/tools/import/ImportTestSupport.h"
#include "texture/D3DXTexture.h"

using namespace tarn::import;
using namespace tarn::import::test;

namespace {

// A PNG of `width` x `height` texels, all of one colour 0xAARRGGBB, made with the texture library.
std::vector<std::uint8_t> Png(UINT width, UINT height, std::uint32_t argb) {
    IDirect3DDevice9* device = tarn::d3d9::CreateNullDevice(16, 16);
    IDirect3DTexture9* t = nullptr;
    std::vector<std::uint8_t> bytes;
    if (SUCCEEDED(D3DXCreateTexture(device, width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &t))) {
        D3DLOCKED_RECT locked{};
        t->LockRect(0, &locked, nullptr, 0);
        for (UINT y = 0; y < height; ++y) {
            for (UINT x = 0; x < width; ++x)
                std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch + 4 * x, &argb, 4);
        }
        t->UnlockRect(0);
        ID3DXBuffer* buffer = nullptr;
        if (SUCCEEDED(D3DXSaveTextureToFileInMemory(&buffer, D3DXIFF_PNG, t, nullptr))) {
            const auto* p = static_cast<const std::uint8_t*>(buffer->GetBufferPointer());
            bytes.assign(p, p + buffer->GetBufferSize());
            buffer->Release();
        }
        t->Release();
    }
    device->Release();
    return bytes;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

D3DXIMAGE_INFO Info(const std::vector<std::uint8_t>& bytes) {
    D3DXIMAGE_INFO info{};
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(bytes.data(), static_cast<UINT>(bytes.size()), &info), D3D_OK);
    return info;
}

// The first texel of a DDS file's top level, decoded by the library, as 0xAARRGGBB.
std::uint32_t FirstTexel(const std::vector<std::uint8_t>& dds) {
    IDirect3DDevice9* device = tarn::d3d9::CreateNullDevice(16, 16);
    IDirect3DTexture9* t = nullptr;
    std::uint32_t texel = 0;
    if (SUCCEEDED(D3DXCreateTextureFromFileInMemoryEx(
            device, dds.data(), static_cast<UINT>(dds.size()), D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
            D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0, nullptr, nullptr, &t))) {
        D3DLOCKED_RECT locked{};
        t->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
        std::memcpy(&texel, locked.pBits, 4);
        t->UnlockRect(0);
        t->Release();
    }
    device->Release();
    return texel;
}

// One material of `material`'s kind naming `file`, converted from `dir`.
struct Converted1 {
    TexturePlan plan;
    std::vector<TextureResult> results;
    const TextureResult& image() const { return results[plan.imageJob[0]]; }
};

Converted1 Convert(const std::string& dir, ModelMaterial material, bool keep = false) {
    Model model;
    model.materials.push_back(std::move(material));
    ConvertOptions o;
    o.keepImages = keep;
    Converted1 c;
    c.plan = PlanTextures(model, o);
    c.results = ConvertTextures(c.plan, model, dir, keep, 2);
    return c;
}

ModelMaterial Naming(const std::string& file) {
    ModelMaterial m;
    m.textures = {{TextureKind::Diffuse, file}};
    return m;
}

TEST(ImportTextures, OpaqueImageBecomesDxt1WithAFullChainAtAPowerOfTwo) {
    TempDir dir;
    WriteFile(dir.file("wood.png"), Png(20, 12, 0xFF804020));
    const Converted1 c = Convert(dir.path(), Naming("wood.png"));
    ASSERT_TRUE(c.image().ok) << c.image().failure;
    EXPECT_FALSE(c.image().translucent);
    const D3DXIMAGE_INFO info = Info(c.image().bytes);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
    EXPECT_EQ(info.Format, D3DFMT_DXT1);
    EXPECT_EQ(info.Width, 32u);  // rounded up as the engine's loader would
    EXPECT_EQ(info.Height, 16u);
    EXPECT_EQ(info.MipLevels, 6u);  // 32 x 16 down to 1 x 1
    const std::uint32_t texel = FirstTexel(c.image().bytes);
    EXPECT_NEAR((texel >> 16) & 0xff, 0x80, 8);
    EXPECT_NEAR((texel >> 8) & 0xff, 0x40, 8);
}

TEST(ImportTextures, TranslucentImageBecomesDxt5) {
    TempDir dir;
    WriteFile(dir.file("glass.png"), Png(8, 8, 0x80FFFFFF));
    const Converted1 c = Convert(dir.path(), Naming("glass.png"));
    ASSERT_TRUE(c.image().ok) << c.image().failure;
    EXPECT_TRUE(c.image().translucent);
    EXPECT_EQ(Info(c.image().bytes).Format, D3DFMT_DXT5);
    EXPECT_EQ(Info(c.image().bytes).MipLevels, 4u);
    EXPECT_NEAR(FirstTexel(c.image().bytes) >> 24, 0x80, 2);
}

TEST(ImportTextures, AnOpaqueMaterialDropsTheImagesAlphaAndOpacityGoesIntoIt) {
    TempDir dir;
    WriteFile(dir.file("leaf.png"), Png(4, 4, 0x40FF0000));
    WriteFile(dir.file("stone.png"), Png(4, 4, 0xFF00FF00));
    ModelMaterial opaque = Naming("leaf.png");
    opaque.alphaMode = AlphaMode::Opaque;
    const Converted1 a = Convert(dir.path(), opaque);
    ASSERT_TRUE(a.image().ok);
    EXPECT_FALSE(a.image().translucent);
    EXPECT_EQ(Info(a.image().bytes).Format, D3DFMT_DXT1);
    EXPECT_EQ(FirstTexel(a.image().bytes) >> 24, 0xFFu);

    ModelMaterial faded = Naming("stone.png");
    faded.opacity = 0.5f;
    const Converted1 b = Convert(dir.path(), faded);
    ASSERT_TRUE(b.image().ok);
    EXPECT_TRUE(b.image().translucent);
    EXPECT_EQ(Info(b.image().bytes).Format, D3DFMT_DXT5);
    EXPECT_NEAR(FirstTexel(b.image().bytes) >> 24, 0x80, 2);
}

TEST(ImportTextures, PathsAreFoundTheWaysModelsWriteThem) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("maps"));
    WriteFile(dir.file("maps/Bark Tile.png"), Png(4, 4, 0xFF000000));
    // The last two fall back to the file's name in the model's folder.
    std::filesystem::copy_file(dir.file("maps/Bark Tile.png"), dir.file("Bark Tile.png"));
    for (const char* path : {"maps/Bark Tile.png", "maps\\Bark Tile.png", "maps/Bark%20Tile.png",
                             "C:\\Users\\artist\\maps\\Bark Tile.png", "/elsewhere/maps/bark tile.PNG"}) {
        SCOPED_TRACE(path);
        const Converted1 c = Convert(dir.path(), Naming(path));
        EXPECT_TRUE(c.image().ok) << c.image().failure;
    }
}

TEST(ImportTextures, FailuresSayWhichImageAndWhy) {
    TempDir dir;
    WriteFile(dir.file("junk.png"), {1, 2, 3, 4, 5});
    std::filesystem::create_directory(dir.file("folder.png"));
    struct Case {
        const char* file;
        const char* says;
    } const kCases[] = {{"absent.png", "'absent.png': not found"},
                        {"junk.png", "'junk.png': not an image the texture library reads, or damaged"},
                        {"folder.png", "'folder.png': not found"}};
    for (const Case& k : kCases) {
        SCOPED_TRACE(k.file);
        const Converted1 c = Convert(dir.path(), Naming(k.file));
        EXPECT_FALSE(c.image().ok);
        EXPECT_EQ(c.image().failure, k.says);
    }
}

TEST(ImportTextures, EmbeddedImagesFileBytesOrTexels) {
    Model model;
    ModelTexture png;
    png.formatHint = "png";
    png.bytes = Png(4, 4, 0xFF0000FF);
    png.width = static_cast<std::uint32_t>(png.bytes.size());
    ModelTexture raw;
    raw.width = 3, raw.height = 2;
    for (int i = 0; i < 6; ++i) raw.bytes.insert(raw.bytes.end(), {0x00, 0xFF, 0x00, 0x80});  // b g r a
    model.textures = {png, raw};
    ModelMaterial a, b;
    a.textures = {{TextureKind::BaseColour, "*0", 0}};
    b.textures = {{TextureKind::BaseColour, "*1", 1}};
    model.materials = {a, b};
    const TexturePlan plan = PlanTextures(model, {});
    const std::vector<TextureResult> r = ConvertTextures(plan, model, ".", false, 1);
    const TextureResult& first = r[plan.imageJob[0]];
    const TextureResult& second = r[plan.imageJob[1]];
    ASSERT_TRUE(first.ok) << first.failure;
    ASSERT_TRUE(second.ok) << second.failure;
    EXPECT_EQ(plan.jobs[plan.imageJob[0]].output, "model_image0.dds");
    EXPECT_EQ(Info(first.bytes).Format, D3DFMT_DXT1);
    EXPECT_EQ(Info(second.bytes).Format, D3DFMT_DXT5);
    EXPECT_EQ(Info(second.bytes).Width, 4u);
    EXPECT_NEAR((FirstTexel(second.bytes) >> 8) & 0xff, 0xFF, 4);
}

TEST(ImportTextures, KeepImagesCopiesTheFileItself) {
    TempDir dir;
    const std::vector<std::uint8_t> png = Png(5, 3, 0xFF112233);
    WriteFile(dir.file("tile.png"), png);
    const Converted1 c = Convert(dir.path(), Naming("tile.png"), true);
    ASSERT_TRUE(c.image().ok);
    EXPECT_EQ(c.image().bytes, png);
    EXPECT_EQ(c.plan.jobs[c.plan.imageJob[0]].output, "model_tile.png");
    // Only what the library can read is copied.
    WriteFile(dir.file("notes.txt"), {'h', 'i'});
    EXPECT_FALSE(Convert(dir.path(), Naming("notes.txt"), true).image().ok);
}

TEST(ImportTextures, PlainColoursAreSmallDdsFiles) {
    Model model;
    ModelMaterial faded;
    faded.opacity = 0.5f;
    model.materials = {ModelMaterial{}, faded};
    const TexturePlan plan = PlanTextures(model, {});
    const std::vector<TextureResult> r = ConvertTextures(plan, model, ".", false, 1);
    const TextureResult& white = r[plan.solidJob[0]];
    const TextureResult& half = r[plan.solidJob[1]];
    ASSERT_TRUE(white.ok && half.ok);
    EXPECT_EQ(Info(white.bytes).Format, D3DFMT_DXT1);
    EXPECT_EQ(Info(white.bytes).Width, 4u);
    EXPECT_EQ(Info(white.bytes).MipLevels, 3u);
    EXPECT_EQ(FirstTexel(white.bytes), 0xFFFFFFFFu);
    EXPECT_EQ(Info(half.bytes).Format, D3DFMT_DXT5);
    EXPECT_NEAR(FirstTexel(half.bytes) >> 24, 128, 2);
}

}  // namespace
