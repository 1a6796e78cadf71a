// What a browser and its user have set up before a page runs: the cookies
// the controls read for a URL, and the remembered download save folder.
#pragma once
#include <string>

namespace parvex::page {

// A cookie in the system's cookie store (WinINet), as the server would have
// set it for url: "name=value" with optional attributes ("; path=/").
bool SetBrowserCookie(const std::wstring& url, const std::wstring& text);

// The save folder the download dialog opens with, remembered as the user's
// last choice; the folder is made when missing. False when it cannot be
// made or remembered.
bool SetRememberedSaveFolder(const std::wstring& folder);

}  // namespace parvex::page
