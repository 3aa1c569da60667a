// libFuzzer target: the reader trial on arbitrary bytes, then every decoded level and face converted to
// A8R8G8B8, so that a reader whose record claims more pixels than it holds is caught where they are read.
#include <cstdint>
#include <vector>

#include "texture/BlitImage.h"
#include "texture/ImageReader.h"

namespace {

// Images this large are valid but only slow the search down.
constexpr std::uint64_t kMaxPixels = 1u << 20;

void ConvertLevel(const DecodedImage& level) {
    const std::uint64_t pixels = std::uint64_t(level.width) * level.height;
    if (level.pixels == nullptr || pixels == 0 || pixels > kMaxPixels) return;
    std::vector<BYTE> out(static_cast<std::size_t>(pixels) * 4);
    ImageDesc dest;
    dest.memory = out.data();
    dest.format = D3DFMT_A8R8G8B8;
    dest.rowPitch = level.width * 4;
    dest.slicePitch = dest.rowPitch * level.height;
    dest.box = {0, 0, level.width, level.height, 0, 1};
    ImageDesc source;
    source.memory = const_cast<BYTE*>(level.pixels);
    source.format = level.format;
    source.rowPitch = level.rowPitch;
    source.slicePitch = level.slicePitch;
    source.box = {0, 0, level.width, level.height, 0, 1};
    source.palette = level.palette;
    source.rowsUpward = level.rowsUpward;
    BlitImage(dest, source, D3DX_FILTER_NONE);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 0xFFFFFFFFu) return 0;
    {
        // Huge images are valid but only slow the search down: decode those that fit kMaxPixels.
        DecodedImage header;
        D3DXIMAGE_INFO info;
        if (FAILED(ReadImage(header, data, static_cast<UINT>(size), &info, false))) return 0;
        if (std::uint64_t(info.Width) * info.Height * info.Depth > kMaxPixels) return 0;
    }
    DecodedImage image;
    D3DXIMAGE_INFO info;
    if (FAILED(ReadImage(image, data, static_cast<UINT>(size), &info, true))) return 0;
    for (const DecodedImage* face = &image; face != nullptr; face = face->siblingFace) {
        for (const DecodedImage* level = face; level != nullptr; level = level->smallerLevel) ConvertLevel(*level);
    }
    return 0;
}
