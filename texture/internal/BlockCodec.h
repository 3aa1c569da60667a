// The pixel codec of the block-compressed formats D3DFMT_DXT1 ... D3DFMT_DXT5: rows of four-float pixels are
// served from a cache of one decoded row of 4 x 4 blocks, and encoded rows are gathered into whole block rows.
// The box is widened outwards to whole blocks; pixels of a widened block outside the box keep their values.
#pragma once

#include "PixelCodec.h"
#include "texture/TextureOptions.h"

namespace tarn::texture {

// A new, uninitialised codec for a DXT format, or null for any other format.
PixelCodec* CreateBlockCodec(D3DFORMAT format);

// The quality a TARN_DXT_QUALITY value names: "fast", "default" or "best" in any case; Default for null or any
// other text.
BlockQuality ParseBlockQuality(const char* text);

// Bytes of one 4 x 4 block of `format` (8 for DXT1, 16 for DXT2 ... DXT5, 0 for any other format).
UINT BlockBytes(D3DFORMAT format);

// Decodes the box of `source` (a DXT format, box in pixels) straight into D3DFMT_A8R8G8B8 pixels at `dest` (the
// box's top-left pixel, rows `destPitch` bytes apart), byte for byte what the row path with plain rounding gives,
// without the four-float rows. No colour key, sRGB or resampling. E_FAIL for a format that is not DXT.
HRESULT DecodeBlocksToA8R8G8B8(const ImageDesc& source, BYTE* dest, UINT destPitch);

}  // namespace tarn::texture
