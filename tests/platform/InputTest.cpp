// Key state and cursors, run headless: GetKeyState following the key and button messages the thread takes,
// the standard cursors, ShowCursor's counter and the cursor position.
#include <gtest/gtest.h>

#include "platform/Runner.h"
#include "platform/win32/Win32.h"

namespace {

LRESULT CALLBACK PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarn::platform::Runner().headless = true;
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = PlainProc;
        wc.lpszClassName = "Input";
        ASSERT_NE(RegisterClassExA(&wc), 0);
        hwnd_ = CreateWindowExA(0, "Input", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd_, nullptr);
    }
    void TearDown() override {
        DestroyWindow(hwnd_);
        UnregisterClassA("Input", nullptr);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    // Posts a message and takes it, as the loop would.
    void Take(UINT message, WPARAM wParam, LPARAM lParam = 0) {
        ASSERT_TRUE(PostMessageA(hwnd_, message, wParam, lParam));
        MSG msg{};
        ASSERT_TRUE(PeekMessageA(&msg, hwnd_, 0, 0, PM_REMOVE));
    }
    HWND hwnd_ = nullptr;
};

// GetKeyState: the high bit while the key is down as far as the taken messages say, the low bit toggling with
// each press (not with repeats); a message still waiting changes nothing.
TEST_F(InputTest, KeyStateFollowsTheMessagesTheThreadTakes) {
    const SHORT before = GetKeyState('K');
    const SHORT toggled = static_cast<SHORT>(before & 1);
    ASSERT_TRUE(PostMessageA(hwnd_, WM_KEYDOWN, 'K', 0x00250001));
    EXPECT_EQ(GetKeyState('K') & 0x8000, 0) << "not taken yet";
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, hwnd_, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<USHORT>(GetKeyState('K')), 0x8000u | static_cast<USHORT>(toggled ^ 1));
    Take(WM_KEYDOWN, 'K', 0x40250001);  // a repeat
    EXPECT_EQ(GetKeyState('K') & 1, toggled ^ 1);
    Take(WM_KEYUP, 'K', static_cast<LPARAM>(0xC0250001u));
    EXPECT_EQ(GetKeyState('K'), static_cast<SHORT>(toggled ^ 1));

    // The sides of a modifier come from the scan code and the extended-key flag.
    Take(WM_KEYDOWN, VK_SHIFT, 0x00360001);
    Take(WM_KEYDOWN, VK_CONTROL, 0x011D0001);
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);
    EXPECT_LT(GetKeyState(VK_RSHIFT), 0);
    EXPECT_GE(GetKeyState(VK_LSHIFT), 0);
    EXPECT_LT(GetKeyState(VK_RCONTROL), 0);
    EXPECT_GE(GetKeyState(VK_LCONTROL), 0);
    Take(WM_KEYUP, VK_SHIFT, static_cast<LPARAM>(0xC0360001u));
    Take(WM_KEYUP, VK_CONTROL, static_cast<LPARAM>(0xC11D0001u));
    EXPECT_GE(GetKeyState(VK_RSHIFT), 0);

    Take(WM_RBUTTONDOWN, MK_RBUTTON);
    EXPECT_LT(GetKeyState(VK_RBUTTON), 0);
    Take(WM_RBUTTONUP, 0);
    EXPECT_GE(GetKeyState(VK_RBUTTON), 0);
    EXPECT_EQ(GetKeyState(0), 0);
    EXPECT_EQ(GetKeyState(256), 0);
}

TEST_F(InputTest, StandardCursorsLoadAndOthersFail) {
    const LPCSTR standard[] = {IDC_ARROW, IDC_IBEAM, IDC_WAIT,   IDC_CROSS,  IDC_SIZEALL,
                               IDC_NO,    IDC_HAND,  IDC_SIZEWE, IDC_SIZENS, IDC_APPSTARTING};
    HCURSOR previous = nullptr;
    for (LPCSTR name : standard) {
        SCOPED_TRACE(reinterpret_cast<ULONG_PTR>(name));
        HCURSOR cursor = LoadCursorA(nullptr, name);
        ASSERT_NE(cursor, nullptr);
        EXPECT_EQ(LoadCursorA(nullptr, name), cursor) << "a shared cursor";
        EXPECT_NE(cursor, previous);
        previous = cursor;
    }
    struct Case {
        const char* name;
        HINSTANCE instance;
        LPCSTR cursor;
    } refused[] = {
        {"unknown number", nullptr, MAKEINTRESOURCEA(32000)},
        {"named resource", nullptr, "MYCURSOR"},
        {"a module's resource", GetModuleHandleA(nullptr), IDC_ARROW},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        SetLastError(0);
        EXPECT_EQ(LoadCursorA(c.instance, c.cursor), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    }
}

TEST_F(InputTest, SetCursorReturnsThePreviousOneAndShowCursorCounts) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    SetCursor(arrow);
    EXPECT_EQ(SetCursor(wait), arrow);
    EXPECT_EQ(SetCursor(nullptr), wait);
    SetLastError(0);
    EXPECT_EQ(SetCursor(reinterpret_cast<HCURSOR>(&arrow)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE));
    EXPECT_EQ(SetCursor(arrow), nullptr) << "the refused handle changed nothing";

    const int start = ShowCursor(TRUE) - 1;
    EXPECT_EQ(ShowCursor(FALSE), start);
    EXPECT_EQ(ShowCursor(FALSE), start - 1);
    EXPECT_EQ(ShowCursor(FALSE), start - 2);
    EXPECT_EQ(ShowCursor(TRUE), start - 1);
    EXPECT_EQ(ShowCursor(TRUE), start);
}

TEST_F(InputTest, CursorPositionIsWhatSetCursorPosSetAndMessagesCarryIt) {
    ASSERT_TRUE(SetCursorPos(-40, 1200));
    POINT p{};
    ASSERT_TRUE(GetCursorPos(&p));
    EXPECT_EQ(p.x, -40);
    EXPECT_EQ(p.y, 1200);
    ASSERT_TRUE(PostMessageA(hwnd_, WM_USER, 0, 0));
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, hwnd_, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.pt.x, -40);
    EXPECT_EQ(msg.pt.y, 1200);
    EXPECT_FALSE(GetCursorPos(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
