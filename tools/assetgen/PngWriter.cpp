#include <png.h>

#include <csetjmp>

#include "tools/assetgen/ImageWriters.h"

namespace tarn::assetgen {

namespace {
struct PngSink {
    std::vector<std::uint8_t>* out;
};

void PngWrite(png_structp png, png_bytep data, png_size_t size) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    sink->out->insert(sink->out->end(), data, data + size);
}

void PngFlush(png_structp) {}
}  // namespace

bool EncodePng(const Image& image, std::vector<std::uint8_t>* out, std::string* error) {
    out->clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) {
        if (error) *error = "png: cannot create the write structure";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        if (error) *error = "png: cannot create the info structure";
        return false;
    }
    PngSink sink{out};
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        if (error) *error = "png: encoding failed";
        return false;
    }
    png_set_write_fn(png, &sink, PngWrite, PngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    for (int y = 0; y < image.height; ++y)
        rows[static_cast<std::size_t>(y)] =
            const_cast<png_bytep>(reinterpret_cast<const png_byte*>(&image.pixels[static_cast<std::size_t>(y) * image.width]));
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace tarn::assetgen
