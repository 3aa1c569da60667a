// Cube and volume textures drawn headless on llvmpipe: which face and texel a direction picks (as Direct3D lays
// out cube faces), generated cube coordinates, volume slices under each filter and address mode, block-compressed
// cube maps, and uploads of only what changed.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "Formats.h"
#include "DeviceObject.h"
#include "D3D9TestSupport.h"

namespace tarn::d3d9::test {
namespace {

struct RhwUvw {
    float x, y, z, rhw;
    float u, v, w;
};
constexpr DWORD kRhwUvw = D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0);

struct RhwColor {
    float x, y, z, rhw;
    D3DCOLOR color;
};
constexpr DWORD kRhwColor = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

struct PositionNormal {
    float x, y, z;
    float nx, ny, nz;
};
constexpr DWORD kPositionNormal = D3DFVF_XYZ | D3DFVF_NORMAL;

struct Vec3 {
    double x, y, z;
};

Vec3 Normalized(Vec3 v) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / length, v.y / length, v.z / length};
}

// The direction that reaches face coordinates (sc, tc) in [-1, 1] of a face, from Direct3D's cube-map layout:
// the major axis picks the face, and on it u = (sc / |ma| + 1) / 2 runs left to right and v = (tc / |ma| + 1) / 2
// from the top row down.
//   face  major  sc   tc
//   +X    +x     -z   -y
//   -X    -x     +z   -y
//   +Y    +y     +x   +z
//   -Y    -y     +x   -z
//   +Z    +z     +x   -y
//   -Z    -z     -x   -y
Vec3 FaceDirection(int face, double sc, double tc) {
    switch (face) {
    case D3DCUBEMAP_FACE_POSITIVE_X:
        return {1, -tc, -sc};
    case D3DCUBEMAP_FACE_NEGATIVE_X:
        return {-1, -tc, sc};
    case D3DCUBEMAP_FACE_POSITIVE_Y:
        return {sc, 1, tc};
    case D3DCUBEMAP_FACE_NEGATIVE_Y:
        return {sc, -1, -tc};
    case D3DCUBEMAP_FACE_POSITIVE_Z:
        return {sc, -tc, 1};
    default:
        return {-sc, -tc, -1};
    }
}

// Texel (x, y) of face f in the 2 x 2 pattern of a level: red names the face, green the column, blue the row, and
// the two levels use different greens and blues.
std::uint32_t LevelTexel(int face, UINT level, int x, int y) {
    const std::uint32_t low = level ? 0x60u : 0x20u, high = level ? 0xa0u : 0xe0u;
    return 0xff000000u | static_cast<std::uint32_t>(30 + 40 * face) << 16 | (x ? high : low) << 8 | (y ? high : low);
}

// Texel (x, y) of face f in the 2 x 2 pattern cube.
std::uint32_t PatternTexel(int face, int x, int y) { return LevelTexel(face, 0, x, y); }

// Voxel (x, y, z) of the 2 x 2 x 4 pattern volume: red names the slice, green the column, blue the row.
std::uint32_t VolumeTexel(int x, int y, int z) {
    return 0xff000000u | static_cast<std::uint32_t>(30 + 60 * z) << 16 | (x ? 0xe0u : 0x20u) << 8 | (y ? 0xe0u : 0x20u);
}

int Channel(std::uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xff); }

class CubeVolumeDrawTest : public GlDeviceTest {
protected:
    void SetUp() override {
        GlDeviceTest::SetUp();
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    }

    void TearDown() override {
        if (device) {
            device->SetTexture(0, nullptr);
            device->EndScene();
        }
        for (IUnknown* r : resources_) r->Release();
        GlDeviceTest::TearDown();
    }

    void Clear(D3DCOLOR color) { device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0); }

    // A managed A8R8G8B8 cube map whose texel (x, y) of face f at `level` is texel(f, level, x, y).
    IDirect3DCubeTexture9* MakeCube(UINT edge, UINT levels,
                                    const std::function<std::uint32_t(int, UINT, UINT, UINT)>& texel) {
        IDirect3DCubeTexture9* cube = nullptr;
        EXPECT_EQ(device->CreateCubeTexture(edge, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
        if (!cube) return nullptr;
        resources_.push_back(cube);
        for (int face = 0; face < 6; ++face) {
            for (UINT level = 0; level < levels; ++level) {
                const UINT size = std::max(1u, edge >> level);
                D3DLOCKED_RECT locked;
                EXPECT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), level, &locked, nullptr, 0), D3D_OK);
                for (UINT y = 0; y < size; ++y) {
                    auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                                 y * static_cast<UINT>(locked.Pitch));
                    for (UINT x = 0; x < size; ++x) row[x] = texel(face, level, x, y);
                }
                cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), level);
            }
        }
        return cube;
    }

    // A managed A8R8G8B8 volume texture of one level filled from texel(x, y, z).
    IDirect3DVolumeTexture9* MakeVolume(UINT width, UINT height, UINT depth, UINT levels,
                                        const std::function<std::uint32_t(UINT, UINT, UINT)>& texel) {
        IDirect3DVolumeTexture9* volume = nullptr;
        EXPECT_EQ(device->CreateVolumeTexture(width, height, depth, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                              &volume, nullptr),
                  D3D_OK);
        if (!volume) return nullptr;
        resources_.push_back(volume);
        D3DLOCKED_BOX locked;
        EXPECT_EQ(volume->LockBox(0, &locked, nullptr, 0), D3D_OK);
        for (UINT z = 0; z < depth; ++z) {
            for (UINT y = 0; y < height; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                             z * static_cast<UINT>(locked.SlicePitch) +
                                                             y * static_cast<UINT>(locked.RowPitch));
                for (UINT x = 0; x < width; ++x) row[x] = texel(x, y, z);
            }
        }
        volume->UnlockBox(0);
        return volume;
    }

    // An 8 x 8 cell (column, row of the 8 x 8 grid of cells) whose every vertex has coordinates (u, v, w).
    void Cell(int column, int row, float u, float v, float w) {
        const float x0 = static_cast<float>(column * 8), y0 = static_cast<float>(row * 8);
        const RhwUvw quad[4] = {{x0, y0, 0.5f, 1, u, v, w},
                                {x0 + 8, y0, 0.5f, 1, u, v, w},
                                {x0, y0 + 8, 0.5f, 1, u, v, w},
                                {x0 + 8, y0 + 8, 0.5f, 1, u, v, w}};
        device->SetFVF(kRhwUvw);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(RhwUvw)), D3D_OK);
    }

    // The same cell drawn with positions and a normal (identity world, view and projection), for generated
    // coordinates: the cell's corners in camera space are taken back through `inverseView`.
    void NormalCell(int column, int row, Vec3 normal, const D3DMATRIX& inverseView) {
        auto toWorld = [&](double x, double y, double z, double w) {
            const D3DMATRIX& m = inverseView;
            return Vec3{x * m._11 + y * m._21 + z * m._31 + w * m._41, x * m._12 + y * m._22 + z * m._32 + w * m._42,
                        x * m._13 + y * m._23 + z * m._33 + w * m._43};
        };
        const Vec3 n = toWorld(normal.x, normal.y, normal.z, 0);
        PositionNormal quad[4];
        const double corners[4][2] = {{0, 0}, {8, 0}, {0, 8}, {8, 8}};
        for (int i = 0; i < 4; ++i) {
            const double x = (column * 8 + corners[i][0]) / 32.0 - 1.0, y = 1.0 - (row * 8 + corners[i][1]) / 32.0;
            const Vec3 p = toWorld(x, y, 0.5, 1);
            quad[i] = {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z),
                       static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)};
        }
        device->SetFVF(kPositionNormal);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(PositionNormal)), D3D_OK);
    }

    static D3DMATRIX Identity() {
        D3DMATRIX m{};
        m._11 = m._22 = m._33 = m._44 = 1.0f;
        return m;
    }

    void SetTransforms(const D3DMATRIX& view) {
        const D3DMATRIX identity = Identity();
        device->SetTransform(D3DTS_WORLD, &identity);
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_PROJECTION, &identity);
    }

    void ExpectPixel(const std::vector<std::uint32_t>& pixels, int x, int y, std::uint32_t expected,
                     int tolerance = 0) {
        ASSERT_EQ(pixels.size(), kSize * kSize);
        const std::uint32_t got = pixels[static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x)];
        for (int shift : {16, 8, 0}) {
            EXPECT_NEAR(Channel(got, shift), Channel(expected, shift), tolerance)
                << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", expected " << expected;
        }
    }

    // A pre-transformed rectangle of one colour at depth z.
    void Rect(float x0, float y0, float x1, float y1, D3DCOLOR color, float z) {
        const RhwColor v[4] = {
            {x0, y0, z, 1, color}, {x1, y0, z, 1, color}, {x0, y1, z, 1, color}, {x1, y1, z, 1, color}};
        device->SetFVF(kRhwColor);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwColor)), D3D_OK);
    }

    IDirect3DSurface9* FaceOf(IDirect3DCubeTexture9* cube, int face, UINT level = 0) {
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, &surface), D3D_OK);
        if (surface) resources_.push_back(surface);
        return surface;
    }

    // Draws the 24 texel centres of the pattern cube, one cell each, through `draw(cell, face, x, y)`, and
    // checks that every cell shows its texel (of the pattern cube, or `expected(face, x, y)`).
    void ExpectEveryTexelOfEveryFace(const std::function<void(int, int, int, int)>& draw,
                                     const std::function<std::uint32_t(int, int, int)>& expected = PatternTexel) {
        Clear(0xff000000);
        for (int face = 0; face < 6; ++face) {
            for (int t = 0; t < 4; ++t) draw(face * 4 + t, face, t & 1, t >> 1);
        }
        const auto pixels = ReadTarget();
        for (int face = 0; face < 6; ++face) {
            for (int t = 0; t < 4; ++t) {
                SCOPED_TRACE(testing::Message() << "face " << face << " texel " << (t & 1) << ", " << (t >> 1));
                const int cell = face * 4 + t;
                ExpectPixel(pixels, (cell % 8) * 8 + 4, (cell / 8) * 8 + 4, expected(face, t & 1, t >> 1));
            }
        }
    }

    IDirect3DCubeTexture9* PatternCube() {
        return MakeCube(2, 1, [](int face, UINT, UINT x, UINT y) {
            return PatternTexel(face, static_cast<int>(x), static_cast<int>(y));
        });
    }

    std::vector<IUnknown*> resources_;
};

// Three-component coordinates along each axis pick the face, and the texel on it, as Direct3D lays them out:
// a face that is mirrored or rotated shows the wrong texel even when the face is right.
TEST_F(CubeVolumeDrawTest, DirectionsPickTheFaceAndTexelOfDirect3DsLayout) {
    device->SetTexture(0, PatternCube());
    ExpectEveryTexelOfEveryFace([&](int cell, int face, int x, int y) {
        const Vec3 d = FaceDirection(face, x ? 0.5 : -0.5, y ? 0.5 : -0.5);
        Cell(cell % 8, cell / 8, static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z));
    });
    // Only the direction counts, not its length.
    Clear(0xff000000);
    Cell(0, 0, 0.0f, 0.0f, 5.0f);
    Cell(1, 0, -0.25f, 0.0f, 0.0f);
    const auto pixels = ReadTarget();
    ExpectPixel(pixels, 4, 4, PatternTexel(D3DCUBEMAP_FACE_POSITIVE_Z, 1, 1));
    ExpectPixel(pixels, 12, 4, PatternTexel(D3DCUBEMAP_FACE_NEGATIVE_X, 1, 1));

    // Filtering at a face's edge stays on the face: u = 0.975 on +X, halfway between its two rows, blends the
    // last column's two texels and nothing of the face's opposite edge.
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    Clear(0xff000000);
    Cell(0, 0, 1.0f, 0.0f, -0.95f);
    ExpectPixel(ReadTarget(), 4, 4, 0xff000000u | 30u << 16 | 0xe0u << 8 | 0x80u, 1);
}

// Camera-space normals as cube coordinates: the normal goes through the view, so a rotated camera sees the
// texel of the rotated direction.
TEST_F(CubeVolumeDrawTest, CameraSpaceNormalsLookUpTheCube) {
    device->SetTexture(0, PatternCube());
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
    // A quarter turn about y: camera x is world z, camera z is world -x. Its inverse takes camera space back.
    D3DMATRIX view{}, inverse{};
    view._13 = -1.0f, view._22 = 1.0f, view._31 = 1.0f, view._44 = 1.0f;
    inverse._13 = 1.0f, inverse._22 = 1.0f, inverse._31 = -1.0f, inverse._44 = 1.0f;
    const D3DMATRIX views[2][2] = {{Identity(), Identity()}, {view, inverse}};
    for (const auto& pair : views) {
        SetTransforms(pair[0]);
        const D3DMATRIX& back = pair[1];
        ExpectEveryTexelOfEveryFace([&](int cell, int face, int x, int y) {
            NormalCell(cell % 8, cell / 8, FaceDirection(face, x ? 0.5 : -0.5, y ? 0.5 : -0.5), back);
        });
    }
}

// Reflection vectors (non-local viewer: the eye looks along +z) reach every texel of five faces directly; the
// sixth (+Z, straight away from the viewer) is reached through a three-component texture transform that turns
// the -Z reflection round. The normals are scaled by the world matrix, and the reflection still uses their
// direction only.
TEST_F(CubeVolumeDrawTest, ReflectionVectorsThroughTheTextureTransform) {
    device->SetTexture(0, PatternCube());
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
    device->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    SetTransforms(Identity());
    // The world halves everything; positions are doubled to stay in place and normals come out doubled.
    D3DMATRIX world = Identity(), inverseWorld = Identity();
    world._11 = world._22 = world._33 = 0.5f;
    inverseWorld._11 = inverseWorld._22 = inverseWorld._33 = 2.0f;
    device->SetTransform(D3DTS_WORLD, &world);
    D3DMATRIX flipZ = Identity();
    flipZ._33 = -1.0f;
    device->SetTransform(D3DTS_TEXTURE0, &flipZ);
    ExpectEveryTexelOfEveryFace([&](int cell, int face, int x, int y) {
        const bool viaTransform = face == D3DCUBEMAP_FACE_POSITIVE_Z;
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS,
                                     static_cast<DWORD>(viaTransform ? D3DTTFF_COUNT3 : D3DTTFF_DISABLE));
        Vec3 r = Normalized(FaceDirection(face, x ? 0.5 : -0.5, y ? 0.5 : -0.5));
        if (viaTransform) r.z = -r.z;
        // R = I - 2 (N.I) N with I = (0, 0, 1) is reached by the normal along R - I.
        const Vec3 n = Normalized({r.x, r.y, r.z - 1.0});
        NormalCell(cell % 8, cell / 8, n, inverseWorld);
    });
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
}

// Point sampling picks the voxel; linear filtering blends neighbouring slices; each W address mode decides the
// slice outside [0, 1] (U and V stay inside, at texel centres).
TEST_F(CubeVolumeDrawTest, VolumeSlicesUnderFiltersAndAddressModes) {
    IDirect3DVolumeTexture9* volume = MakeVolume(2, 2, 4, 1, [](UINT x, UINT y, UINT z) {
        return VolumeTexel(static_cast<int>(x), static_cast<int>(y), static_cast<int>(z));
    });
    device->SetTexture(0, volume);
    Clear(0xff000000);
    for (int z = 0; z < 4; ++z) {
        for (int t = 0; t < 4; ++t) {
            const int cell = z * 4 + t;
            Cell(cell % 8, cell / 8, (t & 1) ? 0.75f : 0.25f, (t >> 1) ? 0.75f : 0.25f, (z + 0.5f) / 4);
        }
    }
    auto pixels = ReadTarget();
    for (int z = 0; z < 4; ++z) {
        for (int t = 0; t < 4; ++t) {
            SCOPED_TRACE(testing::Message() << "voxel " << (t & 1) << ", " << (t >> 1) << ", " << z);
            const int cell = z * 4 + t;
            ExpectPixel(pixels, (cell % 8) * 8 + 4, (cell / 8) * 8 + 4, VolumeTexel(t & 1, t >> 1, z));
        }
    }

    // Linear: halfway between the centres of slices 0 and 1, and a quarter of the way from slice 2 to 3.
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    Clear(0xff000000);
    Cell(0, 0, 0.25f, 0.25f, 0.25f);
    Cell(1, 0, 0.75f, 0.75f, 0.6875f);
    pixels = ReadTarget();
    ExpectPixel(pixels, 4, 4, 0xff000000u | 60u << 16 | 0x20u << 8 | 0x20u, 1);
    ExpectPixel(pixels, 12, 4, 0xff000000u | 165u << 16 | 0xe0u << 8 | 0xe0u, 1);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);

    // Address modes along W, at w = 1.125 and w = -0.375 (slice -1 or -2 when repeated).
    constexpr int kBorder = -1;
    const struct Case {
        DWORD mode;
        int above, below;  // slice read at w = 1.125 and at w = -0.375
    } cases[] = {{D3DTADDRESS_WRAP, 0, 2},
                 {D3DTADDRESS_MIRROR, 3, 1},
                 {D3DTADDRESS_CLAMP, 3, 0},
                 {D3DTADDRESS_BORDER, kBorder, kBorder},
                 {D3DTADDRESS_MIRRORONCE, 3, 1}};
    const D3DCOLOR border = 0xff4080c0;
    device->SetSamplerState(0, D3DSAMP_BORDERCOLOR, border);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        device->SetSamplerState(0, D3DSAMP_ADDRESSW, c.mode);
        Clear(0xff000000);
        Cell(0, 0, 0.75f, 0.25f, 1.125f);
        Cell(1, 0, 0.75f, 0.25f, -0.375f);
        pixels = ReadTarget();
        ExpectPixel(pixels, 4, 4, c.above == kBorder ? border : VolumeTexel(1, 0, c.above));
        ExpectPixel(pixels, 12, 4, c.below == kBorder ? border : VolumeTexel(1, 0, c.below));
    }
    device->SetSamplerState(0, D3DSAMP_ADDRESSW, D3DTADDRESS_WRAP);
}

// Every level of a mipmapped cube map or volume reaches the sampler: with a mip filter, MAXMIPLEVEL n makes a
// magnified sample read level n.
TEST_F(CubeVolumeDrawTest, MipLevelsOfCubesAndVolumes) {
    auto colour = [](UINT level) { return 0xff000000u | (40 + 80 * level) << 16 | 0x8040u; };
    IDirect3DCubeTexture9* cube = MakeCube(4, 3, [&](int, UINT level, UINT, UINT) { return colour(level); });
    IDirect3DVolumeTexture9* volume = MakeVolume(4, 4, 4, 3, [](UINT, UINT, UINT) { return 0u; });
    for (UINT level = 1; level < 3; ++level) {
        const UINT size = 4 >> level;
        D3DLOCKED_BOX locked;
        ASSERT_EQ(volume->LockBox(level, &locked, nullptr, 0), D3D_OK);
        for (UINT z = 0; z < size; ++z) {
            for (UINT y = 0; y < size; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                             z * static_cast<UINT>(locked.SlicePitch) +
                                                             y * static_cast<UINT>(locked.RowPitch));
                for (UINT x = 0; x < size; ++x) row[x] = colour(level);
            }
        }
        volume->UnlockBox(level);
    }
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    for (UINT level = 0; level < 3; ++level) {
        SCOPED_TRACE(level);
        device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, level);
        Clear(0xff000000);
        device->SetTexture(0, cube);
        Cell(0, 0, 0.3f, -1.0f, 0.2f);
        device->SetTexture(0, volume);
        Cell(1, 0, 0.3f, 0.6f, 0.2f);
        const auto pixels = ReadTarget();
        ExpectPixel(pixels, 4, 4, colour(level));
        // Level 0 of the volume was filled with black.
        ExpectPixel(pixels, 12, 4, level ? colour(level) : 0xff000000u);
    }
    device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 0);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
}

// The state cache changes no picture: cube and volume textures take turns on one unit (each switch unbinds the
// other target) with the cache on and off, and the pictures agree while the cache sends fewer calls.
TEST_F(CubeVolumeDrawTest, StateCacheOffDrawsTheSamePictures) {
    const StateCacheOn cacheOn;
    IDirect3DCubeTexture9* cube = PatternCube();
    IDirect3DVolumeTexture9* volume = MakeVolume(2, 2, 4, 1, [](UINT x, UINT y, UINT z) {
        return VolumeTexel(static_cast<int>(x), static_cast<int>(y), static_cast<int>(z));
    });
    auto frame = [&] {
        Clear(0xff000000);
        for (int i = 0; i < 16; ++i) {
            device->SetTexture(0, i % 2 ? static_cast<IDirect3DBaseTexture9*>(volume) : cube);
            const Vec3 d = FaceDirection(i % 6, (i & 2) ? 0.5 : -0.5, (i & 4) ? 0.5 : -0.5);
            if (i % 2) {
                Cell(i % 8, i / 8, (i & 2) ? 0.75f : 0.25f, (i & 4) ? 0.75f : 0.25f, (i % 4 + 0.5f) / 4);
            } else {
                Cell(i % 8, i / 8, static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z));
            }
        }
        return ReadTarget();
    };
    const auto cached = frame();
    std::size_t calls = GlStateCalls(device);
    frame();
    const std::size_t cachedCalls = GlStateCalls(device) - calls;
    SetStateCacheEnabled(false);
    calls = GlStateCalls(device);
    const auto uncached = frame();
    const std::size_t uncachedCalls = GlStateCalls(device) - calls;
    SetStateCacheEnabled(true);
    EXPECT_EQ(cached, uncached);
    EXPECT_LT(cachedCalls, uncachedCalls);
    EXPECT_NE(cached[4 * kSize + 4], 0xff000000u);
}

// Point sampling along w takes the slice the coordinate names when every pixel centre lies on a slice edge: a
// volume of as many slices as the target has columns, drawn through a grid of pre-transformed vertices whose w
// follows x (w = x / width, with the demo's float arithmetic, k = 1/9 and rhw 0), as the 2D path does for u and
// v. The demo's width (800) and the fixture's (64).
TEST_F(CubeVolumeDrawTest, PointSamplingSnapsAlongW) {
    auto slice = [](UINT z) { return 0xff000000u | (z & 0xff) << 16 | (z >> 8) << 8 | 0x80u; };
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    for (UINT width : {800u, kSize}) {
        SCOPED_TRACE(width);
        const UINT height = 8;
        IDirect3DVolumeTexture9* volume = MakeVolume(1, 1, width, 1, [&](UINT, UINT, UINT z) { return slice(z); });
        IDirect3DTexture9* targetTexture = nullptr;
        ASSERT_EQ(device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                        &targetTexture, nullptr),
                  D3D_OK);
        resources_.push_back(targetTexture);
        IDirect3DSurface9* target = nullptr;
        targetTexture->GetSurfaceLevel(0, &target);
        ASSERT_EQ(device->SetRenderTarget(0, target), D3D_OK);
        target->Release();
        IDirect3DSurface9* depth = nullptr;
        device->GetDepthStencilSurface(&depth);
        device->SetDepthStencilSurface(nullptr);
        device->SetTexture(0, volume);
        const float k = 1.0f / 9.0f, w = static_cast<float>(width), h = static_cast<float>(height);
        std::vector<RhwUvw> grid;
        for (int i = 0; i < 10; ++i) {
            for (int j = 0; j < 10; ++j) grid.push_back({j * (w * k), i * (h * k), 0, 0, 0.5f, 0.5f, j * k});
        }
        std::vector<std::uint16_t> indices;
        for (int a = 0; a < 9; ++a) {
            for (int b = 0; b < 9; ++b) {
                for (int o : {0, 1, 10, 10, 1, 11}) indices.push_back(static_cast<std::uint16_t>(a + 10 * b + o));
            }
        }
        device->SetFVF(kRhwUvw);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000, 1.0f, 0);
        ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 100, 162, indices.data(), D3DFMT_INDEX16,
                                                 grid.data(), sizeof(RhwUvw)),
                  D3D_OK);
        const auto pixels = ReadTarget();
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(width) * height);
        int wrong = 0;
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (pixels[i] == slice(static_cast<UINT>(i % width))) continue;
            if (wrong++ < 4)
                ADD_FAILURE() << "pixel (" << i % width << ", " << i / width << ") is " << std::hex << pixels[i];
        }
        EXPECT_EQ(wrong, 0);
        device->SetTexture(0, nullptr);
        ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
        device->SetDepthStencilSurface(depth);
        if (depth) depth->Release();
    }
    back->Release();
}

// Coordinates with fewer components than the sampler reads: the missing ones are 0 straight from the vertex,
// and 0 beyond the count a texture transform hands on. Undefined counts (above COUNT4) act as no transform.
TEST_F(CubeVolumeDrawTest, MissingCoordinateComponentsReadZero) {
    IDirect3DVolumeTexture9* volume = MakeVolume(2, 2, 4, 1, [](UINT x, UINT y, UINT z) {
        return VolumeTexel(static_cast<int>(x), static_cast<int>(y), static_cast<int>(z));
    });
    device->SetTexture(0, volume);
    for (D3DSAMPLERSTATETYPE address : {D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV, D3DSAMP_ADDRESSW}) {
        device->SetSamplerState(0, address, D3DTADDRESS_CLAMP);
    }
    struct RhwUv {
        float x, y, z, rhw;
        float u, v;
    };
    struct RhwU {
        float x, y, z, rhw;
        float u;
    };
    // (u, v) only: w reads 0, the first slice (a padding of 1 would read the last one).
    const RhwUv uv[4] = {{0, 0, 0.5f, 1, 0.75f, 0.75f},
                         {8, 0, 0.5f, 1, 0.75f, 0.75f},
                         {0, 8, 0.5f, 1, 0.75f, 0.75f},
                         {8, 8, 0.5f, 1, 0.75f, 0.75f}};
    // u only: v and w read 0.
    const RhwU u[4] = {
        {8, 0, 0.5f, 1, 0.75f}, {16, 0, 0.5f, 1, 0.75f}, {8, 8, 0.5f, 1, 0.75f}, {16, 8, 0.5f, 1, 0.75f}};
    Clear(0xff000000);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, uv, sizeof(RhwUv)), D3D_OK);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE1(0));
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, u, sizeof(RhwU)), D3D_OK);
    auto pixels = ReadTarget();
    ExpectPixel(pixels, 4, 4, VolumeTexel(1, 1, 0));
    ExpectPixel(pixels, 12, 4, VolumeTexel(1, 0, 0));

    // Camera-space positions (x, y, 0.5) through a translation by (0.5, 0.5, 0.375). The cell at pixel 20 has
    // x = -0.375 and y = 0.375: u, v become 0.125, 0.875 (column 0, row 1) and w 0.875 (slice 3). COUNT2
    // drops w (slice 0), COUNT1 v as well (row 0). Counts 5 to 7 are no transform: the position itself, u clamped to
    // column 0, v row 0, w = 0.5 slice 2.
    SetTransforms(Identity());
    D3DMATRIX shift = Identity();
    shift._41 = 0.5f, shift._42 = 0.5f, shift._43 = 0.375f;
    device->SetTransform(D3DTS_TEXTURE0, &shift);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
    const struct Case {
        DWORD flags;
        int row, slice;
    } cases[] = {
        {D3DTTFF_COUNT1, 0, 0},       {D3DTTFF_COUNT2, 1, 0}, {D3DTTFF_COUNT3, 1, 3}, {D3DTTFF_COUNT4, 1, 3}, {7, 0, 2},
        {7 | D3DTTFF_PROJECTED, 0, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, c.flags);
        Clear(0xff000000);
        NormalCell(2, 2, {0, 0, -1}, Identity());
        ExpectPixel(ReadTarget(), 20, 20, VolumeTexel(0, c.row, c.slice));
    }
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
}

// Only what changed goes to GL again: the first draw sends every face level (or volume level) once, a draw with
// nothing changed sends none, and a lock sends the one face level or volume level it wrote, whose new texels show.
TEST_F(CubeVolumeDrawTest, OnlyChangedFacesAndLevelsAreUploadedAgain) {
    IDirect3DCubeTexture9* cube =
        MakeCube(4, 2, [](int face, UINT, UINT x, UINT y) { return PatternTexel(face, x >= 2, y >= 2); });
    device->SetTexture(0, cube);
    const Vec3 d = FaceDirection(D3DCUBEMAP_FACE_NEGATIVE_Y, -0.75, -0.75);  // texel (0, 0)
    auto draw = [&] {
        Clear(0xff000000);
        Cell(0, 0, static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z));
    };
    const std::size_t start = Uploads(device).textureLevels;
    draw();
    const std::size_t first = Uploads(device).textureLevels;
    EXPECT_EQ(first - start, 12u);
    draw();
    EXPECT_EQ(Uploads(device).textureLevels, first);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Y, 0, &locked, nullptr, 0), D3D_OK);
    *static_cast<std::uint32_t*>(locked.pBits) = 0xff123456;
    cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Y, 0);
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_Z, 1, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    cube->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_Z, 1);
    draw();
    EXPECT_EQ(Uploads(device).textureLevels - first, 1u);  // -Y level 0 only; a read-only lock changes nothing
    ExpectPixel(ReadTarget(), 4, 4, 0xff123456);

    IDirect3DVolumeTexture9* volume = MakeVolume(2, 2, 4, 3, [](UINT x, UINT y, UINT z) {
        return VolumeTexel(static_cast<int>(x), static_cast<int>(y), static_cast<int>(z));
    });
    device->SetTexture(0, volume);
    const std::size_t before = Uploads(device).textureLevels;
    Clear(0xff000000);
    Cell(0, 0, 0.75f, 0.25f, 0.625f);
    const std::size_t made = Uploads(device).textureLevels;
    EXPECT_EQ(made - before, 3u);
    D3DLOCKED_BOX box;
    const D3DBOX one{1, 0, 2, 1, 2, 3};  // voxel (1, 0, 2)
    ASSERT_EQ(volume->LockBox(0, &box, &one, 0), D3D_OK);
    *static_cast<std::uint32_t*>(box.pBits) = 0xff654321;
    volume->UnlockBox(0);
    Clear(0xff000000);
    Cell(0, 0, 0.75f, 0.25f, 0.625f);
    EXPECT_EQ(Uploads(device).textureLevels - made, 1u);
    ExpectPixel(ReadTarget(), 4, 4, 0xff654321);
}

// A DXT1 cube map: each face one 4 x 4 block whose quadrants take the four colours of the block's palette, so a
// flipped face shows the wrong colour. Palette entries 2 and 3 are the thirds between the two stored colours.
TEST_F(CubeVolumeDrawTest, Dxt1CubeMapSamplesEachFaceTheRightWayRound) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    resources_.push_back(cube);
    auto expand = [](int bits, int value) { return bits == 5 ? (value << 3 | value >> 2) : (value << 2 | value >> 4); };
    std::uint32_t palettes[6][4];
    for (int face = 0; face < 6; ++face) {
        const int red = 4 + 5 * face;  // colour 0: (red, 63, 0); colour 1: (0, 0, 31)
        const std::uint16_t c0 = static_cast<std::uint16_t>(red << 11 | 63 << 5), c1 = 31;
        // Index of texel (x, y): its quadrant, 0 top left, 1 top right, 2 bottom left, 3 bottom right.
        std::uint32_t indices = 0;
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x)
                indices |= static_cast<std::uint32_t>((x >= 2) + 2 * (y >= 2)) << (2 * (4 * y + x));
        }
        std::uint8_t block[8];
        std::memcpy(block, &c0, 2);
        std::memcpy(block + 2, &c1, 2);
        std::memcpy(block + 4, &indices, 4);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, 0), D3D_OK);
        std::memcpy(locked.pBits, block, sizeof block);
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
        const int r0 = expand(5, red), g0 = expand(6, 63), b1 = expand(5, 31);
        auto rgb = [](int r, int g, int b) {
            return 0xff000000u | static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
                   static_cast<std::uint32_t>(b);
        };
        palettes[face][0] = rgb(r0, g0, 0);
        palettes[face][1] = rgb(0, 0, b1);
        palettes[face][2] = rgb((2 * r0 + 1) / 3, (2 * g0 + 1) / 3, (b1 + 1) / 3);
        palettes[face][3] = rgb((r0 + 1) / 3, (g0 + 1) / 3, (2 * b1 + 1) / 3);
    }
    device->SetTexture(0, cube);
    Clear(0xff000000);
    for (int face = 0; face < 6; ++face) {
        for (int q = 0; q < 4; ++q) {
            const Vec3 d = FaceDirection(face, (q & 1) ? 0.5 : -0.5, (q >> 1) ? 0.5 : -0.5);
            const int cell = face * 4 + q;
            Cell(cell % 8, cell / 8, static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z));
        }
    }
    const auto pixels = ReadTarget();
    for (int face = 0; face < 6; ++face) {
        for (int q = 0; q < 4; ++q) {
            SCOPED_TRACE(testing::Message() << "face " << face << " quadrant " << q);
            const int cell = face * 4 + q;
            ExpectPixel(pixels, (cell % 8) * 8 + 4, (cell / 8) * 8 + 4, palettes[face][q], 2);
        }
    }
    // A face written again after the first draw goes up as a compressed sub-image: +Y becomes solid red.
    const std::uint8_t red[8] = {0x00, 0xf8, 0x00, 0xf8, 0, 0, 0, 0};
    D3DLOCKED_RECT locked;
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_Y, 0, &locked, nullptr, 0), D3D_OK);
    std::memcpy(locked.pBits, red, sizeof red);
    cube->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_Y, 0);
    const Vec3 d = FaceDirection(D3DCUBEMAP_FACE_POSITIVE_Y, 0.5, -0.5);
    Clear(0xff000000);
    Cell(0, 0, static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z));
    ExpectPixel(ReadTarget(), 4, 4, 0xffff0000);
}

// The GL copies of released cube and volume textures go with them: textures of changing sizes made, drawn and
// released in turn (the allocator hands the same addresses out again) each show their own texels, and no upload
// lands in a stale copy of another size.
TEST_F(CubeVolumeDrawTest, ReleasedTexturesTakeTheirGlCopiesWithThem) {
    for (UINT i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const UINT size = 1u << (i % 3 + 1);
        const std::uint32_t colour = 0xff000000u | (i * 20) << 16 | 0x40u;
        IDirect3DBaseTexture9* texture = nullptr;
        if (i % 2) {
            texture = MakeVolume(size, size, size, 1, [&](UINT, UINT, UINT) { return colour; });
        } else {
            texture = MakeCube(size, 1, [&](int, UINT, UINT, UINT) { return colour; });
        }
        ASSERT_NE(texture, nullptr);
        device->SetTexture(0, texture);
        Clear(0xff000000);
        Cell(0, 0, 0.25f, 0.5f, 0.75f);
        ExpectPixel(ReadTarget(), 4, 4, colour);
        device->SetTexture(0, nullptr);
        resources_.pop_back();
        EXPECT_EQ(texture->Release(), 0u);
        EXPECT_EQ(TakeGlErrors(device), 0u);
    }
}

// Every format the layer lets a cube map or volume have (palettised ones aside, which read the device palette)
// samples as the codec decodes it: random colours encoded into a 2 x 2 face of each cube face or a 2 x 2 x 4
// volume, drawn one texel per cell into an A8R8G8B8 target so that alpha is read too.
TEST_F(CubeVolumeDrawTest, EveryCubeAndVolumeFormatSamplesLikeTheCodec) {
    std::vector<D3DFORMAT> candidates;
    for (DWORD f = 1; f < 128; ++f) candidates.push_back(static_cast<D3DFORMAT>(f));
    for (D3DFORMAT f : {D3DFMT_UYVY, D3DFMT_YUY2, D3DFMT_R8G8_B8G8, D3DFMT_G8R8_G8B8, D3DFMT_DXT1, D3DFMT_DXT2,
                        D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
        candidates.push_back(f);
    }
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(device->CreateTexture(kSize, kSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target,
                                    nullptr),
              D3D_OK);
    resources_.push_back(target);
    IDirect3DSurface9* level = nullptr;
    IDirect3DSurface9* back = nullptr;
    target->GetSurfaceLevel(0, &level);
    device->GetRenderTarget(0, &back);
    device->SetRenderTarget(0, level);
    level->Release();
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int cubes = 0, volumes = 0;
    for (D3DFORMAT format : candidates) {
        const FormatLayout* layout = FindLayout(format);
        if (!layout || !CanEncode(format)) continue;  // unknown, depth, block, palettised and packed-pair formats
        for (D3DRESOURCETYPE type : {D3DRTYPE_CUBETEXTURE, D3DRTYPE_VOLUMETEXTURE}) {
            if (FAILED(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, type, format))) continue;
            const bool cube = type == D3DRTYPE_CUBETEXTURE;
            SCOPED_TRACE(testing::Message() << FormatName(format) << (cube ? " cube" : " volume"));
            (cube ? cubes : volumes) += 1;
            // 24 cube texels (face, x, y) or 16 voxels (x, y, z), each with a colour and where it is sampled.
            const int count = cube ? 24 : 16;
            std::vector<float> colours(static_cast<std::size_t>(count) * 4), expected(colours.size());
            for (float& c : colours) c = unit(random);
            auto fill = [&](std::uint8_t* row, int first) {
                std::uint8_t encoded[64] = {};
                EncodeRow(format, &colours[static_cast<std::size_t>(first) * 4], 2, encoded);
                std::memcpy(row, encoded, 2u * layout->bytesPerBlock);
                DecodeRow(format, encoded, 2, &expected[static_cast<std::size_t>(first) * 4]);
            };
            IDirect3DBaseTexture9* texture = nullptr;
            if (cube) {
                IDirect3DCubeTexture9* c = nullptr;
                ASSERT_EQ(device->CreateCubeTexture(2, 1, 0, format, D3DPOOL_MANAGED, &c, nullptr), D3D_OK);
                texture = c;
                for (int face = 0; face < 6; ++face) {
                    D3DLOCKED_RECT locked;
                    ASSERT_EQ(c->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, 0), D3D_OK);
                    for (int y = 0; y < 2; ++y)
                        fill(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch, face * 4 + y * 2);
                    c->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
                }
            } else {
                IDirect3DVolumeTexture9* v = nullptr;
                ASSERT_EQ(device->CreateVolumeTexture(2, 2, 4, 1, 0, format, D3DPOOL_MANAGED, &v, nullptr), D3D_OK);
                texture = v;
                D3DLOCKED_BOX locked;
                ASSERT_EQ(v->LockBox(0, &locked, nullptr, 0), D3D_OK);
                for (int z = 0; z < 4; ++z) {
                    for (int y = 0; y < 2; ++y) {
                        fill(static_cast<std::uint8_t*>(locked.pBits) + z * locked.SlicePitch + y * locked.RowPitch,
                             z * 4 + y * 2);
                    }
                }
                v->UnlockBox(0);
            }
            device->SetTexture(0, texture);
            Clear(0xff000000);
            for (int i = 0; i < count; ++i) {
                const double a = (i & 1) ? 0.5 : -0.5, b = (i & 2) ? 0.5 : -0.5;
                if (cube) {
                    const Vec3 d = FaceDirection(i / 4, a, b);
                    Cell(i % 8, i / 8, static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z));
                } else {
                    Cell(i % 8, i / 8, static_cast<float>(a / 2 + 0.5), static_cast<float>(b / 2 + 0.5),
                         (i / 4 + 0.5f) / 4);
                }
            }
            const auto pixels = ReadTarget();
            for (int i = 0; i < count; ++i) {
                const std::uint32_t got = pixels[static_cast<std::size_t>((i / 8) * 8 + 4) * kSize + (i % 8) * 8 + 4];
                const float* e = &expected[static_cast<std::size_t>(i) * 4];
                const int shifts[4] = {16, 8, 0, 24};
                for (int ch = 0; ch < 4; ++ch) {
                    const int want = static_cast<int>(std::lround(std::clamp(e[ch], 0.0f, 1.0f) * 255.0f));
                    EXPECT_NEAR(Channel(got, shifts[ch]), want, 2) << "texel " << i << " channel " << ch;
                }
            }
            device->SetTexture(0, nullptr);
            texture->Release();
        }
    }
    EXPECT_GT(cubes, 20);
    EXPECT_GT(volumes, 20);
    device->SetRenderTarget(0, back);
    back->Release();
}

// A render-target cube drawn face by face at two levels, each face's quadrants in colours of their own, so that a
// face drawn mirrored, turned or into the wrong face shows the wrong colour somewhere. Each face has a depth
// buffer of its size, which hides a quad drawn afterwards behind the quadrants. Sampled along every axis, the
// cube shows what was drawn, at each level.
TEST_F(CubeVolumeDrawTest, FacesDrawnIntoSampleTheRightWayRound) {
    constexpr UINT kEdge = 16;
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(
        device->CreateCubeTexture(kEdge, 2, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &cube, nullptr),
        D3D_OK);
    resources_.push_back(cube);
    IDirect3DSurface9* back = nullptr;
    IDirect3DSurface9* backDepth = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    resources_.push_back(back);
    ASSERT_EQ(device->GetDepthStencilSurface(&backDepth), D3D_OK);
    resources_.push_back(backDepth);
    for (UINT level = 0; level < 2; ++level) {
        const UINT edge = kEdge >> level;
        IDirect3DSurface9* depth = nullptr;
        ASSERT_EQ(
            device->CreateDepthStencilSurface(edge, edge, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, TRUE, &depth, nullptr),
            D3D_OK);
        resources_.push_back(depth);
        ASSERT_EQ(device->SetDepthStencilSurface(depth), D3D_OK);
        for (int face = 0; face < 6; ++face) {
            SCOPED_TRACE(testing::Message() << "face " << face << " level " << level);
            ASSERT_EQ(device->SetRenderTarget(0, FaceOf(cube, face, level)), D3D_OK);
            // Setting a target makes the viewport the whole target.
            D3DVIEWPORT9 viewport{};
            ASSERT_EQ(device->GetViewport(&viewport), D3D_OK);
            EXPECT_EQ(viewport.Width, edge);
            EXPECT_EQ(viewport.Height, edge);
            Clear(0xff000000);
            const float half = static_cast<float>(edge) / 2;
            for (int q = 0; q < 4; ++q) {
                const float x = (q & 1) * half, y = (q >> 1) * half;
                Rect(x, y, x + half, y + half, LevelTexel(face, level, q & 1, q >> 1), 0.5f);
            }
            Rect(0, 0, static_cast<float>(edge), static_cast<float>(edge), 0xffffffffu, 0.75f);
            EXPECT_EQ(static_cast<CubeTexture*>(cube)->face(static_cast<UINT>(face), level)->fresh, Fresh::GpuNewer);
            // GetRenderTargetData reads the face at its level, row 0 at the top.
            const auto drawn = ReadTarget();
            ASSERT_EQ(drawn.size(), static_cast<std::size_t>(edge) * edge);
            for (int q = 0; q < 4; ++q) {
                const UINT x = (q & 1) * edge / 2 + 1, y = (q >> 1) * edge / 2 + 1;
                EXPECT_EQ(drawn[y * edge + x], LevelTexel(face, level, q & 1, q >> 1)) << "quadrant " << q;
            }
        }
    }
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    ASSERT_EQ(device->SetDepthStencilSurface(backDepth), D3D_OK);
    device->SetTexture(0, cube);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    for (UINT level = 0; level < 2; ++level) {
        SCOPED_TRACE(testing::Message() << "level " << level);
        device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, level);
        ExpectEveryTexelOfEveryFace(
            [&](int cell, int face, int x, int y) {
                const Vec3 d = FaceDirection(face, x ? 0.5 : -0.5, y ? 0.5 : -0.5);
                Cell(cell % 8, cell / 8, static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z));
            },
            [&](int face, int x, int y) { return LevelTexel(face, level, x, y); });
    }
    device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 0);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
}

// Faces of a render-target cube in the copies: GetRenderTargetData reads what was drawn, StretchRect copies a
// face into a surface, a surface into a face and one face into another (on the GPU), ColorFill fills part of a
// face, and the faces are never lockable. Sampling afterwards shows every copy in its face, the right way round.
TEST_F(CubeVolumeDrawTest, RenderTargetFacesInCopiesAndFills) {
    constexpr UINT kEdge = 8;
    constexpr std::uint32_t kRed = 0xffff0000u, kGreen = 0xff00ff00u, kBlue = 0xff0000ffu, kYellow = 0xffffff00u;
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(
        device->CreateCubeTexture(kEdge, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &cube, nullptr),
        D3D_OK);
    resources_.push_back(cube);
    auto* own = static_cast<CubeTexture*>(cube);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    resources_.push_back(back);
    auto at = [](const std::vector<std::uint32_t>& pixels, UINT width, UINT x, UINT y) {
        return pixels.size() > static_cast<std::size_t>(y) * width + x ? pixels[y * width + x] : 0u;
    };

    // Drawn: +Y red with a green top-left quadrant.
    IDirect3DSurface9* up = FaceOf(cube, D3DCUBEMAP_FACE_POSITIVE_Y);
    ASSERT_EQ(device->SetRenderTarget(0, up), D3D_OK);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1.0f, 0);
    Rect(0, 0, 4, 4, kGreen, 0.5f);
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    EXPECT_EQ(own->face(D3DCUBEMAP_FACE_POSITIVE_Y, 0)->fresh, Fresh::GpuNewer);
    auto pixels = ReadSurface(up);
    EXPECT_EQ(at(pixels, kEdge, 1, 1), kGreen);
    EXPECT_EQ(at(pixels, kEdge, 6, 1), kRed);
    EXPECT_EQ(at(pixels, kEdge, 1, 6), kRed);
    EXPECT_EQ(own->face(D3DCUBEMAP_FACE_POSITIVE_Y, 0)->fresh, Fresh::Both);
    IDirect3DSurface9* small = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &small, nullptr), D3D_OK);
    resources_.push_back(small);
    EXPECT_EQ(device->GetRenderTargetData(up, small), D3DERR_INVALIDCALL);  // sizes must agree
    D3DLOCKED_RECT locked;
    EXPECT_EQ(up->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3DERR_INVALIDCALL);
    EXPECT_EQ(cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_Y, 0, &locked, nullptr, 0), D3DERR_INVALIDCALL);

    // Face to surface, scaled twice: the green quadrant covers the top-left 8 x 8.
    IDirect3DSurface9* wide = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &wide, nullptr),
              D3D_OK);
    resources_.push_back(wide);
    ASSERT_EQ(device->StretchRect(up, nullptr, wide, nullptr, D3DTEXF_POINT), D3D_OK);
    pixels = ReadSurface(wide);
    EXPECT_EQ(at(pixels, 16, 7, 7), kGreen);
    EXPECT_EQ(at(pixels, 16, 8, 7), kRed);
    EXPECT_EQ(at(pixels, 16, 7, 8), kRed);

    // Surface to face: -Z gets blue with a yellow top-right quadrant.
    IDirect3DSurface9* source = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(4, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &source, nullptr),
              D3D_OK);
    resources_.push_back(source);
    ASSERT_EQ(device->ColorFill(source, nullptr, kBlue), D3D_OK);
    const RECT topRight{2, 0, 4, 2};
    ASSERT_EQ(device->ColorFill(source, &topRight, kYellow), D3D_OK);
    IDirect3DSurface9* behind = FaceOf(cube, D3DCUBEMAP_FACE_NEGATIVE_Z);
    ASSERT_EQ(device->StretchRect(source, nullptr, behind, nullptr, D3DTEXF_POINT), D3D_OK);
    EXPECT_EQ(own->face(D3DCUBEMAP_FACE_NEGATIVE_Z, 0)->fresh, Fresh::GpuNewer);

    // Face to face: +Y's green quadrant into the bottom-left quadrant of -X, which is filled red first; and a
    // partial fill of +X.
    IDirect3DSurface9* left = FaceOf(cube, D3DCUBEMAP_FACE_NEGATIVE_X);
    ASSERT_EQ(device->ColorFill(left, nullptr, kRed), D3D_OK);
    const RECT topLeft{0, 0, 4, 4}, bottomLeft{0, 4, 4, 8};
    ASSERT_EQ(device->StretchRect(up, &topLeft, left, &bottomLeft, D3DTEXF_NONE), D3D_OK);
    IDirect3DSurface9* right = FaceOf(cube, D3DCUBEMAP_FACE_POSITIVE_X);
    ASSERT_EQ(device->ColorFill(right, nullptr, kBlue), D3D_OK);
    const RECT bottomRight{4, 4, 8, 8};
    ASSERT_EQ(device->ColorFill(right, &bottomRight, kYellow), D3D_OK);

    // What each face shows at its quadrant (x, y) when sampled.
    auto expected = [&](int face, int x, int y) -> std::uint32_t {
        switch (face) {
        case D3DCUBEMAP_FACE_POSITIVE_Y:
            return x == 0 && y == 0 ? kGreen : kRed;
        case D3DCUBEMAP_FACE_NEGATIVE_Z:
            return x == 1 && y == 0 ? kYellow : kBlue;
        case D3DCUBEMAP_FACE_NEGATIVE_X:
            return x == 0 && y == 1 ? kGreen : kRed;
        case D3DCUBEMAP_FACE_POSITIVE_X:
            return x == 1 && y == 1 ? kYellow : kBlue;
        default:
            return 0xff000000u;  // never drawn: cleared below
        }
    };
    for (int face : {D3DCUBEMAP_FACE_NEGATIVE_Y, D3DCUBEMAP_FACE_POSITIVE_Z}) {
        ASSERT_EQ(device->ColorFill(FaceOf(cube, face), nullptr, 0xff000000u), D3D_OK);
    }
    device->SetTexture(0, cube);
    ExpectEveryTexelOfEveryFace(
        [&](int cell, int face, int x, int y) {
            const Vec3 d = FaceDirection(face, x ? 0.5 : -0.5, y ? 0.5 : -0.5);
            Cell(cell % 8, cell / 8, static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z));
        },
        expected);
    // GetRenderTargetData reads the copies too.
    pixels = ReadSurface(behind);
    EXPECT_EQ(at(pixels, kEdge, 6, 1), kYellow);
    EXPECT_EQ(at(pixels, kEdge, 1, 1), kBlue);
    EXPECT_EQ(at(pixels, kEdge, 6, 6), kBlue);
}

// Drawing into a face while the same cube is set for sampling: the cube reads as nothing (black) in that draw
// rather than looping back into itself, and the other faces keep what they held.
TEST_F(CubeVolumeDrawTest, DrawingIntoAFaceOfTheSampledCubeReadsNothing) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(
        device->CreateCubeTexture(kSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &cube, nullptr),
        D3D_OK);
    resources_.push_back(cube);
    for (int face = 0; face < 6; ++face) {
        ASSERT_EQ(device->ColorFill(FaceOf(cube, face), nullptr, PatternTexel(face, 1, 1)), D3D_OK);
    }
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    resources_.push_back(back);
    device->SetTexture(0, cube);
    ASSERT_EQ(device->SetRenderTarget(0, FaceOf(cube, D3DCUBEMAP_FACE_POSITIVE_X)), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
    Cell(0, 0, 1.0f, 0.0f, 0.0f);   // reads +X itself
    Cell(1, 0, -1.0f, 0.0f, 0.0f);  // reads -X
    EXPECT_EQ(TakeGlErrors(device), 0u);
    auto pixels = ReadTarget();
    ExpectPixel(pixels, 4, 4, 0xff000000u);
    ExpectPixel(pixels, 12, 4, 0xff000000u);
    ExpectPixel(pixels, 20, 4, PatternTexel(D3DCUBEMAP_FACE_POSITIVE_X, 1, 1));

    // Drawn from the back buffer, the cube shows the face as drawn and the others untouched.
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    Clear(0xff808080u);
    const Vec3 drawn = FaceDirection(D3DCUBEMAP_FACE_POSITIVE_X, -0.875, -0.875);  // texel (4, 4) of +X
    Cell(0, 0, static_cast<float>(drawn.x), static_cast<float>(drawn.y), static_cast<float>(drawn.z));
    Cell(1, 0, 1.0f, 0.0f, 0.0f);  // the middle of +X: untouched
    Cell(2, 0, -1.0f, 0.0f, 0.0f);
    pixels = ReadTarget();
    ExpectPixel(pixels, 4, 4, 0xff000000u);
    ExpectPixel(pixels, 12, 4, PatternTexel(D3DCUBEMAP_FACE_POSITIVE_X, 1, 1));
    ExpectPixel(pixels, 20, 4, PatternTexel(D3DCUBEMAP_FACE_NEGATIVE_X, 1, 1));
}

// Memory written into a render target reaches its GPU copy, as for any texture: whole levels copied in by
// UpdateTexture before the target is first used are what it samples (2D and cube), and a write into the current
// target (a lock of a lockable target, UpdateSurface into a face) is kept under the draws that follow it.
TEST_F(CubeVolumeDrawTest, MemoryWrittenIntoRenderTargetsReachesTheGpu) {
    constexpr std::uint32_t kRed = 0xffff0000u, kGreen = 0xff00ff00u, kBlue = 0xff0000ffu;
    // UpdateTexture into targets that were never used.
    IDirect3DTexture9* flatSource = nullptr;
    IDirect3DTexture9* flat = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &flatSource, nullptr), D3D_OK);
    resources_.push_back(flatSource);
    ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &flat, nullptr),
              D3D_OK);
    resources_.push_back(flat);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(flatSource->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 8; ++y) {
        std::fill_n(reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch), 8,
                    kGreen);
    }
    flatSource->UnlockRect(0);
    ASSERT_EQ(device->UpdateTexture(flatSource, flat), D3D_OK);
    IDirect3DCubeTexture9* cubeSource = nullptr;
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &cubeSource, nullptr), D3D_OK);
    resources_.push_back(cubeSource);
    ASSERT_EQ(device->CreateCubeTexture(8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &cube, nullptr),
              D3D_OK);
    resources_.push_back(cube);
    for (int face = 0; face < 6; ++face) {
        ASSERT_EQ(cubeSource->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 8; ++y) {
            std::fill_n(reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch),
                        8, PatternTexel(face, 1, 1));
        }
        cubeSource->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
    }
    ASSERT_EQ(device->UpdateTexture(cubeSource, cube), D3D_OK);
    Clear(0xff000000u);
    device->SetTexture(0, flat);
    Cell(0, 0, 0.5f, 0.5f, 0.0f);
    device->SetTexture(0, cube);
    Cell(1, 0, 0.0f, 0.0f, -1.0f);
    Cell(2, 0, 0.0f, 1.0f, 0.0f);
    device->SetTexture(0, nullptr);
    auto pixels = ReadTarget();
    ExpectPixel(pixels, 4, 4, kGreen);
    ExpectPixel(pixels, 12, 4, PatternTexel(D3DCUBEMAP_FACE_NEGATIVE_Z, 1, 1));
    ExpectPixel(pixels, 20, 4, PatternTexel(D3DCUBEMAP_FACE_POSITIVE_Y, 1, 1));

    // Memory writes into the current target, then a draw beside them.
    IDirect3DSurface9* lockable = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &lockable, nullptr),
              D3D_OK);
    resources_.push_back(lockable);
    IDirect3DSurface9* patch = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(2, 2, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &patch, nullptr), D3D_OK);
    resources_.push_back(patch);
    ASSERT_EQ(patch->LockRect(&locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 2; ++y) {
        std::fill_n(reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch), 2,
                    kGreen);
    }
    patch->UnlockRect();
    struct Case {
        const char* name;
        IDirect3DSurface9* target;
        std::function<void()> write;  // green into the 2 x 2 pixels at the top left
    } cases[] = {
        {"lockable surface", lockable,
         [&] {
             ASSERT_EQ(lockable->LockRect(&locked, nullptr, 0), D3D_OK);
             for (int y = 0; y < 2; ++y) {
                 std::fill_n(
                     reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch), 2,
                     kGreen);
             }
             ASSERT_EQ(lockable->UnlockRect(), D3D_OK);
         }},
        {"cube face", FaceOf(cube, D3DCUBEMAP_FACE_NEGATIVE_Y),
         [&] {
             ASSERT_EQ(device->UpdateSurface(patch, nullptr, FaceOf(cube, D3DCUBEMAP_FACE_NEGATIVE_Y), nullptr),
                       D3D_OK);
         }},
    };
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    resources_.push_back(back);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(device->SetRenderTarget(0, c.target), D3D_OK);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1.0f, 0);
        Rect(4, 4, 6, 6, kBlue, 0.5f);  // the target is now attached and drawn on
        c.write();
        Rect(6, 6, 8, 8, kBlue, 0.5f);
        pixels = ReadSurface(c.target);
        ASSERT_EQ(pixels.size(), 64u);
        EXPECT_EQ(pixels[0], kGreen);
        EXPECT_EQ(pixels[1 * 8 + 1], kGreen);
        EXPECT_EQ(pixels[2 * 8 + 2], kRed);
        EXPECT_EQ(pixels[5 * 8 + 5], kBlue);
        EXPECT_EQ(pixels[7 * 8 + 7], kBlue);
    }
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
}

// StretchRect from a texture level or cube face that is no render target reads its texels as the sampler does:
// luminance, alpha and two-channel formats, and X8R8G8B8's unused byte, come out as Direct3D reads them, in 2D
// and cube textures alike.
TEST_F(CubeVolumeDrawTest, StretchRectReadsTextureFormatsAsTheSamplerDoes) {
    struct Case {
        D3DFORMAT format;
        std::vector<std::uint8_t> texel;  // one texel in memory
        std::uint32_t expected;           // read into an A8R8G8B8 target
    } cases[] = {
        {D3DFMT_L8, {0x80}, 0xff808080u},
        {D3DFMT_A8L8, {0x40, 0x80}, 0x80404040u},
        {D3DFMT_A8, {0x80}, 0x80000000u},
        {D3DFMT_X8R8G8B8, {0x30, 0x20, 0x10, 0x00}, 0xff102030u},
        {D3DFMT_A8R8G8B8, {0x30, 0x20, 0x10, 0x40}, 0x40102030u},
    };
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(4, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr),
              D3D_OK);
    resources_.push_back(target);
    for (const Case& c : cases) {
        for (bool cube : {false, true}) {
            SCOPED_TRACE(testing::Message() << FormatName(c.format) << (cube ? " cube face" : " texture level"));
            IDirect3DSurface9* source = nullptr;
            IUnknown* texture = nullptr;
            if (cube) {
                IDirect3DCubeTexture9* t = nullptr;
                ASSERT_EQ(device->CreateCubeTexture(4, 1, 0, c.format, D3DPOOL_DEFAULT, &t, nullptr), D3D_OK);
                ASSERT_EQ(t->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Y, 0, &source), D3D_OK);
                texture = t;
            } else {
                IDirect3DTexture9* t = nullptr;
                ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, c.format, D3DPOOL_DEFAULT, &t, nullptr), D3D_OK);
                ASSERT_EQ(t->GetSurfaceLevel(0, &source), D3D_OK);
                texture = t;
            }
            IDirect3DSurface9* plain = nullptr;
            ASSERT_EQ(device->CreateOffscreenPlainSurface(4, 4, c.format, D3DPOOL_SYSTEMMEM, &plain, nullptr), D3D_OK);
            D3DLOCKED_RECT locked;
            ASSERT_EQ(plain->LockRect(&locked, nullptr, 0), D3D_OK);
            for (int y = 0; y < 4; ++y) {
                for (int x = 0; x < 4; ++x) {
                    std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch + x * c.texel.size(),
                                c.texel.data(), c.texel.size());
                }
            }
            plain->UnlockRect();
            ASSERT_EQ(device->UpdateSurface(plain, nullptr, source, nullptr), D3D_OK);
            ASSERT_EQ(device->ColorFill(target, nullptr, 0x00000000u), D3D_OK);
            ASSERT_EQ(device->StretchRect(source, nullptr, target, nullptr, D3DTEXF_POINT), D3D_OK);
            const auto pixels = ReadSurface(target);
            ASSERT_EQ(pixels.size(), 16u);
            EXPECT_EQ(pixels[5], c.expected) << std::hex << pixels[5];
            plain->Release();
            source->Release();
            texture->Release();
        }
    }
}

}  // namespace
}  // namespace tarn::d3d9::test
