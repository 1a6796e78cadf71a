#include <gtest/gtest.h>

#include <vector>

#include "common/socket.h"
#include "tests/support/fakes.h"

using namespace parvex;
using parvex::testing::FakeClock;

namespace {

// Answers the ideal send backlog from a script and records the send buffer
// sizes asked for.
class BacklogSocket : public Socket {
public:
    std::vector<long> ideals;  // answered in turn; the last one repeats
    std::vector<int> sizes;
    int queries = 0;
    bool SendAll(const void*, size_t) override { return true; }
    long Recv(void*, size_t) override { return 0; }
    long Available() override { return 0; }
    int WaitReadable(int) override { return 1; }
    void Shutdown() override {}
    void SetSendBuffer(int bytes) override { sizes.push_back(bytes); }
    long IdealSendBacklog() override {
        long ideal = ideals[std::min<size_t>(queries, ideals.size() - 1)];
        ++queries;
        return ideal;
    }
};

}  // namespace

// The buffer follows the platform's ideal backlog up, never down (a smaller
// buffer under queued bytes refuses the retransmissions loss recovery needs);
// it is asked only while a full buffer holds sends up, at most every
// kIdealBacklogQueryMs.
TEST(SendBufferTuner, GrowsToTheIdealBacklogAndNeverShrinks) {
    FakeClock clock;
    BacklogSocket socket;
    socket.ideals = {65536, 32768, 524288, 262144, 1048576};
    SendBufferTuner tuner(socket, clock);
    tuner.Sent(kTransferBlockBytes, kTransferBlockBytes);
    EXPECT_EQ(socket.queries, 0);
    for (int i = 0; i < 5; ++i) {
        tuner.Sent(kTransferBlockBytes, 1000);
        tuner.Sent(kTransferBlockBytes, 0);  // within the interval: not asked again
        clock.tick += kIdealBacklogQueryMs;
    }
    EXPECT_EQ(socket.queries, 5);
    EXPECT_EQ(socket.sizes, (std::vector<int>{65536, 524288, 1048576}));
}

// Where the system sizes the buffer itself, nothing sets it (that would
// switch the system's sizing off), and it is asked once.
TEST(SendBufferTuner, LeavesABufferTheSystemSizesAlone) {
    FakeClock clock;
    BacklogSocket socket;
    socket.ideals = {Socket::kSizedBySystem, 65536};
    SendBufferTuner tuner(socket, clock);
    for (int i = 0; i < 5; ++i) {
        tuner.Sent(kTransferBlockBytes, 0);
        clock.tick += kIdealBacklogQueryMs;
    }
    EXPECT_EQ(socket.queries, 1);
    EXPECT_TRUE(socket.sizes.empty());
}
