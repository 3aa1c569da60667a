// The layer's own objects behind the Direct3D 9 interfaces: the Direct3D object, the device with its state, and
// the memory-backed resources. The drawing backend (Renderer.h) reads this state.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "platform/d3d9/D3D9.h"
#include "Formats.h"
#include "Profiles.h"

namespace tarn::d3d9 {

class Device;
class Renderer;
class Texture;
class CubeTexture;
class VolumeTexture;

// Diagnostics on standard error unless muted ("d3d9: ..." lines).
void Diagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

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

// What every resource shares: the device link, leak-tracking record and private data.
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
    D3DRESOURCETYPE type_;
    D3DPOOL pool_;
    DWORD usage_;
    D3DFORMAT format_;
    DWORD priority_ = 0;
    bool tracked_ = true;
    const void* creator_ = nullptr;
    std::vector<PrivateDataEntry> private_;
};

// One 2D image: a texture level, a cube face's level or a stand-alone surface (back buffer, depth buffer, render
// target, plain). A level or face shares its container's reference count.
class Surface final : public IDirect3DSurface9, public ResourceCore {
public:
    Surface(Device* device, Texture* container, UINT level, UINT width, UINT height, D3DFORMAT format,
            D3DPOOL pool, DWORD usage, bool lockable);
    // Level `level` of face `face` of a cube texture.
    Surface(Device* device, CubeTexture* cube, D3DCUBEMAP_FACES face, UINT level, UINT edge, D3DFORMAT format,
            D3DPOOL pool, DWORD usage, bool lockable);
    ~Surface() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override { return ReturnDevice(device); }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID g, const void* d, DWORD s, DWORD f) override {
        return SetPrivate(g, d, s, f);
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID g, void* d, DWORD* s) override { return GetPrivate(g, d, s); }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID g) override { return FreePrivate(g); }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD p) override;
    DWORD STDMETHODCALLTYPE GetPriority() override { return priority_; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT STDMETHODCALLTYPE GetContainer(REFIID riid, void** container) override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect() override;
    HRESULT STDMETHODCALLTYPE GetDC(HDC*) override { return D3DERR_INVALIDCALL; }
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

    // Brings memory up to date with the GPU copy (render targets drawn into) before the CPU reads it.
    void SyncToMemory();
    // Memory was written by the CPU: the GPU copy must be refreshed before use.
    void MemoryChanged();
    Fresh fresh = Fresh::Both;

    ULONG refs() const { return refs_; }

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
    ULONG refs_ = 1;
};

// What the three kinds of texture share: one reference count for the texture and all its levels and faces, the
// resource and base-texture calls, and the flag that some level's memory is newer than the GPU copy.
template <class Interface, D3DRESOURCETYPE Type>
class TextureCore : public Interface, public ResourceCore {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override { return ReturnDevice(device); }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID g, const void* d, DWORD s, DWORD f) override {
        return SetPrivate(g, d, s, f);
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID g, void* d, DWORD* s) override { return GetPrivate(g, d, s); }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID g) override { return FreePrivate(g); }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD p) override;
    DWORD STDMETHODCALLTYPE GetPriority() override { return priority_; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return Type; }
    DWORD STDMETHODCALLTYPE SetLOD(DWORD lod) override;
    DWORD STDMETHODCALLTYPE GetLOD() override { return lod_; }
    DWORD STDMETHODCALLTYPE GetLevelCount() override { return levelCount_; }
    HRESULT STDMETHODCALLTYPE SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) override;
    D3DTEXTUREFILTERTYPE STDMETHODCALLTYPE GetAutoGenFilterType() override { return autoGenFilter_; }
    void STDMETHODCALLTYPE GenerateMipSubLevels() override {}

    UINT levelCount() const { return levelCount_; }
    bool isRenderTarget() const { return (usage_ & D3DUSAGE_RENDERTARGET) != 0; }
    // True when some level's memory is newer than the GPU copy.
    bool uploadPending = false;

protected:
    TextureCore(Device* device, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
        : ResourceCore(device, Type, pool, usage, format), levelCount_(levels) {}

private:
    UINT levelCount_;
    ULONG refs_ = 1;
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
class Volume final : public IDirect3DVolume9, public ResourceCore {
public:
    Volume(Device* device, VolumeTexture* container, UINT level, UINT width, UINT height, UINT depth, D3DFORMAT format,
           D3DPOOL pool, DWORD usage, bool lockable);
    ~Volume() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override { return ReturnDevice(device); }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID g, const void* d, DWORD s, DWORD f) override {
        return SetPrivate(g, d, s, f);
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID g, void* d, DWORD* s) override { return GetPrivate(g, d, s); }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID g) override { return FreePrivate(g); }
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

// Defined once, in Resources.cpp.
extern template class TextureCore<IDirect3DTexture9, D3DRTYPE_TEXTURE>;
extern template class TextureCore<IDirect3DCubeTexture9, D3DRTYPE_CUBETEXTURE>;
extern template class TextureCore<IDirect3DVolumeTexture9, D3DRTYPE_VOLUMETEXTURE>;

// Vertex and index buffers share everything but their description.
template <class Interface, class Desc>
class Buffer final : public Interface, public ResourceCore {
public:
    Buffer(Device* device, D3DRESOURCETYPE type, UINT length, DWORD usage, DWORD fvf, D3DFORMAT format,
           D3DPOOL pool);
    ~Buffer() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override { return ReturnDevice(device); }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID g, const void* d, DWORD s, DWORD f) override {
        return SetPrivate(g, d, s, f);
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID g, void* d, DWORD* s) override { return GetPrivate(g, d, s); }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID g) override { return FreePrivate(g); }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD p) override {
        DWORD old = priority_;
        priority_ = p;
        return old;
    }
    DWORD STDMETHODCALLTYPE GetPriority() override { return priority_; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return type_; }
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
    ULONG refs_ = 1;
    int lockDepth_ = 0;
};

using VertexBuffer = Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
using IndexBuffer = Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

class Direct3D9 final : public IDirect3D9 {
public:
    explicit Direct3D9(const Profile& profile);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE RegisterSoftwareDevice(void*) override { return D3DERR_INVALIDCALL; }
    UINT STDMETHODCALLTYPE GetAdapterCount() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* id) override;
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT adapter, D3DFORMAT format) override;
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode,
                                               D3DDISPLAYMODE* displayMode) override;
    HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                              D3DFORMAT backBufferFormat, BOOL windowed) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                                D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat,
                                                         BOOL windowed, D3DMULTISAMPLE_TYPE multiSample,
                                                         DWORD* qualityLevels) override;
    HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                                     D3DFORMAT renderTargetFormat,
                                                     D3DFORMAT depthStencilFormat) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE type, D3DFORMAT sourceFormat,
                                                          D3DFORMAT targetFormat) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;
    HMONITOR STDMETHODCALLTYPE GetAdapterMonitor(UINT adapter) override;
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                                           D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override;

    const Profile& profile() const { return profile_; }
    // Caps and format answers for this object's profile.
    void FillCaps(D3DCAPS9* caps) const;
    HRESULT CheckFormat(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) const;
    static D3DDISPLAYMODE DesktopMode();

private:
    ~Direct3D9() = default;
    Profile profile_;
    ULONG refs_ = 1;
};

// Light slots: any index may be set; at most kMaxActiveLights are enabled at once.
struct LightSlot {
    D3DLIGHT9 light{};
    bool enabled = false;
};
constexpr int kMaxActiveLights = 8;
constexpr int kMaxClipPlanes = 6;  // user clip planes, world space, enabled by D3DRS_CLIPPLANEENABLE bits
constexpr int kStages = 8;
constexpr int kSamplers = 16;

// Groups of state that the renderer re-sends when marked.
enum Dirty : std::uint32_t {
    kDirtyTransforms = 1u << 0,
    kDirtyLights = 1u << 1,
    kDirtyMaterial = 1u << 2,
    kDirtyProgram = 1u << 3,   // anything that changes the generated program
    kDirtyConstants = 1u << 4, // fog values, texture factor, alpha reference, ambient, clip planes
    kDirtyBlend = 1u << 5,
    kDirtyDepth = 1u << 6,
    kDirtyRaster = 1u << 7,    // cull, fill, colour mask, shade mode, scissor
    kDirtyTextures = 1u << 8,
    kDirtySamplers = 1u << 9,
    kDirtyStreams = 1u << 10,
    kDirtyViewport = 1u << 11,
    kDirtyTarget = 1u << 12,
    kDirtyTexMatrices = 1u << 13,
    kDirtyAll = 0xffffffffu,
};

struct DeviceState {
    std::array<DWORD, D3DRS_MAX_VALUE> rs{};
    std::array<std::array<DWORD, D3DTSS_MAX_VALUE>, kStages> tss{};
    std::array<std::array<DWORD, D3DSAMP_MAX_VALUE>, kSamplers> samp{};
    D3DMATRIX world{}, view{}, projection{};
    std::array<D3DMATRIX, kStages> texture{};
    D3DMATERIAL9 material{};
    std::vector<LightSlot> lights;
    // What each sampler holds: a 2D, a cube or a volume texture (at most one of the three is set), each held
    // with a reference.
    std::array<Texture*, kSamplers> textures{};
    std::array<CubeTexture*, kSamplers> cubeTextures{};
    std::array<VolumeTexture*, kSamplers> volumeTextures{};
    VertexBuffer* stream = nullptr;
    UINT streamOffset = 0, streamStride = 0;
    IndexBuffer* indices = nullptr;
    DWORD fvf = 0;
    D3DVIEWPORT9 viewport{};
    RECT scissor{};
    std::array<std::array<float, 4>, kMaxClipPlanes> clipPlanes{};  // a, b, c, d: kept where ax+by+cz+d >= 0
    Surface* renderTarget = nullptr;
    Surface* depthStencil = nullptr;
    std::uint32_t dirty = kDirtyAll;
    std::array<PALETTEENTRY, 256> palette{};
};

class Device final : public IDirect3DDevice9 {
public:
    Device(Direct3D9* d3d, const D3DPRESENT_PARAMETERS& parameters, HWND focusWindow, DWORD behaviorFlags,
           D3DDEVTYPE type, BackendKind backend);
    // Makes the back buffer, depth buffer and (for the GL backend) the context; false with a message when not.
    bool Initialize(std::string* error);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override { return D3D_OK; }
    UINT STDMETHODCALLTYPE GetAvailableTextureMem() override { return 512u << 20; }
    HRESULT STDMETHODCALLTYPE EvictManagedResources() override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D9** d3d) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
    HRESULT STDMETHODCALLTYPE GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override;
    HRESULT STDMETHODCALLTYPE SetCursorProperties(UINT, UINT, IDirect3DSurface9*) override { return D3D_OK; }
    void STDMETHODCALLTYPE SetCursorPosition(int, int, DWORD) override {}
    BOOL STDMETHODCALLTYPE ShowCursor(BOOL) override { return FALSE; }
    HRESULT STDMETHODCALLTYPE CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS*, IDirect3DSwapChain9**) override {
        return D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE GetSwapChain(UINT, IDirect3DSwapChain9**) override { return D3DERR_INVALIDCALL; }
    UINT STDMETHODCALLTYPE GetNumberOfSwapChains() override { return 1; }
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* parameters) override;
    HRESULT STDMETHODCALLTYPE Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                                      const RGNDATA* dirtyRegion) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                            IDirect3DSurface9** surface) override;
    HRESULT STDMETHODCALLTYPE GetRasterStatus(UINT, D3DRASTER_STATUS* status) override;
    HRESULT STDMETHODCALLTYPE SetDialogBoxMode(BOOL) override { return D3D_OK; }
    void STDMETHODCALLTYPE SetGammaRamp(UINT, DWORD, const D3DGAMMARAMP*) override {}
    void STDMETHODCALLTYPE GetGammaRamp(UINT, D3DGAMMARAMP* ramp) override;
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                                  IDirect3DVolumeTexture9** texture, HANDLE*) override;
    HRESULT STDMETHODCALLTYPE CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DCubeTexture9** texture,
                                                HANDLE*) override;
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                                 IDirect3DVertexBuffer9** buffer, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DIndexBuffer9** buffer, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                                 D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL lockable,
                                                 IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                                        D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL discard,
                                                        IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                                            IDirect3DSurface9* destination, const POINT* destPoint) override;
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) override;
    HRESULT STDMETHODCALLTYPE GetRenderTargetData(IDirect3DSurface9* renderTarget,
                                                  IDirect3DSurface9* destination) override;
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(UINT, IDirect3DSurface9*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE StretchRect(IDirect3DSurface9* source, const RECT* sourceRect,
                                          IDirect3DSurface9* destination, const RECT* destRect,
                                          D3DTEXTUREFILTERTYPE filter) override;
    HRESULT STDMETHODCALLTYPE ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;
    HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                          IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD index, IDirect3DSurface9* target) override;
    HRESULT STDMETHODCALLTYPE GetRenderTarget(DWORD index, IDirect3DSurface9** target) override;
    HRESULT STDMETHODCALLTYPE SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT STDMETHODCALLTYPE GetDepthStencilSurface(IDirect3DSurface9** surface) override;
    HRESULT STDMETHODCALLTYPE BeginScene() override;
    HRESULT STDMETHODCALLTYPE EndScene() override;
    HRESULT STDMETHODCALLTYPE Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                    DWORD stencil) override;
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT STDMETHODCALLTYPE MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT STDMETHODCALLTYPE SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT STDMETHODCALLTYPE GetMaterial(D3DMATERIAL9* material) override;
    HRESULT STDMETHODCALLTYPE SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT STDMETHODCALLTYPE GetLight(DWORD index, D3DLIGHT9* light) override;
    HRESULT STDMETHODCALLTYPE LightEnable(DWORD index, BOOL enable) override;
    HRESULT STDMETHODCALLTYPE GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT STDMETHODCALLTYPE SetClipPlane(DWORD index, const float* plane) override;
    HRESULT STDMETHODCALLTYPE GetClipPlane(DWORD index, float* plane) override;
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT STDMETHODCALLTYPE CreateStateBlock(D3DSTATEBLOCKTYPE, IDirect3DStateBlock9**) override {
        return D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE BeginStateBlock() override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE EndStateBlock(IDirect3DStateBlock9**) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE SetClipStatus(const D3DCLIPSTATUS9*) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetClipStatus(D3DCLIPSTATUS9*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT STDMETHODCALLTYPE GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT STDMETHODCALLTYPE ValidateDevice(DWORD* passes) override;
    HRESULT STDMETHODCALLTYPE SetPaletteEntries(UINT number, const PALETTEENTRY* entries) override;
    HRESULT STDMETHODCALLTYPE GetPaletteEntries(UINT number, PALETTEENTRY* entries) override;
    HRESULT STDMETHODCALLTYPE SetCurrentTexturePalette(UINT) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetCurrentTexturePalette(UINT* number) override;
    HRESULT STDMETHODCALLTYPE SetScissorRect(const RECT* rect) override;
    HRESULT STDMETHODCALLTYPE GetScissorRect(RECT* rect) override;
    HRESULT STDMETHODCALLTYPE SetSoftwareVertexProcessing(BOOL) override { return D3D_OK; }
    BOOL STDMETHODCALLTYPE GetSoftwareVertexProcessing() override { return FALSE; }
    HRESULT STDMETHODCALLTYPE SetNPatchMode(float) override { return D3D_OK; }
    float STDMETHODCALLTYPE GetNPatchMode() override { return 0.0f; }
    HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex,
                                                   UINT numVertices, UINT startIndex, UINT count) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data,
                                              UINT stride) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                                                     UINT count, const void* indexData, D3DFORMAT indexFormat,
                                                     const void* vertexData, UINT stride) override;
    HRESULT STDMETHODCALLTYPE ProcessVertices(UINT, UINT, UINT, IDirect3DVertexBuffer9*, IDirect3DVertexDeclaration9*,
                                              DWORD) override {
        return D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(const D3DVERTEXELEMENT9*, IDirect3DVertexDeclaration9**) override {
        return D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE GetVertexDeclaration(IDirect3DVertexDeclaration9** decl) override;
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override;
    HRESULT STDMETHODCALLTYPE GetFVF(DWORD* fvf) override;
    HRESULT STDMETHODCALLTYPE CreateVertexShader(const DWORD*, IDirect3DVertexShader9**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9* shader) override {
        return shader ? E_NOTIMPL : D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVertexShader(IDirect3DVertexShader9** shader) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT, const float*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantF(UINT, float*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantI(UINT, const int*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantI(UINT, int*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstantB(UINT, const BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstantB(UINT, BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                                              UINT stride) override;
    HRESULT STDMETHODCALLTYPE GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset,
                                              UINT* stride) override;
    HRESULT STDMETHODCALLTYPE SetStreamSourceFreq(UINT, UINT) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetStreamSourceFreq(UINT, UINT* setting) override;
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* buffer) override;
    HRESULT STDMETHODCALLTYPE GetIndices(IDirect3DIndexBuffer9** buffer) override;
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD*, IDirect3DPixelShader9**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* shader) override {
        return shader ? E_NOTIMPL : D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPixelShader(IDirect3DPixelShader9** shader) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT, const float*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantF(UINT, float*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantI(UINT, const int*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantI(UINT, int*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstantB(UINT, const BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstantB(UINT, BOOL*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DrawRectPatch(UINT, const float*, const D3DRECTPATCH_INFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DrawTriPatch(UINT, const float*, const D3DTRIPATCH_INFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeletePatch(UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateQuery(D3DQUERYTYPE, IDirect3DQuery9** query) override;

    // Leak tracking.
    void Track(ResourceCore* resource);
    void Untrack(ResourceCore* resource);
    std::size_t LiveCount() const;
    std::string DescribeLive() const;

    // The drawing backend: never null (the null backend when the device does not draw).
    Renderer* renderer() const { return renderer_.get(); }
    const DeviceState& state() const { return state_; }
    const D3DPRESENT_PARAMETERS& presentParameters() const { return parameters_; }
    Surface* backBuffer() const { return backBuffer_; }
    bool pure() const { return (behaviorFlags_ & D3DCREATE_PUREDEVICE) != 0; }
    // Called by a resource's destructor so that the renderer drops its GL objects.
    void ResourceDying(ResourceCore* resource);
    // Refreshes memory of a GPU-newer surface (render-target reads).
    void ReadBack(Surface* surface);

private:
    ~Device();
    void SetDefaultState();
    HRESULT Draw(D3DPRIMITIVETYPE type, UINT count, bool indexed, INT baseVertex, UINT minIndex, UINT numVertices,
                 UINT startIndex, const void* upVertices, UINT upStride, const void* upIndices, D3DFORMAT upIndexFormat,
                 UINT startVertex);
    void ResetViewportToTarget();
    bool HeldOnlyByDevice(const ResourceCore* resource) const;
    // The state groups changed since the backend last drew or cleared; they start again from none.
    std::uint32_t TakeChanged() {
        const std::uint32_t changed = state_.dirty;
        state_.dirty = 0;
        return changed;
    }

    Direct3D9* d3d_;
    D3DPRESENT_PARAMETERS parameters_;
    HWND focusWindow_;
    DWORD behaviorFlags_;
    D3DDEVTYPE type_;
    BackendKind backend_;
    ULONG refs_ = 1;
    bool inScene_ = false;
    DeviceState state_;
    Surface* backBuffer_ = nullptr;
    Surface* autoDepth_ = nullptr;
    std::vector<ResourceCore*> live_;
    std::unique_ptr<Renderer> renderer_;
};

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

// True when a projection leaves w at 1 (last column 0, 0, 0, 1). Table fog is then z-based, else w-based.
inline bool IsAffineProjection(const D3DMATRIX& m) {
    return m._14 == 0.0f && m._24 == 0.0f && m._34 == 0.0f && m._44 == 1.0f;
}

// Vertex size in bytes for a flexible vertex format; 0 for formats the layer cannot draw.
UINT FvfStride(DWORD fvf);
// Vertices that `count` primitives of `type` use; 0 for an unknown type.
UINT VertexCountFor(D3DPRIMITIVETYPE type, UINT count);

// Address of the caller's caller, recorded as the creation site of resources.
#define TARN_D3D9_CALLER() __builtin_return_address(0)

}  // namespace tarn::d3d9
