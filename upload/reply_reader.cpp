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
            if (size > kChunkSizeLimit) return FrameResult::Broken;
        }
        // At least one digit, then nothing or a chunk extension.
        if (i == at || (i < lineEnd && bytes[i] != ';' && bytes[i] != ' ' && bytes[i] != '\t'))
            return FrameResult::Broken;
        size_t data = lineEnd + 2;
        if (size == 0) {
            // Trailer lines up to the empty line.
            for (size_t t = data;;) {
                size_t e = bytes.find("\r\n", t);
                if (e == std::string::npos) break;
                if (e == t) {
                    *used = e + 2;
                    return FrameResult::Done;
                }
                t = e + 2;
            }
            break;
        }
        if (bytes.size() < data + size + 2) {
            body.append(bytes, data, static_cast<size_t>(std::min<unsigned long long>(size, bytes.size() - data)));
            break;
        }
        if (bytes.compare(data + size, 2, "\r\n") != 0) return FrameResult::Broken;
        body.append(bytes, data, static_cast<size_t>(size));
        at = data + size + 2;
    }
    if (input == ReplyInput::Capped) {
        *used = bytes.size();
        return FrameResult::Done;
    }
    return input == ReplyInput::Open ? FrameResult::NeedMore : FrameResult::Broken;
}

// A head that runs past the cap: the server did answer (its status line is
// kept for what the user is told), but nothing in it counts.
FrameResult HeadTooLong(const std::string& bytes, HttpReply& reply, size_t* used) {
    reply.statusLine = bytes.substr(0, bytes.find("\r\n"));
    reply.headTooLong = true;
    *used = bytes.size();
    return FrameResult::Done;
}

// How many bytes the reply at the start of buffer may take: its head up to
// the head's cap, then as much body again.
size_t ReplyCap(const std::string& buffer, size_t& searched, size_t& headEnd) {
    if (headEnd == std::string::npos) {
        headEnd = HeadLength(buffer, searched);
        searched = buffer.size();
    }
    return headEnd == std::string::npos ? kReplyHeadCapBytes : headEnd + kReplyCapBytes;
}

}  // namespace

FrameResult FrameReply(const std::string& bytes, ReplyInput input, HttpReply& reply, size_t* used) {
    reply = HttpReply();
    size_t bodyStart = HeadLength(bytes);
    if (bodyStart == std::string::npos && input == ReplyInput::Capped) return HeadTooLong(bytes, reply, used);
    if (bodyStart == std::string::npos) return input == ReplyInput::Open ? FrameResult::NeedMore : FrameResult::Broken;
    ReplyHead head = ReadReplyHead(std::string_view(bytes).substr(0, bodyStart));
    reply.statusLine = head.lines.front();
    reply.statusCode = head.statusCode;
    Framing framing = FramingOf(head);
    size_t available = bytes.size() - bodyStart;
    switch (framing.kind) {
        case Framing::Kind::None:
            *used = bodyStart;
            return FrameResult::Done;
        case Framing::Kind::Length:
            if (available >= framing.length || input == ReplyInput::Capped) {
                size_t n = static_cast<size_t>(std::min<unsigned long long>(framing.length, available));
                reply.body = bytes.substr(bodyStart, n);
                *used = bodyStart + n;
                return FrameResult::Done;
            }
            return input == ReplyInput::Open ? FrameResult::NeedMore : FrameResult::Broken;
        case Framing::Kind::Chunked:
            return Dechunk(bytes, bodyStart, input, reply.body, used);
        case Framing::Kind::Close:
            if (input == ReplyInput::Open) return FrameResult::NeedMore;
            reply.body = bytes.substr(bodyStart);
            *used = bytes.size();
            return FrameResult::Done;
        case Framing::Kind::Broken:
            break;
    }
    return FrameResult::Broken;
}

ReplyReadState ReplyReader::Next(HttpReply& reply) {
    char block[8192];
    size_t searched = 0, headEnd = std::string::npos;
    for (;;) {
        size_t cap = ReplyCap(buffer_, searched, headEnd);
        ReplyInput input = closed_                  ? ReplyInput::Closed
                           : buffer_.size() >= cap ? ReplyInput::Capped
                                                   : ReplyInput::Open;
        size_t used = 0;
        FrameResult r = FrameReply(buffer_, input, reply, &used);
        if (r == FrameResult::Done) {
            buffer_.erase(0, used);
            // Nothing after an unreadable head can be told from the rest of it.
            if (reply.headTooLong) closed_ = true;
            return ReplyReadState::Complete;
        }
        if (r == FrameResult::Broken) return ReplyReadState::Cut;
        // Received at once when there is something; waited for otherwise.
        IoResult got = socket_.RecvSome(block, std::min(sizeof block, cap - buffer_.size()));
        if (got.status == IoStatus::Later) {
            WaitOutcome w = WaitForBytes(socket_, wait_);
            if (w == WaitOutcome::Cancelled) return ReplyReadState::Cancelled;
            if (w == WaitOutcome::TimedOut) return ReplyReadState::TimedOut;
            if (w == WaitOutcome::Failed) return ReplyReadState::Failed;
            continue;
        }
        if (got.status == IoStatus::Failed) return ReplyReadState::Failed;
        if (got.status == IoStatus::Closed) closed_ = true;
        buffer_.append(block, got.bytes);
    }
}

bool ReplyReader::AnswerStarted(uint32_t ms) {
    if (!buffer_.empty() || closed_) return true;
    ServerWait brief = wait_;
    brief.timeoutMs = std::min(ms, wait_.timeoutMs);
    return WaitForBytes(socket_, brief) != WaitOutcome::TimedOut;
}

ReplyReadState ReplyReader::Final(HttpReply& reply) {
    for (;;) {
        ReplyReadState s = Next(reply);
        if (s != ReplyReadState::Complete || !reply.IsInterim()) return s;
    }
}

}  // namespace parvex
