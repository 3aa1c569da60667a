// The asset generator: its DXT1 encoder and DDS layout, the caustic frames' seams and loop, the scene's budget
// and the coverage of texture formats and node kinds, and determinism.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "tools/assetgen/CausticFrames.h"
#include "tools/assetgen/Dxt1Encoder.h"
#include "tools/assetgen/ImageWriters.h"
#include "tools/assetgen/SeaFloorScene.h"
#include "tools/assetgen/SeaTextures.h"

using namespace tarn::assetgen;

namespace {

TEST(Dxt1EncoderTest, BlocksDecodeBackWithinQuantisation) {
    struct Case {
        const char* what;
        Rgba a, b;
    } const kCases[] = {{"flat", {200, 100, 50, 255}, {200, 100, 50, 255}},
                        {"two colours", {255, 0, 0, 255}, {0, 0, 255, 255}},
                        {"grey ramp ends", {0, 0, 0, 255}, {255, 255, 255, 255}}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        Rgba texels[16];
        for (int i = 0; i < 16; ++i) texels[i] = (i % 3 == 0) ? c.a : c.b;  // a checker of the two colours
        std::uint8_t block[8];
        EncodeDxt1Block(texels, block);
        const unsigned c0 = block[0] | (block[1] << 8), c1 = block[2] | (block[3] << 8);
        EXPECT_GE(c0, c1) << "four-colour mode (or a flat block)";
        Rgba decoded[16];
        DecodeDxt1Block(block, decoded);
        for (int i = 0; i < 16; ++i) {
            EXPECT_LE(std::abs(decoded[i].r - texels[i].r), 4) << i;
            EXPECT_LE(std::abs(decoded[i].g - texels[i].g), 2) << i;
            EXPECT_LE(std::abs(decoded[i].b - texels[i].b), 4) << i;
            EXPECT_EQ(decoded[i].a, 255);
        }
    }
}

TEST(DdsWriterTest, HeaderAndFullMipChainSizes) {
    const Image image = SandTexture(64, 1);
    const std::vector<std::uint8_t> dds = EncodeDdsDxt1(image);
    auto u32 = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, &dds[at], 4);
        return v;
    };
    EXPECT_EQ(std::string(dds.begin(), dds.begin() + 4), "DDS ");
    EXPECT_EQ(u32(4), 124u);
    EXPECT_EQ(u32(12), 64u);                  // height
    EXPECT_EQ(u32(16), 64u);                  // width
    EXPECT_EQ(u32(20), 16u * 16u * 8u);       // top level bytes
    EXPECT_EQ(u32(28), 7u);                   // 64, 32, 16, 8, 4, 2, 1
    EXPECT_EQ(std::string(dds.begin() + 84, dds.begin() + 88), "DXT1");
    // Levels of 4 x 4 and smaller still take one 8-byte block.
    const std::size_t levels = 16 * 16 * 8 + 8 * 8 * 8 + 4 * 4 * 8 + 2 * 2 * 8 + 8 + 8 + 8;
    EXPECT_EQ(dds.size(), 128 + levels);
}

TEST(TgaWriterTest, RunLengthPacketsExpandToTheImage) {
    Image image(5, 2);
    const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255};
    const Rgba row0[5] = {red, red, red, green, blue}, row1[5] = {blue, green, blue, blue, blue};
    for (int x = 0; x < 5; ++x) image.at(x, 0) = row0[x], image.at(x, 1) = row1[x];
    const std::vector<std::uint8_t> tga = EncodeTga(image, 24, true, TgaOrigin::TopLeft);
    EXPECT_EQ(tga[2], 10);
    EXPECT_EQ(tga[17], 0x20);  // top-left origin, no alpha bits
    // Decode the packets: they must give both rows, top first, and never cross a row.
    std::vector<Rgba> pixels;
    std::size_t at = 18;
    while (at < tga.size()) {
        const int header = tga[at++];
        const int count = (header & 0x7F) + 1;
        const bool run = header & 0x80;
        for (int i = 0; i < count; ++i) {
            const std::size_t p = run ? at : at + 3 * i;
            pixels.push_back({tga[p + 2], tga[p + 1], tga[p], 255});
        }
        at += run ? 3 : 3 * count;
        ASSERT_TRUE(pixels.size() <= 5 || pixels.size() - count >= 5) << "a packet crosses the end of row 0";
    }
    ASSERT_EQ(pixels.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        const Rgba& want = i < 5 ? row0[i] : row1[i - 5];
        EXPECT_EQ(pixels[i].r, want.r) << i;
        EXPECT_EQ(pixels[i].g, want.g) << i;
        EXPECT_EQ(pixels[i].b, want.b) << i;
    }
}

// The frames are multiplied onto the scene: they must tile (wrap addressing shows no seam), loop after 32 frames,
// and be mostly bright with lines that reach full brightness.
TEST(CausticFramesTest, TileLoopAndLightTheFloor) {
    CausticSettings settings;
    settings.size = 128;
    const std::vector<float> first = CausticIntensity(settings, 0, 7);
    const std::vector<float> again = CausticIntensity(settings, settings.frames, 7);
    double loopError = 0;
    for (std::size_t i = 0; i < first.size(); ++i) loopError = std::max(loopError, double(std::fabs(first[i] - again[i])));
    EXPECT_LT(loopError, 0.05) << "frame 32 repeats frame 0";

    const int n = settings.size;
    auto at = [&](int x, int y) { return first[static_cast<std::size_t>(y) * n + x]; };
    double seam = 0, inside = 0;
    for (int y = 0; y < n; ++y) {
        seam += std::fabs(at(n - 1, y) - at(0, y));
        inside += std::fabs(at(n / 2, y) - at(n / 2 - 1, y));
    }
    EXPECT_LT(seam, 2.0 * inside) << "across the wrap the pattern changes no more than between two inner columns";

    const Image frame = CausticFrame(settings, 5, 7);
    double mean = 0;
    int brightest = 0, darkest = 255;
    for (const Rgba& p : frame.pixels) {
        mean += p.b;
        brightest = std::max(brightest, int(p.b));
        darkest = std::min(darkest, int(p.b));
    }
    mean /= frame.pixels.size() * 255.0;
    EXPECT_GT(mean, 0.58);
    EXPECT_EQ(brightest, 255);
    EXPECT_GT(darkest, 80) << "no part of the floor goes black";
    EXPECT_NE(std::memcmp(&CausticFrame(settings, 6, 7).pixels[0], &frame.pixels[0], frame.pixels.size() * 4), 0);
}

TEST(SeaFloorSceneTest, FitsTheBudgetAndExercisesTheFormat) {
    const tarn::trs::TrsScene scene = BuildSeaFloorScene(20261209);
    EXPECT_EQ(scene.version, 11);
    const std::size_t triangles = SceneTriangleCount(scene);
    EXPECT_GE(triangles, 8000u);
    EXPECT_LE(triangles, 15000u) << "the frame budget on a software rasteriser";

    std::vector<std::string> extensions;
    for (const std::string& name : scene.textures) extensions.push_back(name.substr(name.rfind('.')));
    for (const char* wanted : {".dds", ".png", ".jpg", ".bmp", ".tga"})
        EXPECT_NE(std::find(extensions.begin(), extensions.end(), wanted), extensions.end()) << wanted;

    int billboards = 0;
    for (const auto& mesh : scene.meshes) {
        ASSERT_LT(static_cast<std::size_t>(mesh.vertexBuffer), scene.vertexBuffers.size()) << mesh.name;
        ASSERT_LT(static_cast<std::size_t>(mesh.indexBuffer), scene.indexBuffers.size()) << mesh.name;
        ASSERT_LT(static_cast<std::size_t>(mesh.texture), scene.textures.size()) << mesh.name;
        ASSERT_LT(static_cast<std::size_t>(mesh.material), scene.materials.size()) << mesh.name;
        for (std::uint16_t index : scene.indexBuffers[mesh.indexBuffer].indices)
            ASSERT_LT(index, scene.vertexBuffers[mesh.vertexBuffer].vertices.size()) << mesh.name;
        if (mesh.billboard == 1) {
            ++billboards;
            EXPECT_EQ(mesh.alphaBlendEnable, 1);
            EXPECT_EQ(mesh.zWriteEnable, 0);
            EXPECT_EQ(mesh.cullMode, 1);
        }
    }
    EXPECT_GT(billboards, 0);
    // Blended billboards come last, after everything opaque has filled the depth buffer.
    EXPECT_EQ(scene.meshes.back().billboard, 1);
    EXPECT_EQ(scene.meshes.front().alphaBlendEnable, 0);

    ASSERT_FALSE(scene.lights.empty());
    EXPECT_EQ(scene.lights[0].type, 3);
    EXPECT_LT(scene.lights[0].direction[1], -0.5f) << "sunlight from above";
    EXPECT_GT(scene.lights[0].ambient[2], scene.lights[0].ambient[0]) << "bluish ambient";
    ASSERT_EQ(scene.cameras.size(), 1u);
    EXPECT_EQ(scene.cameras[0].farPlane, 1000.0f);

    bool allKeyKinds = false, userData = false;
    for (const auto& node : scene.dummies) {
        allKeyKinds |= !node.positionKeys.empty() && !node.rotationKeys.empty() && !node.scaleKeys.empty();
        userData |= !node.userData.empty();
    }
    EXPECT_TRUE(allKeyKinds);
    EXPECT_TRUE(userData);
}

TEST(SeaFloorSceneTest, SameSeedSameBytes) {
    EXPECT_EQ(tarn::trs::WriteTrs(BuildSeaFloorScene(3)), tarn::trs::WriteTrs(BuildSeaFloorScene(3)));
    EXPECT_NE(tarn::trs::WriteTrs(BuildSeaFloorScene(3)), tarn::trs::WriteTrs(BuildSeaFloorScene(4)));
}

}  // namespace
