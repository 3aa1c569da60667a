// The routine table: public entries that jump through their slot, first-call entries that select the set once,
// the reference set, and the selection itself with its registry switches and processor queries.
#include "RoutineTable.h"

#include "ReferenceRoutines.h"
#include "math/RoutineTableTesting.h"

#if (defined(__x86_64__) || defined(__i386__)) && !defined(TARN_MATH_REFERENCE_ONLY)
#include <cpuid.h>
#define TARN_MATH_X86 1
#endif

namespace tarn::math {
namespace {

constinit MathProcessorFakes g_fakes;

// A first-call entry: select once, then forward the call to whatever the slot holds now.
template <auto Member>
struct FirstCall;
template <typename R, typename... A, R (*MathRoutineTable::*Member)(A...)>
struct FirstCall<Member> {
    static R Entry(A... args) {
        InitMathRoutines(TRUE);
        return (g_mathRoutines.*Member)(args...);
    }
};

constexpr MathRoutineTable kFirstCallEntries = {
#define TARN_MATH_FIRST_CALL(slot, result, name, params, args) &FirstCall<&MathRoutineTable::name>::Entry,
    TARN_MATH_SLOTS(TARN_MATH_FIRST_CALL)
#undef TARN_MATH_FIRST_CALL
};

// Slots 8 and 21 hold the same four-component normalisation.
D3DXVECTOR4* Vec4NormalizeAsQuaternion(D3DXVECTOR4* o, const D3DXVECTOR4* v) {
    reference::D3DXQuaternionNormalize(reinterpret_cast<D3DXQUATERNION*>(o),
                                       reinterpret_cast<const D3DXQUATERNION*>(v));
    return o;
}

// Built at compile time: a math call made while other globals are being initialised (before main) may select
// the routines, and the selection copies this set, so it must never be seen unfilled.
constexpr MathRoutineTable MakeReferenceSet() {
    MathRoutineTable t = {
#define TARN_MATH_REFERENCE(slot, result, name, params, args) &reference::name,
        TARN_MATH_SLOTS(TARN_MATH_REFERENCE)
#undef TARN_MATH_REFERENCE
    };
    t.D3DXVec4Normalize = Vec4NormalizeAsQuaternion;
    return t;
}

// No slot of a table is null when the slot list gives every slot an entry: each entry is the address of a
// function, which is never null. (Comparing those addresses with null directly is not a constant expression
// for every compiler: with the undefined-behaviour sanitizer, a function may sit at address 0.)
constexpr bool EverySlotFilled() {
    bool filled[kMathRoutineSlots] = {};
#define TARN_MATH_FILLED(slot, result, name, params, args) filled[slot] = true;
    TARN_MATH_SLOTS(TARN_MATH_FILLED)
#undef TARN_MATH_FILLED
    for (bool f : filled)
        if (!f) return false;
    return true;
}

constexpr MathRoutineTable kReferenceSet = MakeReferenceSet();
static_assert(EverySlotFilled(), "the reference set and the first-call entries have a routine in every slot");

bool ProcessorFeaturePresent(DWORD feature) {
    if (feature == PF_3DNOW_INSTRUCTIONS_AVAILABLE && g_fakes.has3DNow) return *g_fakes.has3DNow;
    if (feature == PF_XMMI_INSTRUCTIONS_AVAILABLE && g_fakes.hasXmmi) return *g_fakes.hasXmmi;
    return IsProcessorFeaturePresent(feature) != FALSE;
}

}  // namespace

// Constant-initialised, so that they hold their load state before any code runs.
constinit MathRoutineTable g_mathRoutines = kFirstCallEntries;
constinit int mathRoutineSet = kMathSetNone;

const MathRoutineTable& MathReferenceSet() { return kReferenceSet; }

}  // namespace tarn::math

// Public entries: one indirect call through the slot.
#define TARN_MATH_PUBLIC(slot, result, name, params, args) \
    result WINAPI name params { return tarn::math::g_mathRoutines.name args; }
TARN_MATH_SLOTS(TARN_MATH_PUBLIC)
#undef TARN_MATH_PUBLIC

namespace tarn::math {

DWORD QueryProcessorFeatures() {
    if (g_fakes.features) return *g_fakes.features;
    DWORD flags = 0;
#if TARN_MATH_X86
    unsigned a, b, c, d;
    flags |= kCpuIdRan;
    __cpuid(0, a, b, c, d);
    if (a == 0) return flags;
    flags |= kCpuStandardLeaves;
    __cpuid(1, a, b, c, d);
    if (d & (1u << 23)) flags |= kCpuMmx;
    if (d & (1u << 25)) flags |= kCpuSse;
    __cpuid(0x80000000u, a, b, c, d);
    if (!(a > 0x80000000u)) return flags;
    flags |= kCpuExtendedLeaves;
    __cpuid(0x80000001u, a, b, c, d);
    if (d & (1u << 31)) flags |= kCpu3DNow;
    if (d & (1u << 30)) flags |= kCpu3DNowExt;
    if (d & (1u << 22)) flags |= kCpuAmdMmxExt;
#endif
    return flags;
}

DWORD QuerySimdSupport() {
    if (g_fakes.simd) return *g_fakes.simd;
    DWORD flags = 0;
#if TARN_MATH_X86
    // The identification instruction cannot fault on x86-64; the maximum-leaf test still applies.
    unsigned a, b, c, d;
    __cpuid(0, a, b, c, d);
    if (a == 0) return 0;
    __cpuid(1, a, b, c, d);
    if (d & (1u << 25)) flags |= kSimdSse;
    if (d & (1u << 26)) flags |= kSimdSse2;
#endif
    return flags;
}

int InitMathRoutines(BOOL enable) {
    CheckAllocatorConformance();
    if (!enable) {
        mathRoutineSet = kMathSetNone;
        g_mathRoutines = kReferenceSet;
        return kMathSetNone;
    }
    if (mathRoutineSet != kMathSetNone) return mathRoutineSet;

    mathRoutineSet = kMathSetReference;
    g_mathRoutines = kReferenceSet;
    InstallBaselineSet(g_mathRoutines);
    // A build without processor-specific code has nothing more to choose from, whatever the processor offers.
    if (!MathHasSimdSets()) return mathRoutineSet;

    DWORD level = 0;
    if (!ReadDirect3DDword(REG_DWORD, "DisablePSGP", &level, sizeof level)) level = 0;
    DWORD override = 0;
    if (ReadDirect3DDword(REG_DWORD, "DisableD3DXPSGP", &override, sizeof override)) level = override;
    if (level == 1) return mathRoutineSet;

    if (level != 2 && ProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE)) {
        const DWORD flags = QueryProcessorFeatures();
        if ((flags & kCpuMmx) && (flags & kCpu3DNow)) {
            Install3DNowSet(g_mathRoutines);
            if ((flags & kCpu3DNowExt) && (flags & kCpuAmdMmxExt)) InstallAthlonSet(g_mathRoutines);
        }
        if (flags & kCpuSse) InstallAmdSseArraySet(g_mathRoutines);
        mathRoutineSet = kMathSetAmd;
    } else if (QuerySimdSupport() & kSimdSse2) {
        InstallSse2Set(g_mathRoutines);
        mathRoutineSet = kMathSetSse2;
    } else if (ProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE)) {
        InstallSseSet(g_mathRoutines);
        mathRoutineSet = kMathSetSse;
    }
    return mathRoutineSet;
}

void SetMathProcessorFakes(const MathProcessorFakes& fakes) { g_fakes = fakes; }

const MathProcessorFakes& MathProcessorFakesInForce() { return g_fakes; }

void ResetMathRoutines() {
    g_mathRoutines = kFirstCallEntries;
    mathRoutineSet = kMathSetNone;
}

}  // namespace tarn::math
