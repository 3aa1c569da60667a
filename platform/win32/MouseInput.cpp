// SDL's mouse events as the documented mouse messages, and the mouse capture. Moves and buttons carry the MK_*
// key state in wParam and client coordinates of the window that gets them (the capture window, if any) in lParam;
// the wheels carry the signed delta in multiples of WHEEL_DELTA in wParam's high word and screen coordinates.
// Coordinates are signed 16-bit values: x in the low word, y in the high word (GET_X_LPARAM, GET_Y_LPARAM).
#include <SDL.h>

#include <cmath>
#include <memory>

#include "WindowRecord.h"
#include "platform/win32/Win32.h"

namespace {

using tarn::platform::detail::WindowRecord;

HWND g_capture = nullptr;  // under WindowLock

struct Button {
    Uint8 sdl;
    int virtualKey;
    UINT down, up, doubleClick;
    WORD xButton;  // wParam's high word for the X buttons
};

//  +------------------------------ SDL button
//  |                  +----------- virtual key
//  |                  |            +-------- messages: down, up, double-click
const Button kButtons[] = {
    {SDL_BUTTON_LEFT, VK_LBUTTON, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, 0},
    {SDL_BUTTON_RIGHT, VK_RBUTTON, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, 0},
    {SDL_BUTTON_MIDDLE, VK_MBUTTON, WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, 0},
    {SDL_BUTTON_X1, VK_XBUTTON1, WM_XBUTTONDOWN, WM_XBUTTONUP, WM_XBUTTONDBLCLK, XBUTTON1},
    {SDL_BUTTON_X2, VK_XBUTTON2, WM_XBUTTONDOWN, WM_XBUTTONUP, WM_XBUTTONDBLCLK, XBUTTON2},
};

// The MK_* flags, from the keys and buttons that the events drained so far left down (in event order, so a
// button's own message already counts its new state: down in WM_LBUTTONDOWN, up in WM_LBUTTONUP).
WORD KeyStateFlags() {
    using tarn::platform::detail::KeyWasSeenDown;
    WORD flags = 0;
    if (KeyWasSeenDown(VK_LBUTTON)) flags |= MK_LBUTTON;
    if (KeyWasSeenDown(VK_RBUTTON)) flags |= MK_RBUTTON;
    if (KeyWasSeenDown(VK_MBUTTON)) flags |= MK_MBUTTON;
    if (KeyWasSeenDown(VK_XBUTTON1)) flags |= MK_XBUTTON1;
    if (KeyWasSeenDown(VK_XBUTTON2)) flags |= MK_XBUTTON2;
    if (KeyWasSeenDown(VK_SHIFT)) flags |= MK_SHIFT;
    if (KeyWasSeenDown(VK_CONTROL)) flags |= MK_CONTROL;
    return flags;
}

// Where an event at (x, y) in SDL window `sdlId` lands: the window that gets it and the point in its client area
// and on the screen. False when the SDL window is none of ours.
struct Target {
    std::shared_ptr<WindowRecord> window;
    POINT client;
    POINT screen;
};

bool Locate(Uint32 sdlId, int x, int y, bool followCapture, Target* target) {
    auto source = tarn::platform::detail::FindSdlWindow(sdlId);
    if (!source) {
        return false;
    }
    std::lock_guard lock(tarn::platform::detail::WindowLock());
    target->screen = POINT{source->x + x, source->y + y};
    target->window = source;
    if (followCapture && g_capture != nullptr) {
        if (auto captured = tarn::platform::detail::FindWindow(g_capture)) target->window = captured;
    }
    target->client = POINT{target->screen.x - target->window->x, target->screen.y - target->window->y};
    return true;
}

void PostTo(const Target& target, UINT message, WPARAM wParam, LPARAM lParam) {
    tarn::platform::detail::NoteCursorPosition(target.screen);
    tarn::platform::detail::PostToThread(target.window->thread, tarn::platform::detail::HandleOfWindow(*target.window),
                                         message, wParam, lParam);
}

// The wheel's turn in WHEEL_DELTA units: SDL's precise amount where it gives one, else its whole notches.
int WheelDelta(float precise, Sint32 whole, bool flipped) {
    const double amount = precise != 0.0f ? static_cast<double>(precise) : static_cast<double>(whole);
    const int delta = static_cast<int>(std::lround(amount * WHEEL_DELTA));
    return flipped ? -delta : delta;
}

}  // namespace

namespace tarn::platform::detail {

bool TranslateMouseEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_MOUSEMOTION: {
        Target target;
        if (Locate(event.motion.windowID, event.motion.x, event.motion.y, true, &target)) {
            PostTo(target, WM_MOUSEMOVE, KeyStateFlags(), MAKELPARAM(target.client.x, target.client.y));
        }
        return true;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const bool down = event.type == SDL_MOUSEBUTTONDOWN;
        for (const Button& button : kButtons) {
            if (button.sdl != event.button.button) continue;
            NoteButton(button.virtualKey, down);
            Target target;
            if (!Locate(event.button.windowID, event.button.x, event.button.y, true, &target)) break;
            // The second click of a double click (and the fourth ...) is a double-click for classes that ask.
            const bool doubleClick = down && event.button.clicks >= 2 && event.button.clicks % 2 == 0 &&
                                     (target.window->classStyle & CS_DBLCLKS) != 0;
            const UINT message = !down ? button.up : (doubleClick ? button.doubleClick : button.down);
            PostTo(target, message, MAKEWPARAM(KeyStateFlags(), button.xButton),
                   MAKELPARAM(target.client.x, target.client.y));
            break;
        }
        return true;
    }
    case SDL_MOUSEWHEEL: {
        // The wheel goes to the window under the cursor, with the cursor's screen position.
        Target target;
        if (!Locate(event.wheel.windowID, event.wheel.mouseX, event.wheel.mouseY, false, &target)) return true;
        const bool flipped = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED;
        const LPARAM where = MAKELPARAM(target.screen.x, target.screen.y);
        const int vertical = WheelDelta(event.wheel.preciseY, event.wheel.y, flipped);
        const int horizontal = WheelDelta(event.wheel.preciseX, event.wheel.x, flipped);
        if (vertical != 0) PostTo(target, WM_MOUSEWHEEL, MAKEWPARAM(KeyStateFlags(), vertical), where);
        if (horizontal != 0) PostTo(target, WM_MOUSEHWHEEL, MAKEWPARAM(KeyStateFlags(), horizontal), where);
        return true;
    }
    default:
        return false;
    }
}

void ForgetCapture(HWND window) {
    std::lock_guard lock(WindowLock());
    if (g_capture == window) {
        g_capture = nullptr;
        if (SDL_WasInit(SDL_INIT_VIDEO) != 0) SDL_CaptureMouse(SDL_FALSE);
    }
}

}  // namespace tarn::platform::detail

HWND SetCapture(HWND hwnd) {
    auto window = tarn::platform::detail::FindWindow(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HWND previous;
    {
        std::lock_guard lock(tarn::platform::detail::WindowLock());
        previous = g_capture;
        g_capture = hwnd;
    }
    if (window->sdl != nullptr) SDL_CaptureMouse(SDL_TRUE);
    // The window that loses the capture is told who has it now.
    if (previous != nullptr && previous != hwnd)
        SendMessageA(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return previous;
}

BOOL ReleaseCapture() {
    HWND previous;
    {
        std::lock_guard lock(tarn::platform::detail::WindowLock());
        previous = g_capture;
        g_capture = nullptr;
    }
    if (previous != nullptr) {
        if (SDL_WasInit(SDL_INIT_VIDEO) != 0) SDL_CaptureMouse(SDL_FALSE);
        SendMessageA(previous, WM_CAPTURECHANGED, 0, 0);
    }
    return TRUE;
}

HWND GetCapture() {
    std::lock_guard lock(tarn::platform::detail::WindowLock());
    return g_capture;
}
