#include "utf8.h"

#include <cstring>
#include <cwchar>

namespace parvex {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Reads one code point from wide text; advances i. Sets ok false for an
// unpaired surrogate.
char32_t NextWide(const wchar_t* s, size_t n, size_t& i, bool& ok) {
    char32_t c = static_cast<char32_t>(s[i++]);
    if (sizeof(wchar_t) == 2) {
        c &= 0xFFFF;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i < n) {
                char32_t lo = static_cast<char32_t>(s[i]) & 0xFFFF;
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    ++i;
                    return 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                }
            }
            ok = false;
            return kReplacement;
        }
        if (c >= 0xDC00 && c <= 0xDFFF) {
            ok = false;
            return kReplacement;
        }
        return c;
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ok = false;
        return kReplacement;
    }
    return c;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void AppendWide(std::wstring& out, char32_t c) {
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(c));
    }
}

// Decodes one code point; advances i. Sets ok false on an invalid sequence
// (overlong forms, surrogates, values past U+10FFFF, truncation).
char32_t NextUtf8(const unsigned char* s, size_t n, size_t& i, bool& ok) {
    unsigned char b = s[i++];
    if (b < 0x80) return b;
    int extra;
    char32_t c, min;
    if ((b & 0xE0) == 0xC0) { extra = 1; c = b & 0x1F; min = 0x80; }
    else if ((b & 0xF0) == 0xE0) { extra = 2; c = b & 0x0F; min = 0x800; }
    else if ((b & 0xF8) == 0xF0) { extra = 3; c = b & 0x07; min = 0x10000; }
    else { ok = false; return kReplacement; }
    for (int k = 0; k < extra; ++k) {
        if (i >= n || (s[i] & 0xC0) != 0x80) { ok = false; return kReplacement; }
        c = (c << 6) | (s[i++] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ok = false;
        return kReplacement;
    }
    return c;
}

std::string EncodeChecked(const wchar_t* s, size_t n, bool& ok) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n;) AppendUtf8(out, NextWide(s, n, i, ok));
    return out;
}

std::wstring DecodeChecked(const unsigned char* s, size_t n, bool& ok) {
    std::wstring out;
    out.reserve(n);
    for (size_t i = 0; i < n;) AppendWide(out, NextUtf8(s, n, i, ok));
    return out;
}

}  // namespace

bool IsValidUtf8(const char* bytes, size_t length) {
    bool ok = true;
    DecodeChecked(reinterpret_cast<const unsigned char*>(bytes), length, ok);
    return ok;
}

int ToUtf8(const wchar_t* text, char* buffer, int size) {
    if (!text) return 0;
    bool ok = true;
    std::string out = EncodeChecked(text, std::wcslen(text), ok);
    if (!ok) return 0;
    int needed = static_cast<int>(out.size()) + 1;
    if (!buffer || size <= 0) return needed;
    if (size < needed) return 0;
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return needed;
}

int FromUtf8(const char* bytes, wchar_t* buffer, int size) {
    if (!bytes) return 0;
    bool ok = true;
    std::wstring out = DecodeChecked(reinterpret_cast<const unsigned char*>(bytes), std::strlen(bytes), ok);
    if (!ok) return 0;
    int needed = static_cast<int>(out.size()) + 1;
    if (!buffer || size <= 0) return needed;
    if (size < needed) return 0;
    std::wmemcpy(buffer, out.c_str(), out.size() + 1);
    return needed;
}

std::string ToUtf8(const std::wstring& text) {
    bool ok = true;
    return EncodeChecked(text.data(), text.size(), ok);
}

std::wstring FromUtf8(const std::string& bytes) {
    bool ok = true;
    return DecodeChecked(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), ok);
}

}  // namespace parvex
