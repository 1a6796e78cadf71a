#include "http_request.h"

#include <cstring>

namespace mailserver {
namespace {

bool IsTokenChar(char c) {
    if (c <= 32 || c >= 127) return false;
    return std::strchr("()<>@,;:\\\"/[]?={}", c) == nullptr;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "METHOD target HTTP/x.y", each part separated by exactly one space.
bool ParseRequestLine(std::string_view line, HttpRequest* out, std::string* error) {
    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp1 == 0 || sp2 == std::string_view::npos || sp2 == sp1 + 1 ||
        line.find(' ', sp2 + 1) != std::string_view::npos) {
        *error = "request line is not \"METHOD target HTTP/x.y\"";
        return false;
    }
    out->method = std::string(line.substr(0, sp1));
    out->target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
    out->version = std::string(line.substr(sp2 + 1));
    for (char c : out->method) {
        if (!IsTokenChar(c)) {
            *error = "request method contains an invalid character";
            return false;
        }
    }
    if (!StartsWith(out->version, "HTTP/")) {
        *error = "request line does not end in an HTTP version";
        return false;
    }
    return true;
}

// One "Name: value" line of the head, without its CRLF.
bool ParseHeaderLine(std::string_view h, HttpRequest* out, std::string* error) {
    if (h.find('\n') != std::string_view::npos || h.find('\r') != std::string_view::npos) {
        *error = "header line contains a bare CR or LF";
        return false;
    }
    if (h.front() == ' ' || h.front() == '\t') {
        *error = "folded header lines are not accepted";
        return false;
    }
    size_t colon = h.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        *error = "header line without a name and colon: " + std::string(h.substr(0, 80));
        return false;
    }
    std::string_view name = h.substr(0, colon);
    for (char c : name) {
        if (!IsTokenChar(c)) {
            *error = "header name contains an invalid character: " + std::string(name.substr(0, 80));
            return false;
        }
    }
    out->headers.emplace_back(std::string(name), std::string(Trim(h.substr(colon + 1))));
    return true;
}

}  // namespace

const std::string* HttpRequest::Header(std::string_view name) const {
    for (const auto& h : headers)
        if (Iequals(h.first, name)) return &h.second;
    return nullptr;
}

size_t HttpRequest::HeaderCount(std::string_view name) const {
    size_t n = 0;
    for (const auto& h : headers)
        if (Iequals(h.first, name)) ++n;
    return n;
}

HeadStatus ReadRequestHead(Connection& conn, std::string* head, std::string* rest) {
    std::string buffer;
    buffer.reserve(8192);
    char block[8192];
    for (;;) {
        size_t got = 0;
        IoStatus st = conn.Receive(block, sizeof block, &got);
        if (st != IoStatus::Ok) {
            head->swap(buffer);
            if (st == IoStatus::TimedOut) return HeadStatus::TimedOut;
            return st == IoStatus::Stopped ? HeadStatus::Stopped : HeadStatus::Closed;
        }
        size_t searchFrom = buffer.size() >= 3 ? buffer.size() - 3 : 0;
        buffer.append(block, got);
        size_t end = buffer.find("\r\n\r\n", searchFrom);
        if (end != std::string::npos) {
            end += 4;
            if (end > kMaxRequestHead) return HeadStatus::TooLarge;
            head->assign(buffer, 0, end);
            rest->assign(buffer, end, std::string::npos);
            return HeadStatus::Ok;
        }
        if (buffer.size() >= kMaxRequestHead) return HeadStatus::TooLarge;
    }
}

bool ParseRequestHead(std::string_view head, HttpRequest* out, std::string* error) {
    *out = HttpRequest{};
    size_t lineEnd = head.find("\r\n");
    if (lineEnd == std::string_view::npos) {
        *error = "request line is not terminated by CRLF";
        return false;
    }
    if (!ParseRequestLine(head.substr(0, lineEnd), out, error)) return false;
    size_t pos = lineEnd + 2;
    for (;;) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string_view::npos) {
            *error = "request head is not terminated by an empty line";
            return false;
        }
        std::string_view h = head.substr(pos, end - pos);
        pos = end + 2;
        if (h.empty()) break;
        if (!ParseHeaderLine(h, out, error)) return false;
    }
    if (pos != head.size()) {
        *error = "bytes after the end of the request head";
        return false;
    }
    return true;
}

std::string ToLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool Iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool ParseUint64(std::string_view text, uint64_t* value) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    *value = v;
    return true;
}

std::string UrlDecode(std::string_view text, bool plusAsSpace) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            int hi = HexValue(text[i + 1]);
            int lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(plusAsSpace && c == '+' ? ' ' : c);
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query) {
    std::vector<std::pair<std::string, std::string>> out;
    while (!query.empty()) {
        size_t amp = query.find('&');
        std::string_view item = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (item.empty()) continue;
        size_t eq = item.find('=');
        if (eq == std::string_view::npos)
            out.emplace_back(UrlDecode(item, true), std::string());
        else
            out.emplace_back(UrlDecode(item.substr(0, eq), true), UrlDecode(item.substr(eq + 1), true));
    }
    return out;
}

}  // namespace mailserver
