// Time source behind an interface so that refresh throttles and stamps can be
// driven by tests.
#pragma once
#include <cstdint>
#include "platform_types.h"

namespace parvex {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; wraps like a 32-bit tick count.
    virtual uint32_t TickMs() = 0;
    virtual void SleepMs(uint32_t ms) = 0;
    virtual LocalTime Now() = 0;
};

// The real clock, built on the standard library only.
Clock& SystemClock();

}  // namespace parvex
