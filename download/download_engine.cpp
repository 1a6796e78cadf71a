#include "download_engine.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "common/format.h"
#include "common/utf8.h"
#include "partial_file.h"
#include "target_path.h"

namespace parvex {

namespace {

std::wstring Lower(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring WithoutLineEnds(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text)
        if (c != L'\r' && c != L'\n') out.push_back(c);
    return out;
}

// Position of "\r\n\r\n" in buffer, looking only where the last count bytes
// could complete it; -1 when absent.
long FindHeaderEnd(const char* buffer, size_t used, size_t count) {
    size_t from = used - count >= 3 ? used - count - 3 : 0;
    for (size_t i = from; i + 4 <= used; ++i)
        if (buffer[i] == '\r' && buffer[i + 1] == '\n' && buffer[i + 2] == '\r' && buffer[i + 3] == '\n')
            return static_cast<long>(i);
    return -1;
}

// A "transfer-encoding:" header line naming chunked, in a lower-cased head.
bool IsChunked(const std::wstring& lower) {
    static const std::wstring kName = L"\ntransfer-encoding:";
    for (size_t at = lower.find(kName); at != std::wstring::npos; at = lower.find(kName, at + 1)) {
        size_t nl = lower.find(L'\n', at + 1);
        if (lower.substr(at, nl == std::wstring::npos ? std::wstring::npos : nl - at).find(L"chunked") !=
            std::wstring::npos)
            return true;
    }
    return false;
}

// The count on the header line that goes on at `from`: decimal digits only,
// since a sign, hex, "inf", a fraction or nothing at all is no length we can
// count to; -1 otherwise.
double LengthValue(const std::wstring& lower, size_t from) {
    size_t nl = lower.find(L'\n', from);
    std::wstring value = lower.substr(from, nl == std::wstring::npos ? std::wstring::npos : nl - from);
    size_t first = value.find_first_not_of(L" \t\r");
    if (first == std::wstring::npos) return -1;
    value = value.substr(first, value.find_last_not_of(L" \t\r") - first + 1);
    const uint64_t max = static_cast<uint64_t>(kMaxContentLength);
    uint64_t length = 0;
    for (wchar_t c : value) {
        if (c < L'0' || c > L'9') return -1;
        uint64_t digit = static_cast<uint64_t>(c - L'0');
        if (length > (max - digit) / 10) return -1;
        length = length * 10 + digit;
    }
    return static_cast<double>(length);
}

}  // namespace

StatusCheck ParseStatusLine(const std::wstring& header, std::wstring& statusText) {
    statusText.clear();
    size_t start = 0;
    while (start < header.size()) {
        size_t nl = header.find(L'\n', start);
        std::wstring line =
            Lower(WithoutLineEnds(header.substr(start, nl == std::wstring::npos ? std::wstring::npos : nl - start)));
        if (line.find(L"http/1.1") != std::wstring::npos) {
            size_t space = line.find(L' ');
            if (space == std::wstring::npos) return StatusCheck::ClientError;
            statusText = line.substr(space + 1);
            int code = static_cast<int>(std::wcstol(statusText.substr(0, 3).c_str(), nullptr, 10));
            if (code == 200) {
                statusText.clear();
                return StatusCheck::Ok;
            }
            return code >= 500 ? StatusCheck::ServerError : StatusCheck::ClientError;
        }
        if (nl == std::wstring::npos) break;
        start = nl + 1;
    }
    return StatusCheck::NoStatusLine;
}

double ParseContentLength(const std::wstring& header) {
    static const std::wstring kName = L"content-length:";
    std::wstring lower = Lower(header);
    // A chunked body is longer than its data by the chunks' framing, which
    // would be saved as part of the file.
    if (IsChunked(lower)) return -1;
    double length = -1;
    for (size_t at = lower.find(kName); at != std::wstring::npos; at = lower.find(kName, at + 1)) {
        // The header's own name at the start of a line, not the tail of
        // another name such as "x-content-length:".
        if (at != 0 && lower[at - 1] != L'\n') continue;
        double value = LengthValue(lower, at + kName.size());
        // Two different lengths leave the end of the file unknown.
        if (value < 0 || (length >= 0 && value != length)) return -1;
        length = value;
    }
    return length;
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

// Reads the reply header into the header buffer, in small reads so that
// little of the body is taken along with it. used gets the bytes read,
// headerBytes the header's length with its empty line; 0 when complete.
int ReadReplyHeader(Transfer& t, size_t& used, size_t& headerBytes) {
    char* header = t.buffers.header;
    used = 0;
    long headerEnd = -1;
    while (headerEnd < 0) {
        MergeIfPending(t.state, t.dialog);
        if (t.state.downloadCancelRequested) return DlCancelled;
        // A header that fills the buffer without ending is not one we can read.
        if (used == DownloadBuffers::kHeaderSize) return DlSocketError;
        int w = t.Wait(false);
        if (w == WaitCancelled) continue;
        if (w != WaitReady) return DlSocketError;
        size_t want = std::min(DownloadBuffers::kHeaderChunk, DownloadBuffers::kHeaderSize - used);
        long n = t.socket.Recv(header + used, want);
        // 0: the peer closed before the header was complete.
        if (n <= 0) return DlSocketError;
        used += static_cast<size_t>(n);
        headerEnd = FindHeaderEnd(header, used, static_cast<size_t>(n));
    }
    header[used] = '\0';
    headerBytes = static_cast<size_t>(headerEnd) + 4;
    return 0;
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

// The body after the bytes that came with the header, up to the announced
// length.
int ReceiveBody(Transfer& t, PartialFile& partial, SpeedSampler& sampler, double remaining, double fileBytes) {
    DownloadState& state = t.state;
    char* block = t.buffers.block;
    double received = 0;
    for (;;) {
        MergeIfPending(state, t.dialog);
        if (CurrentEntryDeleted(state, t.view, fileBytes)) {
            partial.Discard();
            return DlEntryDeleted;
        }
        if (state.downloadCancelRequested) return CancelPartial(t.view, partial);
        if (received >= remaining) {
            sampler.Last(t.view);
            return partial.Finish() ? DlDone : DlCreateFailed;
        }
        // Never past the announced length: what follows is not this file.
        double left = remaining - received;
        size_t want = left < DownloadBuffers::kBlockSize ? static_cast<size_t>(left) : DownloadBuffers::kBlockSize;
        // Received at once while the data flows; waited for, in slices that
        // see the flags, only when nothing has arrived.
        long n = t.socket.RecvSome(block, want);
        if (n == Socket::kNothingArrived) {
            int w = t.Wait(true);
            if (w == WaitReady || w == WaitCancelled) continue;
            return DlSocketError;
        }
        // A file cut short must not look complete; the partial one goes.
        if (n <= 0) return DlSocketError;
        if (!partial.Write(block, static_cast<size_t>(n))) return DlCreateFailed;
        received += n;
        fileBytes += n;
        double done;
        double total;
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            state.downloadDoneBytes += n;
            done = state.downloadDoneBytes;
            total = state.downloadTotalBytes;
        }
        t.view.SetProgress(IdcDnFileProgress, ProgressPercent(fileBytes, t.entry->size));
        t.view.SetProgress(IdcDnTotalProgress, ProgressPercent(done, total));
        sampler.Add(t.view, n, fileBytes, done, total);
    }
}

}  // namespace

int DownloadOneFile(DownloadState& state, const DownloadEntryPtr& entry, DownloadDialog& dialog, Socket& socket,
                    DownloadBuffers& buffers, std::wstring& line) {
    Transfer t{state, dialog, dialog.View(), socket, buffers, entry, line, std::wstring(), false};
    DownloadView& view = t.view;

    view.SetRowStatus(state.SetEntryState(*entry, DownloadEntry::Transferring), kRowTransferring);
    MergeIfPending(state, dialog);
    if (CurrentEntryDeleted(state, view, 0)) return DlEntryDeleted;
    if (state.downloadCancelRequested) return DlCancelled;

    // Every name is checked before anything is asked of the server.
    if (int r = ChooseTarget(t); r != kFetch) return r;

    std::string request =
        ToUtf8(BuildDownloadRequest(entry->urlPath, state.downloadHost, state.downloadPort, state.downloadCookie));
    if (!socket.SendAll(request.data(), request.size())) return DlSocketError;

    SpeedSampler sampler{state.Time(), state.Time().TickMs()};
    size_t used = 0;
    size_t headerBytes = 0;
    if (int r = ReadReplyHeader(t, used, headerBytes); r != 0) return r;
    std::wstring headerText = AnsiToWide(std::string(buffers.header, headerBytes));
    size_t already = used - headerBytes;

    std::wstring statusText;
    StatusCheck status = ParseStatusLine(headerText, statusText);
    if (status != StatusCheck::Ok) {
        line = statusText + L"\r\n";
        return status == StatusCheck::ServerError ? DlServerStatus : DlClientStatus;
    }
    double contentLength = ParseContentLength(headerText);
    if (contentLength < 0) {
        line = L"Can not take Content-Length\r\n";
        return DlNoLength;
    }
    // Bytes beyond the announced length belong to nothing we asked for.
    if (static_cast<double>(already) > contentLength) already = static_cast<size_t>(contentLength);

    MergeIfPending(state, dialog);
    if (CurrentEntryDeleted(state, view, 0)) return DlEntryDeleted;
    if (state.downloadCancelRequested) return DlCancelled;

    PartialFile partial(state.Files(), t.target, t.replace);
    if (!partial.Create()) return DlCreateFailed;
    if (already > 0 && !partial.Write(buffers.header + headerBytes, already)) return DlCreateFailed;

    MergeIfPending(state, dialog);
    if (state.downloadCancelRequested) return CancelPartial(view, partial);

    sampler.First(view, used);
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.downloadDoneBytes += static_cast<double>(already);
    }
    return ReceiveBody(t, partial, sampler, contentLength - static_cast<double>(already), static_cast<double>(already));
}

void DownloadWorker(DownloadState& state, std::shared_ptr<DownloadDialog> dialog) {
    DownloadView& view = dialog->View();
    FileSystem& fs = state.Files();
    if (!fs.Exists(state.SaveFolder())) {
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

        std::unique_ptr<Socket> socket =
            resolved ? state.Net().Connect(address, static_cast<uint16_t>(state.downloadPort)) : nullptr;
        if (!socket) {
            int row = state.SetEntryState(*entry, DownloadEntry::Failed);
            state.resultSummary += FormatText(L"%d. %ls -> Socket Connect Error\r\n", row, entry->fileName.c_str());
            view.SetRowStatus(row, kRowFailed);
            ++m;
            continue;
        }
        view.SetText(IdcDnFileNameLabel, entry->fileName);
        view.SetProgress(IdcDnFileProgress, 0);
        view.SetText(IdcDnFileSizeLabel, L" / " + FormatSize(entry->size));
        view.SetText(IdcDnFileBytesLabel, L"0Byte");

        std::wstring line;
        int result = DownloadOneFile(state, entry, *dialog, *socket, *buffers, line);
        if (!line.empty()) state.resultSummary += line;
        switch (result) {
        case DlDone:
            view.SetRowStatus(state.SetEntryState(*entry, DownloadEntry::Done), kRowDone);
            break;
        case DlSkipped:
            view.SetRowStatus(state.SetEntryState(*entry, DownloadEntry::Cancelled), kRowCancelled);
            break;
        case DlCancelled:
        case DlEntryDeleted:
            break;
        case DlCreateFailed:
        case DlSocketError: {
            int row = state.SetEntryState(*entry, DownloadEntry::Failed);
            view.SetRowStatus(row, kRowFailed);
            state.resultSummary += FormatText(result == DlCreateFailed ? L"%d. %ls -> 파일생성실패\r\n"
                                                                       : L"%d. %ls -> SOCKET ERROR\r\n",
                                              row, entry->fileName.c_str());
            break;
        }
        default:
            view.SetRowStatus(state.SetEntryState(*entry, DownloadEntry::Failed), kRowFailed);
            break;
        }
        socket->Shutdown();
        socket.reset();
        if (result == DlCancelled) break;
        if (result == DlEntryDeleted) continue;
        ++m;
    }

    state.conflict.downloadApplyToAll = false;
    if (state.downloadCancelRequested) {
        for (int row = m; row < state.downloadEntryCount; ++row) view.SetRowStatus(row, kRowCancelled);
        view.Messages().Show(L"다운로드가 취소 되었습니다.", L"Download Cancel", MbOk | MbIconStop);
    } else if (!state.resultSummary.empty()) {
        view.Messages().Show(state.resultSummary, L"Download Complete Infomation", MbOk);
    }
    state.resultSummary.clear();
    view.SetText(IdcDnTimeLeftLabel, L"...");
    view.EnableControl(IdcDnDeleteButton, false);
    view.SetText(IdcDnCancelButton, L"종 료");
    EndRun(state, *dialog);
}

}  // namespace parvex
