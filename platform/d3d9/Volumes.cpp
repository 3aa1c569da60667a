// Volumes.cpp: volumes, the levels of volume textures (slices of rows, row and slice pitch, box locks), and the
// volume textures that chain them.
#include <algorithm>
#include <cstdio>

#include "DeviceObject.h"
#include "ResourceObjects.h"

namespace tarn::d3d9 {
namespace {

// A lock box follows the rule of lock rectangles in three dimensions: blocks are 4 x 4 x 1, so the depth range only has
// to lie inside the volume.
bool ValidLockBox(const D3DBOX& b, UINT width, UINT height, UINT depth, const FormatLayout& layout) {
    if (b.Left >= b.Right || b.Top >= b.Bottom || b.Front >= b.Back) return false;
    if (b.Right > width || b.Bottom > height || b.Back > depth) return false;
    const UINT bw = layout.blockWidth, bh = layout.blockHeight;
    if (b.Left % bw || b.Top % bh) return false;
    if (b.Right % bw && b.Right != width) return false;
    if (b.Bottom % bh && b.Bottom != height) return false;
    return true;
}

}  // namespace

Volume::Volume(Device* device, VolumeTexture* container, UINT level, UINT width, UINT height, UINT depth,
               D3DFORMAT format, D3DPOOL pool, DWORD usage, bool lockable)
    : ComResource(device, D3DRTYPE_VOLUME, pool, usage, format, container),
      container_(container),
      level_(level),
      width_(width),
      height_(height),
      depth_(depth),
      layout_(FindLayout(format)),
      rowPitch_(RowPitch(*layout_, width)),
      slicePitch_(static_cast<UINT>(LevelBytes(*layout_, width, height))),
      memory_(static_cast<std::size_t>(slicePitch_) * depth),
      lockable_(lockable) {
    Untrack();  // the volume texture stands for its levels in leak reports
}

Volume::~Volume() = default;

HRESULT Volume::GetContainer(REFIID riid, void** container) {
    const DeviceGuard guard(lock_);
    if (!container) return D3DERR_INVALIDCALL;
    return container_->QueryInterface(riid, container);
}

HRESULT Volume::GetDesc(D3DVOLUME_DESC* desc) {
    const DeviceGuard guard(lock_);
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = format_;
    desc->Type = D3DRTYPE_VOLUME;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->Width = width_;
    desc->Height = height_;
    desc->Depth = depth_;
    return D3D_OK;
}

HRESULT Volume::LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
    const DeviceGuard guard(lock_);
    if (!locked) return D3DERR_INVALIDCALL;
    const D3DBOX b = box ? *box : D3DBOX{0, 0, width_, height_, 0, depth_};
    if (!lockable_ || locked_ || !ValidLockBox(b, width_, height_, depth_, *layout_)) {
        locked->pBits = nullptr;
        locked->RowPitch = locked->SlicePitch = 0;
        return D3DERR_INVALIDCALL;
    }
    locked_ = true;
    lockedReadOnly_ = (flags & D3DLOCK_READONLY) != 0;
    const std::size_t offset = static_cast<std::size_t>(b.Front) * slicePitch_ +
                               static_cast<std::size_t>(b.Top / layout_->blockHeight) * rowPitch_ +
                               static_cast<std::size_t>(b.Left / layout_->blockWidth) * layout_->bytesPerBlock;
    // As with surfaces, a discarding lock of the whole volume hands out memory without zero-filling it first.
    const bool whole =
        b.Left == 0 && b.Top == 0 && b.Front == 0 && b.Right == width_ && b.Bottom == height_ && b.Back == depth_;
    const bool overwrite = whole && (flags & D3DLOCK_DISCARD) != 0 && !lockedReadOnly_;
    locked->pBits = (overwrite ? memory_.ForOverwrite() : memory_.data()) + offset;
    locked->RowPitch = static_cast<INT>(rowPitch_);
    locked->SlicePitch = static_cast<INT>(slicePitch_);
    return D3D_OK;
}

HRESULT Volume::UnlockBox() {
    const DeviceGuard guard(lock_);
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (!lockedReadOnly_) MemoryChanged();
    return D3D_OK;
}

void Volume::MemoryChanged() {
    fresh = Fresh::MemoryNewer;
    if (container_) container_->uploadPending = true;
}

std::string Volume::Describe() const {
    char text[256];
    std::snprintf(text, sizeof text, "volume %s %ux%ux%u, %s pool", layout_->name, width_, height_, depth_,
                  PoolName(pool_));
    return text;
}

VolumeTexture::VolumeTexture(Device* device, UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                             D3DFORMAT format, D3DPOOL pool)
    : TextureCore(device, levels, usage, format, pool), width_(width), height_(height), depth_(depth) {
    const bool lockable = LevelsLockable(pool, usage);
    for (UINT i = 0; i < levels; ++i) {
        const UINT w = std::max(1u, width >> i), h = std::max(1u, height >> i), d = std::max(1u, depth >> i);
        levels_.push_back(std::make_unique<Volume>(device, this, i, w, h, d, format, pool, usage, lockable));
    }
    if (device_) device_->Track(this);
}

VolumeTexture::~VolumeTexture() = default;

void VolumeTexture::Orphan() {
    device_ = nullptr;
    for (auto& level : levels_) level->Orphan();
}

HRESULT VolumeTexture::GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) {
    const DeviceGuard guard(lock_);
    if (level >= levelCount() || !desc) return D3DERR_INVALIDCALL;
    return levels_[level]->GetDesc(desc);
}

HRESULT VolumeTexture::GetVolumeLevel(UINT level, IDirect3DVolume9** volume) {
    const DeviceGuard guard(lock_);
    if (!volume) return D3DERR_INVALIDCALL;
    if (level >= levelCount()) {
        *volume = nullptr;
        return D3DERR_INVALIDCALL;
    }
    *volume = levels_[level].get();
    AddRef();
    return D3D_OK;
}

HRESULT VolumeTexture::LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
    const DeviceGuard guard(lock_);
    if (level >= levelCount()) {
        if (locked) locked->pBits = nullptr, locked->RowPitch = locked->SlicePitch = 0;
        return D3DERR_INVALIDCALL;
    }
    return levels_[level]->LockBox(locked, box, flags);
}

HRESULT VolumeTexture::UnlockBox(UINT level) {
    const DeviceGuard guard(lock_);
    if (level >= levelCount()) return D3DERR_INVALIDCALL;
    return levels_[level]->UnlockBox();
}

// Marks the top level for upload; as with 2D textures, the region's granularity here is a level.
HRESULT VolumeTexture::AddDirtyBox(const D3DBOX*) {
    const DeviceGuard guard(lock_);
    levels_[0]->MemoryChanged();
    return D3D_OK;
}

std::string VolumeTexture::Describe() const {
    char text[256];
    std::snprintf(text, sizeof text, "volume texture %s %ux%ux%u, %u level%s, %s pool%s", FormatName(format_), width_,
                  height_, depth_, levelCount(), levelCount() == 1 ? "" : "s", PoolName(pool_),
                  CreationSite(creator_).c_str());
    return text;
}

}  // namespace tarn::d3d9
