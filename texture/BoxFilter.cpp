// The packed-integer 2 x 2 box: each channel of the four source pixels summed on its own bits, rounded by
// adding 2 and shifting right by 2; and the 2 x 2 x 2 box of volumes, eight pixels from four rows, rounded by
// adding 4 and shifting right by 3. Equal to decoding, averaging in floats and encoding with rounding, but
// without leaving integers. The four-byte formats run through routines chosen once: the vector routines when
// UseMmx allows them (the 256-bit ones where the processor has it), else the plain ones.
#include <cstring>
#include <immintrin.h>

#include "math/D3DXMath.h"
#include "TransferMethods.h"

namespace tarn::texture {

namespace {

struct Field {
    BYTE shift, bits;
};

struct PackedBoxFormat {
    D3DFORMAT format;
    BYTE bytes;     // 1 or 2; the four-byte formats go through the 8888 routines
    BYTE fields;
    Field field[4];
};

const PackedBoxFormat kPackedBox[] = {
    {D3DFMT_A8R8G8B8, 4, 0, {}},
    {D3DFMT_A8B8G8R8, 4, 0, {}},
    {D3DFMT_X8R8G8B8, 4, 0, {}},
    {D3DFMT_X8B8G8R8, 4, 0, {}},
    {D3DFMT_R5G6B5, 2, 3, {{11, 5}, {5, 6}, {0, 5}}},
    {D3DFMT_X1R5G5B5, 2, 4, {{10, 5}, {5, 5}, {0, 5}, {15, 1}}},
    {D3DFMT_A1R5G5B5, 2, 4, {{10, 5}, {5, 5}, {0, 5}, {15, 1}}},
    {D3DFMT_A4R4G4B4, 2, 4, {{8, 4}, {4, 4}, {0, 4}, {12, 4}}},
    {D3DFMT_X4R4G4B4, 2, 4, {{8, 4}, {4, 4}, {0, 4}, {12, 4}}},
    {D3DFMT_R3G3B2, 1, 3, {{5, 3}, {2, 3}, {0, 2}}},
    {D3DFMT_A8R3G3B2, 2, 4, {{5, 3}, {2, 3}, {0, 2}, {8, 8}}},
    {D3DFMT_A8, 1, 1, {{0, 8}}},
    {D3DFMT_L8, 1, 1, {{0, 8}}},
    {D3DFMT_A8L8, 2, 2, {{0, 8}, {8, 8}}},
    {D3DFMT_A4L4, 1, 2, {{0, 4}, {4, 4}}},
};

const PackedBoxFormat* Find(D3DFORMAT format) {
    for (const PackedBoxFormat& f : kPackedBox) {
        if (f.format == format) return &f;
    }
    return nullptr;
}

UINT Load(const BYTE* p, UINT bytes) { return bytes == 1 ? p[0] : static_cast<UINT>(p[0] | (p[1] << 8)); }

void BoxRowFields(const PackedBoxFormat& f, const BYTE* row0, const BYTE* row1, BYTE* out, UINT destWidth) {
    const UINT bytes = f.bytes;
    for (UINT x = 0; x < destWidth; ++x) {
        const UINT a = Load(row0 + 2 * x * bytes, bytes), b = Load(row0 + (2 * x + 1) * bytes, bytes);
        const UINT c = Load(row1 + 2 * x * bytes, bytes), d = Load(row1 + (2 * x + 1) * bytes, bytes);
        UINT pixel = 0;
        for (UINT i = 0; i < f.fields; ++i) {
            const UINT mask = (1u << f.field[i].bits) - 1, shift = f.field[i].shift;
            const UINT sum = ((a >> shift) & mask) + ((b >> shift) & mask) + ((c >> shift) & mask) + ((d >> shift) & mask);
            pixel |= ((sum + 2) >> 2) << shift;
        }
        out[x * bytes] = static_cast<BYTE>(pixel);
        if (bytes == 2) out[x * bytes + 1] = static_cast<BYTE>(pixel >> 8);
    }
}

void BoxRowFields3D(const PackedBoxFormat& f, const BYTE* const rows[4], BYTE* out, UINT destWidth) {
    const UINT bytes = f.bytes;
    for (UINT x = 0; x < destWidth; ++x) {
        UINT pixels[8];
        for (int r = 0; r < 4; ++r) {
            pixels[2 * r] = Load(rows[r] + 2 * x * bytes, bytes);
            pixels[2 * r + 1] = Load(rows[r] + (2 * x + 1) * bytes, bytes);
        }
        UINT pixel = 0;
        for (UINT i = 0; i < f.fields; ++i) {
            const UINT mask = (1u << f.field[i].bits) - 1, shift = f.field[i].shift;
            UINT sum = 0;
            for (UINT p : pixels) sum += (p >> shift) & mask;
            pixel |= ((sum + 4) >> 3) << shift;
        }
        out[x * bytes] = static_cast<BYTE>(pixel);
        if (bytes == 2) out[x * bytes + 1] = static_cast<BYTE>(pixel >> 8);
    }
}

using BoxRow8888Fn = void (*)(const BYTE*, const BYTE*, BYTE*, UINT);
using BoxRow3D8888Fn = void (*)(const BYTE* const*, BYTE*, UINT);

BoxRow8888Fn ChooseBoxRow8888() {
    if (!UseMmx()) return BoxRow8888Plain;
    return BoxRow8888Avx2Available() ? BoxRow8888Avx2 : BoxRow8888Mmx;
}

BoxRow3D8888Fn ChooseBoxRow3D8888() {
    if (!UseMmx()) return BoxRow3D8888Plain;
    return BoxRow8888Avx2Available() ? BoxRow3D8888Avx2 : BoxRow3D8888Mmx;
}

#define TARN_AVX2 __attribute__((target("avx2")))

// Box sums of eight source pixels of two rows, as eight 16-bit channel results (four destination pixels, two in
// each 128-bit half). Within each half, channel c of pixels 2k and 2k + 1 is put side by side so that one
// multiply-add of the unsigned bytes by 1 sums each horizontal pair; the two rows are then added, rounded and
// shifted.
TARN_AVX2 __m256i BoxQuad(const BYTE* a, const BYTE* c) {
    const __m256i pairUp = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15,  //
                                            0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    const __m256i ones = _mm256_set1_epi8(1);
    const __m256i top = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
    const __m256i bottom = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c));
    const __m256i sums = _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_shuffle_epi8(top, pairUp), ones),
                                          _mm256_maddubs_epi16(_mm256_shuffle_epi8(bottom, pairUp), ones));
    return _mm256_srli_epi16(_mm256_add_epi16(sums, _mm256_set1_epi16(2)), 2);
}

// The sums of horizontal pairs of eight source pixels of one row, as 16-bit channels (see BoxQuad).
TARN_AVX2 __m256i PairSums(const BYTE* row) {
    const __m256i pairUp = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15,  //
                                            0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row));
    return _mm256_maddubs_epi16(_mm256_shuffle_epi8(in, pairUp), _mm256_set1_epi8(1));
}

// The 2 x 2 x 2 form of BoxQuad: four rows (two in each of two slices), at most 8 x 255 per channel.
TARN_AVX2 __m256i BoxQuad3D(const BYTE* const rows[4], std::size_t offset) {
    const __m256i sums = _mm256_add_epi16(_mm256_add_epi16(PairSums(rows[0] + offset), PairSums(rows[1] + offset)),
                                          _mm256_add_epi16(PairSums(rows[2] + offset), PairSums(rows[3] + offset)));
    return _mm256_srli_epi16(_mm256_add_epi16(sums, _mm256_set1_epi16(4)), 3);
}

}  // namespace

void BoxRow8888Plain(const BYTE* row0, const BYTE* row1, BYTE* out, UINT destWidth) {
    for (UINT x = 0; x < destWidth; ++x) {
        const BYTE* a = row0 + 8 * x;
        const BYTE* c = row1 + 8 * x;
        for (int ch = 0; ch < 4; ++ch) {
            out[4 * x + ch] = static_cast<BYTE>((a[ch] + a[4 + ch] + c[ch] + c[4 + ch] + 2) >> 2);
        }
    }
}

// Four destination pixels per step: widen to 16 bits, add the two rows, add each pixel to its right-hand
// neighbour, round and narrow. The tail goes through the plain routine.
void BoxRow8888Mmx(const BYTE* row0, const BYTE* row1, BYTE* out, UINT destWidth) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i two = _mm_set1_epi16(2);
    // Sums of source pixels 0 + 1 and 2 + 3 of one 16-byte group, rounded and shifted.
    auto pairs = [&](const BYTE* a, const BYTE* c) {
        const __m128i top = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
        const __m128i bottom = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
        const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(top, zero), _mm_unpacklo_epi8(bottom, zero));
        const __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(top, zero), _mm_unpackhi_epi8(bottom, zero));
        const __m128i sums = _mm_add_epi16(_mm_unpacklo_epi64(lo, hi), _mm_unpackhi_epi64(lo, hi));
        return _mm_srli_epi16(_mm_add_epi16(sums, two), 2);
    };
    UINT x = 0;
    for (; x + 4 <= destWidth; x += 4) {
        const __m128i first = pairs(row0 + 8 * x, row1 + 8 * x);
        const __m128i second = pairs(row0 + 8 * x + 16, row1 + 8 * x + 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_packus_epi16(first, second));
    }
    if (x < destWidth) BoxRow8888Plain(row0 + 8 * x, row1 + 8 * x, out + 4 * x, destWidth - x);
}

bool BoxRow8888Avx2Available() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Eight destination pixels per step. Packing the two halves' results interleaves them by 128-bit half
// (pixels 0 1 4 5 | 2 3 6 7); one permutation puts them in order. The tail goes through the plain routine.
TARN_AVX2 void BoxRow8888Avx2(const BYTE* row0, const BYTE* row1, BYTE* out, UINT destWidth) {
    UINT x = 0;
    for (; x + 8 <= destWidth; x += 8) {
        const __m256i first = BoxQuad(row0 + 8 * x, row1 + 8 * x);
        const __m256i second = BoxQuad(row0 + 8 * x + 32, row1 + 8 * x + 32);
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x), packed);
    }
    if (x < destWidth) BoxRow8888Plain(row0 + 8 * x, row1 + 8 * x, out + 4 * x, destWidth - x);
}

void BoxRow3D8888Plain(const BYTE* const rows[4], BYTE* out, UINT destWidth) {
    for (UINT x = 0; x < destWidth; ++x) {
        for (int ch = 0; ch < 4; ++ch) {
            UINT sum = 4;
            for (int r = 0; r < 4; ++r) sum += rows[r][8 * x + ch] + rows[r][8 * x + 4 + ch];
            out[4 * x + ch] = static_cast<BYTE>(sum >> 3);
        }
    }
}

// As BoxRow8888Mmx with four rows summed before the pairs are added.
void BoxRow3D8888Mmx(const BYTE* const rows[4], BYTE* out, UINT destWidth) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i four = _mm_set1_epi16(4);
    auto pairs = [&](std::size_t offset) {
        __m128i lo = zero, hi = zero;
        for (int r = 0; r < 4; ++r) {
            const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + offset));
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(in, zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(in, zero));
        }
        const __m128i sums = _mm_add_epi16(_mm_unpacklo_epi64(lo, hi), _mm_unpackhi_epi64(lo, hi));
        return _mm_srli_epi16(_mm_add_epi16(sums, four), 3);
    };
    UINT x = 0;
    for (; x + 4 <= destWidth; x += 4) {
        const __m128i first = pairs(8 * std::size_t{x});
        const __m128i second = pairs(8 * std::size_t{x} + 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_packus_epi16(first, second));
    }
    if (x < destWidth) {
        const BYTE* const tail[4] = {rows[0] + 8 * x, rows[1] + 8 * x, rows[2] + 8 * x, rows[3] + 8 * x};
        BoxRow3D8888Plain(tail, out + 4 * x, destWidth - x);
    }
}

TARN_AVX2 void BoxRow3D8888Avx2(const BYTE* const rows[4], BYTE* out, UINT destWidth) {
    UINT x = 0;
    for (; x + 8 <= destWidth; x += 8) {
        const __m256i first = BoxQuad3D(rows, 8 * std::size_t{x});
        const __m256i second = BoxQuad3D(rows, 8 * std::size_t{x} + 32);
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x), packed);
    }
    if (x < destWidth) {
        const BYTE* const tail[4] = {rows[0] + 8 * x, rows[1] + 8 * x, rows[2] + 8 * x, rows[3] + 8 * x};
        BoxRow3D8888Plain(tail, out + 4 * x, destWidth - x);
    }
}

bool HasPackedBox(D3DFORMAT format) { return Find(format) != nullptr; }

void PackedBoxRow(D3DFORMAT format, const BYTE* row0, const BYTE* row1, BYTE* out, UINT destWidth) {
    const PackedBoxFormat* f = Find(format);
    if (f == nullptr) return;
    if (f->bytes == 4) {
        static const BoxRow8888Fn boxRow = ChooseBoxRow8888();
        boxRow(row0, row1, out, destWidth);
        return;
    }
    BoxRowFields(*f, row0, row1, out, destWidth);
}

void PackedBoxRow3D(D3DFORMAT format, const BYTE* const rows[4], BYTE* out, UINT destWidth) {
    const PackedBoxFormat* f = Find(format);
    if (f == nullptr) return;
    if (f->bytes == 4) {
        static const BoxRow3D8888Fn boxRow = ChooseBoxRow3D8888();
        boxRow(rows, out, destWidth);
        return;
    }
    BoxRowFields3D(*f, rows, out, destWidth);
}

}  // namespace tarn::texture
