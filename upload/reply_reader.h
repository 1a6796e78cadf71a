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

// A reply longer than this is judged on its first bytes.
constexpr size_t kReplyCapBytes = 64 * 1024;

struct HttpReply {
    std::string statusLine;  // without its line end
    int statusCode = 0;      // the three digits after the first space; 0 when there are none
    std::string body;        // chunks joined, cut at the Content-Length
    bool IsInterim() const { return statusCode >= 100 && statusCode < 200; }
};

// How much of the reply has arrived: the peer may send more, has closed, or
// has sent so much that the first bytes must do.
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

private:
    Socket& socket_;
    ServerWait wait_;
    std::string buffer_;
    bool closed_ = false;
};

}  // namespace parvex
