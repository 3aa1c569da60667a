#include "ApplicationStart.h"

#include "app/Application.h"

namespace tarn::app {

HWND CreateApplicationWindow(CTRApplication& app, HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_CLASSDC;
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kEngineWindowClass;
    RegisterClassExA(&windowClass);

    // Hidden until start-up has succeeded.
    app.SetWindow(CreateWindowExA(0, kEngineWindowClass, app.GetTitle(), WS_POPUP, 0, 0, app.GetWidth(),
                                  app.GetHeight(), GetDesktopWindow(), nullptr, instance, nullptr));
    return app.GetWindow();
}

bool StartApplication(CTRApplication& app, const std::function<void()>& rendererCreated) {
    if (!app.CreateRenderer()) return false;
    if (rendererCreated) rendererCreated();
    return app.CreateFrameRate();
}

void UnregisterEngineWindowClass(HINSTANCE instance) { UnregisterClassA(kEngineWindowClass, instance); }

}  // namespace tarn::app
