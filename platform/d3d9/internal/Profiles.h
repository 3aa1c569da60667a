// Capability profiles: what the adapter reports through GetDeviceCaps and CheckDeviceFormat. The default profile
// describes the OpenGL backend (limits probed from the driver once); the others narrow it for tests.
#pragma once

#include <string>

#include "platform/d3d9/D3D9.h"

namespace tarn::d3d9 {

// What the OpenGL driver offers; fixed values stand in when no context can be made (null backend, no GL).
struct GlLimits {
    UINT maxTextureSize = 8192;   // GL_MAX_TEXTURE_SIZE (also the cube map edge limit)
    UINT maxVolumeExtent = 2048;  // GL_MAX_3D_TEXTURE_SIZE (what the driver of this machine reports)
    bool s3tc = true;             // GL_EXT_texture_compression_s3tc
};

struct Profile {
    std::string name;
    DWORD textureCapsAdd = 0;     // D3DPTEXTURECAPS_* added to the default
    DWORD textureCapsRemove = 0;  // D3DPTEXTURECAPS_* taken from the default (VOLUMEMAP: no volume textures)
    UINT maxTextureSize = 0;    // 0: the driver's limit
    bool rgbOnly = false;       // only 32-bit and 16-bit RGB formats are offered
};

// The named profile, or false for an unknown name.
bool FindProfile(const char* name, Profile* profile);
// The profile chosen by SetProfile, else TARN_D3D9_PROFILE, else "default".
Profile ChosenProfile();

// Driver limits, probed once per process (a throw-away surfaceless context) unless the null backend is chosen.
const GlLimits& DriverLimits();
void SetDriverLimits(const GlLimits& limits);  // the GL backend records what its own context reports

void BuildCaps(const Profile& profile, const GlLimits& limits, D3DCAPS9* caps);
HRESULT CheckProfileFormat(const Profile& profile, const GlLimits& limits, DWORD usage, D3DRESOURCETYPE type,
                           D3DFORMAT format);

}  // namespace tarn::d3d9
