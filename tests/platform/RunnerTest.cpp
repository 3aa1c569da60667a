// What happens after each Present: frame counting, the Nth-frame screenshot and close, the exit screenshot, and
// PNG writing read back with libpng.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "PresentPath.h"
#include "platform/Runner.h"
#include "platform/RunnerControl.h"
#include "platform/win32/Win32.h"

namespace {

namespace fs = std::filesystem;

struct Png {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
};

bool ReadPng(const std::string& path, Png* out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    out->width = static_cast<int>(image.width);
    out->height = static_cast<int>(image.height);
    out->rgba.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out->rgba.data(), 0, nullptr) != 0;
}

// A frame whose pixel (x, y) encodes its position and the frame number.
struct FrameSource {
    int frame = 0;
    int reads = 0;
};
bool ReadFrame(void* context, int width, int height, std::uint8_t* rgba) {
    auto* source = static_cast<FrameSource*>(context);
    ++source->reads;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = rgba + (static_cast<std::size_t>(y) * width + x) * 4;
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = static_cast<std::uint8_t>(source->frame);
            p[3] = 255;
        }
    }
    return true;
}

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class RunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = tarn::platform::Runner();
        tarn::platform::Runner().headless = true;
        tarn::platform::ResetPresentedFrames();
        char pattern[] = "/tmp/tarn-runner-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "Runner Test";
        RegisterClassExA(&wc);
        window_ = CreateWindowExA(0, "Runner Test", "", WS_POPUP, 0, 0, 8, 4, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        if (IsWindow(window_)) {
            DestroyWindow(window_);
        }
        UnregisterClassA("Runner Test", nullptr);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        tarn::platform::Runner() = saved_;
        tarn::platform::ResetPresentedFrames();
        fs::remove_all(dir_);
    }
    tarn::platform::RunnerOptions saved_;
    fs::path dir_;
    HWND window_ = nullptr;
};

TEST_F(RunnerTest, NthFrameIsSavedAndClosesItsWindowOnce) {
    auto& options = tarn::platform::Runner();
    options.frames = 3;
    options.screenshotPath = (dir_ / "shot.png").string();
    FrameSource source;
    for (source.frame = 1; source.frame <= 5; ++source.frame) {
        tarn::platform::FramePresented(window_, 8, 4, ReadFrame, &source);
    }
    EXPECT_EQ(tarn::platform::PresentedFrames(window_), 5);
    EXPECT_TRUE(tarn::platform::SaveFinalScreenshot());  // already written: nothing left to do
    EXPECT_EQ(source.reads, 1);  // pixels are read only for the frame that is saved
    Png png;
    ASSERT_TRUE(ReadPng(options.screenshotPath, &png));
    EXPECT_EQ(png.width, 8);
    EXPECT_EQ(png.height, 4);
    EXPECT_EQ(png.rgba[(2 * 8 + 5) * 4 + 0], 5);  // x of pixel (5, 2)
    EXPECT_EQ(png.rgba[(2 * 8 + 5) * 4 + 1], 2);  // y: top row first
    EXPECT_EQ(png.rgba[2], 3);                    // the third frame

    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, window_, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_CLOSE));
    EXPECT_FALSE(PeekMessageA(&msg, window_, 0, 0, PM_REMOVE));  // only one close
    DispatchMessageA(&msg);
    EXPECT_FALSE(IsWindow(window_));
}

TEST_F(RunnerTest, ProgramEndingBeforeTheNthFrameReportsTheMissingScreenshot) {
    auto& options = tarn::platform::Runner();
    options.frames = 10;
    options.screenshotPath = (dir_ / "never.png").string();
    FrameSource source;
    tarn::platform::FramePresented(window_, 8, 4, ReadFrame, &source);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(tarn::platform::SaveFinalScreenshot());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("never.png not written"), std::string::npos);
    EXPECT_FALSE(fs::exists(options.screenshotPath));
}

TEST_F(RunnerTest, WithoutFramesTheLastFrameIsWrittenAtExit) {
    auto& options = tarn::platform::Runner();
    options.screenshotPath = (dir_ / "last.png").string();
    EXPECT_FALSE(tarn::platform::SaveFinalScreenshot());  // nothing presented yet
    FrameSource source;
    for (source.frame = 1; source.frame <= 4; ++source.frame) {
        tarn::platform::FramePresented(window_, 8, 4, ReadFrame, &source);
    }
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, window_, 0, 0, PM_REMOVE));  // no close without --frames
    ASSERT_TRUE(tarn::platform::SaveFinalScreenshot());
    Png png;
    ASSERT_TRUE(ReadPng(options.screenshotPath, &png));
    EXPECT_EQ(png.rgba[2], 4);
}

TEST_F(RunnerTest, SavePngHonoursStrideAndReportsUnwritablePaths) {
    // 3 x 2 image in rows of 16 bytes (4 bytes of padding each).
    std::vector<std::uint8_t> rows(32, 0xEE);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            std::uint8_t* p = &rows[static_cast<std::size_t>(y) * 16 + static_cast<std::size_t>(x) * 4];
            p[0] = static_cast<std::uint8_t>(10 * x);
            p[1] = static_cast<std::uint8_t>(100 + y);
            p[2] = 7;
            p[3] = static_cast<std::uint8_t>(x == 1 ? 0 : 255);
        }
    }
    std::string path = (dir_ / "stride.png").string();
    ASSERT_TRUE(tarn::platform::SavePng(path.c_str(), 3, 2, rows.data(), 16));
    Png png;
    ASSERT_TRUE(ReadPng(path, &png));
    ASSERT_EQ(png.rgba.size(), 24u);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            const std::uint8_t* p = &png.rgba[static_cast<std::size_t>(y * 3 + x) * 4];
            EXPECT_EQ(p[0], 10 * x);
            EXPECT_EQ(p[1], 100 + y);
            EXPECT_EQ(p[3], x == 1 ? 0 : 255);  // alpha kept as is
        }
    }
    testing::internal::CaptureStderr();
    EXPECT_FALSE(tarn::platform::SavePng((dir_ / "no/such/dir.png").c_str(), 3, 2, rows.data(), 16));
    EXPECT_FALSE(tarn::platform::SavePng(path.c_str(), 3, 2, rows.data(), 8));  // stride shorter than a row
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
