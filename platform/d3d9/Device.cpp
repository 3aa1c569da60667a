// The device: state with the documented defaults, resource creation and the pool rules, copies between
// resources, render targets, scene brackets and draws. Drawing itself is the renderer's (GlRenderer); with the
// null backend the device keeps all state and resources but draws nothing.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/Runner.h"
#include "platform/d3d9/FixedFunction.h"
#include "platform/d3d9/GlRenderer.h"
#include "platform/d3d9/Internal.h"

namespace tarn::d3d9 {
namespace {

DWORD FloatBits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

bool IsPow2(UINT v) { return v && !(v & (v - 1)); }

UINT FullChain(UINT width, UINT height) {
    UINT levels = 1;
    UINT size = std::max(width, height);
    while (size > 1) {
        size >>= 1;
        ++levels;
    }
    return levels;
}

// Which dirty group a render state belongs to.
std::uint32_t DirtyForRenderState(DWORD state) {
    switch (state) {
    case D3DRS_ZENABLE:
    case D3DRS_ZWRITEENABLE:
    case D3DRS_ZFUNC:
    case D3DRS_STENCILENABLE:
    case D3DRS_STENCILFAIL:
    case D3DRS_STENCILZFAIL:
    case D3DRS_STENCILPASS:
    case D3DRS_STENCILFUNC:
    case D3DRS_STENCILREF:
    case D3DRS_STENCILMASK:
    case D3DRS_STENCILWRITEMASK:
    case D3DRS_DEPTHBIAS:
    case D3DRS_SLOPESCALEDEPTHBIAS:
        return kDirtyDepth;
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
    case D3DRS_ALPHABLENDENABLE:
    case D3DRS_BLENDOP:
    case D3DRS_BLENDFACTOR:
    case D3DRS_SEPARATEALPHABLENDENABLE:
    case D3DRS_SRCBLENDALPHA:
    case D3DRS_DESTBLENDALPHA:
    case D3DRS_BLENDOPALPHA:
        return kDirtyBlend;
    case D3DRS_CULLMODE:
    case D3DRS_FILLMODE:
    case D3DRS_COLORWRITEENABLE:
    case D3DRS_SCISSORTESTENABLE:
        return kDirtyRaster;
    case D3DRS_SHADEMODE:
    case D3DRS_ALPHATESTENABLE:
    case D3DRS_ALPHAFUNC:
    case D3DRS_FOGENABLE:
    case D3DRS_FOGTABLEMODE:
    case D3DRS_FOGVERTEXMODE:
    case D3DRS_RANGEFOGENABLE:
    case D3DRS_SPECULARENABLE:
    case D3DRS_LIGHTING:
    case D3DRS_COLORVERTEX:
    case D3DRS_LOCALVIEWER:
    case D3DRS_NORMALIZENORMALS:
    case D3DRS_DIFFUSEMATERIALSOURCE:
    case D3DRS_SPECULARMATERIALSOURCE:
    case D3DRS_AMBIENTMATERIALSOURCE:
    case D3DRS_EMISSIVEMATERIALSOURCE:
    case D3DRS_CLIPPLANEENABLE:
        return kDirtyProgram | kDirtyConstants;
    case D3DRS_ALPHAREF:
    case D3DRS_FOGCOLOR:
    case D3DRS_FOGSTART:
    case D3DRS_FOGEND:
    case D3DRS_FOGDENSITY:
    case D3DRS_TEXTUREFACTOR:
    case D3DRS_AMBIENT:
        return kDirtyConstants;
    default:
        return 0;
    }
}

// The layer's own object behind an interface pointer, or null for a foreign object or one of another device.
Texture* OwnTexture(IDirect3DBaseTexture9* texture, const Device* device) {
    auto* t = texture ? dynamic_cast<Texture*>(texture) : nullptr;
    return t && t->device() == device ? t : nullptr;
}

Surface* OwnSurface(IDirect3DSurface9* surface, const Device* device) {
    auto* s = surface ? dynamic_cast<Surface*>(surface) : nullptr;
    return s && s->device() == device ? s : nullptr;
}

// Resources larger than this are refused with E_OUTOFMEMORY rather than attempted.
constexpr std::uint64_t kMaxResourceBytes = std::uint64_t{1} << 30;

RECT FullRect(const Surface* s) { return RECT{0, 0, static_cast<LONG>(s->width()), static_cast<LONG>(s->height())}; }

bool InsideSurface(const RECT& r, const Surface* s) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
           static_cast<UINT>(r.right) <= s->width() && static_cast<UINT>(r.bottom) <= s->height();
}

// Copies a block-aligned rectangle of memory between two surfaces of the same format.
void CopyRect(const Surface* src, const RECT& r, Surface* dst, LONG dx, LONG dy) {
    const FormatLayout& layout = src->layout();
    const UINT rows = BlockRows(layout, static_cast<UINT>(r.bottom - r.top));
    const UINT rowBytes =
        (static_cast<UINT>(r.right - r.left) + layout.blockWidth - 1) / layout.blockWidth * layout.bytesPerBlock;
    for (UINT row = 0; row < rows; ++row) {
        const std::uint8_t* from = src->bits() + (static_cast<std::size_t>(r.top / layout.blockHeight) + row) *
                                                     src->pitch() +
                                   static_cast<std::size_t>(r.left / layout.blockWidth) * layout.bytesPerBlock;
        std::uint8_t* to = dst->bits() + (static_cast<std::size_t>(dy / layout.blockHeight) + row) * dst->pitch() +
                           static_cast<std::size_t>(dx / layout.blockWidth) * layout.bytesPerBlock;
        std::memcpy(to, from, rowBytes);
    }
}

// Scaled copy through the reference codec (point or bilinear filter); both formats must decode/encode.
void ConvertRect(const Surface* src, const RECT& sr, Surface* dst, const RECT& dr, bool linear,
                 const PALETTEENTRY* palette) {
    const UINT sw = static_cast<UINT>(sr.right - sr.left), sh = static_cast<UINT>(sr.bottom - sr.top);
    const UINT dw = static_cast<UINT>(dr.right - dr.left), dh = static_cast<UINT>(dr.bottom - dr.top);
    std::vector<float> source(static_cast<std::size_t>(sw) * sh * 4);
    std::vector<float> rowBuffer(static_cast<std::size_t>(src->width()) * 4);
    for (UINT y = 0; y < sh; ++y) {
        DecodeRow(src->format(), src->bits() + static_cast<std::size_t>(sr.top + y) * src->pitch(), src->width(),
                  rowBuffer.data(), palette);
        std::memcpy(&source[static_cast<std::size_t>(y) * sw * 4], &rowBuffer[static_cast<std::size_t>(sr.left) * 4],
                    sizeof(float) * 4 * sw);
    }
    std::vector<float> out(static_cast<std::size_t>(dst->width()) * 4);
    for (UINT y = 0; y < dh; ++y) {
        std::uint8_t* row = dst->bits() + static_cast<std::size_t>(dr.top + y) * dst->pitch();
        DecodeRow(dst->format(), row, dst->width(), out.data(), palette);
        for (UINT x = 0; x < dw; ++x) {
            float* o = &out[(static_cast<std::size_t>(dr.left) + x) * 4];
            const float fx = (x + 0.5f) * sw / dw - 0.5f, fy = (y + 0.5f) * sh / dh - 0.5f;
            if (!linear) {
                const UINT px = std::min(sw - 1, static_cast<UINT>(std::max(0.0f, std::floor(fx + 0.5f))));
                const UINT py = std::min(sh - 1, static_cast<UINT>(std::max(0.0f, std::floor(fy + 0.5f))));
                std::memcpy(o, &source[(static_cast<std::size_t>(py) * sw + px) * 4], sizeof(float) * 4);
                continue;
            }
            const float cx = std::clamp(fx, 0.0f, static_cast<float>(sw - 1));
            const float cy = std::clamp(fy, 0.0f, static_cast<float>(sh - 1));
            const UINT x0 = static_cast<UINT>(cx), y0 = static_cast<UINT>(cy);
            const UINT x1 = std::min(x0 + 1, sw - 1), y1 = std::min(y0 + 1, sh - 1);
            const float ax = cx - x0, ay = cy - y0;
            for (int c = 0; c < 4; ++c) {
                auto at = [&](UINT xx, UINT yy) { return source[(static_cast<std::size_t>(yy) * sw + xx) * 4 + c]; };
                o[c] = (at(x0, y0) * (1 - ax) + at(x1, y0) * ax) * (1 - ay) +
                       (at(x0, y1) * (1 - ax) + at(x1, y1) * ax) * ay;
            }
        }
        EncodeRow(dst->format(), out.data(), dst->width(), row);
    }
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
      parameters_(parameters),
      focusWindow_(focusWindow),
      behaviorFlags_(behaviorFlags),
      type_(type),
      backend_(backend) {
    d3d_->AddRef();
}

bool Device::Initialize(std::string* error) {
    backBuffer_ = new Surface(this, nullptr, 0, parameters_.BackBufferWidth, parameters_.BackBufferHeight,
                              parameters_.BackBufferFormat, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET,
                              (parameters_.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0);
    backBuffer_->MarkDeviceOwned();
    if (parameters_.EnableAutoDepthStencil) {
        autoDepth_ = new Surface(this, nullptr, 0, parameters_.BackBufferWidth, parameters_.BackBufferHeight,
                                 parameters_.AutoDepthStencilFormat, D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL, false);
        autoDepth_->MarkDeviceOwned();
    }
    state_.renderTarget = backBuffer_;
    backBuffer_->AddRef();
    state_.depthStencil = autoDepth_;
    if (autoDepth_) autoDepth_->AddRef();
    SetDefaultState();
    if (backend_ == BackendKind::Gl) {
        HWND window = parameters_.hDeviceWindow ? parameters_.hDeviceWindow : focusWindow_;
        renderer_ = GlRenderer::Create(this, window, error);
        if (!renderer_) return false;
    }
    return true;
}

Device::~Device() {
    // Drop the device's own references first; whatever is still alive afterwards was leaked by the caller.
    for (Texture*& t : state_.textures) {
        if (t) t->Release();
        t = nullptr;
    }
    if (state_.stream) state_.stream->Release();
    if (state_.indices) state_.indices->Release();
    if (state_.renderTarget) state_.renderTarget->Release();
    if (state_.depthStencil) state_.depthStencil->Release();
    state_.stream = nullptr;
    state_.indices = nullptr;
    state_.renderTarget = state_.depthStencil = nullptr;
    const std::size_t leaks = LiveCount();
    if (leaks) {
        Diagnostic("device destroyed with %zu resource%s still alive:\n%s", leaks, leaks == 1 ? "" : "s",
                   DescribeLive().c_str());
    }
    if (backBuffer_) {
        backBuffer_->Release();
    }
    if (autoDepth_) {
        autoDepth_->Release();
    }
    // Leaked objects outlive the device: they must no longer reach it.
    for (ResourceCore* r : live_) r->Orphan();
    live_.clear();
    renderer_.reset();
    d3d_->Release();
}

HRESULT Device::QueryInterface(REFIID riid, void** object) {
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
    if (refs_ == 0) return 0;
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

void Device::Track(ResourceCore* resource) { live_.push_back(resource); }

void Device::Untrack(ResourceCore* resource) {
    auto it = std::find(live_.begin(), live_.end(), resource);
    if (it != live_.end()) {
        *it = live_.back();
        live_.pop_back();
    }
}

void Device::ResourceDying(ResourceCore* resource) {
    if (renderer_) renderer_->Forget(resource);
    Untrack(resource);
}

// The device's own surfaces count only while someone else still holds them.
bool Device::HeldOnlyByDevice(const ResourceCore* r) const {
    const auto* s = dynamic_cast<const Surface*>(r);
    if (!s || !s->deviceOwned()) return false;
    const ULONG internal = 1 + (state_.renderTarget == s ? 1 : 0) + (state_.depthStencil == s ? 1 : 0);
    return s->refs() <= internal;
}

std::size_t Device::LiveCount() const {
    std::size_t count = 0;
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
    return text;
}

void Device::ReadBack(Surface* surface) {
    if (renderer_) renderer_->ReadBack(surface);
}

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
    if (!d3d) return D3DERR_INVALIDCALL;
    d3d_->AddRef();
    *d3d = d3d_;
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
    if (!caps) return D3DERR_INVALIDCALL;
    d3d_->FillCaps(caps);
    return D3D_OK;
}

HRESULT Device::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) {
    if (swapChain != 0 || !mode) return D3DERR_INVALIDCALL;
    if (parameters_.Windowed) {
        *mode = Direct3D9::DesktopMode();
    } else {
        *mode = D3DDISPLAYMODE{parameters_.BackBufferWidth, parameters_.BackBufferHeight,
                               parameters_.FullScreen_RefreshRateInHz ? parameters_.FullScreen_RefreshRateInHz : 60,
                               D3DFMT_X8R8G8B8};
    }
    return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) {
    if (!parameters) return D3DERR_INVALIDCALL;
    *parameters = D3DDEVICE_CREATION_PARAMETERS{0, type_, focusWindow_, behaviorFlags_};
    return D3D_OK;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS*) {
    // The engine never resets; a reset that keeps resources alive is not offered.
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE, IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (swapChain != 0 || backBuffer >= parameters_.BackBufferCount) return D3DERR_INVALIDCALL;
    backBuffer_->AddRef();
    *surface = backBuffer_;
    return D3D_OK;
}

HRESULT Device::GetRasterStatus(UINT swapChain, D3DRASTER_STATUS* status) {
    if (swapChain != 0 || !status) return D3DERR_INVALIDCALL;
    *status = D3DRASTER_STATUS{FALSE, 0};
    return D3D_OK;
}

void Device::GetGammaRamp(UINT, D3DGAMMARAMP* ramp) {
    if (!ramp) return;
    for (int i = 0; i < 256; ++i) ramp->red[i] = ramp->green[i] = ramp->blue[i] = static_cast<WORD>(i * 257);
}

// ---- Resource creation ----

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** texture, HANDLE* shared) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    const FormatLayout* layout = FindLayout(format);
    if (shared || !layout || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    if (pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    const DWORD allowed = D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC | D3DUSAGE_AUTOGENMIPMAP |
                          D3DUSAGE_SOFTWAREPROCESSING | D3DUSAGE_WRITEONLY;
    if (usage & ~allowed) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC)) && pool == D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (layout->kind == FormatKind::Buffer) return D3DERR_INVALIDCALL;
    // Depth formats exist as memory only (scratch); the fixed-function pipeline cannot sample them.
    if (layout->kind == FormatKind::Depth && pool != D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    const UINT full = FullChain(width, height);
    if (levels == 0 || levels > full) levels = levels == 0 ? full : 0;
    if (levels == 0) return D3DERR_INVALIDCALL;
    if (usage & D3DUSAGE_AUTOGENMIPMAP) levels = 1;  // the device makes no levels of its own
    if (pool != D3DPOOL_SCRATCH && pool != D3DPOOL_SYSTEMMEM) {
        // Video-memory textures follow the profile: format, size, power-of-two and square rules.
        D3DCAPS9 caps;
        d3d_->FillCaps(&caps);
        if (FAILED(d3d_->CheckFormat(usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC), D3DRTYPE_TEXTURE, format))) {
            return D3DERR_INVALIDCALL;
        }
        if (width > caps.MaxTextureWidth || height > caps.MaxTextureHeight) return D3DERR_INVALIDCALL;
        if ((caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) && width != height) return D3DERR_INVALIDCALL;
        if ((caps.TextureCaps & D3DPTEXTURECAPS_POW2) && (!IsPow2(width) || !IsPow2(height))) {
            const bool conditional = (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) && levels == 1 &&
                                     layout->kind != FormatKind::Compressed;
            if (!conditional) return D3DERR_INVALIDCALL;
        }
        if (layout->kind == FormatKind::Compressed && (width % 4 || height % 4)) return D3DERR_INVALIDCALL;
    }
    std::uint64_t bytes = 0;
    for (UINT i = 0; i < levels; ++i) {
        const std::uint64_t level = LevelBytes64(*layout, std::max(1u, width >> i), std::max(1u, height >> i));
        bytes += std::min(level, kMaxResourceBytes + 1);
    }
    if (bytes > kMaxResourceBytes) return E_OUTOFMEMORY;
    Texture* created = nullptr;
    try {
        created = new Texture(this, width, height, levels, usage, format, pool);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    created->setCreator(TARN_D3D9_CALLER());
    if (created->isRenderTarget()) {
        for (UINT i = 0; i < levels; ++i) created->level(i)->fresh = Fresh::GpuNewer;
    }
    *texture = created;
    return D3D_OK;
}

HRESULT Device::CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                    IDirect3DVolumeTexture9** texture, HANDLE*) {
    if (texture) *texture = nullptr;
    return D3DERR_NOTAVAILABLE;
}

HRESULT Device::CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DCubeTexture9** texture, HANDLE*) {
    if (texture) *texture = nullptr;
    return D3DERR_NOTAVAILABLE;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                                   HANDLE* shared) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (shared || length == 0 || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    // A buffer with a vertex format must hold at least one vertex.
    if (fvf && (FvfStride(fvf) == 0 || length < FvfStride(fvf))) return D3DERR_INVALIDCALL;
    if (length > kMaxResourceBytes) return E_OUTOFMEMORY;
    VertexBuffer* created = nullptr;
    try {
        created = new VertexBuffer(this, D3DRTYPE_VERTEXBUFFER, length, usage, fvf, D3DFMT_VERTEXDATA, pool);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    created->setCreator(TARN_D3D9_CALLER());
    *buffer = created;
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** buffer, HANDLE* shared) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (shared || length == 0 || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    if (length > kMaxResourceBytes) return E_OUTOFMEMORY;
    IndexBuffer* created = nullptr;
    try {
        created = new IndexBuffer(this, D3DRTYPE_INDEXBUFFER, length, usage, 0, format, pool);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    created->setCreator(TARN_D3D9_CALLER());
    *buffer = created;
    return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample, DWORD,
                                   BOOL lockable, IDirect3DSurface9** surface, HANDLE* shared) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (shared || width == 0 || height == 0 || multiSample != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    if (width > DriverLimits().maxTextureSize || height > DriverLimits().maxTextureSize) return D3DERR_INVALIDCALL;
    if (FAILED(d3d_->CheckFormat(D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, format))) return D3DERR_INVALIDCALL;
    auto* created = new Surface(this, nullptr, 0, width, height, format, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET,
                                lockable != FALSE);
    created->setCreator(TARN_D3D9_CALLER());
    created->fresh = Fresh::GpuNewer;
    *surface = created;
    return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                          DWORD, BOOL, IDirect3DSurface9** surface, HANDLE* shared) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (shared || width == 0 || height == 0 || multiSample != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    if (width > DriverLimits().maxTextureSize || height > DriverLimits().maxTextureSize) return D3DERR_INVALIDCALL;
    if (FAILED(d3d_->CheckFormat(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, format))) return D3DERR_INVALIDCALL;
    auto* created =
        new Surface(this, nullptr, 0, width, height, format, D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL, false);
    created->setCreator(TARN_D3D9_CALLER());
    *surface = created;
    return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, HANDLE* shared) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    const FormatLayout* layout = FindLayout(format);
    if (shared || !layout || width == 0 || height == 0 || pool == D3DPOOL_MANAGED || pool > D3DPOOL_SCRATCH) {
        return D3DERR_INVALIDCALL;
    }
    if (layout->kind == FormatKind::Buffer || layout->kind == FormatKind::Depth) return D3DERR_INVALIDCALL;
    if (LevelBytes64(*layout, width, height) > kMaxResourceBytes) {
        return E_OUTOFMEMORY;
    }
    Surface* created = nullptr;
    try {
        created = new Surface(this, nullptr, 0, width, height, format, pool, 0, true);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    created->setCreator(TARN_D3D9_CALLER());
    *surface = created;
    return D3D_OK;
}

// ---- Copies ----

HRESULT Device::UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                              const POINT* destPoint) {
    Surface* src = OwnSurface(source, this);
    Surface* dst = OwnSurface(destination, this);
    if (!src || !dst || src == dst) return D3DERR_INVALIDCALL;
    // System memory to default pool, same format, no depth surfaces.
    if (src->pool() != D3DPOOL_SYSTEMMEM || dst->pool() != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if (src->format() != dst->format() || src->isDepth() || dst->isDepth()) return D3DERR_INVALIDCALL;
    if (src->locked() || dst->locked()) return D3DERR_INVALIDCALL;
    const RECT r = sourceRect ? *sourceRect : FullRect(src);
    const LONG dx = destPoint ? destPoint->x : 0, dy = destPoint ? destPoint->y : 0;
    const RECT target{dx, dy, dx + (r.right - r.left), dy + (r.bottom - r.top)};
    if (!InsideSurface(r, src) || !InsideSurface(target, dst)) return D3DERR_INVALIDCALL;
    const FormatLayout& layout = src->layout();
    if (r.left % layout.blockWidth || r.top % layout.blockHeight || dx % layout.blockWidth ||
        dy % layout.blockHeight) {
        return D3DERR_INVALIDCALL;
    }
    // A partial update of a GPU-newer surface keeps the parts outside the rectangle.
    dst->SyncToMemory();
    CopyRect(src, r, dst, dx, dy);
    dst->MemoryChanged();
    return D3D_OK;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) {
    Texture* src = OwnTexture(source, this);
    Texture* dst = OwnTexture(destination, this);
    if (!src || !dst || src == dst) return D3DERR_INVALIDCALL;
    if (src->pool() != D3DPOOL_SYSTEMMEM || dst->pool() != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if (src->format() != dst->format()) return D3DERR_INVALIDCALL;
    // The source may have more levels than the destination; the destination's top level must match one of the
    // source's levels (the extra top levels are skipped).
    UINT skip = 0;
    while (skip < src->levelCount() &&
           (src->level(skip)->width() != dst->width() || src->level(skip)->height() != dst->height())) {
        ++skip;
    }
    if (skip == src->levelCount() || src->levelCount() - skip < dst->levelCount()) return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < dst->levelCount(); ++i) {
        Surface* from = src->level(i + skip);
        Surface* to = dst->level(i);
        if (from->locked() || to->locked()) return D3DERR_INVALIDCALL;
    }
    for (UINT i = 0; i < dst->levelCount(); ++i) {
        Surface* from = src->level(i + skip);
        Surface* to = dst->level(i);
        std::memcpy(to->bits(), from->bits(), LevelBytes(to->layout(), to->width(), to->height()));
        to->MemoryChanged();
    }
    return D3D_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination) {
    Surface* src = OwnSurface(renderTarget, this);
    Surface* dst = OwnSurface(destination, this);
    if (!src || !dst || !src->isRenderTarget() || dst->pool() != D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
    if (src->format() != dst->format() || src->width() != dst->width() || src->height() != dst->height()) {
        return D3DERR_INVALIDCALL;
    }
    if (dst->locked()) return D3DERR_INVALIDCALL;
    src->SyncToMemory();
    std::memcpy(dst->bits(), src->bits(), LevelBytes(dst->layout(), dst->width(), dst->height()));
    dst->MemoryChanged();
    return D3D_OK;
}

HRESULT Device::StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                            const RECT* destRect, D3DTEXTUREFILTERTYPE filter) {
    Surface* src = OwnSurface(source, this);
    Surface* dst = OwnSurface(destination, this);
    if (!src || !dst) return D3DERR_INVALIDCALL;
    if (filter != D3DTEXF_NONE && filter != D3DTEXF_POINT && filter != D3DTEXF_LINEAR) return D3DERR_INVALIDCALL;
    // Both surfaces live in the default pool; the destination is a render target (or a plain surface).
    if (src->pool() != D3DPOOL_DEFAULT || dst->pool() != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if (!dst->isRenderTarget() && dst->container()) return D3DERR_INVALIDCALL;
    if (src->isDepth() || dst->isDepth() || src->locked() || dst->locked()) return D3DERR_INVALIDCALL;
    if (src->container() && !src->isRenderTarget() && !dst->isRenderTarget()) return D3DERR_INVALIDCALL;
    const RECT sr = sourceRect ? *sourceRect : FullRect(src);
    const RECT dr = destRect ? *destRect : FullRect(dst);
    if (!InsideSurface(sr, src) || !InsideSurface(dr, dst)) return D3DERR_INVALIDCALL;
    if (src == dst) {
        const bool overlap = sr.left < dr.right && dr.left < sr.right && sr.top < dr.bottom && dr.top < sr.bottom;
        if (overlap) return D3DERR_INVALIDCALL;
    }
    const bool linear = filter == D3DTEXF_LINEAR;
    if (renderer_ && renderer_->Blit(src, sr, dst, dr, linear)) return D3D_OK;
    // Memory path: same-size same-format copies, else through the codec.
    const bool sameSize = sr.right - sr.left == dr.right - dr.left && sr.bottom - sr.top == dr.bottom - dr.top;
    src->SyncToMemory();
    dst->SyncToMemory();
    if (src->format() == dst->format() && sameSize) {
        CopyRect(src, sr, dst, dr.left, dr.top);
    } else if (CanDecode(src->format()) && CanEncode(dst->format())) {
        ConvertRect(src, sr, dst, dr, linear, state_.palette.data());
    } else {
        return D3DERR_INVALIDCALL;
    }
    dst->MemoryChanged();
    return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) {
    Surface* s = OwnSurface(surface, this);
    if (!s || s->pool() != D3DPOOL_DEFAULT || s->isDepth() || s->locked()) return D3DERR_INVALIDCALL;
    if (s->container() && !s->isRenderTarget()) return D3DERR_INVALIDCALL;
    const RECT r = rect ? *rect : FullRect(s);
    if (!InsideSurface(r, s)) return D3DERR_INVALIDCALL;
    if (renderer_ && s->isRenderTarget()) {
        renderer_->Fill(s, r, color);
        return D3D_OK;
    }
    if (!CanEncode(s->format())) return D3DERR_INVALIDCALL;
    s->SyncToMemory();
    const float rgba[4] = {((color >> 16) & 0xff) / 255.0f, ((color >> 8) & 0xff) / 255.0f, (color & 0xff) / 255.0f,
                           ((color >> 24) & 0xff) / 255.0f};
    std::vector<float> row(static_cast<std::size_t>(r.right - r.left) * 4);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = rgba[i % 4];
    for (LONG y = r.top; y < r.bottom; ++y) {
        EncodeRow(s->format(), row.data(), static_cast<UINT>(r.right - r.left),
                  s->bits() + static_cast<std::size_t>(y) * s->pitch() +
                      static_cast<std::size_t>(r.left) * s->layout().bytesPerBlock);
    }
    s->MemoryChanged();
    return D3D_OK;
}

// ---- Render targets ----

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* target) {
    if (index != 0) return D3DERR_INVALIDCALL;  // one simultaneous render target
    Surface* s = OwnSurface(target, this);
    if (!s || !s->isRenderTarget()) return D3DERR_INVALIDCALL;
    if (s == state_.renderTarget) {
        ResetViewportToTarget();
        return D3D_OK;
    }
    s->AddRef();
    state_.renderTarget->Release();
    state_.renderTarget = s;
    // Setting a render target resets the viewport (and the scissor rectangle) to the whole target.
    ResetViewportToTarget();
    state_.scissor = FullRect(s);
    state_.dirty |= kDirtyTarget | kDirtyViewport | kDirtyRaster;
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** target) {
    if (!target) return D3DERR_INVALIDCALL;
    *target = nullptr;
    if (index != 0) return D3DERR_NOTFOUND;
    state_.renderTarget->AddRef();
    *target = state_.renderTarget;
    return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* surface) {
    Surface* s = OwnSurface(surface, this);
    if (surface && (!s || !s->isDepth())) return D3DERR_INVALIDCALL;
    if (s == state_.depthStencil) return D3D_OK;
    if (s) s->AddRef();
    if (state_.depthStencil) state_.depthStencil->Release();
    state_.depthStencil = s;
    state_.dirty |= kDirtyTarget;
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = state_.depthStencil;
    if (!state_.depthStencil) return D3DERR_NOTFOUND;
    state_.depthStencil->AddRef();
    return D3D_OK;
}

// ---- Frame ----

HRESULT Device::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
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
    if (renderer_) renderer_->Clear(count, rects, flags, color, z, stencil);
    return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND destWindowOverride, const RGNDATA*) {
    if (inScene_) return D3DERR_INVALIDCALL;
    HWND window = destWindowOverride ? destWindowOverride
                                     : (parameters_.hDeviceWindow ? parameters_.hDeviceWindow : focusWindow_);
    // Frames shown on the desktop window (off-screen devices) are not the program's frames: the runner
    // neither counts them nor closes anything after them.
    if (window == GetDesktopWindow()) window = nullptr;
    if (renderer_) {
        renderer_->Present(window);
    } else if (window) {
        // Nothing is drawn without a renderer; a screenshot shows the back buffer's memory as it is.
        tarn::platform::FramePresented(
            window, static_cast<int>(parameters_.BackBufferWidth), static_cast<int>(parameters_.BackBufferHeight),
            [](void* context, int width, int height, std::uint8_t* rgba) -> bool {
                const auto* back = static_cast<const Surface*>(context);
                std::vector<float> row(static_cast<std::size_t>(width) * 4);
                for (int y = 0; y < height; ++y) {
                    DecodeRow(back->format(), back->bits() + static_cast<std::size_t>(y) * back->pitch(),
                              static_cast<UINT>(width), row.data());
                    for (std::size_t i = 0; i < row.size(); ++i) {
                        rgba[static_cast<std::size_t>(y) * width * 4 + i] =
                            static_cast<std::uint8_t>(std::clamp(row[i], 0.0f, 1.0f) * 255.0f + 0.5f);
                    }
                }
                return true;
            },
            backBuffer_);
    }
    return D3D_OK;
}

// ---- State ----

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    const DWORD s = static_cast<DWORD>(state);
    if (s == static_cast<DWORD>(D3DTS_WORLD)) {
        state_.world = *matrix;
        state_.dirty |= kDirtyTransforms;
    } else if (s == D3DTS_VIEW) {
        state_.view = *matrix;
        state_.dirty |= kDirtyTransforms | kDirtyLights;
    } else if (s == D3DTS_PROJECTION) {
        // Table fog is w-based for a perspective projection and z-based for an affine one: a change between
        // the two changes the program.
        const bool wasAffine = IsAffineProjection(state_.projection);
        state_.projection = *matrix;
        state_.dirty |= kDirtyTransforms | (IsAffineProjection(*matrix) != wasAffine ? kDirtyProgram : 0u);
    } else if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) {
        state_.texture[s - D3DTS_TEXTURE0] = *matrix;
        state_.dirty |= kDirtyTexMatrices;
    } else if (s > 256 && s < 512) {
        return D3D_OK;  // further world matrices (vertex blending) are accepted and unused
    } else {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    if (!matrix || pure()) return D3DERR_INVALIDCALL;
    const DWORD s = static_cast<DWORD>(state);
    if (s == static_cast<DWORD>(D3DTS_WORLD)) {
        *matrix = state_.world;
    } else if (s == D3DTS_VIEW) {
        *matrix = state_.view;
    } else if (s == D3DTS_PROJECTION) {
        *matrix = state_.projection;
    } else if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) {
        *matrix = state_.texture[s - D3DTS_TEXTURE0];
    } else {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    // The product is formed here, so it works on a pure device too (which only refuses reads by the caller).
    const DWORD s = static_cast<DWORD>(state);
    const D3DMATRIX* current = nullptr;
    if (s == static_cast<DWORD>(D3DTS_WORLD)) {
        current = &state_.world;
    } else if (s == D3DTS_VIEW) {
        current = &state_.view;
    } else if (s == D3DTS_PROJECTION) {
        current = &state_.projection;
    } else if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) {
        current = &state_.texture[s - D3DTS_TEXTURE0];
    } else {
        return D3DERR_INVALIDCALL;
    }
    D3DMATRIX product{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k) product.m[r][c] += matrix->m[r][k] * current->m[k][c];
    return SetTransform(state, &product);
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    const Surface* target = state_.renderTarget;
    if (viewport->Width == 0 || viewport->Height == 0 || viewport->X + viewport->Width > target->width() ||
        viewport->Y + viewport->Height > target->height() || viewport->MinZ < 0.0f || viewport->MaxZ > 1.0f ||
        viewport->MinZ > viewport->MaxZ) {
        return D3DERR_INVALIDCALL;
    }
    state_.viewport = *viewport;
    state_.dirty |= kDirtyViewport;
    return D3D_OK;
}

HRESULT Device::SetClipPlane(DWORD index, const float* plane) {
    if (!plane || index >= static_cast<DWORD>(kMaxClipPlanes)) return D3DERR_INVALIDCALL;
    std::copy(plane, plane + 4, state_.clipPlanes[index].begin());
    state_.dirty |= kDirtyConstants;
    return D3D_OK;
}

HRESULT Device::GetClipPlane(DWORD index, float* plane) {
    if (!plane || pure() || index >= static_cast<DWORD>(kMaxClipPlanes)) return D3DERR_INVALIDCALL;
    std::copy(state_.clipPlanes[index].begin(), state_.clipPlanes[index].end(), plane);
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = state_.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
    if (!material) return D3DERR_INVALIDCALL;
    state_.material = *material;
    state_.dirty |= kDirtyMaterial;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material) {
    if (!material || pure()) return D3DERR_INVALIDCALL;
    *material = state_.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
    if (!light) return D3DERR_INVALIDCALL;
    if (light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
    if (light->Range < 0.0f) return D3DERR_INVALIDCALL;
    if (light->Type == D3DLIGHT_SPOT &&
        (light->Theta < 0.0f || light->Phi < light->Theta || light->Phi > 3.1415927f)) {
        return D3DERR_INVALIDCALL;
    }
    if (index >= 4096) return D3DERR_INVALIDCALL;
    if (index >= state_.lights.size()) state_.lights.resize(index + 1);
    state_.lights[index].light = *light;
    state_.dirty |= kDirtyLights | kDirtyProgram;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9* light) {
    if (!light || pure() || index >= state_.lights.size()) return D3DERR_INVALIDCALL;
    *light = state_.lights[index].light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    if (index >= 4096) return D3DERR_INVALIDCALL;
    if (index >= state_.lights.size()) {
        // Enabling a light that was never set gives it the default light: white directional along +z.
        state_.lights.resize(index + 1);
    }
    LightSlot& slot = state_.lights[index];
    if (slot.light.Type == 0) {
        slot.light = D3DLIGHT9{};
        slot.light.Type = D3DLIGHT_DIRECTIONAL;
        slot.light.Diffuse = D3DCOLORVALUE{1, 1, 1, 0};
        slot.light.Direction = D3DVECTOR{0, 0, 1};
    }
    if (enable && !slot.enabled) {
        int active = 0;
        for (const LightSlot& l : state_.lights) active += l.enabled ? 1 : 0;
        if (active >= kMaxActiveLights) return D3DERR_INVALIDCALL;
    }
    slot.enabled = enable != FALSE;
    state_.dirty |= kDirtyLights | kDirtyProgram;
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
    if (!enable || pure() || index >= state_.lights.size()) return D3DERR_INVALIDCALL;
    *enable = state_.lights[index].enabled ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    const DWORD s = static_cast<DWORD>(state);
    if (s >= D3DRS_MAX_VALUE) return D3DERR_INVALIDCALL;
    if (state_.rs[s] == value) return D3D_OK;
    state_.rs[s] = value;
    state_.dirty |= DirtyForRenderState(s);
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    const DWORD s = static_cast<DWORD>(state);
    if (!value || pure() || s >= D3DRS_MAX_VALUE) return D3DERR_INVALIDCALL;
    *value = state_.rs[s];
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (stage >= kSamplers) return D3DERR_INVALIDCALL;
    Texture* t = state_.textures[stage];
    if (t) {
        t->AddRef();
        *texture = t;
    }
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    if (stage >= kSamplers) return D3DERR_INVALIDCALL;
    Texture* t = OwnTexture(texture, this);
    if (texture && !t) return D3DERR_INVALIDCALL;
    // Only video-memory textures can be sampled.
    if (t && (t->pool() == D3DPOOL_SYSTEMMEM || t->pool() == D3DPOOL_SCRATCH)) return D3DERR_INVALIDCALL;
    Texture*& slot = state_.textures[stage];
    if (slot == t) return D3D_OK;
    const bool presenceChanged = (slot == nullptr) != (t == nullptr);
    if (t) t->AddRef();
    if (slot) slot->Release();
    slot = t;
    state_.dirty |= kDirtyTextures | (presenceChanged ? static_cast<std::uint32_t>(kDirtyProgram) : 0u);
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    const DWORD t = static_cast<DWORD>(type);
    if (!value || pure() || stage >= kStages || t >= D3DTSS_MAX_VALUE) return D3DERR_INVALIDCALL;
    *value = state_.tss[stage][t];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    const DWORD t = static_cast<DWORD>(type);
    if (stage >= kStages || t == 0 || t >= D3DTSS_MAX_VALUE) return D3DERR_INVALIDCALL;
    DWORD& slot = state_.tss[stage][t];
    if (slot == value) return D3D_OK;
    slot = value;
    state_.dirty |= t == D3DTSS_CONSTANT ? kDirtyConstants : kDirtyProgram;
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    const DWORD t = static_cast<DWORD>(type);
    if (!value || pure() || sampler >= kSamplers || t >= D3DSAMP_MAX_VALUE) return D3DERR_INVALIDCALL;
    *value = state_.samp[sampler][t];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    const DWORD t = static_cast<DWORD>(type);
    if (sampler >= kSamplers || t == 0 || t >= D3DSAMP_MAX_VALUE) return D3DERR_INVALIDCALL;
    DWORD& slot = state_.samp[sampler][t];
    if (slot == value) return D3D_OK;
    // Point-sampled stages snap their coordinates in the generated program.
    const bool wasPoint = UsesPointFilter(state_.samp[sampler]);
    slot = value;
    state_.dirty |= kDirtySamplers;
    if (sampler < static_cast<DWORD>(kStages) && UsesPointFilter(state_.samp[sampler]) != wasPoint) {
        state_.dirty |= kDirtyProgram;
    }
    return D3D_OK;
}

HRESULT Device::ValidateDevice(DWORD* passes) {
    if (!passes) return D3DERR_INVALIDCALL;
    *passes = 1;
    return D3D_OK;
}

HRESULT Device::SetPaletteEntries(UINT number, const PALETTEENTRY* entries) {
    if (!entries || number != 0) return D3DERR_INVALIDCALL;
    std::copy(entries, entries + 256, state_.palette.begin());
    return D3D_OK;
}

HRESULT Device::GetPaletteEntries(UINT number, PALETTEENTRY* entries) {
    if (!entries || number != 0) return D3DERR_INVALIDCALL;
    std::copy(state_.palette.begin(), state_.palette.end(), entries);
    return D3D_OK;
}

HRESULT Device::GetCurrentTexturePalette(UINT* number) {
    if (!number) return D3DERR_INVALIDCALL;
    *number = 0;
    return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect) {
    if (!rect) return D3DERR_INVALIDCALL;
    state_.scissor = *rect;
    state_.dirty |= kDirtyRaster;
    return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* rect) {
    if (!rect) return D3DERR_INVALIDCALL;
    *rect = state_.scissor;
    return D3D_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** decl) {
    if (!decl) return D3DERR_INVALIDCALL;
    *decl = nullptr;
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
    if (fvf && FvfStride(fvf) == 0) return D3DERR_INVALIDCALL;
    if (state_.fvf == fvf) return D3D_OK;
    state_.fvf = fvf;
    state_.dirty |= kDirtyStreams | kDirtyProgram;
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf) {
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = state_.fvf;
    return D3D_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** shader) {
    if (!shader) return D3DERR_INVALIDCALL;
    *shader = nullptr;
    return D3D_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** shader) {
    if (!shader) return D3DERR_INVALIDCALL;
    *shader = nullptr;
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
    if (stream != 0) return buffer ? D3DERR_INVALIDCALL : D3D_OK;  // one stream
    auto* vb = buffer ? dynamic_cast<VertexBuffer*>(buffer) : nullptr;
    if (buffer && (!vb || vb->device() != this)) return D3DERR_INVALIDCALL;
    if (vb && (offset >= vb->length() || stride > 255)) return D3DERR_INVALIDCALL;
    if (vb != state_.stream) {
        if (vb) vb->AddRef();
        if (state_.stream) state_.stream->Release();
        state_.stream = vb;
    }
    state_.streamOffset = offset;
    state_.streamStride = stride;
    state_.dirty |= kDirtyStreams;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) {
    if (!buffer || !offset || !stride || stream != 0) return D3DERR_INVALIDCALL;
    *buffer = state_.stream;
    if (state_.stream) state_.stream->AddRef();
    *offset = state_.streamOffset;
    *stride = state_.streamStride;
    return D3D_OK;
}

HRESULT Device::GetStreamSourceFreq(UINT, UINT* setting) {
    if (!setting) return D3DERR_INVALIDCALL;
    *setting = 1;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* buffer) {
    auto* ib = buffer ? dynamic_cast<IndexBuffer*>(buffer) : nullptr;
    if (buffer && (!ib || ib->device() != this)) return D3DERR_INVALIDCALL;
    if (ib == state_.indices) return D3D_OK;
    if (ib) ib->AddRef();
    if (state_.indices) state_.indices->Release();
    state_.indices = ib;
    state_.dirty |= kDirtyStreams;
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = state_.indices;
    if (state_.indices) state_.indices->AddRef();
    return D3D_OK;
}

HRESULT Device::CreateQuery(D3DQUERYTYPE, IDirect3DQuery9** query) {
    if (query) *query = nullptr;
    return D3DERR_NOTAVAILABLE;
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
    const UINT fvfStride = FvfStride(state_.fvf);
    if (fvfStride == 0) return D3DERR_INVALIDCALL;
    DrawCall call{};
    call.type = type;
    call.primitiveCount = count;
    call.vertexCount = vertices;
    call.indexed = indexed;
    call.baseVertex = baseVertex;
    call.startIndex = startIndex;
    call.startVertex = startVertex;
    if (upVertices) {
        if (upStride < fvfStride) return D3DERR_INVALIDCALL;
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
        VertexBuffer* vb = state_.stream;
        if (!vb || state_.streamStride < fvfStride) return D3DERR_INVALIDCALL;
        const std::uint64_t available = (vb->length() - state_.streamOffset) / state_.streamStride;
        if (indexed) {
            IndexBuffer* ib = state_.indices;
            if (!ib) return D3DERR_INVALIDCALL;
            const UINT indexSize = ib->format() == D3DFMT_INDEX32 ? 4 : 2;
            if ((static_cast<std::uint64_t>(startIndex) + vertices) * indexSize > ib->length()) {
                return D3DERR_INVALIDCALL;
            }
            const std::int64_t first = static_cast<std::int64_t>(baseVertex) + minIndex;
            if (first < 0 || static_cast<std::uint64_t>(first) + numVertices > available) return D3DERR_INVALIDCALL;
        } else if (static_cast<std::uint64_t>(startVertex) + vertices > available) {
            return D3DERR_INVALIDCALL;
        }
    }
    if (renderer_) renderer_->Draw(call);
    return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) {
    return Draw(type, count, false, 0, 0, 0, 0, nullptr, 0, nullptr, D3DFMT_UNKNOWN, startVertex);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT count) {
    return Draw(type, count, true, baseVertex, minIndex, numVertices, startIndex, nullptr, 0, nullptr,
                D3DFMT_UNKNOWN, 0);
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) {
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
