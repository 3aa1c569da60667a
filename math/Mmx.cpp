// Whether texture loading may use its MMX paths: a "DisableMMX" switch read on every call withdraws the permission
// for good; otherwise a processor test that runs once decides.
#include "RoutineTable.h"
#include "math/RoutineTableTesting.h"

#if (defined(__x86_64__) || defined(__i386__)) && !defined(TARN_MATH_REFERENCE_ONLY)
#include <cpuid.h>
#define TARN_MATH_X86 1
#endif

namespace tarn::math {

constinit int mmxAllowed = -1;

namespace {

constinit int g_cpuIdQueries = 0;

bool CpuIdReportsMmx() {
    ++g_cpuIdQueries;
    const MathProcessorFakes& fakes = MathProcessorFakesInForce();
    if (fakes.cpuIdMmx) return *fakes.cpuIdMmx;
#if TARN_MATH_X86
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return (d & (1u << 23)) != 0;
#else
    return false;
#endif
}

}  // namespace

int MathMmxCpuIdQueries() { return g_cpuIdQueries; }

}  // namespace tarn::math

int UseMmx() {
    using namespace tarn::math;
    DWORD disable = 0;
    if (ReadDirect3DDword(REG_DWORD, "DisableMMX", &disable, sizeof disable) && disable != 0) {
        mmxAllowed = 0;
        return 0;
    }
    if (mmxAllowed < 0) {
        mmxAllowed = 0;
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        const MathProcessorFakes& fakes = MathProcessorFakesInForce();
        if (fakes.architecture) info.wProcessorArchitecture = *fakes.architecture;
        if (fakes.level) info.wProcessorLevel = *fakes.level;
        if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL && info.wProcessorLevel >= 5 &&
            CpuIdReportsMmx()) {
            // No MMX register state is left behind by the query itself, so nothing needs leaving here.
            mmxAllowed = 1;
        }
    }
    return mmxAllowed;
}
