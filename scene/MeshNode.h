// A drawable node: indices of its vertex buffer, index buffer, material and texture in the scene's lists, seven
// render-state bytes, and a bounding sphere. Indices are not checked when read; the draw checks them.
#pragma once

#include "scene/Node.h"

// Version of the scene file being read, shared by the whole process: 10 until a load reads a header. Above 10,
// mesh-node records carry their seven render-state bytes.
extern int g_TRSFileVersion;

class CTRMeshNode : public CTRNode {
public:
    ~CTRMeshNode() override;

    // Evaluates the animation, if any, then moves the world bound centre with the new translation.
    void update(float time) override;

    // Reads the node header, the four indices, the render states (when the file's version is above 10) and the
    // bounding sphere.
    bool read(CTRSceneReader& reader);

    float boundCentre[3] = {0, 0, 0};       // in the node's own frame
    float worldBoundCentre[3] = {0, 0, 0};  // bound centre plus the matrix translation
    float boundRadius = 0;
    std::int32_t materialIndex = -1;  // -1 = none
    std::int32_t textureIndex = -1;   // -1 = none
    std::int32_t vertexBufferIndex = 0;
    std::int32_t indexBufferIndex = 0;
    std::uint8_t zEnable = 1;
    std::uint8_t zWriteEnable = 1;
    std::uint8_t alphaBlendEnable = 0;
    std::uint8_t srcBlend = 2;   // D3DBLEND_ONE
    std::uint8_t destBlend = 1;  // D3DBLEND_ZERO
    std::uint8_t billboard = 0;  // 0 none, 1 yaw, 2 roll, 3 facing; other values draw like 0
    std::uint8_t cullMode = 3;   // D3DCULL_CCW
    std::uint8_t hidden = 0;     // non-zero: the draw skips the node

private:
    void updateWorldBound();
};
