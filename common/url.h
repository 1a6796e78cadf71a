// Cutting the page's URLs into host, port and request path. This is plain text
// cutting, not a URL parser; whether a URL may be used at all is decided
// apart from the cutting.
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

// A URL the client may talk to: plain "http://" (the client speaks nothing
// else, and must not send the user's cookie in the clear to a URL that asked
// for more), a host, a port within 1..65535 and no control characters, which
// would otherwise end up in the request head.
bool IsUsableHttpUrl(const std::wstring& url);
// An upload URL the client can actually post to: usable, with a path after
// the host.
bool IsUsableUploadUrl(const std::wstring& uploadUrl);
// No control characters: a text that may go into a request line.
bool IsHeaderSafe(const std::wstring& text);

// A request target as it goes on the wire: the UTF-8 bytes of target with
// every byte outside printable ASCII, and the space, written as %XX
// (upper-case hex). A '%' stays as written, so a page that escapes already
// keeps its escapes; control bytes, CR and LF among them, are escaped, so no
// path can add a line to the request head. The result is plain ASCII.
std::string EscapeRequestTarget(const std::wstring& target);

}  // namespace parvex
