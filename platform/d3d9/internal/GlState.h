// The GL backend's shadow of OpenGL state: one compare-and-set per GL state, so that a call GL already holds is
// never sent. Every unit of the backend (drawing, clears, copies, fills, uploads, present) sets GL state through
// it, and nothing sets GL state behind it. The shadow starts unknown, so the first call of each kind is sent.
// With caching off (SetCaching(false), from TARN_D3D9_STATE_CACHE=0) every call is sent: the same pictures.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "GlApi.h"

namespace tarn::d3d9 {

class GlState {
public:
    // Capabilities switched with glEnable/glDisable.
    enum Cap : int {
        kCullFace,
        kScissorTest,
        kDepthTest,
        kStencilTest,
        kBlend,
        kOffsetFill,
        kOffsetLine,
        kOffsetPoint,
        kClipDistance0,  // kClipDistance0 + i for user clip plane i
        kMultisample = kClipDistance0 + 8,
        kSampleMask,
        kCapCount,
    };
    static constexpr int kUnits = 8;        // texture units the backend binds
    static constexpr int kAttributes = 15;  // vertex attributes the backend uses

    void SetCaching(bool on) { caching_ = on; }
    // GL calls sent through the shadow since the renderer was made.
    std::size_t calls() const { return calls_; }

    void Enable(Cap cap, bool on);
    void CullFace(GLenum face);
    void PolygonMode(GLenum mode);
    void ColorMask(std::uint8_t rgba);  // bit 0 red, 1 green, 2 blue, 3 alpha
    void Scissor(GLint x, GLint y, GLsizei width, GLsizei height);
    void Viewport(GLint x, GLint y, GLsizei width, GLsizei height);
    void DepthRange(float nearZ, float farZ);
    void DepthFunc(GLenum func);
    void DepthMask(bool write);
    void SampleMask(GLuint mask);  // of the first sample-mask word
    // The stencil test of both faces, or (…Separate) of GL_FRONT or GL_BACK faces only.
    void StencilFunc(GLenum func, GLint ref, GLuint mask);
    void StencilOp(GLenum fail, GLenum depthFail, GLenum pass);
    void StencilFuncSeparate(GLenum face, GLenum func, GLint ref, GLuint mask);
    void StencilOpSeparate(GLenum face, GLenum fail, GLenum depthFail, GLenum pass);
    void StencilMask(GLuint mask);
    void PolygonOffset(float factor, float units);
    void BlendFunc(GLenum src, GLenum dst, GLenum srcAlpha, GLenum dstAlpha);
    void BlendEquation(GLenum rgb, GLenum alpha);
    void BlendColor(const float rgba[4]);
    void ClearColor(const float rgba[4]);
    void ClearDepth(double depth);
    void ClearStencil(GLint value);
    // The colour attachments written (bit i: GL_COLOR_ATTACHMENT0 + i) of the one framebuffer the renderer draws
    // and clears in, which must be bound (draw buffers are state of a framebuffer object).
    void DrawBuffers(std::uint8_t attachments);
    // GL_FRAMEBUFFER binds both the draw and the read framebuffer.
    void BindFramebuffer(GLenum target, GLuint framebuffer);
    void UseProgram(GLuint program);
    // Texture targets the backend binds: GL_TEXTURE_2D, GL_TEXTURE_CUBE_MAP and GL_TEXTURE_3D.
    static constexpr int kTargets = 3;
    // Binds a texture to `target` on `unit` (making it the active unit when it is not), and unbinds whatever
    // another target holds on that unit, so that a unit holds the one texture its stage samples.
    void BindTexture(int unit, GLenum target, GLuint texture);
    // Binds a texture to `target` on whichever unit is active, for uploads and parameter changes.
    void BindTextureForUpdate(GLenum target, GLuint texture);
    void BindSampler(int unit, GLuint sampler);
    // GL_ARRAY_BUFFER or GL_ELEMENT_ARRAY_BUFFER (the latter is state of the one vertex array the backend uses).
    void BindBuffer(GLenum target, GLuint buffer);
    // GL_PACK_ALIGNMENT, GL_UNPACK_ALIGNMENT or GL_UNPACK_ROW_LENGTH.
    void PixelStore(GLenum name, GLint value);
    // Vertex attribute arrays switched on (bit i: attribute i).
    void EnableAttributes(std::uint32_t mask);
    // Points attribute `index` at `offset` in the bound GL_ARRAY_BUFFER.
    void AttributePointer(GLuint index, GLint size, GLenum type, bool normalized, GLsizei stride,
                          std::uintptr_t offset);
    // True when attribute `index` already reads so from `buffer`, and the cache is on: pointing it again, and
    // binding `buffer` to do so, can be skipped.
    bool AttributeIs(GLuint index, GLint size, GLenum type, bool normalized, GLsizei stride, std::uintptr_t offset,
                     GLuint buffer) const {
        return caching_ && pointers_[index] == Pointer{size, type, normalized, stride, offset, buffer};
    }
    // Attribute `index` advances once per `divisor` instances (0: once per vertex).
    void AttributeDivisor(GLuint index, GLuint divisor);

    // GL unbinds what is deleted; the shadow must forget it too, or a recycled name would seem bound.
    void TextureDeleted(GLuint texture);
    void BufferDeleted(GLuint buffer);
    void ProgramDeleted(GLuint program);
    void FramebufferDeleted(GLuint framebuffer);

private:
    // Sends `apply` when `wanted` differs from the shadow, or always with caching off.
    template <typename T, typename Apply>
    void Set(T& cached, const T& wanted, Apply apply);
    void ActiveTexture(int unit);

    static constexpr std::uint32_t kUnknown = 0xffffffffu;
    struct Pointer {
        GLint size = -1;
        GLenum type = kUnknown;
        bool normalized = false;
        GLsizei stride = -1;
        std::uintptr_t offset = 0;
        GLuint buffer = kUnknown;
        bool operator==(const Pointer&) const = default;
    };

    bool caching_ = true;
    std::size_t calls_ = 0;
    std::array<std::int8_t, kCapCount> caps_ = MakeUnknownCaps();
    GLenum cullFace_ = kUnknown, polygonMode_ = kUnknown, depthFunc_ = kUnknown;
    std::uint8_t colorMask_ = 0xff;
    std::array<GLint, 4> scissor_{-1, -1, -1, -1}, viewport_{-1, -1, -1, -1};
    std::array<float, 2> depthRange_{-1.0f, -1.0f}, polygonOffset_{-1e30f, -1e30f};
    std::int8_t depthMask_ = -1;
    std::int64_t sampleMask_ = -1;  // -1: unknown
    // Front faces first, then back faces.
    using StencilFace = std::array<GLuint, 3>;
    std::array<StencilFace, 2> stencilFunc_{StencilFace{kUnknown, kUnknown, kUnknown},
                                            StencilFace{kUnknown, kUnknown, kUnknown}};
    std::array<StencilFace, 2> stencilOp_ = stencilFunc_;
    GLuint stencilMask_ = 0;
    bool stencilMaskKnown_ = false;
    std::array<GLenum, 4> blendFunc_{kUnknown, kUnknown, kUnknown, kUnknown};
    std::array<GLenum, 2> blendEquation_{kUnknown, kUnknown};
    std::array<float, 4> blendColor_{-1.0f, -1.0f, -1.0f, -1.0f}, clearColor_{-1.0f, -1.0f, -1.0f, -1.0f};
    double clearDepth_ = -1.0;
    GLint clearStencil_ = -1;
    GLuint drawFramebuffer_ = kUnknown, readFramebuffer_ = kUnknown, program_ = kUnknown;
    std::uint8_t drawBuffers_ = 0;  // 0: unknown (a framebuffer always writes at least one)
    int activeUnit_ = -1;
    // Texture bound to each target (in kTargets order) on each unit.
    std::array<std::array<GLuint, kTargets>, kUnits> textures_ = MakeUnknownBindings();
    std::array<GLuint, kUnits> samplers_ = MakeUnknownNames<kUnits>();
    GLuint arrayBuffer_ = kUnknown, elementBuffer_ = kUnknown;
    std::array<GLint, 3> pixelStore_{-1, -1, -1};  // pack alignment, unpack alignment, unpack row length
    std::uint32_t attributes_ = kUnknown;
    std::array<Pointer, kAttributes> pointers_{};
    std::array<GLuint, kAttributes> divisors_ = MakeUnknownNames<kAttributes>();

    static constexpr std::array<std::int8_t, kCapCount> MakeUnknownCaps() {
        std::array<std::int8_t, kCapCount> caps{};
        for (auto& c : caps) c = -1;
        return caps;
    }
    static constexpr std::array<std::array<GLuint, kTargets>, kUnits> MakeUnknownBindings() {
        std::array<std::array<GLuint, kTargets>, kUnits> bindings{};
        for (auto& unit : bindings) unit = MakeUnknownNames<kTargets>();
        return bindings;
    }
    template <int N>
    static constexpr std::array<GLuint, N> MakeUnknownNames() {
        std::array<GLuint, N> names{};
        for (auto& n : names) n = kUnknown;
        return names;
    }
};

}  // namespace tarn::d3d9
