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

void set_timeout(int fd, int option, int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
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

Connection::Connection(int fd, int idle_timeout_ms) : fd_(fd), transport_(make_plain_transport(fd)) {
    lifecycle::register_socket(fd_);
    set_timeout(fd_, SO_RCVTIMEO, idle_timeout_ms);
    set_timeout(fd_, SO_SNDTIMEO, idle_timeout_ms);
    int one = 1;
    // Replies are small and sometimes sent in pieces on purpose; they must not
    // wait for acknowledgements.
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

Connection::~Connection() { close_now(); }

bool Connection::client_opens_tls() {
    unsigned char first = 0;
    for (;;) {
        if (fd_ < 0 || lifecycle::stopping()) return false;
        ssize_t r = ::recv(fd_, &first, 1, MSG_PEEK);
        if (r == 1) return first == kTlsHandshakeByte;
        if (r == 0 || errno != EINTR) return false;
    }
}

bool Connection::start_tls(const TlsContext& tls, std::string* error) {
    std::unique_ptr<Transport> secured = tls.accept(fd_, error);
    if (!secured) return false;
    transport_ = std::move(secured);
    secure_ = true;
    return true;
}

void Connection::close_now() {
    if (fd_ < 0) return;
    transport_->say_goodbye();
    cut();
}

void Connection::cut() {
    if (fd_ < 0) return;
    lifecycle::unregister_socket(fd_);
    ::close(fd_);
    fd_ = -1;
}

IoStatus Connection::receive(char* buffer, size_t n, size_t* got) {
    *got = 0;
    if (fd_ < 0) return IoStatus::Error;
    if (lifecycle::stopping()) return IoStatus::Stopped;
    return transport_->read(buffer, n, got);
}

bool Connection::has_pending_input() { return fd_ >= 0 && transport_->input_waiting(); }

IoStatus Connection::send_all(const char* data, size_t n) {
    if (fd_ < 0) return IoStatus::Error;
    return transport_->write(data, n);
}

IoStatus Connection::send_file(int file_fd, uint64_t offset, uint64_t count, uint64_t* sent) {
    *sent = 0;
    if (fd_ < 0) return IoStatus::Error;
    return transport_->write_file(file_fd, offset, count, sent);
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
    transport_->say_goodbye();
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
    cut();  // the goodbye went out before the half-close
}

}  // namespace mailserver
