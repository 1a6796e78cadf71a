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
int g_signalPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
    int saved = errno;
    char byte = 1;
    ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
    (void)ignored;
    errno = saved;
}

bool InstallSignals(std::string* error) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

}  // namespace

bool ParseListenAddress(const std::string& text, sockaddr_storage* address) {
    *address = sockaddr_storage{};
    std::string bare = text;
    if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
    auto* v4 = reinterpret_cast<sockaddr_in*>(address);
    if (::inet_pton(AF_INET, bare.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        return true;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(address);
    if (::inet_pton(AF_INET6, bare.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        return true;
    }
    return false;
}

Listener::~Listener() { CloseAll(); }

void Listener::CloseAll() {
    for (int fd : fds_) ::close(fd);
    fds_.clear();
}

int Listener::Open(const std::vector<std::string>& addresses, int port, std::string* error) {
    if (!InstallSignals(error)) return -1;
    // Port 0 asks the system for a free port on the first address; a later
    // address may have it taken already, and then another one is tried.
    for (int attempt = 0; attempt < 20; ++attempt) {
        bool busy = false;
        int bound = BindAll(addresses, port, &busy, error);
        if (bound >= 0 || !busy || port != 0) return bound;
    }
    return -1;
}

int Listener::BindAll(const std::vector<std::string>& addresses, int port, bool* busy, std::string* error) {
    CloseAll();
    int chosen = port;
    for (size_t i = 0; i < addresses.size(); ++i) {
        sockaddr_storage address;
        if (!ParseListenAddress(addresses[i], &address)) {
            *error = "bad listen address " + addresses[i];
            return -1;
        }
        const bool v6 = address.ss_family == AF_INET6;
        const bool bracketed = addresses[i].front() == '[';
        const std::string where =
            (v6 && !bracketed ? "[" + addresses[i] + "]" : addresses[i]) + ":" + std::to_string(chosen);
        int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            *error = std::string("socket: ") + std::strerror(errno);
            return -1;
        }
        fds_.push_back(fd);
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        // Each family gets its own socket, so the same port can be had on both.
        if (v6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        if (v6)
            reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = htons(static_cast<uint16_t>(chosen));
        else
            reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(static_cast<uint16_t>(chosen));
        const socklen_t size = v6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0) {
            *busy = errno == EADDRINUSE && i > 0;
            *error = "cannot bind " + where + ": " + std::strerror(errno);
            return -1;
        }
        if (::listen(fd, 128) != 0) {
            *error = std::string("listen: ") + std::strerror(errno);
            return -1;
        }
        socklen_t len = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &len);
        chosen = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                          : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    }
    return chosen;
}

void Listener::AcceptOne(int listeningFd) {
    int client = ::accept4(listeningFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
        if (errno == EMFILE || errno == ENFILE) ::usleep(10000);  // let connections finish
        return;
    }
    lifecycle::ThreadStarted();
    try {
        std::thread([this, client] {
            HandleConnection(client, state_);
            lifecycle::ThreadFinished();
        }).detach();
    } catch (const std::system_error& e) {
        lifecycle::ThreadFinished();
        LogLine(std::string("cannot start a connection thread: ") + e.what());
        ::close(client);
    }
}

int Listener::Run() {
    // The listening sockets, then the signal pipe.
    std::vector<pollfd> fds;
    for (int fd : fds_) fds.push_back(pollfd{fd, POLLIN, 0});
    fds.push_back(pollfd{g_signalPipe[0], POLLIN, 0});
    for (bool stop = false; !stop;) {
        int n = ::poll(fds.data(), fds.size(), -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            LogLine(std::string("poll: ") + std::strerror(errno));
            break;
        }
        stop = fds.back().revents != 0;
        for (size_t i = 0; i + 1 < fds.size() && !stop; ++i)
            if ((fds[i].revents & POLLIN) != 0) AcceptOne(fds[i].fd);
    }
    CloseAll();
    lifecycle::RequestStop();
    if (!lifecycle::WaitForThreads(5000)) {
        LogLine("connection threads did not end within 5 s");
        return 1;
    }
    return 0;
}

}  // namespace mailserver
