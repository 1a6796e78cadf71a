// The progress dialog of one upload run (template 205): it shows the run
// state a CUploadProgress holds, starts the worker once it is drawn and turns
// the user's wish to stop into the run's cancel flag. The worker writes to it
// through UploadProgressView; its texts, statuses and bars are posted.
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
        PARVEX_MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        PARVEX_MESSAGE_HANDLER(WM_SYSCOMMAND, OnSysCommand)
        PARVEX_MESSAGE_HANDLER(WM_CLOSE, OnClose)
        PARVEX_MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
        PARVEX_MESSAGE_HANDLER(kApplyPending, OnApplyPending)
        PARVEX_COMMAND_ID_HANDLER(IDC_UP_CANCEL, OnCancel)
        // Neither Enter nor Escape ends the run.
        PARVEX_COMMAND_ID_HANDLER(IDOK, OnIgnore)
        PARVEX_COMMAND_ID_HANDLER(IDCANCEL, OnIgnore)
        PARVEX_COMMAND_ID_HANDLER(IDC_UP_FILE_SIZE, OnIgnore)
        PARVEX_COMMAND_ID_HANDLER(IDC_UP_RUN_SENT, OnIgnore)
    PARVEX_END_MSG_MAP()

private:
    // Posted by the worker: its changes wait in changes_.
    static constexpr UINT kApplyPending = WM_APP + 1;

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnSysCommand(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&);
    LRESULT OnApplyPending(UINT, WPARAM, LPARAM, BOOL&) {
        ApplyPending();
        return 0;
    }
    LRESULT OnIgnore(WORD, WORD, HWND, BOOL&) { return 0; }

    bool SwallowKey(const MSG& msg) const;
    void FillList();
    void StartWorker();
    void ApplyPending();
    void WaitForWorker();
    static DWORD WINAPI WorkerProc(void* self);

    UploadSession& session_;
    CUploadProgress& run_;
    std::wstring caption_;

    // Page's thread only.
    bool ended_ = false;
    // Set by the worker as its last act, before it asks the dialog to close.
    std::atomic<bool> closedByWorker_{false};
    // Written by the page's thread before the worker starts, read by both.
    HWND target_ = nullptr;
    HANDLE worker_ = nullptr;
    DWORD workerId_ = 0;
    // Worker thread only: the row statuses shown, so that none is sent twice.
    std::vector<std::wstring> statuses_;
    // Labels, statuses and bars on their way from the worker to the page's
    // thread.
    PostedChanges changes_;
};

}  // namespace parvex
