// TCP sockets behind an interface: BSD sockets natively, WinSock in the
// module, scripted peers in tests. The adapters keep their sockets
// non-blocking underneath; SendAll and Recv still block for callers that want
// that, while the bounded helpers below wait in short slices so that a cancel
// and a time-out are seen however the peer behaves.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "clock.h"
#include "platform_types.h"
#include "run_signals.h"
#include "tls.h"

namespace parvex {

// A connection that has not completed after this long is a failed attempt.
constexpr uint32_t kConnectTimeoutMs = 30u * 1000u;
// A peer that moves no byte for this long is given up.
constexpr uint32_t kSilentServerTimeoutMinutes = 5;
constexpr uint32_t kSilentServerTimeoutMs = kSilentServerTimeoutMinutes * 60u * 1000u;
// Both bodies move in blocks of this size: a file is read and offered to the
// socket, and received and written, this much at a time. Under Wine every
// socket call costs a round trip to its server, so the number of calls sets
// the pace there. (tools/bench/bench_paths.sh reads the figure from this line.)
constexpr size_t kTransferBlockBytes = 256 * 1024;
// How often SendBufferTuner asks, at most, for the platform's ideal send
// backlog while the send buffer is full.
constexpr uint32_t kIdealBacklogQueryMs = 100;
// What the system may hold at first of our sent bytes that the peer has not
// read yet, where SendBufferTuner follows the link's rate itself (WinSock
// under Wine): a slow peer's upload would otherwise look finished long before
// it is, the bytes the socket accepts no longer showing how far it is.
constexpr int kSendBufferBytes = 64 * 1024;
// The most SendBufferTuner grows a buffer to by the link's rate: under Wine a
// wait for room takes the reader, the Wine server and the sender a turn on
// the processor each, and 4 MiB halved the waits of a 256 MiB upload over
// loopback (tools/bench).
constexpr int kMaxSendBufferBytes = 4 * 1024 * 1024;

// What one read or write on a socket did: bytes moved, or why none were.
enum class IoStatus {
    Moved,   // bytes (> 0) were received or taken for sending
    Closed,  // a read found the peer's end of the stream
    Later,   // nothing has arrived yet, or nothing fits now: wait, then ask again
    Failed,  // the socket or the network failed (traced where it happened)
};

struct IoResult {
    IoStatus status = IoStatus::Failed;
    size_t bytes = 0;  // > 0 exactly when status is Moved

    static IoResult Moved(size_t count) { return {IoStatus::Moved, count}; }
    static IoResult Closed() { return {IoStatus::Closed, 0}; }
    static IoResult Later() { return {IoStatus::Later, 0}; }
    static IoResult Failed() { return {IoStatus::Failed, 0}; }
    // What a read of the system returned: bytes, 0 for the peer's close.
    static IoResult Received(size_t count) { return count > 0 ? Moved(count) : Closed(); }
    // What a send took: bytes, 0 when nothing fitted.
    static IoResult Taken(size_t count) { return count > 0 ? Moved(count) : Later(); }
    bool HasBytes() const { return status == IoStatus::Moved; }
};

inline bool operator==(const IoResult& a, const IoResult& b) { return a.status == b.status && a.bytes == b.bytes; }

class Socket {
public:
    virtual ~Socket() = default;
    // Sends every byte, blocking as long as it takes; false when the peer or
    // the network failed.
    virtual bool SendAll(const void* data, size_t count) = 0;
    // Bytes received, Closed when the peer closed, Failed on error; never
    // Later: blocks until something arrives.
    virtual IoResult Recv(void* buffer, size_t count) = 0;
    // Bytes waiting to be read (the FIONREAD query); -1 on error.
    virtual long Available() = 0;
    // 1 when bytes (or the peer's close) are waiting, 0 after timeoutMs, -1 on error.
    virtual int WaitReadable(int timeoutMs) = 0;
    // Shuts both directions down; the destructor closes.
    virtual void Shutdown() = 0;

    // Receives what has arrived without waiting: bytes, Closed when the peer
    // closed, Failed on error, Later when nothing is there yet. One call
    // where data flows, where asking first would cost a second.
    virtual IoResult RecvSome(void* buffer, size_t count) {
        int r = WaitReadable(0);
        if (r == 0) return IoResult::Later();
        return r < 0 ? IoResult::Failed() : Recv(buffer, count);
    }
    // Sends what fits without blocking: bytes taken, Later when nothing fits
    // now, Failed on error. Doubles without a send buffer send everything.
    virtual IoResult SendSome(const void* data, size_t count) {
        return SendAll(data, count) ? IoResult::Taken(count) : IoResult::Failed();
    }
    // 1 when a send can take bytes (or would fail at once), 0 after
    // timeoutMs, -1 on error.
    virtual int WaitWritable(int /*timeoutMs*/) { return 1; }
    // For a socket from Network::BeginConnect: 1 once connected, 0 while
    // still pending after timeoutMs, -1 when the connection failed.
    virtual int WaitConnected(int /*timeoutMs*/) { return 1; }
    // How many sent bytes the system may hold that the peer has not read.
    // Doubles without a send buffer ignore it.
    virtual void SetSendBuffer(int /*bytes*/) {}
    // The most SetSendBuffer is worth asking for.
    virtual int MaxSendBuffer() const { return kMaxSendBufferBytes; }
    // How many unacknowledged bytes the platform says keep this
    // connection's path full (Windows' ideal send backlog); kSizedBySystem
    // where the system sizes the send buffer itself (Linux grows it with the
    // connection's window as long as nobody sets it); kFollowTheRate where
    // neither holds and the buffer, made kSendBufferBytes large, is to
    // follow the rate the link shows (Wine: its ideal send backlog is a
    // fixed figure, and Linux's growth under it runs megabytes ahead of a
    // slow reader on loopback).
    virtual long IdealSendBacklog() { return kSizedBySystem; }
    static constexpr long kSizedBySystem = -1;
    static constexpr long kFollowTheRate = -2;
};

// Keeps a socket's send buffer large enough to keep the path full, and
// never makes it smaller: a buffer cut below what is queued in it makes the
// system refuse the retransmissions that loss recovery needs, and the link
// then carries a segment per round trip. What the socket's IdealSendBacklog
// says decides how: a buffer the system sizes itself is left alone (setting
// a size would switch that off); one with an ideal backlog grows to it
// whenever a full buffer holds a send up, asked at most every
// kIdealBacklogQueryMs; otherwise it grows from kSendBufferBytes while the
// bytes a full buffer lets through in a quarter second would fill it (the
// buffer may be what holds the link back), seen in two looks in a row a few
// milliseconds apart (the first may hold only the peer's empty receive
// window), to about that quarter second,
// up to the socket's MaxSendBuffer. A slow peer thus keeps a small buffer,
// and its counters follow what it has read.
class SendBufferTuner {
public:
    SendBufferTuner(Socket& socket, Clock& clock) : socket_(socket), clock_(clock) {}
    // After each send: of `offered` bytes the socket took `taken` (0 when
    // its buffer was full).
    void Sent(size_t offered, size_t taken);

private:
    enum class Way { Unknown, System, Backlog, Rate };
    void Full();
    void Accepted(size_t bytes);
    void Grow(long bytes);

    Socket& socket_;
    Clock& clock_;
    Way way_ = Way::Unknown;
    uint32_t askedAt_ = 0;  // the ideal backlog's last query
    // Only while the buffer is full do the bytes it takes tell how fast the
    // link moves them; before that they only fill its room.
    bool measuring_ = false;
    uint32_t lookAt_ = 0;         // when the current look began
    uint64_t lookBytes_ = 0;      // taken since lookAt_
    uint64_t lastQuarter_ = 0;    // the previous look's quarter second of bytes
    long size_ = 0;               // the size set last
};

class Network {
public:
    virtual ~Network() = default;
    // Resolves a host name or address literal (UTF-8, no brackets) to every
    // address it has, of both families, in the resolver's order.
    virtual bool Resolve(const std::string& host, std::vector<NetAddress>& addresses) = 0;
    // A connected socket, or null when the connection failed or did not
    // complete within kConnectTimeoutMs. Not cancellable.
    virtual std::unique_ptr<Socket> Connect(const NetAddress& address, uint16_t port) = 0;
    // A socket whose connection is under way (Socket::WaitConnected finishes
    // it), or null when none could be started.
    virtual std::unique_ptr<Socket> BeginConnect(const NetAddress& address, uint16_t port) {
        return Connect(address, port);
    }
    // A TLS client session for host (UTF-8 as the URL names it, no brackets),
    // or null when the platform cannot make one (traced). The session checks
    // the server's certificate for that host itself.
    virtual std::unique_ptr<TlsSession> StartTls(const std::string& /*host*/) { return nullptr; }
};

// BSD sockets natively, WinSock in the module (WSAStartup is the module's).
Network& PlatformNetwork();

// How a wait on the peer ends besides progress: the user's cancel, looked at
// at least every 100 ms, and the time-out after the last byte moved.
struct ServerWait {
    Clock* clock = nullptr;                    // null: the system clock
    // The run's signals, raised by other threads: any of stopOn raised ends
    // the wait as WaitOutcome::Cancelled (the cancel, and for the download
    // its merges and deletions too). Null: not cancellable.
    const RunSignals* signals = nullptr;
    unsigned stopOn = RunSignals::Cancel;
    uint32_t timeoutMs = kSilentServerTimeoutMs;
    // True once the wait must end as WaitOutcome::Cancelled.
    bool Stopped() const { return signals && signals->Raised(stopOn); }
    // What the user is shown while nothing moves (ProgressPace::CatchUp):
    // called as the wait begins and again when the milliseconds it returned
    // are up. Null: nothing.
    std::function<uint32_t()> catchUp;
};

enum class WaitOutcome {
    Ready,      // done: bytes waiting, all sent, or connected
    TimedOut,   // the peer moved nothing for the time-out
    Failed,     // the socket or the network failed
    Cancelled,  // one of the signals in stopOn came first
};

// Waits until bytes or the peer's close are waiting.
WaitOutcome WaitForBytes(Socket& socket, const ServerWait& wait);
// Waits until a send can take bytes again.
WaitOutcome WaitForRoom(Socket& socket, const ServerWait& wait);
// Sends every byte; the time-out counts from the last byte the peer took.
WaitOutcome SendBounded(Socket& socket, const void* data, size_t count, const ServerWait& wait);
// One connection attempt that gives up after connectTimeoutMs or on the
// cancel; *outcome (may be null) gets how the wait ended.
std::unique_ptr<Socket> ConnectBounded(Network& network, const NetAddress& address, uint16_t port,
                                       const ServerWait& wait, uint32_t connectTimeoutMs,
                                       WaitOutcome* outcome = nullptr);

// Where a request goes: every address of the server's host, its port, and
// whether the connection speaks TLS.
struct Endpoint {
    std::string host;                   // UTF-8 without brackets: the name TLS sends and checks the certificate for
    std::vector<NetAddress> addresses;  // tried in turn
    uint16_t port = 0;
    bool secure = false;
};

// One connection to endpoint: its addresses raced (connect_race.h), all
// within connectTimeoutMs; when secure, then the TLS handshake, which must
// verify the server before anything else is sent, within connectTimeoutMs
// more. A failed handshake (the certificate refused among others) is
// WaitOutcome::Failed. The cancel is seen within a tenth of a second
// throughout.
std::unique_ptr<Socket> ConnectBounded(Network& network, const Endpoint& endpoint, const ServerWait& wait,
                                       uint32_t connectTimeoutMs, WaitOutcome* outcome = nullptr);

}  // namespace parvex
