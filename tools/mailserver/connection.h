#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "transport.h"

namespace mailserver {

class TlsContext;

// Paces a byte stream to about a given rate (0 = unlimited).
class Throttle {
public:
    explicit Throttle(uint64_t bytesPerSecond = 0);
    bool Active() const { return rate_ != 0; }
    // Largest block worth moving at once so that the pacing stays smooth.
    size_t BlockLimit(size_t wanted) const;
    // Accounts for n moved bytes and sleeps until the stream is back on
    // schedule; false when a server stop interrupted the sleep.
    bool Account(size_t n);

private:
    uint64_t rate_;
    uint64_t moved_ = 0;
    std::chrono::steady_clock::time_point start_;
};

// One accepted client socket. Blocking I/O with an idle timeout on both
// directions; the socket is registered with the lifecycle so that a server
// stop unblocks it. Its bytes go through a plain transport until StartTls
// puts TLS in between.
class Connection {
public:
    Connection(int fd, int idleTimeoutMs);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Waits for the client's first byte without taking it: true when it
    // opens a TLS handshake, false for anything else or no byte at all.
    bool ClientOpensTls();
    // Runs the server's side of the handshake; false with the reason when
    // it failed (the connection is of no further use then).
    bool StartTls(const TlsContext& tls, std::string* error);
    bool Secure() const { return secure_; }

    // Reads what is available, at most n bytes (blocks until at least one).
    IoStatus Receive(char* buffer, size_t n, size_t* got);
    // True when bytes are already waiting (no blocking).
    bool HasPendingInput();
    IoStatus SendAll(const char* data, size_t n);
    IoStatus SendAll(const std::string& text) { return SendAll(text.data(), text.size()); }
    // Sends count bytes of fileFd from offset; *sent says how many went out.
    IoStatus SendFile(int fileFd, uint64_t offset, uint64_t count, uint64_t* sent);

    // Holds the connection open, discarding input, until the peer closes it
    // or the server stops.
    void WaitForPeerClose();
    // Holds the connection open without reading anything more, so that the
    // peer's sends fill the window and block, until the peer closes, the idle
    // time-out passes or the server stops.
    void HoldUnread(int idleTimeoutMs);
    // True when the peer has closed or reset the connection, or the server
    // is stopping (does not block).
    bool PeerGone();
    // Ends the connection after a reply that may have come before the whole
    // request was read: half-closes, then swallows up to maxDrain bytes (or
    // until the peer is quiet for a moment) so the peer is not answered with a
    // reset that would destroy the reply in its receive buffer.
    void LingerClose(uint64_t maxDrain);
    // Ends the connection in order (over TLS with close_notify first).
    void CloseNow();
    // Ends it abruptly: over TLS the peer gets no close_notify, only the
    // socket's close, as when a server or a middlebox dies mid-stream.
    void Cut();

private:
    int fd_;
    std::unique_ptr<Transport> transport_;
    bool secure_ = false;
};

}  // namespace mailserver
