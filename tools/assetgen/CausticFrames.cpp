#include "tools/assetgen/CausticFrames.h"

#include <algorithm>
#include <cmath>

namespace tarn::assetgen {

namespace {

constexpr float kTwoPi = 6.28318530718f;

struct Wave {
    int kx, ky;        // wave vector in cycles per tile: integers, so the surface tiles
    int temporal;      // cycles per loop: an integer, so the animation loops
    float amplitude;
    float phase;
};

std::vector<Wave> MakeWaves(std::uint64_t seed) {
    Random random(seed ^ 0xCA057ull);
    std::vector<Wave> waves;
    // Eight waves from different directions; shorter waves travel round the loop more often, as on water.
    while (waves.size() < 8) {
        const int kx = random.range(-12, 12), ky = random.range(-12, 12);
        const float k = std::sqrt(static_cast<float>(kx * kx + ky * ky));
        if (k < 6.5f || k > 12.5f) continue;
        Wave w;
        w.kx = kx;
        w.ky = ky;
        w.temporal = std::max(1, static_cast<int>(std::lround(std::sqrt(k) * 0.8f)));
        w.amplitude = 1.0f / (k * k);
        w.phase = random.uniform(0.0f, kTwoPi);
        waves.push_back(w);
    }
    return waves;
}

}  // namespace

std::vector<float> CausticIntensity(const CausticSettings& settings, int index, std::uint64_t seed) {
    const int n = settings.size;
    const int rays = n * settings.supersample;
    const std::vector<Wave> waves = MakeWaves(seed);
    const float time = kTwoPi * static_cast<float>(index) / static_cast<float>(settings.frames);

    // Depth of the floor below the surface, in tile units, scaled so that the waves focus light into sharp lines
    // (the surface curvature times the depth is about one).
    float curvature = 0.0f;
    for (const Wave& w : waves) curvature += w.amplitude * kTwoPi * kTwoPi * (w.kx * w.kx + w.ky * w.ky);
    const float depth = 1.5f / curvature;

    std::vector<float> sum(static_cast<std::size_t>(n) * n, 0.0f);
    for (int sy = 0; sy < rays; ++sy) {
        for (int sx = 0; sx < rays; ++sx) {
            const float px = (sx + 0.5f) / rays, py = (sy + 0.5f) / rays;
            float gx = 0.0f, gy = 0.0f;  // surface gradient
            for (const Wave& w : waves) {
                const float arg = kTwoPi * (w.kx * px + w.ky * py) + w.phase - w.temporal * time;
                const float s = -w.amplitude * kTwoPi * std::sin(arg);
                gx += s * w.kx;
                gy += s * w.ky;
            }
            // Small-angle refraction: the ray leans against the slope and lands displaced on the floor.
            const float fx = (px - depth * gx) * n - 0.5f, fy = (py - depth * gy) * n - 0.5f;
            const float ix = std::floor(fx), iy = std::floor(fy);
            const float tx = fx - ix, ty = fy - iy;
            const int x0 = ((static_cast<int>(ix) % n) + n) % n, y0 = ((static_cast<int>(iy) % n) + n) % n;
            const int x1 = (x0 + 1) % n, y1 = (y0 + 1) % n;
            sum[static_cast<std::size_t>(y0) * n + x0] += (1 - tx) * (1 - ty);
            sum[static_cast<std::size_t>(y0) * n + x1] += tx * (1 - ty);
            sum[static_cast<std::size_t>(y1) * n + x0] += (1 - tx) * ty;
            sum[static_cast<std::size_t>(y1) * n + x1] += tx * ty;
        }
    }

    // Smooth with a wrapped 1-2-1 kernel per axis; then scale so that the mean is 1.
    std::vector<float> tmp(sum.size());
    for (int pass = 0; pass < 1; ++pass) {
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                tmp[static_cast<std::size_t>(y) * n + x] = 0.25f * sum[static_cast<std::size_t>(y) * n + (x + n - 1) % n] +
                                                           0.5f * sum[static_cast<std::size_t>(y) * n + x] +
                                                           0.25f * sum[static_cast<std::size_t>(y) * n + (x + 1) % n];
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                sum[static_cast<std::size_t>(y) * n + x] = 0.25f * tmp[static_cast<std::size_t>((y + n - 1) % n) * n + x] +
                                                           0.5f * tmp[static_cast<std::size_t>(y) * n + x] +
                                                           0.25f * tmp[static_cast<std::size_t>((y + 1) % n) * n + x];
    }
    const float perPixel = static_cast<float>(settings.supersample * settings.supersample);
    for (float& v : sum) v /= perPixel;
    return sum;
}

Image CausticFrame(const CausticSettings& settings, int index, std::uint64_t seed) {
    const std::vector<float> intensity = CausticIntensity(settings, index, seed);
    Image image(settings.size, settings.size);
    for (std::size_t i = 0; i < intensity.size(); ++i) {
        const float v = settings.floor + settings.gain * (intensity[i] - 1.0f);
        image.pixels[i] = {ToByte(v * 0.90f + 0.06f), ToByte(v * 0.97f + 0.03f), ToByte(v), 255};
    }
    return image;
}

}  // namespace tarn::assetgen
