#include "scene/Scene.h"

#include "scene/SceneDevice.h"

namespace {

constexpr UINT kVertexStride = 32;

// The three enables are compared as truth values of what was sent against the node's byte as a number, so a node
// holding 2 sends its state every time while a 1 after a 2 sends nothing.
void UpdateEnable(IDirect3DDevice9* device, D3DRENDERSTATETYPE state, std::uint8_t& cached, std::uint8_t wanted) {
    if (cached == 255 || (cached != 0 ? 1 : 0) != wanted) {
        device->SetRenderState(state, wanted);
        cached = wanted;
    }
}

void UpdateValue(IDirect3DDevice9* device, D3DRENDERSTATETYPE state, std::uint8_t& cached, std::uint8_t wanted) {
    if (cached != wanted) {
        device->SetRenderState(state, wanted);
        cached = wanted;
    }
}

// The node's translation (fourth row and column) under the 3 x 3 rotation of `orientation`.
D3DXMATRIX Billboard(const D3DXMATRIX& node, const D3DXMATRIX& orientation) {
    D3DXMATRIX m = node;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m.m[r][c] = orientation.m[r][c];
    return m;
}

}  // namespace

void CTRScene::forgetDrawState() {
    currentVertexBuffer = currentIndexBuffer = currentTexture = currentMaterial = -1;
    currentZEnable = currentZWriteEnable = currentAlphaBlendEnable = 255;
    currentSrcBlend = currentDestBlend = currentCullMode = 255;
    currentFVF = -1;
}

void CTRScene::render() {
    for (const CTRMeshNode* node : meshNodes) drawMesh(*node);
}

void CTRScene::drawMesh(const CTRMeshNode& node) {
    if (node.hidden) return;
    IDirect3DDevice9* device = SceneDevice();
    if (!device) return;

    const std::int32_t vb = node.vertexBufferIndex;
    if (vb < 0 || vb >= static_cast<std::int32_t>(vertexBuffers.size())) return;
    const CTRVertexBuffer& vertexBuffer = *vertexBuffers[vb];
    if (vb != currentVertexBuffer) {
        device->SetStreamSource(0, vertexBuffer.buffer, 0, kVertexStride);
        if (vertexBuffer.vertexFormat != currentFVF) {
            device->SetFVF(static_cast<DWORD>(vertexBuffer.vertexFormat));
            currentFVF = vertexBuffer.vertexFormat;
        }
        currentVertexBuffer = vb;
    }

    const std::int32_t ib = node.indexBufferIndex;
    if (ib < 0 || ib >= static_cast<std::int32_t>(indexBuffers.size())) return;
    const CTRIndexBuffer& indexBuffer = *indexBuffers[ib];
    if (ib != currentIndexBuffer) {
        device->SetIndices(indexBuffer.buffer);
        currentIndexBuffer = ib;
    }

    // -1 keeps whatever texture is bound; below -1 binds nothing but is remembered.
    const std::int32_t tex = node.textureIndex;
    if (tex != currentTexture && tex != -1) {
        const std::int32_t entries = textureList ? static_cast<std::int32_t>(textureList->entries.size()) : 0;
        if (tex >= entries) return;
        if (tex >= 0) device->SetTexture(0, textureList->entries[tex]->texture);
        currentTexture = tex;
    }

    const std::int32_t mat = node.materialIndex;
    if (mat != currentMaterial && mat != -1) {
        if (mat < 0 || mat >= static_cast<std::int32_t>(materials.size())) return;
        device->SetMaterial(&materials[mat]->material);
        currentMaterial = mat;
    }

    UpdateEnable(device, D3DRS_ZENABLE, currentZEnable, node.zEnable);
    UpdateEnable(device, D3DRS_ZWRITEENABLE, currentZWriteEnable, node.zWriteEnable);
    UpdateEnable(device, D3DRS_ALPHABLENDENABLE, currentAlphaBlendEnable, node.alphaBlendEnable);
    UpdateValue(device, D3DRS_SRCBLEND, currentSrcBlend, node.srcBlend);
    UpdateValue(device, D3DRS_DESTBLEND, currentDestBlend, node.destBlend);
    UpdateValue(device, D3DRS_CULLMODE, currentCullMode, node.cullMode);

    const CTRCamera* camera =
        currentCamera >= 0 && currentCamera < static_cast<std::int32_t>(cameras.size()) ? cameras[currentCamera]
                                                                                         : nullptr;
    const D3DXMATRIX* orientation = nullptr;
    if (camera) {
        switch (node.billboard) {
            case 1: orientation = &camera->yawMatrix; break;
            case 2: orientation = &camera->rollMatrix; break;
            case 3: orientation = &camera->facingMatrix; break;
            default: break;  // 0 and unknown modes draw with the node's own matrix
        }
    }
    if (orientation) {
        const D3DXMATRIX world = Billboard(node.matrix, *orientation);
        device->SetTransform(D3DTS_WORLD, &world);
    } else {
        device->SetTransform(D3DTS_WORLD, &node.matrix);
    }

    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(vertexBuffer.vertexCount), 0,
                                 static_cast<UINT>(indexBuffer.triangleCount));
}
