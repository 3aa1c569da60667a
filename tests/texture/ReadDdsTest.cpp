#include <gtest/gtest.h>

#include "ReadersFixtures.h"
#include "TextureTestSupport.h"

using namespace readers_test;

namespace {

constexpr std::uint32_t kFourCC = 0x4;

using Dds = texture_test::DdsHeader;

// A DDS file whose `dataBytes` of stored data count up in sevens.
Bytes MakeDds(const Dds& d, std::size_t dataBytes) {
    Bytes data(dataBytes);
    for (std::size_t i = 0; i < dataBytes; ++i) data[i] = static_cast<BYTE>(i * 7);
    return texture_test::MakeDds(d, data);
}

int ChainLength(const DecodedImage* img) {
    int n = 0;
    for (; img; img = img->smallerLevel) ++n;
    return n;
}

TEST(ReadDds, MipCountZeroGivesOneLevelThatPointsIntoTheFile) {
    Dds d;
    const Bytes file = MakeDds(d, 8);
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadDds, img, file), S_OK);
    EXPECT_EQ(img.format, D3DFMT_DXT1);
    EXPECT_EQ(ChainLength(&img), 1);
    EXPECT_EQ(img.pixels, file.data() + 128);
    EXPECT_FALSE(img.ownsPixels);
    EXPECT_EQ(img.rowPitch, 8u);
    EXPECT_EQ(img.resourceType, D3DRTYPE_TEXTURE);

    D3DXIMAGE_INFO info;
    DecodedImage viaTrial;
    ASSERT_EQ(ReadImage(viaTrial, file.data(), static_cast<UINT>(file.size()), &info, true), S_OK);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
}

TEST(ReadDds, DxtLevelsTakeWholeBlocksAndTheChainWalksTheFile) {
    Dds d;
    d.mips = 3;  // 4 x 4, 2 x 2, 1 x 1: one 8-byte block each
    const Bytes file = MakeDds(d, 24);
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadDds, img, file), S_OK);
    ASSERT_EQ(ChainLength(&img), 3);
    const DecodedImage* l2 = img.smallerLevel->smallerLevel;
    EXPECT_EQ(l2->width, 1u);
    EXPECT_EQ(l2->rowPitch, 8u);
    EXPECT_EQ(l2->slicePitch, 8u);
    EXPECT_EQ(l2->pixels, file.data() + 128 + 16);

    D3DXIMAGE_INFO info;
    DecodedImage viaTrial;
    ASSERT_EQ(ReadImage(viaTrial, file.data(), static_cast<UINT>(file.size()), &info, true), S_OK);
    EXPECT_EQ(info.MipLevels, 3u);

    const Bytes cut = MakeDds(d, 23);  // last level one byte short: the whole file is refused
    DecodedImage short_;
    EXPECT_EQ(ReadWith(ReadDds, short_, cut), E_FAIL);
}

TEST(ReadDds, PitchesFollowTheFormat) {
    struct Case {
        std::uint32_t pfFlags, fourCC, bits, masks[4];
        std::uint32_t width, height;
        D3DFORMAT format;
        UINT rowPitch, slicePitch;
    } cases[] = {
        {kFourCC, D3DFMT_DXT1, 0, {}, 5, 5, D3DFMT_DXT1, 16, 32},
        {kFourCC, D3DFMT_DXT5, 0, {}, 5, 5, D3DFMT_DXT5, 32, 64},
        {kFourCC, D3DFMT_YUY2, 0, {}, 3, 2, D3DFMT_YUY2, 8, 16},
        {kFourCC, D3DFMT_A16B16G16R16F, 0, {}, 3, 2, D3DFMT_A16B16G16R16F, 24, 48},
        {0x40, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}, 3, 2, D3DFMT_R8G8B8, 9, 18},
        {0x41, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 3, 2, D3DFMT_A8R8G8B8, 12, 24},
        {0x40, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0}, 3, 2, D3DFMT_X8R8G8B8, 12, 24},
        {0x20000, 0, 8, {0xFF, 0, 0, 0}, 3, 2, D3DFMT_L8, 3, 6},
        {0x80000, 0, 16, {0xFF, 0xFF00, 0, 0}, 3, 2, D3DFMT_V8U8, 6, 12},
        {0x2, 0, 8, {0, 0, 0, 0xFF}, 3, 2, D3DFMT_A8, 3, 6},
        // The four-character-code flag wins over any other flag set beside it.
        {kFourCC | 0x40, D3DFMT_DXT3, 32, {1, 2, 3, 4}, 4, 4, D3DFMT_DXT3, 16, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format);
        Dds d;
        d.width = c.width, d.height = c.height;
        d.pfFlags = c.pfFlags, d.fourCC = c.fourCC, d.bits = c.bits;
        for (int i = 0; i < 4; ++i) d.masks[i] = c.masks[i];
        DecodedImage img;
        ASSERT_EQ(ReadWith(ReadDds, img, MakeDds(d, c.slicePitch)), S_OK);
        EXPECT_EQ(img.format, c.format);
        EXPECT_EQ(img.rowPitch, c.rowPitch);
        EXPECT_EQ(img.slicePitch, c.slicePitch);
    }
}

TEST(ReadDds, CubeMapsNeedAllSixFaces) {
    Dds d;
    d.caps2 = 0x200 | 0xFC00;
    d.mips = 2;
    const Bytes cube = MakeDds(d, 6 * 16);
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadDds, img, cube), S_OK);
    EXPECT_EQ(img.resourceType, D3DRTYPE_CUBETEXTURE);
    int faces = 0;
    for (const DecodedImage* f = &img; f; f = f->siblingFace, ++faces) EXPECT_EQ(ChainLength(f), 2);
    EXPECT_EQ(faces, 6);
    EXPECT_EQ(img.siblingFace->pixels, cube.data() + 128 + 16);

    d.caps2 = 0x200 | 0x7C00;  // five faces
    DecodedImage five;
    EXPECT_EQ(ReadWith(ReadDds, five, MakeDds(d, 6 * 16)), E_FAIL);
}

// A mip count beyond the full chain is taken as given: the extra 1 x 1 levels must be in the file, and each face
// starts after all of its levels; records stop at the full chain, which is all a texture can hold, while the
// file's description keeps the declared count.
TEST(ReadDds, MipCountBeyondTheFullChainReadsWhenTheDataIsThere) {
    Dds d;
    d.caps2 = 0x200 | 0xFC00;
    d.mips = 5;  // a 4 x 4 chain has three levels; two more 1 x 1 levels of one 8-byte block each
    const Bytes cube = MakeDds(d, 6 * 5 * 8);
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadDds, img, cube), S_OK);
    int faces = 0;
    for (const DecodedImage* f = &img; f; f = f->siblingFace, ++faces) {
        EXPECT_EQ(ChainLength(f), 3);
        EXPECT_EQ(f->pixels, cube.data() + 128 + faces * 5 * 8);
    }
    EXPECT_EQ(faces, 6);

    DecodedImage viaTrial;
    D3DXIMAGE_INFO info = {};
    ASSERT_EQ(ReadImage(viaTrial, cube.data(), static_cast<UINT>(cube.size()), &info, false), S_OK);
    EXPECT_EQ(info.MipLevels, 5u);  // the declared count, which D3DX_FROM_FILE asks for

    // One byte short of the last face's extra levels.
    DecodedImage cut;
    EXPECT_EQ(ReadWith(ReadDds, cut, MakeDds(d, 6 * 5 * 8 - 1)), E_FAIL);
}

TEST(ReadDds, VolumesHalveTheirDepthPerLevel) {
    Dds d;
    d.headerFlags |= 0x800000;
    d.depth = 4;
    d.mips = 3;
    d.pfFlags = 0x20000, d.fourCC = 0, d.bits = 8, d.masks[0] = 0xFF;  // L8
    const std::size_t bytes = 4 * 4 * 4 + 2 * 2 * 2 + 1;
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadDds, img, MakeDds(d, bytes)), S_OK);
    EXPECT_EQ(img.resourceType, D3DRTYPE_VOLUMETEXTURE);
    EXPECT_EQ(img.depth, 4u);
    EXPECT_EQ(img.smallerLevel->depth, 2u);
    EXPECT_EQ(img.smallerLevel->smallerLevel->depth, 1u);
    DecodedImage cut;
    EXPECT_EQ(ReadWith(ReadDds, cut, MakeDds(d, bytes - 1)), E_FAIL);
}

TEST(ReadDds, PalettisedDataStartsAfterTheInPlacePalette) {
    Dds d;
    d.pfFlags = 0x20, d.fourCC = 0, d.bits = 8;
    const Bytes file = MakeDds(d, 1024 + 16);
    DecodedImage img;
    ASSERT_EQ(ReadWith(ReadDds, img, file), S_OK);
    EXPECT_EQ(img.format, D3DFMT_P8);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(img.palette), file.data() + 128);
    EXPECT_FALSE(img.ownsPalette);
    EXPECT_EQ(img.pixels, file.data() + 128 + 1024);

    DecodedImage shortPalette;
    EXPECT_EQ(ReadWith(ReadDds, shortPalette, MakeDds(d, 1000)), E_FAIL);
}

TEST(ReadDds, DamagedHeadersAreRejected) {
    struct Case {
        const char* name;
        void (*change)(Dds&);
        HRESULT expected = E_FAIL;  // sizes over the image limits are refused as invalid data
    } cases[] = {
        {"pixel-format size not 32", [](Dds& d) { d.pfSize = 31; }},
        {"unknown four-character code", [](Dds& d) { d.fourCC = 0x31545844 + 0x100; }},
        {"RGB masks of no format", [](Dds& d) { d.pfFlags = 0x40, d.bits = 32, d.masks[0] = 0xF0; }},
        {"more levels than the data holds", [](Dds& d) { d.mips = 40; }},
        {"huge size", [](Dds& d) { d.width = d.height = 0xFFFFFFFF; }, D3DXERR_INVALIDDATA},
        {"zero width", [](Dds& d) { d.width = 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dds d;
        c.change(d);
        DecodedImage img;
        EXPECT_EQ(ReadWith(ReadDds, img, MakeDds(d, 64)), c.expected);
    }
    Bytes magic = MakeDds(Dds{}, 8);
    magic[3] = 'X';
    DecodedImage img;
    EXPECT_EQ(ReadWith(ReadDds, img, magic), E_FAIL);
    Bytes tiny(127, 0);
    DecodedImage small;
    EXPECT_EQ(ReadWith(ReadDds, small, tiny), E_FAIL);
}

}  // namespace
