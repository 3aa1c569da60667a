// Memory-backed resources: 2D, cube and volume textures with their levels, stand-alone surfaces, vertex and index
// buffers. Pool rules: MANAGED, SYSTEMMEM and SCRATCH are lockable; DEFAULT only when DYNAMIC (textures) or always
// (buffers, plain off-screen surfaces); render targets only when created lockable.
#include <dlfcn.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "Renderer.h"
#include "Internal.h"

namespace tarn::d3d9 {
namespace {

const char* PoolName(D3DPOOL pool) {
    switch (pool) {
    case D3DPOOL_DEFAULT:
        return "DEFAULT";
    case D3DPOOL_MANAGED:
        return "MANAGED";
    case D3DPOOL_SYSTEMMEM:
        return "SYSTEMMEM";
    case D3DPOOL_SCRATCH:
        return "SCRATCH";
    default:
        return "?";
    }
}

std::string Site(const void* address) {
    if (!address) return "";
    char text[256];
    Dl_info info{};
    if (dladdr(address, &info) && info.dli_sname) {
        std::snprintf(text, sizeof text, ", created at %p (%s)", address, info.dli_sname);
    } else if (info.dli_fname && info.dli_fbase) {
        // File and offset, as addr2line -e FILE OFFSET resolves them.
        const auto offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
        std::snprintf(text, sizeof text, ", created at %s+0x%zx", info.dli_fname, static_cast<std::size_t>(offset));
    } else {
        std::snprintf(text, sizeof text, ", created at %p", address);
    }
    return text;
}

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

// The same rule in three dimensions: blocks are 4 x 4 x 1, so the depth range only has to lie inside the volume.
bool ValidLockBox(const D3DBOX& b, UINT width, UINT height, UINT depth, const FormatLayout& layout) {
    if (b.Left >= b.Right || b.Top >= b.Bottom || b.Front >= b.Back) return false;
    if (b.Right > width || b.Bottom > height || b.Back > depth) return false;
    const UINT bw = layout.blockWidth, bh = layout.blockHeight;
    if (b.Left % bw || b.Top % bh) return false;
    if (b.Right % bw && b.Right != width) return false;
    if (b.Bottom % bh && b.Bottom != height) return false;
    return true;
}

// Levels of DEFAULT-pool textures are lockable only when DYNAMIC; render targets never.
bool LevelsLockable(D3DPOOL pool, DWORD usage) {
    return !(usage & D3DUSAGE_RENDERTARGET) && (pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC));
}

}  // namespace

// ---- ResourceCore ----

ResourceCore::ResourceCore(Device* device, D3DRESOURCETYPE type, D3DPOOL pool, DWORD usage, D3DFORMAT format)
    : device_(device), type_(type), pool_(pool), usage_(usage), format_(format) {}

ResourceCore::~ResourceCore() {
    for (PrivateDataEntry& entry : private_) {
        if (entry.object) entry.object->Release();
    }
    if (device_) device_->ResourceDying(this);
}

void ResourceCore::Untrack() { tracked_ = false; }

HRESULT ResourceCore::SetPrivate(REFGUID guid, const void* data, DWORD size, DWORD flags) {
    if (!data && size) return D3DERR_INVALIDCALL;
    if ((flags & D3DSPD_IUNKNOWN) && (size != sizeof(IUnknown*) || !data)) return D3DERR_INVALIDCALL;
    FreePrivate(guid);
    PrivateDataEntry entry;
    entry.guid = guid;
    if (flags & D3DSPD_IUNKNOWN) {
        std::memcpy(&entry.object, data, sizeof(IUnknown*));
        if (entry.object) entry.object->AddRef();
    } else {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        entry.bytes.assign(bytes, bytes + size);
    }
    private_.push_back(std::move(entry));
    return D3D_OK;
}

HRESULT ResourceCore::GetPrivate(REFGUID guid, void* data, DWORD* size) {
    if (!size) return D3DERR_INVALIDCALL;
    for (PrivateDataEntry& entry : private_) {
        if (!IsEqualGUID(entry.guid, guid)) continue;
        const DWORD needed = entry.object ? static_cast<DWORD>(sizeof(IUnknown*))
                                          : static_cast<DWORD>(entry.bytes.size());
        if (!data) {
            *size = needed;
            return D3D_OK;
        }
        if (*size < needed) {
            *size = needed;
            return D3DERR_MOREDATA;
        }
        if (entry.object) {
            entry.object->AddRef();
            std::memcpy(data, &entry.object, sizeof(IUnknown*));
        } else if (needed) {
            std::memcpy(data, entry.bytes.data(), needed);
        }
        *size = needed;
        return D3D_OK;
    }
    return D3DERR_NOTFOUND;
}

HRESULT ResourceCore::FreePrivate(REFGUID guid) {
    for (auto it = private_.begin(); it != private_.end(); ++it) {
        if (IsEqualGUID(it->guid, guid)) {
            if (it->object) it->object->Release();
            private_.erase(it);
            return D3D_OK;
        }
    }
    return D3DERR_NOTFOUND;
}

HRESULT ResourceCore::ReturnDevice(IDirect3DDevice9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = device_;
    if (!device_) return D3DERR_INVALIDCALL;
    device_->AddRef();
    return D3D_OK;
}

// ---- Surface ----

Surface::Surface(Device* device, Texture* container, UINT level, UINT width, UINT height, D3DFORMAT format,
                 D3DPOOL pool, DWORD usage, bool lockable)
    : ResourceCore(device, D3DRTYPE_SURFACE, pool, usage, format),
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
    : ResourceCore(device, D3DRTYPE_SURFACE, pool, usage, format),
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

HRESULT Surface::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDirect3DResource9) ||
        IsEqualIID(riid, IID_IDirect3DSurface9)) {
        *object = static_cast<IDirect3DSurface9*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Surface::AddRef() {
    if (container_) return container_->AddRef();
    if (cube_) return cube_->AddRef();
    return ++refs_;
}

ULONG Surface::Release() {
    if (container_) return container_->Release();
    if (cube_) return cube_->Release();
    if (refs_ == 0) return 0;
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

DWORD Surface::SetPriority(DWORD p) {
    const DWORD old = priority_;
    priority_ = p;
    return old;
}

HRESULT Surface::GetContainer(REFIID riid, void** container) {
    if (!container) return D3DERR_INVALIDCALL;
    if (container_) return container_->QueryInterface(riid, container);
    if (cube_) return cube_->QueryInterface(riid, container);
    if (device_ && IsEqualIID(riid, IID_IDirect3DDevice9)) return device_->QueryInterface(riid, container);
    *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = format_;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->MultiSampleQuality = 0;
    desc->Width = width_;
    desc->Height = height_;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (!locked) return D3DERR_INVALIDCALL;
    if (!lockable_ || locked_) {
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
    const bool whole = r.left == 0 && r.top == 0 && static_cast<UINT>(r.right) == width_ &&
                       static_cast<UINT>(r.bottom) == height_;
    const bool overwrite = whole && (flags & D3DLOCK_DISCARD) != 0 && !lockedReadOnly_;
    locked->pBits = (overwrite ? memory_.ForOverwrite() : memory_.data()) + offset;
    locked->Pitch = static_cast<INT>(pitch_);
    return D3D_OK;
}

HRESULT Surface::UnlockRect() {
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
                  Site(creator_).c_str());
    return text;
}

// ---- What the three kinds of texture share ----

template <class Interface, D3DRESOURCETYPE Type>
HRESULT TextureCore<Interface, Type>::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    const GUID& own = Type == D3DRTYPE_TEXTURE       ? IID_IDirect3DTexture9
                      : Type == D3DRTYPE_CUBETEXTURE ? IID_IDirect3DCubeTexture9
                                                     : IID_IDirect3DVolumeTexture9;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDirect3DResource9) ||
        IsEqualIID(riid, IID_IDirect3DBaseTexture9) || IsEqualIID(riid, own)) {
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

template <class Interface, D3DRESOURCETYPE Type>
ULONG TextureCore<Interface, Type>::AddRef() {
    return ++refs_;
}

template <class Interface, D3DRESOURCETYPE Type>
ULONG TextureCore<Interface, Type>::Release() {
    if (refs_ == 0) return 0;
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

template <class Interface, D3DRESOURCETYPE Type>
DWORD TextureCore<Interface, Type>::SetPriority(DWORD p) {
    const DWORD old = priority_;
    priority_ = p;
    return old;
}

template <class Interface, D3DRESOURCETYPE Type>
DWORD TextureCore<Interface, Type>::SetLOD(DWORD lod) {
    const DWORD old = lod_;
    if (pool_ == D3DPOOL_MANAGED) lod_ = std::min<DWORD>(lod, levelCount_ - 1);
    return old;
}

template <class Interface, D3DRESOURCETYPE Type>
HRESULT TextureCore<Interface, Type>::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) {
    if (filter != D3DTEXF_POINT && filter != D3DTEXF_LINEAR) return D3DERR_INVALIDCALL;
    autoGenFilter_ = filter;
    return D3D_OK;
}

template class TextureCore<IDirect3DTexture9, D3DRTYPE_TEXTURE>;
template class TextureCore<IDirect3DCubeTexture9, D3DRTYPE_CUBETEXTURE>;
template class TextureCore<IDirect3DVolumeTexture9, D3DRTYPE_VOLUMETEXTURE>;

// ---- Texture ----

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
    if (level >= levelCount() || !desc) return D3DERR_INVALIDCALL;
    return levels_[level]->GetDesc(desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
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
    if (level >= levelCount()) {
        if (locked) locked->pBits = nullptr, locked->Pitch = 0;
        return D3DERR_INVALIDCALL;
    }
    return levels_[level]->LockRect(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
    if (level >= levelCount()) return D3DERR_INVALIDCALL;
    return levels_[level]->UnlockRect();
}

HRESULT Texture::AddDirtyRect(const RECT*) {
    levels_[0]->MemoryChanged();
    return D3D_OK;
}

std::string Texture::Describe() const {
    char text[256];
    std::snprintf(text, sizeof text, "texture %s %ux%u, %u level%s%s, %s pool%s", FormatName(format_), width_,
                  height_, levelCount(), levelCount() == 1 ? "" : "s", isRenderTarget() ? ", render target" : "",
                  PoolName(pool_), Site(creator_).c_str());
    return text;
}

// ---- CubeTexture ----

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
    if (level >= levelCount() || !desc) return D3DERR_INVALIDCALL;
    return face(0, level)->GetDesc(desc);
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES faceType, UINT level, IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    Surface* s = Find(faceType, level);
    *surface = s;
    if (!s) return D3DERR_INVALIDCALL;
    AddRef();
    return D3D_OK;
}

HRESULT CubeTexture::LockRect(D3DCUBEMAP_FACES faceType, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                              DWORD flags) {
    Surface* s = Find(faceType, level);
    if (!s) {
        if (locked) locked->pBits = nullptr, locked->Pitch = 0;
        return D3DERR_INVALIDCALL;
    }
    return s->LockRect(locked, rect, flags);
}

HRESULT CubeTexture::UnlockRect(D3DCUBEMAP_FACES faceType, UINT level) {
    Surface* s = Find(faceType, level);
    return s ? s->UnlockRect() : D3DERR_INVALIDCALL;
}

// Marks the face's top level for upload; the whole face is sent again, as the dirty region's granularity here is
// a level.
HRESULT CubeTexture::AddDirtyRect(D3DCUBEMAP_FACES faceType, const RECT*) {
    Surface* s = Find(faceType, 0);
    if (!s) return D3DERR_INVALIDCALL;
    s->MemoryChanged();
    return D3D_OK;
}

std::string CubeTexture::Describe() const {
    char text[256];
    std::snprintf(text, sizeof text, "cube texture %s %ux%u, %u level%s%s, %s pool%s", FormatName(format_), edge_,
                  edge_, levelCount(), levelCount() == 1 ? "" : "s", isRenderTarget() ? ", render target" : "",
                  PoolName(pool_), Site(creator_).c_str());
    return text;
}

// ---- Volume ----

Volume::Volume(Device* device, VolumeTexture* container, UINT level, UINT width, UINT height, UINT depth,
               D3DFORMAT format, D3DPOOL pool, DWORD usage, bool lockable)
    : ResourceCore(device, D3DRTYPE_VOLUME, pool, usage, format),
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

HRESULT Volume::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDirect3DVolume9)) {
        *object = static_cast<IDirect3DVolume9*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Volume::AddRef() { return container_->AddRef(); }

ULONG Volume::Release() { return container_->Release(); }

HRESULT Volume::GetContainer(REFIID riid, void** container) {
    if (!container) return D3DERR_INVALIDCALL;
    return container_->QueryInterface(riid, container);
}

HRESULT Volume::GetDesc(D3DVOLUME_DESC* desc) {
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

// ---- VolumeTexture ----

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
    if (level >= levelCount() || !desc) return D3DERR_INVALIDCALL;
    return levels_[level]->GetDesc(desc);
}

HRESULT VolumeTexture::GetVolumeLevel(UINT level, IDirect3DVolume9** volume) {
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
    if (level >= levelCount()) {
        if (locked) locked->pBits = nullptr, locked->RowPitch = locked->SlicePitch = 0;
        return D3DERR_INVALIDCALL;
    }
    return levels_[level]->LockBox(locked, box, flags);
}

HRESULT VolumeTexture::UnlockBox(UINT level) {
    if (level >= levelCount()) return D3DERR_INVALIDCALL;
    return levels_[level]->UnlockBox();
}

// Marks the top level for upload; as with 2D textures, the region's granularity here is a level.
HRESULT VolumeTexture::AddDirtyBox(const D3DBOX*) {
    levels_[0]->MemoryChanged();
    return D3D_OK;
}

std::string VolumeTexture::Describe() const {
    char text[256];
    std::snprintf(text, sizeof text, "volume texture %s %ux%ux%u, %u level%s, %s pool%s", FormatName(format_), width_,
                  height_, depth_, levelCount(), levelCount() == 1 ? "" : "s", PoolName(pool_), Site(creator_).c_str());
    return text;
}

// ---- Buffers ----

template <class I, class D>
Buffer<I, D>::Buffer(Device* device, D3DRESOURCETYPE type, UINT length, DWORD usage, DWORD fvf, D3DFORMAT format,
                     D3DPOOL pool)
    : ResourceCore(device, type, pool, usage, format), memory_(length), fvf_(fvf) {
    dirtyBegin = 0;
    dirtyEnd = length;
    if (device_) device_->Track(this);
}

template <class I, class D>
Buffer<I, D>::~Buffer() = default;

template <class I, class D>
HRESULT Buffer<I, D>::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    const GUID& own = type_ == D3DRTYPE_VERTEXBUFFER ? IID_IDirect3DVertexBuffer9 : IID_IDirect3DIndexBuffer9;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDirect3DResource9) || IsEqualIID(riid, own)) {
        *object = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

template <class I, class D>
ULONG Buffer<I, D>::Release() {
    if (refs_ == 0) return 0;
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

template <class I, class D>
HRESULT Buffer<I, D>::Lock(UINT offset, UINT size, void** data, DWORD flags) {
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
    if (lockDepth_ == 0) return D3DERR_INVALIDCALL;
    --lockDepth_;
    return D3D_OK;
}

template <class I, class D>
HRESULT Buffer<I, D>::GetDesc(D* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    std::memset(desc, 0, sizeof *desc);
    desc->Format = format_;
    desc->Type = type_;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->Size = static_cast<UINT>(memory_.size());
    if constexpr (std::is_same_v<D, D3DVERTEXBUFFER_DESC>) desc->FVF = fvf_;
    return D3D_OK;
}

template <class I, class D>
std::string Buffer<I, D>::Describe() const {
    char text[256];
    std::snprintf(text, sizeof text, "%s %u bytes, %s, %s pool%s",
                  type_ == D3DRTYPE_VERTEXBUFFER ? "vertex buffer" : "index buffer",
                  static_cast<unsigned>(memory_.size()), FormatName(format_), PoolName(pool_),
                  Site(creator_).c_str());
    return text;
}

template class Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
template class Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

}  // namespace tarn::d3d9
