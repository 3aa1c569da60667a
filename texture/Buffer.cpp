// ID3DXBuffer: a block of bytes with a reference count, as the ...ToFileInMemory calls hand out.
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "texture/D3DXTexture.h"

namespace {

class Buffer final : public ID3DXBuffer {
public:
    Buffer(std::unique_ptr<BYTE[]> bytes, DWORD size) : bytes_(std::move(bytes)), size_(size) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ID3DXBuffer)) {
            *object = static_cast<ID3DXBuffer*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    void* STDMETHODCALLTYPE GetBufferPointer() override { return bytes_.get(); }
    DWORD STDMETHODCALLTYPE GetBufferSize() override { return size_; }

private:
    ~Buffer() = default;

    std::atomic<ULONG> refs_{1};
    std::unique_ptr<BYTE[]> bytes_;
    DWORD size_;
};

}  // namespace

HRESULT D3DXCreateBuffer(DWORD numBytes, ID3DXBuffer** buffer) {
    if (buffer == nullptr) return D3DERR_INVALIDCALL;
    // An empty buffer still has a pointer of its own, so that callers can tell it from a failure.
    std::unique_ptr<BYTE[]> bytes(new (std::nothrow) BYTE[numBytes > 0 ? numBytes : 1]());
    if (!bytes) return E_OUTOFMEMORY;
    auto* made = new (std::nothrow) Buffer(std::move(bytes), numBytes);
    if (made == nullptr) return E_OUTOFMEMORY;
    *buffer = made;
    return D3D_OK;
}
