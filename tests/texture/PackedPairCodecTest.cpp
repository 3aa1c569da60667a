#include <gtest/gtest.h>

#include <vector>

#include "PackedPairCodec.h"
#include "PixelCodec.h"

using namespace tarn::texture;

namespace {

std::unique_ptr<PixelCodec> Codec(std::vector<BYTE>& memory, D3DFORMAT format, UINT width, ImageBox box) {
    ImageDesc d;
    d.memory = memory.data();
    d.format = format;
    d.rowPitch = (width + 1) / 2 * 4;
    d.slicePitch = d.rowPitch;
    d.box = box;
    return CreatePixelCodec(d);
}

TEST(PackedPairCodec, Bt601ReferenceColours) {
    struct Case {
        int y, u, v;
        float r, g, b;
    } cases[] = {
        {16, 128, 128, 0, 0, 0},  {235, 128, 128, 1, 1, 1}, {126, 128, 128, 0.5023f, 0.5023f, 0.5023f},
        {81, 90, 240, 1, 0, 0},   {145, 54, 34, 0, 1, 0},   {41, 240, 110, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.y << " " << c.u << " " << c.v);
        float rgb[3];
        YuvToRgb(c.y, c.u, c.v, rgb);
        EXPECT_NEAR(rgb[0], c.r, 0.01f);
        EXPECT_NEAR(rgb[1], c.g, 0.01f);
        EXPECT_NEAR(rgb[2], c.b, 0.01f);
        int y0, y1, u, v;
        const float in[3] = {c.r, c.g, c.b};
        RgbToYuvPair(in, in, y0, y1, u, v);
        EXPECT_NEAR(y0, c.y, 1);
        EXPECT_EQ(y0, y1);
        EXPECT_NEAR(u, c.u, 1);
        EXPECT_NEAR(v, c.v, 1);
    }
}

TEST(PackedPairCodec, ByteLayoutsOfTheFourFormats) {
    struct Case {
        D3DFORMAT format;
        BYTE bytes[4];
        Float4 first, second;
    } cases[] = {
        {D3DFMT_YUY2, {235, 128, 16, 128}, {1, 1, 1, 1}, {0, 0, 0, 1}},
        {D3DFMT_UYVY, {128, 235, 128, 16}, {1, 1, 1, 1}, {0, 0, 0, 1}},
        {D3DFMT_R8G8_B8G8, {51, 255, 102, 0}, {1, 0.2f, 0, 1}, {1, 0.4f, 0, 1}},  // G0 R G1 B
        {D3DFMT_G8R8_G8B8, {255, 51, 0, 102}, {1, 0.2f, 0, 1}, {1, 0.4f, 0, 1}},  // R G0 B G1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.format);
        std::vector<BYTE> mem(c.bytes, c.bytes + 4);
        auto codec = Codec(mem, c.format, 2, {0, 0, 2, 1, 0, 1});
        ASSERT_TRUE(codec);
        Float4 row[2];
        codec->DecodeRow(0, 0, row);
        EXPECT_NEAR(row[0].r, c.first.r, 1e-3f);
        EXPECT_NEAR(row[0].g, c.first.g, 1e-3f);
        EXPECT_NEAR(row[1].g, c.second.g, 1e-3f);
        EXPECT_NEAR(row[1].b, c.second.b, 1e-3f);
        EXPECT_EQ(row[1].a, 1.0f);

        std::vector<BYTE> out(4, 0);
        auto encoder = Codec(out, c.format, 2, {0, 0, 2, 1, 0, 1});
        encoder->EncodeRow(0, 0, row);
        EXPECT_EQ(out, mem);
    }
}

TEST(PackedPairCodec, OddBoxEdgesKeepTheOtherPixelOfTheirPair) {
    // Row of 4 pixels, R8G8_B8G8 (G0 R G1 B); write pixels 1 and 2 only.
    std::vector<BYTE> mem = {10, 200, 20, 100, 30, 200, 40, 100};
    auto codec = Codec(mem, D3DFMT_R8G8_B8G8, 4, {1, 0, 3, 1, 0, 1});
    ASSERT_TRUE(codec);
    Float4 in[2] = {{200 / 255.0f, 77 / 255.0f, 100 / 255.0f, 1}, {200 / 255.0f, 88 / 255.0f, 100 / 255.0f, 1}};
    codec->EncodeRow(0, 0, in);
    EXPECT_EQ(mem, (std::vector<BYTE>{10, 200, 77, 100, 88, 200, 40, 100}));

    Float4 row[2];
    codec->DecodeRow(0, 0, row);
    EXPECT_NEAR(row[0].g, 77 / 255.0f, 1e-6f);
    EXPECT_NEAR(row[1].g, 88 / 255.0f, 1e-6f);
}

TEST(PackedPairCodec, YuvRoundTripKeepsPairColoursAndEachPixelsLuma) {
    std::vector<BYTE> mem(8 * 2);
    auto codec = Codec(mem, D3DFMT_YUY2, 8, {0, 0, 8, 1, 0, 1});
    ASSERT_TRUE(codec);
    Float4 in[8], out[8];
    for (int i = 0; i < 8; ++i) {
        const float v = (i / 2) / 3.0f;  // both pixels of a pair alike
        in[i] = {v, 0.5f * v + 0.2f, 1.0f - v, 1.0f};
    }
    codec->EncodeRow(0, 0, in);
    codec->DecodeRow(0, 0, out);
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(out[i].r, in[i].r, 0.012f) << i;
        EXPECT_NEAR(out[i].g, in[i].g, 0.012f) << i;
        EXPECT_NEAR(out[i].b, in[i].b, 0.012f) << i;
    }
    // A pair of different colours shares chroma, but each pixel keeps its own luma.
    in[0] = {1, 0, 0, 1};
    in[1] = {0, 0, 1, 1};
    codec->EncodeRow(0, 0, in);
    EXPECT_EQ(mem[0], 16 + static_cast<int>(219 * 0.299f + 0.5f));
    EXPECT_EQ(mem[2], 16 + static_cast<int>(219 * 0.114f + 0.5f));
}

}  // namespace
