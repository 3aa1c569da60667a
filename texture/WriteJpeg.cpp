// JPEG files through libjpeg-turbo, baseline at quality 90 (4:2:0 chroma): grey images as one component, the rest
// as RGB. Alpha has no place in the format and is dropped.
#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>
#include <new>

#include "ImageWriter.h"

namespace tarn::texture {

namespace {

constexpr int kQuality = 90;

struct JpegError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void JpegQuiet(j_common_ptr, int) {}

}  // namespace

HRESULT WriteJpeg(const SavedImage& image, std::vector<BYTE>& out) {
    const bool grey = TraitsOf(image.format).grey;
    std::vector<BYTE> pixels;
    UINT pitch = 0;
    if (const HRESULT hr = ConvertTopImage(image, grey ? D3DFMT_L8 : D3DFMT_R8G8B8, pixels, pitch); FAILED(hr))
        return hr;
    const UINT width = image.Top().width, height = image.Top().height;
    // JPEG sizes are 16-bit.
    if (width > 65500 || height > 65500) return D3DERR_INVALIDCALL;
    std::vector<BYTE> row(static_cast<std::size_t>(width) * 3);

    jpeg_compress_struct cinfo{};
    JpegError error{};
    cinfo.err = jpeg_std_error(&error.base);
    error.base.error_exit = JpegErrorExit;
    error.base.emit_message = JpegQuiet;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    // Nothing with a destructor is made between here and the last library call: a longjmp skips no destructor.
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return E_OUTOFMEMORY;  // the library fails only for want of memory on data it was given whole
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, kQuality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        const BYTE* in = pixels.data() + static_cast<std::size_t>(cinfo.next_scanline) * pitch;
        JSAMPROW rows[1] = {const_cast<BYTE*>(in)};
        if (!grey) {
            // R8G8B8 is stored blue first.
            for (UINT x = 0; x < width; ++x) {
                row[x * 3] = in[x * 3 + 2];
                row[x * 3 + 1] = in[x * 3 + 1];
                row[x * 3 + 2] = in[x * 3];
            }
            rows[0] = row.data();
        }
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    try {
        out.insert(out.end(), buffer, buffer + size);
    } catch (const std::bad_alloc&) {
        std::free(buffer);
        throw;
    }
    std::free(buffer);
    return S_OK;
}

}  // namespace tarn::texture
