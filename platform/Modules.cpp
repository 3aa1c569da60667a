// The module table: modules that platform parts registered (loaded as far as the program can tell) and their
// exports. Names match without regard to case and to a leading folder; a name without extension means ".dll".
// GetModuleHandleA(NULL) is the process itself, which exports nothing.
#include "Modules.h"

#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "Win32Internal.h"

namespace {

struct Module {
    std::uintptr_t id = 0;
    int loads = 0;
    std::map<std::string, FARPROC> exports;
};

constexpr std::uintptr_t kProcessModule = 0x400000;  // where a program image traditionally sits

std::mutex& ModuleMutex() {
    static std::mutex mutex;
    return mutex;
}
std::map<std::string, Module>& Modules() {
    static std::map<std::string, Module> modules;
    return modules;
}
std::uintptr_t g_nextModule = 0x10000000;

std::string ModuleKey(const char* name) {
    std::string key = name;
    std::size_t slash = key.find_last_of("\\/");
    if (slash != std::string::npos) {
        key = key.substr(slash + 1);
    }
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    // A trailing dot means "no extension"; no dot at all means ".dll".
    if (!key.empty() && key.back() == '.') {
        key.pop_back();
    } else if (key.find('.') == std::string::npos) {
        key += ".dll";
    }
    return key;
}

Module* FindById(std::uintptr_t id) {
    for (auto& [name, module] : Modules()) {
        if (module.id == id) {
            return &module;
        }
    }
    return nullptr;
}

}  // namespace

namespace tarn::platform {

void RegisterModuleExport(const char* module, const char* proc, FARPROC function) {
    if (module == nullptr || module[0] == 0) {
        return;
    }
    std::lock_guard lock(ModuleMutex());
    Module& record = Modules()[ModuleKey(module)];
    if (record.id == 0) {
        record.id = g_nextModule;
        g_nextModule += 0x10000;
    }
    if (proc != nullptr) {
        record.exports[proc] = function;
    }
}

}  // namespace tarn::platform

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName == nullptr) {
        return reinterpret_cast<HMODULE>(kProcessModule);
    }
    std::lock_guard lock(ModuleMutex());
    auto it = Modules().find(ModuleKey(moduleName));
    if (moduleName[0] == 0 || it == Modules().end()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(it->second.id);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    const auto id = reinterpret_cast<std::uintptr_t>(module);
    std::string path;
    if (module == nullptr || id == kProcessModule) {
        char buffer[4096];
        const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        path.assign(buffer, static_cast<std::size_t>(length));
    } else {
        std::lock_guard lock(ModuleMutex());
        for (const auto& [name, record] : Modules()) {
            if (record.id == id) path = name;
        }
        if (path.empty()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
    }
    if (fileName == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // As Windows does from XP on: a path that does not fit is cut and terminated, and the whole size is returned.
    if (path.size() >= size) {
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, path.data(), path.size());
    fileName[path.size()] = '\0';
    return static_cast<DWORD>(path.size());
}

HMODULE LoadLibraryA(LPCSTR fileName) {
    if (tarn::platform::detail::FailsNow("LoadLibraryA")) {
        return nullptr;
    }
    if (fileName == nullptr || fileName[0] == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(ModuleMutex());
    auto it = Modules().find(ModuleKey(fileName));
    if (it == Modules().end()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++it->second.loads;
    return reinterpret_cast<HMODULE>(it->second.id);
}

BOOL FreeLibrary(HMODULE module) {
    std::lock_guard lock(ModuleMutex());
    Module* record = FindById(reinterpret_cast<std::uintptr_t>(module));
    if (record == nullptr || record->loads == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The modules are part of the process: the last release does not unload them.
    --record->loads;
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    if (tarn::platform::detail::FailsNow("GetProcAddress")) {
        return nullptr;
    }
    auto id = reinterpret_cast<std::uintptr_t>(module);
    if (module == nullptr) {
        id = kProcessModule;
    }
    // Names below 0x10000 are ordinals, which none of these modules export.
    if (procName == nullptr || reinterpret_cast<std::uintptr_t>(procName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (id == kProcessModule) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard lock(ModuleMutex());
    Module* record = FindById(id);
    if (record == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    auto it = record->exports.find(procName);
    if (it == record->exports.end() || it->second == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return it->second;
}
