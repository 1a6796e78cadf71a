// What a person does to the windows of the page: drop files, press buttons,
// read and type texts, click with the mouse.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace parvex::page {

// The visible top-level window of this process with exactly that caption.
HWND FindPageWindow(const std::wstring& caption);
// The captions of all visible top-level windows of this process.
std::vector<std::wstring> PageWindowCaptions();

// Windows paths separated by "|", empty pieces left out.
std::vector<std::wstring> SplitPaths(const std::wstring& paths);

// Sends target a WM_DROPFILES with a shell-style drop handle of the paths;
// the receiver releases the handle. False when no handle could be made.
bool DropFiles(HWND target, const std::vector<std::wstring>& paths);
// The paths as a file list (DROPFILES, wide), in memory the caller owns; null
// when there is none.
HGLOBAL MakeFileList(const std::vector<std::wstring>& paths);

// Presses button id of the window as a click would; true when found.
bool PressButton(HWND window, int id);

// The text of child id (of the window itself for id 0), "" when there is
// no such child.
std::wstring WindowText(HWND window, int id);

// The text at (row, column) of list view id; "" when there is none.
std::wstring ListItemText(HWND window, int id, int row, int column);
// The text of a list view's cell, without checks.
std::wstring CellText(HWND list, int row, int column);

// Replaces the text of child id as typing would; true when found.
bool TypeText(HWND window, int id, const std::wstring& text);

// A left-button click at (x, y) of window's client area, delivered to the
// innermost child under that point; returns when the click was handled.
bool Click(HWND window, int x, int y);

// Posts window the system command that its caption buttons send (the close
// box SC_CLOSE, the minimise box SC_MINIMIZE).
bool PostSystemCommand(HWND window, WPARAM command);

// The taskbar's notification area on screen (empty when there is none) and
// a left-button click at (x, y) of it, as on a tray icon there.
RECT NotificationAreaRect();
bool ClickNotificationArea(int x, int y);

// A press and release of virtualKey on child id (the window itself for 0),
// focused first as a person would; true when found.
bool PressKey(HWND window, int id, int virtualKey);

// The window's close box; returns once the window has handled it.
bool PressCloseBox(HWND window);

}  // namespace parvex::page
