// The download dialog's icon in the taskbar's notification area: minimising
// the dialog hides it there, a left click on the icon brings it back.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace parvex {

// Callback message of the icon and the icon's id.
constexpr UINT WM_TRAY_CALLBACK = WM_USER + 1;
constexpr UINT kTrayIconId = 1;

// Where the minimise animation ends: the notification area, else the
// taskbar's bottom-right corner, else the screen's.
RECT GetTrayRect();

class TrayIcon {
public:
    // Page's thread only, like the dialog that owns it.
    ~TrayIcon();
    // Animates window into the notification area and hides it behind an icon
    // with tip as its tip. When the icon cannot be added the window stays
    // on screen and the user is told.
    void MinimizeToTray(HWND window, const std::wstring& tip);
    // Animates the window back, shows it and removes the icon.
    void RestoreFromTray(HWND window);
    // Removes the icon, if shown, when the window goes.
    void Remove();
    bool Shown() const { return shown_; }

private:
    HICON icon_ = nullptr;  // loaded on the first minimise, kept for the dialog's life
    NOTIFYICONDATAW record_ = {};
    bool shown_ = false;
};

}  // namespace parvex
