// tarn-view's own command line (beside the runner options that every program takes): the scene file and how the
// viewer starts. The usage is what --help shows.
#pragma once

#include <string>
#include <vector>

#include "platform/Runner.h"

namespace tarn::view {

struct ViewerOptions {
    std::string scenePath;  // the .TRS file
    int camera = -1;        // --camera N: start from the scene's camera N; -1 frames the whole scene
    bool paused = false;    // --paused: start with the animation stopped
    bool water = false;     // --water: start with the water effects over the scene
    int width = 800;        // --size WxH: the window's client size
    int height = 600;
    std::string waterDirectory;  // --water-dir DIR: the folder holding Water/caust0.tga ...; empty: the default
};

// Reads the program's arguments (ProgramArguments: its options with their values, then the scene file). False
// with a one-line reason in *error for a missing or second scene file, an unknown option or a bad value.
bool ParseViewerOptions(const std::vector<std::string>& args, ViewerOptions* options, std::string* error);

// What --help shows: the arguments, every option, the keys and the mouse.
platform::ProgramUsage ViewerUsage();

}  // namespace tarn::view
