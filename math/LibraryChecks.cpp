// The library's runtime services: the Direct3D debug-output mute, the zero-byte allocator check and the reader of
// the optional REG_DWORD switches under HKEY_LOCAL_MACHINE "Software\Microsoft\Direct3D".
#include <new>

#include "RoutineTable.h"
#include "math/RoutineTableTesting.h"

namespace tarn::math {
namespace {

using DebugSetMuteFn = void (*)(BOOL);

constinit DebugSetMuteFn retailMute = nullptr;
constinit DebugSetMuteFn debugMute = nullptr;
constinit int doNotMute = -1;
constinit int allocatorChecked = 0;

// Made on first use: the allocator check runs with the first math call, which may come before main.
std::function<void*()>& TestAllocate() {
    static std::function<void*()> allocate;
    return allocate;
}
std::function<void(void*)>& TestRelease() {
    static std::function<void(void*)> release;
    return release;
}

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

void CheckAllocatorConformance() {
    if (allocatorChecked) return;
    allocatorChecked = 1;
    auto allocate = [] { return TestAllocate() ? TestAllocate()() : ::operator new(0, std::nothrow); };
    auto release = [](void* p) {
        if (TestRelease())
            TestRelease()(p);
        else
            ::operator delete(p);
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
    TestAllocate() = std::move(allocate);
    TestRelease() = std::move(release);
}

void ResetMathLibraryChecks() {
    retailMute = debugMute = nullptr;
    doNotMute = -1;
    allocatorChecked = 0;
    mmxAllowed = -1;
}

}  // namespace tarn::math

void MuteDebugOutput(BOOL mute) {
    using namespace tarn::math;
    if (!retailMute && !debugMute) {
        retailMute = FindMute("d3d9.dll");
        debugMute = FindMute("d3d9d.dll");
    }
    if (doNotMute == -1) {
        DWORD value = 0;
        if (!ReadDirect3DDword(REG_DWORD, "D3DXDoNotMute", &value, sizeof value)) value = 0;
        doNotMute = value != 0 ? 1 : 0;
    }
    if (doNotMute == 1) return;
    if (retailMute) retailMute(mute);
    if (debugMute) debugMute(mute);
}
