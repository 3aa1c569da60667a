// Processor and system queries against the compiler's own processor checks.
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/win32/Win32.h"

namespace {

TEST(SystemTest, ProcessorFeaturesMatchTheProcessor) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    EXPECT_EQ(IsProcessorFeaturePresent(PF_MMX_INSTRUCTIONS_AVAILABLE) != 0, __builtin_cpu_supports("mmx") != 0);
    EXPECT_EQ(IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0, __builtin_cpu_supports("sse") != 0);
    EXPECT_EQ(IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0, __builtin_cpu_supports("sse2") != 0);
    EXPECT_EQ(IsProcessorFeaturePresent(PF_SSE3_INSTRUCTIONS_AVAILABLE) != 0, __builtin_cpu_supports("sse3") != 0);
    EXPECT_TRUE(IsProcessorFeaturePresent(PF_RDTSC_INSTRUCTION_AVAILABLE));
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    // A 32-bit x86 program's view: Intel architecture, Pentium-class or later.
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
    EXPECT_GE(info.wProcessorLevel, 5);
#endif
    EXPECT_FALSE(IsProcessorFeaturePresent(PF_FLOATING_POINT_EMULATED));
    EXPECT_FALSE(IsProcessorFeaturePresent(9999));
}

TEST(SystemTest, SystemInfoAndVersion) {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    EXPECT_EQ(info.dwPageSize, static_cast<DWORD>(sysconf(_SC_PAGESIZE)));
    EXPECT_EQ(info.dwAllocationGranularity, 0x10000u);
    EXPECT_GE(info.dwNumberOfProcessors, 1u);
    EXPECT_NE(info.dwActiveProcessorMask, 0u);

    OSVERSIONINFOA version{};
    EXPECT_FALSE(GetVersionExA(&version));  // the size field must be set
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(GetVersionExA(&version));
    EXPECT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
}

}  // namespace
