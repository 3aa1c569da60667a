// The texture side of the extension library: creating 2D, cube and volume textures from image files and empty
// ones, fitting a request to a device, loading surfaces and volumes with format conversion and resampling, and
// building mip chains.
// Every call returns an HRESULT; on failure nothing is handed to the caller and everything taken is released.
#pragma once

#include "math/D3DXMath.h"
#include "platform/d3d9/D3D9.h"
#include "platform/win32/Win32.h"

// ---- Sizes, levels and formats chosen automatically ----
#ifndef D3DX_DEFAULT
#define D3DX_DEFAULT (static_cast<UINT>(-1))
#endif
#ifndef D3DX_DEFAULT_NONPOW2
#define D3DX_DEFAULT_NONPOW2 (static_cast<UINT>(-2))
#endif
#ifndef D3DX_DEFAULT_FLOAT
#define D3DX_DEFAULT_FLOAT 3.402823466e+38F
#endif
#ifndef D3DX_FROM_FILE
#define D3DX_FROM_FILE (static_cast<UINT>(-3))
#endif
#ifndef D3DFMT_FROM_FILE
#define D3DFMT_FROM_FILE (static_cast<D3DFORMAT>(-3))
#endif

// ---- Filter words: kind in the low 16 bits, flags above ----
#define D3DX_FILTER_NONE (1 << 0)
#define D3DX_FILTER_POINT (2 << 0)
#define D3DX_FILTER_LINEAR (3 << 0)
#define D3DX_FILTER_TRIANGLE (4 << 0)
#define D3DX_FILTER_BOX (5 << 0)
#define D3DX_FILTER_MIRROR_U (1 << 16)
#define D3DX_FILTER_MIRROR_V (2 << 16)
#define D3DX_FILTER_MIRROR_W (4 << 16)
#define D3DX_FILTER_MIRROR (7 << 16)
#define D3DX_FILTER_DITHER (1 << 19)
#define D3DX_FILTER_DITHER_DIFFUSION (2 << 19)
#define D3DX_FILTER_SRGB_IN (1 << 21)
#define D3DX_FILTER_SRGB_OUT (2 << 21)
#define D3DX_FILTER_SRGB (3 << 21)

// ---- Result codes of the extension library ----
#ifndef D3DXERR_INVALIDDATA
#define D3DXERR_INVALIDDATA (static_cast<HRESULT>(0x88760B59))
#endif

// Which reader produced an image.
enum D3DXIMAGE_FILEFORMAT {
    D3DXIFF_BMP = 0,
    D3DXIFF_JPG = 1,
    D3DXIFF_TGA = 2,
    D3DXIFF_PNG = 3,
    D3DXIFF_DDS = 4,
    D3DXIFF_PPM = 5,
    D3DXIFF_DIB = 6,
    D3DXIFF_HDR = 7,
    D3DXIFF_PFM = 8,
    D3DXIFF_FORCE_DWORD = 0x7fffffff
};

// What an image file holds, as reported to the caller.
struct D3DXIMAGE_INFO {
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT MipLevels;
    D3DFORMAT Format;
    D3DRESOURCETYPE ResourceType;
    D3DXIMAGE_FILEFORMAT ImageFileFormat;
};
static_assert(sizeof(D3DXIMAGE_INFO) == 28);

// ---- Empty textures and device requirements ----
HRESULT D3DXCheckTextureRequirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* mipLevels,
                                     DWORD usage, D3DFORMAT* format, D3DPOOL pool);
HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture);
HRESULT D3DXCheckCubeTextureRequirements(IDirect3DDevice9* device, UINT* size, UINT* mipLevels, DWORD usage,
                                         D3DFORMAT* format, D3DPOOL pool);
HRESULT D3DXCreateCubeTexture(IDirect3DDevice9* device, UINT size, UINT mipLevels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DCubeTexture9** cubeTexture);
HRESULT D3DXCheckVolumeTextureRequirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth,
                                           UINT* mipLevels, DWORD usage, D3DFORMAT* format, D3DPOOL pool);
HRESULT D3DXCreateVolumeTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT depth, UINT mipLevels,
                                DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DVolumeTexture9** volumeTexture);

// ---- Textures from image files (BMP, DIB, TGA, DDS, PNG, JPEG, HDR, PFM, PPM) ----
HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, const char* srcFile, IDirect3DTexture9** texture);
HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, const char* srcFile, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                     PALETTEENTRY* palette, IDirect3DTexture9** texture);
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                            UINT width, UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                            IDirect3DTexture9** texture);
#define D3DXCreateTextureFromFile D3DXCreateTextureFromFileA
#define D3DXCreateTextureFromFileEx D3DXCreateTextureFromFileExA

// ---- Cube textures from files that hold six faces (DDS cube maps) ----
HRESULT D3DXCreateCubeTextureFromFileA(IDirect3DDevice9* device, const char* srcFile,
                                       IDirect3DCubeTexture9** cubeTexture);
HRESULT D3DXCreateCubeTextureFromFileExA(IDirect3DDevice9* device, const char* srcFile, UINT size, UINT mipLevels,
                                         DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                         D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                         IDirect3DCubeTexture9** cubeTexture);
HRESULT D3DXCreateCubeTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                              IDirect3DCubeTexture9** cubeTexture);
HRESULT D3DXCreateCubeTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                                UINT size, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                                D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                                IDirect3DCubeTexture9** cubeTexture);
#define D3DXCreateCubeTextureFromFile D3DXCreateCubeTextureFromFileA
#define D3DXCreateCubeTextureFromFileEx D3DXCreateCubeTextureFromFileExA

// ---- Volume textures from image files (a DDS volume, or any 2D image as a volume of depth 1) ----
HRESULT D3DXCreateVolumeTextureFromFileA(IDirect3DDevice9* device, const char* srcFile,
                                         IDirect3DVolumeTexture9** volumeTexture);
HRESULT D3DXCreateVolumeTextureFromFileExA(IDirect3DDevice9* device, const char* srcFile, UINT width, UINT height,
                                           UINT depth, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                           DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                           PALETTEENTRY* palette, IDirect3DVolumeTexture9** volumeTexture);
HRESULT D3DXCreateVolumeTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                                IDirect3DVolumeTexture9** volumeTexture);
HRESULT D3DXCreateVolumeTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                                  UINT width, UINT height, UINT depth, UINT mipLevels, DWORD usage,
                                                  D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                                  D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                                  IDirect3DVolumeTexture9** volumeTexture);
#define D3DXCreateVolumeTextureFromFile D3DXCreateVolumeTextureFromFileA
#define D3DXCreateVolumeTextureFromFileEx D3DXCreateVolumeTextureFromFileExA

// ---- Surface loading, conversion and mip chains ----
HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                  const RECT* destRect, const void* srcMemory, D3DFORMAT srcFormat, UINT srcPitch,
                                  const PALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter,
                                  D3DCOLOR colorKey);
HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                   const RECT* destRect, IDirect3DSurface9* srcSurface,
                                   const PALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter,
                                   D3DCOLOR colorKey);
HRESULT D3DXLoadVolumeFromMemory(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette, const D3DBOX* destBox,
                                 const void* srcMemory, D3DFORMAT srcFormat, UINT srcRowPitch, UINT srcSlicePitch,
                                 const PALETTEENTRY* srcPalette, const D3DBOX* srcBox, DWORD filter, D3DCOLOR colorKey);
HRESULT D3DXLoadVolumeFromVolume(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette, const D3DBOX* destBox,
                                 IDirect3DVolume9* srcVolume, const PALETTEENTRY* srcPalette, const D3DBOX* srcBox,
                                 DWORD filter, D3DCOLOR colorKey);
// Fills every level below srcLevel from the levels above: each face of a cube texture in turn, volume levels in
// three dimensions.
HRESULT D3DXFilterTexture(IDirect3DBaseTexture9* texture, const PALETTEENTRY* palette, UINT srcLevel, DWORD filter);

// ---- Image files: what a file holds, loading one into a surface or volume ----
HRESULT D3DXGetImageInfoFromFileA(const char* srcFile, D3DXIMAGE_INFO* srcInfo);
HRESULT D3DXGetImageInfoFromFileInMemory(const void* srcData, UINT srcDataSize, D3DXIMAGE_INFO* srcInfo);
#define D3DXGetImageInfoFromFile D3DXGetImageInfoFromFileA
HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* srcData, UINT srcDataSize,
                                          IDirect3DTexture9** texture);
HRESULT D3DXLoadSurfaceFromFileA(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette, const RECT* destRect,
                                 const char* srcFile, const RECT* srcRect, DWORD filter, D3DCOLOR colorKey,
                                 D3DXIMAGE_INFO* srcInfo);
HRESULT D3DXLoadSurfaceFromFileInMemory(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                        const RECT* destRect, const void* srcData, UINT srcDataSize,
                                        const RECT* srcRect, DWORD filter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo);
#define D3DXLoadSurfaceFromFile D3DXLoadSurfaceFromFileA
HRESULT D3DXLoadVolumeFromFileA(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette, const D3DBOX* destBox,
                                const char* srcFile, const D3DBOX* srcBox, DWORD filter, D3DCOLOR colorKey,
                                D3DXIMAGE_INFO* srcInfo);
HRESULT D3DXLoadVolumeFromFileInMemory(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette,
                                       const D3DBOX* destBox, const void* srcData, UINT srcDataSize,
                                       const D3DBOX* srcBox, DWORD filter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo);
#define D3DXLoadVolumeFromFile D3DXLoadVolumeFromFileA

// ---- Buffers: the bytes a ...ToFileInMemory call writes ----
inline constexpr GUID IID_ID3DXBuffer = {0x8ba5fb08, 0x5195, 0x40e2, {0xac, 0x58, 0x0d, 0x98, 0x9c, 0x3a, 0x01, 0x02}};
struct ID3DXBuffer : IUnknown {
    virtual void* STDMETHODCALLTYPE GetBufferPointer() = 0;
    virtual DWORD STDMETHODCALLTYPE GetBufferSize() = 0;

protected:
    ~ID3DXBuffer() = default;
};
using LPD3DXBUFFER = ID3DXBuffer*;
// A buffer of numBytes bytes, zero-filled, with one reference.
HRESULT D3DXCreateBuffer(DWORD numBytes, ID3DXBuffer** buffer);

// ---- Saving textures, surfaces and volumes as image files ----
// DDS keeps the format, every level, face and slice; the other formats hold the top level (first face, first
// slice) converted to what the format can store. A file is written beside its destination and renamed over it, so
// a failed save leaves no half-written file and an existing file untouched.
HRESULT D3DXSaveSurfaceToFileA(const char* destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DSurface9* srcSurface,
                               const PALETTEENTRY* srcPalette, const RECT* srcRect);
HRESULT D3DXSaveSurfaceToFileInMemory(ID3DXBuffer** destBuffer, D3DXIMAGE_FILEFORMAT destFormat,
                                      IDirect3DSurface9* srcSurface, const PALETTEENTRY* srcPalette,
                                      const RECT* srcRect);
#define D3DXSaveSurfaceToFile D3DXSaveSurfaceToFileA
HRESULT D3DXSaveVolumeToFileA(const char* destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DVolume9* srcVolume,
                              const PALETTEENTRY* srcPalette, const D3DBOX* srcBox);
HRESULT D3DXSaveVolumeToFileInMemory(ID3DXBuffer** destBuffer, D3DXIMAGE_FILEFORMAT destFormat,
                                     IDirect3DVolume9* srcVolume, const PALETTEENTRY* srcPalette, const D3DBOX* srcBox);
#define D3DXSaveVolumeToFile D3DXSaveVolumeToFileA
HRESULT D3DXSaveTextureToFileA(const char* destFile, D3DXIMAGE_FILEFORMAT destFormat, IDirect3DBaseTexture9* srcTexture,
                               const PALETTEENTRY* srcPalette);
HRESULT D3DXSaveTextureToFileInMemory(ID3DXBuffer** destBuffer, D3DXIMAGE_FILEFORMAT destFormat,
                                      IDirect3DBaseTexture9* srcTexture, const PALETTEENTRY* srcPalette);
#define D3DXSaveTextureToFile D3DXSaveTextureToFileA

// ---- Procedural fills and normal maps ----
// The fill function is called once per texel of every level with the texel's centre in texture coordinates
// (0..1 across the level) and the texel's size, and writes the texel's colour (red, green, blue, alpha in 0..1).
using LPD3DXFILL2D = void(WINAPI*)(D3DXVECTOR4* out, const D3DXVECTOR2* texCoord, const D3DXVECTOR2* texelSize,
                                   void* data);
using LPD3DXFILL3D = void(WINAPI*)(D3DXVECTOR4* out, const D3DXVECTOR3* texCoord, const D3DXVECTOR3* texelSize,
                                   void* data);
HRESULT D3DXFillTexture(IDirect3DTexture9* texture, LPD3DXFILL2D function, void* data);
HRESULT D3DXFillCubeTexture(IDirect3DCubeTexture9* cubeTexture, LPD3DXFILL3D function, void* data);
HRESULT D3DXFillVolumeTexture(IDirect3DVolumeTexture9* volumeTexture, LPD3DXFILL3D function, void* data);

#define D3DX_NORMALMAP_MIRROR_U (1 << 16)
#define D3DX_NORMALMAP_MIRROR_V (2 << 16)
#define D3DX_NORMALMAP_MIRROR (3 << 16)
#define D3DX_NORMALMAP_INVERTSIGN (8 << 16)
#define D3DX_NORMALMAP_COMPUTE_OCCLUSION (16 << 16)
#define D3DX_CHANNEL_RED (1 << 0)
#define D3DX_CHANNEL_BLUE (1 << 1)
#define D3DX_CHANNEL_GREEN (1 << 2)
#define D3DX_CHANNEL_ALPHA (1 << 3)
#define D3DX_CHANNEL_LUMINANCE (1 << 4)
// Writes into level 0 of `texture` the normal map of the height field in `srcTexture`'s level 0, heights taken
// from `channel` and scaled by `amplitude`.
HRESULT D3DXComputeNormalMap(IDirect3DTexture9* texture, IDirect3DTexture9* srcTexture, const PALETTEENTRY* srcPalette,
                             DWORD flags, DWORD channel, FLOAT amplitude);
