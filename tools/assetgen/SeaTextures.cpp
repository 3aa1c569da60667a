#include "tools/assetgen/SeaTextures.h"

#include <algorithm>
#include <cmath>

namespace tarn::assetgen {

namespace {
constexpr float kTwoPi = 6.28318530718f;

std::uint32_t Seed32(std::uint64_t seed, std::uint32_t salt) {
    return static_cast<std::uint32_t>(seed ^ (seed >> 32)) * 2654435761u + salt;
}

Rgba Colour(float r, float g, float b, float a = 1.0f) { return {ToByte(r), ToByte(g), ToByte(b), ToByte(a)}; }
}  // namespace

Image SandTexture(int size, std::uint64_t seed) {
    Image image(size, size);
    const std::uint32_t s = Seed32(seed, 1);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float u = static_cast<float>(x) / size, v = static_cast<float>(y) / size;
            const float grain = TileFbm(u * 32, v * 32, 32, 3, s);
            const float patches = TileFbm(u * 4, v * 4, 4, 3, s + 7);
            // Ripples: two whole cycles of a slightly wavy ridge pattern across the tile, so that it still tiles.
            const float warp = TileNoise(u * 4, v * 4, 4, s + 13) * 1.5f;
            const float ripple = 0.5f + 0.5f * std::sin(kTwoPi * (3.0f * v + 1.0f * u) + warp * kTwoPi * 0.5f);
            const float shade = 0.78f + 0.10f * (patches - 0.5f) + 0.08f * (grain - 0.5f) + 0.05f * (ripple - 0.5f);
            image.at(x, y) = Colour(shade * 1.05f, shade * 0.95f, shade * 0.74f);
        }
    }
    return image;
}

Image RockTexture(int size, std::uint64_t seed) {
    Image image(size, size);
    const std::uint32_t s = Seed32(seed, 2);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float u = static_cast<float>(x) / size, v = static_cast<float>(y) / size;
            const float base = TileFbm(u * 8, v * 8, 8, 5, s);
            const float crack = std::fabs(TileFbm(u * 6, v * 6, 6, 3, s + 5) - 0.5f);
            const float moss = std::clamp((TileFbm(u * 5, v * 5, 5, 3, s + 9) - 0.55f) * 4.0f, 0.0f, 1.0f);
            float shade = 0.45f + 0.45f * (base - 0.5f) * 2.0f;
            if (crack < 0.02f) shade *= 0.55f + crack * 20.0f;
            const float r = shade * 0.95f, g = shade * 0.90f, b = shade * 0.82f;
            image.at(x, y) = Colour(r * (1 - moss) + 0.28f * moss, g * (1 - moss) + 0.42f * moss,
                                    b * (1 - moss) + 0.22f * moss);
        }
    }
    return image;
}

Image SeaweedTexture(int width, int height, std::uint64_t seed) {
    Image image(width, height);
    Random random(seed ^ 0x5EA3EEDull);
    struct Frond {
        float base, sway, phase, width, top;
    };
    Frond fronds[5];
    for (int i = 0; i < 5; ++i) {
        fronds[i] = {random.uniform(0.25f, 0.75f), random.uniform(0.05f, 0.14f), random.uniform(0.0f, kTwoPi),
                     random.uniform(0.12f, 0.2f), random.uniform(0.02f, 0.35f)};
    }
    const std::uint32_t s = Seed32(seed, 3);
    for (int y = 0; y < height; ++y) {
        // v = 0 at the top row, 1 at the root.
        const float v = (y + 0.5f) / height;
        for (int x = 0; x < width; ++x) {
            const float u = (x + 0.5f) / width;
            float alpha = 0.0f, tone = 0.0f;
            for (const Frond& f : fronds) {
                if (v < f.top) continue;
                const float along = (v - f.top) / (1.0f - f.top);  // 0 at the tip, 1 at the root
                const float centre = f.base + f.sway * std::sin(f.phase + v * 7.0f) * (1.0f - along);
                const float halfWidth = f.width * (0.25f + 0.75f * std::sqrt(along)) * 0.5f;
                const float d = std::fabs(u - centre) / halfWidth;
                if (d < 1.0f) {
                    const float a = std::clamp((1.0f - d) * 4.0f, 0.0f, 1.0f);
                    if (a > alpha) {
                        alpha = a;
                        tone = 0.55f + 0.45f * (1.0f - d) + 0.1f * (TileNoise(u * 16, v * 64, 64, s) - 0.5f);
                    }
                }
            }
            // Transparent texels keep a frond colour so that filtering never pulls in black edges.
            const float t = alpha > 0.0f ? tone : 0.6f;
            image.at(x, y) = Colour(0.22f * t + 0.05f * v, 0.62f * t, 0.20f * t, alpha);
        }
    }
    return image;
}

Image CoralTexture(int size, std::uint64_t seed) {
    Image image(size, size);
    const std::uint32_t s = Seed32(seed, 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float u = static_cast<float>(x) / size, v = static_cast<float>(y) / size;
            const float n = TileFbm(u * 8, v * 8, 8, 4, s);
            const float spots = TileNoise(u * 24, v * 24, 24, s + 3);
            float r = 0.95f, g = 0.48f + 0.2f * n, b = 0.42f + 0.15f * n;
            if (spots > 0.72f) {
                r = 1.0f;
                g = 0.85f;
                b = 0.70f;
            }
            const float shade = 0.75f + 0.35f * (n - 0.5f);
            image.at(x, y) = Colour(r * shade, g * shade, b * shade);
        }
    }
    return image;
}

Image WoodTexture(int size, std::uint64_t seed) {
    Image image(size, size);
    const std::uint32_t s = Seed32(seed, 5);
    const int planks = 8;
    for (int y = 0; y < size; ++y) {
        const float v = static_cast<float>(y) / size;
        const int plank = static_cast<int>(v * planks);
        const float inPlank = v * planks - plank;
        for (int x = 0; x < size; ++x) {
            const float u = static_cast<float>(x) / size;
            // Grain runs along u: noise stretched across the plank, offset per plank.
            const float grain = TileFbm(u * 2 + plank * 0.37f, v * 48, 2, 4, s + static_cast<std::uint32_t>(plank));
            const float rot = TileFbm(u * 6, v * 6, 6, 3, s + 77);
            float shade = 0.66f + 0.30f * (grain - 0.5f) * 2.0f;
            if (inPlank < 0.06f || inPlank > 0.94f) shade *= 0.45f;  // gap between planks
            const float green = std::clamp((rot - 0.55f) * 3.0f, 0.0f, 1.0f);
            image.at(x, y) = Colour(shade * (0.80f - 0.3f * green), shade * (0.62f + 0.05f * green),
                                    shade * (0.42f - 0.05f * green));
        }
    }
    return image;
}

}  // namespace tarn::assetgen
