// The pixel codec of the packed-pair formats, where two horizontally adjacent pixels share one 32-bit group:
// D3DFMT_YUY2 (bytes Y0 U Y1 V) and D3DFMT_UYVY (U Y0 V Y1) with BT.601 studio-range colour, D3DFMT_R8G8_B8G8
// (G0 R G1 B) and D3DFMT_G8R8_G8B8 (R G0 B G1) sharing red and blue. The box is widened to even x; a pair only
// half inside the box keeps its other pixel.
#pragma once

#include "PixelCodec.h"

namespace tarn::texture {

// A new, uninitialised codec for a packed-pair format, or null for any other format.
PixelCodec* CreatePackedPairCodec(D3DFORMAT format);

// BT.601 studio range, 8-bit code values: Y in 16..235, U (Cb) and V (Cr) in 16..240 around 128.
//   R = Y' + 1.402 Cr,  G = Y' - 0.344136 Cb - 0.714136 Cr,  B = Y' + 1.772 Cb
//   with Y' = (Y - 16) / 219, Cb = (U - 128) / 224, Cr = (V - 128) / 224, results clamped to 0..1;
// the encoder is the exact inverse (Y = 16 + 219 (0.299 R + 0.587 G + 0.114 B), U = 128 + 224 (B - Y') / 1.772,
// V = 128 + 224 (R - Y') / 1.402), rounded to the nearest code and clamped to 0..255, chroma from the pair's mean.
void YuvToRgb(int y, int u, int v, float rgb[3]);
void RgbToYuvPair(const float rgb0[3], const float rgb1[3], int& y0, int& y1, int& u, int& v);

}  // namespace tarn::texture
