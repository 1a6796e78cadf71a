// BSD sockets.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "socket.h"

namespace parvex {
namespace {

class PosixSocket : public Socket {
public:
    explicit PosixSocket(int fd) : fd_(fd) {}
    ~PosixSocket() override { ::close(fd_); }
    bool SendAll(const void* data, size_t count) override {
        const char* p = static_cast<const char*>(data);
        while (count > 0) {
            ssize_t n = ::send(fd_, p, count, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            p += n;
            count -= static_cast<size_t>(n);
        }
        return true;
    }
    long Recv(void* buffer, size_t count) override {
        for (;;) {
            ssize_t n = ::recv(fd_, buffer, count, 0);
            if (n < 0 && errno == EINTR) continue;
            return n < 0 ? -1 : static_cast<long>(n);
        }
    }
    long Available() override {
        int n = 0;
        return ::ioctl(fd_, FIONREAD, &n) == 0 ? n : -1;
    }
    int WaitReadable(int timeoutMs) override {
        pollfd p{fd_, POLLIN, 0};
        for (;;) {
            int r = ::poll(&p, 1, timeoutMs);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) return -1;
            return r > 0 ? 1 : 0;
        }
    }
    void Shutdown() override { ::shutdown(fd_, SHUT_RDWR); }

private:
    int fd_;
};

class PosixNetwork : public Network {
public:
    bool Resolve(const std::string& host, NetAddress& address) override {
        if (host.empty()) return false;
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result) return false;
        auto* sin = reinterpret_cast<sockaddr_in*>(result->ai_addr);
        std::memcpy(address.bytes, &sin->sin_addr, 4);
        ::freeaddrinfo(result);
        return true;
    }
    std::unique_ptr<Socket> Connect(const NetAddress& address, uint16_t port) override {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return nullptr;
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_port = htons(port);
        std::memcpy(&sin.sin_addr, address.bytes, 4);
        int r;
        do {
            r = ::connect(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
        } while (r < 0 && errno == EINTR);
        if (r != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixSocket>(fd);
    }
};

}  // namespace

Network& PlatformNetwork() {
    static PosixNetwork network;
    return network;
}

}  // namespace parvex
