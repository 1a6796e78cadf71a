// CNDownloadDlg (template 206): the modeless download dialog. Every rule is
// the queue's (DownloadState); the dialog shows what the queue and the worker
// tell it through DownloadView and turns the buttons into the queue's calls.
// It lives on the thread that called DownloadStart; the worker and the
// session watcher reach it through its PostedChanges only: labels, bars and
// row statuses posted, everything else as blocking requests.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "control/dialog_win.h"
#include "control/list_view_win.h"
#include "control/posted_changes_win.h"
#include "control/tray_icon_win.h"
#include "control/window_message_box_win.h"
#include "download/download_view.h"
#include "resources/resource.h"

namespace parvex {

class DownloadDialogCalls;

// Posted to itself: the rows changed while drawing was held are drawn.
constexpr UINT WM_DOWNLOAD_DRAW_ROWS = WM_USER + 5;

class CNDownloadDlg : public DialogImpl<CNDownloadDlg>, public DownloadDialog, public DownloadView {
public:
    enum { Template = IDD_DOWNLOAD };
    explicit CNDownloadDlg(DownloadDialogCalls& state) : state_(state) {}
    ~CNDownloadDlg() override;
    // The window, without parent and not yet shown; false when it could not
    // be made.
    bool Create();

    // DownloadDialog: blocking requests to the dialog's thread.
    DownloadView& View() override { return *this; }
    void Show() override;
    bool Alive() const override;
    void SendMerge(DownloadDialogCalls& state) override;
    void SendRefresh(DownloadDialogCalls& state) override;
    void SendClose() override;

    // DownloadView: on the dialog's thread each call tells the control at
    // once; from another thread labels, bars and row statuses are
    // posted, the rest are blocking requests.
    void SetCaption(const std::wstring& text) override;
    void InsertRow(int row, const std::wstring& name) override;
    void SetRowStatus(int row, const std::wstring& status) override;
    void DeleteRow(int row) override;
    void DeleteAllRows() override;
    std::vector<int> SelectedRows() override;
    void SetColumnWidths(int nameWidth, int statusWidth) override;
    void SetText(int id, const std::wstring& text) override;
    void SetProgress(int id, int percent) override;
    void EnableControl(int id, bool enable) override;
    MessageBoxHost& Messages() override { return boxes_; }

    PARVEX_BEGIN_MSG_MAP(CNDownloadDlg)
        PARVEX_MSG_WM_INITDIALOG(OnInitDialog)
        PARVEX_COMMAND_ID_HANDLER(IDC_DN_START, OnStart)
        PARVEX_COMMAND_ID_HANDLER(IDC_DN_CANCEL, OnCancel)
        PARVEX_COMMAND_ID_HANDLER(IDC_DN_DELETE, OnDelete)
        PARVEX_COMMAND_ID_HANDLER(IDC_DN_OPEN_FOLDER, OnOpenFolder)
        PARVEX_COMMAND_ID_HANDLER(IDC_DN_CHANGE_FOLDER, OnChangeFolder)
        // Enter and Escape neither close nor hide the dialog: closing goes
        // through the cancel/close button and the close box only.
        PARVEX_COMMAND_IGNORE(IDOK)
        PARVEX_COMMAND_IGNORE(IDCANCEL)
        PARVEX_MSG_WM_SYSCOMMAND(OnSysCommand)
        PARVEX_MSG_WM_CLOSE(OnCancel)
        PARVEX_MSG_WM_SIZE(Centre)
        PARVEX_MSG_TRAY_CALLBACK(WM_TRAY_CALLBACK, OnTrayCallback)
        PARVEX_MSG_SIGNAL(WM_DOWNLOAD_DRAW_ROWS, OnDrawRows)
        PARVEX_POSTED_CHANGES(kApplyChanges, kRequest, changes_)
        PARVEX_MSG_WM_DESTROY(OnDestroy)
    PARVEX_END_MSG_MAP()

private:
    // Posted by the worker: its changes wait in changes_.
    static constexpr UINT kApplyChanges = WM_APP + 1;
    // Sent by the worker and the watcher: a blocking request.
    static constexpr UINT kRequest = WM_APP + 2;

    bool OnInitDialog();
    void OnStart();
    void OnCancel();
    void OnDelete();
    void OnOpenFolder();
    void OnChangeFolder();
    bool OnSysCommand(UINT command);
    void OnTrayCallback(UINT iconId, UINT mouseMessage);
    void OnDrawRows();
    void OnDestroy();

    ListView List() const { return ListView(GetDlgItem(target_, IDC_DN_LIST)); }
    bool OnDialogThread() const { return GetCurrentThreadId() == dialogThread_; }
    // Called before rows are added or removed: on the dialog's thread the
    // list stops drawing until that thread is back in its message loop.
    void HoldRowDrawing();
    void Centre();

    DownloadDialogCalls& state_;
    // Everything another thread changes in the dialog.
    PostedChanges changes_;
    // Written once by Create on the dialog's thread before any other thread
    // knows the dialog; read by all.
    HWND target_ = nullptr;
    DWORD dialogThread_ = 0;
    // The list's drawing is held until WM_DOWNLOAD_DRAW_ROWS comes. Dialog's
    // thread only.
    bool rowDrawingHeld_ = false;
    // The boxes are asked on the calling thread; a worker's box comes once
    // the dialog shows what the worker changed before it asked.
    class BoxesAfterChanges : public MessageBoxHost {
    public:
        BoxesAfterChanges(PostedChanges& changes, WindowMessageBox& boxes) : changes_(changes), boxes_(boxes) {}
        MessageAnswer Show(const std::wstring& text, const std::wstring& caption, unsigned style) override;

    private:
        PostedChanges& changes_;
        WindowMessageBox& boxes_;
    };
    WindowMessageBox ownedBoxes_;
    BoxesAfterChanges boxes_{changes_, ownedBoxes_};
    TrayIcon tray_;  // dialog's thread only
};

// Makes CNDownloadDlg for the queue's DownloadStart.
class DownloadDialogFactoryWin : public DownloadDialogFactory {
public:
    std::shared_ptr<DownloadDialog> Create(DownloadDialogCalls& state) override;
};

}  // namespace parvex
