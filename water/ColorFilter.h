// ColorFilter: one translucent colour laid over the whole render target with additive blending (destination +
// source x source alpha), drawn from client memory as a screen-sized quad of pre-transformed vertices.
// The device is borrowed, not reference-counted; the filter holds no Direct3D resource.
#pragma once

#include "math/D3DXMath.h"
#include "platform/d3d9/D3D9.h"

class ColorFilter {
public:
    // Pre-transformed vertex with a diffuse colour: D3DFVF_XYZRHW | D3DFVF_DIFFUSE, 20 bytes.
    struct ColorVertex {
        float x, y, z, rhw;
        D3DCOLOR diffuse;
    };
    static constexpr DWORD kFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

    ColorFilter() : device(nullptr) {}

    // Stores the device and builds the quad covering width x height pixels, transparent black; always true.
    bool Create(IDirect3DDevice9* device, unsigned width, unsigned height);
    // Packs the colour (each channel clamped to [0, 1], rounded to 8 bits) into all four vertices.
    void SetColor(const D3DXCOLOR& color);
    // Draws the quad additively and switches alpha blending off again; the blend factors stay SRCALPHA / ONE.
    void Render();

    const ColorVertex* GetVertices() const { return vertices; }

private:
    ColorVertex vertices[4];  // triangle-strip order: top-left, top-right, bottom-left, bottom-right
    IDirect3DDevice9* device;
};
static_assert(sizeof(ColorFilter::ColorVertex) == 20, "the quad is handed to the device with a 20-byte stride");
