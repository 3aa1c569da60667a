// Windows bitmaps: "BM" files (WriteBmp) and the same bitmap without its file header (WriteDib). Palettised
// images keep their indices with a 256-entry colour table; images with alpha are 32-bit with a version 4 header
// whose bit fields name the alpha channel (what readers take for a bitmap with alpha); the rest are 24-bit.
// Rows are stored bottom row first, each padded to four bytes.
#include "ImageWriter.h"

namespace tarn::texture {

namespace {

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kV4HeaderBytes = 108;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kSrgbColourSpace = 0x73524742;  // 'sRGB'

HRESULT WriteBitmap(const SavedImage& image, std::vector<BYTE>& out, bool fileHeader) {
    const SourceTraits traits = TraitsOf(image.format);
    const bool palettised = traits.palettised;
    const bool alpha = !palettised && traits.alpha;
    std::vector<BYTE> pixels;
    UINT pitch = 0;
    const D3DFORMAT format = palettised ? D3DFMT_P8 : alpha ? D3DFMT_A8R8G8B8 : D3DFMT_R8G8B8;
    if (const HRESULT hr = ConvertTopImage(image, format, pixels, pitch); FAILED(hr)) return hr;

    const UINT width = image.Top().width, height = image.Top().height;
    const std::uint32_t bits = palettised ? 8 : alpha ? 32 : 24;
    const std::uint32_t headerBytes = alpha ? kV4HeaderBytes : kInfoHeaderBytes;
    const std::uint32_t tableBytes = palettised ? 256 * 4 : 0;
    const std::uint32_t stride = (pitch + 3) & ~3u;
    const std::uint32_t imageBytes = stride * height;
    const std::uint32_t offset = (fileHeader ? kFileHeaderBytes : 0) + headerBytes + tableBytes;
    if (fileHeader) {
        PutText(out, "BM");
        PutLe32(out, offset + imageBytes);
        PutLe32(out, 0);
        PutLe32(out, offset);
    }
    PutLe32(out, headerBytes);
    PutLe32(out, width);
    PutLe32(out, height);  // positive: bottom row first
    PutLe16(out, 1);
    PutLe16(out, bits);
    PutLe32(out, alpha ? kBitFields : 0);
    PutLe32(out, imageBytes);
    PutLe32(out, 2835);  // 72 pixels per inch
    PutLe32(out, 2835);
    PutLe32(out, palettised ? 256 : 0);
    PutLe32(out, 0);
    if (alpha) {
        PutLe32(out, 0x00FF0000);
        PutLe32(out, 0x0000FF00);
        PutLe32(out, 0x000000FF);
        PutLe32(out, 0xFF000000);
        PutLe32(out, kSrgbColourSpace);
        for (int i = 0; i < 12; ++i) PutLe32(out, 0);  // end points and gamma, unused with sRGB
    }
    if (palettised) {
        for (int i = 0; i < 256; ++i) {
            const PALETTEENTRY& e = image.palette[i];
            out.insert(out.end(), {e.peBlue, e.peGreen, e.peRed, 0});
        }
    }
    // R8G8B8 and A8R8G8B8 are stored blue first, as bitmaps store them.
    for (UINT y = height; y-- > 0;) {
        const BYTE* row = pixels.data() + static_cast<std::size_t>(y) * pitch;
        out.insert(out.end(), row, row + pitch);
        out.insert(out.end(), stride - pitch, 0);
    }
    return S_OK;
}

}  // namespace

HRESULT WriteBmp(const SavedImage& image, std::vector<BYTE>& out) { return WriteBitmap(image, out, true); }
HRESULT WriteDib(const SavedImage& image, std::vector<BYTE>& out) { return WriteBitmap(image, out, false); }

}  // namespace tarn::texture
