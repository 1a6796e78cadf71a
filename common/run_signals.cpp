#include "run_signals.h"

namespace parvex {

void RunSignals::Raise(unsigned signals) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bits_ |= signals;
    }
    raised_.notify_all();
}

void RunSignals::Clear(unsigned signals) {
    std::lock_guard<std::mutex> lock(mutex_);
    bits_ &= ~signals;
}

bool RunSignals::Raised(unsigned signals) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return (bits_ & signals) != 0;
}

bool RunSignals::Take(unsigned signal) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool was = (bits_ & signal) != 0;
    bits_ &= ~signal;
    return was;
}

unsigned RunSignals::Wait(unsigned signals) const {
    std::unique_lock<std::mutex> lock(mutex_);
    raised_.wait(lock, [&] { return (bits_ & signals) != 0; });
    return bits_ & signals;
}

unsigned RunSignals::WaitFor(unsigned signals, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(mutex_);
    raised_.wait_for(lock, limit, [&] { return (bits_ & signals) != 0; });
    return bits_ & signals;
}

}  // namespace parvex
