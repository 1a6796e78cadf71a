// The process-wide download queue: the entries the page queued, the session
// of the download dialog around them and the flags the worker polls.
//
// The page's thread, the dialog's thread, the worker and the session watcher
// all touch this state. The lists, the entries' indexes and states, the byte
// totals and the batch values are guarded by `mutex`; the view is never
// called with the lock held, because the Windows view forwards to the
// dialog's thread, which may itself be waiting for the lock.
#pragma once
#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/clock.h"
#include "common/cookies.h"
#include "common/file_system.h"
#include "common/message_box.h"
#include "common/settings_store.h"
#include "common/socket.h"
#include "download_entry.h"
#include "download_view.h"
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

class DownloadState {
public:
    explicit DownloadState(const DownloadPlatform& platform = DownloadPlatform());
    // Cancels a run, closes the dialog and waits for both threads.
    ~DownloadState();
    DownloadState(const DownloadState&) = delete;
    DownloadState& operator=(const DownloadState&) = delete;

    // What the construction of an upload control resets.
    void ResetOnControlConstruction();

    // The page's calls.
    // A batch's report goes through callerBoxes when given (the calling
    // control's, owned by its window), else through the platform's.
    short AddDownloadFile(const std::wstring& urlPath, const std::wstring& fileName, double size, int totalAddCount,
                          MessageBoxHost* callerBoxes = nullptr);
    void DownloadStart();

    // -1 when downloadList has an entry of exactly this name, else 0.
    int FindEntryByName(const std::wstring& name);
    void MergePendingEntries(DownloadView& view);
    void RebuildDownloadList(DownloadView& view);
    // -1 when the entry being fetched was removed.
    int DeleteSelectedEntries(DownloadView& view, double receivedBytes);

    // The dialog's side: its opening and its buttons.
    void InitializeDialog(DownloadView& view);
    void StartRun();                        // start 228
    void CancelOrClose();                   // 227, the close box, WM_CLOSE
    void DeleteButton(DownloadView& view);  // 245
    void ChangeFolder(DownloadView& view);  // 216

    // Waits until the session watcher has torn the dialog down.
    void WaitSessionClosed();
    // Waits until the worker of the current dialog has ended.
    void WaitRunFinished();

    // Copies of the queued entries in list order.
    std::vector<DownloadEntry> Entries();
    std::vector<DownloadEntry> PendingEntries();
    std::shared_ptr<DownloadDialog> Dialog();
    DownloadEntryPtr EntryAt(int listIndex);
    // Row and state of an entry under the lock; the row is returned.
    int SetEntryState(DownloadEntry& entry, int32_t state);
    int RowOf(const DownloadEntry& entry);
    double TotalBytes();
    std::wstring SaveFolder();
    void SetSaveFolder(const std::wstring& folder);

    FileSystem& Files() { return *fs_; }
    Network& Net() { return *network_; }
    Clock& Time() { return *clock_; }
    SettingsStore& Store() { return *store_; }
    MessageBoxHost& PromptMessages() { return *promptMessages_; }
    SameFilePrompt* SamePrompt() { return platform_.sameFilePrompt; }
    NameEntryPrompt* NamePrompt() { return platform_.nameEntryPrompt; }

    std::mutex mutex;

    // Guarded by mutex.
    std::list<DownloadEntryPtr> downloadList;
    std::list<DownloadEntryPtr> pendingList;
    double downloadTotalBytes = 0;
    double downloadDoneBytes = 0;
    int addCallCount = 0;
    bool addFailed = false;
    std::wstring addFailureText;

    std::atomic<bool> pendingAdded{false};
    std::atomic<int> downloadEntryCount{0};
    std::atomic<bool> downloadRunning{false};
    std::atomic<bool> downloadCancelRequested{false};
    std::atomic<bool> deleteRequested{false};
    std::atomic<bool> closeRequested{false};

    // Fixed by DownloadStart before the dialog exists; read by the worker.
    std::wstring downloadHost;
    int downloadPort = 80;
    std::wstring downloadCookie;

    // The worker's alone while a run is in progress.
    std::wstring resultSummary;

    // How long the worker waits for a server that sends nothing; set by the
    // owner before a run, read by the worker.
    uint32_t silentServerTimeoutMs = kSilentServerTimeoutMs;

    ConflictState conflict;

private:
    void DownloadCleanupThread();
    int FindEntryByNameLocked(const std::wstring& name) const;
    void ShowTotalLabel(DownloadView& view, double total);

    DownloadPlatform platform_;
    FileSystem* fs_;
    Network* network_;
    Clock* clock_;
    SettingsStore* store_;
    std::unique_ptr<SettingsStore> ownedStore_;
    MessageBoxHost* controlMessages_;
    MessageBoxHost* promptMessages_;
    std::unique_ptr<MessageBoxHost> stderrMessages_;

    std::shared_ptr<DownloadDialog> downloadDialog_;  // guarded by mutex
    std::wstring saveFolder_;                         // guarded by mutex
    bool runStarted_ = false;                         // dialog's thread only
    std::thread worker_;
    std::thread cleanup_;
    std::atomic<bool> shuttingDown_{false};
};

// The one queue of the process, reached by the upload control's methods.
// Owned by the process and never destroyed; its members say which thread
// writes each.
DownloadState& ProcessDownloadState();
// Sets the platform of the process's queue; call once at start, before the
// first use, from the thread that loads the module (written by no other).
void ConfigureProcessDownloads(const DownloadPlatform& platform);

}  // namespace parvex
