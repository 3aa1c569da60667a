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

}  // namespace
