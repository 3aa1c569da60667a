// Portable float maps: "PF" (red, green, blue as 32-bit floats), a negative scale for little-endian samples, rows
// from the bottom as the format stores them. Alpha has no place in the format and is dropped.
#include <cstdio>
#include <cstring>

#include "ImageWriter.h"

namespace tarn::texture {

HRESULT WritePfm(const SavedImage& image, std::vector<BYTE>& out) {
    std::vector<BYTE> pixels;
    UINT pitch = 0;
    if (const HRESULT hr = ConvertTopImage(image, D3DFMT_A32B32G32R32F, pixels, pitch); FAILED(hr)) return hr;
    const UINT width = image.Top().width, height = image.Top().height;
    char header[64];
    std::snprintf(header, sizeof header, "PF\n%u %u\n-1.0\n", width, height);
    PutText(out, header);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 12;
    std::size_t at = out.size();
    out.resize(at + rowBytes * height);
    // The host is little-endian, as the format's negative scale says the samples are.
    for (UINT y = height; y-- > 0;) {
        const BYTE* row = pixels.data() + static_cast<std::size_t>(y) * pitch;
        for (UINT x = 0; x < width; ++x, at += 12) std::memcpy(&out[at], row + static_cast<std::size_t>(x) * 16, 12);
    }
    return S_OK;
}

}  // namespace tarn::texture
