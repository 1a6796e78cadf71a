// The download worker: one GET per queued entry over a fresh connection, the
// body written into the save folder block by block.
#pragma once
#include <memory>
#include <string>

#include "common/http_reply.h"
#include "common/socket.h"
#include "download_state.h"

namespace parvex {

enum DownloadResult : int {
    DlDone = 0,
    DlSkipped = -50,
    DlCancelled = -51,
    DlEntryDeleted = -52,
    DlCreateFailed = -53,
    DlSocketError = -20,
    DlNoLength = -3,
    DlClientStatus = -2,
    DlServerStatus = -1,
};

enum class StatusCheck { Ok, ClientError, ServerError, NoStatusLine };

// The status line of a reply header. statusText gets the lower-cased rest of
// the line after its first " " (empty when there is no HTTP/1.1 line or the
// status is 200).
StatusCheck ParseStatusLine(const std::wstring& header, std::wstring& statusText);
// Content-Length of a reply header: its decimal digits, up to
// kMaxContentLength, the same in every Content-Length field; -1 when absent,
// not such a number, or when the body comes in chunks.
double ParseContentLength(const std::wstring& header);
// The largest length still counted exactly in a double.
constexpr double kMaxContentLength = static_cast<double>(kMaxBodyLength);
// The GET request text for one entry.
std::wstring BuildDownloadRequest(const std::wstring& urlPath, const std::wstring& host, int port,
                                  const std::wstring& cookie);

// Buffers of one worker, reused for every entry and every block. The body is
// received into block and written out each time it fills.
struct DownloadBuffers {
    static constexpr size_t kHeaderSize = 8192;
    static constexpr size_t kHeaderChunk = 512;
    static constexpr size_t kBlockSize = kTransferBlockBytes;
    char header[kHeaderSize + 1];
    char block[kBlockSize];
};

// Fetches one entry over a connected socket. line receives at most one
// summary line of the entry's own.
int DownloadOneFile(DownloadState& state, const DownloadEntryPtr& entry, DownloadDialog& dialog, Socket& socket,
                    DownloadBuffers& buffers, std::wstring& line);

// The worker thread's body: walks the list and ends the run.
void DownloadWorker(DownloadState& state, std::shared_ptr<DownloadDialog> dialog);

}  // namespace parvex
