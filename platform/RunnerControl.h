// What the platform's main and tests need of the runner beyond platform/Runner.h: presented-frame counts and the
// screenshot written at exit when --screenshot is given without --frames.
#pragma once

struct HWND__;

namespace tarn::platform {

// Frames presented so far for `window` (FramePresented calls).
long PresentedFrames(HWND__* window);

// Forgets every count and the kept frame (tests).
void ResetPresentedFrames();

// At exit: with --screenshot and no --frames, writes the last presented frame; with --frames, checks that the Nth
// frame was saved. True when there is nothing to do or the file was written; false, with a message on standard
// error, when the frame never came or the file cannot be written.
bool SaveFinalScreenshot();

}  // namespace tarn::platform
