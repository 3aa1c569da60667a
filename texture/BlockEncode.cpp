// The block encoders of DXT1 ... DXT5. Colour: a principal-axis fit of the block's colours, then (Default) a
// least-squares refinement of the endpoints against the chosen indices, or (Best) a cluster fit over the
// colours ordered along that axis followed by the refinement and a search of the neighbouring 5-6-5 endpoints.
// Every candidate is judged on its quantised endpoints, decoded as the block decoder decodes them.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "BlockCodecBlocks.h"
#include "BlockRoutines.h"

namespace tarn::texture::blocks {

namespace {

inline float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : (v == v ? v : 0.0f)); }
inline float Clamp255(float v) { return v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v); }

// The palette the encoder aims at: endpoints expanded to bytes (bit replication, which is round(255 a / max)),
// and the thirds and midpoint of those bytes unrounded. Decoders round the in-between entries differently (to
// nearest, or down), and each lies within a byte of these values whichever they do.
inline int Byte5(int a) { return (a << 3) | (a >> 2); }
inline int Byte6(int a) { return (a << 2) | (a >> 4); }

void MakePalette(std::uint16_t c0, std::uint16_t c1, ColourPalette4& p) {
    const float r0 = float(Byte5(c0 >> 11)), g0 = float(Byte6((c0 >> 5) & 63)), b0 = float(Byte5(c0 & 31));
    const float r1 = float(Byte5(c1 >> 11)), g1 = float(Byte6((c1 >> 5) & 63)), b1 = float(Byte5(c1 & 31));
    p.r[0] = r0, p.g[0] = g0, p.b[0] = b0;
    p.r[1] = r1, p.g[1] = g1, p.b[1] = b1;
    if (c0 > c1) {
        constexpr float kThird = 1.0f / 3.0f;
        p.r[2] = (2 * r0 + r1) * kThird, p.g[2] = (2 * g0 + g1) * kThird, p.b[2] = (2 * b0 + b1) * kThird;
        p.r[3] = (r0 + 2 * r1) * kThird, p.g[3] = (g0 + 2 * g1) * kThird, p.b[3] = (b0 + 2 * b1) * kThird;
    } else {
        p.r[2] = (r0 + r1) * 0.5f, p.g[2] = (g0 + g1) * 0.5f, p.b[2] = (b0 + b1) * 0.5f;
        p.r[3] = p.r[2], p.g[3] = p.g[2], p.b[3] = p.b[2];  // never nearer than entry 2
    }
}

inline int Quantise(float v255, int max) {
    return static_cast<int>(Clamp255(v255) * (static_cast<float>(max) / 255.0f) + 0.5f);
}
inline std::uint16_t Pack565(const float e[3]) {
    return static_cast<std::uint16_t>((Quantise(e[0], 31) << 11) | (Quantise(e[1], 63) << 5) | Quantise(e[2], 31));
}

struct ColourBlock {
    std::uint16_t c0 = 0, c1 = 0;
    std::uint8_t index[16] = {};
    float error = INFINITY;
};

// Puts two 5-6-5 colours in the order of the given mode. Four-colour blocks need c0 > c1: equal
// colours (which would select the three-colour mode) become the colour and its neighbour one blue code away
// (above, unless blue is at its top), so that an opaque image never holds a three-colour block and the pair
// differs in one channel only. Three-colour blocks need c0 <= c1.
inline void OrderEndpoints(std::uint16_t& a, std::uint16_t& b, bool threeColour) {
    if (threeColour ? a > b : a < b) std::swap(a, b);
    if (!threeColour && a == b) {
        if ((a & 31) != 31)
            a = static_cast<std::uint16_t>(a + 1);
        else
            b = static_cast<std::uint16_t>(b - 1);
    }
}

// A block in the given mode from two 5-6-5 colours in either order.
ColourBlock Evaluate(std::uint16_t a, std::uint16_t b, bool threeColour, const ColourPoints& points) {
    OrderEndpoints(a, b, threeColour);
    ColourPalette4 palette;
    MakePalette(a, b, palette);
    ColourBlock out;
    out.c0 = a;
    out.c1 = b;
    out.error = BlockRoutines().nearestColours(points, palette, out.index);
    return out;
}

// The same for a block whose counted pixels all hold one colour: one nearest entry for all of them, the error
// that entry's distance times their number.
ColourBlock EvaluateUniform(std::uint16_t a, std::uint16_t b, bool threeColour, const ColourPoints& points, int first,
                            float count) {
    OrderEndpoints(a, b, threeColour);
    ColourPalette4 palette;
    MakePalette(a, b, palette);
    ColourBlock out;
    out.c0 = a;
    out.c1 = b;
    float best = 0;
    int bestIndex = 0;
    for (int k = 0; k < 4; ++k) {
        const float dr = points.r[first] - palette.r[k], dg = points.g[first] - palette.g[k],
                    db = points.b[first] - palette.b[k];
        const float d = (dr * dr + dg * dg) + db * db;
        if (k == 0 || d < best) best = d, bestIndex = k;
    }
    std::memset(out.index, bestIndex, sizeof out.index);
    out.error = best * count;
    return out;
}

inline void Consider(ColourBlock& best, const ColourBlock& c) {
    if (c.error < best.error) best = c;
}

// The share of colour 0 in each index of the mode.
constexpr float kFourShare[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f};
constexpr float kThreeShare[4] = {1.0f, 0.0f, 0.5f, 0.0f};

// Least-squares endpoints for fixed indices; false when the indices do not determine both endpoints.
bool SolveEndpoints(const ColourPoints& p, const std::uint8_t* index, bool threeColour, float e0[3], float e1[3]) {
    float m[9];
    BlockRoutines().endpointSums(p, index, threeColour ? kThreeShare : kFourShare, m);
    const float a = m[0], bb = m[1], c = m[2];
    const float det = a * c - bb * bb;
    if (!(std::fabs(det) > 1e-6f)) return false;
    const float inv = 1.0f / det;
    e0[0] = (m[3] * c - m[6] * bb) * inv, e0[1] = (m[4] * c - m[7] * bb) * inv, e0[2] = (m[5] * c - m[8] * bb) * inv;
    e1[0] = (m[6] * a - m[3] * bb) * inv, e1[1] = (m[7] * a - m[4] * bb) * inv, e1[2] = (m[8] * a - m[5] * bb) * inv;
    return true;
}

struct Stats {
    float mean[3];
    float axis[3];
    float count;
};

// Weighted mean and principal axis (power iteration on the covariance, started from its largest column).
Stats Principal(const ColourPoints& p, int iterations) {
    Stats s{};
    float cov[6];
    s.count = BlockRoutines().colourMoments(p, s.mean, cov);
    float v[3];
    if (cov[0] >= cov[3] && cov[0] >= cov[5])
        v[0] = cov[0], v[1] = cov[1], v[2] = cov[2];
    else if (cov[3] >= cov[5])
        v[0] = cov[1], v[1] = cov[3], v[2] = cov[4];
    else
        v[0] = cov[2], v[1] = cov[4], v[2] = cov[5];
    for (int it = 0; it < iterations; ++it) {
        const float x = cov[0] * v[0] + cov[1] * v[1] + cov[2] * v[2];
        const float y = cov[1] * v[0] + cov[3] * v[1] + cov[4] * v[2];
        const float z = cov[2] * v[0] + cov[4] * v[1] + cov[5] * v[2];
        const float big = std::max(std::fabs(x), std::max(std::fabs(y), std::fabs(z)));
        if (!(big > 1e-20f)) break;
        const float inv = 1.0f / big;
        v[0] = x * inv, v[1] = y * inv, v[2] = z * inv;
    }
    const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 1e-20f) {
        for (int c = 0; c < 3; ++c) s.axis[c] = v[c] / len;
    } else {
        s.axis[0] = s.axis[1] = s.axis[2] = 0.57735027f;
    }
    return s;
}

// Cluster fit: the colours ordered along the axis, every split of that order into the mode's runs of indices,
// each run's endpoints by least squares in closed form; returns the endpoints of the least-error split.
void ClusterFit(const ColourPoints& p, const Stats& s, bool threeColour, float e0[3], float e1[3]) {
    int order[16], n = 0;
    float key[16];
    for (int i = 0; i < 16; ++i) {
        if (p.w[i] == 0.0f) continue;
        const float t =
            (p.r[i] - s.mean[0]) * s.axis[0] + (p.g[i] - s.mean[1]) * s.axis[1] + (p.b[i] - s.mean[2]) * s.axis[2];
        int j = n++;
        for (; j > 0 && key[j - 1] > t; --j) key[j] = key[j - 1], order[j] = order[j - 1];
        key[j] = t, order[j] = i;
    }
    // Prefix sums of the ordered colours.
    float sum[17][3];
    sum[0][0] = sum[0][1] = sum[0][2] = 0;
    for (int k = 0; k < n; ++k) {
        sum[k + 1][0] = sum[k][0] + p.r[order[k]];
        sum[k + 1][1] = sum[k][1] + p.g[order[k]];
        sum[k + 1][2] = sum[k][2] + p.b[order[k]];
    }
    float best = -INFINITY;
    auto consider = [&](float A, float B, float C, const float X[3], const float Y[3]) {
        const float det = A * C - B * B;
        if (!(det > 1e-6f)) return;
        const float xx = X[0] * X[0] + X[1] * X[1] + X[2] * X[2];
        const float yy = Y[0] * Y[0] + Y[1] * Y[1] + Y[2] * Y[2];
        const float xy = X[0] * Y[0] + X[1] * Y[1] + X[2] * Y[2];
        // The error is sum |x|^2 minus numerator / det; with det > 0 the gain beats the best without a division.
        const float numerator = C * xx - 2.0f * B * xy + A * yy;
        if (numerator > best * det) {
            best = numerator / det;
            const float inv = 1.0f / det;
            for (int c = 0; c < 3; ++c) e0[c] = (X[c] * C - Y[c] * B) * inv, e1[c] = (Y[c] * A - X[c] * B) * inv;
        }
    };
    const float* total = sum[n];
    if (threeColour) {
        // Runs along the order: colour 1, midpoint, colour 0.
        for (int i = 0; i <= n; ++i)
            for (int j = i; j <= n; ++j) {
                const float mid = float(j - i), far = float(n - j), near = float(i);
                const float A = far + 0.25f * mid, B = 0.25f * mid, C = near + 0.25f * mid;
                float X[3], Y[3];
                for (int c = 0; c < 3; ++c) {
                    const float m = sum[j][c] - sum[i][c];
                    X[c] = (total[c] - sum[j][c]) + 0.5f * m;
                    Y[c] = sum[i][c] + 0.5f * m;
                }
                consider(A, B, C, X, Y);
            }
        return;
    }
    // Runs along the order: colour 1, one third, two thirds, colour 0. For each (i, j) the splits over k are
    // scored in one elementwise pass over channel-major prefix sums (which the compiler vectorises), then
    // scanned in order for the best.
    float sr[17], sg[17], sb[17];
    for (int k = 0; k <= n; ++k) sr[k] = sum[k][0], sg[k] = sum[k][1], sb[k] = sum[k][2];
    alignas(16) float numerator[17], det[17];
    for (int i = 0; i <= n; ++i)
        for (int j = i; j <= n; ++j) {
            const float q1 = float(j - i), q3 = float(i);
            const float s1r = sr[j] - sr[i], s1g = sg[j] - sg[i], s1b = sb[j] - sb[i];
            for (int k = j; k <= n; ++k) {
                const float q2 = float(k - j), q0 = float(n - k);
                const float A = q0 + (q1 + 4.0f * q2) * (1.0f / 9.0f);
                const float B = (q1 + q2) * (2.0f / 9.0f);
                const float C = q3 + (4.0f * q1 + q2) * (1.0f / 9.0f);
                const float s2r = sr[k] - sr[j], s2g = sg[k] - sg[j], s2b = sb[k] - sb[j];
                const float xr = (total[0] - sr[k]) + s1r * (1.0f / 3.0f) + s2r * (2.0f / 3.0f);
                const float xg = (total[1] - sg[k]) + s1g * (1.0f / 3.0f) + s2g * (2.0f / 3.0f);
                const float xb = (total[2] - sb[k]) + s1b * (1.0f / 3.0f) + s2b * (2.0f / 3.0f);
                const float yr = sr[i] + s1r * (2.0f / 3.0f) + s2r * (1.0f / 3.0f);
                const float yg = sg[i] + s1g * (2.0f / 3.0f) + s2g * (1.0f / 3.0f);
                const float yb = sb[i] + s1b * (2.0f / 3.0f) + s2b * (1.0f / 3.0f);
                const float xx = xr * xr + xg * xg + xb * xb, yy = yr * yr + yg * yg + yb * yb;
                const float xy = xr * yr + xg * yg + xb * yb;
                det[k] = A * C - B * B;
                numerator[k] = C * xx - 2.0f * B * xy + A * yy;
            }
            for (int k = j; k <= n; ++k) {
                if (!(det[k] > 1e-6f) || !(numerator[k] > best * det[k])) continue;
                // The winner's endpoints, recomputed from the sums.
                const float q2 = float(k - j), q0 = float(n - k);
                const float A = q0 + (q1 + 4.0f * q2) * (1.0f / 9.0f);
                const float B = (q1 + q2) * (2.0f / 9.0f);
                const float C = q3 + (4.0f * q1 + q2) * (1.0f / 9.0f);
                float X[3], Y[3];
                for (int c = 0; c < 3; ++c) {
                    const float t1 = sum[j][c] - sum[i][c], t2 = sum[k][c] - sum[j][c];
                    X[c] = (total[c] - sum[k][c]) + t1 * (1.0f / 3.0f) + t2 * (2.0f / 3.0f);
                    Y[c] = sum[i][c] + t1 * (2.0f / 3.0f) + t2 * (1.0f / 3.0f);
                }
                consider(A, B, C, X, Y);
            }
        }
}

// Each endpoint channel one code up or down, while that lowers the error.
void LocalSearch(ColourBlock& best, bool threeColour, const ColourPoints& p, int rounds) {
    static const std::uint16_t kSteps[3] = {1u << 11, 1u << 5, 1u};
    static const std::uint16_t kMasks[3] = {31u << 11, 63u << 5, 31u};
    for (int round = 0; round < rounds; ++round) {
        bool improved = false;
        for (int end = 0; end < 2; ++end)
            for (int c = 0; c < 3; ++c)
                for (int dir = -1; dir <= 1; dir += 2) {
                    std::uint16_t ends[2] = {best.c0, best.c1};
                    const int field = ends[end] & kMasks[c];
                    const int moved = field + dir * kSteps[c];
                    if (moved < 0 || moved > kMasks[c]) continue;
                    ends[end] = static_cast<std::uint16_t>((ends[end] & ~kMasks[c]) | moved);
                    const ColourBlock cand = Evaluate(ends[0], ends[1], threeColour, p);
                    if (cand.error < best.error) best = cand, improved = true;
                }
        if (!improved) break;
    }
}

// Squared error per pixel (summed over the three channels on 0..255) above which stretched ranges are tried,
// with the unused-entry test below: on the corpus this keeps most of their gain for a small part of their cost.
constexpr float kStretchAbove = 8.0f;

ColourBlock FitColours(const ColourPoints& p, bool threeColour, BlockQuality quality) {
    const Stats s = Principal(p, quality == BlockQuality::Fast ? 2 : 4);
    float lo, hi;
    BlockRoutines().axisRange(p, s.mean, s.axis, lo, hi);
    float e0[3], e1[3];
    for (int c = 0; c < 3; ++c) e0[c] = s.mean[c] + s.axis[c] * hi, e1[c] = s.mean[c] + s.axis[c] * lo;
    ColourBlock best = Evaluate(Pack565(e0), Pack565(e1), threeColour, p);
    if (quality == BlockQuality::Fast || best.error == 0.0f) return best;

    if (quality == BlockQuality::Best) {
        ClusterFit(p, s, threeColour, e0, e1);
        Consider(best, Evaluate(Pack565(e0), Pack565(e1), threeColour, p));
    }
    const int rounds = quality == BlockQuality::Best ? 4 : 1;
    auto refine = [&](ColourBlock& b) {
        for (int round = 0; round < rounds && b.error > 0.0f; ++round) {
            if (!SolveEndpoints(p, b.index, threeColour, e0, e1)) break;
            std::uint16_t q0 = Pack565(e0), q1 = Pack565(e1);
            OrderEndpoints(q0, q1, threeColour);
            if (q0 == b.c0 && q1 == b.c1) break;  // the same block: nothing to gain
            const ColourBlock next = Evaluate(q0, q1, threeColour, p);
            if (!(next.error < b.error)) break;
            b = next;
        }
    };
    refine(best);
    // Blocks of a few tight clusters often fit best with an end cluster on a one-third point, which indices
    // taken from the range never reach. Such blocks leave a palette entry unused: those that still fit poorly
    // (at Default and Best) also try the range stretched by half beyond either end, each refined the same way.
    unsigned used = 0;  // the palette entries that counted pixels use
    for (int i = 0; i < 16; ++i) used |= (p.w[i] != 0.0f ? 1u : 0u) << best.index[i];
    if (!threeColour && used != 15u && best.error > kStretchAbove * s.count) {
        const float half = (hi - lo) * 0.5f;
        for (int side = 0; side < 2; ++side) {
            const float h = side ? hi + half : hi, l = side ? lo : lo - half;
            for (int c = 0; c < 3; ++c) e0[c] = s.mean[c] + s.axis[c] * h, e1[c] = s.mean[c] + s.axis[c] * l;
            ColourBlock candidate = Evaluate(Pack565(e0), Pack565(e1), threeColour, p);
            refine(candidate);
            Consider(best, candidate);
        }
    }
    if (quality == BlockQuality::Best && best.error > 0.0f) LocalSearch(best, threeColour, p, 4);
    return best;
}

// The endpoint pairs whose one-third point (four-colour mode) or midpoint (three-colour mode) decodes nearest to
// each byte value, one table per channel width.
struct SingleColourTables {
    std::uint8_t third5[256][2], third6[256][2], half5[256][2], half6[256][2];
    static void Build(std::uint8_t (*table)[2], int max, bool half) {
        auto expand = [max](int a) { return max == 31 ? Byte5(a) : Byte6(a); };
        for (int v = 0; v < 256; ++v) {
            int best = 1 << 30;
            for (int a = 0; a <= max; ++a)
                for (int b = 0; b <= max; ++b) {
                    // Six times the distance, so that thirds and halves stay whole.
                    const int decoded6 = half ? 3 * (expand(a) + expand(b)) : 2 * (2 * expand(a) + expand(b));
                    // A third above the value decodes to it whether a decoder rounds to nearest or down, a
                    // third below only with rounding: among equal distances the one above wins, then the
                    // closer pair.
                    const int d = decoded6 - 6 * v;
                    const int e = (std::abs(d) * 2 + (d < 0)) * 1024 + std::abs(a - b);
                    if (e < best) best = e, table[v][0] = std::uint8_t(a), table[v][1] = std::uint8_t(b);
                }
        }
    }
    SingleColourTables() {
        Build(third5, 31, false);
        Build(third6, 63, false);
        Build(half5, 31, true);
        Build(half6, 63, true);
    }
};

ColourBlock FitSingleColour(const ColourPoints& p, int first, bool threeColour) {
    static const SingleColourTables tables;
    float count = 0;
    for (int i = 0; i < 16; ++i) count += p.w[i];
    const int r = int(Clamp255(p.r[first]) + 0.5f), g = int(Clamp255(p.g[first]) + 0.5f),
              b = int(Clamp255(p.b[first]) + 0.5f);
    const auto& t5 = threeColour ? tables.half5 : tables.third5;
    const auto& t6 = threeColour ? tables.half6 : tables.third6;
    const std::uint16_t q0 = std::uint16_t((t5[r][0] << 11) | (t6[g][0] << 5) | t5[b][0]);
    const std::uint16_t q1 = std::uint16_t((t5[r][1] << 11) | (t6[g][1] << 5) | t5[b][1]);
    ColourBlock best = EvaluateUniform(q0, q1, threeColour, p, first, count);
    // The colour rounded to the nearest 5-6-5 code can be as close: try it as an endpoint as well.
    const std::uint16_t exact =
        std::uint16_t((Quantise(p.r[first], 31) << 11) | (Quantise(p.g[first], 63) << 5) | Quantise(p.b[first], 31));
    if (best.error > 0.0f) Consider(best, EvaluateUniform(exact, exact, threeColour, p, first, count));
    return best;
}

void WriteColourBlock(std::uint8_t* block, const ColourBlock& c) {
    std::uint32_t bits = 0;
    for (int i = 15; i >= 0; --i) bits = (bits << 2) | c.index[i];
    block[0] = static_cast<std::uint8_t>(c.c0);
    block[1] = static_cast<std::uint8_t>(c.c0 >> 8);
    block[2] = static_cast<std::uint8_t>(c.c1);
    block[3] = static_cast<std::uint8_t>(c.c1 >> 8);
    for (int i = 0; i < 4; ++i) block[4 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

// Writes a colour block. `dxt1`: the block of a DXT1 image, where a pixel with alpha below one half is stored
// transparent (three-colour mode, index 3) and only blocks holding such a pixel use the three-colour mode;
// otherwise the block of DXT2-DXT5, always in four-colour mode, as graphics hardware decodes those blocks in that
// mode whatever the order of the endpoints.
void EncodeColourPoints(std::uint8_t* block, const ColourPoints& p, BlockQuality quality) {
    int first = -1;
    for (int i = 0; i < 16 && first < 0; ++i)
        if (p.w[i] != 0.0f) first = i;
    const bool anyTransparent = first != 0 || p.w[0] + p.w[1] + p.w[2] + p.w[3] + p.w[4] + p.w[5] + p.w[6] + p.w[7] +
                                                      p.w[8] + p.w[9] + p.w[10] + p.w[11] + p.w[12] + p.w[13] +
                                                      p.w[14] + p.w[15] !=
                                                  16.0f;
    int differs = 0;
    if (first >= 0) {
        const float r0 = p.r[first], g0 = p.g[first], b0 = p.b[first];
        for (int i = 0; i < 16; ++i) differs |= (p.w[i] != 0.0f) & ((p.r[i] != r0) | (p.g[i] != g0) | (p.b[i] != b0));
    }
    const bool uniform = !differs;
    ColourBlock best;
    if (first < 0) {
        best.c0 = best.c1 = 0;  // three-colour mode, every pixel transparent
    } else if (uniform) {
        best = FitSingleColour(p, first, anyTransparent);
    } else {
        best = FitColours(p, anyTransparent, quality);
    }
    if (anyTransparent)
        for (int i = 0; i < 16; ++i)
            if (p.w[i] == 0.0f) best.index[i] = 3;
    WriteColourBlock(block, best);
}

void EncodeColour(std::uint8_t* block, const float* pixels, bool dxt1, BlockQuality quality) {
    ColourPoints p;
    alignas(16) std::uint8_t alpha[16];
    BlockRoutines().gatherColours(pixels, dxt1, p, alpha);
    EncodeColourPoints(block, p, quality);
}

void EncodeExplicitAlpha(std::uint8_t* block, const float* pixels, const float* dither) {
    std::uint8_t q[16];
    for (int i = 0; i < 16; ++i) {
        const float t = dither != nullptr ? dither[i] : 0.5f;
        q[i] = static_cast<std::uint8_t>(std::min(15.0f, Clamp01(pixels[i * 4 + 3]) * 15.0f + t));
    }
    for (int i = 0; i < 8; ++i) block[i] = static_cast<std::uint8_t>(q[2 * i] | (q[2 * i + 1] << 4));
}

struct AlphaBlock {
    std::uint8_t a0 = 0, a1 = 0;
    std::uint8_t index[16] = {};
    int error = 1 << 30;
};

// The alpha palette the encoder aims at, doubled: each interpolated entry half-way between its value rounded to
// nearest (as AlphaPaletteBytes and the reference decoders give it) and rounded down (as integer decoders often
// give it), so that the error weighs both decodes and endpoints whose interpolants are whole are preferred.
void AlphaTargets(int a0, int a1, std::uint16_t twice[8]) {
    twice[0] = static_cast<std::uint16_t>(2 * a0), twice[1] = static_cast<std::uint16_t>(2 * a1);
    const int n = a0 > a1 ? 7 : 5;
    for (int i = 1; i < n; ++i) {
        const int sum = (n - i) * a0 + i * a1;
        twice[i + 1] = static_cast<std::uint16_t>((2 * sum + n) / (2 * n) + sum / n);
    }
    if (n == 5) twice[6] = 0, twice[7] = 510;
}

AlphaBlock EvaluateAlpha(int a0, int a1, const std::uint8_t* alpha) {
    std::uint16_t twice[8];
    AlphaTargets(a0, a1, twice);
    AlphaBlock out;
    out.a0 = static_cast<std::uint8_t>(a0), out.a1 = static_cast<std::uint8_t>(a1);
    out.error = BlockRoutines().nearestAlphas(alpha, twice, out.index);
    return out;
}

// Least-squares endpoints for the indices of `mode`, rounded and clamped to bytes and put in the mode's order
// (a0 > a1 for eight values, a0 <= a1 for six); the fixed entries 0 and 255 of the six-value mode take no part.
// They may lie outside the block's range when that fits the interpolated entries better. False when the
// indices do not determine both endpoints.
bool SolveAlpha(const AlphaBlock& mode, bool eight, const std::uint8_t* alpha, int& a0, int& a1) {
    const float steps = eight ? 7.0f : 5.0f;
    float A = 0, B = 0, C = 0, x0 = 0, x1 = 0;
    for (int i = 0; i < 16; ++i) {
        const int k = mode.index[i];
        if (!eight && k >= 6) continue;
        const float t = k == 0 ? 0.0f : (k == 1 ? 1.0f : float(k - 1) / steps);  // share of a1
        const float s = 1.0f - t, v = alpha[i];
        A += s * s, B += s * t, C += t * t, x0 += s * v, x1 += t * v;
    }
    const float det = A * C - B * B;
    if (!(det > 1e-4f)) return false;
    const float e0 = (x0 * C - x1 * B) / det, e1 = (x1 * A - x0 * B) / det;
    a0 = static_cast<int>(Clamp255(e0) + 0.5f), a1 = static_cast<int>(Clamp255(e1) + 0.5f);
    if (eight ? a0 < a1 : a0 > a1) std::swap(a0, a1);
    return eight ? a0 != a1 : true;
}

// Both modes are tried and the one of least error kept: eight interpolated values over the block's range, and
// six over the range of the values strictly between 0 and 255 (which the other two entries hold exactly). Each
// mode's endpoints are then refit by least squares on their indices and moved a step at a time
// while that lowers the error.
void EncodeInterpolatedAlpha(std::uint8_t* block, const std::uint8_t* alpha, BlockQuality quality) {
    // Plain byte reductions, which the compiler vectorises.
    std::uint8_t lo = 255, hi = 0, innerLo = 255, innerHi = 0;
    for (int i = 0; i < 16; ++i) lo = std::min(lo, alpha[i]), hi = std::max(hi, alpha[i]);
    // The values strictly between 0 and 255: a - 1 wraps 0 to the top and a + 1 wraps 255 to the bottom, so that
    // neither end takes part (innerLo stays 255 and innerHi 0 when there is no such value).
    std::uint8_t belowLo = 255, aboveHi = 0;
    for (int i = 0; i < 16; ++i) {
        belowLo = std::min(belowLo, static_cast<std::uint8_t>(alpha[i] - 1));
        aboveHi = std::max(aboveHi, static_cast<std::uint8_t>(alpha[i] + 1));
    }
    innerLo = static_cast<std::uint8_t>(belowLo == 255 ? 255 : belowLo + 1);
    innerHi = static_cast<std::uint8_t>(aboveHi == 0 ? 0 : aboveHi - 1);
    AlphaBlock best;
    if (hi == lo) {
        best.a0 = best.a1 = static_cast<std::uint8_t>(hi);  // one value: every pixel on index 0, exact
        best.error = 0;
    } else {
        const int fits = quality == BlockQuality::Fast ? 0 : (quality == BlockQuality::Best ? 4 : 2);
        const int steps = quality == BlockQuality::Fast ? 0 : (quality == BlockQuality::Best ? 16 : 1);
        auto refine = [&](int a0, int a1, bool eight) {
            AlphaBlock mode = EvaluateAlpha(a0, a1, alpha);
            for (int f = 0; f < fits && mode.error > 0; ++f) {
                int b0 = 0, b1 = 0;
                if (!SolveAlpha(mode, eight, alpha, b0, b1) || (b0 == mode.a0 && b1 == mode.a1)) break;
                const AlphaBlock c = EvaluateAlpha(b0, b1, alpha);
                if (!(c.error < mode.error)) break;
                mode = c;
            }
            for (int s = 0; s < steps && mode.error > 0; ++s) {
                bool improved = false;
                for (int d = 0; d < 4; ++d) {
                    const int b0 = mode.a0 + (d == 0 ? 1 : d == 1 ? -1 : 0);
                    const int b1 = mode.a1 + (d == 2 ? 1 : d == 3 ? -1 : 0);
                    if (b0 < 0 || b0 > 255 || b1 < 0 || b1 > 255 || (eight ? b0 <= b1 : b0 > b1)) continue;
                    const AlphaBlock c = EvaluateAlpha(b0, b1, alpha);
                    if (c.error < mode.error) mode = c, improved = true;
                }
                if (!improved) break;
            }
            if (mode.error < best.error) best = mode;
        };
        refine(hi, lo, true);
        if (best.error > 0) {
            if (innerLo <= innerHi)
                refine(innerLo, innerHi, false);
            else
                best = EvaluateAlpha(0, 255, alpha);  // only 0 and 255: the six-value mode holds both exactly
        }
    }
    std::uint64_t bits = 0;
    for (int i = 15; i >= 0; --i) bits = (bits << 3) | best.index[i];
    block[0] = best.a0;
    block[1] = best.a1;
    for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

void Premultiply(const float* pixels, float* out) {
    for (int i = 0; i < 16; ++i) {
        const float a = Clamp01(pixels[i * 4 + 3]);
        for (int c = 0; c < 3; ++c) out[i * 4 + c] = Clamp01(pixels[i * 4 + c]) * a;
        out[i * 4 + 3] = a;
    }
}

}  // namespace

void EncodeDxt1(std::uint8_t* block, const float* pixels, const EncodeOptions& options) {
    EncodeColour(block, pixels, true, options.quality);
}

void EncodeDxt3(std::uint8_t* block, const float* pixels, const EncodeOptions& options) {
    EncodeExplicitAlpha(block, pixels, options.alphaThreshold);
    EncodeColour(block + 8, pixels, false, options.quality);
}

void EncodeDxt5(std::uint8_t* block, const float* pixels, const EncodeOptions& options) {
    ColourPoints p;
    alignas(16) std::uint8_t alpha[16];
    BlockRoutines().gatherColours(pixels, false, p, alpha);
    EncodeInterpolatedAlpha(block, alpha, options.quality);
    EncodeColourPoints(block + 8, p, options.quality);
}

void EncodeDxt2(std::uint8_t* block, const float* pixels, const EncodeOptions& options) {
    float pre[64];
    Premultiply(pixels, pre);
    EncodeDxt3(block, pre, options);
}

void EncodeDxt4(std::uint8_t* block, const float* pixels, const EncodeOptions& options) {
    float pre[64];
    Premultiply(pixels, pre);
    EncodeDxt5(block, pre, options);
}

void EncodeDxt1(std::uint8_t* block, const float* pixels) { EncodeDxt1(block, pixels, {GetBlockQuality(), nullptr}); }
void EncodeDxt2(std::uint8_t* block, const float* pixels) { EncodeDxt2(block, pixels, {GetBlockQuality(), nullptr}); }
void EncodeDxt3(std::uint8_t* block, const float* pixels) { EncodeDxt3(block, pixels, {GetBlockQuality(), nullptr}); }
void EncodeDxt4(std::uint8_t* block, const float* pixels) { EncodeDxt4(block, pixels, {GetBlockQuality(), nullptr}); }
void EncodeDxt5(std::uint8_t* block, const float* pixels) { EncodeDxt5(block, pixels, {GetBlockQuality(), nullptr}); }

}  // namespace tarn::texture::blocks
