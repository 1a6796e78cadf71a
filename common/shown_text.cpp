#include "shown_text.h"

namespace parvex {

bool IsBidiControl(wchar_t c) {
    return c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::wstring ShownText(const std::wstring& text) {
    std::wstring shown = text;
    for (wchar_t& c : shown) {
        bool lineBreakOrTab = c == L'\r' || c == L'\n' || c == L'\t';
        bool control = (c < 0x20 && !lineBreakOrTab) || (c >= 0x7F && c <= 0x9F) || IsBidiControl(c);
        if (control) c = L'?';
    }
    return shown;
}

}  // namespace parvex
