#pragma once

#include <sys/socket.h>

#include <string>
#include <vector>

#include "server_state.h"

namespace mailserver {

// An IPv4 or IPv6 address literal as --listen takes it ("127.0.0.1", "::1"
// or "[::1]"), port left 0; false when it is none.
bool ParseListenAddress(const std::string& text, sockaddr_storage* address);

// Listening sockets, one per address and all on one port, plus the accept
// loop; every connection gets a thread of its own.
class Listener {
public:
    explicit Listener(ServerState& state) : state_(state) {}
    ~Listener();

    // Binds every address (port 0: a free port that all of them can have)
    // and listens; returns the port or -1.
    int Open(const std::vector<std::string>& addresses, int port, std::string* error);
    // Accepts until SIGTERM or SIGINT, then stops the connection threads.
    // Returns the process exit code.
    int Run();

private:
    // One attempt at binding all addresses to port; *busy when a later
    // address found the port taken, so that another free port may do.
    int BindAll(const std::vector<std::string>& addresses, int port, bool* busy, std::string* error);
    void CloseAll();
    // Takes one waiting client and gives it a thread.
    void AcceptOne(int listeningFd);

    ServerState& state_;
    std::vector<int> fds_;
};

}  // namespace mailserver
