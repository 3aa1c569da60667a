// Scenes the viewer's tests and benchmark draw, written with the in-tree .TRS writer: a small lit scene with two
// cameras and an animated node, and a large terrain of about a million triangles in meshes of at most 65,535
// vertices. Untextured: the materials give the colours, so the pictures depend on no image file.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "tools/trs/TrsWriter.h"

namespace tarn::viewtest {

// Materials of the small scene, in index order.
inline constexpr int kGreyMaterial = 0;
inline constexpr int kRedMaterial = 1;
inline constexpr int kBlueMaterial = 2;

inline trs::TrsMaterial Coloured(float r, float g, float b) {
    trs::TrsMaterial m;
    m.diffuse = {r, g, b, 1};
    m.ambient = {r, g, b, 1};
    return m;
}

// An axis-aligned box of half size (hx, hy, hz) around `centre` as one vertex and one index buffer, each face with
// its own four vertices and outward normal, wound clockwise seen from outside (the front faces of D3DCULL_CCW).
inline void AddBox(trs::TrsScene& scene, float cx, float cy, float cz, float hx, float hy, float hz) {
    struct Face {
        float n[3], u[3], v[3];  // u x v = n
    } const kFaces[] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},  {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
        {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}, {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
    };
    const float h[3] = {hx, hy, hz}, c[3] = {cx, cy, cz};
    trs::TrsVertexBuffer vb;
    trs::TrsIndexBuffer ib;
    for (const Face& f : kFaces) {
        const auto base = static_cast<std::uint16_t>(vb.vertices.size());
        for (int corner = 0; corner < 4; ++corner) {
            const float su = (corner & 1) ? 1.0f : -1.0f, sv = (corner & 2) ? 1.0f : -1.0f;
            float p[3];
            for (int a = 0; a < 3; ++a) p[a] = c[a] + (f.n[a] + su * f.u[a] + sv * f.v[a]) * h[a];
            vb.vertices.push_back({p[0], p[1], p[2], f.n[0], f.n[1], f.n[2], (su + 1) / 2, (sv + 1) / 2});
        }
        // Corners 0 (-u -v), 1 (+u -v), 2 (-u +v), 3 (+u +v).
        for (int i : {0, 1, 2, 1, 3, 2}) ib.indices.push_back(static_cast<std::uint16_t>(base + i));
    }
    scene.vertexBuffers.push_back(vb);
    scene.indexBuffers.push_back(ib);
}

// A mesh node drawing the last buffers added, with `material`, at `matrix`.
inline trs::TrsMeshNode MeshOfLastBuffers(const trs::TrsScene& scene, const std::string& name, int material,
                                          const trs::TrsMatrix& matrix = trs::TrsIdentity()) {
    trs::TrsMeshNode node;
    node.name = name;
    node.vertexBuffer = static_cast<std::int32_t>(scene.vertexBuffers.size()) - 1;
    node.indexBuffer = static_cast<std::int32_t>(scene.indexBuffers.size()) - 1;
    node.material = material;
    node.matrix = matrix;
    return node;
}

// A directional light shining along `d` (normalised here); its node matrix carries the direction as minus its
// third row, as the engine's lights read it on update.
inline trs::TrsLight DirectionalLight(float dx, float dy, float dz) {
    const float length = std::sqrt(dx * dx + dy * dy + dz * dz);
    dx /= length, dy /= length, dz /= length;
    trs::TrsLight light;
    light.name = "Sun";
    light.type = 3;
    light.direction = {dx, dy, dz};
    light.diffuse = {0.9f, 0.9f, 0.9f, 1};
    light.ambient = {0.25f, 0.25f, 0.25f, 1};
    light.matrix = trs::TrsIdentity();
    light.matrix[8] = -dx, light.matrix[9] = -dy, light.matrix[10] = -dz;
    return light;
}

// The small scene: a grey plate 16 x 16 at y = 0, a red box on it left of the centre, a blue box that slides from
// x = -4 to x = 4 and back over 4 seconds (position keys), one light, and two cameras: 0 looks from the front and
// above at the centre, 1 from the right side, lower and closer. Everything lies within x, z in [-8, 8], y in
// [-0.25, 2].
inline trs::TrsScene TwoCameraScene() {
    trs::TrsScene scene;
    scene.materials = {Coloured(0.6f, 0.6f, 0.6f), Coloured(0.9f, 0.15f, 0.1f), Coloured(0.1f, 0.25f, 0.95f)};
    AddBox(scene, 0, -0.125f, 0, 8, 0.125f, 8);
    scene.meshes.push_back(MeshOfLastBuffers(scene, "Plate", kGreyMaterial));
    AddBox(scene, 0, 1, 0, 1, 1, 1);
    scene.meshes.push_back(MeshOfLastBuffers(scene, "RedBox", kRedMaterial, trs::TrsTranslation(-3, 0, 2)));
    AddBox(scene, 0, 0.75f, 0, 0.75f, 0.75f, 0.75f);
    trs::TrsMeshNode slider = MeshOfLastBuffers(scene, "BlueSlider", kBlueMaterial, trs::TrsTranslation(0, 0, -3));
    slider.positionKeys = {{0, -4, 0, -3}, {2, 4, 0, -3}, {4, -4, 0, -3}};
    scene.meshes.push_back(slider);
    scene.lights = {DirectionalLight(0.4f, -1.0f, 0.6f)};

    trs::TrsCamera front;
    front.name = "FrontCamera";
    front.eye = {0, 9, -16};
    front.lookAt = {0, 0, 0};
    front.farPlane = 100;
    front.nearPlane = 1;
    trs::TrsCamera side;
    side.name = "SideCamera";
    side.eye = {10, 3, 1};
    side.lookAt = {0, 1, 0};
    side.fieldOfView = 0.9f;
    side.farPlane = 60;
    side.nearPlane = 0.5f;
    scene.cameras = {front, side};
    return scene;
}

// The large model: `tiles` x `tiles` terrain tiles of `side` x `side` vertices each (255 x 255 = 65,025 vertices,
// 129,032 triangles a tile: 8 tiles make about a million), rolling hills under one light, seen by one camera.
inline trs::TrsScene LargeTerrainScene(int tilesX = 4, int tilesZ = 2, int side = 255) {
    trs::TrsScene scene;
    scene.materials = {Coloured(0.45f, 0.6f, 0.35f)};
    const float spacing = 1.0f;
    auto height = [](float x, float z) {
        return 6.0f * std::sin(x * 0.031f) * std::cos(z * 0.027f) + 1.5f * std::sin(x * 0.13f + z * 0.11f);
    };
    const float extentX = tilesX * (side - 1) * spacing, extentZ = tilesZ * (side - 1) * spacing;
    for (int tz = 0; tz < tilesZ; ++tz) {
        for (int tx = 0; tx < tilesX; ++tx) {
            trs::TrsVertexBuffer vb;
            trs::TrsIndexBuffer ib;
            const float x0 = tx * (side - 1) * spacing - extentX / 2, z0 = tz * (side - 1) * spacing - extentZ / 2;
            for (int j = 0; j < side; ++j) {
                for (int i = 0; i < side; ++i) {
                    const float x = x0 + i * spacing, z = z0 + j * spacing, e = 0.5f;
                    const float dx = height(x + e, z) - height(x - e, z), dz = height(x, z + e) - height(x, z - e);
                    const float nx = -dx, ny = 2 * e, nz = -dz, n = std::sqrt(nx * nx + ny * ny + nz * nz);
                    vb.vertices.push_back({x, height(x, z), z, nx / n, ny / n, nz / n, 0, 0});
                }
            }
            // Vertex (i, j) is i + side * j; both triangles of a cell are clockwise seen from above.
            for (int j = 0; j + 1 < side; ++j) {
                for (int i = 0; i + 1 < side; ++i) {
                    const auto a = static_cast<std::uint16_t>(i + side * j), b = static_cast<std::uint16_t>(a + side);
                    for (std::uint16_t index :
                         {a, b, static_cast<std::uint16_t>(a + 1), static_cast<std::uint16_t>(a + 1), b,
                          static_cast<std::uint16_t>(b + 1)})
                        ib.indices.push_back(index);
                }
            }
            scene.vertexBuffers.push_back(std::move(vb));
            scene.indexBuffers.push_back(std::move(ib));
            scene.meshes.push_back(MeshOfLastBuffers(scene, "Tile" + std::to_string(scene.meshes.size()), 0));
        }
    }
    scene.lights = {DirectionalLight(0.3f, -1.0f, 0.4f)};
    trs::TrsCamera camera;
    camera.name = "Overview";
    camera.eye = {0, extentX * 0.35f, -extentX * 0.55f};
    camera.lookAt = {0, 0, 0};
    camera.farPlane = extentX * 2;
    camera.nearPlane = 5;
    scene.cameras = {camera};
    return scene;
}

// Triangles the scene draws per frame.
inline std::size_t TriangleCount(const trs::TrsScene& scene) {
    std::size_t triangles = 0;
    for (const auto& mesh : scene.meshes) triangles += scene.indexBuffers[mesh.indexBuffer].indices.size() / 3;
    return triangles;
}

}  // namespace tarn::viewtest
