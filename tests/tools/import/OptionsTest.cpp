#include <gtest/gtest.h>

#include "tools/import/Import.h"

using namespace tarn::import;

namespace {

TEST(ImportOptions, DefaultsWithOnlyAModel) {
    const ParseResult r = ParseArguments({"model.glb"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(r.help);
    EXPECT_EQ(r.options.model, "model.glb");
    EXPECT_EQ(r.options.outputDir, ".");
    EXPECT_EQ(r.options.up, UpAxis::Y);
    EXPECT_EQ(r.options.scale, 1);
    EXPECT_FALSE(r.options.keepImages);
    EXPECT_EQ(r.options.animation, 0u);
    EXPECT_EQ(r.options.sampleRate, 30);
    EXPECT_EQ(r.options.maxMemoryMb, 2048u);
    EXPECT_EQ(r.options.maxSeconds, 60u);
}

TEST(ImportOptions, EveryOptionTakesItsValue) {
    const ParseResult r =
        ParseArguments({"-o", "out", "--up", "z", "--scale", "0.01", "--keep-images", "--animation", "2", "--key-rate",
                        "60", "--max-memory", "512", "--max-time", "7", "-j", "3", "--stats", "m.obj"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.outputDir, "out");
    EXPECT_EQ(r.options.up, UpAxis::Z);
    EXPECT_DOUBLE_EQ(r.options.scale, 0.01);
    EXPECT_TRUE(r.options.keepImages);
    EXPECT_EQ(r.options.animation, 2u);
    EXPECT_EQ(r.options.sampleRate, 60);
    EXPECT_EQ(r.options.maxMemoryMb, 512u);
    EXPECT_EQ(r.options.maxSeconds, 7u);
    EXPECT_EQ(r.options.jobs, 3u);
    EXPECT_TRUE(r.options.stats);
    EXPECT_EQ(r.options.model, "m.obj");
}

TEST(ImportOptions, HelpStopsParsing) {
    const ParseResult r = ParseArguments({"--bogus", "--help"});
    EXPECT_FALSE(r.ok);  // the unknown option comes first
    const ParseResult h = ParseArguments({"--help", "--bogus"});
    EXPECT_TRUE(h.ok);
    EXPECT_TRUE(h.help);
}

TEST(ImportOptions, RefusesWithOneLineReason) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } const kCases[] = {
        {{}, "no model"},
        {{"a.obj", "b.obj"}, "one model at a time"},
        {{"--up", "x", "m"}, "--up takes y or z"},
        {{"m", "--up"}, "--up needs"},
        {{"--scale", "0", "m"}, "--scale"},
        {{"--scale", "nan", "m"}, "--scale"},
        {{"--scale", "2x", "m"}, "--scale"},
        {{"--animation", "-1", "m"}, "--animation"},
        {{"--key-rate", "5000", "m"}, "--key-rate"},
        {{"--max-memory", "10", "m"}, "--max-memory"},
        {{"--max-time", "0", "m"}, "--max-time"},
        {{"-j", "0", "m"}, "-j"},
        {{"-o", "", "m"}, "-o needs"},
        {{"--frobnicate", "m"}, "unknown option --frobnicate"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.says);
        const ParseResult r = ParseArguments(c.args);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos);
    }
}

TEST(ImportOptions, UsageNamesEveryOption) {
    const std::string usage = UsageText();
    for (const char* option : {"-o DIR", "--up", "--scale", "--keep-images", "--animation", "--key-rate",
                               "--max-memory", "--max-time", "-j N", "--stats", "--help"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

}  // namespace
