#include "progress_pace.h"

#include <algorithm>

namespace parvex {

namespace {
// The labels wait more than their interval, as they always have; the bars
// at least theirs.
constexpr uint32_t kLabelWaitMs = ProgressPace::kLabelIntervalMs + 1;
}  // namespace

ProgressPace::ProgressPace(Clock& clock, ProgressDrawing& drawing) : clock_(clock), drawing_(drawing) {
    uint32_t now = clock_.TickMs();
    // The first bars a transfer moves are drawn at once.
    barsTick_ = now - kBarIntervalMs;
    labelsTick_ = movedTick_ = now;
}

void ProgressPace::Moved() {
    uint32_t now = clock_.TickMs();
    movedTick_ = now;
    still_ = false;
    barsHeld_ = labelsHeld_ = true;
    if (Until(now, barsTick_, kBarIntervalMs) == 0) DrawBarsAt(now);
    if (Until(now, labelsTick_, kLabelWaitMs) == 0) DrawLabelsAt(now);
}

void ProgressPace::Exact() {
    uint32_t now = clock_.TickMs();
    DrawBarsAt(now);
    DrawLabelsAt(now);
    // The labels give the speed as the engine reckons it; a transfer that
    // has stood still keeps reading zero.
    if (still_) drawing_.DrawStill();
}

uint32_t ProgressPace::CatchUp() {
    uint32_t now = clock_.TickMs();
    if (barsHeld_ && Until(now, barsTick_, kBarIntervalMs) == 0) DrawBarsAt(now);
    if (labelsHeld_ && Until(now, labelsTick_, kLabelWaitMs) == 0) DrawLabelsAt(now);
    if (!still_ && Until(now, movedTick_, kStillMs) == 0) {
        // What moved is shown before the speed falls to zero.
        if (labelsHeld_) DrawLabelsAt(now);
        drawing_.DrawStill();
        still_ = true;
    }
    uint32_t due = kNothingDue;
    if (barsHeld_) due = std::min(due, Until(now, barsTick_, kBarIntervalMs));
    if (labelsHeld_) due = std::min(due, Until(now, labelsTick_, kLabelWaitMs));
    if (!still_) due = std::min(due, Until(now, movedTick_, kStillMs));
    return due;
}

void ProgressPace::DrawBarsAt(uint32_t now) {
    drawing_.DrawBars();
    barsTick_ = now;
    barsHeld_ = false;
}

void ProgressPace::DrawLabelsAt(uint32_t now) {
    drawing_.DrawLabels();
    labelsTick_ = now;
    labelsHeld_ = false;
}

}  // namespace parvex
