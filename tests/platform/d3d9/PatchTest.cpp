// PatchTest.cpp: rectangle and triangle patches tessellated on the processor. Headless on llvmpipe: the area a
// flat patch covers, read from a grid with a start offset and a row stride wider than the patch; a curved edge
// where the basis formula puts it at each segment count and edge style; elements from a second stream
// evaluated with each basis; generated normals lit as the surface's slope says; a triangle patch's centre; the
// handle cache. On the null backend: the capabilities, and what is refused.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "DrawTestSupport.h"

namespace tarn::d3d9::test {
namespace {

struct Point {
    float x, y, z;
    D3DCOLOR color;
};
constexpr DWORD kPoint = D3DFVF_XYZ | D3DFVF_DIFFUSE;

constexpr D3DCOLOR kGreen = 0xff00ff00u, kRed = 0xffff0000u;

D3DVERTEXELEMENT9 El(WORD stream, WORD offset, BYTE type, BYTE usage, BYTE method = D3DDECLMETHOD_DEFAULT) {
    return D3DVERTEXELEMENT9{stream, offset, type, method, usage, 0};
}
const D3DVERTEXELEMENT9 kEnd = D3DDECL_END();

// A vertex buffer holding `bytes`.
IDirect3DVertexBuffer9* Filled(IDirect3DDevice9* device, const void* bytes, UINT size) {
    IDirect3DVertexBuffer9* vb = nullptr;
    EXPECT_EQ(device->CreateVertexBuffer(size, D3DUSAGE_RTPATCHES, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    if (!vb) return nullptr;
    void* p = nullptr;
    vb->Lock(0, 0, &p, 0);
    std::memcpy(p, bytes, size);
    vb->Unlock();
    return vb;
}

// A grid of `stride` x `rows` points, red and far off screen, with a `width` x `height` patch of the points
// `at(column, row)` gives placed from column `left` and row `top`.
template <typename At>
std::vector<Point> Grid(UINT stride, UINT rows, UINT left, UINT top, UINT width, UINT height, At at) {
    std::vector<Point> grid(static_cast<std::size_t>(stride) * rows, Point{5, 5, 0.5f, kRed});
    for (UINT r = 0; r < height; ++r) {
        for (UINT c = 0; c < width; ++c) grid[(top + r) * stride + left + c] = at(c, r);
    }
    return grid;
}

class PatchTest : public DrawTest {
protected:
    void TearDown() override {
        if (device) {
            device->SetStreamSource(0, nullptr, 0, 0);
            device->SetStreamSource(1, nullptr, 0, 0);
            device->SetVertexDeclaration(nullptr);
        }
        for (IUnknown* object : objects_) object->Release();
        DrawTest::TearDown();
    }

    // Binds `points` to stream `stream` (kept until the test ends).
    void Bind(UINT stream, const void* points, UINT bytes, UINT stride) {
        IDirect3DVertexBuffer9* vb = Filled(device, points, bytes);
        ASSERT_NE(vb, nullptr);
        objects_.push_back(vb);
        ASSERT_EQ(device->SetStreamSource(stream, vb, 0, stride), D3D_OK);
    }
    void BindGrid(const std::vector<Point>& grid) {
        Bind(0, grid.data(), static_cast<UINT>(grid.size() * sizeof(Point)), sizeof(Point));
        device->SetFVF(kPoint);
    }
    void Declare(const std::vector<D3DVERTEXELEMENT9>& elements) {
        IDirect3DVertexDeclaration9* declaration = nullptr;
        ASSERT_EQ(device->CreateVertexDeclaration(elements.data(), &declaration), D3D_OK);
        objects_.push_back(declaration);
        ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
    }
    bool Covered(const std::vector<std::uint32_t>& pixels, int x, int y) {
        return (pixels[static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x)] & 0xffffff) != 0;
    }

    std::vector<IUnknown*> objects_;
};

// A flat bicubic Bezier patch whose control points are evenly spread over x, y in -0.5..0.5 covers exactly
// that square (pixels 16 to 47 with identity transforms), whatever the segment count; its points are read
// from column 2 and row 1 of a grid 7 points wide, so a wrong start or stride reads the red points instead.
TEST_F(PatchTest, FlatBezierPatchCoversItsSquareFromAnOffsetGrid) {
    SetOrthoIdentity();
    const std::vector<Point> grid = Grid(7, 6, 2, 1, 4, 4, [](UINT c, UINT r) {
        return Point{-0.5f + c / 3.0f, 0.5f - r / 3.0f, 0.5f, kGreen};
    });
    BindGrid(grid);
    const D3DRECTPATCH_INFO info{2, 1, 4, 4, 7, D3DBASIS_BEZIER, D3DDEGREE_CUBIC};
    for (float segments : {1.0f, 5.0f}) {
        SCOPED_TRACE(segments);
        Clear(0);
        const float numSegs[4] = {segments, segments, segments, segments};
        ASSERT_EQ(device->DrawRectPatch(0, numSegs, &info), D3D_OK);
        const std::vector<std::uint32_t> pixels = ReadTarget();
        for (int p : {16, 31, 47}) {
            ExpectPixel(pixels, p, 16, kGreen);
            ExpectPixel(pixels, 47, p, kGreen);
        }
        for (int p : {15, 48}) {
            ExpectPixel(pixels, p, 32, 0);
            ExpectPixel(pixels, 32, p, 0);
        }
    }
}

// A bicubic Bezier patch whose first row of control points has y 0.2, 0.9, 0.9, 0.2: its top edge is
// y(u) = 0.2 (1 - u)^3 + 2.7 u (1 - u)^2 + 2.7 u^2 (1 - u) + 0.2 u^3, 0.725 at u = 0.5 and 2/3 at u = 1/3 and 2/3.
// Pixel (32, 9) lies at y 0.703: covered when the edge has a point at u = 0.5 (16 discrete segments, or 3
// continuous ones, which cut it at 0, 1/3, 1/2, 2/3, 1), not when it is the chord of u = 1/3 and 2/3 (3
// discrete segments, or 3.9 truncated) or the straight corner-to-corner edge (no segment counts: 1 each).
TEST_F(PatchTest, CurvedEdgeFollowsTheBasisAtEachSegmentCount) {
    SetOrthoIdentity();
    const float top[4] = {0.2f, 0.9f, 0.9f, 0.2f};
    const std::vector<Point> grid = Grid(4, 4, 0, 0, 4, 4, [&](UINT c, UINT r) {
        return Point{-0.6f + 0.4f * c, top[c] - 0.5f * r, 0.5f, kGreen};
    });
    BindGrid(grid);
    const D3DRECTPATCH_INFO info{0, 0, 4, 4, 4, D3DBASIS_BEZIER, D3DDEGREE_CUBIC};
    struct Case {
        float segments;  // 0: no counts
        DWORD style;
        bool covered;
    };
    const Case cases[] = {{16, D3DPATCHEDGE_DISCRETE, true},
                          {3, D3DPATCHEDGE_CONTINUOUS, true},
                          {3, D3DPATCHEDGE_DISCRETE, false},
                          {3.9f, D3DPATCHEDGE_DISCRETE, false},
                          {0, D3DPATCHEDGE_DISCRETE, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.segments << " segments, style " << c.style);
        Clear(0);
        device->SetRenderState(D3DRS_PATCHEDGESTYLE, c.style);
        const float numSegs[4] = {c.segments, c.segments, c.segments, c.segments};
        ASSERT_EQ(device->DrawRectPatch(0, c.segments > 0 ? numSegs : nullptr, &info), D3D_OK);
        const std::vector<std::uint32_t> pixels = ReadTarget();
        EXPECT_EQ(Covered(pixels, 32, 9), c.covered);
        EXPECT_TRUE(Covered(pixels, 32, 28));  // y 0.11: below the straight edge too
        EXPECT_FALSE(Covered(pixels, 32, 6));  // above the curve's top
    }
}

// Each basis weighs the columns' colours (from a second stream) at u = 1/2 as its formula says: Bezier by
// C(n, i) / 2^n, the uniform cubic B-spline by 1/48, 23/48, 23/48, 1/48 in its one span, Catmull-Rom by -1/16,
// 9/16, 9/16, -1/16, the linear B-spline halfway between points 1 and 2 in its middle span. The centre vertex
// (x = 0, a pixel's width from pixel 32's centre) carries that colour.
TEST_F(PatchTest, EachBasisWeighsTheControlPointsByItsFormula) {
    SetOrthoIdentity();
    Declare({El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION), El(1, 0, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR),
             kEnd});
    struct Case {
        const char* what;
        D3DBASISTYPE basis;
        D3DDEGREETYPE degree;
        std::vector<int> reds;  // a column's red, 0..255
        double expected;        // red at u = 1/2, 0..1
    };
    const Case cases[] = {
        {"cubic Bezier", D3DBASIS_BEZIER, D3DDEGREE_CUBIC, {0, 255, 255, 0}, 0.75},
        {"quintic Bezier", D3DBASIS_BEZIER, D3DDEGREE_QUINTIC, {0, 0, 255, 255, 0, 0}, 20.0 / 32},
        {"linear Bezier", D3DBASIS_BEZIER, D3DDEGREE_LINEAR, {51, 255}, 0.6},
        {"cubic B-spline", D3DBASIS_BSPLINE, D3DDEGREE_CUBIC, {0, 255, 255, 0}, 46.0 / 48},
        {"linear B-spline", D3DBASIS_BSPLINE, D3DDEGREE_LINEAR, {0, 51, 153, 255}, 0.4},
        {"Catmull-Rom", D3DBASIS_CATMULL_ROM, D3DDEGREE_CUBIC, {255, 51, 153, 0}, (-1 + 9 * 0.2 + 9 * 0.6) / 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const UINT n = static_cast<UINT>(c.reds.size());
        std::vector<float> positions;
        std::vector<D3DCOLOR> colours;
        for (UINT r = 0; r < n; ++r) {
            for (UINT col = 0; col < n; ++col) {
                // Evenly spread over -0.9..0.9: every basis puts u = 1/2 at x = 0.
                positions.insert(positions.end(), {-0.9f + 1.8f * col / (n - 1), 0.9f - 1.8f * r / (n - 1), 0.5f});
                colours.push_back(0xff000000u | static_cast<DWORD>(c.reds[col]) << 16);
            }
        }
        Bind(0, positions.data(), static_cast<UINT>(positions.size() * 4), 12);
        Bind(1, colours.data(), static_cast<UINT>(colours.size() * 4), 4);
        Clear(0);
        const float numSegs[4] = {8, 8, 8, 8};
        const D3DRECTPATCH_INFO info{0, 0, n, n, n, c.basis, c.degree};
        ASSERT_EQ(device->DrawRectPatch(0, numSegs, &info), D3D_OK);
        ExpectPixel(ReadTarget(), 32, 32, Rgb(c.expected, 0, 0), 4);
    }
}

// A declaration's CROSSUV normal is the surface's: a flat patch with z = 0.5 + 0.25 x has the normal
// (0.25, 0, -1) / |(0.25, 0, -1)|, which a white directional light shining along +z lights at 1 / sqrt(1.0625)
// of full diffuse. Without the generated normal the patch reads as black.
TEST_F(PatchTest, GeneratedNormalsComeFromTheSurfaceSlope) {
    SetOrthoIdentity();
    std::vector<float> positions;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const float x = -0.9f + 0.6f * c;
            positions.insert(positions.end(), {x, 0.9f - 0.6f * r, 0.5f + 0.25f * x});
        }
    }
    Bind(0, positions.data(), static_cast<UINT>(positions.size() * 4), 12);
    Declare({El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION),
             El(0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, D3DDECLMETHOD_CROSSUV), kEnd});
    WhiteDirectionalLight({0, 0, 1});
    Clear(0);
    const float numSegs[4] = {2, 2, 2, 2};
    const D3DRECTPATCH_INFO info{0, 0, 4, 4, 4, D3DBASIS_BEZIER, D3DDEGREE_CUBIC};
    ASSERT_EQ(device->DrawRectPatch(0, numSegs, &info), D3D_OK);
    const double lit = 1.0 / std::sqrt(1.0625);
    const std::vector<std::uint32_t> pixels = ReadTarget();
    ExpectPixel(pixels, 20, 40, Rgb(lit, lit, lit));
    ExpectPixel(pixels, 44, 20, Rgb(lit, lit, lit));
}

// A cubic triangle patch: corners, then the edges' inner points (0-1, 1-2, 2-0), then the centre point. Flat
// control points (the corners' degree-raised triangle) cover that triangle; only the centre point red, the
// centre of the patch (barycentric 1/3 each, a vertex at 3 segments) is red at its weight 6/27.
TEST_F(PatchTest, TrianglePatchWeighsItsCentrePoint) {
    SetOrthoIdentity();
    const float corner[3][2] = {{-0.8f, 0.8f}, {0.8f, 0.8f}, {-0.8f, -0.8f}};
    const int exponents[10][3] = {{3, 0, 0}, {0, 3, 0}, {0, 0, 3}, {2, 1, 0}, {1, 2, 0},
                                  {0, 2, 1}, {0, 1, 2}, {1, 0, 2}, {2, 0, 1}, {1, 1, 1}};
    std::vector<Point> points(12, Point{5, 5, 0.5f, kGreen});  // two points before the patch
    for (int m = 0; m < 10; ++m) {
        Point& p = points[static_cast<std::size_t>(m) + 2];
        p = Point{0, 0, 0.5f, m == 9 ? kRed : 0xff000000u};
        for (int k = 0; k < 3; ++k) {
            p.x += corner[k][0] * exponents[m][k] / 3.0f;
            p.y += corner[k][1] * exponents[m][k] / 3.0f;
        }
    }
    BindGrid(points);
    Clear(0xff0000ffu);
    const float numSegs[3] = {3, 3, 3};
    const D3DTRIPATCH_INFO info{2, 10, D3DBASIS_BEZIER, D3DDEGREE_CUBIC};
    ASSERT_EQ(device->DrawTriPatch(0, numSegs, &info), D3D_OK);
    const std::vector<std::uint32_t> pixels = ReadTarget();
    // The centroid (-0.267, 0.267) is pixel (23.5, 23.5).
    ExpectPixel(pixels, 23, 23, Rgb(6.0 / 27, 0, 0), 4);
    ExpectPixel(pixels, 8, 8, 0xff000000u, 8);  // near corner 0: black
    ExpectPixel(pixels, 50, 50, 0xff0000ffu);   // beyond the long edge: the clear colour
}

// A handle with a description caches the patch; with no description it draws the cached one (even with the
// streams changed since) until DeletePatch frees it, after which it is unknown.
TEST_F(PatchTest, HandleCachesThePatchUntilDeleted) {
    SetOrthoIdentity();
    const std::vector<Point> grid = Grid(4, 4, 0, 0, 4, 4, [](UINT c, UINT r) {
        return Point{-0.5f + c / 3.0f, 0.5f - r / 3.0f, 0.5f, kGreen};
    });
    BindGrid(grid);
    const float numSegs[4] = {2, 2, 2, 2};
    const D3DRECTPATCH_INFO info{0, 0, 4, 4, 4, D3DBASIS_BEZIER, D3DDEGREE_CUBIC};
    EXPECT_EQ(device->DrawRectPatch(7, numSegs, nullptr), D3DERR_INVALIDCALL);  // nothing cached yet
    ASSERT_EQ(device->DrawRectPatch(7, numSegs, &info), D3D_OK);
    Clear(0);
    ASSERT_EQ(device->DrawRectPatch(7, numSegs, nullptr), D3D_OK);
    ExpectPixel(ReadTarget(), 32, 32, kGreen);
    // Another segment count tessellates the cached description again.
    Clear(0);
    const float more[4] = {6, 6, 6, 6};
    ASSERT_EQ(device->DrawRectPatch(7, more, nullptr), D3D_OK);
    ExpectPixel(ReadTarget(), 32, 32, kGreen);
    EXPECT_EQ(device->DrawTriPatch(7, numSegs, nullptr), D3DERR_INVALIDCALL);  // a rectangle's handle
    EXPECT_EQ(device->DrawRectPatch(0, numSegs, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DeletePatch(7), D3D_OK);
    EXPECT_EQ(device->DrawRectPatch(7, numSegs, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DeletePatch(7), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DeletePatch(0), D3DERR_INVALIDCALL);
}

using NullPatchTest = DeviceTest;

// The capabilities offer rectangle and triangle patches up to quintic, not N-patches; buffers for patches are
// made like any other.
TEST_F(NullPatchTest, CapabilitiesOfferPatches) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_NE(caps.DevCaps & D3DDEVCAPS_RTPATCHES, 0u);
    EXPECT_NE(caps.DevCaps & D3DDEVCAPS_QUINTICRTPATCHES, 0u);
    EXPECT_EQ(caps.DevCaps & D3DDEVCAPS_NPATCHES, 0u);
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(64, D3DUSAGE_RTPATCHES, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
    ib->Release();
}

// What the patch calls refuse: outside a scene, without a vertex input or its stream, control points beyond
// the stream, a basis or degree the patch type does not take, too few points for a span, a triangle without
// its degree's point count. The same calls with good arguments succeed (and draw nothing here).
TEST_F(NullPatchTest, RefusesWhatTheDocumentationRefuses) {
    std::vector<Point> points(36, Point{0, 0, 0.5f, kGreen});
    IDirect3DVertexBuffer9* vb = Filled(device, points.data(), static_cast<UINT>(points.size() * sizeof(Point)));
    ASSERT_NE(vb, nullptr);
    const D3DRECTPATCH_INFO rect{0, 0, 4, 4, 4, D3DBASIS_BEZIER, D3DDEGREE_CUBIC};
    const D3DTRIPATCH_INFO tri{0, 10, D3DBASIS_BEZIER, D3DDEGREE_CUBIC};
    EXPECT_EQ(device->DrawRectPatch(0, nullptr, &rect), D3DERR_INVALIDCALL);  // outside a scene
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawRectPatch(0, nullptr, &rect), D3DERR_INVALIDCALL);  // no vertex input
    device->SetFVF(kPoint);
    EXPECT_EQ(device->DrawTriPatch(0, nullptr, &tri), D3DERR_INVALIDCALL);  // no stream
    device->SetStreamSource(0, vb, 0, sizeof(Point));
    EXPECT_EQ(device->DrawRectPatch(0, nullptr, &rect), D3D_OK);
    EXPECT_EQ(device->DrawTriPatch(0, nullptr, &tri), D3D_OK);
    struct RectCase {
        const char* what;
        D3DRECTPATCH_INFO info;
        HRESULT expected;
    };
    const RectCase rects[] = {
        {"quintic Bezier, 6 x 6", {0, 0, 6, 6, 6, D3DBASIS_BEZIER, D3DDEGREE_QUINTIC}, D3D_OK},
        {"quintic B-spline", {0, 0, 6, 6, 6, D3DBASIS_BSPLINE, D3DDEGREE_QUINTIC}, D3D_OK},
        {"past the stream's end", {1, 5, 6, 6, 6, D3DBASIS_BEZIER, D3DDEGREE_QUINTIC}, D3DERR_INVALIDCALL},
        {"quadratic", {0, 0, 3, 3, 3, D3DBASIS_BEZIER, D3DDEGREE_QUADRATIC}, D3DERR_INVALIDCALL},
        {"linear Catmull-Rom", {0, 0, 4, 4, 4, D3DBASIS_CATMULL_ROM, D3DDEGREE_LINEAR}, D3DERR_INVALIDCALL},
        {"quintic Catmull-Rom", {0, 0, 6, 6, 6, D3DBASIS_CATMULL_ROM, D3DDEGREE_QUINTIC}, D3DERR_INVALIDCALL},
        {"unknown basis", {0, 0, 4, 4, 4, static_cast<D3DBASISTYPE>(3), D3DDEGREE_CUBIC}, D3DERR_INVALIDCALL},
        {"too narrow for a span", {0, 0, 3, 4, 4, D3DBASIS_BSPLINE, D3DDEGREE_CUBIC}, D3DERR_INVALIDCALL},
    };
    for (const RectCase& c : rects) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(device->DrawRectPatch(0, nullptr, &c.info), c.expected);
    }
    struct TriCase {
        const char* what;
        D3DTRIPATCH_INFO info;
        HRESULT expected;
    };
    const TriCase tris[] = {
        {"linear", {0, 3, D3DBASIS_BEZIER, D3DDEGREE_LINEAR}, D3D_OK},
        {"quintic", {0, 21, D3DBASIS_BEZIER, D3DDEGREE_QUINTIC}, D3D_OK},
        {"B-spline", {0, 10, D3DBASIS_BSPLINE, D3DDEGREE_CUBIC}, D3DERR_INVALIDCALL},
        {"cubic with 9 points", {0, 9, D3DBASIS_BEZIER, D3DDEGREE_CUBIC}, D3DERR_INVALIDCALL},
        {"past the stream's end", {30, 10, D3DBASIS_BEZIER, D3DDEGREE_CUBIC}, D3DERR_INVALIDCALL},
    };
    for (const TriCase& c : tris) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(device->DrawTriPatch(0, nullptr, &c.info), c.expected);
    }
    // A refused description is not cached.
    EXPECT_EQ(device->DrawRectPatch(3, nullptr, &rects[3].info), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DeletePatch(3), D3DERR_INVALIDCALL);
    device->EndScene();
    device->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
}

}  // namespace
}  // namespace tarn::d3d9::test
