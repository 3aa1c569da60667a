// The image-size limits shared by every reader, with their TARN_IMAGE_LIMITS override.
#include "ResourceLimits.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "ImageReader.h"

namespace tarn::texture {

namespace {

// Each value is read and written whole; readers only ever look at a consistent set between SetImageLimits calls.
struct LimitStore {
    std::atomic<std::uint64_t> width, height, pixels, ratio;
};

ImageLimits LimitsFromEnvironment() {
    ImageLimits limits = kDefaultImageLimits;
    const char* text = std::getenv("TARN_IMAGE_LIMITS");
    if (text != nullptr && !ParseImageLimits(text, limits)) {
        ReportReaderError("TARN_IMAGE_LIMITS is not a list of width=N, height=N, pixels=N, ratio=N: defaults kept");
    }
    return limits;
}

LimitStore& Store() {
    static LimitStore store = [] {
        const ImageLimits l = LimitsFromEnvironment();
        return LimitStore{{l.maxWidth}, {l.maxHeight}, {l.maxPixels}, {l.maxRatio}};
    }();
    return store;
}

}  // namespace

ImageLimits CurrentImageLimits() {
    LimitStore& s = Store();
    return {s.width.load(std::memory_order_relaxed), s.height.load(std::memory_order_relaxed),
            s.pixels.load(std::memory_order_relaxed), s.ratio.load(std::memory_order_relaxed)};
}

ImageLimits SetImageLimits(const ImageLimits& limits) {
    const ImageLimits previous = CurrentImageLimits();
    LimitStore& s = Store();
    s.width.store(limits.maxWidth, std::memory_order_relaxed);
    s.height.store(limits.maxHeight, std::memory_order_relaxed);
    s.pixels.store(limits.maxPixels, std::memory_order_relaxed);
    s.ratio.store(limits.maxRatio, std::memory_order_relaxed);
    return previous;
}

bool ParseImageLimits(const char* text, ImageLimits& limits) {
    if (text == nullptr) return false;
    ImageLimits parsed = limits;
    std::string_view rest(text);
    if (rest.empty()) return false;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) return false;
        const std::string_view key = item.substr(0, equals), value = item.substr(equals + 1);
        std::uint64_t n = 0;
        const auto r = std::from_chars(value.data(), value.data() + value.size(), n);
        if (r.ec != std::errc() || r.ptr != value.data() + value.size() || value.empty()) return false;
        if (n == 0 && key != "ratio") return false;  // only the ratio can be switched off
        if (key == "width") parsed.maxWidth = n;
        else if (key == "height") parsed.maxHeight = n;
        else if (key == "pixels") parsed.maxPixels = n;
        else if (key == "ratio") parsed.maxRatio = n;
        else return false;
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    limits = parsed;
    return true;
}

HRESULT CheckImageLimits(const char* reader, std::uint64_t width, std::uint64_t height, std::uint64_t depth) {
    const ImageLimits limits = CurrentImageLimits();
    const char* which = nullptr;
    std::uint64_t limit = 0;
    // 128-bit products: no declared size can wrap them.
    const unsigned __int128 area = static_cast<unsigned __int128>(width) * height;
    const bool pixelsOver = area > limits.maxPixels || area * depth > limits.maxPixels;
    if (width > limits.maxWidth) {
        which = "width";
        limit = limits.maxWidth;
    } else if (height > limits.maxHeight) {
        which = "height";
        limit = limits.maxHeight;
    } else if (pixelsOver) {
        which = "pixel";
        limit = limits.maxPixels;
    }
    if (which == nullptr) return S_OK;
    char line[200];
    std::snprintf(line, sizeof(line), "%s: image %llu x %llu x %llu exceeds the %s limit %llu (TARN_IMAGE_LIMITS)",
                  reader, static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
                  static_cast<unsigned long long>(depth), which, static_cast<unsigned long long>(limit));
    ReportReaderError(line);
    return D3DXERR_INVALIDDATA;
}

// What real writers reach, per byte of the whole file: a blank run-length bitmap written with runs of 255 pixels
// and one end-of-line per row holds about 127 pixels per byte, one written with nothing but an end-of-line per row
// width / 2; a Radiance file in the adaptive run-length form at most 16 (127 pixels for 8 bytes), a blank flat
// scanline with repeat runs about width / 12; a Huffman JPEG at most 512 (one bit per grey block). The ratio only
// bites where a file leans on the escapes that let a few bytes stand for an unbounded image. An arithmetic-coded
// JPEG of a blank image is one such file even from a real writer (128 bytes for 4096 x 4096 grey), and so is a
// blank bitmap whose rows are bare end-of-lines (5 KB for 4096 x 2048): the free allowance lets images of that
// size through, larger ones are refused like any other file of that ratio.
HRESULT CheckPixelsPerByte(const char* reader, std::uint64_t pixels, std::uint64_t fileBytes,
                           std::uint64_t decodedBytesPerPixel) {
    const std::uint64_t ratio = CurrentImageLimits().maxRatio;
    const std::uint64_t perPixel = decodedBytesPerPixel > 0 ? decodedBytesPerPixel : 1;
    const std::uint64_t free = std::min(kRatioFreePixels, kRatioFreeBytes / perPixel);
    if (ratio == 0 || pixels <= free || static_cast<unsigned __int128>(ratio) * fileBytes >= pixels) return S_OK;
    char line[200];
    std::snprintf(line, sizeof(line),
                  "%s: image of %llu pixels in %llu bytes exceeds the ratio limit %llu pixels per byte "
                  "(TARN_IMAGE_LIMITS)",
                  reader, static_cast<unsigned long long>(pixels), static_cast<unsigned long long>(fileBytes),
                  static_cast<unsigned long long>(ratio));
    ReportReaderError(line);
    return D3DXERR_INVALIDDATA;
}

}  // namespace tarn::texture
