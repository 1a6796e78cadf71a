#include "connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "lifecycle.h"
#include "tls.h"

namespace mailserver {
namespace {

void SetTimeout(int fd, int option, int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

}  // namespace

Throttle::Throttle(uint64_t bytesPerSecond) : rate_(bytesPerSecond), start_(std::chrono::steady_clock::now()) {}

size_t Throttle::BlockLimit(size_t wanted) const {
    if (rate_ == 0) return wanted;
    // About twenty blocks a second keeps the rate even without tiny writes.
    uint64_t block = std::max<uint64_t>(1, rate_ / 20);
    return static_cast<size_t>(std::min<uint64_t>(wanted, block));
}

bool Throttle::Account(size_t n) {
    if (rate_ == 0) return !lifecycle::Stopping();
    moved_ += n;
    auto due = start_ + std::chrono::microseconds(moved_ * 1000000 / rate_);
    auto now = std::chrono::steady_clock::now();
    if (due <= now) return !lifecycle::Stopping();
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
    return lifecycle::SleepMs(wait + 1);
}

Connection::Connection(int fd, int idleTimeoutMs) : fd_(fd), transport_(MakePlainTransport(fd)) {
    lifecycle::RegisterSocket(fd_);
    SetTimeout(fd_, SO_RCVTIMEO, idleTimeoutMs);
    SetTimeout(fd_, SO_SNDTIMEO, idleTimeoutMs);
    int one = 1;
    // Replies are small and sometimes sent in pieces on purpose; they must not
    // wait for acknowledgements.
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

Connection::~Connection() { CloseNow(); }

bool Connection::ClientOpensTls() {
    unsigned char first = 0;
    for (;;) {
        if (fd_ < 0 || lifecycle::Stopping()) return false;
        ssize_t r = ::recv(fd_, &first, 1, MSG_PEEK);
        if (r == 1) return first == kTlsHandshakeByte;
        if (r == 0 || errno != EINTR) return false;
    }
}

bool Connection::StartTls(const TlsContext& tls, std::string* error) {
    std::unique_ptr<Transport> secured = tls.Accept(fd_, error);
    if (!secured) return false;
    transport_ = std::move(secured);
    secure_ = true;
    return true;
}

void Connection::CloseNow() {
    if (fd_ < 0) return;
    transport_->SayGoodbye();
    Cut();
}

void Connection::Cut() {
    if (fd_ < 0) return;
    lifecycle::UnregisterSocket(fd_);
    ::close(fd_);
    fd_ = -1;
}

IoStatus Connection::Receive(char* buffer, size_t n, size_t* got) {
    *got = 0;
    if (fd_ < 0) return IoStatus::Error;
    if (lifecycle::Stopping()) return IoStatus::Stopped;
    return transport_->Read(buffer, n, got);
}

bool Connection::HasPendingInput() { return fd_ >= 0 && transport_->InputWaiting(); }

IoStatus Connection::SendAll(const char* data, size_t n) {
    if (fd_ < 0) return IoStatus::Error;
    return transport_->Write(data, n);
}

IoStatus Connection::SendFile(int fileFd, uint64_t offset, uint64_t count, uint64_t* sent) {
    *sent = 0;
    if (fd_ < 0) return IoStatus::Error;
    return transport_->WriteFile(fileFd, offset, count, sent);
}

void Connection::WaitForPeerClose() {
    std::vector<char> sink(64 * 1024);
    for (;;) {
        size_t got = 0;
        IoStatus st = Receive(sink.data(), sink.size(), &got);
        if (st == IoStatus::Ok || st == IoStatus::TimedOut) continue;
        return;
    }
}

void Connection::HoldUnread(int idleTimeoutMs) {
    if (fd_ < 0) return;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(idleTimeoutMs);
    while (!lifecycle::Stopping() && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd_, POLLRDHUP, 0};
        int r = ::poll(&p, 1, 200);
        if (r > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) return;
    }
}

bool Connection::PeerGone() {
    if (fd_ < 0 || lifecycle::Stopping()) return true;
    pollfd p{fd_, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

void Connection::LingerClose(uint64_t maxDrain) {
    if (fd_ < 0) return;
    transport_->SayGoodbye();
    ::shutdown(fd_, SHUT_WR);
    SetTimeout(fd_, SO_RCVTIMEO, 2000);
    std::vector<char> sink(256 * 1024);
    uint64_t drained = 0;
    while (drained < maxDrain) {
        size_t got = 0;
        size_t want = static_cast<size_t>(std::min<uint64_t>(sink.size(), maxDrain - drained));
        if (Receive(sink.data(), want, &got) != IoStatus::Ok) break;
        drained += got;
    }
    Cut();  // the goodbye went out before the half-close
}

}  // namespace mailserver
