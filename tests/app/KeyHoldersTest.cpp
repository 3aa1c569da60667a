// A program linking the key holders gets them built before main: the default key container that the first
// holder's provider check creates is already there, and the provider answers at its first attempt.
#include <gtest/gtest.h>

#include "platform/win32/Win32.h"

namespace {

TEST(KeyHoldersTest, HoldersWereBuiltBeforeMain) {
    HCRYPTPROV provider = 0;
    ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, 0))
        << "no default key container: the holders did not run";
    EXPECT_TRUE(CryptReleaseContext(provider, 0));
}

}  // namespace
