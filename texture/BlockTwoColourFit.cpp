// The fit of a colour block whose counted pixels hold exactly two colours: the reference and, for processors
// with AVX2, the same code compiled for them, where the eight placements fill one register.
#include "BlockTwoColourFit.h"

#include <utility>

namespace tarn::texture::blocks {

namespace {

// Two colours, A (`na` pixels) and B (`nb`), each on its own palette entry. For each way of placing the two on
// entries (up to swapping the endpoints, which gives the same palette), both lie exactly on the line of the
// endpoints that the placement solves for, channel by channel; each channel's pair of codes is then chosen among
// those either side of that solution by the pair's error. The placement of least error wins, judged on its
// quantised endpoints and the palette they decode to. The placements are worked on side by side in plain loops
// without branches, which the compiler vectorises.
__attribute__((always_inline)) inline void FitTwoColoursLanes(const float colourA[3], const float colourB[3], float na,
                                                              float nb, bool threeColour, TwoColourFit& fit) {
    constexpr int kLanes = 8;
    // The placements (share of endpoint 0 in A's entry, in B's entry): (0, 1), (0, 2), (2, 0), (0, 3), (2, 1),
    // (2, 3) of four, and (0, 1), (0, 2), (2, 0) of three; the others swap the endpoints of one of these. Unused
    // lanes repeat the first.
    static constexpr float kFourA[kLanes] = {1, 1, 2.0f / 3, 1, 2.0f / 3, 2.0f / 3, 1, 1};
    static constexpr float kFourB[kLanes] = {0, 2.0f / 3, 1, 1.0f / 3, 0, 1.0f / 3, 0, 0};
    static constexpr float kThreeA[kLanes] = {1, 1, 0.5f, 1, 1, 1, 1, 1};
    static constexpr float kThreeB[kLanes] = {0, 0.5f, 1, 0, 0, 0, 0, 0};
    const float* shareA = threeColour ? kThreeA : kFourA;
    const float* shareB = threeColour ? kThreeB : kFourB;

    // The least-squares e1 below divides by a placement's weight, the same in every channel.
    alignas(32) float weights[kLanes];
    for (int k = 0; k < kLanes; ++k) {
        const float ta = 1.0f - shareA[k], tb = 1.0f - shareB[k];
        weights[k] = 1.0f / (na * ta * ta + nb * tb * tb);
    }
    alignas(32) int code0[3][kLanes], code1[3][kLanes];
    for (int ch = 0; ch < 3; ++ch) {
        const float va = colourA[ch], vb = colourB[ch];
        const int max = ch == 1 ? 63 : 31, high = ch == 1 ? 2 : 3, low = ch == 1 ? 4 : 2;
        const float scale = float(max) / 255.0f;
        for (int k = 0; k < kLanes; ++k) {
            // A = sa e0 + ta e1 and B = sb e0 + tb e1, solved for e0. For each code either side of it, the
            // least-squares e1 with that code's decoded value held (rounding e0 moves the best e1 by up to
            // twice as much), and the codes either side of that.
            const float sa = shareA[k], sb = shareB[k], ta = 1.0f - sa, tb = 1.0f - sb;
            const float e0 = (tb * va - ta * vb) / (sa - sb);
            const float weight = weights[k];
            auto lower = [&](float v) {  // the lower of the two codes either side of v, NaN to 0
                v = v > 0.0f ? v : 0.0f;
                v = v < 255.0f ? v : 255.0f;
                const int f = static_cast<int>(v * scale);
                return f < max - 1 ? f : max - 1;
            };
            auto decoded = [&](int f) { return float((f << high) | (f >> low)); };  // bit replication
            auto error = [&](float v0, float v1) {
                const float da = va - (sa * v0 + ta * v1), db = vb - (sb * v0 + tb * v1);
                return na * da * da + nb * db * db;
            };
            const int f0 = lower(e0);
            const float u0 = decoded(f0), u1 = decoded(f0 + 1);
            const int g0 = lower((na * ta * (va - sa * u0) + nb * tb * (vb - sb * u0)) * weight);
            const int g1 = lower((na * ta * (va - sa * u1) + nb * tb * (vb - sb * u1)) * weight);
            const float e00 = error(u0, decoded(g0)), e01 = error(u0, decoded(g0 + 1));
            const float e10 = error(u1, decoded(g1)), e11 = error(u1, decoded(g1 + 1));
            const bool up1First = e01 < e00, up1Second = e11 < e10;
            const bool up0 = (up1Second ? e11 : e10) < (up1First ? e01 : e00);
            code0[ch][k] = f0 + up0;
            code1[ch][k] = up0 ? g1 + up1Second : g0 + up1First;
        }
    }

    // Each placement's quantised palette (four-colour pairs of equal colours moved apart as OrderEndpoints moves
    // them) and each colour's nearest entry in it, the lowest index among equals.
    alignas(32) float total[kLanes];
    alignas(32) int first[kLanes], second[kLanes], entryA[kLanes], entryB[kLanes];
    const float near = threeColour ? 1.0f : 2.0f, far = 1.0f, divide = threeColour ? 0.5f : 1.0f / 3.0f;
    const bool fourColour = !threeColour;
    for (int k = 0; k < kLanes; ++k) {
        int r0 = code0[0][k], g0 = code0[1][k], b0 = code0[2][k], r1 = code1[0][k], g1 = code1[1][k], b1 = code1[2][k];
        const bool same = fourColour & (r0 == r1) & (g0 == g1) & (b0 == b1);
        const bool raise = b0 != 31;
        b0 = same & raise ? b0 + 1 : b0;
        b1 = same & !raise ? b1 - 1 : b1;
        first[k] = (r0 << 11) | (g0 << 5) | b0;
        second[k] = (r1 << 11) | (g1 << 5) | b1;
        float pr[4], pg[4], pb[4];
        pr[0] = float((r0 << 3) | (r0 >> 2)), pg[0] = float((g0 << 2) | (g0 >> 4)),
        pb[0] = float((b0 << 3) | (b0 >> 2));
        pr[1] = float((r1 << 3) | (r1 >> 2)), pg[1] = float((g1 << 2) | (g1 >> 4)),
        pb[1] = float((b1 << 3) | (b1 >> 2));
        // Entries 2 and 3: the thirds, or the midpoint twice.
        pr[2] = (near * pr[0] + far * pr[1]) * divide, pg[2] = (near * pg[0] + far * pg[1]) * divide;
        pb[2] = (near * pb[0] + far * pb[1]) * divide;
        pr[3] = (far * pr[0] + near * pr[1]) * divide, pg[3] = (far * pg[0] + near * pg[1]) * divide;
        pb[3] = (far * pb[0] + near * pb[1]) * divide;
        float least[2];
        int entry[2];
        for (int which = 0; which < 2; ++which) {
            const float* c = which ? colourB : colourA;
            float d[4];
            for (int e = 0; e < 4; ++e) {
                const float dr = c[0] - pr[e], dg = c[1] - pg[e], db = c[2] - pb[e];
                d[e] = (dr * dr + dg * dg) + db * db;
            }
            const bool pick1 = d[1] < d[0], pick3 = d[3] < d[2];
            const float d01 = pick1 ? d[1] : d[0], d23 = pick3 ? d[3] : d[2];
            const bool upper = d23 < d01;
            least[which] = upper ? d23 : d01;
            entry[which] = upper ? 2 + pick3 : pick1;
        }
        total[k] = na * least[0] + nb * least[1];
        entryA[k] = entry[0], entryB[k] = entry[1];
    }

    int pick = 0;
    const int placements = threeColour ? 3 : 6;
    for (int k = 1; k < placements; ++k) pick = total[k] < total[pick] ? k : pick;
    std::uint16_t c0 = static_cast<std::uint16_t>(first[pick]), c1 = static_cast<std::uint16_t>(second[pick]);
    int ia = entryA[pick], ib = entryB[pick];
    // The mode's order of the endpoints: swapping them swaps entries 0 and 1, and 2 and 3 of four.
    if (threeColour ? c0 > c1 : c0 < c1) {
        std::swap(c0, c1);
        ia = ia < 2 || !threeColour ? ia ^ 1 : ia;
        ib = ib < 2 || !threeColour ? ib ^ 1 : ib;
    }
    fit.c0 = c0, fit.c1 = c1;
    fit.entryA = static_cast<std::uint8_t>(ia), fit.entryB = static_cast<std::uint8_t>(ib);
    fit.error = total[pick];
}

}  // namespace

void FitTwoColoursReference(const float colourA[3], const float colourB[3], float countA, float countB,
                            bool threeColour, TwoColourFit& fit) {
    FitTwoColoursLanes(colourA, colourB, countA, countB, threeColour, fit);
}

#if defined(__x86_64__) && !defined(TARN_TEXTURE_REFERENCE_ONLY)
__attribute__((target("avx2"))) void FitTwoColoursAvx2(const float colourA[3], const float colourB[3], float countA,
                                                       float countB, bool threeColour, TwoColourFit& fit) {
    FitTwoColoursLanes(colourA, colourB, countA, countB, threeColour, fit);
}
#endif

}  // namespace tarn::texture::blocks
