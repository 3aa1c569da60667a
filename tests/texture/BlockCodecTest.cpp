#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "texture/D3DXTexture.h"
#include "BlitImage.h"
#include "BlockCodec.h"
#include "BlockCodecBlocks.h"
#include "PixelCodec.h"

using namespace tarn::texture;
using namespace tarn::texture::blocks;

namespace {

using Block = std::vector<std::uint8_t>;

// A colour block: endpoints and 16 two-bit indices given as a string of digits, row by row.
void PutColourBlock(std::uint8_t* b, std::uint16_t c0, std::uint16_t c1, const char* indices) {
    b[0] = static_cast<std::uint8_t>(c0), b[1] = static_cast<std::uint8_t>(c0 >> 8);
    b[2] = static_cast<std::uint8_t>(c1), b[3] = static_cast<std::uint8_t>(c1 >> 8);
    std::uint32_t bits = 0;
    for (int i = 15; i >= 0; --i) bits = (bits << 2) | static_cast<std::uint32_t>(indices[i] - '0');
    std::memcpy(b + 4, &bits, 4);
}

// Interpolated alpha: endpoints and 16 three-bit indices as digits.
void PutAlphaBlock(std::uint8_t* b, std::uint8_t a0, std::uint8_t a1, const char* indices) {
    b[0] = a0, b[1] = a1;
    std::uint64_t bits = 0;
    for (int i = 15; i >= 0; --i) bits = (bits << 3) | static_cast<std::uint64_t>(indices[i] - '0');
    for (int i = 0; i < 6; ++i) b[2 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

struct Pixels {
    float v[64];
    const float* At(int i) const { return v + i * 4; }
};

Pixels Decode(void (*decode)(const std::uint8_t*, float*, std::size_t), const std::uint8_t* block) {
    Pixels p;
    decode(block, p.v, 16);
    return p;
}

constexpr std::uint16_t kWhite = 0xFFFF, kBlack = 0x0000, kRed = 0xF800;

TEST(BlockCodec, ColourBlockModes) {
    std::uint8_t b[8];
    // Four-colour mode (colour 0 > colour 1): thirds between the endpoints.
    PutColourBlock(b, kWhite, kBlack, "0123012301230123");
    Pixels four = Decode(DecodeDxt1, b);
    EXPECT_FLOAT_EQ(four.At(2)[0], 1.0f + (0.0f - 1.0f) * 0.33333334f);
    EXPECT_FLOAT_EQ(four.At(3)[1], 1.0f + (0.0f - 1.0f) * 0.6666667f);
    EXPECT_EQ(four.At(3)[3], 1.0f);

    // Equal endpoints select the three-colour mode: index 3 is transparent black.
    PutColourBlock(b, kRed, kRed, "0123000000000000");
    Pixels three = Decode(DecodeDxt1, b);
    EXPECT_FLOAT_EQ(three.At(2)[0], 1.0f);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(three.At(3)[c], 0.0f);

    // Colour 0 < colour 1: index 2 is the midpoint.
    PutColourBlock(b, kBlack, kWhite, "2222222222222222");
    EXPECT_FLOAT_EQ(Decode(DecodeDxt1, b).At(0)[1], 0.5f);
}

TEST(BlockCodec, ExplicitAlphaKeepsTheThreeColourBlackOfItsColourBlock) {
    std::uint8_t b[16];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>((2 * i) | ((2 * i + 1) << 4));  // alpha i / 15
    PutColourBlock(b + 8, kBlack, kWhite, "3333333333333333");
    Pixels p = Decode(DecodeDxt3, b);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(p.At(i)[0], 0.0f) << i;
        EXPECT_FLOAT_EQ(p.At(i)[3], static_cast<float>(i) / 15.0f) << i;
    }
}

TEST(BlockCodec, InterpolatedAlphaInBothModes) {
    std::uint8_t b[16];
    PutColourBlock(b + 8, kWhite, kBlack, "0000000000000000");
    PutAlphaBlock(b, 255, 0, "0123456700000000");
    Pixels eight = Decode(DecodeDxt5, b);
    EXPECT_FLOAT_EQ(eight.At(2)[3], 6.0f / 7.0f);
    EXPECT_FLOAT_EQ(eight.At(7)[3], 1.0f / 7.0f);
    EXPECT_EQ(eight.At(0)[3], 1.0f);
    EXPECT_EQ(eight.At(1)[3], 0.0f);

    PutAlphaBlock(b, 0, 255, "0123456700000000");
    Pixels six = Decode(DecodeDxt5, b);
    EXPECT_FLOAT_EQ(six.At(2)[3], 1.0f / 5.0f);
    EXPECT_FLOAT_EQ(six.At(5)[3], 4.0f / 5.0f);
    EXPECT_EQ(six.At(6)[3], 0.0f);
    EXPECT_EQ(six.At(7)[3], 1.0f);
}

TEST(BlockCodec, PremultipliedFormatsDivideBackByAlpha) {
    std::uint8_t b[16];
    // Red 8/31 stored with alpha 128/255: decodes to (8/31) / (128/255); green 31/63 is above alpha and saturates.
    const std::uint16_t stored = static_cast<std::uint16_t>((8 << 11) | (62 << 5));
    PutColourBlock(b + 8, stored, stored, "0000000000000000");
    PutAlphaBlock(b, 128, 128, "0000000000000000");
    Pixels p = Decode(DecodeDxt4, b);
    EXPECT_FLOAT_EQ(p.At(0)[0], (8.0f / 31.0f) / (128.0f / 255.0f));
    EXPECT_EQ(p.At(0)[1], 1.0f);
    EXPECT_EQ(p.At(0)[2], 0.0f);

    // DXT2: alpha 0 clears the colour; alpha 1 leaves it.
    for (int i = 0; i < 8; ++i) b[i] = 0xF0;  // even pixels alpha 0, odd pixels alpha 1
    PutColourBlock(b + 8, kWhite, kWhite, "0000000000000000");
    Pixels q = Decode(DecodeDxt2, b);
    EXPECT_EQ(q.At(0)[0], 0.0f);
    EXPECT_EQ(q.At(1)[0], 1.0f);
}

// Mean squared error of a decode against the input, over red, green, blue and alpha.
double Error(const float* input, const Pixels& decoded, bool withAlpha = true) {
    double e = 0;
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < (withAlpha ? 4 : 3); ++c) {
            const double d = input[i * 4 + c] - decoded.v[i * 4 + c];
            e += d * d;
        }
    return e / 16.0;
}

// The plain fit a good encoder must beat: endpoints at the per-channel bounding box, nearest index.
double BoundingBoxError(const float* input) {
    float lo[3] = {1, 1, 1}, hi[3] = {0, 0, 0};
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 3; ++c) lo[c] = std::min(lo[c], input[i * 4 + c]), hi[c] = std::max(hi[c], input[i * 4 + c]);
    auto pack = [](const float* v) {
        return static_cast<std::uint16_t>((std::lround(v[0] * 31) << 11) | (std::lround(v[1] * 63) << 5) |
                                          std::lround(v[2] * 31));
    };
    std::uint16_t c0 = pack(hi), c1 = pack(lo);
    if (c0 < c1) std::swap(c0, c1);
    if (c0 == c1) c1 = c0 > 0 ? c0 - 1 : 1;
    std::uint8_t b[8];
    PutColourBlock(b, c0, c1, "0000000000000000");
    Pixels pal = Decode(DecodeDxt1, b);
    // Evaluate each index choice by decoding a block that uses it everywhere.
    Pixels entries[4];
    const char* fill[4] = {"0000000000000000", "1111111111111111", "2222222222222222", "3333333333333333"};
    for (int k = 0; k < 4; ++k) {
        PutColourBlock(b, c0, c1, fill[k]);
        entries[k] = Decode(DecodeDxt1, b);
    }
    double e = 0;
    for (int i = 0; i < 16; ++i) {
        double best = 1e9;
        for (int k = 0; k < 4; ++k) {
            double d = 0;
            for (int c = 0; c < 3; ++c) d += std::pow(input[i * 4 + c] - entries[k].At(0)[c], 2);
            best = std::min(best, d);
        }
        e += best;
    }
    (void)pal;
    return e / 16.0;
}

TEST(BlockCodec, EncoderFitsBetterThanTheBoundingBox) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    double ours = 0, plain = 0, fourLevels = 0;
    for (int trial = 0; trial < 200; ++trial) {
        // A gradient along a random direction in colour space with a little noise: the usual texture block.
        float base[3] = {u(rng), u(rng), u(rng)}, dir[3] = {u(rng) - 0.5f, u(rng) - 0.5f, u(rng) - 0.5f};
        float input[64], ramp[64];
        for (int i = 0; i < 16; ++i) {
            const float t = ((i % 4) + (i / 4)) / 6.0f - 0.5f;
            const float s = (i % 4) / 3.0f - 0.5f;  // four evenly spaced levels: what a block holds exactly
            for (int c = 0; c < 3; ++c) {
                input[i * 4 + c] = std::clamp(base[c] + dir[c] * t + (u(rng) - 0.5f) * 0.02f, 0.0f, 1.0f);
                ramp[i * 4 + c] = std::clamp(0.5f + dir[c] * s, 0.0f, 1.0f);
            }
            input[i * 4 + 3] = ramp[i * 4 + 3] = 1.0f;
        }
        std::uint8_t b[8];
        EncodeDxt1(b, input);
        ours += Error(input, Decode(DecodeDxt1, b), false);
        plain += BoundingBoxError(input);
        EncodeDxt1(b, ramp);
        fourLevels += Error(ramp, Decode(DecodeDxt1, b), false);
    }
    EXPECT_LT(ours, plain * 0.9);
    // Rounding the ends of such a ramp to 5-6-5 alone costs about 2.6e-4 on average; the refinement does better.
    EXPECT_LT(fourLevels / 200, 1.6e-4);
}

TEST(BlockCodec, EncoderKeepsExactColoursExactAndSingleColoursClose) {
    // Two colours that 5-6-5 holds exactly come back exactly.
    float input[64];
    for (int i = 0; i < 16; ++i) {
        const bool first = (i * 5) % 3 == 0;
        input[i * 4 + 0] = first ? 1.0f : 4.0f / 31.0f;
        input[i * 4 + 1] = first ? 10.0f / 63.0f : 0.0f;
        input[i * 4 + 2] = first ? 0.0f : 1.0f;
        input[i * 4 + 3] = 1.0f;
    }
    std::uint8_t b[8];
    EncodeDxt1(b, input);
    EXPECT_EQ(Error(input, Decode(DecodeDxt1, b)), 0.0);

    // Any single colour comes within a third of a 5-bit step on every channel.
    std::mt19937 rng(3);
    for (int trial = 0; trial < 100; ++trial) {
        const float c[3] = {static_cast<float>(rng() % 256) / 255.0f, static_cast<float>(rng() % 256) / 255.0f,
                            static_cast<float>(rng() % 256) / 255.0f};
        for (int i = 0; i < 16; ++i) std::memcpy(input + i * 4, c, 12), input[i * 4 + 3] = 1.0f;
        EncodeDxt1(b, input);
        Pixels p = Decode(DecodeDxt1, b);
        for (int ch = 0; ch < 3; ++ch) ASSERT_NEAR(p.At(5)[ch], c[ch], 1.0f / 93.0f) << trial;
    }
}

// Hardware decodes the colour blocks of DXT2-DXT5 in four-colour mode always: every block the encoders write
// must decode the same in both modes. Blocks of black among colours, noise and flat colours tempt an encoder
// towards the three-colour mode with black.
TEST(BlockCodec, AlphaFormatsWriteFourColourBlocksOnly) {
    void (*const encoders[])(std::uint8_t*, const float*) = {EncodeDxt2, EncodeDxt3, EncodeDxt4, EncodeDxt5};
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int e = 0; e < 4; ++e) {
        for (int trial = 0; trial < 300; ++trial) {
            float input[64];
            const float flat[3] = {u(rng), u(rng), u(rng)};
            for (int i = 0; i < 16; ++i) {
                float* p = input + i * 4;
                switch (trial % 3) {
                    case 0: p[0] = u(rng), p[1] = u(rng), p[2] = u(rng); break;            // noise
                    case 1:                                                                 // black and colours
                        if (i % 3 == 0) p[0] = p[1] = p[2] = 0.0f;
                        else p[0] = flat[0] + 0.1f * u(rng), p[1] = flat[1], p[2] = flat[2] * (i % 2);
                        break;
                    default: std::memcpy(p, flat, sizeof(flat)); break;                     // one colour
                }
                p[3] = (trial & 4) ? u(rng) : 1.0f;
            }
            std::uint8_t block[16];
            encoders[e](block, input);
            const std::uint16_t c0 = static_cast<std::uint16_t>(block[8] | (block[9] << 8));
            const std::uint16_t c1 = static_cast<std::uint16_t>(block[10] | (block[11] << 8));
            std::uint32_t indices;
            std::memcpy(&indices, block + 12, 4);
            bool usesIndex3 = false;
            for (int i = 0; i < 16; ++i) usesIndex3 |= ((indices >> (2 * i)) & 3) == 3;
            ASSERT_TRUE(c0 > c1 || (c0 == c1 && !usesIndex3))
                << "encoder " << e << ", trial " << trial << ": " << c0 << " " << c1;
        }
    }
}

TEST(BlockCodec, Dxt1StoresLowAlphaAsTransparent) {
    float input[64];
    for (int i = 0; i < 16; ++i) {
        input[i * 4 + 0] = i / 50.0f, input[i * 4 + 1] = 0.5f, input[i * 4 + 2] = 0.25f;
        input[i * 4 + 3] = i % 3 == 0 ? 0.2f : 0.9f;
    }
    std::uint8_t b[8];
    EncodeDxt1(b, input);
    Pixels p = Decode(DecodeDxt1, b);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(p.At(i)[3], i % 3 == 0 ? 0.0f : 1.0f) << i;
        if (i % 3) {
            EXPECT_NEAR(p.At(i)[0], input[i * 4], 0.05f) << i;
        }
    }
}

TEST(BlockCodec, AlphaEncodersMeetTheirPrecision) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 100; ++trial) {
        float input[64];
        const bool extremes = trial % 2 == 0;  // blocks that hold exact 0 and 1 beside values in between
        for (int i = 0; i < 16; ++i) {
            input[i * 4 + 0] = input[i * 4 + 1] = input[i * 4 + 2] = 0.5f;
            const float a = 0.3f + 0.4f * static_cast<float>(rng() % 1000) / 1000.0f;
            input[i * 4 + 3] = extremes && i == 0 ? 0.0f : extremes && i == 15 ? 1.0f : a;
        }
        std::uint8_t b5[16], b3[16];
        EncodeDxt5(b5, input);
        EncodeDxt3(b3, input);
        Pixels p5 = Decode(DecodeDxt5, b5), p3 = Decode(DecodeDxt3, b3);
        for (int i = 0; i < 16; ++i) {
            ASSERT_NEAR(p3.At(i)[3], input[i * 4 + 3], 0.5f / 15.0f + 1e-6f);
            // Six values spread over 0.4 of range, or seven steps over the whole range.
            ASSERT_NEAR(p5.At(i)[3], input[i * 4 + 3], extremes ? 0.05f : 0.04f) << trial << " " << i;
        }
        if (extremes) {
            EXPECT_EQ(p5.At(0)[3], 0.0f);
            EXPECT_EQ(p5.At(15)[3], 1.0f);
        }
    }
}

TEST(BlockCodec, PremultipliedEncodeDecodesBack) {
    float input[64];
    for (int i = 0; i < 16; ++i) {
        input[i * 4 + 0] = 0.8f, input[i * 4 + 1] = 0.4f, input[i * 4 + 2] = 0.2f;
        input[i * 4 + 3] = i % 2 ? 0.6f : 1.0f;  // both exact in 4 and 8 bits
    }
    using Encoder = void (*)(std::uint8_t*, const float*);
    using Decoder = void (*)(const std::uint8_t*, float*, std::size_t);
    const std::pair<Encoder, Decoder> formats[] = {{EncodeDxt2, DecodeDxt2}, {EncodeDxt4, DecodeDxt4}};
    for (auto [encode, decode] : formats) {
        std::uint8_t b[16];
        encode(b, input);
        Pixels p = Decode(decode, b);
        for (int i = 0; i < 16; ++i) {
            ASSERT_NEAR(p.At(i)[0], 0.8f, 0.03f) << i;
            ASSERT_NEAR(p.At(i)[3], input[i * 4 + 3], 0.002f) << i;
        }
    }
}

// ---- The codec: row cache, box widening, colour key, encoding through rows ----

ImageDesc Desc(std::vector<std::uint8_t>& memory, D3DFORMAT format, UINT width, UINT height, ImageBox box) {
    ImageDesc d;
    d.memory = memory.data();
    d.format = format;
    d.rowPitch = (width + 3) / 4 * BlockBytes(format);
    d.slicePitch = d.rowPitch * ((height + 3) / 4);
    d.box = box;
    return d;
}

TEST(BlockCodec, RowsComeFromTheBlockRowCacheInsideAWidenedBox) {
    // 8 x 8 DXT1: four blocks, each one flat colour with index 0.
    std::vector<std::uint8_t> mem(32);
    const std::uint16_t colours[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};  // red, green, blue, white
    for (int i = 0; i < 4; ++i) PutColourBlock(mem.data() + 8 * i, colours[i], 0, "0000000000000000");
    ImageDesc d = Desc(mem, D3DFMT_DXT1, 8, 8, {3, 2, 6, 7, 0, 1});
    HRESULT hr;
    auto codec = CreatePixelCodec(d, &hr);
    ASSERT_TRUE(codec) << hr;
    std::vector<Float4> row(3);
    codec->DecodeRow(0, 0, row.data());  // image row 2: blocks 0 and 1
    EXPECT_EQ(row[0], (Float4{1, 0, 0, 1}));
    EXPECT_EQ(row[1], (Float4{0, 1, 0, 1}));
    codec->DecodeRow(4, 0, row.data());  // image row 6: blocks 2 and 3
    EXPECT_EQ(row[0], (Float4{0, 0, 1, 1}));
    EXPECT_EQ(row[2], (Float4{1, 1, 1, 1}));
}

TEST(BlockCodec, ColourKeyComparesAtTheFormatsPrecision) {
    std::vector<std::uint8_t> mem(8);
    PutColourBlock(mem.data(), 0xF81F, 0x0000, "0000000000000001");  // magenta, one black pixel
    struct Case {
        D3DCOLOR key;
        bool keyed;
    } cases[] = {
        {0xFFFF00FF, true},
        {0xFFFC02FB, true},   // rounds to the same 5-6-5 colour
        {0xFFF000FF, false},  // red a whole 5-bit step away
        {0x00FF00FF, false},  // alpha differs at one bit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.key);
        ImageDesc d = Desc(mem, D3DFMT_DXT1, 4, 4, {0, 0, 4, 4, 0, 1});
        d.colorKey = c.key;
        auto codec = CreatePixelCodec(d);
        ASSERT_TRUE(codec);
        Float4 row[4];
        codec->DecodeRow(3, 0, row);
        EXPECT_EQ(row[0] == (Float4{0, 0, 0, 0}), c.keyed);
        EXPECT_EQ(row[3], (Float4{0, 0, 0, 1}));
    }
}

TEST(BlockCodec, EncodingRowsWritesWholeBlocksAndKeepsPixelsOutsideTheBox) {
    std::vector<std::uint8_t> mem(16 * 4);  // 8 x 8 DXT5
    for (int i = 0; i < 4; ++i) {
        PutAlphaBlock(mem.data() + 16 * i, 255, 255, "0000000000000000");
        PutColourBlock(mem.data() + 16 * i + 8, 0x001F, 0x001F, "0000000000000000");  // opaque blue
    }
    // A 5 x 5 box from (1, 1): it ends inside the second block row, which is flushed at the last row.
    ImageDesc d = Desc(mem, D3DFMT_DXT5, 8, 8, {1, 1, 6, 6, 0, 1});
    {
        auto codec = CreatePixelCodec(d);
        ASSERT_TRUE(codec);
        const std::vector<Float4> red(5, Float4{1, 0, 0, 0.5f});
        for (UINT y = 0; y < 5; ++y) codec->EncodeRow(y, 0, red.data());
        ASSERT_EQ(codec->Finish(), S_OK);
    }
    ImageDesc whole = Desc(mem, D3DFMT_DXT5, 8, 8, {0, 0, 8, 8, 0, 1});
    auto reader = CreatePixelCodec(whole);
    ASSERT_TRUE(reader);
    for (UINT y = 0; y < 8; ++y) {
        Float4 row[8];
        reader->DecodeRow(y, 0, row);
        for (UINT x = 0; x < 8; ++x) {
            const bool inside = x >= 1 && x < 6 && y >= 1 && y < 6;
            SCOPED_TRACE(testing::Message() << x << "," << y);
            EXPECT_NEAR(row[x].r, inside ? 1.0f : 0.0f, 0.02f);
            EXPECT_NEAR(row[x].b, inside ? 0.0f : 1.0f, 0.02f);
            EXPECT_NEAR(row[x].a, inside ? 0.5f : 1.0f, 0.01f);
        }
    }
}

TEST(BlockCodec, DirectEightBitDecodeMatchesTheRowPathByteForByte) {
    std::mt19937 rng(5);
    for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
        SCOPED_TRACE(testing::Message() << std::hex << format);
        // 132 x 132 of random bits: endpoint orders of both modes, every index; the box cuts blocks on all sides.
        constexpr UINT kSide = 132, kBox = 130;
        std::vector<std::uint8_t> blocks((kSide / 4) * (kSide / 4) * BlockBytes(format));
        for (auto& b : blocks) b = static_cast<std::uint8_t>(rng());
        ImageDesc src = Desc(blocks, format, kSide, kSide, {1, 2, 1 + kBox, 2 + kBox, 0, 1});
        std::vector<BYTE> viaRows(kBox * kBox * 4, 0xCD), direct(kBox * kBox * 4, 0xAB);
        ImageDesc dst;
        dst.memory = viaRows.data();
        dst.format = D3DFMT_A8R8G8B8;
        dst.rowPitch = kBox * 4;
        dst.slicePitch = dst.rowPitch * kBox;
        dst.box = {0, 0, kBox, kBox, 0, 1};
        // The row path: the block codec's rows of four floats into the A8R8G8B8 codec with plain rounding.
        auto decoder = CreatePixelCodec(src);
        auto encoder = CreatePixelCodec(dst);
        ASSERT_TRUE(decoder && encoder);
        std::vector<Float4> row(kBox);
        for (UINT y = 0; y < kBox; ++y) {
            decoder->DecodeRow(y, 0, row.data());
            encoder->EncodeRow(y, 0, row.data());
        }
        ASSERT_EQ(DecodeBlocksToA8R8G8B8(src, direct.data(), kBox * 4), S_OK);
        for (std::size_t i = 0; i < direct.size(); ++i)
            ASSERT_EQ(direct[i], viaRows[i]) << "byte " << i;
        // BlitImage takes the direct route for this case; it must give the same bytes.
        std::vector<BYTE> blitted(kBox * kBox * 4, 0xEF);
        dst.memory = blitted.data();
        ASSERT_EQ(BlitImage(dst, src, D3DX_FILTER_NONE), S_OK);
        ASSERT_EQ(blitted, viaRows);
    }
}

}  // namespace
