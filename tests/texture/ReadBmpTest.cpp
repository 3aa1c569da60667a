#include <gtest/gtest.h>

#include "ReadersFixtures.h"

using namespace readers_test;

namespace {

struct Dib {
    std::int32_t width = 2, height = 2;
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;
    std::uint32_t coloursUsed = 0;
    std::uint32_t masks[4] = {};
    std::vector<std::uint32_t> table;  // colour-table entries as 0xRRGGBB
    Bytes pixels;                      // pixel data as stored
};

Bytes MakeDib(const Dib& d) {
    Bytes b;
    Put32(b, d.headerSize);
    if (d.headerSize == 12) {
        Put16(b, static_cast<std::uint32_t>(d.width));
        Put16(b, static_cast<std::uint32_t>(d.height));
        Put16(b, 1);
        Put16(b, d.bits);
    } else {
        Put32(b, static_cast<std::uint32_t>(d.width));
        Put32(b, static_cast<std::uint32_t>(d.height));
        Put16(b, 1);
        Put16(b, d.bits);
        Put32(b, d.compression);
        Put32(b, 0);  // image size
        Put32(b, 2835);
        Put32(b, 2835);
        Put32(b, d.coloursUsed);
        Put32(b, 0);  // important colours
        for (int i = 0; i < 4 && b.size() < d.headerSize; ++i) Put32(b, d.masks[i]);
        b.resize(d.headerSize, 0);
    }
    for (std::uint32_t c : d.table) {
        b.push_back(static_cast<BYTE>(c));
        b.push_back(static_cast<BYTE>(c >> 8));
        b.push_back(static_cast<BYTE>(c >> 16));
        if (d.headerSize != 12) b.push_back(0);
    }
    b.insert(b.end(), d.pixels.begin(), d.pixels.end());
    return b;
}

Bytes MakeBmp(const Dib& d, std::uint32_t offsetField = 0) {
    Bytes dib = MakeDib(d);
    Bytes b = {'B', 'M'};
    Put32(b, static_cast<std::uint32_t>(14 + dib.size()));
    Put32(b, 0);
    Put32(b, offsetField ? offsetField : 14 + d.headerSize);
    b.insert(b.end(), dib.begin(), dib.end());
    return b;
}

// Rows of `bytesPerRow` bytes each padded to 4, from a flat list of row bytes.
Bytes Padded(const Bytes& flat, std::size_t bytesPerRow) {
    Bytes out;
    for (std::size_t i = 0; i < flat.size(); i += bytesPerRow) {
        out.insert(out.end(), flat.begin() + i, flat.begin() + i + bytesPerRow);
        while (out.size() % 4) out.push_back(0);
    }
    return out;
}

TEST(ReadBmp, BottomUp24BitIsFlippedIntoItsOwnBufferTopDownIsUsedInPlace) {
    Dib d;
    d.width = 2;
    d.height = 2;
    // File rows: first stored row (bottom of the picture) blue then green; second row red then white.
    d.pixels = Padded({255, 0, 0, 0, 255, 0, /**/ 0, 0, 255, 255, 255, 255}, 6);
    const Bytes file = MakeBmp(d);

    DecodedImage up;
    ASSERT_EQ(ReadWith(ReadBmp, up, file), S_OK);
    EXPECT_EQ(up.format, D3DFMT_R8G8B8);
    EXPECT_EQ(up.rowPitch, 8u);
    EXPECT_TRUE(up.ownsPixels);
    EXPECT_EQ(up.pixels[0], 0);  // top row is the file's last row: red (B, G, R = 0, 0, 255)
    EXPECT_EQ(up.pixels[2], 255);
    EXPECT_EQ(up.pixels[8], 255);  // bottom row starts with blue
    EXPECT_EQ(up.pixels[10], 0);

    d.height = -2;
    const Bytes topDown = MakeBmp(d);
    DecodedImage down;
    ASSERT_EQ(ReadWith(ReadBmp, down, topDown), S_OK);
    EXPECT_FALSE(down.ownsPixels);
    EXPECT_EQ(down.pixels, topDown.data() + 14 + 40);
    EXPECT_EQ(down.height, 2u);
    EXPECT_EQ(down.pixels[0], 255);  // first file row on top: blue
}

TEST(ReadBmp, ThirtyTwoBitHasAlphaOnlyWhenSomeFourthByteIsSet) {
    Dib d;
    d.bits = 32;
    d.height = -2;
    d.pixels = Bytes(16, 0x40);
    for (int i = 0; i < 4; ++i) d.pixels[i * 4 + 3] = 0;
    DecodedImage x;
    ASSERT_EQ(ReadWith(ReadBmp, x, MakeBmp(d)), S_OK);
    EXPECT_EQ(x.format, D3DFMT_X8R8G8B8);

    d.pixels[15] = 1;
    DecodedImage a;
    ASSERT_EQ(ReadWith(ReadBmp, a, MakeBmp(d)), S_OK);
    EXPECT_EQ(a.format, D3DFMT_A8R8G8B8);
}

TEST(ReadBmp, PaletteHasTheUsedColoursThenOpaqueWhite) {
    Dib d;
    d.bits = 8;
    d.coloursUsed = 16;
    for (std::uint32_t i = 0; i < 16; ++i) d.table.push_back(i * 0x010203);
    d.pixels = Padded({0, 15, 3, 4}, 2);
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadBmp, img, MakeBmp(d)), S_OK);
    EXPECT_EQ(img.format, D3DFMT_P8);
    ASSERT_NE(img.palette, nullptr);
    EXPECT_EQ(img.palette[15].peRed, 15 * 1);
    EXPECT_EQ(img.palette[15].peGreen, 15 * 2);
    EXPECT_EQ(img.palette[15].peBlue, 15 * 3);
    EXPECT_EQ(img.palette[15].peFlags, 255);
    for (int i = 16; i < 256; ++i) {
        const PALETTEENTRY& e = img.palette[i];
        ASSERT_TRUE(e.peRed == 255 && e.peGreen == 255 && e.peBlue == 255 && e.peFlags == 255) << i;
    }
    EXPECT_EQ(img.pixels[0], 3);  // bottom-up: the second stored row is on top
    EXPECT_EQ(img.pixels[img.rowPitch + 1], 15);
}

TEST(ReadBmp, MoreThan256ColoursStoresOnlyTheFirst256AndFindsPixelsAfterTheWholeTable) {
    Dib d;
    d.bits = 8;
    d.width = 1;
    d.height = 1;
    d.coloursUsed = 300;
    for (std::uint32_t i = 0; i < 300; ++i) d.table.push_back(i < 256 ? i : 0xABCDEF);
    d.pixels = {255, 0, 0, 0};
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadBmp, img, MakeBmp(d)), S_OK);
    EXPECT_EQ(img.palette[255].peBlue, 255);
    EXPECT_EQ(img.palette[255].peGreen, 0);
    EXPECT_EQ(img.pixels[0], 255);
}

TEST(ReadBmp, PixelDataFollowsTheColourTableWhateverTheOffsetFieldSays) {
    Dib d;
    d.bits = 8;
    d.width = 1;
    d.height = 1;
    d.coloursUsed = 2;
    d.table = {0, 0xFFFFFF};
    d.pixels = {1, 0, 0, 0};
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadBmp, img, MakeBmp(d, /*offsetField=*/9999)), S_OK);
    EXPECT_EQ(img.pixels[0], 1);
}

TEST(ReadBmp, OneAndFourBitIndicesUnpackToBytes) {
    Dib one;
    one.bits = 1;
    one.width = 10;
    one.height = -1;
    one.coloursUsed = 2;
    one.table = {0, 0xFFFFFF};
    one.pixels = {0b10110000, 0b01000000, 0, 0};
    DecodedImage a;
    ASSERT_EQ(ReadWith(ReadBmp, a, MakeBmp(one)), S_OK);
    EXPECT_EQ(a.rowPitch, 12u);
    const BYTE want1[10] = {1, 0, 1, 1, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(a.pixels, want1, 10), 0);

    Dib four;
    four.bits = 4;
    four.coloursUsed = 1;
    four.table = {0};
    four.width = 3;
    four.height = -1;
    four.pixels = {0x1F, 0x70, 0, 0};
    DecodedImage b;
    ASSERT_EQ(ReadWith(ReadBmp, b, MakeBmp(four)), S_OK);
    const BYTE want4[3] = {1, 15, 7};
    EXPECT_EQ(std::memcmp(b.pixels, want4, 3), 0);
}

TEST(ReadBmp, BitFieldMasksChooseTheMatchingFormat) {
    struct Case {
        std::uint16_t bits;
        std::uint32_t r, g, b, a;
        D3DFORMAT want;
    } cases[] = {
        {16, 0xE0, 0x1C, 0x3, 0xFF00, D3DFMT_A8R3G3B2},
        {16, 0xF00, 0xF0, 0xF, 0xF000, D3DFMT_A4R4G4B4},
        {16, 0xF00, 0xF0, 0xF, 0, D3DFMT_X4R4G4B4},
        {16, 0xF800, 0x7E0, 0x1F, 0, D3DFMT_R5G6B5},
        {16, 0x7C00, 0x3E0, 0x1F, 0, D3DFMT_X1R5G5B5},
        {16, 0x7C00, 0x3E0, 0x1F, 0x8000, D3DFMT_A1R5G5B5},
        {16, 0xFF, 0xFF, 0xFF, 0xFF00, D3DFMT_A8L8},
        {16, 0xFFFF, 0xFFFF, 0xFFFF, 0, D3DFMT_L16},
        {24, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_R8G8B8},
        {32, 0xFFFF, 0xFFFF0000, 0, 0, D3DFMT_G16R16},
        {32, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_X8R8G8B8},
        {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, D3DFMT_A8R8G8B8},
        {32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, D3DFMT_A2R10G10B10},
        {32, 0xFF000000, 0xFF0000, 0xFF00, 0, D3DFMT_X8R8G8B8},
        {32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, D3DFMT_A8B8G8R8},
        {32, 0xFF, 0xFF00, 0xFF0000, 0, D3DFMT_X8B8G8R8},
        {32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, D3DFMT_A2B10G10R10},
        {16, 0x7C00, 0x3E0, 0x1F, 0x1, D3DFMT_A32B32G32R32F},
        {32, 0xFF, 0, 0, 0, D3DFMT_A32B32G32R32F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "masks " << std::hex << c.r << " " << c.g << " " << c.b << " " << c.a);
        Dib d;
        d.bits = c.bits;
        d.compression = 3;
        d.headerSize = 56;
        d.masks[0] = c.r, d.masks[1] = c.g, d.masks[2] = c.b, d.masks[3] = c.a;
        d.pixels = Bytes(2 * ((c.bits / 8 * 2 + 3) & ~3), 0);
        DecodedImage img;
        ASSERT_EQ(ReadWith(ReadBmp, img, MakeBmp(d)), S_OK);
        EXPECT_EQ(img.format, c.want);
    }
}

TEST(ReadBmp, ByteShiftedXrgbReadsEachPixelOneByteLaterWithoutPassingTheData) {
    Dib d;
    d.bits = 32;
    d.width = 1;
    d.height = -1;
    d.compression = 3;
    d.headerSize = 52;
    d.masks[0] = 0xFF000000, d.masks[1] = 0xFF0000, d.masks[2] = 0xFF00;
    d.pixels = {0x99, 0x11, 0x22, 0x33};  // X, B, G, R: the file ends right after the pixel
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadBmp, img, MakeBmp(d)), S_OK);
    EXPECT_EQ(img.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(Pixel32(img, 0, 0) & 0xFFFFFF, 0x332211u);
}

TEST(ReadBmp, GenericMasksDecodeToFloats) {
    Dib d;
    d.bits = 16;
    d.width = 1;
    d.height = 1;
    d.compression = 3;
    d.headerSize = 56;
    // 6-bit red at the top, 10 bits of green below it, no blue or alpha mask.
    d.masks[0] = 0xFC00, d.masks[1] = 0x3FF;
    d.pixels = {0xFF, 0x83, 0, 0};  // 0x83FF: red 32 of 63, green 1023 of 1023
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadBmp, img, MakeBmp(d)), S_OK);
    ASSERT_EQ(img.format, D3DFMT_A32B32G32R32F);
    const float* p = PixelF4(img, 0, 0);
    EXPECT_FLOAT_EQ(p[0], 32.0f / 63.0f);
    EXPECT_FLOAT_EQ(p[1], 1.0f);
    EXPECT_FLOAT_EQ(p[2], 1.0f);  // missing mask reads as full
    EXPECT_FLOAT_EQ(p[3], 1.0f);
}

TEST(ReadBmp, CoreHeaderDibWithThreeByteColourEntries) {
    Dib d;
    d.headerSize = 12;
    d.bits = 8;
    d.width = 1;
    d.height = 1;
    for (std::uint32_t i = 0; i < 256; ++i) d.table.push_back(i == 7 ? 0x102030 : 0);
    d.pixels = {7, 0, 0, 0};
    DecodedImage img;
    const Bytes dib = MakeDib(d);
    ASSERT_EQ(ReadWith(ReadDib, img, dib), S_OK);
    EXPECT_EQ(img.palette[7].peRed, 0x10);
    EXPECT_EQ(img.palette[7].peGreen, 0x20);
    EXPECT_EQ(img.palette[7].peBlue, 0x30);
    EXPECT_EQ(img.pixels[0], 7);
}

TEST(ReadBmp, RunLengthEightDecodesRunsLiteralsMovesAndEnds) {
    Dib d;
    d.bits = 8;
    d.width = 6;
    d.height = 3;  // bottom-up: the first decoded line is the bottom row
    d.compression = 1;
    d.coloursUsed = 1;
    d.table = {0};
    d.pixels = {
        3, 9,             // run of three 9s
        0, 3, 1, 2, 3, 0, // literal 1 2 3, padded to an even count
        0, 0,             // end of line
        0, 2, 2, 1,       // move two right and one row on
        2, 5,             // run of two 5s at x = 2 of the top row
        0, 1,             // end of image
    };
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadBmp, img, MakeBmp(d)), S_OK);
    const BYTE bottom[6] = {9, 9, 9, 1, 2, 3};
    const BYTE middle[6] = {0, 0, 0, 0, 0, 0};
    const BYTE top[6] = {0, 0, 5, 5, 0, 0};
    EXPECT_EQ(std::memcmp(img.pixels + 2 * img.rowPitch, bottom, 6), 0);
    EXPECT_EQ(std::memcmp(img.pixels + 1 * img.rowPitch, middle, 6), 0);
    EXPECT_EQ(std::memcmp(img.pixels, top, 6), 0);
}

TEST(ReadBmp, RunLengthFourAlternatesNibbles) {
    Dib d;
    d.bits = 4;
    d.width = 5;
    d.height = -1;
    d.compression = 2;
    d.coloursUsed = 1;
    d.table = {0};
    d.pixels = {3, 0x12, 0, 0, 0, 1};  // run 1 2 1; end of line; end of image
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadBmp, img, MakeBmp(d)), S_OK);
    const BYTE want[5] = {1, 2, 1, 0, 0};
    EXPECT_EQ(std::memcmp(img.pixels, want, 5), 0);

    d.pixels = {0, 3, 0xAB, 0xC0, 0, 1};  // literal of three nibbles A B C
    DecodedImage lit;
    ASSERT_EQ(ReadWith(ReadBmp, lit, MakeBmp(d)), S_OK);
    const BYTE wantLit[5] = {10, 11, 12, 0, 0};
    EXPECT_EQ(std::memcmp(lit.pixels, wantLit, 5), 0);
}

// Some writers run a row's last run or literal into the row's padding (up to the 4-byte stored row): accepted, with
// the pixels past the width dropped; one byte further is still refused.
TEST(ReadBmp, RunLengthIntoTheRowPaddingIsAcceptedAndDroppedPastTheWidth) {
    struct Case {
        const char* name;
        std::uint16_t bits;
        std::int32_t width;
        Bytes data;
        HRESULT want;
        Bytes row;  // the decoded top row when accepted
    } const cases[] = {
        {"RLE8 run to the stride", 8, 3, {4, 9, 0, 1}, S_OK, {9, 9, 9}},
        {"RLE8 literal to the stride", 8, 3, {0, 4, 1, 2, 3, 4, 0, 1}, S_OK, {1, 2, 3}},
        {"RLE8 run past the stride", 8, 3, {5, 9, 0, 1}, E_FAIL, {}},
        {"RLE8 move into the padding, then a pixel there", 8, 3, {0, 2, 3, 0, 1, 9, 0, 1}, S_OK, {0, 0, 0}},
        {"RLE4 run to the stride", 4, 5, {8, 0x12, 0, 1}, S_OK, {1, 2, 1, 2, 1}},
        {"RLE4 literal to the stride", 4, 5, {0, 8, 0x12, 0x34, 0x56, 0x78, 0, 1}, S_OK, {1, 2, 3, 4, 5}},
        {"RLE4 run past the stride", 4, 5, {9, 0x12, 0, 1}, E_FAIL, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dib d;
        d.bits = c.bits;
        d.width = c.width;
        d.height = -1;
        d.compression = c.bits == 8 ? 1 : 2;
        d.coloursUsed = 1;
        d.table = {0};
        d.pixels = c.data;
        DecodedImage img;
        ASSERT_EQ(ReadWith(ReadBmp, img, MakeBmp(d)), c.want);
        if (c.want == S_OK) {
            EXPECT_EQ(Bytes(img.pixels, img.pixels + c.width), c.row);
        }
    }
}

TEST(ReadBmp, RunLengthThatLeavesTheImageOrTheDataFails) {
    struct Case {
        const char* name;
        Bytes data;
        HRESULT want;
    } cases[] = {
        {"run past the row", {5, 1, 0, 1}, E_FAIL},
        {"literal past the row", {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}, E_FAIL},
        {"move past the row, nothing written there", {0, 2, 5, 0, 0, 1}, S_OK},
        {"move past the row, then a pixel", {0, 2, 5, 0, 1, 1, 0, 1}, E_FAIL},
        {"move past the row, then the next line", {0, 2, 9, 0, 0, 0, 4, 1, 0, 1}, S_OK},
        {"literal past the data", {0, 4, 1, 2}, E_FAIL},
        {"no end of image", {2, 1}, E_FAIL},
        {"move below the last row ends the image", {0, 2, 0, 9}, S_OK},
        {"line ends run out the rows", {0, 0, 0, 0}, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dib d;
        d.bits = 8;
        d.width = 4;
        d.height = 2;
        d.compression = 1;
        d.coloursUsed = 1;
        d.table = {0};
        d.pixels = c.data;
        DecodedImage img;
        EXPECT_EQ(ReadWith(ReadBmp, img, MakeBmp(d)), c.want);
    }
}

// A run-length bitmap of 16384 x 16384 (256 MB of indices) in a few bytes: whether it ends early, only moves, or
// ends the image at once, the read costs memory for the rows it writes, not for the size it declares. (The
// pixels-per-byte limit would refuse these files first; it is off here so that the decoder itself is measured.)
TEST(ReadBmp, RunLengthCostsWhatTheDataHoldsNotWhatTheHeaderDeclares) {
    ImageLimits noRatio = CurrentImageLimits();
    noRatio.maxRatio = 0;
    const ScopedLimits limits(noRatio);
    struct Case {
        const char* name;
        Bytes data;
        HRESULT want;
    } const cases[] = {
        {"a run, then the data ends", {255, 7, 255, 7}, E_FAIL},
        {"moves only, then the data ends", {0, 2, 255, 255, 0, 2, 255, 255, 0, 2, 0, 255}, E_FAIL},
        {"a run, then the end of the image", {255, 7, 0, 1}, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dib d;
        d.bits = 8;
        d.width = 16384;
        d.height = -16384;
        d.compression = 1;
        d.coloursUsed = 1;
        d.table = {0};
        d.pixels = c.data;
        const Bytes file = MakeBmp(d);
        const std::uint64_t before = ResidentBytes();
        DecodedImage img;
        EXPECT_EQ(ReadWith(ReadBmp, img, file), c.want);
        EXPECT_LT(ResidentBytes(), before + (32u << 20));  // the record still holds whatever it allocated
        if (c.want == S_OK) {
            EXPECT_EQ(img.pixels[0], 7);
            EXPECT_EQ(img.pixels[254], 7);
            EXPECT_EQ(img.pixels[255], 0);
            EXPECT_EQ(img.pixels[std::size_t{img.rowPitch} * 16383 + 16383], 0);
        }
    }
}

TEST(ReadBmp, MalformedHeadersAreRejected) {
    Dib ok;
    ok.pixels = Padded(Bytes(12, 0), 6);
    struct Case {
        const char* name;
        void (*change)(Dib&);
        HRESULT expected = E_FAIL;  // sizes over the image limits are refused as invalid data
    } cases[] = {
        {"bit fields with a 40-byte header", [](Dib& d) { d.compression = 3; d.bits = 16; }},
        {"header size 20", [](Dib& d) { d.headerSize = 20; }},
        {"unknown compression", [](Dib& d) { d.compression = 4; }},
        {"run-length on 24 bits", [](Dib& d) { d.compression = 1; }},
        {"bit count 7", [](Dib& d) { d.bits = 7; }},
        {"pixels cut short", [](Dib& d) { d.pixels.resize(10); }},
        {"colour table past the data", [](Dib& d) { d.coloursUsed = 0x40000000; }},
        {"zero width", [](Dib& d) { d.width = 0; }},
        {"huge size", [](Dib& d) { d.width = 0x7FFFFFFF, d.height = 0x7FFFFFFF; }, D3DXERR_INVALIDDATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dib d = ok;
        c.change(d);
        DecodedImage img;
        EXPECT_EQ(ReadWith(ReadBmp, img, MakeBmp(d)), c.expected);
    }
    DecodedImage sanity;
    EXPECT_EQ(ReadWith(ReadBmp, sanity, MakeBmp(ok)), S_OK);

    Bytes file = MakeBmp(ok);
    Set32(file, 2, static_cast<std::uint32_t>(file.size() + 1));  // file size field beyond the data
    DecodedImage big;
    EXPECT_EQ(ReadWith(ReadBmp, big, file), E_FAIL);

    Bytes planes = MakeBmp(ok);
    planes[14 + 12] = 2;
    DecodedImage twoPlanes;
    EXPECT_EQ(ReadWith(ReadBmp, twoPlanes, planes), E_FAIL);
}

TEST(ReadBmp, TheTrialTellsFilesFromBareBitmaps) {
    Dib d;
    d.pixels = Padded(Bytes(12, 7), 6);
    const Bytes file = MakeBmp(d), bare = MakeDib(d);
    D3DXIMAGE_INFO info;
    DecodedImage a, b;
    ASSERT_EQ(ReadImage(a, file.data(), static_cast<UINT>(file.size()), &info, true), S_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_BMP);
    ASSERT_EQ(ReadImage(b, bare.data(), static_cast<UINT>(bare.size()), &info, true), S_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DIB);
    EXPECT_EQ(info.Format, D3DFMT_R8G8B8);
    EXPECT_EQ(info.Width, 2u);
}

TEST(ReadBmp, HeaderOnlyReadTakesNoMemory) {
    Dib d;
    d.pixels = Padded(Bytes(12, 0), 6);
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadBmp, img, MakeBmp(d), /*wantPixels=*/false), S_OK);
    EXPECT_EQ(img.width, 2u);
    EXPECT_EQ(img.pixels, nullptr);
    EXPECT_FALSE(img.ownsPixels);
}

}  // namespace
