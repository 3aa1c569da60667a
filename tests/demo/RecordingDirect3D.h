// A Direct3D object that forwards everything to a real one, except that the device it creates is wrapped in a
// recording device (tests/scene/CallRecordingDevice.h): the demo then runs unchanged while a test reads, names
// and fails the device calls it makes.
#pragma once

#include "platform/d3d9/D3D9.h"
#include "tests/scene/CallRecordingDevice.h"

namespace tarn::test {

// Forwards everything to the real Direct3D object, except that the device it creates is wrapped in a
// recorder.
class RecordingDirect3D final : public IDirect3D9 {
public:
    explicit RecordingDirect3D(IDirect3D9* inner) : inner_(inner) {}
    IDirect3DDevice9* innerDevice = nullptr;
    CallRecordingDevice* recorder = nullptr;

    HRESULT QueryInterface(REFIID riid, void** object) override {
        return inner_->QueryInterface(riid, object);
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }  // the test releases the real object
    HRESULT RegisterSoftwareDevice(void* f) override { return inner_->RegisterSoftwareDevice(f); }
    UINT GetAdapterCount() override { return inner_->GetAdapterCount(); }
    HRESULT GetAdapterIdentifier(UINT a, DWORD f, D3DADAPTER_IDENTIFIER9* i) override {
        return inner_->GetAdapterIdentifier(a, f, i);
    }
    UINT GetAdapterModeCount(UINT a, D3DFORMAT f) override { return inner_->GetAdapterModeCount(a, f); }
    HRESULT EnumAdapterModes(UINT a, D3DFORMAT f, UINT m, D3DDISPLAYMODE* d) override {
        return inner_->EnumAdapterModes(a, f, m, d);
    }
    HRESULT GetAdapterDisplayMode(UINT a, D3DDISPLAYMODE* d) override {
        return inner_->GetAdapterDisplayMode(a, d);
    }
    HRESULT CheckDeviceType(UINT a, D3DDEVTYPE t, D3DFORMAT af, D3DFORMAT bf, BOOL w) override {
        return inner_->CheckDeviceType(a, t, af, bf, w);
    }
    HRESULT CheckDeviceFormat(UINT a, D3DDEVTYPE t, D3DFORMAT af, DWORD u, D3DRESOURCETYPE r,
                              D3DFORMAT f) override {
        return inner_->CheckDeviceFormat(a, t, af, u, r, f);
    }
    HRESULT CheckDeviceMultiSampleType(UINT a, D3DDEVTYPE t, D3DFORMAT f, BOOL w, D3DMULTISAMPLE_TYPE m,
                                       DWORD* q) override {
        return inner_->CheckDeviceMultiSampleType(a, t, f, w, m, q);
    }
    HRESULT CheckDepthStencilMatch(UINT a, D3DDEVTYPE t, D3DFORMAT af, D3DFORMAT rf, D3DFORMAT df) override {
        return inner_->CheckDepthStencilMatch(a, t, af, rf, df);
    }
    HRESULT CheckDeviceFormatConversion(UINT a, D3DDEVTYPE t, D3DFORMAT s, D3DFORMAT d) override {
        return inner_->CheckDeviceFormatConversion(a, t, s, d);
    }
    HRESULT GetDeviceCaps(UINT a, D3DDEVTYPE t, D3DCAPS9* c) override {
        return inner_->GetDeviceCaps(a, t, c);
    }
    HMONITOR GetAdapterMonitor(UINT a) override { return inner_->GetAdapterMonitor(a); }
    HRESULT CreateDevice(UINT a, D3DDEVTYPE t, HWND w, DWORD f, D3DPRESENT_PARAMETERS* p,
                         IDirect3DDevice9** out) override {
        const HRESULT hr = inner_->CreateDevice(a, t, w, f, p, &innerDevice);
        if (FAILED(hr)) return hr;
        recorder = new CallRecordingDevice(innerDevice);
        *out = recorder;
        return hr;
    }

private:
    IDirect3D9* inner_;
};

}  // namespace tarn::test
