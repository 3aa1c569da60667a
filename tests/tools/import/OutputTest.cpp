#include <gtest/gtest.h>

#include <fstream>

#include "tests/tools/import/ImportTestSupport.h"

using namespace tarn::import;
using namespace tarn::import::test;

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ImportOutput, WritesEveryFileAndLeavesNoTemporaryFolder) {
    TempDir dir;
    const std::vector<std::uint8_t> a{'a'}, b{'b', 'b'};
    std::string why;
    ASSERT_TRUE(WriteOutput(dir.file("made/here"), {{"x.dds", &a}, {"x.TRS", &b}}, &why)) << why;
    EXPECT_EQ(Read(dir.file("made/here/x.dds")), "a");
    EXPECT_EQ(Read(dir.file("made/here/x.TRS")), "bb");
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("made/here")))
        left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"x.TRS", "x.dds"}));
}

TEST(ImportOutput, ReplacesOlderFilesOfTheSameName) {
    TempDir dir;
    std::ofstream(dir.file("x.TRS")) << "old";
    const std::vector<std::uint8_t> b{'n', 'e', 'w'};
    ASSERT_TRUE(WriteOutput(dir.path(), {{"x.TRS", &b}}, nullptr));
    EXPECT_EQ(Read(dir.file("x.TRS")), "new");
}

TEST(ImportOutput, AFailureLeavesNothingBehind) {
    TempDir dir;
    // A folder where the scene file should go: the texture moved before it is taken back.
    std::filesystem::create_directory(dir.file("x.TRS"));
    const std::vector<std::uint8_t> a{'a'};
    std::string why;
    EXPECT_FALSE(WriteOutput(dir.path(), {{"x.dds", &a}, {"x.TRS", &a}}, &why));
    EXPECT_NE(why.find("x.TRS is a folder"), std::string::npos) << why;
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"x.TRS"}));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("x.TRS")));
}

TEST(ImportOutput, RefusesNamesWithFolders) {
    TempDir dir;
    const std::vector<std::uint8_t> a{'a'};
    std::string why;
    EXPECT_FALSE(WriteOutput(dir.path(), {{"../escape.dds", &a}}, &why));
    EXPECT_TRUE(dir.files().empty());
}

TEST(ImportOutput, AFolderThatCannotBeMadeIsOneReason) {
    TempDir dir;
    std::ofstream(dir.file("file")) << "x";
    const std::vector<std::uint8_t> a{'a'};
    std::string why;
    EXPECT_FALSE(WriteOutput(dir.file("file/sub"), {{"x.TRS", &a}}, &why));
    EXPECT_NE(why.find("cannot make the folder"), std::string::npos) << why;
}

}  // namespace
