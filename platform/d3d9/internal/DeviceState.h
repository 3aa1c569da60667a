// The device's state as the setters store it and the backends read it: render, stage and sampler states,
// transforms, lights, what each sampler and stream holds, targets, and the groups of state changed since the
// backend last drew.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/d3d9/D3D9.h"

namespace tarn::d3d9 {

// The state refers to these resources (ResourceObjects.h) by pointer, each held with a reference.
class ResourceCore;
class Surface;
template <class Interface, class Desc>
class Buffer;
using VertexBuffer = Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
using IndexBuffer = Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

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
    kDirtyProgram = 1u << 3,    // anything that changes the generated program
    kDirtyConstants = 1u << 4,  // fog values, texture factor, alpha reference, ambient, clip planes
    kDirtyBlend = 1u << 5,
    kDirtyDepth = 1u << 6,
    kDirtyRaster = 1u << 7,  // cull, fill, colour mask, shade mode, scissor
    kDirtyTextures = 1u << 8,
    kDirtySamplers = 1u << 9,
    kDirtyStreams = 1u << 10,
    kDirtyViewport = 1u << 11,
    kDirtyTarget = 1u << 12,
    kDirtyTexMatrices = 1u << 13,
    kDirtyAll = 0xffffffffu,
};

// The kind of texture a sampler holds: it picks the GLSL sampler type and the number of coordinates read.
enum class TextureKind : std::uint8_t { Flat, Cube, Volume };

// What one sampler holds: nothing, or one texture of one kind, held with a reference. `resource` and `object`
// are the same texture seen as the layer's resource and as the interface the caller set; `kind` says which class
// `resource` is (Texture, CubeTexture or VolumeTexture).
struct SamplerBinding {
    ResourceCore* resource = nullptr;
    IDirect3DBaseTexture9* object = nullptr;
    TextureKind kind = TextureKind::Flat;
};

struct DeviceState {
    std::array<DWORD, D3DRS_MAX_VALUE> rs{};
    std::array<std::array<DWORD, D3DTSS_MAX_VALUE>, kStages> tss{};
    std::array<std::array<DWORD, D3DSAMP_MAX_VALUE>, kSamplers> samp{};
    D3DMATRIX world{}, view{}, projection{};
    std::array<D3DMATRIX, kStages> texture{};
    D3DMATERIAL9 material{};
    std::vector<LightSlot> lights;
    std::array<SamplerBinding, kSamplers> bound{};  // the texture each sampler holds
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
    D3DCLIPSTATUS9 clipStatus{};  // as last set (SetClipStatus); nothing computes one here
};

// True when a projection leaves w at 1 (last column 0, 0, 0, 1). Table fog is then z-based, else w-based.
inline bool IsAffineProjection(const D3DMATRIX& m) {
    return m._14 == 0.0f && m._24 == 0.0f && m._34 == 0.0f && m._44 == 1.0f;
}

}  // namespace tarn::d3d9
