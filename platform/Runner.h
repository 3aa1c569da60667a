// Runner options shared by every program of ours: parsed by the platform's main() before WinMain, read by the
// window and Direct3D layers. With no options the program behaves exactly as the engine defines. How the layers
// reach the runner (the presented-frame report, the SDL window behind a window) is the platform's own business
// (internal/PresentPath.h).
#pragma once

#include <cstdint>
#include <string>

namespace tarn::platform {

struct RunnerOptions {
    long frames = -1;            // --frames N: post WM_CLOSE to the presenting window after N presented frames
    std::string screenshotPath;  // --screenshot FILE.png: save the last presented frame (the Nth with --frames)
    bool headless = false;       // --headless: never show a window; draw off screen
    double clockStep = 0.0;      // --clock-step S: the performance counter advances S seconds on every read
};

// Current options (defaults until main() parsed them; tests may change them).
RunnerOptions& Runner();

// A program whose data is installed apart from it names the data folder relative to its executable's folder
// (for example "../share/tarn/seascene"), from a static initialiser. main then changes to that folder before
// WinMain, unless -C names another; a relative --screenshot path still means the directory the program was
// started in.
void SetDataDirectory(const char* relativeToExecutable);
const std::string& DataDirectory();

// Writes an 8-bit RGBA PNG (top row first). False with a message on standard error if it cannot.
bool SavePng(const char* path, int width, int height, const std::uint8_t* rgba, std::size_t stride);

}  // namespace tarn::platform
