// Pixel codecs: one per format, each decoding rows of its pixels into rows of four floats (red, green, blue,
// alpha) and encoding such rows back, with colour key, sRGB, category conversion, dither and error diffusion.
// A codec lives for one transfer (BlitImage); it reads and writes the memory its ImageDesc names.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include "platform/FaultInjection.h"
#include "platform/d3d9/D3D9.h"
#include "FormatTable.h"

namespace tarn::texture {

// What a codec must do (every codec plugs in through the factory its format's row names in the format table;
// a factory returns a new codec for the format, or null if it has none):
//  - DecodeRow(y, z, out): write `width` four-float pixels of row y, slice z of the box (relative to the box
//    origin) into out, then call FinishDecodedRow(out) for the colour key and sRGB steps.
//  - EncodeRow(y, z, in): call PrepareRowForEncode(in) for category conversion and sRGB, then write `width`
//    pixels of row y, slice z. Integer channels are rounded with QuantizeRow (plain rounding, ordered
//    dither or error diffusion, as the destination's flags ask).
//  - Prepare() runs once after the base fields are set (override to widen the box, allocate caches, ...);
//    Finish() runs before destruction when the transfer succeeded (flush partial block rows there) and returns
//    EncodeStatus(). PrepareEncoding() runs on the destination before the first row (allocate encode buffers).
//  - MakeColorKeyTestValue(): the key as this format decodes it (the default encodes and decodes one pixel).
//  - Never read or write outside the box of the ImageDesc (block codecs: outside its widened block box).

struct Float4 {
    float r, g, b, a;
    bool operator==(const Float4&) const = default;
};

// The box of an image to transfer: right, bottom and back exclusive.
struct ImageBox {
    UINT left, top, right, bottom, front, back;
};

// One side of a transfer.
struct ImageDesc {
    BYTE* memory = nullptr;  // first byte of the image memory (not of the box)
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT rowPitch = 0;    // bytes between rows (block formats: between rows of blocks)
    UINT slicePitch = 0;  // bytes between slices
    ImageBox box = {0, 0, 0, 0, 0, 1};
    const PALETTEENTRY* palette = nullptr;  // 256 entries or null
    D3DCOLOR colorKey = 0;                  // ARGB; 0 for none
    bool dither = false;                    // destination only: 4 x 4 ordered dither
    bool diffusion = false;                 // destination only: Floyd-Steinberg error diffusion
    bool srgb = false;                      // source: sRGB in; destination: sRGB out
    // Rows stored bottom row first: `memory` points at image row 0 and row y lies y * rowPitch bytes before it.
    // Only for whole-pixel formats.
    bool rowsUpward = false;
};

class PixelCodec {
public:
    PixelCodec(D3DFORMAT format, CodecCategory category, UINT bitsPerPixel);
    virtual ~PixelCodec();
    PixelCodec(const PixelCodec&) = delete;
    PixelCodec& operator=(const PixelCodec&) = delete;

    virtual void DecodeRow(UINT y, UINT z, Float4* out) = 0;
    virtual void EncodeRow(UINT y, UINT z, const Float4* in) = 0;
    virtual void MakeColorKeyTestValue();
    virtual HRESULT Prepare() { return S_OK; }
    // The destination side: allocates what encoding needs once the conversion and sRGB settings are final and
    // before any row is written, so that a transfer short of memory fails with E_OUTOFMEMORY and leaves the
    // destination untouched. Codecs with buffers of their own (the block codec's gather rows) extend it.
    virtual HRESULT PrepareEncoding();
    virtual HRESULT Finish() { return EncodeStatus(); }
    // E_OUTOFMEMORY once a row could not be encoded for want of a buffer (only a codec used without
    // PrepareEncoding can meet that); S_OK otherwise.
    HRESULT EncodeStatus() const { return encodeStatus_; }

    // Sets the base fields from `desc` and runs Prepare. E_OUTOFMEMORY when a buffer cannot be had.
    HRESULT Initialize(const ImageDesc& desc);

    // Marks this side of a transfer whose other side is also sRGB (cheap square / square-root pair).
    void SetBothSidesSrgb(bool on) { bothSidesSrgb_ = on; }
    void DropSrgb() {
        srgb_ = false;
        bothSidesSrgb_ = false;
    }
    void SetConvertFrom(CodecCategory from) { convertFrom_ = from; }
    // Added to every value before integer rounding. Means of a few integer codes that end exactly in one half
    // can come out of float arithmetic a hair below it; a bias far below one code step makes them round up, as
    // the integer average (sum + n / 2) / n does.
    void SetRoundingBias(float bias) { roundingBias_ = bias; }
    float RoundingBias() const { return roundingBias_; }

    D3DFORMAT Format() const { return format_; }
    CodecCategory Category() const { return category_; }
    bool WholePixel() const { return wholePixel_; }
    bool Srgb() const { return srgb_; }
    bool HasColorKey() const { return hasColorKey_; }
    bool Palettised() const { return palettised_; }
    bool Dither() const { return dither_; }
    bool Diffusion() const { return diffusion_; }
    UINT Width() const { return width_; }
    UINT Height() const { return height_; }
    UINT Depth() const { return depth_; }
    UINT BytesPerPixel() const { return bytesPerPixel_; }
    UINT RowBytes() const { return rowBytes_; }
    UINT RowPitch() const { return rowPitch_; }
    UINT SlicePitch() const { return slicePitch_; }
    BYTE* Memory() const { return memory_; }  // advanced to the box origin
    const ImageDesc& Desc() const { return desc_; }
    const Float4* PaletteFloats() const { return paletteFloats_; }
    const Float4& ColorKeyFloats() const { return colorKeyFloats_; }
    const Float4& ColorKeyTestValue() const { return colorKeyTest_; }

    BYTE* RowPointer(UINT y, UINT z) const {
        return memory_ + static_cast<std::ptrdiff_t>(z) * slicePitch_ + static_cast<std::ptrdiff_t>(y) * rowStep_;
    }

    // Colour key (pixels equal to the test value become 0, 0, 0, 0), then sRGB to linear.
    void FinishDecodedRow(Float4* row, UINT count) const;
    // Category conversion and linear to sRGB; returns `in` itself when nothing changes, else a codec buffer.
    // Null when that buffer cannot be had: the row must then not be written (EncodeStatus reports it).
    const Float4* PrepareRowForEncode(const Float4* in, UINT count);

    // Rounds `count` pixels of row y, slice z to integers: q = trunc((v + e) * max + t), clamped to 0...max
    // (channels whose bit is set in `signedChannels`, 1 << c: floor, clamped to -max...max). max[c] = 0 leaves
    // channel c at 0. With error diffusion, odd rows are walked right to left. Writes four ints per pixel.
    void QuantizeRow(const Float4* in, UINT count, UINT y, UINT z, const float max[4], unsigned signedChannels,
                     std::int32_t* out);

protected:
    D3DFORMAT format_;
    CodecCategory category_;
    UINT bits_;
    bool wholePixel_;
    bool srgb_ = false;
    bool bothSidesSrgb_ = false;
    bool hasColorKey_ = false;
    bool palettised_ = false;
    bool dither_ = false;
    bool diffusion_ = false;
    float roundingBias_ = 0;
    BYTE* memory_ = nullptr;
    Float4 colorKeyFloats_ = {0, 0, 0, 0};
    Float4 colorKeyTest_ = {0, 0, 0, 0};
    const float* threshold_ = nullptr;  // 4 rows of 8 entries: row y % 4, column x % 4 + z % 4
    Float4 paletteFloats_[256];
    ImageBox box_ = {0, 0, 0, 0, 0, 1};
    CodecCategory convertFrom_ = CodecCategory::None;
    std::unique_ptr<Float4[]> convertBuffer_;
    UINT convertCapacity_ = 0;
    std::unique_ptr<Float4[]> diffusionRows_;  // two rows of width + 2 entries: this row and the next
    UINT rowPitch_ = 0;
    std::ptrdiff_t rowStep_ = 0;  // signed distance from one row to the next: -rowPitch_ for upward rows
    UINT slicePitch_ = 0;
    UINT width_ = 0, height_ = 0, depth_ = 0;
    UINT rowBytes_ = 0;
    UINT bytesPerPixel_ = 0;
    ImageDesc desc_;
    UINT diffusionRow_ = ~0u;  // row whose errors diffusionRows_ holds
    UINT diffusionSlice_ = ~0u;
    HRESULT encodeStatus_ = S_OK;
};

// new (std::nothrow) T[count], except that it gives null when a test has armed the fault named `site` (see
// platform/FaultInjection.h), so that the allocation failures of a transfer can be reached from tests.
template <typename T>
std::unique_ptr<T[]> AllocateBuffer(std::size_t count, const char* site) {
    if (tarn::platform::TakeFault(site, nullptr)) return nullptr;
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

// A codec for `desc.format`, initialised on `desc`; null when the format has no codec (or out of memory,
// reported through `result` when given).
std::unique_ptr<PixelCodec> CreatePixelCodec(const ImageDesc& desc, HRESULT* result = nullptr);

// True when `format` has a codec.
bool HasPixelCodec(D3DFORMAT format);

// The sRGB curve: 257-entry table from sRGB to linear indexed by trunc(v * v * 255), and its inverse.
float SrgbToLinear(float v);
float LinearToSrgb(float v);

}  // namespace tarn::texture
