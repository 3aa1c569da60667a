#include "app/CryptKey.h"

#include "report/ErrorBox.h"

namespace {

const char kBaseProvider[] = "Microsoft Base Cryptographic Provider v1.0";

// Every CryptoAPI failure leaves the reason in GetLastError; the key holder reports it as a thrown code.
[[noreturn]] void ThrowLastError() {
    throw static_cast<DWORD>(GetLastError());
}

}  // namespace

CTRCryptKey::CTRCryptKey(const char* password, DWORD length) : key(0), provider(0), hash(0) {
    CreateKey(password, length);
}

CTRCryptKey::~CTRCryptKey() {
    if (key != 0) CryptDestroyKey(key);
    if (hash != 0) CryptDestroyHash(hash);
    if (provider != 0) CryptReleaseContext(provider, 0);
    provider = 0;
    hash = 0;
    key = 0;
}

bool CTRCryptKey::CheckProvider() {
    HCRYPTPROV probe = 0;
    if (!CryptAcquireContextA(&probe, nullptr, kBaseProvider, PROV_RSA_FULL, 0)) {
        // No default key container yet: create it.
        if (!CryptAcquireContextA(&probe, nullptr, kBaseProvider, PROV_RSA_FULL, CRYPT_NEWKEYSET))
            ThrowLastError();
    }
    CryptReleaseContext(probe, 0);
    return true;
}

bool CTRCryptKey::CreateKey(const char* password, DWORD length) {
    try {
        CheckProvider();
        // Each handle reaches its field only once its call succeeded, so a failure leaves no stale value
        // behind.
        HCRYPTPROV newProvider = 0;
        if (!CryptAcquireContextA(&newProvider, nullptr, nullptr, PROV_RSA_FULL, 0)) ThrowLastError();
        provider = newProvider;
        HCRYPTHASH newHash = 0;
        if (!CryptCreateHash(provider, CALG_MD5, 0, 0, &newHash)) ThrowLastError();
        hash = newHash;
        if (!CryptHashData(hash, reinterpret_cast<const BYTE*>(password), length, 0)) ThrowLastError();
        HCRYPTKEY newKey = 0;
        if (!CryptDeriveKey(provider, CALG_RC4, hash, CRYPT_EXPORTABLE, &newKey)) ThrowLastError();
        key = newKey;
        return true;
    } catch (DWORD code) {
        SystemErrorBox(code);
        return false;
    }
}
