// Choices of the Direct3D layer that tests, tools and benchmarks make in code: which drawing backend new devices
// get, which capability profile new Direct3D objects describe, and what a device still holds (leak checks).
// Without calls here the environment decides (TARN_D3D9_BACKEND=gl|null, TARN_D3D9_PROFILE=<name>).
#pragma once

#include <cstddef>
#include <string>

#include "platform/d3d9/D3D9.h"

namespace tarn::d3d9 {

enum class BackendKind { Gl, Null };

// Backend of the devices created from now on; overrides TARN_D3D9_BACKEND until ResetBackend.
void SetBackend(BackendKind kind);
void ResetBackend();
BackendKind CurrentBackend();

// Capability profiles: "default" (what the OpenGL backend supports), "pow2" (power-of-two sizes only, cube and
// volume textures too), "pow2-conditional" (power-of-two, 2D textures of other sizes allowed without mip maps),
// "square" (square power-of-two only), "max256" (textures and volumes up to 256 on a side), "rgb-only" (32-bit and
// 16-bit RGB formats only), "no-volume" (no volume textures).
// Applies to Direct3D objects created afterwards; false (and no change) for an unknown name; null resets to
// TARN_D3D9_PROFILE (or "default").
bool SetProfile(const char* name);
std::string CurrentProfileName();

// A windowed `width` x `height` device on the null backend (resources and state, no drawing), for the tools, fuzz
// targets, tests and benchmarks that only load and convert resources: one X8R8G8B8 back buffer, a D16 depth
// buffer, hardware vertex processing. Selects the null backend for devices created from now on, as SetBackend
// does. The desktop window stands in as its device window. The device holds its own Direct3D object, so
// releasing the device releases both. Null on failure.
IDirect3DDevice9* CreateNullDevice(UINT width, UINT height);

// Resources, state blocks and queries created on `device` and still alive (the device's own back buffer and depth
// buffer excluded), and a one-line-per-object description of them (for a resource: type, format, size, pool, where
// created when known).
std::size_t LiveResourceCount(IDirect3DDevice9* device);
std::string DescribeLiveResources(IDirect3DDevice9* device);

// Upload counters of the OpenGL backend since the device was created (zeros for the null backend): texture levels
// sent to GL and vertex/index bytes sent to GL. Tests use them to see that only what changed is sent again.
struct UploadStats {
    std::size_t textureLevels = 0;
    std::size_t bufferBytes = 0;
};
UploadStats Uploads(IDirect3DDevice9* device);

// Programs the OpenGL backend has generated for the fixed-function states met so far (0 for the null backend).
std::size_t GeneratedProgramCount(IDirect3DDevice9* device);

// The OpenGL backend skips GL calls for state that GL already holds. Switched off (also by
// TARN_D3D9_STATE_CACHE=0), every draw applies every state: the same pictures with more calls, for debugging.
void SetStateCacheEnabled(bool enabled);
bool StateCacheEnabled();

// GL state calls (enables, binds, masks, blend, depth and stencil settings, attribute pointers, ...) the OpenGL
// backend has sent since the device was created; 0 for the null backend. With the state cache on, a state GL
// already holds is not sent again, so a draw that changes nothing sends none.
std::size_t GlStateCalls(IDirect3DDevice9* device);

// OpenGL errors raised since the last call (0 when none, or for the null backend); clears them. For tests.
unsigned TakeGlErrors(IDirect3DDevice9* device);

// Waits until the device's backend has finished every command sent so far (benchmarks time whole frames).
void FinishGpuWork(IDirect3DDevice9* device);

// True while DebugSetMute(TRUE) is in force: the layer's own diagnostics (leak reports included) are silent.
bool Muted();

}  // namespace tarn::d3d9

// The runtime's debug switch, exported as "DebugSetMute" of "d3d9.dll"; the caller cleans the stack.
extern "C" void DebugSetMute(BOOL mute);
