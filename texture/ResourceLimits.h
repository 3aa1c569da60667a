// The largest image the readers accept: width, height and pixel count (width x height x depth) as a file declares
// them. Every reader checks the declared size against these right after its header, before it allocates or decodes
// anything, and refuses larger images with D3DXERR_INVALIDDATA and one debug-output line naming the limit.
// The defaults hold every 2D image of up to 2^28 pixels (16384 x 16384 among them); TARN_IMAGE_LIMITS changes them.
#pragma once

#include <cstdint>

#include "platform/d3d9/D3D9.h"

struct ImageLimits {
    std::uint64_t maxWidth;   // widest image, in pixels
    std::uint64_t maxHeight;  // tallest image, in pixels
    std::uint64_t maxPixels;  // most pixels, width x height x depth
};

inline constexpr ImageLimits kDefaultImageLimits = {std::uint64_t{1} << 28, std::uint64_t{1} << 28,
                                                    std::uint64_t{1} << 28};

// The limits in force: those last set, else the defaults changed by TARN_IMAGE_LIMITS (read once, at first use).
ImageLimits CurrentImageLimits();
// Replaces the limits for the whole process (tools and tests); returns the previous ones.
ImageLimits SetImageLimits(const ImageLimits& limits);

// Parses the TARN_IMAGE_LIMITS syntax into `limits`, starting from its current values: comma-separated
// "width=N", "height=N", "pixels=N", N a positive decimal number. False, with `limits` unchanged, on any error.
bool ParseImageLimits(const char* text, ImageLimits& limits);

// S_OK when a width x height x depth image is within the limits; otherwise one debug-output line
// ("<reader>: image W x H x D exceeds the <which> limit N") and D3DXERR_INVALIDDATA.
HRESULT CheckImageLimits(const char* reader, std::uint64_t width, std::uint64_t height, std::uint64_t depth = 1);
