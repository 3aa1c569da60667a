// Bit-level helpers every layer uses: powers of two for texture sizes, the bits of a float (render-state values
// and the math routines' exact tests) and the 64-bit FNV-1a step that state caches hash their keys with.
// Header only, without state.
#pragma once

#include <cstdint>
#include <cstring>

namespace tarn {

constexpr bool IsPowerOfTwo(std::uint32_t n) { return n != 0 && (n & (n - 1)) == 0; }

// The smallest power of two not below `n` (1 for 0); `n` itself above 2^31, where no 32-bit power of two reaches.
constexpr std::uint32_t NextPowerOfTwo(std::uint32_t n) {
    std::uint32_t p = 1;
    while (p < n && p < 0x80000000u) p <<= 1;
    return p < n ? n : p;
}

inline std::uint32_t FloatBits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

inline float BitsFloat(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

// 64-bit FNV-1a over whole values: start from kFnvOffsetBasis and mix in each value in turn.
inline constexpr std::uint64_t kFnvOffsetBasis = 14695981039346656037ull;
constexpr std::uint64_t FnvMix(std::uint64_t hash, std::uint64_t value) { return (hash ^ value) * 1099511628211ull; }

template <typename Range>
constexpr std::uint64_t FnvHash(const Range& values) {
    std::uint64_t hash = kFnvOffsetBasis;
    for (const auto& value : values) hash = FnvMix(hash, value);
    return hash;
}

}  // namespace tarn
