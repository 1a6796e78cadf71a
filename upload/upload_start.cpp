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

// The one registry of the upload under way in the process, as any thread
// may ask about it. The thread running UploadStart claims it, names the run
// of each showing as it opens and lets go; a run is reached only under the
// lock, so a cancel from another thread never touches a run that
// UploadStart has dropped.
class ActiveUpload {
public:
    // False when an upload is under way already.
    bool Claim(UploadRunHost* host) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (claimed_) return false;
        claimed_ = true;
        host_ = host;
        return true;
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        claimed_ = false;
        run_ = nullptr;
        host_ = nullptr;
    }
    // The run now named; null between runs. Named before the previous run
    // is destroyed. showing: its dialog is up (ShowProgress has not returned).
    void Naming(CUploadProgress* run, bool showing) {
        std::lock_guard<std::mutex> lock(mutex_);
        run_ = run;
        showing_ = showing;
    }
    bool InProgress() {
        std::lock_guard<std::mutex> lock(mutex_);
        return claimed_;
    }
    void Raise(unsigned signals) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (run_) run_->signals.Raise(signals);
    }
    bool Raised(unsigned signals) {
        std::lock_guard<std::mutex> lock(mutex_);
        return run_ && run_->signals.Raised(signals);
    }
    // Raised before the host closes the run's questions, so that a question
    // closed under the worker is already answered as abandoned.
    void Abandon() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!run_ || !showing_) return;
        run_->signals.Raise(RunSignals::Cancel | RunSignals::Abandon);
        if (host_) host_->CloseForAbandon();
    }

private:
    std::mutex mutex_;
    bool claimed_ = false;             // under mutex_
    bool showing_ = false;             // under mutex_
    CUploadProgress* run_ = nullptr;   // under mutex_
    UploadRunHost* host_ = nullptr;    // under mutex_
};

ActiveUpload& Active() {
    static ActiveUpload active;
    return active;
}

// The claim of one UploadStart, let go on every way out.
class ClaimedUpload {
public:
    explicit ClaimedUpload(UploadRunHost* host) : claimed_(Active().Claim(host)) {}
    ~ClaimedUpload() {
        if (claimed_) Active().Release();
    }
    ClaimedUpload(const ClaimedUpload&) = delete;
    ClaimedUpload& operator=(const ClaimedUpload&) = delete;
    bool Claimed() const { return claimed_; }

private:
    bool claimed_;
};

void PrepareSession(UploadSession& session, const ProcessSettings& settings, UploadStartServices& services) {
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
}

// Names run in the registry and shows it; it stays named after, so that a
// cancel during the question before a re-run still reaches it.
void ShowRun(UploadSession& session, CUploadProgress& run, UploadRunHost& host) {
    Active().Naming(&run, true);
    host.ShowProgress(session, run);
    Active().Naming(&run, false);
}

bool RunStoppedTheUpload(const UploadSession& session, const CUploadProgress& run) {
    return run.Cancelled() || session.allSucceeded || run.stoppedOnRefusal;
}

// The automatic re-runs of the failed files, with a question after every
// third; the last run is returned.
std::unique_ptr<CUploadProgress> Rerun(UploadSession& session, std::unique_ptr<CUploadProgress> run,
                                       UploadStartServices& services) {
    for (int reruns = 0;; ++reruns) {
        if (reruns == kRerunsPerQuestion) {
            std::wstring names;
            for (const UploadEntry* e : run->failedEntries) names += e->fileName + L"\r\n";
            std::wstring text =
                FormatText(L"업로드에 실패한 항목이 있습니다.\r\n재시도 하시겠습니까?\r\n\r\n%ls", names.c_str());
            if (services.controlBoxes->Show(text, L"Warning", MbYesNo) != IdYes) return run;
            reruns = 0;
        }
        auto next = std::make_unique<CUploadProgress>();
        next->runEntries = run->failedEntries;
        next->runTotalBytes = run->failedBytes;
        next->statusText = kRerunStatus;
        Active().Naming(next.get(), false);
        run = std::move(next);
        ShowRun(session, *run, *services.runHost);
        if (RunStoppedTheUpload(session, *run)) return run;
    }
}

}  // namespace

bool UploadRunInProgress() { return Active().InProgress(); }

void CancelUploadRun() { Active().Raise(RunSignals::Cancel); }

void AbandonUploadRun() { Active().Abandon(); }

bool UploadRunAbandoned() { return Active().Raised(RunSignals::Abandon); }

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
    ClaimedUpload claim(services.runHost);
    if (!claim.Claimed()) return 0;

    UploadSession session;
    PrepareSession(session, settings, services);
    // The runs' own entries: every run and its re-runs point into them, and
    // the list is not touched again until it is emptied.
    std::vector<UploadEntry> entries = list.Entries();
    auto run = std::make_unique<CUploadProgress>();
    for (UploadEntry& e : entries) run->runEntries.push_back(&e);
    run->runTotalBytes = list.TotalSize();
    ShowRun(session, *run, *services.runHost);
    if (!RunStoppedTheUpload(session, *run)) run = Rerun(session, std::move(run), services);

    if (run->Cancelled()) services.controlBoxes->Show(L"업로드가 취소되었습니다.", L"알림", MbOk);
    Active().Naming(nullptr, false);
    run.reset();
    list.Clear();
    return session.allSucceeded ? 1 : 0;
}

}  // namespace parvex
