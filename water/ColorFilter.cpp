#include "water/ColorFilter.h"

bool ColorFilter::Create(IDirect3DDevice9* newDevice, unsigned width, unsigned height) {
    device = newDevice;
    // Pixel centres lie on whole numbers: the half-pixel shift makes the quad cover exactly the pixels.
    const float right = static_cast<float>(width) - 0.5f;
    const float bottom = static_cast<float>(height) - 0.5f;
    const float xs[4] = {-0.5f, right, -0.5f, right};
    const float ys[4] = {-0.5f, -0.5f, bottom, bottom};
    for (int i = 0; i < 4; ++i) vertices[i] = {xs[i], ys[i], 0.5f, 1.0f, 0};
    return true;
}

static DWORD ColorChannel(float c) {
    if (c >= 1.0f) return 255;
    if (c <= 0.0f) return 0;
    return static_cast<DWORD>(c * 255.0f + 0.5f);
}

void ColorFilter::SetColor(const D3DXCOLOR& color) {
    const D3DCOLOR packed = (ColorChannel(color.a) << 24) | (ColorChannel(color.r) << 16) |
                            (ColorChannel(color.g) << 8) | ColorChannel(color.b);
    for (ColorVertex& v : vertices) v.diffuse = packed;
}

void ColorFilter::Render() {
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetTexture(0, nullptr);
    device->SetFVF(kFVF);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, sizeof(ColorVertex));
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}
