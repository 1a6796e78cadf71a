#include "tools/page/browser_settings_win.h"

#include <windows.h>
#include <shlobj.h>
#include <wininet.h>

#include "common/settings_store.h"

namespace parvex::page {

bool SetBrowserCookie(const std::wstring& url, const std::wstring& text) {
    return InternetSetCookieW(url.c_str(), nullptr, text.c_str()) != FALSE;
}

bool SetRememberedSaveFolder(const std::wstring& folder) {
    // SHCreateDirectoryExW wants a full path and makes every missing folder.
    int made = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) return false;
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    // The module's own store, so the value is written as the dialog writes it
    // (and a user's older value of it goes).
    std::unique_ptr<SettingsStore> store = MakePlatformSettingsStore();
    bool written = (store->Open() || store->Create()) && store->Write(kDownSavePathValue, folder);
    store->Close();
    return written;
}

}  // namespace parvex::page
