// A demo-shaped frame drawn through the Direct3D layer and the same frame written directly in OpenGL 3.3, both
// headless on llvmpipe in one process: 32k lit indexed triangles with two texture stages (the second with
// projected camera-space coordinates), linear fog and alpha blending into an 800 x 600 render-target texture, a
// full-screen additive quad, then that texture through a 10 x 10 grid to the back buffer, and Present. Each
// iteration ends with glFinish so that the whole frame is timed. The layer's target: at most 1.15 x the plain one.
// TARN_BENCH_FRAMES=DIR saves the last frame of each as DIR/plain.png and DIR/layer.png. The layer frame also
// reports the GL state calls it sends per frame (gl_state_calls).
#include <benchmark/benchmark.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Bits.h"
#include "platform/Runner.h"
#include "platform/d3d9/Backend.h"
#include "platform/d3d9/D3D9.h"
#include "tests/platform/d3d9/D3D9TestDevice.h"
#include "GlContext.h"

namespace {

constexpr UINT kWidth = 800, kHeight = 600;
constexpr int kGrid = 128;  // 128 x 128 quads: 32768 triangles
constexpr float kExtent = 400.0f;

struct MeshVertex {
    float x, y, z, nx, ny, nz, u, v;
};
struct WaveVertex {
    float x, y, z, rhw, u, v;
};
struct TintVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
};

using Matrix = D3DMATRIX;

Matrix Identity() {
    Matrix m{};
    m._11 = m._22 = m._33 = m._44 = 1;
    return m;
}

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

Matrix Inverse(const Matrix& in) {
    double a[4][8];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 8; ++j) a[i][j] = j < 4 ? in.m[i][j] : (j - 4 == i ? 1.0 : 0.0);
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
        for (int j = 0; j < 8; ++j) std::swap(a[c][j], a[pivot][j]);
        const double d = a[c][c];
        for (int j = 0; j < 8; ++j) a[c][j] /= d;
        for (int r = 0; r < 4; ++r) {
            if (r == c) continue;
            const double f = a[r][c];
            for (int j = 0; j < 8; ++j) a[r][j] -= f * a[c][j];
        }
    }
    Matrix out{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out.m[i][j] = static_cast<float>(a[i][j + 4]);
    return out;
}

Matrix LookAtLH(float ex, float ey, float ez, float ax, float ay, float az) {
    float zx = ax - ex, zy = ay - ey, zz = az - ez;
    float l = std::sqrt(zx * zx + zy * zy + zz * zz);
    zx /= l, zy /= l, zz /= l;
    float xx = zz, xy = 0, xz = -zx;  // up (0,1,0) x z
    l = std::sqrt(xx * xx + xz * xz);
    if (l < 1e-6f) xx = 1, xz = 0, l = 1;
    xx /= l, xz /= l;
    const float yx = zy * xz - zz * xy, yy = zz * xx - zx * xz, yz = zx * xy - zy * xx;
    Matrix m = Identity();
    m._11 = xx, m._12 = yx, m._13 = zx;
    m._21 = xy, m._22 = yy, m._23 = zy;
    m._31 = xz, m._32 = yz, m._33 = zz;
    m._41 = -(xx * ex + xy * ey + xz * ez);
    m._42 = -(yx * ex + yy * ey + yz * ez);
    m._43 = -(zx * ex + zy * ey + zz * ez);
    return m;
}

Matrix PerspectiveFovLH(float fov, float aspect, float zn, float zf) {
    const float y = 1.0f / std::tan(fov / 2), x = y / aspect;
    Matrix m{};
    m._11 = x, m._22 = y, m._33 = zf / (zf - zn), m._34 = 1, m._43 = -zn * zf / (zf - zn);
    return m;
}

struct Scene {
    std::vector<MeshVertex> vertices;
    std::vector<WORD> indices;
    std::vector<std::uint32_t> ground, caustic;  // 256 x 256 and 64 x 64 A8R8G8B8 top levels
    Matrix world = Identity(), view, projection, textureMatrix;

    Scene() {
        for (int z = 0; z <= kGrid; ++z) {
            for (int x = 0; x <= kGrid; ++x) {
                const float fx = -kExtent + 2 * kExtent * x / kGrid, fz = -kExtent + 2 * kExtent * z / kGrid;
                const float h = 20.0f * std::sin(fx * 0.02f) * std::cos(fz * 0.015f);
                vertices.push_back({fx, h, fz, 0, 1, 0, x / 16.0f, z / 16.0f});
            }
        }
        for (int z = 0; z < kGrid; ++z) {
            for (int x = 0; x < kGrid; ++x) {
                const WORD i = static_cast<WORD>(z * (kGrid + 1) + x);
                const WORD row = kGrid + 1;
                for (WORD k : {i, static_cast<WORD>(i + row), static_cast<WORD>(i + 1), static_cast<WORD>(i + 1),
                               static_cast<WORD>(i + row), static_cast<WORD>(i + row + 1)}) {
                    indices.push_back(k);
                }
            }
        }
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                ground.push_back(0xff000000u | ((x ^ y) & 0xff) << 16 | (x & 0xff) << 8 | (y & 0xff));
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) caustic.push_back(((x * 7 + y * 3) & 32) ? 0xffffffffu : 0xff8080a0u);
        view = LookAtLH(0, 150, -500, 0, 0, 0);
        projection = PerspectiveFovLH(0.785f, 800.0f / 600.0f, 1.0f, 2000.0f);
        Matrix scale = Identity();
        scale._11 = 0.2f, scale._22 = -0.2f;
        const Matrix light = LookAtLH(1, 100, 0, 0, 0, 0);
        textureMatrix = Multiply(Multiply(Multiply(Inverse(view), light), projection), scale);
    }

    // Box-filtered mip chain of a square A8R8G8B8 image.
    static std::vector<std::vector<std::uint32_t>> Chain(const std::vector<std::uint32_t>& top, int size) {
        std::vector<std::vector<std::uint32_t>> levels{top};
        while (size > 1) {
            const int half = size / 2;
            std::vector<std::uint32_t> next(static_cast<std::size_t>(half) * half);
            const auto& prev = levels.back();
            for (int y = 0; y < half; ++y)
                for (int x = 0; x < half; ++x) {
                    std::uint32_t out = 0;
                    for (int c = 0; c < 32; c += 8) {
                        unsigned sum = 0;
                        for (int dy = 0; dy < 2; ++dy)
                            for (int dx = 0; dx < 2; ++dx) sum += (prev[(2 * y + dy) * size + 2 * x + dx] >> c) & 0xff;
                        out |= ((sum + 2) / 4) << c;
                    }
                    next[static_cast<std::size_t>(y) * half + x] = out;
                }
            levels.push_back(std::move(next));
            size = half;
        }
        return levels;
    }

    // The wave grid for a given phase: interior points circle around their rest positions.
    void Wave(float phase, WaveVertex* out) const {
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) {
                const bool border = x == 0 || y == 0 || x == 9 || y == 9;
                const float dx = border ? 0 : 10 * std::sin(phase + x), dy = border ? 0 : 10 * std::cos(phase + y);
                out[y * 10 + x] = {x * kWidth / 9.0f + dx - 0.5f, y * kHeight / 9.0f + dy - 0.5f, 0.5f, 1.0f,
                                   x / 9.0f, y / 9.0f};
            }
    }

    static std::vector<WORD> WaveIndices() {
        std::vector<WORD> indices;
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x) {
                const WORD i = static_cast<WORD>(y * 10 + x);
                for (WORD k : {i, static_cast<WORD>(i + 1), static_cast<WORD>(i + 10), static_cast<WORD>(i + 10),
                               static_cast<WORD>(i + 1), static_cast<WORD>(i + 11)})
                    indices.push_back(k);
            }
        return indices;
    }
};

// ---- The frame through the Direct3D layer ----

class LayerFrame {
public:
    bool Create(const Scene& scene) {
        tarn::d3d9::SetBackend(tarn::d3d9::BackendKind::Gl);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d_) return false;
        device_ = tarn::d3d9::test::CreateTestDevice(d3d_, kWidth, kHeight, D3DFMT_D16,
                                                     D3DCREATE_PUREDEVICE | D3DCREATE_SOFTWARE_VERTEXPROCESSING);
        if (!device_) return false;
        IDirect3DDevice9* d = device_;
        void* p = nullptr;
        d->CreateVertexBuffer(static_cast<UINT>(scene.vertices.size() * sizeof(MeshVertex)), 0, 274, D3DPOOL_MANAGED,
                              &meshVb_, nullptr);
        meshVb_->Lock(0, 0, &p, 0);
        std::memcpy(p, scene.vertices.data(), scene.vertices.size() * sizeof(MeshVertex));
        meshVb_->Unlock();
        d->CreateIndexBuffer(static_cast<UINT>(scene.indices.size() * 2), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                             D3DPOOL_MANAGED, &meshIb_, nullptr);
        meshIb_->Lock(0, 0, &p, 0);
        std::memcpy(p, scene.indices.data(), scene.indices.size() * 2);
        meshIb_->Unlock();
        ground_ = MakeTexture(Scene::Chain(scene.ground, 256), 256);
        caustic_ = MakeTexture(Scene::Chain(scene.caustic, 64), 64);
        d->CreateTexture(kWidth, kHeight, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target_,
                         nullptr);
        target_->GetSurfaceLevel(0, &targetSurface_);
        d->CreateVertexBuffer(2400, 0, 0x104, D3DPOOL_MANAGED, &waveVb_, nullptr);
        d->CreateIndexBuffer(1200, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &waveIb_, nullptr);
        const auto waveIndices = Scene::WaveIndices();
        waveIb_->Lock(0, 0, &p, 0);
        std::memcpy(p, waveIndices.data(), waveIndices.size() * 2);
        waveIb_->Unlock();

        // Fixed states, as the demo sets them once.
        D3DLIGHT9 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1, 1, 1, 1};
        light.Direction = {0.3f, -1, 0.2f};
        d->SetLight(0, &light);
        d->LightEnable(0, TRUE);
        D3DMATERIAL9 material{};
        material.Diffuse = material.Ambient = {0.8f, 0.8f, 0.8f, 0.7f};
        d->SetMaterial(&material);
        d->SetRenderState(D3DRS_AMBIENT, 0xff404040);
        for (DWORD s = 0; s < 2; ++s) {
            d->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
            d->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
            d->SetSamplerState(s, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        }
        d->SetRenderState(D3DRS_FOGENABLE, TRUE);
        d->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
        d->SetRenderState(D3DRS_FOGCOLOR, 0x00004080);
        d->SetRenderState(D3DRS_FOGSTART, tarn::FloatBits(200.0f));
        d->SetRenderState(D3DRS_FOGEND, tarn::FloatBits(1000.0f));
        d->SetTransform(D3DTS_VIEW, &scene.view);
        d->SetTransform(D3DTS_PROJECTION, &scene.projection);
        return true;
    }

    IDirect3DTexture9* MakeTexture(const std::vector<std::vector<std::uint32_t>>& levels, UINT size) {
        IDirect3DTexture9* t = nullptr;
        device_->CreateTexture(size, size, static_cast<UINT>(levels.size()), 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t,
                               nullptr);
        for (UINT i = 0; i < levels.size(); ++i) {
            D3DLOCKED_RECT locked;
            t->LockRect(i, &locked, nullptr, 0);
            const UINT w = std::max(1u, size >> i);
            for (UINT y = 0; y < w; ++y)
                std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch, &levels[i][y * w], w * 4);
            t->UnlockRect(i);
        }
        return t;
    }

    void Frame(const Scene& scene, float phase) {
        IDirect3DDevice9* d = device_;
        // First pass into the render-target texture.
        IDirect3DSurface9* back = nullptr;
        d->GetRenderTarget(0, &back);
        d->SetRenderTarget(0, targetSurface_);
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00004080, 1.0f, 0);
        d->BeginScene();
        d->SetRenderState(D3DRS_LIGHTING, TRUE);
        d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
        d->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT4 | D3DTTFF_PROJECTED);
        d->SetTransform(D3DTS_TEXTURE1, &scene.textureMatrix);
        d->SetTexture(1, caustic_);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
        d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        d->SetStreamSource(0, meshVb_, 0, sizeof(MeshVertex));
        d->SetIndices(meshIb_);
        d->SetFVF(274);
        d->SetTexture(0, ground_);
        d->SetTransform(D3DTS_WORLD, &scene.world);
        d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(scene.vertices.size()), 0,
                                static_cast<UINT>(scene.indices.size() / 3));
        // End of the caustics stage.
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
        // The tint quad: additive.
        const TintVertex tint[4] = {{0, 0, 0.5f, 1, 0x4c00004c},
                                    {static_cast<float>(kWidth), 0, 0.5f, 1, 0x4c00004c},
                                    {0, static_cast<float>(kHeight), 0.5f, 1, 0x4c00004c},
                                    {static_cast<float>(kWidth), static_cast<float>(kHeight), 0.5f, 1, 0x4c00004c}};
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        d->SetTexture(0, nullptr);
        d->SetFVF(0x44);
        d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, tint, sizeof(TintVertex));
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        d->EndScene();
        // Second pass: the picture through the wave grid.
        d->SetRenderTarget(0, back);
        back->Release();
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00004080, 1.0f, 0);
        d->BeginScene();
        void* p = nullptr;
        waveVb_->Lock(0, 2400, &p, 0);
        scene.Wave(phase, static_cast<WaveVertex*>(p));
        waveVb_->Unlock();
        d->SetTexture(0, target_);
        d->SetStreamSource(0, waveVb_, 0, sizeof(WaveVertex));
        d->SetIndices(waveIb_);
        d->SetFVF(0x104);
        d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 100, 0, 162);
        d->EndScene();
        d->Present(nullptr, nullptr, nullptr, nullptr);
        tarn::d3d9::FinishGpuWork(d);
    }

    // GL state calls the layer has sent so far (its state shadow counts them).
    std::size_t StateCalls() const { return tarn::d3d9::GlStateCalls(device_); }

    // Writes the presented frame as a PNG (for checking that both frames show the same picture).
    void Save(const char* path) {
        IDirect3DSurface9* back = nullptr;
        IDirect3DSurface9* copy = nullptr;
        device_->GetRenderTarget(0, &back);
        device_->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr);
        device_->GetRenderTargetData(back, copy);
        D3DLOCKED_RECT locked;
        copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
        std::vector<std::uint8_t> rgba(kWidth * kHeight * 4);
        for (UINT y = 0; y < kHeight; ++y)
            for (UINT x = 0; x < kWidth; ++x) {
                const std::uint8_t* p = static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4;
                std::uint8_t* o = &rgba[(y * kWidth + x) * 4];
                o[0] = p[2], o[1] = p[1], o[2] = p[0], o[3] = 255;
            }
        copy->UnlockRect();
        tarn::platform::SavePng(path, kWidth, kHeight, rgba.data(), kWidth * 4);
        copy->Release();
        back->Release();
    }

    ~LayerFrame() {
        if (!device_) return;
        device_->SetTexture(0, nullptr);
        device_->SetTexture(1, nullptr);
        device_->SetStreamSource(0, nullptr, 0, 0);
        device_->SetIndices(nullptr);
        for (IUnknown* u : std::initializer_list<IUnknown*>{meshVb_, meshIb_, ground_, caustic_, targetSurface_,
                                                            target_, waveVb_, waveIb_})
            if (u) u->Release();
        if (tarn::d3d9::LiveResourceCount(device_)) std::fprintf(stderr, "layer frame leaked resources\n");
        device_->Release();
        d3d_->Release();
    }

private:
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    IDirect3DVertexBuffer9* meshVb_ = nullptr;
    IDirect3DIndexBuffer9* meshIb_ = nullptr;
    IDirect3DTexture9 *ground_ = nullptr, *caustic_ = nullptr, *target_ = nullptr;
    IDirect3DSurface9* targetSurface_ = nullptr;
    IDirect3DVertexBuffer9* waveVb_ = nullptr;
    IDirect3DIndexBuffer9* waveIb_ = nullptr;
};

// ---- The same frame in plain OpenGL ----

const char* kMeshVs = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 4) in vec2 aTex;
uniform mat4 uWorldView, uWorldViewProj, uTexMatrix;
uniform mat3 uNormalMatrix;
uniform vec3 uLightDir;
uniform vec4 uMaterial, uAmbient;
out vec4 vDiffuse;
out vec2 vTex0;
out vec4 vTex1;
out float vDepth;
void main() {
    vec4 clip = uWorldViewProj * vec4(aPosition, 1.0);
    clip.z = clip.z * 2.0 - clip.w;
    clip.y = -clip.y;
    clip.xy += clip.w * vec2(1.0 / 800.0, 1.0 / 600.0);
    gl_Position = clip;
    vec3 P = (uWorldView * vec4(aPosition, 1.0)).xyz;
    vec3 N = uNormalMatrix * aNormal;
    float NdotL = max(dot(N, -normalize(uLightDir)), 0.0);
    vDiffuse = vec4(clamp(uMaterial.rgb * uAmbient.rgb + uMaterial.rgb * NdotL, 0.0, 1.0), uMaterial.a);
    vTex0 = aTex;
    vTex1 = uTexMatrix * vec4(P, 1.0);
    vDepth = P.z;
}
)";
const char* kMeshFs = R"(#version 330 core
in vec4 vDiffuse;
in vec2 vTex0;
in vec4 vTex1;
in float vDepth;
uniform sampler2D uGround, uCaustic;
uniform vec3 uFogColor;
out vec4 fragColor;
void main() {
    vec4 t = texture(uGround, vTex0);
    vec4 c = vec4(t.rgb * vDiffuse.rgb, t.a);  // stage 0: colour modulated, alpha from the texture
    c.rgb *= texture(uCaustic, vTex1.xy / vTex1.w).rgb;
    float f = clamp((1000.0 - vDepth) / 800.0, 0.0, 1.0);
    c.rgb = mix(uFogColor, c.rgb, f);
    fragColor = c;
}
)";
const char* kScreenVs = R"(#version 330 core
layout(location = 0) in vec4 aPosition;
layout(location = 2) in vec4 aColor;
layout(location = 4) in vec2 aTex;
out vec4 vColor;
out vec2 vTex;
void main() {
    vec2 ndc = (aPosition.xy + 0.5) / vec2(800.0, 600.0) * 2.0 - 1.0;
    gl_Position = vec4(ndc, aPosition.z * 2.0 - 1.0, 1.0);
    vColor = aColor;
    vTex = aTex;
}
)";
const char* kTintFs = R"(#version 330 core
in vec4 vColor;
out vec4 fragColor;
void main() { fragColor = vColor; }
)";
const char* kWaveFs = R"(#version 330 core
in vec2 vTex;
uniform sampler2D uPicture;
out vec4 fragColor;
void main() { fragColor = texture(uPicture, vTex); }
)";

GLuint Program(const char* vs, const char* fs) {
    auto compile = [](GLenum type, const char* source) {
        GLuint s = glCreateShader(type);
        glShaderSource(s, 1, &source, nullptr);
        glCompileShader(s);
        return s;
    };
    GLuint p = glCreateProgram();
    GLuint v = compile(GL_VERTEX_SHADER, vs), f = compile(GL_FRAGMENT_SHADER, fs);
    glAttachShader(p, v);
    glAttachShader(p, f);
    glLinkProgram(p);
    glDeleteShader(v);
    glDeleteShader(f);
    return p;
}

class PlainFrame {
public:
    bool Create(const Scene& scene) {
        std::string error;
        context_ = tarn::d3d9::GlContext::Create(nullptr, &error);
        if (!context_) return false;
        glGenVertexArrays(1, &vao_);
        glBindVertexArray(vao_);
        glGenBuffers(1, &meshVb_);
        glBindBuffer(GL_ARRAY_BUFFER, meshVb_);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(scene.vertices.size() * sizeof(MeshVertex)),
                     scene.vertices.data(), GL_STATIC_DRAW);
        glGenBuffers(1, &meshIb_);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, meshIb_);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(scene.indices.size() * 2),
                     scene.indices.data(), GL_STATIC_DRAW);
        glGenBuffers(1, &waveVb_);
        glGenBuffers(1, &waveIb_);
        glGenBuffers(1, &tintVb_);
        const auto waveIndices = Scene::WaveIndices();
        glGenVertexArrays(1, &waveVao_);
        glBindVertexArray(waveVao_);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, waveIb_);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(waveIndices.size() * 2), waveIndices.data(),
                     GL_STATIC_DRAW);
        glBindBuffer(GL_ARRAY_BUFFER, waveVb_);
        glBufferData(GL_ARRAY_BUFFER, 2400, nullptr, GL_DYNAMIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(WaveVertex), nullptr);
        glEnableVertexAttribArray(4);
        glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, sizeof(WaveVertex), reinterpret_cast<void*>(16));
        glGenVertexArrays(1, &tintVao_);
        glBindVertexArray(tintVao_);
        glBindBuffer(GL_ARRAY_BUFFER, tintVb_);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(TintVertex), nullptr);
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(TintVertex), reinterpret_cast<void*>(16));
        glBindVertexArray(vao_);
        glBindBuffer(GL_ARRAY_BUFFER, meshVb_);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(MeshVertex), nullptr);
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(MeshVertex), reinterpret_cast<void*>(12));
        glEnableVertexAttribArray(4);
        glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, sizeof(MeshVertex), reinterpret_cast<void*>(24));

        ground_ = Texture(Scene::Chain(scene.ground, 256), 256);
        caustic_ = Texture(Scene::Chain(scene.caustic, 64), 64);
        glGenTextures(1, &picture_);
        glBindTexture(GL_TEXTURE_2D, picture_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kWidth, kHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        // Sampled like the layer's stage 0 (linear, no mip maps on a one-level target).
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glGenTextures(1, &backColor_);
        glBindTexture(GL_TEXTURE_2D, backColor_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kWidth, kHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glGenRenderbuffers(1, &depth_);
        glBindRenderbuffer(GL_RENDERBUFFER, depth_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, kWidth, kHeight);  // the demo asks for D16
        glGenFramebuffers(1, &pictureFbo_);
        glBindFramebuffer(GL_FRAMEBUFFER, pictureFbo_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, picture_, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
        glGenFramebuffers(1, &backFbo_);
        glBindFramebuffer(GL_FRAMEBUFFER, backFbo_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, backColor_, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);

        mesh_ = Program(kMeshVs, kMeshFs);
        tint_ = Program(kScreenVs, kTintFs);
        wave_ = Program(kScreenVs, kWaveFs);
        glUseProgram(mesh_);
        Matrix wv = Multiply(scene.world, scene.view), wvp = Multiply(wv, scene.projection);
        glUniformMatrix4fv(glGetUniformLocation(mesh_, "uWorldView"), 1, GL_FALSE, &wv.m[0][0]);
        glUniformMatrix4fv(glGetUniformLocation(mesh_, "uWorldViewProj"), 1, GL_FALSE, &wvp.m[0][0]);
        glUniformMatrix4fv(glGetUniformLocation(mesh_, "uTexMatrix"), 1, GL_FALSE, &scene.textureMatrix.m[0][0]);
        const float normal[9] = {wv._11, wv._12, wv._13, wv._21, wv._22, wv._23, wv._31, wv._32, wv._33};
        glUniformMatrix3fv(glGetUniformLocation(mesh_, "uNormalMatrix"), 1, GL_FALSE, normal);
        const float lx = 0.3f * wv._11 - wv._21 + 0.2f * wv._31, ly = 0.3f * wv._12 - wv._22 + 0.2f * wv._32,
                    lz = 0.3f * wv._13 - wv._23 + 0.2f * wv._33;
        glUniform3f(glGetUniformLocation(mesh_, "uLightDir"), lx, ly, lz);
        glUniform4f(glGetUniformLocation(mesh_, "uMaterial"), 0.8f, 0.8f, 0.8f, 0.7f);
        glUniform4f(glGetUniformLocation(mesh_, "uAmbient"), 0.25f, 0.25f, 0.25f, 1.0f);
        glUniform3f(glGetUniformLocation(mesh_, "uFogColor"), 0.0f, 64 / 255.0f, 128 / 255.0f);
        glUniform1i(glGetUniformLocation(mesh_, "uGround"), 0);
        glUniform1i(glGetUniformLocation(mesh_, "uCaustic"), 1);
        glUseProgram(wave_);
        glUniform1i(glGetUniformLocation(wave_, "uPicture"), 0);
        glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
        return true;
    }

    static GLuint Texture(const std::vector<std::vector<std::uint32_t>>& levels, int size) {
        GLuint t = 0;
        glGenTextures(1, &t);
        glBindTexture(GL_TEXTURE_2D, t);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels.size() - 1));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        for (std::size_t i = 0; i < levels.size(); ++i) {
            const int w = std::max(1, size >> i);
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), GL_RGBA8, w, w, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                         levels[i].data());
        }
        return t;
    }

    void Frame(const Scene& scene, float phase) {
        context_->MakeCurrent();
        glBindFramebuffer(GL_FRAMEBUFFER, pictureFbo_);
        glViewport(0, 0, kWidth, kHeight);
        glClearColor(0, 64 / 255.0f, 128 / 255.0f, 0);
        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glUseProgram(mesh_);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, caustic_);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, ground_);
        glBindVertexArray(vao_);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(scene.indices.size()), GL_UNSIGNED_SHORT, nullptr);
        // Additive tint.
        const TintVertex tint[4] = {{0, 0, 0.5f, 1, 0x4c00004c},
                                    {static_cast<float>(kWidth), 0, 0.5f, 1, 0x4c00004c},
                                    {0, static_cast<float>(kHeight), 0.5f, 1, 0x4c00004c},
                                    {static_cast<float>(kWidth), static_cast<float>(kHeight), 0.5f, 1, 0x4c00004c}};
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glUseProgram(tint_);
        glBindVertexArray(tintVao_);
        glBindBuffer(GL_ARRAY_BUFFER, tintVb_);
        glBufferData(GL_ARRAY_BUFFER, sizeof tint, tint, GL_STREAM_DRAW);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glDisable(GL_BLEND);
        // Second pass.
        glBindFramebuffer(GL_FRAMEBUFFER, backFbo_);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        WaveVertex wave[100];
        scene.Wave(phase, wave);
        glBindVertexArray(waveVao_);
        glBindBuffer(GL_ARRAY_BUFFER, waveVb_);
        glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof wave, wave);
        glUseProgram(wave_);
        glBindTexture(GL_TEXTURE_2D, picture_);
        glDrawElements(GL_TRIANGLES, 486, GL_UNSIGNED_SHORT, nullptr);
        glFlush();
        glFinish();
    }

    void Save(const char* path) {
        context_->MakeCurrent();
        std::vector<std::uint8_t> rgba(kWidth * kHeight * 4);
        glBindFramebuffer(GL_FRAMEBUFFER, backFbo_);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        for (std::size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
        tarn::platform::SavePng(path, kWidth, kHeight, rgba.data(), kWidth * 4);
    }

    ~PlainFrame() {
        if (!context_) return;
        context_->MakeCurrent();
        const GLuint textures[] = {ground_, caustic_, picture_, backColor_};
        glDeleteTextures(4, textures);
        const GLuint buffers[] = {meshVb_, meshIb_, waveVb_, waveIb_, tintVb_};
        glDeleteBuffers(5, buffers);
        const GLuint arrays[] = {vao_, waveVao_, tintVao_};
        glDeleteVertexArrays(3, arrays);
        const GLuint fbos[] = {pictureFbo_, backFbo_};
        glDeleteFramebuffers(2, fbos);
        glDeleteRenderbuffers(1, &depth_);
        glDeleteProgram(mesh_);
        glDeleteProgram(tint_);
        glDeleteProgram(wave_);
    }

private:
    std::unique_ptr<tarn::d3d9::GlContext> context_;
    GLuint vao_ = 0, waveVao_ = 0, tintVao_ = 0, meshVb_ = 0, meshIb_ = 0, waveVb_ = 0, waveIb_ = 0, tintVb_ = 0;
    GLuint ground_ = 0, caustic_ = 0, picture_ = 0, backColor_ = 0, depth_ = 0, pictureFbo_ = 0, backFbo_ = 0;
    GLuint mesh_ = 0, tint_ = 0, wave_ = 0;
};

const Scene& SharedScene() {
    static Scene scene;
    return scene;
}

void BM_PlainOpenGLFrame(benchmark::State& state) {
    PlainFrame frame;
    if (!frame.Create(SharedScene())) {
        state.SkipWithError("no OpenGL context");
        return;
    }
    float phase = 0;
    frame.Frame(SharedScene(), phase);  // warm up: shader compilation, first uploads
    for (auto _ : state) frame.Frame(SharedScene(), phase += 0.1f);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    if (const char* dir = std::getenv("TARN_BENCH_FRAMES")) frame.Save((std::string(dir) + "/plain.png").c_str());
}
BENCHMARK(BM_PlainOpenGLFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_LayerFrame(benchmark::State& state) {
    LayerFrame frame;
    if (!frame.Create(SharedScene())) {
        state.SkipWithError("no Direct3D device");
        return;
    }
    float phase = 0;
    frame.Frame(SharedScene(), phase);
    const std::size_t calls = frame.StateCalls();
    for (auto _ : state) frame.Frame(SharedScene(), phase += 0.1f);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["gl_state_calls"] =
        static_cast<double>(frame.StateCalls() - calls) / static_cast<double>(state.iterations());
    if (const char* dir = std::getenv("TARN_BENCH_FRAMES")) frame.Save((std::string(dir) + "/layer.png").c_str());
}
BENCHMARK(BM_LayerFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// Both frames alternately in one loop, so that a busy machine slows both alike; reports each frame's mean time
// and their ratio (layer / plain).
void BM_LayerAgainstPlain(benchmark::State& state) {
    PlainFrame plain;
    LayerFrame layer;
    if (!plain.Create(SharedScene()) || !layer.Create(SharedScene())) {
        state.SkipWithError("no OpenGL context");
        return;
    }
    float phase = 0;
    plain.Frame(SharedScene(), phase);
    layer.Frame(SharedScene(), phase);
    double plainSeconds = 0, layerSeconds = 0;
    for (auto _ : state) {
        phase += 0.1f;
        auto t0 = std::chrono::steady_clock::now();
        plain.Frame(SharedScene(), phase);
        auto t1 = std::chrono::steady_clock::now();
        layer.Frame(SharedScene(), phase);
        auto t2 = std::chrono::steady_clock::now();
        plainSeconds += std::chrono::duration<double>(t1 - t0).count();
        layerSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["plain_ms"] = plainSeconds / n * 1e3;
    state.counters["layer_ms"] = layerSeconds / n * 1e3;
    state.counters["ratio"] = layerSeconds / plainSeconds;
}
BENCHMARK(BM_LayerAgainstPlain)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

}  // namespace
