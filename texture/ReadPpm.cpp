// Portable pixmaps: "P3" (decimal samples) or "P6" (byte samples), width, height and maximum value, then red,
// green, blue per pixel, rows from the top. Decoded into owned D3DFMT_X8R8G8B8 pixels scaled to 0..255.
#include <cstdint>
#include <cstring>

#include "ImageReader.h"
#include "ResourceLimits.h"

namespace tarn::texture {

namespace {

inline bool IsSpace(BYTE c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

struct Cursor {
    const BYTE* data;
    std::uint64_t size, pos;

    // Skips white space and "#" comments, which run to the end of their line.
    void SkipSpaceAndComments() {
        while (pos < size) {
            if (IsSpace(data[pos])) {
                ++pos;
            } else if (data[pos] == '#') {
                while (pos < size && data[pos] != '\n') ++pos;
            } else {
                break;
            }
        }
    }

    enum class Token { Number, End, Bad };
    // The next decimal token. Bad: it holds a non-digit or its value needs more than 32 bits.
    Token Next(std::uint32_t& value) {
        SkipSpaceAndComments();
        if (pos >= size) return Token::End;
        std::uint64_t v = 0;
        const std::uint64_t start = pos;
        while (pos < size && !IsSpace(data[pos]) && data[pos] != '#') {
            const BYTE c = data[pos++];
            if (c < '0' || c > '9') return Token::Bad;
            v = v * 10 + (c - '0');
            if (v > 0xFFFFFFFFu) return Token::Bad;
        }
        if (pos == start) return Token::Bad;
        value = static_cast<std::uint32_t>(v);
        return Token::Number;
    }
};

}  // namespace

HRESULT ReadPpm(DecodedImage& image, const BYTE* data, UINT size) {
    if (size <= 1 || data[0] != 'P' || (data[1] != '3' && data[1] != '6')) return E_FAIL;
    const bool binary = data[1] == '6';
    Cursor in{data, size, 2};
    std::uint32_t header[3];
    for (std::uint32_t& v : header)
        if (in.Next(v) != Cursor::Token::Number) return RejectImage("PPM: bad header");
    const std::uint32_t width = header[0], height = header[1], maxValue = header[2];
    if (width == 0 || height == 0 || maxValue == 0) return RejectImage("PPM: zero size or maximum");
    if (binary && maxValue > 255) return RejectImage("PPM: binary samples wider than a byte");
    if (const HRESULT hr = CheckImageLimits("PPM", width, height); FAILED(hr)) return hr;

    const std::uint64_t pixels = std::uint64_t{width} * height;
    if (pixels > 0xFFFFFFFFu / 4) return RejectImage("PPM: image too large");
    if (binary) {
        // One white-space byte (a "\r" before it is skipped too) separates the header from the samples.
        if (in.pos < size && data[in.pos] == '\r') ++in.pos;
        if (in.pos >= size || !IsSpace(data[in.pos])) return RejectImage("PPM: no separator before the samples");
        ++in.pos;
        if (size - in.pos < pixels * 3) return RejectImage("PPM: samples past end of data");
    } else if (pixels > size / 2) {
        return RejectImage("PPM: samples past end of data");  // every text sample takes at least two bytes
    }

    FillLevelZeroHeader(image, D3DFMT_X8R8G8B8, width, height, width * 4);
    if (!image.wantPixels) return S_OK;

    BYTE* out = image.AllocatePixels(pixels * 4);
    if (!out) return E_OUTOFMEMORY;
    // Sample v maps to v * 255 / max; a sample above the maximum is damage, not a brighter colour.
    BYTE scaled[256];
    if (binary)
        for (std::uint32_t v = 0; v <= maxValue; ++v) scaled[v] = static_cast<BYTE>(v * 255 / maxValue);
    std::uint32_t* dst = reinterpret_cast<std::uint32_t*>(out);
    if (binary) {
        const BYTE* s = data + in.pos;
        for (std::uint64_t i = 0; i < pixels; ++i, s += 3) {
            if (s[0] > maxValue || s[1] > maxValue || s[2] > maxValue)
                return RejectImage("PPM: sample above the maximum");
            const std::uint32_t p = 0xFF000000u | (std::uint32_t{scaled[s[0]]} << 16) |
                                    (std::uint32_t{scaled[s[1]]} << 8) | scaled[s[2]];
            std::memcpy(dst + i, &p, 4);
        }
        return S_OK;
    }
    for (std::uint64_t i = 0; i < pixels; ++i) {
        std::uint32_t rgb[3];
        for (std::uint32_t& v : rgb) {
            if (in.Next(v) != Cursor::Token::Number) return RejectImage("PPM: missing or bad sample");
            if (v > maxValue) return RejectImage("PPM: sample above the maximum");
            v = static_cast<std::uint32_t>(std::uint64_t{v} * 255 / maxValue);
        }
        const std::uint32_t p = 0xFF000000u | (rgb[0] << 16) | (rgb[1] << 8) | rgb[2];
        std::memcpy(dst + i, &p, 4);
    }
    std::uint32_t extra;
    if (in.Next(extra) != Cursor::Token::End) return RejectImage("PPM: more samples than pixels");
    return S_OK;
}

}  // namespace tarn::texture
