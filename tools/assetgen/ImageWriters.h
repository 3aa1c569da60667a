// Image file writers of the asset generator, one format per file. Each writes the whole file or returns false with
// a reason in *error; a failed write leaves no partial file behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/assetgen/AssetImage.h"

namespace tarn::assetgen {

enum class TgaOrigin { BottomLeft, TopLeft };

// Targa: uncompressed (type 2) or run-length encoded (type 10) true colour, 24 bits (alpha dropped) or 32 bits.
std::vector<std::uint8_t> EncodeTga(const Image& image, int bitsPerPixel, bool runLength, TgaOrigin origin);

// Windows bitmap: BITMAPFILEHEADER + BITMAPINFOHEADER, 24 bits, bottom-up rows padded to 4 bytes.
std::vector<std::uint8_t> EncodeBmp24(const Image& image);

// DirectDraw surface with DXT1 blocks and the full mip chain down to 1 x 1 (sides must be powers of two).
std::vector<std::uint8_t> EncodeDdsDxt1(const Image& image);

// PNG (8-bit RGBA) through libpng, JPEG (RGB, given quality) through libjpeg.
bool EncodePng(const Image& image, std::vector<std::uint8_t>* out, std::string* error);
bool EncodeJpeg(const Image& image, int quality, std::vector<std::uint8_t>* out, std::string* error);

// Writes bytes to `path` through a temporary file renamed into place.
bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error);

// Little-endian appenders shared by the writers.
void PutU8(std::vector<std::uint8_t>& out, unsigned value);
void PutU16(std::vector<std::uint8_t>& out, unsigned value);
void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value);

}  // namespace tarn::assetgen
