// Image file reading by trial over nine readers, and the decoded-image record they fill.
// ReadImage offers the bytes to each reader in a fixed order; the first that accepts them wins.
// The record owns what its flags say it owns and frees it, with its level and face chains, on destruction.
#pragma once

#include <cstdint>

#include "platform/d3d9/D3D9.h"
#include "texture/D3DXTexture.h"

namespace tarn::texture {

// What every reader must do (ReadBmp ... ReadTga share one signature, ImageReaderFn):
//  - Decide from `data`/`size` alone whether the bytes are its format. Reject with E_FAIL (not this format, or
//    damaged), E_OUTOFMEMORY, or another failure; never read outside [data, data + size).
//  - Check the declared size against the image limits (CheckImageLimits, texture/ResourceLimits.h) right after
//    the header, and every declared size against the bytes really present, in 64-bit arithmetic, before
//    allocating; allocate through AllocatePixels / AllocatePalette so that sizes that do not fit in 32 bits are
//    refused. Work and memory follow what the data holds: a header-only read (wantPixels clear) decodes and
//    allocates no pixels, and a file that ends early costs what it holds, not what it declares.
//  - On success set format, width, height, depth, rowPitch, slicePitch and, when image.wantPixels is set,
//    pixels (top row first) and palette (256 entries) for palettised formats; where the file says so also
//    resourceType and the smallerLevel / siblingFace chains (records allocated with new DecodedImage).
//  - Pixels may point into `data` (ownsPixels clear) when the file already holds them in the record's layout.
//  - A failing reader may leave allocations in the record: ReadImage frees them before the next reader.
//  - Say why a file is rejected, in one line, through ReportReaderError (debug output only).

// Internal formats that only decoders produce; they become public formats before leaving the library.
inline constexpr D3DFORMAT D3DFMT_INTERNAL_AL16 = static_cast<D3DFORMAT>(0x36314C41);  // 16-bit L, 16-bit A
inline constexpr D3DFORMAT D3DFMT_INTERNAL_R16 = static_cast<D3DFORMAT>(0x36315220);   // 16-bit B, G, R

// One mip level of one face of a decoded image file.
struct DecodedImage {
    D3DFORMAT format = static_cast<D3DFORMAT>(0);  // pixel format of the data, possibly an internal code
    const BYTE* pixels = nullptr;                  // first byte of the top row; null before a reader succeeds
    PALETTEENTRY* palette = nullptr;               // 256 entries for palettised formats, else null
    UINT width = 0, height = 0, depth = 0;         // size in pixels; depth 1 for 2D images
    RECT sourceRect = {0, 0, 0, 0};                // part to use; (0, 0, width, height) after ReadImage
    UINT front = 0, back = 0;                      // slice range; (0, depth) after ReadImage
    UINT rowPitch = 0;                             // bytes per row (block formats: one row of 4 x 4 blocks)
    UINT slicePitch = 0;                           // bytes per slice; 0 for most 2D images
    bool ownsPixels = false;                       // pixels was allocated by AllocatePixels and is freed here
    bool ownsPalette = false;                      // palette was allocated by AllocatePalette and is freed here
    bool wantPixels = true;                        // set by the caller: decode pixels, or only the header
    // Set by a reader that leaves a bottom-row-first file in place: `pixels` is the top image row (the last one
    // stored) and each following row lies rowPitch bytes before it. Whole-pixel formats only.
    bool rowsUpward = false;
    D3DRESOURCETYPE resourceType = D3DRTYPE_TEXTURE;
    D3DXIMAGE_FILEFORMAT fileFormat = D3DXIFF_BMP;
    // Top record only: the levels the file declares where it holds more than get records (a DDS chain past
    // 1 x 1); 0 when every level has its record.
    UINT declaredLevels = 0;
    DecodedImage* smallerLevel = nullptr;  // owned: the next smaller mip level of this face
    DecodedImage* siblingFace = nullptr;   // owned: the first level of the next face

    DecodedImage() = default;
    DecodedImage(const DecodedImage&) = delete;
    DecodedImage& operator=(const DecodedImage&) = delete;
    ~DecodedImage() { Clear(); }

    // Frees owned pixels and palette and both chains, and resets the pointers, flags and links.
    void Clear();

    // Allocates `bytes` of pixel memory owned by the record and points `pixels` at it, every byte 0 when
    // `zeroed` (without writing them where the system hands out fresh zero pages, so untouched rows cost nothing).
    // Returns null (and allocates nothing) when `bytes` is 0 or does not fit in 32 bits, or when memory runs out.
    BYTE* AllocatePixels(std::uint64_t bytes, bool zeroed = false);
    // Allocates 256 palette entries owned by the record, every byte 0xFF (opaque white); null when out of memory.
    PALETTEENTRY* AllocatePalette();
};

// The header fields of a 2D image of one slice as a reader sets them on success: `format`, `width` x `height`,
// `rowPitch` bytes per row, depth 1 and slice pitch 0. Pixels, palette and chains are the reader's own to fill.
inline void FillLevelZeroHeader(DecodedImage& image, D3DFORMAT format, UINT width, UINT height, UINT rowPitch) {
    image.format = format;
    image.width = width;
    image.height = height;
    image.depth = 1;
    image.rowPitch = rowPitch;
    image.slicePitch = 0;
}

// The shared signature of the nine readers.
using ImageReaderFn = HRESULT (*)(DecodedImage& image, const BYTE* data, UINT size);

HRESULT ReadBmp(DecodedImage& image, const BYTE* data, UINT size);
HRESULT ReadPpm(DecodedImage& image, const BYTE* data, UINT size);
HRESULT ReadDds(DecodedImage& image, const BYTE* data, UINT size);
HRESULT ReadJpeg(DecodedImage& image, const BYTE* data, UINT size);
HRESULT ReadPng(DecodedImage& image, const BYTE* data, UINT size);
HRESULT ReadPfm(DecodedImage& image, const BYTE* data, UINT size);
HRESULT ReadHdr(DecodedImage& image, const BYTE* data, UINT size);
HRESULT ReadTga(DecodedImage& image, const BYTE* data, UINT size);
HRESULT ReadDib(DecodedImage& image, const BYTE* data, UINT size);

// Chooses how the JPEG reader produces colour pixels: straight from the library in the output layout (the
// default, where the library offers it) or through its plain RGB rows and a copy. Both give the same bytes; tests
// compare them. Returns the previous choice.
bool SetJpegDirectColour(bool enabled);

// Reads the image in `data`: fills `image` (an empty record) when wantPixels or only its header fields
// otherwise, and `info` when given. Null data or size 0: D3DERR_INVALIDCALL; no reader accepts the bytes:
// D3DXERR_INVALIDDATA. The numeric locale is "C" while the readers run and is restored afterwards.
HRESULT ReadImage(DecodedImage& image, const void* data, UINT size, D3DXIMAGE_INFO* info, bool wantPixels);

// The mip levels the file holds: the records of the first face's chain, or the count the file declares where
// that is more (see DecodedImage::declaredLevels).
UINT FileLevelCount(const DecodedImage& image);

// Replaces the internal decoder formats by the public format that stands for them.
D3DFORMAT PublicFormat(D3DFORMAT format);

// One line on the debug channel saying why a reader rejected its data ("TGA: ...").
void ReportReaderError(const char* text);
// ReportReaderError(why), then E_FAIL: what a reader returns for damaged data.
HRESULT RejectImage(const char* why);

// A decimal number at `p` (optionally signed, "+" included, as the text formats write them; "C" locale rules
// whatever the process locale). On success `p` moves past it.
bool ParseDecimal(const char*& p, const char* end, double& value);

// Little-endian 16- and 32-bit values as the file formats store them, read byte by byte (any alignment).
inline std::uint16_t ReadLe16(const BYTE* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t ReadLe32(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace tarn::texture
