#pragma once

// The hold fault's gate: a request held part-way waits here until the test
// harness lets one request go on (GET /__release). Releases are counted, so
// one that comes before the request reaches the gate is not lost; /__reset
// forgets unused ones and ends every wait.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace mailserver {

class HoldGate {
public:
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++permits_;
        wake_.notify_all();
    }
    void Reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        permits_ = 0;
        ++generation_;
        wake_.notify_all();
    }
    // True once a release let this request go on; false when a reset, the
    // peer's close (gone() polled every 200 ms), the time-out or a server
    // stop ended the wait.
    bool Wait(const std::function<bool()>& gone, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        ++waiting_;
        bool released = WaitLocked(lock, gone, timeoutMs);
        --waiting_;
        return released;
    }
    // How many requests are held at the gate now.
    int Waiting() {
        std::lock_guard<std::mutex> lock(mutex_);
        return waiting_;
    }

private:
    bool WaitLocked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& gone, int timeoutMs) {
        const uint64_t generation = generation_;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (permits_ == 0) {
            if (generation != generation_ || std::chrono::steady_clock::now() >= deadline) return false;
            wake_.wait_for(lock, std::chrono::milliseconds(200));
            if (permits_ == 0 && generation == generation_) {
                lock.unlock();
                bool ended = gone();
                lock.lock();
                if (ended) return false;
            }
        }
        --permits_;
        return true;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    uint64_t permits_ = 0;
    uint64_t generation_ = 0;
    int waiting_ = 0;
};

}  // namespace mailserver
