// The scene viewer, an application on the engine's core: loads one .TRS file, frames its bounds (or starts from
// one of its cameras), and lets the mouse orbit, pan and zoom, C switch cameras, Space play and pause the
// animation, W lay the demo's water effects over the scene, and Escape or closing the window quit. The window is
// resizable; on WM_SIZE the next frame releases the default-pool resources, resets the device to the new client
// size and makes them again, the documented Direct3D 9 way. While the device cannot be reset, the old back buffer
// stays (the picture is stretched to the window) and the projection follows the window's shape.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/Application.h"
#include "math/D3DXMath.h"
#include "platform/d3d9/D3D9.h"
#include "tools/view/OrbitCamera.h"
#include "tools/view/SceneBounds.h"
#include "tools/view/ViewerOptions.h"

class ColorFilter;
class CTRScene;
class CTRWaterImage;
class ImageWave;

namespace tarn::view {

class ViewerApp : public CTRApplication {
public:
    static constexpr D3DCOLOR kBackground = 0x00303840;         // a dark slate, when the water is off
    static constexpr D3DCOLOR kSeaColour = 0x00004080;          // the demo's clear and fog colour, under the water
    static constexpr float kFramingFieldOfView = 0.785398185f;  // pi / 4, as the engine's default camera
    static constexpr float kFramingYaw = 0.5235988f;            // the framed view looks from 30 degrees round
    static constexpr float kFramingPitch = 0.4f;                // and about 23 degrees above

    // Nothing is read before Initialize; `waterDirectory` (ending with a separator) holds Water/caust*.tga.
    ViewerApp(ViewerOptions options, std::string waterDirectory);
    ~ViewerApp() override;

    bool Initialize() override;
    void Frame() override;
    void Shutdown() override;
    void OnSize() override;
    bool MsgProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The views: -1 frames the whole scene, 0 ... n - 1 are the scene's cameras as the file placed them.
    void SelectView(int camera);
    // C: the next camera, and after the last the framed view again.
    void NextView();
    bool SetPlaying(bool play);  // false when there is nothing to play, as a note on standard error says
    bool SetWater(bool on);      // false when the water effects could not be made

    // What the viewer shows, for its tests. The matrices are those the next frame sets, from the camera and the
    // window's client size.
    CTRScene* GetScene() const { return scene; }
    const OrbitCamera& GetCamera() const { return view.orbit; }
    int GetView() const { return view.camera; }
    bool IsPlaying() const { return playing; }
    bool IsWaterOn() const { return waterOn; }
    bool IsWaterAvailable() const { return waterImage != nullptr; }
    float GetAnimationTime() const { return animationTime; }
    const SceneBox& GetBounds() const { return bounds; }
    float GetFieldOfView() const { return view.fieldOfView; }
    D3DXMATRIX ViewMatrix() const { return view.orbit.View(); }
    D3DXMATRIX ProjectionMatrix() const;
    // The back buffer the device draws into; it follows the window once the device has been reset.
    UINT GetBackBufferWidth() const { return backBufferWidth; }
    UINT GetBackBufferHeight() const { return backBufferHeight; }
    // How the last reset went: S_OK, E_NOTIMPL (the device cannot be reset; the old back buffer stays) or a
    // failure that leaves the device lost until a later frame resets it; S_FALSE before any reset.
    HRESULT GetLastResetResult() const { return lastReset; }

private:
    // A scene camera as the file placed it (camera 0 is moved every frame to carry the view, see Frame).
    struct SceneCamera {
        D3DXVECTOR3 eye, lookAt, up;
        float fieldOfView, nearPlane, farPlane;
    };
    struct View {
        OrbitCamera orbit;
        int camera = -1;
        float fieldOfView = kFramingFieldOfView;
        float nearPlane = 1, farPlane = 1000;
        bool ownPlanes = false;  // a scene camera not moved yet keeps its clipping planes
    };

    bool LoadScene();
    bool CreateWater();
    void DeleteWater();
    bool CreateDefaultPoolResources();
    void ReleaseDefaultPoolResources();
    // Resets the device to the window's client size; false while the device is lost.
    bool ResetDevice();
    // Device state of the viewer's own: lights, material, the water's fixed states; again after every reset.
    void ApplyDeviceState();
    void UpdateNodes(float time);
    void Moved();  // the user moved the camera: clipping planes follow the scene from now on
    void ClientSize(int* width, int* height) const;
    void DrawPlain();
    void DrawWithWater(float elapsed, const D3DXMATRIX& viewMatrix, const D3DXMATRIX& projection);

    ViewerOptions options;
    std::string waterDirectory;
    CTRScene* scene = nullptr;
    ColorFilter* colorFilter = nullptr;
    ImageWave* imageWave = nullptr;
    CTRWaterImage* waterImage = nullptr;
    IDirect3DTexture9* white = nullptr;  // stage 0 for mesh nodes without a texture
    std::vector<SceneCamera> cameras;
    SceneBox bounds;
    View view;
    bool headlight = false;  // the scene has no light of its own: the viewer lights it from the eye
    bool playing = true;
    bool waterOn = false;
    float animationTime = 0;
    POINT lastMouse{0, 0};

    D3DPRESENT_PARAMETERS presentParameters{};
    D3DFORMAT displayFormat = D3DFMT_UNKNOWN;
    UINT backBufferWidth = 0, backBufferHeight = 0;
    bool resetWanted = false;  // the window's size changed, or the device was lost
    bool resetUnavailable = false;
    HRESULT lastReset = S_FALSE;
    int clientWidth = 0, clientHeight = 0;  // last non-empty client size
};

}  // namespace tarn::view
