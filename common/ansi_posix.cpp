// Without an ANSI code page the bytes are taken as Latin-1, one character each.
#include "cookies.h"

namespace parvex {

std::wstring AnsiToWide(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) out.push_back(static_cast<wchar_t>(c));
    return out;
}

}  // namespace parvex
