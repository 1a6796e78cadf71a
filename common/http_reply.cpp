#include "http_reply.h"

namespace parvex {
namespace {

template <class Char>
std::basic_string<Char> Trimmed(const std::basic_string<Char>& s) {
    const Char blanks[] = {Char(' '), Char('\t'), Char(0)};
    size_t first = s.find_first_not_of(blanks);
    if (first == std::basic_string<Char>::npos) return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// A field name against a lower-case ASCII name, ignoring case in the reply.
template <class Char>
bool NameIs(const std::basic_string<Char>& field, std::string_view name) {
    if (field.size() != name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        Char c = field[i];
        if (c >= Char('A') && c <= Char('Z')) c = static_cast<Char>(c - Char('A') + Char('a'));
        if (c != static_cast<Char>(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

// Decimal digits only, up to kMaxBodyLength; false for anything else.
template <class Char>
bool LengthValue(const std::basic_string<Char>& text, uint64_t& value) {
    value = 0;
    if (text.empty()) return false;
    for (Char c : text) {
        if (c < Char('0') || c > Char('9')) return false;
        uint64_t digit = static_cast<uint64_t>(c - Char('0'));
        if (value > (kMaxBodyLength - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

template <class Char>
BasicReplyHead<Char> ReadHead(std::basic_string_view<Char> text) {
    const Char lineEnd[] = {Char('\r'), Char('\n'), Char(0)};
    BasicReplyHead<Char> head;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(lineEnd, at);
        // The empty line that ends the head; at the very start it is an
        // empty status line instead, as the head only ends at "\r\n\r\n".
        if (end == at && at > 0) break;
        head.lines.emplace_back(text.substr(at, end == text.npos ? text.npos : end - at));
        if (end == text.npos) break;
        at = end + 2;
    }
    if (!head.lines.empty()) head.statusCode = StatusCodeOf(head.lines.front());
    return head;
}

}  // namespace

size_t HeadLength(std::string_view bytes, size_t from) {
    size_t at = bytes.find("\r\n\r\n", from >= 3 ? from - 3 : 0);
    return at == std::string_view::npos ? at : at + 4;
}

ReplyHead ReadReplyHead(std::string_view text) { return ReadHead(text); }
WideReplyHead ReadReplyHead(std::wstring_view text) { return ReadHead(text); }

template <class Char>
std::vector<std::basic_string<Char>> FieldValues(const BasicReplyHead<Char>& head, std::string_view name) {
    std::vector<std::basic_string<Char>> values;
    for (size_t i = 1; i < head.lines.size(); ++i) {
        const std::basic_string<Char>& line = head.lines[i];
        size_t colon = line.find(Char(':'));
        if (colon != std::basic_string<Char>::npos && NameIs(line.substr(0, colon), name))
            values.push_back(Trimmed(line.substr(colon + 1)));
    }
    return values;
}

template <class Char>
bool IsChunked(const BasicReplyHead<Char>& head) {
    const Char chunked[] = {'c', 'h', 'u', 'n', 'k', 'e', 'd', 0};
    for (const auto& value : FieldValues(head, "transfer-encoding"))
        if (LowerAscii(value).find(chunked) != std::basic_string<Char>::npos) return true;
    return false;
}

template <class Char>
ContentLength ContentLengthOf(const BasicReplyHead<Char>& head) {
    ContentLength length;
    for (const auto& value : FieldValues(head, "content-length")) {
        uint64_t n = 0;
        bool first = length.state == ContentLength::State::Absent;
        if (!LengthValue(value, n) || (!first && n != length.bytes)) return {ContentLength::State::Unusable, 0};
        length = {ContentLength::State::Usable, n};
    }
    return length;
}

template <class Char>
int StatusCodeOf(const std::basic_string<Char>& statusLine) {
    size_t space = statusLine.find(Char(' '));
    if (space == std::basic_string<Char>::npos || statusLine.size() < space + 4) return 0;
    int code = 0;
    for (size_t i = space + 1; i < space + 4; ++i) {
        if (statusLine[i] < Char('0') || statusLine[i] > Char('9')) return 0;
        code = code * 10 + static_cast<int>(statusLine[i] - Char('0'));
    }
    // "2000" is no status 200, nor is "200x": the code ends the line or a space follows it.
    if (statusLine.size() > space + 4 && statusLine[space + 4] != Char(' ')) return 0;
    return code;
}

template <class Char>
std::basic_string<Char> StatusRest(const std::basic_string<Char>& statusLine) {
    size_t space = statusLine.find(Char(' '));
    std::basic_string<Char> rest;
    for (Char c : space == std::basic_string<Char>::npos ? statusLine : statusLine.substr(space + 1))
        if (c != Char('\r') && c != Char('\n')) rest.push_back(c);
    return LowerAscii(rest);
}

template <class Char>
std::basic_string<Char> LowerAscii(std::basic_string<Char> text) {
    for (Char& c : text)
        if (c >= Char('A') && c <= Char('Z')) c = static_cast<Char>(c - Char('A') + Char('a'));
    return text;
}

// Both directions read both kinds of text.
#define PARVEX_REPLY_HEAD_FOR(Char)                                                                        \
    template std::vector<std::basic_string<Char>> FieldValues(const BasicReplyHead<Char>&, std::string_view); \
    template bool IsChunked(const BasicReplyHead<Char>&);                                                 \
    template ContentLength ContentLengthOf(const BasicReplyHead<Char>&);                                  \
    template int StatusCodeOf(const std::basic_string<Char>&);                                            \
    template std::basic_string<Char> StatusRest(const std::basic_string<Char>&);                          \
    template std::basic_string<Char> LowerAscii(std::basic_string<Char>);
PARVEX_REPLY_HEAD_FOR(char)
PARVEX_REPLY_HEAD_FOR(wchar_t)
#undef PARVEX_REPLY_HEAD_FOR

}  // namespace parvex
