// Stand-ins for the readers and codecs that are not built into this library yet: every reader reports
// "not this format" and the block and packed-pair formats have no codec, so the trial moves on and a
// transfer involving those formats fails with E_FAIL.
#include "texture/ImageReader.h"
#include "texture/PixelCodec.h"

HRESULT ReadBmp(DecodedImage&, const BYTE*, UINT) { return E_FAIL; }
HRESULT ReadPpm(DecodedImage&, const BYTE*, UINT) { return E_FAIL; }
HRESULT ReadDds(DecodedImage&, const BYTE*, UINT) { return E_FAIL; }
HRESULT ReadJpeg(DecodedImage&, const BYTE*, UINT) { return E_FAIL; }
HRESULT ReadPng(DecodedImage&, const BYTE*, UINT) { return E_FAIL; }
HRESULT ReadPfm(DecodedImage&, const BYTE*, UINT) { return E_FAIL; }
HRESULT ReadHdr(DecodedImage&, const BYTE*, UINT) { return E_FAIL; }
HRESULT ReadDib(DecodedImage&, const BYTE*, UINT) { return E_FAIL; }

PixelCodec* CreateBlockCodec(D3DFORMAT) { return nullptr; }
PixelCodec* CreatePackedPairCodec(D3DFORMAT) { return nullptr; }
