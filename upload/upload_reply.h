// What the server answers: the upload reply judged by its status and success
// token, and the exists check that asks whether a name is already stored.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/message_box.h"
#include "common/platform_types.h"
#include "common/socket.h"
#include "reply_reader.h"
#include "upload_request.h"

namespace parvex {

enum class UploadReplyOutcome {
    Accepted,
    Cancelled,   // the user cancelled while the reply was awaited
    Refused,     // the server answered and did not take the file
    Unreadable,  // no whole answer: closed early, the time-out passed, a receive failed
};

// The server's message text out of a reply body (already framed): markup
// removed, line breaks for "<br />".
std::wstring ExtractReplyText(const std::wstring& body);
// Judges a final reply: Accepted, or Refused after telling the user why.
UploadReplyOutcome JudgeUploadReply(const HttpReply& reply, MessageBoxHost& boxes);
// Judges a final reply that came before the file was sent: the server cannot
// have taken a file it never received, so this is always Refused.
UploadReplyOutcome JudgeEarlyReply(const HttpReply& reply, MessageBoxHost& boxes);
// Reads the final reply on the upload connection and judges it.
UploadReplyOutcome ReadUploadReply(ReplyReader& reader, MessageBoxHost& boxes);
UploadReplyOutcome ReadUploadReply(Socket& socket, MessageBoxHost& boxes, const ServerWait& wait);

enum class ExistsOutcome {
    Yes,
    No,
    CheckFailed,   // a status other than 200, or a head too long to read
    SocketError,   // a send or receive failed, or no whole answer came
    Cancelled,     // the user cancelled meanwhile
    NoConnection,  // no connection after 3 attempts
};

// How the exists check and the upload connect.
struct ConnectPolicy {
    uint32_t timeoutMs = kConnectTimeoutMs;  // per attempt
    int attempts = 3;
};

// Where target's requests go, given the addresses its host resolved to.
Endpoint TargetEndpoint(const UploadTarget& target, const std::vector<NetAddress>& addresses);

// Asks, on a connection of its own, whether the server holds fileName.
ExistsOutcome CheckFileExists(Network& network, const std::vector<NetAddress>& addresses, const UploadTarget& target,
                              const std::wstring& fileName, const ServerWait& wait,
                              const ConnectPolicy& connect = ConnectPolicy());
// Up to policy.attempts connections to the server; stops early on a cancel.
std::unique_ptr<Socket> ConnectWithRetries(Network& network, const Endpoint& endpoint, const ServerWait& wait,
                                           const ConnectPolicy& policy);

}  // namespace parvex
