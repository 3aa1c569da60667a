// Surfaces.cpp: surfaces, the 2D images of the layer (a texture level, a cube face's level, or a stand-alone back
// buffer, depth buffer, render target or plain surface): description, locks and which copy of the pixels is
// current. Pool rules: MANAGED, SYSTEMMEM and SCRATCH lock; DEFAULT only plain off-screen surfaces, dynamic
// texture levels and render targets created lockable.
#include <cstdio>

#include "DeviceObject.h"
#include "ResourceObjects.h"

namespace tarn::d3d9 {
namespace {

// A lock rectangle must lie inside the level and, for block formats, start on a block boundary and end on one
// or on the level's edge.
bool ValidLockRect(const RECT& r, UINT width, UINT height, const FormatLayout& layout) {
    if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom) return false;
    if (static_cast<UINT>(r.right) > width || static_cast<UINT>(r.bottom) > height) return false;
    const LONG bw = layout.blockWidth, bh = layout.blockHeight;
    if (r.left % bw || r.top % bh) return false;
    if (r.right % bw && static_cast<UINT>(r.right) != width) return false;
    if (r.bottom % bh && static_cast<UINT>(r.bottom) != height) return false;
    return true;
}

}  // namespace

Surface::Surface(Device* device, Texture* container, UINT level, UINT width, UINT height, D3DFORMAT format,
                 D3DPOOL pool, DWORD usage, bool lockable)
    : ComResource9(device, D3DRTYPE_SURFACE, pool, usage, format, container),
      container_(container),
      level_(level),
      width_(width),
      height_(height),
      layout_(FindLayout(format)),
      pitch_(RowPitch(*layout_, width)),
      memory_(LevelBytes(*layout_, width, height)),
      lockable_(lockable) {
    if (container_) {
        Untrack();  // the texture stands for its levels in leak reports
    } else if (device_) {
        device_->Track(this);
    }
}

Surface::Surface(Device* device, CubeTexture* cube, D3DCUBEMAP_FACES face, UINT level, UINT edge, D3DFORMAT format,
                 D3DPOOL pool, DWORD usage, bool lockable)
    : ComResource9(device, D3DRTYPE_SURFACE, pool, usage, format, cube),
      container_(nullptr),
      cube_(cube),
      face_(face),
      level_(level),
      width_(edge),
      height_(edge),
      layout_(FindLayout(format)),
      pitch_(RowPitch(*layout_, edge)),
      memory_(LevelBytes(*layout_, edge, edge)),
      lockable_(lockable) {
    Untrack();  // the cube texture stands for its faces in leak reports
}

Surface::~Surface() = default;

void Surface::MarkDeviceOwned() { deviceOwned_ = true; }

HRESULT Surface::GetContainer(REFIID riid, void** container) {
    const DeviceGuard guard(lock_);
    if (!container) return D3DERR_INVALIDCALL;
    if (container_) return container_->QueryInterface(riid, container);
    if (cube_) return cube_->QueryInterface(riid, container);
    if (device_ && IsEqualIID(riid, IID_IDirect3DDevice9)) return device_->QueryInterface(riid, container);
    *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    const DeviceGuard guard(lock_);
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = format_;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->MultiSampleType = multiSample_;
    desc->MultiSampleQuality = quality_;
    desc->Width = width_;
    desc->Height = height_;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    const DeviceGuard guard(lock_);
    if (!locked) return D3DERR_INVALIDCALL;
    // A multisampled surface has no one value per pixel to hand out.
    if (!lockable_ || locked_ || samples_ > 1) {
        locked->pBits = nullptr;
        locked->Pitch = 0;
        return D3DERR_INVALIDCALL;
    }
    RECT r = rect ? *rect : RECT{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
    if (!ValidLockRect(r, width_, height_, *layout_)) {
        locked->pBits = nullptr;
        locked->Pitch = 0;
        return D3DERR_INVALIDCALL;
    }
    if (fresh == Fresh::GpuNewer) SyncToMemory();
    locked_ = true;
    lockedReadOnly_ = (flags & D3DLOCK_READONLY) != 0;
    const std::size_t offset = static_cast<std::size_t>(r.top / layout_->blockHeight) * pitch_ +
                               static_cast<std::size_t>(r.left / layout_->blockWidth) * layout_->bytesPerBlock;
    // After a discarding lock of the whole surface its contents are undefined until written, as Direct3D 9 has it:
    // memory never touched is handed out without being zero-filled first.
    const bool whole =
        r.left == 0 && r.top == 0 && static_cast<UINT>(r.right) == width_ && static_cast<UINT>(r.bottom) == height_;
    const bool overwrite = whole && (flags & D3DLOCK_DISCARD) != 0 && !lockedReadOnly_;
    locked->pBits = (overwrite ? memory_.ForOverwrite() : memory_.data()) + offset;
    locked->Pitch = static_cast<INT>(pitch_);
    return D3D_OK;
}

HRESULT Surface::UnlockRect() {
    const DeviceGuard guard(lock_);
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (!lockedReadOnly_) MemoryChanged();
    return D3D_OK;
}

void Surface::SyncToMemory() {
    if (fresh != Fresh::GpuNewer) return;
    Device* owner = device_;
    if (owner) owner->ReadBack(this);
    fresh = Fresh::Both;
}

void Surface::MemoryChanged() {
    fresh = Fresh::MemoryNewer;
    if (container_) container_->uploadPending = true;
    if (cube_) cube_->uploadPending = true;
}

std::string Surface::Describe() const {
    char text[256];
    std::snprintf(text, sizeof text, "surface %s %ux%u%s%s, %s pool%s", layout_->name, width_, height_,
                  isRenderTarget() ? ", render target" : "", isDepth() ? ", depth-stencil" : "", PoolName(pool_),
                  CreationSite(creator_).c_str());
    return text;
}

}  // namespace tarn::d3d9
