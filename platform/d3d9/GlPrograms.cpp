// Programs of the GL backend: generation, linking and uniform locations, then uniforms sent by state group.
#include "GlPrograms.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "D3D9Diagnostic.h"
#include "GlFormats.h"
#include "Renderer.h"
#include "ResourceObjects.h"

namespace tarn::d3d9 {
namespace {

void Multiply(const D3DMATRIX& a, const D3DMATRIX& b, D3DMATRIX* out) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    *out = r;
}

// Inverse transpose of the upper 3 x 3 of a row-vector matrix, laid out for an untransposed GLSL mat3 upload
// (so that uNormalMatrix * n == n * inverse(M3)^T in row-vector terms).
void NormalMatrix(const D3DMATRIX& m, float* out) {
    const float a = m._11, b = m._12, c = m._13, d = m._21, e = m._22, f = m._23, g = m._31, h = m._32, i = m._33;
    const float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    const float det = a * A + b * B + c * C;
    const float s = std::fabs(det) > 1e-20f ? 1.0f / det : 0.0f;
    // Cofactor matrix / det is the inverse transpose. A row vector n times N = (N^T uploaded as columns).
    const float cof[3][3] = {{A, B, C},
                             {-(b * i - c * h), a * i - c * g, -(a * h - b * g)},
                             {b * f - c * e, -(a * f - c * d), a * e - b * d}};
    // n' = n * (M^-1)^T ; (M^-1)^T = cof / det. Upload row-major memory untransposed: GLSL sees its transpose,
    // and mat * n (column) equals n * cof (row), which is what we want.
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) out[r * 3 + k] = cof[r][k] * s;
}

// Inverse of a 4 x 4 matrix by Gauss-Jordan elimination with partial pivoting; the identity when singular.
D3DMATRIX Inverse(const D3DMATRIX& in) {
    double a[4][8];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 8; ++j) a[i][j] = j < 4 ? in.m[i][j] : (j - 4 == i ? 1.0 : 0.0);
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
        if (std::fabs(a[pivot][c]) < 1e-30) return kIdentityMatrix;
        for (int j = 0; j < 8; ++j) std::swap(a[c][j], a[pivot][j]);
        const double d = a[c][c];
        for (int j = 0; j < 8; ++j) a[c][j] /= d;
        for (int r = 0; r < 4; ++r) {
            if (r == c) continue;
            const double f = a[r][c];
            for (int j = 0; j < 8; ++j) a[r][j] -= f * a[c][j];
        }
    }
    D3DMATRIX out{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out.m[i][j] = static_cast<float>(a[i][j + 4]);
    return out;
}

GLuint Compile(GLenum type, const std::string& source) {
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048];
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        Diagnostic("shader compile failed: %s\n%s", log, source.c_str());
    }
    return shader;
}

}  // namespace

GlPrograms::~GlPrograms() {
    for (auto& [key, program] : programs_) {
        glDeleteProgram(program.name);
        gl_.ProgramDeleted(program.name);
    }
}

void GlPrograms::Changed(std::uint32_t dirty) {
    if (dirty & kDirtyTransforms) ++transformsStamp_;
    if (dirty & kDirtyLights) ++lightingStamp_;
    if (dirty & kDirtyMaterial) ++materialStamp_;
    if (dirty & kDirtyConstants) ++constantsStamp_;
    if (dirty & kDirtyTexMatrices) ++texMatricesStamp_;
    if (dirty & kDirtyViewport) ++viewportStamp_;
    if (dirty & kDirtyTextures) ++texturesStamp_;
}

void GlPrograms::Select(const DeviceState& st, bool rebuild, Primitive primitive) {
    if (!rebuild && current_) return;
    std::array<int, kMaxActiveLights> activeLights{};
    int activeLightCount = 0;
    key_ = MakeProgramKey(st, &activeLights, &activeLightCount, primitive);
    Program* p = ProgramFor(key_);
    p->lights = activeLights;
    if (p->lightCount != activeLightCount || p != current_) p->lighting = 0;
    p->lightCount = activeLightCount;
    current_ = p;
    gl_.UseProgram(p->name);
    const std::uint32_t clipPlanes = ClipPlaneMask(key_);
    for (int i = 0; i < kMaxClipPlanes; ++i) {
        gl_.Enable(static_cast<GlState::Cap>(GlState::kClipDistance0 + i), (clipPlanes & (1u << i)) != 0);
    }
}

GlPrograms::Program* GlPrograms::ProgramFor(const ProgramKey& k) {
    auto it = programs_.find(k);
    if (it != programs_.end()) return &it->second;
    Program& p = programs_[k];
    const GLuint vs = Compile(GL_VERTEX_SHADER, GenerateVertexShader(k, palette_));
    p.blendCount = k.indexedBlend ? palette_ : k.blendMatrices;
    const GLuint fs = Compile(GL_FRAGMENT_SHADER, GenerateFragmentShader(k));
    const std::string geometry = GenerateGeometryShader(k);
    const GLuint gs = geometry.empty() ? 0 : Compile(GL_GEOMETRY_SHADER, geometry);
    p.name = glCreateProgram();
    glAttachShader(p.name, vs);
    if (gs) glAttachShader(p.name, gs);
    glAttachShader(p.name, fs);
    glLinkProgram(p.name);
    glDeleteShader(vs);
    if (gs) glDeleteShader(gs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(p.name, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048];
        glGetProgramInfoLog(p.name, sizeof log, nullptr, log);
        Diagnostic("program link failed: %s", log);
    }
    p.linked = ok != 0;
    Uniforms& u = p.u;
    auto loc = [&](const char* n) { return glGetUniformLocation(p.name, n); };
    u.world = loc("uWorld");
    u.clipPlane = loc("uClipPlane");
    u.worldView = loc("uWorldView");
    u.worldViewProj = loc("uWorldViewProj");
    u.normalMatrix = loc("uNormalMatrix");
    u.viewport = loc("uViewport");
    u.depthRange = loc("uDepthRange");
    u.texMatrix = loc("uTexMatrix");
    u.matDiffuse = loc("uMatDiffuse");
    u.matAmbient = loc("uMatAmbient");
    u.matSpecular = loc("uMatSpecular");
    u.matEmissive = loc("uMatEmissive");
    u.matPower = loc("uMatPower");
    u.globalAmbient = loc("uGlobalAmbient");
    u.lightDiffuse = loc("uLightDiffuse");
    u.lightSpecular = loc("uLightSpecular");
    u.lightAmbient = loc("uLightAmbient");
    u.lightPosition = loc("uLightPosition");
    u.lightDirection = loc("uLightDirection");
    u.lightAttenuation = loc("uLightAttenuation");
    u.lightSpot = loc("uLightSpot");
    u.fog = loc("uFog");
    u.fogColor = loc("uFogColor");
    u.alphaRef = loc("uAlphaRef");
    u.textureFactor = loc("uTextureFactor");
    u.stageConstant = loc("uStageConstant");
    u.pointBias = loc("uPointBias");
    u.pointSize = loc("uPointSize");
    u.pointScale = loc("uPointScale");
    u.bumpMatrix = loc("uBumpMatrix");
    u.bumpLuminance = loc("uBumpLuminance");
    u.blendWorldView = loc("uBlendWorldView");
    u.projection = loc("uProjection");
    u.viewInverse = loc("uViewInverse");
    gl_.UseProgram(p.name);
    // Stage s samples texture unit s, whatever the kind of its sampler.
    for (int s = 0; s < kStages; ++s) {
        char name[16];
        std::snprintf(name, sizeof name, "uTexture%d", s);
        const GLint location = loc(name);
        if (location >= 0) glUniform1i(location, s);
    }
    return &p;
}

void GlPrograms::UploadUniforms(const DeviceState& st) {
    assert(current_);
    Program& p = *current_;
    const Uniforms& u = p.u;
    if (p.transforms != transformsStamp_) {
        D3DMATRIX wv, wvp;
        Multiply(st.world, st.view, &wv);
        Multiply(wv, st.projection, &wvp);
        if (u.world >= 0) glUniformMatrix4fv(u.world, 1, GL_FALSE, &st.world.m[0][0]);
        if (u.worldView >= 0) glUniformMatrix4fv(u.worldView, 1, GL_FALSE, &wv.m[0][0]);
        if (u.worldViewProj >= 0) glUniformMatrix4fv(u.worldViewProj, 1, GL_FALSE, &wvp.m[0][0]);
        if (u.normalMatrix >= 0) {
            float n[9];
            NormalMatrix(wv, n);
            glUniformMatrix3fv(u.normalMatrix, 1, GL_FALSE, n);
        }
        if (u.blendWorldView >= 0) {
            blendScratch_.resize(static_cast<std::size_t>(p.blendCount));
            for (std::size_t i = 0; i < blendScratch_.size(); ++i) {
                Multiply(WorldMatrix(st, i), st.view, &blendScratch_[i]);
            }
            glUniformMatrix4fv(u.blendWorldView, p.blendCount, GL_FALSE, &blendScratch_[0].m[0][0]);
        }
        if (u.projection >= 0) glUniformMatrix4fv(u.projection, 1, GL_FALSE, &st.projection.m[0][0]);
        if (u.viewInverse >= 0) {
            const D3DMATRIX inverse = Inverse(st.view);
            glUniformMatrix4fv(u.viewInverse, 1, GL_FALSE, &inverse.m[0][0]);
        }
        p.transforms = transformsStamp_;
    }
    if (p.viewport != viewportStamp_) {
        const D3DVIEWPORT9& vp = st.viewport;
        if (u.viewport >= 0) {
            glUniform4f(u.viewport, static_cast<float>(vp.X), static_cast<float>(vp.Y), static_cast<float>(vp.Width),
                        static_cast<float>(vp.Height));
        }
        if (u.depthRange >= 0) glUniform2f(u.depthRange, vp.MinZ, vp.MaxZ);
        p.viewport = viewportStamp_;
    }
    if (p.textures != texturesStamp_) {
        if (u.pointBias >= 0) {
            float bias[3 * kStages] = {};
            for (int s = 0; s < kStages; ++s) {
                UINT size[3] = {1, 1, 1};
                const SamplerBinding& bound = st.bound[static_cast<std::size_t>(s)];
                if (!bound.resource) continue;
                if (bound.kind == TextureKind::Cube) {
                    size[0] = size[1] = static_cast<const CubeTexture*>(bound.resource)->edge();
                } else if (bound.kind == TextureKind::Volume) {
                    const auto* v = static_cast<const VolumeTexture*>(bound.resource);
                    size[0] = v->width(), size[1] = v->height(), size[2] = v->depth();
                } else {
                    const auto* t = static_cast<const Texture*>(bound.resource);
                    size[0] = t->level(0)->width(), size[1] = t->level(0)->height();
                }
                for (int k = 0; k < 3; ++k) bias[3 * s + k] = 1.0f / (512.0f * static_cast<float>(size[k]));
            }
            glUniform3fv(u.pointBias, kStages, bias);
        }
        p.textures = texturesStamp_;
    }
    if (p.texMatrices != texMatricesStamp_) {
        if (u.texMatrix >= 0) glUniformMatrix4fv(u.texMatrix, kStages, GL_FALSE, &st.texture[0].m[0][0]);
        p.texMatrices = texMatricesStamp_;
    }
    if (p.material != materialStamp_) {
        const D3DMATERIAL9& m = st.material;
        if (u.matDiffuse >= 0) glUniform4fv(u.matDiffuse, 1, &m.Diffuse.r);
        if (u.matAmbient >= 0) glUniform4fv(u.matAmbient, 1, &m.Ambient.r);
        if (u.matSpecular >= 0) glUniform4fv(u.matSpecular, 1, &m.Specular.r);
        if (u.matEmissive >= 0) glUniform4fv(u.matEmissive, 1, &m.Emissive.r);
        if (u.matPower >= 0) glUniform1f(u.matPower, m.Power);
        p.material = materialStamp_;
    }
    if (p.lighting != lightingStamp_ && p.lightCount > 0) {
        float diffuse[32], specular[32], ambient[32], position[24], direction[24], attenuation[32], spot[24];
        for (int i = 0; i < p.lightCount; ++i) {
            const D3DLIGHT9& l = st.lights[static_cast<std::size_t>(p.lights[static_cast<std::size_t>(i)])].light;
            std::memcpy(&diffuse[4 * i], &l.Diffuse, 16);
            std::memcpy(&specular[4 * i], &l.Specular, 16);
            std::memcpy(&ambient[4 * i], &l.Ambient, 16);
            // Lights are given in world space; the pipeline lights in camera space.
            const D3DMATRIX& v = st.view;
            const D3DVECTOR& P = l.Position;
            const D3DVECTOR& D = l.Direction;
            position[3 * i + 0] = P.x * v._11 + P.y * v._21 + P.z * v._31 + v._41;
            position[3 * i + 1] = P.x * v._12 + P.y * v._22 + P.z * v._32 + v._42;
            position[3 * i + 2] = P.x * v._13 + P.y * v._23 + P.z * v._33 + v._43;
            direction[3 * i + 0] = D.x * v._11 + D.y * v._21 + D.z * v._31;
            direction[3 * i + 1] = D.x * v._12 + D.y * v._22 + D.z * v._32;
            direction[3 * i + 2] = D.x * v._13 + D.y * v._23 + D.z * v._33;
            attenuation[4 * i + 0] = l.Attenuation0;
            attenuation[4 * i + 1] = l.Attenuation1;
            attenuation[4 * i + 2] = l.Attenuation2;
            attenuation[4 * i + 3] = l.Type == D3DLIGHT_DIRECTIONAL ? 3.4e38f : l.Range;
            spot[3 * i + 0] = std::cos(l.Theta * 0.5f);
            spot[3 * i + 1] = std::cos(l.Phi * 0.5f);
            spot[3 * i + 2] = l.Falloff;
        }
        const GLsizei n = p.lightCount;
        glUniform4fv(u.lightDiffuse, n, diffuse);
        glUniform4fv(u.lightSpecular, n, specular);
        glUniform4fv(u.lightAmbient, n, ambient);
        glUniform3fv(u.lightPosition, n, position);
        glUniform3fv(u.lightDirection, n, direction);
        glUniform4fv(u.lightAttenuation, n, attenuation);
        glUniform3fv(u.lightSpot, n, spot);
        p.lighting = lightingStamp_;
    }
    if (p.constants != constantsStamp_) {
        const auto& rs = st.rs;
        float c[4];
        if (u.globalAmbient >= 0) {
            ColorToFloats(rs[D3DRS_AMBIENT], c);
            glUniform4fv(u.globalAmbient, 1, c);
        }
        if (u.fog >= 0) {
            glUniform4f(u.fog, AsFloat(rs[D3DRS_FOGSTART]), AsFloat(rs[D3DRS_FOGEND]), AsFloat(rs[D3DRS_FOGDENSITY]),
                        0.0f);
        }
        if (u.fogColor >= 0) {
            ColorToFloats(rs[D3DRS_FOGCOLOR], c);
            glUniform3fv(u.fogColor, 1, c);
        }
        if (u.alphaRef >= 0) glUniform1f(u.alphaRef, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xff));
        if (u.clipPlane >= 0) glUniform4fv(u.clipPlane, kMaxClipPlanes, st.clipPlanes[0].data());
        if (u.bumpMatrix >= 0) {
            float m[4 * kStages], l[2 * kStages];
            for (int s = 0; s < kStages; ++s) {
                const auto& t = st.tss[static_cast<std::size_t>(s)];
                m[4 * s + 0] = AsFloat(t[D3DTSS_BUMPENVMAT00]);
                m[4 * s + 1] = AsFloat(t[D3DTSS_BUMPENVMAT01]);
                m[4 * s + 2] = AsFloat(t[D3DTSS_BUMPENVMAT10]);
                m[4 * s + 3] = AsFloat(t[D3DTSS_BUMPENVMAT11]);
                l[2 * s + 0] = AsFloat(t[D3DTSS_BUMPENVLSCALE]);
                l[2 * s + 1] = AsFloat(t[D3DTSS_BUMPENVLOFFSET]);
            }
            glUniform4fv(u.bumpMatrix, kStages, m);
            if (u.bumpLuminance >= 0) glUniform2fv(u.bumpLuminance, kStages, l);
        }
        if (u.pointSize >= 0) {
            // The largest size is POINTSIZE_MAX, and never more than the device draws (MaxPointSize).
            const float most = std::min(AsFloat(rs[D3DRS_POINTSIZE_MAX]), GlBackendLimits().maxPointSize);
            glUniform3f(u.pointSize, AsFloat(rs[D3DRS_POINTSIZE]), AsFloat(rs[D3DRS_POINTSIZE_MIN]), most);
        }
        if (u.pointScale >= 0) {
            glUniform3f(u.pointScale, AsFloat(rs[D3DRS_POINTSCALE_A]), AsFloat(rs[D3DRS_POINTSCALE_B]),
                        AsFloat(rs[D3DRS_POINTSCALE_C]));
        }
        if (u.textureFactor >= 0) {
            ColorToFloats(rs[D3DRS_TEXTUREFACTOR], c);
            glUniform4fv(u.textureFactor, 1, c);
        }
        if (u.stageConstant >= 0) {
            float k[32];
            for (int s = 0; s < kStages; ++s)
                ColorToFloats(st.tss[static_cast<std::size_t>(s)][D3DTSS_CONSTANT], &k[4 * s]);
            glUniform4fv(u.stageConstant, kStages, k);
        }
        p.constants = constantsStamp_;
    }
}

}  // namespace tarn::d3d9
