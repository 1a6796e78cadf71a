#include "cookies_win.h"

#include <windows.h>
#include <wininet.h>

#include "trace.h"

namespace parvex {
namespace {

class WinInetCookies : public CookieStore {
public:
    // A buffer too small gets the size needed in bytes, which is at least
    // the characters needed: the caller's second buffer is then big enough.
    bool GetCookie(const std::wstring& url, wchar_t* buffer, uint32_t* size) override {
        DWORD n = *size;
        BOOL ok = InternetGetCookieW(url.c_str(), L"@cookie", buffer, &n);
        *size = n;
        if (!ok) {
            // No cookie for the URL and the size question are answers, not failures.
            DWORD error = GetLastError();
            if (error != ERROR_NO_MORE_ITEMS && error != ERROR_INSUFFICIENT_BUFFER)
                TraceFailure(L"get cookies for", url, static_cast<long>(error));
        }
        return ok != FALSE;
    }
};

}  // namespace

CookieStore& WinInetCookieStore() {
    static WinInetCookies store;
    return store;
}

}  // namespace parvex
