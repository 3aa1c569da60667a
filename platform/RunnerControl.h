// What the platform's main and tests need of the runner beyond platform/Runner.h: presented-frame counts and the
// screenshot written at exit when --screenshot is given without --frames.
#pragma once

struct HWND__;

namespace tarn::platform {

// Frames presented so far for `window` (FramePresented calls).
long PresentedFrames(HWND__* window);

// Forgets every count and the kept frame (tests).
void ResetPresentedFrames();

// With --screenshot and no --frames, writes the last presented frame; true when there is nothing to do or it was
// written, false (with a message on standard error) when no frame was presented or the file cannot be written.
bool SaveFinalScreenshot();

}  // namespace tarn::platform
