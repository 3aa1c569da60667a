// tarn-view, the scene viewer: the viewer application on the engine's WinMain, its command line (ViewerOptions),
// and where the demo's caustic frames lie for the water effects, relative to the executable: the build's data
// folder for the in-tree program, share/tarn/seascene for the installed one (TARN_VIEW_WATER_DIR).
#include <cstdio>
#include <new>
#include <string>

#include "platform/Runner.h"
#include "platform/win32/Win32.h"
#include "tools/view/ViewerApp.h"
#include "tools/view/ViewerOptions.h"

namespace {

const bool kUsageSet = (tarn::platform::SetProgramUsage(tarn::view::ViewerUsage()), true);

// The folder of the caustic frames, from the executable's own path; "./" if the system does not tell it.
std::string DefaultWaterDirectory() {
    char path[4096];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return "./";
    std::string folder(path, length);
    folder.erase(folder.rfind('/') + 1);
    return folder + TARN_VIEW_WATER_DIR;
}

}  // namespace

// A command line the viewer cannot follow says why on standard error; WinMain then ends with status 1.
CTRApplication* CreateApplication() {
    tarn::view::ViewerOptions options;
    std::string error;
    if (!tarn::view::ParseViewerOptions(tarn::platform::ProgramArguments(), &options, &error)) {
        std::fprintf(stderr, "tarn-view: %s\nRun tarn-view --help for the options.\n", error.c_str());
        return nullptr;
    }
    std::string water = options.waterDirectory.empty() ? DefaultWaterDirectory() : options.waterDirectory;
    if (water.back() != '/') water += '/';
    return new (std::nothrow) tarn::view::ViewerApp(std::move(options), std::move(water));
}
