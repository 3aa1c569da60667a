// Helpers shared by the Windows-subset sources: fault checks that set the last error, and the headless decision.
// Not part of the public platform seam.
#pragma once

#include "platform/FaultInjection.h"
#include "platform/win32/Win32.h"

namespace tarn::platform::detail {

// True when `call` is armed to fail; the armed code becomes the thread's last error.
inline bool FailsNow(const char* call) {
    std::uint32_t code = 0;
    if (!TakeFault(call, &code)) {
        return false;
    }
    SetLastError(code);
    return true;
}

// True when windows are records only: --headless, no display, or SDL video could not start. Decided on first use
// after the runner options are known; tests may force it with the runner option before creating windows.
bool Headless();

// Makes sure SDL's video subsystem is up (false when it cannot start: the platform then runs headless).
bool EnsureSdlVideo();

// True when a display can be opened: a display server is named in the environment (or a video driver is chosen
// with SDL_VIDEODRIVER) and SDL's video subsystem starts on it. Ignores --headless.
bool DisplayPresent();

// GetTickCount's clock without advancing it under --clock-step (message time stamps are no reads of it).
DWORD MillisecondsNow();

// True when QueryPerformanceCounter follows the monotonic clock (no --clock-step, no test script).
bool CounterFollowsClock();

}  // namespace tarn::platform::detail
