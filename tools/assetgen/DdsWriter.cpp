#include "tools/assetgen/Dxt1Encoder.h"
#include "tools/assetgen/ImageWriters.h"

namespace tarn::assetgen {

std::vector<std::uint8_t> EncodeDdsDxt1(const Image& image) {
    int levels = 1;
    for (int w = image.width, h = image.height; w > 1 || h > 1; w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1)
        ++levels;
    const std::uint32_t topSize =
        static_cast<std::uint32_t>(((image.width + 3) / 4) * ((image.height + 3) / 4) * 8);

    std::vector<std::uint8_t> out;
    PutU8(out, 'D');
    PutU8(out, 'D');
    PutU8(out, 'S');
    PutU8(out, ' ');
    // DDSURFACEDESC2 (124 bytes)
    PutU32(out, 124);
    PutU32(out, 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000 | 0x80000);  // CAPS HEIGHT WIDTH PIXELFORMAT MIPMAPCOUNT LINEARSIZE
    PutU32(out, static_cast<std::uint32_t>(image.height));
    PutU32(out, static_cast<std::uint32_t>(image.width));
    PutU32(out, topSize);  // linear size of the top level
    PutU32(out, 0);        // depth
    PutU32(out, static_cast<std::uint32_t>(levels));
    for (int i = 0; i < 11; ++i) PutU32(out, 0);  // reserved
    // DDPIXELFORMAT (32 bytes)
    PutU32(out, 32);
    PutU32(out, 0x4);  // DDPF_FOURCC
    PutU8(out, 'D');
    PutU8(out, 'X');
    PutU8(out, 'T');
    PutU8(out, '1');
    for (int i = 0; i < 5; ++i) PutU32(out, 0);  // bit count and masks
    PutU32(out, 0x1000 | 0x8 | 0x400000);       // TEXTURE COMPLEX MIPMAP
    for (int i = 0; i < 4; ++i) PutU32(out, 0);  // caps2, caps3, caps4, reserved2

    Image level = image;
    for (int i = 0; i < levels; ++i) {
        const std::vector<std::uint8_t> blocks = EncodeDxt1(level);
        out.insert(out.end(), blocks.begin(), blocks.end());
        if (i + 1 < levels) level = HalveImage(level);
    }
    return out;
}

}  // namespace tarn::assetgen
