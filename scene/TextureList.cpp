#include "scene/TextureList.h"

#include "report/ErrorBox.h"
#include "scene/SceneDevice.h"
#include "texture/D3DXTexture.h"

#include <cstring>
#include <new>

CTRTextureEntry::~CTRTextureEntry() {
    if (texture) {
        texture->Release();
        texture = nullptr;
    }
}

CTRTextureList::~CTRTextureList() {
    for (CTRTextureEntry*& entry : entries) {
        delete entry;
        entry = nullptr;
    }
}

std::int32_t CTRTextureList::acquire(const char* path, UINT mipLevels) {
    // Reserve first so that appending the entry below cannot fail after a reference was taken.
    try {
        entries.reserve(entries.size() + 1);
    } catch (const std::bad_alloc&) {
        return -1;
    }

    for (CTRTextureEntry* entry : entries) {
        if (entry->texture && std::strncmp(entry->path, path, 259) == 0) {
            auto* shared = new (std::nothrow) CTRTextureEntry;
            if (!shared) return -1;
            entry->texture->AddRef();
            shared->texture = entry->texture;
            // Lookups stop at the first match, but the path is kept so that every entry names its file.
            std::strncpy(shared->path, path, sizeof shared->path - 1);
            entries.push_back(shared);
            return static_cast<std::int32_t>(entries.size()) - 1;
        }
    }

    auto* entry = new (std::nothrow) CTRTextureEntry;
    if (!entry) return -1;
    std::strncpy(entry->path, path, sizeof entry->path - 1);
    IDirect3DTexture9* texture = nullptr;
    const HRESULT hr = D3DXCreateTextureFromFileExA(SceneDevice(), path, D3DX_DEFAULT, D3DX_DEFAULT, mipLevels, 0,
                                                    D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                    nullptr, nullptr, &texture);
    if (FAILED(hr) || !texture) {
        if (texture) texture->Release();
        ErrorBox("%s File Not Found!", path);
    } else {
        entry->texture = texture;
    }
    entries.push_back(entry);
    return static_cast<std::int32_t>(entries.size()) - 1;
}
