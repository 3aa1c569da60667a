// The real seascene program, run headless with a fixed clock step: start-up failures and their texts, a clean
// run and exit, what the frames show (tint, fog, ripple) and stored reference frames.
//
// Reference frames are compared after a 4 x 4 box average (200 x 150): the mean absolute difference per channel
// must stay within 1.5 and 99.5 % of the averaged pixels within 24. Software rasterisers differ between versions
// and processors in the last bit of interpolated values and in which pixels a triangle edge covers; averaging
// absorbs such single-pixel differences, while a wrong camera, caustic frame, tint, fog or scene changes the mean
// by far more. TARN_UPDATE_REFERENCES=1 rewrites the stored frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "ProgramRunner.h"

namespace fs = std::filesystem;
using namespace tarn::demotest;

namespace {

const std::string kProgram = SEASCENE_PROGRAM;
const std::string kRuntime = SEASCENE_RUNTIME_DIR;
const std::string kReferences = SEASCENE_REFERENCE_DIR;
const std::string kReadmePicture = SEASCENE_README_PICTURE;

// The children inherit this: the extension library then never mutes the Direct3D layer's diagnostics, so a leak
// report at device destruction always reaches standard error.
const bool kDiagnosticsOn = setenv("TARN_REG_D3DXDoNotMute", "1", 1) == 0;

std::string Step(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9f", seconds);
    return text;
}

// A working directory holding links to the generated data, except the listed files.
std::string DataDirectoryWithout(const std::vector<std::string>& missing) {
    const std::string dir = MakeTempDirectory();
    fs::create_directories(dir + "/Water");
    for (const auto& entry : fs::recursive_directory_iterator(kRuntime)) {
        if (!entry.is_regular_file()) continue;
        const std::string relative = fs::relative(entry.path(), kRuntime).string();
        if (std::find(missing.begin(), missing.end(), relative) != missing.end()) continue;
        fs::create_symlink(entry.path(), dir + "/" + relative);
    }
    return dir;
}

bool ReportsLeaks(const std::string& errors) {
    EXPECT_TRUE(kDiagnosticsOn);
    std::string lower = errors;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.find("leak") != std::string::npos || lower.find("still alive") != std::string::npos;
}

struct Frame {
    RunResult run;
    RgbaImage image;
};

// Runs `frames` frames with the counter advancing `step` seconds per read (as written on the command line) and
// returns the last one. With a step above 1/60 s every frame-rate update accepts a frame, so frame k is drawn at
// frame time k * step.
Frame RunFrames(int frames, const std::string& step, const std::string& dir = kRuntime) {
    Frame frame;
    const std::string shot = MakeTempDirectory();
    frame.run = RunProgram(kProgram, {"--headless", "--clock-step", step, "--frames", std::to_string(frames),
                                      "--screenshot", shot + "/frame.png", "-C", dir});
    ReadPng(shot + "/frame.png", &frame.image);
    RemoveTree(shot);
    return frame;
}

Frame RunFrames(int frames, double step, const std::string& dir = kRuntime) {
    return RunFrames(frames, Step(step), dir);
}

double ColourDistance(const std::uint8_t* p, int r, int g, int b) {
    return std::abs(p[0] - r) + std::abs(p[1] - g) + std::abs(p[2] - b);
}

// ---- Start-up failures ----

TEST(ProgramTest, StartupFailuresShowTheirTextThenTheGenericOneAndExitWithOne) {
    struct Case {
        const char* what;
        std::vector<std::string> missing;
        bool truncateScene;
        const char* text;
    } const kCases[] = {
        {"no scene file", {"SeaSimpleMap.TRS"}, false, "SimpleMap.TRS파일 읽기 실패"},
        {"truncated scene file", {"SeaSimpleMap.TRS"}, true, "SimpleMap.TRS파일 읽기 실패"},
        {"first caustic frame missing", {"Water/caust0.tga"}, false, "CTRWaterImage 생성 실패"},
        {"caustic frame 7 missing", {"Water/caust7.tga"}, false, "CTRWaterImage 생성 실패"},
        {"last caustic frame missing", {"Water/caust31.tga"}, false, "CTRWaterImage 생성 실패"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const std::string dir = DataDirectoryWithout(c.missing);
        if (c.truncateScene) {
            std::ifstream in(kRuntime + "/SeaSimpleMap.TRS", std::ios::binary);
            std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::ofstream(dir + "/SeaSimpleMap.TRS", std::ios::binary).write(bytes.data(), bytes.size() / 2);
        }
        const RunResult run = RunProgram(kProgram, {"--headless", "--frames", "3", "-C", dir}, 120);
        RemoveTree(dir);
        EXPECT_EQ(run.status, 1) << run.errors;
        const std::size_t own = run.errors.find(std::string("[Error] ") + c.text);
        const std::size_t generic = run.errors.find("[Error] Initialize() Fail!\n");
        ASSERT_NE(own, std::string::npos) << run.errors;
        ASSERT_NE(generic, std::string::npos) << run.errors;
        EXPECT_LT(own, generic) << "the step's own text comes first";
        EXPECT_EQ(run.errors.find("[Error]", own + 1), generic) << "exactly two boxes: " << run.errors;
        EXPECT_FALSE(ReportsLeaks(run.errors)) << run.errors;
    }
}

// ---- A normal run ----

TEST(ProgramTest, RunsHeadlessPresentsTheFramesAndExitsCleanly) {
    const Frame frame = RunFrames(30, 1.0 / 30.0);
    EXPECT_EQ(frame.run.status, 0) << frame.run.errors;
    EXPECT_EQ(frame.run.errors.find("[Error]"), std::string::npos) << frame.run.errors;
    EXPECT_FALSE(ReportsLeaks(frame.run.errors)) << frame.run.errors;
    EXPECT_EQ(frame.image.width, 800);
    EXPECT_EQ(frame.image.height, 600);
}

// The tint adds blue 77 (0.3 of 255) at full alpha to everything drawn in the first pass: the open water above the
// horizon, where only the clear colour (0, 64, 128) was, becomes (0, 64, 205); no pixel keeps less than 77 blue.
// Fog takes the floor towards the clear colour with distance, so the rows approaching the horizon approach the
// tinted water colour.
TEST(ProgramTest, FrameIsTintedBlueAndFoggedTowardsTheHorizon) {
    const Frame frame = RunFrames(30, 1.0 / 30.0);
    ASSERT_EQ(frame.image.width, 800);
    const RgbaImage& image = frame.image;
    for (int x = 0; x < 800; x += 7) {
        const std::uint8_t* p = image.at(x, 2);
        ASSERT_LE(ColourDistance(p, 0, 64, 205), 2) << "x " << x << ": " << int(p[0]) << "," << int(p[1]) << ","
                                                    << int(p[2]);
    }
    int minBlue = 255;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) minBlue = std::min(minBlue, int(image.at(x, y)[2]));
    EXPECT_GE(minBlue, 77);

    auto bandDistance = [&](int top, int bottom) {
        double sum = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < 800; ++x) sum += ColourDistance(image.at(x, y), 0, 64, 205);
        return sum / ((bottom - top) * 800.0);
    };
    const double nearBand = bandDistance(520, 580), middleBand = bandDistance(300, 360);
    const double farBand = bandDistance(100, 130), horizon = bandDistance(0, 20);
    EXPECT_GT(nearBand, middleBand);
    EXPECT_GT(middleBand, farBand);
    EXPECT_GT(farBand, horizon);
    EXPECT_GT(nearBand, 60.0) << "the near floor is lit, not fogged";
    EXPECT_LT(horizon, 4.0) << "the far floor vanishes in the fog";
}

// Two runs that reach the same frame time (same camera, same caustic image) with different numbers of frames
// differ only in the wave phase: the picture's border is where it was, interior content moved by the difference
// of the two displacements at each grid vertex.
TEST(ProgramTest, RippleMovesInteriorContentWhileTheBorderStays) {
    const double time = 4.025;  // caustic clock 80.5: mid-image, so both runs show the same caustic image
    const int framesA = 200, framesB = 43;
    const Frame a = RunFrames(framesA, time / framesA);
    const Frame b = RunFrames(framesB, time / framesB);
    ASSERT_EQ(a.image.width, 800) << a.run.errors;
    ASSERT_EQ(b.image.width, 800) << b.run.errors;

    auto meanDifference = [&](auto&& pixels) {
        double sum = 0;
        int n = 0;
        pixels([&](int x, int y) {
            for (int c = 0; c < 3; ++c) sum += std::abs(a.image.at(x, y)[c] - b.image.at(x, y)[c]);
            ++n;
        });
        return sum / (3.0 * n);
    };
    const double border = meanDifference([](auto visit) {
        for (int i = 0; i < 600; ++i) visit(0, i), visit(799, i);
        for (int i = 0; i < 800; ++i) visit(i, 0), visit(i, 599);
    });
    const double interior = meanDifference([](auto visit) {
        for (int y = 300; y < 560; ++y)
            for (int x = 100; x < 700; ++x) visit(x, y);
    });
    EXPECT_LT(border, 3.0);
    EXPECT_GT(interior, 4 * border + 5.0);

    // Measured shift of the content around interior vertices against the displacement difference.
    float phaseA = 0, phaseB = 0;
    for (int i = 0; i < framesA; ++i) phaseA += 0.02f;
    for (int i = 0; i < framesB; ++i) phaseB += 0.02f;
    int checked = 0, matched = 0;
    for (int i = 5; i <= 8; ++i) {
        for (int j = 2; j <= 7; ++j) {
            const float sign = (i % 2) ? -1.0f : 1.0f;
            const float s = static_cast<float>(j % 2);
            const float restX = j * (800.0f / 9.0f), restY = i * (600.0f / 9.0f);
            const float dBx = sign * 5.0f * (std::cos(phaseB) + s), dBy = sign * 5.0f * (std::sin(phaseB) + s);
            const float wantX = sign * 5.0f * (std::cos(phaseA) - std::cos(phaseB));
            const float wantY = sign * 5.0f * (std::sin(phaseA) - std::sin(phaseB));
            const int cx = static_cast<int>(std::lround(restX + dBx)), cy = static_cast<int>(std::lround(restY + dBy));
            long best = -1;
            int bestX = 0, bestY = 0;
            for (int sy = -14; sy <= 14; ++sy)
                for (int sx = -14; sx <= 14; ++sx) {
                    long sad = 0;
                    for (int y = -5; y <= 5; ++y)
                        for (int x = -5; x <= 5; ++x)
                            for (int c = 0; c < 3; ++c)
                                sad += std::abs(b.image.at(cx + x, cy + y)[c] -
                                                a.image.at(cx + x + sx, cy + y + sy)[c]);
                    if (best < 0 || sad < best) best = sad, bestX = sx, bestY = sy;
                }
            ++checked;
            if (std::abs(bestX - wantX) <= 2.0f && std::abs(bestY - wantY) <= 2.0f) ++matched;
        }
    }
    // Flat sand can match anywhere; most vertices sit on enough detail to show the shift.
    EXPECT_GE(matched, checked * 3 / 4) << matched << " of " << checked << " vertices moved as computed";
}

// Sets an environment variable, which programs started meanwhile inherit, and restores it on destruction.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        if (old != nullptr) previous_ = old;
        hadPrevious_ = old != nullptr;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (hadPrevious_) setenv(name_, previous_.c_str(), 1);
        else unsetenv(name_);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// A long run: 1,000 frames with the gate always open. Built with the asan preset this is the sanitizer soak run
// (any report makes the program fail); in every build the resident memory must stay flat once the first frames
// have loaded what they need.
TEST(ProgramTest, ThousandFramesRunCleanlyWithStableMemory) {
    const std::string shot = MakeTempDirectory();
    RunResult run;
    {
        // Under AddressSanitizer freed memory waits in a quarantine (256 MiB by default) before reuse, which makes
        // the resident size climb for reasons of its own; a small quarantine keeps the measurement about the program.
        const char* asanOptions = std::getenv("ASAN_OPTIONS");
        const ScopedEnvironment quarantine(
            "ASAN_OPTIONS", (asanOptions ? std::string(asanOptions) + ":" : std::string()) + "quarantine_size_mb=4");
        // The software rasteriser's worker threads make the resident size jump by megabytes at unforeseeable times
        // all through the run (their allocator arenas and caches); drawing on the program's own thread keeps the
        // measurement about the program.
        const ScopedEnvironment rasteriser("LP_NUM_THREADS", "0");
        run = RunProgram(kProgram,
                         {"--headless", "--clock-step", Step(1.0 / 30.0), "--frames", "1000", "--screenshot",
                          shot + "/frame.png", "-C", kRuntime},
                         590, 100);
    }
    RgbaImage last;
    EXPECT_TRUE(ReadPng(shot + "/frame.png", &last)) << "the 1000th frame was presented";
    RemoveTree(shot);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.errors.find("AddressSanitizer"), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find("runtime error"), std::string::npos) << run.errors;
    EXPECT_FALSE(ReportsLeaks(run.errors)) << run.errors;
    ASSERT_GE(run.residentKiB.size(), 8u) << "too few memory samples";
    // The rasteriser and the allocator keep growing their caches for a while and level off; a leak grows at a
    // steady rate. So the growth over the second half of the run must fall clearly below that over the first half
    // (at most 80 %), unless it is under 4 MiB in all: a leak of about 10 KiB per frame or more fails.
    const std::size_t n = run.residentKiB.size();
    auto peak = [&](std::size_t from, std::size_t to) {
        return *std::max_element(run.residentKiB.begin() + from, run.residentKiB.begin() + to);
    };
    const long start = peak(0, n / 8 + 1), middle = peak(n / 2 - n / 8, n / 2 + 1), end = peak(n - n / 8 - 1, n);
    const long firstHalf = middle - start, secondHalf = end - middle;
    std::printf("resident memory at start, middle and end: %ld, %ld, %ld KiB\n", start, middle, end);
    EXPECT_LE(secondHalf, std::max(4096L, firstHalf * 4 / 5))
        << "resident memory " << start << " -> " << middle << " -> " << end << " KiB";
}

// ---- Reference frames ----

// The reference-frame tolerance (see the top of this file), on two images already averaged 4 x 4.
void ExpectCloseToReference(const RgbaImage& small, const RgbaImage& reference, const std::string& name) {
    ASSERT_EQ(reference.width, small.width);
    ASSERT_EQ(reference.height, small.height);
    const ReferenceDistance distance = DistanceToReference(small, reference);
    EXPECT_LE(distance.mean, kReferenceMean) << name;
    EXPECT_LE(distance.percentile, kReferencePercentile) << name;
}

void CompareWithReference(const Frame& frame, const std::string& name) {
    ASSERT_EQ(frame.image.width, 800) << frame.run.errors;
    ASSERT_EQ(frame.image.height, 600);
    const RgbaImage small = Downsample(frame.image, 4);
    const std::string path = kReferences + "/" + name + ".png";
    if (const char* update = std::getenv("TARN_UPDATE_REFERENCES"); update && std::string(update) == "1") {
        fs::create_directories(kReferences);
        ASSERT_TRUE(WritePng(path, small));
        GTEST_SKIP() << "reference written: " << path;
    }
    RgbaImage reference;
    ASSERT_TRUE(ReadPng(path, &reference)) << "missing reference " << path;
    ExpectCloseToReference(small, reference, name);
}

TEST(ProgramTest, FrameAtOneSecondMatchesItsReference) {
    CompareWithReference(RunFrames(30, 1.0 / 30.0), "seascene_t1");
}

// At frame time pi the eye has gone a quarter turn, from (0, 80, 200) to (200, 80, 0).
TEST(ProgramTest, FrameAtTimePiMatchesItsReference) {
    const Frame atPi = RunFrames(96, std::numbers::pi / 96.0);
    CompareWithReference(atPi, "seascene_tpi");
    const Frame atOne = RunFrames(30, 1.0 / 30.0);
    ASSERT_EQ(atOne.image.width, 800);
    double difference = 0;
    for (std::size_t i = 0; i < atPi.image.pixels.size(); ++i)
        difference += std::abs(atPi.image.pixels[i] - atOne.image.pixels[i]);
    EXPECT_GT(difference / atPi.image.pixels.size(), 5.0) << "the camera moved between t = 1 and t = pi";
}

// The picture the README shows (and the desktop icons are cut from) is the frame its own command draws:
//   seascene --headless --clock-step 0.0333333333 --frames 60 --screenshot docs/seascene.png
// Rerun that command to regenerate it when the frame changes on purpose.
TEST(ProgramTest, ReadmePictureIsTheFrameItsCommandDraws) {
    const Frame frame = RunFrames(60, "0.0333333333");
    ASSERT_EQ(frame.image.width, 800) << frame.run.errors;
    ASSERT_EQ(frame.image.height, 600);
    RgbaImage picture;
    ASSERT_TRUE(ReadPng(kReadmePicture, &picture)) << "missing " << kReadmePicture;
    ASSERT_EQ(picture.width, 800);
    ASSERT_EQ(picture.height, 600);
    ExpectCloseToReference(Downsample(frame.image, 4), Downsample(picture, 4), kReadmePicture);
}

}  // namespace
