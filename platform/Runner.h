// Runner options shared by every program of ours: parsed by the platform's main() before WinMain, read by the
// window and Direct3D layers. With no options the program behaves exactly as the engine defines. How the layers
// reach the runner (the presented-frame report, the SDL window behind a window) is the platform's own business
// (internal/PresentPath.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// A program's own options and arguments. A program that takes them names them from a static initialiser (as
// SetDataDirectory): main then accepts those options beside the runner options, hands every option of the
// program (with its value, as a separate argument) and every other argument to the program in the order given
// (ProgramArguments, and joined as WinMain's command line), and --help shows the program's usage before the
// runner options. An option of the program whose `value` is set takes a value: "--camera 1" or "--camera=1".
struct ProgramOption {
    const char* name;   // "--camera"
    const char* value;  // what the value is called in the help ("N"); null for an option without a value
    const char* help;   // one line
};
struct ProgramUsage {
    std::string arguments;  // the arguments after the options, as the usage line shows them ("SCENE.TRS")
    std::string summary;    // what the program does: lines shown under the usage line
    std::vector<ProgramOption> options;
    std::string notes;  // lines shown after every option (keys, mouse, files)
};
void SetProgramUsage(const ProgramUsage& usage);
// The usage set, or null when the program set none (it then takes no options of its own).
const ProgramUsage* CurrentProgramUsage();

// The program's own arguments, everything that is no runner option, as main received them ("--camera=1" comes as
// "--camera", "1"). Empty until main parsed the command line.
std::vector<std::string>& ProgramArguments();

// Writes an 8-bit RGBA PNG (top row first). False with a message on standard error if it cannot.
bool SavePng(const char* path, int width, int height, const std::uint8_t* rgba, std::size_t stride);

}  // namespace tarn::platform
