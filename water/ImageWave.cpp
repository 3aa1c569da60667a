#include "water/ImageWave.h"

#include <cmath>
#include <cstring>

#include "texture/D3DXTexture.h"

float wavePhase = 0.0f;

ImageWave::ImageWave()
    : device(nullptr),
      texture(nullptr),
      surface(nullptr),
      savedTarget(nullptr),
      vertexBuffer(nullptr),
      indexBuffer(nullptr),
      width(800),
      height(600),
      amplitude(5.0f) {}

bool ImageWave::Create(D3DFORMAT format, IDirect3DDevice9* newDevice, unsigned newWidth, unsigned newHeight) {
    device = newDevice;
    width = newWidth;
    height = newHeight;
    if (FAILED(D3DXCreateTexture(device, width, height, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, &texture)))
        return false;
    if (FAILED(texture->GetSurfaceLevel(0, &surface))) return false;
    return CreateBuffers();
}

bool ImageWave::CreateBuffers() {
    if (FAILED(device->CreateVertexBuffer(kVertexBytes, 0, kFVF, D3DPOOL_MANAGED, &vertexBuffer, nullptr)))
        return false;
    if (FAILED(device->CreateIndexBuffer(kIndexBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indexBuffer,
                                         nullptr)))
        return false;
    void* data = nullptr;
    if (FAILED(indexBuffer->Lock(0, kIndexBytes, &data, 0))) return false;
    auto* p = static_cast<WORD*>(data);
    // The entries past the 486 drawn ones are never read; zero them rather than leave them undefined.
    std::memset(p, 0, kIndexBytes);
    // Cell (row b, column a), column by column; both triangles clockwise on the screen.
    for (int a = 0; a < kGrid - 1; ++a) {
        for (int b = 0; b < kGrid - 1; ++b) {
            const WORD base = static_cast<WORD>(a + kGrid * b);
            *p++ = base;
            *p++ = static_cast<WORD>(base + 1);
            *p++ = static_cast<WORD>(base + kGrid);
            *p++ = static_cast<WORD>(base + kGrid);
            *p++ = static_cast<WORD>(base + 1);
            *p++ = static_cast<WORD>(base + kGrid + 1);
        }
    }
    return SUCCEEDED(indexBuffer->Unlock());
}

bool ImageWave::BeginCapture() {
    // A target still held from a capture that never ended would be overwritten below: let it go first.
    if (savedTarget) {
        savedTarget->Release();
        savedTarget = nullptr;
    }
    if (FAILED(device->GetRenderTarget(0, &savedTarget))) {
        savedTarget = nullptr;
        return false;
    }
    if (FAILED(device->SetRenderTarget(0, surface))) {
        // No EndCapture follows a failed BeginCapture, so the saved reference is dropped here.
        savedTarget->Release();
        savedTarget = nullptr;
        return false;
    }
    return true;
}

bool ImageWave::EndCapture() {
    device->SetRenderTarget(0, savedTarget);
    if (savedTarget) {
        savedTarget->Release();
        savedTarget = nullptr;
    }
    return true;
}

float AdvanceWavePhase(float phase) {
    // One whole turn later the grid is where it was, and dropping the turn keeps the phase small enough for a
    // float to go on adding 0.02. Near 2 pi the subtraction is exact; float(2 pi) differs from 2 pi
    // by 1.7e-7, a shift of the wave's timing far below anything visible.
    constexpr float kTurn = 6.28318548f;
    const float next = phase + 0.02f;
    return next >= kTurn ? next - kTurn : next;
}

bool ImageWave::Update() {
    void* data = nullptr;
    if (FAILED(vertexBuffer->Lock(0, kVertexBytes, &data, 0))) return false;
    wavePhase = AdvanceWavePhase(wavePhase);
    auto* vertices = static_cast<WaveVertex*>(data);
    const float k = 1.0f / 9.0f;
    for (int i = 0; i < kGrid; ++i) {
        for (int j = 0; j < kGrid; ++j) {
            WaveVertex& v = vertices[kGrid * i + j];
            v.x = static_cast<float>(j) * (static_cast<float>(width) * k);
            v.y = static_cast<float>(i) * (static_cast<float>(height) * k);
            v.u = static_cast<float>(j) * k;
            v.v = static_cast<float>(i) * k;
            if (i >= 1 && i <= kGrid - 2 && j >= 1 && j <= kGrid - 2) {
                const float s = static_cast<float>(j % 2);
                float dx = amplitude * (std::cos(wavePhase) + s);
                float dy = amplitude * (std::sin(wavePhase) + s);
                if (i % 2 == 1) {
                    dx = -dx;
                    dy = -dy;
                }
                v.x = v.x + dx;
                v.y = v.y + dy;
            }
            v.z = 0.0f;
            v.rhw = 0.0f;
        }
    }
    return SUCCEEDED(vertexBuffer->Unlock());
}

void ImageWave::Render() {
    Update();
    device->SetTexture(0, texture);
    device->SetStreamSource(0, vertexBuffer, 0, sizeof(WaveVertex));
    device->SetIndices(indexBuffer);
    device->SetFVF(kFVF);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, kGrid * kGrid, 0, kTriangles);
}

void ImageWave::Release() {
    if (vertexBuffer) {
        vertexBuffer->Release();
        vertexBuffer = nullptr;
    }
    if (indexBuffer) {
        indexBuffer->Release();
        indexBuffer = nullptr;
    }
    if (texture) {
        texture->Release();
        texture = nullptr;
    }
    if (surface) {
        surface->Release();
        surface = nullptr;
    }
}
