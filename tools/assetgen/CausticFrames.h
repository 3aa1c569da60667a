// The caustic animation: light refracted through a periodic wave surface onto a flat floor, accumulated and
// smoothed. The frames tile in space (wrap addressing shows no seam) and loop in time (frame N equals frame 0).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/assetgen/AssetImage.h"

namespace tarn::assetgen {

struct CausticSettings {
    int size = 256;          // square frame side in pixels
    int frames = 32;         // frames per loop
    int supersample = 3;     // refracted rays per pixel side
    float floor = 0.62f;     // brightness where no light gathers; the scene is multiplied by the frame, so a bright
    float gain = 0.32f;      // floor keeps it lit and the gathered lines reach 1.0
};

// Light intensity of frame `index` (mean 1 over the frame), size * size values, top row first.
std::vector<float> CausticIntensity(const CausticSettings& settings, int index, std::uint64_t seed);

// The frame as an image: intensity mapped through floor + gain * (intensity - 1), clamped to [0, 1], slightly
// green-blue like sunlight under water.
Image CausticFrame(const CausticSettings& settings, int index, std::uint64_t seed);

}  // namespace tarn::assetgen
