// OpenGL 3.3 core contexts for the renderer: on the engine window's SDL window when it has one, otherwise an EGL
// surfaceless context on Mesa (the back buffer is then an FBO of the renderer's own). Creation failures return
// null with the reason in *error; nothing is left behind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/win32/Win32.h"

struct SDL_Window;

namespace tarn::d3d9 {

class GlContext {
public:
    static std::unique_ptr<GlContext> Create(SDL_Window* window, std::string* error);
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    // Makes this context current on the calling thread unless it already is (cheap when it is).
    void MakeCurrent();
    // Gives the context up on the calling thread when it is current there (on any window), so that another
    // thread can make it current: EGL and GLX refuse a context that another thread holds.
    void Release();
    // Shows framebuffer 0 on the window; no-op without a window.
    void Swap();
    // Makes this context current on another SDL window (a swap chain's, or a present's override), whose
    // framebuffer 0 is then that window's; false when the window cannot take the context. MakeCurrent goes back
    // to the context's own window. SwapOn shows framebuffer 0 on that window.
    bool MakeCurrentOn(SDL_Window* window);
    void SwapOn(SDL_Window* window);
    bool onWindow() const { return sdlContext_ != nullptr; }
    void SetSwapInterval(int interval);
    SDL_Window* window() const { return window_; }
    // Size of the window's drawable (0 x 0 without a window).
    void DrawableSize(int* width, int* height) const;

private:
    GlContext() = default;
    SDL_Window* window_ = nullptr;
    void* sdlContext_ = nullptr;
    void* eglContext_ = nullptr;
};

// Maximum texture size and S3TC support of the driver (and, when asked, the largest 3D texture side and the
// vertex uniform components), from a throw-away surfaceless context; false when no context can be made.
// `sampleCounts`, when asked, gets bit n for each sample count n (2 to 16) at which an RGBA8 and a depth-stencil
// renderbuffer come out with exactly n samples.
bool ProbeGlLimits(UINT* maxTextureSize, bool* s3tc, UINT* max3dTextureSize = nullptr, int* maxVertexUniforms = nullptr,
                   std::uint32_t* sampleCounts = nullptr);

}  // namespace tarn::d3d9
