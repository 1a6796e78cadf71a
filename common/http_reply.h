// The head of a server's HTTP reply, read the one way both directions read
// it: where it ends, its status line, its header fields by name, and when a
// Content-Length can be trusted. It reads the bytes as they came off the wire
// or the same head already turned into text (the download reports its status
// in the system's code page); the rules look at ASCII only, so both agree.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace parvex {

// The largest body length a reply may announce: still counted exactly in a
// double, which is how sizes are kept.
constexpr uint64_t kMaxBodyLength = 1ull << 53;

// Length of the head at the start of bytes, its closing empty line included;
// npos while that line has not arrived. A reader that gets the head in
// pieces passes from, the bytes it had already searched, so that only what
// is new (with the three bytes before it) is looked at again.
size_t HeadLength(std::string_view bytes, size_t from = 0);

template <class Char>
struct BasicReplyHead {
    // Every line before the empty one, the status line first, without its
    // "\r\n". Lines end at "\r\n" only: a bare "\n" inside a line does not
    // start a header field of its own.
    std::vector<std::basic_string<Char>> lines;
    // The status line's code (StatusCodeOf); 0 when it has none.
    int statusCode = 0;
};
using ReplyHead = BasicReplyHead<char>;
using WideReplyHead = BasicReplyHead<wchar_t>;

// Reads the head at the start of text, up to its empty line or the end.
ReplyHead ReadReplyHead(std::string_view text);
WideReplyHead ReadReplyHead(std::wstring_view text);

// The values, without surrounding blanks, of the fields whose whole name is
// name (given in lower case; any case in the reply): "X-Content-Length" is
// not a Content-Length.
template <class Char>
std::vector<std::basic_string<Char>> FieldValues(const BasicReplyHead<Char>& head, std::string_view name);

// A Transfer-Encoding names chunked: the body comes in chunks, whatever a
// Content-Length says.
template <class Char>
bool IsChunked(const BasicReplyHead<Char>& head);

struct ContentLength {
    enum class State { Absent, Usable, Unusable };
    State state = State::Absent;
    uint64_t bytes = 0;  // when Usable
};
// Usable only when every Content-Length field holds the same decimal digits,
// at most kMaxBodyLength: a sign, hex, a fraction or two lengths that differ
// leave no length that can be counted to.
template <class Char>
ContentLength ContentLengthOf(const BasicReplyHead<Char>& head);

// The status code: exactly three digits after the first space of a status
// line, followed by a space or the line's end; 0 when there are none.
template <class Char>
int StatusCodeOf(const std::basic_string<Char>& statusLine);

// A status line as the user is shown it: lower-cased from the character
// after its first space (code and reason), the whole line when it has no
// space, without stray line-end characters.
template <class Char>
std::basic_string<Char> StatusRest(const std::basic_string<Char>& statusLine);

// ASCII letters lowered, every other character kept.
template <class Char>
std::basic_string<Char> LowerAscii(std::basic_string<Char> text);

}  // namespace parvex
