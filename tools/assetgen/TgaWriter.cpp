#include "tools/assetgen/ImageWriters.h"

namespace tarn::assetgen {

static void PutPixel(std::vector<std::uint8_t>& out, const Rgba& p, int bitsPerPixel) {
    // Targa stores blue, green, red, then alpha.
    out.push_back(p.b);
    out.push_back(p.g);
    out.push_back(p.r);
    if (bitsPerPixel == 32) out.push_back(p.a);
}

static bool SamePixel(const Rgba& a, const Rgba& b, int bitsPerPixel) {
    return a.r == b.r && a.g == b.g && a.b == b.b && (bitsPerPixel != 32 || a.a == b.a);
}

std::vector<std::uint8_t> EncodeTga(const Image& image, int bitsPerPixel, bool runLength, TgaOrigin origin) {
    std::vector<std::uint8_t> out;
    PutU8(out, 0);                     // no image id
    PutU8(out, 0);                     // no colour map
    PutU8(out, runLength ? 10 : 2);    // true colour, raw or run-length
    for (int i = 0; i < 5; ++i) PutU8(out, 0);  // colour map fields (none)
    PutU16(out, 0);                    // x origin
    PutU16(out, 0);                    // y origin
    PutU16(out, static_cast<unsigned>(image.width));
    PutU16(out, static_cast<unsigned>(image.height));
    PutU8(out, static_cast<unsigned>(bitsPerPixel));
    unsigned descriptor = bitsPerPixel == 32 ? 8u : 0u;  // alpha bits
    if (origin == TgaOrigin::TopLeft) descriptor |= 0x20;
    PutU8(out, descriptor);

    for (int row = 0; row < image.height; ++row) {
        const int y = origin == TgaOrigin::TopLeft ? row : image.height - 1 - row;
        if (!runLength) {
            for (int x = 0; x < image.width; ++x) PutPixel(out, image.at(x, y), bitsPerPixel);
            continue;
        }
        // Packets never cross a row, as readers commonly expect; each holds 1..128 pixels.
        int x = 0;
        while (x < image.width) {
            int run = 1;
            while (x + run < image.width && run < 128 &&
                   SamePixel(image.at(x + run, y), image.at(x, y), bitsPerPixel))
                ++run;
            if (run >= 2) {
                PutU8(out, 0x80u | static_cast<unsigned>(run - 1));
                PutPixel(out, image.at(x, y), bitsPerPixel);
                x += run;
                continue;
            }
            int raw = 1;
            while (x + raw < image.width && raw < 128 &&
                   !(x + raw + 1 < image.width &&
                     SamePixel(image.at(x + raw, y), image.at(x + raw + 1, y), bitsPerPixel)))
                ++raw;
            PutU8(out, static_cast<unsigned>(raw - 1));
            for (int i = 0; i < raw; ++i) PutPixel(out, image.at(x + i, y), bitsPerPixel);
            x += raw;
        }
    }
    return out;
}

}  // namespace tarn::assetgen
