// libFuzzer target: the conversion core on its own. The first bytes choose two formats with codecs, the sizes and
// boxes of both sides, the filter and its flags, a colour key and palettes; the rest are the source pixels. Both
// images are allocated to their exact stored size, so that a codec that reads or writes outside its box is caught
// by the address sanitizer; the destination's bytes outside its box must come back unchanged.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "BlitImage.h"
#include "FormatTable.h"
#include "FuzzSupport.h"
#include "PixelCodec.h"

using namespace tarn::texture;

namespace {

// The formats that have a codec, in table order.
const std::vector<D3DFORMAT>& CodecFormats() {
    static const std::vector<D3DFORMAT> formats = [] {
        std::vector<D3DFORMAT> out;
        for (const FormatDesc* d = FormatTableBegin(); d != FormatTableEnd(); ++d) {
            if (HasPixelCodec(d->format)) out.push_back(d->format);
        }
        return out;
    }();
    return formats;
}

// One side of the transfer: an image of `width` x `height` x `depth` pixels of `format`, stored exactly, and the
// box of it that takes part.
struct Side {
    ImageDesc desc;
    std::vector<BYTE> bytes;
    std::size_t shift = 0;  // bytes before the image
};

Side MakeSide(Choices& c, D3DFORMAT format, bool source) {
    Side side;
    const UINT width = 1 + c.Below(40), height = 1 + c.Below(24), depth = 1 + c.Below(3);
    const UINT left = c.Below(width), top = c.Below(height), front = c.Below(depth);
    const UINT right = left + 1 + c.Below(width - left), bottom = top + 1 + c.Below(height - top);
    const UINT back = front + 1 + c.Below(depth - front);
    std::size_t rowBytes = 0;
    UINT rows = 0;
    StoredRows(format, width, height, rowBytes, rows);
    // Any padding and a start at any byte: rows of wider pixels need not be aligned to their size.
    const UINT padding = c.Below(9);
    side.shift = c.Below(4);
    const std::size_t rowPitch = rowBytes + padding, slicePitch = rowPitch * rows;
    side.bytes.assign(side.shift + slicePitch * depth, 0);
    side.desc.format = format;
    side.desc.rowPitch = static_cast<UINT>(rowPitch);
    side.desc.slicePitch = static_cast<UINT>(slicePitch);
    side.desc.box = {left, top, right, bottom, front, back};
    // Bottom-up rows are a whole-pixel source's option (the readers make them).
    const bool upward = source && !IsBlockFormat(format) && !IsPackedPairFormat(format) && depth == 1 &&
                        (c.Byte() & 1) != 0;
    side.desc.rowsUpward = upward;
    side.desc.memory = side.bytes.data() + side.shift + (upward ? rowPitch * (rows - 1) : 0);
    return side;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Choices c(data, size);
    const std::vector<D3DFORMAT>& formats = CodecFormats();
    const D3DFORMAT sourceFormat = formats[c.Below(static_cast<std::uint32_t>(formats.size()))];
    const D3DFORMAT destFormat = formats[c.Below(static_cast<std::uint32_t>(formats.size()))];
    // Filter kind 1...5 (NONE ... BOX), now and then an invalid one; mirror, dither, diffusion and sRGB flags.
    const std::uint8_t filterByte = c.Byte();
    DWORD filter = (filterByte & 0x80) ? filterByte % 8 : 1 + filterByte % 5;
    const std::uint8_t flags = c.Byte();
    filter |= static_cast<DWORD>(flags & 0x7F) << 16;  // MIRROR_U/V/W, DITHER, DIFFUSION, SRGB_IN, SRGB_OUT
    const D3DCOLOR colorKey = (flags & 0x80) ? c.Word() : 0;
    // Palettes: none, or 256 entries drawn from a seed (a palette's worth of input would crowd out the pixels).
    const std::uint8_t paletteSeeds = c.Byte();

    Side source = MakeSide(c, sourceFormat, true);
    Side dest = MakeSide(c, destFormat, false);
    source.desc.colorKey = colorKey;
    PALETTEENTRY palettes[2][256];
    for (int p = 0; p < 2; ++p) {
        std::uint32_t state = 0x9E3779B9u * (1 + ((paletteSeeds >> (4 * p)) & 7));
        for (PALETTEENTRY& e : palettes[p]) {
            state = state * 1664525u + 1013904223u;
            std::memcpy(&e, &state, 4);
        }
    }
    if (paletteSeeds & 0x08) source.desc.palette = palettes[0];
    if (paletteSeeds & 0x80) dest.desc.palette = palettes[1];

    // The rest of the input is the source's bytes, repeated to fill it; the destination starts from a pattern.
    const std::size_t rest = size - std::min(size, c.Used());
    for (std::size_t i = 0; i < source.bytes.size(); ++i) {
        source.bytes[i] = rest == 0 ? static_cast<BYTE>(i * 31) : data[c.Used() + i % rest];
    }
    for (std::size_t i = 0; i < dest.bytes.size(); ++i) dest.bytes[i] = static_cast<BYTE>(0xA5 ^ i);
    const std::vector<BYTE> before = dest.bytes;

    BlitImage(dest.desc, source.desc, filter);

    // Whole-pixel destinations: nothing outside the box may change (block and pair formats widen the box).
    if (!IsBlockFormat(destFormat) && !IsPackedPairFormat(destFormat)) {
        const UINT bpp = LookUpFormatDesc(destFormat).bits / 8;
        const ImageBox& box = dest.desc.box;
        for (std::size_t i = 0; i < dest.bytes.size(); ++i) {
            const std::size_t at = i - dest.shift;
            const std::size_t z = at / dest.desc.slicePitch, inSlice = at % dest.desc.slicePitch;
            const std::size_t y = inSlice / dest.desc.rowPitch, x = inSlice % dest.desc.rowPitch;
            const bool inside = i >= dest.shift && z >= box.front && z < box.back && y >= box.top && y < box.bottom &&
                                x >= static_cast<std::size_t>(box.left) * bpp &&
                                x < static_cast<std::size_t>(box.right) * bpp;
            if (!inside && dest.bytes[i] != before[i]) std::abort();
        }
    }
    return 0;
}
