#include "download_engine.h"

#include <algorithm>
#include <utility>

#include "common/format.h"
#include "common/http_reply.h"
#include "common/utf8.h"
#include "partial_file.h"
#include "target_path.h"

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
    std::wstring path;
    for (wchar_t c : urlPath) {
        if (c == L' ')
            path += L"%20";
        else
            path.push_back(c);
    }
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

// The checks made between the steps of a transfer.
void MergeIfPending(DownloadState& state, DownloadDialog& dialog) {
    if (state.pendingAdded) dialog.SendMerge(state);
}

bool CurrentEntryDeleted(DownloadState& state, DownloadView& view, double fileBytes) {
    if (!state.deleteRequested.exchange(false)) return false;
    return state.DeleteSelectedEntries(view, fileBytes) == -1;
}

// Clears downloadRunning under the lock that AddDownloadFile reads it under,
// once nothing waits to be merged: an addition made after the last check of
// the run is still shown as a row instead of staying unseen in pendingList.
void EndRun(DownloadState& state, DownloadDialog& dialog) {
    for (;;) {
        MergeIfPending(state, dialog);
        std::lock_guard<std::mutex> lock(state.mutex);
        if (!state.pendingAdded) {
            state.downloadRunning = false;
            return;
        }
    }
}

// The user cancelled while the file was being written.
int CancelPartial(DownloadView& view, PartialFile& partial) {
    int answer = view.Messages().Show(L"현재 다운로드중인 파일을 삭제 하시겠습니까?", L"Download Cancel", MbYesNo);
    if (answer == IdYes)
        partial.Discard();
    else
        partial.Keep();
    return DlCancelled;
}

// One entry's transfer: what every step needs.
struct Transfer {
    DownloadState& state;
    DownloadDialog& dialog;
    DownloadView& view;
    Socket& socket;
    DownloadBuffers& buffers;
    const DownloadEntryPtr& entry;
    std::wstring& line;
    std::wstring target;
    bool replace = false;  // the user agreed to overwrite the file at target

    // Waits for the next bytes; between slices it gives way to what the
    // worker must see at once (merges, the cancel and, while the body is
    // read, deletions).
    // WaitCancelled: one of those came first.
    int Wait(bool deletions) {
        ServerWait wait;
        wait.clock = &state.Time();
        wait.timeoutMs = state.silentServerTimeoutMs;
        wait.interrupted = [this, deletions] {
            return state.pendingAdded || state.downloadCancelRequested || (deletions && state.deleteRequested);
        };
        return WaitForBytes(socket, wait);
    }
};

// Not a result: the entry is to be fetched.
constexpr int kFetch = 1;

// The checks made before and after the request: kFetch when none of them
// stops the entry.
int BetweenSteps(Transfer& t) {
    MergeIfPending(t.state, t.dialog);
    if (CurrentEntryDeleted(t.state, t.view, 0)) return DlEntryDeleted;
    if (t.state.downloadCancelRequested) return DlCancelled;
    return kFetch;
}

bool SendRequest(Transfer& t) {
    const DownloadState& state = t.state;
    std::string request =
        ToUtf8(BuildDownloadRequest(t.entry->urlPath, state.downloadHost, state.downloadPort, state.downloadCookie));
    return t.socket.SendAll(request.data(), request.size());
}

// Where the entry goes, after the existing-file decision; kFetch to fetch it.
int ChooseTarget(Transfer& t) {
    DownloadState& state = t.state;
    FileSystem& fs = state.Files();
    TargetKind kind = PrepareTarget(fs, state.SaveFolder(), t.entry->fileName, t.target);
    if (kind == TargetKind::Refused) return DlCreateFailed;
    if (kind == TargetKind::Folder) return DlDone;
    if (!fs.Exists(t.target)) return kFetch;

    ExistingFileDecision decision = DecideExistingFile(state.conflict, fs, state.SamePrompt(), state.NamePrompt(),
                                                       state.PromptMessages(), *t.entry, t.target);
    if (decision.answer == ExistingFileDecision::Skip) {
        double reduced;
        double done;
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            reduced = state.downloadTotalBytes - t.entry->size;
            done = state.downloadDoneBytes;
        }
        t.view.SetText(IdcDnTotalSizeLabel, L" / " + FormatSize(reduced));
        t.view.SetProgress(IdcDnTotalProgress, ProgressPercent(done, reduced));
        t.line = FormatText(L"%ls -> User Cancel\r\n", t.entry->fileName.c_str());
        return DlSkipped;
    }
    t.replace = decision.answer == ExistingFileDecision::Overwrite;
    t.target = decision.targetPath;
    return IsWritableTarget(fs, t.target) ? kFetch : DlCreateFailed;
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
// little of the body is taken along with it; kFetch when it is complete.
int ReadReplyHeader(Transfer& t, ReplyStart& reply) {
    char* header = t.buffers.header;
    size_t& used = reply.received;
    size_t headEnd = std::string_view::npos;
    while (headEnd == std::string_view::npos) {
        MergeIfPending(t.state, t.dialog);
        if (t.state.downloadCancelRequested) return DlCancelled;
        // A header that fills the buffer without ending is not one we can read.
        if (used == DownloadBuffers::kHeaderSize) return DlSocketError;
        size_t want = std::min(DownloadBuffers::kHeaderChunk, DownloadBuffers::kHeaderSize - used);
        long n = t.socket.RecvSome(header + used, want);
        if (n == Socket::kNothingArrived) {
            int w = t.Wait(false);
            if (w == WaitReady || w == WaitCancelled) continue;
            return DlSocketError;
        }
        // 0: the peer closed before the header was complete.
        if (n <= 0) return DlSocketError;
        size_t searched = used;
        used += static_cast<size_t>(n);
        headEnd = HeadLength(std::string_view(header, used), searched);
    }
    reply.headBytes = headEnd;
    return kFetch;
}

// The status and the length of the head, read in the system's code page;
// kFetch when the body is one we can take.
int JudgeReplyHeader(Transfer& t, ReplyStart& reply) {
    std::wstring headerText = AnsiToWide(std::string(t.buffers.header, reply.headBytes));
    std::wstring statusText;
    StatusCheck status = ParseStatusLine(headerText, statusText);
    if (status != StatusCheck::Ok) {
        t.line = statusText + L"\r\n";
        return status == StatusCheck::ServerError ? DlServerStatus : DlClientStatus;
    }
    reply.length = ParseContentLength(headerText);
    if (reply.length < 0) {
        t.line = L"Can not take Content-Length\r\n";
        return DlNoLength;
    }
    // Bytes beyond the announced length belong to nothing we asked for.
    double extra = static_cast<double>(reply.received - reply.headBytes);
    reply.already = static_cast<size_t>(std::min(extra, reply.length));
    return kFetch;
}

// Speed, time left and the byte counters, at most every half second.
struct SpeedSampler {
    Clock& clock;
    uint32_t tick;
    uint32_t bytes = 0;

    // The first sample covers the header phase.
    void First(DownloadView& view, size_t received) {
        uint32_t now = clock.TickMs();
        if (now != tick) {
            view.SetText(IdcDnSpeedLabel, FormatSize(static_cast<uint32_t>(received) * 1000u / (now - tick)));
            tick = now;
        } else {
            bytes = static_cast<uint32_t>(received);
        }
    }
    void Last(DownloadView& view) {
        uint32_t now = clock.TickMs();
        if (now != tick)
            view.SetText(IdcDnSpeedLabel,
                         FormatSize(static_cast<uint32_t>(static_cast<uint64_t>(bytes) * 1000u / (now - tick))));
    }
    void Add(DownloadView& view, long n, double fileBytes, double done, double total) {
        bytes += static_cast<uint32_t>(n);
        uint32_t now = clock.TickMs();
        uint32_t elapsed = now - tick;
        if (elapsed <= 500) return;
        uint32_t speed = bytes / elapsed * 1024u;
        view.SetText(IdcDnSpeedLabel, FormatSize(speed));
        double leftBytes = total - done;
        view.SetText(IdcDnTimeLeftLabel,
                     speed > 0 && leftBytes > 0 ? FormatDuration(leftBytes * 1024 / speed) : std::wstring(L"..."));
        view.SetText(IdcDnFileBytesLabel, FormatSize(fileBytes));
        view.SetText(IdcDnDoneBytesLabel, FormatSize(done));
        bytes = 0;
        tick = now;
    }
};

// Opens the partial file with the body bytes that came with the head;
// kFetch when the rest of the body is to be received.
int StartFile(Transfer& t, PartialFile& partial, const ReplyStart& reply) {
    if (!partial.Create()) return DlCreateFailed;
    if (reply.already > 0 && !partial.Write(t.buffers.header + reply.headBytes, reply.already))
        return DlCreateFailed;
    MergeIfPending(t.state, t.dialog);
    if (t.state.downloadCancelRequested) return CancelPartial(t.view, partial);
    return kFetch;
}

// Counts bytes done for the whole run; the new count and the run's total.
std::pair<double, double> AddDoneBytes(DownloadState& state, double n) {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.downloadDoneBytes += n;
    return {state.downloadDoneBytes, state.downloadTotalBytes};
}

// A block written: the counters, the bars and, now and then, the speed.
void ShowBlock(Transfer& t, SpeedSampler& sampler, long n, double fileBytes) {
    auto [done, total] = AddDoneBytes(t.state, static_cast<double>(n));
    t.view.SetProgress(IdcDnFileProgress, ProgressPercent(fileBytes, t.entry->size));
    t.view.SetProgress(IdcDnTotalProgress, ProgressPercent(done, total));
    sampler.Add(t.view, n, fileBytes, done, total);
}

// Received bytes wait in the block buffer and go to the file when it is
// full, when the body is complete and before the user is asked about a
// cancelled file, so that the file is written in large blocks.
struct BodyBlock {
    char* data;
    size_t filled = 0;

    size_t Room() const { return DownloadBuffers::kBlockSize - filled; }
    bool Flush(PartialFile& partial) {
        bool ok = filled == 0 || partial.Write(data, filled);
        filled = 0;
        return ok;
    }
};

// The most to receive next: what the block has room for, never past the
// announced length (what follows is not this file).
size_t NextReceive(const BodyBlock& block, double left) {
    return left < static_cast<double>(block.Room()) ? static_cast<size_t>(left) : block.Room();
}

// The body after the bytes that came with the header, up to the announced
// length.
int ReceiveBody(Transfer& t, PartialFile& partial, SpeedSampler& sampler, double remaining, double fileBytes) {
    DownloadState& state = t.state;
    BodyBlock block{t.buffers.block};
    double received = 0;
    for (;;) {
        MergeIfPending(state, t.dialog);
        if (CurrentEntryDeleted(state, t.view, fileBytes)) {
            partial.Discard();
            return DlEntryDeleted;
        }
        if (state.downloadCancelRequested) {
            if (!block.Flush(partial)) return DlCreateFailed;
            return CancelPartial(t.view, partial);
        }
        if (received >= remaining) {
            sampler.Last(t.view);
            return block.Flush(partial) && partial.Finish() ? DlDone : DlCreateFailed;
        }
        // Received at once while the data flows; waited for, in slices that
        // see the flags, only when nothing has arrived.
        long n = t.socket.RecvSome(block.data + block.filled, NextReceive(block, remaining - received));
        if (n == Socket::kNothingArrived) {
            int w = t.Wait(true);
            if (w == WaitReady || w == WaitCancelled) continue;
            return DlSocketError;
        }
        // A file cut short must not look complete; the partial one goes.
        if (n <= 0) return DlSocketError;
        block.filled += static_cast<size_t>(n);
        if (block.Room() == 0 && !block.Flush(partial)) return DlCreateFailed;
        received += n;
        fileBytes += n;
        ShowBlock(t, sampler, n, fileBytes);
    }
}

}  // namespace

int DownloadOneFile(DownloadState& state, const DownloadEntryPtr& entry, DownloadDialog& dialog, Socket& socket,
                    DownloadBuffers& buffers, std::wstring& line) {
    Transfer t{state, dialog, dialog.View(), socket, buffers, entry, line, std::wstring(), false};
    t.view.SetRowStatus(state.SetEntryState(*entry, DownloadEntry::Transferring), kRowTransferring);
    if (int r = BetweenSteps(t); r != kFetch) return r;
    // Every name is checked before anything is asked of the server.
    if (int r = ChooseTarget(t); r != kFetch) return r;

    if (!SendRequest(t)) return DlSocketError;
    SpeedSampler sampler{state.Time(), state.Time().TickMs()};
    ReplyStart reply;
    if (int r = ReadReplyHeader(t, reply); r != kFetch) return r;
    if (int r = JudgeReplyHeader(t, reply); r != kFetch) return r;
    if (int r = BetweenSteps(t); r != kFetch) return r;

    PartialFile partial(state.Files(), t.target, t.replace);
    if (int r = StartFile(t, partial, reply); r != kFetch) return r;
    sampler.First(t.view, reply.received);
    double already = static_cast<double>(reply.already);
    AddDoneBytes(state, already);
    return ReceiveBody(t, partial, sampler, reply.length - already, already);
}

namespace {

// The connection of one entry; null once its failure is in its row and the summary.
std::unique_ptr<Socket> ConnectEntry(DownloadState& state, DownloadView& view, DownloadEntry& entry,
                                     const NetAddress* address) {
    std::unique_ptr<Socket> socket =
        address ? state.Net().Connect(*address, static_cast<uint16_t>(state.downloadPort)) : nullptr;
    if (socket) return socket;
    int row = state.SetEntryState(entry, DownloadEntry::Failed);
    state.resultSummary += FormatText(L"%d. %ls -> Socket Connect Error\r\n", row, entry.fileName.c_str());
    view.SetRowStatus(row, kRowFailed);
    return nullptr;
}

// The entry's row, and its line in the summary, after its transfer.
void RecordResult(DownloadState& state, DownloadView& view, DownloadEntry& entry, int result) {
    switch (result) {
    case DlDone:
        view.SetRowStatus(state.SetEntryState(entry, DownloadEntry::Done), kRowDone);
        break;
    case DlSkipped:
        view.SetRowStatus(state.SetEntryState(entry, DownloadEntry::Cancelled), kRowCancelled);
        break;
    case DlCancelled:
    case DlEntryDeleted:
        break;
    case DlCreateFailed:
    case DlSocketError: {
        int row = state.SetEntryState(entry, DownloadEntry::Failed);
        view.SetRowStatus(row, kRowFailed);
        state.resultSummary += FormatText(result == DlCreateFailed ? L"%d. %ls -> 파일생성실패\r\n"
                                                                   : L"%d. %ls -> SOCKET ERROR\r\n",
                                          row, entry.fileName.c_str());
        break;
    }
    default:
        view.SetRowStatus(state.SetEntryState(entry, DownloadEntry::Failed), kRowFailed);
        break;
    }
}

// One entry over a connection of its own, closed whatever the result.
int FetchEntry(DownloadState& state, DownloadDialog& dialog, const DownloadEntryPtr& entry, DownloadBuffers& buffers,
               const NetAddress* address) {
    DownloadView& view = dialog.View();
    std::unique_ptr<Socket> socket = ConnectEntry(state, view, *entry, address);
    if (!socket) return DlSocketError;
    view.SetText(IdcDnFileNameLabel, entry->fileName);
    view.SetProgress(IdcDnFileProgress, 0);
    view.SetText(IdcDnFileSizeLabel, L" / " + FormatSize(entry->size));
    view.SetText(IdcDnFileBytesLabel, L"0Byte");

    std::wstring line;
    int result = DownloadOneFile(state, entry, dialog, *socket, buffers, line);
    if (!line.empty()) state.resultSummary += line;
    RecordResult(state, view, *entry, result);
    socket->Shutdown();
    return result;
}

// The end of a run: the rows never reached after a cancel, and the message
// that closes it. from is the first row not fetched.
void ShowRunEnd(DownloadState& state, DownloadView& view, int from) {
    state.conflict.downloadApplyToAll = false;
    if (state.downloadCancelRequested) {
        for (int row = from; row < state.downloadEntryCount; ++row) view.SetRowStatus(row, kRowCancelled);
        view.Messages().Show(L"다운로드가 취소 되었습니다.", L"Download Cancel", MbOk | MbIconStop);
    } else if (!state.resultSummary.empty()) {
        view.Messages().Show(state.resultSummary, L"Download Complete Infomation", MbOk);
    }
    state.resultSummary.clear();
    view.SetText(IdcDnTimeLeftLabel, L"...");
    view.EnableControl(IdcDnDeleteButton, false);
    view.SetText(IdcDnCancelButton, L"종 료");
}

}  // namespace

void DownloadWorker(DownloadState& state, std::shared_ptr<DownloadDialog> dialog) {
    DownloadView& view = dialog->View();
    if (!state.Files().Exists(state.SaveFolder())) {
        view.Messages().Show(L"경로에러", L"", MbOk);
        // The run ends here; the dialog must still close.
        EndRun(state, *dialog);
        return;
    }
    NetAddress address;
    bool resolved = state.Net().Resolve(ToUtf8(state.downloadHost), address);

    view.SetProgress(IdcDnTotalProgress, 0);
    view.SetText(IdcDnTotalSizeLabel, L" / " + FormatSize(state.TotalBytes()));
    view.SetText(IdcDnDoneBytesLabel, L"0Byte");

    // One set of buffers for the whole run.
    auto buffers = std::make_unique<DownloadBuffers>();
    int m = 0;
    while (m < state.downloadEntryCount) {
        MergeIfPending(state, *dialog);
        if (state.deleteRequested.exchange(false)) state.DeleteSelectedEntries(view, 0);
        DownloadEntryPtr entry = state.EntryAt(m);
        if (!entry) break;
        int result = FetchEntry(state, *dialog, entry, *buffers, resolved ? &address : nullptr);
        if (result == DlCancelled) break;
        if (result == DlEntryDeleted) continue;
        ++m;
    }
    ShowRunEnd(state, view, m);
    EndRun(state, *dialog);
}

}  // namespace parvex
