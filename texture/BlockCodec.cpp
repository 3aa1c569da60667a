#include "BlockCodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "BlockCodecBlocks.h"
#include "BlockRoutines.h"

namespace tarn::texture {

namespace {

using BlockDecoder = void (*)(const std::uint8_t* block, float* out, std::size_t stride);
using BlockEncoder = void (*)(std::uint8_t* block, const float* pixels, const blocks::EncodeOptions& options);

class BlockCodec final : public PixelCodec {
public:
    BlockCodec(D3DFORMAT format, UINT blockBytes, BlockDecoder decode, BlockEncoder encode, int alphaBits)
        : PixelCodec(format, CodecCategory::Unsigned, 0),
          blockBytes_(blockBytes),
          decode_(decode),
          encode_(encode),
          alphaMax_(static_cast<float>((1 << alphaBits) - 1)) {}

    HRESULT Prepare() override {
        // Whole blocks: left and top rounded down, right and bottom rounded up to multiples of 4.
        blockLeft_ = box_.left / 4;
        blockTop_ = box_.top / 4;
        blocksAcross_ = (box_.right + 3) / 4 - blockLeft_;
        offsetX_ = box_.left - blockLeft_ * 4;
        memory_ = desc_.memory;
        if (memory_ != nullptr) {
            memory_ += static_cast<std::size_t>(box_.front) * slicePitch_ +
                       static_cast<std::size_t>(blockTop_) * rowPitch_ + static_cast<std::size_t>(blockLeft_) * blockBytes_;
        }
        quality_ = GetBlockQuality();                                 // one quality for the whole image
        cacheStride_ = static_cast<std::size_t>(blocksAcross_) * 16;  // floats in one pixel row of the cache
        cache_.reset(new (std::nothrow) float[cacheStride_ * 4]);
        if (!cache_) return E_OUTOFMEMORY;
        return S_OK;
    }

    void MakeColorKeyTestValue() override {
        // Keyed pixels are found by comparing at the format's precision (5-6-5 colour and the alpha bits), so
        // that the key matches the colour the encoder would have stored for it.
        QuantiseKey(colorKeyFloats_, key_);
        colorKeyTest_ = colorKeyFloats_;
    }

    void DecodeRow(UINT y, UINT z, Float4* out) override {
        const UINT absolute = box_.top + y;
        if (!cacheValid_ || cachedRow_ != absolute / 4 || cachedSlice_ != z) {
            FillCache(absolute / 4, z, cache_.get());
            cacheValid_ = true;
            cachedRow_ = absolute / 4;
            cachedSlice_ = z;
        }
        std::memcpy(out, cache_.get() + (absolute & 3) * cacheStride_ + offsetX_ * 4, sizeof(Float4) * width_);
        if (hasColorKey_) {
            for (UINT x = 0; x < width_; ++x) {
                int q[4];
                QuantiseKey(out[x], q);
                if (q[0] == key_[0] && q[1] == key_[1] && q[2] == key_[2] && q[3] == key_[3]) out[x] = {0, 0, 0, 0};
            }
            // The keying is done; the shared step below only converts sRGB.
            hasColorKey_ = false;
            FinishDecodedRow(out, width_);
            hasColorKey_ = true;
        } else {
            FinishDecodedRow(out, width_);
        }
    }

    void EncodeRow(UINT y, UINT z, const Float4* in) override {
        const UINT absolute = box_.top + y;
        const UINT blockRow = absolute / 4;
        const Float4* row = PrepareRowForEncode(in, width_);
        if (row == nullptr || (!gather_ && FAILED(AllocateGather()))) {
            encodeStatus_ = E_OUTOFMEMORY;
            return;
        }
        if (!pendingValid_ || pendingRow_ != blockRow || pendingSlice_ != z) {
            Flush();
            // Pixels of the widened blocks that lie outside the box keep what the destination holds.
            FillCache(blockRow, z, gather_.get());
            pendingValid_ = true;
            pendingRow_ = blockRow;
            pendingSlice_ = z;
        }
        std::memcpy(gather_.get() + (absolute & 3) * cacheStride_ + offsetX_ * 4, row, sizeof(Float4) * width_);
        if ((absolute & 3) == 3 || y + 1 == height_) Flush();
        // The destination changed under the decode cache.
        if (cacheValid_ && cachedRow_ == blockRow && cachedSlice_ == z) cacheValid_ = false;
    }

    HRESULT PrepareEncoding() override {
        const HRESULT hr = PixelCodec::PrepareEncoding();
        if (FAILED(hr)) return hr;
        return gather_ ? S_OK : AllocateGather();
    }

    HRESULT Finish() override {
        Flush();
        return EncodeStatus();
    }

private:
    HRESULT AllocateGather() {
        gather_ = AllocateBuffer<float>(cacheStride_ * 4, "BlockCodec gather rows");
        return gather_ ? S_OK : E_OUTOFMEMORY;
    }

    void QuantiseKey(const Float4& p, int q[4]) const {
        auto round = [](float v, float max) {
            v = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;  // NaN becomes 0
            return static_cast<int>(v * max + 0.5f);
        };
        q[0] = round(p.r, 31.0f);
        q[1] = round(p.g, 63.0f);
        q[2] = round(p.b, 31.0f);
        q[3] = round(p.a, alphaMax_);
    }

    BYTE* BlockRowPointer(UINT blockRow, UINT z) const {
        return memory_ + static_cast<std::size_t>(z) * slicePitch_ +
               static_cast<std::size_t>(blockRow - blockTop_) * rowPitch_;
    }

    void FillCache(UINT blockRow, UINT z, float* cache) const {
        const BYTE* src = BlockRowPointer(blockRow, z);
        for (UINT bx = 0; bx < blocksAcross_; ++bx, src += blockBytes_) decode_(src, cache + bx * 16, cacheStride_);
    }

    void Flush() {
        if (!pendingValid_) return;
        pendingValid_ = false;
        BYTE* dst = BlockRowPointer(pendingRow_, pendingSlice_);
        float pixels[64];
        // With dither, 4-bit alpha is truncated after adding the ordered-dither matrix of the other codecs:
        // blocks start at multiples of 4, so a pixel's place in its block is its place in the matrix.
        float thresholds[16];
        blocks::EncodeOptions options{quality_, nullptr};
        if (Dither()) {
            for (int i = 0; i < 16; ++i) thresholds[i] = threshold_[(i >> 2) * 8 + (i & 3) + (pendingSlice_ & 3)];
            options.alphaThreshold = thresholds;
        }
        for (UINT bx = 0; bx < blocksAcross_; ++bx, dst += blockBytes_) {
            for (int r = 0; r < 4; ++r)
                std::memcpy(pixels + r * 16, gather_.get() + r * cacheStride_ + bx * 16, sizeof(float) * 16);
            encode_(dst, pixels, options);
        }
    }

    UINT blockBytes_;
    BlockDecoder decode_;
    BlockEncoder encode_;
    float alphaMax_;
    BlockQuality quality_ = BlockQuality::Default;
    int key_[4] = {};
    UINT blockLeft_ = 0, blockTop_ = 0, blocksAcross_ = 0, offsetX_ = 0;
    std::size_t cacheStride_ = 0;
    std::unique_ptr<float[]> cache_;   // one decoded block row, four pixel rows of blocksAcross_ * 4 pixels
    std::unique_ptr<float[]> gather_;  // the block row being encoded
    bool cacheValid_ = false, pendingValid_ = false;
    UINT cachedRow_ = 0, cachedSlice_ = 0, pendingRow_ = 0, pendingSlice_ = 0;
};

}  // namespace

UINT BlockBytes(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_DXT1: return 8;
        case D3DFMT_DXT2: case D3DFMT_DXT3: case D3DFMT_DXT4: case D3DFMT_DXT5: return 16;
        default: return 0;
    }
}

HRESULT DecodeBlocksToA8R8G8B8(const ImageDesc& source, BYTE* dest, UINT destPitch) {
    using namespace tarn::texture::blocks;
    void (*decode)(const std::uint8_t*, std::uint32_t*);
    switch (source.format) {
        case D3DFMT_DXT1: decode = DecodeDxt1Argb8; break;
        case D3DFMT_DXT2: decode = DecodeDxt2Argb8; break;
        case D3DFMT_DXT3: decode = DecodeDxt3Argb8; break;
        case D3DFMT_DXT4: decode = DecodeDxt4Argb8; break;
        case D3DFMT_DXT5: decode = DecodeDxt5Argb8; break;
        default: return E_FAIL;
    }
    const UINT blockBytes = BlockBytes(source.format);
    const ImageBox& box = source.box;
    const BYTE* slice = source.memory + static_cast<std::size_t>(box.front) * source.slicePitch;
    std::uint32_t words[16];
    const blocks::BlockRoutineTable& routines = blocks::BlockRoutines();
    // Blocks wholly inside the box, in rows of blocks wholly inside it, go through the table's row decoders.
    const UINT wholeLeft = (box.left + 3) / 4, wholeRight = box.right / 4;
    const bool rowRoutine =
        (source.format == D3DFMT_DXT1 || source.format == D3DFMT_DXT3 || source.format == D3DFMT_DXT5) &&
        wholeLeft < wholeRight;
    for (UINT by = box.top / 4; by < (box.bottom + 3) / 4; ++by) {
        const BYTE* blockRow = slice + static_cast<std::size_t>(by) * source.rowPitch;
        const UINT y0 = std::max(box.top, by * 4), y1 = std::min(box.bottom, by * 4 + 4);
        const bool wholeRow = rowRoutine && y1 - y0 == 4;
        if (wholeRow) {
            const BYTE* first = blockRow + static_cast<std::size_t>(wholeLeft) * blockBytes;
            BYTE* out = dest + static_cast<std::size_t>(y0 - box.top) * destPitch +
                        static_cast<std::size_t>(wholeLeft * 4 - box.left) * 4;
            if (source.format == D3DFMT_DXT1)
                routines.decodeColourRow(first, 8, wholeRight - wholeLeft, out, destPitch);
            else if (source.format == D3DFMT_DXT3)
                routines.decodeDxt3Row(first, wholeRight - wholeLeft, out, destPitch);
            else
                routines.decodeDxt5Row(first, wholeRight - wholeLeft, out, destPitch);
        }
        for (UINT bx = box.left / 4; bx < (box.right + 3) / 4; ++bx) {
            if (wholeRow && bx == wholeLeft) bx = wholeRight;
            if (bx >= (box.right + 3) / 4) break;
            decode(blockRow + static_cast<std::size_t>(bx) * blockBytes, words);
            const UINT x0 = std::max(box.left, bx * 4), x1 = std::min(box.right, bx * 4 + 4);
            if (x1 - x0 == 4) {  // a whole block row inside the box: fixed-size copies
                for (UINT y = y0; y < y1; ++y) {
                    BYTE* out = dest + static_cast<std::size_t>(y - box.top) * destPitch +
                                static_cast<std::size_t>(x0 - box.left) * 4;
                    std::memcpy(out, words + (y & 3) * 4, 16);
                }
                continue;
            }
            for (UINT y = y0; y < y1; ++y) {
                BYTE* out = dest + static_cast<std::size_t>(y - box.top) * destPitch + static_cast<std::size_t>(x0 - box.left) * 4;
                std::memcpy(out, words + (y & 3) * 4 + (x0 & 3), (x1 - x0) * 4);
            }
        }
    }
    return S_OK;
}

PixelCodec* CreateBlockCodec(D3DFORMAT format) {
    using namespace tarn::texture::blocks;
    switch (format) {
        case D3DFMT_DXT1: return new (std::nothrow) BlockCodec(format, 8, DecodeDxt1, EncodeDxt1, 1);
        case D3DFMT_DXT2: return new (std::nothrow) BlockCodec(format, 16, DecodeDxt2, EncodeDxt2, 4);
        case D3DFMT_DXT3: return new (std::nothrow) BlockCodec(format, 16, DecodeDxt3, EncodeDxt3, 4);
        case D3DFMT_DXT4: return new (std::nothrow) BlockCodec(format, 16, DecodeDxt4, EncodeDxt4, 8);
        case D3DFMT_DXT5: return new (std::nothrow) BlockCodec(format, 16, DecodeDxt5, EncodeDxt5, 8);
        default: return nullptr;
    }
}

}  // namespace tarn::texture
