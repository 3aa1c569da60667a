// Textures from image files. Each public entry point fills one TextureRequest; one sequence of phases then serves
// 2D, cube and volume textures: read the image, complete the request from it, fit it to the device, create the
// resource, fill each level from the image's stored levels, and build the lower levels. The resource type decides
// how many faces are filled, whether depth counts and how a level is reached.
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

// D3DFMT_FROM_FILE (-3) lies outside the values the D3DFORMAT enumeration declares, so a D3DFORMAT holding it is
// never read as such here: the public entry points copy the bits into a DWORD first.
DWORD FormatBits(const D3DFORMAT& format) {
    DWORD bits;
    std::memcpy(&bits, &format, sizeof(bits));
    return bits;
}

constexpr DWORD kFormatFromFile = 0xFFFFFFFDu;

// A texture from the bytes of an image file, as a public entry point is asked for it. Sizes and levels take
// D3DX_DEFAULT, D3DX_DEFAULT_NONPOW2 (sizes) and D3DX_FROM_FILE as the entry points document; a cube texture's
// edge is in `width` and `height` alike, and `depth` counts only for a volume texture.
struct TextureRequest {
    D3DRESOURCETYPE type = D3DRTYPE_TEXTURE;  // 2D, cube or volume texture
    IDirect3DDevice9* device = nullptr;       // creates the texture
    const void* data = nullptr;               // the file's bytes (the mapped file for the ...FromFile calls)
    UINT dataSize = 0;                        // their count
    UINT width = D3DX_DEFAULT;                // size of level 0 in pixels
    UINT height = D3DX_DEFAULT;
    UINT depth = 1;
    UINT mipLevels = D3DX_DEFAULT;  // 0 or D3DX_DEFAULT: the whole chain
    DWORD usage = 0;                // D3DUSAGE_* bits
    DWORD format = 0;               // the D3DFORMAT's bits (see FormatBits); 0: the file's format
    D3DPOOL pool = D3DPOOL_MANAGED;
    DWORD filter = D3DX_DEFAULT;        // resamples the image into level 0 and each stored level
    DWORD mipFilter = D3DX_DEFAULT;     // builds the levels the file does not hold
    D3DCOLOR colorKey = 0;              // ARGB value that becomes transparent black; 0 for none
    D3DXIMAGE_INFO* srcInfo = nullptr;  // receives what the file holds, when given
    PALETTEENTRY* palette = nullptr;    // receives the 256-entry palette, when given
};

bool FormatFromFile(const TextureRequest& request) { return request.format == kFormatFromFile; }

// The request completed from the image, then fitted to the device: what is created and how it is filled.
struct TexturePlan {
    UINT width = 0, height = 0, depth = 0, levels = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    DWORD filter = 0, mipFilter = 0;
    D3DCOLOR colorKey = 0;           // 0 once a file palette has taken the key
    bool filterTexture = false;      // the levels the file lacks are filtered from the texture's own levels
    bool staging = false;            // filled in a system-memory copy that UpdateTexture moves to the device
    PALETTEENTRY working[256] = {};  // the palette pixels are converted with: the file's, keyed, or opaque white
};

// Size from the image: NONPOW2 and FROM_FILE take it as it is, 0 and DEFAULT round it up to a power of two.
UINT SizeFromImage(UINT requested, UINT image) {
    if (requested == D3DX_DEFAULT_NONPOW2 || requested == D3DX_FROM_FILE) return image;
    if (requested == 0 || requested == D3DX_DEFAULT) return tarn::NextPowerOfTwo(image);
    return requested;
}

// Reads the image, reports it through srcInfo, and refuses a cube texture from a file without six faces.
HRESULT ReadRequestImage(const TextureRequest& request, DecodedImage& image) {
    D3DXIMAGE_INFO info = {};
    const HRESULT hr = ReadImage(image, request.data, request.dataSize, &info, true);
    if (FAILED(hr)) return hr;
    if (request.srcInfo != nullptr) *request.srcInfo = info;
    if (request.type == D3DRTYPE_CUBETEXTURE && FaceCount(image) != 6) return E_FAIL;
    return S_OK;
}

// Completes the request from the image: sizes, levels and filters that were left to the library, the working
// palette (keying is done on a file palette itself), and the format when the caller names none (a grey or 3-3-2
// palette needs none at all; a colour key asks for alpha; a palette becomes 32-bit colour unless the caller takes
// the palette). May change image.format to the format that stands for its palette. Hands the palette to the caller.
HRESULT CompleteFromImage(const TextureRequest& request, DecodedImage& image, TexturePlan& plan) {
    const D3DRESOURCETYPE type = request.type;
    const bool formatFromFile = FormatFromFile(request);
    D3DFORMAT format = formatFromFile ? D3DFMT_UNKNOWN : static_cast<D3DFORMAT>(request.format);

    // FROM_FILE takes the count the file declares, even past the full chain: fitting it to the device then
    // refuses the request rather than making fewer levels.
    plan.levels = request.mipLevels == D3DX_FROM_FILE ? FileLevelCount(image) : request.mipLevels;
    plan.width = SizeFromImage(request.width, image.width);
    plan.height = SizeFromImage(request.height, image.height);
    plan.depth = type == D3DRTYPE_VOLUMETEXTURE ? SizeFromImage(request.depth, image.depth) : request.depth;

    plan.filter = request.filter == D3DX_DEFAULT ? D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER : request.filter;
    plan.mipFilter = request.mipFilter == D3DX_DEFAULT ? D3DX_FILTER_BOX : request.mipFilter;
    if (type == D3DRTYPE_CUBETEXTURE) {
        // Resampling a face must not wrap its edges into the opposite edge.
        plan.filter |= D3DX_FILTER_MIRROR;
        plan.mipFilter |= D3DX_FILTER_MIRROR;
    }
    plan.filterTexture = (plan.filter & 0xFF) == D3DX_FILTER_NONE || (plan.mipFilter & 0xFF) == D3DX_FILTER_POINT ||
                         (plan.mipFilter & 0xFF) == D3DX_FILTER_BOX;

    // The working palette: opaque white without a file palette; keying is done on the palette itself.
    PALETTEENTRY* const working = plan.working;
    std::memset(working, 0xFF, sizeof(plan.working));
    plan.colorKey = request.colorKey;
    const bool hadPalette = image.palette != nullptr;
    if (hadPalette) {
        const D3DCOLOR colorKey = request.colorKey;
        const PALETTEENTRY key = {static_cast<BYTE>(colorKey >> 16), static_cast<BYTE>(colorKey >> 8),
                                  static_cast<BYTE>(colorKey), static_cast<BYTE>(colorKey >> 24)};
        for (int i = 0; i < 256; ++i) {
            working[i] = image.palette[i];
            if (colorKey != 0 && std::memcmp(&working[i], &key, sizeof(key)) == 0) working[i] = {0, 0, 0, 0};
        }
        plan.colorKey = 0;
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
        if (plan.colorKey != 0 && desc.widths[1] == 0 &&
            (desc.family == FormatFamily::Colour || desc.family == FormatFamily::Palettised ||
             desc.family == FormatFamily::Luminance)) {
            // Keyed pixels become transparent: look for the closest format that has alpha.
            FormatDesc withAlpha = desc;
            withAlpha.format = static_cast<D3DFORMAT>(0);
            withAlpha.widths[1] = 1;
            const D3DFORMAT found = FindBestFormat(nullptr, request.usage, type, withAlpha);
            if (found != static_cast<D3DFORMAT>(0)) format = found;
        }
        format = PublicFormat(format);
        if (request.pool != D3DPOOL_SCRATCH && format == D3DFMT_R8G8B8) format = D3DFMT_X8R8G8B8;
    }

    if (request.palette != nullptr) std::memcpy(request.palette, working, sizeof(plan.working));
    if (request.palette == nullptr || !hadPalette) {
        if (formatFromFile && (format == D3DFMT_A8P8 || format == D3DFMT_P8)) return D3DERR_INVALIDCALL;
        if (format == D3DFMT_A8P8) {
            format = D3DFMT_A8R8G8B8;
        } else if (format == D3DFMT_P8) {
            bool alpha = false;
            for (const PALETTEENTRY& e : plan.working) alpha |= e.peFlags != 255;
            format = alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
        }
    }
    plan.format = format;
    plan.staging = request.pool == D3DPOOL_DEFAULT && (request.usage & D3DUSAGE_DYNAMIC) == 0;
    return S_OK;
}

// Fits the plan to the device (CheckResourceRequirements). What the caller asked to take from the file must then
// still be the file's: D3DERR_NOTAVAILABLE where the device would change it.
HRESULT FitToDevice(const TextureRequest& request, TexturePlan& plan) {
    const bool volume = request.type == D3DRTYPE_VOLUMETEXTURE;
    const UINT wantedWidth = plan.width, wantedHeight = plan.height, wantedDepth = plan.depth;
    const UINT wantedLevels = plan.levels;
    const D3DFORMAT wantedFormat = plan.format;
    const HRESULT hr =
        CheckResourceRequirements(request.device, &plan.width, &plan.height, volume ? &plan.depth : nullptr,
                                  &plan.levels, request.usage, &plan.format, request.pool, request.type);
    if (FAILED(hr)) return hr;
    if ((request.width == D3DX_FROM_FILE && plan.width != wantedWidth) ||
        (request.height == D3DX_FROM_FILE && plan.height != wantedHeight) ||
        (volume && request.depth == D3DX_FROM_FILE && plan.depth != wantedDepth) ||
        (request.mipLevels == D3DX_FROM_FILE && plan.levels != wantedLevels) ||
        (FormatFromFile(request) && plan.format != wantedFormat)) {
        return D3DERR_NOTAVAILABLE;
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

// Creates the texture the plan describes and, when it is staged, its system-memory copy.
HRESULT CreateResource(const TextureRequest& request, const TexturePlan& plan, ComRef<IDirect3DBaseTexture9>& created,
                       ComRef<IDirect3DBaseTexture9>& system) {
    HRESULT hr = CreateOfType(request.device, request.type, plan.width, plan.height, plan.depth, plan.levels,
                              request.usage & ~0x1F8000u, plan.format, request.pool, &created);
    if (FAILED(hr) || !plan.staging) return hr;
    hr = CreateOfType(request.device, request.type, plan.width, plan.height, plan.depth, plan.levels, 0, plan.format,
                      D3DPOOL_SYSTEMMEM, &system);
    return hr;
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

// Fills the levels of every face of `texture`, which this load has just created and releases if the load fails:
// the levels that a transfer writes whole are locked with D3DLOCK_DISCARD, so that their memory is not zero-filled
// first. Each face takes its own stored levels; when the plan filters the texture, the levels past them are left
// to BuildLowerLevels, otherwise they are resampled from the face's smallest stored level. `filled` is the number
// of levels written (for each face).
HRESULT FillLevels(IDirect3DBaseTexture9* texture, D3DRESOURCETYPE type, const TexturePlan& plan,
                   const DecodedImage& image, const PALETTEENTRY* palette, UINT& filled) {
    const UINT levels = texture->GetLevelCount();
    const UINT fileLevels = LevelCount(image);

    if (type == D3DRTYPE_TEXTURE && plan.filterTexture && fileLevels == 1 && image.pixels != nullptr) {
        const HRESULT hr =
            LoadLevelsZeroAndOne(static_cast<IDirect3DTexture9*>(texture), ImageOf(image, plan.working, plan.colorKey),
                                 palette, plan.working, plan.filter, plan.mipFilter);
        if (FAILED(hr)) return hr;
        if (hr == S_OK) {
            filled = 2;
            return S_OK;
        }
    }

    const UINT faces = type == D3DRTYPE_CUBETEXTURE ? 6 : 1;
    const DecodedImage* faceImage = &image;
    for (UINT face = 0; face < faces && faceImage != nullptr; ++face, faceImage = faceImage->siblingFace) {
        const DecodedImage* next = faceImage;
        const DecodedImage* last = faceImage;
        for (UINT level = 0; level < levels; ++level) {
            const DecodedImage* source = next;
            if (source == nullptr) {
                if (plan.filterTexture) break;
                source = last;  // the remaining levels are resampled from the file's smallest level
            }
            if (source->pixels == nullptr) return D3DERR_INVALIDCALL;
            const HRESULT hr = LoadLevel(texture, type, face, level, palette,
                                         ImageOf(*source, plan.working, plan.colorKey, type), plan.filter);
            if (FAILED(hr)) return hr;
            last = source;
            next = source->smallerLevel;
        }
    }
    filled = plan.filterTexture ? fileLevels : levels;
    return S_OK;
}

// Builds the levels below the `filled` ones from the texture's own levels with the mip filter (all faces at once),
// when the plan filters the texture.
HRESULT BuildLowerLevels(IDirect3DBaseTexture9* texture, const TexturePlan& plan, UINT filled) {
    if (!plan.filterTexture || texture->GetLevelCount() <= filled) return S_OK;
    return D3DXFilterTexture(texture, plan.working, filled - 1, plan.mipFilter);
}

// The creation sequence, in the order of its phases. The texture is handed out only when every phase succeeded.
HRESULT CreateTextureFromMemory(const TextureRequest& request, IDirect3DBaseTexture9** texture) {
    if (request.device == nullptr || request.data == nullptr || request.dataSize == 0 || texture == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    DecodedImage image;
    HRESULT hr = ReadRequestImage(request, image);
    if (FAILED(hr)) return hr;
    TexturePlan plan;
    hr = CompleteFromImage(request, image, plan);
    if (FAILED(hr)) return hr;
    hr = FitToDevice(request, plan);
    if (FAILED(hr)) return hr;

    ComRef<IDirect3DBaseTexture9> created, system;
    hr = CreateResource(request, plan, created, system);
    if (FAILED(hr)) return hr;
    IDirect3DBaseTexture9* target = plan.staging ? system.get() : created.get();
    UINT filled = 0;
    hr = FillLevels(target, request.type, plan, image, request.palette, filled);
    if (FAILED(hr)) return hr;
    hr = BuildLowerLevels(target, plan, filled);
    if (FAILED(hr)) return hr;
    if (plan.staging) {
        hr = request.device->UpdateTexture(system.get(), created.get());
        if (FAILED(hr)) return hr;
    }
    *texture = created.release();
    return S_OK;
}

// The public entry points hand out the texture under its own interface.
template <typename T>
HRESULT CreateFromMemory(const TextureRequest& request, T** texture) {
    IDirect3DBaseTexture9* created = nullptr;
    const HRESULT hr = CreateTextureFromMemory(request, texture != nullptr ? &created : nullptr);
    if (SUCCEEDED(hr)) *texture = static_cast<T*>(created);
    return hr;
}

// The file entry points map the file for the duration of `create(data, size)`, their ...InMemoryEx call, so that
// the request is filled in one place for both.
template <typename Create>
HRESULT FromMappedFile(IDirect3DDevice9* device, const char* srcFile, const void* texture, Create create) {
    if (device == nullptr || srcFile == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
    MappedFile file;
    const HRESULT hr = file.Open(srcFile);
    if (FAILED(hr)) return hr;
    return create(file.Data(), file.Size());
}

}  // namespace

}  // namespace tarn::texture

using namespace tarn::texture;

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                            UINT width, UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                            IDirect3DTexture9** texture) {
    const TextureRequest request = {.type = D3DRTYPE_TEXTURE,
                                    .device = device,
                                    .data = srcData,
                                    .dataSize = srcDataSize,
                                    .width = width,
                                    .height = height,
                                    .depth = 1,
                                    .mipLevels = mipLevels,
                                    .usage = usage,
                                    .format = FormatBits(format),
                                    .pool = pool,
                                    .filter = filter,
                                    .mipFilter = mipFilter,
                                    .colorKey = colorKey,
                                    .srcInfo = srcInfo,
                                    .palette = palette};
    return CreateFromMemory(request, texture);
}

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                          IDirect3DTexture9** texture) {
    return D3DXCreateTextureFromFileInMemoryEx(device, srcData, srcDataSize, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                               0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               nullptr, nullptr, texture);
}

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, const char* srcFile, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                     PALETTEENTRY* palette, IDirect3DTexture9** texture) {
    return FromMappedFile(device, srcFile, texture, [&](const void* data, UINT bytes) {
        return D3DXCreateTextureFromFileInMemoryEx(device, data, bytes, width, height, mipLevels, usage, format, pool,
                                                   filter, mipFilter, colorKey, srcInfo, palette, texture);
    });
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
    const TextureRequest request = {.type = D3DRTYPE_CUBETEXTURE,
                                    .device = device,
                                    .data = srcData,
                                    .dataSize = srcDataSize,
                                    .width = size,
                                    .height = size,
                                    .depth = 1,
                                    .mipLevels = mipLevels,
                                    .usage = usage,
                                    .format = FormatBits(format),
                                    .pool = pool,
                                    .filter = filter,
                                    .mipFilter = mipFilter,
                                    .colorKey = colorKey,
                                    .srcInfo = srcInfo,
                                    .palette = palette};
    return CreateFromMemory(request, cubeTexture);
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
    return FromMappedFile(device, srcFile, cubeTexture, [&](const void* data, UINT bytes) {
        return D3DXCreateCubeTextureFromFileInMemoryEx(device, data, bytes, size, mipLevels, usage, format, pool,
                                                       filter, mipFilter, colorKey, srcInfo, palette, cubeTexture);
    });
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
    const TextureRequest request = {.type = D3DRTYPE_VOLUMETEXTURE,
                                    .device = device,
                                    .data = srcData,
                                    .dataSize = srcDataSize,
                                    .width = width,
                                    .height = height,
                                    .depth = depth,
                                    .mipLevels = mipLevels,
                                    .usage = usage,
                                    .format = FormatBits(format),
                                    .pool = pool,
                                    .filter = filter,
                                    .mipFilter = mipFilter,
                                    .colorKey = colorKey,
                                    .srcInfo = srcInfo,
                                    .palette = palette};
    return CreateFromMemory(request, volumeTexture);
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
    return FromMappedFile(device, srcFile, volumeTexture, [&](const void* data, UINT bytes) {
        return D3DXCreateVolumeTextureFromFileInMemoryEx(device, data, bytes, width, height, depth, mipLevels, usage,
                                                         format, pool, filter, mipFilter, colorKey, srcInfo, palette,
                                                         volumeTexture);
    });
}

HRESULT D3DXCreateVolumeTextureFromFileA(IDirect3DDevice9* device, const char* srcFile,
                                         IDirect3DVolumeTexture9** volumeTexture) {
    return D3DXCreateVolumeTextureFromFileExA(device, srcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                              0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                              nullptr, nullptr, volumeTexture);
}
