#include "clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace parvex {
namespace {

class StdClock : public Clock {
public:
    uint32_t TickMs() override {
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }
    void SleepMs(uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    LocalTime Now() override {
        auto now = std::chrono::system_clock::now();
        std::time_t secs = std::chrono::system_clock::to_time_t(now);
        std::tm tm{};
#ifdef _WIN32
        localtime_s(&tm, &secs);
#else
        localtime_r(&secs, &tm);
#endif
        LocalTime t;
        t.year = tm.tm_year + 1900;
        t.month = tm.tm_mon + 1;
        t.day = tm.tm_mday;
        t.hour = tm.tm_hour;
        t.minute = tm.tm_min;
        t.second = tm.tm_sec;
        t.milliseconds = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
        return t;
    }
};

}  // namespace

Clock& SystemClock() {
    static StdClock clock;
    return clock;
}

}  // namespace parvex
