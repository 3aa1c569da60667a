// The GL backend's state shadow: each setter compares with what GL holds and sends only a change.
#include "GlState.h"

#include <cassert>

#include "UpdateState.h"

namespace tarn::d3d9 {
namespace {

constexpr GLenum kCapNames[GlState::kClipDistance0] = {
    GL_CULL_FACE, GL_SCISSOR_TEST,        GL_DEPTH_TEST,          GL_STENCIL_TEST,
    GL_BLEND,     GL_POLYGON_OFFSET_FILL, GL_POLYGON_OFFSET_LINE, GL_POLYGON_OFFSET_POINT,
};

GLenum CapName(int cap) {
    if (cap == GlState::kMultisample) return GL_MULTISAMPLE;
    if (cap == GlState::kSampleMask) return GL_SAMPLE_MASK;
    return cap < GlState::kClipDistance0 ? kCapNames[cap]
                                         : GL_CLIP_DISTANCE0 + static_cast<GLenum>(cap - GlState::kClipDistance0);
}

constexpr GLenum kTargetNames[GlState::kTargets] = {GL_TEXTURE_2D, GL_TEXTURE_CUBE_MAP, GL_TEXTURE_3D};

std::size_t TargetSlot(GLenum target) {
    assert(target == GL_TEXTURE_2D || target == GL_TEXTURE_CUBE_MAP || target == GL_TEXTURE_3D);
    return target == GL_TEXTURE_CUBE_MAP ? 1 : target == GL_TEXTURE_3D ? 2 : 0;
}

}  // namespace

template <typename T, typename Apply>
void GlState::Set(T& cached, const T& wanted, Apply apply) {
    const bool sent = UpdateState(cached, wanted, apply);
    if (!sent && !caching_) apply();
    if (sent || !caching_) ++calls_;
}

void GlState::Enable(Cap cap, bool on) {
    assert(cap >= 0 && cap < kCapCount);
    const std::int8_t wanted = on ? 1 : 0;
    Set(caps_[static_cast<std::size_t>(cap)], wanted, [&] { on ? glEnable(CapName(cap)) : glDisable(CapName(cap)); });
}

void GlState::CullFace(GLenum face) {
    Set(cullFace_, face, [&] { glCullFace(face); });
}

void GlState::PolygonMode(GLenum mode) {
    Set(polygonMode_, mode, [&] { glPolygonMode(GL_FRONT_AND_BACK, mode); });
}

void GlState::ColorMask(std::uint8_t rgba) {
    assert(rgba <= 0xf);
    Set(colorMask_, rgba, [&] {
        glColorMask(rgba & 1 ? GL_TRUE : GL_FALSE, rgba & 2 ? GL_TRUE : GL_FALSE, rgba & 4 ? GL_TRUE : GL_FALSE,
                    rgba & 8 ? GL_TRUE : GL_FALSE);
    });
}

void GlState::Scissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    Set(scissor_, std::array<GLint, 4>{x, y, width, height}, [&] { glScissor(x, y, width, height); });
}

void GlState::Viewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    Set(viewport_, std::array<GLint, 4>{x, y, width, height}, [&] { glViewport(x, y, width, height); });
}

void GlState::DepthRange(float nearZ, float farZ) {
    Set(depthRange_, std::array<float, 2>{nearZ, farZ}, [&] { glDepthRange(nearZ, farZ); });
}

void GlState::DepthFunc(GLenum func) {
    Set(depthFunc_, func, [&] { glDepthFunc(func); });
}

void GlState::DepthMask(bool write) {
    const std::int8_t wanted = write ? 1 : 0;
    Set(depthMask_, wanted, [&] { glDepthMask(write ? GL_TRUE : GL_FALSE); });
}

void GlState::StencilFunc(GLenum func, GLint ref, GLuint mask) {
    const StencilFace face{func, static_cast<GLuint>(ref), mask};
    Set(stencilFunc_, {face, face}, [&] { glStencilFunc(func, ref, mask); });
}

void GlState::StencilOp(GLenum fail, GLenum depthFail, GLenum pass) {
    const StencilFace face{fail, depthFail, pass};
    Set(stencilOp_, {face, face}, [&] { glStencilOp(fail, depthFail, pass); });
}

void GlState::StencilFuncSeparate(GLenum face, GLenum func, GLint ref, GLuint mask) {
    assert(face == GL_FRONT || face == GL_BACK);
    Set(stencilFunc_[face == GL_BACK ? 1 : 0], StencilFace{func, static_cast<GLuint>(ref), mask},
        [&] { glStencilFuncSeparate(face, func, ref, mask); });
}

void GlState::StencilOpSeparate(GLenum face, GLenum fail, GLenum depthFail, GLenum pass) {
    assert(face == GL_FRONT || face == GL_BACK);
    Set(stencilOp_[face == GL_BACK ? 1 : 0], StencilFace{fail, depthFail, pass},
        [&] { glStencilOpSeparate(face, fail, depthFail, pass); });
}

void GlState::StencilMask(GLuint mask) {
    // Every mask value is valid, so "unknown" needs a flag of its own.
    if (!stencilMaskKnown_) stencilMask_ = ~mask, stencilMaskKnown_ = true;
    Set(stencilMask_, mask, [&] { glStencilMask(mask); });
}

void GlState::SampleMask(GLuint mask) {
    Set(sampleMask_, static_cast<std::int64_t>(mask), [&] { glSampleMaski(0, mask); });
}

void GlState::PolygonOffset(float factor, float units) {
    Set(polygonOffset_, std::array<float, 2>{factor, units}, [&] { glPolygonOffset(factor, units); });
}

void GlState::BlendFunc(GLenum src, GLenum dst, GLenum srcAlpha, GLenum dstAlpha) {
    Set(blendFunc_, std::array<GLenum, 4>{src, dst, srcAlpha, dstAlpha},
        [&] { glBlendFuncSeparate(src, dst, srcAlpha, dstAlpha); });
}

void GlState::BlendEquation(GLenum rgb, GLenum alpha) {
    Set(blendEquation_, std::array<GLenum, 2>{rgb, alpha}, [&] { glBlendEquationSeparate(rgb, alpha); });
}

void GlState::BlendColor(const float rgba[4]) {
    Set(blendColor_, std::array<float, 4>{rgba[0], rgba[1], rgba[2], rgba[3]},
        [&] { glBlendColor(rgba[0], rgba[1], rgba[2], rgba[3]); });
}

void GlState::ClearColor(const float rgba[4]) {
    Set(clearColor_, std::array<float, 4>{rgba[0], rgba[1], rgba[2], rgba[3]},
        [&] { glClearColor(rgba[0], rgba[1], rgba[2], rgba[3]); });
}

void GlState::ClearDepth(double depth) {
    Set(clearDepth_, depth, [&] { glClearDepth(depth); });
}

void GlState::ClearStencil(GLint value) {
    Set(clearStencil_, value, [&] { glClearStencil(value); });
}

void GlState::DrawBuffers(std::uint8_t attachments) {
    assert(attachments != 0 && attachments < 16);
    Set(drawBuffers_, attachments, [&] {
        GLenum buffers[4];
        for (GLenum i = 0; i < 4; ++i) buffers[i] = attachments & (1u << i) ? GL_COLOR_ATTACHMENT0 + i : GL_NONE;
        glDrawBuffers(4, buffers);
    });
}

void GlState::BindFramebuffer(GLenum target, GLuint framebuffer) {
    assert(target == GL_FRAMEBUFFER || target == GL_DRAW_FRAMEBUFFER || target == GL_READ_FRAMEBUFFER);
    if (target == GL_FRAMEBUFFER) {
        if (caching_ && drawFramebuffer_ == framebuffer && readFramebuffer_ == framebuffer) return;
        drawFramebuffer_ = readFramebuffer_ = framebuffer;
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        ++calls_;
        return;
    }
    GLuint& cached = target == GL_DRAW_FRAMEBUFFER ? drawFramebuffer_ : readFramebuffer_;
    Set(cached, framebuffer, [&] { glBindFramebuffer(target, framebuffer); });
}

void GlState::UseProgram(GLuint program) {
    Set(program_, program, [&] { glUseProgram(program); });
}

void GlState::ActiveTexture(int unit) {
    Set(activeUnit_, unit, [&] { glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit)); });
}

void GlState::BindTexture(int unit, GLenum target, GLuint texture) {
    assert(unit >= 0 && unit < kUnits);
    auto& bound = textures_[static_cast<std::size_t>(unit)];
    const std::size_t slot = TargetSlot(target);
    // Nothing to send when the unit holds exactly this texture and nothing on the other targets.
    bool settled = caching_ && bound[slot] == texture;
    for (std::size_t other = 0; other < kTargets && settled; ++other) settled = other == slot || bound[other] == 0;
    if (settled) return;
    ActiveTexture(unit);
    for (std::size_t other = 0; other < kTargets; ++other) {
        if (other == slot) continue;
        Set(bound[other], GLuint{0}, [&] { glBindTexture(kTargetNames[other], 0); });
    }
    Set(bound[slot], texture, [&] { glBindTexture(target, texture); });
}

void GlState::BindTextureForUpdate(GLenum target, GLuint texture) {
    if (activeUnit_ < 0) ActiveTexture(0);
    Set(textures_[static_cast<std::size_t>(activeUnit_)][TargetSlot(target)], texture,
        [&] { glBindTexture(target, texture); });
}

void GlState::BindSampler(int unit, GLuint sampler) {
    assert(unit >= 0 && unit < kUnits);
    Set(samplers_[static_cast<std::size_t>(unit)], sampler, [&] { glBindSampler(static_cast<GLuint>(unit), sampler); });
}

void GlState::BindBuffer(GLenum target, GLuint buffer) {
    assert(target == GL_ARRAY_BUFFER || target == GL_ELEMENT_ARRAY_BUFFER);
    GLuint& cached = target == GL_ARRAY_BUFFER ? arrayBuffer_ : elementBuffer_;
    Set(cached, buffer, [&] { glBindBuffer(target, buffer); });
}

void GlState::PixelStore(GLenum name, GLint value) {
    const std::size_t slot = name == GL_PACK_ALIGNMENT ? 0 : name == GL_UNPACK_ALIGNMENT ? 1 : 2;
    assert(slot < 2 || name == GL_UNPACK_ROW_LENGTH);
    Set(pixelStore_[slot], value, [&] { glPixelStorei(name, value); });
}

void GlState::EnableAttributes(std::uint32_t mask) {
    assert(mask < (1u << kAttributes));
    if (caching_ && attributes_ == mask) return;
    for (GLuint i = 0; i < kAttributes; ++i) {
        const std::uint32_t bit = 1u << i;
        const bool on = (mask & bit) != 0;
        // Unknown counts as "differs" for every attribute.
        if (caching_ && attributes_ != kUnknown && ((attributes_ & bit) != 0) == on) continue;
        on ? glEnableVertexAttribArray(i) : glDisableVertexAttribArray(i);
        ++calls_;
    }
    attributes_ = mask;
}

void GlState::AttributePointer(GLuint index, GLint size, GLenum type, bool normalized, GLsizei stride,
                               std::uintptr_t offset) {
    assert(index < static_cast<GLuint>(kAttributes));
    assert(arrayBuffer_ != kUnknown);
    const Pointer wanted{size, type, normalized, stride, offset, arrayBuffer_};
    Set(pointers_[index], wanted, [&] {
        glVertexAttribPointer(index, size, type, normalized ? GL_TRUE : GL_FALSE, stride,
                              reinterpret_cast<const void*>(offset));
    });
}

void GlState::AttributeDivisor(GLuint index, GLuint divisor) {
    assert(index < static_cast<GLuint>(kAttributes));
    Set(divisors_[index], divisor, [&] { glVertexAttribDivisor(index, divisor); });
}

void GlState::TextureDeleted(GLuint texture) {
    for (auto& unit : textures_) {
        for (GLuint& t : unit) {
            if (t == texture) t = 0;
        }
    }
}

void GlState::BufferDeleted(GLuint buffer) {
    if (arrayBuffer_ == buffer) arrayBuffer_ = 0;
    if (elementBuffer_ == buffer) elementBuffer_ = 0;
    // An attribute that pointed into the buffer must be pointed again even if a new buffer gets the same name.
    for (Pointer& p : pointers_) {
        if (p.buffer == buffer) p = Pointer{};
    }
}

void GlState::ProgramDeleted(GLuint program) {
    if (program_ == program) program_ = kUnknown;
}

void GlState::FramebufferDeleted(GLuint framebuffer) {
    if (drawFramebuffer_ == framebuffer) drawFramebuffer_ = kUnknown;
    if (readFramebuffer_ == framebuffer) readFramebuffer_ = kUnknown;
}

}  // namespace tarn::d3d9
