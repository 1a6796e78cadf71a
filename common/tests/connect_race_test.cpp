#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/socket.h"
#include "common/trace.h"
#include "tests/support/fakes.h"

using namespace parvex;
using parvex::testing::FakeClock;

namespace {

constexpr int kNever = -1;

NetAddress V4(uint8_t last) {
    NetAddress a;
    a.bytes[0] = 10;
    a.bytes[3] = last;
    return a;
}

NetAddress V6(uint8_t last) {
    NetAddress a;
    a.family = 6;
    a.bytes[0] = 0xfd;
    a.bytes[15] = last;
    return a;
}

// Addresses that answer as scripted, on a clock that moves only while an
// attempt is waited on.
class ScriptedNetwork : public Network {
public:
    struct Answer {
        int afterMs = kNever;  // after the attempt began
        int result = 1;        // 1 connected, -1 failed
    };
    FakeClock clock;
    std::map<std::wstring, Answer> answers;  // by address; the rest never answer
    std::vector<std::wstring> begun;         // "address@ms", ms after the start
    std::vector<std::wstring> closed;        // addresses
    uint32_t start = clock.tick;

    bool Resolve(const std::string&, std::vector<NetAddress>&) override { return false; }
    std::unique_ptr<Socket> Connect(const NetAddress&, uint16_t) override { return nullptr; }
    std::unique_ptr<Socket> BeginConnect(const NetAddress& address, uint16_t port) override {
        std::wstring name = HostPortText(address, port);
        begun.push_back(name + L"@" + std::to_wstring(clock.tick - start));
        return std::make_unique<Attempt>(*this, name, answers[name]);
    }

private:
    class Attempt : public Socket {
    public:
        Attempt(ScriptedNetwork& n, std::wstring name, Answer answer)
            : n_(n), name_(std::move(name)), answer_(answer), began_(n.clock.tick) {}
        ~Attempt() override { n_.closed.push_back(name_); }
        int WaitConnected(int ms) override {
            uint32_t due = began_ + static_cast<uint32_t>(answer_.afterMs);
            if (answer_.afterMs != kNever && n_.clock.tick + static_cast<uint32_t>(ms) >= due) {
                if (n_.clock.tick < due) n_.clock.tick = due;
                return answer_.result;
            }
            n_.clock.tick += static_cast<uint32_t>(ms);
            return 0;
        }
        bool SendAll(const void*, size_t) override { return true; }
        IoResult Recv(void*, size_t) override { return IoResult::Closed(); }
        long Available() override { return 0; }
        int WaitReadable(int) override { return 1; }
        void Shutdown() override {}

    private:
        ScriptedNetwork& n_;
        std::wstring name_;
        Answer answer_;
        uint32_t began_;
    };
};

struct Race {
    std::unique_ptr<Socket> socket;
    WaitOutcome outcome = WaitOutcome::Failed;
    uint32_t tookMs = 0;
};

Race RunRace(ScriptedNetwork& network, const std::vector<NetAddress>& addresses, uint32_t limitMs = 30000) {
    Endpoint endpoint;
    endpoint.host = "mail.example";
    endpoint.addresses = addresses;
    endpoint.port = 80;
    ServerWait wait;
    wait.clock = &network.clock;
    Race race;
    race.socket = ConnectBounded(network, endpoint, wait, limitMs, &race.outcome);
    race.tookMs = network.clock.tick - network.start;
    return race;
}

}  // namespace

// An address that drops the connection request holds the next one up for a
// quarter second, not for the connection time-out; the loser is closed.
TEST(ConnectRace, SilentFirstAddressYieldsToTheSecondAfterAQuarterSecond) {
    ScriptedNetwork n;
    n.answers[L"10.0.0.2:80"] = {5, 1};
    Race r = RunRace(n, {V4(1), V4(2)});
    EXPECT_EQ(r.outcome, WaitOutcome::Ready);
    ASSERT_NE(r.socket, nullptr);
    EXPECT_EQ(n.begun, (std::vector<std::wstring>{L"10.0.0.1:80@0", L"10.0.0.2:80@250"}));
    EXPECT_GE(r.tookMs, 255u);
    EXPECT_LE(r.tookMs, 275u);
    EXPECT_EQ(n.closed, std::vector<std::wstring>{L"10.0.0.1:80"});
    r.socket.reset();
    EXPECT_EQ(n.closed, (std::vector<std::wstring>{L"10.0.0.1:80", L"10.0.0.2:80"}));
}

// The families take turns from the resolver's first; an attempt that fails
// lets the next begin at once; the first to connect wins, even if it began
// last.
TEST(ConnectRace, FamiliesInTurnAndAFailureMakesWayAtOnce) {
    ScriptedNetwork n;
    n.answers[L"[fd00::1]:80"] = {30, -1};
    n.answers[L"10.0.0.1:80"] = {1000, 1};
    n.answers[L"10.0.0.2:80"] = {20, 1};
    Race r = RunRace(n, {V6(1), V6(2), V4(1), V4(2)});
    EXPECT_EQ(r.outcome, WaitOutcome::Ready);
    EXPECT_EQ(n.begun, (std::vector<std::wstring>{L"[fd00::1]:80@0", L"10.0.0.1:80@30", L"[fd00::2]:80@280",
                                                  L"10.0.0.2:80@530"}));
    EXPECT_GE(r.tookMs, 550u);
    EXPECT_LE(r.tookMs, 580u);
    EXPECT_EQ(n.closed.size(), 3u);
    r.socket.reset();
    EXPECT_EQ(n.closed.back(), L"10.0.0.2:80");
}

// The connection time-out bounds the whole race; every address failing ends
// it at once.
TEST(ConnectRace, OneBoundForAllAndFailureWhenAllFail) {
    ScriptedNetwork silent;
    Race r = RunRace(silent, {V4(1), V4(2), V4(3)}, 1000);
    EXPECT_EQ(r.outcome, WaitOutcome::TimedOut);
    EXPECT_EQ(r.socket, nullptr);
    EXPECT_GE(r.tookMs, 1000u);
    EXPECT_LE(r.tookMs, 1003u);
    EXPECT_EQ(silent.begun, (std::vector<std::wstring>{L"10.0.0.1:80@0", L"10.0.0.2:80@250", L"10.0.0.3:80@500"}));
    EXPECT_EQ(silent.closed.size(), 3u);

    ScriptedNetwork refusing;
    refusing.answers[L"10.0.0.1:80"] = {1, -1};
    refusing.answers[L"10.0.0.2:80"] = {2, -1};
    r = RunRace(refusing, {V4(1), V4(2)});
    EXPECT_EQ(r.outcome, WaitOutcome::Failed);
    EXPECT_EQ(r.tookMs, 3u);
    EXPECT_EQ(refusing.closed.size(), 2u);
}
