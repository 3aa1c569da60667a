// The device's state as the setters store it and the backends read it: render, stage and sampler states,
// transforms, lights, what each sampler and stream holds, targets, and the groups of state changed since the
// backend last drew; and the record of a state block (which of those states it holds, and their values).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d9/D3D9.h"
#include "VertexLayout.h"

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
constexpr int kRenderTargets = 4;    // simultaneous render targets: renderTarget and moreTargets
constexpr int kWorldMatrices = 256;  // D3DTS_WORLDMATRIX(0) to (255)

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

// What one vertex stream holds: a vertex buffer (with a reference), where its vertices start, their stride,
// and the frequency last set for it (stored and answered; drawing does not instance).
struct StreamBinding {
    VertexBuffer* buffer = nullptr;
    UINT offset = 0, stride = 0;
    UINT frequency = 1;
};

struct DeviceState {
    std::array<DWORD, D3DRS_MAX_VALUE> rs{};
    std::array<std::array<DWORD, D3DTSS_MAX_VALUE>, kStages> tss{};
    std::array<std::array<DWORD, D3DSAMP_MAX_VALUE>, kSamplers> samp{};
    D3DMATRIX world{}, view{}, projection{};
    // D3DTS_WORLDMATRIX(1) onwards, at index - 1; those past the end are the identity.
    std::vector<D3DMATRIX> blendWorlds;
    std::array<D3DMATRIX, kStages> texture{};
    D3DMATERIAL9 material{};
    std::vector<LightSlot> lights;
    std::array<SamplerBinding, kSamplers> bound{};  // the texture each sampler holds
    std::array<StreamBinding, kStreams> streams{};
    IndexBuffer* indices = nullptr;
    // The vertex input: a flexible vertex format (SetFVF) or a declaration (SetVertexDeclaration, held with a
    // reference; `fvf` is then the format it converts to, or 0). `layout` is what draws read, from either.
    DWORD fvf = 0;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    VertexLayout layout{};
    D3DVIEWPORT9 viewport{};
    RECT scissor{};
    std::array<std::array<float, 4>, kMaxClipPlanes> clipPlanes{};  // a, b, c, d: kept where ax+by+cz+d >= 0
    Surface* renderTarget = nullptr;
    // Render targets 1 to 3 (null where none is set), each held with a reference. The fixed-function pipeline
    // writes target 0 only; Clear clears them all.
    std::array<Surface*, kRenderTargets - 1> moreTargets{};
    Surface* depthStencil = nullptr;
    std::uint32_t dirty = kDirtyAll;
    std::array<PALETTEENTRY, 256> palette{};
    D3DCLIPSTATUS9 clipStatus{};  // as last set (SetClipStatus); nothing computes one here
};

// A set of state indices below N, walked in increasing order.
template <std::size_t N>
class StateBits {
public:
    void set(std::size_t i) { words_[i / 64] |= std::uint64_t{1} << (i % 64); }
    bool test(std::size_t i) const { return (words_[i / 64] >> (i % 64)) & 1u; }
    template <class F>
    void forEach(F f) const {
        for (std::size_t w = 0; w < words_.size(); ++w) {
            for (std::uint64_t bits = words_[w]; bits; bits &= bits - 1) {
                f(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
            }
        }
    }

private:
    std::array<std::uint64_t, (N + 63) / 64> words_{};
};

// Which states of a DeviceState a state block holds.
struct StateMask {
    StateBits<D3DRS_MAX_VALUE> renderStates;
    std::array<StateBits<D3DTSS_MAX_VALUE>, kStages> stageStates;
    std::array<StateBits<D3DSAMP_MAX_VALUE>, kSamplers> samplerStates;
    StateBits<kSamplers> textures;
    StateBits<kStages> textureTransforms;
    StateBits<kMaxClipPlanes> clipPlanes;
    bool world = false, view = false, projection = false, material = false, viewport = false, scissor = false;
    StateBits<kWorldMatrices> blendWorlds;  // world matrices 1 to 255 (bit i: D3DTS_WORLDMATRIX(i))
    StateBits<kStreams> streams;            // buffer, offset and stride of each stream
    StateBits<kStreams> frequencies;        // SetStreamSourceFreq of each stream
    bool fvf = false, indices = false;      // fvf: the vertex input, format or declaration
};

// A state block's light `index`: its parameters, its enable flag, or both.
struct LightRecord {
    DWORD index = 0;
    bool hasLight = false, hasEnable = false;
    D3DLIGHT9 light{};
    bool enabled = false;
};

// The states a state block holds, or a recording (BeginStateBlock) has collected so far: `mask` and `lights`
// say which, `values` holds them (its lights, targets, palette and dirty groups unused). Holds a reference on
// each texture, vertex buffer, index buffer and declaration in `values` (StateBlocks.cpp).
struct StateRecord {
    StateRecord() = default;
    ~StateRecord();
    StateRecord(const StateRecord&) = delete;
    StateRecord& operator=(const StateRecord&) = delete;

    // The record of light `index`, added when there is none yet.
    LightRecord& Light(DWORD index);
    // Store a binding, a stream or an index buffer, taking a reference on it and dropping the one held before.
    void HoldTexture(DWORD stage, const SamplerBinding& binding);
    void HoldStream(UINT stream, VertexBuffer* buffer, UINT offset, UINT stride);
    void HoldDeclaration(IDirect3DVertexDeclaration9* declaration);
    void HoldIndices(IndexBuffer* buffer);

    DeviceState values;
    StateMask mask;
    std::vector<LightRecord> lights;
};

inline constexpr D3DMATRIX kIdentityMatrix = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

// World matrix `index` (0 to 255) of a state.
inline const D3DMATRIX& WorldMatrix(const DeviceState& state, std::size_t index) {
    if (index == 0) return state.world;
    return index <= state.blendWorlds.size() ? state.blendWorlds[index - 1] : kIdentityMatrix;
}

// True when a projection leaves w at 1 (last column 0, 0, 0, 1). Table fog is then z-based, else w-based.
inline bool IsAffineProjection(const D3DMATRIX& m) {
    return m._14 == 0.0f && m._24 == 0.0f && m._34 == 0.0f && m._44 == 1.0f;
}

}  // namespace tarn::d3d9
