// The browser's cookies for a URL, read from the platform's cookie store.
#pragma once
#include <cstdint>
#include <string>

namespace parvex {

class CookieStore {
public:
    virtual ~CookieStore() = default;
    // Fills buffer with the URL's cookie text ("a=1; b=2") and a zero
    // character. The URL is asked as it is, wide, so that one with Hangul in
    // it finds its cookies. size holds the buffer size in characters on
    // entry; when the buffer is too small the call fails and size is set to
    // at least the size needed. False when the URL has no cookies.
    virtual bool GetCookie(const std::wstring& url, wchar_t* buffer, uint32_t* size) = 0;
};

// The cookie text for url, whole however long it is; empty when there is none.
std::wstring FetchCookies(CookieStore& store, const std::wstring& url);

// The system's ANSI code page to wide text (Latin-1 where there is no such
// code page).
std::wstring AnsiToWide(const std::string& bytes);

}  // namespace parvex
