// When a progress display may change. Its bars move at most every
// kBarIntervalMs and its labels (byte counters, speed, time left) every
// kLabelIntervalMs; what either interval held back is drawn as soon as the
// interval is up, whether or not more bytes come, so that a transfer that
// stalls shows exactly what moved. After kStillMs without a byte the speed
// reads zero, until bytes move again.
//
// The engine tells Moved after bytes moved and Exact at a pause; its waits
// call CatchUp whenever the time CatchUp last returned is up (the catchUp of
// ServerWait). Used by the worker thread only.
#pragma once
#include <cstdint>

#include "clock.h"

namespace parvex {

// What the engine draws when the pace says so.
class ProgressDrawing {
public:
    virtual ~ProgressDrawing() = default;
    // The bars as the bytes stand.
    virtual void DrawBars() = 0;
    // The counters, the speed and the time left as the bytes stand.
    virtual void DrawLabels() = 0;
    // Nothing has moved for a while: the speed as zero, the time left as
    // not known.
    virtual void DrawStill() = 0;
};

class ProgressPace {
public:
    static constexpr uint32_t kBarIntervalMs = 100;
    static constexpr uint32_t kLabelIntervalMs = 500;
    static constexpr uint32_t kStillMs = 2000;
    // CatchUp's answer when nothing is held back and the speed reads zero.
    static constexpr uint32_t kNothingDue = UINT32_MAX;

    // The labels count their interval, and the stillness its time, from now.
    ProgressPace(Clock& clock, ProgressDrawing& drawing);

    // Bytes moved: draws what is due, holds back the rest.
    void Moved();
    // A pause (a file's end, a skip, a cancel): everything drawn now.
    void Exact();
    // While nothing moves: draws what has come due; returns the milliseconds
    // until something else will be (kNothingDue: nothing will).
    uint32_t CatchUp();
    // The labels were drawn at tick by the engine itself (its first sample),
    // or, for a new run, as long ago as a run before it drew them.
    void LabelsDrawn(uint32_t tick) {
        labelsTick_ = tick;
        labelsHeld_ = false;
    }

private:
    void DrawBarsAt(uint32_t now);
    void DrawLabelsAt(uint32_t now);
    // Milliseconds until `interval` has passed since `since`, 0 once it has.
    static uint32_t Until(uint32_t now, uint32_t since, uint32_t interval) {
        uint32_t passed = now - since;
        return passed >= interval ? 0 : interval - passed;
    }

    Clock& clock_;
    ProgressDrawing& drawing_;
    uint32_t barsTick_;    // when the bars were last drawn
    uint32_t labelsTick_;  // when the labels were last drawn
    uint32_t movedTick_;   // when bytes last moved
    bool barsHeld_ = false;
    bool labelsHeld_ = false;
    bool still_ = false;  // the speed reads zero
};

}  // namespace parvex
