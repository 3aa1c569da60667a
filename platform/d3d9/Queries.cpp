// Queries: the IDirect3DQuery9 object and CreateQuery. The device checks the calls and keeps the query's state
// (whether an End has been issued since the last Begin); the backend measures (GpuQuery, Renderer.h).
#include <cstring>
#include <memory>
#include <new>

#include "DeviceObject.h"
#include "Renderer.h"

namespace tarn::d3d9 {
namespace {

// Bytes of GetData's result for each type the layer answers.
DWORD DataSizeOf(D3DQUERYTYPE type) {
    switch (type) {
    case D3DQUERYTYPE_EVENT:
    case D3DQUERYTYPE_TIMESTAMPDISJOINT:
        return sizeof(BOOL);
    case D3DQUERYTYPE_OCCLUSION:
        return sizeof(DWORD);
    case D3DQUERYTYPE_TIMESTAMP:
    case D3DQUERYTYPE_TIMESTAMPFREQ:
        return sizeof(ULONGLONG);
    default:
        return 0;
    }
}

// The types measured between a Begin and an End; the others mark one point of the command stream with End.
bool TakesBegin(D3DQUERYTYPE type) { return type == D3DQUERYTYPE_OCCLUSION || type == D3DQUERYTYPE_TIMESTAMPDISJOINT; }

class Query final : public DeviceChild<Query, IDirect3DQuery9, IID_IDirect3DQuery9> {
public:
    Query(Device* device, D3DQUERYTYPE type, std::unique_ptr<GpuQuery> gpu)
        : DeviceChild(device, "query"), type_(type), gpu_(std::move(gpu)) {}

    D3DQUERYTYPE STDMETHODCALLTYPE GetType() override {
        const DeviceGuard guard(device_->lock());
        return type_;
    }
    DWORD STDMETHODCALLTYPE GetDataSize() override {
        const DeviceGuard guard(device_->lock());
        return DataSizeOf(type_);
    }

    HRESULT STDMETHODCALLTYPE Issue(DWORD flags) override {
        const DeviceGuard guard(device_->lock());
        if (flags == D3DISSUE_BEGIN && TakesBegin(type_)) {
            gpu_->Begin();
            ended_ = false;
            return D3D_OK;
        }
        if (flags != D3DISSUE_END) return D3DERR_INVALIDCALL;
        gpu_->End();
        ended_ = true;
        return D3D_OK;
    }

    // A size of 0 polls without reading the result. A query with no End issued since it was made or last begun
    // has no result on its way: GetData refuses rather than answering S_FALSE for ever.
    HRESULT STDMETHODCALLTYPE GetData(void* data, DWORD size, DWORD flags) override {
        const DeviceGuard guard(device_->lock());
        if (flags & ~static_cast<DWORD>(D3DGETDATA_FLUSH)) return D3DERR_INVALIDCALL;
        if (size != 0 && (!data || size < GetDataSize())) return D3DERR_INVALIDCALL;
        if (!ended_) return D3DERR_INVALIDCALL;
        ULONGLONG result = 0;
        if (!gpu_->Result(&result, (flags & D3DGETDATA_FLUSH) != 0)) return S_FALSE;
        if (size != 0) std::memcpy(data, &result, GetDataSize());
        return S_OK;
    }

private:
    friend DeviceChild;  // deletes the object through its own destructor
    // The backend's objects (gpu_) go before the base releases the device, while its backend still lives.
    ~Query() = default;

    D3DQUERYTYPE type_;
    std::unique_ptr<GpuQuery> gpu_;
    bool ended_ = false;
};

}  // namespace

// A null `query` asks only whether the type is supported.
HRESULT Device::CreateQuery(D3DQUERYTYPE type, IDirect3DQuery9** query) {
    const DeviceGuard guard(lock_);
    if (query) *query = nullptr;
    if (!renderer_->SupportsQuery(type)) return D3DERR_NOTAVAILABLE;
    if (!query) return D3D_OK;
    std::unique_ptr<GpuQuery> gpu = renderer_->CreateQuery(type);
    if (!gpu) return D3DERR_NOTAVAILABLE;
    *query = new Query(this, type, std::move(gpu));
    return D3D_OK;
}

}  // namespace tarn::d3d9
