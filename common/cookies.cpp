#include "cookies.h"

#include <vector>

namespace parvex {

namespace {
constexpr uint32_t kCookieBufferSize = 4096;
// A cookie header beyond this is not something a browser would send.
constexpr uint32_t kCookieMaxSize = 1u << 20;

std::wstring UpToZero(const std::vector<wchar_t>& buffer) {
    size_t n = 0;
    while (n < buffer.size() && buffer[n] != L'\0') ++n;
    return std::wstring(buffer.data(), n);
}
}  // namespace

std::wstring FetchCookies(CookieStore& store, const std::wstring& url) {
    std::vector<wchar_t> buffer(kCookieBufferSize, L'\0');
    uint32_t size = kCookieBufferSize;
    if (store.GetCookie(url, buffer.data(), &size)) return UpToZero(buffer);
    // A long cookie text is fetched whole: without it the request would go
    // out without the user's login.
    if (size <= kCookieBufferSize || size > kCookieMaxSize) return std::wstring();
    buffer.assign(size + 1, L'\0');
    uint32_t bigger = size + 1;
    if (!store.GetCookie(url, buffer.data(), &bigger)) return std::wstring();
    return UpToZero(buffer);
}

}  // namespace parvex
