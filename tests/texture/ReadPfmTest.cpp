#include <gtest/gtest.h>

#include "ReadersFixtures.h"

using namespace readers_test;

namespace {

void PutFloatBigEndian(Bytes& b, float f) {
    const std::uint32_t v = tarn::FloatBits(f);
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<BYTE>(v >> (8 * i)));
}

// Only a positive scale means big-endian; zero of either sign reads like a negative one.
TEST(ReadPfm, ScaleSignChoosesByteOrderAndRowsRunBottomUp) {
    struct Case {
        const char* scale;
        bool little;
    } const cases[] = {{"-1.0", true}, {"1.0", false}, {"+1.0", false}, {"0.0", true}, {"-0.0", true}, {"+0", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scale);
        const bool little = c.little;
        Bytes f;
        // 3 x 2, so that a width and height read the wrong way round show.
        PutText(f, std::string("PF\n3 2\n") + c.scale + "\n");
        for (int i = 0; i < 18; ++i) (little ? PutFloat : PutFloatBigEndian)(f, 0.5f * static_cast<float>(i));
        DecodedImage img;
        ASSERT_EQ(ReadWith(ReadPfm, img, f), S_OK);
        EXPECT_EQ(img.format, D3DFMT_A32B32G32R32F);
        EXPECT_EQ(img.width, 3u);
        EXPECT_EQ(img.height, 2u);
        EXPECT_EQ(img.rowPitch, 48u);
        // The first stored row (floats 0..8) is the bottom row.
        EXPECT_EQ(PixelF4(img, 0, 1)[0], 0.0f);
        EXPECT_EQ(PixelF4(img, 1, 1)[2], 2.5f);
        EXPECT_EQ(PixelF4(img, 0, 0)[0], 4.5f);
        EXPECT_EQ(PixelF4(img, 1, 0)[1], 6.5f);
        EXPECT_EQ(PixelF4(img, 2, 0)[2], 8.5f);
        EXPECT_EQ(PixelF4(img, 1, 0)[3], 1.0f);
    }
}

TEST(ReadPfm, GreyFilesFillRedGreenAndBlue) {
    Bytes f;
    PutText(f, "Pf\n1 1\n-1\n");
    PutFloat(f, 0.25f);
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadPfm, img, f), S_OK);
    const float* p = PixelF4(img, 0, 0);
    EXPECT_EQ(p[0], 0.25f);
    EXPECT_EQ(p[1], 0.25f);
    EXPECT_EQ(p[2], 0.25f);
    EXPECT_EQ(p[3], 1.0f);
}

TEST(ReadPfm, BadHeadersAndShortDataAreRejected) {
    struct Case {
        const char* name;
        std::string header;
        int floats;
        HRESULT expected = E_FAIL;  // sizes over the image limits are refused as invalid data
    } cases[] = {
        {"one float short", "PF\n2 1\n-1\n", 5},
        {"three numbers on the size line", "PF\n2 1 1\n-1\n", 6},
        {"negative width", "PF\n-2 1\n-1\n", 6},
        {"word after the scale", "PF\n2 1\n-1 x\n", 6},
        {"two signs on the scale", "PF\n2 1\n+-1\n", 6},
        {"no scale line", "PF\n2 1\n", 6},
        {"absurd size", "PF\n4294967295 4294967295\n-1\n", 6, D3DXERR_INVALIDDATA},
        {"zero height", "PF\n2 0\n-1\n", 6},
        {"magic without newline", "PF 2 1\n-1\n", 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes f;
        PutText(f, c.header);
        for (int i = 0; i < c.floats; ++i) PutFloat(f, 1.0f);
        DecodedImage img;
        EXPECT_EQ(ReadWith(ReadPfm, img, f), c.expected);
    }
}

}  // namespace
