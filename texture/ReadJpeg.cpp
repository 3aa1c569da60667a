// JPEG files through the libjpeg 6b interface: grey images become D3DFMT_L8, colour images D3DFMT_X8R8G8B8.
// Library errors leave through a non-local exit and end as E_FAIL; the decompressor is destroyed on every path.
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdint>
#include <cstring>

#include "math/D3DXMath.h"
#include "ImageReader.h"
#include "ResourceLimits.h"

namespace tarn::texture {

namespace {

// Whether colour is decoded straight into the output layout where the library can (see Decode).
std::atomic<bool> gDirectColour{true};

// The unused fourth byte of every X8R8G8B8 pixel, on both colour paths: each pixel is red << 16 | green << 8 | blue
// with the top byte 0. The library's own four-byte layout fills it with 255, so the direct path clears it.
constexpr BYTE kUnusedByte = 0;

struct ErrorManager {
    jpeg_error_mgr base;  // first, so that the library's pointer to it is a pointer to the whole
    std::jmp_buf exit;
};

[[noreturn]] void LeaveOnError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->exit, 1); }
void SayNothing(j_common_ptr) {}

// The whole file is the source buffer. Asked for more, the source fails the read at once: a file cut short is
// refused, and without this the decoder would go on to make up every missing row of the declared size (offering the
// same bytes again from their start can even send it round in circles for ever). Skips never move past the end.
struct MemorySource {
    jpeg_source_mgr base;
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
    ReportReaderError("JPEG: data ends before the image");
    cinfo->err->msg_code = JERR_INPUT_EOF;
    cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
    return FALSE;  // not reached: the error exit leaves through the non-local jump
}

void SkipInput(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    auto* src = reinterpret_cast<MemorySource*>(cinfo->src);
    const size_t skip = static_cast<size_t>(count) < src->base.bytes_in_buffer ? static_cast<size_t>(count)
                                                                               : src->base.bytes_in_buffer;
    src->base.next_input_byte += skip;
    src->base.bytes_in_buffer -= skip;
}

// Runs the decode under setjmp; the decompressor lives in the caller's frame and is destroyed there.
HRESULT Decode(DecodedImage& image, jpeg_decompress_struct& cinfo, ErrorManager& errors, std::uint64_t size) {
    if (setjmp(errors.exit)) return E_FAIL;
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.num_components != 1 && cinfo.num_components != 3) return E_FAIL;
    if (const HRESULT hr = CheckImageLimits("JPEG", cinfo.image_width, cinfo.image_height); FAILED(hr)) return hr;
    // Huffman coding spends at least one bit on every 8 x 8 block of every component (its DC value), so a file
    // holds at most 8 blocks per byte. A frame header that declares more than that is refused before the decoder
    // allocates for it or makes up the missing blocks. Arithmetic coding has no such floor: there the file is held
    // to the pixels-per-byte limit.
    if (!cinfo.arith_code) {
        std::uint64_t blocks = 0;
        for (int i = 0; i < cinfo.num_components; ++i)
            blocks += std::uint64_t{cinfo.comp_info[i].width_in_blocks} * cinfo.comp_info[i].height_in_blocks;
        if (blocks > size * 8) return RejectImage("JPEG: data too short for the declared size");
    } else if (const HRESULT hr = CheckPixelsPerByte("JPEG", std::uint64_t{cinfo.image_width} * cinfo.image_height,
                                                     size, cinfo.num_components == 1 ? 1 : 4);
               FAILED(hr)) {
        return hr;
    }
    if (UseMmx() == 0) cinfo.dct_method = JDCT_IFAST;
#ifdef JCS_EXTENSIONS
    // Colour is delivered straight in the output layout (blue, green, red, unused byte), which saves a pass over
    // every pixel; the library sets the unused byte to 255, which Decode then clears.
    if (cinfo.out_color_space == JCS_RGB && gDirectColour.load(std::memory_order_relaxed))
        cinfo.out_color_space = JCS_EXT_BGRX;
#endif
    // A header-only read only works out the output size: starting the decompressor would allocate its buffers
    // and, for a progressive file, read every scan.
    if (image.wantPixels) {
        jpeg_start_decompress(&cinfo);
    } else {
        jpeg_calc_output_dimensions(&cinfo);
    }

#ifdef JCS_EXTENSIONS
    const bool direct = cinfo.out_color_space == JCS_EXT_BGRX;  // colour rows already four bytes a pixel
#else
    const bool direct = false;
#endif
    const int components = direct ? 3 : cinfo.output_components;  // the picture's own component count
    if (components != 1 && components != 3) return E_FAIL;
    const std::uint64_t width = cinfo.output_width, height = cinfo.output_height;
    const std::uint64_t pitch = width * (components == 1 ? 1 : 4);
    if (width == 0 || height == 0 || pitch > 0xFFFFFFFFu) return E_FAIL;
    FillLevelZeroHeader(image, components == 1 ? D3DFMT_L8 : D3DFMT_X8R8G8B8, static_cast<UINT>(width),
                        static_cast<UINT>(height), static_cast<UINT>(pitch));
    if (!image.wantPixels) return S_OK;

    BYTE* pixels = image.AllocatePixels(pitch * height);
    if (!pixels) return E_OUTOFMEMORY;
    if (components == 1 || direct) {
        // Rows already in the output layout: decode straight into them, as many as the library gives at once.
        JSAMPROW rows[16];
        while (cinfo.output_scanline < cinfo.output_height) {
            const JDIMENSION first = cinfo.output_scanline;
            const JDIMENSION count = std::min<JDIMENSION>(16, cinfo.output_height - first);
            for (JDIMENSION i = 0; i < count; ++i) rows[i] = pixels + (first + i) * pitch;
            const JDIMENSION read = jpeg_read_scanlines(&cinfo, rows, count);
            // Cleared while the rows just written are still in cache.
            if (direct) {
                for (JDIMENSION i = 0; i < read; ++i)
                    for (std::uint64_t x = 3; x < pitch; x += 4) rows[i][x] = kUnusedByte;
            }
        }
    } else {
        JSAMPARRAY sample = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                       static_cast<JDIMENSION>(width * 3), 1);
        while (cinfo.output_scanline < cinfo.output_height) {
            BYTE* row = pixels + static_cast<std::uint64_t>(cinfo.output_scanline) * pitch;
            jpeg_read_scanlines(&cinfo, sample, 1);
            const JSAMPLE* s = sample[0];
            for (std::uint64_t x = 0; x < width; ++x, s += 3, row += 4) {
                row[0] = s[2];  // blue
                row[1] = s[1];  // green
                row[2] = s[0];  // red
                row[3] = kUnusedByte;
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    return S_OK;
}

}  // namespace

bool SetJpegDirectColour(bool enabled) { return gDirectColour.exchange(enabled); }

HRESULT ReadJpeg(DecodedImage& image, const BYTE* data, UINT size) {
    if (data == nullptr || size == 0) return E_FAIL;
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = LeaveOnError;
    errors.base.output_message = SayNothing;
    if (setjmp(errors.exit)) {
        jpeg_destroy_decompress(&cinfo);
        return E_FAIL;
    }
    jpeg_create_decompress(&cinfo);

    MemorySource source;
    source.base.init_source = InitSource;
    source.base.fill_input_buffer = FillInput;
    source.base.skip_input_data = SkipInput;
    source.base.resync_to_restart = jpeg_resync_to_restart;
    source.base.term_source = TermSource;
    source.base.next_input_byte = data;
    source.base.bytes_in_buffer = size;
    cinfo.src = &source.base;

    const HRESULT hr = Decode(image, cinfo, errors, size);
    jpeg_destroy_decompress(&cinfo);
    return hr;
}

}  // namespace tarn::texture
