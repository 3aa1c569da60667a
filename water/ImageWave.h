// ImageWave: draws a render-target texture back to the screen through a 10 x 10 grid of pre-transformed vertices
// whose interior points circle around their rest positions, so the picture ripples while its border stays fixed.
// Owns the texture, its level-0 surface and the grid's buffers (Release frees them); the device is borrowed.
#pragma once

#include "platform/d3d9/D3D9.h"

// Wave angle in radians shared by every ImageWave, advanced by 0.02 at each successful Update and kept below
// 2 pi.
extern float wavePhase;

// The phase after one more Update: phase + 0.02, less a whole turn once it reaches 2 pi.
float AdvanceWavePhase(float phase);

class ImageWave {
public:
    // Pre-transformed textured vertex: D3DFVF_XYZRHW | D3DFVF_TEX1, 24 bytes.
    struct WaveVertex {
        float x, y, z, rhw;
        float u, v;
    };
    static constexpr DWORD kFVF = D3DFVF_XYZRHW | D3DFVF_TEX1;
    static constexpr int kGrid = 10;                                          // vertices per side
    static constexpr UINT kVertexBytes = kGrid * kGrid * sizeof(WaveVertex);  // 2400
    static constexpr UINT kIndexBytes = 1200;                                 // 600 entries, the first 486 used
    static constexpr UINT kTriangles = 162;

    ImageWave();

    // Creates the width x height render-target texture in `format`, its surface and the buffers; false at the first
    // failure (what was created stays for Release).
    bool Create(D3DFORMAT format, IDirect3DDevice9* device, unsigned width, unsigned height);
    bool CreateBuffers();

    // Makes the texture the render target, keeping the previous target for EndCapture. False when either step fails;
    // the previous target is then released at once rather than leaked.
    bool BeginCapture();
    // Restores the saved render target; always true.
    bool EndCapture();

    // Rewrites the grid for the next phase; false (phase unchanged) when the buffer cannot be locked.
    bool Update();
    // Updates and draws the grid textured with the captured picture, with whatever states are in force.
    void Render();
    // Releases the buffers, the texture and the surface.
    void Release();

    IDirect3DTexture9* GetTexture() const { return texture; }
    IDirect3DSurface9* GetSurface() const { return surface; }
    IDirect3DVertexBuffer9* GetVertexBuffer() const { return vertexBuffer; }
    IDirect3DIndexBuffer9* GetIndexBuffer() const { return indexBuffer; }
    bool HoldsSavedTarget() const { return savedTarget != nullptr; }

private:
    IDirect3DDevice9* device;
    IDirect3DTexture9* texture;
    IDirect3DSurface9* surface;
    IDirect3DSurface9* savedTarget;
    IDirect3DVertexBuffer9* vertexBuffer;
    IDirect3DIndexBuffer9* indexBuffer;
    unsigned int width;
    unsigned int height;
    float amplitude;
};
static_assert(sizeof(ImageWave::WaveVertex) == 24, "the grid is handed to the device with a 24-byte stride");
