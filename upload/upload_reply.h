// What the server answers: the upload reply judged by its status and success
// token, and the exists check that asks whether a name is already stored.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "common/clock.h"
#include "common/message_box.h"
#include "common/platform_types.h"
#include "common/socket.h"
#include "upload_request.h"

namespace parvex {

// A server that says nothing for this long is given up (waits for
// "100 continue", for the upload reply and for the exists answer).
constexpr uint32_t kSilentServerTimeoutMinutes = 5;
constexpr uint32_t kSilentServerTimeoutMs = kSilentServerTimeoutMinutes * 60u * 1000u;
// A reply longer than this is judged on its first bytes.
constexpr size_t kReplyCapBytes = 64 * 1024;

// How a wait on the server ends besides an answer: the user's cancel (polled
// at least every 100 ms) and the time-out after the last byte received.
struct ServerWait {
    Clock* clock = nullptr;
    const std::atomic<int>* cancel = nullptr;  // null: not cancellable
    uint32_t timeoutMs = kSilentServerTimeoutMs;
};

enum WaitOutcome : int {
    WaitReady = 1,       // bytes or the peer's close are waiting
    WaitTimedOut = 0,
    WaitFailed = -1,
    WaitCancelled = -3,
};
int WaitForBytes(Socket& socket, const ServerWait& wait);

enum ReplyReadState : int {
    ReplyComplete,  // the announced length, the final chunk, or the size cap arrived
    ReplyClosed,    // the peer closed; what arrived is in the reply
    ReplyTimedOut,
    ReplyCancelled,
    ReplyFailed,    // a receive failed
};
// Reads a whole HTTP reply: until the peer closes, or the Content-Length or
// the final chunk has arrived, at most kReplyCapBytes.
ReplyReadState ReadWholeReply(Socket& socket, const ServerWait& wait, std::string& reply);

enum UploadReplyOutcome : int {
    UploadAccepted = 0,
    UploadReplyCancelled = -1,  // the user cancelled while the reply was awaited
    UploadRefused = -2,         // the server answered and did not take the file
    UploadReplyUnreadable = -3, // no answer: the peer closed, the time-out passed, a receive failed
};

// The server's message text out of a reply body; length is the Content-Length
// or -1 (the body is then taken as chunked and only its first chunk is used).
std::wstring ExtractReplyText(const std::wstring& body, long long length);
// Judges a reply that has been read: UploadAccepted, or UploadRefused after
// telling the user why.
int JudgeUploadReply(const std::string& reply, MessageBoxHost& boxes);
// Reads the reply on the upload connection and judges it.
int ReadUploadReply(Socket& socket, MessageBoxHost& boxes, const ServerWait& wait);

enum ExistsOutcome : int {
    ExistsYes = 1,
    ExistsNo = 0,
    ExistsCheckFailed = -1,  // no connection after 3 attempts, or a status other than 200
    ExistsSocketError = -2,  // a send or receive failed, or no answer came
    ExistsCancelled = -3,    // the user cancelled while the answer was awaited
};
// Asks, on a connection of its own, whether the server holds fileName.
int CheckFileExists(Network& network, const NetAddress& address, const UploadTarget& target,
                    const std::wstring& fileName, const ServerWait& wait);

}  // namespace parvex
