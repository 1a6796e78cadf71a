// BSD sockets, non-blocking underneath; SendAll and Recv wait in poll.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "socket.h"
#include "socket_address.h"
#include "tls_openssl.h"
#include "trace.h"
#include "utf8.h"

namespace parvex {
namespace {

// 1 when the events came (or an error or hang-up did), 0 after timeoutMs
// (negative: no limit), -1 on error.
int PollFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        return r > 0 ? 1 : 0;
    }
}

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// Every failure is traced with the peer it concerned; the callers get -1 or
// IoStatus::Failed.
class PosixSocket : public Socket {
public:
    PosixSocket(int fd, std::wstring peer) : fd_(fd), peer_(std::move(peer)) {}
    ~PosixSocket() override { ::close(fd_); }
    bool SendAll(const void* data, size_t count) override {
        const char* p = static_cast<const char*>(data);
        while (count > 0) {
            IoResult r = SendSome(p, count);
            if (r.status == IoStatus::Failed) return false;
            if (r.status == IoStatus::Later && Poll(POLLOUT, -1, L"send") < 0) return false;
            p += r.bytes;
            count -= r.bytes;
        }
        return true;
    }
    IoResult Recv(void* buffer, size_t count) override {
        for (;;) {
            IoResult r = RecvSome(buffer, count);
            if (r.status != IoStatus::Later) return r;
            if (Poll(POLLIN, -1, L"recv") < 0) return IoResult::Failed();
        }
    }
    IoResult RecvSome(void* buffer, size_t count) override {
        for (;;) {
            ssize_t n = ::recv(fd_, buffer, count, 0);
            if (n >= 0) return IoResult::Received(static_cast<size_t>(n));
            if (errno == EINTR) continue;
            if (WouldBlock(errno)) return IoResult::Later();
            Fail(L"recv", errno);
            return IoResult::Failed();
        }
    }
    long Available() override {
        int n = 0;
        return ::ioctl(fd_, FIONREAD, &n) == 0 ? n : Fail(L"FIONREAD", errno);
    }
    int WaitReadable(int timeoutMs) override { return Poll(POLLIN, timeoutMs, L"wait to recv"); }
    void Shutdown() override { ::shutdown(fd_, SHUT_RDWR); }
    IoResult SendSome(const void* data, size_t count) override {
        if (count > LONG_MAX) count = LONG_MAX;
        for (;;) {
            ssize_t n = ::send(fd_, data, count, MSG_NOSIGNAL);
            if (n > 0) return IoResult::Moved(static_cast<size_t>(n));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && WouldBlock(errno)) return IoResult::Later();
            Fail(L"send", n < 0 ? errno : EPIPE);
            return IoResult::Failed();
        }
    }
    int WaitWritable(int timeoutMs) override { return Poll(POLLOUT, timeoutMs, L"wait to send"); }
    int WaitConnected(int timeoutMs) override {
        int r = Poll(POLLOUT, timeoutMs, L"connect");
        if (r <= 0) return r;
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return Fail(L"connect", errno);
        if (error != 0) return Fail(L"connect", error);
        return 1;
    }

private:
    int Fail(const wchar_t* operation, int error) {
        TraceFailure(operation, peer_, error);
        return -1;
    }
    int Poll(short events, int timeoutMs, const wchar_t* operation) {
        int r = PollFor(fd_, events, timeoutMs);
        return r < 0 ? Fail(operation, errno) : r;
    }

    int fd_;
    std::wstring peer_;  // host:port, for the trace
};

class PosixNetwork : public Network {
public:
    bool Resolve(const std::string& host, std::vector<NetAddress>& addresses) override {
        addresses.clear();
        if (host.empty()) return false;
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        int r = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
        if (r != 0 || !result) {
            if (r == EAI_SYSTEM)
                TraceFailure(L"resolve", FromUtf8(host), errno);
            else
                TraceFailure(L"resolve", FromUtf8(host), r, FromUtf8(::gai_strerror(r)));
            return false;
        }
        for (const addrinfo* found = result; found; found = found->ai_next) {
            NetAddress address;
            if (FromSocketAddress(found->ai_family, found->ai_addr, address)) addresses.push_back(address);
        }
        ::freeaddrinfo(result);
        return !addresses.empty();
    }
    std::unique_ptr<Socket> Connect(const NetAddress& address, uint16_t port) override {
        return ConnectBounded(*this, address, port, ServerWait(), kConnectTimeoutMs);
    }
    std::unique_ptr<Socket> BeginConnect(const NetAddress& address, uint16_t port) override {
        std::wstring peer = HostPortText(address, port);
        sockaddr_storage storage;
        socklen_t length = static_cast<socklen_t>(ToSocketAddress(address, port, storage));
        int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            TraceFailure(L"socket for", peer, errno);
            return nullptr;
        }
        int r = ::connect(fd, reinterpret_cast<sockaddr*>(&storage), length);
        // EINTR leaves the connection going on, like EINPROGRESS.
        if (r != 0 && errno != EINPROGRESS && errno != EINTR) {
            TraceFailure(L"connect", peer, errno);
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixSocket>(fd, std::move(peer));
    }
    std::unique_ptr<TlsSession> StartTls(const std::string& host) override { return StartOpenSslSession(host); }
};

}  // namespace

Network& PlatformNetwork() {
    static PosixNetwork network;
    return network;
}

}  // namespace parvex
