// What the viewer frames: the box around everything a loaded scene draws, from the vertices of each mesh node's
// vertex buffer (read back from the managed pool) placed by the node's matrix and by its animation wherever that
// takes it, and the distance at which a camera sees all of it.
#pragma once

#include "math/D3DXMath.h"

class CTRScene;

namespace tarn::view {

struct SceneBox {
    D3DXVECTOR3 minimum{0, 0, 0};
    D3DXVECTOR3 maximum{0, 0, 0};
    bool empty = true;  // nothing drawable: no mesh node with a readable vertex buffer

    D3DXVECTOR3 Centre() const { return (minimum + maximum) * 0.5f; }
    // Half the box's diagonal: the radius of a sphere around Centre() that holds the box; at least a tiny length,
    // so that a scene of one point still has a distance to be seen from.
    float Radius() const;
    void Add(const D3DXVECTOR3& point);
};

// The box of every mesh node that is not hidden, under its current matrix and, for a node with an animation, at
// 32 times over its length too. A billboard node turns to the camera, so it counts as a sphere of its vertices'
// largest distance from its origin, around its translation.
SceneBox BoundsOf(const CTRScene& scene);

// How far from the box's centre an eye must be for a sphere of `radius` to fit a view of vertical field of view
// `fieldOfView` and width / height `aspect`, on both axes.
float FramingDistance(float radius, float fieldOfView, float aspect);

}  // namespace tarn::view
