// What a drawing backend can do, as the adapter reports it (GetDeviceCaps, CheckDeviceFormat, the size checks of
// CreateDevice and resource creation). Each backend answers its own (Renderer.h): the OpenGL backend from the
// driver, the null backend from the fixed values below, which the OpenGL backend also keeps when no context can
// be made.
#pragma once

#include "platform/d3d9/D3D9.h"

namespace tarn::d3d9 {

struct BackendLimits {
    UINT maxTextureSize = 8192;   // largest 2D texture and render-target side, and cube map edge
    UINT maxVolumeExtent = 2048;  // largest volume texture side
    bool s3tc = true;             // DXT1 to DXT5 textures can be sampled
    float maxPointSize = 64.0f;   // largest point drawn, in pixels
    UINT maxAnisotropy = 1;       // largest anisotropy of a sampler; 1: no anisotropic filtering
    UINT maxVertexBlendMatrixIndex = 255;  // largest world-matrix index of indexed vertex blending
};

}  // namespace tarn::d3d9
