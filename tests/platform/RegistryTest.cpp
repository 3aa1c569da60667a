// Registry values from TARN_REG_<name>: the DWORD/string decision, the documented size rules, and key errors.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include "platform/win32/Win32.h"

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D", &key_), ERROR_SUCCESS);
    }
    void TearDown() override {
        unsetenv("TARN_REG_TestValue");
        EXPECT_EQ(RegCloseKey(key_), ERROR_SUCCESS);
    }
    HKEY key_ = nullptr;
};

TEST_F(RegistryTest, ValueTypeFollowsTheVariablesText) {
    struct Case {
        const char* text;
        DWORD type;
        DWORD dword;  // for REG_DWORD
    } cases[] = {
        {"1", REG_DWORD, 1},
        {"0", REG_DWORD, 0},
        {"4294967295", REG_DWORD, 0xFFFFFFFFu},
        {"0x10", REG_DWORD, 16},
        {"0XfF", REG_DWORD, 255},
        {"4294967296", REG_SZ, 0},  // does not fit 32 bits
        {"-1", REG_SZ, 0},
        {"0x", REG_SZ, 0},
        {" 1", REG_SZ, 0},
        {"12abc", REG_SZ, 0},
        {"", REG_SZ, 0},
        {"yes", REG_SZ, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        setenv("TARN_REG_TestValue", c.text, 1);
        BYTE data[64] = {};
        DWORD type = REG_NONE;
        DWORD size = sizeof(data);
        ASSERT_EQ(RegQueryValueExA(key_, "TestValue", nullptr, &type, data, &size), ERROR_SUCCESS);
        EXPECT_EQ(type, c.type);
        if (c.type == REG_DWORD) {
            EXPECT_EQ(size, 4u);
            DWORD value = 0;
            std::memcpy(&value, data, 4);
            EXPECT_EQ(value, c.dword);
        } else {
            EXPECT_EQ(size, std::strlen(c.text) + 1);  // the terminator counts
            EXPECT_STREQ(reinterpret_cast<const char*>(data), c.text);
        }
    }
}

TEST_F(RegistryTest, SizeRulesMissingValuesAndBadArguments) {
    setenv("TARN_REG_TestValue", "a string", 1);
    DWORD type = 0, size = 0;
    // Null data asks for the size.
    ASSERT_EQ(RegQueryValueExA(key_, "TestValue", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 9u);
    // A short buffer: ERROR_MORE_DATA, the size needed and the type, the buffer untouched.
    BYTE small[4] = {'x', 'x', 'x', 'x'};
    size = sizeof(small);
    ASSERT_EQ(RegQueryValueExA(key_, "TestValue", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(small[0], 'x');

    EXPECT_EQ(RegQueryValueExA(key_, "NoSuchValueHere", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    // Value names ignore case: an upper-case variable answers for any spelling.
    setenv("TARN_REG_MIXEDCASE", "0x2", 1);
    EXPECT_EQ(RegQueryValueExA(key_, "MixedCase", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    unsetenv("TARN_REG_MIXEDCASE");
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key_, "TestValue", &reserved, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key_, "TestValue", nullptr, &type, small, nullptr), ERROR_INVALID_PARAMETER);
    // Values live only in the Direct3D key.
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\microsoft", 0, KEY_READ, &parent), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(parent, "TestValue", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    HKEY child = nullptr;
    ASSERT_EQ(RegOpenKeyA(parent, "Direct3D", &child), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(child, "TestValue", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(parent), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, OtherKeysAreMissing) {
    HKEY other = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3DX", &other), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Microsoft\\Direct3D", &other), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "\\Software", &other), ERROR_FILE_NOT_FOUND);
}

}  // namespace
