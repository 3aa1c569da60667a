// Whether windows are real: SDL's video subsystem, started once, and the headless decision (--headless, on the
// command line or in the runner options, or no display to open).
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/Runner.h"
#include "Win32Internal.h"

namespace tarn::platform::detail {

bool EnsureSdlVideo() {
    static std::mutex mutex;
    static int state = -1;  // -1 not tried, 0 failed, 1 running
    std::lock_guard lock(mutex);
    if (state < 0) {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
        state = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 ? 1 : 0;
        if (state == 1) {
            std::atexit(SDL_Quit);  // closes the display connection and unloads the video driver at exit
        }
        if (state == 0) {
            std::fprintf(stderr, "platform: SDL video cannot start (%s)\n", SDL_GetError());
        }
    }
    return state == 1;
}

namespace {

// --headless on the process's command line, read directly: message boxes of static initialisation (before
// main has parsed the options) must already know that nobody is watching.
bool CommandLineSaysHeadless() {
    static const bool headless = [] {
        FILE* file = std::fopen("/proc/self/cmdline", "rb");
        if (file == nullptr) {
            return false;
        }
        std::string arg;
        bool found = false;
        bool first = true;
        for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
            if (c != 0) {
                arg += static_cast<char>(c);
                continue;
            }
            if (!first && arg == "--") {
                break;
            }
            found = found || (!first && arg == "--headless");
            first = false;
            arg.clear();
        }
        std::fclose(file);
        return found;
    }();
    return headless;
}

}  // namespace

bool DisplayPresent() {
    // Without a display server (and no video driver asked for explicitly) SDL would only fail or pick a
    // non-window driver; there is no display, without trying.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
        std::getenv("SDL_VIDEODRIVER") == nullptr) {
        return false;
    }
    return EnsureSdlVideo();
}

bool Headless() {
    if (Runner().headless || CommandLineSaysHeadless()) {
        return true;
    }
    return !DisplayPresent();
}

}  // namespace tarn::platform::detail
