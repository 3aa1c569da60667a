#include "PackedPairCodec.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace tarn::texture {

namespace {

constexpr float kKr = 0.299f, kKg = 0.587f, kKb = 0.114f;

inline float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : (v == v ? v : 0.0f)); }
inline int Code(float v) {
    const float r = std::floor(v + 0.5f);
    return r < 0.0f ? 0 : (r > 255.0f ? 255 : (r == r ? static_cast<int>(r) : 0));
}

// Byte positions of the four values in a group: two per-pixel values (first and second pixel), then the two
// shared ones (chroma U, V; or red, blue).
struct Layout {
    int first, second, sharedA, sharedB;
    bool yuv;
};

class PackedPairCodec final : public PixelCodec {
public:
    PackedPairCodec(D3DFORMAT format, Layout layout) : PixelCodec(format, CodecCategory::Unsigned, 16), layout_(layout) {}

    HRESULT Prepare() override {
        // Whole pairs: left rounded down and right rounded up to even x.
        pairLeft_ = box_.left / 2;
        pairs_ = (box_.right + 1) / 2 - pairLeft_;
        offsetX_ = box_.left & 1;
        memory_ = desc_.memory;
        if (memory_ != nullptr) {
            memory_ += static_cast<std::size_t>(box_.front) * slicePitch_ +
                       static_cast<std::size_t>(box_.top) * rowPitch_ + static_cast<std::size_t>(pairLeft_) * 4;
        }
        row_.reset(new (std::nothrow) Float4[static_cast<std::size_t>(pairs_) * 2]);
        return row_ ? S_OK : E_OUTOFMEMORY;
    }

    void DecodeRow(UINT y, UINT z, Float4* out) override {
        DecodePairs(RowPointer(y, z), row_.get());
        std::memcpy(out, row_.get() + offsetX_, sizeof(Float4) * width_);
        FinishDecodedRow(out, width_);
    }

    void EncodeRow(UINT y, UINT z, const Float4* in) override {
        BYTE* dst = RowPointer(y, z);
        const Float4* src = PrepareRowForEncode(in, width_);
        if (src == nullptr) return;
        Float4* full = row_.get();
        // Pairs at the ends that the box covers only in part keep the pixel outside it.
        if (offsetX_ != 0 || ((offsetX_ + width_) & 1) != 0) DecodePairs(dst, full);
        std::memcpy(full + offsetX_, src, sizeof(Float4) * width_);
        for (UINT p = 0; p < pairs_; ++p, dst += 4) EncodePair(full[2 * p], full[2 * p + 1], dst);
    }

private:
    void DecodePairs(const BYTE* src, Float4* out) const {
        for (UINT p = 0; p < pairs_; ++p, src += 4, out += 2) {
            if (layout_.yuv) {
                float rgb[3];
                YuvToRgb(src[layout_.first], src[layout_.sharedA], src[layout_.sharedB], rgb);
                out[0] = {rgb[0], rgb[1], rgb[2], 1.0f};
                YuvToRgb(src[layout_.second], src[layout_.sharedA], src[layout_.sharedB], rgb);
                out[1] = {rgb[0], rgb[1], rgb[2], 1.0f};
            } else {
                const float r = src[layout_.sharedA] / 255.0f, b = src[layout_.sharedB] / 255.0f;
                out[0] = {r, src[layout_.first] / 255.0f, b, 1.0f};
                out[1] = {r, src[layout_.second] / 255.0f, b, 1.0f};
            }
        }
    }

    void EncodePair(const Float4& p0, const Float4& p1, BYTE* dst) const {
        int a, b, sa, sb;
        if (layout_.yuv) {
            const float rgb0[3] = {p0.r, p0.g, p0.b}, rgb1[3] = {p1.r, p1.g, p1.b};
            RgbToYuvPair(rgb0, rgb1, a, b, sa, sb);
        } else {
            a = Code(Clamp01(p0.g) * 255.0f);
            b = Code(Clamp01(p1.g) * 255.0f);
            sa = Code((Clamp01(p0.r) + Clamp01(p1.r)) * 127.5f);
            sb = Code((Clamp01(p0.b) + Clamp01(p1.b)) * 127.5f);
        }
        dst[layout_.first] = static_cast<BYTE>(a);
        dst[layout_.second] = static_cast<BYTE>(b);
        dst[layout_.sharedA] = static_cast<BYTE>(sa);
        dst[layout_.sharedB] = static_cast<BYTE>(sb);
    }

    Layout layout_;
    UINT pairLeft_ = 0, pairs_ = 0, offsetX_ = 0;
    std::unique_ptr<Float4[]> row_;  // one row of whole pairs
};

}  // namespace

void YuvToRgb(int y, int u, int v, float rgb[3]) {
    const float luma = (static_cast<float>(y) - 16.0f) / 219.0f;
    const float cb = (static_cast<float>(u) - 128.0f) / 224.0f;
    const float cr = (static_cast<float>(v) - 128.0f) / 224.0f;
    rgb[0] = Clamp01(luma + 2.0f * (1.0f - kKr) * cr);
    rgb[1] = Clamp01(luma - (2.0f * (1.0f - kKb) * kKb / kKg) * cb - (2.0f * (1.0f - kKr) * kKr / kKg) * cr);
    rgb[2] = Clamp01(luma + 2.0f * (1.0f - kKb) * cb);
}

void RgbToYuvPair(const float rgb0[3], const float rgb1[3], int& y0, int& y1, int& u, int& v) {
    float r[2], g[2], b[2], luma[2];
    for (int i = 0; i < 2; ++i) {
        const float* c = i == 0 ? rgb0 : rgb1;
        r[i] = Clamp01(c[0]);
        g[i] = Clamp01(c[1]);
        b[i] = Clamp01(c[2]);
        luma[i] = kKr * r[i] + kKg * g[i] + kKb * b[i];
    }
    y0 = Code(16.0f + 219.0f * luma[0]);
    y1 = Code(16.0f + 219.0f * luma[1]);
    const float meanLuma = (luma[0] + luma[1]) * 0.5f;
    const float meanR = (r[0] + r[1]) * 0.5f, meanB = (b[0] + b[1]) * 0.5f;
    u = Code(128.0f + 224.0f * (meanB - meanLuma) / (2.0f * (1.0f - kKb)));
    v = Code(128.0f + 224.0f * (meanR - meanLuma) / (2.0f * (1.0f - kKr)));
}

PixelCodec* CreatePackedPairCodec(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_YUY2: return new (std::nothrow) PackedPairCodec(format, {0, 2, 1, 3, true});
        case D3DFMT_UYVY: return new (std::nothrow) PackedPairCodec(format, {1, 3, 0, 2, true});
        case D3DFMT_R8G8_B8G8: return new (std::nothrow) PackedPairCodec(format, {0, 2, 1, 3, false});
        case D3DFMT_G8R8_G8B8: return new (std::nothrow) PackedPairCodec(format, {1, 3, 0, 2, false});
        default: return nullptr;
    }
}

}  // namespace tarn::texture
