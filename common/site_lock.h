// The site lock: the pages allowed to script the controls, as a deployment
// lists them in the multi-string value AllowedSites of the settings key (the
// machine's entries and the user's together). Without the value every page
// may script the controls. Each entry is an origin: "https://mail.example.com",
// "https://mail.example.com:8443", or "https://*.example.com" for every
// sub-domain of example.com (not example.com itself); an entry may also
// hold several origins separated by ";".
#pragma once
#include <string>
#include <vector>

namespace parvex {

class SettingsStore;

extern const wchar_t* const kAllowedSitesValue;  // AllowedSites

// Scheme, host and port of an address, compared as text: the scheme in lower
// case, the host in its ASCII form (host_ascii.h), the port filled in from the
// scheme when the address has none.
struct SiteOrigin {
    std::string scheme;
    std::string host;
    int port = 0;
};

// The origin of a page's address, or false with the reason in words. Only
// "http" and "https" addresses with "//" and a host have one; an address with
// user information ("https://a@b/") has none, since what it shows before the
// "@" is not where it leads.
bool PageOrigin(const std::wstring& address, SiteOrigin& origin, std::wstring& reason);

class SiteLock {
public:
    // No list: every page is allowed.
    SiteLock() = default;
    // A list of these entries, even when none of them is a usable origin.
    explicit SiteLock(const std::vector<std::wstring>& entries);

    bool Listed() const { return listed_; }
    // Empty when a page at address may script the controls; otherwise why not.
    std::wstring Refusal(const std::wstring& address) const;
    // The entries that are no origin, ignored (so they allow no page).
    const std::vector<std::wstring>& BadEntries() const { return badEntries_; }

private:
    struct Entry {
        SiteOrigin origin;
        bool subdomains = false;
    };
    bool Admits(const Entry& entry, const SiteOrigin& page) const;

    bool listed_ = false;
    std::vector<Entry> entries_;
    std::vector<std::wstring> badEntries_;
};

// The lock as the store holds it. A value that cannot be read locks every
// page out rather than none: the list is there, only its entries are
// unknown. Bad entries and unreadable values are traced.
SiteLock LoadSiteLock(SettingsStore& store);

}  // namespace parvex
