#include "tls_socket.h"

#include <algorithm>
#include <cstring>

#include "trace.h"

namespace parvex {
namespace {

// How long one look waits when the caller waits without a limit.
constexpr int kSliceMs = 100;

// Drops the first used bytes of the count in buffer.
void Consume(std::vector<char>& buffer, size_t& count, size_t used) {
    std::memmove(buffer.data(), buffer.data() + used, count - used);
    count -= used;
}

// The wait with what is left of limitMs since start as its time-out.
ServerWait Remaining(const ServerWait& wait, Clock& clock, uint32_t start, uint32_t limitMs) {
    ServerWait left = wait;
    uint32_t spent = clock.TickMs() - start;
    left.timeoutMs = spent < limitMs ? limitMs - spent : 0;
    return left;
}

}  // namespace

WaitOutcome RunTlsHandshake(Socket& plain, TlsSession& session, const ServerWait& wait, uint32_t limitMs,
                            const std::wstring& peer, std::string& early) {
    Clock& clock = wait.clock ? *wait.clock : SystemClock();
    const uint32_t start = clock.TickMs();
    std::vector<char> in(kTlsReceiveBytes);
    size_t have = 0;
    std::string out;
    for (;;) {
        size_t used = 0;
        out.clear();
        TlsSession::Status status = session.Handshake(in.data(), have, &used, out);
        Consume(in, have, used);
        if (!out.empty()) {
            WaitOutcome sent = SendBounded(plain, out.data(), out.size(), Remaining(wait, clock, start, limitMs));
            if (sent != WaitOutcome::Ready) return sent;
        }
        if (status == TlsSession::Status::Ok) {
            early.assign(in.data(), have);
            return WaitOutcome::Ready;
        }
        if (status != TlsSession::Status::NeedMore) return WaitOutcome::Failed;
        for (;;) {
            if (have == in.size()) return WaitOutcome::Failed;
            IoResult r = plain.RecvSome(in.data() + have, in.size() - have);
            if (r.HasBytes()) {
                have += r.bytes;
                break;
            }
            if (r.status == IoStatus::Closed)
                TraceFailure(L"TLS handshake with", peer, 0, L"the server closed the connection");
            if (r.status != IoStatus::Later) return WaitOutcome::Failed;
            WaitOutcome w = WaitForBytes(plain, Remaining(wait, clock, start, limitMs));
            if (w != WaitOutcome::Ready) return w;
        }
    }
}

TlsSocket::TlsSocket(std::unique_ptr<Socket> plain, std::unique_ptr<TlsSession> session, const std::string& early)
    : plain_(std::move(plain)), session_(std::move(session)), in_(std::max(kTlsReceiveBytes, early.size())) {
    std::memcpy(in_.data(), early.data(), early.size());
    inCount_ = early.size();
    early_ = inCount_ > 0;
}

bool TlsSocket::Push() {
    if (failed_) return false;
    while (Holding()) {
        IoResult r = plain_->SendSome(out_.data() + sentOut_, out_.size() - sentOut_);
        if (r.status == IoStatus::Failed) {
            Fail();
            return false;
        }
        if (!r.HasBytes()) return true;
        sentOut_ += r.bytes;
    }
    out_.clear();
    sentOut_ = 0;
    return true;
}

IoResult TlsSocket::Pull() {
    if (failed_) return IoResult::Failed();
    if (closed_) return IoResult::Closed();
    // Records the server sent with the handshake's end are opened first.
    bool receive = !early_;
    early_ = false;
    for (;;) {
        if (receive) {
            // A full buffer without one whole record is no TLS stream.
            if (inCount_ == in_.size()) return Fail();
            IoResult r = plain_->RecvSome(in_.data() + inCount_, in_.size() - inCount_);
            if (r.status == IoStatus::Later) return r;
            if (r.status == IoStatus::Failed) return Fail();
            // A close without close_notify ends the stream too: the reply's
            // own length tells a cut body.
            if (r.status == IoStatus::Closed) {
                closed_ = true;
                return r;
            }
            inCount_ += r.bytes;
        }
        receive = true;
        size_t used = 0, before = Opened();
        TlsSession::Status status = session_->Open(in_.data(), inCount_, &used, opened_);
        Consume(in_, inCount_, used);
        if (status == TlsSession::Status::Failed) return Fail();
        if (status == TlsSession::Status::Closed) closed_ = true;
        if (Opened() > before) return IoResult::Moved(Opened());
        if (closed_) return IoResult::Closed();
        // Part of a record, or records without data: receive more.
    }
}

IoResult TlsSocket::RecvSome(void* buffer, size_t count) {
    if (!Push()) return IoResult::Failed();
    if (Opened() == 0) {
        IoResult r = Pull();
        if (!r.HasBytes()) return r;
    }
    size_t n = std::min(count, Opened());
    std::memcpy(buffer, opened_.data() + openedAt_, n);
    openedAt_ += n;
    if (openedAt_ == opened_.size()) {
        opened_.clear();
        openedAt_ = 0;
    }
    return IoResult::Received(n);
}

IoResult TlsSocket::Recv(void* buffer, size_t count) {
    for (;;) {
        IoResult r = RecvSome(buffer, count);
        if (r.status != IoStatus::Later) return r;
        if (WaitReadable(-1) < 0) return IoResult::Failed();
    }
}

long TlsSocket::Available() {
    if (!Push()) return -1;
    if (Opened() == 0 && Pull().status == IoStatus::Failed) return -1;
    return static_cast<long>(Opened());
}

int TlsSocket::WaitReadable(int timeoutMs) {
    for (;;) {
        if (failed_) return -1;
        if (Opened() > 0 || closed_) return 1;
        if (early_) {
            IoStatus pulled = Pull().status;
            if (pulled == IoStatus::Failed) return -1;
            if (pulled != IoStatus::Later) return 1;
        }
        if (!Push()) return -1;
        int r = 0;
        if (Holding()) {
            // The server may wait for these bytes before it answers: room for
            // them is waited for, and an answer that came first is taken.
            r = plain_->WaitReadable(0);
            if (r == 0) {
                if (plain_->WaitWritable(timeoutMs < 0 ? kSliceMs : timeoutMs) < 0) return -1;
                if (timeoutMs >= 0) return 0;
                continue;
            }
        } else {
            r = plain_->WaitReadable(timeoutMs);
        }
        if (r <= 0) return r;
        IoStatus pulled = Pull().status;
        if (pulled == IoStatus::Failed) return -1;
        if (pulled != IoStatus::Later) return 1;
        // Part of a record: the caller's next slice waits for the rest.
        if (timeoutMs >= 0) return 0;
    }
}

IoResult TlsSocket::SendSome(const void* data, size_t count) {
    if (!Push()) return IoResult::Failed();
    if (Holding()) return IoResult::Later();
    size_t take = std::min(count, kTlsRecordBytes * kTlsRecordsPerSend);
    if (!session_->Seal(static_cast<const char*>(data), take, out_)) return Fail();
    // The plaintext is taken now; what the plain socket leaves of its
    // records goes on from the next call.
    if (!Push()) return IoResult::Failed();
    return IoResult::Taken(take);
}

int TlsSocket::WaitWritable(int timeoutMs) {
    if (!Push()) return -1;
    if (!Holding()) return plain_->WaitWritable(timeoutMs);
    int r = plain_->WaitWritable(timeoutMs);
    if (r <= 0) return r;
    if (!Push()) return -1;
    return Holding() ? 0 : 1;
}

bool TlsSocket::SendAll(const void* data, size_t count) {
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        IoResult r = SendSome(p, count);
        if (r.status == IoStatus::Failed) return false;
        if (r.status == IoStatus::Later && plain_->WaitWritable(-1) < 0) return false;
        p += r.bytes;
        count -= r.bytes;
    }
    // Every byte means every record too.
    for (;;) {
        if (!Push()) return false;
        if (!Holding()) return true;
        if (plain_->WaitWritable(-1) < 0) return false;
    }
}

}  // namespace parvex
