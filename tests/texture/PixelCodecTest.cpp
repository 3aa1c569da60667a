// Codecs through the transfer core: round trips over the whole format table, the decode rules that matter,
// colour key, dither, error diffusion and sRGB.
#include "PixelCodec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TextureTestSupport.h"

using namespace tarn::texture;
using texture_test::Blit;
using texture_test::FillRandom;
using texture_test::MemoryImage;

namespace {

PALETTEENTRY gPalette[256];
const PALETTEENTRY* DistinctPalette() {
    for (int i = 0; i < 256; ++i) {
        gPalette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 7), 255};
    }
    return gPalette;
}

// Every format with a codec (except the lossy block and packed-pair formats, tested with their codecs): any
// decoded value is written back and decoded again exactly, and writing it again gives the same bytes.
TEST(PixelCodec, EveryCodecRoundTripsTheValuesItsFormatHolds) {
    int tested = 0;
    for (const FormatDesc* d = FormatTableBegin(); d != FormatTableEnd(); ++d) {
        const D3DFORMAT f = d->format;
        if (!HasPixelCodec(f) || IsBlockFormat(f) || IsPackedPairFormat(f)) continue;
        SCOPED_TRACE(testing::Message() << "format " << f);
        ++tested;
        const UINT w = 7, h = 3;  // odd widths reach every tail
        MemoryImage original(f, w, h), decoded(D3DFMT_A32B32G32R32F, w, h), written(f, w, h),
            again(D3DFMT_A32B32G32R32F, w, h), rewritten(f, w, h);
        FillRandom(original.bytes, static_cast<std::uint32_t>(f));
        if (f == D3DFMT_P8 || f == D3DFMT_A8P8) {
            original.palette = written.palette = rewritten.palette = DistinctPalette();
        }
        ASSERT_EQ(Blit(decoded, original, D3DX_FILTER_NONE), S_OK);
        ASSERT_EQ(Blit(written, decoded, D3DX_FILTER_NONE), S_OK);
        ASSERT_EQ(Blit(again, written, D3DX_FILTER_NONE), S_OK);
        ASSERT_EQ(Blit(rewritten, again, D3DX_FILTER_NONE), S_OK);
        EXPECT_EQ(decoded.Pixels(), again.Pixels());
        EXPECT_EQ(written.Pixels(), rewritten.Pixels());
    }
    EXPECT_GE(tested, 40);
}

TEST(PixelCodec, DecodeRulesIntoA8R8G8B8) {
    struct Case {
        const char* what;
        D3DFORMAT format;
        std::vector<BYTE> pixel;
        std::uint32_t argb;
    } cases[] = {
        {"V8U8 maps -1...1 to 0...255, 0 to 128", D3DFMT_V8U8, {0x00, 0x7F}, 0xFF80FFFF},
        {"V8U8 -128 counts as -127", D3DFMT_V8U8, {0x80, 0x81}, 0xFF0000FF},
        {"24-bit B, G, R with opaque alpha", D3DFMT_R8G8B8, {0x10, 0x20, 0x30}, 0xFF302010},
        {"A8 has black colour", D3DFMT_A8, {0x40}, 0x40000000},
        {"L8 spreads into red, green, blue", D3DFMT_L8, {0x55}, 0xFF555555},
        {"A4L4: low nibble luminance", D3DFMT_A4L4, {0x3C}, 0x33CCCCCC},
        {"R3G3B2 expands each field", D3DFMT_R3G3B2, {0xE3}, 0xFFFF00FF},
        {"G16R16 has blue 1", D3DFMT_G16R16, {0xFF, 0xFF, 0x00, 0x00}, 0xFFFF00FF},
        {"A2B10G10R10 red lowest", D3DFMT_A2B10G10R10, {0xFF, 0x03, 0x00, 0xC0}, 0xFFFF0000},
        {"A16B16G16R16 red first", D3DFMT_A16B16G16R16, {0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF}, 0xFF00FF00},
        {"P8 without a palette is opaque white", D3DFMT_P8, {0x07}, 0xFFFFFFFF},
        {"A8P8 without a palette keeps its alpha", D3DFMT_A8P8, {0x07, 0x80}, 0x80FFFFFF},
        {"R16F 1.0 and missing channels 1", D3DFMT_R16F, {0x00, 0x3C}, 0xFFFFFFFF},
        {"R32F 0.5, clamped to the unsigned range", D3DFMT_R32F, {0, 0, 0, 0x3F}, 0xFF80FFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryImage src(c.format, 1, 1), dst(D3DFMT_A8R8G8B8, 1, 1);
        std::copy(c.pixel.begin(), c.pixel.end(), src.bytes.begin());
        ASSERT_EQ(Blit(dst, src, D3DX_FILTER_NONE), S_OK);
        EXPECT_EQ(dst.Pixel32(0, 0), c.argb) << std::hex << dst.Pixel32(0, 0);
    }
}

TEST(PixelCodec, TwentyFourBitIntoX8R8G8B8WritesAnOpaqueXByte) {
    MemoryImage src(D3DFMT_R8G8B8, 2, 1), dst(D3DFMT_X8R8G8B8, 2, 1);
    src.bytes = {1, 2, 3, 4, 5, 6, 0, 0};
    ASSERT_EQ(Blit(dst, src, D3DX_FILTER_NONE), S_OK);
    EXPECT_EQ(dst.Pixels(), (std::vector<BYTE>{1, 2, 3, 255, 4, 5, 6, 255}));
}

TEST(PixelCodec, ColourKeyOnGreenMakesOnlyThatPixelTransparentBlack) {
    for (D3DFORMAT source : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
        SCOPED_TRACE(testing::Message() << "source " << source);
        MemoryImage argb(D3DFMT_A8R8G8B8, 3, 1), src(source, 3, 1), dst(D3DFMT_A8R8G8B8, 3, 1);
        argb.SetPixel32(0, 0, 0xFFFF0000);
        argb.SetPixel32(1, 0, 0xFF00FF00);
        argb.SetPixel32(2, 0, 0xFF0000FF);
        ASSERT_EQ(Blit(src, argb, D3DX_FILTER_NONE), S_OK);
        src.colorKey = 0xFF00FF00;
        ASSERT_EQ(Blit(dst, src, D3DX_FILTER_NONE), S_OK);
        EXPECT_EQ(dst.Pixel32(0, 0), 0xFFFF0000u);
        EXPECT_EQ(dst.Pixel32(1, 0), 0u);
        EXPECT_EQ(dst.Pixel32(2, 0), 0xFF0000FFu);
    }
}

TEST(PixelCodec, OrderedDitherTurnsFlatGreyIntoTheMatrixPattern) {
    MemoryImage src(D3DFMT_A32B32G32R32F, 8, 8), plain(D3DFMT_R5G6B5, 8, 8), dithered(D3DFMT_R5G6B5, 8, 8);
    for (UINT y = 0; y < 8; ++y)
        for (UINT x = 0; x < 8; ++x) src.SetPixelF(x, y, {0.5f, 0.5f, 0.5f, 1.0f});
    ASSERT_EQ(Blit(plain, src, D3DX_FILTER_NONE), S_OK);
    ASSERT_EQ(Blit(dithered, src, D3DX_FILTER_NONE | D3DX_FILTER_DITHER), S_OK);
    // 15.5 + t rounds up where the threshold t = k / 32 is at least one half: k = 31, 27, 23, 19, 25, ...
    const int kUp[4][4] = {{1, 0, 1, 0}, {0, 1, 0, 1}, {1, 0, 1, 0}, {0, 1, 0, 1}};
    for (UINT y = 0; y < 8; ++y) {
        for (UINT x = 0; x < 8; ++x) {
            const std::uint16_t p = dithered.Pixel16(x, y);
            const int up = kUp[y % 4][x % 4];
            EXPECT_EQ(p >> 11, 15 + up) << x << "," << y;
            EXPECT_EQ((p >> 5) & 63, 31 + up) << x << "," << y;
            EXPECT_EQ(plain.Pixel16(x, y), (16 << 11) | (32 << 5) | 16);
        }
    }
}

TEST(PixelCodec, ErrorDiffusionKeepsTheMeanOfAFlatArea) {
    const UINT w = 17, h = 16;
    MemoryImage src(D3DFMT_A32B32G32R32F, w, h), diffused(D3DFMT_A1R5G5B5, w, h), rounded(D3DFMT_A1R5G5B5, w, h);
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x) src.SetPixelF(x, y, {0.3f, 0.3f, 0.3f, 0.3f});
    ASSERT_EQ(Blit(rounded, src, D3DX_FILTER_NONE), S_OK);
    ASSERT_EQ(Blit(diffused, src, D3DX_FILTER_NONE | D3DX_FILTER_DITHER_DIFFUSION), S_OK);
    int opaque = 0, redSum = 0, roundedOpaque = 0;
    for (UINT y = 0; y < h; ++y) {
        for (UINT x = 0; x < w; ++x) {
            opaque += diffused.Pixel16(x, y) >> 15;
            roundedOpaque += rounded.Pixel16(x, y) >> 15;
            redSum += (diffused.Pixel16(x, y) >> 10) & 31;
        }
    }
    EXPECT_EQ(roundedOpaque, 0);  // 0.3 rounds to 0 everywhere without diffusion
    EXPECT_NEAR(opaque / double(w * h), 0.3, 0.02);
    EXPECT_NEAR(redSum / double(w * h) / 31.0, 0.3, 0.005);
    // The first row goes left to right carrying 7/16 of each error: 0.3, 0.431, 0.489 round to 0, 0.514 to 1.
    EXPECT_EQ(diffused.Pixel16(0, 0) >> 15, 0);
    EXPECT_EQ(diffused.Pixel16(1, 0) >> 15, 0);
    EXPECT_EQ(diffused.Pixel16(2, 0) >> 15, 0);
    EXPECT_EQ(diffused.Pixel16(3, 0) >> 15, 1);
}

// Signed and unsigned channels of one pixel share the diffusion pass: each keeps its own mean.
TEST(PixelCodec, ErrorDiffusionOnMixedSignedFormats) {
    const UINT w = 16, h = 16;
    MemoryImage src(D3DFMT_A32B32G32R32F, w, h), diffused(D3DFMT_L6V5U5, w, h), back(D3DFMT_A32B32G32R32F, w, h);
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x) src.SetPixelF(x, y, {0.3f, -0.3f, 1.0f, 0.31f});
    ASSERT_EQ(Blit(diffused, src, D3DX_FILTER_NONE | D3DX_FILTER_DITHER_DIFFUSION), S_OK);
    ASSERT_EQ(Blit(back, diffused, D3DX_FILTER_NONE), S_OK);
    double u = 0, v = 0, l = 0;
    for (UINT y = 0; y < h; ++y) {
        for (UINT x = 0; x < w; ++x) {
            u += back.PixelF(x, y).r;
            v += back.PixelF(x, y).g;
            l += back.PixelF(x, y).a;
        }
    }
    // Plain rounding would give 5/15, -4/15 and 20/63: each off by more than 0.006.
    EXPECT_NEAR(u / (w * h), 0.3, 0.005);
    EXPECT_NEAR(v / (w * h), -0.3, 0.005);
    EXPECT_NEAR(l / (w * h), 0.31, 0.003);
}

// Rounding to integer channels at the edges: NaN, infinities and huge values land on the ends of the range,
// unsigned channels truncate (v * max + 1/2) and signed ones floor it.
TEST(PixelCodec, RoundingClampsOutOfRangeAndNonFiniteValues) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case {
        D3DFORMAT format;  // four 8-bit channels
        float value;
        int expected;  // every channel
    } cases[] = {
        {D3DFMT_A8R8G8B8, nan, 0},      {D3DFMT_A8R8G8B8, inf, 255},     {D3DFMT_A8R8G8B8, -inf, 0},
        {D3DFMT_A8R8G8B8, 1e30f, 255},  {D3DFMT_A8R8G8B8, -0.3f, 0},     {D3DFMT_A8R8G8B8, 0.5f, 128},
        {D3DFMT_A8R8G8B8, 1.0f, 255},   {D3DFMT_Q8W8V8U8, nan, -127},    {D3DFMT_Q8W8V8U8, inf, 127},
        {D3DFMT_Q8W8V8U8, -inf, -127},  {D3DFMT_Q8W8V8U8, -1e30f, -127}, {D3DFMT_Q8W8V8U8, -0.5f, -63},
        {D3DFMT_Q8W8V8U8, 0.3f, 38},    {D3DFMT_Q8W8V8U8, -0.3f, -38},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << ", value " << c.value);
        MemoryImage src(D3DFMT_A32B32G32R32F, 5, 1), dst(c.format, 5, 1);
        for (UINT x = 0; x < 5; ++x) src.SetPixelF(x, 0, {c.value, c.value, c.value, c.value});
        ASSERT_EQ(Blit(dst, src, D3DX_FILTER_NONE), S_OK);
        for (std::size_t i = 0; i < 20; ++i) {
            const int got = c.format == D3DFMT_Q8W8V8U8 ? static_cast<signed char>(dst.bytes[i]) : dst.bytes[i];
            ASSERT_EQ(got, c.expected) << "byte " << i;
        }
    }

    // The palette encoder rounds the same way: NaN is black with alpha 0, so the black entry is chosen.
    PALETTEENTRY palette[256];
    for (PALETTEENTRY& e : palette) e = {255, 255, 255, 255};
    palette[3] = {0, 0, 0, 255};
    MemoryImage src(D3DFMT_A32B32G32R32F, 3, 1), dst(D3DFMT_A8P8, 3, 1);
    dst.palette = palette;
    for (UINT x = 0; x < 3; ++x) src.SetPixelF(x, 0, {nan, nan, nan, nan});
    ASSERT_EQ(Blit(dst, src, D3DX_FILTER_NONE), S_OK);
    EXPECT_EQ(dst.Pixels(), (std::vector<BYTE>{3, 0, 3, 0, 3, 0}));
}

TEST(PixelCodec, SrgbCurveAndTheBothSidesPair) {
    float previous = -1;
    for (int i = 0; i <= 255; ++i) {
        const float v = i / 255.0f;
        const float linear = SrgbToLinear(v);
        EXPECT_GT(linear, previous);
        previous = linear;
        const double exact = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        EXPECT_NEAR(linear, exact, 0.002) << i;
        if (i >= 26) {  // the table is coarse near black
            EXPECT_NEAR(LinearToSrgb(linear), v, 0.5f / 255) << i;
        }
    }
    EXPECT_NEAR(SrgbToLinear(0.5f), 0.214f, 0.002f);

    // sRGB in only: the source is linearised. Both sides: nothing changes for a transfer that filters.
    MemoryImage src(D3DFMT_A8R8G8B8, 2, 2), in(D3DFMT_A8R8G8B8, 2, 2), both(D3DFMT_A8R8G8B8, 1, 1);
    for (UINT y = 0; y < 2; ++y)
        for (UINT x = 0; x < 2; ++x) src.SetPixel32(x, y, 0xFF808080);
    ASSERT_EQ(Blit(in, src, D3DX_FILTER_NONE | D3DX_FILTER_SRGB_IN), S_OK);
    EXPECT_EQ(in.Pixel32(0, 0), 0xFF373737u);
    ASSERT_EQ(Blit(both, src, D3DX_FILTER_BOX | D3DX_FILTER_SRGB), S_OK);
    EXPECT_EQ(both.Pixel32(0, 0), 0xFF808080u);
}

}  // namespace
