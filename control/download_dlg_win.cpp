#include "control/download_dlg_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/settings.h"
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
    // Normally gone already (SendClose); destroyed on its own thread either
    // way.
    if (target_ && IsWindow(target_)) SendClose();
}

bool CNDownloadDlg::Create() {
    if (!CreateModeless(nullptr)) return false;
    target_ = window_;
    dialogThread_ = GetCurrentThreadId();
    changes_.SetTarget(window_, Item(IDC_DN_LIST), kApplyChanges, kRequest);
    ownedBoxes_.SetOwner(window_);
    return true;
}

void CNDownloadDlg::Show() {
    ShowWindow(target_, SW_SHOW);
    Centre();
    SetForegroundWindow(target_);
}

bool CNDownloadDlg::Alive() const { return IsWindow(target_) != FALSE; }

void CNDownloadDlg::SendMerge(DownloadDialogCalls&) {
    changes_.Call([this] { state_.MergePendingEntries(*this, this); });
}

void CNDownloadDlg::SendRefresh(DownloadDialogCalls&) {
    changes_.Call([this] { state_.ShowAddedEntries(*this, this); });
}

void CNDownloadDlg::SendClose() {
    changes_.Call([this] { DestroyWindow(target_); });
}

bool CNDownloadDlg::OnInitDialog() {
    ListView list(Item(IDC_DN_LIST));
    // Each column is sized as the last one when it comes: the name column
    // takes the list's width, the status column what its heading needs.
    list.AddColumn(0, L"파일명", LVCFMT_LEFT, 0);
    list.SetColumnWidth(0, LVSCW_AUTOSIZE_USEHEADER);
    list.AddColumn(1, L"상 태", LVCFMT_CENTER, 0);
    list.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER);
    list.SetExtendedStyle(0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    for (int bar : {IDC_DN_FILE_BAR, IDC_DN_RUN_BAR}) SetBarRange(Item(bar), 0, 100);
    return true;
}

void CNDownloadDlg::OnStart() {
    PaintBeforeTransfer();
    state_.StartRun(this);
}

// The cancel/close button, the close box and WM_CLOSE alike.
void CNDownloadDlg::OnCancel() { state_.CancelOrClose(this); }

void CNDownloadDlg::OnDelete() { state_.DeleteButton(*this, this); }

void CNDownloadDlg::OnOpenFolder() {
    std::wstring folder = state_.SaveFolder();
    ShellExecuteW(window_, L"explore", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CNDownloadDlg::OnChangeFolder() { state_.ChangeFolder(*this); }

bool CNDownloadDlg::OnSysCommand(UINT command) {
    if (command == SC_MINIMIZE)
        tray_.MinimizeToTray(window_, Settings().downloadTitle);
    else if (command == SC_CLOSE)
        OnCancel();
    else
        return false;
    return true;
}

void CNDownloadDlg::Centre() {
    RECT work, window;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(window_, &window);
    ScreenPoint at = CentredOrigin(ScreenRect{work.left, work.top, work.right, work.bottom},
                                   window.right - window.left, window.bottom - window.top);
    SetWindowPos(window_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CNDownloadDlg::OnTrayCallback(UINT iconId, UINT mouseMessage) {
    // Right clicks and the context menu do nothing.
    if (iconId == kTrayIconId && mouseMessage == WM_LBUTTONDOWN) tray_.RestoreFromTray(window_);
}

// Each row the list adds or removes while it draws costs a new layout, its
// scroll bar drawn and the rows below moved: thousands of files queued one
// call at a time would cost more with each row. Rows changed within one run
// of the page's script (or one merge, or one delete) are drawn together once
// the thread is back in its message loop.
void CNDownloadDlg::HoldRowDrawing() {
    if (rowDrawingHeld_ || !OnDialogThread()) return;
    rowDrawingHeld_ = true;
    List().SetRedraw(false);
    PostMessageW(target_, WM_DOWNLOAD_DRAW_ROWS, 0, 0);
}

void CNDownloadDlg::OnDrawRows() {
    rowDrawingHeld_ = false;
    ListView list = List();
    list.SetRedraw(true);
    InvalidateRect(list.Handle(), nullptr, TRUE);
}

void CNDownloadDlg::OnDestroy() {
    tray_.Remove();
    // Whoever destroys the window (its close, the end of its thread, the
    // process going away) ends the session with it.
    state_.DialogDestroyed(*this);
}

void CNDownloadDlg::SetCaption(const std::wstring& text) {
    changes_.Call([&] { SetWindowTextW(target_, text.c_str()); });
}

void CNDownloadDlg::InsertRow(int row, const std::wstring& name) {
    changes_.Call([&] {
        HoldRowDrawing();
        List().InsertRow(row, name, I_IMAGENONE, false);
    });
}

void CNDownloadDlg::SetRowStatus(int row, const std::wstring& status) {
    if (!OnDialogThread()) return changes_.SetRow(row, status);
    changes_.Apply();
    List().SetText(row, 1, status);
}

void CNDownloadDlg::DeleteRow(int row) {
    changes_.Call([&] {
        HoldRowDrawing();
        List().DeleteRow(row);
    });
}

void CNDownloadDlg::DeleteAllRows() {
    changes_.Call([&] {
        HoldRowDrawing();
        List().DeleteAllRows();
    });
}

std::vector<int> CNDownloadDlg::SelectedRows() {
    return changes_.Ask<std::vector<int>>([this] { return List().SelectedRows(); }, {});
}

void CNDownloadDlg::SetColumnWidths(int nameWidth, int statusWidth) {
    changes_.Call([&] {
        ListView list = List();
        list.SetColumnWidth(0, nameWidth);
        list.SetColumnWidth(1, statusWidth);
    });
}

void CNDownloadDlg::SetText(int id, const std::wstring& text) {
    changes_.SetText(id, text);
    // The page's own calls show at once: its script may read the label back
    // before it returns. The worker's are posted: a worker that waited for
    // the page's thread at every file's start and every refresh lost the
    // processor each time it did, and on a busy machine got it back only
    // milliseconds later.
    if (OnDialogThread()) changes_.Apply();
}

void CNDownloadDlg::SetProgress(int id, int percent) { changes_.SetBar(id, percent); }

void CNDownloadDlg::EnableControl(int id, bool enable) {
    changes_.Call([&] { EnableWindow(GetDlgItem(target_, id), enable); });
}

MessageAnswer CNDownloadDlg::BoxesAfterChanges::Show(const std::wstring& text, const std::wstring& caption, unsigned style) {
    changes_.Call([] {});
    return boxes_.Show(text, caption, style);
}

std::shared_ptr<DownloadDialog> DownloadDialogFactoryWin::Create(DownloadDialogCalls& state) {
    auto dialog = std::make_shared<CNDownloadDlg>(state);
    if (!dialog->Create()) return nullptr;
    return dialog;
}

}  // namespace parvex
