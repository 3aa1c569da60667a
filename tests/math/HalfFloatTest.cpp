// Half-precision conversion: the listed codes, every one of the 65536 codes through every set, and float inputs
// across all rounding regions converted identically by every set.
#include <vector>

#include "HalfFloatKernels.h"
#include "ReferenceRoutines.h"
#include "tests/math/MathTestUtil.h"

using namespace mathtest;
using namespace tarn::math;

namespace {

WORD ToHalf(const MathRoutineTable& t, float f) {
    D3DXFLOAT16 h;
    t.D3DXFloat32To16Array(&h, &f, 1);
    return h.value;
}
float ToFloat(const MathRoutineTable& t, WORD code) {
    D3DXFLOAT16 h;
    h.value = code;
    float f;
    t.D3DXFloat16To32Array(&f, &h, 1);
    return f;
}

TEST(HalfFloat, FloatToHalfCases) {
    const float inf = INFINITY;
    struct Case {
        float in;
        WORD out;
    } cases[] = {
        {1.0f, 0x3C00},
        {-2.0f, 0xC000},
        {65504.0f, 0x7BFF},
        {65536.0f, 0x7C00},
        {131008.0f, 0x7FFF},
        {131040.0f, 0x7FFF},
        {-131040.0f, 0xFFFF},
        {131039.99f, 0x7FFF},  // rounds up into the top code, not beyond
        {1e30f, 0x7FFF},
        {inf, 0x7FFF},
        {-inf, 0xFFFF},
        {NAN, 0x7FFF},
        {-NAN, 0xFFFF},
        {std::ldexp(1.0f, -24), 0x0001},
        {std::ldexp(1.0f, -25), 0x0000},             // tie between 0 and 1: even
        {3 * std::ldexp(1.0f, -25), 0x0002},         // tie between 1 and 2: even
        {std::ldexp(1.0f, -25) + std::ldexp(1.0f, -36), 0x0001},  // above the tie on the 2^-37 grid
        {std::ldexp(1.0f, -25) * 1.0001f, 0x0000},  // bits below the 2^-37 grid are cut before rounding
        {-0.0f, 0x8000},
        {0.0f, 0x0000},
        {std::ldexp(1.0f, -14), 0x0400},  // smallest normal half
        {std::ldexp(1023.0f, -24), 0x03FF},
        {1.0f + std::ldexp(1.0f, -11), 0x3C00},      // tie: even
        {1.0f + 3 * std::ldexp(1.0f, -11), 0x3C02},  // tie: even
        {std::ldexp(1.0f, -140), 0x0000},
        {1e-45f, 0x0000},  // float denormal
    };
    for (const auto& set : AllSets()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(set.name + " " + std::to_string(c.in));
            EXPECT_EQ(ToHalf(set.table, c.in), c.out);
        }
    }
}

TEST(HalfFloat, HalfToFloatCases) {
    struct Case {
        WORD in;
        float out;
    } cases[] = {
        {0x7C00, 65536.0f}, {0x7FFF, 131008.0f}, {0xFFFF, -131008.0f}, {0x0001, std::ldexp(1.0f, -24)},
        {0x03FF, std::ldexp(1023.0f, -24)}, {0x3C00, 1.0f}, {0x0000, 0.0f},
    };
    for (const auto& set : AllSets())
        for (const Case& c : cases) {
            SCOPED_TRACE(set.name);
            EXPECT_EQ(FloatBits(ToFloat(set.table, c.in)), FloatBits(c.out)) << std::hex << c.in;
        }
    for (const auto& set : AllSets()) EXPECT_EQ(FloatBits(ToFloat(set.table, 0x8000)), 0x80000000u) << set.name;
}

// Every code converts exactly and back to itself, through every set, in one array (so every block path and
// tail path of the packed variants runs) and one element at a time.
TEST(HalfFloat, EveryCodeRoundTrips) {
    std::vector<D3DXFLOAT16> codes(65536), back(65536);
    std::vector<float> floats(65536), expected(65536);
    for (unsigned i = 0; i < 65536; ++i) {
        codes[i].value = static_cast<WORD>(i);
        expected[i] = BitsFloat(tarn::math::detail::FloatBitsFromHalf(static_cast<std::uint16_t>(i)));
    }
    // The formula itself: exponent 31 is an ordinary binade, denormals are f * 2^-24.
    EXPECT_EQ(expected[0x7BFF], 65504.0f);
    EXPECT_EQ(expected[0x0200], std::ldexp(1.0f, -15));
    for (const auto& set : AllSets()) {
        SCOPED_TRACE(set.name);
        set.table.D3DXFloat16To32Array(floats.data(), codes.data(), 65536);
        set.table.D3DXFloat32To16Array(back.data(), floats.data(), 65536);
        for (unsigned i = 0; i < 65536; ++i) {
            ASSERT_EQ(FloatBits(floats[i]), FloatBits(expected[i])) << std::hex << i;
            ASSERT_EQ(back[i].value, i) << std::hex << i;
        }
    }
}

// Floats across every region (saturation, normal, denormal, zero, rounding ties) give the reference bits from
// every set, at lengths that leave every tail.
TEST(HalfFloat, EverySetMatchesTheFormulaOnRandomFloats) {
    Random rnd(31);
    std::vector<float> in(4099);
    for (std::size_t i = 0; i < in.size(); ++i) {
        const unsigned exponent = 90 + rnd.engine() % 60;  // 2^-37 .. 2^22
        std::uint32_t b = (exponent << 23) | (rnd.engine() & 0x7FFFFF) | (rnd.engine() & 0x80000000u);
        if (i % 7 == 0) b = (b & ~0x1FFFu) | 0x1000u;  // exact ties at the half's last place
        in[i] = BitsFloat(b);
    }
    for (const auto& set : AllSets()) {
        for (UINT n : {0u, 1u, 3u, 4u, 5u, 6u, 7u, 9u, 15u, 17u, 4099u}) {
            SCOPED_TRACE(set.name + " n=" + std::to_string(n));
            std::vector<D3DXFLOAT16> out(n + 1);
            out[n].value = 0xABCD;
            EXPECT_EQ(set.table.D3DXFloat32To16Array(out.data(), in.data(), n), out.data());
            for (UINT i = 0; i < n; ++i)
                ASSERT_EQ(out[i].value, tarn::math::detail::HalfFromFloatBits(FloatBits(in[i]))) << i << " " << in[i];
            EXPECT_EQ(out[n].value, 0xABCD);  // nothing past n
            std::vector<float> f(n + 1, 5.0f);
            set.table.D3DXFloat16To32Array(f.data(), out.data(), n);
            for (UINT i = 0; i < n; ++i)
                ASSERT_EQ(FloatBits(f[i]), tarn::math::detail::FloatBitsFromHalf(out[i].value)) << i;
            EXPECT_EQ(f[n], 5.0f);
        }
    }
}

// Each packed kernel on its own, whichever one the dispatch would pick on this processor. The float array is long
// enough for the streaming path of large arrays, and the output starts off a cache-line boundary.
TEST(HalfFloat, EveryPackedKernelMatchesTheFormula) {
    Random rnd(32);
    const std::size_t n = (1 << 18) + 37;
    std::vector<float> in(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t b = static_cast<std::uint32_t>(rnd.engine());
        if (i % 3 == 0) b = (b & 0x80000000u) | ((90u + rnd.engine() % 60) << 23) | (b & 0x7FFFFF);
        if (i % 5 == 0) b = (b & ~0x1FFFu) | 0x1000u;
        in[i] = BitsFloat(b);
    }
    std::vector<std::uint16_t> codes(1 << 16), got(n + 1);
    for (unsigned i = 0; i < codes.size(); ++i) codes[i] = static_cast<std::uint16_t>(i);
    std::vector<float> floats(1 << 16);
    using tarn::math::detail::HalfKernel;
    for (HalfKernel k : {HalfKernel::Sse2, HalfKernel::Avx2, HalfKernel::Avx512}) {
        SCOPED_TRACE(static_cast<int>(k));
        const std::size_t done = tarn::math::detail::FloatToHalfBlocksWith(k, got.data() + 1, in.data(), n);
        for (std::size_t i = 0; i < done; ++i)
            ASSERT_EQ(got[i + 1], tarn::math::detail::HalfFromFloatBits(FloatBits(in[i])))
                << i << " " << std::hex << FloatBits(in[i]);
        const std::size_t back =
            tarn::math::detail::HalfToFloatBlocksWith(k, floats.data(), codes.data(), codes.size());
        for (std::size_t i = 0; i < back; ++i)
            ASSERT_EQ(FloatBits(floats[i]), tarn::math::detail::FloatBitsFromHalf(codes[i]));
    }
}

TEST(HalfFloat, WrapperTypeConvertsBothWays) {
    D3DXFLOAT16 h(0.5f);
    EXPECT_EQ(h.value, 0x3800);
    EXPECT_EQ(static_cast<float>(h), 0.5f);
}

}  // namespace
