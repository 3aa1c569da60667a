// Images of the GL backend. Every image is stored top row first, as Direct3D memory is (row 0 is GL row 0);
// formats GL cannot take as they are go through the pixel codec on upload.
#include "GlTextures.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <vector>

#include "platform/Bits.h"

namespace tarn::d3d9 {
namespace {

std::size_t FnvSamplerHash(const SamplerKey& key) { return static_cast<std::size_t>(FnvHash(key.fields)); }

std::atomic<SamplerHashFn> samplerHash{FnvSamplerHash};

}  // namespace

SamplerHashFn SetSamplerHash(SamplerHashFn hash) { return samplerHash.exchange(hash ? hash : FnvSamplerHash); }

// The hash is taken once per backend, so that a map never sees two hash functions.
GlTextures::GlTextures(GlState& gl, const Device& device)
    : gl_(gl), device_(device), samplers_(0, SamplerKeyHash{samplerHash.load()}) {}

GlTextures::~GlTextures() {
    for (auto& [resource, name] : textures_) glDeleteTextures(1, &name);
    for (auto& [resource, name] : renderbuffers_) glDeleteRenderbuffers(1, &name);
    for (auto& [key, sampler] : samplers_) glDeleteSamplers(1, &sampler);
}

GLuint GlTextures::NameOf(const ResourceCore* resource) const {
    auto it = textures_.find(resource);
    if (it != textures_.end()) return it->second;
    auto rb = renderbuffers_.find(resource);
    return rb != renderbuffers_.end() ? rb->second : 0;
}

GLuint GlTextures::Forget(const ResourceCore* resource) {
    if (auto it = textures_.find(resource); it != textures_.end()) {
        const GLuint name = it->second;
        glDeleteTextures(1, &name);
        gl_.TextureDeleted(name);
        textures_.erase(it);
        return name;
    }
    if (auto it = renderbuffers_.find(resource); it != renderbuffers_.end()) {
        const GLuint name = it->second;
        glDeleteRenderbuffers(1, &name);
        renderbuffers_.erase(it);
        return name;
    }
    return 0;
}

GLuint GlTextures::SurfaceTexture(Surface* s, GLint* level) {
    *level = 0;
    if (Texture* t = s->container()) {
        EnsureTexture(t);
        *level = static_cast<GLint>(s->level());
        return textures_[t];
    }
    assert(!s->isDepth());
    GLuint& name = textures_[s];
    if (!name) {
        const GlFormat f = RenderTargetFormat(s->format());
        glGenTextures(1, &name);
        gl_.BindTextureForUpdate(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle.data());
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(f.internal), static_cast<GLsizei>(s->width()),
                     static_cast<GLsizei>(s->height()), 0, f.format, f.type, nullptr);
        if (s->fresh == Fresh::MemoryNewer) UploadSurface(name, 0, s, f);
    } else if (s->fresh == Fresh::MemoryNewer) {
        UploadSurface(name, 0, s, RenderTargetFormat(s->format()));
    }
    return name;
}

GLuint GlTextures::DepthRenderbuffer(Surface* s) {
    assert(s->isDepth());
    GLuint& name = renderbuffers_[s];
    if (!name) {
        glGenRenderbuffers(1, &name);
        glBindRenderbuffer(GL_RENDERBUFFER, name);
        glRenderbufferStorage(GL_RENDERBUFFER, DepthInternalFormat(s->format()), static_cast<GLsizei>(s->width()),
                              static_cast<GLsizei>(s->height()));
    }
    return name;
}

// Uploads one whole level from memory.
void GlTextures::UploadSurface(GLuint texture, GLint level, Surface* s, const GlFormat& f) {
    ++levelsUploaded_;
    gl_.BindTextureForUpdate(GL_TEXTURE_2D, texture);
    const GLsizei w = static_cast<GLsizei>(s->width()), h = static_cast<GLsizei>(s->height());
    gl_.PixelStore(GL_UNPACK_ALIGNMENT, 4);
    gl_.PixelStore(GL_UNPACK_ROW_LENGTH, 0);
    if (f.compressed) {
        const GLsizei bytes = static_cast<GLsizei>(LevelBytes(s->layout(), s->width(), s->height()));
        glCompressedTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, f.internal, bytes, s->bits());
    } else if (f.convert == Convert::None) {
        glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, f.format, f.type, s->bits());
    } else {
        const PALETTEENTRY* palette = device_.state().palette.data();
        const std::size_t rowFloats = static_cast<std::size_t>(w) * 4;
        std::vector<float> pixels(rowFloats * static_cast<std::size_t>(h));
        for (GLsizei y = 0; y < h; ++y) {
            DecodeRow(s->format(), s->bits() + static_cast<std::size_t>(y) * s->pitch(), s->width(),
                      &pixels[static_cast<std::size_t>(y) * rowFloats], palette);
        }
        if (f.convert == Convert::ToRgba8) {
            std::vector<std::uint8_t> bytes(pixels.size());
            for (std::size_t i = 0; i < pixels.size(); ++i) {
                bytes[i] = static_cast<std::uint8_t>(std::clamp(pixels[i], 0.0f, 1.0f) * 255.0f + 0.5f);
            }
            glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
        } else {
            glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, GL_RGBA, GL_FLOAT, pixels.data());
        }
    }
    s->fresh = Fresh::Both;
}

void GlTextures::EnsureTexture(Texture* t) {
    const bool renderTarget = t->isRenderTarget();
    const GlFormat f = renderTarget ? RenderTargetFormat(t->format()) : TextureFormat(t->format());
    GLuint& name = textures_[t];
    if (!name) {
        glGenTextures(1, &name);
        gl_.BindTextureForUpdate(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(t->levelCount() - 1));
        glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle.data());
        for (UINT i = 0; i < t->levelCount(); ++i) {
            Surface* s = t->level(i);
            const GLsizei w = static_cast<GLsizei>(s->width()), h = static_cast<GLsizei>(s->height());
            if (f.compressed) {
                const GLsizei bytes = static_cast<GLsizei>(LevelBytes(s->layout(), s->width(), s->height()));
                glCompressedTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), f.internal, w, h, 0, bytes, s->bits());
                ++levelsUploaded_;
                s->fresh = Fresh::Both;
            } else {
                const GLenum format = f.convert == Convert::None ? f.format : GL_RGBA;
                const GLenum type = f.convert == Convert::ToRgba32F ? GL_FLOAT
                                    : f.convert == Convert::ToRgba8 ? GL_UNSIGNED_BYTE
                                                                    : f.type;
                glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), static_cast<GLint>(f.internal), w, h, 0, format,
                             type, nullptr);
                if (!renderTarget) s->fresh = Fresh::MemoryNewer;
            }
        }
        t->uploadPending = !renderTarget;
    }
    if (t->uploadPending) {
        for (UINT i = 0; i < t->levelCount(); ++i) {
            Surface* s = t->level(i);
            if (s->fresh == Fresh::MemoryNewer) UploadSurface(name, static_cast<GLint>(i), s, f);
        }
        t->uploadPending = false;
    }
}

GLuint GlTextures::SamplerFor(const std::array<DWORD, D3DSAMP_MAX_VALUE>& s, bool mipmapped) {
    // A render-target texture has one level, so its minification filter must not ask for mip maps.
    const DWORD mip = mipmapped ? s[D3DSAMP_MIPFILTER] : static_cast<DWORD>(D3DTEXF_NONE);
    const SamplerKey k{{s[D3DSAMP_ADDRESSU], s[D3DSAMP_ADDRESSV], s[D3DSAMP_MAGFILTER], s[D3DSAMP_MINFILTER], mip,
                        s[D3DSAMP_MAXMIPLEVEL], s[D3DSAMP_BORDERCOLOR], s[D3DSAMP_MIPMAPLODBIAS]}};
    auto it = samplers_.find(k);
    if (it != samplers_.end()) return it->second;
    GLuint name = 0;
    glGenSamplers(1, &name);
    glSamplerParameteri(name, GL_TEXTURE_WRAP_S, static_cast<GLint>(AddressMode(s[D3DSAMP_ADDRESSU])));
    glSamplerParameteri(name, GL_TEXTURE_WRAP_T, static_cast<GLint>(AddressMode(s[D3DSAMP_ADDRESSV])));
    glSamplerParameteri(name, GL_TEXTURE_MAG_FILTER, s[D3DSAMP_MAGFILTER] == D3DTEXF_POINT ? GL_NEAREST : GL_LINEAR);
    const bool linear = s[D3DSAMP_MINFILTER] != D3DTEXF_POINT && s[D3DSAMP_MINFILTER] != D3DTEXF_NONE;
    GLint min = linear ? GL_LINEAR : GL_NEAREST;
    if (mip == D3DTEXF_POINT) min = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    if (mip == D3DTEXF_LINEAR || mip == D3DTEXF_ANISOTROPIC)
        min = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    glSamplerParameteri(name, GL_TEXTURE_MIN_FILTER, min);
    float border[4];
    ColorToFloats(s[D3DSAMP_BORDERCOLOR], border);
    glSamplerParameterfv(name, GL_TEXTURE_BORDER_COLOR, border);
    glSamplerParameterf(name, GL_TEXTURE_MIN_LOD, static_cast<float>(s[D3DSAMP_MAXMIPLEVEL]));
    glSamplerParameterf(name, GL_TEXTURE_LOD_BIAS, AsFloat(s[D3DSAMP_MIPMAPLODBIAS]));
    samplers_.emplace(k, name);
    return name;
}

void GlTextures::Bind(const DeviceState& st, const ProgramKey& key) {
    const int stages = ActiveStages(key);
    assert(stages <= GlState::kUnits);
    // Uploads first: they bind on the active unit, and must not undo a binding made below.
    for (int s = 0; s < stages; ++s) {
        Texture* t = st.textures[static_cast<std::size_t>(s)];
        if (t && StageSamples(key, s) && (t->uploadPending || !textures_.count(t))) EnsureTexture(t);
    }
    for (int s = 0; s < stages; ++s) {
        if (!StageSamples(key, s)) continue;
        Texture* t = st.textures[static_cast<std::size_t>(s)];
        if (!t) continue;
        const GLuint texture = st.renderTarget->container() == t ? 0 : textures_[t];
        gl_.BindTexture(s, GL_TEXTURE_2D, texture);
        gl_.BindSampler(s, SamplerFor(st.samp[static_cast<std::size_t>(s)], t->levelCount() > 1));
    }
}

}  // namespace tarn::d3d9
