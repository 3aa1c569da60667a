// Small helpers for the reader tests: little-endian byte writers and a way to run one reader on bytes.
#pragma once

#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "platform/Bits.h"
#include "ImageReader.h"
#include "ResourceLimits.h"

namespace readers_test {

using namespace tarn::texture;

using Bytes = std::vector<BYTE>;

// Sets the image limits for one test and puts the previous ones back.
class ScopedLimits {
public:
    explicit ScopedLimits(const ImageLimits& limits) : previous_(SetImageLimits(limits)) {}
    ~ScopedLimits() { SetImageLimits(previous_); }
    ScopedLimits(const ScopedLimits&) = delete;
    ScopedLimits& operator=(const ScopedLimits&) = delete;

private:
    ImageLimits previous_;
};

inline void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<BYTE>(v));
    b.push_back(static_cast<BYTE>(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
inline void PutText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
inline void PutFloat(Bytes& b, float f) { Put32(b, tarn::FloatBits(f)); }
inline void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}

inline std::uint32_t Pixel32(const DecodedImage& img, UINT x, UINT y) {
    std::uint32_t v;
    std::memcpy(&v, img.pixels + std::size_t{y} * img.rowPitch + x * 4, 4);
    return v;
}
inline const float* PixelF4(const DecodedImage& img, UINT x, UINT y) {
    return reinterpret_cast<const float*>(img.pixels + std::size_t{y} * img.rowPitch + x * 16);
}

// Runs `reader` on `bytes` into `img` (which must be fresh), with pixels wanted unless told otherwise.
inline HRESULT ReadWith(ImageReaderFn reader, DecodedImage& img, const Bytes& bytes, bool wantPixels = true) {
    img.wantPixels = wantPixels;
    return reader(img, bytes.data(), static_cast<UINT>(bytes.size()));
}

// Memory the process holds in RAM now (resident set), from /proc/self/statm; 0 where that cannot be read.
inline std::uint64_t ResidentBytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0;
    unsigned long long size = 0, resident = 0;
    const int n = std::fscanf(f, "%llu %llu", &size, &resident);
    std::fclose(f);
    return n == 2 ? resident * 4096ull : 0;
}

// The most memory the process has held in RAM so far (peak resident set); catches memory taken and given back
// inside a call.
inline std::uint64_t PeakResidentBytes() {
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024u;
}

// Compresses `samples` (rows of `components` bytes per pixel) at quality 95, progressive or arithmetic-coded on
// request.
inline Bytes WriteJpeg(std::uint32_t width, std::uint32_t height, int components, J_COLOR_SPACE space,
                       const Bytes& samples, bool progressive = false, bool arithmetic = false) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    cinfo.arith_code = arithmetic;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < height) {
        JSAMPROW row = const_cast<BYTE*>(samples.data()) + std::size_t{cinfo.next_scanline} * width * components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

}  // namespace readers_test
