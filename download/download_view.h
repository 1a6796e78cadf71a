// The download dialog as the queue and the worker see it: list rows, labels,
// bars and buttons by control id, and the dialog's message boxes. The Windows
// dialog takes each call to its thread (labels, bars and row statuses
// posted, the rest as blocking requests); the command line prints.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "common/message_box.h"
#include "common/row_status.h"

namespace parvex {

class DownloadDialogCalls;

enum DownloadControlId : int {
    IdcDnSpeedLabel = 208,
    IdcDnSaveFolderEdit = 214,
    IdcDnChangeFolderButton = 216,
    IdcDnFileList = 219,
    IdcDnFileProgress = 220,
    IdcDnFileNameLabel = 222,
    IdcDnTotalSizeLabel = 224,
    IdcDnFileSizeLabel = 225,
    IdcDnTotalProgress = 226,
    IdcDnCancelButton = 227,
    IdcDnStartButton = 228,
    IdcDnDoneBytesLabel = 229,
    IdcDnFileBytesLabel = 230,
    IdcDnDeleteButton = 245,
    IdcDnTimeLeftLabel = 260,
    IdcDnOpenFolderButton = 266,
};

// A progress bar's position: part of whole in percent, 0 to 100; 0 when
// either is not a usable number.
int ProgressPercent(double part, double whole);

class DownloadView {
public:
    virtual ~DownloadView() = default;
    virtual void SetCaption(const std::wstring& text) = 0;
    // A row with the name in column 0 and an empty column 1.
    virtual void InsertRow(int row, const std::wstring& name) = 0;
    virtual void SetRowStatus(int row, const std::wstring& status) = 0;
    virtual void DeleteRow(int row) = 0;
    virtual void DeleteAllRows() = 0;
    // Selected rows in ascending order.
    virtual std::vector<int> SelectedRows() = 0;
    virtual void SetColumnWidths(int nameWidth, int statusWidth) = 0;
    // Labels, the save-folder edit and button captions.
    virtual void SetText(int id, const std::wstring& text) = 0;
    // Progress bars; the range is always 0 to 100.
    virtual void SetProgress(int id, int percent) = 0;
    virtual void EnableControl(int id, bool enable) = 0;
    // Message boxes owned by the dialog.
    virtual MessageBoxHost& Messages() = 0;
};

// The open download dialog. Each Send* call runs on the dialog's own thread
// and returns when done. The defaults run them on the calling thread, which
// is what a dialog without a message loop of its own wants.
class DownloadDialog {
public:
    virtual ~DownloadDialog() = default;
    virtual DownloadView& View() = 0;
    // Shown after the state has filled it.
    virtual void Show() {}
    // False once the window is gone, whoever destroyed it (its thread may
    // have ended without telling anyone). Any thread.
    virtual bool Alive() const { return true; }
    // The entries added meanwhile get their rows (MergePendingEntries).
    virtual void SendMerge(DownloadDialogCalls& state);
    // Rows for what was added to the idle dialog (ShowAddedEntries).
    virtual void SendRefresh(DownloadDialogCalls& state);
    // The window goes.
    virtual void SendClose() {}
};

class DownloadDialogFactory {
public:
    virtual ~DownloadDialogFactory() = default;
    // Creates the dialog's window (template 206, no parent); null on failure.
    virtual std::shared_ptr<DownloadDialog> Create(DownloadDialogCalls& state) = 0;
};

}  // namespace parvex
