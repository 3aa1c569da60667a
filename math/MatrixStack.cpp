// The matrix stack (ID3DXMatrixStack): a vector of matrices whose last element is the top, reference counted as
// every COM-style object here. The plain operations multiply the top on the right, the Local ones on the left.
#include <atomic>
#include <new>
#include <vector>

#include "math/D3DXMath.h"
#include "platform/d3d9/D3D9.h"

namespace {

class MatrixStack final : public ID3DXMatrixStack {
public:
    // False when the first matrix cannot be allocated.
    bool Init() {
        try {
            stack_.reserve(4);
            stack_.emplace_back();
        } catch (const std::bad_alloc&) {
            return false;
        }
        D3DXMatrixIdentity(&stack_.back());
        return true;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ID3DXMatrixStack)) {
            AddRef();
            *object = static_cast<ID3DXMatrixStack*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Pop() override {
        if (stack_.size() <= 1) return D3DERR_INVALIDCALL;
        stack_.pop_back();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE Push() override {
        try {
            const D3DXMATRIX top = stack_.back();
            stack_.push_back(top);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadIdentity() override {
        D3DXMatrixIdentity(&stack_.back());
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadMatrix(const D3DXMATRIX* m) override {
        if (!m) return D3DERR_INVALIDCALL;
        stack_.back() = *m;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE MultMatrix(const D3DXMATRIX* m) override {
        if (!m) return D3DERR_INVALIDCALL;
        return Right(*m);
    }
    HRESULT STDMETHODCALLTYPE MultMatrixLocal(const D3DXMATRIX* m) override {
        if (!m) return D3DERR_INVALIDCALL;
        return Left(*m);
    }
    HRESULT STDMETHODCALLTYPE RotateAxis(const D3DXVECTOR3* v, FLOAT angle) override {
        if (!v) return D3DERR_INVALIDCALL;
        D3DXMATRIX r;
        return Right(*D3DXMatrixRotationAxis(&r, v, angle));
    }
    HRESULT STDMETHODCALLTYPE RotateAxisLocal(const D3DXVECTOR3* v, FLOAT angle) override {
        if (!v) return D3DERR_INVALIDCALL;
        D3DXMATRIX r;
        return Left(*D3DXMatrixRotationAxis(&r, v, angle));
    }
    HRESULT STDMETHODCALLTYPE RotateYawPitchRoll(FLOAT yaw, FLOAT pitch, FLOAT roll) override {
        D3DXMATRIX r;
        return Right(*D3DXMatrixRotationYawPitchRoll(&r, yaw, pitch, roll));
    }
    HRESULT STDMETHODCALLTYPE RotateYawPitchRollLocal(FLOAT yaw, FLOAT pitch, FLOAT roll) override {
        D3DXMATRIX r;
        return Left(*D3DXMatrixRotationYawPitchRoll(&r, yaw, pitch, roll));
    }
    HRESULT STDMETHODCALLTYPE Scale(FLOAT x, FLOAT y, FLOAT z) override {
        D3DXMATRIX s;
        return Right(*D3DXMatrixScaling(&s, x, y, z));
    }
    HRESULT STDMETHODCALLTYPE ScaleLocal(FLOAT x, FLOAT y, FLOAT z) override {
        D3DXMATRIX s;
        return Left(*D3DXMatrixScaling(&s, x, y, z));
    }
    HRESULT STDMETHODCALLTYPE Translate(FLOAT x, FLOAT y, FLOAT z) override {
        D3DXMATRIX t;
        return Right(*D3DXMatrixTranslation(&t, x, y, z));
    }
    HRESULT STDMETHODCALLTYPE TranslateLocal(FLOAT x, FLOAT y, FLOAT z) override {
        D3DXMATRIX t;
        return Left(*D3DXMatrixTranslation(&t, x, y, z));
    }
    D3DXMATRIX* STDMETHODCALLTYPE GetTop() override { return &stack_.back(); }

private:
    ~MatrixStack() = default;

    // top = top * m: m applies after the top's transform.
    HRESULT Right(const D3DXMATRIX& m) {
        D3DXMatrixMultiply(&stack_.back(), &stack_.back(), &m);
        return D3D_OK;
    }
    // top = m * top: m applies first, in the top's local frame.
    HRESULT Left(const D3DXMATRIX& m) {
        D3DXMatrixMultiply(&stack_.back(), &m, &stack_.back());
        return D3D_OK;
    }

    std::vector<D3DXMATRIX> stack_;
    std::atomic<ULONG> references_{1};
};

}  // namespace

HRESULT WINAPI D3DXCreateMatrixStack(DWORD flags, ID3DXMatrixStack** ppStack) {
    if (!ppStack) return D3DERR_INVALIDCALL;
    *ppStack = nullptr;
    (void)flags;  // documented as unused
    auto* stack = new (std::nothrow) MatrixStack;
    if (!stack || !stack->Init()) {
        if (stack) stack->Release();
        return E_OUTOFMEMORY;
    }
    *ppStack = stack;
    return D3D_OK;
}
