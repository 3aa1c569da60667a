// CTRRenderer: the single renderer, owner of the Direct3D 9 object and the program's one device. Its
// constructor makes it the process-wide renderer (GetRenderer); its destructor releases the device, then the
// Direct3D object. Initialize/InitDevice return false after showing the failing step's ErrorBox text.
#pragma once

#include "platform/d3d9/D3D9.h"

class CTRRenderer {
public:
    CTRRenderer();
    ~CTRRenderer();

    CTRRenderer(const CTRRenderer&) = delete;
    CTRRenderer& operator=(const CTRRenderer&) = delete;

    // Creates the device with the engine's fixed choices: one back buffer, discard swap, a 16-bit depth
    // buffer, immediate presentation, a pure device.
    bool Initialize(unsigned int width, unsigned int height, bool fullScreen, HWND window);

    bool InitDevice(unsigned int width, unsigned int height, UINT backBufferCount, bool fullScreen,
                    D3DSWAPEFFECT swapEffect, BOOL enableAutoDepthStencil, D3DFORMAT depthStencilFormat,
                    HWND window, UINT presentationInterval, DWORD behaviourFlags);

    IDirect3DDevice9* GetDevice() const { return device; }
    IDirect3D9* GetD3D() const { return d3d; }
    unsigned int GetWidth() const { return width; }
    unsigned int GetHeight() const { return height; }
    bool IsFullScreen() const { return fullScreen; }
    const D3DCAPS9& GetCaps() const { return caps; }
    const D3DPRESENT_PARAMETERS& GetPresentParameters() const { return presentParams; }
    const D3DDISPLAYMODE& GetDisplayMode() const { return displayMode; }

private:
    IDirect3D9* d3d;                      // from Direct3DCreate9; null until InitDevice
    IDirect3DDevice9* device;             // null until CreateDevice succeeded
    D3DCAPS9 caps;                        // the default adapter's hardware device capabilities
    D3DPRESENT_PARAMETERS presentParams;  // what the device was created with
    D3DDISPLAYMODE displayMode;           // the default adapter's current display mode
    bool fullScreen;                      // requested full-screen mode
    unsigned int width;                   // back-buffer width in pixels
    unsigned int height;                  // back-buffer height in pixels
};

// The process-wide renderer: null before one is constructed and after it has been deleted.
CTRRenderer* GetRenderer();

namespace tarn::render {

// Where InitDevice gets its Direct3D object: Direct3DCreate9 unless replaced (tests install a recording
// double). Returns the previous function; null restores Direct3DCreate9.
using Direct3DCreateFunction = IDirect3D9* (*)(UINT sdkVersion);
Direct3DCreateFunction SetDirect3DCreateFunction(Direct3DCreateFunction function);

}  // namespace tarn::render
