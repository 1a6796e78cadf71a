#include "temporary_name.h"

#include <cwctype>

#include "common/utf8.h"

namespace parvex {

namespace {

constexpr size_t kNameLimit = 255;

// Counted from the UTF-8 form, whatever the width of wchar_t: one unit per
// character, two for one of four bytes (a surrogate pair).
size_t Utf16Units(const std::string& utf8) {
    size_t units = 0;
    for (unsigned char c : utf8) units += (c & 0xC0) == 0x80 ? 0 : c >= 0xF0 ? 2 : 1;
    return units;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return true;
}

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// The longest beginning of name that fits with tail after it, never half
// of a surrogate pair.
std::wstring Shortened(const std::wstring& name, const std::wstring& tail) {
    size_t keep = name.size();
    while (keep > 0 && !FitsOneName(name.substr(0, keep) + tail)) --keep;
    if (keep > 0 && IsHighSurrogate(name[keep - 1])) --keep;
    return name.substr(0, keep) + tail;
}

}  // namespace

bool FitsOneName(const std::wstring& name) {
    std::string utf8 = ToUtf8(name);
    return Utf16Units(utf8) <= kNameLimit && utf8.size() <= kNameLimit;
}

std::wstring TemporaryPath(const std::wstring& target, int attempt) {
    size_t sep = target.find_last_of(L"\\/");
    std::wstring folder = sep == std::wstring::npos ? std::wstring() : target.substr(0, sep + 1);
    std::wstring name = target.substr(folder.size());
    std::wstring number = attempt == 0 ? std::wstring() : std::to_wstring(attempt);
    std::wstring temporary = name + (attempt == 0 ? L"" : L"." + number) + L".part";
    // The "~" marks a shortened name.
    if (!FitsOneName(temporary)) temporary = Shortened(name, L"~" + number + L".part");
    return SameName(temporary, name) ? std::wstring() : folder + temporary;
}

}  // namespace parvex
