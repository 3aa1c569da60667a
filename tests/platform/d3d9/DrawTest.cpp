// Headless drawing on llvmpipe: pixels compared with values computed from the documented formulas.
#include "tests/platform/d3d9/D3D9TestSupport.h"

namespace tarn::d3d9::test {
namespace {

using DrawTest = GlDeviceTest;

TEST_F(DrawTest, ClearFillsTheViewportAndPresentKeepsIt) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00808080, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    auto pixels = ReadTarget();
    ASSERT_EQ(pixels.size(), kSize * kSize);
    EXPECT_EQ(pixels.front(), 0xff808080u);  // X8R8G8B8 reads with the padding byte set
    EXPECT_EQ(pixels.back(), 0xff808080u);
}

}  // namespace
}  // namespace tarn::d3d9::test
