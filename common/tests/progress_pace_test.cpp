#include "common/progress_pace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fakes.h"

namespace parvex {
namespace {

// Records what was drawn and when, as "bars@ms", "labels@ms", "still@ms".
class Drawn : public ProgressDrawing {
public:
    explicit Drawn(testing::FakeClock& clock) : clock_(clock), start_(clock.tick) {}
    std::vector<std::string> log;
    void DrawBars() override { Note("bars"); }
    void DrawLabels() override { Note("labels"); }
    void DrawStill() override { Note("still"); }

private:
    void Note(const char* what) { log.push_back(what + std::string("@") + std::to_string(clock_.tick - start_)); }
    testing::FakeClock& clock_;
    uint32_t start_;
};

using Log = std::vector<std::string>;

// A transfer that stops: what the intervals held back is drawn when they
// are up, with no byte after it, and the speed falls to zero 2 s after the
// last byte; the next bytes bring the labels back.
TEST(ProgressPace, AStallShowsWhatMovedThenZeroSpeed) {
    testing::FakeClock clock;
    Drawn drawn(clock);
    ProgressPace pace(clock, drawn);
    pace.Moved();  // the first bars at once, the labels after their half second
    clock.tick += 40;
    pace.Moved();  // the last bytes: bars and labels held back
    EXPECT_EQ(pace.CatchUp(), 60u);
    clock.tick += 60;
    EXPECT_EQ(pace.CatchUp(), 401u);
    clock.tick += 401;
    EXPECT_EQ(pace.CatchUp(), 1539u);
    clock.tick += 1539;
    EXPECT_EQ(pace.CatchUp(), ProgressPace::kNothingDue);
    EXPECT_EQ(drawn.log, (Log{"bars@0", "bars@100", "labels@501", "still@2040"}));

    clock.tick += 5000;
    pace.Moved();  // bars and labels long due: both at once
    EXPECT_EQ(drawn.log.size(), 6u);
    EXPECT_EQ(drawn.log[4], "bars@7040");
    EXPECT_EQ(drawn.log[5], "labels@7040");
}

// A pause draws everything at once; a transfer that stood still still reads
// zero speed after it.
TEST(ProgressPace, ExactDrawsAllAndKeepsTheStandstill) {
    testing::FakeClock clock;
    Drawn drawn(clock);
    ProgressPace pace(clock, drawn);
    pace.Moved();
    clock.tick += 10;
    pace.Exact();
    EXPECT_EQ(pace.CatchUp(), 1990u);
    clock.tick += 2000;
    pace.CatchUp();
    pace.Exact();
    EXPECT_EQ(drawn.log, (Log{"bars@0", "bars@10", "labels@10", "still@2010", "bars@2010", "labels@2010", "still@2010"}));
}

}  // namespace
}  // namespace parvex
