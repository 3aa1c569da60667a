#include "tools/view/SceneBounds.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "scene/Scene.h"

namespace tarn::view {
namespace {

constexpr int kAnimationSamples = 32;
constexpr UINT kVertexStride = 32;  // XYZ | NORMAL | TEX1, the only format the loader makes

// A vertex buffer's positions in its own frame: their box and their largest distance from the origin.
struct LocalExtent {
    SceneBox box;
    float reach = 0;
    bool read = false;
};

LocalExtent ReadExtent(const CTRVertexBuffer& buffer) {
    LocalExtent extent;
    if (buffer.buffer == nullptr || buffer.vertexCount <= 0) return extent;
    const UINT bytes = static_cast<UINT>(buffer.vertexCount) * kVertexStride;
    void* data = nullptr;
    if (FAILED(buffer.buffer->Lock(0, bytes, &data, D3DLOCK_READONLY)) || data == nullptr) return extent;
    const auto* bytesIn = static_cast<const std::uint8_t*>(data);
    for (std::int32_t i = 0; i < buffer.vertexCount; ++i) {
        float p[3];
        std::memcpy(p, bytesIn + static_cast<std::size_t>(i) * kVertexStride, sizeof p);
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
        const D3DXVECTOR3 v(p[0], p[1], p[2]);
        extent.box.Add(v);
        extent.reach = std::max(extent.reach, D3DXVec3Length(&v));
    }
    buffer.buffer->Unlock();
    extent.read = !extent.box.empty;
    return extent;
}

// The local box's eight corners under `matrix` (a box around the turned box), or for a billboard the sphere of
// its reach around the translation.
void AddPlaced(SceneBox& out, const LocalExtent& extent, const D3DXMATRIX& matrix, bool billboard) {
    if (billboard) {
        const D3DXVECTOR3 origin(matrix._41, matrix._42, matrix._43), r(extent.reach, extent.reach, extent.reach);
        out.Add(origin - r);
        out.Add(origin + r);
        return;
    }
    for (int corner = 0; corner < 8; ++corner) {
        const D3DXVECTOR3 local((corner & 1) ? extent.box.maximum.x : extent.box.minimum.x,
                                (corner & 2) ? extent.box.maximum.y : extent.box.minimum.y,
                                (corner & 4) ? extent.box.maximum.z : extent.box.minimum.z);
        D3DXVECTOR3 world;
        D3DXVec3TransformCoord(&world, &local, &matrix);
        if (std::isfinite(world.x) && std::isfinite(world.y) && std::isfinite(world.z)) out.Add(world);
    }
}

}  // namespace

float SceneBox::Radius() const {
    const D3DXVECTOR3 half = (maximum - minimum) * 0.5f;
    return std::max(D3DXVec3Length(&half), 1e-3f);
}

void SceneBox::Add(const D3DXVECTOR3& point) {
    if (empty) {
        minimum = maximum = point;
        empty = false;
        return;
    }
    minimum = D3DXVECTOR3(std::min(minimum.x, point.x), std::min(minimum.y, point.y), std::min(minimum.z, point.z));
    maximum = D3DXVECTOR3(std::max(maximum.x, point.x), std::max(maximum.y, point.y), std::max(maximum.z, point.z));
}

SceneBox BoundsOf(const CTRScene& scene) {
    const auto& buffers = scene.getVertexBuffers();
    std::vector<LocalExtent> extents(buffers.size());
    std::vector<bool> done(buffers.size(), false);
    SceneBox box;
    for (const CTRMeshNode* node : scene.getMeshNodes()) {
        if (node->hidden) continue;
        const std::int32_t vb = node->vertexBufferIndex;
        if (vb < 0 || vb >= static_cast<std::int32_t>(buffers.size())) continue;
        if (!done[vb]) {
            extents[vb] = ReadExtent(*buffers[vb]);
            done[vb] = true;
        }
        LocalExtent extent = extents[vb];
        if (!extent.read) {
            // A buffer that cannot be read back: the bounding sphere the file gives.
            const float r = std::max(node->boundRadius, 0.0f);
            extent.box = SceneBox{};
            extent.box.Add(D3DXVECTOR3(node->boundCentre) - D3DXVECTOR3(r, r, r));
            extent.box.Add(D3DXVECTOR3(node->boundCentre) + D3DXVECTOR3(r, r, r));
            const D3DXVECTOR3 centre(node->boundCentre);
            extent.reach = D3DXVec3Length(&centre) + r;
        }
        const bool billboard = node->billboard >= 1 && node->billboard <= 3;
        AddPlaced(box, extent, node->matrix, billboard);
        if (node->animation && node->animation->length > 0) {
            for (int i = 0; i <= kAnimationSamples; ++i) {
                D3DXMATRIX at;
                // Just short of the length at the end: at the length itself every key list adds nothing.
                const float t = node->animation->length * static_cast<float>(i) / kAnimationSamples * 0.9999f;
                node->animation->evaluate(t, &at);
                AddPlaced(box, extent, at, billboard);
            }
        }
    }
    return box;
}

float FramingDistance(float radius, float fieldOfView, float aspect) {
    const float halfVertical = fieldOfView / 2.0f;
    const float halfHorizontal = std::atan(std::tan(halfVertical) * std::max(aspect, 1e-3f));
    const float half = std::min(halfVertical, halfHorizontal);
    return radius / std::sin(std::max(half, 1e-3f));
}

}  // namespace tarn::view
