// The list-view calls the upload list window and the progress dialog share.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

namespace parvex {

// Column index with its heading and alignment; width 0 leaves it to a later
// resize.
void AddListColumn(HWND list, int index, const wchar_t* heading, int format, int width);
// Row row at its place with column 0's text and image, drawn cut (dimmed)
// when asked; the index the list gave it, or -1.
int InsertListRow(HWND list, int row, const std::wstring& text, int image, bool cut);
void SetListText(HWND list, int row, int column, const std::wstring& text);

}  // namespace parvex
