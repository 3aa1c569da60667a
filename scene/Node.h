// Scene nodes: CTRNode is a named transform with optional user data and key-frame animation (the dummy nodes of
// a scene file); the drawable, light and camera kinds derive from it. A node owns its user data and animation.
#pragma once

#include "math/D3DXMath.h"
#include "scene/Animation.h"

#include <cstdint>
#include <memory>

class CTRSceneReader;

class CTRNode {
public:
    CTRNode();
    virtual ~CTRNode();
    CTRNode(const CTRNode&) = delete;
    CTRNode& operator=(const CTRNode&) = delete;

    // Evaluates the animation, if any, at `time` into `matrix`.
    virtual void update(float time);

    // Reads the node header shared by every kind: name, links, matrix, user data and keys. False on a short
    // file, a negative or oversized length or count, or an allocation failure; the node stays safe to destroy.
    bool readHeader(CTRSceneReader& reader);
    // A plain node is its header alone.
    bool read(CTRSceneReader& reader) { return readHeader(reader); }

    char name[20];
    std::int32_t link1 = -1;  // stored, not interpreted
    std::int32_t link2 = -1;
    D3DXMATRIX matrix;
    std::unique_ptr<std::uint8_t[]> userData;  // opaque; its length is not kept
    std::unique_ptr<CTRAnimation> animation;   // present when any key count was non-zero
};
