#pragma once

#include <sys/socket.h>

#include <string>
#include <vector>

#include "server_state.h"

namespace mailserver {

// An IPv4 or IPv6 address literal as --listen takes it ("127.0.0.1", "::1"
// or "[::1]"), port left 0; false when it is none.
bool parse_listen_address(const std::string& text, sockaddr_storage* address);

// Listening sockets, one per address and all on one port, plus the accept
// loop; every connection gets a thread of its own.
class Listener {
public:
    explicit Listener(ServerState& state) : state_(state) {}
    ~Listener();

    // Binds every address (port 0: a free port that all of them can have)
    // and listens; returns the port or -1.
    int open(const std::vector<std::string>& addresses, int port, std::string* error);
    // Accepts until SIGTERM or SIGINT, then stops the connection threads.
    // Returns the process exit code.
    int run();

private:
    // One attempt at binding all addresses to port; *busy when a later
    // address found the port taken, so that another free port may do.
    int bind_all(const std::vector<std::string>& addresses, int port, bool* busy, std::string* error);
    void close_all();
    // Takes one waiting client and gives it a thread.
    void accept_one(int listening_fd);

    ServerState& state_;
    std::vector<int> fds_;
};

}  // namespace mailserver
