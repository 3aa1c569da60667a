// State blocks: the IDirect3DStateBlock9 object, what CreateStateBlock captures for each block type (the
// documented pixel and vertex subsets of render, texture-stage and sampler states, and everything for
// D3DSBT_ALL, which adds every world matrix and every stream), recording between BeginStateBlock and
// EndStateBlock, Capture and Apply. The vertex input (a format or a declaration) is vertex state.
#include <algorithm>
#include <memory>
#include <new>

#include "DeviceObject.h"

namespace tarn::d3d9 {
namespace {

// The render states of a pixel state block, as documented.
constexpr D3DRENDERSTATETYPE kPixelRenderStates[] = {
    D3DRS_ZENABLE,
    D3DRS_FILLMODE,
    D3DRS_SHADEMODE,
    D3DRS_ZWRITEENABLE,
    D3DRS_ALPHATESTENABLE,
    D3DRS_LASTPIXEL,
    D3DRS_SRCBLEND,
    D3DRS_DESTBLEND,
    D3DRS_ZFUNC,
    D3DRS_ALPHAREF,
    D3DRS_ALPHAFUNC,
    D3DRS_DITHERENABLE,
    D3DRS_FOGSTART,
    D3DRS_FOGEND,
    D3DRS_FOGDENSITY,
    D3DRS_ALPHABLENDENABLE,
    D3DRS_DEPTHBIAS,
    D3DRS_STENCILENABLE,
    D3DRS_STENCILFAIL,
    D3DRS_STENCILZFAIL,
    D3DRS_STENCILPASS,
    D3DRS_STENCILFUNC,
    D3DRS_STENCILREF,
    D3DRS_STENCILMASK,
    D3DRS_STENCILWRITEMASK,
    D3DRS_TEXTUREFACTOR,
    D3DRS_WRAP0,
    D3DRS_WRAP1,
    D3DRS_WRAP2,
    D3DRS_WRAP3,
    D3DRS_WRAP4,
    D3DRS_WRAP5,
    D3DRS_WRAP6,
    D3DRS_WRAP7,
    D3DRS_WRAP8,
    D3DRS_WRAP9,
    D3DRS_WRAP10,
    D3DRS_WRAP11,
    D3DRS_WRAP12,
    D3DRS_WRAP13,
    D3DRS_WRAP14,
    D3DRS_WRAP15,
    D3DRS_COLORWRITEENABLE,
    D3DRS_BLENDOP,
    D3DRS_SCISSORTESTENABLE,
    D3DRS_SLOPESCALEDEPTHBIAS,
    D3DRS_ANTIALIASEDLINEENABLE,
    D3DRS_TWOSIDEDSTENCILMODE,
    D3DRS_CCW_STENCILFAIL,
    D3DRS_CCW_STENCILZFAIL,
    D3DRS_CCW_STENCILPASS,
    D3DRS_CCW_STENCILFUNC,
    D3DRS_COLORWRITEENABLE1,
    D3DRS_COLORWRITEENABLE2,
    D3DRS_COLORWRITEENABLE3,
    D3DRS_BLENDFACTOR,
    D3DRS_SRGBWRITEENABLE,
    D3DRS_SEPARATEALPHABLENDENABLE,
    D3DRS_SRCBLENDALPHA,
    D3DRS_DESTBLENDALPHA,
    D3DRS_BLENDOPALPHA,
};

// The render states of a vertex state block, as documented (the fog distances and the shade mode are in both).
constexpr D3DRENDERSTATETYPE kVertexRenderStates[] = {
    D3DRS_CULLMODE,
    D3DRS_FOGENABLE,
    D3DRS_FOGCOLOR,
    D3DRS_FOGTABLEMODE,
    D3DRS_FOGSTART,
    D3DRS_FOGEND,
    D3DRS_FOGDENSITY,
    D3DRS_RANGEFOGENABLE,
    D3DRS_AMBIENT,
    D3DRS_COLORVERTEX,
    D3DRS_FOGVERTEXMODE,
    D3DRS_CLIPPING,
    D3DRS_LIGHTING,
    D3DRS_LOCALVIEWER,
    D3DRS_EMISSIVEMATERIALSOURCE,
    D3DRS_AMBIENTMATERIALSOURCE,
    D3DRS_DIFFUSEMATERIALSOURCE,
    D3DRS_SPECULARMATERIALSOURCE,
    D3DRS_VERTEXBLEND,
    D3DRS_CLIPPLANEENABLE,
    D3DRS_POINTSIZE,
    D3DRS_POINTSIZE_MIN,
    D3DRS_POINTSPRITEENABLE,
    D3DRS_POINTSCALEENABLE,
    D3DRS_POINTSCALE_A,
    D3DRS_POINTSCALE_B,
    D3DRS_POINTSCALE_C,
    D3DRS_MULTISAMPLEANTIALIAS,
    D3DRS_MULTISAMPLEMASK,
    D3DRS_PATCHEDGESTYLE,
    D3DRS_POINTSIZE_MAX,
    D3DRS_INDEXEDVERTEXBLENDENABLE,
    D3DRS_TWEENFACTOR,
    D3DRS_POSITIONDEGREE,
    D3DRS_NORMALDEGREE,
    D3DRS_MINTESSELLATIONLEVEL,
    D3DRS_MAXTESSELLATIONLEVEL,
    D3DRS_ADAPTIVETESS_X,
    D3DRS_ADAPTIVETESS_Y,
    D3DRS_ADAPTIVETESS_Z,
    D3DRS_ADAPTIVETESS_W,
    D3DRS_ENABLEADAPTIVETESSELLATION,
    D3DRS_NORMALIZENORMALS,
    D3DRS_SPECULARENABLE,
    D3DRS_SHADEMODE,
};

// Texture-stage states: every one is a pixel state; the coordinate index and transform flags are vertex states
// too.
constexpr D3DTEXTURESTAGESTATETYPE kPixelStageStates[] = {
    D3DTSS_COLOROP,        D3DTSS_COLORARG1,
    D3DTSS_COLORARG2,      D3DTSS_ALPHAOP,
    D3DTSS_ALPHAARG1,      D3DTSS_ALPHAARG2,
    D3DTSS_BUMPENVMAT00,   D3DTSS_BUMPENVMAT01,
    D3DTSS_BUMPENVMAT10,   D3DTSS_BUMPENVMAT11,
    D3DTSS_TEXCOORDINDEX,  D3DTSS_BUMPENVLSCALE,
    D3DTSS_BUMPENVLOFFSET, D3DTSS_TEXTURETRANSFORMFLAGS,
    D3DTSS_COLORARG0,      D3DTSS_ALPHAARG0,
    D3DTSS_RESULTARG,      D3DTSS_CONSTANT,
};
constexpr D3DTEXTURESTAGESTATETYPE kVertexStageStates[] = {D3DTSS_TEXCOORDINDEX, D3DTSS_TEXTURETRANSFORMFLAGS};

// Sampler states: all pixel states but the displacement-map offset, which is the one vertex state.
constexpr D3DSAMPLERSTATETYPE kPixelSamplerStates[] = {
    D3DSAMP_ADDRESSU,    D3DSAMP_ADDRESSV,      D3DSAMP_ADDRESSW,    D3DSAMP_BORDERCOLOR,
    D3DSAMP_MAGFILTER,   D3DSAMP_MINFILTER,     D3DSAMP_MIPFILTER,   D3DSAMP_MIPMAPLODBIAS,
    D3DSAMP_MAXMIPLEVEL, D3DSAMP_MAXANISOTROPY, D3DSAMP_SRGBTEXTURE, D3DSAMP_ELEMENTINDEX,
};
constexpr D3DSAMPLERSTATETYPE kVertexSamplerStates[] = {D3DSAMP_DMAPOFFSET};

// The states CreateStateBlock captures for `type`. Lights are added from the device's lights.
void MaskFor(D3DSTATEBLOCKTYPE type, StateMask& mask) {
    const bool pixel = type == D3DSBT_ALL || type == D3DSBT_PIXELSTATE;
    const bool vertex = type == D3DSBT_ALL || type == D3DSBT_VERTEXSTATE;
    if (pixel) {
        for (D3DRENDERSTATETYPE s : kPixelRenderStates) mask.renderStates.set(s);
        for (auto& stage : mask.stageStates)
            for (D3DTEXTURESTAGESTATETYPE t : kPixelStageStates) stage.set(t);
        for (auto& sampler : mask.samplerStates)
            for (D3DSAMPLERSTATETYPE t : kPixelSamplerStates) sampler.set(t);
    }
    if (vertex) {
        for (D3DRENDERSTATETYPE s : kVertexRenderStates) mask.renderStates.set(s);
        for (auto& stage : mask.stageStates)
            for (D3DTEXTURESTAGESTATETYPE t : kVertexStageStates) stage.set(t);
        for (auto& sampler : mask.samplerStates)
            for (D3DSAMPLERSTATETYPE t : kVertexSamplerStates) sampler.set(t);
        mask.fvf = true;
    }
    if (type == D3DSBT_ALL) {
        for (int i = 0; i < kSamplers; ++i) mask.textures.set(i);
        for (int i = 0; i < kStages; ++i) mask.textureTransforms.set(i);
        for (int i = 0; i < kMaxClipPlanes; ++i) mask.clipPlanes.set(i);
        mask.world = mask.view = mask.projection = mask.material = mask.viewport = mask.scissor = true;
        for (int i = 1; i < kWorldMatrices; ++i) mask.blendWorlds.set(i);
        for (int i = 0; i < kStreams; ++i) mask.streams.set(i), mask.frequencies.set(i);
        mask.indices = true;
    }
}

// Reads from the device's state the states `record` holds.
void CaptureInto(const DeviceState& from, StateRecord& record) {
    DeviceState& to = record.values;
    const StateMask& mask = record.mask;
    mask.renderStates.forEach([&](std::size_t s) { to.rs[s] = from.rs[s]; });
    for (int stage = 0; stage < kStages; ++stage) {
        mask.stageStates[stage].forEach([&](std::size_t t) { to.tss[stage][t] = from.tss[stage][t]; });
    }
    for (int sampler = 0; sampler < kSamplers; ++sampler) {
        mask.samplerStates[sampler].forEach([&](std::size_t t) { to.samp[sampler][t] = from.samp[sampler][t]; });
    }
    mask.textures.forEach([&](std::size_t stage) { record.HoldTexture(static_cast<DWORD>(stage), from.bound[stage]); });
    mask.textureTransforms.forEach([&](std::size_t stage) { to.texture[stage] = from.texture[stage]; });
    mask.clipPlanes.forEach([&](std::size_t plane) { to.clipPlanes[plane] = from.clipPlanes[plane]; });
    if (mask.world) to.world = from.world;
    if (mask.view) to.view = from.view;
    if (mask.projection) to.projection = from.projection;
    if (mask.material) to.material = from.material;
    if (mask.viewport) to.viewport = from.viewport;
    if (mask.scissor) to.scissor = from.scissor;
    mask.blendWorlds.forEach([&](std::size_t i) {
        if (to.blendWorlds.size() < i) to.blendWorlds.resize(i, kIdentityMatrix);
        to.blendWorlds[i - 1] = WorldMatrix(from, i);
    });
    if (mask.fvf) {
        to.fvf = from.fvf;
        record.HoldDeclaration(from.declaration);
    }
    mask.streams.forEach([&](std::size_t s) {
        const StreamBinding& stream = from.streams[s];
        record.HoldStream(static_cast<UINT>(s), stream.buffer, stream.offset, stream.stride);
    });
    mask.frequencies.forEach([&](std::size_t s) { to.streams[s].frequency = from.streams[s].frequency; });
    if (mask.indices) record.HoldIndices(from.indices);
    for (LightRecord& light : record.lights) {
        if (light.index >= from.lights.size()) continue;  // a light the device has never had keeps its record
        const LightSlot& slot = from.lights[light.index];
        if (light.hasLight) light.light = slot.light;
        if (light.hasEnable) light.enabled = slot.enabled;
    }
}

// Sets the states `record` holds through the device's own setters, so that the device checks them, keeps its
// compare-and-set cache and marks the groups that changed (or, while recording, records them).
void ApplyFrom(const StateRecord& record, IDirect3DDevice9* device) {
    const DeviceState& v = record.values;
    const StateMask& mask = record.mask;
    mask.renderStates.forEach(
        [&](std::size_t s) { device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(s), v.rs[s]); });
    for (DWORD stage = 0; stage < static_cast<DWORD>(kStages); ++stage) {
        mask.stageStates[stage].forEach([&](std::size_t t) {
            device->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(t), v.tss[stage][t]);
        });
    }
    for (DWORD sampler = 0; sampler < static_cast<DWORD>(kSamplers); ++sampler) {
        mask.samplerStates[sampler].forEach([&](std::size_t t) {
            device->SetSamplerState(sampler, static_cast<D3DSAMPLERSTATETYPE>(t), v.samp[sampler][t]);
        });
    }
    mask.textures.forEach(
        [&](std::size_t stage) { device->SetTexture(static_cast<DWORD>(stage), v.bound[stage].object); });
    mask.textureTransforms.forEach([&](std::size_t stage) {
        device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + stage), &v.texture[stage]);
    });
    mask.clipPlanes.forEach(
        [&](std::size_t plane) { device->SetClipPlane(static_cast<DWORD>(plane), v.clipPlanes[plane].data()); });
    if (mask.world) device->SetTransform(D3DTS_WORLD, &v.world);
    if (mask.view) device->SetTransform(D3DTS_VIEW, &v.view);
    if (mask.projection) device->SetTransform(D3DTS_PROJECTION, &v.projection);
    if (mask.material) device->SetMaterial(&v.material);
    if (mask.viewport) device->SetViewport(&v.viewport);
    if (mask.scissor) device->SetScissorRect(&v.scissor);
    mask.blendWorlds.forEach(
        [&](std::size_t i) { device->SetTransform(D3DTS_WORLDMATRIX(static_cast<int>(i)), &WorldMatrix(v, i)); });
    if (mask.fvf) v.declaration ? device->SetVertexDeclaration(v.declaration) : device->SetFVF(v.fvf);
    mask.streams.forEach([&](std::size_t s) {
        const StreamBinding& stream = v.streams[s];
        device->SetStreamSource(static_cast<UINT>(s), stream.buffer, stream.offset, stream.stride);
    });
    mask.frequencies.forEach(
        [&](std::size_t s) { device->SetStreamSourceFreq(static_cast<UINT>(s), v.streams[s].frequency); });
    if (mask.indices) device->SetIndices(v.indices);
    // Parameters first, then the lights switched off before those switched on, so that a block never meets the
    // limit of lights enabled at once on its way to a set within it.
    for (const LightRecord& light : record.lights) {
        if (light.hasLight) device->SetLight(light.index, &light.light);
    }
    for (const LightRecord& light : record.lights) {
        if (light.hasEnable && !light.enabled) device->LightEnable(light.index, FALSE);
    }
    for (const LightRecord& light : record.lights) {
        if (light.hasEnable && light.enabled) device->LightEnable(light.index, TRUE);
    }
}

class StateBlock final : public DeviceChild<StateBlock, IDirect3DStateBlock9, IID_IDirect3DStateBlock9> {
public:
    StateBlock(Device* device, std::unique_ptr<StateRecord> record)
        : DeviceChild(device, "state block"), record_(std::move(record)) {}

    HRESULT STDMETHODCALLTYPE Capture() override {
        const DeviceGuard guard(device_->lock());
        CaptureInto(device_->state(), *record_);
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE Apply() override {
        const DeviceGuard guard(device_->lock());  // the setters it calls nest
        ApplyFrom(*record_, device_);
        return D3D_OK;
    }

private:
    friend DeviceChild;  // deletes the object through its own destructor
    // The captured textures and buffers (record_) go before the base releases the device: their release reaches it.
    ~StateBlock() = default;

    std::unique_ptr<StateRecord> record_;
};

}  // namespace

StateRecord::~StateRecord() {
    for (SamplerBinding& bound : values.bound) {
        if (bound.object) bound.object->Release();
    }
    for (StreamBinding& stream : values.streams) {
        if (stream.buffer) stream.buffer->Release();
    }
    if (values.declaration) values.declaration->Release();
    if (values.indices) values.indices->Release();
}

LightRecord& StateRecord::Light(DWORD index) {
    auto it = std::find_if(lights.begin(), lights.end(), [&](const LightRecord& l) { return l.index == index; });
    if (it != lights.end()) return *it;
    lights.push_back(LightRecord{index});
    return lights.back();
}

void StateRecord::HoldTexture(DWORD stage, const SamplerBinding& binding) {
    SamplerBinding& slot = values.bound[stage];
    if (binding.object) binding.object->AddRef();
    if (slot.object) slot.object->Release();
    slot = binding;
}

void StateRecord::HoldStream(UINT stream, VertexBuffer* buffer, UINT offset, UINT stride) {
    StreamBinding& slot = values.streams[stream];
    if (buffer) buffer->AddRef();
    if (slot.buffer) slot.buffer->Release();
    slot.buffer = buffer;
    slot.offset = offset;
    slot.stride = stride;
}

void StateRecord::HoldDeclaration(IDirect3DVertexDeclaration9* declaration) {
    if (declaration) declaration->AddRef();
    if (values.declaration) values.declaration->Release();
    values.declaration = declaration;
}

void StateRecord::HoldIndices(IndexBuffer* buffer) {
    if (buffer) buffer->AddRef();
    if (values.indices) values.indices->Release();
    values.indices = buffer;
}

HRESULT Device::CreateStateBlock(D3DSTATEBLOCKTYPE type, IDirect3DStateBlock9** block) {
    const DeviceGuard guard(lock_);
    if (!block) return D3DERR_INVALIDCALL;
    *block = nullptr;
    if (type != D3DSBT_ALL && type != D3DSBT_PIXELSTATE && type != D3DSBT_VERTEXSTATE) return D3DERR_INVALIDCALL;
    std::unique_ptr<StateRecord> record(new (std::nothrow) StateRecord);
    if (!record) return E_OUTOFMEMORY;
    MaskFor(type, record->mask);
    if (type != D3DSBT_PIXELSTATE) {
        // Lights are vertex state: the block holds every light the device has been given, with its enable flag.
        for (DWORD i = 0; i < state_.lights.size(); ++i) {
            if (state_.lights[i].light.Type == 0) continue;  // a slot below a set light, never set itself
            LightRecord& light = record->Light(i);
            light.hasLight = light.hasEnable = true;
        }
    }
    CaptureInto(state_, *record);
    *block = new StateBlock(this, std::move(record));
    return D3D_OK;
}

HRESULT Device::BeginStateBlock() {
    const DeviceGuard guard(lock_);
    if (recording_) return D3DERR_INVALIDCALL;
    recording_.reset(new (std::nothrow) StateRecord);
    return recording_ ? D3D_OK : E_OUTOFMEMORY;
}

HRESULT Device::EndStateBlock(IDirect3DStateBlock9** block) {
    const DeviceGuard guard(lock_);
    if (!block) return D3DERR_INVALIDCALL;
    *block = nullptr;
    if (!recording_) return D3DERR_INVALIDCALL;
    *block = new StateBlock(this, std::move(recording_));
    return D3D_OK;
}

}  // namespace tarn::d3d9
