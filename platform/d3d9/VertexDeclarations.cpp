// The device's vertex input: the IDirect3DVertexDeclaration9 object, CreateVertexDeclaration, the declaration
// or flexible vertex format that draws read (setting one replaces the other), the 16 vertex streams and their
// frequencies. While a state block records, the setters store into the recording instead.
#include <algorithm>
#include <new>
#include <vector>

#include "DeviceObject.h"
#include "UpdateState.h"
#include "VertexLayout.h"

namespace tarn::d3d9 {
namespace {

// Known as itself and IUnknown. It does not hold its device: the device holds the declaration it draws with,
// and a declaration leaked past its device is orphaned (GetDevice then refuses). Its calls hold the device's lock
// (a multithreaded device's), kept past the orphaning.
class VertexDeclaration final : public IDirect3DVertexDeclaration9, public Orphanable {
public:
    // `elements` ends with D3DDECL_END() and has passed CheckDeclaration.
    VertexDeclaration(Device* device, std::vector<D3DVERTEXELEMENT9> elements)
        : device_(device), lock_(device->lock()), elements_(std::move(elements)) {
        const UINT count = static_cast<UINT>(elements_.size() - 1);
        layout_ = LayoutOfElements(elements_.data(), count);
        fvf_ = FvfOfElements(elements_.data(), count);
        device_->TrackObject(this, "vertex declaration");
        device_->TrackOrphanable(this);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        const DeviceGuard guard(lock_);
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDirect3DVertexDeclaration9)) {
            *object = static_cast<IDirect3DVertexDeclaration9*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        const DeviceGuard guard(lock_);
        return ++refs_;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const DeviceGuard guard(lock_);
        if (refs_ == 0) return 0;
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override {
        const DeviceGuard guard(lock_);
        if (!device) return D3DERR_INVALIDCALL;
        *device = device_;
        if (!device_) return D3DERR_INVALIDCALL;
        device_->AddRef();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* numElements) override {
        const DeviceGuard guard(lock_);
        if (!numElements) return D3DERR_INVALIDCALL;
        *numElements = static_cast<UINT>(elements_.size());
        if (elements) std::copy(elements_.begin(), elements_.end(), elements);
        return D3D_OK;
    }
    void Orphan() override { device_ = nullptr; }

    bool ownedBy(const Device* device) const { return device_ == device; }
    const VertexLayout& layout() const { return layout_; }
    DWORD fvf() const { return fvf_; }

private:
    ~VertexDeclaration() {
        if (!device_) return;
        device_->UntrackOrphanable(this);
        device_->UntrackObject(this);
    }

    Device* device_;
    DeviceLockRef lock_;
    ULONG refs_ = 1;
    std::vector<D3DVERTEXELEMENT9> elements_;
    VertexLayout layout_;
    DWORD fvf_ = 0;
};

// A new declaration of `elements`, or null when memory runs out.
VertexDeclaration* NewDeclaration(Device* device, std::vector<D3DVERTEXELEMENT9>&& elements) {
    return new (std::nothrow) VertexDeclaration(device, std::move(elements));
}

}  // namespace

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** declaration) {
    const DeviceGuard guard(lock_);
    if (!declaration) return D3DERR_INVALIDCALL;
    *declaration = nullptr;
    UINT count = 0;
    if (const HRESULT hr = CheckDeclaration(elements, &count); FAILED(hr)) return hr;
    std::vector<D3DVERTEXELEMENT9> copy;
    try {
        copy.assign(elements, elements + count + 1);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    VertexDeclaration* made = NewDeclaration(this, std::move(copy));
    if (!made) return E_OUTOFMEMORY;
    *declaration = made;
    return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
    const DeviceGuard guard(lock_);
    auto* decl = declaration ? dynamic_cast<VertexDeclaration*>(declaration) : nullptr;
    if (declaration && (!decl || !decl->ownedBy(this))) return D3DERR_INVALIDCALL;
    const DWORD fvf = decl ? decl->fvf() : 0;
    if (StateRecord* rec = recording_.get()) {
        rec->HoldDeclaration(declaration);
        rec->values.fvf = fvf;
        rec->mask.fvf = true;
        return D3D_OK;
    }
    if (declaration && declaration == state_.declaration) return D3D_OK;
    if (declaration) declaration->AddRef();
    if (state_.declaration) state_.declaration->Release();
    state_.declaration = declaration;
    state_.fvf = fvf;
    const VertexLayout layout = decl ? decl->layout() : VertexLayout{};
    UpdateState(state_.layout, layout, [&] { state_.dirty |= kDirtyStreams | kDirtyProgram; });
    return D3D_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) {
    const DeviceGuard guard(lock_);
    if (!declaration) return D3DERR_INVALIDCALL;
    *declaration = state_.declaration;
    if (state_.declaration) {
        state_.declaration->AddRef();
        return D3D_OK;
    }
    // A format set by SetFVF is seen as the declaration it stands for: a new object, the caller's to release.
    std::vector<D3DVERTEXELEMENT9> elements;
    if (state_.fvf == 0 || !ElementsOfFvf(state_.fvf, &elements)) return D3D_OK;
    VertexDeclaration* made = NewDeclaration(this, std::move(elements));
    if (!made) return E_OUTOFMEMORY;
    *declaration = made;
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
    const DeviceGuard guard(lock_);
    if (fvf && FvfStride(fvf) == 0) return D3DERR_INVALIDCALL;
    if (StateRecord* rec = recording_.get()) {
        rec->HoldDeclaration(nullptr);
        rec->values.fvf = fvf;
        rec->mask.fvf = true;
        return D3D_OK;
    }
    if (state_.declaration) {
        state_.declaration->Release();
        state_.declaration = nullptr;
        state_.dirty |= kDirtyStreams | kDirtyProgram;
    }
    UpdateState(state_.fvf, fvf, [&] { state_.dirty |= kDirtyStreams | kDirtyProgram; });
    UpdateState(state_.layout, LayoutOfFvf(fvf), [&] { state_.dirty |= kDirtyStreams | kDirtyProgram; });
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf) {
    const DeviceGuard guard(lock_);
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = state_.fvf;
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
    const DeviceGuard guard(lock_);
    if (stream >= static_cast<UINT>(kStreams)) return D3DERR_INVALIDCALL;
    auto* vb = buffer ? dynamic_cast<VertexBuffer*>(buffer) : nullptr;
    if (buffer && (!vb || vb->device() != this)) return D3DERR_INVALIDCALL;
    if (vb && (offset >= vb->length() || stride > kMaxStreamStride)) return D3DERR_INVALIDCALL;
    if (StateRecord* rec = recording_.get()) {
        rec->HoldStream(stream, vb, offset, stride);
        rec->mask.streams.set(stream);
        return D3D_OK;
    }
    StreamBinding& slot = state_.streams[stream];
    if (vb != slot.buffer) {
        if (vb) vb->AddRef();
        if (slot.buffer) slot.buffer->Release();
        slot.buffer = vb;
    }
    slot.offset = offset;
    slot.stride = stride;
    state_.dirty |= kDirtyStreams;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) {
    const DeviceGuard guard(lock_);
    if (!buffer || !offset || !stride || stream >= static_cast<UINT>(kStreams)) return D3DERR_INVALIDCALL;
    const StreamBinding& slot = state_.streams[stream];
    *buffer = slot.buffer;
    if (slot.buffer) slot.buffer->AddRef();
    *offset = slot.offset;
    *stride = slot.stride;
    return D3D_OK;
}

// The setting is stored and answered as given. Instancing by these frequencies is a feature of vertex shader
// 3.0 devices, which this one is not, so draws read every stream once per vertex whatever the settings.
HRESULT Device::SetStreamSourceFreq(UINT stream, UINT setting) {
    const DeviceGuard guard(lock_);
    if (stream >= static_cast<UINT>(kStreams)) return D3DERR_INVALIDCALL;
    const UINT kinds = setting & (D3DSTREAMSOURCE_INDEXEDDATA | D3DSTREAMSOURCE_INSTANCEDATA);
    if (kinds == (D3DSTREAMSOURCE_INDEXEDDATA | D3DSTREAMSOURCE_INSTANCEDATA)) return D3DERR_INVALIDCALL;
    // Stream 0 holds the indexed geometry, never per-instance data.
    if (stream == 0 && kinds == D3DSTREAMSOURCE_INSTANCEDATA) return D3DERR_INVALIDCALL;
    if (StateRecord* rec = recording_.get()) {
        rec->values.streams[stream].frequency = setting;
        rec->mask.frequencies.set(stream);
        return D3D_OK;
    }
    state_.streams[stream].frequency = setting;
    return D3D_OK;
}

HRESULT Device::GetStreamSourceFreq(UINT stream, UINT* setting) {
    const DeviceGuard guard(lock_);
    if (!setting || stream >= static_cast<UINT>(kStreams)) return D3DERR_INVALIDCALL;
    *setting = state_.streams[stream].frequency;
    return D3D_OK;
}

}  // namespace tarn::d3d9
