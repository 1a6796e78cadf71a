// Word of a thread's end. On some systems a thread that ends takes its
// windows along without telling them; whoever keeps such a window's session
// learns of it here instead of asking the window again and again.
#pragma once
#include <functional>
#include <memory>

namespace parvex {

// Destroying it stops the notice, waiting for a call of it under way.
class ThreadEndNotice {
public:
    virtual ~ThreadEndNotice() = default;
};

class ThreadEndWatch {
public:
    virtual ~ThreadEndWatch() = default;
    // Calls ended once, on a thread of the platform's, when the calling
    // thread ends; null when that cannot be watched.
    virtual std::unique_ptr<ThreadEndNotice> WatchCallingThread(std::function<void()> ended) = 0;
};

}  // namespace parvex
