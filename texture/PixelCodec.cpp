// The codec base (colour key, sRGB, category conversion, rounding with dither or error diffusion), and codec
// creation through the factory that the format table names for each format.
#include "PixelCodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <iterator>
#include <new>

#include "FormatTable.h"
#include "ImageReader.h"

namespace tarn::texture {

namespace {

// Thresholds added before truncation: plain rounding, or the 4 x 4 ordered-dither matrix. Each row repeats
// its four columns so that volumes can index it with (x mod 4) + (z mod 4).
constexpr float kRound[32] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f,
                              0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f,
                              0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
constexpr float kDither[32] = {
    31 / 32.f, 15 / 32.f, 27 / 32.f, 11 / 32.f, 31 / 32.f, 15 / 32.f, 27 / 32.f, 11 / 32.f,
    7 / 32.f,  23 / 32.f, 3 / 32.f,  19 / 32.f, 7 / 32.f,  23 / 32.f, 3 / 32.f,  19 / 32.f,
    25 / 32.f, 9 / 32.f,  29 / 32.f, 13 / 32.f, 25 / 32.f, 9 / 32.f,  29 / 32.f, 13 / 32.f,
    1 / 32.f,  17 / 32.f, 5 / 32.f,  21 / 32.f, 1 / 32.f,  17 / 32.f, 5 / 32.f,  21 / 32.f,
};

// sRGB to linear, sampled at v = sqrt(i / 255) so that indexing by trunc(v * v * 255) spends its entries
// where the curve bends; the entry past the end serves the interpolation at v = 1.
struct SrgbTable {
    float values[257];
    SrgbTable() {
        for (int i = 0; i < 257; ++i) {
            const double v = std::sqrt(i / 255.0);
            values[i] = static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
        }
    }
};
const SrgbTable kSrgb;

// NaN takes the lower end, so that no NaN reaches an integer conversion after a clamp.
float Clamp(float v, float lo, float hi) { return v > lo ? (v < hi ? v : hi) : lo; }

}  // namespace

float SrgbToLinear(float v) {
    v = Clamp(v, 0.0f, 1.0f);
    const float x = v * v * 255.0f;
    const int i = std::min(static_cast<int>(x), 255);
    const float f = x - static_cast<float>(i);
    return kSrgb.values[i] + (kSrgb.values[i + 1] - kSrgb.values[i]) * f;
}

float LinearToSrgb(float v) {
    v = Clamp(v, 0.0f, 1.0f);
    return v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
}

PixelCodec::PixelCodec(D3DFORMAT format, CodecCategory category, UINT bitsPerPixel)
    : format_(format), category_(category), bits_(bitsPerPixel), wholePixel_(bitsPerPixel != 0) {
    palettised_ = LookUpFormatDesc(format).family == FormatFamily::Palettised;
}

PixelCodec::~PixelCodec() = default;

HRESULT PixelCodec::Initialize(const ImageDesc& desc) {
    desc_ = desc;
    box_ = desc.box;
    rowPitch_ = desc.rowPitch;
    slicePitch_ = desc.slicePitch;
    width_ = box_.right - box_.left;
    height_ = box_.bottom - box_.top;
    depth_ = box_.back - box_.front;
    bytesPerPixel_ = bits_ / 8;
    rowBytes_ = width_ * bytesPerPixel_;
    rowStep_ = desc.rowsUpward ? -static_cast<std::ptrdiff_t>(rowPitch_) : static_cast<std::ptrdiff_t>(rowPitch_);
    memory_ = desc.memory;
    if (memory_ != nullptr) {
        memory_ += static_cast<std::ptrdiff_t>(box_.front) * slicePitch_ + static_cast<std::ptrdiff_t>(box_.top) * rowStep_ +
                   static_cast<std::ptrdiff_t>(box_.left) * bytesPerPixel_;
    }
    hasColorKey_ = desc.colorKey != 0;
    colorKeyFloats_ = {((desc.colorKey >> 16) & 0xFF) / 255.0f, ((desc.colorKey >> 8) & 0xFF) / 255.0f,
                       (desc.colorKey & 0xFF) / 255.0f, ((desc.colorKey >> 24) & 0xFF) / 255.0f};
    dither_ = desc.dither;
    diffusion_ = desc.diffusion;
    threshold_ = dither_ ? kDither : kRound;
    srgb_ = desc.srgb;
    if ((category_ == CodecCategory::Signed3 || category_ == CodecCategory::Signed4) && format_ != D3DFMT_L6V5U5) {
        srgb_ = false;
    }
    if (diffusion_) {
        diffusionRows_.reset(new (std::nothrow) Float4[2 * (static_cast<std::size_t>(width_) + 2)]);
        if (!diffusionRows_) return E_OUTOFMEMORY;
        std::fill_n(diffusionRows_.get(), 2 * (static_cast<std::size_t>(width_) + 2), Float4{0, 0, 0, 0});
    }
    if (palettised_) {
        for (int i = 0; i < 256; ++i) {
            if (desc.palette != nullptr) {
                const PALETTEENTRY& e = desc.palette[i];
                paletteFloats_[i] = {e.peRed / 255.0f, e.peGreen / 255.0f, e.peBlue / 255.0f, e.peFlags / 255.0f};
            } else {
                paletteFloats_[i] = {1.0f, 1.0f, 1.0f, 1.0f};
            }
        }
    }
    HRESULT hr = Prepare();
    if (FAILED(hr)) return hr;
    if (hasColorKey_) MakeColorKeyTestValue();
    return S_OK;
}

void PixelCodec::MakeColorKeyTestValue() { colorKeyTest_ = colorKeyFloats_; }

void PixelCodec::FinishDecodedRow(Float4* row, UINT count) const {
    if (hasColorKey_) {
        const Float4 key = colorKeyTest_;
        for (UINT x = 0; x < count; ++x) {
            if (row[x] == key) row[x] = {0, 0, 0, 0};
        }
    }
    if (!srgb_) return;
    const bool colourChannels = category_ == CodecCategory::Unsigned || category_ == CodecCategory::Float;
    for (UINT x = 0; x < count; ++x) {
        Float4& p = row[x];
        if (bothSidesSrgb_) {
            if (colourChannels) {
                p.r *= p.r;
                p.g *= p.g;
                p.b *= p.b;
            } else {
                p.a *= p.a;
            }
        } else if (colourChannels) {
            p.r = SrgbToLinear(p.r);
            p.g = SrgbToLinear(p.g);
            p.b = SrgbToLinear(p.b);
        } else {
            p.a = SrgbToLinear(p.a);
        }
    }
}

HRESULT PixelCodec::PrepareEncoding() {
    if ((convertFrom_ != CodecCategory::None || srgb_) && convertCapacity_ < width_) {
        convertBuffer_ = AllocateBuffer<Float4>(width_, "PixelCodec conversion row");
        convertCapacity_ = convertBuffer_ ? width_ : 0;
        if (!convertBuffer_) return E_OUTOFMEMORY;
    }
    return S_OK;
}

const Float4* PixelCodec::PrepareRowForEncode(const Float4* in, UINT count) {
    if (convertFrom_ == CodecCategory::None && !srgb_) return in;
    if (convertCapacity_ < count) {
        convertBuffer_ = AllocateBuffer<Float4>(count, "PixelCodec conversion row");
        convertCapacity_ = convertBuffer_ ? count : 0;
        if (!convertBuffer_) {
            encodeStatus_ = E_OUTOFMEMORY;
            return nullptr;
        }
    }
    Float4* out = convertBuffer_.get();
    std::copy_n(in, count, out);
    const CodecCategory from = convertFrom_;
    for (UINT x = 0; x < count && from != CodecCategory::None; ++x) {
        Float4& p = out[x];
        switch (category_) {
            case CodecCategory::Unsigned:
                if (from == CodecCategory::Signed3) {
                    p.r = (p.r + 1) * 0.5f, p.g = (p.g + 1) * 0.5f, p.b = (p.b + 1) * 0.5f;
                } else if (from == CodecCategory::Signed4) {
                    p = {(p.r + 1) * 0.5f, (p.g + 1) * 0.5f, (p.b + 1) * 0.5f, (p.a + 1) * 0.5f};
                } else if (from == CodecCategory::Float) {
                    p = {Clamp(p.r, 0, 1), Clamp(p.g, 0, 1), Clamp(p.b, 0, 1), Clamp(p.a, 0, 1)};
                }
                break;
            case CodecCategory::Signed3:
                if (from == CodecCategory::Unsigned) {
                    p.r = p.r * 2 - 1, p.g = p.g * 2 - 1, p.b = p.b * 2 - 1;
                } else if (from == CodecCategory::Signed4) {
                    p.a = (p.a + 1) * 0.5f;
                } else if (from == CodecCategory::Float) {
                    p = {Clamp(p.r, -1, 1), Clamp(p.g, -1, 1), Clamp(p.b, -1, 1), Clamp(p.a, 0, 1)};
                }
                break;
            case CodecCategory::Signed4:
                if (from == CodecCategory::Unsigned) {
                    p = {p.r * 2 - 1, p.g * 2 - 1, p.b * 2 - 1, p.a * 2 - 1};
                } else if (from == CodecCategory::Signed3) {
                    p.a = p.a * 2 - 1;
                } else if (from == CodecCategory::Float) {
                    p = {Clamp(p.r, -1, 1), Clamp(p.g, -1, 1), Clamp(p.b, -1, 1), Clamp(p.a, -1, 1)};
                }
                break;
            default:
                break;
        }
    }
    if (srgb_) {
        const bool colourChannels = category_ == CodecCategory::Unsigned || category_ == CodecCategory::Float;
        for (UINT x = 0; x < count; ++x) {
            Float4& p = out[x];
            if (bothSidesSrgb_) {
                if (colourChannels) {
                    p.r = std::sqrt(std::max(p.r, 0.0f));
                    p.g = std::sqrt(std::max(p.g, 0.0f));
                    p.b = std::sqrt(std::max(p.b, 0.0f));
                } else {
                    p.a = std::sqrt(std::max(p.a, 0.0f));
                }
            } else if (colourChannels) {
                p.r = LinearToSrgb(p.r);
                p.g = LinearToSrgb(p.g);
                p.b = LinearToSrgb(p.b);
            } else {
                p.a = LinearToSrgb(p.a);
            }
        }
    }
    return out;
}

namespace {

// Scaled values are kept inside this range before converting, so that huge or NaN inputs cannot overflow the int.
constexpr float kQuantizeLimit = 2147483000.0f;

std::int32_t QuantizeChannel(float v, float bias, float m, float t, bool isSigned) {
    float scaled = (v + bias) * m + t;
    if (!(scaled > -kQuantizeLimit)) scaled = -kQuantizeLimit;
    if (scaled > kQuantizeLimit) scaled = kQuantizeLimit;
    std::int32_t q = isSigned ? static_cast<std::int32_t>(std::floor(scaled)) : static_cast<std::int32_t>(scaled);
    const std::int32_t hi = static_cast<std::int32_t>(m);
    const std::int32_t lo = isSigned ? -hi : 0;
    return q < lo ? lo : (q > hi ? hi : q);
}

// `mask` ? a : b, lane by lane.
__m128i Select(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// QuantizeChannel on the four channels of each pixel at once, without error diffusion: the same float operations
// in the same order, the same range limits (a NaN takes the lower one, as MAXPS returns its second operand when
// the first is NaN), truncation or floor, then the channel's integer range. A channel whose max is 0 has the
// range 0...0.
void QuantizePixels(const Float4* in, UINT count, const float* thresholdRow, UINT z, float bias, const float max[4],
                    unsigned signedChannels, std::int32_t* out) {
    alignas(16) std::int32_t high[4], low[4], floors[4];
    for (int c = 0; c < 4; ++c) {
        const bool isSigned = ((signedChannels >> c) & 1) != 0;
        high[c] = max[c] != 0 ? static_cast<std::int32_t>(max[c]) : 0;
        low[c] = isSigned ? -high[c] : 0;
        floors[c] = isSigned ? -1 : 0;
    }
    const __m128 scale = _mm_loadu_ps(max);
    const __m128 offset = _mm_set1_ps(bias);
    const __m128 lowLimit = _mm_set1_ps(-kQuantizeLimit), highLimit = _mm_set1_ps(kQuantizeLimit);
    const __m128i hi = _mm_load_si128(reinterpret_cast<const __m128i*>(high));
    const __m128i lo = _mm_load_si128(reinterpret_cast<const __m128i*>(low));
    const __m128i useFloor = _mm_load_si128(reinterpret_cast<const __m128i*>(floors));
    for (UINT x = 0; x < count; ++x) {
        const __m128 t = _mm_set1_ps(thresholdRow[(x & 3) + (z & 3)]);
        __m128 scaled = _mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_loadu_ps(&in[x].r), offset), scale), t);
        scaled = _mm_min_ps(_mm_max_ps(scaled, lowLimit), highLimit);
        const __m128i truncated = _mm_cvttps_epi32(scaled);
        // Floor: one less where truncation rounded a negative fraction up (the comparison gives -1 there).
        const __m128i roundedUp = _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(truncated), scaled));
        __m128i q = Select(useFloor, _mm_add_epi32(truncated, roundedUp), truncated);
        q = Select(_mm_cmplt_epi32(q, lo), lo, q);
        q = Select(_mm_cmpgt_epi32(q, hi), hi, q);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), q);
    }
}

}  // namespace

void PixelCodec::QuantizeRow(const Float4* in, UINT count, UINT y, UINT z, const float max[4],
                             unsigned signedChannels, std::int32_t* out) {
    const float* thresholdRow = threshold_ + (y & 3) * 8;
    const float bias = roundingBias_;
    auto quantize = [&](float v, float m, float t, bool isSigned) { return QuantizeChannel(v, bias, m, t, isSigned); };

    if (!diffusion_) {
        QuantizePixels(in, count, thresholdRow, z, bias, max, signedChannels, out);
        return;
    }

    // Floyd-Steinberg in serpentine order: `cur` holds the errors owed to this row, `next` collects those for
    // the row below. Both have one spare entry at each end so that edge pixels need no tests.
    const std::size_t stride = static_cast<std::size_t>(width_) + 2;
    if (count > width_) count = width_;
    if (diffusionSlice_ != z || diffusionRow_ + 1 != y) {
        std::fill_n(diffusionRows_.get(), 2 * stride, Float4{0, 0, 0, 0});
    } else {
        // The errors collected for this row move to `cur`; `next` starts empty.
        std::copy_n(diffusionRows_.get() + stride, stride, diffusionRows_.get());
        std::fill_n(diffusionRows_.get() + stride, stride, Float4{0, 0, 0, 0});
    }
    diffusionRow_ = y;
    diffusionSlice_ = z;
    float* cur = &diffusionRows_[0].r;
    float* next = &diffusionRows_[stride].r;
    const bool leftward = (y & 1) != 0;
    const int dir = leftward ? -1 : 1;
    for (UINT i = 0; i < count; ++i) {
        const UINT x = leftward ? count - 1 - i : i;
        const std::size_t at = x + 1;
        const float t = thresholdRow[(x & 3) + (z & 3)];
        const float* v = &in[x].r;
        std::int32_t* q = out + 4 * x;
        for (int c = 0; c < 4; ++c) {
            if (max[c] == 0) {
                q[c] = 0;
                continue;
            }
            const float value = v[c] + cur[4 * at + c];
            q[c] = quantize(value, max[c], t, (signedChannels >> c) & 1);
            const float error = (value * max[c] - static_cast<float>(q[c])) / max[c];
            cur[4 * (at + dir) + c] += error * (7.0f / 16.0f);
            next[4 * (at - dir) + c] += error * (3.0f / 16.0f);
            next[4 * at + c] += error * (5.0f / 16.0f);
            next[4 * (at + dir) + c] += error * (1.0f / 16.0f);
        }
    }
}

std::unique_ptr<PixelCodec> CreatePixelCodec(const ImageDesc& desc, HRESULT* result) {
    if (result != nullptr) *result = E_FAIL;
    if (!HasPixelCodec(desc.format)) return nullptr;
    if (desc.rowsUpward && (IsBlockFormat(desc.format) || IsPackedPairFormat(desc.format))) return nullptr;
    std::unique_ptr<PixelCodec> codec(LookUpFormatDesc(desc.format).codec(desc.format));
    if (!codec) return nullptr;
    const HRESULT hr = codec->Initialize(desc);
    if (result != nullptr) *result = hr;
    if (FAILED(hr)) return nullptr;
    return codec;
}

bool HasPixelCodec(D3DFORMAT format) {
    const FormatDesc& desc = LookUpFormatDesc(format);
    return desc.format == format && desc.codec != nullptr;
}

}  // namespace tarn::texture
