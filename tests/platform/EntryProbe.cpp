// A program of ours in miniature: prints what main handed over and exits with a status taken from its command
// line, so the entry's tests can check options, working directory and exit status end to end.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Runner.h"
#include "platform/win32/Win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand) {
    char cwd[4096] = {};
    if (getcwd(cwd, sizeof(cwd)) == nullptr) {
        cwd[0] = 0;
    }
    const auto& options = tarn::platform::Runner();
    std::printf("instance=%d previous=%d show=%d\n", instance == GetModuleHandleA(nullptr) ? 1 : 0,
                previous == nullptr ? 0 : 1, showCommand);
    std::printf("cmdline=[%s]\ncwd=%s\n", commandLine, cwd);
    std::printf("frames=%ld headless=%d step=%g shot=%s\n", options.frames, options.headless ? 1 : 0,
                options.clockStep, options.screenshotPath.c_str());
    // "exit=N" on the command line chooses the status.
    const char* exitArg = std::strstr(commandLine, "exit=");
    return exitArg != nullptr ? std::atoi(exitArg + 5) : 0;
}
