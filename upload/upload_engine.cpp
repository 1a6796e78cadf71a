#include <algorithm>
#include <cstring>
#include <memory>

#include "common/format.h"
#include "common/progress_pace.h"
#include "common/url.h"
#include "common/utf8.h"
#include "listed_file.h"
#include "read_ahead.h"
#include "upload_progress.h"

namespace parvex {

const wchar_t kRerunStatus[] = L"* 업로드에 실패한 항목을 재업로드 중입니다.";

namespace {

constexpr int kConnectAttempts = 3;
// The time left while no speed is known.
const wchar_t kNoSpeedYet[] = L"계산중";
// How long the head's "Expect: 100-continue" waits for any answer.
constexpr uint32_t kContinueWaitMs = 1000;

const wchar_t kLogConnectFailed[] = L"[%ls] => [서버 연결 실패]\r\n";
const wchar_t kLogCheckFailed[] = L"[%ls] => [서버파일 체크오류]\r\n";
const wchar_t kLogSocketError[] = L"[%ls] => [SOCKET ERROR]\r\n";
const wchar_t kLogNetworkError[] = L"[%ls] => [네트워크 에러]\r\n";
const wchar_t kLogCancel[] = L"Upload Cancel";

// Where the name after the last backslash starts (0 without one).
size_t NameStart(const std::wstring& path) {
    size_t at = path.rfind(L'\\');
    return at == std::wstring::npos ? 0 : at + 1;
}

std::wstring AfterLastBackslash(const std::wstring& path) { return path.substr(NameStart(path)); }

// One run of the worker, with the helpers its steps share. It draws the
// dialog's bars and labels when its pace says so (ProgressDrawing).
class Run : private ProgressDrawing {
public:
    Run(UploadSession& session, CUploadProgress& dialog, UploadProgressView& view)
        : s_(session), d_(dialog), v_(view), clock_(*session.services.clock), pace_(clock_, *this) {
        wait_.clock = &clock_;
        wait_.signals = &dialog.signals;
        wait_.timeoutMs = session.services.silentServerTimeoutMs;
        // Every wait of the run keeps the dialog true while nothing moves.
        wait_.catchUp = [this] { return pace_.CatchUp(); };
        connect_.timeoutMs = session.services.connectTimeoutMs;
        connect_.attempts = kConnectAttempts;
    }

    void Go();

private:
    enum class Next { Entry, StopThroughEnd, EndNow, Post };
    enum class SameName { Send, Skip, AskAgain };

    Next OneEntry(UploadEntry& entry, int row);
    Next CheckName(UploadEntry& entry, int row);
    Next CheckNotAnswered(UploadEntry& entry, int row, ExistsOutcome checkResult);
    SameName AnswerForSameName(UploadEntry& entry);
    Next PostAndJudge(UploadEntry& entry, int row);
    PostOutcome PostFile(UploadEntry& entry, int row, Socket& socket, ReplyReader& reader);
    void ShowFileStarting(const UploadEntry& entry, int row);
    PostOutcome PassOnServerFile(const UploadEntry& entry, int row);
    PostOutcome SendHead(const UploadRequest& request, Socket& socket, ReplyReader& reader);
    PostOutcome Send(Socket& socket, const void* data, size_t count);
    PostOutcome AwaitContinue(ReplyReader& reader);
    PostOutcome SendFileBytes(UploadEntry& entry, Socket& socket, File& file);
    PostOutcome SendCounted(Socket& socket, SendBufferTuner& tuner, const char* data, size_t count);
    void ShowAccepted(size_t n);

    bool Cancelled() const { return d_.Cancelled(); }
    static int Percent(double part, double whole) {
        if (whole <= 0) return 100;
        return static_cast<int>(std::clamp(part / whole * 100.0, 0.0, 100.0));
    }
    // A skipped file leaves the run's total.
    void LowerTotal(double size) {
        d_.runTotalBytes -= size;
        v_.SetText(IdcUpRunTotal, L"/ " + FormatSize(d_.runTotalBytes));
        pace_.Exact();
    }
    // The row shows the failure and the file waits for the next run.
    void MarkFailed(UploadEntry& entry, int row) {
        v_.SetRowStatus(row, kRowFailed);
        d_.failedBytes += entry.size;
        d_.failedEntries.push_back(&entry);
    }
    void Fail(UploadEntry& entry, int row, const wchar_t* logFormat, const std::wstring& name) {
        s_.resultLog += FormatText(logFormat, name.c_str());
        MarkFailed(entry, row);
        s_.allSucceeded = false;
    }
    Next CancelledUpload() {
        s_.resultLog += kLogCancel;
        return Next::StopThroughEnd;
    }
    void DrawBars() override;
    void DrawLabels() override;
    void DrawStill() override;
    static void Close(std::unique_ptr<Socket>& socket) {
        if (!socket) return;
        socket->Shutdown();
        socket.reset();
    }

    UploadSession& s_;
    CUploadProgress& d_;
    UploadProgressView& v_;
    Clock& clock_;
    ServerWait wait_;
    ConnectPolicy connect_;
    std::vector<NetAddress> addresses_;  // of the upload host, resolved once per run
    bool resolved_ = false;
    ProgressPace pace_;
    int runBarShown_ = -1;
    int fileBarShown_ = -1;
    double fileSize_ = 0;   // of the current file
    double fileBytes_ = 0;  // the current file's bytes the socket took
};

void Run::Go() {
    resolved_ = s_.usableUrl && s_.services.network->Resolve(ToUtf8(BareHost(s_.target.host)), addresses_);
    v_.SetText(IdcUpRunTotal, L"/ " + FormatSize(d_.runTotalBytes));
    v_.ResetBar(IdcUpRunBar);
    runBarShown_ = 0;
    s_.runStartTick = clock_.TickMs();
    // The counters wait for the half second since a run before this one
    // last showed them.
    pace_.LabelsDrawn(s_.runStartTick + s_.lastRefreshElapsed);

    for (size_t i = 0; i < d_.runEntries.size(); ++i) {
        Next next = OneEntry(*d_.runEntries[i], static_cast<int>(i));
        if (next == Next::EndNow) {
            pace_.Exact();
            d_.runLog = s_.resultLog;
            v_.Close();
            return;
        }
        if (next == Next::StopThroughEnd) break;
    }
    pace_.Exact();
    d_.runLog = s_.resultLog;
    if (!s_.resultLog.empty()) {
        s_.allSucceeded = false;
        s_.resultLog.clear();
    } else {
        s_.allSucceeded = true;
    }
    v_.Close();
}

Run::Next Run::OneEntry(UploadEntry& entry, int row) {
    UploadServices& sv = s_.services;
    // Already on the server: nothing to connect for, ask about or send.
    if (entry.kind == KindOnServer) {
        if (Cancelled()) return CancelledUpload();
        ShowFileStarting(entry, row);
        PassOnServerFile(entry, row);
        return Next::Entry;
    }
    if (!sv.files->Exists(entry.localPath)) {
        s_.prompt.missingFileName = entry.fileName;
        if (sv.prompts->AskMissingFile(entry.fileName) == IdCancel) {
            d_.signals.Raise(RunSignals::Cancel);
            s_.allSucceeded = false;
            return Next::EndNow;
        }
        LowerTotal(entry.size);
        return Next::Entry;
    }
    if (!resolved_) {
        Fail(entry, row, kLogConnectFailed, entry.fileName);
        return Next::Entry;
    }
    if (!s_.target.existPath.empty()) {
        Next next = CheckName(entry, row);
        if (next != Next::Post) return next;
        // The user may have cancelled while the prompt was open.
        if (Cancelled()) return CancelledUpload();
    }
    return PostAndJudge(entry, row);
}

// The exists check with its prompt; Next::Post when the file is to be sent.
Run::Next Run::CheckName(UploadEntry& entry, int row) {
    for (;;) {
        ExistsOutcome r = CheckFileExists(*s_.services.network, addresses_, s_.target, entry.fileName, wait_, connect_);
        if (r == ExistsOutcome::No) return Next::Post;
        if (r == ExistsOutcome::Cancelled) return CancelledUpload();
        if (r != ExistsOutcome::Yes) return CheckNotAnswered(entry, row, r);
        SameName answer = AnswerForSameName(entry);
        if (answer == SameName::Send) return Next::Post;
        if (answer == SameName::Skip) {
            LowerTotal(entry.size);
            v_.SetRowStatus(row, kRowSkipped);
            return Next::Entry;
        }
    }
}

// The exists check got no answer about the name: the file fails.
Run::Next Run::CheckNotAnswered(UploadEntry& entry, int row, ExistsOutcome checkResult) {
    if (checkResult == ExistsOutcome::NoConnection) {
        Fail(entry, row, kLogConnectFailed, entry.fileName);
    } else if (checkResult == ExistsOutcome::CheckFailed) {
        s_.resultLog += FormatText(kLogCheckFailed, AfterLastBackslash(entry.localPath).c_str());
        LowerTotal(entry.size);
        MarkFailed(entry, row);
    } else {  // SocketError
        Fail(entry, row, kLogSocketError, entry.fileName);
    }
    return Next::Entry;
}

// The server has the name: the answer given for every file, or the prompt's.
Run::SameName Run::AnswerForSameName(UploadEntry& entry) {
    UploadPromptState& p = s_.prompt;
    // A prompt closed without a choice while "all" was ticked leaves 0,
    // which skips like the close itself did.
    if (p.applyToAll) return p.sameFileChoice == UploadSameOverwrite ? SameName::Send : SameName::Skip;
    p.sameFileChoice = UploadSameNone;
    p.sameFileName = entry.fileName;
    p.sameFileSize = entry.size;
    if (s_.services.prompts->AskSameFile(p) != IdOk) return SameName::Skip;
    if (p.sameFileChoice == UploadSameOverwrite) return SameName::Send;
    entry.fileName = p.sameFileName;
    return SameName::AskAgain;
}

// Connects right before the request goes out, so that no connection sits
// idle through the exists check and the user's answer.
Run::Next Run::PostAndJudge(UploadEntry& entry, int row) {
    std::unique_ptr<Socket> socket =
        ConnectWithRetries(*s_.services.network, TargetEndpoint(s_.target, addresses_), wait_, connect_);
    if (Cancelled()) {
        Close(socket);
        Fail(entry, row, kLogConnectFailed, entry.fileName);
        return Next::StopThroughEnd;
    }
    if (!socket) {
        Fail(entry, row, kLogConnectFailed, entry.fileName);
        return Next::Entry;
    }

    ReplyReader reader(*socket, wait_);
    PostOutcome r = PostFile(entry, row, *socket, reader);
    UploadReplyOutcome reply = UploadReplyOutcome::Accepted;
    if (r == PostOutcome::Ok) reply = ReadUploadReply(reader, *s_.services.boxes);
    Close(socket);

    if (r == PostOutcome::Cancelled || reply == UploadReplyOutcome::Cancelled) return CancelledUpload();
    if (r == PostOutcome::Refused || reply == UploadReplyOutcome::Refused) {
        // The server has answered: sending it again would not change its
        // mind, so the upload ends here as a failure.
        v_.SetRowStatus(row, kRowFailed);
        s_.allSucceeded = false;
        d_.stoppedOnRefusal = true;
        return Next::EndNow;
    }
    if (r == PostOutcome::NetworkError || reply == UploadReplyOutcome::Unreadable) {
        Fail(entry, row, kLogNetworkError, entry.fileName);
        return Next::Entry;
    }
    v_.SetRowStatus(row, kRowDone);
    return Next::Entry;
}

PostOutcome Run::Send(Socket& socket, const void* data, size_t count) {
    WaitOutcome r = SendBounded(socket, data, count, wait_);
    if (r == WaitOutcome::Ready) return PostOutcome::Ok;
    return r == WaitOutcome::Cancelled ? PostOutcome::Cancelled : PostOutcome::NetworkError;
}

// Waits for "100 continue". A final reply in its place is the server's
// answer to this upload; so is one that follows the interim answer at once.
// A server that says nothing for a second gets the body anyway: many never
// answer "Expect" and just wait for the body (a late "100 continue" is then
// skipped by the reply's reader).
PostOutcome Run::AwaitContinue(ReplyReader& reader) {
    if (!reader.AnswerStarted(kContinueWaitMs)) return PostOutcome::Ok;
    for (;;) {
        HttpReply reply;
        ReplyReadState state = reader.Next(reply);
        if (state == ReplyReadState::Cancelled) return PostOutcome::Cancelled;
        if (state == ReplyReadState::Failed) s_.services.boxes->Show(L"header send error", L"", MbOk);
        if (state != ReplyReadState::Complete) return PostOutcome::NetworkError;
        if (reply.statusCode == 100) {
            if (!reader.HasPending()) return PostOutcome::Ok;
            if (reader.Final(reply) != ReplyReadState::Complete) return PostOutcome::NetworkError;
        } else if (reply.IsInterim()) {
            continue;
        }
        JudgeEarlyReply(reply, *s_.services.boxes);
        return PostOutcome::Refused;
    }
}

PostOutcome Run::PostFile(UploadEntry& entry, int row, Socket& socket, ReplyReader& reader) {
    if (Cancelled()) return PostOutcome::Cancelled;
    ShowFileStarting(entry, row);

    // A file that changed size since it was listed is not sent: padded or cut
    // it would arrive as a different file under the same name. Its time is
    // taken first: a change after it shows when the last block is sent.
    FileSystem& files = *s_.services.files;
    std::unique_ptr<File> file = files.OpenRead(entry.localPath);
    const uint64_t lastWrite = file ? file->LastWrite() : 0;
    if (!file || static_cast<double>(file->Size()) != entry.size) return PostOutcome::NetworkError;

    UploadRequest request =
        BuildUploadRequest(s_.target, MakeBoundary(), entry, files.NativeSpelling(entry.localPath));
    PostOutcome r = SendHead(request, socket, reader);
    if (r == PostOutcome::Ok && Cancelled()) r = PostOutcome::Cancelled;
    if (r == PostOutcome::Ok) r = SendFileBytes(entry, socket, *file);
    if (r != PostOutcome::Ok) return r;
    // Without the closing boundary no server takes the body for a whole
    // file: a file that changed while it was sent ends the request there.
    bool intact = StillAsListed(*file, files, entry, lastWrite);
    file.reset();
    if (!intact) return PostOutcome::NetworkError;
    return Send(socket, request.closing.data(), request.closing.size());
}

void Run::ShowFileStarting(const UploadEntry& entry, int row) {
    v_.SetText(IdcUpFileSize, L"/ " + FormatSize(entry.size));
    v_.SetRowStatus(row, kRowTransferring);
    v_.ResetBar(IdcUpFileBar);
    fileBarShown_ = 0;
    fileSize_ = entry.size;
    fileBytes_ = 0;
    v_.SetText(IdcUpFileSent, FormatSize(0));
    v_.SetText(IdcUpFileName, entry.fileName);
}

// A file already on the server is not sent again; it counts as done.
PostOutcome Run::PassOnServerFile(const UploadEntry& entry, int row) {
    s_.runBytesSent += entry.size;
    fileBytes_ = entry.size;
    pace_.Exact();
    v_.SetRowStatus(row, kRowDone);
    return PostOutcome::Ok;
}

// The request header, the answer to "100 continue" when asked for, and the
// parts before the file's bytes.
PostOutcome Run::SendHead(const UploadRequest& request, Socket& socket, ReplyReader& reader) {
    PostOutcome r = Send(socket, request.header.data(), request.header.size());
    if (r == PostOutcome::Ok && s_.target.expectContinue != 0) r = AwaitContinue(reader);
    for (size_t i = 0; r == PostOutcome::Ok && i < request.parts.size(); ++i)
        r = Send(socket, request.parts[i].data(), request.parts[i].size());
    return r;
}

// The file in blocks of kTransferBlockBytes, read ahead of the sender and
// each sent as the socket takes it.
PostOutcome Run::SendFileBytes(UploadEntry& entry, Socket& socket, File& file) {
    ReadAhead blocks(file, static_cast<uint64_t>(entry.size), kTransferBlockBytes);
    SendBufferTuner tuner(socket, clock_);
    while (fileBytes_ < entry.size) {
        const char* data = nullptr;
        size_t n = 0;
        // A file that yields fewer bytes than listed is abandoned rather than
        // padded.
        if (!blocks.Next(data, n)) return PostOutcome::NetworkError;
        PostOutcome r = SendCounted(socket, tuner, data, n);
        if (r != PostOutcome::Ok) return r;
    }
    // The reply is awaited next: what is shown meanwhile is exact.
    pace_.Exact();
    return PostOutcome::Ok;
}

// One block: offered to the socket first, waited for only when it takes
// nothing. What it takes is counted at once, so that on a slow link the bars
// and counters move with the bytes the peer accepts, not once a block; while
// the socket takes nothing, the wait shows what the pace held back.
PostOutcome Run::SendCounted(Socket& socket, SendBufferTuner& tuner, const char* data, size_t count) {
    while (count > 0) {
        IoResult sent = socket.SendSome(data, count);
        if (sent.status == IoStatus::Failed) return PostOutcome::NetworkError;
        tuner.Sent(count, sent.bytes);
        if (!sent.HasBytes()) {
            WaitOutcome w = WaitForRoom(socket, wait_);
            if (w == WaitOutcome::Ready) continue;
            return w == WaitOutcome::Cancelled ? PostOutcome::Cancelled : PostOutcome::NetworkError;
        }
        data += sent.bytes;
        count -= sent.bytes;
        ShowAccepted(sent.bytes);
        if (Cancelled()) return PostOutcome::Cancelled;
    }
    return PostOutcome::Ok;
}

void Run::ShowAccepted(size_t n) {
    fileBytes_ += static_cast<double>(n);
    s_.runBytesSent += static_cast<double>(n);
    pace_.Moved();
}

void Run::DrawBars() {
    int file = Percent(fileBytes_, fileSize_);
    if (file != fileBarShown_) v_.SetBar(IdcUpFileBar, fileBarShown_ = file);
    int run = Percent(s_.runBytesSent, d_.runTotalBytes);
    if (run != runBarShown_) v_.SetBar(IdcUpRunBar, runBarShown_ = run);
}

// The speed is the run's average so far, the time left what is left at it.
void Run::DrawLabels() {
    uint32_t elapsed = clock_.TickMs() - s_.runStartTick;
    s_.lastRefreshElapsed = elapsed;
    double perSecond = elapsed > 0 ? s_.runBytesSent * 1000.0 / elapsed : 0.0;
    uint32_t speed = static_cast<uint32_t>(std::min(perSecond, 4294967295.0));
    double left = d_.runTotalBytes - s_.runBytesSent;
    if (elapsed > 0) v_.SetText(IdcUpSpeed, FormatSize(speed));
    if (left <= 0)
        v_.SetText(IdcUpTimeLeft, L"0초");
    else if (speed > 0)
        v_.SetText(IdcUpTimeLeft, FormatDuration(left * 1000.0 / speed));
    else
        v_.SetText(IdcUpTimeLeft, kNoSpeedYet);
    v_.SetText(IdcUpFileSent, FormatSize(fileBytes_));
    v_.SetText(IdcUpRunSent, FormatSize(s_.runBytesSent));
}

void Run::DrawStill() {
    v_.SetText(IdcUpSpeed, FormatSize(0));
    if (d_.runTotalBytes - s_.runBytesSent > 0) v_.SetText(IdcUpTimeLeft, kNoSpeedYet);
}

}  // namespace

std::wstring SameFileRenameProposal(const std::wstring& sameFileName) { return AfterLastBackslash(sameFileName); }

void ApplySameFileRename(UploadPromptState& state, const std::wstring& newName) {
    state.sameFileName = state.sameFileName.substr(0, NameStart(state.sameFileName)) + newName;
    state.sameFileChoice = UploadSameRename;
    state.applyToAll = false;
}

std::wstring RenameRefusal(const std::wstring& oldName, const std::wstring& newName, std::wstring* caption) {
    if (newName == oldName) {
        if (caption) *caption = L"No Changed Filename";
        return L"변경되지않았습니다.";
    }
    if (newName.find(L'\\') != std::wstring::npos) {
        if (caption) *caption = L"Not Add Directory in Filename";
        return L"디렉토리는 추가할수없습니다.";
    }
    return std::wstring();
}

void BeginUploadRun(UploadSession& session, CUploadProgress& dialog) {
    session.prompt.applyToAll = false;
    session.prompt.sameFileName.clear();
    session.prompt.sameFileSize = 0;
    session.runBytesSent = 0;
    session.resultLog.clear();
    dialog.signals.Clear(RunSignals::Cancel);
}

UploadServices PlatformUploadServices(MessageBoxHost& boxes, UploadPrompts& prompts) {
    UploadServices services;
    services.network = &PlatformNetwork();
    services.files = &LocalFileSystem();
    services.clock = &SystemClock();
    services.boxes = &boxes;
    services.prompts = &prompts;
    return services;
}

void UploadWorker(UploadSession& session, CUploadProgress& dialog, UploadProgressView& view) {
    Run(session, dialog, view).Go();
}

}  // namespace parvex
