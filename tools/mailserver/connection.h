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
    explicit Throttle(uint64_t bytes_per_second = 0);
    bool active() const { return rate_ != 0; }
    // Largest block worth moving at once so that the pacing stays smooth.
    size_t block_limit(size_t wanted) const;
    // Accounts for n moved bytes and sleeps until the stream is back on
    // schedule; false when a server stop interrupted the sleep.
    bool account(size_t n);

private:
    uint64_t rate_;
    uint64_t moved_ = 0;
    std::chrono::steady_clock::time_point start_;
};

// One accepted client socket. Blocking I/O with an idle timeout on both
// directions; the socket is registered with the lifecycle so that a server
// stop unblocks it. Its bytes go through a plain transport until start_tls
// puts TLS in between.
class Connection {
public:
    Connection(int fd, int idle_timeout_ms);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Waits for the client's first byte without taking it: true when it
    // opens a TLS handshake, false for anything else or no byte at all.
    bool client_opens_tls();
    // Runs the server's side of the handshake; false with the reason when
    // it failed (the connection is of no further use then).
    bool start_tls(const TlsContext& tls, std::string* error);
    bool secure() const { return secure_; }

    // Reads what is available, at most n bytes (blocks until at least one).
    IoStatus receive(char* buffer, size_t n, size_t* got);
    // True when bytes are already waiting (no blocking).
    bool has_pending_input();
    IoStatus send_all(const char* data, size_t n);
    IoStatus send_all(const std::string& text) { return send_all(text.data(), text.size()); }
    // Sends count bytes of file_fd from offset; *sent says how many went out.
    IoStatus send_file(int file_fd, uint64_t offset, uint64_t count, uint64_t* sent);

    // Holds the connection open, discarding input, until the peer closes it
    // or the server stops.
    void wait_for_peer_close();
    // Holds the connection open without reading anything more, so that the
    // peer's sends fill the window and block, until the peer closes, the idle
    // time-out passes or the server stops.
    void hold_unread(int idle_timeout_ms);
    // True when the peer has closed or reset the connection, or the server
    // is stopping (does not block).
    bool peer_gone();
    // Ends the connection after a reply that may have come before the whole
    // request was read: half-closes, then swallows up to max_drain bytes (or
    // until the peer is quiet for a moment) so the peer is not answered with a
    // reset that would destroy the reply in its receive buffer.
    void linger_close(uint64_t max_drain);
    // Ends the connection in order (over TLS with close_notify first).
    void close_now();
    // Ends it abruptly: over TLS the peer gets no close_notify, only the
    // socket's close, as when a server or a middlebox dies mid-stream.
    void cut();

private:
    int fd_;
    std::unique_ptr<Transport> transport_;
    bool secure_ = false;
};

}  // namespace mailserver
