// CNDownloadDlg (template 206): the modeless download dialog. Every rule is
// the queue's (DownloadState); the dialog shows what the queue and the worker
// tell it through DownloadView and turns the buttons into the queue's calls.
// It lives on the thread that called DownloadStart; the worker and the
// session watcher reach it through synchronous messages, except for the
// labels and bars, which the worker posts.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "control/dialog_win.h"
#include "control/tray_icon_win.h"
#include "control/window_message_box_win.h"
#include "download/download_view.h"
#include "resources/resource.h"

namespace parvex {

class DownloadState;

// The dialog's private messages.
constexpr UINT WM_DOWNLOAD_MERGE = WM_USER + 2;
constexpr UINT WM_DOWNLOAD_CLOSE = WM_USER + 3;
constexpr UINT WM_DOWNLOAD_REFRESH = WM_USER + 4;

class CNDownloadDlg : public DialogImpl<CNDownloadDlg>, public DownloadDialog, public DownloadView {
public:
    enum { Template = IDD_DOWNLOAD };
    explicit CNDownloadDlg(DownloadState& state) : state_(state) {}
    ~CNDownloadDlg() override;
    // The window, without parent and not yet shown; false when it could not
    // be made.
    bool Create();

    // DownloadDialog: the private messages, sent to the dialog's thread.
    DownloadView& View() override { return *this; }
    void Show() override;
    bool Alive() const override;
    void SendMerge(DownloadState& state) override;
    void SendRefresh(DownloadState& state) override;
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
        PARVEX_MESSAGE_HANDLER(kApplyTexts, OnApplyTexts)
        PARVEX_MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    PARVEX_END_MSG_MAP()

private:
    // Posted by the worker: label texts wait in pendingTexts_.
    static constexpr UINT kApplyTexts = WM_APP + 1;

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
    LRESULT OnApplyTexts(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&);

    HWND List() const { return Item(IDC_DN_LIST); }
    // True when the value differs from what the control shows; records it.
    bool Changed(std::map<int, std::wstring>& shown, int id, const std::wstring& value);
    // The bars whose wanted position differs from the shown one, recorded as
    // shown; none while onlyAfterInterval and the last drawing is recent.
    std::vector<std::pair<int, int>> DueBars(bool onlyAfterInterval);
    void PostBars(const std::vector<std::pair<int, int>>& bars);
    // Shows the labels the worker has changed since the last time.
    void ApplyTexts();
    void Centre();

    DownloadState& state_;
    // Written once by Create on the dialog's thread before any other thread
    // knows the dialog; read by all.
    HWND target_ = nullptr;
    DWORD dialogThread_ = 0;
    WindowMessageBox boxes_;
    TrayIcon tray_;  // dialog's thread only
    // What the labels and bars show, so that a block's update sends only
    // what changed. Written by whichever thread updates, under shownLock_.
    std::mutex shownLock_;
    std::map<int, std::wstring> texts_;
    std::map<int, int> bars_;
    std::map<int, int> wantedBars_;  // the latest position asked for
    DWORD barsDrawnTick_ = 0;
    // Labels changed on another thread and not shown yet, by control.
    std::map<int, std::wstring> pendingTexts_;
};

// Makes CNDownloadDlg for the queue's DownloadStart.
class DownloadDialogFactoryWin : public DownloadDialogFactory {
public:
    std::shared_ptr<DownloadDialog> Create(DownloadState& state) override;
};

}  // namespace parvex
