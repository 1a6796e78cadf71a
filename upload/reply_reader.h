// Reading the server's HTTP replies off a connection: one reader for the
// interim answer to "Expect", the upload reply and the exists answer. A reply
// ends at its Content-Length, at the final chunk of a chunked body, or at the
// close when it has neither. The head is read as the download reads it
// (common/http_reply.h); what the body is made of is the upload's own rule.
#pragma once
#include <cstddef>
#include <string>

#include "common/socket.h"

namespace parvex {

// A head up to this size is read whole; a longer one is no reply to be
// trusted (see HttpReply::headTooLong).
constexpr size_t kReplyHeadCapBytes = 64 * 1024;
// A body longer than this is judged on its first bytes.
constexpr size_t kReplyCapBytes = 64 * 1024;

struct HttpReply {
    std::string statusLine;  // without its line end
    int statusCode = 0;      // StatusCodeOf the status line; 0 when it has none
    std::string body;        // chunks joined, cut at the Content-Length
    // The head did not end within kReplyHeadCapBytes: the server answered,
    // but with nothing that can be judged. It has no status code (so it is
    // neither an interim answer nor an acceptance) and no body.
    bool headTooLong = false;
    bool IsInterim() const { return statusCode >= 100 && statusCode < 200; }
};

// How much of the reply has arrived: the peer may send more, has closed, or
// has sent so much that the first bytes must do (a head of
// kReplyHeadCapBytes without its end, or kReplyCapBytes of body).
enum class ReplyInput { Open, Closed, Capped };

enum class FrameResult {
    NeedMore,  // only with ReplyInput::Open
    Done,
    Broken,  // cut inside its head or body, or framing that cannot be read
};
// Frames the reply at the start of bytes; on Done *used says how many bytes
// it took (what follows belongs to the next reply).
FrameResult FrameReply(const std::string& bytes, ReplyInput input, HttpReply& reply, size_t* used);

enum class ReplyReadState {
    Complete,
    Cut,  // the peer closed before the reply was whole, or its framing is broken
    TimedOut,
    Cancelled,
    Failed,  // a receive failed
};

// Reads the replies of one connection in turn. Bytes that arrive with one
// reply and belong to the next are kept for it.
class ReplyReader {
public:
    ReplyReader(Socket& socket, const ServerWait& wait) : socket_(socket), wait_(wait) {}
    // The next reply, interim or final.
    ReplyReadState Next(HttpReply& reply);
    // The next final reply; interim replies before it are skipped.
    ReplyReadState Final(HttpReply& reply);
    // Bytes of a further reply have already arrived.
    bool HasPending() const { return !buffer_.empty(); }
    // Whether the peer began an answer, closed, or the wait ended otherwise
    // (cancel, failure: the next read tells) within ms; false when it stayed
    // silent all that time.
    bool AnswerStarted(uint32_t ms);

private:
    Socket& socket_;
    ServerWait wait_;
    std::string buffer_;
    bool closed_ = false;
};

}  // namespace parvex
