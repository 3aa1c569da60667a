// The program entry: creates the application and its window, starts it up, runs the message loop, tears down.
#include "app/Application.h"
#include "ApplicationStart.h"
#include "MessageLoop.h"

// Returns 0 after a normal run and 1 when start-up was abandoned, so that a failed start is never reported as
// success.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CTRApplication* app = CreateApplication();
    if (app == nullptr) return 1;

    HINSTANCE instance = GetModuleHandleA(nullptr);
    tarn::app::CreateApplicationWindow(*app, instance);

    bool started = false;
    if (tarn::app::StartApplication(*app)) {
        started = true;
        ShowWindow(app->GetWindow(), SW_SHOWDEFAULT);
        UpdateWindow(app->GetWindow());
        tarn::app::RunMessageLoop(*app);
    }

    app->Shutdown();
    delete app;
    tarn::app::UnregisterEngineWindowClass(instance);
    return started ? 0 : 1;
}
