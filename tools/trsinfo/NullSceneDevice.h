// A Direct3D device on the null backend (resources and state, no drawing), installed as the scene's device for
// its lifetime: what the inspector, the scene benchmarks and the fuzz target load scenes with. device() is null
// when the device could not be created.
#pragma once

#include "platform/d3d9/Backend.h"
#include "platform/d3d9/D3D9.h"
#include "scene/SceneDevice.h"

class NullSceneDevice {
public:
    explicit NullSceneDevice(UINT width = 800, UINT height = 600, bool install = true)
        : device_(tarn::d3d9::CreateNullDevice(width, height)), install_(install) {
        if (device_ && install_) SetSceneDevice(device_, width, height);
    }
    ~NullSceneDevice() {
        if (device_ && install_) SetSceneDevice(nullptr, 0, 0);
        if (device_) device_->Release();
    }
    NullSceneDevice(const NullSceneDevice&) = delete;
    NullSceneDevice& operator=(const NullSceneDevice&) = delete;

    IDirect3DDevice9* device() const { return device_; }

private:
    IDirect3DDevice9* device_ = nullptr;
    bool install_;
};
