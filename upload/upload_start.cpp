#include "upload_start.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "common/format.h"
#include "common/url.h"

namespace parvex {
namespace {

constexpr int kRerunsPerQuestion = 3;
// How often the waiting thread runs its loop while the worker runs.
constexpr std::chrono::milliseconds kLoopInterval(20);

// The worker's end, set by the worker and waited for by the thread that
// started it: the wait ends the moment the worker does, not at the next look.
class WorkerEnd {
public:
    void Set() {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }
    // True once the worker has ended; waits at most `limit` for it.
    bool WaitFor(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return ended_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ended_ = false;  // under mutex_
};

// The upload under way in the process, as any thread may ask about it. The
// thread running UploadStart claims it, names the dialog of each run as it
// opens and lets go; the dialog is reached only under the lock, so a cancel
// from another thread never touches a dialog that UploadStart has dropped.
class ActiveUpload {
public:
    // False when an upload is under way already.
    bool Claim() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (claimed_) return false;
        claimed_ = true;
        return true;
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        claimed_ = false;
        dialog_ = nullptr;
    }
    // The run now showing; null between runs. Named before the previous
    // dialog is destroyed.
    void Showing(CUploadProgress* dialog) {
        std::lock_guard<std::mutex> lock(mutex_);
        dialog_ = dialog;
    }
    bool InProgress() {
        std::lock_guard<std::mutex> lock(mutex_);
        return claimed_;
    }
    void Cancel() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (dialog_) dialog_->cancelRequested = 1;
    }

private:
    std::mutex mutex_;
    bool claimed_ = false;               // under mutex_
    CUploadProgress* dialog_ = nullptr;  // under mutex_
};

ActiveUpload& Active() {
    static ActiveUpload active;
    return active;
}

// The claim of one UploadStart, let go on every way out.
class ClaimedUpload {
public:
    ClaimedUpload() : claimed_(Active().Claim()) {}
    ~ClaimedUpload() {
        if (claimed_) Active().Release();
    }
    ClaimedUpload(const ClaimedUpload&) = delete;
    ClaimedUpload& operator=(const ClaimedUpload&) = delete;
    bool Claimed() const { return claimed_; }

private:
    bool claimed_;
};

}  // namespace

bool UploadRunInProgress() { return Active().InProgress(); }

void CancelUploadRun() { Active().Cancel(); }

ThreadedUploadRunHost::ThreadedUploadRunHost(UploadProgressView& view, const std::atomic<int>* interrupt)
    : view_(view) {
    if (interrupt) {
        whileRunning_ = [interrupt] {
            if (interrupt->load() != 0) CancelUploadRun();
        };
    }
}

void ThreadedUploadRunHost::ShowProgress(UploadSession& session, CUploadProgress& dialog) {
    BeginUploadRun(session, dialog);
    view_.RunOpened(dialog);
    WorkerEnd end;
    std::thread worker([&] {
        UploadWorker(session, dialog, view_);
        end.Set();
    });
    if (whileRunning_) {
        while (!end.WaitFor(kLoopInterval)) whileRunning_();
    }
    worker.join();
    view_.RunEnded(dialog);
}

int UploadStart(short kindOfUse, const ProcessSettings& settings, UploadListAccess& list,
                UploadStartServices& services) {
    (void)kindOfUse;  // accepted for the page's sake; both uses upload alike
    ClaimedUpload claim;
    if (!claim.Claimed()) return 0;

    UploadSession session;
    session.services = services.engine;
    session.target.cookie = FetchCookies(*services.cookies, settings.uploadUrl);
    UploadUrlParts parts = SplitUploadUrl(settings.uploadUrl, settings.existUrl);
    session.target.host = parts.host;
    session.target.port = parts.port;
    session.target.secure = parts.secure;
    session.target.path = parts.path;
    session.target.existPath = parts.existPath;
    session.target.expectContinue = settings.expectContinue;
    session.target.formFileNameField = settings.formFileNameField;
    session.target.formUniqueNameField = settings.formUniqueNameField;
    session.target.formFileField = settings.formFileField;
    // A URL the client must not or cannot post to (neither http nor https, no host
    // or path, a bad port, control characters that would land in the request
    // head) fails every file as a connection failure, with nothing sent.
    session.usableUrl = IsUsableUploadUrl(settings.uploadUrl) && IsHeaderSafe(settings.existUrl);

    // The runs' own entries: every run and its re-runs point into them, and
    // the list is not touched again until it is emptied.
    std::vector<UploadEntry> entries = list.Entries();
    auto dialog = std::make_unique<CUploadProgress>();
    for (UploadEntry& e : entries) dialog->runEntries.push_back(&e);
    dialog->runTotalBytes = list.TotalSize();
    Active().Showing(dialog.get());
    services.runHost->ShowProgress(session, *dialog);

    if (dialog->cancelRequested == 0 && session.allSucceeded == 0 && !dialog->stoppedOnRefusal) {
        int reruns = 0;
        for (;;) {
            if (reruns == kRerunsPerQuestion) {
                std::wstring names;
                for (const UploadEntry* e : dialog->failedEntries) names += e->fileName + L"\r\n";
                std::wstring text = FormatText(
                    L"업로드에 실패한 항목이 있습니다.\r\n재시도 하시겠습니까?\r\n\r\n%ls", names.c_str());
                if (services.controlBoxes->Show(text, L"Warning", MbYesNo) != IdYes) break;
                reruns = 0;
            }
            auto next = std::make_unique<CUploadProgress>();
            next->runEntries = dialog->failedEntries;
            next->runTotalBytes = dialog->failedBytes;
            next->statusText = kRerunStatus;
            Active().Showing(next.get());
            dialog = std::move(next);
            services.runHost->ShowProgress(session, *dialog);
            if (dialog->cancelRequested != 0) break;
            ++reruns;
            if (session.allSucceeded != 0 || dialog->stoppedOnRefusal) break;
        }
    }

    if (dialog->cancelRequested == 1) services.controlBoxes->Show(L"업로드가 취소되었습니다.", L"알림", MbOk);
    Active().Showing(nullptr);
    dialog.reset();
    list.Clear();
    return session.allSucceeded != 0 ? 1 : 0;
}

}  // namespace parvex
