// Direct3DCreate9 and the adapter object: display mode, capabilities and format answers from the profile, and
// device creation with the chosen backend.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <tuple>
#include <vector>

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

namespace {

// What `call` answers for the layer's own device, under its lock (a multithreaded device's), else `none`.
template <typename Result, typename Call>
Result OnOwnDevice(IDirect3DDevice9* device, Result none, Call call) {
    auto* own = dynamic_cast<Device*>(device);
    if (!own) return none;
    const DeviceGuard guard(own->lock());
    return call(*own);
}

}  // namespace

std::size_t LiveResourceCount(IDirect3DDevice9* device) {
    return OnOwnDevice(device, std::size_t{0}, [](Device& own) { return own.LiveCount(); });
}

std::string DescribeLiveResources(IDirect3DDevice9* device) {
    return OnOwnDevice(device, std::string(), [](Device& own) { return own.DescribeLive(); });
}

std::size_t GeneratedProgramCount(IDirect3DDevice9* device) {
    return OnOwnDevice(device, std::size_t{0}, [](Device& own) { return own.renderer()->ProgramCount(); });
}

UploadStats Uploads(IDirect3DDevice9* device) {
    return OnOwnDevice(device, UploadStats{}, [](Device& own) { return own.renderer()->Uploads(); });
}

std::size_t GlStateCalls(IDirect3DDevice9* device) {
    return OnOwnDevice(device, std::size_t{0}, [](Device& own) { return own.renderer()->StateCalls(); });
}

unsigned TakeGlErrors(IDirect3DDevice9* device) {
    return OnOwnDevice(device, 0u, [](Device& own) { return own.renderer()->TakeErrors(); });
}

void FinishGpuWork(IDirect3DDevice9* device) {
    OnOwnDevice(device, 0, [](Device& own) {
        own.renderer()->Finish();
        return 0;
    });
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
    // A count already at zero stays there (a release too many is answered 0, not wrapped round).
    ULONG count = refs_.load();
    do {
        if (count == 0) return 0;
    } while (!refs_.compare_exchange_weak(count, count - 1));
    if (count == 1) delete this;
    return count - 1;
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

// ---- Display modes ----
//
// With SDL's video up, the modes are those SDL lists for display 0 (24- and 32-bit modes as X8R8G8B8, 16-bit as
// R5G6B5, 15-bit as X1R5G5B5), with the desktop's own mode among them. Headless, a fixed set at 60 Hz in
// X8R8G8B8 and R5G6B5: 640 x 480, 800 x 600, 1024 x 768, 1280 x 720, 1280 x 1024, 1600 x 900 and 1920 x 1080
// (the headless desktop). Each list runs by width, then height, then refresh rate.
namespace {

bool IsDisplayFormat(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5;
}

D3DFORMAT FormatOfSdlMode(Uint32 format) {
    switch (SDL_BITSPERPIXEL(format)) {
    case 24:
    case 32:
        return D3DFMT_X8R8G8B8;
    case 16:
        return D3DFMT_R5G6B5;
    case 15:
        return D3DFMT_X1R5G5B5;
    default:
        return D3DFMT_UNKNOWN;
    }
}

// The formats a back buffer can have: the 32-bit ones and the 16-bit ones, which the backend draws at 8 bits a
// channel and stores at the format's own depth (16-bit back buffers read back and present quantised).
bool IsBackBufferFormat(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8 || format == D3DFMT_R5G6B5 ||
           format == D3DFMT_X1R5G5B5 || format == D3DFMT_A1R5G5B5;
}

// Full screen, a back buffer has the display's format or that format with alpha in place of the unused bits.
bool MatchesDisplay(D3DFORMAT display, D3DFORMAT backBuffer) {
    return backBuffer == display || (display == D3DFMT_X8R8G8B8 && backBuffer == D3DFMT_A8R8G8B8) ||
           (display == D3DFMT_X1R5G5B5 && backBuffer == D3DFMT_A1R5G5B5);
}

}  // namespace

std::vector<D3DDISPLAYMODE> DisplayModes(D3DFORMAT format) {
    std::vector<D3DDISPLAYMODE> modes;
    if (!IsDisplayFormat(format)) return modes;
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        const int count = SDL_GetNumDisplayModes(0);
        for (int i = 0; i < count; ++i) {
            SDL_DisplayMode m;
            if (SDL_GetDisplayMode(0, i, &m) != 0 || m.w <= 0 || m.h <= 0) continue;
            if (FormatOfSdlMode(m.format) != format) continue;
            modes.push_back(D3DDISPLAYMODE{static_cast<UINT>(m.w), static_cast<UINT>(m.h),
                                           m.refresh_rate > 0 ? static_cast<UINT>(m.refresh_rate) : 60, format});
        }
    } else if (format != D3DFMT_X1R5G5B5) {
        static const UINT kSizes[][2] = {{640, 480},   {800, 600},  {1024, 768}, {1280, 720},
                                         {1280, 1024}, {1600, 900}, {1920, 1080}};
        for (const auto& size : kSizes) modes.push_back(D3DDISPLAYMODE{size[0], size[1], 60, format});
    }
    const D3DDISPLAYMODE desktop = Direct3D9::DesktopMode();
    if (desktop.Format == format) modes.push_back(desktop);
    auto key = [](const D3DDISPLAYMODE& m) { return std::tuple(m.Width, m.Height, m.RefreshRate); };
    std::sort(modes.begin(), modes.end(),
              [&](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) { return key(a) < key(b); });
    modes.erase(std::unique(modes.begin(), modes.end(),
                            [&](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) { return key(a) == key(b); }),
                modes.end());
    return modes;
}

UINT Direct3D9::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
    return adapter == 0 ? static_cast<UINT>(DisplayModes(format).size()) : 0;
}

HRESULT Direct3D9::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* displayMode) {
    if (adapter != 0 || !displayMode) return D3DERR_INVALIDCALL;
    if (!IsDisplayFormat(format)) return D3DERR_NOTAVAILABLE;
    const std::vector<D3DDISPLAYMODE> modes = DisplayModes(format);
    if (mode >= modes.size()) return D3DERR_INVALIDCALL;
    *displayMode = modes[mode];
    return D3D_OK;
}

HRESULT Direct3D9::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    HRESULT injected;
    if (Fault("GetAdapterDisplayMode", &injected)) return injected;
    if (adapter != 0 || !mode) return D3DERR_INVALIDCALL;
    *mode = DesktopMode();
    return D3D_OK;
}

D3DFORMAT DisplayFormatOf(D3DFORMAT backBuffer) {
    if (backBuffer == D3DFMT_A8R8G8B8) return D3DFMT_X8R8G8B8;
    if (backBuffer == D3DFMT_A1R5G5B5) return D3DFMT_X1R5G5B5;
    return backBuffer;
}

// Windowed, the display format is the desktop's and presenting converts any back buffer format to it; full
// screen, the display format needs modes of its own and the back buffer must match it.
HRESULT Direct3D9::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                                   BOOL windowed) {
    if (adapter != 0) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    if (!IsDisplayFormat(displayFormat)) return D3DERR_NOTAVAILABLE;
    if (windowed) {
        if (displayFormat != DesktopMode().Format) return D3DERR_NOTAVAILABLE;
        if (backBufferFormat == D3DFMT_UNKNOWN) return D3D_OK;
    } else if (DisplayModes(displayFormat).empty() || !MatchesDisplay(displayFormat, backBufferFormat)) {
        return D3DERR_NOTAVAILABLE;
    }
    if (!IsBackBufferFormat(backBufferFormat)) return D3DERR_NOTAVAILABLE;
    return SUCCEEDED(CheckFormat(D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, backBufferFormat)) ? D3D_OK
                                                                                             : D3DERR_NOTAVAILABLE;
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

// Multisampled surfaces are the render targets stored at 8 bits a channel and the depth formats; the backend says
// which sample counts it draws (none for the null backend). Each counted type has one quality level;
// NONMASKABLE has one per count, in increasing order.
HRESULT Direct3D9::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL,
                                              D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) {
    if (qualityLevels) *qualityLevels = 0;
    if (adapter != 0) return D3DERR_INVALIDCALL;
    if (multiSample < D3DMULTISAMPLE_NONE || multiSample > D3DMULTISAMPLE_16_SAMPLES) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    const FormatLayout* layout = FindLayout(surfaceFormat);
    const bool colour = layout && SUCCEEDED(CheckFormat(D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, surfaceFormat)) &&
                        (layout->target == TargetStorage::Rgba8 || layout->target == TargetStorage::Opaque8 ||
                         layout->storage == TexelStorage::Bgra8 || layout->storage == TexelStorage::Bgrx8);
    const bool depth = SUCCEEDED(CheckFormat(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, surfaceFormat));
    if (multiSample != D3DMULTISAMPLE_NONE && !colour && !depth) return D3DERR_NOTAVAILABLE;
    const DWORD levels = QualityLevels(LimitsOf(CurrentBackend()), multiSample);
    if (levels == 0) return D3DERR_NOTAVAILABLE;
    if (qualityLevels) *qualityLevels = levels;
    return D3D_OK;
}

HRESULT Direct3D9::CheckMultisample(D3DFORMAT format, D3DMULTISAMPLE_TYPE type, DWORD quality) const {
    DWORD levels = 0;
    const HRESULT hr =
        const_cast<Direct3D9*>(this)->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, format, TRUE, type, &levels);
    if (FAILED(hr)) return hr;
    return quality < levels ? D3D_OK : D3DERR_INVALIDCALL;
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
    // A multisampled back buffer is resolved when presented, which the discard effect alone allows; it cannot
    // be locked.
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE &&
        (p.SwapEffect != D3DSWAPEFFECT_DISCARD || (p.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER))) {
        return D3DERR_INVALIDCALL;
    }
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
    const D3DFORMAT display = p.Windowed ? DesktopMode().Format : DisplayFormatOf(p.BackBufferFormat);
    if (FAILED(const_cast<Direct3D9*>(this)->CheckDeviceType(0, D3DDEVTYPE_HAL, display, p.BackBufferFormat,
                                                             p.Windowed))) {
        return D3DERR_NOTAVAILABLE;
    }
    if (!p.Windowed) {
        // Full screen takes one of the display's modes (any refresh rate of the size when none is asked for).
        const std::vector<D3DDISPLAYMODE> modes = DisplayModes(display);
        const bool listed = std::any_of(modes.begin(), modes.end(), [&](const D3DDISPLAYMODE& m) {
            return m.Width == p.BackBufferWidth && m.Height == p.BackBufferHeight &&
                   (p.FullScreen_RefreshRateInHz == 0 || m.RefreshRate == p.FullScreen_RefreshRateInHz);
        });
        if (!listed) return D3DERR_INVALIDCALL;
    } else if (p.FullScreen_RefreshRateInHz != 0) {
        return D3DERR_INVALIDCALL;  // a windowed device shows at the desktop's rate
    }
    if (p.EnableAutoDepthStencil && FAILED(CheckFormat(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                                       p.AutoDepthStencilFormat))) {
        return D3DERR_NOTAVAILABLE;
    }
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE) {
        if (const HRESULT hr = CheckMultisample(p.BackBufferFormat, p.MultiSampleType, p.MultiSampleQuality);
            FAILED(hr)) {
            return hr;
        }
        if (p.EnableAutoDepthStencil &&
            FAILED(CheckMultisample(p.AutoDepthStencilFormat, p.MultiSampleType, p.MultiSampleQuality))) {
            return D3DERR_NOTAVAILABLE;
        }
    } else if (p.MultiSampleQuality != 0) {
        return D3DERR_INVALIDCALL;
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
