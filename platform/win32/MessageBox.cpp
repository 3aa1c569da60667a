// MessageBoxA: a modal SDL box whenever a display is there and the run is not headless (a program started from a
// desktop launcher has no terminal, and its failures must still be seen); otherwise caption and text on standard
// error and IDOK at once. A hook set by tests takes every box; a dialog hook stands in for the SDL box alone.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/MessageBoxHook.h"
#include "PresentPath.h"
#include "platform/Runner.h"
#include "Win32Internal.h"
#include "platform/win32/Win32.h"

namespace {

std::mutex& HookMutex() {
    static std::mutex mutex;
    return mutex;
}
tarn::platform::MessageBoxHook& Hook() {
    static tarn::platform::MessageBoxHook hook;
    return hook;
}
tarn::platform::MessageBoxHook& DialogHook() {
    static tarn::platform::MessageBoxHook hook;
    return hook;
}

// Whether a box becomes a dialog. Standard input says nothing about a person being there (a launcher gives none),
// so the default is a dialog whenever the run is not headless. TARN_MESSAGEBOX=stderr forces standard error
// (tests set it); TARN_MESSAGEBOX=dialog asks for a dialog whenever a display can be opened, even headless.
bool WantsDialog() {
    const char* mode = std::getenv("TARN_MESSAGEBOX");
    if (mode != nullptr && std::strcmp(mode, "stderr") == 0) {
        return false;
    }
    if (mode != nullptr && std::strcmp(mode, "dialog") == 0) {
        return tarn::platform::detail::DisplayPresent();
    }
    return !tarn::platform::detail::Headless();
}

int ShowSdlBox(HWND owner, const char* text, const char* caption, UINT type) {
    SDL_MessageBoxButtonData buttons[2] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDOK, "OK"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDCANCEL, "Cancel"},
    };
    int buttonCount = (type & 0xF) == MB_OKCANCEL ? 2 : 1;
    if (buttonCount == 1) {
        buttons[0].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    }
    Uint32 flags = 0;
    switch (type & 0xF0) {
    case MB_ICONHAND: flags = SDL_MESSAGEBOX_ERROR; break;
    case MB_ICONEXCLAMATION: flags = SDL_MESSAGEBOX_WARNING; break;
    default: flags = SDL_MESSAGEBOX_INFORMATION; break;
    }
    SDL_MessageBoxData data{};
    data.flags = flags;
    data.window = tarn::platform::SdlWindowOf(owner);
    data.title = caption;
    data.message = text;
    data.numbuttons = buttonCount;
    data.buttons = buttons;
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) {
        return 0;
    }
    return pressed < 0 ? (buttonCount == 2 ? IDCANCEL : IDOK) : pressed;
}

}  // namespace

namespace tarn::platform {

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard lock(HookMutex());
    MessageBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

MessageBoxHook SetDialogHook(MessageBoxHook hook) {
    std::lock_guard lock(HookMutex());
    MessageBoxHook previous = std::move(DialogHook());
    DialogHook() = std::move(hook);
    return previous;
}

}  // namespace tarn::platform

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (tarn::platform::detail::FailsNow("MessageBoxA")) {
        return 0;
    }
    // Documented defaults: no text is an empty text, no caption is "Error".
    const char* shownText = text != nullptr ? text : "";
    const char* shownCaption = caption != nullptr ? caption : "Error";
    tarn::platform::MessageBoxHook hook;
    tarn::platform::MessageBoxHook dialog;
    {
        std::lock_guard lock(HookMutex());
        hook = Hook();
        dialog = DialogHook();
    }
    if (hook) {
        return hook(owner, shownText, shownCaption, type);
    }
    if (WantsDialog()) {
        int result = dialog ? dialog(owner, shownText, shownCaption, type)
                            : ShowSdlBox(owner, shownText, shownCaption, type);
        if (result != 0) {
            return result;
        }
        // A display that cannot show the box still gets the text, on standard error.
    }
    std::size_t length = std::strlen(shownText);
    std::fprintf(stderr, "[%s] %s%s", shownCaption, shownText,
                 length > 0 && shownText[length - 1] == '\n' ? "" : "\n");
    std::fflush(stderr);
    return IDOK;
}
