#include <gtest/gtest.h>

#include <vector>

#include "common/socket.h"
#include "tests/support/fakes.h"

using namespace parvex;
using parvex::testing::FakeClock;

namespace {

// Records the send buffer sizes asked for.
class BufferRecorder : public Socket {
public:
    std::vector<int> sizes;
    bool SendAll(const void*, size_t) override { return true; }
    IoResult Recv(void*, size_t) override { return IoResult::Closed(); }
    long Available() override { return 0; }
    int WaitReadable(int) override { return 1; }
    void Shutdown() override {}
    void SetSendBuffer(int bytes) override { sizes.push_back(bytes); }
    int MaxSendBuffer() const override { return most; }
    int most = kMaxSendBufferBytes;
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

// A slow peer keeps the small buffer that lets the counters follow it; a fast
// one gets a quarter second of its rate, up to the socket's cap; a link that
// slows down again gets a small buffer back.
TEST(SendBufferTuner, FollowsTheLink) {
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
    Feed(tuner, clock, 3000000000ull, 1000);  // within twice: no change
    EXPECT_EQ(socket.sizes.size(), changes);
    Feed(tuner, clock, 200000, 300);
    EXPECT_EQ(socket.sizes.back(), kSendBufferBytes);
}

// A fast link gets its buffer within milliseconds, not after the first tenth
// of a second, also when its sends are only ever cut short and never
// refused; the first fill, taken at once whatever the link, does not make a
// slow link look fast.
TEST(SendBufferTuner, GrowsAtOnceOnlyForAFastLink) {
    FakeClock clock;
    BufferRecorder slow, fast, cut;
    SendBufferTuner slowTuner(slow, clock), fastTuner(fast, clock), cutTuner(cut, clock);
    slowTuner.Sent(2 * kSendBufferBytes, 2 * kSendBufferBytes);
    fastTuner.Sent(2 * kSendBufferBytes, 2 * kSendBufferBytes);
    cutTuner.Sent(kTransferBlockBytes, 2 * kSendBufferBytes);
    slowTuner.Sent(1, 0);
    fastTuner.Sent(1, 0);
    clock.tick += 5;
    slowTuner.Sent(1000, 1000);
    fastTuner.Sent(10000, 10000);
    cutTuner.Sent(kTransferBlockBytes, 10000);
    EXPECT_TRUE(slow.sizes.empty());
    ASSERT_EQ(fast.sizes.size(), 1u);
    EXPECT_EQ(fast.sizes[0], 500000);
    EXPECT_EQ(cut.sizes, fast.sizes);
}
