#include <gtest/gtest.h>

#include "ReadersFixtures.h"

using namespace readers_test;

namespace {

TEST(ReadPpm, BinarySamplesScaleToTheMaximum) {
    Bytes f;
    PutText(f, "P6\n2 2\n15\n");
    const BYTE samples[12] = {15, 7, 0, 0, 0, 0, 1, 2, 3, 15, 15, 15};
    f.insert(f.end(), samples, samples + 12);
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadPpm, img, f), S_OK);
    EXPECT_EQ(img.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(img.rowPitch, 8u);
    EXPECT_EQ(Pixel32(img, 0, 0), 0xFFFF7700u);  // 15 -> 255, 7 -> 119
    EXPECT_EQ(Pixel32(img, 0, 1), 0xFF112233u);
    EXPECT_EQ(Pixel32(img, 1, 1), 0xFFFFFFFFu);
}

TEST(ReadPpm, TextSamplesAllowCommentsAnywhereBetweenTokens) {
    Bytes f;
    PutText(f, "P3 # a comment after the magic\n2 1\n# between height and maximum\n255\n255 0 0 # red\n0 0 128\n");
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadPpm, img, f), S_OK);
    EXPECT_EQ(img.width, 2u);  // two wide, one high: the size line gives width first
    EXPECT_EQ(img.height, 1u);
    EXPECT_EQ(Pixel32(img, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(Pixel32(img, 1, 0), 0xFF000080u);
}

TEST(ReadPpm, CarriageReturnBeforeTheSeparatorIsSkipped) {
    Bytes f;
    PutText(f, "P6 1 1 255\r\n");
    const BYTE samples[3] = {10, 13, 10};  // samples that look like line ends stay samples
    f.insert(f.end(), samples, samples + 3);
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadPpm, img, f), S_OK);
    EXPECT_EQ(Pixel32(img, 0, 0), 0xFF0A0D0Au);
}

TEST(ReadPpm, MalformedFilesAreRejected) {
    struct Case {
        const char* name;
        std::string text;
        HRESULT expected = E_FAIL;  // sizes over the image limits are refused as invalid data
    } cases[] = {
        {"non-digit in a header token", "P3 2x 1 255 1 2 3 4 5 6"},
        {"zero width", "P3 0 1 255"},
        {"zero maximum", "P3 1 1 0 0 0 0"},
        {"binary maximum above a byte", "P6 1 1 256\nabc"},
        {"too few text samples", "P3 1 1 255 1 2"},
        {"more text samples than pixels", "P3 1 1 255 1 2 3 4"},
        {"text sample above the maximum", "P3 1 1 15 16 0 0"},
        {"binary sample above the maximum", "P6 1 1 15\n\x10\x01\x01"},
        {"too few binary samples", "P6 2 1 255\nabcde"},
        {"absurd size", "P6 4294967295 4294967295 255\nabc", D3DXERR_INVALIDDATA},
        {"header token too large", "P3 99999999999 1 255"},
        {"header cut short", "P6 1 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes f;
        PutText(f, c.text);
        DecodedImage img;
        EXPECT_EQ(ReadWith(ReadPpm, img, f), c.expected);
    }
}

}  // namespace
