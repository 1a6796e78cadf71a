// The connection a download run keeps from one file to the next, as its
// requests' "Connection: Keep-Alive" offers: a file whose reply was read
// whole, framed by its Content-Length, leaves the connection to the next
// file unless the server said it closes it. The next request goes over it;
// when that request fails before any byte of its reply (the server closed
// the idle connection in the meantime), it is sent once more over a new
// connection, unseen by the transfer that reads through this socket.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/socket.h"

namespace parvex {

class KeptConnection : public Socket {
public:
    // A new connection to the run's server, or null when none could be made
    // (or the user cancelled meanwhile).
    using Connector = std::function<std::unique_ptr<Socket>()>;
    explicit KeptConnection(Connector connect) : connect_(std::move(connect)) {}
    ~KeptConnection() override { Drop(); }

    // True when a connection is kept for the next file.
    bool Kept() const { return socket_ != nullptr; }
    // The next file's requests go over `fresh`.
    void Use(std::unique_ptr<Socket> fresh);
    // After a file: its connection is kept for the next one when `whole`
    // (its body read to the announced length), the reply's head let it stay
    // open, and nothing else has come since; otherwise it is shut.
    void Release(bool whole);

    bool SendAll(const void* data, size_t count) override;
    IoResult Recv(void* buffer, size_t count) override;
    IoResult RecvSome(void* buffer, size_t count) override;
    long Available() override { return socket_ ? socket_->Available() : -1; }
    int WaitReadable(int timeoutMs) override { return socket_ ? socket_->WaitReadable(timeoutMs) : -1; }
    void Shutdown() override { Drop(); }
    IoResult SendSome(const void* data, size_t count) override;
    int WaitWritable(int timeoutMs) override { return socket_ ? socket_->WaitWritable(timeoutMs) : -1; }

private:
    // A reply's first bytes are what the kept connection's end makes
    // uncertain: bytes received from the socket, counted, and the head kept.
    IoResult Received(IoResult got, const void* buffer);
    // The request once more over a new connection; false when there is none.
    bool Resend();
    // Whether a failure now may still be the kept connection's end.
    bool MayResend() const { return reused_ && replyBytes_ == 0 && !resent_; }
    void Drop();

    Connector connect_;
    std::unique_ptr<Socket> socket_;
    bool reused_ = false;  // the current request went over a connection kept from an earlier file
    bool resent_ = false;  // it has been sent once more already
    std::string request_;  // the current request's bytes, while a resend may need them
    std::string head_;     // the reply's head as far as it came, for its Connection field
    uint64_t replyBytes_ = 0;
};

// Whether a reply head lets its connection stay open for the next request:
// HTTP/1.1 without a "close" in its Connection field.
bool ReplyKeepsConnection(const std::string& head);

}  // namespace parvex
