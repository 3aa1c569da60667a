// Window geometry and text: the frame our fixed metrics give each style (AdjustWindowRectEx), moving and sizing
// (SetWindowPos, MoveWindow) with the messages they send, the window rectangle, client and screen coordinates, and
// the window's title. A record keeps its client area; the window rectangle is that area with the frame around it.
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "Win32Internal.h"
#include "WindowRecord.h"
#include "platform/win32/Win32.h"

namespace tarn::platform::detail {

// The system's metrics at 96 dots per inch, fixed: a thin border 1 pixel, a dialog frame 3, a sizing frame 8 (its
// border and padding), a caption 23, a menu bar 20, a client edge 2.
FrameInsets FrameOf(DWORD style, DWORD exStyle, bool menu) {
    constexpr LONG kBorder = 1, kDialogFrame = 3, kSizingFrame = 8, kCaption = 23, kMenuBar = 20, kClientEdge = 2;
    LONG side = 0;
    if ((style & WS_THICKFRAME) != 0) {
        side = kSizingFrame;
    } else if ((style & WS_DLGFRAME) != 0) {
        side = kDialogFrame;
    } else if ((style & WS_BORDER) != 0) {
        side = kBorder;
    }
    FrameInsets frame{side, side, side, side};
    if ((style & WS_CAPTION) == WS_CAPTION) {
        frame.top += kCaption;
    }
    if (menu) {
        frame.top += kMenuBar;
    }
    if ((exStyle & WS_EX_CLIENTEDGE) != 0) {
        frame.left += kClientEdge;
        frame.top += kClientEdge;
        frame.right += kClientEdge;
        frame.bottom += kClientEdge;
    }
    return frame;
}

namespace {

RECT WindowRectOf(const WindowRecord& window) {
    return RECT{window.x - window.frame.left, window.y - window.frame.top, window.x + window.width + window.frame.right,
                window.y + window.height + window.frame.bottom};
}

RECT DesktopRect() {
    int w = 1920, h = 1080;
    SDL_Rect bounds;
    if (!Headless() && SDL_GetDisplayBounds(0, &bounds) == 0) {
        w = bounds.w;
        h = bounds.h;
    }
    return RECT{0, 0, w, h};
}

bool IsDesktop(HWND window) { return window == GetDesktopWindow(); }

}  // namespace

LRESULT DefaultWindowPosChanged(HWND hwnd, const WINDOWPOS* position) {
    auto window = FindWindow(hwnd);
    if (!window || position == nullptr) {
        return 0;
    }
    std::unique_lock lock(WindowLock());
    const LPARAM origin = MAKELPARAM(window->x, window->y);
    const LPARAM size = MAKELPARAM(window->width, window->height);
    lock.unlock();
    if ((position->flags & SWP_NOCLIENTMOVE) == 0) {
        window->proc(hwnd, WM_MOVE, 0, origin);
    }
    if ((position->flags & SWP_NOCLIENTSIZE) == 0 && IsWindow(hwnd)) {
        window->proc(hwnd, WM_SIZE, SIZE_RESTORED, size);
    }
    return 0;
}

LRESULT DefaultSetText(HWND hwnd, LPCSTR text) {
    auto window = FindWindow(hwnd);
    if (!window) {
        return FALSE;
    }
    std::unique_lock lock(WindowLock());
    window->title = text != nullptr ? text : "";
    const std::string title = window->title;
    lock.unlock();
    if (window->sdl != nullptr) {
        SDL_SetWindowTitle(window->sdl, title.c_str());
    }
    return TRUE;
}

LRESULT DefaultGetText(HWND hwnd, WPARAM maxCount, LPSTR text) {
    auto window = FindWindow(hwnd);
    if (!window || text == nullptr || maxCount == 0) {
        return 0;
    }
    std::lock_guard lock(WindowLock());
    const std::size_t copied = std::min<std::size_t>(window->title.size(), maxCount - 1);
    std::memcpy(text, window->title.data(), copied);
    text[copied] = '\0';
    return static_cast<LRESULT>(copied);
}

LRESULT DefaultGetTextLength(HWND hwnd) {
    auto window = FindWindow(hwnd);
    if (!window) {
        return 0;
    }
    std::lock_guard lock(WindowLock());
    return static_cast<LRESULT>(window->title.size());
}

}  // namespace tarn::platform::detail

using tarn::platform::detail::FindWindow;
using tarn::platform::detail::WindowLock;

BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) { return AdjustWindowRectEx(rect, style, menu, 0); }

BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle) {
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto frame = tarn::platform::detail::FrameOf(style, exStyle, menu != FALSE);
    rect->left -= frame.left;
    rect->top -= frame.top;
    rect->right += frame.right;
    rect->bottom += frame.bottom;
    return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
    constexpr UINT kKnown = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_FRAMECHANGED |
                            SWP_SHOWWINDOW | SWP_HIDEWINDOW | SWP_NOCOPYBITS | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING |
                            SWP_DEFERERASE | SWP_ASYNCWINDOWPOS;
    auto window = FindWindow(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if ((flags & ~kKnown) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const bool zOrder = (flags & SWP_NOZORDER) == 0;
    if (zOrder && insertAfter != HWND_TOP && insertAfter != HWND_BOTTOM && insertAfter != HWND_TOPMOST &&
        insertAfter != HWND_NOTOPMOST && !FindWindow(insertAfter)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    RECT before;
    {
        std::lock_guard lock(WindowLock());
        before = tarn::platform::detail::WindowRectOf(*window);
    }
    // What the flags leave alone keeps its value, so the procedure sees the whole new rectangle.
    WINDOWPOS position{hwnd,
                       insertAfter,
                       (flags & SWP_NOMOVE) != 0 ? before.left : x,
                       (flags & SWP_NOMOVE) != 0 ? before.top : y,
                       (flags & SWP_NOSIZE) != 0 ? before.right - before.left : std::max(0, width),
                       (flags & SWP_NOSIZE) != 0 ? before.bottom - before.top : std::max(0, height),
                       flags};
    if ((flags & SWP_NOSENDCHANGING) == 0) {
        window->proc(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&position));
        if (!IsWindow(hwnd)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
    }
    bool moved, sized, show = false, hide = false, reframed = false, framed = false, resizable = false;
    int clientX, clientY, clientWidth, clientHeight;
    {
        std::lock_guard lock(WindowLock());
        // The frame a new style asks for (SetWindowLongA) is taken only now, as documented: the window rectangle
        // is the one this call gives, and the client area is what the new frame leaves of it.
        if ((position.flags & SWP_FRAMECHANGED) != 0) {
            const auto frame = tarn::platform::detail::FrameOf(window->style, window->exStyle, false);
            reframed = frame.left != window->frame.left || frame.top != window->frame.top ||
                       frame.right != window->frame.right || frame.bottom != window->frame.bottom ||
                       window->sdlResizable != ((window->style & WS_THICKFRAME) != 0);
            window->frame = frame;
            framed = frame.left != 0 || frame.top != 0;
            resizable = (window->style & WS_THICKFRAME) != 0;
            window->sdlResizable = resizable;
        }
        const auto& frame = window->frame;
        clientX = position.x + frame.left;
        clientY = position.y + frame.top;
        clientWidth = std::max(0, position.cx - static_cast<int>(frame.left + frame.right));
        clientHeight = std::max(0, position.cy - static_cast<int>(frame.top + frame.bottom));
        moved = clientX != window->x || clientY != window->y;
        sized = clientWidth != window->width || clientHeight != window->height;
        window->x = clientX;
        window->y = clientY;
        window->width = clientWidth;
        window->height = clientHeight;
        if ((position.flags & SWP_SHOWWINDOW) != 0 && !window->visible) {
            window->visible = show = true;
        } else if ((position.flags & SWP_HIDEWINDOW) != 0 && window->visible) {
            window->visible = false;
            hide = true;
        }
        if (zOrder && (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST)) {
            window->exStyle = insertAfter == HWND_TOPMOST ? (window->exStyle | WS_EX_TOPMOST)
                                                          : (window->exStyle & ~static_cast<DWORD>(WS_EX_TOPMOST));
        }
    }
    if (window->sdl != nullptr) {
        if (reframed) {
            SDL_SetWindowBordered(window->sdl, framed ? SDL_TRUE : SDL_FALSE);
            SDL_SetWindowResizable(window->sdl, resizable ? SDL_TRUE : SDL_FALSE);
        }
        if (moved) SDL_SetWindowPosition(window->sdl, clientX, clientY);
        if (sized) SDL_SetWindowSize(window->sdl, std::max(1, clientWidth), std::max(1, clientHeight));
        if (zOrder && (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST)) {
            SDL_SetWindowAlwaysOnTop(window->sdl, insertAfter == HWND_TOPMOST ? SDL_TRUE : SDL_FALSE);
        }
        if (show) SDL_ShowWindow(window->sdl);
        if (hide) SDL_HideWindow(window->sdl);
    }
    // A shown or raised window becomes the active (foreground) one unless SWP_NOACTIVATE; a hidden one stops being.
    if (hide) {
        tarn::platform::detail::ClearForeground(hwnd);
    } else if ((position.flags & SWP_NOACTIVATE) == 0 && IsWindowVisible(hwnd)) {
        tarn::platform::detail::SetForeground(hwnd);
        if (window->sdl != nullptr && zOrder) SDL_RaiseWindow(window->sdl);
    }
    position.flags |=
        (moved ? 0u : static_cast<UINT>(SWP_NOCLIENTMOVE)) | (sized ? 0u : static_cast<UINT>(SWP_NOCLIENTSIZE));
    window->proc(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint != FALSE ? 0u : static_cast<UINT>(SWP_NOREDRAW)));
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (tarn::platform::detail::IsDesktop(hwnd)) {
        *rect = tarn::platform::detail::DesktopRect();
        return TRUE;
    }
    auto window = FindWindow(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(WindowLock());
    *rect = tarn::platform::detail::WindowRectOf(*window);
    return TRUE;
}

namespace {

// Adds (sign 1) or takes away (sign -1) the client area's screen origin; the desktop's is (0, 0).
BOOL OffsetByClientOrigin(HWND hwnd, POINT* point, int sign) {
    if (point == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (tarn::platform::detail::IsDesktop(hwnd)) {
        return TRUE;
    }
    auto window = FindWindow(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(WindowLock());
    point->x += sign * window->x;
    point->y += sign * window->y;
    return TRUE;
}

}  // namespace

BOOL ClientToScreen(HWND hwnd, POINT* point) { return OffsetByClientOrigin(hwnd, point, 1); }

BOOL ScreenToClient(HWND hwnd, POINT* point) { return OffsetByClientOrigin(hwnd, point, -1); }

LONG GetWindowLongA(HWND hwnd, int index) {
    auto window = FindWindow(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    std::lock_guard lock(WindowLock());
    switch (index) {
    case GWL_STYLE:
        return static_cast<LONG>(window->style | (window->visible ? static_cast<DWORD>(WS_VISIBLE) : 0u));
    case GWL_EXSTYLE:
        return static_cast<LONG>(window->exStyle);
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
}

LONG SetWindowLongA(HWND hwnd, int index, LONG newLong) {
    auto window = FindWindow(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    std::lock_guard lock(WindowLock());
    const DWORD value = static_cast<DWORD>(newLong);
    switch (index) {
    case GWL_STYLE: {
        const DWORD previous = window->style | (window->visible ? static_cast<DWORD>(WS_VISIBLE) : 0u);
        window->style = value & ~static_cast<DWORD>(WS_VISIBLE);
        return static_cast<LONG>(previous);
    }
    case GWL_EXSTYLE: {
        const DWORD previous = window->exStyle;
        window->exStyle = value;
        return static_cast<LONG>(previous);
    }
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    if (!FindWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? TRUE : FALSE;
}

int GetWindowTextA(HWND hwnd, LPSTR text, int maxCount) {
    if (!FindWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (text == nullptr || maxCount <= 0) {
        return 0;
    }
    return static_cast<int>(
        SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextLengthA(HWND hwnd) {
    if (!FindWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0));
}
