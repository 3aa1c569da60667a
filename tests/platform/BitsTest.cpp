#include "platform/Bits.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>

namespace {

TEST(Bits, PowersOfTwo) {
    struct Case {
        std::uint32_t n, next;
        bool power;
    } cases[] = {
        {0, 1, false},
        {1, 1, true},
        {2, 2, true},
        {3, 4, false},
        {255, 256, false},
        {256, 256, true},
        {257, 512, false},
        {0x80000000u, 0x80000000u, true},
        {0x80000001u, 0x80000001u, false},  // no 32-bit power of two above: the size is kept
        {0xFFFFFFFFu, 0xFFFFFFFFu, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(tarn::NextPowerOfTwo(c.n), c.next);
        EXPECT_EQ(tarn::IsPowerOfTwo(c.n), c.power);
    }
}

TEST(Bits, FloatBitsRoundTrip) {
    struct Case {
        float value;
        std::uint32_t bits;
    } cases[] = {
        {0.0f, 0x00000000u},
        {-0.0f, 0x80000000u},
        {1.0f, 0x3F800000u},
        {-2.5f, 0xC0200000u},
        {std::numeric_limits<float>::infinity(), 0x7F800000u},
        {std::numeric_limits<float>::denorm_min(), 1u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(tarn::FloatBits(c.value), c.bits);
        EXPECT_EQ(tarn::FloatBits(tarn::BitsFloat(c.bits)), c.bits);
    }
    const std::uint32_t nan = 0x7FC00001u;  // a payload survives the trip
    EXPECT_EQ(tarn::FloatBits(tarn::BitsFloat(nan)), nan);
}

// FNV-1a's published 64-bit parameters: the empty input hashes to the offset basis, and one mixed-in byte 'a'
// gives the published value for "a". Order matters.
TEST(Bits, FnvHashFollowsThePublishedParameters) {
    EXPECT_EQ(tarn::FnvHash(std::array<std::uint32_t, 0>{}), 0xcbf29ce484222325ull);
    EXPECT_EQ(tarn::FnvHash(std::array<std::uint32_t, 1>{'a'}), 0xaf63dc4c8601ec8cull);
    EXPECT_NE(tarn::FnvHash(std::array<std::uint32_t, 2>{1, 2}), tarn::FnvHash(std::array<std::uint32_t, 2>{2, 1}));
    static_assert(tarn::FnvMix(tarn::kFnvOffsetBasis, 0) == tarn::kFnvOffsetBasis * 1099511628211ull);
}

}  // namespace
