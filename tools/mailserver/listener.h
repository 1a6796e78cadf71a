#pragma once

#include <string>

#include "server_state.h"

namespace mailserver {

// Listening socket on 127.0.0.1 plus the accept loop; every connection gets
// a thread of its own.
class Listener {
public:
    explicit Listener(ServerState& state) : state_(state) {}
    ~Listener();

    // Binds (port 0: any free port) and listens; returns the port or -1.
    int open(int port, std::string* error);
    // Accepts until SIGTERM or SIGINT, then stops the connection threads.
    // Returns the process exit code.
    int run();

private:
    ServerState& state_;
    int fd_ = -1;
};

}  // namespace mailserver
