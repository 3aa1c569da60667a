// Memory-backed resources on the null backend: pitches and block rows of every format the texture library can
// produce, sub-rectangle locks, pool and usage rules, copies between resources, render-target bindings and leak
// reports, and the same for cube and volume textures (faces, volume levels, box locks). The reference pixel codec
// is checked here too.
#include <cstring>
#include <random>
#include <string>

#include "D3D9TestSupport.h"
#include "DeviceObject.h"
#include "Formats.h"

namespace tarn::d3d9::test {
namespace {

using ResourceTest = DeviceTest;

struct FormatCase {
    D3DFORMAT format;
    UINT bytesPerBlock, blockWidth, blockHeight;
};

// The texture library's format table (its internal AL16 and R16 never reach the device).
const FormatCase kFormats[] = {
    {D3DFMT_R8G8B8, 3, 1, 1},        {D3DFMT_A8R8G8B8, 4, 1, 1},     {D3DFMT_X8R8G8B8, 4, 1, 1},
    {D3DFMT_R5G6B5, 2, 1, 1},        {D3DFMT_X1R5G5B5, 2, 1, 1},     {D3DFMT_A8P8, 2, 1, 1},
    {D3DFMT_P8, 1, 1, 1},            {D3DFMT_A1R5G5B5, 2, 1, 1},     {D3DFMT_A4R4G4B4, 2, 1, 1},
    {D3DFMT_R3G3B2, 1, 1, 1},        {D3DFMT_A8, 1, 1, 1},           {D3DFMT_A8R3G3B2, 2, 1, 1},
    {D3DFMT_X4R4G4B4, 2, 1, 1},      {D3DFMT_A2B10G10R10, 4, 1, 1},  {D3DFMT_A8B8G8R8, 4, 1, 1},
    {D3DFMT_X8B8G8R8, 4, 1, 1},      {D3DFMT_G16R16, 4, 1, 1},       {D3DFMT_A2R10G10B10, 4, 1, 1},
    {D3DFMT_A16B16G16R16, 8, 1, 1},  {D3DFMT_L8, 1, 1, 1},           {D3DFMT_A8L8, 2, 1, 1},
    {D3DFMT_A4L4, 1, 1, 1},          {D3DFMT_L16, 2, 1, 1},          {D3DFMT_V8U8, 2, 1, 1},
    {D3DFMT_L6V5U5, 2, 1, 1},        {D3DFMT_X8L8V8U8, 4, 1, 1},     {D3DFMT_Q8W8V8U8, 4, 1, 1},
    {D3DFMT_V16U16, 4, 1, 1},        {D3DFMT_A2W10V10U10, 4, 1, 1},  {D3DFMT_Q16W16V16U16, 8, 1, 1},
    {D3DFMT_CxV8U8, 2, 1, 1},        {D3DFMT_UYVY, 4, 2, 1},         {D3DFMT_R8G8_B8G8, 4, 2, 1},
    {D3DFMT_YUY2, 4, 2, 1},          {D3DFMT_G8R8_G8B8, 4, 2, 1},    {D3DFMT_DXT1, 8, 4, 4},
    {D3DFMT_DXT2, 16, 4, 4},         {D3DFMT_DXT3, 16, 4, 4},        {D3DFMT_DXT4, 16, 4, 4},
    {D3DFMT_DXT5, 16, 4, 4},         {D3DFMT_D16_LOCKABLE, 2, 1, 1}, {D3DFMT_D32F_LOCKABLE, 4, 1, 1},
    {D3DFMT_D32, 4, 1, 1},           {D3DFMT_D15S1, 2, 1, 1},        {D3DFMT_D24S8, 4, 1, 1},
    {D3DFMT_D16, 2, 1, 1},           {D3DFMT_D24X8, 4, 1, 1},        {D3DFMT_D24X4S4, 4, 1, 1},
    {D3DFMT_D24FS8, 4, 1, 1},        {D3DFMT_R16F, 2, 1, 1},         {D3DFMT_G16R16F, 4, 1, 1},
    {D3DFMT_A16B16G16R16F, 8, 1, 1}, {D3DFMT_R32F, 4, 1, 1},         {D3DFMT_G32R32F, 8, 1, 1},
    {D3DFMT_A32B32G32R32F, 16, 1, 1},
};

// An odd-sized (10 x 7, then 5 x 3) texture in every format: pitch rounded to 4 bytes over whole blocks, block
// rows for DXT, pairs for the YUY2 family; a sub-rectangle lock points into the same memory; misaligned
// rectangles are refused; bytes written come back unchanged.
TEST_F(ResourceTest, LockRoundTripsForEveryFormat) {
    for (const FormatCase& c : kFormats) {
        SCOPED_TRACE(FormatName(c.format));
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(device->CreateTexture(10, 7, 2, 0, c.format, D3DPOOL_SCRATCH, &t, nullptr), D3D_OK);
        for (UINT level = 0; level < 2; ++level) {
            const UINT w = level ? 5 : 10, h = level ? 3 : 7;
            D3DSURFACE_DESC desc;
            ASSERT_EQ(t->GetLevelDesc(level, &desc), D3D_OK);
            EXPECT_EQ(desc.Width, w);
            EXPECT_EQ(desc.Height, h);
            EXPECT_EQ(desc.Format, c.format);
            EXPECT_EQ(desc.Pool, D3DPOOL_SCRATCH);
            const UINT blocksAcross = (w + c.blockWidth - 1) / c.blockWidth;
            const UINT blockRows = (h + c.blockHeight - 1) / c.blockHeight;
            const INT pitch = static_cast<INT>((blocksAcross * c.bytesPerBlock + 3) / 4 * 4);
            D3DLOCKED_RECT whole;
            ASSERT_EQ(t->LockRect(level, &whole, nullptr, 0), D3D_OK);
            EXPECT_EQ(whole.Pitch, pitch);
            auto* bytes = static_cast<std::uint8_t*>(whole.pBits);
            for (UINT row = 0; row < blockRows; ++row) {
                for (UINT i = 0; i < blocksAcross * c.bytesPerBlock; ++i) {
                    bytes[row * pitch + i] = static_cast<std::uint8_t>(row * 31 + i * 7 + level);
                }
            }
            EXPECT_EQ(t->LockRect(level, &whole, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
            ASSERT_EQ(t->UnlockRect(level), D3D_OK);
            EXPECT_EQ(t->UnlockRect(level), D3DERR_INVALIDCALL);

            // A block-aligned sub-rectangle reaching the level's edge.
            const RECT sub{static_cast<LONG>(c.blockWidth), static_cast<LONG>(c.blockHeight), static_cast<LONG>(w),
                           static_cast<LONG>(h)};
            if (sub.left < sub.right && sub.top < sub.bottom) {
                D3DLOCKED_RECT part;
                ASSERT_EQ(t->LockRect(level, &part, &sub, D3DLOCK_READONLY), D3D_OK);
                EXPECT_EQ(part.Pitch, pitch);
                EXPECT_EQ(static_cast<std::uint8_t*>(part.pBits) - bytes,
                          static_cast<std::ptrdiff_t>(pitch + c.bytesPerBlock));
                EXPECT_EQ(*static_cast<std::uint8_t*>(part.pBits),
                          static_cast<std::uint8_t>(31 + c.bytesPerBlock * 7 + level));
                ASSERT_EQ(t->UnlockRect(level), D3D_OK);
            }
            if (c.blockWidth > 1) {
                const RECT misaligned{1, 0, static_cast<LONG>(w), static_cast<LONG>(c.blockHeight)};
                D3DLOCKED_RECT part;
                EXPECT_EQ(t->LockRect(level, &part, &misaligned, 0), D3DERR_INVALIDCALL);
            }
            D3DLOCKED_RECT again;
            ASSERT_EQ(t->LockRect(level, &again, nullptr, D3DLOCK_READONLY), D3D_OK);
            for (UINT row = 0; row < blockRows; ++row) {
                for (UINT i = 0; i < blocksAcross * c.bytesPerBlock; ++i) {
                    ASSERT_EQ(static_cast<std::uint8_t*>(again.pBits)[row * pitch + i],
                              static_cast<std::uint8_t>(row * 31 + i * 7 + level));
                }
            }
            t->UnlockRect(level);
        }
        const RECT outside{0, 0, 11, 7};
        D3DLOCKED_RECT locked;
        EXPECT_EQ(t->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);
        EXPECT_EQ(t->LockRect(2, &locked, nullptr, 0), D3DERR_INVALIDCALL);
        EXPECT_EQ(t->Release(), 0u);
    }
}

// New levels and buffers read as zero even where their memory is recycled from a resource that held other
// bytes; only a discarding lock of a whole level may hand out memory that was never written, and what is
// written through it is what reads back.
TEST_F(ResourceTest, FreshResourcesReadAsZeroUntilWritten) {
    constexpr UINT kEdge = 64;
    constexpr std::size_t kLevelBytes = kEdge * kEdge * 4;
    // Leaves freed memory of the right size behind, full of 0xAB.
    auto dirtyTheHeap = [&] {
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(device->CreateTexture(kEdge, kEdge, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
        std::memset(locked.pBits, 0xAB, kLevelBytes);
        t->UnlockRect(0);
        t->Release();
    };
    auto allZero = [](const void* bytes, std::size_t n) {
        const auto* p = static_cast<const std::uint8_t*>(bytes);
        for (std::size_t i = 0; i < n; ++i)
            if (p[i] != 0) return false;
        return true;
    };
    struct Case {
        const char* name;
        bool subRectangle;  // lock the lower half only
        DWORD flags;
    } cases[] = {
        {"read-only lock", false, D3DLOCK_READONLY},
        {"plain lock", false, 0},
        {"discarding lock of a sub-rectangle", true, D3DLOCK_DISCARD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dirtyTheHeap();
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(device->CreateTexture(kEdge, kEdge, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        const RECT lower{0, kEdge / 2, kEdge, kEdge};
        D3DLOCKED_RECT locked;
        ASSERT_EQ(t->LockRect(0, &locked, c.subRectangle ? &lower : nullptr, c.flags), D3D_OK);
        EXPECT_TRUE(allZero(locked.pBits, c.subRectangle ? kLevelBytes / 2 : kLevelBytes));
        t->UnlockRect(0);
        ASSERT_EQ(t->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        EXPECT_TRUE(allZero(locked.pBits, kLevelBytes));
        t->UnlockRect(0);
        t->Release();
    }

    // Written through a discarding lock of the whole level: the written bytes read back.
    dirtyTheHeap();
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(kEdge, kEdge, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
    for (std::size_t i = 0; i < kLevelBytes; ++i) static_cast<std::uint8_t*>(locked.pBits)[i] = static_cast<std::uint8_t>(i * 13);
    t->UnlockRect(0);
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (std::size_t i = 0; i < kLevelBytes; ++i)
        ASSERT_EQ(static_cast<std::uint8_t*>(locked.pBits)[i], static_cast<std::uint8_t>(i * 13)) << i;
    t->UnlockRect(0);
    t->Release();

    // Vertex buffers too.
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(kLevelBytes, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    std::memset(data, 0xAB, kLevelBytes);
    vb->Unlock();
    vb->Release();
    ASSERT_EQ(device->CreateVertexBuffer(kLevelBytes, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    EXPECT_TRUE(allZero(data, kLevelBytes));
    vb->Unlock();
    vb->Release();
}

TEST_F(ResourceTest, PoolAndUsageRules) {
    struct Case {
        D3DPOOL pool;
        DWORD usage;
        HRESULT create;
        bool lockable;
    } cases[] = {
        {D3DPOOL_MANAGED, 0, D3D_OK, true},
        {D3DPOOL_SYSTEMMEM, 0, D3D_OK, true},
        {D3DPOOL_SCRATCH, 0, D3D_OK, true},
        {D3DPOOL_DEFAULT, 0, D3D_OK, false},
        {D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC, D3D_OK, true},
        {D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET, D3D_OK, false},
        {D3DPOOL_MANAGED, D3DUSAGE_RENDERTARGET, D3DERR_INVALIDCALL, false},
        {D3DPOOL_MANAGED, D3DUSAGE_DYNAMIC, D3DERR_INVALIDCALL, false},
        {D3DPOOL_SCRATCH, D3DUSAGE_RENDERTARGET, D3DERR_INVALIDCALL, false},
        {static_cast<D3DPOOL>(7), 0, D3DERR_INVALIDCALL, false},
        {D3DPOOL_MANAGED, D3DUSAGE_DEPTHSTENCIL, D3DERR_INVALIDCALL, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "pool " << c.pool << " usage " << c.usage);
        IDirect3DTexture9* t = reinterpret_cast<IDirect3DTexture9*>(1);
        ASSERT_EQ(device->CreateTexture(16, 16, 0, c.usage, D3DFMT_A8R8G8B8, c.pool, &t, nullptr), c.create);
        if (FAILED(c.create)) {
            EXPECT_EQ(t, nullptr);
            continue;
        }
        EXPECT_EQ(t->GetLevelCount(), 5u);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), c.lockable ? D3D_OK : D3DERR_INVALIDCALL);
        if (c.lockable) t->UnlockRect(0);
        IDirect3DSurface9* level = nullptr;
        ASSERT_EQ(t->GetSurfaceLevel(4, &level), D3D_OK);
        EXPECT_EQ(level->LockRect(&locked, nullptr, 0), c.lockable ? D3D_OK : D3DERR_INVALIDCALL);
        if (c.lockable) level->UnlockRect();
        // The level holds a reference on its texture.
        IDirect3DTexture9* container = nullptr;
        ASSERT_EQ(level->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container)), D3D_OK);
        EXPECT_EQ(container, t);
        container->Release();
        level->Release();
        EXPECT_EQ(t->Release(), 0u);
    }
    // Invalid arguments are refused, never crash.
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(device->CreateTexture(0, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 16, 6, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, static_cast<D3DFORMAT>(12345), D3DPOOL_MANAGED, &t, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(6, 6, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    // Sizes whose memory cannot be had are refused, not attempted.
    EXPECT_EQ(device->CreateTexture(0x40000000, 0x40000000, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_SCRATCH, &t, nullptr),
              E_OUTOFMEMORY);
    EXPECT_EQ(t, nullptr);
    IDirect3DSurface9* huge = nullptr;
    EXPECT_EQ(device->CreateOffscreenPlainSurface(0xffffffffu, 0xffffffffu, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &huge,
                                                  nullptr),
              E_OUTOFMEMORY);
    EXPECT_EQ(device->CreateRenderTarget(1u << 20, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &huge, nullptr),
              D3DERR_INVALIDCALL);

    // Buffers lock in every pool, with ranges checked.
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    void* data = nullptr;
    EXPECT_EQ(vb->Lock(60, 8, &data, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(vb->Lock(16, 0, &data, 0), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    D3DVERTEXBUFFER_DESC vdesc;
    ASSERT_EQ(vb->GetDesc(&vdesc), D3D_OK);
    EXPECT_EQ(vdesc.Size, 64u);
    EXPECT_EQ(vdesc.FVF, static_cast<DWORD>(D3DFVF_XYZ));
    vb->Release();
    IDirect3DIndexBuffer9* ib = nullptr;
    EXPECT_EQ(device->CreateIndexBuffer(64, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &ib, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateIndexBuffer(0xfffffff0u, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(device->CreateVertexBuffer(8, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &vb, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(ResourceTest, UpdateTextureRules) {
    auto make = [&](UINT size, UINT levels, D3DFORMAT format, D3DPOOL pool) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(size, size, levels, 0, format, pool, &t, nullptr), D3D_OK);
        return t;
    };
    IDirect3DTexture9* src = make(16, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM);  // 16 .. 1, 5 levels
    IDirect3DTexture9* dst = make(16, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    IDirect3DTexture9* smaller = make(8, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    IDirect3DTexture9* larger = make(32, 1, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT);
    IDirect3DTexture9* managed = make(16, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    IDirect3DTexture9* otherFormat = make(16, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT);
    for (UINT level = 0; level < 5; ++level) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(src->LockRect(level, &locked, nullptr, 0), D3D_OK);
        std::memset(locked.pBits, static_cast<int>(0x10 + level), static_cast<std::size_t>(locked.Pitch));
        src->UnlockRect(level);
    }
    EXPECT_EQ(device->UpdateTexture(src, dst), D3D_OK);
    EXPECT_EQ(device->UpdateTexture(src, smaller), D3D_OK);  // the source's extra top level is skipped
    EXPECT_EQ(device->UpdateTexture(src, larger), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(src, managed), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(managed, dst), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(src, otherFormat), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(nullptr, dst), D3DERR_INVALIDCALL);
    // UpdateSurface: system memory to the default pool only, the rectangle inside both surfaces.
    IDirect3DSurface9* srcLevel = nullptr;
    IDirect3DSurface9* dstLevel = nullptr;
    src->GetSurfaceLevel(1, &srcLevel);
    smaller->GetSurfaceLevel(0, &dstLevel);
    const RECT r{0, 0, 4, 4};
    const POINT at{4, 4};
    EXPECT_EQ(device->UpdateSurface(srcLevel, &r, dstLevel, &at), D3D_OK);
    const POINT outside{6, 6};
    EXPECT_EQ(device->UpdateSurface(srcLevel, &r, dstLevel, &outside), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateSurface(dstLevel, nullptr, srcLevel, nullptr), D3DERR_INVALIDCALL);  // wrong direction
    srcLevel->Release();
    dstLevel->Release();
    for (IDirect3DTexture9* t : {src, dst, smaller, larger, managed, otherFormat}) t->Release();
}

TEST_F(ResourceTest, RenderTargetBindingsAndCopies) {
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, kSize);
    EXPECT_EQ(desc.Usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
    IDirect3DSurface9* again = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &again), D3D_OK);
    EXPECT_EQ(again, back);
    again->Release();

    IDirect3DTexture9* rt = nullptr;
    ASSERT_EQ(device->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &rt, nullptr),
              D3D_OK);
    IDirect3DSurface9* level = nullptr;
    rt->GetSurfaceLevel(0, &level);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    D3DVIEWPORT9 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 32u);  // setting a target resets the viewport to it
    EXPECT_EQ(device->SetRenderTarget(1, level), D3DERR_INVALIDCALL);
    IDirect3DSurface9* plain = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(32, 32, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, nullptr), D3D_OK);
    EXPECT_EQ(device->SetRenderTarget(0, plain), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    // The texture stays alive only through our references once unbound.
    level->Release();

    // StretchRect between default-pool surfaces scales and converts; system memory is refused.
    IDirect3DSurface9* source = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(2, 2, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &source, nullptr), D3D_OK);
    ASSERT_EQ(device->ColorFill(source, nullptr, 0xffff0000), D3D_OK);
    rt->GetSurfaceLevel(0, &level);
    ASSERT_EQ(device->StretchRect(source, nullptr, level, nullptr, D3DTEXF_POINT), D3D_OK);
    EXPECT_EQ(device->StretchRect(plain, nullptr, level, nullptr, D3DTEXF_POINT), D3DERR_INVALIDCALL);
    const RECT bad{0, 0, 64, 64};
    EXPECT_EQ(device->StretchRect(source, &bad, level, nullptr, D3DTEXF_POINT), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->GetRenderTargetData(level, plain), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(plain->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<std::uint32_t*>(locked.pBits) & 0xffffff, 0xff0000u);
    plain->UnlockRect();
    level->Release();
    source->Release();
    plain->Release();
    rt->Release();
    back->Release();
}

// Resources of another device are refused wherever they would be bound or copied.
TEST_F(ResourceTest, ResourcesOfAnotherDeviceAreRefused) {
    IDirect3DDevice9* other = CreateTestDevice(d3d, 8, 8);
    ASSERT_NE(other, nullptr);
    IDirect3DTexture9* texture = nullptr;
    IDirect3DTexture9* staging = nullptr;
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(other->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &staging, nullptr), D3D_OK);
    ASSERT_EQ(other->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(other->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    ASSERT_EQ(other->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr), D3D_OK);
    EXPECT_EQ(device->SetTexture(0, texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetStreamSource(0, vb, 0, 16), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetIndices(ib), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(0, target), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(staging, texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->ColorFill(target, nullptr, 0), D3DERR_INVALIDCALL);
    for (IUnknown* u : std::initializer_list<IUnknown*>{texture, staging, vb, ib, target}) u->Release();
    EXPECT_EQ(LiveResourceCount(other), 0u);
    other->Release();
}

TEST_F(ResourceTest, LeakReportNamesWhatIsStillAlive) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 4, 1, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    EXPECT_EQ(LiveResourceCount(device), 2u);
    const std::string text = DescribeLiveResources(device);
    EXPECT_NE(text.find("texture DXT5 8x4, 1 level, MANAGED pool"), std::string::npos) << text;
    EXPECT_NE(text.find("index buffer 12 bytes, INDEX16"), std::string::npos) << text;
    ib->Release();
    // Destroying the device with the texture still held reports it; the texture survives and can be released.
    testing::internal::CaptureStderr();
    EXPECT_EQ(device->Release(), 0u);
    const std::string report = testing::internal::GetCapturedStderr();
    device = nullptr;
    EXPECT_NE(report.find("1 resource still alive"), std::string::npos) << report;
    EXPECT_NE(report.find("texture DXT5 8x4"), std::string::npos) << report;
    IDirect3DDevice9* owner = reinterpret_cast<IDirect3DDevice9*>(1);
    EXPECT_EQ(t->GetDevice(&owner), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->Release(), 0u);

    // Muted, the report is silent.
    DebugSetMute(TRUE);
    EXPECT_TRUE(Muted());
    IDirect3DDevice9* second = CreateTestDevice(d3d, 8, 8, D3DFMT_UNKNOWN, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(second->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    testing::internal::CaptureStderr();
    second->Release();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    DebugSetMute(FALSE);
    t->Release();
}

// Decoding then encoding then decoding again changes nothing, for random bytes of every encodable format.
TEST(FormatCodec, EncodeIsTheInverseOfDecode) {
    std::mt19937 random(7);
    for (const FormatCase& c : kFormats) {
        if (!CanEncode(c.format)) continue;
        SCOPED_TRACE(FormatName(c.format));
        const UINT width = 13;
        std::vector<std::uint8_t> bytes(width * c.bytesPerBlock), again(bytes.size());
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
        if (c.format == D3DFMT_R16F || c.format == D3DFMT_G16R16F || c.format == D3DFMT_A16B16G16R16F ||
            c.format == D3DFMT_R32F || c.format == D3DFMT_G32R32F || c.format == D3DFMT_A32B32G32R32F) {
            for (std::size_t i = 1; i < bytes.size(); i += 2) bytes[i] &= 0x3f;  // finite values only
        }
        std::vector<float> first(width * 4), second(width * 4);
        DecodeRow(c.format, bytes.data(), width, first.data());
        EncodeRow(c.format, first.data(), width, again.data());
        DecodeRow(c.format, again.data(), width, second.data());
        for (std::size_t i = 0; i < first.size(); ++i) ASSERT_FLOAT_EQ(first[i], second[i]) << i;
    }
}

TEST(FormatCodec, KnownValues) {
    struct Case {
        D3DFORMAT format;
        std::vector<std::uint8_t> bytes;
        float r, g, b, a;
    } cases[] = {
        {D3DFMT_A8R8G8B8, {0x00, 0x40, 0xff, 0x80}, 1.0f, 64 / 255.0f, 0.0f, 128 / 255.0f},
        {D3DFMT_X8R8G8B8, {0x00, 0x40, 0xff, 0x00}, 1.0f, 64 / 255.0f, 0.0f, 1.0f},
        {D3DFMT_R5G6B5, {0x00, 0xf8}, 1.0f, 0.0f, 0.0f, 1.0f},
        {D3DFMT_A1R5G5B5, {0x1f, 0x80}, 0.0f, 0.0f, 1.0f, 1.0f},
        {D3DFMT_L8, {0x80}, 128 / 255.0f, 128 / 255.0f, 128 / 255.0f, 1.0f},
        {D3DFMT_A8, {0x80}, 0.0f, 0.0f, 0.0f, 128 / 255.0f},
        {D3DFMT_A8L8, {0xff, 0x00}, 1.0f, 1.0f, 1.0f, 0.0f},
        {D3DFMT_V8U8, {0x7f, 0x81}, 1.0f, -1.0f, 1.0f, 1.0f},
        {D3DFMT_YUY2, {235, 128, 235, 128}, 1.0f, 1.0f, 1.0f, 1.0f},
        {D3DFMT_UYVY, {128, 16, 128, 16}, 0.0f, 0.0f, 0.0f, 1.0f},
        {D3DFMT_R8G8_B8G8, {0x10, 0xff, 0x20, 0x00}, 1.0f, 0x10 / 255.0f, 0.0f, 1.0f},
        {D3DFMT_G8R8_G8B8, {0xff, 0x10, 0x00, 0x20}, 1.0f, 0x10 / 255.0f, 0.0f, 1.0f},
        {D3DFMT_R16F, {0x00, 0x3c}, 1.0f, 1.0f, 1.0f, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(FormatName(c.format));
        float out[8];
        DecodeRow(c.format, c.bytes.data(), 1, out);
        EXPECT_NEAR(out[0], c.r, 1e-3f);
        EXPECT_NEAR(out[1], c.g, 1e-3f);
        EXPECT_NEAR(out[2], c.b, 1e-3f);
        EXPECT_NEAR(out[3], c.a, 1e-3f);
    }
}

// Cube and volume textures: pool, usage and format rules per profile, faces and volume levels with their
// containers and reference counts, box locks with their pitches and block rules, UpdateTexture, and binding them
// to samplers.

using CubeVolumeTest = DeviceTest;

template <class T>
T* Sentinel() {
    return reinterpret_cast<T*>(1);
}

TEST_F(CubeVolumeTest, CubePoolUsageAndFormatRules) {
    struct Case {
        UINT edge, levels;
        DWORD usage;
        D3DFORMAT format;
        D3DPOOL pool;
        HRESULT create;
        UINT levelCount;  // when created
        bool lockable;
    } cases[] = {
        {16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3D_OK, 5, true},
        {16, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, D3D_OK, 2, true},
        {16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, D3D_OK, 5, true},
        {16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3D_OK, 1, false},
        {16, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3D_OK, 1, true},
        {16, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3D_OK, 1, true},
        {16, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, D3D_OK, 5, true},  // block-compressed cube maps
        {8, 0, 0, D3DFMT_DXT5, D3DPOOL_DEFAULT, D3D_OK, 4, false},
        {12, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3D_OK, 4, true},          // the default profile has no pow2 rule
        {6, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},  // not whole blocks
        {6, 1, 0, D3DFMT_DXT1, D3DPOOL_SCRATCH, D3D_OK, 1, true},               // scratch ignores the caps
        // Render-target cubes: default pool only, render-target formats only, never lockable.
        {16, 0, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, D3D_OK, 5, false},
        {16, 2, D3DUSAGE_RENDERTARGET, D3DFMT_A16B16G16R16F, D3DPOOL_DEFAULT, D3D_OK, 2, false},
        {16, 0, D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3D_OK, 1, false},
        {16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, D3DERR_INVALIDCALL, 0, false},
        {16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, D3DERR_INVALIDCALL, 0, false},
        {16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_L8, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL, 0, false},
        {16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_DXT1, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL, 0, false},
        {16, 1, D3DUSAGE_DEPTHSTENCIL, D3DFMT_D16, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL, 0, false},
        {16, 1, 0, D3DFMT_D16, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {16, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {16, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, D3DERR_INVALIDCALL, 0, false},
        {16, 6, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},  // more levels than the chain
        {0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {16, 1, 0, D3DFMT_YUY2, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {16, 1, 0, D3DFMT_INDEX16, D3DPOOL_SCRATCH, D3DERR_INVALIDCALL, 0, false},
        {16, 1, 0, static_cast<D3DFORMAT>(12345), D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {16, 1, 0, D3DFMT_A8R8G8B8, static_cast<D3DPOOL>(7), D3DERR_INVALIDCALL, 0, false},
        {0x10000, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, E_OUTOFMEMORY, 0, false},  // 6 x 16 GiB
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.edge << " levels " << c.levels << " usage " << c.usage << " "
                                        << FormatName(c.format) << " pool " << c.pool);
        IDirect3DCubeTexture9* t = Sentinel<IDirect3DCubeTexture9>();
        ASSERT_EQ(device->CreateCubeTexture(c.edge, c.levels, c.usage, c.format, c.pool, &t, nullptr), c.create);
        if (FAILED(c.create)) {
            EXPECT_EQ(t, nullptr);
            continue;
        }
        EXPECT_EQ(t->GetType(), D3DRTYPE_CUBETEXTURE);
        ASSERT_EQ(t->GetLevelCount(), c.levelCount);
        D3DSURFACE_DESC desc;
        ASSERT_EQ(t->GetLevelDesc(c.levelCount - 1, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, std::max(1u, c.edge >> (c.levelCount - 1)));
        EXPECT_EQ(desc.Height, desc.Width);
        EXPECT_EQ(desc.Format, c.format);
        EXPECT_EQ(desc.Pool, c.pool);
        EXPECT_EQ(desc.Type, D3DRTYPE_SURFACE);
        EXPECT_EQ(desc.Usage, c.usage);
        EXPECT_EQ(t->GetLevelDesc(c.levelCount, &desc), D3DERR_INVALIDCALL);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(t->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &locked, nullptr, 0),
                  c.lockable ? D3D_OK : D3DERR_INVALIDCALL);
        if (c.lockable) {
            EXPECT_EQ(t->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0), D3D_OK);
        }
        EXPECT_EQ(t->Release(), 0u);
    }
    EXPECT_EQ(device->CreateCubeTexture(16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr, nullptr),
              D3DERR_INVALIDCALL);
}

TEST_F(CubeVolumeTest, VolumePoolUsageAndFormatRules) {
    struct Case {
        UINT width, height, depth, levels;
        DWORD usage;
        D3DFORMAT format;
        D3DPOOL pool;
        HRESULT create;
        UINT levelCount;
        bool lockable;
    } cases[] = {
        {16, 8, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3D_OK, 5, true},  // the largest side sets the chain
        {4, 4, 32, 0, 0, D3DFMT_L8, D3DPOOL_SYSTEMMEM, D3D_OK, 6, true},
        {5, 3, 7, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, D3D_OK, 3, true},
        {8, 8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3D_OK, 1, false},
        {8, 8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3D_OK, 1, true},
        {8, 8, 8, 0, 0, D3DFMT_A16B16G16R16F, D3DPOOL_MANAGED, D3D_OK, 4, true},
        // Block formats exist in memory only: the device cannot sample volumes of them.
        {8, 8, 3, 0, 0, D3DFMT_DXT1, D3DPOOL_SCRATCH, D3D_OK, 4, true},
        {8, 8, 3, 0, 0, D3DFMT_DXT3, D3DPOOL_SYSTEMMEM, D3D_OK, 4, true},
        {8, 8, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {8, 8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL, 0, false},
        {8, 8, 8, 1, D3DUSAGE_DEPTHSTENCIL, D3DFMT_D16, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL, 0, false},
        {8, 8, 8, 1, 0, D3DFMT_D16, D3DPOOL_SCRATCH, D3DERR_INVALIDCALL, 0, false},
        {8, 8, 8, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {8, 8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {8, 8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, D3DERR_INVALIDCALL, 0, false},
        {8, 8, 8, 5, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {8, 8, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {0, 8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {8, 8, 8, 1, 0, D3DFMT_UYVY, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},
        {4096, 4096, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL, 0, false},  // past the extent
        {4096, 4096, 4096, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_SCRATCH, E_OUTOFMEMORY, 0, false},
        {0xffffffffu, 0xffffffffu, 0xffffffffu, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, E_OUTOFMEMORY, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.depth << " levels " << c.levels
                                        << " usage " << c.usage << " " << FormatName(c.format) << " pool " << c.pool);
        IDirect3DVolumeTexture9* t = Sentinel<IDirect3DVolumeTexture9>();
        ASSERT_EQ(
            device->CreateVolumeTexture(c.width, c.height, c.depth, c.levels, c.usage, c.format, c.pool, &t, nullptr),
            c.create);
        if (FAILED(c.create)) {
            EXPECT_EQ(t, nullptr);
            continue;
        }
        EXPECT_EQ(t->GetType(), D3DRTYPE_VOLUMETEXTURE);
        ASSERT_EQ(t->GetLevelCount(), c.levelCount);
        const UINT last = c.levelCount - 1;
        D3DVOLUME_DESC desc;
        ASSERT_EQ(t->GetLevelDesc(last, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, std::max(1u, c.width >> last));
        EXPECT_EQ(desc.Height, std::max(1u, c.height >> last));
        EXPECT_EQ(desc.Depth, std::max(1u, c.depth >> last));
        EXPECT_EQ(desc.Type, D3DRTYPE_VOLUME);
        EXPECT_EQ(desc.Format, c.format);
        EXPECT_EQ(desc.Pool, c.pool);
        EXPECT_EQ(desc.Usage, c.usage);
        EXPECT_EQ(t->GetLevelDesc(c.levelCount, &desc), D3DERR_INVALIDCALL);
        D3DLOCKED_BOX locked;
        EXPECT_EQ(t->LockBox(last, &locked, nullptr, 0), c.lockable ? D3D_OK : D3DERR_INVALIDCALL);
        if (c.lockable) {
            EXPECT_EQ(t->UnlockBox(last), D3D_OK);
        }
        EXPECT_EQ(t->Release(), 0u);
    }
}

// What each profile lets a MANAGED cube or volume texture be; system-memory versions of the same are made unless
// the device has no such textures, scratch versions always.
TEST(CubeVolumeProfiles, ProfilesLimitCreation) {
    struct Case {
        const char* profile;
        bool cube;  // else a volume
        UINT width, height, depth, levels;
        HRESULT expected;
    } cases[] = {
        {"pow2", true, 12, 12, 1, 1, D3DERR_INVALIDCALL},
        {"pow2", true, 16, 16, 1, 0, D3D_OK},
        // The condition (one level, not block-compressed) waives the rule for cube and volume textures too.
        {"pow2-conditional", true, 12, 12, 1, 1, D3D_OK},
        {"pow2-conditional", true, 12, 12, 1, 2, D3DERR_INVALIDCALL},
        {"pow2-conditional", false, 12, 6, 3, 1, D3D_OK},
        {"pow2-conditional", false, 12, 6, 3, 0, D3DERR_INVALIDCALL},
        {"square", true, 32, 32, 1, 0, D3D_OK},
        {"max256", true, 512, 512, 1, 1, D3DERR_INVALIDCALL},
        {"max256", true, 256, 256, 1, 0, D3D_OK},
        {"default", false, 12, 10, 6, 0, D3D_OK},
        {"pow2", false, 16, 16, 12, 1, D3DERR_INVALIDCALL},
        {"pow2", false, 16, 16, 8, 0, D3D_OK},
        {"square", false, 16, 8, 4, 0, D3D_OK},  // volumes need not be cubes
        {"max256", false, 16, 16, 512, 1, D3DERR_INVALIDCALL},
        {"max256", false, 256, 16, 256, 0, D3D_OK},
        {"no-volume", false, 4, 4, 4, 1, D3DERR_INVALIDCALL},
        {"no-volume", true, 4, 4, 1, 0, D3D_OK},
        {"rgb-only", false, 4, 4, 4, 1, D3D_OK},
    };
    SetBackend(BackendKind::Null);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.profile << (c.cube ? " cube " : " volume ") << c.width << "x" << c.height
                                        << "x" << c.depth);
        ASSERT_TRUE(SetProfile(c.profile));
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        IDirect3DDevice9* device = CreateTestDevice(d3d, 16, 16);
        ASSERT_NE(device, nullptr);
        for (D3DPOOL pool : {D3DPOOL_MANAGED, D3DPOOL_SYSTEMMEM, D3DPOOL_SCRATCH}) {
            // System memory is free of the size rules but not of the device's support; scratch is free of both.
            const bool unsupported = std::string(c.profile) == "no-volume" && !c.cube;
            const HRESULT expected = pool == D3DPOOL_SCRATCH                     ? D3D_OK
                                     : pool == D3DPOOL_SYSTEMMEM && !unsupported ? D3D_OK
                                                                                 : c.expected;
            if (c.cube) {
                IDirect3DCubeTexture9* t = nullptr;
                EXPECT_EQ(device->CreateCubeTexture(c.width, c.levels, 0, D3DFMT_A8R8G8B8, pool, &t, nullptr),
                          expected);
                if (t) t->Release();
            } else {
                IDirect3DVolumeTexture9* t = nullptr;
                EXPECT_EQ(device->CreateVolumeTexture(c.width, c.height, c.depth, c.levels, 0, D3DFMT_A8R8G8B8, pool,
                                                      &t, nullptr),
                          expected);
                if (t) t->Release();
            }
        }
        EXPECT_EQ(LiveResourceCount(device), 0u);
        device->Release();
        d3d->Release();
    }
    SetProfile(nullptr);
    ResetBackend();
}

// Render-target cubes in the default pool follow the profile as 2D render-target textures do: its formats, its
// size, power-of-two and mip-map rules.
TEST(CubeVolumeProfiles, RenderTargetCubesFollowTheProfile) {
    struct Case {
        const char* profile;
        UINT edge, levels;
        D3DFORMAT format;
        HRESULT expected;
    } cases[] = {
        {"default", 12, 0, D3DFMT_A16B16G16R16F, D3D_OK},
        {"rgb-only", 16, 1, D3DFMT_A16B16G16R16F, D3DERR_INVALIDCALL},
        {"rgb-only", 16, 1, D3DFMT_R5G6B5, D3D_OK},
        {"pow2", 12, 1, D3DFMT_X8R8G8B8, D3DERR_INVALIDCALL},
        {"pow2-conditional", 12, 1, D3DFMT_X8R8G8B8, D3D_OK},
        {"pow2-conditional", 12, 2, D3DFMT_X8R8G8B8, D3DERR_INVALIDCALL},
        {"max256", 512, 1, D3DFMT_X8R8G8B8, D3DERR_INVALIDCALL},
        {"max256", 256, 0, D3DFMT_X8R8G8B8, D3D_OK},
    };
    SetBackend(BackendKind::Null);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.profile << " " << c.edge << " levels " << c.levels << " "
                                        << FormatName(c.format));
        ASSERT_TRUE(SetProfile(c.profile));
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        IDirect3DDevice9* device = CreateTestDevice(d3d, 16, 16);
        ASSERT_NE(device, nullptr);
        IDirect3DCubeTexture9* cube = nullptr;
        EXPECT_EQ(device->CreateCubeTexture(c.edge, c.levels, D3DUSAGE_RENDERTARGET, c.format, D3DPOOL_DEFAULT, &cube,
                                            nullptr),
                  c.expected);
        if (cube) cube->Release();
        // The same answer as a 2D render-target texture of that size.
        IDirect3DTexture9* flat = nullptr;
        EXPECT_EQ(device->CreateTexture(c.edge, c.edge, c.levels, D3DUSAGE_RENDERTARGET, c.format, D3DPOOL_DEFAULT,
                                        &flat, nullptr),
                  c.expected);
        if (flat) flat->Release();
        EXPECT_EQ(LiveResourceCount(device), 0u);
        device->Release();
        d3d->Release();
    }
    SetProfile(nullptr);
    ResetBackend();
}

// Without drawing (null backend) the faces of a render-target cube are render targets all the same: they can be
// set as the target, and fills and copies into and out of them take the memory paths.
TEST_F(CubeVolumeTest, RenderTargetCubeFacesOnTheMemoryPaths) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(4, 2, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &cube, nullptr),
              D3D_OK);
    IDirect3DSurface9* front = nullptr;
    IDirect3DSurface9* side = nullptr;
    IDirect3DSurface9* small = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_Z, 0, &front), D3D_OK);
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_X, 0, &side), D3D_OK);
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_X, 1, &small), D3D_OK);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(small->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
    EXPECT_EQ(desc.Width, 2u);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);

    ASSERT_EQ(device->SetRenderTarget(0, small), D3D_OK);
    D3DVIEWPORT9 viewport{};
    ASSERT_EQ(device->GetViewport(&viewport), D3D_OK);
    EXPECT_EQ(viewport.Width, 2u);
    EXPECT_EQ(viewport.Height, 2u);
    IDirect3DSurface9* current = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &current), D3D_OK);
    EXPECT_EQ(current, small);
    current->Release();
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xff000000u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);

    // Fill part of +Z, copy it into -X with a shift, and read both back.
    const RECT topLeft{0, 0, 2, 2}, bottomRight{2, 2, 4, 4};
    ASSERT_EQ(device->ColorFill(front, nullptr, 0xff0000ffu), D3D_OK);
    ASSERT_EQ(device->ColorFill(front, &topLeft, 0xff00ff00u), D3D_OK);
    ASSERT_EQ(device->StretchRect(front, &topLeft, side, &bottomRight, D3DTEXF_NONE), D3D_OK);
    IDirect3DSurface9* plain = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, nullptr), D3D_OK);
    auto pixel = [&](IDirect3DSurface9* face, int x, int y) {
        EXPECT_EQ(device->GetRenderTargetData(face, plain), D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(plain->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        const std::uint32_t value = reinterpret_cast<const std::uint32_t*>(
            static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch)[x];
        plain->UnlockRect();
        return value;
    };
    EXPECT_EQ(pixel(front, 1, 1), 0xff00ff00u);
    EXPECT_EQ(pixel(front, 3, 0), 0xff0000ffu);
    EXPECT_EQ(pixel(side, 3, 3), 0xff00ff00u);
    EXPECT_EQ(pixel(side, 0, 0), 0u);  // never written: fresh memory reads as zero here
    // Surface to face: the plain surface goes up through UpdateSurface, a render target through StretchRect.
    ASSERT_EQ(device->ColorFill(back, nullptr, 0xffff0000u), D3D_OK);
    const RECT all{0, 0, 4, 4};
    ASSERT_EQ(device->StretchRect(back, &all, front, nullptr, D3DTEXF_POINT), D3D_OK);
    EXPECT_EQ(pixel(front, 1, 1), 0xffff0000u);
    ASSERT_EQ(device->UpdateSurface(plain, &topLeft, side, nullptr), D3D_OK);
    EXPECT_EQ(pixel(side, 0, 0), 0xffff0000u);
    EXPECT_EQ(pixel(side, 3, 3), 0xff00ff00u);
    // A face is no depth buffer and cannot be locked.
    EXPECT_EQ(device->SetDepthStencilSurface(front), D3DERR_INVALIDCALL);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(front->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
    for (IUnknown* r : std::initializer_list<IUnknown*>{plain, back, small, side, front, cube}) r->Release();
}

// Faces are surfaces of their cube: they share its reference count, give it as their container, and hold
// memory of their own.
TEST_F(CubeVolumeTest, CubeFacesBelongToTheirCube) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    IDirect3DSurface9* face = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Y, 1, &face), D3D_OK);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(face->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, 4u);
    for (const GUID* iid : {&IID_IDirect3DCubeTexture9, &IID_IDirect3DBaseTexture9, &IID_IUnknown}) {
        void* container = nullptr;
        ASSERT_EQ(face->GetContainer(*iid, &container), D3D_OK);
        EXPECT_EQ(static_cast<IUnknown*>(container), static_cast<IUnknown*>(cube));
        static_cast<IUnknown*>(container)->Release();
    }
    void* wrong = Sentinel<void>();
    EXPECT_EQ(face->GetContainer(IID_IDirect3DTexture9, &wrong), E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);
    EXPECT_EQ(face->GetContainer(IID_IDirect3DDevice9, &wrong), E_NOINTERFACE);
    IDirect3DTexture9* notFlat = nullptr;
    EXPECT_EQ(cube->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void**>(&notFlat)), E_NOINTERFACE);
    IDirect3DBaseTexture9* base = nullptr;
    ASSERT_EQ(cube->QueryInterface(IID_IDirect3DBaseTexture9, reinterpret_cast<void**>(&base)), D3D_OK);
    EXPECT_EQ(base->GetType(), D3DRTYPE_CUBETEXTURE);
    base->Release();
    // Out-of-range faces and levels.
    IDirect3DSurface9* none = Sentinel<IDirect3DSurface9>();
    EXPECT_EQ(cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(6), 0, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_X, 4, &none), D3DERR_INVALIDCALL);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(6), 0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(locked.pBits, nullptr);
    EXPECT_EQ(cube->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_X, 0), D3DERR_INVALIDCALL);  // not locked
    EXPECT_EQ(cube->AddDirtyRect(static_cast<D3DCUBEMAP_FACES>(9), nullptr), D3DERR_INVALIDCALL);

    // Each face has memory of its own: bytes written to one face's level are not seen by another.
    for (UINT f = 0; f < 6; ++f) {
        ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(f), 1, &locked, nullptr, 0), D3D_OK);
        std::memset(locked.pBits, static_cast<int>(0x40 + f), 4 * static_cast<std::size_t>(locked.Pitch));
        EXPECT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(f), 1, &locked, nullptr, 0), D3DERR_INVALIDCALL);
        ASSERT_EQ(cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(f), 1), D3D_OK);
    }
    D3DLOCKED_RECT viaFace;
    const RECT corner{2, 2, 4, 4};
    ASSERT_EQ(face->LockRect(&viaFace, &corner, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<const std::uint8_t*>(viaFace.pBits)[0], 0x43);
    face->UnlockRect();

    // The face keeps the cube alive, and the cube stands for its faces in leak reports.
    EXPECT_EQ(cube->Release(), 1u);
    EXPECT_EQ(LiveResourceCount(device), 1u);
    const std::string text = DescribeLiveResources(device);
    EXPECT_NE(text.find("cube texture A8R8G8B8 8x8, 4 levels, MANAGED pool"), std::string::npos) << text;
    EXPECT_EQ(face->Release(), 0u);
    EXPECT_EQ(LiveResourceCount(device), 0u);
}

// Volume levels: pitches from the format's layout, box bounds and block rules, one lock at a time, containers.
TEST_F(CubeVolumeTest, VolumeLocksFollowTheLayout) {
    struct Case {
        D3DFORMAT format;
        UINT width, height, depth;
        INT rowPitch, slicePitch;
    } layouts[] = {
        {D3DFMT_A8R8G8B8, 5, 3, 2, 20, 60},
        {D3DFMT_L8, 5, 3, 2, 8, 24},      // rows rounded up to 4 bytes
        {D3DFMT_DXT1, 10, 6, 3, 24, 48},  // rows of 4 x 4 blocks: 3 blocks across, 2 block rows a slice
        {D3DFMT_DXT5, 8, 4, 1, 32, 32},
    };
    for (const Case& c : layouts) {
        SCOPED_TRACE(FormatName(c.format));
        IDirect3DVolumeTexture9* t = nullptr;
        ASSERT_EQ(device->CreateVolumeTexture(c.width, c.height, c.depth, 1, 0, c.format, D3DPOOL_SCRATCH, &t, nullptr),
                  D3D_OK);
        D3DLOCKED_BOX whole;
        ASSERT_EQ(t->LockBox(0, &whole, nullptr, 0), D3D_OK);
        EXPECT_EQ(whole.RowPitch, c.rowPitch);
        EXPECT_EQ(whole.SlicePitch, c.slicePitch);
        auto* bytes = static_cast<std::uint8_t*>(whole.pBits);
        // A fresh volume reads as zero, like every fresh resource.
        const std::string zeros(static_cast<std::size_t>(c.slicePitch) * c.depth, '\0');
        EXPECT_EQ(std::memcmp(bytes, zeros.data(), zeros.size()), 0);
        for (INT i = 0; i < c.slicePitch * static_cast<INT>(c.depth); ++i) bytes[i] = static_cast<std::uint8_t>(i);
        ASSERT_EQ(t->UnlockBox(0), D3D_OK);
        // A box starting inside points at its first block of its first slice.
        const FormatLayout* layout = FindLayout(c.format);
        const D3DBOX box{layout->blockWidth, 0, c.width, c.height, c.depth - 1, c.depth};
        D3DLOCKED_BOX part;
        ASSERT_EQ(t->LockBox(0, &part, &box, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(static_cast<std::uint8_t*>(part.pBits) - bytes,
                  static_cast<std::ptrdiff_t>(c.slicePitch) * (c.depth - 1) + layout->bytesPerBlock);
        t->UnlockBox(0);
        t->Release();
    }

    IDirect3DVolumeTexture9* t = nullptr;
    ASSERT_EQ(device->CreateVolumeTexture(8, 8, 4, 0, 0, D3DFMT_DXT1, D3DPOOL_SYSTEMMEM, &t, nullptr), D3D_OK);
    struct BoxCase {
        D3DBOX box;
        HRESULT expected;
    } boxes[] = {
        {{0, 0, 8, 8, 0, 4}, D3D_OK},
        {{4, 4, 8, 8, 3, 4}, D3D_OK},
        {{0, 0, 4, 4, 1, 2}, D3D_OK},
        {{2, 0, 8, 8, 0, 1}, D3DERR_INVALIDCALL},  // left inside a block
        {{0, 0, 6, 8, 0, 1}, D3DERR_INVALIDCALL},  // right inside a block, not the edge
        {{0, 1, 8, 8, 0, 1}, D3DERR_INVALIDCALL},  // top inside a block
        {{0, 0, 8, 8, 0, 5}, D3DERR_INVALIDCALL},  // past the back
        {{0, 0, 8, 8, 2, 2}, D3DERR_INVALIDCALL},  // empty in depth
        {{4, 0, 4, 8, 0, 1}, D3DERR_INVALIDCALL},  // empty across
        {{0, 0, 12, 8, 0, 1}, D3DERR_INVALIDCALL},
    };
    for (const BoxCase& c : boxes) {
        SCOPED_TRACE(testing::Message() << c.box.Left << "," << c.box.Top << "," << c.box.Front << " - " << c.box.Right
                                        << "," << c.box.Bottom << "," << c.box.Back);
        D3DLOCKED_BOX locked;
        ASSERT_EQ(t->LockBox(0, &locked, &c.box, 0), c.expected);
        if (SUCCEEDED(c.expected)) {
            EXPECT_EQ(t->UnlockBox(0), D3D_OK);
        } else {
            EXPECT_EQ(locked.pBits, nullptr);
        }
    }
    // The 2 x 2 x 1 level ends inside its only block: a box over it is whole.
    const D3DBOX small{0, 0, 2, 2, 0, 1};
    D3DLOCKED_BOX locked;
    ASSERT_EQ(t->LockBox(2, &locked, &small, 0), D3D_OK);
    // One lock at a time per level, through the texture or the level.
    IDirect3DVolume9* level = nullptr;
    ASSERT_EQ(t->GetVolumeLevel(2, &level), D3D_OK);
    EXPECT_EQ(level->LockBox(&locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(level->UnlockBox(), D3D_OK);
    EXPECT_EQ(level->UnlockBox(), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->UnlockBox(2), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->LockBox(4, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->LockBox(0, nullptr, nullptr, 0), D3DERR_INVALIDCALL);
    IDirect3DVolume9* none = Sentinel<IDirect3DVolume9>();
    EXPECT_EQ(t->GetVolumeLevel(4, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);

    // The level's container, device, description and private data.
    for (const GUID* iid : {&IID_IDirect3DVolumeTexture9, &IID_IDirect3DBaseTexture9}) {
        void* container = nullptr;
        ASSERT_EQ(level->GetContainer(*iid, &container), D3D_OK);
        EXPECT_EQ(static_cast<IUnknown*>(container), static_cast<IUnknown*>(t));
        static_cast<IUnknown*>(container)->Release();
    }
    void* wrong = Sentinel<void>();
    EXPECT_EQ(level->GetContainer(IID_IDirect3DCubeTexture9, &wrong), E_NOINTERFACE);
    IDirect3DVolume9* same = nullptr;
    ASSERT_EQ(level->QueryInterface(IID_IDirect3DVolume9, reinterpret_cast<void**>(&same)), D3D_OK);
    EXPECT_EQ(same, level);
    same->Release();
    EXPECT_EQ(level->QueryInterface(IID_IDirect3DResource9, reinterpret_cast<void**>(&same)), E_NOINTERFACE);
    IDirect3DDevice9* owner = nullptr;
    ASSERT_EQ(level->GetDevice(&owner), D3D_OK);
    EXPECT_EQ(owner, device);
    owner->Release();
    D3DVOLUME_DESC desc;
    ASSERT_EQ(level->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Depth, 1u);
    const GUID tag = {0x1234, 0x5678, 0x9abc, {1, 2, 3, 4, 5, 6, 7, 8}};
    const DWORD value = 0xfeedbeef;
    ASSERT_EQ(level->SetPrivateData(tag, &value, sizeof value, 0), D3D_OK);
    DWORD read = 0, size = sizeof read;
    ASSERT_EQ(level->GetPrivateData(tag, &read, &size), D3D_OK);
    EXPECT_EQ(read, value);
    EXPECT_EQ(level->FreePrivateData(tag), D3D_OK);
    EXPECT_EQ(level->GetPrivateData(tag, &read, &size), D3DERR_NOTFOUND);

    // The level keeps the texture alive.
    EXPECT_EQ(t->Release(), 1u);
    const std::string text = DescribeLiveResources(device);
    EXPECT_NE(text.find("volume texture DXT1 8x8x4, 4 levels, SYSTEMMEM pool"), std::string::npos) << text;
    EXPECT_EQ(level->Release(), 0u);
}

// CPU writes mark what the backend must upload again; read-only locks mark nothing.
TEST_F(CubeVolumeTest, WritesMarkUploads) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr), D3D_OK);
    auto* ownCube = static_cast<CubeTexture*>(cube);
    auto* ownVolume = static_cast<VolumeTexture*>(volume);
    D3DLOCKED_RECT rect;
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_Z, 0, &rect, nullptr, D3DLOCK_READONLY), D3D_OK);
    cube->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_Z, 0);
    EXPECT_FALSE(ownCube->uploadPending);
    EXPECT_EQ(ownCube->face(D3DCUBEMAP_FACE_POSITIVE_Z, 0)->fresh, Fresh::Both);
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_Z, 0, &rect, nullptr, 0), D3D_OK);
    cube->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_Z, 0);
    EXPECT_TRUE(ownCube->uploadPending);
    EXPECT_EQ(ownCube->face(D3DCUBEMAP_FACE_POSITIVE_Z, 0)->fresh, Fresh::MemoryNewer);
    EXPECT_EQ(ownCube->face(D3DCUBEMAP_FACE_NEGATIVE_Z, 0)->fresh, Fresh::Both);
    ASSERT_EQ(cube->AddDirtyRect(D3DCUBEMAP_FACE_NEGATIVE_X, nullptr), D3D_OK);
    EXPECT_EQ(ownCube->face(D3DCUBEMAP_FACE_NEGATIVE_X, 0)->fresh, Fresh::MemoryNewer);

    D3DLOCKED_BOX box;
    ASSERT_EQ(volume->LockBox(1, &box, nullptr, D3DLOCK_READONLY), D3D_OK);
    volume->UnlockBox(1);
    EXPECT_FALSE(ownVolume->uploadPending);
    EXPECT_EQ(ownVolume->level(1)->fresh, Fresh::Both);
    ASSERT_EQ(volume->LockBox(1, &box, nullptr, 0), D3D_OK);
    volume->UnlockBox(1);
    EXPECT_TRUE(ownVolume->uploadPending);
    EXPECT_EQ(ownVolume->level(1)->fresh, Fresh::MemoryNewer);
    EXPECT_EQ(ownVolume->level(0)->fresh, Fresh::Both);
    ASSERT_EQ(volume->AddDirtyBox(nullptr), D3D_OK);
    EXPECT_EQ(ownVolume->level(0)->fresh, Fresh::MemoryNewer);
    cube->Release();
    volume->Release();
}

TEST_F(CubeVolumeTest, UpdateTextureCopiesFacesAndLevels) {
    IDirect3DCubeTexture9* cubeSrc = nullptr;  // 8, 4, 2, 1
    ASSERT_EQ(device->CreateCubeTexture(8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &cubeSrc, nullptr), D3D_OK);
    for (UINT f = 0; f < 6; ++f) {
        for (UINT level = 0; level < 4; ++level) {
            D3DLOCKED_RECT locked;
            ASSERT_EQ(cubeSrc->LockRect(static_cast<D3DCUBEMAP_FACES>(f), level, &locked, nullptr, 0), D3D_OK);
            std::memset(locked.pBits, static_cast<int>(f * 16 + level), static_cast<std::size_t>(locked.Pitch));
            cubeSrc->UnlockRect(static_cast<D3DCUBEMAP_FACES>(f), level);
        }
    }
    IDirect3DCubeTexture9* cubeDst = nullptr;  // 4, 2, 1: the source's top level is skipped
    ASSERT_EQ(device->CreateCubeTexture(4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &cubeDst, nullptr), D3D_OK);
    ASSERT_EQ(device->UpdateTexture(cubeSrc, cubeDst), D3D_OK);
    auto* own = static_cast<CubeTexture*>(cubeDst);
    EXPECT_TRUE(own->uploadPending);
    for (UINT f = 0; f < 6; ++f) {
        for (UINT level = 0; level < 3; ++level) {
            SCOPED_TRACE(testing::Message() << "face " << f << " level " << level);
            EXPECT_EQ(own->face(f, level)->bits()[0], f * 16 + level + 1);
            EXPECT_EQ(own->face(f, level)->fresh, Fresh::MemoryNewer);
        }
    }

    IDirect3DVolumeTexture9* volSrc = nullptr;  // 8x8x2, 4x4x1, 2x2x1, 1x1x1
    ASSERT_EQ(device->CreateVolumeTexture(8, 8, 2, 0, 0, D3DFMT_L8, D3DPOOL_SYSTEMMEM, &volSrc, nullptr), D3D_OK);
    for (UINT level = 0; level < 4; ++level) {
        D3DLOCKED_BOX locked;
        ASSERT_EQ(volSrc->LockBox(level, &locked, nullptr, 0), D3D_OK);
        std::memset(locked.pBits, static_cast<int>(0x20 + level), static_cast<std::size_t>(locked.SlicePitch));
        volSrc->UnlockBox(level);
    }
    IDirect3DVolumeTexture9* volDst = nullptr;
    ASSERT_EQ(device->CreateVolumeTexture(4, 4, 1, 2, 0, D3DFMT_L8, D3DPOOL_DEFAULT, &volDst, nullptr), D3D_OK);
    ASSERT_EQ(device->UpdateTexture(volSrc, volDst), D3D_OK);
    auto* ownVol = static_cast<VolumeTexture*>(volDst);
    EXPECT_TRUE(ownVol->uploadPending);
    EXPECT_EQ(ownVol->level(0)->bits()[0], 0x21);
    EXPECT_EQ(ownVol->level(1)->bits()[0], 0x22);
    EXPECT_EQ(ownVol->level(1)->fresh, Fresh::MemoryNewer);

    // What is refused: another kind, another pool or format, a top level the source does not have, locked levels.
    IDirect3DCubeTexture9* cubeManaged = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cubeManaged, nullptr), D3D_OK);
    IDirect3DCubeTexture9* cubeOtherFormat = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(4, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &cubeOtherFormat, nullptr), D3D_OK);
    IDirect3DCubeTexture9* cubeLarger = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &cubeLarger, nullptr), D3D_OK);
    IDirect3DVolumeTexture9* volDeeper = nullptr;  // 4x4x2 matches no source level
    ASSERT_EQ(device->CreateVolumeTexture(4, 4, 2, 1, 0, D3DFMT_L8, D3DPOOL_DEFAULT, &volDeeper, nullptr), D3D_OK);
    IDirect3DTexture9* flat = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &flat, nullptr), D3D_OK);
    EXPECT_EQ(device->UpdateTexture(cubeSrc, flat), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(cubeSrc, volDst), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(volSrc, cubeDst), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(cubeSrc, cubeManaged), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(cubeManaged, cubeDst), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(cubeSrc, cubeOtherFormat), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(cubeSrc, cubeLarger), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(volSrc, volDeeper), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->UpdateTexture(cubeSrc, cubeSrc), D3DERR_INVALIDCALL);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(cubeSrc->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 3, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(device->UpdateTexture(cubeSrc, cubeDst), D3DERR_INVALIDCALL);
    cubeSrc->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 3);
    D3DLOCKED_BOX box;
    ASSERT_EQ(volSrc->LockBox(2, &box, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(device->UpdateTexture(volSrc, volDst), D3DERR_INVALIDCALL);
    volSrc->UnlockBox(2);
    for (IUnknown* r : std::initializer_list<IUnknown*>{cubeSrc, cubeDst, volSrc, volDst, cubeManaged, cubeOtherFormat,
                                                        cubeLarger, volDeeper, flat}) {
        r->Release();
    }
}

// A cube face takes part in surface copies as a texture level does: UpdateSurface writes it, it is no render
// target (no ColorFill, no StretchRect into it), and StretchRect reads it into a render target.
TEST_F(CubeVolumeTest, CubeFacesInSurfaceCopies) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &cube, nullptr), D3D_OK);
    IDirect3DSurface9* face = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_Y, 0, &face), D3D_OK);
    IDirect3DSurface9* other = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Y, 0, &other), D3D_OK);
    IDirect3DSurface9* plain = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(plain->LockRect(&locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 4; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch);
        for (int x = 0; x < 4; ++x) row[x] = 0xff00ff00u;
    }
    plain->UnlockRect();

    auto* own = static_cast<CubeTexture*>(cube);
    EXPECT_FALSE(own->uploadPending);
    ASSERT_EQ(device->UpdateSurface(plain, nullptr, face, nullptr), D3D_OK);
    EXPECT_TRUE(own->uploadPending);
    EXPECT_EQ(own->face(D3DCUBEMAP_FACE_POSITIVE_Y, 0)->fresh, Fresh::MemoryNewer);
    EXPECT_EQ(own->face(D3DCUBEMAP_FACE_NEGATIVE_Y, 0)->fresh, Fresh::Both);

    EXPECT_EQ(device->ColorFill(face, nullptr, 0xffffffffu), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->StretchRect(face, nullptr, other, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(4, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr),
              D3D_OK);
    ASSERT_EQ(device->StretchRect(face, nullptr, target, nullptr, D3DTEXF_NONE), D3D_OK);
    ASSERT_EQ(device->GetRenderTargetData(target, plain), D3D_OK);
    ASSERT_EQ(plain->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<std::uint32_t*>(locked.pBits), 0xff00ff00u);
    plain->UnlockRect();
    for (IUnknown* r : std::initializer_list<IUnknown*>{target, plain, other, face, cube}) r->Release();
}

// Samplers take any kind of texture; switching kinds releases the one held before.
TEST_F(CubeVolumeTest, SamplersHoldCubeAndVolumeTextures) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &volume, nullptr), D3D_OK);
    IDirect3DVolumeTexture9* system = nullptr;
    ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr), D3D_OK);
    IDirect3DTexture9* flat = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &flat, nullptr), D3D_OK);
    const DeviceState& state = static_cast<Device*>(device)->state();

    ASSERT_EQ(device->SetTexture(0, cube), D3D_OK);
    ASSERT_EQ(device->SetTexture(1, volume), D3D_OK);
    EXPECT_EQ(device->SetTexture(2, system), D3DERR_INVALIDCALL);  // only video memory is sampled
    EXPECT_EQ(state.bound[0].resource, static_cast<CubeTexture*>(cube));
    EXPECT_EQ(state.bound[0].kind, TextureKind::Cube);
    EXPECT_EQ(state.bound[1].resource, static_cast<VolumeTexture*>(volume));
    EXPECT_EQ(state.bound[1].kind, TextureKind::Volume);
    EXPECT_EQ(state.bound[2].resource, nullptr);
    IDirect3DBaseTexture9* got = nullptr;
    ASSERT_EQ(device->GetTexture(0, &got), D3D_OK);
    EXPECT_EQ(got, static_cast<IDirect3DBaseTexture9*>(cube));
    got->Release();
    ASSERT_EQ(device->GetTexture(1, &got), D3D_OK);
    EXPECT_EQ(got->GetType(), D3DRTYPE_VOLUMETEXTURE);
    got->Release();
    // The device holds a reference of its own.
    EXPECT_EQ(cube->AddRef(), 3u);
    cube->Release();

    // Switching stage 0 to a 2D texture drops the cube.
    ASSERT_EQ(device->SetTexture(0, flat), D3D_OK);
    EXPECT_EQ(state.bound[0].resource, static_cast<Texture*>(flat));
    EXPECT_EQ(state.bound[0].kind, TextureKind::Flat);
    EXPECT_EQ(cube->AddRef(), 2u);
    cube->Release();
    ASSERT_EQ(device->SetTexture(0, cube), D3D_OK);
    EXPECT_EQ(state.bound[0].kind, TextureKind::Cube);

    // Textures still set when the application lets go of them are released by the device, not leaked.
    cube->Release();
    volume->Release();
    system->Release();
    flat->Release();
    EXPECT_EQ(LiveResourceCount(device), 2u);
    ASSERT_EQ(device->SetTexture(0, nullptr), D3D_OK);
    EXPECT_EQ(LiveResourceCount(device), 1u);
    ASSERT_EQ(device->SetTexture(1, nullptr), D3D_OK);
}

}  // namespace
}  // namespace tarn::d3d9::test
