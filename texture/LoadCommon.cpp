// The stored-size and palette helpers of the surface and volume loaders.
#include "LoadCommon.h"

#include <cstring>

#include "FormatTable.h"

namespace tarn::texture {

bool SamePalettes(const PALETTEENTRY* a, const PALETTEENTRY* b) {
    if (a == b) return true;
    if (a == nullptr || b == nullptr) return false;
    return std::memcmp(a, b, 256 * sizeof(PALETTEENTRY)) == 0;
}

void StoredSize(D3DFORMAT format, UINT w, UINT h, std::size_t& rowBytes, UINT& rows) {
    if (IsBlockFormat(format)) {
        rowBytes = static_cast<std::size_t>((w + 3) / 4) * (format == D3DFMT_DXT1 ? 8 : 16);
        rows = (h + 3) / 4;
    } else if (IsPackedPairFormat(format)) {
        rowBytes = static_cast<std::size_t>((w + 1) / 2) * 4;
        rows = h;
    } else {
        rowBytes = static_cast<std::size_t>(w) * (LookUpFormatDesc(format).bits / 8);
        rows = h;
    }
}

}  // namespace tarn::texture
