#include "control/list_hint_win.h"

#include <commctrl.h>

#include "control/com_module_win.h"
#include "control/list_view_win.h"
#include "resources/resource.h"

namespace parvex {

void ListHint::Attach(HWND list) {
    list_ = list;
    if (!bitmap_)
        bitmap_ = static_cast<HBITMAP>(
            LoadImageW(ModuleHandle(), MAKEINTRESOURCEW(IDB_DROP_HINT), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

void ListHint::Detach() {
    list_ = nullptr;
    shown_ = false;
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = nullptr;
}

bool ListHint::SetListViewImage(const wchar_t* url, int verticalOffsetPercent) {
    return ListView(list_).SetBackgroundUrl(url, 50, verticalOffsetPercent);
}

void ListHint::Show(int verticalOffsetPercent) {
    if (!list_) return;
    wchar_t url[MAX_PATH + 32];
    wsprintfW(url, L"res://%s/%d/%d", ModulePath().c_str(), 2, IDB_DROP_HINT);
    bool wasDrawnHere = DrawnHere();
    int oldOffset = offset_;
    byListView_ = SetListViewImage(url, verticalOffsetPercent);
    shown_ = true;
    offset_ = verticalOffsetPercent;
    // Shown again at every erase of the window: repaint only on a change.
    if (DrawnHere() && (!wasDrawnHere || oldOffset != offset_)) InvalidateRect(list_, nullptr, TRUE);
}

void ListHint::Remove() {
    if (!list_) return;
    bool wasDrawnHere = DrawnHere();
    SetListViewImage(L"", 50);
    shown_ = false;
    if (wasDrawnHere) InvalidateRect(list_, nullptr, TRUE);
}

void ListHint::Paint(HDC dc) const {
    if (!DrawnHere() || !bitmap_ || ListView(list_).RowCount() > 0) return;
    BITMAP info;
    GetObjectW(bitmap_, sizeof info, &info);
    RECT client;
    GetClientRect(list_, &client);
    // As the list view places a background picture: the offset is a share of
    // the room left beside the picture.
    int x = (client.right - info.bmWidth) * 50 / 100;
    int y = (client.bottom - info.bmHeight) * offset_ / 100;
    // Behind the header, as a background is.
    int saved = SaveDC(dc);
    HWND header = ListView(list_).Header();
    RECT headerRect;
    if (header && IsWindowVisible(header) && GetWindowRect(header, &headerRect)) {
        MapWindowPoints(nullptr, list_, reinterpret_cast<POINT*>(&headerRect), 2);
        ExcludeClipRect(dc, headerRect.left, headerRect.top, headerRect.right, headerRect.bottom);
    }
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap_);
    BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    RestoreDC(dc, saved);
}

}  // namespace parvex
