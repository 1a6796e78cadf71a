#include "control/upload_progress_dlg_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "control/list_view_win.h"
#include "control/system_image_list_win.h"
#include "uploadlist/upload_list.h"

namespace parvex {

static_assert(IDC_UP_FILE_NAME == IdcUpFileName && IDC_UP_FILE_BAR == IdcUpFileBar && IDC_UP_RUN_BAR == IdcUpRunBar &&
                  IDC_UP_SPEED == IdcUpSpeed && IDC_UP_FILE_SIZE == IdcUpFileSize &&
                  IDC_UP_FILE_SENT == IdcUpFileSent && IDC_UP_RUN_TOTAL == IdcUpRunTotal &&
                  IDC_UP_RUN_SENT == IdcUpRunSent && IDC_UP_TIME_LEFT == IdcUpTimeLeft,
              "the worker writes to the template's controls");

namespace {

const wchar_t kCancelling[] = L"* 업로드 취소중입니다.";

BOOL CALLBACK CloseThreadWindow(HWND window, LPARAM) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

}  // namespace

CUploadProgressDlg::CUploadProgressDlg(UploadSession& session, CUploadProgress& run, const std::wstring& caption)
    : session_(session), run_(run), caption_(caption),
      statuses_(run.runEntries.size(), kRowUploadWaiting) {}

CUploadProgressDlg::~CUploadProgressDlg() {
    WaitForWorker();
}

void CUploadProgressDlg::Run(HWND owner) {
    // The page's window takes no input while the run goes on.
    bool ownerEnabled = owner && IsWindowEnabled(owner);
    if (!CreateModeless(owner)) {
        // Without its window the run still happens, unseen.
        BeginUploadRun(session_, run_);
        StartWorker();
        ended_ = true;
    } else {
        if (ownerEnabled) EnableWindow(owner, FALSE);
        ShowWindow(window_, SW_SHOW);
        PaintBeforeTransfer();
        StartWorker();
    }
    bool quit = false;
    WPARAM quitCode = 0;
    while (!ended_) {
        MSG msg;
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            // The thread is asked to end: the run is cancelled, and the
            // request goes on to the outer loop afterwards.
            quit = true;
            quitCode = msg.wParam;
            run_.signals.Raise(RunSignals::Cancel);
            continue;
        }
        if (SwallowKey(msg) || (window_ && IsDialogMessageW(window_, &msg))) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // Enabled again before the dialog goes, so that the page gets the
    // activation back.
    if (ownerEnabled) EnableWindow(owner, TRUE);
    if (window_) DestroyWindow(window_);
    WaitForWorker();
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

bool CUploadProgressDlg::SwallowKey(const MSG& msg) const {
    return msg.message == WM_KEYDOWN && window_ && (msg.hwnd == window_ || IsChild(window_, msg.hwnd));
}

bool CUploadProgressDlg::OnInitDialog() {
    SetWindowTextW(window_, caption_.c_str());
    BeginUploadRun(session_, run_);
    FillList();
    SetItemText(IDC_UP_STATUS, run_.statusText);
    for (int bar : {IDC_UP_FILE_BAR, IDC_UP_RUN_BAR}) SetBarRange(Item(bar), 0, 100);
    changes_.SetTarget(window_, Item(IDC_UP_LIST), kApplyPending, kRequest);
    return true;
}

void CUploadProgressDlg::FillList() {
    ListView list(Item(IDC_UP_LIST));
    // The system list is shared with the upload list window: never destroyed
    // with this list view.
    SetWindowLongPtrW(list.Handle(), GWL_STYLE, GetWindowLongPtrW(list.Handle(), GWL_STYLE) | LVS_SHAREIMAGELISTS);
    list.SetSmallImages(SystemImageList());
    list.AddColumn(0, L"파일명", LVCFMT_LEFT, 320);
    list.AddColumn(1, L"상 태", LVCFMT_CENTER, 70);
    list.SetExtendedStyle(0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (size_t i = 0; i < run_.runEntries.size(); ++i) {
        const UploadEntry& entry = *run_.runEntries[i];
        // Files already on the server have no local path to ask the shell
        // about: they show the picture the list window gives them.
        SHFILEINFOW info = {};
        if (entry.kind == KindOnServer)
            info.iIcon = kOnServerImage;
        else
            SHGetFileInfoW(entry.localPath.c_str(), 0, &info, sizeof info,
                           SHGFI_SYSICONINDEX | SHGFI_ATTRIBUTES | SHGFI_TYPENAME);
        list.InsertRow(static_cast<int>(i), entry.fileName, info.iIcon, (info.dwAttributes & SFGAO_GHOSTED) != 0);
        list.SetText(static_cast<int>(i), 1, kRowUploadWaiting);
    }
}

void CUploadProgressDlg::StartWorker() {
    worker_ = CreateThread(nullptr, 0, WorkerProc, this, 0, &workerId_);
    // A worker that cannot start leaves nothing to wait for.
    if (!worker_) Close();
}

DWORD WINAPI CUploadProgressDlg::WorkerProc(void* param) {
    auto* self = static_cast<CUploadProgressDlg*>(param);
    UploadWorker(self->session_, self->run_, *self);
    return 0;
}

void CUploadProgressDlg::WaitForWorker() {
    if (!worker_) return;
    // The worker's last messages to this thread's windows must still get
    // through while it is waited for.
    while (MsgWaitForMultipleObjects(1, &worker_, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(worker_);
    worker_ = nullptr;
}

void CUploadProgressDlg::CloseWorkerWindows() {
    if (worker_) EnumThreadWindows(workerId_, CloseThreadWindow, 0);
}

bool CUploadProgressDlg::OnSysCommand(UINT command) {
    // The close box only asks: the worker ends the run at its next block.
    if (command != SC_CLOSE) return false;
    run_.signals.Raise(RunSignals::Cancel);
    return true;
}

void CUploadProgressDlg::OnCancel() {
    run_.signals.Raise(RunSignals::Cancel);
    SetItemText(IDC_UP_STATUS, kCancelling);
}

// Anyone but the worker asking the dialog to close asks to stop the run: the
// dialog never goes while the worker still needs it.
void CUploadProgressDlg::OnClose() { run_.signals.Raise(RunSignals::Cancel); }

// The worker's last changes, recorded before it asked, are shown by then.
void CUploadProgressDlg::EndRun() {
    ended_ = true;
    // Asked from the worker: wake the loop, which is waiting for a posted
    // message.
    PostMessageW(window_, WM_NULL, 0, 0);
}

void CUploadProgressDlg::OnDestroy() {
    if (ended_) return;
    // Destroyed with its owner while the run goes on: the page is gone.
    run_.signals.Raise(RunSignals::Cancel | RunSignals::Abandon);
    CloseWorkerWindows();
    ended_ = true;
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void CUploadProgressDlg::SetText(int controlId, const std::wstring& text) { changes_.SetText(controlId, text); }

void CUploadProgressDlg::ResetBar(int controlId) {
    // Both bars keep the range 0..100 that the initialisation gave them.
    changes_.SetBar(controlId, 0);
}

void CUploadProgressDlg::SetBar(int controlId, int position) { changes_.SetBar(controlId, position); }

void CUploadProgressDlg::SetRowStatus(int row, const std::wstring& status) {
    if (row < 0 || static_cast<size_t>(row) >= statuses_.size() || statuses_[row] == status) return;
    statuses_[row] = status;
    changes_.SetRow(row, status);
}

void CUploadProgressDlg::Close() {
    changes_.Call([this] { EndRun(); });
}

}  // namespace parvex
