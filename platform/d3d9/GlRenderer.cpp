// The OpenGL backend: creation, state application, draws, clears, present, copies and fills. Every image is
// stored top row first (row 0 of Direct3D memory is GL row 0) and drawing flips clip-space y, so render-target
// textures, uploaded textures and the back buffer share one orientation; only Present flips, on the way to the
// window. The device's changed-state groups say what to look at again; every GL state call goes through the
// shadow (GlState), which sends only what GL does not already hold. Images, programs and vertex input are units
// of their own (GlTextures, GlPrograms, GlGeometry).
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
    void Present(HWND window) override;
    void ReadBack(Surface* surface) override;
    bool Blit(Surface* source, const RECT& sourceRect, Surface* destination, const RECT& destRect,
              bool linear) override;
    bool Fill(Surface* surface, const RECT& rect, D3DCOLOR color) override;
    void Forget(ResourceCore* resource) override;
    void Reset() override;
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
    GLint timestampBits_ = 0;  // of the driver's GL_TIMESTAMP counter; 0: no timestamps
    Primitive drawing_ = Primitive::Triangles;  // what the current program was chosen for
    GlQueryContext queries_;
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
    const GLuint color = textures_->SurfaceTexture(st.renderTarget, &level, &image);
    const GLuint depth = st.depthStencil ? textures_->DepthRenderbuffer(st.depthStencil) : 0;
    gl_.BindFramebuffer(GL_FRAMEBUFFER, drawFbo_);
    if (color != attachedColor_ || attachedTarget_ != st.renderTarget) {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, image, color, level);
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
        geometry_->BindStreams(st);
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
    const GLuint texture = textures_->SurfaceTexture(surface, &level, &image);
    gl_.BindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, image, texture, level);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    gl_.PixelStore(GL_PACK_ALIGNMENT, packAlignment);
}

void GlRenderer::ReadRgba(Surface* surface, int width, int height, std::uint8_t* rgba) {
    ReadFrom(surface, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    if (surface->format() == D3DFMT_X8R8G8B8) {
        MakeOpaque(rgba, static_cast<std::size_t>(width), static_cast<std::size_t>(height),
                   static_cast<std::size_t>(width) * 4);
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

void GlRenderer::Present(HWND window) {
    context_->MakeCurrent();
    gl_.SetCaching(StateCacheEnabled());
    Surface* back = device_->backBuffer();
    const GLint w = static_cast<GLint>(back->width()), h = static_cast<GLint>(back->height());
    if (context_->window()) {
        GLint level = 0;
        GLenum image = GL_TEXTURE_2D;
        const GLuint texture = textures_->SurfaceTexture(back, &level, &image);
        int dw = 0, dh = 0;
        context_->DrawableSize(&dw, &dh);
        gl_.BindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, image, texture, level);
        gl_.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        gl_.Enable(GlState::kScissorTest, false);
        gl_.ColorMask(0xf);
        pending_ |= kDirtyRaster;
        // Row 0 is the top of the picture: flip on the way to the window.
        glBlitFramebuffer(0, 0, w, h, 0, dh > 0 ? dh : h, dw > 0 ? dw : w, 0, GL_COLOR_BUFFER_BIT,
                          dw == w && dh == h ? GL_NEAREST : GL_LINEAR);
        context_->Swap();
    } else {
        glFlush();
    }
    if (window) {
        struct Read {
            GlRenderer* renderer;
            Surface* surface;
        } read{this, back};
        tarn::platform::FramePresented(
            window, w, h,
            [](void* context, int width, int height, std::uint8_t* rgba) -> bool {
                auto* r = static_cast<Read*>(context);
                r->renderer->ReadRgba(r->surface, width, height, rgba);
                return true;
            },
            &read);
    }
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
    const GLuint src = textures_->SurfaceTexture(source, &srcLevel, &srcImage);
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
    const GLuint texture = textures_->SurfaceTexture(surface, &level, &image);
    gl_.BindFramebuffer(GL_FRAMEBUFFER, scratchFbo_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, image, texture, level);
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
        if (!ProbeGlLimits(&probed.maxTextureSize, &probed.s3tc, &probed.maxVolumeExtent, &uniforms)) {
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
    return std::make_unique<GlRenderer>(device, std::move(context));
}

}  // namespace tarn::d3d9
