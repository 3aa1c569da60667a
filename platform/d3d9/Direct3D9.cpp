// Direct3DCreate9 and the adapter object: display mode, capabilities and format answers from the profile, and
// device creation with the chosen backend.
#include <SDL.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/FaultInjection.h"
#include "Modules.h"
#include "D3D9Diagnostic.h"
#include "DeviceObject.h"
#include "Renderer.h"

namespace tarn::d3d9 {
namespace {

std::atomic<bool> gMuted{false};
std::mutex gBackendMutex;
int gBackendOverride = -1;  // -1: environment

bool Fault(const char* call, HRESULT* result) {
    std::uint32_t code = 0;
    if (!tarn::platform::TakeFault(call, &code)) return false;
    *result = static_cast<HRESULT>(code);
    return true;
}

}  // namespace

void Diagnostic(const char* format, ...) {
    if (gMuted.load()) return;
    std::va_list args;
    va_start(args, format);
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::fprintf(stderr, "d3d9: %s\n", text);
}

bool Muted() { return gMuted.load(); }

void SetBackend(BackendKind kind) {
    std::lock_guard lock(gBackendMutex);
    gBackendOverride = static_cast<int>(kind);
}

void ResetBackend() {
    std::lock_guard lock(gBackendMutex);
    gBackendOverride = -1;
}

BackendKind CurrentBackend() {
    {
        std::lock_guard lock(gBackendMutex);
        if (gBackendOverride >= 0) return static_cast<BackendKind>(gBackendOverride);
    }
    const char* env = std::getenv("TARN_D3D9_BACKEND");
    if (env && std::strcmp(env, "null") == 0) return BackendKind::Null;
    return BackendKind::Gl;
}

IDirect3DDevice9* CreateNullDevice(UINT width, UINT height) {
    SetBackend(BackendKind::Null);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (d3d == nullptr) return nullptr;
    D3DPRESENT_PARAMETERS pp = {};
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    pp.hDeviceWindow = GetDesktopWindow();  // nothing is shown: the desktop stands in as the device window
    IDirect3DDevice9* device = nullptr;
    if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                 &device))) {
        device = nullptr;
    }
    d3d->Release();
    return device;
}

std::size_t LiveResourceCount(IDirect3DDevice9* device) {
    auto* own = dynamic_cast<Device*>(device);
    return own ? own->LiveCount() : 0;
}

std::string DescribeLiveResources(IDirect3DDevice9* device) {
    auto* own = dynamic_cast<Device*>(device);
    return own ? own->DescribeLive() : std::string();
}

std::size_t GeneratedProgramCount(IDirect3DDevice9* device) {
    auto* own = dynamic_cast<Device*>(device);
    return own ? own->renderer()->ProgramCount() : 0;
}

UploadStats Uploads(IDirect3DDevice9* device) {
    auto* own = dynamic_cast<Device*>(device);
    return own ? own->renderer()->Uploads() : UploadStats{};
}

std::size_t GlStateCalls(IDirect3DDevice9* device) {
    auto* own = dynamic_cast<Device*>(device);
    return own ? own->renderer()->StateCalls() : 0;
}

unsigned TakeGlErrors(IDirect3DDevice9* device) {
    auto* own = dynamic_cast<Device*>(device);
    return own ? own->renderer()->TakeErrors() : 0;
}

void FinishGpuWork(IDirect3DDevice9* device) {
    auto* own = dynamic_cast<Device*>(device);
    if (own) own->renderer()->Finish();
}

// ---- Direct3D9 ----

Direct3D9::Direct3D9(const Profile& profile) : profile_(profile) {}

HRESULT Direct3D9::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDirect3D9)) {
        *object = static_cast<IDirect3D9*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Direct3D9::Release() {
    if (refs_ == 0) return 0;
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT Direct3D9::GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* id) {
    if (adapter != 0 || !id) return D3DERR_INVALIDCALL;
    std::memset(id, 0, sizeof *id);
    std::snprintf(id->Driver, sizeof id->Driver, "tarn-d3d9");
    std::snprintf(id->Description, sizeof id->Description, "Tarn Direct3D 9 layer (%s backend, %s profile)",
                  CurrentBackend() == BackendKind::Gl ? "OpenGL" : "null", profile_.name.c_str());
    std::snprintf(id->DeviceName, sizeof id->DeviceName, "\\\\.\\DISPLAY1");
    id->DriverVersion.QuadPart = 0x0009000000000001LL;
    return D3D_OK;
}

D3DDISPLAYMODE Direct3D9::DesktopMode() {
    D3DDISPLAYMODE mode{1920, 1080, 60, D3DFMT_X8R8G8B8};
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        SDL_DisplayMode desktop;
        if (SDL_GetDesktopDisplayMode(0, &desktop) == 0 && desktop.w > 0 && desktop.h > 0) {
            mode.Width = static_cast<UINT>(desktop.w);
            mode.Height = static_cast<UINT>(desktop.h);
            mode.RefreshRate = desktop.refresh_rate > 0 ? static_cast<UINT>(desktop.refresh_rate) : 60;
        }
    }
    return mode;
}

UINT Direct3D9::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
    return adapter == 0 && format == D3DFMT_X8R8G8B8 ? 1 : 0;
}

HRESULT Direct3D9::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* displayMode) {
    if (adapter != 0 || !displayMode) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_X8R8G8B8 || mode != 0) return D3DERR_NOTAVAILABLE;
    *displayMode = DesktopMode();
    return D3D_OK;
}

HRESULT Direct3D9::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    HRESULT injected;
    if (Fault("GetAdapterDisplayMode", &injected)) return injected;
    if (adapter != 0 || !mode) return D3DERR_INVALIDCALL;
    *mode = DesktopMode();
    return D3D_OK;
}

HRESULT Direct3D9::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                   D3DFORMAT backBufferFormat, BOOL) {
    if (adapter != 0) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    if (adapterFormat != D3DFMT_X8R8G8B8) return D3DERR_NOTAVAILABLE;
    if (backBufferFormat != D3DFMT_X8R8G8B8 && backBufferFormat != D3DFMT_A8R8G8B8 &&
        backBufferFormat != D3DFMT_UNKNOWN) {
        return D3DERR_NOTAVAILABLE;
    }
    return D3D_OK;
}

HRESULT Direct3D9::CheckFormat(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) const {
    return CheckProfileFormat(profile_, LimitsOf(CurrentBackend()), usage, type, format);
}

HRESULT Direct3D9::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                     D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) {
    if (adapter != 0) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    if (adapterFormat != D3DFMT_X8R8G8B8 && adapterFormat != D3DFMT_R5G6B5 && adapterFormat != D3DFMT_X1R5G5B5) {
        return D3DERR_NOTAVAILABLE;
    }
    return CheckFormat(usage, resourceType, checkFormat);
}

HRESULT Direct3D9::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE, D3DFORMAT, BOOL,
                                              D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) {
    if (adapter != 0) return D3DERR_INVALIDCALL;
    if (multiSample != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    if (qualityLevels) *qualityLevels = 1;
    return D3D_OK;
}

HRESULT Direct3D9::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE, D3DFORMAT, D3DFORMAT renderTargetFormat,
                                          D3DFORMAT depthStencilFormat) {
    if (adapter != 0) return D3DERR_INVALIDCALL;
    if (FAILED(CheckFormat(D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, renderTargetFormat)) ||
        FAILED(CheckFormat(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, depthStencilFormat))) {
        return D3DERR_NOTAVAILABLE;
    }
    return D3D_OK;
}

HRESULT Direct3D9::CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE, D3DFORMAT sourceFormat,
                                               D3DFORMAT targetFormat) {
    if (adapter != 0) return D3DERR_INVALIDCALL;
    return CanDecode(sourceFormat) && SUCCEEDED(CheckFormat(D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, targetFormat))
               ? D3D_OK
               : D3DERR_NOTAVAILABLE;
}

void Direct3D9::FillCaps(D3DCAPS9* caps) const { BuildCaps(profile_, LimitsOf(CurrentBackend()), caps); }

HRESULT Direct3D9::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) {
    HRESULT injected;
    if (Fault("GetDeviceCaps", &injected)) return injected;
    if (adapter != 0 || !caps) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    FillCaps(caps);
    return D3D_OK;
}

HMONITOR Direct3D9::GetAdapterMonitor(UINT adapter) {
    return adapter == 0 ? reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(1)) : nullptr;
}

HRESULT Direct3D9::CompletePresentParameters(HWND focusWindow, D3DPRESENT_PARAMETERS* parameters) const {
    D3DPRESENT_PARAMETERS& p = *parameters;
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY) return D3DERR_INVALIDCALL;
    if (p.BackBufferCount > 3) return D3DERR_INVALIDCALL;
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    // A device needs a window: the focus window, which a windowed device may leave null only when it names
    // its device window. (Off-screen devices of tools and tests name the desktop window.)
    if (!focusWindow && (!p.Windowed || !p.hDeviceWindow)) return D3DERR_INVALIDCALL;
    HWND window = p.hDeviceWindow ? p.hDeviceWindow : focusWindow;
    if (p.Windowed) {
        // A zero size takes the window's client area.
        RECT client{};
        if ((p.BackBufferWidth == 0 || p.BackBufferHeight == 0) && window && GetClientRect(window, &client)) {
            if (p.BackBufferWidth == 0) p.BackBufferWidth = static_cast<UINT>(client.right - client.left);
            if (p.BackBufferHeight == 0) p.BackBufferHeight = static_cast<UINT>(client.bottom - client.top);
        }
        if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = D3DFMT_X8R8G8B8;
    } else if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) {
        return D3DERR_INVALIDCALL;
    }
    if (p.BackBufferWidth == 0) p.BackBufferWidth = 1;
    if (p.BackBufferHeight == 0) p.BackBufferHeight = 1;
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;
    if (p.BackBufferFormat != D3DFMT_X8R8G8B8 && p.BackBufferFormat != D3DFMT_A8R8G8B8) return D3DERR_NOTAVAILABLE;
    if (p.EnableAutoDepthStencil && FAILED(CheckFormat(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                                       p.AutoDepthStencilFormat))) {
        return D3DERR_NOTAVAILABLE;
    }
    const UINT maxSize = LimitsOf(CurrentBackend()).maxTextureSize;
    if (p.BackBufferWidth > maxSize || p.BackBufferHeight > maxSize) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT Direct3D9::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                                D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) {
    HRESULT injected;
    if (Fault("CreateDevice", &injected)) {
        if (device) *device = nullptr;
        return injected;
    }
    if (!device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (adapter != 0 || !parameters) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    // Exactly one vertex-processing mode must be asked for. (A pure device with software vertex processing is
    // accepted: this layer processes vertices the same way for both.)
    const DWORD processing = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                              D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING);
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_MIXED_VERTEXPROCESSING) {
        return D3DERR_INVALIDCALL;
    }
    D3DPRESENT_PARAMETERS p = *parameters;
    if (const HRESULT hr = CompletePresentParameters(focusWindow, &p); FAILED(hr)) return hr;
    *parameters = p;  // the runtime writes the sizes and format it chose back

    auto* created = new Device(this, p, focusWindow, behaviorFlags, type, CurrentBackend());
    std::string error;
    if (!created->Initialize(&error)) {
        Diagnostic("CreateDevice: %s", error.c_str());
        created->Release();
        return D3DERR_NOTAVAILABLE;
    }
    *device = created;
    return D3D_OK;
}

}  // namespace tarn::d3d9

extern "C" void DebugSetMute(BOOL mute) { tarn::d3d9::gMuted.store(mute != FALSE); }

IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
    HRESULT injected;
    if (tarn::d3d9::Fault("Direct3DCreate9", &injected)) return nullptr;
    if (sdkVersion != D3D_SDK_VERSION) {
        tarn::d3d9::Diagnostic("Direct3DCreate9: SDK version %u is not %d", sdkVersion, D3D_SDK_VERSION);
        return nullptr;
    }
    static std::once_flag registered;
    std::call_once(registered, [] {
        tarn::platform::RegisterModuleExport("d3d9.dll", "DebugSetMute",
                                             reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&DebugSetMute)));
    });
    return new tarn::d3d9::Direct3D9(tarn::d3d9::ChosenProfile());
}
