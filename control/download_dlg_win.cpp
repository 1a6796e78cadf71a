#include "control/download_dlg_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/settings.h"
#include "control/list_view_win.h"
#include "download/dialog_geometry.h"
#include "download/download_state.h"

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
    boxes_.SetOwner(window_);
    return true;
}

void CNDownloadDlg::Show() {
    ShowWindow(target_, SW_SHOW);
    Centre();
    SetForegroundWindow(target_);
}

bool CNDownloadDlg::Alive() const { return IsWindow(target_) != FALSE; }

void CNDownloadDlg::SendMerge(DownloadState&) { SendMessageW(target_, WM_DOWNLOAD_MERGE, 0, 0); }
void CNDownloadDlg::SendRefresh(DownloadState&) { SendMessageW(target_, WM_DOWNLOAD_REFRESH, 0, 0); }
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

LRESULT CNDownloadDlg::OnApplyTexts(UINT, WPARAM, LPARAM, BOOL&) {
    ApplyTexts();
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
    InsertListRow(GetDlgItem(target_, IDC_DN_LIST), row, name, I_IMAGENONE, false);
}

void CNDownloadDlg::SetRowStatus(int row, const std::wstring& status) {
    SetListText(GetDlgItem(target_, IDC_DN_LIST), row, 1, status);
}

void CNDownloadDlg::DeleteRow(int row) { SendMessageW(GetDlgItem(target_, IDC_DN_LIST), LVM_DELETEITEM, row, 0); }

void CNDownloadDlg::DeleteAllRows() { SendMessageW(GetDlgItem(target_, IDC_DN_LIST), LVM_DELETEALLITEMS, 0, 0); }

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

bool CNDownloadDlg::Changed(std::map<int, std::wstring>& shown, int id, const std::wstring& value) {
    std::lock_guard<std::mutex> lock(shownLock_);
    auto at = shown.find(id);
    if (at != shown.end() && at->second == value) return false;
    shown[id] = value;
    return true;
}

namespace {
// The least time between two drawings of the bars.
constexpr DWORD kBarIntervalMs = 50;
}  // namespace

void CNDownloadDlg::SetText(int id, const std::wstring& text) {
    if (!Changed(texts_, id, text)) return;
    bool post;
    {
        std::lock_guard<std::mutex> lock(shownLock_);
        post = pendingTexts_.empty();
        pendingTexts_[id] = text;
    }
    if (GetCurrentThreadId() == dialogThread_) {
        // The page's own calls show at once: its script may read the label
        // back before it returns.
        ApplyTexts();
    } else {
        // Posted: a worker that waited for the page's thread at every file's
        // start and every refresh lost the processor each time it did, and
        // on a busy machine got it back only milliseconds later.
        if (post) PostMessageW(target_, kApplyTexts, 0, 0);
    }
    // The labels change at most twice a second and at the end: a bar held
    // back by the drawing interval catches up with them.
    PostBars(DueBars(false));
}

void CNDownloadDlg::ApplyTexts() {
    std::map<int, std::wstring> texts;
    {
        // The lock is not held while the controls are told.
        std::lock_guard<std::mutex> lock(shownLock_);
        texts.swap(pendingTexts_);
    }
    for (const auto& text : texts) SetDlgItemTextW(target_, text.first, text.second.c_str());
}

void CNDownloadDlg::SetProgress(int id, int percent) {
    {
        std::lock_guard<std::mutex> lock(shownLock_);
        wantedBars_[id] = percent;
    }
    // Drawn at most every kBarIntervalMs, and at once at both ends: each
    // drawing costs the page's thread more than a block costs the worker,
    // and on two processors that thread's drawing slows the worker down.
    PostBars(DueBars(percent != 0 && percent != 100));
}

std::vector<std::pair<int, int>> CNDownloadDlg::DueBars(bool onlyAfterInterval) {
    std::lock_guard<std::mutex> lock(shownLock_);
    DWORD now = GetTickCount();
    std::vector<std::pair<int, int>> due;
    if (onlyAfterInterval && now - barsDrawnTick_ < kBarIntervalMs) return due;
    barsDrawnTick_ = now;
    for (const auto& wanted : wantedBars_) {
        auto shown = bars_.find(wanted.first);
        if (shown != bars_.end() && shown->second == wanted.second) continue;
        bars_[wanted.first] = wanted.second;
        due.push_back(wanted);
    }
    return due;
}

void CNDownloadDlg::PostBars(const std::vector<std::pair<int, int>>& bars) {
    // Posted: the worker never waits for a page thread that is busy running
    // script or painting just to move a bar.
    for (const auto& bar : bars) PostMessageW(GetDlgItem(target_, bar.first), PBM_SETPOS, bar.second, 0);
}

void CNDownloadDlg::EnableControl(int id, bool enable) { EnableWindow(GetDlgItem(target_, id), enable); }

std::shared_ptr<DownloadDialog> DownloadDialogFactoryWin::Create(DownloadState& state) {
    auto dialog = std::make_shared<CNDownloadDlg>(state);
    if (!dialog->Create()) return nullptr;
    return dialog;
}

}  // namespace parvex
