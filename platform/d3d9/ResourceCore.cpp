// ResourceCore.cpp: what every resource shares (the device link, leak record and private data) and the helpers
// of the resource units (pool names, creation sites, which texture levels lock).
#include <dlfcn.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "DeviceObject.h"
#include "ResourceObjects.h"

namespace tarn::d3d9 {

const char* PoolName(D3DPOOL pool) {
    switch (pool) {
    case D3DPOOL_DEFAULT:
        return "DEFAULT";
    case D3DPOOL_MANAGED:
        return "MANAGED";
    case D3DPOOL_SYSTEMMEM:
        return "SYSTEMMEM";
    case D3DPOOL_SCRATCH:
        return "SCRATCH";
    default:
        return "?";
    }
}

std::string CreationSite(const void* address) {
    if (!address) return "";
    char text[256];
    Dl_info info{};
    if (dladdr(address, &info) && info.dli_sname) {
        std::snprintf(text, sizeof text, ", created at %p (%s)", address, info.dli_sname);
    } else if (info.dli_fname && info.dli_fbase) {
        // File and offset, as addr2line -e FILE OFFSET resolves them.
        const auto offset =
            reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
        std::snprintf(text, sizeof text, ", created at %s+0x%zx", info.dli_fname, static_cast<std::size_t>(offset));
    } else {
        std::snprintf(text, sizeof text, ", created at %p", address);
    }
    return text;
}

bool LevelsLockable(D3DPOOL pool, DWORD usage) {
    return !(usage & D3DUSAGE_RENDERTARGET) && (pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC));
}

ResourceCore::ResourceCore(Device* device, D3DRESOURCETYPE type, D3DPOOL pool, DWORD usage, D3DFORMAT format)
    : device_(device), lock_(device->lock()), type_(type), pool_(pool), usage_(usage), format_(format) {}

ResourceCore::~ResourceCore() {
    for (PrivateDataEntry& entry : private_) {
        if (entry.object) entry.object->Release();
    }
    if (device_) device_->ResourceDying(this);
}

void ResourceCore::Untrack() { tracked_ = false; }

HRESULT ResourceCore::SetPrivate(REFGUID guid, const void* data, DWORD size, DWORD flags) {
    if (!data && size) return D3DERR_INVALIDCALL;
    if ((flags & D3DSPD_IUNKNOWN) && (size != sizeof(IUnknown*) || !data)) return D3DERR_INVALIDCALL;
    FreePrivate(guid);
    PrivateDataEntry entry;
    entry.guid = guid;
    if (flags & D3DSPD_IUNKNOWN) {
        std::memcpy(&entry.object, data, sizeof(IUnknown*));
        if (entry.object) entry.object->AddRef();
    } else {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        entry.bytes.assign(bytes, bytes + size);
    }
    private_.push_back(std::move(entry));
    return D3D_OK;
}

HRESULT ResourceCore::GetPrivate(REFGUID guid, void* data, DWORD* size) {
    if (!size) return D3DERR_INVALIDCALL;
    for (PrivateDataEntry& entry : private_) {
        if (!IsEqualGUID(entry.guid, guid)) continue;
        const DWORD needed =
            entry.object ? static_cast<DWORD>(sizeof(IUnknown*)) : static_cast<DWORD>(entry.bytes.size());
        if (!data) {
            *size = needed;
            return D3D_OK;
        }
        if (*size < needed) {
            *size = needed;
            return D3DERR_MOREDATA;
        }
        if (entry.object) {
            entry.object->AddRef();
            std::memcpy(data, &entry.object, sizeof(IUnknown*));
        } else if (needed) {
            std::memcpy(data, entry.bytes.data(), needed);
        }
        *size = needed;
        return D3D_OK;
    }
    return D3DERR_NOTFOUND;
}

HRESULT ResourceCore::FreePrivate(REFGUID guid) {
    for (auto it = private_.begin(); it != private_.end(); ++it) {
        if (IsEqualGUID(it->guid, guid)) {
            if (it->object) it->object->Release();
            private_.erase(it);
            return D3D_OK;
        }
    }
    return D3DERR_NOTFOUND;
}

HRESULT ResourceCore::ReturnDevice(IDirect3DDevice9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = device_;
    if (!device_) return D3DERR_INVALIDCALL;
    device_->AddRef();
    return D3D_OK;
}

}  // namespace tarn::d3d9
