// CubeTextures.cpp: cube textures, six square faces with the same chain of levels, each level of each face a
// surface whose container is the cube.
#include <algorithm>
#include <cstdio>

#include "DeviceObject.h"
#include "ResourceObjects.h"

namespace tarn::d3d9 {

CubeTexture::CubeTexture(Device* device, UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : TextureCore(device, levels, usage, format, pool), edge_(edge) {
    const bool lockable = LevelsLockable(pool, usage);
    faces_.reserve(static_cast<std::size_t>(kFaces) * levels);
    for (UINT f = 0; f < kFaces; ++f) {
        for (UINT i = 0; i < levels; ++i) {
            faces_.push_back(std::make_unique<Surface>(device, this, static_cast<D3DCUBEMAP_FACES>(f), i,
                                                       std::max(1u, edge >> i), format, pool, usage, lockable));
        }
    }
    if (device_) device_->Track(this);
}

CubeTexture::~CubeTexture() = default;

void CubeTexture::Orphan() {
    device_ = nullptr;
    for (auto& face : faces_) face->Orphan();
}

Surface* CubeTexture::Find(D3DCUBEMAP_FACES face, UINT level) const {
    if (static_cast<UINT>(face) >= kFaces || level >= levelCount()) return nullptr;
    return this->face(static_cast<UINT>(face), level);
}

HRESULT CubeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    const DeviceGuard guard(lock_);
    if (level >= levelCount() || !desc) return D3DERR_INVALIDCALL;
    return face(0, level)->GetDesc(desc);
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES faceType, UINT level, IDirect3DSurface9** surface) {
    const DeviceGuard guard(lock_);
    if (!surface) return D3DERR_INVALIDCALL;
    Surface* s = Find(faceType, level);
    *surface = s;
    if (!s) return D3DERR_INVALIDCALL;
    AddRef();
    return D3D_OK;
}

HRESULT CubeTexture::LockRect(D3DCUBEMAP_FACES faceType, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                              DWORD flags) {
    const DeviceGuard guard(lock_);
    Surface* s = Find(faceType, level);
    if (!s) {
        if (locked) locked->pBits = nullptr, locked->Pitch = 0;
        return D3DERR_INVALIDCALL;
    }
    return s->LockRect(locked, rect, flags);
}

HRESULT CubeTexture::UnlockRect(D3DCUBEMAP_FACES faceType, UINT level) {
    const DeviceGuard guard(lock_);
    Surface* s = Find(faceType, level);
    return s ? s->UnlockRect() : D3DERR_INVALIDCALL;
}

// Marks the face's top level for upload; the whole face is sent again, as the dirty region's granularity here is
// a level.
HRESULT CubeTexture::AddDirtyRect(D3DCUBEMAP_FACES faceType, const RECT*) {
    const DeviceGuard guard(lock_);
    Surface* s = Find(faceType, 0);
    if (!s) return D3DERR_INVALIDCALL;
    s->MemoryChanged();
    return D3D_OK;
}

std::string CubeTexture::Describe() const {
    char text[256];
    std::snprintf(text, sizeof text, "cube texture %s %ux%u, %u level%s%s, %s pool%s", FormatName(format_), edge_,
                  edge_, levelCount(), levelCount() == 1 ? "" : "s", isRenderTarget() ? ", render target" : "",
                  PoolName(pool_), CreationSite(creator_).c_str());
    return text;
}

}  // namespace tarn::d3d9
