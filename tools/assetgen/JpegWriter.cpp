#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>

#include "tools/assetgen/ImageWriters.h"

namespace tarn::assetgen {

namespace {
struct JpegError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
}  // namespace

bool EncodeJpeg(const Image& image, int quality, std::vector<std::uint8_t>* out, std::string* error) {
    out->clear();
    jpeg_compress_struct cinfo{};
    JpegError jerr{};
    cinfo.err = jpeg_std_error(&jerr.base);
    jerr.base.error_exit = JpegErrorExit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(image.width) * 3);
    if (setjmp(jerr.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        if (error) *error = "jpeg: encoding failed";
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < image.width; ++x) {
            const Rgba& p = image.at(x, y);
            row[static_cast<std::size_t>(x) * 3 + 0] = p.r;
            row[static_cast<std::size_t>(x) * 3 + 1] = p.g;
            row[static_cast<std::size_t>(x) * 3 + 2] = p.b;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    out->assign(buffer, buffer + size);
    std::free(buffer);
    return true;
}

}  // namespace tarn::assetgen
