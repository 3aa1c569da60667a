// The module table behind LoadLibraryA / GetModuleHandleA / GetProcAddress: platform parts register the
// modules they stand in for ("d3d9.dll" once Direct3D is created) and the exports the program may look up.
#pragma once

#include "platform/win32/Win32.h"

namespace tarn::platform {

// Makes `module` (case-insensitive, e.g. "d3d9.dll") loadable, and `proc` one of its exports when not null.
void RegisterModuleExport(const char* module, const char* proc, FARPROC function);

}  // namespace tarn::platform
