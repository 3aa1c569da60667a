// The transfer core and the methods that do not filter: copy, convert, no filter and point.
#include "BlitImage.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "BlockCodec.h"
#include "FormatTable.h"
#include "TransferMethods.h"

namespace tarn::texture {

namespace {

bool SamePalette(const PALETTEENTRY* a, const PALETTEENTRY* b) {
    if (a == b) return true;
    if (a == nullptr || b == nullptr) return false;
    return std::memcmp(a, b, 256 * sizeof(PALETTEENTRY)) == 0;
}

// Bytes of one stored row of the box and where it starts, for whole pixels, 4 x 4 blocks or pixel pairs.
struct StoredRows {
    BYTE* first;
    std::size_t rowBytes;
    UINT rows;
    std::ptrdiff_t step;  // from one stored row of the box to the next
};

StoredRows StoredRowsOf(const ImageDesc& d) {
    const UINT width = d.box.right - d.box.left;
    const UINT height = d.box.bottom - d.box.top;
    BYTE* base = d.memory + static_cast<std::size_t>(d.box.front) * d.slicePitch;
    if (IsBlockFormat(d.format)) {
        const std::size_t blockBytes = d.format == D3DFMT_DXT1 ? 8 : 16;
        const UINT left = d.box.left / 4, top = d.box.top / 4;
        const UINT right = (d.box.right + 3) / 4, bottom = (d.box.bottom + 3) / 4;
        return {base + static_cast<std::size_t>(top) * d.rowPitch + left * blockBytes, (right - left) * blockBytes,
                bottom - top, static_cast<std::ptrdiff_t>(d.rowPitch)};
    }
    if (IsPackedPairFormat(d.format)) {
        const UINT left = d.box.left / 2, right = (d.box.right + 1) / 2;
        return {base + static_cast<std::size_t>(d.box.top) * d.rowPitch + left * 4u, (right - left) * 4u, height,
                static_cast<std::ptrdiff_t>(d.rowPitch)};
    }
    const std::size_t bpp = LookUpFormatDesc(d.format).bits / 8;
    const std::ptrdiff_t step = d.rowsUpward ? -static_cast<std::ptrdiff_t>(d.rowPitch) : static_cast<std::ptrdiff_t>(d.rowPitch);
    return {base + static_cast<std::ptrdiff_t>(d.box.top) * step + static_cast<std::ptrdiff_t>(d.box.left * bpp),
            width * bpp, height, step};
}

// Every row of every slice of a box of `width` four-float pixels goes through one reusable row.
class RowBuffer {
public:
    explicit RowBuffer(UINT width) : row_(new (std::nothrow) Float4[width ? width : 1]) {}
    Float4* get() const { return row_.get(); }
    explicit operator bool() const { return row_ != nullptr; }

private:
    std::unique_ptr<Float4[]> row_;
};

}  // namespace

HRESULT TransferCopy(Transfer& t) {
    if (t.destDesc.format != t.sourceDesc.format || t.source.HasColorKey() || !t.SameSize() ||
        t.dest.Srgb() != t.source.Srgb()) {
        return kTransferNotApplicable;
    }
    if (t.dest.Palettised() && !SamePalette(t.destDesc.palette, t.sourceDesc.palette)) return kTransferNotApplicable;
    // Blocks and pixel pairs move whole, so both boxes must sit at the same place within their blocks (or pairs):
    // otherwise boxes of the same size cover different numbers of block rows or columns, and the pixels have to
    // be regrouped through the codecs.
    const UINT groupWidth = IsBlockFormat(t.destDesc.format) ? 4 : IsPackedPairFormat(t.destDesc.format) ? 2 : 1;
    const UINT groupHeight = IsBlockFormat(t.destDesc.format) ? 4 : 1;
    if (t.destDesc.box.left % groupWidth != t.sourceDesc.box.left % groupWidth ||
        t.destDesc.box.top % groupHeight != t.sourceDesc.box.top % groupHeight) {
        return kTransferNotApplicable;
    }
    const StoredRows from = StoredRowsOf(t.sourceDesc);
    const StoredRows to = StoredRowsOf(t.destDesc);
    // Rows that follow each other without gaps on both sides move as one block per slice: the library's large-copy
    // routine beats one call per row once a load no longer fits in cache (a DXT1 cube of six 512 x 512 faces
    // loads about a tenth faster, texture_bench CubeDxt1).
    const bool packedRows =
        from.step == static_cast<std::ptrdiff_t>(from.rowBytes) && to.step == static_cast<std::ptrdiff_t>(to.rowBytes);
    for (UINT z = 0; packedRows && z < t.dest.Depth(); ++z) {
        std::memcpy(to.first + static_cast<std::size_t>(z) * t.destDesc.slicePitch,
                    from.first + static_cast<std::size_t>(z) * t.sourceDesc.slicePitch, to.rowBytes * to.rows);
    }
    for (UINT z = 0; !packedRows && z < t.dest.Depth(); ++z) {
        const BYTE* s = from.first + static_cast<std::size_t>(z) * t.sourceDesc.slicePitch;
        BYTE* d = to.first + static_cast<std::size_t>(z) * t.destDesc.slicePitch;
        // Each row's address is formed only for a row that exists: stepping past the last row of a bottom-up
        // image would point before its buffer.
        for (UINT y = 0; y < to.rows; ++y) {
            std::memcpy(d + static_cast<std::ptrdiff_t>(y) * to.step, s + static_cast<std::ptrdiff_t>(y) * from.step,
                        to.rowBytes);
        }
    }
    return S_OK;
}

// Compressed files loaded into plain 32-bit textures are the common same-size conversion: the block decoder
// writes those pixels directly, byte for byte what the four-float rows give, at a fraction of the cost.
static bool DecodesBlocksDirectly(const Transfer& t) {
    const ImageDesc& d = t.destDesc;
    return IsBlockFormat(t.sourceDesc.format) && d.format == D3DFMT_A8R8G8B8 && !t.source.HasColorKey() &&
           !t.source.Srgb() && !t.dest.Srgb() && !d.dither && !d.diffusion && !d.rowsUpward && t.dest.Depth() == 1;
}

HRESULT TransferConvert(Transfer& t) {
    if (!t.SameSize()) return kTransferNotApplicable;
    if (DecodesBlocksDirectly(t)) {
        const ImageDesc& d = t.destDesc;
        BYTE* first = d.memory + static_cast<std::size_t>(d.box.front) * d.slicePitch +
                      static_cast<std::size_t>(d.box.top) * d.rowPitch + static_cast<std::size_t>(d.box.left) * 4;
        return DecodeBlocksToA8R8G8B8(t.sourceDesc, first, d.rowPitch);
    }
    t.DropBothSrgb();
    RowBuffer row(t.dest.Width());
    if (!row) return E_OUTOFMEMORY;
    for (UINT z = 0; z < t.dest.Depth(); ++z) {
        for (UINT y = 0; y < t.dest.Height(); ++y) {
            t.source.DecodeRow(y, z, row.get());
            t.dest.EncodeRow(y, z, row.get());
        }
    }
    return S_OK;
}

HRESULT TransferNoFilter(Transfer& t) {
    if (t.Kind() != D3DX_FILTER_NONE) return kTransferNotApplicable;
    t.DropBothSrgb();
    const UINT width = std::max(t.dest.Width(), t.source.Width());
    RowBuffer row(width);
    if (!row) return E_OUTOFMEMORY;
    const UINT overlapWidth = std::min(t.dest.Width(), t.source.Width());
    for (UINT z = 0; z < t.dest.Depth(); ++z) {
        for (UINT y = 0; y < t.dest.Height(); ++y) {
            if (z < t.source.Depth() && y < t.source.Height()) {
                t.source.DecodeRow(y, z, row.get());
                std::fill(row.get() + overlapWidth, row.get() + width, Float4{0, 0, 0, 0});
            } else {
                std::fill(row.get(), row.get() + width, Float4{0, 0, 0, 0});
            }
            t.dest.EncodeRow(y, z, row.get());
        }
    }
    return S_OK;
}

HRESULT TransferPoint(Transfer& t) {
    if (t.Kind() != D3DX_FILTER_POINT) return kTransferNotApplicable;
    t.DropBothSrgb();
    // 16.16 fixed-point steps: destination j takes source (j * step) >> 16.
    auto step = [](UINT src, UINT dst) { return (static_cast<std::uint64_t>(src) << 16) / dst; };
    const std::uint64_t stepX = step(t.source.Width(), t.dest.Width());
    const std::uint64_t stepY = step(t.source.Height(), t.dest.Height());
    const std::uint64_t stepZ = step(t.source.Depth(), t.dest.Depth());
    RowBuffer in(t.source.Width());
    RowBuffer out(t.dest.Width());
    std::unique_ptr<UINT[]> column(new (std::nothrow) UINT[t.dest.Width() ? t.dest.Width() : 1]);
    if (!in || !out || !column) return E_OUTOFMEMORY;
    for (UINT x = 0; x < t.dest.Width(); ++x) column[x] = static_cast<UINT>((x * stepX) >> 16);
    for (UINT z = 0; z < t.dest.Depth(); ++z) {
        const UINT sz = static_cast<UINT>((z * stepZ) >> 16);
        UINT decodedRow = ~0u;
        for (UINT y = 0; y < t.dest.Height(); ++y) {
            const UINT sy = static_cast<UINT>((y * stepY) >> 16);
            if (sy != decodedRow) {
                t.source.DecodeRow(sy, sz, in.get());
                for (UINT x = 0; x < t.dest.Width(); ++x) out.get()[x] = in.get()[column[x]];
                decodedRow = sy;
            }
            t.dest.EncodeRow(y, z, out.get());
        }
    }
    return S_OK;
}

HRESULT BlitImage(const ImageDesc& destIn, const ImageDesc& sourceIn, DWORD filter) {
    const UINT kind = filter & 0xFFFF;
    if (kind < D3DX_FILTER_NONE || kind > D3DX_FILTER_BOX || filter >= 0x800000) return D3DERR_INVALIDCALL;

    ImageDesc dest = destIn;
    ImageDesc source = sourceIn;
    source.srgb = (filter & D3DX_FILTER_SRGB_IN) != 0;
    dest.srgb = (filter & D3DX_FILTER_SRGB_OUT) != 0;
    dest.dither = (filter & D3DX_FILTER_DITHER) != 0;
    dest.diffusion = (filter & D3DX_FILTER_DITHER_DIFFUSION) != 0;
    dest.colorKey = 0;
    source.dither = source.diffusion = false;
    if (dest.box.right <= dest.box.left || dest.box.bottom <= dest.box.top || dest.box.back <= dest.box.front) {
        return S_OK;  // an empty destination box needs no pixels
    }
    if (source.box.right <= source.box.left || source.box.bottom <= source.box.top ||
        source.box.back <= source.box.front) {
        return E_FAIL;  // nothing to read from
    }

    try {
        HRESULT hr = S_OK;
        std::unique_ptr<PixelCodec> destCodec = CreatePixelCodec(dest, &hr);
        if (!destCodec) return FAILED(hr) && hr != E_FAIL ? hr : E_FAIL;
        std::unique_ptr<PixelCodec> sourceCodec = CreatePixelCodec(source, &hr);
        if (!sourceCodec) return FAILED(hr) && hr != E_FAIL ? hr : E_FAIL;

        if (destCodec->Category() != sourceCodec->Category() && destCodec->Category() != CodecCategory::Float) {
            destCodec->SetConvertFrom(sourceCodec->Category());
        }
        if (destCodec->Srgb() && sourceCodec->Srgb()) {
            destCodec->SetBothSidesSrgb(true);
            sourceCodec->SetBothSidesSrgb(true);
        }
        hr = destCodec->PrepareEncoding();
        if (FAILED(hr)) return hr;

        Transfer t{dest, source, *destCodec, *sourceCodec, filter};
        static constexpr HRESULT (*kMethods[])(Transfer&) = {
            TransferCopy,   TransferConvert,  TransferNoFilter, TransferPoint,      TransferBox2D,
            TransferBox3D,  TransferLinear2D, TransferLinear3D, TransferTriangle2D, TransferTriangle3D,
        };
        for (auto method : kMethods) {
            hr = method(t);
            if (hr == kTransferNotApplicable) continue;
            if (FAILED(hr)) return hr;
            return destCodec->Finish();
        }
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace tarn::texture
