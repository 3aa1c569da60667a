// Windows, classes and the message queue, run headless: creation messages, posting and peeking with filters,
// default close handling, the quit request after posted messages, and handle errors.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "PresentPath.h"
#include "platform/Runner.h"
#include "platform/win32/Win32.h"

namespace {

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Seen> g_seen;
bool g_handleClose = false;  // when true the procedure swallows WM_CLOSE instead of passing it on
CREATESTRUCTA g_created{};   // what WM_CREATE carried

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back({hwnd, message, wParam, lParam});
    if (message == WM_CREATE) {
        g_created = *reinterpret_cast<const CREATESTRUCTA*>(lParam);
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(7);
        return 0;
    }
    if (message == WM_CLOSE && g_handleClose) {
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK RefusingCreateProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back({hwnd, message, wParam, lParam});
    return message == WM_CREATE ? -1 : DefWindowProcA(hwnd, message, wParam, lParam);
}

std::vector<UINT> Messages() {
    std::vector<UINT> out;
    for (const auto& s : g_seen) {
        out.push_back(s.message);
    }
    return out;
}

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarn::platform::Runner().headless = true;
        g_seen.clear();
        g_handleClose = false;
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_CLASSDC;
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "Test Class";
        ASSERT_NE(RegisterClassExA(&wc), 0);
        Drain();
    }
    void TearDown() override {
        if (window_ != nullptr && IsWindow(window_)) {
            DestroyWindow(window_);
        }
        Drain();
        UnregisterClassA("Test Class", GetModuleHandleA(nullptr));
    }
    // Empties the thread's queue (including a pending quit) so tests start clean.
    static void Drain() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    HWND Create(int width = 800, int height = 600) {
        window_ = CreateWindowExA(0, "test class", "Title", WS_POPUP, 0, 0, width, height, GetDesktopWindow(),
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
        return window_;
    }
    HWND window_ = nullptr;
};

TEST_F(WindowsTest, CreationSendsMessagesToTheProcedureBeforeReturningAHiddenWindow) {
    HWND hwnd = Create(800, 600);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
    EXPECT_EQ(g_seen[0].hwnd, hwnd);
    EXPECT_EQ(g_created.cx, 800);
    EXPECT_EQ(g_created.cy, 600);
    EXPECT_EQ(g_created.hwndParent, GetDesktopWindow());
    EXPECT_EQ(g_seen[2].lParam, MAKELPARAM(800, 600));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    // Headless: a window record without a screen window.
    EXPECT_EQ(tarn::platform::SdlWindowOf(hwnd), nullptr);
    RECT rc{};
    ASSERT_TRUE(GetClientRect(hwnd, &rc));
    EXPECT_EQ(rc.right, 800);
    EXPECT_EQ(rc.bottom, 600);

    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOWDEFAULT));  // returns the previous visibility
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetForegroundWindow(), hwnd);
    EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(hwnd));
}

TEST_F(WindowsTest, CreationFailsForUnknownClassAndWhenTheProcedureRefusesCreate) {
    EXPECT_EQ(CreateWindowExA(0, "No Such Class", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = RefusingCreateProc;
    wc.lpszClassName = "Refusing";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    HWND hwnd = CreateWindowExA(0, "Refusing", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(hwnd, nullptr);
    // The refused window was destroyed: WM_DESTROY reached the procedure.
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_TRUE(UnregisterClassA("Refusing", nullptr));
}

TEST_F(WindowsTest, PostedMessagesComeBackInOrderAndFiltersSelectThem) {
    HWND hwnd = Create();
    ASSERT_TRUE(PostMessageA(hwnd, WM_USER + 1, 11, 12));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 2, 0, 0));  // a thread message
    ASSERT_TRUE(PostMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0));

    MSG msg{};
    // PM_NOREMOVE looks without taking.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
    // A range filter skips earlier messages and leaves them queued.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_KEYDOWN, WM_KEYUP, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_ESCAPE));
    // A window filter skips thread messages; (HWND)-1 takes only them.
    ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_EQ(msg.hwnd, nullptr);
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(msg.wParam, 11u);
    EXPECT_EQ(msg.lParam, 12);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

    g_seen.clear();
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_USER + 1}));
}

TEST_F(WindowsTest, CloseDestroysTheWindowAndQuitArrivesAfterTheQueuedMessages) {
    HWND hwnd = Create();
    ASSERT_TRUE(PostMessageA(hwnd, WM_CLOSE, 0, 0));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER, 0, 0));
    std::vector<UINT> loop;
    MSG msg{};
    g_seen.clear();
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        loop.push_back(msg.message);
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        if (msg.message == WM_QUIT) {
            break;
        }
    }
    // WM_DESTROY posted the quit request during WM_CLOSE, yet WM_USER, queued earlier, still comes first.
    EXPECT_EQ(loop, (std::vector<UINT>{WM_CLOSE, WM_USER, WM_QUIT}));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));  // the quit request is taken once

    // A message range that leaves WM_QUIT out still receives it.
    PostQuitMessage(3);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_KEYDOWN, WM_KEYUP, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(WindowsTest, GetMessageReturnsMessagesThenZeroForQuitAndRefusesUnknownWindows) {
    HWND hwnd = Create();
    ASSERT_TRUE(PostMessageA(hwnd, WM_USER + 3, 5, -6));
    PostQuitMessage(9);
    MSG msg{};
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
    EXPECT_EQ(msg.hwnd, hwnd);
    EXPECT_EQ(msg.lParam, -6);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 9u);

    HWND gone = hwnd;
    ASSERT_TRUE(DestroyWindow(gone));
    window_ = nullptr;
    SetLastError(0);
    EXPECT_EQ(GetMessageA(&msg, gone, 0, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
}

// With nothing queued GetMessageA sleeps until a message comes, here one posted from another thread.
TEST_F(WindowsTest, GetMessageWaitsForAPostFromAnotherThread) {
    Drain();
    std::atomic<bool> returned{false};
    HWND hwnd = Create();
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(returned.load()) << "GetMessageA returned with nothing queued";
        EXPECT_TRUE(PostMessageA(hwnd, WM_USER + 4, 0, 0));  // the window belongs to the waiting thread
    });
    MSG msg{};
    const int result = GetMessageA(&msg, nullptr, 0, 0);
    returned = true;
    poster.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 4));
}

TEST_F(WindowsTest, DestroyingDropsTheWindowsQueuedMessagesAndLaterCallsFailWithInvalidHandle) {
    HWND hwnd = Create();
    g_handleClose = true;
    EXPECT_EQ(SendMessageA(hwnd, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(hwnd));  // the procedure kept it

    ASSERT_TRUE(PostMessageA(hwnd, WM_USER, 0, 0));
    ASSERT_TRUE(DestroyWindow(hwnd));
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));  // WM_USER went with the window

    struct Call {
        const char* name;
        BOOL result;
    } calls[] = {
        {"DestroyWindow", DestroyWindow(hwnd)},
        {"ShowWindow", ShowWindow(hwnd, SW_SHOW)},
        {"PostMessageA", PostMessageA(hwnd, WM_USER, 0, 0)},
        {"UpdateWindow", UpdateWindow(hwnd)},
    };
    for (const auto& c : calls) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(c.result);
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowsTest, UnregisteringAClassWithLiveWindowsFails) {
    HWND hwnd = Create();
    EXPECT_FALSE(UnregisterClassA("Test Class", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(UnregisterClassA("Test Class", nullptr));
    EXPECT_FALSE(UnregisterClassA("Test Class", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "Test Class";
    ASSERT_NE(RegisterClassExA(&wc), 0);  // for TearDown
}

TEST_F(WindowsTest, TranslateMessageAddsCharactersForCharacterKeys) {
    HWND hwnd = Create();
    MSG key{};
    key.hwnd = hwnd;
    key.message = WM_KEYDOWN;
    key.wParam = 'Q';
    EXPECT_TRUE(TranslateMessage(&key));
    key.wParam = VK_LEFT;
    EXPECT_TRUE(TranslateMessage(&key));  // a key message, but no character
    key.message = WM_KEYUP;
    EXPECT_FALSE(TranslateMessage(&key));
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>('q'));
    EXPECT_FALSE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));

    // The character goes ahead of messages already waiting, such as the key's own WM_KEYUP.
    ASSERT_TRUE(PostMessageA(hwnd, WM_KEYUP, 'W', 0xC0110001));
    key.message = WM_KEYDOWN;
    key.wParam = 'W';
    EXPECT_TRUE(TranslateMessage(&key));
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>('w'));
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYUP));
}

}  // namespace
