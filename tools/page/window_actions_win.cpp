#include "tools/page/window_actions_win.h"

#include <commctrl.h>
#include <shlobj.h>

namespace parvex::page {

namespace {

struct CaptionSearch {
    const std::wstring* caption;
    HWND found;
};

// The caption of a visible top-level window of this process; false for
// any other window.
bool PageCaption(HWND window, std::wstring& text) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return false;
    int length = GetWindowTextLengthW(window);
    text.assign(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(GetWindowTextW(window, &text[0], length + 1));
    return true;
}

BOOL CALLBACK MatchCaption(HWND window, LPARAM p) {
    auto* search = reinterpret_cast<CaptionSearch*>(p);
    std::wstring text;
    if (!PageCaption(window, text) || text != *search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK CollectCaption(HWND window, LPARAM p) {
    std::wstring text;
    if (PageCaption(window, text)) reinterpret_cast<std::vector<std::wstring>*>(p)->push_back(text);
    return TRUE;
}

// Child id of window, or deeper down when window has none of that id (a
// control's list view lies inside its list window); window itself for 0.
HWND Child(HWND window, int id) {
    if (id == 0) return window;
    if (HWND direct = GetDlgItem(window, id)) return direct;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (HWND found = Child(child, id)) return found;
    return nullptr;
}

// Runs what is queued for this thread, so that a posted click is handled
// before the caller goes on.
void DeliverPosted(HWND target) {
    MSG message;
    while (PeekMessageW(&message, target, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// The child of parent that the mouse at point (parent's client
// coordinates) reaches, as the system finds it: the topmost visible one
// there that does not let the mouse through (a group box does, to what it
// frames); parent itself when none.
HWND ChildUnderMouse(HWND parent, POINT point) {
    POINT screen = point;
    ClientToScreen(parent, &screen);
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r;
        if (!IsWindowVisible(child) || !GetWindowRect(child, &r) || !PtInRect(&r, screen)) continue;
        if (SendMessageW(child, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y)) == HTTRANSPARENT) continue;
        return child;
    }
    return parent;
}

}  // namespace

HWND FindPageWindow(const std::wstring& caption) {
    CaptionSearch search{&caption, nullptr};
    EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<std::wstring> PageWindowCaptions() {
    std::vector<std::wstring> captions;
    EnumWindows(CollectCaption, reinterpret_cast<LPARAM>(&captions));
    return captions;
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

HGLOBAL MakeFileList(const std::vector<std::wstring>& paths) {
    std::size_t characters = 1;  // the list's closing NUL
    for (const auto& path : paths) characters += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + characters * sizeof(wchar_t));
    if (!memory) return nullptr;
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& path : paths) {
        path.copy(text, path.size());
        text += path.size() + 1;
    }
    GlobalUnlock(memory);
    return memory;
}

bool DropFiles(HWND target, const std::vector<std::wstring>& paths) {
    HGLOBAL memory = MakeFileList(paths);
    if (!memory) return false;
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
    // A progress bar tells its position, which is what a person reads off it.
    wchar_t kind[32] = {0};
    GetClassNameW(child, kind, 32);
    if (lstrcmpiW(kind, PROGRESS_CLASSW) == 0) return std::to_wstring(SendMessageW(child, PBM_GETPOS, 0, 0));
    int length = GetWindowTextLengthW(child);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(GetWindowTextW(child, &text[0], length + 1));
    return text;
}

std::wstring ListItemText(HWND window, int id, int row, int column) {
    HWND list = Child(window, id);
    if (!list || row < 0 || row >= static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0))) return L"";
    return CellText(list, row, column);
}

std::wstring CellText(HWND list, int row, int column) {
    wchar_t text[1024] = {0};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 1024;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
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
        HWND inner = ChildUnderMouse(target, point);
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

bool PostSystemCommand(HWND window, WPARAM command) { return PostMessageW(window, WM_SYSCOMMAND, command, 0) != FALSE; }

namespace {
// The window that holds the tray icons: the notification area of the
// taskbar, or, under Wine on a display without one, the stand-alone window
// that Wine shows the icons in.
HWND NotificationArea() {
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (taskbar && IsWindowVisible(taskbar)) {
        HWND area = FindWindowExW(taskbar, nullptr, L"TrayNotifyWnd", nullptr);
        return area ? area : taskbar;
    }
    HWND standalone = FindWindowW(L"__winex11_standalone_tray", nullptr);
    return standalone && IsWindowVisible(standalone) ? standalone : nullptr;
}
}  // namespace

RECT NotificationAreaRect() {
    RECT r = {};
    if (HWND area = NotificationArea()) GetWindowRect(area, &r);
    return r;
}

bool ClickNotificationArea(int x, int y) {
    HWND area = NotificationArea();
    if (!area) return false;
    // Down to the icon's own window where the icons have windows.
    POINT point = {x, y};
    HWND target = area;
    if (HWND inner = ChildWindowFromPointEx(area, point, CWP_SKIPINVISIBLE); inner && inner != area) {
        MapWindowPoints(area, inner, &point, 1);
        target = inner;
    }
    // The notification area belongs to another process: the click is
    // posted, as the system would deliver it.
    LPARAM at = MAKELPARAM(point.x, point.y);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(target, WM_LBUTTONUP, 0, at);
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
