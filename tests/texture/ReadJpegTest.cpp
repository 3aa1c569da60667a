// JPEG fixtures are written by the JPEG library's own compressor, so each case is a file as another program would
// write it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "ReadersFixtures.h"

using namespace readers_test;

namespace {

Bytes Flat(std::uint32_t pixels, const Bytes& value) {
    Bytes out;
    for (std::uint32_t i = 0; i < pixels; ++i) out.insert(out.end(), value.begin(), value.end());
    return out;
}

TEST(ReadJpeg, GreyBecomesL8) {
    const Bytes file = WriteJpeg(16, 8, 1, JCS_GRAYSCALE, Flat(16 * 8, {90}));
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadJpeg, img, file), S_OK);
    EXPECT_EQ(img.format, D3DFMT_L8);
    EXPECT_EQ(img.rowPitch, 16u);
    EXPECT_EQ(img.height, 8u);
    for (UINT i = 0; i < 16 * 8; ++i) ASSERT_NEAR(img.pixels[i], 90, 1) << i;
}

TEST(ReadJpeg, ColourBecomesX8R8G8B8) {
    const Bytes file = WriteJpeg(8, 8, 3, JCS_RGB, Flat(64, {200, 100, 50}));
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadJpeg, img, file), S_OK);
    EXPECT_EQ(img.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(img.rowPitch, 32u);
    const std::uint32_t p = Pixel32(img, 3, 5);
    EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 200, 3);
    EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 100, 3);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 50, 3);

    D3DXIMAGE_INFO info;
    DecodedImage viaTrial;
    ASSERT_EQ(ReadImage(viaTrial, file.data(), static_cast<UINT>(file.size()), &info, true), S_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
    EXPECT_EQ(info.Format, D3DFMT_X8R8G8B8);
}

// The copy from the library's RGB rows and the direct four-byte layout must give the same bytes, the unused
// fourth one included.
TEST(ReadJpeg, BothColourPathsGiveTheSameBytes) {
    Bytes samples;
    for (int i = 0; i < 24 * 16 * 3; ++i) samples.push_back(static_cast<BYTE>(i * 13));
    const Bytes file = WriteJpeg(24, 16, 3, JCS_RGB, samples);
    DecodedImage direct, copied;
    ASSERT_EQ(ReadWith(ReadJpeg, direct, file), S_OK);
    const bool previous = SetJpegDirectColour(false);
    const HRESULT hr = ReadWith(ReadJpeg, copied, file);
    SetJpegDirectColour(previous);
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(direct.rowPitch, copied.rowPitch);
    EXPECT_EQ(std::memcmp(direct.pixels, copied.pixels, std::size_t{direct.rowPitch} * 16), 0);
    for (UINT y = 0; y < 16; ++y)
        for (UINT x = 0; x < 24; ++x) ASSERT_EQ(Pixel32(direct, x, y) >> 24, 0u) << x << ", " << y;
}

// A header-only read stops after the header: a progressive file cut right after its first scan header still
// describes itself, though decoding it fails.
TEST(ReadJpeg, HeaderOnlyReadNeedsNoScanData) {
    Bytes samples;
    for (int i = 0; i < 32 * 32 * 3; ++i) samples.push_back(static_cast<BYTE>(i * 5));
    const Bytes whole = WriteJpeg(32, 32, 3, JCS_RGB, samples, /*progressive=*/true);
    std::size_t cut = 0;
    for (std::size_t i = 2; i + 3 < whole.size() && cut == 0; ++i)
        if (whole[i] == 0xFF && whole[i + 1] == 0xDA) cut = i + 2 + (std::size_t{whole[i + 2]} << 8 | whole[i + 3]);
    ASSERT_NE(cut, 0u);
    const Bytes file(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    DecodedImage header;
    ASSERT_EQ(ReadWith(ReadJpeg, header, file, /*wantPixels=*/false), S_OK);
    EXPECT_EQ(header.width, 32u);
    EXPECT_EQ(header.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(header.rowPitch, 128u);
    EXPECT_EQ(header.pixels, nullptr);
    DecodedImage pixels;
    EXPECT_EQ(ReadWith(ReadJpeg, pixels, file), E_FAIL);
}

TEST(ReadJpeg, FourComponentFilesAreRejected) {
    const Bytes file = WriteJpeg(8, 8, 4, JCS_CMYK, Flat(64, {10, 20, 30, 40}));
    DecodedImage img;
    EXPECT_EQ(ReadWith(ReadJpeg, img, file), E_FAIL);
}

TEST(ReadJpeg, DamagedFilesFailWithoutReadingPastTheData) {
    Bytes samples;
    for (int i = 0; i < 32 * 32 * 3; ++i) samples.push_back(static_cast<BYTE>(i * 7));
    const Bytes good = WriteJpeg(32, 32, 3, JCS_RGB, samples);

    DecodedImage header;
    ASSERT_EQ(ReadWith(ReadJpeg, header, good, /*wantPixels=*/false), S_OK);
    EXPECT_EQ(header.width, 32u);
    EXPECT_EQ(header.pixels, nullptr);

    // Cut inside the compressed data: the source ends the file there and the read fails.
    const Bytes truncated(good.begin(), good.end() - 200);
    DecodedImage t;
    EXPECT_EQ(ReadWith(ReadJpeg, t, truncated), E_FAIL);

    // A marker segment whose length runs far past the end: the skip stops at the end of the data.
    Bytes longSkip = {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 1, 2, 3};
    DecodedImage s;
    EXPECT_EQ(ReadWith(ReadJpeg, s, longSkip), E_FAIL);

    // A damaged file (found by fuzzing) on which a source that offers the data again from its start makes the
    // decoder go round for ever.
    const Bytes refeed = {
        0xFF, 0xD8, 0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
        0x00, 0x01, 0x00, 0x44, 0x44, 0x53, 0x00, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0x3F, 0x06, 0x06, 0x07,
        0x06, 0x05, 0x08, 0x20, 0x7C, 0x00, 0x00, 0x00, 0x55, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x01,
        0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x44, 0x44, 0x53, 0x00, 0xFF, 0xDB, 0x00, 0x43, 0x00,
        0x3F, 0x06, 0x06, 0x07, 0x06, 0x05, 0x08, 0x20, 0x7C, 0x00, 0x00, 0x00, 0x55, 0x00, 0x00, 0x00,
        0x08, 0x00
    };
    DecodedImage loop;
    EXPECT_EQ(ReadWith(ReadJpeg, loop, refeed), E_FAIL);

    Bytes notJpeg = {'B', 'M', 0, 0};
    DecodedImage n;
    EXPECT_EQ(ReadWith(ReadJpeg, n, notJpeg), E_FAIL);
    DecodedImage empty;
    EXPECT_EQ(ReadJpeg(empty, good.data(), 0), E_FAIL);
}

}  // namespace
