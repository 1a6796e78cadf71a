// UploadStart: one upload of the whole list, with the automatic re-runs of
// the failed files and the question after every third.
#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "common/cookies.h"
#include "common/message_box.h"
#include "common/settings.h"
#include "upload_progress.h"

namespace parvex {

// Shows the progress dialog of one run modally: the run is begun, the worker
// runs on a thread of its own, and the call returns once the worker has
// closed the dialog.
class UploadRunHost {
public:
    virtual ~UploadRunHost() = default;
    virtual void ShowProgress(UploadSession& session, CUploadProgress& dialog) = 0;
    // The page went during a run: closes whatever the showing run keeps
    // open on its worker's thread (its questions). Called on the thread that
    // runs UploadStart, after the run's Cancel and Abandon were raised.
    virtual void CloseForAbandon() {}
};

// The host for the terminal and tests: the worker on a std::thread, the
// calling thread waiting for it. When interrupt is given, a nonzero value
// there (set by a signal handler, say) becomes the dialog's cancel. When
// whileRunning is given, the calling thread runs it every 20 ms until the
// worker has ended, as a page's timers run in the dialog's modal loop.
class ThreadedUploadRunHost : public UploadRunHost {
public:
    explicit ThreadedUploadRunHost(UploadProgressView& view, const std::atomic<int>* interrupt = nullptr);
    ThreadedUploadRunHost(UploadProgressView& view, std::function<void()> whileRunning)
        : view_(view), whileRunning_(std::move(whileRunning)) {}
    void ShowProgress(UploadSession& session, CUploadProgress& dialog) override;

private:
    UploadProgressView& view_;
    std::function<void()> whileRunning_;
};

// The upload list as UploadStart needs it.
class UploadListAccess {
public:
    virtual ~UploadListAccess() = default;
    // A copy of the entries, in list order. The runs work on the copy (a
    // rename changes the copy's name), so that the list the page reads during
    // the upload stays as it was when the upload began.
    virtual std::vector<UploadEntry> Entries() = 0;
    virtual double TotalSize() = 0;  // what GetTotalUpSize reports
    virtual void Clear() = 0;        // ClearUploadList
};

struct UploadStartServices {
    CookieStore* cookies = nullptr;
    MessageBoxHost* controlBoxes = nullptr;  // boxes owned by the control's window
    UploadRunHost* runHost = nullptr;
    UploadServices engine;
};

// Returns 1 when the last run ended with every file accepted, else 0. The
// list is empty afterwards whatever the outcome. One upload at a time in the
// process: while one is under way another returns 0 at once and leaves its
// list as it is.
int UploadStart(short kindOfUse, const ProcessSettings& settings, UploadListAccess& list,
                UploadStartServices& services);

// True from the start of an UploadStart until its list has been emptied.
// Safe from any thread.
bool UploadRunInProgress();
// Cancels the run whose progress dialog is showing, as its cancel button
// would; nothing between runs or when no upload is under way. Safe from any
// thread.
void CancelUploadRun();
// The page went during a run: cancels it as CancelUploadRun does, has every
// question of the run answer as if its window was closed and closes the
// questions open. Nothing between runs. The thread that runs UploadStart.
void AbandonUploadRun();
// True while the run named by the registry was abandoned. Safe from any
// thread.
bool UploadRunAbandoned();

}  // namespace parvex
