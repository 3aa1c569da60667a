// Textures.cpp: what the three kinds of texture share (TextureCore: level of detail, autogen filter) and 2D
// textures, a chain of surfaces each half the one above.
#include <algorithm>
#include <cstdio>

#include "DeviceObject.h"
#include "ResourceObjects.h"

namespace tarn::d3d9 {

template <class Interface, D3DRESOURCETYPE Type>
DWORD TextureCore<Interface, Type>::SetLOD(DWORD lod) {
    const DeviceGuard guard(this->lock_);
    const DWORD old = lod_;
    if (this->pool_ == D3DPOOL_MANAGED) lod_ = std::min<DWORD>(lod, levelCount_ - 1);
    return old;
}

template <class Interface, D3DRESOURCETYPE Type>
HRESULT TextureCore<Interface, Type>::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) {
    const DeviceGuard guard(this->lock_);
    if (filter != D3DTEXF_POINT && filter != D3DTEXF_LINEAR) return D3DERR_INVALIDCALL;
    autoGenFilter_ = filter;
    return D3D_OK;
}

template class TextureCore<IDirect3DTexture9, D3DRTYPE_TEXTURE>;
template class TextureCore<IDirect3DCubeTexture9, D3DRTYPE_CUBETEXTURE>;
template class TextureCore<IDirect3DVolumeTexture9, D3DRTYPE_VOLUMETEXTURE>;

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : TextureCore(device, levels, usage, format, pool), width_(width), height_(height) {
    const bool lockable = LevelsLockable(pool, usage);
    for (UINT i = 0; i < levels; ++i) {
        const UINT w = std::max(1u, width >> i), h = std::max(1u, height >> i);
        levels_.push_back(std::make_unique<Surface>(device, this, i, w, h, format, pool, usage, lockable));
    }
    if (device_) device_->Track(this);
}

Texture::~Texture() = default;

void Texture::Orphan() {
    device_ = nullptr;
    for (auto& level : levels_) level->Orphan();
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    const DeviceGuard guard(lock_);
    if (level >= levelCount() || !desc) return D3DERR_INVALIDCALL;
    return levels_[level]->GetDesc(desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    const DeviceGuard guard(lock_);
    if (!surface) return D3DERR_INVALIDCALL;
    if (level >= levelCount()) {
        *surface = nullptr;
        return D3DERR_INVALIDCALL;
    }
    *surface = levels_[level].get();
    AddRef();
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    const DeviceGuard guard(lock_);
    if (level >= levelCount()) {
        if (locked) locked->pBits = nullptr, locked->Pitch = 0;
        return D3DERR_INVALIDCALL;
    }
    return levels_[level]->LockRect(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
    const DeviceGuard guard(lock_);
    if (level >= levelCount()) return D3DERR_INVALIDCALL;
    return levels_[level]->UnlockRect();
}

HRESULT Texture::AddDirtyRect(const RECT*) {
    const DeviceGuard guard(lock_);
    levels_[0]->MemoryChanged();
    return D3D_OK;
}

std::string Texture::Describe() const {
    char text[256];
    std::snprintf(text, sizeof text, "texture %s %ux%u, %u level%s%s, %s pool%s", FormatName(format_), width_, height_,
                  levelCount(), levelCount() == 1 ? "" : "s", isRenderTarget() ? ", render target" : "",
                  PoolName(pool_), CreationSite(creator_).c_str());
    return text;
}

}  // namespace tarn::d3d9
