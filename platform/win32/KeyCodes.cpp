// Key codes: the SDL keys of a key event as the virtual-key codes and keyboard scan codes that Windows puts in
// WM_KEYDOWN and WM_KEYUP (wParam, and bits 16 to 24 of lParam).
#include "KeyCodes.h"

namespace tarn::platform::detail {

// The keyboard's own (set 1) scan code of a physical key, and whether Windows flags it as an extended key
// (bit 24 of a key message's lParam); 0 for keys without one here. SDL numbers physical keys by their USB
// usage instead.
ScanCode WindowsScanCode(SDL_Scancode key) {
    // Letters by keyboard row, as set 1 numbers them.
    static const char kRows[][11] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
    static const DWORD kRowStart[] = {0x10, 0x1E, 0x2C};
    if (key >= SDL_SCANCODE_A && key <= SDL_SCANCODE_Z) {
        const char letter = static_cast<char>('a' + (key - SDL_SCANCODE_A));
        for (int row = 0; row < 3; ++row) {
            for (int i = 0; kRows[row][i] != '\0'; ++i) {
                if (kRows[row][i] == letter) return {kRowStart[row] + static_cast<DWORD>(i), false};
            }
        }
    }
    if (key >= SDL_SCANCODE_1 && key <= SDL_SCANCODE_0) return {0x02 + static_cast<DWORD>(key - SDL_SCANCODE_1), false};
    if (key >= SDL_SCANCODE_F1 && key <= SDL_SCANCODE_F10)
        return {0x3B + static_cast<DWORD>(key - SDL_SCANCODE_F1), false};
    static const struct {
        SDL_Scancode sdl;
        ScanCode windows;
    } kKeys[] = {
        {SDL_SCANCODE_ESCAPE, {0x01, false}},  {SDL_SCANCODE_BACKSPACE, {0x0E, false}},
        {SDL_SCANCODE_TAB, {0x0F, false}},     {SDL_SCANCODE_RETURN, {0x1C, false}},
        {SDL_SCANCODE_KP_ENTER, {0x1C, true}}, {SDL_SCANCODE_LCTRL, {0x1D, false}},
        {SDL_SCANCODE_RCTRL, {0x1D, true}},    {SDL_SCANCODE_LSHIFT, {0x2A, false}},
        {SDL_SCANCODE_RSHIFT, {0x36, false}},  {SDL_SCANCODE_LALT, {0x38, false}},
        {SDL_SCANCODE_RALT, {0x38, true}},     {SDL_SCANCODE_SPACE, {0x39, false}},
        {SDL_SCANCODE_F11, {0x57, false}},     {SDL_SCANCODE_F12, {0x58, false}},
        {SDL_SCANCODE_PAUSE, {0x45, false}},   {SDL_SCANCODE_HOME, {0x47, true}},
        {SDL_SCANCODE_UP, {0x48, true}},       {SDL_SCANCODE_PAGEUP, {0x49, true}},
        {SDL_SCANCODE_LEFT, {0x4B, true}},     {SDL_SCANCODE_RIGHT, {0x4D, true}},
        {SDL_SCANCODE_END, {0x4F, true}},      {SDL_SCANCODE_DOWN, {0x50, true}},
        {SDL_SCANCODE_PAGEDOWN, {0x51, true}}, {SDL_SCANCODE_INSERT, {0x52, true}},
        {SDL_SCANCODE_DELETE, {0x53, true}},
    };
    for (const auto& k : kKeys) {
        if (k.sdl == key) return k.windows;
    }
    return {0, false};
}

// Virtual-key code for an SDL key, 0 for keys the engine has no code for.
WPARAM VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) {
        return static_cast<WPARAM>('A' + (key - SDLK_a));
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return static_cast<WPARAM>('0' + (key - SDLK_0));
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return static_cast<WPARAM>(VK_F1 + (key - SDLK_F1));
    }
    static const struct {
        SDL_Keycode sdl;
        WPARAM vk;
    } kKeys[] = {
        {SDLK_ESCAPE, VK_ESCAPE},  {SDLK_RETURN, VK_RETURN}, {SDLK_KP_ENTER, VK_RETURN}, {SDLK_SPACE, VK_SPACE},
        {SDLK_BACKSPACE, VK_BACK}, {SDLK_TAB, VK_TAB},       {SDLK_LSHIFT, VK_SHIFT},    {SDLK_RSHIFT, VK_SHIFT},
        {SDLK_LCTRL, VK_CONTROL},  {SDLK_RCTRL, VK_CONTROL}, {SDLK_LALT, VK_MENU},       {SDLK_RALT, VK_MENU},
        {SDLK_PAUSE, VK_PAUSE},    {SDLK_PAGEUP, VK_PRIOR},  {SDLK_PAGEDOWN, VK_NEXT},   {SDLK_END, VK_END},
        {SDLK_HOME, VK_HOME},      {SDLK_LEFT, VK_LEFT},     {SDLK_UP, VK_UP},           {SDLK_RIGHT, VK_RIGHT},
        {SDLK_DOWN, VK_DOWN},      {SDLK_INSERT, VK_INSERT}, {SDLK_DELETE, VK_DELETE},
    };
    for (const auto& k : kKeys) {
        if (k.sdl == key) {
            return k.vk;
        }
    }
    return 0;
}

}  // namespace tarn::platform::detail
