// Runner options and what the Direct3D layer reports after each Present: frames are counted per window; the Nth
// frame of --frames is saved (with --screenshot) and WM_CLOSE is posted to its window. Without --frames the last
// presented frame is kept and written when the program ends (SaveFinalScreenshot, called by main), which also
// reports a --frames screenshot that was never taken because the program ended first.
#include "PresentPath.h"
#include "platform/Runner.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/RunnerControl.h"
#include "IdleWait.h"
#include "platform/win32/Win32.h"

namespace tarn::platform {
namespace {

struct FrameState {
    std::mutex mutex;
    std::map<HWND__*, long> presented;
    std::vector<std::uint8_t> lastFrame;  // kept only without --frames, for the screenshot at exit
    int lastWidth = 0;
    int lastHeight = 0;
    bool shotWritten = false;  // the Nth frame of --frames was saved
};

FrameState& Frames() {
    static FrameState state;
    return state;
}

}  // namespace

RunnerOptions& Runner() {
    static RunnerOptions options;
    return options;
}

namespace {
std::string& DataDirectoryStore() {
    static std::string directory;
    return directory;
}
}  // namespace

void SetDataDirectory(const char* relativeToExecutable) {
    DataDirectoryStore() = relativeToExecutable != nullptr ? relativeToExecutable : "";
}

const std::string& DataDirectory() { return DataDirectoryStore(); }

namespace {
std::unique_ptr<ProgramUsage>& ProgramUsageStore() {
    static std::unique_ptr<ProgramUsage> usage;
    return usage;
}
}  // namespace

void SetProgramUsage(const ProgramUsage& usage) { ProgramUsageStore() = std::make_unique<ProgramUsage>(usage); }

const ProgramUsage* CurrentProgramUsage() { return ProgramUsageStore().get(); }

std::vector<std::string>& ProgramArguments() {
    static std::vector<std::string> arguments;
    return arguments;
}

void FramePresented(HWND__* window, int width, int height, FrameReader readPixels, void* context) {
    detail::Pacer().Presented(detail::MonotonicNow());
    const RunnerOptions& options = Runner();
    FrameState& state = Frames();
    long count = 0;
    {
        std::lock_guard lock(state.mutex);
        count = ++state.presented[window];
    }
    bool wantShot = !options.screenshotPath.empty() && readPixels != nullptr && width > 0 && height > 0;
    if (options.frames <= 0) {
        if (wantShot) {
            std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
            if (readPixels(context, width, height, pixels.data())) {
                std::lock_guard lock(state.mutex);
                state.lastFrame = std::move(pixels);
                state.lastWidth = width;
                state.lastHeight = height;
            }
        }
        return;
    }
    if (count != options.frames) {
        return;  // frames after the Nth (before the close is handled) change nothing
    }
    if (wantShot) {
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
        if (readPixels(context, width, height, pixels.data())) {
            bool written = SavePng(options.screenshotPath.c_str(), width, height, pixels.data(),
                                   static_cast<std::size_t>(width) * 4);
            std::lock_guard lock(state.mutex);
            state.shotWritten = written;
        } else {
            std::fprintf(stderr, "screenshot: could not read the presented frame\n");
        }
    }
    if (window != nullptr && IsWindow(window)) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    } else {
        PostQuitMessage(0);  // nothing to close: end the loop instead
    }
}

long PresentedFrames(HWND__* window) {
    std::lock_guard lock(Frames().mutex);
    auto it = Frames().presented.find(window);
    return it == Frames().presented.end() ? 0 : it->second;
}

void ResetPresentedFrames() {
    std::lock_guard lock(Frames().mutex);
    Frames().presented.clear();
    Frames().lastFrame.clear();
    Frames().lastWidth = Frames().lastHeight = 0;
    Frames().shotWritten = false;
}

bool SaveFinalScreenshot() {
    const RunnerOptions& options = Runner();
    if (options.screenshotPath.empty()) {
        return true;
    }
    std::lock_guard lock(Frames().mutex);
    FrameState& state = Frames();
    if (options.frames > 0) {
        if (!state.shotWritten) {
            std::fprintf(stderr, "screenshot: frame %ld was never saved; %s not written\n", options.frames,
                         options.screenshotPath.c_str());
        }
        return state.shotWritten;
    }
    if (state.lastFrame.empty()) {
        std::fprintf(stderr, "screenshot: no frame was presented; %s not written\n", options.screenshotPath.c_str());
        return false;
    }
    return SavePng(options.screenshotPath.c_str(), state.lastWidth, state.lastHeight, state.lastFrame.data(),
                   static_cast<std::size_t>(state.lastWidth) * 4);
}

bool SavePng(const char* path, int width, int height, const std::uint8_t* rgba, std::size_t stride) {
    if (path == nullptr || rgba == nullptr || width <= 0 || height <= 0 ||
        stride < static_cast<std::size_t>(width) * 4) {
        std::fprintf(stderr, "SavePng: invalid image for %s\n", path != nullptr ? path : "(null)");
        return false;
    }
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "SavePng: cannot open %s for writing: %s\n", path, std::strerror(errno));
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(file);
        std::fprintf(stderr, "SavePng: out of memory writing %s\n", path);
        return false;
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(rgba + static_cast<std::size_t>(y) * stride);
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        std::fprintf(stderr, "SavePng: libpng failed writing %s\n", path);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) {
        std::fprintf(stderr, "SavePng: error closing %s\n", path);
        return false;
    }
    return true;
}

}  // namespace tarn::platform
