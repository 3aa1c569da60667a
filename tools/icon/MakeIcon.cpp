// tarn_makeicon IN OUT.png SIZE
// Makes a square SIZE x SIZE application icon from an image: the largest centred square of IN, scaled down with
// the texture library's box filter, written as an 8-bit RGBA PNG. The build makes the demo's desktop icon from
// its own frame (docs/seascene.png) this way. Exit status 0 on success, 1 with the reason on standard error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Runner.h"
#include "platform/d3d9/Backend.h"
#include "texture/D3DXTexture.h"

namespace {

const char kUsage[] =
    "usage: tarn_makeicon IN OUT.png SIZE\n"
    "  IN        any image the texture library reads (PNG, JPEG, BMP, TGA, DDS, ...)\n"
    "  OUT.png   the icon to write (8-bit RGBA)\n"
    "  SIZE      width and height of the icon in pixels, 1 to 1024\n"
    "  --help    show this text\n";

int Fail(const std::string& why) {
    std::fprintf(stderr, "tarn_makeicon: %s\n", why.c_str());
    return 1;
}

// Reads level 0 of `texture` as RGBA rows, top row first.
bool ReadRgba(IDirect3DTexture9* texture, UINT size, std::vector<std::uint8_t>* rgba) {
    D3DLOCKED_RECT locked = {};
    if (FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return false;
    rgba->resize(static_cast<std::size_t>(size) * size * 4);
    for (UINT y = 0; y < size; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(y) * locked.Pitch;
        std::uint8_t* out = rgba->data() + static_cast<std::size_t>(y) * size * 4;
        for (UINT x = 0; x < size; ++x) {  // A8R8G8B8 is B, G, R, A in memory
            out[4 * x + 0] = row[4 * x + 2];
            out[4 * x + 1] = row[4 * x + 1];
            out[4 * x + 2] = row[4 * x + 0];
            out[4 * x + 3] = row[4 * x + 3];
        }
    }
    texture->UnlockRect(0);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (argc != 4) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    char* end = nullptr;
    const long size = std::strtol(argv[3], &end, 10);
    if (*end != '\0' || size < 1 || size > 1024) return Fail(std::string("SIZE must be 1 to 1024, not ") + argv[3]);

    IDirect3DDevice9* device = tarn::d3d9::CreateNullDevice(16, 16);
    if (device == nullptr) return Fail("cannot create the null Direct3D device");
    IDirect3DTexture9* source = nullptr;
    IDirect3DTexture9* icon = nullptr;
    IDirect3DSurface9* sourceLevel = nullptr;
    IDirect3DSurface9* iconLevel = nullptr;
    D3DXIMAGE_INFO info = {};
    int status = 0;
    // The image at its own size, then its centred square scaled into the icon.
    HRESULT hr = D3DXCreateTextureFromFileExA(device, argv[1], D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
                                              D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, D3DX_FILTER_NONE, D3DX_FILTER_NONE, 0,
                                              &info, nullptr, &source);
    if (FAILED(hr)) {
        status = Fail(std::string("cannot read ") + argv[1]);
    } else if (FAILED(device->CreateTexture(static_cast<UINT>(size), static_cast<UINT>(size), 1, 0, D3DFMT_A8R8G8B8,
                                            D3DPOOL_SCRATCH, &icon, nullptr))) {
        status = Fail("cannot make a " + std::to_string(size) + " x " + std::to_string(size) + " texture");
    } else {
        const LONG side = static_cast<LONG>(info.Width < info.Height ? info.Width : info.Height);
        const LONG left = (static_cast<LONG>(info.Width) - side) / 2;
        const LONG top = (static_cast<LONG>(info.Height) - side) / 2;
        const RECT square = {left, top, left + side, top + side};
        source->GetSurfaceLevel(0, &sourceLevel);
        icon->GetSurfaceLevel(0, &iconLevel);
        std::vector<std::uint8_t> rgba;
        if (sourceLevel == nullptr || iconLevel == nullptr ||
            FAILED(D3DXLoadSurfaceFromSurface(iconLevel, nullptr, nullptr, sourceLevel, nullptr, &square,
                                              D3DX_FILTER_BOX, 0))) {
            status = Fail("cannot scale the image");
        } else if (!ReadRgba(icon, static_cast<UINT>(size), &rgba) ||
                   !tarn::platform::SavePng(argv[2], static_cast<int>(size), static_cast<int>(size), rgba.data(),
                                            static_cast<std::size_t>(size) * 4)) {
            status = Fail(std::string("cannot write ") + argv[2]);
        }
    }
    if (iconLevel != nullptr) iconLevel->Release();
    if (sourceLevel != nullptr) sourceLevel->Release();
    if (icon != nullptr) icon->Release();
    if (source != nullptr) source->Release();
    device->Release();
    return status;
}
