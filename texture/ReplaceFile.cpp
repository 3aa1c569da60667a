// The temporary file is named after the target with a counter and a random part, created with CREATE_NEW (so
// that two saves never share one) in the target's own folder (so that the rename stays on one file system).
#include "ReplaceFile.h"

#include <atomic>
#include <cstdio>
#include <random>
#include <string>

namespace tarn::texture {

namespace {

HANDLE CreateTemporaryBeside(const std::string& target, std::string& name) {
    static std::atomic<unsigned> counter{0};
    static const unsigned salt = std::random_device{}();
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[40];
        std::snprintf(suffix, sizeof suffix, ".%08x.%u.tmp", salt, counter.fetch_add(1));
        name = target + suffix;
        HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

HRESULT ReplaceFileContents(const char* name, const BYTE* bytes, std::size_t size) {
    if (name == nullptr || name[0] == 0) return D3DERR_INVALIDCALL;
    std::string temporary;
    HANDLE file = CreateTemporaryBeside(name, temporary);
    if (file == INVALID_HANDLE_VALUE) return D3DERR_INVALIDCALL;
    bool ok = true;
    for (std::size_t done = 0; ok && done < size;) {
        const DWORD chunk = size - done > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size - done);
        DWORD written = 0;
        ok = WriteFile(file, bytes + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    // Flushed before the rename: a crash after it finds the whole new file or the old one, never a short one.
    ok = ok && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    ok = ok && MoveFileExA(temporary.c_str(), name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DeleteFileA(temporary.c_str());
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

}  // namespace tarn::texture
