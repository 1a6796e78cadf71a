#include "download_engine.h"

#include <algorithm>
#include <cwctype>
#include <utility>

#include "common/format.h"
#include "common/http_reply.h"
#include "common/progress_pace.h"
#include "common/shown_text.h"
#include "common/url.h"
#include "common/utf8.h"
#include "kept_connection.h"
#include "partial_file.h"
#include "target_path.h"
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
                                  const std::wstring& cookie) {
    std::string escaped = EscapeRequestTarget(urlPath);
    std::wstring path(escaped.begin(), escaped.end());  // plain ASCII
    std::wstring request = FormatText(
        L"GET %ls HTTP/1.1\r\nAccept: */*\r\nAccpet-Encoding: deflate\r\nHost: %ls:%d\r\n"
        L"User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\nConnection: Keep-Alive\r\n",
        path.c_str(), host.c_str(), port);
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
void MergeIfPending(DownloadState& state, DownloadSession& session) {
    if (session.signals.Raised(DownloadSignals::Added)) session.Dialog().SendMerge(state);
}

bool Cancelled(const DownloadSession& session) { return session.signals.Raised(DownloadSignals::Cancel); }

bool CurrentEntryDeleted(DownloadState& state, DownloadSession& session, double fileBytes) {
    if (!session.signals.Take(DownloadSignals::Delete)) return false;
    return state.DeleteSelectedEntries(session, session.Dialog().View(), fileBytes) == -1;
}

// The user cancelled while the file was being written. With the dialog gone
// there is nobody to ask: the part goes.
DownloadResult CancelPartial(DownloadSession& session, PartialFile& partial) {
    int answer = session.signals.Raised(DownloadSignals::Gone)
                     ? IdYes
                     : session.Dialog().View().Messages().Show(L"현재 다운로드중인 파일을 삭제 하시겠습니까?",
                                                               L"Download Cancel", MbYesNo);
    if (answer == IdYes)
        partial.Discard();
    else
        partial.Keep();
    return R::Cancelled;
}

// One entry's transfer: what every step needs.
struct Transfer {
    DownloadState& state;
    DownloadSession& session;
    DownloadView& view;
    Socket& socket;
    DownloadBuffers& buffers;
    const DownloadEntryPtr& entry;
    std::wstring& line;
    uint32_t silentTimeoutMs;
    std::wstring target;
    bool replace = false;  // the user agreed to overwrite the file at target
    ProgressPace* pace = nullptr;  // once the body comes: what its waits keep true

    // Waits for the next bytes; between slices it gives way to what the
    // worker must see at once (merges, the cancel and, while the body is
    // read, deletions): those end it as WaitOutcome::Cancelled.
    WaitOutcome Wait(bool deletions) {
        ServerWait wait;
        wait.clock = &state.Time();
        wait.timeoutMs = silentTimeoutMs;
        const unsigned watched =
            DownloadSignals::Added | DownloadSignals::Cancel | (deletions ? DownloadSignals::Delete : 0u);
        wait.interrupted = [this, watched] { return session.signals.Raised(watched); };
        if (pace) wait.catchUp = [this] { return pace->CatchUp(); };
        return WaitForBytes(socket, wait);
    }
};

// The checks made before and after the request.
Step BetweenSteps(Transfer& t) {
    MergeIfPending(t.state, t.session);
    if (CurrentEntryDeleted(t.state, t.session, 0)) return R::EntryDeleted;
    if (Cancelled(t.session)) return R::Cancelled;
    return kGoOn;
}

bool SendRequest(Transfer& t) {
    const DownloadSession& s = t.session;
    std::string request = ToUtf8(BuildDownloadRequest(t.entry->urlPath, s.host, s.port, s.cookie));
    return t.socket.SendAll(request.data(), request.size());
}

// Where the entry goes, after the existing-file decision.
Step ChooseTarget(Transfer& t) {
    DownloadState& state = t.state;
    FileSystem& fs = state.Files();
    TargetKind kind = PrepareTarget(fs, state.SaveFolder(), t.entry->fileName, t.target);
    if (kind == TargetKind::Refused) return R::CreateFailed;
    if (kind == TargetKind::Folder) return R::Done;
    if (!fs.Exists(t.target)) return kGoOn;

    ExistingFileDecision decision = DecideExistingFile(t.session.conflict, fs, state.SamePrompt(), state.NamePrompt(),
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
};

// Reads the reply's head into the header buffer, in small reads so that
// little of the body is taken along with it.
Step ReadReplyHeader(Transfer& t, ReplyStart& reply) {
    char* header = t.buffers.header;
    size_t& used = reply.received;
    size_t headEnd = std::string_view::npos;
    while (headEnd == std::string_view::npos) {
        MergeIfPending(t.state, t.session);
        if (Cancelled(t.session)) return R::Cancelled;
        // A header that fills the buffer without ending is not one we can read.
        if (used == DownloadBuffers::kHeaderSize) return R::SocketError;
        size_t want = std::min(DownloadBuffers::kHeaderChunk, DownloadBuffers::kHeaderSize - used);
        long n = t.socket.RecvSome(header + used, want);
        if (n == Socket::kNothingArrived) {
            WaitOutcome w = t.Wait(false);
            if (w == WaitOutcome::Ready || w == WaitOutcome::Cancelled) continue;
            return R::SocketError;
        }
        // 0: the peer closed before the header was complete.
        if (n <= 0) return R::SocketError;
        size_t searched = used;
        used += static_cast<size_t>(n);
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

// The status and the length of the head, read in the system's code page.
Step JudgeReplyHeader(Transfer& t, ReplyStart& reply) {
    std::wstring headerText = AnsiToWide(std::string(t.buffers.header, reply.headBytes));
    std::wstring statusText;
    StatusCheck status = ParseStatusLine(headerText, statusText);
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
        : t_(t), clock_(t.state.Time()), pace_(clock_, *this), sampleTick_(requestTick) {
        t.pace = &pace_;
    }
    ~FileDisplay() { t_.pace = nullptr; }

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

// Opens the partial file with the body bytes that came with the head.
Step StartFile(Transfer& t, PartialFile& partial, const ReplyStart& reply) {
    if (!partial.Create()) return R::CreateFailed;
    if (reply.already > 0 && !partial.Write(t.buffers.header + reply.headBytes, reply.already)) return R::CreateFailed;
    MergeIfPending(t.state, t.session);
    if (Cancelled(t.session)) return CancelPartial(t.session, partial);
    return kGoOn;
}

// The body after the bytes that came with the header, up to the announced
// length; fileBytes counts what the file holds.
DownloadResult ReceiveBody(Transfer& t, PartialFile& partial, FileDisplay& display, double remaining,
                           double& fileBytes) {
    // Received bytes go to the file in whole blocks, written behind the
    // receiver; all of them before the user is asked about a cancelled file
    // and before the file is finished.
    WriteBehind writes(partial, remaining, DownloadBuffers::kBlockSize);
    double received = 0;
    for (;;) {
        MergeIfPending(t.state, t.session);
        if (CurrentEntryDeleted(t.state, t.session, fileBytes)) {
            writes.Abandon();
            partial.Discard();
            return R::EntryDeleted;
        }
        if (Cancelled(t.session)) {
            if (!writes.Flush()) return R::CreateFailed;
            // The question comes with every counter as the file stands.
            display.Exact(fileBytes);
            return CancelPartial(t.session, partial);
        }
        if (received >= remaining) return writes.Flush() && partial.Finish() ? R::Done : R::CreateFailed;
        // Received at once while the data flows; waited for, in slices that
        // see the signals, only when nothing has arrived.
        size_t room = 0;
        char* into = writes.Room(room);
        if (!into) return R::CreateFailed;
        // Never past the announced length: what follows is not this file.
        double left = remaining - received;
        long n = t.socket.RecvSome(into, left < static_cast<double>(room) ? static_cast<size_t>(left) : room);
        if (n == Socket::kNothingArrived) {
            WaitOutcome w = t.Wait(true);
            if (w == WaitOutcome::Ready || w == WaitOutcome::Cancelled) continue;
            return R::SocketError;
        }
        // A file cut short must not look complete; the partial one goes.
        if (n <= 0) return R::SocketError;
        writes.Received(static_cast<size_t>(n));
        received += n;
        fileBytes += n;
        t.state.AddDoneBytes(t.session, static_cast<double>(n));
        display.Moved(n, fileBytes);
    }
}

}  // namespace

DownloadResult DownloadOneFile(DownloadState& state, DownloadSession& session, const DownloadEntryPtr& entry,
                               Socket& socket, DownloadBuffers& buffers, std::wstring& line) {
    Transfer t{state, session, session.Dialog().View(),     socket,        buffers,
               entry, line,    state.SilentServerTimeout(), std::wstring()};
    t.view.SetRowStatus(state.SetEntryState(*entry, DownloadEntry::Transferring), kRowTransferring);
    if (Step r = BetweenSteps(t)) return *r;
    // Every name is checked before anything is asked of the server.
    if (Step r = ChooseTarget(t)) return *r;

    if (!SendRequest(t)) return R::SocketError;
    FileDisplay display(t, state.Time().TickMs());
    ReplyStart reply;
    if (Step r = ReadReplyHeader(t, reply)) return *r;
    if (Step r = JudgeReplyHeader(t, reply)) return *r;
    if (Step r = BetweenSteps(t)) return *r;

    PartialFile partial(state.Files(), t.target, t.replace);
    if (Step r = StartFile(t, partial, reply)) return *r;
    display.First(reply.received);
    double fileBytes = static_cast<double>(reply.already);
    state.AddDoneBytes(session, fileBytes);
    DownloadResult result = ReceiveBody(t, partial, display, reply.length - fileBytes, fileBytes);
    // However the file ended, its counters and bars show what it holds (a
    // cancelled file's did before its question, a deleted file's are the
    // deletion's).
    if (result != R::EntryDeleted && result != R::Cancelled) display.Exact(fileBytes);
    return result;
}

namespace {

// A connection attempt of the run gives up on the cancel.
ServerWait ConnectWait(DownloadState& state, DownloadSession& session) {
    ServerWait wait;
    wait.clock = &state.Time();
    wait.interrupted = [&session] { return Cancelled(session); };
    return wait;
}

// The connection of one entry, given up on the cancel; null otherwise once
// its failure is in its row and the summary. endpoint is null when the host
// did not resolve.
std::unique_ptr<Socket> ConnectEntry(DownloadState& state, DownloadSession& session, DownloadEntry& entry,
                                     const Endpoint* endpoint, WaitOutcome& outcome) {
    outcome = WaitOutcome::Failed;
    std::unique_ptr<Socket> socket;
    if (endpoint) socket = ConnectBounded(state.Net(), *endpoint, ConnectWait(state, session), kConnectTimeoutMs, &outcome);
    if (socket || outcome == WaitOutcome::Cancelled) return socket;
    int row = state.SetEntryState(entry, DownloadEntry::Failed);
    session.resultSummary += FormatText(L"%d. %ls -> Socket Connect Error\r\n", row, entry.fileName.c_str());
    session.Dialog().View().SetRowStatus(row, kRowFailed);
    return nullptr;
}

// The entry's row, and its line in the summary, after its transfer; line is
// what the transfer had to say.
void RecordResult(DownloadState& state, DownloadSession& session, DownloadEntry& entry, DownloadResult result,
                  const std::wstring& line) {
    DownloadView& view = session.Dialog().View();
    switch (result) {
    case R::Done:
        view.SetRowStatus(state.SetEntryState(entry, DownloadEntry::Done), kRowDone);
        break;
    case R::Skipped:
        session.resultSummary += line;
        view.SetRowStatus(state.SetEntryState(entry, DownloadEntry::Cancelled), kRowCancelled);
        break;
    case R::Cancelled:
    case R::EntryDeleted:
        break;
    case R::CreateFailed:
    case R::SocketError: {
        int row = state.SetEntryState(entry, DownloadEntry::Failed);
        view.SetRowStatus(row, kRowFailed);
        session.resultSummary +=
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
        if (!line.empty()) session.resultSummary += FormatText(L"%d. %ls -> ", row, entry.fileName.c_str()) + line;
        break;
    }
    }
}

// One entry over the connection the run keeps, or a new one when none is
// kept; it stays for the next entry when the reply allows that.
DownloadResult FetchEntry(DownloadState& state, DownloadSession& session, const DownloadEntryPtr& entry,
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
    DownloadResult result = DownloadOneFile(state, session, entry, connection, buffers, line);
    RecordResult(state, session, *entry, result, line);
    connection.Release(result == R::Done);
    return result;
}

// The end of a run: the rows never reached after a cancel, and the message
// that closes it. from is the first row not fetched. A dialog that is gone
// shows nothing.
void ShowRunEnd(DownloadState& state, DownloadSession& session, int from) {
    DownloadView& view = session.Dialog().View();
    session.conflict.downloadApplyToAll = false;
    const bool gone = session.signals.Raised(DownloadSignals::Gone);
    if (gone) {
        // Nobody is left to tell.
    } else if (Cancelled(session)) {
        int count = state.EntryCount(session);
        for (int row = from; row < count; ++row) view.SetRowStatus(row, kRowCancelled);
        view.Messages().Show(L"다운로드가 취소 되었습니다.", L"Download Cancel", MbOk | MbIconStop);
    } else if (!session.resultSummary.empty()) {
        // The server's status texts and the page's names are in it: a NUL or
        // another control in one of them must not cut or hide the lines after it.
        view.Messages().Show(ShownText(session.resultSummary), L"Download Complete Infomation", MbOk);
    }
    session.resultSummary.clear();
    // The run's counters as they ended; nothing is left unless it was cancelled.
    view.SetText(IdcDnDoneBytesLabel, FormatSize(state.AddDoneBytes(session, 0).first));
    view.SetText(IdcDnTimeLeftLabel, Cancelled(session) ? L"..." : kNothingLeft);
    view.EnableControl(IdcDnDeleteButton, false);
    view.SetText(IdcDnCancelButton, L"종 료");
}

}  // namespace

void DownloadWorker(DownloadState& state, std::shared_ptr<DownloadSession> session) {
    DownloadSession& s = *session;
    DownloadView& view = s.Dialog().View();
    if (!state.Files().Exists(state.SaveFolder())) {
        view.Messages().Show(L"경로에러", L"", MbOk);
        // The run ends here; the dialog must still close.
        state.EndRun(s);
        state.FinishRun(s);
        return;
    }
    Endpoint endpoint = UrlEndpoint(s.host, s.port, s.secure);
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
        MergeIfPending(state, s);
        if (s.signals.Take(DownloadSignals::Delete)) state.DeleteSelectedEntries(s, view, 0);
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
