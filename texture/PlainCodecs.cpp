// Codecs for formats whose pixels are whole bytes. Packed integer formats are described by one layout table
// (where each channel sits and how wide it is) and served by one codec class; palette and floating-point
// formats have their own small classes.
#include "texture/PlainCodecs.h"

#include <cmath>
#include <cstring>
#include <iterator>
#include <new>

#include "math/D3DXMath.h"
#include "texture/ImageReader.h"

namespace {

enum ChannelKind : BYTE { Absent = 0, Unsigned = 1, Signed = 2, EncodeOnly = 3 };

struct Channel {
    BYTE shift;
    BYTE bits;
    ChannelKind kind;
};

// Where red, green, blue and alpha sit in a little-endian pixel of `bytes` bytes. An absent channel decodes
// to its fill value; an encode-only channel (the X of X8R8G8B8) decodes as absent but receives alpha when
// written. A luminance layout keeps L in the red slot: it decodes into red, green and blue alike.
struct PackedLayout {
    D3DFORMAT format;
    CodecCategory category;
    BYTE bytes;
    Channel channel[4];  // red (or L, or U), green (V), blue (W), alpha (Q, or the L of mixed formats)
    float fill[4];
    bool luminance;
};

constexpr Channel None = {0, 0, Absent};
constexpr Channel U(BYTE shift, BYTE bits) { return {shift, bits, Unsigned}; }
constexpr Channel S(BYTE shift, BYTE bits) { return {shift, bits, Signed}; }
constexpr Channel X(BYTE shift, BYTE bits) { return {shift, bits, EncodeOnly}; }
constexpr CodecCategory kU = CodecCategory::Unsigned;
constexpr CodecCategory kS3 = CodecCategory::Signed3;
constexpr CodecCategory kS4 = CodecCategory::Signed4;

const PackedLayout kLayouts[] = {
    //                                 +------------------------ bytes per pixel
    //                                 |  red / L / U  green / V  blue / W   alpha / Q / L   fill values   luminance
    {D3DFMT_R8G8B8, kU,                3, {U(16, 8), U(8, 8), U(0, 8), None}, {0, 0, 0, 1}, false},
    {D3DFMT_A8R8G8B8, kU,              4, {U(16, 8), U(8, 8), U(0, 8), U(24, 8)}, {0, 0, 0, 1}, false},
    {D3DFMT_X8R8G8B8, kU,              4, {U(16, 8), U(8, 8), U(0, 8), X(24, 8)}, {0, 0, 0, 1}, false},
    {D3DFMT_R5G6B5, kU,                2, {U(11, 5), U(5, 6), U(0, 5), None}, {0, 0, 0, 1}, false},
    {D3DFMT_X1R5G5B5, kU,              2, {U(10, 5), U(5, 5), U(0, 5), X(15, 1)}, {0, 0, 0, 1}, false},
    {D3DFMT_A1R5G5B5, kU,              2, {U(10, 5), U(5, 5), U(0, 5), U(15, 1)}, {0, 0, 0, 1}, false},
    {D3DFMT_A4R4G4B4, kU,              2, {U(8, 4), U(4, 4), U(0, 4), U(12, 4)}, {0, 0, 0, 1}, false},
    {D3DFMT_R3G3B2, kU,                1, {U(5, 3), U(2, 3), U(0, 2), None}, {0, 0, 0, 1}, false},
    {D3DFMT_A8, kU,                    1, {None, None, None, U(0, 8)}, {0, 0, 0, 1}, false},
    {D3DFMT_A8R3G3B2, kU,              2, {U(5, 3), U(2, 3), U(0, 2), U(8, 8)}, {0, 0, 0, 1}, false},
    {D3DFMT_X4R4G4B4, kU,              2, {U(8, 4), U(4, 4), U(0, 4), X(12, 4)}, {0, 0, 0, 1}, false},
    {D3DFMT_A2B10G10R10, kU,           4, {U(0, 10), U(10, 10), U(20, 10), U(30, 2)}, {0, 0, 0, 1}, false},
    {D3DFMT_A8B8G8R8, kU,              4, {U(0, 8), U(8, 8), U(16, 8), U(24, 8)}, {0, 0, 0, 1}, false},
    {D3DFMT_X8B8G8R8, kU,              4, {U(0, 8), U(8, 8), U(16, 8), X(24, 8)}, {0, 0, 0, 1}, false},
    {D3DFMT_G16R16, kU,                4, {U(0, 16), U(16, 16), None, None}, {0, 0, 1, 1}, false},
    {D3DFMT_A2R10G10B10, kU,           4, {U(20, 10), U(10, 10), U(0, 10), U(30, 2)}, {0, 0, 0, 1}, false},
    {D3DFMT_A16B16G16R16, kU,          8, {U(0, 16), U(16, 16), U(32, 16), U(48, 16)}, {0, 0, 0, 1}, false},
    {D3DFMT_L8, kU,                    1, {U(0, 8), None, None, None}, {0, 0, 0, 1}, true},
    {D3DFMT_A8L8, kU,                  2, {U(0, 8), None, None, U(8, 8)}, {0, 0, 0, 1}, true},
    {D3DFMT_A4L4, kU,                  1, {U(0, 4), None, None, U(4, 4)}, {0, 0, 0, 1}, true},
    {D3DFMT_L16, kU,                   2, {U(0, 16), None, None, None}, {0, 0, 0, 1}, true},
    {D3DFMT_D16_LOCKABLE, kU,          2, {U(0, 16), None, None, None}, {0, 0, 0, 1}, true},
    {D3DFMT_INTERNAL_AL16, kU,         4, {U(0, 16), None, None, U(16, 16)}, {0, 0, 0, 1}, true},
    {D3DFMT_INTERNAL_R16, kU,          6, {U(32, 16), U(16, 16), U(0, 16), None}, {0, 0, 0, 1}, false},
    {D3DFMT_V8U8, kS3,                 2, {S(0, 8), S(8, 8), None, None}, {0, 0, 1, 1}, false},
    {D3DFMT_L6V5U5, kS3,               2, {S(0, 5), S(5, 5), None, U(10, 6)}, {0, 0, 1, 1}, false},
    {D3DFMT_X8L8V8U8, kS3,             4, {S(0, 8), S(8, 8), None, U(16, 8)}, {0, 0, 1, 1}, false},
    {D3DFMT_Q8W8V8U8, kS4,             4, {S(0, 8), S(8, 8), S(16, 8), S(24, 8)}, {0, 0, 0, 0}, false},
    {D3DFMT_V16U16, kS3,               4, {S(0, 16), S(16, 16), None, None}, {0, 0, 1, 1}, false},
    {D3DFMT_A2W10V10U10, kS3,          4, {S(0, 10), S(10, 10), S(20, 10), U(30, 2)}, {0, 0, 0, 1}, false},
    {D3DFMT_Q16W16V16U16, kS4,         8, {S(0, 16), S(16, 16), S(32, 16), S(48, 16)}, {0, 0, 0, 0}, false},
    {D3DFMT_CxV8U8, kS3,               2, {S(0, 8), S(8, 8), None, None}, {0, 0, 1, 1}, false},
};

std::uint64_t ReadPixel(const BYTE* p, UINT bytes) {
    std::uint64_t v = 0;
    std::memcpy(&v, p, bytes);  // little-endian host
    return v;
}

void WritePixel(BYTE* p, std::uint64_t v, UINT bytes) { std::memcpy(p, &v, bytes); }

// k / 255 for every byte, computed by division so that it equals the colour key's own floats exactly.
struct ByteFloats {
    float values[256];
    ByteFloats() {
        for (int i = 0; i < 256; ++i) values[i] = i / 255.0f;
    }
};
const ByteFloats kByte;

// Luminance written from colour: the usual Rec. 709 weights, which give back L for any grey.
float Luminance(const Float4& p) { return 0.2126f * p.r + 0.7152f * p.g + 0.0722f * p.b; }

class PackedCodec final : public PixelCodec {
public:
    explicit PackedCodec(const PackedLayout& layout)
        : PixelCodec(layout.format, layout.category, layout.bytes * 8u), layout_(layout) {
        for (int c = 0; c < 4; ++c) {
            const Channel& ch = layout.channel[c];
            const std::uint64_t mask = ch.bits >= 64 ? ~0ull : ((1ull << ch.bits) - 1);
            mask_[c] = mask;
            if (ch.kind == Signed) {
                max_[c] = static_cast<float>((1ull << (ch.bits - 1)) - 1);
            } else if (ch.kind != Absent) {
                max_[c] = static_cast<float>(mask);
            } else {
                max_[c] = 0;
            }
        }
        fast8888_ = (layout.format == D3DFMT_A8R8G8B8 || layout.format == D3DFMT_X8R8G8B8);
    }

    HRESULT Prepare() override {
        scratch_.reset(new (std::nothrow) std::int32_t[4 * static_cast<std::size_t>(width_ ? width_ : 1)]);
        if (layout_.luminance) lum_.reset(new (std::nothrow) Float4[width_ ? width_ : 1]);
        if (!scratch_ || (layout_.luminance && !lum_)) return E_OUTOFMEMORY;
        return S_OK;
    }

    void DecodeRow(UINT y, UINT z, Float4* out) override {
        DecodePixels(RowPointer(y, z), out, width_);
        FinishDecodedRow(out, width_);
    }

    void EncodeRow(UINT y, UINT z, const Float4* in) override {
        if (const Float4* row = PrepareRowForEncode(in, width_)) {
            EncodePixels(RowPointer(y, z), row, width_, y, z, scratch_.get());
        }
    }

    void MakeColorKeyTestValue() override {
        BYTE pixel[8] = {};
        std::int32_t q[4];
        const bool savedDiffusion = diffusion_;
        diffusion_ = false;
        EncodePixels(pixel, &colorKeyFloats_, 1, 0, 0, q);
        diffusion_ = savedDiffusion;
        DecodePixels(pixel, &colorKeyTest_, 1);
    }

private:
    void DecodePixels(const BYTE* src, Float4* out, UINT count) const {
        if (fast8888_) {
            const bool alpha = layout_.format == D3DFMT_A8R8G8B8;
            for (UINT x = 0; x < count; ++x, src += 4) {
                out[x] = {kByte.values[src[2]], kByte.values[src[1]], kByte.values[src[0]],
                          alpha ? kByte.values[src[3]] : 1.0f};
            }
            return;
        }
        const UINT bytes = layout_.bytes;
        for (UINT x = 0; x < count; ++x, src += bytes) {
            const std::uint64_t pixel = ReadPixel(src, bytes);
            float v[4];
            for (int c = 0; c < 4; ++c) {
                const Channel& ch = layout_.channel[c];
                const std::uint64_t raw = (pixel >> ch.shift) & mask_[c];
                switch (ch.kind) {
                    case Unsigned:
                        v[c] = static_cast<float>(raw) / max_[c];
                        break;
                    case Signed: {
                        // Sign-extend, then let the most negative code stand for -1 like its neighbour.
                        std::int64_t s = static_cast<std::int64_t>(raw);
                        if (raw >> (ch.bits - 1)) s -= static_cast<std::int64_t>(1) << ch.bits;
                        const float m = max_[c];
                        const float f = static_cast<float>(s);
                        v[c] = (f < -m ? -m : f) / m;
                        break;
                    }
                    default:
                        v[c] = layout_.fill[c];
                        break;
                }
            }
            if (layout_.luminance) v[1] = v[2] = v[0];
            if (layout_.format == D3DFMT_CxV8U8) {
                // The third channel of a normal map stored as two: the length that makes the vector a unit.
                const float w = 1.0f - v[0] * v[0] - v[1] * v[1];
                v[2] = w > 0 ? std::sqrt(w) : 0.0f;
            }
            out[x] = {v[0], v[1], v[2], v[3]};
        }
    }

    void EncodePixels(BYTE* dst, const Float4* in, UINT count, UINT y, UINT z, std::int32_t* scratch) {
        if (fast8888_ && !dither_ && !diffusion_) {
            const float bias = roundingBias_;
            for (UINT x = 0; x < count; ++x, dst += 4) {
                dst[0] = Round8(in[x].b + bias);
                dst[1] = Round8(in[x].g + bias);
                dst[2] = Round8(in[x].r + bias);
                dst[3] = Round8(in[x].a + bias);
            }
            return;
        }
        if (layout_.luminance) {
            Float4* lum = count == 1 && !lum_ ? nullptr : lum_.get();
            Float4 one;
            if (lum == nullptr) lum = &one;
            for (UINT x = 0; x < count; ++x) lum[x] = {Luminance(in[x]), 0, 0, in[x].a};
            in = lum;
        }
        float max[4];
        unsigned signedChannels = 0;
        for (int c = 0; c < 4; ++c) {
            max[c] = max_[c];
            if (layout_.channel[c].kind == Signed) signedChannels |= 1u << c;
        }
        QuantizeRow(in, count, y, z, max, signedChannels, scratch);
        const UINT bytes = layout_.bytes;
        for (UINT x = 0; x < count; ++x, dst += bytes) {
            std::uint64_t pixel = 0;
            for (int c = 0; c < 4; ++c) {
                const Channel& ch = layout_.channel[c];
                if (ch.kind == Absent) continue;
                pixel |= (static_cast<std::uint64_t>(static_cast<std::int64_t>(scratch[4 * x + c])) & mask_[c])
                         << ch.shift;
            }
            WritePixel(dst, pixel, bytes);
        }
    }

    // The comparisons are written so that NaN fails the first one and lands on 0 before any conversion.
    static BYTE Round8(float v) {
        const float s = v * 255.0f + 0.5f;
        return !(s > 0.0f) ? 0 : (s >= 255.0f ? 255 : static_cast<BYTE>(s));
    }

    const PackedLayout& layout_;
    std::uint64_t mask_[4];
    float max_[4];
    bool fast8888_ = false;
    std::unique_ptr<std::int32_t[]> scratch_;
    std::unique_ptr<Float4[]> lum_;
};

// P8 and A8P8: indices into the 256-entry palette of the ImageDesc. Writing picks the nearest entry.
class PaletteCodec final : public PixelCodec {
public:
    explicit PaletteCodec(D3DFORMAT format)
        : PixelCodec(format, CodecCategory::Unsigned, format == D3DFMT_A8P8 ? 16 : 8) {}

    void DecodeRow(UINT y, UINT z, Float4* out) override {
        const BYTE* src = RowPointer(y, z);
        const bool alpha = format_ == D3DFMT_A8P8;
        for (UINT x = 0; x < width_; ++x) {
            if (alpha) {
                out[x] = paletteFloats_[src[2 * x]];
                out[x].a = kByte.values[src[2 * x + 1]];
            } else {
                out[x] = paletteFloats_[src[x]];
            }
        }
        FinishDecodedRow(out, width_);
    }

    void EncodeRow(UINT y, UINT z, const Float4* in) override {
        in = PrepareRowForEncode(in, width_);
        if (in == nullptr) return;
        BYTE* dst = RowPointer(y, z);
        const bool alpha = format_ == D3DFMT_A8P8;
        for (UINT x = 0; x < width_; ++x) {
            const int r = Byte(in[x].r), g = Byte(in[x].g), b = Byte(in[x].b), a = Byte(in[x].a);
            int best = 0;
            long bestDistance = -1;
            for (int i = 0; i < 256 && bestDistance != 0; ++i) {
                const Float4& e = paletteFloats_[i];
                const long dr = Byte(e.r) - r, dg = Byte(e.g) - g, db = Byte(e.b) - b;
                const long da = alpha ? 0 : Byte(e.a) - a;
                const long d = dr * dr + dg * dg + db * db + da * da;
                if (bestDistance < 0 || d < bestDistance) {
                    bestDistance = d;
                    best = i;
                }
            }
            if (alpha) {
                dst[2 * x] = static_cast<BYTE>(best);
                dst[2 * x + 1] = static_cast<BYTE>(a);
            } else {
                dst[x] = static_cast<BYTE>(best);
            }
        }
    }

    // Palette entries and the key are both bytes / 255: compare with the key as it is.
    void MakeColorKeyTestValue() override { colorKeyTest_ = colorKeyFloats_; }

private:
    // NaN fails the first comparison and becomes 0, like the packed encoders.
    static int Byte(float v) {
        const float s = v * 255.0f + 0.5f;
        return !(s > 0.0f) ? 0 : (s >= 255.0f ? 255 : static_cast<int>(s));
    }
};

// Half and single floats; channels the format lacks decode as 1.
class FloatCodec final : public PixelCodec {
public:
    FloatCodec(D3DFORMAT format, UINT channels, bool half)
        : PixelCodec(format, CodecCategory::Float, channels * (half ? 16u : 32u)), channels_(channels), half_(half) {}

    void DecodeRow(UINT y, UINT z, Float4* out) override {
        DecodePixels(RowPointer(y, z), out, width_);
        FinishDecodedRow(out, width_);
    }
    void EncodeRow(UINT y, UINT z, const Float4* in) override {
        if (const Float4* row = PrepareRowForEncode(in, width_)) EncodePixels(RowPointer(y, z), row, width_);
    }
    void MakeColorKeyTestValue() override {
        BYTE pixel[16];
        EncodePixels(pixel, &colorKeyFloats_, 1);
        DecodePixels(pixel, &colorKeyTest_, 1);
    }

private:
    void DecodePixels(const BYTE* src, Float4* out, UINT count) const {
        for (UINT x = 0; x < count; ++x) {
            float v[4] = {1, 1, 1, 1};
            if (half_) {
                D3DXFLOAT16 h[4];
                std::memcpy(h, src + 2 * channels_ * x, 2 * channels_);
                D3DXFloat16To32Array(v, h, channels_);
            } else {
                std::memcpy(v, src + 4 * channels_ * x, 4 * channels_);
            }
            out[x] = {v[0], v[1], v[2], v[3]};
        }
    }
    void EncodePixels(BYTE* dst, const Float4* in, UINT count) const {
        for (UINT x = 0; x < count; ++x) {
            const float v[4] = {in[x].r, in[x].g, in[x].b, in[x].a};
            if (half_) {
                D3DXFLOAT16 h[4];
                D3DXFloat32To16Array(h, v, channels_);
                std::memcpy(dst + 2 * channels_ * x, h, 2 * channels_);
            } else {
                std::memcpy(dst + 4 * channels_ * x, v, 4 * channels_);
            }
        }
    }

    UINT channels_;
    bool half_;
};

}  // namespace

PixelCodec* CreatePackedCodec(D3DFORMAT format) {
    for (const PackedLayout& layout : kLayouts) {
        if (layout.format == format) return new (std::nothrow) PackedCodec(layout);
    }
    return nullptr;
}

PixelCodec* CreatePaletteCodec(D3DFORMAT format) {
    if (format != D3DFMT_P8 && format != D3DFMT_A8P8) return nullptr;
    return new (std::nothrow) PaletteCodec(format);
}

PixelCodec* CreateFloatCodec(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_R16F: return new (std::nothrow) FloatCodec(format, 1, true);
        case D3DFMT_G16R16F: return new (std::nothrow) FloatCodec(format, 2, true);
        case D3DFMT_A16B16G16R16F: return new (std::nothrow) FloatCodec(format, 4, true);
        case D3DFMT_R32F:
        case D3DFMT_D32F_LOCKABLE: return new (std::nothrow) FloatCodec(format, 1, false);
        case D3DFMT_G32R32F: return new (std::nothrow) FloatCodec(format, 2, false);
        case D3DFMT_A32B32G32R32F: return new (std::nothrow) FloatCodec(format, 4, false);
        default: return nullptr;
    }
}
