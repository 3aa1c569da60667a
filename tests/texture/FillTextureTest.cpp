// Procedural fills: the function sees every texel of every level once, at its centre, with its size; cube faces
// see the direction through the texel centre; values are encoded by the level's format, block formats included.
#include <gtest/gtest.h>

#include <vector>

#include "TextureDeviceFixture.h"

using namespace texture_test;

namespace {

// Writes the texel's coordinate into red and green and its size into blue and alpha, counting the calls.
void WINAPI CoordinateAndSize(D3DXVECTOR4* out, const D3DXVECTOR2* coord, const D3DXVECTOR2* size, void* data) {
    ++*static_cast<int*>(data);
    *out = D3DXVECTOR4(coord->x, coord->y, size->x, size->y);
}

void WINAPI Coordinate3(D3DXVECTOR4* out, const D3DXVECTOR3* coord, const D3DXVECTOR3* size, void* data) {
    ++*static_cast<int*>(data);
    *out = D3DXVECTOR4(coord->x, coord->y, coord->z, size->x + 10 * size->y + 100 * size->z);
}

void WINAPI Constant(D3DXVECTOR4* out, const D3DXVECTOR2*, const D3DXVECTOR2*, void* data) {
    *out = *static_cast<const D3DXVECTOR4*>(data);
}

Float4 TexelF(const D3DLOCKED_RECT& locked, UINT x, UINT y) {
    Float4 v;
    std::memcpy(&v, static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch + x * 16, 16);
    return v;
}

}  // namespace

TEST_F(TextureDevice, FillVisitsEveryTexelCentreOfEveryLevel) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 2, 0, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    ASSERT_EQ(texture->GetLevelCount(), 4u);  // 8 x 2, 4 x 1, 2 x 1, 1 x 1
    int calls = 0;
    ASSERT_EQ(D3DXFillTexture(texture, CoordinateAndSize, &calls), S_OK);
    EXPECT_EQ(calls, 16 + 4 + 2 + 1);
    for (UINT level = 0; level < 4; ++level) {
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        for (UINT y = 0; y < desc.Height; ++y) {
            for (UINT x = 0; x < desc.Width; ++x) {
                const float w = static_cast<float>(desc.Width), h = static_cast<float>(desc.Height);
                const Float4 expected = {(x + 0.5f) / w, (y + 0.5f) / h, 1 / w, 1 / h};
                EXPECT_EQ(TexelF(locked, x, y), expected) << "level " << level << " texel " << x << ", " << y;
            }
        }
        texture->UnlockRect(level);
    }
    texture->Release();
    EXPECT_EQ(D3DXFillTexture(nullptr, CoordinateAndSize, &calls), D3DERR_INVALIDCALL);
}

// Values are rounded into 8-bit channels and fitted into DXT1 blocks through the formats' encoders.
TEST_F(TextureDevice, FillEncodesThroughTheLevelFormat) {
    struct Case {
        D3DFORMAT format;
        D3DXVECTOR4 value;
        std::uint32_t expected;  // A8R8G8B8 read back through the format's decoder
    } const cases[] = {
        {D3DFMT_A8R8G8B8, {0.25f, 0.5f, 0.75f, 1.0f}, 0xFF4080BF},
        {D3DFMT_X8R8G8B8, {1.0f, 0.0f, 0.2f, 0.0f}, 0xFFFF0033},
        {D3DFMT_DXT1, {1.0f, 0.0f, 0.0f, 1.0f}, 0xFFFF0000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.format);
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(device->CreateTexture(8, 4, 1, 0, c.format, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
        D3DXVECTOR4 value = c.value;
        ASSERT_EQ(D3DXFillTexture(texture, Constant, &value), S_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        ImageDesc stored;
        stored.memory = static_cast<BYTE*>(locked.pBits);
        stored.format = c.format;
        stored.rowPitch = static_cast<UINT>(locked.Pitch);
        stored.box = {0, 0, 8, 4, 0, 1};
        MemoryImage back(D3DFMT_A8R8G8B8, 8, 4);
        ASSERT_EQ(BlitImage(back.Desc(), stored, D3DX_FILTER_NONE), S_OK);
        texture->UnlockRect(0);
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 8; ++x) EXPECT_EQ(back.Pixel32(x, y), c.expected) << x << ", " << y;
        texture->Release();
    }
}

// Each face's texels see the direction through their centre (the face's axis at +-1) and the texel's extent along
// the face's two axes.
TEST_F(TextureDevice, FillCubeGivesTheDirectionThroughEachTexelCentre) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(2, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &cube, nullptr), S_OK);
    int calls = 0;
    ASSERT_EQ(D3DXFillCubeTexture(cube, Coordinate3, &calls), S_OK);
    EXPECT_EQ(calls, 6 * 4);
    struct Case {
        D3DCUBEMAP_FACES face;
        UINT x, y;
        Float4 expected;  // direction, then size.x + 10 size.y + 100 size.z
    } const cases[] = {
        {D3DCUBEMAP_FACE_POSITIVE_X, 0, 0, {1, 0.5f, 0.5f, 110}},
        {D3DCUBEMAP_FACE_POSITIVE_X, 1, 0, {1, 0.5f, -0.5f, 110}},
        {D3DCUBEMAP_FACE_NEGATIVE_X, 1, 1, {-1, -0.5f, 0.5f, 110}},
        {D3DCUBEMAP_FACE_POSITIVE_Y, 0, 1, {-0.5f, 1, 0.5f, 101}},
        {D3DCUBEMAP_FACE_NEGATIVE_Y, 1, 1, {0.5f, -1, -0.5f, 101}},
        {D3DCUBEMAP_FACE_POSITIVE_Z, 1, 0, {0.5f, 0.5f, 1, 11}},
        {D3DCUBEMAP_FACE_NEGATIVE_Z, 1, 0, {-0.5f, 0.5f, -1, 11}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "face " << c.face << " texel " << c.x << ", " << c.y);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(cube->LockRect(c.face, 0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        EXPECT_EQ(TexelF(locked, c.x, c.y), c.expected);
        cube->UnlockRect(c.face, 0);
    }
    cube->Release();
    EXPECT_EQ(D3DXFillCubeTexture(nullptr, Coordinate3, &calls), D3DERR_INVALIDCALL);
}

TEST_F(TextureDevice, FillVolumeVisitsEveryTexelCentreOfEveryLevel) {
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device->CreateVolumeTexture(4, 2, 2, 2, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &volume, nullptr),
              S_OK);
    int calls = 0;
    ASSERT_EQ(D3DXFillVolumeTexture(volume, Coordinate3, &calls), S_OK);
    EXPECT_EQ(calls, 16 + 2);
    for (UINT level = 0; level < 2; ++level) {
        D3DVOLUME_DESC desc;
        volume->GetLevelDesc(level, &desc);
        D3DLOCKED_BOX locked;
        ASSERT_EQ(volume->LockBox(level, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        const float w = static_cast<float>(desc.Width), h = static_cast<float>(desc.Height),
                    d = static_cast<float>(desc.Depth);
        for (UINT z = 0; z < desc.Depth; ++z)
            for (UINT y = 0; y < desc.Height; ++y)
                for (UINT x = 0; x < desc.Width; ++x) {
                    Float4 v;
                    std::memcpy(
                        &v,
                        static_cast<const BYTE*>(locked.pBits) + z * locked.SlicePitch + y * locked.RowPitch + x * 16,
                        16);
                    const Float4 expected = {(x + 0.5f) / w, (y + 0.5f) / h, (z + 0.5f) / d, 1 / w + 10 / h + 100 / d};
                    EXPECT_EQ(v, expected) << "level " << level << " texel " << x << ", " << y << ", " << z;
                }
        volume->UnlockBox(level);
    }
    volume->Release();
    EXPECT_EQ(D3DXFillVolumeTexture(nullptr, Coordinate3, &calls), D3DERR_INVALIDCALL);
}
