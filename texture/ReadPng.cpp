// PNG files through libpng: grey, RGB, palette, grey with alpha and RGBA at every bit depth, with transparency
// chunks expanded to alpha, gamma applied as the file asks, 16-bit samples little-endian. Library errors leave
// through libpng's non-local exit and end as E_FAIL with both library structures destroyed.
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ImageReader.h"
#include "ResourceLimits.h"

namespace tarn::texture {

namespace {

constexpr double kScreenGamma = 2.2;

struct MemoryReader {
    const BYTE* data;
    std::uint64_t size, pos;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->pos) png_error(png, "read error");
    std::memcpy(out, reader->data + reader->pos, length);
    reader->pos += length;
}

[[noreturn]] void LeaveOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void IgnoreWarning(png_structp, png_const_charp) {}

// What the decode owns while libpng may jump out of it; released by the caller whatever happens.
struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_bytep* rows = nullptr;
};

// Everything that can raise a library error happens here, under setjmp. Only plain data lives in this frame
// across the jump; what must be freed afterwards is in `state`, which belongs to the caller.
HRESULT Decode(DecodedImage& image, MemoryReader& reader, PngState& state) {
    if (setjmp(png_jmpbuf(state.png))) return E_FAIL;
    png_structp png = state.png;
    png_infop info = state.info;
    png_set_read_fn(png, &reader, ReadFromMemory);
    // libpng keeps its own, smaller, size limits; ours decide, so libpng's follow them (it takes at most 2^31 - 1).
    const ImageLimits limits = CurrentImageLimits();
    png_set_user_limits(png, static_cast<png_uint_32>(limits.maxWidth < 0x7FFFFFFF ? limits.maxWidth : 0x7FFFFFFF),
                        static_cast<png_uint_32>(limits.maxHeight < 0x7FFFFFFF ? limits.maxHeight : 0x7FFFFFFF));
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    if (const HRESULT hr = CheckImageLimits("PNG", width, height); FAILED(hr)) return hr;

    // Starting format from the colour type, 8-bit layouts.
    D3DFORMAT format;
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY: format = D3DFMT_L8; break;
        case PNG_COLOR_TYPE_RGB: format = D3DFMT_R8G8B8; break;
        case PNG_COLOR_TYPE_PALETTE: format = D3DFMT_P8; break;
        case PNG_COLOR_TYPE_GRAY_ALPHA: format = D3DFMT_A8L8; break;
        case PNG_COLOR_TYPE_RGB_ALPHA: format = D3DFMT_A8R8G8B8; break;
        default: return E_FAIL;
    }
    if (bitDepth == 16) {
        png_set_swap(png);
        switch (format) {
            case D3DFMT_L8: format = D3DFMT_L16; break;
            case D3DFMT_R8G8B8: format = D3DFMT_INTERNAL_R16; break;
            case D3DFMT_A8L8: format = D3DFMT_INTERNAL_AL16; break;
            case D3DFMT_A8R8G8B8: format = D3DFMT_A16B16G16R16; break;
            default: return E_FAIL;  // 16-bit palettes do not exist
        }
    } else if (bitDepth < 8) {
        png_set_packing(png);
        if (colourType == PNG_COLOR_TYPE_GRAY) png_set_expand(png);
    }

    bool gammaApplied = false;
    double fileGamma = 0.0;
    int intent = 0;
    if (png_get_sRGB(png, info, &intent)) {
        png_set_sRGB(png, info, intent);
    } else if (png_get_gAMA(png, info, &fileGamma)) {
        png_set_gamma(png, kScreenGamma, fileGamma);
        gammaApplied = true;
    }

    if (format != D3DFMT_P8 && png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_expand(png);
        switch (static_cast<DWORD>(format)) {
            case D3DFMT_L8: format = D3DFMT_A8L8; break;
            case D3DFMT_R8G8B8: format = D3DFMT_A8R8G8B8; break;
            case D3DFMT_L16: format = D3DFMT_INTERNAL_AL16; break;
            case D3DFMT_INTERNAL_R16: format = D3DFMT_A16B16G16R16; break;
            default: break;  // already has alpha
        }
    }
    if (format == D3DFMT_R8G8B8 || format == D3DFMT_A8R8G8B8 || format == D3DFMT_INTERNAL_R16) png_set_bgr(png);
    if (format == D3DFMT_R8G8B8) {
        png_set_filler(png, 255, PNG_FILLER_AFTER);
        format = D3DFMT_X8R8G8B8;
    }
    int channels;
    switch (static_cast<DWORD>(format)) {
        case D3DFMT_X8R8G8B8: case D3DFMT_A8R8G8B8: case D3DFMT_A16B16G16R16: channels = 4; break;
        case D3DFMT_INTERNAL_R16: channels = 3; break;
        case D3DFMT_A8L8: case D3DFMT_INTERNAL_AL16: channels = 2; break;
        default: channels = 1; break;
    }
    // After the transformations every sample is one byte, or two at 16 bits. The row size is worked out here
    // rather than asked of libpng, whose update step allocates row buffers: a header-only read must not.
    const std::uint64_t rowBytes = std::uint64_t{width} * channels * (bitDepth == 16 ? 2 : 1);
    if (rowBytes > 0xFFFFFFFFu) return E_FAIL;
    FillLevelZeroHeader(image, format, width, height, static_cast<UINT>(rowBytes));
    if (!image.wantPixels) return S_OK;

    // The file's own rows (a filter byte, then the samples at the file's bit depth) come out of deflate, which
    // expands at most 1032 times: a file too small to hold them is refused before anything is allocated, so that
    // a few bytes cannot ask for gigabytes. Interlaced rows only add filter bytes.
    const int fileChannels = colourType == PNG_COLOR_TYPE_RGB ? 3
                             : colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                             : colourType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                                                                       : 1;
    const std::uint64_t fileRowBytes = (std::uint64_t{width} * fileChannels * bitDepth + 7) / 8 + 1;
    if (fileRowBytes * height > reader.size * 1032 + 1024)
        return RejectImage("PNG: data too short for the declared size");

    // Interlaced files are delivered as whole rows like any other.
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_channels(png, info) != channels || png_get_rowbytes(png, info) != rowBytes) return E_FAIL;
    BYTE* pixels = image.AllocatePixels(rowBytes * height);
    if (!pixels) return E_OUTOFMEMORY;
    state.rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!state.rows) return E_OUTOFMEMORY;
    for (png_uint_32 y = 0; y < height; ++y) state.rows[y] = pixels + y * rowBytes;
    png_read_image(png, state.rows);

    if (format == D3DFMT_P8) {
        PALETTEENTRY* palette = image.AllocatePalette();  // every entry opaque white to begin with
        if (!palette) return E_OUTOFMEMORY;
        png_colorp plte = nullptr;
        int entries = 0;
        if (png_get_valid(png, info, PNG_INFO_PLTE)) png_get_PLTE(png, info, &plte, &entries);
        png_bytep alphas = nullptr;
        int alphaCount = 0;
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_get_tRNS(png, info, &alphas, &alphaCount, nullptr);
        // The palette is handed back as stored, so the gamma correction asked of the library for pixels is
        // applied to its entries here; without a correction the table is the identity.
        BYTE table[256];
        const double screenGamma = gammaApplied ? kScreenGamma : 0.0;
        const bool correct = fileGamma > 0.000001 && screenGamma > 0.000001;
        for (int i = 0; i < 256; ++i) {
            table[i] = correct ? static_cast<BYTE>(std::pow(i / 255.0, 1.0 / (fileGamma * screenGamma)) * 255.0 + 0.5)
                               : static_cast<BYTE>(i);
        }
        if (entries > 256) entries = 256;
        for (int i = 0; i < entries; ++i) {
            palette[i].peRed = table[plte[i].red];
            palette[i].peGreen = table[plte[i].green];
            palette[i].peBlue = table[plte[i].blue];
            palette[i].peFlags = alphas && i < alphaCount ? alphas[i] : 255;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT ReadPng(DecodedImage& image, const BYTE* data, UINT size) {
    if (size == 0 || png_sig_cmp(data, 0, size) != 0) return E_FAIL;
    PngState state;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, LeaveOnError, IgnoreWarning);
    if (!state.png) return E_OUTOFMEMORY;
    state.info = png_create_info_struct(state.png);
    if (!state.info) {
        png_destroy_read_struct(&state.png, nullptr, nullptr);
        return E_OUTOFMEMORY;
    }
    MemoryReader reader{data, size, 0};
    const HRESULT hr = Decode(image, reader, state);
    png_destroy_read_struct(&state.png, &state.info, nullptr);
    std::free(state.rows);
    return hr;
}

}  // namespace tarn::texture
