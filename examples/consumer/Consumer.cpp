// The smallest program on the installed engine: Tarn::main parses the runner options (--headless, --frames, ...)
// and calls this WinMain with the remaining arguments. It opens a window and a Direct3D 9 device, loads the image
// named on its command line with D3DXCreateTextureFromFileA and prints the texture's size.
//   consumer --headless IMAGE      (TARN_D3D9_BACKEND=null: no drawing at all)
#include <cstdio>
#include <string>

#include "platform/d3d9/D3D9.h"
#include "platform/win32/Win32.h"
#include "texture/D3DXTexture.h"

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // The entry joins the arguments into one command line and quotes one that holds a space.
    std::string image = commandLine != nullptr ? commandLine : "";
    if (image.size() >= 2 && image.front() == '"' && image.back() == '"') image = image.substr(1, image.size() - 2);
    if (image.empty()) {
        std::fprintf(stderr, "usage: consumer [--headless] IMAGE\n");
        return 2;
    }
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "consumer";
    RegisterClassExA(&windowClass);
    HWND window = CreateWindowExA(0, "consumer", "consumer", WS_POPUP, 0, 0, 320, 240, GetDesktopWindow(), nullptr,
                                  instance, nullptr);
    IDirect3D9* direct3d = window != nullptr ? Direct3DCreate9(D3D_SDK_VERSION) : nullptr;
    IDirect3DDevice9* device = nullptr;
    if (direct3d != nullptr) {
        D3DPRESENT_PARAMETERS parameters = {};
        parameters.Windowed = TRUE;
        parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
        parameters.BackBufferFormat = D3DFMT_UNKNOWN;
        parameters.hDeviceWindow = window;
        direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                               &parameters, &device);
    }
    int status = 1;
    if (device == nullptr) {
        std::fprintf(stderr, "consumer: no window or Direct3D device\n");
    } else {
        IDirect3DTexture9* texture = nullptr;
        HRESULT hr = D3DXCreateTextureFromFileA(device, image.c_str(), &texture);
        D3DSURFACE_DESC desc = {};
        if (FAILED(hr) || FAILED(texture->GetLevelDesc(0, &desc))) {
            std::fprintf(stderr, "consumer: cannot load %s (0x%08X)\n", image.c_str(), static_cast<unsigned>(hr));
        } else {
            std::printf("%s: %u x %u, %u levels\n", image.c_str(), desc.Width, desc.Height,
                        static_cast<unsigned>(texture->GetLevelCount()));
            status = 0;
        }
        if (texture != nullptr) texture->Release();
        device->Release();
    }
    if (direct3d != nullptr) direct3d->Release();
    if (window != nullptr) DestroyWindow(window);
    UnregisterClassA("consumer", instance);
    return status;
}
