#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "ReadersFixtures.h"

using namespace readers_test;

namespace {

Bytes Header(const std::string& lines, const std::string& resolution) {
    Bytes b;
    PutText(b, "#?RADIANCE\n" + lines + "\n" + resolution + "\n");
    return b;
}

const std::string kFormat = "FORMAT=32-bit_rle_rgbe\n";

float Expected(int c, int e, float exposure = 1.0f) {
    return static_cast<float>(std::ldexp(c + 0.5, e - 136) / exposure);
}

TEST(ReadHdr, FlatScanlinesBecomeFloats) {
    Bytes f = Header("# made by a test\n" + kFormat, "-Y 2 +X 2");
    const BYTE px[4][4] = {{128, 64, 0, 129}, {10, 20, 30, 136}, {1, 2, 3, 140}, {255, 255, 255, 128}};
    for (const auto& p : px) f.insert(f.end(), p, p + 4);
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadHdr, img, f), S_OK);
    EXPECT_EQ(img.format, D3DFMT_A32B32G32R32F);
    EXPECT_EQ(img.rowPitch, 32u);
    EXPECT_TRUE(img.ownsPixels);
    for (int i = 0; i < 4; ++i) {
        const float* p = PixelF4(img, i % 2, i / 2);
        EXPECT_FLOAT_EQ(p[0], Expected(px[i][0], px[i][3])) << i;
        EXPECT_FLOAT_EQ(p[1], Expected(px[i][1], px[i][3])) << i;
        EXPECT_FLOAT_EQ(p[2], Expected(px[i][2], px[i][3])) << i;
        EXPECT_EQ(p[3], 1.0f);
    }
}

TEST(ReadHdr, ExposuresMultiplyAndDivideEveryChannel) {
    Bytes f = Header(kFormat + "EXPOSURE= 2.0\nEXPOSURE=\t+2.0\n", "-Y 1 +X 1");
    const BYTE p[4] = {100, 50, 25, 130};
    f.insert(f.end(), p, p + 4);
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadHdr, img, f), S_OK);
    EXPECT_FLOAT_EQ(PixelF4(img, 0, 0)[0], Expected(100, 130, 4.0f));
    EXPECT_FLOAT_EQ(PixelF4(img, 0, 0)[2], Expected(25, 130, 4.0f));
}

TEST(ReadHdr, DecimalPointParsesTheSameUnderACommaLocale) {
    const char* locales[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "C.UTF-8"};
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* name : locales)
        if (std::setlocale(LC_NUMERIC, name)) break;
    Bytes f = Header(kFormat + "EXPOSURE=2.5\n", "-Y 1 +X 1");
    const BYTE p[4] = {100, 50, 25, 130};
    f.insert(f.end(), p, p + 4);
    DecodedImage img;
    const HRESULT hr = ReadWith(ReadHdr, img, f);
    std::setlocale(LC_NUMERIC, before.c_str());
    ASSERT_EQ(hr, S_OK);
    EXPECT_FLOAT_EQ(PixelF4(img, 0, 0)[0], Expected(100, 130, 2.5f));
}

TEST(ReadHdr, ConsecutiveRepeatGroupsGrowByAByteEach) {
    Bytes f = Header(kFormat, "-Y 1 +X 258");
    const BYTE first[4] = {7, 8, 9, 128}, repeat[4] = {1, 1, 1, 1};
    f.insert(f.end(), first, first + 4);
    f.insert(f.end(), repeat, repeat + 4);  // once
    f.insert(f.end(), repeat, repeat + 4);  // then 1 << 8 = 256 times
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadHdr, img, f), S_OK);
    for (UINT x = 0; x < 258; ++x) ASSERT_FLOAT_EQ(PixelF4(img, x, 0)[0], Expected(7, 128)) << x;

    Bytes over = Header(kFormat, "-Y 1 +X 257");  // the same groups overrun a shorter scanline
    over.insert(over.end(), f.end() - 12, f.end());
    DecodedImage bad;
    EXPECT_EQ(ReadWith(ReadHdr, bad, over), E_FAIL);
}

// One adaptive run-length scanline of `width` pixels: red as one run, green as literals, blue and exponent as
// runs split in two packets.
Bytes RleScanline(std::uint32_t width) {
    Bytes s = {2, 2, static_cast<BYTE>(width >> 8), static_cast<BYTE>(width)};
    s.push_back(static_cast<BYTE>(128 + width));
    s.push_back(200);
    s.push_back(static_cast<BYTE>(width));
    for (std::uint32_t i = 0; i < width; ++i) s.push_back(static_cast<BYTE>(i * 10));
    for (BYTE v : {BYTE{30}, BYTE{131}}) {
        s.push_back(static_cast<BYTE>(128 + width / 2));
        s.push_back(v);
        s.push_back(static_cast<BYTE>(128 + width - width / 2));
        s.push_back(v);
    }
    return s;
}

TEST(ReadHdr, AdaptiveRunLengthScanlines) {
    Bytes f = Header(kFormat, "-Y 2 +X 9");
    for (int row = 0; row < 2; ++row) {
        Bytes s = RleScanline(9);
        f.insert(f.end(), s.begin(), s.end());
    }
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadHdr, img, f), S_OK);
    for (UINT x = 0; x < 9; ++x) {
        const float* p = PixelF4(img, x, 1);
        EXPECT_FLOAT_EQ(p[0], Expected(200, 131));
        EXPECT_FLOAT_EQ(p[1], Expected(static_cast<int>(x * 10), 131));
        EXPECT_FLOAT_EQ(p[2], Expected(30, 131));
    }
}

TEST(ReadHdr, DamagedRunLengthDataIsRejected) {
    struct Case {
        const char* name;
        void (*change)(Bytes& scanline);
    } cases[] = {
        {"run past the scanline", [](Bytes& s) { s[4] = 128 + 10; }},
        {"literal past the scanline", [](Bytes& s) { s[6] = 10; }},
        {"declared length differs", [](Bytes& s) { s[3] = 10; }},
        {"data ends inside a plane", [](Bytes& s) { s.resize(s.size() - 2); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes f = Header(kFormat, "-Y 1 +X 9");
        Bytes s = RleScanline(9);
        c.change(s);
        f.insert(f.end(), s.begin(), s.end());
        DecodedImage img;
        EXPECT_EQ(ReadWith(ReadHdr, img, f), E_FAIL);
        EXPECT_EQ(img.pixels, nullptr);  // what was allocated is already freed
    }
}

TEST(ReadHdr, ResolutionLineOrientations) {
    // Pixels numbered 0..5 in file order, red = number; where each lands as (x, y) in a 3 x 2 picture.
    struct Case {
        const char* line;
        int where[6][2];
    } cases[] = {
        {"-Y 2 +X 3", {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}}},
        {"+Y 2 +X 3", {{0, 1}, {1, 1}, {2, 1}, {0, 0}, {1, 0}, {2, 0}}},
        {"-Y 2 -X 3", {{2, 0}, {1, 0}, {0, 0}, {2, 1}, {1, 1}, {0, 1}}},
        {"+X 3 -Y 2", {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}}},
        {"-X 3 +Y 2", {{2, 1}, {2, 0}, {1, 1}, {1, 0}, {0, 1}, {0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Bytes f = Header(kFormat, c.line);
        for (int i = 0; i < 6; ++i) {
            const BYTE p[4] = {static_cast<BYTE>(10 * i), 0, 0, 136};
            f.insert(f.end(), p, p + 4);
        }
        DecodedImage img;
        ASSERT_EQ(ReadWith(ReadHdr, img, f), S_OK);
        EXPECT_EQ(img.width, 3u);
        EXPECT_EQ(img.height, 2u);
        for (int i = 0; i < 6; ++i)
            EXPECT_FLOAT_EQ(PixelF4(img, c.where[i][0], c.where[i][1])[0], Expected(10 * i, 136)) << i;
    }
}

TEST(ReadHdr, MalformedHeadersAreRejected) {
    const BYTE px[4] = {1, 2, 3, 128};
    struct Case {
        const char* name;
        std::string lines, resolution;
        HRESULT expected = E_FAIL;  // sizes over the image limits are refused as invalid data
    } cases[] = {
        {"no FORMAT line", "# nothing\n", "-Y 1 +X 1"},
        {"unknown FORMAT", "FORMAT=32-bit_rle_abcd\n", "-Y 1 +X 1"},
        {"word after the exposure", kFormat + "EXPOSURE=2.0 bright\n", "-Y 1 +X 1"},
        {"two signs on the exposure", kFormat + "EXPOSURE=+-2.0\n", "-Y 1 +X 1"},
        {"zero exposure", kFormat + "EXPOSURE=0\n", "-Y 1 +X 1"},
        {"two Y axes", kFormat, "-Y 1 +Y 1"},
        {"no sign", kFormat, "Y 1 +X 1"},
        {"zero width", kFormat, "-Y 1 +X 0"},
        {"trailing word", kFormat, "-Y 1 +X 1 more"},
        {"absurd size", kFormat, "-Y 4000000000 +X 4000000000", D3DXERR_INVALIDDATA},
        {"more scanlines than the data holds", kFormat, "-Y 100 +X 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes f = Header(c.lines, c.resolution);
        f.insert(f.end(), px, px + 4);
        DecodedImage img;
        EXPECT_EQ(ReadWith(ReadHdr, img, f), c.expected);
    }
    Bytes noEnd;
    PutText(noEnd, "#?RADIANCE\n" + kFormat);
    DecodedImage img;
    EXPECT_EQ(ReadWith(ReadHdr, img, noEnd), E_FAIL);
}

}  // namespace
