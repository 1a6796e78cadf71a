// Small value types shared by the platform interfaces.
#pragma once
#include <cstdint>

namespace parvex {

// Broken-down local time, as the unique-name stamp needs it.
struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// An IPv4 or IPv6 address in network order, as the host resolver hands it
// out.
struct NetAddress {
    int family = 4;          // 4 or 6
    uint8_t bytes[16] = {};  // an IPv4 address takes the first four
};

}  // namespace parvex
