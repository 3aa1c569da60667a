// Portable pixmaps: binary "P6" with byte samples (maximum 255), red, green, blue per pixel, rows from the top.
#include <cstdio>

#include "ImageWriter.h"

namespace tarn::texture {

HRESULT WritePpm(const SavedImage& image, std::vector<BYTE>& out) {
    std::vector<BYTE> pixels;
    UINT pitch = 0;
    if (const HRESULT hr = ConvertTopImage(image, D3DFMT_R8G8B8, pixels, pitch); FAILED(hr)) return hr;
    char header[64];
    std::snprintf(header, sizeof header, "P6\n%u %u\n255\n", image.Top().width, image.Top().height);
    PutText(out, header);
    // R8G8B8 is stored blue first.
    const std::size_t start = out.size();
    out.resize(start + pixels.size());
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        out[start + i] = pixels[i + 2];
        out[start + i + 1] = pixels[i + 1];
        out[start + i + 2] = pixels[i];
    }
    return S_OK;
}

}  // namespace tarn::texture
