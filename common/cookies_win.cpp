#include "cookies_win.h"

#include <windows.h>
#include <wininet.h>

namespace parvex {
namespace {

class WinInetCookies : public CookieStore {
public:
    bool GetCookie(const char* urlUtf8, char* buffer, uint32_t* size) override {
        DWORD n = *size;
        BOOL ok = InternetGetCookieA(urlUtf8, "@cookie", buffer, &n);
        *size = n;
        return ok != FALSE;
    }
};

}  // namespace

CookieStore& WinInetCookieStore() {
    static WinInetCookies store;
    return store;
}

}  // namespace parvex
