#include "connect_race.h"

#include <algorithm>

namespace parvex {
namespace {

// While several attempts are under way they share each look in turns of
// this long at most, so that the one that connects is noticed within a few
// milliseconds.
constexpr uint32_t kSharedLookMs = 10;

// The resolver's first family, then the other, in turn; each family keeps
// the resolver's order.
std::vector<NetAddress> FamiliesInTurn(const std::vector<NetAddress>& addresses) {
    std::vector<NetAddress> first, other, ordered;
    for (const NetAddress& a : addresses) (a.family == addresses.front().family ? first : other).push_back(a);
    for (size_t i = 0; i < std::max(first.size(), other.size()); ++i) {
        if (i < first.size()) ordered.push_back(first[i]);
        if (i < other.size()) ordered.push_back(other[i]);
    }
    return ordered;
}

}  // namespace

ConnectRace::ConnectRace(Network& network, const std::vector<NetAddress>& addresses, uint16_t port, Clock& clock)
    : network_(network), addresses_(FamiliesInTurn(addresses)), port_(port), clock_(clock) {}

ConnectRace::~ConnectRace() {
    for (std::unique_ptr<Socket>& attempt : underWay_) attempt->Shutdown();
}

void ConnectRace::BeginDue() {
    while (next_ < addresses_.size() && (underWay_.empty() || MsUntilNextIsDue() == 0)) {
        // One that cannot even begin (traced) makes way for the next at once.
        std::unique_ptr<Socket> attempt = network_.BeginConnect(addresses_[next_++], port_);
        if (!attempt) continue;
        lastBegun_ = clock_.TickMs();
        nextIsDue_ = false;
        underWay_.push_back(std::move(attempt));
    }
}

uint32_t ConnectRace::MsUntilNextIsDue() {
    if (next_ >= addresses_.size()) return UINT32_MAX;
    if (nextIsDue_) return 0;
    uint32_t since = clock_.TickMs() - lastBegun_;
    return since >= kNextAttemptDelayMs ? 0 : kNextAttemptDelayMs - since;
}

int ConnectRace::Look(int ms) {
    BeginDue();
    uint32_t each = std::min(static_cast<uint32_t>(std::max(ms, 0)), MsUntilNextIsDue());
    uint32_t count = static_cast<uint32_t>(underWay_.size());
    if (count > 1) each = std::max<uint32_t>(1, std::min(each, kSharedLookMs) / count);
    for (size_t i = 0; i < underWay_.size();) {
        int r = underWay_[i]->WaitConnected(static_cast<int>(each));
        if (r > 0) {
            winner_ = std::move(underWay_[i]);
            underWay_.erase(underWay_.begin() + static_cast<long>(i));
            return 1;
        }
        if (r < 0) {
            // Refused or unreachable (the socket traced why).
            underWay_.erase(underWay_.begin() + static_cast<long>(i));
            nextIsDue_ = true;
            continue;
        }
        ++i;
    }
    return underWay_.empty() && next_ >= addresses_.size() ? -1 : 0;
}

}  // namespace parvex
