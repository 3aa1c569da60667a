// The memory-backed resources behind the Direct3D 9 resource interfaces: surfaces, 2D, cube and volume textures,
// volumes, vertex and index buffers, with what they share (device link, leak record, private data, reference
// count). The resource units (Surfaces.cpp, Textures.cpp, ...) define them; the backends read their memory.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/d3d9/D3D9.h"
#include "DeviceLock.h"
#include "Formats.h"

namespace tarn::d3d9 {

class Device;
class Texture;
class CubeTexture;
class VolumeTexture;

// Resource memory that reads as zero until written, as a fresh resource reads. The zero-fill is done on the
// first access rather than at creation, so that a caller that overwrites every byte before reading any (a lock of
// a whole surface with D3DLOCK_DISCARD) does not have the memory written twice. Throws std::bad_alloc like the
// containers it replaces.
class ZeroedBytes {
public:
    explicit ZeroedBytes(std::size_t size)
        : data_(static_cast<std::uint8_t*>(std::malloc(size ? size : 1))), size_(size) {
        if (!data_) throw std::bad_alloc();
    }
    ~ZeroedBytes() { std::free(data_); }
    ZeroedBytes(const ZeroedBytes&) = delete;
    ZeroedBytes& operator=(const ZeroedBytes&) = delete;
    std::uint8_t* data() {
        Fill();
        return data_;
    }
    const std::uint8_t* data() const {
        Fill();
        return data_;
    }
    // For a caller that writes every byte before anything reads them: never-touched memory is not zero-filled.
    std::uint8_t* ForOverwrite() {
        filled_ = true;
        return data_;
    }
    std::size_t size() const { return size_; }

private:
    void Fill() const {
        if (filled_) return;
        std::memset(data_, 0, size_);
        filled_ = true;
    }

    std::uint8_t* data_;
    std::size_t size_;
    mutable bool filled_ = false;
};

// Private data attached with SetPrivateData.
struct PrivateDataEntry {
    GUID guid;
    std::vector<std::uint8_t> bytes;
    IUnknown* object = nullptr;  // D3DSPD_IUNKNOWN: held with a reference
};

// Which copy of a resource's pixels or bytes is current.
enum class Fresh : std::uint8_t { Both, MemoryNewer, GpuNewer };

// What every resource shares: the device link, leak-tracking record and private data, and the device's lock when
// it is multithreaded (every call of the resource's interface holds it: `const DeviceGuard guard(lock_);`).
class ResourceCore {
public:
    ResourceCore(Device* device, D3DRESOURCETYPE type, D3DPOOL pool, DWORD usage, D3DFORMAT format);
    virtual ~ResourceCore();
    ResourceCore(const ResourceCore&) = delete;
    ResourceCore& operator=(const ResourceCore&) = delete;

    Device* device() const { return device_; }
    virtual void Orphan() { device_ = nullptr; }
    D3DRESOURCETYPE type() const { return type_; }
    D3DPOOL pool() const { return pool_; }
    DWORD usage() const { return usage_; }
    D3DFORMAT format() const { return format_; }
    virtual std::string Describe() const = 0;
    // The object's own reference count (a level's or face's is its container's, and reads 0 here).
    virtual ULONG ownReferences() const = 0;
    bool tracked() const { return tracked_; }
    void setCreator(const void* address) { creator_ = address; }
    const void* creator() const { return creator_; }

protected:
    HRESULT SetPrivate(REFGUID guid, const void* data, DWORD size, DWORD flags);
    HRESULT GetPrivate(REFGUID guid, void* data, DWORD* size);
    HRESULT FreePrivate(REFGUID guid);
    HRESULT ReturnDevice(IDirect3DDevice9** out);
    void Untrack();

    Device* device_;
    DeviceLockRef lock_;  // kept when the device orphans the resource
    D3DRESOURCETYPE type_;
    D3DPOOL pool_;
    DWORD usage_;
    D3DFORMAT format_;
    DWORD priority_ = 0;
    bool tracked_ = true;
    const void* creator_ = nullptr;
    std::vector<PrivateDataEntry> private_;
};

// The interface identifier of each resource interface the layer implements.
template <class Interface>
constexpr const GUID& InterfaceId() {
    if constexpr (std::is_same_v<Interface, IDirect3DSurface9>)
        return IID_IDirect3DSurface9;
    else if constexpr (std::is_same_v<Interface, IDirect3DVolume9>)
        return IID_IDirect3DVolume9;
    else if constexpr (std::is_same_v<Interface, IDirect3DTexture9>)
        return IID_IDirect3DTexture9;
    else if constexpr (std::is_same_v<Interface, IDirect3DCubeTexture9>)
        return IID_IDirect3DCubeTexture9;
    else if constexpr (std::is_same_v<Interface, IDirect3DVolumeTexture9>)
        return IID_IDirect3DVolumeTexture9;
    else if constexpr (std::is_same_v<Interface, IDirect3DVertexBuffer9>)
        return IID_IDirect3DVertexBuffer9;
    else
        return IID_IDirect3DIndexBuffer9;
}

// The calls every resource object answers the same way, written once: QueryInterface (the interface, its bases
// and IUnknown), the reference count (its own, or its container's for a level or face, which lives as long as the
// container), the device and private data. Surfaces, volumes, textures and buffers derive from it.
template <class Interface>
class ComResource : public Interface, public ResourceCore {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        const DeviceGuard guard(this->lock_);
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, InterfaceId<Interface>()) ||
            (std::is_base_of_v<IDirect3DResource9, Interface> && IsEqualIID(riid, IID_IDirect3DResource9)) ||
            (std::is_base_of_v<IDirect3DBaseTexture9, Interface> && IsEqualIID(riid, IID_IDirect3DBaseTexture9))) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        const DeviceGuard guard(this->lock_);
        return countOwner_ ? countOwner_->AddRef() : ++refs_;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const DeviceGuard guard(this->lock_);
        if (countOwner_) return countOwner_->Release();
        if (refs_ == 0) return 0;
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override {
        const DeviceGuard guard(this->lock_);
        return ReturnDevice(device);
    }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID g, const void* d, DWORD s, DWORD f) override {
        const DeviceGuard guard(this->lock_);
        return SetPrivate(g, d, s, f);
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID g, void* d, DWORD* s) override {
        const DeviceGuard guard(this->lock_);
        return GetPrivate(g, d, s);
    }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID g) override {
        const DeviceGuard guard(this->lock_);
        return FreePrivate(g);
    }

    // The object's own count (1 while only its creator holds it); a level's or face's is its container's.
    ULONG refs() const { return refs_; }
    ULONG ownReferences() const override { return countOwner_ ? 0 : refs_; }

protected:
    // `countOwner`: the container whose count a level or face shares; null for an object counted on its own.
    ComResource(Device* device, D3DRESOURCETYPE type, D3DPOOL pool, DWORD usage, D3DFORMAT format,
                IUnknown* countOwner = nullptr)
        : ResourceCore(device, type, pool, usage, format), countOwner_(countOwner) {}

private:
    IUnknown* countOwner_;
    ULONG refs_ = 1;
};

// ComResource plus the IDirect3DResource9 calls (priority, preload, type) that every resource but a volume has.
template <class Interface>
class ComResource9 : public ComResource<Interface> {
public:
    DWORD STDMETHODCALLTYPE SetPriority(DWORD p) override {
        const DeviceGuard guard(this->lock_);
        const DWORD old = this->priority_;
        this->priority_ = p;
        return old;
    }
    DWORD STDMETHODCALLTYPE GetPriority() override {
        const DeviceGuard guard(this->lock_);
        return this->priority_;
    }
    // Resources are uploaded when drawn with: nothing is done ahead, so nothing is touched or locked.
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override {
        const DeviceGuard guard(this->lock_);
        return this->type_;
    }

protected:
    using ComResource<Interface>::ComResource;
};

// One 2D image: a texture level, a cube face's level or a stand-alone surface (back buffer, depth buffer, render
// target, plain). A level or face shares its container's reference count.
class Surface final : public ComResource9<IDirect3DSurface9> {
public:
    Surface(Device* device, Texture* container, UINT level, UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
            DWORD usage, bool lockable);
    // Level `level` of face `face` of a cube texture.
    Surface(Device* device, CubeTexture* cube, D3DCUBEMAP_FACES face, UINT level, UINT edge, D3DFORMAT format,
            D3DPOOL pool, DWORD usage, bool lockable);
    ~Surface() override;

    HRESULT STDMETHODCALLTYPE GetContainer(REFIID riid, void** container) override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect() override;
    // No device contexts are handed out, so none can be given back either (nothing is touched or locked).
    HRESULT STDMETHODCALLTYPE GetDC(HDC* dc) override { return dc ? E_NOTIMPL : D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC) override { return D3DERR_INVALIDCALL; }

    std::string Describe() const override;

    UINT width() const { return width_; }
    UINT height() const { return height_; }
    UINT level() const { return level_; }
    // The 2D texture this surface is a level of; null for cube faces and stand-alone surfaces.
    Texture* container() const { return container_; }
    // The cube texture this surface is a face of, and which face; null / +X otherwise.
    CubeTexture* cube() const { return cube_; }
    D3DCUBEMAP_FACES face() const { return face_; }
    // True for a level of any texture (2D or cube), false for a stand-alone surface.
    bool inTexture() const { return container_ != nullptr || cube_ != nullptr; }
    const FormatLayout& layout() const { return *layout_; }
    UINT pitch() const { return pitch_; }
    std::uint8_t* bits() { return memory_.data(); }
    const std::uint8_t* bits() const { return memory_.data(); }
    bool locked() const { return locked_; }
    bool lockable() const { return lockable_; }
    bool isRenderTarget() const { return (usage_ & D3DUSAGE_RENDERTARGET) != 0; }
    bool isDepth() const { return (usage_ & D3DUSAGE_DEPTHSTENCIL) != 0; }
    // Device-owned surfaces (implicit back buffer and depth buffer) never count as leaks.
    void MarkDeviceOwned();
    bool deviceOwned() const { return deviceOwned_; }
    // A multisampled render target or depth surface: its type and quality as created, and the samples the
    // backend draws it with (1 when not multisampled). Such a surface never locks; the backend resolves it when
    // it is read.
    void SetMultisample(D3DMULTISAMPLE_TYPE type, DWORD quality, UINT samples) {
        multiSample_ = type;
        quality_ = quality;
        samples_ = samples;
    }
    D3DMULTISAMPLE_TYPE multiSample() const { return multiSample_; }
    DWORD multiSampleQuality() const { return quality_; }
    UINT samples() const { return samples_; }

    // Brings memory up to date with the GPU copy (render targets drawn into) before the CPU reads it.
    void SyncToMemory();
    // Memory was written by the CPU: the GPU copy must be refreshed before use.
    void MemoryChanged();
    Fresh fresh = Fresh::Both;

private:
    Texture* container_;
    CubeTexture* cube_ = nullptr;
    D3DCUBEMAP_FACES face_ = D3DCUBEMAP_FACE_POSITIVE_X;
    UINT level_;
    UINT width_, height_;
    const FormatLayout* layout_;
    UINT pitch_;
    ZeroedBytes memory_;
    bool lockable_;
    bool locked_ = false;
    bool lockedReadOnly_ = false;
    bool deviceOwned_ = false;
    D3DMULTISAMPLE_TYPE multiSample_ = D3DMULTISAMPLE_NONE;
    DWORD quality_ = 0;
    UINT samples_ = 1;
};

// What the three kinds of texture share: one reference count for the texture and all its levels and faces, the
// resource and base-texture calls, and the flag that some level's memory is newer than the GPU copy.
template <class Interface, D3DRESOURCETYPE Type>
class TextureCore : public ComResource9<Interface> {
public:
    DWORD STDMETHODCALLTYPE SetLOD(DWORD lod) override;
    DWORD STDMETHODCALLTYPE GetLOD() override {
        const DeviceGuard guard(this->lock_);
        return lod_;
    }
    DWORD STDMETHODCALLTYPE GetLevelCount() override {
        const DeviceGuard guard(this->lock_);
        return levelCount_;
    }
    HRESULT STDMETHODCALLTYPE SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) override;
    D3DTEXTUREFILTERTYPE STDMETHODCALLTYPE GetAutoGenFilterType() override {
        const DeviceGuard guard(this->lock_);
        return autoGenFilter_;
    }
    // Such textures have one level here: there is nothing to make (nothing is touched, so nothing is locked).
    void STDMETHODCALLTYPE GenerateMipSubLevels() override {}

    UINT levelCount() const { return levelCount_; }
    bool isRenderTarget() const { return (this->usage_ & D3DUSAGE_RENDERTARGET) != 0; }
    // True when some level's memory is newer than the GPU copy.
    bool uploadPending = false;

protected:
    TextureCore(Device* device, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
        : ComResource9<Interface>(device, Type, pool, usage, format), levelCount_(levels) {}

private:
    UINT levelCount_;
    DWORD lod_ = 0;
    D3DTEXTUREFILTERTYPE autoGenFilter_ = D3DTEXF_LINEAR;
};

class Texture final : public TextureCore<IDirect3DTexture9, D3DRTYPE_TEXTURE> {
public:
    Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~Texture() override;

    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyRect(const RECT* rect) override;

    std::string Describe() const override;
    void Orphan() override;

    UINT width() const { return width_; }
    UINT height() const { return height_; }
    Surface* level(UINT i) const { return levels_[i].get(); }

private:
    UINT width_, height_;
    std::vector<std::unique_ptr<Surface>> levels_;
};

// Six square faces, each with the same chain of levels; face(f, level) is a Surface whose container is this cube.
class CubeTexture final : public TextureCore<IDirect3DCubeTexture9, D3DRTYPE_CUBETEXTURE> {
public:
    CubeTexture(Device* device, UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~CubeTexture() override;

    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level,
                                                IDirect3DSurface9** surface) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                                       DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyRect(D3DCUBEMAP_FACES face, const RECT* rect) override;

    std::string Describe() const override;
    void Orphan() override;

    static constexpr UINT kFaces = 6;
    UINT edge() const { return edge_; }
    // Face `f` (a D3DCUBEMAP_FACES value, 0..5) at level `level`; both must be in range. Every face and level of a
    // render-target cube is a render target (default pool only).
    Surface* face(UINT f, UINT level) const { return faces_[static_cast<std::size_t>(f) * levelCount() + level].get(); }

private:
    // The face's surface, or null when `face` or `level` is out of range.
    Surface* Find(D3DCUBEMAP_FACES face, UINT level) const;

    UINT edge_;
    std::vector<std::unique_ptr<Surface>> faces_;  // face-major: all levels of +X, then -X, ...
};

// One level of a volume texture: `depth` slices of `height` rows. Block formats store rows of 4 x 4 blocks per
// slice. Shares its container's reference count.
class Volume final : public ComResource<IDirect3DVolume9> {
public:
    Volume(Device* device, VolumeTexture* container, UINT level, UINT width, UINT height, UINT depth, D3DFORMAT format,
           D3DPOOL pool, DWORD usage, bool lockable);
    ~Volume() override;

    HRESULT STDMETHODCALLTYPE GetContainer(REFIID riid, void** container) override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DVOLUME_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockBox() override;

    std::string Describe() const override;

    UINT width() const { return width_; }
    UINT height() const { return height_; }
    UINT depth() const { return depth_; }
    UINT level() const { return level_; }
    VolumeTexture* container() const { return container_; }
    const FormatLayout& layout() const { return *layout_; }
    UINT rowPitch() const { return rowPitch_; }      // bytes from one row of blocks to the next
    UINT slicePitch() const { return slicePitch_; }  // bytes from one slice to the next
    std::uint8_t* bits() { return memory_.data(); }
    const std::uint8_t* bits() const { return memory_.data(); }
    std::size_t byteSize() const { return memory_.size(); }
    bool locked() const { return locked_; }
    bool lockable() const { return lockable_; }

    // Memory was written by the CPU: the GPU copy must be refreshed before use.
    void MemoryChanged();
    Fresh fresh = Fresh::Both;

private:
    VolumeTexture* container_;
    UINT level_;
    UINT width_, height_, depth_;
    const FormatLayout* layout_;
    UINT rowPitch_;
    UINT slicePitch_;
    ZeroedBytes memory_;
    bool lockable_;
    bool locked_ = false;
    bool lockedReadOnly_ = false;
};

// A chain of volumes, each level half the one above in every dimension (at least 1).
class VolumeTexture final : public TextureCore<IDirect3DVolumeTexture9, D3DRTYPE_VOLUMETEXTURE> {
public:
    VolumeTexture(Device* device, UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                  D3DPOOL pool);
    ~VolumeTexture() override;

    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE GetVolumeLevel(UINT level, IDirect3DVolume9** volume) override;
    HRESULT STDMETHODCALLTYPE LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockBox(UINT level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyBox(const D3DBOX* box) override;

    std::string Describe() const override;
    void Orphan() override;

    UINT width() const { return width_; }
    UINT height() const { return height_; }
    UINT depth() const { return depth_; }
    Volume* level(UINT i) const { return levels_[i].get(); }

private:
    UINT width_, height_, depth_;
    std::vector<std::unique_ptr<Volume>> levels_;
};

// Defined once, in Textures.cpp.
extern template class TextureCore<IDirect3DTexture9, D3DRTYPE_TEXTURE>;
extern template class TextureCore<IDirect3DCubeTexture9, D3DRTYPE_CUBETEXTURE>;
extern template class TextureCore<IDirect3DVolumeTexture9, D3DRTYPE_VOLUMETEXTURE>;

// Vertex and index buffers share everything but their description.
template <class Interface, class Desc>
class Buffer final : public ComResource9<Interface> {
public:
    Buffer(Device* device, D3DRESOURCETYPE type, UINT length, DWORD usage, DWORD fvf, D3DFORMAT format, D3DPOOL pool);
    ~Buffer() override;

    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
    HRESULT STDMETHODCALLTYPE GetDesc(Desc* desc) override;

    std::string Describe() const override;

    UINT length() const { return static_cast<UINT>(memory_.size()); }
    const std::uint8_t* bytes() const { return memory_.data(); }
    DWORD fvf() const { return fvf_; }
    // Byte range written since the GPU copy was last refreshed (empty when dirtyEnd <= dirtyBegin).
    UINT dirtyBegin = 0, dirtyEnd = 0;

private:
    ZeroedBytes memory_;
    DWORD fvf_;
    int lockDepth_ = 0;
};

using VertexBuffer = Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
using IndexBuffer = Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

// The layer's own object behind an interface pointer, or null for a foreign object or one of another device.
inline Texture* OwnTexture(IDirect3DBaseTexture9* texture, const Device* device) {
    auto* t = texture ? dynamic_cast<Texture*>(texture) : nullptr;
    return t && t->device() == device ? t : nullptr;
}

inline CubeTexture* OwnCubeTexture(IDirect3DBaseTexture9* texture, const Device* device) {
    auto* t = texture ? dynamic_cast<CubeTexture*>(texture) : nullptr;
    return t && t->device() == device ? t : nullptr;
}

inline VolumeTexture* OwnVolumeTexture(IDirect3DBaseTexture9* texture, const Device* device) {
    auto* t = texture ? dynamic_cast<VolumeTexture*>(texture) : nullptr;
    return t && t->device() == device ? t : nullptr;
}

inline Surface* OwnSurface(IDirect3DSurface9* surface, const Device* device) {
    auto* s = surface ? dynamic_cast<Surface*>(surface) : nullptr;
    return s && s->device() == device ? s : nullptr;
}

// Resources larger than this are refused with E_OUTOFMEMORY rather than attempted.
constexpr std::uint64_t kMaxResourceBytes = std::uint64_t{1} << 30;

inline RECT FullRect(const Surface* s) {
    return RECT{0, 0, static_cast<LONG>(s->width()), static_cast<LONG>(s->height())};
}

// Shared by the resource units.
// "DEFAULT", "MANAGED", ... for leak reports.
const char* PoolName(D3DPOOL pool);
// ", created at ..." naming the creation site (symbol, or file and offset), or "" for none.
std::string CreationSite(const void* address);
// Levels of DEFAULT-pool textures are lockable only when DYNAMIC; render targets never.
bool LevelsLockable(D3DPOOL pool, DWORD usage);

}  // namespace tarn::d3d9
