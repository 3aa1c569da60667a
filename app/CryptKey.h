// CTRCryptKey: an RC4 key derived from a password's MD5 hash by the default RSA provider. Construction never
// fails outward: a CryptoAPI failure shows the system's text (SystemErrorBox) and leaves the handles obtained
// so far, which the destructor releases (key, then hash, then provider).
#pragma once

#include "platform/win32/Win32.h"

class CTRCryptKey {
public:
    // Hashes exactly `length` bytes of `password` (no terminator is implied) and derives the key.
    CTRCryptKey(const char* password, DWORD length);
    virtual ~CTRCryptKey();

    CTRCryptKey(const CTRCryptKey&) = delete;
    CTRCryptKey& operator=(const CTRCryptKey&) = delete;

    // Acquires the provider, hashes the password and derives the key; on failure shows the error and returns
    // false.
    bool CreateKey(const char* password, DWORD length);

    // Checks that the base provider can be acquired, creating the default key container when it is missing.
    // Returns true or throws the Win32 error code (a DWORD).
    bool CheckProvider();

    HCRYPTKEY GetKey() const { return key; }
    HCRYPTPROV GetProvider() const { return provider; }
    HCRYPTHASH GetHash() const { return hash; }

private:
    HCRYPTKEY key;        // the derived RC4 key; 0 when none
    HCRYPTPROV provider;  // default PROV_RSA_FULL provider context; 0 when none
    HCRYPTHASH hash;      // MD5 hash of the password, kept for the object's lifetime; 0 when none
};
