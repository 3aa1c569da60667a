// PNG fixtures are written by libpng's own encoder, so each case is a file as another program would write it.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cmath>

#include "ReadersFixtures.h"

using namespace readers_test;

namespace {

struct PngSpec {
    std::uint32_t width = 2, height = 2;
    int colourType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    Bytes samples;  // rows packed as PNG stores them (big-endian 16-bit samples, bits packed high first)
    std::vector<png_color> palette;
    Bytes paletteAlpha;              // tRNS for palettes
    bool transparentColour = false;  // tRNS for grey / RGB
    png_color_16 transparent = {};
    double gamma = 0.0;  // gAMA when non-zero
    bool srgb = false;
    bool interlaced = false;
};

void AppendToBytes(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

Bytes WritePng(const PngSpec& s) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the fixture";
        return {};
    }
    png_set_write_fn(png, &out, AppendToBytes, nullptr);
    png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colourType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
    if (!s.paletteAlpha.empty())
        png_set_tRNS(png, info, s.paletteAlpha.data(), static_cast<int>(s.paletteAlpha.size()), nullptr);
    if (s.transparentColour) png_set_tRNS(png, info, nullptr, 0, &s.transparent);
    if (s.gamma > 0.0) png_set_gAMA(png, info, s.gamma);
    if (s.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(s.height);
    for (std::uint32_t y = 0; y < s.height; ++y) rows[y] = const_cast<BYTE*>(s.samples.data()) + y * rowBytes;
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST(ReadPng, EachColourTypeAndDepthGetsItsFormatAndLayout) {
    struct Case {
        const char* name;
        int colourType, bitDepth;
        Bytes samples;  // 2 x 1 image
        D3DFORMAT format;
        UINT rowPitch;
        Bytes firstBytes;  // the decoded row's first bytes
    } cases[] = {
        {"grey 8", PNG_COLOR_TYPE_GRAY, 8, {10, 200}, D3DFMT_L8, 2, {10, 200}},
        {"grey 1", PNG_COLOR_TYPE_GRAY, 1, {0b10000000}, D3DFMT_L8, 2, {255, 0}},
        {"grey 4", PNG_COLOR_TYPE_GRAY, 4, {0xF1}, D3DFMT_L8, 2, {255, 17}},
        {"grey 16", PNG_COLOR_TYPE_GRAY, 16, {0x12, 0x34, 0xAB, 0xCD}, D3DFMT_L16, 4, {0x34, 0x12, 0xCD, 0xAB}},
        {"RGB 8", PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6}, D3DFMT_X8R8G8B8, 8, {3, 2, 1, 255, 6, 5, 4, 255}},
        {"RGB 16", PNG_COLOR_TYPE_RGB, 16, {0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6}, D3DFMT_INTERNAL_R16, 12,
         {3, 0, 2, 0, 1, 0, 6, 0}},
        {"grey+alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, {7, 8, 9, 10}, D3DFMT_A8L8, 4, {7, 8, 9, 10}},
        {"grey+alpha 16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, {1, 2, 3, 4, 5, 6, 7, 8}, D3DFMT_INTERNAL_AL16, 8,
         {2, 1, 4, 3}},
        {"RGBA 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, {1, 2, 3, 4, 5, 6, 7, 8}, D3DFMT_A8R8G8B8, 8, {3, 2, 1, 4}},
        {"RGBA 16", PNG_COLOR_TYPE_RGB_ALPHA, 16, {0, 1, 0, 2, 0, 3, 0, 4, 1, 0, 2, 0, 3, 0, 4, 0},
         D3DFMT_A16B16G16R16, 16, {1, 0, 2, 0, 3, 0, 4, 0, 0, 1, 0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PngSpec s;
        s.width = 2, s.height = 1, s.colourType = c.colourType, s.bitDepth = c.bitDepth, s.samples = c.samples;
        DecodedImage img;
        ASSERT_EQ(ReadWith(ReadPng, img, WritePng(s)), S_OK);
        EXPECT_EQ(img.format, c.format);
        EXPECT_EQ(img.rowPitch, c.rowPitch);
        EXPECT_EQ(Bytes(img.pixels, img.pixels + c.firstBytes.size()), c.firstBytes);
    }
}

TEST(ReadPng, TransparentColourBecomesAlphaZeroExactlyThere) {
    PngSpec rgb;
    rgb.width = 2, rgb.height = 1;
    rgb.samples = {10, 20, 30, 10, 20, 31};
    rgb.transparentColour = true;
    rgb.transparent.red = 10, rgb.transparent.green = 20, rgb.transparent.blue = 30;
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadPng, img, WritePng(rgb)), S_OK);
    EXPECT_EQ(img.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(Pixel32(img, 0, 0), 0x000A141Eu);
    EXPECT_EQ(Pixel32(img, 1, 0), 0xFF0A141Fu);

    PngSpec grey;
    grey.width = 2, grey.height = 1, grey.colourType = PNG_COLOR_TYPE_GRAY;
    grey.samples = {5, 6};
    grey.transparentColour = true;
    grey.transparent.gray = 6;
    DecodedImage g;
    ASSERT_EQ(ReadWith(ReadPng, g, WritePng(grey)), S_OK);
    EXPECT_EQ(g.format, D3DFMT_A8L8);
    EXPECT_EQ(Bytes(g.pixels, g.pixels + 4), (Bytes{5, 255, 6, 0}));

    grey.bitDepth = 16;
    grey.samples = {0, 5, 0, 6};
    DecodedImage g16;
    ASSERT_EQ(ReadWith(ReadPng, g16, WritePng(grey)), S_OK);
    EXPECT_EQ(g16.format, D3DFMT_INTERNAL_AL16);
    EXPECT_EQ(Bytes(g16.pixels + 4, g16.pixels + 8), (Bytes{6, 0, 0, 0}));

    rgb.bitDepth = 16;
    rgb.samples = {0, 10, 0, 20, 0, 30, 0, 10, 0, 20, 0, 31};
    DecodedImage rgb16;
    ASSERT_EQ(ReadWith(ReadPng, rgb16, WritePng(rgb)), S_OK);
    EXPECT_EQ(rgb16.format, D3DFMT_A16B16G16R16);
    EXPECT_EQ(Bytes(rgb16.pixels, rgb16.pixels + 8), (Bytes{10, 0, 20, 0, 30, 0, 0, 0}));
}

TEST(ReadPng, PaletteTakesPlteThenTrnsAlphaThenOpaqueWhite) {
    PngSpec s;
    s.width = 4, s.height = 1, s.colourType = PNG_COLOR_TYPE_PALETTE, s.bitDepth = 2;
    s.samples = {0b00011011};
    s.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
    s.paletteAlpha = {0, 128};
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadPng, img, WritePng(s)), S_OK);
    EXPECT_EQ(img.format, D3DFMT_P8);
    EXPECT_EQ(Bytes(img.pixels, img.pixels + 4), (Bytes{0, 1, 2, 3}));
    ASSERT_NE(img.palette, nullptr);
    EXPECT_TRUE(img.ownsPalette);
    const PALETTEENTRY want[5] = {{1, 2, 3, 0}, {4, 5, 6, 128}, {7, 8, 9, 255}, {10, 11, 12, 255}, {255, 255, 255, 255}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(img.palette[i].peRed, want[i].peRed) << i;
        EXPECT_EQ(img.palette[i].peGreen, want[i].peGreen) << i;
        EXPECT_EQ(img.palette[i].peBlue, want[i].peBlue) << i;
        EXPECT_EQ(img.palette[i].peFlags, want[i].peFlags) << i;
    }
    EXPECT_EQ(img.palette[255].peRed, 255);
}

TEST(ReadPng, FileGammaIsCorrectedForAScreenOfTwoPointTwoOnce) {
    const int expected = static_cast<int>(std::pow(128.0 / 255.0, 1.0 / 2.2) * 255.0 + 0.5);  // file gamma 1.0

    PngSpec grey;
    grey.width = 1, grey.height = 1, grey.colourType = PNG_COLOR_TYPE_GRAY, grey.samples = {128};
    grey.gamma = 1.0;
    DecodedImage g;
    ASSERT_EQ(ReadWith(ReadPng, g, WritePng(grey)), S_OK);
    EXPECT_NEAR(g.pixels[0], expected, 1);

    PngSpec pal;
    pal.width = 1, pal.height = 1, pal.colourType = PNG_COLOR_TYPE_PALETTE, pal.samples = {0};
    pal.palette = {{128, 128, 128}};
    pal.gamma = 1.0;
    DecodedImage p;
    ASSERT_EQ(ReadWith(ReadPng, p, WritePng(pal)), S_OK);
    EXPECT_NEAR(p.palette[0].peRed, expected, 1);

    grey.gamma = 0.0;
    grey.srgb = true;  // sRGB files are taken as they are
    DecodedImage s;
    ASSERT_EQ(ReadWith(ReadPng, s, WritePng(grey)), S_OK);
    EXPECT_EQ(s.pixels[0], 128);
}

TEST(ReadPng, InterlacedFilesDecodeLikePlainOnes) {
    PngSpec s;
    s.width = 9, s.height = 7, s.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
    for (int i = 0; i < 9 * 7 * 4; ++i) s.samples.push_back(static_cast<BYTE>(i * 37));
    DecodedImage plain, laced;
    ASSERT_EQ(ReadWith(ReadPng, plain, WritePng(s)), S_OK);
    s.interlaced = true;
    ASSERT_EQ(ReadWith(ReadPng, laced, WritePng(s)), S_OK);
    EXPECT_EQ(Bytes(plain.pixels, plain.pixels + 9 * 7 * 4), Bytes(laced.pixels, laced.pixels + 9 * 7 * 4));
}

TEST(ReadPng, DamagedFilesFailCleanly) {
    PngSpec s;
    s.width = 16, s.height = 16;
    for (int i = 0; i < 16 * 16 * 3; ++i) s.samples.push_back(static_cast<BYTE>(i * 13));
    const Bytes good = WritePng(s);

    DecodedImage header;
    ASSERT_EQ(ReadWith(ReadPng, header, good, /*wantPixels=*/false), S_OK);
    EXPECT_EQ(header.width, 16u);
    EXPECT_EQ(header.pixels, nullptr);

    const Bytes truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    DecodedImage t;
    EXPECT_EQ(ReadWith(ReadPng, t, truncated), E_FAIL);

    Bytes corrupt = good;
    corrupt[good.size() / 2] ^= 0xFF;  // inside the image data: the checksum no longer matches
    DecodedImage c;
    EXPECT_EQ(ReadWith(ReadPng, c, corrupt), E_FAIL);

    Bytes signature = good;
    signature[1] = 'Q';
    DecodedImage sig;
    EXPECT_EQ(ReadWith(ReadPng, sig, signature), E_FAIL);

    const Bytes justSignature(good.begin(), good.begin() + 8);
    DecodedImage j;
    EXPECT_EQ(ReadWith(ReadPng, j, justSignature), E_FAIL);
}

// The same file made to declare 2000 x 2000: its few hundred bytes of image data cannot inflate to 12 MB of rows,
// so the read fails before allocating any pixels; the header alone still reads.
TEST(ReadPng, DeclaredSizeBeyondWhatTheDataCanHoldIsRefusedBeforeAllocating) {
    PngSpec s;
    s.width = 16, s.height = 16;
    for (int i = 0; i < 16 * 16 * 3; ++i) s.samples.push_back(static_cast<BYTE>(i * 13));
    Bytes file = WritePng(s);
    for (std::size_t at : {16u, 20u}) Set32(file, at, 0xD0070000u);  // 2000, big-endian
    const uLong crc = crc32(0, file.data() + 12, 17);               // chunk type and body of IHDR
    for (int i = 0; i < 4; ++i) file[29 + i] = static_cast<BYTE>(crc >> (24 - 8 * i));

    DecodedImage header;
    ASSERT_EQ(ReadWith(ReadPng, header, file, /*wantPixels=*/false), S_OK);
    EXPECT_EQ(header.width, 2000u);
    DecodedImage img;
    EXPECT_EQ(ReadWith(ReadPng, img, file), E_FAIL);
    EXPECT_EQ(img.pixels, nullptr);
}

// A header for one row of 2^28 16-bit RGBA pixels (2 GB once transformed) and no image data: the header alone
// describes it without libpng allocating its row buffers, and a full read is refused before they are allocated.
TEST(ReadPng, AHugeRowCostsNothingUntilTheDataCanHoldIt) {
    Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&file](const char* type, const Bytes& body) {
        for (int i = 3; i >= 0; --i) file.push_back(static_cast<BYTE>(body.size() >> (8 * i)));
        const std::size_t start = file.size();
        PutText(file, type);
        file.insert(file.end(), body.begin(), body.end());
        const uLong crc = crc32(0, file.data() + start, static_cast<uInt>(file.size() - start));
        for (int i = 3; i >= 0; --i) file.push_back(static_cast<BYTE>(crc >> (8 * i)));
    };
    chunk("IHDR", {0x10, 0, 0, 0, 0, 0, 0, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA, 0, 0, 0});
    chunk("IDAT", {});
    chunk("IEND", {});

    // libpng frees its row buffers before the read returns, so the peak is what shows them.
    const std::uint64_t before = PeakResidentBytes();
    DecodedImage header;
    ASSERT_EQ(ReadWith(ReadPng, header, file, /*wantPixels=*/false), S_OK);
    EXPECT_EQ(header.format, D3DFMT_A16B16G16R16);
    EXPECT_EQ(header.rowPitch, 0x80000000u);
    DecodedImage img;
    EXPECT_EQ(ReadWith(ReadPng, img, file), E_FAIL);
    EXPECT_LT(PeakResidentBytes(), before + (32u << 20));
}

TEST(ReadPng, SixteenBitGreyAndAlphaIsReportedAsA8L8ThroughTheTrial) {
    PngSpec s;
    s.width = 1, s.height = 1, s.colourType = PNG_COLOR_TYPE_GRAY_ALPHA, s.bitDepth = 16, s.samples = {1, 2, 3, 4};
    const Bytes file = WritePng(s);
    DecodedImage img;
    D3DXIMAGE_INFO info;
    ASSERT_EQ(ReadImage(img, file.data(), static_cast<UINT>(file.size()), &info, true), S_OK);
    EXPECT_EQ(info.Format, D3DFMT_A8L8);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
    EXPECT_EQ(img.format, D3DFMT_INTERNAL_AL16);
}

}  // namespace
