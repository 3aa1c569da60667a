// The library's runtime checks: the registry reader, the debug-output mute, the allocator check and the MMX
// permission, with switches from TARN_REG_<name> and the platform's module table and debug-output hook.
#include <cstdlib>
#include <string>
#include <vector>

#include "math/RoutineTableTesting.h"
#include "Modules.h"
#include "platform/TestHooks.h"
#include "tests/math/MathTestUtil.h"

using namespace tarn::math;

namespace {

void SetSwitch(const char* name, const char* value) {
    const std::string var = std::string("TARN_REG_") + name;
    if (value) setenv(var.c_str(), value, 1);
    else unsetenv(var.c_str());
}

TEST(ReadDirect3DDword, OnlyDwordValuesRead) {
    struct Case {
        const char* stored;
        int result;
        DWORD value;
        int asString;  // the same value asked for as REG_SZ into 4 bytes
    } cases[] = {{"7", 1, 7, 0}, {"0x10", 1, 16, 0}, {"0", 1, 0, 0}, {"abc", 0, 0, 1}, {"long text", 0, 0, 0},
                 {nullptr, 0, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "(missing)");
        SetSwitch("MathTestValue", c.stored);
        DWORD value = 0;
        EXPECT_EQ(ReadDirect3DDword(REG_DWORD, "MathTestValue", &value, sizeof value), c.result);
        if (c.result) {
            EXPECT_EQ(value, c.value);
        }
        // Another type fails even when the value is there; a value larger than the buffer fails too.
        EXPECT_EQ(ReadDirect3DDword(REG_SZ, "MathTestValue", &value, sizeof value), c.asString);
    }
    SetSwitch("MathTestValue", nullptr);
}

std::vector<std::string> g_muteCalls;
void RetailMute(BOOL mute) { g_muteCalls.push_back(std::string("retail ") + (mute ? "on" : "off")); }
void DebugMute(BOOL mute) { g_muteCalls.push_back(std::string("debug ") + (mute ? "on" : "off")); }
FARPROC AsFarProc(void (*fn)(BOOL)) { return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn)); }

// One sequence, because modules registered with the platform stay registered for the process.
TEST(MuteDebugOutput, LooksUpLoadedRuntimesAndHonoursDoNotMute) {
    ResetMathLibraryChecks();
    SetSwitch("D3DXDoNotMute", nullptr);
    g_muteCalls.clear();
    MuteDebugOutput(TRUE);  // neither runtime loaded: nothing to call
    EXPECT_TRUE(g_muteCalls.empty());

    tarn::platform::RegisterModuleExport("d3d9.dll", "DebugSetMute", AsFarProc(RetailMute));
    MuteDebugOutput(TRUE);  // looked up again, found now
    EXPECT_EQ(g_muteCalls, std::vector<std::string>{"retail on"});

    tarn::platform::RegisterModuleExport("d3d9d.dll", "DebugSetMute", AsFarProc(DebugMute));
    g_muteCalls.clear();
    MuteDebugOutput(FALSE);  // the retail pointer is set, so no new look-up
    EXPECT_EQ(g_muteCalls, std::vector<std::string>{"retail off"});

    ResetMathLibraryChecks();
    g_muteCalls.clear();
    MuteDebugOutput(TRUE);
    EXPECT_EQ(g_muteCalls, (std::vector<std::string>{"retail on", "debug on"}));

    // "D3DXDoNotMute" is read once: set, nothing is called, and removing it later changes nothing.
    ResetMathLibraryChecks();
    SetSwitch("D3DXDoNotMute", "1");
    g_muteCalls.clear();
    MuteDebugOutput(TRUE);
    SetSwitch("D3DXDoNotMute", nullptr);
    MuteDebugOutput(FALSE);
    EXPECT_TRUE(g_muteCalls.empty());

    // Stored as a string it counts as absent.
    ResetMathLibraryChecks();
    SetSwitch("D3DXDoNotMute", "always");
    MuteDebugOutput(TRUE);
    EXPECT_EQ(g_muteCalls, (std::vector<std::string>{"retail on", "debug on"}));
    SetSwitch("D3DXDoNotMute", nullptr);
}

class AllocatorCheck : public ::testing::Test {
  protected:
    std::vector<std::string> lines;
    tarn::platform::DebugOutputHook previous;
    void SetUp() override {
        previous = tarn::platform::SetDebugOutputHook([this](const char* text) { lines.emplace_back(text); });
        ResetMathLibraryChecks();
    }
    void TearDown() override {
        tarn::platform::SetDebugOutputHook(previous);
        SetZeroByteAllocatorForTesting({}, {});
    }
};

const std::vector<std::string> kWarnings = {
    "D3DX: (WARN) Overloaded ::new and ::delete operators do not conform to C++ standards:\r\n",
    "D3DX: (WARN) An allocation of zero bytes should return a unique non-null pointer to at\r\n",
    "D3DX: (WARN) least zero bytes. Deletion of a null pointer should quietly do nothing.\r\n",
    "D3DX: (WARN) D3DX relies upon this behavior.\r\n",
};

TEST_F(AllocatorCheck, ConformingOperatorsWriteNothing) {
    CheckAllocatorConformance();
    EXPECT_TRUE(lines.empty());
}

TEST_F(AllocatorCheck, MisbehavingAllocatorsWarnOncePerProcess) {
    static char shared;
    struct Case {
        const char* name;
        std::function<void*()> allocate;
    } cases[] = {
        {"null for zero bytes", [] { return static_cast<void*>(nullptr); }},
        {"the same pointer twice", [] { return static_cast<void*>(&shared); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetMathLibraryChecks();
        lines.clear();
        std::vector<void*> released;
        SetZeroByteAllocatorForTesting(c.allocate, [&](void* p) { released.push_back(p); });
        CheckAllocatorConformance();
        CheckAllocatorConformance();
        EXPECT_EQ(lines, kWarnings);
        // The shared pointer is released once, then the null pointer.
        ASSERT_FALSE(released.empty());
        EXPECT_EQ(released.back(), nullptr);
        EXPECT_EQ(released.size(), c.allocate() ? 2u : 1u);
    }
}

TEST_F(AllocatorCheck, RunsAtTheFirstSelection) {
    SetZeroByteAllocatorForTesting([] { return static_cast<void*>(nullptr); }, [](void*) {});
    ResetMathRoutines();
    D3DXVECTOR3 v(1, 2, 3), out;
    D3DXVec3Normalize(&out, &v);
    EXPECT_EQ(lines, kWarnings);
    ResetMathRoutines();
}

class Mmx : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetMathLibraryChecks();
        SetSwitch("DisableMMX", nullptr);
    }
    void TearDown() override {
        SetMathProcessorFakes({});
        SetSwitch("DisableMMX", nullptr);
        ResetMathLibraryChecks();
    }
    static void Fake(std::optional<bool> mmx, WORD architecture = PROCESSOR_ARCHITECTURE_INTEL, WORD level = 6) {
        MathProcessorFakes f;
        f.cpuIdMmx = mmx;
        f.architecture = architecture;
        f.level = level;
        SetMathProcessorFakes(f);
    }
};

TEST_F(Mmx, SwitchWithdrawsPermissionForGood) {
    Fake(true);
    SetSwitch("DisableMMX", "1");
    EXPECT_EQ(UseMmx(), 0);
    SetSwitch("DisableMMX", nullptr);
    EXPECT_EQ(UseMmx(), 0);
}

TEST_F(Mmx, ProcessorTestDecidesOnceWhenTheSwitchIsAbsentOrOff) {
    struct Case {
        const char* disable;
        bool cpuMmx;
        int expected;
    } cases[] = {{nullptr, true, 1}, {"0", true, 1}, {"on", true, 1}, {nullptr, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.disable ? c.disable : "(absent)");
        ResetMathLibraryChecks();
        SetSwitch("DisableMMX", c.disable);
        Fake(c.cpuMmx);
        const int queries = MathMmxCpuIdQueries();
        EXPECT_EQ(UseMmx(), c.expected);
        EXPECT_EQ(UseMmx(), c.expected);
        EXPECT_EQ(MathMmxCpuIdQueries(), queries + 1);
    }
}

TEST_F(Mmx, OldOrForeignProcessorsAnswerNoWithoutTheIdentificationInstruction) {
    struct Case {
        WORD architecture, level;
    } cases[] = {{PROCESSOR_ARCHITECTURE_INTEL, 4}, {PROCESSOR_ARCHITECTURE_ARM64, 8}, {PROCESSOR_ARCHITECTURE_AMD64, 6}};
    for (const Case& c : cases) {
        ResetMathLibraryChecks();
        Fake(true, c.architecture, c.level);
        const int queries = MathMmxCpuIdQueries();
        EXPECT_EQ(UseMmx(), 0);
        EXPECT_EQ(MathMmxCpuIdQueries(), queries);
    }
}

TEST_F(Mmx, RealProcessor) {
    SetMathProcessorFakes({});
    // Every x86-64 processor has MMX and the platform reports an x86 architecture there.
    EXPECT_EQ(UseMmx(), MathHasSimdSets() ? 1 : 0);
}

}  // namespace
