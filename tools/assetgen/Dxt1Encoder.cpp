#include "tools/assetgen/Dxt1Encoder.h"

#include <algorithm>
#include <cmath>

namespace tarn::assetgen {

static std::uint16_t Pack565(float r, float g, float b) {
    const auto q = [](float v, int maxValue) {
        return static_cast<unsigned>(std::clamp(static_cast<int>(std::lround(v / 255.0f * maxValue)), 0, maxValue));
    };
    return static_cast<std::uint16_t>((q(r, 31) << 11) | (q(g, 63) << 5) | q(b, 31));
}

static Rgba Unpack565(std::uint16_t c) {
    const unsigned r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return {static_cast<std::uint8_t>((r << 3) | (r >> 2)), static_cast<std::uint8_t>((g << 2) | (g >> 4)),
            static_cast<std::uint8_t>((b << 3) | (b >> 2)), 255};
}

static void Palette(std::uint16_t c0, std::uint16_t c1, Rgba out[4]) {
    out[0] = Unpack565(c0);
    out[1] = Unpack565(c1);
    if (c0 > c1) {
        auto mix = [](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>((2 * a + b) / 3); };
        out[2] = {mix(out[0].r, out[1].r), mix(out[0].g, out[1].g), mix(out[0].b, out[1].b), 255};
        out[3] = {mix(out[1].r, out[0].r), mix(out[1].g, out[0].g), mix(out[1].b, out[0].b), 255};
    } else {
        auto half = [](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>((a + b) / 2); };
        out[2] = {half(out[0].r, out[1].r), half(out[0].g, out[1].g), half(out[0].b, out[1].b), 255};
        out[3] = {0, 0, 0, 0};
    }
}

void EncodeDxt1Block(const Rgba texels[16], std::uint8_t out[8]) {
    // Principal axis of the block's colours by power iteration on the covariance matrix.
    float mean[3] = {0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        mean[0] += texels[i].r;
        mean[1] += texels[i].g;
        mean[2] += texels[i].b;
    }
    for (float& m : mean) m /= 16.0f;
    float cov[6] = {0, 0, 0, 0, 0, 0};  // rr rg rb gg gb bb
    for (int i = 0; i < 16; ++i) {
        const float r = texels[i].r - mean[0], g = texels[i].g - mean[1], b = texels[i].b - mean[2];
        cov[0] += r * r;
        cov[1] += r * g;
        cov[2] += r * b;
        cov[3] += g * g;
        cov[4] += g * b;
        cov[5] += b * b;
    }
    // Start from the covariance column of the channel that varies most: unlike a fixed start (grey, say), it is
    // never orthogonal to the principal axis (red against blue would be).
    float axis[3];
    if (cov[0] >= cov[3] && cov[0] >= cov[5]) {
        axis[0] = cov[0], axis[1] = cov[1], axis[2] = cov[2];
    } else if (cov[3] >= cov[5]) {
        axis[0] = cov[1], axis[1] = cov[3], axis[2] = cov[4];
    } else {
        axis[0] = cov[2], axis[1] = cov[4], axis[2] = cov[5];
    }
    {
        const float len = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
        if (len < 1e-6f) {
            axis[0] = axis[1] = axis[2] = 0.57735027f;  // a flat block: any axis will do
        } else {
            for (float& a : axis) a /= len;
        }
    }
    for (int it = 0; it < 8; ++it) {
        const float x = cov[0] * axis[0] + cov[1] * axis[1] + cov[2] * axis[2];
        const float y = cov[1] * axis[0] + cov[3] * axis[1] + cov[4] * axis[2];
        const float z = cov[2] * axis[0] + cov[4] * axis[1] + cov[5] * axis[2];
        const float len = std::sqrt(x * x + y * y + z * z);
        if (len < 1e-6f) break;
        axis[0] = x / len;
        axis[1] = y / len;
        axis[2] = z / len;
    }
    float lo = 1e30f, hi = -1e30f;
    for (int i = 0; i < 16; ++i) {
        const float t = (texels[i].r - mean[0]) * axis[0] + (texels[i].g - mean[1]) * axis[1] +
                        (texels[i].b - mean[2]) * axis[2];
        lo = std::min(lo, t);
        hi = std::max(hi, t);
    }
    std::uint16_t c0 = Pack565(mean[0] + axis[0] * hi, mean[1] + axis[1] * hi, mean[2] + axis[2] * hi);
    std::uint16_t c1 = Pack565(mean[0] + axis[0] * lo, mean[1] + axis[1] * lo, mean[2] + axis[2] * lo);
    if (c0 < c1) std::swap(c0, c1);  // four-colour mode needs colour0 > colour1

    Rgba palette[4];
    Palette(c0, c1, palette);
    std::uint32_t indices = 0;
    if (c0 != c1) {
        for (int i = 0; i < 16; ++i) {
            int best = 0;
            int bestError = 1 << 30;
            for (int p = 0; p < 4; ++p) {
                const int dr = texels[i].r - palette[p].r, dg = texels[i].g - palette[p].g,
                          db = texels[i].b - palette[p].b;
                const int error = dr * dr + dg * dg + db * db;
                if (error < bestError) {
                    bestError = error;
                    best = p;
                }
            }
            indices |= static_cast<std::uint32_t>(best) << (2 * i);
        }
    }
    out[0] = static_cast<std::uint8_t>(c0 & 0xFF);
    out[1] = static_cast<std::uint8_t>(c0 >> 8);
    out[2] = static_cast<std::uint8_t>(c1 & 0xFF);
    out[3] = static_cast<std::uint8_t>(c1 >> 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(indices >> (8 * i));
}

void DecodeDxt1Block(const std::uint8_t block[8], Rgba texels[16]) {
    const std::uint16_t c0 = static_cast<std::uint16_t>(block[0] | (block[1] << 8));
    const std::uint16_t c1 = static_cast<std::uint16_t>(block[2] | (block[3] << 8));
    Rgba palette[4];
    Palette(c0, c1, palette);
    const std::uint32_t indices = static_cast<std::uint32_t>(block[4]) | (static_cast<std::uint32_t>(block[5]) << 8) |
                                  (static_cast<std::uint32_t>(block[6]) << 16) |
                                  (static_cast<std::uint32_t>(block[7]) << 24);
    for (int i = 0; i < 16; ++i) texels[i] = palette[(indices >> (2 * i)) & 3];
}

std::vector<std::uint8_t> EncodeDxt1(const Image& image) {
    const int bw = std::max(1, (image.width + 3) / 4), bh = std::max(1, (image.height + 3) / 4);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(bw) * bh * 8);
    for (int by = 0; by < bh; ++by) {
        for (int bx = 0; bx < bw; ++bx) {
            Rgba texels[16];
            for (int i = 0; i < 16; ++i) {
                const int x = std::min(bx * 4 + i % 4, image.width - 1);
                const int y = std::min(by * 4 + i / 4, image.height - 1);
                texels[i] = image.at(x, y);
            }
            EncodeDxt1Block(texels, &out[(static_cast<std::size_t>(by) * bw + bx) * 8]);
        }
    }
    return out;
}

}  // namespace tarn::assetgen
