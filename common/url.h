// Cutting the page's URLs into host, port and request path. This is plain text
// cutting, not a URL parser; whether a URL may be used at all is decided
// apart from the cutting. An IPv6 address stands in brackets
// ("http://[::1]:8080/up"); the host keeps them, as the Host header needs.
#pragma once
#include <string>

namespace parvex {

// The port after the host, or the scheme's own when none is written: 443
// for "https://", 80 for anything else.
int UrlPort(const std::wstring& url);
// The URL asks for TLS: it starts with "https://" (in any case).
bool IsHttpsUrl(const std::wstring& url);
// The host as the resolver and the certificate check take it: without the
// brackets of an IPv6 address.
std::wstring BareHost(const std::wstring& host);

struct Endpoint;
// Where the parts of a URL send a request (host as cut, brackets included);
// its addresses are still to be resolved.
Endpoint UrlEndpoint(const std::wstring& host, int port, bool secure);

struct UploadUrlParts {
    std::wstring host;  // uploadHost, brackets included
    int port = 80;      // uploadPort
    std::wstring path;  // uploadPath, query included
    std::wstring existPath;
    bool secure = false;  // https: the upload and the exists check go over TLS
};

struct DownloadHostParts {
    std::wstring host;  // downloadHost, brackets included
    int port = 80;      // downloadPort
    bool secure = false;
};

UploadUrlParts SplitUploadUrl(const std::wstring& uploadUrl, const std::wstring& existUrl);
DownloadHostParts SplitDownloadHostUrl(const std::wstring& downloadHostUrl);

// What keeps a URL from being one the client may talk to, the first found in
// this order. The scheme is "http://" or "https://" (any other asks for
// something the client cannot give, and the user's cookie must not go to it
// over plain HTTP); no control characters, which would otherwise end up in
// the request head; a host, an IPv6 address whole in its brackets; a port,
// when a colon follows the host, of decimal digits alone (the cutting reads
// past a sign, a blank, a second colon or trailing junk, so such a URL would
// connect somewhere the page never wrote) within 1..65535.
enum class UrlFault { None, Scheme, ControlCharacters, NoHost, MalformedHost, MalformedPort, PortOutOfRange };
UrlFault FindUrlFault(const std::wstring& url);
// A URL without any fault.
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
