// A read-only view of a whole file, mapped into memory for as long as the object lives. Open fails with
// D3DXERR_INVALIDDATA when the file cannot be opened, sized or mapped (a missing file, a directory, a FIFO or a
// device too), and with D3DERR_INVALIDCALL for a null name. An empty file opens with a null view and size 0.
// The view stays readable when another process cuts the file short: the platform shows zeros past the new end.
#pragma once

#include "platform/win32/Win32.h"

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile() { Close(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    HRESULT Open(const char* name);   // 8-bit name, passed to the file system unchanged
    HRESULT Open(const WCHAR* name);  // UTF-16 name
    void Close();                     // unmaps the view, then closes the mapping and the file

    const BYTE* Data() const { return view_; }
    UINT Size() const { return size_; }

private:
    HRESULT MapOpenedFile();

    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE mapping_ = INVALID_HANDLE_VALUE;
    const BYTE* view_ = nullptr;
    UINT size_ = 0;
};
