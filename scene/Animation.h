// Key-frame animation of a node: position, rotation and scale key lists, and their evaluation at a time into a
// whole transform. Key times are ascending within each list, in whatever unit the application's clock uses.
#pragma once

#include "math/D3DXMath.h"

#include <cstdint>
#include <memory>

struct CTRPositionKey {
    float time;
    float x, y, z;
};
struct CTRRotationKey {
    float time;
    float x, y, z, w;
};
struct CTRScaleKey {
    float time;
    float x, y, z;
};
static_assert(sizeof(CTRPositionKey) == 16 && sizeof(CTRRotationKey) == 20 && sizeof(CTRScaleKey) == 16,
              "key records are read straight from the file");

class CTRAnimation {
public:
    std::int32_t positionKeyCount = 0;
    std::int32_t rotationKeyCount = 0;
    std::int32_t scaleKeyCount = 0;
    float length = 0.0f;  // derived from the last key times while reading
    std::unique_ptr<CTRPositionKey[]> positionKeys;  // null when there are none
    std::unique_ptr<CTRRotationKey[]> rotationKeys;
    std::unique_ptr<CTRScaleKey[]> scaleKeys;

    // Writes the transform at `time` into *out, replacing it whole. Times past `length` wrap; a list adds nothing
    // when the time lies outside its keys, so the rotation stays identity, the scale 1 and the translation 0.
    void evaluate(float time, D3DXMATRIX* out) const;
};
