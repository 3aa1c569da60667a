// A math call made while globals are initialised, before main: the first call selects the routine set, and
// every routine must work afterwards. This file is linked ahead of the library, so its globals are
// initialised first.
#include <gtest/gtest.h>

#include "RoutineTable.h"

using namespace tarn::math;

namespace {

D3DXMATRIX ProductBeforeMain() {
    D3DXMATRIX a, b, out;
    for (int i = 0; i < 16; ++i) {
        a.m[i / 4][i % 4] = i == 0 || i == 5 || i == 10 || i == 15 ? 1.0f : 0.0f;
        b.m[i / 4][i % 4] = static_cast<float>(i + 1);
    }
    a._41 = 2;  // a translation by 2 along x: row 3 of the product becomes 2 * row 0 of b + row 3 of b
    D3DXMatrixMultiply(&out, &a, &b);
    return out;
}

const D3DXMATRIX g_productBeforeMain = ProductBeforeMain();
const int g_setBeforeMain = mathRoutineSet;

}  // namespace

TEST(StaticInitialisation, MathCallBeforeMainSelectsAWholeTable) {
    EXPECT_NE(g_setBeforeMain, kMathSetNone) << "the call before main made the selection";
    EXPECT_EQ(g_productBeforeMain._11, 1.0f);
    EXPECT_EQ(g_productBeforeMain._44, 2 * 4.0f + 16.0f);
    EXPECT_EQ(g_productBeforeMain._41, 2 * 1.0f + 13.0f);
    EXPECT_EQ(g_productBeforeMain._42, 2 * 2.0f + 14.0f);
    // Routines outside the processor-specific sets come from the reference set that the selection copied.
    D3DXMATRIX scaling;
    EXPECT_EQ(D3DXMatrixScaling(&scaling, 2, 3, 4), &scaling);
    EXPECT_EQ(scaling._11, 2.0f);
    EXPECT_EQ(scaling._33, 4.0f);
    const auto* slots = reinterpret_cast<void* const*>(&g_mathRoutines);
    for (int i = 0; i < kMathRoutineSlots; ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i;
}
