// The signals between the threads of one download session: the dialog's
// buttons and the page raise them, the worker takes them at its checks and
// the session's watcher sleeps until one arrives. One lock, one condition
// variable; nothing is polled.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace parvex {

class DownloadSignals {
public:
    enum Signal : unsigned {
        Cancel = 1u << 0,  // stop the run: the dialog's cancel, or the session ending under it
        Delete = 1u << 1,  // the delete button during a run: the worker deletes at its next check
        Added = 1u << 2,   // entries wait to be merged: raised and cleared under the queue's lock
        Close = 1u << 3,   // the user closed the idle dialog: the watcher ends the session
        Gone = 1u << 4,    // the dialog's window went, by whoever: the watcher ends the session
    };

    void Raise(unsigned signals);
    void Clear(unsigned signals);
    // True when any of signals is raised.
    bool Raised(unsigned signals) const;
    // True when signal was raised; it is cleared.
    bool Take(unsigned signal);
    // Sleeps until any of signals is raised or limit has passed; the raised
    // ones among them (0: the limit passed).
    unsigned WaitFor(unsigned signals, std::chrono::milliseconds limit) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable raised_;
    unsigned bits_ = 0;  // guarded by mutex_; any thread
};

}  // namespace parvex
