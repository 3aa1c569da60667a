// Writing a whole file without ever leaving half of one: the bytes go to a new file beside the target, are
// flushed, and the new file is renamed over the target in one step.
#pragma once

#include <cstddef>

#include "platform/d3d9/D3D9.h"
#include "platform/win32/Win32.h"

namespace tarn::texture {

// Replaces (or creates) `name` with `size` bytes. On failure the target is as it was and no temporary file
// remains: D3DERR_INVALIDCALL when the file cannot be created, written, flushed or renamed (an unwritable folder,
// a full disk, a directory of that name), the code the save calls document for failures.
HRESULT ReplaceFileContents(const char* name, const BYTE* bytes, std::size_t size);

}  // namespace tarn::texture
