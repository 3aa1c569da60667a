// Shared test fixtures of the application core: a recorder of message boxes, a Direct3D object that answers as
// the test scripts it, and a device that logs the frame's calls (clear, scene, present), in order.
#pragma once

#include <string>
#include <vector>

#include "platform/MessageBoxHook.h"
#include "render/Renderer.h"
#include "Direct3DStubs.h"

namespace tarn::test {

struct ShownBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

// Captures every message box while alive.
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    std::vector<std::string> Texts() const;
    std::vector<ShownBox> boxes;

private:
    platform::MessageBoxHook previous;
};

// One log shared by the doubles, so that the order across objects shows.
using CallLog = std::vector<std::string>;

// Logs Clear, BeginScene, EndScene and Present into the shared log; the rest is the stub's.
class FrameLogDevice : public StubDevice {
public:
    explicit FrameLogDevice(CallLog& log) : log(log) {}
    ULONG Release() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Present(const RECT* source, const RECT* dest, HWND window, const RGNDATA* dirty) override;

    HRESULT beginSceneResult = S_OK;
    int references = 1;

private:
    CallLog& log;
};

// Answers GetDeviceCaps, GetAdapterDisplayMode and CreateDevice as configured and records CreateDevice's
// arguments.
class ScriptedDirect3D : public StubDirect3D {
public:
    explicit ScriptedDirect3D(CallLog& log) : log(log), device(log) {}
    ULONG Release() override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** returned) override;

    HRESULT capsResult = S_OK;
    HRESULT displayModeResult = S_OK;
    HRESULT createDeviceResult = S_OK;
    DWORD vertexShaderVersion = D3DVS_VERSION(2, 0);
    D3DDISPLAYMODE displayMode = {1920, 1080, 60, D3DFMT_X8R8G8B8};

    // What CreateDevice received.
    UINT createAdapter = ~0u;
    D3DDEVTYPE createType = static_cast<D3DDEVTYPE>(0);
    HWND createFocus = nullptr;
    DWORD createFlags = 0;
    D3DPRESENT_PARAMETERS createParams = {};
    int references = 1;

private:
    CallLog& log;

public:
    FrameLogDevice device;
};

// Makes the renderer take `direct3D` (or a null Direct3D object when `direct3D` is null) while alive.
class Direct3DOverride {
public:
    explicit Direct3DOverride(ScriptedDirect3D* direct3D);
    ~Direct3DOverride();

private:
    render::Direct3DCreateFunction previous;
    ScriptedDirect3D* previousDirect3D;
};

}  // namespace tarn::test
