// Texts from a server or a page that are shown to the user (message boxes,
// the download summary, the terminal). A NUL would end the text where a
// window reads it, and other control characters could hide or reorder what
// follows, so each of them is shown as "?".
#pragma once
#include <string>

namespace parvex {

// C0 controls (line breaks and tabs kept), DEL, C1 controls and the
// bidirectional controls replaced by "?".
std::wstring ShownText(const std::wstring& text);

// The characters that reorder the text around them when it is displayed:
// the marks U+200E and U+200F, the embeddings and overrides U+202A-U+202E
// and the isolates U+2066-U+2069.
bool IsBidiControl(wchar_t c);

}  // namespace parvex
