#include <gtest/gtest.h>

#include <vector>

#include "common/socket.h"
#include "tests/support/fakes.h"

using namespace parvex;
using parvex::testing::FakeClock;

namespace {

// Answers the ideal send backlog from a script (the last answer repeats)
// and records the send buffer sizes asked for.
class BufferRecorder : public Socket {
public:
    std::vector<long> ideals = {kFollowTheRate};
    std::vector<int> sizes;
    int queries = 0;
    int most = kMaxSendBufferBytes;
    bool SendAll(const void*, size_t) override { return true; }
    IoResult Recv(void*, size_t) override { return IoResult::Closed(); }
    long Available() override { return 0; }
    int WaitReadable(int) override { return 1; }
    void Shutdown() override {}
    void SetSendBuffer(int bytes) override { sizes.push_back(bytes); }
    int MaxSendBuffer() const override { return most; }
    long IdealSendBacklog() override {
        long ideal = ideals[std::min<size_t>(queries, ideals.size() - 1)];
        ++queries;
        return ideal;
    }
};

// Feeds the tuner `rate` bytes per second for `ms`, in 10 ms steps, each
// after the full buffer refused a send (the link sets the pace), or, with
// full false, as a buffer with room takes them.
void Feed(SendBufferTuner& tuner, FakeClock& clock, uint64_t rate, uint32_t ms, bool full = true) {
    for (uint32_t t = 0; t < ms; t += 10) {
        if (full) tuner.Sent(1, 0);
        clock.tick += 10;
        tuner.Sent(static_cast<size_t>(rate / 100), static_cast<size_t>(rate / 100));
    }
}

}  // namespace

// Following the rate: a slow peer keeps the small buffer that lets the
// counters follow it; a fast one gets a quarter second of its rate, up to
// the socket's cap; a link that slows down (as in loss recovery) keeps its
// buffer, since one cut below what it holds refuses retransmissions.
TEST(SendBufferTuner, FollowsTheLinkUpOnly) {
    FakeClock clock;
    BufferRecorder socket;
    socket.most = 3 * kMaxSendBufferBytes;
    SendBufferTuner tuner(socket, clock);
    // Bytes that only fill the empty buffer, however fast, are no rate.
    Feed(tuner, clock, 80000000, 300, false);
    EXPECT_TRUE(socket.sizes.empty());
    Feed(tuner, clock, 200000, 2000);
    EXPECT_TRUE(socket.sizes.empty());
    Feed(tuner, clock, 2000000, 300);
    ASSERT_FALSE(socket.sizes.empty());
    EXPECT_EQ(socket.sizes.back(), 500000);
    Feed(tuner, clock, 4000000000ull, 300);
    EXPECT_EQ(socket.sizes.back(), 3 * kMaxSendBufferBytes);
    size_t changes = socket.sizes.size();
    Feed(tuner, clock, 3000000000ull, 1000);
    Feed(tuner, clock, 200000, 300);
    EXPECT_EQ(socket.sizes.size(), changes);
}

// A buffer that the round trip holds back (it empties once a round trip,
// 150 ms here) grows until the link is full, the quarter second being
// shorter than two round trips of the doubled buffer the system grants.
TEST(SendBufferTuner, GrowsPastALongRoundTrip) {
    FakeClock clock;
    BufferRecorder socket;
    SendBufferTuner tuner(socket, clock);
    long buffer = kSendBufferBytes;
    const long link = 1250000;  // bytes a second
    for (int trip = 0; trip < 40; ++trip) {
        tuner.Sent(kTransferBlockBytes, 0);
        clock.tick += 150;
        long moved = std::min(2 * buffer, link * 150 / 1000);
        tuner.Sent(kTransferBlockBytes, static_cast<size_t>(moved));
        if (!socket.sizes.empty()) buffer = socket.sizes.back();
    }
    EXPECT_GE(2 * buffer, link * 150 / 1000 * 2);
    EXPECT_LE(buffer, kMaxSendBufferBytes);
}

// A fast link gets its buffer within milliseconds, not after the first tenth
// of a second, also when its sends are only ever cut short and never
// refused; the first fill, taken at once whatever the link, does not make a
// slow link look fast, nor does the peer's empty receive window taken at
// once after it.
TEST(SendBufferTuner, GrowsAtOnceOnlyForAFastLink) {
    FakeClock clock;
    BufferRecorder slow, fast, cut, window;
    SendBufferTuner slowTuner(slow, clock), fastTuner(fast, clock), cutTuner(cut, clock), windowTuner(window, clock);
    slowTuner.Sent(2 * kSendBufferBytes, 2 * kSendBufferBytes);
    fastTuner.Sent(2 * kSendBufferBytes, 2 * kSendBufferBytes);
    cutTuner.Sent(kTransferBlockBytes, 2 * kSendBufferBytes);
    for (SendBufferTuner* full : {&slowTuner, &fastTuner, &windowTuner}) full->Sent(1, 0);
    windowTuner.Sent(kTransferBlockBytes, 400000);
    for (int look = 0; look < 2; ++look) {
        clock.tick += 5;
        slowTuner.Sent(1000, 1000);
        fastTuner.Sent(10000, 10000);
        cutTuner.Sent(kTransferBlockBytes, 10000);
        windowTuner.Sent(1000, 1000);
        if (look == 0) EXPECT_TRUE(fast.sizes.empty());
    }
    EXPECT_TRUE(slow.sizes.empty());
    EXPECT_TRUE(window.sizes.empty());
    ASSERT_EQ(fast.sizes.size(), 1u);
    EXPECT_EQ(fast.sizes[0], 500000);
    EXPECT_EQ(cut.sizes, fast.sizes);
}

// With an ideal backlog the buffer follows it up, never down; it is asked
// only while a full buffer holds sends up, at most every
// kIdealBacklogQueryMs.
TEST(SendBufferTuner, GrowsToTheIdealBacklogAndNeverShrinks) {
    FakeClock clock;
    BufferRecorder socket;
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
    BufferRecorder socket;
    socket.ideals = {Socket::kSizedBySystem, 65536};
    SendBufferTuner tuner(socket, clock);
    for (int i = 0; i < 5; ++i) {
        tuner.Sent(kTransferBlockBytes, 0);
        Feed(tuner, clock, 4000000000ull, 100);
    }
    EXPECT_EQ(socket.queries, 1);
    EXPECT_TRUE(socket.sizes.empty());
}
