// Whole files in memory: what a file cut short afterwards leaves, and the files that are refused.
#include "MappedFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "texture/D3DXTexture.h"

namespace {

std::string WriteFile(const std::string& name, const std::vector<BYTE>& bytes) {
    const std::string path = testing::TempDir() + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

// Another process may cut a file short while it is being loaded: the view stays readable, with zeros past
// the new end (a plain mapping would end the loader with SIGBUS there).
TEST(MappedFile, ViewOutlivesATruncationOfTheFile) {
    std::vector<BYTE> bytes(3 * 65536 + 100);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(1 + i % 250);
    const std::string path = WriteFile("tarn-truncated.bin", bytes);
    MappedFile file;
    ASSERT_EQ(file.Open(path.c_str()), S_OK);
    ASSERT_EQ(truncate(path.c_str(), 65536), 0);
    ASSERT_EQ(file.Size(), bytes.size());
    std::fill(bytes.begin() + 65536, bytes.end(), BYTE{0});
    EXPECT_EQ(std::vector<BYTE>(file.Data(), file.Data() + file.Size()), bytes);
    std::remove(path.c_str());
}

TEST(MappedFile, RefusesWhatIsNotARegularFile) {
    const std::string path = WriteFile("tarn-read.bin", {1, 2, 3, 4});
    MappedFile file;
    EXPECT_EQ(file.Open(testing::TempDir().c_str()), D3DXERR_INVALIDDATA);
    EXPECT_EQ(file.Open("/dev/zero"), D3DXERR_INVALIDDATA);
    ASSERT_EQ(file.Open(path.c_str()), S_OK);
    EXPECT_EQ(file.Size(), 4u);
    std::remove(path.c_str());
}

}  // namespace
