#include "dialog_geometry.h"

namespace parvex {

ScreenPoint CentredOrigin(const ScreenRect& workArea, long width, long height) {
    return ScreenPoint{(workArea.right - width) / 2, (workArea.bottom - height) / 2};
}

ScreenRect TrayRectWithoutTaskbar(long screenWidth, long screenHeight) {
    return ScreenRect{screenWidth - 40, screenHeight - 20, screenWidth, screenHeight};
}

ScreenRect TrayRectInTaskbar(const ScreenRect& taskbar) {
    return ScreenRect{taskbar.right - 20, taskbar.bottom - 20, taskbar.right, taskbar.bottom};
}

namespace {

// A character beyond 16 bits takes two 16-bit units; only where wchar_t
// holds such characters whole can it be one (the other branch is never
// compiled, so no comparison is made that cannot be true).
template <size_t Bytes = sizeof(wchar_t)>
size_t Utf16Units(wchar_t c) {
    if constexpr (Bytes == 4)
        return static_cast<unsigned long>(c) > 0xFFFFu ? 2 : 1;
    else
        return 1;
}

}  // namespace

std::wstring TrayTip(const std::wstring& title, size_t fieldChars) {
    if (fieldChars == 0) return std::wstring();
    // wchar_t counts 16-bit units on Windows but whole characters elsewhere;
    // the cut is made in 16-bit units, as the field holds them.
    size_t room = fieldChars - 1;
    std::wstring tip;
    size_t used = 0;
    for (wchar_t c : title) {
        bool lead = sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF;
        size_t units = Utf16Units(c);
        // A lead half goes only with room for its trail half as well.
        if (used + units + (lead ? 1 : 0) > room) break;
        tip.push_back(c);
        used += units;
    }
    return tip;
}

}  // namespace parvex
