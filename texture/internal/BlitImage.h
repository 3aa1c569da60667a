// The transfer core: moves the box of one image into the box of another through the two formats' codecs,
// converting formats and resampling with the filter's kind when the boxes differ in size.
#pragma once

#include "PixelCodec.h"

namespace tarn::texture {

// `filter`: kind NONE ... BOX in the low 16 bits plus MIRROR_*, DITHER, diffusion and SRGB_* flags.
// D3DERR_INVALIDCALL for an invalid filter word; E_FAIL when a format has no codec or no transfer applies;
// E_OUTOFMEMORY when buffers cannot be had.
HRESULT BlitImage(const ImageDesc& dest, const ImageDesc& source, DWORD filter);

}  // namespace tarn::texture
