#include "reply_reader.h"

#include <algorithm>

namespace parvex {
namespace {

// Chunk sizes beyond this cannot belong to a reply worth reading whole.
constexpr unsigned long long kChunkSizeLimit = 1ull << 40;

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Trimmed(const std::string& s) {
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return std::string();
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int StatusCodeOf(const std::string& statusLine) {
    size_t space = statusLine.find(' ');
    if (space == std::string::npos || statusLine.size() < space + 4) return 0;
    int code = 0;
    for (size_t i = space + 1; i < space + 4; ++i) {
        if (statusLine[i] < '0' || statusLine[i] > '9') return 0;
        code = code * 10 + (statusLine[i] - '0');
    }
    return code;
}

// How the body of a reply ends.
struct Framing {
    enum Kind { None, Length, Chunked, Close } kind = Close;
    unsigned long long length = 0;
    bool broken = false;
};

// Header lines are matched by their whole name: "X-Original-Content-Length"
// is not a Content-Length.
Framing FramingOf(const std::string& head, int statusCode) {
    Framing f;
    if ((statusCode >= 100 && statusCode < 200) || statusCode == 204 || statusCode == 304) {
        f.kind = Framing::None;
        return f;
    }
    bool haveLength = false;
    size_t at = head.find("\r\n") + 2;
    while (at < head.size()) {
        size_t end = head.find("\r\n", at);
        std::string line = head.substr(at, end - at);
        at = end + 2;
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = LowerAscii(line.substr(0, colon));
        std::string value = Trimmed(line.substr(colon + 1));
        if (name == "transfer-encoding" && LowerAscii(value).find("chunked") != std::string::npos) {
            f.kind = Framing::Chunked;
        } else if (name == "content-length") {
            unsigned long long n = 0;
            bool digits = !value.empty() && value.size() <= 18 &&
                          value.find_first_not_of("0123456789") == std::string::npos;
            if (digits) n = std::stoull(value);
            if (!digits || (haveLength && n != f.length)) f.broken = true;
            haveLength = true;
            f.length = n;
        }
    }
    if (f.kind != Framing::Chunked && haveLength) f.kind = Framing::Length;
    return f;
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
    size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string::npos) return input == ReplyInput::Open ? FrameNeedMore : FrameBroken;
    reply.statusLine = bytes.substr(0, bytes.find("\r\n"));
    reply.statusCode = StatusCodeOf(reply.statusLine);
    Framing framing = FramingOf(bytes.substr(0, headEnd + 2), reply.statusCode);
    if (framing.broken) return FrameBroken;
    size_t bodyStart = headEnd + 4;
    size_t available = bytes.size() - bodyStart;
    switch (framing.kind) {
        case Framing::None:
            *used = bodyStart;
            return FrameDone;
        case Framing::Length:
            if (available >= framing.length || input == ReplyInput::Capped) {
                size_t n = static_cast<size_t>(std::min<unsigned long long>(framing.length, available));
                reply.body = bytes.substr(bodyStart, n);
                *used = bodyStart + n;
                return FrameDone;
            }
            return input == ReplyInput::Open ? FrameNeedMore : FrameBroken;
        case Framing::Chunked:
            return Dechunk(bytes, bodyStart, input, reply.body, used);
        case Framing::Close:
            if (input == ReplyInput::Open) return FrameNeedMore;
            reply.body = bytes.substr(bodyStart);
            *used = bytes.size();
            return FrameDone;
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
        int w = WaitForBytes(socket_, wait_);
        if (w == WaitCancelled) return ReplyCancelled;
        if (w == WaitTimedOut) return ReplyTimedOut;
        if (w == WaitFailed) return ReplyFailed;
        long n = socket_.Recv(block, std::min(sizeof block, kReplyCapBytes - buffer_.size()));
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
