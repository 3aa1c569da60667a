// Rows of four-float pixels (red, green, blue, alpha) written into a locked level through its format's codec:
// what the procedural fills and the normal-map maker produce.
#pragma once

#include "BlitImage.h"

namespace tarn::texture {

// Encodes `rows` rows of `level.box`'s width from `pixels` (tightly packed) into rows top ... top + rows - 1 of
// slice `slice` of `level`, without resampling or dither. Block formats take bands whose top is a multiple of 4.
inline HRESULT WriteFloatRows(const ImageDesc& level, UINT top, UINT rows, UINT slice, const Float4* pixels) {
    const UINT width = level.box.right - level.box.left;
    ImageDesc dest = level;
    dest.box = {level.box.left, level.box.top + top, level.box.right, level.box.top + top + rows, slice, slice + 1};
    ImageDesc source;
    source.memory = reinterpret_cast<BYTE*>(const_cast<Float4*>(pixels));
    source.format = D3DFMT_A32B32G32R32F;
    source.rowPitch = width * static_cast<UINT>(sizeof(Float4));
    source.slicePitch = source.rowPitch * rows;
    source.box = {0, 0, width, rows, 0, 1};
    return BlitImage(dest, source, D3DX_FILTER_NONE);
}

}  // namespace tarn::texture
