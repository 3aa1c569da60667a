// Truevision Targa files, uncompressed and stored top row first: palettised images colour-mapped (type 1) with a
// 256-entry map of 24-bit entries, or 32-bit where an entry is not opaque; grey images without alpha as 8-bit
// black and white (type 3); the rest true colour (type 2), 32-bit with 8 alpha bits where the source has alpha,
// else 24-bit.
#include "ImageWriter.h"

namespace tarn::texture {

namespace {

constexpr BYTE kTopLeftOrigin = 0x20;

}  // namespace

HRESULT WriteTga(const SavedImage& image, std::vector<BYTE>& out) {
    // The header stores sizes in 16 bits.
    if (image.Top().width > 0xFFFF || image.Top().height > 0xFFFF) return D3DERR_INVALIDCALL;
    const SourceTraits traits = TraitsOf(image.format);
    const D3DFORMAT format = traits.palettised ? D3DFMT_P8
                             : traits.alpha    ? D3DFMT_A8R8G8B8
                             : traits.grey     ? D3DFMT_L8
                                               : D3DFMT_R8G8B8;
    std::vector<BYTE> pixels;
    UINT pitch = 0;
    if (const HRESULT hr = ConvertTopImage(image, format, pixels, pitch); FAILED(hr)) return hr;

    bool mapAlpha = false;
    if (traits.palettised)
        for (int i = 0; i < 256; ++i) mapAlpha = mapAlpha || image.palette[i].peFlags != 255;
    const BYTE mapEntryBits = traits.palettised ? (mapAlpha ? 32 : 24) : 0;
    const BYTE imageType = traits.palettised ? 1 : format == D3DFMT_L8 ? 3 : 2;
    const BYTE pixelBits = format == D3DFMT_A8R8G8B8 ? 32 : format == D3DFMT_R8G8B8 ? 24 : 8;
    const BYTE alphaBits = format == D3DFMT_A8R8G8B8 || (traits.palettised && mapAlpha) ? 8 : 0;

    out.insert(out.end(), {0, static_cast<BYTE>(traits.palettised ? 1 : 0), imageType});
    PutLe16(out, 0);                            // first map entry
    PutLe16(out, traits.palettised ? 256 : 0);  // map length
    out.push_back(mapEntryBits);
    PutLe16(out, 0);  // origin
    PutLe16(out, 0);
    PutLe16(out, image.Top().width);
    PutLe16(out, image.Top().height);
    out.push_back(pixelBits);
    out.push_back(static_cast<BYTE>(kTopLeftOrigin | alphaBits));
    if (traits.palettised) {
        for (int i = 0; i < 256; ++i) {
            const PALETTEENTRY& e = image.palette[i];
            out.insert(out.end(), {e.peBlue, e.peGreen, e.peRed});
            if (mapAlpha) out.push_back(e.peFlags);
        }
    }
    out.insert(out.end(), pixels.begin(), pixels.end());  // blue first, as Targa stores colour
    return S_OK;
}

}  // namespace tarn::texture
