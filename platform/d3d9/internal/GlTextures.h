// Images of the GL backend: GL textures for textures and render targets, renderbuffers for depth buffers (all
// kept in a map by resource, made on first use and uploaded when their memory changed), sampler objects per
// distinct sampler state, and the texture and sampler bindings of a draw.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "FixedFunction.h"
#include "GlFormats.h"
#include "GlState.h"

namespace tarn::d3d9 {

// Resources (ResourceObjects.h) whose images it keeps.
class CubeTexture;
class Texture;
class Volume;
class VolumeTexture;

// The sampler state a GL sampler object is made from: the fields it depends on, compared whole, so that two
// states share a sampler only when they are equal (their hash only picks the bucket).
struct SamplerKey {
    std::array<DWORD, 9> fields{};
    bool operator==(const SamplerKey&) const = default;
};

// Test seam: the hash that buckets sampler keys in GL backends made from now on (nullptr gives the default FNV-1a
// hash back). Returns the one it replaces.
using SamplerHashFn = std::size_t (*)(const SamplerKey&);
SamplerHashFn SetSamplerHash(SamplerHashFn hash);

class GlTextures {
public:
    // `state` (the device's) supplies the palette of palettised formats.
    GlTextures(GlState& gl, const DeviceState& state);
    ~GlTextures();
    GlTextures(const GlTextures&) = delete;
    GlTextures& operator=(const GlTextures&) = delete;

    // The GL texture holding a surface, in `level` which of its levels and in `image` which image target
    // (GL_TEXTURE_2D, or the cube face's target) holds it; made and uploaded as needed.
    // A multisampled surface's texture holds its resolved image: it is resolved from the surface's multisample
    // renderbuffer on every call (which leaves the scissor test off and the framebuffers bound elsewhere).
    GLuint SurfaceTexture(Surface* surface, GLint* level, GLenum* image);
    GLuint DepthRenderbuffer(Surface* surface);
    // The multisample renderbuffer a multisampled colour surface is drawn into.
    GLuint ColorRenderbuffer(Surface* surface);
    // Make the GL copy of a 2D, cube or volume texture and upload every level (of every face) whose memory is
    // newer.
    void EnsureTexture(Texture* texture);
    void EnsureCube(CubeTexture* cube);
    void EnsureVolume(VolumeTexture* volume);
    // Binds the textures and samplers of the stages the program samples; nothing is bound for the texture being
    // drawn into, a 2D texture or the cube one of whose faces is the target (that read is undefined in both APIs,
    // and here reads as nothing rather than a feedback loop).
    void Bind(const DeviceState& state, const ProgramKey& key);
    // The GL name kept for a resource (0 when none).
    GLuint NameOf(const ResourceCore* resource) const;
    // Deletes what is kept for a dying resource; returns the name it had (0 when none).
    GLuint Forget(const ResourceCore* resource);
    std::size_t levelsUploaded() const { return levelsUploaded_; }

private:
    GLuint MakeTexture(GLenum target, UINT levels, const GlFormat& format);
    void UploadSurface(GLenum target, GLenum image, GLuint texture, GLint level, Surface* surface,
                       const GlFormat& format);
    void AllocateLevel(GLenum image, GLint level, Surface* surface, const GlFormat& format, bool renderTarget);
    void UploadVolume(GLuint texture, GLint level, Volume* volume, const GlFormat& format);
    template <typename RowAt>
    std::vector<std::uint8_t> DecodeRows(const GlFormat& format, D3DFORMAT d3dFormat, UINT width, UINT rows,
                                         RowAt rowAt) const;
    GLuint Prepare(ResourceCore* texture, TextureKind kind, UINT* levels, DWORD* lod);
    // Makes `level` the most detailed level GL samples of a texture (GL_TEXTURE_BASE_LEVEL), when it is not.
    void SetBaseLevel(ResourceCore* texture, GLenum target, GLuint name, GLint level);
    GLuint SamplerFor(const std::array<DWORD, D3DSAMP_MAX_VALUE>& sampler, bool mipmapped, TextureKind kind);

    GlState& gl_;
    const DeviceState& state_;
    std::unordered_map<const ResourceCore*, GLuint> textures_;       // textures and colour surfaces
    std::unordered_map<const ResourceCore*, GLuint> renderbuffers_;  // depth surfaces
    std::unordered_map<const ResourceCore*, GLuint> colorRenderbuffers_;  // multisampled colour surfaces
    GLuint resolveRead_ = 0, resolveDraw_ = 0;                            // framebuffers of the resolves
    std::unordered_map<const ResourceCore*, GLint> baseLevels_;  // GL_TEXTURE_BASE_LEVEL of textures, when not 0
    struct SamplerKeyHash {
        SamplerHashFn hash;
        std::size_t operator()(const SamplerKey& key) const { return hash(key); }
    };
    std::unordered_map<SamplerKey, GLuint, SamplerKeyHash> samplers_;
    std::size_t levelsUploaded_ = 0;
};

}  // namespace tarn::d3d9
