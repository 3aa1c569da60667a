// Cursors made from pixels, for the Direct3D device's cursor: the window system's cursor shows the image, with
// its hot spot on the pointer. SetCursor takes their handles as it takes the standard cursors'.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32/Win32.h"

namespace tarn::platform {

// A cursor of `width` x `height` A8R8G8B8 pixels (rows top first, copied), the hot spot (`hotX`, `hotY`) clamped
// into the image; null for an empty image. It lives until DestroyImageCursor.
HCURSOR CreateImageCursor(const std::uint32_t* argb, int width, int height, int hotX, int hotY);
// Frees an image cursor; if it was the current cursor, the window system's default arrow shows again.
void DestroyImageCursor(HCURSOR cursor);
// What an image cursor holds (false for any other handle): its pixels, size and hot spot.
bool ImageCursorOf(HCURSOR cursor, std::vector<std::uint32_t>* argb, int* width, int* height, POINT* hotSpot);

}  // namespace tarn::platform
