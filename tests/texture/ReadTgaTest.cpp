// The Targa reader on files built in the test.
#include <gtest/gtest.h>

#include "ImageReader.h"
#include "TextureTestSupport.h"

using namespace tarn::texture;
using texture_test::MakeTga;
using texture_test::TgaSpec;

namespace {

HRESULT Read(DecodedImage& image, const std::vector<BYTE>& file) {
    image.wantPixels = true;
    return ReadTga(image, file.data(), static_cast<UINT>(file.size()));
}

// Top row first, however the record lays the rows out.
std::vector<BYTE> Pixels(const DecodedImage& image) {
    std::vector<BYTE> out;
    for (UINT y = 0; y < image.height; ++y) {
        const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(y) * image.rowPitch;
        const BYTE* row = image.rowsUpward ? image.pixels - offset : image.pixels + offset;
        out.insert(out.end(), row, row + image.rowPitch);
    }
    return out;
}

// 2 x 2, 24-bit: top row (1,2,3)(4,5,6), bottom row (7,8,9)(10,11,12), stored in the order each layout says.
TEST(TgaReader, OrientationsGiveTheSamePixelsTopRowFirst) {
    const std::vector<BYTE> top = {1, 2, 3, 4, 5, 6}, bottom = {7, 8, 9, 10, 11, 12};
    auto cat = [](std::vector<BYTE> a, const std::vector<BYTE>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    auto reversed = [](const std::vector<BYTE>& row) {
        return std::vector<BYTE>{row[3], row[4], row[5], row[0], row[1], row[2]};
    };
    struct Case {
        const char* what;
        BYTE descriptor;
        std::vector<BYTE> stored;
        bool inPlace;
    } cases[] = {
        {"top-down is used in place", 0x20, cat(top, bottom), true},
        {"bottom-up is read upwards in place", 0x00, cat(bottom, top), true},
        {"right-to-left is mirrored", 0x30, cat(reversed(top), reversed(bottom)), false},
        {"both", 0x10, cat(reversed(bottom), reversed(top)), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TgaSpec s;
        s.width = s.height = 2;
        s.pixelBits = 24;
        s.descriptor = c.descriptor;
        const std::vector<BYTE> file = MakeTga(s, {}, c.stored);
        DecodedImage image;
        ASSERT_EQ(Read(image, file), S_OK);
        EXPECT_EQ(image.format, D3DFMT_R8G8B8);
        EXPECT_EQ(image.rowPitch, 6u);
        EXPECT_EQ(Pixels(image), cat(top, bottom));
        EXPECT_EQ(image.ownsPixels, !c.inPlace);
        EXPECT_EQ(image.rowsUpward, c.descriptor == 0x00);
        if (c.inPlace) {
            EXPECT_EQ(image.pixels, file.data() + 18 + (c.descriptor == 0x00 ? 6 : 0));
        }
    }
}

TEST(TgaReader, RunLengthPackets) {
    TgaSpec s;
    s.imageType = 10;
    s.width = 6;
    s.height = 1;
    // A run of four, then two raw pixels.
    const std::vector<BYTE> data = {0x83, 1, 2, 3, 4, 0x01, 5, 6, 7, 8, 9, 10, 11, 12};
    DecodedImage image;
    ASSERT_EQ(Read(image, MakeTga(s, {}, data)), S_OK);
    EXPECT_EQ(image.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(Pixels(image), (std::vector<BYTE>{1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                                11, 12}));
}

// Older writers let a packet run on into the next row: it continues there, in the file's own row and pixel order.
TEST(TgaReader, RunLengthPacketsMayContinueOnTheNextRow) {
    const std::vector<BYTE> a = {1, 2, 3, 4}, b = {5, 6, 7, 8}, c = {9, 10, 11, 12};
    // A run of four, then a raw packet of two: file rows (a a a) and (a b c).
    const std::vector<BYTE> data = {0x83, 1, 2, 3, 4, 0x01, 5, 6, 7, 8, 9, 10, 11, 12};
    auto cat = [](std::initializer_list<std::vector<BYTE>> parts) {
        std::vector<BYTE> out;
        for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    struct Case {
        const char* what;
        BYTE descriptor;
        std::vector<BYTE> topFirst;
    } const cases[] = {
        {"top row first", 0x20, cat({a, a, a, a, b, c})},
        {"bottom row first, right to left", 0x10, cat({c, b, a, a, a, a})},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        TgaSpec s;
        s.imageType = 10;
        s.width = 3;
        s.height = 2;
        s.descriptor = k.descriptor;
        DecodedImage image;
        ASSERT_EQ(Read(image, MakeTga(s, {}, data)), S_OK);
        EXPECT_EQ(Pixels(image), k.topFirst);
    }
}

TEST(TgaReader, SixteenBitAlphaDecidesTheFormat) {
    TgaSpec s;
    s.width = 2;
    s.pixelBits = 16;
    DecodedImage noAlpha, alpha;
    ASSERT_EQ(Read(noAlpha, MakeTga(s, {}, {0xFF, 0x7F, 0x00, 0x00})), S_OK);
    EXPECT_EQ(noAlpha.format, D3DFMT_X1R5G5B5);
    ASSERT_EQ(Read(alpha, MakeTga(s, {}, {0xFF, 0x7F, 0x00, 0x80})), S_OK);
    EXPECT_EQ(alpha.format, D3DFMT_A1R5G5B5);
}

TEST(TgaReader, ColourMaps) {
    TgaSpec s;
    s.mapType = 1;
    s.imageType = 1;
    s.pixelBits = 8;
    s.mapFirst = 10;
    s.mapLength = 4;

    s.mapEntryBits = 24;
    DecodedImage rgb;
    ASSERT_EQ(Read(rgb, MakeTga(s, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {10})), S_OK);
    EXPECT_EQ(rgb.format, D3DFMT_P8);
    ASSERT_NE(rgb.palette, nullptr);
    EXPECT_EQ(rgb.palette[10].peRed, 3);
    EXPECT_EQ(rgb.palette[10].peBlue, 1);
    EXPECT_EQ(rgb.palette[13].peRed, 12);
    for (int i : {0, 9, 14, 255}) {
        EXPECT_EQ(rgb.palette[i].peRed & rgb.palette[i].peGreen & rgb.palette[i].peBlue & rgb.palette[i].peFlags, 255)
            << "entry " << i << " is opaque white";
    }

    s.mapEntryBits = 32;  // alpha bytes all zero: taken as opaque
    DecodedImage zeroAlpha;
    ASSERT_EQ(Read(zeroAlpha, MakeTga(s, {9, 9, 9, 0, 9, 9, 9, 0, 9, 9, 9, 0, 9, 9, 9, 0}, {10})), S_OK);
    EXPECT_EQ(zeroAlpha.palette[11].peFlags, 255);

    s.mapEntryBits = 16;  // 1-5-5-5: the top bit is alpha, 5-bit channels widen to 8 bits
    DecodedImage fifteen;
    ASSERT_EQ(Read(fifteen, MakeTga(s, {0x1F, 0x80, 0x00, 0x7C, 0, 0, 0, 0}, {10})), S_OK);
    EXPECT_EQ(fifteen.palette[10].peBlue, 255);
    EXPECT_EQ(fifteen.palette[10].peFlags, 255);
    EXPECT_EQ(fifteen.palette[11].peRed, 255);
    EXPECT_EQ(fifteen.palette[11].peFlags, 0);
}

TEST(TgaReader, RejectsWithoutReadingOutOfBounds) {
    auto base = [] {
        TgaSpec s;
        s.width = 2;
        s.height = 2;
        return s;
    };
    const std::vector<BYTE> pixels(16, 0x11);
    struct Case {
        const char* what;
        std::vector<BYTE> file;
        HRESULT expected = E_FAIL;  // sizes over the image limits are refused as invalid data
    } cases[] = {
        {"shorter than a header", std::vector<BYTE>(17, 0)},
        {"width 0", [&] { auto s = base(); s.width = 0; return MakeTga(s, {}, pixels); }()},
        {"height 0", [&] { auto s = base(); s.height = 0; return MakeTga(s, {}, pixels); }()},
        {"colour-map type 2", [&] { auto s = base(); s.mapType = 2; return MakeTga(s, {}, pixels); }()},
        {"image-type bit 2", [&] { auto s = base(); s.imageType = 6; return MakeTga(s, {}, pixels); }()},
        {"image type 0", [&] { auto s = base(); s.imageType = 0; return MakeTga(s, {}, pixels); }()},
        {"run-length colour-mapped 16-bit", [&] {
             auto s = base(); s.imageType = 9; s.mapType = 1; s.mapEntryBits = 24; s.pixelBits = 16;
             return MakeTga(s, {}, pixels); }()},
        {"grey 16-bit", [&] { auto s = base(); s.imageType = 3; s.pixelBits = 16; return MakeTga(s, {}, pixels); }()},
        {"map entry size 8", [&] {
             auto s = base(); s.mapType = 1; s.imageType = 1; s.pixelBits = 8; s.mapEntryBits = 8; s.mapLength = 1;
             return MakeTga(s, {0}, pixels); }()},
        {"map first 200 + 100 entries", [&] {
             auto s = base(); s.mapType = 1; s.imageType = 1; s.pixelBits = 8; s.mapEntryBits = 24;
             s.mapFirst = 200; s.mapLength = 100;
             return MakeTga(s, std::vector<BYTE>(300, 0), pixels); }()},
        {"colour map past the end", [&] {
             auto s = base(); s.mapType = 1; s.imageType = 1; s.pixelBits = 8; s.mapEntryBits = 24; s.mapLength = 9;
             return MakeTga(s, {}, {}); }()},
        {"image ID past the end", [&] { auto s = base(); s.idLength = 5; auto f = MakeTga(s, {}, {}); f.resize(20); return f; }()},
        {"plain pixels one byte short", [&] { auto s = base(); return MakeTga(s, {}, std::vector<BYTE>(15, 0)); }()},
        {"bottom-up pixels one byte short", [&] { auto s = base(); s.descriptor = 0; return MakeTga(s, {}, std::vector<BYTE>(15, 0)); }()},
        {"ends inside a run packet", [&] { auto s = base(); s.imageType = 10; return MakeTga(s, {}, {0x83, 1, 2}); }()},
        {"ends inside a raw packet", [&] { auto s = base(); s.imageType = 10; return MakeTga(s, {}, {0x01, 1, 2, 3, 4, 5}); }()},
        {"ends before a packet header", [&] { auto s = base(); s.imageType = 10; return MakeTga(s, {}, {0x81, 1, 2, 3, 4}); }()},
        {"a packet runs past the end of the image", [&] {
             auto s = base(); s.imageType = 10; return MakeTga(s, {}, {0x82, 1, 2, 3, 4, 0x81, 5, 6, 7, 8}); }()},
        {"width x height x 4 beyond 32 bits", [&] {
             auto s = base(); s.imageType = 10; s.width = s.height = 65535; return MakeTga(s, {}, {0xFF, 1, 2, 3, 4}); }(), D3DXERR_INVALIDDATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // An exact-size heap copy lets AddressSanitizer see any read past the end.
        std::unique_ptr<BYTE[]> exact(new BYTE[c.file.size()]);
        std::copy(c.file.begin(), c.file.end(), exact.get());
        DecodedImage image;
        image.wantPixels = true;
        EXPECT_EQ(ReadTga(image, exact.get(), static_cast<UINT>(c.file.size())), c.expected);
    }
}

TEST(TgaReader, HeaderOnlyWhenPixelsAreNotWanted) {
    TgaSpec s;
    s.width = 3;
    s.height = 2;
    s.imageType = 10;  // no pixel data at all: only the header is needed
    DecodedImage image;
    image.wantPixels = false;
    const std::vector<BYTE> file = MakeTga(s, {}, {});
    ASSERT_EQ(ReadTga(image, file.data(), static_cast<UINT>(file.size())), S_OK);
    EXPECT_EQ(image.width, 3u);
    EXPECT_EQ(image.height, 2u);
    EXPECT_EQ(image.pixels, nullptr);
}

}  // namespace
