// The subset of the Windows API that the engine and the extension library call, with the documented names,
// types, values and results. Implemented on Linux by the platform library (SDL2 windows, the monotonic clock,
// mmap, OpenSSL's libcrypto); the engine code reads exactly as it would against the system headers.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// ---- Basic types (LP64 Linux: LONG and DWORD are 32 bits as on Windows) ----
using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using CHAR = char;
using WCHAR = char16_t;
using FLOAT = float;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using DWORD_PTR = ULONG_PTR;
using SIZE_T = std::size_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using HRESULT = std::int32_t;
using ATOM = WORD;
using LPVOID = void*;
using LPCVOID = const void*;
using PVOID = void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPBOOL = BOOL*;
using LPDWORD = DWORD*;
using PBYTE = BYTE*;
using LPBYTE = BYTE*;

// Handles are opaque pointers to the platform's own records.
struct HWND__;
struct HINSTANCE__;
struct HKEY__;
struct HICON__;
struct HBRUSH__;
struct HMENU__;
struct HMONITOR__;
struct HDC__;
using HANDLE = void*;
using HWND = HWND__*;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using HKEY = HKEY__*;
using HICON = HICON__*;
using HCURSOR = HICON;
using HBRUSH = HBRUSH__*;
using HMENU = HMENU__*;
using HMONITOR = HMONITOR__*;
using HDC = HDC__*;
using HLOCAL = HANDLE;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;
using LCID = DWORD;
using FARPROC = std::intptr_t (*)();

using HCRYPTPROV = ULONG_PTR;
using HCRYPTHASH = ULONG_PTR;
using HCRYPTKEY = ULONG_PTR;
using ALG_ID = UINT;

#define WINAPI
#define CALLBACK
#define APIENTRY
#define STDMETHODCALLTYPE

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define MAX_PATH 260
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))
#define INVALID_FILE_SIZE (static_cast<DWORD>(0xFFFFFFFF))

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
};

struct RECT {
    LONG left, top, right, bottom;
};
using LPRECT = RECT*;
struct POINT {
    LONG x, y;
};

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using IID = GUID;
using REFIID = const IID&;
using REFGUID = const GUID&;

inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)

// The base of every COM-style interface (the Direct3D objects, the extension library's buffers and matrix stacks).
inline constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    // Objects die through Release only; no virtual destructor, so the vtable keeps the documented order.
    ~IUnknown() = default;
};

struct PALETTEENTRY {
    BYTE peRed, peGreen, peBlue, peFlags;
};

struct RGNDATAHEADER {
    DWORD dwSize, iType, nCount, nRgnSize;
    RECT rcBound;
};
struct RGNDATA {
    RGNDATAHEADER rdh;
    char Buffer[1];
};

// ---- HRESULT ----
#define S_OK (static_cast<HRESULT>(0))
#define S_FALSE (static_cast<HRESULT>(1))
#define E_FAIL (static_cast<HRESULT>(0x80004005))
#define E_OUTOFMEMORY (static_cast<HRESULT>(0x8007000E))
#define E_INVALIDARG (static_cast<HRESULT>(0x80070057))
#define E_NOTIMPL (static_cast<HRESULT>(0x80004001))
#define E_NOINTERFACE (static_cast<HRESULT>(0x80004002))
#define E_POINTER (static_cast<HRESULT>(0x80004003))
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define MAKE_HRESULT(sev, fac, code) \
    static_cast<HRESULT>((static_cast<unsigned long>(sev) << 31) | (static_cast<unsigned long>(fac) << 16) | \
                         static_cast<unsigned long>(code))

// ---- Win32 error codes (GetLastError) ----
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_INVALID_CURSOR_HANDLE 1402L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_INVALID_INDEX 1413L
// CryptoAPI codes, as HRESULT-shaped DWORDs
#define NTE_BAD_HASH (static_cast<DWORD>(0x80090002))
#define NTE_BAD_KEY (static_cast<DWORD>(0x80090003))
#define NTE_BAD_LEN (static_cast<DWORD>(0x80090004))
#define NTE_BAD_DATA (static_cast<DWORD>(0x80090005))
#define NTE_BAD_FLAGS (static_cast<DWORD>(0x80090009))
#define NTE_BAD_TYPE (static_cast<DWORD>(0x8009000A))
#define NTE_BAD_UID (static_cast<DWORD>(0x80090001))
#define NTE_BAD_ALGID (static_cast<DWORD>(0x80090008))
#define NTE_BAD_KEYSET (static_cast<DWORD>(0x80090016))
#define NTE_PROV_TYPE_NOT_DEF (static_cast<DWORD>(0x80090017))
#define NTE_KEYSET_NOT_DEF (static_cast<DWORD>(0x80090019))
#define NTE_EXISTS (static_cast<DWORD>(0x8009000F))
#define NTE_NO_MEMORY (static_cast<DWORD>(0x8009000E))
#define NTE_BAD_KEYSET_PARAM (static_cast<DWORD>(0x8009001F))

// ---- Windows and messages ----
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
using LPMSG = MSG*;

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_OWNDC 0x0020
#define CS_CLASSDC 0x0040
#define CS_DBLCLKS 0x0008

#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_THICKFRAME 0x00040000L
#define WS_SIZEBOX WS_THICKFRAME
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_CLIENTEDGE 0x00000200L

#define CW_USEDEFAULT (static_cast<int>(0x80000000))

// Window data that GetWindowLongA and SetWindowLongA reach.
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SHOWWINDOW 0x0018
#define WM_ACTIVATEAPP 0x001C
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_WINDOWPOSCHANGING 0x0046
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_RBUTTONDBLCLK 0x0206
#define WM_MBUTTONDOWN 0x0207
#define WM_MBUTTONUP 0x0208
#define WM_MBUTTONDBLCLK 0x0209
#define WM_MOUSEWHEEL 0x020A
#define WM_XBUTTONDOWN 0x020B
#define WM_XBUTTONUP 0x020C
#define WM_XBUTTONDBLCLK 0x020D
#define WM_MOUSEHWHEEL 0x020E
#define WM_CAPTURECHANGED 0x0215
#define WM_USER 0x0400

#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define VK_LBUTTON 0x01
#define VK_RBUTTON 0x02
#define VK_MBUTTON 0x04
#define VK_XBUTTON1 0x05
#define VK_XBUTTON2 0x06
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_PAUSE 0x13
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_F1 0x70
#define VK_F12 0x7B
#define VK_LSHIFT 0xA0
#define VK_RSHIFT 0xA1
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_LMENU 0xA4
#define VK_RMENU 0xA5

// Key state in the wParam of mouse messages.
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define MK_MBUTTON 0x0010
#define MK_XBUTTON1 0x0020
#define MK_XBUTTON2 0x0040
#define XBUTTON1 0x0001
#define XBUTTON2 0x0002
#define WHEEL_DELTA 120

#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xFFFF))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xFFFF))
#define MAKELONG(a, b) (static_cast<LONG>((static_cast<WORD>(a)) | (static_cast<DWORD>(static_cast<WORD>(b))) << 16))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
// Signed coordinates of a mouse message's lParam, and the parts of a wheel message's wParam.
#define GET_X_LPARAM(lp) (static_cast<int>(static_cast<SHORT>(LOWORD(lp))))
#define GET_Y_LPARAM(lp) (static_cast<int>(static_cast<SHORT>(HIWORD(lp))))
#define GET_WHEEL_DELTA_WPARAM(wp) (static_cast<SHORT>(HIWORD(wp)))
#define GET_KEYSTATE_WPARAM(wp) (LOWORD(wp))
#define GET_XBUTTON_WPARAM(wp) (HIWORD(wp))
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)

// What SetWindowPos receives and WM_WINDOWPOSCHANGING / WM_WINDOWPOSCHANGED carry in lParam.
struct WINDOWPOS {
    HWND hwnd;
    HWND hwndInsertAfter;
    int x;
    int y;
    int cx;
    int cy;
    UINT flags;
};
using LPWINDOWPOS = WINDOWPOS*;

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define SWP_NOCOPYBITS 0x0100
#define SWP_NOOWNERZORDER 0x0200
#define SWP_NOSENDCHANGING 0x0400
#define SWP_NOCLIENTSIZE 0x0800  // set by SetWindowPos in WM_WINDOWPOSCHANGED: the client area kept its size
#define SWP_NOCLIENTMOVE 0x1000  // set by SetWindowPos in WM_WINDOWPOSCHANGED: the client area did not move
#define SWP_DEFERERASE 0x2000
#define SWP_ASYNCWINDOWPOS 0x4000
#define HWND_TOP (reinterpret_cast<HWND>(0))
#define HWND_BOTTOM (reinterpret_cast<HWND>(1))
#define HWND_TOPMOST (reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(static_cast<LONG_PTR>(-2)))

#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_IBEAM MAKEINTRESOURCEA(32513)
#define IDC_WAIT MAKEINTRESOURCEA(32514)
#define IDC_CROSS MAKEINTRESOURCEA(32515)
#define IDC_UPARROW MAKEINTRESOURCEA(32516)
#define IDC_SIZE MAKEINTRESOURCEA(32640)
#define IDC_ICON MAKEINTRESOURCEA(32641)
#define IDC_SIZENWSE MAKEINTRESOURCEA(32642)
#define IDC_SIZENESW MAKEINTRESOURCEA(32643)
#define IDC_SIZEWE MAKEINTRESOURCEA(32644)
#define IDC_SIZENS MAKEINTRESOURCEA(32645)
#define IDC_SIZEALL MAKEINTRESOURCEA(32646)
#define IDC_NO MAKEINTRESOURCEA(32648)
#define IDC_HAND MAKEINTRESOURCEA(32649)
#define IDC_APPSTARTING MAKEINTRESOURCEA(32650)
#define IDC_HELP MAKEINTRESOURCEA(32651)

ATOM RegisterClassExA(const WNDCLASSEXA* wc);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
// A minimised window: ShowWindow with SW_MINIMIZE, SW_SHOWMINIMIZED or SW_SHOWMINNOACTIVE (or the window manager)
// minimises it, sending WM_SIZE with SIZE_MINIMIZED, and its client area is then empty; SW_RESTORE, SW_SHOW and
// SW_SHOWNORMAL restore it with WM_SIZE SIZE_RESTORED.
BOOL IsIconic(HWND window);
BOOL GetClientRect(HWND window, LPRECT rect);
void PostQuitMessage(int exitCode);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Waits (on SDL's event queue, or for a post when headless) until a message in the filter is there and removes it:
// 0 for WM_QUIT, -1 with ERROR_INVALID_WINDOW_HANDLE for a filter that is no window of ours, otherwise nonzero.
BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND GetDesktopWindow();
HWND GetForegroundWindow();

// Window geometry. Frames have fixed metrics (those of the system at 96 dots per inch): WS_BORDER 1 pixel on each
// side, WS_DLGFRAME (and so WS_CAPTION) 3, WS_THICKFRAME 8 in place of either, WS_CAPTION a 23-pixel caption,
// a menu bar 20 and WS_EX_CLIENTEDGE 2 more on each side; WS_POPUP without those has none. A framed window's SDL
// window has the window manager's frame, and WS_THICKFRAME makes it resizable.
BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu);
BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle);
// Sends WM_WINDOWPOSCHANGING (unless SWP_NOSENDCHANGING; the procedure may change the WINDOWPOS) and
// WM_WINDOWPOSCHANGED, which DefWindowProcA turns into WM_MOVE and WM_SIZE for what changed.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL ClientToScreen(HWND window, POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);
BOOL SetWindowTextA(HWND window, LPCSTR text);
// The window's style (GWL_STYLE, with WS_VISIBLE while it is visible) or extended style (GWL_EXSTYLE); 0 with
// ERROR_INVALID_WINDOW_HANDLE or ERROR_INVALID_INDEX on failure. SetWindowLongA returns the previous value (0 for a
// failure too: clear the last error first to tell them apart). As documented, a new frame style takes effect at the
// next SetWindowPos with SWP_FRAMECHANGED, which recomputes the frame: the window rectangle stays what that call
// gives and the client area is what the new frame leaves of it; the SDL window then gets or loses the window
// manager's frame and its resizability with WS_THICKFRAME. WS_VISIBLE in a new style changes nothing: ShowWindow
// shows and hides.
LONG GetWindowLongA(HWND window, int index);
LONG SetWindowLongA(HWND window, int index, LONG newLong);
int GetWindowTextA(HWND window, LPSTR text, int maxCount);
int GetWindowTextLengthA(HWND window);

// Keyboard and mouse state: the high bit when the key (or VK_*BUTTON) is down. GetAsyncKeyState's low bit says it
// went down since the last call; GetKeyState follows the messages the thread has taken and its low bit toggles
// with every press.
SHORT GetAsyncKeyState(int virtualKey);
SHORT GetKeyState(int virtualKey);
// The mouse capture: the window that gets the mouse messages, inside its client area or not.
HWND SetCapture(HWND window);
BOOL ReleaseCapture();
HWND GetCapture();

// Cursors: the standard IDC_* cursors (SDL's system cursors) with a null instance; the program has no cursor
// resources. The cursor position is in screen coordinates.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR cursorName);
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
int ShowCursor(BOOL show);
BOOL GetCursorPos(POINT* point);
BOOL SetCursorPos(int x, int y);
HMODULE GetModuleHandleA(LPCSTR moduleName);
// The full path of the running executable for the process module (a null handle or GetModuleHandleA(NULL)); the
// module's own name for the modules the platform stands in for. Returns the characters copied without the
// terminator; a buffer too small gets the path cut to size - 1 characters, terminated, the result size and
// ERROR_INSUFFICIENT_BUFFER. 0 with ERROR_MOD_NOT_FOUND for another handle.
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

// ---- Message boxes ----
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION 0x00000040L
#define IDOK 1
#define IDCANCEL 2

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// ---- Time ----
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
// Milliseconds of the monotonic clock. Under --clock-step the two read one millisecond clock that starts at 0 and
// advances by the step on every read of either (the performance counter keeps its own reads).
DWORD GetTickCount();
DWORD timeGetTime();
void Sleep(DWORD milliseconds);

// ---- Registry (read only; values come from TARN_REG_<name> environment variables) ----
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002)))
#define REG_NONE 0
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4
#define KEY_QUERY_VALUE 0x0001
#define KEY_READ 0x20019

LSTATUS RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LSTATUS RegCloseKey(HKEY key);

// ---- Files and memory mapping ----
#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000
#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define FILE_MAP_READ 0x0004
#define FILE_MAP_WRITE 0x0002

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD creation,
                   DWORD flags, HANDLE templateFile);
HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD creation,
                   DWORD flags, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD maxSizeHigh,
                          DWORD maxSizeLow, LPCSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID base);
BOOL CloseHandle(HANDLE object);
// Synchronous writes only: `overlapped` must be null. A full disk fails with ERROR_DISK_FULL; the file then holds
// whatever part was written.
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped);
// Makes what was written to the file durable before returning (fsync).
BOOL FlushFileBuffers(HANDLE file);
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_WRITE_THROUGH 0x00000008
// Renames a file in one step; without MOVEFILE_REPLACE_EXISTING an existing target fails with
// ERROR_ALREADY_EXISTS. A directory is never replaced (ERROR_ACCESS_DENIED).
BOOL MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags);
BOOL DeleteFileA(LPCSTR fileName);

// ---- Versions and text conversion ----
struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
using LPOSVERSIONINFOA = OSVERSIONINFOA*;
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
BOOL GetVersionExA(LPOSVERSIONINFOA info);

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR wide, int wideChars);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideChars, LPSTR text, int bytes,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar);

// ---- Errors, messages, debug output ----
DWORD GetLastError();
void SetLastError(DWORD code);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((static_cast<WORD>(s) << 10) | static_cast<WORD>(p))
// Text for a Win32 or CryptoAPI code from the platform's table; codes without text fail (returns 0).
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                     va_list* arguments);
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL memory);
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
void OutputDebugStringA(LPCSTR text);

// ---- Processor and system queries ----
struct SYSTEM_INFO {
    union {
        DWORD dwOemId;
        struct {
            WORD wProcessorArchitecture;
            WORD wReserved;
        };
    };
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};
using LPSYSTEM_INFO = SYSTEM_INFO*;
#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_ARM 5
#define PROCESSOR_ARCHITECTURE_AMD64 9
#define PROCESSOR_ARCHITECTURE_ARM64 12
#define PROCESSOR_INTEL_386 386
#define PROCESSOR_INTEL_486 486
#define PROCESSOR_INTEL_PENTIUM 586
#define PROCESSOR_AMD_X8664 8664

#define PF_FLOATING_POINT_PRECISION_ERRATA 0
#define PF_FLOATING_POINT_EMULATED 1
#define PF_COMPARE_EXCHANGE_DOUBLE 2
#define PF_MMX_INSTRUCTIONS_AVAILABLE 3
#define PF_XMMI_INSTRUCTIONS_AVAILABLE 6
#define PF_3DNOW_INSTRUCTIONS_AVAILABLE 7
#define PF_RDTSC_INSTRUCTION_AVAILABLE 8
#define PF_PAE_ENABLED 9
#define PF_XMMI64_INSTRUCTIONS_AVAILABLE 10
#define PF_SSE3_INSTRUCTIONS_AVAILABLE 13

void GetSystemInfo(LPSYSTEM_INFO info);
BOOL IsProcessorFeaturePresent(DWORD feature);

// ---- Modules (answers for the modules the program asks about; "d3d9.dll" once Direct3D is created) ----
HMODULE LoadLibraryA(LPCSTR fileName);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);

// ---- CryptoAPI subset (MD5 and RC4 from libcrypto; key containers live in memory) ----
#define PROV_RSA_FULL 1
#define MS_DEF_PROV_A "Microsoft Base Cryptographic Provider v1.0"
#define CRYPT_VERIFYCONTEXT 0xF0000000
#define CRYPT_NEWKEYSET 0x00000008
#define CRYPT_DELETEKEYSET 0x00000010
#define CRYPT_EXPORTABLE 0x00000001
#define CALG_MD5 0x00008003
#define CALG_SHA1 0x00008004
#define CALG_RC4 0x00006801
#define HP_HASHVAL 0x0002
#define HP_HASHSIZE 0x0004
#define KP_KEYLEN 9

BOOL CryptAcquireContextA(HCRYPTPROV* provider, LPCSTR container, LPCSTR providerName, DWORD providerType,
                          DWORD flags);
BOOL CryptReleaseContext(HCRYPTPROV provider, DWORD flags);
BOOL CryptCreateHash(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash);
BOOL CryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD length, DWORD flags);
BOOL CryptGetHashParam(HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* length, DWORD flags);
BOOL CryptDeriveKey(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTHASH hash, DWORD flags, HCRYPTKEY* key);
BOOL CryptGetKeyParam(HCRYPTKEY key, DWORD param, BYTE* data, DWORD* length, DWORD flags);
BOOL CryptEncrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data, DWORD* length,
                  DWORD bufferLength);
BOOL CryptDecrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data, DWORD* length);
BOOL CryptDestroyKey(HCRYPTKEY key);
BOOL CryptDestroyHash(HCRYPTHASH hash);

// ---- Program entry: the platform's main() parses the runner options and calls this ----
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

// ---- Additions used by the platform's own implementation and its callers ----
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_FILE_EXISTS 80L
#define ERROR_DISK_FULL 112L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_INVALID_ADDRESS 487L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_FILE_INVALID 1006L
#define ERROR_MAPPED_ALIGNMENT 1132L
#define ERROR_CLASS_HAS_WINDOWS 1412L
#define NTE_BAD_KEY_STATE (static_cast<DWORD>(0x8009000B))
#define NTE_BAD_HASH_STATE (static_cast<DWORD>(0x8009000C))
#define NTE_BAD_PROVIDER (static_cast<DWORD>(0x80090013))
#define NTE_BAD_PROV_TYPE (static_cast<DWORD>(0x80090014))
#define NTE_FAIL (static_cast<DWORD>(0x80090020))

#define TRUNCATE_EXISTING 5
#define FILE_FLAG_RANDOM_ACCESS 0x10000000
#define CP_OEMCP 1

// Creation data that WM_NCCREATE and WM_CREATE carry in lParam.
struct CREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

#define HP_ALGID 0x0001
#define KP_SALT 2
#define KP_ALGID 7
#define CRYPT_CREATE_SALT 0x00000004
#define CRYPT_NO_SALT 0x00000010
