#include "multipart.h"

#include <cstring>

#include "http_request.h"

namespace mailserver {
namespace {

constexpr size_t kMaxPartHead = 16 * 1024;

// Reads one parameter value: a quoted string taken up to the next double
// quote (no backslash escapes, senders put raw Windows paths there) or a
// bare token up to the next ";".
bool read_param_value(std::string_view* rest, std::string* value) {
    std::string_view r = *rest;
    if (!r.empty() && r.front() == '"') {
        size_t close = r.find('"', 1);
        if (close == std::string_view::npos) return false;
        *value = std::string(r.substr(1, close - 1));
        r.remove_prefix(close + 1);
    } else {
        size_t semi = r.find(';');
        *value = std::string(trim(r.substr(0, semi)));
        if (value->empty()) return false;
        r.remove_prefix(semi == std::string_view::npos ? r.size() : semi);
    }
    *rest = trim(r);
    return true;
}

}  // namespace

bool boundary_from_content_type(std::string_view content_type, std::string* boundary, std::string* error) {
    size_t semi = content_type.find(';');
    if (!iequals(trim(content_type.substr(0, semi)), "multipart/form-data")) {
        *error = "Content-Type is not multipart/form-data";
        return false;
    }
    std::string_view rest = semi == std::string_view::npos ? std::string_view() : content_type.substr(semi + 1);
    while (!rest.empty()) {
        rest = trim(rest);
        size_t eq = rest.find('=');
        if (eq == std::string_view::npos) break;
        std::string key = to_lower(trim(rest.substr(0, eq)));
        rest = trim(rest.substr(eq + 1));
        std::string value;
        if (!read_param_value(&rest, &value)) break;
        if (key == "boundary") {
            if (value.empty() || value.size() > 200) {
                *error = "boundary parameter is empty or longer than 200 characters";
                return false;
            }
            *boundary = value;
            return true;
        }
        if (!rest.empty() && rest.front() == ';') rest.remove_prefix(1);
    }
    *error = "Content-Type has no boundary parameter";
    return false;
}

MultipartParser::MultipartParser(const std::string& boundary, MultipartSink* sink)
    : delimiter_("\r\n--" + boundary), sink_(sink) {}

bool MultipartParser::fail(const std::string& message) {
    if (error_.empty()) error_ = message;
    return false;
}

bool MultipartParser::sink_failed(const std::string& message) {
    if (error_.empty()) sink_error_ = true;
    return fail(message);
}

void MultipartParser::take(const char* data, size_t n, bool content) {
    sink_->raw_bytes(data, n, content);
    offset_ += n;
}

const char* MultipartParser::find_delimiter(const char* data, size_t n) const {
    const size_t dn = delimiter_.size();
    const char* end = data + n;
    const char* p = data;
    while (static_cast<size_t>(end - p) >= dn) {
        p = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p) - dn + 1));
        if (p == nullptr) return nullptr;
        if (std::memcmp(p, delimiter_.data(), dn) == 0) return p;
        ++p;
    }
    return nullptr;
}

size_t MultipartParser::partial_delimiter_tail(const char* data, size_t n) const {
    size_t window = delimiter_.size() - 1;
    size_t from = n > window ? n - window : 0;
    for (size_t i = from; i < n; ++i) {
        if (data[i] == '\r' && std::memcmp(data + i, delimiter_.data(), n - i) == 0) return n - i;
    }
    return 0;
}

bool MultipartParser::header_line(std::string_view line) {
    const std::string where = " in the header of part " + std::to_string(parts_ + 1);
    for (char c : line) {
        if (c == '\r' || c == '\n' || c == '\0') return fail("stray CR, LF or NUL" + where);
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return fail("header line without a name and colon" + where + ": " + std::string(line.substr(0, 80)));
    std::string_view name = line.substr(0, colon);
    if (name.find(' ') != std::string_view::npos || name.find('\t') != std::string_view::npos)
        return fail("header name with white space" + where);
    std::string_view value = trim(line.substr(colon + 1));

    if (iequals(name, "Content-Type")) {
        part_.content_type = std::string(value);
        return true;
    }
    if (!iequals(name, "Content-Disposition")) return true;

    if (seen_disposition_) return fail("second Content-Disposition" + where);
    seen_disposition_ = true;
    size_t semi = value.find(';');
    if (!iequals(trim(value.substr(0, semi)), "form-data")) return fail("Content-Disposition is not form-data" + where);
    std::string_view rest = semi == std::string_view::npos ? std::string_view() : trim(value.substr(semi + 1));
    bool has_name = false;
    while (!rest.empty()) {
        size_t eq = rest.find('=');
        if (eq == std::string_view::npos) return fail("Content-Disposition parameter without a value" + where);
        std::string key = to_lower(trim(rest.substr(0, eq)));
        rest = trim(rest.substr(eq + 1));
        std::string param;
        if (!read_param_value(&rest, &param))
            return fail("unterminated or empty Content-Disposition parameter \"" + key + "\"" + where);
        if (key == "name") {
            if (has_name) return fail("duplicate name parameter" + where);
            has_name = true;
            part_.name = param;
        } else if (key == "filename") {
            if (part_.has_filename) return fail("duplicate filename parameter" + where);
            part_.has_filename = true;
            part_.filename = param;
        }
        if (rest.empty()) break;
        if (rest.front() != ';') return fail("parameters of Content-Disposition not separated by \";\"" + where);
        rest = trim(rest.substr(1));
    }
    if (!has_name) return fail("Content-Disposition without a name parameter" + where);
    return true;
}

bool MultipartParser::consume(const char* data, size_t n, size_t* used) {
    *used = 0;
    if (!error_.empty()) return false;
    size_t pos = 0;
    for (;;) {
        size_t taken = 0;
        const Step step = step_once(data + pos, n - pos, &taken);
        pos += taken;
        if (step == Step::Failed) return false;
        if (step == Step::NeedMore) break;
    }
    *used = pos;
    return true;
}

MultipartParser::Step MultipartParser::step_once(const char* p, size_t avail, size_t* taken) {
    switch (state_) {
    case State::Start:
        return read_opening(p, avail, taken);
    case State::AfterBoundary:
        return read_after_boundary(p, avail, taken);
    case State::Closing:
        return read_closing(p, avail, taken);
    case State::Headers:
        return read_header_line(p, avail, taken);
    case State::Data:
        return read_data(p, avail, taken);
    case State::End:
        if (avail > 0) return failed(std::to_string(avail) + " or more bytes after the final boundary");
        return Step::NeedMore;
    }
    return Step::NeedMore;
}

MultipartParser::Step MultipartParser::failed(const std::string& message) {
    fail(message);
    return Step::Failed;
}

MultipartParser::Step MultipartParser::refused_by_sink(const std::string& message) {
    sink_failed(message);
    return Step::Failed;
}

MultipartParser::Step MultipartParser::read_opening(const char* p, size_t avail, size_t* taken) {
    // The opening boundary is the delimiter without its leading CRLF.
    const char* first = delimiter_.data() + 2;
    const size_t need = delimiter_.size() - 2;
    const size_t cmp = avail < need ? avail : need;
    if (std::memcmp(p, first, cmp) != 0) return failed("body does not start with \"--\" and the boundary");
    if (avail < need) return Step::NeedMore;
    take(p, need, false);
    *taken = need;
    state_ = State::AfterBoundary;
    return Step::Advanced;
}

MultipartParser::Step MultipartParser::read_after_boundary(const char* p, size_t avail, size_t* taken) {
    const bool crlf = avail >= 1 && p[0] == '\r';
    const bool dashes = avail >= 1 && p[0] == '-';
    if (avail >= 1 && !crlf && !dashes) return failed(boundary_not_followed());
    if (avail < 2) return Step::NeedMore;
    if (crlf && p[1] == '\n') {
        part_ = PartInfo{};
        seen_disposition_ = false;
        part_header_bytes_ = 0;
        state_ = State::Headers;
    } else if (dashes && p[1] == '-') {
        state_ = State::Closing;
    } else {
        return failed(boundary_not_followed());
    }
    take(p, 2, false);
    *taken = 2;
    return Step::Advanced;
}

std::string MultipartParser::boundary_not_followed() const {
    return "boundary at body byte " + std::to_string(offset_) + " is followed by neither CRLF nor \"--\"";
}

MultipartParser::Step MultipartParser::read_closing(const char* p, size_t avail, size_t* taken) {
    if (avail >= 1 && p[0] != '\r') return failed("final boundary is not followed by CRLF");
    if (avail < 2) return Step::NeedMore;
    if (p[1] != '\n') return failed("final boundary is not followed by CRLF");
    take(p, 2, false);
    *taken = 2;
    state_ = State::End;
    return Step::Advanced;
}

MultipartParser::Step MultipartParser::read_header_line(const char* p, size_t avail, size_t* taken) {
    const char* crlf = find_crlf(p, avail);
    if (crlf == nullptr) {
        if (part_header_bytes_ + avail > kMaxPartHead) return failed(part_head_too_long());
        return Step::NeedMore;
    }
    const size_t len = static_cast<size_t>(crlf - p);
    part_header_bytes_ += len + 2;
    if (part_header_bytes_ > kMaxPartHead) return failed(part_head_too_long());
    std::string_view line(p, len);
    if (!line.empty() && !header_line(line)) return Step::Failed;
    take(p, len + 2, false);
    *taken = len + 2;
    if (line.empty()) return begin_part_data();
    return Step::Advanced;
}

std::string MultipartParser::part_head_too_long() const {
    return "header of part " + std::to_string(parts_ + 1) + " is longer than 16 KiB";
}

const char* MultipartParser::find_crlf(const char* p, size_t avail) {
    for (const char* q = p; avail >= 2 && q < p + avail - 1; ++q) {
        q = static_cast<const char*>(std::memchr(q, '\r', static_cast<size_t>(p + avail - 1 - q)));
        if (q == nullptr) return nullptr;
        if (q[1] == '\n') return q;
    }
    return nullptr;
}

MultipartParser::Step MultipartParser::begin_part_data() {
    if (!seen_disposition_) return failed("part " + std::to_string(parts_ + 1) + " has no Content-Disposition header");
    ++parts_;
    std::string err;
    if (!sink_->part_begin(part_, &err)) return refused_by_sink(err);
    state_ = State::Data;
    return Step::Advanced;
}

MultipartParser::Step MultipartParser::read_data(const char* p, size_t avail, size_t* taken) {
    const char* hit = find_delimiter(p, avail);
    const size_t content = hit ? static_cast<size_t>(hit - p) : avail - partial_delimiter_tail(p, avail);
    std::string err;
    if (content > 0) {
        take(p, content, true);
        if (!sink_->part_data(p, content, &err)) return refused_by_sink(err);
        *taken = content;
    }
    if (hit == nullptr) return Step::NeedMore;
    if (!sink_->part_end(&err)) return refused_by_sink(err);
    take(hit, delimiter_.size(), false);
    *taken = content + delimiter_.size();
    state_ = State::AfterBoundary;
    return Step::Advanced;
}

bool MultipartParser::finish(size_t unused) {
    if (!error_.empty()) return false;
    switch (state_) {
    case State::End:
        if (unused == 0) return true;
        return fail("bytes after the final boundary");
    case State::Data:
        return fail("body ends inside part " + std::to_string(parts_) +
                    " without its closing boundary (body cut short or Content-Length too small)");
    case State::Headers:
        return fail("body ends inside the header of part " + std::to_string(parts_ + 1));
    default:
        return fail("body ends before the final boundary \"--boundary--\" CRLF");
    }
}

}  // namespace mailserver
