#include "transport.h"

#include <sys/sendfile.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "lifecycle.h"

namespace mailserver {

IoStatus StatusFromErrno() {
    if (lifecycle::Stopping()) return IoStatus::Stopped;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return IoStatus::TimedOut;
    if (errno == EPIPE || errno == ECONNRESET) return IoStatus::Closed;
    return IoStatus::Error;
}

namespace {

class PlainTransport : public Transport {
public:
    explicit PlainTransport(int fd) : fd_(fd) {}

    IoStatus Read(char* buffer, size_t n, size_t* got) override {
        for (;;) {
            ssize_t r = ::recv(fd_, buffer, n, 0);
            if (r > 0) {
                *got = static_cast<size_t>(r);
                return IoStatus::Ok;
            }
            if (r == 0) return lifecycle::Stopping() ? IoStatus::Stopped : IoStatus::Closed;
            if (errno != EINTR) return StatusFromErrno();
        }
    }

    IoStatus Write(const char* data, size_t n) override {
        while (n > 0) {
            if (lifecycle::Stopping()) return IoStatus::Stopped;
            ssize_t r = ::send(fd_, data, n, MSG_NOSIGNAL);
            if (r < 0) {
                if (errno == EINTR) continue;
                return StatusFromErrno();
            }
            data += r;
            n -= static_cast<size_t>(r);
        }
        return IoStatus::Ok;
    }

    IoStatus WriteFile(int fileFd, uint64_t offset, uint64_t count, uint64_t* sent) override {
        off_t pos = static_cast<off_t>(offset);
        while (*sent < count) {
            if (lifecycle::Stopping()) return IoStatus::Stopped;
            size_t block = static_cast<size_t>(std::min<uint64_t>(count - *sent, 1u << 30));
            ssize_t r = ::sendfile(fd_, fileFd, &pos, block);
            if (r < 0) {
                if (errno == EINTR) continue;
                return StatusFromErrno();
            }
            if (r == 0) return IoStatus::Error;  // the file shrank under us
            *sent += static_cast<uint64_t>(r);
        }
        return IoStatus::Ok;
    }

    bool InputWaiting() override {
        char probe;
        return ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
    }

    void SayGoodbye() override {}

private:
    int fd_;
};

}  // namespace

std::unique_ptr<Transport> MakePlainTransport(int fd) { return std::make_unique<PlainTransport>(fd); }

}  // namespace mailserver
