// Waiting in a test for something another thread or process brings about,
// instead of sleeping a guessed time.
#pragma once
#include <chrono>
#include <functional>
#include <thread>

namespace parvex::testing {

// True as soon as condition holds; false when timeoutMs passed without it.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace parvex::testing
