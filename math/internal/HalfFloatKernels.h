// Packed half-float conversion kernels shared by the routine sets. Each converts a whole number of blocks and
// returns how many elements it converted; every result equals the scalar formula bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarn::math::detail {

// Best kernel this processor runs (8 or 16 elements per step); converts the largest multiple of its block.
std::size_t FloatToHalfBlocks(std::uint16_t* out, const float* in, std::size_t n);
std::size_t HalfToFloatBlocks(float* out, const std::uint16_t* in, std::size_t n);
// Blocks of eight with plain SSE2, whatever else the processor has.
std::size_t HalfToFloatBlocksSse2(float* out, const std::uint16_t* in, std::size_t n);
// One kernel by name (tests compare each with the formula); 0 when this build or processor lacks it.
enum class HalfKernel { Sse2, Avx2, Avx512 };
std::size_t FloatToHalfBlocksWith(HalfKernel kernel, std::uint16_t* out, const float* in, std::size_t n);
std::size_t HalfToFloatBlocksWith(HalfKernel kernel, float* out, const std::uint16_t* in, std::size_t n);
// Exactly four elements with packed arithmetic (the scalar formula where no SIMD code is built).
void FloatToHalf4Elements(std::uint16_t* out, const float* in);
void HalfToFloat4Elements(float* out, const std::uint16_t* in);

}  // namespace tarn::math::detail
