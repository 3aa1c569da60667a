// The drawing backend of a device: one interface, two implementations. The OpenGL backend (GlRenderer.cpp) draws
// the device's state; the null backend (NullRenderer.cpp) keeps nothing of its own and draws nothing, so that
// resources and state work anywhere (tools, tests, benchmarks). The device calls it from one thread at a time: its
// own, or whichever holds the lock of a multithreaded device (DeviceLock.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/d3d9/Backend.h"
#include "platform/d3d9/D3D9.h"
#include "BackendLimits.h"

namespace tarn::d3d9 {

class Device;
class ResourceCore;
class Surface;

struct DrawCall {
    D3DPRIMITIVETYPE type;
    UINT primitiveCount;
    UINT vertexCount;  // vertices or indices the primitives use
    bool indexed;
    INT baseVertex;          // indexed draws from buffers
    UINT startIndex;         // indexed draws from buffers
    UINT startVertex;        // non-indexed draws from buffers
    const void* upVertices;  // user-pointer draws: vertex data (stream 0), else null
    UINT upStride;
    UINT upVertexBytes;
    const void* upIndices;  // user-pointer indexed draws
    bool upIndex32;
};

// One presented frame: the back buffer shown, into `window` (null for frames that are not the program's: neither
// shown nor reported), the rectangles of the copy swap effect (null: whole), and the gamma ramp the picture
// passes through on its way to the display (null: none).
struct PresentFrame {
    Surface* back;
    HWND window;
    const RECT* sourceRect;
    const RECT* destRect;
    const D3DGAMMARAMP* gamma;
};

// A query's work in a backend, behind IDirect3DQuery9 (Queries.cpp). Begin and End mark the command stream (Begin
// only for the types measured between the two); Result fills the type's data once the GPU has passed End.
class GpuQuery {
public:
    virtual ~GpuQuery() = default;
    virtual void Begin() = 0;
    virtual void End() = 0;
    // True, with the type's data in `data`, once the result is ready; `flush` first sends the queued commands.
    virtual bool Result(void* data, bool flush) = 0;
};

class Renderer {
public:
    virtual ~Renderer() = default;

    // What this backend can do (the same answer as LimitsOf for its kind).
    virtual const BackendLimits& Limits() const = 0;

    // `changed` holds the groups of device state (Dirty bits) set since the previous Clear or Draw; the backend
    // takes them as hints of what to look at again and keeps its own record of what it has applied.
    virtual void Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil,
                       std::uint32_t changed) = 0;
    virtual void Draw(const DrawCall& call, std::uint32_t changed) = 0;
    // Shows the frame's back buffer on its window (if any) and reports the frame to the runner.
    virtual void Present(const PresentFrame& frame) = 0;
    // Copies a GPU-newer surface (render target or back buffer) into its memory.
    virtual void ReadBack(Surface* surface) = 0;
    // GPU-side copy with scaling between render targets / textures; false when the backend cannot, and the
    // device then copies in memory.
    virtual bool Blit(Surface* source, const RECT& sourceRect, Surface* destination, const RECT& destRect,
                      bool linear) = 0;
    // Fills a rectangle of a render target; false when the backend cannot, and the device fills memory.
    virtual bool Fill(Surface* surface, const RECT& rect, D3DCOLOR color) = 0;
    // Drops what the backend keeps for a resource that is being destroyed.
    virtual void Forget(ResourceCore* resource) = 0;
    // The device was reset: new back buffer and depth buffer, every state at its default, new present
    // parameters (swap interval). The backend applies everything again at the next draw.
    virtual void Reset() = 0;
    virtual std::size_t ProgramCount() const = 0;
    virtual UploadStats Uploads() const = 0;
    // GL state calls sent so far (0 for the null backend).
    virtual std::size_t StateCalls() const = 0;
    // Waits until every command sent so far has finished.
    virtual void Finish() = 0;
    // Errors raised by the backend since the last call, cleared.
    virtual unsigned TakeErrors() = 0;
    // Whether this backend answers queries of `type`, and a new query of that type (null when it does not).
    virtual bool SupportsQuery(D3DQUERYTYPE type) const = 0;
    virtual std::unique_ptr<GpuQuery> CreateQuery(D3DQUERYTYPE type) = 0;
    // A multithreaded device's call ends: the backend lets go of whatever binds it to the calling thread (the
    // OpenGL context), so that the next call can take it on another. Its next use takes it back.
    virtual void ReleaseContext() = 0;
};

// What a backend of each kind can do, answered before any device exists (the adapter's caps and format checks):
// the OpenGL backend asks the driver once (a throw-away context; the fixed values when none can be made), the
// null backend gives its fixed values.
const BackendLimits& GlBackendLimits();
const BackendLimits& NullBackendLimits();
inline const BackendLimits& LimitsOf(BackendKind backend) {
    return backend == BackendKind::Gl ? GlBackendLimits() : NullBackendLimits();
}

// Never fails.
std::unique_ptr<Renderer> CreateNullRenderer(Device* device);
// Null with the reason when no OpenGL context can be made.
std::unique_ptr<Renderer> CreateGlRenderer(Device* device, HWND window, std::string* error);

}  // namespace tarn::d3d9
