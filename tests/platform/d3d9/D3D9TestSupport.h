// Shared fixture for the Direct3D layer tests: a headless 64 x 64 device on the chosen backend, pixel read-back
// through GetRenderTargetData, and the leak check every test ends with.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "platform/d3d9/D3D9.h"
#include "D3D9TestDevice.h"
#include "Formats.h"

namespace tarn::d3d9::test {

class DeviceTest : public ::testing::Test {
protected:
    virtual BackendKind Backend() const { return BackendKind::Null; }
    virtual const char* ProfileName() const { return "default"; }
    // The behaviour flags the device is made with.
    virtual DWORD Behavior() const { return D3DCREATE_HARDWARE_VERTEXPROCESSING; }

    void SetUp() override {
        SetBackend(Backend());
        ASSERT_TRUE(SetProfile(ProfileName()));
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        HRESULT created = E_FAIL;
        device = CreateTestDevice(d3d, kSize, kSize, D3DFMT_D16, Behavior(), &created);
        ASSERT_EQ(created, D3D_OK);
    }

    void TearDown() override {
        if (device) {
            EXPECT_EQ(TakeGlErrors(device), 0u);
            EXPECT_EQ(LiveResourceCount(device), 0u) << DescribeLiveResources(device);
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d) {
            EXPECT_EQ(d3d->Release(), 0u);
        }
        SetProfile(nullptr);
        ResetBackend();
    }

    // The current render target, in any colour format, as 0xAARRGGBB values (decoded by the layer's codec and
    // rounded to 8 bits), row 0 first.
    std::vector<std::uint32_t> ReadTarget() {
        IDirect3DSurface9* target = nullptr;
        if (FAILED(device->GetRenderTarget(0, &target))) return {};
        auto pixels = ReadSurface(target);
        target->Release();
        return pixels;
    }

    // The same for any render-target surface (empty when GetRenderTargetData refuses it).
    std::vector<std::uint32_t> ReadSurface(IDirect3DSurface9* target) {
        std::vector<std::uint32_t> pixels;
        D3DSURFACE_DESC desc;
        target->GetDesc(&desc);
        IDirect3DSurface9* copy = nullptr;
        device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr);
        if (copy && SUCCEEDED(device->GetRenderTargetData(target, copy))) {
            D3DLOCKED_RECT locked;
            if (SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
                std::vector<float> row(static_cast<std::size_t>(desc.Width) * 4);
                auto byte = [](float v) {
                    return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
                };
                for (UINT y = 0; y < desc.Height; ++y) {
                    DecodeRow(desc.Format, static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch,
                              desc.Width, row.data());
                    for (UINT x = 0; x < desc.Width; ++x) {
                        const float* p = &row[static_cast<std::size_t>(x) * 4];
                        pixels.push_back(byte(p[3]) << 24 | byte(p[0]) << 16 | byte(p[1]) << 8 | byte(p[2]));
                    }
                }
                copy->UnlockRect();
            }
        }
        if (copy) copy->Release();
        return pixels;
    }

    static constexpr UINT kSize = 64;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
};

class GlDeviceTest : public DeviceTest {
protected:
    BackendKind Backend() const override { return BackendKind::Gl; }
};

// Switches the GL backend's state cache on for a test that counts the calls it saves, whatever
// TARN_D3D9_STATE_CACHE says for the run, and back to what it was afterwards.
class StateCacheOn {
public:
    StateCacheOn() : wasOn_(StateCacheEnabled()) { SetStateCacheEnabled(true); }
    ~StateCacheOn() { SetStateCacheEnabled(wasOn_); }
    StateCacheOn(const StateCacheOn&) = delete;
    StateCacheOn& operator=(const StateCacheOn&) = delete;

private:
    bool wasOn_;
};

}  // namespace tarn::d3d9::test
