// What the texture fuzz targets share: the reader of choices (bytes taken from the front of the input, each turned
// into a number below a bound or an entry of a table; past the end of the input every choice is 0), and the stored
// size of an image, worked out here from the format rules rather than asked of the library, so that the memory a
// target hands over is what a caller would hand over even where the library's own answer were wrong.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FormatTable.h"

class Choices {
public:
    Choices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint32_t Below(std::uint32_t n) { return Byte() % n; }
    std::uint32_t Word() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(Byte()) << (8 * i);
        return v;
    }
    template <typename T, std::size_t N>
    const T& Pick(const T (&table)[N]) {
        return table[Below(N)];
    }
    // Bytes taken so far (never more than the input holds).
    std::size_t Used() const { return std::min(pos_, size_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// The length of one stored row of `width` pixels of `format` (pixels, 4 x 4 blocks or pixel pairs) and how many
// stored rows `height` pixels take.
inline void StoredRows(D3DFORMAT format, UINT width, UINT height, std::size_t& rowBytes, UINT& rows) {
    using namespace tarn::texture;
    rows = height;
    if (IsBlockFormat(format)) {
        rowBytes = static_cast<std::size_t>((width + 3) / 4) * (format == D3DFMT_DXT1 ? 8 : 16);
        rows = (height + 3) / 4;
    } else if (IsPackedPairFormat(format)) {
        rowBytes = static_cast<std::size_t>((width + 1) / 2) * 4;
    } else {
        rowBytes = static_cast<std::size_t>(width) * (LookUpFormatDesc(format).bits / 8);
    }
}
