// Procedural textures of the sea-floor scene, each tiling on its own size: sand, rock, seaweed (with alpha),
// coral and weathered wood. Deterministic from the seed.
#pragma once

#include <cstdint>

#include "tools/assetgen/AssetImage.h"

namespace tarn::assetgen {

Image SandTexture(int size, std::uint64_t seed);
Image RockTexture(int size, std::uint64_t seed);
Image SeaweedTexture(int width, int height, std::uint64_t seed);  // transparent around the fronds
Image CoralTexture(int size, std::uint64_t seed);
Image WoodTexture(int size, std::uint64_t seed);

}  // namespace tarn::assetgen
