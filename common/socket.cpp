// The waits of the network code, in slices short enough that a cancel is seen
// within a tenth of a second and a silent peer within its time-out.
#include "socket.h"

#include <algorithm>
#include <climits>

#include "connect_race.h"
#include "tls_socket.h"
#include "utf8.h"

namespace parvex {
namespace {

constexpr uint32_t kSliceMs = 100;

// Calls probe(sliceMs) until it reports something other than 0 (still
// waiting), the wait is stopped or limitMs have passed.
template <class Probe>
WaitOutcome WaitInSlices(const ServerWait& wait, uint32_t limitMs, Probe probe) {
    Clock& clock = wait.clock ? *wait.clock : SystemClock();
    uint32_t start = clock.TickMs();
    uint32_t catchUpAt = 0;  // waited time at which catchUp is next due
    bool catchUpDue = static_cast<bool>(wait.catchUp);
    for (;;) {
        if (wait.Stopped()) return WaitOutcome::Cancelled;
        uint32_t waited = clock.TickMs() - start;
        if (catchUpDue && waited >= catchUpAt) {
            uint32_t next = wait.catchUp();
            catchUpDue = next != UINT32_MAX;
            // Never a slice of 0, which would spin.
            catchUpAt = waited + std::max<uint32_t>(next, 1);
            waited = clock.TickMs() - start;
        }
        if (waited >= limitMs) return WaitOutcome::TimedOut;
        uint32_t slice = std::min(kSliceMs, limitMs - waited);
        if (catchUpDue) slice = std::min(slice, catchUpAt > waited ? catchUpAt - waited : 1u);
        int r = probe(static_cast<int>(slice));
        if (r < 0) return WaitOutcome::Failed;
        if (r > 0) return WaitOutcome::Ready;
    }
}

}  // namespace

WaitOutcome WaitForBytes(Socket& socket, const ServerWait& wait) {
    return WaitInSlices(wait, wait.timeoutMs, [&](int ms) { return socket.WaitReadable(ms); });
}

WaitOutcome WaitForRoom(Socket& socket, const ServerWait& wait) {
    return WaitInSlices(wait, wait.timeoutMs, [&](int ms) { return socket.WaitWritable(ms); });
}

WaitOutcome SendBounded(Socket& socket, const void* data, size_t count, const ServerWait& wait) {
    const char* p = static_cast<const char*>(data);
    // The cancel is looked at only while the peer holds the send up; a send
    // that goes through is the caller's to follow with its own check.
    while (count > 0) {
        IoResult sent = socket.SendSome(p, count);
        if (sent.status == IoStatus::Failed) return WaitOutcome::Failed;
        if (sent.status != IoStatus::Moved) {
            WaitOutcome w = WaitForRoom(socket, wait);
            if (w != WaitOutcome::Ready) return w;
            continue;
        }
        p += sent.bytes;
        count -= sent.bytes;
    }
    return WaitOutcome::Ready;
}

void SendBufferTuner::Sent(size_t offered, size_t taken) {
    if (taken > 0 && way_ == Way::Rate) Accepted(taken);
    // A send that took only part found the buffer full as surely as one that
    // took nothing: a peer that keeps just ahead of a small buffer never
    // refuses a send, and would otherwise keep every block in pieces.
    if (taken < offered) Full();
}

void SendBufferTuner::Full() {
    uint32_t now = clock_.TickMs();
    if (way_ == Way::Unknown) {
        long ideal = socket_.IdealSendBacklog();
        way_ = ideal == Socket::kSizedBySystem   ? Way::System
               : ideal == Socket::kFollowTheRate ? Way::Rate
                                                 : Way::Backlog;
        size_ = way_ == Way::Rate ? kSendBufferBytes : 0;
        askedAt_ = now;
        if (way_ == Way::Backlog) Grow(ideal);
    } else if (way_ == Way::Backlog && now - askedAt_ >= kIdealBacklogQueryMs) {
        askedAt_ = now;
        Grow(socket_.IdealSendBacklog());
    }
    if (way_ != Way::Rate || measuring_) return;
    measuring_ = true;
    lookAt_ = now;
    lookBytes_ = 0;
    lastQuarter_ = 0;
}

void SendBufferTuner::Accepted(size_t bytes) {
    // Bytes taken while the buffer has room only fill it: they say nothing
    // of the link.
    if (!measuring_) return;
    // The rate is looked at every few milliseconds, so that a fast link is
    // followed before the small starting buffer holds the first tenth of a
    // second back. It takes two fast looks in a row to grow: the first look
    // after the buffer filled may hold the peer's empty receive window,
    // taken at once however slowly the peer reads, and a buffer grown on
    // that could never be taken back.
    constexpr uint32_t kLookMs = 5;
    lookBytes_ += bytes;
    uint32_t elapsed = clock_.TickMs() - lookAt_;
    if (elapsed < kLookMs) return;
    uint64_t quarterSecond = lookBytes_ * 1000 / elapsed / 4;
    uint64_t both = std::min(quarterSecond, lastQuarter_);
    lookAt_ += elapsed;
    lookBytes_ = 0;
    lastQuarter_ = quarterSecond;
    if (both <= static_cast<uint64_t>(size_)) return;
    long most = socket_.MaxSendBuffer();
    Grow(static_cast<long>(std::min<uint64_t>(std::max<uint64_t>(both, 2 * size_), most)));
    measuring_ = false;
}

void SendBufferTuner::Grow(long bytes) {
    if (bytes <= size_) return;
    socket_.SetSendBuffer(static_cast<int>(std::min<long>(bytes, INT_MAX)));
    size_ = bytes;
}

std::unique_ptr<Socket> ConnectBounded(Network& network, const NetAddress& address, uint16_t port,
                                       const ServerWait& wait, uint32_t connectTimeoutMs, WaitOutcome* outcome) {
    std::unique_ptr<Socket> socket = network.BeginConnect(address, port);
    WaitOutcome r = socket ? WaitInSlices(wait, connectTimeoutMs, [&](int ms) { return socket->WaitConnected(ms); })
                           : WaitOutcome::Failed;
    if (outcome) *outcome = r;
    if (r != WaitOutcome::Ready) {
        if (socket) socket->Shutdown();
        return nullptr;
    }
    return socket;
}

namespace {

// The TLS session over a connected plain socket; null when the platform has
// none, the handshake failed or the server was refused (*outcome says how).
std::unique_ptr<Socket> Secure(Network& network, std::unique_ptr<Socket> plain, const std::string& host,
                               const ServerWait& wait, uint32_t limitMs, WaitOutcome* outcome) {
    std::unique_ptr<TlsSession> session = network.StartTls(host);
    std::string early;
    *outcome = session ? RunTlsHandshake(*plain, *session, wait, limitMs, FromUtf8(host), early) : WaitOutcome::Failed;
    if (*outcome != WaitOutcome::Ready) {
        plain->Shutdown();
        return nullptr;
    }
    return std::make_unique<TlsSocket>(std::move(plain), std::move(session), early);
}

}  // namespace

std::unique_ptr<Socket> ConnectBounded(Network& network, const Endpoint& endpoint, const ServerWait& wait,
                                       uint32_t connectTimeoutMs, WaitOutcome* outcome) {
    Clock& clock = wait.clock ? *wait.clock : SystemClock();
    ConnectRace race(network, endpoint.addresses, endpoint.port, clock);
    WaitOutcome r = WaitInSlices(wait, connectTimeoutMs, [&](int ms) { return race.Look(ms); });
    std::unique_ptr<Socket> socket = race.Winner();
    if (socket && endpoint.secure)
        socket = Secure(network, std::move(socket), endpoint.host, wait, connectTimeoutMs, &r);
    if (outcome) *outcome = r;
    return socket;
}

}  // namespace parvex
