// Radiance RGBE files ("#?RADIANCE"): text header, resolution line, then scanlines in the flat or the adaptive
// run-length form. Decoded into owned D3DFMT_A32B32G32R32F pixels, divided by the product of the exposures.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ImageReader.h"
#include "ResourceLimits.h"

namespace tarn::texture {

namespace {

inline bool IsBlank(BYTE c) { return c == ' ' || c == '\t'; }

// A cursor over the file's bytes.
struct Cursor {
    const BYTE* data;
    std::uint64_t size, pos = 0;

    std::uint64_t Left() const { return size - pos; }
    bool StartsWith(const char* text) const {
        const std::size_t n = std::strlen(text);
        return Left() >= n && std::memcmp(data + pos, text, n) == 0;
    }
    // The line from the cursor up to its "\n" (not included); the cursor moves past the "\n". False when the data
    // ends before a "\n".
    bool Line(const char*& begin, std::size_t& length) {
        const void* nl = std::memchr(data + pos, '\n', Left());
        if (!nl) return false;
        begin = reinterpret_cast<const char*>(data + pos);
        length = static_cast<std::size_t>(static_cast<const BYTE*>(nl) - (data + pos));
        pos += length + 1;
        return true;
    }
};

const char* SkipBlanks(const char* p, const char* end) {
    while (p < end && IsBlank(static_cast<BYTE>(*p))) ++p;
    return p;
}

// The whole of [p, end) is one decimal number, possibly with blanks or a "\r" after it.
bool ParseNumberAlone(const char* p, const char* end, double& value) {
    p = SkipBlanks(p, end);
    if (!ParseDecimal(p, end, value)) return false;
    const char* q = p;
    while (q < end && (IsBlank(static_cast<BYTE>(*q)) || *q == '\r')) ++q;
    return q == end;
}

// One part of the resolution line: sign, axis letter, blanks, count.
bool ParseAxis(const char*& p, const char* end, char& sign, char& axis, std::uint32_t& count) {
    p = SkipBlanks(p, end);
    if (end - p < 2 || (p[0] != '-' && p[0] != '+') || (p[1] != 'X' && p[1] != 'Y')) return false;
    sign = p[0];
    axis = p[1];
    p = SkipBlanks(p + 2, end);
    const auto r = std::from_chars(p, end, count);
    if (r.ec != std::errc() || r.ptr == p) return false;
    p = r.ptr;
    return true;
}

// Reads one scanline of `length` pixels into `rgbe` (four bytes a pixel).
HRESULT ReadScanline(Cursor& in, std::uint32_t length, BYTE* rgbe) {
    if (in.Left() < 4) return RejectImage("HDR: scanline past end of data");
    const BYTE* head = in.data + in.pos;
    if (head[0] == 2 && head[1] == 2 && (head[2] & 0x80) == 0) {
        const std::uint32_t declared = static_cast<std::uint32_t>(head[2] << 8 | head[3]);
        if (declared != length) return RejectImage("HDR: run-length scanline of the wrong length");
        in.pos += 4;
        for (int channel = 0; channel < 4; ++channel) {
            std::uint32_t x = 0;
            while (x < length) {
                if (in.Left() < 1) return RejectImage("HDR: run-length packet past end of data");
                const BYTE count = in.data[in.pos++];
                if (count > 128) {
                    const std::uint32_t run = count - 128u;
                    if (run > length - x) return RejectImage("HDR: run-length packet past end of scanline");
                    if (in.Left() < 1) return RejectImage("HDR: run-length packet past end of data");
                    const BYTE v = in.data[in.pos++];
                    for (std::uint32_t i = 0; i < run; ++i) rgbe[(x + i) * 4 + channel] = v;
                    x += run;
                } else {
                    if (count > length - x) return RejectImage("HDR: literal packet past end of scanline");
                    if (in.Left() < count) return RejectImage("HDR: literal packet past end of data");
                    for (std::uint32_t i = 0; i < count; ++i) rgbe[(x + i) * 4 + channel] = in.data[in.pos + i];
                    in.pos += count;
                    x += count;
                }
            }
        }
        return S_OK;
    }
    // Flat form: the first group is a pixel; (1, 1, 1, n) repeats the previous pixel, n growing by a byte for
    // each repeat group that directly precedes it.
    std::memcpy(rgbe, head, 4);
    in.pos += 4;
    std::uint32_t x = 1;
    unsigned repeatShift = 0;
    while (x < length) {
        if (in.Left() < 4) return RejectImage("HDR: scanline past end of data");
        const BYTE* g = in.data + in.pos;
        in.pos += 4;
        if (g[0] == 1 && g[1] == 1 && g[2] == 1) {
            if (repeatShift >= 32) return RejectImage("HDR: repeat past end of scanline");
            const std::uint64_t n = static_cast<std::uint64_t>(g[3]) << repeatShift;
            if (n > length - x) return RejectImage("HDR: repeat past end of scanline");
            for (std::uint64_t i = 0; i < n; ++i, ++x) std::memcpy(rgbe + x * 4, rgbe + (x - 1) * 4, 4);
            repeatShift += 8;
        } else {
            std::memcpy(rgbe + x * 4, g, 4);
            ++x;
            repeatShift = 0;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT ReadHdr(DecodedImage& image, const BYTE* data, UINT size) {
    if (size <= 10 || std::memcmp(data, "#?RADIANCE", 10) != 0) return E_FAIL;
    Cursor in{data, size};
    const char* line;
    std::size_t length;
    if (!in.Line(line, length)) return RejectImage("HDR: header without end");

    bool haveFormat = false;
    double exposure = 1.0;
    for (;;) {
        if (in.StartsWith("FORMAT=")) {
            in.pos += 7;
            while (in.Left() && IsBlank(in.data[in.pos])) ++in.pos;
            if (in.Left() < 16) return RejectImage("HDR: FORMAT line past end of data");
            if (std::memcmp(in.data + in.pos, "32-bit_rle_rgbe", 15) != 0 &&
                std::memcmp(in.data + in.pos, "32-bit_rle_xyze", 15) != 0)
                return RejectImage("HDR: unknown pixel format");
            in.pos += 16;
            haveFormat = true;
            // Whatever follows the name up to the end of the line is not part of it.
            if (in.data[in.pos - 1] != '\n' && !in.Line(line, length)) return RejectImage("HDR: header without end");
            continue;
        }
        if (!in.Line(line, length)) return RejectImage("HDR: header without end");
        if (length == 0 || (length == 1 && line[0] == '\r')) break;
        if (length >= 9 && std::memcmp(line, "EXPOSURE=", 9) == 0) {
            if (length - 9 > 256) return RejectImage("HDR: EXPOSURE line too long");
            double value;
            if (!ParseNumberAlone(line + 9, line + length, value))
                return RejectImage("HDR: EXPOSURE is not one number");
            exposure *= value;
        }
    }
    if (!haveFormat) return RejectImage("HDR: no FORMAT line");
    // A zero, negative or infinite exposure would turn every pixel into infinities or nonsense.
    if (!(exposure > 0.0) || !std::isfinite(exposure)) return RejectImage("HDR: exposure is not a positive number");

    if (!in.Line(line, length) || length > 256 || length <= 2) return RejectImage("HDR: bad resolution line");
    char sign[2], axis[2];
    std::uint32_t count[2];
    const char* p = line;
    const char* end = line + length;
    if (!ParseAxis(p, end, sign[0], axis[0], count[0]) || !ParseAxis(p, end, sign[1], axis[1], count[1]) ||
        axis[0] == axis[1])
        return RejectImage("HDR: bad resolution line");
    while (p < end && (IsBlank(static_cast<BYTE>(*p)) || *p == '\r')) ++p;
    if (p != end || count[0] == 0 || count[1] == 0) return RejectImage("HDR: bad resolution line");

    // The first part names the axis along which scanlines follow each other, the second the one along a scanline.
    const bool scanlinesAreRows = axis[0] == 'Y';
    const std::uint32_t width = scanlinesAreRows ? count[1] : count[0];
    const std::uint32_t height = scanlinesAreRows ? count[0] : count[1];
    if (const HRESULT hr = CheckImageLimits("HDR", width, height); FAILED(hr)) return hr;
    // Repeat runs of the flat form multiply their counts, so a few bytes can stand for any scanline length.
    if (const HRESULT hr = CheckPixelsPerByte("HDR", std::uint64_t{width} * height, size, 16); FAILED(hr)) return hr;
    const std::uint64_t pitch = std::uint64_t{width} * 16;
    if (pitch > 0xFFFFFFFFu || pitch * height > 0xFFFFFFFFu) return RejectImage("HDR: image too large");
    // Every scanline takes at least four bytes, so a file far too short for its scanline count is refused before
    // the allocation.
    if (count[0] > size / 4) return RejectImage("HDR: data too short for the image");

    FillLevelZeroHeader(image, D3DFMT_A32B32G32R32F, width, height, static_cast<UINT>(pitch));
    if (!image.wantPixels) return S_OK;

    BYTE* out = image.AllocatePixels(pitch * height);
    if (!out) return E_OUTOFMEMORY;

    // 2^(e - 136) for every exponent byte: (c + 0.5) * scale is exact in float.
    float scale[256];
    for (int e = 0; e < 256; ++e) scale[e] = std::ldexp(1.0f, e - 136);
    const float exposureF = static_cast<float>(exposure);

    const std::uint32_t scanlines = count[0], length0 = count[1];
    std::vector<BYTE> rgbe;
    try {
        rgbe.resize(std::size_t{length0} * 4);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    for (std::uint32_t s = 0; s < scanlines; ++s) {
        const HRESULT hr = ReadScanline(in, length0, rgbe.data());
        if (FAILED(hr)) {
            image.Clear();
            return hr;
        }
        // Where pixel i of scanline s lands: (row, column) and the step between neighbours, in floats. The walk
        // is kept as an index, so that stepping past the first or last pixel after the scanline's end never forms
        // a pointer outside the buffer (right to left and column scanlines step backwards).
        std::int64_t row, col, step;
        if (scanlinesAreRows) {
            row = sign[0] == '-' ? s : height - 1 - s;
            col = sign[1] == '+' ? 0 : width - 1;
            step = sign[1] == '+' ? 4 : -4;
        } else {
            col = sign[0] == '+' ? s : width - 1 - s;
            row = sign[1] == '-' ? 0 : height - 1;
            step = (sign[1] == '-' ? 1 : -1) * static_cast<std::int64_t>(pitch / 4);
        }
        float* const floats = reinterpret_cast<float*>(out);
        std::int64_t at = row * static_cast<std::int64_t>(pitch / 4) + col * 4;
        const BYTE* px = rgbe.data();
        for (std::uint32_t i = 0; i < length0; ++i, px += 4, at += step) {
            float* const dst = floats + at;
            const float f = scale[px[3]];
            if (exposureF == 1.0f) {
                dst[0] = (px[0] + 0.5f) * f;
                dst[1] = (px[1] + 0.5f) * f;
                dst[2] = (px[2] + 0.5f) * f;
            } else {
                dst[0] = (px[0] + 0.5f) * f / exposureF;
                dst[1] = (px[1] + 0.5f) * f / exposureF;
                dst[2] = (px[2] + 0.5f) * f / exposureF;
            }
            dst[3] = 1.0f;
        }
    }
    return S_OK;
}

}  // namespace tarn::texture
