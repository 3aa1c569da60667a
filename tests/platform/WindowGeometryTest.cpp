// Window geometry, run headless: the frame each style gets, SetWindowPos's flags and the messages it sends, the
// window rectangle against the client area, coordinate conversion and the window's text.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/Runner.h"
#include "platform/win32/Win32.h"

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    WINDOWPOS position;  // for the WM_WINDOWPOS* messages
};
std::vector<Seen> g_seen;
bool g_handleChanged = false;  // the procedure handles WM_WINDOWPOSCHANGED itself, without DefWindowProcA
int g_forceWidth = 0;          // WM_WINDOWPOSCHANGING changes the width to this when nonzero

LRESULT CALLBACK GeometryProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Seen seen{message, wParam, lParam, {}};
    if (message == WM_WINDOWPOSCHANGING || message == WM_WINDOWPOSCHANGED) {
        auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
        if (message == WM_WINDOWPOSCHANGING && g_forceWidth != 0) position->cx = g_forceWidth;
        seen.position = *position;
    }
    if (message == WM_MOVE || message == WM_SIZE || message == WM_WINDOWPOSCHANGING || message == WM_WINDOWPOSCHANGED ||
        message == WM_SETTEXT) {
        g_seen.push_back(seen);
    }
    if (message == WM_WINDOWPOSCHANGED && g_handleChanged) return 0;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

std::vector<UINT> Messages() {
    std::vector<UINT> out;
    for (const auto& s : g_seen) out.push_back(s.message);
    return out;
}

class WindowGeometryTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarn::platform::Runner().headless = true;
        g_seen.clear();
        g_handleChanged = false;
        g_forceWidth = 0;
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = GeometryProc;
        wc.lpszClassName = "Geometry";
        ASSERT_NE(RegisterClassExA(&wc), 0);
    }
    void TearDown() override {
        for (HWND w : windows_) {
            if (IsWindow(w)) DestroyWindow(w);
        }
        UnregisterClassA("Geometry", nullptr);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    HWND Create(DWORD style, int x, int y, int width, int height, DWORD exStyle = 0) {
        HWND w = CreateWindowExA(exStyle, "Geometry", "Title", style, x, y, width, height, nullptr, nullptr, nullptr,
                                 nullptr);
        windows_.push_back(w);
        g_seen.clear();
        return w;
    }
    std::vector<HWND> windows_;
};

TEST_F(WindowGeometryTest, AdjustWindowRectAddsTheFrameOfEachStyle) {
    struct Case {
        const char* name;
        DWORD style;
        BOOL menu;
        DWORD exStyle;
        RECT wanted;  // for the client rectangle (100, 50)-(740, 530)
    } cases[] = {
        {"popup", WS_POPUP, FALSE, 0, {100, 50, 740, 530}},
        {"overlapped window", WS_OVERLAPPEDWINDOW, FALSE, 0, {92, 19, 748, 538}},
        {"caption, fixed frame", WS_CAPTION | WS_SYSMENU, FALSE, 0, {97, 24, 743, 533}},
        {"border only", WS_POPUP | WS_BORDER, FALSE, 0, {99, 49, 741, 531}},
        {"overlapped window with a menu", WS_OVERLAPPEDWINDOW, TRUE, 0, {92, -1, 748, 538}},
        {"popup with a client edge", WS_POPUP, FALSE, WS_EX_CLIENTEDGE, {98, 48, 742, 532}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RECT rc{100, 50, 740, 530};
        ASSERT_TRUE(AdjustWindowRectEx(&rc, c.style, c.menu, c.exStyle));
        EXPECT_EQ(rc.left, c.wanted.left);
        EXPECT_EQ(rc.top, c.wanted.top);
        EXPECT_EQ(rc.right, c.wanted.right);
        EXPECT_EQ(rc.bottom, c.wanted.bottom);
        if (c.exStyle == 0) {
            RECT plain{100, 50, 740, 530};
            ASSERT_TRUE(AdjustWindowRect(&plain, c.style, c.menu));
            EXPECT_EQ(plain.top, c.wanted.top);
        }
    }
    EXPECT_FALSE(AdjustWindowRect(nullptr, WS_POPUP, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// A framed window made with the rectangle AdjustWindowRect gave has the client area that was asked for.
TEST_F(WindowGeometryTest, CreatedWindowsKeepTheirClientAreaInsideTheFrame) {
    RECT rc{0, 0, 640, 480};
    ASSERT_TRUE(AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE));
    HWND hwnd = Create(WS_OVERLAPPEDWINDOW, -20, 30, rc.right - rc.left, rc.bottom - rc.top);
    ASSERT_NE(hwnd, nullptr);
    RECT client{}, window{};
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    ASSERT_TRUE(GetWindowRect(hwnd, &window));
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    EXPECT_EQ(window.left, -20);
    EXPECT_EQ(window.top, 30);
    EXPECT_EQ(window.right, -20 + 656);
    EXPECT_EQ(window.bottom, 30 + 519);
    POINT p{5, -7};
    ASSERT_TRUE(ClientToScreen(hwnd, &p));
    EXPECT_EQ(p.x, -20 + 8 + 5);
    EXPECT_EQ(p.y, 30 + 31 - 7);
    ASSERT_TRUE(ScreenToClient(hwnd, &p));
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, -7);
}

// A new style is stored at once but framed only by SetWindowPos with SWP_FRAMECHANGED: a popup turned into an
// overlapped window and given the rectangle AdjustWindowRect asks for keeps its client size (no WM_SIZE); without
// a new rectangle the frame takes its room from the client area, which WM_SIZE reports.
TEST_F(WindowGeometryTest, ANewStyleIsFramedAtTheNextFrameChange) {
    HWND hwnd = Create(WS_POPUP, 0, 0, 800, 600);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)), static_cast<DWORD>(WS_POPUP));
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)), static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
    EXPECT_EQ(static_cast<DWORD>(SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>(WS_OVERLAPPEDWINDOW))),
              static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)),
              static_cast<DWORD>(WS_OVERLAPPEDWINDOW | WS_VISIBLE));  // still shown
    RECT client{};
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(client.right, 800);  // not framed yet

    RECT rc{0, 0, 800, 600};
    ASSERT_TRUE(AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE));
    g_seen.clear();
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED | SWP_NOACTIVATE));
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    RECT window{};
    ASSERT_TRUE(GetWindowRect(hwnd, &window));
    EXPECT_EQ(window.left, 0);
    EXPECT_EQ(window.top, 0);
    EXPECT_EQ(window.right, 816);
    EXPECT_EQ(window.bottom, 639);
    for (const Seen& seen : g_seen) EXPECT_NE(seen.message, static_cast<UINT>(WM_SIZE));

    // Back to a popup without a new rectangle: the client area grows to the whole window.
    SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>(WS_POPUP));
    g_seen.clear();
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED));
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(client.right, 816);
    EXPECT_EQ(client.bottom, 639);
    ASSERT_FALSE(g_seen.empty());
    EXPECT_EQ(g_seen.back().message, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(g_seen.back().lParam, MAKELPARAM(816, 639));

    EXPECT_EQ(SetWindowLongA(hwnd, GWL_EXSTYLE, WS_EX_TOPMOST), 0);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE)), static_cast<DWORD>(WS_EX_TOPMOST));
    SetLastError(0);
    EXPECT_EQ(GetWindowLongA(hwnd, -4), 0);  // GWL_WNDPROC is not offered
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    EXPECT_EQ(SetWindowLongA(hwnd, 7, 1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    EXPECT_EQ(GetWindowLongA(reinterpret_cast<HWND>(0x999), GWL_STYLE), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(SetWindowLongA(reinterpret_cast<HWND>(0x999), GWL_STYLE, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowGeometryTest, SetWindowPosMovesAndSizesWhatItsFlagsAllow) {
    struct Case {
        const char* name;
        UINT flags;
        RECT wanted;                 // the window rectangle afterwards
        std::vector<UINT> messages;  // what the procedure saw
    } cases[] = {
        {"move and size",
         SWP_NOZORDER,
         {-30, 40, 170, 140},
         {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}},
        {"no move",
         SWP_NOZORDER | SWP_NOMOVE,
         {10, 20, 210, 120},
         {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_SIZE}},
        {"no size", SWP_NOZORDER | SWP_NOSIZE, {-30, 40, 70, 90}, {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE}},
        {"neither", SWP_NOMOVE | SWP_NOSIZE, {10, 20, 110, 70}, {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}},
        {"no changing message", SWP_NOSENDCHANGING | SWP_NOMOVE, {10, 20, 210, 120}, {WM_WINDOWPOSCHANGED, WM_SIZE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND hwnd = Create(WS_POPUP, 10, 20, 100, 50);
        ASSERT_TRUE(SetWindowPos(hwnd, HWND_TOP, -30, 40, 200, 100, c.flags));
        RECT rc{};
        ASSERT_TRUE(GetWindowRect(hwnd, &rc));
        EXPECT_EQ(rc.left, c.wanted.left);
        EXPECT_EQ(rc.top, c.wanted.top);
        EXPECT_EQ(rc.right, c.wanted.right);
        EXPECT_EQ(rc.bottom, c.wanted.bottom);
        EXPECT_EQ(Messages(), c.messages);
        for (const Seen& s : g_seen) {
            // WM_MOVE: the client origin as signed words; WM_SIZE: the client size.
            if (s.message == WM_MOVE) {
                EXPECT_EQ(GET_X_LPARAM(s.lParam), -30);
                EXPECT_EQ(GET_Y_LPARAM(s.lParam), 40);
            }
            if (s.message == WM_SIZE) {
                EXPECT_EQ(s.wParam, static_cast<WPARAM>(SIZE_RESTORED));
                EXPECT_EQ(s.lParam, MAKELPARAM(200, 100));
            }
            if (s.message == WM_WINDOWPOSCHANGED) {
                EXPECT_EQ(s.position.hwnd, hwnd);
                EXPECT_EQ(s.position.x, rc.left);
                EXPECT_EQ(s.position.cx, rc.right - rc.left);
                EXPECT_EQ((s.position.flags & SWP_NOCLIENTMOVE) != 0, (c.flags & SWP_NOMOVE) != 0);
                EXPECT_EQ((s.position.flags & SWP_NOCLIENTSIZE) != 0, (c.flags & SWP_NOSIZE) != 0);
            }
        }
    }
}

TEST_F(WindowGeometryTest, SetWindowPosShowsHidesActivatesAndLetsTheProcedureChangeThePosition) {
    HWND hwnd = Create(WS_POPUP, 0, 0, 100, 50);
    HWND other = Create(WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
    ASSERT_EQ(GetForegroundWindow(), other);
    // Shown without activation: visible, the other window stays in front.
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetForegroundWindow(), other);
    ASSERT_TRUE(SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_EQ(GetForegroundWindow(), hwnd);
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_HIDEWINDOW));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetForegroundWindow(), nullptr);

    // WM_WINDOWPOSCHANGING may change what happens; a procedure that handles WM_WINDOWPOSCHANGED itself gets
    // no WM_SIZE.
    g_forceWidth = 300;
    g_handleChanged = true;
    g_seen.clear();
    ASSERT_TRUE(MoveWindow(hwnd, 0, 0, 150, 60, TRUE));
    RECT rc{};
    ASSERT_TRUE(GetClientRect(hwnd, &rc));
    EXPECT_EQ(rc.right, 300);
    EXPECT_EQ(rc.bottom, 60);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}));
}

TEST_F(WindowGeometryTest, GeometryCallsRefuseBadHandlesAndArguments) {
    HWND hwnd = Create(WS_POPUP, 0, 0, 100, 50);
    HWND gone = Create(WS_POPUP, 0, 0, 10, 10);
    ASSERT_TRUE(DestroyWindow(gone));
    POINT p{};
    RECT rc{};
    char text[4];
    struct Call {
        const char* name;
        std::function<BOOL()> call;
        DWORD error;
    } calls[] = {
        {"SetWindowPos", [&] { return SetWindowPos(gone, nullptr, 0, 0, 1, 1, 0); }, ERROR_INVALID_WINDOW_HANDLE},
        {"SetWindowPos insert after", [&] { return SetWindowPos(hwnd, gone, 0, 0, 1, 1, 0); },
         ERROR_INVALID_WINDOW_HANDLE},
        {"SetWindowPos flags", [&] { return SetWindowPos(hwnd, nullptr, 0, 0, 1, 1, 0x00010000); },
         ERROR_INVALID_PARAMETER},
        {"MoveWindow", [&] { return MoveWindow(gone, 0, 0, 1, 1, TRUE); }, ERROR_INVALID_WINDOW_HANDLE},
        {"GetWindowRect", [&] { return GetWindowRect(gone, &rc); }, ERROR_INVALID_WINDOW_HANDLE},
        {"GetWindowRect null", [&] { return GetWindowRect(hwnd, nullptr); }, ERROR_INVALID_PARAMETER},
        {"ClientToScreen", [&] { return ClientToScreen(gone, &p); }, ERROR_INVALID_WINDOW_HANDLE},
        {"ScreenToClient null", [&] { return ScreenToClient(hwnd, nullptr); }, ERROR_INVALID_PARAMETER},
        {"SetWindowTextA", [&] { return SetWindowTextA(gone, "x"); }, ERROR_INVALID_WINDOW_HANDLE},
        {"GetWindowTextA", [&] { return static_cast<BOOL>(GetWindowTextA(gone, text, 4)); },
         ERROR_INVALID_WINDOW_HANDLE},
    };
    for (const Call& c : calls) {
        SCOPED_TRACE(c.name);
        SetLastError(0);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(WindowGeometryTest, WindowTextGoesThroughTheTextMessagesAndIsCutToTheBuffer) {
    HWND hwnd = Create(WS_POPUP, 0, 0, 10, 10);
    ASSERT_TRUE(SetWindowTextA(hwnd, "Tarn Engine 1.0v"));
    ASSERT_EQ(Messages(), (std::vector<UINT>{WM_SETTEXT}));
    EXPECT_EQ(GetWindowTextLengthA(hwnd), 16);
    char text[8] = "xxxxxxx";
    EXPECT_EQ(GetWindowTextA(hwnd, text, sizeof(text)), 7);
    EXPECT_STREQ(text, "Tarn En");
    char whole[32];
    EXPECT_EQ(GetWindowTextA(hwnd, whole, sizeof(whole)), 16);
    EXPECT_STREQ(whole, "Tarn Engine 1.0v");
    EXPECT_EQ(GetWindowTextA(hwnd, whole, 0), 0);
}

}  // namespace
