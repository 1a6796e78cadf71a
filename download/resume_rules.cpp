#include "resume_rules.h"

#include <algorithm>

namespace parvex {

namespace {

// The only value of a field, or empty when it is missing or repeated.
std::string OnlyValue(const ReplyHead& head, std::string_view name) {
    std::vector<std::string> values = FieldValues(head, name);
    return values.size() == 1 ? values.front() : std::string();
}

bool IsStrongETag(const std::string& tag) {
    return tag.size() >= 2 && tag.front() == '"' && tag.back() == '"' &&
           tag.find('"', 1) == tag.size() - 1;
}

// Decimal digits only, into value; false for anything else or an overflow.
bool ReadNumber(std::string_view text, uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

// "bytes FIRST-LAST/LENGTH", exactly.
bool ReadContentRange(const std::string& text, uint64_t& first, uint64_t& last, uint64_t& length) {
    const std::string unit = "bytes ";
    if (LowerAscii(text.substr(0, unit.size())) != unit) return false;
    std::string_view rest(text);
    rest.remove_prefix(unit.size());
    size_t dash = rest.find('-'), slash = rest.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return false;
    return ReadNumber(rest.substr(0, dash), first) && ReadNumber(rest.substr(dash + 1, slash - dash - 1), last) &&
           ReadNumber(rest.substr(slash + 1), length);
}

}  // namespace

ResumeBasis ResumeBasisOf(const ReplyHead& head, uint64_t length) {
    ResumeBasis basis;
    basis.length = length;
    std::string tag = OnlyValue(head, "etag");
    if (IsStrongETag(tag))
        basis.validator = tag;
    else
        basis.validator = OnlyValue(head, "last-modified");
    // Sent back in a header line: printable ASCII only.
    if (std::any_of(basis.validator.begin(), basis.validator.end(), [](char c) { return c < 0x20 || c > 0x7E; }))
        basis.validator.clear();
    return basis;
}

std::string RangeRequestLines(const ResumeBasis& basis, uint64_t offset) {
    return "Range: bytes=" + std::to_string(offset) + "-\r\nIf-Range: " + basis.validator + "\r\n";
}

RangeVerdict JudgeRangeReply(const ReplyHead& head, uint64_t offset, const ResumeBasis& basis) {
    if (head.statusCode == 200) return RangeVerdict::Whole;
    if (head.statusCode == 416) return RangeVerdict::FromZero;
    if (head.statusCode != 206) return RangeVerdict::NotRanged;
    uint64_t first = 0, last = 0, length = 0;
    std::vector<std::string> ranges = FieldValues(head, "content-range");
    if (ranges.size() != 1 || !ReadContentRange(ranges.front(), first, last, length)) return RangeVerdict::FromZero;
    if (first != offset || length != basis.length || last + 1 != length) return RangeVerdict::FromZero;
    // The body must be that range and nothing else.
    ContentLength body = ContentLengthOf(head);
    if (body.state != ContentLength::State::Usable || body.bytes != length - offset || IsChunked(head))
        return RangeVerdict::FromZero;
    return RangeVerdict::Append;
}

}  // namespace parvex
