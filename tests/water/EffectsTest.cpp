// The three screen-space effects against a recording device: the calls they make, in order, and the vertices,
// indices, texture transform and animation clocks they compute.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "tests/scene/CallRecordingDevice.h"
#include "water/ColorFilter.h"
#include "water/ImageWave.h"
#include "water/WaterImage.h"

using tarn::test::CallRecordingDevice;

namespace {

// The bytes behind a fake buffer of the recording device, whichever way it hands them out.
template <typename Buffer>
const std::uint8_t* BytesOf(Buffer* buffer) {
    if constexpr (requires { buffer->bytes().data(); })
        return buffer->bytes().data();
    else
        return buffer->bytes();
}

// ---- ColorFilter ----

TEST(ColorFilterTest, ChannelsClampRoundAndPackAsArgb) {
    struct Case {
        float value;
        DWORD expected;
    } const kCases[] = {{1.7f, 255}, {1.0f, 255}, {-0.2f, 0}, {0.0f, 0}, {0.5f, 128}, {0.002f, 1}, {0.001f, 0},
                        {0.3f, 77}};
    CallRecordingDevice device;
    ColorFilter filter;
    ASSERT_TRUE(filter.Create(&device, 800, 600));
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.value);
        // The same conversion in every channel: put the value in one channel at a time.
        filter.SetColor(D3DXCOLOR(c.value, 0, 0, 0));
        EXPECT_EQ(filter.GetVertices()[0].diffuse, c.expected << 16);
        filter.SetColor(D3DXCOLOR(0, c.value, 0, 0));
        EXPECT_EQ(filter.GetVertices()[1].diffuse, c.expected << 8);
        filter.SetColor(D3DXCOLOR(0, 0, c.value, 0));
        EXPECT_EQ(filter.GetVertices()[2].diffuse, c.expected);
        filter.SetColor(D3DXCOLOR(0, 0, 0, c.value));
        EXPECT_EQ(filter.GetVertices()[3].diffuse, c.expected << 24);
    }
    filter.SetColor(D3DXCOLOR(0.0f, 0.0f, 0.3f, 1.0f));  // the demo's tint
    for (int i = 0; i < 4; ++i) EXPECT_EQ(filter.GetVertices()[i].diffuse, 0xFF00004Du);
}

TEST(ColorFilterTest, QuadCoversTheTargetTransparentUntilColoured) {
    CallRecordingDevice device;
    ColorFilter filter;
    ASSERT_TRUE(filter.Create(&device, 800, 600));
    const float xs[4] = {-0.5f, 799.5f, -0.5f, 799.5f}, ys[4] = {-0.5f, -0.5f, 599.5f, 599.5f};
    for (int i = 0; i < 4; ++i) {
        const ColorFilter::ColorVertex& v = filter.GetVertices()[i];
        EXPECT_EQ(v.x, xs[i]);
        EXPECT_EQ(v.y, ys[i]);
        EXPECT_EQ(v.z, 0.5f);
        EXPECT_EQ(v.rhw, 1.0f);
        EXPECT_EQ(v.diffuse, 0u);
    }
    EXPECT_TRUE(device.calls.empty()) << "Create touches no device state";
}

TEST(ColorFilterTest, RenderBlendsAdditivelyAndSwitchesBlendingOffAfterwards) {
    CallRecordingDevice device;
    ColorFilter filter;
    filter.Create(&device, 800, 600);
    device.name(filter.GetVertices(), "quad");
    filter.Render();
    const std::vector<std::string> expected = {
        "SetRenderState(27,1)", "SetRenderState(19,5)", "SetRenderState(20,2)", "SetTexture(0,null)",
        "SetFVF(68)",           "DrawPrimitiveUP(5,2,quad,20)", "SetRenderState(27,0)"};
    EXPECT_EQ(device.calls, expected);
}

// ---- ImageWave ----

struct WaveFixture : ::testing::Test {
    CallRecordingDevice device;
    ImageWave wave;
    void SetUp() override {
        wavePhase = 0.0f;
        // Create() needs a render-target texture; the buffers alone come from the recording device.
        ASSERT_TRUE(CreateBuffersOnly());
    }
    void TearDown() override {
        wave.Release();
        EXPECT_EQ(device.liveBuffers, 0);
    }
    bool CreateBuffersOnly() {
        // Create stores the device first and fails at the texture (the recording device creates none); the buffers
        // are then made explicitly.
        EXPECT_FALSE(wave.Create(D3DFMT_X8R8G8B8, &device, 800, 600));
        return wave.CreateBuffers();
    }
    std::vector<ImageWave::WaveVertex> Vertices() {
        auto* buffer = static_cast<tarn::test::FakeVertexBuffer*>(wave.GetVertexBuffer());
        std::vector<ImageWave::WaveVertex> v(100);
        std::memcpy(v.data(), BytesOf(buffer), ImageWave::kVertexBytes);
        return v;
    }
};

TEST_F(WaveFixture, BuffersAndIndicesFollowTheGridLayout) {
    EXPECT_EQ(device.calls[device.calls.size() - 2], "CreateVertexBuffer(2400,0,260,1)");
    EXPECT_EQ(device.calls.back(), "CreateIndexBuffer(1200,8,101,1)");
    auto* indices = static_cast<tarn::test::FakeIndexBuffer*>(wave.GetIndexBuffer());
    const auto* p = reinterpret_cast<const WORD*>(BytesOf(indices));
    // Cell (row b, column a), column by column: base, base+1, base+10, base+10, base+1, base+11.
    std::size_t n = 0;
    for (int a = 0; a < 9; ++a)
        for (int b = 0; b < 9; ++b) {
            const int base = a + 10 * b;
            const int expected[6] = {base, base + 1, base + 10, base + 10, base + 1, base + 11};
            for (int e : expected) ASSERT_EQ(p[n++], e) << "entry " << n - 1;
        }
    EXPECT_EQ(n, 486u);
    for (; n < 600; ++n) EXPECT_EQ(p[n], 0) << "unused entry " << n << " is defined";
}

TEST_F(WaveFixture, FirstUpdateAdvancesThePhaseBeforeDisplacing) {
    ASSERT_TRUE(wave.Update());
    EXPECT_EQ(wavePhase, 0.02f);
    const auto v = Vertices();
    const float c = std::cos(0.02f), s = std::sin(0.02f);
    // Vertex (1, 1): odd row, odd column: -(5 (cos + 1), 5 (sin + 1)) from (800/9, 600/9).
    EXPECT_FLOAT_EQ(v[11].x, 1.0f * (800.0f * (1.0f / 9.0f)) - 5.0f * (c + 1.0f));
    EXPECT_FLOAT_EQ(v[11].y, 1.0f * (600.0f * (1.0f / 9.0f)) - 5.0f * (s + 1.0f));
}

// The phase drops a whole turn once it reaches 2 pi; the grid it draws is the one the unwrapped phase gives.
TEST_F(WaveFixture, PhaseWrapsAtAWholeTurnWithoutMovingTheGrid) {
    wavePhase = 6.27f;
    ASSERT_TRUE(wave.Update());
    EXPECT_NEAR(wavePhase, 6.29f - 2 * 3.14159265358979, 1e-6);
    const auto v = Vertices();
    const double c = std::cos(6.29), s = std::sin(6.29);
    EXPECT_NEAR(v[11].x, 800.0 / 9 - 5 * (c + 1), 1e-4);
    EXPECT_NEAR(v[11].y, 600.0 / 9 - 5 * (s + 1), 1e-4);
}

TEST_F(WaveFixture, DisplacementsAtPhaseZeroAndFixedBorder) {
    wavePhase = -0.02f;  // the Update below then computes with phase 0: cos 1, sin 0
    ASSERT_TRUE(wave.Update());
    const auto v = Vertices();
    const float k = 1.0f / 9.0f;
    auto rest = [&](int i, int j) { return std::pair<float, float>(j * (800.0f * k), i * (600.0f * k)); };
    struct Case {
        int i, j;
        float dx, dy;
    } const kCases[] = {{1, 1, -10, -5}, {2, 1, 10, 5}, {2, 2, 5, 0}, {1, 2, -5, 0}, {8, 8, 5, 0}, {7, 7, -10, -5}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "vertex (" << c.i << ", " << c.j << ")");
        const auto [x, y] = rest(c.i, c.j);
        EXPECT_NEAR(v[10 * c.i + c.j].x - x, c.dx, 1e-4f);
        EXPECT_NEAR(v[10 * c.i + c.j].y - y, c.dy, 1e-4f);
    }
    for (int n = 0; n < 10; ++n) {
        for (const auto& [i, j] : {std::pair{0, n}, std::pair{9, n}, std::pair{n, 0}, std::pair{n, 9}}) {
            const auto [x, y] = rest(i, j);
            EXPECT_EQ(v[10 * i + j].x, x) << i << "," << j;
            EXPECT_EQ(v[10 * i + j].y, y) << i << "," << j;
        }
    }
    for (const ImageWave::WaveVertex& w : v) {
        EXPECT_EQ(w.z, 0.0f);
        EXPECT_EQ(w.rhw, 0.0f);
    }
    // The far corner rests on (800, 600) with texture coordinates (1, 1), within float rounding.
    EXPECT_NEAR(v[99].x, 800.0f, 1e-3f);
    EXPECT_NEAR(v[99].y, 600.0f, 1e-3f);
    EXPECT_NEAR(v[99].u, 1.0f, 1e-6f);
    EXPECT_NEAR(v[99].v, 1.0f, 1e-6f);
    EXPECT_EQ(v[45].u, 5 * k);  // texture coordinates stay on the regular grid
    EXPECT_EQ(v[45].v, 4 * k);
}

TEST_F(WaveFixture, RenderUpdatesThenDrawsTheGridWithItsOwnBuffers) {
    device.name(wave.GetVertexBuffer(), "vb");
    device.name(wave.GetIndexBuffer(), "ib");
    device.clear();
    wave.Render();
    wave.Render();
    EXPECT_FLOAT_EQ(wavePhase, 0.04f);
    const std::vector<std::string> once = {"SetTexture(0,null)", "SetStreamSource(0,vb,0,24)", "SetIndices(ib)",
                                           "SetFVF(260)", "DrawIndexedPrimitive(4,0,0,100,0,162)"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(device.calls, twice);
}

TEST_F(WaveFixture, ReleaseFreesBothBuffers) {
    EXPECT_EQ(device.liveBuffers, 2);
    wave.Release();
    EXPECT_EQ(device.liveBuffers, 0);
    EXPECT_EQ(wave.GetVertexBuffer(), nullptr);
    EXPECT_EQ(wave.GetIndexBuffer(), nullptr);
    wave.Release();  // a second release finds nothing to free
}

TEST_F(WaveFixture, FailedCaptureHoldsNoTargetAndEndCaptureIsAlwaysTrue) {
    device.clear();
    EXPECT_FALSE(wave.BeginCapture());  // the recording device has no render target to give
    EXPECT_FALSE(wave.HoldsSavedTarget());
    EXPECT_TRUE(wave.EndCapture());
    const std::vector<std::string> expected = {"GetRenderTarget(0,ptr)", "SetRenderTarget(0,null)"};
    EXPECT_EQ(device.calls, expected);
}

// ---- CTRWaterImage ----

D3DXMATRIX Projection() {
    D3DXMATRIX p;
    D3DXMatrixPerspectiveFovLH(&p, 0.785398185f, 800.0f / 600.0f, 2.0f, 1000.0f);
    return p;
}

TEST(WaterImageTest, CreateStopsAtTheFirstMissingFrame) {
    CallRecordingDevice device;  // creates no textures: frame 0 already fails
    CTRWaterImage water;
    EXPECT_FALSE(water.Create(&device));
    EXPECT_EQ(water.GetFrame(0), nullptr);
    EXPECT_TRUE(device.callsStartingWith("SetSamplerState").empty()) << "no state is set after a failed load";
    EXPECT_TRUE(device.callsStartingWith("SetRenderState").empty());
    water.Release();
}

TEST(WaterImageTest, BeginAndEndSetTheDocumentedStagesAndBlending) {
    causticClock = 0.0f;
    CallRecordingDevice device;
    CTRWaterImage water;
    water.Create(&device);
    device.clear();
    const D3DXMATRIX projection = Projection();
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    water.Begin(1.0f / 60.0f, &projection, &world);
    const std::vector<std::string> begin = {
        "SetTextureStageState(1,11,131072)", "SetTextureStageState(1,24,260)", "SetTransform(17,ptr)",
        "SetTexture(1,null)",
        "SetTextureStageState(0,1,4)",       "SetTextureStageState(0,2,2)",    "SetTextureStageState(0,3,0)",
        "SetTextureStageState(1,1,4)",       "SetTextureStageState(1,2,2)",    "SetTextureStageState(1,3,1)",
        "SetRenderState(27,1)",              "SetRenderState(19,5)",           "SetRenderState(20,6)"};
    EXPECT_EQ(device.calls, begin);
    device.clear();
    water.End();
    const std::vector<std::string> end = {"SetRenderState(19,2)",          "SetRenderState(20,1)",
                                          "SetTextureStageState(0,1,2)",   "SetTextureStageState(0,2,2)",
                                          "SetTextureStageState(1,1,1)",   "SetTextureStageState(1,4,1)",
                                          "SetTextureStageState(1,11,0)"};
    EXPECT_EQ(device.calls, end);
}

// The texture transform carries a camera-space position back to the world, into the light's view and projection;
// after the projective divide, a point on the floor y = 0 lands at (0.4 x', -0.4 y') / z' of its light-view
// coordinates (x', y', z'), whatever the camera.
TEST(WaterImageTest, TextureTransformProjectsWorldPointsFromTheLight) {
    CallRecordingDevice device;
    CTRWaterImage water;
    water.Create(&device);
    D3DXMATRIX view;
    const D3DXVECTOR3 eye(200.0f, 80.0f, 0.0f), at(0.0f, 1.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMATRIX world;
    ASSERT_NE(D3DXMatrixInverse(&world, nullptr, &view), nullptr);
    const D3DXMATRIX projection = Projection();
    water.Begin(0.0f, &projection, &world);
    ASSERT_EQ(device.transforms.size(), 1u);
    const D3DXMATRIX t(device.transforms[0]);

    D3DXMATRIX light;
    const D3DXVECTOR3 lightEye(1.0f, 100.0f, 0.0f), origin(0.0f, 0.0f, 0.0f);
    D3DXMatrixLookAtLH(&light, &lightEye, &origin, &up);
    for (const D3DXVECTOR3& p : {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(50, 0, -30), D3DXVECTOR3(-120, 7, 80)}) {
        D3DXVECTOR4 cameraSpace, texcoord, lightSpace;
        D3DXVec3Transform(&cameraSpace, &p, &view);
        D3DXVec4Transform(&texcoord, &cameraSpace, &t);
        D3DXVec3Transform(&lightSpace, &p, &light);
        EXPECT_NEAR(texcoord.x / texcoord.w, 0.4f * lightSpace.x / lightSpace.z, 1e-4f);
        EXPECT_NEAR(texcoord.y / texcoord.w, -0.4f * lightSpace.y / lightSpace.z, 1e-4f);
    }
}

// 32 tiny caustic frames in a directory of their own, made the current directory while the test runs, and a
// recording device in front of a null-backend device that loads them; the frames are named caust0 ... caust31
// in the call log.
class CausticFrames : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testing::TempDir() + "caustic-frames-" + std::to_string(getpid());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir + "/Water");
        // A 2 x 2 top-left-origin 32-bit TGA.
        const std::uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0x28};
        const std::uint8_t pixels[16] = {};
        for (int i = 0; i < CTRWaterImage::kFrames; ++i) {
            std::ofstream out(dir + "/Water/caust" + std::to_string(i) + ".tga", std::ios::binary);
            out.write(reinterpret_cast<const char*>(header), sizeof header);
            out.write(reinterpret_cast<const char*>(pixels), sizeof pixels);
        }
        previous = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        inner = tarn::d3d9::CreateNullDevice(64, 64);
        ASSERT_NE(inner, nullptr);
        device = std::make_unique<CallRecordingDevice>(inner);
        ASSERT_TRUE(water.Create(device.get()));
        for (int i = 0; i < CTRWaterImage::kFrames; ++i)
            device->name(water.GetFrame(i), "caust" + std::to_string(i));
    }
    void TearDown() override {
        water.Release();
        device.reset();
        if (inner) {
            inner->SetTexture(1, nullptr);
            EXPECT_EQ(inner->Release(), 0u);
        }
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
    }
    // The texture Begin bound to stage 1, as named in the log.
    std::string BeginAndBoundFrame(float elapsed) {
        const D3DXMATRIX projection = Projection();
        D3DXMATRIX world;
        D3DXMatrixIdentity(&world);
        device->clear();
        water.Begin(elapsed, &projection, &world);
        const auto bound = device->callsStartingWith("SetTexture(1,");
        if (bound.size() != 1) return std::to_string(bound.size()) + " calls";
        const std::string& call = bound[0];  // SetTexture(1,name)
        return std::string(call.begin() + call.find(',') + 1, call.end() - 1);
    }

    std::string dir;
    std::filesystem::path previous;
    IDirect3DDevice9* inner = nullptr;
    std::unique_ptr<CallRecordingDevice> device;
    CTRWaterImage water;
};

// Frames 1/60 s apart advance the clock by 1/3: after frame k (counting from 1) stage 1 shows caust(k / 3),
// each image for three frames, in order, and the cycle of 32 images takes 1.6 s.
TEST_F(CausticFrames, StageOneShowsEachImageForThreeFramesAndLoops) {
    causticClock = 0.0f;
    for (int k = 1; k <= 99; ++k) {
        const std::string bound = BeginAndBoundFrame(1.0f / 60.0f);
        // Where the clock should reach a whole number the float sum may fall just short and keep the previous
        // image one frame longer; away from those boundaries the image is exact.
        const std::string exact = "caust" + std::to_string((k / 3) % 32);
        const std::string previousImage = "caust" + std::to_string((k / 3 + 31) % 32);
        if (k % 3 == 0)
            EXPECT_TRUE(bound == exact || bound == previousImage) << "frame " << k << ": " << bound;
        else
            EXPECT_EQ(bound, exact) << "frame " << k;
    }
    causticClock = 0.0f;
    for (int n = 0; n < 95; ++n) BeginAndBoundFrame(1.6f / 96.0f);
    EXPECT_EQ(BeginAndBoundFrame(1.6f / 96.0f + 1e-4f), "caust0") << "a whole cycle after the start";
    EXPECT_LT(causticClock, 1.0f);
    // Past the end of the cycle the clock drops the whole cycle and the images start again.
    causticClock = 31.9f;
    EXPECT_EQ(BeginAndBoundFrame(0.01f), "caust0");
    EXPECT_NEAR(causticClock, 0.1f, 1e-5f);
    causticClock = 31.9f;
    EXPECT_EQ(BeginAndBoundFrame(1.6f + 0.01f), "caust0") << "more than a whole cycle in one frame";
}

// Both clocks stay within one cycle, so after days of frames at 60 fps they still advance by their exact
// steps (a float clock left to grow stops resolving 1/3 of an image and 0.02 radian long before that).
TEST(DemoClocks, KeepTheirPaceAfterDaysOfFrames) {
    constexpr long kFrames = 60L * 60 * 60 * 24 * 9 / 2;  // four and a half days at 60 fps
    float clock = 0.0f, phase = 0.0f;
    for (long n = 0; n < kFrames; ++n) {
        clock = AdvanceCausticClock(clock, 1.0f / 60.0f);
        phase = AdvanceWavePhase(phase);
    }
    for (int n = 0; n < 300; ++n) {
        ASSERT_GE(clock, 0.0f);
        ASSERT_LT(clock, 32.0f);
        ASSERT_GE(phase, 0.0f);
        ASSERT_LT(phase, 6.2832f);
        const float nextClock = AdvanceCausticClock(clock, 1.0f / 60.0f);
        const float nextPhase = AdvanceWavePhase(phase);
        ASSERT_NEAR(std::fmod(nextClock - clock + 32.0f, 32.0f), 1.0f / 3.0f, 1e-4f) << n;
        ASSERT_NEAR(std::fmod(nextPhase - phase + 6.28318548f, 6.28318548f), 0.02f, 1e-5f) << n;
        clock = nextClock;
        phase = nextPhase;
    }
    // Odd elapsed times never leave the cycle or give an image index outside it.
    for (float elapsed : {-0.5f, -1e-9f, 1e6f, std::nanf("")}) {
        const float c = AdvanceCausticClock(3.0f, elapsed);
        EXPECT_TRUE(c >= 0.0f && c < 32.0f) << elapsed << " gives " << c;
    }
}

}  // namespace
