// The browser's cookies for a URL, read from the platform's cookie store.
#pragma once
#include <cstdint>
#include <string>

namespace parvex {

class CookieStore {
public:
    virtual ~CookieStore() = default;
    // Fills buffer with the URL's cookie text ("a=1; b=2") and a zero byte.
    // size holds the buffer size on entry; when the buffer is too small the
    // call fails and size is set to the size needed. False when the URL has
    // no cookies.
    virtual bool GetCookie(const char* urlUtf8, char* buffer, uint32_t* size) = 0;
};

// The cookie text for url, whole however long it is; empty when there is none.
// The bytes are read in the system's ANSI code page.
std::wstring FetchCookies(CookieStore& store, const std::wstring& url);

// The system's ANSI code page to wide text (Latin-1 where there is no such
// code page).
std::wstring AnsiToWide(const std::string& bytes);

}  // namespace parvex
