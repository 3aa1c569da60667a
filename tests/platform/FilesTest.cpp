// Files and memory mapping: whole-file views, the empty and missing file errors, names written the Windows way,
// and handle lifetimes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/FaultInjection.h"
#include "platform/win32/Win32.h"

namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarn-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::create_directory(dir_ / "Water");
        Write("Water/Caust0.TGA", "caustic bytes");
        Write("empty.bin", "");
    }
    void TearDown() override { fs::remove_all(dir_); }
    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    static HANDLE Open(const std::string& path) {
        return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_RANDOM_ACCESS, nullptr);
    }
    fs::path dir_;
};

TEST_F(FilesTest, WholeFileViewOutlivesItsHandles) {
    // Backslashes and a different letter case still find the file.
    HANDLE file = Open(dir_.string() + "\\water\\caust0.tga");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(file, &high), 13u);
    EXPECT_EQ(high, 0u);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(std::memcmp(view, "caustic bytes", 13), 0);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FilesTest, EmptyFileOpensButCannotBeMapped) {
    HANDLE file = Open(Path("empty.bin"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
    // A read-only mapping cannot be larger than its file either.
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 16, nullptr), nullptr);
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FilesTest, OpenErrorsSayWhatIsMissing) {
    struct Case {
        std::string path;
        DWORD creation;
        DWORD error;
    } cases[] = {
        {Path("missing.tga"), OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {Path("NoFolder/missing.tga"), OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {Path("Water"), OPEN_EXISTING, ERROR_ACCESS_DENIED},  // a folder is not a file
        {Path("empty.bin"), CREATE_NEW, ERROR_FILE_EXISTS},
        {Path("empty.bin"), 99, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        HANDLE h = CreateFileA(c.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, c.creation, 0, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

// A FIFO, a device and a folder are not files: each fails at once, for reading and for writing. A helper thread
// opens the FIFO's other end in a loop, so that an open that waits for a writer ends and is seen to succeed.
TEST_F(FilesTest, OnlyRegularFilesOpen) {
    const std::string fifo = Path("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 500 && !done; ++i) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    struct Case {
        std::string path;
        DWORD access;
        DWORD creation;
    } cases[] = {
        {fifo, GENERIC_READ, OPEN_EXISTING},           {fifo, GENERIC_WRITE, OPEN_ALWAYS},
        {"/dev/null", GENERIC_READ, OPEN_EXISTING},    {"/dev/null", GENERIC_WRITE, CREATE_ALWAYS},
        {Path("Water"), GENERIC_READ, OPEN_EXISTING},  {Path("water"), GENERIC_READ, OPEN_EXISTING},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        HANDLE h = CreateFileA(c.path.c_str(), c.access, FILE_SHARE_READ, nullptr, c.creation, 0, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    const std::u16string wide = u"/dev/null";
    EXPECT_EQ(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    done = true;
    writer.join();
}

// Another process may cut a mapped file short. Reading the view past the new end shows zeros instead of
// ending the process with SIGBUS; bytes before it are the file's. A SIGBUS that is not a view's still ends it.
TEST_F(FilesTest, ViewsOfAFileCutShortReadZerosPastTheNewEnd) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::string bytes(3 * page + 100, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(1 + i % 250);
    Write("cut.bin", bytes);
    HANDLE file = Open(Path("cut.bin"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    const char* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    const std::size_t kept = page + 10;
    ASSERT_EQ(truncate(Path("cut.bin").c_str(), static_cast<off_t>(kept)), 0);
    const std::string seen(view, bytes.size());
    EXPECT_EQ(seen.substr(0, kept), bytes.substr(0, kept));
    EXPECT_EQ(seen.substr(kept), std::string(bytes.size() - kept, '\0'));
    EXPECT_DEATH(raise(SIGBUS), "");  // by SIGBUS, or by the abort of a sanitizer's handler
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FilesTest, WritableMappingGrowsTheFileAndViewsFollowTheDocumentedLimits) {
    HANDLE file = CreateFileA(Path("out.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 0x20000, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(GetFileSize(file, nullptr), 0x20000u);

    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 100, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MAPPED_ALIGNMENT));
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0x10000, 0x10001), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    auto* second = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0x10000, 0));
    ASSERT_NE(second, nullptr);
    std::memcpy(second, "tail", 4);
    EXPECT_TRUE(UnmapViewOfFile(second));
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(CloseHandle(file));
    std::ifstream in(Path("out.bin"), std::ios::binary);
    in.seekg(0x10000);
    char tail[5] = {};
    in.read(tail, 4);
    EXPECT_STREQ(tail, "tail");

    // Read-only file: no writable mapping.
    HANDLE readOnly = Open(Path("out.bin"));
    EXPECT_EQ(CreateFileMappingA(readOnly, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE again = CreateFileA(Path("out.bin").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(again);
    CloseHandle(readOnly);
}

TEST_F(FilesTest, WideNamesOpenTheSameFile) {
    std::string narrow = Path("Water/Caust0.TGA");
    std::u16string wide(narrow.begin(), narrow.end());
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 13u);
    CloseHandle(file);
}

TEST_F(FilesTest, WrittenFileIsRenamedOverItsTargetAndDeleted) {
    const std::string part = Path("out.part"), target = Path("Water/Caust0.TGA");
    HANDLE file = CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 99;
    EXPECT_TRUE(WriteFile(file, "new bytes", 9, &written, nullptr));
    EXPECT_EQ(written, 9u);
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_TRUE(CloseHandle(file));

    // Without the replace flag an existing target stays; a directory is never replaced.
    EXPECT_FALSE(MoveFileExA(part.c_str(), target.c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(MoveFileExA(part.c_str(), Path("Water").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(MoveFileExA(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING));
    std::ifstream in(target, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new bytes");
    EXPECT_FALSE(fs::exists(part));

    EXPECT_TRUE(DeleteFileA(target.c_str()));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(DeleteFileA(target.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA(Path("Water").c_str()));
}

TEST_F(FilesTest, WriteFailsOnReadOnlyHandlesAndInjectedFullDisk) {
    HANDLE file = Open(Path("Water/Caust0.TGA"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 99;
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(written, 0u);
    CloseHandle(file);

    file = CreateFileA(Path("full.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    tarn::platform::InjectFault("WriteFile", ERROR_DISK_FULL, 1);
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_TRUE(WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_EQ(written, 1u);
    CloseHandle(file);
}

}  // namespace
