// Processor and system queries. On x86 the features come from the identification instruction. The program is
// a 32-bit x86 program at heart, so GetSystemInfo answers as Windows does for such a process on a 64-bit x86
// system: Intel architecture, Pentium-class processor type, the processor family as the level.
#include <sched.h>
#include <unistd.h>

#include <cstring>

#include "platform/win32/Win32.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define TARN_X86 1
#else
#define TARN_X86 0
#endif

namespace {

struct CpuidResult {
    unsigned a = 0, b = 0, c = 0, d = 0;
};

// Leaf `leaf`, or zeros when the processor does not have it.
CpuidResult Cpuid(unsigned leaf) {
    CpuidResult r;
#if TARN_X86
    unsigned highest = __get_cpuid_max(leaf & 0x80000000u, nullptr);
    if (highest != 0 && leaf <= highest) {
        __cpuid(leaf, r.a, r.b, r.c, r.d);
    }
#else
    (void)leaf;
#endif
    return r;
}

bool Bit(unsigned word, int bit) { return ((word >> bit) & 1u) != 0; }

}  // namespace

void GetSystemInfo(LPSYSTEM_INFO info) {
    if (info == nullptr) {
        return;
    }
    std::memset(info, 0, sizeof(*info));
    long pageSize = sysconf(_SC_PAGESIZE);
    info->dwPageSize = pageSize > 0 ? static_cast<DWORD>(pageSize) : 4096;
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(0x10000));
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(0x7FFFFFFEFFFFull));
    info->dwAllocationGranularity = 0x10000;

    cpu_set_t set;
    CPU_ZERO(&set);
    DWORD_PTR mask = 0;
    DWORD count = 0;
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &set)) {
                ++count;
                if (cpu < static_cast<int>(sizeof(DWORD_PTR) * 8)) {
                    mask |= DWORD_PTR{1} << cpu;
                }
            }
        }
    }
    if (count == 0) {
        long online = sysconf(_SC_NPROCESSORS_ONLN);
        count = online > 0 ? static_cast<DWORD>(online) : 1;
        mask = count >= sizeof(DWORD_PTR) * 8 ? ~DWORD_PTR{0} : (DWORD_PTR{1} << count) - 1;
    }
    info->dwNumberOfProcessors = count;
    info->dwActiveProcessorMask = mask;

#if TARN_X86
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    info->dwProcessorType = PROCESSOR_INTEL_PENTIUM;
    CpuidResult leaf1 = Cpuid(1);
    unsigned family = (leaf1.a >> 8) & 0xF;
    unsigned model = (leaf1.a >> 4) & 0xF;
    unsigned stepping = leaf1.a & 0xF;
    if (family == 0xF) {
        family += (leaf1.a >> 20) & 0xFF;
    }
    if (family == 0x6 || family >= 0xF) {
        model += ((leaf1.a >> 16) & 0xF) << 4;
    }
    info->wProcessorLevel = static_cast<WORD>(family);
    info->wProcessorRevision = static_cast<WORD>((model << 8) | stepping);
#elif defined(__aarch64__)
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM64;
#else
    info->wProcessorArchitecture = 0xFFFF;  // PROCESSOR_ARCHITECTURE_UNKNOWN
#endif
}

BOOL IsProcessorFeaturePresent(DWORD feature) {
#if TARN_X86
    CpuidResult leaf1 = Cpuid(1);
    switch (feature) {
    case PF_FLOATING_POINT_PRECISION_ERRATA:
    case PF_FLOATING_POINT_EMULATED:
        return FALSE;
    case PF_COMPARE_EXCHANGE_DOUBLE: return Bit(leaf1.d, 8) ? TRUE : FALSE;
    case PF_MMX_INSTRUCTIONS_AVAILABLE: return Bit(leaf1.d, 23) ? TRUE : FALSE;
    case PF_XMMI_INSTRUCTIONS_AVAILABLE: return Bit(leaf1.d, 25) ? TRUE : FALSE;
    case PF_3DNOW_INSTRUCTIONS_AVAILABLE: return Bit(Cpuid(0x80000001u).d, 31) ? TRUE : FALSE;
    case PF_RDTSC_INSTRUCTION_AVAILABLE: return Bit(leaf1.d, 4) ? TRUE : FALSE;
    case PF_PAE_ENABLED: return Bit(leaf1.d, 6) ? TRUE : FALSE;
    case PF_XMMI64_INSTRUCTIONS_AVAILABLE: return Bit(leaf1.d, 26) ? TRUE : FALSE;
    case PF_SSE3_INSTRUCTIONS_AVAILABLE: return Bit(leaf1.c, 0) ? TRUE : FALSE;
    default: return FALSE;
    }
#else
    (void)feature;
    return FALSE;
#endif
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // An NT-family system (Unicode file names available), version 5.1.
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 2600;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    return TRUE;
}
