// Portable Network Graphics through libpng: palettised images as a palette (with transparency entries where an
// entry is not opaque), grey images as grey (16-bit where the source has more than 8 bits) or grey with alpha,
// colour as RGB or RGBA, 16 bits a channel where some source channel has more than 8 bits.
#include <png.h>

#include <csetjmp>
#include <new>

#include "ImageWriter.h"

namespace tarn::texture {

namespace {

struct PngSink {
    std::vector<BYTE>* out;
    bool outOfMemory;
};

void PngWriteData(png_structp png, png_bytep data, png_size_t size) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    try {
        sink->out->insert(sink->out->end(), data, data + size);
    } catch (const std::bad_alloc&) {
        sink->outOfMemory = true;
    }
    if (sink->outOfMemory) png_error(png, "out of memory");
}

void PngFlush(png_structp) {}

// What is stored, and how the converted pixels become PNG samples.
struct PngLayout {
    D3DFORMAT convertTo;
    int colourType;
    int bitDepth;
    UINT channels;  // samples per pixel in the file
};

PngLayout LayoutFor(const SourceTraits& t) {
    if (t.palettised) return {D3DFMT_P8, PNG_COLOR_TYPE_PALETTE, 8, 1};
    if (t.grey && t.alpha) return {D3DFMT_A8L8, PNG_COLOR_TYPE_GRAY_ALPHA, 8, 2};
    if (t.grey)
        return t.wide ? PngLayout{D3DFMT_L16, PNG_COLOR_TYPE_GRAY, 16, 1}
                      : PngLayout{D3DFMT_L8, PNG_COLOR_TYPE_GRAY, 8, 1};
    if (t.wide)
        return {D3DFMT_A16B16G16R16, t.alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, 16, t.alpha ? 4u : 3u};
    return {D3DFMT_A8R8G8B8, t.alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, 8, t.alpha ? 4u : 3u};
}

// One row of converted pixels as PNG samples: big-endian 16-bit samples, red first.
void MakeRow(const PngLayout& layout, const BYTE* in, UINT width, BYTE* out) {
    switch (layout.convertTo) {
    case D3DFMT_A8R8G8B8:  // stored B, G, R, A
        for (UINT x = 0; x < width; ++x, in += 4) {
            *out++ = in[2];
            *out++ = in[1];
            *out++ = in[0];
            if (layout.channels == 4) *out++ = in[3];
        }
        break;
    case D3DFMT_A16B16G16R16:  // stored R, G, B, A, little-endian
    case D3DFMT_L16:
        for (UINT x = 0; x < width; ++x, in += layout.convertTo == D3DFMT_L16 ? 2 : 8) {
            for (UINT c = 0; c < layout.channels; ++c) {
                *out++ = in[c * 2 + 1];
                *out++ = in[c * 2];
            }
        }
        break;
    default:  // P8, L8 and A8L8 (L, then A) are already in file order
        for (UINT i = 0; i < width * layout.channels; ++i) *out++ = in[i];
        break;
    }
}

// The libpng part, apart so that no local of it changes after setjmp: a longjmp then leaves every value known, and
// nothing here has a destructor for it to skip.
HRESULT EncodePng(const PngLayout& layout, const BYTE* pixels, UINT pitch, UINT width, UINT height,
                  const png_color* palette, const png_byte* transparency, int transparent, BYTE* row, PngSink* sink) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return E_OUTOFMEMORY;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return E_OUTOFMEMORY;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return sink->outOfMemory ? E_OUTOFMEMORY : E_FAIL;
    }
    png_set_write_fn(png, sink, PngWriteData, PngFlush);
    png_set_IHDR(png, info, width, height, layout.bitDepth, layout.colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (layout.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, palette, 256);
        if (transparent > 0) png_set_tRNS(png, info, transparency, transparent, nullptr);
    }
    png_write_info(png, info);
    for (UINT y = 0; y < height; ++y) {
        MakeRow(layout, pixels + static_cast<std::size_t>(y) * pitch, width, row);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return S_OK;
}

}  // namespace

HRESULT WritePng(const SavedImage& image, std::vector<BYTE>& out) {
    const PngLayout layout = LayoutFor(TraitsOf(image.format));
    std::vector<BYTE> pixels;
    UINT pitch = 0;
    if (const HRESULT hr = ConvertTopImage(image, layout.convertTo, pixels, pitch); FAILED(hr)) return hr;
    const UINT width = image.Top().width, height = image.Top().height;
    std::vector<BYTE> row(static_cast<std::size_t>(width) * layout.channels * (layout.bitDepth / 8));
    png_color palette[256];
    png_byte transparency[256];
    int transparent = 0;  // entries up to the last one that is not opaque
    if (layout.colourType == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < 256; ++i) {
            const PALETTEENTRY& e = image.palette[i];
            palette[i] = {e.peRed, e.peGreen, e.peBlue};
            transparency[i] = e.peFlags;
            if (e.peFlags != 255) transparent = i + 1;
        }
    }
    PngSink sink{&out, false};
    return EncodePng(layout, pixels.data(), pitch, width, height, palette, transparency, transparent, row.data(),
                     &sink);
}

}  // namespace tarn::texture
