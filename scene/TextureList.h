// The scene's texture list: one entry per texture name of the scene file, in file order. Entries naming the same
// path share one Direct3D texture, each holding its own reference; an entry whose file failed to load has none.
#pragma once

#include "platform/d3d9/D3D9.h"

#include <cstdint>
#include <vector>

struct CTRTextureEntry {
    ~CTRTextureEntry();
    IDirect3DTexture9* texture = nullptr;  // one reference owned; null when the file failed to load
    char path[260] = {};                   // zero-terminated
};

class CTRTextureList {
public:
    CTRTextureList() = default;
    ~CTRTextureList();
    CTRTextureList(const CTRTextureList&) = delete;
    CTRTextureList& operator=(const CTRTextureList&) = delete;

    // Appends an entry for `path`: shares the texture of the first loaded entry with the same path, or creates the
    // texture from the file with `mipLevels` levels. A file that cannot be loaded shows "<path> File Not Found!"
    // and still gets an entry, without a texture. Returns the new entry's index, or -1 when out of memory.
    std::int32_t acquire(const char* path, UINT mipLevels);

    std::vector<CTRTextureEntry*> entries;
};
