// Capability profiles: what the adapter reports through GetDeviceCaps and CheckDeviceFormat. The default profile
// describes what the backend answers (its BackendLimits); the others narrow it for tests.
#pragma once

#include <string>

#include "platform/d3d9/D3D9.h"
#include "BackendLimits.h"

namespace tarn::d3d9 {

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

// The answers of the profile for a backend with `limits`.
void BuildCaps(const Profile& profile, const BackendLimits& limits, D3DCAPS9* caps);
HRESULT CheckProfileFormat(const Profile& profile, const BackendLimits& limits, DWORD usage, D3DRESOURCETYPE type,
                           D3DFORMAT format);

}  // namespace tarn::d3d9
