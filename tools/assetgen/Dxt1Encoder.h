// A small DXT1 (BC1) encoder: four-colour blocks with end points on the block's principal colour axis.
// Alpha is ignored (every texel opaque). Deterministic; quality is that of a fast range fit.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/assetgen/AssetImage.h"

namespace tarn::assetgen {

// Encodes one 4 x 4 block (texels row by row) into 8 bytes: colour0, colour1 (R5G6B5, colour0 > colour1 so the
// block is in four-colour mode, or equal for a flat block), then 2-bit indices, texel 0 in the low bits.
void EncodeDxt1Block(const Rgba texels[16], std::uint8_t out[8]);

// Encodes an image level; sides below 4 are padded by repeating the edge texels.
std::vector<std::uint8_t> EncodeDxt1(const Image& image);

// Decodes one block back to 16 texels (four-colour and three-colour modes), for tests and checks.
void DecodeDxt1Block(const std::uint8_t block[8], Rgba texels[16]);

}  // namespace tarn::assetgen
