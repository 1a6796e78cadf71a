// Test file contents.
#pragma once
#include <cstddef>
#include <string>

namespace parvex::testing {

// Non-repeating bytes, different for each seed.
inline std::string Bytes(size_t n, unsigned seed = 1) {
    std::string s(n, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (auto& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return s;
}

}  // namespace parvex::testing
