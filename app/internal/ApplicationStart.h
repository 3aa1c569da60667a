// The engine's start-up as WinMain takes it, one step per call: the engine window class and the application's
// hidden window, then the renderer and the frame gate. The tests and benchmarks that start an application in
// process take the same steps, in the same order.
#pragma once

#include <functional>

#include "platform/win32/Win32.h"

class CTRApplication;

namespace tarn::app {

// The class of the engine window (CS_CLASSDC, the engine's WndProc).
inline constexpr char kEngineWindowClass[] = "TARN Engine 1.0";

// Registers the engine window class for `instance` and creates the application's window with it: hidden,
// WS_POPUP at (0, 0) with the application's size and title, owned by the desktop. The window (null when it could
// not be made) is stored in `app` and returned; messages sent during creation already reach the application.
HWND CreateApplicationWindow(CTRApplication& app, HINSTANCE instance);

// CreateRenderer, then CreateFrameRate (which calls Initialize); `rendererCreated`, when given, runs between the
// two. False, after the failing step's error boxes, as soon as one step fails.
bool StartApplication(CTRApplication& app, const std::function<void()>& rendererCreated = {});

// Unregisters the engine window class for `instance`, once its windows are gone.
void UnregisterEngineWindowClass(HINSTANCE instance);

}  // namespace tarn::app
