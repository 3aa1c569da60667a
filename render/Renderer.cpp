#include "render/Renderer.h"

#include <cstring>

#include "report/ErrorBox.h"

namespace {

CTRRenderer* g_renderer = nullptr;

IDirect3D9* CreateDirect3D(UINT sdkVersion) {
    return Direct3DCreate9(sdkVersion);
}

tarn::render::Direct3DCreateFunction g_createDirect3D = CreateDirect3D;

}  // namespace

tarn::render::Direct3DCreateFunction tarn::render::SetDirect3DCreateFunction(
    Direct3DCreateFunction function) {
    Direct3DCreateFunction previous = g_createDirect3D;
    g_createDirect3D = function != nullptr ? function : CreateDirect3D;
    return previous;
}

CTRRenderer* GetRenderer() {
    return g_renderer;
}

CTRRenderer::CTRRenderer() : d3d(nullptr), device(nullptr), fullScreen(false), width(0), height(0) {
    std::memset(&caps, 0, sizeof(caps));
    std::memset(&presentParams, 0, sizeof(presentParams));
    std::memset(&displayMode, 0, sizeof(displayMode));
    g_renderer = this;
}

CTRRenderer::~CTRRenderer() {
    // The device holds on to the Direct3D object's adapter: release it first.
    if (device != nullptr) {
        device->Release();
        device = nullptr;
    }
    if (d3d != nullptr) {
        d3d->Release();
        d3d = nullptr;
    }
    if (g_renderer == this) g_renderer = nullptr;
}

bool CTRRenderer::Initialize(unsigned int newWidth, unsigned int newHeight, bool newFullScreen, HWND window) {
    return InitDevice(newWidth, newHeight, 1, newFullScreen, D3DSWAPEFFECT_DISCARD, TRUE, D3DFMT_D16, window,
                      D3DPRESENT_INTERVAL_IMMEDIATE, D3DCREATE_PUREDEVICE);
}

bool CTRRenderer::InitDevice(unsigned int newWidth, unsigned int newHeight, UINT backBufferCount,
                             bool newFullScreen, D3DSWAPEFFECT swapEffect, BOOL enableAutoDepthStencil,
                             D3DFORMAT depthStencilFormat, HWND window, UINT presentationInterval,
                             DWORD behaviourFlags) {
    fullScreen = newFullScreen;
    width = newWidth;
    height = newHeight;

    d3d = g_createDirect3D(D3D_SDK_VERSION);
    if (d3d == nullptr) {
        ErrorBox("Direct3DCreate9() Init Fail");
        return false;
    }
    if (FAILED(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps))) {
        ErrorBox("GetDeviceCaps() Init Fail");
        return false;
    }
    if (FAILED(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &displayMode))) {
        ErrorBox("GetAdapterDisplayMode() Init Fail");
        return false;
    }

    std::memset(&presentParams, 0, sizeof(presentParams));
    presentParams.BackBufferWidth = width;
    presentParams.BackBufferHeight = height;
    presentParams.BackBufferFormat = displayMode.Format;
    presentParams.BackBufferCount = backBufferCount;
    presentParams.SwapEffect = swapEffect;
    presentParams.hDeviceWindow = window;
    presentParams.Windowed = fullScreen ? FALSE : TRUE;
    presentParams.EnableAutoDepthStencil = enableAutoDepthStencil;
    presentParams.AutoDepthStencilFormat = depthStencilFormat;
    presentParams.PresentationInterval = presentationInterval;

    // Hardware vertex processing needs vertex shader 1.0 or later; the version compares as an unsigned value.
    if (static_cast<DWORD>(caps.VertexShaderVersion) >= static_cast<DWORD>(D3DVS_VERSION(1, 0)))
        behaviourFlags |= D3DCREATE_HARDWARE_VERTEXPROCESSING;
    else
        behaviourFlags |= D3DCREATE_SOFTWARE_VERTEXPROCESSING;

    if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, behaviourFlags, &presentParams,
                                 &device))) {
        device = nullptr;
        ErrorBox("CreateDevice() Init Fail");
        return false;
    }
    return true;
}
