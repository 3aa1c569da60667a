// The reference routines (one per table slot) and the shared degenerate-case tests they use. Sums are formed in
// double precision and rounded to float only where a result is written.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "RoutineTable.h"
#include "platform/Bits.h"

namespace tarn::math::reference {
#define TARN_MATH_REFERENCE_DECL(slot, result, name, params, args) result name params;
TARN_MATH_SLOTS(TARN_MATH_REFERENCE_DECL)
#undef TARN_MATH_REFERENCE_DECL
}  // namespace tarn::math::reference

namespace tarn::math::detail {

constexpr double kFloatEpsilon = 1.1920928955078125e-07;        // 2^-23
constexpr double kSmallestNormal = 1.1754943508222875e-38;      // 2^-126

// -eps <= a - b <= eps; a NaN difference is not near.
inline bool NearlyEqual(double a, double b) {
    double d = a - b;
    return d >= -kFloatEpsilon && d <= kFloatEpsilon;
}
// A squared length that is not greater than the smallest normal float, or NaN.
inline bool IsTiny(float n) { return !(n > static_cast<float>(kSmallestNormal)); }

using tarn::BitsFloat;
using tarn::FloatBits;
inline const BYTE* Advance(const void* p, std::size_t bytes) { return static_cast<const BYTE*>(p) + bytes; }
inline BYTE* Advance(void* p, std::size_t bytes) { return static_cast<BYTE*>(p) + bytes; }

// World * View * Projection through the dispatched multiply, with null pieces as identity (the projection
// routines of every set).
D3DXMATRIX Combined(const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world);

// One element of the half-float formulas; every variant must agree with these bit for bit.
std::uint16_t HalfFromFloatBits(std::uint32_t b);
std::uint32_t FloatBitsFromHalf(std::uint16_t h);

}  // namespace tarn::math::detail
