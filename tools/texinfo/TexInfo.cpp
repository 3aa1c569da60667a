// texinfo FILE [--png OUT.png] [--level N] [--face F] [--slice S] [--size WxH] [--filter NAME]
// Prints the image description the texture library reads from FILE and the format its reader decodes to, with the
// file's faces (6 for a cube map, else 1), depth and the size of every stored level. With --png, loads the file
// through the library into an A8R8G8B8 texture (on the null device, system-memory scratch pool, so no device limit
// applies) and writes the chosen level as an 8-bit RGBA PNG. Level 0 at the image's own size is converted without
// dither unless --filter says otherwise, and then a band of rows at a time into a small scratch surface rather than
// a whole texture (the same pixels, in memory that follows the decoded image); other sizes default to triangle
// with dither and the levels below to the box filter. With --face or --slice, the PNG holds a sub-image as the file
// stores it: face F of a cube map (in D3DCUBEMAP_FACES order), slice S of a volume, at stored level N, converted
// from the decoded image in bands as level 0 is; --size resamples that one sub-image (default filter triangle with
// dither). Without --png only the header is read (a 16-bit Targa's stored pixels are scanned for an alpha bit, as
// a full read decides its format), so the answer takes no time or memory whatever size the file declares.
// Exit status 0 on success, 1 with the reason on standard error when the library or the arguments reject the
// request (a face, slice or level that the file does not store included: the message names the valid range).
#include <png.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"
#include "FormatTable.h"
#include "ImageReader.h"
#include "MappedFile.h"

using namespace tarn::texture;

namespace {

struct Named {
    DWORD value;
    const char* name;
};

const Named kFormats[] = {
    {D3DFMT_R8G8B8, "D3DFMT_R8G8B8"}, {D3DFMT_A8R8G8B8, "D3DFMT_A8R8G8B8"}, {D3DFMT_X8R8G8B8, "D3DFMT_X8R8G8B8"},
    {D3DFMT_R5G6B5, "D3DFMT_R5G6B5"}, {D3DFMT_X1R5G5B5, "D3DFMT_X1R5G5B5"}, {D3DFMT_A1R5G5B5, "D3DFMT_A1R5G5B5"},
    {D3DFMT_A4R4G4B4, "D3DFMT_A4R4G4B4"}, {D3DFMT_R3G3B2, "D3DFMT_R3G3B2"}, {D3DFMT_A8, "D3DFMT_A8"},
    {D3DFMT_A8R3G3B2, "D3DFMT_A8R3G3B2"}, {D3DFMT_X4R4G4B4, "D3DFMT_X4R4G4B4"},
    {D3DFMT_A2B10G10R10, "D3DFMT_A2B10G10R10"}, {D3DFMT_A8B8G8R8, "D3DFMT_A8B8G8R8"},
    {D3DFMT_X8B8G8R8, "D3DFMT_X8B8G8R8"}, {D3DFMT_G16R16, "D3DFMT_G16R16"}, {D3DFMT_A2R10G10B10, "D3DFMT_A2R10G10B10"},
    {D3DFMT_A16B16G16R16, "D3DFMT_A16B16G16R16"}, {D3DFMT_A8P8, "D3DFMT_A8P8"}, {D3DFMT_P8, "D3DFMT_P8"},
    {D3DFMT_L8, "D3DFMT_L8"}, {D3DFMT_A8L8, "D3DFMT_A8L8"}, {D3DFMT_A4L4, "D3DFMT_A4L4"}, {D3DFMT_L16, "D3DFMT_L16"},
    {D3DFMT_V8U8, "D3DFMT_V8U8"}, {D3DFMT_L6V5U5, "D3DFMT_L6V5U5"}, {D3DFMT_X8L8V8U8, "D3DFMT_X8L8V8U8"},
    {D3DFMT_Q8W8V8U8, "D3DFMT_Q8W8V8U8"}, {D3DFMT_V16U16, "D3DFMT_V16U16"}, {D3DFMT_A2W10V10U10, "D3DFMT_A2W10V10U10"},
    {D3DFMT_Q16W16V16U16, "D3DFMT_Q16W16V16U16"}, {D3DFMT_CxV8U8, "D3DFMT_CxV8U8"}, {D3DFMT_UYVY, "D3DFMT_UYVY"},
    {D3DFMT_R8G8_B8G8, "D3DFMT_R8G8_B8G8"}, {D3DFMT_YUY2, "D3DFMT_YUY2"}, {D3DFMT_G8R8_G8B8, "D3DFMT_G8R8_G8B8"},
    {D3DFMT_DXT1, "D3DFMT_DXT1"}, {D3DFMT_DXT2, "D3DFMT_DXT2"}, {D3DFMT_DXT3, "D3DFMT_DXT3"},
    {D3DFMT_DXT4, "D3DFMT_DXT4"}, {D3DFMT_DXT5, "D3DFMT_DXT5"}, {D3DFMT_D16_LOCKABLE, "D3DFMT_D16_LOCKABLE"},
    {D3DFMT_D32F_LOCKABLE, "D3DFMT_D32F_LOCKABLE"}, {D3DFMT_R16F, "D3DFMT_R16F"}, {D3DFMT_G16R16F, "D3DFMT_G16R16F"},
    {D3DFMT_A16B16G16R16F, "D3DFMT_A16B16G16R16F"}, {D3DFMT_R32F, "D3DFMT_R32F"}, {D3DFMT_G32R32F, "D3DFMT_G32R32F"},
    {D3DFMT_A32B32G32R32F, "D3DFMT_A32B32G32R32F"}, {D3DFMT_INTERNAL_AL16, "AL16 (16-bit grey and alpha)"},
    {D3DFMT_INTERNAL_R16, "R16 (48-bit RGB)"},
};

const Named kFileFormats[] = {{D3DXIFF_BMP, "BMP"}, {D3DXIFF_JPG, "JPG"}, {D3DXIFF_TGA, "TGA"},
                              {D3DXIFF_PNG, "PNG"}, {D3DXIFF_DDS, "DDS"}, {D3DXIFF_PPM, "PPM"},
                              {D3DXIFF_DIB, "DIB"}, {D3DXIFF_HDR, "HDR"}, {D3DXIFF_PFM, "PFM"}};

const Named kResourceTypes[] = {{D3DRTYPE_TEXTURE, "texture"}, {D3DRTYPE_VOLUMETEXTURE, "volume texture"},
                                {D3DRTYPE_CUBETEXTURE, "cube texture"}};

const Named kResults[] = {
    {static_cast<DWORD>(D3DERR_INVALIDCALL), "D3DERR_INVALIDCALL"},
    {static_cast<DWORD>(D3DERR_NOTAVAILABLE), "D3DERR_NOTAVAILABLE"},
    {static_cast<DWORD>(D3DXERR_INVALIDDATA), "D3DXERR_INVALIDDATA (no reader accepts the file)"},
    {static_cast<DWORD>(E_FAIL), "E_FAIL"},
    {static_cast<DWORD>(E_OUTOFMEMORY), "E_OUTOFMEMORY"},
};

template <std::size_t N>
std::string NameOf(const Named (&table)[N], DWORD value) {
    for (const Named& n : table) {
        if (n.value == value) return n.name;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "0x%08X", static_cast<unsigned>(value));
    return buffer;
}

int Fail(const std::string& what, HRESULT hr) {
    std::fprintf(stderr, "texinfo: %s: %s\n", what.c_str(), NameOf(kResults, static_cast<DWORD>(hr)).c_str());
    return 1;
}

const char kUsage[] =
    "usage: texinfo FILE [--png OUT.png] [--level N] [--face F] [--slice S] [--size WxH] "
    "[--filter none|point|linear|triangle|box[+dither][+mirror]]\n"
    "Prints what the texture library reads from an image file (format, size, faces, depth, levels, decoded "
    "format).\n"
    "  --png OUT.png   also load the file into an A8R8G8B8 texture and write a level of it as an RGBA PNG\n"
    "  --level N       the level to write (0 to 31; default 0); with --face or --slice, a level the file stores\n"
    "  --face F        write face F as stored in the file (0 to 5 for a cube map: +X, -X, +Y, -Y, +Z, -Z; else 0)\n"
    "  --slice S       write slice S as stored in the file (0 to the chosen level's depth - 1; 0 for 2D images)\n"
    "  --size WxH      load at this size (1 to 16384 each; default: the image's own size)\n"
    "  --filter NAME   resampling filter: none, point, linear, triangle or box, with +dither and +mirror\n"
    "                  (default: none at the image's own size, else triangle with dither; box for lower levels)\n"
    "  --face and --slice need --png; --size and --filter then resample the chosen sub-image\n"
    "  --help          show this text\n";

int Usage(const char* why) {
    std::fprintf(stderr, "texinfo: %s\n%s", why, kUsage);
    return 1;
}

bool ParseFilter(const std::string& text, DWORD* filter) {
    static const Named kKinds[] = {{D3DX_FILTER_NONE, "none"},
                                   {D3DX_FILTER_POINT, "point"},
                                   {D3DX_FILTER_LINEAR, "linear"},
                                   {D3DX_FILTER_TRIANGLE, "triangle"},
                                   {D3DX_FILTER_BOX, "box"}};
    std::size_t start = 0;
    *filter = 0;
    bool haveKind = false;
    while (start <= text.size()) {
        const std::size_t plus = text.find('+', start);
        const std::string part = text.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        bool known = false;
        for (const Named& k : kKinds) {
            if (part == k.name && !haveKind) {
                *filter |= k.value;
                haveKind = known = true;
            }
        }
        if (part == "dither") *filter |= D3DX_FILTER_DITHER, known = true;
        if (part == "mirror") *filter |= D3DX_FILTER_MIRROR, known = true;
        if (!known) return false;
        if (plus == std::string::npos) break;
        start = plus + 1;
    }
    return haveKind;
}

// Writes 8-bit RGBA rows, one at a time, so that a large level needs no second whole-image buffer. The A8R8G8B8
// rows come from `nextBand(top, bits, pitch)`, a band at a time: it points `bits` at the band that starts at row
// `top` (rows `pitch` bytes apart) and returns how many rows it holds, 0 on failure.
template <typename NextBand>
bool WritePng(const char* path, UINT width, UINT height, NextBand nextBand) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        // One filter and a middle compression level: choosing a filter for every row at the default level
        // took nearly half the time for a 33 M-pixel image, for files about 10% smaller.
        png_set_filter(png, 0, PNG_FILTER_UP);
        png_set_compression_level(png, 3);
        png_write_info(png, info);
        std::vector<BYTE> rgba(static_cast<std::size_t>(width) * 4);
        ok = true;
        for (UINT y = 0; y < height && ok;) {
            const BYTE* bits = nullptr;
            std::ptrdiff_t pitch = 0;
            const UINT rows = nextBand(y, bits, pitch);
            ok = rows > 0;
            for (UINT r = 0; r < rows; ++r, ++y) {
                const BYTE* row = bits + static_cast<std::ptrdiff_t>(r) * pitch;
                for (UINT x = 0; x < width; ++x) {
                    rgba[4 * x + 0] = row[4 * x + 2];
                    rgba[4 * x + 1] = row[4 * x + 1];
                    rgba[4 * x + 2] = row[4 * x + 0];
                    rgba[4 * x + 3] = row[4 * x + 3];
                }
                png_write_row(png, rgba.data());
            }
        }
        if (ok) png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

// One 2D picture as a reader left it in memory: a level of one face, or one slice of a volume level.
struct Picture {
    const BYTE* pixels = nullptr;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT width = 0, height = 0, rowPitch = 0;
    const PALETTEENTRY* palette = nullptr;
    bool rowsUpward = false;
};

Picture PictureOf(const DecodedImage& image, UINT slice) {
    Picture p;
    p.pixels = image.pixels + static_cast<std::size_t>(slice) * image.slicePitch;
    p.format = image.format;
    p.width = image.width;
    p.height = image.height;
    p.rowPitch = image.rowPitch;
    p.palette = image.palette;
    p.rowsUpward = image.rowsUpward;
    return p;
}

// Level 0 at the image's own size without a filter converts every pixel on its own, so the library converts
// the decoded image a band of rows at a time into a small scratch surface, and each band is written before
// the next: memory follows the decoded image rather than four bytes a pixel for a whole texture, which for a
// blank 1-bit PNG of 4 KB (33 M pixels) is 130 MB. Block-compressed images, cube maps and volumes take the
// texture path unless a stored face or slice is asked for.
bool CanWriteInBands(const DecodedImage& image, UINT level, bool ownSize, DWORD filter) {
    return level == 0 && ownSize && filter == D3DX_FILTER_NONE && image.pixels != nullptr && image.depth == 1 &&
           image.resourceType == D3DRTYPE_TEXTURE && !IsBlockFormat(image.format);
}

bool WritePngInBands(IDirect3DDevice9* device, const Picture& picture, const char* path) {
    constexpr std::size_t kBandBytes = std::size_t{1} << 20;
    const UINT width = picture.width, height = picture.height;
    // Rows stored upwards (a bottom-up bitmap read in place) have no positive pitch: they go one at a time.
    const std::size_t fit = kBandBytes / (std::size_t{width} * 4);
    const UINT bandRows =
        picture.rowsUpward ? 1 : static_cast<UINT>(std::max<std::size_t>(1, std::min<std::size_t>(fit, height)));
    IDirect3DSurface9* band = nullptr;
    if (FAILED(device->CreateOffscreenPlainSurface(width, bandRows, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &band,
                                                   nullptr)))
        return false;
    bool locked = false;
    const bool written =
        WritePng(path, width, height, [&](UINT top, const BYTE*& bits, std::ptrdiff_t& pitch) -> UINT {
            if (locked) band->UnlockRect();
            locked = false;
            const UINT rows = std::min(bandRows, height - top);
            const RECT to = {0, 0, static_cast<LONG>(width), static_cast<LONG>(rows)};
            RECT from = {0, static_cast<LONG>(top), static_cast<LONG>(width), static_cast<LONG>(top + rows)};
            const BYTE* memory = picture.pixels;
            if (picture.rowsUpward) {
                memory = picture.pixels - static_cast<std::ptrdiff_t>(top) * picture.rowPitch;
                from = to;
            }
            if (FAILED(D3DXLoadSurfaceFromMemory(band, nullptr, &to, memory, picture.format, picture.rowPitch,
                                                 picture.palette, &from, D3DX_FILTER_NONE, 0)))
                return 0;
            D3DLOCKED_RECT lockedRect = {};
            if (FAILED(band->LockRect(&lockedRect, nullptr, D3DLOCK_READONLY))) return 0;
            locked = true;
            bits = static_cast<const BYTE*>(lockedRect.pBits);
            pitch = lockedRect.Pitch;
            return rows;
        });
    if (locked) band->UnlockRect();
    band->Release();
    return written;
}

// Resamples a whole picture (rows stored downwards) to width x height with `filter` into one scratch surface and
// writes it.
bool WritePngResampled(IDirect3DDevice9* device, const Picture& picture, UINT width, UINT height, DWORD filter,
                       const char* path) {
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(device->CreateOffscreenPlainSurface(width, height, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr)))
        return false;
    const RECT from = {0, 0, static_cast<LONG>(picture.width), static_cast<LONG>(picture.height)};
    D3DLOCKED_RECT locked = {};
    bool written = false;
    if (SUCCEEDED(D3DXLoadSurfaceFromMemory(surface, nullptr, nullptr, picture.pixels, picture.format, picture.rowPitch,
                                            picture.palette, &from, filter, 0)) &&
        SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        written = WritePng(path, width, height, [&](UINT, const BYTE*& bits, std::ptrdiff_t& rowPitch) {
            bits = static_cast<const BYTE*>(locked.pBits);
            rowPitch = locked.Pitch;
            return height;
        });
        surface->UnlockRect();
    }
    surface->Release();
    return written;
}

UINT CountFaces(const DecodedImage& image) {
    UINT faces = 0;
    for (const DecodedImage* f = &image; f != nullptr; f = f->siblingFace) ++faces;
    return faces;
}

// Writes face `face`, slice `slice` of stored level `level` as a PNG: at its own size in bands, else resampled to
// width x height with `filter`. Returns the exit status; a sub-image the file does not hold is refused with the
// range it does hold.
int WriteStored(IDirect3DDevice9* device, const DecodedImage& image, UINT face, UINT slice, UINT level, UINT width,
                UINT height, DWORD filter, const char* path, const char* pngPath) {
    const UINT faces = CountFaces(image);
    const DecodedImage* chosen = &image;
    for (UINT f = 0; f < face && chosen != nullptr; ++f) chosen = chosen->siblingFace;
    if (chosen == nullptr) {
        std::fprintf(stderr, "texinfo: face %u does not exist: %s has %s\n", face, path,
                     faces == 6 ? "faces 0 to 5 (a cube map)" : "one face, 0");
        return 1;
    }
    UINT levels = 0;
    for (const DecodedImage* l = chosen; l != nullptr; l = l->smallerLevel) ++levels;
    for (UINT l = 0; l < level && chosen != nullptr; ++l) chosen = chosen->smallerLevel;
    if (chosen == nullptr) {
        std::fprintf(stderr, "texinfo: level %u is not stored: %s stores levels 0 to %u\n", level, path, levels - 1);
        return 1;
    }
    if (slice >= chosen->depth) {
        std::fprintf(stderr, "texinfo: slice %u does not exist: level %u of %s has slices 0 to %u\n", slice, level,
                     path, chosen->depth - 1);
        return 1;
    }
    const Picture picture = PictureOf(*chosen, slice);
    const bool ownSize = width == D3DX_DEFAULT_NONPOW2 && height == D3DX_DEFAULT_NONPOW2;
    bool written = false;
    if (ownSize && filter == D3DX_FILTER_NONE) {
        written = WritePngInBands(device, picture, pngPath);
        width = picture.width;
        height = picture.height;
    } else {
        if (ownSize) width = picture.width, height = picture.height;
        written = WritePngResampled(device, picture, width, height, filter, pngPath);
    }
    if (!written) {
        std::fprintf(stderr, "texinfo: cannot convert or write %s\n", pngPath);
        return 1;
    }
    std::printf("Wrote:          %s (face %u, slice %u, level %u, %u x %u, RGBA 8-bit)\n", pngPath, face, slice, level,
                width, height);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = nullptr;
    const char* pngPath = nullptr;
    UINT level = 0, width = D3DX_DEFAULT_NONPOW2, height = D3DX_DEFAULT_NONPOW2;
    UINT face = 0, slice = 0;
    bool stored = false;  // --face or --slice: write a sub-image as the file stores it
    DWORD filter = D3DX_DEFAULT, mipFilter = D3DX_DEFAULT;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--png" && hasValue) {
            pngPath = argv[++i];
        } else if (arg == "--level" && hasValue) {
            char* end = nullptr;
            const unsigned long n = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || n > 31) return Usage("--level needs a number from 0 to 31");
            level = static_cast<UINT>(n);
        } else if (arg == "--face" && hasValue) {
            char* end = nullptr;
            const unsigned long n = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || !std::isdigit(static_cast<unsigned char>(argv[i][0])) || n > 5)
                return Usage("--face needs a number from 0 to 5");
            face = static_cast<UINT>(n);
            stored = true;
        } else if (arg == "--slice" && hasValue) {
            char* end = nullptr;
            const unsigned long n = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || !std::isdigit(static_cast<unsigned char>(argv[i][0])) || n > 0xFFFFFFFFul)
                return Usage("--slice needs a number from 0 up");
            slice = static_cast<UINT>(n);
            stored = true;
        } else if (arg == "--size" && hasValue) {
            unsigned w = 0, h = 0;
            char extra = 0;
            if (std::sscanf(argv[++i], "%ux%u%c", &w, &h, &extra) != 2 || w == 0 || h == 0 || w > 16384 ||
                h > 16384) {
                return Usage("--size needs WxH, each 1 to 16384");
            }
            width = w;
            height = h;
        } else if (arg == "--filter" && hasValue) {
            if (!ParseFilter(argv[++i], &filter)) return Usage("unknown filter");
            mipFilter = filter;  // levels below 0 are made with the same filter
        } else if (arg.rfind("--", 0) == 0 || path != nullptr) {
            return Usage(("unexpected argument " + arg).c_str());
        } else {
            path = argv[i];
        }
    }
    if (path == nullptr) return Usage("no file given");
    if (stored && pngPath == nullptr) return Usage("--face and --slice choose what --png writes: give --png too");
    // At the image's own size nothing is resampled: convert with plain rounding (no dither), so that the PNG
    // holds exactly the decoded values. Another size resamples with the library's default filter.
    const bool ownSize = width == D3DX_DEFAULT_NONPOW2 && height == D3DX_DEFAULT_NONPOW2;
    if (filter == D3DX_DEFAULT && ownSize) filter = D3DX_FILTER_NONE;

    MappedFile file;
    HRESULT hr = file.Open(path);
    if (FAILED(hr)) {
        std::fprintf(stderr, "texinfo: cannot open, size or map %s\n", path);
        return 1;
    }
    if (file.Size() == 0) return Fail(std::string(path) + " is empty", D3DERR_INVALIDCALL);

    DecodedImage image;
    D3DXIMAGE_INFO info = {};
    hr = ReadImage(image, file.Data(), file.Size(), &info, pngPath != nullptr);
    if (FAILED(hr)) return Fail(std::string("cannot read ") + path, hr);
    std::printf("File:           %s\n", path);
    std::printf("ImageFileFormat: %s\n", NameOf(kFileFormats, info.ImageFileFormat).c_str());
    std::printf("Width:          %u\n", info.Width);
    std::printf("Height:         %u\n", info.Height);
    std::printf("Depth:          %u\n", info.Depth);
    std::printf("Faces:          %u\n", CountFaces(image));
    std::printf("MipLevels:      %u\n", info.MipLevels);
    std::printf("Levels:        ");
    for (const DecodedImage* l = &image; l != nullptr; l = l->smallerLevel) {
        std::printf("%s %u x %u x %u", l == &image ? "" : ",", l->width, l->height, l->depth);
    }
    std::printf("\n");
    std::printf("Format:         %s\n", NameOf(kFormats, info.Format).c_str());
    std::printf("ResourceType:   %s\n", NameOf(kResourceTypes, info.ResourceType).c_str());
    std::printf("Decoded format: %s\n", NameOf(kFormats, image.format).c_str());
    // Palettised formats always come with a palette, though a header-only read does not build it.
    const bool palettised = image.format == D3DFMT_P8 || image.format == D3DFMT_A8P8;
    std::printf("Palette:        %s\n", palettised ? "yes" : "no");
    if (pngPath == nullptr) return 0;

    IDirect3DDevice9* device = tarn::d3d9::CreateNullDevice(16, 16);
    if (device == nullptr) return Fail("no device", E_FAIL);

    int status = 0;
    // A bottom-up image read in place holds one face, one slice and one level, and only the band writer reads its
    // rows upwards; resampling or filtering it is what the texture path below does with the same rows.
    if (stored && image.rowsUpward && !(ownSize && filter == D3DX_FILTER_NONE) && face == 0 && slice == 0 && level == 0)
        stored = false;
    if (stored) {
        status = WriteStored(device, image, face, slice, level, width, height, filter, path, pngPath);
        device->Release();
        return status;
    }
    if (CanWriteInBands(image, level, ownSize, filter)) {
        if (!WritePngInBands(device, PictureOf(image, 0), pngPath)) {
            std::fprintf(stderr, "texinfo: cannot convert or write %s\n", pngPath);
            status = 1;
        } else {
            std::printf("Wrote:          %s (level 0, %u x %u, RGBA 8-bit)\n", pngPath, image.width, image.height);
        }
        device->Release();
        return status;
    }
    image.Clear();  // the texture decodes the file again: the two copies are never held at once
    IDirect3DTexture9* texture = nullptr;
    hr = D3DXCreateTextureFromFileInMemoryEx(device, file.Data(), file.Size(), width, height,
                                             level == 0 ? 1 : D3DX_DEFAULT, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH,
                                             filter, mipFilter, 0, nullptr, nullptr, &texture);
    if (FAILED(hr)) {
        status = Fail("the library rejects the file", hr);
    } else if (level >= texture->GetLevelCount()) {
        std::fprintf(stderr, "texinfo: level %u does not exist (the texture has %u)\n", level,
                     static_cast<unsigned>(texture->GetLevelCount()));
        status = 1;
    } else {
        D3DSURFACE_DESC desc = {};
        D3DLOCKED_RECT locked = {};
        texture->GetLevelDesc(level, &desc);
        hr = texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY);
        if (FAILED(hr)) {
            status = Fail("cannot read the texture", hr);
        } else {
            const bool written =
                WritePng(pngPath, desc.Width, desc.Height, [&](UINT, const BYTE*& bits, std::ptrdiff_t& pitch) {
                    bits = static_cast<const BYTE*>(locked.pBits);
                    pitch = locked.Pitch;
                    return desc.Height;
                });
            texture->UnlockRect(level);
            if (!written) {
                std::fprintf(stderr, "texinfo: cannot write %s\n", pngPath);
                status = 1;
            } else {
                std::printf("Wrote:          %s (level %u, %u x %u, RGBA 8-bit)\n", pngPath, level, desc.Width,
                            desc.Height);
            }
        }
    }
    if (texture != nullptr) texture->Release();
    device->Release();
    return status;
}
