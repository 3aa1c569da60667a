// Read-only registry: HKEY_LOCAL_MACHINE\Software\Microsoft\Direct3D (and the keys above it) exist; a value
// named V of the Direct3D key is the environment variable TARN_REG_V (or TARN_REG_ and V in upper case).
// Decimal or 0x-hex digits that fit 32 bits are a REG_DWORD; any other text is a REG_SZ (stored with its
// terminating NUL); an unset variable is a missing value.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "Win32Internal.h"
#include "platform/win32/Win32.h"

namespace {

struct OpenKey {
    std::string path;  // lower case, below HKEY_LOCAL_MACHINE
};

constexpr const char* kValueKey = "software\\microsoft\\direct3d";

std::mutex& KeyMutex() {
    static std::mutex mutex;
    return mutex;
}
std::unordered_map<std::uintptr_t, OpenKey>& Keys() {
    static std::unordered_map<std::uintptr_t, OpenKey> keys;
    return keys;
}
std::uintptr_t g_nextKey = 0x2000;

bool Predefined(HKEY key) {
    auto value = reinterpret_cast<std::uintptr_t>(key);
    return value >= 0x80000000u && value <= 0x80000002u;
}

// Path of `key` below HKEY_LOCAL_MACHINE, or false for keys outside it or unknown handles.
bool PathOf(HKEY key, std::string* path, bool* valid) {
    *valid = true;
    if (key == HKEY_LOCAL_MACHINE) {
        path->clear();
        return true;
    }
    if (Predefined(key)) {
        return false;
    }
    std::lock_guard lock(KeyMutex());
    auto it = Keys().find(reinterpret_cast<std::uintptr_t>(key));
    if (it == Keys().end()) {
        *valid = false;
        return false;
    }
    *path = it->second.path;
    return true;
}

bool KeyExists(const std::string& path) {
    return path.empty() || path == "software" || path == "software\\microsoft" || path == kValueKey;
}

LSTATUS Open(const char* call, HKEY key, LPCSTR subKey, PHKEY result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::uint32_t code = 0;
    if (tarn::platform::TakeFault(call, &code)) {
        return static_cast<LSTATUS>(code);
    }
    std::string path;
    bool valid = true;
    bool known = PathOf(key, &path, &valid);
    if (!valid) {
        return ERROR_INVALID_HANDLE;
    }
    std::string sub = subKey != nullptr ? subKey : "";
    for (char& c : sub) {
        c = c == '/' ? '\\' : static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    while (!sub.empty() && sub.back() == '\\') {
        sub.pop_back();
    }
    if (!sub.empty() && sub.front() == '\\') {
        return ERROR_FILE_NOT_FOUND;  // a sub-key never starts with a separator
    }
    if (sub.empty() && Predefined(key)) {
        *result = key;  // opening a predefined key itself gives it back
        return ERROR_SUCCESS;
    }
    if (!known) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::string full = path.empty() ? sub : (sub.empty() ? path : path + "\\" + sub);
    if (!KeyExists(full)) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::lock_guard lock(KeyMutex());
    std::uintptr_t id = g_nextKey;
    g_nextKey += 4;
    Keys()[id] = OpenKey{full};
    *result = reinterpret_cast<HKEY>(id);
    return ERROR_SUCCESS;
}

// Parses a whole string of decimal or 0x-hex digits that fits 32 bits.
bool ParseDword(const char* text, DWORD* value) {
    const char* digits = text;
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        digits = text + 2;
        base = 16;
    }
    if (*digits == 0) {
        return false;
    }
    for (const char* p = digits; *p != 0; ++p) {
        bool ok = base == 10 ? (*p >= '0' && *p <= '9')
                             : ((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f') || (*p >= 'A' && *p <= 'F'));
        if (!ok) {
            return false;
        }
    }
    errno = 0;
    unsigned long long parsed = std::strtoull(digits, nullptr, base);
    if (errno != 0 || parsed > 0xFFFFFFFFull) {
        return false;
    }
    *value = static_cast<DWORD>(parsed);
    return true;
}

}  // namespace

LSTATUS RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) { return Open("RegOpenKeyA", key, subKey, result); }

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    return Open("RegOpenKeyExA", key, subKey, result);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (reserved != nullptr || (data != nullptr && size == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::uint32_t code = 0;
    if (tarn::platform::TakeFault("RegQueryValueExA", &code)) {
        return static_cast<LSTATUS>(code);
    }
    std::string path;
    bool valid = true;
    bool known = PathOf(key, &path, &valid);
    if (!valid) {
        return ERROR_INVALID_HANDLE;
    }
    if (!known || path != kValueKey || valueName == nullptr || valueName[0] == 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    // Value names ignore case: the exact spelling is looked up first, then the name in upper case.
    std::string variable = std::string("TARN_REG_") + valueName;
    const char* text = std::getenv(variable.c_str());
    if (text == nullptr) {
        for (char& c : variable) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        text = std::getenv(variable.c_str());
    }
    if (text == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    DWORD dword = 0;
    bool isDword = ParseDword(text, &dword);
    DWORD needed = isDword ? 4 : static_cast<DWORD>(std::strlen(text) + 1);
    if (type != nullptr) {
        *type = isDword ? REG_DWORD : REG_SZ;
    }
    if (data == nullptr) {
        if (size != nullptr) {
            *size = needed;
        }
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (isDword) {
        std::memcpy(data, &dword, 4);  // little-endian, as the registry stores it
    } else {
        std::memcpy(data, text, needed);
    }
    *size = needed;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    if (Predefined(key)) {
        return ERROR_SUCCESS;
    }
    std::lock_guard lock(KeyMutex());
    if (Keys().erase(reinterpret_cast<std::uintptr_t>(key)) == 0) {
        return ERROR_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}
