// Key and mouse-button state for GetAsyncKeyState and GetKeyState. The asynchronous state is what the SDL events
// drained so far said (injected events included) joined with SDL's own keyboard and mouse state; each thread's
// state moves as it takes key and button messages from its queue, as documented for GetKeyState.
#include <SDL.h>

#include <array>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "KeyCodes.h"
#include "WindowRecord.h"
#include "platform/win32/Win32.h"

namespace {

// One byte per virtual-key code: bit 0 down, bit 1 pressed since the last GetAsyncKeyState (async) or toggled by
// the last press (thread state).
using KeyTable = std::array<unsigned char, 256>;
constexpr unsigned char kDown = 1, kLatched = 2;

std::mutex g_mutex;
KeyTable g_async{};
std::unordered_map<std::thread::id, KeyTable> g_threads;

// The side-specific code of a modifier key (VK_LSHIFT ...), 0 for other keys.
int SidedKey(SDL_Keycode key) {
    switch (key) {
    case SDLK_LSHIFT:
        return VK_LSHIFT;
    case SDLK_RSHIFT:
        return VK_RSHIFT;
    case SDLK_LCTRL:
        return VK_LCONTROL;
    case SDLK_RCTRL:
        return VK_RCONTROL;
    case SDLK_LALT:
        return VK_LMENU;
    case SDLK_RALT:
        return VK_RMENU;
    default:
        return 0;
    }
}

void SetAsync(int vk, bool down) {
    if (vk <= 0 || vk > 255) return;
    if (down) {
        g_async[vk] |= kDown | kLatched;
    } else {
        g_async[vk] &= static_cast<unsigned char>(~kDown);
    }
}

void SetThread(KeyTable& table, int vk, bool down) {
    if (vk <= 0 || vk > 255) return;
    if (down) {
        // A press toggles, a repeat (the key already down) does not.
        if ((table[vk] & kDown) == 0) table[vk] ^= kLatched;
        table[vk] |= kDown;
    } else {
        table[vk] &= static_cast<unsigned char>(~kDown);
    }
}

// Whether SDL's own state holds the key or button down (real input that SDL has pumped).
bool SdlHoldsDown(int vk) {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
        return false;
    }
    const Uint32 buttons = SDL_GetMouseState(nullptr, nullptr);
    switch (vk) {
    case VK_LBUTTON:
        return (buttons & SDL_BUTTON_LMASK) != 0;
    case VK_RBUTTON:
        return (buttons & SDL_BUTTON_RMASK) != 0;
    case VK_MBUTTON:
        return (buttons & SDL_BUTTON_MMASK) != 0;
    case VK_XBUTTON1:
        return (buttons & SDL_BUTTON_X1MASK) != 0;
    case VK_XBUTTON2:
        return (buttons & SDL_BUTTON_X2MASK) != 0;
    default:
        break;
    }
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    for (int scan = 0; scan < count; ++scan) {
        if (keys[scan] == 0) continue;
        const SDL_Keycode key = SDL_GetKeyFromScancode(static_cast<SDL_Scancode>(scan));
        if (static_cast<int>(tarn::platform::detail::VirtualKey(key)) == vk || SidedKey(key) == vk) return true;
    }
    return false;
}

}  // namespace

namespace tarn::platform::detail {

void NoteKey(SDL_Keycode key, bool down) {
    std::lock_guard lock(g_mutex);
    SetAsync(static_cast<int>(VirtualKey(key)), down);
    SetAsync(SidedKey(key), down);
}

void NoteButton(int virtualKey, bool down) {
    std::lock_guard lock(g_mutex);
    SetAsync(virtualKey, down);
}

void NoteTaken(const MSG& msg) {
    int button = 0;
    bool down = false;
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
        const int vk = static_cast<int>(msg.wParam & 0xFF);
        // The side of a modifier from the scan code (right shift 0x36) or the extended-key flag (right Ctrl, Alt).
        const auto lParam = static_cast<DWORD>(msg.lParam);
        const bool right = vk == VK_SHIFT ? ((lParam >> 16) & 0xFF) == 0x36 : ((lParam >> 24) & 1) != 0;
        int sided = 0;
        if (vk == VK_SHIFT) sided = right ? VK_RSHIFT : VK_LSHIFT;
        if (vk == VK_CONTROL) sided = right ? VK_RCONTROL : VK_LCONTROL;
        if (vk == VK_MENU) sided = right ? VK_RMENU : VK_LMENU;
        std::lock_guard lock(g_mutex);
        KeyTable& table = g_threads[std::this_thread::get_id()];
        SetThread(table, vk, down);
        SetThread(table, sided, down);
        return;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        button = VK_LBUTTON;
        down = true;
        break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        button = VK_RBUTTON;
        down = true;
        break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        button = VK_MBUTTON;
        down = true;
        break;
    case WM_LBUTTONUP:
        button = VK_LBUTTON;
        break;
    case WM_RBUTTONUP:
        button = VK_RBUTTON;
        break;
    case WM_MBUTTONUP:
        button = VK_MBUTTON;
        break;
    case WM_XBUTTONDOWN:
    case WM_XBUTTONDBLCLK:
    case WM_XBUTTONUP:
        down = msg.message != WM_XBUTTONUP;
        button = GET_XBUTTON_WPARAM(msg.wParam) == XBUTTON2 ? VK_XBUTTON2 : VK_XBUTTON1;
        break;
    default:
        return;
    }
    std::lock_guard lock(g_mutex);
    SetThread(g_threads[std::this_thread::get_id()], button, down);
}

bool KeyWasSeenDown(int virtualKey) {
    if (virtualKey <= 0 || virtualKey > 255) return false;
    std::lock_guard lock(g_mutex);
    return (g_async[virtualKey] & kDown) != 0;
}

bool KeyIsDown(int virtualKey) { return KeyWasSeenDown(virtualKey) || SdlHoldsDown(virtualKey); }

}  // namespace tarn::platform::detail

SHORT GetAsyncKeyState(int virtualKey) {
    if (virtualKey <= 0 || virtualKey > 255) {
        return 0;
    }
    const bool down = tarn::platform::detail::KeyIsDown(virtualKey);
    std::lock_guard lock(g_mutex);
    const bool pressed = (g_async[virtualKey] & kLatched) != 0;
    g_async[virtualKey] &= static_cast<unsigned char>(~kLatched);
    return static_cast<SHORT>((down ? 0x8000 : 0) | (pressed ? 1 : 0));
}

SHORT GetKeyState(int virtualKey) {
    if (virtualKey <= 0 || virtualKey > 255) {
        return 0;
    }
    std::lock_guard lock(g_mutex);
    const unsigned char state = g_threads[std::this_thread::get_id()][virtualKey];
    return static_cast<SHORT>(((state & kDown) != 0 ? 0x8000 : 0) | ((state & kLatched) != 0 ? 1 : 0));
}
