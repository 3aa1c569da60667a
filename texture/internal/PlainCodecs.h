// Factories of the codecs for formats whose pixels are whole bytes: packed integer channels (unsigned,
// signed, luminance), palette indices, and floating point. Each returns a new, uninitialised codec for
// `format`, or null when the format is not one of its own.
#pragma once

#include "PixelCodec.h"

namespace tarn::texture {

PixelCodec* CreatePackedCodec(D3DFORMAT format);
PixelCodec* CreatePaletteCodec(D3DFORMAT format);
PixelCodec* CreateFloatCodec(D3DFORMAT format);

}  // namespace tarn::texture
