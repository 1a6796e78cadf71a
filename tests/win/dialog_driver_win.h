// Drives message boxes and dialogs of this process from a test thread.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace parvex::testing {

namespace detail {
inline BOOL CALLBACK CollectText(HWND child, LPARAM p) {
    wchar_t text[4096] = {0};
    GetWindowTextW(child, text, 4096);
    reinterpret_cast<std::vector<std::wstring>*>(p)->push_back(text);
    return TRUE;
}

struct DialogSearch {
    const std::wstring* caption;
    HWND found;
};

inline BOOL CALLBACK MatchDialog(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<DialogSearch*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t cls[64] = {0}, text[512] = {0};
    GetClassNameW(w, cls, 64);
    GetWindowTextW(w, text, 512);
    if (pid == GetCurrentProcessId() && std::wstring(cls) == L"#32770" && IsWindowVisible(w) &&
        (s->caption->empty() || *s->caption == text)) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}
}  // namespace detail

// Texts of a window's children, in z order.
inline std::vector<std::wstring> ChildTexts(HWND window) {
    std::vector<std::wstring> texts;
    EnumChildWindows(window, detail::CollectText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// A visible dialog-class window of this process with the given caption (any
// caption when empty), waited for up to timeoutMs.
inline HWND WaitForDialog(const std::wstring& caption, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    detail::DialogSearch search{&caption, nullptr};
    do {
        EnumWindows(detail::MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

inline void PressButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace parvex::testing
