// The colour encoder's routines of the AVX set, eight pixels a register (see BlockRoutines.h for what each
// computes). Only where the processor has AVX.
#pragma once

#include "BlockRoutines.h"

namespace tarn::texture::blocks {

void GatherColoursAvx(const float* pixels, bool dxt1, ColourPoints& p, std::uint8_t alpha[16]);
float ColourMomentsAvx(const ColourPoints& p, float mean[3], float cov[6]);
void AxisRangeAvx(const ColourPoints& p, const float mean[3], const float axis[3], float& lo, float& hi);
void EndpointSumsAvx(const ColourPoints& p, const std::uint8_t index[16], const float share[4], float sums[9]);
float NearestColoursAvx(const ColourPoints& p, const ColourPalette4& pal, std::uint8_t index[16]);
void ChannelErrorsAvx(const ColourPoints& p, const ColourPalette4& pal, int channel, const float (*values)[4],
                      int count, float* errors);

}  // namespace tarn::texture::blocks
