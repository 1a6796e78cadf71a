// Display texts for byte counts, time left and the unique upload names.
#pragma once
#include <cstdint>
#include <string>
#include "platform_types.h"

namespace parvex {

// "%.2f" with KB, MB or GB; there is no bytes unit.
std::wstring FormatSize(double bytes);
// "%d시간 %d분 %d초", "%d분 %d초", "%d초"; anything under a second is "1초".
std::wstring FormatDuration(double milliseconds);
// Stamp of the given time, its milliseconds, a digit 0..9 drawn from a
// generator seeded with seedTick, and n: "%s.%d.%d.%d".
std::wstring MakeUniqueName(int n, const LocalTime& time, uint32_t seedTick);
// The same with the system clock.
std::wstring MakeUniqueName(int n);

// printf-style formatting into wide text; wide strings go through %ls on
// every platform.
std::wstring FormatText(const wchar_t* format, ...);

}  // namespace parvex
