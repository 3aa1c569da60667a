// Context creation. EGL's surfaceless platform gives a context without any display server; SDL gives one on the
// engine's window. Either way the same GL entry points (GLVND's libOpenGL) serve the renderer.
#include "GlContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
#include <SDL.h>

#include <cstring>
#include <mutex>

namespace tarn::d3d9 {
namespace {

#ifndef EGL_PLATFORM_SURFACELESS_MESA
#define EGL_PLATFORM_SURFACELESS_MESA 0x31DD
#endif

std::mutex gEglMutex;
EGLDisplay gDisplay = EGL_NO_DISPLAY;
EGLConfig gConfig = nullptr;
// The context last made current by us on this thread (a context is current per thread).
thread_local void* gCurrent = nullptr;
thread_local bool gOpenGlBound = false;  // this thread's EGL client API is OpenGL (the default is OpenGL ES)

// The client API is a thread's own: contexts are made, bound and asked for under OpenGL on every thread.
void BindOpenGl() {
    if (gOpenGlBound) return;
    eglBindAPI(EGL_OPENGL_API);
    gOpenGlBound = true;
}

bool EnsureEglDisplay(std::string* error) {
    std::lock_guard lock(gEglMutex);
    if (gDisplay != EGL_NO_DISPLAY) return true;
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        *error = "EGL has no eglGetPlatformDisplayEXT";
        return false;
    }
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        *error = "no surfaceless EGL display";
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        eglTerminate(display);
        *error = "EGL cannot bind OpenGL";
        return false;
    }
    const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8,
                                 EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8, EGL_NONE};
    EGLConfig configs[64];
    EGLint count = 0;
    if (!eglChooseConfig(display, attributes, configs, 64, &count) || count == 0) {
        eglTerminate(display);
        *error = "no EGL configuration for OpenGL with 8-bit channels";
        return false;
    }
    // Prefer exactly 8-8-8-8 (the driver may list deeper configurations first).
    EGLConfig chosen = configs[0];
    for (EGLint i = 0; i < count; ++i) {
        EGLint r, g, b, a;
        eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &r);
        eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &g);
        eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &b);
        eglGetConfigAttrib(display, configs[i], EGL_ALPHA_SIZE, &a);
        if (r == 8 && g == 8 && b == 8 && a == 8) {
            chosen = configs[i];
            break;
        }
    }
    gDisplay = display;
    gConfig = chosen;
    return true;
}

EGLContext CreateEglContext(std::string* error) {
    if (!EnsureEglDisplay(error)) return EGL_NO_CONTEXT;
    BindOpenGl();
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(gDisplay, gConfig, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        *error = "eglCreateContext failed for OpenGL 3.3 core";
        return EGL_NO_CONTEXT;
    }
    if (!eglMakeCurrent(gDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        eglDestroyContext(gDisplay, context);
        *error = "the EGL context cannot be made current without a surface";
        return EGL_NO_CONTEXT;
    }
    return context;
}

}  // namespace

std::unique_ptr<GlContext> GlContext::Create(SDL_Window* window, std::string* error) {
    std::unique_ptr<GlContext> context(new GlContext);
    if (window) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GLContext sdl = SDL_GL_CreateContext(window);
        if (!sdl) {
            *error = std::string("SDL_GL_CreateContext: ") + SDL_GetError();
            return nullptr;
        }
        context->window_ = window;
        context->sdlContext_ = sdl;
        gCurrent = nullptr;
        context->MakeCurrent();
        return context;
    }
    EGLContext egl = CreateEglContext(error);
    if (egl == EGL_NO_CONTEXT) return nullptr;
    context->eglContext_ = egl;
    gCurrent = egl;
    return context;
}

GlContext::~GlContext() {
    if (sdlContext_) {
        if (gCurrent == sdlContext_) gCurrent = nullptr;
        SDL_GL_DeleteContext(static_cast<SDL_GLContext>(sdlContext_));
    }
    if (eglContext_) {
        if (gCurrent == eglContext_) {
            eglMakeCurrent(gDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            gCurrent = nullptr;
        }
        eglDestroyContext(gDisplay, static_cast<EGLContext>(eglContext_));
    }
}

void GlContext::MakeCurrent() {
    void* mine = sdlContext_ ? sdlContext_ : eglContext_;
    if (gCurrent == mine) return;
    if (sdlContext_) {
        SDL_GL_MakeCurrent(window_, static_cast<SDL_GLContext>(sdlContext_));
    } else {
        BindOpenGl();
        eglMakeCurrent(gDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, static_cast<EGLContext>(eglContext_));
    }
    gCurrent = mine;
}

void GlContext::Release() {
    if (sdlContext_) {
        if (SDL_GL_GetCurrentContext() == sdlContext_) SDL_GL_MakeCurrent(window_, nullptr);
        if (gCurrent == sdlContext_) gCurrent = nullptr;
        return;
    }
    BindOpenGl();
    if (eglGetCurrentContext() == eglContext_) eglMakeCurrent(gDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (gCurrent == eglContext_) gCurrent = nullptr;
}

void GlContext::Swap() {
    if (window_) SDL_GL_SwapWindow(window_);
}

bool GlContext::MakeCurrentOn(SDL_Window* window) {
    if (!sdlContext_ || !window) return false;
    if (window == window_) {
        MakeCurrent();
        return true;
    }
    gCurrent = nullptr;  // the next MakeCurrent binds the context's own window again
    return SDL_GL_MakeCurrent(window, static_cast<SDL_GLContext>(sdlContext_)) == 0;
}

void GlContext::SwapOn(SDL_Window* window) {
    if (window) SDL_GL_SwapWindow(window);
}

void GlContext::SetSwapInterval(int interval) {
    if (window_) SDL_GL_SetSwapInterval(interval);  // "not supported" on some servers is harmless
}

void GlContext::DrawableSize(int* width, int* height) const {
    *width = *height = 0;
    if (window_) SDL_GL_GetDrawableSize(window_, width, height);
}

bool ProbeGlLimits(UINT* maxTextureSize, bool* s3tc, UINT* max3dTextureSize, int* maxVertexUniforms,
                   std::uint32_t* sampleCounts) {
    std::string error;
    auto context = GlContext::Create(nullptr, &error);
    if (!context) return false;
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    *maxTextureSize = size > 0 ? static_cast<UINT>(size) : 2048;
    if (max3dTextureSize) {
        GLint side = 0;
        glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &side);
        *max3dTextureSize = side > 0 ? static_cast<UINT>(side) : 256;  // 256: what OpenGL 3.3 promises
    }
    if (maxVertexUniforms) glGetIntegerv(GL_MAX_VERTEX_UNIFORM_COMPONENTS, maxVertexUniforms);
    *s3tc = false;
    GLint extensions = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &extensions);
    for (GLint i = 0; i < extensions; ++i) {
        const char* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (name && std::strcmp(name, "GL_EXT_texture_compression_s3tc") == 0) *s3tc = true;
    }
    if (sampleCounts) {
        // A driver may round a count up to one it has: only exact counts are offered.
        *sampleCounts = 0;
        GLint most = 0;
        glGetIntegerv(GL_MAX_SAMPLES, &most);
        GLuint buffers[2] = {};
        glGenRenderbuffers(2, buffers);
        for (GLint n = 2; n <= 16 && n <= most; ++n) {
            bool exact = true;
            for (int i = 0; i < 2; ++i) {
                glBindRenderbuffer(GL_RENDERBUFFER, buffers[i]);
                glRenderbufferStorageMultisample(GL_RENDERBUFFER, n, i == 0 ? GL_RGBA8 : GL_DEPTH24_STENCIL8, 4, 4);
                GLint samples = 0;
                glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &samples);
                exact = exact && samples == n;
            }
            if (exact) *sampleCounts |= 1u << n;
        }
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glDeleteRenderbuffers(2, buffers);
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    return true;
}

}  // namespace tarn::d3d9
