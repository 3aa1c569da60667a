// MultiByteToWideChar / WideCharToMultiByte between UTF-8 and UTF-16. The ANSI and OEM code pages are UTF-8 on
// this platform. Invalid input becomes U+FFFD (or '?' towards bytes) unless the caller asked for an error.
#include <string>

#include "platform/win32/Win32.h"

namespace {

bool KnownCodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_UTF8; }

// Decodes one UTF-8 sequence at text[i..end); false for an invalid, overlong or truncated one (consumes one byte).
bool DecodeUtf8(const unsigned char* text, std::size_t end, std::size_t& i, char32_t& out) {
    unsigned char lead = text[i];
    int extra = 0;
    char32_t value = 0;
    if (lead < 0x80) {
        out = lead;
        ++i;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        value = lead & 0x07;
    } else {
        ++i;
        return false;
    }
    if (i + static_cast<std::size_t>(extra) >= end) {
        ++i;
        return false;
    }
    for (int k = 1; k <= extra; ++k) {
        unsigned char c = text[i + static_cast<std::size_t>(k)];
        if ((c & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        value = (value << 6) | (c & 0x3F);
    }
    static const char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (value < kMinimum[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++i;
        return false;
    }
    i += static_cast<std::size_t>(extra) + 1;
    out = value;
    return true;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR wide, int wideChars) {
    if (!KnownCodePage(codePage) || text == nullptr || bytes == 0 || bytes < -1 || wideChars < 0 ||
        (wide == nullptr && wideChars != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (codePage == CP_UTF8 && (flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);  // UTF-8 takes no composition flags
        return 0;
    }
    std::size_t length = bytes == -1 ? std::char_traits<char>::length(text) + 1 : static_cast<std::size_t>(bytes);
    const auto* input = reinterpret_cast<const unsigned char*>(text);
    std::u16string out;
    for (std::size_t i = 0; i < length;) {
        char32_t c = 0;
        if (!DecodeUtf8(input, length, i, c)) {
            if ((flags & MB_ERR_INVALID_CHARS) != 0) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            c = 0xFFFD;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    if (wideChars == 0) {
        return static_cast<int>(out.size());
    }
    if (out.size() > static_cast<std::size_t>(wideChars)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    out.copy(wide, out.size());
    return static_cast<int>(out.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideChars, LPSTR text, int bytes, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar) {
    if (!KnownCodePage(codePage) || wide == nullptr || wideChars == 0 || wideChars < -1 || bytes < 0 ||
        (text == nullptr && bytes != 0) ||
        (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefaultChar != nullptr))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    constexpr DWORD kErrInvalidChars = 0x80;  // WC_ERR_INVALID_CHARS: the only flag UTF-8 takes
    if (codePage == CP_UTF8 && (flags & ~kErrInvalidChars) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    std::size_t length =
        wideChars == -1 ? std::char_traits<char16_t>::length(wide) + 1 : static_cast<std::size_t>(wideChars);
    std::string out;
    bool usedDefault = false;
    for (std::size_t i = 0; i < length; ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            // A lone surrogate has no encoding: the default character for the ANSI page, U+FFFD for UTF-8.
            if (codePage == CP_UTF8 && (flags & kErrInvalidChars) != 0) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            if (codePage != CP_UTF8) {
                out += defaultChar != nullptr ? *defaultChar : '?';
                usedDefault = true;
                continue;
            }
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    if (bytes == 0) {
        return static_cast<int>(out.size());
    }
    if (out.size() > static_cast<std::size_t>(bytes)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    out.copy(text, out.size());
    return static_cast<int>(out.size());
}
