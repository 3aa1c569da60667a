// The fixed-function pipeline as GLSL: a key holds every state that changes the program's code (vertex inputs,
// vertex blending, lighting setup, texture stages, fog and alpha-test modes); values that only feed uniforms stay out
// of it. Programs are generated from keys and cached by the renderer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/d3d9/D3D9.h"
#include "DeviceState.h"

namespace tarn::d3d9 {

// What a draw rasterises: the program of a point list writes point sizes, and cylindrical wrapping adjusts
// the coordinates of whole lines and triangles.
enum class Primitive : std::uint8_t { Triangles, Lines, Points };

// The kind of a texture resource (D3DRTYPE_TEXTURE, CUBETEXTURE or VOLUMETEXTURE).
inline TextureKind KindOfResource(D3DRESOURCETYPE type) {
    return type == D3DRTYPE_CUBETEXTURE     ? TextureKind::Cube
           : type == D3DRTYPE_VOLUMETEXTURE ? TextureKind::Volume
                                            : TextureKind::Flat;
}

// The texture a stage's sampler holds, of whichever kind, or null.
inline ResourceCore* BoundTexture(const DeviceState& state, int stage) {
    return state.bound[static_cast<std::size_t>(stage)].resource;
}

// What one texture stage contributes to the program. A stage that is off (and every stage after it) has
// colorOp 0 and all fields zero.
struct StageKey {
    std::uint8_t colorOp = 0;                // D3DTOP_*
    std::array<std::uint8_t, 3> colorArg{};  // COLORARG1, COLORARG2, COLORARG0: D3DTA_* selector and modifiers
    bool resultTemp = false;                 // RESULTARG is D3DTA_TEMP (else the current colour)
    std::uint8_t alphaOp = 0;                // D3DTOP_*
    std::array<std::uint8_t, 3> alphaArg{};  // ALPHAARG1, ALPHAARG2, ALPHAARG0
    bool samples = false;                    // an argument reads the stage's texture
    bool textureBound = false;               // ... and a texture is set (without one the read is opaque black)
    // Texture coordinates, when a bound texture is sampled:
    std::uint8_t coordSet = 0;        // vertex coordinate set (TEXCOORDINDEX & 7)
    std::uint8_t coordGen = 0;        // generation (TEXCOORDINDEX >> 16: camera-space normal, position, ...)
    std::uint8_t transformCount = 0;  // D3DTTFF_COUNTn of the texture transform (0: none)
    bool projected = false;           // D3DTTFF_PROJECTED: divide by the last transformed component
    std::uint8_t inputSize = 0;       // components of that set in the vertex (0: the vertex has none)
    bool pointFilter = false;         // point sampled: coordinates snap as the hardware's do
    TextureKind kind = TextureKind::Flat;  // 2D (u, v), cube map (direction x, y, z) or volume (u, v, w)
    bool srgb = false;                     // SRGBTEXTURE: texels are decoded from sRGB to linear when read
    std::uint8_t wrap = 0;  // D3DWRAPCOORD_0..3 of WRAPn for the stage's coordinate set n (lines and triangles)
    bool operator==(const StageKey&) const = default;
};

// Every state that changes the generated program's code; values that only feed uniforms stay out of it.
struct ProgramKey {
    // D3DDECLTYPE of each vertex input in VertexInput order, D3DDECLTYPE_UNUSED where the vertex has none; the
    // types that GL cannot convert as Direct3D does (SHORTnN, UDEC3, DEC3N) are finished in the program.
    std::array<std::uint8_t, kVertexInputs> inputTypes = NoInputs();
    bool transformed = false;  // POSITIONT (XYZRHW): screen-space vertices
    // Vertex blending: world matrices blended per vertex (2 to 4, or 1 for indexed blending with no weights),
    // 0 for world matrix 0 alone; with indexedBlend the vertex's BLENDINDICES choose them from the palette.
    std::uint8_t blendMatrices = 0;
    bool indexedBlend = false;
    bool lighting = false;       // LIGHTING, and the vertices are not pre-transformed
    bool specular = false;       // SPECULARENABLE
    bool localViewer = false;    // LOCALVIEWER
    bool normalize = false;      // NORMALIZENORMALS
    bool colorVertex = false;    // COLORVERTEX
    bool flat = false;           // SHADEMODE is FLAT
    bool alphaTest = false;      // ALPHATESTENABLE with a function other than ALWAYS
    std::uint8_t alphaFunc = 0;  // D3DCMP_* of the alpha test
    std::uint8_t tableFog = 0;   // D3DFOG_* of FOGTABLEMODE (0 with fog off)
    bool wFog = false;           // table fog by w (perspective projection); else by device depth z
    std::uint8_t vertexFog = 0;  // D3DFOG_* of FOGVERTEXMODE, used when table fog is off
    bool rangeFog = false;       // RANGEFOGENABLE, with vertex fog
    // D3DMCS_* of the diffuse, specular, ambient and emissive material sources, when lighting.
    std::array<std::uint8_t, 4> materialSource{};
    std::uint8_t clipPlanes = 0;  // user clip planes enabled (bit i: plane i)
    // D3DLIGHT_* of the enabled lights in the order they are passed; 0 after the last.
    std::array<std::uint8_t, kMaxActiveLights> lightTypes{};
    std::array<StageKey, kStages> stages{};
    Primitive primitive = Primitive::Triangles;  // triangles, lines or points: only wrapping and points tell
    // Points: set only when the draw is a point list.
    bool points = false;       // the program writes each point's size
    bool pointScale = false;   // POINTSCALEENABLE, for vertices that are not pre-transformed
    bool pointSprite = false;  // POINTSPRITEENABLE: 2D stages read (0, 0) to (1, 1) across the point
    bool srgbWrite = false;    // SRGBWRITEENABLE: the colour is encoded to sRGB as it leaves the program
    bool operator==(const ProgramKey&) const = default;

    static constexpr std::array<std::uint8_t, kVertexInputs> NoInputs() {
        std::array<std::uint8_t, kVertexInputs> types{};
        for (auto& t : types) t = D3DDECLTYPE_UNUSED;
        return types;
    }
};

// Size of the world-matrix palette of indexed vertex blending (MaxVertexBlendMatrixIndex + 1).
constexpr int kBlendPalette = 256;

struct ProgramKeyHash {
    std::size_t operator()(const ProgramKey& key) const;
};

// Builds the key of the current state for a draw of `primitive`. `activeLights` receives the indices of the
// enabled lights in key order.
ProgramKey MakeProgramKey(const DeviceState& state, std::array<int, kMaxActiveLights>* activeLights,
                          int* activeLightCount, Primitive primitive = Primitive::Triangles);

// True when a sampler's minification or magnification filter is point sampling (or none).
inline bool UsesPointFilter(const std::array<DWORD, D3DSAMP_MAX_VALUE>& sampler) {
    return sampler[D3DSAMP_MINFILTER] <= D3DTEXF_POINT || sampler[D3DSAMP_MAGFILTER] <= D3DTEXF_POINT;
}

// Number of stages the key uses (stages before the first disabled one).
int ActiveStages(const ProgramKey& key);
// User clip planes the program writes (bit i: gl_ClipDistance[i]); the renderer enables the same GL planes.
inline std::uint32_t ClipPlaneMask(const ProgramKey& key) { return key.clipPlanes; }
bool StageSamples(const ProgramKey& key, int stage);

// True when a stage's coordinates wrap (WRAPn): the program then has a geometry stage.
bool UsesWrap(const ProgramKey& key);
// `palette`: the size of the world-matrix palette of indexed vertex blending.
std::string GenerateVertexShader(const ProgramKey& key, int palette = kBlendPalette);
// The geometry stage of a program that wraps coordinates; empty when it has none.
std::string GenerateGeometryShader(const ProgramKey& key);
std::string GenerateFragmentShader(const ProgramKey& key);

}  // namespace tarn::d3d9
