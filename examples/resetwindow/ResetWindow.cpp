// A resizable window drawn with Direct3D 9 that keeps drawing across resizes by the documented Reset protocol,
// written only against the Direct3D 9 and Windows interfaces. Each frame draws a quad over the left half of the
// back buffer through a recorded state block, counting its samples with an occlusion query, from a default-pool
// vertex buffer and a default-pool render-target texture it draws first. WM_SIZE (and a device found lost by
// TestCooperativeLevel) takes the usual path: release every default-pool object, Reset with a zero size (the new
// client area), create them again. After its third frame the program resizes its own window once, as a user would.
// Each frame checks what it drew: the occlusion count is the quad's area at the current size, and the back
// buffer's pixels show the quad's colour on the left and the clear colour on the right.
//   resetwindow [--headless] [--frames N]     (without --frames it runs until the window is closed)
// Exit status 0 when every frame checked out; otherwise 1, with one line per failure on standard error.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/d3d9/D3D9.h"
#include "platform/win32/Win32.h"

namespace {

constexpr D3DCOLOR kClear = 0xff203040;
constexpr D3DCOLOR kTextureColour = 0xffc08020;
constexpr int kResizeAfterFrame = 3;

struct Vertex {
    float x, y, z, rhw;
    float u, v;
};
constexpr DWORD kVertexFormat = D3DFVF_XYZRHW | D3DFVF_TEX1;

struct App {
    HWND window = nullptr;
    IDirect3D9* direct3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DPRESENT_PARAMETERS parameters{};
    // Default-pool objects (released before Reset, made again after it) and the recorded state.
    IDirect3DVertexBuffer9* quad = nullptr;
    IDirect3DTexture9* target = nullptr;
    IDirect3DQuery9* occlusion = nullptr;
    IDirect3DStateBlock9* drawState = nullptr;
    UINT width = 0, height = 0;  // of the back buffer
    bool minimized = false;
    bool inReset = false;
    int frames = 0;
    int resets = 0;
    int failures = 0;
};

App app;

void Fail(const char* what, long got, long expected) {
    if (++app.failures <= 20) std::fprintf(stderr, "resetwindow: %s is %ld, expected %ld\n", what, got, expected);
}

bool Check(HRESULT hr, const char* what) {
    if (SUCCEEDED(hr)) return true;
    if (++app.failures <= 20)
        std::fprintf(stderr, "resetwindow: %s failed (0x%08X)\n", what, static_cast<unsigned>(hr));
    return false;
}

template <class T>
void ReleaseObject(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

// ---- Default-pool objects: gone before Reset, back after it ----

void ReleaseDefaultPool() {
    ReleaseObject(app.quad);
    ReleaseObject(app.target);
    ReleaseObject(app.occlusion);
    ReleaseObject(app.drawState);
}

// Where the two-stream vertex declaration goes (positions from one stream, texture coordinates from another);
// until then the quad is one stream of a flexible vertex format.
void SetVertexInput() {
    app.device->SetFVF(kVertexFormat);
    app.device->SetStreamSource(0, app.quad, 0, sizeof(Vertex));
}

bool CreateDefaultPool() {
    IDirect3DDevice9* d = app.device;
    IDirect3DSurface9* back = nullptr;
    if (!Check(d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), "GetBackBuffer")) return false;
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    back->Release();
    app.width = desc.Width;
    app.height = desc.Height;

    // The left half of the back buffer, whole pixels, sampling the whole texture.
    const float w = static_cast<float>(app.width / 2), h = static_cast<float>(app.height);
    const Vertex vertices[4] = {
        {0, 0, 0.5f, 1, 0, 0}, {w, 0, 0.5f, 1, 1, 0}, {0, h, 0.5f, 1, 0, 1}, {w, h, 0.5f, 1, 1, 1}};
    if (!Check(d->CreateVertexBuffer(sizeof vertices, D3DUSAGE_WRITEONLY, kVertexFormat, D3DPOOL_DEFAULT, &app.quad,
                                     nullptr),
               "CreateVertexBuffer")) {
        return false;
    }
    void* data = nullptr;
    if (!Check(app.quad->Lock(0, 0, &data, 0), "Lock")) return false;
    std::memcpy(data, vertices, sizeof vertices);
    app.quad->Unlock();
    if (!Check(
            d->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &app.target, nullptr),
            "CreateTexture")) {
        return false;
    }
    if (!Check(d->CreateQuery(D3DQUERYTYPE_OCCLUSION, &app.occlusion), "CreateQuery")) return false;

    // The state the quad is drawn with, recorded once per device (states go back to their defaults on Reset).
    if (!Check(d->BeginStateBlock(), "BeginStateBlock")) return false;
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    return Check(d->EndStateBlock(&app.drawState), "EndStateBlock");
}

// Resets the device for the window's current client area, taking the documented path.
bool ResetDevice() {
    app.inReset = true;
    ReleaseDefaultPool();
    D3DPRESENT_PARAMETERS p = app.parameters;
    p.BackBufferWidth = p.BackBufferHeight = 0;  // windowed: the client area
    const HRESULT hr = app.device->Reset(&p);
    app.inReset = false;
    if (hr == D3DERR_DEVICELOST) return false;  // not yet: try again on a later frame
    if (!Check(hr, "Reset")) return false;
    ++app.resets;
    return CreateDefaultPool();
}

// ---- A frame ----

void DrawFrame() {
    IDirect3DDevice9* d = app.device;
    // The texture first: cleared to its colour through its top level.
    IDirect3DSurface9* level = nullptr;
    IDirect3DSurface9* back = nullptr;
    app.target->GetSurfaceLevel(0, &level);
    d->GetRenderTarget(0, &back);
    d->SetRenderTarget(0, level);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kTextureColour, 1.0f, 0);
    d->SetRenderTarget(0, back);
    level->Release();

    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClear, 1.0f, 0);
    if (!Check(d->BeginScene(), "BeginScene")) {
        back->Release();
        return;
    }
    app.drawState->Apply();
    d->SetTexture(0, app.target);
    SetVertexInput();
    app.occlusion->Issue(D3DISSUE_BEGIN);
    Check(d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), "DrawPrimitive");
    app.occlusion->Issue(D3DISSUE_END);
    d->SetTexture(0, nullptr);
    d->EndScene();

    DWORD samples = 0;
    HRESULT hr;
    while ((hr = app.occlusion->GetData(&samples, sizeof samples, D3DGETDATA_FLUSH)) == S_FALSE) {
    }
    if (Check(hr, "occlusion GetData")) {
        const long expected = static_cast<long>(app.width / 2) * static_cast<long>(app.height);
        if (static_cast<long>(samples) != expected) Fail("occlusion sample count", samples, expected);
    }

    // What the back buffer holds: the texture's colour on the left, the clear colour on the right.
    IDirect3DSurface9* copy = nullptr;
    if (Check(d->CreateOffscreenPlainSurface(app.width, app.height, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr),
              "CreateOffscreenPlainSurface") &&
        Check(d->GetRenderTargetData(back, copy), "GetRenderTargetData")) {
        D3DLOCKED_RECT locked{};
        if (Check(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), "LockRect")) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(locked.pBits) +
                                                                     (app.height / 2) * locked.Pitch);
            if (row[app.width / 4] != kTextureColour) Fail("left pixel", row[app.width / 4], kTextureColour);
            if (row[app.width - 1] != kClear) Fail("right pixel", row[app.width - 1], kClear);
            copy->UnlockRect();
        }
    }
    ReleaseObject(copy);
    back->Release();
}

// One turn of the loop: test the device, reset it when it can be, draw and present.
void Frame() {
    if (!app.device || app.minimized) return;
    const HRESULT level = app.device->TestCooperativeLevel();
    if (level == D3DERR_DEVICELOST) return;  // nothing can be shown now
    if (level == D3DERR_DEVICENOTRESET && !ResetDevice()) return;
    if (!app.quad) return;
    DrawFrame();
    const HRESULT presented = app.device->Present(nullptr, nullptr, nullptr, nullptr);
    if (presented == D3DERR_DEVICELOST) return;  // the next frame finds out why
    Check(presented, "Present");
    ++app.frames;
    if (app.frames == kResizeAfterFrame) {
        // Grow the window as a user dragging its corner would; WM_SIZE resets the device at once.
        RECT r{};
        GetWindowRect(app.window, &r);
        SetWindowPos(app.window, nullptr, 0, 0, r.right - r.left + 96, r.bottom - r.top + 40,
                     SWP_NOMOVE | SWP_NOZORDER);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        app.minimized = wParam == SIZE_MINIMIZED;
        // A new client size: the Reset protocol, unless the device is being made or reset right now.
        if (app.device && !app.minimized && !app.inReset) {
            const UINT w = LOWORD(lParam), h = HIWORD(lParam);
            if (w != 0 && h != 0 && (w != app.width || h != app.height)) ResetDevice();
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "resetwindow";
    RegisterClassExA(&windowClass);
    RECT frame{0, 0, 320, 240};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    app.window =
        CreateWindowExA(0, "resetwindow", "Reset protocol", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (!app.window) {
        std::fprintf(stderr, "resetwindow: no window\n");
        return 1;
    }
    ShowWindow(app.window, show ? show : SW_SHOWDEFAULT);
    app.direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    app.parameters.Windowed = TRUE;
    app.parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    app.parameters.BackBufferFormat = D3DFMT_UNKNOWN;
    app.parameters.EnableAutoDepthStencil = TRUE;
    app.parameters.AutoDepthStencilFormat = D3DFMT_D16;
    app.parameters.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    app.parameters.hDeviceWindow = app.window;
    D3DPRESENT_PARAMETERS p = app.parameters;
    if (!app.direct3d || !Check(app.direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, app.window,
                                                           D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &app.device),
                                "CreateDevice")) {
        std::fprintf(stderr, "resetwindow: no Direct3D device\n");
        return 1;
    }
    if (!CreateDefaultPool()) return 1;
    const UINT firstWidth = app.width;

    MSG msg{};
    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        Frame();
    }
    if (app.frames > kResizeAfterFrame && app.width != firstWidth + 96) {
        Fail("back buffer width after the resize", app.width, firstWidth + 96);
    }
    std::printf("resetwindow: %d frames, %d resets, back buffer %u x %u\n", app.frames, app.resets, app.width,
                app.height);
    ReleaseDefaultPool();
    ReleaseObject(app.device);
    ReleaseObject(app.direct3d);
    return app.failures == 0 ? static_cast<int>(msg.wParam) : 1;
}
