// CTRWaterImage: lights the scene with a 32-frame caustic animation projected from a virtual light above the
// origin through texture stage 1 (coordinates generated from camera-space positions), and switches on the linear
// fog of the sea. Owns the 32 frame textures (Release frees them); the device is borrowed.
#pragma once

#include "math/D3DXMath.h"
#include "platform/d3d9/D3D9.h"

// Caustic animation clock in frames, advanced by Begin at 20 frames per second of elapsed time; it stays in
// [0, 32), one cycle of the animation.
extern float causticClock;

// The clock after `elapsed` seconds: clock + elapsed * 20, less whole cycles of 32 frames.
float AdvanceCausticClock(float clock, float elapsed);

class CTRWaterImage {
public:
    static constexpr int kFrames = 32;
    static constexpr D3DCOLOR kFogColor = 0x00004080;  // the demo's clear colour

    CTRWaterImage();

    // Loads ./Water/caust0.tga ... caust31.tga and sets sampler 1's filters and the fog (SetStates). False at the
    // first frame that does not load; the frames loaded so far stay for Release.
    bool Create(IDirect3DDevice9* device);
    // The same with the frames in `directory` + "Water/caust%d.tga" (`directory` ends with a separator; "./" is
    // what Create(device) reads).
    bool Create(IDirect3DDevice9* device, const char* directory);
    // Sets sampler 1's linear filters and the linear fog of the sea (200 to 1000, the clear colour), as Create does:
    // for a program that changed them since, or whose device was reset.
    void SetStates();
    // Sets up stage 1 for this frame: projective caustic coordinates from the camera's projection and world
    // matrices, the frame for the advanced clock, modulation, and alpha blending. Checks no results.
    void Begin(float elapsed, const D3DXMATRIX* projection, const D3DXMATRIX* cameraWorld);
    // Returns blending to an opaque copy, stage 0 to the texture alone and disables stage 1.
    void End();
    // Releases every loaded frame.
    void Release();

    IDirect3DTexture9* GetFrame(int index) const { return index >= 0 && index < kFrames ? textures[index] : nullptr; }
    // The texture transform computed by the last Begin.
    const D3DXMATRIX& GetTextureTransform() const { return lastTransform; }

private:
    IDirect3DDevice9* device;
    IDirect3DTexture9* textures[kFrames];
    D3DXMATRIX lastTransform;
};
