#include "site_lock.h"

#include "host_ascii.h"
#include "settings_store.h"
#include "trace.h"

namespace parvex {

const wchar_t* const kAllowedSitesValue = L"AllowedSites";

namespace {

// An address cut into its parts, each still as written.
struct AddressParts {
    std::wstring scheme, host, port, rest;
};

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    return text;
}

// The authority ends where a browser ends it for http and https: at "/",
// "\", "?" or "#".
bool CutAddress(const std::wstring& address, AddressParts& parts, std::wstring& reason) {
    size_t colon = address.find(L':');
    parts.scheme = Lower(address.substr(0, colon == std::wstring::npos ? 0 : colon));
    if (parts.scheme != L"http" && parts.scheme != L"https") {
        reason = L"not an http or https address";
        return false;
    }
    if (address.compare(colon + 1, 2, L"//") != 0) {
        reason = L"no \"//\" after the scheme";
        return false;
    }
    size_t start = colon + 3;
    size_t end = address.find_first_of(L"/\\?#", start);
    if (end == std::wstring::npos) end = address.size();
    std::wstring authority = address.substr(start, end - start);
    parts.rest = address.substr(end);
    if (authority.find(L'@') != std::wstring::npos) {
        reason = L"the address holds user information";
        return false;
    }
    size_t hostEnd = authority.find(authority.compare(0, 1, L"[") == 0 ? L']' : L':');
    if (hostEnd != std::wstring::npos && authority[hostEnd] == L']') ++hostEnd;
    parts.host = authority.substr(0, hostEnd);
    std::wstring after = hostEnd == std::wstring::npos ? L"" : authority.substr(hostEnd);
    if (!after.empty() && after[0] != L':') {
        reason = L"a malformed host";
        return false;
    }
    parts.port = after.empty() ? L"" : after.substr(1);
    return true;
}

// Decimal digits within 1..65535; none gives the scheme's own port.
bool ReadPort(const AddressParts& parts, int& port) {
    if (parts.port.empty()) {
        port = parts.scheme == L"https" ? 443 : 80;
        return true;
    }
    long value = 0;
    for (wchar_t c : parts.port) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
        if (value > 65535) return false;
    }
    port = static_cast<int>(value);
    return port > 0;
}

bool ToOrigin(const AddressParts& parts, SiteOrigin& origin, std::wstring& reason) {
    if (parts.host.empty()) {
        reason = L"no host";
        return false;
    }
    if (!HostToAscii(parts.host, origin.host)) {
        reason = L"the host is no host name";
        return false;
    }
    if (!ReadPort(parts, origin.port)) {
        reason = L"the port is not a number from 1 to 65535";
        return false;
    }
    origin.scheme = parts.scheme == L"https" ? "https" : "http";
    return true;
}

std::wstring Trimmed(const std::wstring& text) {
    size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return L"";
    return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

}  // namespace

bool PageOrigin(const std::wstring& address, SiteOrigin& origin, std::wstring& reason) {
    if (address.empty()) {
        reason = L"the page's address is unknown";
        return false;
    }
    AddressParts parts;
    return CutAddress(address, parts, reason) && ToOrigin(parts, origin, reason);
}

SiteLock::SiteLock(const std::vector<std::wstring>& entries) : listed_(true) {
    for (const std::wstring& value : entries) {
        for (size_t start = 0; start <= value.size();) {
            size_t end = value.find(L';', start);
            if (end == std::wstring::npos) end = value.size();
            std::wstring text = Trimmed(value.substr(start, end - start));
            start = end + 1;
            if (text.empty()) continue;
            AddressParts parts;
            Entry entry;
            std::wstring reason;
            bool cut = CutAddress(text, parts, reason) && (parts.rest.empty() || parts.rest == L"/");
            entry.subdomains = cut && parts.host.compare(0, 2, L"*.") == 0;
            if (entry.subdomains) parts.host.erase(0, 2);
            if (cut && ToOrigin(parts, entry.origin, reason) && !(entry.subdomains && parts.host[0] == L'['))
                entries_.push_back(entry);
            else
                badEntries_.push_back(text);
        }
    }
}

bool SiteLock::Admits(const Entry& entry, const SiteOrigin& page) const {
    if (entry.origin.scheme != page.scheme || entry.origin.port != page.port) return false;
    if (!entry.subdomains) return entry.origin.host == page.host;
    const std::string& parent = entry.origin.host;
    return page.host.size() > parent.size() + 1 &&
           page.host.compare(page.host.size() - parent.size(), parent.size(), parent) == 0 &&
           page.host[page.host.size() - parent.size() - 1] == '.';
}

std::wstring SiteLock::Refusal(const std::wstring& address) const {
    if (!listed_) return L"";
    SiteOrigin page;
    std::wstring reason;
    if (!PageOrigin(address, page, reason)) return reason;
    for (const Entry& entry : entries_)
        if (Admits(entry, page)) return L"";
    return L"its origin is not in AllowedSites";
}

SiteLock LoadSiteLock(SettingsStore& store) {
    if (!store.Open()) return SiteLock();
    std::vector<std::wstring> values;
    StoreResult result = store.ReadList(kAllowedSitesValue, values);
    store.Close();
    if (result == StoreResult::NotFound) return SiteLock();
    if (result == StoreResult::Error) {
        TraceFailure(L"site lock", kAllowedSitesValue, 0, L"the value cannot be read: no page is allowed");
        return SiteLock(std::vector<std::wstring>());
    }
    SiteLock lock(values);
    for (const std::wstring& bad : lock.BadEntries())
        TraceFailure(L"site lock", std::wstring(kAllowedSitesValue) + L" entry \"" + bad + L"\"", 0,
                     L"not an origin such as https://mail.example.com; ignored");
    return lock;
}

}  // namespace parvex
