#include "app/Application.h"

#include <new>

#include "render/FrameRate.h"
#include "render/Renderer.h"
#include "report/ErrorBox.h"

namespace {

CTRApplication* g_application = nullptr;

// Opaque grey (200, 200, 200): what the base application shows.
constexpr D3DCOLOR kClearColor = 0xFFC8C8C8;

}  // namespace

CTRApplication* GetApplication() {
    return g_application;
}

CTRApplication::CTRApplication(const char* newTitle, int newWidth, int newHeight, bool newFullScreen)
    : window(nullptr),
      title{},
      width(newWidth),
      height(newHeight),
      fullScreen(newFullScreen),
      frameRate(nullptr) {
    // A title longer than the buffer is cut, never written past it.
    if (newTitle != nullptr) {
        int i = 0;
        for (; i < kMaxTitle && newTitle[i] != '\0'; ++i) title[i] = newTitle[i];
        title[i] = '\0';
    }
    g_application = this;
}

CTRApplication::~CTRApplication() {
    DeleteTimerAndRenderer();
    // Messages that still arrive (the window outlives the application after an abandoned start-up) must not
    // reach a deleted object.
    if (g_application == this) g_application = nullptr;
}

void CTRApplication::DeleteTimerAndRenderer() {
    if (frameRate != nullptr) {
        delete frameRate;
        frameRate = nullptr;
    }
    if (CTRRenderer* renderer = GetRenderer()) delete renderer;  // clears the process-wide pointer
}

bool CTRApplication::CreateRenderer() {
    CTRRenderer* renderer = new (std::nothrow) CTRRenderer;
    if (renderer == nullptr) {
        ErrorBox("CTRRenderer() Fail!\n");
        return false;
    }
    if (!renderer->Initialize(static_cast<unsigned int>(width), static_cast<unsigned int>(height), fullScreen,
                              window)) {
        ErrorBox("Renderer Initialize() Fail!");
        return false;
    }
    return true;
}

bool CTRApplication::CreateFrameRate() {
    frameRate = new (std::nothrow) CTRFrameRate;
    if (frameRate == nullptr) {
        ErrorBox("CTRFrameRate() Fail!\n");
        return false;
    }
    if (!Initialize()) {
        ErrorBox("Initialize() Fail!\n");
        return false;
    }
    return true;
}

bool CTRApplication::Initialize() {
    return true;
}

void CTRApplication::Frame() {
    CTRRenderer* renderer = GetRenderer();
    IDirect3DDevice9* device = renderer != nullptr ? renderer->GetDevice() : nullptr;
    if (device == nullptr) return;

    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClearColor, 1.0f, 0);
    if (SUCCEEDED(device->BeginScene())) device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
}

void CTRApplication::Shutdown() {
    DeleteTimerAndRenderer();
}

void CTRApplication::OnSize() {}

bool CTRApplication::MsgProc(UINT, WPARAM, LPARAM) {
    return false;
}

LRESULT WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CTRApplication* application = GetApplication();
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            if (application != nullptr) application->OnSize();
            return DefWindowProcA(hwnd, message, wParam, lParam);
        default:
            if (application != nullptr && application->MsgProc(message, wParam, lParam)) return 1;
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}
