#include "control/download_dlg_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/settings.h"
#include "control/list_view_win.h"
#include "download/dialog_geometry.h"
#include "download/download_session.h"

namespace parvex {

static_assert(IDC_DN_SPEED == IdcDnSpeedLabel && IDC_DN_FOLDER == IdcDnSaveFolderEdit &&
                  IDC_DN_CHANGE_FOLDER == IdcDnChangeFolderButton && IDC_DN_LIST == IdcDnFileList &&
                  IDC_DN_FILE_BAR == IdcDnFileProgress && IDC_DN_FILE_NAME == IdcDnFileNameLabel &&
                  IDC_DN_RUN_TOTAL == IdcDnTotalSizeLabel && IDC_DN_FILE_SIZE == IdcDnFileSizeLabel &&
                  IDC_DN_RUN_BAR == IdcDnTotalProgress && IDC_DN_CANCEL == IdcDnCancelButton &&
                  IDC_DN_START == IdcDnStartButton && IDC_DN_RUN_DONE == IdcDnDoneBytesLabel &&
                  IDC_DN_FILE_DONE == IdcDnFileBytesLabel && IDC_DN_DELETE == IdcDnDeleteButton &&
                  IDC_DN_TIME_LEFT == IdcDnTimeLeftLabel && IDC_DN_OPEN_FOLDER == IdcDnOpenFolderButton,
              "the queue and the worker write to the template's controls");

CNDownloadDlg::~CNDownloadDlg() {
    // Normally gone already (WM_DOWNLOAD_CLOSE); destroyed on its own thread
    // either way.
    if (target_ && IsWindow(target_)) SendMessageW(target_, WM_DOWNLOAD_CLOSE, 0, 0);
}

bool CNDownloadDlg::Create() {
    if (!CreateModeless(nullptr)) return false;
    target_ = window_;
    dialogThread_ = GetCurrentThreadId();
    changes_.SetTarget(window_, kApplyChanges);
    boxes_.SetOwner(window_);
    return true;
}

void CNDownloadDlg::Show() {
    ShowWindow(target_, SW_SHOW);
    Centre();
    SetForegroundWindow(target_);
}

bool CNDownloadDlg::Alive() const { return IsWindow(target_) != FALSE; }

void CNDownloadDlg::SendMerge(DownloadDialogCalls&) { SendMessageW(target_, WM_DOWNLOAD_MERGE, 0, 0); }
void CNDownloadDlg::SendRefresh(DownloadDialogCalls&) { SendMessageW(target_, WM_DOWNLOAD_REFRESH, 0, 0); }
void CNDownloadDlg::SendClose() { SendMessageW(target_, WM_DOWNLOAD_CLOSE, 0, 0); }

LRESULT CNDownloadDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    HWND list = List();
    // Each column is sized as the last one when it comes: the name column
    // takes the list's width, the status column what its heading needs.
    AddListColumn(list, 0, L"파일명", LVCFMT_LEFT, 0);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
    AddListColumn(list, 1, L"상 태", LVCFMT_CENTER, 0);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE_USEHEADER);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    for (int bar : {IDC_DN_FILE_BAR, IDC_DN_RUN_BAR}) SendMessageW(Item(bar), PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    return TRUE;
}

LRESULT CNDownloadDlg::OnStart(WORD, WORD, HWND, BOOL&) {
    PaintBeforeTransfer();
    state_.StartRun(this);
    return 0;
}

LRESULT CNDownloadDlg::OnCancel(WORD, WORD, HWND, BOOL&) {
    state_.CancelOrClose(this);
    return 0;
}

LRESULT CNDownloadDlg::OnDelete(WORD, WORD, HWND, BOOL&) {
    state_.DeleteButton(*this, this);
    return 0;
}

LRESULT CNDownloadDlg::OnOpenFolder(WORD, WORD, HWND, BOOL&) {
    std::wstring folder = state_.SaveFolder();
    ShellExecuteW(window_, L"explore", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return 0;
}

LRESULT CNDownloadDlg::OnChangeFolder(WORD, WORD, HWND, BOOL&) {
    state_.ChangeFolder(*this);
    return 0;
}

LRESULT CNDownloadDlg::OnSysCommand(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
    if (wParam == SC_MINIMIZE)
        tray_.MinimizeToTray(window_, Settings().downloadTitle);
    else if (wParam == SC_CLOSE)
        state_.CancelOrClose(this);
    else
        handled = FALSE;
    return 0;
}

LRESULT CNDownloadDlg::OnClose(UINT, WPARAM, LPARAM, BOOL&) {
    state_.CancelOrClose(this);
    return 0;
}

LRESULT CNDownloadDlg::OnSize(UINT, WPARAM, LPARAM, BOOL& handled) {
    Centre();
    handled = FALSE;
    return 0;
}

void CNDownloadDlg::Centre() {
    RECT work, window;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(window_, &window);
    ScreenPoint at = CentredOrigin(ScreenRect{work.left, work.top, work.right, work.bottom},
                                   window.right - window.left, window.bottom - window.top);
    SetWindowPos(window_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CNDownloadDlg::OnTrayCallback(UINT, WPARAM wParam, LPARAM lParam, BOOL&) {
    // Right clicks and the context menu do nothing.
    if (wParam == kTrayIconId && lParam == WM_LBUTTONDOWN) tray_.RestoreFromTray(window_);
    return 0;
}

LRESULT CNDownloadDlg::OnMerge(UINT, WPARAM, LPARAM, BOOL&) {
    state_.MergePendingEntries(*this, this);
    return 0;
}

LRESULT CNDownloadDlg::OnDownloadClose(UINT, WPARAM, LPARAM, BOOL&) {
    DestroyWindow(window_);
    return 0;
}

LRESULT CNDownloadDlg::OnRefresh(UINT, WPARAM, LPARAM, BOOL&) {
    state_.ShowAddedEntries(*this, this);
    return 0;
}

// Each row the list adds or removes while it draws costs a new layout, its
// scroll bar drawn and the rows below moved: thousands of files queued one
// call at a time would cost more with each row. Rows changed within one run
// of the page's script (or one merge, or one delete) are drawn together once
// the thread is back in its message loop.
void CNDownloadDlg::HoldRowDrawing() {
    if (rowDrawingHeld_ || GetCurrentThreadId() != dialogThread_) return;
    rowDrawingHeld_ = true;
    SendMessageW(List(), WM_SETREDRAW, FALSE, 0);
    PostMessageW(target_, WM_DOWNLOAD_DRAW_ROWS, 0, 0);
}

LRESULT CNDownloadDlg::OnDrawRows(UINT, WPARAM, LPARAM, BOOL&) {
    rowDrawingHeld_ = false;
    HWND list = List();
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    return 0;
}

LRESULT CNDownloadDlg::OnApplyChanges(UINT, WPARAM, LPARAM, BOOL&) {
    changes_.Apply();
    return 0;
}

LRESULT CNDownloadDlg::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
    tray_.Remove();
    // Whoever destroys the window (its close, the end of its thread, the
    // process going away) ends the session with it.
    state_.DialogDestroyed(*this);
    handled = FALSE;
    return 0;
}

void CNDownloadDlg::SetCaption(const std::wstring& text) {
    SendMessageW(target_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void CNDownloadDlg::InsertRow(int row, const std::wstring& name) {
    HoldRowDrawing();
    InsertListRow(GetDlgItem(target_, IDC_DN_LIST), row, name, I_IMAGENONE, false);
}

void CNDownloadDlg::SetRowStatus(int row, const std::wstring& status) {
    SetListText(GetDlgItem(target_, IDC_DN_LIST), row, 1, status);
}

void CNDownloadDlg::DeleteRow(int row) {
    HoldRowDrawing();
    SendMessageW(GetDlgItem(target_, IDC_DN_LIST), LVM_DELETEITEM, row, 0);
}

void CNDownloadDlg::DeleteAllRows() {
    HoldRowDrawing();
    SendMessageW(GetDlgItem(target_, IDC_DN_LIST), LVM_DELETEALLITEMS, 0, 0);
}

std::vector<int> CNDownloadDlg::SelectedRows() {
    HWND list = GetDlgItem(target_, IDC_DN_LIST);
    std::vector<int> rows;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0)
        rows.push_back(row);
    return rows;
}

void CNDownloadDlg::SetColumnWidths(int nameWidth, int statusWidth) {
    HWND list = GetDlgItem(target_, IDC_DN_LIST);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, nameWidth);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, statusWidth);
}

void CNDownloadDlg::SetText(int id, const std::wstring& text) {
    changes_.SetText(id, text);
    // The page's own calls show at once: its script may read the label back
    // before it returns. The worker's are posted: a worker that waited for
    // the page's thread at every file's start and every refresh lost the
    // processor each time it did, and on a busy machine got it back only
    // milliseconds later.
    if (GetCurrentThreadId() == dialogThread_) changes_.Apply();
}

void CNDownloadDlg::SetProgress(int id, int percent) { changes_.SetBar(id, percent); }

void CNDownloadDlg::EnableControl(int id, bool enable) { EnableWindow(GetDlgItem(target_, id), enable); }

std::shared_ptr<DownloadDialog> DownloadDialogFactoryWin::Create(DownloadDialogCalls& state) {
    auto dialog = std::make_shared<CNDownloadDlg>(state);
    if (!dialog->Create()) return nullptr;
    return dialog;
}

}  // namespace parvex
