// The scene container: loads one .TRS file in one pass, owns every resource and node it read (each Direct3D
// resource with one reference per owning record), and draws its mesh nodes through a draw-state cache that sends
// only what differs from the previous node. A failed load keeps what was read; the scene stays safe to draw and
// to destroy.
#pragma once

#include "platform/d3d9/D3D9.h"
#include "scene/Camera.h"
#include "scene/Light.h"
#include "scene/MeshNode.h"
#include "scene/Node.h"
#include "scene/TextureList.h"

#include <cstdint>
#include <vector>

class CTRSceneReader;

struct CTRVertexBuffer {
    ~CTRVertexBuffer();
    std::int32_t vertexCount = 0;
    std::int32_t vertexFormat = 0;  // the flexible vertex format the buffer was created with (274)
    IDirect3DVertexBuffer9* buffer = nullptr;  // one reference owned
};

struct CTRIndexBuffer {
    ~CTRIndexBuffer();
    std::int32_t triangleCount = 0;
    IDirect3DIndexBuffer9* buffer = nullptr;  // one reference owned
};

struct CTRMaterial {
    D3DMATERIAL9 material;
};

class CTRScene {
public:
    CTRScene() = default;
    ~CTRScene();
    CTRScene(const CTRScene&) = delete;
    CTRScene& operator=(const CTRScene&) = delete;

    // Reads `directory` + `fileName`; `directory` is also prefixed verbatim to every relative texture name, so it
    // ends with a separator ("./"). True when the whole file was read and every resource created. A scene that
    // already holds anything refuses a second load before reading.
    bool load(const char* directory, const char* fileName);
    // Why the last load failed, in one line ("" after a successful load), for tools and logs.
    const char* getLoadError() const { return loadError; }

    // Draws every mesh node in file order through the draw-state cache. Called between BeginScene and EndScene.
    void render();
    void drawMesh(const CTRMeshNode& node);

    // Sets D3DRS_LIGHTING to `on` and gives each light its list position as light index and `on` as its state.
    void enableLights(bool on);

    const std::vector<CTRMeshNode*>& getMeshNodes() const { return meshNodes; }
    const std::vector<CTRVertexBuffer*>& getVertexBuffers() const { return vertexBuffers; }
    const std::vector<CTRIndexBuffer*>& getIndexBuffers() const { return indexBuffers; }
    const std::vector<CTRMaterial*>& getMaterials() const { return materials; }
    const std::vector<CTRLight*>& getLights() const { return lights; }
    const std::vector<CTRCamera*>& getCameras() const { return cameras; }
    const std::vector<CTRNode*>& getDummyNodes() const { return dummyNodes; }
    const CTRTextureList* getTextureList() const { return textureList; }
    // Camera `index`, or null when there is none.
    CTRCamera* getCamera(std::size_t index) const { return index < cameras.size() ? cameras[index] : nullptr; }
    // Mesh node `index`, or null; the application may change its matrix or hide it.
    CTRMeshNode* getMeshNode(std::size_t index) const {
        return index < meshNodes.size() ? meshNodes[index] : nullptr;
    }

    // The vertex format last sent; the application writes -1 (unknown) after drawing with formats of its own so
    // that the next vertex-buffer change sends it again.
    std::int32_t getCurrentFVF() const { return currentFVF; }
    void setCurrentFVF(std::int32_t fvf) { currentFVF = fvf; }
    // Likewise for the bindings: -1 makes the next mesh node send its vertex buffer, index buffer and texture
    // again, so a scene drawn after other drawing never uses what that drawing left bound.
    void setCurrentVertexBuffer(std::int32_t index) { currentVertexBuffer = index; }
    void setCurrentIndexBuffer(std::int32_t index) { currentIndexBuffer = index; }
    void setCurrentTexture(std::int32_t index) { currentTexture = index; }
    // Forgets the whole cache (bindings, material, vertex format and the six render states go back to unknown), so
    // that the next mesh node sends all of its state again: for an application whose own drawing changed render
    // states or the material too, or whose device was reset.
    void forgetDrawState();

private:
    bool isEmpty() const;
    bool fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool readFile(CTRSceneReader& reader, const char* directory);
    // Read one buffer record and create its Direct3D buffer; null on success, else why it failed.
    const char* readVertexBuffer(CTRSceneReader& reader);
    const char* readIndexBuffer(CTRSceneReader& reader);

    std::vector<CTRMeshNode*> meshNodes;
    std::vector<CTRVertexBuffer*> vertexBuffers;
    std::vector<CTRIndexBuffer*> indexBuffers;
    std::vector<CTRMaterial*> materials;
    std::vector<CTRLight*> lights;
    std::vector<CTRCamera*> cameras;
    std::vector<CTRNode*> dummyNodes;
    CTRTextureList* textureList = nullptr;
    std::int32_t currentCamera = 0;

    // Draw-state cache: what the scene last sent. 255 in a render-state entry means unknown.
    std::int32_t currentVertexBuffer = -1;
    std::int32_t currentIndexBuffer = -1;
    std::int32_t currentTexture = -1;
    std::int32_t currentMaterial = -1;
    std::uint8_t currentZEnable = 255;
    std::uint8_t currentZWriteEnable = 255;
    std::uint8_t currentAlphaBlendEnable = 255;
    std::uint8_t currentSrcBlend = 255;
    std::uint8_t currentDestBlend = 255;
    std::uint8_t currentCullMode = 255;
    std::int32_t currentFVF = 0;

    bool loaded = false;  // the last load read the whole file
    char loadError[192] = {};
};
