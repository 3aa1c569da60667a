// tarn-view's own command line: every option, the scene file, and the mistakes that stop it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/view/ViewerOptions.h"

namespace {

using tarn::view::ParseViewerOptions;
using tarn::view::ViewerOptions;

TEST(ViewerOptionsTest, OptionsAndTheSceneFile) {
    ViewerOptions plain;
    std::string error;
    ASSERT_TRUE(ParseViewerOptions({"sea.TRS"}, &plain, &error)) << error;
    EXPECT_EQ(plain.scenePath, "sea.TRS");
    EXPECT_EQ(plain.camera, -1);
    EXPECT_FALSE(plain.paused);
    EXPECT_FALSE(plain.water);
    EXPECT_EQ(plain.width, 800);
    EXPECT_EQ(plain.height, 600);
    EXPECT_TRUE(plain.waterDirectory.empty());

    ViewerOptions all;
    ASSERT_TRUE(ParseViewerOptions(
        {"--camera", "1", "--paused", "--water", "--size", "640x360", "--water-dir", "/data", "--", "--odd.TRS"}, &all,
        &error))
        << error;
    EXPECT_EQ(all.scenePath, "--odd.TRS");
    EXPECT_EQ(all.camera, 1);
    EXPECT_TRUE(all.paused);
    EXPECT_TRUE(all.water);
    EXPECT_EQ(all.width, 640);
    EXPECT_EQ(all.height, 360);
    EXPECT_EQ(all.waterDirectory, "/data");
}

TEST(ViewerOptionsTest, MistakesSayWhat) {
    const std::vector<std::vector<std::string>> kCases = {
        {},
        {"a.TRS", "b.TRS"},
        {"--camera", "x", "a.TRS"},
        {"--camera", "-1", "a.TRS"},
        {"--camera"},
        {"--size", "640", "a.TRS"},
        {"--size", "0x10", "a.TRS"},
        {"--size", "640x99999", "a.TRS"},
        {"--water-dir", "", "a.TRS"},
        {"--bogus", "a.TRS"},
    };
    for (const auto& args : kCases) {
        SCOPED_TRACE(args.empty() ? "(nothing)" : args[0]);
        ViewerOptions options;
        std::string error;
        EXPECT_FALSE(ParseViewerOptions(args, &options, &error));
        EXPECT_FALSE(error.empty());
    }
}

// Every option the parser takes is in the help, and the help names the keys and the mouse.
TEST(ViewerOptionsTest, TheUsageNamesEveryOptionKeyAndButton) {
    const tarn::platform::ProgramUsage usage = tarn::view::ViewerUsage();
    EXPECT_EQ(usage.arguments, "SCENE.TRS");
    std::vector<std::string> names;
    for (const auto& option : usage.options) names.push_back(option.name);
    EXPECT_EQ(names, (std::vector<std::string>{"--camera", "--paused", "--water", "--water-dir", "--size"}));
    for (const char* word :
         {"left drag", "right or middle drag", "wheel", "C switches", "F frames", "Space", "W turns", "Escape"}) {
        EXPECT_NE(usage.notes.find(word), std::string::npos) << word;
    }
}

}  // namespace
