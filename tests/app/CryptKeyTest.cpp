// The key holder on the platform's CryptoAPI: the derived key checked against MD5 computed here with OpenSSL,
// and a failure injected at each step.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <array>
#include <string>
#include <vector>

#include "app/CryptKey.h"
#include "platform/FaultInjection.h"
#include "platform/TestHooks.h"
#include "report/ErrorBox.h"
#include "AppTestSupport.h"

namespace {

using tarn::test::BoxRecorder;

const char kPassword[] = {'k', 'e', 'l', 'p', 'W', 'o', 'r', 'd'};

std::array<unsigned char, 16> Md5(const void* data, size_t size) {
    std::array<unsigned char, 16> digest{};
    unsigned int length = 0;
    EXPECT_EQ(EVP_Digest(data, size, digest.data(), &length, EVP_md5(), nullptr), 1);
    EXPECT_EQ(length, 16u);
    return digest;
}

// RC4 keystream applied to `data`, written here so that the check does not rest on the code under test.
std::vector<unsigned char> Rc4(const std::vector<unsigned char>& key, std::vector<unsigned char> data) {
    unsigned char s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % key.size()]) & 255;
        std::swap(s[i], s[j]);
    }
    for (size_t n = 0, i = 0, j = 0; n < data.size(); ++n) {
        i = (i + 1) & 255;
        j = (j + s[i]) & 255;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 255];
    }
    return data;
}

// What SystemErrorBox shows for `code` (the system's text, or the code when there is none).
std::string SystemText(DWORD code) {
    BoxRecorder boxes;
    SystemErrorBox(code);
    return boxes.boxes.empty() ? std::string() : boxes.boxes[0].text;
}

class CryptKeyTest : public ::testing::Test {
protected:
    CryptKeyTest() { tarn::platform::ResetKeyContainers(); }
    ~CryptKeyTest() override { tarn::platform::ClearFaults(); }
};

TEST_F(CryptKeyTest, HashesExactlyTheEightPasswordBytesAndDerivesTheBaseProvidersRc4Key) {
    BoxRecorder boxes;
    CTRCryptKey holder(kPassword, sizeof(kPassword));
    EXPECT_TRUE(boxes.boxes.empty());
    ASSERT_NE(holder.GetProvider(), 0u);
    ASSERT_NE(holder.GetHash(), 0u);
    ASSERT_NE(holder.GetKey(), 0u);

    std::array<unsigned char, 16> hashed{};
    DWORD length = sizeof(hashed);
    ASSERT_TRUE(CryptGetHashParam(holder.GetHash(), HP_HASHVAL, hashed.data(), &length, 0));
    ASSERT_EQ(length, 16u);
    EXPECT_EQ(hashed, Md5("kelpWord", 8));
    EXPECT_NE(hashed, Md5("kelpWord", 9));  // with the terminator it would differ

    // The base provider's default RC4 key: 40 bits of the digest, then eleven zero bytes.
    const std::array<unsigned char, 16> digest = Md5("kelpWord", 8);
    std::vector<unsigned char> rc4Key(digest.begin(), digest.begin() + 5);
    rc4Key.resize(16, 0);
    const std::vector<unsigned char> plain = {'t', 'a', 'r', 'n', ' ', 'e', 'n', 'g', 'i', 'n', 'e', '!'};
    std::vector<unsigned char> data = plain;
    DWORD dataLength = static_cast<DWORD>(data.size());
    ASSERT_TRUE(CryptEncrypt(holder.GetKey(), 0, TRUE, 0, data.data(), &dataLength, dataLength));
    EXPECT_EQ(data, Rc4(rc4Key, plain));
}

TEST_F(CryptKeyTest, FirstHolderCreatesTheDefaultContainerAndLaterOnesUseIt) {
    HCRYPTPROV probe = 0;
    ASSERT_FALSE(CryptAcquireContextA(&probe, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, 0));
    EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);

    BoxRecorder boxes;
    CTRCryptKey first(kPassword, sizeof(kPassword));
    CTRCryptKey second(kPassword, sizeof(kPassword));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_NE(second.GetKey(), 0u);
    ASSERT_TRUE(CryptAcquireContextA(&probe, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, 0));
    CryptReleaseContext(probe, 0);
}

TEST_F(CryptKeyTest, AFailingStepShowsItsErrorAndKeepsTheHandlesObtainedBeforeIt) {
    struct Case {
        const char* call;
        int times;  // how many calls of that name fail
        DWORD code;
        bool provider, hash;  // the handles left set (the key never is)
    };
    const Case cases[] = {
        {"CryptAcquireContextA", 2, NTE_PROV_TYPE_NOT_DEF, false,
         false},  // both attempts of the provider check
        {"CryptCreateHash", 1, NTE_BAD_ALGID, true, false},
        {"CryptHashData", 1, NTE_BAD_HASH, true, true},
        {"CryptDeriveKey", 1, NTE_BAD_KEY, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        const std::string expected = SystemText(c.code);
        HCRYPTPROV provider = 0;
        HCRYPTHASH hash = 0;
        {
            BoxRecorder boxes;
            tarn::platform::InjectFault(c.call, c.code, c.times);
            CTRCryptKey holder(kPassword, sizeof(kPassword));
            tarn::platform::ClearFaults();

            ASSERT_EQ(boxes.boxes.size(), 1u);
            EXPECT_EQ(boxes.boxes[0].text, expected);
            EXPECT_EQ(boxes.boxes[0].caption, "Error");
            EXPECT_EQ(boxes.boxes[0].type, static_cast<UINT>(MB_ICONINFORMATION));
            EXPECT_EQ(holder.GetProvider() != 0, c.provider);
            EXPECT_EQ(holder.GetHash() != 0, c.hash);
            EXPECT_EQ(holder.GetKey(), 0u);
            provider = holder.GetProvider();
            hash = holder.GetHash();
        }
        // The destructor released what the holder had: those handles are dead now.
        if (hash != 0) {
            BYTE value[16];
            DWORD length = sizeof(value);
            EXPECT_FALSE(CryptGetHashParam(hash, HP_HASHVAL, value, &length, 0));
        }
        if (provider != 0) {
            EXPECT_FALSE(CryptReleaseContext(provider, 0));
        }
    }
}

TEST_F(CryptKeyTest, DestructorReleasesEveryHandleOfACompleteHolder) {
    HCRYPTKEY key = 0;
    HCRYPTHASH hash = 0;
    HCRYPTPROV provider = 0;
    {
        CTRCryptKey holder(kPassword, sizeof(kPassword));
        key = holder.GetKey();
        hash = holder.GetHash();
        provider = holder.GetProvider();
        ASSERT_NE(key, 0u);
    }
    BYTE data[4] = {1, 2, 3, 4};
    DWORD length = sizeof(data);
    EXPECT_FALSE(CryptEncrypt(key, 0, TRUE, 0, data, &length, sizeof(data)));
    BYTE value[16];
    length = sizeof(value);
    EXPECT_FALSE(CryptGetHashParam(hash, HP_HASHVAL, value, &length, 0));
    EXPECT_FALSE(CryptReleaseContext(provider, 0));
}

}  // namespace
