// Windows with a screen surface, on SDL's off-screen video driver: the SDL window behind an engine window, and
// SDL's key, close and resize events arriving as window messages through PeekMessageA.
#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

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
