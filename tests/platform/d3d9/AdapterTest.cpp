// The adapter object: creation and fault injection, the module entry, capability profiles and their format
// answers, device creation checks and the documented default states.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/FaultInjection.h"
#include "platform/RunnerControl.h"
#include "D3D9TestSupport.h"
#include "ImageCursor.h"

namespace tarn::d3d9::test {
namespace {

class AdapterTest : public ::testing::Test {
protected:
    void SetUp() override { SetBackend(BackendKind::Null); }
    void TearDown() override {
        tarn::platform::ClearFaults();
        SetProfile(nullptr);
        ResetBackend();
    }
};

TEST_F(AdapterTest, CreateChecksTheSdkVersionAndRegistersTheModule) {
    EXPECT_EQ(Direct3DCreate9(31), nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    HMODULE module = GetModuleHandleA("D3D9.DLL");
    ASSERT_NE(module, nullptr);
    auto mute = reinterpret_cast<void (*)(BOOL)>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DebugSetMute")));
    ASSERT_NE(mute, nullptr);
    mute(TRUE);
    EXPECT_TRUE(Muted());
    mute(FALSE);
    EXPECT_FALSE(Muted());
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    EXPECT_GT(mode.Width, 0u);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(1, &mode), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->Release(), 0u);
}

TEST_F(AdapterTest, InjectedFaultsFailTheirCalls) {
    tarn::platform::InjectFault("Direct3DCreate9", 0, 1);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);  // one failure only
    ASSERT_NE(d3d, nullptr);
    D3DCAPS9 caps;
    D3DDISPLAYMODE mode;
    tarn::platform::InjectFault("GetDeviceCaps", static_cast<std::uint32_t>(D3DERR_NOTAVAILABLE), 1);
    EXPECT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    tarn::platform::InjectFault("GetAdapterDisplayMode", static_cast<std::uint32_t>(E_FAIL), 1);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &mode), E_FAIL);
    tarn::platform::InjectFault("CreateDevice", static_cast<std::uint32_t>(D3DERR_INVALIDCALL), -1);
    D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(0, 0);
    IDirect3DDevice9* device = reinterpret_cast<IDirect3DDevice9*>(1);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr);
    d3d->Release();
}

TEST_F(AdapterTest, ProfilesShapeCapsAndFormats) {
    constexpr DWORD kPow2 = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_CUBEMAP_POW2 | D3DPTEXTURECAPS_VOLUMEMAP_POW2;
    constexpr DWORD kCube = D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_MIPCUBEMAP;
    constexpr DWORD kVolume = D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPVOLUMEMAP;
    struct Case {
        const char* profile;
        DWORD textureCaps;  // bits expected set among the power-of-two, square, cube and volume bits
        DWORD maxSize;      // 0: at least 2048
        DWORD maxVolume;    // 0: no volume textures; else MaxVolumeExtent (~0u: at least 256)
        HRESULT l8, dxt1, rgb565;
    } cases[] = {
        {"default", kCube | kVolume, 0, ~0u, D3D_OK, D3D_OK, D3D_OK},
        {"pow2", kPow2 | kCube | kVolume, 0, ~0u, D3D_OK, D3D_OK, D3D_OK},
        {"pow2-conditional", kPow2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL | kCube | kVolume, 0, ~0u, D3D_OK, D3D_OK,
         D3D_OK},
        {"square", kPow2 | D3DPTEXTURECAPS_SQUAREONLY | kCube | kVolume, 0, ~0u, D3D_OK, D3D_OK, D3D_OK},
        {"max256", kCube | kVolume, 256, 256, D3D_OK, D3D_OK, D3D_OK},
        {"rgb-only", kCube | kVolume, 0, ~0u, D3DERR_NOTAVAILABLE, D3DERR_NOTAVAILABLE, D3D_OK},
        {"no-volume", kCube, 0, 0, D3D_OK, D3D_OK, D3D_OK},
    };
    const DWORD watched = kPow2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL | D3DPTEXTURECAPS_SQUAREONLY | kCube | kVolume;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        ASSERT_TRUE(SetProfile(c.profile));
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DCAPS9 caps;
        ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
        EXPECT_EQ(caps.TextureCaps & watched, c.textureCaps);
        EXPECT_TRUE(caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP);
        if (c.maxSize) {
            EXPECT_EQ(caps.MaxTextureWidth, c.maxSize);
        } else {
            EXPECT_GE(caps.MaxTextureWidth, 2048u);
        }
        // Cube maps sample as 2D textures do; volumes too, with the third address mode, wherever they exist.
        EXPECT_EQ(caps.CubeTextureFilterCaps, caps.TextureFilterCaps);
        if (c.maxVolume == ~0u) {
            EXPECT_GE(caps.MaxVolumeExtent, 256u);
        } else {
            EXPECT_EQ(caps.MaxVolumeExtent, c.maxVolume);
        }
        EXPECT_EQ(caps.VolumeTextureFilterCaps, c.maxVolume ? caps.TextureFilterCaps : 0u);
        EXPECT_EQ(caps.VolumeTextureAddressCaps, c.maxVolume ? caps.TextureAddressCaps : 0u);
        auto check = [&](DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) {
            return d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, type, format);
        };
        EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, D3DFMT_L8), c.l8);
        EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, D3DFMT_DXT1), c.dxt1);
        EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, D3DFMT_R5G6B5), c.rgb565);
        EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8), D3D_OK);
        EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, D3DFMT_P8), D3DERR_NOTAVAILABLE);  // palettes are converted by callers
        EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8), D3D_OK);
        EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_L8), D3DERR_NOTAVAILABLE);
        EXPECT_EQ(check(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D16), D3D_OK);
        // Cube maps take the 2D texture formats, block formats included, and are render targets in exactly the
        // formats 2D render-target textures are (the profile's limits included), never depth buffers.
        EXPECT_EQ(check(0, D3DRTYPE_CUBETEXTURE, D3DFMT_A8R8G8B8), D3D_OK);
        EXPECT_EQ(check(0, D3DRTYPE_CUBETEXTURE, D3DFMT_L8), c.l8);
        EXPECT_EQ(check(0, D3DRTYPE_CUBETEXTURE, D3DFMT_DXT1), c.dxt1);
        EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE, D3DFMT_X8R8G8B8), D3D_OK);
        EXPECT_EQ(check(D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_CUBETEXTURE, D3DFMT_X8R8G8B8),
                  D3DOK_NOAUTOGEN);
        EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE, D3DFMT_A16B16G16R16F),
                  c.l8 == D3D_OK ? D3D_OK : D3DERR_NOTAVAILABLE);  // rgb-only narrows render targets too
        for (DWORD f = 1; f < 200; ++f) {
            for (DWORD usage : {DWORD{D3DUSAGE_RENDERTARGET}, DWORD{D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP}}) {
                const auto format = static_cast<D3DFORMAT>(f);
                SCOPED_TRACE(testing::Message() << FormatName(format) << " usage " << usage);
                EXPECT_EQ(check(usage, D3DRTYPE_CUBETEXTURE, format), check(usage, D3DRTYPE_TEXTURE, format));
            }
        }
        EXPECT_EQ(check(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_CUBETEXTURE, D3DFMT_D16), D3DERR_NOTAVAILABLE);
        EXPECT_EQ(check(0, D3DRTYPE_CUBETEXTURE, D3DFMT_YUY2), D3DERR_NOTAVAILABLE);
        // Volumes: none on the no-volume profile; never block formats, render targets or depth.
        const HRESULT volumes = c.maxVolume ? D3D_OK : D3DERR_NOTAVAILABLE;
        EXPECT_EQ(check(0, D3DRTYPE_VOLUMETEXTURE, D3DFMT_A8R8G8B8), volumes);
        EXPECT_EQ(check(0, D3DRTYPE_VOLUMETEXTURE, D3DFMT_L8), c.maxVolume ? c.l8 : D3DERR_NOTAVAILABLE);
        EXPECT_EQ(check(0, D3DRTYPE_VOLUMETEXTURE, D3DFMT_DXT1), D3DERR_NOTAVAILABLE);
        EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DRTYPE_VOLUMETEXTURE, D3DFMT_X8R8G8B8), D3DERR_NOTAVAILABLE);
        EXPECT_EQ(check(D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_VOLUMETEXTURE, D3DFMT_X8R8G8B8), D3DERR_NOTAVAILABLE);
        EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, static_cast<D3DFORMAT>(999)), D3DERR_NOTAVAILABLE);
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_A8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
                  D3DERR_NOTAVAILABLE);  // not a display format
        d3d->Release();
    }
    EXPECT_FALSE(SetProfile("no-such-profile"));
    EXPECT_EQ(CurrentProfileName(), "no-volume");  // an unknown name changes nothing
    ASSERT_TRUE(SetProfile(nullptr));
    setenv("TARN_D3D9_PROFILE", "square", 1);
    EXPECT_EQ(CurrentProfileName(), "square");
    unsetenv("TARN_D3D9_PROFILE");
    EXPECT_EQ(CurrentProfileName(), "default");
}

// Point sizes and sRGB reads and writes, on both backends: sRGB is offered for formats of 8-bit or narrower
// unsigned channels, reads where the format can be sampled and writes where it can be a render target.
TEST_F(AdapterTest, PointSizeAndSrgbAnswers) {
    struct Format {
        D3DFORMAT format;
        HRESULT read, write;
    } formats[] = {
        {D3DFMT_A8R8G8B8, D3D_OK, D3D_OK},
        {D3DFMT_X8R8G8B8, D3D_OK, D3D_OK},
        {D3DFMT_R5G6B5, D3D_OK, D3D_OK},
        {D3DFMT_L8, D3D_OK, D3DERR_NOTAVAILABLE},
        {D3DFMT_DXT1, D3D_OK, D3DERR_NOTAVAILABLE},
        {D3DFMT_A16B16G16R16F, D3DERR_NOTAVAILABLE, D3DERR_NOTAVAILABLE},
        {D3DFMT_A2R10G10B10, D3DERR_NOTAVAILABLE, D3DERR_NOTAVAILABLE},
        {D3DFMT_V8U8, D3DERR_NOTAVAILABLE, D3DERR_NOTAVAILABLE},
    };
    for (BackendKind backend : {BackendKind::Null, BackendKind::Gl}) {
        SCOPED_TRACE(backend == BackendKind::Gl ? "gl" : "null");
        SetBackend(backend);
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DCAPS9 caps{};
        ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
        if (backend == BackendKind::Null) {
            EXPECT_EQ(caps.MaxPointSize, 64.0f);
        } else {
            EXPECT_GE(caps.MaxPointSize, 32.0f);  // what the driver draws
        }
        EXPECT_NE(caps.FVFCaps & D3DFVFCAPS_PSIZE, 0u);
        EXPECT_NE(caps.StencilCaps & D3DSTENCILCAPS_TWOSIDED, 0u);
        EXPECT_EQ(caps.PrimitiveMiscCaps & D3DPMISCCAPS_POSTBLENDSRGBCONVERT, 0u);
        for (const Format& f : formats) {
            SCOPED_TRACE(FormatName(f.format));
            auto check = [&](DWORD usage) {
                return d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, D3DRTYPE_TEXTURE, f.format);
            };
            EXPECT_EQ(check(D3DUSAGE_QUERY_SRGBREAD), f.read);
            EXPECT_EQ(check(D3DUSAGE_QUERY_SRGBWRITE), f.write);
            EXPECT_EQ(check(D3DUSAGE_RENDERTARGET | D3DUSAGE_QUERY_SRGBWRITE), f.write);
        }
        d3d->Release();
    }
}

// Texture sizes each profile accepts in the default pool (system memory and scratch are not limited).
TEST_F(AdapterTest, ProfilesLimitTextureCreation) {
    struct Case {
        const char* profile;
        UINT width, height, levels;
        HRESULT expected;
    } cases[] = {
        {"default", 800, 600, 0, D3D_OK},
        {"pow2", 800, 600, 1, D3DERR_INVALIDCALL},
        {"pow2", 1024, 512, 0, D3D_OK},
        {"pow2-conditional", 800, 600, 1, D3D_OK},
        {"pow2-conditional", 800, 600, 2, D3DERR_INVALIDCALL},
        {"square", 256, 128, 1, D3DERR_INVALIDCALL},
        {"square", 256, 256, 0, D3D_OK},
        {"max256", 512, 256, 1, D3DERR_INVALIDCALL},
        {"max256", 256, 256, 0, D3D_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.profile << " " << c.width << "x" << c.height << " levels " << c.levels);
        ASSERT_TRUE(SetProfile(c.profile));
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        IDirect3DDevice9* device = CreateTestDevice(d3d, 16, 16);
        ASSERT_NE(device, nullptr);
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(c.width, c.height, c.levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
                  c.expected);
        if (t) t->Release();
        ASSERT_EQ(device->CreateTexture(c.width, c.height, c.levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &t, nullptr),
                  D3D_OK);
        t->Release();
        EXPECT_EQ(LiveResourceCount(device), 0u);
        device->Release();
        d3d->Release();
    }
}

TEST_F(AdapterTest, CreateDeviceChecksItsParameters) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(32, 16, D3DFMT_D16);
    pp.BackBufferFormat = D3DFMT_UNKNOWN;  // the device takes the desktop's
    IDirect3DDevice9* device = nullptr;
    const HWND desktop = GetDesktopWindow();
    const DWORD hardware = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, desktop, hardware, nullptr, &device), D3DERR_INVALIDCALL);
    const DWORD both = hardware | D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, desktop, both, &pp, &device), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, desktop, D3DCREATE_PUREDEVICE, &pp, &device),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(1, D3DDEVTYPE_HAL, desktop, hardware, &pp, &device), D3DERR_INVALIDCALL);
    D3DPRESENT_PARAMETERS badDepth = pp;
    badDepth.AutoDepthStencilFormat = D3DFMT_A8R8G8B8;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, desktop, hardware, &badDepth, &device),
              D3DERR_NOTAVAILABLE);
    // A device needs a window: a windowed one may go without a focus window only when it names its device
    // window; a full-screen one always needs the focus window.
    struct WindowCase {
        HWND focus, deviceWindow;
        BOOL windowed;
        HRESULT expected;
    } windowCases[] = {
        {nullptr, nullptr, TRUE, D3DERR_INVALIDCALL}, {nullptr, desktop, TRUE, D3D_OK},
        {desktop, nullptr, TRUE, D3D_OK},             {nullptr, desktop, FALSE, D3DERR_INVALIDCALL},
    };
    for (const WindowCase& c : windowCases) {
        SCOPED_TRACE(testing::Message() << "focus " << c.focus << " device window " << c.deviceWindow
                                        << " windowed " << c.windowed);
        D3DPRESENT_PARAMETERS windowed = pp;
        windowed.hDeviceWindow = c.deviceWindow;
        windowed.Windowed = c.windowed;
        device = reinterpret_cast<IDirect3DDevice9*>(1);
        EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, c.focus, hardware, &windowed, &device), c.expected);
        if (FAILED(c.expected)) {
            EXPECT_EQ(device, nullptr);
        } else if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        device = nullptr;
    }
    // The engine's choice: a pure device; with the caps reporting no vertex shaders it asks for software
    // vertex processing, which this layer accepts together with the pure flag.
    const DWORD engine = D3DCREATE_PUREDEVICE | D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, desktop, engine, &pp, &device),
              D3D_OK);
    EXPECT_EQ(pp.BackBufferFormat, D3DFMT_X8R8G8B8);  // unknown became the desktop format
    D3DDEVICE_CREATION_PARAMETERS created;
    ASSERT_EQ(device->GetCreationParameters(&created), D3D_OK);
    EXPECT_EQ(created.BehaviorFlags, static_cast<DWORD>(D3DCREATE_PUREDEVICE | D3DCREATE_SOFTWARE_VERTEXPROCESSING));
    DWORD value = 0;
    EXPECT_EQ(device->GetRenderState(D3DRS_LIGHTING, &value), D3DERR_INVALIDCALL);  // pure devices keep no copy
    IDirect3D9* owner = nullptr;
    ASSERT_EQ(device->GetDirect3D(&owner), D3D_OK);
    EXPECT_EQ(owner, d3d);
    owner->Release();
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    // Frames shown on the desktop (an off-screen device) are not the program's: the runner does not count
    // them.
    const long desktopFrames = tarn::platform::PresentedFrames(desktop);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(tarn::platform::PresentedFrames(desktop), desktopFrames);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
}

using DefaultStateTest = DeviceTest;

// Calls the layer does not implement say so (E_NOTIMPL) once their arguments pass the checks the documentation
// names, which still answer D3DERR_INVALIDCALL; out-pointers come back null either way.
TEST_F(DefaultStateTest, UnimplementedCallsAnswerNotImplemented) {
    HDC dc = nullptr;
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    struct Case {
        const char* call;
        HRESULT answer, misused;  // with valid arguments, and with the argument the documentation checks
    } cases[] = {
        {"GetDC", back->GetDC(&dc), back->GetDC(nullptr)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        EXPECT_EQ(c.answer, E_NOTIMPL);
        EXPECT_EQ(c.misused, D3DERR_INVALIDCALL);
    }
    EXPECT_EQ(d3d->RegisterSoftwareDevice(nullptr), E_NOTIMPL);
    // A capability the adapter lacks is not a missing implementation.
    EXPECT_EQ(device->CreateQuery(D3DQUERYTYPE_VCACHE, nullptr), D3DERR_NOTAVAILABLE);
    back->Release();
}

// The device cursor: an A8R8G8B8 bitmap of powers of two, smaller than the display mode, becomes the window
// system's cursor with its pixels and hot spot while ShowCursor shows it; hidden, no cursor shows; the device's
// release gives the window back the cursor it had. Other bitmaps are refused.
TEST_F(DefaultStateTest, TheCursorBitmapBecomesTheWindowsCursor) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.CursorCaps, static_cast<DWORD>(D3DCURSORCAPS_COLOR | D3DCURSORCAPS_LOWRES));
    auto plain = [&](UINT width, UINT height, D3DFORMAT format) {
        IDirect3DSurface9* s = nullptr;
        EXPECT_EQ(device->CreateOffscreenPlainSurface(width, height, format, D3DPOOL_SCRATCH, &s, nullptr), D3D_OK);
        return s;
    };
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(device->GetDisplayMode(0, &mode), D3D_OK);
    struct Refused {
        UINT width, height;
        D3DFORMAT format;
    } refused[] = {{32, 32, D3DFMT_X8R8G8B8},
                   {24, 32, D3DFMT_A8R8G8B8},
                   {32, 48, D3DFMT_A8R8G8B8},
                   {std::bit_ceil(mode.Width), 32, D3DFMT_A8R8G8B8}};
    for (const Refused& r : refused) {
        SCOPED_TRACE(testing::Message() << r.width << " x " << r.height << " format " << r.format);
        IDirect3DSurface9* s = plain(r.width, r.height, r.format);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(device->SetCursorProperties(0, 0, s), D3DERR_INVALIDCALL);
        s->Release();
    }
    EXPECT_EQ(device->SetCursorProperties(0, 0, nullptr), D3DERR_INVALIDCALL);

    const HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    SetCursor(arrow);
    IDirect3DSurface9* bitmap = plain(16, 8, D3DFMT_A8R8G8B8);
    ASSERT_NE(bitmap, nullptr);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(bitmap->LockRect(&locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            static_cast<std::uint32_t*>(locked.pBits)[y * locked.Pitch / 4 + x] =
                x < y ? 0xff000000u | static_cast<std::uint32_t>(x * 16 + y) : 0u;
        }
    bitmap->UnlockRect();
    ASSERT_EQ(device->SetCursorProperties(3, 5, bitmap), D3D_OK);
    bitmap->Release();  // the device keeps a copy
    EXPECT_EQ(GetCursor(), arrow) << "the device cursor shows only once ShowCursor asks";
    EXPECT_EQ(device->ShowCursor(TRUE), FALSE);
    const HCURSOR shown = GetCursor();
    std::vector<std::uint32_t> argb;
    int width = 0, height = 0;
    POINT hot{};
    ASSERT_TRUE(tarn::platform::ImageCursorOf(shown, &argb, &width, &height, &hot));
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 8);
    EXPECT_EQ(hot.x, 3);
    EXPECT_EQ(hot.y, 5);
    ASSERT_EQ(argb.size(), 128u);
    EXPECT_EQ(argb[7 * 16 + 2], 0xff000000u | (2 * 16 + 7));
    EXPECT_EQ(argb[2 * 16 + 7], 0u);
    EXPECT_EQ(device->ShowCursor(FALSE), TRUE);
    EXPECT_EQ(GetCursor(), nullptr);
    EXPECT_EQ(device->ShowCursor(TRUE), FALSE);
    EXPECT_EQ(GetCursor(), shown);
    // Released, the device gives the window its arrow back and frees its cursor.
    device->Release();
    device = nullptr;
    EXPECT_EQ(GetCursor(), arrow);
    EXPECT_FALSE(tarn::platform::ImageCursorOf(shown, nullptr, nullptr, nullptr, nullptr));
}

// The device's small settings answer what was set: its cursor, the one texture palette, the N-patch segments, and
// the vertex-processing mode, which only a mixed-mode device switches.
TEST_F(DefaultStateTest, SmallSettingsAnswerWhatWasSet) {
    EXPECT_EQ(device->ShowCursor(TRUE), FALSE);
    EXPECT_EQ(device->ShowCursor(FALSE), TRUE);
    EXPECT_EQ(device->ShowCursor(FALSE), FALSE);
    EXPECT_EQ(device->SetCurrentTexturePalette(0), D3D_OK);
    EXPECT_EQ(device->SetCurrentTexturePalette(1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetNPatchMode(), 0.0f);
    ASSERT_EQ(device->SetNPatchMode(3.5f), D3D_OK);
    EXPECT_EQ(device->GetNPatchMode(), 3.5f);

    struct Case {
        DWORD behavior;
        BOOL initially;
        HRESULT toSoftware, toHardware;
    } cases[] = {
        {D3DCREATE_HARDWARE_VERTEXPROCESSING, FALSE, D3DERR_INVALIDCALL, D3D_OK},
        {D3DCREATE_SOFTWARE_VERTEXPROCESSING, TRUE, D3D_OK, D3DERR_INVALIDCALL},
        {D3DCREATE_MIXED_VERTEXPROCESSING, FALSE, D3D_OK, D3D_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behavior);
        IDirect3DDevice9* other = tarn::d3d9::test::CreateTestDevice(d3d, 16, 16, D3DFMT_UNKNOWN, c.behavior);
        ASSERT_NE(other, nullptr);
        EXPECT_EQ(other->GetSoftwareVertexProcessing(), c.initially);
        EXPECT_EQ(other->SetSoftwareVertexProcessing(TRUE), c.toSoftware);
        EXPECT_EQ(other->GetSoftwareVertexProcessing(), c.initially || c.toSoftware == D3D_OK);
        EXPECT_EQ(other->SetSoftwareVertexProcessing(FALSE), c.toHardware);
        other->Release();
    }
}

// The clip status reads back as last set (nothing computes one here), starting empty; a null pointer is misuse.
TEST_F(DefaultStateTest, ClipStatusReadsBackAsSet) {
    D3DCLIPSTATUS9 clip{0xDEAD, 0xBEEF};
    ASSERT_EQ(device->GetClipStatus(&clip), D3D_OK);
    EXPECT_EQ(clip.ClipUnion, 0u);
    EXPECT_EQ(clip.ClipIntersection, 0u);
    const D3DCLIPSTATUS9 set{D3DCS_LEFT | D3DCS_TOP, D3DCS_TOP};
    ASSERT_EQ(device->SetClipStatus(&set), D3D_OK);
    ASSERT_EQ(device->GetClipStatus(&clip), D3D_OK);
    EXPECT_EQ(clip.ClipUnion, static_cast<DWORD>(D3DCS_LEFT | D3DCS_TOP));
    EXPECT_EQ(clip.ClipIntersection, static_cast<DWORD>(D3DCS_TOP));
    EXPECT_EQ(device->SetClipStatus(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetClipStatus(nullptr), D3DERR_INVALIDCALL);
}

TEST_F(DefaultStateTest, StatesStartAtTheirDocumentedDefaults) {
    struct RenderState {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } renderStates[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE},        {D3DRS_FILLMODE, D3DFILL_SOLID},    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_ZWRITEENABLE, TRUE},         {D3DRS_SRCBLEND, D3DBLEND_ONE},     {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_CULLMODE, D3DCULL_CCW},      {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},    {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_ALPHABLENDENABLE, FALSE},    {D3DRS_FOGENABLE, FALSE},           {D3DRS_LIGHTING, TRUE},
        {D3DRS_TEXTUREFACTOR, 0xffffffff},  {D3DRS_COLORVERTEX, TRUE},          {D3DRS_LOCALVIEWER, TRUE},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1}, {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
        {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL}, {D3DRS_COLORWRITEENABLE, 0xf}, {D3DRS_FOGEND, 0x3f800000},
    };
    for (const RenderState& r : renderStates) {
        DWORD value = 0;
        ASSERT_EQ(device->GetRenderState(r.state, &value), D3D_OK);
        EXPECT_EQ(value, r.value) << "render state " << r.state;
    }
    struct StageState {
        DWORD stage;
        D3DTEXTURESTAGESTATETYPE type;
        DWORD value;
    } stageStates[] = {
        {0, D3DTSS_COLOROP, D3DTOP_MODULATE},  {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
        {1, D3DTSS_COLOROP, D3DTOP_DISABLE},   {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE},
        {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},  {0, D3DTSS_COLORARG2, D3DTA_CURRENT},
        {3, D3DTSS_TEXCOORDINDEX, 3},          {0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
    };
    for (const StageState& s : stageStates) {
        DWORD value = 0;
        ASSERT_EQ(device->GetTextureStageState(s.stage, s.type, &value), D3D_OK);
        EXPECT_EQ(value, s.value) << "stage " << s.stage << " state " << s.type;
    }
    struct Sampler {
        D3DSAMPLERSTATETYPE type;
        DWORD value;
    } samplerStates[] = {{D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP}, {D3DSAMP_MAGFILTER, D3DTEXF_POINT},
                         {D3DSAMP_MINFILTER, D3DTEXF_POINT},   {D3DSAMP_MIPFILTER, D3DTEXF_NONE}};
    for (const Sampler& s : samplerStates) {
        DWORD value = 0;
        ASSERT_EQ(device->GetSamplerState(0, s.type, &value), D3D_OK);
        EXPECT_EQ(value, s.value) << "sampler state " << s.type;
    }
    D3DVIEWPORT9 vp;
    ASSERT_EQ(device->GetViewport(&vp), D3D_OK);
    EXPECT_EQ(vp.Width, kSize);
    EXPECT_EQ(vp.MaxZ, 1.0f);
    // MultiplyTransform makes matrix x current: a scale applied to a translation scales the point first.
    D3DMATRIX translate{}, scale{}, product{};
    translate._11 = translate._22 = translate._33 = translate._44 = 1.0f;
    translate._41 = 5.0f;
    scale._11 = 2.0f, scale._22 = scale._33 = scale._44 = 1.0f;
    ASSERT_EQ(device->SetTransform(D3DTS_WORLD, &translate), D3D_OK);
    ASSERT_EQ(device->MultiplyTransform(D3DTS_WORLD, &scale), D3D_OK);
    ASSERT_EQ(device->GetTransform(D3DTS_WORLD, &product), D3D_OK);
    EXPECT_EQ(product._11, 2.0f);
    EXPECT_EQ(product._41, 5.0f);
    // Out-of-range indices are refused.
    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(5000), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_ADD), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(16, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(1), nullptr), D3DERR_INVALIDCALL);
    D3DLIGHT9 light{};
    EXPECT_EQ(device->SetLight(0, &light), D3DERR_INVALIDCALL);  // type 0
    for (DWORD i = 0; i < 8; ++i) ASSERT_EQ(device->LightEnable(i, TRUE), D3D_OK);
    EXPECT_EQ(device->LightEnable(8, TRUE), D3DERR_INVALIDCALL);  // at most eight at once
}

// What the capabilities report is what the device does: system-memory textures are refused by SetTexture
// and not reported; six user clip planes are kept and read back; depth bias and both kinds of table fog are
// there.
TEST_F(DefaultStateTest, CapabilitiesMatchWhatTheDeviceDoes) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.DevCaps & D3DDEVCAPS_TEXTURESYSTEMMEMORY, 0u);
    for (D3DPOOL pool : {D3DPOOL_SYSTEMMEM, D3DPOOL_SCRATCH}) {
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, pool, &t, nullptr), D3D_OK);
        EXPECT_EQ(device->SetTexture(0, t), D3DERR_INVALIDCALL) << "pool " << pool;
        t->Release();
    }

    ASSERT_EQ(caps.MaxUserClipPlanes, 6u);
    for (DWORD i = 0; i < caps.MaxUserClipPlanes; ++i) {
        const float plane[4] = {1.0f * i, 2.0f, -3.0f, 0.5f};
        ASSERT_EQ(device->SetClipPlane(i, plane), D3D_OK);
        float back[4] = {};
        ASSERT_EQ(device->GetClipPlane(i, back), D3D_OK);
        EXPECT_EQ(std::vector<float>(back, back + 4), std::vector<float>(plane, plane + 4)) << "plane " << i;
    }
    const float plane[4] = {};
    float back[4];
    EXPECT_EQ(device->SetClipPlane(caps.MaxUserClipPlanes, plane), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetClipPlane(caps.MaxUserClipPlanes, back), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetClipPlane(0, nullptr), D3DERR_INVALIDCALL);

    for (DWORD bit : {D3DPRASTERCAPS_DEPTHBIAS, D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS, D3DPRASTERCAPS_WFOG,
                      D3DPRASTERCAPS_ZFOG, D3DPRASTERCAPS_FOGTABLE, D3DPRASTERCAPS_SCISSORTEST}) {
        EXPECT_NE(caps.RasterCaps & bit, 0u) << std::hex << bit;
    }
}

}  // namespace
}  // namespace tarn::d3d9::test
