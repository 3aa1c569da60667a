// CryptoAPI subset: key containers, MD5 hashing and the base provider's RC4 key derivation, checked against an
// MD5 computed here with libcrypto's EVP interface and an RC4 written here from its definition.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/FaultInjection.h"
#include "platform/TestHooks.h"
#include "platform/win32/Win32.h"

namespace {

using Bytes = std::vector<BYTE>;

// RC4 from its definition: key scheduling, then the keystream XORed over the data.
Bytes Rc4(const Bytes& key, Bytes data) {
    std::array<BYTE, 256> s{};
    for (int i = 0; i < 256; ++i) {
        s[i] = static_cast<BYTE>(i);
    }
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[static_cast<std::size_t>(i) % key.size()]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    int i = 0, j = 0;
    for (BYTE& b : data) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        b ^= s[(s[i] + s[j]) & 0xFF];
    }
    return data;
}

Bytes Md5(const std::string& text) {
    Bytes digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    EXPECT_EQ(EVP_Digest(text.data(), text.size(), digest.data(), &length, EVP_md5(), nullptr), 1);
    digest.resize(length);
    return digest;
}

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

class CryptoTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarn::platform::ClearFaults();
        tarn::platform::ResetKeyContainers();
    }
    void TearDown() override {
        if (key_ != 0) {
            EXPECT_TRUE(CryptDestroyKey(key_));
        }
        if (hash_ != 0) {
            EXPECT_TRUE(CryptDestroyHash(hash_));
        }
        if (provider_ != 0) {
            EXPECT_TRUE(CryptReleaseContext(provider_, 0));
        }
        tarn::platform::ClearFaults();
    }
    // The key holder's sequence: default container (created if missing), MD5 of the password, RC4 key.
    void DeriveFromPassword(const std::string& password, DWORD flags) {
        if (!CryptAcquireContextA(&provider_, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, 0)) {
            ASSERT_EQ(GetLastError(), NTE_BAD_KEYSET);
            ASSERT_TRUE(CryptAcquireContextA(&provider_, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET));
        }
        ASSERT_TRUE(CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash_));
        ASSERT_TRUE(CryptHashData(hash_, reinterpret_cast<const BYTE*>(password.data()),
                                  static_cast<DWORD>(password.size()), 0));
        ASSERT_TRUE(CryptDeriveKey(provider_, CALG_RC4, hash_, flags, &key_));
    }
    Bytes Encrypt(Bytes data, BOOL final = TRUE) {
        DWORD length = static_cast<DWORD>(data.size());
        EXPECT_TRUE(CryptEncrypt(key_, 0, final, 0, data.data(), &length, length));
        return data;
    }
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
    HCRYPTKEY key_ = 0;
};

TEST(Rc4Reference, KnownAnswer) {
    EXPECT_EQ(Rc4(FromText("Key"), FromText("Plaintext")),
              (Bytes{0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3}));
}

TEST_F(CryptoTest, DefaultKeyIsFiveMd5BytesPlusElevenZeroSaltBytes) {
    DeriveFromPassword("kelpWord", CRYPT_EXPORTABLE);
    Bytes md5 = Md5("kelpWord");

    BYTE value[16] = {};
    DWORD length = sizeof(value);
    ASSERT_TRUE(CryptGetHashParam(hash_, HP_HASHVAL, value, &length, 0));
    EXPECT_EQ(Bytes(value, value + length), md5);

    DWORD bits = 0;
    length = sizeof(bits);
    ASSERT_TRUE(CryptGetKeyParam(key_, KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &length, 0));
    EXPECT_EQ(bits, 40u);
    BYTE salt[16];
    length = sizeof(salt);
    ASSERT_TRUE(CryptGetKeyParam(key_, KP_SALT, salt, &length, 0));
    EXPECT_EQ(Bytes(salt, salt + length), Bytes(11, 0));

    Bytes rc4Key(md5.begin(), md5.begin() + 5);
    rc4Key.resize(16, 0);
    Bytes plain = FromText("The quick brown fox");
    EXPECT_EQ(Encrypt(plain), Rc4(rc4Key, plain));
    // The hash is finished once a key is derived from it.
    EXPECT_FALSE(CryptHashData(hash_, plain.data(), 1, 0));
    EXPECT_EQ(GetLastError(), NTE_BAD_HASH_STATE);
}

TEST_F(CryptoTest, KeyLengthFromUpperFlagsAndUnsaltedKeys) {
    struct Case {
        DWORD flags;
        std::size_t keyBytes;  // bytes of the MD5 value that key RC4
        std::size_t zeroPad;   // zero salt bytes after them
    } cases[] = {
        {CRYPT_EXPORTABLE, 5, 11},
        {CRYPT_NO_SALT, 5, 0},
        {(56u << 16) | CRYPT_EXPORTABLE, 7, 0},
    };
    Bytes md5 = Md5("kelpWord");
    Bytes plain = FromText("sixteen bytes!!!");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        DeriveFromPassword("kelpWord", c.flags);
        Bytes rc4Key(md5.begin(), md5.begin() + static_cast<std::ptrdiff_t>(c.keyBytes));
        rc4Key.resize(c.keyBytes + c.zeroPad, 0);
        EXPECT_EQ(Encrypt(plain), Rc4(rc4Key, plain));
        TearDown();
        key_ = hash_ = provider_ = 0;
    }
    ASSERT_TRUE(CryptAcquireContextA(&provider_, nullptr, nullptr, PROV_RSA_FULL, 0));
    ASSERT_TRUE(CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash_));
    for (DWORD flags : {128u << 16, 32u << 16, 44u << 16, 0x100u}) {
        EXPECT_FALSE(CryptDeriveKey(provider_, CALG_RC4, hash_, flags, &key_));
        EXPECT_EQ(GetLastError(), NTE_BAD_FLAGS);
    }
    EXPECT_FALSE(CryptDeriveKey(provider_, CALG_MD5, hash_, 0, &key_));
    EXPECT_EQ(GetLastError(), NTE_BAD_ALGID);
    EXPECT_EQ(key_, 0u);
}

TEST_F(CryptoTest, EncryptDecryptRoundTripAndKeyStreamRestartsAfterFinal) {
    DeriveFromPassword("kelpWord", 0);
    Bytes plain = FromText("round trip through RC4");
    Bytes once = Encrypt(plain);
    EXPECT_NE(once, plain);
    EXPECT_EQ(Encrypt(plain), once);  // final reset the stream

    Bytes data = once;
    DWORD length = static_cast<DWORD>(data.size());
    ASSERT_TRUE(CryptDecrypt(key_, 0, TRUE, 0, data.data(), &length));
    EXPECT_EQ(data, plain);

    // Without final the stream runs on: two halves equal one whole.
    Bytes first(plain.begin(), plain.begin() + 10), second(plain.begin() + 10, plain.end());
    Bytes joined = Encrypt(first, FALSE);
    Bytes rest = Encrypt(second, TRUE);
    joined.insert(joined.end(), rest.begin(), rest.end());
    EXPECT_EQ(joined, once);

    Bytes big(8, 0);
    length = 8;
    EXPECT_FALSE(CryptEncrypt(key_, 0, TRUE, 0, big.data(), &length, 4));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
}

TEST_F(CryptoTest, ContainersMustBeCreatedOnceBeforeUse) {
    HCRYPTPROV p = 0;
    EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, 0));
    EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);
    ASSERT_TRUE(CryptAcquireContextA(&p, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    EXPECT_TRUE(CryptReleaseContext(p, 0));
    EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    EXPECT_EQ(GetLastError(), NTE_EXISTS);
    ASSERT_TRUE(CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, 0));
    EXPECT_TRUE(CryptReleaseContext(p, 0));
    EXPECT_FALSE(CryptReleaseContext(p, 0));
    EXPECT_EQ(GetLastError(), NTE_BAD_UID);

    // Named containers are separate; deleting one makes it missing again.
    EXPECT_FALSE(CryptAcquireContextA(&p, "Other", nullptr, PROV_RSA_FULL, 0));
    ASSERT_TRUE(CryptAcquireContextA(&p, "Other", nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    CryptReleaseContext(p, 0);
    ASSERT_TRUE(CryptAcquireContextA(&p, "other", nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
    EXPECT_FALSE(CryptAcquireContextA(&p, "Other", nullptr, PROV_RSA_FULL, 0));
    ASSERT_TRUE(CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    CryptReleaseContext(p, 0);

    EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, nullptr, 24, 0));
    EXPECT_EQ(GetLastError(), NTE_PROV_TYPE_NOT_DEF);
    EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, "No Such Provider", PROV_RSA_FULL, 0));
    EXPECT_EQ(GetLastError(), NTE_KEYSET_NOT_DEF);
}

TEST_F(CryptoTest, InjectedHashFailureLeavesProviderAndHashButNoKey) {
    tarn::platform::InjectFault("CryptHashData", NTE_BAD_DATA, 1);
    ASSERT_TRUE(CryptAcquireContextA(&provider_, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    ASSERT_TRUE(CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash_));
    EXPECT_FALSE(CryptHashData(hash_, reinterpret_cast<const BYTE*>("kelpWord"), 8, 0));
    EXPECT_EQ(GetLastError(), NTE_BAD_DATA);
    EXPECT_EQ(key_, 0u);
    // Armed once: the next call works.
    EXPECT_TRUE(CryptHashData(hash_, reinterpret_cast<const BYTE*>("kelpWord"), 8, 0));
}

}  // namespace
