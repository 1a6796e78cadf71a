// Cutting the page's URLs into host, port and request path. This is plain text
// cutting, not a URL parser: the scheme is never looked at.
#pragma once
#include <string>

namespace parvex {

int UrlPort(const std::wstring& url);

struct UploadUrlParts {
    std::wstring host;  // uploadHost
    int port = 80;      // uploadPort
    std::wstring path;  // uploadPath, query included
    std::wstring existPath;
};

struct DownloadHostParts {
    std::wstring host;  // downloadHost
    int port = 80;      // downloadPort
};

UploadUrlParts SplitUploadUrl(const std::wstring& uploadUrl, const std::wstring& existUrl);
DownloadHostParts SplitDownloadHostUrl(const std::wstring& downloadHostUrl);

// An upload URL the client can actually post to: it has "//", a host and a
// path after the host.
bool IsUsableUploadUrl(const std::wstring& uploadUrl);

}  // namespace parvex
