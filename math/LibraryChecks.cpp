// The library's runtime services: the Direct3D debug-output mute, the zero-byte allocator check and the reader of
// the optional REG_DWORD switches under HKEY_LOCAL_MACHINE "Software\Microsoft\Direct3D".
#include <new>

#include "math/RoutineTable.h"
#include "math/RoutineTableTesting.h"

namespace {

using DebugSetMuteFn = void (*)(BOOL);

DebugSetMuteFn g_retailMute = nullptr;
DebugSetMuteFn g_debugMute = nullptr;
int g_doNotMute = -1;
int g_allocatorChecked = 0;

std::function<void*()> g_allocate;
std::function<void(void*)> g_release;

// The runtime's DebugSetMute, looked up only when the process has the module loaded already. The reference
// LoadLibraryA takes is kept for the life of the process.
DebugSetMuteFn FindMute(const char* module) {
    if (!GetModuleHandleA(module)) return nullptr;
    HMODULE handle = LoadLibraryA(module);
    if (!handle) return nullptr;
    // Through the generic function type: the export is called with the one BOOL it takes.
    return reinterpret_cast<DebugSetMuteFn>(reinterpret_cast<void (*)()>(GetProcAddress(handle, "DebugSetMute")));
}

}  // namespace

int ReadDirect3DDword(DWORD expectedType, const char* valueName, void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D", &key) != ERROR_SUCCESS) return 0;
    DWORD type = REG_NONE;
    DWORD bytes = size;
    const LSTATUS status = RegQueryValueExA(key, valueName, nullptr, &type, static_cast<LPBYTE>(data), &bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == expectedType ? 1 : 0;
}

void MuteDebugOutput(BOOL mute) {
    if (!g_retailMute && !g_debugMute) {
        g_retailMute = FindMute("d3d9.dll");
        g_debugMute = FindMute("d3d9d.dll");
    }
    if (g_doNotMute == -1) {
        DWORD value = 0;
        if (!ReadDirect3DDword(REG_DWORD, "D3DXDoNotMute", &value, sizeof value)) value = 0;
        g_doNotMute = value != 0 ? 1 : 0;
    }
    if (g_doNotMute == 1) return;
    if (g_retailMute) g_retailMute(mute);
    if (g_debugMute) g_debugMute(mute);
}

void CheckAllocatorConformance() {
    if (g_allocatorChecked) return;
    g_allocatorChecked = 1;
    auto allocate = [] { return g_allocate ? g_allocate() : ::operator new(0, std::nothrow); };
    auto release = [](void* p) {
        if (g_release) g_release(p);
        else ::operator delete(p);
    };
    void* p = allocate();
    void* q = allocate();
    const bool conforms = p && q && p != q;
    if (p) release(p);
    if (q && q != p) release(q);
    release(nullptr);
    if (!conforms) {
        OutputDebugStringA("D3DX: (WARN) Overloaded ::new and ::delete operators do not conform to C++ standards:\r\n");
        OutputDebugStringA("D3DX: (WARN) An allocation of zero bytes should return a unique non-null pointer to at\r\n");
        OutputDebugStringA("D3DX: (WARN) least zero bytes. Deletion of a null pointer should quietly do nothing.\r\n");
        OutputDebugStringA("D3DX: (WARN) D3DX relies upon this behavior.\r\n");
    }
}

void SetZeroByteAllocatorForTesting(std::function<void*()> allocate, std::function<void(void*)> release) {
    g_allocate = std::move(allocate);
    g_release = std::move(release);
}

extern int g_mmxAllowed;

void ResetMathLibraryChecks() {
    g_retailMute = g_debugMute = nullptr;
    g_doNotMute = -1;
    g_allocatorChecked = 0;
    g_mmxAllowed = -1;
}
