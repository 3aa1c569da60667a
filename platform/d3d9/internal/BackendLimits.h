// What a drawing backend can do, as the adapter reports it (GetDeviceCaps, CheckDeviceFormat, the size checks of
// CreateDevice and resource creation). Each backend answers its own (Renderer.h): the OpenGL backend from the
// driver, the null backend from the fixed values below, which the OpenGL backend also keeps when no context can
// be made.
#pragma once

#include <cstdint>

#include "platform/d3d9/D3D9.h"

namespace tarn::d3d9 {

struct BackendLimits {
    UINT maxTextureSize = 8192;            // largest 2D texture and render-target side, and cube map edge
    UINT maxVolumeExtent = 2048;           // largest volume texture side
    bool s3tc = true;                      // DXT1 to DXT5 textures can be sampled
    float maxPointSize = 64.0f;            // largest point drawn, in pixels
    UINT maxAnisotropy = 1;                // largest anisotropy of a sampler; 1: no anisotropic filtering
    UINT maxVertexBlendMatrixIndex = 255;  // largest world-matrix index of indexed vertex blending
    // Bit n set: colour and depth surfaces of n samples (2 to 16) can be drawn into and resolved. None without a
    // driver to draw them.
    std::uint32_t sampleCounts = 0;
};

// The number of samples a surface of `type` and `quality` has with `limits`: 1 for D3DMULTISAMPLE_NONE, the type's
// count for the counted types, and for D3DMULTISAMPLE_NONMASKABLE the quality-th count the backend offers; 0 when
// the backend has no such count (or quality level).
inline UINT SampleCount(const BackendLimits& limits, D3DMULTISAMPLE_TYPE type, DWORD quality) {
    if (type == D3DMULTISAMPLE_NONE) return 1;
    if (type == D3DMULTISAMPLE_NONMASKABLE) {
        for (UINT n = 2; n <= 16; ++n) {
            if ((limits.sampleCounts >> n) & 1u) {
                if (quality == 0) return n;
                --quality;
            }
        }
        return 0;
    }
    const UINT n = static_cast<UINT>(type);
    return n >= 2 && n <= 16 && quality == 0 && ((limits.sampleCounts >> n) & 1u) ? n : 0;
}

// Quality levels of a type: 1 for NONE and each available counted type, the number of available counts for
// NONMASKABLE, 0 when the type is not available.
inline DWORD QualityLevels(const BackendLimits& limits, D3DMULTISAMPLE_TYPE type) {
    DWORD levels = 0;
    while (SampleCount(limits, type, levels) != 0 && type != D3DMULTISAMPLE_NONE) ++levels;
    return type == D3DMULTISAMPLE_NONE ? 1 : levels;
}

}  // namespace tarn::d3d9
