// The decoded-image record and the reader trial.
#include "ImageReader.h"

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace tarn::texture {

void DecodedImage::Clear() {
    if (ownsPixels) std::free(const_cast<BYTE*>(pixels));
    if (ownsPalette) delete[] palette;
    pixels = nullptr;
    palette = nullptr;
    ownsPixels = false;
    ownsPalette = false;
    rowsUpward = false;
    // Chains are freed iteratively along each list so that a long chain cannot exhaust the stack.
    while (smallerLevel != nullptr) {
        DecodedImage* level = smallerLevel;
        smallerLevel = level->smallerLevel;
        level->smallerLevel = nullptr;
        delete level;
    }
    while (siblingFace != nullptr) {
        DecodedImage* face = siblingFace;
        siblingFace = face->siblingFace;
        face->siblingFace = nullptr;
        delete face;
    }
}

BYTE* DecodedImage::AllocatePixels(std::uint64_t bytes, bool zeroed) {
    if (bytes == 0 || bytes > 0xFFFFFFFFull) return nullptr;
    // calloc takes large blocks straight from the system, whose pages are zero already: it writes nothing, and a
    // page costs memory only once a reader writes to it.
    void* memory = zeroed ? std::calloc(static_cast<std::size_t>(bytes), 1) : std::malloc(static_cast<std::size_t>(bytes));
    BYTE* buffer = static_cast<BYTE*>(memory);
    if (buffer == nullptr) return nullptr;
    if (ownsPixels) std::free(const_cast<BYTE*>(pixels));
    pixels = buffer;
    ownsPixels = true;
    return buffer;
}

PALETTEENTRY* DecodedImage::AllocatePalette() {
    PALETTEENTRY* entries = new (std::nothrow) PALETTEENTRY[256];
    if (entries == nullptr) return nullptr;
    std::memset(entries, 0xFF, 256 * sizeof(PALETTEENTRY));
    if (ownsPalette) delete[] palette;
    palette = entries;
    ownsPalette = true;
    return entries;
}

UINT FileLevelCount(const DecodedImage& image) {
    UINT levels = 0;
    for (const DecodedImage* level = &image; level != nullptr; level = level->smallerLevel) ++levels;
    return levels > image.declaredLevels ? levels : image.declaredLevels;
}

D3DFORMAT PublicFormat(D3DFORMAT format) {
    if (format == D3DFMT_INTERNAL_AL16) return D3DFMT_A8L8;
    if (format == D3DFMT_INTERNAL_R16) return D3DFMT_A16B16G16R16;
    return format;
}

void ReportReaderError(const char* text) {
    std::string line = "D3DX: ";
    line += text;
    line += "\n";
    OutputDebugStringA(line.c_str());
}

HRESULT RejectImage(const char* why) {
    ReportReaderError(why);
    return E_FAIL;
}

bool ParseDecimal(const char*& p, const char* end, double& value) {
    const char* start = p;
    // from_chars takes a leading "-" but not a "+"; a second sign after the "+" is not a number.
    if (start < end && *start == '+') {
        ++start;
        if (start < end && (*start == '-' || *start == '+')) return false;
    }
    const auto r = std::from_chars(start, end, value);
    if (r.ec != std::errc() || r.ptr == start) return false;
    p = r.ptr;
    return true;
}

namespace {

struct ReaderEntry {
    ImageReaderFn read;
    D3DXIMAGE_FILEFORMAT fileFormat;
};

// Targa has no magic number and DIB only a header size, so they come last.
const ReaderEntry kReaders[] = {
    {ReadBmp, D3DXIFF_BMP}, {ReadPpm, D3DXIFF_PPM}, {ReadDds, D3DXIFF_DDS},
    {ReadJpeg, D3DXIFF_JPG}, {ReadPng, D3DXIFF_PNG}, {ReadPfm, D3DXIFF_PFM},
    {ReadHdr, D3DXIFF_HDR}, {ReadTga, D3DXIFF_TGA}, {ReadDib, D3DXIFF_DIB},
};

// Holds LC_NUMERIC at "C" for its lifetime and puts the previous locale back, on every path.
class NumericLocaleGuard {
public:
    NumericLocaleGuard() {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        if (current != nullptr && std::strcmp(current, "C") == 0) return;
        if (current != nullptr) {
            saved_ = new (std::nothrow) char[std::strlen(current) + 1];
            if (saved_ != nullptr) std::strcpy(saved_, current);
        }
        std::setlocale(LC_NUMERIC, "C");
    }
    ~NumericLocaleGuard() {
        if (saved_ != nullptr) {
            std::setlocale(LC_NUMERIC, saved_);
            delete[] saved_;
        }
    }
    NumericLocaleGuard(const NumericLocaleGuard&) = delete;
    NumericLocaleGuard& operator=(const NumericLocaleGuard&) = delete;

private:
    char* saved_ = nullptr;
};

}  // namespace

HRESULT ReadImage(DecodedImage& image, const void* data, UINT size, D3DXIMAGE_INFO* info, bool wantPixels) {
    if (data == nullptr || size == 0) return D3DERR_INVALIDCALL;
    if (info == nullptr && !wantPixels) return S_OK;

    bool accepted = false;
    {
        NumericLocaleGuard locale;
        for (const ReaderEntry& reader : kReaders) {
            image.wantPixels = wantPixels;
            image.resourceType = D3DRTYPE_TEXTURE;
            image.fileFormat = reader.fileFormat;
            image.declaredLevels = 0;
            if (SUCCEEDED(reader.read(image, static_cast<const BYTE*>(data), size))) {
                accepted = true;
                break;
            }
            // A rejecting reader may have allocated: start the next one clean.
            image.Clear();
        }
    }
    if (!accepted) return D3DXERR_INVALIDDATA;

    if (info != nullptr) {
        std::memset(info, 0, sizeof(*info));
        info->Width = image.width;
        info->Height = image.height;
        info->Depth = image.depth;
        info->MipLevels = FileLevelCount(image);
        info->Format = PublicFormat(image.format);
        info->ResourceType = image.resourceType;
        info->ImageFileFormat = image.fileFormat;
    }

    for (DecodedImage* face = &image; face != nullptr; face = face->siblingFace) {
        for (DecodedImage* level = face; level != nullptr; level = level->smallerLevel) {
            level->sourceRect = {0, 0, static_cast<LONG>(level->width), static_cast<LONG>(level->height)};
            level->front = 0;
            level->back = level->depth;
        }
    }
    return S_OK;
}

}  // namespace tarn::texture
