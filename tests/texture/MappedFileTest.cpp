// Whole files read into memory: what a file that changes afterwards leaves, and the files that are refused.
#include "texture/MappedFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/FaultInjection.h"
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

// Another process may cut a file short while it is being loaded. The bytes of an opened file stay readable
// whatever happens to the file (a mapping of it would kill the reader with SIGBUS past the new end).
TEST(MappedFile, BytesOutliveATruncationOfTheFile) {
    std::vector<BYTE> bytes(3 * 65536 + 100);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(i * 7);
    const std::string path = WriteFile("tarn-truncated.bin", bytes);
    MappedFile file;
    ASSERT_EQ(file.Open(path.c_str()), S_OK);
    ASSERT_EQ(truncate(path.c_str(), 0), 0);
    ASSERT_EQ(file.Size(), bytes.size());
    EXPECT_EQ(std::vector<BYTE>(file.Data(), file.Data() + file.Size()), bytes);
    std::remove(path.c_str());
}

TEST(MappedFile, RefusesWhatIsNotARegularFileAndFailedReads) {
    const std::string fifo = testing::TempDir() + "tarn-fifo";
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string path = WriteFile("tarn-read.bin", {1, 2, 3, 4});
    MappedFile file;
    EXPECT_EQ(file.Open(fifo.c_str()), D3DXERR_INVALIDDATA);  // at once: nobody writes to it
    EXPECT_EQ(file.Open(testing::TempDir().c_str()), D3DXERR_INVALIDDATA);
    EXPECT_EQ(file.Open("/dev/zero"), D3DXERR_INVALIDDATA);
    tarn::platform::InjectFault("ReadFile", ERROR_INVALID_FUNCTION);
    EXPECT_EQ(file.Open(path.c_str()), D3DXERR_INVALIDDATA);
    EXPECT_EQ(file.Data(), nullptr);
    EXPECT_EQ(file.Size(), 0u);
    tarn::platform::ClearFaults();
    ASSERT_EQ(file.Open(path.c_str()), S_OK);
    EXPECT_EQ(file.Size(), 4u);
    std::remove(fifo.c_str());
    std::remove(path.c_str());
}

}  // namespace
