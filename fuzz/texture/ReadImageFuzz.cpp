// libFuzzer target: the reader trial on arbitrary bytes, then every decoded level and face converted to
// A8R8G8B8, so that a reader whose record claims more pixels than it holds is caught where they are read. Images
// of any declared size go through: the library's own limits bound them. The conversion goes through a buffer of a
// few rows, so that the harness's memory stays small whatever the image's size.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "BlitImage.h"
#include "ImageReader.h"

using namespace tarn::texture;

namespace {

constexpr UINT kBandRows = 16;  // a multiple of 4, so that block rows are never split

void ConvertLevel(const DecodedImage& level) {
    if (level.pixels == nullptr || level.width == 0 || level.height == 0) return;
    std::vector<BYTE> out(static_cast<std::size_t>(level.width) * 4 * kBandRows);
    const UINT depth = std::max(level.depth, 1u);
    for (UINT z = 0; z < depth; ++z) {
        for (UINT top = 0; top < level.height; top += kBandRows) {
            const UINT bottom = std::min(level.height, top + kBandRows);
            ImageDesc dest;
            dest.memory = out.data();
            dest.format = D3DFMT_A8R8G8B8;
            dest.rowPitch = level.width * 4;
            dest.slicePitch = dest.rowPitch * kBandRows;
            dest.box = {0, 0, level.width, bottom - top, 0, 1};
            ImageDesc source;
            source.memory = const_cast<BYTE*>(level.pixels);
            source.format = level.format;
            source.rowPitch = level.rowPitch;
            source.slicePitch = level.slicePitch;
            source.box = {0, top, level.width, bottom, z, z + 1};
            source.palette = level.palette;
            source.rowsUpward = level.rowsUpward;
            if (FAILED(BlitImage(dest, source, D3DX_FILTER_NONE))) return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 0xFFFFFFFFu) return 0;
    DecodedImage image;
    D3DXIMAGE_INFO info;
    if (FAILED(ReadImage(image, data, static_cast<UINT>(size), &info, true))) return 0;
    for (const DecodedImage* face = &image; face != nullptr; face = face->siblingFace) {
        for (const DecodedImage* level = face; level != nullptr; level = level->smallerLevel) ConvertLevel(*level);
    }
    return 0;
}
