// The thread's last error, FormatMessageA over a table of the system texts for the codes this program can meet,
// LocalAlloc/LocalFree, and OutputDebugStringA (standard error under TARN_DEBUG_OUTPUT=1, and a test hook).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/TestHooks.h"
#include "platform/win32/Win32.h"

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

struct MessageText {
    DWORD code;
    const char* text;  // without the "\r\n" that every system text ends with
};

// Win32 errors first, then COM and CryptoAPI codes (HRESULT-shaped). FACILITY_WIN32 HRESULTs (0x8007xxxx) are
// looked up under their Win32 code.
const MessageText kMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {13, "The data is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {50, "The request is not supported."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {122, "The data area passed to a system call is too small."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {183, "Cannot create a file when that file already exists."},
    {234, "More data is available."},
    {487, "Attempt to access invalid address."},
    {1004, "Invalid flags."},
    {1006, "The volume for a file has been externally altered so that the opened file is no longer valid."},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page."},
    {1132, "The base address or the file offset specified does not have the proper alignment."},
    {1400, "Invalid window handle."},
    {1407, "Cannot find window class."},
    {1410, "Class already exists."},
    {1411, "Class does not exist."},
    {1412, "Class still has open windows."},
    {1413, "Invalid index."},
    {0x80004001, "Not implemented"},
    {0x80004002, "No such interface supported"},
    {0x80004003, "Invalid pointer"},
    {0x80004005, "Unspecified error"},
    {0x80090001, "Bad UID."},
    {0x80090002, "Bad Hash."},
    {0x80090003, "Bad Key."},
    {0x80090004, "Bad Length."},
    {0x80090005, "Bad Data."},
    {0x80090006, "Invalid Signature."},
    {0x80090007, "Bad Version of provider."},
    {0x80090008, "Invalid algorithm specified."},
    {0x80090009, "Invalid flags specified."},
    {0x8009000A, "Invalid type specified."},
    {0x8009000B, "Key not valid for use in specified state."},
    {0x8009000C, "Hash not valid for use in specified state."},
    {0x8009000D, "Key does not exist."},
    {0x8009000E, "Insufficient memory available for the operation."},
    {0x8009000F, "Object already exists."},
    {0x80090010, "Access denied."},
    {0x80090011, "Object was not found."},
    {0x80090012, "Data already encrypted."},
    {0x80090013, "Invalid provider specified."},
    {0x80090014, "Invalid provider type specified."},
    {0x80090015, "Provider's public key is invalid."},
    {0x80090016, "Keyset does not exist"},
    {0x80090017, "Provider type not defined."},
    {0x80090018, "Provider type as registered is invalid."},
    {0x80090019, "The keyset is not defined."},
    {0x8009001A, "Keyset as registered is invalid."},
    {0x8009001B, "Provider type does not match registered value."},
    {0x8009001C, "The digital signature file is corrupt."},
    {0x8009001D, "Provider DLL failed to initialize correctly."},
    {0x8009001E, "Provider DLL could not be found."},
    {0x8009001F, "The Keyset parameter is invalid."},
    {0x80090020, "An internal error occurred."},
    {0x80090021, "A base error occurred."},
};

const char* SystemText(DWORD code) {
    if ((code & 0xFFFF0000u) == 0x80070000u) {
        code &= 0xFFFFu;
    }
    for (const auto& m : kMessages) {
        if (m.code == code) {
            return m.text;
        }
    }
    return nullptr;
}

// Expands the documented escapes of a message string: %n line break, %% %. %! literal, %0 end without line
// break, %1..%99 (optionally followed by !s!) the N-th string argument. Without arguments inserts stay as written.
std::string Expand(const char* source, va_list* arguments, bool ignoreInserts) {
    std::string out;
    for (const char* p = source; *p != 0; ++p) {
        if (*p != '%' || ignoreInserts) {
            out += *p;
            continue;
        }
        char next = p[1];
        if (next == 'n') {
            out += "\r\n";
            ++p;
        } else if (next == '%' || next == '.' || next == '!') {
            out += next;
            ++p;
        } else if (next == '0') {
            return out;
        } else if (next >= '1' && next <= '9') {
            int index = next - '0';
            const char* end = p + 2;
            if (*end >= '0' && *end <= '9') {
                index = index * 10 + (*end - '0');
                ++end;
            }
            if (std::strncmp(end, "!s!", 3) == 0) {
                end += 3;
            }
            if (arguments == nullptr) {
                out.append(p, end);
            } else {
                va_list walk;
                va_copy(walk, *arguments);
                const char* value = nullptr;
                for (int i = 0; i < index; ++i) {
                    value = va_arg(walk, const char*);
                }
                va_end(walk);
                out += value != nullptr ? value : "";
            }
            p = end - 1;
        } else {
            out += *p;
        }
    }
    return out;
}

std::mutex& HookMutex() {
    static std::mutex mutex;
    return mutex;
}
tarn::platform::DebugOutputHook& DebugHook() {
    static tarn::platform::DebugOutputHook hook;
    return hook;
}

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     va_list* arguments) {
    bool ignoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
    std::string text;
    if ((flags & FORMAT_MESSAGE_FROM_STRING) != 0) {
        if (source == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        text = Expand(static_cast<const char*>(source), arguments, ignoreInserts);
    } else if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) {
        const char* found = SystemText(messageId);
        if (found == nullptr) {
            SetLastError(ERROR_MR_MID_NOT_FOUND);
            return 0;
        }
        text = std::string(found) + "\r\n";
    } else {
        // Message tables of modules: the platform's modules carry none.
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    if (buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD length = static_cast<DWORD>(text.size());
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        // `buffer` is really where the allocated text's address goes; `size` is a minimum allocation.
        SIZE_T bytes = std::max<SIZE_T>(static_cast<SIZE_T>(length) + 1, size);
        auto* out = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, bytes));
        if (out == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(out, text.c_str(), static_cast<std::size_t>(length) + 1);
        *reinterpret_cast<LPSTR*>(buffer) = out;
        return length;
    }
    if (size < length + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text.c_str(), static_cast<std::size_t>(length) + 1);
    return length;
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    void* memory = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(bytes != 0 ? bytes : 1, 1)
                                                : std::malloc(bytes != 0 ? bytes : 1);
    if (memory == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return memory;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

namespace tarn::platform {

DebugOutputHook SetDebugOutputHook(DebugOutputHook hook) {
    std::lock_guard lock(HookMutex());
    DebugOutputHook previous = std::move(DebugHook());
    DebugHook() = std::move(hook);
    return previous;
}

}  // namespace tarn::platform

void OutputDebugStringA(LPCSTR text) {
    const char* shown = text != nullptr ? text : "";
    tarn::platform::DebugOutputHook hook;
    {
        std::lock_guard lock(HookMutex());
        hook = DebugHook();
    }
    if (hook) {
        hook(shown);
    }
    const char* enabled = std::getenv("TARN_DEBUG_OUTPUT");
    if (enabled != nullptr && std::strcmp(enabled, "1") == 0) {
        std::fputs(shown, stderr);
        std::fflush(stderr);
    }
}
