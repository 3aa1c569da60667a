// CSeaSceneApp: the sea-scene demo. Loads ./SeaSimpleMap.TRS, orbits the scene's first camera around the origin,
// draws the scene lit by caustics and tinted blue into an off-screen texture, and shows that picture through a
// rippling grid. Releasing Escape closes the window. Start-up failures show their text and return false.
#pragma once

#include "app/Application.h"
#include "math/D3DXMath.h"

class ColorFilter;
class CTRCamera;
class CTRScene;
class ImageWave;
class CTRWaterImage;

class CSeaSceneApp : public CTRApplication {
public:
    // Title "Tarn Engine 1.0v", 800 x 600, windowed; every field null until Initialize.
    CSeaSceneApp();
    ~CSeaSceneApp() override;

    bool Initialize() override;
    void Frame() override;
    // Releases the caustics projector, the image wave, the colour filter and the scene, whichever exist.
    void Shutdown() override;
    bool MsgProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Camera orbit: eye on a circle of radius 200 at height 80, 0.5 radian per second of frame time.
    static D3DXVECTOR3 OrbitEye(float frameTime);

    CTRScene* GetScene() const { return scene; }
    CTRCamera* GetCamera() const { return camera; }
    ColorFilter* GetColorFilter() const { return colorFilter; }
    ImageWave* GetImageWave() const { return imageWave; }
    CTRWaterImage* GetWaterImage() const { return waterImage; }

private:
    ColorFilter* colorFilter;
    CTRCamera* camera;
    CTRScene* scene;
    ImageWave* imageWave;
    CTRWaterImage* waterImage;
};
