// The process entry of every program of ours: parses the runner options, applies them, then calls the program's
// WinMain and returns its value as the exit status. A program with a WinMain shows a window; without a display to
// show it on, and without --headless, it says so and ends with status 1 instead of drawing unseen forever.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "platform/Runner.h"
#include "platform/RunnerControl.h"
#include "Win32Internal.h"
#include "platform/win32/Win32.h"

namespace {

std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return "";
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

// The folder holding the running executable ("." if the system does not say).
std::string ExecutableDirectory() {
    std::vector<char> buffer(4096);
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        return ".";
    }
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

}  // namespace

int main(int argc, char** argv) {
    std::string program = argc > 0 && argv[0] != nullptr ? argv[0] : "program";
    std::size_t slash = program.rfind('/');
    if (slash != std::string::npos) {
        program = program.substr(slash + 1);
    }
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const tarn::platform::ProgramUsage* usage = tarn::platform::CurrentProgramUsage();
    tarn::platform::CommandLine parsed = tarn::platform::ParseCommandLine(args, usage);
    switch (parsed.action) {
    case tarn::platform::CommandLine::Action::Help:
        std::fputs(tarn::platform::UsageText(program, usage).c_str(), stdout);
        return 0;
    case tarn::platform::CommandLine::Action::Version:
        std::puts("Tarn Engine 1.0");
        return 0;
    case tarn::platform::CommandLine::Action::Error:
        std::fprintf(stderr, "%s: %s\n%s", program.c_str(), parsed.error.c_str(),
                     tarn::platform::UsageText(program, usage).c_str());
        return 2;
    case tarn::platform::CommandLine::Action::Run:
        break;
    }
    if (parsed.directory.empty() && !tarn::platform::DataDirectory().empty()) {
        // An installed program runs on its data wherever it is started from; a screenshot named relative to the
        // starting directory must still land there.
        std::string start = CurrentDirectory();
        std::string& shot = parsed.options.screenshotPath;
        if (!shot.empty() && shot[0] != '/' && !start.empty()) {
            shot = start + (start.back() == '/' ? "" : "/") + shot;
        }
        parsed.directory = ExecutableDirectory() + "/" + tarn::platform::DataDirectory();
    }
    if (!parsed.directory.empty() && ::chdir(parsed.directory.c_str()) != 0) {
        std::fprintf(stderr, "%s: cannot change to directory %s: %s\n", program.c_str(), parsed.directory.c_str(),
                     std::strerror(errno));
        return 2;
    }
    tarn::platform::Runner() = parsed.options;
    tarn::platform::ProgramArguments() = parsed.programArgList;
    if (!parsed.options.headless && !tarn::platform::detail::DisplayPresent()) {
        std::fprintf(stderr,
                     "%s: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are unset, or the display "
                     "cannot be opened); run with --headless to draw off screen\n",
                     program.c_str());
        return 1;
    }
    std::string commandLine = parsed.programArgs;
    int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine.data(), SW_SHOWDEFAULT);
    // A screenshot that cannot be written is reported on standard error; the exit status stays WinMain's.
    tarn::platform::SaveFinalScreenshot();
    return status;
}
