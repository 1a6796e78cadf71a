// The progress dialog of one upload run (template 205): it shows the run
// state a CUploadProgress holds, starts the worker once it is drawn and turns
// the user's wish to stop into the run's cancel flag. The worker writes to it
// through UploadProgressView: its texts, statuses and bars are posted, its
// close is a blocking request (PostedChanges).
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "control/dialog_win.h"
#include "control/posted_changes_win.h"
#include "resources/resource.h"
#include "upload/upload_progress.h"

namespace parvex {

class CUploadProgressDlg : public DialogImpl<CUploadProgressDlg>, public UploadProgressView {
public:
    enum { Template = IDD_UPLOAD_PROGRESS };
    CUploadProgressDlg(UploadSession& session, CUploadProgress& run, const std::wstring& caption);
    ~CUploadProgressDlg() override;

    // Shows the dialog owned by owner (disabled meanwhile) and returns once
    // the worker has closed it and ended. Keys do nothing while it is up.
    void Run(HWND owner);
    // The page went (the run's Cancel and Abandon are raised): any open
    // question of the worker is closed.
    void CloseWorkerWindows();

    // UploadProgressView, called from the worker thread.
    void SetText(int controlId, const std::wstring& text) override;
    void ResetBar(int controlId) override;
    void SetBar(int controlId, int position) override;
    void SetRowStatus(int row, const std::wstring& status) override;
    void Close() override;

    PARVEX_BEGIN_MSG_MAP(CUploadProgressDlg)
        PARVEX_MSG_WM_INITDIALOG(OnInitDialog)
        PARVEX_MSG_WM_SYSCOMMAND(OnSysCommand)
        PARVEX_MSG_WM_CLOSE(OnClose)
        PARVEX_MSG_WM_DESTROY(OnDestroy)
        PARVEX_POSTED_CHANGES(kApplyPending, kRequest, changes_)
        PARVEX_COMMAND_ID_HANDLER(IDC_UP_CANCEL, OnCancel)
        // Neither Enter nor Escape ends the run.
        PARVEX_COMMAND_IGNORE(IDOK)
        PARVEX_COMMAND_IGNORE(IDCANCEL)
        PARVEX_COMMAND_IGNORE(IDC_UP_FILE_SIZE)
        PARVEX_COMMAND_IGNORE(IDC_UP_RUN_SENT)
    PARVEX_END_MSG_MAP()

private:
    // Posted by the worker: its changes wait in changes_.
    static constexpr UINT kApplyPending = WM_APP + 1;
    // Sent by the worker: a blocking request.
    static constexpr UINT kRequest = WM_APP + 2;

    bool OnInitDialog();
    bool OnSysCommand(UINT command);
    void OnClose();
    void OnDestroy();
    void OnCancel();
    // The worker's last request.
    void EndRun();

    bool SwallowKey(const MSG& msg) const;
    void FillList();
    void StartWorker();
    void WaitForWorker();
    static DWORD WINAPI WorkerProc(void* self);

    UploadSession& session_;
    CUploadProgress& run_;
    std::wstring caption_;

    // Page's thread only.
    bool ended_ = false;
    // Written by the page's thread before the worker starts, read by both.
    HANDLE worker_ = nullptr;
    DWORD workerId_ = 0;
    // Worker thread only: the row statuses shown, so that none is sent twice.
    std::vector<std::wstring> statuses_;
    // Labels, statuses and bars on their way from the worker to the page's
    // thread, and the worker's request to end the run.
    PostedChanges changes_;
};

}  // namespace parvex
