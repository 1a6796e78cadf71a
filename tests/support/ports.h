// Loopback ports that fail connections in the two ways a host can: refused
// at once, or never answered.
#pragma once
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace parvex::testing {

// A loopback port that refuses every connection for as long as this object
// lives: bound but never listening, so no other process can take it over
// (a port merely freed by a stopped server can be reused at any moment).
class RefusingPort {
public:
    // On address (host order; any of 127/8 is loopback) and port, or a free
    // one when port is 0.
    explicit RefusingPort(uint32_t address = INADDR_LOOPBACK, int port = 0) : address_(address) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(address);
        a.sin_port = htons(static_cast<uint16_t>(port));
        socklen_t len = sizeof a;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
    }
    ~RefusingPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int port() const { return port_; }
    std::wstring UploadUrl() const { return L"http://127.0.0.1:" + std::to_wstring(port_) + L"/upload"; }

protected:
    int fd_ = -1;
    uint32_t address_;

private:
    int port_ = 0;
};

// A loopback port whose listen queue is full: a connection to it neither
// completes nor fails, as with a host that drops the connection request.
class FullBacklogPort : public RefusingPort {
public:
    explicit FullBacklogPort(uint32_t address = INADDR_LOOPBACK, int port = 0) : RefusingPort(address, port) {
        if (this->port() == 0 || ::listen(fd_, 0) != 0) return;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(address_);
        a.sin_port = htons(static_cast<uint16_t>(this->port()));
        // Never accepted: these fill the queue.
        for (int& fd : fillers_) {
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        }
    }
    ~FullBacklogPort() {
        for (int fd : fillers_)
            if (fd >= 0) ::close(fd);
    }

private:
    int fillers_[2] = {-1, -1};
};

// A loopback port that takes connections (the system completes them) and
// never sends a byte: a TLS handshake with it waits for an answer that never
// comes.
class SilentPort : public RefusingPort {
public:
    SilentPort() {
        if (port() != 0) ::listen(fd_, 8);
    }
};

}  // namespace parvex::testing
