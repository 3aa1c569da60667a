// The image writers behind the D3DXSave... calls, one per file format, and what they are given: an image copied
// out of a surface, volume or texture, every face and level in its own format. Writers append the file's bytes;
// they throw std::bad_alloc when memory runs out (the save entry points turn it into E_OUTOFMEMORY).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d9/D3D9.h"
#include "texture/D3DXTexture.h"

namespace tarn::texture {

// One level of one face: stored rows packed (block formats: rows of 4 x 4 blocks), slices one after another.
struct SavedLevel {
    UINT width = 0, height = 0, depth = 1;
    UINT rowPitch = 0;    // bytes of one stored row
    UINT slicePitch = 0;  // bytes of one slice
    std::vector<BYTE> bytes;
};

// What is saved. `levels` holds faces x levelCount records, face by face. The formats other than DDS use the top
// level of the first face, first slice.
struct SavedImage {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DRESOURCETYPE type = D3DRTYPE_TEXTURE;  // TEXTURE (surfaces too), CUBETEXTURE or VOLUMETEXTURE
    UINT faces = 1;
    UINT levelCount = 1;
    const PALETTEENTRY* palette = nullptr;  // 256 entries for palettised formats, else null
    std::vector<SavedLevel> levels;

    const SavedLevel& Top() const { return levels.front(); }
};

// Appends the file to `out`. D3DERR_INVALIDCALL when the format cannot hold the image (no DDS record for its
// format, no codec to convert it); E_OUTOFMEMORY when a library's buffers cannot be had.
using ImageWriterFn = HRESULT (*)(const SavedImage& image, std::vector<BYTE>& out);

HRESULT WriteBmp(const SavedImage& image, std::vector<BYTE>& out);
HRESULT WriteJpeg(const SavedImage& image, std::vector<BYTE>& out);
HRESULT WriteTga(const SavedImage& image, std::vector<BYTE>& out);
HRESULT WritePng(const SavedImage& image, std::vector<BYTE>& out);
HRESULT WriteDds(const SavedImage& image, std::vector<BYTE>& out);
HRESULT WritePpm(const SavedImage& image, std::vector<BYTE>& out);
HRESULT WriteDib(const SavedImage& image, std::vector<BYTE>& out);
HRESULT WriteHdr(const SavedImage& image, std::vector<BYTE>& out);
HRESULT WritePfm(const SavedImage& image, std::vector<BYTE>& out);

// The writer of `format`; null for a value that names no file format.
ImageWriterFn FindImageWriter(D3DXIMAGE_FILEFORMAT format);

// What the source format holds, for the writers' choice of what to store.
struct SourceTraits {
    bool palettised;  // P8: indices into the image's palette
    bool grey;        // a luminance format
    bool alpha;       // has an alpha channel
    bool wide;        // some channel has more than 8 bits
};
SourceTraits TraitsOf(D3DFORMAT format);

// The top image converted to `format` through the transfer core, rows packed, top row first; `rowPitch` gets the
// bytes per row. D3DERR_INVALIDCALL when the source format cannot be converted.
HRESULT ConvertTopImage(const SavedImage& image, D3DFORMAT format, std::vector<BYTE>& pixels, UINT& rowPitch);

// Little-endian values, as the binary formats store them.
void PutLe16(std::vector<BYTE>& out, std::uint32_t value);
void PutLe32(std::vector<BYTE>& out, std::uint32_t value);
void PutText(std::vector<BYTE>& out, const char* text);

}  // namespace tarn::texture
