// The filtering transfer methods: 2 x 2 (x 2) box, bilinear and triangle, the last two separable through
// per-axis weight tables and a small cache of horizontally filtered source rows.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "texture/D3DXTexture.h"
#include "TransferMethods.h"

namespace tarn::texture {

UINT WeightTable::MaxTaps() const {
    UINT most = 0;
    for (std::size_t i = 0; i + 1 < start.size(); ++i) most = std::max(most, start[i + 1] - start[i]);
    return most;
}

namespace {
bool gPackedBoxEnabled = true;
}  // namespace

void EnablePackedBox(bool enabled) { gPackedBoxEnabled = enabled; }

void BuildLinearWeights(UINT src, UINT dst, bool mirror, WeightTable& table) {
    table.start.assign(dst + 1, 0);
    table.taps.clear();
    table.taps.reserve(2 * static_cast<std::size_t>(dst));
    const float ratio = static_cast<float>(src) / static_cast<float>(dst);
    for (UINT i = 0; i < dst; ++i) {
        const float s = (static_cast<float>(i) + 0.5f) * ratio + 0.5f;
        // 64-bit, so that a source wider than the int range converts and compares without overflow.
        const std::int64_t m = static_cast<std::int64_t>(s);
        auto edge = [&](std::int64_t tap) -> UINT {
            if (tap < 0) return mirror ? 0 : src - 1;
            if (tap >= static_cast<std::int64_t>(src)) return mirror ? src - 1 : 0;
            return static_cast<UINT>(tap);
        };
        table.start[i] = static_cast<UINT>(table.taps.size());
        table.taps.push_back({edge(m - 1), static_cast<float>(m) + 1.0f - s});
        table.taps.push_back({edge(m), s - static_cast<float>(m)});
    }
    table.start[dst] = static_cast<UINT>(table.taps.size());
}

namespace {

// Integral over [a, b] of the tent of the source pixel centred on c (1 at c, 0 at c - 1 and c + 1). With a
// flat outer half (the image continuing with its edge pixel), that half is 1 throughout.
double TentIntegral(double a, double b, double c, bool flatLeft, bool flatRight) {
    double sum = 0;
    // Left half: [c - 1, c] rising, or [-inf, c] flat.
    {
        const double lo = std::max(a, flatLeft ? a : c - 1), hi = std::min(b, c);
        if (hi > lo) sum += flatLeft ? hi - lo : ((hi - c + 1) * (hi - c + 1) - (lo - c + 1) * (lo - c + 1)) / 2;
    }
    // Right half: [c, c + 1] falling, or [c, +inf] flat.
    {
        const double lo = std::max(a, c), hi = std::min(b, flatRight ? b : c + 1);
        if (hi > lo) sum += flatRight ? hi - lo : ((c + 1 - lo) * (c + 1 - lo) - (c + 1 - hi) * (c + 1 - hi)) / 2;
    }
    return sum;
}

}  // namespace

void BuildTriangleWeights(UINT src, UINT dst, bool mirror, WeightTable& table) {
    table.start.assign(dst + 1, 0);
    table.taps.clear();
    const double r = static_cast<double>(src) / dst;
    std::vector<FilterTap> list;
    // A destination pixel's taps are consecutive source positions; with wrapping, a window longer than the source
    // meets a pixel again one period later. slot[(p - first) mod src] is where pixel p's tap sits in the list
    // (-1: none yet), so merging costs one look-up instead of a search that would make a large reduction
    // quadratic in its ratio.
    std::vector<long> slot;
    for (UINT j = 0; j < dst; ++j) {
        table.start[j] = static_cast<UINT>(table.taps.size());
        const double a = j * r, b = (j + 1) * r;
        const long first = static_cast<long>(std::floor(a - 1.5));
        const long last = static_cast<long>(std::ceil(b + 0.5));
        const long period = std::min(last - first + 1, static_cast<long>(src));
        list.clear();
        slot.assign(static_cast<std::size_t>(period), -1);
        for (long p = first; p <= last; ++p) {
            UINT index;
            bool flatLeft = false, flatRight = false;
            if (mirror) {
                if (p < 0 || p >= static_cast<long>(src)) continue;
                index = static_cast<UINT>(p);
                flatLeft = p == 0;
                flatRight = p == static_cast<long>(src) - 1;
            } else {
                // Wrapping: the tents of the edge pixels continue across the edge into the other end.
                const long m = p % static_cast<long>(src);
                index = static_cast<UINT>(m < 0 ? m + static_cast<long>(src) : m);
            }
            const double w = TentIntegral(a, b, p + 0.5, flatLeft, flatRight) / r;
            if (w <= 0.00001) continue;
            long& at = slot[static_cast<std::size_t>((p - first) % period)];
            if (at >= 0) {
                list[static_cast<std::size_t>(at)].weight += static_cast<float>(w);
            } else {
                at = static_cast<long>(list.size());
                list.push_back({index, static_cast<float>(w)});
            }
        }
        table.taps.insert(table.taps.end(), list.begin(), list.end());
    }
    table.start[dst] = static_cast<UINT>(table.taps.size());
}

namespace {

// Decodes and horizontally filters source rows on demand, keeping recent ones: a destination row reads the
// same few source rows as its neighbours.
class FilteredRows {
public:
    FilteredRows(PixelCodec& source, const WeightTable& horizontal, UINT destWidth, UINT capacity)
        : source_(source), horizontal_(horizontal), destWidth_(destWidth), capacity_(capacity),
          decoded_(new Float4[source.Width()]), rows_(new Float4[static_cast<std::size_t>(capacity) * destWidth]),
          keys_(capacity, ~std::uint64_t(0)) {}

    const Float4* Row(UINT y, UINT z) {
        const std::uint64_t key = (static_cast<std::uint64_t>(z) << 32) | y;
        const std::size_t slot = static_cast<std::size_t>((static_cast<std::uint64_t>(z) * source_.Height() + y) %
                                                          capacity_);
        Float4* row = rows_.get() + slot * destWidth_;
        if (keys_[slot] == key) return row;
        source_.DecodeRow(y, z, decoded_.get());
        const FilterTap* taps = horizontal_.taps.data();
        const Float4* in = decoded_.get();
        for (UINT x = 0; x < destWidth_; ++x) {
            float r = 0, g = 0, b = 0, a = 0;
            for (UINT k = horizontal_.start[x]; k < horizontal_.start[x + 1]; ++k) {
                const Float4& p = in[taps[k].index];
                const float w = taps[k].weight;
                r += p.r * w;
                g += p.g * w;
                b += p.b * w;
                a += p.a * w;
            }
            row[x] = {r, g, b, a};
        }
        keys_[slot] = key;
        return row;
    }

private:
    PixelCodec& source_;
    const WeightTable& horizontal_;
    UINT destWidth_;
    UINT capacity_;
    std::unique_ptr<Float4[]> decoded_;
    std::unique_ptr<Float4[]> rows_;
    std::vector<std::uint64_t> keys_;
};

// Separable resampling with one weight table per axis (depth table null for 2D).
HRESULT ResampleSeparable(Transfer& t, const WeightTable& wx, const WeightTable& wy, const WeightTable* wz) {
    const UINT destWidth = t.dest.Width();
    const UINT capacity = wy.MaxTaps() * (wz != nullptr ? wz->MaxTaps() : 1) + 1;
    FilteredRows rows(t.source, wx, destWidth, capacity);
    std::unique_ptr<Float4[]> acc(new Float4[destWidth]);
    for (UINT z = 0; z < t.dest.Depth(); ++z) {
        static const FilterTap kSingleSlice = {0, 1.0f};
        const FilterTap* zTaps = wz != nullptr ? wz->taps.data() + wz->start[z] : &kSingleSlice;
        const UINT zCount = wz != nullptr ? wz->start[z + 1] - wz->start[z] : 1;
        for (UINT y = 0; y < t.dest.Height(); ++y) {
            std::fill_n(acc.get(), destWidth, Float4{0, 0, 0, 0});
            for (UINT kz = 0; kz < zCount; ++kz) {
                for (UINT ky = wy.start[y]; ky < wy.start[y + 1]; ++ky) {
                    const float w = wy.taps[ky].weight * zTaps[kz].weight;
                    const Float4* row = rows.Row(wy.taps[ky].index, zTaps[kz].index);
                    Float4* out = acc.get();
                    for (UINT x = 0; x < destWidth; ++x) {
                        out[x].r += row[x].r * w;
                        out[x].g += row[x].g * w;
                        out[x].b += row[x].b * w;
                        out[x].a += row[x].a * w;
                    }
                }
            }
            t.dest.EncodeRow(y, z, acc.get());
        }
    }
    return S_OK;
}

bool Halves(UINT src, UINT dst) { return dst == src / 2 || (dst == 1 && src == 1); }

// Relative to a channel's full scale: above the float error of a mean of eight decoded codes, far below a step.
constexpr float kBoxRoundingBias = 1.0f / (1 << 20);

}  // namespace

HRESULT TransferBox2D(Transfer& t) {
    if (t.Kind() != D3DX_FILTER_BOX || t.dest.Depth() != 1 || t.source.Depth() != 1 ||
        !Halves(t.source.Width(), t.dest.Width()) || !Halves(t.source.Height(), t.dest.Height())) {
        return kTransferNotApplicable;
    }
    const UINT w = t.dest.Width(), h = t.dest.Height();
    const bool fast = gPackedBoxEnabled && t.destDesc.format == t.sourceDesc.format && t.source.Width() >= 2 && t.source.Height() >= 2 &&
                      !t.source.Srgb() && !t.dest.Srgb() && !t.dest.Dither() && !t.dest.Diffusion() &&
                      !t.source.HasColorKey() && HasPackedBox(t.destDesc.format);
    if (fast) {
        for (UINT y = 0; y < h; ++y) {
            PackedBoxRow(t.destDesc.format, t.source.RowPointer(2 * y, 0), t.source.RowPointer(2 * y + 1, 0),
                         t.dest.RowPointer(y, 0), w);
        }
        return S_OK;
    }
    const UINT sw = t.source.Width();
    std::unique_ptr<Float4[]> row0(new Float4[sw]), row1(new Float4[sw]), out(new Float4[w]);
    t.dest.SetRoundingBias(kBoxRoundingBias);
    for (UINT y = 0; y < h; ++y) {
        const UINT sy = t.source.Height() == 1 ? 0 : 2 * y;
        t.source.DecodeRow(sy, 0, row0.get());
        t.source.DecodeRow(t.source.Height() == 1 ? sy : sy + 1, 0, row1.get());
        for (UINT x = 0; x < w; ++x) {
            const UINT x0 = sw == 1 ? 0 : 2 * x, x1 = sw == 1 ? 0 : 2 * x + 1;
            const Float4 &a = row0[x0], &b = row0[x1], &c = row1[x0], &d = row1[x1];
            out[x] = {(a.r + b.r + c.r + d.r) * 0.25f, (a.g + b.g + c.g + d.g) * 0.25f,
                      (a.b + b.b + c.b + d.b) * 0.25f, (a.a + b.a + c.a + d.a) * 0.25f};
        }
        t.dest.EncodeRow(y, 0, out.get());
    }
    return S_OK;
}

HRESULT TransferBox3D(Transfer& t) {
    if (t.Kind() != D3DX_FILTER_BOX || !Halves(t.source.Width(), t.dest.Width()) ||
        !Halves(t.source.Height(), t.dest.Height()) || !Halves(t.source.Depth(), t.dest.Depth())) {
        return kTransferNotApplicable;
    }
    const UINT w = t.dest.Width(), sw = t.source.Width();
    // Packed integers as in the 2D box. A source of height or depth 1 reads its one row or slice twice: eight
    // values made of four pairs round exactly as the four would.
    const bool fast = gPackedBoxEnabled && t.destDesc.format == t.sourceDesc.format && sw >= 2 && !t.source.Srgb() &&
                      !t.dest.Srgb() && !t.dest.Dither() && !t.dest.Diffusion() && !t.source.HasColorKey() &&
                      HasPackedBox(t.destDesc.format);
    if (fast) {
        for (UINT z = 0; z < t.dest.Depth(); ++z) {
            const UINT z0 = t.source.Depth() == 1 ? 0 : 2 * z, z1 = t.source.Depth() == 1 ? 0 : 2 * z + 1;
            for (UINT y = 0; y < t.dest.Height(); ++y) {
                const UINT y0 = t.source.Height() == 1 ? 0 : 2 * y, y1 = t.source.Height() == 1 ? 0 : 2 * y + 1;
                const BYTE* const rows[4] = {t.source.RowPointer(y0, z0), t.source.RowPointer(y1, z0),
                                             t.source.RowPointer(y0, z1), t.source.RowPointer(y1, z1)};
                PackedBoxRow3D(t.destDesc.format, rows, t.dest.RowPointer(y, z), w);
            }
        }
        return S_OK;
    }
    std::unique_ptr<Float4[]> in[4] = {std::unique_ptr<Float4[]>(new Float4[sw]), std::unique_ptr<Float4[]>(new Float4[sw]),
                                       std::unique_ptr<Float4[]>(new Float4[sw]), std::unique_ptr<Float4[]>(new Float4[sw])};
    std::unique_ptr<Float4[]> out(new Float4[w]);
    t.dest.SetRoundingBias(kBoxRoundingBias);
    for (UINT z = 0; z < t.dest.Depth(); ++z) {
        const UINT z0 = t.source.Depth() == 1 ? 0 : 2 * z, z1 = t.source.Depth() == 1 ? 0 : 2 * z + 1;
        for (UINT y = 0; y < t.dest.Height(); ++y) {
            const UINT y0 = t.source.Height() == 1 ? 0 : 2 * y, y1 = t.source.Height() == 1 ? 0 : 2 * y + 1;
            t.source.DecodeRow(y0, z0, in[0].get());
            t.source.DecodeRow(y1, z0, in[1].get());
            t.source.DecodeRow(y0, z1, in[2].get());
            t.source.DecodeRow(y1, z1, in[3].get());
            for (UINT x = 0; x < w; ++x) {
                const UINT x0 = sw == 1 ? 0 : 2 * x, x1 = sw == 1 ? 0 : 2 * x + 1;
                Float4 s = {0, 0, 0, 0};
                for (auto& row : in) {
                    for (UINT xi : {x0, x1}) {
                        s.r += row[xi].r, s.g += row[xi].g, s.b += row[xi].b, s.a += row[xi].a;
                    }
                }
                out[x] = {s.r * 0.125f, s.g * 0.125f, s.b * 0.125f, s.a * 0.125f};
            }
            t.dest.EncodeRow(y, z, out.get());
        }
    }
    return S_OK;
}

HRESULT TransferLinear2D(Transfer& t) {
    if (t.Kind() != D3DX_FILTER_LINEAR || t.dest.Depth() != 1 || t.source.Depth() != 1) {
        return kTransferNotApplicable;
    }
    WeightTable wx, wy;
    BuildLinearWeights(t.source.Width(), t.dest.Width(), t.MirrorU(), wx);
    BuildLinearWeights(t.source.Height(), t.dest.Height(), t.MirrorV(), wy);
    return ResampleSeparable(t, wx, wy, nullptr);
}

HRESULT TransferLinear3D(Transfer& t) {
    if (t.Kind() != D3DX_FILTER_LINEAR) return kTransferNotApplicable;
    WeightTable wx, wy, wz;
    BuildLinearWeights(t.source.Width(), t.dest.Width(), t.MirrorU(), wx);
    BuildLinearWeights(t.source.Height(), t.dest.Height(), t.MirrorV(), wy);
    BuildLinearWeights(t.source.Depth(), t.dest.Depth(), t.MirrorW(), wz);
    return ResampleSeparable(t, wx, wy, &wz);
}

HRESULT TransferTriangle2D(Transfer& t) {
    if (t.dest.Depth() != 1 || t.source.Depth() != 1) return kTransferNotApplicable;
    WeightTable wx, wy;
    BuildTriangleWeights(t.source.Width(), t.dest.Width(), t.MirrorU(), wx);
    BuildTriangleWeights(t.source.Height(), t.dest.Height(), t.MirrorV(), wy);
    return ResampleSeparable(t, wx, wy, nullptr);
}

HRESULT TransferTriangle3D(Transfer& t) {
    WeightTable wx, wy, wz;
    BuildTriangleWeights(t.source.Width(), t.dest.Width(), t.MirrorU(), wx);
    BuildTriangleWeights(t.source.Height(), t.dest.Height(), t.MirrorV(), wy);
    BuildTriangleWeights(t.source.Depth(), t.dest.Depth(), t.MirrorW(), wz);
    return ResampleSeparable(t, wx, wy, &wz);
}

}  // namespace tarn::texture
