// One upload run: the run state that the progress dialog owns, what the
// dialog shows (behind UploadProgressView) and the two prompts the worker asks
// (behind UploadPrompts), so that the Windows dialogs, the terminal and tests
// can all drive the same engine.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/file_system.h"
#include "common/message_box.h"
#include "common/row_status.h"
#include "common/socket.h"
#include "upload_reply.h"
#include "upload_request.h"
#include "uploadlist/upload_entry.h"

namespace parvex {

// Controls of the progress dialog that the worker writes to.
enum UploadProgressControl : int {
    IdcUpFileName = 204,   // current file name
    IdcUpFileBar = 205,    // progress of the current file
    IdcUpRunBar = 206,     // progress of the whole run
    IdcUpSpeed = 208,
    IdcUpFileSize = 209,   // "/ %s" with the current file's size
    IdcUpFileSent = 210,
    IdcUpRunTotal = 211,   // "/ %s" with the run's total
    IdcUpRunSent = 212,
    IdcUpTimeLeft = 258,
};

extern const wchar_t kRerunStatus[];  // status line of a re-run

class CUploadProgress;

// What the progress dialog shows. Called from the worker thread, which paces
// the bars and labels itself; the Windows dialog hands each change to its
// own thread.
class UploadProgressView {
public:
    virtual ~UploadProgressView() = default;
    // Called before the worker starts, for hosts that build their rows
    // themselves (the Windows dialog does this in its initialisation).
    virtual void RunOpened(const CUploadProgress& /*dialog*/) {}
    // Called by such hosts after the worker has ended, with the run's outcome.
    virtual void RunEnded(const CUploadProgress& /*dialog*/) {}
    virtual void SetText(int controlId, const std::wstring& text) = 0;
    // Both bars have the range 0..100.
    virtual void ResetBar(int controlId) = 0;
    virtual void SetBar(int controlId, int position) = 0;
    virtual void SetRowStatus(int row, const std::wstring& status) = 0;
    // The worker's last act: the dialog may end its modal loop.
    virtual void Close() = 0;
};

// Values exchanged between the worker and the prompts; one copy per upload.
struct UploadPromptState {
    std::wstring sameFileName;
    double sameFileSize = 0;
    int sameFileChoice = 0;  // UploadSameOverwrite, UploadSameRename, UploadSameSkip, 0 no choice
    bool applyToAll = false;
    std::wstring missingFileName;
};

enum UploadSameChoice : int { UploadSameNone = 0, UploadSameOverwrite = 1, UploadSameRename = 2, UploadSameSkip = 3 };

// The same-file prompt and the missing-file prompt, shown by the worker on its
// own thread.
class UploadPrompts {
public:
    virtual ~UploadPrompts() = default;
    // Shows sameFileName and sameFileSize; the answer goes into
    // sameFileChoice, sameFileName (after a rename) and applyToAll. Returns
    // IdOk, or IdCancel for skip and for a prompt closed without a choice.
    virtual MessageAnswer AskSameFile(UploadPromptState& state) = 0;
    // Returns IdCancel to cancel the upload; anything else skips the file.
    virtual MessageAnswer AskMissingFile(const std::wstring& missingFileName) = 0;
};

// The rename proposal: sameFileName after its last backslash.
std::wstring SameFileRenameProposal(const std::wstring& sameFileName);
// Applies a new name the rename dialog accepted: keeps the folder part of
// sameFileName, sets UploadSameRename and clears applyToAll.
void ApplySameFileRename(UploadPromptState& state, const std::wstring& newName);
// Why the rename dialog refuses a name, or empty when it takes it.
std::wstring RenameRefusal(const std::wstring& oldName, const std::wstring& newName, std::wstring* caption);

// Platform services the engine uses, and its time-outs.
struct UploadServices {
    Network* network = nullptr;
    FileSystem* files = nullptr;
    Clock* clock = nullptr;
    MessageBoxHost* boxes = nullptr;  // owned by the progress dialog
    UploadPrompts* prompts = nullptr;
    // A send or receive that moves no byte for this long fails the file.
    uint32_t silentServerTimeoutMs = kSilentServerTimeoutMs;
    // A connection attempt that has not completed after this long fails.
    uint32_t connectTimeoutMs = kConnectTimeoutMs;
};

// The services on this platform's network, files and clock.
UploadServices PlatformUploadServices(MessageBoxHost& boxes, UploadPrompts& prompts);

// State of one upload start, shared by its runs; one run at a time.
struct UploadSession {
    UploadTarget target;
    bool usableUrl = true;  // false: every file fails as a connection failure
    UploadServices services;

    double runBytesSent = 0;
    uint32_t runStartTick = 0;
    uint32_t lastRefreshElapsed = 0;  // carries over between runs
    std::wstring resultLog;
    bool allSucceeded = false;  // every file of the last run went up
    UploadPromptState prompt;
};

// The run state of one showing of the progress dialog.
class CUploadProgress {
public:
    std::vector<UploadEntry*> runEntries;
    std::vector<UploadEntry*> failedEntries;
    double runTotalBytes = 0;
    double failedBytes = 0;
    std::wstring statusText;
    // Cancel: the cancel button, the close box, the page or a prompt; Abandon
    // besides when the page went. Any thread; the cancel is cleared as the
    // run begins.
    RunSignals signals;
    bool Cancelled() const { return signals.Raised(RunSignals::Cancel); }

    // The server answered and refused a file: the upload is over, nothing is
    // re-run.
    bool stoppedOnRefusal = false;
    // The result log as it stood when the run ended.
    std::wstring runLog;
};

// How the posting of one file ended.
enum class PostOutcome {
    Ok,            // everything sent, or nothing to send for a file on the server
    Cancelled,     // the user's cancel was seen
    NetworkError,  // a send failed, the file could not be read whole, or "100 continue" did not come
    // The server answered the header with a final reply instead of
    // "100 continue": that reply was judged, the file was not sent.
    Refused,
};

// What the dialog's initialisation resets before the worker starts.
void BeginUploadRun(UploadSession& session, CUploadProgress& dialog);
// The worker: uploads the run's entries in order and closes the view.
void UploadWorker(UploadSession& session, CUploadProgress& dialog, UploadProgressView& view);

}  // namespace parvex
