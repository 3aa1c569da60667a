// The engine's polling message loop: a waiting message always goes first; an empty queue means one Frame.
#pragma once

#include "platform/win32/Win32.h"

class CTRApplication;

namespace tarn::app {

// One pass: removes, translates and dispatches one message if there is one, otherwise calls app.Frame().
// `msg` carries the last message between passes; the loop ends once it holds WM_QUIT.
void RunMessageLoopPass(CTRApplication& app, MSG& msg);

// Passes until WM_QUIT has been removed and dispatched; no frame runs after it.
void RunMessageLoop(CTRApplication& app);

}  // namespace tarn::app
