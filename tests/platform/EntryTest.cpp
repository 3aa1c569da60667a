// The process entry end to end: a small program with its own WinMain, run with options.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

struct ProbeRun {
    int status = -1;
    std::string out;
};

// `environment` prefixes the command (for example "SDL_VIDEODRIVER=offscreen", a display without a screen).
ProbeRun RunProbe(const std::string& args, const std::string& environment = "SDL_VIDEODRIVER=offscreen",
                  const char* probe = TARN_ENTRY_PROBE) {
    ProbeRun run;
    std::string command = "env " + environment + " '" + probe + "' " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 512> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
        run.out += buffer.data();
    }
    int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

TEST(EntryTest, OptionsReachTheProgramAndWinMainsValueIsTheExitStatus) {
    ProbeRun plain = RunProbe("");
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(plain.out.find("instance=1 previous=0 show=10"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("frames=-1 headless=0 step=0 shot=\n"), std::string::npos) << plain.out;

    ProbeRun full = RunProbe("--headless --frames 5 --clock-step 0.5 --screenshot a.png -C / exit=7");
    EXPECT_EQ(full.status, 7);
    EXPECT_NE(full.out.find("cmdline=[exit=7]"), std::string::npos) << full.out;
    EXPECT_NE(full.out.find("cwd=/\n"), std::string::npos) << full.out;
    EXPECT_NE(full.out.find("frames=5 headless=1 step=0.5 shot=a.png"), std::string::npos) << full.out;
}

// Without a display a program asked to show its window says so and ends with status 1 rather than drawing unseen
// forever; --headless is what draws off screen.
TEST(EntryTest, NoDisplayWithoutHeadlessEndsWithStatusOne) {
    const std::string noDisplay = "-u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER";
    ProbeRun refused = RunProbe("--frames 3", noDisplay);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("no display to show the window on"), std::string::npos) << refused.out;
    EXPECT_NE(refused.out.find("--headless"), std::string::npos) << refused.out;
    EXPECT_EQ(refused.out.find("cmdline="), std::string::npos) << refused.out;

    ProbeRun headless = RunProbe("--headless", noDisplay);
    EXPECT_EQ(headless.status, 0);
    EXPECT_NE(headless.out.find("headless=1"), std::string::npos) << headless.out;
}

// A program with a data folder runs in it from wherever it is started, and a relative screenshot path still means
// the starting directory; -C overrides the data folder.
TEST(EntryTest, AProgramWithADataFolderRunsInItFromAnyDirectory) {
    const std::filesystem::path data = std::filesystem::path(TARN_ENTRY_DATA_PROBE).parent_path() / "entry_probe_data";
    std::filesystem::create_directories(data);
    // env --chdir=/ starts the probe in /.
    ProbeRun installed = RunProbe("--headless --screenshot shot.png exit=3", "--chdir=/", TARN_ENTRY_DATA_PROBE);
    EXPECT_EQ(installed.status, 3) << installed.out;
    EXPECT_NE(installed.out.find("cwd=" + std::filesystem::canonical(data).string() + "\n"), std::string::npos)
        << installed.out;
    EXPECT_NE(installed.out.find("shot=/shot.png"), std::string::npos) << installed.out;

    ProbeRun chosen = RunProbe("--headless -C /tmp --screenshot shot.png", "--chdir=/", TARN_ENTRY_DATA_PROBE);
    EXPECT_EQ(chosen.status, 0) << chosen.out;
    EXPECT_NE(chosen.out.find("cwd=/tmp\n"), std::string::npos) << chosen.out;
    EXPECT_NE(chosen.out.find("shot=shot.png"), std::string::npos) << chosen.out;

    std::filesystem::remove(data);
    ProbeRun missing = RunProbe("--headless", "--chdir=/", TARN_ENTRY_DATA_PROBE);
    EXPECT_EQ(missing.status, 2) << missing.out;
    EXPECT_NE(missing.out.find("cannot change to directory"), std::string::npos) << missing.out;
    EXPECT_EQ(missing.out.find("cmdline="), std::string::npos) << missing.out;
}

TEST(EntryTest, InformationAndMistakesNeverReachWinMain) {
    struct Case {
        const char* args;
        int status;
        const char* expected;
    } cases[] = {
        {"--version", 0, "Tarn Engine 1.0\n"},
        {"--help", 0, "--clock-step SECONDS"},
        {"--bogus", 2, "unknown option --bogus"},
        {"--frames x", 2, "Usage:"},
        {"-C /no/such/directory/here", 2, "cannot change to directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        ProbeRun run = RunProbe(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("cmdline="), std::string::npos);
    }
}

}  // namespace
