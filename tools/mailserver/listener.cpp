#include "listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

#include "handlers.h"
#include "lifecycle.h"

namespace mailserver {
namespace {

// Self-pipe: the signal handler only writes a byte, the accept loop polls it.
int g_signal_pipe[2] = {-1, -1};

extern "C" void on_stop_signal(int) {
    int saved = errno;
    char byte = 1;
    ssize_t ignored = ::write(g_signal_pipe[1], &byte, 1);
    (void)ignored;
    errno = saved;
}

bool install_signals(std::string* error) {
    if (::pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

}  // namespace

Listener::~Listener() {
    if (fd_ >= 0) ::close(fd_);
}

int Listener::open(int port, std::string* error) {
    if (!install_signals(error)) return -1;
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        *error = "cannot bind 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return -1;
    }
    if (::listen(fd_, 128) != 0) {
        *error = std::string("listen: ") + std::strerror(errno);
        return -1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

int Listener::run() {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {g_signal_pipe[0], POLLIN, 0}};
    for (;;) {
        int n = ::poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            log_line(std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (fds[1].revents != 0) break;
        if ((fds[0].revents & POLLIN) == 0) continue;
        int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EMFILE || errno == ENFILE) ::usleep(10000);  // let connections finish
            continue;
        }
        lifecycle::thread_started();
        try {
            std::thread([this, client] {
                handle_connection(client, state_);
                lifecycle::thread_finished();
            }).detach();
        } catch (const std::system_error& e) {
            lifecycle::thread_finished();
            log_line(std::string("cannot start a connection thread: ") + e.what());
            ::close(client);
        }
    }
    ::close(fd_);
    fd_ = -1;
    lifecycle::request_stop();
    if (!lifecycle::wait_for_threads(5000)) {
        log_line("connection threads did not end within 5 s");
        return 1;
    }
    return 0;
}

}  // namespace mailserver
