// The adapter's display modes (the fixed headless set here), what CheckDeviceType answers for display and back
// buffer formats, full-screen modes CreateDevice takes, and drawing into 16-bit back buffers on both backends.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "D3D9TestSupport.h"

namespace tarn::d3d9::test {
namespace {

class DisplayModesTest : public DeviceTest {};

TEST_F(DisplayModesTest, HeadlessModesAreTheFixedSetInOrder) {
    const UINT sizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}, {1600, 900}, {1920, 1080}};
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
        SCOPED_TRACE(FormatName(format));
        ASSERT_EQ(d3d->GetAdapterModeCount(0, format), 7u);
        for (UINT i = 0; i < 7; ++i) {
            D3DDISPLAYMODE mode{};
            ASSERT_EQ(d3d->EnumAdapterModes(0, format, i, &mode), D3D_OK);
            EXPECT_EQ(mode.Width, sizes[i][0]);
            EXPECT_EQ(mode.Height, sizes[i][1]);
            EXPECT_EQ(mode.RefreshRate, 60u);
            EXPECT_EQ(mode.Format, format);
        }
        D3DDISPLAYMODE mode{};
        EXPECT_EQ(d3d->EnumAdapterModes(0, format, 7, &mode), D3DERR_INVALIDCALL);
        EXPECT_EQ(d3d->EnumAdapterModes(0, format, 0, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(d3d->EnumAdapterModes(1, format, 0, &mode), D3DERR_INVALIDCALL);
    }
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_X1R5G5B5), 0u);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_A8R8G8B8), 0u);  // not a display format
    EXPECT_EQ(d3d->GetAdapterModeCount(1, D3DFMT_X8R8G8B8), 0u);
    D3DDISPLAYMODE mode{};
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_A8R8G8B8, 0, &mode), D3DERR_NOTAVAILABLE);
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 1920u);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
}

TEST_F(DisplayModesTest, CheckDeviceTypeTellsWhichFormatsPresent) {
    struct Case {
        D3DFORMAT display, backBuffer;
        BOOL windowed;
        HRESULT expected;
    } cases[] = {
        {D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE, D3D_OK},
        {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, TRUE, D3D_OK},
        {D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN, TRUE, D3D_OK},
        // Windowed, presenting converts a 16-bit back buffer to the desktop's format.
        {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, TRUE, D3D_OK},
        {D3DFMT_X8R8G8B8, D3DFMT_X1R5G5B5, TRUE, D3D_OK},
        {D3DFMT_X8R8G8B8, D3DFMT_A1R5G5B5, TRUE, D3D_OK},
        {D3DFMT_R5G6B5, D3DFMT_R5G6B5, TRUE, D3DERR_NOTAVAILABLE},  // the desktop is not 16-bit
        {D3DFMT_X8R8G8B8, D3DFMT_A4R4G4B4, TRUE, D3DERR_NOTAVAILABLE},
        // Full screen, the back buffer matches the display format (or adds alpha).
        {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, FALSE, D3D_OK},
        {D3DFMT_R5G6B5, D3DFMT_R5G6B5, FALSE, D3D_OK},
        {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, FALSE, D3DERR_NOTAVAILABLE},
        {D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, FALSE, D3DERR_NOTAVAILABLE},  // no 15-bit modes
        {D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN, FALSE, D3DERR_NOTAVAILABLE},
        {D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, FALSE, D3DERR_NOTAVAILABLE},  // not a display format
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(FormatName(c.display)) + " / " + FormatName(c.backBuffer) +
                     (c.windowed ? " windowed" : " full screen"));
        EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, c.display, c.backBuffer, c.windowed), c.expected);
    }
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceType(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE), D3DERR_INVALIDCALL);
}

// Full screen takes a listed mode only; windowed devices name no refresh rate.
TEST_F(DisplayModesTest, FullScreenTakesListedModes) {
    struct Case {
        UINT width, height, refresh;
        D3DFORMAT format;
        HRESULT expected;
    } cases[] = {
        {800, 600, 0, D3DFMT_X8R8G8B8, D3D_OK},
        {800, 600, 60, D3DFMT_A8R8G8B8, D3D_OK},
        {640, 480, 0, D3DFMT_R5G6B5, D3D_OK},
        {801, 600, 0, D3DFMT_X8R8G8B8, D3DERR_INVALIDCALL},
        {800, 600, 75, D3DFMT_X8R8G8B8, D3DERR_INVALIDCALL},
        {800, 600, 0, D3DFMT_X1R5G5B5, D3DERR_NOTAVAILABLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " " + FormatName(c.format));
        D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(c.width, c.height);
        pp.Windowed = FALSE;
        pp.BackBufferFormat = c.format;
        pp.FullScreen_RefreshRateInHz = c.refresh;
        EXPECT_EQ(device->Reset(&pp), SUCCEEDED(c.expected) ? D3D_OK : D3DERR_INVALIDCALL);
        IDirect3DDevice9* other = nullptr;
        pp.hDeviceWindow = GetDesktopWindow();
        EXPECT_EQ(
            d3d->CreateDevice(0, D3DDEVTYPE_HAL, GetDesktopWindow(), D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &other),
            c.expected);
        if (other) other->Release();
    }
    D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(kSize, kSize, D3DFMT_D16);
    pp.FullScreen_RefreshRateInHz = 60;
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    pp.FullScreen_RefreshRateInHz = 0;
    EXPECT_EQ(device->Reset(&pp), D3D_OK);
}

// 16-bit back buffers draw, and read back in their own format (exact encodings of what was drawn).
class SixteenBitBackBufferTest : public DeviceTest, public ::testing::WithParamInterface<BackendKind> {
protected:
    BackendKind Backend() const override { return GetParam(); }
};

TEST_P(SixteenBitBackBufferTest, DrawsAndReadsBackInItsFormat) {
    struct Case {
        D3DFORMAT format;
        std::uint16_t clear, drawn;  // 0xff336699 and 0xff8040c0 rounded to the format's channels
    } cases[] = {
        {D3DFMT_R5G6B5, 0x3333, 0x8217},
        {D3DFMT_X1R5G5B5, 0x9993, 0xc117},
        {D3DFMT_A1R5G5B5, 0x9993, 0xc117},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(FormatName(c.format));
        D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(16, 8);
        pp.BackBufferFormat = c.format;
        ASSERT_EQ(device->Reset(&pp), D3D_OK);
        IDirect3DSurface9* back = nullptr;
        ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        D3DSURFACE_DESC desc{};
        back->GetDesc(&desc);
        EXPECT_EQ(desc.Format, c.format);
        if (GetParam() == BackendKind::Gl) {
            struct Vertex {
                float x, y, z, rhw;
                D3DCOLOR color;
            } quad[4] = {{8, 0, 0, 1, 0xff8040c0},
                         {16, 0, 0, 1, 0xff8040c0},
                         {8, 8, 0, 1, 0xff8040c0},
                         {16, 8, 0, 1, 0xff8040c0}};
            ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff336699, 1.0f, 0), D3D_OK);
            device->SetRenderState(D3DRS_LIGHTING, FALSE);
            device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
            ASSERT_EQ(device->BeginScene(), D3D_OK);
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
            ASSERT_EQ(device->EndScene(), D3D_OK);
        } else {
            // The null backend draws nothing; its fills write memory.
            const RECT right{8, 0, 16, 8};
            ASSERT_EQ(device->ColorFill(back, nullptr, 0xff336699), D3D_OK);
            ASSERT_EQ(device->ColorFill(back, &right, 0xff8040c0), D3D_OK);
        }
        IDirect3DSurface9* copy = nullptr;
        ASSERT_EQ(device->CreateOffscreenPlainSurface(16, 8, c.format, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
        ASSERT_EQ(device->GetRenderTargetData(back, copy), D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        const auto* row =
            reinterpret_cast<const std::uint16_t*>(static_cast<const std::uint8_t*>(locked.pBits) + 4 * locked.Pitch);
        EXPECT_EQ(row[2], c.clear);
        EXPECT_EQ(row[12], c.drawn);
        copy->UnlockRect();
        copy->Release();
        back->Release();
        EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, SixteenBitBackBufferTest, ::testing::Values(BackendKind::Null, BackendKind::Gl),
                         [](const ::testing::TestParamInfo<BackendKind>& info) {
                             return std::string(info.param == BackendKind::Gl ? "Gl" : "Null");
                         });

}  // namespace
}  // namespace tarn::d3d9::test
