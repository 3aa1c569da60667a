// The module table: nothing is loaded until a platform part registers it; names match as on Windows.
#include <gtest/gtest.h>

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

}  // namespace
