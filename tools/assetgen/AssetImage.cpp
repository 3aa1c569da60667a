#include "tools/assetgen/AssetImage.h"

#include <algorithm>
#include <cmath>

namespace tarn::assetgen {

std::uint8_t ToByte(float value) {
    const float v = std::clamp(value, 0.0f, 1.0f);
    return static_cast<std::uint8_t>(v * 255.0f + 0.5f);
}

Image HalveImage(const Image& image) {
    const int w = std::max(1, image.width / 2);
    const int h = std::max(1, image.height / 2);
    Image out(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // Source rectangle: 2 x 2, or 1 wide / high where the source side is already 1.
            const int x0 = std::min(2 * x, image.width - 1), x1 = std::min(2 * x + 1, image.width - 1);
            const int y0 = std::min(2 * y, image.height - 1), y1 = std::min(2 * y + 1, image.height - 1);
            const Rgba& a = image.at(x0, y0);
            const Rgba& b = image.at(x1, y0);
            const Rgba& c = image.at(x0, y1);
            const Rgba& d = image.at(x1, y1);
            auto avg = [](int p, int q, int r, int s) { return static_cast<std::uint8_t>((p + q + r + s + 2) / 4); };
            out.at(x, y) = {avg(a.r, b.r, c.r, d.r), avg(a.g, b.g, c.g, d.g), avg(a.b, b.b, c.b, d.b),
                            avg(a.a, b.a, c.a, d.a)};
        }
    }
    return out;
}

std::uint64_t Random::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

float Random::uniform(float lo, float hi) {
    const float unit = static_cast<float>(next() >> 40) / static_cast<float>(1ull << 24);
    return lo + (hi - lo) * unit;
}

int Random::range(int lo, int hi) {
    const auto span = static_cast<std::uint64_t>(hi - lo + 1);
    return lo + static_cast<int>(next() % span);
}

static float LatticeValue(int x, int y, std::uint32_t seed) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 0x8DA6B343u ^ static_cast<std::uint32_t>(y) * 0xD8163841u ^
                      seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return static_cast<float>(h & 0xFFFFFF) / static_cast<float>(0xFFFFFF);
}

static float Fade(float t) { return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f); }

static int Wrap(int v, int period) {
    const int m = v % period;
    return m < 0 ? m + period : m;
}

float TileNoise(float x, float y, int period, std::uint32_t seed) {
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const float tx = Fade(x - fx), ty = Fade(y - fy);
    const int x0 = Wrap(ix, period), x1 = Wrap(ix + 1, period);
    const int y0 = Wrap(iy, period), y1 = Wrap(iy + 1, period);
    const float a = LatticeValue(x0, y0, seed), b = LatticeValue(x1, y0, seed);
    const float c = LatticeValue(x0, y1, seed), d = LatticeValue(x1, y1, seed);
    const float top = a + (b - a) * tx;
    const float bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

float TileFbm(float x, float y, int period, int octaves, std::uint32_t seed) {
    float sum = 0.0f, weight = 1.0f, total = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        sum += weight * TileNoise(x, y, period, seed + 101u * static_cast<std::uint32_t>(o));
        total += weight;
        x *= 2.0f;
        y *= 2.0f;
        period *= 2;
        weight *= 0.5f;
    }
    return sum / total;
}

}  // namespace tarn::assetgen
