// The signals between the threads of one run, for both engines: buttons, the
// page and the platform raise them, the worker takes them at its checks, and
// whoever waits for the run's end sleeps until one arrives. One lock, one
// condition variable, named bits; nothing is polled.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace parvex {

class RunSignals {
public:
    enum Signal : unsigned {
        Cancel = 1u << 0,   // stop the run: a cancel button, or the run's owner going away under it
        Abandon = 1u << 1,  // upload: the page went during the run; its questions answer themselves
        Delete = 1u << 2,   // download: the delete button during a run; the worker deletes at its next check
        Added = 1u << 3,    // download: entries wait to be merged; raised and cleared under the queue's lock
        Close = 1u << 4,    // download: the user closed the idle dialog; the watcher ends the session
        Gone = 1u << 5,     // download: the dialog's window or its thread went; the watcher ends the session
        Start = 1u << 6,    // download: the start button; the session's worker begins a run
        Quit = 1u << 7,     // download: the session ends; its worker returns once no run is asked for
    };

    void Raise(unsigned signals);
    void Clear(unsigned signals);
    // True when any of signals is raised.
    bool Raised(unsigned signals) const;
    // True when signal was raised; it is cleared.
    bool Take(unsigned signal);
    // Sleeps until any of signals is raised; the raised ones among them.
    unsigned Wait(unsigned signals) const;
    // The same, for at most limit; none when the time ran out first.
    unsigned WaitFor(unsigned signals, std::chrono::milliseconds limit) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable raised_;
    unsigned bits_ = 0;  // guarded by mutex_; any thread
};

}  // namespace parvex
