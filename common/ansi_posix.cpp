// The system's narrow text here is UTF-8; bytes that are not valid UTF-8 are
// taken as Latin-1, one character each, so that nothing is lost.
#include "cookies.h"
#include "utf8.h"

namespace parvex {

std::wstring AnsiToWide(const std::string& bytes) {
    if (IsValidUtf8(bytes.data(), bytes.size())) return FromUtf8(bytes);
    std::wstring out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) out.push_back(static_cast<wchar_t>(c));
    return out;
}

}  // namespace parvex
