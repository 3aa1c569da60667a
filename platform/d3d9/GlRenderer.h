// The OpenGL 3.3 backend of a device: draws the device's state with generated fixed-function programs, keeps GL
// copies of resources and uploads them when their memory changed. Everything runs on the device's thread with
// the renderer's context current (each entry point makes it current).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/d3d9/Internal.h"

namespace tarn::d3d9 {

struct DrawCall {
    D3DPRIMITIVETYPE type;
    UINT primitiveCount;
    UINT vertexCount;          // vertices or indices the primitives use
    bool indexed;
    INT baseVertex;            // indexed draws from buffers
    UINT startIndex;           // indexed draws from buffers
    UINT startVertex;          // non-indexed draws from buffers
    const void* upVertices;    // user-pointer draws: vertex data (stream 0), else null
    UINT upStride;
    UINT upVertexBytes;
    const void* upIndices;     // user-pointer indexed draws
    bool upIndex32;
};

class GlRenderer {
public:
    // Null with the reason when no context can be made.
    static std::unique_ptr<GlRenderer> Create(Device* device, HWND window, std::string* error);
    ~GlRenderer();

    void Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil);
    void Draw(const DrawCall& call);
    // Shows the back buffer on the window (if any) and reports the frame to the runner.
    void Present(HWND window);
    // Copies a GPU-newer surface (render target or back buffer) into its memory.
    void ReadBack(Surface* surface);
    // GPU-side copy with scaling between render targets / textures; false when either side has no GL copy.
    bool Blit(Surface* source, const RECT& sourceRect, Surface* destination, const RECT& destRect, bool linear);
    void Fill(Surface* surface, const RECT& rect, D3DCOLOR color);
    // Drops the GL objects kept for a resource that is being destroyed.
    void Forget(ResourceCore* resource);
    std::size_t ProgramCount() const;
    UploadStats Uploads() const;
    void Finish();
    unsigned TakeErrors();
    // True once the resource has a GL copy (render targets always, textures after first use).
    bool HasGpuCopy(const Surface* surface) const;

    struct Impl;

private:
    GlRenderer() = default;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarn::d3d9
