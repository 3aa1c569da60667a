// The module table: nothing is loaded until a platform part registers it; names match as on Windows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "Modules.h"
#include "platform/win32/Win32.h"

namespace {

int g_muted = -1;
void Mute(BOOL on) { g_muted = on; }

TEST(ModulesTest, RegisteredModulesAnswerByNameAndExport) {
    EXPECT_EQ(GetModuleHandleA("tarntest.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryA("tarntest.dll"), nullptr);

    tarn::platform::RegisterModuleExport("TarnTest.DLL", "SetMute", reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&Mute)));
    HMODULE byHandle = GetModuleHandleA("tarntest.dll");
    ASSERT_NE(byHandle, nullptr);
    EXPECT_EQ(GetModuleHandleA("TARNTEST"), byHandle);  // no extension means .dll
    EXPECT_EQ(LoadLibraryA("C:\\Windows\\System32\\tarntest.dll"), byHandle);
    EXPECT_NE(byHandle, GetModuleHandleA(nullptr));

    auto proc = reinterpret_cast<void (*)(BOOL)>(reinterpret_cast<void (*)()>(GetProcAddress(byHandle, "SetMute")));
    ASSERT_NE(proc, nullptr);
    proc(TRUE);
    EXPECT_EQ(g_muted, TRUE);
    EXPECT_EQ(GetProcAddress(byHandle, "setmute"), nullptr);  // export names are exact
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(GetModuleHandleA(nullptr), "SetMute"), nullptr);

    EXPECT_TRUE(FreeLibrary(byHandle));
    EXPECT_FALSE(FreeLibrary(byHandle));  // only one LoadLibraryA reference was taken
    EXPECT_EQ(GetModuleHandleA("tarntest.dll"), byHandle);  // part of the process: still there
}

// The process module's file name is the executable's full path, cut to a small buffer as Windows does from XP
// on; a registered module answers with its name, anything else is no module.
TEST(ModulesTest, ModuleFileNameIsTheExecutablesPath) {
    char expected[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", expected, sizeof expected - 1), 0);
    char path[MAX_PATH * 16] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    EXPECT_EQ(std::string(path), expected);
    EXPECT_EQ(length, std::string(expected).size());
    char same[MAX_PATH * 16] = {};
    EXPECT_EQ(GetModuleFileNameA(GetModuleHandleA(nullptr), same, sizeof same), length);

    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), std::string(expected).substr(0, 4));

    tarn::platform::RegisterModuleExport("tarnname.dll", nullptr, nullptr);
    char name[64] = {};
    EXPECT_EQ(GetModuleFileNameA(GetModuleHandleA("TarnName"), name, sizeof name), 12u);
    EXPECT_STREQ(name, "tarnname.dll");
    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(0x1234), name, sizeof name), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
