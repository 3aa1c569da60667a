// Test seam for MessageBoxA: while a hook is set every box goes to it instead of the screen or standard error,
// and its return value is what MessageBoxA returns. Pass an empty function to remove it.
#pragma once

#include <functional>

#include "platform/win32/Win32.h"

namespace tarn::platform {

using MessageBoxHook = std::function<int(HWND owner, const char* text, const char* caption, UINT type)>;

// Installs `hook` and returns the one it replaces.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Stands in for the on-screen dialog only: MessageBoxA still decides between a dialog and standard error, and calls
// `hook` where it would show the dialog (0 from it means the dialog failed: the text goes to standard error).
// Returns the hook it replaces.
MessageBoxHook SetDialogHook(MessageBoxHook hook);

}  // namespace tarn::platform
