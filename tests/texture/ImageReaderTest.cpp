// The reader trial, the image description it reports, the numeric locale around it, and mapped files.
#include "ImageReader.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "MappedFile.h"
#include "TextureTestSupport.h"

using namespace tarn::texture;
using texture_test::MakeTga;
using texture_test::TgaSpec;

namespace {

std::vector<BYTE> SmallTga() {
    TgaSpec s;
    s.width = 3;
    s.height = 2;
    return MakeTga(s, {}, std::vector<BYTE>(24, 0x42));
}

TEST(ImageReader, TrialAcceptsATargaAndDescribesIt) {
    const std::vector<BYTE> file = SmallTga();
    DecodedImage image;
    D3DXIMAGE_INFO info;
    std::memset(&info, 0xCD, sizeof(info));
    ASSERT_EQ(ReadImage(image, file.data(), static_cast<UINT>(file.size()), &info, true), S_OK);
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(info.Height, 2u);
    EXPECT_EQ(info.Depth, 1u);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_TGA);
    EXPECT_EQ(image.sourceRect.right, 3);
    EXPECT_EQ(image.sourceRect.bottom, 2);
    EXPECT_EQ(image.back, 1u);
    EXPECT_NE(image.pixels, nullptr);
}

TEST(ImageReader, InfoWithoutPixels) {
    const std::vector<BYTE> file = SmallTga();
    DecodedImage image;
    D3DXIMAGE_INFO info = {};
    ASSERT_EQ(ReadImage(image, file.data(), static_cast<UINT>(file.size()), &info, false), S_OK);
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(image.pixels, nullptr);
}

TEST(ImageReader, Failures) {
    const BYTE five[5] = {1, 2, 3, 4, 5};
    DecodedImage image;
    EXPECT_EQ(ReadImage(image, five, 5, nullptr, true), D3DXERR_INVALIDDATA);
    EXPECT_EQ(ReadImage(image, nullptr, 5, nullptr, true), D3DERR_INVALIDCALL);
    EXPECT_EQ(ReadImage(image, five, 0, nullptr, true), D3DERR_INVALIDCALL);
    EXPECT_EQ(ReadImage(image, five, 5, nullptr, false), S_OK);  // nothing asked for
}

TEST(ImageReader, PublicFormatsReplaceTheInternalOnes) {
    EXPECT_EQ(PublicFormat(D3DFMT_INTERNAL_AL16), D3DFMT_A8L8);
    EXPECT_EQ(PublicFormat(D3DFMT_INTERNAL_R16), D3DFMT_A16B16G16R16);
    EXPECT_EQ(PublicFormat(D3DFMT_L16), D3DFMT_L16);
}

TEST(ImageReader, RecordFreesItsChains) {
    // Built as a reader would; AddressSanitizer reports anything left behind.
    DecodedImage image;
    ASSERT_NE(image.AllocatePixels(64), nullptr);
    ASSERT_NE(image.AllocatePalette(), nullptr);
    EXPECT_EQ(image.palette[5].peFlags, 255);
    image.smallerLevel = new DecodedImage;
    image.smallerLevel->AllocatePixels(16);
    image.siblingFace = new DecodedImage;
    image.siblingFace->smallerLevel = new DecodedImage;
    EXPECT_EQ(image.AllocatePixels(0), nullptr);
    EXPECT_EQ(image.AllocatePixels(0x100000000ull), nullptr);
    image.Clear();
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.smallerLevel, nullptr);
    EXPECT_FALSE(image.ownsPixels);
}

// A locale whose decimal separator is a comma: an installed one, or one compiled into a temporary folder.
const char* CommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) return name;
    }
    const std::string dir = testing::TempDir() + "tarn-locales";
    // A name not tried above: the C library remembers names it failed to find.
    const std::string command = "test -d " + dir + "/tarncomma || (mkdir -p " + dir + " && localedef -i de_DE -f UTF-8 " + dir + "/tarncomma >/dev/null 2>&1)";
    if (std::system(command.c_str()) != 0) return nullptr;
    setenv("LOCPATH", dir.c_str(), 1);
    return std::setlocale(LC_NUMERIC, "tarncomma") != nullptr ? "tarncomma" : nullptr;
}

TEST(ImageReader, NumericLocaleIsRestoredAndDecimalsParseTheSame) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    const char* comma = CommaLocale();
    if (comma == nullptr) {
        std::setlocale(LC_NUMERIC, before.c_str());
        GTEST_SKIP() << "no locale with a decimal comma can be had here";
    }
    std::setlocale(LC_NUMERIC, "C");

    // A grey PFM whose scale is a decimal: read first under "C", then under the comma locale.
    const std::string header = "Pf\n1 1\n-0.5\n";
    std::vector<BYTE> pfm(header.begin(), header.end());
    const float one = 1.0f;
    pfm.insert(pfm.end(), reinterpret_cast<const BYTE*>(&one), reinterpret_cast<const BYTE*>(&one) + 4);
    DecodedImage underC;
    const HRESULT inC = ReadImage(underC, pfm.data(), static_cast<UINT>(pfm.size()), nullptr, true);
    EXPECT_EQ(inC, S_OK);

    std::setlocale(LC_NUMERIC, comma);
    const std::string commaName = std::setlocale(LC_NUMERIC, nullptr);
    EXPECT_EQ(std::localeconv()->decimal_point[0], ',');
    DecodedImage underComma;
    EXPECT_EQ(ReadImage(underComma, pfm.data(), static_cast<UINT>(pfm.size()), nullptr, true), inC);
    EXPECT_EQ(std::string(std::setlocale(LC_NUMERIC, nullptr)), commaName);
    const std::vector<BYTE> tga = SmallTga();
    DecodedImage image;
    EXPECT_EQ(ReadImage(image, tga.data(), static_cast<UINT>(tga.size()), nullptr, true), S_OK);
    EXPECT_EQ(std::string(std::setlocale(LC_NUMERIC, nullptr)), commaName);
    EXPECT_EQ(std::localeconv()->decimal_point[0], ',');
    std::setlocale(LC_NUMERIC, before.c_str());
}

TEST(MappedFile, OpensMapsAndReportsFailures) {
    const std::string path = testing::TempDir() + "tarn-mapped.bin";
    const std::string empty = testing::TempDir() + "tarn-empty.bin";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("hello", f);
    std::fclose(f);
    std::fclose(std::fopen(empty.c_str(), "wb"));

    MappedFile file;
    ASSERT_EQ(file.Open(path.c_str()), S_OK);
    ASSERT_EQ(file.Size(), 5u);
    EXPECT_EQ(std::memcmp(file.Data(), "hello", 5), 0);
    file.Close();
    EXPECT_EQ(file.Data(), nullptr);

    MappedFile zero;
    EXPECT_EQ(zero.Open(empty.c_str()), S_OK);
    EXPECT_EQ(zero.Data(), nullptr);
    EXPECT_EQ(zero.Size(), 0u);

    MappedFile missing;
    EXPECT_EQ(missing.Open((testing::TempDir() + "tarn-no-such-file").c_str()), D3DXERR_INVALIDDATA);
    EXPECT_EQ(missing.Open(static_cast<const char*>(nullptr)), D3DERR_INVALIDCALL);
    std::remove(path.c_str());
    std::remove(empty.c_str());
}

}  // namespace
