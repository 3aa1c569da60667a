// The pixel codec of the block-compressed formats D3DFMT_DXT1 ... D3DFMT_DXT5: rows of four-float pixels are
// served from a cache of one decoded row of 4 x 4 blocks, and encoded rows are gathered into whole block rows.
// The box is widened outwards to whole blocks; pixels of a widened block outside the box keep their values.
#pragma once

#include "texture/PixelCodec.h"

// A new, uninitialised codec for a DXT format, or null for any other format (declared in PixelCodec.h too).
PixelCodec* CreateBlockCodec(D3DFORMAT format);

// Bytes of one 4 x 4 block of `format` (8 for DXT1, 16 for DXT2 ... DXT5, 0 for any other format).
UINT BlockBytes(D3DFORMAT format);
