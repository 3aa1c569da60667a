// Runner option parsing: every option in both spellings, and the mistakes that must stop the program.
#include <gtest/gtest.h>

#include "CommandLine.h"

namespace {

using tarn::platform::CommandLine;
using tarn::platform::ParseCommandLine;

TEST(CommandLineTest, OptionsAndProgramArguments) {
    CommandLine none = ParseCommandLine({});
    EXPECT_EQ(none.action, CommandLine::Action::Run);
    EXPECT_EQ(none.options.frames, -1);  // defaults: the program behaves as always
    EXPECT_FALSE(none.options.headless);
    EXPECT_EQ(none.options.clockStep, 0.0);

    CommandLine all = ParseCommandLine({"--frames", "3", "--screenshot=out.png", "--headless", "--clock-step",
                                        "0.016666666666666666", "-C", "run dir", "extra", "--", "--frames"});
    ASSERT_EQ(all.action, CommandLine::Action::Run) << all.error;
    EXPECT_EQ(all.options.frames, 3);
    EXPECT_EQ(all.options.screenshotPath, "out.png");
    EXPECT_TRUE(all.options.headless);
    EXPECT_DOUBLE_EQ(all.options.clockStep, 1.0 / 60.0);
    EXPECT_EQ(all.directory, "run dir");
    EXPECT_EQ(all.programArgs, "extra --frames");  // after "--" nothing is an option

    EXPECT_EQ(ParseCommandLine({"-Cassets"}).directory, "assets");
    EXPECT_EQ(ParseCommandLine({"--frames=1", "--version"}).action, CommandLine::Action::Version);
    EXPECT_EQ(ParseCommandLine({"--help", "--bogus"}).action, CommandLine::Action::Help);
}

TEST(CommandLineTest, MistakesAreErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},           {"-x"},
        {"--frames"},          {"--frames", "0"},
        {"--frames", "-2"},    {"--frames", "3x"},
        {"--frames", ""},      {"--frames", "99999999999999999999"},
        {"--clock-step", "0"}, {"--clock-step", "nan"},
        {"--clock-step", "inf"}, {"--clock-step", "1s"},
        {"--screenshot="},     {"--headless=yes"},
        {"-C"},                {"-C", ""},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
        CommandLine parsed = ParseCommandLine(args);
        EXPECT_EQ(parsed.action, CommandLine::Action::Error);
        EXPECT_FALSE(parsed.error.empty());
    }
}

// A program's own options reach it with their values, in order, beside the runner options; a switch of its own
// takes no value, an option with a value needs one, and anything else is still a mistake.
TEST(CommandLineTest, AProgramsOwnOptionsGoToItWithTheirValues) {
    tarn::platform::ProgramUsage usage;
    usage.arguments = "SCENE.TRS";
    usage.summary = "Shows a scene.";
    usage.options = {{"--camera", "N", "start from camera N"}, {"--paused", nullptr, "start with animation paused"}};
    usage.notes = "Keys: C, W.";

    CommandLine parsed = ParseCommandLine(
        {"--camera", "1", "--headless", "a b.TRS", "--paused", "--camera=2", "--frames=4", "--", "--paused"}, &usage);
    ASSERT_EQ(parsed.action, CommandLine::Action::Run) << parsed.error;
    EXPECT_TRUE(parsed.options.headless);
    EXPECT_EQ(parsed.options.frames, 4);
    EXPECT_EQ(parsed.programArgList,
              (std::vector<std::string>{"--camera", "1", "a b.TRS", "--paused", "--camera", "2", "--", "--paused"}));
    EXPECT_EQ(parsed.programArgs, "--camera 1 \"a b.TRS\" --paused --camera 2 -- --paused");

    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--camera"}, {"--paused=1"}, {"--bogus"}, {"--frame", "3"}}) {
        SCOPED_TRACE(args[0]);
        EXPECT_EQ(ParseCommandLine(args, &usage).action, CommandLine::Action::Error);
    }
    // Without a usage of its own a program takes no options, and "--" stays the runner's.
    EXPECT_EQ(ParseCommandLine({"--camera", "1"}).action, CommandLine::Action::Error);
    EXPECT_EQ(ParseCommandLine({"--", "x"}).programArgList, (std::vector<std::string>{"x"}));

    const std::string help = tarn::platform::UsageText("tarn-view", &usage);
    EXPECT_EQ(help.rfind("Usage: tarn-view [options] SCENE.TRS\nShows a scene.\nOptions:\n", 0), 0u) << help;
    EXPECT_NE(help.find("  --camera N            start from camera N\n"), std::string::npos) << help;
    EXPECT_NE(help.find("  --paused              start with animation paused\n"), std::string::npos) << help;
    EXPECT_LT(help.find("--paused"), help.find("Runner options:\n  --frames N"));
    EXPECT_NE(help.find("--version             show the version\nKeys: C, W.\n"), std::string::npos) << help;
    EXPECT_EQ(tarn::platform::UsageText("p").rfind("Usage: p [options]\n  --frames N", 0), 0u);
}

}  // namespace
