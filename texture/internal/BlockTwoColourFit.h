// The two-colour fit of the colour encoder, once for each routine set that has its own (see BlockRoutines.h).
#pragma once

#include "BlockRoutines.h"

namespace tarn::texture::blocks {

void FitTwoColoursReference(const float colourA[3], const float colourB[3], float countA, float countB,
                            bool threeColour, TwoColourFit& fit);
// Only where the processor has AVX2.
void FitTwoColoursAvx2(const float colourA[3], const float colourB[3], float countA, float countB, bool threeColour,
                       TwoColourFit& fit);

}  // namespace tarn::texture::blocks
