// The device cursor: SetCursorProperties makes the window system's cursor from the bitmap (every mode here is
// windowed or a borderless window, where the documentation has the device use an operating-system cursor), and
// ShowCursor puts it on the device window or takes it off. The window system moves that cursor with the mouse,
// so SetCursorPosition has nothing to move.
#include <bit>
#include <cstring>
#include <vector>

#include "DeviceObject.h"
#include "ImageCursor.h"
#include "ResourceObjects.h"

namespace tarn::d3d9 {

HRESULT Device::SetCursorProperties(UINT xHotSpot, UINT yHotSpot, IDirect3DSurface9* bitmap) {
    const DeviceGuard guard(lock_);
    Surface* surface = OwnSurface(bitmap, this);
    if (!surface || surface->format() != D3DFMT_A8R8G8B8 || surface->isDepth() || surface->locked()) {
        return D3DERR_INVALIDCALL;
    }
    // Powers of two each way, smaller than the display mode.
    const UINT width = surface->width(), height = surface->height();
    D3DDISPLAYMODE mode{};
    if (FAILED(GetDisplayMode(0, &mode))) return D3DERR_INVALIDCALL;
    if (!std::has_single_bit(width) || !std::has_single_bit(height) || width >= mode.Width || height >= mode.Height) {
        return D3DERR_INVALIDCALL;
    }
    surface->SyncToMemory();
    std::vector<std::uint32_t> argb(static_cast<std::size_t>(width) * height);
    for (UINT y = 0; y < height; ++y) {
        std::memcpy(&argb[static_cast<std::size_t>(y) * width],
                    surface->bits() + static_cast<std::size_t>(y) * surface->pitch(),
                    static_cast<std::size_t>(width) * 4);
    }
    const HCURSOR made =
        tarn::platform::CreateImageCursor(argb.data(), static_cast<int>(width), static_cast<int>(height),
                                          static_cast<int>(xHotSpot), static_cast<int>(yHotSpot));
    if (!made) return E_OUTOFMEMORY;
    const HCURSOR old = cursorImage_;
    cursorImage_ = made;
    if (cursorShown_) PutCursorOnWindow();
    if (old) tarn::platform::DestroyImageCursor(old);
    return D3D_OK;
}

BOOL Device::ShowCursor(BOOL show) {
    const DeviceGuard guard(lock_);
    const BOOL was = cursorShown_;
    cursorShown_ = show ? TRUE : FALSE;
    if (cursorImage_ && cursorShown_ != was) {
        if (cursorShown_) {
            PutCursorOnWindow();
        } else if (GetCursor() == cursorImage_) {
            SetCursor(nullptr);  // hidden: no cursor over the window
        }
    }
    return was;
}

void Device::PutCursorOnWindow() {
    const HCURSOR before = SetCursor(cursorImage_);
    if (!cursorTaken_) windowCursor_ = before, cursorTaken_ = true;
}

void Device::ReleaseCursor() {
    if (!cursorImage_) return;
    // The window gets back the cursor it had before the device's showed, unless the program has set another since.
    const HCURSOR now = GetCursor();
    if (cursorTaken_ && (now == cursorImage_ || now == nullptr)) SetCursor(windowCursor_);
    tarn::platform::DestroyImageCursor(cursorImage_);
    cursorImage_ = nullptr;
}

}  // namespace tarn::d3d9
