// The bytes of a whole file, held in memory that this object owns for as long as it lives. Open fails with
// D3DXERR_INVALIDDATA when the file cannot be opened, sized or read (a missing file, a directory, a FIFO or a
// device too), with E_OUTOFMEMORY when the bytes cannot be held, and with D3DERR_INVALIDCALL for a null name.
// An empty file opens with null data and size 0.
//
// The file is read rather than mapped: a mapped file that another process truncates kills its reader with
// SIGBUS at the first access past the new end, and the files loaded here may come from anywhere.
#pragma once

#include <memory>

#include "platform/win32/Win32.h"

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile() { Close(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    HRESULT Open(const char* name);      // 8-bit name, passed to the file system unchanged
    HRESULT Open(const WCHAR* name);     // UTF-16 name
    void Close();                        // frees the bytes and closes the file

    const BYTE* Data() const { return data_.get(); }
    UINT Size() const { return size_; }

private:
    HRESULT ReadOpenedFile();

    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::unique_ptr<BYTE[]> data_;
    UINT size_ = 0;
};
