// Runs the base program headless for three frames and checks its last frame: the whole 800 x 600 back buffer
// cleared to grey (200, 200, 200), a normal run's exit status 0, and no error box on the way.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

bool ReadPng(const std::string& path, Image* image) {
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_RGB;
    image->width = static_cast<int>(png.width);
    image->height = static_cast<int>(png.height);
    image->rgb.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image->rgb.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    return true;
}

TEST(BaseProgramTest, ThreeHeadlessFramesShowTheGreyWindow) {
    const std::filesystem::path shot =
        std::filesystem::temp_directory_path() / ("tarn_base_" + std::to_string(::getpid()) + ".png");
    std::filesystem::remove(shot);
    const std::string command =
        std::string(TARN_BASE_PROGRAM) + " --headless --frames 3 --screenshot " + shot.string() + " 2>&1";
    std::string output;
    FILE* program = ::popen(command.c_str(), "r");
    ASSERT_NE(program, nullptr);
    char chunk[256];
    while (std::fgets(chunk, sizeof(chunk), program) != nullptr) output += chunk;
    const int status = ::pclose(program);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    // Neither start-up nor the key holders built before it reported a failure.
    EXPECT_EQ(output.find("[Error]"), std::string::npos) << output;

    Image image;
    ASSERT_TRUE(ReadPng(shot.string(), &image)) << shot;
    EXPECT_EQ(image.width, 800);
    EXPECT_EQ(image.height, 600);
    size_t wrong = 0;
    for (size_t i = 0; i < image.rgb.size(); ++i) wrong += image.rgb[i] != 200;
    EXPECT_EQ(wrong, 0u) << "channel values other than 200";
    std::filesystem::remove(shot);
}

}  // namespace
