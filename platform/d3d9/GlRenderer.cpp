// The OpenGL backend. Every image is stored top row first (row 0 of Direct3D memory is GL row 0) and drawing
// flips clip-space y, so render-target textures, uploaded textures and the back buffer all share one orientation;
// only Present flips when showing the back buffer. State is applied from the device's dirty groups; programs are
// cached by ProgramKey; buffers and texture levels are uploaded only when their memory changed.
#include "platform/d3d9/GlRenderer.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "platform/Runner.h"
#include "platform/d3d9/FixedFunction.h"
#include "platform/d3d9/GlContext.h"

#ifndef GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
#define GL_COMPRESSED_RGBA_S3TC_DXT1_EXT 0x83F1
#define GL_COMPRESSED_RGBA_S3TC_DXT3_EXT 0x83F2
#define GL_COMPRESSED_RGBA_S3TC_DXT5_EXT 0x83F3
#endif
#ifndef GL_MIRROR_CLAMP_TO_EDGE
#define GL_MIRROR_CLAMP_TO_EDGE 0x8743
#endif

namespace tarn::d3d9 {
namespace {

enum class Convert { None, ToRgba8, ToRgba32F };

struct GlFormat {
    GLenum internal, format, type;
    GLint swizzle[4];
    bool compressed;
    Convert convert;
};

constexpr GLint R = GL_RED, G = GL_GREEN, B = GL_BLUE, A = GL_ALPHA, ONE = GL_ONE, ZERO = GL_ZERO;

GlFormat FormatFor(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
        return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {R, G, B, A}, false, Convert::None};
    case D3DFMT_X8R8G8B8:
        return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {R, G, B, ONE}, false, Convert::None};
    case D3DFMT_R8G8B8:
        return {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, {R, G, B, ONE}, false, Convert::None};
    case D3DFMT_R5G6B5:
        return {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {R, G, B, ONE}, false, Convert::None};
    case D3DFMT_X1R5G5B5:
        return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {R, G, B, ONE}, false, Convert::None};
    case D3DFMT_A1R5G5B5:
        return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {R, G, B, A}, false, Convert::None};
    case D3DFMT_A4R4G4B4:
        return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {R, G, B, A}, false, Convert::None};
    case D3DFMT_X4R4G4B4:
        return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {R, G, B, ONE}, false, Convert::None};
    case D3DFMT_A8B8G8R8:
        return {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {R, G, B, A}, false, Convert::None};
    case D3DFMT_X8B8G8R8:
        return {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {R, G, B, ONE}, false, Convert::None};
    case D3DFMT_A2B10G10R10:
        return {GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, {R, G, B, A}, false, Convert::None};
    case D3DFMT_A2R10G10B10:
        return {GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, {R, G, B, A}, false, Convert::None};
    case D3DFMT_G16R16:
        return {GL_RG16, GL_RG, GL_UNSIGNED_SHORT, {R, G, ONE, ONE}, false, Convert::None};
    case D3DFMT_A16B16G16R16:
        return {GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, {R, G, B, A}, false, Convert::None};
    case D3DFMT_L8:
        return {GL_R8, GL_RED, GL_UNSIGNED_BYTE, {R, R, R, ONE}, false, Convert::None};
    case D3DFMT_A8L8:
        return {GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {R, R, R, G}, false, Convert::None};
    case D3DFMT_L16:
        return {GL_R16, GL_RED, GL_UNSIGNED_SHORT, {R, R, R, ONE}, false, Convert::None};
    case D3DFMT_A8:
        return {GL_R8, GL_RED, GL_UNSIGNED_BYTE, {ZERO, ZERO, ZERO, R}, false, Convert::None};
    case D3DFMT_V8U8:
        return {GL_RG8_SNORM, GL_RG, GL_BYTE, {R, G, ONE, ONE}, false, Convert::None};
    case D3DFMT_Q8W8V8U8:
        return {GL_RGBA8_SNORM, GL_RGBA, GL_BYTE, {R, G, B, A}, false, Convert::None};
    case D3DFMT_V16U16:
        return {GL_RG16_SNORM, GL_RG, GL_SHORT, {R, G, ONE, ONE}, false, Convert::None};
    case D3DFMT_Q16W16V16U16:
        return {GL_RGBA16_SNORM, GL_RGBA, GL_SHORT, {R, G, B, A}, false, Convert::None};
    case D3DFMT_R16F:
        return {GL_R16F, GL_RED, GL_HALF_FLOAT, {R, ONE, ONE, ONE}, false, Convert::None};
    case D3DFMT_G16R16F:
        return {GL_RG16F, GL_RG, GL_HALF_FLOAT, {R, G, ONE, ONE}, false, Convert::None};
    case D3DFMT_A16B16G16R16F:
        return {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, {R, G, B, A}, false, Convert::None};
    case D3DFMT_R32F:
        return {GL_R32F, GL_RED, GL_FLOAT, {R, ONE, ONE, ONE}, false, Convert::None};
    case D3DFMT_G32R32F:
        return {GL_RG32F, GL_RG, GL_FLOAT, {R, G, ONE, ONE}, false, Convert::None};
    case D3DFMT_A32B32G32R32F:
        return {GL_RGBA32F, GL_RGBA, GL_FLOAT, {R, G, B, A}, false, Convert::None};
    case D3DFMT_DXT1:
        return {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, {R, G, B, A}, true, Convert::None};
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
        return {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, {R, G, B, A}, true, Convert::None};
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, {R, G, B, A}, true, Convert::None};
    case D3DFMT_L6V5U5:
    case D3DFMT_X8L8V8U8:
    case D3DFMT_A2W10V10U10:
    case D3DFMT_CxV8U8:
        return {GL_RGBA16F, GL_RGBA, GL_FLOAT, {R, G, B, A}, false, Convert::ToRgba32F};
    default:  // R3G3B2, A8R3G3B2, A4L4, packed pairs, palettes: through the codec
        return {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {R, G, B, A}, false, Convert::ToRgba8};
    }
}

// Render targets keep 8-bit or float RGBA storage whatever their Direct3D format; 16-bit formats convert when
// their memory is uploaded (UpdateSurface into a render target, unlocking a lockable one).
GlFormat RenderTargetFormatFor(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_A32B32G32R32F:
        return FormatFor(format);
    default: {
        const bool opaque = format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5;
        return {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {R, G, B, opaque ? ONE : A}, false, Convert::ToRgba8};
    }
    }
}

// `targetAlpha` is false for render targets without an alpha channel (X8R8G8B8, R5G6B5, X1R5G5B5, ...): their
// storage keeps whatever alpha was last written, but Direct3D reads their alpha as 1.
GLenum BlendFactor(DWORD blend, bool alphaSlot, bool targetAlpha) {
    if (!targetAlpha) {
        if (blend == D3DBLEND_DESTALPHA) return GL_ONE;
        if (blend == D3DBLEND_INVDESTALPHA) return GL_ZERO;
        if (blend == D3DBLEND_SRCALPHASAT) return alphaSlot ? GL_ONE : GL_ZERO;  // min(As, 1 - 1)
    }
    switch (blend) {
    case D3DBLEND_ZERO:
        return GL_ZERO;
    case D3DBLEND_ONE:
        return GL_ONE;
    case D3DBLEND_SRCCOLOR:
        return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
        return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
        return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
        return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
        return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
        return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
        return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
        return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
        return alphaSlot ? GL_ONE : GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR:
        return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR:
        return GL_ONE_MINUS_CONSTANT_COLOR;
    default:
        return GL_ONE;
    }
}

GLenum BlendEquation(DWORD op) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT:
        return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT:
        return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN:
        return GL_MIN;
    case D3DBLENDOP_MAX:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

GLenum CompareFunc(DWORD func) {
    switch (func) {
    case D3DCMP_NEVER:
        return GL_NEVER;
    case D3DCMP_LESS:
        return GL_LESS;
    case D3DCMP_EQUAL:
        return GL_EQUAL;
    case D3DCMP_LESSEQUAL:
        return GL_LEQUAL;
    case D3DCMP_GREATER:
        return GL_GREATER;
    case D3DCMP_NOTEQUAL:
        return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL:
        return GL_GEQUAL;
    default:
        return GL_ALWAYS;
    }
}

GLenum StencilOp(DWORD op) {
    switch (op) {
    case D3DSTENCILOP_ZERO:
        return GL_ZERO;
    case D3DSTENCILOP_REPLACE:
        return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT:
        return GL_INCR;
    case D3DSTENCILOP_DECRSAT:
        return GL_DECR;
    case D3DSTENCILOP_INVERT:
        return GL_INVERT;
    case D3DSTENCILOP_INCR:
        return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR:
        return GL_DECR_WRAP;
    default:
        return GL_KEEP;
    }
}

GLenum AddressMode(DWORD mode) {
    switch (mode) {
    case D3DTADDRESS_MIRROR:
        return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
        return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
        return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE:
        return GL_MIRROR_CLAMP_TO_EDGE;
    default:
        return GL_REPEAT;
    }
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE type) {
    switch (type) {
    case D3DPT_POINTLIST:
        return GL_POINTS;
    case D3DPT_LINELIST:
        return GL_LINES;
    case D3DPT_LINESTRIP:
        return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
        return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
        return GL_TRIANGLE_FAN;
    default:
        return GL_TRIANGLES;
    }
}

float AsFloat(DWORD bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

void ColorToFloats(D3DCOLOR c, float* out) {
    out[0] = ((c >> 16) & 0xff) / 255.0f;
    out[1] = ((c >> 8) & 0xff) / 255.0f;
    out[2] = (c & 0xff) / 255.0f;
    out[3] = ((c >> 24) & 0xff) / 255.0f;
}

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

struct Uniforms {
    GLint world, worldView, worldViewProj, normalMatrix, viewport, depthRange, texMatrix, clipPlane;
    GLint matDiffuse, matAmbient, matSpecular, matEmissive, matPower, globalAmbient;
    GLint lightDiffuse, lightSpecular, lightAmbient, lightPosition, lightDirection, lightAttenuation, lightSpot;
    GLint fog, fogColor, alphaRef, textureFactor, stageConstant, pointBias;
};

struct Program {
    GLuint name = 0;
    Uniforms u{};
    std::array<int, kMaxActiveLights> lights{};
    int lightCount = 0;
    std::uint64_t transforms = 0, lighting = 0, material = 0, constants = 0, texMatrices = 0, viewport = 0,
                  textures = 0;
    bool linked = false;
};

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

int gStateCache = -1;  // -1: from the environment

}  // namespace

void SetStateCacheEnabled(bool enabled) { gStateCache = enabled ? 1 : 0; }

bool StateCacheEnabled() {
    if (gStateCache < 0) {
        const char* env = std::getenv("TARN_D3D9_STATE_CACHE");
        gStateCache = env && std::strcmp(env, "0") == 0 ? 0 : 1;
    }
    return gStateCache == 1;
}

struct GlRenderer::Impl {
    Device* device = nullptr;
    std::unique_ptr<GlContext> context;
    GLuint drawFbo = 0, readFbo = 0, scratchFbo = 0;
    GLuint vao = 0, upVertexBuffer = 0, upIndexBuffer = 0;
    std::unordered_map<ProgramKey, Program, ProgramKeyHash> programs;
    Program* program = nullptr;
    ProgramKey key;
    std::array<int, kMaxActiveLights> activeLights{};
    int activeLightCount = 0;
    std::unordered_map<std::uint64_t, GLuint> samplers;
    // Stamps of state versions; a program re-sends a group when its stamp is older.
    std::uint64_t transformsStamp = 1, lightingStamp = 1, materialStamp = 1, constantsStamp = 1, texStamp = 1,
                  viewportStamp = 1, texturesStamp = 1;
    GLuint attachedColor = 0, attachedDepth = 0;
    std::uint32_t enabledClipPlanes = 0;  // GL_CLIP_DISTANCEi switched on
    Surface* target = nullptr;
    bool streamsValid = false;
    GLuint boundVertexBuffer = 0;
    UINT boundOffset = 0, boundStride = 0;
    DWORD boundFvf = 0;
    GLuint boundIndexBuffer = 0;
    std::array<GLuint, kStages> boundTextures{};
    std::array<GLuint, kStages> boundSamplers{};
    UploadStats uploads;

    void MakeCurrent() { context->MakeCurrent(); }

    // ---- Storage ----

    GLuint SurfaceTexture(Surface* s, GLint* level) {
        *level = 0;
        if (Texture* t = s->container()) {
            EnsureTexture(t);
            *level = static_cast<GLint>(s->level());
            return t->glName;
        }
        if (!s->glName) {
            const GlFormat f = RenderTargetFormatFor(s->format());
            glGenTextures(1, &s->glName);
            glBindTexture(GL_TEXTURE_2D, s->glName);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
            glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle);
            glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(f.internal), static_cast<GLsizei>(s->width()),
                         static_cast<GLsizei>(s->height()), 0, f.format, f.type, nullptr);
            boundTextures.fill(0);
            if (s->fresh == Fresh::MemoryNewer) UploadSurface(s->glName, 0, s, f);
        } else if (s->fresh == Fresh::MemoryNewer) {
            UploadSurface(s->glName, 0, s, RenderTargetFormatFor(s->format()));
        }
        return s->glName;
    }

    // Depth buffers keep their Direct3D precision (a 16-bit buffer is also cheaper to test on a software
    // rasteriser); only formats with stencil bits get a stencil buffer.
    static bool HasStencil(D3DFORMAT format) {
        return format == D3DFMT_D24S8 || format == D3DFMT_D15S1 || format == D3DFMT_D24X4S4 || format == D3DFMT_D24FS8;
    }

    static GLenum DepthInternalFormat(D3DFORMAT format) {
        switch (format) {
        case D3DFMT_D16:
        case D3DFMT_D16_LOCKABLE:
            return GL_DEPTH_COMPONENT16;
        case D3DFMT_D24X8:
            return GL_DEPTH_COMPONENT24;
        case D3DFMT_D32:
        case D3DFMT_D32_LOCKABLE:
            return GL_DEPTH_COMPONENT32;
        default:
            return GL_DEPTH24_STENCIL8;
        }
    }

    // One step of the depth buffer as stored: 1 / (2^bits - 1).
    static double DepthStep(D3DFORMAT format) {
        switch (DepthInternalFormat(format)) {
        case GL_DEPTH_COMPONENT16:
            return 1.0 / 65535.0;
        case GL_DEPTH_COMPONENT32:
            return 1.0 / 4294967295.0;
        default:
            return 1.0 / 16777215.0;
        }
    }

    GLuint DepthRenderbuffer(Surface* s) {
        if (!s->glName) {
            const GLenum internal = DepthInternalFormat(s->format());
            glGenRenderbuffers(1, &s->glName);
            glBindRenderbuffer(GL_RENDERBUFFER, s->glName);
            glRenderbufferStorage(GL_RENDERBUFFER, internal, static_cast<GLsizei>(s->width()),
                                  static_cast<GLsizei>(s->height()));
        }
        return s->glName;
    }

    // Uploads one level from memory (whole level; the codec converts where GL has no matching format).
    void UploadSurface(GLuint texture, GLint level, Surface* s, const GlFormat& f) {
        ++uploads.textureLevels;
        glBindTexture(GL_TEXTURE_2D, texture);
        boundTextures.fill(0);
        const GLsizei w = static_cast<GLsizei>(s->width()), h = static_cast<GLsizei>(s->height());
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        if (f.compressed) {
            const GLsizei bytes = static_cast<GLsizei>(LevelBytes(s->layout(), s->width(), s->height()));
            glCompressedTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, f.internal, bytes, s->bits());
        } else if (f.convert == Convert::None) {
            glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, f.format, f.type, s->bits());
        } else {
            std::vector<float> row(static_cast<std::size_t>(w) * 4);
            const PALETTEENTRY* palette = device->state().palette.data();
            if (f.convert == Convert::ToRgba8) {
                std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h * 4);
                for (GLsizei y = 0; y < h; ++y) {
                    DecodeRow(s->format(), s->bits() + static_cast<std::size_t>(y) * s->pitch(), s->width(),
                              row.data(), palette);
                    for (std::size_t i = 0; i < row.size(); ++i) {
                        pixels[static_cast<std::size_t>(y) * w * 4 + i] =
                            static_cast<std::uint8_t>(std::clamp(row[i], 0.0f, 1.0f) * 255.0f + 0.5f);
                    }
                }
                glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            } else {
                std::vector<float> pixels(static_cast<std::size_t>(w) * h * 4);
                for (GLsizei y = 0; y < h; ++y) {
                    DecodeRow(s->format(), s->bits() + static_cast<std::size_t>(y) * s->pitch(), s->width(),
                              &pixels[static_cast<std::size_t>(y) * w * 4], palette);
                }
                glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, GL_RGBA, GL_FLOAT, pixels.data());
            }
        }
        s->fresh = Fresh::Both;
    }

    void EnsureTexture(Texture* t) {
        const bool renderTarget = t->isRenderTarget();
        const GlFormat f = renderTarget ? RenderTargetFormatFor(t->format()) : FormatFor(t->format());
        if (!t->glName) {
            glGenTextures(1, &t->glName);
            glBindTexture(GL_TEXTURE_2D, t->glName);
            boundTextures.fill(0);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(t->levelCount() - 1));
            glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle);
            for (UINT i = 0; i < t->levelCount(); ++i) {
                Surface* s = t->level(i);
                const GLsizei w = static_cast<GLsizei>(s->width()), h = static_cast<GLsizei>(s->height());
                if (f.compressed) {
                    const GLsizei bytes = static_cast<GLsizei>(LevelBytes(s->layout(), s->width(), s->height()));
                    glCompressedTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), f.internal, w, h, 0, bytes,
                                           s->bits());
                    ++uploads.textureLevels;
                    s->fresh = Fresh::Both;
                } else {
                    const GLenum format = f.convert == Convert::None ? f.format : GL_RGBA;
                    const GLenum type = f.convert == Convert::ToRgba32F ? GL_FLOAT
                                        : f.convert == Convert::ToRgba8 ? GL_UNSIGNED_BYTE
                                                                        : f.type;
                    glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), static_cast<GLint>(f.internal), w, h, 0,
                                 format, type, nullptr);
                    if (!renderTarget) s->fresh = Fresh::MemoryNewer;
                }
            }
            t->uploadPending = !renderTarget;
        }
        if (t->uploadPending) {
            for (UINT i = 0; i < t->levelCount(); ++i) {
                Surface* s = t->level(i);
                if (s->fresh == Fresh::MemoryNewer) UploadSurface(t->glName, static_cast<GLint>(i), s, f);
            }
            t->uploadPending = false;
        }
    }

    // ---- Targets ----

    void AttachTarget() {
        const DeviceState& st = device->state();
        GLint level = 0;
        GLuint color = SurfaceTexture(st.renderTarget, &level);
        GLuint depth = st.depthStencil ? DepthRenderbuffer(st.depthStencil) : 0;
        glBindFramebuffer(GL_FRAMEBUFFER, drawFbo);
        if (color != attachedColor || target != st.renderTarget) {
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color, level);
            attachedColor = color;
            target = st.renderTarget;
        }
        if (depth != attachedDepth) {
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
            if (depth) {
                const bool stencil = HasStencil(st.depthStencil->format());
                glFramebufferRenderbuffer(GL_FRAMEBUFFER, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                          GL_RENDERBUFFER, depth);
            }
            attachedDepth = depth;
        }
    }

    void MarkTargetDrawn() {
        Surface* rt = device->state().renderTarget;
        rt->fresh = Fresh::GpuNewer;
    }

    // ---- State application ----

    void ApplyViewport() {
        const D3DVIEWPORT9& vp = device->state().viewport;
        glViewport(static_cast<GLint>(vp.X), static_cast<GLint>(vp.Y), static_cast<GLsizei>(vp.Width),
                   static_cast<GLsizei>(vp.Height));
        glDepthRange(vp.MinZ, vp.MaxZ);
        ++viewportStamp;
    }

    void ApplyRaster() {
        const DeviceState& st = device->state();
        const auto& rs = st.rs;
        // Rows are flipped (row 0 at GL y = 0), which turns Direct3D's clockwise into GL's counter-clockwise.
        switch (rs[D3DRS_CULLMODE]) {
        case D3DCULL_NONE:
            glDisable(GL_CULL_FACE);
            break;
        case D3DCULL_CW:
            glEnable(GL_CULL_FACE);
            glCullFace(GL_FRONT);
            break;
        default:
            glEnable(GL_CULL_FACE);
            glCullFace(GL_BACK);
            break;
        }
        glFrontFace(GL_CCW);
        glPolygonMode(GL_FRONT_AND_BACK, rs[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                                         : rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                                                   : GL_FILL);
        const DWORD mask = rs[D3DRS_COLORWRITEENABLE];
        glColorMask(mask & 1 ? GL_TRUE : GL_FALSE, mask & 2 ? GL_TRUE : GL_FALSE, mask & 4 ? GL_TRUE : GL_FALSE,
                    mask & 8 ? GL_TRUE : GL_FALSE);
        if (rs[D3DRS_SCISSORTESTENABLE]) {
            glEnable(GL_SCISSOR_TEST);
            const RECT& r = st.scissor;
            glScissor(r.left, r.top, std::max<LONG>(0, r.right - r.left), std::max<LONG>(0, r.bottom - r.top));
        } else {
            glDisable(GL_SCISSOR_TEST);
        }
    }

    void ApplyDepth() {
        const auto& rs = device->state().rs;
        const bool hasDepth = device->state().depthStencil != nullptr;
        if (hasDepth && rs[D3DRS_ZENABLE] != D3DZB_FALSE) {
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(CompareFunc(rs[D3DRS_ZFUNC]));
            glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
        } else {
            glDisable(GL_DEPTH_TEST);
            glDepthMask(GL_FALSE);
        }
        if (hasDepth && rs[D3DRS_STENCILENABLE]) {
            glEnable(GL_STENCIL_TEST);
            glStencilFunc(CompareFunc(rs[D3DRS_STENCILFUNC]), static_cast<GLint>(rs[D3DRS_STENCILREF]),
                          rs[D3DRS_STENCILMASK]);
            glStencilOp(StencilOp(rs[D3DRS_STENCILFAIL]), StencilOp(rs[D3DRS_STENCILZFAIL]),
                        StencilOp(rs[D3DRS_STENCILPASS]));
            glStencilMask(rs[D3DRS_STENCILWRITEMASK]);
        } else {
            glDisable(GL_STENCIL_TEST);
        }
        // Direct3D offsets depth by slope x SLOPESCALEDEPTHBIAS + DEPTHBIAS, the bias in depth units (0..1);
        // OpenGL counts its constant in steps of the bound depth buffer, so convert with that buffer's step.
        const float bias = AsFloat(rs[D3DRS_DEPTHBIAS]), slope = AsFloat(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
        if (hasDepth && (bias != 0.0f || slope != 0.0f) && std::isfinite(bias) && std::isfinite(slope)) {
            const double units = bias / DepthStep(device->state().depthStencil->format());
            for (GLenum mode : {GL_POLYGON_OFFSET_FILL, GL_POLYGON_OFFSET_LINE, GL_POLYGON_OFFSET_POINT}) {
                glEnable(mode);
            }
            glPolygonOffset(slope, static_cast<float>(units));
        } else {
            for (GLenum mode : {GL_POLYGON_OFFSET_FILL, GL_POLYGON_OFFSET_LINE, GL_POLYGON_OFFSET_POINT}) {
                glDisable(mode);
            }
        }
    }

    void ApplyBlend() {
        const auto& rs = device->state().rs;
        if (!rs[D3DRS_ALPHABLENDENABLE]) {
            glDisable(GL_BLEND);
            return;
        }
        glEnable(GL_BLEND);
        DWORD src = rs[D3DRS_SRCBLEND], dst = rs[D3DRS_DESTBLEND];
        // BOTHSRCALPHA / BOTHINVSRCALPHA set both factors from the source one.
        if (src == D3DBLEND_BOTHSRCALPHA) src = D3DBLEND_SRCALPHA, dst = D3DBLEND_INVSRCALPHA;
        if (src == D3DBLEND_BOTHINVSRCALPHA) src = D3DBLEND_INVSRCALPHA, dst = D3DBLEND_SRCALPHA;
        DWORD srcA = src, dstA = dst, opA = rs[D3DRS_BLENDOP];
        if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
            srcA = rs[D3DRS_SRCBLENDALPHA], dstA = rs[D3DRS_DESTBLENDALPHA], opA = rs[D3DRS_BLENDOPALPHA];
        }
        const bool targetAlpha = HasAlphaChannel(device->state().renderTarget->format());
        glBlendFuncSeparate(BlendFactor(src, false, targetAlpha), BlendFactor(dst, false, targetAlpha),
                            BlendFactor(srcA, true, targetAlpha), BlendFactor(dstA, true, targetAlpha));
        glBlendEquationSeparate(BlendEquation(rs[D3DRS_BLENDOP]), BlendEquation(opA));
        float factor[4];
        ColorToFloats(rs[D3DRS_BLENDFACTOR], factor);
        glBlendColor(factor[0], factor[1], factor[2], factor[3]);
    }

    GLuint SamplerFor(const std::array<DWORD, D3DSAMP_MAX_VALUE>& s, bool mipmapped) {
        const DWORD mip = mipmapped ? s[D3DSAMP_MIPFILTER] : static_cast<DWORD>(D3DTEXF_NONE);
        std::uint64_t k = 1469598103934665603ull;
        const DWORD fields[] = {s[D3DSAMP_ADDRESSU], s[D3DSAMP_ADDRESSV], s[D3DSAMP_MAGFILTER],
                                s[D3DSAMP_MINFILTER], mip, s[D3DSAMP_MAXMIPLEVEL], s[D3DSAMP_BORDERCOLOR],
                                s[D3DSAMP_MIPMAPLODBIAS]};
        for (DWORD field : fields) k = (k ^ field) * 1099511628211ull;
        auto it = samplers.find(k);
        if (it != samplers.end()) return it->second;
        GLuint name = 0;
        glGenSamplers(1, &name);
        glSamplerParameteri(name, GL_TEXTURE_WRAP_S, static_cast<GLint>(AddressMode(s[D3DSAMP_ADDRESSU])));
        glSamplerParameteri(name, GL_TEXTURE_WRAP_T, static_cast<GLint>(AddressMode(s[D3DSAMP_ADDRESSV])));
        glSamplerParameteri(name, GL_TEXTURE_MAG_FILTER, s[D3DSAMP_MAGFILTER] == D3DTEXF_POINT ? GL_NEAREST : GL_LINEAR);
        const bool linear = s[D3DSAMP_MINFILTER] != D3DTEXF_POINT && s[D3DSAMP_MINFILTER] != D3DTEXF_NONE;
        GLint min = linear ? GL_LINEAR : GL_NEAREST;
        if (mip == D3DTEXF_POINT) min = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        if (mip == D3DTEXF_LINEAR || mip == D3DTEXF_ANISOTROPIC) {
            min = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        }
        glSamplerParameteri(name, GL_TEXTURE_MIN_FILTER, min);
        float border[4];
        ColorToFloats(s[D3DSAMP_BORDERCOLOR], border);
        glSamplerParameterfv(name, GL_TEXTURE_BORDER_COLOR, border);
        glSamplerParameterf(name, GL_TEXTURE_MIN_LOD, static_cast<float>(s[D3DSAMP_MAXMIPLEVEL]));
        glSamplerParameterf(name, GL_TEXTURE_LOD_BIAS, AsFloat(s[D3DSAMP_MIPMAPLODBIAS]));
        samplers.emplace(k, name);
        return name;
    }

    void BindTextures() {
        const DeviceState& st = device->state();
        const int stages = ActiveStages(key);
        // Uploads first: they bind on the active unit, which must not disturb bindings made in this pass.
        for (int s = 0; s < stages; ++s) {
            Texture* t = st.textures[static_cast<std::size_t>(s)];
            if (t && StageSamples(key, s) && (!t->glName || t->uploadPending)) EnsureTexture(t);
        }
        for (int s = 0; s < stages; ++s) {
            if (!StageSamples(key, s)) continue;
            Texture* t = st.textures[static_cast<std::size_t>(s)];
            if (!t) continue;
            GLuint texture = t->glName;
            // Sampling the texture being drawn into is undefined; it reads as nothing rather than a feedback loop.
            if (st.renderTarget->container() == t) texture = 0;
            const GLuint sampler = SamplerFor(st.samp[static_cast<std::size_t>(s)], t->levelCount() > 1);
            if (boundTextures[static_cast<std::size_t>(s)] != texture) {
                glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(s));
                glBindTexture(GL_TEXTURE_2D, texture);
                boundTextures[static_cast<std::size_t>(s)] = texture;
            }
            if (boundSamplers[static_cast<std::size_t>(s)] != sampler) {
                glBindSampler(static_cast<GLuint>(s), sampler);
                boundSamplers[static_cast<std::size_t>(s)] = sampler;
            }
        }
        glActiveTexture(GL_TEXTURE0);
    }

    Program* ProgramFor(const ProgramKey& k) {
        auto it = programs.find(k);
        if (it != programs.end()) return &it->second;
        Program& p = programs[k];
        const GLuint vs = Compile(GL_VERTEX_SHADER, GenerateVertexShader(k));
        const GLuint fs = Compile(GL_FRAGMENT_SHADER, GenerateFragmentShader(k));
        p.name = glCreateProgram();
        glAttachShader(p.name, vs);
        glAttachShader(p.name, fs);
        glLinkProgram(p.name);
        glDeleteShader(vs);
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
        glUseProgram(p.name);
        const GLint units[8] = {0, 1, 2, 3, 4, 5, 6, 7};
        glUniform1iv(loc("uTexture"), 8, units);
        return &p;
    }

    void UploadUniforms(Program& p) {
        const DeviceState& st = device->state();
        const Uniforms& u = p.u;
        if (p.transforms != transformsStamp) {
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
            p.transforms = transformsStamp;
        }
        if (p.viewport != viewportStamp) {
            const D3DVIEWPORT9& vp = st.viewport;
            if (u.viewport >= 0) {
                glUniform4f(u.viewport, static_cast<float>(vp.X), static_cast<float>(vp.Y),
                            static_cast<float>(vp.Width), static_cast<float>(vp.Height));
            }
            if (u.depthRange >= 0) glUniform2f(u.depthRange, vp.MinZ, vp.MaxZ);
            p.viewport = viewportStamp;
        }
        if (p.textures != texturesStamp) {
            if (u.pointBias >= 0) {
                float bias[2 * kStages];
                for (int s = 0; s < kStages; ++s) {
                    const Texture* t = st.textures[static_cast<std::size_t>(s)];
                    bias[2 * s] = t ? 1.0f / (512.0f * static_cast<float>(t->level(0)->width())) : 0.0f;
                    bias[2 * s + 1] = t ? 1.0f / (512.0f * static_cast<float>(t->level(0)->height())) : 0.0f;
                }
                glUniform2fv(u.pointBias, kStages, bias);
            }
            p.textures = texturesStamp;
        }
        if (p.texMatrices != texStamp) {
            if (u.texMatrix >= 0) glUniformMatrix4fv(u.texMatrix, kStages, GL_FALSE, &st.texture[0].m[0][0]);
            p.texMatrices = texStamp;
        }
        if (p.material != materialStamp) {
            const D3DMATERIAL9& m = st.material;
            if (u.matDiffuse >= 0) glUniform4fv(u.matDiffuse, 1, &m.Diffuse.r);
            if (u.matAmbient >= 0) glUniform4fv(u.matAmbient, 1, &m.Ambient.r);
            if (u.matSpecular >= 0) glUniform4fv(u.matSpecular, 1, &m.Specular.r);
            if (u.matEmissive >= 0) glUniform4fv(u.matEmissive, 1, &m.Emissive.r);
            if (u.matPower >= 0) glUniform1f(u.matPower, m.Power);
            p.material = materialStamp;
        }
        if (p.lighting != lightingStamp && p.lightCount > 0) {
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
            p.lighting = lightingStamp;
        }
        if (p.constants != constantsStamp) {
            const auto& rs = st.rs;
            float c[4];
            if (u.globalAmbient >= 0) {
                ColorToFloats(rs[D3DRS_AMBIENT], c);
                glUniform4fv(u.globalAmbient, 1, c);
            }
            if (u.fog >= 0) {
                glUniform4f(u.fog, AsFloat(rs[D3DRS_FOGSTART]), AsFloat(rs[D3DRS_FOGEND]),
                            AsFloat(rs[D3DRS_FOGDENSITY]), 0.0f);
            }
            if (u.fogColor >= 0) {
                ColorToFloats(rs[D3DRS_FOGCOLOR], c);
                glUniform3fv(u.fogColor, 1, c);
            }
            if (u.alphaRef >= 0) glUniform1f(u.alphaRef, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xff));
            if (u.clipPlane >= 0) glUniform4fv(u.clipPlane, kMaxClipPlanes, st.clipPlanes[0].data());
            if (u.textureFactor >= 0) {
                ColorToFloats(rs[D3DRS_TEXTUREFACTOR], c);
                glUniform4fv(u.textureFactor, 1, c);
            }
            if (u.stageConstant >= 0) {
                float k[32];
                for (int s = 0; s < kStages; ++s) ColorToFloats(st.tss[static_cast<std::size_t>(s)][D3DTSS_CONSTANT], &k[4 * s]);
                glUniform4fv(u.stageConstant, kStages, k);
            }
            p.constants = constantsStamp;
        }
    }

    // Points the vertex attributes at `buffer` (already bound to GL_ARRAY_BUFFER) for the current FVF.
    void SpecifyAttributes(UINT offset, UINT stride, DWORD fvf) {
        auto at = [&](UINT o) { return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(offset + o)); };
        UINT o = 0;
        const DWORD position = fvf & D3DFVF_POSITION_MASK;
        const GLsizei s = static_cast<GLsizei>(stride);
        for (GLuint i = 0; i < 12; ++i) glDisableVertexAttribArray(i);
        glEnableVertexAttribArray(0);
        if (position == D3DFVF_XYZRHW || position == D3DFVF_XYZW) {
            glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, s, at(0));
            o = 16;
        } else {
            glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, s, at(0));
            o = 12;
            // XYZB1..XYZB5 carry one to five 4-byte blend weights (the last may hold packed indices)
            // after the position; the codes step by 2 from XYZB1 = XYZRHW + 2.
            if (position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB5) {
                o += 4 * ((position - D3DFVF_XYZRHW) / 2);
            }
        }
        if (fvf & D3DFVF_NORMAL) {
            glEnableVertexAttribArray(1);
            glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, s, at(o));
            o += 12;
        }
        if (fvf & D3DFVF_PSIZE) o += 4;
        if (fvf & D3DFVF_DIFFUSE) {
            glEnableVertexAttribArray(2);
            glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, s, at(o));
            o += 4;
        }
        if (fvf & D3DFVF_SPECULAR) {
            glEnableVertexAttribArray(3);
            glVertexAttribPointer(3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, s, at(o));
            o += 4;
        }
        const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
        static const GLint kSizes[4] = {2, 3, 4, 1};
        for (UINT i = 0; i < texCount && i < 8; ++i) {
            const GLint size = kSizes[(fvf >> (16 + 2 * i)) & 3];
            glEnableVertexAttribArray(4 + i);
            glVertexAttribPointer(4 + i, size, GL_FLOAT, GL_FALSE, s, at(o));
            o += 4 * static_cast<UINT>(size);
        }
    }

    GLuint BufferFor(ResourceCore* resource, const std::uint8_t* bytes, UINT length, UINT& dirtyBegin,
                     UINT& dirtyEnd, GLenum target) {
        if (!resource->glName) {
            glGenBuffers(1, &resource->glName);
            glBindBuffer(target, resource->glName);
            glBufferData(target, length, bytes, resource->usage() & D3DUSAGE_DYNAMIC ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
            uploads.bufferBytes += length;
            dirtyBegin = dirtyEnd = 0;
            return resource->glName;
        }
        if (dirtyEnd > dirtyBegin) {
            glBindBuffer(target, resource->glName);
            glBufferSubData(target, dirtyBegin, dirtyEnd - dirtyBegin, bytes + dirtyBegin);
            uploads.bufferBytes += dirtyEnd - dirtyBegin;
            dirtyBegin = dirtyEnd = 0;
        }
        return resource->glName;
    }

    void Apply() {
        DeviceState& st = device->mutableState();
        std::uint32_t dirty = st.dirty;
        if (dirty & kDirtyTarget) AttachTarget();
        if (dirty & kDirtyViewport) ApplyViewport();
        if (dirty & kDirtyRaster) ApplyRaster();
        if (dirty & (kDirtyDepth | kDirtyTarget)) ApplyDepth();
        // Blend factors that read destination alpha and the depth bias depend on the bound target formats.
        if (dirty & (kDirtyBlend | kDirtyTarget)) ApplyBlend();
        if (dirty & kDirtyTransforms) ++transformsStamp;
        if (dirty & kDirtyLights) ++lightingStamp;
        if (dirty & kDirtyMaterial) ++materialStamp;
        if (dirty & kDirtyConstants) ++constantsStamp;
        if (dirty & kDirtyTexMatrices) ++texStamp;
        if (dirty & kDirtyTextures) ++texturesStamp;
        if ((dirty & kDirtyProgram) || !program) {
            key = MakeProgramKey(st, &activeLights, &activeLightCount);
            Program* p = ProgramFor(key);
            p->lights = activeLights;
            if (p->lightCount != activeLightCount || p != program) p->lighting = 0;
            p->lightCount = activeLightCount;
            if (p != program) {
                glUseProgram(p->name);
                program = p;
            }
            const std::uint32_t clipPlanes = ClipPlaneMask(key);
            if (clipPlanes != enabledClipPlanes || !StateCacheEnabled()) {
                for (int i = 0; i < kMaxClipPlanes; ++i) {
                    if (clipPlanes & (1u << i)) {
                        glEnable(GL_CLIP_DISTANCE0 + static_cast<GLenum>(i));
                    } else {
                        glDisable(GL_CLIP_DISTANCE0 + static_cast<GLenum>(i));
                    }
                }
                enabledClipPlanes = clipPlanes;
            }
        }
        st.dirty = 0;
        BindTextures();
        UploadUniforms(*program);
    }
};

std::unique_ptr<GlRenderer> GlRenderer::Create(Device* device, HWND window, std::string* error) {
    std::unique_ptr<GlRenderer> renderer(new GlRenderer);
    auto impl = std::make_unique<Impl>();
    impl->device = device;
    SDL_Window* sdl = window ? tarn::platform::SdlWindowOf(window) : nullptr;
    impl->context = GlContext::Create(sdl, error);
    if (!impl->context && sdl) {
        // A window without a usable GL context still gets pictures through --screenshot: draw off screen.
        Diagnostic("no OpenGL context on the window (%s); drawing off screen", error->c_str());
        impl->context = GlContext::Create(nullptr, error);
    }
    if (!impl->context) return nullptr;
    const auto& p = device->presentParameters();
    impl->context->SetSwapInterval(p.PresentationInterval == static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE) ? 0 : 1);
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    glGenFramebuffers(1, &impl->drawFbo);
    glGenFramebuffers(1, &impl->readFbo);
    glGenFramebuffers(1, &impl->scratchFbo);
    glGenVertexArrays(1, &impl->vao);
    glBindVertexArray(impl->vao);
    glGenBuffers(1, &impl->upVertexBuffer);
    glGenBuffers(1, &impl->upIndexBuffer);
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);  // flat shading takes the first vertex, as in Direct3D
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    renderer->impl_ = std::move(impl);
    return renderer;
}

GlRenderer::~GlRenderer() {
    if (!impl_) return;
    impl_->MakeCurrent();
    for (auto& [key, program] : impl_->programs) glDeleteProgram(program.name);
    for (auto& [key, sampler] : impl_->samplers) glDeleteSamplers(1, &sampler);
    glDeleteFramebuffers(1, &impl_->drawFbo);
    glDeleteFramebuffers(1, &impl_->readFbo);
    glDeleteFramebuffers(1, &impl_->scratchFbo);
    glDeleteBuffers(1, &impl_->upVertexBuffer);
    glDeleteBuffers(1, &impl_->upIndexBuffer);
    glDeleteVertexArrays(1, &impl_->vao);
    // Resources that outlive the device keep their GL names; the context and everything in it goes now.
    impl_->context.reset();
}

void GlRenderer::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    Impl& m = *impl_;
    m.MakeCurrent();
    DeviceState& st = m.device->mutableState();
    if (st.dirty & kDirtyTarget) {
        m.AttachTarget();
        st.dirty &= ~static_cast<std::uint32_t>(kDirtyTarget);
        st.dirty |= kDirtyBlend | kDirtyDepth;  // they follow the target's formats
    }
    glBindFramebuffer(GL_FRAMEBUFFER, m.drawFbo);
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) {
        float c[4];
        ColorToFloats(color, c);
        glClearColor(c[0], c[1], c[2], c[3]);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        glClearDepth(z);
        glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_STENCIL) {
        glClearStencil(static_cast<GLint>(stencil & 0xff));
        glStencilMask(0xff);
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    // Clear covers the viewport, or the given rectangles inside it, and with the scissor test on only what
    // lies inside the scissor rectangle as well.
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
        if (whole) {
            glDisable(GL_SCISSOR_TEST);
        } else {
            glEnable(GL_SCISSOR_TEST);
            glScissor(x0, y0, x1 - x0, y1 - y0);
        }
        glClear(mask);
    };
    if (count == 0) {
        clearRect(vx0, vy0, vx1, vy1);
    } else {
        for (DWORD i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
    }
    st.dirty |= kDirtyRaster | kDirtyDepth;
    if (flags & D3DCLEAR_TARGET) m.MarkTargetDrawn();
}

void GlRenderer::Draw(const DrawCall& call) {
    Impl& m = *impl_;
    m.MakeCurrent();
    DeviceState& st = m.device->mutableState();
    if (!StateCacheEnabled()) {
        st.dirty = kDirtyAll;
        m.boundTextures.fill(0);
        m.boundSamplers.fill(0);
        m.program = nullptr;
        m.attachedColor = m.attachedDepth = 0;
        m.boundVertexBuffer = m.boundIndexBuffer = 0;
    }
    const bool streamsChanged = (st.dirty & kDirtyStreams) != 0;
    m.Apply();
    if (!m.program || !m.program->linked) return;
    glBindFramebuffer(GL_FRAMEBUFFER, m.drawFbo);
    const GLenum mode = PrimitiveMode(call.type);
    const DWORD fvf = st.fvf;
    if (call.upVertices) {
        glBindBuffer(GL_ARRAY_BUFFER, m.upVertexBuffer);
        glBufferData(GL_ARRAY_BUFFER, call.upVertexBytes, call.upVertices, GL_STREAM_DRAW);
        m.SpecifyAttributes(0, call.upStride, fvf);
        m.boundVertexBuffer = 0;  // attributes point at the stream buffer now
        if (call.indexed) {
            const std::size_t bytes = static_cast<std::size_t>(call.vertexCount) * (call.upIndex32 ? 4 : 2);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m.upIndexBuffer);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), call.upIndices, GL_STREAM_DRAW);
            m.boundIndexBuffer = 0;
            glDrawElements(mode, static_cast<GLsizei>(call.vertexCount),
                           call.upIndex32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, nullptr);
        } else {
            glDrawArrays(mode, 0, static_cast<GLsizei>(call.vertexCount));
        }
    } else {
        VertexBuffer* vb = st.stream;
        const GLuint vbName =
            m.BufferFor(vb, vb->bytes(), vb->length(), vb->dirtyBegin, vb->dirtyEnd, GL_ARRAY_BUFFER);
        if (streamsChanged || vbName != m.boundVertexBuffer || m.boundOffset != st.streamOffset ||
            m.boundStride != st.streamStride || m.boundFvf != fvf) {
            glBindBuffer(GL_ARRAY_BUFFER, vbName);
            m.SpecifyAttributes(st.streamOffset, st.streamStride, fvf);
            m.boundVertexBuffer = vbName;
            m.boundOffset = st.streamOffset;
            m.boundStride = st.streamStride;
            m.boundFvf = fvf;
        }
        if (call.indexed) {
            IndexBuffer* ib = st.indices;
            glBindVertexArray(m.vao);
            const GLuint ibName = m.BufferFor(ib, ib->bytes(), ib->length(), ib->dirtyBegin, ib->dirtyEnd,
                                              GL_ELEMENT_ARRAY_BUFFER);
            if (ibName != m.boundIndexBuffer) {
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibName);
                m.boundIndexBuffer = ibName;
            }
            const bool wide = ib->format() == D3DFMT_INDEX32;
            const std::uintptr_t offset = static_cast<std::uintptr_t>(call.startIndex) * (wide ? 4 : 2);
            glDrawElementsBaseVertex(mode, static_cast<GLsizei>(call.vertexCount),
                                     wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, reinterpret_cast<void*>(offset),
                                     call.baseVertex);
        } else {
            glDrawArrays(mode, static_cast<GLint>(call.startVertex), static_cast<GLsizei>(call.vertexCount));
        }
    }
    m.MarkTargetDrawn();
}

namespace {

struct ReadContext {
    GlRenderer::Impl* impl;
    Surface* surface;
};

}  // namespace

void GlRenderer::ReadBack(Surface* surface) {
    Impl& m = *impl_;
    m.MakeCurrent();
    GLint level = 0;
    const GLuint texture = m.SurfaceTexture(surface, &level);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m.readFbo);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, level);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    const GLsizei w = static_cast<GLsizei>(surface->width()), h = static_cast<GLsizei>(surface->height());
    const D3DFORMAT format = surface->format();
    if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8) {
        glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, surface->bits());
        if (format == D3DFMT_X8R8G8B8) {
            for (GLsizei y = 0; y < h; ++y) {
                std::uint8_t* row = surface->bits() + static_cast<std::size_t>(y) * surface->pitch();
                for (GLsizei x = 0; x < w; ++x) row[4 * x + 3] = 0xff;
            }
        }
    } else if (CanEncode(format)) {
        std::vector<float> pixels(static_cast<std::size_t>(w) * h * 4);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_FLOAT, pixels.data());
        for (GLsizei y = 0; y < h; ++y) {
            EncodeRow(format, &pixels[static_cast<std::size_t>(y) * w * 4], surface->width(),
                      surface->bits() + static_cast<std::size_t>(y) * surface->pitch());
        }
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    surface->fresh = Fresh::Both;
}

void GlRenderer::Present(HWND window) {
    Impl& m = *impl_;
    m.MakeCurrent();
    Surface* back = m.device->backBuffer();
    GLint level = 0;
    const GLuint texture = m.SurfaceTexture(back, &level);
    const GLint w = static_cast<GLint>(back->width()), h = static_cast<GLint>(back->height());
    if (m.context->window()) {
        int dw = 0, dh = 0;
        m.context->DrawableSize(&dw, &dh);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m.readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, level);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        // Row 0 is the top of the picture: flip on the way to the window.
        glBlitFramebuffer(0, 0, w, h, 0, dh > 0 ? dh : h, dw > 0 ? dw : w, 0, GL_COLOR_BUFFER_BIT,
                          dw == w && dh == h ? GL_NEAREST : GL_LINEAR);
        m.context->Swap();
        glBindFramebuffer(GL_FRAMEBUFFER, m.drawFbo);
        m.device->mutableState().dirty |= kDirtyRaster;
    } else {
        glFlush();
    }
    if (window) {
        ReadContext read{&m, back};
        tarn::platform::FramePresented(
            window, w, h,
            [](void* context, int width, int height, std::uint8_t* rgba) -> bool {
                auto* r = static_cast<ReadContext*>(context);
                GLint lvl = 0;
                const GLuint tex = r->impl->SurfaceTexture(r->surface, &lvl);
                glBindFramebuffer(GL_READ_FRAMEBUFFER, r->impl->readFbo);
                glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, lvl);
                glReadBuffer(GL_COLOR_ATTACHMENT0);
                glPixelStorei(GL_PACK_ALIGNMENT, 1);
                glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
                glPixelStorei(GL_PACK_ALIGNMENT, 4);
                glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
                if (r->surface->format() == D3DFMT_X8R8G8B8) {
                    for (std::size_t i = 3; i < static_cast<std::size_t>(width) * height * 4; i += 4) rgba[i] = 0xff;
                }
                return true;
            },
            &read);
    }
}

bool GlRenderer::Blit(Surface* source, const RECT& sr, Surface* destination, const RECT& dr, bool linear) {
    Impl& m = *impl_;
    if (!destination->isRenderTarget()) return false;
    const bool compressedSource = IsCompressed(source->format());
    if (compressedSource && !source->container()) return false;
    m.MakeCurrent();
    GLint srcLevel = 0, dstLevel = 0;
    const GLuint src = m.SurfaceTexture(source, &srcLevel);
    const GLuint dst = m.SurfaceTexture(destination, &dstLevel);
    if (!src || !dst) return false;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m.readFbo);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, src, srcLevel);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m.scratchFbo);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, dst, dstLevel);
    if (glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE ||
        glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        glBindFramebuffer(GL_FRAMEBUFFER, m.drawFbo);
        return false;
    }
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glBlitFramebuffer(sr.left, sr.top, sr.right, sr.bottom, dr.left, dr.top, dr.right, dr.bottom, GL_COLOR_BUFFER_BIT,
                      linear ? GL_LINEAR : GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, m.drawFbo);
    m.device->mutableState().dirty |= kDirtyRaster;
    destination->fresh = Fresh::GpuNewer;
    return true;
}

void GlRenderer::Fill(Surface* surface, const RECT& rect, D3DCOLOR color) {
    Impl& m = *impl_;
    m.MakeCurrent();
    GLint level = 0;
    const GLuint texture = m.SurfaceTexture(surface, &level);
    glBindFramebuffer(GL_FRAMEBUFFER, m.scratchFbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, level);
    float c[4];
    ColorToFloats(color, c);
    glClearColor(c[0], c[1], c[2], c[3]);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_SCISSOR_TEST);
    glScissor(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, m.drawFbo);
    m.device->mutableState().dirty |= kDirtyRaster;
    surface->fresh = Fresh::GpuNewer;
}

void GlRenderer::Forget(ResourceCore* resource) {
    Impl& m = *impl_;
    if (!resource->glName) return;
    m.MakeCurrent();
    switch (resource->type()) {
    case D3DRTYPE_VERTEXBUFFER:
    case D3DRTYPE_INDEXBUFFER:
        if (m.boundVertexBuffer == resource->glName) m.boundVertexBuffer = 0;
        if (m.boundIndexBuffer == resource->glName) m.boundIndexBuffer = 0;
        glDeleteBuffers(1, &resource->glName);
        break;
    case D3DRTYPE_SURFACE:
        if (resource->usage() & D3DUSAGE_DEPTHSTENCIL) {
            if (m.attachedDepth == resource->glName) m.attachedDepth = 0;
            glDeleteRenderbuffers(1, &resource->glName);
            break;
        }
        [[fallthrough]];
    default:
        if (m.attachedColor == resource->glName) m.attachedColor = 0, m.target = nullptr;
        for (GLuint& t : m.boundTextures) {
            if (t == resource->glName) t = 0;
        }
        glDeleteTextures(1, &resource->glName);
        break;
    }
    resource->glName = 0;
}

std::size_t GlRenderer::ProgramCount() const { return impl_->programs.size(); }

UploadStats GlRenderer::Uploads() const { return impl_->uploads; }

unsigned GlRenderer::TakeErrors() {
    impl_->MakeCurrent();
    unsigned count = 0;
    for (GLenum e = glGetError(); e != GL_NO_ERROR && count < 64; e = glGetError()) {
        Diagnostic("OpenGL error 0x%x", e);
        ++count;
    }
    return count;
}

void GlRenderer::Finish() {
    impl_->MakeCurrent();
    glFinish();
}

bool GlRenderer::HasGpuCopy(const Surface* surface) const {
    return surface->container() ? surface->container()->glName != 0 : surface->glName != 0;
}

}  // namespace tarn::d3d9
