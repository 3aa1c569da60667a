// Textures from image files: read the file, fit the request to the device, create the texture and fill every
// level from the image, its stored levels or the texture's own filtered levels.
#include <cstring>

#include "texture/D3DXTexture.h"
#include "texture/FormatTable.h"
#include "texture/ImageReader.h"
#include "texture/MappedFile.h"
#include "texture/SurfaceLoad.h"

namespace {

UINT NextPowerOfTwo(UINT n) {
    UINT p = 1;
    while (p < n && p < 0x80000000u) p <<= 1;
    return p < n ? n : p;
}

// Size from the image: NONPOW2 and FROM_FILE take it as it is, 0 and DEFAULT round it up to a power of two.
UINT SizeFromImage(UINT requested, UINT image) {
    if (requested == D3DX_DEFAULT_NONPOW2 || requested == D3DX_FROM_FILE) return image;
    if (requested == 0 || requested == D3DX_DEFAULT) return NextPowerOfTwo(image);
    return requested;
}

bool IsGreyRamp(const PALETTEENTRY* p) {
    for (int i = 0; i < 256; ++i) {
        if (p[i].peRed != i || p[i].peGreen != i || p[i].peBlue != i || p[i].peFlags != 255) return false;
    }
    return true;
}

bool Is332(const PALETTEENTRY* p) {
    static const BYTE kThree[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    static const BYTE kTwo[4] = {0, 85, 170, 255};
    for (int i = 0; i < 256; ++i) {
        if (p[i].peRed != kThree[i >> 5] || p[i].peGreen != kThree[(i >> 2) & 7] || p[i].peBlue != kTwo[i & 3] ||
            p[i].peFlags != 255) {
            return false;
        }
    }
    return true;
}

// Releases what it holds unless handed over.
template <typename T>
class ComRef {
public:
    ~ComRef() {
        if (p_ != nullptr) p_->Release();
    }
    T** operator&() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T* release() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_ = nullptr;
};

HRESULT FillLevels(IDirect3DTexture9* texture, const DecodedImage& image, const PALETTEENTRY* palette,
                   const PALETTEENTRY* workingPalette, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                   bool filterTexture) {
    const UINT levels = texture->GetLevelCount();
    UINT fileLevels = 0;
    for (const DecodedImage* l = &image; l != nullptr; l = l->smallerLevel) ++fileLevels;

    const DecodedImage* next = &image;
    const DecodedImage* last = &image;
    for (UINT level = 0; level < levels; ++level) {
        const DecodedImage* source = next;
        if (source == nullptr) {
            if (filterTexture) break;
            source = last;  // the remaining levels are resampled from the file's smallest level
        }
        ComRef<IDirect3DSurface9> surface;
        HRESULT hr = texture->GetSurfaceLevel(level, &surface);
        if (FAILED(hr)) return hr;
        ImageDesc image;
        image.memory = const_cast<BYTE*>(source->pixels);
        image.format = source->format;
        image.rowPitch = source->rowPitch;
        image.slicePitch = source->slicePitch;
        image.box = {static_cast<UINT>(source->sourceRect.left), static_cast<UINT>(source->sourceRect.top),
                     static_cast<UINT>(source->sourceRect.right), static_cast<UINT>(source->sourceRect.bottom), 0, 1};
        image.palette = workingPalette;
        image.colorKey = colorKey;
        image.rowsUpward = source->rowsUpward;
        hr = source->pixels != nullptr ? LoadSurfaceFromImage(surface.get(), palette, nullptr, image, filter)
                                       : D3DERR_INVALIDCALL;
        if (FAILED(hr)) return hr;
        last = source;
        next = source->smallerLevel;
    }
    if (filterTexture && levels > fileLevels) {
        return D3DXFilterTexture(texture, workingPalette, fileLevels - 1, mipFilter);
    }
    return S_OK;
}

// D3DFMT_FROM_FILE (-3) lies outside the values the D3DFORMAT enumeration declares, so a D3DFORMAT holding it is
// never read as such here: the public entry points copy the bits into a DWORD first.
DWORD FormatBits(const D3DFORMAT& format) {
    DWORD bits;
    std::memcpy(&bits, &format, sizeof(bits));
    return bits;
}

constexpr DWORD kFormatFromFile = 0xFFFFFFFDu;

HRESULT CreateTextureFromMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize, UINT width,
                                UINT height, UINT mipLevels, DWORD usage, DWORD requestedFormat, D3DPOOL pool,
                                DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                PALETTEENTRY* palette, IDirect3DTexture9** texture) {
    if (device == nullptr || srcData == nullptr || srcDataSize == 0 || texture == nullptr) return D3DERR_INVALIDCALL;
    const bool widthFromFile = width == D3DX_FROM_FILE;
    const bool heightFromFile = height == D3DX_FROM_FILE;
    const bool levelsFromFile = mipLevels == D3DX_FROM_FILE;
    const bool formatFromFile = requestedFormat == kFormatFromFile;
    D3DFORMAT format = formatFromFile ? D3DFMT_UNKNOWN : static_cast<D3DFORMAT>(requestedFormat);

    DecodedImage image;
    D3DXIMAGE_INFO info = {};
    HRESULT hr = ReadImage(image, srcData, srcDataSize, &info, true);
    if (FAILED(hr)) return hr;
    if (srcInfo != nullptr) *srcInfo = info;

    UINT fileLevels = 0;
    for (const DecodedImage* l = &image; l != nullptr; l = l->smallerLevel) ++fileLevels;
    if (levelsFromFile) mipLevels = fileLevels;
    width = SizeFromImage(width, image.width);
    height = SizeFromImage(height, image.height);

    if (filter == D3DX_DEFAULT) filter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;
    if (mipFilter == D3DX_DEFAULT) mipFilter = D3DX_FILTER_BOX;
    const bool filterTexture = (filter & 0xFF) == D3DX_FILTER_NONE || (mipFilter & 0xFF) == D3DX_FILTER_POINT ||
                               (mipFilter & 0xFF) == D3DX_FILTER_BOX;

    // The working palette: opaque white without a file palette; keying is done on the palette itself.
    PALETTEENTRY working[256];
    std::memset(working, 0xFF, sizeof(working));
    const bool hadPalette = image.palette != nullptr;
    if (hadPalette) {
        const PALETTEENTRY key = {static_cast<BYTE>(colorKey >> 16), static_cast<BYTE>(colorKey >> 8),
                                  static_cast<BYTE>(colorKey), static_cast<BYTE>(colorKey >> 24)};
        for (int i = 0; i < 256; ++i) {
            working[i] = image.palette[i];
            if (colorKey != 0 && std::memcmp(&working[i], &key, sizeof(key)) == 0) working[i] = {0, 0, 0, 0};
        }
        colorKey = 0;
    }
    D3DFORMAT imageFormat = image.format;
    if (imageFormat == D3DFMT_P8 && format != D3DFMT_P8) {
        // Palettes that are really a grey ramp or the 3-3-2 colour cube need no palette at all.
        if (IsGreyRamp(working)) {
            imageFormat = D3DFMT_L8;
        } else if (Is332(working)) {
            imageFormat = D3DFMT_R3G3B2;
        }
        image.format = imageFormat;
    }

    if (format == D3DFMT_UNKNOWN || formatFromFile) {
        format = imageFormat;
        const FormatDesc& desc = LookUpFormatDesc(imageFormat);
        if (colorKey != 0 && desc.widths[1] == 0 &&
            (desc.kind == FormatKind::Colour || desc.kind == FormatKind::Palettised ||
             desc.kind == FormatKind::Luminance)) {
            // Keyed pixels become transparent: look for the closest format that has alpha.
            FormatDesc withAlpha = desc;
            withAlpha.format = static_cast<D3DFORMAT>(0);
            withAlpha.widths[1] = 1;
            const D3DFORMAT found = FindBestFormat(nullptr, usage, D3DRTYPE_TEXTURE, withAlpha);
            if (found != static_cast<D3DFORMAT>(0)) format = found;
        }
        format = PublicFormat(format);
        if (pool != D3DPOOL_SCRATCH && format == D3DFMT_R8G8B8) format = D3DFMT_X8R8G8B8;
    }

    if (palette != nullptr) std::memcpy(palette, working, sizeof(working));
    if (palette == nullptr || !hadPalette) {
        if (formatFromFile && (format == D3DFMT_A8P8 || format == D3DFMT_P8)) return D3DERR_INVALIDCALL;
        if (format == D3DFMT_A8P8) {
            format = D3DFMT_A8R8G8B8;
        } else if (format == D3DFMT_P8) {
            bool alpha = false;
            for (const PALETTEENTRY& e : working) alpha |= e.peFlags != 255;
            format = alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
        }
    }

    const bool staging = pool == D3DPOOL_DEFAULT && (usage & D3DUSAGE_DYNAMIC) == 0;

    const UINT wantedWidth = width, wantedHeight = height, wantedLevels = mipLevels;
    const D3DFORMAT wantedFormat = format;
    hr = CheckResourceRequirements(device, &width, &height, nullptr, &mipLevels, usage, &format, pool,
                                   D3DRTYPE_TEXTURE);
    if (FAILED(hr)) return hr;
    if ((widthFromFile && width != wantedWidth) || (heightFromFile && height != wantedHeight) ||
        (levelsFromFile && mipLevels != wantedLevels) || (formatFromFile && format != wantedFormat)) {
        return D3DERR_NOTAVAILABLE;
    }

    ComRef<IDirect3DTexture9> created;
    hr = device->CreateTexture(width, height, mipLevels, usage & ~0x1F8000u, format, pool, &created, nullptr);
    if (FAILED(hr)) return hr;
    ComRef<IDirect3DTexture9> system;
    if (staging) {
        hr = device->CreateTexture(width, height, mipLevels, 0, format, D3DPOOL_SYSTEMMEM, &system, nullptr);
        if (FAILED(hr)) return hr;
    }

    IDirect3DTexture9* target = staging ? system.get() : created.get();
    hr = FillLevels(target, image, palette, working, filter, mipFilter, colorKey, filterTexture);
    if (FAILED(hr)) return hr;
    if (staging) {
        hr = device->UpdateTexture(system.get(), created.get());
        if (FAILED(hr)) return hr;
    }
    *texture = created.release();
    return S_OK;
}

}  // namespace

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                            UINT width, UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                            IDirect3DTexture9** texture) {
    return CreateTextureFromMemory(device, srcData, srcDataSize, width, height, mipLevels, usage, FormatBits(format),
                                   pool, filter, mipFilter, colorKey, srcInfo, palette, texture);
}

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, const char* srcFile, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                     PALETTEENTRY* palette, IDirect3DTexture9** texture) {
    if (device == nullptr || srcFile == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
    MappedFile file;
    const HRESULT hr = file.Open(srcFile);
    if (FAILED(hr)) return hr;
    return CreateTextureFromMemory(device, file.Data(), file.Size(), width, height, mipLevels, usage,
                                   FormatBits(format), pool, filter, mipFilter, colorKey, srcInfo, palette, texture);
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, const char* srcFile, IDirect3DTexture9** texture) {
    return D3DXCreateTextureFromFileExA(device, srcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                        nullptr, texture);
}
