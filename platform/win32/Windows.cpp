// Window classes, windows and the per-thread message queue. A window is a record (class, procedure, client area,
// visibility) and, unless the run is headless, a hidden SDL window. PeekMessageA and GetMessageA drain SDL's event
// queue into the calling thread's queue first (SdlEvents.cpp translates the events into window messages);
// GetMessageA then sleeps until a message comes. Whether windows get an SDL window at all is decided in
// Display.cpp; moving, sizing and naming windows is WindowGeometry.cpp.
#include <SDL.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "PresentPath.h"
#include "platform/Runner.h"
#include "IdleWait.h"
#include "Win32Internal.h"
#include "WindowRecord.h"
#include "platform/win32/Win32.h"

namespace {

using tarn::platform::detail::FailsNow;

struct WindowClass {
    std::string name;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    UINT style = 0;
    ATOM atom = 0;
};

using Window = tarn::platform::detail::WindowRecord;

// Thread message queue: posted messages in order, and the quit request that PostQuitMessage leaves.
struct Queue {
    std::deque<MSG> posted;
    bool quit = false;
    int quitCode = 0;
};

constexpr std::uintptr_t kDesktopId = 0x10;
constexpr std::uintptr_t kFirstWindowId = 0x10010;

std::recursive_mutex& Lock() { return tarn::platform::detail::WindowLock(); }
std::map<std::string, WindowClass>& Classes() {
    static std::map<std::string, WindowClass> classes;
    return classes;
}
std::unordered_map<std::uintptr_t, std::shared_ptr<Window>>& Windows() {
    static std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> windows;
    return windows;
}
std::unordered_map<std::thread::id, Queue>& Queues() {
    static std::unordered_map<std::thread::id, Queue> queues;
    return queues;
}

std::uintptr_t g_nextWindowId = kFirstWindowId;
ATOM g_nextAtom = 0xC000;
HWND g_foreground = nullptr;

std::string Lowered(const char* text) {
    std::string out = text != nullptr ? text : "";
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// GetMessageA's waiters. Every post bumps the generation and wakes a headless waiter; a waiter with SDL running
// sleeps in SDL's event queue instead, so a post also pushes an event of our own there while one is waiting.
std::mutex g_waitMutex;
std::condition_variable g_waitCondition;
std::uint64_t g_postGeneration = 0;
std::atomic<int> g_sdlWaiters{0};

Uint32 WakeEventType() {
    static const Uint32 type = SDL_RegisterEvents(1);
    return type;
}

void WakeWaiters() {
    {
        std::lock_guard lock(g_waitMutex);
        ++g_postGeneration;
    }
    g_waitCondition.notify_all();
    if (g_sdlWaiters.load() > 0) {
        SDL_Event wake{};
        wake.type = WakeEventType();
        SDL_PushEvent(&wake);
    }
}

HWND HandleOf(std::uintptr_t id) { return reinterpret_cast<HWND>(id); }
std::uintptr_t IdOf(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }

std::shared_ptr<Window> Find(HWND window) { return tarn::platform::detail::FindWindow(window); }

void Post(std::thread::id thread, HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool ahead = false) {
    tarn::platform::detail::PostToThread(thread, window, message, wParam, lParam, ahead);
}

void PumpSdl() {
    if (tarn::platform::detail::Headless() || SDL_WasInit(SDL_INIT_VIDEO) == 0) {
        return;
    }
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        tarn::platform::detail::TranslateSdlEvent(event);
    }
}

bool Matches(const MSG& msg, HWND filter, UINT low, UINT high) {
    if (filter == reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1))) {
        if (msg.hwnd != nullptr) {
            return false;
        }
    } else if (filter != nullptr && msg.hwnd != filter) {
        return false;
    }
    if (low == 0 && high == 0) {
        return true;
    }
    return msg.message >= low && msg.message <= high;
}

}  // namespace

namespace tarn::platform::detail {

std::recursive_mutex& WindowLock() {
    static std::recursive_mutex mutex;
    return mutex;
}

std::shared_ptr<WindowRecord> FindWindow(HWND window) {
    std::lock_guard lock(Lock());
    auto it = Windows().find(IdOf(window));
    return it == Windows().end() ? nullptr : it->second;
}

std::shared_ptr<WindowRecord> FindSdlWindow(Uint32 sdlId) {
    std::lock_guard lock(Lock());
    for (auto& [id, window] : Windows()) {
        if (window->sdl != nullptr && window->sdlId == sdlId) {
            return window;
        }
    }
    return nullptr;
}

HWND HandleOfWindow(const WindowRecord& window) { return HandleOf(window.id); }

// `ahead` serves the characters that TranslateMessage makes: they are seen before any message already waiting.
void PostToThread(std::thread::id thread, HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool ahead) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = MillisecondsNow();
    msg.pt = CursorPosition();
    {
        std::lock_guard lock(Lock());
        auto& posted = Queues()[thread].posted;
        if (ahead)
            posted.push_front(msg);
        else
            posted.push_back(msg);
    }
    WakeWaiters();
}

void SetForeground(HWND window) {
    std::lock_guard lock(Lock());
    g_foreground = window;
}

void ClearForeground(HWND window) {
    std::lock_guard lock(Lock());
    if (g_foreground == window) g_foreground = nullptr;
}

}  // namespace tarn::platform::detail

namespace tarn::platform {

SDL_Window* SdlWindowOf(HWND__* window) {
    auto record = Find(window);
    return record ? record->sdl : nullptr;
}

}  // namespace tarn::platform

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
    if (FailsNow("RegisterClassExA")) {
        return 0;
    }
    if (wc == nullptr || wc->lpfnWndProc == nullptr || wc->lpszClassName == nullptr || wc->lpszClassName[0] == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard lock(Lock());
    std::string key = Lowered(wc->lpszClassName);
    if (Classes().count(key) != 0) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    WindowClass cls;
    cls.name = wc->lpszClassName;
    cls.proc = wc->lpfnWndProc;
    cls.instance = wc->hInstance;
    cls.style = wc->style;
    cls.atom = g_nextAtom++;
    Classes()[key] = cls;
    return cls.atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    std::lock_guard lock(Lock());
    auto it = Classes().find(Lowered(className));
    if (className == nullptr || it == Classes().end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    for (auto& [id, window] : Windows()) {
        if (Lowered(window->className.c_str()) == it->first) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
    }
    Classes().erase(it);
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    if (FailsNow("CreateWindowExA")) {
        return nullptr;
    }
    auto window = std::make_shared<Window>();
    {
        std::lock_guard lock(Lock());
        auto it = Classes().find(Lowered(className));
        if (className == nullptr || it == Classes().end()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        window->id = g_nextWindowId;
        g_nextWindowId += 0x10;
        window->className = it->second.name;
        window->proc = it->second.proc;
        window->classStyle = it->second.style;
    }
    window->title = windowName != nullptr ? windowName : "";
    window->style = style & ~static_cast<DWORD>(WS_VISIBLE);  // visibility is `visible`
    window->exStyle = exStyle;
    // x, y, width and height give the window's rectangle; the record keeps its client area inside the frame.
    window->frame = tarn::platform::detail::FrameOf(style, exStyle, false);
    window->sdlResizable = (style & WS_THICKFRAME) != 0;
    const auto& frame = window->frame;
    const int outerX = x == CW_USEDEFAULT ? 0 : x;
    const int outerY = y == CW_USEDEFAULT ? 0 : y;
    const int outerWidth = width == CW_USEDEFAULT ? 640 : (width < 0 ? 0 : width);
    const int outerHeight = height == CW_USEDEFAULT ? 480 : (height < 0 ? 0 : height);
    window->x = outerX + frame.left;
    window->y = outerY + frame.top;
    window->width = std::max(0, outerWidth - static_cast<int>(frame.left + frame.right));
    window->height = std::max(0, outerHeight - static_cast<int>(frame.top + frame.bottom));
    window->thread = std::this_thread::get_id();

    if (!tarn::platform::detail::Headless()) {
        int sx = x == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : window->x;
        int sy = y == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : window->y;
        // A window without a frame of ours is borderless; a framed one gets the window manager's frame, and a
        // sizing frame lets the user resize it.
        const bool framed = frame.left != 0 || frame.top != 0;
        Uint32 flags =
            SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL | (framed ? 0u : static_cast<Uint32>(SDL_WINDOW_BORDERLESS));
        if ((style & WS_THICKFRAME) != 0) {
            flags |= SDL_WINDOW_RESIZABLE;
        }
        if ((exStyle & WS_EX_TOPMOST) != 0) {
            flags |= SDL_WINDOW_ALWAYS_ON_TOP;
        }
        window->sdl = SDL_CreateWindow(window->title.c_str(), sx, sy, window->width > 0 ? window->width : 1,
                                       window->height > 0 ? window->height : 1, flags);
        if (window->sdl == nullptr) {
            // A display that refuses the window leaves a record-only window, as in a headless run.
            std::fprintf(stderr, "platform: SDL_CreateWindow failed (%s); window has no screen surface\n",
                         SDL_GetError());
        } else {
            window->sdlId = SDL_GetWindowID(window->sdl);
        }
    }
    {
        std::lock_guard lock(Lock());
        Windows()[window->id] = window;
    }

    HWND hwnd = HandleOf(window->id);
    CREATESTRUCTA cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cx = outerWidth;
    cs.cy = outerHeight;
    cs.x = outerX;
    cs.y = outerY;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = window->title.c_str();
    cs.lpszClass = window->className.c_str();
    cs.dwExStyle = exStyle;
    // Creation messages reach the procedure synchronously, before CreateWindowExA returns the handle.
    if (window->proc(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) == 0 ||
        window->proc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (IsWindow(hwnd)) {
        window->proc(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(window->width, window->height));
    }
    if (IsWindow(hwnd)) {
        window->proc(hwnd, WM_MOVE, 0, MAKELPARAM(window->x, window->y));
    }
    if (!IsWindow(hwnd)) {
        return nullptr;
    }
    if ((style & WS_VISIBLE) != 0) {
        ShowWindow(hwnd, SW_SHOW);
    }
    return hwnd;
}

BOOL ShowWindow(HWND hwnd, int command) {
    auto window = Find(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const bool show = command != SW_HIDE;
    const bool minimize = command == SW_MINIMIZE || command == SW_SHOWMINIMIZED || command == SW_SHOWMINNOACTIVE;
    const bool restore = command == SW_RESTORE || command == SW_SHOW || command == SW_SHOWNORMAL;
    bool wasVisible, wasMinimized, minimizing = false, restoring = false;
    LPARAM size = 0;
    {
        // The state changes under the lock; the window procedure and SDL are called outside it.
        std::lock_guard lock(Lock());
        wasVisible = window->visible;
        wasMinimized = window->minimized;
        window->visible = show;
        minimizing = minimize && !wasMinimized;
        restoring = restore && wasMinimized;
        if (minimize) window->minimized = true;
        if (restore) window->minimized = false;
        // A minimised window is not the one the user works in.
        if (show && !window->minimized) {
            g_foreground = hwnd;
        } else if (g_foreground == hwnd) {
            g_foreground = nullptr;
        }
        size = MAKELPARAM(window->width, window->height);
    }
    if (show != wasVisible) {
        window->proc(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        if (window->sdl != nullptr) {
            if (show) {
                SDL_ShowWindow(window->sdl);
            } else {
                SDL_HideWindow(window->sdl);
            }
        }
    }
    if (minimizing) {
        if (window->sdl != nullptr) SDL_MinimizeWindow(window->sdl);
        window->proc(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
    } else if (restoring) {
        if (window->sdl != nullptr) SDL_RestoreWindow(window->sdl);
        window->proc(hwnd, WM_SIZE, SIZE_RESTORED, size);
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd) {
    auto window = Find(hwnd);
    std::lock_guard lock(Lock());
    return window && window->minimized ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hwnd) {
    auto window = Find(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL DestroyWindow(HWND hwnd) {
    auto window = Find(hwnd);
    bool wasVisible = false;
    {
        // Marking the window as being destroyed is one step under the lock, so two callers cannot both
        // proceed.
        std::lock_guard lock(Lock());
        if (window && !window->destroying) {
            window->destroying = true;
            wasVisible = window->visible;
            window->visible = false;
        } else {
            window = nullptr;
        }
    }
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (wasVisible) {
        window->proc(hwnd, WM_SHOWWINDOW, FALSE, 0);
    }
    window->proc(hwnd, WM_DESTROY, 0, 0);
    window->proc(hwnd, WM_NCDESTROY, 0, 0);
    {
        std::lock_guard lock(Lock());
        Windows().erase(window->id);
        // Messages still queued for the window go with it.
        for (auto& [thread, queue] : Queues()) {
            std::erase_if(queue.posted, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
        }
        if (g_foreground == hwnd) {
            g_foreground = nullptr;
        }
    }
    tarn::platform::detail::ForgetCapture(hwnd);
    if (window->sdl != nullptr) {
        SDL_DestroyWindow(window->sdl);
        window->sdl = nullptr;
    }
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    if (IdOf(hwnd) == kDesktopId) {
        return TRUE;
    }
    // Still a window while WM_DESTROY is being handled, as documented.
    return Find(hwnd) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
    if (IdOf(hwnd) == kDesktopId) {
        return TRUE;
    }
    auto window = Find(hwnd);
    std::lock_guard lock(Lock());
    return window && window->visible ? TRUE : FALSE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (IdOf(hwnd) == kDesktopId) {
        int w = 1920, h = 1080;
        SDL_Rect bounds;
        if (!tarn::platform::detail::Headless() && SDL_GetDisplayBounds(0, &bounds) == 0) {
            w = bounds.w;
            h = bounds.h;
        }
        *rect = RECT{0, 0, w, h};
        return TRUE;
    }
    auto window = Find(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(Lock());
    *rect = window->minimized ? RECT{0, 0, 0, 0} : RECT{0, 0, window->width, window->height};
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    std::lock_guard lock(Lock());
    Queue& queue = Queues()[std::this_thread::get_id()];
    queue.quit = true;
    queue.quitCode = exitCode;
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (FailsNow("PostMessageA")) {
        return FALSE;
    }
    if (hwnd == nullptr) {
        Post(std::this_thread::get_id(), nullptr, message, wParam, lParam);
        return TRUE;
    }
    auto window = Find(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Post(window->thread, hwnd, message, wParam, lParam);
    return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto window = Find(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return window->proc(hwnd, message, wParam, lParam);
}

namespace {

// Hands out the first message that the filter takes, or the quit request once the posted messages are gone (and
// whatever the message range filter says, as documented). A message taken out also moves GetKeyState's state.
bool TakeMessage(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, bool remove) {
    std::unique_lock lock(Lock());
    Queue& queue = Queues()[std::this_thread::get_id()];
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (Matches(*it, hwnd, filterMin, filterMax)) {
            *msg = *it;
            if (remove) {
                queue.posted.erase(it);
                lock.unlock();
                tarn::platform::detail::NoteTaken(*msg);
            }
            return true;
        }
    }
    if (queue.quit && (hwnd == nullptr || hwnd == reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1)))) {
        MSG quit{};
        quit.message = WM_QUIT;
        quit.wParam = static_cast<WPARAM>(queue.quitCode);
        quit.time = tarn::platform::detail::MillisecondsNow();
        quit.pt = tarn::platform::detail::CursorPosition();
        *msg = quit;
        if (remove) {
            queue.quit = false;
        }
        return true;
    }
    return false;
}

}  // namespace

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PumpSdl();
    if (TakeMessage(msg, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0)) {
        return TRUE;
    }
    // Nothing to hand out: the loop will call Frame, whose gate is most likely still closed. Rather than let it
    // spin on the counter, sleep a little (never past the next frame's due time), then note that the next counter
    // read may be the one that opens a frame.
    auto& pacer = tarn::platform::detail::Pacer();
    if (tarn::platform::detail::IdleWaitingAllowed()) {
        std::int64_t wait = pacer.WaitNanoseconds(tarn::platform::detail::MonotonicNow());
        if (wait > 0) {
            tarn::platform::detail::SleepNanoseconds(wait);
        }
    }
    pacer.QueueEmpty();
    return FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (hwnd != nullptr && hwnd != reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1)) && !Find(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    const bool sdl = !tarn::platform::detail::Headless() && SDL_WasInit(SDL_INIT_VIDEO) != 0;
    for (;;) {
        std::uint64_t generation;
        {
            std::lock_guard lock(g_waitMutex);
            generation = g_postGeneration;
        }
        PumpSdl();
        if (TakeMessage(msg, hwnd, filterMin, filterMax, true)) {
            return msg->message == WM_QUIT ? 0 : 1;
        }
        if (sdl) {
            // Sleeps until SDL has an event: input, a window event, or the wake-up a post from another thread
            // pushes. The timeout only bounds a wake-up lost to a post racing the count of waiters.
            ++g_sdlWaiters;
            SDL_Event event;
            const int got = SDL_WaitEventTimeout(&event, 100);
            --g_sdlWaiters;
            if (got != 0) {
                tarn::platform::detail::TranslateSdlEvent(event);
            }
        } else {
            std::unique_lock lock(g_waitMutex);
            g_waitCondition.wait(lock, [generation] { return g_postGeneration != generation; });
        }
    }
}

BOOL TranslateMessage(const MSG* msg) {
    if (msg == nullptr || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) {
        return FALSE;
    }
    // Character keys also produce WM_CHAR (unshifted: letters lower case).
    WPARAM vk = msg->wParam;
    WPARAM ch = 0;
    if (vk >= 'A' && vk <= 'Z') {
        ch = vk - 'A' + 'a';
    } else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_BACK ||
               vk == VK_TAB) {
        ch = vk;
    }
    // The character goes to the front of the queue: the key's WM_CHAR comes before its WM_KEYUP even when
    // that is already waiting.
    if (ch != 0 && msg->message == WM_KEYDOWN) {
        Post(std::this_thread::get_id(), msg->hwnd, WM_CHAR, ch, msg->lParam, true);
    }
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr) {
        return 0;
    }
    auto window = Find(msg->hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return window->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_WINDOWPOSCHANGED:
        return tarn::platform::detail::DefaultWindowPosChanged(hwnd, reinterpret_cast<const WINDOWPOS*>(lParam));
    case WM_SETTEXT:
        return tarn::platform::detail::DefaultSetText(hwnd, reinterpret_cast<LPCSTR>(lParam));
    case WM_GETTEXT:
        return tarn::platform::detail::DefaultGetText(hwnd, wParam, reinterpret_cast<LPSTR>(lParam));
    case WM_GETTEXTLENGTH:
        return tarn::platform::detail::DefaultGetTextLength(hwnd);
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    default:
        return 0;
    }
}

HWND GetDesktopWindow() { return HandleOf(kDesktopId); }

HWND GetForegroundWindow() {
    std::lock_guard lock(Lock());
    return g_foreground;
}
