// The block encoders at each quality: DXT1 transparency and modes, DXT3 rounding and dither, DXT5 alpha modes,
// the alpha fit, exact blocks, the quality switch, and the routine sets against the reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "BlockCodec.h"
#include "BlockCodecBlocks.h"
#include "BlockRoutines.h"
#include "PixelCodec.h"
#include "texture/TextureOptions.h"

using namespace tarn::texture;
using namespace tarn::texture::blocks;

namespace {

constexpr BlockQuality kQualities[] = {BlockQuality::Fast, BlockQuality::Default, BlockQuality::Best};

std::uint16_t Colour(const std::uint8_t* b, int which) {
    return static_cast<std::uint16_t>(b[2 * which] | (b[2 * which + 1] << 8));
}
int Index(const std::uint8_t* colourBlock, int i) { return (colourBlock[4 + i / 4] >> (2 * (i % 4))) & 3; }

// Blocks that tempt an encoder: noise, a gradient with noise, black among colours, two colours, one colour.
void MakeBlock(std::mt19937& rng, int kind, float out[64]) {
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    const float base[3] = {u(rng), u(rng), u(rng)}, dir[3] = {u(rng) - 0.5f, u(rng) - 0.5f, u(rng) - 0.5f};
    for (int i = 0; i < 16; ++i) {
        float* p = out + i * 4;
        const float t = ((i % 4) + (i / 4)) / 6.0f - 0.5f;
        for (int c = 0; c < 3; ++c) {
            switch (kind % 5) {
            case 0:
                p[c] = u(rng);
                break;
            case 1:
                p[c] = std::clamp(base[c] + dir[c] * t + (u(rng) - 0.5f) * 0.03f, 0.0f, 1.0f);
                break;
            case 2:
                p[c] = i % 3 == 0 ? 0.0f : std::clamp(base[c] + 0.1f * u(rng), 0.0f, 1.0f);
                break;
            case 3:
                p[c] = i % 2 ? base[c] : dir[c] + 0.5f;
                break;
            default:
                p[c] = base[c];
                break;
            }
        }
        p[3] = 1.0f;
    }
}

double ColourError(const float* input, const std::uint8_t* block,
                   void (*decode)(const std::uint8_t*, float*, std::size_t)) {
    float out[64];
    decode(block, out, 16);
    double e = 0;
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 3; ++c) e += (out[i * 4 + c] - input[i * 4 + c]) * (out[i * 4 + c] - input[i * 4 + c]);
    return e;
}

TEST(BlockEncode, Dxt1ModesFollowTransparency) {
    std::mt19937 rng(5);
    for (BlockQuality q : kQualities) {
        for (int trial = 0; trial < 250; ++trial) {
            float input[64];
            MakeBlock(rng, trial, input);
            const bool withHoles = trial % 2 == 1;
            if (withHoles)
                for (int i = 0; i < 16; ++i) input[i * 4 + 3] = (rng() % 3 == 0) ? 0.49f : 0.5f;
            std::uint8_t b[8];
            EncodeDxt1(b, input, {q, nullptr});
            bool anyHole = false;
            for (int i = 0; i < 16; ++i) {
                const bool hole = input[i * 4 + 3] < 0.5f;
                anyHole |= hole;
                ASSERT_EQ(Index(b, i) == 3 && Colour(b, 0) <= Colour(b, 1), hole) << int(q) << " " << trial << " " << i;
            }
            // Three-colour mode only where a texel is transparent; opaque blocks never.
            ASSERT_EQ(Colour(b, 0) <= Colour(b, 1), anyHole) << int(q) << " " << trial;
        }
    }
}

TEST(BlockEncode, AlphaFormatsAreFourColourAtEveryQuality) {
    std::mt19937 rng(9);
    for (BlockQuality q : kQualities)
        for (int trial = 0; trial < 200; ++trial) {
            float input[64];
            MakeBlock(rng, trial, input);
            std::uint8_t b[16];
            if (trial % 2)
                EncodeDxt5(b, input, {q, nullptr});
            else
                EncodeDxt3(b, input, {q, nullptr});
            ASSERT_GT(Colour(b + 8, 0), Colour(b + 8, 1)) << int(q) << " " << trial;
        }
}

TEST(BlockEncode, ExactBlocksComeBackExact) {
    // One 5-6-5 colour, and two 5-6-5 colours in a pattern: both have an exact encoding.
    const std::uint16_t colours[][2] = {{0x0000, 0x0000}, {0xFFFF, 0xFFFF}, {0x7BEF, 0x7BEF},
                                        {0xF800, 0x001F}, {0x1234, 0xFEDC}, {0x07E0, 0x07E1}};
    for (BlockQuality q : kQualities)
        for (const auto& pair : colours) {
            float input[64];
            for (int i = 0; i < 16; ++i) {
                const std::uint16_t c = pair[(i * 7) % 3 == 0 ? 0 : 1];
                input[i * 4 + 0] = (c >> 11) / 31.0f;
                input[i * 4 + 1] = ((c >> 5) & 63) / 63.0f;
                input[i * 4 + 2] = (c & 31) / 31.0f;
                input[i * 4 + 3] = 1.0f;
            }
            std::uint8_t b1[8], b5[16];
            EncodeDxt1(b1, input, {q, nullptr});
            EncodeDxt5(b5, input, {q, nullptr});
            EXPECT_LT(ColourError(input, b1, DecodeDxt1), 1e-10) << int(q) << " " << pair[0] << " " << pair[1];
            EXPECT_LT(ColourError(input, b5, DecodeDxt5), 1e-10) << int(q) << " " << pair[0] << " " << pair[1];
        }
}

TEST(BlockEncode, HigherQualityNeverDoesWorseOnTheWhole) {
    std::mt19937 rng(21);
    double sum[3] = {};
    for (int trial = 0; trial < 300; ++trial) {
        float input[64];
        MakeBlock(rng, trial % 2, input);  // noise and noisy gradients
        for (int q = 0; q < 3; ++q) {
            std::uint8_t b[8];
            EncodeDxt1(b, input, {kQualities[q], nullptr});
            sum[q] += ColourError(input, b, DecodeDxt1);
        }
    }
    EXPECT_LT(sum[1], sum[0]);
    EXPECT_LE(sum[2], sum[1]);
}

// Smooth gradients are where the codes next to the least-squares endpoints matter most: Best, which chooses the
// refit's codes by their error and searches the endpoints' neighbours, must gain clearly over rounding.
TEST(BlockEncode, BestChoosesEndpointCodesByTheirError) {
    std::mt19937 rng(37);
    double sum[3] = {};
    for (int trial = 0; trial < 300; ++trial) {
        float input[64];
        MakeBlock(rng, 1, input);
        for (int q = 1; q < 3; ++q) {
            std::uint8_t b[16];
            EncodeDxt5(b, input, {kQualities[q], nullptr});
            sum[q] += ColourError(input, b + 8, DecodeDxt1);
        }
    }
    EXPECT_LT(sum[2], 0.95 * sum[1]);
}

// Three tight grey clusters (about 68, 121 and 162) that leave one entry of the range's palette unused: the best
// four-colour fit puts the dark cluster on a one-third point, which the range's indices and their refinement
// never reach; Default must find it.
TEST(BlockEncode, ClustersOffTheRangeFitAtDefault) {
    const int grey[16] = {160, 68, 123, 121, 162, 68, 121, 119, 163, 68, 119, 123, 162, 67, 121, 162};
    float input[64];
    for (int i = 0; i < 16; ++i) {
        input[i * 4] = input[i * 4 + 1] = input[i * 4 + 2] = grey[i] / 255.0f;
        input[i * 4 + 3] = 1.0f;
    }
    double error[3];
    for (BlockQuality q : kQualities) {
        std::uint8_t b[16];
        EncodeDxt5(b, input, {q, nullptr});
        error[int(q)] = ColourError(input, b + 8, DecodeDxt1) * 255.0 * 255.0;
    }
    EXPECT_LT(error[int(BlockQuality::Default)], 0.25 * error[int(BlockQuality::Fast)]);
    EXPECT_LE(error[int(BlockQuality::Best)], error[int(BlockQuality::Default)]);
}

// The least error of a block of two colours with each colour on one palette entry, over every placement of the
// two and every pair of codes, channel by channel (on the decoder's palette: i / 31 or i / 63, thirds or the
// midpoint). Entry 3 of the three-colour mode is transparent, so it holds no colour there.
double TwoColourOptimum(const float a[3], const float b[3], int na, int nb, bool threeColour) {
    const float shares4[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f}, shares3[3] = {1.0f, 0.0f, 0.5f};
    const float* share = threeColour ? shares3 : shares4;
    const int entries = threeColour ? 3 : 4;
    double best = INFINITY;
    for (int ka = 0; ka < entries; ++ka)
        for (int kb = 0; kb < entries; ++kb) {
            double total = 0;
            for (int c = 0; c < 3; ++c) {
                const int max = c == 1 ? 63 : 31;
                double least = INFINITY;
                for (int c0 = 0; c0 <= max; ++c0)
                    for (int c1 = 0; c1 <= max; ++c1) {
                        const double v0 = double(c0) / max, v1 = double(c1) / max;
                        const double da = a[c] - (share[ka] * v0 + (1 - share[ka]) * v1);
                        const double db = b[c] - (share[kb] * v0 + (1 - share[kb]) * v1);
                        least = std::min(least, na * da * da + nb * db * db);
                    }
                total += least;
            }
            best = std::min(best, total);
        }
    return best;
}

// Best on blocks of exactly two colours, in the four-colour mode (DXT5's colour block) and the three-colour mode
// (DXT1 with transparent pixels): near the best placement of the two colours on palette entries, which often puts
// one of them on a one-third point or the midpoint, out of the range of the two.
TEST(BlockEncode, TwoColourBlocksComeNearTheirBestPlacement) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int trial = 0; trial < 60; ++trial) {
        const bool threeColour = trial % 3 == 2;
        float a[3], b[3];
        for (int c = 0; c < 3; ++c) {
            a[c] = u(rng);
            b[c] = std::clamp(a[c] + (u(rng) - 0.5f) * (trial % 2 ? 0.1f : 0.8f), 0.0f, 1.0f);
        }
        const int nb = 1 + trial % 9;  // B's pixels among the counted ones
        float input[64];
        int na = 0, nbSeen = 0;
        for (int i = 0; i < 16; ++i) {
            const bool transparent = threeColour && i % 5 == 4;
            const bool isB = !transparent && nbSeen < nb && i % 2 == 1;
            const float* colour = isB ? b : a;
            for (int c = 0; c < 3; ++c) input[i * 4 + c] = colour[c];
            input[i * 4 + 3] = transparent ? 0.0f : 1.0f;
            na += !transparent && !isB, nbSeen += isB;
        }
        const double optimum = TwoColourOptimum(a, b, na, nbSeen, threeColour);
        std::uint8_t block[16];
        double error = 0;
        if (threeColour) {
            EncodeDxt1(block, input, {BlockQuality::Best, nullptr});
            float out[64];
            DecodeDxt1(block, out, 16);
            for (int i = 0; i < 16; ++i) {
                if (input[i * 4 + 3] == 0.0f) {
                    EXPECT_EQ(out[i * 4 + 3], 0.0f) << "pixel " << i;
                    continue;
                }
                for (int c = 0; c < 3; ++c) error += std::pow(out[i * 4 + c] - input[i * 4 + c], 2.0f);
            }
        } else {
            EncodeDxt5(block, input, {BlockQuality::Best, nullptr});
            error = ColourError(input, block + 8, DecodeDxt1);
        }
        EXPECT_LE(error, optimum * 1.2 + 2e-4) << "trial " << trial;
    }
}

TEST(BlockEncode, Dxt3RoundsAlphaToFourBitsOrDithers) {
    float input[64];
    for (int i = 0; i < 16; ++i) {
        input[i * 4] = input[i * 4 + 1] = input[i * 4 + 2] = 0.5f;
        input[i * 4 + 3] = i / 15.0f + (i % 2 ? 0.02f : -0.02f);  // near each 4-bit code, off by a third of a step
    }
    std::uint8_t b[16];
    EncodeDxt3(b, input, {BlockQuality::Default, nullptr});
    for (int i = 0; i < 16; ++i) EXPECT_EQ((b[i / 2] >> (4 * (i % 2))) & 15, std::clamp(i, 0, 15)) << i;

    // A thresholds array replaces the one half of rounding.
    float thresholds[16];
    for (int i = 0; i < 16; ++i) thresholds[i] = (i % 4) / 4.0f + 0.1f;
    for (int i = 0; i < 16; ++i) input[i * 4 + 3] = 7.5f / 15.0f;
    EncodeDxt3(b, input, {BlockQuality::Default, thresholds});
    for (int i = 0; i < 16; ++i) EXPECT_EQ((b[i / 2] >> (4 * (i % 2))) & 15, thresholds[i] >= 0.5f ? 8 : 7) << i;
}

// Through the codec, as the loaders use it: D3DX_FILTER_DITHER reaches the block encoder as the codec's dither.
TEST(BlockEncode, CodecDithersDxt3AlphaWhenAsked) {
    for (bool dither : {false, true}) {
        std::vector<std::uint8_t> mem(16);
        ImageDesc d;
        d.memory = mem.data();
        d.format = D3DFMT_DXT3;
        d.rowPitch = 16;
        d.slicePitch = 16;
        d.box = {0, 0, 4, 4, 0, 1};
        d.dither = dither;
        auto codec = CreatePixelCodec(d);
        ASSERT_TRUE(codec);
        const std::vector<Float4> row(4, Float4{0.2f, 0.4f, 0.6f, 7.5f / 15.0f});
        for (UINT y = 0; y < 4; ++y) codec->EncodeRow(y, 0, row.data());
        ASSERT_EQ(codec->Finish(), S_OK);
        int eights = 0, sevens = 0;
        for (int i = 0; i < 16; ++i) {
            const int nibble = (mem[i / 2] >> (4 * (i % 2))) & 15;
            eights += nibble == 8, sevens += nibble == 7;
        }
        // Plain rounding takes every half up; the ordered dither spreads the half over the block evenly.
        EXPECT_EQ(eights, dither ? 8 : 16);
        EXPECT_EQ(sevens, dither ? 8 : 0);
    }
}

TEST(BlockEncode, Dxt5PicksTheAlphaModeOfLeastError) {
    struct Case {
        const char* name;
        int alpha[4];  // repeated four times over the block
        bool sixValueMode;
    } cases[] = {
        {"0 and 255 beside values inside", {0, 255, 100, 140}, true},  // six values over 100..140
        {"0 and 255 beside one value", {0, 255, 128, 128}, true},      // exact only in the six-value mode
        {"steps of 36", {3, 39, 147, 255}, false},                     // exact only in the eight-value mode
    };
    for (BlockQuality q : kQualities)
        for (const Case& c : cases) {
            float input[64];
            for (int i = 0; i < 16; ++i) {
                input[i * 4] = input[i * 4 + 1] = input[i * 4 + 2] = 0.5f;
                input[i * 4 + 3] = c.alpha[i % 4] / 255.0f;
            }
            std::uint8_t b[16];
            EncodeDxt5(b, input, {q, nullptr});
            EXPECT_EQ(b[0] <= b[1], c.sixValueMode) << c.name << " " << int(q);
            float out[64];
            DecodeDxt5(b, out, 16);
            for (int i = 0; i < 16; ++i)
                EXPECT_NEAR(out[i * 4 + 3] * 255.0f, c.alpha[i % 4], 1.5f) << c.name << " " << int(q) << " " << i;
        }
}

// Values on the entries of the eight-value pair 220, 10 but not on 10 itself: neither mode over the block's
// range (40..220, all that Fast tries) holds them well, and the least-squares fit of Default and Best must
// find endpoints of clearly less error.
TEST(BlockEncode, Dxt5AlphaFitBeatsTheBlocksRange) {
    const int values[6] = {220, 160, 130, 100, 70, 40};
    float input[64];
    for (int i = 0; i < 16; ++i) {
        input[i * 4] = input[i * 4 + 1] = input[i * 4 + 2] = 0.5f;
        input[i * 4 + 3] = values[i % 6] / 255.0f;
    }
    double error[3];
    for (BlockQuality q : kQualities) {
        std::uint8_t b[16];
        EncodeDxt5(b, input, {q, nullptr});
        float out[64];
        DecodeDxt5(b, out, 16);
        double& e = error[int(q)];
        e = 0;
        for (int i = 0; i < 16; ++i) e += std::pow(out[i * 4 + 3] * 255.0f - values[i % 6], 2);
    }
    EXPECT_LT(error[int(BlockQuality::Default)], 0.9 * error[int(BlockQuality::Fast)]);
    EXPECT_LE(error[int(BlockQuality::Best)], error[int(BlockQuality::Default)]);
}

TEST(BlockEncode, QualitySwitch) {
    const struct {
        const char* text;
        BlockQuality quality;
    } names[] = {{"fast", BlockQuality::Fast},       {"BEST", BlockQuality::Best}, {"default", BlockQuality::Default},
                 {"fastest", BlockQuality::Default}, {"", BlockQuality::Default},  {nullptr, BlockQuality::Default}};
    for (const auto& n : names) EXPECT_EQ(ParseBlockQuality(n.text), n.quality) << (n.text ? n.text : "null");
    const BlockQuality before = GetBlockQuality();
    for (BlockQuality q : kQualities) {
        SetBlockQuality(q);
        EXPECT_EQ(GetBlockQuality(), q);
    }
    SetBlockQuality(before);
}

// ---- Routine sets against the reference, on seeded random data ----

std::vector<const BlockRoutineTable*> SimdSets() {
    std::vector<const BlockRoutineTable*> sets;
    for (const BlockRoutineTable* t : {BlockSse2Set(), BlockSsse3Set(), BlockAvxSet(), BlockAvx2Set()})
        if (t != nullptr) sets.push_back(t);
    return sets;
}

// Points anywhere in 0..255, one in five of weight 0, and a palette anywhere.
void RandomPointsAndPalette(std::mt19937& rng, ColourPoints& p, ColourPalette4& pal) {
    std::uniform_real_distribution<float> u(0.0f, 255.0f);
    for (int i = 0; i < 16; ++i) p.r[i] = u(rng), p.g[i] = u(rng), p.b[i] = u(rng), p.w[i] = rng() % 5 ? 1.0f : 0.0f;
    for (int k = 0; k < 4; ++k) pal.r[k] = u(rng), pal.g[k] = u(rng), pal.b[k] = u(rng);
}

TEST(BlockRoutines, NearestColoursMatchTheReference) {
    std::mt19937 rng(17);
    for (const BlockRoutineTable* set : SimdSets())
        for (int trial = 0; trial < 2000; ++trial) {
            ColourPoints p;
            ColourPalette4 pal;
            RandomPointsAndPalette(rng, p, pal);
            if (trial % 3 == 0) pal.r[3] = pal.r[2], pal.g[3] = pal.g[2], pal.b[3] = pal.b[2];  // ties
            std::uint8_t a[16], b[16];
            const float ea = BlockReferenceSet().nearestColours(p, pal, a), eb = set->nearestColours(p, pal, b);
            ASSERT_EQ(ea, eb) << trial;
            ASSERT_EQ(0, std::memcmp(a, b, 16)) << trial;
        }
}

// The colour encoder's sums must agree to the bit, as candidates are compared by them.
TEST(BlockRoutines, ColourSumsMatchTheReference) {
    std::mt19937 rng(29);
    std::uniform_real_distribution<float> u(-0.2f, 1.2f);
    const float kShare[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f};
    const BlockRoutineTable& ref = BlockReferenceSet();
    for (const BlockRoutineTable* set : SimdSets())
        for (int trial = 0; trial < 2000; ++trial) {
            float pixels[64];
            for (float& v : pixels) v = u(rng);
            if (trial % 7 == 0) pixels[rng() % 64] = NAN;
            if (trial % 5 == 0) pixels[rng() % 64] = -0.0f;
            const bool dxt1 = trial % 2 == 0;
            ColourPoints a, b;
            std::uint8_t alphaA[16], alphaB[16];
            ref.gatherColours(pixels, dxt1, a, alphaA);
            set->gatherColours(pixels, dxt1, b, alphaB);
            ASSERT_EQ(0, std::memcmp(&a, &b, sizeof a)) << trial;
            ASSERT_EQ(0, std::memcmp(alphaA, alphaB, sizeof alphaA)) << trial;
            if (trial % 11 == 0)
                for (float& w : a.w) w = 0.0f;  // no point counts
            float ma[3], mb[3], ca[6], cb[6];
            ASSERT_EQ(ref.colourMoments(a, ma, ca), set->colourMoments(a, mb, cb)) << trial;
            ASSERT_EQ(0, std::memcmp(ma, mb, sizeof ma)) << trial;
            ASSERT_EQ(0, std::memcmp(ca, cb, sizeof ca)) << trial;
            const float axis[3] = {u(rng) - 0.5f, u(rng) - 0.5f, u(rng) - 0.5f};
            float loA, hiA, loB, hiB;
            ref.axisRange(a, ma, axis, loA, hiA);
            set->axisRange(a, ma, axis, loB, hiB);
            ASSERT_EQ(loA, loB) << trial;
            ASSERT_EQ(hiA, hiB) << trial;
            std::uint8_t index[16];
            for (auto& i : index) i = static_cast<std::uint8_t>(rng() % 4);
            float sa[9], sb[9];
            ref.endpointSums(a, index, kShare, sa);
            set->endpointSums(a, index, kShare, sb);
            ASSERT_EQ(0, std::memcmp(sa, sb, sizeof sa)) << trial;
        }
}

// The local search compares candidates by these errors, so every set must give the reference's floats; the
// reference itself must equal the plain per-pixel least over the changed palette.
TEST(BlockRoutines, ChannelErrorsMatchTheReference) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> u(0.0f, 255.0f);
    const BlockRoutineTable& ref = BlockReferenceSet();
    std::vector<const BlockRoutineTable*> sets = SimdSets();
    sets.push_back(&ref);
    for (const BlockRoutineTable* set : sets)
        for (int trial = 0; trial < 1000; ++trial) {
            ColourPoints p;
            ColourPalette4 pal;
            RandomPointsAndPalette(rng, p, pal);
            const int channel = trial % 3, count = 1 + trial % 8;
            float values[8][4];
            for (auto& v : values)
                for (float& x : v) x = u(rng);
            float a[8], b[8];
            ref.channelErrors(p, pal, channel, values, count, a);
            set->channelErrors(p, pal, channel, values, count, b);
            ASSERT_EQ(0, std::memcmp(a, b, count * sizeof(float))) << trial;
            // Against the error of the changed palette computed directly, to rounding.
            const int n = trial % count;
            ColourPalette4 changed = pal;
            float* column = channel == 0 ? changed.r : (channel == 1 ? changed.g : changed.b);
            for (int k = 0; k < 4; ++k) column[k] = values[n][k];
            std::uint8_t index[16];
            const float direct = ref.nearestColours(p, changed, index);
            ASSERT_NEAR(direct, b[n], 1e-3f * (1.0f + direct)) << trial;
        }
}

TEST(BlockRoutines, NearestAlphasMatchTheReference) {
    std::mt19937 rng(19);
    for (const BlockRoutineTable* set : SimdSets())
        for (int trial = 0; trial < 2000; ++trial) {
            std::uint8_t alpha[16];
            std::uint16_t twice[8];
            for (auto& a : alpha) a = static_cast<std::uint8_t>(trial % 4 ? rng() : (rng() % 2) * 255);
            for (auto& t : twice) t = static_cast<std::uint16_t>(rng() % 511);
            if (trial % 3 == 0) twice[5] = twice[2], twice[7] = static_cast<std::uint16_t>(twice[1] + 1);  // ties
            std::uint8_t a[16], b[16];
            const int ea = BlockReferenceSet().nearestAlphas(alpha, twice, a), eb = set->nearestAlphas(alpha, twice, b);
            ASSERT_EQ(ea, eb) << trial;
            ASSERT_EQ(0, std::memcmp(a, b, 16)) << trial;
        }
}

// Alphas anywhere (beyond 0..1, NaN, negative zero) and right on the rounding points k / 15 +- half a step,
// rounded and dithered.
TEST(BlockRoutines, ExplicitAlphasMatchTheReference) {
    std::mt19937 rng(41);
    std::uniform_real_distribution<float> u(-0.2f, 1.2f), threshold(0.0f, 1.0f);
    for (const BlockRoutineTable* set : SimdSets())
        for (int trial = 0; trial < 2000; ++trial) {
            float pixels[64], offsets[16];
            for (float& v : pixels) v = u(rng);
            for (int i = 0; i < 16; ++i) {
                if (trial % 3 == 0) pixels[4 * i + 3] = (float(rng() % 31) * 0.5f) / 15.0f;
                offsets[i] = threshold(rng);
            }
            if (trial % 7 == 0) pixels[4 * (rng() % 16) + 3] = NAN;
            if (trial % 5 == 0) pixels[4 * (rng() % 16) + 3] = -0.0f;
            const float* dither = trial % 2 ? offsets : nullptr;
            std::uint8_t want[8], got[8];
            BlockReferenceSet().explicitAlpha(pixels, dither, want);
            set->explicitAlpha(pixels, dither, got);
            ASSERT_EQ(0, std::memcmp(want, got, 8)) << trial;
        }
}

// Colours anywhere, near each other, on the edges of the range and equal in some channels, in both modes.
TEST(BlockRoutines, TwoColourFitsMatchTheReference) {
    std::mt19937 rng(37);
    std::uniform_real_distribution<float> u(0.0f, 255.0f);
    for (const BlockRoutineTable* set : SimdSets())
        for (int trial = 0; trial < 3000; ++trial) {
            float a[3], b[3];
            for (int c = 0; c < 3; ++c) {
                a[c] = u(rng);
                b[c] = trial % 4 == 0 ? a[c] + u(rng) * 0.02f : u(rng);
                if (trial % 5 == 0) b[c] = a[c];
                if (trial % 7 == 0) a[c] = 255.0f, b[c] = c == 1 ? 0.0f : b[c];
            }
            const float countA = float(1 + trial % 15), countB = 16.0f - countA;
            const bool threeColour = trial % 3 == 0;
            TwoColourFit want, got;
            BlockReferenceSet().fitTwoColours(a, b, countA, countB, threeColour, want);
            set->fitTwoColours(a, b, countA, countB, threeColour, got);
            ASSERT_EQ(want.c0, got.c0) << trial;
            ASSERT_EQ(want.c1, got.c1) << trial;
            ASSERT_EQ(want.entryA, got.entryA) << trial;
            ASSERT_EQ(want.entryB, got.entryB) << trial;
            ASSERT_EQ(want.error, got.error) << trial;
        }
}

TEST(BlockRoutines, RowDecodersMatchTheReference) {
    constexpr std::size_t kBlocks = 37;  // odd and not a multiple of 4
    std::mt19937 rng(23);
    std::vector<std::uint8_t> source(kBlocks * 16);
    for (auto& v : source) v = static_cast<std::uint8_t>(rng());
    // Equal and swapped endpoints in some blocks, for both colour modes and both alpha modes.
    for (std::size_t b = 0; b < kBlocks; b += 3)
        source[b * 16 + 10] = source[b * 16 + 8], source[b * 16 + 11] = source[b * 16 + 9];
    const std::size_t pitch = kBlocks * 16 + 12;
    for (const BlockRoutineTable* set : SimdSets()) {
        std::vector<std::uint8_t> want(pitch * 4, 0xCD), got(pitch * 4, 0xCD);
        BlockReferenceSet().decodeColourRow(source.data() + 8, 16, kBlocks, want.data(), pitch);
        set->decodeColourRow(source.data() + 8, 16, kBlocks, got.data(), pitch);
        EXPECT_EQ(want, got);
        BlockReferenceSet().decodeDxt5Row(source.data(), kBlocks, want.data(), pitch);
        set->decodeDxt5Row(source.data(), kBlocks, got.data(), pitch);
        EXPECT_EQ(want, got);
        BlockReferenceSet().decodeDxt3Row(source.data(), kBlocks, want.data(), pitch);
        set->decodeDxt3Row(source.data(), kBlocks, got.data(), pitch);
        EXPECT_EQ(want, got);
    }
}

}  // namespace

// Every colour-0 endpoint and every pair of alpha endpoints once (colour 1 and the indices random, so both colour
// modes and both alpha modes occur), decoded as one row of DXT5 blocks, the same bytes as DXT3 blocks, and as one
// row of packed DXT1 blocks.
TEST(BlockRoutines, RowDecodersMatchTheReferenceForEveryEndpoint) {
    constexpr std::size_t kBlocks = 65536 + 3;  // the last few wrap round, leaving a tail shorter than 4
    std::mt19937 rng(29);
    std::vector<std::uint8_t> dxt5(kBlocks * 16), dxt1(kBlocks * 8);
    for (std::size_t b = 0; b < kBlocks; ++b) {
        std::uint8_t* block = &dxt5[b * 16];
        const auto k = static_cast<std::uint16_t>(b);
        for (int i = 0; i < 16; ++i) block[i] = static_cast<std::uint8_t>(rng());
        block[0] = static_cast<std::uint8_t>(k), block[1] = static_cast<std::uint8_t>(k >> 8);
        block[8] = static_cast<std::uint8_t>(k), block[9] = static_cast<std::uint8_t>(k >> 8);
        std::memcpy(&dxt1[b * 8], block + 8, 8);
    }
    const std::size_t pitch = kBlocks * 16;
    for (const BlockRoutineTable* set : SimdSets()) {
        std::vector<std::uint8_t> want(pitch * 4), got(pitch * 4);
        BlockReferenceSet().decodeColourRow(dxt1.data(), 8, kBlocks, want.data(), pitch);
        set->decodeColourRow(dxt1.data(), 8, kBlocks, got.data(), pitch);
        EXPECT_TRUE(want == got);
        BlockReferenceSet().decodeDxt5Row(dxt5.data(), kBlocks, want.data(), pitch);
        set->decodeDxt5Row(dxt5.data(), kBlocks, got.data(), pitch);
        EXPECT_TRUE(want == got);
        BlockReferenceSet().decodeDxt3Row(dxt5.data(), kBlocks, want.data(), pitch);
        set->decodeDxt3Row(dxt5.data(), kBlocks, got.data(), pitch);
        EXPECT_TRUE(want == got);
    }
}
