// SDL's events as window messages: keys (codes from KeyCodes.cpp), closing, moving, resizing and the focus; mouse
// events go to MouseInput.cpp. Called for each event that PeekMessageA and GetMessageA take from SDL's queue.
#include <SDL.h>

#include "KeyCodes.h"
#include "WindowRecord.h"
#include "platform/win32/Win32.h"

namespace tarn::platform::detail {

void TranslateSdlEvent(const SDL_Event& event) {
    if (TranslateMouseEvent(event)) {
        return;
    }
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        bool down = event.type == SDL_KEYDOWN;
        // The key state follows every key, whichever window (if any) it was meant for.
        NoteKey(event.key.keysym.sym, down);
        auto window = FindSdlWindow(event.key.windowID);
        WPARAM vk = VirtualKey(event.key.keysym.sym);
        if (!window || vk == 0) {
            return;
        }
        bool alt = (event.key.keysym.mod & KMOD_ALT) != 0 && vk != VK_MENU;
        // lParam as documented: repeat count 1, the keyboard's scan code in bits 16-23, the extended-key flag
        // in bit 24, previous state bit 30, transition bit 31.
        const ScanCode scan = WindowsScanCode(event.key.keysym.scancode);
        DWORD lParam = 1u | (scan.code << 16) | (scan.extended ? 1u << 24 : 0u);
        if (!down || event.key.repeat != 0) {
            lParam |= 1u << 30;
        }
        if (!down) {
            lParam |= 1u << 31;
        }
        UINT message = down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
        PostToThread(window->thread, HandleOfWindow(*window), message, vk, static_cast<LPARAM>(lParam));
        return;
    }
    case SDL_WINDOWEVENT: {
        auto window = FindSdlWindow(event.window.windowID);
        if (!window) {
            return;
        }
        HWND hwnd = HandleOfWindow(*window);
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            PostToThread(window->thread, hwnd, WM_CLOSE, 0, 0);
            break;
        // Window fields and the foreground window change under the lock that their readers take.
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
            std::unique_lock lock(WindowLock());
            window->width = event.window.data1;
            window->height = event.window.data2;
            const LPARAM size = MAKELPARAM(window->width, window->height);
            lock.unlock();
            PostToThread(window->thread, hwnd, WM_SIZE, SIZE_RESTORED, size);
            break;
        }
        case SDL_WINDOWEVENT_MINIMIZED: {
            std::unique_lock lock(WindowLock());
            const bool was = window->minimized;
            window->minimized = true;
            lock.unlock();
            ClearForeground(hwnd);
            if (!was) PostToThread(window->thread, hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
            break;
        }
        case SDL_WINDOWEVENT_RESTORED: {
            std::unique_lock lock(WindowLock());
            const bool was = window->minimized;
            window->minimized = false;
            const LPARAM size = MAKELPARAM(window->width, window->height);
            lock.unlock();
            if (was) PostToThread(window->thread, hwnd, WM_SIZE, SIZE_RESTORED, size);
            break;
        }
        case SDL_WINDOWEVENT_MAXIMIZED: {
            std::unique_lock lock(WindowLock());
            const LPARAM size = MAKELPARAM(window->width, window->height);
            lock.unlock();
            PostToThread(window->thread, hwnd, WM_SIZE, SIZE_MAXIMIZED, size);
            break;
        }
        case SDL_WINDOWEVENT_MOVED: {
            std::unique_lock lock(WindowLock());
            window->x = event.window.data1;
            window->y = event.window.data2;
            const LPARAM position = MAKELPARAM(window->x, window->y);
            lock.unlock();
            PostToThread(window->thread, hwnd, WM_MOVE, 0, position);
            break;
        }
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            SetForeground(hwnd);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            // Another program's window is in front now; none of ours is the foreground window.
            ClearForeground(hwnd);
            break;
        default:
            break;
        }
        return;
    }
    default:
        return;
    }
}

}  // namespace tarn::platform::detail
