// The one place that speaks the list view's and the progress bar's messages:
// the windows that show lists (the upload list, the progress and download
// dialogs) and the list's empty hint call these methods instead.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace parvex {

class ListView {
public:
    explicit ListView(HWND list = nullptr) : list_(list) {}
    HWND Handle() const { return list_; }
    void Attach(HWND list) { list_ = list; }

    // Column index with its heading and alignment; width 0 leaves it to a
    // later resize.
    void AddColumn(int index, const wchar_t* heading, int format, int width) const;
    // Also LVSCW_AUTOSIZE_USEHEADER.
    void SetColumnWidth(int column, int width) const;
    void SetColumnText(int column, const wchar_t* heading) const;
    // The extended styles under mask (0: all of them) become style.
    void SetExtendedStyle(DWORD mask, DWORD style) const;
    void SetSmallImages(HIMAGELIST images) const;
    // Turns the list's drawing off and on again, a plain window message.
    void SetRedraw(bool draw) const;

    // Row row at its place with column 0's text and image, drawn cut (dimmed)
    // when asked; the index the list gave it, or -1.
    int InsertRow(int row, const std::wstring& text, int image, bool cut) const;
    void SetText(int row, int column, const std::wstring& text) const;
    void SetTextAndImage(int row, int column, const std::wstring& text, int image) const;
    void DeleteRow(int row) const;
    void DeleteAllRows() const;
    int RowCount() const;
    // Selected rows in ascending order.
    std::vector<int> SelectedRows() const;
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked) const;
    void RedrawRows(int first, int last) const;
    void EnsureVisible(int row) const;
    int TopIndex() const;
    int CountPerPage() const;
    // The row and column under point (list client coordinates); iItem -1
    // when none.
    LVHITTESTINFO HitTest(POINT point) const;
    // The label rectangle of row's column.
    RECT CellRect(int row, int column) const;
    // A background picture from url, placed by percent; false when the list
    // cannot show one.
    bool SetBackgroundUrl(const wchar_t* url, int xPercent, int yPercent) const;

    HWND Header() const;
    void SetHeaderImages(HIMAGELIST images) const;
    // The heading of column 0 as image index image, left aligned.
    void SetFirstHeadingImage(int image) const;

private:
    HWND list_;
};

// A progress bar's range and position.
void SetBarRange(HWND bar, int low, int high);
void SetBarPosition(HWND bar, int position);

}  // namespace parvex
