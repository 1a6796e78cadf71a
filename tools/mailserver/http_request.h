#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "connection.h"

namespace mailserver {

constexpr size_t kMaxRequestHead = 64 * 1024;

struct HttpRequest {
    std::string method;
    std::string target;  // as sent, not decoded
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;

    // First header of that name (names compare case-insensitively), or null.
    const std::string* Header(std::string_view name) const;
    size_t HeaderCount(std::string_view name) const;
};

enum class HeadStatus { Ok, TooLarge, Closed, TimedOut, Stopped };

// Reads up to and including the empty line that ends the request head.
// *head receives the head bytes, *rest whatever arrived after them; when
// the client closed or went quiet first, *head holds what did arrive.
HeadStatus ReadRequestHead(Connection& conn, std::string* head, std::string* rest);

// Parses a head (ending in CRLF CRLF). Only CRLF line ends are accepted.
bool ParseRequestHead(std::string_view head, HttpRequest* out, std::string* error);

std::string ToLower(std::string_view text);
bool Iequals(std::string_view a, std::string_view b);
std::string_view Trim(std::string_view text);
bool StartsWith(std::string_view text, std::string_view prefix);
// Plain decimal number, nothing else around it.
bool ParseUint64(std::string_view text, uint64_t* value);

// Replaces %XX escapes; malformed escapes stay as they are. plusAsSpace
// is for query strings, where "+" stands for a space.
std::string UrlDecode(std::string_view text, bool plusAsSpace);

// Splits "a=1&b=2" into decoded name/value pairs; an entry without "=" has
// an empty value.
std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query);

}  // namespace mailserver
