// Reader and block-codec speed beside a baseline measured in the same run on the same bytes:
//  - PNG:  ReadImage of a 2048 x 2048 RGBA file against libpng's plain decode (no transformations, rows in memory),
//          into one reused buffer and into a fresh buffer per decode (the reader always hands out a new image).
//  - JPEG: ReadImage of a 2048 x 2048 quality-90 RGB file against the library's plain scanline decode with the
//          same DCT method.
//  - DXT1/DXT5: decoding 2048 x 2048 into D3DFMT_A8R8G8B8 through the block codec, both by its direct route
//          (Codec_Direct*) and by the whole transfer core (BlitImage: rows of four floats, then the A8R8G8B8
//          encoder), against libsquish's single-threaded DecompressImage (when the build found it); the row decode
//          alone is Codec_DecodeRows*.
//  - BMP (24-bit bottom-up) and run-length HDR: ReadImage against stb_image.
// Ratios are read off the benchmark names: Ours_X / Baseline_X.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_HDR
#include <stb/stb_image.h>

#ifdef TARN_BENCH_HAVE_SQUISH
#include <squish.h>
#endif

#include "math/D3DXMath.h"
#include "BlitImage.h"
#include "BlockCodec.h"
#include "BlockCodecBlocks.h"
#include "ImageReader.h"

using namespace tarn::texture;

namespace {

constexpr int kSize = 2048;
using Bytes = std::vector<unsigned char>;

// A picture with smooth gradients, edges and some noise, as RGBA bytes: compresses like a real texture.
const Bytes& Picture() {
    static const Bytes pixels = [] {
        Bytes p(std::size_t{kSize} * kSize * 4);
        unsigned seed = 12345;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                seed = seed * 1103515245u + 12345u;
                const int noise = static_cast<int>((seed >> 16) & 15) - 8;
                unsigned char* q = &p[(std::size_t{static_cast<unsigned>(y)} * kSize + x) * 4];
                const double fx = x / 64.0, fy = y / 48.0;
                q[0] = static_cast<unsigned char>(std::clamp(128 + 100 * std::sin(fx) + noise, 0.0, 255.0));
                q[1] = static_cast<unsigned char>(std::clamp(128 + 100 * std::cos(fy + fx * 0.3) + noise, 0.0, 255.0));
                q[2] = static_cast<unsigned char>(((x / 128 + y / 128) & 1) ? 220 : 40);
                q[3] = static_cast<unsigned char>(std::clamp(255 - (x + y) / 16 + noise, 0, 255));
            }
        return p;
    }();
    return pixels;
}

// ---- PNG ----

void Append(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

const Bytes& PngFile() {
    static const Bytes file = [] {
        Bytes out;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(png, &out, Append, nullptr);
        png_set_IHDR(png, info, kSize, kSize, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < kSize; ++y) png_write_row(png, Picture().data() + std::size_t{static_cast<unsigned>(y)} * kSize * 4);
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        return out;
    }();
    return file;
}

struct Reader {
    const Bytes* file;
    size_t pos;
};
void ReadMemory(png_structp png, png_bytep out, size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (n > r->file->size() - r->pos) png_error(png, "read error");
    std::memcpy(out, r->file->data() + r->pos, n);
    r->pos += n;
}

// `freshBuffer`: the decode allocates the memory it fills, as a reader handing out a new image must; otherwise one
// buffer serves every iteration.
void Baseline_Png(benchmark::State& state, bool freshBuffer) {
    const Bytes& file = PngFile();
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[std::size_t{kSize} * kSize * 4]);
    std::vector<png_bytep> rows(kSize);
    for (auto _ : state) {
        if (freshBuffer) buffer.reset(new unsigned char[std::size_t{kSize} * kSize * 4]);
        unsigned char* pixels = buffer.get();
        for (int y = 0; y < kSize; ++y) rows[y] = pixels + std::size_t{static_cast<unsigned>(y)} * kSize * 4;
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        Reader r{&file, 0};
        png_set_read_fn(png, &r, ReadMemory);
        png_read_info(png, info);
        png_read_update_info(png, info);
        png_read_image(png, rows.data());
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(pixels);
    }
}
void Baseline_Png(benchmark::State& state) { Baseline_Png(state, false); }
void Baseline_PngFreshBuffer(benchmark::State& state) { Baseline_Png(state, true); }

void Ours_Png(benchmark::State& state) {
    const Bytes& file = PngFile();
    for (auto _ : state) {
        DecodedImage image;
        if (ReadImage(image, file.data(), static_cast<UINT>(file.size()), nullptr, true) != S_OK)
            state.SkipWithError("ReadImage failed");
        benchmark::DoNotOptimize(image.pixels);
    }
}

// ---- JPEG ----

const Bytes& JpegFile() {
    static const Bytes file = [] {
        jpeg_compress_struct c;
        jpeg_error_mgr e;
        c.err = jpeg_std_error(&e);
        jpeg_create_compress(&c);
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&c, &buffer, &size);
        c.image_width = kSize;
        c.image_height = kSize;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 90, TRUE);
        jpeg_start_compress(&c, TRUE);
        Bytes row(kSize * 3);
        while (c.next_scanline < kSize) {
            const unsigned char* src = Picture().data() + std::size_t{c.next_scanline} * kSize * 4;
            for (int x = 0; x < kSize; ++x) std::memcpy(&row[x * 3], src + x * 4, 3);
            JSAMPROW r = row.data();
            jpeg_write_scanlines(&c, &r, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        Bytes out(buffer, buffer + size);
        std::free(buffer);
        return out;
    }();
    return file;
}

void Baseline_Jpeg(benchmark::State& state, bool freshBuffer) {
    const Bytes& file = JpegFile();
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[std::size_t{kSize} * kSize * 3]);
    for (auto _ : state) {
        if (freshBuffer) buffer.reset(new unsigned char[std::size_t{kSize} * kSize * 3]);
        unsigned char* pixels = buffer.get();
        jpeg_decompress_struct d;
        jpeg_error_mgr e;
        d.err = jpeg_std_error(&e);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, file.data(), file.size());
        jpeg_read_header(&d, TRUE);
        if (UseMmx() == 0) d.dct_method = JDCT_IFAST;  // the same method the reader chooses
        jpeg_start_decompress(&d);
        while (d.output_scanline < d.output_height) {
            JSAMPROW r = pixels + std::size_t{d.output_scanline} * kSize * 3;
            jpeg_read_scanlines(&d, &r, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        benchmark::DoNotOptimize(pixels);
    }
}
void Baseline_Jpeg(benchmark::State& state) { Baseline_Jpeg(state, false); }
void Baseline_JpegFreshBuffer(benchmark::State& state) { Baseline_Jpeg(state, true); }

void Ours_Jpeg(benchmark::State& state) {
    const Bytes& file = JpegFile();
    for (auto _ : state) {
        DecodedImage image;
        if (ReadImage(image, file.data(), static_cast<UINT>(file.size()), nullptr, true) != S_OK)
            state.SkipWithError("ReadImage failed");
        benchmark::DoNotOptimize(image.pixels);
    }
}

// ---- DXT ----

const Bytes& DxtData(bool dxt5) {
    static Bytes data[2];
    Bytes& out = data[dxt5];
    if (out.empty()) {
        const int blocks = kSize / 4;
        const int bytes = dxt5 ? 16 : 8;
        out.resize(std::size_t{static_cast<unsigned>(blocks)} * blocks * bytes);
        float px[64];
        for (int by = 0; by < blocks; ++by)
            for (int bx = 0; bx < blocks; ++bx) {
                for (int i = 0; i < 16; ++i) {
                    const unsigned char* s =
                        Picture().data() + (std::size_t{static_cast<unsigned>(by * 4 + i / 4)} * kSize + bx * 4 + i % 4) * 4;
                    for (int c = 0; c < 4; ++c) px[i * 4 + c] = s[c] / 255.0f;
                }
                unsigned char* b = &out[(std::size_t{static_cast<unsigned>(by)} * blocks + bx) * bytes];
                dxt5 ? tarn::texture::blocks::EncodeDxt5(b, px) : tarn::texture::blocks::EncodeDxt1(b, px);
            }
    }
    return out;
}

void Ours_Dxt(benchmark::State& state, bool dxt5) {
    Bytes& src = const_cast<Bytes&>(DxtData(dxt5));
    Bytes dst(std::size_t{kSize} * kSize * 4);
    ImageDesc s, d;
    s.memory = src.data();
    s.format = dxt5 ? D3DFMT_DXT5 : D3DFMT_DXT1;
    s.rowPitch = kSize / 4 * (dxt5 ? 16 : 8);
    s.slicePitch = s.rowPitch * (kSize / 4);
    s.box = {0, 0, kSize, kSize, 0, 1};
    d.memory = dst.data();
    d.format = D3DFMT_A8R8G8B8;
    d.rowPitch = kSize * 4;
    d.slicePitch = d.rowPitch * kSize;
    d.box = s.box;
    for (auto _ : state) {
        if (BlitImage(d, s, D3DX_FILTER_NONE) != S_OK) state.SkipWithError("BlitImage failed");
        benchmark::DoNotOptimize(dst.data());
    }
}
// The decode side alone: every row of the image through the block codec's row cache into four floats.
void Codec_DecodeRows(benchmark::State& state, bool dxt5) {
    Bytes& src = const_cast<Bytes&>(DxtData(dxt5));
    ImageDesc s;
    s.memory = src.data();
    s.format = dxt5 ? D3DFMT_DXT5 : D3DFMT_DXT1;
    s.rowPitch = kSize / 4 * (dxt5 ? 16 : 8);
    s.slicePitch = s.rowPitch * (kSize / 4);
    s.box = {0, 0, kSize, kSize, 0, 1};
    std::vector<Float4> row(kSize);
    for (auto _ : state) {
        auto codec = CreatePixelCodec(s);
        for (UINT y = 0; y < kSize; ++y) codec->DecodeRow(y, 0, row.data());
        benchmark::DoNotOptimize(row.data());
    }
}
void Codec_DecodeRowsDxt1(benchmark::State& state) { Codec_DecodeRows(state, false); }
void Codec_DecodeRowsDxt5(benchmark::State& state) { Codec_DecodeRows(state, true); }
BENCHMARK(Codec_DecodeRowsDxt1)->Unit(benchmark::kMillisecond);
BENCHMARK(Codec_DecodeRowsDxt5)->Unit(benchmark::kMillisecond);

// The codec's direct route from blocks to A8R8G8B8 bytes (the same bytes as the row path).
void Codec_Direct(benchmark::State& state, bool dxt5) {
    Bytes& src = const_cast<Bytes&>(DxtData(dxt5));
    Bytes dst(std::size_t{kSize} * kSize * 4);
    ImageDesc s;
    s.memory = src.data();
    s.format = dxt5 ? D3DFMT_DXT5 : D3DFMT_DXT1;
    s.rowPitch = kSize / 4 * (dxt5 ? 16 : 8);
    s.slicePitch = s.rowPitch * (kSize / 4);
    s.box = {0, 0, kSize, kSize, 0, 1};
    for (auto _ : state) {
        DecodeBlocksToA8R8G8B8(s, dst.data(), kSize * 4);
        benchmark::DoNotOptimize(dst.data());
    }
}
void Codec_DirectDxt1(benchmark::State& state) { Codec_Direct(state, false); }
void Codec_DirectDxt5(benchmark::State& state) { Codec_Direct(state, true); }
BENCHMARK(Codec_DirectDxt1)->Unit(benchmark::kMillisecond);
BENCHMARK(Codec_DirectDxt5)->Unit(benchmark::kMillisecond);

void Ours_Dxt1(benchmark::State& state) { Ours_Dxt(state, false); }
void Ours_Dxt5(benchmark::State& state) { Ours_Dxt(state, true); }

#ifdef TARN_BENCH_HAVE_SQUISH
void Baseline_Dxt(benchmark::State& state, bool dxt5) {
    const Bytes& src = DxtData(dxt5);
    Bytes dst(std::size_t{kSize} * kSize * 4);
    for (auto _ : state) {
        squish::DecompressImage(dst.data(), kSize, kSize, src.data(), dxt5 ? squish::kDxt5 : squish::kDxt1);
        benchmark::DoNotOptimize(dst.data());
    }
}
void Baseline_Dxt1(benchmark::State& state) { Baseline_Dxt(state, false); }
void Baseline_Dxt5(benchmark::State& state) { Baseline_Dxt(state, true); }
BENCHMARK(Baseline_Dxt1)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_Dxt5)->Unit(benchmark::kMillisecond);
#endif

// ---- BMP and HDR against stb_image ----

const Bytes& BmpFile() {
    static const Bytes file = [] {
        const std::uint32_t stride = kSize * 3, bytes = stride * kSize;
        Bytes b(54 + bytes);
        auto put32 = [&](std::size_t at, std::uint32_t v) { for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i)); };
        b[0] = 'B', b[1] = 'M';
        put32(2, static_cast<std::uint32_t>(b.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, kSize);
        put32(22, kSize);  // positive: bottom-up
        b[26] = 1, b[28] = 24;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const unsigned char* s = Picture().data() + (std::size_t{static_cast<unsigned>(y)} * kSize + x) * 4;
                unsigned char* q = &b[54 + std::size_t{static_cast<unsigned>(y)} * stride + x * 3];
                q[0] = s[2], q[1] = s[1], q[2] = s[0];
            }
        return b;
    }();
    return file;
}

const Bytes& HdrFile() {
    static const Bytes file = [] {
        const char header[] = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2048 +X 2048\n";
        Bytes b(header, header + sizeof(header) - 1);
        Bytes plane(kSize);
        for (int y = 0; y < kSize; ++y) {
            b.insert(b.end(), {2, 2, kSize >> 8, kSize & 255});
            for (int c = 0; c < 4; ++c) {
                const unsigned char* row = Picture().data() + std::size_t{static_cast<unsigned>(y)} * kSize * 4;
                for (int x = 0; x < kSize; ++x) plane[x] = c == 3 ? static_cast<unsigned char>(128 + (x / 512)) : row[x * 4 + c];
                // Runs where the plane repeats, literals elsewhere, as a writer would.
                int x = 0;
                while (x < kSize) {
                    int run = 1;
                    while (x + run < kSize && run < 127 && plane[x + run] == plane[x]) ++run;
                    if (run >= 4) {
                        b.push_back(static_cast<unsigned char>(128 + run));
                        b.push_back(plane[x]);
                        x += run;
                        continue;
                    }
                    int lit = 0;
                    while (x + lit < kSize && lit < 128) {
                        int r = 1;
                        while (x + lit + r < kSize && r < 4 && plane[x + lit + r] == plane[x + lit]) ++r;
                        if (r >= 4) break;
                        ++lit;
                    }
                    b.push_back(static_cast<unsigned char>(lit));
                    b.insert(b.end(), plane.begin() + x, plane.begin() + x + lit);
                    x += lit;
                }
            }
        }
        return b;
    }();
    return file;
}

void Ours_Bmp(benchmark::State& state) {
    const Bytes& file = BmpFile();
    for (auto _ : state) {
        DecodedImage image;
        if (ReadImage(image, file.data(), static_cast<UINT>(file.size()), nullptr, true) != S_OK)
            state.SkipWithError("ReadImage failed");
        benchmark::DoNotOptimize(image.pixels);
    }
}

void Baseline_Bmp(benchmark::State& state) {
    const Bytes& file = BmpFile();
    for (auto _ : state) {
        int w, h, n;
        unsigned char* p = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 0);
        if (!p) state.SkipWithError("stb_image failed");
        benchmark::DoNotOptimize(p);
        stbi_image_free(p);
    }
}

void Ours_Hdr(benchmark::State& state) {
    const Bytes& file = HdrFile();
    for (auto _ : state) {
        DecodedImage image;
        if (ReadImage(image, file.data(), static_cast<UINT>(file.size()), nullptr, true) != S_OK)
            state.SkipWithError("ReadImage failed");
        benchmark::DoNotOptimize(image.pixels);
    }
}

void Baseline_Hdr(benchmark::State& state) {
    const Bytes& file = HdrFile();
    for (auto _ : state) {
        int w, h, n;
        float* p = stbi_loadf_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 4);
        if (!p) state.SkipWithError("stb_image failed");
        benchmark::DoNotOptimize(p);
        stbi_image_free(p);
    }
}

}  // namespace

BENCHMARK(Baseline_Png)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_PngFreshBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(Ours_Png)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_Jpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_JpegFreshBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(Ours_Jpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(Ours_Dxt1)->Unit(benchmark::kMillisecond);
BENCHMARK(Ours_Dxt5)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_Bmp)->Unit(benchmark::kMillisecond);
BENCHMARK(Ours_Bmp)->Unit(benchmark::kMillisecond);
BENCHMARK(Baseline_Hdr)->Unit(benchmark::kMillisecond);
BENCHMARK(Ours_Hdr)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
