// Connection attempts to the addresses of one server, raced as browsers do
// (RFC 8305): an address that drops the connection request must not hold up
// the next one for the whole connection time-out. The families are taken in
// turn; each attempt begins kNextAttemptDelayMs after the one before, without
// waiting for it to fail, or at once when every attempt under way failed; the
// first to connect is kept and the others are closed.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "clock.h"
#include "socket.h"

namespace parvex {

constexpr uint32_t kNextAttemptDelayMs = 250;

class ConnectRace {
public:
    ConnectRace(Network& network, const std::vector<NetAddress>& addresses, uint16_t port, Clock& clock);
    // Closes the attempts still under way.
    ~ConnectRace();
    ConnectRace(const ConnectRace&) = delete;
    ConnectRace& operator=(const ConnectRace&) = delete;

    // Begins the attempts that are due, then waits up to ms for one to
    // connect: 1 once one has (Winner hands it over), 0 while attempts are
    // under way or still to come, -1 when every address failed.
    int Look(int ms);
    std::unique_ptr<Socket> Winner() { return std::move(winner_); }

private:
    void BeginDue();
    // How long the attempts under way may be waited on before the next is due.
    uint32_t MsUntilNextIsDue();

    Network& network_;
    const std::vector<NetAddress> addresses_;  // in the order they are tried
    const uint16_t port_;
    Clock& clock_;
    size_t next_ = 0;          // the next address to try
    uint32_t lastBegun_ = 0;   // when the latest attempt began
    bool nextIsDue_ = false;   // an attempt failed: the next need not wait
    std::vector<std::unique_ptr<Socket>> underWay_;
    std::unique_ptr<Socket> winner_;
};

}  // namespace parvex
