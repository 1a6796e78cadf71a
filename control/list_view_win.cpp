#include "control/list_view_win.h"

namespace parvex {

namespace {
template <class T>
LRESULT Send(HWND window, UINT message, WPARAM wParam, const T* data) {
    return SendMessageW(window, message, wParam, reinterpret_cast<LPARAM>(data));
}
}  // namespace

void ListView::AddColumn(int index, const wchar_t* heading, int format, int width) const {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(heading);
    column.iSubItem = index;
    Send(list_, LVM_INSERTCOLUMNW, index, &column);
}

void ListView::SetColumnWidth(int column, int width) const {
    SendMessageW(list_, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(static_cast<short>(width), 0));
}

void ListView::SetColumnText(int index, const wchar_t* heading) const {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<wchar_t*>(heading);
    Send(list_, LVM_SETCOLUMNW, index, &column);
}

void ListView::SetExtendedStyle(DWORD mask, DWORD style) const {
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style);
}

void ListView::SetSmallImages(HIMAGELIST images) const {
    SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
}

void ListView::SetRedraw(bool draw) const { SendMessageW(list_, WM_SETREDRAW, draw ? TRUE : FALSE, 0); }

int ListView::InsertRow(int row, const std::wstring& text, int image, bool cut) const {
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = image;
    item.state = cut ? LVIS_CUT : 0;
    item.stateMask = LVIS_CUT;
    return static_cast<int>(Send(list_, LVM_INSERTITEMW, 0, &item));
}

void ListView::SetText(int row, int column, const std::wstring& text) const {
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    Send(list_, LVM_SETITEMTEXTW, row, &item);
}

void ListView::SetTextAndImage(int row, int column, const std::wstring& text, int image) const {
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = image;
    Send(list_, LVM_SETITEMW, 0, &item);
}

void ListView::DeleteRow(int row) const { SendMessageW(list_, LVM_DELETEITEM, row, 0); }

void ListView::DeleteAllRows() const { SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0); }

int ListView::RowCount() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }

std::vector<int> ListView::SelectedRows() const {
    std::vector<int> rows;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) rows.push_back(row);
    return rows;
}

bool ListView::IsChecked(int row) const {
    UINT state = static_cast<UINT>(SendMessageW(list_, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
    return (state >> 12) == 2;
}

void ListView::SetChecked(int row, bool checked) const {
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    Send(list_, LVM_SETITEMSTATE, row, &item);
}

void ListView::RedrawRows(int first, int last) const { SendMessageW(list_, LVM_REDRAWITEMS, first, last); }

void ListView::EnsureVisible(int row) const { SendMessageW(list_, LVM_ENSUREVISIBLE, row, FALSE); }

int ListView::TopIndex() const { return static_cast<int>(SendMessageW(list_, LVM_GETTOPINDEX, 0, 0)); }

int ListView::CountPerPage() const { return static_cast<int>(SendMessageW(list_, LVM_GETCOUNTPERPAGE, 0, 0)); }

LVHITTESTINFO ListView::HitTest(POINT point) const {
    LVHITTESTINFO hit = {};
    hit.pt = point;
    Send(list_, LVM_SUBITEMHITTEST, 0, &hit);
    return hit;
}

RECT ListView::CellRect(int row, int column) const {
    RECT cell = {};
    cell.top = column;
    cell.left = LVIR_LABEL;
    Send(list_, LVM_GETSUBITEMRECT, row, &cell);
    return cell;
}

bool ListView::SetBackgroundUrl(const wchar_t* url, int xPercent, int yPercent) const {
    LVBKIMAGEW image = {};
    image.ulFlags = LVBKIF_SOURCE_URL | LVBKIF_STYLE_NORMAL;
    image.pszImage = const_cast<wchar_t*>(url);
    image.xOffsetPercent = xPercent;
    image.yOffsetPercent = yPercent;
    return Send(list_, LVM_SETBKIMAGEW, 0, &image) != 0;
}

HWND ListView::Header() const { return reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0)); }

void ListView::SetHeaderImages(HIMAGELIST images) const {
    SendMessageW(Header(), HDM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
}

void ListView::SetFirstHeadingImage(int image) const {
    HDITEMW item = {};
    item.mask = HDI_IMAGE | HDI_FORMAT;
    item.fmt = HDF_IMAGE | HDF_LEFT;
    item.iImage = image;
    Send(Header(), HDM_SETITEMW, 0, &item);
}

void SetBarRange(HWND bar, int low, int high) { SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(low, high)); }

void SetBarPosition(HWND bar, int position) { SendMessageW(bar, PBM_SETPOS, position, 0); }

}  // namespace parvex
