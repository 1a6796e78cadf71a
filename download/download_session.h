// One download dialog's session: its phase, its signals and what its worker
// keeps; and what each thread may call on the queue around it. The page, the
// dialog and the worker each see a narrow interface of their own; the queue
// (DownloadState) implements all three, and the engine that runs a run is
// handed to the queue rather than known by it.
#pragma once
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "common/clock.h"
#include "common/file_system.h"
#include "common/message_box.h"
#include "common/run_signals.h"
#include "common/socket.h"
#include "common/thread_end.h"
#include "common/url.h"
#include "download_entry.h"
#include "download_view.h"
#include "resume_rules.h"
#include "same_file.h"

namespace parvex {

// The life of a session. Changed only by DownloadSession::Enter, under the
// queue's lock; each change is one trace line.
enum class SessionPhase {
    Open,       // the dialog is up, no run: additions become rows, the close box closes
    Running,    // start was pressed: the worker fetches; additions wait to be merged
    Finishing,  // nothing waits to be merged: the worker shows the run's end
    Closing,    // the watcher ends the session: its worker is gone, no run starts
    Ended,      // the lists are emptied and the queue is free for the next dialog
};
const wchar_t* PhaseName(SessionPhase phase);

class DownloadSession {
public:
    DownloadSession(std::shared_ptr<DownloadDialog> dialog, const DownloadHostParts& server, std::wstring cookie);
    DownloadSession(const DownloadSession&) = delete;
    DownloadSession& operator=(const DownloadSession&) = delete;
    ~DownloadSession();

    DownloadDialog& Dialog() const { return *dialog_; }
    // Any thread.
    RunSignals& Signals() { return signals_; }
    const RunSignals& Signals() const { return signals_; }
    // Fixed before the dialog is shown.
    const std::wstring& Host() const { return host_; }  // Host header: an IPv6 address in brackets
    int Port() const { return port_; }
    bool Secure() const { return secure_; }  // https
    const std::wstring& Cookie() const { return cookie_; }
    // The worker's alone while a run goes on.
    std::wstring& ResultSummary() { return resultSummary_; }
    ConflictState& Conflict() { return conflict_; }

private:
    friend class DownloadState;
    // The one way the phase changes: traced, then written. Caller holds
    // the queue's lock.
    void Enter(SessionPhase next);

    const std::shared_ptr<DownloadDialog> dialog_;
    const std::wstring host_;
    const int port_;
    const bool secure_;
    const std::wstring cookie_;
    std::wstring resultSummary_;
    ConflictState conflict_;
    // Guarded by the queue's lock.
    SessionPhase phase_ = SessionPhase::Open;
    int entryCount_ = 0;       // rows the worker walks: dialog's thread (merge, rebuild, delete), worker (delete)
    double doneBytes_ = 0;     // worker; the delete button while idle
    double skippedBytes_ = 0;  // worker: the sizes of the files it skipped, out of the shown total
    std::thread worker_;       // started by the first start; joined by the watcher alone
    RunSignals signals_;
    // Raises Gone when the dialog's thread ends; goes before the signals.
    std::unique_ptr<ThreadEndNotice> threadEnd_;
};

// What the page's thread calls (through the control's methods).
class DownloadPageCalls {
public:
    // A batch's report goes through callerBoxes when given (the calling
    // control's, owned by its window), else through the platform's.
    virtual short AddDownloadFile(const std::wstring& urlPath, const std::wstring& fileName, double size,
                                  int totalAddCount, MessageBoxHost* callerBoxes = nullptr) = 0;
    virtual void DownloadStart() = 0;
    // -1 when the queue (waiting, fetched or still to be merged) has an
    // entry of exactly this name, else 0.
    virtual int FindEntryByName(const std::wstring& name) = 0;
    // What the construction of an upload control resets.
    virtual void ResetOnControlConstruction() = 0;

protected:
    ~DownloadPageCalls() = default;
};

// What the dialog's thread calls. from names the dialog asking: a dialog
// whose session has ended is not heard. Null: the open one.
class DownloadDialogCalls {
public:
    virtual void MergePendingEntries(DownloadView& view, const DownloadDialog* from = nullptr) = 0;
    // WM_DOWNLOAD_REFRESH: rows for what was added to the idle dialog.
    virtual void ShowAddedEntries(DownloadView& view, const DownloadDialog* from = nullptr) = 0;
    virtual void StartRun(const DownloadDialog* from = nullptr) = 0;                          // start 228
    virtual void CancelOrClose(const DownloadDialog* from = nullptr) = 0;                     // 227, the close box
    virtual void DeleteButton(DownloadView& view, const DownloadDialog* from = nullptr) = 0;  // 245
    virtual void ChangeFolder(DownloadView& view) = 0;                                        // 216
    // The dialog's window is gone, whoever destroyed it: its session ends.
    virtual void DialogDestroyed(const DownloadDialog& dialog) = 0;
    virtual std::wstring SaveFolder() = 0;

protected:
    ~DownloadDialogCalls() = default;
};

// What the session's worker calls: each is about its own session, and does
// nothing (or finds nothing) once that session has ended.
class DownloadWorkerCalls {
public:
    virtual DownloadEntryPtr EntryAt(const DownloadSession& session, int listIndex) = 0;
    virtual int EntryCount(const DownloadSession& session) = 0;
    // -1 when the entry being fetched was removed.
    virtual int DeleteSelectedEntries(DownloadSession& session, DownloadView& view, double receivedBytes) = 0;
    // Counts n more bytes done; the run's done bytes and its shown total
    // (the queue's total without the files skipped) after it.
    virtual std::pair<double, double> AddDoneBytes(DownloadSession& session, double n) = 0;
    // A file of size bytes skipped: it leaves the shown total, not the
    // queue's. The same pair as AddDoneBytes.
    virtual std::pair<double, double> SkipBytes(DownloadSession& session, double size) = 0;
    // Entries added during the run become rows, through the dialog's thread.
    virtual void MergeIfPending(DownloadSession& session) = 0;
    // The run is over once nothing waits to be merged: additions become
    // rows and the close box closes.
    virtual void EndRun(DownloadSession& session) = 0;
    // The worker's last step of a run, after its end was shown: start may
    // be pressed again.
    virtual void FinishRun(DownloadSession& session) = 0;
    // Row and state of an entry under the lock; the row is returned.
    virtual int SetEntryState(DownloadEntry& entry, int32_t state) = 0;
    virtual int32_t StateOf(const DownloadEntry& entry) = 0;
    virtual double TotalBytes() = 0;
    virtual std::wstring SaveFolder() = 0;
    // How long the worker waits for a server that sends nothing.
    virtual uint32_t SilentServerTimeout() = 0;
    // How broken transfers are tried again and gone on with.
    virtual ResumePolicy Resuming() = 0;

    // The platform, as configured.
    virtual FileSystem& Files() = 0;
    virtual Network& Net() = 0;
    virtual Clock& Time() = 0;
    virtual MessageBoxHost& PromptMessages() = 0;
    virtual SameFilePrompt* SamePrompt() = 0;
    virtual NameEntryPrompt* NamePrompt() = 0;

protected:
    ~DownloadWorkerCalls() = default;
};

// What a run is made of: the queue calls Run on the session's worker thread
// once per press of start.
class DownloadEngine {
public:
    virtual ~DownloadEngine() = default;
    virtual void Run(DownloadWorkerCalls& queue, DownloadSession& session) = 0;
};

}  // namespace parvex
