// The SDL keys of a key event as Windows codes them in key messages: the virtual-key code (wParam) and the
// keyboard's own scan code with its extended-key flag (bits 16 to 23 and 24 of lParam).
#pragma once

#include <SDL_keycode.h>
#include <SDL_scancode.h>

#include "platform/win32/Win32.h"

namespace tarn::platform::detail {

// The keyboard's own (set 1) scan code of a physical key, and whether Windows flags it as an extended key.
struct ScanCode {
    DWORD code;
    bool extended;
};

// 0 and not extended for keys without a scan code here (SDL numbers physical keys by their USB usage instead).
ScanCode WindowsScanCode(SDL_Scancode key);

// 0 for keys the engine has no virtual-key code for.
WPARAM VirtualKey(SDL_Keycode key);

}  // namespace tarn::platform::detail
