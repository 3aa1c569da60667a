// tarn-view run headless as a child process with a fixed clock step, on the generated sea floor and on a small
// scene written here (two cameras, a sliding box): that the framed view holds the whole scene, that each camera
// shows its own picture, that the animation changes the picture while it plays and not while it is paused, that
// the water effects tint and ripple it, and the start-up mistakes. Frames are compared with stored references as
// tests/demo does (a 4 x 4 box average, then a mean difference within 1.5 and 99.5 % of the pixels within 24);
// TARN_UPDATE_REFERENCES=1 rewrites them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/demo/ProgramRunner.h"
#include "tests/tools/view/ViewerTestScenes.h"

namespace fs = std::filesystem;
using namespace tarn::demotest;

namespace {

const std::string kProgram = VIEW_PROGRAM;
const std::string kRuntime = VIEW_RUNTIME_DIR;
const std::string kReferences = VIEW_REFERENCE_DIR;
const std::string kSeaFloor = kRuntime + "/SeaSimpleMap.TRS";
// The viewer's background, 0x303840.
constexpr int kBackground[3] = {0x30, 0x38, 0x40};

// Leak reports of the Direct3D layer reach standard error (see tests/demo).
const bool kDiagnosticsOn = setenv("TARN_REG_D3DXDoNotMute", "1", 1) == 0;

const std::string& SmallScene() {
    static const std::string path = [] {
        const std::string file = MakeTempDirectory() + "/TwoCameras.TRS";
        if (!tarn::trs::WriteTrsFile(tarn::viewtest::TwoCameraScene(), file)) ADD_FAILURE() << "cannot write " << file;
        return file;
    }();
    return path;
}

struct Frame {
    RunResult run;
    RgbaImage image;
};

// `frames` frames at 1/20 s of clock each (every frame accepted; frame k at k / 20 s), the last one kept.
Frame View(const std::string& scene, int frames, std::vector<std::string> options = {}) {
    Frame frame;
    const std::string shot = MakeTempDirectory();
    std::vector<std::string> args = {"--headless",   "--clock-step",     "0.05", "--frames", std::to_string(frames),
                                     "--screenshot", shot + "/frame.png"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(scene);
    frame.run = RunProgram(kProgram, args, 300);
    ReadPng(shot + "/frame.png", &frame.image);
    RemoveTree(shot);
    return frame;
}

bool IsBackground(const std::uint8_t* p) {
    return std::abs(p[0] - kBackground[0]) + std::abs(p[1] - kBackground[1]) + std::abs(p[2] - kBackground[2]) <= 3;
}

double MeanDifference(const RgbaImage& a, const RgbaImage& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) sum += std::abs(a.pixels[i] - b.pixels[i]);
    return sum / static_cast<double>(a.pixels.size());
}

void ExpectCleanRun(const Frame& frame) {
    EXPECT_EQ(frame.run.status, 0) << frame.run.errors;
    EXPECT_EQ(frame.run.errors.find("[Error]"), std::string::npos) << frame.run.errors;
    EXPECT_TRUE(kDiagnosticsOn);
    EXPECT_EQ(frame.run.errors.find("still alive"), std::string::npos) << frame.run.errors;
    ASSERT_EQ(frame.image.width, 800) << frame.run.errors;
    ASSERT_EQ(frame.image.height, 600);
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
    ASSERT_EQ(reference.width, small.width);
    ASSERT_EQ(reference.height, small.height);
    const ReferenceDistance distance = DistanceToReference(small, reference);
    EXPECT_LE(distance.mean, kReferenceMean) << name;
    EXPECT_LE(distance.percentile, kReferencePercentile) << name;
}

// The framed view: nothing of the scene touches the picture's edges (a border of background all round), and the
// scene fills a good part of the picture.
void ExpectFramed(const RgbaImage& image) {
    int left = image.width, right = -1, top = image.height, bottom = -1;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            if (IsBackground(image.at(x, y))) continue;
            left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
        }
    ASSERT_GE(right, 0) << "nothing drawn";
    EXPECT_GT(left, 0);
    EXPECT_GT(top, 0);
    EXPECT_LT(right, image.width - 1);
    EXPECT_LT(bottom, image.height - 1);
    EXPECT_GT(std::max((right - left) / double(image.width), (bottom - top) / double(image.height)), 0.6);
}

TEST(ViewerProgramTest, TheSeaFloorIsFramedWhole) {
    const Frame frame = View(kSeaFloor, 10);
    ExpectCleanRun(frame);
    ExpectFramed(frame.image);
    CompareWithReference(frame, "view_seafloor");
}

TEST(ViewerProgramTest, TheSmallSceneIsFramedWholeAndEachCameraShowsItsOwnPicture) {
    const Frame framed = View(SmallScene(), 4, {"--paused"});
    ExpectCleanRun(framed);
    ExpectFramed(framed.image);
    CompareWithReference(framed, "view_framed");

    const Frame front = View(SmallScene(), 4, {"--paused", "--camera", "0"});
    const Frame side = View(SmallScene(), 4, {"--paused", "--camera", "1"});
    ExpectCleanRun(front);
    ExpectCleanRun(side);
    CompareWithReference(front, "view_camera0");
    CompareWithReference(side, "view_camera1");
    EXPECT_GT(MeanDifference(front.image, side.image), 10.0);
    EXPECT_GT(MeanDifference(front.image, framed.image), 5.0);
}

// Playing, the slider moves between frame 10 (0.5 s) and frame 20 (1 s); paused, the two pictures are the same.
TEST(ViewerProgramTest, TheAnimationMovesThePictureOnlyWhilePlaying) {
    const Frame early = View(SmallScene(), 10, {"--camera", "0"});
    const Frame late = View(SmallScene(), 20, {"--camera", "0"});
    ExpectCleanRun(early);
    ExpectCleanRun(late);
    EXPECT_GT(MeanDifference(early.image, late.image), 0.5);

    const Frame stillEarly = View(SmallScene(), 10, {"--camera", "0", "--paused"});
    const Frame stillLate = View(SmallScene(), 20, {"--camera", "0", "--paused"});
    ExpectCleanRun(stillEarly);
    ExpectCleanRun(stillLate);
    EXPECT_EQ(stillEarly.image.pixels, stillLate.image.pixels);
}

// The water: the sea's clear colour under a blue tint where nothing is drawn, caustics on the scene, and the
// picture rippled (the reference holds the ripple and the caustics). The clear colour (0, 64, 128) plus the
// tint's 77 of blue is (0, 64, 205).
TEST(ViewerProgramTest, TheWaterEffectsTintAndRippleTheScene) {
    const Frame plain = View(SmallScene(), 6, {"--paused", "--camera", "0"});
    const Frame water = View(SmallScene(), 6, {"--paused", "--camera", "0", "--water"});
    ExpectCleanRun(plain);
    ExpectCleanRun(water);
    CompareWithReference(water, "view_water");
    const std::uint8_t* corner = water.image.at(2, 2);
    EXPECT_LE(std::abs(corner[0] - 0) + std::abs(corner[1] - 64) + std::abs(corner[2] - 205), 3)
        << int(corner[0]) << "," << int(corner[1]) << "," << int(corner[2]);
    // The tint adds 77 of blue to everything the first pass drew, the scene included.
    int minBlue = 255;
    for (std::size_t i = 0; i < water.image.pixels.size(); i += 4)
        minBlue = std::min<int>(minBlue, water.image.pixels[i + 2]);
    EXPECT_GE(minBlue, 77);
    EXPECT_GT(MeanDifference(plain.image, water.image), 20.0);
}

TEST(ViewerProgramTest, StartUpMistakesSayWhatAndEndWithStatusOne) {
    struct Case {
        std::vector<std::string> args;
        const char* said;
    } const kCases[] = {
        {{"/nonexistent/scene.TRS"}, "/nonexistent/scene.TRS"},
        {{}, "no scene file given"},
        {{SmallScene(), "--camera", "7"}, "there is no camera 7"},
        {{SmallScene(), "--size", "12"}, "--size needs WIDTHxHEIGHT"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.said);
        std::vector<std::string> args = {"--headless", "--frames", "2"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult run = RunProgram(kProgram, args, 120);
        EXPECT_EQ(run.status, 1) << run.errors;
        EXPECT_NE(run.errors.find(c.said), std::string::npos) << run.errors;
    }
    const RunResult unknown = RunProgram(kProgram, {"--headless", "--bogus", SmallScene()}, 60);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.errors.find("unknown option --bogus"), std::string::npos) << unknown.errors;
}

// Without the caustic frames the viewer still shows the scene, and says once why the water is missing.
TEST(ViewerProgramTest, WithoutTheCausticFramesTheSceneStillShows) {
    const Frame frame = View(SmallScene(), 3, {"--paused", "--water", "--water-dir", "/nonexistent"});
    EXPECT_EQ(frame.run.status, 0) << frame.run.errors;
    EXPECT_NE(frame.run.errors.find("no water effects: /nonexistent/Water/caust0.tga"), std::string::npos)
        << frame.run.errors;
    ASSERT_EQ(frame.image.width, 800);
    ExpectFramed(frame.image);
}

}  // namespace
