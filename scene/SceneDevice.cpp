#include "scene/SceneDevice.h"

#include "render/Renderer.h"

namespace {

IDirect3DDevice9* g_installedDevice = nullptr;
UINT g_installedWidth = 0;
UINT g_installedHeight = 0;

}  // namespace

IDirect3DDevice9* SceneDevice() {
    if (g_installedDevice) return g_installedDevice;
    CTRRenderer* renderer = GetRenderer();
    return renderer ? renderer->GetDevice() : nullptr;
}

void SceneBackBufferSize(UINT* width, UINT* height) {
    if (g_installedDevice) {
        *width = g_installedWidth;
        *height = g_installedHeight;
        return;
    }
    CTRRenderer* renderer = GetRenderer();
    *width = renderer ? renderer->GetWidth() : 0;
    *height = renderer ? renderer->GetHeight() : 0;
}

void SetSceneDevice(IDirect3DDevice9* device, UINT width, UINT height) {
    g_installedDevice = device;
    g_installedWidth = width;
    g_installedHeight = height;
}
