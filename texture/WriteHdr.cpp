// Radiance RGBE files: the "#?RADIANCE" header, a top-down resolution line and one scanline per row, each pixel a
// shared exponent and three mantissas. Rows of 8 to 32767 pixels use the adaptive run-length form (each channel
// in turn, here as literal packets of up to 128 bytes), as readers expect of such widths; other widths are flat.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ImageWriter.h"

namespace tarn::texture {

namespace {

void ToRgbe(const float* rgb, BYTE* rgbe) {
    // Negative values and NaN store as 0, infinity as the largest value the exponent can hold.
    const auto clamp = [](float c) { return c > 0 ? std::fmin(c, 1.7e38f) : 0.0f; };
    const float r = clamp(rgb[0]), g = clamp(rgb[1]), b = clamp(rgb[2]);
    const float v = std::fmax(r, std::fmax(g, b));
    if (!(v >= 1e-32f)) {
        std::memset(rgbe, 0, 4);
        return;
    }
    int exponent = 0;
    const float mantissa = std::frexp(v, &exponent);  // v = mantissa * 2^exponent
    const float scale = mantissa * 256.0f / v;
    rgbe[0] = static_cast<BYTE>(std::fmin(r * scale, 255.0f));
    rgbe[1] = static_cast<BYTE>(std::fmin(g * scale, 255.0f));
    rgbe[2] = static_cast<BYTE>(std::fmin(b * scale, 255.0f));
    rgbe[3] = static_cast<BYTE>(exponent + 128);
}

}  // namespace

HRESULT WriteHdr(const SavedImage& image, std::vector<BYTE>& out) {
    std::vector<BYTE> pixels;
    UINT pitch = 0;
    if (const HRESULT hr = ConvertTopImage(image, D3DFMT_A32B32G32R32F, pixels, pitch); FAILED(hr)) return hr;
    const UINT width = image.Top().width, height = image.Top().height;
    char header[96];
    std::snprintf(header, sizeof header, "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y %u +X %u\n", height, width);
    PutText(out, header);
    const bool runLength = width >= 8 && width <= 0x7FFF;
    std::vector<BYTE> row(static_cast<std::size_t>(width) * 4);
    for (UINT y = 0; y < height; ++y) {
        const auto* floats = reinterpret_cast<const float*>(pixels.data() + static_cast<std::size_t>(y) * pitch);
        for (UINT x = 0; x < width; ++x) ToRgbe(floats + static_cast<std::size_t>(x) * 4, &row[x * 4]);
        if (!runLength) {
            out.insert(out.end(), row.begin(), row.end());
            continue;
        }
        out.insert(out.end(), {2, 2, static_cast<BYTE>(width >> 8), static_cast<BYTE>(width & 0xFF)});
        for (UINT c = 0; c < 4; ++c) {
            for (UINT x = 0; x < width;) {
                const UINT count = width - x < 128 ? width - x : 128;
                out.push_back(static_cast<BYTE>(count));
                for (UINT i = 0; i < count; ++i) out.push_back(row[(x + i) * 4 + c]);
                x += count;
            }
        }
    }
    return S_OK;
}

}  // namespace tarn::texture
