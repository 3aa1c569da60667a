// The header's inline helpers that have formulas of their own: colour contrast and saturation, the four-component
// minimum and maximum.
#include <gtest/gtest.h>

#include "math/D3DXMath.h"

// Contrast about mid grey and saturation about the colour's own grey (0.2125 r + 0.7154 g + 0.0721 b); alpha is
// kept. Colours with unequal channels, so that a swapped weight or a lost alpha shows.
TEST(ColorAdjust, ContrastAndSaturationFollowTheirFormulas) {
    const D3DXCOLOR in(0.2f, 0.7f, 0.9f, 0.3f);
    D3DXCOLOR out;
    EXPECT_EQ(D3DXColorAdjustContrast(&out, &in, 1.5f), &out);
    EXPECT_NEAR(out.r, 0.5 + 1.5 * (0.2 - 0.5), 1e-6);
    EXPECT_NEAR(out.g, 0.5 + 1.5 * (0.7 - 0.5), 1e-6);
    EXPECT_NEAR(out.b, 0.5 + 1.5 * (0.9 - 0.5), 1e-6);
    EXPECT_EQ(out.a, 0.3f);
    const double grey = 0.2125 * 0.2 + 0.7154 * 0.7 + 0.0721 * 0.9;
    EXPECT_EQ(D3DXColorAdjustSaturation(&out, &in, 0.25f), &out);
    EXPECT_NEAR(out.r, grey + 0.25 * (0.2 - grey), 1e-6);
    EXPECT_NEAR(out.g, grey + 0.25 * (0.7 - grey), 1e-6);
    EXPECT_NEAR(out.b, grey + 0.25 * (0.9 - grey), 1e-6);
    EXPECT_EQ(out.a, 0.3f);
}

TEST(Vec4MinMax, ComponentByComponent) {
    const D3DXVECTOR4 a(1, -2, 3, -4), b(-1, 2, -3, 4);
    D3DXVECTOR4 low, high;
    EXPECT_EQ(D3DXVec4Minimize(&low, &a, &b), &low);
    EXPECT_EQ(D3DXVec4Maximize(&high, &a, &b), &high);
    EXPECT_EQ(low, D3DXVECTOR4(-1, -2, -3, -4));
    EXPECT_EQ(high, D3DXVECTOR4(1, 2, 3, 4));
}
