// DirectDraw Surface files: 2D textures, cube maps and volumes with their stored mip chains, in any pixel format
// Direct3D 9 can hold. Nothing is decoded: every record points into the file's bytes, one record per level of
// each face (faces through siblingFace, levels through smallerLevel).
#include <cstdint>
#include <cstring>
#include <new>

#include "DdsFormat.h"
#include "FormatTable.h"
#include "ImageReader.h"
#include "ResourceLimits.h"

namespace tarn::texture {

namespace {

constexpr std::uint32_t kHeaderBytes = 128;
constexpr std::uint32_t kDepthFlag = 0x800000;
constexpr std::uint32_t kAllCubeFaces = 0xFC00;

// Row pitch and slice pitch of one level, in 64 bits so that absurd sizes cannot wrap.
void LevelPitches(D3DFORMAT format, std::uint64_t width, std::uint64_t height, std::uint64_t& rowPitch,
                  std::uint64_t& slicePitch) {
    switch (format) {
        case D3DFMT_DXT1:
        case D3DFMT_DXT2:
        case D3DFMT_DXT3:
        case D3DFMT_DXT4:
        case D3DFMT_DXT5:
            rowPitch = (width + 3) / 4 * (format == D3DFMT_DXT1 ? 8 : 16);
            slicePitch = rowPitch * ((height + 3) / 4);  // below 2^34 each: no wrap
            return;
        case D3DFMT_YUY2:
        case D3DFMT_UYVY:
        case D3DFMT_R8G8_B8G8:
        case D3DFMT_G8R8_G8B8:
            rowPitch = (width + 1) / 2 * 4;
            break;
        default:
            rowPitch = width * (LookUpFormatDesc(format).bits / 8);
            break;
    }
    slicePitch = rowPitch > 0xFFFFFFFFu ? ~std::uint64_t{0} : rowPitch * height;  // both below 2^32: no wrap
}

}  // namespace

HRESULT ReadDds(DecodedImage& image, const BYTE* data, UINT size) {
    if (size < kHeaderBytes || std::memcmp(data, "DDS ", 4) != 0) return E_FAIL;
    const std::uint32_t headerFlags = ReadLe32(data + 8);
    const bool volume = (headerFlags & kDepthFlag) != 0;
    std::uint64_t height = ReadLe32(data + 12), width = ReadLe32(data + 16);
    std::uint64_t depth = volume ? ReadLe32(data + 24) : 1;
    if (depth == 0) depth = 1;
    std::uint32_t levels = ReadLe32(data + 28);
    if (levels == 0) levels = 1;
    if (width == 0 || height == 0) return RejectImage("DDS: empty image");
    if (const HRESULT hr = CheckImageLimits("DDS", width, height, depth); FAILED(hr)) return hr;
    // The file holds as many levels as it declares. A full chain ends at 1 x 1 x 1 after the bit length of the
    // largest side; levels declared beyond it are more 1 x 1 x 1 levels, which must be present in the file but get
    // no records (texture creation could not use them, and a record for each would let a few bytes per level make
    // far more memory of records). The count itself is kept in declaredLevels.
    const std::uint64_t largest = width > height ? (width > depth ? width : depth) : (height > depth ? height : depth);
    const std::uint32_t fullChain = BitLength(static_cast<UINT>(largest));
    const std::uint32_t kept = levels < fullChain ? levels : fullChain;
    // The declared count still stands for the file: D3DX_FROM_FILE asks for it, and a device cannot give it.
    image.declaredLevels = levels;

    const std::uint32_t cubeBits = ReadLe32(data + 112) & kAllCubeFaces;
    if (cubeBits != 0 && cubeBits != kAllCubeFaces) return RejectImage("DDS: cube map without all six faces");
    const std::uint32_t faces = cubeBits ? 6 : 1;

    const D3DFORMAT format = DdsFormatFromRecord(data + 76);
    if (format == D3DFMT_UNKNOWN) return RejectImage("DDS: unknown pixel format");
    image.resourceType = volume ? D3DRTYPE_VOLUMETEXTURE : (faces == 6 ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_TEXTURE);

    std::uint64_t pos = kHeaderBytes;
    const PALETTEENTRY* palette = nullptr;
    if (format == D3DFMT_P8 || format == D3DFMT_A8P8) {
        if (size - pos < 1024) return RejectImage("DDS: palette past end of data");
        palette = reinterpret_cast<const PALETTEENTRY*>(data + pos);
        pos += 1024;
    }

    DecodedImage* faceRecord = &image;
    for (std::uint32_t face = 0; face < faces; ++face) {
        if (face > 0) {
            faceRecord->siblingFace = new (std::nothrow) DecodedImage;
            if (!faceRecord->siblingFace) return E_OUTOFMEMORY;
            faceRecord = faceRecord->siblingFace;
        }
        DecodedImage* level = faceRecord;
        std::uint64_t w = width, h = height, d = depth;
        for (std::uint32_t i = 0; i < kept; ++i) {
            if (i > 0) {
                level->smallerLevel = new (std::nothrow) DecodedImage;
                if (!level->smallerLevel) return E_OUTOFMEMORY;
                level = level->smallerLevel;
            }
            std::uint64_t rowPitch, slicePitch;
            LevelPitches(format, w, h, rowPitch, slicePitch);
            // Pitches past 32 bits cannot be described, and a level past the data is refused with the file.
            if (rowPitch > 0xFFFFFFFFu || slicePitch > 0xFFFFFFFFu || d * slicePitch > size - pos)
                return RejectImage("DDS: level past end of data");
            level->format = format;
            level->palette = const_cast<PALETTEENTRY*>(palette);
            level->width = static_cast<UINT>(w);
            level->height = static_cast<UINT>(h);
            level->depth = static_cast<UINT>(d);
            level->rowPitch = static_cast<UINT>(rowPitch);
            level->slicePitch = static_cast<UINT>(slicePitch);
            level->resourceType = image.resourceType;
            level->fileFormat = image.fileFormat;
            level->wantPixels = image.wantPixels;
            if (image.wantPixels) level->pixels = data + pos;
            pos += d * slicePitch;
            w = w > 1 ? w / 2 : 1;
            h = h > 1 ? h / 2 : 1;
            d = d > 1 ? d / 2 : 1;
        }
        if (levels > kept) {
            std::uint64_t rowPitch, slicePitch;
            LevelPitches(format, 1, 1, rowPitch, slicePitch);
            if ((levels - kept) * slicePitch > size - pos) return RejectImage("DDS: level past end of data");
            pos += (levels - kept) * slicePitch;
        }
    }
    return S_OK;
}

}  // namespace tarn::texture
