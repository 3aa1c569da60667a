#include "demo/SeaSceneApp.h"

#include <cmath>
#include <new>

#include "render/FrameRate.h"
#include "render/Renderer.h"
#include "report/ErrorBox.h"
#include "scene/Scene.h"
#include "water/ColorFilter.h"
#include "water/ImageWave.h"
#include "water/WaterImage.h"

namespace {

constexpr D3DCOLOR kClearColor = 0x00004080;  // alpha 0, red 0, green 64, blue 128: the sea, also the fog colour

// Before each scene draw the scene's draw-state cache must forget the bindings: the effects change stream 0, the
// indices, texture stage 0 and the vertex format between two scene draws (the wave grid leaves its own buffers and
// the render-target texture bound), and the scene sends only what differs from its cache. Drawing from the grid's
// buffers, or sampling the texture being drawn into, must never happen.
void PrepareSceneBindings(CTRScene& scene) {
    scene.setCurrentFVF(-1);
    scene.setCurrentVertexBuffer(-1);
    scene.setCurrentIndexBuffer(-1);
    scene.setCurrentTexture(-1);
}

IDirect3DDevice9* Device() { return GetRenderer()->GetDevice(); }

}  // namespace

CSeaSceneApp::CSeaSceneApp()
    : CTRApplication("Tarn Engine 1.0v", 800, 600, false),
      colorFilter(nullptr),
      camera(nullptr),
      scene(nullptr),
      imageWave(nullptr),
      waterImage(nullptr) {}

CSeaSceneApp::~CSeaSceneApp() = default;

CTRApplication* CreateApplication() { return new (std::nothrow) CSeaSceneApp(); }

D3DXVECTOR3 CSeaSceneApp::OrbitEye(float frameTime) {
    const float a = frameTime * 0.5f;
    return D3DXVECTOR3(std::sin(a) * 200.0f, 80.0f, std::cos(a) * 200.0f);
}

bool CSeaSceneApp::Initialize() {
    scene = new (std::nothrow) CTRScene();
    if (!scene || !scene->load("./", "SeaSimpleMap.TRS")) {
        ErrorBox("SimpleMap.TRS파일 읽기 실패");
        return false;
    }

    camera = scene->getCamera(0);
    if (!camera) {
        ErrorBox("Camera 읽기 실패");
        return false;
    }

    IDirect3DDevice9* device = Device();
    colorFilter = new (std::nothrow) ColorFilter();
    if (!colorFilter || !colorFilter->Create(device, static_cast<unsigned>(width), static_cast<unsigned>(height))) {
        ErrorBox("ColorFilter 생성 실패");
        return false;
    }
    colorFilter->SetColor(D3DXCOLOR(0.0f, 0.0f, 0.3f, 1.0f));

    D3DDISPLAYMODE mode;
    if (FAILED(GetRenderer()->GetD3D()->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode))) return false;

    imageWave = new (std::nothrow) ImageWave();
    if (!imageWave ||
        !imageWave->Create(mode.Format, device, static_cast<unsigned>(width), static_cast<unsigned>(height))) {
        ErrorBox("ImageWave 생성 실패");
        return false;
    }

    waterImage = new (std::nothrow) CTRWaterImage();
    if (!waterImage || !waterImage->Create(device)) {
        ErrorBox("CTRWaterImage 생성 실패");
        return false;
    }
    return true;
}

void CSeaSceneApp::Frame() {
    if (!frameRate->Update()) return;
    IDirect3DDevice9* device = Device();

    const D3DXVECTOR3 eye = OrbitEye(frameRate->GetFrameTime());
    const D3DXVECTOR3 lookAt(0.0f, 1.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    camera->setLookAt(eye, lookAt, up);

    // First pass: the scene, lit by the caustics and tinted, into the wave's texture.
    if (imageWave->BeginCapture()) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClearColor, 1.0f, 0);
        if (SUCCEEDED(device->BeginScene())) {
            const float elapsed = frameRate->GetElapsedTime();
            D3DXMATRIX cameraWorld;
            D3DXMatrixInverse(&cameraWorld, nullptr, &camera->getViewMatrix());
            waterImage->Begin(elapsed, &camera->getProjectionMatrix(), &cameraWorld);
            PrepareSceneBindings(*scene);
            scene->render();
            waterImage->End();
            colorFilter->Render();
            device->EndScene();
        }
        imageWave->EndCapture();
    }

    // Second pass: the captured picture through the rippling grid, into the back buffer.
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClearColor, 1.0f, 0);
    if (SUCCEEDED(device->BeginScene())) {
        imageWave->Render();
        device->EndScene();
    }
    device->Present(nullptr, nullptr, nullptr, nullptr);
}

void CSeaSceneApp::Shutdown() {
    if (waterImage) {
        waterImage->Release();
        delete waterImage;
        waterImage = nullptr;
    }
    if (imageWave) {
        imageWave->Release();
        delete imageWave;
        imageWave = nullptr;
    }
    if (colorFilter) {
        delete colorFilter;
        colorFilter = nullptr;
    }
    if (scene) {
        delete scene;  // also deletes the camera it owns
        scene = nullptr;
        camera = nullptr;
    }
}

bool CSeaSceneApp::MsgProc(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (message == WM_KEYUP && wParam == VK_ESCAPE) {
        DestroyWindow(window);
        return true;
    }
    return false;
}
