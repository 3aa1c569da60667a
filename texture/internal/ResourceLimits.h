// The largest image the readers accept: width, height and pixel count (width x height x depth) as a file declares
// them. Every reader checks the declared size against these right after its header, before it allocates or decodes
// anything, and refuses larger images with D3DXERR_INVALIDDATA and one debug-output line naming the limit.
// The defaults hold every 2D image of up to 2^28 pixels (16384 x 16384 among them); TARN_IMAGE_LIMITS changes them.
// Readers whose coding can describe a huge image in a few bytes (run-length bitmaps with their end-of-line,
// end-of-bitmap and move escapes, Radiance files with repeat runs, arithmetic-coded JPEG) also refuse a file that
// declares more than maxRatio pixels per byte of itself (ratio=N in TARN_IMAGE_LIMITS, 0 for none), so that what a
// small file costs to load stays small; any image of up to 16 M pixels whose decoded pixels take at most 64 MB loads
// however it is coded.
#pragma once

#include <cstdint>

#include "platform/d3d9/D3D9.h"

namespace tarn::texture {

struct ImageLimits {
    std::uint64_t maxWidth;   // widest image, in pixels
    std::uint64_t maxHeight;  // tallest image, in pixels
    std::uint64_t maxPixels;  // most pixels, width x height x depth
    std::uint64_t maxRatio;   // most pixels declared per byte of the file, where the coding has no floor; 0: no limit
};

// Images this small are never held to the ratio: up to kRatioFreePixels pixels and kRatioFreeBytes of decoded
// pixels, so that a sparse run-length bitmap of 4096 x 4096 loads from a few bytes, and what a file of a few bytes
// costs stays bounded (64 MB decoded, a 4096 x 4096 A8R8G8B8 texture).
inline constexpr std::uint64_t kRatioFreePixels = std::uint64_t{1} << 24;
inline constexpr std::uint64_t kRatioFreeBytes = std::uint64_t{64} << 20;

// A ratio of 1024 loads every file whose writer spends a byte on each 1024 pixels or more.
inline constexpr ImageLimits kDefaultImageLimits = {std::uint64_t{1} << 28, std::uint64_t{1} << 28,
                                                    std::uint64_t{1} << 28, 1024};

// The limits in force: those last set, else the defaults changed by TARN_IMAGE_LIMITS (read once, at first use).
ImageLimits CurrentImageLimits();
// Replaces the limits for the whole process (tools and tests); returns the previous ones.
ImageLimits SetImageLimits(const ImageLimits& limits);

// Parses the TARN_IMAGE_LIMITS syntax into `limits`, starting from its current values: comma-separated
// "width=N", "height=N", "pixels=N" (N a positive decimal number) and "ratio=N" (N a decimal number, 0 for no
// limit). False, with `limits` unchanged, on any error.
bool ParseImageLimits(const char* text, ImageLimits& limits);

// S_OK when a width x height x depth image is within the limits; otherwise one debug-output line
// ("<reader>: image W x H x D exceeds the <which> limit N") and D3DXERR_INVALIDDATA.
HRESULT CheckImageLimits(const char* reader, std::uint64_t width, std::uint64_t height, std::uint64_t depth = 1);

// S_OK when `pixels` declared by a file of `fileBytes` bytes are within maxRatio pixels per byte, or maxRatio is 0,
// or the image is within the free allowance (kRatioFreePixels, and kRatioFreeBytes at `decodedBytesPerPixel`, the
// size of a pixel as the reader decodes it); otherwise one debug-output line ("<reader>: image of N pixels in B
// bytes exceeds the ratio limit R pixels per byte") and D3DXERR_INVALIDDATA. Readers call it right after
// CheckImageLimits where their coding has no floor.
HRESULT CheckPixelsPerByte(const char* reader, std::uint64_t pixels, std::uint64_t fileBytes,
                           std::uint64_t decodedBytesPerPixel);

}  // namespace tarn::texture
