#include "http_request.h"

#include <cstring>

namespace mailserver {
namespace {

bool is_token_char(char c) {
    if (c <= 32 || c >= 127) return false;
    return std::strchr("()<>@,;:\\\"/[]?={}", c) == nullptr;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

const std::string* HttpRequest::header(std::string_view name) const {
    for (const auto& h : headers)
        if (iequals(h.first, name)) return &h.second;
    return nullptr;
}

size_t HttpRequest::header_count(std::string_view name) const {
    size_t n = 0;
    for (const auto& h : headers)
        if (iequals(h.first, name)) ++n;
    return n;
}

HeadStatus read_request_head(Connection& conn, std::string* head, std::string* rest) {
    std::string buffer;
    buffer.reserve(8192);
    char block[8192];
    for (;;) {
        size_t got = 0;
        IoStatus st = conn.receive(block, sizeof block, &got);
        if (st != IoStatus::Ok) {
            head->swap(buffer);
            if (st == IoStatus::TimedOut) return HeadStatus::TimedOut;
            return st == IoStatus::Stopped ? HeadStatus::Stopped : HeadStatus::Closed;
        }
        size_t search_from = buffer.size() >= 3 ? buffer.size() - 3 : 0;
        buffer.append(block, got);
        size_t end = buffer.find("\r\n\r\n", search_from);
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

bool parse_request_head(std::string_view head, HttpRequest* out, std::string* error) {
    *out = HttpRequest{};
    size_t line_end = head.find("\r\n");
    if (line_end == std::string_view::npos) {
        *error = "request line is not terminated by CRLF";
        return false;
    }
    std::string_view line = head.substr(0, line_end);
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
        if (!is_token_char(c)) {
            *error = "request method contains an invalid character";
            return false;
        }
    }
    if (!starts_with(out->version, "HTTP/")) {
        *error = "request line does not end in an HTTP version";
        return false;
    }

    size_t pos = line_end + 2;
    for (;;) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string_view::npos) {
            *error = "request head is not terminated by an empty line";
            return false;
        }
        std::string_view h = head.substr(pos, end - pos);
        pos = end + 2;
        if (h.empty()) break;
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
            if (!is_token_char(c)) {
                *error = "header name contains an invalid character: " + std::string(name.substr(0, 80));
                return false;
            }
        }
        out->headers.emplace_back(std::string(name), std::string(trim(h.substr(colon + 1))));
    }
    if (pos != head.size()) {
        *error = "bytes after the end of the request head";
        return false;
    }
    return true;
}

std::string to_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool parse_uint64(std::string_view text, uint64_t* value) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    *value = v;
    return true;
}

std::string url_decode(std::string_view text, bool plus_as_space) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            int hi = hex_value(text[i + 1]);
            int lo = hex_value(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(plus_as_space && c == '+' ? ' ' : c);
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> parse_query(std::string_view query) {
    std::vector<std::pair<std::string, std::string>> out;
    while (!query.empty()) {
        size_t amp = query.find('&');
        std::string_view item = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (item.empty()) continue;
        size_t eq = item.find('=');
        if (eq == std::string_view::npos)
            out.emplace_back(url_decode(item, true), std::string());
        else
            out.emplace_back(url_decode(item.substr(0, eq), true), url_decode(item.substr(eq + 1), true));
    }
    return out;
}

}  // namespace mailserver
