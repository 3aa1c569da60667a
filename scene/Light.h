// A light node: its Direct3D light, the light index it is set at and whether the scene enabled it.
#pragma once

#include "platform/d3d9/D3D9.h"
#include "scene/Node.h"

class CTRLight : public CTRNode {
public:
    CTRLight();

    // Evaluates the animation, if any; a point light then takes its position, a directional light its direction
    // (the negated third row), from the matrix. An enabled light is then sent to the device.
    void update(float time) override;

    // Reads the node header, then the 104-byte light; a negative light type fails the read.
    bool read(CTRSceneReader& reader);

    std::uint8_t lightIndex = 0;  // set by the scene's enableLights
    std::uint8_t enabled = 0;
    D3DLIGHT9 light;
};
