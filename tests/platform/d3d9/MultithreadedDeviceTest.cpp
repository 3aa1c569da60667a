// Devices made with D3DCREATE_MULTITHREADED on both backends, called from several threads at once: reference
// counts and the live-object report stay exact and the picture is what was drawn; draws and presents from a
// thread other than the device's maker show; a lock's pointer is written from another thread; the last release
// may come through a child on any thread; and one IDirect3D9 object serves several threads.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <latch>
#include <thread>
#include <vector>

#include "DrawTestSupport.h"
#include "platform/RunnerControl.h"
#include "platform/win32/Win32.h"

namespace tarn::d3d9::test {
namespace {

constexpr D3DCOLOR kRed = 0xffff0000, kGreen = 0xff00ff00, kBlue = 0xff0000ff, kWhite = 0xffffffff;

// Runs `work(index)` on `count` threads, started together, and waits for all of them.
template <typename Work>
void OnThreads(int count, Work work) {
    std::latch start(count);
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            work(i);
        });
    }
    for (std::thread& t : threads) t.join();
}

// The two triangles of a rectangle from x0 to x1 over the whole height of the 64 x 64 target.
void RectVertices(float x0, float x1, D3DCOLOR color, RhwColor* v) {
    const float h = 64.0f;
    v[0] = {x0, 0, 0.5f, 1, color};
    v[1] = {x1, 0, 0.5f, 1, color};
    v[2] = {x0, h, 0.5f, 1, color};
    v[3] = {x1, h, 0.5f, 1, color};
}

class MultithreadedDeviceTest : public DeviceTest, public ::testing::WithParamInterface<BackendKind> {
protected:
    BackendKind Backend() const override { return GetParam(); }
    DWORD Behavior() const override { return D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED; }
    // The null backend draws nothing: the picture is checked on the GL backend only.
    bool Draws() const { return GetParam() == BackendKind::Gl; }

    void DrawRect(float x0, float x1, D3DCOLOR color) {
        RhwColor v[4];
        RectVertices(x0, x1, color, v);
        device->SetFVF(kRhwColor);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwColor)), D3D_OK);
    }

    // The target's pixel at (x, y), read on the calling thread.
    std::uint32_t Pixel(int x, int y) {
        const std::vector<std::uint32_t> pixels = ReadTarget();
        return pixels.size() == kSize * kSize ? pixels[static_cast<std::size_t>(y) * kSize + x] & 0xffffff : ~0u;
    }
};

std::string BackendName(const ::testing::TestParamInfo<BackendKind>& info) {
    return info.param == BackendKind::Gl ? "Gl" : "Null";
}

// Workers make, fill, check and release buffers and textures, and take and drop references on objects they share,
// while another thread draws and presents frames through a state block and a buffer of its own. Without the lock,
// counts lose updates and the live-object lists break; without the context hand-over nothing is drawn.
TEST_P(MultithreadedDeviceTest, ConcurrentCallsKeepCountsAndPicture) {
    constexpr int kWorkers = 3, kFrames = 12, kTouches = 20;
    const int rounds = Draws() ? 60 : 400;  // the null backend's calls are quicker: more of them meet
    IDirect3DTexture9* shared = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &shared, nullptr), D3D_OK);
    IDirect3DVertexBuffer9* green = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(4 * sizeof(RhwColor), 0, kRhwColor, D3DPOOL_MANAGED, &green, nullptr), D3D_OK);
    void* bytes = nullptr;
    ASSERT_EQ(green->Lock(0, 0, &bytes, 0), D3D_OK);
    RectVertices(32, 64, kGreen, static_cast<RhwColor*>(bytes));
    green->Unlock();
    ASSERT_EQ(device->BeginStateBlock(), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetFVF(kRhwColor);
    IDirect3DStateBlock9* block = nullptr;
    ASSERT_EQ(device->EndStateBlock(&block), D3D_OK);

    std::vector<int> wrong(kWorkers + 1, 0);
    std::thread drawer([&] {
        int& bad = wrong[kWorkers];
        for (int frame = 0; frame < kFrames; ++frame) {
            bad += device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0) != D3D_OK;
            bad += device->BeginScene() != D3D_OK;
            bad += block->Apply() != D3D_OK;  // the setters it calls take the lock again
            RhwColor red[4];
            RectVertices(0, 32, kRed, red);
            bad += device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, red, sizeof(RhwColor)) != D3D_OK;
            bad += device->SetStreamSource(0, green, 0, sizeof(RhwColor)) != D3D_OK;
            bad += device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2) != D3D_OK;
            bad += device->SetStreamSource(0, nullptr, 0, 0) != D3D_OK;
            bad += device->EndScene() != D3D_OK;
            bad += device->Present(nullptr, nullptr, nullptr, nullptr) != D3D_OK;
        }
    });
    OnThreads(kWorkers, [&](int worker) {
        int& bad = wrong[worker];
        for (int round = 0; round < rounds; ++round) {
            const auto fill = static_cast<std::uint8_t>(worker * 64 + round);
            IDirect3DVertexBuffer9* vb = nullptr;
            if (device->CreateVertexBuffer(256, 0, 0, D3DPOOL_MANAGED, &vb, nullptr) != D3D_OK) {
                ++bad;
                continue;
            }
            void* data = nullptr;
            bad += vb->Lock(0, 0, &data, 0) != D3D_OK;
            std::memset(data, fill, 256);
            bad += vb->Unlock() != D3D_OK;
            bad += vb->Lock(0, 0, &data, D3DLOCK_READONLY) != D3D_OK;
            bad += static_cast<const std::uint8_t*>(data)[255] != fill;
            bad += vb->Unlock() != D3D_OK;
            bad += vb->SetPrivateData(IID_IDirect3DVertexBuffer9, &fill, 1, 0) != D3D_OK;
            IDirect3DResource9* resource = nullptr;
            bad += vb->QueryInterface(IID_IDirect3DResource9, reinterpret_cast<void**>(&resource)) != S_OK;
            bad += resource->Release() != 1u;
            bad += vb->Release() != 0u;

            IDirect3DTexture9* texture = nullptr;
            if (device->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr) != D3D_OK) {
                ++bad;
                continue;
            }
            D3DLOCKED_RECT locked{};
            bad += texture->LockRect(1, &locked, nullptr, 0) != D3D_OK;
            std::memset(locked.pBits, fill, 4 * 4 * 4);
            bad += texture->UnlockRect(1) != D3D_OK;
            IDirect3DSurface9* level = nullptr;
            bad += texture->GetSurfaceLevel(1, &level) != D3D_OK;
            IDirect3DDevice9* owner = nullptr;
            bad += level->GetDevice(&owner) != D3D_OK || owner != device;
            owner->Release();
            bad += level->Release() != 1u;  // a level's count is its texture's
            bad += texture->Release() != 0u;

            for (int i = 0; i < kTouches; ++i) {
                shared->AddRef();
                shared->Release();
                green->AddRef();
                green->Release();
                block->AddRef();
                block->Release();
            }
        }
    });
    drawer.join();
    for (int i = 0; i <= kWorkers; ++i) EXPECT_EQ(wrong[i], 0) << "thread " << i;

    EXPECT_EQ(shared->AddRef(), 2u);
    EXPECT_EQ(shared->Release(), 1u);
    EXPECT_EQ(green->AddRef(), 2u);
    EXPECT_EQ(green->Release(), 1u);
    EXPECT_EQ(device->AddRef(), 3u);  // the test's, the state block's and this one
    EXPECT_EQ(device->Release(), 2u);
    EXPECT_EQ(LiveResourceCount(device), 3u) << DescribeLiveResources(device);
    if (Draws()) {
        EXPECT_EQ(Pixel(1, 1), kRed & 0xffffff);
        EXPECT_EQ(Pixel(31, 62), kRed & 0xffffff);
        EXPECT_EQ(Pixel(32, 1), kGreen & 0xffffff);
        EXPECT_EQ(Pixel(63, 62), kGreen & 0xffffff);
    }
    EXPECT_EQ(block->Release(), 0u);
    EXPECT_EQ(green->Release(), 0u);
    EXPECT_EQ(shared->Release(), 0u);
}

// The device was made (and first drawn with) on this thread; a draw from another thread shows, and this thread
// then draws again over it. An additional chain with its own window, and the device itself, present from a
// third thread.
TEST_P(MultithreadedDeviceTest, DrawsAndPresentsFromOtherThreads) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0), D3D_OK);
    if (Draws()) {
        EXPECT_EQ(Pixel(40, 10), kBlue & 0xffffff);
    }
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    std::thread([&] {
        EXPECT_EQ(device->BeginScene(), D3D_OK);
        DrawRect(0, 32, kWhite);
        EXPECT_EQ(device->EndScene(), D3D_OK);
    }).join();
    if (Draws()) {
        EXPECT_EQ(Pixel(10, 10), kWhite & 0xffffff);
        EXPECT_EQ(Pixel(40, 10), kBlue & 0xffffff);
    }
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    DrawRect(32, 64, kRed);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    if (Draws()) {
        EXPECT_EQ(Pixel(10, 10), kWhite & 0xffffff);
        EXPECT_EQ(Pixel(40, 10), kRed & 0xffffff);
    }

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "multithreaded device test";
    RegisterClassExA(&wc);  // a second registration of the class fails harmlessly
    HWND window =
        CreateWindowExA(0, wc.lpszClassName, "chain", WS_POPUP, 8, 4, 16, 8, nullptr, nullptr, nullptr, nullptr);
    D3DPRESENT_PARAMETERS pp = DefaultPresentParameters(0, 0);
    pp.hDeviceWindow = window;
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(device->CreateAdditionalSwapChain(&pp, &chain), D3D_OK);
    const long chainFrames = tarn::platform::PresentedFrames(window);
    std::thread([&] {
        IDirect3DSurface9* back = nullptr;
        ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        EXPECT_EQ(device->ColorFill(back, nullptr, kGreen), D3D_OK);
        back->Release();
        EXPECT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr, 0), D3D_OK);
        EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }).join();
    EXPECT_EQ(tarn::platform::PresentedFrames(window), chainFrames + 1);
    D3DDISPLAYMODE mode{};
    d3d->GetAdapterDisplayMode(0, &mode);
    IDirect3DSurface9* shot = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(mode.Width, mode.Height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &shot,
                                                  nullptr),
              D3D_OK);
    ASSERT_EQ(chain->GetFrontBufferData(shot), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(shot->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    auto at = [&](int x, int y) {
        std::uint32_t p = 0;
        std::memcpy(&p, static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
        return p;
    };
    EXPECT_EQ(at(8, 4), kGreen);
    EXPECT_EQ(at(23, 11), kGreen);
    EXPECT_EQ(at(24, 4), 0xff000000u);
    shot->UnlockRect();
    shot->Release();
    EXPECT_EQ(chain->Release(), 0u);
    DestroyWindow(window);
}

// A lock taken on one thread is written through on a second and given back on a third: the data is what the
// second wrote, and the GL backend draws with it.
TEST_P(MultithreadedDeviceTest, LockedDataIsWrittenFromAnotherThread) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(
        device->CreateVertexBuffer(4 * sizeof(RhwColor), D3DUSAGE_WRITEONLY, kRhwColor, D3DPOOL_MANAGED, &vb, nullptr),
        D3D_OK);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    void* vertices = nullptr;
    D3DLOCKED_RECT texels{};
    std::thread([&] {
        EXPECT_EQ(vb->Lock(0, 0, &vertices, 0), D3D_OK);
        EXPECT_EQ(texture->LockRect(0, &texels, nullptr, 0), D3D_OK);
    }).join();
    ASSERT_NE(vertices, nullptr);
    ASSERT_NE(texels.pBits, nullptr);
    std::thread([&] {
        RectVertices(16, 48, kGreen, static_cast<RhwColor*>(vertices));
        for (int y = 0; y < 4; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(texels.pBits) + y * texels.Pitch);
            for (int x = 0; x < 4; ++x) row[x] = 0xff000000u | static_cast<std::uint32_t>(y * 4 + x);
        }
    }).join();
    std::thread([&] {
        EXPECT_EQ(vb->Unlock(), D3D_OK);
        EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    }).join();

    D3DLOCKED_RECT read{};
    ASSERT_EQ(texture->LockRect(0, &read, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::uint32_t last = 0;
    std::memcpy(&last, static_cast<const std::uint8_t*>(read.pBits) + 3 * read.Pitch + 12, 4);
    EXPECT_EQ(last, 0xff00000fu);
    texture->UnlockRect(0);
    if (Draws()) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        device->SetFVF(kRhwColor);
        device->SetStreamSource(0, vb, 0, sizeof(RhwColor));
        device->BeginScene();
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        device->EndScene();
        device->SetStreamSource(0, nullptr, 0, 0);
        EXPECT_EQ(Pixel(20, 30), kGreen & 0xffffff);
        EXPECT_EQ(Pixel(10, 30), kBlue & 0xffffff);
    }
    EXPECT_EQ(texture->Release(), 0u);
    EXPECT_EQ(vb->Release(), 0u);
}

// The device's last reference goes with a child's, on another thread: the device ends inside the child's call,
// which still holds (and then lets go of) the lock, and its backend goes with the context on that thread.
TEST_P(MultithreadedDeviceTest, LastReleaseThroughChildOnAnotherThread) {
    IDirect3DStateBlock9* block = nullptr;
    ASSERT_EQ(device->CreateStateBlock(D3DSBT_ALL, &block), D3D_OK);
    IDirect3DQuery9* query = nullptr;
    ASSERT_EQ(device->CreateQuery(D3DQUERYTYPE_EVENT, &query), D3D_OK);
    EXPECT_EQ(query->Issue(D3DISSUE_END), D3D_OK);
    EXPECT_EQ(device->Release(), 2u);
    device = nullptr;
    std::thread([&] {
        HRESULT passed = S_FALSE;
        for (int i = 0; i < 1000 && passed == S_FALSE; ++i) passed = query->GetData(nullptr, 0, D3DGETDATA_FLUSH);
        EXPECT_EQ(passed, S_OK);
        EXPECT_EQ(query->Release(), 0u);
        EXPECT_EQ(block->Release(), 0u);
    }).join();
}

// One IDirect3D9 object serves several threads at once: adapter queries answer alike, devices (multithreaded or
// not) come and go, and the object's own count stays exact.
TEST_P(MultithreadedDeviceTest, Direct3DObjectServesSeveralThreads) {
    const int rounds = Draws() ? 2 : 40;
    D3DCAPS9 expected{};
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &expected), D3D_OK);
    const UINT modes = d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
    std::vector<int> wrong(3, 0);
    OnThreads(3, [&](int thread) {
        int& bad = wrong[thread];
        for (int round = 0; round < rounds; ++round) {
            D3DCAPS9 caps{};
            bad += d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps) != D3D_OK ||
                   caps.MaxTextureWidth != expected.MaxTextureWidth;
            bad += d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8) != modes;
            D3DDISPLAYMODE mode{};
            bad += d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 0, &mode) != D3D_OK;
            bad += d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8) !=
                   D3D_OK;
            for (int i = 0; i < 2000; ++i) {
                d3d->AddRef();
                d3d->Release();
            }
            const DWORD flags = D3DCREATE_HARDWARE_VERTEXPROCESSING | (round % 2 ? D3DCREATE_MULTITHREADED : 0);
            IDirect3DDevice9* made = CreateTestDevice(d3d, 16, 16, D3DFMT_UNKNOWN, flags);
            if (!made) {
                ++bad;
                continue;
            }
            bad += made->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1.0f, 0) != D3D_OK;
            IDirect3D9* parent = nullptr;
            bad += made->GetDirect3D(&parent) != D3D_OK || parent != d3d;
            parent->Release();
            bad += made->Release() != 0u;
        }
    });
    for (int i = 0; i < 3; ++i) EXPECT_EQ(wrong[i], 0) << "thread " << i;
    EXPECT_EQ(d3d->AddRef(), 3u);  // the test's, its device's and this one
    EXPECT_EQ(d3d->Release(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Backends, MultithreadedDeviceTest, ::testing::Values(BackendKind::Null, BackendKind::Gl),
                         BackendName);

}  // namespace
}  // namespace tarn::d3d9::test
