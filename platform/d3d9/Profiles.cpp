// Capability profiles and the answers of GetDeviceCaps / CheckDeviceFormat.
#include "Profiles.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "D3D9Diagnostic.h"
#include "DeviceState.h"
#include "Formats.h"

namespace tarn::d3d9 {
namespace {

struct NamedProfile {
    const char* name;
    DWORD textureCapsAdd;     // D3DPTEXTURECAPS_* added to the default
    DWORD textureCapsRemove;  // D3DPTEXTURECAPS_* taken away
    UINT maxTextureSize;      // 0: the driver's limit
    bool rgbOnly;             // only 32-bit and 16-bit RGB formats
};

// A device that needs powers of two for 2D textures needs them for cube and volume textures too.
constexpr DWORD kAllPow2 = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_CUBEMAP_POW2 | D3DPTEXTURECAPS_VOLUMEMAP_POW2;
constexpr DWORD kVolumeCaps = D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPVOLUMEMAP;

const NamedProfile kProfiles[] = {
    {"default", 0, 0, 0, false},
    {"pow2", kAllPow2, 0, 0, false},
    {"pow2-conditional", kAllPow2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, 0, 0, false},
    {"square", kAllPow2 | D3DPTEXTURECAPS_SQUAREONLY, 0, 0, false},
    {"max256", 0, 0, 256, false},
    {"rgb-only", 0, 0, 0, true},
    {"no-volume", 0, kVolumeCaps, 0, false},
};

std::mutex gMutex;
std::string gChosenProfile;  // empty: environment

// What the format table offers a format for; false for formats it does not know.
bool Offers(D3DFORMAT format, FormatOffer offer) {
    const FormatLayout* layout = FindLayout(format);
    return layout && (layout->offers & offer) != 0;
}

// Render targets are stored as 8-bit or float RGBA textures in the backend.
bool IsRenderTargetFormat(D3DFORMAT format) {
    const FormatLayout* layout = FindLayout(format);
    return layout && layout->target != TargetStorage::None;
}

// Formats the sampler can read, converting on upload where the backend has no direct match. Palettised formats
// are not offered: the texture library then converts palettes itself.
bool IsSampleable(D3DFORMAT format, const BackendLimits& limits) {
    const FormatLayout* layout = FindLayout(format);
    if (!layout || !(layout->offers & kSampled)) return false;
    return layout->kind != FormatKind::Compressed || limits.s3tc;
}

// Texel storages of at most 8 unsigned bits per channel: the ones whose values sRGB encodes. The generated
// program decodes a texel after reading it (SRGBTEXTURE) and encodes the colour it writes (SRGBWRITEENABLE).
constexpr TexelStorage kSrgbStorages[] = {
    TexelStorage::Decode8,  TexelStorage::Bgra8,    TexelStorage::Bgrx8,    TexelStorage::Bgr8,
    TexelStorage::Rgb565,   TexelStorage::Xrgb1555, TexelStorage::Argb1555, TexelStorage::Argb4444,
    TexelStorage::Xrgb4444, TexelStorage::Rgba8,    TexelStorage::Rgbx8,    TexelStorage::L8,
    TexelStorage::A8L8,     TexelStorage::Dxt1,     TexelStorage::Dxt3,     TexelStorage::Dxt5,
};

bool HasSrgbStorage(const FormatLayout& layout) {
    return std::find(std::begin(kSrgbStorages), std::end(kSrgbStorages), layout.storage) != std::end(kSrgbStorages);
}

}  // namespace

bool FindProfile(const char* name, Profile* profile) {
    if (!name) return false;
    for (const NamedProfile& p : kProfiles) {
        if (std::strcmp(p.name, name) == 0) {
            profile->name = p.name;
            profile->textureCapsAdd = p.textureCapsAdd;
            profile->textureCapsRemove = p.textureCapsRemove;
            profile->maxTextureSize = p.maxTextureSize;
            profile->rgbOnly = p.rgbOnly;
            return true;
        }
    }
    return false;
}

Profile ChosenProfile() {
    std::string name;
    {
        std::lock_guard lock(gMutex);
        name = gChosenProfile;
    }
    if (name.empty()) {
        const char* env = std::getenv("TARN_D3D9_PROFILE");
        name = env && *env ? env : "default";
    }
    Profile profile;
    if (!FindProfile(name.c_str(), &profile)) {
        Diagnostic("unknown profile \"%s\" in TARN_D3D9_PROFILE; using \"default\"", name.c_str());
        FindProfile("default", &profile);
    }
    return profile;
}

bool SetProfile(const char* name) {
    Profile profile;
    if (name && !FindProfile(name, &profile)) return false;
    std::lock_guard lock(gMutex);
    gChosenProfile = name ? name : "";
    return true;
}

std::string CurrentProfileName() { return ChosenProfile().name; }

void BuildCaps(const Profile& profile, const BackendLimits& limits, D3DCAPS9* caps) {
    std::memset(caps, 0, sizeof *caps);
    const UINT maxSize = profile.maxTextureSize ? profile.maxTextureSize : limits.maxTextureSize;
    caps->DeviceType = D3DDEVTYPE_HAL;
    caps->AdapterOrdinal = 0;
    // Both backends pass the frames of full-screen swap chains through their gamma ramp.
    caps->Caps2 = D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_FULLSCREENGAMMA;
    caps->Caps3 = D3DCAPS3_COPY_TO_VIDMEM | D3DCAPS3_COPY_TO_SYSTEMMEM;
    caps->PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    // No TEXTURESYSTEMMEMORY: SetTexture refuses system-memory (and scratch) textures, as such devices do.
    caps->DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_EXECUTEVIDEOMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                    D3DDEVCAPS_TLVERTEXVIDEOMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX |
                    D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 | D3DDEVCAPS_DRAWPRIMITIVES2EX |
                    D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION | D3DDEVCAPS_PUREDEVICE |
                    D3DDEVCAPS_RTPATCHES | D3DDEVCAPS_QUINTICRTPATCHES;
    caps->PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                              D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_CLIPTLVERTS | D3DPMISCCAPS_TSSARGTEMP |
                              D3DPMISCCAPS_BLENDOP | D3DPMISCCAPS_PERSTAGECONSTANT | D3DPMISCCAPS_SEPARATEALPHABLEND |
                              D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS;
    // Table fog goes by w for perspective projections (WFOG) and by depth for affine ones (ZFOG).
    caps->RasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX |
                       D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_ZFOG |
                       D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_COLORPERSPECTIVE | D3DPRASTERCAPS_SCISSORTEST |
                       D3DPRASTERCAPS_DEPTHBIAS | D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS;
    // D3DRS_MULTISAMPLEANTIALIAS switches multisampling where the backend multisamples at all.
    if (limits.sampleCounts) caps->RasterCaps |= D3DPRASTERCAPS_MULTISAMPLE_TOGGLE;
    caps->ZCmpCaps = caps->AlphaCmpCaps = 0xff;  // every D3DCMP_* function
    caps->SrcBlendCaps = caps->DestBlendCaps = 0x1fff | D3DPBLENDCAPS_BLENDFACTOR;
    caps->ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB |
                      D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGGOURAUD;
    caps->TextureCaps = (D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_PROJECTED |
                         D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_TEXREPEATNOTSCALEDBYSIZE | D3DPTEXTURECAPS_CUBEMAP |
                         D3DPTEXTURECAPS_MIPCUBEMAP | kVolumeCaps | profile.textureCapsAdd) &
                        ~profile.textureCapsRemove;
    caps->TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                              D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    // Anisotropic filtering where the backend samples with it.
    if (limits.maxAnisotropy > 1) {
        caps->TextureFilterCaps |= D3DPTFILTERCAPS_MINFANISOTROPIC | D3DPTFILTERCAPS_MAGFANISOTROPIC;
        caps->RasterCaps |= D3DPRASTERCAPS_ANISOTROPY;
    }
    caps->TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                               D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV |
                               D3DPTADDRESSCAPS_MIRRORONCE;
    // Cube maps and volumes are sampled with the same filters and (for volumes, in w as well) address modes.
    if (caps->TextureCaps & D3DPTEXTURECAPS_CUBEMAP) caps->CubeTextureFilterCaps = caps->TextureFilterCaps;
    if (caps->TextureCaps & D3DPTEXTURECAPS_VOLUMEMAP) {
        caps->VolumeTextureFilterCaps = caps->TextureFilterCaps;
        caps->VolumeTextureAddressCaps = caps->TextureAddressCaps;
        caps->MaxVolumeExtent =
            profile.maxTextureSize ? std::min(profile.maxTextureSize, limits.maxVolumeExtent) : limits.maxVolumeExtent;
    }
    caps->LineCaps = D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP |
                     D3DLINECAPS_FOG;
    caps->MaxTextureWidth = caps->MaxTextureHeight = maxSize;
    caps->MaxTextureRepeat = 32768;
    caps->MaxTextureAspectRatio = maxSize;
    caps->MaxAnisotropy = limits.maxAnisotropy;
    caps->MaxVertexW = 1e10f;
    caps->GuardBandLeft = caps->GuardBandTop = -32768.0f;
    caps->GuardBandRight = caps->GuardBandBottom = 32767.0f;
    caps->StencilCaps = 0xff | D3DSTENCILCAPS_TWOSIDED;  // KEEP ... DECR, and the CCW set of two-sided stencil
    caps->FVFCaps = 8 | D3DFVFCAPS_PSIZE;                // eight coordinate sets, and a point size per vertex
    // Every operation but PREMODULATE (a stage modulated with the next stage's texture), which is not built.
    caps->TextureOpCaps = 0x03ffffff & ~D3DTEXOPCAPS_PREMODULATE;
    caps->MaxTextureBlendStages = 8;
    caps->MaxSimultaneousTextures = 8;
    caps->VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_TEXGEN_SPHEREMAP | D3DVTXPCAPS_MATERIALSOURCE7 |
                                 D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER;
    caps->MaxActiveLights = 8;
    caps->MaxUserClipPlanes = kMaxClipPlanes;
    // Vertex blending: up to three weights (four matrices), and indexed world matrices as many as the backend's
    // program can hold. No tweening.
    caps->MaxVertexBlendMatrices = 4;
    caps->MaxVertexBlendMatrixIndex = limits.maxVertexBlendMatrixIndex;
    caps->MaxPointSize = limits.maxPointSize;
    caps->MaxPrimitiveCount = 0xfffff;
    caps->MaxVertexIndex = 0xffffff;
    caps->MaxStreams = kStreams;
    // The device cursor is the window system's, in colour, whatever the mode's height.
    caps->CursorCaps = D3DCURSORCAPS_COLOR | D3DCURSORCAPS_LOWRES;
    caps->MaxStreamStride = kMaxStreamStride;
    // Every declaration type is fetched as documented (GlGeometry.cpp).
    caps->DeclTypes = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N |
                      D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N | D3DDTCAPS_UDEC3 | D3DDTCAPS_DEC3N |
                      D3DDTCAPS_FLOAT16_2 | D3DDTCAPS_FLOAT16_4;
    // The layer has the fixed-function pipeline only: no shader models are reported.
    caps->VertexShaderVersion = 0;
    caps->PixelShaderVersion = 0;
    caps->DevCaps2 = D3DDEVCAPS2_STREAMOFFSET | D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES;
    caps->NumberOfAdaptersInGroup = 1;
    // Four targets of one size, in formats of their own; the fixed-function pipeline writes the first only, so
    // the write masks of the others (INDEPENDENTWRITEMASKS) have nothing to mask.
    caps->NumSimultaneousRTs = kRenderTargets;
    caps->StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                                  D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
}

HRESULT CheckProfileFormat(const Profile& profile, const BackendLimits& limits, DWORD usage, D3DRESOURCETYPE type,
                           D3DFORMAT format) {
    const FormatLayout* layout = FindLayout(format);
    if (!layout) return D3DERR_NOTAVAILABLE;
    if (type == D3DRTYPE_VERTEXBUFFER || type == D3DRTYPE_INDEXBUFFER) {
        return layout->kind == FormatKind::Buffer ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    const bool cube = type == D3DRTYPE_CUBETEXTURE, volume = type == D3DRTYPE_VOLUMETEXTURE;
    if (type != D3DRTYPE_TEXTURE && type != D3DRTYPE_SURFACE && !cube && !volume) return D3DERR_NOTAVAILABLE;
    if (volume && (profile.textureCapsRemove & D3DPTEXTURECAPS_VOLUMEMAP)) return D3DERR_NOTAVAILABLE;
    if (cube || volume) {
        // Neither holds depth, and packed-pair video formats are 2D only. A cube map's faces are render targets
        // in the formats of 2D render-target textures (each face is an image of the GL cube map a framebuffer
        // can hold); volumes cannot be drawn into. The backend stores volumes as OpenGL 3D textures, which have
        // no S3TC storage, and the layer cannot decode blocks: volumes of block formats exist in system memory
        // only.
        if (usage & D3DUSAGE_DEPTHSTENCIL) return D3DERR_NOTAVAILABLE;
        if (layout->kind == FormatKind::Pair) return D3DERR_NOTAVAILABLE;
        if (volume &&
            (layout->kind == FormatKind::Compressed || (usage & (D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_RENDERTARGET)))) {
            return D3DERR_NOTAVAILABLE;
        }
    }
    if (usage & (D3DUSAGE_DMAP | D3DUSAGE_QUERY_VERTEXTEXTURE)) return D3DERR_NOTAVAILABLE;
    // sRGB reads need a sampleable format, sRGB writes a render-target one (both checked below), of 8-bit or
    // narrower unsigned channels.
    if ((usage & (D3DUSAGE_QUERY_SRGBREAD | D3DUSAGE_QUERY_SRGBWRITE)) && !HasSrgbStorage(*layout)) {
        return D3DERR_NOTAVAILABLE;
    }
    if ((usage & D3DUSAGE_QUERY_SRGBWRITE) && !IsRenderTargetFormat(format)) return D3DERR_NOTAVAILABLE;
    if ((usage & D3DUSAGE_QUERY_SRGBREAD) && !IsSampleable(format, limits)) return D3DERR_NOTAVAILABLE;
    if (usage & D3DUSAGE_DEPTHSTENCIL) {
        // Depth buffers are surfaces here; depth textures cannot be sampled by the fixed-function pipeline.
        return type == D3DRTYPE_SURFACE && Offers(format, kDepthSurface) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    if (profile.rgbOnly && !Offers(format, kBasicRgb)) return D3DERR_NOTAVAILABLE;
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING)) {
        if (!IsRenderTargetFormat(format)) return D3DERR_NOTAVAILABLE;
    } else if (!IsSampleable(format, limits)) {
        return D3DERR_NOTAVAILABLE;
    }
    if ((usage & D3DUSAGE_QUERY_LEGACYBUMPMAP) && layout->kind != FormatKind::Signed) return D3DERR_NOTAVAILABLE;
    // Mip maps are never generated by the device; the texture library makes its own levels.
    if (usage & D3DUSAGE_AUTOGENMIPMAP) return D3DOK_NOAUTOGEN;
    return D3D_OK;
}

}  // namespace tarn::d3d9
