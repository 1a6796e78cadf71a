// CNUploadDlg: the child dialog that fills the upload control and shows the
// upload list in a report list view with check boxes. The list itself lives
// in the model; this window only gives it rows on the list view and passes
// the user's clicks and drops to it.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <unknwn.h>

#include <string>
#include <vector>

#include "control/dialog_win.h"
#include "control/list_hint_win.h"
#include "control/list_view_win.h"
#include "control/upload_list_win.h"
#include "resources/resource.h"

namespace parvex {

class CNUploadDlg : public DialogImpl<CNUploadDlg>, public UploadRows {
public:
    enum { Template = IDD_UPLOAD_LIST };
    explicit CNUploadDlg(UploadListModel& model) : model_(model) {}
    ~CNUploadDlg() override;

    // Creates the window from dialog template 104 as parent's child; the
    // model's rows move onto the list view.
    bool Create(HWND parent);
    void Destroy();
    // The control this window belongs to: it keeps a reference on it while
    // it handles a message that may call the page.
    void SetOwner(IUnknown* owner) { owner_ = owner; }

    // UploadRows on the list view.
    void InsertRow(int row, const UploadRow& content) override;
    void SetColumn3Text(int row, const std::wstring& text) override;
    void DeleteAllRows() override;
    int RowCount() override;
    bool IsRowChecked(int row) override;
    void SetRowChecked(int row, bool checked) override;
    void RedrawRows(int first, int last) override;
    void ScrollIntoView(int row) override;
    void ShowEmptyHint() override { hint_.Show(50); }
    void RemoveEmptyHint() override;
    void SetHeaderChecked(bool checked) override;
    void ShowTwoKindHeading() override;
    ShellFileInfo QueryFileInfo(const std::wstring& path) override;
    void BeginAdding() override;
    void ShowAdded() override;
    void EndAdding() override;

    PARVEX_BEGIN_MSG_MAP(CNUploadDlg)
        PARVEX_MSG_WM_INITDIALOG(OnInitDialog)
        PARVEX_MSG_WM_SIZE(OnSize)
        PARVEX_MSG_WM_DROPFILES(OnDropFiles)
        PARVEX_NOTIFY_ID_HANDLER(IDC_UPLOAD_LIST_VIEW, OnNotify)
        PARVEX_MSG_WM_CTLCOLOR(OnControlColour)
        PARVEX_MSG_WM_DESTROY(OnDestroy)
        PARVEX_MSG_WM_NCDESTROY(OnNcDestroy)
    PARVEX_END_MSG_MAP()

private:
    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);
    bool OnInitDialog();
    void SetUpList();
    void OnSize();
    void OnDestroy();
    void OnNcDestroy() { list_.Attach(nullptr); }
    void OnDropFiles(HDROP drop);
    void OnDrop(const std::vector<std::wstring>& paths);
    LRESULT OnNotify(NMHDR* header);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
    LRESULT DrawKindBitmap(NMLVCUSTOMDRAW* draw);
    bool IsListViewsOwnCheckChange(const NMLISTVIEW* change) const;
    void OnControlColour();
    void SetColumnWidths();
    void InvalidateMargin();

    UploadListModel& model_;
    IUnknown* owner_ = nullptr;
    ListView list_;
    WNDPROC listViewProc_ = nullptr;  // the list view's own, behind ListProc
    HIMAGELIST headerImages_ = nullptr;
    ListHint hint_;
    // Set while the list view handles a press of the mouse button: the check
    // box it toggles by itself then is refused, so that the click handling
    // alone ticks the row, once. Set while this window sets a box itself.
    bool pressing_ = false;
    bool settingCheck_ = false;
    // Adding routes under way; while there are any the list view draws
    // only when ShowAdded asks, which an insertion does every ShowInterval.
    DWORD ShowInterval();
    static constexpr DWORD kRowsShownMs = 250;
    static constexpr DWORD kRowsBelowShownMs = 1000;
    int adding_ = 0;
    DWORD rowsShownTick_ = 0;
    int rowsShown_ = 0;  // rows when drawing was last allowed
};

}  // namespace parvex
