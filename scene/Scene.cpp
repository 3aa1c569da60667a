#include "scene/Scene.h"

#include "scene/SceneDevice.h"

namespace {

template <typename T>
void DeleteAll(std::vector<T*>& list) {
    for (T*& item : list) {
        delete item;
        item = nullptr;
    }
    list.clear();
}

}  // namespace

CTRVertexBuffer::~CTRVertexBuffer() {
    if (buffer) {
        buffer->Release();
        buffer = nullptr;
    }
}

CTRIndexBuffer::~CTRIndexBuffer() {
    if (buffer) {
        buffer->Release();
        buffer = nullptr;
    }
}

CTRScene::~CTRScene() {
    // Reverse order of what the load creates: nodes first, then the Direct3D resources, the textures last.
    DeleteAll(dummyNodes);
    DeleteAll(cameras);
    DeleteAll(lights);
    DeleteAll(meshNodes);
    DeleteAll(vertexBuffers);
    DeleteAll(indexBuffers);
    DeleteAll(materials);
    if (textureList) {
        delete textureList;
        textureList = nullptr;
    }
}

bool CTRScene::isEmpty() const {
    return meshNodes.empty() && vertexBuffers.empty() && indexBuffers.empty() && materials.empty() &&
           lights.empty() && cameras.empty() && dummyNodes.empty() && (!textureList || textureList->entries.empty());
}

void CTRScene::enableLights(bool on) {
    IDirect3DDevice9* device = SceneDevice();
    if (!device) return;
    device->SetRenderState(D3DRS_LIGHTING, on ? TRUE : FALSE);
    for (std::size_t i = 0; i < lights.size(); ++i) {
        CTRLight* light = lights[i];
        light->lightIndex = static_cast<std::uint8_t>(i);
        light->enabled = on ? 1 : 0;
        device->SetLight(static_cast<DWORD>(i), &light->light);
        device->LightEnable(static_cast<DWORD>(i), on ? TRUE : FALSE);
    }
}
