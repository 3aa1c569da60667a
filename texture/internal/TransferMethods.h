// The ten transfer methods that BlitImage tries in order, and what they share. Each returns S_OK when it did
// the work, kTransferNotApplicable when it does not apply, or the failure that stopped it.
#pragma once

#include <cstdint>
#include <vector>

#include "PixelCodec.h"

namespace tarn::texture {

inline constexpr HRESULT kTransferNotApplicable = E_NOTIMPL;

struct Transfer {
    const ImageDesc& destDesc;
    const ImageDesc& sourceDesc;
    PixelCodec& dest;
    PixelCodec& source;
    DWORD filter;
    UINT Kind() const { return filter & 0xFFFF; }
    bool MirrorU() const { return (filter & 0x10000) != 0; }
    bool MirrorV() const { return (filter & 0x20000) != 0; }
    bool MirrorW() const { return (filter & 0x40000) != 0; }
    bool SameSize() const {
        return dest.Width() == source.Width() && dest.Height() == source.Height() && dest.Depth() == source.Depth();
    }
    // Methods that do not filter convert nothing when both sides are sRGB.
    void DropBothSrgb() {
        if (dest.Srgb() && source.Srgb()) {
            dest.DropSrgb();
            source.DropSrgb();
        }
    }
};

HRESULT TransferCopy(Transfer& t);
HRESULT TransferConvert(Transfer& t);
HRESULT TransferNoFilter(Transfer& t);
HRESULT TransferPoint(Transfer& t);
HRESULT TransferBox2D(Transfer& t);
HRESULT TransferBox3D(Transfer& t);
HRESULT TransferLinear2D(Transfer& t);
HRESULT TransferLinear3D(Transfer& t);
HRESULT TransferTriangle2D(Transfer& t);
HRESULT TransferTriangle3D(Transfer& t);

// Weights of one axis: for destination index i, taps[start[i]] ... taps[start[i + 1] - 1].
struct FilterTap {
    UINT index;
    float weight;
};
struct WeightTable {
    std::vector<UINT> start;
    std::vector<FilterTap> taps;
    UINT MaxTaps() const;
};

// Bilinear: two taps per destination index; edges wrap unless `mirror`.
void BuildLinearWeights(UINT src, UINT dst, bool mirror, WeightTable& table);
// Mean of the tent-interpolated source over each destination pixel's footprint; edges wrap unless `mirror`.
void BuildTriangleWeights(UINT src, UINT dst, bool mirror, WeightTable& table);

// Packed-integer 2 x 2 box for the formats that have one: each channel (a + b + c + d + 2) >> 2.
// EnablePackedBox(false) forces the float path everywhere, so that tests can compare the two.
void EnablePackedBox(bool enabled);
bool HasPackedBox(D3DFORMAT format);
void PackedBoxRow(D3DFORMAT format, const BYTE* row0, const BYTE* row1, BYTE* out, UINT destWidth);
// The 2 x 2 x 2 box of the same formats: rows[0] and rows[1] are two rows of one slice, rows[2] and rows[3] the
// same rows of the next; each channel (sum of eight + 4) >> 3.
void PackedBoxRow3D(D3DFORMAT format, const BYTE* const rows[4], BYTE* out, UINT destWidth);

// The 8-bit-channel, four-byte-pixel row routines, all giving equal results. UseMmx allows the vector ones;
// the 256-bit routine is used where the processor has it (BoxRow8888Avx2Available) and must not be called
// elsewhere.
void BoxRow8888Plain(const BYTE* row0, const BYTE* row1, BYTE* out, UINT destWidth);
void BoxRow8888Mmx(const BYTE* row0, const BYTE* row1, BYTE* out, UINT destWidth);
bool BoxRow8888Avx2Available();
void BoxRow8888Avx2(const BYTE* row0, const BYTE* row1, BYTE* out, UINT destWidth);
void BoxRow3D8888Plain(const BYTE* const rows[4], BYTE* out, UINT destWidth);
void BoxRow3D8888Mmx(const BYTE* const rows[4], BYTE* out, UINT destWidth);
void BoxRow3D8888Avx2(const BYTE* const rows[4], BYTE* out, UINT destWidth);

}  // namespace tarn::texture
