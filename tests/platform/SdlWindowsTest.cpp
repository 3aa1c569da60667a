// Windows with a screen surface, on SDL's off-screen video driver: the SDL window behind an engine window, and
// SDL's key, close and resize events arriving as window messages through PeekMessageA.
#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/MessageBoxHook.h"
#include "PresentPath.h"
#include "platform/Runner.h"
#include "platform/win32/Win32.h"

namespace {

std::vector<MSG> g_dispatched;

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_dispatched.push_back(MSG{hwnd, message, wParam, lParam, 0, {}});
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class SdlWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        tarn::platform::Runner().headless = false;
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "Sdl Test";
        ASSERT_NE(RegisterClassExA(&wc), 0);
        hwnd_ = CreateWindowExA(0, "Sdl Test", "Tarn Engine 1.0v", WS_POPUP, 0, 0, 320, 240, GetDesktopWindow(),
                                nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd_, nullptr);
        sdl_ = tarn::platform::SdlWindowOf(hwnd_);
        ASSERT_NE(sdl_, nullptr) << "SDL off-screen driver unavailable: " << SDL_GetError();
        Pump();
        g_dispatched.clear();
    }
    void TearDown() override {
        if (IsWindow(hwnd_)) {
            DestroyWindow(hwnd_);
        }
        Pump();
        UnregisterClassA("Sdl Test", nullptr);
    }
    // Runs the engine's loop until the queue is empty; returns the messages seen, WM_QUIT included.
    static std::vector<UINT> Pump() {
        std::vector<UINT> seen;
        MSG msg{};
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            seen.push_back(msg.message);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return seen;
    }
    void PushKey(Uint32 type, SDL_Keycode key, SDL_Scancode scancode = SDL_SCANCODE_UNKNOWN) {
        SDL_Event e{};
        e.type = type;
        e.key.windowID = SDL_GetWindowID(sdl_);
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.sym = key;
        e.key.keysym.scancode = scancode;
        SDL_PushEvent(&e);
    }
    void PushWindowEvent(Uint8 event, int a = 0, int b = 0) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SDL_GetWindowID(sdl_);
        e.window.event = event;
        e.window.data1 = a;
        e.window.data2 = b;
        SDL_PushEvent(&e);
    }
    void PushButton(Uint32 type, Uint8 button, int x, int y, Uint8 clicks = 1, SDL_Window* on = nullptr) {
        SDL_Event e{};
        e.type = type;
        e.button.windowID = SDL_GetWindowID(on != nullptr ? on : sdl_);
        e.button.button = button;
        e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = clicks;
        e.button.x = x;
        e.button.y = y;
        SDL_PushEvent(&e);
    }
    void PushMotion(int x, int y) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = SDL_GetWindowID(sdl_);
        e.motion.x = x;
        e.motion.y = y;
        SDL_PushEvent(&e);
    }
    void PushWheel(float x, float y, int mouseX, int mouseY, Uint32 direction = SDL_MOUSEWHEEL_NORMAL) {
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.windowID = SDL_GetWindowID(sdl_);
        e.wheel.preciseX = x;
        e.wheel.preciseY = y;
        e.wheel.x = static_cast<Sint32>(x);
        e.wheel.y = static_cast<Sint32>(y);
        e.wheel.direction = direction;
        e.wheel.mouseX = mouseX;
        e.wheel.mouseY = mouseY;
        SDL_PushEvent(&e);
    }
    // The messages dispatched in a range (the mouse messages, say).
    static std::vector<MSG> Dispatched(UINT low, UINT high) {
        std::vector<MSG> out;
        for (const MSG& m : g_dispatched) {
            if (m.message >= low && m.message <= high) out.push_back(m);
        }
        return out;
    }
    HWND hwnd_ = nullptr;
    SDL_Window* sdl_ = nullptr;
};

TEST_F(SdlWindowsTest, WindowIsABorderlessHiddenSdlWindowUntilShown) {
    Uint32 flags = SDL_GetWindowFlags(sdl_);
    EXPECT_NE(flags & SDL_WINDOW_BORDERLESS, 0u);
    EXPECT_NE(flags & SDL_WINDOW_HIDDEN, 0u);
    EXPECT_NE(flags & SDL_WINDOW_OPENGL, 0u);
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl_, &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_STREQ(SDL_GetWindowTitle(sdl_), "Tarn Engine 1.0v");
    ShowWindow(hwnd_, SW_SHOWDEFAULT);
    EXPECT_EQ(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_HIDDEN, 0u);
}

// Key messages carry the virtual-key code in wParam and, in lParam bits 16-23, the keyboard's own (set 1)
// scan code of the physical key, with bit 24 set for the extended keys.
TEST_F(SdlWindowsTest, KeysBecomeKeyMessagesWithVirtualKeyCodesAndKeyboardScanCodes) {
    struct Case {
        SDL_Keycode sdl;
        SDL_Scancode physical;
        WPARAM vk;
        DWORD scan;
        bool extended;
    } cases[] = {
        {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, VK_ESCAPE, 0x01, false},
        {SDLK_a, SDL_SCANCODE_A, 'A', 0x1E, false},
        {SDLK_q, SDL_SCANCODE_Q, 'Q', 0x10, false},
        {SDLK_m, SDL_SCANCODE_M, 'M', 0x32, false},
        {SDLK_7, SDL_SCANCODE_7, '7', 0x08, false},
        {SDLK_0, SDL_SCANCODE_0, '0', 0x0B, false},
        {SDLK_F5, SDL_SCANCODE_F5, VK_F1 + 4, 0x3F, false},
        {SDLK_F12, SDL_SCANCODE_F12, VK_F1 + 11, 0x58, false},
        {SDLK_LEFT, SDL_SCANCODE_LEFT, VK_LEFT, 0x4B, true},
        {SDLK_RETURN, SDL_SCANCODE_RETURN, VK_RETURN, 0x1C, false},
        {SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, VK_RETURN, 0x1C, true},
        {SDLK_SPACE, SDL_SCANCODE_SPACE, VK_SPACE, 0x39, false},
        {SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, VK_NEXT, 0x51, true},
        {SDLK_RCTRL, SDL_SCANCODE_RCTRL, VK_CONTROL, 0x1D, true},
        {SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, VK_SHIFT, 0x2A, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.vk);
        g_dispatched.clear();
        PushKey(SDL_KEYDOWN, c.sdl, c.physical);
        PushKey(SDL_KEYUP, c.sdl, c.physical);
        Pump();
        std::vector<MSG> keys;
        for (const MSG& m : g_dispatched) {
            if (m.message == WM_KEYDOWN || m.message == WM_KEYUP) {
                keys.push_back(m);
            }
        }
        ASSERT_EQ(keys.size(), 2u);
        EXPECT_EQ(keys[0].message, static_cast<UINT>(WM_KEYDOWN));
        EXPECT_EQ(keys[1].message, static_cast<UINT>(WM_KEYUP));
        EXPECT_EQ(keys[0].hwnd, hwnd_);
        for (const MSG& key : keys) {
            EXPECT_EQ(key.wParam, c.vk);
            const auto lParam = static_cast<DWORD>(key.lParam);
            EXPECT_EQ((lParam >> 16) & 0xFF, c.scan);
            EXPECT_EQ((lParam >> 24) & 1, c.extended ? 1u : 0u);
            EXPECT_EQ(lParam & 0xFFFF, 1u) << "repeat count";
        }
        // Key-up carries the previous-state and transition bits.
        EXPECT_EQ(static_cast<DWORD>(keys[1].lParam) >> 30, 3u);
        EXPECT_EQ(static_cast<DWORD>(keys[0].lParam) >> 30, 0u);
    }
}

// A key pressed and released before the loop looks: the loop sees KEYDOWN, then the CHAR that translating it
// makes, then the KEYUP that was already waiting.
TEST_F(SdlWindowsTest, CharacterOfAKeyComesBeforeItsWaitingKeyUp) {
    PushKey(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A);
    PushKey(SDL_KEYUP, SDLK_a, SDL_SCANCODE_A);
    EXPECT_EQ(Pump(), (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
}

// The window is the foreground window from showing it until it loses the focus, and again once it gets it
// back.
TEST_F(SdlWindowsTest, ForegroundWindowFollowsTheFocus) {
    ShowWindow(hwnd_, SW_SHOWDEFAULT);
    EXPECT_EQ(GetForegroundWindow(), hwnd_);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    Pump();
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    Pump();
    EXPECT_EQ(GetForegroundWindow(), hwnd_);
}

TEST_F(SdlWindowsTest, ResizeBecomesSizeAndCloseEndsTheLoop) {
    PushWindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 640, 480);
    std::vector<UINT> seen = Pump();
    ASSERT_EQ(seen, (std::vector<UINT>{WM_SIZE}));
    EXPECT_EQ(g_dispatched.back().lParam, MAKELPARAM(640, 480));
    RECT rc{};
    ASSERT_TRUE(GetClientRect(hwnd_, &rc));
    EXPECT_EQ(rc.right, 640);

    PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    seen = Pump();
    EXPECT_EQ(seen, (std::vector<UINT>{WM_CLOSE, WM_QUIT}));
    EXPECT_FALSE(IsWindow(hwnd_));
    EXPECT_EQ(tarn::platform::SdlWindowOf(hwnd_), nullptr);
}

// Mouse messages as documented: MK_* flags in wParam (the button's own state included on the way down, not on
// the way up), client coordinates as signed words in lParam; several buttons and modifiers at once.
TEST_F(SdlWindowsTest, MouseEventsBecomeMouseMessagesWithKeyStateAndSignedClientCoordinates) {
    PushKey(SDL_KEYDOWN, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT);
    PushKey(SDL_KEYDOWN, SDLK_RCTRL, SDL_SCANCODE_RCTRL);
    PushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20);
    PushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 11, 21);
    PushMotion(-5, -300);  // dragged off the window's top-left corner
    PushButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, -5, -300);
    PushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 319, 239);
    PushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_X2, 1, 2);
    PushButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_X2, 1, 2);
    PushKey(SDL_KEYUP, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT);
    PushButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 3, 4);
    PushKey(SDL_KEYUP, SDLK_RCTRL, SDL_SCANCODE_RCTRL);
    PushButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE, 5, 6);
    Pump();
    struct Want {
        UINT message;
        WPARAM wParam;
        int x, y;
    } wanted[] = {
        {WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT | MK_CONTROL, 10, 20},
        {WM_MBUTTONDOWN, MK_LBUTTON | MK_MBUTTON | MK_SHIFT | MK_CONTROL, 11, 21},
        {WM_MOUSEMOVE, MK_LBUTTON | MK_MBUTTON | MK_SHIFT | MK_CONTROL, -5, -300},
        {WM_LBUTTONUP, MK_MBUTTON | MK_SHIFT | MK_CONTROL, -5, -300},
        {WM_RBUTTONDOWN, MK_RBUTTON | MK_MBUTTON | MK_SHIFT | MK_CONTROL, 319, 239},
        {WM_XBUTTONDOWN, MAKEWPARAM(MK_RBUTTON | MK_MBUTTON | MK_XBUTTON2 | MK_SHIFT | MK_CONTROL, XBUTTON2), 1, 2},
        {WM_XBUTTONUP, MAKEWPARAM(MK_RBUTTON | MK_MBUTTON | MK_SHIFT | MK_CONTROL, XBUTTON2), 1, 2},
        {WM_RBUTTONUP, MK_MBUTTON | MK_CONTROL, 3, 4},
        {WM_MBUTTONUP, 0, 5, 6},
    };
    std::vector<MSG> mouse = Dispatched(WM_MOUSEMOVE, WM_XBUTTONDBLCLK);
    ASSERT_EQ(mouse.size(), std::size(wanted));
    for (std::size_t i = 0; i < mouse.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(mouse[i].hwnd, hwnd_);
        EXPECT_EQ(mouse[i].message, wanted[i].message);
        EXPECT_EQ(mouse[i].wParam, wanted[i].wParam);
        EXPECT_EQ(GET_X_LPARAM(mouse[i].lParam), wanted[i].x);
        EXPECT_EQ(GET_Y_LPARAM(mouse[i].lParam), wanted[i].y);
    }
    EXPECT_EQ(GetAsyncKeyState(VK_LBUTTON) & 0x8000, 0);
}

// The wheel: the signed delta in WHEEL_DELTA units in wParam's high word, the key state in its low word, and
// the cursor in screen coordinates; a flipped wheel turns the other way; a horizontal wheel has its own message.
TEST_F(SdlWindowsTest, WheelCarriesTheSignedDeltaAndScreenCoordinates) {
    ASSERT_TRUE(SetWindowPos(hwnd_, nullptr, -100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    Pump();
    g_dispatched.clear();
    PushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 1, 1);
    PushWheel(0.0f, -2.0f, 30, 40);
    PushButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 1, 1);
    PushWheel(0.0f, 0.5f, 7, 8);
    PushWheel(0.0f, 1.0f, 7, 8, SDL_MOUSEWHEEL_FLIPPED);
    PushWheel(3.0f, 0.0f, 0, 0);
    Pump();
    struct Want {
        UINT message;
        int delta;
        WORD keys;
        int x, y;
    } wanted[] = {
        {WM_MOUSEWHEEL, -240, MK_RBUTTON, -70, 90},
        {WM_MOUSEWHEEL, 60, 0, -93, 58},
        {WM_MOUSEWHEEL, -120, 0, -93, 58},
        {WM_MOUSEHWHEEL, 360, 0, -100, 50},
    };
    std::vector<MSG> wheel = Dispatched(WM_MOUSEWHEEL, WM_MOUSEWHEEL);
    for (const MSG& m : Dispatched(WM_MOUSEHWHEEL, WM_MOUSEHWHEEL)) wheel.push_back(m);
    ASSERT_EQ(wheel.size(), std::size(wanted));
    for (std::size_t i = 0; i < wheel.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(wheel[i].message, wanted[i].message);
        EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(wheel[i].wParam), wanted[i].delta);
        EXPECT_EQ(GET_KEYSTATE_WPARAM(wheel[i].wParam), wanted[i].keys);
        EXPECT_EQ(GET_X_LPARAM(wheel[i].lParam), wanted[i].x);
        EXPECT_EQ(GET_Y_LPARAM(wheel[i].lParam), wanted[i].y);
    }
    POINT cursor{};
    ASSERT_TRUE(GetCursorPos(&cursor));
    EXPECT_EQ(cursor.x, -100);
    EXPECT_EQ(cursor.y, 50);
}

LRESULT CALLBACK DoubleClickProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return Proc(hwnd, message, wParam, lParam);
}

// Double-clicks only for classes with CS_DBLCLKS; a third click is a plain press again.
TEST_F(SdlWindowsTest, DoubleClicksOnlyForClassesThatAskForThem) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DoubleClickProc;
    wc.lpszClassName = "Double Clicks";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    HWND clicks = CreateWindowExA(0, "Double Clicks", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(clicks, nullptr);
    SDL_Window* clicksSdl = tarn::platform::SdlWindowOf(clicks);
    for (SDL_Window* on : {sdl_, clicksSdl}) {
        for (Uint8 n = 1; n <= 3; ++n) {
            PushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 4, 4, n, on);
            PushButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 4, 4, n, on);
        }
    }
    Pump();
    std::vector<std::pair<HWND, UINT>> downs;
    for (const MSG& m : Dispatched(WM_LBUTTONDOWN, WM_LBUTTONDBLCLK)) {
        if (m.message != WM_LBUTTONUP) downs.emplace_back(m.hwnd, m.message);
    }
    EXPECT_EQ(downs, (std::vector<std::pair<HWND, UINT>>{{hwnd_, WM_LBUTTONDOWN},
                                                         {hwnd_, WM_LBUTTONDOWN},
                                                         {hwnd_, WM_LBUTTONDOWN},
                                                         {clicks, WM_LBUTTONDOWN},
                                                         {clicks, WM_LBUTTONDBLCLK},
                                                         {clicks, WM_LBUTTONDOWN}}));
    ASSERT_TRUE(DestroyWindow(clicks));
    Pump();
    EXPECT_TRUE(UnregisterClassA("Double Clicks", nullptr));
}

// With the capture, moves over another of our windows go to the capture window, in its client coordinates.
TEST_F(SdlWindowsTest, TheCaptureWindowGetsTheMouseInItsOwnCoordinates) {
    HWND other = CreateWindowExA(0, "Sdl Test", "", WS_POPUP, 200, 100, 50, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(SetCapture(hwnd_), nullptr);
    EXPECT_EQ(GetCapture(), hwnd_);
    g_dispatched.clear();
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(tarn::platform::SdlWindowOf(other));
    e.motion.x = 5;
    e.motion.y = 6;
    SDL_PushEvent(&e);
    Pump();
    std::vector<MSG> moves = Dispatched(WM_MOUSEMOVE, WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].hwnd, hwnd_);
    EXPECT_EQ(moves[0].lParam, MAKELPARAM(205, 106));
    g_dispatched.clear();
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(GetCapture(), nullptr);
    ASSERT_EQ(g_dispatched.size(), 1u);
    EXPECT_EQ(g_dispatched[0].message, static_cast<UINT>(WM_CAPTURECHANGED));
    DestroyWindow(other);
}

// GetAsyncKeyState sees injected keys as soon as the queue has drained them: the high bit while down, the low
// bit once for a press since the last call.
TEST_F(SdlWindowsTest, AsyncKeyStateFollowsTheKeysTheQueueHasSeen) {
    GetAsyncKeyState('G');
    PushKey(SDL_KEYDOWN, SDLK_g, SDL_SCANCODE_G);
    Pump();
    EXPECT_EQ(static_cast<USHORT>(GetAsyncKeyState('G')), 0x8001u);
    EXPECT_EQ(static_cast<USHORT>(GetAsyncKeyState('G')), 0x8000u);
    PushKey(SDL_KEYUP, SDLK_g, SDL_SCANCODE_G);
    PushKey(SDL_KEYDOWN, SDLK_RALT, SDL_SCANCODE_RALT);
    Pump();
    EXPECT_EQ(GetAsyncKeyState('G'), 0);
    EXPECT_LT(GetAsyncKeyState(VK_MENU), 0);
    EXPECT_LT(GetAsyncKeyState(VK_RMENU), 0);
    EXPECT_GE(GetAsyncKeyState(VK_LMENU), 0);
    PushKey(SDL_KEYUP, SDLK_RALT, SDL_SCANCODE_RALT);
    PushKey(SDL_KEYDOWN, SDLK_h, SDL_SCANCODE_H);
    PushKey(SDL_KEYUP, SDLK_h, SDL_SCANCODE_H);
    Pump();
    EXPECT_EQ(GetAsyncKeyState(VK_RMENU) & 0x8000, 0);
    EXPECT_EQ(GetAsyncKeyState('H'), 1) << "pressed and released between two calls";
    EXPECT_EQ(GetAsyncKeyState(0), 0);
    EXPECT_EQ(GetAsyncKeyState(300), 0);
}

// An overlapped window is an SDL window with the window manager's frame that the user can resize; its client
// area is what the resize says.
TEST_F(SdlWindowsTest, OverlappedWindowsAreFramedResizableSdlWindows) {
    RECT rc{0, 0, 400, 300};
    ASSERT_TRUE(AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE));
    HWND framed = CreateWindowExA(0, "Sdl Test", "", WS_OVERLAPPEDWINDOW, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(framed, nullptr);
    SDL_Window* sdl = tarn::platform::SdlWindowOf(framed);
    ASSERT_NE(sdl, nullptr);
    EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_BORDERLESS, 0u);
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_RESIZABLE, 0u);
    EXPECT_EQ(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_RESIZABLE, 0u);
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ(w, 400);
    EXPECT_EQ(h, 300);
    Pump();
    g_dispatched.clear();
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(sdl);
    e.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    e.window.data1 = 500;
    e.window.data2 = 280;
    SDL_PushEvent(&e);
    Pump();
    ASSERT_EQ(g_dispatched.size(), 1u);
    EXPECT_EQ(g_dispatched[0].message, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(g_dispatched[0].lParam, MAKELPARAM(500, 280));
    RECT window{};
    ASSERT_TRUE(GetWindowRect(framed, &window));
    EXPECT_EQ(window.right - window.left, 516);
    EXPECT_EQ(window.bottom - window.top, 319);
    DestroyWindow(framed);
}

// A popup turned into an overlapped window (SetWindowLongA, then SWP_FRAMECHANGED) gets the window manager's
// frame and becomes resizable; a resize of the SDL window itself, as the window manager makes it when the user
// drags the frame, arrives as WM_SIZE with the new client size, which GetClientRect then reports too. SDL's
// off-screen driver has no frame to give or take (SDL then leaves the flags as they are), so the flags are
// checked only on a driver with windows on a screen.
TEST_F(SdlWindowsTest, AWindowMadeResizableFollowsItsSdlWindowsSize) {
    const bool framesWindows = std::string(SDL_GetCurrentVideoDriver()) != "offscreen";
    EXPECT_NE(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_BORDERLESS, 0u);
    SetWindowLongA(hwnd_, GWL_STYLE, static_cast<LONG>(WS_OVERLAPPEDWINDOW));
    EXPECT_NE(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_BORDERLESS, 0u) << "framed only at the frame change";
    RECT rc{0, 0, 320, 240};
    ASSERT_TRUE(AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE));
    ASSERT_TRUE(SetWindowPos(hwnd_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED | SWP_NOACTIVATE));
    if (framesWindows) {
        EXPECT_EQ(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_BORDERLESS, 0u);
        EXPECT_NE(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_RESIZABLE, 0u);
    }
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl_, &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    Pump();
    g_dispatched.clear();

    SDL_SetWindowSize(sdl_, 512, 288);
    Pump();
    ASSERT_EQ(g_dispatched.size(), 1u);
    EXPECT_EQ(g_dispatched[0].message, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(g_dispatched[0].wParam, static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(g_dispatched[0].lParam, MAKELPARAM(512, 288));
    RECT client{};
    ASSERT_TRUE(GetClientRect(hwnd_, &client));
    EXPECT_EQ(client.right, 512);
    EXPECT_EQ(client.bottom, 288);

    // And back to a popup: borderless and fixed again.
    SetWindowLongA(hwnd_, GWL_STYLE, static_cast<LONG>(WS_POPUP));
    ASSERT_TRUE(SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED));
    EXPECT_NE(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_BORDERLESS, 0u);
    EXPECT_EQ(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_RESIZABLE, 0u);
    ASSERT_TRUE(GetClientRect(hwnd_, &client));
    EXPECT_EQ(client.right, 512 + 16);  // the frame's room goes to the client area
    EXPECT_EQ(client.bottom, 288 + 39);
}

// GetMessageA sleeps in SDL's queue: an event pushed from another thread wakes it, and closing ends the loop.
TEST_F(SdlWindowsTest, GetMessageWaitsForSdlEventsAndReturnsZeroOnQuit) {
    std::thread pusher([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    });
    std::vector<UINT> loop;
    MSG msg{};
    BOOL result;
    while ((result = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        loop.push_back(msg.message);
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    pusher.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(loop, (std::vector<UINT>{WM_CLOSE}));
    EXPECT_FALSE(IsWindow(hwnd_));
}

// With a display (SDL's off-screen driver stands in for one) a box becomes a dialog unless the run is headless or
// standard error is forced, and whether standard input is a terminal plays no part: a program started from a
// desktop launcher has none, and its failures must still be seen.
TEST(SdlMessageBoxTest, ADisplayMeansADialogUnlessHeadlessOrForcedToStandardError) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    int savedStdin = dup(STDIN_FILENO);
    int devNull = open("/dev/null", O_RDONLY);
    ASSERT_GE(devNull, 0);
    dup2(devNull, STDIN_FILENO);  // as a launcher leaves it
    close(devNull);
    int dialogs = 0;
    auto previous = tarn::platform::SetDialogHook([&](HWND, const char*, const char*, UINT) {
        ++dialogs;
        return IDCANCEL;
    });
    struct Case {
        const char* mode;  // TARN_MESSAGEBOX, null for unset
        bool headless;
        bool dialog;
    } cases[] = {
        {nullptr, false, true},
        {nullptr, true, false},
        {"stderr", false, false},
        {"dialog", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode != nullptr ? c.mode : "(unset)") + (c.headless ? " headless" : ""));
        if (c.mode != nullptr) {
            setenv("TARN_MESSAGEBOX", c.mode, 1);
        } else {
            unsetenv("TARN_MESSAGEBOX");
        }
        tarn::platform::Runner().headless = c.headless;
        dialogs = 0;
        testing::internal::CaptureStderr();
        int result = MessageBoxA(nullptr, "CreateDevice() Init Fail", "Error", MB_OK);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(dialogs, c.dialog ? 1 : 0);
        EXPECT_EQ(result, c.dialog ? IDCANCEL : IDOK);
        EXPECT_EQ(err, c.dialog ? "" : "[Error] CreateDevice() Init Fail\n");
    }
    tarn::platform::SetDialogHook(previous);
    tarn::platform::Runner().headless = false;
    setenv("TARN_MESSAGEBOX", "stderr", 1);
    dup2(savedStdin, STDIN_FILENO);
    close(savedStdin);
}

}  // namespace
