#include "tools/page/window_actions_win.h"

#include <shlobj.h>

namespace parvex::page {

namespace {

struct CaptionSearch {
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM p) {
    auto* search = reinterpret_cast<CaptionSearch*>(p);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(GetWindowTextW(window, &text[0], length + 1));
    if (text != *search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

HWND Child(HWND window, int id) { return id == 0 ? window : GetDlgItem(window, id); }

// Runs what is queued for this thread, so that a posted click is handled
// before the caller goes on.
void DeliverPosted(HWND target) {
    MSG message;
    while (PeekMessageW(&message, target, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

HWND FindPageWindow(const std::wstring& caption) {
    CaptionSearch search{&caption, nullptr};
    EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<std::wstring> SplitPaths(const std::wstring& paths) {
    std::vector<std::wstring> pieces;
    std::size_t start = 0;
    while (start <= paths.size()) {
        std::size_t bar = paths.find(L'|', start);
        if (bar == std::wstring::npos) bar = paths.size();
        if (bar > start) pieces.push_back(paths.substr(start, bar - start));
        start = bar + 1;
    }
    return pieces;
}

bool DropFiles(HWND target, const std::vector<std::wstring>& paths) {
    std::size_t characters = 1;  // the list's closing NUL
    for (const auto& path : paths) characters += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + characters * sizeof(wchar_t));
    if (!memory) return false;
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& path : paths) {
        path.copy(text, path.size());
        text += path.size() + 1;
    }
    GlobalUnlock(memory);
    SendMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    return true;
}

bool PressButton(HWND window, int id) {
    HWND button = GetDlgItem(window, id);
    if (!button) return false;
    // Posted, as the button's own click is: a press from inside the
    // window's modal loop then ends that loop only after the caller returns.
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

std::wstring WindowText(HWND window, int id) {
    HWND child = Child(window, id);
    if (!child) return L"";
    int length = GetWindowTextLengthW(child);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(GetWindowTextW(child, &text[0], length + 1));
    return text;
}

bool TypeText(HWND window, int id, const std::wstring& text) {
    HWND child = Child(window, id);
    if (!child) return false;
    SetWindowTextW(child, text.c_str());
    return true;
}

bool Click(HWND window, int x, int y) {
    // A person clicks on what the screen shows: pending paints first, as
    // the control lays its children out when it paints.
    RedrawWindow(GetAncestor(window, GA_ROOT), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    POINT point = {x, y};
    HWND target = window;
    // Down to the innermost visible child under the point.
    for (;;) {
        HWND inner = ChildWindowFromPointEx(target, point, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
        if (!inner || inner == target) break;
        MapWindowPoints(target, inner, &point, 1);
        target = inner;
    }
    // A person's click activates the window and focuses what it hits first.
    SetForegroundWindow(GetAncestor(target, GA_ROOT));
    SetFocus(target);
    LPARAM at = MAKELPARAM(point.x, point.y);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(target, WM_LBUTTONUP, 0, at);
    DeliverPosted(target);
    return true;
}

bool PressKey(HWND window, int id, int virtualKey) {
    HWND target = Child(window, id);
    if (!target) return false;
    // Focus moves only within this thread's windows; a window of another
    // thread gets the key where it is. In a dialog the focus moves as Tab
    // moves it, so that a focused push button becomes the one Enter presses.
    if (target != window && GetWindowThreadProcessId(target, nullptr) == GetCurrentThreadId())
        SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
    UINT scan = MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), MAKELPARAM(1, scan));
    PostMessageW(target, WM_KEYUP, static_cast<WPARAM>(virtualKey), MAKELPARAM(1, scan | KF_REPEAT | KF_UP));
    return true;
}

bool PressCloseBox(HWND window) {
    // Sent, as the frame sends it on a click of the box; bounded, since the
    // window may belong to a thread that is busy.
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, 5000, &answer) != 0;
}

}  // namespace parvex::page
