// The empty-list hint of the upload list window: bitmap 204 behind the list
// view, placed by percentages of the list's client area. The list view is
// given the bitmap's res:// address; a list view that refuses such an
// address (it cannot load pictures from addresses) gets the same bitmap
// drawn at the same place after each of its paints instead.
#pragma once
#include <windows.h>

namespace parvex {

class ListHint {
public:
    ListHint() = default;
    ~ListHint() { Detach(); }
    ListHint(const ListHint&) = delete;
    ListHint& operator=(const ListHint&) = delete;

    void Attach(HWND list);
    void Detach();
    // Shows the hint centred across, at verticalOffsetPercent down.
    void Show(int verticalOffsetPercent);
    void Remove();
    // True while the list view's paints must be followed by Paint.
    bool DrawnHere() const { return shown_ && !byListView_; }
    // Draws the hint into the list view's paint, while it has no rows.
    void Paint(HDC dc) const;

private:
    bool SetListViewImage(const wchar_t* url, int verticalOffsetPercent);

    HWND list_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    bool shown_ = false;
    bool byListView_ = false;
    int offset_ = 50;
};

}  // namespace parvex
