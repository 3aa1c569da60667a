// Writes files through the save calls for an independent reader to check (pil_reads_saved_files.py): each file
// beside the raw pixels it must decode to, in the mode that reader names them, and a manifest line per file:
// "name mode width height tolerance".
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"
#include "BlitImage.h"
#include "LoadCommon.h"
#include "TextureTestSupport.h"

namespace {

using namespace texture_test;

std::string g_dir;
std::ofstream g_manifest;

void Fill(IDirect3DSurface9* surface, std::uint32_t seed, bool smooth) {
    D3DSURFACE_DESC desc;
    surface->GetDesc(&desc);
    std::size_t rowBytes;
    UINT rows;
    StoredSize(desc.Format, desc.Width, desc.Height, rowBytes, rows);
    std::vector<BYTE> bytes(rowBytes * rows);
    FillRandom(bytes, seed);
    if (smooth) {
        // A gradient JPEG keeps well: blue across, green down, red constant; L8 across.
        const std::size_t bpp = rowBytes / desc.Width;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const std::size_t x = i % rowBytes / bpp, y = i / rowBytes, c = i % bpp;
            bytes[i] = static_cast<BYTE>(c == 0 ? x * 7 : c == 1 ? y * 9 : 100);
        }
    }
    // Colour 0 above colour 1 in the colour blocks of DXT2 ... DXT5: decoders differ on the other order there.
    if (desc.Format == D3DFMT_DXT2 || desc.Format == D3DFMT_DXT3 || desc.Format == D3DFMT_DXT4 ||
        desc.Format == D3DFMT_DXT5) {
        for (std::size_t b = 0; b < bytes.size(); b += 16) {
            bytes[b + 9] |= 0x80;
            bytes[b + 11] &= 0x7F;
        }
    }
    D3DLOCKED_RECT locked;
    surface->LockRect(&locked, nullptr, 0);
    for (UINT y = 0; y < rows; ++y)
        std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, &bytes[y * rowBytes], rowBytes);
    surface->UnlockRect();
}

// The surface's pixels as the reader's mode lays them out: RGBA, RGB or L bytes.
std::vector<BYTE> Expected(IDirect3DSurface9* surface, const PALETTEENTRY* palette, const std::string& mode) {
    D3DSURFACE_DESC desc;
    surface->GetDesc(&desc);
    D3DLOCKED_RECT locked;
    surface->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    MemoryImage argb(D3DFMT_A8R8G8B8, desc.Width, desc.Height);
    ImageDesc source;
    source.memory = static_cast<BYTE*>(locked.pBits);
    source.format = desc.Format;
    source.rowPitch = locked.Pitch;
    source.slicePitch = locked.Pitch * desc.Height;
    source.box = {0, 0, desc.Width, desc.Height, 0, 1};
    source.palette = palette;
    BlitImage(argb.Desc(), source, D3DX_FILTER_NONE);
    surface->UnlockRect();
    std::vector<BYTE> out;
    for (UINT y = 0; y < desc.Height; ++y) {
        for (UINT x = 0; x < desc.Width; ++x) {
            const std::uint32_t p = argb.Pixel32(x, y);
            const BYTE r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF, a = p >> 24;
            if (mode == "L") {
                out.push_back(r);
            } else {
                out.insert(out.end(), {r, g, b});
                if (mode == "RGBA") out.push_back(a);
            }
        }
    }
    return out;
}

bool Save(IDirect3DSurface9* level0, IDirect3DBaseTexture9* texture, const PALETTEENTRY* palette,
          D3DXIMAGE_FILEFORMAT format, const char* name, const char* mode, int tolerance) {
    const std::string path = g_dir + "/" + name;
    const HRESULT hr = texture != nullptr ? D3DXSaveTextureToFileA(path.c_str(), format, texture, palette)
                                          : D3DXSaveSurfaceToFileA(path.c_str(), format, level0, palette, nullptr);
    if (FAILED(hr)) {
        std::fprintf(stderr, "saving %s failed: 0x%08x\n", name, static_cast<unsigned>(hr));
        return false;
    }
    // The independent reader names a palettised file "P" and checks its colours.
    const std::vector<BYTE> expected = Expected(level0, palette, std::strcmp(mode, "P") == 0 ? "RGB" : mode);
    std::ofstream(path + ".raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(expected.data()), static_cast<std::streamsize>(expected.size()));
    D3DSURFACE_DESC desc;
    level0->GetDesc(&desc);
    g_manifest << name << ' ' << mode << ' ' << desc.Width << ' ' << desc.Height << ' ' << tolerance << '\n';
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    g_dir = argv[1];
    g_manifest.open(g_dir + "/manifest.txt");
    IDirect3DDevice9* device = tarn::d3d9::CreateNullDevice(64, 64);
    if (device == nullptr) return 1;
    bool ok = true;
    struct Case {
        D3DFORMAT format;
        UINT width, height;
        D3DXIMAGE_FILEFORMAT file;
        const char* name;
        const char* mode;
        int tolerance;  // per byte; lossy JPEG, and DXT blends the two decoders may round apart
        bool smooth;
    } const kCases[] = {
        {D3DFMT_A8R8G8B8, 13, 9, D3DXIFF_PNG, "rgba.png", "RGBA", 0, false},
        {D3DFMT_A16B16G16R16, 7, 5, D3DXIFF_PNG, "rgba16.png", "RGBA", 1, false},  // PIL truncates to 8 bits
        {D3DFMT_L8, 13, 9, D3DXIFF_PNG, "grey.png", "L", 0, false},
        {D3DFMT_A8R8G8B8, 13, 9, D3DXIFF_BMP, "rgba.bmp", "RGBA", 0, false},
        {D3DFMT_X8R8G8B8, 13, 9, D3DXIFF_BMP, "rgb.bmp", "RGB", 0, false},
        {D3DFMT_A8R8G8B8, 13, 9, D3DXIFF_TGA, "rgba.tga", "RGBA", 0, false},
        {D3DFMT_X8R8G8B8, 13, 9, D3DXIFF_TGA, "rgb.tga", "RGB", 0, false},
        {D3DFMT_L8, 13, 9, D3DXIFF_TGA, "grey.tga", "L", 0, false},
        {D3DFMT_X8R8G8B8, 13, 9, D3DXIFF_PPM, "rgb.ppm", "RGB", 0, false},
        {D3DFMT_X8R8G8B8, 32, 24, D3DXIFF_JPG, "rgb.jpg", "RGB", 12, true},
        {D3DFMT_L8, 32, 24, D3DXIFF_JPG, "grey.jpg", "L", 8, true},
        {D3DFMT_DXT1, 16, 8, D3DXIFF_DDS, "dxt1.dds", "RGBA", 1, false},
        {D3DFMT_DXT3, 16, 8, D3DXIFF_DDS, "dxt3.dds", "RGBA", 1, false},
        {D3DFMT_DXT5, 16, 8, D3DXIFF_DDS, "dxt5.dds", "RGBA", 1, false},
    };
    for (const Case& c : kCases) {
        IDirect3DTexture9* texture = nullptr;
        if (FAILED(device->CreateTexture(c.width, c.height, 0, 0, c.format, D3DPOOL_MANAGED, &texture, nullptr))) {
            std::fprintf(stderr, "cannot create a texture for %s\n", c.name);
            ok = false;
            continue;
        }
        IDirect3DSurface9* surface = nullptr;
        for (UINT i = 0; i < texture->GetLevelCount(); ++i) {
            texture->GetSurfaceLevel(i, &surface);
            Fill(surface, 17 + i, c.smooth);
            surface->Release();
        }
        texture->GetSurfaceLevel(0, &surface);
        ok = Save(surface, texture, nullptr, c.file, c.name, c.mode, c.tolerance) && ok;
        surface->Release();
        texture->Release();
    }
    // Palettised: a system-memory surface, as no device profile offers palettised textures.
    PALETTEENTRY palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<BYTE>(i * 7), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 13), 255};
    IDirect3DSurface9* indexed = nullptr;
    if (SUCCEEDED(device->CreateOffscreenPlainSurface(11, 5, D3DFMT_P8, D3DPOOL_SYSTEMMEM, &indexed, nullptr))) {
        Fill(indexed, 5, false);
        ok = Save(indexed, nullptr, palette, D3DXIFF_PNG, "palette.png", "P", 0) && ok;
        ok = Save(indexed, nullptr, palette, D3DXIFF_BMP, "palette.bmp", "P", 0) && ok;
        ok = Save(indexed, nullptr, palette, D3DXIFF_TGA, "palette.tga", "P", 0) && ok;
        indexed->Release();
    } else {
        ok = false;
    }
    device->Release();
    return ok ? 0 : 1;
}
