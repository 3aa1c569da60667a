#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "tests/tools/import/ImportTestSupport.h"

using namespace tarn::import;
using namespace tarn::import::test;
using tarn::trs::TrsVertex;

namespace {

Vec3d P(const TrsVertex& v) { return {v.x, v.y, v.z}; }
Vec3d N(const TrsVertex& v) { return {v.nx, v.ny, v.nz}; }

// The face normal by the plain cross product of (b - a) and (c - a).
Vec3d FaceNormal(const MeshPart& part, std::size_t t) {
    const auto& v = part.vertices.vertices;
    const auto& i = part.indices.indices;
    const Vec3d a = P(v[i[3 * t]]), b = P(v[i[3 * t + 1]]), c = P(v[i[3 * t + 2]]);
    return Normalised(Cross(b - a, c - a), {});
}

ModelMesh Triangle() {
    ModelMesh m;
    m.name = "tri";
    m.positions = {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}};  // counter-clockwise seen from +z
    m.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    m.uvs = {{0, 0}, {1, 0}, {0, 1}};
    m.indices = {0, 1, 2};
    return m;
}

// A cube of 8 shared corners and 12 triangles, counter-clockwise seen from outside, without normals.
ModelMesh SharedCube() {
    ModelMesh m;
    m.name = "cube";
    for (int i = 0; i < 8; ++i) m.positions.push_back({float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)});
    const std::uint32_t faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                       {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& f : faces) {
        for (std::uint32_t k : {f[0], f[1], f[2], f[0], f[2], f[3]}) m.indices.push_back(k);
    }
    return m;
}

TEST(ImportGeometry, MirrorsZReversesWindingAndCountsVFromTheTop) {
    const std::vector<MeshPart> parts = BuildMeshParts(Triangle(), UpAxis::Y, Mat3{}, nullptr);
    ASSERT_EQ(parts.size(), 1u);
    const auto& v = parts[0].vertices.vertices;
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(P(v[1]).x, 1);
    EXPECT_EQ(P(v[1]).z, -1);  // z mirrored
    EXPECT_EQ(N(v[0]).z, -1);
    EXPECT_EQ(v[0].u, 0);
    EXPECT_EQ(v[0].v, 1);  // v = 1 - v
    EXPECT_EQ(v[2].v, 0);
    EXPECT_EQ(parts[0].indices.indices, (std::vector<std::uint16_t>{0, 2, 1}));
    // The reversed order keeps the face's plain cross product on the side of its normals: the triangle that faced
    // the model's viewer faces the engine's, and is wound clockwise for it.
    EXPECT_GT(Dot(FaceNormal(parts[0], 0), N(v[0])), 0.999);
}

TEST(ImportGeometry, ZUpExchangesYAndZ) {
    const std::vector<MeshPart> parts = BuildMeshParts(Triangle(), UpAxis::Z, Mat3{}, nullptr);
    const auto& v = parts[0].vertices.vertices;
    EXPECT_EQ(P(v[2]).y, 1);  // the model's z
    EXPECT_EQ(P(v[2]).z, 1);  // the model's y
    EXPECT_EQ(N(v[0]).y, 1);
    EXPECT_GT(Dot(FaceNormal(parts[0], 0), N(v[0])), 0.999);
}

TEST(ImportGeometry, StretchIsBakedAndAReflectingOneKeepsTheOrder) {
    Mat3 twice = Scaling(2);
    twice.m[1][1] = 3;  // x 2, y 3, z 2
    const std::vector<MeshPart> scaled = BuildMeshParts(Triangle(), UpAxis::Y, twice, nullptr);
    const auto& v = scaled[0].vertices.vertices;
    EXPECT_EQ(P(v[1]).x, 2);
    EXPECT_EQ(P(v[2]).y, 3);
    EXPECT_EQ(P(v[0]).z, -2);
    EXPECT_NEAR(Length(N(v[0])), 1, 1e-6);  // normals stay unit
    EXPECT_EQ(scaled[0].indices.indices, (std::vector<std::uint16_t>{0, 2, 1}));

    Mat3 mirror;
    mirror.m[0][0] = -1;
    const std::vector<MeshPart> mirrored = BuildMeshParts(Triangle(), UpAxis::Y, mirror, nullptr);
    EXPECT_EQ(mirrored[0].indices.indices, (std::vector<std::uint16_t>{0, 1, 2}));
    EXPECT_GT(Dot(FaceNormal(mirrored[0], 0), N(mirrored[0].vertices.vertices[0])), 0.999);
}

TEST(ImportGeometry, NormalsAreMadeAndSplitAtCreases) {
    GeometryReport report;
    const std::vector<MeshPart> parts = BuildMeshParts(SharedCube(), UpAxis::Y, Mat3{}, &report);
    EXPECT_TRUE(report.normalsMade);
    ASSERT_EQ(parts.size(), 1u);
    // Every corner of a cube leans 54.7 degrees from the corner's mean: all split, four vertices a face.
    EXPECT_EQ(parts[0].vertices.vertices.size(), 24u);
    for (std::size_t t = 0; t < 12; ++t) {
        const Vec3d face = FaceNormal(parts[0], t);
        for (int k = 0; k < 3; ++k) {
            const TrsVertex& v = parts[0].vertices.vertices[parts[0].indices.indices[3 * t + k]];
            EXPECT_GT(Dot(face, N(v)), 0.999) << "triangle " << t;
        }
        // Outward: away from the cube's centre (0.5, 0.5, -0.5 in the engine's frame).
        const TrsVertex& a = parts[0].vertices.vertices[parts[0].indices.indices[3 * t]];
        EXPECT_GT(Dot(face, P(a) - Vec3d{0.5, 0.5, -0.5}), 0);
    }
}

TEST(ImportGeometry, SmoothSurfacesKeepTheirSharedVertices) {
    // A gently folded strip (10 degrees between neighbours) keeps one vertex per position.
    ModelMesh m;
    for (int i = 0; i <= 4; ++i) {
        const float a = 0.1745f * i;
        m.positions.push_back({std::sin(a) * 4, 0, std::cos(a) * 4});
        m.positions.push_back({std::sin(a) * 4, 1, std::cos(a) * 4});
    }
    for (std::uint32_t i = 0; i < 4; ++i) {
        for (std::uint32_t k : {2 * i, 2 * i + 2, 2 * i + 3, 2 * i, 2 * i + 3, 2 * i + 1}) m.indices.push_back(k);
    }
    const std::vector<MeshPart> parts = BuildMeshParts(m, UpAxis::Y, Mat3{}, nullptr);
    EXPECT_EQ(parts[0].vertices.vertices.size(), 10u);
    // A middle vertex's normal points outward, between the directions of the faces around it (10 to 25 degrees
    // round from +z, which is -z in the engine's frame).
    const TrsVertex& mid = parts[0].vertices.vertices[4];
    const double angle = std::atan2(N(mid).x, -N(mid).z);
    EXPECT_GT(angle, 0.26);
    EXPECT_LT(angle, 0.44);
    EXPECT_NEAR(N(mid).y, 0, 1e-9);
}

TEST(ImportGeometry, MoreThan65535VerticesAreSplitIntoParts) {
    // 70,000 separate triangles: 210,000 vertices, 21,845 triangles to a full part.
    ModelMesh m;
    const std::uint32_t triangles = 70000;
    for (std::uint32_t t = 0; t < triangles; ++t) {
        const float x = float(t);
        m.positions.insert(m.positions.end(), {{x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0}});
        m.normals.insert(m.normals.end(), 3, Vec3{0, 0, 1});
        m.indices.insert(m.indices.end(), {3 * t, 3 * t + 1, 3 * t + 2});
    }
    const std::vector<MeshPart> parts = BuildMeshParts(m, UpAxis::Y, Mat3{}, nullptr);
    ASSERT_EQ(parts.size(), 4u);
    std::size_t total = 0;
    float nextX = 0;
    for (const MeshPart& p : parts) {
        EXPECT_LE(p.vertices.vertices.size(), kMaxPartVertices);
        for (std::uint16_t i : p.indices.indices) ASSERT_LT(i, p.vertices.vertices.size());
        // Triangles stay in their order across the parts.
        for (std::size_t t = 0; t < p.indices.indices.size() / 3; ++t) {
            EXPECT_EQ(p.vertices.vertices[p.indices.indices[3 * t]].x, nextX);
            nextX += 1;
        }
        total += p.indices.indices.size() / 3;
    }
    EXPECT_EQ(total, triangles);
    EXPECT_EQ(parts[0].indices.indices.size() / 3, 21845u);
}

TEST(ImportGeometry, SharedVerticesStayTogetherAcrossAPartBoundary) {
    // A grid of 300 x 300 quads shares its vertices: 90,601 of them, two parts, none past the limit.
    ModelMesh m;
    const std::uint32_t n = 300;
    for (std::uint32_t y = 0; y <= n; ++y) {
        for (std::uint32_t x = 0; x <= n; ++x) m.positions.push_back({float(x), float(y), 0});
    }
    m.normals.assign(m.positions.size(), Vec3{0, 0, 1});
    for (std::uint32_t y = 0; y < n; ++y) {
        for (std::uint32_t x = 0; x < n; ++x) {
            const std::uint32_t a = y * (n + 1) + x, b = a + 1, c = a + n + 1, d = c + 1;
            m.indices.insert(m.indices.end(), {a, b, d, a, d, c});
        }
    }
    const std::vector<MeshPart> parts = BuildMeshParts(m, UpAxis::Y, Mat3{}, nullptr);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].indices.indices.size() / 3 + parts[1].indices.indices.size() / 3, 2u * n * n);
    for (const MeshPart& p : parts) EXPECT_LE(p.vertices.vertices.size(), kMaxPartVertices);
    // Vertices repeat only along the boundary between the parts.
    EXPECT_LT(parts[0].vertices.vertices.size() + parts[1].vertices.vertices.size(), m.positions.size() + 2 * (n + 1));
}

TEST(ImportGeometry, NonFiniteValuesBecomeZeroAndAreCounted) {
    ModelMesh m = Triangle();
    m.positions[1].x = std::nanf("");
    m.normals[2].y = INFINITY;
    m.uvs[0].x = -INFINITY;
    GeometryReport report;
    const std::vector<MeshPart> parts = BuildMeshParts(m, UpAxis::Y, Mat3{}, &report);
    EXPECT_EQ(report.nonFinite, 3u);
    const auto& v = parts[0].vertices.vertices;
    EXPECT_EQ(v[1].x, 0);
    EXPECT_TRUE(std::isfinite(v[2].ny));
    EXPECT_EQ(v[0].u, 0);
    EXPECT_TRUE(std::isfinite(parts[0].radius));
}

TEST(ImportGeometry, NoTrianglesNoParts) {
    ModelMesh m = Triangle();
    m.indices.clear();
    m.lines = 3;
    EXPECT_TRUE(BuildMeshParts(m, UpAxis::Y, Mat3{}, nullptr).empty());
}

TEST(ImportGeometry, BoundingSphereHoldsEveryVertex) {
    const std::vector<MeshPart> parts = BuildMeshParts(SharedCube(), UpAxis::Y, Mat3{}, nullptr);
    EXPECT_NEAR(parts[0].centre.x, 0.5, 1e-9);
    EXPECT_NEAR(parts[0].centre.z, -0.5, 1e-9);
    EXPECT_NEAR(parts[0].radius, std::sqrt(0.75), 1e-6);
}

TEST(ImportGeometry, WarningsNameWhatWasDroppedAndWhere) {
    ModelMesh m = Triangle();
    m.points = 2, m.lines = 1, m.bones = 3, m.morphTargets = 1, m.colourSets = 1, m.extraUvSets = 2;
    std::vector<std::string> w;
    MeshWarnings(m, "mesh 'tri' (node 'n')", w);
    ASSERT_EQ(w.size(), 5u);
    EXPECT_EQ(w[0], "mesh 'tri' (node 'n'): 1 line and 2 points dropped (the format draws triangles)");
    EXPECT_EQ(w[1], "mesh 'tri' (node 'n'): skin of 3 bones dropped (drawn in its bind pose)");
    EXPECT_EQ(w[2], "mesh 'tri' (node 'n'): 1 morph target dropped");
    EXPECT_EQ(w[3], "mesh 'tri' (node 'n'): 1 vertex colour set dropped");
    EXPECT_EQ(w[4], "mesh 'tri' (node 'n'): 2 texture-coordinate sets after the first dropped");
}

}  // namespace
