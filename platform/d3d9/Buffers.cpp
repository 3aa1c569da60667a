// Buffers.cpp: vertex and index buffers, memory with a byte range written since the backend's copy was last
// refreshed. Every pool locks them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "DeviceObject.h"
#include "ResourceObjects.h"

namespace tarn::d3d9 {

template <class I, class D>
Buffer<I, D>::Buffer(Device* device, D3DRESOURCETYPE type, UINT length, DWORD usage, DWORD fvf, D3DFORMAT format,
                     D3DPOOL pool)
    : ComResource9<I>(device, type, pool, usage, format), memory_(length), fvf_(fvf) {
    dirtyBegin = 0;
    dirtyEnd = length;
    if (this->device_) this->device_->Track(this);
}

template <class I, class D>
Buffer<I, D>::~Buffer() = default;

template <class I, class D>
HRESULT Buffer<I, D>::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    const DeviceGuard guard(this->lock_);
    if (!data) return D3DERR_INVALIDCALL;
    const UINT length = static_cast<UINT>(memory_.size());
    if (size == 0 && offset == 0) size = length;
    if (offset > length || size > length - offset) {
        *data = nullptr;
        return D3DERR_INVALIDCALL;
    }
    if (size == 0) size = length - offset;
    ++lockDepth_;
    *data = memory_.data() + offset;
    if (!(flags & D3DLOCK_READONLY)) {
        if (dirtyEnd <= dirtyBegin) {
            dirtyBegin = offset;
            dirtyEnd = offset + size;
        } else {
            dirtyBegin = std::min(dirtyBegin, offset);
            dirtyEnd = std::max(dirtyEnd, offset + size);
        }
    }
    return D3D_OK;
}

template <class I, class D>
HRESULT Buffer<I, D>::Unlock() {
    const DeviceGuard guard(this->lock_);
    if (lockDepth_ == 0) return D3DERR_INVALIDCALL;
    --lockDepth_;
    return D3D_OK;
}

template <class I, class D>
HRESULT Buffer<I, D>::GetDesc(D* desc) {
    const DeviceGuard guard(this->lock_);
    if (!desc) return D3DERR_INVALIDCALL;
    std::memset(desc, 0, sizeof *desc);
    desc->Format = this->format_;
    desc->Type = this->type_;
    desc->Usage = this->usage_;
    desc->Pool = this->pool_;
    desc->Size = static_cast<UINT>(memory_.size());
    if constexpr (std::is_same_v<D, D3DVERTEXBUFFER_DESC>) desc->FVF = fvf_;
    return D3D_OK;
}

template <class I, class D>
std::string Buffer<I, D>::Describe() const {
    char text[256];
    std::snprintf(text, sizeof text, "%s %u bytes, %s, %s pool%s",
                  this->type_ == D3DRTYPE_VERTEXBUFFER ? "vertex buffer" : "index buffer",
                  static_cast<unsigned>(memory_.size()), FormatName(this->format_), PoolName(this->pool_),
                  CreationSite(this->creator_).c_str());
    return text;
}

template class Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
template class Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

}  // namespace tarn::d3d9
