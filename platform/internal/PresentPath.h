// How the window and Direct3D layers reach the runner: the SDL window behind an engine window, and the report of
// every presented frame (frame counts for --frames, the --screenshot file).
#pragma once

#include <cstdint>

#include "platform/Runner.h"

struct SDL_Window;
struct HWND__;

namespace tarn::platform {

// The SDL window behind an engine window, or null (unknown handle, or headless).
SDL_Window* SdlWindowOf(HWND__* window);

// Called by the Direct3D layer after each Present. `readPixels` fills `rgba` (top row first, width * height * 4
// bytes) with the frame just presented; it is called only when a screenshot is due.
using FrameReader = bool (*)(void* context, int width, int height, std::uint8_t* rgba);
void FramePresented(HWND__* window, int width, int height, FrameReader readPixels, void* context);

}  // namespace tarn::platform
