// The CryptoAPI subset of the base RSA provider: contexts over in-memory key containers, MD5/SHA-1 hash objects
// (libcrypto's EVP digests) and RC4 keys derived from a hash (libcrypto's RC4).
//
// Key derivation follows the base provider: the key is the first keylen/8 bytes of the hash value, keylen being
// the upper 16 bits of the flags or 40 by default (40 to 56 bits in steps of 8 are accepted). A 40-bit key also
// carries 11 bytes of salt, zero unless CRYPT_CREATE_SALT asks for random salt, so the RC4 key that runs is
// 5 hash bytes + 11 salt bytes = 16 bytes; CRYPT_NO_SALT drops the salt and runs RC4 with the 5 bytes alone.
#define OPENSSL_SUPPRESS_DEPRECATED  // the one-shot RC4 calls are deprecated in OpenSSL 3 but still provided
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rc4.h>

#include <strings.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/TestHooks.h"
#include "Win32Internal.h"
#include "platform/win32/Win32.h"

namespace {

using tarn::platform::detail::FailsNow;

struct Provider {
    std::string container;  // "" for a verify-only context
};

struct Hash {
    ALG_ID algorithm = 0;
    EVP_MD_CTX* context = nullptr;
    bool finished = false;
    std::vector<BYTE> value;
    ~Hash() { EVP_MD_CTX_free(context); }
};

struct Key {
    ALG_ID algorithm = CALG_RC4;
    DWORD bits = 40;
    std::vector<BYTE> material;  // hash bytes, then salt: what RC4 is keyed with
    std::vector<BYTE> salt;
    RC4_KEY state{};
};

struct State {
    std::mutex mutex;
    std::set<std::string> containers;  // container names, lower case; the default one has a name no caller can give
    std::unordered_map<ULONG_PTR, Provider> providers;
    std::unordered_map<ULONG_PTR, std::unique_ptr<Hash>> hashes;
    std::unordered_map<ULONG_PTR, std::unique_ptr<Key>> keys;
    ULONG_PTR next = 0x100;
};

State& Crypto() {
    static State state;
    return state;
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

std::string ContainerKey(LPCSTR container) {
    if (container == nullptr || container[0] == 0) {
        return "\x01" "default";
    }
    std::string name = container;
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return name;
}

// Finishes the hash (once) and gives its value.
const std::vector<BYTE>& HashValue(Hash& hash) {
    if (!hash.finished) {
        unsigned int length = 0;
        hash.value.resize(EVP_MAX_MD_SIZE);
        EVP_DigestFinal_ex(hash.context, hash.value.data(), &length);
        hash.value.resize(length);
        hash.finished = true;
    }
    return hash.value;
}

void ResetKeyStream(Key& key) {
    RC4_set_key(&key.state, static_cast<int>(key.material.size()), key.material.data());
}

// Copies `bytes` out under the documented size rules: null data asks for the size, a short buffer is
// ERROR_MORE_DATA with the size needed.
BOOL CopyOut(const void* bytes, DWORD needed, BYTE* data, DWORD* length) {
    if (length == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (data == nullptr) {
        *length = needed;
        return TRUE;
    }
    if (*length < needed) {
        *length = needed;
        return Fail(ERROR_MORE_DATA);
    }
    std::memcpy(data, bytes, needed);
    *length = needed;
    return TRUE;
}

}  // namespace

namespace tarn::platform {

void ResetKeyContainers() {
    std::lock_guard lock(Crypto().mutex);
    Crypto().containers.clear();
}

}  // namespace tarn::platform

BOOL CryptAcquireContextA(HCRYPTPROV* provider, LPCSTR container, LPCSTR providerName, DWORD providerType,
                          DWORD flags) {
    if (FailsNow("CryptAcquireContextA")) {
        return FALSE;
    }
    if (provider == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (providerType != PROV_RSA_FULL) {
        return Fail(NTE_PROV_TYPE_NOT_DEF);
    }
    if (providerName != nullptr && strcasecmp(providerName, MS_DEF_PROV_A) != 0) {  // names ignore case
        return Fail(NTE_KEYSET_NOT_DEF);
    }
    const DWORD known = CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET;
    if ((flags & ~known) != 0 || ((flags & CRYPT_NEWKEYSET) != 0 && (flags & CRYPT_DELETEKEYSET) != 0)) {
        return Fail(NTE_BAD_FLAGS);
    }
    State& state = Crypto();
    std::lock_guard lock(state.mutex);
    Provider record;
    if ((flags & CRYPT_VERIFYCONTEXT) == CRYPT_VERIFYCONTEXT) {
        if (container != nullptr && container[0] != 0) {
            return Fail(NTE_BAD_FLAGS);  // a verify-only context has no container
        }
    } else {
        std::string name = ContainerKey(container);
        bool exists = state.containers.count(name) != 0;
        if ((flags & CRYPT_DELETEKEYSET) != 0) {
            if (!exists) {
                return Fail(NTE_BAD_KEYSET);
            }
            state.containers.erase(name);
            *provider = 0;
            return TRUE;
        }
        if ((flags & CRYPT_NEWKEYSET) != 0) {
            if (exists) {
                return Fail(NTE_EXISTS);
            }
            state.containers.insert(name);
        } else if (!exists) {
            return Fail(NTE_BAD_KEYSET);
        }
        record.container = name;
    }
    ULONG_PTR handle = state.next++;
    state.providers[handle] = record;
    *provider = handle;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL CryptReleaseContext(HCRYPTPROV provider, DWORD flags) {
    if (FailsNow("CryptReleaseContext")) {
        return FALSE;
    }
    State& state = Crypto();
    std::lock_guard lock(state.mutex);
    if (state.providers.erase(provider) == 0) {
        return Fail(NTE_BAD_UID);
    }
    if (flags != 0) {
        return Fail(NTE_BAD_FLAGS);  // documented: the context is released all the same
    }
    return TRUE;
}

BOOL CryptCreateHash(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash) {
    if (FailsNow("CryptCreateHash")) {
        return FALSE;
    }
    if (hash == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    State& state = Crypto();
    std::lock_guard lock(state.mutex);
    if (state.providers.count(provider) == 0) {
        return Fail(NTE_BAD_UID);
    }
    if (flags != 0) {
        return Fail(NTE_BAD_FLAGS);
    }
    if (key != 0) {
        return Fail(NTE_BAD_KEY);  // MD5 and SHA-1 take no key
    }
    const EVP_MD* md = algorithm == CALG_MD5 ? EVP_md5() : algorithm == CALG_SHA1 ? EVP_sha1() : nullptr;
    if (md == nullptr) {
        return Fail(NTE_BAD_ALGID);
    }
    auto record = std::make_unique<Hash>();
    record->algorithm = algorithm;
    record->context = EVP_MD_CTX_new();
    if (record->context == nullptr || EVP_DigestInit_ex(record->context, md, nullptr) != 1) {
        return Fail(NTE_NO_MEMORY);
    }
    ULONG_PTR handle = state.next++;
    state.hashes[handle] = std::move(record);
    *hash = handle;
    return TRUE;
}

BOOL CryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD length, DWORD flags) {
    if (FailsNow("CryptHashData")) {
        return FALSE;
    }
    State& state = Crypto();
    std::lock_guard lock(state.mutex);
    auto it = state.hashes.find(hash);
    if (it == state.hashes.end()) {
        return Fail(NTE_BAD_HASH);
    }
    if (flags != 0) {
        return Fail(NTE_BAD_FLAGS);
    }
    if (data == nullptr && length != 0) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (it->second->finished) {
        return Fail(NTE_BAD_HASH_STATE);
    }
    if (length != 0 && EVP_DigestUpdate(it->second->context, data, length) != 1) {
        return Fail(NTE_FAIL);
    }
    return TRUE;
}

BOOL CryptGetHashParam(HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* length, DWORD flags) {
    if (FailsNow("CryptGetHashParam")) {
        return FALSE;
    }
    State& state = Crypto();
    std::lock_guard lock(state.mutex);
    auto it = state.hashes.find(hash);
    if (it == state.hashes.end()) {
        return Fail(NTE_BAD_HASH);
    }
    if (flags != 0) {
        return Fail(NTE_BAD_FLAGS);
    }
    Hash& record = *it->second;
    switch (param) {
    case HP_ALGID: {
        DWORD value = record.algorithm;
        return CopyOut(&value, 4, data, length);
    }
    case HP_HASHSIZE: {
        DWORD value = static_cast<DWORD>(EVP_MD_CTX_get_size(record.context));
        return CopyOut(&value, 4, data, length);
    }
    case HP_HASHVAL: {
        if (data == nullptr) {
            // Asking for the size does not finish the hash.
            return CopyOut(nullptr, static_cast<DWORD>(EVP_MD_CTX_get_size(record.context)), nullptr, length);
        }
        const auto& value = HashValue(record);
        return CopyOut(value.data(), static_cast<DWORD>(value.size()), data, length);
    }
    default:
        return Fail(NTE_BAD_TYPE);
    }
}

BOOL CryptDeriveKey(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTHASH hash, DWORD flags, HCRYPTKEY* key) {
    if (FailsNow("CryptDeriveKey")) {
        return FALSE;
    }
    if (key == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    State& state = Crypto();
    std::lock_guard lock(state.mutex);
    if (state.providers.count(provider) == 0) {
        return Fail(NTE_BAD_UID);
    }
    auto it = state.hashes.find(hash);
    if (it == state.hashes.end()) {
        return Fail(NTE_BAD_HASH);
    }
    if (algorithm != CALG_RC4) {
        return Fail(NTE_BAD_ALGID);
    }
    DWORD bits = flags >> 16;
    if (bits == 0) {
        bits = 40;
    }
    const DWORD lowFlags = flags & 0xFFFF;
    if (bits < 40 || bits > 56 || bits % 8 != 0 ||
        (lowFlags & ~static_cast<DWORD>(CRYPT_EXPORTABLE | CRYPT_CREATE_SALT | CRYPT_NO_SALT)) != 0 ||
        ((lowFlags & CRYPT_CREATE_SALT) != 0 && (lowFlags & CRYPT_NO_SALT) != 0)) {
        return Fail(NTE_BAD_FLAGS);
    }
    const auto& value = HashValue(*it->second);
    std::size_t keyBytes = bits / 8;
    if (value.size() < keyBytes) {
        return Fail(NTE_BAD_HASH);
    }
    auto record = std::make_unique<Key>();
    record->bits = bits;
    record->material.assign(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(keyBytes));
    if (bits == 40 && (lowFlags & CRYPT_NO_SALT) == 0) {
        record->salt.assign(11, 0);
        if ((lowFlags & CRYPT_CREATE_SALT) != 0 && RAND_bytes(record->salt.data(), 11) != 1) {
            return Fail(NTE_FAIL);
        }
        record->material.insert(record->material.end(), record->salt.begin(), record->salt.end());
    }
    ResetKeyStream(*record);
    ULONG_PTR handle = state.next++;
    state.keys[handle] = std::move(record);
    *key = handle;
    return TRUE;
}

BOOL CryptGetKeyParam(HCRYPTKEY key, DWORD param, BYTE* data, DWORD* length, DWORD flags) {
    if (FailsNow("CryptGetKeyParam")) {
        return FALSE;
    }
    State& state = Crypto();
    std::lock_guard lock(state.mutex);
    auto it = state.keys.find(key);
    if (it == state.keys.end()) {
        return Fail(NTE_BAD_KEY);
    }
    if (flags != 0) {
        return Fail(NTE_BAD_FLAGS);
    }
    const Key& record = *it->second;
    switch (param) {
    case KP_KEYLEN: {
        DWORD value = record.bits;
        return CopyOut(&value, 4, data, length);
    }
    case KP_ALGID: {
        DWORD value = record.algorithm;
        return CopyOut(&value, 4, data, length);
    }
    case KP_SALT:
        return CopyOut(record.salt.data(), static_cast<DWORD>(record.salt.size()), data, length);
    default:
        return Fail(NTE_BAD_TYPE);
    }
}

namespace {

// RC4 in place; the key stream restarts after a final block, as for a stream cipher in this provider.
// `hashBefore`: encryption hashes the plain text before ciphering, decryption after.
BOOL RunRc4(const char* call, HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data, DWORD* length,
            DWORD bufferLength, bool encrypting) {
    if (FailsNow(call)) {
        return FALSE;
    }
    if (length == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    State& state = Crypto();
    std::lock_guard lock(state.mutex);
    auto it = state.keys.find(key);
    if (it == state.keys.end()) {
        return Fail(NTE_BAD_KEY);
    }
    if (flags != 0) {
        return Fail(NTE_BAD_FLAGS);
    }
    Hash* hashRecord = nullptr;
    if (hash != 0) {
        auto h = state.hashes.find(hash);
        if (h == state.hashes.end()) {
            return Fail(NTE_BAD_HASH);
        }
        if (h->second->finished) {
            return Fail(NTE_BAD_HASH_STATE);
        }
        hashRecord = h->second.get();
    }
    if (data == nullptr) {
        return TRUE;  // a stream cipher needs no more room than the data: *length stays
    }
    if (encrypting && bufferLength < *length) {
        return Fail(ERROR_MORE_DATA);
    }
    Key& record = *it->second;
    if (hashRecord != nullptr && encrypting && *length != 0) {
        EVP_DigestUpdate(hashRecord->context, data, *length);
    }
    RC4(&record.state, *length, data, data);
    if (hashRecord != nullptr && !encrypting && *length != 0) {
        EVP_DigestUpdate(hashRecord->context, data, *length);
    }
    if (final != FALSE) {
        ResetKeyStream(record);
    }
    return TRUE;
}

}  // namespace

BOOL CryptEncrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data, DWORD* length,
                  DWORD bufferLength) {
    return RunRc4("CryptEncrypt", key, hash, final, flags, data, length, bufferLength, true);
}

BOOL CryptDecrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data, DWORD* length) {
    return RunRc4("CryptDecrypt", key, hash, final, flags, data, length, 0, false);
}

BOOL CryptDestroyKey(HCRYPTKEY key) {
    if (FailsNow("CryptDestroyKey")) {
        return FALSE;
    }
    State& state = Crypto();
    std::lock_guard lock(state.mutex);
    if (state.keys.erase(key) == 0) {
        return Fail(NTE_BAD_KEY);
    }
    return TRUE;
}

BOOL CryptDestroyHash(HCRYPTHASH hash) {
    if (FailsNow("CryptDestroyHash")) {
        return FALSE;
    }
    State& state = Crypto();
    std::lock_guard lock(state.mutex);
    if (state.hashes.erase(hash) == 0) {
        return Fail(NTE_BAD_HASH);
    }
    return TRUE;
}
