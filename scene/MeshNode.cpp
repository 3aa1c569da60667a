#include "scene/MeshNode.h"

#include "SceneReader.h"

int g_TRSFileVersion = 10;

CTRMeshNode::~CTRMeshNode() = default;

void CTRMeshNode::update(float time) {
    if (!animation) return;
    animation->evaluate(time, &matrix);
    updateWorldBound();
}

void CTRMeshNode::updateWorldBound() {
    worldBoundCentre[0] = boundCentre[0] + matrix._41;
    worldBoundCentre[1] = boundCentre[1] + matrix._42;
    worldBoundCentre[2] = boundCentre[2] + matrix._43;
}

bool CTRMeshNode::read(CTRSceneReader& reader) {
    if (!readHeader(reader)) return false;
    std::int32_t indices[4];
    if (!reader.read(indices, sizeof indices)) return false;
    vertexBufferIndex = indices[0];
    indexBufferIndex = indices[1];
    materialIndex = indices[2];
    textureIndex = indices[3];
    if (g_TRSFileVersion > 10) {
        std::uint8_t states[7];
        if (!reader.read(states, sizeof states)) return false;
        zEnable = states[0];
        zWriteEnable = states[1];
        alphaBlendEnable = states[2];
        srcBlend = states[3];
        destBlend = states[4];
        billboard = states[5];
        cullMode = states[6];
    }
    float bound[4];
    if (!reader.read(bound, sizeof bound)) return false;
    boundCentre[0] = bound[0];
    boundCentre[1] = bound[1];
    boundCentre[2] = bound[2];
    boundRadius = bound[3];
    updateWorldBound();
    return true;
}
