// The engine's two failure reports, both modal message boxes captioned "Error" that return to the caller:
// ErrorBox shows a printf-style text cut to 511 characters; SystemErrorBox shows the system's text for a
// Win32 code.
#pragma once

#include "platform/win32/Win32.h"

// Formats the text into 512 chars (always terminated) and shows it owned by the foreground window, MB_OK.
// Returns what MessageBoxA returned.
int ErrorBox(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Shows FormatMessageA's text for `code` with the information icon; "Error 0x%08X" when the system has none.
void SystemErrorBox(DWORD code);
