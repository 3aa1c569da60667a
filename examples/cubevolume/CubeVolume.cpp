// Cube and volume textures from files, end to end, written only against the Direct3D 9 and D3DX interfaces:
// writes a cube map (A8R8G8B8 and DXT1) and a volume as DDS files with their mip levels into DIR, loads them with
// D3DXCreateCubeTextureFromFileExA and D3DXCreateVolumeTextureFromFileExA, reads back every face, slice and level
// and compares it with what was written, rebuilds the levels with D3DXFilterTexture and checks the box averages,
// then draws point-sampled quads through the cube faces and volume slices and reads back what they show.
//   cubevolume [--headless] [DIR]      (DIR: where the files go; default the working directory)
// Exit status 0 when everything matched; otherwise 1, with one line per mismatch on standard error.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/d3d9/D3D9.h"
#include "platform/win32/Win32.h"
#include "texture/D3DXTexture.h"

namespace {

int failures = 0;

void Fail(const char* what, unsigned a, unsigned b, unsigned c, std::uint32_t got, std::uint32_t expected) {
    if (++failures <= 20) {
        std::fprintf(stderr, "cubevolume: %s %u/%u/%u is %08X, expected %08X\n", what, a, b, c,
                     static_cast<unsigned>(got), static_cast<unsigned>(expected));
    }
}

bool Check(bool ok, const char* what, HRESULT hr = S_OK) {
    if (!ok) {
        ++failures;
        std::fprintf(stderr, "cubevolume: %s failed (0x%08X)\n", what, static_cast<unsigned>(hr));
    }
    return ok;
}

std::uint32_t Argb(unsigned r, unsigned g, unsigned b) { return 0xFF000000u | (r << 16) | (g << 8) | b; }

// Each channel of a colour averaged over `n` colours (the values below are chosen so that it is exact).
std::uint32_t Average(const std::uint32_t* colours, unsigned n) {
    unsigned sum[3] = {};
    for (unsigned i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) sum[c] += (colours[i] >> (16 - 8 * c)) & 0xFF;
    }
    return Argb(sum[0] / n, sum[1] / n, sum[2] / n);
}

// ---- What the files hold ----
// Cube: 8 x 8 faces with four levels. Level 0 of face f is four 4 x 4 quadrants (0 top left, 1 top right,
// 2 bottom left, 3 bottom right), each its own colour; the stored smaller levels are one colour each. Every channel
// is a multiple of 8, so that box averages of 2, 4 or 8 texels are exact.
constexpr unsigned kCubeEdge = 8, kCubeLevels = 4;
std::uint32_t Quadrant(unsigned face, unsigned quadrant) {
    return Argb(0x20 * (face + 1), 0x10 + 0x40 * quadrant, 0x30 + 0x08 * face);
}
std::uint32_t StoredCubeTexel(unsigned face, unsigned level, unsigned x, unsigned y) {
    const unsigned half = kCubeEdge / 2;
    if (level == 0) return Quadrant(face, (x >= half ? 1 : 0) + (y >= half ? 2 : 0));
    return Argb(0x20 * (face + 1), 0x08 + 0x20 * level, 0xF8);
}
// What a 2 x 2 box chain from level 0 gives: the quadrants shrink with the level; the 1 x 1 level averages them.
std::uint32_t FilteredCubeTexel(unsigned face, unsigned level, unsigned x, unsigned y) {
    const unsigned n = kCubeEdge >> level;
    if (n == 1) {
        const std::uint32_t all[4] = {Quadrant(face, 0), Quadrant(face, 1), Quadrant(face, 2), Quadrant(face, 3)};
        return Average(all, 4);
    }
    return Quadrant(face, (x >= n / 2 ? 1 : 0) + (y >= n / 2 ? 2 : 0));
}

// Volume: 8 x 8 x 4 with four levels (8 x 8 x 4, 4 x 4 x 2, 2 x 2 x 1, 1 x 1 x 1). Level 0 is eight octants
// (bit 0: right half, bit 1: bottom half, bit 2: back half), each its own colour; smaller levels one colour each.
constexpr unsigned kVolumeWidth = 8, kVolumeHeight = 8, kVolumeDepth = 4, kVolumeLevels = 4;
std::uint32_t Octant(unsigned octant) {
    return Argb(0x10 + 0x18 * octant, 0xC0 - 0x10 * octant, 0x40 + 0x20 * (octant & 1));
}
unsigned OctantOf(unsigned x, unsigned y, unsigned z, unsigned w, unsigned h, unsigned d) {
    return (x >= w / 2 ? 1 : 0) + (y >= h / 2 ? 2 : 0) + (z >= d / 2 ? 4 : 0);
}
std::uint32_t StoredVoxel(unsigned level, unsigned x, unsigned y, unsigned z) {
    if (level == 0) return Octant(OctantOf(x, y, z, kVolumeWidth, kVolumeHeight, kVolumeDepth));
    return Argb(0xF8, 0x08 + 0x20 * level, 0x18 * level);
}
// A 2 x 2 x 2 box chain from level 0: 4 x 4 x 2 keeps the octants; 2 x 2 x 1 averages front and back; 1 x 1 x 1
// averages all eight.
std::uint32_t FilteredVoxel(unsigned level, unsigned x, unsigned y, unsigned z) {
    const unsigned w = kVolumeWidth >> level, h = kVolumeHeight >> level;
    const unsigned d = (kVolumeDepth >> level) > 0 ? kVolumeDepth >> level : 1;
    if (d >= 2) return Octant(OctantOf(x, y, z, w, h, d));
    if (w >= 2) {
        const unsigned front = OctantOf(x, y, 0, w, h, 2);
        const std::uint32_t pair[2] = {Octant(front), Octant(front + 4)};
        return Average(pair, 2);
    }
    std::uint32_t all[8];
    for (unsigned o = 0; o < 8; ++o) all[o] = Octant(o);
    return Average(all, 8);
}

// DXT1 cube: 8 x 8 faces with two levels, each block one 5:6:5 colour (colour 0 = colour 1, indices 0).
constexpr unsigned kDxtEdge = 8, kDxtLevels = 2;
std::uint16_t DxtBlockColour(unsigned face, unsigned level, unsigned block) {
    return static_cast<std::uint16_t>((face << 11) | ((level * 8 + block) << 5) | (31 - face));
}

// ---- DDS files ----
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The 128-byte header: size, flags (caps, height, width, pixel format, mip count, depth), height, width, pitch,
// depth, mip count, 11 reserved words, the pixel format record, caps, caps 2 (cube faces, volume) and 3 reserved.
std::vector<std::uint8_t> DdsHeader(unsigned width, unsigned height, unsigned depth, unsigned levels, bool cube,
                                    bool dxt1) {
    std::vector<std::uint8_t> out = {'D', 'D', 'S', ' '};
    Put32(out, 124);
    Put32(out, 0x1007 | 0x20000 | (depth > 1 ? 0x800000 : 0));
    Put32(out, height);
    Put32(out, width);
    Put32(out, 0);
    Put32(out, depth > 1 ? depth : 0);
    Put32(out, levels);
    for (int i = 0; i < 11; ++i) Put32(out, 0);
    Put32(out, 32);
    if (dxt1) {
        for (std::uint32_t v : {0x4u, static_cast<std::uint32_t>(D3DFMT_DXT1), 0u, 0u, 0u, 0u, 0u}) Put32(out, v);
    } else {
        for (std::uint32_t v : {0x41u, 0u, 32u, 0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}) Put32(out, v);
    }
    Put32(out, 0x1000 | 0x400008);
    Put32(out, cube ? 0xFE00 : (depth > 1 ? 0x200000 : 0));
    for (int i = 0; i < 3; ++i) Put32(out, 0);
    return out;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

bool WriteFiles(const std::string& dir) {
    std::vector<std::uint8_t> cube = DdsHeader(kCubeEdge, kCubeEdge, 1, kCubeLevels, true, false);
    for (unsigned face = 0; face < 6; ++face) {
        for (unsigned level = 0; level < kCubeLevels; ++level) {
            const unsigned n = kCubeEdge >> level;
            for (unsigned y = 0; y < n; ++y) {
                for (unsigned x = 0; x < n; ++x) Put32(cube, StoredCubeTexel(face, level, x, y));
            }
        }
    }
    std::vector<std::uint8_t> dxt = DdsHeader(kDxtEdge, kDxtEdge, 1, kDxtLevels, true, true);
    for (unsigned face = 0; face < 6; ++face) {
        for (unsigned level = 0; level < kDxtLevels; ++level) {
            const unsigned blocks = ((kDxtEdge >> level) + 3) / 4;
            for (unsigned b = 0; b < blocks * blocks; ++b) {
                const std::uint16_t c = DxtBlockColour(face, level, b);
                Put32(dxt, c | (static_cast<std::uint32_t>(c) << 16));
                Put32(dxt, 0);
            }
        }
    }
    std::vector<std::uint8_t> volume =
        DdsHeader(kVolumeWidth, kVolumeHeight, kVolumeDepth, kVolumeLevels, false, false);
    for (unsigned level = 0; level < kVolumeLevels; ++level) {
        const unsigned w = kVolumeWidth >> level, h = kVolumeHeight >> level;
        const unsigned d = (kVolumeDepth >> level) > 0 ? kVolumeDepth >> level : 1;
        for (unsigned z = 0; z < d; ++z) {
            for (unsigned y = 0; y < h; ++y) {
                for (unsigned x = 0; x < w; ++x) Put32(volume, StoredVoxel(level, x, y, z));
            }
        }
    }
    return WriteFile(dir + "/cube.dds", cube) && WriteFile(dir + "/cube_dxt1.dds", dxt) &&
           WriteFile(dir + "/volume.dds", volume);
}

// ---- Reading back ----
using CubeTexel = std::uint32_t (*)(unsigned face, unsigned level, unsigned x, unsigned y);

void CheckCube(IDirect3DCubeTexture9* cube, CubeTexel expected, const char* what) {
    for (unsigned level = 0; level < kCubeLevels; ++level) {
        const unsigned n = kCubeEdge >> level;
        for (unsigned face = 0; face < 6; ++face) {
            // Through the face's surface for the levels of faces 0 to 2, through the texture for the others.
            D3DLOCKED_RECT locked;
            IDirect3DSurface9* surface = nullptr;
            const auto f = static_cast<D3DCUBEMAP_FACES>(face);
            HRESULT hr;
            if (face < 3) {
                hr = cube->GetCubeMapSurface(f, level, &surface);
                if (SUCCEEDED(hr)) hr = surface->LockRect(&locked, nullptr, D3DLOCK_READONLY);
            } else {
                hr = cube->LockRect(f, level, &locked, nullptr, D3DLOCK_READONLY);
            }
            if (Check(SUCCEEDED(hr), "locking a cube face", hr)) {
                for (unsigned y = 0; y < n; ++y) {
                    for (unsigned x = 0; x < n; ++x) {
                        std::uint32_t texel;
                        std::memcpy(&texel, static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch + 4 * x,
                                    4);
                        const std::uint32_t want = expected(face, level, x, y);
                        if (texel != want) Fail(what, face, level, y * n + x, texel, want);
                    }
                }
                if (surface != nullptr) {
                    surface->UnlockRect();
                } else {
                    cube->UnlockRect(f, level);
                }
            }
            if (surface != nullptr) surface->Release();
        }
    }
}

using Voxel = std::uint32_t (*)(unsigned level, unsigned x, unsigned y, unsigned z);

void CheckVolume(IDirect3DVolumeTexture9* volume, Voxel expected, const char* what) {
    for (unsigned level = 0; level < kVolumeLevels; ++level) {
        D3DVOLUME_DESC desc = {};
        D3DLOCKED_BOX locked;
        // Through the level's volume for even levels, through the texture for odd ones.
        IDirect3DVolume9* part = nullptr;
        HRESULT hr = volume->GetLevelDesc(level, &desc);
        if (SUCCEEDED(hr) && level % 2 == 0) {
            hr = volume->GetVolumeLevel(level, &part);
            if (SUCCEEDED(hr)) hr = part->LockBox(&locked, nullptr, D3DLOCK_READONLY);
        } else if (SUCCEEDED(hr)) {
            hr = volume->LockBox(level, &locked, nullptr, D3DLOCK_READONLY);
        }
        if (Check(SUCCEEDED(hr), "locking a volume level", hr)) {
            for (unsigned z = 0; z < desc.Depth; ++z) {
                for (unsigned y = 0; y < desc.Height; ++y) {
                    for (unsigned x = 0; x < desc.Width; ++x) {
                        std::uint32_t voxel;
                        std::memcpy(&voxel,
                                    static_cast<const std::uint8_t*>(locked.pBits) + z * locked.SlicePitch +
                                        y * locked.RowPitch + 4 * x,
                                    4);
                        const std::uint32_t want = expected(level, x, y, z);
                        if (voxel != want) Fail(what, level, z, y * desc.Width + x, voxel, want);
                    }
                }
            }
            if (part != nullptr) {
                part->UnlockBox();
            } else {
                volume->UnlockBox(level);
            }
        }
        if (part != nullptr) part->Release();
    }
}

void CheckDxtCube(IDirect3DCubeTexture9* cube) {
    for (unsigned face = 0; face < 6; ++face) {
        for (unsigned level = 0; level < kDxtLevels; ++level) {
            D3DLOCKED_RECT locked;
            const auto f = static_cast<D3DCUBEMAP_FACES>(face);
            const HRESULT hr = cube->LockRect(f, level, &locked, nullptr, D3DLOCK_READONLY);
            if (!Check(SUCCEEDED(hr), "locking a DXT1 cube face", hr)) continue;
            const unsigned blocks = ((kDxtEdge >> level) + 3) / 4;
            for (unsigned b = 0; b < blocks * blocks; ++b) {
                std::uint16_t colour;
                std::memcpy(
                    &colour,
                    static_cast<const std::uint8_t*>(locked.pBits) + (b / blocks) * locked.Pitch + (b % blocks) * 8, 2);
                if (colour != DxtBlockColour(face, level, b)) {
                    Fail("DXT1 cube block", face, level, b, colour, DxtBlockColour(face, level, b));
                }
            }
            cube->UnlockRect(f, level);
        }
    }
}

// ---- Drawing ----
struct Vertex {
    float x, y, z, rhw;
    float u, v, w;
};
constexpr DWORD kVertexFormat = D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0);
constexpr unsigned kTarget = 64, kCell = 8;

// A kCell x kCell square at (x, y) whose every pixel samples the same three-component coordinate.
bool DrawCell(IDirect3DDevice9* device, unsigned x, unsigned y, float u, float v, float w) {
    const float x0 = static_cast<float>(x), y0 = static_cast<float>(y), x1 = x0 + kCell, y1 = y0 + kCell;
    const Vertex quad[4] = {
        {x0, y0, 0.5f, 1, u, v, w}, {x1, y0, 0.5f, 1, u, v, w}, {x0, y1, 0.5f, 1, u, v, w}, {x1, y1, 0.5f, 1, u, v, w}};
    return SUCCEEDED(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)));
}

// The back buffer as 0xAARRGGBB values, row 0 first.
std::vector<std::uint32_t> ReadBackBuffer(IDirect3DDevice9* device) {
    std::vector<std::uint32_t> pixels;
    IDirect3DSurface9* target = nullptr;
    IDirect3DSurface9* copy = nullptr;
    D3DSURFACE_DESC desc = {};
    D3DLOCKED_RECT locked;
    if (SUCCEEDED(device->GetRenderTarget(0, &target)) && SUCCEEDED(target->GetDesc(&desc)) &&
        SUCCEEDED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                      nullptr)) &&
        SUCCEEDED(device->GetRenderTargetData(target, copy)) &&
        SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        pixels.resize(static_cast<std::size_t>(desc.Width) * desc.Height);
        for (UINT y = 0; y < desc.Height; ++y) {
            std::memcpy(&pixels[static_cast<std::size_t>(y) * desc.Width],
                        static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch, desc.Width * 4);
        }
        copy->UnlockRect();
    }
    if (copy != nullptr) copy->Release();
    if (target != nullptr) target->Release();
    return pixels;
}

void CheckCell(const std::vector<std::uint32_t>& pixels, unsigned x, unsigned y, std::uint32_t want, const char* what,
               unsigned a, unsigned b) {
    if (!Check(pixels.size() == kTarget * kTarget, "reading back the render target")) return;
    // Every pixel of the cell, colour channels only (the back buffer has no alpha).
    for (unsigned py = y; py < y + kCell; ++py) {
        for (unsigned px = x; px < x + kCell; ++px) {
            const std::uint32_t got = pixels[py * kTarget + px] & 0xFFFFFF;
            if (got != (want & 0xFFFFFF)) {
                Fail(what, a, b, py * kTarget + px, got, want & 0xFFFFFF);
                return;
            }
        }
    }
}

// Cube faces as Direct3D orients them: the direction whose major axis picks face f, and whose other two components
// give s = (sc / |ma| + 1) / 2 across and t = (tc / |ma| + 1) / 2 down the face.
void CubeDirection(unsigned face, float sc, float tc, float out[3]) {
    const float table[6][3] = {{1, -tc, -sc}, {-1, -tc, sc}, {sc, 1, tc}, {sc, -1, -tc}, {sc, -tc, 1}, {-sc, -tc, -1}};
    for (int i = 0; i < 3; ++i) out[i] = table[face][i];
}

void DrawAndCheck(IDirect3DDevice9* device, IDirect3DCubeTexture9* cube, IDirect3DVolumeTexture9* volume) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetFVF(kVertexFormat);

    // The cube: one row per face, one cell per quadrant, each sampled at its quadrant's middle.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Check(SUCCEEDED(device->BeginScene()), "BeginScene");
    device->SetTexture(0, cube);
    for (unsigned face = 0; face < 6; ++face) {
        for (unsigned quadrant = 0; quadrant < 4; ++quadrant) {
            float d[3];
            CubeDirection(face, (quadrant & 1) ? 0.5f : -0.5f, (quadrant & 2) ? 0.5f : -0.5f, d);
            Check(DrawCell(device, quadrant * 16, face * 10, d[0], d[1], d[2]), "drawing a cube cell");
        }
    }
    device->EndScene();
    std::vector<std::uint32_t> pixels = ReadBackBuffer(device);
    for (unsigned face = 0; face < 6; ++face) {
        for (unsigned quadrant = 0; quadrant < 4; ++quadrant) {
            CheckCell(pixels, quadrant * 16, face * 10, Quadrant(face, quadrant), "drawn cube face/quadrant", face,
                      quadrant);
        }
    }

    // The volume: one row per slice, one cell per quarter of the slice, each at a voxel's centre.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Check(SUCCEEDED(device->BeginScene()), "BeginScene");
    device->SetTexture(0, volume);
    for (unsigned z = 0; z < kVolumeDepth; ++z) {
        for (unsigned quarter = 0; quarter < 4; ++quarter) {
            const unsigned x = (quarter & 1) ? 6 : 1, y = (quarter & 2) ? 5 : 2;
            Check(DrawCell(device, quarter * 16, z * 16, (x + 0.5f) / kVolumeWidth, (y + 0.5f) / kVolumeHeight,
                           (z + 0.5f) / kVolumeDepth),
                  "drawing a volume cell");
        }
    }
    device->EndScene();
    device->SetTexture(0, nullptr);
    pixels = ReadBackBuffer(device);
    for (unsigned z = 0; z < kVolumeDepth; ++z) {
        for (unsigned quarter = 0; quarter < 4; ++quarter) {
            const unsigned x = (quarter & 1) ? 6 : 1, y = (quarter & 2) ? 5 : 2;
            CheckCell(pixels, quarter * 16, z * 16, StoredVoxel(0, x, y, z), "drawn voxel slice/quarter", z, quarter);
        }
    }
}

// ---- The run ----
void Run(IDirect3DDevice9* device, const std::string& dir) {
    if (!WriteFiles(dir)) {
        std::fprintf(stderr, "cubevolume: cannot write the DDS files into %s\n", dir.c_str());
        ++failures;
        return;
    }

    IDirect3DCubeTexture9* cube = nullptr;
    IDirect3DCubeTexture9* dxtCube = nullptr;
    IDirect3DVolumeTexture9* volume = nullptr;
    D3DXIMAGE_INFO info = {};
    // Sizes, levels and format as the files hold them; the stored levels are loaded, not made again.
    HRESULT hr = D3DXCreateCubeTextureFromFileExA(device, (dir + "/cube.dds").c_str(), D3DX_FROM_FILE, D3DX_FROM_FILE,
                                                  0, D3DFMT_FROM_FILE, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                  &info, nullptr, &cube);
    if (Check(SUCCEEDED(hr), "D3DXCreateCubeTextureFromFileExA", hr)) {
        Check(info.ResourceType == D3DRTYPE_CUBETEXTURE && info.Width == kCubeEdge && info.MipLevels == kCubeLevels &&
                  info.Format == D3DFMT_A8R8G8B8 && info.ImageFileFormat == D3DXIFF_DDS,
              "the cube file's description");
        Check(cube->GetLevelCount() == kCubeLevels, "the cube's level count");
        CheckCube(cube, StoredCubeTexel, "loaded cube face/level/texel");
    }
    hr = D3DXCreateCubeTextureFromFileExA(device, (dir + "/cube_dxt1.dds").c_str(), D3DX_FROM_FILE, D3DX_FROM_FILE, 0,
                                          D3DFMT_FROM_FILE, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                          nullptr, &dxtCube);
    if (Check(SUCCEEDED(hr), "D3DXCreateCubeTextureFromFileExA (DXT1)", hr)) {
        D3DSURFACE_DESC desc = {};
        Check(SUCCEEDED(dxtCube->GetLevelDesc(0, &desc)) && desc.Format == D3DFMT_DXT1 &&
                  dxtCube->GetLevelCount() == kDxtLevels,
              "the DXT1 cube's format and levels");
        CheckDxtCube(dxtCube);
    }
    hr = D3DXCreateVolumeTextureFromFileExA(device, (dir + "/volume.dds").c_str(), D3DX_FROM_FILE, D3DX_FROM_FILE,
                                            D3DX_FROM_FILE, D3DX_FROM_FILE, 0, D3DFMT_FROM_FILE, D3DPOOL_MANAGED,
                                            D3DX_DEFAULT, D3DX_DEFAULT, 0, &info, nullptr, &volume);
    if (Check(SUCCEEDED(hr), "D3DXCreateVolumeTextureFromFileExA", hr)) {
        Check(info.ResourceType == D3DRTYPE_VOLUMETEXTURE && info.Width == kVolumeWidth && info.Depth == kVolumeDepth &&
                  info.MipLevels == kVolumeLevels,
              "the volume file's description");
        Check(volume->GetLevelCount() == kVolumeLevels, "the volume's level count");
        CheckVolume(volume, StoredVoxel, "loaded volume level/slice/texel");
        // A level's volume knows the texture it belongs to.
        IDirect3DVolume9* level = nullptr;
        IDirect3DVolumeTexture9* container = nullptr;
        if (SUCCEEDED(volume->GetVolumeLevel(1, &level)) &&
            SUCCEEDED(level->GetContainer(IID_IDirect3DVolumeTexture9, reinterpret_cast<void**>(&container)))) {
            Check(container == volume, "the volume level's container");
            container->Release();
        } else {
            Check(false, "GetVolumeLevel / GetContainer");
        }
        if (level != nullptr) level->Release();
    }

    if (cube != nullptr) {
        hr = D3DXFilterTexture(cube, nullptr, 0, D3DX_FILTER_BOX);
        if (Check(SUCCEEDED(hr), "D3DXFilterTexture on the cube", hr)) {
            CheckCube(cube, FilteredCubeTexel, "filtered cube face/level/texel");
        }
    }
    if (volume != nullptr) {
        hr = D3DXFilterTexture(volume, nullptr, 0, D3DX_FILTER_BOX);
        if (Check(SUCCEEDED(hr), "D3DXFilterTexture on the volume", hr)) {
            CheckVolume(volume, FilteredVoxel, "filtered volume level/slice/texel");
        }
    }
    if (cube != nullptr && volume != nullptr) DrawAndCheck(device, cube, volume);

    if (cube != nullptr) cube->Release();
    if (dxtCube != nullptr) dxtCube->Release();
    if (volume != nullptr) volume->Release();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    // The entry joins the arguments into one command line and quotes one that holds a space.
    std::string dir = commandLine != nullptr && *commandLine != '\0' ? commandLine : ".";
    if (dir.size() >= 2 && dir.front() == '"' && dir.back() == '"') dir = dir.substr(1, dir.size() - 2);

    IDirect3D9* direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    IDirect3DDevice9* device = nullptr;
    if (direct3d != nullptr) {
        D3DPRESENT_PARAMETERS parameters = {};
        parameters.BackBufferWidth = kTarget;
        parameters.BackBufferHeight = kTarget;
        parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
        parameters.BackBufferCount = 1;
        parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
        parameters.Windowed = TRUE;
        direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, GetDesktopWindow(),
                               D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, &device);
    }
    if (device == nullptr) {
        std::fprintf(stderr, "cubevolume: no Direct3D device\n");
        if (direct3d != nullptr) direct3d->Release();
        return 1;
    }
    D3DCAPS9 caps = {};
    device->GetDeviceCaps(&caps);
    if (!Check((caps.TextureCaps & D3DPTEXTURECAPS_CUBEMAP) && (caps.TextureCaps & D3DPTEXTURECAPS_VOLUMEMAP),
               "cube and volume texture support")) {
        device->Release();
        direct3d->Release();
        return 1;
    }
    Run(device, dir);
    device->Release();
    direct3d->Release();
    if (failures > 0) {
        std::fprintf(stderr, "cubevolume: %d mismatches\n", failures);
        return 1;
    }
    std::printf("cubevolume: every face, slice and level read back, filtered and drawn as stored\n");
    return 0;
}
