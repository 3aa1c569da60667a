// Where the scene sends its Direct3D calls: the renderer's device and back-buffer size, unless a tool or test has
// installed a device of its own (the null device, a recording double) with SetSceneDevice.
#pragma once

#include "platform/d3d9/D3D9.h"

// The device every scene call goes to; null when there is neither a renderer nor an installed device.
IDirect3DDevice9* SceneDevice();
// The back-buffer size used for the camera's aspect ratio.
void SceneBackBufferSize(UINT* width, UINT* height);

// Installs `device` (not owned; null goes back to the renderer's) with the back-buffer size the cameras use.
void SetSceneDevice(IDirect3DDevice9* device, UINT width, UINT height);
