// Swap chains: the implicit one and the additional ones, their reference counts, back buffers, front-buffer copies
// and gamma ramps, and the device calls that name a swap chain by index (GetSwapChain, CreateAdditionalSwapChain,
// GetBackBuffer, GetFrontBufferData, GetRasterStatus, GetDisplayMode, the gamma ramp).
#include "SwapChain.h"

#include <new>

#include "DeviceObject.h"

namespace tarn::d3d9 {

D3DGAMMARAMP IdentityGammaRamp() {
    D3DGAMMARAMP ramp;
    for (int i = 0; i < 256; ++i) ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>(i * 257);
    return ramp;
}

void ApplyGammaRamp(const D3DGAMMARAMP& ramp, std::uint8_t* rgba, std::size_t pixels) {
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint8_t* p = rgba + 4 * i;
        p[0] = static_cast<std::uint8_t>(ramp.red[p[0]] >> 8);
        p[1] = static_cast<std::uint8_t>(ramp.green[p[1]] >> 8);
        p[2] = static_cast<std::uint8_t>(ramp.blue[p[2]] >> 8);
    }
}

SwapChain::SwapChain(Device* device, const D3DPRESENT_PARAMETERS& parameters, bool implicit)
    : device_(device),
      parameters_(parameters),
      implicit_(implicit),
      refs_(implicit ? 0 : 1),
      gamma_(IdentityGammaRamp()) {
    if (implicit_) return;
    back_ = new Surface(device_, nullptr, 0, parameters.BackBufferWidth, parameters.BackBufferHeight,
                        parameters.BackBufferFormat, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET,
                        (parameters.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0);
    back_->MarkDeviceOwned();
    device_->AddRef();
    device_->TrackObject(this, "additional swap chain");
}

SwapChain::~SwapChain() {
    if (front_) front_->Release();
    if (back_) back_->Release();
    if (!implicit_) {
        device_->UntrackObject(this);
        device_->AdditionalChainGone(this);
        device_->Release();
    }
}

void SwapChain::DestroyWithDevice() { delete this; }

HRESULT SwapChain::QueryInterface(REFIID riid, void** object) {
    const DeviceGuard guard(device_->lock());
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDirect3DSwapChain9)) {
        *object = static_cast<IDirect3DSwapChain9*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG SwapChain::AddRef() {
    const DeviceGuard guard(device_->lock());
    if (implicit_ && refs_ == 0) device_->AddRef();
    return ++refs_;
}

ULONG SwapChain::Release() {
    const DeviceGuard guard(device_->lock());
    if (refs_ == 0) return 0;
    const ULONG left = --refs_;
    if (left == 0) {
        // The implicit chain stays with the device; only the caller's hold on the device goes.
        if (implicit_) {
            device_->Release();
        } else {
            delete this;
        }
    }
    return left;
}

const D3DPRESENT_PARAMETERS& SwapChain::parameters() const {
    return implicit_ ? device_->presentParameters() : parameters_;
}

HWND SwapChain::window() const {
    const D3DPRESENT_PARAMETERS& p = parameters();
    if (p.hDeviceWindow) return p.hDeviceWindow;
    D3DDEVICE_CREATION_PARAMETERS created{};
    device_->GetCreationParameters(&created);
    return created.hFocusWindow;
}

Surface* SwapChain::backBuffer() const { return implicit_ ? device_->backBuffer() : back_; }

Surface* SwapChain::front() {
    if (!front_) {
        const Surface* back = backBuffer();
        front_ = new Surface(device_, nullptr, 0, back->width(), back->height(), back->format(), D3DPOOL_DEFAULT,
                             D3DUSAGE_RENDERTARGET, false);
        front_->MarkDeviceOwned();
    }
    return front_;
}

void SwapChain::DropFront() {
    if (front_) front_->Release();
    front_ = nullptr;
}

HRESULT SwapChain::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride, const RGNDATA*,
                           DWORD flags) {
    const DeviceGuard guard(device_->lock());
    if (flags & ~static_cast<DWORD>(D3DPRESENT_DONOTWAIT | D3DPRESENT_LINEAR_CONTENT)) return D3DERR_INVALIDCALL;
    return device_->PresentChain(this, sourceRect, destRect, destWindowOverride);
}

HRESULT SwapChain::GetFrontBufferData(IDirect3DSurface9* destination) {
    const DeviceGuard guard(device_->lock());
    return device_->FrontBufferData(this, destination);
}

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE, IDirect3DSurface9** surface) {
    const DeviceGuard guard(device_->lock());
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    // Every back buffer of the chain is the one surface drawn into and presented.
    if (index >= parameters().BackBufferCount) return D3DERR_INVALIDCALL;
    Surface* back = backBuffer();
    back->AddRef();
    *surface = back;
    return D3D_OK;
}

HRESULT SwapChain::GetRasterStatus(D3DRASTER_STATUS* status) {
    const DeviceGuard guard(device_->lock());
    if (!status) return D3DERR_INVALIDCALL;
    // The scan line cannot be read here (no D3DCAPS_READ_SCANLINE): never in the vertical blank, line 0.
    *status = D3DRASTER_STATUS{FALSE, 0};
    return D3D_OK;
}

HRESULT SwapChain::GetDisplayMode(D3DDISPLAYMODE* mode) {
    const DeviceGuard guard(device_->lock());
    if (!mode) return D3DERR_INVALIDCALL;
    *mode = DisplayModeOf(parameters());
    return D3D_OK;
}

HRESULT SwapChain::GetDevice(IDirect3DDevice9** device) {
    const DeviceGuard guard(device_->lock());
    if (!device) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
}

HRESULT SwapChain::GetPresentParameters(D3DPRESENT_PARAMETERS* parameters) {
    const DeviceGuard guard(device_->lock());
    if (!parameters) return D3DERR_INVALIDCALL;
    *parameters = this->parameters();
    return D3D_OK;
}

// ---- The device's calls that name a swap chain ----

SwapChain* Device::Chain(UINT index) const {
    if (index == 0) return implicitChain_;
    return index - 1 < additionalChains_.size() ? additionalChains_[index - 1] : nullptr;
}

void Device::AdditionalChainGone(SwapChain* chain) { std::erase(additionalChains_, chain); }

HRESULT Device::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* parameters, IDirect3DSwapChain9** swapChain) {
    const DeviceGuard guard(lock_);
    if (!parameters || !swapChain) return D3DERR_INVALIDCALL;
    *swapChain = nullptr;
    // Additional chains are windowed: only the implicit chain can own the display.
    if (!parameters->Windowed) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS p = *parameters;
    if (FAILED(d3d_->CompletePresentParameters(focusWindow_, &p))) return D3DERR_INVALIDCALL;
    if (p.EnableAutoDepthStencil) return D3DERR_INVALIDCALL;  // additional chains have no depth buffer of their own
    SwapChain* chain = nullptr;
    try {
        chain = new SwapChain(this, p, false);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    additionalChains_.push_back(chain);
    *parameters = p;
    *swapChain = chain;
    return D3D_OK;
}

HRESULT Device::GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain) {
    const DeviceGuard guard(lock_);
    if (!swapChain) return D3DERR_INVALIDCALL;
    *swapChain = nullptr;
    SwapChain* chain = Chain(index);
    if (!chain) return D3DERR_INVALIDCALL;
    chain->AddRef();
    *swapChain = chain;
    return D3D_OK;
}

UINT Device::GetNumberOfSwapChains() {
    const DeviceGuard guard(lock_);
    return static_cast<UINT>(1 + additionalChains_.size());
}

HRESULT Device::GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destination) {
    const DeviceGuard guard(lock_);
    SwapChain* chain = Chain(swapChain);
    if (!chain || !destination) return D3DERR_INVALIDCALL;
    return FrontBufferData(chain, destination);
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
    const DeviceGuard guard(lock_);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    SwapChain* chain = Chain(swapChain);
    return chain ? chain->GetBackBuffer(backBuffer, type, surface) : D3DERR_INVALIDCALL;
}

HRESULT Device::GetRasterStatus(UINT swapChain, D3DRASTER_STATUS* status) {
    const DeviceGuard guard(lock_);
    SwapChain* chain = Chain(swapChain);
    return chain ? chain->GetRasterStatus(status) : D3DERR_INVALIDCALL;
}

HRESULT Device::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) {
    const DeviceGuard guard(lock_);
    SwapChain* chain = Chain(swapChain);
    return chain ? chain->GetDisplayMode(mode) : D3DERR_INVALIDCALL;
}

// The ramp is kept for any chain and read back as set; Present applies it to full-screen chains only, as a
// windowed chain shares the desktop's ramp with every other program.
void Device::SetGammaRamp(UINT swapChain, DWORD, const D3DGAMMARAMP* ramp) {
    const DeviceGuard guard(lock_);
    SwapChain* chain = Chain(swapChain);
    if (chain && ramp) chain->SetGamma(*ramp);
}

void Device::GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) {
    const DeviceGuard guard(lock_);
    SwapChain* chain = Chain(swapChain);
    if (chain && ramp) *ramp = chain->gamma();
}

}  // namespace tarn::d3d9
