// The block codec's processor-specific routines: one table, filled on first use with the set that suits the
// processor (TARN_TEXTURE_REFERENCE=1 in the environment forces the reference set). The sets are exposed so that
// tests and benchmarks can compare them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarn::texture::blocks {

// The pixels of one block as the colour encoder sees them: channels on the 0..255 scale, one array per channel,
// and a weight of 1 (counts) or 0 (a transparent DXT1 pixel, whose index is fixed). Aligned for registers of
// eight floats.
struct ColourPoints {
    alignas(32) float r[16];
    alignas(32) float g[16];
    alignas(32) float b[16];
    alignas(32) float w[16];
};

// Four palette colours on the 0..255 scale, one array per channel (a three-colour palette repeats entry 2).
struct ColourPalette4 {
    alignas(16) float r[4];
    alignas(16) float g[4];
    alignas(16) float b[4];
};

// The endpoints (in the mode's order) of a block of two colours A and B, the palette entry of each, and the
// error: A's count times its squared distance to its entry plus B's likewise.
struct TwoColourFit {
    std::uint16_t c0 = 0, c1 = 0;
    std::uint8_t entryA = 0, entryB = 0;
    float error = 0.0f;
};

// The channel `channel` (0 red, 1 green, 2 blue) of the points and of the palette, and the other two in channel
// order.
inline void SplitChannels(const ColourPoints& p, const ColourPalette4& pal, int channel, const float*& x,
                          const float*& o1, const float*& o2, const float*& p1, const float*& p2) {
    const float* point[3] = {p.r, p.g, p.b};
    const float* entry[3] = {pal.r, pal.g, pal.b};
    const int a = channel == 0 ? 1 : 0, b = channel == 2 ? 1 : 2;
    x = point[channel], o1 = point[a], o2 = point[b], p1 = entry[a], p2 = entry[b];
}

// The least of four lanes' lows and the greatest of their highs, as (0, 1) against (2, 3), which every set's axis
// range takes in this order.
inline void LaneRange(const float lo4[4], const float hi4[4], float& lo, float& hi) {
    const float l01 = lo4[0] < lo4[1] ? lo4[0] : lo4[1], l23 = lo4[2] < lo4[3] ? lo4[2] : lo4[3];
    const float h01 = hi4[0] > hi4[1] ? hi4[0] : hi4[1], h23 = hi4[2] > hi4[3] ? hi4[2] : hi4[3];
    lo = l01 < l23 ? l01 : l23;
    hi = h01 > h23 ? h01 : h23;
}

struct BlockRoutineTable {
    // The colour encoder's sums run in four lanes (pixel i in lane i % 4), each lane's total taken as
    // (0 + 1) + (2 + 3), so that every set gives the same floats.
    //
    // 16 pixels of four floats, row by row, to points: each channel clamped to 0..1 (NaN to 0) and scaled to
    // 0..255; the weight is 1, or with `dxt1` 0 where the scaled alpha is below 127.5. `alpha` receives the
    // scaled alphas rounded to bytes, trunc(a + 0.5).
    void (*gatherColours)(const float* pixels, bool dxt1, ColourPoints& points, std::uint8_t alpha[16]);
    // The weighted mean (0 where the weights sum to 0) and the covariance about it (rr, rg, rb, gg, gb, bb);
    // returns the sum of the weights.
    float (*colourMoments)(const ColourPoints& points, float mean[3], float cov[6]);
    // The least and greatest of (colour - mean) . axis over the points of non-zero weight (+inf and -inf when
    // there are none).
    void (*axisRange)(const ColourPoints& points, const float mean[3], const float axis[3], float& lo, float& hi);
    // The least-squares sums for fixed indices, with s = share[index] * w and t = w - s: s s, s t, t t, then
    // s times r, g, b and t times r, g, b.
    void (*endpointSums)(const ColourPoints& points, const std::uint8_t index[16], const float share[4], float sums[9]);
    // Nearest palette entry of each pixel (the lowest index among equals), written to `index`; returns the sum of
    // the weighted squared distances. The pixels are summed in four lanes (pixel i in lane i % 4) and the lanes
    // as (0 + 1) + (2 + 3), so that every set gives the same float.
    float (*nearestColours)(const ColourPoints& points, const ColourPalette4& palette, std::uint8_t index[16]);
    // The errors of `count` (at most 8) palettes that differ from `palette` in one channel only (0 red, 1 green,
    // 2 blue): candidate n's four entries of that channel are values[n]. Each pixel's error is the least over the
    // entries of (the squared differences of the other two channels, in channel order, summed) plus the square
    // of the changed channel's difference, times its weight; the pixels are summed as in nearestColours.
    void (*channelErrors)(const ColourPoints& points, const ColourPalette4& palette, int channel,
                          const float (*values)[4], int count, float* errors);
    // Nearest of the eight palette entries to each of the 16 alphas (the lowest index among equals), written to
    // `index`; returns the sum of the squared differences, all on the doubled scale: `twice` holds twice each
    // target alpha (0..510), so that a target half-way between two bytes stays whole.
    int (*nearestAlphas)(const std::uint8_t alpha[16], const std::uint16_t twice[8], std::uint8_t index[16]);
    // The 16 pixels' alphas (every fourth float of `pixels`) to 4 bits: alpha * 15 clamped to 0..15 (NaN to 0),
    // plus offsets[i] (0.5, rounding, when `offsets` is null), truncated and at most 15; packed two a byte, the
    // first pixel in the low nibble.
    void (*explicitAlpha)(const float* pixels, const float* offsets, std::uint8_t block[8]);
    // The best placement of two colours (each channel 0..255), `countA` and `countB` pixels, on palette entries
    // of their own, in three-colour mode or four: each placement's endpoints solved exactly and quantised by
    // their error, judged on the decoded palette (the lowest index among equals). Every set gives the same result.
    void (*fitTwoColours)(const float colourA[3], const float colourB[3], float countA, float countB, bool threeColour,
                          TwoColourFit& fit);
    // Decodes `blocks` whole DXT1 colour blocks (8 bytes each, `blockStride` bytes apart) into four rows of
    // A8R8G8B8 pixels at `dest`, `destPitch` bytes apart, 16 bytes per block in each row.
    void (*decodeColourRow)(const std::uint8_t* source, std::size_t blockStride, std::size_t blocks, std::uint8_t* dest,
                            std::size_t destPitch);
    // The same for DXT5: 16-byte blocks of interpolated alpha then colour.
    void (*decodeDxt5Row)(const std::uint8_t* source, std::size_t blocks, std::uint8_t* dest, std::size_t destPitch);
    // The same for DXT3: 16-byte blocks of explicit 4-bit alpha then colour.
    void (*decodeDxt3Row)(const std::uint8_t* source, std::size_t blocks, std::uint8_t* dest, std::size_t destPitch);
};

// The active table, selected at first use.
const BlockRoutineTable& BlockRoutines();

// The sets: the reference (plain C++) and the SIMD ones, null where this build or processor lacks them.
const BlockRoutineTable& BlockReferenceSet();
const BlockRoutineTable* BlockSse2Set();   // x86-64 always
const BlockRoutineTable* BlockSsse3Set();  // when the processor has SSSE3
const BlockRoutineTable* BlockAvxSet();    // the SSE2 and SSSE3 routines in AVX encoding, when the processor has AVX
const BlockRoutineTable* BlockAvx2Set();   // the AVX set with the two-colour fit in 256-bit registers, given AVX2

}  // namespace tarn::texture::blocks
