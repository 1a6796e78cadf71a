#include "download_engine.h"

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <utility>

#include "common/cookies.h"
#include "common/format.h"
#include "common/http_reply.h"
#include "common/progress_pace.h"
#include "common/shown_text.h"
#include "common/url.h"
#include "common/utf8.h"
#include "kept_connection.h"
#include "partial_file.h"
#include "resume_record.h"
#include "target_path.h"
#include "temporary_name.h"
#include "write_behind.h"

namespace parvex {

// The status line is the first line of the head that names HTTP/1.1; an
// HTTP/1.0 reply has none and fails.
StatusCheck ParseStatusLine(const std::wstring& header, std::wstring& statusText) {
    statusText.clear();
    WideReplyHead head = ReadReplyHead(header);
    for (const std::wstring& line : head.lines) {
        if (LowerAscii(line).find(L"http/1.1") == std::wstring::npos) continue;
        int code = StatusCodeOf(line);
        if (code == 200) return StatusCheck::Ok;
        statusText = StatusRest(line);
        return code >= 500 ? StatusCheck::ServerError : StatusCheck::ClientError;
    }
    return StatusCheck::NoStatusLine;
}

double ParseContentLength(const std::wstring& header) {
    WideReplyHead head = ReadReplyHead(header);
    ContentLength length = ContentLengthOf(head);
    // A chunked body would reach the file with its chunk lines in it.
    if (IsChunked(head) || length.state != ContentLength::State::Usable) return -1;
    return static_cast<double>(length.bytes);
}

std::wstring BuildDownloadRequest(const std::wstring& urlPath, const std::wstring& host, int port,
                                  const std::wstring& cookie, const std::string& rangeLines) {
    std::string escaped = EscapeRequestTarget(urlPath);
    std::wstring path(escaped.begin(), escaped.end());  // plain ASCII
    std::wstring request = FormatText(
        L"GET %ls HTTP/1.1\r\nAccept: */*\r\nAccpet-Encoding: deflate\r\nHost: %ls:%d\r\n"
        L"User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\nConnection: Keep-Alive\r\n",
        path.c_str(), host.c_str(), port);
    request += std::wstring(rangeLines.begin(), rangeLines.end());  // plain ASCII
    if (!cookie.empty())
        request += L"Cookie: " + cookie + L"\r\n\r\n";
    else
        request += L"\r\n";
    return request;
}

namespace {

using R = DownloadResult;
// A step that does not end the entry's transfer hands back nothing.
using Step = std::optional<DownloadResult>;
constexpr std::nullopt_t kGoOn = std::nullopt;

// The checks made between the steps of a transfer.
bool Cancelled(const DownloadSession& session) { return session.Signals().Raised(RunSignals::Cancel); }

bool CurrentEntryDeleted(DownloadWorkerCalls& state, DownloadSession& session, double fileBytes) {
    if (!session.Signals().Take(RunSignals::Delete)) return false;
    return state.DeleteSelectedEntries(session, session.Dialog().View(), fileBytes) == -1;
}

// One entry across its tries: its partial file, where that stands and how
// it may go on.
struct EntryFetch {
    FileSystem* fs = nullptr;
    ResumePolicy policy;
    std::string address;  // what a kept part is recorded as coming from
    std::unique_ptr<PartialFile> partial;  // once the target is chosen
    ResumeProgress progress;
    bool headAccepted = false;  // a try got as far as the body: the file may be tried again
    bool refused = false;       // a range was refused once: the file started over
    bool askedRange = false;    // the current try asks for the rest
    const wchar_t* shown = kRowTransferring;  // the row's status

    // A broken part that a later try or run can go on with.
    bool Resumable() const {
        return policy.resume && progress.basis.Usable() && progress.kept > 0 && partial &&
               !partial->TemporaryPath().empty();
    }
    // Records beside the part at path what a later run needs to go on with
    // it; false when it cannot be gone on with.
    bool Record(const std::wstring& path) {
        return Resumable() && SaveResumeRecord(*fs, path, ResumeRecord{address, progress.basis});
    }
    // Kept for a later run when it can be gone on with, else deleted.
    void Leave() {
        if (!partial) return;
        if (Record(partial->TemporaryPath()))
            partial->Suspend();
        else
            partial->Discard();
    }
    // Kept as the user asked, with its record when it can be gone on with.
    void Keep() {
        bool resumable = Resumable();
        std::wstring kept = partial->Keep();
        if (resumable && !kept.empty()) Record(kept);
    }
};

// The user cancelled while the file was being written. With the dialog gone
// there is nobody to ask: a part that can be gone on with stays for the next
// run, any other goes.
DownloadResult CancelPartial(DownloadSession& session, EntryFetch& fetch) {
    if (session.Signals().Raised(RunSignals::Gone)) {
        fetch.Leave();
        return R::Cancelled;
    }
    MessageAnswer answer = session.Dialog().View().Messages().Show(L"현재 다운로드중인 파일을 삭제 하시겠습니까?",
                                                                   L"Download Cancel", MbYesNo);
    if (answer == IdYes)
        fetch.partial->Discard();
    else
        fetch.Keep();
    return R::Cancelled;
}

// One entry's transfer: what every step needs.
struct Transfer {
    DownloadWorkerCalls& state;
    DownloadSession& session;
    DownloadView& view;
    Socket* socket;  // the current try's
    DownloadBuffers& buffers;
    const DownloadEntryPtr& entry;
    std::wstring& line;
    uint32_t silentTimeoutMs;
    std::wstring target;
    bool replace = false;  // the user agreed to overwrite the file at target
    EntryFetch& fetch;

    // Waits for the next bytes; between slices it gives way to what the
    // worker must see at once (merges, the cancel and, while the body is
    // read, deletions): those end it as WaitOutcome::Cancelled.
    // pace: what the waits of a file's reply keep true.
    WaitOutcome Wait(bool deletions, ProgressPace* pace) {
        ServerWait wait;
        wait.clock = &state.Time();
        wait.timeoutMs = silentTimeoutMs;
        wait.signals = &session.Signals();
        wait.stopOn = RunSignals::Added | RunSignals::Cancel | (deletions ? RunSignals::Delete : 0u);
        if (pace) wait.catchUp = [pace] { return pace->CatchUp(); };
        return WaitForBytes(*socket, wait);
    }
};

// The checks made before and after the request.
Step BetweenSteps(Transfer& t) {
    t.state.MergeIfPending(t.session);
    if (CurrentEntryDeleted(t.state, t.session, 0)) return R::EntryDeleted;
    if (Cancelled(t.session)) return R::Cancelled;
    return kGoOn;
}

// The request, for the rest of the file when a part of it is kept.
bool SendRequest(Transfer& t) {
    const DownloadSession& s = t.session;
    EntryFetch& f = t.fetch;
    f.askedRange = f.progress.AsksRange(f.policy);
    std::string range = f.askedRange ? RangeRequestLines(f.progress.basis, f.progress.kept) : std::string();
    std::string request = ToUtf8(BuildDownloadRequest(t.entry->urlPath, s.Host(), s.Port(), s.Cookie(), range));
    return t.socket->SendAll(request.data(), request.size());
}

// Where the entry goes, after the existing-file decision.
Step ChooseTarget(Transfer& t) {
    DownloadWorkerCalls& state = t.state;
    FileSystem& fs = state.Files();
    TargetKind kind = PrepareTarget(fs, state.SaveFolder(), t.entry->fileName, t.target);
    if (kind == TargetKind::Refused) return R::CreateFailed;
    if (kind == TargetKind::Folder) return R::Done;
    if (!fs.Exists(t.target)) return kGoOn;

    ExistingFileDecision decision = DecideExistingFile(t.session.Conflict(), fs, state.SamePrompt(), state.NamePrompt(),
                                                       state.PromptMessages(), *t.entry, t.target);
    if (decision.answer == ExistingFileDecision::Skip) {
        auto [done, total] = state.SkipBytes(t.session, t.entry->size);
        t.view.SetText(IdcDnTotalSizeLabel, L" / " + FormatSize(total));
        t.view.SetProgress(IdcDnTotalProgress, ProgressPercent(done, total));
        t.line = FormatText(L"%ls -> User Cancel\r\n", t.entry->fileName.c_str());
        return R::Skipped;
    }
    t.replace = decision.answer == ExistingFileDecision::Overwrite;
    t.target = decision.targetPath;
    if (!IsWritableTarget(fs, t.target)) return R::CreateFailed;
    return kGoOn;
}

// What came back before the body: the reply's head and the first bytes of
// the body that arrived with it.
struct ReplyStart {
    size_t received = 0;   // bytes read so far, the head included
    size_t headBytes = 0;  // the head with its empty line
    double length = 0;     // the body's announced length
    size_t already = 0;    // body bytes read with the head, never past length
    bool append = false;   // the body is the rest of the kept part
};

// Reads the reply's head into the header buffer, in small reads so that
// little of the body is taken along with it.
Step ReadReplyHeader(Transfer& t, ReplyStart& reply, ProgressPace* pace) {
    char* header = t.buffers.header;
    size_t& used = reply.received;
    size_t headEnd = std::string_view::npos;
    while (headEnd == std::string_view::npos) {
        t.state.MergeIfPending(t.session);
        if (Cancelled(t.session)) return R::Cancelled;
        // A header that fills the buffer without ending is not one we can read.
        if (used == DownloadBuffers::kHeaderSize) return R::SocketError;
        size_t want = std::min(DownloadBuffers::kHeaderChunk, DownloadBuffers::kHeaderSize - used);
        IoResult got = t.socket->RecvSome(header + used, want);
        if (got.status == IoStatus::Later) {
            WaitOutcome w = t.Wait(false, pace);
            if (w == WaitOutcome::Ready || w == WaitOutcome::Cancelled) continue;
            return R::SocketError;
        }
        // Closed: the peer closed before the header was complete.
        if (!got.HasBytes()) return R::SocketError;
        size_t searched = used;
        used += got.bytes;
        headEnd = HeadLength(std::string_view(header, used), searched);
    }
    reply.headBytes = headEnd;
    return kGoOn;
}

// The head's first line, lower-cased as status texts are, for the summary.
std::wstring FirstLineOf(const std::wstring& head) {
    constexpr size_t kMaxShown = 100;
    std::wstring line = head.substr(0, std::min(head.find_first_of(L"\r\n"), kMaxShown));
    for (wchar_t& c : line) c = c < 0x20 ? L' ' : static_cast<wchar_t>(std::towlower(c));
    return line.empty() ? L"no status line" : line;
}

// The answer to a request for the rest: appended, taken whole, or the file
// starts over with a request for everything.
Step JudgeRange(Transfer& t, ReplyStart& reply) {
    EntryFetch& f = t.fetch;
    if (!f.askedRange) return kGoOn;
    ReplyHead head = ReadReplyHead(std::string_view(t.buffers.header, reply.headBytes));
    RangeVerdict verdict = JudgeRangeReply(head, f.progress.kept, f.progress.basis);
    if (verdict == RangeVerdict::Append) reply.append = true;
    if (verdict != RangeVerdict::FromZero) return kGoOn;
    f.progress.wholeNext = true;
    return R::SocketError;
}

// The status and the length of the head, read in the system's code page.
Step JudgeReplyHeader(Transfer& t, ReplyStart& reply) {
    if (Step r = JudgeRange(t, reply)) return *r;
    std::wstring headerText = AnsiToWide(std::string(t.buffers.header, reply.headBytes));
    std::wstring statusText;
    StatusCheck status = reply.append ? StatusCheck::Ok : ParseStatusLine(headerText, statusText);
    if (status != StatusCheck::Ok) {
        // Without an HTTP/1.1 status line, what came in its place.
        t.line = (statusText.empty() ? FirstLineOf(headerText) : statusText) + L"\r\n";
        return status == StatusCheck::ServerError ? R::ServerStatus : R::ClientStatus;
    }
    reply.length = ParseContentLength(headerText);
    if (reply.length < 0) {
        t.line = L"Can not take Content-Length\r\n";
        return R::NoLength;
    }
    // Bytes beyond the announced length belong to nothing we asked for.
    double extra = static_cast<double>(reply.received - reply.headBytes);
    reply.already = static_cast<size_t>(std::min(extra, reply.length));
    return kGoOn;
}

// Time left when nothing is left.
const wchar_t kNothingLeft[] = L"0초";

// What the dialog shows of one file's body, drawn when its pace says so: the
// bars and the byte counters as the bytes stand, the speed over the bytes
// since the last sample.
class FileDisplay : private ProgressDrawing {
public:
    FileDisplay(Transfer& t, uint32_t requestTick)
        : t_(t), clock_(t.state.Time()), pace_(clock_, *this), sampleTick_(requestTick) {}
    ProgressPace* Pace() { return &pace_; }

    // The first sample covers the header phase.
    void First(size_t received) {
        uint32_t now = clock_.TickMs();
        if (now != sampleTick_) {
            t_.view.SetText(IdcDnSpeedLabel, FormatSize(static_cast<uint32_t>(received) * 1000u / (now - sampleTick_)));
            sampleTick_ = now;
            pace_.LabelsDrawn(now);
        } else {
            sampleBytes_ = static_cast<uint32_t>(received);
        }
    }
    // Bytes written: fileBytes is the file's count with them.
    void Moved(long n, double fileBytes) {
        if (restart_) {
            // After a standstill the speed is measured from the bytes that
            // ended it.
            restart_ = false;
            sampleTick_ = clock_.TickMs();
            sampleBytes_ = 0;
        }
        sampleBytes_ += static_cast<uint32_t>(n);
        fileBytes_ = fileBytes;
        pace_.Moved();
    }
    // A pause: every bar and counter exact.
    void Exact(double fileBytes) {
        fileBytes_ = fileBytes;
        pace_.Exact();
    }

private:
    void DrawBars() override {
        auto [done, total] = t_.state.AddDoneBytes(t_.session, 0);
        t_.view.SetProgress(IdcDnFileProgress, ProgressPercent(fileBytes_, t_.entry->size));
        t_.view.SetProgress(IdcDnTotalProgress, ProgressPercent(done, total));
    }
    void DrawLabels() override;
    void DrawStill() override {
        t_.view.SetText(IdcDnSpeedLabel, FormatSize(0));
        t_.view.SetText(IdcDnTimeLeftLabel, L"...");
        restart_ = true;
    }

    Transfer& t_;
    Clock& clock_;
    ProgressPace pace_;
    uint32_t sampleTick_;
    uint32_t sampleBytes_ = 0;
    bool restart_ = false;  // the speed reads zero until bytes move again
    double fileBytes_ = 0;
};

void FileDisplay::DrawLabels() {
    auto [done, total] = t_.state.AddDoneBytes(t_.session, 0);
    uint32_t now = clock_.TickMs();
    uint32_t elapsed = now - sampleTick_;
    double leftBytes = total - done;
    if (elapsed > 0 && !restart_) {
        uint32_t speed = sampleBytes_ / elapsed * 1024u;
        t_.view.SetText(IdcDnSpeedLabel, FormatSize(speed));
        t_.view.SetText(IdcDnTimeLeftLabel, leftBytes <= 0  ? std::wstring(kNothingLeft)
                                            : speed > 0     ? FormatDuration(leftBytes * 1024 / speed)
                                                            : std::wstring(L"..."));
        sampleBytes_ = 0;
        sampleTick_ = now;
    }
    t_.view.SetText(IdcDnFileBytesLabel, FormatSize(fileBytes_));
    t_.view.SetText(IdcDnDoneBytesLabel, FormatSize(done));
}

// A whole body begins the part again: what it held leaves the run's count,
// and the reply's validator is what a later try goes on by.
bool BeginWhole(Transfer& t, const ReplyStart& reply) {
    EntryFetch& f = t.fetch;
    PartialFile& partial = *f.partial;
    if (partial.TemporaryPath().empty() ? !partial.Create() : !partial.Restart()) return false;
    t.state.AddDoneBytes(t.session, -static_cast<double>(f.progress.kept));
    f.progress = ResumeProgress();
    ReplyHead head = ReadReplyHead(std::string_view(t.buffers.header, reply.headBytes));
    f.progress.basis = ResumeBasisOf(head, static_cast<uint64_t>(reply.length));
    return true;
}

// Opens the partial file with the body bytes that came with the head.
Step StartFile(Transfer& t, const ReplyStart& reply) {
    PartialFile& partial = *t.fetch.partial;
    if (!reply.append && !BeginWhole(t, reply)) return R::CreateFailed;
    if (reply.already > 0 && !partial.Write(t.buffers.header + reply.headBytes, reply.already)) return R::CreateFailed;
    t.fetch.progress.kept += reply.already;
    t.state.MergeIfPending(t.session);
    if (Cancelled(t.session)) return CancelPartial(t.session, t.fetch);
    return kGoOn;
}

// The body after the bytes that came with the header, up to the announced
// length; fileBytes counts what the file holds.
DownloadResult ReceiveBody(Transfer& t, FileDisplay& display, double remaining, double& fileBytes) {
    PartialFile& partial = *t.fetch.partial;
    // Received bytes go to the file in whole blocks, written behind the
    // receiver; all of them before the user is asked about a cancelled file,
    // before the file is finished and before a broken one is kept.
    WriteBehind writes(partial, remaining, DownloadBuffers::kBlockSize);
    double received = 0;
    for (;;) {
        t.state.MergeIfPending(t.session);
        if (CurrentEntryDeleted(t.state, t.session, fileBytes)) {
            writes.Abandon();
            partial.Discard();
            return R::EntryDeleted;
        }
        if (Cancelled(t.session)) {
            if (!writes.Flush()) return R::CreateFailed;
            // The question comes with every counter as the file stands.
            display.Exact(fileBytes);
            t.fetch.progress.kept = static_cast<uint64_t>(fileBytes);
            return CancelPartial(t.session, t.fetch);
        }
        if (received >= remaining) return writes.Flush() && partial.Finish() ? R::Done : R::CreateFailed;
        // Received at once while the data flows; waited for, in slices that
        // see the signals, only when nothing has arrived.
        size_t room = 0;
        char* into = writes.Room(room);
        if (!into) return R::CreateFailed;
        // Never past the announced length: what follows is not this file.
        double left = remaining - received;
        IoResult got = t.socket->RecvSome(into, left < static_cast<double>(room) ? static_cast<size_t>(left) : room);
        if (got.status == IoStatus::Later) {
            WaitOutcome w = t.Wait(true, display.Pace());
            if (w == WaitOutcome::Ready || w == WaitOutcome::Cancelled) continue;
        }
        // Cut short: the file must not look complete; what arrived is kept
        // for the next try.
        if (!got.HasBytes()) return writes.Flush() ? R::SocketError : R::CreateFailed;
        long n = static_cast<long>(got.bytes);
        writes.Received(got.bytes);
        received += n;
        fileBytes += n;
        t.state.AddDoneBytes(t.session, static_cast<double>(n));
        display.Moved(n, fileBytes);
    }
}

// The row's status, set when it changes.
void ShowRowStatus(Transfer& t, const wchar_t* status) {
    if (t.fetch.shown == status) return;
    t.fetch.shown = status;
    t.view.SetRowStatus(t.state.SetEntryState(*t.entry, DownloadEntry::Transferring), status);
}

// One request of the entry over the current connection, from the request to
// the end of the body.
DownloadResult TryOnce(Transfer& t) {
    if (!SendRequest(t)) return R::SocketError;
    FileDisplay display(t, t.state.Time().TickMs());
    ReplyStart reply;
    if (Step r = ReadReplyHeader(t, reply, display.Pace())) return *r;
    if (Step r = JudgeReplyHeader(t, reply)) return *r;
    if (Step r = BetweenSteps(t)) return *r;
    t.fetch.headAccepted = true;
    ShowRowStatus(t, reply.append ? kRowResuming : kRowTransferring);

    if (Step r = StartFile(t, reply)) return *r;
    display.First(reply.received);
    const double kept = static_cast<double>(t.fetch.progress.kept);
    double fileBytes = kept;
    t.state.AddDoneBytes(t.session, static_cast<double>(reply.already));
    DownloadResult result = ReceiveBody(t, display, reply.length - static_cast<double>(reply.already), fileBytes);
    if (result == R::SocketError) t.fetch.progress.kept = static_cast<uint64_t>(fileBytes);
    // However the file ended, its counters and bars show what it holds (a
    // cancelled file's did before its question, a deleted file's are the
    // deletion's).
    if (result != R::EntryDeleted && result != R::Cancelled) display.Exact(fileBytes);
    return result;
}

// The kept part at path, when its record says it is this very file: it
// becomes the partial file at temporary (moved there when it is elsewhere).
// A record of another file or version goes, with its part unless that is
// the file the user agreed to overwrite.
bool AdoptFrom(Transfer& t, const std::wstring& path, const std::wstring& temporary) {
    EntryFetch& f = t.fetch;
    FileSystem& fs = t.state.Files();
    ResumeRecord record;
    if (!LoadResumeRecord(fs, path, record)) return false;
    fs.RemoveFile(ResumeRecordPath(path));
    uint64_t size = 0;
    bool same = record.address == f.address && !fs.IsLink(path) && fs.FileSize(path, size) &&
                size <= record.basis.length;
    if (!same) {
        if (path == temporary) fs.RemoveFile(path);
        return false;
    }
    if (path != temporary && !fs.RenameFile(path, temporary, false)) return false;
    if (!f.partial->Adopt(temporary)) return false;
    f.progress.basis = record.basis;
    f.progress.kept = size;
    t.state.AddDoneBytes(t.session, static_cast<double>(size));
    return true;
}

// A part that an earlier run left of this very file is gone on with: one it
// broke off under its temporary name, or one the user kept in the target's
// place and has now agreed to overwrite.
void AdoptKeptPart(Transfer& t) {
    std::wstring temporary = TemporaryPath(t.target, 0);
    if (!t.fetch.policy.resume || temporary.empty()) return;
    if (t.replace && AdoptFrom(t, t.target, temporary)) return;
    AdoptFrom(t, temporary, temporary);
}

// Before the first request: the row, the checks and where the file goes.
Step PrepareEntry(Transfer& t) {
    t.view.SetRowStatus(t.state.SetEntryState(*t.entry, DownloadEntry::Transferring), kRowTransferring);
    if (Step r = BetweenSteps(t)) return *r;
    // Every name is checked before anything is asked of the server.
    if (Step r = ChooseTarget(t)) return *r;
    t.fetch.partial = std::make_unique<PartialFile>(t.state.Files(), t.target, t.replace);
    AdoptKeptPart(t);
    return kGoOn;
}

// A file that failed on the wire leaves a part to go on with, if it can; the
// others have settled theirs (done, cancelled, deleted) or cannot write.
bool LeavesPart(DownloadResult result) {
    return result != R::Done && result != R::Cancelled && result != R::EntryDeleted && result != R::CreateFailed;
}

EntryFetch MakeFetch(DownloadWorkerCalls& state, const DownloadSession& session, const DownloadEntry& entry) {
    EntryFetch fetch;
    fetch.fs = &state.Files();
    fetch.policy = state.Resuming();
    fetch.address = ResumeAddress(session.Secure(), session.Host(), session.Port(), entry.urlPath);
    return fetch;
}

}  // namespace

DownloadResult DownloadOneFile(DownloadWorkerCalls& state, DownloadSession& session, const DownloadEntryPtr& entry,
                               Socket& socket, DownloadBuffers& buffers, std::wstring& line) {
    EntryFetch fetch = MakeFetch(state, session, *entry);
    Transfer t{state, session, session.Dialog().View(), &socket, buffers, entry, line, state.SilentServerTimeout(),
               std::wstring(), false, fetch};
    Step r = PrepareEntry(t);
    DownloadResult result = r ? *r : TryOnce(t);
    if (LeavesPart(result)) fetch.Leave();
    return result;
}

namespace {

// A connection attempt of the run gives up on the cancel.
ServerWait ConnectWait(DownloadWorkerCalls& state, DownloadSession& session) {
    ServerWait wait;
    wait.clock = &state.Time();
    wait.signals = &session.Signals();
    return wait;
}

// A connection to the server, or null: outcome says whether the user
// cancelled. endpoint is null when the host did not resolve.
std::unique_ptr<Socket> Connect(DownloadWorkerCalls& state, DownloadSession& session, const Endpoint* endpoint,
                                WaitOutcome& outcome) {
    outcome = WaitOutcome::Failed;
    if (!endpoint) return nullptr;
    return ConnectBounded(state.Net(), *endpoint, ConnectWait(state, session), kConnectTimeoutMs, &outcome);
}

// The entry's first connection; null otherwise once its failure is in its
// row and the summary (or the user cancelled).
std::unique_ptr<Socket> ConnectEntry(DownloadWorkerCalls& state, DownloadSession& session, DownloadEntry& entry,
                                     const Endpoint* endpoint, WaitOutcome& outcome) {
    std::unique_ptr<Socket> socket = Connect(state, session, endpoint, outcome);
    if (socket || outcome == WaitOutcome::Cancelled) return socket;
    int row = state.SetEntryState(entry, DownloadEntry::Failed);
    session.ResultSummary() += FormatText(L"%d. %ls -> Socket Connect Error\r\n", row, entry.fileName.c_str());
    session.Dialog().View().SetRowStatus(row, kRowFailed);
    return nullptr;
}

// The pause before a retry, cut short by the user: merges go on, a cancel or
// the deletion of this row ends it at once.
Step WaitToRetry(Transfer& t, uint32_t ms) {
    ShowRowStatus(t, kRowRetrying);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    const unsigned watched = RunSignals::Added | RunSignals::Cancel | RunSignals::Delete;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0 || t.session.Signals().WaitFor(watched, left) == 0) return kGoOn;
        t.state.MergeIfPending(t.session);
        if (CurrentEntryDeleted(t.state, t.session, static_cast<double>(t.fetch.progress.kept))) {
            t.fetch.partial->Discard();
            return R::EntryDeleted;
        }
        if (Cancelled(t.session)) return t.fetch.partial ? CancelPartial(t.session, t.fetch) : R::Cancelled;
    }
}

// The tries after the first, while the file broke after its head came: each
// on a connection of its own, after a wait that doubles; a refused range is
// asked again at once, from byte 0.
DownloadResult Retry(Transfer& t, const Endpoint* endpoint, KeptConnection& connection, DownloadResult result) {
    EntryFetch& f = t.fetch;
    int retry = 0;
    while (result == R::SocketError && f.headAccepted) {
        const bool refusedNow = f.progress.wholeNext && !f.refused;
        if (!refusedNow && ++retry > f.policy.retries) break;
        if (refusedNow) f.refused = true;
        connection.Release(false);
        if (!refusedNow) {
            if (Step r = WaitToRetry(t, f.policy.WaitBefore(retry))) return *r;
        }
        WaitOutcome outcome = WaitOutcome::Failed;
        std::unique_ptr<Socket> socket = Connect(t.state, t.session, endpoint, outcome);
        if (outcome == WaitOutcome::Cancelled) return f.partial ? CancelPartial(t.session, f) : R::Cancelled;
        if (!socket) continue;  // a link still down: one try spent
        connection.Use(std::move(socket));
        result = TryOnce(t);
    }
    return result;
}

// The entry's row, and its line in the summary, after its transfer; line is
// what the transfer had to say.
void RecordResult(DownloadWorkerCalls& state, DownloadSession& session, DownloadEntry& entry, DownloadResult result,
                  const std::wstring& line) {
    DownloadView& view = session.Dialog().View();
    switch (result) {
    case R::Done:
        view.SetRowStatus(state.SetEntryState(entry, DownloadEntry::Done), kRowDone);
        break;
    case R::Skipped:
        session.ResultSummary() += line;
        view.SetRowStatus(state.SetEntryState(entry, DownloadEntry::Cancelled), kRowCancelled);
        break;
    case R::Cancelled:
    case R::EntryDeleted:
        break;
    case R::CreateFailed:
    case R::SocketError: {
        int row = state.SetEntryState(entry, DownloadEntry::Failed);
        view.SetRowStatus(row, kRowFailed);
        session.ResultSummary() +=
            FormatText(result == R::CreateFailed ? L"%d. %ls -> 파일생성실패\r\n" : L"%d. %ls -> SOCKET ERROR\r\n", row,
                       entry.fileName.c_str());
        break;
    }
    case R::NoLength:
    case R::ClientStatus:
    case R::ServerStatus: {
        // The server's refusal, named by its row and file as every failure is.
        int row = state.SetEntryState(entry, DownloadEntry::Failed);
        view.SetRowStatus(row, kRowFailed);
        if (!line.empty()) session.ResultSummary() += FormatText(L"%d. %ls -> ", row, entry.fileName.c_str()) + line;
        break;
    }
    }
}

// One entry over the connection the run keeps, or a new one when none is
// kept; it stays for the next entry when the reply allows that.
DownloadResult FetchEntry(DownloadWorkerCalls& state, DownloadSession& session, const DownloadEntryPtr& entry,
                          DownloadBuffers& buffers, const Endpoint* endpoint, KeptConnection& connection) {
    DownloadView& view = session.Dialog().View();
    if (!connection.Kept()) {
        WaitOutcome connected = WaitOutcome::Failed;
        std::unique_ptr<Socket> socket = ConnectEntry(state, session, *entry, endpoint, connected);
        if (connected == WaitOutcome::Cancelled) return R::Cancelled;
        if (!socket) return R::SocketError;
        connection.Use(std::move(socket));
    }
    view.SetText(IdcDnFileNameLabel, entry->fileName);
    view.SetProgress(IdcDnFileProgress, 0);
    view.SetText(IdcDnFileSizeLabel, L" / " + FormatSize(entry->size));
    view.SetText(IdcDnFileBytesLabel, L"0Byte");

    std::wstring line;
    EntryFetch fetch = MakeFetch(state, session, *entry);
    Transfer t{state, session, view,          &connection, buffers, entry, line, state.SilentServerTimeout(),
               std::wstring(), false, fetch};
    Step prepared = PrepareEntry(t);
    DownloadResult result = prepared ? *prepared : Retry(t, endpoint, connection, TryOnce(t));
    if (LeavesPart(result)) fetch.Leave();
    RecordResult(state, session, *entry, result, line);
    connection.Release(result == R::Done);
    return result;
}

// The end of a run: the rows never reached after a cancel, and the message
// that closes it. from is the first row not fetched. A dialog that is gone
// shows nothing.
void ShowRunEnd(DownloadWorkerCalls& state, DownloadSession& session, int from) {
    DownloadView& view = session.Dialog().View();
    session.Conflict().downloadApplyToAll = false;
    const bool gone = session.Signals().Raised(RunSignals::Gone);
    if (gone) {
        // Nobody is left to tell.
    } else if (Cancelled(session)) {
        int count = state.EntryCount(session);
        for (int row = from; row < count; ++row) view.SetRowStatus(row, kRowCancelled);
        view.Messages().Show(L"다운로드가 취소 되었습니다.", L"Download Cancel", MbOk | MbIconStop);
    } else if (!session.ResultSummary().empty()) {
        // The server's status texts and the page's names are in it: a NUL or
        // another control in one of them must not cut or hide the lines after it.
        view.Messages().Show(ShownText(session.ResultSummary()), L"Download Complete Infomation", MbOk);
    }
    session.ResultSummary().clear();
    // The run's counters as they ended; nothing is left unless it was cancelled.
    view.SetText(IdcDnDoneBytesLabel, FormatSize(state.AddDoneBytes(session, 0).first));
    view.SetText(IdcDnTimeLeftLabel, Cancelled(session) ? L"..." : kNothingLeft);
    view.EnableControl(IdcDnDeleteButton, false);
    view.SetText(IdcDnCancelButton, L"종 료");
}

}  // namespace

void HttpDownloadEngine::Run(DownloadWorkerCalls& state, DownloadSession& s) {
    DownloadView& view = s.Dialog().View();
    if (!state.Files().Exists(state.SaveFolder())) {
        view.Messages().Show(L"경로에러", L"", MbOk);
        // The run ends here; the dialog must still close.
        state.EndRun(s);
        state.FinishRun(s);
        return;
    }
    Endpoint endpoint = UrlEndpoint(s.Host(), s.Port(), s.Secure());
    bool resolved = state.Net().Resolve(endpoint.host, endpoint.addresses);

    view.SetProgress(IdcDnTotalProgress, 0);
    view.SetText(IdcDnTotalSizeLabel, L" / " + FormatSize(state.TotalBytes()));
    view.SetText(IdcDnDoneBytesLabel, L"0Byte");

    // One set of buffers and one kept connection for the whole run.
    auto buffers = std::make_unique<DownloadBuffers>();
    KeptConnection connection([&] {
        return ConnectBounded(state.Net(), endpoint, ConnectWait(state, s), kConnectTimeoutMs);
    });
    int m = 0;
    while (m < state.EntryCount(s)) {
        state.MergeIfPending(s);
        if (s.Signals().Take(RunSignals::Delete)) state.DeleteSelectedEntries(s, view, 0);
        DownloadEntryPtr entry = state.EntryAt(s, m);
        if (!entry) break;
        // A later run of the dialog fetches only what still waits.
        if (state.StateOf(*entry) != DownloadEntry::Waiting) {
            ++m;
            continue;
        }
        DownloadResult result = FetchEntry(state, s, entry, *buffers, resolved ? &endpoint : nullptr, connection);
        if (result == R::Cancelled) break;
        if (result == R::EntryDeleted) continue;
        ++m;
    }
    connection.Shutdown();
    // Over before it is shown: a close the user makes on seeing its end
    // closes the dialog.
    state.EndRun(s);
    ShowRunEnd(state, s, m);
    state.FinishRun(s);
}

}  // namespace parvex
