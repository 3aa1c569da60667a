// Test seams of the routine table: fake processor answers and registry switches, and a return to the load state.
// Production code never calls these; with no fakes set, the real processor and registry answer.
#pragma once

#include <functional>
#include <optional>

#include "RoutineTable.h"

namespace tarn::math {

struct MathProcessorFakes {
    std::optional<DWORD> features;      // QueryProcessorFeatures
    std::optional<DWORD> simd;          // QuerySimdSupport
    std::optional<bool> has3DNow;       // IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE)
    std::optional<bool> hasXmmi;        // IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE)
    std::optional<bool> cpuIdMmx;       // leaf 1 EDX bit 23 as UseMmx sees it
    std::optional<WORD> architecture;   // GetSystemInfo's wProcessorArchitecture as UseMmx sees it
    std::optional<WORD> level;          // GetSystemInfo's wProcessorLevel as UseMmx sees it
};
// Fakes for the four answers the routine selection asks of the processor; the rest stay real.
inline MathProcessorFakes ProcessorFakes(bool has3DNow, DWORD features, DWORD simd, bool xmmi) {
    MathProcessorFakes f;
    f.has3DNow = has3DNow;
    f.features = features;
    f.simd = simd;
    f.hasXmmi = xmmi;
    return f;
}
// The fakes now in force (UseMmx reads them too).
const MathProcessorFakes& MathProcessorFakesInForce();
// How often UseMmx has run the identification instruction (to show that it runs at most once).
int MathMmxCpuIdQueries();
void SetMathProcessorFakes(const MathProcessorFakes& fakes);

// Puts every slot back to its first-call entry and mathRoutineSet to 0xFFFF, as at load.
void ResetMathRoutines();
// Forgets the one-time answers of the library checks (allocator check, mute pointers, do-not-mute, MMX cache).
void ResetMathLibraryChecks();

// Replaces the zero-byte allocation and the deletion that the allocator check uses; empty functions restore
// the process-wide operators.
void SetZeroByteAllocatorForTesting(std::function<void*()> allocate, std::function<void(void*)> release);

}  // namespace tarn::math
