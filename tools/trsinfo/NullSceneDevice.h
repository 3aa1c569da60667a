// A Direct3D device on the null backend (resources and state, no drawing), installed as the scene's device for
// its lifetime: what the inspector, the scene benchmarks and the fuzz target load scenes with. device() is null
// when the device could not be created.
#pragma once

#include "platform/d3d9/Backend.h"
#include "platform/d3d9/D3D9.h"
#include "scene/SceneDevice.h"

class NullSceneDevice {
public:
    explicit NullSceneDevice(UINT width = 800, UINT height = 600, bool install = true) : install_(install) {
        tarn::d3d9::SetBackend(tarn::d3d9::BackendKind::Null);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d_) return;
        D3DPRESENT_PARAMETERS pp = {};
        pp.BackBufferWidth = width;
        pp.BackBufferHeight = height;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        if (FAILED(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                      D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device_)))
            device_ = nullptr;
        if (device_ && install_) SetSceneDevice(device_, width, height);
    }
    ~NullSceneDevice() {
        if (device_ && install_) SetSceneDevice(nullptr, 0, 0);
        if (device_) device_->Release();
        if (d3d_) d3d_->Release();
    }
    NullSceneDevice(const NullSceneDevice&) = delete;
    NullSceneDevice& operator=(const NullSceneDevice&) = delete;

    IDirect3DDevice9* device() const { return device_; }

private:
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    bool install_;
};
