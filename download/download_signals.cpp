#include "download_signals.h"

namespace parvex {

void DownloadSignals::Raise(unsigned signals) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bits_ |= signals;
    }
    raised_.notify_all();
}

void DownloadSignals::Clear(unsigned signals) {
    std::lock_guard<std::mutex> lock(mutex_);
    bits_ &= ~signals;
}

bool DownloadSignals::Raised(unsigned signals) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return (bits_ & signals) != 0;
}

bool DownloadSignals::Take(unsigned signal) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool was = (bits_ & signal) != 0;
    bits_ &= ~signal;
    return was;
}

unsigned DownloadSignals::WaitFor(unsigned signals, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(mutex_);
    raised_.wait_for(lock, limit, [&] { return (bits_ & signals) != 0; });
    return bits_ & signals;
}

}  // namespace parvex
