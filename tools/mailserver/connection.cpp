#include "connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "lifecycle.h"

namespace mailserver {
namespace {

void set_timeout(int fd, int option, int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

IoStatus classify_errno() {
    if (lifecycle::stopping()) return IoStatus::Stopped;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return IoStatus::TimedOut;
    if (errno == EPIPE || errno == ECONNRESET) return IoStatus::Closed;
    return IoStatus::Error;
}

}  // namespace

Throttle::Throttle(uint64_t bytes_per_second) : rate_(bytes_per_second), start_(std::chrono::steady_clock::now()) {}

size_t Throttle::block_limit(size_t wanted) const {
    if (rate_ == 0) return wanted;
    // About twenty blocks a second keeps the rate even without tiny writes.
    uint64_t block = std::max<uint64_t>(1, rate_ / 20);
    return static_cast<size_t>(std::min<uint64_t>(wanted, block));
}

bool Throttle::account(size_t n) {
    if (rate_ == 0) return !lifecycle::stopping();
    moved_ += n;
    auto due = start_ + std::chrono::microseconds(moved_ * 1000000 / rate_);
    auto now = std::chrono::steady_clock::now();
    if (due <= now) return !lifecycle::stopping();
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
    return lifecycle::sleep_ms(wait + 1);
}

Connection::Connection(int fd, int idle_timeout_ms) : fd_(fd) {
    lifecycle::register_socket(fd_);
    set_timeout(fd_, SO_RCVTIMEO, idle_timeout_ms);
    set_timeout(fd_, SO_SNDTIMEO, idle_timeout_ms);
    int one = 1;
    // Replies are small and sometimes sent in pieces on purpose; they must not
    // wait for acknowledgements.
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

Connection::~Connection() { close_now(); }

void Connection::close_now() {
    if (fd_ < 0) return;
    lifecycle::unregister_socket(fd_);
    ::close(fd_);
    fd_ = -1;
}

IoStatus Connection::receive(char* buffer, size_t n, size_t* got) {
    *got = 0;
    if (fd_ < 0) return IoStatus::Error;
    for (;;) {
        if (lifecycle::stopping()) return IoStatus::Stopped;
        ssize_t r = ::recv(fd_, buffer, n, 0);
        if (r > 0) {
            *got = static_cast<size_t>(r);
            return IoStatus::Ok;
        }
        if (r == 0) return lifecycle::stopping() ? IoStatus::Stopped : IoStatus::Closed;
        if (errno == EINTR) continue;
        return classify_errno();
    }
}

bool Connection::has_pending_input() {
    if (fd_ < 0) return false;
    char probe;
    ssize_t r = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    return r > 0;
}

IoStatus Connection::send_all(const char* data, size_t n) {
    if (fd_ < 0) return IoStatus::Error;
    while (n > 0) {
        if (lifecycle::stopping()) return IoStatus::Stopped;
        ssize_t r = ::send(fd_, data, n, MSG_NOSIGNAL);
        if (r < 0) {
            if (errno == EINTR) continue;
            return classify_errno();
        }
        data += r;
        n -= static_cast<size_t>(r);
    }
    return IoStatus::Ok;
}

IoStatus Connection::send_file(int file_fd, uint64_t offset, uint64_t count, uint64_t* sent) {
    *sent = 0;
    if (fd_ < 0) return IoStatus::Error;
    off_t pos = static_cast<off_t>(offset);
    while (*sent < count) {
        if (lifecycle::stopping()) return IoStatus::Stopped;
        size_t block = static_cast<size_t>(std::min<uint64_t>(count - *sent, 1u << 30));
        ssize_t r = ::sendfile(fd_, file_fd, &pos, block);
        if (r < 0) {
            if (errno == EINTR) continue;
            return classify_errno();
        }
        if (r == 0) return IoStatus::Error;  // the file shrank under us
        *sent += static_cast<uint64_t>(r);
    }
    return IoStatus::Ok;
}

void Connection::wait_for_peer_close() {
    std::vector<char> sink(64 * 1024);
    for (;;) {
        size_t got = 0;
        IoStatus st = receive(sink.data(), sink.size(), &got);
        if (st == IoStatus::Ok || st == IoStatus::TimedOut) continue;
        return;
    }
}

void Connection::hold_unread(int idle_timeout_ms) {
    if (fd_ < 0) return;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(idle_timeout_ms);
    while (!lifecycle::stopping() && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd_, POLLRDHUP, 0};
        int r = ::poll(&p, 1, 200);
        if (r > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) return;
    }
}

bool Connection::peer_gone() {
    if (fd_ < 0 || lifecycle::stopping()) return true;
    pollfd p{fd_, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

void Connection::linger_close(uint64_t max_drain) {
    if (fd_ < 0) return;
    ::shutdown(fd_, SHUT_WR);
    set_timeout(fd_, SO_RCVTIMEO, 2000);
    std::vector<char> sink(256 * 1024);
    uint64_t drained = 0;
    while (drained < max_drain) {
        size_t got = 0;
        size_t want = static_cast<size_t>(std::min<uint64_t>(sink.size(), max_drain - drained));
        if (receive(sink.data(), want, &got) != IoStatus::Ok) break;
        drained += got;
    }
    close_now();
}

}  // namespace mailserver
