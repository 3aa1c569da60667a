// The device's state setters and getters: render targets, transforms, viewport, clip planes, material, lights,
// render, texture-stage and sampler states, textures and indices (the vertex input is VertexDeclarations.cpp). Each
// setter checks its values, stores them and marks the group of state that changed, for the backend to apply at the next
// draw; while a state block is being recorded, the setters of the states a block holds store into the recording and
// leave the device as it is.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "DeviceObject.h"
#include "FixedFunction.h"
#include "UpdateState.h"

namespace tarn::d3d9 {
namespace {

// Which dirty group a render state belongs to.
std::uint32_t DirtyForRenderState(DWORD state) {
    switch (state) {
    case D3DRS_ZENABLE:
    case D3DRS_ZWRITEENABLE:
    case D3DRS_ZFUNC:
    case D3DRS_STENCILENABLE:
    case D3DRS_STENCILFAIL:
    case D3DRS_STENCILZFAIL:
    case D3DRS_STENCILPASS:
    case D3DRS_STENCILFUNC:
    case D3DRS_STENCILREF:
    case D3DRS_STENCILMASK:
    case D3DRS_STENCILWRITEMASK:
    case D3DRS_DEPTHBIAS:
    case D3DRS_SLOPESCALEDEPTHBIAS:
    case D3DRS_TWOSIDEDSTENCILMODE:
    case D3DRS_CCW_STENCILFAIL:
    case D3DRS_CCW_STENCILZFAIL:
    case D3DRS_CCW_STENCILPASS:
    case D3DRS_CCW_STENCILFUNC:
        return kDirtyDepth;
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
    case D3DRS_ALPHABLENDENABLE:
    case D3DRS_BLENDOP:
    case D3DRS_BLENDFACTOR:
    case D3DRS_SEPARATEALPHABLENDENABLE:
    case D3DRS_SRCBLENDALPHA:
    case D3DRS_DESTBLENDALPHA:
    case D3DRS_BLENDOPALPHA:
        return kDirtyBlend;
    case D3DRS_CULLMODE:
    case D3DRS_FILLMODE:
    case D3DRS_COLORWRITEENABLE:
    case D3DRS_SCISSORTESTENABLE:
    case D3DRS_MULTISAMPLEANTIALIAS:
    case D3DRS_MULTISAMPLEMASK:
        return kDirtyRaster;
    case D3DRS_SHADEMODE:
    case D3DRS_ALPHATESTENABLE:
    case D3DRS_ALPHAFUNC:
    case D3DRS_FOGENABLE:
    case D3DRS_FOGTABLEMODE:
    case D3DRS_FOGVERTEXMODE:
    case D3DRS_RANGEFOGENABLE:
    case D3DRS_SPECULARENABLE:
    case D3DRS_LIGHTING:
    case D3DRS_COLORVERTEX:
    case D3DRS_LOCALVIEWER:
    case D3DRS_NORMALIZENORMALS:
    case D3DRS_DIFFUSEMATERIALSOURCE:
    case D3DRS_SPECULARMATERIALSOURCE:
    case D3DRS_AMBIENTMATERIALSOURCE:
    case D3DRS_EMISSIVEMATERIALSOURCE:
    case D3DRS_CLIPPLANEENABLE:
    case D3DRS_POINTSCALEENABLE:
    case D3DRS_POINTSPRITEENABLE:
    case D3DRS_SRGBWRITEENABLE:
    case D3DRS_WRAP0:
    case D3DRS_WRAP1:
    case D3DRS_WRAP2:
    case D3DRS_WRAP3:
    case D3DRS_WRAP4:
    case D3DRS_WRAP5:
    case D3DRS_WRAP6:
    case D3DRS_WRAP7:
        return kDirtyProgram | kDirtyConstants;
    case D3DRS_ALPHAREF:
    case D3DRS_FOGCOLOR:
    case D3DRS_FOGSTART:
    case D3DRS_FOGEND:
    case D3DRS_FOGDENSITY:
    case D3DRS_TEXTUREFACTOR:
    case D3DRS_AMBIENT:
    case D3DRS_POINTSIZE:
    case D3DRS_POINTSIZE_MIN:
    case D3DRS_POINTSIZE_MAX:
    case D3DRS_POINTSCALE_A:
    case D3DRS_POINTSCALE_B:
    case D3DRS_POINTSCALE_C:
        return kDirtyConstants;
    default:
        return 0;
    }
}

// Stores world matrix `index` (1 to 255), growing the list of those set with identities.
void StoreBlendWorld(DeviceState& state, DWORD index, const D3DMATRIX& matrix) {
    if (state.blendWorlds.size() < index) state.blendWorlds.resize(index, kIdentityMatrix);
    state.blendWorlds[index - 1] = matrix;
}

}  // namespace

// ---- Render targets ----

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* target) {
    const DeviceGuard guard(lock_);
    if (index >= static_cast<DWORD>(kRenderTargets)) return D3DERR_INVALIDCALL;
    Surface* s = OwnSurface(target, this);
    // A surface is one target at a time.
    for (DWORD other = 0; s && other < static_cast<DWORD>(kRenderTargets); ++other) {
        const Surface* bound = other == 0 ? state_.renderTarget : state_.moreTargets[other - 1];
        if (other != index && bound == s) return D3DERR_INVALIDCALL;
    }
    if (index > 0) {
        // Targets after the first may be unset, and have the first one's size (their formats may differ).
        if (target && (!s || !s->isRenderTarget())) return D3DERR_INVALIDCALL;
        if (s && (s->width() != state_.renderTarget->width() || s->height() != state_.renderTarget->height())) {
            return D3DERR_INVALIDCALL;
        }
        // Multiple render targets are not multisampled.
        if (s && (s->samples() > 1 || state_.renderTarget->samples() > 1)) return D3DERR_INVALIDCALL;
        Surface*& slot = state_.moreTargets[index - 1];
        if (s == slot) return D3D_OK;
        if (s) s->AddRef();
        if (slot) slot->Release();
        slot = s;
        state_.dirty |= kDirtyTarget;
        return D3D_OK;
    }
    if (!s || !s->isRenderTarget()) return D3DERR_INVALIDCALL;
    if (s == state_.renderTarget) {
        ResetViewportToTarget();
        return D3D_OK;
    }
    s->AddRef();
    state_.renderTarget->Release();
    state_.renderTarget = s;
    // Setting a render target resets the viewport (and the scissor rectangle) to the whole target.
    ResetViewportToTarget();
    state_.scissor = FullRect(s);
    state_.dirty |= kDirtyTarget | kDirtyViewport | kDirtyRaster;
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** target) {
    const DeviceGuard guard(lock_);
    if (!target) return D3DERR_INVALIDCALL;
    *target = nullptr;
    if (index >= static_cast<DWORD>(kRenderTargets)) return D3DERR_INVALIDCALL;
    Surface* s = index == 0 ? state_.renderTarget : state_.moreTargets[index - 1];
    if (!s) return D3DERR_NOTFOUND;
    s->AddRef();
    *target = s;
    return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* surface) {
    const DeviceGuard guard(lock_);
    Surface* s = OwnSurface(surface, this);
    if (surface && (!s || !s->isDepth())) return D3DERR_INVALIDCALL;
    if (s == state_.depthStencil) return D3D_OK;
    if (s) s->AddRef();
    if (state_.depthStencil) state_.depthStencil->Release();
    state_.depthStencil = s;
    state_.dirty |= kDirtyTarget;
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** surface) {
    const DeviceGuard guard(lock_);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = state_.depthStencil;
    if (!state_.depthStencil) return D3DERR_NOTFOUND;
    state_.depthStencil->AddRef();
    return D3D_OK;
}

// ---- State ----

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    const DeviceGuard guard(lock_);
    if (!matrix) return D3DERR_INVALIDCALL;
    const DWORD s = static_cast<DWORD>(state);
    if (StateRecord* rec = recording_.get()) {
        if (s == static_cast<DWORD>(D3DTS_WORLD)) {
            rec->values.world = *matrix;
            rec->mask.world = true;
        } else if (s == D3DTS_VIEW) {
            rec->values.view = *matrix;
            rec->mask.view = true;
        } else if (s == D3DTS_PROJECTION) {
            rec->values.projection = *matrix;
            rec->mask.projection = true;
        } else if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) {
            rec->values.texture[s - D3DTS_TEXTURE0] = *matrix;
            rec->mask.textureTransforms.set(s - D3DTS_TEXTURE0);
        } else if (s > 256 && s < 256 + kWorldMatrices) {
            StoreBlendWorld(rec->values, s - 256, *matrix);
            rec->mask.blendWorlds.set(s - 256);
        } else {
            return D3DERR_INVALIDCALL;
        }
        return D3D_OK;
    }
    if (s == static_cast<DWORD>(D3DTS_WORLD)) {
        state_.world = *matrix;
        state_.dirty |= kDirtyTransforms;
    } else if (s == D3DTS_VIEW) {
        state_.view = *matrix;
        state_.dirty |= kDirtyTransforms | kDirtyLights;
    } else if (s == D3DTS_PROJECTION) {
        // Table fog is w-based for a perspective projection and z-based for an affine one: a change between
        // the two changes the program.
        const bool wasAffine = IsAffineProjection(state_.projection);
        state_.projection = *matrix;
        state_.dirty |= kDirtyTransforms | (IsAffineProjection(*matrix) != wasAffine ? kDirtyProgram : 0u);
    } else if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) {
        state_.texture[s - D3DTS_TEXTURE0] = *matrix;
        state_.dirty |= kDirtyTexMatrices;
    } else if (s > 256 && s < 256 + kWorldMatrices) {
        StoreBlendWorld(state_, s - 256, *matrix);
        state_.dirty |= kDirtyTransforms;
    } else {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    const DeviceGuard guard(lock_);
    if (!matrix || pure()) return D3DERR_INVALIDCALL;
    const DWORD s = static_cast<DWORD>(state);
    if (s == static_cast<DWORD>(D3DTS_WORLD)) {
        *matrix = state_.world;
    } else if (s == D3DTS_VIEW) {
        *matrix = state_.view;
    } else if (s == D3DTS_PROJECTION) {
        *matrix = state_.projection;
    } else if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) {
        *matrix = state_.texture[s - D3DTS_TEXTURE0];
    } else if (s > 256 && s < 256 + kWorldMatrices) {
        *matrix = WorldMatrix(state_, s - 256);
    } else {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    const DeviceGuard guard(lock_);
    if (!matrix) return D3DERR_INVALIDCALL;
    // The product is formed here, so it works on a pure device too (which only refuses reads by the caller).
    const DWORD s = static_cast<DWORD>(state);
    const D3DMATRIX* current = nullptr;
    if (s == static_cast<DWORD>(D3DTS_WORLD)) {
        current = &state_.world;
    } else if (s == D3DTS_VIEW) {
        current = &state_.view;
    } else if (s == D3DTS_PROJECTION) {
        current = &state_.projection;
    } else if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) {
        current = &state_.texture[s - D3DTS_TEXTURE0];
    } else if (s > 256 && s < 256 + kWorldMatrices) {
        current = &WorldMatrix(state_, s - 256);
    } else {
        return D3DERR_INVALIDCALL;
    }
    D3DMATRIX product{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k) product.m[r][c] += matrix->m[r][k] * current->m[k][c];
    return SetTransform(state, &product);
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
    const DeviceGuard guard(lock_);
    if (!viewport) return D3DERR_INVALIDCALL;
    const Surface* target = state_.renderTarget;
    if (viewport->Width == 0 || viewport->Height == 0 || viewport->X + viewport->Width > target->width() ||
        viewport->Y + viewport->Height > target->height() || viewport->MinZ < 0.0f || viewport->MaxZ > 1.0f ||
        viewport->MinZ > viewport->MaxZ) {
        return D3DERR_INVALIDCALL;
    }
    if (StateRecord* rec = recording_.get()) {
        rec->values.viewport = *viewport;
        rec->mask.viewport = true;
        return D3D_OK;
    }
    state_.viewport = *viewport;
    state_.dirty |= kDirtyViewport;
    return D3D_OK;
}

HRESULT Device::SetClipPlane(DWORD index, const float* plane) {
    const DeviceGuard guard(lock_);
    if (!plane || index >= static_cast<DWORD>(kMaxClipPlanes)) return D3DERR_INVALIDCALL;
    if (StateRecord* rec = recording_.get()) {
        std::copy(plane, plane + 4, rec->values.clipPlanes[index].begin());
        rec->mask.clipPlanes.set(index);
        return D3D_OK;
    }
    std::copy(plane, plane + 4, state_.clipPlanes[index].begin());
    state_.dirty |= kDirtyConstants;
    return D3D_OK;
}

HRESULT Device::GetClipPlane(DWORD index, float* plane) {
    const DeviceGuard guard(lock_);
    if (!plane || pure() || index >= static_cast<DWORD>(kMaxClipPlanes)) return D3DERR_INVALIDCALL;
    std::copy(state_.clipPlanes[index].begin(), state_.clipPlanes[index].end(), plane);
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
    const DeviceGuard guard(lock_);
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = state_.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
    const DeviceGuard guard(lock_);
    if (!material) return D3DERR_INVALIDCALL;
    if (StateRecord* rec = recording_.get()) {
        rec->values.material = *material;
        rec->mask.material = true;
        return D3D_OK;
    }
    state_.material = *material;
    state_.dirty |= kDirtyMaterial;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material) {
    const DeviceGuard guard(lock_);
    if (!material || pure()) return D3DERR_INVALIDCALL;
    *material = state_.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
    const DeviceGuard guard(lock_);
    if (!light) return D3DERR_INVALIDCALL;
    if (light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
    if (light->Range < 0.0f) return D3DERR_INVALIDCALL;
    if (light->Type == D3DLIGHT_SPOT && (light->Theta < 0.0f || light->Phi < light->Theta || light->Phi > 3.1415927f)) {
        return D3DERR_INVALIDCALL;
    }
    if (index >= 4096) return D3DERR_INVALIDCALL;
    if (StateRecord* rec = recording_.get()) {
        LightRecord& record = rec->Light(index);
        record.light = *light;
        record.hasLight = true;
        return D3D_OK;
    }
    if (index >= state_.lights.size()) state_.lights.resize(index + 1);
    state_.lights[index].light = *light;
    state_.dirty |= kDirtyLights | kDirtyProgram;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9* light) {
    const DeviceGuard guard(lock_);
    if (!light || pure() || index >= state_.lights.size()) return D3DERR_INVALIDCALL;
    *light = state_.lights[index].light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    const DeviceGuard guard(lock_);
    if (index >= 4096) return D3DERR_INVALIDCALL;
    if (StateRecord* rec = recording_.get()) {
        LightRecord& record = rec->Light(index);
        record.enabled = enable != FALSE;
        record.hasEnable = true;
        return D3D_OK;
    }
    if (index >= state_.lights.size()) {
        // Enabling a light that was never set gives it the default light: white directional along +z.
        state_.lights.resize(index + 1);
    }
    LightSlot& slot = state_.lights[index];
    if (slot.light.Type == 0) {
        slot.light = D3DLIGHT9{};
        slot.light.Type = D3DLIGHT_DIRECTIONAL;
        slot.light.Diffuse = D3DCOLORVALUE{1, 1, 1, 0};
        slot.light.Direction = D3DVECTOR{0, 0, 1};
    }
    if (enable && !slot.enabled) {
        int active = 0;
        for (const LightSlot& l : state_.lights) active += l.enabled ? 1 : 0;
        if (active >= kMaxActiveLights) return D3DERR_INVALIDCALL;
    }
    slot.enabled = enable != FALSE;
    state_.dirty |= kDirtyLights | kDirtyProgram;
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
    const DeviceGuard guard(lock_);
    if (!enable || pure() || index >= state_.lights.size()) return D3DERR_INVALIDCALL;
    *enable = state_.lights[index].enabled ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    const DeviceGuard guard(lock_);
    const DWORD s = static_cast<DWORD>(state);
    if (s >= D3DRS_MAX_VALUE) return D3DERR_INVALIDCALL;
    if (StateRecord* rec = recording_.get()) {
        rec->values.rs[s] = value;
        rec->mask.renderStates.set(s);
        return D3D_OK;
    }
    UpdateState(state_.rs[s], value, [&] { state_.dirty |= DirtyForRenderState(s); });
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    const DeviceGuard guard(lock_);
    const DWORD s = static_cast<DWORD>(state);
    if (!value || pure() || s >= D3DRS_MAX_VALUE) return D3DERR_INVALIDCALL;
    *value = state_.rs[s];
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
    const DeviceGuard guard(lock_);
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (stage >= kSamplers) return D3DERR_INVALIDCALL;
    IDirect3DBaseTexture9* t = state_.bound[stage].object;
    if (t) {
        t->AddRef();
        *texture = t;
    }
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    const DeviceGuard guard(lock_);
    if (stage >= kSamplers) return D3DERR_INVALIDCALL;
    Texture* flat = OwnTexture(texture, this);
    CubeTexture* cube = flat ? nullptr : OwnCubeTexture(texture, this);
    VolumeTexture* volume = flat || cube ? nullptr : OwnVolumeTexture(texture, this);
    ResourceCore* core = flat   ? static_cast<ResourceCore*>(flat)
                         : cube ? static_cast<ResourceCore*>(cube)
                                : static_cast<ResourceCore*>(volume);
    if (texture && !core) return D3DERR_INVALIDCALL;
    // Only video-memory textures can be sampled.
    if (core && (core->pool() == D3DPOOL_SYSTEMMEM || core->pool() == D3DPOOL_SCRATCH)) return D3DERR_INVALIDCALL;
    const TextureKind kind = cube ? TextureKind::Cube : volume ? TextureKind::Volume : TextureKind::Flat;
    if (StateRecord* rec = recording_.get()) {
        rec->HoldTexture(stage, SamplerBinding{core, core ? texture : nullptr, kind});
        rec->mask.textures.set(stage);
        return D3D_OK;
    }
    SamplerBinding& slot = state_.bound[stage];
    if (slot.resource == core) return D3D_OK;
    // The generated program depends on whether a stage has a texture and of which kind.
    const bool kindChanged = (slot.resource == nullptr) != (core == nullptr) || (core && slot.kind != kind);
    if (texture) texture->AddRef();
    if (slot.object) slot.object->Release();
    slot.resource = core;
    slot.object = core ? texture : nullptr;
    slot.kind = kind;
    state_.dirty |= kDirtyTextures | (kindChanged ? static_cast<std::uint32_t>(kDirtyProgram) : 0u);
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    const DeviceGuard guard(lock_);
    const DWORD t = static_cast<DWORD>(type);
    if (!value || pure() || stage >= kStages || t >= D3DTSS_MAX_VALUE) return D3DERR_INVALIDCALL;
    *value = state_.tss[stage][t];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    const DeviceGuard guard(lock_);
    const DWORD t = static_cast<DWORD>(type);
    if (stage >= kStages || t == 0 || t >= D3DTSS_MAX_VALUE) return D3DERR_INVALIDCALL;
    if (StateRecord* rec = recording_.get()) {
        rec->values.tss[stage][t] = value;
        rec->mask.stageStates[stage].set(t);
        return D3D_OK;
    }
    // The constant and the bump-mapping matrix and luminance terms are values; everything else changes the code.
    const bool valueOnly = t == D3DTSS_CONSTANT || (t >= D3DTSS_BUMPENVMAT00 && t <= D3DTSS_BUMPENVMAT11) ||
                           t == D3DTSS_BUMPENVLSCALE || t == D3DTSS_BUMPENVLOFFSET;
    UpdateState(state_.tss[stage][t], value, [&] { state_.dirty |= valueOnly ? kDirtyConstants : kDirtyProgram; });
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    const DeviceGuard guard(lock_);
    const DWORD t = static_cast<DWORD>(type);
    if (!value || pure() || sampler >= kSamplers || t >= D3DSAMP_MAX_VALUE) return D3DERR_INVALIDCALL;
    *value = state_.samp[sampler][t];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    const DeviceGuard guard(lock_);
    const DWORD t = static_cast<DWORD>(type);
    if (sampler >= kSamplers || t == 0 || t >= D3DSAMP_MAX_VALUE) return D3DERR_INVALIDCALL;
    if (StateRecord* rec = recording_.get()) {
        rec->values.samp[sampler][t] = value;
        rec->mask.samplerStates[sampler].set(t);
        return D3D_OK;
    }
    // Point-sampled stages snap their coordinates in the generated program, which also decodes sRGB texels.
    const bool wasPoint = UsesPointFilter(state_.samp[sampler]);
    UpdateState(state_.samp[sampler][t], value, [&] {
        state_.dirty |= kDirtySamplers;
        if (sampler < static_cast<DWORD>(kStages) &&
            (UsesPointFilter(state_.samp[sampler]) != wasPoint || t == D3DSAMP_SRGBTEXTURE)) {
            state_.dirty |= kDirtyProgram;
        }
    });
    return D3D_OK;
}

namespace {

// Whether a stage argument names a source the stages read (D3DTA_DIFFUSE ... D3DTA_CONSTANT) with no modifier
// other than COMPLEMENT and ALPHAREPLICATE.
bool IsStageArgument(DWORD arg) {
    return (arg & D3DTA_SELECTMASK) <= D3DTA_CONSTANT &&
           (arg & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0;
}

// Whether operation `op` reads its first, second and third (ARG0) arguments.
bool ReadsArgument(DWORD op, int which) {
    if (op == D3DTOP_BUMPENVMAP || op == D3DTOP_BUMPENVMAPLUMINANCE) return false;
    if (which == 0) return op != D3DTOP_SELECTARG2;
    if (which == 1) return op != D3DTOP_SELECTARG1;
    return op == D3DTOP_MULTIPLYADD || op == D3DTOP_LERP;
}

bool IsSupportedOperation(DWORD op, DWORD opCaps) {
    return op >= D3DTOP_DISABLE && op <= D3DTOP_LERP && (op == D3DTOP_DISABLE || (opCaps & (1u << (op - 1))) != 0);
}

// Whether a filter is one the capabilities list: `pointBit` is the cap of D3DTEXF_POINT for the minification,
// magnification or mip filter, and those of LINEAR and ANISOTROPIC are the next two bits.
bool IsSupportedFilter(DWORD filter, DWORD filterCaps, DWORD pointBit) {
    if (filter < D3DTEXF_POINT || filter > D3DTEXF_ANISOTROPIC) return false;
    return (filterCaps & (pointBit << (filter - D3DTEXF_POINT))) != 0;
}

}  // namespace

// Whether the device can draw with the current state, answering the documented code for the first state the
// capabilities exclude: stage operations and arguments, texture filters and formats, sRGB writes to the target.
// Everything the capabilities allow draws in one pass.
HRESULT Device::ValidateDevice(DWORD* passes) {
    const DeviceGuard guard(lock_);
    if (!passes) return D3DERR_INVALIDCALL;
    D3DCAPS9 caps{};
    d3d_->FillCaps(&caps);
    for (int s = 0; s < kStages; ++s) {
        const auto& t = state_.tss[static_cast<std::size_t>(s)];
        const DWORD colorOp = t[D3DTSS_COLOROP], alphaOp = t[D3DTSS_ALPHAOP];
        if (colorOp == D3DTOP_DISABLE) break;
        if (!IsSupportedOperation(colorOp, caps.TextureOpCaps)) return D3DERR_UNSUPPORTEDCOLOROPERATION;
        // The bump-mapping operations address the next stage: they are colour operations only.
        if (!IsSupportedOperation(alphaOp, caps.TextureOpCaps) || alphaOp == D3DTOP_BUMPENVMAP ||
            alphaOp == D3DTOP_BUMPENVMAPLUMINANCE) {
            return D3DERR_UNSUPPORTEDALPHAOPERATION;
        }
        const DWORD colorArgs[3] = {t[D3DTSS_COLORARG1], t[D3DTSS_COLORARG2], t[D3DTSS_COLORARG0]};
        const DWORD alphaArgs[3] = {t[D3DTSS_ALPHAARG1], t[D3DTSS_ALPHAARG2], t[D3DTSS_ALPHAARG0]};
        for (int i = 0; i < 3; ++i) {
            if (ReadsArgument(colorOp, i) && !IsStageArgument(colorArgs[i])) return D3DERR_UNSUPPORTEDCOLORARG;
            if (alphaOp != D3DTOP_DISABLE && ReadsArgument(alphaOp, i) && !IsStageArgument(alphaArgs[i])) {
                return D3DERR_UNSUPPORTEDALPHAARG;
            }
        }
        const DWORD result = t[D3DTSS_RESULTARG] & ~D3DTA_COMPLEMENT & ~D3DTA_ALPHAREPLICATE;
        if (result != D3DTA_CURRENT && result != D3DTA_TEMP) return D3DERR_UNSUPPORTEDCOLORARG;
        const ResourceCore* texture = BoundTexture(state_, s);
        if (!texture) continue;
        const auto& sampler = state_.samp[static_cast<std::size_t>(s)];
        const DWORD filterCaps = texture->type() == D3DRTYPE_CUBETEXTURE     ? caps.CubeTextureFilterCaps
                                 : texture->type() == D3DRTYPE_VOLUMETEXTURE ? caps.VolumeTextureFilterCaps
                                                                             : caps.TextureFilterCaps;
        const DWORD mip = sampler[D3DSAMP_MIPFILTER];
        if (!IsSupportedFilter(sampler[D3DSAMP_MINFILTER], filterCaps, D3DPTFILTERCAPS_MINFPOINT) ||
            !IsSupportedFilter(sampler[D3DSAMP_MAGFILTER], filterCaps, D3DPTFILTERCAPS_MAGFPOINT) ||
            (mip != D3DTEXF_NONE &&
             !IsSupportedFilter(mip, filterCaps & ~(D3DPTFILTERCAPS_MIPFLINEAR << 1), D3DPTFILTERCAPS_MIPFPOINT))) {
            return D3DERR_UNSUPPORTEDTEXTUREFILTER;
        }
        DWORD usage = 0;
        if (sampler[D3DSAMP_SRGBTEXTURE]) usage |= D3DUSAGE_QUERY_SRGBREAD;
        if (FAILED(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, texture->type(),
                                           texture->format()))) {
            return D3DERR_WRONGTEXTUREFORMAT;
        }
    }
    if (state_.rs[D3DRS_SRGBWRITEENABLE] &&
        FAILED(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_QUERY_SRGBWRITE, D3DRTYPE_SURFACE,
                                       state_.renderTarget->format()))) {
        return D3DERR_CONFLICTINGRENDERSTATE;
    }
    *passes = 1;
    return D3D_OK;
}

HRESULT Device::SetPaletteEntries(UINT number, const PALETTEENTRY* entries) {
    const DeviceGuard guard(lock_);
    if (!entries || number != 0) return D3DERR_INVALIDCALL;
    std::copy(entries, entries + 256, state_.palette.begin());
    return D3D_OK;
}

HRESULT Device::GetPaletteEntries(UINT number, PALETTEENTRY* entries) {
    const DeviceGuard guard(lock_);
    if (!entries || number != 0) return D3DERR_INVALIDCALL;
    std::copy(state_.palette.begin(), state_.palette.end(), entries);
    return D3D_OK;
}

HRESULT Device::GetCurrentTexturePalette(UINT* number) {
    const DeviceGuard guard(lock_);
    if (!number) return D3DERR_INVALIDCALL;
    *number = 0;
    return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect) {
    const DeviceGuard guard(lock_);
    if (!rect) return D3DERR_INVALIDCALL;
    if (StateRecord* rec = recording_.get()) {
        rec->values.scissor = *rect;
        rec->mask.scissor = true;
        return D3D_OK;
    }
    state_.scissor = *rect;
    state_.dirty |= kDirtyRaster;
    return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* rect) {
    const DeviceGuard guard(lock_);
    if (!rect) return D3DERR_INVALIDCALL;
    *rect = state_.scissor;
    return D3D_OK;
}

// The clip status is what the program last set: no draw here computes one of its own, since vertices are
// processed by the drawing backend, as with hardware vertex processing.
HRESULT Device::SetClipStatus(const D3DCLIPSTATUS9* status) {
    const DeviceGuard guard(lock_);
    if (!status) return D3DERR_INVALIDCALL;
    state_.clipStatus = *status;
    return D3D_OK;
}

HRESULT Device::GetClipStatus(D3DCLIPSTATUS9* status) {
    const DeviceGuard guard(lock_);
    if (!status) return D3DERR_INVALIDCALL;
    *status = state_.clipStatus;
    return D3D_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** shader) {
    const DeviceGuard guard(lock_);
    if (!shader) return D3DERR_INVALIDCALL;
    *shader = nullptr;
    return D3D_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** shader) {
    const DeviceGuard guard(lock_);
    if (!shader) return D3DERR_INVALIDCALL;
    *shader = nullptr;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* buffer) {
    const DeviceGuard guard(lock_);
    auto* ib = buffer ? dynamic_cast<IndexBuffer*>(buffer) : nullptr;
    if (buffer && (!ib || ib->device() != this)) return D3DERR_INVALIDCALL;
    if (StateRecord* rec = recording_.get()) {
        rec->HoldIndices(ib);
        rec->mask.indices = true;
        return D3D_OK;
    }
    if (ib == state_.indices) return D3D_OK;
    if (ib) ib->AddRef();
    if (state_.indices) state_.indices->Release();
    state_.indices = ib;
    state_.dirty |= kDirtyStreams;
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** buffer) {
    const DeviceGuard guard(lock_);
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = state_.indices;
    if (state_.indices) state_.indices->AddRef();
    return D3D_OK;
}

}  // namespace tarn::d3d9
