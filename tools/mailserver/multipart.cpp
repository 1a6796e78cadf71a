#include "multipart.h"

#include <cstring>

#include "http_request.h"

namespace mailserver {
namespace {

constexpr size_t kMaxPartHead = 16 * 1024;

// Reads one parameter value: a quoted string taken up to the next double
// quote (no backslash escapes, senders put raw Windows paths there) or a
// bare token up to the next ";".
bool ReadParamValue(std::string_view* rest, std::string* value) {
    std::string_view r = *rest;
    if (!r.empty() && r.front() == '"') {
        size_t close = r.find('"', 1);
        if (close == std::string_view::npos) return false;
        *value = std::string(r.substr(1, close - 1));
        r.remove_prefix(close + 1);
    } else {
        size_t semi = r.find(';');
        *value = std::string(Trim(r.substr(0, semi)));
        if (value->empty()) return false;
        r.remove_prefix(semi == std::string_view::npos ? r.size() : semi);
    }
    *rest = Trim(r);
    return true;
}

}  // namespace

bool BoundaryFromContentType(std::string_view contentType, std::string* boundary, std::string* error) {
    size_t semi = contentType.find(';');
    if (!Iequals(Trim(contentType.substr(0, semi)), "multipart/form-data")) {
        *error = "Content-Type is not multipart/form-data";
        return false;
    }
    std::string_view rest = semi == std::string_view::npos ? std::string_view() : contentType.substr(semi + 1);
    while (!rest.empty()) {
        rest = Trim(rest);
        size_t eq = rest.find('=');
        if (eq == std::string_view::npos) break;
        std::string key = ToLower(Trim(rest.substr(0, eq)));
        rest = Trim(rest.substr(eq + 1));
        std::string value;
        if (!ReadParamValue(&rest, &value)) break;
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

bool MultipartParser::Fail(const std::string& message) {
    if (error_.empty()) error_ = message;
    return false;
}

bool MultipartParser::SinkFailed(const std::string& message) {
    if (error_.empty()) sinkError_ = true;
    return Fail(message);
}

void MultipartParser::Take(const char* data, size_t n, bool content) {
    sink_->RawBytes(data, n, content);
    offset_ += n;
}

const char* MultipartParser::FindDelimiter(const char* data, size_t n) const {
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

size_t MultipartParser::PartialDelimiterTail(const char* data, size_t n) const {
    size_t window = delimiter_.size() - 1;
    size_t from = n > window ? n - window : 0;
    for (size_t i = from; i < n; ++i) {
        if (data[i] == '\r' && std::memcmp(data + i, delimiter_.data(), n - i) == 0) return n - i;
    }
    return 0;
}

bool MultipartParser::HeaderLine(std::string_view line) {
    const std::string where = " in the header of part " + std::to_string(parts_ + 1);
    for (char c : line) {
        if (c == '\r' || c == '\n' || c == '\0') return Fail("stray CR, LF or NUL" + where);
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return Fail("header line without a name and colon" + where + ": " + std::string(line.substr(0, 80)));
    std::string_view name = line.substr(0, colon);
    if (name.find(' ') != std::string_view::npos || name.find('\t') != std::string_view::npos)
        return Fail("header name with white space" + where);
    std::string_view value = Trim(line.substr(colon + 1));

    if (Iequals(name, "Content-Type")) {
        part_.contentType = std::string(value);
        return true;
    }
    if (!Iequals(name, "Content-Disposition")) return true;

    if (seenDisposition_) return Fail("second Content-Disposition" + where);
    seenDisposition_ = true;
    size_t semi = value.find(';');
    if (!Iequals(Trim(value.substr(0, semi)), "form-data")) return Fail("Content-Disposition is not form-data" + where);
    std::string_view rest = semi == std::string_view::npos ? std::string_view() : Trim(value.substr(semi + 1));
    bool hasName = false;
    while (!rest.empty()) {
        size_t eq = rest.find('=');
        if (eq == std::string_view::npos) return Fail("Content-Disposition parameter without a value" + where);
        std::string key = ToLower(Trim(rest.substr(0, eq)));
        rest = Trim(rest.substr(eq + 1));
        std::string param;
        if (!ReadParamValue(&rest, &param))
            return Fail("unterminated or empty Content-Disposition parameter \"" + key + "\"" + where);
        if (key == "name") {
            if (hasName) return Fail("duplicate name parameter" + where);
            hasName = true;
            part_.name = param;
        } else if (key == "filename") {
            if (part_.hasFilename) return Fail("duplicate filename parameter" + where);
            part_.hasFilename = true;
            part_.filename = param;
        }
        if (rest.empty()) break;
        if (rest.front() != ';') return Fail("parameters of Content-Disposition not separated by \";\"" + where);
        rest = Trim(rest.substr(1));
    }
    if (!hasName) return Fail("Content-Disposition without a name parameter" + where);
    return true;
}

bool MultipartParser::Consume(const char* data, size_t n, size_t* used) {
    *used = 0;
    if (!error_.empty()) return false;
    size_t pos = 0;
    for (;;) {
        size_t taken = 0;
        const Step step = StepOnce(data + pos, n - pos, &taken);
        pos += taken;
        if (step == Step::Failed) return false;
        if (step == Step::NeedMore) break;
    }
    *used = pos;
    return true;
}

MultipartParser::Step MultipartParser::StepOnce(const char* p, size_t avail, size_t* taken) {
    switch (state_) {
    case State::Start:
        return ReadOpening(p, avail, taken);
    case State::AfterBoundary:
        return ReadAfterBoundary(p, avail, taken);
    case State::Closing:
        return ReadClosing(p, avail, taken);
    case State::Headers:
        return ReadHeaderLine(p, avail, taken);
    case State::Data:
        return ReadData(p, avail, taken);
    case State::End:
        if (avail > 0) return Failed(std::to_string(avail) + " or more bytes after the final boundary");
        return Step::NeedMore;
    }
    return Step::NeedMore;
}

MultipartParser::Step MultipartParser::Failed(const std::string& message) {
    Fail(message);
    return Step::Failed;
}

MultipartParser::Step MultipartParser::RefusedBySink(const std::string& message) {
    SinkFailed(message);
    return Step::Failed;
}

MultipartParser::Step MultipartParser::ReadOpening(const char* p, size_t avail, size_t* taken) {
    // The opening boundary is the delimiter without its leading CRLF.
    const char* first = delimiter_.data() + 2;
    const size_t need = delimiter_.size() - 2;
    const size_t cmp = avail < need ? avail : need;
    if (std::memcmp(p, first, cmp) != 0) return Failed("body does not start with \"--\" and the boundary");
    if (avail < need) return Step::NeedMore;
    Take(p, need, false);
    *taken = need;
    state_ = State::AfterBoundary;
    return Step::Advanced;
}

MultipartParser::Step MultipartParser::ReadAfterBoundary(const char* p, size_t avail, size_t* taken) {
    const bool crlf = avail >= 1 && p[0] == '\r';
    const bool dashes = avail >= 1 && p[0] == '-';
    if (avail >= 1 && !crlf && !dashes) return Failed(BoundaryNotFollowed());
    if (avail < 2) return Step::NeedMore;
    if (crlf && p[1] == '\n') {
        part_ = PartInfo{};
        seenDisposition_ = false;
        partHeaderBytes_ = 0;
        state_ = State::Headers;
    } else if (dashes && p[1] == '-') {
        state_ = State::Closing;
    } else {
        return Failed(BoundaryNotFollowed());
    }
    Take(p, 2, false);
    *taken = 2;
    return Step::Advanced;
}

std::string MultipartParser::BoundaryNotFollowed() const {
    return "boundary at body byte " + std::to_string(offset_) + " is followed by neither CRLF nor \"--\"";
}

MultipartParser::Step MultipartParser::ReadClosing(const char* p, size_t avail, size_t* taken) {
    if (avail >= 1 && p[0] != '\r') return Failed("final boundary is not followed by CRLF");
    if (avail < 2) return Step::NeedMore;
    if (p[1] != '\n') return Failed("final boundary is not followed by CRLF");
    Take(p, 2, false);
    *taken = 2;
    state_ = State::End;
    return Step::Advanced;
}

MultipartParser::Step MultipartParser::ReadHeaderLine(const char* p, size_t avail, size_t* taken) {
    const char* crlf = FindCrlf(p, avail);
    if (crlf == nullptr) {
        if (partHeaderBytes_ + avail > kMaxPartHead) return Failed(PartHeadTooLong());
        return Step::NeedMore;
    }
    const size_t len = static_cast<size_t>(crlf - p);
    partHeaderBytes_ += len + 2;
    if (partHeaderBytes_ > kMaxPartHead) return Failed(PartHeadTooLong());
    std::string_view line(p, len);
    if (!line.empty() && !HeaderLine(line)) return Step::Failed;
    Take(p, len + 2, false);
    *taken = len + 2;
    if (line.empty()) return BeginPartData();
    return Step::Advanced;
}

std::string MultipartParser::PartHeadTooLong() const {
    return "header of part " + std::to_string(parts_ + 1) + " is longer than 16 KiB";
}

const char* MultipartParser::FindCrlf(const char* p, size_t avail) {
    for (const char* q = p; avail >= 2 && q < p + avail - 1; ++q) {
        q = static_cast<const char*>(std::memchr(q, '\r', static_cast<size_t>(p + avail - 1 - q)));
        if (q == nullptr) return nullptr;
        if (q[1] == '\n') return q;
    }
    return nullptr;
}

MultipartParser::Step MultipartParser::BeginPartData() {
    if (!seenDisposition_) return Failed("part " + std::to_string(parts_ + 1) + " has no Content-Disposition header");
    ++parts_;
    std::string err;
    if (!sink_->PartBegin(part_, &err)) return RefusedBySink(err);
    state_ = State::Data;
    return Step::Advanced;
}

MultipartParser::Step MultipartParser::ReadData(const char* p, size_t avail, size_t* taken) {
    const char* hit = FindDelimiter(p, avail);
    const size_t content = hit ? static_cast<size_t>(hit - p) : avail - PartialDelimiterTail(p, avail);
    std::string err;
    if (content > 0) {
        Take(p, content, true);
        if (!sink_->PartData(p, content, &err)) return RefusedBySink(err);
        *taken = content;
    }
    if (hit == nullptr) return Step::NeedMore;
    if (!sink_->PartEnd(&err)) return RefusedBySink(err);
    Take(hit, delimiter_.size(), false);
    *taken = content + delimiter_.size();
    state_ = State::AfterBoundary;
    return Step::Advanced;
}

bool MultipartParser::Finish(size_t unused) {
    if (!error_.empty()) return false;
    switch (state_) {
    case State::End:
        if (unused == 0) return true;
        return Fail("bytes after the final boundary");
    case State::Data:
        return Fail("body ends inside part " + std::to_string(parts_) +
                    " without its closing boundary (body cut short or Content-Length too small)");
    case State::Headers:
        return Fail("body ends inside the header of part " + std::to_string(parts_ + 1));
    default:
        return Fail("body ends before the final boundary \"--boundary--\" CRLF");
    }
}

}  // namespace mailserver
