// FormatMessageA over the system text table (known, HRESULT-wrapped, unknown codes, buffer rules) and debug output.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "platform/TestHooks.h"
#include "platform/win32/Win32.h"

namespace {

constexpr DWORD kAllocateFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;

// What SystemErrorBox does: allocated text, or nothing.
bool SystemText(DWORD code, std::string* text) {
    char* buffer = nullptr;
    DWORD length = FormatMessageA(kAllocateFlags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    if (length == 0) {
        EXPECT_EQ(buffer, nullptr);
        return false;
    }
    *text = std::string(buffer, length);
    EXPECT_EQ(LocalFree(buffer), nullptr);
    return true;
}

TEST(ErrorsTest, KnownCodesHaveTheirSystemTexts) {
    struct Case {
        DWORD code;
        const char* text;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
        {0x80070002, "The system cannot find the file specified.\r\n"},  // the same error as an HRESULT
        {NTE_BAD_KEYSET, "Keyset does not exist\r\n"},
        {NTE_BAD_ALGID, "Invalid algorithm specified.\r\n"},
        {static_cast<DWORD>(E_FAIL), "Unspecified error\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        std::string text;
        ASSERT_TRUE(SystemText(c.code, &text));
        EXPECT_EQ(text, c.text);
    }
}

TEST(ErrorsTest, UnknownCodesFailWithoutABuffer) {
    for (DWORD code : {0x12345u, 0x8009FFFFu, 0x88760B59u}) {
        std::string text;
        EXPECT_FALSE(SystemText(code, &text));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    }
}

TEST(ErrorsTest, CallerBufferMustHoldTheTextAndItsTerminator) {
    char buffer[64];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, buffer, sizeof(buffer),
                             nullptr);
    EXPECT_EQ(n, 19u);
    EXPECT_STREQ(buffer, "Access is denied.\r\n");
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, buffer, 19, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(ErrorsTest, DebugOutputGoesToTheHookAndToStandardErrorOnlyWhenAskedFor) {
    std::vector<std::string> lines;
    auto previous = tarn::platform::SetDebugOutputHook([&](const char* text) { lines.emplace_back(text); });
    unsetenv("TARN_DEBUG_OUTPUT");
    testing::internal::CaptureStderr();
    OutputDebugStringA("quiet\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    setenv("TARN_DEBUG_OUTPUT", "1", 1);
    testing::internal::CaptureStderr();
    OutputDebugStringA("loud\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "loud\n");
    unsetenv("TARN_DEBUG_OUTPUT");
    tarn::platform::SetDebugOutputHook(previous);
    EXPECT_EQ(lines, (std::vector<std::string>{"quiet\n", "loud\n"}));
}

}  // namespace
