#include "url.h"

#include <cwctype>

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

int PortAfterColon(const std::wstring& hostPart) {
    long long colon = Find(hostPart, L":");
    if (colon < 0) return 80;
    return LeadingInt(From(hostPart, colon + 1));
}

}  // namespace

int UrlPort(const std::wstring& url) {
    long long slashes = Find(url, L"//");
    if (slashes < 0) return 80;
    std::wstring rest = From(url, slashes + 2);
    long long slash = Find(rest, L"/");
    if (slash >= 0) return PortAfterColon(Left(rest, slash));
    return PortAfterColon(rest);
}

UploadUrlParts SplitUploadUrl(const std::wstring& uploadUrl, const std::wstring& existUrl) {
    UploadUrlParts parts;
    parts.port = UrlPort(uploadUrl);
    std::wstring rest = From(uploadUrl, Find(uploadUrl, L"//") + 2);
    long long slash = Find(rest, L"/");
    parts.host = Left(rest, slash);
    long long colon = Find(parts.host, L":");
    if (colon >= 0) parts.host = Left(parts.host, colon);
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
    std::wstring t = From(downloadHostUrl, Find(downloadHostUrl, L"//") + 2);
    long long slash = Find(t, L"/");
    if (slash >= 0) t = Left(t, slash);
    long long colon = Find(t, L":");
    if (colon >= 0) t = Left(t, colon);
    parts.host = t;
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

bool IsUsableHttpUrl(const std::wstring& url) {
    static const wchar_t kScheme[] = L"http://";
    if (url.size() < 7 || !IsHeaderSafe(url)) return false;
    for (size_t i = 0; i < 7; ++i)
        if (static_cast<wchar_t>(std::towlower(url[i])) != kScheme[i]) return false;
    int port = UrlPort(url);
    return port >= 1 && port <= 65535 && !SplitDownloadHostUrl(url).host.empty();
}

bool IsUsableUploadUrl(const std::wstring& uploadUrl) {
    return IsUsableHttpUrl(uploadUrl) && Find(From(uploadUrl, 7), L"/") >= 0;
}

}  // namespace parvex
