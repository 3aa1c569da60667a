// Codecs for formats whose pixels are whole bytes. Packed integer formats are served by one codec class that
// follows the layout in the format's row of the format table (where each channel sits and how wide it is);
// palette and floating-point formats have their own small classes, sized from the same row.
#include "PlainCodecs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>

#include "math/D3DXMath.h"
#include "FormatTable.h"
#include "ImageReader.h"

namespace tarn::texture {

namespace {

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

// A unit value as a rounded byte. The comparisons are written so that NaN fails the first one and lands on 0
// before any conversion.
inline BYTE Round8(float v) {
    const float s = v * 255.0f + 0.5f;
    return !(s > 0.0f) ? 0 : (s >= 255.0f ? 255 : static_cast<BYTE>(s));
}

class PackedCodec final : public PixelCodec {
public:
    PackedCodec(D3DFORMAT format, const PackedLayout& layout)
        : PixelCodec(format, layout.category, layout.bytes * 8u), layout_(layout) {
        for (int c = 0; c < 4; ++c) {
            const PackedChannel& ch = layout.channel[c];
            const std::uint64_t mask = ch.bits >= 64 ? ~0ull : ((1ull << ch.bits) - 1);
            mask_[c] = mask;
            if (ch.kind == ChannelKind::Signed) {
                max_[c] = static_cast<float>((1ull << (ch.bits - 1)) - 1);
            } else if (ch.kind != ChannelKind::Absent) {
                max_[c] = static_cast<float>(mask);
            } else {
                max_[c] = 0;
            }
        }
        fast8888_ = (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8);
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
            const bool alpha = format_ == D3DFMT_A8R8G8B8;
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
                const PackedChannel& ch = layout_.channel[c];
                const std::uint64_t raw = (pixel >> ch.shift) & mask_[c];
                switch (ch.kind) {
                case ChannelKind::Unsigned:
                    v[c] = static_cast<float>(raw) / max_[c];
                    break;
                case ChannelKind::Signed: {
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
            if (format_ == D3DFMT_CxV8U8) {
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
            if (layout_.channel[c].kind == ChannelKind::Signed) signedChannels |= 1u << c;
        }
        QuantizeRow(in, count, y, z, max, signedChannels, scratch);
        const UINT bytes = layout_.bytes;
        for (UINT x = 0; x < count; ++x, dst += bytes) {
            std::uint64_t pixel = 0;
            for (int c = 0; c < 4; ++c) {
                const PackedChannel& ch = layout_.channel[c];
                if (ch.kind == ChannelKind::Absent) continue;
                pixel |= (static_cast<std::uint64_t>(static_cast<std::int64_t>(scratch[4 * x + c])) & mask_[c])
                         << ch.shift;
            }
            WritePixel(dst, pixel, bytes);
        }
    }

    const PackedLayout& layout_;
    std::uint64_t mask_[4];
    float max_[4];
    bool fast8888_ = false;
    std::unique_ptr<std::int32_t[]> scratch_;
    std::unique_ptr<Float4[]> lum_;
};

// P8 and A8P8: indices into the 256-entry palette of the ImageDesc, the 16-bit format with an alpha byte after
// each index. Writing picks the nearest entry.
class PaletteCodec final : public PixelCodec {
public:
    PaletteCodec(D3DFORMAT format, UINT bits) : PixelCodec(format, CodecCategory::Unsigned, bits), alpha_(bits == 16) {}

    void DecodeRow(UINT y, UINT z, Float4* out) override {
        const BYTE* src = RowPointer(y, z);
        for (UINT x = 0; x < width_; ++x) {
            if (alpha_) {
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
        for (UINT x = 0; x < width_; ++x) {
            const int r = Round8(in[x].r), g = Round8(in[x].g), b = Round8(in[x].b), a = Round8(in[x].a);
            int best = 0;
            long bestDistance = -1;
            for (int i = 0; i < 256 && bestDistance != 0; ++i) {
                const Float4& e = paletteFloats_[i];
                const long dr = Round8(e.r) - r, dg = Round8(e.g) - g, db = Round8(e.b) - b;
                const long da = alpha_ ? 0 : Round8(e.a) - a;
                const long d = dr * dr + dg * dg + db * db + da * da;
                if (bestDistance < 0 || d < bestDistance) {
                    bestDistance = d;
                    best = i;
                }
            }
            if (alpha_) {
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
    bool alpha_;  // A8P8: an alpha byte follows each index
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
    const FormatDesc& desc = LookUpFormatDesc(format);
    if (desc.format != format || desc.packed.bytes == 0) return nullptr;
    return new (std::nothrow) PackedCodec(format, desc.packed);
}

PixelCodec* CreatePaletteCodec(D3DFORMAT format) {
    const FormatDesc& desc = LookUpFormatDesc(format);
    if (desc.format != format || desc.codec != CreatePaletteCodec) return nullptr;
    return new (std::nothrow) PaletteCodec(format, desc.bits);
}

// The row gives the pixel size and the widest channel (16 for half floats, 32 for single); the channel count
// follows from the two.
PixelCodec* CreateFloatCodec(D3DFORMAT format) {
    const FormatDesc& desc = LookUpFormatDesc(format);
    if (desc.format != format || desc.codec != CreateFloatCodec) return nullptr;
    UINT channelBits = 0;
    for (int slot = 1; slot < 5; ++slot) channelBits = std::max<UINT>(channelBits, desc.widths[slot]);
    if (channelBits != 16 && channelBits != 32) return nullptr;
    return new (std::nothrow) FloatCodec(format, desc.bits / channelBits, channelBits == 16);
}

}  // namespace tarn::texture
