// The device's resource creation (with the pool, usage, format and size rules of each kind) and the copies
// between resources (UpdateSurface, UpdateTexture, GetRenderTargetData, StretchRect, ColorFill), on the GPU
// when the backend can and in memory otherwise.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "DeviceObject.h"
#include "Renderer.h"
#include "platform/Bits.h"

namespace tarn::d3d9 {
namespace {

UINT FullChain(UINT width, UINT height) {
    UINT levels = 1;
    UINT size = std::max(width, height);
    while (size > 1) {
        size >>= 1;
        ++levels;
    }
    return levels;
}

// A device that needs powers of two but reports NONPOW2CONDITIONAL takes other sizes for a single level of a
// format that is not block-compressed. The rule is the same for 2D, cube and volume textures, as the texture
// library's requirement check applies it to all three.
bool NonPowerOfTwoAllowed(const D3DCAPS9& caps, UINT levels, const FormatLayout& layout) {
    return (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) && levels == 1 &&
           layout.kind != FormatKind::Compressed;
}

// Bytes of a chain of `levels` levels, each held `faces` times with `depth` slices that halve with the level; any
// sum above kMaxResourceBytes comes back as more than it, never wrapped round.
std::uint64_t ChainBytes(const FormatLayout& layout, UINT width, UINT height, UINT depth, UINT levels, UINT faces) {
    constexpr std::uint64_t kOver = kMaxResourceBytes + 1;
    std::uint64_t bytes = 0;
    for (UINT i = 0; i < levels && bytes < kOver; ++i) {
        const std::uint64_t slice = LevelBytes64(layout, std::max(1u, width >> i), std::max(1u, height >> i));
        const std::uint64_t copies = std::uint64_t{std::max(1u, depth >> i)} * faces;
        bytes += slice > kOver / copies ? kOver : slice * copies;
    }
    return bytes;
}

bool InsideSurface(const RECT& r, const Surface* s) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
           static_cast<UINT>(r.right) <= s->width() && static_cast<UINT>(r.bottom) <= s->height();
}

// Copies a block-aligned rectangle of memory between two surfaces of the same format.
void CopyRect(const Surface* src, const RECT& r, Surface* dst, LONG dx, LONG dy) {
    const FormatLayout& layout = src->layout();
    const UINT rows = BlockRows(layout, static_cast<UINT>(r.bottom - r.top));
    const UINT rowBytes =
        (static_cast<UINT>(r.right - r.left) + layout.blockWidth - 1) / layout.blockWidth * layout.bytesPerBlock;
    for (UINT row = 0; row < rows; ++row) {
        const std::uint8_t* from = src->bits() +
                                   (static_cast<std::size_t>(r.top / layout.blockHeight) + row) * src->pitch() +
                                   static_cast<std::size_t>(r.left / layout.blockWidth) * layout.bytesPerBlock;
        std::uint8_t* to = dst->bits() + (static_cast<std::size_t>(dy / layout.blockHeight) + row) * dst->pitch() +
                           static_cast<std::size_t>(dx / layout.blockWidth) * layout.bytesPerBlock;
        std::memcpy(to, from, rowBytes);
    }
}

// Scaled copy through the reference codec (point or bilinear filter); both formats must decode/encode.
void ConvertRect(const Surface* src, const RECT& sr, Surface* dst, const RECT& dr, bool linear,
                 const PALETTEENTRY* palette) {
    const UINT sw = static_cast<UINT>(sr.right - sr.left), sh = static_cast<UINT>(sr.bottom - sr.top);
    const UINT dw = static_cast<UINT>(dr.right - dr.left), dh = static_cast<UINT>(dr.bottom - dr.top);
    std::vector<float> source(static_cast<std::size_t>(sw) * sh * 4);
    std::vector<float> rowBuffer(static_cast<std::size_t>(src->width()) * 4);
    for (UINT y = 0; y < sh; ++y) {
        DecodeRow(src->format(), src->bits() + static_cast<std::size_t>(sr.top + y) * src->pitch(), src->width(),
                  rowBuffer.data(), palette);
        std::memcpy(&source[static_cast<std::size_t>(y) * sw * 4], &rowBuffer[static_cast<std::size_t>(sr.left) * 4],
                    sizeof(float) * 4 * sw);
    }
    std::vector<float> out(static_cast<std::size_t>(dst->width()) * 4);
    for (UINT y = 0; y < dh; ++y) {
        std::uint8_t* row = dst->bits() + static_cast<std::size_t>(dr.top + y) * dst->pitch();
        DecodeRow(dst->format(), row, dst->width(), out.data(), palette);
        for (UINT x = 0; x < dw; ++x) {
            float* o = &out[(static_cast<std::size_t>(dr.left) + x) * 4];
            const float fx = (x + 0.5f) * sw / dw - 0.5f, fy = (y + 0.5f) * sh / dh - 0.5f;
            if (!linear) {
                const UINT px = std::min(sw - 1, static_cast<UINT>(std::max(0.0f, std::floor(fx + 0.5f))));
                const UINT py = std::min(sh - 1, static_cast<UINT>(std::max(0.0f, std::floor(fy + 0.5f))));
                std::memcpy(o, &source[(static_cast<std::size_t>(py) * sw + px) * 4], sizeof(float) * 4);
                continue;
            }
            const float cx = std::clamp(fx, 0.0f, static_cast<float>(sw - 1));
            const float cy = std::clamp(fy, 0.0f, static_cast<float>(sh - 1));
            const UINT x0 = static_cast<UINT>(cx), y0 = static_cast<UINT>(cy);
            const UINT x1 = std::min(x0 + 1, sw - 1), y1 = std::min(y0 + 1, sh - 1);
            const float ax = cx - x0, ay = cy - y0;
            for (int c = 0; c < 4; ++c) {
                auto at = [&](UINT xx, UINT yy) { return source[(static_cast<std::size_t>(yy) * sw + xx) * 4 + c]; };
                o[c] = (at(x0, y0) * (1 - ax) + at(x1, y0) * ax) * (1 - ay) +
                       (at(x0, y1) * (1 - ax) + at(x1, y1) * ax) * ay;
            }
        }
        EncodeRow(dst->format(), out.data(), dst->width(), row);
    }
}

}  // namespace

// ---- Resource creation ----

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** texture, HANDLE* shared) {
    const DeviceGuard guard(lock_);
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    const FormatLayout* layout = FindLayout(format);
    if (shared || !layout || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    if (pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    const DWORD allowed = D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC | D3DUSAGE_AUTOGENMIPMAP |
                          D3DUSAGE_SOFTWAREPROCESSING | D3DUSAGE_WRITEONLY;
    if (usage & ~allowed) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC)) && pool == D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (layout->kind == FormatKind::Buffer) return D3DERR_INVALIDCALL;
    // Depth formats exist as memory only (scratch); the fixed-function pipeline cannot sample them.
    if (layout->kind == FormatKind::Depth && pool != D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    const UINT full = FullChain(width, height);
    if (levels == 0 || levels > full) levels = levels == 0 ? full : 0;
    if (levels == 0) return D3DERR_INVALIDCALL;
    if (usage & D3DUSAGE_AUTOGENMIPMAP) levels = 1;  // the device makes no levels of its own
    if (pool != D3DPOOL_SCRATCH && pool != D3DPOOL_SYSTEMMEM) {
        // Video-memory textures follow the profile: format, size, power-of-two and square rules.
        D3DCAPS9 caps;
        d3d_->FillCaps(&caps);
        if (FAILED(d3d_->CheckFormat(usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC), D3DRTYPE_TEXTURE, format))) {
            return D3DERR_INVALIDCALL;
        }
        if (width > caps.MaxTextureWidth || height > caps.MaxTextureHeight) return D3DERR_INVALIDCALL;
        if ((caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) && width != height) return D3DERR_INVALIDCALL;
        if ((caps.TextureCaps & D3DPTEXTURECAPS_POW2) && (!IsPowerOfTwo(width) || !IsPowerOfTwo(height)) &&
            !NonPowerOfTwoAllowed(caps, levels, *layout)) {
            return D3DERR_INVALIDCALL;
        }
        if (layout->kind == FormatKind::Compressed && (width % 4 || height % 4)) return D3DERR_INVALIDCALL;
    }
    if (ChainBytes(*layout, width, height, 1, levels, 1) > kMaxResourceBytes) return E_OUTOFMEMORY;
    Texture* created = nullptr;
    try {
        created = new Texture(this, width, height, levels, usage, format, pool);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    created->setCreator(TARN_D3D9_CALLER());
    if (created->isRenderTarget()) {
        for (UINT i = 0; i < levels; ++i) created->level(i)->fresh = Fresh::GpuNewer;
    }
    *texture = created;
    return D3D_OK;
}

HRESULT Device::CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                                    D3DPOOL pool, IDirect3DVolumeTexture9** texture, HANDLE* shared) {
    const DeviceGuard guard(lock_);
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    const FormatLayout* layout = FindLayout(format);
    if (shared || !layout || width == 0 || height == 0 || depth == 0) return D3DERR_INVALIDCALL;
    if (pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    // Volumes are never render targets or depth buffers, and the device does not make their mip maps.
    const DWORD allowed = D3DUSAGE_DYNAMIC | D3DUSAGE_SOFTWAREPROCESSING | D3DUSAGE_WRITEONLY;
    if (usage & ~allowed) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && (pool == D3DPOOL_MANAGED || pool == D3DPOOL_SCRATCH)) return D3DERR_INVALIDCALL;
    if (layout->kind == FormatKind::Buffer || layout->kind == FormatKind::Depth) return D3DERR_INVALIDCALL;
    const UINT full = FullChain(std::max(width, height), depth);
    if (levels > full) return D3DERR_INVALIDCALL;
    if (levels == 0) levels = full;
    D3DCAPS9 caps;
    d3d_->FillCaps(&caps);
    // A device without volume textures makes none for system memory either; scratch memory is not the device's.
    if (pool != D3DPOOL_SCRATCH && !(caps.TextureCaps & D3DPTEXTURECAPS_VOLUMEMAP)) return D3DERR_INVALIDCALL;
    if (pool != D3DPOOL_SCRATCH && pool != D3DPOOL_SYSTEMMEM) {
        // Video-memory volumes follow the profile: format, extent, powers of two, mip maps.
        if (FAILED(d3d_->CheckFormat(usage & D3DUSAGE_DYNAMIC, D3DRTYPE_VOLUMETEXTURE, format))) {
            return D3DERR_INVALIDCALL;
        }
        const UINT limit = caps.MaxVolumeExtent;
        if (width > limit || height > limit || depth > limit) return D3DERR_INVALIDCALL;
        if ((caps.TextureCaps & D3DPTEXTURECAPS_VOLUMEMAP_POW2) &&
            (!IsPowerOfTwo(width) || !IsPowerOfTwo(height) || !IsPowerOfTwo(depth)) &&
            !NonPowerOfTwoAllowed(caps, levels, *layout)) {
            return D3DERR_INVALIDCALL;
        }
        if (!(caps.TextureCaps & D3DPTEXTURECAPS_MIPVOLUMEMAP) && levels > 1) return D3DERR_INVALIDCALL;
    }
    if (ChainBytes(*layout, width, height, depth, levels, 1) > kMaxResourceBytes) return E_OUTOFMEMORY;
    VolumeTexture* created = nullptr;
    try {
        created = new VolumeTexture(this, width, height, depth, levels, usage, format, pool);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    created->setCreator(TARN_D3D9_CALLER());
    *texture = created;
    return D3D_OK;
}

HRESULT Device::CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DCubeTexture9** texture, HANDLE* shared) {
    const DeviceGuard guard(lock_);
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    const FormatLayout* layout = FindLayout(format);
    if (shared || !layout || edge == 0) return D3DERR_INVALIDCALL;
    if (pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    // Faces of a render-target cube are drawn into one at a time; like 2D render-target textures, such cubes
    // live in the default pool only.
    const DWORD allowed = D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC | D3DUSAGE_AUTOGENMIPMAP |
                          D3DUSAGE_SOFTWAREPROCESSING | D3DUSAGE_WRITEONLY;
    if (usage & ~allowed) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && (pool == D3DPOOL_MANAGED || pool == D3DPOOL_SCRATCH)) return D3DERR_INVALIDCALL;
    if (layout->kind == FormatKind::Buffer) return D3DERR_INVALIDCALL;
    // Depth formats exist as memory only (scratch), as for 2D textures.
    if (layout->kind == FormatKind::Depth && pool != D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    const UINT full = FullChain(edge, edge);
    if (levels > full) return D3DERR_INVALIDCALL;
    if (levels == 0) levels = full;
    if (usage & D3DUSAGE_AUTOGENMIPMAP) levels = 1;  // the device makes no levels of its own
    D3DCAPS9 caps;
    d3d_->FillCaps(&caps);
    if (pool != D3DPOOL_SCRATCH && !(caps.TextureCaps & D3DPTEXTURECAPS_CUBEMAP)) return D3DERR_INVALIDCALL;
    if (pool != D3DPOOL_SCRATCH && pool != D3DPOOL_SYSTEMMEM) {
        // Video-memory cube maps follow the profile: format, edge, powers of two, mip maps.
        if (FAILED(
                d3d_->CheckFormat(usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC), D3DRTYPE_CUBETEXTURE, format))) {
            return D3DERR_INVALIDCALL;
        }
        if (edge > caps.MaxTextureWidth) return D3DERR_INVALIDCALL;
        if ((caps.TextureCaps & D3DPTEXTURECAPS_CUBEMAP_POW2) && !IsPowerOfTwo(edge) &&
            !NonPowerOfTwoAllowed(caps, levels, *layout)) {
            return D3DERR_INVALIDCALL;
        }
        if (!(caps.TextureCaps & D3DPTEXTURECAPS_MIPCUBEMAP) && levels > 1) return D3DERR_INVALIDCALL;
        if (layout->kind == FormatKind::Compressed && edge % 4) return D3DERR_INVALIDCALL;
    }
    if (ChainBytes(*layout, edge, edge, 1, levels, CubeTexture::kFaces) > kMaxResourceBytes) return E_OUTOFMEMORY;
    CubeTexture* created = nullptr;
    try {
        created = new CubeTexture(this, edge, levels, usage, format, pool);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    created->setCreator(TARN_D3D9_CALLER());
    if (created->isRenderTarget()) {
        for (UINT f = 0; f < CubeTexture::kFaces; ++f) {
            for (UINT i = 0; i < levels; ++i) created->face(f, i)->fresh = Fresh::GpuNewer;
        }
    }
    *texture = created;
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                                   HANDLE* shared) {
    const DeviceGuard guard(lock_);
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (shared || length == 0 || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    // A buffer with a vertex format must hold at least one vertex.
    if (fvf && (FvfStride(fvf) == 0 || length < FvfStride(fvf))) return D3DERR_INVALIDCALL;
    if (length > kMaxResourceBytes) return E_OUTOFMEMORY;
    VertexBuffer* created = nullptr;
    try {
        created = new VertexBuffer(this, D3DRTYPE_VERTEXBUFFER, length, usage, fvf, D3DFMT_VERTEXDATA, pool);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    created->setCreator(TARN_D3D9_CALLER());
    *buffer = created;
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** buffer, HANDLE* shared) {
    const DeviceGuard guard(lock_);
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (shared || length == 0 || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    if (length > kMaxResourceBytes) return E_OUTOFMEMORY;
    IndexBuffer* created = nullptr;
    try {
        created = new IndexBuffer(this, D3DRTYPE_INDEXBUFFER, length, usage, 0, format, pool);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    created->setCreator(TARN_D3D9_CALLER());
    *buffer = created;
    return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                   DWORD quality, BOOL lockable, IDirect3DSurface9** surface, HANDLE* shared) {
    const DeviceGuard guard(lock_);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (shared || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    const UINT maxSize = renderer_->Limits().maxTextureSize;
    if (width > maxSize || height > maxSize) return D3DERR_INVALIDCALL;
    if (FAILED(d3d_->CheckFormat(D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, format))) return D3DERR_INVALIDCALL;
    // A multisampled target cannot be lockable, and takes a type and quality the adapter offers for its format.
    if (multiSample != D3DMULTISAMPLE_NONE && lockable) return D3DERR_INVALIDCALL;
    if (multiSample == D3DMULTISAMPLE_NONE ? quality != 0
                                           : FAILED(d3d_->CheckMultisample(format, multiSample, quality))) {
        return D3DERR_INVALIDCALL;
    }
    auto* created =
        new Surface(this, nullptr, 0, width, height, format, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET, lockable != FALSE);
    created->SetMultisample(multiSample, quality, SampleCount(renderer_->Limits(), multiSample, quality));
    created->setCreator(TARN_D3D9_CALLER());
    created->fresh = Fresh::GpuNewer;
    *surface = created;
    return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                          DWORD quality, BOOL, IDirect3DSurface9** surface, HANDLE* shared) {
    const DeviceGuard guard(lock_);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (shared || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    const UINT maxSize = renderer_->Limits().maxTextureSize;
    if (width > maxSize || height > maxSize) return D3DERR_INVALIDCALL;
    if (FAILED(d3d_->CheckFormat(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, format))) return D3DERR_INVALIDCALL;
    if (multiSample == D3DMULTISAMPLE_NONE ? quality != 0
                                           : FAILED(d3d_->CheckMultisample(format, multiSample, quality))) {
        return D3DERR_INVALIDCALL;
    }
    auto* created = new Surface(this, nullptr, 0, width, height, format, D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL, false);
    created->SetMultisample(multiSample, quality, SampleCount(renderer_->Limits(), multiSample, quality));
    created->setCreator(TARN_D3D9_CALLER());
    *surface = created;
    return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, HANDLE* shared) {
    const DeviceGuard guard(lock_);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    const FormatLayout* layout = FindLayout(format);
    if (shared || !layout || width == 0 || height == 0 || pool == D3DPOOL_MANAGED || pool > D3DPOOL_SCRATCH) {
        return D3DERR_INVALIDCALL;
    }
    if (layout->kind == FormatKind::Buffer || layout->kind == FormatKind::Depth) return D3DERR_INVALIDCALL;
    if (LevelBytes64(*layout, width, height) > kMaxResourceBytes) {
        return E_OUTOFMEMORY;
    }
    Surface* created = nullptr;
    try {
        created = new Surface(this, nullptr, 0, width, height, format, pool, 0, true);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    created->setCreator(TARN_D3D9_CALLER());
    *surface = created;
    return D3D_OK;
}

// ---- Copies ----

HRESULT Device::UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                              const POINT* destPoint) {
    const DeviceGuard guard(lock_);
    Surface* src = OwnSurface(source, this);
    Surface* dst = OwnSurface(destination, this);
    if (!src || !dst || src == dst) return D3DERR_INVALIDCALL;
    // System memory to default pool, same format, no depth surfaces.
    if (src->pool() != D3DPOOL_SYSTEMMEM || dst->pool() != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if (src->format() != dst->format() || src->isDepth() || dst->isDepth()) return D3DERR_INVALIDCALL;
    if (src->locked() || dst->locked() || dst->samples() > 1) return D3DERR_INVALIDCALL;
    const RECT r = sourceRect ? *sourceRect : FullRect(src);
    const LONG dx = destPoint ? destPoint->x : 0, dy = destPoint ? destPoint->y : 0;
    const RECT target{dx, dy, dx + (r.right - r.left), dy + (r.bottom - r.top)};
    if (!InsideSurface(r, src) || !InsideSurface(target, dst)) return D3DERR_INVALIDCALL;
    const FormatLayout& layout = src->layout();
    if (r.left % layout.blockWidth || r.top % layout.blockHeight || dx % layout.blockWidth || dy % layout.blockHeight) {
        return D3DERR_INVALIDCALL;
    }
    // A partial update of a GPU-newer surface keeps the parts outside the rectangle.
    dst->SyncToMemory();
    CopyRect(src, r, dst, dx, dy);
    dst->MemoryChanged();
    return D3D_OK;
}

namespace {

// The source may have more levels than the destination; the destination's top level must match one of the
// source's levels (the extra top levels are skipped). The number of source levels skipped, or -1 when no level
// matches or too few levels follow it.
template <class Matches>
int SkippedLevels(UINT sourceLevels, UINT destinationLevels, Matches matches) {
    UINT skip = 0;
    while (skip < sourceLevels && !matches(skip)) ++skip;
    if (skip == sourceLevels || sourceLevels - skip < destinationLevels) return -1;
    return static_cast<int>(skip);
}

void CopySurfaceLevel(const Surface* from, Surface* to) {
    std::memcpy(to->bits(), from->bits(), LevelBytes(to->layout(), to->width(), to->height()));
    to->MemoryChanged();
}

}  // namespace

// System memory to default pool, same kind, same format. Whole levels are copied: a level is the granularity of
// the dirty regions kept here.
HRESULT Device::UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) {
    const DeviceGuard guard(lock_);
    if (!source || !destination || source == destination) return D3DERR_INVALIDCALL;
    auto pools = [](const ResourceCore* s, const ResourceCore* d) {
        return s->pool() == D3DPOOL_SYSTEMMEM && d->pool() == D3DPOOL_DEFAULT && s->format() == d->format();
    };
    if (Texture* src = OwnTexture(source, this)) {
        Texture* dst = OwnTexture(destination, this);
        if (!dst || !pools(src, dst)) return D3DERR_INVALIDCALL;
        const int skip = SkippedLevels(src->levelCount(), dst->levelCount(), [&](UINT i) {
            return src->level(i)->width() == dst->width() && src->level(i)->height() == dst->height();
        });
        if (skip < 0) return D3DERR_INVALIDCALL;
        for (UINT i = 0; i < dst->levelCount(); ++i) {
            if (src->level(i + skip)->locked() || dst->level(i)->locked()) return D3DERR_INVALIDCALL;
        }
        for (UINT i = 0; i < dst->levelCount(); ++i) CopySurfaceLevel(src->level(i + skip), dst->level(i));
        return D3D_OK;
    }
    if (CubeTexture* src = OwnCubeTexture(source, this)) {
        CubeTexture* dst = OwnCubeTexture(destination, this);
        if (!dst || !pools(src, dst)) return D3DERR_INVALIDCALL;
        const int skip = SkippedLevels(src->levelCount(), dst->levelCount(),
                                       [&](UINT i) { return src->face(0, i)->width() == dst->edge(); });
        if (skip < 0) return D3DERR_INVALIDCALL;
        for (UINT f = 0; f < CubeTexture::kFaces; ++f) {
            for (UINT i = 0; i < dst->levelCount(); ++i) {
                if (src->face(f, i + skip)->locked() || dst->face(f, i)->locked()) return D3DERR_INVALIDCALL;
            }
        }
        for (UINT f = 0; f < CubeTexture::kFaces; ++f) {
            for (UINT i = 0; i < dst->levelCount(); ++i) CopySurfaceLevel(src->face(f, i + skip), dst->face(f, i));
        }
        return D3D_OK;
    }
    if (VolumeTexture* src = OwnVolumeTexture(source, this)) {
        VolumeTexture* dst = OwnVolumeTexture(destination, this);
        if (!dst || !pools(src, dst)) return D3DERR_INVALIDCALL;
        const int skip = SkippedLevels(src->levelCount(), dst->levelCount(), [&](UINT i) {
            const Volume* v = src->level(i);
            return v->width() == dst->width() && v->height() == dst->height() && v->depth() == dst->depth();
        });
        if (skip < 0) return D3DERR_INVALIDCALL;
        for (UINT i = 0; i < dst->levelCount(); ++i) {
            if (src->level(i + skip)->locked() || dst->level(i)->locked()) return D3DERR_INVALIDCALL;
        }
        for (UINT i = 0; i < dst->levelCount(); ++i) {
            Volume* to = dst->level(i);
            std::memcpy(to->bits(), src->level(i + skip)->bits(), to->byteSize());
            to->MemoryChanged();
        }
        return D3D_OK;
    }
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination) {
    const DeviceGuard guard(lock_);
    Surface* src = OwnSurface(renderTarget, this);
    Surface* dst = OwnSurface(destination, this);
    if (!src || !dst || !src->isRenderTarget() || dst->pool() != D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
    // A multisampled target is read by resolving it first (StretchRect into a target of one sample).
    if (src->samples() > 1) return D3DERR_INVALIDCALL;
    if (src->format() != dst->format() || src->width() != dst->width() || src->height() != dst->height()) {
        return D3DERR_INVALIDCALL;
    }
    if (dst->locked()) return D3DERR_INVALIDCALL;
    src->SyncToMemory();
    std::memcpy(dst->bits(), src->bits(), LevelBytes(dst->layout(), dst->width(), dst->height()));
    dst->MemoryChanged();
    return D3D_OK;
}

HRESULT Device::StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                            const RECT* destRect, D3DTEXTUREFILTERTYPE filter) {
    const DeviceGuard guard(lock_);
    Surface* src = OwnSurface(source, this);
    Surface* dst = OwnSurface(destination, this);
    if (!src || !dst) return D3DERR_INVALIDCALL;
    if (filter != D3DTEXF_NONE && filter != D3DTEXF_POINT && filter != D3DTEXF_LINEAR) return D3DERR_INVALIDCALL;
    // Both surfaces live in the default pool; the destination is a render target (or a plain surface).
    if (src->pool() != D3DPOOL_DEFAULT || dst->pool() != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if (!dst->isRenderTarget() && dst->inTexture()) return D3DERR_INVALIDCALL;
    if (src->isDepth() || dst->isDepth() || src->locked() || dst->locked()) return D3DERR_INVALIDCALL;
    // A multisampled source is resolved into the destination, which has one sample.
    if (dst->samples() > 1) return D3DERR_INVALIDCALL;
    if (src->inTexture() && !src->isRenderTarget() && !dst->isRenderTarget()) return D3DERR_INVALIDCALL;
    const RECT sr = sourceRect ? *sourceRect : FullRect(src);
    const RECT dr = destRect ? *destRect : FullRect(dst);
    if (!InsideSurface(sr, src) || !InsideSurface(dr, dst)) return D3DERR_INVALIDCALL;
    if (src == dst) {
        const bool overlap = sr.left < dr.right && dr.left < sr.right && sr.top < dr.bottom && dr.top < sr.bottom;
        if (overlap) return D3DERR_INVALIDCALL;
    }
    const bool linear = filter == D3DTEXF_LINEAR;
    if (renderer_->Blit(src, sr, dst, dr, linear)) return D3D_OK;
    // Memory path: same-size same-format copies, else through the codec.
    const bool sameSize = sr.right - sr.left == dr.right - dr.left && sr.bottom - sr.top == dr.bottom - dr.top;
    src->SyncToMemory();
    dst->SyncToMemory();
    if (src->format() == dst->format() && sameSize) {
        CopyRect(src, sr, dst, dr.left, dr.top);
    } else if (CanDecode(src->format()) && CanEncode(dst->format())) {
        ConvertRect(src, sr, dst, dr, linear, state_.palette.data());
    } else {
        return D3DERR_INVALIDCALL;
    }
    dst->MemoryChanged();
    return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) {
    const DeviceGuard guard(lock_);
    Surface* s = OwnSurface(surface, this);
    if (!s || s->pool() != D3DPOOL_DEFAULT || s->isDepth() || s->locked()) return D3DERR_INVALIDCALL;
    if (s->inTexture() && !s->isRenderTarget()) return D3DERR_INVALIDCALL;
    const RECT r = rect ? *rect : FullRect(s);
    if (!InsideSurface(r, s)) return D3DERR_INVALIDCALL;
    if (renderer_->Fill(s, r, color)) return D3D_OK;
    if (!CanEncode(s->format())) return D3DERR_INVALIDCALL;
    s->SyncToMemory();
    const float rgba[4] = {((color >> 16) & 0xff) / 255.0f, ((color >> 8) & 0xff) / 255.0f, (color & 0xff) / 255.0f,
                           ((color >> 24) & 0xff) / 255.0f};
    std::vector<float> row(static_cast<std::size_t>(r.right - r.left) * 4);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = rgba[i % 4];
    for (LONG y = r.top; y < r.bottom; ++y) {
        EncodeRow(s->format(), row.data(), static_cast<UINT>(r.right - r.left),
                  s->bits() + static_cast<std::size_t>(y) * s->pitch() +
                      static_cast<std::size_t>(r.left) * s->layout().bytesPerBlock);
    }
    s->MemoryChanged();
    return D3D_OK;
}

}  // namespace tarn::d3d9
