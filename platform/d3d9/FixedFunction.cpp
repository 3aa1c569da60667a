// GLSL generation for the fixed-function pipeline. Vertex stage: transforms (D3D row vectors: the raw D3D matrix
// uploaded untransposed is applied as M * v), per-vertex lighting in camera space with the documented light,
// attenuation, spot and material-source rules, texture-coordinate generation and texture transforms, and the
// D3D9 rasterisation conventions (y flipped so that row 0 is the top, depth 0..1, pixel centres on integers),
// and point sizes. Geometry stage, only where coordinates wrap (WRAPn): the shorter way round between vertices.
// Pixel stage: the texture-stage cascade (bump mapping, sRGB texels, point-sprite coordinates), specular add, fog,
// alpha test and sRGB writes.
#include "FixedFunction.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>

#include "platform/Bits.h"

namespace tarn::d3d9 {
namespace {

// A stage argument: the D3DTA_* selector with its COMPLEMENT and ALPHAREPLICATE modifiers.
constexpr std::uint8_t Arg(DWORD arg) { return static_cast<std::uint8_t>(arg & 0x3f); }

bool ReadsTexture(DWORD op, DWORD a1, DWORD a2, DWORD a0) {
    auto is = [](DWORD a) { return (a & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
    if (op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM) return true;
    if (op == D3DTOP_BUMPENVMAP || op == D3DTOP_BUMPENVMAPLUMINANCE) return true;  // the bump map itself
    const bool usesArg0 = op == D3DTOP_MULTIPLYADD || op == D3DTOP_LERP;
    const bool usesArg2 = op != D3DTOP_SELECTARG1;
    const bool usesArg1 = op != D3DTOP_SELECTARG2;
    return (usesArg1 && is(a1)) || (usesArg2 && is(a2)) || (usesArg0 && is(a0));
}

// The GLSL that finishes an input GL has fetched as floats: signed normalised shorts are fetched as integers
// and divided here (Direct3D's -32768 is -1, as is -32767), and the 10-bit triples get w = 1 in place of GL's
// 2-bit w. Other types arrive converted by GL as Direct3D converts them.
std::string InputValue(const char* name, std::uint8_t type) {
    char b[160];
    switch (type) {
    case D3DDECLTYPE_SHORT2N:
        std::snprintf(b, sizeof b, "vec4(max(%s.xy / 32767.0, -1.0), %s.zw)", name, name);
        break;
    case D3DDECLTYPE_SHORT4N:
        std::snprintf(b, sizeof b, "max(%s / 32767.0, -1.0)", name);
        break;
    case D3DDECLTYPE_UDEC3:
        std::snprintf(b, sizeof b, "vec4(%s.xyz, 1.0)", name);
        break;
    case D3DDECLTYPE_DEC3N:
        std::snprintf(b, sizeof b, "vec4(max(%s.xyz / 511.0, -1.0), 1.0)", name);
        break;
    default:
        return name;
    }
    return b;
}

void Append(std::string& s, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& s, const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    s += buffer;
}

// Whether any stage argument reads the specular colour, or the specular add is on.
bool UsesSpecular(const ProgramKey& key, int stages) {
    if (key.specular) return true;
    for (int st = 0; st < stages; ++st) {
        const StageKey& stage = key.stages[static_cast<std::size_t>(st)];
        for (const auto* args : {&stage.colorArg, &stage.alphaArg}) {
            for (std::uint8_t arg : *args) {
                if ((arg & D3DTA_SELECTMASK) == D3DTA_SPECULAR) return true;
            }
        }
    }
    return false;
}

// Whether the vertex stage hands a fog value to the pixel stage: vertex fog does, and w-based table fog (the
// interpolated w); z-based table fog reads the pixel's own depth instead.
bool UsesFog(const ProgramKey& key) { return key.vertexFog != 0 || (key.tableFog != 0 && key.wFog); }

}  // namespace

std::size_t ProgramKeyHash::operator()(const ProgramKey& key) const {
    std::uint64_t h = kFnvOffsetBasis;
    auto mix = [&h](std::uint32_t v) { h = FnvMix(h, v); };
    for (std::uint8_t t : key.inputTypes) mix(t);
    mix(key.transformed | key.indexedBlend << 1 | static_cast<std::uint32_t>(key.blendMatrices) << 2);
    mix(key.lighting | key.specular << 1 | key.localViewer << 2 | key.normalize << 3 | key.colorVertex << 4 |
        key.flat << 5 | key.alphaTest << 6 | key.wFog << 7 | key.rangeFog << 8);
    mix(key.alphaFunc | key.tableFog << 8 | key.vertexFog << 16 | static_cast<std::uint32_t>(key.clipPlanes) << 24);
    mix(key.points | key.pointScale << 1 | key.pointSprite << 2 | key.srgbWrite << 3 |
        static_cast<std::uint32_t>(key.primitive) << 4);
    for (std::uint8_t v : key.materialSource) mix(v);
    for (std::uint8_t v : key.lightTypes) mix(v);
    for (const StageKey& st : key.stages) {
        if (st.colorOp == 0) break;  // later stages are all zero
        mix(st.colorOp | st.colorArg[0] << 8 | st.colorArg[1] << 16 | static_cast<std::uint32_t>(st.colorArg[2]) << 24);
        mix(st.alphaOp | st.alphaArg[0] << 8 | st.alphaArg[1] << 16 | static_cast<std::uint32_t>(st.alphaArg[2]) << 24);
        mix(st.coordSet | st.coordGen << 4 | st.transformCount << 8 | st.inputSize << 12 | st.resultTemp << 16 |
            st.samples << 17 | st.textureBound << 18 | st.projected << 19 | st.pointFilter << 20 |
            static_cast<std::uint32_t>(st.kind) << 21 | st.srgb << 23 | static_cast<std::uint32_t>(st.wrap) << 24);
    }
    return static_cast<std::size_t>(h);
}

ProgramKey MakeProgramKey(const DeviceState& state, std::array<int, kMaxActiveLights>* activeLights,
                          int* activeLightCount, Primitive primitive) {
    ProgramKey key;
    const auto& rs = state.rs;
    const VertexLayout& layout = state.layout;
    const bool rhw = layout.transformed;
    for (int i = 0; i < kVertexInputs; ++i) key.inputTypes[static_cast<std::size_t>(i)] = layout.inputs[i].type;
    key.transformed = rhw;
    if (!rhw) {
        // VERTEXBLEND 1 to 3 weights blend 2 to 4 matrices, the last weight being 1 less the others; 0WEIGHTS
        // one matrix, which only indexed blending makes another than world matrix 0. Tweening is not offered.
        const DWORD blend = rs[D3DRS_VERTEXBLEND];
        const bool indices = rs[D3DRS_INDEXEDVERTEXBLENDENABLE] && layout.Has(kInputBlendIndices);
        if (blend >= D3DVBF_1WEIGHTS && blend <= D3DVBF_3WEIGHTS && layout.Has(kInputBlendWeight)) {
            key.blendMatrices = static_cast<std::uint8_t>(blend + 1);
        } else if (blend == D3DVBF_0WEIGHTS && indices) {
            key.blendMatrices = 1;
        }
        key.indexedBlend = key.blendMatrices != 0 && indices;
    }
    const bool lighting = rs[D3DRS_LIGHTING] && !rhw;
    key.lighting = lighting;
    key.specular = rs[D3DRS_SPECULARENABLE] != 0;
    key.localViewer = rs[D3DRS_LOCALVIEWER] != 0;
    key.normalize = rs[D3DRS_NORMALIZENORMALS] != 0;
    key.colorVertex = rs[D3DRS_COLORVERTEX] != 0;
    key.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    if (rs[D3DRS_ALPHATESTENABLE] && rs[D3DRS_ALPHAFUNC] != D3DCMP_ALWAYS) {
        key.alphaTest = true;
        key.alphaFunc = static_cast<std::uint8_t>(rs[D3DRS_ALPHAFUNC] & 0xf);
    }
    if (rs[D3DRS_FOGENABLE] && !rhw) {
        key.tableFog = static_cast<std::uint8_t>(rs[D3DRS_FOGTABLEMODE] & 3);
        // The device reports WFOG: table fog goes by w unless the projection is affine.
        key.wFog = key.tableFog != D3DFOG_NONE && !IsAffineProjection(state.projection);
        if (key.tableFog == D3DFOG_NONE) {
            key.vertexFog = static_cast<std::uint8_t>(rs[D3DRS_FOGVERTEXMODE] & 3);
            key.rangeFog = rs[D3DRS_RANGEFOGENABLE] != 0;
        }
    }
    if (lighting) {
        const D3DRENDERSTATETYPE sources[4] = {D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_SPECULARMATERIALSOURCE,
                                               D3DRS_AMBIENTMATERIALSOURCE, D3DRS_EMISSIVEMATERIALSOURCE};
        for (std::size_t i = 0; i < 4; ++i) key.materialSource[i] = static_cast<std::uint8_t>(rs[sources[i]] & 3);
    }
    // User clip planes are in world space; pre-transformed vertices have none and are not clipped by them.
    if (!rhw) key.clipPlanes = static_cast<std::uint8_t>(rs[D3DRS_CLIPPLANEENABLE] & ((1u << kMaxClipPlanes) - 1));
    const bool points = primitive == Primitive::Points;
    if (points) {
        key.points = true;
        // Pre-transformed points are sized in pixels: they have no camera distance to scale by.
        key.pointScale = rs[D3DRS_POINTSCALEENABLE] && !rhw;
        key.pointSprite = rs[D3DRS_POINTSPRITEENABLE] != 0;
    }
    key.srgbWrite = rs[D3DRS_SRGBWRITEENABLE] != 0;

    int count = 0;
    if (lighting) {
        for (std::size_t i = 0; i < state.lights.size() && count < kMaxActiveLights; ++i) {
            if (!state.lights[i].enabled) continue;
            (*activeLights)[static_cast<std::size_t>(count)] = static_cast<int>(i);
            key.lightTypes[static_cast<std::size_t>(count)] = static_cast<std::uint8_t>(state.lights[i].light.Type & 3);
            ++count;
        }
    }
    *activeLightCount = count;

    for (int s = 0; s < kStages; ++s) {
        const auto& t = state.tss[static_cast<std::size_t>(s)];
        const ResourceCore* texture = BoundTexture(state, s);
        const bool hasTexture = texture != nullptr;
        DWORD colorOp = t[D3DTSS_COLOROP];
        // A stage whose operation reads its first colour argument, and that argument is a missing texture,
        // ends the cascade like DISABLE. SELECTARG2 never reads argument 1 (whose default is the texture), so
        // such a stage still runs.
        if (colorOp != D3DTOP_DISABLE && colorOp != D3DTOP_SELECTARG2 && !hasTexture &&
            (t[D3DTSS_COLORARG1] & D3DTA_SELECTMASK) == D3DTA_TEXTURE) {
            colorOp = D3DTOP_DISABLE;
        }
        if (colorOp == D3DTOP_DISABLE || colorOp > D3DTOP_LERP) break;
        DWORD alphaOp = t[D3DTSS_ALPHAOP];
        if (alphaOp > D3DTOP_LERP) alphaOp = D3DTOP_DISABLE;
        const bool temp = (t[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP;
        StageKey& stage = key.stages[static_cast<std::size_t>(s)];
        stage.colorOp = static_cast<std::uint8_t>(colorOp);
        stage.colorArg = {Arg(t[D3DTSS_COLORARG1]), Arg(t[D3DTSS_COLORARG2]), Arg(t[D3DTSS_COLORARG0])};
        stage.resultTemp = temp;
        stage.alphaOp = static_cast<std::uint8_t>(alphaOp);
        stage.alphaArg = {Arg(t[D3DTSS_ALPHAARG1]), Arg(t[D3DTSS_ALPHAARG2]), Arg(t[D3DTSS_ALPHAARG0])};
        stage.samples = ReadsTexture(colorOp, t[D3DTSS_COLORARG1], t[D3DTSS_COLORARG2], t[D3DTSS_COLORARG0]) ||
                        (alphaOp != D3DTOP_DISABLE &&
                         ReadsTexture(alphaOp, t[D3DTSS_ALPHAARG1], t[D3DTSS_ALPHAARG2], t[D3DTSS_ALPHAARG0]));
        // Without a texture the stage reads opaque black and needs no coordinates.
        if (stage.samples && hasTexture) {
            const DWORD tci = t[D3DTSS_TEXCOORDINDEX];
            const DWORD ttff = t[D3DTSS_TEXTURETRANSFORMFLAGS];
            stage.textureBound = true;
            stage.coordSet = static_cast<std::uint8_t>(tci & 7);
            stage.inputSize =
                static_cast<std::uint8_t>(DeclTypeComponents(layout.inputs[kInputTexCoord0 + stage.coordSet].type));
            // Pre-transformed vertices have no camera: no generation and no transform.
            if (!rhw) {
                stage.coordGen = static_cast<std::uint8_t>((tci >> 16) & 7);
                // Counts above COUNT4 are not defined: no transform, like COUNT disabled.
                stage.transformCount = static_cast<std::uint8_t>((ttff & 7) <= D3DTTFF_COUNT4 ? ttff & 7 : 0);
                stage.projected = (ttff & D3DTTFF_PROJECTED) != 0;
            }
            stage.pointFilter = UsesPointFilter(state.samp[static_cast<std::size_t>(s)]);
            stage.kind = state.bound[static_cast<std::size_t>(s)].kind;
            stage.srgb = state.samp[static_cast<std::size_t>(s)][D3DSAMP_SRGBTEXTURE] != 0;
            // WRAPn goes with the coordinate set the stage names, generated coordinates included. A point has
            // no way between vertices to shorten.
            if (!points) stage.wrap = static_cast<std::uint8_t>(rs[D3DRS_WRAP0 + stage.coordSet] & 0xf);
        }
    }
    // The primitive class tells programs apart only where it changes their code.
    if (points || UsesWrap(key)) key.primitive = primitive;
    return key;
}

bool UsesWrap(const ProgramKey& key) {
    for (int st = 0; st < ActiveStages(key); ++st) {
        if (StageSamples(key, st) && key.stages[static_cast<std::size_t>(st)].wrap != 0) return true;
    }
    return false;
}

int ActiveStages(const ProgramKey& key) {
    int s = 0;
    while (s < kStages && key.stages[static_cast<std::size_t>(s)].colorOp != 0) ++s;
    return s;
}

bool StageSamples(const ProgramKey& key, int stage) {
    assert(stage >= 0 && stage < kStages);
    const StageKey& st = key.stages[static_cast<std::size_t>(stage)];
    return st.samples && st.textureBound;
}

std::string GenerateVertexShader(const ProgramKey& key, int palette) {
    auto has = [&](int input) { return key.inputTypes[static_cast<std::size_t>(input)] != D3DDECLTYPE_UNUSED; };
    auto value = [&](int input, const char* name) {
        return InputValue(name, key.inputTypes[static_cast<std::size_t>(input)]);
    };
    const bool rhw = key.transformed;
    const bool hasNormal = has(kInputNormal);
    const bool hasDiffuse = has(kInputDiffuse);
    const bool hasSpecular = has(kInputSpecular);
    const int blendMatrices = key.blendMatrices;
    const bool lighting = key.lighting;
    const DWORD tableFog = key.tableFog, vertexFog = key.vertexFog;
    const char* flat = key.flat ? "flat " : "";
    const int stages = ActiveStages(key);

    std::string s = "#version 330 core\n";
    // Inputs as GL fetches them (in...Raw where the program finishes the conversion), then as Direct3D sees them.
    std::string inputs;
    auto input = [&](int location, const char* name) {
        if (!has(location)) return;
        const std::string converted = value(location, name);
        if (converted == name) {
            Append(s, "layout(location = %d) in vec4 %s;\n", location, name);
        } else {
            Append(s, "layout(location = %d) in vec4 %sRaw;\n", location, name);
            char raw[32];
            std::snprintf(raw, sizeof raw, "%sRaw", name);
            Append(inputs, "    vec4 %s = %s;\n", name, InputValue(raw, key.inputTypes[location]).c_str());
        }
    };
    input(kInputPosition, "aPosition");
    input(kInputNormal, "aNormal");
    input(kInputDiffuse, "aDiffuse");
    input(kInputSpecular, "aSpecular");
    for (int i = 0; i < 8; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "aTex%d", i);
        input(kInputTexCoord0 + i, name);
    }
    if (blendMatrices > 1) input(kInputBlendWeight, "aBlendWeight");
    if (key.indexedBlend) input(kInputBlendIndices, "aBlendIndices");
    const bool vertexPointSize = key.points && has(kInputPointSize);
    if (vertexPointSize) input(kInputPointSize, "aPointSize");
    if (key.points) {
        s += "uniform vec3 uPointSize;  // POINTSIZE, POINTSIZE_MIN, the largest size drawn\n";
        s += "uniform vec3 uPointScale;  // POINTSCALE_A, B, C\n";
    }
    s += "uniform mat4 uWorldView;\nuniform mat4 uWorldViewProj;\nuniform mat3 uNormalMatrix;\n";
    const std::uint32_t clipPlanes = ClipPlaneMask(key);
    if (clipPlanes) s += "uniform mat4 uWorld;\nuniform vec4 uClipPlane[6];  // world space\n";
    if (blendMatrices) {
        // World matrix i times the view, for i in 0..3, or for every index of the palette.
        Append(s, "uniform mat4 uBlendWorldView[%d];\nuniform mat4 uProjection;\n",
               key.indexedBlend ? palette : blendMatrices);
        if (clipPlanes) s += "uniform mat4 uViewInverse;\n";
    }
    s += "uniform vec4 uViewport;  // x, y, width, height of the D3D viewport\n";
    s += "uniform vec2 uDepthRange;  // MinZ, MaxZ of the viewport\n";
    s += "uniform mat4 uTexMatrix[8];\n";
    s += "uniform vec4 uMatDiffuse, uMatAmbient, uMatSpecular, uMatEmissive;\nuniform float uMatPower;\n";
    s += "uniform vec4 uGlobalAmbient;\n";
    s += "uniform vec4 uLightDiffuse[8], uLightSpecular[8], uLightAmbient[8];\n";
    s += "uniform vec3 uLightPosition[8], uLightDirection[8];\n";
    s += "uniform vec4 uLightAttenuation[8];  // a0, a1, a2, range\n";
    s += "uniform vec3 uLightSpot[8];  // cos(theta / 2), cos(phi / 2), falloff\n";
    s += "uniform vec4 uFog;  // start, end, density\n";
    // Only the varyings the pixel stage reads: every interpolated value costs fill rate on a software rasteriser.
    const bool specularOut = UsesSpecular(key, stages);
    const bool fogOut = UsesFog(key);
    Append(s, "%sout vec4 vDiffuse;\n", flat);
    if (specularOut) Append(s, "%sout vec4 vSpecular;\n", flat);
    for (int st = 0; st < stages; ++st) {
        if (StageSamples(key, st)) Append(s, "out vec4 vTex%d;\n", st);
    }
    if (fogOut) s += "out float vFog;\n";
    bool sphereMap = false;
    for (int st = 0; st < stages; ++st)
        sphereMap |= StageSamples(key, st) && key.stages[static_cast<std::size_t>(st)].coordGen == 4;
    if (sphereMap) {
        // Sphere-map coordinates of a camera-space reflection vector R: the point of a mirrored ball, seen
        // along +z, that reflects R, m = 2 |R - (0, 0, 1)|, u = R.x / m + 0.5 and v = 0.5 - R.y / m (v runs down
        // the picture, y up the camera). A reflection straight back at the viewer reads the centre.
        s += "vec2 SphereMap(vec3 R) {\n    float m = 2.0 * length(vec3(R.xy, R.z - 1.0));\n";
        s += "    return m > 0.0 ? vec2(R.x / m + 0.5, 0.5 - R.y / m) : vec2(0.5);\n}\n";
    }
    s += "void main() {\n";
    s += inputs;
    s += "    vec4 specularOut;\n";
    // The clip-space position from `clip`, and the user clip planes against the world-space `world`.
    auto project = [&](const char* clip, const char* world) {
        Append(s, "    vec4 clip = %s;\n", clip);
        s += "    // D3D depth 0..1 to GL -1..1; rows top first; pixel centres on integers.\n";
        s += "    clip.z = clip.z * 2.0 - clip.w;\n";
        s += "    clip.y = -clip.y;\n";
        s += "    clip.xy += clip.w * vec2(1.0, 1.0) / uViewport.zw;\n";
        s += "    gl_Position = clip;\n";
        if (!clipPlanes) return;
        Append(s, "    vec4 worldPosition = %s;\n", world);
        for (int i = 0; i < kMaxClipPlanes; ++i) {
            if (clipPlanes & (1u << i))
                Append(s, "    gl_ClipDistance[%d] = dot(uClipPlane[%d], worldPosition);\n", i, i);
        }
    };
    if (rhw) {
        // Screen-space vertices: pixel centres on integers, rhw that is not a positive finite number counts as 1.
        s += "    float rhw = aPosition.w;\n";
        s += "    if (!(rhw > 0.0) || isinf(rhw)) rhw = 1.0;\n";
        s += "    float w = 1.0 / rhw;\n";
        s += "    vec2 ndc = (aPosition.xy + 0.5 - uViewport.xy) / uViewport.zw * 2.0 - 1.0;\n";
        // Screen-space z is final: undo the viewport's depth range that the rasteriser applies afterwards.
        s += "    float z = (aPosition.z - uDepthRange.x) / max(uDepthRange.y - uDepthRange.x, 1e-7);\n";
        s += "    gl_Position = vec4(ndc * w, (z * 2.0 - 1.0) * w, w);\n";
        s += "    vec3 P = vec3(0.0);\n    vec3 N = vec3(0.0, 0.0, 1.0);\n";
    } else if (blendMatrices) {
        // Vertex blending: position and normal through each matrix, weighted; the normal through the inverse
        // transpose of each world-view matrix.
        if (key.indexedBlend) {
            // UBYTE4 indices arrive as 0..255, D3DCOLOR ones as 0..1 (in its red, green, blue, alpha order).
            const bool color = key.inputTypes[kInputBlendIndices] == D3DDECLTYPE_D3DCOLOR;
            Append(s, "    ivec4 index = clamp(ivec4(aBlendIndices * %s + 0.5), 0, %d);\n", color ? "255.0" : "1.0",
                   palette - 1);
        } else {
            s += "    ivec4 index = ivec4(0, 1, 2, 3);\n";
        }
        s += "    vec3 P = vec3(0.0), blendedNormal = vec3(0.0);\n    float weightSum = 0.0;\n";
        for (int i = 0; i < blendMatrices; ++i) {
            if (i + 1 < blendMatrices) {
                Append(s, "    float w%d = aBlendWeight[%d];\n    weightSum += w%d;\n", i, i, i);
            } else {
                Append(s, "    float w%d = 1.0 - weightSum;\n", i);
            }
            Append(s, "    mat4 m%d = uBlendWorldView[index[%d]];\n", i, i);
            Append(s, "    P += w%d * (m%d * vec4(aPosition.xyz, 1.0)).xyz;\n", i, i);
            if (hasNormal) {
                Append(s, "    blendedNormal += w%d * (transpose(inverse(mat3(m%d))) * aNormal.xyz);\n", i, i);
            }
        }
        project("uProjection * vec4(P, 1.0)", "uViewInverse * vec4(P, 1.0)");
        if (hasNormal) {
            s += key.normalize ? "    vec3 N = normalize(blendedNormal);\n" : "    vec3 N = blendedNormal;\n";
        } else {
            s += "    vec3 N = vec3(0.0);\n";
        }
    } else {
        project("uWorldViewProj * vec4(aPosition.xyz, 1.0)", "uWorld * vec4(aPosition.xyz, 1.0)");
        s += "    vec3 P = (uWorldView * vec4(aPosition.xyz, 1.0)).xyz;\n";
        if (hasNormal) {
            s += key.normalize ? "    vec3 N = normalize(uNormalMatrix * aNormal.xyz);\n"
                               : "    vec3 N = uNormalMatrix * aNormal.xyz;\n";
        } else {
            s += "    vec3 N = vec3(0.0);\n";
        }
    }
    const char* vertexDiffuse = hasDiffuse ? "aDiffuse" : "vec4(1.0)";
    const char* vertexSpecular = hasSpecular ? "aSpecular" : "vec4(0.0)";
    if (lighting) {
        auto source = [&](std::size_t which, const char* material) -> std::string {
            const DWORD src = key.materialSource[which];
            if (!key.colorVertex) return material;
            if (src == D3DMCS_COLOR1 && hasDiffuse) return "aDiffuse";
            if (src == D3DMCS_COLOR2 && hasSpecular) return "aSpecular";
            return material;
        };
        Append(s, "    vec4 mDiffuse = %s;\n", source(0, "uMatDiffuse").c_str());
        Append(s, "    vec4 mSpecular = %s;\n", source(1, "uMatSpecular").c_str());
        Append(s, "    vec4 mAmbient = %s;\n", source(2, "uMatAmbient").c_str());
        Append(s, "    vec4 mEmissive = %s;\n", source(3, "uMatEmissive").c_str());
        s += "    vec3 ambient = uGlobalAmbient.rgb, diffuse = vec3(0.0), specular = vec3(0.0);\n";
        s += key.localViewer ? "    vec3 toEye = -normalize(P);\n" : "    vec3 toEye = vec3(0.0, 0.0, -1.0);\n";
        for (int i = 0; i < kMaxActiveLights; ++i) {
            const DWORD type = key.lightTypes[static_cast<std::size_t>(i)];
            if (type == 0) break;
            s += "    {\n";
            if (type == D3DLIGHT_DIRECTIONAL) {
                Append(s, "        vec3 L = -normalize(uLightDirection[%d]);\n        float k = 1.0;\n", i);
            } else {
                Append(s, "        vec3 toLight = uLightPosition[%d] - P;\n", i);
                s += "        float d = length(toLight);\n";
                s += "        vec3 L = d > 0.0 ? toLight / d : vec3(0.0, 0.0, 1.0);\n";
                Append(s, "        vec4 at = uLightAttenuation[%d];\n", i);
                s += "        float denominator = at.x + at.y * d + at.z * d * d;\n";
                s += "        float k = d > at.w ? 0.0 : (denominator > 0.0 ? 1.0 / denominator : 1.0);\n";
                if (type == D3DLIGHT_SPOT) {
                    Append(s, "        vec3 spot = uLightSpot[%d];\n", i);
                    Append(s, "        float rho = dot(-L, normalize(uLightDirection[%d]));\n", i);
                    s += "        float factor = rho > spot.x ? 1.0 : (rho <= spot.y ? 0.0 :\n";
                    s += "            pow(clamp((rho - spot.y) / max(spot.x - spot.y, 1e-6), 0.0, 1.0), spot.z));\n";
                    s += "        k *= factor;\n";
                }
            }
            Append(s, "        ambient += uLightAmbient[%d].rgb * k;\n", i);
            s += "        float NdotL = max(dot(N, L), 0.0);\n";
            Append(s, "        diffuse += uLightDiffuse[%d].rgb * NdotL * k;\n", i);
            if (key.specular) {
                s += "        if (NdotL > 0.0) {\n";
                s += "            vec3 H = normalize(toEye + L);\n";
                s += "            float NdotH = max(dot(N, H), 0.0);\n";
                Append(s, "            specular += uLightSpecular[%d].rgb * (NdotH > 0.0 ? pow(NdotH, uMatPower) : 0.0) * k;\n",
                       i);
                s += "        }\n";
            }
            s += "    }\n";
        }
        s += "    vDiffuse = vec4(clamp(mEmissive.rgb + mAmbient.rgb * ambient + mDiffuse.rgb * diffuse, 0.0, 1.0),\n";
        s += "                    clamp(mDiffuse.a, 0.0, 1.0));\n";
        s += "    specularOut = vec4(clamp(mSpecular.rgb * specular, 0.0, 1.0), clamp(mSpecular.a, 0.0, 1.0));\n";
    } else {
        Append(s, "    vDiffuse = %s;\n    specularOut = %s;\n", vertexDiffuse, vertexSpecular);
    }
    // Fog: table fog is computed per pixel, from the interpolated w (w-based) or the pixel's depth (z-based);
    // vertex fog is computed here from the eye depth.
    if (tableFog != D3DFOG_NONE) {
        if (key.wFog) s += "    vFog = clip.w;\n";
    } else if (vertexFog != D3DFOG_NONE) {
        s += key.rangeFog ? "    float fogDepth = length(P);\n" : "    float fogDepth = P.z;\n";
        switch (vertexFog) {
        case D3DFOG_LINEAR:
            s += "    vFog = clamp((uFog.y - fogDepth) / (uFog.y - uFog.x), 0.0, 1.0);\n";
            break;
        case D3DFOG_EXP:
            s += "    vFog = clamp(exp(-fogDepth * uFog.z), 0.0, 1.0);\n";
            break;
        default:
            s += "    vFog = clamp(exp(-(fogDepth * uFog.z) * (fogDepth * uFog.z)), 0.0, 1.0);\n";
            break;
        }
    }
    if (specularOut) s += "    vSpecular = specularOut;\n";
    if (key.points) {
        // A point's size: the vertex's own or POINTSIZE; scaled, it is
        // viewport height * size * sqrt(1 / (A + B De + C De^2)) with De the camera-space distance; then
        // clamped to POINTSIZE_MIN and the largest size.
        s += vertexPointSize ? "    float pointSize = aPointSize.x;\n" : "    float pointSize = uPointSize.x;\n";
        if (key.pointScale) {
            s += "    float De = length(P);\n";
            s += "    float pointScale = uPointScale.x + uPointScale.y * De + uPointScale.z * De * De;\n";
            s += "    pointSize = uViewport.w * pointSize * sqrt(1.0 / max(pointScale, 1e-30));\n";
        }
        s += "    gl_PointSize = min(max(pointSize, uPointSize.y), uPointSize.z);\n";
    }
    for (int st = 0; st < stages; ++st) {
        if (!StageSamples(key, st)) continue;
        const StageKey& stage = key.stages[static_cast<std::size_t>(st)];
        const UINT set = stage.coordSet, gen = stage.coordGen, count = stage.transformCount, size = stage.inputSize;
        std::string input;
        switch (gen) {
        case 1:  // D3DTSS_TCI_CAMERASPACENORMAL
            input = "vec4(N, 1.0)";
            break;
        case 2:  // D3DTSS_TCI_CAMERASPACEPOSITION
            input = "vec4(P, 1.0)";
            break;
        case 3:  // D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR
            // A reflection about the normal's direction: a world matrix that scales would otherwise bend it.
            // Without a local viewer the eye looks along +z everywhere.
            input = key.localViewer ? "vec4(reflect(normalize(P), normalize(N)), 1.0)"
                                    : "vec4(reflect(vec3(0.0, 0.0, 1.0), normalize(N)), 1.0)";
            break;
        case 4:  // D3DTSS_TCI_SPHEREMAP: two coordinates, padded as a vertex's (u, v) would be
            input = key.localViewer ? "SphereMap(reflect(normalize(P), normalize(N)))"
                                    : "SphereMap(reflect(vec3(0.0, 0.0, 1.0), normalize(N)))";
            input = (count != 0 ? "vec4(" + input + ", 1.0, 0.0)" : "vec4(" + input + ", 0.0, 1.0)");
            break;
        default: {
            // Missing components. Into a texture transform Direct3D pads with 1 after the last given
            // component and 0 beyond it, so that the row after the last one translates: (u, v) becomes
            // (u, v, 1, 0). Straight to the sampler the missing ones read 0, and w (a projective divisor) 1.
            static const char* const kTransformInput[5] = {"vec4(0.0)", "vec4(aTex%u.x, 1.0, 0.0, 0.0)",
                                                           "vec4(aTex%u.xy, 1.0, 0.0)", "vec4(aTex%u.xyz, 1.0)",
                                                           "aTex%u"};
            static const char* const kDirectInput[5] = {"vec4(0.0)", "vec4(aTex%u.x, 0.0, 0.0, 1.0)",
                                                        "vec4(aTex%u.xy, 0.0, 1.0)", "vec4(aTex%u.xyz, 1.0)", "aTex%u"};
            const char* pattern = (count != 0 ? kTransformInput : kDirectInput)[size <= 4 ? size : 0];
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, pattern, set);
            input = buffer;
            break;
        }
        }
        // COUNTn hands the first n transformed components to the rasteriser; a sampler that reads more
        // (v of a 2D texture after COUNT1, w of a volume or z of a cube direction after COUNT2) reads 0.
        static const char* const kTransformed[5] = {
            "    vTex%d = %s;\n",
            "    vTex%d = vec4((uTexMatrix[%d] * %s).x, 0.0, 0.0, 0.0);\n",
            "    vTex%d = vec4((uTexMatrix[%d] * %s).xy, 0.0, 0.0);\n",
            "    vTex%d = vec4((uTexMatrix[%d] * %s).xyz, 0.0);\n",
            "    vTex%d = uTexMatrix[%d] * %s;\n",
        };
        if (count != 0) {
            Append(s, kTransformed[count], st, st, input.c_str());
        } else {
            Append(s, kTransformed[0], st, input.c_str());
        }
    }
    s += "}\n";
    return s;
}

// Cylindrical wrapping (WRAPn): between two vertices a wrapped coordinate takes the shorter way round the
// unit circle. Each line's or triangle's coordinates are moved by whole units to lie within a half of its
// first vertex's, which interpolates them that way (for a triangle, along the edges from the first vertex).
// The outputs pass through under names of their own, which the pixel stage reads (see its #defines).
std::string GenerateGeometryShader(const ProgramKey& key) {
    if (!UsesWrap(key)) return {};
    const bool lines = key.primitive == Primitive::Lines;
    const int corners = lines ? 2 : 3;
    const int stages = ActiveStages(key);
    const char* flat = key.flat ? "flat " : "";
    std::string s = "#version 330 core\n";
    Append(s, "layout(%s) in;\nlayout(%s, max_vertices = %d) out;\n", lines ? "lines" : "triangles",
           lines ? "line_strip" : "triangle_strip", corners);
    std::string copy;
    Append(s, "%sin vec4 vDiffuse[];\n%sout vec4 gDiffuse;\n", flat, flat);
    copy += "        gDiffuse = vDiffuse[i];\n";
    if (UsesSpecular(key, stages)) {
        Append(s, "%sin vec4 vSpecular[];\n%sout vec4 gSpecular;\n", flat, flat);
        copy += "        gSpecular = vSpecular[i];\n";
    }
    if (UsesFog(key)) {
        s += "in float vFog[];\nout float gFog;\n";
        copy += "        gFog = vFog[i];\n";
    }
    std::string shift;
    for (int st = 0; st < stages; ++st) {
        if (!StageSamples(key, st)) continue;
        Append(s, "in vec4 vTex%d[];\nout vec4 gTex%d;\n", st, st);
        Append(copy, "        gTex%d = tex%d[i];\n", st, st);
        Append(shift, "    vec4 tex%d[%d];\n", st, corners);
        Append(shift, "    for (int i = 0; i < %d; ++i) tex%d[i] = vTex%d[i];\n", corners, st, st);
        const unsigned wrap = key.stages[static_cast<std::size_t>(st)].wrap;
        if (wrap) {
            Append(shift, "    for (int i = 1; i < %d; ++i) {\n", corners);
            Append(shift, "        vec4 moved = tex%d[i] - round(tex%d[i] - tex%d[0]);\n", st, st, st);
            Append(shift, "        tex%d[i] = mix(tex%d[i], moved, bvec4(%s, %s, %s, %s));\n    }\n", st, st,
                   wrap & 1 ? "true" : "false", wrap & 2 ? "true" : "false", wrap & 4 ? "true" : "false",
                   wrap & 8 ? "true" : "false");
        }
    }
    const std::uint32_t clipPlanes = ClipPlaneMask(key);
    for (int i = 0; i < kMaxClipPlanes; ++i) {
        if (clipPlanes & (1u << i)) Append(copy, "        gl_ClipDistance[%d] = gl_in[i].gl_ClipDistance[%d];\n", i, i);
    }
    s += "void main() {\n";
    s += shift;
    Append(s, "    for (int i = 0; i < %d; ++i) {\n        gl_Position = gl_in[i].gl_Position;\n", corners);
    s += copy;
    s += "        EmitVertex();\n    }\n    EndPrimitive();\n}\n";
    return s;
}

std::string GenerateFragmentShader(const ProgramKey& key) {
    const DWORD tableFog = key.tableFog, vertexFog = key.vertexFog;
    const char* flat = key.flat ? "flat " : "";
    const int stages = ActiveStages(key);

    std::string s = "#version 330 core\n";
    if (UsesWrap(key)) {
        // The geometry stage hands the vertex stage's outputs on under these names.
        s += "#define vDiffuse gDiffuse\n#define vSpecular gSpecular\n#define vFog gFog\n";
        for (int st = 0; st < stages; ++st) Append(s, "#define vTex%d gTex%d\n", st, st);
    }
    Append(s, "%sin vec4 vDiffuse;\n", flat);
    if (UsesSpecular(key, stages)) {
        Append(s, "%sin vec4 vSpecular;\n", flat);
    } else {
        s += "const vec4 vSpecular = vec4(0.0);\n";
    }
    for (int st = 0; st < stages; ++st) {
        if (StageSamples(key, st)) Append(s, "in vec4 vTex%d;\n", st);
    }
    if (UsesFog(key)) s += "in float vFog;\n";
    for (int st = 0; st < stages; ++st) {
        if (!StageSamples(key, st)) continue;
        static const char* const kSamplers[3] = {"sampler2D", "samplerCube", "sampler3D"};
        Append(s, "uniform %s uTexture%d;\n",
               kSamplers[static_cast<int>(key.stages[static_cast<std::size_t>(st)].kind)], st);
    }
    bool srgbRead = false;
    for (int st = 0; st < stages; ++st)
        srgbRead |= StageSamples(key, st) && key.stages[static_cast<std::size_t>(st)].srgb;
    // The sRGB transfer function, both ways, per channel as the standard defines it.
    if (srgbRead) {
        s += "vec3 SrgbToLinear(vec3 c) {\n";
        s += "    return mix(c / 12.92, pow((c + 0.055) / 1.055, vec3(2.4)), greaterThan(c, vec3(0.04045)));\n}\n";
    }
    if (key.srgbWrite) {
        s += "vec3 LinearToSrgb(vec3 c) {\n";
        s += "    c = clamp(c, 0.0, 1.0);\n";
        s +=
            "    return mix(c * 12.92, 1.055 * pow(c, vec3(1.0 / 2.4)) - 0.055, greaterThan(c, vec3(0.0031308)));\n}\n";
    }
    auto isBump = [&](int st) {
        const DWORD op = st >= 0 && st < stages ? key.stages[static_cast<std::size_t>(st)].colorOp : 0;
        return op == D3DTOP_BUMPENVMAP || op == D3DTOP_BUMPENVMAPLUMINANCE;
    };
    bool bumps = false;
    for (int st = 0; st < stages; ++st) bumps |= isBump(st);
    if (bumps) s += "uniform vec4 uBumpMatrix[8];  // BUMPENVMAT00, 01, 10, 11\nuniform vec2 uBumpLuminance[8];\n";
    s += "uniform vec3 uPointBias[8];  // half of 1/256 texel of level 0, in coordinate units\n";
    s += "uniform vec4 uTextureFactor;\nuniform vec4 uStageConstant[8];\n";
    s += "uniform vec4 uFog;\nuniform vec3 uFogColor;\nuniform float uAlphaRef;\n";
    s += "out vec4 fragColor;\n";
    s += "void main() {\n";
    s += "    vec4 current = vDiffuse;\n    vec4 temp = vec4(0.0);\n";
    // A bump-map stage perturbs the next stage's coordinates by its matrix times the map's (du, dv), and with
    // luminance scales that stage's texel by clamp(L * BUMPENVLSCALE + BUMPENVLOFFSET, 0, 1).
    if (bumps) s += "    vec2 bumpOffset = vec2(0.0);\n    float bumpLuminance = 1.0;\n";
    for (int st = 0; st < stages; ++st) {
        const StageKey& stage = key.stages[static_cast<std::size_t>(st)];
        Append(s, "    // stage %d\n    {\n", st);
        if (StageSamples(key, st)) {
            const UINT count = stage.transformCount;
            const bool twoD = stage.kind == TextureKind::Flat;
            const char* type = twoD ? "vec2" : "vec3";
            const char* components = twoD ? "xy" : "xyz";
            if (key.pointSprite && twoD) {
                // Across a point sprite u runs 0 to 1 left to right and v top to bottom. GL's point
                // coordinate runs down from the top in GL's window, which is the picture's bottom here.
                s += "        vec2 uv = vec2(gl_PointCoord.x, 1.0 - gl_PointCoord.y);\n";
            } else if (stage.projected && count >= 2) {
                const char divisor = "xyzw"[count - 1];
                Append(s, "        %s uv = vTex%d.%s / vTex%d.%c;\n", type, st, components, st, divisor);
            } else {
                Append(s, "        %s uv = vTex%d.%s;\n", type, st, components);
            }
            if (isBump(st - 1)) s += "        uv.xy += bumpOffset;\n";
            // A cube map is addressed by a direction, which has no texel grid to snap to until a face is chosen.
            if (stage.pointFilter && stage.kind != TextureKind::Cube) {
                // Point sampling as Direct3D 9 hardware does it: the coordinate is rounded to 1/256 of a
                // texel before the texel is chosen. A coordinate interpolated at a vertex's own pixel is then
                // the vertex's exact value, as Direct3D defines it, where the rasteriser's rounding may land
                // a hair below: at a texel edge (u = 0, or u = x / width at pixel x) the previous texel would
                // be taken, or the last one after wrapping. Choosing floor(round(256 t) / 256) for texel
                // position t equals floor(t + 1/512), so adding half a step is the whole rounding (one add,
                // where the fill rate of a software rasteriser counts). Linear filtering has no such edge.
                // Volumes snap along w as well.
                Append(s, "        uv += uPointBias[%d].%s;\n", st, components);
            }
            Append(s, "        vec4 tex = texture(uTexture%d, uv);\n", st);
            if (stage.srgb) s += "        tex.rgb = SrgbToLinear(tex.rgb);\n";
            if (isBump(st - 1) && key.stages[static_cast<std::size_t>(st - 1)].colorOp == D3DTOP_BUMPENVMAPLUMINANCE) {
                s += "        tex.rgb *= bumpLuminance;\n";
            }
        } else {
            s += "        vec4 tex = vec4(0.0, 0.0, 0.0, 1.0);  // no texture: opaque black\n";
        }
        if (isBump(st)) {
            // (du, dv) are the map's first two channels, its luminance the third.
            Append(s, "        bumpOffset = vec2(dot(uBumpMatrix[%d].xz, tex.rg), dot(uBumpMatrix[%d].yw, tex.rg));\n",
                   st, st);
            if (stage.colorOp == D3DTOP_BUMPENVMAPLUMINANCE) {
                Append(
                    s,
                    "        bumpLuminance = clamp(tex.b * uBumpLuminance[%d].x + uBumpLuminance[%d].y, 0.0, 1.0);\n",
                    st, st);
            }
        }
        auto argument = [&](std::uint32_t arg) -> std::string {
            std::string base;
            switch (arg & D3DTA_SELECTMASK) {
            case D3DTA_DIFFUSE:
                base = "vDiffuse";
                break;
            case D3DTA_CURRENT:
                base = "current";
                break;
            case D3DTA_TEXTURE:
                base = "tex";
                break;
            case D3DTA_TFACTOR:
                base = "uTextureFactor";
                break;
            case D3DTA_SPECULAR:
                base = "vSpecular";
                break;
            case D3DTA_TEMP:
                base = "temp";
                break;
            case D3DTA_CONSTANT: {
                char b[32];
                std::snprintf(b, sizeof b, "uStageConstant[%d]", st);
                base = b;
                break;
            }
            default:
                base = "vec4(0.0)";
                break;
            }
            if (arg & D3DTA_ALPHAREPLICATE) base = "vec4(" + base + ".a)";
            if (arg & D3DTA_COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
            return base;
        };
        Append(s, "        vec4 c1 = %s, c2 = %s, c0 = %s;\n", argument(stage.colorArg[0]).c_str(),
               argument(stage.colorArg[1]).c_str(), argument(stage.colorArg[2]).c_str());
        const DWORD colorOp = stage.colorOp, alphaOp = stage.alphaOp;
        auto op = [&](DWORD o, const char* sw1, const char* type) -> std::string {
            // sw1: ".rgb" or ".a"; operands a1, a2, a0 are the swizzled arguments.
            char b[512];
            const char* a = type;
            (void)a;
            switch (o) {
            case D3DTOP_SELECTARG1:
                return "a1";
            case D3DTOP_SELECTARG2:
                return "a2";
            case D3DTOP_MODULATE:
                return "a1 * a2";
            case D3DTOP_MODULATE2X:
                return "a1 * a2 * 2.0";
            case D3DTOP_MODULATE4X:
                return "a1 * a2 * 4.0";
            case D3DTOP_ADD:
                return "a1 + a2";
            case D3DTOP_ADDSIGNED:
                return "a1 + a2 - 0.5";
            case D3DTOP_ADDSIGNED2X:
                return "(a1 + a2 - 0.5) * 2.0";
            case D3DTOP_SUBTRACT:
                return "a1 - a2";
            case D3DTOP_ADDSMOOTH:
                return "a1 + a2 - a1 * a2";
            case D3DTOP_BLENDDIFFUSEALPHA:
                return "mix(a2, a1, vDiffuse.a)";
            case D3DTOP_BLENDTEXTUREALPHA:
                return "mix(a2, a1, tex.a)";
            case D3DTOP_BLENDFACTORALPHA:
                return "mix(a2, a1, uTextureFactor.a)";
            case D3DTOP_BLENDTEXTUREALPHAPM:
                return "a1 + a2 * (1.0 - tex.a)";
            case D3DTOP_BLENDCURRENTALPHA:
                return "mix(a2, a1, current.a)";
            case D3DTOP_MODULATEALPHA_ADDCOLOR:
                std::snprintf(b, sizeof b, "c1%s + c1.a * c2%s", sw1, sw1);
                return b;
            case D3DTOP_MODULATECOLOR_ADDALPHA:
                std::snprintf(b, sizeof b, "c1%s * c2%s + c1.a", sw1, sw1);
                return b;
            case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
                std::snprintf(b, sizeof b, "(1.0 - c1.a) * c2%s + c1%s", sw1, sw1);
                return b;
            case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
                std::snprintf(b, sizeof b, "(1.0 - c1%s) * c2%s + c1.a", sw1, sw1);
                return b;
            case D3DTOP_DOTPRODUCT3:
                return "dot3";
            case D3DTOP_MULTIPLYADD:
                return "a0 + a1 * a2";
            case D3DTOP_LERP:
                return "mix(a2, a1, a0)";
            case D3DTOP_BUMPENVMAP:
            case D3DTOP_BUMPENVMAPLUMINANCE:
                // A bump-map stage addresses the next one and passes the current colour on.
                std::snprintf(b, sizeof b, "current%s", sw1);
                return b;
            default:
                return "a1";
            }
        };
        s += "        float dot3 = clamp(4.0 * dot(c1.rgb - 0.5, c2.rgb - 0.5), 0.0, 1.0);\n";
        Append(s, "        vec3 colour;\n        {\n            vec3 a1 = c1.rgb, a2 = c2.rgb, a0 = c0.rgb;\n");
        Append(s, "            colour = clamp(vec3(%s), 0.0, 1.0);\n        }\n", op(colorOp, ".rgb", "vec3").c_str());
        if (alphaOp == D3DTOP_DISABLE) {
            s += "        float alpha = current.a;\n";
        } else if (colorOp == D3DTOP_DOTPRODUCT3) {
            s += "        float alpha = dot3;  // the dot product goes to every channel\n";
        } else {
            Append(s, "        vec4 d1 = %s, d2 = %s, d0 = %s;\n", argument(stage.alphaArg[0]).c_str(),
                   argument(stage.alphaArg[1]).c_str(), argument(stage.alphaArg[2]).c_str());
            s += "        float alpha;\n        {\n            float a1 = d1.a, a2 = d2.a, a0 = d0.a;\n";
            std::string expression = op(alphaOp, ".a", "float");
            // The colour-only operations fall back to their first argument for alpha.
            if (alphaOp >= D3DTOP_MODULATEALPHA_ADDCOLOR && alphaOp <= D3DTOP_MODULATEINVCOLOR_ADDALPHA) {
                expression = "a1";
            }
            if (alphaOp == D3DTOP_DOTPRODUCT3) {
                expression = "clamp(4.0 * dot(d1.rgb - 0.5, d2.rgb - 0.5), 0.0, 1.0)";
            }
            Append(s, "            alpha = clamp(float(%s), 0.0, 1.0);\n        }\n", expression.c_str());
        }
        if (stage.resultTemp) {
            s += "        temp = vec4(colour, alpha);\n";
        } else {
            s += "        current = vec4(colour, alpha);\n";
        }
        s += "    }\n";
    }
    if (key.specular) s += "    current.rgb = clamp(current.rgb + vSpecular.rgb, 0.0, 1.0);\n";
    if (tableFog != D3DFOG_NONE) {
        s += key.wFog ? "    float depth = vFog;\n" : "    float depth = gl_FragCoord.z;\n";
        switch (tableFog) {
        case D3DFOG_LINEAR:
            s += "    float f = uFog.y == uFog.x ? (depth < uFog.x ? 1.0 : 0.0) :\n";
            s += "        clamp((uFog.y - depth) / (uFog.y - uFog.x), 0.0, 1.0);\n";
            break;
        case D3DFOG_EXP:
            s += "    float f = clamp(exp(-depth * uFog.z), 0.0, 1.0);\n";
            break;
        default:
            s += "    float f = clamp(exp(-(depth * uFog.z) * (depth * uFog.z)), 0.0, 1.0);\n";
            break;
        }
        s += "    current.rgb = mix(uFogColor, current.rgb, f);\n";
    } else if (vertexFog != D3DFOG_NONE) {
        s += "    current.rgb = mix(uFogColor, current.rgb, clamp(vFog, 0.0, 1.0));\n";
    }
    if (key.alphaTest) {
        const DWORD func = key.alphaFunc;
        // The reference is an 8-bit value; compare in the same units.
        s += "    float a8 = floor(clamp(current.a, 0.0, 1.0) * 255.0 + 0.5);\n";
        const char* test = "true";
        switch (func) {
        case D3DCMP_NEVER:
            test = "false";
            break;
        case D3DCMP_LESS:
            test = "a8 < uAlphaRef";
            break;
        case D3DCMP_EQUAL:
            test = "a8 == uAlphaRef";
            break;
        case D3DCMP_LESSEQUAL:
            test = "a8 <= uAlphaRef";
            break;
        case D3DCMP_GREATER:
            test = "a8 > uAlphaRef";
            break;
        case D3DCMP_NOTEQUAL:
            test = "a8 != uAlphaRef";
            break;
        case D3DCMP_GREATEREQUAL:
            test = "a8 >= uAlphaRef";
            break;
        default:
            break;
        }
        Append(s, "    if (!(%s)) discard;\n", test);
    }
    // The conversion comes before blending: the blend then works on the encoded values.
    if (key.srgbWrite) s += "    current.rgb = LinearToSrgb(current.rgb);\n";
    s += "    fragColor = current;\n}\n";
    return s;
}

}  // namespace tarn::d3d9
