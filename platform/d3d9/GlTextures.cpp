// Images of the GL backend. Every image is stored top row first, as Direct3D memory is (row 0 is GL row 0);
// formats GL cannot take as they are go through the pixel codec on upload.
#include "GlTextures.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstring>
#include <vector>

#include "platform/Bits.h"
#include "Renderer.h"
#include "ResourceObjects.h"

namespace tarn::d3d9 {
namespace {

std::size_t FnvSamplerHash(const SamplerKey& key) { return static_cast<std::size_t>(FnvHash(key.fields)); }

std::atomic<SamplerHashFn> samplerHash{FnvSamplerHash};

}  // namespace

SamplerHashFn SetSamplerHash(SamplerHashFn hash) { return samplerHash.exchange(hash ? hash : FnvSamplerHash); }

// The hash is taken once per backend, so that a map never sees two hash functions.
GlTextures::GlTextures(GlState& gl, const DeviceState& state)
    : gl_(gl), state_(state), samplers_(0, SamplerKeyHash{samplerHash.load()}) {
    glGenFramebuffers(1, &resolveRead_);
    glGenFramebuffers(1, &resolveDraw_);
}

GlTextures::~GlTextures() {
    for (auto& [resource, name] : textures_) glDeleteTextures(1, &name);
    for (auto& [resource, name] : renderbuffers_) glDeleteRenderbuffers(1, &name);
    for (auto& [resource, name] : colorRenderbuffers_) glDeleteRenderbuffers(1, &name);
    gl_.FramebufferDeleted(resolveRead_);
    gl_.FramebufferDeleted(resolveDraw_);
    glDeleteFramebuffers(1, &resolveRead_);
    glDeleteFramebuffers(1, &resolveDraw_);
    for (auto& [key, sampler] : samplers_) glDeleteSamplers(1, &sampler);
}

GLuint GlTextures::NameOf(const ResourceCore* resource) const {
    auto it = textures_.find(resource);
    if (it != textures_.end()) return it->second;
    auto rb = renderbuffers_.find(resource);
    return rb != renderbuffers_.end() ? rb->second : 0;
}

GLuint GlTextures::Forget(const ResourceCore* resource) {
    baseLevels_.erase(resource);
    if (auto it = colorRenderbuffers_.find(resource); it != colorRenderbuffers_.end()) {
        glDeleteRenderbuffers(1, &it->second);
        colorRenderbuffers_.erase(it);
    }
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

GLuint GlTextures::SurfaceTexture(Surface* s, GLint* level, GLenum* image) {
    *level = 0;
    *image = GL_TEXTURE_2D;
    if (Texture* t = s->container()) {
        EnsureTexture(t);
        *level = static_cast<GLint>(s->level());
        return textures_[t];
    }
    if (CubeTexture* c = s->cube()) {
        EnsureCube(c);
        *level = static_cast<GLint>(s->level());
        *image = GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(s->face());
        return textures_[c];
    }
    assert(!s->isDepth());
    GLuint& name = textures_[s];
    if (!name) {
        const GlFormat f = RenderTargetFormat(s->format());
        name = MakeTexture(GL_TEXTURE_2D, 1, f);
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(f.internal), static_cast<GLsizei>(s->width()),
                     static_cast<GLsizei>(s->height()), 0, f.format, f.type, nullptr);
        if (s->fresh == Fresh::MemoryNewer) UploadSurface(GL_TEXTURE_2D, GL_TEXTURE_2D, name, 0, s, f);
    } else if (s->fresh == Fresh::MemoryNewer) {
        UploadSurface(GL_TEXTURE_2D, GL_TEXTURE_2D, name, 0, s, RenderTargetFormat(s->format()));
    }
    if (s->samples() > 1) {
        // Resolve: every pixel becomes the average of its samples.
        const GLuint samples = ColorRenderbuffer(s);
        gl_.BindFramebuffer(GL_READ_FRAMEBUFFER, resolveRead_);
        glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, samples);
        gl_.BindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveDraw_);
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, name, 0);
        gl_.Enable(GlState::kScissorTest, false);
        const GLint w = static_cast<GLint>(s->width()), h = static_cast<GLint>(s->height());
        glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    return name;
}

GLuint GlTextures::ColorRenderbuffer(Surface* s) {
    assert(s->samples() > 1 && !s->isDepth() && !s->inTexture());
    GLuint& name = colorRenderbuffers_[s];
    if (!name) {
        glGenRenderbuffers(1, &name);
        glBindRenderbuffer(GL_RENDERBUFFER, name);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, static_cast<GLsizei>(s->samples()),
                                         RenderTargetFormat(s->format()).internal, static_cast<GLsizei>(s->width()),
                                         static_cast<GLsizei>(s->height()));
    }
    return name;
}

GLuint GlTextures::DepthRenderbuffer(Surface* s) {
    assert(s->isDepth());
    GLuint& name = renderbuffers_[s];
    if (!name) {
        glGenRenderbuffers(1, &name);
        glBindRenderbuffer(GL_RENDERBUFFER, name);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, s->samples() > 1 ? static_cast<GLsizei>(s->samples()) : 0,
                                         DepthInternalFormat(s->format()), static_cast<GLsizei>(s->width()),
                                         static_cast<GLsizei>(s->height()));
    }
    return name;
}

// A new GL texture of `levels` levels, bound for the uploads that follow, reading its channels through the
// storage's swizzle.
GLuint GlTextures::MakeTexture(GLenum target, UINT levels, const GlFormat& f) {
    GLuint name = 0;
    glGenTextures(1, &name);
    gl_.BindTextureForUpdate(target, name);
    glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels - 1));
    glTexParameteriv(target, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle.data());
    return name;
}

// Rows of memory that GL cannot take as they are, decoded by the codec into 8-bit or float RGBA as `f.convert`
// asks; `rowAt(i)` is the memory of row i.
template <typename RowAt>
std::vector<std::uint8_t> GlTextures::DecodeRows(const GlFormat& f, D3DFORMAT format, UINT width, UINT rows,
                                                 RowAt rowAt) const {
    const PALETTEENTRY* palette = state_.palette.data();
    const std::size_t rowFloats = static_cast<std::size_t>(width) * 4;
    std::vector<float> pixels(rowFloats * rows);
    for (UINT y = 0; y < rows; ++y) DecodeRow(format, rowAt(y), width, &pixels[y * rowFloats], palette);
    std::vector<std::uint8_t> bytes;
    if (f.convert == Convert::ToRgba8) {
        bytes.resize(pixels.size());
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(std::clamp(pixels[i], 0.0f, 1.0f) * 255.0f + 0.5f);
        }
    } else {
        bytes.resize(pixels.size() * sizeof(float));
        std::memcpy(bytes.data(), pixels.data(), bytes.size());
    }
    return bytes;
}

// Uploads one whole level (of a 2D texture, or of one cube face: `image` names the face) from memory.
void GlTextures::UploadSurface(GLenum target, GLenum image, GLuint texture, GLint level, Surface* s,
                               const GlFormat& f) {
    ++levelsUploaded_;
    gl_.BindTextureForUpdate(target, texture);
    const GLsizei w = static_cast<GLsizei>(s->width()), h = static_cast<GLsizei>(s->height());
    gl_.PixelStore(GL_UNPACK_ALIGNMENT, 4);
    gl_.PixelStore(GL_UNPACK_ROW_LENGTH, 0);
    if (f.compressed) {
        const GLsizei bytes = static_cast<GLsizei>(LevelBytes(s->layout(), s->width(), s->height()));
        glCompressedTexSubImage2D(image, level, 0, 0, w, h, f.internal, bytes, s->bits());
    } else if (f.convert == Convert::None) {
        glTexSubImage2D(image, level, 0, 0, w, h, f.format, f.type, s->bits());
    } else {
        const auto pixels = DecodeRows(f, s->format(), s->width(), s->height(),
                                       [s](UINT y) { return s->bits() + static_cast<std::size_t>(y) * s->pitch(); });
        glTexSubImage2D(image, level, 0, 0, w, h, GL_RGBA, f.convert == Convert::ToRgba8 ? GL_UNSIGNED_BYTE : GL_FLOAT,
                        pixels.data());
    }
    s->fresh = Fresh::Both;
}

// Makes the storage of one level (2D, or one cube face). Block-compressed levels are sent with their data at
// once; the others are sent when they are next used, if their memory is newer.
void GlTextures::AllocateLevel(GLenum image, GLint level, Surface* s, const GlFormat& f, bool renderTarget) {
    const GLsizei w = static_cast<GLsizei>(s->width()), h = static_cast<GLsizei>(s->height());
    if (f.compressed) {
        const GLsizei bytes = static_cast<GLsizei>(LevelBytes(s->layout(), s->width(), s->height()));
        glCompressedTexImage2D(image, level, f.internal, w, h, 0, bytes, s->bits());
        ++levelsUploaded_;
        s->fresh = Fresh::Both;
    } else {
        glTexImage2D(image, level, static_cast<GLint>(f.internal), w, h, 0, UploadFormat(f), UploadType(f), nullptr);
        if (!renderTarget) s->fresh = Fresh::MemoryNewer;
    }
}

void GlTextures::EnsureTexture(Texture* t) {
    const bool renderTarget = t->isRenderTarget();
    const GlFormat f = renderTarget ? RenderTargetFormat(t->format()) : TextureFormat(t->format());
    GLuint& name = textures_[t];
    if (!name) {
        name = MakeTexture(GL_TEXTURE_2D, t->levelCount(), f);
        for (UINT i = 0; i < t->levelCount(); ++i) {
            AllocateLevel(GL_TEXTURE_2D, static_cast<GLint>(i), t->level(i), f, renderTarget);
        }
        // A render target's levels keep their own freshness: one written before its first use (UpdateSurface,
        // UpdateTexture) is still pending and goes up below.
        if (!renderTarget) t->uploadPending = true;
    }
    if (t->uploadPending) {
        for (UINT i = 0; i < t->levelCount(); ++i) {
            Surface* s = t->level(i);
            if (s->fresh == Fresh::MemoryNewer)
                UploadSurface(GL_TEXTURE_2D, GL_TEXTURE_2D, name, static_cast<GLint>(i), s, f);
        }
        t->uploadPending = false;
    }
}

// A cube map is one GL cube-map texture. Direct3D's face order (+X, -X, +Y, -Y, +Z, -Z) is GL's, and so is the
// layout of each face: the face is picked by the direction's major axis, and its (s, t) run as
// ((sc / |ma| + 1) / 2, (tc / |ma| + 1) / 2) with the same sc and tc per face in both APIs, t = 0 being the
// face's first row in memory. Direct3D's row 0 is the top row, and every image here is stored row 0 first, so
// faces go to GL as they are, neither flipped nor swapped. A face drawn into is stored the same way (drawing flips
// clip-space y for every target), so render-target cubes need no turning either.
void GlTextures::EnsureCube(CubeTexture* c) {
    const bool renderTarget = c->isRenderTarget();
    const GlFormat f = renderTarget ? RenderTargetFormat(c->format()) : TextureFormat(c->format());
    GLuint& name = textures_[c];
    if (!name) {
        name = MakeTexture(GL_TEXTURE_CUBE_MAP, c->levelCount(), f);
        for (UINT face = 0; face < CubeTexture::kFaces; ++face) {
            for (UINT i = 0; i < c->levelCount(); ++i) {
                AllocateLevel(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, static_cast<GLint>(i), c->face(face, i), f,
                              renderTarget);
            }
        }
        if (!renderTarget) c->uploadPending = true;
    }
    if (c->uploadPending) {
        for (UINT face = 0; face < CubeTexture::kFaces; ++face) {
            for (UINT i = 0; i < c->levelCount(); ++i) {
                Surface* s = c->face(face, i);
                if (s->fresh == Fresh::MemoryNewer) {
                    UploadSurface(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, name,
                                  static_cast<GLint>(i), s, f);
                }
            }
        }
        c->uploadPending = false;
    }
}

// Uploads one whole volume level from memory, slice by slice (each slice is rows of the level's row pitch).
void GlTextures::UploadVolume(GLuint texture, GLint level, Volume* v, const GlFormat& f) {
    assert(!f.compressed);  // the layer makes no block-compressed volumes that can be sampled
    assert(v->rowPitch() == RowPitch(v->layout(), v->width()));
    ++levelsUploaded_;
    gl_.BindTextureForUpdate(GL_TEXTURE_3D, texture);
    gl_.PixelStore(GL_UNPACK_ALIGNMENT, 4);
    gl_.PixelStore(GL_UNPACK_ROW_LENGTH, 0);
    const GLsizei w = static_cast<GLsizei>(v->width()), h = static_cast<GLsizei>(v->height());
    for (UINT z = 0; z < v->depth(); ++z) {
        const std::uint8_t* slice = v->bits() + static_cast<std::size_t>(z) * v->slicePitch();
        if (f.convert == Convert::None) {
            glTexSubImage3D(GL_TEXTURE_3D, level, 0, 0, static_cast<GLint>(z), w, h, 1, f.format, f.type, slice);
        } else {
            const auto pixels = DecodeRows(f, v->format(), v->width(), v->height(),
                                           [&](UINT y) { return slice + static_cast<std::size_t>(y) * v->rowPitch(); });
            glTexSubImage3D(GL_TEXTURE_3D, level, 0, 0, static_cast<GLint>(z), w, h, 1, GL_RGBA, UploadType(f),
                            pixels.data());
        }
    }
    v->fresh = Fresh::Both;
}

void GlTextures::EnsureVolume(VolumeTexture* t) {
    const GlFormat& f = TextureFormat(t->format());
    GLuint& name = textures_[t];
    if (!name) {
        name = MakeTexture(GL_TEXTURE_3D, t->levelCount(), f);
        for (UINT i = 0; i < t->levelCount(); ++i) {
            Volume* v = t->level(i);
            glTexImage3D(GL_TEXTURE_3D, static_cast<GLint>(i), static_cast<GLint>(f.internal),
                         static_cast<GLsizei>(v->width()), static_cast<GLsizei>(v->height()),
                         static_cast<GLsizei>(v->depth()), 0, UploadFormat(f), UploadType(f), nullptr);
            v->fresh = Fresh::MemoryNewer;
        }
        t->uploadPending = true;
    }
    if (t->uploadPending) {
        for (UINT i = 0; i < t->levelCount(); ++i) {
            Volume* v = t->level(i);
            if (v->fresh == Fresh::MemoryNewer) UploadVolume(name, static_cast<GLint>(i), v, f);
        }
        t->uploadPending = false;
    }
}

GLuint GlTextures::SamplerFor(const std::array<DWORD, D3DSAMP_MAX_VALUE>& s, bool mipmapped, TextureKind kind) {
    // A render-target texture has one level, so its minification filter must not ask for mip maps.
    const DWORD mip = mipmapped ? s[D3DSAMP_MIPFILTER] : static_cast<DWORD>(D3DTEXF_NONE);
    // W addresses volumes only (a 2D sampler leaves it at wrap, so that W never tells two 2D samplers apart).
    // A cube map is addressed by a direction that never leaves its face, so only the filter at a face's edge
    // reads the address mode: it clamps there rather than blending in the face's opposite edge.
    DWORD u = s[D3DSAMP_ADDRESSU], v = s[D3DSAMP_ADDRESSV], w = D3DTADDRESS_WRAP;
    if (kind == TextureKind::Volume) w = s[D3DSAMP_ADDRESSW];
    if (kind == TextureKind::Cube) u = v = w = D3DTADDRESS_CLAMP;
    // MAXMIPLEVEL is the texture's base level (Bind), not sampler state.
    // Anisotropy applies when either filter asks for it, up to what the driver offers (1 where it has none,
    // and the capabilities then claim no anisotropic filter).
    const bool anisotropic = s[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC || s[D3DSAMP_MAGFILTER] == D3DTEXF_ANISOTROPIC;
    const DWORD anisotropy =
        anisotropic ? std::clamp<DWORD>(s[D3DSAMP_MAXANISOTROPY], 1, GlBackendLimits().maxAnisotropy) : 1;
    const SamplerKey k{{u, v, w, s[D3DSAMP_MAGFILTER], s[D3DSAMP_MINFILTER], mip, s[D3DSAMP_BORDERCOLOR],
                        s[D3DSAMP_MIPMAPLODBIAS], anisotropy}};
    auto it = samplers_.find(k);
    if (it != samplers_.end()) return it->second;
    GLuint name = 0;
    glGenSamplers(1, &name);
    glSamplerParameteri(name, GL_TEXTURE_WRAP_S, static_cast<GLint>(AddressMode(u)));
    glSamplerParameteri(name, GL_TEXTURE_WRAP_T, static_cast<GLint>(AddressMode(v)));
    glSamplerParameteri(name, GL_TEXTURE_WRAP_R, static_cast<GLint>(AddressMode(w)));
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
    glSamplerParameterf(name, GL_TEXTURE_LOD_BIAS, AsFloat(s[D3DSAMP_MIPMAPLODBIAS]));
    if (anisotropy > 1) glSamplerParameterf(name, GL_TEXTURE_MAX_ANISOTROPY, static_cast<float>(anisotropy));
    samplers_.emplace(k, name);
    return name;
}

// Makes (or refreshes) the GL copy of a sampled texture of any kind; returns its name and its level count.
GLuint GlTextures::Prepare(ResourceCore* texture, TextureKind kind, UINT* levels, DWORD* lod) {
    // The program was chosen for this texture's kind (changing the kind of a stage's texture changes the key).
    assert(KindOfResource(texture->type()) == kind);
    switch (kind) {
    case TextureKind::Cube: {
        auto* c = static_cast<CubeTexture*>(texture);
        if (c->uploadPending || !textures_.count(c)) EnsureCube(c);
        *levels = c->levelCount();
        *lod = c->GetLOD();
        break;
    }
    case TextureKind::Volume: {
        auto* v = static_cast<VolumeTexture*>(texture);
        if (v->uploadPending || !textures_.count(v)) EnsureVolume(v);
        *levels = v->levelCount();
        *lod = v->GetLOD();
        break;
    }
    default: {
        auto* t = static_cast<Texture*>(texture);
        if (t->uploadPending || !textures_.count(t)) EnsureTexture(t);
        *levels = t->levelCount();
        *lod = t->GetLOD();
        break;
    }
    }
    return textures_[texture];
}

void GlTextures::SetBaseLevel(ResourceCore* texture, GLenum target, GLuint name, GLint level) {
    auto it = baseLevels_.find(texture);
    const GLint current = it != baseLevels_.end() ? it->second : 0;
    if (current == level) return;
    gl_.BindTextureForUpdate(target, name);
    glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, level);
    if (level == 0) {
        baseLevels_.erase(texture);
    } else {
        baseLevels_[texture] = level;
    }
}

void GlTextures::Bind(const DeviceState& st, const ProgramKey& key) {
    static constexpr GLenum kTargets[3] = {GL_TEXTURE_2D, GL_TEXTURE_CUBE_MAP, GL_TEXTURE_3D};
    const int stages = ActiveStages(key);
    assert(stages <= GlState::kUnits);
    // Uploads first: they bind on the active unit, and must not undo a binding made below.
    std::array<GLuint, kStages> names{};
    std::array<UINT, kStages> levels{};
    for (int s = 0; s < stages; ++s) {
        ResourceCore* t = BoundTexture(st, s);
        if (t && StageSamples(key, s)) {
            const auto i = static_cast<std::size_t>(s);
            DWORD lod = 0;
            names[i] = Prepare(t, key.stages[i].kind, &levels[i], &lod);
            // The most detailed level drawn: the texture's LOD (SetLOD, managed textures) or the sampler's
            // MAXMIPLEVEL, whichever is less detailed, and at most the last level. It is the texture's base level
            // in GL, so that it holds with and without a mip filter; a texture that two stages sample with
            // different MAXMIPLEVELs takes the last stage's.
            const DWORD top = std::min<DWORD>(std::max(lod, st.samp[i][D3DSAMP_MAXMIPLEVEL]), levels[i] - 1);
            SetBaseLevel(t, kTargets[static_cast<int>(key.stages[i].kind)], names[i], static_cast<GLint>(top));
        }
    }
    for (int s = 0; s < stages; ++s) {
        if (!StageSamples(key, s)) continue;
        ResourceCore* t = BoundTexture(st, s);
        if (!t) continue;
        const auto i = static_cast<std::size_t>(s);
        const TextureKind kind = key.stages[i].kind;
        const Surface* target = st.renderTarget;
        auto holds = [t](const Surface* target) {
            return target && (target->container() == static_cast<ResourceCore*>(t) ||
                              target->cube() == static_cast<ResourceCore*>(t));
        };
        bool drawnInto = holds(target);
        for (const Surface* more : st.moreTargets) drawnInto |= holds(more);
        const GLuint texture = drawnInto ? 0 : names[i];
        gl_.BindTexture(s, kTargets[static_cast<int>(kind)], texture);
        gl_.BindSampler(s, SamplerFor(st.samp[i], levels[i] > 1, kind));
    }
}

}  // namespace tarn::d3d9
