#include "tools/view/ViewerApp.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "render/FrameRate.h"
#include "render/Renderer.h"
#include "report/ErrorBox.h"
#include "scene/Scene.h"
#include "water/ColorFilter.h"
#include "water/ImageWave.h"
#include "water/WaterImage.h"

namespace tarn::view {
namespace {

IDirect3DDevice9* Device() { return GetRenderer()->GetDevice(); }

// The auto-planes' depth range: the far plane at most this many times the near one, for the 16-bit depth buffer.
constexpr float kDepthRange = 2000.0f;

const char* FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

}  // namespace

ViewerApp::ViewerApp(ViewerOptions newOptions, std::string newWaterDirectory)
    : CTRApplication("Tarn Viewer", newOptions.width, newOptions.height, false),
      options(std::move(newOptions)),
      waterDirectory(std::move(newWaterDirectory)) {
    playing = !options.paused;
}

ViewerApp::~ViewerApp() = default;

bool ViewerApp::Initialize() {
    presentParameters = GetRenderer()->GetPresentParameters();
    backBufferWidth = presentParameters.BackBufferWidth;
    backBufferHeight = presentParameters.BackBufferHeight;
    displayFormat = presentParameters.BackBufferFormat;
    ClientSize(&clientWidth, &clientHeight);

    // The engine makes a fixed popup; the viewer's window has a frame the user can drag. The frame goes around the
    // client area the device was made for, so the client keeps its size and no reset is needed yet.
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(WS_OVERLAPPEDWINDOW));
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    const std::string title = std::string(FileNameOf(options.scenePath)) + " - Tarn Viewer";
    SetWindowTextA(window, title.c_str());

    if (!LoadScene()) return false;
    // One white texel, for the nodes that have no texture of their own (managed: it survives a reset).
    IDirect3DDevice9* device = Device();
    D3DLOCKED_RECT texel;
    if (SUCCEEDED(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &white, nullptr)) &&
        SUCCEEDED(white->LockRect(0, &texel, nullptr, 0))) {
        *static_cast<DWORD*>(texel.pBits) = 0xFFFFFFFF;
        white->UnlockRect(0);
    }
    const bool water = CreateWater();
    ApplyDeviceState();

    if (options.camera >= 0) {
        if (options.camera >= static_cast<int>(cameras.size())) {
            ErrorBox("%s has %zu camera(s); there is no camera %d", options.scenePath.c_str(), cameras.size(),
                     options.camera);
            return false;
        }
        SelectView(options.camera);
    } else {
        SelectView(-1);
    }
    if (options.water && water) SetWater(true);
    return true;
}

bool ViewerApp::LoadScene() {
    scene = new (std::nothrow) CTRScene();
    // The directory is prefixed to the file and to every texture name the file gives.
    const std::string& path = options.scenePath;
    const std::size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    const std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!scene || !scene->load(directory.c_str(), fileName.c_str())) {
        ErrorBox("%s: %s", path.c_str(), scene ? scene->getLoadError() : "out of memory");
        return false;
    }
    for (const CTRCamera* camera : scene->getCameras()) {
        cameras.push_back(
            {camera->eye, camera->lookAt, camera->up, camera->fieldOfView, camera->nearPlane, camera->farPlane});
    }
    headlight = scene->getLights().empty();
    bounds = BoundsOf(*scene);
    return true;
}

// The water effects are optional: without their caustic frames (or their render target) the viewer shows the
// scene alone and says why, once.
bool ViewerApp::CreateWater() {
    colorFilter = new (std::nothrow) ColorFilter();
    imageWave = new (std::nothrow) ImageWave();
    waterImage = new (std::nothrow) CTRWaterImage();
    if (!colorFilter || !imageWave || !waterImage) {
        std::fprintf(stderr, "tarn-view: no water effects: out of memory\n");
    } else if (!waterImage->Create(Device(), waterDirectory.c_str())) {
        int missing = 0;
        while (missing < CTRWaterImage::kFrames && waterImage->GetFrame(missing)) ++missing;
        std::fprintf(stderr, "tarn-view: no water effects: %sWater/caust%d.tga cannot be read (see --water-dir)\n",
                     waterDirectory.c_str(), missing);
    } else if (CreateDefaultPoolResources()) {
        return true;
    }
    DeleteWater();
    return false;
}

void ViewerApp::DeleteWater() {
    waterOn = false;
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
    delete colorFilter;
    colorFilter = nullptr;
}

// The wave's render target (the default pool) and the tint's quad, both the back buffer's size.
bool ViewerApp::CreateDefaultPoolResources() {
    IDirect3DDevice9* device = Device();
    colorFilter->Create(device, backBufferWidth, backBufferHeight);
    colorFilter->SetColor(D3DXCOLOR(0.0f, 0.0f, 0.3f, 1.0f));
    if (imageWave->Create(displayFormat, device, backBufferWidth, backBufferHeight)) return true;
    std::fprintf(stderr, "tarn-view: no water effects: no %u x %u render target\n", backBufferWidth, backBufferHeight);
    return false;
}

void ViewerApp::ReleaseDefaultPoolResources() {
    if (imageWave) imageWave->Release();
}

void ViewerApp::ApplyDeviceState() {
    IDirect3DDevice9* device = Device();
    // For mesh nodes without a material of their own, until one with a material has been drawn.
    D3DMATERIAL9 material{};
    material.Diffuse = {1, 1, 1, 1};
    material.Ambient = {1, 1, 1, 1};
    device->SetMaterial(&material);
    if (headlight) {
        // A scene without lights would be black: a white light from the eye (set every frame) and a little
        // ambient light for the faces it misses.
        device->SetRenderState(D3DRS_LIGHTING, TRUE);
        device->SetRenderState(D3DRS_AMBIENT, 0x00404040);
        device->LightEnable(0, TRUE);
    } else {
        scene->enableLights(true);
    }
    if (waterImage) waterImage->SetStates();
    scene->forgetDrawState();
}

void ViewerApp::Shutdown() {
    if (window && GetCapture() == window) ReleaseCapture();
    DeleteWater();
    if (white) {
        white->Release();
        white = nullptr;
    }
    if (scene) {
        delete scene;
        scene = nullptr;
    }
}

// ---- Views ----

void ViewerApp::SelectView(int camera) {
    View next;
    if (camera >= 0 && camera < static_cast<int>(cameras.size())) {
        const SceneCamera& c = cameras[static_cast<std::size_t>(camera)];
        next.camera = camera;
        next.orbit.LookAt(c.eye, c.lookAt, c.up);
        next.fieldOfView = c.fieldOfView;
        next.nearPlane = c.nearPlane;
        next.farPlane = c.farPlane;
        next.ownPlanes = true;
    } else {
        int w = 0, h = 0;
        ClientSize(&w, &h);
        const float radius = bounds.empty ? 1.0f : bounds.Radius();
        const float distance = FramingDistance(radius, kFramingFieldOfView, static_cast<float>(w) / h);
        next.orbit.Orbit(bounds.Centre(), distance, kFramingYaw, kFramingPitch);
    }
    view = next;
}

void ViewerApp::NextView() {
    const int count = static_cast<int>(cameras.size());
    SelectView(view.camera + 1 < count ? view.camera + 1 : -1);
}

void ViewerApp::Moved() { view.ownPlanes = false; }

bool ViewerApp::SetPlaying(bool play) {
    playing = play;
    return true;
}

bool ViewerApp::SetWater(bool on) {
    if (on && !waterImage) return false;
    waterOn = on;
    return true;
}

void ViewerApp::ClientSize(int* w, int* h) const {
    RECT client{};
    if (window && GetClientRect(window, &client) && client.right > 0 && client.bottom > 0) {
        *w = client.right;
        *h = client.bottom;
    } else if (clientWidth > 0 && clientHeight > 0) {
        *w = clientWidth;  // minimised: the last real size
        *h = clientHeight;
    } else {
        *w = width;
        *h = height;
    }
}

D3DXMATRIX ViewerApp::ProjectionMatrix() const {
    int w = 0, h = 0;
    ClientSize(&w, &h);
    float nearPlane = view.nearPlane, farPlane = view.farPlane;
    if (!view.ownPlanes) {
        // Everything the scene holds between the planes, wherever the eye is.
        const D3DXVECTOR3 eye = view.orbit.Eye(), centre = bounds.Centre();
        const D3DXVECTOR3 toCentre = centre - eye;
        const float distance = D3DXVec3Length(&toCentre), radius = (bounds.empty ? 1.0f : bounds.Radius()) * 1.05f;
        farPlane = distance + radius;
        nearPlane = std::max(distance - radius, farPlane / kDepthRange);
    }
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, view.fieldOfView, static_cast<float>(w) / static_cast<float>(h), nearPlane,
                               farPlane);
    return projection;
}

// ---- Frames ----

void ViewerApp::UpdateNodes(float time) {
    for (CTRMeshNode* node : scene->getMeshNodes()) node->update(time);
    for (CTRLight* light : scene->getLights()) light->update(time);
    for (CTRNode* node : scene->getDummyNodes()) node->update(time);
}

void ViewerApp::Frame() {
    if (!frameRate->Update()) return;
    IDirect3DDevice9* device = Device();
    if (resetWanted && !ResetDevice()) return;  // lost: nothing can be drawn until a reset succeeds

    const float elapsed = frameRate->GetElapsedTime();
    if (playing) {
        animationTime += elapsed;
        UpdateNodes(animationTime);
    }

    // Camera 0 carries the view, so that the scene turns its billboards to the viewer's eye; the scene's cameras
    // as the file placed them are kept apart (cameras).
    const D3DXMATRIX viewMatrix = ViewMatrix(), projection = ProjectionMatrix();
    CTRCamera* carrier = scene->getCamera(0);
    const D3DXVECTOR3 eye = view.orbit.Eye();
    carrier->setLookAt(eye, view.orbit.Target(), view.orbit.Up());
    carrier->projectionMatrix = projection;
    device->SetTransform(D3DTS_PROJECTION, &projection);
    if (headlight) {
        D3DLIGHT9 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1, 1, 1, 1};
        D3DXVECTOR3 forward = view.orbit.Target() - eye;
        D3DXVec3Normalize(&forward, &forward);
        light.Direction = forward;
        light.Range = 1000;
        device->SetLight(0, &light);
    }

    if (waterOn) {
        DrawWithWater(elapsed, viewMatrix, projection);
    } else {
        DrawPlain();
    }
    if (device->Present(nullptr, nullptr, nullptr, nullptr) == D3DERR_DEVICELOST) resetWanted = true;
}

void ViewerApp::DrawPlain() {
    IDirect3DDevice9* device = Device();
    // What the water's frames leave set would tint, fog and blend the scene: the texture stages and fog go back to
    // the plain textured, lit draw, and the scene sends all of its own states again.
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
    device->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    device->SetTexture(1, nullptr);
    // A node without a texture keeps what is bound: white, rather than the wave's picture of the last frame.
    device->SetTexture(0, white);
    scene->forgetDrawState();

    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBackground, 1.0f, 0);
    if (SUCCEEDED(device->BeginScene())) {
        scene->render();
        device->EndScene();
    }
}

// The demo's two passes around this scene and this camera: the scene lit by the caustics and tinted into the
// wave's render target, then rippled into the back buffer. Two things differ from the demo, which sees its one
// scene from one distance: the demo's fog (200 to 1000 units) stays off, since it would hide any scene seen from
// farther away, and the tint is drawn without the depth test, since its quad's depth (0.5) lies behind near
// geometry once the clipping planes follow the scene. The scene sends all of its own states, as in DrawPlain.
void ViewerApp::DrawWithWater(float elapsed, const D3DXMATRIX& viewMatrix, const D3DXMATRIX& projection) {
    IDirect3DDevice9* device = Device();
    if (imageWave->BeginCapture()) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kSeaColour, 1.0f, 0);
        if (SUCCEEDED(device->BeginScene())) {
            D3DXMATRIX cameraWorld;
            D3DXMatrixInverse(&cameraWorld, nullptr, &viewMatrix);
            waterImage->Begin(elapsed, &projection, &cameraWorld);
            device->SetRenderState(D3DRS_FOGENABLE, FALSE);
            // Stage 0 holds the wave's texture, the render target now: a node without a texture gets white, which
            // keeps its colour and lets the caustics (stage 1, after the texture's stage) reach it.
            device->SetTexture(0, white);
            scene->forgetDrawState();
            scene->render();
            waterImage->End();
            device->SetRenderState(D3DRS_ZENABLE, FALSE);
            colorFilter->Render();
            device->EndScene();
        }
        imageWave->EndCapture();
    }
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kSeaColour, 1.0f, 0);
    if (SUCCEEDED(device->BeginScene())) {
        imageWave->Render();
        device->EndScene();
    }
}

// ---- Window size and the device ----

void ViewerApp::OnSize() {
    RECT client{};
    if (!window || !GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return;  // minimised
    clientWidth = client.right;
    clientHeight = client.bottom;
    // The reset waits for the next frame, so that the many WM_SIZE of one drag of the frame cost one reset.
    if (GetRenderer() && !resetUnavailable &&
        (static_cast<UINT>(clientWidth) != backBufferWidth || static_cast<UINT>(clientHeight) != backBufferHeight))
        resetWanted = true;
}

bool ViewerApp::ResetDevice() {
    IDirect3DDevice9* device = Device();
    const HRESULT level = device->TestCooperativeLevel();
    if (level == D3DERR_DEVICELOST) return false;  // not yet: the device cannot be reset while it is lost

    // Reset refuses while any default-pool resource lives: the wave's render target goes first.
    ReleaseDefaultPoolResources();
    D3DPRESENT_PARAMETERS wanted = presentParameters;
    wanted.BackBufferWidth = static_cast<UINT>(clientWidth);
    wanted.BackBufferHeight = static_cast<UINT>(clientHeight);
    lastReset = device->Reset(&wanted);
    if (SUCCEEDED(lastReset)) {
        presentParameters = wanted;
        backBufferWidth = wanted.BackBufferWidth;
        backBufferHeight = wanted.BackBufferHeight;
        resetWanted = false;
    } else if (lastReset == E_NOTIMPL) {
        // This device keeps its first back buffer: the picture is stretched to the window, and the projection
        // keeps the window's shape.
        resetUnavailable = true;
        resetWanted = false;
    } else {
        return false;  // lost: the next frames try again
    }
    if (waterImage && !CreateDefaultPoolResources()) DeleteWater();
    // A reset sets every state back to its default; what the viewer keeps set goes in again.
    ApplyDeviceState();
    return true;
}

// ---- Input ----

bool ViewerApp::MsgProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYUP:
        if (wParam == VK_ESCAPE) {
            DestroyWindow(window);
            return true;
        }
        return false;
    case WM_KEYDOWN:
        if ((lParam & (1 << 30)) != 0) return false;  // the key is held: auto-repeat switches nothing
        switch (wParam) {
        case 'C':
            NextView();
            return true;
        case 'F':
            SelectView(-1);
            return true;
        case VK_SPACE:
            SetPlaying(!playing);
            return true;
        case 'W':
            if (!SetWater(!waterOn)) std::fprintf(stderr, "tarn-view: the water effects are not available\n");
            return true;
        default:
            return false;
        }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        lastMouse = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        SetCapture(window);  // the drag goes on outside the window
        return true;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        if ((GET_KEYSTATE_WPARAM(wParam) & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0 && GetCapture() == window)
            ReleaseCapture();
        return true;
    case WM_MOUSEMOVE: {
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const int dx = at.x - lastMouse.x, dy = at.y - lastMouse.y;
        lastMouse = at;
        const WORD keys = GET_KEYSTATE_WPARAM(wParam);
        if ((keys & MK_LBUTTON) != 0) {
            view.orbit.Drag(dx, dy);
            Moved();
        } else if ((keys & (MK_RBUTTON | MK_MBUTTON)) != 0) {
            int w = 0, h = 0;
            ClientSize(&w, &h);
            view.orbit.Pan(dx, dy, h, view.fieldOfView);
            Moved();
        }
        return true;
    }
    case WM_MOUSEWHEEL: {
        const float radius = bounds.empty ? 1.0f : bounds.Radius();
        const float distance = view.orbit.Distance();
        view.orbit.Zoom(GET_WHEEL_DELTA_WPARAM(wParam), std::min(radius * 1e-3f, distance),
                        std::max(radius * 1e3f, distance));
        Moved();
        return true;
    }
    default:
        return false;
    }
}

}  // namespace tarn::view
