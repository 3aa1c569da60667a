// Swap chains (SwapChains.cpp): the device's implicit one, which shows the device's own back buffer and lives as
// long as the device, and those of CreateAdditionalSwapChain, each with a back buffer of its own and a window to
// show it in. Every chain keeps a copy of what it last presented (its front buffer, for GetFrontBufferData) and
// its gamma ramp. Presenting and reading the front buffer are the device's (Device::PresentChain, FrontBufferData).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/d3d9/D3D9.h"

namespace tarn::d3d9 {

class Device;
class Surface;

class SwapChain final : public IDirect3DSwapChain9 {
public:
    // The implicit chain starts with no reference of the caller's: GetSwapChain hands out the first, and while
    // the caller holds any the chain holds one on the device. An additional chain starts with the creator's
    // reference, holds one on the device for its whole life and counts as one of the device's live objects.
    // Throws std::bad_alloc.
    SwapChain(Device* device, const D3DPRESENT_PARAMETERS& parameters, bool implicit);
    SwapChain(const SwapChain&) = delete;
    SwapChain& operator=(const SwapChain&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                                      const RGNDATA* dirtyRegion, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(IDirect3DSurface9* destination) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                            IDirect3DSurface9** surface) override;
    HRESULT STDMETHODCALLTYPE GetRasterStatus(D3DRASTER_STATUS* status) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(D3DDISPLAYMODE* mode) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;
    HRESULT STDMETHODCALLTYPE GetPresentParameters(D3DPRESENT_PARAMETERS* parameters) override;

    bool implicit() const { return implicit_; }
    const D3DPRESENT_PARAMETERS& parameters() const;
    // The window presents go to when no override is given.
    HWND window() const;
    Surface* backBuffer() const;
    // The copy of the last presented frame, made (at the back buffer's size and format) on first use.
    Surface* front();
    // The implicit chain after Reset: the old front buffer no longer fits the new back buffer.
    void DropFront();
    const D3DGAMMARAMP& gamma() const { return gamma_; }
    void SetGamma(const D3DGAMMARAMP& ramp) { gamma_ = ramp; }
    // Destroys the implicit chain with its device (the caller's references to it are then dangling, as any
    // child's are once its device is gone).
    void DestroyWithDevice();

private:
    ~SwapChain();

    Device* device_;
    D3DPRESENT_PARAMETERS parameters_;  // additional chains only; the implicit one reads the device's
    bool implicit_;
    ULONG refs_;
    Surface* back_ = nullptr;  // additional chains only
    Surface* front_ = nullptr;
    D3DGAMMARAMP gamma_;
};

// The identity ramp: entry i is i * 257 (0 to 65535).
D3DGAMMARAMP IdentityGammaRamp();
// Passes `pixels` RGBA pixels of 8 bits a channel through a ramp: each colour channel's value picks its entry,
// whose top 8 bits are the result; alpha is kept.
void ApplyGammaRamp(const D3DGAMMARAMP& ramp, std::uint8_t* rgba, std::size_t pixels);

}  // namespace tarn::d3d9
