// Texture creation and filtering beside baselines measured in the same run on the same data:
//  (a) TopDown:     D3DXCreateTextureFromFileInMemoryEx with defaults, 2048 x 2048 32-bit top-down TGA, managed
//                   A8R8G8B8 with its full chain  vs  Baseline_MemcpyBoxChain (one 16 MiB copy + a plain scalar
//                   2 x 2 box chain). Target: at most 1.5 x.
//  (a') TopDownFromFile: the same file loaded by name from disk (D3DXCreateTextureFromFileExA: the file is
//                   mapped and decoded from the view)  vs  Baseline_MemcpyBoxChain. Target: at most 1.5 x.
//  (b) BottomUp / RunLength: the same from a bottom-up and a run-length file  vs  Baseline_StbDecodeBoxChain_*
//                   (stb_image's decode + the same box chain). Target: at least 2 x faster.
//  (c) FilterTextureBox: D3DXFilterTexture's box chain on that texture  vs  Baseline_BoxChain. Target: <= 1.2 x.
//  (d) TriangleResample: 1000 x 600 -> 1024 x 1024 triangle filter through D3DXLoadSurfaceFromMemory  vs
//                   Baseline_StbirTriangle (stb_image_resize, triangle filter, same data). Target: not slower.
//  (e) DitherToR5G6B5: A8R8G8B8 -> R5G6B5 with dither, 2048 x 2048, in Mpix/s.
//  (f) CubeDxt1: D3DXCreateCubeTextureFromFileInMemoryEx on a DXT1 cube DDS of six 512 x 512 faces with their
//                   full chains, managed  vs  Baseline_SixDxt1Textures (the same six faces as six 2D DXT1 DDS files
//                   through D3DXCreateTextureFromFileInMemoryEx, all six kept until the last is loaded, as the cube
//                   keeps its faces). Target: at most 1.1 x. For reference, Baseline_SixDxt1TexturesEachReleased
//                   releases each texture before loading the next, so that every load writes memory the one before
//                   left in cache, which one cube of six faces cannot do.
//  (g) FilterVolumeBox: D3DXFilterTexture's box chain on a 128 x 128 x 128 A8R8G8B8 volume texture  vs
//                   Baseline_VolumeBoxChain (a plain scalar 2 x 2 x 2 box chain). Target: at most 1.5 x.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <stb/stb_image.h>
#include <stb/stb_image_resize.h>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"

namespace {

constexpr UINT kSize = 2048;

std::vector<BYTE> RandomishPixels(UINT w, UINT h) {
    // Smooth gradients with some noise: compressible by run-length coding in places, like real art.
    std::vector<BYTE> pixels(static_cast<std::size_t>(w) * h * 4);
    std::mt19937 rng(42);
    for (UINT y = 0; y < h; ++y) {
        for (UINT x = 0; x < w; ++x) {
            BYTE* p = &pixels[(static_cast<std::size_t>(y) * w + x) * 4];
            const bool flat = ((x / 64) + (y / 64)) % 3 == 0;
            p[0] = flat ? 40 : static_cast<BYTE>(x + (rng() & 7));
            p[1] = flat ? 90 : static_cast<BYTE>(y + (rng() & 7));
            p[2] = flat ? 200 : static_cast<BYTE>((x ^ y) & 0xFF);
            p[3] = 255;
        }
    }
    return pixels;
}

std::vector<BYTE> TgaHeader(UINT w, UINT h, BYTE type, BYTE descriptor) {
    return {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<BYTE>(w), static_cast<BYTE>(w >> 8),
            static_cast<BYTE>(h), static_cast<BYTE>(h >> 8), 32, descriptor};
}

struct Files {
    std::vector<BYTE> pixels = RandomishPixels(kSize, kSize);
    std::vector<BYTE> topDown, bottomUp, runLength;
    Files() {
        const std::size_t row = kSize * 4;
        topDown = TgaHeader(kSize, kSize, 2, 0x28);
        topDown.insert(topDown.end(), pixels.begin(), pixels.end());
        bottomUp = TgaHeader(kSize, kSize, 2, 0x08);
        for (UINT y = kSize; y-- > 0;) bottomUp.insert(bottomUp.end(), &pixels[y * row], &pixels[y * row] + row);
        runLength = TgaHeader(kSize, kSize, 10, 0x28);
        for (UINT y = 0; y < kSize; ++y) {
            const std::uint32_t* p = reinterpret_cast<const std::uint32_t*>(&pixels[y * row]);
            UINT x = 0;
            while (x < kSize) {
                UINT run = 1;
                while (x + run < kSize && run < 128 && p[x + run] == p[x]) ++run;
                if (run > 1) {
                    runLength.push_back(static_cast<BYTE>(0x80 | (run - 1)));
                    runLength.insert(runLength.end(), reinterpret_cast<const BYTE*>(p + x),
                                     reinterpret_cast<const BYTE*>(p + x) + 4);
                } else {
                    UINT raw = 1;
                    while (x + raw < kSize && raw < 128 && p[x + raw] != p[x + raw - 1]) ++raw;
                    runLength.push_back(static_cast<BYTE>(raw - 1));
                    runLength.insert(runLength.end(), reinterpret_cast<const BYTE*>(p + x),
                                     reinterpret_cast<const BYTE*>(p + x + raw));
                    run = raw;
                }
                x += run;
            }
        }
    }
};

const Files& TheFiles() {
    static const Files files;
    return files;
}

IDirect3DDevice9* Device() {
    static IDirect3DDevice9* device = tarn::d3d9::CreateNullDevice(16, 16);
    return device;
}

// The plain scalar 2 x 2 box chain of the baselines: every level into freshly allocated memory.
void PlainBoxChain(const BYTE* level0, UINT size, std::vector<std::unique_ptr<BYTE[]>>& levels) {
    levels.clear();
    const BYTE* src = level0;
    for (UINT s = size; s > 1; s /= 2) {
        const UINT d = s / 2;
        std::unique_ptr<BYTE[]> dst(new BYTE[static_cast<std::size_t>(d) * d * 4]);
        for (UINT y = 0; y < d; ++y) {
            const BYTE* r0 = src + static_cast<std::size_t>(2 * y) * s * 4;
            const BYTE* r1 = r0 + static_cast<std::size_t>(s) * 4;
            BYTE* out = dst.get() + static_cast<std::size_t>(y) * d * 4;
            for (UINT x = 0; x < d; ++x) {
                for (UINT c = 0; c < 4; ++c) {
                    out[4 * x + c] =
                        static_cast<BYTE>((r0[8 * x + c] + r0[8 * x + 4 + c] + r1[8 * x + c] + r1[8 * x + 4 + c] + 2) >> 2);
                }
            }
        }
        src = dst.get();
        levels.push_back(std::move(dst));
    }
}

void LoadTga(benchmark::State& state, const std::vector<BYTE>& file) {
    IDirect3DDevice9* device = Device();
    for (auto _ : state) {
        IDirect3DTexture9* texture = nullptr;
        if (FAILED(D3DXCreateTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()),
                                                       D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                                       D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                                       nullptr, &texture))) {
            state.SkipWithError("loading failed");
            break;
        }
        benchmark::DoNotOptimize(texture);
        texture->Release();
    }
}

void TopDown(benchmark::State& state) { LoadTga(state, TheFiles().topDown); }
void BottomUp(benchmark::State& state) { LoadTga(state, TheFiles().bottomUp); }
void RunLength(benchmark::State& state) { LoadTga(state, TheFiles().runLength); }

// The top-down file on disk, removed at exit.
struct TopDownOnDisk {
    std::string path;
    TopDownOnDisk() {
        char name[] = "/tmp/tarn-texture-bench-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) return;
        const std::vector<BYTE>& file = TheFiles().topDown;
        const bool written = ::write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size());
        ::close(fd);
        path = name;
        if (!written) Remove();
    }
    ~TopDownOnDisk() { Remove(); }
    void Remove() {
        if (!path.empty()) std::remove(path.c_str());
        path.clear();
    }
};

const std::string& TopDownPath() {
    static TopDownOnDisk file;
    return file.path;
}

void TopDownFromFile(benchmark::State& state) {
    IDirect3DDevice9* device = Device();
    const std::string& path = TopDownPath();
    for (auto _ : state) {
        IDirect3DTexture9* texture = nullptr;
        if (path.empty() ||
            FAILED(D3DXCreateTextureFromFileExA(device, path.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                nullptr, nullptr, &texture))) {
            state.SkipWithError("loading failed");
            break;
        }
        benchmark::DoNotOptimize(texture);
        texture->Release();
    }
}

void Baseline_MemcpyBoxChain(benchmark::State& state) {
    const std::vector<BYTE>& file = TheFiles().topDown;
    std::vector<std::unique_ptr<BYTE[]>> levels;
    for (auto _ : state) {
        std::unique_ptr<BYTE[]> level0(new BYTE[static_cast<std::size_t>(kSize) * kSize * 4]);
        std::memcpy(level0.get(), file.data() + 18, static_cast<std::size_t>(kSize) * kSize * 4);
        PlainBoxChain(level0.get(), kSize, levels);
        benchmark::DoNotOptimize(levels.back().get());
    }
}

void StbDecodeBoxChain(benchmark::State& state, const std::vector<BYTE>& file) {
    std::vector<std::unique_ptr<BYTE[]>> levels;
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        stbi_uc* decoded = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 4);
        if (decoded == nullptr) {
            state.SkipWithError("stb_image failed");
            break;
        }
        PlainBoxChain(decoded, kSize, levels);
        benchmark::DoNotOptimize(levels.back().get());
        stbi_image_free(decoded);
    }
}
void Baseline_StbDecodeBoxChain_BottomUp(benchmark::State& state) { StbDecodeBoxChain(state, TheFiles().bottomUp); }
void Baseline_StbDecodeBoxChain_RunLength(benchmark::State& state) {
    StbDecodeBoxChain(state, TheFiles().runLength);
}

void FilterTextureBox(benchmark::State& state) {
    IDirect3DDevice9* device = Device();
    const std::vector<BYTE>& file = TheFiles().topDown;
    IDirect3DTexture9* texture = nullptr;
    D3DXCreateTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT,
                                        D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                        D3DX_DEFAULT, 0, nullptr, nullptr, &texture);
    for (auto _ : state) {
        if (FAILED(D3DXFilterTexture(texture, nullptr, 0, D3DX_FILTER_BOX))) {
            state.SkipWithError("filtering failed");
            break;
        }
    }
    texture->Release();
}

void Baseline_BoxChain(benchmark::State& state) {
    const std::vector<BYTE>& pixels = TheFiles().pixels;
    std::vector<std::unique_ptr<BYTE[]>> levels;
    for (auto _ : state) {
        PlainBoxChain(pixels.data(), kSize, levels);
        benchmark::DoNotOptimize(levels.back().get());
    }
}

constexpr UINT kResampleWidth = 1000, kResampleHeight = 600, kResampleTo = 1024;

void TriangleResample(benchmark::State& state) {
    IDirect3DDevice9* device = Device();
    const std::vector<BYTE> pixels = RandomishPixels(kResampleWidth, kResampleHeight);
    IDirect3DTexture9* texture = nullptr;
    D3DXCreateTexture(device, kResampleTo, kResampleTo, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture);
    IDirect3DSurface9* surface = nullptr;
    texture->GetSurfaceLevel(0, &surface);
    const RECT source = {0, 0, kResampleWidth, kResampleHeight};
    for (auto _ : state) {
        if (FAILED(D3DXLoadSurfaceFromMemory(surface, nullptr, nullptr, pixels.data(), D3DFMT_A8R8G8B8,
                                             kResampleWidth * 4, nullptr, &source, D3DX_FILTER_TRIANGLE, 0))) {
            state.SkipWithError("resampling failed");
            break;
        }
    }
    surface->Release();
    texture->Release();
}

void Baseline_StbirTriangle(benchmark::State& state) {
    const std::vector<BYTE> pixels = RandomishPixels(kResampleWidth, kResampleHeight);
    std::vector<BYTE> out(static_cast<std::size_t>(kResampleTo) * kResampleTo * 4);
    for (auto _ : state) {
        stbir_resize_uint8_generic(pixels.data(), kResampleWidth, kResampleHeight, kResampleWidth * 4, out.data(),
                                   kResampleTo, kResampleTo, kResampleTo * 4, 4, 3, 0, STBIR_EDGE_WRAP,
                                   STBIR_FILTER_TRIANGLE, STBIR_COLORSPACE_LINEAR, nullptr);
        benchmark::DoNotOptimize(out.data());
    }
}

void DitherToR5G6B5(benchmark::State& state) {
    IDirect3DDevice9* device = Device();
    const std::vector<BYTE>& pixels = TheFiles().pixels;
    IDirect3DTexture9* texture = nullptr;
    D3DXCreateTexture(device, kSize, kSize, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture);
    IDirect3DSurface9* surface = nullptr;
    texture->GetSurfaceLevel(0, &surface);
    const RECT source = {0, 0, kSize, kSize};
    for (auto _ : state) {
        if (FAILED(D3DXLoadSurfaceFromMemory(surface, nullptr, nullptr, pixels.data(), D3DFMT_A8R8G8B8, kSize * 4,
                                             nullptr, &source, D3DX_FILTER_NONE | D3DX_FILTER_DITHER, 0))) {
            state.SkipWithError("conversion failed");
            break;
        }
    }
    state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kSize * kSize / 1e6,
                                                  benchmark::Counter::kIsRate);
    surface->Release();
    texture->Release();
}

constexpr UINT kCubeSize = 512;
constexpr UINT kCubeLevels = 10;  // 512 ... 1

// DXT1 data of one face with its full chain; random blocks (the loader copies them unchanged).
std::vector<BYTE> Dxt1Chain(std::uint32_t seed) {
    std::size_t bytes = 0;
    for (UINT s = kCubeSize; s >= 1; s /= 2) bytes += static_cast<std::size_t>((s + 3) / 4) * ((s + 3) / 4) * 8;
    std::vector<BYTE> data(bytes);
    std::mt19937 rng(seed);
    for (BYTE& b : data) b = static_cast<BYTE>(rng());
    return data;
}

std::vector<BYTE> Dxt1Dds(const std::vector<BYTE>& data, bool cube) {
    std::vector<BYTE> file(128 + data.size(), 0);
    auto put = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<BYTE>(v >> (8 * i));
    };
    std::memcpy(file.data(), "DDS ", 4);
    put(4, 124);
    put(8, 0x21007);  // caps, height, width, pixel format, mip-map count
    put(12, kCubeSize);
    put(16, kCubeSize);
    put(28, kCubeLevels);
    put(76, 32);
    put(80, 0x4);
    std::memcpy(&file[84], "DXT1", 4);
    put(108, 0x401008);
    put(112, cube ? 0xFE00 : 0);
    std::memcpy(file.data() + 128, data.data(), data.size());
    return file;
}

struct CubeFiles {
    std::vector<BYTE> cube;
    std::vector<BYTE> faces[6];
    CubeFiles() {
        std::vector<BYTE> all;
        for (int f = 0; f < 6; ++f) {
            const std::vector<BYTE> chain = Dxt1Chain(100 + f);
            faces[f] = Dxt1Dds(chain, false);
            all.insert(all.end(), chain.begin(), chain.end());
        }
        cube = Dxt1Dds(all, true);
    }
};

const CubeFiles& TheCubeFiles() {
    static const CubeFiles files;
    return files;
}

void CubeDxt1(benchmark::State& state) {
    IDirect3DDevice9* device = Device();
    const std::vector<BYTE>& file = TheCubeFiles().cube;
    for (auto _ : state) {
        IDirect3DCubeTexture9* cube = nullptr;
        if (FAILED(D3DXCreateCubeTextureFromFileInMemoryEx(
                device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &cube)) ||
            cube->GetLevelCount() != kCubeLevels) {
            state.SkipWithError("loading failed");
            break;
        }
        benchmark::DoNotOptimize(cube);
        cube->Release();
    }
}

// The six textures stay alive until all six are loaded, as the six faces of the cube do: both sides then hold
// the same amount of texture memory at once.
void Baseline_SixDxt1Textures(benchmark::State& state) {
    IDirect3DDevice9* device = Device();
    const CubeFiles& files = TheCubeFiles();
    for (auto _ : state) {
        IDirect3DTexture9* textures[6] = {};
        bool failed = false;
        for (int f = 0; f < 6 && !failed; ++f) {
            const std::vector<BYTE>& file = files.faces[f];
            failed = FAILED(D3DXCreateTextureFromFileInMemoryEx(
                device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &textures[f]));
        }
        benchmark::DoNotOptimize(textures);
        for (IDirect3DTexture9* texture : textures) {
            if (texture != nullptr) texture->Release();
        }
        if (failed) {
            state.SkipWithError("loading failed");
            break;
        }
    }
}

void Baseline_SixDxt1TexturesEachReleased(benchmark::State& state) {
    IDirect3DDevice9* device = Device();
    const CubeFiles& files = TheCubeFiles();
    for (auto _ : state) {
        for (const std::vector<BYTE>& file : files.faces) {
            IDirect3DTexture9* texture = nullptr;
            if (FAILED(D3DXCreateTextureFromFileInMemoryEx(
                    device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                    D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture))) {
                state.SkipWithError("loading failed");
                return;
            }
            benchmark::DoNotOptimize(texture);
            texture->Release();
        }
    }
}

constexpr UINT kVolumeSize = 128;

void FilterVolumeBox(benchmark::State& state) {
    IDirect3DDevice9* device = Device();
    IDirect3DVolumeTexture9* volume = nullptr;
    if (FAILED(D3DXCreateVolumeTexture(device, kVolumeSize, kVolumeSize, kVolumeSize, D3DX_DEFAULT, 0, D3DFMT_A8R8G8B8,
                                       D3DPOOL_MANAGED, &volume))) {
        state.SkipWithError("no volume texture");
        return;
    }
    const std::vector<BYTE> pixels = RandomishPixels(kVolumeSize, kVolumeSize * kVolumeSize);
    D3DLOCKED_BOX locked;
    volume->LockBox(0, &locked, nullptr, 0);
    for (UINT z = 0; z < kVolumeSize; ++z) {
        for (UINT y = 0; y < kVolumeSize; ++y) {
            std::memcpy(static_cast<BYTE*>(locked.pBits) + static_cast<std::size_t>(z) * locked.SlicePitch +
                            static_cast<std::size_t>(y) * locked.RowPitch,
                        &pixels[(static_cast<std::size_t>(z) * kVolumeSize + y) * kVolumeSize * 4], kVolumeSize * 4);
        }
    }
    volume->UnlockBox(0);
    for (auto _ : state) {
        if (FAILED(D3DXFilterTexture(volume, nullptr, 0, D3DX_FILTER_BOX))) {
            state.SkipWithError("filtering failed");
            break;
        }
    }
    volume->Release();
}

// The plain scalar 2 x 2 x 2 box chain: every level into freshly allocated memory.
void Baseline_VolumeBoxChain(benchmark::State& state) {
    const std::vector<BYTE> pixels = RandomishPixels(kVolumeSize, kVolumeSize * kVolumeSize);
    std::vector<std::unique_ptr<BYTE[]>> levels;
    for (auto _ : state) {
        levels.clear();
        const BYTE* src = pixels.data();
        for (UINT s = kVolumeSize; s > 1; s /= 2) {
            const UINT d = s / 2;
            const std::size_t row = static_cast<std::size_t>(s) * 4, slice = row * s;
            std::unique_ptr<BYTE[]> dst(new BYTE[static_cast<std::size_t>(d) * d * d * 4]);
            for (UINT z = 0; z < d; ++z) {
                for (UINT y = 0; y < d; ++y) {
                    const BYTE* r0 = src + 2 * z * slice + 2 * y * row;
                    const BYTE* r1 = r0 + row;
                    const BYTE* r2 = r0 + slice;
                    const BYTE* r3 = r2 + row;
                    BYTE* out = dst.get() + (static_cast<std::size_t>(z) * d + y) * d * 4;
                    for (UINT x = 0; x < d; ++x) {
                        for (UINT c = 0; c < 4; ++c) {
                            const UINT i = 8 * x + c;
                            out[4 * x + c] = static_cast<BYTE>(
                                (r0[i] + r0[i + 4] + r1[i] + r1[i + 4] + r2[i] + r2[i + 4] + r3[i] + r3[i + 4] + 4) >>
                                3);
                        }
                    }
                }
            }
            src = dst.get();
            levels.push_back(std::move(dst));
        }
        benchmark::DoNotOptimize(levels.back().get());
    }
}

}  // namespace

BENCHMARK(TopDown)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_MemcpyBoxChain)->Unit(benchmark::kMillisecond);
BENCHMARK(TopDownFromFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BottomUp)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_StbDecodeBoxChain_BottomUp)->Unit(benchmark::kMillisecond);
BENCHMARK(RunLength)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_StbDecodeBoxChain_RunLength)->Unit(benchmark::kMillisecond);
BENCHMARK(FilterTextureBox)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_BoxChain)->Unit(benchmark::kMillisecond);
BENCHMARK(TriangleResample)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_StbirTriangle)->Unit(benchmark::kMillisecond);
BENCHMARK(DitherToR5G6B5)->Unit(benchmark::kMillisecond);
BENCHMARK(CubeDxt1)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_SixDxt1Textures)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_SixDxt1TexturesEachReleased)->Unit(benchmark::kMillisecond);
BENCHMARK(FilterVolumeBox)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_VolumeBoxChain)->Unit(benchmark::kMillisecond);
// Every case allocates its level memory anew on each iteration. Keep freed memory in the process for both sides,
// so that neither pays the kernel's page faults for memory the other gets back from the heap.
int main(int argc, char** argv) {
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
