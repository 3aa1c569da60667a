// UTF-8 <-> UTF-16 conversion: counting, surrogate pairs, terminators, invalid input and short buffers.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/Win32.h"

namespace {

TEST(TextTest, RoundTripsKoreanAndAstralTextWithTheTerminatorWhenLengthIsMinusOne) {
    const char* utf8 = "\xEC\x83\x9D\xEC\x84\xB1 \xF0\x9F\x8C\x8A";  // two Hangul syllables, space, U+1F30A
    int needed = MultiByteToWideChar(CP_ACP, 0, utf8, -1, nullptr, 0);
    ASSERT_EQ(needed, 6);  // 2 + 1 + surrogate pair + terminator
    std::u16string wide(static_cast<std::size_t>(needed), u'\0');
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, utf8, -1, wide.data(), needed), 6);
    EXPECT_EQ(wide, (std::u16string{0xC0DD, 0xC131, u' ', 0xD83C, 0xDF0A, 0}));

    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    ASSERT_EQ(bytes, 12);
    std::string back(static_cast<std::size_t>(bytes), '\0');
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, back.data(), bytes, nullptr, nullptr), 12);
    EXPECT_STREQ(back.c_str(), utf8);
}

TEST(TextTest, InvalidInputAndShortBuffers) {
    const char bad[] = "a\xC0\xAF" "b";  // an overlong '/'
    WCHAR out[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, 4, out, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, bad, 4, out, 8), 4);  // each bad byte becomes U+FFFD
    EXPECT_EQ(out[1], 0xFFFD);
    EXPECT_EQ(out[3], u'b');
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, out, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(1250, 0, "abc", 3, out, 8), 0);  // a code page we do not have
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    const WCHAR lone[] = {u'x', 0xD800, u'y', 0};
    char text[8] = {};
    BOOL usedDefault = FALSE;
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, -1, text, 8, nullptr, &usedDefault), 4);
    EXPECT_STREQ(text, "x?y");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, text, 8, nullptr, &usedDefault), 0);  // not for UTF-8
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, text, 8, nullptr, nullptr), 6);
    EXPECT_STREQ(text, "x\xEF\xBF\xBDy");  // U+FFFD
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0x80, lone, -1, text, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", 3, out, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

}  // namespace
