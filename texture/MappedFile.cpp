#include "MappedFile.h"

#include <new>
#include <vector>

#include "texture/D3DXTexture.h"

HRESULT MappedFile::Open(const char* name) {
    Close();
    if (name == nullptr) return D3DERR_INVALIDCALL;
    file_ = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
    return MapOpenedFile();
}

HRESULT MappedFile::Open(const WCHAR* name) {
    Close();
    if (name == nullptr) return D3DERR_INVALIDCALL;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        file_ = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS,
                            nullptr);
    } else {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, name, -1, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return D3DXERR_INVALIDDATA;
        char* narrow = new (std::nothrow) char[static_cast<std::size_t>(bytes)];
        if (narrow == nullptr) return E_OUTOFMEMORY;
        WideCharToMultiByte(CP_UTF8, 0, name, -1, narrow, bytes, nullptr, nullptr);
        file_ = CreateFileA(narrow, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS,
                            nullptr);
        delete[] narrow;
    }
    return MapOpenedFile();
}

HRESULT MappedFile::MapOpenedFile() {
    if (file_ == INVALID_HANDLE_VALUE || file_ == nullptr) {
        file_ = INVALID_HANDLE_VALUE;
        return D3DXERR_INVALIDDATA;
    }
    DWORD high = 0;
    const DWORD size = GetFileSize(file_, &high);
    // The loader works with 32-bit sizes: a file of 4 GiB or more cannot be an image it reads.
    if (size == INVALID_FILE_SIZE || high != 0) {
        Close();
        return D3DXERR_INVALIDDATA;
    }
    size_ = size;
    if (size == 0) return S_OK;
    mapping_ = CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping_ == nullptr || mapping_ == INVALID_HANDLE_VALUE) {
        mapping_ = INVALID_HANDLE_VALUE;
        Close();
        return D3DXERR_INVALIDDATA;
    }
    view_ = static_cast<const BYTE*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0));
    if (view_ == nullptr) {
        Close();
        return D3DXERR_INVALIDDATA;
    }
    return S_OK;
}

void MappedFile::Close() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    if (mapping_ != INVALID_HANDLE_VALUE) CloseHandle(mapping_);
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    view_ = nullptr;
    mapping_ = INVALID_HANDLE_VALUE;
    file_ = INVALID_HANDLE_VALUE;
    size_ = 0;
}
