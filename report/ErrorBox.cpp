#include "report/ErrorBox.h"

#include <cstdio>

int ErrorBox(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    text[sizeof(text) - 1] = '\0';
    return MessageBoxA(GetForegroundWindow(), text, "Error", MB_OK);
}

void SystemErrorBox(DWORD code) {
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives a pointer to a LocalAlloc'ed text.
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        // No system text for this code: show the code itself; there is nothing to free.
        char fallback[32];
        std::snprintf(fallback, sizeof(fallback), "Error 0x%08X", static_cast<unsigned>(code));
        MessageBoxA(nullptr, fallback, "Error", MB_ICONINFORMATION);
        return;
    }
    MessageBoxA(nullptr, text, "Error", MB_ICONINFORMATION);
    LocalFree(text);
}
