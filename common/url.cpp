#include "url.h"

#include <cwchar>
#include <cwctype>

#include "socket.h"
#include "utf8.h"

namespace parvex {
namespace {

// The cutting rules: a negative start gives the whole text, a start at or past
// the end gives the empty text; a negative count gives the empty text.
std::wstring From(const std::wstring& s, long long p) {
    if (p < 0) return s;
    if (static_cast<size_t>(p) >= s.size()) return std::wstring();
    return s.substr(static_cast<size_t>(p));
}

std::wstring Left(const std::wstring& s, long long n) {
    if (n < 0) return std::wstring();
    return s.substr(0, static_cast<size_t>(n));
}

long long Find(const std::wstring& s, const wchar_t* piece) {
    size_t i = s.find(piece);
    return i == std::wstring::npos ? -1 : static_cast<long long>(i);
}

// atoi-style: blanks, optional sign, digits up to the first non-digit.
int LeadingInt(const std::wstring& s) {
    size_t i = 0;
    while (i < s.size() && std::iswspace(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) negative = s[i++] == L'-';
    long long value = 0;
    for (; i < s.size() && s[i] >= L'0' && s[i] <= L'9'; ++i) {
        value = value * 10 + (s[i] - L'0');
        if (value > 0x7FFFFFFFLL) value = 0x80000000LL;  // saturate, no overflow
    }
    value = negative ? -value : value;
    if (value > 0x7FFFFFFFLL) value = 0x7FFFFFFFLL;
    if (value < -0x80000000LL) value = -0x80000000LL;
    return static_cast<int>(value);
}

// Length of a leading "http://" or "https://" (in any case); 0 for any other.
size_t SchemeLength(const std::wstring& url) {
    for (const wchar_t* scheme : {L"http://", L"https://"}) {
        size_t n = std::wcslen(scheme), i = 0;
        while (i < n && i < url.size() && static_cast<wchar_t>(std::towlower(url[i])) == scheme[i]) ++i;
        if (i == n) return n;
    }
    return 0;
}

// The text between "//" and the next "/" (or the end).
std::wstring AuthorityOf(const std::wstring& url) {
    std::wstring rest = From(url, Find(url, L"//") + 2);
    long long slash = Find(rest, L"/");
    return slash >= 0 ? Left(rest, slash) : rest;
}

// Where the host of an authority ends: after the "]" of a bracketed address,
// at the first ":" otherwise.
size_t HostLength(const std::wstring& authority) {
    if (!authority.empty() && authority[0] == L'[') {
        size_t close = authority.find(L']');
        if (close != std::wstring::npos) return close + 1;
    }
    size_t colon = authority.find(L':');
    return colon == std::wstring::npos ? authority.size() : colon;
}

std::wstring HostOf(const std::wstring& authority) { return authority.substr(0, HostLength(authority)); }

int PortOf(const std::wstring& authority, int defaultPort) {
    std::wstring after = authority.substr(HostLength(authority));
    long long colon = Find(after, L":");
    return colon < 0 ? defaultPort : LeadingInt(From(after, colon + 1));
}

// "[" IPv6 text "]": hex digits, colons and the dots of an embedded IPv4
// address, nothing else (no zone: it would mean nothing to the server).
bool IsBracketedAddress(const std::wstring& host) {
    if (host.size() < 4 || host.front() != L'[' || host.back() != L']') return false;
    bool colon = false;
    for (size_t i = 1; i + 1 < host.size(); ++i) {
        wchar_t c = host[i];
        colon = colon || c == L':';
        if (!std::iswxdigit(c) && c != L':' && c != L'.') return false;
    }
    return colon;
}

// One or more decimal digits and nothing else.
bool IsDecimalPort(const std::wstring& text) {
    if (text.empty()) return false;
    for (wchar_t c : text)
        if (c < L'0' || c > L'9') return false;
    return true;
}

}  // namespace

bool IsHttpsUrl(const std::wstring& url) { return SchemeLength(url) == 8; }

std::wstring BareHost(const std::wstring& host) {
    if (host.size() >= 2 && host.front() == L'[' && host.back() == L']') return host.substr(1, host.size() - 2);
    return host;
}

Endpoint UrlEndpoint(const std::wstring& host, int port, bool secure) {
    Endpoint endpoint;
    endpoint.host = ToUtf8(BareHost(host));
    endpoint.port = static_cast<uint16_t>(port);  // the port's low 16 bits, as a usable URL has it
    endpoint.secure = secure;
    return endpoint;
}

int UrlPort(const std::wstring& url) {
    int defaultPort = IsHttpsUrl(url) ? 443 : 80;
    if (Find(url, L"//") < 0) return defaultPort;
    return PortOf(AuthorityOf(url), defaultPort);
}

UploadUrlParts SplitUploadUrl(const std::wstring& uploadUrl, const std::wstring& existUrl) {
    UploadUrlParts parts;
    parts.port = UrlPort(uploadUrl);
    parts.secure = IsHttpsUrl(uploadUrl);
    std::wstring rest = From(uploadUrl, Find(uploadUrl, L"//") + 2);
    long long slash = Find(rest, L"/");
    parts.host = HostOf(Left(rest, slash));
    parts.path = From(rest, slash);
    if (!existUrl.empty()) {
        std::wstring rest2 = From(existUrl, Find(existUrl, L"//") + 2);
        parts.existPath = From(rest2, Find(rest2, L"/"));
    }
    return parts;
}

DownloadHostParts SplitDownloadHostUrl(const std::wstring& downloadHostUrl) {
    DownloadHostParts parts;
    parts.port = UrlPort(downloadHostUrl);
    parts.secure = IsHttpsUrl(downloadHostUrl);
    parts.host = HostOf(AuthorityOf(downloadHostUrl));
    return parts;
}

bool IsHeaderSafe(const std::wstring& text) {
    for (wchar_t c : text)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

std::string EscapeRequestTarget(const std::wstring& target) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char byte : ToUtf8(target)) {
        if (byte > 0x20 && byte < 0x7F) {
            out.push_back(static_cast<char>(byte));
            continue;
        }
        out.push_back('%');
        out.push_back(kHex[byte >> 4]);
        out.push_back(kHex[byte & 0xF]);
    }
    return out;
}

UrlFault FindUrlFault(const std::wstring& url) {
    if (SchemeLength(url) == 0) return UrlFault::Scheme;
    if (!IsHeaderSafe(url)) return UrlFault::ControlCharacters;
    std::wstring authority = AuthorityOf(url);
    std::wstring host = HostOf(authority);
    if (host.empty()) return UrlFault::NoHost;
    std::wstring after = authority.substr(host.size());
    // Brackets hold an IPv6 address, the whole host, and close before the port.
    if (authority.find_first_of(L"[]") != std::wstring::npos) {
        if (!IsBracketedAddress(host) || after.find_first_of(L"[]") != std::wstring::npos) return UrlFault::MalformedHost;
        if (!after.empty() && after.front() != L':') return UrlFault::MalformedHost;
    }
    if (!after.empty() && !IsDecimalPort(after.substr(1))) return UrlFault::MalformedPort;
    int port = UrlPort(url);
    return port >= 1 && port <= 65535 ? UrlFault::None : UrlFault::PortOutOfRange;
}

bool IsUsableHttpUrl(const std::wstring& url) { return FindUrlFault(url) == UrlFault::None; }

bool IsUsableUploadUrl(const std::wstring& uploadUrl) {
    return IsUsableHttpUrl(uploadUrl) &&
           Find(From(uploadUrl, static_cast<long long>(SchemeLength(uploadUrl))), L"/") >= 0;
}

}  // namespace parvex
