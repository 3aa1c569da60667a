// The device: its lifetime and leak tracking, the documented default state, queries, the scene brackets,
// clears, present and draws. Resource creation and copies are in DeviceResources.cpp, state setters in
// DeviceState.cpp; drawing itself is the backend's (Renderer.h), the null backend when nothing is drawn.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "D3D9Diagnostic.h"
#include "DeviceObject.h"
#include "FixedFunction.h"
#include "Renderer.h"
#include "SwapChain.h"
#include "platform/Bits.h"

namespace tarn::d3d9 {
namespace {

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

}  // namespace

UINT FvfStride(DWORD fvf) {
    UINT size = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ:
        size = 12;
        break;
    case D3DFVF_XYZRHW:
    case D3DFVF_XYZW:
        size = 16;
        break;
    case D3DFVF_XYZB1:
        size = 16;
        break;
    case D3DFVF_XYZB2:
        size = 20;
        break;
    case D3DFVF_XYZB3:
        size = 24;
        break;
    case D3DFVF_XYZB4:
        size = 28;
        break;
    case D3DFVF_XYZB5:
        size = 32;
        break;
    default:
        return 0;
    }
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & D3DFVF_PSIZE) size += 4;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    if (fvf & D3DFVF_SPECULAR) size += 4;
    const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > 8) return 0;
    for (UINT i = 0; i < texCount; ++i) {
        static const UINT kFloats[4] = {2, 3, 4, 1};  // indexed by D3DFVF_TEXTUREFORMATn
        size += 4 * kFloats[(fvf >> (16 + 2 * i)) & 3];
    }
    return size;
}

UINT VertexCountFor(D3DPRIMITIVETYPE type, UINT count) {
    switch (type) {
    case D3DPT_POINTLIST:
        return count;
    case D3DPT_LINELIST:
        return count * 2;
    case D3DPT_LINESTRIP:
        return count + 1;
    case D3DPT_TRIANGLELIST:
        return count * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return count + 2;
    default:
        return 0;
    }
}

Device::Device(Direct3D9* d3d, const D3DPRESENT_PARAMETERS& parameters, HWND focusWindow, DWORD behaviorFlags,
               D3DDEVTYPE type, BackendKind backend)
    : d3d_(d3d),
      lock_((behaviorFlags & D3DCREATE_MULTITHREADED) ? std::make_shared<DeviceLock>() : nullptr),
      parameters_(parameters),
      focusWindow_(focusWindow),
      behaviorFlags_(behaviorFlags),
      type_(type),
      backend_(backend),
      renderer_(CreateNullRenderer(this)) {
    d3d_->AddRef();
}

void Device::MakeImplicitSurfaces() {
    backBuffer_ = new Surface(this, nullptr, 0, parameters_.BackBufferWidth, parameters_.BackBufferHeight,
                              parameters_.BackBufferFormat, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET,
                              (parameters_.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0);
    backBuffer_->MarkDeviceOwned();
    const UINT samples = SampleCount(LimitsOf(backend_), parameters_.MultiSampleType, parameters_.MultiSampleQuality);
    backBuffer_->SetMultisample(parameters_.MultiSampleType, parameters_.MultiSampleQuality, samples);
    if (parameters_.EnableAutoDepthStencil) {
        autoDepth_ = new Surface(this, nullptr, 0, parameters_.BackBufferWidth, parameters_.BackBufferHeight,
                                 parameters_.AutoDepthStencilFormat, D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL, false);
        autoDepth_->MarkDeviceOwned();
        autoDepth_->SetMultisample(parameters_.MultiSampleType, parameters_.MultiSampleQuality, samples);
    }
    state_.renderTarget = backBuffer_;
    backBuffer_->AddRef();
    state_.depthStencil = autoDepth_;
    if (autoDepth_) autoDepth_->AddRef();
}

bool Device::Initialize(std::string* error) {
    // Made on one thread and then called from any: the context made here is let go at the end, like any call's.
    const DeviceGuard guard(lock_);
    PlaceWindow();
    MakeImplicitSurfaces();
    SetDefaultState();
    NoteWindowSize();
    implicitChain_ = new SwapChain(this, parameters_, true);
    if (backend_ == BackendKind::Gl) {
        std::unique_ptr<Renderer> gl = CreateGlRenderer(this, DeviceWindow(), error);
        if (!gl) return false;
        renderer_ = std::move(gl);
    }
    if (lock_) lock_->renderer = renderer_.get();
    return true;
}

void Device::DropStateReferences() {
    for (SamplerBinding& bound : state_.bound) {
        if (bound.object) bound.object->Release();
        bound = SamplerBinding{};
    }
    for (StreamBinding& stream : state_.streams) {
        if (stream.buffer) stream.buffer->Release();
        stream.buffer = nullptr;
    }
    if (state_.declaration) state_.declaration->Release();
    state_.declaration = nullptr;
    if (state_.indices) state_.indices->Release();
    if (state_.renderTarget) state_.renderTarget->Release();
    for (Surface*& target : state_.moreTargets) {
        if (target) target->Release();
        target = nullptr;
    }
    if (state_.depthStencil) state_.depthStencil->Release();
    state_.indices = nullptr;
    state_.renderTarget = state_.depthStencil = nullptr;
}

Device::~Device() {
    // Drop the device's own references first; whatever is still alive afterwards was leaked by the caller.
    recording_.reset();
    DropStateReferences();
    const std::size_t leaks = LiveCount();
    if (leaks) {
        Diagnostic("device destroyed with %zu resource%s still alive:\n%s", leaks, leaks == 1 ? "" : "s",
                   DescribeLive().c_str());
    }
    if (implicitChain_) implicitChain_->DestroyWithDevice();
    if (backBuffer_) {
        backBuffer_->Release();
    }
    if (autoDepth_) {
        autoDepth_->Release();
    }
    // Leaked objects outlive the device: they must no longer reach it.
    for (ResourceCore* r : live_) r->Orphan();
    live_.clear();
    for (Orphanable* child : orphanables_) child->Orphan();
    orphanables_.clear();
    if (lock_) lock_->renderer = nullptr;  // the call that ends the device has no context left to let go
    renderer_.reset();
    ReleaseCursor();
    if (windowMoved_ && IsWindow(DeviceWindow())) {
        const RECT& r = windowedRect_;
        SetWindowPos(DeviceWindow(), HWND_NOTOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE);
    }
    d3d_->Release();
}

HRESULT Device::QueryInterface(REFIID riid, void** object) {
    const DeviceGuard guard(lock_);
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDirect3DDevice9)) {
        *object = static_cast<IDirect3DDevice9*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Device::Release() {
    const DeviceGuard guard(lock_);
    if (refs_ == 0) return 0;
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

void DeviceGuard::Leave() {
    if (--lock_->depth == 0 && lock_->renderer) lock_->renderer->ReleaseContext();
    lock_->mutex.unlock();
}

void Device::Track(ResourceCore* resource) { live_.push_back(resource); }

void Device::Untrack(ResourceCore* resource) {
    auto it = std::find(live_.begin(), live_.end(), resource);
    if (it != live_.end()) {
        *it = live_.back();
        live_.pop_back();
    }
}

void Device::TrackObject(const IUnknown* object, const char* kind) { liveObjects_.push_back({object, kind}); }

void Device::UntrackObject(const IUnknown* object) {
    auto it = std::find_if(liveObjects_.begin(), liveObjects_.end(),
                           [&](const LiveObject& live) { return live.object == object; });
    if (it != liveObjects_.end()) {
        *it = liveObjects_.back();
        liveObjects_.pop_back();
    }
}

void Device::UntrackOrphanable(Orphanable* child) {
    auto it = std::find(orphanables_.begin(), orphanables_.end(), child);
    if (it != orphanables_.end()) {
        *it = orphanables_.back();
        orphanables_.pop_back();
    }
}

void Device::ResourceDying(ResourceCore* resource) {
    renderer_->Forget(resource);
    Untrack(resource);
}

// The device's own surfaces count only while someone else still holds them.
bool Device::HeldOnlyByDevice(const ResourceCore* r) const {
    const auto* s = dynamic_cast<const Surface*>(r);
    if (!s || !s->deviceOwned()) return false;
    ULONG internal = 1 + (state_.renderTarget == s ? 1 : 0) + (state_.depthStencil == s ? 1 : 0);
    for (const Surface* target : state_.moreTargets) internal += target == s ? 1 : 0;
    return s->refs() <= internal;
}

std::size_t Device::LiveCount() const {
    std::size_t count = liveObjects_.size();
    for (const ResourceCore* r : live_) {
        if (!HeldOnlyByDevice(r)) ++count;
    }
    return count;
}

std::string Device::DescribeLive() const {
    std::string text;
    for (const ResourceCore* r : live_) {
        if (!HeldOnlyByDevice(r)) text += "  " + r->Describe() + "\n";
    }
    for (const LiveObject& live : liveObjects_) text += std::string("  ") + live.kind + "\n";
    return text;
}

void Device::ReadBack(Surface* surface) { renderer_->ReadBack(surface); }

void Device::SetDefaultState() {
    auto& rs = state_.rs;
    rs.fill(0);
    rs[D3DRS_ZENABLE] = parameters_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_FOGSTART] = FloatBits(0.0f);
    rs[D3DRS_FOGEND] = FloatBits(1.0f);
    rs[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    rs[D3DRS_STENCILFAIL] = rs[D3DRS_STENCILZFAIL] = rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILMASK] = rs[D3DRS_STENCILWRITEMASK] = 0xffffffff;
    rs[D3DRS_TEXTUREFACTOR] = 0xffffffff;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_POINTSIZE] = FloatBits(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = FloatBits(1.0f);
    rs[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_MULTISAMPLEMASK] = 0xffffffff;
    rs[D3DRS_POINTSIZE_MAX] = FloatBits(64.0f);
    rs[D3DRS_COLORWRITEENABLE] = rs[D3DRS_COLORWRITEENABLE1] = rs[D3DRS_COLORWRITEENABLE2] =
        rs[D3DRS_COLORWRITEENABLE3] = 0xf;
    rs[D3DRS_BLENDOP] = rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;
    rs[D3DRS_POSITIONDEGREE] = 3;  // cubic
    rs[D3DRS_NORMALDEGREE] = 1;    // linear
    rs[D3DRS_MINTESSELLATIONLEVEL] = rs[D3DRS_MAXTESSELLATIONLEVEL] = FloatBits(1.0f);
    rs[D3DRS_ADAPTIVETESS_Z] = FloatBits(1.0f);
    rs[D3DRS_CCW_STENCILFAIL] = rs[D3DRS_CCW_STENCILZFAIL] = rs[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_BLENDFACTOR] = 0xffffffff;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;

    for (int s = 0; s < kStages; ++s) {
        auto& t = state_.tss[static_cast<std::size_t>(s)];
        t.fill(0);
        t[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = static_cast<DWORD>(s);
        t[D3DTSS_COLORARG0] = t[D3DTSS_ALPHAARG0] = t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        state_.texture[static_cast<std::size_t>(s)] = Identity();
    }
    for (auto& sampler : state_.samp) {
        sampler.fill(0);
        sampler[D3DSAMP_ADDRESSU] = sampler[D3DSAMP_ADDRESSV] = sampler[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        sampler[D3DSAMP_MAGFILTER] = sampler[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        sampler[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        sampler[D3DSAMP_MAXANISOTROPY] = 1;
    }
    state_.world = state_.view = state_.projection = Identity();
    state_.material = D3DMATERIAL9{};
    ResetViewportToTarget();
    state_.scissor = FullRect(state_.renderTarget);
    for (std::size_t i = 0; i < state_.palette.size(); ++i) state_.palette[i] = PALETTEENTRY{0, 0, 0, 0xff};
    state_.dirty = kDirtyAll;
}

void Device::ResetViewportToTarget() {
    state_.viewport = D3DVIEWPORT9{0, 0, state_.renderTarget->width(), state_.renderTarget->height(), 0.0f, 1.0f};
    state_.dirty |= kDirtyViewport;
}

// ---- Queries ----

HRESULT Device::GetDirect3D(IDirect3D9** d3d) {
    const DeviceGuard guard(lock_);
    if (!d3d) return D3DERR_INVALIDCALL;
    d3d_->AddRef();
    *d3d = d3d_;
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
    const DeviceGuard guard(lock_);
    if (!caps) return D3DERR_INVALIDCALL;
    d3d_->FillCaps(caps);
    return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) {
    const DeviceGuard guard(lock_);
    if (!parameters) return D3DERR_INVALIDCALL;
    *parameters = D3DDEVICE_CREATION_PARAMETERS{0, type_, focusWindow_, behaviorFlags_};
    return D3D_OK;
}

// ---- Reset and the lost-device protocol ----
//
// A device is lost when it cannot show what it draws: while its window is minimised, and, full screen, while its
// focus window is not the foreground window. It stays lost until Reset succeeds, even once the cause has passed:
// while the cause lasts, TestCooperativeLevel, Present and Reset answer D3DERR_DEVICELOST; afterwards
// TestCooperativeLevel answers D3DERR_DEVICENOTRESET, and Reset can bring the device back. While lost, Clear and
// the draws succeed and do nothing, and Present shows nothing.
//
// A windowed device whose window's client area changes size is also treated as lost (and at once resettable):
// the back buffer no longer matches the window, and Present would stretch it. Programs written for the protocol
// then take their usual path when they next test the device (release the default pool, Reset with the new size
// or a zero size for the client area, create it again), and a program that resets from its WM_SIZE handler
// never sees the device lost at all, since Reset records the new size. Sizing the window to what it was before
// Reset does not bring the device back: lost stays lost until Reset.

void Device::NoteWindowSize() {
    windowClient_ = RECT{};
    GetClientRect(DeviceWindow(), &windowClient_);
}

void Device::PlaceWindow() {
    HWND window = DeviceWindow();
    if (window == GetDesktopWindow() || !IsWindow(window)) return;
    if (parameters_.Windowed) {
        if (!windowMoved_) return;
        windowMoved_ = false;
        const RECT& r = windowedRect_;
        SetWindowPos(window, HWND_NOTOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top, 0);
        return;
    }
    // Full screen: the client area covers the whole display, the frame lies outside it, and the window is in
    // front of every other one.
    RECT frame{}, client{};
    GetWindowRect(window, &frame);
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    if (!windowMoved_) windowedRect_ = frame;
    windowMoved_ = true;
    const LONG left = origin.x - frame.left, top = origin.y - frame.top;
    const LONG right = frame.right - origin.x - client.right, bottom = frame.bottom - origin.y - client.bottom;
    const D3DDISPLAYMODE display = Direct3D9::DesktopMode();
    SetWindowPos(window, HWND_TOPMOST, -left, -top, static_cast<int>(display.Width) + left + right,
                 static_cast<int>(display.Height) + top + bottom, SWP_SHOWWINDOW);
    ShowWindow(window, SW_SHOW);  // and the foreground window
}

HRESULT Device::CooperativeLevel() {
    HWND window = DeviceWindow();
    if (window != GetDesktopWindow()) {
        HWND focus = focusWindow_ ? focusWindow_ : window;
        const bool away = IsIconic(window) || (!parameters_.Windowed && GetForegroundWindow() != focus);
        if (away || !IsWindow(window)) {
            lost_ = true;
            return D3DERR_DEVICELOST;
        }
        if (parameters_.Windowed && !lost_) {
            RECT client{};
            GetClientRect(window, &client);
            if (client.right != windowClient_.right || client.bottom != windowClient_.bottom) lost_ = true;
        }
    }
    return lost_ ? D3DERR_DEVICENOTRESET : D3D_OK;
}

HRESULT Device::TestCooperativeLevel() {
    const DeviceGuard guard(lock_);
    return CooperativeLevel();
}

ULONG Device::StateReferencesTo(const ResourceCore* r) const {
    ULONG count = 0;
    for (const SamplerBinding& bound : state_.bound) count += bound.resource == r ? 1 : 0;
    for (const StreamBinding& stream : state_.streams)
        count += static_cast<const ResourceCore*>(stream.buffer) == r ? 1 : 0;
    if (static_cast<const ResourceCore*>(state_.indices) == r) ++count;
    for (const Surface* target : {state_.renderTarget, state_.moreTargets[0], state_.moreTargets[1],
                                  state_.moreTargets[2], state_.depthStencil}) {
        if (!target) continue;
        if (target == r || static_cast<const ResourceCore*>(target->container()) == r ||
            static_cast<const ResourceCore*>(target->cube()) == r) {
            ++count;
        }
    }
    return count;
}

bool Device::CallerHoldsDefaultPool() const {
    for (const ResourceCore* r : live_) {
        if (r->pool() != D3DPOOL_DEFAULT) continue;
        const auto* s = dynamic_cast<const Surface*>(r);
        const ULONG own = s && s->deviceOwned() ? 1 : 0;
        if (r->ownReferences() > StateReferencesTo(r) + own) return true;
    }
    return false;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* parameters) {
    const DeviceGuard guard(lock_);
    if (!parameters || resetting_) return D3DERR_INVALIDCALL;
    if (CooperativeLevel() == D3DERR_DEVICELOST) return D3DERR_DEVICELOST;
    // Every default-pool resource of the caller's must be gone first, the implicit back buffer and depth buffer
    // included when the caller still holds a reference to them.
    if (CallerHoldsDefaultPool() || !additionalChains_.empty()) {
        Diagnostic("Reset: default-pool resources or additional swap chains are still alive");
        return D3DERR_INVALIDCALL;
    }
    D3DPRESENT_PARAMETERS p = *parameters;
    if (FAILED(d3d_->CompletePresentParameters(focusWindow_, &p))) {
        lost_ = true;  // a failed Reset leaves the device lost, to be reset again
        return D3DERR_INVALIDCALL;
    }
    *parameters = p;
    resetting_ = true;
    recording_.reset();
    inScene_ = false;
    DropStateReferences();
    // Nobody else holds them now: they go, and the renderer forgets their images.
    backBuffer_->Release();
    backBuffer_ = nullptr;
    if (autoDepth_) autoDepth_->Release();
    autoDepth_ = nullptr;
    implicitChain_->DropFront();
    parameters_ = p;
    state_ = DeviceState{};
    PlaceWindow();
    MakeImplicitSurfaces();
    SetDefaultState();
    NoteWindowSize();
    renderer_->Reset();
    lost_ = false;
    resetting_ = false;
    return D3D_OK;
}

// ---- Frame ----

// The depth buffer drawn with a render target must have its multisample type.
bool Device::TargetsMatch() const {
    const Surface* depth = state_.depthStencil;
    return !depth || depth->samples() == state_.renderTarget->samples();
}

HRESULT Device::BeginScene() {
    const DeviceGuard guard(lock_);
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    const DeviceGuard guard(lock_);
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    const DeviceGuard guard(lock_);
    if (count != 0 && rects == nullptr) return D3DERR_INVALIDCALL;
    if (flags == 0 || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))) return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !state_.depthStencil) return D3DERR_INVALIDCALL;
    if (flags & D3DCLEAR_STENCIL) {
        const D3DFORMAT f = state_.depthStencil->format();
        if (f != D3DFMT_D24S8 && f != D3DFMT_D15S1 && f != D3DFMT_D24X4S4 && f != D3DFMT_D24FS8) {
            return D3DERR_INVALIDCALL;  // no stencil bits to clear
        }
    }
    if ((flags & D3DCLEAR_ZBUFFER) && (z < 0.0f || z > 1.0f)) return D3DERR_INVALIDCALL;
    if (!TargetsMatch()) return D3DERR_INVALIDCALL;
    if (lost_) return D3D_OK;
    renderer_->Clear(count, rects, flags, color, z, stencil, TakeChanged());
    return D3D_OK;
}

HRESULT Device::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride, const RGNDATA*) {
    const DeviceGuard guard(lock_);
    return PresentChain(implicitChain_, sourceRect, destRect, destWindowOverride);
}

HRESULT Device::PresentChain(SwapChain* chain, const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride) {
    if (inScene_) return D3DERR_INVALIDCALL;
    // Rectangles belong to the copy swap effect; the others present the whole back buffer.
    if ((sourceRect || destRect) && chain->parameters().SwapEffect != D3DSWAPEFFECT_COPY) return D3DERR_INVALIDCALL;
    if (CooperativeLevel() != D3D_OK) return D3DERR_DEVICELOST;
    HWND window = destWindowOverride ? destWindowOverride : chain->window();
    // Frames shown on the desktop window (off-screen devices) are not the program's frames: the runner
    // neither counts them nor closes anything after them.
    if (window == GetDesktopWindow()) window = nullptr;
    Surface* back = chain->backBuffer();
    // The front buffer keeps what was presented, for GetFrontBufferData, whatever is drawn afterwards.
    Surface* front = chain->front();
    const RECT whole = FullRect(back);
    if (!renderer_->Blit(back, whole, front, whole, false)) {
        back->SyncToMemory();
        std::memcpy(front->bits(), back->bits(), LevelBytes(back->layout(), back->width(), back->height()));
        front->fresh = Fresh::MemoryNewer;
    }
    PresentFrame frame{};
    frame.back = back;
    frame.window = window;
    frame.sourceRect = sourceRect;
    frame.destRect = destRect;
    frame.gamma = chain->parameters().Windowed ? nullptr : &chain->gamma();
    renderer_->Present(frame);
    return D3D_OK;
}

// The front buffer is the display's picture: the size of the display mode, in A8R8G8B8. A full-screen chain fills
// it; a windowed chain's frame lies at its window's client area, and the rest of the desktop, which belongs to
// other programs, reads as opaque black.
HRESULT Device::FrontBufferData(SwapChain* chain, IDirect3DSurface9* destination) {
    Surface* dst = OwnSurface(destination, this);
    if (!dst || dst->format() != D3DFMT_A8R8G8B8 || dst->inTexture() || dst->locked()) return D3DERR_INVALIDCALL;
    if (dst->pool() != D3DPOOL_SYSTEMMEM && dst->pool() != D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    const D3DDISPLAYMODE mode = DisplayModeOf(chain->parameters());
    if (dst->width() != mode.Width || dst->height() != mode.Height) return D3DERR_INVALIDCALL;
    if (CooperativeLevel() == D3DERR_DEVICELOST) return D3DERR_DEVICELOST;
    POINT origin{0, 0};
    if (chain->parameters().Windowed) ClientToScreen(chain->window(), &origin);
    Surface* front = chain->front();
    front->SyncToMemory();
    for (UINT y = 0; y < dst->height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(dst->bits() + static_cast<std::size_t>(y) * dst->pitch());
        std::fill(row, row + dst->width(), 0xff000000u);
    }
    std::vector<float> pixels(static_cast<std::size_t>(front->width()) * 4);
    std::vector<std::uint8_t> encoded(static_cast<std::size_t>(front->width()) * 4);
    for (UINT y = 0; y < front->height(); ++y) {
        const LONG dy = origin.y + static_cast<LONG>(y);
        if (dy < 0 || dy >= static_cast<LONG>(dst->height())) continue;
        DecodeRow(front->format(), front->bits() + static_cast<std::size_t>(y) * front->pitch(), front->width(),
                  pixels.data());
        // What the display shows is opaque, whatever alpha the back buffer keeps.
        for (UINT x = 0; x < front->width(); ++x) pixels[static_cast<std::size_t>(x) * 4 + 3] = 1.0f;
        EncodeRow(D3DFMT_A8R8G8B8, pixels.data(), front->width(), encoded.data());
        for (UINT x = 0; x < front->width(); ++x) {
            const LONG dx = origin.x + static_cast<LONG>(x);
            if (dx < 0 || dx >= static_cast<LONG>(dst->width())) continue;
            std::memcpy(dst->bits() + static_cast<std::size_t>(dy) * dst->pitch() + static_cast<std::size_t>(dx) * 4,
                        &encoded[static_cast<std::size_t>(x) * 4], 4);
        }
    }
    dst->MemoryChanged();
    return D3D_OK;
}

D3DDISPLAYMODE DisplayModeOf(const D3DPRESENT_PARAMETERS& p) {
    if (p.Windowed) return Direct3D9::DesktopMode();
    return D3DDISPLAYMODE{p.BackBufferWidth, p.BackBufferHeight,
                          p.FullScreen_RefreshRateInHz ? p.FullScreen_RefreshRateInHz : 60,
                          DisplayFormatOf(p.BackBufferFormat)};
}

// ---- Draws ----

HRESULT Device::Draw(D3DPRIMITIVETYPE type, UINT count, bool indexed, INT baseVertex, UINT minIndex, UINT numVertices,
                     UINT startIndex, const void* upVertices, UINT upStride, const void* upIndices,
                     D3DFORMAT upIndexFormat, UINT startVertex) {
    if (!inScene_) return D3DERR_INVALIDCALL;
    // At most MaxPrimitiveCount primitives (which also keeps the vertex count from wrapping).
    if (count == 0 || count > 0xfffff) return D3DERR_INVALIDCALL;
    const UINT vertices = VertexCountFor(type, count);
    if (vertices == 0) return D3DERR_INVALIDCALL;
    // The vertex input: a declaration, or a format whose vertices take at least its size in stream 0.
    const VertexLayout& layout = state_.layout;
    if (!layout.Has(kInputPosition)) return D3DERR_INVALIDCALL;
    const UINT fvfStride = state_.declaration ? 0 : FvfStride(state_.fvf);
    if (!state_.declaration && fvfStride == 0) return D3DERR_INVALIDCALL;
    DrawCall call{};
    call.type = type;
    call.primitiveCount = count;
    call.vertexCount = vertices;
    call.indexed = indexed;
    call.baseVertex = baseVertex;
    call.startIndex = startIndex;
    call.startVertex = startVertex;
    if (upVertices) {
        // User-pointer draws feed stream 0 only.
        if (layout.streams & ~1u) return D3DERR_INVALIDCALL;
        if (upStride == 0 || upStride < fvfStride || upStride < layout.extent[0]) return D3DERR_INVALIDCALL;
        const std::uint64_t used = indexed ? static_cast<std::uint64_t>(minIndex) + numVertices : vertices;
        if (used * upStride > kMaxResourceBytes) return D3DERR_INVALIDCALL;
        call.upVertices = upVertices;
        call.upStride = upStride;
        call.upVertexBytes = static_cast<UINT>(used * upStride);
        if (indexed) {
            if (!upIndices || (upIndexFormat != D3DFMT_INDEX16 && upIndexFormat != D3DFMT_INDEX32)) {
                return D3DERR_INVALIDCALL;
            }
            call.upIndices = upIndices;
            call.upIndex32 = upIndexFormat == D3DFMT_INDEX32;
        }
    } else {
        // The vertices read: first .. first + used - 1 of every stream the layout reads.
        std::int64_t first = startVertex;
        std::uint64_t used = vertices;
        if (indexed) {
            IndexBuffer* ib = state_.indices;
            if (!ib) return D3DERR_INVALIDCALL;
            const UINT indexSize = ib->format() == D3DFMT_INDEX32 ? 4 : 2;
            if ((static_cast<std::uint64_t>(startIndex) + vertices) * indexSize > ib->length()) {
                return D3DERR_INVALIDCALL;
            }
            first = static_cast<std::int64_t>(baseVertex) + minIndex;
            used = numVertices;
            if (first < 0) return D3DERR_INVALIDCALL;
        }
        for (std::uint32_t streams = layout.streams; streams; streams &= streams - 1) {
            const auto s = static_cast<std::size_t>(std::countr_zero(streams));
            const StreamBinding& stream = state_.streams[s];
            if (!stream.buffer || stream.stride < fvfStride) return D3DERR_INVALIDCALL;
            if (used == 0) continue;
            const std::uint64_t end =
                stream.offset + (static_cast<std::uint64_t>(first) + used - 1) * stream.stride + layout.extent[s];
            if (end > stream.buffer->length()) return D3DERR_INVALIDCALL;
        }
    }
    if (!TargetsMatch()) return D3DERR_INVALIDCALL;
    if (!lost_) renderer_->Draw(call, TakeChanged());
    return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) {
    const DeviceGuard guard(lock_);
    return Draw(type, count, false, 0, 0, 0, 0, nullptr, 0, nullptr, D3DFMT_UNKNOWN, startVertex);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT count) {
    const DeviceGuard guard(lock_);
    return Draw(type, count, true, baseVertex, minIndex, numVertices, startIndex, nullptr, 0, nullptr,
                D3DFMT_UNKNOWN, 0);
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) {
    const DeviceGuard guard(lock_);
    if (!data) return D3DERR_INVALIDCALL;
    const HRESULT hr = Draw(type, count, false, 0, 0, 0, 0, data, stride, nullptr, D3DFMT_UNKNOWN, 0);
    // A user-pointer draw leaves stream 0 and the indices unset.
    if (SUCCEEDED(hr)) {
        SetStreamSource(0, nullptr, 0, 0);
    }
    return hr;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT count,
                                       const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                       UINT stride) {
    const DeviceGuard guard(lock_);
    if (!vertexData || !indexData) return D3DERR_INVALIDCALL;
    const HRESULT hr =
        Draw(type, count, true, 0, minIndex, numVertices, 0, vertexData, stride, indexData, indexFormat, 0);
    if (SUCCEEDED(hr)) {
        SetStreamSource(0, nullptr, 0, 0);
        SetIndices(nullptr);
    }
    return hr;
}

}  // namespace tarn::d3d9
