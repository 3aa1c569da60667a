// Decoders and encoders for single 4 x 4 blocks of the DXT1..DXT5 formats, on plain arrays.
// Pixels are four floats (red, green, blue, alpha) in 0..1; decoders write 16 pixels as four rows of four, the
// rows `stride` floats apart, and never fail; encoders read 16 pixels (row by row) and write 8 or 16 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "texture/TextureOptions.h"

namespace tarn::texture::blocks {

constexpr std::size_t kBlockPixels = 16;

// Colour block (the whole of DXT1): two 5-6-5 endpoints, then 2-bit indices. Colour 0 <= colour 1 selects the
// three-colour mode, whose fourth entry is transparent black.
void DecodeDxt1(const std::uint8_t* block, float* out, std::size_t stride);
// Explicit 4-bit alpha then a colour block. DXT2 holds colour premultiplied by alpha and is divided back.
void DecodeDxt3(const std::uint8_t* block, float* out, std::size_t stride);
void DecodeDxt2(const std::uint8_t* block, float* out, std::size_t stride);
// Two 8-bit alpha endpoints with 3-bit indices, then a colour block. DXT4 is the premultiplied form.
void DecodeDxt5(const std::uint8_t* block, float* out, std::size_t stride);
void DecodeDxt4(const std::uint8_t* block, float* out, std::size_t stride);

// Encoders. `pixels` holds 16 four-float pixels, row by row; values outside 0..1 are clamped. DXT1 stores a pixel
// whose alpha is below one half as transparent (three-colour mode, index 3), and uses the three-colour mode only
// in blocks that hold such a pixel. DXT2/DXT4 premultiply first. The colour blocks of DXT2-DXT5 are four-colour
// blocks only (colour 0 > colour 1), as graphics hardware decodes them in that mode whatever the endpoints.
// DXT5 alpha takes whichever of its two modes gives the smaller error.
struct EncodeOptions {
    BlockQuality quality = BlockQuality::Default;
    // DXT2/DXT3: 16 values in pixel order added to alpha * 15 before truncating it to 4 bits (an ordered dither);
    // null rounds to nearest.
    const float* alphaThreshold = nullptr;
};
void EncodeDxt1(std::uint8_t* block, const float* pixels, const EncodeOptions& options);
void EncodeDxt2(std::uint8_t* block, const float* pixels, const EncodeOptions& options);
void EncodeDxt3(std::uint8_t* block, const float* pixels, const EncodeOptions& options);
void EncodeDxt4(std::uint8_t* block, const float* pixels, const EncodeOptions& options);
void EncodeDxt5(std::uint8_t* block, const float* pixels, const EncodeOptions& options);
// The same at the library's quality (GetBlockQuality), rounding alpha to nearest.
void EncodeDxt1(std::uint8_t* block, const float* pixels);
void EncodeDxt2(std::uint8_t* block, const float* pixels);
void EncodeDxt3(std::uint8_t* block, const float* pixels);
void EncodeDxt4(std::uint8_t* block, const float* pixels);
void EncodeDxt5(std::uint8_t* block, const float* pixels);

// Whole blocks straight to 32-bit A8R8G8B8 words (blue in the low byte), row by row: each channel is the float
// decode above rounded as an 8-bit encoder rounds, trunc(v * 255 + 0.5), so both routes give the same bytes.
void DecodeDxt1Argb8(const std::uint8_t* block, std::uint32_t out[16]);
void DecodeDxt2Argb8(const std::uint8_t* block, std::uint32_t out[16]);
void DecodeDxt3Argb8(const std::uint8_t* block, std::uint32_t out[16]);
void DecodeDxt4Argb8(const std::uint8_t* block, std::uint32_t out[16]);
void DecodeDxt5Argb8(const std::uint8_t* block, std::uint32_t out[16]);

// The four A8R8G8B8 words a colour block names (the fourth is 0 in the three-colour mode), and the eight alphas
// of an interpolated-alpha block, as the decoders above give them.
void ColourPaletteWords(const std::uint8_t* block, std::uint32_t words[4]);
void AlphaPaletteBytes(const std::uint8_t* block, std::uint8_t alpha[8]);

}  // namespace tarn::texture::blocks
