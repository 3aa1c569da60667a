// How the Direct3D layer's tests and benchmark make a device: windowed, on the desktop window (off screen), with an
// X8R8G8B8 back buffer presented immediately. No test framework here, so that the benchmark can use it too.
#pragma once

#include "platform/d3d9/D3D9.h"

namespace tarn::d3d9::test {

// Present parameters of a windowed `width` x `height` device (0 x 0: the window's client area), with a depth
// buffer of `depth` unless it is D3DFMT_UNKNOWN.
inline D3DPRESENT_PARAMETERS DefaultPresentParameters(UINT width, UINT height, D3DFORMAT depth = D3DFMT_UNKNOWN) {
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = depth != D3DFMT_UNKNOWN;
    pp.AutoDepthStencilFormat = depth;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return pp;
}

// A device of `d3d` made with those parameters on the desktop window; null when CreateDevice fails, with its
// answer in *result when asked.
inline IDirect3DDevice9* CreateTestDevice(IDirect3D9* d3d, UINT width, UINT height, D3DFORMAT depth = D3DFMT_UNKNOWN,
                                          DWORD behavior = D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                          HRESULT* result = nullptr) {
    D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(width, height, depth);
    IDirect3DDevice9* device = nullptr;
    const HRESULT hr =
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, GetDesktopWindow(), behavior, &pp, &device);
    if (result) *result = hr;
    return SUCCEEDED(hr) ? device : nullptr;
}

}  // namespace tarn::d3d9::test
