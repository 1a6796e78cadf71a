#include "reply_reader.h"

#include <algorithm>

#include "common/http_reply.h"

namespace parvex {
namespace {

// Chunk sizes beyond this cannot belong to a reply worth reading whole.
constexpr unsigned long long kChunkSizeLimit = 1ull << 40;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// How the body of a reply ends.
struct Framing {
    enum class Kind { None, Length, Chunked, Close, Broken } kind = Kind::Close;
    unsigned long long length = 0;
};

// Chunks win over a Content-Length; a Content-Length that cannot be counted
// to leaves the reply unreadable, chunked or not.
Framing FramingOf(const ReplyHead& head) {
    int code = head.statusCode;
    if ((code >= 100 && code < 200) || code == 204 || code == 304) return {Framing::Kind::None};
    ContentLength length = ContentLengthOf(head);
    if (length.state == ContentLength::State::Unusable) return {Framing::Kind::Broken};
    if (IsChunked(head)) return {Framing::Kind::Chunked};
    if (length.state == ContentLength::State::Usable) return {Framing::Kind::Length, length.bytes};
    return {Framing::Kind::Close};
}

// Joins the chunks of a chunked body that starts at `at`.
FrameResult Dechunk(const std::string& bytes, size_t at, ReplyInput input, std::string& body, size_t* used) {
    for (;;) {
        size_t lineEnd = bytes.find("\r\n", at);
        if (lineEnd == std::string::npos) break;
        unsigned long long size = 0;
        size_t i = at;
        for (; i < lineEnd && HexDigit(bytes[i]) >= 0; ++i) {
            size = size * 16 + static_cast<unsigned>(HexDigit(bytes[i]));
            if (size > kChunkSizeLimit) return FrameBroken;
        }
        // At least one digit, then nothing or a chunk extension.
        if (i == at || (i < lineEnd && bytes[i] != ';' && bytes[i] != ' ' && bytes[i] != '\t')) return FrameBroken;
        size_t data = lineEnd + 2;
        if (size == 0) {
            // Trailer lines up to the empty line.
            for (size_t t = data;;) {
                size_t e = bytes.find("\r\n", t);
                if (e == std::string::npos) break;
                if (e == t) {
                    *used = e + 2;
                    return FrameDone;
                }
                t = e + 2;
            }
            break;
        }
        if (bytes.size() < data + size + 2) {
            body.append(bytes, data, static_cast<size_t>(std::min<unsigned long long>(size, bytes.size() - data)));
            break;
        }
        if (bytes.compare(data + size, 2, "\r\n") != 0) return FrameBroken;
        body.append(bytes, data, static_cast<size_t>(size));
        at = data + size + 2;
    }
    if (input == ReplyInput::Capped) {
        *used = bytes.size();
        return FrameDone;
    }
    return input == ReplyInput::Open ? FrameNeedMore : FrameBroken;
}

}  // namespace

FrameResult FrameReply(const std::string& bytes, ReplyInput input, HttpReply& reply, size_t* used) {
    reply = HttpReply();
    size_t bodyStart = HeadLength(bytes);
    if (bodyStart == std::string::npos) return input == ReplyInput::Open ? FrameNeedMore : FrameBroken;
    ReplyHead head = ReadReplyHead(std::string_view(bytes).substr(0, bodyStart));
    reply.statusLine = head.lines.front();
    reply.statusCode = head.statusCode;
    Framing framing = FramingOf(head);
    size_t available = bytes.size() - bodyStart;
    switch (framing.kind) {
        case Framing::Kind::None:
            *used = bodyStart;
            return FrameDone;
        case Framing::Kind::Length:
            if (available >= framing.length || input == ReplyInput::Capped) {
                size_t n = static_cast<size_t>(std::min<unsigned long long>(framing.length, available));
                reply.body = bytes.substr(bodyStart, n);
                *used = bodyStart + n;
                return FrameDone;
            }
            return input == ReplyInput::Open ? FrameNeedMore : FrameBroken;
        case Framing::Kind::Chunked:
            return Dechunk(bytes, bodyStart, input, reply.body, used);
        case Framing::Kind::Close:
            if (input == ReplyInput::Open) return FrameNeedMore;
            reply.body = bytes.substr(bodyStart);
            *used = bytes.size();
            return FrameDone;
        case Framing::Kind::Broken:
            break;
    }
    return FrameBroken;
}

ReplyReadState ReplyReader::Next(HttpReply& reply) {
    char block[8192];
    for (;;) {
        ReplyInput input = closed_                            ? ReplyInput::Closed
                           : buffer_.size() >= kReplyCapBytes ? ReplyInput::Capped
                                                              : ReplyInput::Open;
        size_t used = 0;
        FrameResult r = FrameReply(buffer_, input, reply, &used);
        if (r == FrameDone) {
            buffer_.erase(0, used);
            return ReplyComplete;
        }
        if (r == FrameBroken) return ReplyCut;
        // Received at once when there is something; waited for otherwise.
        long n = socket_.RecvSome(block, std::min(sizeof block, kReplyCapBytes - buffer_.size()));
        if (n == Socket::kNothingArrived) {
            int w = WaitForBytes(socket_, wait_);
            if (w == WaitCancelled) return ReplyCancelled;
            if (w == WaitTimedOut) return ReplyTimedOut;
            if (w == WaitFailed) return ReplyFailed;
            continue;
        }
        if (n < 0) return ReplyFailed;
        if (n == 0) closed_ = true;
        buffer_.append(block, static_cast<size_t>(n));
    }
}

ReplyReadState ReplyReader::Final(HttpReply& reply) {
    for (;;) {
        ReplyReadState s = Next(reply);
        if (s != ReplyComplete || !reply.IsInterim()) return s;
    }
}

}  // namespace parvex
