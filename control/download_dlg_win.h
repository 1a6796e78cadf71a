// CNDownloadDlg (template 206): the modeless download dialog. Every rule is
// the queue's (DownloadState); the dialog shows what the queue and the worker
// tell it through DownloadView and turns the buttons into the queue's calls.
// It lives on the thread that called DownloadStart; the worker and the
// session watcher reach it through synchronous messages, except for the
// labels and bars, which the worker posts.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "control/dialog_win.h"
#include "control/posted_changes_win.h"
#include "control/tray_icon_win.h"
#include "control/window_message_box_win.h"
#include "download/download_view.h"
#include "resources/resource.h"

namespace parvex {

class DownloadDialogCalls;

// The dialog's private messages.
constexpr UINT WM_DOWNLOAD_MERGE = WM_USER + 2;
constexpr UINT WM_DOWNLOAD_CLOSE = WM_USER + 3;
constexpr UINT WM_DOWNLOAD_REFRESH = WM_USER + 4;
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

    // DownloadDialog: the private messages, sent to the dialog's thread.
    DownloadView& View() override { return *this; }
    void Show() override;
    bool Alive() const override;
    void SendMerge(DownloadDialogCalls& state) override;
    void SendRefresh(DownloadDialogCalls& state) override;
    void SendClose() override;

    // DownloadView: each call one synchronous message to a control; labels
    // and bars changed by another thread are posted.
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
        PARVEX_MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        PARVEX_COMMAND_ID_HANDLER(IDC_DN_START, OnStart)
        PARVEX_COMMAND_ID_HANDLER(IDC_DN_CANCEL, OnCancel)
        PARVEX_COMMAND_ID_HANDLER(IDC_DN_DELETE, OnDelete)
        PARVEX_COMMAND_ID_HANDLER(IDC_DN_OPEN_FOLDER, OnOpenFolder)
        PARVEX_COMMAND_ID_HANDLER(IDC_DN_CHANGE_FOLDER, OnChangeFolder)
        // Enter and Escape neither close nor hide the dialog: closing goes
        // through the cancel/close button and the close box only.
        PARVEX_COMMAND_ID_HANDLER(IDOK, OnIgnore)
        PARVEX_COMMAND_ID_HANDLER(IDCANCEL, OnIgnore)
        PARVEX_MESSAGE_HANDLER(WM_SYSCOMMAND, OnSysCommand)
        PARVEX_MESSAGE_HANDLER(WM_CLOSE, OnClose)
        PARVEX_MESSAGE_HANDLER(WM_SIZE, OnSize)
        PARVEX_MESSAGE_HANDLER(WM_TRAY_CALLBACK, OnTrayCallback)
        PARVEX_MESSAGE_HANDLER(WM_DOWNLOAD_MERGE, OnMerge)
        PARVEX_MESSAGE_HANDLER(WM_DOWNLOAD_CLOSE, OnDownloadClose)
        PARVEX_MESSAGE_HANDLER(WM_DOWNLOAD_REFRESH, OnRefresh)
        PARVEX_MESSAGE_HANDLER(WM_DOWNLOAD_DRAW_ROWS, OnDrawRows)
        PARVEX_MESSAGE_HANDLER(kApplyChanges, OnApplyChanges)
        PARVEX_MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    PARVEX_END_MSG_MAP()

private:
    // Posted by the worker: its changes wait in changes_.
    static constexpr UINT kApplyChanges = WM_APP + 1;

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnStart(WORD, WORD, HWND, BOOL&);
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&);
    LRESULT OnDelete(WORD, WORD, HWND, BOOL&);
    LRESULT OnOpenFolder(WORD, WORD, HWND, BOOL&);
    LRESULT OnChangeFolder(WORD, WORD, HWND, BOOL&);
    LRESULT OnIgnore(WORD, WORD, HWND, BOOL&) { return 0; }
    LRESULT OnSysCommand(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnTrayCallback(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnMerge(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnDownloadClose(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnRefresh(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnDrawRows(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnApplyChanges(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&);

    HWND List() const { return Item(IDC_DN_LIST); }
    // Called before rows are added or removed: on the dialog's thread the
    // list stops drawing until that thread is back in its message loop.
    void HoldRowDrawing();
    void Centre();

    DownloadDialogCalls& state_;
    // Written once by Create on the dialog's thread before any other thread
    // knows the dialog; read by all.
    HWND target_ = nullptr;
    DWORD dialogThread_ = 0;
    // The list's drawing is held until WM_DOWNLOAD_DRAW_ROWS comes. Dialog's
    // thread only.
    bool rowDrawingHeld_ = false;
    WindowMessageBox boxes_;
    TrayIcon tray_;  // dialog's thread only
    // Labels and bars: the page's thread shows its own changes at once, the
    // worker's are posted.
    PostedChanges changes_;
};

// Makes CNDownloadDlg for the queue's DownloadStart.
class DownloadDialogFactoryWin : public DownloadDialogFactory {
public:
    std::shared_ptr<DownloadDialog> Create(DownloadDialogCalls& state) override;
};

}  // namespace parvex
