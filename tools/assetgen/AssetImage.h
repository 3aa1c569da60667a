// Images and seeded noise for the asset generator: RGBA8 pixels, top row first; every pattern tiles on its own
// size so that textures and caustic frames repeat without seams. Same seed, same bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace tarn::assetgen {

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;  // width * height, top row first

    Image() = default;
    Image(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h) {}
    Rgba& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    const Rgba& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Float in [0, 1] to a byte, clamped and rounded.
std::uint8_t ToByte(float value);

// The next mip level: 2 x 2 box average (a side of 1 stays 1).
Image HalveImage(const Image& image);

// Deterministic generator (splitmix64): the same seed always gives the same sequence.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    float uniform(float lo, float hi);  // [lo, hi)
    int range(int lo, int hi);          // [lo, hi]

private:
    std::uint64_t state_;
};

// Value noise on a square lattice of `period` cells that wraps around, so that noise(x + period, y) = noise(x, y).
// Result in [0, 1], smooth (quintic fade between lattice values).
float TileNoise(float x, float y, int period, std::uint32_t seed);

// Sum of `octaves` tiling noise layers, each twice the frequency and half the weight; result in [0, 1].
float TileFbm(float x, float y, int period, int octaves, std::uint32_t seed);

}  // namespace tarn::assetgen
