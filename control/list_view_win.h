// Text of one cell of a report-style list view, for every list the
// controls' windows show.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

namespace parvex {

inline void SetCellText(HWND list, int row, int column, const std::wstring& text) {
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

}  // namespace parvex
