// The process-wide download queue: the entries the page queued and the one
// session of the download dialog around them.
//
// DownloadState owns everything here privately. The page's thread, the
// dialog's thread, the worker and the session's watcher reach it only
// through its calls (each its own interface, download_session.h), which take
// its lock, and through the session's signals. The view is never called with
// the lock held: the Windows view forwards to the dialog's thread, which may
// itself be waiting for the lock.
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
#include "common/thread_end.h"
#include "common/url.h"
#include "download_entry.h"
#include "download_session.h"
#include "download_view.h"
#include "same_file.h"

namespace parvex {

// What the download side reaches the platform through. Null members fall
// back to: the platform's settings store, no cookies, message boxes on the
// standard error stream, skipping existing files, no dialog, no word of a
// dialog's thread ending. The engine has no fallback: the queue runs what it
// is handed (download_engine.h: HttpDownloadEngine).
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
    ThreadEndWatch* threadEnds = nullptr;
    DownloadEngine* engine = nullptr;
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

class DownloadState : public DownloadPageCalls, public DownloadDialogCalls, public DownloadWorkerCalls {
public:
    explicit DownloadState(const DownloadPlatform& platform = DownloadPlatform());
    // Cancels a run, closes the dialog and waits for the session's threads.
    ~DownloadState();
    DownloadState(const DownloadState&) = delete;
    DownloadState& operator=(const DownloadState&) = delete;

    // DownloadPageCalls.
    short AddDownloadFile(const std::wstring& urlPath, const std::wstring& fileName, double size, int totalAddCount,
                          MessageBoxHost* callerBoxes = nullptr) override;
    void DownloadStart() override;
    int FindEntryByName(const std::wstring& name) override;
    void ResetOnControlConstruction() override;

    // DownloadDialogCalls.
    void MergePendingEntries(DownloadView& view, const DownloadDialog* from = nullptr) override;
    void ShowAddedEntries(DownloadView& view, const DownloadDialog* from = nullptr) override;
    void StartRun(const DownloadDialog* from = nullptr) override;
    void CancelOrClose(const DownloadDialog* from = nullptr) override;
    void DeleteButton(DownloadView& view, const DownloadDialog* from = nullptr) override;
    void ChangeFolder(DownloadView& view) override;
    void DialogDestroyed(const DownloadDialog& dialog) override;
    std::wstring SaveFolder() override;

    // DownloadWorkerCalls.
    DownloadEntryPtr EntryAt(const DownloadSession& session, int listIndex) override;
    int EntryCount(const DownloadSession& session) override;
    int DeleteSelectedEntries(DownloadSession& session, DownloadView& view, double receivedBytes) override;
    std::pair<double, double> AddDoneBytes(DownloadSession& session, double n) override;
    std::pair<double, double> SkipBytes(DownloadSession& session, double size) override;
    void MergeIfPending(DownloadSession& session) override;
    void EndRun(DownloadSession& session) override;
    void FinishRun(DownloadSession& session) override;
    int SetEntryState(DownloadEntry& entry, int32_t state) override;
    int32_t StateOf(const DownloadEntry& entry) override;
    double TotalBytes() override;
    uint32_t SilentServerTimeout() override;
    ResumePolicy Resuming() override;
    FileSystem& Files() override { return *fs_; }
    Network& Net() override { return *network_; }
    Clock& Time() override { return *clock_; }
    MessageBoxHost& PromptMessages() override { return *promptMessages_; }
    SameFilePrompt* SamePrompt() override { return platform_.sameFilePrompt; }
    NameEntryPrompt* NamePrompt() override { return platform_.nameEntryPrompt; }

    // The owner's and the tools' calls.
    // The delete button's deletion with no run going (or no dialog open).
    int DeleteSelectedEntries(DownloadView& view, double receivedBytes);
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
    void SetSaveFolder(const std::wstring& folder);
    // Sets the state of every queued entry (a test's or a tool's shortcut).
    void SetAllStates(int32_t state);
    void SetSilentServerTimeout(uint32_t ms);
    // How broken transfers are tried again and gone on with.
    void SetResuming(const ResumePolicy& policy);
    SettingsStore& Store() { return *store_; }

private:
    using Lock = std::unique_lock<std::mutex>;
    std::shared_ptr<DownloadSession> OpenSession();
    void InitializeDialog(const std::shared_ptr<DownloadSession>& session);
    struct Watcher;
    void Watch(std::shared_ptr<DownloadSession> session, Watcher* self);
    void WorkRuns(DownloadSession& session);
    bool AllWatchersFinishedLocked() const;
    bool IsOpenLocked(const DownloadDialog* from) const;
    bool RunGoingLocked() const;
    // Ends session when it is the open one: the lists are emptied and the
    // slot is free for the next DownloadStart.
    void EndSessionLocked(DownloadSession& session);
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
    DownloadEngine* engine_;  // fixed at construction

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
// Owned by the process and never destroyed; it runs HttpDownloadEngine
// unless the platform names another (download_bridge.cpp).
DownloadState& ProcessDownloadState();
// Sets the platform of the process's queue; call once at start, before the
// first use, from the thread that loads the module (written by no other).
void ConfigureProcessDownloads(const DownloadPlatform& platform);

}  // namespace parvex
