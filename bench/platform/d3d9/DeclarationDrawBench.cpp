// 10,000 small draws, each after a state change (its own world matrix), through a vertex declaration over two
// streams (positions in stream 0, colours in stream 1), drawn through the Direct3D layer and the same in plain
// OpenGL 3.3, alternately in one loop (each first every other time), headless on llvmpipe, each frame ended by
// glFinish. Target: the layer at most 1.2 x the plain one (median frame against median frame; the means are given
// too). TARN_BENCH_FRAMES=DIR saves both last frames (DIR/draws-plain.png, draws-layer.png).
#include <benchmark/benchmark.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Runner.h"
#include "platform/d3d9/Backend.h"
#include "platform/d3d9/D3D9.h"
#include "tests/platform/d3d9/D3D9TestDevice.h"
#include "GlContext.h"

namespace {

constexpr UINT kSize = 256;
constexpr int kDraws = 10000;
constexpr int kColumns = 100;  // the draws' quads on a 100 x 100 grid

// A quad 0.02 wide at the origin, and its corner colours.
constexpr float kQuad[4][3] = {
    {-0.01f, -0.01f, 0.5f}, {0.01f, -0.01f, 0.5f}, {-0.01f, 0.01f, 0.5f}, {0.01f, 0.01f, 0.5f}};
constexpr D3DCOLOR kColours[4] = {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff};

// The world matrix of draw i: a translation to its grid cell.
D3DMATRIX World(int i) {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    m._41 = -0.99f + 0.02f * static_cast<float>(i % kColumns);
    m._42 = -0.99f + 0.02f * static_cast<float>(i / kColumns);
    return m;
}

std::vector<std::uint8_t> Rgba(const std::uint8_t* bgra, std::size_t pitch) {
    std::vector<std::uint8_t> rgba(kSize * kSize * 4);
    for (UINT y = 0; y < kSize; ++y)
        for (UINT x = 0; x < kSize; ++x) {
            const std::uint8_t* p = bgra + y * pitch + x * 4;
            std::uint8_t* o = &rgba[(y * kSize + x) * 4];
            o[0] = p[2], o[1] = p[1], o[2] = p[0], o[3] = 255;
        }
    return rgba;
}

class LayerDraws {
public:
    bool Create() {
        tarn::d3d9::SetBackend(tarn::d3d9::BackendKind::Gl);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d_) return false;
        device_ = tarn::d3d9::test::CreateTestDevice(d3d_, kSize, kSize, D3DFMT_UNKNOWN,
                                                     D3DCREATE_PUREDEVICE | D3DCREATE_HARDWARE_VERTEXPROCESSING);
        if (!device_) return false;
        const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                              {1, 0, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                              D3DDECL_END()};
        if (FAILED(device_->CreateVertexDeclaration(elements, &declaration_))) return false;
        positions_ = Buffer(kQuad, sizeof kQuad);
        colours_ = Buffer(kColours, sizeof kColours);
        if (!positions_ || !colours_) return false;
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        device_->SetVertexDeclaration(declaration_);
        device_->SetStreamSource(0, positions_, 0, 12);
        device_->SetStreamSource(1, colours_, 0, 4);
        return true;
    }

    IDirect3DVertexBuffer9* Buffer(const void* data, UINT bytes) {
        IDirect3DVertexBuffer9* vb = nullptr;
        if (FAILED(device_->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb, nullptr))) {
            return nullptr;
        }
        void* p = nullptr;
        vb->Lock(0, 0, &p, 0);
        std::memcpy(p, data, bytes);
        vb->Unlock();
        return vb;
    }

    void Frame() {
        IDirect3DDevice9* d = device_;
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff202020, 1.0f, 0);
        d->BeginScene();
        for (int i = 0; i < kDraws; ++i) {
            const D3DMATRIX world = World(i);
            d->SetTransform(D3DTS_WORLD, &world);
            d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        }
        d->EndScene();
        tarn::d3d9::FinishGpuWork(d);
    }

    void Save(const char* path) {
        IDirect3DSurface9 *back = nullptr, *copy = nullptr;
        device_->GetRenderTarget(0, &back);
        device_->CreateOffscreenPlainSurface(kSize, kSize, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr);
        device_->GetRenderTargetData(back, copy);
        D3DLOCKED_RECT locked;
        copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
        const auto rgba = Rgba(static_cast<const std::uint8_t*>(locked.pBits), static_cast<std::size_t>(locked.Pitch));
        copy->UnlockRect();
        tarn::platform::SavePng(path, kSize, kSize, rgba.data(), kSize * 4);
        copy->Release();
        back->Release();
    }

    ~LayerDraws() {
        if (!device_) {
            if (d3d_) d3d_->Release();
            return;
        }
        device_->SetStreamSource(0, nullptr, 0, 0);
        device_->SetStreamSource(1, nullptr, 0, 0);
        device_->SetVertexDeclaration(nullptr);
        for (IUnknown* u : std::initializer_list<IUnknown*>{declaration_, positions_, colours_})
            if (u) u->Release();
        device_->Release();
        d3d_->Release();
    }

private:
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    IDirect3DVertexDeclaration9* declaration_ = nullptr;
    IDirect3DVertexBuffer9 *positions_ = nullptr, *colours_ = nullptr;
};

// The same draws written directly: one program, one vertex array over the two buffers, one uniform per draw.
const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec4 aPosition;
layout(location = 2) in vec4 aColour;
uniform mat4 uWorld;
out vec4 vColour;
void main() {
    vec4 clip = uWorld * vec4(aPosition.xyz, 1.0);
    clip.z = clip.z * 2.0 - clip.w;
    clip.y = -clip.y;
    clip.xy += clip.w * vec2(1.0 / 256.0);
    gl_Position = clip;
    vColour = aColour;
}
)";
const char* kFragmentShader = R"(#version 330 core
in vec4 vColour;
out vec4 fragColor;
void main() { fragColor = vColour; }
)";

class PlainDraws {
public:
    bool Create() {
        std::string error;
        context_ = tarn::d3d9::GlContext::Create(nullptr, &error);
        if (!context_) return false;
        glGenVertexArrays(1, &vao_);
        glBindVertexArray(vao_);
        glGenBuffers(2, buffers_);
        glBindBuffer(GL_ARRAY_BUFFER, buffers_[0]);
        glBufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
        glBindBuffer(GL_ARRAY_BUFFER, buffers_[1]);
        glBufferData(GL_ARRAY_BUFFER, sizeof kColours, kColours, GL_STATIC_DRAW);
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4, nullptr);
        glGenTextures(1, &colour_);
        glBindTexture(GL_TEXTURE_2D, colour_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kSize, kSize, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glGenFramebuffers(1, &fbo_);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_, 0);
        auto compile = [](GLenum type, const char* source) {
            GLuint s = glCreateShader(type);
            glShaderSource(s, 1, &source, nullptr);
            glCompileShader(s);
            return s;
        };
        program_ = glCreateProgram();
        const GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader), fs = compile(GL_FRAGMENT_SHADER, kFragmentShader);
        glAttachShader(program_, vs);
        glAttachShader(program_, fs);
        glLinkProgram(program_);
        glDeleteShader(vs);
        glDeleteShader(fs);
        glUseProgram(program_);
        world_ = glGetUniformLocation(program_, "uWorld");
        glViewport(0, 0, kSize, kSize);
        return true;
    }

    void Frame() {
        context_->MakeCurrent();
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        glClearColor(0x20 / 255.0f, 0x20 / 255.0f, 0x20 / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glUseProgram(program_);
        glBindVertexArray(vao_);
        for (int i = 0; i < kDraws; ++i) {
            const D3DMATRIX world = World(i);
            glUniformMatrix4fv(world_, 1, GL_FALSE, &world.m[0][0]);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        glFinish();
    }

    void Save(const char* path) {
        context_->MakeCurrent();
        std::vector<std::uint8_t> bgra(kSize * kSize * 4);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kSize, kSize, GL_BGRA, GL_UNSIGNED_BYTE, bgra.data());
        const auto rgba = Rgba(bgra.data(), kSize * 4);
        tarn::platform::SavePng(path, kSize, kSize, rgba.data(), kSize * 4);
    }

    ~PlainDraws() {
        if (!context_) return;
        context_->MakeCurrent();
        glDeleteProgram(program_);
        glDeleteFramebuffers(1, &fbo_);
        glDeleteTextures(1, &colour_);
        glDeleteBuffers(2, buffers_);
        glDeleteVertexArrays(1, &vao_);
    }

private:
    std::unique_ptr<tarn::d3d9::GlContext> context_;
    GLuint vao_ = 0, buffers_[2] = {}, colour_ = 0, fbo_ = 0, program_ = 0;
    GLint world_ = -1;
};

void BM_DeclarationDrawsAgainstPlain(benchmark::State& state) {
    PlainDraws plain;
    LayerDraws layer;
    if (!plain.Create() || !layer.Create()) {
        state.SkipWithError("no OpenGL context or Direct3D device");
        return;
    }
    plain.Frame();  // warm up: programs, first uploads
    layer.Frame();
    std::vector<double> plainFrames, layerFrames;
    auto timed = [](auto& frames) {
        const auto start = std::chrono::steady_clock::now();
        frames.Frame();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    // Each goes first every other time, so that neither always pays for the switch of context.
    bool plainFirst = true;
    for (auto _ : state) {
        if (plainFirst) {
            plainFrames.push_back(timed(plain));
            layerFrames.push_back(timed(layer));
        } else {
            layerFrames.push_back(timed(layer));
            plainFrames.push_back(timed(plain));
        }
        plainFirst = !plainFirst;
    }
    // Means, and medians: a frame the machine interrupts (the rasteriser's threads share two cores with
    // everything else) moves a mean by far more than the layer's own cost, and a median not at all.
    auto mean = [](const std::vector<double>& v) {
        double sum = 0;
        for (double x : v) sum += x;
        return v.empty() ? 0.0 : sum / static_cast<double>(v.size());
    };
    auto median = [](std::vector<double> v) {
        if (v.empty()) return 0.0;
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    state.counters["plain_ms"] = mean(plainFrames) * 1e3;
    state.counters["layer_ms"] = mean(layerFrames) * 1e3;
    state.counters["ratio"] = mean(layerFrames) / mean(plainFrames);
    state.counters["median_ratio"] = median(layerFrames) / median(plainFrames);
    if (const char* dir = std::getenv("TARN_BENCH_FRAMES")) {
        plain.Save((std::string(dir) + "/draws-plain.png").c_str());
        layer.Save((std::string(dir) + "/draws-layer.png").c_str());
    }
}
BENCHMARK(BM_DeclarationDrawsAgainstPlain)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

}  // namespace
