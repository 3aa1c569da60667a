#include "tools/assetgen/ImageWriters.h"

namespace tarn::assetgen {

std::vector<std::uint8_t> EncodeBmp24(const Image& image) {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
    const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(image.height);
    std::vector<std::uint8_t> out;
    // BITMAPFILEHEADER
    PutU8(out, 'B');
    PutU8(out, 'M');
    PutU32(out, 14 + 40 + imageBytes);
    PutU16(out, 0);
    PutU16(out, 0);
    PutU32(out, 14 + 40);  // offset of the pixels
    // BITMAPINFOHEADER
    PutU32(out, 40);
    PutU32(out, static_cast<std::uint32_t>(image.width));
    PutU32(out, static_cast<std::uint32_t>(image.height));  // positive: bottom row first
    PutU16(out, 1);                                         // planes
    PutU16(out, 24);                                        // bits per pixel
    PutU32(out, 0);                                         // BI_RGB
    PutU32(out, imageBytes);
    PutU32(out, 2835);  // 72 dpi
    PutU32(out, 2835);
    PutU32(out, 0);
    PutU32(out, 0);
    for (int y = image.height - 1; y >= 0; --y) {
        const std::size_t start = out.size();
        for (int x = 0; x < image.width; ++x) {
            const Rgba& p = image.at(x, y);
            out.push_back(p.b);
            out.push_back(p.g);
            out.push_back(p.r);
        }
        out.resize(start + rowBytes, 0);
    }
    return out;
}

}  // namespace tarn::assetgen
