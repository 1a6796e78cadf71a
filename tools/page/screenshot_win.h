// Pictures of windows as the screen shows them.
#pragma once
#include <windows.h>

#include <string>

namespace parvex::page {

// Repaints the window with its children, copies it (frame included) from
// its own pixels and writes it as a PNG file; false when any step fails.
bool SaveWindowPicture(HWND window, const std::wstring& path);
// The same for a rectangle of the screen, whoever's windows are there.
bool SaveScreenPicture(const RECT& area, const std::wstring& path);

}  // namespace parvex::page
