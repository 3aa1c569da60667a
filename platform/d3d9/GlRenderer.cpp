// The OpenGL backend: creation, state application, draws, clears, present, copies and fills. Every image is
// stored top row first (row 0 of Direct3D memory is GL row 0) and drawing flips clip-space y, so render-target
// textures, uploaded textures and the back buffer share one orientation; only Present flips, on the way to the
// window. The device's changed-state groups say what to look at again; every GL state call goes through the
// shadow (GlState), which sends only what GL does not already hold. Images, programs and vertex input are units
// of their own (GlTextures, GlPrograms, GlGeometry).
#include <SDL.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "PresentPath.h"
#include "platform/Runner.h"
#include "D3D9Diagnostic.h"
#include "DeviceObject.h"
#include "GlContext.h"
#include "GlFormats.h"
#include "GlGeometry.h"
#include "GlPrograms.h"
#include "GlQueries.h"
#include "GlState.h"
#include "GlTextures.h"
#include "Renderer.h"
#include "SwapChain.h"

namespace tarn::d3d9 {
namespace {

int gStateCache = -1;  // -1: from the environment

// Render targets without alpha (X8R8G8B8) keep whatever alpha was last written; Direct3D reads it as opaque.
void MakeOpaque(std::uint8_t* pixels, std::size_t width, std::size_t height, std::size_t pitch) {
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* row = pixels + y * pitch;
        for (std::size_t x = 0; x < width; ++x) row[4 * x + 3] = 0xff;
    }
}

class GlRenderer final : public Renderer {
public:
    GlRenderer(Device* device, std::unique_ptr<GlContext> context);
    ~GlRenderer() override;

    const BackendLimits& Limits() const override { return GlBackendLimits(); }
    void Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil,
               std::uint32_t changed) override;
    void Draw(const DrawCall& call, std::uint32_t changed) override;
    void Present(const PresentFrame& frame) override;
    void ReadBack(Surface* surface) override;
    bool Blit(Surface* source, const RECT& sourceRect, Surface* destination, const RECT& destRect,
              bool linear) override;
    bool Fill(Surface* surface, const RECT& rect, D3DCOLOR color) override;
    void Forget(ResourceCore* resource) override;
    void ReleaseContext() override { context_->Release(); }
    void Reset() override;
    // Takes the window's frame away for full screen, and gives it back when windowed.
    void FollowPresentationMode();
    std::size_t ProgramCount() const override { return programs_->count(); }
    UploadStats Uploads() const override { return {textures_->levelsUploaded(), geometry_->bytesUploaded()}; }
    std::size_t StateCalls() const override { return gl_.calls(); }
    void Finish() override;
    unsigned TakeErrors() override;
    bool SupportsQuery(D3DQUERYTYPE type) const override { return GlQuerySupported(type, timestampBits_); }
    std::unique_ptr<GpuQuery> CreateQuery(D3DQUERYTYPE type) override {
        return SupportsQuery(type) ? CreateGlQuery(queries_, type) : nullptr;
    }

private:
    // Makes the context current and takes the cache switch and the changed groups of this call.
    void Begin(std::uint32_t changed);
    void AttachTarget();
    void ApplyViewport();
    void ApplyRaster();
    void ApplyDepth();
    void ApplyBlend();
    // `primitive`: what the draw rasterises (a point list's program writes point sizes, wrapping adjusts lines
    // and triangles).
    void Apply(Primitive primitive);
    void MarkTargetDrawn() { device_->state().renderTarget->fresh = Fresh::GpuNewer; }
    // A surface's GL texture, resolved first when it is multisampled (which disturbs the scissor test).
    GLuint ReadableTexture(Surface* surface, GLint* level, GLenum* image) {
        if (surface->samples() > 1) pending_ |= kDirtyRaster;
        return textures_->SurfaceTexture(surface, level, image);
    }
    // Attaches a surface's GL copy to the read framebuffer, ready for glReadPixels with the given row alignment.
    void ReadFrom(Surface* surface, GLint packAlignment);
    // Reads a surface's GL copy as 8-bit RGBA rows, bottom row of GL first (which is the picture's top row).
    void ReadRgba(Surface* surface, int width, int height, std::uint8_t* rgba);

    Device* device_;
    std::unique_ptr<GlContext> context_;
    GlState gl_;
    // Units hold a reference to gl_ and need the context current while they are made and destroyed.
    std::optional<GlTextures> textures_;
    std::optional<GlPrograms> programs_;
    std::optional<GlGeometry> geometry_;
    GLuint drawFbo_ = 0, readFbo_ = 0, scratchFbo_ = 0;
    // What drawFbo_ has attached (framebuffer attachments are not part of the state shadow): render target 0,
    // targets 1 to 3, and the depth buffer.
    GLuint attachedColor_ = 0, attachedDepth_ = 0;
    const Surface* attachedTarget_ = nullptr;
    std::array<GLuint, kRenderTargets - 1> attachedMore_{};
    std::array<const Surface*, kRenderTargets - 1> attachedMoreTargets_{};
    std::uint8_t targetMask_ = 1;  // the colour attachments that hold a target (bit i: attachment i)
    // Whether any bound render target's memory is newer than its GPU copy.
    bool TargetMemoryNewer() const;
    void MarkTargetsCleared();
    // Groups to apply again at the next draw: changed by the device, or disturbed by a clear, copy or present.
    std::uint32_t pending_ = kDirtyAll;
    GLint timestampBits_ = 0;                   // of the driver's GL_TIMESTAMP counter; 0: no timestamps
    Primitive drawing_ = Primitive::Triangles;  // what the current program was chosen for
    GlQueryContext queries_;
    // The gamma pass of full-screen presents: a program drawing the back buffer through the ramp (a 256 x 1
    // texture of its 16-bit entries), with a vertex array and sampler of its own; made on first use.
    void PresentThroughRamp(GLuint texture, const RECT& source, const RECT& dest, int windowHeight,
                            const D3DGAMMARAMP& ramp);
    GLuint gammaProgram_ = 0, gammaRamp_ = 0, gammaVao_ = 0, gammaSampler_ = 0;
    bool madeBorderless_ = false;  // the window's frame was taken away for full screen
    GLint gammaSourceRect_ = -1;
};

GlRenderer::GlRenderer(Device* device, std::unique_ptr<GlContext> context)
    : device_(device), context_(std::move(context)) {
    textures_.emplace(gl_, device_->state());
    programs_.emplace(gl_, static_cast<int>(GlBackendLimits().maxVertexBlendMatrixIndex) + 1);
    geometry_.emplace(gl_);
    glGenFramebuffers(1, &drawFbo_);
    glGenFramebuffers(1, &readFbo_);
    glGenFramebuffers(1, &scratchFbo_);
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);  // flat shading takes the first vertex, as in Direct3D
    glEnable(GL_PROGRAM_POINT_SIZE);                // every program that draws points writes their size
    glFrontFace(GL_CCW);
    glGetQueryiv(GL_TIMESTAMP, GL_QUERY_COUNTER_BITS, &timestampBits_);
    queries_.context = context_.get();
}

GlRenderer::~GlRenderer() {
    context_->MakeCurrent();
    if (madeBorderless_ && context_->window()) SDL_SetWindowBordered(context_->window(), SDL_TRUE);
    if (gammaProgram_) {
        gl_.ProgramDeleted(gammaProgram_);
        gl_.TextureDeleted(gammaRamp_);
        glDeleteProgram(gammaProgram_);
        glDeleteTextures(1, &gammaRamp_);
        glDeleteVertexArrays(1, &gammaVao_);
        glDeleteSamplers(1, &gammaSampler_);
    }
    geometry_.reset();
    programs_.reset();
    textures_.reset();
    glDeleteFramebuffers(1, &drawFbo_);
    glDeleteFramebuffers(1, &readFbo_);
    glDeleteFramebuffers(1, &scratchFbo_);
    // The context and everything still in it goes now.
    context_.reset();
}

void GlRenderer::Begin(std::uint32_t changed) {
    context_->MakeCurrent();
    const bool caching = StateCacheEnabled();
    gl_.SetCaching(caching);
    pending_ |= changed;
    if (!caching) {
        // Apply every state: all groups, and the attachments too.
        pending_ = kDirtyAll;
        attachedColor_ = attachedDepth_ = 0;
        attachedTarget_ = nullptr;
        attachedMore_.fill(0);
        attachedMoreTargets_.fill(nullptr);
    }
}

bool GlRenderer::TargetMemoryNewer() const {
    const DeviceState& st = device_->state();
    if (st.renderTarget->fresh == Fresh::MemoryNewer) return true;
    for (const Surface* s : st.moreTargets) {
        if (s && s->fresh == Fresh::MemoryNewer) return true;
    }
    return false;
}

void GlRenderer::MarkTargetsCleared() {
    MarkTargetDrawn();
    for (Surface* s : device_->state().moreTargets) {
        if (s) s->fresh = Fresh::GpuNewer;
    }
}

// ---- State application ----

void GlRenderer::AttachTarget() {
    const DeviceState& st = device_->state();
    assert(st.renderTarget && st.renderTarget->isRenderTarget());
    assert(!st.depthStencil || st.depthStencil->isDepth());
    GLint level = 0;
    GLenum image = GL_TEXTURE_2D;
    // A multisampled target is drawn into its multisample renderbuffer, and resolved when it is read.
    const bool samples = st.renderTarget->samples() > 1;
    const GLuint color = samples ? textures_->ColorRenderbuffer(st.renderTarget)
                                 : textures_->SurfaceTexture(st.renderTarget, &level, &image);
    const GLuint depth = st.depthStencil ? textures_->DepthRenderbuffer(st.depthStencil) : 0;
    gl_.BindFramebuffer(GL_FRAMEBUFFER, drawFbo_);
    if (color != attachedColor_ || attachedTarget_ != st.renderTarget) {
        if (samples) {
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
        } else {
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, image, color, level);
        }
        attachedColor_ = color;
        attachedTarget_ = st.renderTarget;
    }
    if (depth != attachedDepth_) {
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
        if (depth) {
            const bool stencil = HasStencil(st.depthStencil->format());
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                      GL_RENDERBUFFER, depth);
        }
        attachedDepth_ = depth;
    }
    targetMask_ = 1;
    for (std::size_t i = 0; i < st.moreTargets.size(); ++i) {
        Surface* s = st.moreTargets[i];
        const GLuint name = s ? textures_->SurfaceTexture(s, &level, &image) : 0;
        if (name != attachedMore_[i] || attachedMoreTargets_[i] != s) {
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1 + static_cast<GLenum>(i),
                                   s ? image : GL_TEXTURE_2D, name, s ? level : 0);
            attachedMore_[i] = name;
            attachedMoreTargets_[i] = s;
        }
        if (s) targetMask_ |= static_cast<std::uint8_t>(2u << i);
    }
}

void GlRenderer::ApplyViewport() {
    const D3DVIEWPORT9& vp = device_->state().viewport;
    gl_.Viewport(static_cast<GLint>(vp.X), static_cast<GLint>(vp.Y), static_cast<GLsizei>(vp.Width),
                 static_cast<GLsizei>(vp.Height));
    gl_.DepthRange(vp.MinZ, vp.MaxZ);
}

void GlRenderer::ApplyRaster() {
    const DeviceState& st = device_->state();
    const auto& rs = st.rs;
    // Rows are flipped (row 0 at GL y = 0), which turns Direct3D's clockwise into GL's counter-clockwise.
    gl_.Enable(GlState::kCullFace, rs[D3DRS_CULLMODE] != D3DCULL_NONE);
    if (rs[D3DRS_CULLMODE] != D3DCULL_NONE) gl_.CullFace(rs[D3DRS_CULLMODE] == D3DCULL_CW ? GL_FRONT : GL_BACK);
    gl_.PolygonMode(rs[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                    : rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                              : GL_FILL);
    gl_.ColorMask(static_cast<std::uint8_t>(rs[D3DRS_COLORWRITEENABLE] & 0xf));
    // Off, a multisampled target takes one value per pixel (every sample the same); it changes nothing else.
    gl_.Enable(GlState::kMultisample, rs[D3DRS_MULTISAMPLEANTIALIAS] != 0);
    // Bit i lets a draw write sample i of a multisampled target; all bits set is the same as no mask.
    const bool masked = rs[D3DRS_MULTISAMPLEMASK] != 0xffffffffu;
    gl_.Enable(GlState::kSampleMask, masked);
    if (masked) gl_.SampleMask(rs[D3DRS_MULTISAMPLEMASK]);
    gl_.Enable(GlState::kScissorTest, rs[D3DRS_SCISSORTESTENABLE] != 0);
    if (rs[D3DRS_SCISSORTESTENABLE]) {
        const RECT& r = st.scissor;
        gl_.Scissor(r.left, r.top, std::max<LONG>(0, r.right - r.left), std::max<LONG>(0, r.bottom - r.top));
    }
}

void GlRenderer::ApplyDepth() {
    const DeviceState& st = device_->state();
    const auto& rs = st.rs;
    const bool hasDepth = st.depthStencil != nullptr;
    const bool depthTest = hasDepth && rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    gl_.Enable(GlState::kDepthTest, depthTest);
    if (depthTest) gl_.DepthFunc(CompareFunc(rs[D3DRS_ZFUNC]));
    gl_.DepthMask(depthTest && rs[D3DRS_ZWRITEENABLE]);
    const bool stencil = hasDepth && rs[D3DRS_STENCILENABLE];
    gl_.Enable(GlState::kStencilTest, stencil);
    if (stencil && rs[D3DRS_TWOSIDEDSTENCILMODE]) {
        // Two-sided: counter-clockwise triangles take the CCW set, every other primitive the usual one. With
        // rows flipped Direct3D's clockwise faces are GL's front faces (ApplyRaster). Reference and masks are
        // shared.
        const GLint ref = static_cast<GLint>(rs[D3DRS_STENCILREF]);
        gl_.StencilFuncSeparate(GL_FRONT, CompareFunc(rs[D3DRS_STENCILFUNC]), ref, rs[D3DRS_STENCILMASK]);
        gl_.StencilFuncSeparate(GL_BACK, CompareFunc(rs[D3DRS_CCW_STENCILFUNC]), ref, rs[D3DRS_STENCILMASK]);
        gl_.StencilOpSeparate(GL_FRONT, StencilOp(rs[D3DRS_STENCILFAIL]), StencilOp(rs[D3DRS_STENCILZFAIL]),
                              StencilOp(rs[D3DRS_STENCILPASS]));
        gl_.StencilOpSeparate(GL_BACK, StencilOp(rs[D3DRS_CCW_STENCILFAIL]), StencilOp(rs[D3DRS_CCW_STENCILZFAIL]),
                              StencilOp(rs[D3DRS_CCW_STENCILPASS]));
        gl_.StencilMask(rs[D3DRS_STENCILWRITEMASK]);
    } else if (stencil) {
        gl_.StencilFunc(CompareFunc(rs[D3DRS_STENCILFUNC]), static_cast<GLint>(rs[D3DRS_STENCILREF]),
                        rs[D3DRS_STENCILMASK]);
        gl_.StencilOp(StencilOp(rs[D3DRS_STENCILFAIL]), StencilOp(rs[D3DRS_STENCILZFAIL]),
                      StencilOp(rs[D3DRS_STENCILPASS]));
        gl_.StencilMask(rs[D3DRS_STENCILWRITEMASK]);
    }
    // Direct3D offsets depth by slope x SLOPESCALEDEPTHBIAS + DEPTHBIAS, the bias in depth units (0..1);
    // OpenGL counts its constant in steps of the bound depth buffer, so convert with that buffer's step.
    const float bias = AsFloat(rs[D3DRS_DEPTHBIAS]), slope = AsFloat(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
    const bool offset = hasDepth && (bias != 0.0f || slope != 0.0f) && std::isfinite(bias) && std::isfinite(slope);
    for (GlState::Cap cap : {GlState::kOffsetFill, GlState::kOffsetLine, GlState::kOffsetPoint})
        gl_.Enable(cap, offset);
    if (offset) gl_.PolygonOffset(slope, static_cast<float>(bias / DepthStep(st.depthStencil->format())));
}

void GlRenderer::ApplyBlend() {
    const DeviceState& st = device_->state();
    const auto& rs = st.rs;
    gl_.Enable(GlState::kBlend, rs[D3DRS_ALPHABLENDENABLE] != 0);
    if (!rs[D3DRS_ALPHABLENDENABLE]) return;
    DWORD src = rs[D3DRS_SRCBLEND], dst = rs[D3DRS_DESTBLEND];
    // BOTHSRCALPHA / BOTHINVSRCALPHA set both factors from the source one.
    if (src == D3DBLEND_BOTHSRCALPHA) src = D3DBLEND_SRCALPHA, dst = D3DBLEND_INVSRCALPHA;
    if (src == D3DBLEND_BOTHINVSRCALPHA) src = D3DBLEND_INVSRCALPHA, dst = D3DBLEND_SRCALPHA;
    DWORD srcA = src, dstA = dst, opA = rs[D3DRS_BLENDOP];
    if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
        srcA = rs[D3DRS_SRCBLENDALPHA], dstA = rs[D3DRS_DESTBLENDALPHA], opA = rs[D3DRS_BLENDOPALPHA];
    }
    const bool targetAlpha = HasAlphaChannel(st.renderTarget->format());
    gl_.BlendFunc(BlendFactor(src, false, targetAlpha), BlendFactor(dst, false, targetAlpha),
                  BlendFactor(srcA, true, targetAlpha), BlendFactor(dstA, true, targetAlpha));
    gl_.BlendEquation(BlendEquation(rs[D3DRS_BLENDOP]), BlendEquation(opA));
    float factor[4];
    ColorToFloats(rs[D3DRS_BLENDFACTOR], factor);
    gl_.BlendColor(factor);
}

void GlRenderer::Apply(Primitive primitive) {
    const DeviceState& st = device_->state();
    const std::uint32_t dirty = pending_;
    pending_ = 0;
    // A target whose memory was written since it was attached (a lock of a lockable target, UpdateSurface into
    // it) goes up before it is drawn on, or the draw would land on the older GPU copy and hide the write.
    if ((dirty & kDirtyTarget) || TargetMemoryNewer()) AttachTarget();
    gl_.BindFramebuffer(GL_FRAMEBUFFER, drawFbo_);
    // The fixed-function pipeline writes render target 0 only; the others keep what they hold.
    gl_.DrawBuffers(1);
    if (dirty & kDirtyViewport) ApplyViewport();
    if (dirty & kDirtyRaster) ApplyRaster();
    // Depth bias and blend factors that read destination alpha depend on the bound target's formats.
    if (dirty & (kDirtyDepth | kDirtyTarget)) ApplyDepth();
    if (dirty & (kDirtyBlend | kDirtyTarget)) ApplyBlend();
    programs_->Changed(dirty);
    programs_->Select(st, (dirty & kDirtyProgram) != 0 || primitive != drawing_, primitive);
    drawing_ = primitive;
    textures_->Bind(st, programs_->key());
    if (programs_->ready()) programs_->UploadUniforms(st);
}

// ---- Entry points ----

void GlRenderer::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil,
                       std::uint32_t changed) {
    assert(count == 0 || rects);
    assert(flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL));
    Begin(changed);
    if ((pending_ & kDirtyTarget) || TargetMemoryNewer()) {
        AttachTarget();
        pending_ &= ~static_cast<std::uint32_t>(kDirtyTarget);
        pending_ |= kDirtyBlend | kDirtyDepth;  // they follow the target's formats
    }
    gl_.BindFramebuffer(GL_FRAMEBUFFER, drawFbo_);
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) {
        float c[4];
        ColorToFloats(color, c);
        gl_.ClearColor(c);
        gl_.ColorMask(0xf);
        gl_.DrawBuffers(targetMask_);  // every render target is cleared
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        gl_.ClearDepth(z);
        gl_.DepthMask(true);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_STENCIL) {
        gl_.ClearStencil(static_cast<GLint>(stencil & 0xff));
        gl_.StencilMask(0xff);
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    // The next draw sets masks and scissor for itself again.
    pending_ |= kDirtyRaster | kDirtyDepth;
    // Clear covers the viewport, or the given rectangles inside it, and with the scissor test on only what
    // lies inside the scissor rectangle as well.
    const DeviceState& st = device_->state();
    const D3DVIEWPORT9& vp = st.viewport;
    LONG vx0 = static_cast<LONG>(vp.X), vy0 = static_cast<LONG>(vp.Y);
    LONG vx1 = vx0 + static_cast<LONG>(vp.Width), vy1 = vy0 + static_cast<LONG>(vp.Height);
    if (st.rs[D3DRS_SCISSORTESTENABLE]) {
        const RECT& sc = st.scissor;
        vx0 = std::max(vx0, sc.left), vy0 = std::max(vy0, sc.top);
        vx1 = std::min(vx1, sc.right), vy1 = std::min(vy1, sc.bottom);
    }
    const Surface* rt = st.renderTarget;
    auto clearRect = [&](LONG x0, LONG y0, LONG x1, LONG y1) {
        x0 = std::max(x0, vx0), y0 = std::max(y0, vy0), x1 = std::min(x1, vx1), y1 = std::min(y1, vy1);
        if (x0 >= x1 || y0 >= y1) return;
        // A clear of the whole target goes without scissor, which lets the driver take its fast path.
        const bool whole = x0 == 0 && y0 == 0 && static_cast<UINT>(x1) == rt->width() &&
                           static_cast<UINT>(y1) == rt->height() &&
                           (!st.depthStencil || (st.depthStencil->width() == rt->width() &&
                                                 st.depthStencil->height() == rt->height()));
        gl_.Enable(GlState::kScissorTest, !whole);
        if (!whole) gl_.Scissor(x0, y0, x1 - x0, y1 - y0);
        glClear(mask);
    };
    if (count == 0) {
        clearRect(vx0, vy0, vx1, vy1);
    } else {
        for (DWORD i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
    }
    if (flags & D3DCLEAR_TARGET) MarkTargetsCleared();
}

void GlRenderer::Draw(const DrawCall& call, std::uint32_t changed) {
    Begin(changed);
    const bool streamsChanged = (pending_ & kDirtyStreams) != 0;  // Apply takes the pending groups
    // Triangles in the point fill mode are drawn as points of their vertices, with the point size.
    const bool points = call.type == D3DPT_POINTLIST ||
                        (call.type >= D3DPT_TRIANGLELIST && device_->state().rs[D3DRS_FILLMODE] == D3DFILL_POINT);
    const bool lines = call.type == D3DPT_LINELIST || call.type == D3DPT_LINESTRIP;
    Apply(points ? Primitive::Points : lines ? Primitive::Lines : Primitive::Triangles);
    if (!programs_->ready()) return;
    const DeviceState& st = device_->state();
    // The device checked the call against its state before passing it on.
    assert(call.vertexCount > 0 && st.layout.Has(kInputPosition));
    assert(call.upVertices || !call.indexed || st.indices);
    assert(!call.upVertices || (call.upStride > 0 && (!call.indexed || call.upIndices)));
    const GLenum mode = PrimitiveMode(call.type);
    if (call.upVertices) {
        geometry_->BindUserPointers(call, st.layout);
        if (call.indexed) {
            glDrawElements(mode, static_cast<GLsizei>(call.vertexCount),
                           call.upIndex32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, nullptr);
        } else {
            glDrawArrays(mode, 0, static_cast<GLsizei>(call.vertexCount));
        }
    } else {
        // A run of draws from the same streams (each after its own state change) points the attributes once.
        if (streamsChanged || !geometry_->StreamsCurrent(st)) geometry_->BindStreams(st);
        if (call.indexed) {
            geometry_->BindIndices(st.indices);
            const bool wide = st.indices->format() == D3DFMT_INDEX32;
            const std::uintptr_t offset = static_cast<std::uintptr_t>(call.startIndex) * (wide ? 4 : 2);
            glDrawElementsBaseVertex(mode, static_cast<GLsizei>(call.vertexCount),
                                     wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, reinterpret_cast<void*>(offset),
                                     call.baseVertex);
        } else {
            glDrawArrays(mode, static_cast<GLint>(call.startVertex), static_cast<GLsizei>(call.vertexCount));
        }
    }
    MarkTargetDrawn();
}

void GlRenderer::ReadFrom(Surface* surface, GLint packAlignment) {
    GLint level = 0;
    GLenum image = GL_TEXTURE_2D;
    const GLuint texture = ReadableTexture(surface, &level, &image);
    gl_.BindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, image, texture, level);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    gl_.PixelStore(GL_PACK_ALIGNMENT, packAlignment);
}

void GlRenderer::ReadRgba(Surface* surface, int width, int height, std::uint8_t* rgba) {
    ReadFrom(surface, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    const D3DFORMAT format = surface->format();
    if (format == D3DFMT_X8R8G8B8) {
        MakeOpaque(rgba, static_cast<std::size_t>(width), static_cast<std::size_t>(height),
                   static_cast<std::size_t>(width) * 4);
    } else if (format != D3DFMT_A8R8G8B8 && CanEncode(format) && CanDecode(format)) {
        // Targets of fewer bits are kept at 8 bits a channel: the picture is what their own format holds.
        const std::size_t n = static_cast<std::size_t>(width);
        std::vector<float> pixels(n * 4);
        std::vector<std::uint8_t> stored(n * 16);
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = rgba + static_cast<std::size_t>(y) * n * 4;
            for (std::size_t i = 0; i < n * 4; ++i) pixels[i] = row[i] / 255.0f;
            EncodeRow(format, pixels.data(), static_cast<UINT>(width), stored.data());
            DecodeRow(format, stored.data(), static_cast<UINT>(width), pixels.data());
            for (std::size_t i = 0; i < n * 4; ++i) {
                row[i] = static_cast<std::uint8_t>(std::clamp(pixels[i], 0.0f, 1.0f) * 255.0f + 0.5f);
            }
        }
    }
}

void GlRenderer::ReadBack(Surface* surface) {
    context_->MakeCurrent();
    ReadFrom(surface, 4);
    const GLsizei w = static_cast<GLsizei>(surface->width()), h = static_cast<GLsizei>(surface->height());
    const D3DFORMAT format = surface->format();
    if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8) {
        glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, surface->bits());
        if (format == D3DFMT_X8R8G8B8)
            MakeOpaque(surface->bits(), surface->width(), surface->height(), surface->pitch());
    } else if (CanEncode(format)) {
        std::vector<float> pixels(static_cast<std::size_t>(w) * h * 4);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_FLOAT, pixels.data());
        for (GLsizei y = 0; y < h; ++y) {
            EncodeRow(format, &pixels[static_cast<std::size_t>(y) * w * 4], surface->width(),
                      surface->bits() + static_cast<std::size_t>(y) * surface->pitch());
        }
    }
    surface->fresh = Fresh::Both;
}

void GlRenderer::Present(const PresentFrame& frame) {
    context_->MakeCurrent();
    gl_.SetCaching(StateCacheEnabled());
    Surface* back = frame.back;
    const GLint w = static_cast<GLint>(back->width()), h = static_cast<GLint>(back->height());
    // A frame goes to the SDL window of its target when the context lives on SDL windows; headless, or off
    // screen, it is only reported.
    SDL_Window* target = frame.window && context_->onWindow() ? tarn::platform::SdlWindowOf(frame.window) : nullptr;
    if (target && !context_->MakeCurrentOn(target)) {
        Diagnostic("Present: the window cannot show this device's frames");
        context_->MakeCurrent();
        target = nullptr;
    }
    if (target) {
        GLint level = 0;
        GLenum image = GL_TEXTURE_2D;
        const GLuint texture = ReadableTexture(back, &level, &image);
        int dw = 0, dh = 0;
        SDL_GL_GetDrawableSize(target, &dw, &dh);
        if (dw <= 0 || dh <= 0) dw = w, dh = h;
        const RECT sr = frame.sourceRect ? *frame.sourceRect : RECT{0, 0, w, h};
        const RECT dr = frame.destRect ? *frame.destRect : RECT{0, 0, dw, dh};
        gl_.BindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, image, texture, level);
        gl_.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        gl_.Enable(GlState::kScissorTest, false);
        gl_.ColorMask(0xf);
        pending_ |= kDirtyRaster;
        const bool same = sr.right - sr.left == dr.right - dr.left && sr.bottom - sr.top == dr.bottom - dr.top;
        if (frame.gamma) {
            PresentThroughRamp(texture, sr, dr, dh, *frame.gamma);
        } else {
            // Row 0 is the top of the picture: flip on the way to the window.
            glBlitFramebuffer(sr.left, sr.top, sr.right, sr.bottom, dr.left, dh - dr.top, dr.right, dh - dr.bottom,
                              GL_COLOR_BUFFER_BIT, same ? GL_NEAREST : GL_LINEAR);
        }
        context_->SwapOn(target);
        context_->MakeCurrent();
        // Framebuffer 0 belonged to the window just shown; the shadow's record of it must be asked again.
        gl_.BindFramebuffer(GL_FRAMEBUFFER, drawFbo_);
    } else {
        glFlush();
    }
    if (frame.window) {
        struct Read {
            GlRenderer* renderer;
            const PresentFrame* frame;
        } read{this, &frame};
        tarn::platform::FramePresented(
            frame.window, w, h,
            [](void* context, int width, int height, std::uint8_t* rgba) -> bool {
                auto* r = static_cast<Read*>(context);
                r->renderer->ReadRgba(r->frame->back, width, height, rgba);
                if (r->frame->gamma) {
                    ApplyGammaRamp(*r->frame->gamma, rgba,
                                   static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
                }
                return true;
            },
            &read);
    }
}

void GlRenderer::PresentThroughRamp(GLuint texture, const RECT& sr, const RECT& dr, int windowHeight,
                                    const D3DGAMMARAMP& ramp) {
    if (!gammaProgram_) {
        // One triangle over the viewport; the source rectangle (u0, v0, u1, v1) is read top row first, so the
        // window's top (v = 1 in the viewport) shows the rectangle's first row.
        static const char* kVertex = R"(#version 330 core
uniform vec4 sourceRect;
out vec2 uv;
void main() {
    vec2 corner = vec2(float((gl_VertexID & 1) * 4 - 1), float((gl_VertexID & 2) * 2 - 1));
    vec2 t = corner * 0.5 + 0.5;
    uv = vec2(mix(sourceRect.x, sourceRect.z, t.x), mix(sourceRect.w, sourceRect.y, t.y));
    gl_Position = vec4(corner, 0.0, 1.0);
})";
        // Each channel's 8-bit value picks its entry of the ramp.
        static const char* kFragment = R"(#version 330 core
uniform sampler2D image;
uniform sampler2D ramp;
in vec2 uv;
out vec4 colour;
void main() {
    vec3 c = clamp(texture(image, uv).rgb, 0.0, 1.0);
    ivec3 i = ivec3(c * 255.0 + 0.5);
    colour = vec4(texelFetch(ramp, ivec2(i.r, 0), 0).r, texelFetch(ramp, ivec2(i.g, 0), 0).g,
                  texelFetch(ramp, ivec2(i.b, 0), 0).b, 1.0);
})";
        auto compile = [](GLenum type, const char* text) {
            const GLuint shader = glCreateShader(type);
            glShaderSource(shader, 1, &text, nullptr);
            glCompileShader(shader);
            return shader;
        };
        const GLuint vs = compile(GL_VERTEX_SHADER, kVertex), fs = compile(GL_FRAGMENT_SHADER, kFragment);
        gammaProgram_ = glCreateProgram();
        glAttachShader(gammaProgram_, vs);
        glAttachShader(gammaProgram_, fs);
        glLinkProgram(gammaProgram_);
        glDeleteShader(vs);
        glDeleteShader(fs);
        GLint linked = 0;
        glGetProgramiv(gammaProgram_, GL_LINK_STATUS, &linked);
        if (!linked) Diagnostic("the gamma program does not link");
        gl_.UseProgram(gammaProgram_);
        glUniform1i(glGetUniformLocation(gammaProgram_, "image"), 0);
        glUniform1i(glGetUniformLocation(gammaProgram_, "ramp"), 1);
        gammaSourceRect_ = glGetUniformLocation(gammaProgram_, "sourceRect");
        glGenTextures(1, &gammaRamp_);
        gl_.BindTextureForUpdate(GL_TEXTURE_2D, gammaRamp_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB16, 256, 1, 0, GL_RGB, GL_UNSIGNED_SHORT, nullptr);
        glGenVertexArrays(1, &gammaVao_);
        glGenSamplers(1, &gammaSampler_);
        for (GLenum name : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER})
            glSamplerParameteri(gammaSampler_, name, GL_NEAREST);
        glSamplerParameteri(gammaSampler_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glSamplerParameteri(gammaSampler_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    std::uint16_t entries[256 * 3];
    for (int i = 0; i < 256; ++i) {
        entries[3 * i] = ramp.red[i], entries[3 * i + 1] = ramp.green[i], entries[3 * i + 2] = ramp.blue[i];
    }
    gl_.BindTextureForUpdate(GL_TEXTURE_2D, gammaRamp_);
    gl_.PixelStore(GL_UNPACK_ALIGNMENT, 2);
    gl_.PixelStore(GL_UNPACK_ROW_LENGTH, 0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 256, 1, GL_RGB, GL_UNSIGNED_SHORT, entries);
    // Every state the pass touches goes through the shadow, and the next draw applies its own again.
    for (GlState::Cap cap : {GlState::kCullFace, GlState::kScissorTest, GlState::kDepthTest, GlState::kStencilTest,
                             GlState::kBlend, GlState::kOffsetFill, GlState::kMultisample, GlState::kSampleMask})
        gl_.Enable(cap, false);
    for (int i = 0; i < 8; ++i) gl_.Enable(static_cast<GlState::Cap>(GlState::kClipDistance0 + i), false);
    gl_.PolygonMode(GL_FILL);
    gl_.ColorMask(0xf);
    gl_.Viewport(dr.left, windowHeight - dr.bottom, dr.right - dr.left, dr.bottom - dr.top);
    gl_.UseProgram(gammaProgram_);
    gl_.BindTexture(0, GL_TEXTURE_2D, texture);
    gl_.BindTexture(1, GL_TEXTURE_2D, gammaRamp_);
    gl_.BindSampler(0, gammaSampler_);
    gl_.BindSampler(1, gammaSampler_);
    const Surface* back = device_->backBuffer();
    const float w = static_cast<float>(back->width()), h = static_cast<float>(back->height());
    glUniform4f(gammaSourceRect_, sr.left / w, sr.top / h, sr.right / w, sr.bottom / h);
    // A vertex array of its own, so that the attributes the backend keeps set stay as they are.
    GLint vertexArray = 0;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray);
    glBindVertexArray(gammaVao_);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(static_cast<GLuint>(vertexArray));
    pending_ = kDirtyAll;
}

bool GlRenderer::Blit(Surface* source, const RECT& sr, Surface* destination, const RECT& dr, bool linear) {
    assert(sr.left < sr.right && sr.top < sr.bottom && dr.left < dr.right && dr.top < dr.bottom);
    if (!destination->isRenderTarget()) return false;
    if (IsCompressed(source->format()) && !source->inTexture()) return false;
    // A framebuffer blit copies the stored channels and ignores the swizzle the sampler reads them through:
    // luminance, alpha and two-channel storage, and the alpha that formats without one keep, would come out
    // as stored rather than as Direct3D reads them. Such sources go through memory (only the alpha may differ
    // when the destination keeps none).
    const GlFormat stored =
        source->isRenderTarget() ? RenderTargetFormat(source->format()) : TextureFormat(source->format());
    const bool colourAsStored =
        stored.swizzle[0] == GL_RED && stored.swizzle[1] == GL_GREEN && stored.swizzle[2] == GL_BLUE;
    const bool alphaAsStored = stored.swizzle[3] == GL_ALPHA || !HasAlphaChannel(destination->format());
    if (!colourAsStored || !alphaAsStored) return false;
    context_->MakeCurrent();
    gl_.SetCaching(StateCacheEnabled());
    GLint srcLevel = 0, dstLevel = 0;
    GLenum srcImage = GL_TEXTURE_2D, dstImage = GL_TEXTURE_2D;
    const GLuint src = ReadableTexture(source, &srcLevel, &srcImage);
    const GLuint dst = textures_->SurfaceTexture(destination, &dstLevel, &dstImage);
    if (!src || !dst) return false;
    gl_.BindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, srcImage, src, srcLevel);
    gl_.BindFramebuffer(GL_DRAW_FRAMEBUFFER, scratchFbo_);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, dstImage, dst, dstLevel);
    if (glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE ||
        glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        return false;
    }
    gl_.Enable(GlState::kScissorTest, false);
    gl_.ColorMask(0xf);
    pending_ |= kDirtyRaster;
    glBlitFramebuffer(sr.left, sr.top, sr.right, sr.bottom, dr.left, dr.top, dr.right, dr.bottom, GL_COLOR_BUFFER_BIT,
                      linear ? GL_LINEAR : GL_NEAREST);
    destination->fresh = Fresh::GpuNewer;
    return true;
}

bool GlRenderer::Fill(Surface* surface, const RECT& rect, D3DCOLOR color) {
    assert(rect.left < rect.right && rect.top < rect.bottom);
    if (!surface->isRenderTarget()) return false;
    context_->MakeCurrent();
    gl_.SetCaching(StateCacheEnabled());
    GLint level = 0;
    GLenum image = GL_TEXTURE_2D;
    if (surface->samples() > 1) {
        const GLuint samples = textures_->ColorRenderbuffer(surface);
        gl_.BindFramebuffer(GL_FRAMEBUFFER, scratchFbo_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, samples);
    } else {
        const GLuint texture = textures_->SurfaceTexture(surface, &level, &image);
        gl_.BindFramebuffer(GL_FRAMEBUFFER, scratchFbo_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, image, texture, level);
    }
    float c[4];
    ColorToFloats(color, c);
    gl_.ClearColor(c);
    gl_.ColorMask(0xf);
    gl_.Enable(GlState::kScissorTest, true);
    gl_.Scissor(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    pending_ |= kDirtyRaster;
    glClear(GL_COLOR_BUFFER_BIT);
    surface->fresh = Fresh::GpuNewer;
    return true;
}

void GlRenderer::Forget(ResourceCore* resource) {
    context_->MakeCurrent();
    if (geometry_->Forget(resource)) return;
    if (static_cast<const ResourceCore*>(attachedTarget_) == resource) attachedColor_ = 0, attachedTarget_ = nullptr;
    const GLuint name = textures_->Forget(resource);
    if (!name) return;
    // GL detaches a deleted image from the bound framebuffer; the record of what is attached must agree.
    if (attachedColor_ == name) attachedColor_ = 0, attachedTarget_ = nullptr;
    if (attachedDepth_ == name) attachedDepth_ = 0;
    for (std::size_t i = 0; i < attachedMore_.size(); ++i) {
        if (attachedMore_[i] == name) attachedMore_[i] = 0, attachedMoreTargets_[i] = nullptr;
    }
}

void GlRenderer::Reset() {
    context_->MakeCurrent();
    pending_ = kDirtyAll;
    attachedColor_ = attachedDepth_ = 0;
    attachedTarget_ = nullptr;
    const auto& p = device_->presentParameters();
    context_->SetSwapInterval(p.PresentationInterval == static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE) ? 0 : 1);
    FollowPresentationMode();
}

// Full screen, the window the context lives on loses the window manager's frame (the device has placed its
// client area over the display); windowed again, it gets its frame back.
void GlRenderer::FollowPresentationMode() {
    SDL_Window* window = context_->window();
    if (!window) return;
    const bool fullScreen = !device_->presentParameters().Windowed;
    if (fullScreen && !madeBorderless_ && !(SDL_GetWindowFlags(window) & SDL_WINDOW_BORDERLESS)) {
        SDL_SetWindowBordered(window, SDL_FALSE);
        madeBorderless_ = true;
    } else if (!fullScreen && madeBorderless_) {
        SDL_SetWindowBordered(window, SDL_TRUE);
        madeBorderless_ = false;
    }
}

unsigned GlRenderer::TakeErrors() {
    context_->MakeCurrent();
    unsigned count = 0;
    for (GLenum e = glGetError(); e != GL_NO_ERROR && count < 64; e = glGetError()) {
        Diagnostic("OpenGL error 0x%x", e);
        ++count;
    }
    return count;
}

void GlRenderer::Finish() {
    context_->MakeCurrent();
    glFinish();
}

}  // namespace

void SetStateCacheEnabled(bool enabled) { gStateCache = enabled ? 1 : 0; }

bool StateCacheEnabled() {
    if (gStateCache < 0) {
        const char* env = std::getenv("TARN_D3D9_STATE_CACHE");
        gStateCache = env && std::strcmp(env, "0") == 0 ? 0 : 1;
    }
    return gStateCache == 1;
}

namespace {

// The point sizes and sampler anisotropy the driver offers, asked of a throw-away context of its own.
void ProbeGlRasterLimits(BackendLimits* limits) {
    std::string error;
    auto context = GlContext::Create(nullptr, &error);
    if (!context) return;
    GLfloat range[2] = {1.0f, 1.0f};
    glGetFloatv(GL_POINT_SIZE_RANGE, range);
    limits->maxPointSize = range[1] >= 1.0f ? range[1] : 1.0f;
    GLint extensions = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &extensions);
    bool anisotropic = false;
    for (GLint i = 0; i < extensions; ++i) {
        const char* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (name && (std::strcmp(name, "GL_EXT_texture_filter_anisotropic") == 0 ||
                     std::strcmp(name, "GL_ARB_texture_filter_anisotropic") == 0)) {
            anisotropic = true;
        }
    }
    limits->maxAnisotropy = 1;
    if (anisotropic) {
        GLfloat most = 1.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &most);
        limits->maxAnisotropy = most >= 2.0f ? static_cast<UINT>(most) : 1;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
}

}  // namespace

const BackendLimits& GlBackendLimits() {
    // Asked once, of a throw-away surfaceless context; when none can be made, the fixed values stand.
    static const BackendLimits limits = [] {
        BackendLimits probed;
        int uniforms = 0;
        if (!ProbeGlLimits(&probed.maxTextureSize, &probed.s3tc, &probed.maxVolumeExtent, &uniforms,
                           &probed.sampleCounts)) {
            return BackendLimits{};
        }
        // The palette of indexed vertex blending (one mat4 a matrix) within the vertex uniforms, leaving the
        // other uniforms of the largest program a quarter of them.
        const int palette = std::clamp((uniforms - uniforms / 4) / 16, 1, kBlendPalette);
        probed.maxVertexBlendMatrixIndex = static_cast<UINT>(palette - 1);
        ProbeGlRasterLimits(&probed);
        return probed;
    }();
    return limits;
}

std::unique_ptr<Renderer> CreateGlRenderer(Device* device, HWND window, std::string* error) {
    SDL_Window* sdl = window ? tarn::platform::SdlWindowOf(window) : nullptr;
    std::unique_ptr<GlContext> context = GlContext::Create(sdl, error);
    if (!context && sdl) {
        // A window without a usable GL context still gets pictures through --screenshot: draw off screen.
        Diagnostic("no OpenGL context on the window (%s); drawing off screen", error->c_str());
        context = GlContext::Create(nullptr, error);
    }
    if (!context) return nullptr;
    const auto& p = device->presentParameters();
    context->SetSwapInterval(p.PresentationInterval == static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE) ? 0 : 1);
    auto renderer = std::make_unique<GlRenderer>(device, std::move(context));
    renderer->FollowPresentationMode();
    return renderer;
}

}  // namespace tarn::d3d9
