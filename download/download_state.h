// The process-wide download queue: the entries the page queued and the one
// session of the download dialog around them.
//
// DownloadState owns everything here privately. The page's thread, the
// dialog's thread, the worker and the session's watcher reach it only
// through its calls, which take its lock, and through the session's
// signals. The view is never called with the lock held: the Windows view
// forwards to the dialog's thread, which may itself be waiting for the lock.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "common/cookies.h"
#include "common/file_system.h"
#include "common/message_box.h"
#include "common/module_hold.h"
#include "common/settings_store.h"
#include "common/socket.h"
#include "common/url.h"
#include "download_entry.h"
#include "download_signals.h"
#include "download_view.h"
#include "resume_rules.h"
#include "same_file.h"

namespace parvex {

// What the download side reaches the platform through. Null members fall
// back to: the platform's settings store, no cookies, message boxes on the
// standard error stream, skipping existing files, no dialog.
struct DownloadPlatform {
    FileSystem* fs = nullptr;
    Network* network = nullptr;
    Clock* clock = nullptr;
    SettingsStore* store = nullptr;
    CookieStore* cookies = nullptr;
    MessageBoxHost* controlMessages = nullptr;  // owned by the control's window
    MessageBoxHost* promptMessages = nullptr;   // the prompts' own boxes, no owner
    SameFilePrompt* sameFilePrompt = nullptr;
    NameEntryPrompt* nameEntryPrompt = nullptr;
    FolderChooser* folderChooser = nullptr;
    DownloadDialogFactory* dialogFactory = nullptr;
};

// One open download dialog with the threads it started: its worker (joined
// by the watcher) and its watcher (joined by whoever reaps it, see
// DownloadState::ReapEndedSessions).
class DownloadSession {
public:
    DownloadSession(std::shared_ptr<DownloadDialog> dialog, const DownloadHostParts& server, std::wstring cookie);
    DownloadDialog& Dialog() const { return *dialog_; }

    DownloadSignals signals;  // any thread
    // Fixed by DownloadStart before the dialog is shown; read by the worker.
    const std::wstring host;  // Host header: an IPv6 address in brackets
    const int port;
    const bool secure;  // https
    const std::wstring cookie;
    // The worker's alone.
    std::wstring resultSummary;
    ConflictState conflict;

private:
    friend class DownloadState;
    std::shared_ptr<DownloadDialog> dialog_;  // fixed at creation
    // Guarded by the state's lock.
    int entryCount_ = 0;       // rows the worker walks: dialog's thread (merge, rebuild, delete), worker (delete)
    double doneBytes_ = 0;     // worker; the delete button while idle
    double skippedBytes_ = 0;  // worker: the sizes of the files it skipped, out of the shown total
    bool runStarted_ = false;  // set by the start button, cleared by the worker's last step (FinishRun)
    bool running_ = false;     // set by the start button, cleared by the worker once nothing waits (EndRun)
    bool closing_ = false;     // set by the watcher once the session ends; no run starts after
    std::thread worker_;       // started by the start button; joined by the next run's worker or the watcher
};

// A look at the queue, taken under its lock.
struct DownloadSnapshot {
    bool open = false;  // a dialog is open
    bool running = false;
    bool pendingAdded = false;
    int entryCount = 0;
    ConflictState conflict;  // the worker's, as its run left it (only while no run is going)
    double totalBytes = 0;
    double doneBytes = 0;
    int addCallCount = 0;
    bool addFailed = false;
    std::wstring addFailureText;
    // What the last DownloadStart took from the host URL and the cookies.
    std::wstring host;
    int port = 80;
    std::wstring cookie;
};

class DownloadState {
public:
    explicit DownloadState(const DownloadPlatform& platform = DownloadPlatform());
    // Cancels a run, closes the dialog and waits for the session's threads.
    ~DownloadState();
    DownloadState(const DownloadState&) = delete;
    DownloadState& operator=(const DownloadState&) = delete;

    // What the construction of an upload control resets.
    void ResetOnControlConstruction();

    // The page's calls, from any thread.
    // A batch's report goes through callerBoxes when given (the calling
    // control's, owned by its window), else through the platform's.
    short AddDownloadFile(const std::wstring& urlPath, const std::wstring& fileName, double size, int totalAddCount,
                          MessageBoxHost* callerBoxes = nullptr);
    void DownloadStart();

    // -1 when the queue (waiting, fetched or still to be merged) has an
    // entry of exactly this name, else 0.
    int FindEntryByName(const std::wstring& name);

    // The dialog's side. from names the dialog asking: a dialog whose
    // session has ended is not heard. Null: the open one.
    void MergePendingEntries(DownloadView& view, const DownloadDialog* from = nullptr);
    // WM_DOWNLOAD_REFRESH: rows for what was added to the idle dialog.
    void ShowAddedEntries(DownloadView& view, const DownloadDialog* from = nullptr);
    // -1 when the entry being fetched was removed.
    int DeleteSelectedEntries(DownloadView& view, double receivedBytes);
    void StartRun(const DownloadDialog* from = nullptr);                          // start 228
    void CancelOrClose(const DownloadDialog* from = nullptr);                     // 227, the close box, WM_CLOSE
    void DeleteButton(DownloadView& view, const DownloadDialog* from = nullptr);  // 245
    void ChangeFolder(DownloadView& view);                                        // 216
    // The dialog's window is gone, whoever destroyed it: its session ends.
    void DialogDestroyed(const DownloadDialog& dialog);

    // Waits until no session is open and the last one's threads are gone.
    void WaitSessionClosed();
    // Joins the watchers that have finished and lets go of the module's hold
    // they kept: only then is nothing of a session left running. The module
    // calls it before it answers whether it may unload.
    void ReapEndedSessions();
    // Waits until the open session's worker has shown the end of its run.
    void WaitRunFinished();

    // Copies, taken under the lock.
    DownloadSnapshot Snapshot();
    std::vector<DownloadEntry> Entries();
    std::vector<DownloadEntry> PendingEntries();
    std::shared_ptr<DownloadDialog> Dialog();
    double TotalBytes();
    std::wstring SaveFolder();
    void SetSaveFolder(const std::wstring& folder);
    // Sets the state of every queued entry (a test's or a tool's shortcut).
    void SetAllStates(int32_t state);
    // How long the worker waits for a server that sends nothing.
    void SetSilentServerTimeout(uint32_t ms);
    uint32_t SilentServerTimeout();
    // How broken transfers are tried again and gone on with.
    void SetResuming(const ResumePolicy& policy);
    ResumePolicy Resuming();

    // The worker's calls: each is about its own session, and does nothing
    // (or finds nothing) once that session has ended.
    DownloadEntryPtr EntryAt(const DownloadSession& session, int listIndex);
    int EntryCount(const DownloadSession& session);
    int DeleteSelectedEntries(DownloadSession& session, DownloadView& view, double receivedBytes);
    // Counts n more bytes done; the run's done bytes and its shown total
    // (the queue's total without the files skipped) after it.
    std::pair<double, double> AddDoneBytes(DownloadSession& session, double n);
    // A file of size bytes skipped: it leaves the shown total, not the
    // queue's. The same pair as AddDoneBytes.
    std::pair<double, double> SkipBytes(DownloadSession& session, double size);
    // The run is over once nothing waits to be merged: additions become
    // rows and the close box closes.
    void EndRun(DownloadSession& session);
    // The worker's last step, after the end of the run was shown: start
    // may be pressed again.
    void FinishRun(DownloadSession& session);
    // Row and state of an entry under the lock; the row is returned.
    int SetEntryState(DownloadEntry& entry, int32_t state);
    int32_t StateOf(const DownloadEntry& entry);

    FileSystem& Files() { return *fs_; }
    Network& Net() { return *network_; }
    Clock& Time() { return *clock_; }
    SettingsStore& Store() { return *store_; }
    MessageBoxHost& PromptMessages() { return *promptMessages_; }
    SameFilePrompt* SamePrompt() { return platform_.sameFilePrompt; }
    NameEntryPrompt* NamePrompt() { return platform_.nameEntryPrompt; }

private:
    using Lock = std::unique_lock<std::mutex>;
    std::shared_ptr<DownloadSession> OpenSession();
    void InitializeDialog(const std::shared_ptr<DownloadSession>& session);
    struct Watcher;
    void Watch(std::shared_ptr<DownloadSession> session, Watcher* self);
    bool AllWatchersFinishedLocked() const;
    bool IsOpenLocked(const DownloadDialog* from) const;
    // Ends session when it is the open one: the lists are emptied and the
    // slot is free for the next DownloadStart.
    void EndSessionLocked(const DownloadSession& session);
    void EndDeadSessionLocked();
    int FindEntryByNameLocked(const std::wstring& name) const;
    int DeleteSelected(DownloadSession* session, DownloadView& view, double receivedBytes);
    void ShowTotalLabel(DownloadView& view, double total);

    const DownloadPlatform platform_;
    FileSystem* fs_;
    Network* network_;
    Clock* clock_;
    SettingsStore* store_;
    std::unique_ptr<SettingsStore> ownedStore_;
    MessageBoxHost* controlMessages_;
    MessageBoxHost* promptMessages_;
    std::unique_ptr<MessageBoxHost> stderrMessages_;

    std::mutex mutex_;
    std::condition_variable changed_;  // a run or a session ended
    // Guarded by mutex_. The page's thread adds; the dialog's thread merges,
    // rebuilds and deletes while idle; the worker deletes during a run; the
    // end of a session empties both lists.
    std::list<DownloadEntryPtr> downloadList_;
    std::list<DownloadEntryPtr> pendingList_;  // added during a run, not yet merged
    // The names of both lists, so that a page queueing thousands of files
    // does not walk the whole queue for each one.
    std::unordered_set<std::wstring> names_;
    double downloadTotalBytes_ = 0;
    // The total a dialog shows: the queue's without what the open session skipped.
    double ShownTotalLocked() const;
    // The page's thread (AddDownloadFile, a control's construction).
    int addCallCount_ = 0;
    bool addFailed_ = false;
    std::wstring addFailureText_;
    // The session: claimed and published by DownloadStart, ended by the
    // dialog's destruction or the watcher.
    std::shared_ptr<DownloadSession> session_;
    bool claiming_ = false;  // a DownloadStart is making the dialog
    // Each session's watcher with the hold that keeps the module loaded
    // until the watcher, the last of the session's threads, has been joined.
    struct Watcher {
        std::thread thread;     // started by DownloadStart under the lock
        ModuleHold hold;        // taken when DownloadStart claimed the session
        bool finished = false;  // written by the watcher as its last step
    };
    std::list<Watcher> watchers_;
    std::wstring saveFolder_;                                  // dialog's thread (opening, change folder), tools
    std::wstring lastHost_;                                    // DownloadStart
    int lastPort_ = 80;                                        // DownloadStart
    std::wstring lastCookie_;                                  // DownloadStart
    uint32_t silentServerTimeoutMs_ = kSilentServerTimeoutMs;  // the owner, before a run
    ResumePolicy resuming_;                                    // the owner, before a run
};

// The one queue of the process, reached by the upload control's methods.
// Owned by the process and never destroyed.
DownloadState& ProcessDownloadState();
// Sets the platform of the process's queue; call once at start, before the
// first use, from the thread that loads the module (written by no other).
void ConfigureProcessDownloads(const DownloadPlatform& platform);

}  // namespace parvex
