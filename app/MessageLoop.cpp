#include "MessageLoop.h"

#include <cstring>

#include "app/Application.h"

void tarn::app::RunMessageLoopPass(CTRApplication& app, MSG& msg) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    } else {
        app.Frame();
    }
}

void tarn::app::RunMessageLoop(CTRApplication& app) {
    MSG msg;
    std::memset(&msg, 0, sizeof(msg));
    while (msg.message != WM_QUIT) RunMessageLoopPass(app, msg);
}
