// The download worker: one GET per queued entry, over the connection kept
// from the entry before when its reply allowed that (kept_connection.h), the
// body written into the save folder block by block.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "common/http_reply.h"
#include "common/socket.h"
#include "download_session.h"

namespace parvex {

// How one entry's transfer ended.
enum class DownloadResult {
    Done,
    Skipped,       // the user kept the existing file
    Cancelled,     // the run stops
    EntryDeleted,  // the row went during its transfer; the same row number is fetched next
    CreateFailed,  // the target could not be written
    SocketError,   // sending, receiving or the peer's close cut the transfer
    NoLength,      // no usable Content-Length
    ClientStatus,  // a status below 500 other than 200, or no HTTP/1.1 status line
    ServerStatus,  // a status of 500 or above
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
// The GET request text for one entry; rangeLines (resume_rules.h) ask for
// the rest of a file already begun.
std::wstring BuildDownloadRequest(const std::wstring& urlPath, const std::wstring& host, int port,
                                  const std::wstring& cookie, const std::string& rangeLines = std::string());

// The reply head's buffer of one worker, reused for every entry; kBlockSize
// is how much of the body goes to the file at a time (write_behind.h).
struct DownloadBuffers {
    static constexpr size_t kHeaderSize = 8192;
    static constexpr size_t kHeaderChunk = 512;
    static constexpr size_t kBlockSize = kTransferBlockBytes;
    char header[kHeaderSize + 1];
};

// Fetches one entry of session over a connected socket. line receives at
// most one summary line of the entry's own.
DownloadResult DownloadOneFile(DownloadWorkerCalls& state, DownloadSession& session, const DownloadEntryPtr& entry,
                               Socket& socket, DownloadBuffers& buffers, std::wstring& line);

// One run on the session's worker thread: walks the list and ends the run.
class HttpDownloadEngine : public DownloadEngine {
public:
    void Run(DownloadWorkerCalls& state, DownloadSession& session) override;
};

}  // namespace parvex
