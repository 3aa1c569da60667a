// Portable float maps: "PF\n" (three channels) or "Pf\n" (one), a size line, a scale line whose sign gives the byte
// order (negative: little-endian), then rows of 32-bit floats from the bottom row up. Decoded into owned
// D3DFMT_A32B32G32R32F pixels, top row first, alpha 1.
#include <charconv>
#include <cstdint>
#include <cstring>

#include "ImageReader.h"
#include "ResourceLimits.h"

namespace tarn::texture {

namespace {

inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The line at `pos` (at most 256 bytes before its "\n"); `pos` moves past the "\n".
bool NextLine(const BYTE* data, std::uint64_t size, std::uint64_t& pos, const char*& begin, const char*& end) {
    const std::uint64_t limit = size - pos < 257 ? size - pos : 257;
    const void* nl = std::memchr(data + pos, '\n', limit);
    if (!nl) return false;
    begin = reinterpret_cast<const char*>(data + pos);
    end = static_cast<const char*>(nl);
    pos = static_cast<std::uint64_t>(static_cast<const BYTE*>(nl) - data) + 1;
    return true;
}

template <typename T>
bool ParseToken(const char*& p, const char* end, T& value) {
    while (p < end && IsSpace(*p)) ++p;
    const auto r = std::from_chars(p, end, value);
    if (r.ec != std::errc() || r.ptr == p) return false;
    p = r.ptr;
    return true;
}

bool AtEnd(const char* p, const char* end) {
    while (p < end && IsSpace(*p)) ++p;
    return p == end;
}

}  // namespace

HRESULT ReadPfm(DecodedImage& image, const BYTE* data, UINT size) {
    if (size <= 3 || data[0] != 'P' || (data[1] != 'F' && data[1] != 'f') || data[2] != '\n') return E_FAIL;
    const std::uint32_t channels = data[1] == 'F' ? 3 : 1;

    std::uint64_t pos = 3;
    const char *begin, *end;
    std::uint32_t width = 0, height = 0;
    if (!NextLine(data, size, pos, begin, end) || !ParseToken(begin, end, width) || !ParseToken(begin, end, height) ||
        !AtEnd(begin, end))
        return RejectImage("PFM: bad size line");
    double scale = 0.0;
    if (!NextLine(data, size, pos, begin, end)) return RejectImage("PFM: bad scale line");
    while (begin < end && IsSpace(*begin)) ++begin;
    if (!ParseDecimal(begin, end, scale) || !AtEnd(begin, end)) return RejectImage("PFM: bad scale line");
    if (width == 0 || height == 0) return RejectImage("PFM: empty image");
    if (const HRESULT hr = CheckImageLimits("PFM", width, height); FAILED(hr)) return hr;

    const std::uint64_t pitch = std::uint64_t{width} * 16;
    if (pitch > 0xFFFFFFFFu || pitch * height > 0xFFFFFFFFu) return RejectImage("PFM: image too large");
    const std::uint64_t rowFloats = std::uint64_t{width} * channels;
    if (size - pos < rowFloats * height * 4) return RejectImage("PFM: pixel data past end of data");

    FillLevelZeroHeader(image, D3DFMT_A32B32G32R32F, width, height, static_cast<UINT>(pitch));
    if (!image.wantPixels) return S_OK;

    BYTE* out = image.AllocatePixels(pitch * height);
    if (!out) return E_OUTOFMEMORY;
    // Only a positive scale means big-endian floats; zero, either sign, is little-endian like the negative ones.
    const bool bigEndian = scale > 0.0;
    const BYTE* src = data + pos;
    for (std::uint32_t y = 0; y < height; ++y) {
        const BYTE* s = src + (std::uint64_t{height} - 1 - y) * rowFloats * 4;  // file rows run bottom up
        float* d = reinterpret_cast<float*>(out + y * pitch);
        for (std::uint32_t x = 0; x < width; ++x, d += 4) {
            float v[3];
            for (std::uint32_t c = 0; c < channels; ++c, s += 4) {
                std::uint32_t bits;
                std::memcpy(&bits, s, 4);
                if (bigEndian) bits = __builtin_bswap32(bits);
                std::memcpy(&v[c], &bits, 4);
            }
            d[0] = v[0];
            d[1] = channels == 3 ? v[1] : v[0];
            d[2] = channels == 3 ? v[2] : v[0];
            d[3] = 1.0f;
        }
    }
    return S_OK;
}

}  // namespace tarn::texture
