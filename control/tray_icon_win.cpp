#include "control/tray_icon_win.h"

#include "control/com_module_win.h"
#include "download/dialog_geometry.h"
#include "resources/resource.h"

namespace parvex {

// The record layout every shell since Windows 2000 takes: up to the balloon
// fields, without the icon's GUID.
constexpr DWORD kTrayRecordSize = 936;
static_assert(NOTIFYICONDATAW_V2_SIZE == kTrayRecordSize, "the notification record of Windows 2000");

namespace {

RECT ToRect(const ScreenRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

void Animate(HWND window, const RECT& from, const RECT& to) { DrawAnimatedRects(window, IDANI_CAPTION, &from, &to); }

}  // namespace

RECT GetTrayRect() {
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (!taskbar)
        return ToRect(TrayRectWithoutTaskbar(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
    RECT r;
    if (HWND tray = FindWindowExW(taskbar, nullptr, L"TrayNotifyWnd", nullptr)) {
        GetWindowRect(tray, &r);
        return r;
    }
    GetWindowRect(taskbar, &r);
    return ToRect(TrayRectInTaskbar(ScreenRect{r.left, r.top, r.right, r.bottom}));
}

TrayIcon::~TrayIcon() { Remove(); }

void TrayIcon::MinimizeToTray(HWND window, const std::wstring& tip) {
    if (shown_) return;
    if (!icon_) icon_ = LoadIconW(ModuleHandle(), MAKEINTRESOURCEW(IDI_TRAY_DOWNLOAD));
    RECT from;
    GetWindowRect(window, &from);
    Animate(window, from, GetTrayRect());

    record_ = NOTIFYICONDATAW{};
    record_.cbSize = kTrayRecordSize;
    record_.hWnd = window;
    record_.uID = kTrayIconId;
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record_.uCallbackMessage = WM_TRAY_CALLBACK;
    record_.hIcon = icon_;
    std::wstring cut = TrayTip(tip, sizeof record_.szTip / sizeof record_.szTip[0]);
    cut.copy(record_.szTip, cut.size());
    if (!Shell_NotifyIconW(NIM_ADD, &record_)) {
        MessageBoxW(window, L"Unable to Set Tary Icon", nullptr, MB_OK);
        return;
    }
    shown_ = true;
    ShowWindow(window, SW_HIDE);
}

void TrayIcon::RestoreFromTray(HWND window) {
    if (!shown_) return;
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    Animate(window, GetTrayRect(), placement.rcNormalPosition);
    ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    Remove();
}

void TrayIcon::Remove() {
    if (!shown_) return;
    Shell_NotifyIconW(NIM_DELETE, &record_);
    shown_ = false;
}

}  // namespace parvex
