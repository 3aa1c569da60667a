// Cursors: the standard IDC_* cursors as SDL's system cursors, cursors made from pixels (the Direct3D device's
// cursor), the current cursor, ShowCursor's display counter and the cursor position. The position is the one the
// platform last saw in a mouse event over one of its windows or set with SetCursorPos (which also moves SDL's pointer
// where the video driver can).
#include <SDL.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "ImageCursor.h"
#include "Win32Internal.h"
#include "WindowRecord.h"
#include "platform/win32/Win32.h"

namespace {

struct StandardCursor {
    WORD id;  // the IDC_* resource number
    SDL_SystemCursor sdl;
    SDL_Cursor* cursor;  // made on first use with SDL video running
};

//  +------- IDC_* number
//  |      +---------------- SDL system cursor; IDC_UPARROW, IDC_ICON and IDC_HELP have none and show the arrow
StandardCursor g_cursors[] = {
    {32512, SDL_SYSTEM_CURSOR_ARROW, nullptr},      // IDC_ARROW
    {32513, SDL_SYSTEM_CURSOR_IBEAM, nullptr},      // IDC_IBEAM
    {32514, SDL_SYSTEM_CURSOR_WAIT, nullptr},       // IDC_WAIT
    {32515, SDL_SYSTEM_CURSOR_CROSSHAIR, nullptr},  // IDC_CROSS
    {32516, SDL_SYSTEM_CURSOR_ARROW, nullptr},      // IDC_UPARROW
    {32640, SDL_SYSTEM_CURSOR_SIZEALL, nullptr},    // IDC_SIZE
    {32641, SDL_SYSTEM_CURSOR_ARROW, nullptr},      // IDC_ICON
    {32642, SDL_SYSTEM_CURSOR_SIZENWSE, nullptr},   // IDC_SIZENWSE
    {32643, SDL_SYSTEM_CURSOR_SIZENESW, nullptr},   // IDC_SIZENESW
    {32644, SDL_SYSTEM_CURSOR_SIZEWE, nullptr},     // IDC_SIZEWE
    {32645, SDL_SYSTEM_CURSOR_SIZENS, nullptr},     // IDC_SIZENS
    {32646, SDL_SYSTEM_CURSOR_SIZEALL, nullptr},    // IDC_SIZEALL
    {32648, SDL_SYSTEM_CURSOR_NO, nullptr},         // IDC_NO
    {32649, SDL_SYSTEM_CURSOR_HAND, nullptr},       // IDC_HAND
    {32650, SDL_SYSTEM_CURSOR_WAITARROW, nullptr},  // IDC_APPSTARTING
    {32651, SDL_SYSTEM_CURSOR_ARROW, nullptr},      // IDC_HELP
};

struct ImageCursor {
    std::vector<std::uint32_t> argb;  // A8R8G8B8, rows top first
    int width, height, hotX, hotY;
    SDL_Cursor* cursor;  // made on first use with SDL video running
};

std::mutex g_mutex;
std::vector<std::unique_ptr<ImageCursor>> g_images;  // guarded by g_mutex
HCURSOR g_current = nullptr;                         // SDL shows its default arrow until the first SetCursor
bool g_cursorSet = false;
int g_displayCount = 0;  // ShowCursor's counter: the cursor shows while it is 0 or more
POINT g_position{0, 0};

HCURSOR HandleOf(StandardCursor& cursor) { return reinterpret_cast<HCURSOR>(&cursor); }

StandardCursor* Find(HCURSOR handle) {
    for (auto& cursor : g_cursors) {
        if (HandleOf(cursor) == handle) return &cursor;
    }
    return nullptr;
}

HCURSOR HandleOf(ImageCursor& cursor) { return reinterpret_cast<HCURSOR>(&cursor); }

// Needs g_mutex held.
ImageCursor* FindImage(HCURSOR handle) {
    for (auto& image : g_images) {
        if (HandleOf(*image) == handle) return image.get();
    }
    return nullptr;
}

SDL_Cursor* MakeSdlCursor(ImageCursor& image) {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(image.argb.data(), image.width, image.height, 32,
                                                              image.width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface == nullptr) return nullptr;
    SDL_Cursor* cursor = SDL_CreateColorCursor(surface, image.hotX, image.hotY);
    SDL_FreeSurface(surface);
    return cursor;
}

bool SdlVideo() { return !tarn::platform::detail::Headless() && SDL_WasInit(SDL_INIT_VIDEO) != 0; }

// SDL shows a cursor when the counter is not negative and a cursor is set (or none was ever set).
void ApplyVisibility(bool hasCursor) {
    if (SdlVideo()) SDL_ShowCursor(g_displayCount >= 0 && hasCursor ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace

namespace tarn::platform::detail {

POINT CursorPosition() {
    std::lock_guard lock(g_mutex);
    return g_position;
}

void NoteCursorPosition(POINT screen) {
    std::lock_guard lock(g_mutex);
    g_position = screen;
}

}  // namespace tarn::platform::detail

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR cursorName) {
    // The program has no cursor resources of its own: only the standard cursors, asked for with a null instance.
    if (instance == nullptr && cursorName != nullptr && IS_INTRESOURCE(cursorName)) {
        const auto id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(cursorName));
        for (auto& cursor : g_cursors) {
            if (cursor.id == id) return HandleOf(cursor);
        }
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HCURSOR SetCursor(HCURSOR handle) {
    std::lock_guard lock(g_mutex);
    StandardCursor* cursor = handle != nullptr ? Find(handle) : nullptr;
    ImageCursor* image = handle != nullptr && cursor == nullptr ? FindImage(handle) : nullptr;
    if (handle != nullptr && cursor == nullptr && image == nullptr) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return nullptr;
    }
    HCURSOR previous = g_current;
    g_current = handle;
    g_cursorSet = true;
    if (cursor != nullptr && SdlVideo()) {
        if (cursor->cursor == nullptr) cursor->cursor = SDL_CreateSystemCursor(cursor->sdl);
        if (cursor->cursor != nullptr) SDL_SetCursor(cursor->cursor);
    }
    if (image != nullptr && SdlVideo()) {
        if (image->cursor == nullptr) image->cursor = MakeSdlCursor(*image);
        if (image->cursor != nullptr) SDL_SetCursor(image->cursor);
    }
    ApplyVisibility(handle != nullptr);  // a null cursor shows none
    return previous;
}

HCURSOR GetCursor() {
    std::lock_guard lock(g_mutex);
    return g_current;
}

int ShowCursor(BOOL show) {
    std::lock_guard lock(g_mutex);
    g_displayCount += show != FALSE ? 1 : -1;
    ApplyVisibility(!g_cursorSet || g_current != nullptr);
    return g_displayCount;
}

BOOL GetCursorPos(POINT* point) {
    if (point == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *point = tarn::platform::detail::CursorPosition();
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    tarn::platform::detail::NoteCursorPosition(POINT{x, y});
    if (SdlVideo()) {
        SDL_WarpMouseGlobal(x, y);  // drivers without a global pointer (off-screen) leave SDL's pointer alone
    }
    return TRUE;
}

namespace tarn::platform {

HCURSOR CreateImageCursor(const std::uint32_t* argb, int width, int height, int hotX, int hotY) {
    if (argb == nullptr || width <= 0 || height <= 0) return nullptr;
    auto image = std::make_unique<ImageCursor>();
    image->argb.assign(argb, argb + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    image->width = width, image->height = height;
    image->hotX = std::clamp(hotX, 0, width - 1), image->hotY = std::clamp(hotY, 0, height - 1);
    image->cursor = nullptr;
    std::lock_guard lock(g_mutex);
    g_images.push_back(std::move(image));
    return HandleOf(*g_images.back());
}

void DestroyImageCursor(HCURSOR handle) {
    std::lock_guard lock(g_mutex);
    ImageCursor* image = FindImage(handle);
    if (image == nullptr) return;
    if (g_current == handle) {
        g_current = nullptr;
        g_cursorSet = false;
        if (SdlVideo()) SDL_SetCursor(SDL_GetDefaultCursor());
        ApplyVisibility(true);
    }
    if (image->cursor != nullptr) SDL_FreeCursor(image->cursor);
    std::erase_if(g_images, [image](const std::unique_ptr<ImageCursor>& i) { return i.get() == image; });
}

bool ImageCursorOf(HCURSOR handle, std::vector<std::uint32_t>* argb, int* width, int* height, POINT* hotSpot) {
    std::lock_guard lock(g_mutex);
    const ImageCursor* image = FindImage(handle);
    if (image == nullptr) return false;
    if (argb) *argb = image->argb;
    if (width) *width = image->width;
    if (height) *height = image->height;
    if (hotSpot) *hotSpot = POINT{image->hotX, image->hotY};
    return true;
}

}  // namespace tarn::platform
