// Textures from image files: read the file, fit the request to the device, create the texture and fill every
// level from the image, its stored levels or the texture's own filtered levels. One sequence serves 2D, cube and
// volume textures; the resource type decides how many faces are filled, whether depth counts and how a level is
// reached.
#include <algorithm>
#include <cstring>

#include "platform/Bits.h"
#include "texture/D3DXTexture.h"
#include "BlitImage.h"
#include "FormatTable.h"
#include "ImageReader.h"
#include "LoadCommon.h"
#include "MappedFile.h"
#include "SurfaceLoad.h"

namespace tarn::texture {

namespace {

// Size from the image: NONPOW2 and FROM_FILE take it as it is, 0 and DEFAULT round it up to a power of two.
UINT SizeFromImage(UINT requested, UINT image) {
    if (requested == D3DX_DEFAULT_NONPOW2 || requested == D3DX_FROM_FILE) return image;
    if (requested == 0 || requested == D3DX_DEFAULT) return tarn::NextPowerOfTwo(image);
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

// The part of a decoded level to transfer, as the transfer core describes an image: every slice for a volume
// texture, the first slice otherwise.
ImageDesc ImageOf(const DecodedImage& level, const PALETTEENTRY* workingPalette, D3DCOLOR colorKey,
                  D3DRESOURCETYPE type = D3DRTYPE_TEXTURE) {
    ImageDesc image;
    image.memory = const_cast<BYTE*>(level.pixels);
    image.format = level.format;
    image.rowPitch = level.rowPitch;
    image.slicePitch = level.slicePitch;
    image.box = {static_cast<UINT>(level.sourceRect.left),
                 static_cast<UINT>(level.sourceRect.top),
                 static_cast<UINT>(level.sourceRect.right),
                 static_cast<UINT>(level.sourceRect.bottom),
                 level.front,
                 type == D3DRTYPE_VOLUMETEXTURE ? level.back : level.front + 1};
    image.palette = workingPalette;
    image.colorKey = colorKey;
    image.rowsUpward = level.rowsUpward;
    return image;
}

// Level 0 bytes per band when level 0 and level 1 are written together: a band stays in cache until level 1
// has been made from it.
constexpr std::size_t kBandBytes = 256 * 1024;

// An image that goes unchanged into level 0 of a chain whose next level is its exact 2 x 2 box: level 1 is made
// from each band of level 0 just after the band is written, while it is still in cache, rather than from the
// whole level afterwards. Both transfers are row by row here (a copy in the same format; a box whose every
// destination row comes from two source rows), so the bytes are those of loading level 0 and then filtering
// it. S_FALSE, with nothing written, where that does not hold. Like FillLevels, for a texture just created.
HRESULT LoadLevelsZeroAndOne(IDirect3DTexture9* texture, const ImageDesc& source, const PALETTEENTRY* palette,
                             const PALETTEENTRY* workingPalette, DWORD filter, DWORD mipFilter) {
    if (texture->GetLevelCount() < 2 || mipFilter != D3DX_FILTER_BOX || source.colorKey != 0 ||
        (filter & (D3DX_FILTER_SRGB_IN | D3DX_FILTER_SRGB_OUT)) != 0) {
        return S_FALSE;
    }
    D3DSURFACE_DESC first = {}, second = {};
    HRESULT hr = texture->GetLevelDesc(0, &first);
    if (SUCCEEDED(hr)) hr = texture->GetLevelDesc(1, &second);
    if (FAILED(hr)) return hr;
    const UINT width = source.box.right - source.box.left, height = source.box.bottom - source.box.top;
    const FormatDesc& format = LookUpFormatDesc(source.format);
    if (first.Format != source.format || format.bits == 0 || format.family == FormatFamily::Palettised ||
        IsBlockFormat(source.format) || IsPackedPairFormat(source.format) || first.Width != width ||
        first.Height != height || width % 2 != 0 || height % 2 != 0 || second.Width != width / 2 ||
        second.Height != height / 2) {
        return S_FALSE;
    }

    ComRef<IDirect3DSurface9> surface0, surface1;
    hr = texture->GetSurfaceLevel(0, &surface0);
    if (SUCCEEDED(hr)) hr = texture->GetSurfaceLevel(1, &surface1);
    if (FAILED(hr)) return hr;
    SurfaceLock lock0(surface0.get(), nullptr, D3DLOCK_DISCARD);
    if (FAILED(lock0.Result())) return lock0.Result();
    SurfaceLock lock1(surface1.get(), nullptr, D3DLOCK_DISCARD);
    if (FAILED(lock1.Result())) return lock1.Result();

    ImageDesc level0;  // written from `source`, then read for level 1
    level0.memory = lock0.Bits();
    level0.format = first.Format;
    level0.rowPitch = static_cast<UINT>(lock0.Pitch());
    ImageDesc level1;
    level1.memory = lock1.Bits();
    level1.format = second.Format;
    level1.rowPitch = static_cast<UINT>(lock1.Pitch());
    level1.palette = workingPalette;

    const std::size_t rowBytes = std::size_t{width} * (format.bits / 8);
    const UINT bandRows = std::max<UINT>(2, static_cast<UINT>(std::min<std::size_t>(kBandBytes / rowBytes, height)) & ~1u);
    for (UINT top = 0; top < height; top += bandRows) {
        const UINT bottom = std::min(height, top + bandRows);
        ImageDesc from = source;
        from.box.top = source.box.top + top;
        from.box.bottom = source.box.top + bottom;
        level0.box = {0, top, width, bottom, 0, 1};
        level0.palette = palette;
        hr = BlitImage(level0, from, filter);
        if (FAILED(hr)) return hr;
        level0.palette = workingPalette;
        level1.box = {0, top / 2, width / 2, bottom / 2, 0, 1};
        hr = BlitImage(level1, level0, mipFilter);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

UINT LevelCount(const DecodedImage& image) {
    UINT levels = 0;
    for (const DecodedImage* l = &image; l != nullptr; l = l->smallerLevel) ++levels;
    return levels;
}

UINT FaceCount(const DecodedImage& image) {
    UINT faces = 0;
    for (const DecodedImage* f = &image; f != nullptr; f = f->siblingFace) ++faces;
    return faces;
}

// Loads one level of one face (face 0 but for cube textures) from `source`, locking it with D3DLOCK_DISCARD.
HRESULT LoadLevel(IDirect3DBaseTexture9* texture, D3DRESOURCETYPE type, UINT face, UINT level,
                  const PALETTEENTRY* palette, const ImageDesc& source, DWORD filter) {
    if (type == D3DRTYPE_VOLUMETEXTURE) {
        ComRef<IDirect3DVolume9> volume;
        const HRESULT hr = static_cast<IDirect3DVolumeTexture9*>(texture)->GetVolumeLevel(level, &volume);
        if (FAILED(hr)) return hr;
        return LoadVolumeFromImage(volume.get(), palette, nullptr, source, filter, D3DLOCK_DISCARD);
    }
    ComRef<IDirect3DSurface9> surface;
    const HRESULT hr = type == D3DRTYPE_CUBETEXTURE
                           ? static_cast<IDirect3DCubeTexture9*>(texture)->GetCubeMapSurface(
                                 static_cast<D3DCUBEMAP_FACES>(face), level, &surface)
                           : static_cast<IDirect3DTexture9*>(texture)->GetSurfaceLevel(level, &surface);
    if (FAILED(hr)) return hr;
    return LoadSurfaceFromImage(surface.get(), palette, nullptr, source, filter, D3DLOCK_DISCARD);
}

// Fills every level of every face of `texture`, which this load has just created and releases if the load fails:
// the levels that a transfer writes whole are locked with D3DLOCK_DISCARD, so that their memory is not
// zero-filled first. Each face takes its own stored levels; the rest are filtered from the texture (all faces at
// once) or resampled from the face's smallest stored level.
HRESULT FillLevels(IDirect3DBaseTexture9* texture, D3DRESOURCETYPE type, const DecodedImage& image,
                   const PALETTEENTRY* palette, const PALETTEENTRY* workingPalette, DWORD filter, DWORD mipFilter,
                   D3DCOLOR colorKey, bool filterTexture) {
    const UINT levels = texture->GetLevelCount();
    const UINT fileLevels = LevelCount(image);

    if (type == D3DRTYPE_TEXTURE && filterTexture && fileLevels == 1 && image.pixels != nullptr) {
        auto* texture2d = static_cast<IDirect3DTexture9*>(texture);
        const HRESULT hr = LoadLevelsZeroAndOne(texture2d, ImageOf(image, workingPalette, colorKey), palette,
                                                workingPalette, filter, mipFilter);
        if (FAILED(hr)) return hr;
        if (hr == S_OK) return levels > 2 ? D3DXFilterTexture(texture2d, workingPalette, 1, mipFilter) : S_OK;
    }

    const UINT faces = type == D3DRTYPE_CUBETEXTURE ? 6 : 1;
    const DecodedImage* faceImage = &image;
    for (UINT face = 0; face < faces && faceImage != nullptr; ++face, faceImage = faceImage->siblingFace) {
        const DecodedImage* next = faceImage;
        const DecodedImage* last = faceImage;
        for (UINT level = 0; level < levels; ++level) {
            const DecodedImage* source = next;
            if (source == nullptr) {
                if (filterTexture) break;
                source = last;  // the remaining levels are resampled from the file's smallest level
            }
            if (source->pixels == nullptr) return D3DERR_INVALIDCALL;
            const HRESULT hr = LoadLevel(texture, type, face, level, palette,
                                         ImageOf(*source, workingPalette, colorKey, type), filter);
            if (FAILED(hr)) return hr;
            last = source;
            next = source->smallerLevel;
        }
    }
    if (filterTexture && levels > fileLevels) {
        return D3DXFilterTexture(texture, workingPalette, fileLevels - 1, mipFilter);
    }
    return S_OK;
}

// Creates an empty texture of `type`; for a cube texture `width` is the edge.
HRESULT CreateOfType(IDirect3DDevice9* device, D3DRESOURCETYPE type, UINT width, UINT height, UINT depth, UINT levels,
                     DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DBaseTexture9** out) {
    HRESULT hr;
    if (type == D3DRTYPE_CUBETEXTURE) {
        IDirect3DCubeTexture9* cube = nullptr;
        hr = device->CreateCubeTexture(width, levels, usage, format, pool, &cube, nullptr);
        *out = cube;
    } else if (type == D3DRTYPE_VOLUMETEXTURE) {
        IDirect3DVolumeTexture9* volume = nullptr;
        hr = device->CreateVolumeTexture(width, height, depth, levels, usage, format, pool, &volume, nullptr);
        *out = volume;
    } else {
        IDirect3DTexture9* texture = nullptr;
        hr = device->CreateTexture(width, height, levels, usage, format, pool, &texture, nullptr);
        *out = texture;
    }
    if (FAILED(hr)) *out = nullptr;
    return hr;
}

// D3DFMT_FROM_FILE (-3) lies outside the values the D3DFORMAT enumeration declares, so a D3DFORMAT holding it is
// never read as such here: the public entry points copy the bits into a DWORD first.
DWORD FormatBits(const D3DFORMAT& format) {
    DWORD bits;
    std::memcpy(&bits, &format, sizeof(bits));
    return bits;
}

constexpr DWORD kFormatFromFile = 0xFFFFFFFDu;

// The loading sequence for a texture of `type`. A cube texture takes its edge in `width` and `height` alike; depth
// counts only for a volume texture.
HRESULT CreateTextureFromMemory(D3DRESOURCETYPE type, IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                UINT width, UINT height, UINT depth, UINT mipLevels, DWORD usage, DWORD requestedFormat,
                                D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                PALETTEENTRY* palette, IDirect3DBaseTexture9** texture) {
    if (device == nullptr || srcData == nullptr || srcDataSize == 0 || texture == nullptr) return D3DERR_INVALIDCALL;
    const bool volume = type == D3DRTYPE_VOLUMETEXTURE;
    const bool cube = type == D3DRTYPE_CUBETEXTURE;
    const bool widthFromFile = width == D3DX_FROM_FILE;
    const bool heightFromFile = height == D3DX_FROM_FILE;
    const bool depthFromFile = volume && depth == D3DX_FROM_FILE;
    const bool levelsFromFile = mipLevels == D3DX_FROM_FILE;
    const bool formatFromFile = requestedFormat == kFormatFromFile;
    D3DFORMAT format = formatFromFile ? D3DFMT_UNKNOWN : static_cast<D3DFORMAT>(requestedFormat);

    DecodedImage image;
    D3DXIMAGE_INFO info = {};
    HRESULT hr = ReadImage(image, srcData, srcDataSize, &info, true);
    if (FAILED(hr)) return hr;
    if (srcInfo != nullptr) *srcInfo = info;
    if (cube && FaceCount(image) != 6) return E_FAIL;

    if (levelsFromFile) mipLevels = LevelCount(image);
    width = SizeFromImage(width, image.width);
    height = SizeFromImage(height, image.height);
    if (volume) depth = SizeFromImage(depth, image.depth);

    if (filter == D3DX_DEFAULT) filter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;
    if (mipFilter == D3DX_DEFAULT) mipFilter = D3DX_FILTER_BOX;
    if (cube) {
        // Resampling a face must not wrap its edges into the opposite edge.
        filter |= D3DX_FILTER_MIRROR;
        mipFilter |= D3DX_FILTER_MIRROR;
    }
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
            (desc.family == FormatFamily::Colour || desc.family == FormatFamily::Palettised ||
             desc.family == FormatFamily::Luminance)) {
            // Keyed pixels become transparent: look for the closest format that has alpha.
            FormatDesc withAlpha = desc;
            withAlpha.format = static_cast<D3DFORMAT>(0);
            withAlpha.widths[1] = 1;
            const D3DFORMAT found = FindBestFormat(nullptr, usage, type, withAlpha);
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

    const UINT wantedWidth = width, wantedHeight = height, wantedDepth = depth, wantedLevels = mipLevels;
    const D3DFORMAT wantedFormat = format;
    hr = CheckResourceRequirements(device, &width, &height, volume ? &depth : nullptr, &mipLevels, usage, &format, pool,
                                   type);
    if (FAILED(hr)) return hr;
    if ((widthFromFile && width != wantedWidth) || (heightFromFile && height != wantedHeight) ||
        (depthFromFile && depth != wantedDepth) || (levelsFromFile && mipLevels != wantedLevels) ||
        (formatFromFile && format != wantedFormat)) {
        return D3DERR_NOTAVAILABLE;
    }

    ComRef<IDirect3DBaseTexture9> created;
    hr = CreateOfType(device, type, width, height, depth, mipLevels, usage & ~0x1F8000u, format, pool, &created);
    if (FAILED(hr)) return hr;
    ComRef<IDirect3DBaseTexture9> system;
    if (staging) {
        hr = CreateOfType(device, type, width, height, depth, mipLevels, 0, format, D3DPOOL_SYSTEMMEM, &system);
        if (FAILED(hr)) return hr;
    }

    IDirect3DBaseTexture9* target = staging ? system.get() : created.get();
    hr = FillLevels(target, type, image, palette, working, filter, mipFilter, colorKey, filterTexture);
    if (FAILED(hr)) return hr;
    if (staging) {
        hr = device->UpdateTexture(system.get(), created.get());
        if (FAILED(hr)) return hr;
    }
    *texture = created.release();
    return S_OK;
}

// The public entry points hand out the texture under its own interface.
template <typename T>
HRESULT CreateOfTypeFromMemory(D3DRESOURCETYPE type, IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                               UINT width, UINT height, UINT depth, UINT mipLevels, DWORD usage, D3DFORMAT format,
                               D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                               PALETTEENTRY* palette, T** texture) {
    IDirect3DBaseTexture9* created = nullptr;
    const HRESULT hr = CreateTextureFromMemory(type, device, srcData, srcDataSize, width, height, depth, mipLevels,
                                               usage, FormatBits(format), pool, filter, mipFilter, colorKey, srcInfo,
                                               palette, texture != nullptr ? &created : nullptr);
    if (SUCCEEDED(hr)) *texture = static_cast<T*>(created);
    return hr;
}

// The same from a file, which is mapped for the duration of the call.
template <typename T>
HRESULT CreateOfTypeFromFile(D3DRESOURCETYPE type, IDirect3DDevice9* device, const char* srcFile, UINT width,
                             UINT height, UINT depth, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                             DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                             PALETTEENTRY* palette, T** texture) {
    if (device == nullptr || srcFile == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
    MappedFile file;
    const HRESULT hr = file.Open(srcFile);
    if (FAILED(hr)) return hr;
    return CreateOfTypeFromMemory(type, device, file.Data(), file.Size(), width, height, depth, mipLevels, usage,
                                  format, pool, filter, mipFilter, colorKey, srcInfo, palette, texture);
}

}  // namespace

}  // namespace tarn::texture

using namespace tarn::texture;

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                            UINT width, UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                            IDirect3DTexture9** texture) {
    return CreateOfTypeFromMemory(D3DRTYPE_TEXTURE, device, srcData, srcDataSize, width, height, 1, mipLevels, usage,
                                  format, pool, filter, mipFilter, colorKey, srcInfo, palette, texture);
}

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, const char* srcFile, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                     PALETTEENTRY* palette, IDirect3DTexture9** texture) {
    return CreateOfTypeFromFile(D3DRTYPE_TEXTURE, device, srcFile, width, height, 1, mipLevels, usage, format, pool,
                                filter, mipFilter, colorKey, srcInfo, palette, texture);
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, const char* srcFile, IDirect3DTexture9** texture) {
    return D3DXCreateTextureFromFileExA(device, srcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                        nullptr, texture);
}

HRESULT D3DXCreateCubeTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                                UINT size, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                                D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                                IDirect3DCubeTexture9** cubeTexture) {
    return CreateOfTypeFromMemory(D3DRTYPE_CUBETEXTURE, device, srcData, srcDataSize, size, size, 1, mipLevels, usage,
                                  format, pool, filter, mipFilter, colorKey, srcInfo, palette, cubeTexture);
}

HRESULT D3DXCreateCubeTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                              IDirect3DCubeTexture9** cubeTexture) {
    return D3DXCreateCubeTextureFromFileInMemoryEx(device, srcData, srcDataSize, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                   D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                   nullptr, nullptr, cubeTexture);
}

HRESULT D3DXCreateCubeTextureFromFileExA(IDirect3DDevice9* device, const char* srcFile, UINT size, UINT mipLevels,
                                         DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                         D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                         IDirect3DCubeTexture9** cubeTexture) {
    return CreateOfTypeFromFile(D3DRTYPE_CUBETEXTURE, device, srcFile, size, size, 1, mipLevels, usage, format, pool,
                                filter, mipFilter, colorKey, srcInfo, palette, cubeTexture);
}

HRESULT D3DXCreateCubeTextureFromFileA(IDirect3DDevice9* device, const char* srcFile,
                                       IDirect3DCubeTexture9** cubeTexture) {
    return D3DXCreateCubeTextureFromFileExA(device, srcFile, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                            D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr,
                                            cubeTexture);
}

HRESULT D3DXCreateVolumeTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                                  UINT width, UINT height, UINT depth, UINT mipLevels, DWORD usage,
                                                  D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                                  D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                                  IDirect3DVolumeTexture9** volumeTexture) {
    return CreateOfTypeFromMemory(D3DRTYPE_VOLUMETEXTURE, device, srcData, srcDataSize, width, height, depth, mipLevels,
                                  usage, format, pool, filter, mipFilter, colorKey, srcInfo, palette, volumeTexture);
}

HRESULT D3DXCreateVolumeTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                                IDirect3DVolumeTexture9** volumeTexture) {
    return D3DXCreateVolumeTextureFromFileInMemoryEx(device, srcData, srcDataSize, D3DX_DEFAULT, D3DX_DEFAULT,
                                                     D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                     D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, volumeTexture);
}

HRESULT D3DXCreateVolumeTextureFromFileExA(IDirect3DDevice9* device, const char* srcFile, UINT width, UINT height,
                                           UINT depth, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                           DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                           PALETTEENTRY* palette, IDirect3DVolumeTexture9** volumeTexture) {
    return CreateOfTypeFromFile(D3DRTYPE_VOLUMETEXTURE, device, srcFile, width, height, depth, mipLevels, usage, format,
                                pool, filter, mipFilter, colorKey, srcInfo, palette, volumeTexture);
}

HRESULT D3DXCreateVolumeTextureFromFileA(IDirect3DDevice9* device, const char* srcFile,
                                         IDirect3DVolumeTexture9** volumeTexture) {
    return D3DXCreateVolumeTextureFromFileExA(device, srcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                              0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                              nullptr, nullptr, volumeTexture);
}
