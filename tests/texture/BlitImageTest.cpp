// The transfer methods, each reached through BlitImage, and the weight tables behind the filters.
#include "BlitImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <string>

#include "platform/FaultInjection.h"
#include "TextureTestSupport.h"
#include "TransferMethods.h"

using namespace tarn::texture;
using texture_test::Blit;
using texture_test::FillRandom;
using texture_test::MemoryImage;

namespace {

// An L8 image from rows of digits: '0' ... '9' become 0, 28, ..., 252. Rows are separated by spaces.
MemoryImage GreyFromAscii(const std::string& text) {
    std::vector<std::string> rows;
    std::string row;
    for (char c : text + " ") {
        if (c == ' ') {
            if (!row.empty()) rows.push_back(row);
            row.clear();
        } else {
            row += c;
        }
    }
    MemoryImage image(D3DFMT_L8, static_cast<UINT>(rows[0].size()), static_cast<UINT>(rows.size()));
    for (UINT y = 0; y < image.height; ++y)
        for (UINT x = 0; x < image.width; ++x) image.Row(y)[x] = static_cast<BYTE>((rows[y][x] - '0') * 28);
    return image;
}

std::string AsciiFromGrey(MemoryImage& image) {
    std::string text;
    for (UINT y = 0; y < image.height; ++y) {
        if (y) text += ' ';
        for (UINT x = 0; x < image.width; ++x) text += static_cast<char>('0' + (image.Row(y)[x] + 14) / 28);
    }
    return text;
}

std::string Resample(const std::string& ascii, UINT w, UINT h, DWORD filter) {
    MemoryImage src = GreyFromAscii(ascii);
    MemoryImage dst(D3DFMT_L8, w, h);
    EXPECT_EQ(Blit(dst, src, filter), S_OK);
    return AsciiFromGrey(dst);
}

TEST(BlitImage, NonFilteringMethods) {
    struct Case {
        const char* what;
        const char* source;
        UINT w, h;
        DWORD filter;
        const char* expected;
    } cases[] = {
        {"copy", "19 28", 2, 2, D3DX_FILTER_TRIANGLE, "19 28"},
        {"point repeats each pixel twice", "1234", 8, 1, D3DX_FILTER_POINT, "11223344"},
        {"point halves by taking every other", "1234 5678", 2, 1, D3DX_FILTER_POINT, "13"},
        {"none keeps the top-left overlap", "123 456 789", 2, 2, D3DX_FILTER_NONE, "12 45"},
        {"box averages 2 x 2 and drops an odd last row and column", "11229 33449 99999", 2, 1, D3DX_FILTER_BOX, "23"},
        {"box of one row", "1133", 2, 1, D3DX_FILTER_BOX, "13"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Resample(c.source, c.w, c.h, c.filter), c.expected);
    }
}

TEST(BlitImage, SameFormatBlockCopiesFollowTheBoxesAlignment) {
    // Three rows of single-colour DXT1 blocks: red, green, blue. The source declares only the first two (4 x 8);
    // the blue row lies past its end, where a copy of whole blocks that ignored the boxes' places would read it.
    const std::uint16_t colours[3] = {0xF800, 0x07E0, 0x001F};
    std::vector<BYTE> source(24, 0);  // each block: colour 0 = colour 1, every index 0
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t half : {0, 2}) {
            source[8 * i + half] = static_cast<BYTE>(colours[i]);
            source[8 * i + half + 1] = static_cast<BYTE>(colours[i] >> 8);
        }
    }
    struct Case {
        UINT sourceTop, destTop;
    } cases[] = {{4, 2}, {4, 0}, {4, 4}, {5, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "source rows from " << c.sourceTop << ", destination rows from "
                                        << c.destTop);
        const UINT rows = 8 - c.sourceTop;  // the source box runs to the bottom of the green row
        std::vector<BYTE> dest(16, 0);      // 4 x 8 DXT1, black
        ImageDesc from;
        from.memory = source.data();
        from.format = D3DFMT_DXT1;
        from.rowPitch = 8;
        from.slicePitch = 16;
        from.box = {0, c.sourceTop, 4, 8, 0, 1};
        ImageDesc to = from;
        to.memory = dest.data();
        to.box = {0, c.destTop, 4, c.destTop + rows, 0, 1};
        ASSERT_EQ(BlitImage(to, from, D3DX_FILTER_NONE), S_OK);

        // Decode the destination and check that the box holds the source's green, whatever block row it lands in.
        MemoryImage decoded(D3DFMT_A8R8G8B8, 4, 8);
        ImageDesc whole = to;
        whole.box = {0, 0, 4, 8, 0, 1};
        ASSERT_EQ(BlitImage(decoded.Desc(), whole, D3DX_FILTER_NONE), S_OK);
        for (UINT y = c.destTop; y < c.destTop + rows; ++y) {
            std::uint32_t pixel;
            std::memcpy(&pixel, decoded.Row(y), 4);
            EXPECT_EQ(pixel, 0xFF00FF00u) << "row " << y;
        }
    }
}

TEST(BlitImage, NoFilterLeavesTheRestTransparentBlack) {
    MemoryImage src(D3DFMT_A8R8G8B8, 4, 4), dst(D3DFMT_A8R8G8B8, 8, 8);
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x) src.SetPixel32(x, y, 0xFF112233);
    std::fill(dst.bytes.begin(), dst.bytes.end(), 0x77);
    ASSERT_EQ(Blit(dst, src, D3DX_FILTER_NONE), S_OK);
    for (UINT y = 0; y < 8; ++y)
        for (UINT x = 0; x < 8; ++x) EXPECT_EQ(dst.Pixel32(x, y), x < 4 && y < 4 ? 0xFF112233u : 0u);
}

TEST(BlitImage, BoxOfTwoByTwoIsTheRoundedMean) {
    MemoryImage src(D3DFMT_A8R8G8B8, 2, 2), dst(D3DFMT_A8R8G8B8, 1, 1);
    src.SetPixel32(0, 0, 0x00000000);
    src.SetPixel32(1, 0, 0x01010101);
    src.SetPixel32(0, 1, 0x02FF0001);
    src.SetPixel32(1, 1, 0xFFFF0003);
    ASSERT_EQ(Blit(dst, src, D3DX_FILTER_BOX), S_OK);
    // Per channel (a + b + c + d + 2) >> 2.
    EXPECT_EQ(dst.Pixel32(0, 0), 0x41800001u);
}

// The packed-integer boxes (2 x 2, and 2 x 2 x 2 for volumes) must give exactly what decoding, averaging in floats
// and encoding gives. Odd sizes drop their last column, row and slice; a volume source one row high reads its row
// twice.
TEST(BlitImage, PackedBoxEqualsTheFloatPath) {
    const D3DFORMAT formats[] = {D3DFMT_A8R8G8B8, D3DFMT_A8B8G8R8, D3DFMT_X8R8G8B8, D3DFMT_X8B8G8R8,
                                 D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,
                                 D3DFMT_R3G3B2,   D3DFMT_A8,       D3DFMT_L8,       D3DFMT_A8R3G3B2,
                                 D3DFMT_X4R4G4B4, D3DFMT_A8L8,     D3DFMT_A4L4};
    struct Shape {
        UINT w, h, d;
    } shapes[] = {{19, 7, 1}, {19, 7, 5}, {6, 1, 4}, {2, 2, 2}, {5, 4, 3}};
    for (D3DFORMAT f : formats) {
        ASSERT_TRUE(HasPackedBox(f));
        for (const Shape& s : shapes) {
            SCOPED_TRACE(testing::Message() << "format " << f << ", " << s.w << " x " << s.h << " x " << s.d);
            const UINT dw = s.w / 2, dh = s.h == 1 ? 1 : s.h / 2, dd = s.d == 1 ? 1 : s.d / 2;
            MemoryImage src(f, s.w, s.h, s.d), fast(f, dw, dh, dd), floats(f, dw, dh, dd);
            FillRandom(src.bytes, static_cast<std::uint32_t>(f) * 31u + s.d);
            // Unused X bits decode as opaque; set them so that both paths read the same value.
            if (f == D3DFMT_X8R8G8B8 || f == D3DFMT_X8B8G8R8)
                for (std::size_t i = 3; i < src.bytes.size(); i += 4) src.bytes[i] = 0xFF;
            if (f == D3DFMT_X1R5G5B5 || f == D3DFMT_X4R4G4B4)
                for (std::size_t i = 1; i < src.bytes.size(); i += 2)
                    src.bytes[i] |= f == D3DFMT_X1R5G5B5 ? 0x80 : 0xF0;

            ASSERT_EQ(Blit(fast, src, D3DX_FILTER_BOX), S_OK);
            EnablePackedBox(false);
            const HRESULT hr = Blit(floats, src, D3DX_FILTER_BOX);
            EnablePackedBox(true);
            ASSERT_EQ(hr, S_OK);
            EXPECT_EQ(fast.Pixels(), floats.Pixels());
        }
    }
}

TEST(BlitImage, BoxRowVariantsAgreeOnEveryLength) {
    std::vector<BYTE> row0(8 * 41), row1(8 * 41);
    FillRandom(row0, 5);
    FillRandom(row1, 6);
    // Saturated channels: the largest sums must not wrap in any routine.
    std::fill(row0.begin(), row0.begin() + 64, BYTE{0xFF});
    std::fill(row1.begin(), row1.begin() + 64, BYTE{0xFF});
    for (UINT w = 1; w <= 41; w += 2) {
        std::vector<BYTE> plain(4 * w), mmx(4 * w), avx2(4 * w);
        BoxRow8888Plain(row0.data(), row1.data(), plain.data(), w);
        BoxRow8888Mmx(row0.data(), row1.data(), mmx.data(), w);
        EXPECT_EQ(plain, mmx) << "width " << w;
        if (BoxRow8888Avx2Available()) {
            BoxRow8888Avx2(row0.data(), row1.data(), avx2.data(), w);
            EXPECT_EQ(plain, avx2) << "width " << w;
        }
    }
}

// The 2 x 2 x 2 box of volumes: per channel (sum of eight + 4) >> 3, half-way sums rounding up.
TEST(BlitImage, BoxOfTwoByTwoByTwoIsTheRoundedMean) {
    MemoryImage src(D3DFMT_A8R8G8B8, 2, 2, 2), dst(D3DFMT_A8R8G8B8, 1, 1, 1);
    // Channel sums: alpha 12 (1.5 rounds to 2), red 3 (0.375 to 0), green 2040 (255), blue 11 (1.375 to 1).
    const std::uint32_t voxels[8] = {0x0100FF01, 0x0100FF01, 0x0201FF02, 0x0201FF02,
                                     0x0200FF01, 0x0200FF01, 0x0200FF02, 0x0200FF01};
    for (UINT i = 0; i < 8; ++i) src.SetPixel32(i & 1, (i >> 1) & 1, i >> 2, voxels[i]);
    for (bool packed : {true, false}) {
        SCOPED_TRACE(packed ? "packed" : "floats");
        EnablePackedBox(packed);
        const HRESULT hr = Blit(dst, src, D3DX_FILTER_BOX);
        EnablePackedBox(true);
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(dst.Pixel32(0, 0, 0), 0x0200FF01u);
    }
}

TEST(BlitImage, BoxRow3DVariantsAgreeOnEveryLength) {
    std::vector<BYTE> rows[4] = {std::vector<BYTE>(8 * 41), std::vector<BYTE>(8 * 41), std::vector<BYTE>(8 * 41),
                                 std::vector<BYTE>(8 * 41)};
    for (int r = 0; r < 4; ++r) {
        FillRandom(rows[r], 20 + r);
        // Saturated channels: the largest sums (8 x 255) must not wrap in any routine.
        std::fill(rows[r].begin(), rows[r].begin() + 64, BYTE{0xFF});
    }
    const BYTE* const pointers[4] = {rows[0].data(), rows[1].data(), rows[2].data(), rows[3].data()};
    for (UINT w = 1; w <= 41; w += 2) {
        std::vector<BYTE> plain(4 * w), mmx(4 * w), avx2(4 * w);
        BoxRow3D8888Plain(pointers, plain.data(), w);
        EXPECT_EQ(plain[0], 0xFF);
        BoxRow3D8888Mmx(pointers, mmx.data(), w);
        EXPECT_EQ(plain, mmx) << "width " << w;
        if (BoxRow8888Avx2Available()) {
            BoxRow3D8888Avx2(pointers, avx2.data(), w);
            EXPECT_EQ(plain, avx2) << "width " << w;
        }
    }
}

// Filters along the third axis, on a column of four float voxels whose last one is 1 (the rest 0).
TEST(BlitImage, VolumeFiltersActAlongDepth) {
    struct Case {
        const char* what;
        DWORD filter;
        UINT depth;
        std::vector<float> expected;
    } cases[] = {
        {"point repeats each slice", D3DX_FILTER_POINT, 8, {0, 0, 0, 0, 0, 0, 1, 1}},
        {"none leaves the extra slices empty", D3DX_FILTER_NONE, 6, {0, 0, 0, 1, 0, 0}},
        {"linear wraps across the ends", D3DX_FILTER_LINEAR, 8, {0.25f, 0, 0, 0, 0, 0.25f, 0.75f, 0.75f}},
        {"linear with MIRROR_W clamps", D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_W, 8, {0, 0, 0, 0, 0, 0.25f, 0.75f, 1}},
        {"box halves", D3DX_FILTER_BOX, 2, {0, 0.5f}},
        // Slice 1 covers [2, 4): the rising half of the last tent (0.5) and its flat outer half (0.5), over 2.
        {"triangle with MIRROR_W", D3DX_FILTER_TRIANGLE | D3DX_FILTER_MIRROR_W, 2, {0, 0.5f}},
        // Wrapping, the outer half falls instead (0.375) and its tail [0, 0.5) reaches slice 0 (0.125).
        {"triangle wraps", D3DX_FILTER_TRIANGLE, 2, {0.0625f, 0.4375f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryImage src(D3DFMT_A32B32G32R32F, 1, 1, 4), dst(D3DFMT_A32B32G32R32F, 1, 1, c.depth);
        for (UINT z = 0; z < 4; ++z) src.SetPixelF(0, 0, z, {z == 3 ? 1.0f : 0.0f, 0, 0, 1});
        ASSERT_EQ(Blit(dst, src, c.filter), S_OK);
        for (UINT z = 0; z < c.depth; ++z) EXPECT_NEAR(dst.PixelF(0, 0, z).r, c.expected[z], 1e-5f) << "slice " << z;
    }
}

TEST(BlitImage, VolumeTriangleKeepsAFlatVolumeFlat) {
    for (DWORD mirror : {0u, static_cast<DWORD>(D3DX_FILTER_MIRROR)}) {
        MemoryImage src(D3DFMT_A8R8G8B8, 7, 5, 3), dst(D3DFMT_A8R8G8B8, 4, 9, 6);
        for (std::size_t i = 0; i + 4 <= src.Pixels().size(); i += 4) std::memcpy(&src.bytes[i], "\x20\x40\xC0\x80", 4);
        ASSERT_EQ(Blit(dst, src, D3DX_FILTER_TRIANGLE | mirror), S_OK);
        for (UINT z = 0; z < 6; ++z)
            for (UINT y = 0; y < 9; ++y)
                for (UINT x = 0; x < 4; ++x) ASSERT_EQ(dst.Pixel32(x, y, z), 0x80C04020u) << x << "," << y << "," << z;
    }
}

// A sub-box of a volume (not starting at slice 0) with a colour key: keyed voxels become transparent black, the
// rest are copied from their own slice.
TEST(BlitImage, VolumeSubBoxWithColourKey) {
    MemoryImage src(D3DFMT_A8R8G8B8, 3, 3, 3), dst(D3DFMT_A8R8G8B8, 2, 2, 2);
    for (UINT z = 0; z < 3; ++z)
        for (UINT y = 0; y < 3; ++y)
            for (UINT x = 0; x < 3; ++x) src.SetPixel32(x, y, z, 0xFF000000u | (z << 16) | (y << 8) | x);
    src.SetPixel32(2, 2, 2, 0xFF00FF00);
    src.colorKey = 0xFF00FF00;
    ImageDesc from = src.Desc();
    from.box = {1, 1, 3, 3, 1, 3};
    ASSERT_EQ(BlitImage(dst.Desc(), from, D3DX_FILTER_NONE), S_OK);
    for (UINT z = 0; z < 2; ++z)
        for (UINT y = 0; y < 2; ++y)
            for (UINT x = 0; x < 2; ++x) {
                const std::uint32_t expected =
                    x == 1 && y == 1 && z == 1 ? 0u : 0xFF000000u | ((z + 1) << 16) | ((y + 1) << 8) | (x + 1);
                EXPECT_EQ(dst.Pixel32(x, y, z), expected) << x << "," << y << "," << z;
            }
}

TEST(BlitImage, LinearEdgesWrapOrMirror) {
    MemoryImage src(D3DFMT_A32B32G32R32F, 4, 1), wrapped(D3DFMT_A32B32G32R32F, 8, 1),
        mirrored(D3DFMT_A32B32G32R32F, 8, 1);
    for (UINT x = 0; x < 4; ++x) src.SetPixelF(x, 0, {x == 3 ? 1.0f : 0.0f, 0, 0, 1});
    ASSERT_EQ(Blit(wrapped, src, D3DX_FILTER_LINEAR), S_OK);
    ASSERT_EQ(Blit(mirrored, src, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_U), S_OK);
    // Destination 0 samples source 0 with weight 0.75 and the pixel to its left with 0.25.
    EXPECT_FLOAT_EQ(wrapped.PixelF(0, 0).r, 0.25f);
    EXPECT_FLOAT_EQ(mirrored.PixelF(0, 0).r, 0.0f);
    EXPECT_FLOAT_EQ(wrapped.PixelF(7, 0).r, 0.75f);  // 0.75 of source 3, 0.25 of wrapped source 0
    EXPECT_FLOAT_EQ(mirrored.PixelF(7, 0).r, 1.0f);
}

TEST(BlitImage, WeightTablesSumToOne) {
    struct Case {
        UINT src, dst;
    } cases[] = {{100, 128}, {60, 64}, {1000, 1024}, {600, 1024}, {7, 3}, {5, 2}, {1, 4}, {4, 1}, {3, 3}, {2, 7}};
    for (const Case& c : cases) {
        for (bool mirror : {false, true}) {
            for (bool triangle : {false, true}) {
                SCOPED_TRACE(testing::Message() << c.src << " -> " << c.dst << (mirror ? " mirror" : " wrap")
                                                << (triangle ? " triangle" : " linear"));
                WeightTable table;
                if (triangle) {
                    BuildTriangleWeights(c.src, c.dst, mirror, table);
                } else {
                    BuildLinearWeights(c.src, c.dst, mirror, table);
                }
                ASSERT_EQ(table.start.size(), c.dst + 1);
                for (UINT i = 0; i < c.dst; ++i) {
                    float sum = 0;
                    for (UINT k = table.start[i]; k < table.start[i + 1]; ++k) {
                        ASSERT_LT(table.taps[k].index, c.src);
                        sum += table.taps[k].weight;
                    }
                    EXPECT_NEAR(sum, 1.0f, 1e-4f) << "destination " << i;
                }
            }
        }
    }
    // A source wider than the int range: the second destination pixel samples around three quarters of it.
    WeightTable wide;
    BuildLinearWeights(0xC0000000u, 2, false, wide);
    ASSERT_EQ(wide.taps.size(), 4u);
    for (std::size_t k = 2; k < 4; ++k) EXPECT_NEAR(wide.taps[k].index, 0.75 * 0xC0000000u, 2.0) << k;
}

TEST(BlitImage, TriangleReductionToOnePixelMergesEveryWrappedTap) {
    // The window of a one-pixel destination covers the whole source and wraps round its ends: every source pixel
    // must appear exactly once, its wrapped tap merged into the first (merging by searching the list made this
    // quadratic in the source width). Each weight is 1/65536, above the level at which weights are dropped.
    const UINT src = 1u << 16;
    WeightTable table;
    BuildTriangleWeights(src, 1, false, table);
    ASSERT_EQ(table.taps.size(), src);
    std::vector<bool> seen(src, false);
    double sum = 0;
    for (const FilterTap& tap : table.taps) {
        ASSERT_LT(tap.index, src);
        EXPECT_FALSE(seen[tap.index]) << tap.index;
        seen[tap.index] = true;
        sum += tap.weight;
    }
    EXPECT_NEAR(sum, 1.0, 1e-3);
}

TEST(BlitImage, TriangleWeightsAtTheEdges) {
    // 2 -> 4: destination 0 covers [0, 0.5) of the source, all inside the left half of pixel 0's tent.
    WeightTable mirror, wrap;
    BuildTriangleWeights(2, 4, true, mirror);
    ASSERT_EQ(mirror.start[1] - mirror.start[0], 1u);
    EXPECT_FLOAT_EQ(mirror.taps[0].weight, 1.0f);
    // Wrapping, the last pixel's tent reaches across: its mean over [0, 0.5) is 0.25.
    BuildTriangleWeights(2, 4, false, wrap);
    float last = 0;
    for (UINT k = wrap.start[0]; k < wrap.start[1]; ++k)
        if (wrap.taps[k].index == 1) last = wrap.taps[k].weight;
    EXPECT_FLOAT_EQ(last, 0.25f);
}

TEST(BlitImage, BoxThatIsNotAHalvingIsServedByTheTriangleFilter) {
    MemoryImage src(D3DFMT_A8R8G8B8, 100, 60), box(D3DFMT_A8R8G8B8, 128, 64), tri(D3DFMT_A8R8G8B8, 128, 64);
    FillRandom(src.bytes, 11);
    ASSERT_EQ(Blit(box, src, D3DX_FILTER_BOX), S_OK);
    ASSERT_EQ(Blit(tri, src, D3DX_FILTER_TRIANGLE), S_OK);
    EXPECT_EQ(box.Pixels(), tri.Pixels());
}

TEST(BlitImage, TriangleKeepsAFlatImageFlat) {
    for (DWORD mirror : {0u, static_cast<DWORD>(D3DX_FILTER_MIRROR)}) {
        MemoryImage src(D3DFMT_A8R8G8B8, 37, 23), dst(D3DFMT_A8R8G8B8, 64, 9);
        for (UINT y = 0; y < 23; ++y)
            for (UINT x = 0; x < 37; ++x) src.SetPixel32(x, y, 0x80C04020);
        ASSERT_EQ(Blit(dst, src, D3DX_FILTER_TRIANGLE | mirror), S_OK);
        for (UINT y = 0; y < 9; ++y)
            for (UINT x = 0; x < 64; ++x) ASSERT_EQ(dst.Pixel32(x, y), 0x80C04020u) << x << "," << y;
    }
}

TEST(BlitImage, Failures) {
    MemoryImage src(D3DFMT_A8R8G8B8, 3, 1), dst(D3DFMT_A8R8G8B8, 3, 1);
    EXPECT_EQ(Blit(dst, src, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(Blit(dst, src, 6), D3DERR_INVALIDCALL);
    EXPECT_EQ(Blit(dst, src, D3DX_FILTER_POINT | 0x800000), D3DERR_INVALIDCALL);

    // A format without a codec fails and leaves the destination as it was.
    MemoryImage odd(D3DFMT_D24S8, 3, 1);
    std::fill(odd.bytes.begin(), odd.bytes.end(), 0x5A);
    const std::vector<BYTE> before = odd.bytes;
    EXPECT_EQ(Blit(odd, src, D3DX_FILTER_POINT), E_FAIL);
    EXPECT_EQ(odd.bytes, before);
    EXPECT_EQ(Blit(dst, odd, D3DX_FILTER_POINT), E_FAIL);
}

// A buffer that the encoder cannot have fails the transfer with E_OUTOFMEMORY before any pixel is written;
// with memory the same transfer writes every pixel.
TEST(BlitImage, EncodeBuffersThatCannotBeHadLeaveTheDestinationUntouched) {
    struct Case {
        const char* fault;
        D3DFORMAT source, dest;
        DWORD filter;
    } cases[] = {
        {"PixelCodec conversion row", D3DFMT_V8U8, D3DFMT_A8R8G8B8, D3DX_FILTER_NONE},        // signed to unsigned
        {"PixelCodec conversion row", D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DX_FILTER_NONE | D3DX_FILTER_SRGB_OUT},
        {"PixelCodec conversion row", D3DFMT_A32B32G32R32F, D3DFMT_DXT5, D3DX_FILTER_NONE},   // float to blocks
        {"BlockCodec gather rows", D3DFMT_A8R8G8B8, D3DFMT_DXT1, D3DX_FILTER_NONE},
        {"BlockCodec gather rows", D3DFMT_A8R8G8B8, D3DFMT_DXT5, D3DX_FILTER_TRIANGLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fault) + ", dest format " + std::to_string(c.dest));
        MemoryImage src(c.source, 8, 8), dst(c.dest, 8, 8);
        std::size_t stored = dst.pitch * 8;
        if (c.dest == D3DFMT_DXT1 || c.dest == D3DFMT_DXT5) {  // 2 x 2 blocks
            dst.pitch = c.dest == D3DFMT_DXT1 ? 16 : 32;
            stored = dst.pitch * 2;
            dst.bytes.assign(stored + 16, 0);
        }
        FillRandom(src.bytes, 7);
        if (c.source == D3DFMT_A32B32G32R32F) {
            for (UINT y = 0; y < 8; ++y)
                for (UINT x = 0; x < 8; ++x) src.SetPixelF(x, y, {0.25f, 0.5f, 0.75f, 1.0f});
        }
        std::fill(dst.bytes.begin(), dst.bytes.end(), 0xA5);
        const std::vector<BYTE> before = dst.bytes;
        tarn::platform::InjectFault(c.fault, 0, -1);
        EXPECT_EQ(Blit(dst, src, c.filter), E_OUTOFMEMORY);
        tarn::platform::ClearFaults();
        EXPECT_EQ(dst.bytes, before);
        ASSERT_EQ(Blit(dst, src, c.filter), S_OK);
        EXPECT_LT(std::count(dst.bytes.begin(), dst.bytes.begin() + static_cast<std::ptrdiff_t>(stored), BYTE{0xA5}),
                  static_cast<std::ptrdiff_t>(stored / 8));
    }
}

}  // namespace
