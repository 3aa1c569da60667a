// The block encoders of DXT1 ... DXT5. Colour: a principal-axis fit of the block's colours, then (Default and
// Best) a least-squares refit of the endpoints against the chosen indices and, for blocks that fit poorly,
// ranges stretched past the colours; Best chooses the refit's codes by their error rather than by rounding, and
// searches the neighbouring 5-6-5 codes of the endpoints of blocks that still fit poorly; blocks of exactly two
// colours get, at Best, a fit of their own that places each colour on a palette entry. Every candidate is judged
// on its quantised endpoints, decoded as the block decoder decodes them.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "BlockCodecBlocks.h"
#include "BlockRoutines.h"

namespace tarn::texture::blocks {

namespace {

inline float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : (v == v ? v : 0.0f)); }
inline float Clamp255(float v) { return v > 0.0f ? (v < 255.0f ? v : 255.0f) : 0.0f; }  // NaN to 0

// The palette the encoder aims at: endpoints expanded to bytes (bit replication, which is round(255 a / max)),
// and the thirds and midpoint of those bytes unrounded. Decoders round the in-between entries differently (to
// nearest, or down), and each lies within a byte of these values whichever they do.
inline int Byte5(int a) { return (a << 3) | (a >> 2); }
inline int Byte6(int a) { return (a << 2) | (a >> 4); }

// The decoded byte of each code of a 5- and 6-bit channel.
struct ExpandedCodes {
    float five[32], six[64];
    ExpandedCodes() {
        for (int a = 0; a < 32; ++a) five[a] = float(Byte5(a));
        for (int a = 0; a < 64; ++a) six[a] = float(Byte6(a));
    }
};
const ExpandedCodes kCodes;

void MakePalette(std::uint16_t c0, std::uint16_t c1, ColourPalette4& p) {
    const float r0 = kCodes.five[c0 >> 11], g0 = kCodes.six[(c0 >> 5) & 63], b0 = kCodes.five[c0 & 31];
    const float r1 = kCodes.five[c1 >> 11], g1 = kCodes.six[(c1 >> 5) & 63], b1 = kCodes.five[c1 & 31];
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

// The indices come first, on a 16-byte boundary: a copy of the block then stores them in one piece, and reading
// them back eight at a time (to pack them) takes the data from that store instead of waiting for memory.
struct ColourBlock {
    alignas(16) std::uint8_t index[16] = {};
    std::uint16_t c0 = 0, c1 = 0;
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
// that entry's distance (for one pixel).
ColourBlock EvaluateUniform(std::uint16_t a, std::uint16_t b, bool threeColour, const ColourPoints& points, int first) {
    OrderEndpoints(a, b, threeColour);
    ColourPalette4 palette;
    MakePalette(a, b, palette);
    ColourBlock out;
    out.c0 = a;
    out.c1 = b;
    float d[4];
    for (int k = 0; k < 4; ++k) {
        const float dr = points.r[first] - palette.r[k], dg = points.g[first] - palette.g[k],
                    db = points.b[first] - palette.b[k];
        d[k] = (dr * dr + dg * dg) + db * db;
    }
    // The lowest index among equals, chosen without branches.
    const bool pick1 = d[1] < d[0], pick3 = d[3] < d[2];
    const float d01 = pick1 ? d[1] : d[0], d23 = pick3 ? d[3] : d[2];
    const bool high = d23 < d01;
    const float best = high ? d23 : d01;
    const int bestIndex = high ? 2 + pick3 : pick1;
    std::memset(out.index, bestIndex, sizeof out.index);
    out.error = best;
    return out;
}

inline void Consider(ColourBlock& best, const ColourBlock& c) {
    if (c.error < best.error) best = c;
}

// The share of colour 0 in each index of the mode.
constexpr float kFourShare[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f};
constexpr float kThreeShare[4] = {1.0f, 0.0f, 0.5f, 0.0f};

// Least-squares endpoints for fixed indices, and the sums they solve (as endpointSums gives them); false when
// the indices do not determine both endpoints.
bool SolveEndpoints(const ColourPoints& p, const std::uint8_t* index, bool threeColour, float e0[3], float e1[3],
                    float m[9]) {
    BlockRoutines().endpointSums(p, index, threeColour ? kThreeShare : kFourShare, m);
    const float a = m[0], bb = m[1], c = m[2];
    const float det = a * c - bb * bb;
    if (!(std::fabs(det) > 1e-6f)) return false;
    const float inv = 1.0f / det;
    e0[0] = (m[3] * c - m[6] * bb) * inv, e0[1] = (m[4] * c - m[7] * bb) * inv, e0[2] = (m[5] * c - m[8] * bb) * inv;
    e1[0] = (m[6] * a - m[3] * bb) * inv, e1[1] = (m[7] * a - m[4] * bb) * inv, e1[2] = (m[8] * a - m[5] * bb) * inv;
    return true;
}

// Least-squares endpoints for fixed indices, quantised: each channel's pair of codes chosen among the codes
// next to the unquantised solution by the error of that channel with the indices held, which is a quadratic
// in the two decoded values. False when the indices do not determine both endpoints.
bool SolveQuantised(const ColourPoints& p, const std::uint8_t* index, bool threeColour, std::uint16_t& q0,
                    std::uint16_t& q1) {
    float m[9], ends[2][3];
    if (!SolveEndpoints(p, index, threeColour, ends[0], ends[1], m)) return false;
    const float a = m[0], bb = m[1], c = m[2];
    int codes[2][3];
    for (int ch = 0; ch < 3; ++ch) {
        const float x = m[3 + ch], y = m[6 + ch], e0 = ends[0][ch], e1 = ends[1][ch];
        const int max = ch == 1 ? 63 : 31;
        const float* expand = ch == 1 ? kCodes.six : kCodes.five;
        const float scale = float(max) / 255.0f;
        const int f0 = std::min(max - 1, int(Clamp255(e0) * scale)), f1 = std::min(max - 1, int(Clamp255(e1) * scale));
        // The four pairs of the codes either side of the solution, the least error kept without branches.
        const float u0 = expand[f0], u1 = expand[f0 + 1], w0 = expand[f1], w1 = expand[f1 + 1];
        auto error = [&](float v0, float v1) {
            return v0 * (a * v0 + 2.0f * (bb * v1 - x)) + v1 * (c * v1 - 2.0f * y);
        };
        const float e00 = error(u0, w0), e01 = error(u0, w1), e10 = error(u1, w0), e11 = error(u1, w1);
        const bool up1First = e01 < e00, up1Second = e11 < e10;
        const float eFirst = up1First ? e01 : e00, eSecond = up1Second ? e11 : e10;
        const bool up0 = eSecond < eFirst;
        codes[0][ch] = f0 + up0;
        codes[1][ch] = f1 + (up0 ? up1Second : up1First);
    }
    q0 = std::uint16_t((codes[0][0] << 11) | (codes[0][1] << 5) | codes[0][2]);
    q1 = std::uint16_t((codes[1][0] << 11) | (codes[1][1] << 5) | codes[1][2]);
    return true;
}

struct Stats {
    float mean[3];
    float axis[3];
    float count;
};

// The square of a symmetric 3 x 3 matrix held as (xx, xy, xz, yy, yz, zz).
inline void SquareSymmetric(const float m[6], float out[6]) {
    out[0] = m[0] * m[0] + m[1] * m[1] + m[2] * m[2];
    out[1] = m[0] * m[1] + m[1] * m[3] + m[2] * m[4];
    out[2] = m[0] * m[2] + m[1] * m[4] + m[2] * m[5];
    out[3] = m[1] * m[1] + m[3] * m[3] + m[4] * m[4];
    out[4] = m[1] * m[2] + m[3] * m[4] + m[4] * m[5];
    out[5] = m[2] * m[2] + m[4] * m[4] + m[5] * m[5];
}

// Weighted mean and principal axis: the covariance's largest column (the covariance applied to the axis of
// the largest variance) multiplied by the covariance squared once (`fine` false) or twice, which is power
// iteration of two or four steps done as independent products rather than a chain of steps. The covariance is
// first scaled to a largest diagonal near 1, so that its fourth power neither overflows nor vanishes.
Stats Principal(const ColourPoints& p, bool fine) {
    Stats s{};
    float cov[6];
    s.count = BlockRoutines().colourMoments(p, s.mean, cov);
    const float big = std::max(cov[0], std::max(cov[3], cov[5]));
    if (!(big > 1e-20f)) {
        s.axis[0] = s.axis[1] = s.axis[2] = 0.57735027f;
        return s;
    }
    // A power of two within a factor of two of 1 / big, from the exponent alone.
    const float inv = std::bit_cast<float>((254u - (std::bit_cast<std::uint32_t>(big) >> 23)) << 23);
    float m[6], m2[6], m4[6];
    for (int k = 0; k < 6; ++k) m[k] = cov[k] * inv;
    float v[3];
    if (cov[0] >= cov[3] && cov[0] >= cov[5])
        v[0] = m[0], v[1] = m[1], v[2] = m[2];
    else if (cov[3] >= cov[5])
        v[0] = m[1], v[1] = m[3], v[2] = m[4];
    else
        v[0] = m[2], v[1] = m[4], v[2] = m[5];
    SquareSymmetric(m, m2);
    const float* power = m2;
    if (fine) {
        SquareSymmetric(m2, m4);
        power = m4;
    }
    const float x = power[0] * v[0] + power[1] * v[1] + power[2] * v[2];
    const float y = power[1] * v[0] + power[3] * v[1] + power[4] * v[2];
    const float z = power[2] * v[0] + power[4] * v[1] + power[5] * v[2];
    const float len2 = x * x + y * y + z * z;
    if (len2 > 1e-30f) {
        const float r = 1.0f / std::sqrt(len2);
        s.axis[0] = x * r, s.axis[1] = y * r, s.axis[2] = z * r;
    } else {
        s.axis[0] = s.axis[1] = s.axis[2] = 0.57735027f;
    }
    return s;
}

// Each channel in turn: its pair of endpoint codes moved to the best of their eight neighbours (each code one
// step up, down or kept), judged with the other channels held, while that lowers the error. The moves are
// judged by the candidate errors alone; the block's indices are found once, for the pair the search ends on.
void LocalSearch(ColourBlock& best, bool threeColour, const ColourPoints& p, int rounds) {
    std::uint16_t c0 = best.c0, c1 = best.c1;
    float error = best.error;
    bool moved = false;
    ColourPalette4 palette;  // of (c0, c1), made again only when a move is taken
    MakePalette(c0, c1, palette);
    for (int round = 0; round < rounds && error > 0.0f; ++round) {
        bool improved = false;
        for (int c = 0; c < 3; ++c) {
            const int shift = c == 0 ? 11 : (c == 1 ? 5 : 0), max = c == 1 ? 63 : 31;
            const float* expand = c == 1 ? kCodes.six : kCodes.five;
            const int f0 = (c0 >> shift) & max, f1 = (c1 >> shift) & max;
            const std::uint16_t keep = static_cast<std::uint16_t>(~(max << shift));
            float values[8][4];
            std::uint16_t ends[8][2];
            int count = 0;
            for (int d0 = -1; d0 <= 1; ++d0)
                for (int d1 = -1; d1 <= 1; ++d1) {
                    const int g0 = f0 + d0, g1 = f1 + d1;
                    if ((d0 == 0 && d1 == 0) || g0 < 0 || g1 < 0 || g0 > max || g1 > max) continue;
                    const auto a = static_cast<std::uint16_t>((c0 & keep) | (g0 << shift));
                    const auto b = static_cast<std::uint16_t>((c1 & keep) | (g1 << shift));
                    if (!threeColour && a == b) continue;  // would leave the four-colour mode
                    const float v0 = expand[g0], v1 = expand[g1];
                    float* v = values[count];
                    v[0] = v0, v[1] = v1;
                    if (threeColour) {
                        v[2] = v[3] = (v0 + v1) * 0.5f;
                    } else {
                        constexpr float kThird = 1.0f / 3.0f;
                        v[2] = (2 * v0 + v1) * kThird, v[3] = (v0 + 2 * v1) * kThird;
                    }
                    ends[count][0] = a, ends[count][1] = b;
                    ++count;
                }
            float errors[8];
            BlockRoutines().channelErrors(p, palette, c, values, count, errors);
            int pick = -1;
            float least = error;
            for (int n = 0; n < count; ++n)
                if (errors[n] < least) least = errors[n], pick = n;
            if (pick < 0) continue;
            // Swapping the endpoints keeps the palette's colours, and so the error.
            c0 = ends[pick][0], c1 = ends[pick][1];
            OrderEndpoints(c0, c1, threeColour);
            error = least;
            MakePalette(c0, c1, palette);
            improved = moved = true;
        }
        if (!improved) break;
    }
    if (moved) Consider(best, Evaluate(c0, c1, threeColour, p));
}

// Squared errors per pixel (summed over the three channels on 0..255) above which a block's endpoints are refit,
// stretched ranges are tried (with the unused-entry test below) and, at Best, the endpoints' neighbours are
// searched: on the benchmark's corpus each keeps nearly all the gain of running on every block for a part of
// the cost (blocks below them have little error left to remove). Best refits only the blocks it also searches:
// below that, its refit bought little for its cost (on the benchmark's corpus 0.02 % of the photographs' RMSE
// and 1.5 % of the alpha images', for about 6 % of the time on the latter).
constexpr float kRefineAbove = 2.0f, kStretchAbove = 8.0f, kSearchAbove = 6.0f, kBestRefineAbove = kSearchAbove;
constexpr int kSearchRounds = 1;

ColourBlock FitColours(const ColourPoints& p, bool threeColour, BlockQuality quality) {
    const Stats s = Principal(p, quality != BlockQuality::Fast);
    float lo, hi;
    BlockRoutines().axisRange(p, s.mean, s.axis, lo, hi);
    float e0[3], e1[3];
    for (int c = 0; c < 3; ++c) e0[c] = s.mean[c] + s.axis[c] * hi, e1[c] = s.mean[c] + s.axis[c] * lo;
    ColourBlock best = Evaluate(Pack565(e0), Pack565(e1), threeColour, p);
    if (quality == BlockQuality::Fast || best.error == 0.0f) return best;

    // One least-squares refit of the endpoints on a block's indices, kept when it lowers the error: rounded to
    // the nearest codes at Default, the codes chosen by their error at Best.
    const bool bestQuality = quality == BlockQuality::Best;
    auto refine = [&](ColourBlock& b) {
        if (!(b.error > (bestQuality ? kBestRefineAbove : kRefineAbove) * s.count)) return;
        std::uint16_t q0, q1;
        if (bestQuality) {
            if (!SolveQuantised(p, b.index, threeColour, q0, q1)) return;
        } else {
            float sums[9];
            if (!SolveEndpoints(p, b.index, threeColour, e0, e1, sums)) return;
            q0 = Pack565(e0), q1 = Pack565(e1);
        }
        OrderEndpoints(q0, q1, threeColour);
        if (q0 == b.c0 && q1 == b.c1) return;  // the same block: nothing to gain
        const ColourBlock next = Evaluate(q0, q1, threeColour, p);
        if (next.error < b.error) b = next;
    };
    refine(best);
    // Blocks of a few tight clusters often fit best with an end cluster on a one-third point, which indices
    // taken from the range never reach. Such blocks leave a palette entry unused: those that still fit poorly
    // also try the range stretched by half beyond either end, each refined the same way.
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
    // Best: blocks that still fit poorly search the neighbouring codes of their endpoints.
    if (bestQuality && best.error > kSearchAbove * s.count) LocalSearch(best, threeColour, p, kSearchRounds);
    return best;
}

// The endpoint pairs whose one-third point (four-colour mode) or midpoint (three-colour mode) decodes nearest to
// each byte value, one table per channel width.
struct SingleColourTables {
    std::uint8_t third5[256][2], third6[256][2], half5[256][2], half6[256][2];
    static void Build(std::uint8_t (*table)[2], int max, bool half) {
        auto expand = [max](int a) { return max == 31 ? Byte5(a) : Byte6(a); };
        int best[256];
        for (int& b : best) b = 1 << 30;
        // Each pair is offered to the values within 5 of what it decodes to: neighbouring pairs decode at most
        // about 4 apart, so a value's nearest pair is always among those offered to it.
        for (int a = 0; a <= max; ++a)
            for (int b = 0; b <= max; ++b) {
                // Six times the distance, so that thirds and halves stay whole.
                const int decoded6 = half ? 3 * (expand(a) + expand(b)) : 2 * (2 * expand(a) + expand(b));
                for (int v = std::max(0, decoded6 / 6 - 5); v <= std::min(255, decoded6 / 6 + 5); ++v) {
                    // A third above the value decodes to it whether a decoder rounds to nearest or down, a
                    // third below only with rounding: among equal distances the one above wins, then the
                    // closer pair.
                    const int d = decoded6 - 6 * v;
                    const int e = (std::abs(d) * 2 + (d < 0)) * 1024 + std::abs(a - b);
                    if (e < best[v]) best[v] = e, table[v][0] = std::uint8_t(a), table[v][1] = std::uint8_t(b);
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

// The fit of a block whose counted pixels hold one colour. Blocks of a flat area hold the same colour one after
// another, so each thread keeps its last fit, keyed by the colour and the mode, and reuses it.
ColourBlock FitSingleColour(const ColourPoints& p, int first, float count, bool threeColour) {
    static const SingleColourTables tables;
    struct Fit {
        float r = -1.0f, g = -1.0f, b = -1.0f;  // no colour: gathered channels are never negative
        bool threeColour = false;
        ColourBlock block;  // for one pixel
    };
    thread_local Fit last;
    const float rf = p.r[first], gf = p.g[first], bf = p.b[first];
    if (!(rf == last.r && gf == last.g && bf == last.b && threeColour == last.threeColour)) {
        const int r = int(Clamp255(rf) + 0.5f), g = int(Clamp255(gf) + 0.5f), b = int(Clamp255(bf) + 0.5f);
        const auto& t5 = threeColour ? tables.half5 : tables.third5;
        const auto& t6 = threeColour ? tables.half6 : tables.third6;
        const std::uint16_t q0 = std::uint16_t((t5[r][0] << 11) | (t6[g][0] << 5) | t5[b][0]);
        const std::uint16_t q1 = std::uint16_t((t5[r][1] << 11) | (t6[g][1] << 5) | t5[b][1]);
        ColourBlock best = EvaluateUniform(q0, q1, threeColour, p, first);
        // The colour rounded to the nearest 5-6-5 code can be as close: try it as an endpoint as well.
        const std::uint16_t exact =
            std::uint16_t((Quantise(rf, 31) << 11) | (Quantise(gf, 63) << 5) | Quantise(bf, 31));
        if (best.error > 0.0f) Consider(best, EvaluateUniform(exact, exact, threeColour, p, first));
        last = {rf, gf, bf, threeColour, best};
    }
    ColourBlock out = last.block;
    out.error *= count;
    return out;
}

// A block whose counted pixels hold exactly two colours, A (`na` pixels) and B (`nb`, those marked in `isB`):
// each colour on its own palette entry, the placement found by the routine set's two-colour fit.
ColourBlock FitTwoColours(const ColourPoints& p, int a, int b, const std::uint8_t* isB, float na, float nb,
                          bool threeColour) {
    const float colourA[3] = {p.r[a], p.g[a], p.b[a]}, colourB[3] = {p.r[b], p.g[b], p.b[b]};
    TwoColourFit fit;
    BlockRoutines().fitTwoColours(colourA, colourB, na, nb, threeColour, fit);
    ColourBlock best;
    best.c0 = fit.c0, best.c1 = fit.c1;
    best.error = fit.error;
    for (int i = 0; i < 16; ++i) best.index[i] = isB[i] ? fit.entryB : fit.entryA;
    return best;
}

// Eight index bytes, read as one little-endian word, packed into 16 bits (2 bits each) or 24 bits (3 bits
// each), the first lowest: neighbouring fields are merged pairwise, doubling the field width at each step.
static_assert(std::endian::native == std::endian::little);
inline std::uint64_t LoadIndexBytes(const std::uint8_t* index) {
    std::uint64_t x;
    std::memcpy(&x, index, 8);
    return x;
}
inline std::uint32_t PackTwoBit(std::uint64_t x) {
    x = (x | (x >> 6)) & 0x000F000F000F000Full;
    x = (x | (x >> 12)) & 0x000000FF000000FFull;
    return static_cast<std::uint32_t>((x | (x >> 24)) & 0xFFFFu);
}
inline std::uint32_t PackThreeBit(std::uint64_t x) {
    x = (x | (x >> 5)) & 0x003F003F003F003Full;
    x = (x | (x >> 10)) & 0x00000FFF00000FFFull;
    return static_cast<std::uint32_t>((x | (x >> 20)) & 0xFFFFFFu);
}

void WriteColourBlock(std::uint8_t* block, const ColourBlock& c) {
    const std::uint32_t bits = PackTwoBit(LoadIndexBytes(c.index)) | (PackTwoBit(LoadIndexBytes(c.index + 8)) << 16);
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
    // Plain reductions over the 16 pixels, which the compiler vectorises.
    int counted = 0, first = -1;
    for (int i = 0; i < 16; ++i) counted += p.w[i] != 0.0f;
    for (int i = 0; i < 16 && first < 0; ++i)
        if (p.w[i] != 0.0f) first = i;
    const bool anyTransparent = counted != 16;
    // The counted pixels other than the first one's colour, and then other than the first two colours.
    alignas(16) std::uint8_t other[16] = {};
    int differs = 0;
    if (first >= 0) {
        const float r0 = p.r[first], g0 = p.g[first], b0 = p.b[first];
        for (int i = 0; i < 16; ++i) {
            other[i] = (p.w[i] != 0.0f) & ((p.r[i] != r0) | (p.g[i] != g0) | (p.b[i] != b0));
            differs |= other[i];
        }
    }
    ColourBlock best;
    if (first < 0) {
        best.c0 = best.c1 = 0;  // three-colour mode, every pixel transparent
    } else if (!differs) {
        best = FitSingleColour(p, first, float(counted), anyTransparent);
    } else {
        // Best: a block of exactly two colours has a fit of its own.
        int second = 0, third = 1, seconds = 0;
        if (quality == BlockQuality::Best) {
            while (!other[second]) ++second;
            const float r1 = p.r[second], g1 = p.g[second], b1 = p.b[second];
            third = 0;
            for (int i = 0; i < 16; ++i) {
                third |= other[i] & ((p.r[i] != r1) | (p.g[i] != g1) | (p.b[i] != b1));
                seconds += other[i];
            }
        }
        if (!third) {
            best = FitTwoColours(p, first, second, other, float(counted - seconds), float(seconds), anyTransparent);
            // Rounding each channel's codes one at a time can miss the best pair of a block whose channels pull
            // against each other: those that still fit poorly search the neighbours as other blocks do.
            if (best.error > kSearchAbove * float(counted)) LocalSearch(best, anyTransparent, p, kSearchRounds);
        } else {
            best = FitColours(p, anyTransparent, quality);
        }
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
    // Constant divisors in each mode, which compile to multiplications.
    if (a0 > a1) {
        for (int i = 1; i < 7; ++i) {
            const int sum = (7 - i) * a0 + i * a1;
            twice[i + 1] = static_cast<std::uint16_t>((2 * sum + 7) / 14 + sum / 7);
        }
    } else {
        for (int i = 1; i < 5; ++i) {
            const int sum = (5 - i) * a0 + i * a1;
            twice[i + 1] = static_cast<std::uint16_t>((2 * sum + 5) / 10 + sum / 5);
        }
        twice[6] = 0, twice[7] = 510;
    }
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
        const int fits = quality == BlockQuality::Fast ? 0 : (quality == BlockQuality::Best ? 2 : 1);
        const int steps = quality == BlockQuality::Fast ? 0 : (quality == BlockQuality::Best ? 1 : 0);
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
    const std::uint64_t bits =
        PackThreeBit(LoadIndexBytes(best.index)) | (std::uint64_t{PackThreeBit(LoadIndexBytes(best.index + 8))} << 24);
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
    // The colours are gathered first: the gather reads whole pixels, which the caller has usually just written,
    // and the alphas are read one float in four after that.
    ColourPoints p;
    alignas(16) std::uint8_t alpha[16];
    BlockRoutines().gatherColours(pixels, false, p, alpha);
    BlockRoutines().explicitAlpha(pixels, options.alphaThreshold, block);
    EncodeColourPoints(block + 8, p, options.quality);
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
