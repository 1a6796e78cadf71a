#include "download_state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/format.h"
#include "common/settings.h"
#include "common/trace.h"
#include "common/url.h"
#include "common/utf8.h"
#include "save_folder.h"

namespace parvex {

int ProgressPercent(double part, double whole) {
    if (!(whole > 0)) return 0;
    double p = part / whole * 100;
    // Written so that NaN lands on 0 and never reaches the cast.
    if (!(p > 0)) return 0;
    if (p > 100) return 100;
    return static_cast<int>(p);
}

void DownloadDialog::SendMerge(DownloadDialogCalls& state) { state.MergePendingEntries(View(), this); }
void DownloadDialog::SendRefresh(DownloadDialogCalls& state) { state.ShowAddedEntries(View(), this); }

const wchar_t* PhaseName(SessionPhase phase) {
    switch (phase) {
    case SessionPhase::Open: return L"open";
    case SessionPhase::Running: return L"running";
    case SessionPhase::Finishing: return L"finishing";
    case SessionPhase::Closing: return L"closing";
    case SessionPhase::Ended: return L"ended";
    }
    return L"?";
}

DownloadSession::DownloadSession(std::shared_ptr<DownloadDialog> dialog, const DownloadHostParts& server,
                                 std::wstring cookie)
    : dialog_(std::move(dialog)),
      host_(server.host),
      port_(server.port),
      secure_(server.secure),
      cookie_(std::move(cookie)) {}

// Its worker was joined by the watcher; the notice of the dialog's thread
// ends before the signals it raises go.
DownloadSession::~DownloadSession() { threadEnd_.reset(); }

void DownloadSession::Enter(SessionPhase next) {
    if (next == phase_) return;
    TraceChange(L"download session", PhaseName(phase_), PhaseName(next));
    phase_ = next;
}

namespace {

constexpr int kNameColumnWidth = 330;
constexpr int kStatusColumnWidth = 70;

// Where boxes go when nothing on screen can show them.
class StderrMessageBox : public MessageBoxHost {
public:
    MessageAnswer Show(const std::wstring& text, const std::wstring& caption, unsigned style) override {
        std::fprintf(stderr, "[%s] %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
        return (style & 0xF) == MbYesNo ? IdNo : IdOk;
    }
};

// The page's declared size feeds totals and bars only, but a size that is
// not a count (NaN, infinite, negative) would falsify both: refused.
bool UsableSize(double size) { return std::isfinite(size) && size >= 0; }

using Rows = std::vector<std::pair<int, std::wstring>>;

void ShowWaitingRows(DownloadView& view, const Rows& rows) {
    for (auto& row : rows) {
        view.InsertRow(row.first, row.second);
        view.SetRowStatus(row.first, kRowDownloadWaiting);
    }
}

}  // namespace

DownloadState::DownloadState(const DownloadPlatform& platform) : platform_(platform) {
    fs_ = platform.fs ? platform.fs : &LocalFileSystem();
    network_ = platform.network ? platform.network : &PlatformNetwork();
    clock_ = platform.clock ? platform.clock : &SystemClock();
    if (platform.store) {
        store_ = platform.store;
    } else {
        ownedStore_ = MakePlatformSettingsStore();
        store_ = ownedStore_.get();
    }
    stderrMessages_ = std::make_unique<StderrMessageBox>();
    controlMessages_ = platform.controlMessages ? platform.controlMessages : stderrMessages_.get();
    promptMessages_ = platform.promptMessages ? platform.promptMessages : stderrMessages_.get();
    engine_ = platform.engine;
}

DownloadState::~DownloadState() {
    {
        Lock lock(mutex_);
        if (session_) session_->signals_.Raise(RunSignals::Cancel | RunSignals::Close);
        changed_.wait(lock, [this] { return AllWatchersFinishedLocked(); });
    }
    ReapEndedSessions();
}

bool DownloadState::AllWatchersFinishedLocked() const {
    for (const Watcher& w : watchers_)
        if (!w.finished) return false;
    return true;
}

void DownloadState::ReapEndedSessions() {
    std::list<Watcher> ended;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = watchers_.begin(); it != watchers_.end();) {
            auto next = std::next(it);
            if (it->finished) ended.splice(ended.end(), watchers_, it);
            it = next;
        }
    }
    // Each finished watcher is taken by one reaper alone, which joins it;
    // its hold goes with it.
    for (Watcher& w : ended) w.thread.join();
}

void DownloadState::ResetOnControlConstruction() {
    std::lock_guard<std::mutex> lock(mutex_);
    // A control made while the queue still holds entries (a second control
    // on the page, or one made while a dialog is open) must not make the
    // worker forget entries waiting to be merged, nor zero the total the
    // bars divide by: both follow the queue as it is.
    if (session_) {
        if (pendingList_.empty())
            session_->signals_.Clear(RunSignals::Added);
        else
            session_->signals_.Raise(RunSignals::Added);
    }
    downloadTotalBytes_ = 0;
    for (auto& e : downloadList_) downloadTotalBytes_ += e->size;
    for (auto& e : pendingList_) downloadTotalBytes_ += e->size;
    addCallCount_ = 0;
    addFailed_ = false;
    addFailureText_.clear();
}

// Waiting, fetched or about to be merged: one name is fetched once per dialog.
int DownloadState::FindEntryByNameLocked(const std::wstring& name) const { return names_.count(name) ? -1 : 0; }

int DownloadState::FindEntryByName(const std::wstring& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    return FindEntryByNameLocked(name);
}

bool DownloadState::IsOpenLocked(const DownloadDialog* from) const {
    return session_ && (!from || session_->dialog_.get() == from);
}

short DownloadState::AddDownloadFile(const std::wstring& urlPath, const std::wstring& fileName, double size,
                                     int totalAddCount, MessageBoxHost* callerBoxes) {
    std::shared_ptr<DownloadDialog> refresh;
    std::wstring report;
    short result = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        EndDeadSessionLocked();
        bool duplicate = FindEntryByNameLocked(fileName) == -1;
        std::shared_ptr<DownloadSession> session = session_;
        if (session) {
            // The batch counter belongs to calls made while no dialog is open.
            if (duplicate || !UsableSize(size)) return -1;
        } else {
            if (duplicate) {
                addFailureText_ += FormatText(L"%ls => 동일파일 존재\r\n", fileName.c_str());
                addFailed_ = true;
                result = -1;
            } else if (!UsableSize(size)) {
                result = -1;
            }
            ++addCallCount_;
            if (addCallCount_ == totalAddCount) {
                if (addFailed_) report = addFailureText_;
                addFailureText_.clear();
                addFailed_ = false;
                addCallCount_ = 0;
            }
        }
        if (result == 0) {
            auto entry = std::make_shared<DownloadEntry>();
            entry->urlPath = urlPath;
            entry->fileName = fileName;
            entry->size = size;
            entry->listIndex = static_cast<int32_t>(downloadList_.size());
            entry->state = DownloadEntry::Waiting;
            downloadTotalBytes_ += entry->size;
            names_.insert(fileName);
            if (session && session->phase_ == SessionPhase::Running) {
                pendingList_.push_back(entry);
                session->signals_.Raise(RunSignals::Added);
            } else {
                downloadList_.push_back(entry);
                if (session) refresh = session->dialog_;
            }
        }
    }
    if (!report.empty())
        (callerBoxes ? callerBoxes : controlMessages_)->Show(report, L"항목 추가 실패", MbOk | MbIconWarning);
    if (refresh) refresh->SendRefresh(*this);
    return result;
}

void DownloadState::DownloadStart() {
    ReapEndedSessions();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        EndDeadSessionLocked();
        // One session at a time: the first caller claims it, the rest do
        // nothing.
        if (session_ || claiming_) return;
        claiming_ = true;
    }
    // Held from here: the dialog's window runs the module's code.
    ModuleHold hold;
    std::shared_ptr<DownloadSession> session = OpenSession();
    Lock lock(mutex_);
    claiming_ = false;
    if (!session) {
        changed_.notify_all();
        return;
    }
    watchers_.emplace_back();
    Watcher& watcher = watchers_.back();
    watcher.hold = std::move(hold);
    // Started under the lock: the watcher finishes under it, after this.
    watcher.thread = std::thread(&DownloadState::Watch, this, std::move(session), &watcher);
}

// Makes, fills and shows the dialog of a claimed session; null when none
// could be made.
std::shared_ptr<DownloadSession> DownloadState::OpenSession() {
    const std::wstring hostUrl = Settings().downloadHostUrl;
    std::wstring cookie = platform_.cookies ? FetchCookies(*platform_.cookies, hostUrl) : std::wstring();
    DownloadHostParts parts = SplitDownloadHostUrl(hostUrl);
    // A URL the client must not talk to leaves no host: every file then
    // fails to connect and nothing is sent.
    if (!IsUsableHttpUrl(hostUrl)) parts.host.clear();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lastHost_ = parts.host;
        lastPort_ = parts.port;
        lastCookie_ = cookie;
    }
    std::shared_ptr<DownloadDialog> dialog = platform_.dialogFactory ? platform_.dialogFactory->Create(*this) : nullptr;
    if (!dialog) return nullptr;
    auto session = std::make_shared<DownloadSession>(dialog, parts, cookie);
    // The dialog lives on this thread: its end, which may take the window
    // without a word, reaches the watcher as Gone.
    if (platform_.threadEnds) {
        RunSignals* signals = &session->signals_;
        session->threadEnd_ =
            platform_.threadEnds->WatchCallingThread([signals] { signals->Raise(RunSignals::Gone); });
    }
    InitializeDialog(session);
    dialog->Show();
    return session;
}

void DownloadState::InitializeDialog(const std::shared_ptr<DownloadSession>& session) {
    DownloadView& view = session->Dialog().View();
    view.SetCaption(Settings().downloadTitle);
    view.SetText(IdcDnCancelButton, L"전송취소");
    std::wstring folder = LoadSavePath(*store_, *fs_, L"");
    SetSaveFolder(folder);
    view.SetText(IdcDnSaveFolderEdit, folder);
    Rows rows;
    double total;
    {
        // Published with the rows it shows: an addition from now on reaches
        // the dialog as a refresh.
        std::lock_guard<std::mutex> lock(mutex_);
        session_ = session;
        session->entryCount_ = static_cast<int>(downloadList_.size());
        for (auto& e : downloadList_) rows.emplace_back(e->listIndex, e->fileName);
        total = ShownTotalLocked();
    }
    ShowWaitingRows(view, rows);
    view.SetColumnWidths(kNameColumnWidth, kStatusColumnWidth);
    ShowTotalLabel(view, total);
}

// The session's watcher: sleeps until the dialog is closed or gone, then
// stops the run, joins the worker (it alone does), has the window destroyed
// and lets go of the session, and with it of the module.
void DownloadState::Watch(std::shared_ptr<DownloadSession> session, Watcher* self) {
    RunSignals& signals = session->signals_;
    signals.Wait(RunSignals::Close | RunSignals::Gone);
    // A run still going when the window went stops at its next check (the
    // queue going away raises the cancel itself; a close comes only once no
    // run goes on). No run starts from here: start is refused once either
    // signal was raised, and the worker returns once no start waits.
    if (signals.Raised(RunSignals::Gone)) signals.Raise(RunSignals::Cancel);
    signals.Raise(RunSignals::Quit);
    std::thread worker;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        worker = std::move(session->worker_);
    }
    if (worker.joinable()) worker.join();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (session_ == session) session->Enter(SessionPhase::Closing);
    }
    // The dialog stays the open one until its window is gone: closing it
    // waits for the dialog's thread, and a DownloadStart made there
    // meanwhile must find a dialog open rather than wait for this thread.
    if (!signals.Raised(RunSignals::Gone)) session->dialog_->SendClose();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        EndSessionLocked(*session);
    }
    // The dialog object goes with the last owner, on this thread.
    session.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    self->finished = true;
    changed_.notify_all();
}

// The session's worker: one run per press of start, until the session ends.
// A start pressed before the end still runs (and stops at its first check),
// so that its end is shown like any other's.
void DownloadState::WorkRuns(DownloadSession& session) {
    RunSignals& signals = session.signals_;
    for (;;) {
        signals.Wait(RunSignals::Start | RunSignals::Quit);
        if (!signals.Take(RunSignals::Start)) return;
        engine_->Run(*this, session);
    }
}

void DownloadState::EndSessionLocked(DownloadSession& session) {
    if (session_.get() != &session) return;
    session.Enter(SessionPhase::Ended);
    downloadList_.clear();
    pendingList_.clear();
    names_.clear();
    downloadTotalBytes_ = 0;
    session_.reset();
    changed_.notify_all();
}

// A dialog whose window went without a word (its thread ended) ends its
// session as soon as the page calls, so that the call is not refused or
// queued into a list nobody will show.
void DownloadState::EndDeadSessionLocked() {
    if (!session_ || session_->dialog_->Alive()) return;
    session_->signals_.Raise(RunSignals::Gone | RunSignals::Cancel);
    EndSessionLocked(*session_);
}

void DownloadState::DialogDestroyed(const DownloadDialog& dialog) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!IsOpenLocked(&dialog)) return;
    session_->signals_.Raise(RunSignals::Gone | RunSignals::Cancel);
    EndSessionLocked(*session_);
}

void DownloadState::ShowTotalLabel(DownloadView& view, double total) {
    view.SetText(IdcDnTotalSizeLabel, L" / " + FormatSize(total));
}

void DownloadState::MergePendingEntries(DownloadView& view, const DownloadDialog* from) {
    Rows rows;
    double total;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!IsOpenLocked(from)) return;
        int n = static_cast<int>(downloadList_.size());
        for (auto& p : pendingList_) {
            auto copy = std::make_shared<DownloadEntry>(*p);
            copy->listIndex = n;
            copy->state = DownloadEntry::Waiting;
            downloadList_.push_back(copy);
            rows.emplace_back(n, copy->fileName);
            ++n;
        }
        session_->entryCount_ += static_cast<int>(pendingList_.size());
        pendingList_.clear();
        session_->signals_.Clear(RunSignals::Added);
        total = ShownTotalLocked();
    }
    ShowWaitingRows(view, rows);
    // Only the total grew: the run's own byte count stays as shown.
    ShowTotalLabel(view, total);
    view.SetColumnWidths(kNameColumnWidth, kStatusColumnWidth);
}

// Rows for the entries added since the rows were last shown, appended after
// them: the rows already shown keep their statuses, and a page that queues
// many files into the open dialog costs one row each.
void DownloadState::ShowAddedEntries(DownloadView& view, const DownloadDialog* from) {
    Rows rows;
    double total;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!IsOpenLocked(from)) return;
        // The new entries are the last ones: found from the end.
        const int shown = session_->entryCount_;
        auto it = downloadList_.end();
        while (it != downloadList_.begin() && (*std::prev(it))->listIndex >= shown) --it;
        for (; it != downloadList_.end(); ++it) rows.emplace_back((*it)->listIndex, (*it)->fileName);
        session_->entryCount_ = static_cast<int>(downloadList_.size());
        total = ShownTotalLocked();
    }
    ShowWaitingRows(view, rows);
    view.SetColumnWidths(kNameColumnWidth, kStatusColumnWidth);
    ShowTotalLabel(view, total);
}

int DownloadState::DeleteSelectedEntries(DownloadView& view, double receivedBytes) {
    return DeleteSelected(nullptr, view, receivedBytes);
}

int DownloadState::DeleteSelectedEntries(DownloadSession& session, DownloadView& view, double receivedBytes) {
    return DeleteSelected(&session, view, receivedBytes);
}

// session: the worker's own, which must still be the open one; null: the
// open one, or the queue alone when no dialog is open.
int DownloadState::DeleteSelected(DownloadSession* session, DownloadView& view, double receivedBytes) {
    std::vector<int> selected = view.SelectedRows();
    std::sort(selected.begin(), selected.end());
    std::vector<int> removedRows;
    bool currentRemoved = false;
    double total, done = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (session && session_.get() != session) return 0;
        double sum = 0;
        int k = 0;
        for (int r : selected) {
            auto it = std::find_if(downloadList_.begin(), downloadList_.end(),
                                   [&](const DownloadEntryPtr& e) { return e->listIndex == r - k; });
            if (it == downloadList_.end()) continue;
            DownloadEntryPtr entry = *it;
            if (entry->state != DownloadEntry::Waiting && entry->state != DownloadEntry::Transferring) continue;
            for (auto& e : downloadList_)
                if (e->listIndex > entry->listIndex) --e->listIndex;
            downloadList_.erase(it);
            names_.erase(entry->fileName);
            sum += entry->size;
            ++k;
            removedRows.push_back(r);
            if (entry->state == DownloadEntry::Transferring) currentRemoved = true;
        }
        if (k == 0) return 0;
        downloadTotalBytes_ -= sum;
        total = ShownTotalLocked();
        if (session_) {
            session_->entryCount_ -= k;
            if (receivedBytes > 0) session_->doneBytes_ -= receivedBytes;
            done = session_->doneBytes_;
        }
    }
    for (auto it = removedRows.rbegin(); it != removedRows.rend(); ++it) view.DeleteRow(*it);
    ShowTotalLabel(view, total);
    if (receivedBytes > 0) view.SetText(IdcDnDoneBytesLabel, FormatSize(done));
    view.SetProgress(IdcDnTotalProgress, ProgressPercent(done, total));
    return currentRemoved ? -1 : 0;
}

void DownloadState::StartRun(const DownloadDialog* from) {
    if (!engine_) return;
    std::shared_ptr<DownloadSession> session;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!IsOpenLocked(from)) return;
        session = session_;
        // Once closing was asked for, the watcher is ending the session and
        // empties the lists; a run must not start under it.
        if (session->phase_ != SessionPhase::Open || session->signals_.Raised(RunSignals::Close | RunSignals::Gone))
            return;
        session->Enter(SessionPhase::Running);
        // What stopped or trimmed an earlier run of this dialog is spent.
        session->signals_.Clear(RunSignals::Cancel | RunSignals::Delete);
        // Started under the lock: the watcher takes it under the same lock,
        // so no worker escapes its join. One worker serves every run of
        // the dialog.
        if (!session->worker_.joinable())
            session->worker_ = std::thread(&DownloadState::WorkRuns, this, std::ref(*session));
        session->signals_.Raise(RunSignals::Start);
    }
    DownloadView& view = session->Dialog().View();
    view.EnableControl(IdcDnStartButton, false);
    view.EnableControl(IdcDnChangeFolderButton, false);
    // A later run of the same dialog cancels and deletes again.
    view.SetText(IdcDnCancelButton, L"전송취소");
    view.EnableControl(IdcDnDeleteButton, true);
}

bool DownloadState::RunGoingLocked() const { return session_ && session_->phase_ == SessionPhase::Running; }

void DownloadState::CancelOrClose(const DownloadDialog* from) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!IsOpenLocked(from)) return;
    session_->signals_.Raise(RunGoingLocked() ? RunSignals::Cancel : RunSignals::Close);
}

void DownloadState::DeleteButton(DownloadView& view, const DownloadDialog* from) {
    if (view.SelectedRows().empty()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!IsOpenLocked(from)) return;
        if (RunGoingLocked()) {
            session_->signals_.Raise(RunSignals::Delete);
            return;
        }
    }
    DeleteSelected(nullptr, view, 0);
}

void DownloadState::ChangeFolder(DownloadView& view) {
    if (!platform_.folderChooser) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (RunGoingLocked()) return;
    }
    SetSaveFolder(ChooseSaveFolder(*platform_.folderChooser, *store_, *fs_, view));
}

void DownloadState::WaitSessionClosed() {
    {
        Lock lock(mutex_);
        changed_.wait(lock, [this] { return !session_ && !claiming_ && AllWatchersFinishedLocked(); });
    }
    ReapEndedSessions();
}

void DownloadState::WaitRunFinished() {
    Lock lock(mutex_);
    changed_.wait(lock, [this] {
        return !session_ || (session_->phase_ != SessionPhase::Running && session_->phase_ != SessionPhase::Finishing);
    });
}

DownloadSnapshot DownloadState::Snapshot() {
    std::lock_guard<std::mutex> lock(mutex_);
    DownloadSnapshot s;
    s.open = session_ != nullptr;
    if (session_) {
        const SessionPhase phase = session_->phase_;
        s.running = phase == SessionPhase::Running;
        s.pendingAdded = session_->signals_.Raised(RunSignals::Added);
        s.entryCount = session_->entryCount_;
        s.doneBytes = session_->doneBytes_;
        // The worker writes it without the lock; its run's end publishes it.
        if (phase != SessionPhase::Running && phase != SessionPhase::Finishing) s.conflict = session_->conflict_;
    }
    s.totalBytes = downloadTotalBytes_;
    s.addCallCount = addCallCount_;
    s.addFailed = addFailed_;
    s.addFailureText = addFailureText_;
    s.host = lastHost_;
    s.port = lastPort_;
    s.cookie = lastCookie_;
    return s;
}

std::vector<DownloadEntry> DownloadState::Entries() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<DownloadEntry> out;
    for (auto& e : downloadList_) out.push_back(*e);
    return out;
}

std::vector<DownloadEntry> DownloadState::PendingEntries() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<DownloadEntry> out;
    for (auto& e : pendingList_) out.push_back(*e);
    return out;
}

std::shared_ptr<DownloadDialog> DownloadState::Dialog() {
    std::lock_guard<std::mutex> lock(mutex_);
    return session_ ? session_->dialog_ : nullptr;
}

double DownloadState::TotalBytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return downloadTotalBytes_;
}

std::wstring DownloadState::SaveFolder() {
    std::lock_guard<std::mutex> lock(mutex_);
    return saveFolder_;
}

void DownloadState::SetSaveFolder(const std::wstring& folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    saveFolder_ = folder;
}

void DownloadState::SetAllStates(int32_t state) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& e : downloadList_) e->state = state;
}

void DownloadState::SetSilentServerTimeout(uint32_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    silentServerTimeoutMs_ = ms;
}

uint32_t DownloadState::SilentServerTimeout() {
    std::lock_guard<std::mutex> lock(mutex_);
    return silentServerTimeoutMs_;
}

void DownloadState::SetResuming(const ResumePolicy& policy) {
    std::lock_guard<std::mutex> lock(mutex_);
    resuming_ = policy;
}

ResumePolicy DownloadState::Resuming() {
    std::lock_guard<std::mutex> lock(mutex_);
    return resuming_;
}

DownloadEntryPtr DownloadState::EntryAt(const DownloadSession& session, int listIndex) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (session_.get() != &session) return nullptr;
    for (auto& e : downloadList_)
        if (e->listIndex == listIndex) return e;
    return nullptr;
}

int DownloadState::EntryCount(const DownloadSession& session) {
    std::lock_guard<std::mutex> lock(mutex_);
    return session.entryCount_;
}

std::pair<double, double> DownloadState::AddDoneBytes(DownloadSession& session, double n) {
    std::lock_guard<std::mutex> lock(mutex_);
    session.doneBytes_ += n;
    return {session.doneBytes_, downloadTotalBytes_ - session.skippedBytes_};
}

std::pair<double, double> DownloadState::SkipBytes(DownloadSession& session, double size) {
    std::lock_guard<std::mutex> lock(mutex_);
    session.skippedBytes_ += size;
    return {session.doneBytes_, downloadTotalBytes_ - session.skippedBytes_};
}

double DownloadState::ShownTotalLocked() const {
    return downloadTotalBytes_ - (session_ ? session_->skippedBytes_ : 0);
}

void DownloadState::MergeIfPending(DownloadSession& session) {
    if (session.signals_.Raised(RunSignals::Added)) session.Dialog().SendMerge(*this);
}

void DownloadState::EndRun(DownloadSession& session) {
    // Cleared under the lock that AddDownloadFile reads it under, once
    // nothing waits to be merged: an addition made after the last check of
    // the run is still shown as a row instead of staying unseen. From here
    // on the close box closes and additions become rows at once.
    for (;;) {
        MergeIfPending(session);
        std::lock_guard<std::mutex> lock(mutex_);
        if (session.signals_.Raised(RunSignals::Added) && session_.get() == &session) continue;
        if (session.phase_ == SessionPhase::Running) session.Enter(SessionPhase::Finishing);
        return;
    }
}

void DownloadState::FinishRun(DownloadSession& session) {
    // Files queued after this run are fetched by the next press of start.
    if (!session.signals_.Raised(RunSignals::Gone)) session.Dialog().View().EnableControl(IdcDnStartButton, true);
    std::lock_guard<std::mutex> lock(mutex_);
    if (session.phase_ == SessionPhase::Running || session.phase_ == SessionPhase::Finishing)
        session.Enter(SessionPhase::Open);
    changed_.notify_all();
}

int32_t DownloadState::StateOf(const DownloadEntry& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    return entry.state;
}

int DownloadState::SetEntryState(DownloadEntry& entry, int32_t state) {
    std::lock_guard<std::mutex> lock(mutex_);
    entry.state = state;
    return entry.listIndex;
}

}  // namespace parvex
