// The window records and thread queues that Windows.cpp keeps, for the units that move, size and name windows
// and translate mouse input (WindowGeometry.cpp, MouseInput.cpp, Cursor.cpp). Not part of the public platform seam.
#pragma once

#include <SDL.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/win32/Win32.h"

namespace tarn::platform::detail {

// Frame widths around the client area: what AdjustWindowRectEx adds on each side.
struct FrameInsets {
    LONG left = 0, top = 0, right = 0, bottom = 0;
};

// The frame our fixed metrics give a window of these styles (WindowGeometry.cpp).
FrameInsets FrameOf(DWORD style, DWORD exStyle, bool menu);

struct WindowRecord {
    std::uintptr_t id = 0;
    std::string className;
    UINT classStyle = 0;  // CS_* of the class when the window was made (CS_DBLCLKS asks for double-clicks)
    std::string title;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    FrameInsets frame;          // from style and exStyle at creation, and again at SWP_FRAMECHANGED
    int x = 0, y = 0;           // the client area's top-left corner, in screen coordinates
    int width = 0, height = 0;  // the client area's size
    bool visible = false;
    bool minimized = false;  // iconic: the client area reads as empty until restored
    bool destroying = false;
    std::thread::id thread;
    bool sdlResizable = false;  // the SDL window (if any) was made resizable: WS_THICKFRAME when last framed
    SDL_Window* sdl = nullptr;
    Uint32 sdlId = 0;
};

// Guards the records' fields, the queues and the foreground window. Recursive: a procedure called under it may
// call back in. Procedures and SDL are called outside it wherever the code can.
std::recursive_mutex& WindowLock();

std::shared_ptr<WindowRecord> FindWindow(HWND window);
std::shared_ptr<WindowRecord> FindSdlWindow(Uint32 sdlId);
HWND HandleOfWindow(const WindowRecord& window);

// Queues a message for `thread`: behind what is waiting, or, with `ahead`, in front of it.
void PostToThread(std::thread::id thread, HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool ahead = false);

// Makes `window` the foreground window (null: none of ours); ClearForeground only if it is `window`.
void SetForeground(HWND window);
void ClearForeground(HWND window);

// One SDL event as window messages (SdlEvents.cpp).
void TranslateSdlEvent(const SDL_Event& event);

// DefWindowProcA's handling of the geometry and text messages (WindowGeometry.cpp).
LRESULT DefaultWindowPosChanged(HWND window, const WINDOWPOS* position);
LRESULT DefaultSetText(HWND window, LPCSTR text);
LRESULT DefaultGetText(HWND window, WPARAM maxCount, LPSTR text);
LRESULT DefaultGetTextLength(HWND window);

// Turns one SDL mouse event into window messages; false for events that are not mouse events (MouseInput.cpp).
bool TranslateMouseEvent(const SDL_Event& event);
// A window going away gives up the capture (MouseInput.cpp).
void ForgetCapture(HWND window);

// The key and button state (KeyState.cpp): NoteKey from each SDL key event as the queue sees it, NoteButton from
// each mouse button event, NoteTaken from each message the thread takes from its queue.
void NoteKey(SDL_Keycode key, bool down);
void NoteButton(int virtualKey, bool down);
void NoteTaken(const MSG& msg);
bool KeyIsDown(int virtualKey);       // what GetAsyncKeyState's high bit says, without clearing its low bit
bool KeyWasSeenDown(int virtualKey);  // down by the events drained so far only (the MK_* flags of a message)

// The cursor position the platform last saw or set, in screen coordinates (Cursor.cpp).
POINT CursorPosition();
void NoteCursorPosition(POINT screen);

}  // namespace tarn::platform::detail
