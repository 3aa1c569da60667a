#include "water/WaterImage.h"

#include <cmath>
#include <cstdio>

#include "platform/Bits.h"
#include "texture/D3DXTexture.h"

float causticClock = 0.0f;

float AdvanceCausticClock(float clock, float elapsed) {
    const float next = clock + elapsed * 20.0f;
    if (next >= 0.0f && next < static_cast<float>(CTRWaterImage::kFrames)) return next;
    // Whole cycles of 32 images show nothing new, and dropping them keeps the clock small enough for a float
    // to go on counting thirds of an image; fmod is exact, so the image shown stays the same.
    float wrapped = std::fmod(next, static_cast<float>(CTRWaterImage::kFrames));
    if (wrapped < 0.0f) wrapped += static_cast<float>(CTRWaterImage::kFrames);
    // A NaN elapsed time, or a tiny negative clock that rounds up to a whole cycle, restarts the cycle.
    return wrapped >= 0.0f && wrapped < static_cast<float>(CTRWaterImage::kFrames) ? wrapped : 0.0f;
}

CTRWaterImage::CTRWaterImage() : device(nullptr), textures{} { D3DXMatrixIdentity(&lastTransform); }

bool CTRWaterImage::Create(IDirect3DDevice9* newDevice) { return Create(newDevice, "./"); }

bool CTRWaterImage::Create(IDirect3DDevice9* newDevice, const char* directory) {
    device = newDevice;
    for (int i = 0; i < kFrames; ++i) {
        char path[256];
        const int length =
            std::snprintf(path, sizeof path, "%sWater/caust%d.tga", directory != nullptr ? directory : "./", i);
        if (length < 0 || length >= static_cast<int>(sizeof path)) return false;  // never a cut path
        D3DXCreateTextureFromFileA(device, path, &textures[i]);
        if (!textures[i]) return false;
    }
    SetStates();
    return true;
}

void CTRWaterImage::SetStates() {
    device->SetSamplerState(1, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(1, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);

    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGCOLOR, kFogColor);
    device->SetRenderState(D3DRS_FOGSTART, tarn::FloatBits(200.0f));
    device->SetRenderState(D3DRS_FOGEND, tarn::FloatBits(1000.0f));
}

void CTRWaterImage::Begin(float elapsed, const D3DXMATRIX* projection, const D3DXMATRIX* cameraWorld) {
    // The light's projection: the camera's, with a fixed wide focal length on both axes.
    D3DXMATRIX p = *projection;
    p._11 = 2.0f;
    p._22 = 2.0f;
    D3DXMATRIX scale;
    D3DXMatrixScaling(&scale, 0.2f, -0.2f, 1.0f);
    D3DXMATRIX light;
    const D3DXVECTOR3 eye(1.0f, 100.0f, 0.0f), at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&light, &eye, &at, &up);

    // Camera space -> world -> the light's view -> its projection -> texture scale.
    D3DXMATRIX t;
    D3DXMatrixMultiply(&t, cameraWorld, &light);
    D3DXMatrixMultiply(&t, &t, &p);
    D3DXMatrixMultiply(&t, &t, &scale);
    lastTransform = t;

    device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION | 0);
    device->SetTextureStageState(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT4 | D3DTTFF_PROJECTED);
    device->SetTransform(D3DTS_TEXTURE1, &t);

    causticClock = AdvanceCausticClock(causticClock, elapsed);
    const int frame = static_cast<int>(causticClock) % kFrames;
    device->SetTexture(1, textures[frame]);

    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);

    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
}

void CTRWaterImage::End() {
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
}

void CTRWaterImage::Release() {
    for (IDirect3DTexture9*& texture : textures) {
        if (texture) {
            texture->Release();
            texture = nullptr;
        }
    }
}
