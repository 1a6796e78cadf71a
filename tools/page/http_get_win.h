#pragma once
#include <string>

namespace parvex::page {

// The body of a GET of a plain "http://host:port/path" URL (HTTP/1.0, read
// until the server closes); false when the URL is not of that form or the
// exchange failed. Pages use it to steer the test server.
bool HttpGet(const std::wstring& url, std::string& body);

}  // namespace parvex::page
