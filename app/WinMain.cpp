// The program entry: creates the application and its window, starts it up, runs the message loop, tears down.
#include "app/Application.h"
#include "app/MessageLoop.h"

namespace {

const char kClassName[] = "TARN Engine 1.0";

}  // namespace

// Returns 0 after a normal run and 1 when start-up was abandoned, so that a failed start is never reported as
// success.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CTRApplication* app = CreateApplication();
    if (app == nullptr) return 1;

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_CLASSDC;
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    RegisterClassExA(&windowClass);

    // Hidden until start-up has succeeded. Messages sent during creation already reach the application.
    app->SetWindow(CreateWindowExA(0, kClassName, app->GetTitle(), WS_POPUP, 0, 0, app->GetWidth(),
                                   app->GetHeight(), GetDesktopWindow(), nullptr, instance, nullptr));

    bool started = false;
    if (app->CreateRenderer() && app->CreateFrameRate()) {
        started = true;
        ShowWindow(app->GetWindow(), SW_SHOWDEFAULT);
        UpdateWindow(app->GetWindow());
        tarn::app::RunMessageLoop(*app);
    }

    app->Shutdown();
    delete app;
    UnregisterClassA(kClassName, instance);
    return started ? 0 : 1;
}
