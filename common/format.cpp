#include "format.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

#include "clock.h"

namespace parvex {

std::wstring FormatText(const wchar_t* format, ...) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        int n = std::vswprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size()) return std::wstring(buffer.data(), n);
        // vswprintf only reports failure, not the length it needs.
        if (buffer.size() > (1u << 24)) return std::wstring();
        buffer.resize(buffer.size() * 4);
    }
}

std::wstring FormatSize(double bytes) {
    double value;
    const wchar_t* unit;
    if (bytes < 1048576.0) {
        value = bytes * 0.0009765625;
        unit = L"KB";
    } else if (bytes < 1073741824.0) {
        value = bytes / 1048576.0;
        unit = L"MB";
    } else {
        value = bytes / 1073741824.0;
        unit = L"GB";
    }
    return FormatText(L"%.2f%ls", value, unit);
}

std::wstring FormatDuration(double milliseconds) {
    double secondsExact = milliseconds * 0.001;
    // Negative, NaN or out-of-range times would be undefined in the cast.
    uint32_t t = 0;
    if (secondsExact >= 1.0) t = secondsExact >= 4294967295.0 ? 4294967295u : static_cast<uint32_t>(secondsExact);
    uint32_t seconds = t % 60, minutes = (t / 60) % 60, hours = t / 3600;
    if (hours > 0) return FormatText(L"%u시간 %u분 %u초", hours, minutes, seconds);
    if (minutes > 0) return FormatText(L"%u분 %u초", minutes, seconds);
    if (seconds > 0) return FormatText(L"%u초", seconds);
    return L"1초";
}

std::wstring MakeUniqueName(int n, const LocalTime& time, uint32_t seedTick) {
    // A small linear congruential generator, seeded at every call.
    uint32_t state = seedTick * 1103515245u + 12345u;
    int digit = static_cast<int>((state >> 16) & 0x7FFF) % 10;
    std::wstring stamp = FormatText(L"%d%d%d%d%d%d", time.year, time.month, time.day, time.hour,
                                    time.minute, time.second);
    return FormatText(L"%ls.%d.%d.%d", stamp.c_str(), time.milliseconds, digit, n);
}

std::wstring MakeUniqueName(int n) {
    Clock& clock = SystemClock();
    return MakeUniqueName(n, clock.Now(), clock.TickMs());
}

}  // namespace parvex
