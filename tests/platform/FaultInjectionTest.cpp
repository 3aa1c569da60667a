// Fault injection: once, a number of times, always, and only for the call named.
#include <gtest/gtest.h>

#include "platform/FaultInjection.h"
#include "platform/win32/Win32.h"

namespace {

TEST(FaultInjectionTest, CountsDownAndAlwaysUntilCleared) {
    using tarn::platform::InjectFault;
    using tarn::platform::TakeFault;
    tarn::platform::ClearFaults();
    std::uint32_t code = 0;
    EXPECT_FALSE(TakeFault("CreateDevice", &code));

    InjectFault("CreateDevice", 0x8876086Cu, 2);
    EXPECT_FALSE(TakeFault("GetDeviceCaps", &code));
    EXPECT_TRUE(TakeFault("CreateDevice", &code));
    EXPECT_EQ(code, 0x8876086Cu);
    EXPECT_TRUE(TakeFault("CreateDevice", &code));
    EXPECT_FALSE(TakeFault("CreateDevice", &code));

    InjectFault("CryptAcquireContextA", NTE_BAD_KEYSET, -1);
    for (int i = 0; i < 5; ++i) {
        HCRYPTPROV p = 0;
        EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
        EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);
    }
    tarn::platform::ClearFaults();
    HCRYPTPROV p = 0;
    EXPECT_TRUE(CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    CryptReleaseContext(p, 0);

    // Platform calls that report through LSTATUS return the armed code.
    InjectFault("RegOpenKeyA", ERROR_ACCESS_DENIED, 1);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D", &key), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D", &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

}  // namespace
