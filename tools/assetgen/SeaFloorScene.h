// The sea-floor scene of the demo as a .TRS description: sand terrain reaching into the fog, rocks, coral, shells,
// a wreck and broken columns near the centre, seaweed as yaw billboards, two lights, one camera, dummy and animated
// nodes. Deterministic from the seed; the texture names are those written by the generator.
#pragma once

#include <cstdint>

#include "tools/trs/TrsWriter.h"

namespace tarn::assetgen {

// File names of the scene's textures, in texture-index order.
inline constexpr const char* kSandTexture = "sand.bmp";
inline constexpr const char* kRockTexture = "rock.jpg";
inline constexpr const char* kWoodTexture = "wreck.tga";
inline constexpr const char* kCoralTexture = "coral.dds";
inline constexpr const char* kSeaweedTexture = "seaweed.png";

// Height of the sand at (x, z); the scene's meshes sit on it.
float SeaFloorHeight(float x, float z, std::uint64_t seed);

trs::TrsScene BuildSeaFloorScene(std::uint64_t seed);

// Triangles drawn per frame: the sum over mesh nodes of their index buffer's triangle count.
std::size_t SceneTriangleCount(const trs::TrsScene& scene);

}  // namespace tarn::assetgen
