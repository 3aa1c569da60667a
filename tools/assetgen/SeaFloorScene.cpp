#include "tools/assetgen/SeaFloorScene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <utility>

#include "tools/assetgen/AssetImage.h"

namespace tarn::assetgen {

using trs::TrsMatrix;
using trs::TrsVertex;

namespace {

constexpr float kPi = 3.14159265359f;

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 Normalize(Vec3 v) {
    const float len = std::sqrt(Dot(v, v));
    return len > 1e-12f ? v * (1.0f / len) : Vec3{0, 1, 0};
}

// Mesh under construction; triangles wind so that the cross product of (b - a) and (c - a) points out of the
// front face, which is the face Direct3D keeps with counter-clockwise culling in its left-handed frame.
struct Mesh {
    std::vector<TrsVertex> vertices;
    std::vector<std::uint16_t> indices;

    std::uint16_t add(Vec3 p, Vec3 n, float u, float v) {
        vertices.push_back({p.x, p.y, p.z, n.x, n.y, n.z, u, v});
        return static_cast<std::uint16_t>(vertices.size() - 1);
    }
    Vec3 position(std::uint16_t i) const { return {vertices[i].x, vertices[i].y, vertices[i].z}; }

    // Adds the triangle with its front face towards `outward`.
    void triangle(std::uint16_t a, std::uint16_t b, std::uint16_t c, Vec3 outward) {
        const Vec3 n = Cross(position(b) - position(a), position(c) - position(a));
        if (Dot(n, outward) < 0) std::swap(b, c);
        indices.insert(indices.end(), {a, b, c});
    }

    // Smooth normals: area-weighted sum of the faces around each vertex.
    void smoothNormals() {
        std::vector<Vec3> sum(vertices.size());
        for (std::size_t i = 0; i + 2 < indices.size(); i += 3) {
            const std::uint16_t a = indices[i], b = indices[i + 1], c = indices[i + 2];
            const Vec3 n = Cross(position(b) - position(a), position(c) - position(a));
            sum[a] = sum[a] + n;
            sum[b] = sum[b] + n;
            sum[c] = sum[c] + n;
        }
        for (std::size_t i = 0; i < vertices.size(); ++i) {
            const Vec3 n = Normalize(sum[i]);
            vertices[i].nx = n.x;
            vertices[i].ny = n.y;
            vertices[i].nz = n.z;
        }
    }
};

// Row-vector transform from a yaw about y, then a tilt about x, then a roll about z (each in radians), and a
// translation; no scale, so normals stay unit length under lighting.
TrsMatrix Placement(float yaw, float tilt, float roll, Vec3 at) {
    const float cy = std::cos(yaw), sy = std::sin(yaw);
    const float cx = std::cos(tilt), sx = std::sin(tilt);
    const float cz = std::cos(roll), sz = std::sin(roll);
    const float ry[9] = {cy, 0, -sy, 0, 1, 0, sy, 0, cy};
    const float rx[9] = {1, 0, 0, 0, cx, sx, 0, -sx, cx};
    const float rz[9] = {cz, sz, 0, -sz, cz, 0, 0, 0, 1};
    auto mul = [](const float* a, const float* b, float* out) {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) out[r * 3 + c] = a[r * 3] * b[c] + a[r * 3 + 1] * b[3 + c] + a[r * 3 + 2] * b[6 + c];
    };
    float t[9], m[9];
    mul(ry, rx, t);
    mul(t, rz, m);
    return {m[0], m[1], m[2], 0, m[3], m[4], m[5], 0, m[6], m[7], m[8], 0, at.x, at.y, at.z, 1};
}

// Unit icosphere subdivided `levels` times.
void Icosphere(int levels, std::vector<Vec3>* points, std::vector<std::array<int, 3>>* faces) {
    const float t = (1.0f + std::sqrt(5.0f)) / 2.0f;
    *points = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
               {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    for (Vec3& p : *points) p = Normalize(p);
    *faces = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
              {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
              {3, 8, 9},  {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
    for (int l = 0; l < levels; ++l) {
        std::map<std::pair<int, int>, int> midpoints;
        auto mid = [&](int a, int b) {
            const auto key = std::minmax(a, b);
            const auto it = midpoints.find(key);
            if (it != midpoints.end()) return it->second;
            points->push_back(Normalize(((*points)[a] + (*points)[b]) * 0.5f));
            const int index = static_cast<int>(points->size() - 1);
            midpoints[key] = index;
            return index;
        };
        std::vector<std::array<int, 3>> next;
        for (const auto& f : *faces) {
            const int ab = mid(f[0], f[1]), bc = mid(f[1], f[2]), ca = mid(f[2], f[0]);
            next.push_back({f[0], ab, ca});
            next.push_back({f[1], bc, ab});
            next.push_back({f[2], ca, bc});
            next.push_back({ab, bc, ca});
        }
        *faces = std::move(next);
    }
}

// A lumpy rock: an icosphere pushed out by a few random lobes, flattened, with its base below y = 0.
Mesh Rock(Random& random, float radius, int levels) {
    std::vector<Vec3> points;
    std::vector<std::array<int, 3>> faces;
    Icosphere(levels, &points, &faces);
    Vec3 lobes[5];
    float weights[5];
    for (int i = 0; i < 5; ++i) {
        lobes[i] = Normalize({random.uniform(-1, 1), random.uniform(-0.4f, 1), random.uniform(-1, 1)});
        weights[i] = random.uniform(0.1f, 0.35f);
    }
    const float flatten = random.uniform(0.5f, 0.75f);
    Mesh mesh;
    for (const Vec3& p : points) {
        float r = 1.0f;
        for (int i = 0; i < 5; ++i) r += weights[i] * std::pow(std::max(0.0f, Dot(p, lobes[i])), 3.0f);
        r += random.uniform(-0.05f, 0.05f);
        const Vec3 q = {p.x * r * radius, (p.y * r * flatten + 0.15f) * radius, p.z * r * radius};
        mesh.add(q, p, 0.5f + std::atan2(p.z, p.x) / kPi, 0.5f - p.y * 0.8f);
    }
    for (const auto& f : faces) {
        const Vec3 centre = (mesh.position(static_cast<std::uint16_t>(f[0])) + mesh.position(static_cast<std::uint16_t>(f[1])) +
                             mesh.position(static_cast<std::uint16_t>(f[2]))) * (1.0f / 3.0f);
        mesh.triangle(static_cast<std::uint16_t>(f[0]), static_cast<std::uint16_t>(f[1]), static_cast<std::uint16_t>(f[2]),
                      centre - Vec3{0, 0.15f * radius, 0});
    }
    mesh.smoothNormals();
    return mesh;
}

// A brain-coral mound: the upper half of a bumpy icosphere.
Mesh CoralMound(Random& random, float radius) {
    std::vector<Vec3> points;
    std::vector<std::array<int, 3>> faces;
    Icosphere(2, &points, &faces);
    const float phase = random.uniform(0, 2 * kPi);
    Mesh mesh;
    std::vector<int> remap(points.size(), -1);
    for (const auto& f : faces) {
        if (points[f[0]].y < -0.2f && points[f[1]].y < -0.2f && points[f[2]].y < -0.2f) continue;
        std::uint16_t idx[3];
        for (int k = 0; k < 3; ++k) {
            if (remap[f[k]] < 0) {
                const Vec3& p = points[f[k]];
                const float bump = 1.0f + 0.08f * std::sin(9 * p.x + phase) * std::sin(9 * p.z + 2 * phase) +
                                   0.05f * std::sin(13 * p.y + phase);
                const Vec3 q = {p.x * radius * bump, std::max(p.y, -0.2f) * radius * 0.8f * bump, p.z * radius * bump};
                remap[f[k]] = mesh.add(q, p, 0.5f + p.x * 0.5f, 0.5f + p.z * 0.5f);
            }
            idx[k] = static_cast<std::uint16_t>(remap[f[k]]);
        }
        const Vec3 centre = (mesh.position(idx[0]) + mesh.position(idx[1]) + mesh.position(idx[2])) * (1.0f / 3.0f);
        mesh.triangle(idx[0], idx[1], idx[2], centre);
    }
    mesh.smoothNormals();
    return mesh;
}

// A scallop shell: a ribbed half disc that opens towards +z.
Mesh Shell(float radius) {
    Mesh mesh;
    const int ribs = 8;
    const std::uint16_t hinge = mesh.add({0, 0.3f, 0}, {0, 1, 0}, 0.5f, 0.0f);
    std::vector<std::uint16_t> inner, outer;
    for (int i = 0; i <= ribs; ++i) {
        const float a = kPi * (0.1f + 0.8f * i / ribs);
        const float ridge = (i % 2) ? 0.25f : 0.0f;
        const Vec3 d = {std::cos(a), 0, std::sin(a)};
        inner.push_back(mesh.add(d * (radius * 0.5f) + Vec3{0, radius * (0.35f + ridge * 0.5f), 0}, {0, 1, 0},
                                 0.5f + d.x * 0.25f, 0.5f));
        outer.push_back(mesh.add(d * radius + Vec3{0, radius * (0.15f + ridge), 0}, {0, 1, 0}, 0.5f + d.x * 0.5f, 1.0f));
    }
    for (int i = 0; i < ribs; ++i) {
        mesh.triangle(hinge, inner[i], inner[i + 1], {0, 1, 0});
        mesh.triangle(inner[i], outer[i], outer[i + 1], {0, 1, 0});
        mesh.triangle(inner[i], outer[i + 1], inner[i + 1], {0, 1, 0});
    }
    mesh.smoothNormals();
    return mesh;
}

// A tapered cylinder along +y from 0 to `height`, with a top cap.
Mesh Column(float bottomRadius, float topRadius, float height, int sides, float uRepeat) {
    Mesh mesh;
    std::vector<std::uint16_t> bottom, top;
    for (int i = 0; i <= sides; ++i) {
        const float a = 2 * kPi * i / sides;
        const Vec3 d = {std::cos(a), 0, std::sin(a)};
        const float slope = (bottomRadius - topRadius) / height;
        const Vec3 n = Normalize({d.x, slope, d.z});
        bottom.push_back(mesh.add(d * bottomRadius, n, uRepeat * i / sides, height / 16.0f));
        top.push_back(mesh.add(d * topRadius + Vec3{0, height, 0}, n, uRepeat * i / sides, 0.0f));
    }
    for (int i = 0; i < sides; ++i) {
        const Vec3 out = Normalize(mesh.position(bottom[i]) + mesh.position(bottom[i + 1]));
        mesh.triangle(bottom[i], top[i], top[i + 1], out);
        mesh.triangle(bottom[i], top[i + 1], bottom[i + 1], out);
    }
    const std::uint16_t centre = mesh.add({0, height, 0}, {0, 1, 0}, 0.5f, 0.5f);
    std::vector<std::uint16_t> rim;
    for (int i = 0; i <= sides; ++i) {
        const Vec3 p = mesh.position(top[i]);
        rim.push_back(mesh.add(p, {0, 1, 0}, 0.5f + p.x / (2 * topRadius), 0.5f + p.z / (2 * topRadius)));
    }
    for (int i = 0; i < sides; ++i) mesh.triangle(centre, rim[i], rim[i + 1], {0, 1, 0});
    return mesh;
}

// The wreck's hull: an open boat shape lofted along x, bow and stern closing to points, gunwale rising at the ends.
Mesh Hull(float length, float beam, float depth) {
    Mesh mesh;
    const int stations = 22, around = 10;
    std::vector<std::vector<std::uint16_t>> grid(stations + 1);
    for (int i = 0; i <= stations; ++i) {
        const float s = -1.0f + 2.0f * i / stations;
        const float halfWidth = beam * 0.5f * std::sqrt(std::max(0.0f, 1.0f - std::pow(std::fabs(s), 5.0f)));
        const float rim = 2.0f + 4.0f * s * s;
        const float keel = -depth * (1.0f - 0.6f * s * s);
        for (int j = 0; j <= around; ++j) {
            const float a = kPi * j / around;  // from one gunwale, under the keel, to the other
            const Vec3 p = {s * length * 0.5f, rim + (keel - rim) * std::sin(a), halfWidth * std::cos(a)};
            grid[i].push_back(mesh.add(p, {0, 1, 0}, 4.0f * i / stations, 2.0f * j / around));
        }
    }
    for (int i = 0; i < stations; ++i) {
        for (int j = 0; j < around; ++j) {
            const std::uint16_t a = grid[i][j], b = grid[i + 1][j], c = grid[i][j + 1], d = grid[i + 1][j + 1];
            const Vec3 mid = (mesh.position(a) + mesh.position(d)) * 0.5f;
            const Vec3 out = {0, mid.y - 2.0f, mid.z};  // away from the hull's long axis
            mesh.triangle(a, b, c, out);
            mesh.triangle(c, b, d, out);
        }
    }
    mesh.smoothNormals();
    return mesh;
}

// A seaweed billboard: a quad standing on y = 0, facing -z (the yaw billboard turns it to the camera). Its normal
// leans up so that the light from above reaches it whichever way it is turned.
Mesh SeaweedQuad(float width, float height) {
    Mesh mesh;
    const Vec3 n = Normalize({0, 0.8f, -0.6f});
    const std::uint16_t a = mesh.add({-width / 2, 0, 0}, n, 0, 1);
    const std::uint16_t b = mesh.add({width / 2, 0, 0}, n, 1, 1);
    const std::uint16_t c = mesh.add({-width / 2, height, 0}, n, 0, 0);
    const std::uint16_t d = mesh.add({width / 2, height, 0}, n, 1, 0);
    mesh.triangle(a, c, b, {0, 0, -1});
    mesh.triangle(b, c, d, {0, 0, -1});
    return mesh;
}

// The sand: a square grid whose cells widen away from the centre, reaching beyond the fog's end.
Mesh Terrain(std::uint64_t seed, int cells, float extent, float uvScale) {
    Mesh mesh;
    auto coordinate = [&](int i) {
        const float s = -1.0f + 2.0f * i / cells;
        return extent * (s < 0 ? -1.0f : 1.0f) * std::pow(std::fabs(s), 1.5f);
    };
    for (int iz = 0; iz <= cells; ++iz) {
        for (int ix = 0; ix <= cells; ++ix) {
            const float x = coordinate(ix), z = coordinate(iz);
            const float e = 0.5f;
            const float hx = SeaFloorHeight(x + e, z, seed) - SeaFloorHeight(x - e, z, seed);
            const float hz = SeaFloorHeight(x, z + e, seed) - SeaFloorHeight(x, z - e, seed);
            const Vec3 n = Normalize({-hx, 2 * e, -hz});
            mesh.add({x, SeaFloorHeight(x, z, seed), z}, n, x / uvScale, z / uvScale);
        }
    }
    const int row = cells + 1;
    for (int iz = 0; iz < cells; ++iz) {
        for (int ix = 0; ix < cells; ++ix) {
            const auto v = [&](int x, int z) { return static_cast<std::uint16_t>(z * row + x); };
            mesh.triangle(v(ix, iz), v(ix, iz + 1), v(ix + 1, iz), {0, 1, 0});
            mesh.triangle(v(ix + 1, iz), v(ix, iz + 1), v(ix + 1, iz + 1), {0, 1, 0});
        }
    }
    return mesh;
}

struct Builder {
    trs::TrsScene scene;

    // Adds the mesh's buffers and returns their index (vertex and index buffers are added in step).
    int addBuffers(const Mesh& mesh) {
        scene.vertexBuffers.push_back({mesh.vertices});
        scene.indexBuffers.push_back({mesh.indices});
        return static_cast<int>(scene.vertexBuffers.size() - 1);
    }

    trs::TrsMeshNode& addNode(const std::string& name, int buffers, int material, int texture, const TrsMatrix& matrix) {
        trs::TrsMeshNode node;
        node.name = name;
        node.vertexBuffer = buffers;
        node.indexBuffer = buffers;
        node.material = material;
        node.texture = texture;
        node.matrix = matrix;
        // Bounding sphere around the box of the vertices, in the node's own frame.
        const auto& vertices = scene.vertexBuffers[static_cast<std::size_t>(buffers)].vertices;
        Vec3 lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
        for (const TrsVertex& v : vertices) {
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
        }
        const Vec3 centre = (lo + hi) * 0.5f;
        float radius = 0;
        for (const TrsVertex& v : vertices) {
            const Vec3 d = Vec3{v.x, v.y, v.z} - centre;
            radius = std::max(radius, std::sqrt(Dot(d, d)));
        }
        node.boundCentre = {centre.x, centre.y, centre.z};
        node.boundRadius = radius;
        scene.meshes.push_back(node);
        return scene.meshes.back();
    }
};

enum Material { kSandMaterial, kRockMaterial, kWoodMaterial, kCoralMaterial, kSeaweedMaterial };
enum Texture { kSand, kRock, kWood, kCoral, kSeaweed };

trs::TrsMaterial MakeMaterial(float r, float g, float b, float emissive) {
    trs::TrsMaterial m;
    m.diffuse = {r, g, b, 1};
    m.ambient = {r, g, b, 1};
    m.specular = {0, 0, 0, 0};
    m.emissive = {emissive * r, emissive * g, emissive * b, 0};
    m.power = 0;
    return m;
}

// A quaternion for a rotation of `angle` radians about the unit axis.
trs::TrsRotationKey RotationKey(float time, Vec3 axis, float angle) {
    const float s = std::sin(angle / 2);
    return {time, axis.x * s, axis.y * s, axis.z * s, std::cos(angle / 2)};
}

}  // namespace

float SeaFloorHeight(float x, float z, std::uint64_t seed) {
    const auto s = static_cast<std::uint32_t>(seed * 2654435761u);
    // Long dunes, a noise layer, a gentle bowl under the wreck and a rise in the distance.
    const float dunes = 3.0f * std::sin(x * 0.019f + 0.7f) * std::cos(z * 0.015f) + 1.8f * std::sin((x + 0.6f * z) * 0.041f);
    const float noise = (TileFbm(x / 90.0f + 64.0f, z / 90.0f + 64.0f, 64, 4, s) - 0.5f) * 14.0f;
    const float r = std::sqrt(x * x + z * z);
    const float bowl = -4.0f * std::exp(-((x - 8) * (x - 8) + (z + 10) * (z + 10)) / (2 * 40.0f * 40.0f));
    const float rise = r > 450.0f ? (r - 450.0f) * 0.05f : 0.0f;
    const float centre = std::exp(-r * r / (2 * 120.0f * 120.0f));  // calmer near the middle
    return (dunes + noise) * (1.0f - 0.6f * centre) + bowl + rise;
}

std::size_t SceneTriangleCount(const trs::TrsScene& scene) {
    std::size_t total = 0;
    for (const trs::TrsMeshNode& node : scene.meshes) {
        if (node.indexBuffer >= 0 && static_cast<std::size_t>(node.indexBuffer) < scene.indexBuffers.size())
            total += scene.indexBuffers[static_cast<std::size_t>(node.indexBuffer)].indices.size() / 3;
    }
    return total;
}

trs::TrsScene BuildSeaFloorScene(std::uint64_t seed) {
    Random random(seed);
    Builder b;
    trs::TrsScene& scene = b.scene;
    scene.version = 11;
    scene.textures = {kSandTexture, kRockTexture, kWoodTexture, kCoralTexture, kSeaweedTexture};
    scene.materials = {MakeMaterial(1.0f, 1.0f, 1.0f, 0.0f), MakeMaterial(0.95f, 0.95f, 0.95f, 0.0f),
                       MakeMaterial(1.0f, 0.95f, 0.9f, 0.05f), MakeMaterial(1.0f, 1.0f, 1.0f, 0.1f),
                       MakeMaterial(0.9f, 1.0f, 0.9f, 0.25f)};
    auto ground = [&](float x, float z) { return SeaFloorHeight(x, z, seed); };

    // Sand first: the scene draws in file order and the opaque floor should fill the depth buffer early.
    b.addNode("SeaFloor", b.addBuffers(Terrain(seed, 56, 1200.0f, 40.0f)), kSandMaterial, kSand,
              trs::TrsIdentity());

    // The wreck near the centre, listing to one side and half sunk in the sand.
    const Vec3 wreckAt = {8, ground(8, -10) - 2.0f, -10};
    const int hull = b.addBuffers(Hull(92.0f, 28.0f, 10.0f));
    trs::TrsMeshNode& hullNode =
        b.addNode("WreckHull", hull, kWoodMaterial, kWood, Placement(0.5f, 0.05f, 0.35f, wreckAt));
    hullNode.cullMode = 1;  // D3DCULL_NONE: the open hull shows its inside
    const int hullIndex = static_cast<int>(scene.meshes.size() - 1);
    trs::TrsMeshNode& mast = b.addNode("WreckMast", b.addBuffers(Column(1.6f, 1.1f, 44.0f, 8, 1.0f)), kWoodMaterial,
                                       kWood, Placement(0.5f, 0.0f, -0.55f, wreckAt + Vec3{4, 0, 2}));
    mast.link1 = hullIndex;
    const int rib = b.addBuffers(Column(0.7f, 0.5f, 14.0f, 6, 0.5f));
    for (int i = 0; i < 4; ++i) {
        const float x = -48.0f + 7.0f * i, z = 22.0f + 3.0f * i;
        trs::TrsMeshNode& node = b.addNode("WreckRib" + std::to_string(i), rib, kWoodMaterial, kWood,
                                           Placement(0.3f * i, 0.0f, 0.5f - 0.25f * i, {x, ground(x, z) - 1.0f, z}));
        node.link1 = hullIndex;
    }

    // Ruins: broken columns, one fallen.
    const struct {
        float x, z, height, lie;
    } columns[] = {{-70, 55, 26, 0}, {-52, 70, 15, 0}, {-88, 34, 20, 0}, {-62, 30, 30, 1.5708f}};
    for (const auto& c : columns) {
        const int buffers = b.addBuffers(Column(3.2f, 2.9f, c.height, 12, 2.0f));
        const float y = ground(c.x, c.z) - (c.lie > 0 ? 0.5f : 1.5f);
        b.addNode("Column", buffers, kRockMaterial, kRock, Placement(0.4f, 0.0f, c.lie, {c.x, y + (c.lie > 0 ? 3.0f : 0.0f), c.z}));
    }

    // Rocks around the scene, large ones finer than small ones.
    for (int i = 0; i < 14; ++i) {
        const bool large = i < 6;
        const float angle = random.uniform(0, 2 * kPi);
        const float distance = large ? random.uniform(60, 190) : random.uniform(25, 240);
        const float x = std::cos(angle) * distance, z = std::sin(angle) * distance;
        const float radius = large ? random.uniform(9, 16) : random.uniform(3, 7);
        const int buffers = b.addBuffers(Rock(random, radius, large ? 2 : 1));
        b.addNode("Rock" + std::to_string(i), buffers, kRockMaterial, kRock,
                  Placement(random.uniform(0, 2 * kPi), 0, 0, {x, ground(x, z) - radius * 0.25f, z}));
    }

    // Coral mounds and shells scattered over the sand.
    for (int i = 0; i < 6; ++i) {
        const float angle = random.uniform(0, 2 * kPi), distance = random.uniform(30, 150);
        const float x = std::cos(angle) * distance, z = std::sin(angle) * distance;
        const float radius = random.uniform(4, 8);
        b.addNode("Coral" + std::to_string(i), b.addBuffers(CoralMound(random, radius)), kCoralMaterial, kCoral,
                  Placement(random.uniform(0, 2 * kPi), 0, 0, {x, ground(x, z) - 0.5f, z}));
    }
    const int shell = b.addBuffers(Shell(3.6f));
    for (int i = 0; i < 12; ++i) {
        const float angle = random.uniform(0, 2 * kPi), distance = random.uniform(15, 130);
        const float x = std::cos(angle) * distance, z = std::sin(angle) * distance;
        trs::TrsMeshNode& node = b.addNode("Shell" + std::to_string(i), shell, kCoralMaterial, kCoral,
                                           Placement(random.uniform(0, 2 * kPi), 0, 0, {x, ground(x, z), z}));
        node.cullMode = 1;  // thin: both sides
        if (i == 0) {
            // A clam that opens and closes: a keyed node (the demo itself does not play animations).
            node.name = "ClamAnimated";
            node.positionKeys = {{0, x, ground(x, z), z}, {2, x, ground(x, z) + 0.5f, z}, {4, x, ground(x, z), z}};
            node.rotationKeys = {RotationKey(0, {1, 0, 0}, 0), RotationKey(2, {1, 0, 0}, -0.4f), RotationKey(4, {1, 0, 0}, 0)};
            node.scaleKeys = {{0, 1, 1, 1}, {2, 1.1f, 1.1f, 1.1f}, {4, 1, 1, 1}};
        }
    }

    // Seaweed last: alpha-blended yaw billboards, no depth writes and no culling, drawn over the opaque scene.
    const int weed[3] = {b.addBuffers(SeaweedQuad(9, 18)), b.addBuffers(SeaweedQuad(12, 24)),
                         b.addBuffers(SeaweedQuad(15, 30))};
    for (int clump = 0; clump < 8; ++clump) {
        const float angle = random.uniform(0, 2 * kPi), distance = random.uniform(35, 170);
        const float cx = std::cos(angle) * distance, cz = std::sin(angle) * distance;
        for (int k = 0; k < 3; ++k) {
            const float x = cx + random.uniform(-7, 7), z = cz + random.uniform(-7, 7);
            trs::TrsMeshNode& node = b.addNode("Seaweed" + std::to_string(clump * 3 + k), weed[random.range(0, 2)],
                                               kSeaweedMaterial, kSeaweed, trs::TrsTranslation(x, ground(x, z) - 0.5f, z));
            node.zWriteEnable = 0;
            node.alphaBlendEnable = 1;
            node.srcBlend = 5;   // D3DBLEND_SRCALPHA
            node.destBlend = 6;  // D3DBLEND_INVSRCALPHA
            node.billboard = 1;  // yaw
            node.cullMode = 1;   // D3DCULL_NONE
        }
    }

    // Sunlight from above with a bluish ambient part, and a dim fill from the side.
    trs::TrsLight sun;
    sun.name = "SunLight";
    sun.type = 3;
    const Vec3 sunDirection = Normalize({0.35f, -1.0f, 0.25f});
    sun.direction = {sunDirection.x, sunDirection.y, sunDirection.z};
    sun.diffuse = {0.95f, 0.97f, 1.0f, 1};
    sun.ambient = {0.22f, 0.32f, 0.45f, 1};
    // The node matrix carries the direction as minus its third row.
    {
        const Vec3 f = sunDirection * -1.0f;
        const Vec3 right = Normalize(Cross({0, 0, 1}, f));
        const Vec3 up = Cross(f, right);
        sun.matrix = {right.x, right.y, right.z, 0, up.x, up.y, up.z, 0, f.x, f.y, f.z, 0, 0, 300, 0, 1};
    }
    trs::TrsLight fill = sun;
    fill.name = "FillLight";
    const Vec3 fillDirection = Normalize({-0.8f, -0.3f, -0.5f});
    fill.direction = {fillDirection.x, fillDirection.y, fillDirection.z};
    fill.diffuse = {0.18f, 0.24f, 0.32f, 1};
    fill.ambient = {0.04f, 0.06f, 0.1f, 1};
    fill.rotationKeys = {RotationKey(0, {0, 1, 0}, 0), RotationKey(6, {0, 1, 0}, kPi), RotationKey(12, {0, 1, 0}, 2 * kPi)};
    scene.lights = {sun, fill};

    trs::TrsCamera camera;
    camera.name = "OrbitCamera";
    camera.matrix = trs::TrsTranslation(0, 80, 200);
    camera.eye = {0, 80, 200};
    camera.lookAt = {0, 1, 0};
    camera.up = {0, 1, 0};
    camera.fieldOfView = 0.785398185f;
    camera.farPlane = 1000;
    camera.nearPlane = 2;
    scene.cameras = {camera};

    // Dummies: a path for a fish school (all three key kinds), a bubble vent with user data, a plain marker.
    trs::TrsNode school;
    school.name = "FishSchoolPath";
    for (int k = 0; k <= 8; ++k) {
        const float t = static_cast<float>(k);
        const float a = 2 * kPi * k / 8;
        school.positionKeys.push_back({t, 90 * std::cos(a), 30 + 5 * std::sin(2 * a), 90 * std::sin(a)});
        school.rotationKeys.push_back(RotationKey(t, {0, 1, 0}, -a));
        school.scaleKeys.push_back({t, 1 + 0.1f * std::sin(a), 1, 1 + 0.1f * std::sin(a)});
    }
    trs::TrsNode vent;
    vent.name = "BubbleVent";
    vent.matrix = trs::TrsTranslation(-30, ground(-30, 60), 60);
    const std::string ventData = "bubbles rate=4 size=0.5";
    vent.userData.assign(ventData.begin(), ventData.end());
    trs::TrsNode centre;
    centre.name = "SceneCentre";
    centre.matrix = trs::TrsTranslation(0, 1, 0);
    trs::TrsNode current;
    current.name = "CurrentFlow";
    current.rotationKeys = {RotationKey(0, {0, 1, 0}, 0), RotationKey(10, {0, 1, 0}, 0.5f)};
    scene.dummies = {school, vent, centre, current};
    return scene;
}

}  // namespace tarn::assetgen
