// DirectDraw Surface files: the image's own format, every level of every face (or every slice of each volume
// level), with the header fields the public DDS documentation asks for: pitch for whole-pixel and pixel-pair
// formats, linear size for block formats, the mip-map count, the complex, mip-map, cube-map and volume caps.
#include <cstring>

#include "DdsFormat.h"
#include "FormatTable.h"
#include "ImageWriter.h"

namespace tarn::texture {

namespace {

enum : std::uint32_t {
    kCaps = 0x1,
    kHeight = 0x2,
    kWidth = 0x4,
    kPitch = 0x8,
    kPixelFormat = 0x1000,
    kMipMapCount = 0x20000,
    kLinearSize = 0x80000,
    kDepth = 0x800000,
};
enum : std::uint32_t { kCapsComplex = 0x8, kCapsTexture = 0x1000, kCapsMipMap = 0x400000 };
enum : std::uint32_t { kCaps2CubeMap = 0x200, kCaps2AllFaces = 0xFC00, kCaps2Volume = 0x200000 };

}  // namespace

HRESULT WriteDds(const SavedImage& image, std::vector<BYTE>& out) {
    const DdsPixelFormat* record = DdsRecordOfFormat(image.format);
    if (record == nullptr) return D3DERR_INVALIDCALL;
    const bool palettised = image.format == D3DFMT_P8 || image.format == D3DFMT_A8P8;
    if (palettised && image.palette == nullptr) return D3DERR_INVALIDCALL;
    const SavedLevel& top = image.Top();
    const bool volume = image.type == D3DRTYPE_VOLUMETEXTURE;
    const bool cube = image.type == D3DRTYPE_CUBETEXTURE;
    const bool block = IsBlockFormat(image.format);

    std::uint32_t flags = kCaps | kHeight | kWidth | kPixelFormat | (block ? kLinearSize : kPitch);
    if (image.levelCount > 1) flags |= kMipMapCount;
    if (volume) flags |= kDepth;
    // Linear size: the bytes of the top level (of one slice); pitch: the bytes of one of its rows.
    const std::uint32_t pitchOrLinearSize = block ? top.slicePitch : top.rowPitch;
    std::uint32_t caps = kCapsTexture;
    if (image.levelCount > 1) caps |= kCapsComplex | kCapsMipMap;
    if (cube || volume) caps |= kCapsComplex;
    const std::uint32_t caps2 = cube     ? std::uint32_t{kCaps2CubeMap | kCaps2AllFaces}
                                : volume ? std::uint32_t{kCaps2Volume}
                                         : 0u;

    PutText(out, "DDS ");
    PutLe32(out, 124);
    PutLe32(out, flags);
    PutLe32(out, top.height);
    PutLe32(out, top.width);
    PutLe32(out, pitchOrLinearSize);
    PutLe32(out, volume ? top.depth : 0);
    PutLe32(out, image.levelCount > 1 ? image.levelCount : 0);
    for (int i = 0; i < 11; ++i) PutLe32(out, 0);
    PutLe32(out, 32);
    PutLe32(out, record->flags);
    PutLe32(out, record->fourCC);
    PutLe32(out, record->bits);
    PutLe32(out, record->red);
    PutLe32(out, record->green);
    PutLe32(out, record->blue);
    PutLe32(out, record->alpha);
    PutLe32(out, caps);
    PutLe32(out, caps2);
    for (int i = 0; i < 3; ++i) PutLe32(out, 0);

    if (palettised) {
        const BYTE* p = reinterpret_cast<const BYTE*>(image.palette);
        out.insert(out.end(), p, p + 256 * sizeof(PALETTEENTRY));
    }
    for (const SavedLevel& level : image.levels) out.insert(out.end(), level.bytes.begin(), level.bytes.end());
    return S_OK;
}

}  // namespace tarn::texture
