#include "kept_connection.h"

#include "common/http_reply.h"

namespace parvex {
namespace {

// A head that has not ended within this many bytes is no reply worth
// keeping a connection for (the download's own header buffer is smaller).
constexpr size_t kMostHeadBytes = 64 * 1024;

// Whether a Connection field's comma-separated options include "close".
bool AsksToClose(const std::string& value) {
    std::string options = LowerAscii(value);
    size_t at = 0;
    while (at <= options.size()) {
        size_t end = options.find(',', at);
        if (end == std::string::npos) end = options.size();
        size_t first = options.find_first_not_of(" \t", at);
        size_t last = options.find_last_not_of(" \t", end == 0 ? 0 : end - 1);
        if (first < end && last != std::string::npos && options.compare(first, last - first + 1, "close") == 0)
            return true;
        at = end + 1;
    }
    return false;
}

}  // namespace

bool ReplyKeepsConnection(const std::string& head) {
    ReplyHead reply = ReadReplyHead(head);
    if (reply.lines.empty() || LowerAscii(reply.lines.front()).compare(0, 9, "http/1.1 ") != 0) return false;
    for (const std::string& value : FieldValues(reply, "connection"))
        if (AsksToClose(value)) return false;
    return true;
}

void KeptConnection::Use(std::unique_ptr<Socket> fresh) {
    Drop();
    socket_ = std::move(fresh);
    reused_ = false;
}

void KeptConnection::Release(bool whole) {
    // A file that asked nothing of the server (a folder, a file the user
    // kept) leaves an idle connection as it found it.
    if (socket_ && request_.empty() && replyBytes_ == 0 && socket_->WaitReadable(0) == 0) {
        reused_ = true;
        return;
    }
    size_t headBytes = HeadLength(head_);
    ReplyHead reply = ReadReplyHead(head_);
    ContentLength length = ContentLengthOf(reply);
    // Only a body of exactly its announced length leaves the stream where
    // the next reply begins; a close or a stray byte already waiting ends it.
    bool keep = whole && socket_ && headBytes != std::string::npos && !IsChunked(reply) &&
                length.state == ContentLength::State::Usable && replyBytes_ == headBytes + length.bytes &&
                ReplyKeepsConnection(head_) && socket_->WaitReadable(0) == 0;
    if (!keep) {
        Drop();
        return;
    }
    reused_ = true;
    resent_ = false;
    request_.clear();
    head_.clear();
    replyBytes_ = 0;
}

bool KeptConnection::SendAll(const void* data, size_t count) {
    if (!socket_) return false;
    if (replyBytes_ == 0) request_.append(static_cast<const char*>(data), count);
    if (socket_->SendAll(data, count)) return true;
    return MayResend() && Resend();
}

IoResult KeptConnection::SendSome(const void* data, size_t count) {
    if (!socket_) return IoResult::Failed();
    IoResult sent = socket_->SendSome(data, count);
    if (sent.HasBytes() && replyBytes_ == 0) request_.append(static_cast<const char*>(data), sent.bytes);
    if (sent.status == IoStatus::Failed && MayResend()) return Resend() ? IoResult::Later() : IoResult::Failed();
    return sent;
}

IoResult KeptConnection::Recv(void* buffer, size_t count) {
    if (!socket_) return IoResult::Failed();
    IoResult got = socket_->Recv(buffer, count);
    if (!got.HasBytes() && MayResend()) {
        if (!Resend()) return IoResult::Failed();
        got = socket_->Recv(buffer, count);
    }
    return Received(got, buffer);
}

IoResult KeptConnection::RecvSome(void* buffer, size_t count) {
    if (!socket_) return IoResult::Failed();
    IoResult got = socket_->RecvSome(buffer, count);
    // Nothing has arrived yet over the new connection either way: when it
    // could not be made, the wait that follows fails, unless the cancel
    // that stopped it is seen first.
    if ((got.status == IoStatus::Closed || got.status == IoStatus::Failed) && MayResend()) {
        Resend();
        return IoResult::Later();
    }
    return Received(got, buffer);
}

IoResult KeptConnection::Received(IoResult got, const void* buffer) {
    if (!got.HasBytes()) return got;
    replyBytes_ += got.bytes;
    if (HeadLength(head_) == std::string::npos && head_.size() < kMostHeadBytes)
        head_.append(static_cast<const char*>(buffer), got.bytes);
    size_t headBytes = HeadLength(head_);
    if (headBytes != std::string::npos) head_.resize(headBytes);
    return got;
}

bool KeptConnection::Resend() {
    resent_ = true;
    if (socket_) socket_->Shutdown();
    socket_ = connect_();
    reused_ = false;
    return socket_ && socket_->SendAll(request_.data(), request_.size());
}

void KeptConnection::Drop() {
    if (socket_) socket_->Shutdown();
    socket_.reset();
    reused_ = false;
    resent_ = false;
    request_.clear();
    head_.clear();
    replyBytes_ = 0;
}

}  // namespace parvex
