#include "download_engine.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "common/folders.h"
#include "common/format.h"
#include "common/utf8.h"

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

int Percent(double part, double whole) {
    if (whole <= 0) return 0;
    double p = part / whole * 100;
    if (p < 0) return 0;
    if (p > 100) return 100;
    return static_cast<int>(p);
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
    size_t at = lower.find(kName);
    if (at == std::wstring::npos) return -1;
    size_t from = at + kName.size();
    size_t nl = lower.find(L'\n', from);
    std::wstring value = WithoutLineEnds(lower.substr(from, nl == std::wstring::npos ? std::wstring::npos : nl - from));
    size_t first = value.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return 0;
    return std::wcstod(value.c_str() + first, nullptr);
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

void AskDeletePartial(DownloadState& state, DownloadView& view, const std::wstring& path) {
    int answer = view.Messages().Show(L"현재 다운로드중인 파일을 삭제 하시겠습니까?", L"Download Cancel", MbYesNo);
    if (answer == IdYes) state.Files().RemoveFile(path);
}

}  // namespace

int DownloadOneFile(DownloadState& state, const DownloadEntryPtr& entry, DownloadDialog& dialog, Socket& socket,
                    DownloadBuffers& buffers, std::wstring& line) {
    DownloadView& view = dialog.View();
    FileSystem& fs = state.Files();
    Clock& clock = state.Time();

    view.SetRowStatus(state.SetEntryState(*entry, DownloadEntry::Transferring), kDnStatusTransferring);
    MergeIfPending(state, dialog);
    if (CurrentEntryDeleted(state, view, 0)) return DlEntryDeleted;
    if (state.downloadCancelRequested) return DlCancelled;

    // The page names the file; it must not reach outside the save folder.
    if (!IsNameInsideFolder(entry->fileName)) return DlCreateFailed;
    std::wstring target = state.SaveFolder() + L"\\" + entry->fileName;
    CreateFolderChain(fs, target);
    if (fs.IsDirectory(target)) return DlDone;

    if (fs.Exists(target)) {
        ExistingFileDecision decision = DecideExistingFile(state.conflict, fs, state.SamePrompt(), state.NamePrompt(),
                                                           state.PromptMessages(), *entry, target);
        if (decision.answer == ExistingFileDecision::Skip) {
            double reduced;
            double done;
            {
                std::lock_guard<std::mutex> lock(state.mutex);
                reduced = state.downloadTotalBytes - entry->size;
                done = state.downloadDoneBytes;
            }
            view.SetText(kDnTotalSizeLabel, L" / " + FormatSize(reduced));
            view.SetProgress(kDnTotalProgress, Percent(done, reduced));
            line = FormatText(L"%ls -> User Cancel\r\n", entry->fileName.c_str());
            return DlSkipped;
        }
        target = decision.targetPath;
    }

    std::string request =
        ToUtf8(BuildDownloadRequest(entry->urlPath, state.downloadHost, state.downloadPort, state.downloadCookie));
    if (!socket.SendAll(request.data(), request.size())) return DlSocketError;

    // The reply header, in small reads so that little of the body is taken
    // along with it.
    uint32_t sampleTick = clock.TickMs();
    char* header = buffers.header;
    size_t used = 0;
    long headerEnd = -1;
    while (headerEnd < 0) {
        MergeIfPending(state, dialog);
        if (state.downloadCancelRequested) return DlCancelled;
        // A header that fills the buffer without ending is not one we can read.
        if (used == DownloadBuffers::kHeaderSize) return DlSocketError;
        size_t want = std::min(DownloadBuffers::kHeaderChunk, DownloadBuffers::kHeaderSize - used);
        long n = socket.Recv(header + used, want);
        // 0: the peer closed before the header was complete.
        if (n <= 0) return DlSocketError;
        used += static_cast<size_t>(n);
        headerEnd = FindHeaderEnd(header, used, static_cast<size_t>(n));
    }
    header[used] = '\0';
    size_t headerBytes = static_cast<size_t>(headerEnd) + 4;
    std::wstring headerText = AnsiToWide(std::string(header, headerBytes));
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

    std::unique_ptr<File> file = fs.OpenWrite(target);
    if (!file) return DlCreateFailed;
    if (already > 0 && !file->Write(header + headerBytes, already)) {
        file.reset();
        fs.RemoveFile(target);
        return DlCreateFailed;
    }

    MergeIfPending(state, dialog);
    if (state.downloadCancelRequested) {
        file.reset();
        AskDeletePartial(state, view, target);
        return DlCancelled;
    }

    uint32_t sampleBytes = 0;
    uint32_t now = clock.TickMs();
    if (now != sampleTick) {
        uint32_t speed = static_cast<uint32_t>(used) * 1000u / (now - sampleTick);
        view.SetText(kDnSpeedLabel, FormatSize(speed));
        sampleTick = now;
    } else {
        sampleBytes = static_cast<uint32_t>(used);
    }

    const double remaining = contentLength - static_cast<double>(already);
    double received = 0;
    double fileBytes = static_cast<double>(already);
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.downloadDoneBytes += static_cast<double>(already);
    }

    char* block = buffers.block;
    for (;;) {
        MergeIfPending(state, dialog);
        if (CurrentEntryDeleted(state, view, fileBytes)) {
            file.reset();
            fs.RemoveFile(target);
            return DlEntryDeleted;
        }
        if (state.downloadCancelRequested) {
            file.reset();
            AskDeletePartial(state, view, target);
            return DlCancelled;
        }
        if (received >= remaining) {
            now = clock.TickMs();
            if (now != sampleTick) {
                uint32_t speed = static_cast<uint32_t>(static_cast<uint64_t>(sampleBytes) * 1000u / (now - sampleTick));
                view.SetText(kDnSpeedLabel, FormatSize(speed));
            }
            return DlDone;
        }
        // Never past the announced length: what follows is not this file.
        double left = remaining - received;
        size_t want = left < DownloadBuffers::kBlockSize ? static_cast<size_t>(left) : DownloadBuffers::kBlockSize;
        long n = socket.Recv(block, want);
        if (n <= 0) {
            // A file cut short must not look complete.
            file.reset();
            fs.RemoveFile(target);
            return DlSocketError;
        }
        if (!file->Write(block, static_cast<size_t>(n))) {
            file.reset();
            fs.RemoveFile(target);
            return DlCreateFailed;
        }
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
        view.SetProgress(kDnFileProgress, Percent(fileBytes, entry->size));
        view.SetProgress(kDnTotalProgress, Percent(done, total));
        sampleBytes += static_cast<uint32_t>(n);
        now = clock.TickMs();
        uint32_t elapsed = now - sampleTick;
        if (elapsed > 500) {
            uint32_t speed = sampleBytes / elapsed * 1024u;
            view.SetText(kDnSpeedLabel, FormatSize(speed));
            double leftBytes = total - done;
            view.SetText(kDnTimeLeftLabel,
                         speed > 0 && leftBytes > 0 ? FormatDuration(leftBytes * 1024 / speed) : std::wstring(L"..."));
            view.SetText(kDnFileBytesLabel, FormatSize(fileBytes));
            view.SetText(kDnDoneBytesLabel, FormatSize(done));
            sampleBytes = 0;
            sampleTick = now;
        }
    }
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

    view.SetProgress(kDnTotalProgress, 0);
    view.SetText(kDnTotalSizeLabel, L" / " + FormatSize(state.TotalBytes()));
    view.SetText(kDnDoneBytesLabel, L"0Byte");

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
            view.SetRowStatus(row, kDnStatusFailed);
            ++m;
            continue;
        }
        view.SetText(kDnFileNameLabel, entry->fileName);
        view.SetProgress(kDnFileProgress, 0);
        view.SetText(kDnFileSizeLabel, L" / " + FormatSize(entry->size));
        view.SetText(kDnFileBytesLabel, L"0Byte");

        std::wstring line;
        int result = DownloadOneFile(state, entry, *dialog, *socket, *buffers, line);
        if (!line.empty()) state.resultSummary += line;
        switch (result) {
        case DlDone:
            view.SetRowStatus(state.SetEntryState(*entry, DownloadEntry::Done), kDnStatusDone);
            break;
        case DlSkipped:
            view.SetRowStatus(state.SetEntryState(*entry, DownloadEntry::Cancelled), kDnStatusCancelled);
            break;
        case DlCancelled:
        case DlEntryDeleted:
            break;
        case DlCreateFailed:
        case DlSocketError: {
            int row = state.SetEntryState(*entry, DownloadEntry::Failed);
            view.SetRowStatus(row, kDnStatusFailed);
            state.resultSummary += FormatText(result == DlCreateFailed ? L"%d. %ls -> 파일생성실패\r\n"
                                                                       : L"%d. %ls -> SOCKET ERROR\r\n",
                                              row, entry->fileName.c_str());
            break;
        }
        default:
            view.SetRowStatus(state.SetEntryState(*entry, DownloadEntry::Failed), kDnStatusFailed);
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
        for (int row = m; row < state.downloadEntryCount; ++row) view.SetRowStatus(row, kDnStatusCancelled);
        view.Messages().Show(L"다운로드가 취소 되었습니다.", L"Download Cancel", MbOk | MbIconStop);
    } else if (!state.resultSummary.empty()) {
        view.Messages().Show(state.resultSummary, L"Download Complete Infomation", MbOk);
    }
    state.resultSummary.clear();
    view.SetText(kDnTimeLeftLabel, L"...");
    view.EnableControl(kDnDeleteButton, false);
    view.SetText(kDnCancelButton, L"종 료");
    EndRun(state, *dialog);
}

}  // namespace parvex
